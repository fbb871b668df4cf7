#include "encoding/line_ends.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::DecodeBytes;
using testing::ExactBlock;
using testing::Hex;
using testing::ReferenceLineEnds;
using testing::ToHex;

struct LineEndCase {
  const char* name;
  std::string input;
  int flags;
  int want_result;
  std::string want;
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const LineEndCase& row, std::ostream* os) {
  *os << row.name;
}

std::string CaseName(const ::testing::TestParamInfo<LineEndCase>& row) {
  return row.param.name;
}

class NormalizeLineEndsRows : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(NormalizeLineEndsRows, WritesTheModesLineEnds) {
  const LineEndCase& c = GetParam();
  testing::Decoded got = DecodeBytes(&NormalizeLineEnds, c.input, c.flags);
  EXPECT_EQ(got.result, c.want_result);
  EXPECT_EQ(ToHex(got.text), ToHex(c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NormalizeLineEndsRows,
    ::testing::Values(
        LineEndCase{"LfBecomesCrLf", Hex("61 0A 62"), 0x300, 0, Hex("61 0D 0A 62")},
        LineEndCase{"CrLfStaysOne", Hex("61 0D 0A 62"), 0x300, 0, Hex("61 0D 0A 62")},
        LineEndCase{"TwoCrsAreTwoLineEnds", Hex("61 0D 0D 62"), 0x300, 0, Hex("61 0D 0A 0D 0A 62")},
        LineEndCase{"LfCrIsTwoLineEnds", Hex("61 0A 0D 62"), 0x300, 0, Hex("61 0D 0A 0D 0A 62")},
        LineEndCase{"LfLongAfterCrIsDropped", Hex("61 0D 62 0A 63"), 0x300, 0,
                    Hex("61 0D 0A 62 63")},
        LineEndCase{"CrLfToLf", Hex("61 0D 0A 62 0D 63"), 0x200, 0, Hex("61 0A 62 0A 63")},
        LineEndCase{"LfToCr", Hex("61 0A 62 0D 0A"), 0x100, 0, Hex("61 0D 62 0D")},
        LineEndCase{"ResultComesFromTheLowBits", Hex("61 0D 0A"), 0x205, 5, Hex("61 0A")},
        LineEndCase{"OtherBitsAreIgnored", Hex("61 0D 0A"), 0x7F0205, 5, Hex("61 0A")},
        LineEndCase{"ModeZeroCopies", Hex("61 0D 0A 0A 0D 62"), 5, 5, Hex("61 0D 0A 0A 0D 62")},
        LineEndCase{"UnknownModeRemovesLineEnds", Hex("61 0D 0A 62 0A"), 0x400, 0, Hex("61 62")},
        LineEndCase{"ShiftJisTrailBytesAreCopied", Hex("82 A0 0A 83 5C 0D"), 0x300, 0,
                    Hex("82 A0 0D 0A 83 5C 0D 0A")},
        LineEndCase{"EmptyText", "", 0x300, 0, ""}),
    CaseName);

TEST(NormalizeLineEnds, NullArgumentsFail) {
  char* out = nullptr;
  EXPECT_EQ(NormalizeLineEnds(nullptr, "a", 0x300), -1);
  EXPECT_EQ(NormalizeLineEnds(&out, nullptr, 0x300), -1);
}

// The bulk copy of runs against the byte-by-byte rule, on random texts mixing
// line ends with Shift-JIS bytes, in every mode.
TEST(NormalizeLineEnds, MatchesTheReferenceOnRandomText) {
  const char kBytes[] = {'a', '\r', '\n', '\x82', '\xA0', ' '};
  std::mt19937 rng(7);
  for (int round = 0; round < 3000; ++round) {
    std::string text(rng() % 40, 'a');
    for (char& c : text) c = kBytes[rng() % sizeof(kBytes)];
    for (int mode : {0, 0x100, 0x200, 0x300, 0x400, 0xF00}) {
      testing::Decoded got = DecodeBytes(&NormalizeLineEnds, text, mode | 3);
      ASSERT_EQ(got.result, 3);
      ASSERT_EQ(ToHex(got.text), ToHex(ReferenceLineEnds(text, mode)))
          << "mode " << mode << " on " << ToHex(text);
    }
  }
}

TEST(NormalizeLineEnds, FailsCleanlyWhenAnyAllocationFails) {
  std::string text;
  for (int i = 0; i < 3000; ++i) text += "line\n";
  ExactBlock block(text, 2);
  testing::WalkAllocationFailures(&NormalizeLineEnds, block, 0x305,
                                  testing::Decoded{5, ReferenceLineEnds(text, 0x300)});
}

}  // namespace
}  // namespace kelvane
