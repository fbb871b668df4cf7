#include "app/output_parts.h"

#include "common/buffers.h"

namespace kelvane {

int NextOfWholeText(void* source, const char** data, uint32_t* size) {
  WholeText* text = static_cast<WholeText*>(source);
  if (text->handed) return 0;
  text->handed = true;
  *data = text->data;
  *size = text->size;
  return 1;
}

bool PutEveryPart(OutputParts parts, bool (*put)(void* sink, const char* data, uint32_t size),
                  void* sink) {
  for (;;) {
    const char* data = nullptr;
    uint32_t size = 0;
    const int next = parts.next(parts.source, &data, &size);
    if (next != 1) return next == 0;
    if (!put(sink, data, size)) return false;
  }
}

bool GatherParts(OutputParts parts, const char** data, uint32_t* size, char** owned) {
  *owned = nullptr;
  // A text already whole needs no copy.
  if (parts.next == NextOfWholeText) return NextOfWholeText(parts.source, data, size) == 1;
  TextBuffer joined;
  InitTextBuffer(&joined);
  const char* part = nullptr;
  uint32_t part_size = 0;
  int next;
  while ((next = parts.next(parts.source, &part, &part_size)) == 1) {
    AppendSpan(&joined, part, part_size);
  }
  if (next != 0 || !TerminateTextBuffer(&joined)) {
    ReleaseTextBuffer(&joined);
    return false;
  }
  *data = joined.data;
  *size = joined.length;
  *owned = HandOverTextBuffer(&joined);
  return true;
}

}  // namespace kelvane
