// Deflating a page's content stream at the three compression levels, on the caller's thread
// alone and with the default workers.
#include <benchmark/benchmark.h>

#include "bench/board_setup.h"
#include "pdf/compress.h"

namespace pv {
namespace {

void BM_Deflate(benchmark::State& state) {
  const std::string& content = bench::PageContent();
  const auto level = static_cast<TgtCompressionLevel>(state.range(0));
  const unsigned workers = FlateWorkers();
  SetFlateWorkers(static_cast<unsigned>(state.range(1)) ? workers : 0);
  std::string out;
  for (auto _ : state) {
    out.clear();
    CompressStream(content, out, level);
    benchmark::DoNotOptimize(out.data());
  }
  SetFlateWorkers(workers);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * content.size()));
  state.counters["ratio"] = static_cast<double>(content.size()) / static_cast<double>(out.size());
}
// Arguments: level (0 fastest, 1 normal, 2 maximum), workers (0 none, 1 the default).
BENCHMARK(BM_Deflate)
    ->ArgNames({"level", "workers"})
    ->Args({2, 0})
    ->Args({2, 1})
    ->Args({1, 0})
    ->Args({0, 0})
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace pv
