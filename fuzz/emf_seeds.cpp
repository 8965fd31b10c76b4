// Seeds for fuzz_metafile: the page recording of each Gerber file given, drawn as the
// page layout draws it (white page, board black with diagonal-cross fills, caption), saved
// as OUTDIR/<n>-<name>.emf. Files that are refused, unreadable or too large for a seed
// are skipped.
#include <cstdio>
#include <exception>
#include <string>

#include "app/layout.h"
#include "docengine/metafile.h"
#include "docengine/metafile_canvas.h"
#include "draw/draw.h"
#include "gerber/reader.h"
#include "platform/process.h"
#include "platform/text.h"

namespace {

// Larger recordings would only slow every fuzzing run down.
constexpr size_t kMaxSeedBytes = 512u << 10;

bool RecordPage(const std::string& file, pv::TMetafile& mf) {
  pv::TID_DrawFileFormat image;
  pv::ResetReaderTables();
  if (!pv::ReadGerberFile(file, image, pv::kDefaultGerberFormat)) return false;
  const pv::PageGeometry g = pv::ComputePageGeometry(image, false);
  mf.SetWidth(g.PageWidth * 96 / 1000);
  mf.SetHeight(g.PageHeight * 96 / 1000);
  pv::TMetafileCanvas canvas(mf);
  pv::TID_DrawContext context;
  pv::InitDrawContext(context, &canvas, g.PageWidth, g.PageHeight, g.VisibleWidth, g.VisibleHeight,
                      g.OriginX, g.OriginY);
  pv::ClearPage(context, pv::clWhite);
  image.Color = pv::clBlack;
  pv::SetFillStyle(context, pv::TBrushStyle::bsDiagCross);
  pv::PaintImage(context, image);
  canvas.Font.Color = pv::clBlack;
  canvas.Brush.Style = pv::TBrushStyle::bsClear;
  canvas.Font.SetSize(90);
  canvas.TextOut(100, 240, pv::Utf8ToUtf16("File Name: " + file));
  canvas.Close();
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "Usage: fuzz_emf_seeds OUTDIR FILE...\n");
    return 2;
  }
  const std::string outdir = argv[1];
  int written = 0;
  for (int i = 2; i < argc; ++i) {
    const std::string file = argv[i];
    try {
      pv::TMetafile mf;
      if (!RecordPage(file, mf) || mf.Bytes().size() > kMaxSeedBytes) continue;
      mf.SaveToFile(outdir + "/" + std::to_string(i - 1) + "-" + pv::ExtractFileName(file) +
                    ".emf");
      ++written;
    } catch (const std::exception& e) {
      std::fprintf(stderr, "%s: %s\n", file.c_str(), e.what());
    }
  }
  std::printf("%d EMF seeds written to %s\n", written, outdir.c_str());
  return 0;
}
