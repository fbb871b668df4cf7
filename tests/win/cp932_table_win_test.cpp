// The project's own code page 932 table against Windows' conversion, for
// every UTF-16 unit: the same units are unmappable, and the others give the
// same bytes. Decoding is checked the same way for every one- and two-byte
// code. The one conversion with its near forms is checked against Windows'
// best-fit conversion, apart from the units where it chooses otherwise.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "encoding/cp932_form.h"
#include "encoding/cp932_table.h"
#include "tests/win/win_check.h"
#include "tests/win/win_tests.h"

namespace kelvane::wintest {
namespace {

constexpr UINT kCp932 = 932;
constexpr int kMaxReported = 20;

// Windows' cp932 code for unit, or 0 where it would use the default character.
uint16_t WindowsEncode(wchar_t unit) {
  char bytes[2] = {};
  BOOL used_default = FALSE;
  const int n =
      WideCharToMultiByte(kCp932, WC_NO_BEST_FIT_CHARS, &unit, 1, bytes, 2, nullptr, &used_default);
  if (used_default || n == 0) return 0;
  const uint8_t first = static_cast<uint8_t>(bytes[0]);
  if (n == 1) return first;
  return static_cast<uint16_t>(first << 8 | static_cast<uint8_t>(bytes[1]));
}

// Windows' unit for a cp932 code, or 0 where the code is not defined. Every
// single byte decodes to something (0xA0 and 0xFD-0xFF to private-use units),
// so only pairs are asked to fail when undefined.
uint16_t WindowsDecode(uint16_t code) {
  char bytes[2] = {static_cast<char>(code >> 8), static_cast<char>(code & 0xFF)};
  const bool pair = code > 0xFF;
  wchar_t units[2] = {};
  const int n = MultiByteToWideChar(kCp932, pair ? MB_ERR_INVALID_CHARS : 0,
                                    pair ? bytes : bytes + 1, pair ? 2 : 1, units, 2);
  return n == 1 ? static_cast<uint16_t>(units[0]) : 0;
}

void Report(int* mismatches, const char* direction, unsigned from, unsigned ours, unsigned theirs) {
  if (++*mismatches <= kMaxReported) {
    std::printf("    %s %04X: table %04X, Windows %04X\n", direction, from, ours, theirs);
  }
}

void EncodingMatchesWindows() {
  int mismatches = 0;
  int mapped = 0;
  for (unsigned unit = 1; unit <= 0xFFFF; unit++) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const uint16_t ours = UnicodeToCp932(static_cast<uint16_t>(unit));
    const uint16_t theirs = WindowsEncode(static_cast<wchar_t>(unit));
    if (theirs != 0) mapped++;
    if (ours != theirs) Report(&mismatches, "U+", unit, ours, theirs);
  }
  CheckEqual(mismatches, 0, "units encoded differently");
  Check(mapped > 7000, "Windows maps " + std::to_string(mapped) + " units");
}

// Windows' best-fit form of unit (flags 0), or "" where it would use the
// default character.
std::string WindowsBestFit(wchar_t unit) {
  char bytes[4] = {};
  BOOL used_default = FALSE;
  const int n = WideCharToMultiByte(kCp932, 0, &unit, 1, bytes, 4, nullptr, &used_default);
  if (used_default || n <= 0) return "";
  return std::string(bytes, static_cast<std::size_t>(n));
}

// Where our conversion deliberately differs from Windows' best fit: the fixed
// replacements, which read better in plain text, and the JIS X 0208 meaning
// of the two characters Windows maps neither way.
struct OwnChoice {
  const char* name;
  uint16_t unit;
};
constexpr OwnChoice kOwnChoices[] = {
    {"NO-BREAK SPACE", 0x00A0},
    {"COPYRIGHT SIGN", 0x00A9},
    {"REGISTERED SIGN", 0x00AE},
    {"VULGAR FRACTION ONE QUARTER", 0x00BC},
    {"VULGAR FRACTION ONE HALF", 0x00BD},
    {"VULGAR FRACTION THREE QUARTERS", 0x00BE},
    {"MODIFIER LETTER CIRCUMFLEX ACCENT", 0x02C6},
    {"SMALL TILDE", 0x02DC},
    {"EN SPACE", 0x2002},
    {"EM SPACE", 0x2003},
    {"THIN SPACE", 0x2009},
    {"EN DASH", 0x2013},
    {"EM DASH", 0x2014},
    {"BULLET", 0x2022},
    {"FRACTION SLASH", 0x2044},
    {"TRADE MARK SIGN", 0x2122},
    {"MINUS SIGN", 0x2212},
    {"WAVE DASH", 0x301C},
    {"DOUBLE VERTICAL LINE", 0x2016},
};

bool IsOwnChoice(unsigned unit) {
  for (const OwnChoice& c : kOwnChoices) {
    if (c.unit == unit) return true;
  }
  return false;
}

std::string Hex(const std::string& bytes) {
  std::string out;
  char part[4];
  for (unsigned char b : bytes) {
    std::snprintf(part, sizeof part, "%02X", b);
    out += part;
  }
  return out.empty() ? "none" : out;
}

void NearFormsMatchWindowsBestFit() {
  int mismatches = 0;
  int near_forms = 0;
  for (unsigned unit = 1; unit <= 0xFFFF; unit++) {
    if (unit >= 0xD800 && unit <= 0xDFFF) continue;
    const Cp932Form form = Cp932FormOf(static_cast<uint16_t>(unit));
    const std::string ours(form.bytes, static_cast<std::size_t>(form.length));
    if (form.length != 0 && UnicodeToCp932(static_cast<uint16_t>(unit)) == 0) near_forms++;
    if (IsOwnChoice(unit)) continue;
    const std::string theirs = WindowsBestFit(static_cast<wchar_t>(unit));
    if (ours != theirs && ++mismatches <= kMaxReported) {
      std::printf("    U+%04X: ours %s, Windows %s\n", unit, Hex(ours).c_str(),
                  Hex(theirs).c_str());
    }
  }
  CheckEqual(mismatches, 0, "units converted differently from Windows' best fit");
  CheckEqual(near_forms, 100, "units with a near form");
  // The units we choose for ourselves, with what each side gives.
  for (const OwnChoice& c : kOwnChoices) {
    const Cp932Form form = Cp932FormOf(c.unit);
    std::printf("    own choice U+%04X %s: ours %s, Windows %s\n", c.unit, c.name,
                Hex(std::string(form.bytes, static_cast<std::size_t>(form.length))).c_str(),
                Hex(WindowsBestFit(static_cast<wchar_t>(c.unit))).c_str());
    Check(form.length != 0, std::string(c.name) + " has a form");
  }
}

void DecodingMatchesWindows() {
  int mismatches = 0;
  for (unsigned code = 1; code <= 0xFFFF; code++) {
    const uint8_t lead = static_cast<uint8_t>(code >> 8);
    const uint8_t low = static_cast<uint8_t>(code & 0xFF);
    // One-byte codes, and two-byte codes whose first byte is a lead byte.
    if (lead != 0 && !IsCp932LeadByte(lead)) continue;
    if (lead == 0 && IsCp932LeadByte(low)) continue;
    const uint16_t ours = Cp932ToUnicode(static_cast<uint16_t>(code));
    const uint16_t theirs = WindowsDecode(static_cast<uint16_t>(code));
    if (ours != theirs) Report(&mismatches, "code", code, ours, theirs);
  }
  CheckEqual(mismatches, 0, "codes decoded differently");
}

}  // namespace

std::vector<WinTest> Cp932TableWinTests() {
  return {
      {"cp932 encoding matches Windows", EncodingMatchesWindows},
      {"cp932 decoding matches Windows", DecodingMatchesWindows},
      {"near forms match Windows' best fit but for our own choices", NearFormsMatchWindowsBestFit},
  };
}

}  // namespace kelvane::wintest
