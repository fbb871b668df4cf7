// DetectEncoding on any bytes: an answer from the defined set, reading nothing
// past the two terminating NUL bytes (the copy ends exactly there).
#include <cstdint>
#include <cstdlib>

#include "encoding/detect_encoding.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelvane;
  char* text = fuzz::TerminatedCopy(data, size, 2);
  // The driver's call, and a few other limits and fallbacks.
  const int limits[] = {40, 1, 2, 1000000};
  for (int limit : limits) {
    int id = DetectEncoding(text, 5, limit);
    fuzz::Require(id == 1 || id == 2 || id == 3 || id == 5 || id == 6 || id == 7,
                  "detection gives an EncodingId");
    int again = DetectEncoding(text, 5, limit);
    fuzz::Require(id == again, "detection is deterministic");
    if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE)
      fuzz::Require(id == 1, "FF FE is UTF-16LE");
  }
  std::free(text);
  return 0;
}
