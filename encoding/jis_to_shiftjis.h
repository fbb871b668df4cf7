// JIS X 0208 row/cell pairs (bytes 21-7E each) to Shift-JIS, shared by the
// EUC-JP and ISO-2022-JP decoders.
#pragma once

#include <cstdint>

#include "common/vector_scan.h"

namespace kelvane {

// Maps a JIS X 0208 row/cell byte pair to its Shift-JIS byte pair by
// arithmetic; out[0] is the lead byte, out[1] the trail byte. Two JIS rows
// share one Shift-JIS lead byte: the odd row takes trail bytes 40-9E (skipping
// 7F), the even row 9F-FC. Only the table below is built with it.
inline void JisToShiftJis(unsigned j1, unsigned j2, uint8_t out[2]) {
  j1 &= 0xFF;
  j2 &= 0xFF;
  unsigned lead = (j1 + 1) / 2 + 0x70;
  if (j1 >= 0x5F) lead += 0x40;  // leads 81-9F, then E0-EF
  unsigned trail;
  if (j1 % 2 == 0) {
    trail = j2 + 0x7E;
  } else {
    trail = j2 + 0x1F;
    if (j2 >= 0x60) ++trail;  // 7F is no trail byte
  }
  out[0] = static_cast<uint8_t>(lead);
  out[1] = static_cast<uint8_t>(trail);
}

// Every JIS X 0208 pair's Shift-JIS bytes, lead then trail, indexed by
// (j1 - 0x21) * 94 + (j2 - 0x21); both bytes 0 where the Shift-JIS code is no
// cp932 character (no lead byte is 0). 17 KiB, so the decoders' per-character
// test and conversion are one load that stays in the first-level cache.
struct JisCodes {
  uint8_t pair[94 * 94][2];
};

// Built from the cp932 table on first use, once per process.
const JisCodes& Cp932JisCodes();

// The Shift-JIS bytes of the pair j1 j2, or null when either byte lies outside
// 21-7E or the pair is no cp932 character. Bytes above FF are taken as out of
// range, not wrapped.
inline const uint8_t* LookUpJisPair(const JisCodes& codes, unsigned j1, unsigned j2) {
  const unsigned row = j1 - 0x21;
  const unsigned cell = j2 - 0x21;
  if (row >= 94 || cell >= 94) return nullptr;
  const uint8_t* pair = codes.pair[row * 94 + cell];
  return pair[0] != 0 ? pair : nullptr;
}

// Converts the JIS pairs at *p (raised by `offset`) eight a step while a whole
// block of text is left before `end` and of room before `room_end`, moving *p
// and *d past what it converted; stops after the first block that is not all
// kana and kanji, having taken its leading pairs. A whole block moves the
// pointers by a constant, so the next load need not wait for the count.
inline void ConvertPairBlocks(const unsigned char** p, const unsigned char* end,
                              unsigned char offset, char** d, const char* room_end) {
  const unsigned char* in = *p;
  char* out = *d;
  while (end - in >= kBlockBytes && room_end - out >= kBlockBytes) {
    const int pairs = JisPairsToShiftJis(in, offset, reinterpret_cast<unsigned char*>(out));
    if (pairs != 8) {
      in += 2 * pairs;
      out += 2 * pairs;
      break;
    }
    in += kBlockBytes;
    out += kBlockBytes;
  }
  *p = in;
  *d = out;
}

}  // namespace kelvane
