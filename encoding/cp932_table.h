// Windows code page 932 in both directions, from the generated table in
// cp932_table.cpp. Codes are one byte (0x00-0xFF) or lead << 8 | trail.
#pragma once

#include <cstdint>

namespace kelvane {

// The cp932 code of one UTF-16 unit, or 0 when cp932 has no exact form for it
// (no best fit). U+0000 also gives 0: callers treat NUL as the terminator.
uint16_t UnicodeToCp932(uint16_t unit);

// The cp932 code that stands in for a unit without an exact code: the JIS
// X 0208 meaning of U+301C and U+2016, or Windows' best fit; 0 for none.
// Use Cp932FormOf (cp932_form.h), which also knows the fixed replacements.
uint16_t Cp932NearCode(uint16_t unit);

// The UTF-16 unit that a cp932 code decodes to, or 0 when the code is not
// defined (and for the code 0 itself).
uint16_t Cp932ToUnicode(uint16_t code);

// True for the bytes that begin a two-byte cp932 character.
inline bool IsCp932LeadByte(uint8_t b) {
  return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

}  // namespace kelvane
