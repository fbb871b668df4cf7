// The line-end rule that every decoder applies while it copies characters,
// and the scan for plain runs that the byte decoders copy in bulk.
//
// A stage with a nonzero mode keeps one after-CR flag, clear at the start.
// CR writes the mode's line end and sets the flag; LF writes one unless the
// flag is set, and clears it either way; nothing else touches the flag. So
// CR LF, a lone CR and a lone LF each become one line end. The mode is compared
// whole: 0x100 writes CR, 0x200 LF, 0x300 CR LF, any other nonzero mode
// nothing. Mode 0 copies CR and LF like any other character and never reaches
// these helpers. Appends are not checked here: a failed growth sets the
// buffer's failed flag, which the stage sees when it terminates the buffer.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/buffers.h"
#include "common/word_scan.h"
#include "encoding/encoding_id.h"

namespace kelvane {

struct LineEndRule {
  int mode;       // nonzero LineEndMode, compared whole
  bool after_cr;  // the last CR or LF seen was a CR
};

inline LineEndRule StartLineEndRule(int mode) {
  return LineEndRule{mode, false};
}

// Elements one line end is written as: 2 for CR LF, 1 for CR or LF, else 0.
inline int LineEndWidth(int mode) {
  if (mode == kLineEndCrLf) return 2;
  return mode == kLineEndCr || mode == kLineEndLf ? 1 : 0;
}

// Applies the rule to c, which is CR or LF; true when a line end is written.
inline bool TakeLineEnd(LineEndRule* rule, unsigned c) {
  if (c == '\n') {
    bool write = !rule->after_cr;
    rule->after_cr = false;
    return write;
  }
  rule->after_cr = true;
  return true;
}

inline void PutLineEnd(LineEndRule* rule, TextBuffer* out, unsigned c) {
  if (!TakeLineEnd(rule, c)) return;
  if (rule->mode == kLineEndCr || rule->mode == kLineEndCrLf) PushByte(out, '\r');
  if (rule->mode == kLineEndLf || rule->mode == kLineEndCrLf) PushByte(out, '\n');
}

inline void PutLineEnd(LineEndRule* rule, WideBuffer* out, unsigned c) {
  if (!TakeLineEnd(rule, c)) return;
  if (rule->mode == kLineEndCr || rule->mode == kLineEndCrLf) PushUnit(out, '\r');
  if (rule->mode == kLineEndLf || rule->mode == kLineEndCrLf) PushUnit(out, '\n');
}

// A byte below 80 that a bulk copy stopped at, other than the NUL: a line end
// for the rule when it is one of the stops, otherwise the byte itself.
inline void PutAsciiByte(LineEndRule* rule, bool is_stop, TextBuffer* out, unsigned c) {
  if (is_stop) {
    PutLineEnd(rule, out, c);
  } else {
    PushByte(out, static_cast<int>(c));
  }
}

inline void PutAsciiByte(LineEndRule* rule, bool is_stop, WideBuffer* out, unsigned c) {
  if (is_stop) {
    PutLineEnd(rule, out, c);
  } else {
    PushUnit(out, static_cast<int>(c));
  }
}

// Bytes at which a bulk copy of plain text must stop. A decoder builds one set
// per call for its mode; index 0 (the terminator) is always a stop.
struct ByteStops {
  bool stop[256];
  bool by_words;  // every stop is below 0x20 or from 0x80 up
};

// Stops at NUL, at CR and LF when mode is not 0, at every byte from `from_byte`
// up (pass 0x100 for none) and at `extra` (pass 0 for none).
inline ByteStops MakeByteStops(int mode, unsigned from_byte, unsigned extra) {
  ByteStops s{};
  s.stop[0] = true;
  if (mode != 0) s.stop[0x0D] = s.stop[0x0A] = true;
  for (unsigned b = from_byte; b < 256; ++b) s.stop[b] = true;
  s.stop[extra] = true;
  s.by_words = true;
  for (unsigned b = 0x20; b < 0x80; ++b) s.by_words = s.by_words && !s.stop[b];
  return s;
}

// Whether all eight bytes of a word lie in 20-7F: printable ASCII, which no
// mode stops at.
inline bool PrintableAsciiWord(uint64_t word) {
  return (BytesFrom80(word) | BytesBelow(word, 0x20)) == 0;
}

// Length of the run at p that holds no stop byte; end is the text's NUL, which
// ends it. When no stop lies in 20-7F, eight bytes are passed at a time while a
// word holds only such bytes, as markup and ASCII text mostly do.
inline std::size_t PlainRunLength(const ByteStops& s, const unsigned char* p,
                                  const unsigned char* end) {
  const unsigned char* q = p;
  if (s.by_words) {
    while (end - q >= 8) {
      uint64_t word;
      std::memcpy(&word, q, 8);
      if (!PrintableAsciiWord(word)) break;
      q += 8;
    }
  }
  while (!s.stop[*q]) ++q;
  return static_cast<std::size_t>(q - p);
}

// How many of a word's bytes, from its first in memory, are printable ASCII
// (20-7F), which no mode stops at; 0 to 8. Only on a little-endian machine,
// where the first marked byte is the first in memory.
inline int PrintableAsciiPrefix(uint64_t word) {
  const uint64_t others = BytesFrom80(word) | BytesBelow(word, 0x20);
  return others == 0 ? 8 : FirstMarkedByte(others);
}

// Copies the plain bytes at p into out while the block has room for a word and
// the NUL, a word at a time where they are printable ASCII; returns where it
// stopped: a stop byte, or a block too full to go on, which the caller then
// fills through the buffer's growth. Runs between tags are short, so this
// scans and copies in one go instead of measuring first and calling memcpy.
// A word that is printable only up to some byte is stored whole and the copy
// moves on by that prefix: the rest is written over next.
inline const unsigned char* CopyPlainRun(const ByteStops& s, const unsigned char* p,
                                         const unsigned char* end, TextBuffer* out) {
  if (out->capacity - out->length < 10) return p;
  char* d = out->data + out->length;
  char* const last = out->data + out->capacity - 9;
  while (d <= last) {
    const unsigned b = *p;
    if (s.stop[b]) break;
    if (std::endian::native == std::endian::little && s.by_words && end - p >= 8) {
      uint64_t word;
      std::memcpy(&word, p, sizeof word);
      const int printable = PrintableAsciiPrefix(word);
      if (printable != 0) {
        std::memcpy(d, &word, sizeof word);
        d += printable;
        p += printable;
        continue;
      }
    }
    *d++ = static_cast<char>(b);
    ++p;
  }
  out->length = static_cast<uint32_t>(d - out->data);
  return p;
}

// Appends n bytes that hold no NUL; a failure is remembered by the buffer.
inline void AppendPlain(TextBuffer* out, const unsigned char* p, std::size_t n) {
  if (n == 0 || !ReserveTextBuffer(out, static_cast<uint32_t>(n))) return;
  std::memcpy(out->data + out->length, p, n);
  out->length += static_cast<uint32_t>(n);
}

}  // namespace kelvane
