// Character references in text runs: "&name;" and "&#N;"/"&#xN;", replaced by
// their Shift-JIS bytes over the scan's output.
#include "html/references.h"

#include "html/html_to_text.h"

namespace kelvane {
namespace {

struct FixedReplacement {
  uint32_t value;
  const char* bytes;
};

// Characters that code page 932 lacks or that read better in plain text.
// clang-format off
constexpr FixedReplacement kFixedReplacements[] = {
    {160, " "},    {169, "(C)"},  {174, "(R)"},         {188, "1/4"},
    {189, "1/2"},  {190, "3/4"},  {710, "^"},           {732, "~"},
    {8194, " "},   {8195, "\x81\x40"},  {8201, " "},   {8211, "-"},
    {8212, "\x81\x5C"},  {8226, "\xA5"},  {8260, "/"},  {8482, "(TM)"},
    {8721, "\x87\x94"},  {8722, "-"},
};
// clang-format on

// An accepted value, for the reference at amp: its fixed replacement, the
// byte itself below 128, else its code page 932 form or "?".
void EmitReplacement(Scan* scan, uint32_t value, const Byte* amp) {
  for (const FixedReplacement& r : kFixedReplacements) {
    if (r.value == value) {
      PutString(scan, r.bytes, amp);
      return;
    }
  }
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
