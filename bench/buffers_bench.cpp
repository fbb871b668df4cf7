// Throughput of the buffer appends that every stage's inner loop makes.
#include <benchmark/benchmark.h>

#include <string>

#include "common/buffers.h"

namespace kelvane {
namespace {

void BM_PushByte(benchmark::State& state) {
  const int64_t n = state.range(0);
  for (auto _ : state) {
    TextBuffer b;
    InitTextBuffer(&b);
    for (int64_t i = 0; i < n; ++i) PushByte(&b, static_cast<int>(i));
    TerminateTextBuffer(&b);
    benchmark::DoNotOptimize(b.data);
    ReleaseTextBuffer(&b);
  }
  state.SetBytesProcessed(state.iterations() * n);
}
BENCHMARK(BM_PushByte)->Arg(1 << 20)->Arg(8 << 20);

void BM_AppendBytes64(benchmark::State& state) {
  const int64_t n = state.range(0);
  const std::string run(64, 'a');
  for (auto _ : state) {
    TextBuffer b;
    InitTextBuffer(&b);
    for (int64_t i = 0; i < n; i += 64) AppendBytes(&b, run.data(), 64);
    TerminateTextBuffer(&b);
    benchmark::DoNotOptimize(b.data);
    ReleaseTextBuffer(&b);
  }
  state.SetBytesProcessed(state.iterations() * n);
}
BENCHMARK(BM_AppendBytes64)->Arg(8 << 20);

}  // namespace
}  // namespace kelvane
