// Where the time of one conversion goes, stage by stage, on the caller's thread:
//   bench_phases FILE.gbr [RUNS]
// reading, drawing and recording the page, metafile processing, PDF text (rendering the
// items into content operators, uncompressed) and deflating the content at level 6, then a
// whole in-memory conversion with compression on the default workers for comparison.
// Prints a Markdown table of median CPU seconds (and wall seconds of the whole conversion).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "bench/board_setup.h"
#include "bench/timing.h"
#include "docengine/metafile_processor.h"
#include "pdf/compress.h"

namespace pv {
namespace {

using bench::Measure;
using bench::Sample;

int Run(const std::string& file, int runs) {
  TID_DrawFileFormat image;
  const Sample read = Measure(
      runs, [] { ResetReaderTables(); },
      [&] {
        if (!ReadGerberFile(file, image, kDefaultGerberFormat)) throw ERangeError("refused");
      });
  image.Color = clBlack;

  auto mf = std::make_unique<TMetafile>();
  const Sample draw = Measure(
      runs, [&] { mf = std::make_unique<TMetafile>(); },
      [&] {
        TMetafileCanvas canvas(*mf);
        bench::DrawBoard(canvas, image);
      });

  std::unique_ptr<bench::TItemCollectingEngine> collector;
  const Sample process = Measure(
      runs, [&] { collector = std::make_unique<bench::TItemCollectingEngine>(); },
      [&] {
        TgtMetafileProcessor p(*collector);
        p.UpdatePositionTextMode = true;
        p.Process(*mf, 0, 0);
      });
  const size_t items = collector->CurrentItemList().size();
  collector.reset();

  // The content as the page writes it, uncompressed.
  std::vector<uint8_t> pdf;
  {
    TgtPDFEngine e;
    bench::SetUpEngine(e, pdf, false, image);
    e.BeginDoc();
    bench::DrawBoard(*e.PageCanvas(), image);
    e.EndDoc();
  }
  const std::string content = bench::LargestStream(pdf);

  const unsigned workers = FlateWorkers();
  SetFlateWorkers(0);
  std::string compressed;
  const Sample deflate = Measure(
      runs, [&] { compressed.clear(); },
      [&] { CompressStream(content, compressed, TgtCompressionLevel::clMaxCompress); });
  std::string stored;
  const Sample store = Measure(
      runs, [&] { stored.clear(); },
      [&] { CompressStream(content, stored, TgtCompressionLevel::clFastest); });

  // EndDoc on one thread with stored blocks: processing, the items' content operators and
  // storing them; the text is what remains without the other two.
  std::unique_ptr<TgtPDFEngine> engine;
  const Sample endDoc = Measure(
      runs,
      [&] {
        pdf.clear();
        engine = std::make_unique<TgtPDFEngine>();
        bench::SetUpEngine(*engine, pdf, true, image);
        engine->Compression().Level = TgtCompressionLevel::clFastest;
        engine->BeginDoc();
        bench::DrawBoard(*engine->PageCanvas(), image);
      },
      [&] { engine->EndDoc(); });
  engine.reset();
  SetFlateWorkers(workers);

  const Sample whole = Measure(
      runs, [&] { pdf.clear(); },
      [&] {
        ResetReaderTables();
        TID_DrawFileFormat im;
        ReadGerberFile(file, im, kDefaultGerberFormat);
        im.Color = clBlack;
        TgtPDFEngine e;
        bench::SetUpEngine(e, pdf, true, im);
        e.BeginDoc();
        bench::DrawBoard(*e.PageCanvas(), im);
        e.EndDoc();
      });

  const double text = std::max(0.0, endDoc.cpu - process.cpu - store.cpu);
  const double sum = read.cpu + draw.cpu + process.cpu + text + deflate.cpu;
  auto row = [&](const char* stage, double cpu, const std::string& note) {
    std::printf("| %s | %.3f | %.0f %% | %s |\n", stage, cpu, 100.0 * cpu / sum, note.c_str());
  };
  std::printf("| stage | CPU s | share | |\n|---|---:|---:|---|\n");
  row("reading the Gerber file", read.cpu, std::to_string(image.Count) + " draw records");
  row("drawing and recording the page", draw.cpu,
      std::to_string(mf->Bytes().size() >> 20) + " MiB of EMF records");
  row("metafile processing", process.cpu, std::to_string(items) + " document items");
  row("PDF text (content operators)", text,
      std::to_string(content.size() >> 20) + " MiB of content");
  row("deflate, level 6, one thread", deflate.cpu,
      std::to_string(compressed.size() >> 20) + " MiB compressed");
  std::printf("| **sum of the stages** | %.3f | 100 %% | |\n", sum);
  std::printf("| whole conversion in memory, %u deflate worker(s) | %.3f | | wall %.3f s |\n",
              workers, whole.cpu, whole.wall);
  return 0;
}

}  // namespace
}  // namespace pv

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("Usage: bench_phases FILE.gbr [RUNS]\n", stderr);
    return 2;
  }
  try {
    return pv::Run(argv[1], argc > 2 ? std::max(1, std::atoi(argv[2])) : 3);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_phases: %s\n", e.what());
    return 1;
  }
}
