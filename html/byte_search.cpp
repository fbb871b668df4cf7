#include "html/byte_search.h"

namespace kelvane {

// The next 24 bytes a word at a time, and only a longer search pays for the
// call to memchr.
[[gnu::noinline]] const Byte* FindByteFar(const Byte* from, const Byte* end, Byte c) {
  constexpr std::ptrdiff_t kNearWords = 3;
  if constexpr (std::endian::native == std::endian::little) {
    for (std::ptrdiff_t i = 0; i < kNearWords && end - from >= 8; ++i) {
      uint64_t word;
      std::memcpy(&word, from, 8);
      const uint64_t found = BytesEqualTo(word, c);
      if (found != 0) return from + FirstMarkedByte(found);
      from += 8;
    }
  }
  constexpr std::ptrdiff_t kNearBytes = 8;
  const Byte* near_end = end - from > kNearBytes ? from + kNearBytes : end;
  for (; from < near_end; ++from) {
    if (*from == c) return from;
  }
  if (from >= end) return nullptr;
  return static_cast<const Byte*>(std::memchr(from, c, static_cast<std::size_t>(end - from)));
}

// Pages end in markup, so the search from the end is short, and text without
// any c is read once, a word at a time.
const Byte* FindLastByte(const Byte* begin, const Byte* end, Byte c) {
  const Byte* p = end;
  while (p - begin >= 8) {
    uint64_t word;
    std::memcpy(&word, p - 8, 8);
    // Only the lowest mark is sure to be exact, so a marked word is looked at
    // byte by byte.
    if (BytesEqualTo(word, c) != 0) break;
    p -= 8;
  }
  while (p > begin) {
    --p;
    if (*p == c) return p;
  }
  return nullptr;
}

const Byte* FindTagOpening(const Byte* from, const Byte* end, const char* pattern) {
  std::size_t n = std::strlen(pattern);
  for (const Byte* lt = FindByte(from, end, '<'); lt != nullptr; lt = FindByte(lt + 1, end, '<')) {
    if (static_cast<std::size_t>(end - lt - 1) < n) return nullptr;
    std::size_t i = 0;
    while (i < n && FoldAscii(lt[1 + i]) == static_cast<Byte>(pattern[i])) ++i;
    if (i == n) return lt;
  }
  return nullptr;
}

const Byte* FindBytes(const Byte* from, const Byte* end, const char* pattern) {
  std::size_t n = std::strlen(pattern);
  for (const Byte* p = FindByte(from, end, static_cast<Byte>(pattern[0])); p != nullptr;
       p = FindByte(p + 1, end, static_cast<Byte>(pattern[0]))) {
    if (static_cast<std::size_t>(end - p) < n) return nullptr;
    if (std::memcmp(p, pattern, n) == 0) return p;
  }
  return nullptr;
}

const Byte* FindAlt(const Byte* from, const Byte* end) {
  if (end - from < 4) return nullptr;
  for (const Byte* eq = FindByte(from + 3, end, '='); eq != nullptr;
       eq = FindByte(eq + 1, end, '=')) {
    if (FoldAscii(eq[-3]) == 'a' && FoldAscii(eq[-2]) == 'l' && FoldAscii(eq[-1]) == 't') {
      return eq - 3;
    }
  }
  return nullptr;
}

}  // namespace kelvane
