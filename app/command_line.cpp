// The command-line split works byte by byte: the blank (0x20) and the double
// quote (0x22) never occur inside a multi-byte character of Shift-JIS or of
// UTF-8 (every byte of which is 0x80 or above), so names in either split
// safely without decoding them, and a UTF-8 line gives the words that its
// UTF-16 form would.

#include "app/command_line.h"

#include <cstring>

namespace kelvane {

std::size_t SplitCommandLine(const char* line, CommandWordFn on_word, void* context) {
  std::size_t count = 0;
  if (line == nullptr) return 0;
  const char* p = line;
  while (*p != '\0') {
    if (*p == ' ') {
      ++p;
    } else if (*p == '"') {
      const char* close = std::strchr(p + 1, '"');
      if (close == nullptr) break;  // unterminated: the rest is ignored
      on_word(context, p + 1, static_cast<std::size_t>(close - (p + 1)));
      ++count;
      p = close + 1;
    } else {
      const char* end = p;
      while (*end != '\0' && *end != ' ') ++end;
      on_word(context, p, static_cast<std::size_t>(end - p));
      ++count;
      p = end;
    }
  }
  return count;
}

}  // namespace kelvane
