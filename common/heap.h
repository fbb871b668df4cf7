// The one seam through which the core and the driver reach the general heap.
//
// Every block a stage hands to its caller comes from MemAlloc or MemResize and
// is released with MemFree. kelvane.exe, the fuzz targets and the benchmarks
// link heap.cpp (plain malloc); the POSIX program links app/heap_posix.cpp
// (large blocks as reusable mappings); the tests link a heap that counts
// blocks and fails chosen allocations on purpose.
#pragma once

#include <cstddef>

namespace kelvane {

// A fresh block of n bytes, or null.
void* MemAlloc(std::size_t n);
// Resizes a block, keeping its contents; null on failure, the old block then
// stays valid and unchanged. A null p behaves like MemAlloc.
void* MemResize(void* p, std::size_t n);
// A block that views the first length bytes of the open file descriptor, with
// three NUL bytes behind them, for MemFree to release like any other; null
// where this heap maps no files, and the caller then reads the file.
void* MemMapFile(int descriptor, std::size_t length);
// Whether the file under such a view shrank while it was viewed, so that the
// pages it lost read as zeros: the text was cut, and is not to be used.
// False for every other block.
bool MemViewWasCut(const void* block);
// Releases a block from MemAlloc or MemResize; null is allowed.
void MemFree(void* p);

}  // namespace kelvane
