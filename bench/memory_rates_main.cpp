// What the floor is made of on this machine: the rate at which a fresh 32 MB
// block from malloc is first touched (one page fault per 4 KiB page, unless
// the system backs it with huge pages) and the rate of a copy between two
// blocks already touched. One measurement per process, so the block is fresh.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr std::size_t kSize = std::size_t{32} << 20;
constexpr std::size_t kPage = 4096;

double Seconds(std::chrono::steady_clock::time_point from) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - from).count();
}

}  // namespace

int main() {
  auto* a = static_cast<unsigned char*>(std::malloc(kSize));
  auto* b = static_cast<unsigned char*>(std::malloc(kSize));
  if (a == nullptr || b == nullptr) {
    std::fprintf(stderr, "memory_rates: no memory\n");
    return 1;
  }
  auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < kSize; i += kPage) a[i] = static_cast<unsigned char>(i >> 12);
  const double touch = Seconds(start);
  std::memset(b, 1, kSize);
  start = std::chrono::steady_clock::now();
  std::memcpy(b, a, kSize);
  const double copy = Seconds(start);
  // Print a byte of the copy, so that neither loop can be left out.
  std::printf("first-touch %.0f copy %.0f check %u\n", kSize / touch / 1e6, kSize / copy / 1e6,
              static_cast<unsigned>(b[kSize - kPage]));
  std::free(a);
  std::free(b);
  return 0;
}
