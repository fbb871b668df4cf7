// Numbers of numeric character references, and the digit rules they share
// with tag names.
//
// A page may hold millions of references whose digit spans overlap (a run of
// "&#" with one ";" far behind), so NumberReader reads each byte once over
// the whole scan instead of once per reference: two cursors fold the digits
// into running values mod 2^32, and the value of the digits between them is
// hi.value - lo.value * base^(hi.digits - lo.digits). ParseNumber is the
// plain definition those values must equal.
#pragma once

#include <cstdint>

namespace kelvane {

// 0-9 and A-Z/a-z as digit values 0..35; 0xFF for any other byte.
inline int DigitValue(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  return 0xFF;
}

// A cursor that has folded every digit below its base, up to at, into value.
struct DigitCursor {
  const unsigned char* at;
  uint32_t value;
  uint64_t digits;
};

// Reads the numbers of numeric references of one base. Their digit spans come
// in increasing order of start, and so of end: a span that begins past the
// last one's end starts the cursors afresh, and one that overlaps it reuses
// what the cursors and the search for a digit >= base already covered.
struct NumberReader {
  int base;
  const unsigned char* scanned;  // no digit >= base lies between the last start and here
  bool at_stop;                  // *scanned is a digit >= base
  DigitCursor lo;
  DigitCursor hi;
};

void InitNumberReader(NumberReader* reader, int base, const unsigned char* start);

// ParseNumber(digits, end - digits, base) for the digits at [digits, end).
uint32_t ReadNumber(NumberReader* reader, const unsigned char* digits, const unsigned char* end);

// Moves a cursor on to `to`, folding the digits it passes.
void AdvanceDigits(DigitCursor* cursor, const unsigned char* to, int base);

// How many bytes at the start of s are ASCII letters or digits; 0 for null.
int TagNameLength(const char* s);

// The value of the digits among the first length bytes of s in base (2..36),
// modulo 2^32; other bytes are skipped, a digit >= base ends the scan.
// length < 0 means up to the NUL of s.
uint32_t ParseNumber(const char* s, int32_t length, int base);

}  // namespace kelvane
