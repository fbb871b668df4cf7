// The bulk copy of plain runs that the byte decoders and the line-end pass
// use between the bytes they must look at one by one: a set of stop bytes per
// call, and a scan or copy that passes printable ASCII eight bytes at a time.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/buffers.h"
#include "common/word_scan.h"

namespace kelvane {

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

}  // namespace kelvane
