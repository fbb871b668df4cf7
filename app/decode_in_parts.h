// Decoding a large read block in two parts side by side, for the driver.
#pragma once

#include <cstdint>

namespace kelvane {

// The driver decodes a text in parts from this size up, where the platform
// runs jobs side by side; below it a thread costs more than it saves.
constexpr uint32_t kDecodeInPartsFrom = uint32_t{2} << 20;

// Runs job(first) and job(second) and returns once both have finished, as
// Platform::run_both does.
using RunBoth = void (*)(void (*job)(void*), void* first, void* second);

// Decodes block (size bytes followed by three NULs, in a decodable encoding
// other than Shift-JIS) as DecodeToShiftJis does, cut in two where the text
// allows (see encoding/decode_cut.h), the parts side by side through run_both.
// 1 with the text in a new block in *result, its length in *length and the
// decoder's answer in *status; the block then holds a terminator at the cut.
// 0, with nothing allocated and the block as it was, when the text has no cut
// or a part fails: a part may fail for want of room where the whole would
// not, so decoding the whole then has the last word.
int DecodeInParts(RunBoth run_both, char** result, char* block, uint32_t size, int encoding,
                  uint32_t* length, int* status);

}  // namespace kelvane
