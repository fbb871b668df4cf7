#pragma once

#include <cstddef>
#include <cstdint>

#include "html/number_reader.h"  // TagNameLength, ParseNumber

namespace kelvane {

// Reduces a NUL-terminated Shift-JIS HTML text (LF line ends) to plain text
// with LF line breaks. Returns a new block from MemAlloc that the caller owns,
// or null on failure (null or empty text, "<body" without ">", or an
// allocation that failed). When title is not null, on success it receives a
// new block with the raw text of the first title element (possibly empty).
char* HtmlToText(const char* text, char** title);

// The same over a text whose length (up to its NUL, which holds no other) the
// caller knows; on success the result's length goes through text_length when
// that is not null, so the next stage need not measure it either.
char* HtmlToTextOfLength(const char* text, std::size_t length, char** title, uint32_t* text_length);

}  // namespace kelvane
