// The start that every stage over NUL-terminated bytes shares: the argument
// checks, the measure, the size limit, the one reservation, the stop bytes of
// the bulk copy and the line-end rule.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "common/buffers.h"
#include "common/invariant.h"
#include "encoding/line_end_rule.h"
#include "encoding/plain_run_copy.h"

namespace kelvane {

struct StageStart {
  const unsigned char* p;    // the first byte to convert
  const unsigned char* end;  // the text's NUL, or in a read block the block's
  ByteStops stops;           // NUL, CR and LF under a mode, 80-FF, and one extra byte
  LineEndRule rule;
  bool ok;  // the output has room for as many elements as the text has bytes
};

inline void InitBuffer(TextBuffer* buffer) {
  InitTextBuffer(buffer);
}
inline void InitBuffer(WideBuffer* buffer) {
  InitWideBuffer(buffer);
}
inline int ReserveBuffer(TextBuffer* buffer, uint32_t n) {
  return ReserveTextBuffer(buffer, n);
}
inline int ReserveBuffer(WideBuffer* buffer, uint32_t n) {
  return ReserveWideBuffer(buffer, n);
}

// False, with nothing allocated, for a null result or text, or a text too long
// for a buffer. Otherwise starts out with room for the whole text, which no
// character grows past (only CR LF line ends do, through the buffer's growth),
// and fills start; start->ok is false when that room could not be had, and
// the stage then only finishes, failing.
//
// StartStageOfLength takes the text's length from a caller that knows it (a
// stage's output is never cut short by a NUL inside it); StartStage measures.
// StartStageInBlock takes a read block of size bytes followed by a NUL: the
// text still ends at its first NUL, which the stage stops at as ever, and size
// only bounds the room and the words read ahead, sparing the measure.
inline void FillStart(const char* text, std::size_t length, int mode, unsigned extra_stop,
                      StageStart* start) {
  start->p = reinterpret_cast<const unsigned char*>(text);
  start->end = start->p + length;
  start->stops = MakeByteStops(mode, 0x80, extra_stop);
  start->rule = StartLineEndRule(mode);
  start->ok = true;
}

template <typename Buffer>
bool StartStageUpTo(const void* result, const char* text, std::size_t length, int mode,
                    unsigned extra_stop, Buffer* out, StageStart* start) {
  if (result == nullptr || text == nullptr) return false;
  if (length >= INT32_MAX) return false;  // beyond what a buffer holds
  InitBuffer(out);
  FillStart(text, length, mode, extra_stop, start);
  start->ok = ReserveBuffer(out, static_cast<uint32_t>(length)) != 0;
  return true;
}

template <typename Buffer>
bool StartStageOfLength(const void* result, const char* text, std::size_t length, int mode,
                        unsigned extra_stop, Buffer* out, StageStart* start) {
  CheckInvariant(text == nullptr || std::strlen(text) == length);
  return StartStageUpTo(result, text, length, mode, extra_stop, out, start);
}

template <typename Buffer>
bool StartStage(const void* result, const char* text, int mode, unsigned extra_stop, Buffer* out,
                StageStart* start) {
  if (text == nullptr) return false;
  return StartStageOfLength(result, text, std::strlen(text), mode, extra_stop, out, start);
}

// For a stage that writes into a region of its caller's (a TextBuffer that
// does not own its block, so it never grows): fills start for the text in a
// read block of size bytes as StartStageInBlock does; false for a null text or
// one too long for a buffer.
inline bool StartStageInRegion(const char* text, std::size_t size, int mode, unsigned extra_stop,
                               StageStart* start) {
  if (text == nullptr || size >= INT32_MAX) return false;
  CheckInvariant(text[size] == 0);
  FillStart(text, size, mode, extra_stop, start);
  return true;
}

template <typename Buffer>
bool StartStageInBlock(const void* result, const char* text, std::size_t size, int mode,
                       unsigned extra_stop, Buffer* out, StageStart* start) {
  // A block too long for a buffer may hold a text short enough.
  if (size >= INT32_MAX) return StartStage(result, text, mode, extra_stop, out, start);
  CheckInvariant(text == nullptr || text[size] == 0);
  return StartStageUpTo(result, text, size, mode, extra_stop, out, start);
}

}  // namespace kelvane
