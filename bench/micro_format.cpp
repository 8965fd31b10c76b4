// Number and colour text of content streams.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "pdf/syntax.h"

namespace pv {
namespace {

// Coordinates as content streams carry them: multiples of 0.75 and 0.25 points up to a few
// thousand, some negative, some zero.
std::vector<double> ContentNumbers() {
  std::vector<double> v;
  uint32_t x = 12345;
  for (int i = 0; i < 4096; ++i) {
    x = x * 1103515245u + 12345u;
    const double n = static_cast<double>((x >> 8) % 800000) * 0.0096;
    v.push_back(i % 17 == 0 ? 0.0 : i % 29 == 0 ? -n : n);
  }
  return v;
}

void BM_AppendNumber(benchmark::State& state) {
  const std::vector<double> numbers = ContentNumbers();
  std::string out;
  out.reserve(1 << 16);
  for (auto _ : state) {
    out.clear();
    for (double v : numbers) {
      AppendNumber(out, v);
      out += ' ';
    }
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * numbers.size()));
}
BENCHMARK(BM_AppendNumber);

void BM_AppendColor(benchmark::State& state) {
  std::string out;
  out.reserve(1 << 16);
  for (auto _ : state) {
    out.clear();
    for (uint32_t c = 0; c < 1024; ++c) AppendColor(out, static_cast<TColor>(c * 0x010203u));
    benchmark::DoNotOptimize(out.data());
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * 1024));
}
BENCHMARK(BM_AppendColor);

}  // namespace
}  // namespace pv
