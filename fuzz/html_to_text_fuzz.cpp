// HtmlToText on any NUL-terminated text, with and without the title. The two
// results agree, a repeated call gives the same bytes, the title is a piece of
// the input, and without "&" in the input the output holds no byte that
// neither the input nor the converter's own line breaks, tabs, spaces and
// brackets could have produced.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "common/heap.h"
#include "fuzz/fuzz_support.h"
#include "html/html_to_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace kelvane;
  char* text = fuzz::TerminatedCopy(data, size, 1);
  char* title = nullptr;
  char* with_title = HtmlToText(text, &title);
  char* without = HtmlToText(text, nullptr);
  fuzz::Require((with_title == nullptr) == (without == nullptr), "title request changes no result");
  if (with_title == nullptr) {
    fuzz::Require(title == nullptr, "nothing stored through the title place on failure");
    std::free(text);
    return 0;
  }
  fuzz::Require(std::strcmp(with_title, without) == 0, "same output with and without title");
  fuzz::Require(title != nullptr, "title handed over on success");
  fuzz::Require(title[0] == 0 || std::strstr(text, title) != nullptr, "title is raw input");

  if (std::strchr(text, '&') == nullptr) {
    bool seen[256] = {};
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
      seen[*p] = true;
    for (unsigned char c : {'\n', '\t', ' ', '[', ']'}) seen[c] = true;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(without); *p; ++p)
      fuzz::Require(seen[*p], "every output byte comes from the input or the converter");
  }
  MemFree(with_title);
  MemFree(without);
  MemFree(title);
  std::free(text);
  return 0;
}
