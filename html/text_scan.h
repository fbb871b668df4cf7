// The state of one HtmlToText scan and the writes of its output.
//
// The output is written over the clean copy, behind the scan, so the
// conversion touches no block beyond the copy and needs no growth. The copy
// starts kLead bytes into its block and the output at the block's start (a
// text converted in its own block is its own copy, with the output at its
// start when the scan begins at least kLead bytes in), and
// no step of the scan writes more bytes than it moves the scan on: a text byte
// or a space for one or more bytes read, a reference's replacement for a
// reference at least as long, a tag's line feeds, tab or bracketed
// alternative text for a longer tag. A reference whose ";" lies past a tag
// makes the scan go on after that tag, short of the ";", and its replacement
// and the tag's output together are still no longer than the reference's
// bytes before the tag and the tag. So the write position stays kLead bytes
// behind the read position, and no write, not even a whole word stored for a
// shorter copy, reaches a byte still to be read; MakeRoom checks this in the
// checked builds. The one reader of bytes behind the scan, a number reader's
// lower cursor, is moved on before the output reaches it (MakeRoom).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/invariant.h"
#include "html/byte_search.h"
#include "html/name_memo.h"
#include "html/number_reader.h"

namespace kelvane {

struct TextProgress;

// Bytes in front of the clean copy, where the output starts: the least
// distance between the write and the read position, at least a word.
constexpr uint32_t kLead = 16;

// The state of one conversion.
struct Scan {
  const Byte* end;      // the NUL of the clean copy
  const Byte* last_lt;  // the last "<" of the clean copy; every run before it ends in one
  Byte* out;            // where the next output byte goes, behind the scan
  const Byte* guard;    // bytes from here on are still needed by a number reader
  bool preformatted;
  bool paragraph_open;
  bool item_open;
  const Byte* next_semicolon;  // memo of the ";" search, null before the first
  const Byte* next_alt;        // memo of the "alt=" search, null before the first
  NumberReader decimal;
  NumberReader hexadecimal;
  NameMemo elements;
  NameMemo entities;
  TextProgress* progress;  // null, or where the output is published as it is made
  Byte* output_start;      // the block's start, where the output begins
  Byte* published;         // the output's end when it was last published
};

// Sets the guard: the lowest lower cursor of a number reader that a later
// reference's digits may still need (they may start before the end of the
// last span read), or the end of the text.
void UpdateGuard(Scan* scan);

// Moves the readers' lower cursors on to the read position q or to the end of
// their span, reading the bytes there before the output covers them.
void MoveReadersOn(Scan* scan, const Byte* q);

// Before n output bytes are written while the scan reads at q. The output
// never reaches a byte still to be read: no rule writes more than it reads.
inline void MakeRoom(Scan* scan, std::size_t n, const Byte* q) {
  CheckInvariant(scan->out + n <= q);
  if (scan->out + n > scan->guard) MoveReadersOn(scan, q);
}

inline void Put(Scan* scan, Byte c, const Byte* q) {
  MakeRoom(scan, 1, q);
  *scan->out++ = c;
}

// The n bytes at p, which may lie in the block ahead of the output.
inline void PutSpan(Scan* scan, const Byte* p, std::size_t n, const Byte* q) {
  MakeRoom(scan, n, q);
  std::memmove(scan->out, p, n);
  scan->out += n;
}

inline void PutString(Scan* scan, const char* s, const Byte* q) {
  PutSpan(scan, reinterpret_cast<const Byte*>(s), std::strlen(s), q);
}

}  // namespace kelvane
