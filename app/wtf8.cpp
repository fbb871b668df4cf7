// Both conversions measure the largest result first (three bytes a unit one
// way, one unit a byte the other), allocate once and fill.

#include "app/wtf8.h"

#include <cstring>

#include "common/heap.h"

namespace kelvane {
namespace {

constexpr uint32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(uint32_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(uint32_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

// Writes code point c (up to U+10FFFF, surrogates included) at out; returns
// the byte count.
std::size_t PutCodePoint(uint32_t c, unsigned char* out) {
  if (c < 0x80) {
    out[0] = static_cast<unsigned char>(c);
    return 1;
  }
  if (c < 0x800) {
    out[0] = static_cast<unsigned char>(0xC0 | (c >> 6));
    out[1] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 2;
  }
  if (c < 0x10000) {
    out[0] = static_cast<unsigned char>(0xE0 | (c >> 12));
    out[1] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
    out[2] = static_cast<unsigned char>(0x80 | (c & 0x3F));
    return 3;
  }
  out[0] = static_cast<unsigned char>(0xF0 | (c >> 18));
  out[1] = static_cast<unsigned char>(0x80 | ((c >> 12) & 0x3F));
  out[2] = static_cast<unsigned char>(0x80 | ((c >> 6) & 0x3F));
  out[3] = static_cast<unsigned char>(0x80 | (c & 0x3F));
  return 4;
}

// The code point of the sequence at p, its length in *length; U+FFFD of
// length 1 for a byte that starts no valid sequence (a stray continuation
// byte, an overlong or cut sequence, a value past U+10FFFF). The NUL ends any
// sequence, so nothing past the text is read.
uint32_t TakeCodePoint(const unsigned char* p, std::size_t* length) {
  *length = 1;
  if (p[0] < 0x80) return p[0];
  std::size_t n = 0;
  uint32_t c = 0;
  uint32_t least = 0;
  if ((p[0] & 0xE0) == 0xC0) {
    n = 2, c = p[0] & 0x1F, least = 0x80;
  } else if ((p[0] & 0xF0) == 0xE0) {
    n = 3, c = p[0] & 0x0F, least = 0x800;
  } else if ((p[0] & 0xF8) == 0xF0) {
    n = 4, c = p[0] & 0x07, least = 0x10000;
  } else {
    return kReplacement;
  }
  for (std::size_t i = 1; i < n; ++i) {
    if ((p[i] & 0xC0) != 0x80) return kReplacement;
    c = (c << 6) | (p[i] & 0x3F);
  }
  if (c < least || c > 0x10FFFF) return kReplacement;
  *length = n;
  return c;
}

}  // namespace

char* Utf16ToWtf8(const uint16_t* units, std::size_t count) {
  unsigned char* out = static_cast<unsigned char*>(MemAlloc(count * 3 + 1));
  if (out == nullptr) return nullptr;
  std::size_t end = 0;
  for (std::size_t i = 0; i < count; ++i) {
    uint32_t c = units[i];
    // A pair makes one code point; a surrogate alone is kept as it is.
    if (IsHighSurrogate(c) && i + 1 < count && IsLowSurrogate(units[i + 1])) {
      c = 0x10000 + ((c - 0xD800) << 10) + (units[++i] - 0xDC00);
    }
    end += PutCodePoint(c, out + end);
  }
  out[end] = '\0';
  return reinterpret_cast<char*>(out);
}

uint16_t* Wtf8ToUtf16(const char* text, std::size_t* count) {
  const std::size_t bytes = std::strlen(text);
  uint16_t* out = static_cast<uint16_t*>(MemAlloc((bytes + 1) * sizeof(uint16_t)));
  if (out == nullptr) return nullptr;
  const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
  std::size_t end = 0;
  while (*p != 0) {
    std::size_t length = 0;
    const uint32_t c = TakeCodePoint(p, &length);
    p += length;
    if (c >= 0x10000) {
      // Four bytes give two units, so the result still fits.
      out[end++] = static_cast<uint16_t>(0xD800 + ((c - 0x10000) >> 10));
      out[end++] = static_cast<uint16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      out[end++] = static_cast<uint16_t>(c);
    }
  }
  out[end] = 0;
  *count = end;
  return out;
}

}  // namespace kelvane
