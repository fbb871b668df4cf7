// The block primitives against a plain reading of the same sixteen bytes, on
// random blocks biased towards the edges of each test (n - 1, n, 7F, 80).
#include "common/vector_scan.h"

#include <gtest/gtest.h>

#include <random>

#include "encoding/jis_to_shiftjis.h"
#include "encoding/unit_codes.h"

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

// Every byte pair, in every place of a block of good pairs, in both encodings'
// placings: what is converted is the table's pair, and no kanji or kana row
// of the bulk of a page is left to the table.
TEST(VectorScan, JisPairsAreConvertedAsTheTableHasThem) {
  const JisCodes& codes = Cp932JisCodes();
  for (const unsigned offset : {0x00u, 0x80u}) {
    int converted_pairs = 0;
    for (unsigned pair = 0; pair < 0x10000; ++pair) {
      const unsigned b1 = pair >> 8, b2 = pair & 0xFF;
      const int place = static_cast<int>(pair % 8);
      unsigned char in[kBlockBytes], out[kBlockBytes];
      for (int i = 0; i < 8; ++i) {
        in[2 * i] = static_cast<unsigned char>(0x30 + offset);  // row 16, cell 1: 88 9F
        in[2 * i + 1] = static_cast<unsigned char>(0x21 + offset);
      }
      in[2 * place] = static_cast<unsigned char>(b1);
      in[2 * place + 1] = static_cast<unsigned char>(b2);
      const int converted = JisPairsToShiftJis(in, static_cast<unsigned char>(offset), out);
      const uint8_t* expected = LookUpJisPair(codes, (b1 - offset) & 0x1FF, (b2 - offset) & 0x1FF);
      ASSERT_TRUE(converted == 8 || converted == place) << std::hex << pair;
      for (int i = 0; i < converted; ++i) {
        const uint8_t* want = i == place ? expected : LookUpJisPair(codes, 0x30, 0x21);
        ASSERT_NE(want, nullptr) << std::hex << pair << " converted but no cp932 character";
        ASSERT_EQ(out[2 * i], want[0]) << std::hex << pair;
        ASSERT_EQ(out[2 * i + 1], want[1]) << std::hex << pair;
      }
      const unsigned row = b1 - offset - 0x20;
      if (expected != nullptr &&
          ((row >= 16 && row <= 46) || (row >= 48 && row <= 83) || row == 4 || row == 5)) {
        ASSERT_EQ(converted, 8) << std::hex << pair << " left to the table";
      }
      converted_pairs += converted == 8;
    }
    EXPECT_GT(converted_pairs, 6000) << "offset " << offset;
  }
}

// Random blocks of three-byte sequences with a byte changed now and then to
// the edges of the form (7F-C0 in a continuation, DF-F0 in a lead, E0 80-9F
// overlong): the count is that of a plain reading, and so is every unit.
TEST(VectorScan, ThreeByteUnitsAreThoseOfAPlainReading) {
  std::mt19937 rng(11);
  const unsigned char edges[] = {0x7F, 0x80, 0x9F, 0xA0, 0xBF, 0xC0, 0xDF, 0xE0, 0xED, 0xEF, 0xF0};
  for (int round = 0; round < 50000; ++round) {
    unsigned char bytes[kBlockBytes];
    for (int i = 0; i < kBlockBytes; ++i) {
      const bool lead = i % 3 == 0;
      bytes[i] = static_cast<unsigned char>(lead ? 0xE0 + rng() % 16 : 0x80 + rng() % 64);
      if (rng() % 24 == 0) bytes[i] = edges[rng() % std::size(edges)];
    }
    int expected = 0;
    while (expected < 5) {
      const unsigned char* q = bytes + 3 * expected;
      const bool form = (q[0] & 0xF0) == 0xE0 && (q[1] & 0xC0) == 0x80 && (q[2] & 0xC0) == 0x80;
      if (!form || (q[0] == 0xE0 && q[1] < 0xA0)) break;
      ++expected;
    }
    uint16_t units[kBlockBytes];
    ASSERT_EQ(ThreeByteUnits(bytes, units), expected) << round;
    for (int k = 0; k < expected; ++k) {
      const unsigned char* q = bytes + 3 * k;
      ASSERT_EQ(units[3 * k], (q[0] & 0x0F) << 12 | (q[1] & 0x3F) << 6 | (q[2] & 0x3F)) << round;
    }
  }
}

// The two-byte view of the unit table holds the same forms as the whole one.
TEST(VectorScan, TwoByteFormsAgreeWithTheUnitTable) {
  const CodeByUnit& codes = Cp932Codes();
  for (unsigned u = 0; u < 0x10000; ++u) {
    const bool two = codes.length[u] == 2;
    ASSERT_EQ(codes.two_byte[u][0] != 0, two) << std::hex << u;
    if (two) {
      ASSERT_EQ(std::memcmp(codes.two_byte[u], codes.bytes[u], 2), 0) << std::hex << u;
    }
  }
}

}  // namespace
}  // namespace kelvane
