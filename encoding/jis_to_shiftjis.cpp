// The Shift-JIS bytes of the JIS X 0208 pairs that code page 932 holds, taken
// from the project's cp932 table so the two can never disagree.
#include "encoding/jis_to_shiftjis.h"

#include "encoding/cp932_table.h"

namespace kelvane {
namespace {

struct Cp932JisTable {
  JisCodes codes{};
  Cp932JisTable() {
    for (unsigned j1 = 0x21; j1 <= 0x7E; ++j1) {
      for (unsigned j2 = 0x21; j2 <= 0x7E; ++j2) {
        uint8_t pair[2];
        JisToShiftJis(j1, j2, pair);
        if (Cp932ToUnicode(static_cast<uint16_t>(pair[0] << 8 | pair[1])) == 0) continue;
        uint8_t* slot = codes.pair[(j1 - 0x21) * 94 + (j2 - 0x21)];
        slot[0] = pair[0];
        slot[1] = pair[1];
      }
    }
  }
};

}  // namespace

const JisCodes& Cp932JisCodes() {
  static const Cp932JisTable table;
  return table.codes;
}

}  // namespace kelvane
