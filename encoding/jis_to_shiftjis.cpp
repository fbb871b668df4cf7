// The table of JIS X 0208 pairs that code page 932 holds, taken from the
// project's cp932 table so the two can never disagree.
#include "encoding/jis_to_shiftjis.h"

#include "encoding/cp932_table.h"

namespace kelvane {
namespace {

struct Cp932JisTable {
  JisCells cells{};
  Cp932JisTable() {
    for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1) {
      for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
        uint8_t pair[2];
        JisToShiftJis(j1, j2, pair);
        if (Cp932ToUnicode(static_cast<uint16_t>(pair[0] << 8 | pair[1])) == 0) continue;
        const unsigned cell = j2 - 0x21;
        cells.bits[j1 - 0x21][cell >> 6] |= uint64_t{1} << (cell & 63);
      }
    }
  }
};

}  // namespace

const JisCells& Cp932JisCells() {
  static const Cp932JisTable table;
  return table.cells;
}

}  // namespace kelvane
