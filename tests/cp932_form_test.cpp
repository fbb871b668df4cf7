// Near forms: a character that code page 932 lacks gives the same bytes
// whether a page writes it in UTF-8 or UTF-16 or as a numeric reference, and
// a character without a near form still fails the page (or gives "?").
#include "encoding/cp932_form.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "encoding/cp932_table.h"
#include "encoding/encoding_id.h"
#include "encoding/utf16_decoder.h"
#include "encoding/utf8_decoder.h"
#include "html/html_to_text.h"
#include "tests/decoder_test_util.h"

namespace kelvane {
namespace {

using testing::ExactBlock;
using testing::Hex;
using testing::ToHex;
using testing::UnitBlock;
using testing::Utf8Of;

constexpr const char* kFails = nullptr;

// UTF-8 text as UTF-16LE bytes (BMP only).
std::string Utf16LeOf(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    unsigned u = b;
    int n = 1;
    if (b >= 0xE0) {
      u = (b & 0x0F) << 12 | (utf8[i + 1] & 0x3F) << 6 | (utf8[i + 2] & 0x3F);
      n = 3;
    } else if (b >= 0xC0) {
      u = (b & 0x1F) << 6 | (utf8[i + 1] & 0x3F);
      n = 2;
    }
    out.push_back(static_cast<char>(u & 0xFF));
    out.push_back(static_cast<char>(u >> 8));
    i += static_cast<std::size_t>(n);
  }
  return out;
}

// The text of a UTF-8 page or a UTF-16LE page, or "FAILED" when decoding fails.
std::string FromUtf8(const std::string& page) {
  ExactBlock block(page, 2);
  char* decoded = nullptr;
  if (DecodeUtf8(&decoded, block.get(), 0x200) == -1) return "FAILED";
  char* text = HtmlToText(decoded, nullptr);
  MemFree(decoded);
  return text == nullptr ? "NO TEXT" : testing::TakeOutput(text);
}

std::string FromUtf16Le(const std::string& page) {
  UnitBlock block(Utf16LeOf(page));
  char* decoded = nullptr;
  if (DecodeUtf16Le(&decoded, block.get(), 0x200) == -1) return "FAILED";
  char* text = HtmlToText(decoded, nullptr);
  MemFree(decoded);
  return text == nullptr ? "NO TEXT" : testing::TakeOutput(text);
}

struct FormRow {
  const char* name;
  uint16_t unit;
  const char* want;  // hex bytes, or kFails
};

// Names the row in test listings instead of dumping its bytes.
void PrintTo(const FormRow& row, std::ostream* os) {
  *os << row.name;
}

class NearForms : public ::testing::TestWithParam<FormRow> {};

TEST_P(NearForms, LiteralInUtf8AndUtf16AndReferenceGiveTheSameBytes) {
  const FormRow& r = GetParam();
  const Cp932Form form = Cp932FormOf(r.unit);
  const std::string got(form.bytes, static_cast<std::size_t>(form.length));
  EXPECT_EQ(ToHex(got), r.want == kFails ? "" : r.want);
  const std::string page = "<body><p>x" + Utf8Of(r.unit) + "y</p>";
  const std::string want = r.want == kFails ? "FAILED" : "\nx" + Hex(r.want) + "y\n";
  EXPECT_EQ(ToHex(FromUtf8(page)), ToHex(want));
  EXPECT_EQ(ToHex(FromUtf16Le(page)), ToHex(want));
  const std::string reference = "<body><p>x&#" + std::to_string(r.unit) + ";y</p>";
  const std::string want_reference = "\nx" + (r.want == kFails ? "?" : Hex(r.want)) + "y\n";
  EXPECT_EQ(ToHex(FromUtf8(reference)), ToHex(want_reference));
}

INSTANTIATE_TEST_SUITE_P(
    Units, NearForms,
    ::testing::Values(
        // An exact code never changes, also where a near form shares its bytes.
        FormRow{"ExactHiragana", 0x3042, "82 A0"}, FormRow{"ExactFullwidthTilde", 0xFF5E, "81 60"},
        FormRow{"ExactParallelTo", 0x2225, "81 61"}, FormRow{"ExactSummation", 0x2211, "87 94"},
        // 1: the fixed replacements.
        FormRow{"CopyrightSign", 0x00A9, "28 43 29"}, FormRow{"RegisteredSign", 0x00AE, "28 52 29"},
        FormRow{"TradeMark", 0x2122, "28 54 4D 29"}, FormRow{"NoBreakSpace", 0x00A0, "20"},
        FormRow{"EnDash", 0x2013, "2D"}, FormRow{"EmDash", 0x2014, "81 5C"},
        FormRow{"EmSpace", 0x2003, "81 40"}, FormRow{"Bullet", 0x2022, "A5"},
        FormRow{"OneHalf", 0x00BD, "31 2F 32"},
        // 2: the JIS X 0208 meaning.
        FormRow{"WaveDash", 0x301C, "81 60"}, FormRow{"DoubleVerticalLine", 0x2016, "81 61"},
        // 3: Windows' best fit.
        FormRow{"CentSign", 0x00A2, "81 91"}, FormRow{"LeftGuillemet", 0x00AB, "81 E1"},
        FormRow{"RightGuillemet", 0x00BB, "81 E2"}, FormRow{"MiddleDot", 0x00B7, "81 45"},
        FormRow{"EWithAcute", 0x00E9, "65"}, FormRow{"YenSign", 0x00A5, "5C"},
        FormRow{"HiraganaVu", 0x3094, "83 94"}, FormRow{"SharpS", 0x00DF, "73"},
        // 4: no form.
        FormRow{"WhiteHeart", 0x2661, kFails}, FormRow{"HangulGa", 0xAC00, kFails},
        FormRow{"EuroSign", 0x20AC, kFails}, FormRow{"LigatureOE", 0x0152, kFails},
        FormRow{"AWithMacron", 0x0100, kFails}),
    [](const auto& param_info) { return std::string(param_info.param.name); });

// The checked-in page tests/win/data/near_forms.html lists every unit with a
// near form, one per line as its code, the character and its reference; the
// Windows build converts the same page. Its text must be exactly the rule's
// bytes, built here from the rule's own sources: the fixed replacements, the
// two JIS meanings and the measured best-fit list.
std::map<uint16_t, std::string> RuleForms() {
  std::map<uint16_t, std::string> forms = {
      {0x00A0, " "},        {0x00A9, "(C)"},      {0x00AE, "(R)"},      {0x00BC, "1/4"},
      {0x00BD, "1/2"},      {0x00BE, "3/4"},      {0x02C6, "^"},        {0x02DC, "~"},
      {0x2002, " "},        {0x2003, "\x81\x40"}, {0x2009, " "},        {0x2013, "-"},
      {0x2014, "\x81\x5C"}, {0x2022, "\xA5"},     {0x2044, "/"},        {0x2122, "(TM)"},
      {0x2212, "-"},        {0x301C, "\x81\x60"}, {0x2016, "\x81\x61"},
  };
  std::FILE* f = std::fopen(KELVANE_SOURCE_DIR "/encoding/cp932_best_fit.txt", "r");
  if (f == nullptr) return {};
  char line[128];
  while (std::fgets(line, sizeof line, f) != nullptr) {
    unsigned unit = 0, code = 0;
    if (line[0] == '#' || std::sscanf(line, "%x %x", &unit, &code) != 2) continue;
    std::string bytes;
    if (code > 0xFF) bytes.push_back(static_cast<char>(code >> 8));
    bytes.push_back(static_cast<char>(code & 0xFF));
    forms.emplace(static_cast<uint16_t>(unit), bytes);  // a fixed replacement comes first
  }
  std::fclose(f);
  return forms;
}

TEST(NearForms, EveryUnitWithANearFormIsOnThePageAndConvertsByTheRule) {
  const std::map<uint16_t, std::string> forms = RuleForms();
  ASSERT_EQ(forms.size(), 100u) << "17 fixed (U+2211 is exact), 2 JIS, 81 more best fit";
  std::ifstream in(KELVANE_SOURCE_DIR "/tests/win/data/near_forms.html", std::ios::binary);
  std::stringstream page;
  page << in.rdbuf();
  ASSERT_FALSE(page.str().empty());
  std::string want;
  for (const auto& [unit, bytes] : forms) {
    char code[8];
    std::snprintf(code, sizeof code, "%04X ", unit);
    want += code + bytes + " " + bytes + "\n";
  }
  for (unsigned u = 1; u <= 0xFFFF; ++u) {
    const bool exact = UnicodeToCp932(static_cast<uint16_t>(u)) != 0;
    ASSERT_EQ(!exact && Cp932FormOf(static_cast<uint16_t>(u)).length != 0, forms.count(u) == 1)
        << "U+" << std::hex << u;
  }
  // The pre block's lines; the title is not body text.
  EXPECT_EQ(FromUtf8(page.str()), want);
  EXPECT_EQ(FromUtf16Le(page.str()), want);
}

// Near forms longer than two bytes over a text longer than the UTF-16
// decoder converts between two checks of its room.
TEST(NearForms, LongFormsFitHoweverManyThereAre) {
  std::string page = "<body><p>";
  std::string want = "\n";
  for (int i = 0; i < 70000; ++i) {
    page += "\xE2\x84\xA2";  // U+2122
    want += "(TM)";
  }
  page += "</p>";
  want += "\n";
  EXPECT_EQ(FromUtf8(page), want);
  EXPECT_EQ(FromUtf16Le(page), want);
}

}  // namespace
}  // namespace kelvane
