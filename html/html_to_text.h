#pragma once

#include <cstdint>

namespace kelvane {

// Reduces a NUL-terminated Shift-JIS HTML text (LF line ends) to plain text
// with LF line breaks. Returns a new block from MemAlloc that the caller owns,
// or null on failure (null or empty text, "<body" without ">", or an
// allocation that failed). When title is not null, on success it receives a
// new block with the raw text of the first title element (possibly empty).
char* HtmlToText(const char* text, char** title);

// How many bytes at the start of s are ASCII letters or digits; 0 for null.
int TagNameLength(const char* s);

// The value of the digits among the first length bytes of s in base (2..36),
// modulo 2^32; other bytes are skipped, a digit >= base ends the scan.
// length < 0 means up to the NUL of s.
uint32_t ParseNumber(const char* s, int32_t length, int base);

// The code page 932 form of one UTF-16 unit (NUL-terminated): its exact code
// of one or two bytes, or a near form of up to four (cp932_form.h), or "?"
// when it has neither. The result stays valid until the next call.
const char* CodePointToShiftJis(uint32_t code_point);

}  // namespace kelvane
