#pragma once

#include <cstdint>

namespace kelvane {

// EUC-JP (JIS X 0208 pairs, 8E half-width katakana, ASCII) -> Shift-JIS.
// Fails (-1) on anything else, JIS X 0212 included. Returns 6.
int DecodeEucJp(char** result, const char* text, int mode);

// The same, and the output's length (without its NUL) through length on
// success, so the next stage need not measure it.
int DecodeEucJp(char** result, const char* text, int mode, uint32_t* length);

}  // namespace kelvane
