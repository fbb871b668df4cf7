// Helpers the fuzz targets share: exact-size copies of the input, so that
// AddressSanitizer sees any read past the terminators, and the checks that a
// stage's output is well formed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "encoding/cp932_table.h"

namespace kelvane::fuzz {

// A heap copy of data followed by exactly nuls NUL bytes; release with free.
inline char* TerminatedCopy(const uint8_t* data, size_t size, size_t nuls) {
  char* block = static_cast<char*>(std::malloc(size + nuls));
  if (block == nullptr) std::abort();
  if (size != 0) std::memcpy(block, data, size);
  std::memset(block + size, 0, nuls);
  return block;
}

// True when s is a sequence of cp932 characters that all decode through the
// project's own table (one-byte codes, or a lead byte with its trail byte).
inline bool IsDecodableShiftJis(const char* s) {
  const auto* p = reinterpret_cast<const unsigned char*>(s);
  while (*p != 0) {
    if (IsCp932LeadByte(*p)) {
      if (p[1] == 0 || Cp932ToUnicode(static_cast<uint16_t>(p[0] << 8 | p[1])) == 0) return false;
      p += 2;
    } else {
      if (Cp932ToUnicode(*p) == 0) return false;
      ++p;
    }
  }
  return true;
}

// Stops the run with a crash the fuzzer records, naming the broken property.
[[noreturn]] inline void PropertyFailed(const char* what) {
  std::fprintf(stderr, "property failed: %s\n", what);
  std::abort();
}

inline void Require(bool ok, const char* what) {
  if (!ok) PropertyFailed(what);
}

}  // namespace kelvane::fuzz
