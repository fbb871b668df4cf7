// JIS X 0208 row/cell pairs (bytes 21-7E each) to Shift-JIS, shared by the
// EUC-JP and ISO-2022-JP decoders.
#pragma once

#include <algorithm>
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

// The fewest bytes of pairs for which a block conversion beats the table.
constexpr int kWorthABlock = 12;

// Up to eight JIS X 0208 pairs at once (bytes 21-7E, row then cell) to their
// Shift-JIS pairs by JisToShiftJis's arithmetic, as long as each lies where
// cp932 holds every cell: rows 1, 16-46 and 48-83, and hiragana and katakana
// (row 4 up to cell 83, row 5 up to cell 86), which make up nearly all of
// Japanese text. Stores a whole block and returns how many of its bytes, from
// the first, are such pairs (an even count, at least kWorthABlock), or 0 when
// fewer are; the rest of the block is to be written over. Other pairs go one
// by one through the table; a test holds these rows against it.
inline int ConvertDenseJisPrefix(ByteBlock jis, ByteBlock* sjis) {
  const ByteBlock k = AddBytes(jis, 0x100 - 0x21);  // row and cell from 0
  // Most blocks that fail hold a byte out of range (ASCII after a run) and
  // fail here, cheaply.
  const int in_range = FirstUnmatched(MatchBelow(k, 94)) & ~1;
  if (in_range < kWorthABlock) return 0;
  const ByteBlock full_row =
      MatchEither(MatchByte(k, 0), MatchEither(MatchBelow(AddBytes(k, 0x100 - 15), 31),
                                               MatchBelow(AddBytes(k, 0x100 - 47), 36)));
  const ByteBlock kana =
      MatchEither(MatchBoth(MatchByte(k, 3), PairSecondsToFirsts(MatchBelow(k, 83))),
                  MatchBoth(MatchByte(k, 4), PairSecondsToFirsts(MatchBelow(k, 86))));
  // Judged at each pair's first byte; its second byte always passes.
  const ByteBlock cells = PairFirstsToSeconds(MatchPairFirsts());
  const int dense =
      std::min(in_range, FirstUnmatched(MatchEither(MatchEither(full_row, kana), cells)));
  if (dense < kWorthABlock) return 0;
  // Lead: (j1 + 1) / 2 + 70, and 40 more from row byte 5F on.
  const ByteBlock lead = AddBytes(HalfRoundedUp(jis), 0x70);
  const ByteBlock leads = Select(MatchBelow(jis, 0x5F), lead, AddBytes(lead, 0x40));
  // Trail: after an odd j1, j2 + 1F and one more from 60 on; after an even
  // one, j2 + 7E.
  const ByteBlock odd = Select(MatchBelow(jis, 0x60), AddBytes(jis, 0x1F), AddBytes(jis, 0x20));
  const ByteBlock trails = Select(PairFirstsToSeconds(MatchBit(jis, 1)), odd, AddBytes(jis, 0x7E));
  *sjis = Select(MatchPairFirsts(), leads, trails);
  return dense;
}

}  // namespace kelvane
