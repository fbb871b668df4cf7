// The heap the tests link in place of the product's: it counts live blocks, so
// a test can see a leak, and fails a chosen allocation, so a test can walk
// every failure path.
#pragma once

namespace kelvane::testing {

// Blocks handed out by MemAlloc/MemResize and not yet released.
long LiveBlocks();
// Allocations (MemAlloc, and MemResize of a block or null) since the start.
long AllocationCount();
// Makes the n-th allocation from now fail (1 = the next one); 0 disarms.
void FailNthAllocation(long n);
// Makes every allocation from now on fail until ResetHeapFaults.
void FailAllAllocations();
void ResetHeapFaults();
// Whether the armed failure has happened since it was armed.
bool InjectedFailureHappened();

// Makes MemViewWasCut answer true for block (null: for none), as for a view
// of a file that shrank while it was read.
void TreatAsCutView(const void* block);

// Disarms any fault when it goes out of scope.
struct ScopedHeapFaults {
  ScopedHeapFaults() = default;
  ScopedHeapFaults(const ScopedHeapFaults&) = delete;
  ScopedHeapFaults& operator=(const ScopedHeapFaults&) = delete;
  ~ScopedHeapFaults() { ResetHeapFaults(); }
};

}  // namespace kelvane::testing
