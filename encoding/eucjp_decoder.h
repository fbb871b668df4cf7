#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

struct TextBuffer;

// EUC-JP (JIS X 0208 pairs, 8E half-width katakana, ASCII) -> Shift-JIS.
// Fails (-1) on anything else, JIS X 0212 included. Returns 6.
int DecodeEucJp(char** result, const char* text, int mode);

// The same, and the output's length (without its NUL) through length on
// success, so the next stage need not measure it.
int DecodeEucJp(char** result, const char* text, int mode, uint32_t* length);
// The same over a read block of size bytes followed by a NUL. The text still
// ends at its first NUL; size only spares measuring it.
int DecodeEucJpInBlock(char** result, const char* block, std::size_t size, int mode,
                       uint32_t* length);

// The same, writing into region, a buffer over a block of the caller's that
// it does not own, so it never grows: -1 also when the text does not fit.
int DecodeEucJpInto(TextBuffer* region, const char* block, std::size_t size, int mode,
                    uint32_t* length);

}  // namespace kelvane
