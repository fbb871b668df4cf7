// The product's heap: the C library's allocator, nothing more.
#include "common/heap.h"

#include <cstdlib>

namespace kelvane {

void* MemAlloc(std::size_t n) {
  return std::malloc(n == 0 ? 1 : n);
}

void* MemResize(void* p, std::size_t n) {
  return std::realloc(p, n == 0 ? 1 : n);
}

void* MemMapFile(int, std::size_t) {
  return nullptr;
}

bool MemViewWasCut(const void*) {
  return false;
}

void MemFree(void* p) {
  std::free(p);
}

}  // namespace kelvane
