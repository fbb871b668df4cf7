// NormalizeLineEnds: the line-end rule over byte text. Shift-JIS needs no
// character walk here, since its trail bytes (40-7E, 80-FC) are never CR or LF.
// Runs between line ends are copied in bulk.
#include "encoding/line_ends.h"

#include <cstring>

#include "common/buffers.h"
#include "encoding/line_end_rule.h"

namespace kelvane {

int NormalizeLineEnds(char** result, const char* text, int flags) {
  if (result == nullptr || text == nullptr) return -1;
  const int mode = flags & 0xF00;
  const std::size_t length = std::strlen(text);
  if (length >= INT32_MAX) return -1;  // beyond what a buffer holds
  TextBuffer out;
  InitTextBuffer(&out);
  // The output is no longer than the input unless CR LF is written for LF.
  if (ReserveTextBuffer(&out, static_cast<uint32_t>(length))) {
    const ByteStops stops = MakeByteStops(mode, 0x100, 0);
    LineEndRule rule = StartLineEndRule(mode);
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    for (;;) {
      std::size_t run = PlainRunLength(stops, p);
      if (run != 0) AppendBytes(&out, reinterpret_cast<const char*>(p), static_cast<int32_t>(run));
      p += run;
      if (*p == 0) break;
      PutLineEnd(&rule, &out, *p++);
    }
  }
  if (!TerminateTextBuffer(&out)) {
    ReleaseTextBuffer(&out);
    return -1;
  }
  *result = HandOverTextBuffer(&out);
  return flags & 0xF;
}

}  // namespace kelvane
