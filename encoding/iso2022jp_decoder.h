#pragma once

#include <cstdint>

namespace kelvane {

// ISO-2022-JP -> Shift-JIS. Accepts ESC ( B, ESC ( J, ESC ( I, ESC $ @ and
// ESC $ B; any other escape or a broken pair fails (-1). Returns 7.
int DecodeIso2022Jp(char** result, const char* text, int mode);

// The same, and the output's length (without its NUL) through length on
// success, so the next stage need not measure it.
int DecodeIso2022Jp(char** result, const char* text, int mode, uint32_t* length);

}  // namespace kelvane
