// HtmlToTextInBlock as the tests call it: on a copy of a text, in a block of
// the copy's own.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>

#include "common/heap.h"
#include "html/html_to_text.h"

namespace kelvane::testing {

// The text up to its first NUL converted in its own block; nullopt when the
// conversion fails. The length handed back must be the output's.
inline std::optional<std::string> ConvertInBlock(const std::string& text) {
  const std::size_t length = std::strlen(text.c_str());
  char* own = static_cast<char*>(MemAlloc(length + 1));
  if (own == nullptr) return std::nullopt;
  std::memcpy(own, text.c_str(), length + 1);
  uint32_t out_length = 0;
  char* out = HtmlToTextInBlock(own, static_cast<uint32_t>(length), &out_length, nullptr);
  if (out == nullptr) return std::nullopt;
  std::string converted(out);
  MemFree(out);
  if (converted.size() != out_length) return "(length " + std::to_string(out_length) + ")";
  return converted;
}

}  // namespace kelvane::testing
