// Sixteen-byte scans: the one place where the core uses vector instructions.
//
// Only each architecture's baseline is used, so every build of one target
// runs the same code and nothing is chosen at run time: SSE2 on x86-64 (the
// Linux build and kelvane.exe alike) and NEON on AArch64. Elsewhere, and in
// builds defining KELVANE_SCALAR (the CMake option of that name), kVectorScans
// is false and the stages keep to their word-at-a-time code, which stays the
// portable path and the reference the vector path is tested against. The
// primitives below are still defined there, over plain bytes, so that the
// stages' vector branches compile everywhere and the tests can check them.
//
// A scan loads a block, makes a match (a block whose bytes are FF where a byte
// is in the set sought and 00 elsewhere), combines matches, and turns the
// match into marks: nonzero when any byte matched, and FirstMarked gives the
// index in memory of the first. Three primitives are no scans: the decoders'
// JisPairsToShiftJis (EUC-JP, ISO-2022-JP) and ThreeByteUnits (UTF-8) work
// out the characters of a block, and PauseWhileWaiting is the processor's hint
// for a loop that waits on another thread.
#pragma once

#include <bit>
#include <cstdint>
#include <cstring>

#if !defined(KELVANE_SCALAR) && (defined(__SSE2__) || defined(_M_X64))
#include <emmintrin.h>
#define KELVANE_VECTOR_SSE2 1
#elif !defined(KELVANE_SCALAR) && defined(__aarch64__) && defined(__ARM_NEON)
#include <arm_neon.h>
#define KELVANE_VECTOR_NEON 1
#endif

namespace kelvane {

constexpr int kBlockBytes = 16;

#if defined(KELVANE_VECTOR_SSE2)

constexpr bool kVectorScans = true;

struct ByteBlock {
  __m128i v;
};

inline ByteBlock LoadBlock(const void* p) {
  return {_mm_loadu_si128(static_cast<const __m128i*>(p))};
}

inline void StoreBlock(void* d, ByteBlock b) {
  _mm_storeu_si128(static_cast<__m128i*>(d), b.v);
}

// Bytes below n, unsigned; n from 1 to FF.
inline ByteBlock MatchBelow(ByteBlock b, unsigned char n) {
  const __m128i top = _mm_set1_epi8(static_cast<char>(n - 1));
  return {_mm_cmpeq_epi8(_mm_min_epu8(b.v, top), b.v)};
}

inline ByteBlock MatchByte(ByteBlock b, unsigned char c) {
  return {_mm_cmpeq_epi8(b.v, _mm_set1_epi8(static_cast<char>(c)))};
}

inline ByteBlock MatchEither(ByteBlock a, ByteBlock b) {
  return {_mm_or_si128(a.v, b.v)};
}

// One bit a byte.
inline uint64_t Marks(ByteBlock match) {
  return static_cast<uint32_t>(_mm_movemask_epi8(match.v));
}

inline int FirstMarked(uint64_t marks) {
  return std::countr_zero(marks);
}

// JIS X 0208 pairs to Shift-JIS, eight a block, for the bulk of EUC-JP and
// ISO-2022-JP text. The bytes at p are JIS codes raised by `offset` (0x80 in
// EUC-JP, 0 in ISO-2022-JP); all sixteen bytes are read and all sixteen bytes
// at d are written. Returns how many pairs from the first were converted: it
// stops at the first pair with a byte outside 21-7E (after `offset`) or whose
// row and cell are not among those that cp932 fills without gaps (rows 1,
// 4 up to cell 83, 5 up to 86, 16-46, 47 up to 51, 48-83: the kana, kanji and
// common punctuation), which the caller then decodes through its table.
inline int JisPairsToShiftJis(const unsigned char* p, unsigned char offset, unsigned char* d) {
  const __m128i t = _mm_sub_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)),
                                 _mm_set1_epi8(static_cast<char>(offset + 0x21)));
  const __m128i top = _mm_set1_epi8(93);
  const __m128i in_range = _mm_cmpeq_epi8(_mm_min_epu8(t, top), t);
  // Row and cell from 0, in 16-bit lanes: the first byte of a pair is the low one.
  const __m128i row = _mm_and_si128(t, _mm_set1_epi16(0xFF));
  const __m128i cell = _mm_srli_epi16(t, 8);
  // Two rows share a lead byte, 81-9F then E0-EF.
  __m128i lead = _mm_add_epi16(_mm_srli_epi16(row, 1), _mm_set1_epi16(0x81));
  lead = _mm_add_epi16(
      lead, _mm_and_si128(_mm_cmpgt_epi16(row, _mm_set1_epi16(61)), _mm_set1_epi16(0x40)));
  // The first row of the two takes trails 40-7E and 80-9E, the second 9F-FC.
  const __m128i one = _mm_set1_epi16(1);
  const __m128i second = _mm_cmpeq_epi16(_mm_and_si128(row, one), one);
  const __m128i first_trail = _mm_sub_epi16(_mm_add_epi16(cell, _mm_set1_epi16(0x40)),
                                            _mm_cmpgt_epi16(cell, _mm_set1_epi16(62)));
  const __m128i second_trail = _mm_add_epi16(cell, _mm_set1_epi16(0x9F));
  const __m128i trail =
      _mm_or_si128(_mm_and_si128(second, second_trail), _mm_andnot_si128(second, first_trail));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_or_si128(lead, _mm_slli_epi16(trail, 8)));
  // The cells each row holds without gaps, 0 for the rows left to the table.
  const __m128i kanji = _mm_and_si128(_mm_cmpgt_epi16(row, _mm_set1_epi16(14)),
                                      _mm_cmplt_epi16(row, _mm_set1_epi16(83)));
  const __m128i row47 = _mm_cmpeq_epi16(row, _mm_set1_epi16(46));
  __m128i cells = _mm_and_si128(_mm_andnot_si128(row47, kanji), _mm_set1_epi16(94));
  cells = _mm_or_si128(cells, _mm_and_si128(row47, _mm_set1_epi16(51)));
  cells = _mm_or_si128(
      cells, _mm_and_si128(_mm_cmpeq_epi16(row, _mm_setzero_si128()), _mm_set1_epi16(94)));
  cells = _mm_or_si128(cells,
                       _mm_and_si128(_mm_cmpeq_epi16(row, _mm_set1_epi16(3)), _mm_set1_epi16(83)));
  cells = _mm_or_si128(cells,
                       _mm_and_si128(_mm_cmpeq_epi16(row, _mm_set1_epi16(4)), _mm_set1_epi16(86)));
  // The count comes from the byte test alone, a short chain the next load
  // waits on; a pair left to the table is rare, and a branch away.
  const unsigned out_of_range = ~static_cast<unsigned>(_mm_movemask_epi8(in_range)) & 0xFFFF;
  const unsigned taken = std::countr_zero(out_of_range | 0x10000u) & ~1u;
  const unsigned gaps = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpgt_epi16(cells, cell)));
  if ((gaps & ((1u << taken) - 1)) != 0) [[unlikely]]
    return std::countr_zero(gaps) / 2;
  return static_cast<int>(taken / 2);
}

// UTF-8's three-byte sequences, five a block, for the bulk of Japanese text:
// the count of sequences from p on that have the form 1110xxxx 10xxxxxx
// 10xxxxxx and are not overlong (E0 80-9F), 0 to 5 (sixteen bytes are read),
// and in units[3k] the unit of the k-th of them. Surrogates are left to the
// caller, whose tables have no form for them.
inline int ThreeByteUnits(const unsigned char* p, uint16_t units[kBlockBytes]) {
  const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  const char f0 = static_cast<char>(0xF0), e0 = static_cast<char>(0xE0);
  const char c0 = static_cast<char>(0xC0), x80 = static_cast<char>(0x80);
  const __m128i form_bits =
      _mm_setr_epi8(f0, c0, c0, f0, c0, c0, f0, c0, c0, f0, c0, c0, f0, c0, c0, 0);
  const __m128i form =
      _mm_setr_epi8(e0, x80, x80, e0, x80, x80, e0, x80, x80, e0, x80, x80, e0, x80, x80, 0);
  const unsigned formed =
      static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(v, form_bits), form)));
  const __m128i zero = _mm_setzero_si128();
  // Each byte's next two bytes, in its place.
  const __m128i next = _mm_srli_si128(v, 1);
  const __m128i after_next = _mm_srli_si128(v, 2);
  // Overlong: a lead E0 whose second byte lacks the 20 bit (80-9F).
  const __m128i short_second = _mm_cmpeq_epi8(_mm_and_si128(next, _mm_set1_epi8(0x20)), zero);
  const unsigned overlong = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(
                                _mm_cmpeq_epi8(v, _mm_set1_epi8(e0)), short_second))) &
                            0x1249u;  // the five leads
  // Every byte's unit as if a sequence began there, in two halves of 16-bit lanes.
  const __m128i lead = _mm_and_si128(v, _mm_set1_epi8(0x0F));
  const __m128i low6 = _mm_set1_epi8(0x3F);
  const __m128i second = _mm_and_si128(next, low6);
  const __m128i third = _mm_and_si128(after_next, low6);
  const __m128i front =
      _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_unpacklo_epi8(lead, zero), 12),
                                _mm_slli_epi16(_mm_unpacklo_epi8(second, zero), 6)),
                   _mm_unpacklo_epi8(third, zero));
  const __m128i back =
      _mm_or_si128(_mm_or_si128(_mm_slli_epi16(_mm_unpackhi_epi8(lead, zero), 12),
                                _mm_slli_epi16(_mm_unpackhi_epi8(second, zero), 6)),
                   _mm_unpackhi_epi8(third, zero));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(units), front);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(units + 8), back);
  return std::countr_zero(~formed | overlong | 0x8000u) / 3;
}

// One turn of a wait for another thread: tells the core (and a sibling
// hyperthread) that this loop only waits.
inline void PauseWhileWaiting() {
  _mm_pause();
}

#elif defined(KELVANE_VECTOR_NEON)

constexpr bool kVectorScans = true;

struct ByteBlock {
  uint8x16_t v;
};

inline ByteBlock LoadBlock(const void* p) {
  return {vld1q_u8(static_cast<const uint8_t*>(p))};
}

inline void StoreBlock(void* d, ByteBlock b) {
  vst1q_u8(static_cast<uint8_t*>(d), b.v);
}

inline ByteBlock MatchBelow(ByteBlock b, unsigned char n) {
  return {vcltq_u8(b.v, vdupq_n_u8(n))};
}

inline ByteBlock MatchByte(ByteBlock b, unsigned char c) {
  return {vceqq_u8(b.v, vdupq_n_u8(c))};
}

inline ByteBlock MatchEither(ByteBlock a, ByteBlock b) {
  return {vorrq_u8(a.v, b.v)};
}

// Four bits a byte: NEON has no byte mask move, and a narrowing shift of the
// 16-bit lanes keeps half of each byte, in order.
inline uint64_t Marks(ByteBlock match) {
  const uint8x8_t halves = vshrn_n_u16(vreinterpretq_u16_u8(match.v), 4);
  return vget_lane_u64(vreinterpret_u64_u8(halves), 0);
}

inline int FirstMarked(uint64_t marks) {
  return std::countr_zero(marks) >> 2;
}

inline void PauseWhileWaiting() {
  __asm__ __volatile__("yield" ::: "memory");
}

#else

constexpr bool kVectorScans = false;

struct ByteBlock {
  unsigned char v[kBlockBytes];
};

inline ByteBlock LoadBlock(const void* p) {
  ByteBlock b;
  std::memcpy(b.v, p, kBlockBytes);
  return b;
}

inline void StoreBlock(void* d, ByteBlock b) {
  std::memcpy(d, b.v, kBlockBytes);
}

template <typename Test>
ByteBlock MatchEach(ByteBlock b, Test test) {
  ByteBlock m;
  for (int i = 0; i < kBlockBytes; ++i) m.v[i] = test(b.v[i]) ? 0xFF : 0;
  return m;
}

inline ByteBlock MatchBelow(ByteBlock b, unsigned char n) {
  return MatchEach(b, [n](unsigned char x) { return x < n; });
}

inline ByteBlock MatchByte(ByteBlock b, unsigned char c) {
  return MatchEach(b, [c](unsigned char x) { return x == c; });
}

inline ByteBlock MatchEither(ByteBlock a, ByteBlock b) {
  for (int i = 0; i < kBlockBytes; ++i) a.v[i] |= b.v[i];
  return a;
}

inline uint64_t Marks(ByteBlock match) {
  uint64_t marks = 0;
  for (int i = 0; i < kBlockBytes; ++i) marks |= uint64_t{match.v[i] != 0} << i;
  return marks;
}

inline int FirstMarked(uint64_t marks) {
  return std::countr_zero(marks);
}

inline void PauseWhileWaiting() {}

#endif

#if !defined(KELVANE_VECTOR_SSE2)

// JisPairsToShiftJis over plain bytes, pair by pair, where there is no SSE2.
inline int JisPairsToShiftJis(const unsigned char* p, unsigned char offset, unsigned char* d) {
  int converted = 8;
  for (int i = 0; i < 8; ++i) {
    const unsigned row = static_cast<unsigned char>(p[2 * i] - offset - 0x21);
    const unsigned cell = static_cast<unsigned char>(p[2 * i + 1] - offset - 0x21);
    d[2 * i] = static_cast<unsigned char>(row / 2 + (row > 61 ? 0xC1 : 0x81));
    d[2 * i + 1] =
        static_cast<unsigned char>(row % 2 != 0 ? cell + 0x9F : cell + 0x40 + (cell > 62 ? 1 : 0));
    unsigned cells = 0;
    if (row == 0) cells = 94;
    if (row == 3) cells = 83;
    if (row == 4) cells = 86;
    if (row >= 15 && row <= 82) cells = row == 46 ? 51 : 94;
    if ((row > 93 || cell > 93 || cell >= cells) && i < converted) converted = i;
  }
  return converted;
}

// ThreeByteUnits over plain bytes, where there is no SSE2.
inline int ThreeByteUnits(const unsigned char* p, uint16_t units[kBlockBytes]) {
  int formed = 5;
  for (int k = 0; k < 5; ++k) {
    const unsigned char* q = p + 3 * k;
    const bool form = (q[0] & 0xF0) == 0xE0 && (q[1] & 0xC0) == 0x80 && (q[2] & 0xC0) == 0x80;
    if ((!form || (q[0] == 0xE0 && q[1] < 0xA0)) && k < formed) formed = k;
    units[3 * k] = static_cast<uint16_t>((q[0] & 0x0F) << 12 | (q[1] & 0x3F) << 6 | (q[2] & 0x3F));
  }
  return formed;
}

#endif

}  // namespace kelvane
