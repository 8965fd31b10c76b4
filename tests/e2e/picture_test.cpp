// Our pages against an independent reference picture (gerbv, run as a black box): corpus
// boards converted at actual size in the solid look, rasterised at 200 dpi, registered, and
// their dark pixels compared beyond 2 pixels of rasterisation noise.
#include <gtest/gtest.h>

#include <iostream>
#include <string>
#include <vector>

#include "support/support.h"
#include "tools/page_compare.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

// Dark pixels missing or extra beyond the tolerance, in percent of each picture's ink.
constexpr double kBoundPercent = 1.5;

pvpc::GrayPicture White(int w, int h) {
  pvpc::GrayPicture p;
  p.width = w;
  p.height = h;
  p.pixels.assign(static_cast<size_t>(w) * h, 255);
  return p;
}

void Paint(pvpc::GrayPicture& p, int left, int top, int right, int bottom, uint8_t v = 0) {
  for (int y = top; y < bottom; ++y)
    for (int x = left; x < right; ++x) p.pixels[static_cast<size_t>(y) * p.width + x] = v;
}

}  // namespace

// The instrument itself: a one-pixel shift is registered away, an edge one pixel wider is
// noise, a pad that is not there is missing with every pixel, ink the reference lacks is
// extra, and the caption's box counts for neither picture.
TEST(Picture, ComparisonCountsInkBeyondTheToleranceAfterRegistration) {
  pvpc::GrayPicture ref = White(200, 120), ours = White(200, 120);
  Paint(ref, 20, 20, 60, 40);        // a track
  Paint(ref, 100, 20, 110, 30);      // a pad we leave out: 100 pixels
  Paint(ref, 20, 80, 80, 100);       // a pour
  Paint(ours, 21, 21, 61, 41);       // the track, moved by (1, 1)
  Paint(ours, 21, 81, 82, 101);      // the pour, moved and one pixel wider
  Paint(ours, 150, 80, 156, 90);     // a stray pad: 60 pixels
  Paint(ours, 2, 2, 12, 8);          // the caption
  Paint(ref, 30, 60, 31, 61, 127);   // darker than the threshold: counts as ink
  Paint(ours, 31, 61, 32, 62, 128);  // as light as the threshold: does not
  pvpc::PixelRegion region;
  region.mask = {0, 0, 15, 10};

  const pvpc::PictureFigures f = pvpc::ComparePictures(ref, ours, region, {});
  EXPECT_EQ(f.shiftX, 1);
  EXPECT_EQ(f.shiftY, 1);
  EXPECT_EQ(f.referenceInk, 800 + 100 + 1200 + 1);
  EXPECT_EQ(f.ourInk, 800 + 1220 + 60);
  EXPECT_EQ(f.missing, 100 + 1);  // the pad, and the dark pixel where ours is only grey
  EXPECT_EQ(f.extra, 60);
  EXPECT_EQ(f.both, 800 + 1200);
  EXPECT_EQ(f.either, 2101 + 2080 - 2000);
  EXPECT_NEAR(f.MissingPercent(), 100.0 * 101 / 2101, 1e-9);
  EXPECT_NEAR(f.ExtraPercent(), 100.0 * 60 / 2080, 1e-9);
  EXPECT_EQ(f.spots, 2);  // the pad and the stray pad; a lone pixel is noise
  EXPECT_FALSE(f.shiftAtLimit);

  // Only inside `within` (a negative image's extents): the stray pad drops out.
  region.within = {0, 0, 140, 120};
  const pvpc::PictureFigures g = pvpc::ComparePictures(ref, ours, region, {});
  EXPECT_EQ(g.extra, 0);
  EXPECT_EQ(g.ourInk, 800 + 1220);
  EXPECT_EQ(g.missing, 101);
}

// gerbv does not draw aperture blocks, so its picture of a block is made from the same board
// written out: every flash of a block replaced by the block's objects moved to the flash
// point, nested blocks too, with the clear disc inside the block clearing the pad and the
// rectangle beneath it.
constexpr const char* kBlocks =
    "%FSLAX24Y24*%\n%MOIN*%\n"
    "%ADD10C,0.050*%\n%ADD11C,0.010*%\n%ADD12C,0.020*%\n%ADD13R,0.400X0.200*%\n"
    "%ABD100*%\nD10*\nX0Y0D03*\nD11*\nX0Y0D02*\nX2000Y0D01*\n%LPC*%\nD12*\nX0Y0D03*\n"
    "%LPD*%\n%AB*%\n"
    "%ABD101*%\nD100*\nX0Y0D03*\nX0Y3000D03*\n%AB*%\n"
    "D101*\nX10000Y10000D03*\nX15000Y10000D03*\n"
    "D13*\nX11000Y20000D03*\nD100*\nX10000Y20000D03*\nM02*\n";

std::string BlockWrittenOut(int x, int y) {
  auto n = [](int v) { return std::to_string(v); };
  return "D10*\nX" + n(x) + "Y" + n(y) + "D03*\nD11*\nX" + n(x) + "Y" + n(y) + "D02*\nX" +
         n(x + 2000) + "Y" + n(y) + "D01*\n%LPC*%\nD12*\nX" + n(x) + "Y" + n(y) + "D03*\n%LPD*%\n";
}

TEST(Picture, ApertureBlocksMatchTheSameBoardWrittenOut) {
  const pvpc::ExternalTools tools = pvpc::FindExternalTools();
  if (!tools.Complete()) GTEST_SKIP() << "gerbv, pdftoppm or pdftotext not installed";
  TempDir dir;
  WriteFile(dir / "blocks.gbr", kBlocks);
  WriteFile(dir / "written-out.gbr",
            "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.050*%\n%ADD11C,0.010*%\n%ADD12C,0.020*%\n"
            "%ADD13R,0.400X0.200*%\n" +
                BlockWrittenOut(10000, 10000) + BlockWrittenOut(10000, 13000) +
                BlockWrittenOut(15000, 10000) + BlockWrittenOut(15000, 13000) +
                "D13*\nX11000Y20000D03*\n" + BlockWrittenOut(10000, 20000) + "M02*\n");
  pvpc::FileCompareOptions options;
  options.plotvane = PlotvaneBinary().string();
  options.referenceFile = (dir / "written-out.gbr").string();
  const pvpc::FileComparison c = pvpc::CompareFile((dir / "blocks.gbr").string(), options, tools);
  std::cout << pvpc::RowHeading() << "\n"
            << pvpc::FormatRow("aperture blocks, nested, clear inside", c, kBoundPercent) << "\n";
  ASSERT_EQ(c.outcome, pvpc::Outcome::Compared) << c.note;
  ASSERT_GT(c.figures.referenceInk, 1000);  // the written-out board has its pads and tracks
  EXPECT_TRUE(c.Pass(kBoundPercent))
      << "missing " << c.figures.MissingPercent() << " %, extra " << c.figures.ExtraPercent()
      << " %, clearances lost " << c.figures.ClearLostPercent() << " %, added "
      << c.figures.ClearAddedPercent() << " %";
}

// Corpus layers that use what a page must show: clear polarity in planes and silkscreen,
// step and repeat, aperture blocks, holes, thermals, obround pads, pours, region arcs; from
// KiCad, Eagle, Altium, Allegro, Mentor and gEDA. None of them holds a macro that gerbv
// cannot store.
struct Layer {
  const char* path;  // relative to the corpus
  const char* what;
};

const std::vector<Layer> kLayers = {
    {"gerbonara/eagle_files/copper_inner_l3.gbr", "Eagle plane, clear anti-pads"},
    {"gerbonara/allegro/l2_gnd.art", "Allegro plane, clear anti-pads, round ends"},
    {"gerbonara/altium-composite-drill/LimeSDR-QPCIe_1v2.GTL", "Altium pours and clearances"},
    {"tracespace/clockblock/clockblock-F_SilkS.gbr", "KiCad silkscreen clipped by clear pads"},
    {"gerbonara/fusion360/silkscreen_top.gbr", "Fusion 360 silkscreen with clear polarity"},
    {"gerbv/dan/top_sr.gbx", "gEDA board in step and repeat"},
    {"tracespace/fixtures-step-repeats/multi-polarity-over-existing.gbr",
     "step and repeat of clear and dark"},
    {"gerbonara/kicad-x2-tests-x2ap/Flashpads-F_Cu.gbr", "KiCad pin headers, obround pads"},
    {"gerbonara/eagle-newer/copper_top.gbr", "Eagle round-ended pads"},
    {"gerbv/ekf2/l1.grb", "pads with holes"},
    {"tracespace/fixtures-pads/obround-with-hole.gbr", "obround, circle and hole"},
    {"gerbv/thermal/dsp.GP1", "thermal macros (7)"},
    {"gerbv/hellboard/hellboard.front.gbr", "gEDA plane with thermals"},
    {"gerbonara/siemens-2/EtchLayerTop.gdo", "Mentor pours"},
    {"tracespace/fixtures-regions/region-with-arc-cut-in.gbr", "region with arcs and a cut-in"},
    {"gerbv/protel-pnp/SE_SG_IF_V2.GBS", "Protel mask"},
};

TEST(Picture, CorpusPagesMatchTheReferenceInTheSolidLook) {
  const pvpc::ExternalTools tools = pvpc::FindExternalTools();
  if (!tools.Complete()) GTEST_SKIP() << "gerbv, pdftoppm or pdftotext not installed";
  const fs::path corpus = CorpusDir();
  if (corpus.empty()) GTEST_SKIP() << "no corpus beside the repository";

  pvpc::FileCompareOptions options;
  options.plotvane = PlotvaneBinary().string();
  options.solidFill = true;
  std::cout << pvpc::RowHeading() << "\n";
  int compared = 0, passed = 0;
  for (const Layer& layer : kLayers) {
    SCOPED_TRACE(layer.path);
    const fs::path file = corpus / layer.path;
    if (!fs::is_regular_file(file)) {
      ADD_FAILURE() << "missing from the corpus";
      continue;
    }
    const pvpc::FileComparison c = pvpc::CompareFile(file.string(), options, tools);
    std::cout << pvpc::FormatRow(layer.path, c, kBoundPercent) << "  [" << layer.what << "]"
              << std::endl;
    ASSERT_EQ(c.outcome, pvpc::Outcome::Compared) << c.note;
    ++compared;
    passed += c.Pass(kBoundPercent);
    const pvpc::PictureFigures& f = c.figures;
    EXPECT_LE(f.MissingPercent(), kBoundPercent) << layer.what << ": reference ink we lack";
    EXPECT_LE(f.ExtraPercent(), kBoundPercent) << layer.what << ": our ink the reference lacks";
    // On a plane the ink is nearly everything: a filled clearance is measured against the
    // clear area it belongs to.
    EXPECT_LE(f.ClearLostPercent(), kBoundPercent) << layer.what << ": clearances we fill";
    EXPECT_LE(f.ClearAddedPercent(), kBoundPercent) << layer.what << ": clear where it is dark";
  }
  std::cout << passed << " of " << compared << " layers within " << kBoundPercent << " %"
            << std::endl;
  EXPECT_EQ(compared, static_cast<int>(kLayers.size()));
}
