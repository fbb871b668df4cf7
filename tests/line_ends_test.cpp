#include "encoding/line_ends.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>

#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::ByteCase;
using testing::CaseName;
using testing::DecodeBytes;
using testing::ExactBlock;
using testing::ExpectRow;
using testing::Hex;
using testing::ReferenceLineEnds;
using testing::ToHex;

class NormalizeLineEndsRows : public ::testing::TestWithParam<ByteCase> {};

TEST_P(NormalizeLineEndsRows, WritesTheModesLineEnds) {
  ExpectRow(&NormalizeLineEnds, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, NormalizeLineEndsRows,
    ::testing::Values(
        ByteCase{"LfBecomesCrLf", Hex("61 0A 62"), 0x300, 0, Hex("61 0D 0A 62")},
        ByteCase{"CrLfStaysOne", Hex("61 0D 0A 62"), 0x300, 0, Hex("61 0D 0A 62")},
        ByteCase{"TwoCrsAreTwoLineEnds", Hex("61 0D 0D 62"), 0x300, 0, Hex("61 0D 0A 0D 0A 62")},
        ByteCase{"LfCrIsTwoLineEnds", Hex("61 0A 0D 62"), 0x300, 0, Hex("61 0D 0A 0D 0A 62")},
        ByteCase{"LfLongAfterCrIsDropped", Hex("61 0D 62 0A 63"), 0x300, 0, Hex("61 0D 0A 62 63")},
        ByteCase{"CrLfToLf", Hex("61 0D 0A 62 0D 63"), 0x200, 0, Hex("61 0A 62 0A 63")},
        ByteCase{"LfToCr", Hex("61 0A 62 0D 0A"), 0x100, 0, Hex("61 0D 62 0D")},
        ByteCase{"ResultComesFromTheLowBits", Hex("61 0D 0A"), 0x205, 5, Hex("61 0A")},
        ByteCase{"OtherBitsAreIgnored", Hex("61 0D 0A"), 0x7F0205, 5, Hex("61 0A")},
        ByteCase{"ModeZeroCopies", Hex("61 0D 0A 0A 0D 62"), 5, 5, Hex("61 0D 0A 0A 0D 62")},
        ByteCase{"UnknownModeRemovesLineEnds", Hex("61 0D 0A 62 0A"), 0x400, 0, Hex("61 62")},
        ByteCase{"ShiftJisTrailBytesAreCopied", Hex("82 A0 0A 83 5C 0D"), 0x300, 0,
                 Hex("82 A0 0D 0A 83 5C 0D 0A")},
        ByteCase{"EmptyText", "", 0x300, 0, ""}),
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

// Cut anywhere, a CR at a part's end included, the parts' outputs joined are
// the whole text's, in every mode; random text with long plain runs reaches
// the block copies too.
TEST(NormalizeLineEnds, PartsJoinedAreTheWhole) {
  const char kBytes[] = {'a', '\r', '\n', '\x82', '\xA0', ' '};
  std::mt19937 rng(11);
  for (int round = 0; round < 400; ++round) {
    std::string text(rng() % 200, 'a');
    for (char& c : text) c = rng() % 4 == 0 ? kBytes[rng() % sizeof(kBytes)] : 'x';
    for (int mode : {0x100, 0x200, 0x300}) {
      LineEndRule rule = StartLineEndRule(mode);
      TextBuffer out;
      InitTextBuffer(&out);
      std::size_t at = 0;
      while (at < text.size()) {
        const std::size_t n = std::min<std::size_t>(text.size() - at, rng() % 40);
        ASSERT_EQ(NormalizeLineEndsOfPart(&rule, text.data() + at, n, &out), 1);
        at += n;
      }
      const std::string joined(out.data, out.length);
      ReleaseTextBuffer(&out);
      ASSERT_EQ(ToHex(joined), ToHex(ReferenceLineEnds(text, mode)))
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
