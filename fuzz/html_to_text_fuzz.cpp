// HtmlToText on any NUL-terminated text, with and without the title, and
// HtmlToTextInBlock on a copy of it in a block of its own. The three
// results agree, the title holds only bytes of the input (it is raw text of
// the comment-free copy), and without "&" in the input the output holds no byte that
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
  const std::size_t length = std::strlen(text);
  char* own = static_cast<char*>(MemAlloc(length + 1));
  std::memcpy(own, text, length + 1);
  uint32_t in_block_length = 0;
  char* in_block = HtmlToTextInBlock(own, static_cast<uint32_t>(length), &in_block_length, nullptr);
  fuzz::Require(in_block == nullptr ? without == nullptr
                                    : without != nullptr && std::strcmp(in_block, without) == 0 &&
                                          in_block_length == std::strlen(without),
                "in its own block, the same output");
  MemFree(in_block);
  if (with_title == nullptr) {
    fuzz::Require(title == nullptr, "nothing stored through the title place on failure");
    std::free(text);
    return 0;
  }
  fuzz::Require(std::strcmp(with_title, without) == 0, "same output with and without title");
  fuzz::Require(title != nullptr, "title handed over on success");
  bool in_input[256] = {};
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p; ++p)
    in_input[*p] = true;
  for (const unsigned char* p = reinterpret_cast<const unsigned char*>(title); *p; ++p)
    fuzz::Require(in_input[*p], "the title is raw input");

  if (std::strchr(text, '&') == nullptr) {
    bool seen[256] = {};
    std::memcpy(seen, in_input, sizeof seen);
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
