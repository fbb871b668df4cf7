// The same random Japanese text written in every supported encoding must
// decode to the same Shift-JIS bytes. The encoders here are slow and written
// from the definitions (row and cell numbers, code points), not from the
// decoders' arithmetic.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "common/heap.h"
#include "encoding/cp932_table.h"
#include "encoding/encoding_id.h"
#include "encoding/eucjp_decoder.h"
#include "encoding/iso2022jp_decoder.h"
#include "encoding/jis_to_shiftjis.h"
#include "encoding/line_ends.h"
#include "encoding/utf16_decoder.h"
#include "encoding/utf8_decoder.h"
#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::DecodeBytes;
using testing::DecodeUnits;
using testing::ExactBlock;
using testing::ReferenceLineEnds;
using testing::ToHex;

// Shift-JIS code of JIS X 0208 row (ku) and cell (ten), both 1-94: two rows
// per lead byte, the odd row in trail bytes 40-9E without 7F, the even row in
// 9F-FC.
unsigned KutenToShiftJis(unsigned ku, unsigned ten) {
  const unsigned lead = ku <= 62 ? 0x81 + (ku - 1) / 2 : 0xE0 + (ku - 63) / 2;
  unsigned trail;
  if (ku % 2 == 1) {
    trail = ten <= 63 ? 0x3F + ten : 0x40 + ten;
  } else {
    trail = 0x9E + ten;
  }
  return lead << 8 | trail;
}

TEST(JisToShiftJis, MatchesRowAndCellForEveryPair) {
  for (unsigned ku = 1; ku <= 94; ++ku) {
    for (unsigned ten = 1; ten <= 94; ++ten) {
      uint8_t out[2];
      JisToShiftJis(ku + 0x20, ten + 0x20, out);
      ASSERT_EQ(static_cast<unsigned>(out[0] << 8 | out[1]), KutenToShiftJis(ku, ten))
          << "row " << ku << " cell " << ten;
    }
  }
}

// The decoders' table of Shift-JIS pairs against the arithmetic and the cp932
// table, and its lookup's range tests at the edges of 21-7E.
TEST(Cp932JisCodes, AgreeWithTheCp932TableForEveryPair) {
  const JisCodes& codes = Cp932JisCodes();
  int held = 0;
  for (unsigned ku = 1; ku <= 94; ++ku) {
    for (unsigned ten = 1; ten <= 94; ++ten) {
      const unsigned sjis = KutenToShiftJis(ku, ten);
      const bool in_table = Cp932ToUnicode(static_cast<uint16_t>(sjis)) != 0;
      const uint8_t* pair = LookUpJisPair(codes, ku + 0x20, ten + 0x20);
      ASSERT_EQ(pair != nullptr, in_table) << "row " << ku << " cell " << ten;
      if (pair != nullptr) {
        ASSERT_EQ(static_cast<unsigned>(pair[0] << 8 | pair[1]), sjis)
            << "row " << ku << " cell " << ten;
      }
      held += in_table ? 1 : 0;
    }
  }
  // JIS X 0208's 6879 characters, plus the NEC row 13 and the IBM rows 89-92.
  EXPECT_GT(held, 6879);
  for (unsigned outside : {0x00u, 0x20u, 0x7Fu, 0xA1u, 0x121u, 0xFFFFFFA1u}) {
    EXPECT_EQ(LookUpJisPair(codes, outside, 0x30), nullptr) << std::hex << outside;
    EXPECT_EQ(LookUpJisPair(codes, 0x30, outside), nullptr) << std::hex << outside;
  }
}

// One character of the random text.
struct Character {
  enum Kind { kAscii, kKatakana, kKanji } kind;
  unsigned byte;  // ASCII byte or half-width katakana A1-DF
  unsigned ku;    // JIS X 0208 row and cell for kKanji
  unsigned ten;
  unsigned sjis;  // the Shift-JIS code
  unsigned unit;  // the UTF-16 unit
};

// A JIS X 0208 character that cp932 holds and gives back from its code
// point, so that every encoding can carry it (rows 1-8 and 16-84 hold them).
Character RandomKanji(std::mt19937& rng) {
  for (;;) {
    const unsigned ku = 1 + rng() % 94;
    const unsigned ten = 1 + rng() % 94;
    const unsigned sjis = KutenToShiftJis(ku, ten);
    const unsigned unit = Cp932ToUnicode(static_cast<uint16_t>(sjis));
    if (unit == 0 || UnicodeToCp932(static_cast<uint16_t>(unit)) != sjis) continue;
    return Character{Character::kKanji, 0, ku, ten, sjis, unit};
  }
}

Character RandomCharacter(std::mt19937& rng) {
  const unsigned pick = rng() % 10;
  if (pick < 4) return RandomKanji(rng);
  if (pick < 5) {
    const unsigned b = 0xA1 + rng() % (0xDF - 0xA1 + 1);
    return Character{Character::kKatakana, b, 0, 0, b, 0xFF61 + (b - 0xA1)};
  }
  const char kAscii[] = "<p>a Z~\\\r\n\r\n";
  const unsigned b = static_cast<unsigned char>(kAscii[rng() % (sizeof(kAscii) - 1)]);
  return Character{Character::kAscii, b, 0, 0, b, b};
}

std::string ShiftJis(const std::vector<Character>& text) {
  std::string out;
  for (const Character& c : text) {
    if (c.sjis > 0xFF) out.push_back(static_cast<char>(c.sjis >> 8));
    out.push_back(static_cast<char>(c.sjis & 0xFF));
  }
  return out;
}

std::string EucJp(const std::vector<Character>& text) {
  std::string out;
  for (const Character& c : text) {
    if (c.kind == Character::kKanji) {
      out.push_back(static_cast<char>(0xA0 + c.ku));
      out.push_back(static_cast<char>(0xA0 + c.ten));
    } else {
      if (c.kind == Character::kKatakana) out.push_back('\x8E');
      out.push_back(static_cast<char>(c.byte));
    }
  }
  return out;
}

// Switches as late as possible, choosing among the equivalent designations.
std::string Iso2022Jp(const std::vector<Character>& text, std::mt19937& rng) {
  std::string out;
  int set = Character::kAscii;
  for (const Character& c : text) {
    if (c.kind != set) {
      set = c.kind;
      if (set == Character::kAscii) out += rng() % 2 ? "\x1B(B" : "\x1B(J";
      if (set == Character::kKatakana) out += "\x1B(I";
      if (set == Character::kKanji) out += rng() % 2 ? "\x1B$B" : "\x1B$@";
    }
    if (c.kind == Character::kKanji) {
      out.push_back(static_cast<char>(0x20 + c.ku));
      out.push_back(static_cast<char>(0x20 + c.ten));
    } else {
      out.push_back(static_cast<char>(c.kind == Character::kKatakana ? c.byte - 0x80 : c.byte));
    }
  }
  if (set != Character::kAscii && rng() % 2) out += "\x1B(B";
  return out;
}

std::string Utf8(const std::vector<Character>& text) {
  std::string out;
  for (const Character& c : text) out += testing::Utf8Of(static_cast<uint16_t>(c.unit));
  return out;
}

std::string Utf16(const std::vector<Character>& text, bool big_endian) {
  std::string out;
  for (const Character& c : text) {
    const char high = static_cast<char>(c.unit >> 8);
    const char low = static_cast<char>(c.unit & 0xFF);
    out.push_back(big_endian ? high : low);
    out.push_back(big_endian ? low : high);
  }
  return out;
}

// Writes text in every encoding and checks that each decoder, and the line-end
// pass over the Shift-JIS form, gives the same bytes in every mode.
void ExpectDecodersAgree(const std::vector<Character>& text, std::mt19937& rng) {
  const std::string sjis = ShiftJis(text);
  const std::string euc = EucJp(text);
  const std::string iso = Iso2022Jp(text, rng);
  const std::string utf8 = Utf8(text);
  const std::string utf16le = Utf16(text, false);
  const std::string utf16be = Utf16(text, true);
  for (int mode : {0, 0x100, 0x200, 0x300}) {
    const std::string want = ToHex(ReferenceLineEnds(sjis, mode));
    SCOPED_TRACE(::testing::Message() << "mode " << mode << ", Shift-JIS " << ToHex(sjis));
    EXPECT_EQ(ToHex(DecodeBytes(&DecodeEucJp, euc, mode).text), want) << ToHex(euc);
    EXPECT_EQ(ToHex(DecodeBytes(&DecodeIso2022Jp, iso, mode).text), want) << ToHex(iso);
    EXPECT_EQ(ToHex(DecodeBytes(&DecodeUtf8, utf8, mode).text), want) << ToHex(utf8);
    EXPECT_EQ(ToHex(DecodeUnits(&DecodeUtf16Le, utf16le, mode).text), want);
    EXPECT_EQ(ToHex(DecodeUnits(&DecodeUtf16Be, utf16be, mode).text), want);
    EXPECT_EQ(ToHex(DecodeBytes(&NormalizeLineEnds, sjis, mode | 5).text), want);
  }
}

TEST(Decoders, AgreeOnRandomJapaneseText) {
  std::mt19937 rng(1468);
  for (int round = 0; round < 400 && !::testing::Test::HasFailure(); ++round) {
    std::vector<Character> text(1 + rng() % 60);
    for (Character& c : text) c = RandomCharacter(rng);
    ExpectDecodersAgree(text, rng);
  }
}

Character Ascii(unsigned b) {
  return Character{Character::kAscii, b, 0, 0, b, b};
}

// Text shaped like pages: runs of printable ASCII long enough to be copied a
// word at a time, with a tab, a line end or a control now and then inside
// them; runs of kanji and of katakana; and, in some texts, so many line
// breaks that CR LF output outgrows the block that fits the input.
std::vector<Character> RandomPage(std::mt19937& rng) {
  const unsigned kControls[] = {'\t', '\r', '\n', 0x01, 0x0C, 0x1B, 0x1F, 0x7F};
  const bool crowded = rng() % 3 == 0;
  std::vector<Character> text;
  const std::size_t length = 1 + rng() % 6000;
  while (text.size() < length) {
    const unsigned pick = rng() % 10;
    const unsigned run = 1 + rng() % 40;
    for (unsigned i = 0; i < run; ++i) {
      if (pick < 5) {
        // Printable ASCII, once in a while broken by a control.
        const unsigned b = rng() % 16 == 0 ? kControls[rng() % 8] : 0x20 + rng() % 0x5F;
        if (b != 0x1B) text.push_back(Ascii(b));  // an escape would switch ISO-2022-JP's set
      } else if (pick < 8) {
        text.push_back(RandomKanji(rng));
      } else {
        const unsigned b = 0xA1 + rng() % (0xDF - 0xA1 + 1);
        text.push_back(Character{Character::kKatakana, b, 0, 0, b, 0xFF61 + (b - 0xA1)});
      }
    }
    // About half a crowded text is LF, so CR LF output is about half as long
    // again as the input, beyond the first block about every other time.
    if (crowded) text.insert(text.end(), run + 1, Ascii('\n'));
  }
  return text;
}

TEST(Decoders, AgreeOnLongRunsAndOnOutputThatOutgrowsItsBlock) {
  std::mt19937 rng(932);
  for (int round = 0; round < 150 && !::testing::Test::HasFailure(); ++round) {
    ExpectDecodersAgree(RandomPage(rng), rng);
  }
}

// True when bytes are a sequence of whole Shift-JIS characters: every lead
// byte is followed by a trail byte (40-7E, 80-FC).
bool IsWholeShiftJis(const std::string& bytes) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const unsigned b = static_cast<unsigned char>(bytes[i]);
    if (!IsCp932LeadByte(static_cast<uint8_t>(b))) continue;
    if (++i == bytes.size()) return false;
    const unsigned t = static_cast<unsigned char>(bytes[i]);
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

// Random bytes, mostly from those that matter to the decoders, at the end of
// a heap block behind the two NULs: each decoder either fails cleanly or gives
// whole Shift-JIS characters, never a cut pair (AddressSanitizer watches the
// reads). ISO-2022-JP gets 7-bit bytes: it copies 8-bit bytes in its one-byte
// set as they come.
TEST(Decoders, RandomBytesGiveWholeCharactersOrFail) {
  const unsigned char kBytes[] = {0x1B, 0x24, 0x28, 0x40, 0x42, 0x4A, 0x49, 0x21, 0x30, 0x7E,
                                  0x0D, 0x0A, 0x00, 0x8E, 0x8F, 0xA1, 0xA4, 0xB0, 0xDF, 0xE0,
                                  0xFE, 0xFF, 0x80, 0xC3, 0xE3, 0x81, 0x82, 0xBF, 0xEF};
  std::mt19937 rng(2022);
  int decoded[3] = {0, 0, 0};
  for (int round = 0; round < 20000; ++round) {
    std::string bytes(rng() % 12, 'a');
    for (char& c : bytes) c = static_cast<char>(kBytes[rng() % sizeof(kBytes)]);
    bytes = bytes.substr(0, bytes.find('\0'));
    std::string seven_bit = bytes;
    for (char& c : seven_bit) c = static_cast<char>(c & 0x7F);
    seven_bit = seven_bit.substr(0, seven_bit.find('\0'));
    const testing::Decoded got[3] = {DecodeBytes(&DecodeEucJp, bytes, 0x200),
                                     DecodeBytes(&DecodeIso2022Jp, seven_bit, 0x200),
                                     DecodeBytes(&DecodeUtf8, bytes, 0x200)};
    for (int k = 0; k < 3; ++k) {
      if (got[k].result == -1) continue;
      ++decoded[k];
      ASSERT_TRUE(IsWholeShiftJis(got[k].text))
          << "decoder " << k << ": " << ToHex(k == 1 ? seven_bit : bytes) << " gave "
          << ToHex(got[k].text);
    }
  }
  for (int k = 0; k < 3; ++k) EXPECT_GT(decoded[k], 500) << "decoder " << k;
}

// A byte decoder handed the read block's size stops where the text does, at
// its first NUL: the same result and text as when it measures, whatever
// follows that NUL (junk that would fail, more text for the word loops).
TEST(Decoders, HandedTheBlocksSizeTheyStopAtTheFirstNul) {
  using Measuring = int (*)(char**, const char*, int, uint32_t*);
  using InBlock = int (*)(char**, const char*, std::size_t, int, uint32_t*);
  struct Row {
    const char* name;
    Measuring measuring;
    InBlock in_block;
    std::string bytes;
  };
  const std::string k16 = "0123456789abcdef";
  const Row rows[] = {
      {"utf8 junk after NUL", &DecodeUtf8, &DecodeUtf8InBlock, std::string("ab\0\xFF\xFF", 5)},
      {"utf8 words after NUL", &DecodeUtf8, &DecodeUtf8InBlock, k16 + std::string(1, '\0') + k16},
      {"utf8 mark", &DecodeUtf8, &DecodeUtf8InBlock, "\xEF\xBB\xBF" + k16 + "\xE3\x81\x82"},
      {"utf8 cut off", &DecodeUtf8, &DecodeUtf8InBlock, k16 + "\xE3\x81"},
      {"eucjp junk after NUL", &DecodeEucJp, &DecodeEucJpInBlock,
       std::string("\xA4\xA2\0\x8F\xA1", 5)},
      {"eucjp words after NUL", &DecodeEucJp, &DecodeEucJpInBlock,
       k16 + "\xA4\xA2" + std::string(1, '\0') + k16},
      {"iso2022jp junk after NUL", &DecodeIso2022Jp, &DecodeIso2022JpInBlock,
       std::string("\x1B$B$\"\x1B(Bx\0\x1B$Z", 12)},
      {"iso2022jp words after NUL", &DecodeIso2022Jp, &DecodeIso2022JpInBlock,
       k16 + "\r\n" + std::string(1, '\0') + k16},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ExactBlock block(row.bytes, 3);
    char* measured = nullptr;
    char* handed = nullptr;
    uint32_t measured_length = 0;
    uint32_t handed_length = 0;
    const int want = row.measuring(&measured, block.get(), 0x200, &measured_length);
    const int got = row.in_block(&handed, block.get(), row.bytes.size(), 0x200, &handed_length);
    EXPECT_EQ(got, want);
    if (want != -1 && got != -1) {
      EXPECT_EQ(ToHex(handed), ToHex(measured));
      EXPECT_EQ(handed_length, measured_length);
    }
    MemFree(measured);
    MemFree(handed);
  }
}

}  // namespace
}  // namespace kelvane
