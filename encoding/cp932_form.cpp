#include "encoding/cp932_form.h"

#include <cstddef>
#include <cstring>
#include <iterator>

#include "encoding/cp932_table.h"

namespace kelvane {
namespace {

struct FixedReplacement {
  uint16_t unit;
  const char* bytes;
};

// Characters that code page 932 lacks, written as plain text reads them best.
// (U+2211 has its exact code too, the same bytes.)
// clang-format off
constexpr FixedReplacement kFixedReplacements[] = {
    {0x00A0, " "},    {0x00A9, "(C)"},  {0x00AE, "(R)"},  {0x00BC, "1/4"},
    {0x00BD, "1/2"},  {0x00BE, "3/4"},  {0x02C6, "^"},    {0x02DC, "~"},
    {0x2002, " "},    {0x2003, "\x81\x40"},  {0x2009, " "},  {0x2013, "-"},
    {0x2014, "\x81\x5C"},  {0x2022, "\xA5"},  {0x2044, "/"},  {0x2122, "(TM)"},
    {0x2211, "\x87\x94"},  {0x2212, "-"},
};
// clang-format on

// The list is in unit order, so a search can stop at the first unit past the
// one sought, and most units lie outside it altogether.
constexpr bool InUnitOrder() {
  for (std::size_t i = 1; i < std::size(kFixedReplacements); ++i) {
    if (kFixedReplacements[i - 1].unit >= kFixedReplacements[i].unit) return false;
  }
  return true;
}
static_assert(InUnitOrder(), "kFixedReplacements is sorted by unit");

constexpr uint16_t kFirstReplaced = kFixedReplacements[0].unit;
constexpr uint16_t kLastReplaced = kFixedReplacements[std::size(kFixedReplacements) - 1].unit;

// The fixed replacement of unit, or null.
const char* FixedReplacementOf(uint16_t unit) {
  if (unit < kFirstReplaced || unit > kLastReplaced) return nullptr;
  for (const FixedReplacement& r : kFixedReplacements) {
    if (r.unit == unit) return r.bytes;
    if (r.unit > unit) break;
  }
  return nullptr;
}

Cp932Form FromCode(uint16_t code) {
  Cp932Form form{};
  if (code > 0xFF) {
    form.bytes[form.length++] = static_cast<char>(code >> 8);
  }
  form.bytes[form.length++] = static_cast<char>(code & 0xFF);
  return form;
}

}  // namespace

Cp932Form Cp932FormOf(uint16_t unit) {
  if (unit == 0) return Cp932Form{};
  if (const uint16_t code = UnicodeToCp932(unit); code != 0) return FromCode(code);
  if (const char* replacement = FixedReplacementOf(unit); replacement != nullptr) {
    Cp932Form form{};
    form.length = static_cast<int>(std::strlen(replacement));
    std::memcpy(form.bytes, replacement, static_cast<std::size_t>(form.length));
    return form;
  }
  if (const uint16_t code = Cp932NearCode(unit); code != 0) return FromCode(code);
  return Cp932Form{};
}

const char* CodePointToShiftJis(uint32_t code_point) {
  static char result[kLongestCp932Form + 1];
  if (code_point > 0xFFFF) return "?";
  const Cp932Form form = Cp932FormOf(static_cast<uint16_t>(code_point));
  if (form.length == 0) return "?";
  std::memcpy(result, form.bytes, static_cast<std::size_t>(form.length));
  result[form.length] = 0;
  return result;
}

}  // namespace kelvane
