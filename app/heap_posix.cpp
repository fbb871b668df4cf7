// The program's heap on POSIX systems.
//
// A whole-file conversion hands blocks the size of the file from stage to
// stage, so most of its cost is the first touch of fresh pages, not arithmetic.
// Three things cut that cost, none of which changes what a block holds:
// - A block of kLargeBlock bytes or more gets an anonymous mapping of its own,
//   aligned to 2 MiB, so that a system which hands out transparent huge pages
//   by itself can back all of it with them. The program does not ask for huge
//   pages (MADV_HUGEPAGE): a virtual machine that reports free memory to its
//   host (virtio free page reporting) hands whole free 2 MiB blocks back, so a
//   fresh huge page is usually one the host must supply again, where small
//   pages come from memory still in use. Measured on such a machine, a 32 MB
//   conversion after a pause took twice as long with the advice.
// - Growing such a block moves its pages with mremap instead of copying bytes.
// - A released large mapping is kept as a spare (at most kSpareBlocks) and
//   handed to the next large request. The stages run one after another, each
//   releasing its input once it is done, so the next stage writes into pages
//   that are already faulted in.
// - That leaves the one block no stage can reuse: the first stage's output,
//   made while the file's block is still alive. So the first fresh mapping
//   (the file's block, as a rule) gets a companion of its length, which waits
//   as a spare. A helper thread faults in (MADV_POPULATE_WRITE) the
//   companion, and then the back half of the file's block, which the read
//   fills from the front, all while the file is read. The helper only asks
//   the kernel to map pages: it writes no byte, so the main thread may write
//   to either block at any time. On the way out the process stops it and
//   waits for it, which takes one 2 MiB step at most.
// - A large file is not read into a block at all: MemMapFile maps it, so its
//   bytes come straight from the page cache, and no fresh page is touched
//   for them. The view is private, so what the process writes into it stays
//   its own. It gets the companion, faulted in for the next stage's output,
//   that the file's block would have had.
// Smaller blocks come from malloc. Every block starts with a header that says
// which of the three it is, so MemResize and MemFree need no lookup.
//
// The spares hold at most two file-sized blocks beyond the live ones; the
// pipeline keeps at most two text blocks alive, so its peak stays that of a
// few copies of the file. If the companion is unmapped while the helper still
// works on it, the kernel ends the advice early; at worst it faults in pages of
// a later mapping of this heap, whose bytes it leaves alone.
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "common/heap.h"

namespace kelvane {
namespace {

constexpr std::size_t kHugePage = std::size_t{2} << 20;
constexpr std::size_t kLargeBlock = std::size_t{1} << 20;
constexpr int kSpareBlocks = 2;
// Header::mapped of a view of a file (a multiple of 2 MiB for a mapping of
// the heap's own, 0 for malloc): unmapped when released, never kept as a spare.
constexpr std::size_t kViewMark = 1;

// In front of every block; 16 bytes, so the data keeps malloc's alignment.
struct Header {
  std::size_t size;    // bytes the caller asked for
  std::size_t mapped;  // length of the block's own mapping; 0 for malloc
};

Header* HeaderOf(void* p) {
  return reinterpret_cast<Header*>(static_cast<char*>(p) - sizeof(Header));
}

void* DataOf(Header* h) {
  return reinterpret_cast<char*>(h) + sizeof(Header);
}

std::size_t MappingLength(std::size_t n) {
  return (n + sizeof(Header) + kHugePage - 1) & ~(kHugePage - 1);
}

// A fresh mapping of length bytes (a multiple of 2 MiB) starting on a 2 MiB
// boundary, so that every part of it can be a huge page where the system
// uses them; null on failure.
void* MapAligned(std::size_t length) {
  std::size_t span = length + kHugePage;
  void* raw = mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) return nullptr;
  uintptr_t start = reinterpret_cast<uintptr_t>(raw);
  uintptr_t aligned = (start + kHugePage - 1) & ~(uintptr_t{kHugePage} - 1);
  if (aligned > start) munmap(raw, aligned - start);
  std::size_t tail = span - (aligned - start) - length;
  if (tail > 0) munmap(reinterpret_cast<void*>(aligned + length), tail);
  return reinterpret_cast<void*>(aligned);
}

// Makes the mapping h at least length bytes long, keeping its contents; the
// (maybe moved) header, or null with h unchanged.
Header* GrowMapping(Header* h, std::size_t length) {
  // In place when the addresses behind it are free.
  if (mremap(h, h->mapped, length, 0) != MAP_FAILED) {
    h->mapped = length;
    return h;
  }
  // Else the pages move to the front of a new aligned mapping; no byte is
  // copied and the new tail stays untouched until it is written.
  void* target = MapAligned(length);
  if (target == nullptr) return nullptr;
  std::size_t old_length = h->mapped;
  if (mremap(h, old_length, old_length, MREMAP_MAYMOVE | MREMAP_FIXED, target) == MAP_FAILED) {
    munmap(target, length);
    return nullptr;
  }
  Header* moved = static_cast<Header*>(target);
  moved->mapped = length;
  return moved;
}

// Released large mappings waiting for the next large request, under
// spares_lock: a conversion's steps may run on two threads (the helper never
// touches the list).
Header* spares[kSpareBlocks];
pthread_mutex_t spares_lock = PTHREAD_MUTEX_INITIALIZER;

// Holds spares_lock for a scope.
class SparesLock {
 public:
  SparesLock() { pthread_mutex_lock(&spares_lock); }
  ~SparesLock() { pthread_mutex_unlock(&spares_lock); }
  SparesLock(const SparesLock&) = delete;
  SparesLock& operator=(const SparesLock&) = delete;
};

// A spare of at least length bytes, or else the largest spare, taken off the
// list; null when there is none.
Header* TakeSpare(std::size_t length) {
  int pick = -1;
  for (int i = 0; i < kSpareBlocks; ++i) {
    Header* s = spares[i];
    if (s == nullptr) continue;
    if (pick < 0) {
      pick = i;
      continue;
    }
    Header* best = spares[pick];
    bool fits = s->mapped >= length;
    bool best_fits = best->mapped >= length;
    // The smallest that fits; while none fits, the largest.
    if (fits ? (!best_fits || s->mapped < best->mapped)
             : (!best_fits && s->mapped > best->mapped)) {
      pick = i;
    }
  }
  if (pick < 0) return nullptr;
  Header* taken = spares[pick];
  spares[pick] = nullptr;
  return taken;
}

// Keeps h as a spare, or unmaps it, or the smallest spare, when the list is
// full: the larger mappings are the ones worth keeping.
void ReturnMapping(Header* h) {
  {
    int smallest = 0;
    for (int i = 0; i < kSpareBlocks; ++i) {
      if (spares[i] == nullptr) {
        spares[i] = h;
        return;
      }
      if (spares[i]->mapped < spares[smallest]->mapped) smallest = i;
    }
    if (spares[smallest]->mapped < h->mapped) {
      Header* dropped = spares[smallest];
      spares[smallest] = h;
      h = dropped;
    }
  }
  munmap(h, h->mapped);
}

// The range the helper thread faults in, set before it starts and not touched
// after.
struct PopulateRange {
  void* start;
  std::size_t length;
};

PopulateRange first_back_half;
PopulateRange companion_range;

// The helper works in 2 MiB steps and stops between two when this is set, so
// that the process, which joins it on the way out, never waits long for it.
std::atomic<bool> helper_stop{false};
pthread_t helper;

void* PopulateAhead(void*) {
  // The companion first: the next stage writes it as soon as the read ends,
  // and faulting it in alongside that stage slows the stage. Old kernels
  // refuse the advice; the pages are then faulted in by use.
  char* const companion = static_cast<char*>(companion_range.start);
  for (std::size_t at = 0; at < companion_range.length; at += kHugePage) {
    if (helper_stop.load(std::memory_order_relaxed)) return nullptr;
    madvise(companion + at, kHugePage, MADV_POPULATE_WRITE);
  }
  // Then the file's block from the end back, so that the helper and the
  // read, which goes forward, meet rather than fault the same pages.
  char* const back = static_cast<char*>(first_back_half.start);
  for (std::size_t at = first_back_half.length; at >= kHugePage; at -= kHugePage) {
    if (helper_stop.load(std::memory_order_relaxed)) return nullptr;
    madvise(back + at - kHugePage, kHugePage, MADV_POPULATE_WRITE);
  }
  return nullptr;
}

// At exit: a thread still running then would be cut off mid-step, and its
// stack counted as lost by leak checkers.
void StopHelper() {
  helper_stop.store(true, std::memory_order_relaxed);
  pthread_join(helper, nullptr);
}

// Once per process, after the first fresh mapping `first` of length bytes: a
// companion of the same length, kept as a spare, and a helper thread that
// faults in the back half of the first and the whole companion. If the thread
// cannot start, the spare is still there, only not faulted in.
void PrepareCompanion(Header* first, std::size_t length) {
  static bool prepared = false;
  if (prepared) return;
  prepared = true;
  if (length == 0) return;
  Header* h = static_cast<Header*>(MapAligned(length));
  if (h == nullptr) return;
  h->mapped = length;
  h->size = 0;
  const std::size_t front = (length / 2) & ~(kHugePage - 1);
  if (first != nullptr) first_back_half = {reinterpret_cast<char*>(first) + front, length - front};
  companion_range = {h, length};
  if (pthread_create(&helper, nullptr, PopulateAhead, nullptr) == 0 &&
      std::atexit(StopHelper) != 0) {
    pthread_detach(helper);  // not joined then, but never left joinable
  }
  ReturnMapping(h);
}

// A large block of n bytes: a spare, grown if need be, or a fresh mapping.
void* AllocateLarge(std::size_t n) {
  const SparesLock lock;
  std::size_t length = MappingLength(n);
  Header* h = TakeSpare(length);
  if (h != nullptr && h->mapped < length) {
    Header* grown = GrowMapping(h, length);
    if (grown == nullptr) {
      munmap(h, h->mapped);
      h = nullptr;
    } else {
      h = grown;
    }
  }
  if (h == nullptr) {
    h = static_cast<Header*>(MapAligned(length));
    if (h == nullptr) return nullptr;
    h->mapped = length;
    PrepareCompanion(h, length);
  }
  h->size = n;
  return DataOf(h);
}

std::size_t PageSize() {
  static const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
  return page;
}

std::size_t RoundToPages(std::size_t n) {
  return (n + PageSize() - 1) & ~(PageSize() - 1);
}

// A view spans a page for its header, the file's pages, and a page of zeros
// behind them, where a file whose size is a multiple of the page size finds
// its three NUL bytes.
std::size_t ViewSpan(std::size_t length) {
  return PageSize() + RoundToPages(length) + PageSize();
}

// The views alive now, for the bus error handler, which must not lock: a slot
// holds a view's header, or null, and whether pages of it were lost.
constexpr int kViewSlots = 4;
std::atomic<Header*> live_views[kViewSlots];
std::atomic<bool> view_cut[kViewSlots];
static_assert(std::atomic<Header*>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// A file that shrinks under its view takes the pages past its new end with
// it, and reading them raises SIGBUS. Such a page is put back as a page of
// zeros, which end the text there, and the view is marked as cut, which the
// driver checks before it writes anything. Any other bus error takes its
// default course.
void OnBusError(int signal_number, siginfo_t* info, void*) {
  char* const at = static_cast<char*>(info->si_addr);
  for (int i = 0; i < kViewSlots; ++i) {
    Header* h = live_views[i].load(std::memory_order_acquire);
    if (h == nullptr) continue;
    char* const data = static_cast<char*>(DataOf(h));
    if (at < data || at >= data + RoundToPages(h->size)) continue;
    char* const page = data + ((at - data) & ~(PageSize() - 1));
    if (mmap(page, PageSize(), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED, -1,
             0) != MAP_FAILED) {
      view_cut[i].store(true, std::memory_order_release);
      return;
    }
  }
  struct sigaction fallback = {};
  fallback.sa_handler = SIG_DFL;
  sigaction(signal_number, &fallback, nullptr);
  raise(signal_number);
}

// Once per process; false when the handler cannot be set, and then no file
// is viewed.
bool HandleBusErrors() {
  static const bool handled = [] {
    struct sigaction action = {};
    action.sa_sigaction = OnBusError;
    action.sa_flags = SA_SIGINFO | SA_RESTART;
    sigemptyset(&action.sa_mask);
    return sigaction(SIGBUS, &action, nullptr) == 0;
  }();
  return handled;
}

// The slot of view h, or -1.
int SlotOf(const Header* h) {
  for (int i = 0; i < kViewSlots; ++i) {
    if (live_views[i].load(std::memory_order_acquire) == h) return i;
  }
  return -1;
}

// Takes a free slot for h; false when there is none.
bool TakeSlot(Header* h) {
  for (int i = 0; i < kViewSlots; ++i) {
    Header* expected = nullptr;
    if (live_views[i].compare_exchange_strong(expected, h, std::memory_order_acq_rel)) return true;
  }
  return false;
}

void ReleaseView(Header* h) {
  const int slot = SlotOf(h);
  if (slot >= 0) {
    view_cut[slot].store(false, std::memory_order_relaxed);
    live_views[slot].store(nullptr, std::memory_order_release);
  }
  munmap(reinterpret_cast<char*>(DataOf(h)) - PageSize(), ViewSpan(h->size));
}

void* AllocateSmall(std::size_t n) {
  Header* h = static_cast<Header*>(std::malloc(sizeof(Header) + n));
  if (h == nullptr) return nullptr;
  h->size = n;
  h->mapped = 0;
  return DataOf(h);
}

}  // namespace

void* MemAlloc(std::size_t n) {
  if (n > SIZE_MAX - 2 * kHugePage) return nullptr;
  return n >= kLargeBlock ? AllocateLarge(n) : AllocateSmall(n);
}

void* MemMapFile(int descriptor, std::size_t length) {
  if (length == 0 || length > SIZE_MAX / 2 || !HandleBusErrors()) return nullptr;
  const std::size_t page = PageSize();
  const std::size_t span = ViewSpan(length);
  char* base = static_cast<char*>(
      mmap(nullptr, span, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  if (base == MAP_FAILED) return nullptr;
  char* const data = base + page;
  Header* h = HeaderOf(data);
  h->size = length;
  h->mapped = kViewMark;
  // Private and writable: the NUL bytes behind the data, and whatever the
  // stages write, stay in this process's copy of a page.
  if (mmap(data, RoundToPages(length), PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_FIXED, descriptor,
           0) == MAP_FAILED ||
      !TakeSlot(h)) {
    munmap(base, span);
    return nullptr;
  }
  data[length] = data[length + 1] = data[length + 2] = '\0';
  {
    const SparesLock lock;
    PrepareCompanion(nullptr, MappingLength(length));
  }
  return data;
}

bool MemViewWasCut(const void* p) {
  if (p == nullptr) return false;
  const Header* h = reinterpret_cast<const Header*>(static_cast<const char*>(p) - sizeof(Header));
  if (h->mapped != kViewMark) return false;
  const int slot = SlotOf(h);
  return slot >= 0 && view_cut[slot].load(std::memory_order_acquire);
}

void* MemResize(void* p, std::size_t n) {
  if (p == nullptr) return MemAlloc(n);
  if (n > SIZE_MAX - 2 * kHugePage) return nullptr;
  Header* h = HeaderOf(p);
  if (h->mapped == kViewMark) {
    // A view does not grow: it is copied into a block of the heap's own, and
    // whether it was cut is no longer told.
    void* copy = MemAlloc(n);
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, p, h->size < n ? h->size : n);
    MemFree(p);
    return copy;
  }
  if (h->mapped != 0 && MappingLength(n) <= h->mapped) {
    h->size = n;  // a large block keeps its mapping when it shrinks
    return p;
  }
  if (h->mapped != 0) {
    Header* grown = GrowMapping(h, MappingLength(n));
    if (grown == nullptr) return nullptr;
    grown->size = n;
    return DataOf(grown);
  }
  if (n < kLargeBlock) {
    Header* resized = static_cast<Header*>(std::realloc(h, sizeof(Header) + n));
    if (resized == nullptr) return nullptr;
    resized->size = n;
    return DataOf(resized);
  }
  // A small block that outgrows malloc moves once into a mapping.
  void* large = AllocateLarge(n);
  if (large == nullptr) return nullptr;
  std::memcpy(large, p, h->size);
  std::free(h);
  return large;
}

void MemFree(void* p) {
  if (p == nullptr) return;
  Header* h = HeaderOf(p);
  if (h->mapped == kViewMark) {
    ReleaseView(h);
  } else if (h->mapped != 0) {
    const SparesLock lock;
    ReturnMapping(h);
  } else {
    std::free(h);
  }
}

}  // namespace kelvane
