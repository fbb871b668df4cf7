// JisToShiftJis: the arithmetic that maps a JIS X 0208 row/cell byte pair
// (21-7E each) to its Shift-JIS pair. Two JIS rows share one Shift-JIS lead
// byte: the odd row takes trail bytes 40-9E (skipping 7F), the even row 9F-FC.
#include "encoding/jis_to_shiftjis.h"

namespace kelvane {

void JisToShiftJis(unsigned j1, unsigned j2, uint8_t out[2]) {
  j1 &= 0xFF;
  j2 &= 0xFF;
  unsigned s1 = ((j1 + 1) >> 1) + (j1 < 0x5F ? 0x70 : 0xB0);
  unsigned s2;
  if (j1 & 1) {
    s2 = j2 + (j2 <= 0x5F ? 0x1F : 0x20);
  } else {
    s2 = j2 + 0x7E;
  }
  out[0] = static_cast<uint8_t>(s1);
  out[1] = static_cast<uint8_t>(s2);
}

}  // namespace kelvane
