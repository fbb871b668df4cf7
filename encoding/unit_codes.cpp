#include "encoding/unit_codes.h"

#include <cstring>

#include "encoding/cp932_form.h"

namespace kelvane {
namespace {

struct BuiltCodes : CodeByUnit {
  BuiltCodes() {
    // The table starts zeroed; most units have no form, and their bytes are
    // left as they are, so those pages of the table are never written.
    for (unsigned u = 0; u < 0x10000; ++u) {
      const Cp932Form form = Cp932FormOf(static_cast<uint16_t>(u));
      if (form.length == 0) {
        length[u] = kNoCode;
        continue;
      }
      std::memcpy(bytes[u], form.bytes, sizeof bytes[u]);
      length[u] = static_cast<uint8_t>(form.length);
      if (form.length == 2) std::memcpy(two_byte[u], form.bytes, 2);
    }
  }
};

}  // namespace

const CodeByUnit& Cp932Codes() {
  static const BuiltCodes table;
  return table;
}

}  // namespace kelvane
