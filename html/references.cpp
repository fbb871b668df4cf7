// Character references in text runs: "&name;" and "&#N;"/"&#xN;", replaced by
// their Shift-JIS bytes over the scan's output.
#include "html/references.h"

#include "encoding/cp932_form.h"

namespace kelvane {
namespace {

// An accepted value, for the reference at amp: the byte itself below 128,
// else its code page 932 form, which a near form ("(C)" for 169) stands in
// for where cp932 lacks the character, or "?".
void EmitReplacement(Scan* scan, uint32_t value, const Byte* amp) {
  if (value < 128) {
    Put(scan, static_cast<Byte>(value), amp);
  } else {
    PutString(scan, CodePointToShiftJis(value), amp);
  }
}

// The value of the reference whose ";" is at semicolon; 0 when it has none.
uint32_t ReferenceValue(Scan* scan, const Byte* amp, const Byte* semicolon) {
  if (amp[1] != '#') {
    std::size_t n = static_cast<std::size_t>(semicolon - amp - 1);
    if (n > kLongestProbe) return 0;
    return static_cast<uint32_t>(LookupEntityMemo(&scan->entities, amp + 1, n));
  }
  uint32_t value = (amp[2] == 'x' || amp[2] == 'X')
                       ? ReadNumber(&scan->hexadecimal, amp + 3, semicolon)
                       : ReadNumber(&scan->decimal, amp + 2, semicolon);
  UpdateGuard(scan);
  return value;
}

}  // namespace

// Handles the "&" at amp and returns where the run goes on: after the ";" of
// an accepted reference (which may lie past the run), else after the "&".
const Byte* ConvertReference(Scan* scan, const Byte* amp) {
  if (scan->next_semicolon == nullptr || scan->next_semicolon <= amp) {
    const Byte* found = FindByte(amp + 1, scan->end, ';');
    scan->next_semicolon = found != nullptr ? found : scan->end;
  }
  const Byte* semicolon = scan->next_semicolon;
  uint32_t value = semicolon < scan->end ? ReferenceValue(scan, amp, semicolon) : 0;
  if (value == 0 || value > 0xFFFF) {
    Put(scan, '&', amp);
    return amp + 1;
  }
  EmitReplacement(scan, value, amp);
  return semicolon + 1;
}

}  // namespace kelvane
