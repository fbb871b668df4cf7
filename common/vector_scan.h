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
// index in memory of the first. A conversion of two-byte codes computes on all
// bytes at once and picks per byte with Select; a pair is a byte at an even
// index in the block and the byte after it.
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

// Bytes from 80 up: the sign bit is already the match.
inline ByteBlock MatchFrom80(ByteBlock b) {
  return {_mm_cmplt_epi8(b.v, _mm_setzero_si128())};
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

inline bool AllMatched(ByteBlock match) {
  return _mm_movemask_epi8(match.v) == 0xFFFF;
}

// The index of the first byte not matched; 16 when all are.
inline int FirstUnmatched(ByteBlock match) {
  return std::countr_zero(static_cast<unsigned>(~_mm_movemask_epi8(match.v)) | 0x10000u);
}

inline ByteBlock MatchBoth(ByteBlock a, ByteBlock b) {
  return {_mm_and_si128(a.v, b.v)};
}

// Bytes with the one bit `bit` set.
inline ByteBlock MatchBit(ByteBlock b, unsigned char bit) {
  const __m128i m = _mm_set1_epi8(static_cast<char>(bit));
  return {_mm_cmpeq_epi8(_mm_and_si128(b.v, m), m)};
}

// The first byte of every pair.
inline ByteBlock MatchPairFirsts() {
  return {_mm_set1_epi16(0x00FF)};
}

// A match moved within each pair, the other byte of the pair left 00.
inline ByteBlock PairSecondsToFirsts(ByteBlock match) {
  return {_mm_srli_epi16(match.v, 8)};
}
inline ByteBlock PairFirstsToSeconds(ByteBlock match) {
  return {_mm_slli_epi16(match.v, 8)};
}

// k added to every byte, modulo 256.
inline ByteBlock AddBytes(ByteBlock b, unsigned char k) {
  return {_mm_add_epi8(b.v, _mm_set1_epi8(static_cast<char>(k)))};
}

// (b + 1) / 2 of every byte.
inline ByteBlock HalfRoundedUp(ByteBlock b) {
  return {_mm_avg_epu8(b.v, _mm_setzero_si128())};
}

// The bytes of a where match is FF, of b elsewhere.
inline ByteBlock Select(ByteBlock match, ByteBlock a, ByteBlock b) {
  return {_mm_or_si128(_mm_and_si128(match.v, a.v), _mm_andnot_si128(match.v, b.v))};
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

inline ByteBlock MatchFrom80(ByteBlock b) {
  return {vcgeq_u8(b.v, vdupq_n_u8(0x80))};
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

inline bool AllMatched(ByteBlock match) {
  return vminvq_u8(match.v) == 0xFF;
}

inline int FirstUnmatched(ByteBlock match) {
  const uint64_t unmatched = ~Marks(match);
  return unmatched == 0 ? kBlockBytes : FirstMarked(unmatched);
}

inline ByteBlock MatchBoth(ByteBlock a, ByteBlock b) {
  return {vandq_u8(a.v, b.v)};
}

inline ByteBlock MatchBit(ByteBlock b, unsigned char bit) {
  return {vtstq_u8(b.v, vdupq_n_u8(bit))};
}

inline ByteBlock MatchPairFirsts() {
  return {vreinterpretq_u8_u16(vdupq_n_u16(0x00FF))};
}

inline ByteBlock PairSecondsToFirsts(ByteBlock match) {
  return {vreinterpretq_u8_u16(vshrq_n_u16(vreinterpretq_u16_u8(match.v), 8))};
}
inline ByteBlock PairFirstsToSeconds(ByteBlock match) {
  return {vreinterpretq_u8_u16(vshlq_n_u16(vreinterpretq_u16_u8(match.v), 8))};
}

inline ByteBlock AddBytes(ByteBlock b, unsigned char k) {
  return {vaddq_u8(b.v, vdupq_n_u8(k))};
}

inline ByteBlock HalfRoundedUp(ByteBlock b) {
  return {vrhaddq_u8(b.v, vdupq_n_u8(0))};
}

inline ByteBlock Select(ByteBlock match, ByteBlock a, ByteBlock b) {
  return {vbslq_u8(match.v, a.v, b.v)};
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

inline ByteBlock MatchFrom80(ByteBlock b) {
  return MatchEach(b, [](unsigned char x) { return x >= 0x80; });
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

inline bool AllMatched(ByteBlock match) {
  return Marks(match) == 0xFFFF;
}

inline int FirstUnmatched(ByteBlock match) {
  return std::countr_zero(~Marks(match) | 0x10000u);
}

inline ByteBlock MatchBoth(ByteBlock a, ByteBlock b) {
  for (int i = 0; i < kBlockBytes; ++i) a.v[i] &= b.v[i];
  return a;
}

inline ByteBlock MatchBit(ByteBlock b, unsigned char bit) {
  return MatchEach(b, [bit](unsigned char x) { return (x & bit) != 0; });
}

inline ByteBlock MatchPairFirsts() {
  ByteBlock m;
  for (int i = 0; i < kBlockBytes; ++i) m.v[i] = i % 2 == 0 ? 0xFF : 0;
  return m;
}

inline ByteBlock PairSecondsToFirsts(ByteBlock match) {
  for (int i = 0; i < kBlockBytes; i += 2) {
    match.v[i] = match.v[i + 1];
    match.v[i + 1] = 0;
  }
  return match;
}
inline ByteBlock PairFirstsToSeconds(ByteBlock match) {
  for (int i = 0; i < kBlockBytes; i += 2) {
    match.v[i + 1] = match.v[i];
    match.v[i] = 0;
  }
  return match;
}

inline ByteBlock AddBytes(ByteBlock b, unsigned char k) {
  for (unsigned char& x : b.v) x = static_cast<unsigned char>(x + k);
  return b;
}

inline ByteBlock HalfRoundedUp(ByteBlock b) {
  for (unsigned char& x : b.v) x = static_cast<unsigned char>((x + 1) / 2);
  return b;
}

inline ByteBlock Select(ByteBlock match, ByteBlock a, ByteBlock b) {
  for (int i = 0; i < kBlockBytes; ++i) a.v[i] = match.v[i] ? a.v[i] : b.v[i];
  return a;
}

#endif

// How many of the block's first bytes are printable ASCII (20-7F), which no
// decoder or line-end mode stops at; 0 to 16.
inline int PrintableAsciiBlockPrefix(ByteBlock b) {
  const uint64_t others = Marks(MatchEither(MatchFrom80(b), MatchBelow(b, 0x20)));
  return others == 0 ? kBlockBytes : FirstMarked(others);
}

}  // namespace kelvane
