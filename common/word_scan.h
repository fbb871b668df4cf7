// Tests on eight bytes at once: a 64-bit word loaded from text with memcpy.
//
// Each test marks the bytes that match with their bit 7. The lowest mark is
// always exact; a higher one may be a false mark, set by a borrow from a
// matching byte below it. So a test answers "does any byte match" and, on a
// little-endian machine, FirstMarkedByte tells which byte in memory order
// matches first.
#pragma once

#include <bit>
#include <cstdint>

namespace kelvane {

constexpr uint64_t kEachByte = 0x0101010101010101ULL;
constexpr uint64_t kHighBits = 0x8080808080808080ULL;

// Bytes from 80 up.
inline uint64_t BytesFrom80(uint64_t word) {
  return word & kHighBits;
}

// Bytes below n (n at most 80): they borrow, and set bit 7 in the difference.
inline uint64_t BytesBelow(uint64_t word, unsigned n) {
  return (word - kEachByte * n) & ~word & kHighBits;
}

// Bytes equal to c: the zero bytes of word ^ c.
inline uint64_t BytesEqualTo(uint64_t word, unsigned char c) {
  const uint64_t x = word ^ (kEachByte * c);
  return (x - kEachByte) & ~x & kHighBits;
}

// The index in memory of the first marked byte; marks must not be 0, and the
// word must have been loaded on a little-endian machine.
inline int FirstMarkedByte(uint64_t marks) {
  return std::countr_zero(marks) >> 3;
}

}  // namespace kelvane
