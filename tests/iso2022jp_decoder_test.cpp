#include "encoding/iso2022jp_decoder.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "encoding/encoding_id.h"
#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::DecodeBytes;
using testing::ExactBlock;
using testing::Hex;
using testing::Piece;
using testing::ToHex;

constexpr int kFails = -1;

struct IsoCase {
  const char* name;
  std::string input;
  int mode;
  int want_result;
  std::string want;
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const IsoCase& row, std::ostream* os) {
  *os << row.name;
}

std::string CaseName(const ::testing::TestParamInfo<IsoCase>& row) {
  return row.param.name;
}

class Iso2022JpRows : public ::testing::TestWithParam<IsoCase> {};

TEST_P(Iso2022JpRows, Decodes) {
  const IsoCase& c = GetParam();
  testing::Decoded got = DecodeBytes(&DecodeIso2022Jp, c.input, c.mode);
  EXPECT_EQ(got.result, c.want_result);
  if (c.want_result != kFails) {
    EXPECT_EQ(ToHex(got.text), ToHex(c.want));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Decoded, Iso2022JpRows,
    ::testing::Values(
        IsoCase{"KanjiThenAscii", Hex("1B 24 42 24 22 1B 28 42 41"), 0x200, kIso2022Jp,
                Hex("82 A0 41")},
        IsoCase{"HalfWidthKatakana", Hex("1B 28 49 31 5F 21 1B 28 42"), 0x200, kIso2022Jp,
                Hex("B1 DF A1")},
        IsoCase{"NoEscapeIsAscii", Hex("41 0D 0A 42"), 0x200, kIso2022Jp, Hex("41 0A 42")},
        IsoCase{"ModeZeroCopies", Hex("41 0D 0A 42"), 0, kIso2022Jp, Hex("41 0D 0A 42")},
        IsoCase{"FlagSurvivesSwitches", Hex("41 0D 1B 24 42 24 22 1B 28 42 0A 42"), 0x200,
                kIso2022Jp, Hex("41 0A 82 A0 42")},
        IsoCase{"EndsInsideTheKanjiSet", Hex("1B 24 42 30 21 46 7C"), 0x200, kIso2022Jp,
                Hex("88 9F 93 FA")},
        IsoCase{"EscDollarAtIsTheKanjiSet", Hex("1B 24 40 30 21 1B 28 42"), 0x200, kIso2022Jp,
                Hex("88 9F")},
        IsoCase{"EscParenJIsLikeAscii", Hex("1B 24 42 24 22 1B 28 4A 5C 7E 0D 0A 41"), 0x200,
                kIso2022Jp, Hex("82 A0 5C 7E 0A 41")},
        IsoCase{"EscParenJKeepsTheFlag", Hex("0D 1B 28 4A 0A 41"), 0x300, kIso2022Jp,
                Hex("0D 0A 41")},
        IsoCase{"LfToCrLfAfterKanji", Hex("1B 24 42 24 22 1B 28 42 0A"), 0x300, kIso2022Jp,
                Hex("82 A0 0D 0A")},
        IsoCase{"RepeatedDesignations", Hex("1B 28 42 1B 24 42 1B 24 42 21 21"), 0x200, kIso2022Jp,
                Hex("81 40")},
        IsoCase{"EightBitBytesInAsciiAreCopied", Hex("41 B1"), 0x200, kIso2022Jp, Hex("41 B1")},
        IsoCase{"ShiftJisTextWithAStrayEscape", Hex("82 A0 1B 28 42 93 FA 5C"), 0x200, kIso2022Jp,
                Hex("82 A0 93 FA 5C")},
        IsoCase{"EmptyText", "", 0x200, kIso2022Jp, ""}),
    CaseName);

// ESC $ B CR LF ESC ( B once gave 77 29, a pair that is not Shift-JIS.
INSTANTIATE_TEST_SUITE_P(
    Refused, Iso2022JpRows,
    ::testing::Values(
        IsoCase{"LineEndInsideTheKanjiSet", Hex("1B 24 42 0D 0A 1B 28 42"), 0x200, kFails, ""},
        IsoCase{"PairCutByTheEnd", Hex("1B 24 42 24"), 0x200, kFails, ""},
        IsoCase{"PairCutByAnEscape", Hex("1B 24 42 24 1B 28 42"), 0x200, kFails, ""},
        IsoCase{"EightBitFirstByte", Hex("1B 24 42 A4 A2"), 0x200, kFails, ""},
        IsoCase{"EightBitSecondByte", Hex("1B 24 42 24 A2"), 0x200, kFails, ""},
        IsoCase{"SpaceInAPair", Hex("1B 24 42 20 21"), 0x200, kFails, ""},
        IsoCase{"DeleteInAPair", Hex("1B 24 42 30 7F"), 0x200, kFails, ""},
        IsoCase{"KatakanaLineEnd", Hex("1B 28 49 0A"), 0x200, kFails, ""},
        IsoCase{"KatakanaAbove5F", Hex("1B 28 49 60"), 0x200, kFails, ""},
        IsoCase{"KatakanaSpace", Hex("1B 28 49 20"), 0x200, kFails, ""},
        IsoCase{"LoneEscAtTheEnd", Hex("41 1B"), 0x200, kFails, ""},
        IsoCase{"EscDollarAtTheEnd", Hex("41 1B 24"), 0x200, kFails, ""},
        IsoCase{"EscParenAtTheEnd", Hex("41 1B 28"), 0x200, kFails, ""},
        IsoCase{"Gb2312", Hex("1B 24 41 30 21"), 0x200, kFails, ""},
        IsoCase{"JisX0212", Hex("1B 24 28 44 30 21"), 0x200, kFails, ""},
        IsoCase{"Ksc5601", Hex("1B 24 28 43 30 21"), 0x200, kFails, ""},
        IsoCase{"OtherEscape", Hex("1B 2E 41"), 0x200, kFails, ""},
        IsoCase{"EscInsideKatakana", Hex("1B 28 49 31 1B 41 42"), 0x200, kFails, ""},
        // Bytes that would not be a cp932 character once written.
        IsoCase{"UnassignedRow9", Hex("1B 24 42 29 21"), 0x200, kFails, ""},
        IsoCase{"UnassignedCellOfRow2", Hex("1B 24 42 22 2F"), 0x200, kFails, ""},
        IsoCase{"Row94", Hex("1B 24 42 7E 21"), 0x200, kFails, ""},
        IsoCase{"UndefinedEightBitPair", Hex("41 85 40"), 0x200, kFails, ""},
        IsoCase{"EightBitLeadAtTheEnd", Hex("41 82"), 0x200, kFails, ""},
        IsoCase{"UndefinedPairAfterAnEscape", Hex("1B 28 42 EF A1"), 0x200, kFails, ""}),
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
