// Every UTF-16 unit's code page 932 code in flat arrays, expanded from the
// packed cp932 table on first use, for the decoders that convert a unit at a
// time: a unit then costs a load or two instead of a search.
#pragma once

#include <cstdint>

namespace kelvane {

// The length table's mark for a unit that cp932 lacks; a bit no real length
// (1 or 2) has, so ORing lengths together keeps it.
constexpr uint8_t kNoCode = 0x80;

// For every unit, its cp932 code as the bytes to write (the lead and trail
// byte, or the single byte and a 0) and the length of that code, 1 or 2, or
// kNoCode.
struct CodeByUnit {
  char bytes[0x10000][2];
  uint8_t length[0x10000];
};

// Built once per process.
const CodeByUnit& Cp932Codes();

}  // namespace kelvane
