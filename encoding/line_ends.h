#pragma once

#include <cstddef>
#include <cstdint>

#include "common/buffers.h"
#include "encoding/line_end_rule.h"

namespace kelvane {

// Applies the line-end rule to NUL-terminated byte text. Bits 8-11 of flags
// hold the LineEndMode, bits 0-3 the value returned on success; -1 on failure.
int NormalizeLineEnds(char** result, const char* text, int flags);

// The same, and the output's length (without its NUL) through length on
// success, so the next stage need not measure it.
int NormalizeLineEnds(char** result, const char* text, int flags, uint32_t* length);

// The same over a text whose length (up to its NUL, which holds no other)
// the caller knows.
int NormalizeLineEndsOfLength(char** result, const char* text, std::size_t text_length, int flags,
                              uint32_t* length);

// The rule over a text that comes in parts, in order: appends the next part's
// output to out, the rule carrying its state (a CR at a part's end) from one
// part to the next, so the parts' outputs joined are the whole text's. rule
// starts as StartLineEndRule(mode) with a nonzero mode. 0 when out could not
// grow.
int NormalizeLineEndsOfPart(LineEndRule* rule, const char* part, std::size_t length,
                            TextBuffer* out);

}  // namespace kelvane
