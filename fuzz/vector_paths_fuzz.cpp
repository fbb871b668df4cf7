// The vector and the scalar build of every byte stage on the same input, in
// every line-end mode: same result, same bytes.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fuzz/fuzz_support.h"
#include "tests/support/paths_agree.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelvane;
  char* text = fuzz::TerminatedCopy(data, size, 3);
  const std::string diff = paths::FirstDisagreement(text, size);
  if (!diff.empty()) std::fprintf(stderr, "%s\n", diff.c_str());
  fuzz::Require(diff.empty(), "the vector and scalar paths agree");
  std::free(text);
  return 0;
}
