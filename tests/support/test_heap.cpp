#include "tests/support/test_heap.h"

#include <cstdlib>

#include "common/heap.h"

namespace kelvane {
namespace {

long g_live = 0;
long g_allocations = 0;
long g_fail_countdown = 0;  // > 0: that many allocations from now, the last one fails
bool g_fail_all = false;
bool g_failed = false;
const void* g_cut_view = nullptr;

// True when this allocation is the one chosen to fail.
bool ShouldFail() {
  ++g_allocations;
  if (g_fail_all) {
    g_failed = true;
    return true;
  }
  if (g_fail_countdown > 0 && --g_fail_countdown == 0) {
    g_failed = true;
    return true;
  }
  return false;
}

}  // namespace

void* MemAlloc(std::size_t n) {
  if (ShouldFail()) return nullptr;
  void* p = std::malloc(n == 0 ? 1 : n);
  if (p != nullptr) ++g_live;
  return p;
}

void* MemResize(void* p, std::size_t n) {
  if (ShouldFail()) return nullptr;
  void* q = std::realloc(p, n == 0 ? 1 : n);
  if (q != nullptr && p == nullptr) ++g_live;
  return q;
}

void* MemMapFile(int, std::size_t) {
  return nullptr;
}

bool MemViewWasCut(const void* block) {
  return block != nullptr && block == g_cut_view;
}

void MemFree(void* p) {
  if (p == nullptr) return;
  --g_live;
  std::free(p);
}

namespace testing {

void TreatAsCutView(const void* block) {
  g_cut_view = block;
}

long LiveBlocks() {
  return g_live;
}
long AllocationCount() {
  return g_allocations;
}
void FailNthAllocation(long n) {
  g_fail_countdown = n;
  g_fail_all = false;
  g_failed = false;
}
void FailAllAllocations() {
  g_fail_all = true;
  g_failed = false;
}
void ResetHeapFaults() {
  g_fail_countdown = 0;
  g_fail_all = false;
}
bool InjectedFailureHappened() {
  return g_failed;
}

}  // namespace testing
}  // namespace kelvane
