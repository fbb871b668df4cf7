// Growth, termination and ownership of the two buffer kinds. Both share one
// growth rule, written once over the element size.
#include "common/buffers.h"

#include <cstring>

#include "common/heap.h"

namespace kelvane {
namespace {

// Grows *data to the smallest of 2, 4, 8 ... times *capacity that exceeds end,
// in one resize. 0 (buffer unchanged, failed set) when the buffer never got
// its first block, when the size does not fit in 32 bits, or when the resize
// fails.
int GrowBlock(void** data, uint32_t* capacity, uint32_t* failed, uint64_t end,
              std::size_t element_size) {
  if (*capacity == 0 || *data == nullptr) {
    *failed = 1;
    return 0;
  }
  uint64_t c = 2 * static_cast<uint64_t>(*capacity);
  while (end >= c) c *= 2;
  if (c > UINT32_MAX) {
    *failed = 1;
    return 0;
  }
  void* grown = MemResize(*data, static_cast<std::size_t>(c) * element_size);
  if (grown == nullptr) {
    *failed = 1;
    return 0;
  }
  *data = grown;
  *capacity = static_cast<uint32_t>(c);
  return 1;
}

int GrowText(TextBuffer* b, uint64_t end) {
  void* data = b->data;
  int ok = GrowBlock(&data, &b->capacity, &b->failed, end, 1);
  b->data = static_cast<char*>(data);
  return ok;
}

int GrowWide(WideBuffer* b, uint64_t end) {
  void* data = b->data;
  int ok = GrowBlock(&data, &b->capacity, &b->failed, end, 2);
  b->data = static_cast<uint16_t*>(data);
  return ok;
}

}  // namespace

void InitTextBuffer(TextBuffer* buffer) {
  buffer->data = static_cast<char*>(MemAlloc(kInitialBufferElements));
  buffer->capacity = buffer->data != nullptr ? kInitialBufferElements : 0;
  buffer->length = 0;
  buffer->owned = 1;
  buffer->failed = buffer->data != nullptr ? 0 : 1;
}

void InitWideBuffer(WideBuffer* buffer) {
  buffer->data = static_cast<uint16_t*>(MemAlloc(2 * kInitialBufferElements));
  buffer->capacity = buffer->data != nullptr ? kInitialBufferElements : 0;
  buffer->count = 0;
  buffer->owned = 1;
  buffer->failed = buffer->data != nullptr ? 0 : 1;
}

int GrowAndPushByte(TextBuffer* buffer, int byte) {
  if (buffer->length >= buffer->capacity && !GrowText(buffer, buffer->length)) return 0;
  buffer->data[buffer->length++] = static_cast<char>(byte);
  return 1;
}

int GrowAndPushUnit(WideBuffer* buffer, int unit) {
  if (buffer->count >= buffer->capacity && !GrowWide(buffer, buffer->count)) return 0;
  buffer->data[buffer->count++] = static_cast<uint16_t>(unit);
  return 1;
}

int AppendBytes(TextBuffer* buffer, const char* s, int32_t n) {
  if (s == nullptr) return 0;
  std::size_t count = n < 0 ? std::strlen(s) : static_cast<std::size_t>(n);
  if (count == 0) return 1;
  uint64_t end = static_cast<uint64_t>(buffer->length) + count;
  if (end >= buffer->capacity && !GrowText(buffer, end)) return 0;
  // Bounded copy: stop at a NUL of s and zero-fill the rest of the n bytes.
  const void* nul = std::memchr(s, 0, count);
  std::size_t copied =
      nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - s) : count;
  std::memcpy(buffer->data + buffer->length, s, copied);
  std::memset(buffer->data + buffer->length + copied, 0, count - copied);
  buffer->length = static_cast<uint32_t>(end);
  return 1;
}

int GrowToReserveText(TextBuffer* buffer, uint32_t n) {
  return GrowText(buffer, static_cast<uint64_t>(buffer->length) + n);
}

int GrowToReserveWide(WideBuffer* buffer, uint32_t n) {
  return GrowWide(buffer, static_cast<uint64_t>(buffer->count) + n);
}

int TerminateTextBuffer(TextBuffer* buffer) {
  if (buffer->length >= buffer->capacity && !GrowText(buffer, buffer->length)) return 0;
  buffer->data[buffer->length] = 0;
  return buffer->failed == 0;
}

int TerminateWideBuffer(WideBuffer* buffer) {
  if (buffer->count >= buffer->capacity && !GrowWide(buffer, buffer->count)) return 0;
  buffer->data[buffer->count] = 0;
  return buffer->failed == 0;
}

char* HandOverTextBuffer(TextBuffer* buffer) {
  buffer->owned = 0;
  return buffer->data;
}

uint16_t* HandOverWideBuffer(WideBuffer* buffer) {
  buffer->owned = 0;
  return buffer->data;
}

int FinishTextStage(TextBuffer* buffer, bool ok, char** result, int success_value) {
  if (!ok || !TerminateTextBuffer(buffer)) {
    ReleaseTextBuffer(buffer);
    return -1;
  }
  *result = HandOverTextBuffer(buffer);
  return success_value;
}

int FinishWideStage(WideBuffer* buffer, bool ok, uint16_t** result, int success_value) {
  if (!ok || !TerminateWideBuffer(buffer)) {
    ReleaseWideBuffer(buffer);
    return -1;
  }
  *result = HandOverWideBuffer(buffer);
  return success_value;
}

void ReleaseTextBuffer(TextBuffer* buffer) {
  if (buffer->owned && buffer->data != nullptr) MemFree(buffer->data);
  buffer->owned = 0;
}

void ReleaseWideBuffer(WideBuffer* buffer) {
  if (buffer->owned && buffer->data != nullptr) MemFree(buffer->data);
  buffer->owned = 0;
}

}  // namespace kelvane
