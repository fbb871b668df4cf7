#pragma once

namespace kelvane {

// Applies the line-end rule to NUL-terminated byte text. Bits 8-11 of flags
// hold the LineEndMode, bits 0-3 the value returned on success; -1 on failure.
int NormalizeLineEnds(char** result, const char* text, int flags);

}  // namespace kelvane
