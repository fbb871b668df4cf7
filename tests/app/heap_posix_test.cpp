// The program's POSIX heap: blocks keep their contents through every kind of
// resize (within malloc, from malloc into a mapping, growing a mapping in place
// or by moving it), released mappings come back for later requests, the first
// mapping's companion is faulted in ahead of use, a random mix of operations
// never mixes up two blocks' bytes, and a view of a file holds the file, keeps
// its own writes, and survives the file shrinking under it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "common/heap.h"

namespace kelvane {
namespace {

constexpr std::size_t kMiB = std::size_t{1} << 20;

// Fills n bytes with a pattern that depends on seed and position.
void Fill(void* p, std::size_t n, unsigned seed) {
  auto* b = static_cast<unsigned char*>(p);
  for (std::size_t i = 0; i < n; ++i)
    b[i] = static_cast<unsigned char>(seed * 131 + i * 7 + (i >> 12));
}

// The first checked position where p differs from the pattern, or n. Checks
// the first and last 4 KiB whole and a byte in every 509 between, which is
// enough to see a page lost, moved or taken from another block.
std::size_t FirstMismatch(const void* p, std::size_t n, unsigned seed) {
  const auto* b = static_cast<const unsigned char*>(p);
  auto differs = [&](std::size_t i) {
    return b[i] != static_cast<unsigned char>(seed * 131 + i * 7 + (i >> 12));
  };
  for (std::size_t i = 0; i < n; i += (i < 4096 || n - i <= 4096) ? 1 : 509) {
    if (differs(i)) return i;
  }
  return n;
}

struct ResizeCase {
  const char* name;
  std::size_t from;
  std::size_t to;
};

TEST(PosixHeap, ResizeKeepsTheBytesBothBlocksHold) {
  const ResizeCase cases[] = {
      {"small to small", 100, 5000},
      {"small shrinking", 5000, 10},
      {"small into a mapping", 600 * 1024, 3 * kMiB},
      {"mapping growing", 3 * kMiB, 40 * kMiB},
      {"mapping shrinking", 40 * kMiB, 2 * kMiB},
      {"mapping to a small size", 2 * kMiB, 100},
  };
  for (const ResizeCase& c : cases) {
    void* p = MemAlloc(c.from);
    ASSERT_NE(p, nullptr) << c.name;
    Fill(p, c.from, 3);
    void* q = MemResize(p, c.to);
    ASSERT_NE(q, nullptr) << c.name;
    const std::size_t kept = c.from < c.to ? c.from : c.to;
    EXPECT_EQ(FirstMismatch(q, kept, 3), kept) << c.name;
    // The whole new size is writable.
    std::memset(q, 0x5A, c.to);
    MemFree(q);
  }
}

TEST(PosixHeap, BlocksAreAlignedForAnyElement) {
  for (std::size_t n : {std::size_t{1}, std::size_t{1000}, kMiB, 5 * kMiB}) {
    void* p = MemAlloc(n);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u) << n;
    MemFree(p);
  }
}

TEST(PosixHeap, NullAndZeroSizesBehaveLikeAllocations) {
  void* p = MemResize(nullptr, 2 * kMiB);
  ASSERT_NE(p, nullptr);
  Fill(p, 2 * kMiB, 9);
  MemFree(p);
  void* z = MemAlloc(0);
  EXPECT_NE(z, nullptr);
  MemFree(z);
  MemFree(nullptr);
}

// Spares live as long as the process; ctest runs every test in a process of
// its own, so this one starts with none.
TEST(PosixHeap, AReleasedMappingServesTheNextLargeRequest) {
  void* first = MemAlloc(8 * kMiB);
  ASSERT_NE(first, nullptr);
  Fill(first, 8 * kMiB, 1);
  // The first mapping's companion serves a request of its size.
  void* companion = MemAlloc(8 * kMiB);
  ASSERT_NE(companion, nullptr);
  EXPECT_NE(companion, first);
  Fill(companion, 8 * kMiB, 8);
  MemFree(first);
  // A smaller large request fits in the spare and gets it back.
  void* second = MemAlloc(4 * kMiB);
  EXPECT_EQ(second, first);
  Fill(second, 4 * kMiB, 2);
  // A larger one while no spare is left gets a mapping of its own.
  void* third = MemAlloc(16 * kMiB);
  ASSERT_NE(third, nullptr);
  EXPECT_NE(third, second);
  Fill(third, 16 * kMiB, 4);
  EXPECT_EQ(FirstMismatch(second, 4 * kMiB, 2), 4 * kMiB);
  EXPECT_EQ(FirstMismatch(companion, 8 * kMiB, 8), 8 * kMiB);
  MemFree(second);
  MemFree(third);
  MemFree(companion);
}

// Pages of [p, p + n) not yet faulted in.
std::size_t MissingPages(void* p, std::size_t n) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const uintptr_t start = reinterpret_cast<uintptr_t>(p) & ~(uintptr_t{page} - 1);
  const std::size_t pages = (reinterpret_cast<uintptr_t>(p) + n - start + page - 1) / page;
  std::vector<unsigned char> resident(pages);
  if (mincore(reinterpret_cast<void*>(start), pages * page, resident.data()) != 0) return pages;
  std::size_t missing = 0;
  for (unsigned char r : resident) missing += (r & 1) == 0;
  return missing;
}

// The block that the next stage asks for while the file's block is alive is
// faulted in before anyone writes to it.
TEST(PosixHeap, TheFirstMappingsCompanionIsFaultedInAhead) {
  void* probe = mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(probe, MAP_FAILED);
  const bool supported = madvise(probe, 4096, MADV_POPULATE_WRITE) == 0;
  munmap(probe, 4096);
  if (!supported) GTEST_SKIP() << "this kernel cannot fault pages in on request";

  void* file = MemAlloc(20 * kMiB);
  ASSERT_NE(file, nullptr);
  void* next = MemAlloc(20 * kMiB);
  ASSERT_NE(next, nullptr);
  // So is the back half of the first block, which a read fills from the front.
  char* const back_half = static_cast<char*>(file) + 12 * kMiB;
  std::size_t missing = MissingPages(next, 20 * kMiB);
  std::size_t missing_back = MissingPages(back_half, 8 * kMiB);
  for (int waited = 0; missing + missing_back != 0 && waited < 1000; ++waited) {
    usleep(10000);
    missing = MissingPages(next, 20 * kMiB);
    missing_back = MissingPages(back_half, 8 * kMiB);
  }
  EXPECT_EQ(missing, 0u);
  EXPECT_EQ(missing_back, 0u);
  // Later fresh mappings get no companion: the block after this one is as
  // fresh as it.
  void* third = MemAlloc(20 * kMiB);
  ASSERT_NE(third, nullptr);
  void* fourth = MemAlloc(20 * kMiB);
  ASSERT_NE(fourth, nullptr);
  usleep(100000);
  const std::size_t pages = 20 * kMiB / static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  EXPECT_GT(MissingPages(fourth, 20 * kMiB), pages / 2);  // its header page may be a huge one
  MemFree(file);
  MemFree(next);
  MemFree(third);
  MemFree(fourth);
}

TEST(PosixHeap, ASpareTooSmallIsGrownForALargerRequest) {
  void* a = MemAlloc(2 * kMiB);
  ASSERT_NE(a, nullptr);
  MemFree(a);
  void* b = MemAlloc(30 * kMiB);
  ASSERT_NE(b, nullptr);
  Fill(b, 30 * kMiB, 6);
  EXPECT_EQ(FirstMismatch(b, 30 * kMiB, 6), 30 * kMiB);
  MemFree(b);
}

// Random allocations, resizes and releases of blocks from a few bytes to
// tens of MiB; every live block must still hold its own pattern.
TEST(PosixHeap, RandomOperationsKeepEveryBlockIntact) {
  struct Live {
    void* p;
    std::size_t n;
    unsigned seed;
  };
  std::mt19937 rng(5);
  std::vector<Live> live;
  const std::size_t sizes[] = {16, 3000, 200 * 1024, kMiB, 3 * kMiB, 12 * kMiB, 33 * kMiB};
  for (unsigned step = 0; step < 200; ++step) {
    const unsigned op = rng() % 3;
    const std::size_t n = sizes[rng() % 7] + rng() % 5000;
    if (op == 0 || live.empty()) {
      void* p = MemAlloc(n);
      ASSERT_NE(p, nullptr);
      Fill(p, n, step);
      live.push_back({p, n, step});
    } else if (op == 1) {
      Live& b = live[rng() % live.size()];
      void* q = MemResize(b.p, n);
      ASSERT_NE(q, nullptr);
      const std::size_t kept = b.n < n ? b.n : n;
      ASSERT_EQ(FirstMismatch(q, kept, b.seed), kept) << "step " << step;
      Fill(q, n, step);
      b = {q, n, step};
    } else {
      const std::size_t i = rng() % live.size();
      MemFree(live[i].p);
      live.erase(live.begin() + static_cast<std::ptrdiff_t>(i));
    }
    if (live.size() > 6) {
      MemFree(live.front().p);
      live.erase(live.begin());
    }
    for (const Live& b : live) ASSERT_EQ(FirstMismatch(b.p, b.n, b.seed), b.n) << "step " << step;
  }
  for (const Live& b : live) MemFree(b.p);
}

// A file in the temporary folder holding n bytes of pattern seed; removed
// with the object.
class PatternFile {
 public:
  PatternFile(std::size_t n, unsigned seed) {
    const char* folder = std::getenv("TMPDIR");
    path_ = std::string(folder != nullptr && *folder != 0 ? folder : "/tmp") + "/heapviewXXXXXX";
    fd_ = mkstemp(path_.data());
    std::string bytes(n, '\0');
    Fill(bytes.data(), n, seed);
    ok_ = fd_ >= 0 && write(fd_, bytes.data(), n) == static_cast<ssize_t>(n);
  }
  ~PatternFile() {
    if (fd_ >= 0) close(fd_);
    unlink(path_.c_str());
  }
  PatternFile(const PatternFile&) = delete;
  PatternFile& operator=(const PatternFile&) = delete;
  bool ok() const { return ok_; }
  int fd() const { return fd_; }

 private:
  std::string path_;
  int fd_ = -1;
  bool ok_ = false;
};

TEST(PosixHeap, AViewHoldsTheFileWithThreeNulsBehindAndKeepsItsWritesToItself) {
  const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  const std::size_t sizes[] = {1, page - 2, page, page + 1, kMiB + 5, 3 * kMiB};
  for (const std::size_t n : sizes) {
    SCOPED_TRACE(n);
    PatternFile file(n, 9);
    ASSERT_TRUE(file.ok());
    char* view = static_cast<char*>(MemMapFile(file.fd(), n));
    ASSERT_NE(view, nullptr);
    EXPECT_EQ(FirstMismatch(view, n, 9), n);
    EXPECT_EQ(view[n] | view[n + 1] | view[n + 2], 0);
    view[0] = static_cast<char>(~view[0]);  // as the decoder's cut does
    char first = 0;
    ASSERT_EQ(pread(file.fd(), &first, 1, 0), 1);
    EXPECT_NE(first, view[0]) << "a write reached the file";
    EXPECT_FALSE(MemViewWasCut(view));
    MemFree(view);
  }
}

// The pages past the new end read as zeros instead of raising SIGBUS, and the
// view says it was cut; a later view of another file starts uncut.
TEST(PosixHeap, AViewOfAFileThatShrinksReadsZerosAndIsMarkedCut) {
  const std::size_t n = 5 * kMiB;
  PatternFile file(n, 3);
  ASSERT_TRUE(file.ok());
  char* view = static_cast<char*>(MemMapFile(file.fd(), n));
  ASSERT_NE(view, nullptr);
  ASSERT_EQ(ftruncate(file.fd(), static_cast<off_t>(kMiB)), 0);
  const volatile char* bytes = view;
  EXPECT_EQ(bytes[4 * kMiB], 0);
  EXPECT_EQ(bytes[n - 1], 0);
  EXPECT_EQ(FirstMismatch(view, kMiB, 3), kMiB);
  EXPECT_TRUE(MemViewWasCut(view));
  MemFree(view);

  PatternFile other(2 * kMiB, 4);
  ASSERT_TRUE(other.ok());
  char* next = static_cast<char*>(MemMapFile(other.fd(), 2 * kMiB));
  ASSERT_NE(next, nullptr);
  EXPECT_EQ(FirstMismatch(next, 2 * kMiB, 4), 2 * kMiB);
  EXPECT_FALSE(MemViewWasCut(next));
  MemFree(next);
}

// Only views are handled: a bus error anywhere else still ends the process,
// and blocks that are not views are never cut.
TEST(PosixHeap, OtherBusErrorsTakeTheirDefaultCourse) {
  PatternFile file(3 * kMiB, 5);
  ASSERT_TRUE(file.ok());
  void* view = MemMapFile(file.fd(), 3 * kMiB);  // sets the handler
  ASSERT_NE(view, nullptr);
  void* block = MemAlloc(3 * kMiB);
  EXPECT_FALSE(MemViewWasCut(block));
  MemFree(block);
  EXPECT_EXIT(
      {
        char* own =
            static_cast<char*>(mmap(nullptr, 2 * kMiB, PROT_READ, MAP_PRIVATE, file.fd(), 0));
        if (own == MAP_FAILED || ftruncate(file.fd(), 0) != 0) std::_Exit(1);
        std::_Exit(static_cast<const volatile char*>(own)[kMiB]);
      },
      ::testing::KilledBySignal(SIGBUS), "");
  MemFree(view);
}

}  // namespace
}  // namespace kelvane
