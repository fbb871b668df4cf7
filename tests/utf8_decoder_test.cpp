#include "encoding/utf8_decoder.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "encoding/encoding_id.h"
#include "encoding/utf16_decoder.h"
#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::ByteCase;
using testing::CaseName;
using testing::DecodeBytes;
using testing::ExactBlock;
using testing::ExpectRow;
using testing::Hex;
using testing::ToHex;

constexpr int kFails = -1;

class Utf8ToUtf16Rows : public ::testing::TestWithParam<ByteCase> {};

TEST_P(Utf8ToUtf16Rows, Converts) {
  ExpectRow(&Utf8ToUtf16, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    WellFormed, Utf8ToUtf16Rows,
    ::testing::Values(
        ByteCase{"ThreeByteHiragana", Hex("E3 81 82"), 0x200, kUtf8, Hex("42 30")},
        ByteCase{"MarkIsSkipped", Hex("EF BB BF 41"), 0x200, kUtf8, Hex("41 00")},
        ByteCase{"OnlyTheMarkIsSkipped", Hex("EF BC 81"), 0x200, kUtf8, Hex("01 FF")},
        ByteCase{"SecondMarkIsKept", Hex("EF BB BF EF BB BF"), 0x200, kUtf8, Hex("FF FE")},
        ByteCase{"EmptyTextSucceeds", "", 0x200, kUtf8, ""},
        ByteCase{"OnlyTheMarkIsEmpty", Hex("EF BB BF"), 0x200, kUtf8, ""},
        ByteCase{"SmallestTwoByte", Hex("C2 80"), 0x200, kUtf8, Hex("80 00")},
        ByteCase{"LargestTwoByte", Hex("DF BF"), 0x200, kUtf8, Hex("FF 07")},
        ByteCase{"SmallestThreeByte", Hex("E0 A0 80"), 0x200, kUtf8, Hex("00 08")},
        ByteCase{"LastBeforeSurrogates", Hex("ED 9F BF"), 0x200, kUtf8, Hex("FF D7")},
        ByteCase{"FirstAfterSurrogates", Hex("EE 80 80"), 0x200, kUtf8, Hex("00 E0")},
        ByteCase{"LargestThreeByte", Hex("EF BF BF"), 0x200, kUtf8, Hex("FF FF")},
        ByteCase{"CrLfToLf", Hex("41 0D 0A 42"), 0x200, kUtf8, Hex("41 00 0A 00 42 00")},
        ByteCase{"LfToCrLf", Hex("E3 81 82 0A"), 0x300, kUtf8, Hex("42 30 0D 00 0A 00")},
        ByteCase{"LfLongAfterCrIsDropped", Hex("0D E3 81 82 0A 41"), 0x200, kUtf8,
                 Hex("0A 00 42 30 41 00")},
        ByteCase{"ModeZeroCopies", Hex("0D 0A"), 0, kUtf8, Hex("0D 00 0A 00")},
        ByteCase{"ModeIsComparedWhole", Hex("41 0A"), 0x205, kUtf8, Hex("41 00")}),
    CaseName);

// Each of these was once decoded into something else: C3 28 swallowed the
// "(", and overlong forms such as C0 BC reached the HTML converter as "<".
INSTANTIATE_TEST_SUITE_P(
    Malformed, Utf8ToUtf16Rows,
    ::testing::Values(ByteCase{"ContinuationMissing", Hex("C3 28"), 0x200, kFails, ""},
                      ByteCase{"SecondContinuationMissing", Hex("E3 81 28"), 0x200, kFails, ""},
                      ByteCase{"ContinuationAboveBf", Hex("E3 C0 80"), 0x200, kFails, ""},
                      ByteCase{"OverlongLessThan", Hex("C0 BC"), 0x200, kFails, ""},
                      ByteCase{"OverlongC1", Hex("C1 81"), 0x200, kFails, ""},
                      ByteCase{"OverlongCr", Hex("C0 8D"), 0x200, kFails, ""},
                      ByteCase{"OverlongThreeByte", Hex("E0 80 BC"), 0x200, kFails, ""},
                      ByteCase{"OverlongThreeByteTop", Hex("E0 9F BF"), 0x200, kFails, ""},
                      ByteCase{"HighSurrogate", Hex("ED A0 80"), 0x200, kFails, ""},
                      ByteCase{"LowSurrogate", Hex("ED BF BF"), 0x200, kFails, ""},
                      ByteCase{"FourByteSequence", Hex("F0 9F 98 80"), 0x200, kFails, ""},
                      ByteCase{"LoneContinuation", Hex("80"), 0x200, kFails, ""},
                      ByteCase{"ContinuationAfterCharacter", Hex("41 E3 81 82 82"), 0x200, kFails,
                               ""},
                      ByteCase{"ByteFf", Hex("41 FF"), 0x200, kFails, ""},
                      ByteCase{"TwoByteCutOffByTheEnd", Hex("41 C3"), 0x200, kFails, ""},
                      ByteCase{"ThreeByteCutAfterOne", Hex("41 E3"), 0x200, kFails, ""},
                      ByteCase{"ThreeByteCutAfterTwo", Hex("41 E3 81"), 0x200, kFails, ""},
                      ByteCase{"NulInsideASequence", Hex("E3 00 82 41"), 0x200, kFails, ""},
                      ByteCase{"MarkCutShort", Hex("EF BB"), 0x200, kFails, ""}),
    CaseName);

class DecodeUtf8Rows : public ::testing::TestWithParam<ByteCase> {};

TEST_P(DecodeUtf8Rows, DecodesToShiftJis) {
  ExpectRow(&DecodeUtf8, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Rows, DecodeUtf8Rows,
    ::testing::Values(
        ByteCase{"Hiragana", Hex("E3 81 82"), 0x200, kUtf8, Hex("82 A0")},
        ByteCase{"MarkThenText", Hex("EF BB BF 3C 70 3E E6 97 A5 0D 0A"), 0x200, kUtf8,
                 Hex("3C 70 3E 93 FA 0A")},
        ByteCase{"FullWidthExclamation", Hex("EF BC 81"), 0x200, kUtf8, Hex("81 49")},
        ByteCase{"HalfWidthKatakana", Hex("EF BD B1"), 0x200, kUtf8, Hex("B1")},
        ByteCase{"SecondMarkIsSkippedByTheUtf16Stage", Hex("EF BB BF EF BB BF 41"), 0x200, kUtf8,
                 Hex("41")},
        ByteCase{"OnlyTheMarkFails", Hex("EF BB BF"), 0x200, kFails, ""},
        ByteCase{"EmptyTextFails", "", 0x200, kFails, ""},
        ByteCase{"CharacterWithoutAFormFails", Hex("E2 99 A1"), 0x200, kFails, ""},
        ByteCase{"AccentedLetterTakesItsBestFit", Hex("C3 A9"), 0x200, kUtf8, Hex("65")},
        ByteCase{"CopyrightSignTakesItsFixedForm", Hex("C2 A9"), 0x200, kUtf8, Hex("28 43 29")},
        ByteCase{"MalformedFails", Hex("C3 28"), 0x200, kFails, ""},
        ByteCase{"FourByteFails", Hex("F0 9F 98 80"), 0x200, kFails, ""},
        ByteCase{"LoneContinuationFails", Hex("80"), 0x200, kFails, ""}),
    CaseName);

TEST(Utf8Decoders, NullArgumentsFail) {
  char* out = nullptr;
  uint16_t* units = nullptr;
  EXPECT_EQ(Utf8ToUtf16(nullptr, "a", 0x200), -1);
  EXPECT_EQ(Utf8ToUtf16(&units, nullptr, 0x200), -1);
  EXPECT_EQ(DecodeUtf8(nullptr, "a", 0x200), -1);
  EXPECT_EQ(DecodeUtf8(&out, nullptr, 0x200), -1);
}

// A slow decoder written from the definition of UTF-8: a character is the
// shortest form of a code point U+0001-U+FFFF outside the surrogates.
int ReferenceUtf8(const std::string& bytes, std::u16string* units) {
  std::size_t i = 0;
  units->clear();
  while (i < bytes.size()) {
    const unsigned b0 = static_cast<unsigned char>(bytes[i]);
    int need = b0 < 0x80 ? 0 : (b0 >> 5) == 6 ? 1 : (b0 >> 4) == 14 ? 2 : -1;
    if (need < 0 || i + static_cast<std::size_t>(need) >= bytes.size()) return -1;
    unsigned cp = need == 0 ? b0 : need == 1 ? (b0 & 0x1F) : (b0 & 0x0F);
    for (int k = 1; k <= need; ++k) {
      const unsigned b = static_cast<unsigned char>(bytes[i + k]);
      if ((b >> 6) != 2) return -1;
      cp = (cp << 6) | (b & 0x3F);
    }
    const unsigned smallest = need == 0 ? 0 : need == 1 ? 0x80 : 0x800;
    if (cp < smallest || (cp >= 0xD800 && cp <= 0xDFFF)) return -1;
    units->push_back(static_cast<char16_t>(cp));
    i += static_cast<std::size_t>(need) + 1;
  }
  return 0;
}

// Random byte strings, mostly near-UTF-8, against the reference: the same
// verdict, the same units.
TEST(Utf8Decoders, MatchesTheReferenceOnRandomBytes) {
  const unsigned char kBytes[] = {0x41, 0x0D, 0x0A, 0x80, 0x81, 0x9F, 0xA0, 0xBF,
                                  0xC0, 0xC1, 0xC2, 0xC3, 0xDF, 0xE0, 0xE3, 0xED,
                                  0xEF, 0xF0, 0xF4, 0xFF, 0xBB, 0xBC, 0x28, 0x00};
  std::mt19937 rng(3);
  int accepted = 0;
  for (int round = 0; round < 30000; ++round) {
    std::string bytes(rng() % 10, 'a');
    for (char& c : bytes) c = static_cast<char>(kBytes[rng() % sizeof(kBytes)]);
    bytes = bytes.substr(0, bytes.find('\0'));           // the text ends at its NUL
    if (bytes.rfind(Hex("EF BB BF"), 0) == 0) continue;  // the mark has its own rows
    std::u16string want;
    const bool valid = ReferenceUtf8(bytes, &want) == 0;
    testing::Decoded got = DecodeBytes(&Utf8ToUtf16, bytes, 0);
    ASSERT_EQ(got.result, valid ? kUtf8 : -1) << ToHex(bytes);
    if (!valid) continue;
    ++accepted;
    std::string want_bytes;
    for (char16_t u : want) {
      want_bytes.push_back(static_cast<char>(u & 0xFF));
      want_bytes.push_back(static_cast<char>(u >> 8));
    }
    ASSERT_EQ(ToHex(got.text), ToHex(want_bytes)) << ToHex(bytes);
  }
  EXPECT_GT(accepted, 1000);  // the valid path was exercised too
}

// Runs of three-byte sequences are tested two at a time: every pair of
// sequences at the edges of what is a character, with text behind it so the
// run is long enough for that, gets the reference's verdict and units, and
// the one-pass decoder gives what the two stages give.
TEST(Utf8Decoders, PairsOfThreeByteSequencesAtTheEdges) {
  const std::string kEdges[] = {Hex("E0 A0 80"), Hex("E0 9F BF"), Hex("E0 80 80"), Hex("ED 9F BF"),
                                Hex("ED A0 80"), Hex("ED BF BF"), Hex("EE 80 80"), Hex("EF BF BF"),
                                Hex("E3 81 82"), Hex("E3 C1 82"), Hex("E3 81 42"), Hex("E2 84 A2"),
                                Hex("E3 81"),    Hex("F3 81 82"), Hex("C3 A9"),    Hex("41")};
  int accepted = 0;
  for (const std::string& first : kEdges) {
    for (const std::string& second : kEdges) {
      for (const std::string& lead : {std::string(), std::string("x")}) {
        const std::string bytes = lead + first + second + Hex("E3 81 82") + "tail";
        std::u16string want;
        const bool valid = ReferenceUtf8(bytes, &want) == 0;
        uint16_t* units = nullptr;
        ExactBlock block(bytes, 2);
        ASSERT_EQ(Utf8ToUtf16(&units, block.get(), 0), valid ? kUtf8 : -1) << ToHex(bytes);
        testing::Decoded two_stages{-1, ""};
        if (valid) {
          ASSERT_EQ(std::u16string(reinterpret_cast<const char16_t*>(units)), want) << ToHex(bytes);
          two_stages = testing::DecodeUnits(&DecodeUtf16Le, testing::UnitsToBytes(units), 0);
          if (two_stages.result != -1) two_stages.result = kUtf8;
          MemFree(units);
        }
        const testing::Decoded got = DecodeBytes(&DecodeUtf8, bytes, 0x200);
        ASSERT_EQ(got.result, two_stages.result) << ToHex(bytes);
        ASSERT_EQ(ToHex(got.text), ToHex(two_stages.text)) << ToHex(bytes);
        accepted += got.result != -1;
      }
    }
  }
  EXPECT_GT(accepted, 40);
}

TEST(Utf8Decoders, CutAtEveryOffset) {
  const std::vector<testing::Piece> pieces = {
      {Hex("41"), Hex("41 00")},       {Hex("E3 81 82"), Hex("42 30")},
      {Hex("C3 A9"), Hex("E9 00")},    {Hex("0D"), Hex("0D 00")},
      {Hex("EF BD B1"), Hex("71 FF")}, {Hex("0A"), Hex("0A 00")},
      {Hex("E6 97 A5"), Hex("E5 65")}, {Hex("DF BF"), Hex("FF 07")},
  };
  // Units as bytes are not text the line-end reference can read: mode 0 only.
  testing::CheckEveryCut(&Utf8ToUtf16, pieces, 0, kUtf8);
}

// DecodeUtf8 converts in one pass what the two stages would convert one after
// the other. Random texts of characters cp932 has and lacks, marks, line ends,
// controls and malformed bytes, in every mode, some long enough to outgrow the
// first block, must give the same verdict and bytes both ways.
TEST(Utf8Decoders, OnePassMatchesTheTwoStages) {
  const std::string kPieces[] = {"A",
                                 "<p>",
                                 "0123456789abcdef",
                                 "\r",
                                 "\n",
                                 "\r\n",
                                 "\t",
                                 "\x01",
                                 "\\~",
                                 Hex("EF BB BF"),
                                 Hex("E3 81 82"),
                                 Hex("E6 97 A5"),
                                 Hex("EF BD B1"),
                                 Hex("C2 A5"),
                                 Hex("C3 A9"),
                                 Hex("CE B1"),
                                 Hex("E2 80 94"),
                                 Hex("E2 84 A2"),
                                 Hex("EF BF BF"),
                                 Hex("C3 28"),
                                 Hex("80"),
                                 Hex("ED A0 80"),
                                 Hex("F0 9F 98 80"),
                                 Hex("E3 81"),
                                 Hex("DF BF"),
                                 Hex("E2 99 A1")};
  std::mt19937 rng(11);
  int converted = 0, failed = 0;
  for (int round = 0; round < 20000; ++round) {
    std::string bytes;
    const int pieces = round % 50 == 0 ? 2000 : static_cast<int>(rng() % 12);
    for (int i = 0; i < pieces; ++i) {
      // Mostly characters cp932 has, so long texts often convert whole.
      const std::size_t pick = rng() % 16 < 13 ? rng() % 13 : rng() % std::size(kPieces);
      bytes += kPieces[pick];
    }
    const int mode = static_cast<int>(rng() % 5) * 0x100;
    uint16_t* units = nullptr;
    testing::Decoded want{-1, ""};
    ExactBlock block(bytes, 2);
    if (Utf8ToUtf16(&units, block.get(), mode) != -1) {
      want = testing::DecodeUnits(&DecodeUtf16Le, testing::UnitsToBytes(units), 0);
      if (want.result != -1) want.result = kUtf8;
      MemFree(units);
    }
    const testing::Decoded got = DecodeBytes(&DecodeUtf8, bytes, mode);
    ASSERT_EQ(got.result, want.result) << ToHex(bytes) << " mode " << mode;
    if (got.result == -1) {
      ++failed;
      continue;
    }
    ++converted;
    ASSERT_EQ(ToHex(got.text), ToHex(want.text)) << ToHex(bytes) << " mode " << mode;
  }
  EXPECT_GT(converted, 2000);
  EXPECT_GT(failed, 2000);
}

std::string LongUtf8Text() {
  std::string text;
  for (int i = 0; i < 1500; ++i) text += Hex("E3 81 82 0D 0A 41");
  return text;
}

TEST(Utf8Decoders, ToUtf16FailsCleanlyWhenAnyAllocationFails) {
  std::string want;
  for (int i = 0; i < 1500; ++i) want += Hex("42 30 0D 00 0A 00 41 00");
  ExactBlock block(LongUtf8Text(), 2);
  testing::WalkAllocationFailures(&Utf8ToUtf16, block, 0x300, testing::Decoded{kUtf8, want});
}

TEST(Utf8Decoders, ChainFailsCleanlyWhenAnyAllocationFails) {
  std::string want;
  for (int i = 0; i < 1500; ++i) want += Hex("82 A0 0A 41");
  ExactBlock block(LongUtf8Text(), 2);
  testing::WalkAllocationFailures(&DecodeUtf8, block, 0x200, testing::Decoded{kUtf8, want});
}

}  // namespace
}  // namespace kelvane
