// Paths between the UTF-16 of the Windows interface and the byte strings that
// the driver carries. The bytes are UTF-8, widened to WTF-8: a surrogate that
// stands alone in a Windows name (which the system allows) is written as its
// own three bytes, so every name that Windows gives comes back unchanged.
// Portable, so it is tested on every platform.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kelvane {

// The count units at units as a NUL-terminated WTF-8 block from MemAlloc, or
// null when out of memory. A zero unit inside is written as a NUL byte.
char* Utf16ToWtf8(const uint16_t* units, std::size_t count);

// The NUL-terminated text as a zero-terminated UTF-16 block from MemAlloc, its
// length (without the zero) in *count; null when out of memory. Each byte that
// starts no valid WTF-8 sequence becomes U+FFFD, so it names no file.
uint16_t* Wtf8ToUtf16(const char* text, std::size_t* count);

}  // namespace kelvane
