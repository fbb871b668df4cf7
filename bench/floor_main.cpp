// The floor the program is measured against: read each file whole into a
// fresh block and write it back as name.txt, through the same platform calls
// the program makes, converting nothing.
#include <cstdio>
#include <cstring>
#include <string>

#include "app/platform.h"
#include "bench/text_path.h"
#include "common/heap.h"

int main(int argc, char** argv) {
  using namespace kelvane;
  const Platform* platform = DefaultPlatform();
  int status = 0;
  for (int i = 1; i < argc; ++i) {
    const std::string out = TextPathFor(argv[i]);
    char* block = nullptr;
    uint32_t size = 0;
    if (platform->read_whole_file(argv[i], &block, &size) != ReadResult::kOk) {
      std::fprintf(stderr, "floor: cannot read %s\n", argv[i]);
      status = 1;
      continue;
    }
    if (!platform->write_whole_file(out.c_str(), block, size)) status = 1;
    MemFree(block);
  }
  return status;
}
