// The Gerber reader over a generated board held in memory.
#include <benchmark/benchmark.h>

#include "bench/board_setup.h"

namespace pv {
namespace {

void BM_ReadGerber(benchmark::State& state) {
  const std::string& text = bench::BoardText();
  TID_DrawFileFormat image;
  for (auto _ : state) {
    ResetReaderTables();
    const bool accepted = ReadGerberBytes(text, image, kDefaultGerberFormat);
    benchmark::DoNotOptimize(accepted);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
  state.counters["records"] = image.Count;
}
BENCHMARK(BM_ReadGerber)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pv
