// Growth, termination and ownership of the two buffer kinds. Each operation
// is written once, over the buffer kind; the named functions of buffers.h
// are its two instances.
#include "common/buffers.h"

#include <cstring>
#include <type_traits>

#include "common/heap.h"

namespace kelvane {
namespace {

// Grows *data to the smallest of 2, 4, 8 ... times *capacity that exceeds end,
// in one resize. 0 (buffer unchanged, failed set) when the buffer never got
// its first block or does not own it, when the size does not fit in 32 bits,
// or when the resize fails.
int GrowBlock(void** data, uint32_t* capacity, uint32_t* failed, uint32_t owned, uint64_t end,
              std::size_t element_size) {
  if (*capacity == 0 || *data == nullptr || !owned) {
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

// The fill count of either kind: bytes of a TextBuffer, units of a WideBuffer.
uint32_t& Fill(TextBuffer* b) {
  return b->length;
}
uint32_t& Fill(WideBuffer* b) {
  return b->count;
}

// Grows the block of either kind so that index end fits.
template <typename Buffer>
int Grow(Buffer* b, uint64_t end) {
  void* data = b->data;
  int ok = GrowBlock(&data, &b->capacity, &b->failed, b->owned, end, sizeof *b->data);
  b->data = static_cast<decltype(b->data)>(data);
  return ok;
}

template <typename Buffer>
void Init(Buffer* b) {
  b->data = static_cast<decltype(b->data)>(MemAlloc(sizeof *b->data * kInitialBufferElements));
  b->capacity = b->data != nullptr ? kInitialBufferElements : 0;
  Fill(b) = 0;
  b->owned = 1;
  b->failed = b->data != nullptr ? 0 : 1;
}

template <typename Buffer>
int GrowAndPush(Buffer* b, int value) {
  if (Fill(b) >= b->capacity && !Grow(b, Fill(b))) return 0;
  b->data[Fill(b)++] = static_cast<std::remove_reference_t<decltype(*b->data)>>(value);
  return 1;
}

template <typename Buffer>
int Terminate(Buffer* b) {
  if (Fill(b) >= b->capacity && !Grow(b, Fill(b))) return 0;
  b->data[Fill(b)] = 0;
  return b->failed == 0;
}

template <typename Buffer>
void Release(Buffer* b) {
  if (b->owned && b->data != nullptr) MemFree(b->data);
  b->owned = 0;
}

template <typename Buffer, typename Element>
int Finish(Buffer* b, bool ok, Element** result, int success_value) {
  if (!ok || !Terminate(b)) {
    Release(b);
    return -1;
  }
  b->owned = 0;
  *result = b->data;
  return success_value;
}

}  // namespace

void InitTextBuffer(TextBuffer* buffer) {
  Init(buffer);
}
void InitWideBuffer(WideBuffer* buffer) {
  Init(buffer);
}

int GrowAndPushByte(TextBuffer* buffer, int byte) {
  return GrowAndPush(buffer, byte);
}
int GrowAndPushUnit(WideBuffer* buffer, int unit) {
  return GrowAndPush(buffer, unit);
}

int AppendBytes(TextBuffer* buffer, const char* s, int32_t n) {
  if (s == nullptr) return 0;
  std::size_t count = n < 0 ? std::strlen(s) : static_cast<std::size_t>(n);
  if (count == 0) return 1;
  char* at = ExtendTextBuffer(buffer, count);
  if (at == nullptr) return 0;
  // Bounded copy: stop at a NUL of s and zero-fill the rest of the n bytes.
  const void* nul = std::memchr(s, 0, count);
  std::size_t copied =
      nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - s) : count;
  std::memcpy(at, s, copied);
  std::memset(at + copied, 0, count - copied);
  return 1;
}

int GrowToReserveText(TextBuffer* buffer, uint32_t n) {
  return Grow(buffer, static_cast<uint64_t>(buffer->length) + n);
}
int GrowToReserveWide(WideBuffer* buffer, uint32_t n) {
  return Grow(buffer, static_cast<uint64_t>(buffer->count) + n);
}

int TerminateTextBuffer(TextBuffer* buffer) {
  return Terminate(buffer);
}
int TerminateWideBuffer(WideBuffer* buffer) {
  return Terminate(buffer);
}

char* HandOverTextBuffer(TextBuffer* buffer) {
  buffer->owned = 0;
  return buffer->data;
}
uint16_t* HandOverWideBuffer(WideBuffer* buffer) {
  buffer->owned = 0;
  return buffer->data;
}

int FinishTextStage(TextBuffer* buffer, bool ok, char** result, int success_value,
                    uint32_t* length) {
  const uint32_t filled = buffer->length;
  const int finished = Finish(buffer, ok, result, success_value);
  if (finished != -1 && length != nullptr) *length = filled;
  return finished;
}
int FinishWideStage(WideBuffer* buffer, bool ok, uint16_t** result, int success_value) {
  return Finish(buffer, ok, result, success_value);
}

void ReleaseTextBuffer(TextBuffer* buffer) {
  Release(buffer);
}
void ReleaseWideBuffer(WideBuffer* buffer) {
  Release(buffer);
}

}  // namespace kelvane
