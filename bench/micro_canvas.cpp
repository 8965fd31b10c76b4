// Drawing and recording a page, and turning the recording into document items.
#include <benchmark/benchmark.h>

#include "bench/micro_common.h"
#include "docengine/engine.h"
#include "docengine/metafile_processor.h"

namespace pv {
namespace {

void BM_PaintAndRecord(benchmark::State& state) {
  const TID_DrawFileFormat& image = micro::BoardImage();
  TMetafile mf;
  for (auto _ : state) {
    TMetafileCanvas canvas(mf);
    micro::DrawBoard(canvas, image);
    canvas.Close();
    benchmark::DoNotOptimize(mf.Bytes().data());
  }
  state.counters["records"] = image.Count;
  state.counters["emf_bytes"] = static_cast<double>(mf.Bytes().size());
}
BENCHMARK(BM_PaintAndRecord)->Unit(benchmark::kMillisecond);

class BenchEngine : public TgtCustomDocumentEngine {
 public:
  BenchEngine() {
    Preferences().SetShowSetupDialog(false);
    Preferences().SetOpenAfterCreate(false);
    SetInputXRes(1000);
    SetInputYRes(1000);
    SetItemsToRender({irText, irShape});
    BeginDoc();
  }
};

void BM_ProcessMetafile(benchmark::State& state) {
  TMetafile mf;
  {
    TMetafileCanvas canvas(mf);
    micro::DrawBoard(canvas, micro::BoardImage());
  }
  BenchEngine engine;
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
    micro::SetUpEngine(e, pdf, false);
    e.BeginDoc();
    micro::DrawBoard(*e.PageCanvas(), micro::BoardImage());
    e.EndDoc();
    benchmark::DoNotOptimize(pdf.data());
  }
  state.counters["pdf_bytes"] = static_cast<double>(pdf.size());
}
BENCHMARK(BM_PdfPageUncompressed)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace pv
