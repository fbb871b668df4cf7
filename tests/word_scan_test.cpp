#include "common/word_scan.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstring>
#include <functional>
#include <random>

namespace kelvane {
namespace {

struct WordTest {
  const char* name;
  std::function<uint64_t(uint64_t)> marks;
  std::function<bool(unsigned char)> matches;
};

// Every test against a byte-by-byte reading of the same eight bytes, on words
// drawn mostly from bytes next to the tests' edges, where borrows happen.
TEST(WordScan, MarksAgreeWithTheBytesAndTheFirstMarkIsExact) {
  const WordTest tests[] = {
      {"from 80", [](uint64_t w) { return BytesFrom80(w); },
       [](unsigned char b) { return b >= 0x80; }},
      {"below 0E", [](uint64_t w) { return BytesBelow(w, 0x0E); },
       [](unsigned char b) { return b < 0x0E; }},
      {"below 21", [](uint64_t w) { return BytesBelow(w, 0x21); },
       [](unsigned char b) { return b < 0x21; }},
      {"below 80", [](uint64_t w) { return BytesBelow(w, 0x80); },
       [](unsigned char b) { return b < 0x80; }},
      {"equal <", [](uint64_t w) { return BytesEqualTo(w, '<'); },
       [](unsigned char b) { return b == '<'; }},
      {"equal NUL", [](uint64_t w) { return BytesEqualTo(w, 0); },
       [](unsigned char b) { return b == 0; }},
      {"equal FF", [](uint64_t w) { return BytesEqualTo(w, 0xFF); },
       [](unsigned char b) { return b == 0xFF; }},
  };
  const unsigned char kEdges[] = {0x00, 0x01, 0x0D, 0x0E, 0x0F, 0x20, 0x21, 0x3B,
                                  0x3C, 0x3D, 0x7F, 0x80, 0x81, 0xBC, 0xFE, 0xFF};
  std::mt19937 rng(8);
  for (int round = 0; round < 20000; ++round) {
    unsigned char bytes[8];
    for (unsigned char& b : bytes) {
      b = rng() % 3 == 0 ? static_cast<unsigned char>(rng()) : kEdges[rng() % sizeof(kEdges)];
    }
    uint64_t word;
    std::memcpy(&word, bytes, 8);
    for (const WordTest& t : tests) {
      int first = -1;
      for (int i = 0; i < 8 && first < 0; ++i) first = t.matches(bytes[i]) ? i : -1;
      const uint64_t marks = t.marks(word);
      ASSERT_EQ(marks != 0, first >= 0) << t.name << " round " << round;
      if (std::endian::native == std::endian::little && first >= 0) {
        ASSERT_EQ(FirstMarkedByte(marks), first) << t.name << " round " << round;
      }
    }
  }
}

}  // namespace
}  // namespace kelvane
