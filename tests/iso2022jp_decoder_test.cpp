#include "encoding/iso2022jp_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "encoding/encoding_id.h"
#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::ByteCase;
using testing::CaseName;
using testing::ExactBlock;
using testing::ExpectRow;
using testing::Hex;
using testing::Piece;

constexpr int kFails = -1;

class Iso2022JpRows : public ::testing::TestWithParam<ByteCase> {};

TEST_P(Iso2022JpRows, Decodes) {
  ExpectRow(&DecodeIso2022Jp, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Decoded, Iso2022JpRows,
    ::testing::Values(
        ByteCase{"KanjiThenAscii", Hex("1B 24 42 24 22 1B 28 42 41"), 0x200, kIso2022Jp,
                 Hex("82 A0 41")},
        ByteCase{"HalfWidthKatakana", Hex("1B 28 49 31 5F 21 1B 28 42"), 0x200, kIso2022Jp,
                 Hex("B1 DF A1")},
        ByteCase{"NoEscapeIsAscii", Hex("41 0D 0A 42"), 0x200, kIso2022Jp, Hex("41 0A 42")},
        ByteCase{"ModeZeroCopies", Hex("41 0D 0A 42"), 0, kIso2022Jp, Hex("41 0D 0A 42")},
        ByteCase{"FlagSurvivesSwitches", Hex("41 0D 1B 24 42 24 22 1B 28 42 0A 42"), 0x200,
                 kIso2022Jp, Hex("41 0A 82 A0 42")},
        ByteCase{"EndsInsideTheKanjiSet", Hex("1B 24 42 30 21 46 7C"), 0x200, kIso2022Jp,
                 Hex("88 9F 93 FA")},
        ByteCase{"EscDollarAtIsTheKanjiSet", Hex("1B 24 40 30 21 1B 28 42"), 0x200, kIso2022Jp,
                 Hex("88 9F")},
        ByteCase{"EscParenJIsLikeAscii", Hex("1B 24 42 24 22 1B 28 4A 5C 7E 0D 0A 41"), 0x200,
                 kIso2022Jp, Hex("82 A0 5C 7E 0A 41")},
        ByteCase{"EscParenJKeepsTheFlag", Hex("0D 1B 28 4A 0A 41"), 0x300, kIso2022Jp,
                 Hex("0D 0A 41")},
        ByteCase{"LfToCrLfAfterKanji", Hex("1B 24 42 24 22 1B 28 42 0A"), 0x300, kIso2022Jp,
                 Hex("82 A0 0D 0A")},
        ByteCase{"RepeatedDesignations", Hex("1B 28 42 1B 24 42 1B 24 42 21 21"), 0x200, kIso2022Jp,
                 Hex("81 40")},
        ByteCase{"EightBitBytesInAsciiAreCopied", Hex("41 B1"), 0x200, kIso2022Jp, Hex("41 B1")},
        ByteCase{"ShiftJisTextWithAStrayEscape", Hex("82 A0 1B 28 42 93 FA 5C"), 0x200, kIso2022Jp,
                 Hex("82 A0 93 FA 5C")},
        ByteCase{"EmptyText", "", 0x200, kIso2022Jp, ""}),
    CaseName);

// ESC $ B CR LF ESC ( B once gave 77 29, a pair that is not Shift-JIS.
INSTANTIATE_TEST_SUITE_P(
    Refused, Iso2022JpRows,
    ::testing::Values(
        ByteCase{"LineEndInsideTheKanjiSet", Hex("1B 24 42 0D 0A 1B 28 42"), 0x200, kFails, ""},
        ByteCase{"PairCutByTheEnd", Hex("1B 24 42 24"), 0x200, kFails, ""},
        ByteCase{"PairCutByAnEscape", Hex("1B 24 42 24 1B 28 42"), 0x200, kFails, ""},
        ByteCase{"EightBitFirstByte", Hex("1B 24 42 A4 A2"), 0x200, kFails, ""},
        ByteCase{"EightBitSecondByte", Hex("1B 24 42 24 A2"), 0x200, kFails, ""},
        ByteCase{"SpaceInAPair", Hex("1B 24 42 20 21"), 0x200, kFails, ""},
        ByteCase{"DeleteInAPair", Hex("1B 24 42 30 7F"), 0x200, kFails, ""},
        ByteCase{"KatakanaLineEnd", Hex("1B 28 49 0A"), 0x200, kFails, ""},
        ByteCase{"KatakanaAbove5F", Hex("1B 28 49 60"), 0x200, kFails, ""},
        ByteCase{"KatakanaSpace", Hex("1B 28 49 20"), 0x200, kFails, ""},
        ByteCase{"LoneEscAtTheEnd", Hex("41 1B"), 0x200, kFails, ""},
        ByteCase{"EscDollarAtTheEnd", Hex("41 1B 24"), 0x200, kFails, ""},
        ByteCase{"EscParenAtTheEnd", Hex("41 1B 28"), 0x200, kFails, ""},
        ByteCase{"Gb2312", Hex("1B 24 41 30 21"), 0x200, kFails, ""},
        ByteCase{"JisX0212", Hex("1B 24 28 44 30 21"), 0x200, kFails, ""},
        ByteCase{"Ksc5601", Hex("1B 24 28 43 30 21"), 0x200, kFails, ""},
        ByteCase{"OtherEscape", Hex("1B 2E 41"), 0x200, kFails, ""},
        ByteCase{"EscInsideKatakana", Hex("1B 28 49 31 1B 41 42"), 0x200, kFails, ""},
        // Bytes that would not be a cp932 character once written.
        ByteCase{"UnassignedRow9", Hex("1B 24 42 29 21"), 0x200, kFails, ""},
        ByteCase{"UnassignedCellOfRow2", Hex("1B 24 42 22 2F"), 0x200, kFails, ""},
        ByteCase{"Row94", Hex("1B 24 42 7E 21"), 0x200, kFails, ""},
        ByteCase{"UndefinedEightBitPair", Hex("41 85 40"), 0x200, kFails, ""},
        ByteCase{"EightBitLeadAtTheEnd", Hex("41 82"), 0x200, kFails, ""},
        ByteCase{"UndefinedPairAfterAnEscape", Hex("1B 28 42 EF A1"), 0x200, kFails, ""}),
    CaseName);

TEST(Iso2022Jp, NullArgumentsFail) {
  char* out = nullptr;
  EXPECT_EQ(DecodeIso2022Jp(nullptr, "a", 0x200), -1);
  EXPECT_EQ(DecodeIso2022Jp(&out, nullptr, 0x200), -1);
}

TEST(Iso2022Jp, CutAtEveryOffset) {
  const std::vector<Piece> pieces = {
      {Hex("41"), Hex("41")},       {Hex("0D"), Hex("0D")},       {Hex("1B 24 42"), ""},
      {Hex("24 22"), Hex("82 A0")}, {Hex("46 7C"), Hex("93 FA")}, {Hex("1B 28 4A"), ""},
      {Hex("0A"), Hex("0A")},       {Hex("5C"), Hex("5C")},       {Hex("1B 28 49"), ""},
      {Hex("31"), Hex("B1")},       {Hex("1B 24 40"), ""},        {Hex("30 21"), Hex("88 9F")},
      {Hex("1B 28 42"), ""},        {Hex("0D"), Hex("0D")},       {Hex("0A"), Hex("0A")},
      {Hex("42"), Hex("42")},
  };
  for (int mode : {0, 0x200, 0x300}) {
    testing::CheckEveryCut(&DecodeIso2022Jp, pieces, mode, kIso2022Jp);
  }
}

TEST(Iso2022Jp, FailsCleanlyWhenAnyAllocationFails) {
  std::string text;
  std::string want;
  for (int i = 0; i < 1500; ++i) {
    text += Hex("1B 24 42 24 22 1B 28 42 0A 41");
    want += Hex("82 A0 0D 0A 41");
  }
  ExactBlock block(text, 2);
  testing::WalkAllocationFailures(&DecodeIso2022Jp, block, 0x300,
                                  testing::Decoded{kIso2022Jp, want});
}

}  // namespace
}  // namespace kelvane
