// The floor of the conversion's shape: the blocks a conversion allocates, in
// the order it allocates and releases them, on the program's heap and through
// its platform calls, with every stage replaced by one copy of its input into
// its output. Converting cannot cost less than this, so it shows what part of
// the program's time the shape takes and what part the conversion itself.
//   kelvane_copy_floor RESULT_BYTES FILE
// RESULT_BYTES is the size of the file the program writes for FILE; the
// markup stage's output and the CRLF stage's output are that size, the
// decoder's output and the copy without comments that of the input, which
// understates the decoders that shrink their text only slightly.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "app/platform.h"
#include "bench/text_path.h"
#include "common/heap.h"

namespace {

// A new block holding the first n bytes of from and a NUL, as a stage hands
// over; null when the heap has no room.
char* CopyStage(const char* from, std::size_t n) {
  char* to = static_cast<char*>(kelvane::MemAlloc(n + 1));
  if (to == nullptr) return nullptr;
  std::memcpy(to, from, n);
  to[n] = 0;
  return to;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace kelvane;
  if (argc != 3) {
    std::fprintf(stderr, "usage: kelvane_copy_floor RESULT_BYTES FILE\n");
    return 2;
  }
  const std::size_t result_bytes = std::strtoul(argv[1], nullptr, 10);
  const std::string out = TextPathFor(argv[2]);
  const Platform* platform = DefaultPlatform();
  char* block = nullptr;
  uint32_t size = 0;
  if (platform->read_whole_file(argv[2], &block, &size) != ReadResult::kOk) {
    std::fprintf(stderr, "copy floor: cannot read %s\n", argv[2]);
    return 1;
  }
  const std::size_t m = result_bytes < size ? result_bytes : size;
  // The decoder: a new block from the file's, which is released when it returns.
  char* decoded = CopyStage(block, size);
  MemFree(block);
  // HtmlToText: the copy without comments beside its input, then the text
  // written over that copy from its start; the driver releases the input when
  // it returns.
  char* text = decoded != nullptr ? CopyStage(decoded, size) : nullptr;
  if (text != nullptr) {
    std::memmove(text, text + (size - m), m);
    text[m] = 0;
  }
  MemFree(decoded);
  // The CRLF pass, then the write.
  char* final_text = text != nullptr ? CopyStage(text, m) : nullptr;
  MemFree(text);
  bool ok = final_text != nullptr &&
            platform->write_whole_file(out.c_str(), final_text, static_cast<uint32_t>(m));
  MemFree(final_text);
  return ok ? 0 : 1;
}
