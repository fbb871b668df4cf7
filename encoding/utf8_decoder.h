#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

struct TextBuffer;

// Strict UTF-8 (one to three bytes) -> UTF-16LE units; skips EF BB BF at the
// start. Fails (-1) on malformed, overlong, surrogate, cut-off or four-byte
// sequences. Returns 3.
//
// The product decodes with DecodeUtf8 alone; this first of the two steps that
// DecodeUtf8 is defined by stays as the reference that the tests and the fuzz
// target check DecodeUtf8 against.
int Utf8ToUtf16(uint16_t** result, const char* bytes, int mode);

// What Utf8ToUtf16 then DecodeUtf16Le (mode 0) give, in one pass without the
// UTF-16 block between them. Returns 3.
int DecodeUtf8(char** result, const char* bytes, int mode);

// The same, and the output's length (without its NUL) through length on
// success, so the next stage need not measure it.
int DecodeUtf8(char** result, const char* bytes, int mode, uint32_t* length);
// The same over a read block of size bytes followed by a NUL. The text still
// ends at its first NUL; size only spares measuring it.
int DecodeUtf8InBlock(char** result, const char* block, std::size_t size, int mode,
                      uint32_t* length);

// The same, writing into region, a buffer over a block of the caller's that
// it does not own, so it never grows: -1 also when the text does not fit.
int DecodeUtf8Into(TextBuffer* region, const char* block, std::size_t size, int mode,
                   uint32_t* length);

}  // namespace kelvane
