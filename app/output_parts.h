// An output's text as a sequence of parts (see NextPart in platform.h): what
// the platforms' writers share, whether the text comes whole or as it is made.
#pragma once

#include <cstdint>

#include "app/platform.h"

namespace kelvane {

struct OutputParts {
  NextPart next;
  void* source;
};

// A text already whole, as a source of one part.
struct WholeText {
  const char* data;
  uint32_t size;
  bool handed;  // the part has been handed over
};

int NextOfWholeText(void* source, const char** data, uint32_t* size);

inline OutputParts PartsOf(WholeText* text) {
  return OutputParts{NextOfWholeText, text};
}

// Hands each part in turn to put, which returns false to stop. True when
// every part was put and the source ended without giving up.
bool PutEveryPart(OutputParts parts, bool (*put)(void* sink, const char* data, uint32_t size),
                  void* sink);

// The whole text, for a writer that needs its size before the first byte: a
// WholeText's block as it is (*owned null), other parts joined in a new
// block from MemAlloc (*owned, the caller's to release). False, with nothing allocated,
// when the source gives up, memory runs out, or the text outgrows 32 bits.
bool GatherParts(OutputParts parts, const char** data, uint32_t* size, char** owned);

}  // namespace kelvane
