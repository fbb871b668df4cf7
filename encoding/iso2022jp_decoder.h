#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

struct TextBuffer;

// ISO-2022-JP -> Shift-JIS. Accepts ESC ( B, ESC ( J, ESC ( I, ESC $ @ and
// ESC $ B; any other escape or a broken pair fails (-1). Returns 7.
int DecodeIso2022Jp(char** result, const char* text, int mode);

// The same, and the output's length (without its NUL) through length on
// success, so the next stage need not measure it.
int DecodeIso2022Jp(char** result, const char* text, int mode, uint32_t* length);
// The same over a read block of size bytes followed by a NUL. The text still
// ends at its first NUL; size only spares measuring it.
int DecodeIso2022JpInBlock(char** result, const char* block, std::size_t size, int mode,
                           uint32_t* length);

// The same, writing into region, a buffer over a block of the caller's that
// it does not own, so it never grows: -1 also when the text does not fit.
int DecodeIso2022JpInto(TextBuffer* region, const char* block, std::size_t size, int mode,
                        uint32_t* length);

}  // namespace kelvane
