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
// index in memory of the first. PauseWhileWaiting, the one primitive that is
// no scan, is the processor's hint for a loop that waits on another thread.
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

}  // namespace kelvane
