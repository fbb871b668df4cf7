#include "encoding/utf16_decoder.h"

#include <gtest/gtest.h>

#include <iterator>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "encoding/cp932_form.h"
#include "encoding/cp932_table.h"
#include "encoding/encoding_id.h"
#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::DecodeUnits;
using testing::Hex;
using testing::ToHex;
using testing::UnitBlock;

constexpr int kFails = -1;

struct Utf16Case {
  const char* name;
  std::string input;  // the file's bytes; the block adds the NULs
  int mode;
  int want_result;  // kFails, or the stage's success result
  std::string want;
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const Utf16Case& row, std::ostream* os) {
  *os << row.name;
}

std::string CaseName(const ::testing::TestParamInfo<Utf16Case>& row) {
  return row.param.name;
}

void ExpectDecodes(int (*stage)(char**, const uint16_t*, int), const Utf16Case& c) {
  testing::Decoded got = DecodeUnits(stage, c.input, c.mode);
  EXPECT_EQ(got.result, c.want_result);
  if (c.want_result != kFails) {
    EXPECT_EQ(ToHex(got.text), ToHex(c.want));
  }
}

class Utf16LeRows : public ::testing::TestWithParam<Utf16Case> {};
TEST_P(Utf16LeRows, Decodes) {
  ExpectDecodes(&DecodeUtf16Le, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Utf16LeRows,
    ::testing::Values(
        Utf16Case{"MarkIsSkipped", Hex("FF FE 42 30"), 0x200, kUtf16Le, Hex("82 A0")},
        Utf16Case{"NoMarkNeeded", Hex("42 30 41 00"), 0x200, kUtf16Le, Hex("82 A0 41")},
        Utf16Case{"HalfWidthKatakanaIsOneByte", Hex("71 FF"), 0x200, kUtf16Le, Hex("B1")},
        Utf16Case{"NecRow13Character", Hex("60 24"), 0x200, kUtf16Le, Hex("87 40")},
        Utf16Case{"IbmExtensionCharacter", Hex("70 21"), 0x200, kUtf16Le, Hex("FA 40")},
        Utf16Case{"OnlyTheFirstMarkIsSkipped", Hex("FF FE FF FE 41 00"), 0x200, kFails, ""},
        Utf16Case{"EmptyTextFails", "", 0x200, kFails, ""},
        Utf16Case{"OnlyTheMarkFails", Hex("FF FE"), 0x200, kFails, ""},
        Utf16Case{"SurrogatePairFails", Hex("3D D8 00 DE"), 0x200, kFails, ""},
        Utf16Case{"LoneLowSurrogateFails", Hex("41 00 00 DC"), 0x200, kFails, ""},
        Utf16Case{"CharacterWithoutAFormFails", Hex("41 00 61 26"), 0x200, kFails, ""},
        Utf16Case{"AccentedLetterTakesItsBestFit", Hex("41 00 E9 00"), 0x200, kUtf16Le,
                  Hex("41 65")},
        Utf16Case{"YenSignTakesItsBestFit", Hex("A5 00"), 0x200, kUtf16Le, Hex("5C")},
        Utf16Case{"TradeMarkTakesFourBytes", Hex("22 21 41 00"), 0x200, kUtf16Le,
                  Hex("28 54 4D 29 41")},
        Utf16Case{"UnmappedAfterLineEndsStillFails", Hex("0D 00 0A 00 00 AC"), 0x300, kFails, ""},
        Utf16Case{"CrLfToLf", Hex("41 00 0D 00 0A 00 42 00"), 0x200, kUtf16Le, Hex("41 0A 42")},
        Utf16Case{"LfToCrLf", Hex("41 00 0A 00 42 30 0A 00"), 0x300, kUtf16Le,
                  Hex("41 0D 0A 82 A0 0D 0A")},
        Utf16Case{"LfLongAfterCrIsDropped", Hex("0D 00 42 30 0A 00 41 00"), 0x200, kUtf16Le,
                  Hex("0A 82 A0 41")},
        Utf16Case{"ModeZeroCopiesLineEnds", Hex("0D 00 0A 00 0A 00"), 0, kUtf16Le, Hex("0D 0A 0A")},
        Utf16Case{"LineEndsAloneAreNotEmpty", Hex("0D 00 0A 00"), 0x400, kUtf16Le, ""},
        // The mode goes on as a flag word: bits 8-11 choose the line end.
        Utf16Case{"ModeReadFromBits8To11", Hex("41 00 0D 00 0A 00"), 0x205, kUtf16Le, Hex("41 0A")},
        Utf16Case{"OddByteCountEndsAtTheZeroUnit", Hex("41 00 42"), 0x200, kUtf16Le, Hex("41 42")}),
    CaseName);

class Utf16BeRows : public ::testing::TestWithParam<Utf16Case> {};
TEST_P(Utf16BeRows, Decodes) {
  ExpectDecodes(&DecodeUtf16Be, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Utf16BeRows,
    ::testing::Values(
        Utf16Case{"CrLfToLf", Hex("00 41 00 0D 00 0A 00 42"), 0x200, kUtf16Be, Hex("41 0A 42")},
        Utf16Case{"MarkIsSkipped", Hex("FE FF 30 42 FF 71"), 0x200, kUtf16Be, Hex("82 A0 B1")},
        Utf16Case{"LfToCrLf", Hex("30 42 00 0A"), 0x300, kUtf16Be, Hex("82 A0 0D 0A")},
        Utf16Case{"OnlyTheMarkFails", Hex("FE FF"), 0x200, kFails, ""},
        Utf16Case{"EmptyTextFails", "", 0x200, kFails, ""},
        Utf16Case{"SurrogatePairFails", Hex("D8 3D DE 00"), 0x200, kFails, ""},
        Utf16Case{"SwappedLineEndUnitsAreNotLineEnds", Hex("0D 00 0A 00"), 0x200, kFails, ""}),
    CaseName);

struct SwapCase {
  const char* name;
  std::string input;
  int mode;
  std::string want;  // units as little-endian bytes
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const SwapCase& row, std::ostream* os) {
  *os << row.name;
}

std::string SwapCaseName(const ::testing::TestParamInfo<SwapCase>& row) {
  return row.param.name;
}

class SwapRows : public ::testing::TestWithParam<SwapCase> {};
TEST_P(SwapRows, SwapsEveryUnit) {
  const SwapCase& c = GetParam();
  testing::Decoded got = DecodeUnits(&SwapUtf16Bytes, c.input, c.mode);
  EXPECT_EQ(got.result, kUtf16Be);
  EXPECT_EQ(ToHex(got.text), ToHex(c.want));
}

INSTANTIATE_TEST_SUITE_P(
    Rows, SwapRows,
    ::testing::Values(SwapCase{"KeepsTheMark", Hex("FE FF 30 42"), 0x200, Hex("FF FE 42 30")},
                      SwapCase{"EmptyTextSucceeds", "", 0x200, ""},
                      SwapCase{"LineEndRule", Hex("00 0D 00 0A 00 0A"), 0x300,
                               Hex("0D 00 0A 00 0D 00 0A 00")},
                      SwapCase{"ModeIsComparedWhole", Hex("00 41 00 0A"), 0x205, Hex("41 00")},
                      SwapCase{"ModeZeroCopies", Hex("00 0D 00 0A"), 0, Hex("0D 00 0A 00")}),
    SwapCaseName);

TEST(Utf16Decoders, NullArgumentsFail) {
  char* out = nullptr;
  uint16_t* units = nullptr;
  const uint16_t text[] = {0x41, 0};
  EXPECT_EQ(DecodeUtf16Le(nullptr, text, 0x200), -1);
  EXPECT_EQ(DecodeUtf16Le(&out, nullptr, 0x200), -1);
  EXPECT_EQ(DecodeUtf16Be(nullptr, text, 0x200), -1);
  EXPECT_EQ(DecodeUtf16Be(&out, nullptr, 0x200), -1);
  EXPECT_EQ(SwapUtf16Bytes(nullptr, text, 0x200), -1);
  EXPECT_EQ(SwapUtf16Bytes(&units, nullptr, 0x200), -1);
}

// The decoder copies ASCII without the table; the table must agree.
TEST(Utf16Decoders, Cp932KeepsAsciiAsItIs) {
  for (uint16_t u = 1; u < 0x80; ++u) EXPECT_EQ(UnicodeToCp932(u), u) << u;
}

// Every unit against the one conversion: one unit alone decodes to its cp932
// form, exact or near, or fails when it has none.
TEST(Utf16Decoders, EveryUnitFollowsTheConversion) {
  for (unsigned u = 1; u < 0x10000; ++u) {
    if (u == 0xFEFF) continue;  // skipped as a mark
    const uint16_t text[] = {static_cast<uint16_t>(u), 0x41, 0};
    char* out = nullptr;
    const int r = DecodeUtf16Le(&out, text, 0);
    const Cp932Form form = Cp932FormOf(static_cast<uint16_t>(u));
    if (form.length == 0) {
      ASSERT_EQ(r, -1) << std::hex << u;
      continue;
    }
    ASSERT_EQ(r, kUtf16Le) << std::hex << u;
    std::string want(form.bytes, static_cast<std::size_t>(form.length));
    want.push_back('A');
    EXPECT_EQ(ToHex(testing::TakeOutput(out)), ToHex(want)) << std::hex << u;
  }
}

// Texts of several hundred thousand units, longer than the decoder converts
// between two checks of its room: a CR LF across every such step, one-byte and
// two-byte codes mixed, and a unit without a code near the end.
TEST(Utf16Decoders, LongTextsKeepTheRuleAndTheVerdictAcrossTheirLength) {
  const uint16_t kRepeat[] = {0x3042, 0x41, 0xFF71, 0x65E5, 0x0D, 0x0A, 0x0D, 0x42};
  std::vector<uint16_t> units;
  std::string want;
  for (int i = 0; i < 40000; ++i) {
    for (uint16_t u : kRepeat) units.push_back(u);
    want += Hex("82 A0 41 B1 93 FA 0D 0A 0D 0A 42");
  }
  units.push_back(0);
  char* out = nullptr;
  ASSERT_EQ(DecodeUtf16Le(&out, units.data(), 0x300), kUtf16Le);
  EXPECT_EQ(testing::TakeOutput(out), want);
  units[units.size() - 5] = 0x2661;  // a white heart has no cp932 form
  EXPECT_EQ(DecodeUtf16Le(&out, units.data(), 0x300), -1);
}

// Big-endian text is converted in one pass: random texts of marks, line
// ends, units with one-byte, two-byte and near forms and units without a form
// give, in every mode, what swapping the bytes and then decoding gives.
TEST(Utf16Decoders, BeInOnePassMatchesSwapThenDecode) {
  const uint16_t kUnits[] = {0xFEFF, 0x0D, 0x0A, 0x41, 0x3042, 0xFF71, 0x2122, 0x2661, 0xD800};
  std::mt19937 rng(16);
  int converted = 0;
  for (int round = 0; round < 5000; ++round) {
    std::string bytes;
    const int length = round % 100 == 0 ? 40000 : 1 + static_cast<int>(rng() % 8);
    for (int i = 0; i < length; ++i) {
      // Mostly units with a form, so long texts often convert whole.
      const uint16_t u = kUnits[rng() % (rng() % 8 == 0 ? std::size(kUnits) : 7)];
      bytes.push_back(static_cast<char>(u >> 8));
      bytes.push_back(static_cast<char>(u & 0xFF));
    }
    const int mode = static_cast<int>(rng() % 4) * 0x100;
    testing::Decoded want{-1, ""};
    const testing::Decoded swapped = DecodeUnits(&SwapUtf16Bytes, bytes, mode);
    if (swapped.result != -1) {
      want = DecodeUnits(&DecodeUtf16Le, swapped.text, 0);
      if (want.result != -1) want.result = kUtf16Be;
    }
    const testing::Decoded got = DecodeUnits(&DecodeUtf16Be, bytes, mode);
    ASSERT_EQ(got.result, want.result) << ToHex(bytes.substr(0, 40)) << " mode " << mode;
    ASSERT_EQ(ToHex(got.text), ToHex(want.text)) << " mode " << mode;
    converted += got.result != -1;
  }
  EXPECT_GT(converted, 1000);
}

std::string LongUtf16LeText() {
  std::string text;
  for (int i = 0; i < 1500; ++i) text += Hex("42 30 0D 00 0A 00 41 00");
  return text;
}

TEST(Utf16Decoders, LeFailsCleanlyWhenAnyAllocationFails) {
  std::string text = LongUtf16LeText();
  std::string want;
  for (int i = 0; i < 1500; ++i) want += Hex("82 A0 0D 0A 41");
  UnitBlock block(text);
  testing::WalkAllocationFailures(&DecodeUtf16Le, block, 0x300, testing::Decoded{kUtf16Le, want});
}

TEST(Utf16Decoders, BeChainFailsCleanlyWhenAnyAllocationFails) {
  std::string le = LongUtf16LeText();
  std::string be = le;
  for (std::size_t i = 0; i + 1 < be.size(); i += 2) std::swap(be[i], be[i + 1]);
  std::string want;
  for (int i = 0; i < 1500; ++i) want += Hex("82 A0 0A 41");
  UnitBlock block(be);
  testing::WalkAllocationFailures(&DecodeUtf16Be, block, 0x200, testing::Decoded{kUtf16Be, want});
}

}  // namespace
}  // namespace kelvane
