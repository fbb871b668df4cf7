// The block primitives against a plain reading of the same sixteen bytes, on
// random blocks biased towards the edges of each test (n - 1, n, 7F, 80).
#include "common/vector_scan.h"

#include <gtest/gtest.h>

#include <random>

namespace kelvane {
namespace {

struct Expected {
  bool any;
  int first;
};

template <typename Test>
Expected Plainly(const unsigned char* b, Test test) {
  for (int i = 0; i < kBlockBytes; ++i) {
    if (test(b[i])) return {true, i};
  }
  return {false, 0};
}

void ExpectMarks(uint64_t marks, Expected expected, const char* what) {
  ASSERT_EQ(marks != 0, expected.any) << what;
  if (expected.any) {
    ASSERT_EQ(FirstMarked(marks), expected.first) << what;
  }
}

TEST(VectorScan, PrimitivesAgreeWithAPlainReading) {
  std::mt19937 rng(7);
  const unsigned char edges[] = {0x00, 0x0D, 0x0E, 0x1F, 0x20, 0x21, 0x26, 0x3C,
                                 0x7F, 0x80, 0x81, 0xFE, 0xFF, 'a',  'z',  '&'};
  for (int round = 0; round < 20000; ++round) {
    unsigned char bytes[kBlockBytes];
    for (unsigned char& b : bytes)
      b = rng() % 4 == 0 ? static_cast<unsigned char>(rng()) : edges[rng() % 16];
    const unsigned char n = static_cast<unsigned char>(1 + rng() % 255);
    const unsigned char c = edges[rng() % 16];
    const ByteBlock block = LoadBlock(bytes);
    ExpectMarks(Marks(MatchBelow(block, n)), Plainly(bytes, [n](unsigned char x) { return x < n; }),
                "below");
    ExpectMarks(Marks(MatchByte(block, c)), Plainly(bytes, [c](unsigned char x) { return x == c; }),
                "byte");
    ExpectMarks(Marks(MatchEither(MatchByte(block, c), MatchBelow(block, n))),
                Plainly(bytes, [c, n](unsigned char x) { return x == c || x < n; }), "either");
    unsigned char copy[kBlockBytes + 2] = {};
    StoreBlock(copy + 1, block);
    ASSERT_EQ(std::memcmp(copy + 1, bytes, kBlockBytes), 0);
    ASSERT_EQ(copy[0] | copy[kBlockBytes + 1], 0) << "the store stays within its block";
  }
}

}  // namespace
}  // namespace kelvane
