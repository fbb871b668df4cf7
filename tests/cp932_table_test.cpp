// The generated code page 932 table, checked both ways against the decode map
// it was generated from (encoding/cp932_decode_map.txt, written from an
// independent decoder), and at the units where Windows' choice is known.
#include "encoding/cp932_table.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>

namespace kelvane {
namespace {

struct DecodeMap {
  std::map<uint16_t, uint16_t> unit_of_code;
  std::map<uint16_t, std::set<uint16_t>> codes_of_unit;
};

const DecodeMap& LoadMap() {
  static DecodeMap map = [] {
    DecodeMap m;
    std::FILE* f = std::fopen(KELVANE_SOURCE_DIR "/encoding/cp932_decode_map.txt", "r");
    if (f == nullptr) return m;
    char line[64];
    while (std::fgets(line, sizeof line, f) != nullptr) {
      unsigned code = 0, unit = 0;
      if (line[0] == '#' || std::sscanf(line, "%x %x", &code, &unit) != 2) continue;
      m.unit_of_code[static_cast<uint16_t>(code)] = static_cast<uint16_t>(unit);
      m.codes_of_unit[static_cast<uint16_t>(unit)].insert(static_cast<uint16_t>(code));
    }
    std::fclose(f);
    return m;
  }();
  return map;
}

// Windows prefers JIS X 0208 rows, then NEC row 13, then the IBM extensions,
// then the NEC-selected IBM extensions.
int LeadClass(uint16_t code) {
  if (code < 0x100) return 0;
  unsigned lead = code >> 8;
  if (lead == 0x87) return 2;
  if (lead >= 0xFA && lead <= 0xFC) return 3;
  if (lead == 0xED || lead == 0xEE) return 4;
  if (lead >= 0xF0 && lead <= 0xF9) return 5;
  return 1;
}

TEST(Cp932Table, MapHasEveryCodeWindowsDecodes) {
  const DecodeMap& m = LoadMap();
  ASSERT_EQ(m.unit_of_code.size(), 196u + 9604u);
  std::size_t high_units = 0;
  for (const auto& [unit, codes] : m.codes_of_unit)
    if (unit >= 0x80) ++high_units;
  EXPECT_EQ(high_units, 9274u);
}

TEST(Cp932Table, DecodesEveryCodeExactlyAsTheMap) {
  const DecodeMap& m = LoadMap();
  ASSERT_FALSE(m.unit_of_code.empty());
  for (unsigned code = 1; code <= 0xFFFF; ++code) {
    if (code >= 0x100 && !IsCp932LeadByte(static_cast<uint8_t>(code >> 8))) continue;
    auto it = m.unit_of_code.find(static_cast<uint16_t>(code));
    uint16_t want = it == m.unit_of_code.end() ? 0 : it->second;
    ASSERT_EQ(Cp932ToUnicode(static_cast<uint16_t>(code)), want) << std::hex << code;
  }
}

TEST(Cp932Table, EncodesEveryUnitToThePreferredCodeThatDecodesBack) {
  const DecodeMap& m = LoadMap();
  ASSERT_FALSE(m.codes_of_unit.empty());
  for (unsigned u = 1; u <= 0xFFFF; ++u) {
    uint16_t code = UnicodeToCp932(static_cast<uint16_t>(u));
    auto it = m.codes_of_unit.find(static_cast<uint16_t>(u));
    if (it == m.codes_of_unit.end()) {
      ASSERT_EQ(code, 0) << "U+" << std::hex << u << " has no exact cp932 form";
      continue;
    }
    ASSERT_TRUE(it->second.count(code)) << "U+" << std::hex << u << " -> " << code;
    for (uint16_t other : it->second)
      ASSERT_LE(LeadClass(code), LeadClass(other)) << "U+" << std::hex << u;
  }
}

struct KnownUnit {
  const char* name;
  uint16_t unit;
  uint16_t code;  // 0: Windows' strict conversion refuses it
};

class Cp932Known : public ::testing::TestWithParam<KnownUnit> {};

TEST_P(Cp932Known, MatchesWindows) {
  EXPECT_EQ(UnicodeToCp932(GetParam().unit), GetParam().code);
}

INSTANTIATE_TEST_SUITE_P(
    Units, Cp932Known,
    ::testing::Values(
        KnownUnit{"ascii_backslash", 0x5C, 0x5C}, KnownUnit{"ascii_tilde", 0x7E, 0x7E},
        KnownUnit{"hiragana_a", 0x3042, 0x82A0}, KnownUnit{"ideographic_space", 0x3000, 0x8140},
        KnownUnit{"halfwidth_katakana", 0xFF71, 0xB1},
        KnownUnit{"approx_equal_jis_over_nec", 0x2252, 0x81E0},
        KnownUnit{"because_jis_over_nec", 0x2235, 0x81E6},
        KnownUnit{"not_sign_jis_over_ibm", 0xFFE2, 0x81CA},
        KnownUnit{"roman_one_nec_row13", 0x2160, 0x8754},
        KnownUnit{"small_roman_one_ibm", 0x2170, 0xFA40},
        KnownUnit{"ibm_kanji_over_nec_selected", 0x7E8A, 0xFA5C},
        KnownUnit{"summation_nec_row13", 0x2211, 0x8794}, KnownUnit{"c1_control_0080", 0x80, 0x80},
        KnownUnit{"f8f0_is_a0", 0xF8F0, 0xA0}, KnownUnit{"f8f3_is_ff", 0xF8F3, 0xFF},
        KnownUnit{"user_defined_first", 0xE000, 0xF040},
        KnownUnit{"user_defined_last", 0xE757, 0xF9FC},
        KnownUnit{"minus_sign_no_best_fit", 0x2212, 0},
        KnownUnit{"wave_dash_no_best_fit", 0x301C, 0}, KnownUnit{"yen_sign_no_best_fit", 0xA5, 0},
        KnownUnit{"c1_control_0081", 0x81, 0}, KnownUnit{"lone_high_surrogate", 0xD800, 0},
        KnownUnit{"lone_low_surrogate", 0xDFFF, 0}, KnownUnit{"byte_order_mark", 0xFEFF, 0},
        KnownUnit{"nul", 0, 0}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

}  // namespace
}  // namespace kelvane
