#pragma once

#include <cstdint>

namespace kelvane {

// Maps a JIS X 0208 row/cell byte pair to its Shift-JIS byte pair by
// arithmetic; out[0] is the lead byte, out[1] the trail byte.
void JisToShiftJis(unsigned j1, unsigned j2, uint8_t out[2]);

}  // namespace kelvane
