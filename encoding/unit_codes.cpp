#include "encoding/unit_codes.h"

#include <cstring>

#include "encoding/cp932_form.h"

namespace kelvane {
namespace {

struct BuiltCodes : CodeByUnit {
  BuiltCodes() {
    for (unsigned u = 0; u < 0x10000; ++u) {
      const Cp932Form form = Cp932FormOf(static_cast<uint16_t>(u));
      std::memcpy(bytes[u], form.bytes, sizeof bytes[u]);
      length[u] = form.length == 0 ? kNoCode : static_cast<uint8_t>(form.length);
    }
  }
};

}  // namespace

const CodeByUnit& Cp932Codes() {
  static const BuiltCodes table;
  return table;
}

}  // namespace kelvane
