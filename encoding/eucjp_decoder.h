#pragma once

namespace kelvane {

// EUC-JP (JIS X 0208 pairs, 8E half-width katakana, ASCII) -> Shift-JIS.
// Fails (-1) on anything else, JIS X 0212 included. Returns 6.
int DecodeEucJp(char** result, const char* text, int mode);

}  // namespace kelvane
