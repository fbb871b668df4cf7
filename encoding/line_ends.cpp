// NormalizeLineEnds: the line-end rule over byte text. Shift-JIS needs no
// character walk here, since its trail bytes (40-7E, 80-FC) are never CR or LF.
//
// The text between line ends is copied in bulk. The next CR and the next LF
// are found with memchr, and each answer is kept until the copy passes it, so
// a text that lacks one of the two is still searched only once for it.
#include "encoding/line_ends.h"

#include <cstring>

#include "common/buffers.h"
#include "encoding/line_end_rule.h"

namespace kelvane {
namespace {

// The first c in [from, end), or end.
const char* NextOrEnd(const char* from, const char* end, char c) {
  const void* found = std::memchr(from, c, static_cast<std::size_t>(end - from));
  return found != nullptr ? static_cast<const char*>(found) : end;
}

// Appends n bytes that hold no NUL; a failure is remembered by the buffer.
void AppendRun(TextBuffer* out, const char* p, std::size_t n) {
  if (n == 0 || !ReserveTextBuffer(out, static_cast<uint32_t>(n))) return;
  std::memcpy(out->data + out->length, p, n);
  out->length += static_cast<uint32_t>(n);
}

void CopyWithRule(TextBuffer* out, const char* p, const char* end, int mode) {
  LineEndRule rule = StartLineEndRule(mode);
  const char* cr = NextOrEnd(p, end, '\r');
  const char* lf = NextOrEnd(p, end, '\n');
  for (;;) {
    const char* stop = cr < lf ? cr : lf;
    AppendRun(out, p, static_cast<std::size_t>(stop - p));
    if (stop == end) return;
    PutLineEnd(&rule, out, static_cast<unsigned char>(*stop));
    p = stop + 1;
    if (stop == cr) {
      cr = NextOrEnd(p, end, '\r');
    } else {
      lf = NextOrEnd(p, end, '\n');
    }
  }
}

}  // namespace

int NormalizeLineEnds(char** result, const char* text, int flags) {
  if (result == nullptr || text == nullptr) return -1;
  const int mode = flags & 0xF00;
  const std::size_t length = std::strlen(text);
  if (length >= INT32_MAX) return -1;  // beyond what a buffer holds
  TextBuffer out;
  InitTextBuffer(&out);
  // The output is no longer than the input unless CR LF is written for LF.
  if (ReserveTextBuffer(&out, static_cast<uint32_t>(length))) {
    if (mode == 0) {
      AppendRun(&out, text, length);
    } else {
      CopyWithRule(&out, text, text + length, mode);
    }
  }
  return FinishTextStage(&out, true, result, flags & 0xF);
}

}  // namespace kelvane
