// The same random Japanese text written in every supported encoding must
// decode to the same Shift-JIS bytes. The encoders here are slow and written
// from the definitions (row and cell numbers, code points), not from the
// decoders' arithmetic.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

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
  for (const Character& c : text) {
    const unsigned u = c.unit;
    if (u < 0x80) {
      out.push_back(static_cast<char>(u));
    } else if (u < 0x800) {
      out.push_back(static_cast<char>(0xC0 | u >> 6));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    } else {
      out.push_back(static_cast<char>(0xE0 | u >> 12));
      out.push_back(static_cast<char>(0x80 | ((u >> 6) & 0x3F)));
      out.push_back(static_cast<char>(0x80 | (u & 0x3F)));
    }
  }
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

TEST(Decoders, AgreeOnRandomJapaneseText) {
  std::mt19937 rng(1468);
  for (int round = 0; round < 400; ++round) {
    std::vector<Character> text(1 + rng() % 60);
    for (Character& c : text) c = RandomCharacter(rng);
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
}

}  // namespace
}  // namespace kelvane
