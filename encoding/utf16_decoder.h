#pragma once

#include <cstdint>

namespace kelvane {

struct TextBuffer;

// UTF-16LE units up to a zero unit -> Shift-JIS (code page 932). Skips a
// leading FEFF. Fails (-1) on an empty text or any unit cp932 lacks,
// surrogates included. Returns 1.
int DecodeUtf16Le(char** result, const uint16_t* units, int mode);

// UTF-16BE units -> UTF-16LE units, applying the line-end rule when mode is
// not 0. Keeps a byte order mark. Returns 2.
int SwapUtf16Bytes(uint16_t** result, const uint16_t* units, int mode);

// What SwapUtf16Bytes then DecodeUtf16Le (mode 0) give, in one pass. Returns 2.
int DecodeUtf16Be(char** result, const uint16_t* units, int mode);

// The decoders as above, which also store the Shift-JIS text's length (without
// its NUL) through length on success, so the next stage need not measure it.
int DecodeUtf16Le(char** result, const uint16_t* units, int mode, uint32_t* length);
int DecodeUtf16Be(char** result, const uint16_t* units, int mode, uint32_t* length);
// The decoders writing into region, a buffer over a block of the caller's
// that it does not own, so it never grows: -1 also when the text does not fit.
int DecodeUtf16LeInto(TextBuffer* region, const uint16_t* units, int mode, uint32_t* length);
int DecodeUtf16BeInto(TextBuffer* region, const uint16_t* units, int mode, uint32_t* length);

}  // namespace kelvane
