// The line-end rule that every decoder applies while it copies characters.
//
// A stage with a nonzero mode keeps one after-CR flag, clear at the start.
// CR writes the mode's line end and sets the flag; LF writes one unless the
// flag is set, and clears it either way; nothing else touches the flag. So
// CR LF, a lone CR and a lone LF each become one line end. The mode is compared
// whole: 0x100 writes CR, 0x200 LF, 0x300 CR LF, any other nonzero mode
// nothing. Mode 0 copies CR and LF like any other character and never reaches
// these helpers. Appends are not checked here: a failed growth sets the
// buffer's failed flag, which the stage sees when it terminates the buffer.
#pragma once

#include "common/buffers.h"
#include "encoding/encoding_id.h"

namespace kelvane {

struct LineEndRule {
  int mode;       // nonzero LineEndMode, compared whole
  bool after_cr;  // the last CR or LF seen was a CR
};

inline LineEndRule StartLineEndRule(int mode) {
  return LineEndRule{mode, false};
}

// Applies the rule to c, which is CR or LF; true when a line end is written.
inline bool TakeLineEnd(LineEndRule* rule, unsigned c) {
  if (c == '\n') {
    bool write = !rule->after_cr;
    rule->after_cr = false;
    return write;
  }
  rule->after_cr = true;
  return true;
}

// Writes the line end that c (CR or LF) gives under the rule, if any, to a
// TextBuffer or a WideBuffer.
template <typename Buffer>
inline void PutLineEnd(LineEndRule* rule, Buffer* out, unsigned c) {
  if (!TakeLineEnd(rule, c)) return;
  if (rule->mode == kLineEndCr || rule->mode == kLineEndCrLf) PushElement(out, '\r');
  if (rule->mode == kLineEndLf || rule->mode == kLineEndCrLf) PushElement(out, '\n');
}

// A byte below 80 that a bulk copy stopped at, other than the NUL: a line end
// for the rule when it is one of the stops, otherwise the byte itself.
template <typename Buffer>
inline void PutAsciiByte(LineEndRule* rule, bool is_stop, Buffer* out, unsigned c) {
  if (is_stop) {
    PutLineEnd(rule, out, c);
  } else {
    PushElement(out, static_cast<int>(c));
  }
}

}  // namespace kelvane
