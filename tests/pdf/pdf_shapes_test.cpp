#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pdf/pdf_shapes.h"

using namespace pv;

namespace {

// Shapes measured in points: one engine unit is one point, no flip.
struct Writer {
  std::string content;
  std::vector<TBrushStyle> registered;
  TgtPdfShapeWriter w{content, [this](TBrushStyle s) {
                        registered.push_back(s);
                        return std::string(s == TBrushStyle::bsDiagCross ? "PDC" : "PH");
                      }};
  Writer() {
    w.Units.PointsPerUnit = 1.0;
    w.Units.PageHeight = 0;
  }
};

TPen Pen(int width, TColor c = 0, TPenStyle s = TPenStyle::psSolid) { return {c, width, s}; }

}  // namespace

TEST(PdfShapes, LineAsWrittenAndUnderAClip) {
  Writer t;
  t.w.Units.PointsPerUnit = 0.75;
  t.w.RenderLine(Pen(1), 10 / 0.75, 20 / 0.75, 30 / 0.75, 40 / 0.75);
  EXPECT_EQ(t.content,
            "\r\nq []0 d 0.7500 w 0.0000 0.0000 0.0000 RG 10.0000 20.0000 m 30.0000 40.0000 l S\r\nQ");
  t.content.clear();
  t.w.ClipActive = true;  // no q/Q around shapes under a clip
  t.w.RenderLine(Pen(0), 0, 0, 1, 1);
  EXPECT_EQ(t.content, "\r\n[]0 d 0.0000 w 0.0000 0.0000 0.0000 RG 0.0000 0.0000 m 0.7500 0.7500 l S\r\n");
  t.content.clear();
  t.w.RenderLine(Pen(1, 0, TPenStyle::psClear), 0, 0, 1, 1);
  EXPECT_EQ(t.content, "");
}

TEST(PdfShapes, FilledAndOutlinedRectangleWritesThePathTwice) {
  Writer t;
  t.w.Units.PageHeight = 100;  // y flips: the lower-left corner comes from y2
  TBrush solid{0x0000FF, TBrushStyle::bsSolid};
  t.w.RenderRectangle(Pen(2, 0x00FF00), &solid, 10, 20, 30, 50);
  EXPECT_EQ(t.content,
            "\r\nq\r\n1.0000 0.0000 0.0000 rg 10.0000 50.0000 20.0000 30.0000 re f "
            "[]0 d 2.0000 w 0.0000 1.0000 0.0000 RG 10.0000 50.0000 20.0000 30.0000 re s\r\nQ");
  t.content.clear();
  // A zero-width pen still strokes rectangles (with a zero line width).
  t.w.RenderRectangle(Pen(0), nullptr, 0, 0, 1, 1);
  EXPECT_NE(t.content.find("0.0000 w"), std::string::npos);
  EXPECT_NE(t.content.find(" re s"), std::string::npos);
}

TEST(PdfShapes, PolygonOperatorsByVisibility) {
  Writer t;
  TgtPoint tri[] = {{0, 0}, {10, 0}, {0, 10}};
  TBrush solid{0, TBrushStyle::bsSolid}, clear{0, TBrushStyle::bsClear};
  t.w.RenderPolygon(tri, 3, &solid, Pen(1), true);
  EXPECT_EQ(t.content.substr(t.content.size() - 6), " B \r\nQ");
  EXPECT_EQ(t.content.find(" h"), std::string::npos);  // the subpath is never closed with h
  t.content.clear();
  t.w.RenderPolygon(tri, 3, &clear, Pen(1), true);
  EXPECT_EQ(t.content.substr(t.content.size() - 6), " S \r\nQ");
  t.content.clear();
  t.w.RenderPolygon(tri, 3, &solid, Pen(0), true);  // zero width: not stroked
  EXPECT_EQ(t.content, "\r\nq\r\n0.0000 0.0000 0.0000 rg 0.0000 0.0000 m 10.0000 0.0000 l 0.0000 10.0000 l  f \r\nQ");
  t.content.clear();
  t.w.RenderPolygon(tri, 3, &clear, Pen(0), true);
  EXPECT_EQ(t.content, "");
}

TEST(PdfShapes, HatchedRegionUsesTheDiagonalCrossPattern) {
  Writer t;
  TgtPoint quad[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  TBrush hatch{0, TBrushStyle::bsDiagCross};
  t.w.RenderPolygon(quad, 4, &hatch, Pen(1), true);
  EXPECT_EQ(t.content.rfind("\r\nq\r\n/CSP cs 0.0000 0.0000 0.0000 /PDC scn n []0 d 1.0000 w", 0), 0u);
  EXPECT_EQ(t.content.substr(t.content.size() - 6), " B \r\nQ");
  ASSERT_EQ(t.registered.size(), 1u);
  EXPECT_EQ(t.registered[0], TBrushStyle::bsDiagCross);
}

TEST(PdfShapes, EllipseIsFourCurvesFromTheTopCentre) {
  Writer t;
  TBrush solid{0, TBrushStyle::bsSolid};
  t.w.RenderEllipse(Pen(1), &solid, 0, 0, 20, 10);
  // Fill path, then the stroke path: both begin at the top centre (10, 10).
  size_t first = t.content.find("10.0000 10.0000 m ");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(t.content.find("10.0000 10.0000 m ", first + 1), std::string::npos);
  size_t curves = 0;
  for (size_t p = t.content.find(" c"); p != std::string::npos; p = t.content.find(" c", p + 1))
    ++curves;
  EXPECT_EQ(curves, 8u);
  EXPECT_NE(t.content.find(" f []0 d"), std::string::npos);
  EXPECT_EQ(t.content.substr(t.content.size() - 5), " s\r\nQ");
}

TEST(PdfShapes, ArcsAndZeroWidthPens) {
  Writer t;
  t.w.RenderArc(Pen(0), 0, 0, 10, 10, 10, 5, 5, 10);
  EXPECT_EQ(t.content, "");  // a zero-width pen draws no arc
  t.w.RenderArc(Pen(1), 0, 0, 10, 10, 10, 5, 5, 10);
  EXPECT_EQ(t.content.substr(t.content.size() - 5), " S\r\nQ");
  // A quarter arc: one curve; coinciding radials: a whole circle of four curves.
  size_t one = 0;
  for (size_t p = t.content.find(" c"); p != std::string::npos; p = t.content.find(" c", p + 1))
    ++one;
  EXPECT_EQ(one, 1u);
  t.content.clear();
  t.w.RenderArc(Pen(1), 0, 0, 10, 10, 10, 5, 10, 5);
  size_t full = 0;
  for (size_t p = t.content.find(" c"); p != std::string::npos; p = t.content.find(" c", p + 1))
    ++full;
  EXPECT_EQ(full, 4u);
}

TEST(PdfShapes, DashPatternsAndClips) {
  std::string s;
  TgtPdfShapeWriter::AppendDashPattern(s, TPenStyle::psDash);
  TgtPdfShapeWriter::AppendDashPattern(s, TPenStyle::psInsideFrame);  // no d operator
  EXPECT_EQ(s, "[16 8]0 d ");
  Writer t;
  TgtClipItem clip;
  clip.Rects.push_back({0, 0, 10, 10});
  t.w.RenderClip(clip);
  EXPECT_TRUE(t.w.ClipActive);
  EXPECT_EQ(t.content.rfind(" q 0.0000 0.0000 m \r\n", 0), 0u);
  EXPECT_EQ(t.content.substr(t.content.size() - 8), " W* n \r\n");
  TgtClipItem restore;
  restore.Restore = 1;
  t.content.clear();
  t.w.RenderClip(restore);
  EXPECT_EQ(t.content, " Q \r\n");
  EXPECT_FALSE(t.w.ClipActive);
}
