// JIS X 0208 row/cell pairs (bytes 21-7E each) to Shift-JIS, shared by the
// EUC-JP and ISO-2022-JP decoders.
#pragma once

#include <cstdint>

namespace kelvane {

// Maps a JIS X 0208 row/cell byte pair to its Shift-JIS byte pair by
// arithmetic; out[0] is the lead byte, out[1] the trail byte. Two JIS rows
// share one Shift-JIS lead byte: the odd row takes trail bytes 40-9E (skipping
// 7F), the even row 9F-FC. Inline, as the decoders call it once per character,
// and without branches, which kanji in no particular order would mispredict.
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

// The pairs whose Shift-JIS form is a cp932 character: bit (j2 - 0x21) % 64 of
// bits[j1 - 0x21][(j2 - 0x21) / 64]. The same answer as asking the cp932
// table, in one load instead of a call.
struct JisCells {
  uint64_t bits[94][2];
};

// Built from the cp932 table on first use, once per process.
const JisCells& Cp932JisCells();

// Whether the pair j1 j2, both already checked to lie in 21-7E, is a cp932
// character.
inline bool IsCp932JisPair(const JisCells& cells, unsigned j1, unsigned j2) {
  const unsigned cell = j2 - 0x21;
  return ((cells.bits[j1 - 0x21][cell >> 6] >> (cell & 63)) & 1) != 0;
}

}  // namespace kelvane
