// Every UTF-16 unit's code page 932 form in flat arrays, expanded from the
// one conversion (cp932_form.h) on first use, for the decoders that convert a
// unit at a time: a unit then costs a load or two instead of a search.
#pragma once

#include <cstdint>

#include "encoding/cp932_form.h"

namespace kelvane {

// The length table's mark for a unit that cp932 lacks; a bit no real length
// (1 to 4) has, so ORing lengths together keeps it.
constexpr uint8_t kNoCode = 0x80;

// For every unit, its cp932 form as the bytes to write (a one-byte code, a
// lead and trail byte, or a near form of up to four bytes, padded with 0s)
// and the length of that form, 1 to 4, or kNoCode. The two-byte forms, which
// kana and kanji all have, are also on their own: lead and trail where the
// form is two bytes long, else 0 0 (no lead byte is 0), so that a run of them
// takes one load a character from a table less than half the size, and moves
// on by a constant.
struct CodeByUnit {
  char bytes[0x10000][kLongestCp932Form];
  uint8_t length[0x10000];
  char two_byte[0x10000][2];
};

// Built once per process.
const CodeByUnit& Cp932Codes();

}  // namespace kelvane
