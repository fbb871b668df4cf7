#include "encoding/unit_codes.h"

#include "encoding/cp932_table.h"

namespace kelvane {
namespace {

struct BuiltCodes : CodeByUnit {
  BuiltCodes() {
    for (unsigned u = 0; u < 0x10000; ++u) {
      const unsigned code = UnicodeToCp932(static_cast<uint16_t>(u));
      const bool wide = code > 0xFF;
      bytes[u][0] = static_cast<char>(wide ? code >> 8 : code);
      bytes[u][1] = static_cast<char>(wide ? code & 0xFF : 0);
      length[u] = code == 0 ? kNoCode : wide ? 2 : 1;
    }
  }
};

}  // namespace

const CodeByUnit& Cp932Codes() {
  static const BuiltCodes table;
  return table;
}

}  // namespace kelvane
