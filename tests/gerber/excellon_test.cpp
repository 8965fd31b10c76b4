// Excellon drill files through the reader's one entry: small files of our own for the
// number forms, motion and bounds, and every drill file of the corpus.
#include "gerber/excellon.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "gerber_test_util.h"

using namespace pv;
using namespace pvtest;
namespace fs = std::filesystem;

namespace {

using DrillRead = CaughtRead;

// Read as the driver reads any argument; the name says nothing about the content.
DrillRead ReadDrill(const std::string& text) {
  TempDir dir;
  WriteFile(dir / "layer.gbr", text);
  return ReadGerberPath(dir / "layer.gbr");
}

// (x, y, diameter) of every record that is a hole.
std::vector<std::vector<int32_t>> Holes(const DrillRead& r) {
  std::vector<std::vector<int32_t>> out;
  for (int32_t i = 0; i < r.image.Count; ++i)
    if (r.rec(i).Kind == rkCircle) out.push_back({r.rec(i).X, r.rec(i).Y, r.rec(i).Size});
  return out;
}

using V = std::vector<std::vector<int32_t>>;

}  // namespace

// Zero suppression both ways, stated and inferred, decimal points, number formats from
// the units line and from ;FILE_FORMAT, inch and millimetre, switched in the body.
TEST(Excellon, NumberFormsAndUnits) {
  // INCH,LZ: leading zeros written, read from the left (2.4).
  DrillRead lz = ReadDrill("M48\nINCH,LZ\nT1C0.05\n%\nT1\nX-001Y03\nX0Y03000\nX00125Y-0005\nM30\n");
  ASSERT_TRUE(lz.accepted) << lz.refusal;
  EXPECT_EQ(Holes(lz), (V{{-100, 3000, 50}, {0, 3000, 50}, {125, -50, 50}}));

  // INCH,TZ: trailing zeros written, read from the right.
  DrillRead tz = ReadDrill("M48\nINCH,TZ\nT1C0.05\n%\nT1\nX-1000Y30000\nX15Y+5\nM30\n");
  ASSERT_TRUE(tz.accepted) << tz.refusal;
  EXPECT_EQ(Holes(tz), (V{{-100, 3000, 50}, {2, 1, 50}}));

  // Millimetre: 3.3 by default, the format of the units line (4.2), a ;FILE_FORMAT, and
  // decimal points whatever the format says; 39.37 image units per millimetre.
  DrillRead mm =
      ReadDrill("M48\nMETRIC,TZ\nT1C1.000\n%\nT1\nX25400Y-12700\nX2.54Y1.27\nM72\nX1.5Y0.5\nM30\n");
  ASSERT_TRUE(mm.accepted) << mm.refusal;
  EXPECT_EQ(Holes(mm), (V{{1000, -500, 39}, {100, 50, 39}, {1500, 500, 39}}));
  DrillRead four = ReadDrill("M48\nMETRIC,0000.00\nT1C0.8\n%\nT1\nX+012700Y+002540\nM30\n");
  ASSERT_TRUE(four.accepted) << four.refusal;
  EXPECT_EQ(Holes(four), (V{{5000, 1000, 31}}));
  DrillRead ff = ReadDrill(
      "M48\n;FILE_FORMAT=4:4\n;FILE_FORMAT = 2 : junk\nMETRIC,LZ\n"
      "T1F00S00C0.2000\n%\nT01\nX00254Y01\nM30\n");
  ASSERT_TRUE(ff.accepted) << ff.refusal;
  EXPECT_EQ(Holes(ff), (V{{1000, 3937, 8}}));

  // No zero mode stated: read from the coordinates. Shortened numbers that keep a leading
  // 0 mean leading zeros are written; ones ending in 0 mean trailing zeros are.
  DrillRead inferLz = ReadDrill("M48\nINCH\nT1C0.05\n%\nT1\nX01095Y0127\nX012Y021\nM30\n");
  ASSERT_TRUE(inferLz.accepted) << inferLz.refusal;
  EXPECT_EQ(Holes(inferLz), (V{{1095, 1270, 50}, {1200, 2100, 50}}));
  DrillRead inferTz = ReadDrill("M48\nM72\nT1C0.05\n%\nT1\nX9250Y4060\nX12100Y500\nM30\n");
  ASSERT_TRUE(inferTz.accepted) << inferTz.refusal;
  EXPECT_EQ(Holes(inferTz), (V{{925, 406, 50}, {1210, 50, 50}}));

  // Tools defined before the file names its units take the units named after the header.
  DrillRead late = ReadDrill(
      "M48\nT01C.864\nT02C1.524\n%\nG90\nM71\nT01\nX40500Y6270\nT02\n"
      "Y3730\nM30\n");
  ASSERT_TRUE(late.accepted) << late.refusal;
  EXPECT_EQ(Holes(late), (V{{1594, 247, 34}, {1594, 147, 60}}));
}

// Incremental coordinates (ICI and G91), the G93 zero, repeats, tools defined in the body
// with F and S, T0101 selections and sizes from Holesize comments of headerless files.
TEST(Excellon, PositionsToolsAndRepeats) {
  DrillRead r = ReadDrill(
      "M48\nINCH,TZ\nICI,ON\nT1C0.020F200S65\n%\nT1\nX1000Y1000\nX500\nY-250\nG90\nX1000Y0\n"
      "R3X100Y-50\nG93X10000Y20000\nX0Y0\nG91\nX+100\nM30\n");
  ASSERT_TRUE(r.accepted) << r.refusal;
  EXPECT_EQ(Holes(r), (V{{100, 100, 20},
                         {150, 100, 20},
                         {150, 75, 20},
                         {100, 0, 20},
                         {110, -5, 20},
                         {120, -10, 20},
                         {130, -15, 20},
                         {1000, 2000, 20},
                         {1010, 2000, 20}}));

  // Headerless files: tools defined in the body (and selected), or sized by comments.
  DrillRead body =
      ReadDrill("%\nINCH,LZ\nT1C.015F095S3\nX01Y01\nT2C0.04\nX02Y01\nT0101\nX03Y01\nM30\n");
  ASSERT_TRUE(body.accepted) << body.refusal;
  EXPECT_EQ(Holes(body), (V{{1000, 1000, 15}, {2000, 1000, 40}, {3000, 1000, 15}}));
  DrillRead allegro = ReadDrill(
      ";LEADER: 12\n;T01 Holesize 1. = 8.000000 Tolerance = +3.000000/-3.000000 PLATED MILS "
      "Quantity = 1\n;T02 Holesize 2. = 1.016000 Tolerance = +0/-0 PLATED MM Quantity = 1\n%\n"
      "G90\nT01\nX004450Y000200\nT02\nX-001000Y010000\nM30\n");
  ASSERT_TRUE(allegro.accepted) << allegro.refusal;
  EXPECT_EQ(Holes(allegro), (V{{445, 20, 8}, {-100, 1000, 40}}));
}

// Slots (G85) and routed cuts: G01 paths between M15 and M16 as one stroke each, arcs by
// centre (I, J from the start) and by radius, moves without M15 cutting nothing, G05 back
// to drilling, and M30 on the same line as the last hole.
TEST(Excellon, SlotsAndRoutes) {
  DrillRead r = ReadDrill(
      "M48\nINCH,TZ\nT1C0.05\nT2C0.1\n%\nT1\nX1000Y2000G85X3000Y2000\n"
      "T2\nG00X0Y0\nM15\nG01X1000\nY1000\nX0\nM16\n"
      "G00X0Y0\nG01X5000Y5000\n"
      "G00X10000Y0\nM15\nG03X20000Y0I5000J0\nG02X30000Y0A5000\nM17\n"
      "G05\nT1\nX500Y500M30\nX9999Y9999\n");
  ASSERT_TRUE(r.accepted) << r.refusal;
  ASSERT_EQ(r.image.Count, 5);
  EXPECT_EQ(r.rec(0).Kind, rkTrack);  // the slot
  EXPECT_EQ(r.rec(0).Size, 50);
  EXPECT_EQ(Points(r.rec(0)), (std::vector<int32_t>{100, 200, 300, 200}));
  EXPECT_EQ(r.rec(1).Kind, rkTrack);  // the routed square's three sides, one stroke
  EXPECT_EQ(r.rec(1).Size, 100);
  EXPECT_EQ(Points(r.rec(1)), (std::vector<int32_t>{0, 0, 100, 0, 100, 100, 0, 100}));
  // Counterclockwise half circle about (1.5, 0): start (1, 0), end (2, 0).
  EXPECT_EQ(r.rec(2).Kind, rkArc);
  EXPECT_EQ(At(r.rec(2)), (TPoint{1500, 0}));
  EXPECT_EQ(Points(r.rec(2)), (std::vector<int32_t>{-500, 0, 500, 0}));
  // Clockwise by radius from (2, 0) to (3, 0): the centre is (2.5, 0); stored
  // counterclockwise, from the end to the start.
  EXPECT_EQ(r.rec(3).Kind, rkArc);
  EXPECT_EQ(r.rec(3).X, 2500);
  EXPECT_EQ(Points(r.rec(3)), (std::vector<int32_t>{500, 0, -500, 0}));
  EXPECT_EQ(Holes(r), (V{{50, 50, 50}}));

  // A short arc by radius turns the right way: clockwise quarter from (0, 0) to (1, 1)
  // about (1, 0), counterclockwise about (0, 1).
  DrillRead q = ReadDrill(
      "M48\nINCH,TZ\nT1C0.01\n%\nT1\nG00X0Y0\nM15\nG02X10000Y10000A10000\nM16\n"
      "G00X0Y0\nM15\nG03X10000Y10000A10000\nM16\nM30\n");
  ASSERT_TRUE(q.accepted) << q.refusal;
  ASSERT_EQ(q.image.Count, 2);
  EXPECT_EQ(At(q.rec(0)), (TPoint{1000, 0}));
  EXPECT_EQ(At(q.rec(1)), (TPoint{0, 1000}));

  DrillRead unplunged = ReadDrill("M48\nINCH,TZ\nT1C0.25\n%\nT1\nG00X0Y0\nG01X2500Y2500\nM30\n");
  EXPECT_FALSE(unplunged.accepted);
  EXPECT_NE(unplunged.refusal.find("never plunge"), std::string::npos) << unplunged.refusal;
}

// Files a drill would not take, and hostile ones: each refused with its reason.
TEST(Excellon, RefusedWithAReason) {
  const std::map<std::string, std::string> cases = {
      {"M48\nINCH\nT1C0.05\n%\nT99\nX1Y1\nM30\n", "uses tool T99, which has no diameter (line 6)"},
      {"M48\nINCH\nT1C0.05\n%\nX1Y1\nM30\n", "drills before any tool is selected"},
      {"M48\nINCH\nT10950C0.12345\n%\nM30\n", "names tool T10950, beyond any drill's tool table"},
      {"M48\nINCH\nT1C0.05\n%\nT1\nX99999999.0Y0\nM30\n", "beyond the 32-bit image (line 6)"},
      {"M48\nINCH\nT1C99999999\n%\nT1\nX0Y0\nM30\n", "beyond the 32-bit image"},
      {"M48\nINCH,LZ\nT1C0.05\n%\nT1\nX00060236Y-00038189\nM30\n",
       "states no number format, and its coordinates of 8 digits do not fit the 2.4 format"},
      {"M48\nINCH,TZ\nT1C0.05\n%\nT1\nX1Y1\nR4200X1\nM30\n",
       "repeats ask for more holes than its size allows"},
      {"M48\nMETRIC\n%\nM30\n", "Drill file without a hole or slot"},
  };
  for (const auto& [text, reason] : cases) {
    SCOPED_TRACE(text);
    DrillRead r = ReadDrill(text);
    EXPECT_FALSE(r.accepted);
    EXPECT_NE(r.refusal.find(reason), std::string::npos) << r.refusal;
  }
  // A tool table and repeats at their limits are fine.
  DrillRead full = ReadDrill("M48\nINCH,TZ\nT999C0.01\n%\nT999\nX1Y1\nR4096X1\nM30\n");
  EXPECT_TRUE(full.accepted) << full.refusal;
  EXPECT_EQ(full.image.Count, 4097);

  // An endless file is refused once it is larger than any drill file, without holding
  // more than that.
  size_t handed = 0;
  const std::string start = "M48\nINCH,TZ\nT1C0.01\n%\nT1\n";
  TID_DrawFileFormat image;
  const std::string why = RefusalOf<EDrillRefused>([&] {
    ReadExcellon(
        start,
        [&handed](char* buf, size_t size) {
          for (size_t i = 0; i < size; ++i) buf[i] = "X1Y1\n"[(handed + i) % 5];
          handed += size;
          return size;
        },
        image);
  });
  EXPECT_NE(why.find("larger than 16 MiB"), std::string::npos) << why;
  EXPECT_LE(handed, kMaxDrillBytes + (2u << 20));
}

// Drill or Gerber by the content: the start of real files of both kinds, a Gerber file
// named .drl, a drill file named .gbr (ReadDrill names every file .gbr).
TEST(Excellon, DrillOrGerberByContent) {
  for (const char* head : {"M48\nINCH\n", ";LEADER: 12\n;T01 Holesize 1.\n%\nG90\nT01\n",
                           "%\nT1C.015F095S3\n", "G90\r\nM72\r\nM48\r\n", "INCH,TZ\n%\nM48\n",
                           ";GenerationSoftware,EAGLE*%\nM48\n", "%\nG90\nF1\nM16\nT01\n"})
    EXPECT_TRUE(LooksLikeExcellon(head)) << head;
  for (const char* head :
       {"G04 drill layer*\n%FSLAX24Y24*%\n", "%FSLAX24Y24*%\n%MOIN*%\n", "%\nFSLAX24Y24*%\nM48\n",
        "G04 comment\n*\nT1\n", "README\nM48\n", "", "X1Y1\nT1\n"})
    EXPECT_FALSE(LooksLikeExcellon(head)) << head;

  TempDir dir;
  WriteFile(dir / "top.drl", "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.01*%\nD10*\nX1Y1D03*\nM02*\n");
  DrillRead g = ReadGerberPath(dir / "top.drl");
  EXPECT_TRUE(g.accepted);
  ASSERT_EQ(g.image.Count, 1);
  EXPECT_EQ(g.rec(0).Size, 10);
  DrillRead d = ReadDrill("M48\r\nINCH,TZ\r\nT1C0.032\r\n%\r\nT1\r\nX10000Y20000\r\nM30\r\n");
  EXPECT_TRUE(d.accepted);
  EXPECT_EQ(Holes(d), (V{{1000, 2000, 32}}));
  // The same bytes in memory take the same road.
  TID_DrawFileFormat image;
  EXPECT_TRUE(ReadGerberBytes("M48\nINCH,TZ\nT1C0.032\n%\nT1\nX10000Y20000\nM30\n", image,
                              kDefaultGerberFormat));
  EXPECT_EQ(image.Count, 1);
}

// Every drill file of the corpus: the ones a fabricator takes are read with the counts of
// the index (a hole per hit, a record per slot and per plunged cut), the others are
// refused with their reason.
TEST(Excellon, CorpusDrillFiles) {
  const fs::path corpus = CorpusDir();
  if (corpus.empty() || !fs::exists(corpus / "drill/INDEX.tsv")) GTEST_SKIP() << "no corpus";
  const std::map<std::string, std::string> refused = {
      {"gerbonara/allegro-2/MinnowMax_RevA1_NCDRILL.drl", "8 digits do not fit the 2.4 format"},
      {"gerbonara/allegro-2/MinnowMax_RevA1_NCROUTE.rou", "8 digits do not fit the 2.4 format"},
      {"gerbonara/allegro/08_057494d.rou", "uses tool T1, which has no diameter"},
      {"gerbonara/zuken-emulated/8seg_Driver__routed_Drill_thru_nplt.fdr", "8 digits"},
      {"gerbonara/zuken-emulated/8seg_Driver__routed_Drill_thru_plt.fdr", "8 digits"},
      {"gerbonara/misc-tests/test_syntax_error.exc", "uses tool T99, which has no diameter"},
      {"gerbv/numpres/numpres.pcb.output_unplated-drill.grb", "without a hole or slot"},
      {"gerbv/test-inputs/empty.xnc", "without a hole or slot"},
      {"gerbv/test-inputs/test-out-of-bounds-drill-tool.exc", "tool T10950, beyond"},
      {"tracespace/fixtures-drill/arc-route.drl", "never plunge the tool with M15"},
      {"tracespace/fixtures-drill/linear-route.drl", "never plunge the tool with M15"},
  };
  // Records beyond the index's hits: holes made by repeats, and the arcs of routed cuts.
  const std::map<std::string, int> repeated = {
      {"gerbonara/allegro/ncdrill-1-4.drl", 101},
      {"gerbv/test-inputs/test-drill-repeat-1.exc", 30 - 6},
  };
  std::ifstream index(corpus / "drill/INDEX.tsv");
  std::string line;
  std::getline(index, line);
  int accepted = 0, refusals = 0;
  while (std::getline(index, line)) {
    std::vector<std::string> f;
    std::stringstream cells(line);
    for (std::string c; std::getline(cells, c, '\t');) f.push_back(c);
    ASSERT_GE(f.size(), 10u) << line;
    SCOPED_TRACE(f[0]);
    const DrillRead r = ReadGerberPath(corpus / "drill" / f[0]);
    auto no = refused.find(f[0]);
    if (no != refused.end()) {
      EXPECT_FALSE(r.accepted);
      EXPECT_NE(r.refusal.find(no->second), std::string::npos) << r.refusal;
      ++refusals;
      continue;
    }
    ASSERT_TRUE(r.accepted) << r.refusal;
    ++accepted;
    const int holes = std::stoi(f[7]), slots = std::stoi(f[8]), routes = std::stoi(f[9]);
    auto rep = repeated.find(f[0]);
    const int extra = rep == repeated.end() ? 0 : rep->second;
    int circles = 0, strokes = 0;
    for (int32_t i = 0; i < r.image.Count; ++i) (r.rec(i).Kind == rkCircle ? circles : strokes)++;
    EXPECT_EQ(circles, holes + extra);
    EXPECT_EQ(strokes, slots + routes);
    // A board: some holes, within 20 inches (the hand-made imitation of an old composite
    // file puts its holes 10 inches apart), every hole of a real size.
    const int32_t limit =
        f[0] == "gerbonara/misc-tests/altium-old-composite-drill.txt" ? 40000 : 20000;
    EXPECT_LT(r.image.MinX, r.image.MaxX);
    EXPECT_LT(r.image.MaxX - r.image.MinX, limit);
    EXPECT_LT(r.image.MaxY - r.image.MinY, limit);
    for (int32_t i = 0; i < r.image.Count; ++i) {
      EXPECT_GT(r.rec(i).Size, 0);
      EXPECT_LE(r.rec(i).Size, 5500);  // the largest: a 139.7 mm cut-out of an OrCAD board
    }
  }
  EXPECT_EQ(refusals, static_cast<int>(refused.size()));
  EXPECT_GE(accepted, 60);
}

// The board's own copper is the reference for where holes go: every hole of these drill
// files (Altium, Allegro, OrCAD, EasyEDA, PADS, Xpedition and two others) lies on the centre of a
// flash of its board's Gerber layers (within 3 thousandths). Several are files an independent
// viewer misreads (a ;FILE_FORMAT comment, no stated format, tools in mils), so its picture cannot
// be the reference here.
TEST(Excellon, CorpusHolesLieOnTheirBoardsPads) {
  const fs::path corpus = CorpusDir();
  if (corpus.empty() || !fs::exists(corpus / "drill/INDEX.tsv")) GTEST_SKIP() << "no corpus";
  struct Board {
    const char* drill;
    std::vector<const char*> layers;
  };
  const std::vector<Board> boards = {
      {"gerbonara/altium-composite-drill/LimeSDR-QPCIe_1v2-RoundHoles.TXT",
       {"gerbonara/altium-composite-drill/LimeSDR-QPCIe_1v2.GTL"}},
      {"gerbonara/allegro/ncdrill-1-4.drl", {"gerbonara/allegro/l1_primary.art"}},
      {"gerbonara/easyeda/Gerber_Drill_PTH.DRL", {"gerbonara/easyeda/Gerber_TopLayer.GTL"}},
      {"gerbonara/orcad/arena_12-12_v6_L1-L6.drl", {"gerbonara/orcad/TOP.art"}},
      {"gerbonara/pads/Drill.drl", {"gerbonara/pads/Top.pho"}},
      {"gerbonara/siemens/80101_0125_F200_ThruHolePlated.ncd",
       {"gerbonara/siemens/80101_0125_F200_L01_Top.gdo"}},
      {"gerbv/ekf2/drill20.exc", {"gerbv/ekf2/l1.grb"}},
      {"tracespace/usbvil/pic18f14k50.txt", {"tracespace/usbvil/pic18f14k50.gtl"}},
  };
  for (const Board& b : boards) {
    SCOPED_TRACE(b.drill);
    const DrillRead drill = ReadGerberPath(corpus / "drill" / b.drill);
    ASSERT_TRUE(drill.accepted) << drill.refusal;
    std::set<std::pair<int32_t, int32_t>> pads;
    for (const char* layer : b.layers) {
      ASSERT_TRUE(fs::exists(corpus / layer)) << layer;
      const DrillRead copper = ReadGerberPath(corpus / layer);
      ASSERT_TRUE(copper.accepted) << layer;
      for (int32_t i = 0; i < copper.image.Count; ++i)
        if (copper.rec(i).Kind != rkTrack && copper.rec(i).Kind != rkArc)
          pads.insert({copper.rec(i).X, copper.rec(i).Y});
    }
    const auto onPad = [&](int32_t x, int32_t y) {
      for (int32_t dx = -3; dx <= 3; ++dx)
        for (int32_t dy = -3; dy <= 3; ++dy)
          if (pads.count({x + dx, y + dy})) return true;
      return false;
    };
    const V holes = Holes(drill);
    ASSERT_GT(holes.size(), 30u);
    size_t off = 0;
    for (const std::vector<int32_t>& h : holes) off += !onPad(h[0], h[1]);
    EXPECT_EQ(off, 0u) << "of " << holes.size() << " holes";
  }
}
