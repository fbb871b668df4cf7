#pragma once

#include <cstdint>

#include "app/platform.h"

namespace kelvane {

// Converts one HTML file into a .txt file beside it. 1 when the output was
// written; 0 on every failure, each shown through ShowConversionError.
int ConvertFile(const char* path);
int ConvertFileWith(const Platform* platform, const char* path);

// Converts an input that has no file name to test or to derive an output name
// from, such as standard input: platform reads it and writes the text under
// name, and every failure shows name. The same stages and messages as a file.
int ConvertStreamWith(const Platform* platform, const char* name);

// Runs the decoder that an EncodingId selects on the read block (followed by
// three NUL bytes), producing Shift-JIS with LF line ends. -1 for a failed
// decoding and for an id that names no decoder.
int DecodeToShiftJis(char** result, const char* block, int encoding);
// The same, and the decoded text's length (without its NUL) through length on
// success.
int DecodeToShiftJis(char** result, const char* block, int encoding, uint32_t* length);
// The same over a read block of size bytes: the text still ends at its first
// NUL, and size spares the byte decoders measuring it.
int DecodeToShiftJis(char** result, const char* block, uint32_t size, int encoding,
                     uint32_t* length);

// Shows a failure: message (Shift-JIS; null gives the unknown-error text) and
// path (may be null).
int ShowConversionError(const char* message, const char* path);
int ShowConversionErrorWith(const Platform* platform, const char* message, const char* path);

}  // namespace kelvane
