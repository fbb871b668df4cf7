// Standard input is read to its end before anything is converted, and the
// driver writes the text only once every stage has succeeded, so a failed
// conversion leaves standard output empty. Input may be a pipe, a terminal or
// a redirected file: none of them is asked for its size up front, except a
// regular file, whose rest gives the first block its size.

#include <errno.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>

#include "app/standard_streams.h"
#include "common/heap.h"

namespace kelvane {
namespace {

static_assert(SIZE_MAX > UINT32_MAX, "a block one byte past the limit must be addressable");

// The same limit as a file: the data and three NUL bytes fit in 32 bits.
constexpr std::size_t kMaxInput = UINT32_MAX - 3;
// Room for one byte past the limit, which shows that the input exceeds it,
// and the three NUL bytes.
constexpr std::size_t kCapacityLimit = kMaxInput + 4;
constexpr std::size_t kFirstCapacity = std::size_t{64} << 10;

// For a regular file, what is left of it plus room to see its end and the
// three NUL bytes; otherwise a start that doubles as it fills.
std::size_t FirstCapacity() {
  struct stat info;
  if (fstat(STDIN_FILENO, &info) != 0 || !S_ISREG(info.st_mode)) return kFirstCapacity;
  off_t position = lseek(STDIN_FILENO, 0, SEEK_CUR);
  if (position < 0 || position > info.st_size) return kFirstCapacity;
  uint64_t rest = static_cast<uint64_t>(info.st_size - position);
  return rest >= kCapacityLimit - 4 ? kCapacityLimit : static_cast<std::size_t>(rest) + 4;
}

// Doubles the block, up to kCapacityLimit; null when out of memory (the block
// then stays the caller's).
char* Grow(char* data, std::size_t* capacity) {
  std::size_t grown = *capacity > kCapacityLimit / 2 ? kCapacityLimit : *capacity * 2;
  char* bigger = static_cast<char*>(MemResize(data, grown));
  if (bigger != nullptr) *capacity = grown;
  return bigger;
}

ReadResult ReadStandardInput(const char* /*name*/, char** block, uint32_t* size) {
  *block = nullptr;
  *size = 0;
  std::size_t capacity = FirstCapacity();
  char* data = static_cast<char*>(MemAlloc(capacity));
  if (data == nullptr) return ReadResult::kOutOfMemory;
  std::size_t length = 0;
  ReadResult result = ReadResult::kOk;
  for (;;) {
    if (capacity - length == 3) {
      // Full with one byte past the limit read: the input is too large.
      if (capacity == kCapacityLimit) {
        result = ReadResult::kInvalidSize;
        break;
      }
      char* bigger = Grow(data, &capacity);
      if (bigger == nullptr) {
        result = ReadResult::kOutOfMemory;
        break;
      }
      data = bigger;
    }
    ssize_t got = read(STDIN_FILENO, data + length, capacity - 3 - length);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) result = ReadResult::kCannotOpen;
    if (got <= 0) break;
    length += static_cast<std::size_t>(got);
  }
  if (result == ReadResult::kOk && length == 0) result = ReadResult::kInvalidSize;
  if (result != ReadResult::kOk) {
    MemFree(data);
    return result;
  }
  data[length] = data[length + 1] = data[length + 2] = '\0';
  *block = data;
  *size = static_cast<uint32_t>(length);
  return ReadResult::kOk;
}

int WriteStandardOutput(const char* /*name*/, const char* data, uint32_t size) {
  std::size_t done = 0;
  while (done < size) {
    ssize_t put = write(STDOUT_FILENO, data + done, size - done);
    if (put < 0 && errno == EINTR) continue;
    if (put <= 0) return 0;
    done += static_cast<std::size_t>(put);
  }
  return 1;
}

int ShowWarning(const char* message, const char* path) {
  return DefaultPlatform()->show_warning(message, path);
}

// Standard input and output are no named files, so neither can be the other.
int NoSameFile(const char* /*path*/, const char* /*other*/) {
  return 0;
}

void RunBoth(void (*job)(void*), void* first, void* second) {
  DefaultPlatform()->run_both(job, first, second);
}

// Standard output takes no text in parts: a failed text must leave it empty.
constexpr Platform kStandardStreams = {
    ReadStandardInput, WriteStandardOutput, NoSameFile, ShowWarning, RunBoth, nullptr};

}  // namespace

const Platform* StandardStreamsPlatform() {
  return &kStandardStreams;
}

}  // namespace kelvane
