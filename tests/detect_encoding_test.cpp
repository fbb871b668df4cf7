#include "encoding/detect_encoding.h"

#include <gtest/gtest.h>

#include <ostream>
#include <random>
#include <string>

#include "encoding/encoding_id.h"
#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::ExactBlock;
using testing::Hex;

// A fallback that no rule returns, so a row can tell "undecided" from Shift-JIS.
constexpr int kUndecided = 42;

std::string Repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

struct DetectCase {
  const char* name;
  std::string bytes;  // placed in front of exactly two NUL bytes
  int limit;
  int want;
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const DetectCase& row, std::ostream* os) {
  *os << row.name;
}

std::string CaseName(const ::testing::TestParamInfo<DetectCase>& row) {
  return row.param.name;
}

class Detect : public ::testing::TestWithParam<DetectCase> {};

TEST_P(Detect, RecognisesTheEncoding) {
  const DetectCase& c = GetParam();
  ExactBlock block(c.bytes, 2);
  EXPECT_EQ(DetectEncoding(block.get(), kUndecided, c.limit), c.want);
}

const std::string k20Utf8 = Repeat(Hex("E3 81 82"), 20);
const std::string k19Utf8 = Repeat(Hex("E3 81 82"), 19);

INSTANTIATE_TEST_SUITE_P(
    Rows, Detect,
    ::testing::Values(
        // Byte order marks come first, whatever follows.
        DetectCase{"Utf16LeMark", Hex("FF FE 3C 00"), 40, kUtf16Le},
        DetectCase{"Utf16LeMarkBeforeNuls", Hex("FF FE 00 00"), 40, kUtf16Le},
        DetectCase{"Utf16BeMark", Hex("FE FF 00 3C"), 40, kUtf16Be},
        DetectCase{"Utf8Mark", Hex("EF BB BF"), 40, kUtf8},
        DetectCase{"Utf8MarkBeforeShiftJis", Hex("EF BB BF 82 A0"), 40, kUtf8},
        DetectCase{"HalfAUtf8MarkIsScanned", Hex("EF BB 41"), 40, kEucJp},
        // Nothing decides.
        DetectCase{"EmptyText", "", 40, kUndecided},
        DetectCase{"PureAscii", "<html><p>hello</p></html>\r\n", 40, kUndecided},
        DetectCase{"BytesThatAdvanceOne", Hex("80 A0 FF 41"), 40, kUndecided},
        // ISO-2022-JP: ESC followed by $ or ( wins, whatever comes after.
        DetectCase{"EscDollarB", "ab" + Hex("1B 24 42 30 21"), 40, kIso2022Jp},
        DetectCase{"EscParenB", "ab" + Hex("1B 28 42"), 40, kIso2022Jp},
        DetectCase{"EscDollarAtEnd", "ab" + Hex("1B 24"), 40, kIso2022Jp},
        DetectCase{"OtherEscapeIsSkipped", "ab" + Hex("1B 41 42"), 40, kUndecided},
        DetectCase{"EscAtTheEnd", "ab" + Hex("1B"), 40, kUndecided},
        DetectCase{"EscAfterDecidingByteIsNotReached", Hex("82 A0 1B 24 42"), 40, kShiftJis},
        // UTF-8 scoring and the limit.
        DetectCase{"TwentyUtf8SequencesReachTheLimit", k20Utf8 + Hex("FE"), 40, kUtf8},
        DetectCase{"NineteenSequencesDoNot", k19Utf8 + Hex("FE"), 40, kEucJp},
        DetectCase{"NineteenSequencesWinAtTheEnd", k19Utf8, 40, kUtf8},
        DetectCase{"TwoByteSequencesCount", Repeat(Hex("C3 A9"), 20) + Hex("FE"), 40, kUtf8},
        DetectCase{"LowLimitStopsEarly", Hex("E3 81 82 FE"), 2, kUtf8},
        DetectCase{"BrokenTwoByteFallsToRule7", Hex("C3 28"), 40, kUndecided},
        DetectCase{"BrokenSequenceDisablesUtf8ForGood", Hex("C3 28 E3 81 82"), 40, kShiftJis},
        DetectCase{"BrokenThreeByteFallsToRule9", Hex("E3 81 41"), 40, kEucJp},
        // Four-byte sequences (emoji) score like the shorter ones; a broken one
        // falls to rule 9 and leaves the UTF-8 score as it was.
        DetectCase{"FourByteSequenceScoresUtf8", Hex("F0 9F 98 80"), 40, kUtf8},
        DetectCase{"EmojiAmongJapanese",
                   "<p>" + Hex("E4 BB 8A E6 97 A5 F0 9F 98 80 E3 81 AF E6 99 B4 E3 82 8C"), 40,
                   kUtf8},
        DetectCase{"TwentyFourByteSequencesReachTheLimit",
                   Repeat(Hex("F4 8F BF BF"), 20) + Hex("FE"), 40, kUtf8},
        DetectCase{"BrokenFourByteFallsToRule9", Hex("F0 9F 41"), 40, kEucJp},
        DetectCase{"BrokenFourByteKeepsUtf8Possible", Hex("F0 9F 41 E3 81 82 E3 81 82"), 40, kUtf8},
        DetectCase{"FourByteCutOffByTheEndFallsToRule9", "ab" + Hex("F0 9F 98"), 40, kShiftJis},
        DetectCase{"F5IsNoUtf8Lead", Hex("F5 80 80 80"), 40, kEucJp},
        // Shift-JIS.
        DetectCase{"ShiftJisHiragana", Hex("82 A0"), 40, kShiftJis},
        DetectCase{"ShiftJisAfterAscii", "<p>" + Hex("83 41"), 40, kShiftJis},
        DetectCase{"KatakanaEucNeedsShiftJisScoreZero", Hex("B0 A1 8E B1"), 40, kShiftJis},
        DetectCase{"Ss2BeforeAnyPairIsEuc", Hex("8E B1"), 40, kEucJp},
        DetectCase{"Ss2WithoutKatakanaIsShiftJis", Hex("8E 40"), 40, kShiftJis},
        // EUC-JP.
        DetectCase{"EucHiraganaScoresOne", Hex("A4 A2"), 40, kEucJp},
        DetectCase{"AmbiguousPairScoresBoth", Hex("B0 A1"), 40, kUndecided},
        DetectCase{"NineteenAmbiguousPairsTie", Repeat(Hex("B0 A1"), 19), 40, kUndecided},
        DetectCase{"TwentiethAmbiguousPairGoesToShiftJis", Repeat(Hex("B0 A1"), 20), 40, kShiftJis},
        DetectCase{"FdAfterA1DfIsEuc", Hex("A1 FD"), 40, kEucJp},
        DetectCase{"LoneFeIsEuc", Hex("FE"), 40, kEucJp},
        DetectCase{"LoneFdIsEuc", "x" + Hex("FD"), 40, kEucJp},
        DetectCase{"KanjiLeadScoresEuc", Hex("E9 A1"), 40, kEucJp},
        DetectCase{"E9AtTheEndLandsOnTheSecondNul", "abc" + Hex("E9"), 40, kEucJp},
        DetectCase{"A1DfAtTheEndLandsOnTheSecondNul", "abc" + Hex("B0"), 40, kUndecided},
        DetectCase{"SteppedOverNulDoesNotEndTheScan", Hex("E9 00 41 B0"), 40, kEucJp},
        DetectCase{"TwoNulsAfterAnAdvanceEndTheText", Hex("E9 00 00 41 00"), 40, kEucJp},
        // UTF-16 without a mark: the first NUL with text behind it.
        DetectCase{"Utf16LeWithoutMark", Hex("3C 00 68 00"), 40, kUtf16Le},
        DetectCase{"Utf16BeWithoutMark", Hex("00 3C 00 68"), 40, kUtf16Be},
        DetectCase{"NulAtEvenOffset", Hex("41 42 00 43"), 40, kUtf16Be},
        DetectCase{"NulAtOddOffset", Hex("41 00 43"), 40, kUtf16Le},
        DetectCase{"NulAfterScoresStillUtf16", Hex("B0 A1 41 00 43"), 40, kUtf16Le}),
    CaseName);

TEST(Detect, NullTextIsMinusOne) {
  EXPECT_EQ(DetectEncoding(nullptr, kShiftJis, 40), -1);
}

TEST(Detect, TheDriversFallbackIsShiftJis) {
  ExactBlock ascii("plain text", 2);
  EXPECT_EQ(DetectEncoding(ascii.get(), kShiftJis, 40), kShiftJis);
}

// A long ASCII prefix, which detection passes a word at a time once it has
// gone some way without a decision, changes no answer: the deciding bytes
// behind it land at every offset within a word, the prefix holds an ESC not
// followed by a designation now and then, and a NUL still tells UTF-16 by
// where it stands.
TEST(Detect, LongAsciiPrefixesLeaveTheAnswerAsItWas) {
  struct Tail {
    const char* name;
    std::string bytes;
    int want;  // 0: UTF-16 by the NUL's offset
  };
  const Tail tails[] = {
      {"iso", "\x1B$B", kIso2022Jp},           {"sjis", "\x82\xA0", kShiftJis},
      {"euc", Repeat("\xA4\xA2", 40), kEucJp}, {"utf8", Repeat("\xE3\x81\x82", 20), kUtf8},
      {"nul", std::string("\0b", 2), 0},       {"none", "", kUndecided},
  };
  for (const Tail& tail : tails) {
    for (std::size_t length : {4000u, 4095u, 4096u, 4097u, 4101u, 4103u, 8191u, 8192u, 20005u}) {
      std::string prefix(length, 'a');
      for (std::size_t i = 0; i < length; i += 997) prefix[i] = '\x1B';  // no designation after
      for (std::size_t i = 500; i < length; i += 1231) prefix[i] = '\n';
      ExactBlock block(prefix + tail.bytes, 2);
      const int want = tail.want != 0 ? tail.want : length % 2 == 1 ? kUtf16Le : kUtf16Be;
      EXPECT_EQ(DetectEncoding(block.get(), kUndecided, 40), want)
          << tail.name << " after " << length << " ASCII bytes";
    }
  }
}

// Random byte strings at the very end of a heap block, followed by exactly two
// NULs: detection always answers and never reads past them (AddressSanitizer
// turns such a read into a crash). Bytes are drawn mostly from those that
// start multi-byte rules, so the cut-off paths are taken often.
TEST(Detect, AnyBytesGetAnAnswerWithoutReadingPastTheTerminators) {
  const unsigned char kInteresting[] = {0x00, 0x1B, 0x24, 0x28, 0x41, 0x0A, 0x80, 0x81, 0x8E,
                                        0x9F, 0xA0, 0xA1, 0xA4, 0xA5, 0xB0, 0xBF, 0xC3, 0xDF,
                                        0xE0, 0xE3, 0xEF, 0xF0, 0xF4, 0xFC, 0xFD, 0xFE, 0xFF};
  std::mt19937 rng(20261207);
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(rng() % 12, '\0');
    for (char& b : bytes) {
      b = static_cast<char>(rng() % 4 == 0 ? rng() % 256
                                           : kInteresting[rng() % sizeof(kInteresting)]);
    }
    ExactBlock block(bytes, 2);
    const int limit = static_cast<int>(rng() % 8);
    const int got = DetectEncoding(block.get(), kUndecided, limit);
    const bool known = got == kUtf16Le || got == kUtf16Be || got == kUtf8 || got == kShiftJis ||
                       got == kEucJp || got == kIso2022Jp || got == kUndecided;
    ASSERT_TRUE(known) << "got " << got << " for " << testing::ToHex(bytes);
  }
}

}  // namespace
}  // namespace kelvane
