#include "pdf/shapes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/support.h"

using namespace pv;
using pvtest::CountOf;

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

TPen Pen(int width, TColor c = 0, TPenStyle s = TPenStyle::psSolid) {
  return {c, width, s};
}

}  // namespace

TEST(PdfShapes, LineAsWrittenAndUnderAClip) {
  Writer t;
  t.w.Units.PointsPerUnit = 0.75;
  t.w.RenderLine(Pen(1), 10 / 0.75, 20 / 0.75, 30 / 0.75, 40 / 0.75);
  EXPECT_EQ(
      t.content,
      "\r\nq []0 d 0.7500 w 0.0000 0.0000 0.0000 RG 10.0000 20.0000 m 30.0000 40.0000 l S\r\nQ");
  t.content.clear();
  t.w.ClipActive = true;  // no q/Q around shapes under a clip
  t.w.RenderLine(Pen(0), 0, 0, 1, 1);
  EXPECT_EQ(t.content,
            "\r\n[]0 d 0.0000 w 0.0000 0.0000 0.0000 RG 0.0000 0.0000 m 0.7500 0.7500 l S\r\n");
  t.content.clear();
  t.w.RenderLine(Pen(1, 0, TPenStyle::psClear), 0, 0, 1, 1);
  EXPECT_EQ(t.content, "");

  // Under the clip a round pen's cap and join stay in force, so a default pen after it
  // names the defaults; on a new page default pens write no cap or join again.
  TPen round = Pen(1);
  round.EndCap = TPenEndCap::pecRound;
  round.Join = TPenJoin::pjRound;
  t.w.RenderLine(round, 0, 0, 1, 1);
  t.w.RenderLine(Pen(1), 0, 0, 1, 1);
  EXPECT_EQ(t.content,
            "\r\n[]0 d 0.7500 w 1 J 1 j 0.0000 0.0000 0.0000 RG 0.0000 0.0000 m 0.7500 0.7500 l S"
            "\r\n\r\n[]0 d 0.7500 w 0 J 0 j 0.0000 0.0000 0.0000 RG 0.0000 0.0000 m 0.7500 "
            "0.7500 l S\r\n");
  t.content.clear();
  t.w.ResetPage();
  t.w.RenderLine(Pen(1), 0, 0, 1, 1);
  EXPECT_EQ(t.content.find(" J "), std::string::npos);
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
  EXPECT_EQ(t.content,
            "\r\nq\r\n0.0000 0.0000 0.0000 rg 0.0000 0.0000 m 10.0000 0.0000 l 0.0000 10.0000 l  f "
            "\r\nQ");
  t.content.clear();
  t.w.RenderPolygon(tri, 3, &clear, Pen(0), true);
  EXPECT_EQ(t.content, "");
}

TEST(PdfShapes, HatchedRegionUsesTheDiagonalCrossPattern) {
  Writer t;
  TgtPoint quad[] = {{0, 0}, {10, 0}, {10, 10}, {0, 10}};
  TBrush hatch{0, TBrushStyle::bsDiagCross};
  t.w.RenderPolygon(quad, 4, &hatch, Pen(1), true);
  EXPECT_EQ(t.content.rfind("\r\nq\r\n/CSP cs 0.0000 0.0000 0.0000 /PDC scn n []0 d 1.0000 w", 0),
            0u);
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
  const size_t curves = CountOf(t.content, " c");
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
  const size_t one = CountOf(t.content, " c");
  EXPECT_EQ(one, 1u);
  t.content.clear();
  t.w.RenderArc(Pen(1), 0, 0, 10, 10, 10, 5, 10, 5);
  const size_t full = CountOf(t.content, " c");
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

namespace {

const char* kPen1 = "[]0 d 1.0000 w 0.0000 0.0000 0.0000 RG ";
const std::string kEllipse =
    "10.0000 10.0000 m 15.5228 10.0000 20.0000 7.7614 20.0000 5.0000 c 20.0000 2.2386 15.5228 "
    "0.0000 10.0000 0.0000 c 4.4772 0.0000 0.0000 2.2386 0.0000 5.0000 c 0.0000 7.7614 4.4772 "
    "10.0000 10.0000 10.0000 c";

TgtPathItem PathOp(int32_t op, bool evenOdd = false, int32_t clipMode = 0,
                   TPen pen = {clBlack, 1, TPenStyle::psSolid},
                   TBrush brush = {clWhite, TBrushStyle::bsSolid}) {
  TgtPathItem p;
  p.Operation = op;
  p.EvenOdd = evenOdd;
  p.ClipMode = clipMode;
  p.Pen = pen;
  p.Brush = brush;
  p.HasTools = true;
  return p;
}

}  // namespace

TEST(PdfShapes, EllipseTextAndTheCurveShortcut) {
  Writer t;
  t.w.RenderEllipse(Pen(1), nullptr, 0, 0, 20, 10);
  EXPECT_EQ(t.content, std::string("\r\nq\r\n") + kPen1 + kEllipse + " s\r\nQ");
  t.content.clear();
  TBrush hatch{clBlack, TBrushStyle::bsHorizontal};
  t.w.RenderEllipse(Pen(1), &hatch, 0, 0, 20, 10);
  EXPECT_EQ(t.content, "\r\nq\r\n/CSP cs 0.0000 0.0000 0.0000 /PH scn n " + kEllipse + " f" +
                           kPen1 + kEllipse + " s\r\nQ");
  // A pen without a dash pattern keeps a blank after the hatch fill's "f".
  t.content.clear();
  t.w.RenderEllipse(Pen(1, 0, TPenStyle::psInsideFrame), &hatch, 0, 0, 20, 10);
  EXPECT_NE(t.content.find(" f 1.0000 w 0.0000 0.0000 0.0000 RG 10.0000"), std::string::npos)
      << t.content;
  // A flat ellipse: the second control point meets the end point, the "y" form.
  t.content.clear();
  t.w.RenderEllipse(Pen(1), nullptr, 0, 5, 20, 5);
  EXPECT_NE(t.content.find("10.0000 5.0000 m 15.5228 5.0000 20.0000 5.0000 y "), std::string::npos)
      << t.content;
  const size_t shortcuts = CountOf(t.content, " y");
  EXPECT_EQ(shortcuts, 2u);  // to the right and to the left end; the other two stay curves
}

TEST(PdfShapes, PolyShapesFilledAndOutlined) {
  Writer t;
  TgtPolyShapeItem open;
  for (auto pts : {std::vector<TgtPoint>{{0, 0}, {10, 0}}, std::vector<TgtPoint>{{5, 5}, {6, 6}}}) {
    TgtShapeItem& f = open.AddFigure();
    f.Kind = skPolyLine;
    f.Pen = Pen(1);
    for (auto p : pts) f.AddPoint(p.X, p.Y);
  }
  // A poly-polyline is stroked, never filled.
  t.w.RenderPolyShape(open, false);
  EXPECT_EQ(t.content,
            std::string("\r\nq\r\n") + kPen1 +
                "\r\n0.0000 0.0000 m 10.0000 0.0000 l 5.0000 5.0000 m 6.0000 6.0000 l \r\nS\r\nQ");
  TgtPolyShapeItem closed;
  closed.EvenOdd = 1;
  TgtShapeItem& f = closed.AddFigure();
  f.Kind = skPolygon;
  f.Pen = Pen(1);
  f.Brush = {0x0000FF, TBrushStyle::bsSolid};
  for (auto p : {TgtPoint{0, 0}, TgtPoint{10, 0}, TgtPoint{0, 10}}) f.AddPoint(p.X, p.Y);
  const std::string path = "0.0000 0.0000 m 10.0000 0.0000 l 0.0000 10.0000 l 0.0000 0.0000 l ";
  t.content.clear();
  t.w.RenderPolyShape(closed, true);
  EXPECT_EQ(t.content, std::string("\r\nq\r\n") + kPen1 + "1.0000 0.0000 0.0000 rg\r\n" + path +
                           "\r\nB*\r\nQ");
  closed.Figures[0].Pen.Width = 0;  // fill only, as designed: the pen text stays out too
  closed.EvenOdd = 0;
  // Under a clip, after an image whose content ends in "Q": the shape starts a line of its
  // own, or its first number would run into that operator.
  t.content = "/Im0 Do\r\nQ";
  t.w.ClipActive = true;
  t.w.RenderPolyShape(closed, true);
  EXPECT_EQ(t.content, "/Im0 Do\r\nQ\r\n1.0000 0.0000 0.0000 rg\r\n" + path + "\r\nf\r\n");
  closed.Figures[0].Brush.Style = TBrushStyle::bsDiagCross;
  t.content.clear();
  t.w.RenderPolyShape(closed, true);
  EXPECT_EQ(t.content, "\r\n/CSP cs 1.0000 0.0000 0.0000 /PDC scn n\r\n" + path + "\r\nf\r\n");
  open.Figures[0].Pen.Width = 0;  // an invisible pen: an open shape draws nothing
  t.content.clear();
  t.w.RenderPolyShape(open, false);
  EXPECT_EQ(t.content, "");
}

TEST(PdfShapes, PolyPolygonsAreFilledOnly) {
  Writer t;
  TgtPolyPolygonItem p;
  p.Brush = {0x0000FF, TBrushStyle::bsSolid};
  p.Pen = Pen(3);
  p.EvenOdd = 1;
  p.FigureCount = 2;
  p.PointCounts = {5, 3, 2};
  p.Points = {{0, 0}, {10, 0}, {10, 10}, {20, 20}, {30, 20}};
  t.w.RenderPolyPolygon(p);
  const std::string path =
      "0.0000 0.0000 m \r\n10.0000 0.0000 l \r\n10.0000 10.0000 l \r\n20.0000 20.0000 m "
      "\r\n30.0000 20.0000 l \r\n\r\n";
  EXPECT_EQ(t.content, "\r\nq\r\n\r\n1.0000 0.0000 0.0000 rg\r\n" + path + "\r\nf*\r\nQ");
  p.Brush.Style = TBrushStyle::bsVertical;
  p.EvenOdd = 0;
  t.content.clear();
  t.w.RenderPolyPolygon(p);
  EXPECT_EQ(t.content,
            "\r\nq\r\n\r\n/CSP cs 1.0000 0.0000 0.0000 /PH scn n\r\n" + path + "\r\nf\r\nQ");
  p.Brush.Style = TBrushStyle::bsClear;
  t.content.clear();
  t.w.RenderPolyPolygon(p);
  EXPECT_EQ(t.content, "\r\nq\r\n\r\n\r\nQ");
}

TEST(PdfShapes, ArcChordAndPieText) {
  Writer t;
  const std::string arc =
      std::string(kPen1) + "10.0000 5.0000 m 10.0000 7.7614 7.7614 10.0000 5.0000 10.0000 c";
  t.w.RenderArc(Pen(1), 0, 0, 10, 10, 10, 5, 5, 10);
  // The arc text carries the pen text itself, so it is written twice.
  EXPECT_EQ(t.content, "\r\nq\r\n" + std::string(kPen1) + arc + " S\r\nQ");
  TBrush white{clWhite, TBrushStyle::bsSolid};
  t.content.clear();
  t.w.RenderPie(Pen(1), &white, 0, 0, 10, 10, 10, 5, 5, 10);
  EXPECT_EQ(t.content, "\r\nq\r\n1.0000 1.0000 1.0000 rg " + arc + " 5.0000 5.0000 l f " + kPen1 +
                           arc + " 5.0000 5.0000 l s\r\nQ");
  t.content.clear();
  t.w.RenderChord(Pen(1), &white, 0, 0, 10, 10, 10, 5, 5, 10);
  EXPECT_EQ(t.content, "\r\nq\r\n1.0000 1.0000 1.0000 rg " + arc + " f " + kPen1 + arc + " s\r\nQ");
  // A zero-width pen: filled, not stroked; with a clear brush as well, nothing.
  t.content.clear();
  t.w.RenderChord(Pen(0), &white, 0, 0, 10, 10, 10, 5, 5, 10);
  EXPECT_EQ(t.content.substr(t.content.size() - 6), " f \r\nQ");
  EXPECT_EQ(t.content.find(" s"), std::string::npos);
  TBrush clear{clWhite, TBrushStyle::bsClear};
  t.content.clear();
  t.w.RenderPie(Pen(0), &clear, 0, 0, 10, 10, 10, 5, 5, 10);
  t.w.RenderChord(Pen(0), nullptr, 0, 0, 10, 10, 10, 5, 5, 10);
  EXPECT_EQ(t.content, "");
  // Three quarters: pieces of exactly 90 degrees.
  t.content.clear();
  t.w.RenderArc(Pen(1), 0, 0, 10, 10, 10, 5, 5, 0);
  const size_t curves = CountOf(t.content, " c");
  EXPECT_EQ(curves, 3u);
}

TEST(PdfShapes, PathModeCollectsAndPaints) {
  Writer t;
  TgtPoint tri[] = {{30, 10}, {40, 40}, {50, 10}};
  TgtPoint bez[] = {{50, 10}, {55, 15}, {60, 15}, {65, 10}};
  t.w.RenderPath(PathOp(poBeginPath));
  t.w.RenderLine(Pen(1), 10, 10, 20, 20);
  t.w.RenderLine(Pen(1), 20, 20, 30, 10);
  t.w.RenderPolygon(tri, 3, nullptr, Pen(1), true);
  t.w.RenderPolyBezier(bez, 4, Pen(1));
  t.w.RenderRectangle(Pen(1), nullptr, 0, 5, 5, 10);
  t.w.RenderPath(PathOp(poCloseFigure));
  t.w.RenderPath(PathOp(poEndPath));
  EXPECT_EQ(t.content, "");  // nothing is drawn while the path is built
  EXPECT_EQ(t.w.PathState, TgtPdfPathState::Ended);
  t.w.RenderPath(PathOp(poFillPath));
  EXPECT_EQ(
      t.content,
      std::string(kPen1) +
          "1.0000 1.0000 1.0000 rg \r\n10.0000 10.0000 m 20.0000 20.0000 l 30.0000 10.0000 l "
          "40.0000 40.0000 l 50.0000 10.0000 l 55.0000 15.0000 60.0000 15.0000 65.0000 10.0000 c "
          "0.0000 10.0000 5.0000 5.0000 re h f\r\n");
  EXPECT_EQ(t.w.PathState, TgtPdfPathState::None);
  EXPECT_EQ(t.w.PathText, "");

  // A new path drops an earlier one that was never painted.
  t.content.clear();
  t.w.RenderPath(PathOp(poBeginPath));
  t.w.RenderLine(Pen(1), 1, 1, 2, 2);
  t.w.RenderPath(PathOp(poBeginPath));
  t.w.RenderLine(Pen(1), 3, 3, 4, 4);
  t.w.RenderPath(PathOp(poStrokePath, false, 0, Pen(2), {clWhite, TBrushStyle::bsClear}));
  EXPECT_EQ(t.content,
            "[]0 d 2.0000 w 0.0000 0.0000 0.0000 RG \r\n3.0000 3.0000 m 4.0000 4.0000 l S\r\n");

  t.content.clear();
  t.w.RenderPath(PathOp(poAbortPath));
  EXPECT_EQ(t.content, " n \r\n");
}

TEST(PdfShapes, StrokeAndFillOperators) {
  struct Case {
    bool penClear, brushClear, evenOdd, closed;
    const char* op;
  };
  for (Case c : {Case{true, false, true, false, "f*"}, Case{true, false, false, true, "f"},
                 Case{true, false, false, false, "F"}, Case{false, true, false, true, "s"},
                 Case{false, true, true, false, "S"}, Case{false, false, true, true, "b*"},
                 Case{false, false, true, false, "B*"}, Case{false, false, false, true, "b"},
                 Case{false, false, false, false, "B"}}) {
    Writer t;
    TPen pen = Pen(1, 0, c.penClear ? TPenStyle::psClear : TPenStyle::psSolid);
    TBrush brush{0x0000FF, c.brushClear ? TBrushStyle::bsClear : TBrushStyle::bsSolid};
    t.w.RenderPath(PathOp(poBeginPath));
    t.w.RenderLine(pen, 0, 0, 1, 1);
    if (c.closed) t.w.RenderPath(PathOp(poCloseFigure));
    t.w.RenderPath(PathOp(poStrokeAndFillPath, c.evenOdd, 0, pen, brush));
    const std::string prefix = c.penClear     ? "1.0000 0.0000 0.0000 rg"
                               : c.brushClear ? kPen1
                                              : std::string(kPen1) + "1.0000 0.0000 0.0000 rg ";
    EXPECT_EQ(t.content, prefix + "\r\n0.0000 0.0000 m 1.0000 1.0000 l " + c.op + "\r\n") << c.op;
  }
}

TEST(PdfShapes, ClipPathsAndTheEndOfThePage) {
  Writer t;
  t.w.RenderPath(PathOp(poBeginPath));
  t.w.RenderLine(Pen(1), 0, 0, 10, 0);
  t.w.RenderLine(Pen(1), 10, 0, 10, 10);
  t.w.RenderPath(PathOp(poCloseFigure));
  t.w.RenderPath(PathOp(poSelectClipPath, false, RGN_COPY));
  // A closed figure is led back to its start.
  EXPECT_EQ(t.content,
            "\r\n0.0000 0.0000 m 10.0000 0.0000 l 10.0000 10.0000 l 0.0000 0.0000 l  W* n \r\n");
  EXPECT_TRUE(t.w.ClipActive);
  EXPECT_TRUE(t.w.ClipPathActive);
  t.content.clear();
  t.w.RenderPath(PathOp(poBeginPath));
  t.w.RenderLine(Pen(1), 0, 0, 5, 5);
  t.w.RenderPath(PathOp(poSelectClipPath, false, RGN_COPY));
  EXPECT_EQ(t.content, "\r\n Q q \r\n0.0000 0.0000 m 5.0000 5.0000 l  W* n \r\n");
  t.content.clear();
  t.w.RenderPath(PathOp(poBeginPath));
  t.w.RenderLine(Pen(1), 0, 0, 6, 6);
  t.w.RenderPath(PathOp(poSelectClipPath, false, RGN_AND));
  EXPECT_EQ(t.content, "\r\n q \r\n0.0000 0.0000 m 6.0000 6.0000 l  W* n \r\n");
  // Other combinations have no PDF form: nothing is written, the path is gone.
  t.content.clear();
  t.w.RenderPath(PathOp(poBeginPath));
  t.w.RenderLine(Pen(1), 0, 0, 7, 7);
  t.w.RenderPath(PathOp(poSelectClipPath, false, RGN_OR));
  EXPECT_EQ(t.content, "");
  EXPECT_EQ(t.w.PathText, "");
  // Shapes under the clip are not wrapped.
  t.w.RenderRectangle(Pen(1), nullptr, 0, 0, 1, 1);
  EXPECT_EQ(t.content, std::string("\r\n") + kPen1 + "0.0000 1.0000 1.0000 1.0000 re s\r\n");
  t.content.clear();
  TgtEOFItem notEnd;
  t.w.RenderEOF(notEnd);
  EXPECT_EQ(t.content, "");
  TgtEOFItem end;
  end.EndFlag = 1;
  t.w.RenderEOF(end);
  EXPECT_EQ(t.content, " Q  q ");
  EXPECT_FALSE(t.w.ClipActive);
}

TEST(PdfShapes, RectangleClipsByRegionMode) {
  Writer t;
  TgtClipItem two;
  two.RegionMode = RGN_AND;
  two.Rects.push_back({0, 0, 10, 10});
  two.Rects.push_back({20, 0, 30, 10});
  t.w.ClipActive = true;
  t.w.RenderClip(two);  // nested under an active clip
  EXPECT_EQ(
      t.content,
      " q 0.0000 0.0000 m \r\n10.0000 0.0000 l \r\n10.0000 10.0000 l \r\n0.0000 10.0000 l \r\n"
      "0.0000 0.0000 l \r\n20.0000 0.0000 m \r\n30.0000 0.0000 l \r\n30.0000 10.0000 l \r\n"
      "20.0000 10.0000 l \r\n20.0000 0.0000 l \r\n W* n \r\n");
  TgtClipItem copy;
  copy.RegionMode = RGN_COPY;
  copy.Rects.push_back({0, 0, 1, 1});
  t.content.clear();
  t.w.RenderClip(copy);
  TgtClipItem one = copy;
  one.RegionMode = RGN_AND;
  t.w.RenderClip(one);
  EXPECT_EQ(t.content, "");
  TgtClipItem other = copy;
  other.RegionMode = RGN_XOR;
  t.w.RenderClip(other);
  EXPECT_EQ(t.content, " ");
  TgtClipItem restore;
  restore.Restore = 1;
  t.content.clear();
  t.w.RenderClip(restore);
  t.w.RenderClip(restore);  // nothing left to restore
  EXPECT_EQ(t.content, " Q \r\n");
}

TEST(PdfShapes, BeziersRoundRectanglesAndPolyDraw) {
  Writer t;
  TgtPoint pts[] = {{0, 0}, {1, 1}, {2, 1}, {3, 0}, {4, 1}, {5, 1}, {6, 0}};
  t.w.RenderPolyBezier(pts, 3, Pen(1));
  EXPECT_EQ(t.content, "");              // fewer than four points draw nothing
  t.w.RenderPolyBezier(pts, 6, Pen(1));  // the first four points make the only curve
  EXPECT_EQ(t.content, std::string("\r\nq\r\n") + kPen1 +
                           "0.0000 0.0000 m 1.0000 1.0000 2.0000 1.0000 3.0000 0.0000 c S\r\nQ");
  t.content.clear();
  t.w.RenderPolyBezier(pts, 7, Pen(0));
  EXPECT_EQ(t.content, "");

  TBrush solid{clBlack, TBrushStyle::bsSolid};
  t.w.RenderRoundRect(Pen(1), &solid, 0, 0, 40, 20, 10, 10);
  // Four corners and four sides in the fill path, and again in the stroke path.
  EXPECT_EQ(CountOf(t.content, " c "), 8u);
  EXPECT_EQ(CountOf(t.content, " l "), 8u);
  EXPECT_EQ(
      t.content.rfind("\r\nq\r\n0.0000 0.0000 0.0000 rg 5.0000 20.0000 m 35.0000 20.0000 l ", 0),
      0u);
  EXPECT_NE(t.content.find(" h f []0 d"), std::string::npos);
  EXPECT_EQ(t.content.substr(t.content.size() - 7), " h s\r\nQ");
  t.content.clear();
  TBrush clear{clBlack, TBrushStyle::bsClear};
  t.w.RenderRoundRect(Pen(0), &clear, 0, 0, 40, 20, 10, 10);
  EXPECT_EQ(t.content, "");

  TgtPolyDrawItem pd;
  pd.Pen = Pen(1);
  pd.Points = {{0, 0}, {10, 0}, {11, 1}, {12, 1}, {13, 0}, {0, 5}};
  pd.PointTypes = {PT_LINETO,   PT_LINETO,   PT_BEZIERTO,
                   PT_BEZIERTO, PT_BEZIERTO, PT_LINETO | PT_CLOSEFIGURE};
  t.w.RenderPolyDraw(pd);  // a figure starts with a move, whatever its first point says
  EXPECT_EQ(t.content,
            std::string("\r\nq\r\n") + kPen1 +
                "0.0000 0.0000 m 10.0000 0.0000 l 11.0000 1.0000 12.0000 1.0000 13.0000 0.0000 c "
                "0.0000 5.0000 l h S\r\nQ");
  t.content.clear();
  t.w.RenderPath(PathOp(poBeginPath));
  pd.PointTypes[0] = PT_MOVETO;
  t.w.RenderPolyDraw(pd);
  EXPECT_EQ(t.content, "");
  EXPECT_EQ(t.w.PathText.rfind("0.0000 0.0000 m 10.0000 0.0000 l ", 0), 0u);
  EXPECT_FALSE(t.w.PathFirstPoint);
}

TEST(PdfShapes, PenStylesAndDashPatterns) {
  std::string s;
  for (TPenStyle st :
       {TPenStyle::psSolid, TPenStyle::psDash, TPenStyle::psDot, TPenStyle::psDashDot,
        TPenStyle::psDashDotDot, TPenStyle::psClear, TPenStyle::psUserStyle})
    TgtPdfShapeWriter::AppendDashPattern(s, st);
  EXPECT_EQ(s, "[]0 d [16 8]0 d [3 4]0 d [8 4 2 4]0 d [8 4 2 4 2 8]0 d ");
  Writer t;
  TBrush solid{clBlack, TBrushStyle::bsSolid};
  t.w.RenderRectangle(Pen(5, 0, TPenStyle::psClear), &solid, 0, 0, 1, 1);  // filled, not outlined
  EXPECT_EQ(t.content, "\r\nq\r\n0.0000 0.0000 0.0000 rg 0.0000 1.0000 1.0000 1.0000 re f \r\nQ");
  t.content.clear();
  TgtPoint line[] = {{0, 0}, {5, 0}, {5, 5}};
  t.w.RenderPolygon(line, 3, nullptr, Pen(0, 0x00FF00, TPenStyle::psDot),
                    false);  // width not tested
  EXPECT_EQ(t.content,
            "\r\nq\r\n[3 4]0 d 0.0000 w 0.0000 1.0000 0.0000 RG 0.0000 0.0000 m 5.0000 0.0000 l "
            "5.0000 5.0000 l  S \r\nQ");
}
