// The one conversion of a UTF-16 unit to code page 932 that every stage
// converting from Unicode uses: the UTF-16 and UTF-8 decoders, and the HTML
// converter's character references. A unit's exact cp932 code comes first;
// for a unit without one, a near form, in this order:
//   1. its fixed replacement, which reads best in plain text ("(C)" for ©);
//   2. the JIS X 0208 meaning of U+301C and U+2016 (81 60 and 81 61);
//   3. Windows' best fit for cp932 (é -> "e", » -> "≫").
// Anything else has no form: the decoders fail the text, a reference gives
// "?". Every near form is made of cp932 characters.
#pragma once

#include <cstdint>

namespace kelvane {

// The longest form, "(TM)".
constexpr int kLongestCp932Form = 4;

struct Cp932Form {
  char bytes[kLongestCp932Form];  // not NUL-terminated
  int length;                     // 0 when the unit has no form
};

// U+0000 has no form: callers treat NUL as the terminator.
Cp932Form Cp932FormOf(uint16_t unit);

// The form of a referenced code point as a NUL-terminated string: its exact
// code of one or two bytes, or a near form of up to four, or "?" when it has
// neither (and for 0 and values above FFFF). The result stays valid until the
// next call.
const char* CodePointToShiftJis(uint32_t code_point);

}  // namespace kelvane
