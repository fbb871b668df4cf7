#include "html/number_reader.h"

#include <cstddef>
#include <cstring>

namespace kelvane {
namespace {

using Byte = unsigned char;

// base^n mod 2^32 for the even bases used here: 0 from n = 32 on.
uint32_t PowerMod32(int base, uint64_t n) {
  if (n >= 32) return 0;
  uint32_t r = 1;
  for (uint64_t i = 0; i < n; ++i) r *= static_cast<uint32_t>(base);
  return r;
}

bool EndsDigits(Byte c, int base) {
  int d = DigitValue(c);
  return d >= base && d < 36;
}

}  // namespace

void AdvanceDigits(DigitCursor* cursor, const Byte* to, int base) {
  const Byte* p = cursor->at;
  uint32_t value = cursor->value;
  uint64_t digits = cursor->digits;
  for (; p < to; ++p) {
    int d = DigitValue(*p);
    if (d < base) {
      value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
      ++digits;
    }
  }
  cursor->at = p;
  cursor->value = value;
  cursor->digits = digits;
}

void InitNumberReader(NumberReader* reader, int base, const Byte* start) {
  reader->base = base;
  reader->scanned = start;
  reader->at_stop = false;
  reader->lo = DigitCursor{start, 0, 0};
  reader->hi = reader->lo;
}

uint32_t ReadNumber(NumberReader* reader, const Byte* digits, const Byte* end) {
  if (digits >= reader->hi.at) {
    reader->lo = DigitCursor{digits, 0, 0};
    reader->hi = reader->lo;
  }
  if (digits > reader->scanned) {
    reader->scanned = digits;
    reader->at_stop = false;
  }
  if (!reader->at_stop) {
    const Byte* p = reader->scanned;
    while (p < end && !EndsDigits(*p, reader->base)) ++p;
    reader->scanned = p;
    reader->at_stop = p < end;
  }
  const Byte* stop = reader->scanned < end ? reader->scanned : end;
  AdvanceDigits(&reader->lo, digits, reader->base);
  AdvanceDigits(&reader->hi, stop, reader->base);
  return reader->hi.value -
         reader->lo.value * PowerMod32(reader->base, reader->hi.digits - reader->lo.digits);
}

int TagNameLength(const char* s) {
  if (s == nullptr) return 0;
  int n = 0;
  while (DigitValue(static_cast<Byte>(s[n])) < 36) ++n;
  return n;
}

uint32_t ParseNumber(const char* s, int32_t length, int base) {
  if (s == nullptr || length == 0 || base < 2 || base > 36) return 0;
  std::size_t n = length < 0 ? std::strlen(s) : static_cast<std::size_t>(length);
  uint32_t value = 0;
  for (std::size_t i = 0; i < n; ++i) {
    int d = DigitValue(static_cast<Byte>(s[i]));
    if (d == 0xFF) continue;
    if (d >= base) return value;
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(d);
  }
  return value;
}

}  // namespace kelvane
