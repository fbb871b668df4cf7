// Growable buffers of bytes (TextBuffer) and of 16-bit units (WideBuffer).
//
// A stage keeps one as a local value, starts it with room for 1024 elements,
// appends, terminates it and then either hands the block to its caller
// (HandOver...) or gives it up (Release...). Capacity doubles when the buffer
// is full; a growth that fails loses only the element being added and returns
// 0, and the buffer keeps what it held.
//
// Nothing is lost silently: every failed allocation sets the sticky `failed`
// flag, and Terminate... reports 0 when the flag is set or the terminator finds
// no room. A stage that checks the termination result therefore never hands
// over a text with bytes missing.
//
// A buffer may also be laid over a region of a block that its caller owns
// (owned 0, length 0, capacity the region's bytes): it never grows, so a text
// that outgrows the region fails as a failed growth does.
//
// Sizes are 32-bit; an end or capacity that would not fit fails instead of
// wrapping. A buffer whose first allocation failed keeps capacity 0 and null
// data, and every operation on it fails without writing anything.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace kelvane {

struct TextBuffer {
  char* data;         // heap block; null only when the first allocation failed
  uint32_t capacity;  // bytes allocated in data
  uint32_t length;    // bytes in use, from index 0
  uint32_t owned;     // 1 while releasing the buffer releases data
  uint32_t failed;    // 1 once any allocation of this buffer has failed
};

struct WideBuffer {
  uint16_t* data;     // heap block of capacity units; null as above
  uint32_t capacity;  // units allocated (the block is twice as many bytes)
  uint32_t count;     // units in use, from index 0
  uint32_t owned;
  uint32_t failed;
};

constexpr uint32_t kInitialBufferElements = 1024;

void InitTextBuffer(TextBuffer* buffer);
void InitWideBuffer(WideBuffer* buffer);

// Slow paths of PushByte and PushUnit: grow the full buffer once, then store.
int GrowAndPushByte(TextBuffer* buffer, int byte);
int GrowAndPushUnit(WideBuffer* buffer, int unit);

// Appends the low 8 bits of byte; 1 when stored, 0 when growth failed.
inline int PushByte(TextBuffer* buffer, int byte) {
  if (buffer->length < buffer->capacity) {
    buffer->data[buffer->length++] = static_cast<char>(byte);
    return 1;
  }
  return GrowAndPushByte(buffer, byte);
}

// Appends the low 16 bits of unit; 1 when stored, 0 when growth failed.
inline int PushUnit(WideBuffer* buffer, int unit) {
  if (buffer->count < buffer->capacity) {
    buffer->data[buffer->count++] = static_cast<uint16_t>(unit);
    return 1;
  }
  return GrowAndPushUnit(buffer, unit);
}

// Appends n bytes of s (n < 0: up to the NUL of s) with bounded-copy
// semantics: bytes after a NUL inside the first n are written as zeros.
// 1 when appended or nothing to append; 0 for a null s or a failed growth.
// A successful append always leaves at least one free byte behind.
int AppendBytes(TextBuffer* buffer, const char* s, int32_t n);

// The slow paths of the two below, out of line: grow so that n more elements
// fit.
int GrowToReserveText(TextBuffer* buffer, uint32_t n);
int GrowToReserveWide(WideBuffer* buffer, uint32_t n);

// Makes sure n more bytes fit behind length plus one for the terminator,
// growing by doubling in one resize. 1 when they fit, 0 when growth failed.
// Lets a stage that knows its output size copy runs without per-byte checks.
// Inline, as stages reserve once per run of text and runs are short.
inline int ReserveTextBuffer(TextBuffer* buffer, uint32_t n) {
  const uint64_t end = static_cast<uint64_t>(buffer->length) + n;
  if (end < buffer->capacity && buffer->data != nullptr) return 1;
  return GrowToReserveText(buffer, n);
}

inline int ReserveWideBuffer(WideBuffer* buffer, uint32_t n) {
  const uint64_t end = static_cast<uint64_t>(buffer->count) + n;
  if (end < buffer->capacity && buffer->data != nullptr) return 1;
  return GrowToReserveWide(buffer, n);
}

// Makes room for n more bytes and moves length past them; returns where they
// go, or null when the growth failed or the end would pass 32 bits (the
// buffer's failed flag is then set). The one place that reserves, copies and
// bumps the length for every stage.
inline char* ExtendTextBuffer(TextBuffer* buffer, std::size_t n) {
  if (n >= UINT32_MAX || !ReserveTextBuffer(buffer, static_cast<uint32_t>(n))) {
    buffer->failed = 1;
    return nullptr;
  }
  char* at = buffer->data + buffer->length;
  buffer->length += static_cast<uint32_t>(n);
  return at;
}

// Appends the n bytes at p; a failure is remembered by the buffer.
inline void AppendSpan(TextBuffer* buffer, const void* p, std::size_t n) {
  if (n == 0) return;
  char* at = ExtendTextBuffer(buffer, n);
  if (at != nullptr) std::memcpy(at, p, n);
}

// Writes a zero element at index length/count, growing once when the buffer
// is exactly full. Returns 1 when written and no allocation of the buffer has
// ever failed, 0 otherwise; nothing is written outside the block.
int TerminateTextBuffer(TextBuffer* buffer);
int TerminateWideBuffer(WideBuffer* buffer);

// Clears owned and returns data: the caller of the stage now owns the block.
char* HandOverTextBuffer(TextBuffer* buffer);
uint16_t* HandOverWideBuffer(WideBuffer* buffer);

// The common end of a decoding stage: when ok and the terminator is written
// with nothing lost, hands the block over through result and returns
// success_value; otherwise gives the buffer up and returns -1.
// FinishTextStage also stores, on success, the text's length (without its NUL)
// through length when that is not null.
int FinishTextStage(TextBuffer* buffer, bool ok, char** result, int success_value,
                    uint32_t* length);
int FinishWideStage(WideBuffer* buffer, bool ok, uint16_t** result, int success_value);

// Releases data when owned is set and data is not null; nothing otherwise.
void ReleaseTextBuffer(TextBuffer* buffer);
void ReleaseWideBuffer(WideBuffer* buffer);

// One name for both kinds, for code written once over the element type.
inline int PushElement(TextBuffer* buffer, int value) {
  return PushByte(buffer, value);
}
inline int PushElement(WideBuffer* buffer, int value) {
  return PushUnit(buffer, value);
}

}  // namespace kelvane
