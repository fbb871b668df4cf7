// JIS X 0208 row/cell pairs (bytes 21-7E each) to Shift-JIS, shared by the
// EUC-JP and ISO-2022-JP decoders.
#pragma once

#include <cstdint>

namespace kelvane {

// Maps a JIS X 0208 row/cell byte pair to its Shift-JIS byte pair by
// arithmetic; out[0] is the lead byte, out[1] the trail byte. Two JIS rows
// share one Shift-JIS lead byte: the odd row takes trail bytes 40-9E (skipping
// 7F), the even row 9F-FC. Without branches, which kanji in no particular
// order would mispredict.
inline void JisToShiftJis(unsigned j1, unsigned j2, uint8_t out[2]) {
  j1 &= 0xFF;
  j2 &= 0xFF;
  const unsigned s1 = ((j1 + 1) >> 1) + 0x70 + 0x40 * static_cast<unsigned>(j1 >= 0x5F);
  // Odd row: j2 + 1F, and one more from 60 on to skip 7F. Even row: j2 + 7E.
  // Masks rather than a product, which compilers turn back into a branch.
  const unsigned odd_mask = 0u - (j1 & 1);
  const unsigned from_60 = (0x5Fu - j2) >> 31;  // j2 is at most FF, so only j2 > 5F wraps
  const unsigned s2 = j2 + 0x7E - (odd_mask & (0x5F - from_60));
  out[0] = static_cast<uint8_t>(s1);
  out[1] = static_cast<uint8_t>(s2);
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

}  // namespace kelvane
