// Every example board painted onto a recording canvas gives a well-formed .emf whose
// drawing records follow the order of the image's records.
#include <gtest/gtest.h>

#include <filesystem>

#include "docengine/emf.h"
#include "docengine/metafile.h"
#include "docengine/metafile_canvas.h"
#include "draw/draw.h"
#include "gerber/reader.h"
#include "support/support.h"

namespace fs = std::filesystem;
using namespace pv;

TEST(ExampleRecordings, WellFormedAndInDrawingOrder) {
  int boards = 0;
  for (const auto& e : fs::directory_iterator(pvtest::SourceDir() / "examples")) {
    if (e.path().extension() != ".gbr") continue;
    ++boards;
    SCOPED_TRACE(e.path().filename().string());
    TID_DrawFileFormat image;
    ResetReaderTables();
    ASSERT_TRUE(ReadGerberFile(e.path().string(), image, kDefaultGerberFormat));

    TMetafile mf;
    mf.SetWidth(816);
    mf.SetHeight(1056);
    {
      TMetafileCanvas canvas(mf);
      TID_DrawContext ctx;
      // The whole board on an 8500 x 11000 canvas, as a Letter page would show it.
      InitDrawContext(ctx, &canvas, 8500, 11000, image.MaxX - image.MinX + 1,
                      image.MaxY - image.MinY + 1, image.MinX, image.MinY);
      ClearPage(ctx, clWhite);
      image.Color = clBlack;
      SetFillStyle(ctx, TBrushStyle::bsDiagCross);
      PaintImage(ctx, image);
    }
    pvtest::TempDir dir;
    fs::path file = dir / "page.emf";
    mf.SaveToFile(file.string());
    std::string bytes = pvtest::ReadFile(file);
    std::string why;
    EXPECT_TRUE(TMetafile::IsWellFormed(
        std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
        &why))
        << why;

    // The drawing records, in order, as the records of the image ask for them.
    std::vector<uint32_t> expected{EMR_BITBLT};  // the white page
    for (int32_t i = 0; i < image.Count; ++i) {
      const TID_DrawRecord& r = image.Records[static_cast<size_t>(i)];
      switch (r.Kind) {
        case rkCircle:
          expected.push_back(EMR_ELLIPSE);
          break;
        case rkRectangle:
          expected.push_back(EMR_BITBLT);
          break;
        case rkTrack:
          for (int32_t k = 0; k + 3 <= r.Count; k += 2) expected.push_back(EMR_LINETO);
          break;
        case rkArc:  // a whole circle is an ellipse outline; the examples' arcs are long enough
          expected.push_back(r.Points[0] == r.Points[2] && r.Points[1] == r.Points[3] ? EMR_ELLIPSE
                                                                                      : EMR_ARC);
          break;
        case rkPolygon:
          expected.push_back(EMR_POLYGON16);
          break;
      }
    }
    std::vector<uint32_t> drawn;
    TMetafile loaded;
    loaded.LoadFromFile(file.string());
    for (const TEmfRecord& rec : loaded.Records())
      if (rec.Type == EMR_BITBLT || rec.Type == EMR_ELLIPSE || rec.Type == EMR_LINETO ||
          rec.Type == EMR_ARC || rec.Type == EMR_POLYGON16)
        drawn.push_back(rec.Type);
    EXPECT_EQ(drawn, expected);
  }
  EXPECT_GE(boards, 4);
}
