#include "encoding/eucjp_decoder.h"

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

class EucJpRows : public ::testing::TestWithParam<ByteCase> {};

TEST_P(EucJpRows, Decodes) {
  ExpectRow(&DecodeEucJp, GetParam());
}

INSTANTIATE_TEST_SUITE_P(
    Decoded, EucJpRows,
    ::testing::Values(ByteCase{"Hiragana", Hex("A4 A2"), 0x200, kEucJp, Hex("82 A0")},
                      ByteCase{"KanjiEvenRow", Hex("C6 FC"), 0x200, kEucJp, Hex("93 FA")},
                      ByteCase{"FirstKanji", Hex("B0 A1"), 0x200, kEucJp, Hex("88 9F")},
                      ByteCase{"IdeographicSpace", Hex("A1 A1"), 0x200, kEucJp, Hex("81 40")},
                      ByteCase{"TrailSkips7F", Hex("A1 E0"), 0x200, kEucJp, Hex("81 80")},
                      ByteCase{"LastCellOfAnEvenRow", Hex("A2 FE"), 0x200, kEucJp, Hex("81 FC")},
                      ByteCase{"Row13NecSpecial", Hex("AD A1"), 0x200, kEucJp, Hex("87 40")},
                      ByteCase{"Row89NecSelectedIbm", Hex("F9 A1"), 0x200, kEucJp, Hex("ED 40")},
                      ByteCase{"Row92LastCell", Hex("FC FE"), 0x200, kEucJp, Hex("EE FC")},
                      ByteCase{"HalfWidthKatakana", Hex("8E B1 8E DF 8E A1"), 0x200, kEucJp,
                               Hex("B1 DF A1")},
                      ByteCase{"AsciiAroundKanji", Hex("3C 70 3E C6 FC CB DC 3C 2F 70 3E"), 0x200,
                               kEucJp, Hex("3C 70 3E 93 FA 96 7B 3C 2F 70 3E")},
                      ByteCase{"CrLfToLf", Hex("41 0D 0A 42"), 0x200, kEucJp, Hex("41 0A 42")},
                      ByteCase{"ModeZeroCopies", Hex("41 0D 0A 42"), 0, kEucJp, Hex("41 0D 0A 42")},
                      ByteCase{"LfLongAfterCrIsDropped", Hex("41 0D 42 0A 43"), 0x200, kEucJp,
                               Hex("41 0A 42 43")},
                      ByteCase{"PairsDoNotTouchTheFlag", Hex("0D A4 A2 0A 41"), 0x200, kEucJp,
                               Hex("0A 82 A0 41")},
                      ByteCase{"LfToCrLf", Hex("A4 A2 0A"), 0x300, kEucJp, Hex("82 A0 0D 0A")},
                      ByteCase{"EmptyText", "", 0x200, kEucJp, ""}),
    CaseName);

// Each of these once wrote bytes that are not Shift-JIS (41 A4 gave 41 82 7E,
// 8F B0 A1 41 gave 78 4F 81 60); now they fail the text.
INSTANTIATE_TEST_SUITE_P(
    Refused, EucJpRows,
    ::testing::Values(ByteCase{"KatakanaBelowA1", Hex("8E 41"), 0x200, kFails, ""},
                      ByteCase{"KatakanaAboveDf", Hex("8E E0"), 0x200, kFails, ""},
                      ByteCase{"KatakanaCutOff", Hex("41 8E"), 0x200, kFails, ""},
                      ByteCase{"LeadCutOffByTheEnd", Hex("41 A4"), 0x200, kFails, ""},
                      ByteCase{"JisX0212", Hex("8F B0 A1 41"), 0x200, kFails, ""},
                      ByteCase{"Lead80", Hex("80 A1"), 0x200, kFails, ""},
                      ByteCase{"LeadA0", Hex("A0 A1"), 0x200, kFails, ""},
                      ByteCase{"Lead9F", Hex("9F A1"), 0x200, kFails, ""},
                      ByteCase{"LeadFf", Hex("FF A1"), 0x200, kFails, ""},
                      ByteCase{"ShiftJisText", Hex("82 A0"), 0x200, kFails, ""},
                      ByteCase{"SecondByteA0", Hex("B0 A0"), 0x200, kFails, ""},
                      ByteCase{"SecondByteFf", Hex("B0 FF"), 0x200, kFails, ""},
                      ByteCase{"SecondByteAscii", Hex("B0 41"), 0x200, kFails, ""},
                      // Pairs whose Shift-JIS code is no cp932 character.
                      ByteCase{"UnassignedRow9", Hex("A9 A1"), 0x200, kFails, ""},
                      ByteCase{"UnassignedCellOfRow2", Hex("A2 AF"), 0x200, kFails, ""},
                      ByteCase{"UnassignedCellOfRow13", Hex("AD BF"), 0x200, kFails, ""},
                      ByteCase{"Row93", Hex("FD A1"), 0x200, kFails, ""},
                      ByteCase{"SecondByteLineEnd", Hex("B0 0A"), 0x200, kFails, ""}),
    CaseName);

TEST(EucJp, NullArgumentsFail) {
  char* out = nullptr;
  EXPECT_EQ(DecodeEucJp(nullptr, "a", 0x200), -1);
  EXPECT_EQ(DecodeEucJp(&out, nullptr, 0x200), -1);
}

TEST(EucJp, CutAtEveryOffset) {
  const std::vector<Piece> pieces = {
      {Hex("41"), Hex("41")},    {Hex("A4 A2"), Hex("82 A0")}, {Hex("0D"), Hex("0D")},
      {Hex("8E B1"), Hex("B1")}, {Hex("0A"), Hex("0A")},       {Hex("C6 FC"), Hex("93 FA")},
      {Hex("0A"), Hex("0A")},    {Hex("FC FE"), Hex("EE FC")}, {Hex("42"), Hex("42")},
  };
  for (int mode : {0, 0x200, 0x300}) testing::CheckEveryCut(&DecodeEucJp, pieces, mode, kEucJp);
}

TEST(EucJp, FailsCleanlyWhenAnyAllocationFails) {
  std::string text;
  std::string want;
  for (int i = 0; i < 1500; ++i) {
    text += Hex("A4 A2 0A 41");
    want += Hex("82 A0 0D 0A 41");
  }
  ExactBlock block(text, 2);
  testing::WalkAllocationFailures(&DecodeEucJp, block, 0x300, testing::Decoded{kEucJp, want});
}

}  // namespace
}  // namespace kelvane
