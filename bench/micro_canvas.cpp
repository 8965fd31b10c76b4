// Drawing and recording a page, and turning the recording into document items.
#include <benchmark/benchmark.h>

#include "bench/board_setup.h"
#include "docengine/metafile_processor.h"

namespace pv {
namespace {

void BM_PaintAndRecord(benchmark::State& state) {
  const TID_DrawFileFormat& image = bench::BoardImage();
  TMetafile mf;
  for (auto _ : state) {
    TMetafileCanvas canvas(mf);
    bench::DrawBoard(canvas, image);
    canvas.Close();
    benchmark::DoNotOptimize(mf.Bytes().data());
  }
  state.counters["records"] = image.Count;
  state.counters["emf_bytes"] = static_cast<double>(mf.Bytes().size());
}
BENCHMARK(BM_PaintAndRecord)->Unit(benchmark::kMillisecond);

void BM_ProcessMetafile(benchmark::State& state) {
  TMetafile mf;
  {
    TMetafileCanvas canvas(mf);
    bench::DrawBoard(canvas, bench::BoardImage());
  }
  bench::TItemCollectingEngine engine;
  size_t items = 0;
  for (auto _ : state) {
    engine.CurrentItemList().Clear();
    TgtMetafileProcessor p(engine);
    p.UpdatePositionTextMode = true;
    p.Process(mf, 0, 0);
    items = engine.CurrentItemList().size();
  }
  state.counters["items"] = static_cast<double>(items);
}
BENCHMARK(BM_ProcessMetafile)->Unit(benchmark::kMillisecond);

// A whole page through the PDF engine without compression: recording, items and content
// text.
void BM_PdfPageUncompressed(benchmark::State& state) {
  std::vector<uint8_t> pdf;
  for (auto _ : state) {
    pdf.clear();
    TgtPDFEngine e;
    bench::SetUpEngine(e, pdf, false, bench::BoardImage());
    e.BeginDoc();
    bench::DrawBoard(*e.PageCanvas(), bench::BoardImage());
    e.EndDoc();
    benchmark::DoNotOptimize(pdf.data());
  }
  state.counters["pdf_bytes"] = static_cast<double>(pdf.size());
}
BENCHMARK(BM_PdfPageUncompressed)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pv
