// Searches of the markup scan over NUL-terminated text: a byte, the last byte
// of a kind, a fixed pattern, a tag opening, an image's "alt=".
//
// Every search takes `const unsigned char*` bounds, the end being the text's
// NUL or a point before it, and returns null when nothing is found. Most
// searches are short (tags follow one another, runs between them are short),
// so the first byte and the first word are looked at inline and only a longer
// search pays for a call.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/word_scan.h"

namespace kelvane {

using Byte = unsigned char;

inline Byte FoldAscii(Byte c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<Byte>(c - 'A' + 'a') : c;
}

// The rest of FindByte's search, from a point that does not hold c.
const Byte* FindByteFar(const Byte* from, const Byte* end, Byte c);

// The first c at or after from, before end.
inline const Byte* FindByte(const Byte* from, const Byte* end, Byte c) {
  // Tags often follow one another, so the byte sought is often the first.
  if (from < end && *from == c) return from;
  if constexpr (std::endian::native == std::endian::little) {
    if (end - from >= 8) {
      uint64_t word;
      std::memcpy(&word, from, 8);
      const uint64_t found = BytesEqualTo(word, c);
      if (found != 0) return from + FirstMarkedByte(found);
      return FindByteFar(from + 8, end, c);
    }
  }
  return FindByteFar(from, end, c);
}

// The last c before end, at or after begin.
const Byte* FindLastByte(const Byte* begin, const Byte* end, Byte c);

// The first place at or after from where "<" and then pattern stand; pattern
// is lower case, its ASCII letters matched in any case, other bytes exactly.
const Byte* FindTagOpening(const Byte* from, const Byte* end, const char* pattern);

// The first place at or after from where the exact bytes of pattern begin.
const Byte* FindBytes(const Byte* from, const Byte* end, const char* pattern);

// The first "alt=" (letters in any case) at or after from.
const Byte* FindAlt(const Byte* from, const Byte* end);

}  // namespace kelvane
