// Minimal boards followed through every stage: the reader's records, the document items of
// the page and the decompressed page content, each compared with values worked out by
// hand from the RS-274-X rules, the drawing transform, the metafile mapping and the PDF
// operators. Every file is 2.4 inch with leading zeros omitted, so X10000 is 1.0 inch,
// 1000 image units.
//
// Shared steps of the derivations:
// - Page: Letter, landscape when wider than high; 8500 x 11000 (or 11000 x 8500) canvas
//   units. Scale s = 0.9 x page side / board side, whichever ratio is larger; visible
//   window trunc(page / s); origin -trunc(page / s / 2 - centre of the extents).
// - MapX(x) = Round((x - ox) / vw x pw); MapY(y) = Round(ph - (y - oy) / vh x ph); pen
//   widths Round(n x pw / vw). Round adds 0.50001 away from zero and truncates.
// - Items: canvas units x 96 / 1000 screen pixels; pen widths stay canvas units.
// - Content: "q 0.0960 0 0 0.0960 0 0 cm" scales input dots to points, so a canvas x is
//   written as 0.75 x; y as 8250 - 0.75 y on a portrait page, 6375 - 0.75 y on a
//   landscape one; pen widths 0.75 x width.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "app/driver.h"
#include "app/layout.h"
#include "docengine/engine.h"
#include "docengine/items.h"
#include "gerber/reader.h"
#include "pdf/engine.h"
#include "platform/fonts.h"
#include "platform/logfile.h"
#include "support/support.h"

namespace fs = std::filesystem;
using namespace pv;
using namespace pvtest;

namespace {

const std::string kHeader = "%FSLAX24Y24*%\n%MOIN*%\n";

// What the page's item list held when the engine began rendering the page.
struct SeenItem {
  TgtItemClass Class = TgtItemClass::icOther;
  uint8_t Kind = 0;
  std::vector<TgtPoint> Points;
  TPen Pen;
  TBrush Brush;
  double X = 0, Y = 0;
  std::u16string Line;
  TFont Font;
  uint8_t FromMetafile = 0;
  uint8_t EndFlag = 0;
};

std::vector<SeenItem> Snapshot(const TgtItemList& list) {
  std::vector<SeenItem> seen;
  for (const TgtDocumentItem& item : list) {
    SeenItem s;
    s.Class = item.ItemClass();
    if (auto* shape = ItemCast<TgtShapeItem>(&item)) {
      s.Kind = shape->Kind;
      s.Points.assign(shape->Points.begin(), shape->Points.end());
      s.Pen = shape->Pen;
      s.Brush = shape->Brush;
    } else if (auto* text = ItemCast<TgtTextItem>(&item)) {
      s.X = text->X;
      s.Y = text->Y;
      if (!text->Lines.empty()) s.Line = text->Lines.front();
      s.Font = text->Font;
      s.Brush = text->Brush;
      s.FromMetafile = text->FromMetafile;
    } else if (auto* eof = ItemCast<TgtEOFItem>(&item)) {
      s.EndFlag = eof->EndFlag;
    }
    seen.push_back(std::move(s));
  }
  return seen;
}

// Inflates the content stream of the first page of a PDF.
std::string PageContent(const std::string& pdf) {
  size_t at = pdf.find("/Contents ");
  if (at == std::string::npos) return "no /Contents";
  int object = std::atoi(pdf.c_str() + at + 10);
  std::string header = "\n" + std::to_string(object) + " 0 obj\r\n";
  size_t obj = pdf.find(header);
  if (obj == std::string::npos) return "no content object";
  size_t begin = pdf.find("stream\r\n", obj);
  size_t end = pdf.find("\r\nendstream", begin);
  if (begin == std::string::npos || end == std::string::npos) return "no stream";
  begin += 8;
  std::string out;
  if (!Inflate(std::string_view(pdf).substr(begin, end - begin), out))
    return "stream does not inflate";
  return out;
}

struct Conversion {
  bool accepted = false;
  TID_DrawFileFormat image;
  std::vector<SeenItem> items;
  std::string content;        // of the document made in this process
  std::string binaryContent;  // of the document the real binary wrote
};

// The driver's road for one file named f.gbr: tables reset, the file read with the
// default format, one page laid out and the document ended; the items are taken when the
// engine begins rendering the page. The same file also goes through the real binary.
Conversion Convert(const std::string& gerber) {
  Conversion c;
  TempDir dir;
  WriteFile(dir / "f.gbr", gerber);
  ResetReaderTables();
  c.accepted = ReadGerberFile((dir / "f.gbr").string(), c.image, kDefaultGerberFormat);
  if (!c.accepted) return c;
  TID_DrawFileFormat drawn = c.image;

  LogFile log;  // not opened: the messages go nowhere
  std::ostringstream out;
  Messages messages(log, out);
  std::vector<uint8_t> pdf;
  PdfPageLayout layout(messages, DriverSettings{});
  layout.SetMemoryOutput(&pdf);
  layout.LayoutPage("f.gbr", drawn, 1);
  layout.Engine()->OnBeforeBeginPage = [&](TgtCustomDocumentEngine& engine) {
    c.items = Snapshot(engine.PageItemList());
  };
  EXPECT_TRUE(layout.FinishDocument());
  c.content = PageContent(std::string(pdf.begin(), pdf.end()));

  fs::path exe = InstallBinary(dir.path());
  RunResult r = RunProgram({exe.string(), "f.gbr"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  c.binaryContent = PageContent(ReadFile(dir / "f_gbr.pdf"));
  return c;
}

std::vector<int32_t> Values(const TID_DrawRecord& r) {
  return std::vector<int32_t>(r.Points.begin(), r.Points.end());
}

// The conversion's one record: its kind, reference point and width.
const TID_DrawRecord& OnlyRecord(const Conversion& c, TID_RecordKind kind, int32_t x, int32_t y,
                                 int32_t size) {
  EXPECT_EQ(c.image.Count, 1);
  const TID_DrawRecord& r = c.image.Records.at(0);
  EXPECT_EQ(r.Kind, kind);
  EXPECT_EQ(r.X, x);
  EXPECT_EQ(r.Y, y);
  EXPECT_EQ(r.Size, size);
  return r;
}

// A record's box about its reference point and an image's extents: min x, min y, max x,
// max y.
std::vector<int32_t> OffsetBox(const TID_DrawRecord& r) {
  return {r.MinDX, r.MinDY, r.MaxDX, r.MaxDY};
}
std::vector<int32_t> Extents(const TID_DrawFileFormat& image) {
  return {image.MinX, image.MinY, image.MaxX, image.MaxY};
}

void ExpectPoints(const SeenItem& item, const std::vector<TgtPoint>& expected) {
  ASSERT_EQ(item.Points.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_NEAR(item.Points[i].X, expected[i].X, 1e-9) << "point " << i;
    EXPECT_NEAR(item.Points[i].Y, expected[i].Y, 1e-9) << "point " << i;
  }
}

// A shape item of this kind over these points, drawn with this pen.
void ExpectShape(const SeenItem& item, uint8_t kind, const std::vector<TgtPoint>& points,
                 const TPen& pen) {
  EXPECT_EQ(item.Class, TgtItemClass::icShape);
  EXPECT_EQ(item.Kind, kind);
  ExpectPoints(item, points);
  EXPECT_EQ(item.Pen, pen);
}

// Items every page has around its board: ClearPage's white fill first, the two caption
// lines and the end of the recording last. The fill is the first fill of the page, so it
// keeps its destination rectangle (0, 0)-(8500, 11000) canvas units = (0, 0)-(816, 1056)
// pixels; its pen is the canvas default (width 1) recoloured with the solid brush.
// Captions: TextOut at (100, 120) and (100, 240) = (9.6, 11.52) and (9.6, 23.04) pixels,
// top-left aligned; font Helvetica 90 (lfHeight -120 at 96 pixels per inch), black, on a
// transparent background.
void ExpectFrameItems(const std::vector<SeenItem>& items, bool landscape, size_t boardItems) {
  ASSERT_EQ(items.size(), boardItems + 4);
  ExpectShape(items[0], skRectangle,
              {{0, 0}, landscape ? TgtPoint{1056, 816} : TgtPoint{816, 1056}},
              TPen{clWhite, 1, TPenStyle::psSolid});
  EXPECT_EQ(items[0].Brush, (TBrush{clWhite, TBrushStyle::bsSolid}));

  const char16_t* lines[] = {u"Made with Plotvane", u"File Name: f.gbr"};
  const double tops[] = {11.52, 23.04};
  for (size_t i = 0; i < 2; ++i) {
    const SeenItem& t = items[boardItems + 1 + i];
    EXPECT_EQ(t.Class, TgtItemClass::icText);
    EXPECT_EQ(t.Line, lines[i]);
    EXPECT_NEAR(t.X, 9.6, 1e-9);
    EXPECT_NEAR(t.Y, tops[i], 1e-9);
    EXPECT_EQ(t.Font.Name, "Helvetica");
    EXPECT_EQ(t.Font.Size(), 90);
    EXPECT_EQ(t.Font.Color, clBlack);
    EXPECT_EQ(t.Brush.Style, TBrushStyle::bsClear);
    EXPECT_EQ(t.FromMetafile, 1);
  }
  EXPECT_EQ(items.back().Class, TgtItemClass::icEOF);
  EXPECT_EQ(items.back().EndFlag, 1);
}

// The board's one item, between the frame items.
const SeenItem& OnlyBoardItem(const Conversion& c, bool landscape) {
  ExpectFrameItems(c.items, landscape, 1);
  return c.items.at(1);
}

// A path filled in one colour and outlined in it with a pen of the given width (points),
// the way the page's fill and the board's pads are written.
std::string FillAndStroke(const std::string& rgb, const std::string& path,
                          const std::string& width) {
  return "\r\nq\r\n" + rgb + " rg " + path + " f []0 d " + width + " w " + rgb + " RG " + path +
         " s\r\nQ";
}
const std::string kBlack = "0.0000 0.0000 0.0000", kWhite = "1.0000 1.0000 1.0000";

// Content before the board: the input-dot scaling, the page background (612 x 792 points
// = 6375 x 8250 content units) and ClearPage's fill, filled and outlined in white with
// the 1-unit pen (0.75).
std::string PageStart(bool landscape) {
  std::string box =
      landscape ? "0.0000 0.0000 8250.0000 6375.0000 re" : "0.0000 0.0000 6375.0000 8250.0000 re";
  return "q 0.0960 0 0 0.0960 0 0 cm\r\n"
         "\r\nq\r\n1.0000 1.0000 1.0000 rg n " +
         box + " f \r\n\r\nQ" + FillAndStroke(kWhite, box, "0.7500");
}

// Content after the board: the two captions and the page's closing.
// Text origin: x = 0.75 x 100 = 75; y = (top of the text) - size + underline thickness
// = (8250 - 0.75 x 120) - 90 + 9 = 8079 for the first line on a portrait page, 7989 for
// the second (6204 and 6114 landscape). Helvetica is not embedded and is measured with
// its standard widths (per character, rounded to whole pixels at 120 pixels per em):
// "Made with Plotvane": widths sum 8726, 1049 pixels = 786.75 points at size 90, against
// 8726 x 0.09 = 785.34: Tc = 1.41 / 18 = 0.0783.
// "File Name: f.gbr": widths sum 7113, 854 pixels = 640.5 points, against 640.17:
// Tc = 0.33 / 16 = 0.0206.
std::string PageEnd(bool landscape) {
  auto line = [](const std::string& tc, const std::string& y, const std::string& text) {
    return "\r\n\r\n\r\n q BT\r\n0 Tr\r\n0.0000 0.0000 0.0000 rg\r\n/F0 90.0000 Tf\r\n " + tc +
           " Tc 0 Tw\r\n75.0000 " + y + " Td\r\n[(" + text + ")0.0000 ]TJ \r\nET Q \r\n";
  };
  return line("0.0783", landscape ? "6204.0000" : "8079.0000", "Made with Plotvane") +
         line("0.0206", landscape ? "6114.0000" : "7989.0000", "File Name: f.gbr") + "\r\nQ\r\n";
}

void ExpectContent(const Conversion& c, bool landscape, const std::string& board) {
  if (fonts::IsInstalled("Helvetica"))
    GTEST_SKIP() << "an installed Helvetica face changes the caption's metrics";
  std::string expected = PageStart(landscape) + board + PageEnd(landscape);
  EXPECT_EQ(c.content, expected);
  EXPECT_EQ(c.binaryContent, expected);
}

}  // namespace

// %ADD10C,0.1000*% and a flash at X10000Y5000.
TEST(Conformance, RoundFlash) {
  Conversion c = Convert(kHeader + "%ADD10C,0.1000*%\nD10*\nX10000Y5000D03*\nM02*\n");
  ASSERT_TRUE(c.accepted);
  // Records: the diameter 0.1 inch is 100 units; the flash at (1000, 500) is a circle with
  // box -50..50 (100 div 2); extents (950, 450)-(1050, 550).
  const TID_DrawRecord& r = OnlyRecord(c, rkCircle, 1000, 500, 100);
  EXPECT_EQ(r.Count, 0);
  EXPECT_EQ(OffsetBox(r), (std::vector<int32_t>{-50, -50, 50, 50}));
  EXPECT_EQ(Extents(c.image), (std::vector<int32_t>{950, 450, 1050, 550}));

  // 100 x 100: portrait Letter. Ratio 1 > 8500 / 11000, s = 7650 / 100 = 76.5; window
  // 111 x 143 (trunc 111.11, 143.79); origin (944, 428) (trunc 944.44, 428.10).
  // Pen: Round(1 x 8500 / 111 = 76.58) = 77. Ellipse: MapX(950) = Round(6 / 111 x 8500 =
  // 459.46) = 459, MapY(550) = Round(11000 - 122 / 143 x 11000 = 1615.38) = 1615,
  // MapX(1050) = Round(8117.12) = 8117, MapY(450) = Round(9307.69) = 9308.
  // Items: x 0.096 -> (44.064, 155.04)-(779.232, 893.568), solid black, pen 77.
  const SeenItem& e = OnlyBoardItem(c, false);
  EXPECT_EQ(e.Brush, (TBrush{clBlack, TBrushStyle::bsSolid}));
  ExpectShape(e, skEllipse, {{44.064, 155.04}, {779.232, 893.568}},
              TPen{clBlack, 77, TPenStyle::psSolid});

  // Content: box x 344.25..6087.75, y 8250 - 0.75 x 1615 = 7038.75 (top) .. 1269; centre
  // (3216, 4153.875); Bezier offsets k = 4/3 (sqrt 2 - 1) = 0.5522847 of the half sides
  // 2871.75 and 2884.875: 1586.0237 and 1593.2725. Filled, then stroked 0.75 x 77 = 57.75.
  const std::string path =
      "3216.0000 7038.7500 m 4802.0237 7038.7500 6087.7500 5747.1475 6087.7500 4153.8750 c "
      "6087.7500 2560.6025 4802.0237 1269.0000 3216.0000 1269.0000 c "
      "1629.9763 1269.0000 344.2500 2560.6025 344.2500 4153.8750 c "
      "344.2500 5747.1475 1629.9763 7038.7500 3216.0000 7038.7500 c";
  ExpectContent(c, false, FillAndStroke(kBlack, path, "57.7500"));
}

// %ADD10R,0.2000X0.1000*% and a flash at X10000Y5000.
TEST(Conformance, RectangleFlash) {
  Conversion c = Convert(kHeader + "%ADD10R,0.2000X0.1000*%\nD10*\nX10000Y5000D03*\nM02*\n");
  ASSERT_TRUE(c.accepted);
  // Records: 200 x 100 units, offsets -(200 div 2) .. 100 and -50 .. 50 about (1000, 500).
  const TID_DrawRecord& r = OnlyRecord(c, rkRectangle, 1000, 500, 0);
  EXPECT_EQ(Values(r), (std::vector<int32_t>{-100, -50, 100, 50}));
  EXPECT_EQ(Extents(c.image), (std::vector<int32_t>{900, 450, 1100, 550}));

  // 200 x 100: landscape Letter 11000 x 8500. s = 9900 / 200 = 49.5; window 222 x 171;
  // origin (888, 414). Pen Round(11000 / 222 = 49.55) = 50. FillRect: MapX(900) =
  // Round(12 / 222 x 11000 = 594.59) = 595, MapY(550) = Round(8500 - 136 / 171 x 8500 =
  // 1739.77) = 1740, MapX(1100) = Round(10504.50) = 10505, MapY(450) = Round(6710.53) =
  // 6711. Not the page's first fill: the record's inclusive bounds (595, 1740)-(10504,
  // 6710), x 0.096. Solid black brush, opaque background: the pen takes the brush colour.
  const SeenItem& f = OnlyBoardItem(c, true);
  EXPECT_EQ(f.Brush, (TBrush{clBlack, TBrushStyle::bsSolid}));
  ExpectShape(f, skRectangle, {{57.12, 167.04}, {1008.384, 644.16}},
              TPen{clBlack, 50, TPenStyle::psSolid});

  // Content: lower-left (0.75 x 595, 6375 - 0.75 x 6710) = (446.25, 1342.5), size
  // 0.75 x 9909 = 7431.75 by 0.75 x 4970 = 3727.5; filled, then stroked 37.5 wide.
  const std::string re = "446.2500 1342.5000 7431.7500 3727.5000 re";
  ExpectContent(c, true, FillAndStroke(kBlack, re, "37.5000"));
}

// %ADD10C,0.0100*%, X0Y0D02, X10000Y5000D01: one diagonal draw.
TEST(Conformance, TwoPointTrackWithRoundAperture) {
  Conversion c = Convert(kHeader + "%ADD10C,0.0100*%\nD10*\nX0Y0D02*\nX10000Y5000D01*\nM02*\n");
  ASSERT_TRUE(c.accepted);
  // Records: the path (0, 0), (1000, 500) of width 10; its box grown by 5 is (-5, -5)-
  // (1005, 505), centre (500, 250); not along an axis: a track of the two points relative
  // to the centre, box -505..505 by -255..255.
  const TID_DrawRecord& r = OnlyRecord(c, rkTrack, 500, 250, 10);
  EXPECT_EQ(Values(r), (std::vector<int32_t>{-500, -250, 500, 250}));
  EXPECT_EQ(OffsetBox(r), (std::vector<int32_t>{-505, -255, 505, 255}));
  EXPECT_EQ(Extents(c.image), (std::vector<int32_t>{-5, -5, 1005, 505}));

  // 1010 x 510: landscape Letter. s = 9900 / 1010 = 9.80198; window 1122 x 867
  // (trunc 1122.22, 867.17); origin (-61, -183) (offsets 61.11, 183.59). Pen Round(10 x
  // 11000 / 1122 = 98.04) = 98. MoveTo(MapX(0) = Round(61 / 1122 x 11000 = 598.04) = 598,
  // MapY(0) = Round(8500 - 183 / 867 x 8500 = 6705.88) = 6706), LineTo(MapX(1000) =
  // Round(10401.96) = 10402, MapY(500) = Round(1803.92) = 1804). Item: a line from the
  // current position, x 0.096.
  const SeenItem& l = OnlyBoardItem(c, true);
  // A round aperture swept along a path: the canvas's geometric pen, round ends and joins.
  ExpectShape(l, skLine, {{57.408, 643.776}, {998.592, 173.184}},
              TPen{clBlack, 98, TPenStyle::psSolid, TPenEndCap::pecRound, TPenJoin::pjRound});

  // Content: (448.5, 6375 - 5029.5 = 1345.5) to (7801.5, 6375 - 1353 = 5022), 73.5 wide,
  // round caps and joins (1 J 1 j) after the width.
  ExpectContent(c, true,
                "\r\nq []0 d 73.5000 w 1 J 1 j 0.0000 0.0000 0.0000 RG 448.5000 1345.5000 m "
                "7801.5000 5022.0000 l S\r\nQ");
}

// %ADD10R,0.0200X0.0200*%, X0Y0D02, X10000Y0D01: a square aperture along the x axis.
TEST(Conformance, AxisAlignedDrawWithRectangularAperture) {
  Conversion c = Convert(kHeader + "%ADD10R,0.0200X0.0200*%\nD10*\nX0Y0D02*\nX10000Y0D01*\nM02*\n");
  ASSERT_TRUE(c.accepted);
  // Records: the path (0, 0), (1000, 0) of width 20, box (-10, -10)-(1010, 10), centre
  // (500, 0); horizontal with a rectangular aperture: one rectangle -510..510 by -10..10.
  const TID_DrawRecord& r = OnlyRecord(c, rkRectangle, 500, 0, 0);
  EXPECT_EQ(Values(r), (std::vector<int32_t>{-510, -10, 510, 10}));
  EXPECT_EQ(Extents(c.image), (std::vector<int32_t>{-10, -10, 1010, 10}));

  // 1020 x 20: landscape Letter. s = 9900 / 1020 = 9.70588; window 1133 x 875 (trunc
  // 1133.33, 875.76); origin (-66, -437) (offsets 66.67, 437.88). Pen Round(11000 / 1133 =
  // 9.71) = 10. FillRect: MapX(-10) = Round(56 / 1133 x 11000 = 543.69) = 544, MapY(10) =
  // Round(8500 - 447 / 875 x 8500 = 4157.71) = 4158, MapX(1010) = Round(10446.60) = 10447,
  // MapY(-10) = 8500 - 4148 = 4352. Inclusive bounds (544, 4158)-(10446, 4351) x 0.096.
  const SeenItem& f = OnlyBoardItem(c, true);
  EXPECT_EQ(f.Brush, (TBrush{clBlack, TBrushStyle::bsSolid}));
  ExpectShape(f, skRectangle, {{52.224, 399.168}, {1002.816, 417.696}},
              TPen{clBlack, 10, TPenStyle::psSolid});

  // Content: (408, 6375 - 0.75 x 4351 = 3111.75), 0.75 x 9902 = 7426.5 by 0.75 x 193 =
  // 144.75; pen 7.5.
  const std::string re = "408.0000 3111.7500 7426.5000 144.7500 re";
  ExpectContent(c, true, FillAndStroke(kBlack, re, "7.5000"));
}

// G75, then G03 from (1000, 0) with I-10000 J0 back to (1000, 0).
TEST(Conformance, MultiQuadrantFullCircle) {
  Conversion c = Convert(kHeader +
                         "%ADD10C,0.0100*%\nD10*\nX10000Y0D02*\nG75*\n"
                         "G03X10000Y0I-10000J0D01*\nM02*\n");
  ASSERT_TRUE(c.accepted);
  // Records: centre (1000 - 1000, 0) = (0, 0); start equals end and at the fine resolution
  // the end does not lie just after the start: a full circle, one arc with equal offsets
  // (1000, 0), radius 1000, width 10. The extents take the circle without the width.
  const TID_DrawRecord& r = OnlyRecord(c, rkArc, 0, 0, 10);
  EXPECT_EQ(Values(r), (std::vector<int32_t>{1000, 0, 1000, 0}));
  EXPECT_EQ(OffsetBox(r), (std::vector<int32_t>{-1000, -1000, 1000, 1000}));
  EXPECT_EQ(Extents(c.image), (std::vector<int32_t>{-1000, -1000, 1000, 1000}));

  // 2000 x 2000: portrait Letter. s = 7650 / 2000 = 3.825; window 2222 x 2875 (trunc
  // 2222.22, 2875.82); origin (-1111, -1437). Pen Round(10 x 8500 / 2222 = 38.25) = 38.
  // Full circle: an outline Ellipse with a clear brush: MapX(-1000) = Round(111 / 2222 x
  // 8500 = 424.62) = 425, MapY(1000) = Round(11000 - 2437 / 2875 x 11000 = 1675.83) =
  // 1676, MapX(1000) = Round(8075.38) = 8075, MapY(-1000) = Round(9328.03) = 9328.
  const SeenItem& e = OnlyBoardItem(c, false);
  EXPECT_EQ(e.Brush.Style, TBrushStyle::bsClear);
  ExpectShape(e, skEllipse, {{40.8, 160.896}, {775.2, 895.488}},
              TPen{clBlack, 38, TPenStyle::psSolid, TPenEndCap::pecRound, TPenJoin::pjRound});

  // Content: box x 318.75..6056.25, y 8250 - 1257 = 6993 .. 8250 - 6996 = 1254; centre
  // (3187.5, 4123.5); Bezier offsets 0.5522847 x 2868.75 = 1584.3669 and 0.5522847 x
  // 2869.5 = 1584.7811. No fill (clear brush), stroked 0.75 x 38 = 28.5 with the arc's
  // round pen.
  ExpectContent(c, false,
                "\r\nq\r\n[]0 d 28.5000 w 1 J 1 j 0.0000 0.0000 0.0000 RG 3187.5000 6993.0000 m "
                "4771.8669 6993.0000 6056.2500 5708.2811 6056.2500 4123.5000 c "
                "6056.2500 2538.7189 4771.8669 1254.0000 3187.5000 1254.0000 c "
                "1603.1331 1254.0000 318.7500 2538.7189 318.7500 4123.5000 c "
                "318.7500 5708.2811 1603.1331 6993.0000 3187.5000 6993.0000 c s\r\nQ");
}

// G36, a rectangle of four straight edges from (0, 0) through (1000, 500), G37.
TEST(Conformance, RegionOfFourEdges) {
  Conversion c = Convert(kHeader +
                         "%ADD10C,0.0100*%\nG36*\nX0Y0D02*\nG01X10000Y0D01*\nX10000Y5000D01*\n"
                         "X0Y5000D01*\nX0Y0D01*\nG37*\nM02*\n");
  ASSERT_TRUE(c.accepted);
  // Records: the contour (0, 0), (1000, 0), (1000, 500), (0, 500), (0, 0) with no aperture
  // width, box (0, 0)-(1000, 500), centre (500, 250): one polygon of five points, width 1
  // (1 div 2 = 0 adds nothing to the box).
  const TID_DrawRecord& r = OnlyRecord(c, rkPolygon, 500, 250, 1);
  EXPECT_EQ(Values(r),
            (std::vector<int32_t>{-500, -250, 500, -250, 500, 250, -500, 250, -500, -250}));
  EXPECT_EQ(OffsetBox(r), (std::vector<int32_t>{-500, -250, 500, 250}));
  EXPECT_EQ(Extents(c.image), (std::vector<int32_t>{0, 0, 1000, 500}));

  // 1000 x 500: landscape Letter. s = 9.9; window 1111 x 858 (trunc 1111.11, 858.59);
  // origin (-55, -179). MapX(0) = Round(55 / 1111 x 11000 = 544.55) = 545, MapX(1000) =
  // Round(10445.55) = 10446, MapY(0) = Round(8500 - 179 / 858 x 8500 = 6726.69) = 6727,
  // MapY(500) = Round(1773.31) = 1773. A polygon with a 1-unit pen and the diagonal-cross
  // brush in black.
  const SeenItem& p = OnlyBoardItem(c, true);
  EXPECT_EQ(p.Brush, (TBrush{clBlack, TBrushStyle::bsDiagCross}));
  ExpectShape(p, skPolygon,
              {{52.32, 645.792},
               {1002.816, 645.792},
               {1002.816, 170.208},
               {52.32, 170.208},
               {52.32, 645.792}},
              TPen{clBlack, 1, TPenStyle::psSolid});

  // Content: the hatch pattern PDC in black, pen 0.75, the five points (408.75, 1329.75),
  // (7834.5, 1329.75), (7834.5, 5045.25), (408.75, 5045.25), (408.75, 1329.75); filled and
  // stroked with B, not closed with h.
  ExpectContent(c, true,
                "\r\nq\r\n/CSP cs 0.0000 0.0000 0.0000 /PDC scn n []0 d 0.7500 w "
                "0.0000 0.0000 0.0000 RG 408.7500 1329.7500 m 7834.5000 1329.7500 l "
                "7834.5000 5045.2500 l 408.7500 5045.2500 l 408.7500 1329.7500 l  B \r\nQ");
}

// %ADD10C,0.0500*%, a move to X10000Y5000 and a draw to the same point: the aperture
// leaves a disc of its diameter, as a flash would (a stroke of no length shows nothing).
TEST(Conformance, ZeroLengthDrawWithRoundApertureIsADisc) {
  Conversion c =
      Convert(kHeader + "%ADD10C,0.0500*%\nD10*\nX10000Y5000D02*\nX10000Y5000D01*\nM02*\n");
  ASSERT_TRUE(c.accepted);
  // Records: a circle of diameter 50 at (1000, 500); extents (975, 475)-(1025, 525).
  OnlyRecord(c, rkCircle, 1000, 500, 50);
  EXPECT_EQ(Extents(c.image), (std::vector<int32_t>{975, 475, 1025, 525}));

  // 50 x 50: portrait Letter, s = 153; window 55 x 71; origin (972, 464). Pen Round(8500 /
  // 55 = 154.55) = 155. Ellipse: MapX(975) = Round(3 / 55 x 8500 = 463.64) = 464, MapY(525)
  // = Round(11000 - 61 / 71 x 11000 = 1549.30) = 1549, MapX(1025) = Round(8190.91) = 8191,
  // MapY(475) = Round(9295.77) = 9296; x 0.096 for the item.
  const SeenItem& e = OnlyBoardItem(c, false);
  EXPECT_EQ(e.Brush, (TBrush{clBlack, TBrushStyle::bsSolid}));
  ExpectShape(e, skEllipse, {{44.544, 148.704}, {786.336, 892.416}},
              TPen{clBlack, 155, TPenStyle::psSolid});
  EXPECT_EQ(c.content, c.binaryContent);
  EXPECT_NE(c.content.find(" f []0 d 116.2500 w 0.0000 0.0000 0.0000 RG "), std::string::npos);
}
