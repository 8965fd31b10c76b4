// The metafile processor over hand-built EMF record streams: the items it makes of each
// record, the drawing state it tracks, and damaged streams.
#include "docengine/metafile_processor.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "docengine/emf.h"
#include "docengine/engine.h"
#include "docengine/items.h"
#include "docengine/metafile.h"
#include "docengine/metafile_canvas.h"
#include "support/docengine_support.h"

namespace pv {
namespace {

using pvtest::EmfBuilder;
using TestEngine = pvtest::OpenDocumentEngine;

// Runs the processor over a recording with the given offsets; returns the page's items.
const TgtItemList& Play(TestEngine& engine, const EmfBuilder& emf, double ox = 0, double oy = 0,
                        bool updateMode = false) {
  TgtMetafileProcessor p(engine);
  p.UpdatePositionTextMode = updateMode;
  p.Process(emf.Metafile(), ox, oy);
  return engine.CurrentItemList();
}

template <class T>
const T& At(const TgtItemList& items, size_t i) {
  const T* t = ItemCast<T>(&items[i]);
  if (!t) throw std::runtime_error("item " + std::to_string(i) + " is of another class");
  return *t;
}

void ExpectPoint(const TgtPoint& p, double x, double y) {
  EXPECT_NEAR(p.X, x, 1e-9);
  EXPECT_NEAR(p.Y, y, 1e-9);
}

// The first points of a shape item.
void ExpectPoints(const TgtShapeItem& s, std::initializer_list<TgtPoint> expected) {
  ASSERT_GE(s.PointCount(), static_cast<int32_t>(expected.size()));
  size_t i = 0;
  for (const TgtPoint& p : expected) {
    SCOPED_TRACE("point " + std::to_string(i));
    ExpectPoint(s.Points[i++], p.X, p.Y);
  }
}

TEST(MetafileProcessor, LineAtInputResolutionBecomesScreenPixelsPlusOffsets) {
  TestEngine engine;
  engine.SetInputXRes(1000);
  engine.SetInputYRes(1000);
  EmfBuilder emf;
  emf.MoveTo(0, 0).LineTo(1000, 500).Eof();
  const TgtItemList& items = Play(engine, emf, 10, 20);
  ASSERT_EQ(items.size(), 2u);
  const auto& line = At<TgtShapeItem>(items, 0);
  EXPECT_EQ(line.Kind, skLine);
  ASSERT_EQ(line.PointCount(), 2);
  ExpectPoints(line, {{10, 20}, {106, 68}});
  EXPECT_TRUE(line.HasBrush);
  EXPECT_EQ(line.Pen, TPen{});
  EXPECT_EQ(At<TgtEOFItem>(items, 1).EndFlag, 1);
}

TEST(MetafileProcessor, FirstFillUsesDestinationLaterFillsUseBounds) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Brush(1, BS_SOLID, 0x0000FF).Select(1);
  // First fill on an empty page: the destination rectangle; opaque background colours the pen.
  emf.Rec(EMR_SETBKCOLOR, {0x00FF00});
  emf.Fill({100, 100, 149, 119}, 100, 100, 50, 20);
  // Later fills: the inclusive bounds; transparent background clears the pen, and with
  // R2_COPYPEN the pen takes the brush colour.
  emf.Rec(EMR_SETBKMODE, {1}).Rec(EMR_SETROP2, {13});
  emf.Fill({200, 300, 249, 319}, 200, 300, 50, 20);
  // No area: a line in the brush colour with a default pen.
  emf.Fill({5, 6, 5, 40}, 5, 6, 1, 35);
  // One device unit: a line one unit long, not one of no length.
  emf.Fill({9, 9, 9, 9}, 9, 9, 1, 1);
  const TgtItemList& items = Play(engine, emf, 1, 2);
  ASSERT_EQ(items.size(), 4u);

  const auto& first = At<TgtShapeItem>(items, 0);
  EXPECT_EQ(first.Kind, skRectangle);
  ExpectPoints(first, {{101, 102}, {151, 122}});
  EXPECT_EQ(first.Brush.Color, 0x0000FF);
  EXPECT_EQ(first.Brush.Style, TBrushStyle::bsSolid);
  EXPECT_EQ(first.Pen.Color, 0x00FF00);
  EXPECT_EQ(first.Pen.Style, TPenStyle::psSolid);

  const auto& later = At<TgtShapeItem>(items, 1);
  EXPECT_EQ(later.Kind, skRectangle);
  ExpectPoints(later, {{201, 302}, {250, 321}});
  EXPECT_EQ(later.Brush.Color, 0x0000FF);
  EXPECT_EQ(later.Pen.Style, TPenStyle::psClear);
  EXPECT_EQ(later.Pen.Color, 0x0000FF);

  const auto& line = At<TgtShapeItem>(items, 2);
  EXPECT_EQ(line.Kind, skLine);
  ExpectPoints(line, {{6, 8}, {6, 42}});
  EXPECT_EQ(line.Pen.Width, 1);
  EXPECT_EQ(line.Pen.Style, TPenStyle::psSolid);
  EXPECT_EQ(line.Pen.Color, 0x0000FF);
  EXPECT_EQ(line.Brush, TBrush{});
  const auto& dot = At<TgtShapeItem>(items, 3);
  EXPECT_EQ(dot.Kind, skLine);
  ExpectPoints(dot, {{10, 11}, {11, 11}});
}

TEST(MetafileProcessor, FillsWithoutFillRopOrWithShapesOffMakeNothing) {
  TestEngine engine;
  engine.SetItemsToRender({irImage});
  EmfBuilder emf;
  emf.Fill({0, 0, 9, 9}, 0, 0, 10, 10);
  EXPECT_EQ(Play(engine, emf).size(), 0u);

  TestEngine engine2;
  EmfBuilder emf2;
  emf2.Fill({0, 0, 9, 9}, 0, 0, 10, 10, 0x00AA0029);  // not a fill operation
  EXPECT_EQ(Play(engine2, emf2).size(), 0u);
}

TEST(MetafileProcessor, PenWidths) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Pen(1, PS_SOLID, 0, 0x112233).Select(1).LineTo(10, 10);
  emf.Rec(EMR_SETMAPMODE, {1});
  emf.Pen(2, PS_DASH, 20, 0).Select(2).LineTo(20, 20);
  // Extended pens: zero counts as 1; the style is the low four bits.
  emf.Rec(EMR_EXTCREATEPEN,
          {3, 0, 0, 0, 0, static_cast<int32_t>(PS_GEOMETRIC | PS_DOT), 0, 0, 0x445566, 0, 0});
  emf.Select(3).LineTo(30, 30);
  // Null pen stock object.
  emf.Select(ENHMETA_STOCK_OBJECT | NULL_PEN).LineTo(40, 40);
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(At<TgtShapeItem>(items, 0).Pen, (TPen{0x112233, 1, TPenStyle::psSolid}));
  EXPECT_EQ(At<TgtShapeItem>(items, 1).Pen, (TPen{0, 20, TPenStyle::psDash}));
  // A geometric pen without cap or join bits has round ends and joins.
  EXPECT_EQ(At<TgtShapeItem>(items, 2).Pen,
            (TPen{0x445566, 1, TPenStyle::psDot, TPenEndCap::pecRound, TPenJoin::pjRound}));
  EXPECT_EQ(At<TgtShapeItem>(items, 3).Pen.Style, TPenStyle::psClear);
  // Each line starts where the last ended.
  ExpectPoint(At<TgtShapeItem>(items, 3).Points[0], 30, 30);
}

TEST(MetafileProcessor, PenWidthUnderAnisotropicMapping) {
  TestEngine engine;
  engine.SetInputXRes(1000);
  engine.SetInputYRes(1000);
  EmfBuilder emf;
  // r = 0.096, k = Round(1000 / 0.096) = 10417; w1 = Round(50 / (2000 / 10417) * 0.096) = 25.
  emf.Rec(EMR_SETMAPMODE, {8}).Rec(EMR_SETWINDOWEXTEX, {2000, 2000});
  emf.Rec(EMR_SETVIEWPORTEXTEX, {1000, 1000});
  emf.Pen(1, PS_SOLID, 50, 0).Select(1).LineTo(1000, 0);
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 1u);
  const auto& s = At<TgtShapeItem>(items, 0);
  EXPECT_EQ(s.Pen.Width, 25);
  // Scale 0.5 and 96 / 1000.
  ExpectPoint(s.Points[1], 48, 0);
}

TEST(MetafileProcessor, FontFromLogfont) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Font(1, -120, u"Plotvane Test Face", 700, 900).Select(1).TextW(10, 20, u"Hi");
  emf.Rec(EMR_SETMAPMODE, {1}).Font(2, -50, u"Other", 400, 0, 238).Select(2).TextW(0, 0, u"x");
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 2u);
  const auto& t = At<TgtTextItem>(items, 0);
  EXPECT_EQ(t.Font.Size(), 90);
  EXPECT_EQ(t.Font.Height, -120);
  EXPECT_EQ(t.Font.Name, "Plotvane Test Face");
  EXPECT_TRUE(t.Font.Bold());
  EXPECT_EQ(t.Font.Charset, ANSI_CHARSET);  // default charset from code page 1252
  EXPECT_EQ(t.Angle, 90);
  const auto& u = At<TgtTextItem>(items, 1);
  EXPECT_EQ(u.Font.Height, -50);  // a map mode is set: the height as recorded
  EXPECT_FALSE(u.Font.Bold());
  EXPECT_EQ(u.Font.Charset, 238);
}

TEST(MetafileProcessor, FontsAreSkippedWhenTextIsOff) {
  TestEngine engine;
  engine.SetItemsToRender({irShape});
  EmfBuilder emf;
  emf.Font(1, -120, u"Face").Select(1).TextW(10, 20, u"Hi").LineTo(5, 5);
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(At<TgtShapeItem>(items, 0).Kind, skLine);
}

TEST(MetafileProcessor, TextItem) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Rec(EMR_SETTEXTCOLOR, {0x0000AA}).Rec(EMR_SETBKCOLOR, {0x00BB00});
  // Before any font is selected the symbol flag keeps only the low byte of each unit.
  emf.TextW(1, 2, u"A\u0142", 0, {0, 0, -1, -1}, {7, 8});
  emf.Font(1, -16, u"Plotvane Test Face").Select(1);
  emf.Rec(EMR_SETBKMODE, {1});
  emf.Rec(EMR_SETWORLDTRANSFORM, {0x40000000, 0, 0, 0x40000000, 0, 0});  // scale 2
  emf.TextW(10, 20, u"A\u0142", ETO_OPAQUE | ETO_CLIPPED, {5, 6, 50, 60}, {7, 8});
  const TgtItemList& items = Play(engine, emf, 100, 200);
  ASSERT_EQ(items.size(), 3u);

  const auto& a = At<TgtTextItem>(items, 0);
  ASSERT_EQ(a.Lines.size(), 1u);
  EXPECT_EQ(a.Lines[0], u"AB");
  EXPECT_EQ(a.FromMetafile, 1);
  EXPECT_DOUBLE_EQ(a.X, 101);
  EXPECT_DOUBLE_EQ(a.Y, 202);
  EXPECT_EQ(a.Font.Color, 0x0000AA);
  EXPECT_EQ(a.Brush.Color, 0x00BB00);
  EXPECT_EQ(a.Brush.Style, TBrushStyle::bsSolid);
  EXPECT_EQ(a.ClipFlag, 0);
  EXPECT_EQ(a.Advances, (std::vector<double>{7, 8}));

  // The opaque rectangle comes first, by the rectangle-only mapping (no world transform),
  // clear brush under a transparent background, and never outlined.
  const auto& bg = At<TgtShapeItem>(items, 1);
  EXPECT_EQ(bg.Kind, skRectangle);
  ExpectPoints(bg, {{105, 206}, {150, 260}});
  EXPECT_EQ(bg.Brush.Style, TBrushStyle::bsClear);
  EXPECT_EQ(bg.Pen.Style, TPenStyle::psClear);

  const auto& b = At<TgtTextItem>(items, 2);
  EXPECT_EQ(b.Lines[0], u"A\u0142");
  EXPECT_DOUBLE_EQ(b.X, 120);
  EXPECT_DOUBLE_EQ(b.Y, 240);
  EXPECT_EQ(b.Brush.Style, TBrushStyle::bsClear);
  EXPECT_EQ(b.ClipFlag, 1);
  EXPECT_EQ(b.ClipRect, (TgtRectD{110, 212, 200, 320}));
  EXPECT_EQ(b.Advances, (std::vector<double>{14, 16}));
  EXPECT_EQ(b.Font.Name, "Plotvane Test Face");
}

TEST(MetafileProcessor, EmptyTextMakesOnlyItsBackground) {
  TestEngine engine;
  EmfBuilder emf;
  emf.TextW(10, 10, u"");
  emf.TextW(10, 10, u"", ETO_OPAQUE, {0, 0, -1, -1});  // the empty-rectangle marker
  emf.Brush(1, BS_SOLID, 0x123456).Select(1);
  emf.TextW(10, 10, u"", ETO_OPAQUE, {3, 4, 3, 9});  // no area: a line
  emf.TextW(10, 10, u"", ETO_OPAQUE, {3, 4, 8, 9});  // opaque: background colour
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 2u);
  const auto& line = At<TgtShapeItem>(items, 0);
  EXPECT_EQ(line.Kind, skLine);
  EXPECT_EQ(line.Pen, (TPen{0x123456, 1, TPenStyle::psSolid}));
  const auto& rect = At<TgtShapeItem>(items, 1);
  EXPECT_EQ(rect.Kind, skRectangle);
  EXPECT_EQ(rect.Brush, (TBrush{clWhite, TBrushStyle::bsSolid}));
  EXPECT_EQ(rect.Pen.Style, TPenStyle::psClear);
}

TEST(MetafileProcessor, TextAlignmentMovesToTopLeft) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Font(1, -120, u"Plotvane Test Face").Select(1);
  emf.Rec(EMR_SETTEXTALIGN, {static_cast<int32_t>(TA_RIGHT | TA_TOP)}).TextW(500, 500, u"Wide");
  emf.Rec(EMR_SETTEXTALIGN, {static_cast<int32_t>(TA_BOTTOM)}).TextW(500, 500, u"Wide");
  emf.Rec(EMR_SETTEXTALIGN, {static_cast<int32_t>(TA_BASELINE | TA_CENTER)});
  emf.TextW(500, 500, u"Wide");
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 3u);
  const auto& right = At<TgtTextItem>(items, 0);
  const fonts::TextExtent ext = engine.MeasureText(u"Wide", right.Font);
  ASSERT_GT(ext.Width, 0);
  EXPECT_NEAR(right.X, 500 - ext.Width, 1e-9);
  EXPECT_NEAR(right.Y, 500, 1e-9);
  const auto& bottom = At<TgtTextItem>(items, 1);
  EXPECT_NEAR(bottom.X, 500, 1e-9);
  EXPECT_NEAR(bottom.Y, 500 - ext.Height, 1e-9);
  // Baseline: up by the size in points less the (whole-inch) descent, which is 0 here.
  const auto& centre = At<TgtTextItem>(items, 2);
  EXPECT_NEAR(centre.X, 500 - ext.Width / 2.0, 1e-9);
  EXPECT_NEAR(centre.Y, 500 - 90, 1e-9);
}

TEST(MetafileProcessor, TextFollowsTheCurrentPositionInUpdateMode) {
  EmfBuilder emf;
  emf.Font(1, -16, u"Plotvane Test Face").Select(1);
  emf.Rec(EMR_SETTEXTALIGN, {static_cast<int32_t>(TA_UPDATECP)});
  emf.MoveTo(100, 200).TextW(0, 0, u"ab").TextW(0, 0, u"cd");
  emf.MoveTo(300, 50).TextW(0, 0, u"ef");
  {
    TestEngine engine;
    const TgtItemList& items = Play(engine, emf, 0, 0, true);
    ASSERT_EQ(items.size(), 3u);
    const auto& ab = At<TgtTextItem>(items, 0);
    const double w = engine.MeasureText(u"ab", ab.Font).Width;
    EXPECT_DOUBLE_EQ(ab.X, 100);
    EXPECT_DOUBLE_EQ(ab.Y, 200);
    EXPECT_DOUBLE_EQ(At<TgtTextItem>(items, 1).X, 100 + w);
    EXPECT_DOUBLE_EQ(At<TgtTextItem>(items, 2).X, 300);
    EXPECT_DOUBLE_EQ(At<TgtTextItem>(items, 2).Y, 50);
  }
  {
    // Without the update-position mode the reference point counts.
    TestEngine engine;
    const TgtItemList& items = Play(engine, emf, 0, 0, false);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_DOUBLE_EQ(At<TgtTextItem>(items, 1).X, 0);
  }
}

TEST(MetafileProcessor, RestoreDCAlwaysAppendsARestoreClip) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Rec(EMR_RESTOREDC, {-1});  // nothing saved
  emf.Rec(EMR_SAVEDC, {});
  emf.Select(ENHMETA_STOCK_OBJECT | WHITE_PEN).Select(ENHMETA_STOCK_OBJECT | GRAY_BRUSH);
  emf.Rec(EMR_SETMAPMODE, {8}).Rec(EMR_SETWINDOWEXTEX, {10, 10});
  emf.Rec(EMR_SETVIEWPORTEXTEX, {20, 20});
  emf.LineTo(10, 10);
  emf.Rec(EMR_RESTOREDC, {-1});
  emf.LineTo(20, 20);
  emf.Rec(EMR_RESTOREDC, {-1});  // the state is gone: only the clip item
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 5u);
  const auto& c0 = At<TgtClipItem>(items, 0);
  EXPECT_EQ(c0.Restore, 1);
  EXPECT_EQ(c0.RectCount(), 0);
  const auto& scaled = At<TgtShapeItem>(items, 1);
  EXPECT_EQ(scaled.Pen.Color, clWhite);
  EXPECT_EQ(scaled.Brush, (TBrush{0x808080, TBrushStyle::bsSolid}));
  ExpectPoint(scaled.Points[1], 20, 20);
  const auto& c1 = At<TgtClipItem>(items, 2);
  EXPECT_EQ(c1.Restore, 1);
  EXPECT_EQ(c1.Pen.Color, clBlack);  // copies of the restored tools
  const auto& restored = At<TgtShapeItem>(items, 3);
  EXPECT_EQ(restored.Pen.Color, clBlack);
  EXPECT_EQ(restored.Brush, TBrush{});
  ExpectPoints(restored, {{10, 10}, {20, 20}});  // the second with no map mode again
  EXPECT_EQ(At<TgtClipItem>(items, 4).Restore, 1);
}

TEST(MetafileProcessor, MapModes) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Rec(EMR_SETMAPMODE, {8});
  emf.Rec(EMR_SETWINDOWEXTEX, {100, 100}).Rec(EMR_SETVIEWPORTEXTEX, {50, 200});
  emf.Rec(EMR_SETWINDOWORGEX, {10, 10}).Rec(EMR_SETVIEWPORTORGEX, {5, 5});
  emf.MoveTo(10, 10).LineTo(110, 110);
  emf.Rec(EMR_ROUNDRECT, {0, 0, 10, 10, 4, 6});
  // MM_TEXT puts origins, extents and scales back.
  emf.Rec(EMR_SETMAPMODE, {1}).LineTo(20, 30).Rec(EMR_ROUNDRECT, {0, 0, 10, 10, 4, 6});
  // A zero extent is refused; a zero denominator too.
  emf.Rec(EMR_SETMAPMODE, {7}).Rec(EMR_SETWINDOWEXTEX, {0, 5});
  emf.Rec(EMR_SCALEVIEWPORTEXTEX, {3, 0, 1, 1});
  emf.Rec(EMR_SCALEWINDOWEXTEX, {1, 2, 1, 2}).Rec(EMR_SETVIEWPORTEXTEX, {1, 1});
  emf.MoveTo(0, 0).LineTo(4, 4);  // window 1/2 of 1: truncates to 0 and is refused
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 5u);
  const auto& a = At<TgtShapeItem>(items, 0);
  ExpectPoints(a, {{5, 5}, {55, 205}});
  const auto& rr = At<TgtShapeItem>(items, 1);
  EXPECT_EQ(rr.Kind, skRoundRect);
  ExpectPoint(rr.Points[2], 2, 12);  // corner size times the scales, no offset
  const auto& b = At<TgtShapeItem>(items, 2);
  ExpectPoints(b, {{110, 110}, {20, 30}});
  ExpectPoint(At<TgtShapeItem>(items, 3).Points[2], 4, 6);
  ExpectPoint(At<TgtShapeItem>(items, 4).Points[1], 4, 4);
}

TEST(MetafileProcessor, WorldTransforms) {
  TestEngine engine;
  EmfBuilder emf;
  auto f = [](float v) {
    int32_t i;
    std::memcpy(&i, &v, 4);
    return i;
  };
  emf.Rec(EMR_SETWORLDTRANSFORM, {f(2), 0, 0, f(3), f(10), f(20)}).LineTo(1, 1);
  // Left multiply: the record's transform first (translate 5), then the current one.
  emf.Rec(EMR_MODIFYWORLDTRANSFORM, {f(1), 0, 0, f(1), f(5), 0, 2}).LineTo(1, 1);
  // Right multiply: the current first, then the record's (scale 2).
  emf.Rec(EMR_MODIFYWORLDTRANSFORM, {f(2), 0, 0, f(2), 0, 0, 3}).LineTo(1, 1);
  emf.Rec(EMR_MODIFYWORLDTRANSFORM, {0, 0, 0, 0, 0, 0, 1}).LineTo(1, 1);
  // A transform of NaN is refused.
  emf.Rec(EMR_SETWORLDTRANSFORM, {0x7FC00000, 0, 0, f(1), 0, 0}).LineTo(2, 2);
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 5u);
  ExpectPoint(At<TgtShapeItem>(items, 0).Points[1], 12, 23);
  ExpectPoint(At<TgtShapeItem>(items, 1).Points[1], 22, 23);
  ExpectPoint(At<TgtShapeItem>(items, 2).Points[1], 44, 46);
  ExpectPoint(At<TgtShapeItem>(items, 3).Points[1], 1, 1);
  ExpectPoint(At<TgtShapeItem>(items, 4).Points[1], 2, 2);
}

TEST(MetafileProcessor, EllipseWithShapesOffStillTracksTools) {
  TestEngine engine;
  engine.SetItemsToRender({irText, irImage});
  EmfBuilder emf;
  emf.Pen(1, PS_SOLID, 3, 0xFF0000).Select(1).Brush(2, BS_HATCHED, 0x00FF00, HS_CROSS);
  emf.Select(2).Rec(EMR_ELLIPSE, {0, 0, 10, 10}).LineTo(50, 50);
  // Beziers are made whatever the setting, with the tracked tools; so is the position.
  emf.Rec(EMR_POLYBEZIERTO16, {0, 0, 0, 0, 3, (2 << 16) | 1, (4 << 16) | 3, (6 << 16) | 5});
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 1u);
  const auto& bz = At<TgtShapeItem>(items, 0);
  EXPECT_EQ(bz.Kind, skBezier);
  EXPECT_EQ(bz.Pen, (TPen{0xFF0000, 3, TPenStyle::psSolid}));
  EXPECT_EQ(bz.Brush, (TBrush{0x00FF00, TBrushStyle::bsCross}));
  ASSERT_EQ(bz.PointCount(), 4);
  ExpectPoint(bz.Points[0], 50, 50);
  ExpectPoint(bz.Points[3], 5, 6);
}

TEST(MetafileProcessor, ShapeRecords) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Rec(EMR_RECTANGLE, {1, 2, 3, 4});
  emf.Rec(EMR_SETROP2, {11}).Rec(EMR_SETBKCOLOR, {0x0A0B0C}).Rec(EMR_RECTANGLE, {4, 3, 2, 1});
  emf.Rec(EMR_ARC, {0, 0, 10, 10, 10, 5, 5, 0}).Rec(EMR_CHORD, {0, 0, 1, 1, 2, 2, 3, 3});
  emf.Rec(EMR_PIE, {0, 0, 1, 1, 2, 2, 3, 3});
  emf.Rec(EMR_POLYGON, {0, 0, 0, 0, 3, 1, 2, 3, 4, 5, 6});
  emf.Rec(EMR_POLYLINE16, {0, 0, 0, 0, 2, (2 << 16) | 1, (4 << 16) | 3});
  emf.MoveTo(9, 9).Rec(EMR_POLYLINETO, {0, 0, 0, 0, 1, 7, 8}).LineTo(0, 0);
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 9u);
  EXPECT_EQ(At<TgtShapeItem>(items, 0).Kind, skRectangle);
  EXPECT_EQ(At<TgtShapeItem>(items, 0).Pen.Color, clBlack);
  const auto& nop = At<TgtShapeItem>(items, 1);
  ExpectPoint(nop.Points[0], 4, 3);  // corners as recorded
  EXPECT_EQ(nop.Pen.Color, 0x0A0B0C);
  const auto& arc = At<TgtShapeItem>(items, 2);
  EXPECT_EQ(arc.Kind, skArc);
  ASSERT_EQ(arc.PointCount(), 4);
  ExpectPoint(arc.Points[2], 10, 5);
  ExpectPoint(arc.Points[3], 5, 0);
  EXPECT_EQ(At<TgtShapeItem>(items, 3).Kind, skChord);
  EXPECT_EQ(At<TgtShapeItem>(items, 4).Kind, skPie);
  const auto& pg = At<TgtShapeItem>(items, 5);
  EXPECT_EQ(pg.Kind, skPolygon);
  ASSERT_EQ(pg.PointCount(), 3);
  ExpectPoint(pg.Points[2], 5, 6);
  const auto& pl = At<TgtShapeItem>(items, 6);
  EXPECT_EQ(pl.Kind, skPolyLine);
  ExpectPoint(pl.Points[1], 3, 4);
  const auto& plt = At<TgtShapeItem>(items, 7);
  ASSERT_EQ(plt.PointCount(), 2);
  ExpectPoints(plt, {{9, 9}, {7, 8}});
  ExpectPoint(At<TgtShapeItem>(items, 8).Points[0], 7, 8);
}

TEST(MetafileProcessor, PolyPolygonsPolyPolylinesAndPolyDraw) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Rec(EMR_SETPOLYFILLMODE, {1});
  emf.Rec(EMR_POLYPOLYGON16, {0, 0, 0, 0, 2, 5, 3, 2, (1 << 16) | 0, (1 << 16) | 1, (0 << 16) | 1,
                              (5 << 16) | 5, (6 << 16) | 6});
  emf.Rec(EMR_POLYPOLYLINE, {0, 0, 0, 0, 2, 4, 2, 2, 0, 0, 1, 1, 2, 2, 3, 3});
  std::vector<uint8_t> pd(4 * 2 + 2, 0);
  const int16_t pts[4] = {1, 2, 3, 4};
  std::memcpy(pd.data(), pts, 8);
  pd[8] = 6;      // moveto
  pd[9] = 2 | 1;  // lineto, closing
  EMRPOLYDRAW16 head{};
  head.cpts = 2;
  emf.Struct(EMR_POLYDRAW16, head, pd);
  emf.Rec(EMR_POLYDRAW16, {0, 0, 0, 0, 0});  // no points: nothing
  const TgtItemList& items = Play(engine, emf, 100, 0);
  ASSERT_EQ(items.size(), 3u);
  const auto& pp = At<TgtPolyPolygonItem>(items, 0);
  EXPECT_EQ(pp.FigureCount, 2);
  EXPECT_EQ(pp.EvenOdd, 1);
  EXPECT_EQ(pp.PointCounts, (std::vector<int32_t>{5, 3, 2}));
  ASSERT_EQ(pp.Points.size(), 5u);
  ExpectPoint(pp.Points[1], 101, 1);
  ExpectPoint(pp.Points[4], 106, 6);
  const auto& ps = At<TgtPolyShapeItem>(items, 1);
  ASSERT_EQ(ps.Figures.size(), 2u);
  EXPECT_EQ(ps.Figures[0].Kind, skPolyLine);
  ExpectPoint(ps.Figures[1].Points[1], 103, 3);
  const auto& d = At<TgtPolyDrawItem>(items, 2);
  EXPECT_EQ(d.PointTypes, (std::vector<uint8_t>{6, 3}));
  ASSERT_EQ(d.PointCount(), 2);
  ExpectPoint(d.Points[1], 103, 4);
  EXPECT_EQ(d.Pen, TPen{});
}

TEST(MetafileProcessor, ObjectTable) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Pen(1, PS_SOLID, 2, 0x010101).Brush(2, BS_NULL, 0x020202);
  emf.Select(1).Select(2).Rec(EMR_ELLIPSE, {0, 0, 1, 1});
  emf.Select(99);  // beyond the table: ignored
  emf.Rec(EMR_DELETEOBJECT, {1}).Rec(EMR_DELETEOBJECT, {77}).Select(1);  // deleted: empty
  emf.Rec(EMR_ELLIPSE, {0, 0, 1, 1});
  // A new pen replaces the deleted one at the same index.
  emf.Pen(1, PS_DOT, 5, 0x030303).Select(1).Select(0).Rec(EMR_ELLIPSE, {0, 0, 1, 1});
  // Stock brushes and pens.
  emf.Select(ENHMETA_STOCK_OBJECT | BLACK_BRUSH).Select(ENHMETA_STOCK_OBJECT | WHITE_PEN);
  emf.Rec(EMR_ELLIPSE, {0, 0, 1, 1});
  emf.Select(ENHMETA_STOCK_OBJECT | NULL_BRUSH).Select(ENHMETA_STOCK_OBJECT | DC_PEN);
  emf.Rec(EMR_ELLIPSE, {0, 0, 1, 1});
  // An index created out of order keeps its own slot.
  emf.Brush(5, BS_SOLID, 0x050505).Select(5).Rec(EMR_ELLIPSE, {0, 0, 1, 1});
  // A stock pen or brush changes only the colour or the style: a wide dotted pen stays wide
  // and dotted in black, a clear brush stays clear in light grey.
  emf.Pen(6, PS_DOT, 20, 0x060606).Select(6).Select(ENHMETA_STOCK_OBJECT | NULL_BRUSH);
  emf.Select(ENHMETA_STOCK_OBJECT | LTGRAY_BRUSH).Select(ENHMETA_STOCK_OBJECT | BLACK_PEN);
  emf.Rec(EMR_ELLIPSE, {0, 0, 1, 1});
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 7u);
  auto e = [&](size_t i) { return At<TgtShapeItem>(items, i); };
  EXPECT_EQ(e(0).Pen, (TPen{0x010101, 2, TPenStyle::psSolid}));
  EXPECT_EQ(e(0).Brush, (TBrush{0x020202, TBrushStyle::bsClear}));
  EXPECT_EQ(e(1).Pen, e(0).Pen);
  EXPECT_EQ(e(2).Pen, (TPen{0x030303, 5, TPenStyle::psDot}));
  EXPECT_EQ(e(2).Brush, TBrush{});  // index 0 is the white stock brush
  EXPECT_EQ(e(3).Brush, (TBrush{clBlack, TBrushStyle::bsSolid}));
  EXPECT_EQ(e(3).Pen, (TPen{clWhite, 5, TPenStyle::psDot}));  // the 5-wide dots, white
  EXPECT_EQ(e(4).Brush.Style, TBrushStyle::bsClear);
  EXPECT_EQ(e(4).Pen, TPen{});
  EXPECT_EQ(e(5).Brush, (TBrush{0x050505, TBrushStyle::bsSolid}));
  EXPECT_EQ(e(6).Brush, (TBrush{0xC0C0C0, TBrushStyle::bsClear}));
  EXPECT_EQ(e(6).Pen, (TPen{clBlack, 20, TPenStyle::psDot}));
}

TEST(MetafileProcessor, PathsClipsAndEndOfFile) {
  TestEngine engine;
  engine.SetInputXRes(192);
  engine.SetInputYRes(192);
  EmfBuilder emf;
  emf.Rec(EMR_SETPOLYFILLMODE, {1});
  emf.Rec(EMR_BEGINPATH, {}).Rec(EMR_ENDPATH, {}).Rec(EMR_FILLPATH, {0, 0, 0, 0});
  emf.Rec(EMR_SELECTCLIPPATH, {static_cast<int32_t>(RGN_COPY)});
  // A region of one rectangle: its bounds, halved by the resolution, offsets added.
  emf.Rec(EMR_EXTSELECTCLIPRGN, {48, 1, 32, 1, 1, 16, 10, 20, 31, 41, 10, 20, 31, 41});
  emf.Rec(EMR_EXTSELECTCLIPRGN, {0, 5});  // no region data: nothing
  emf.Eof();
  emf.LineTo(1, 1);  // after the end: never read
  const TgtItemList& items = Play(engine, emf, 1, 1);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(At<TgtPathItem>(items, 0).Operation, poBeginPath);
  EXPECT_EQ(At<TgtPathItem>(items, 1).Operation, poEndPath);
  const auto& fill = At<TgtPathItem>(items, 2);
  EXPECT_EQ(fill.Operation, poFillPath);
  EXPECT_TRUE(fill.HasTools);
  EXPECT_EQ(fill.EvenOdd, 1);
  const auto& clipPath = At<TgtPathItem>(items, 3);
  EXPECT_EQ(clipPath.Operation, poSelectClipPath);
  EXPECT_EQ(clipPath.ClipMode, 5);
  const auto& clip = At<TgtClipItem>(items, 4);
  EXPECT_EQ(clip.Restore, 0);
  EXPECT_EQ(clip.RegionMode, 1);
  ASSERT_EQ(clip.RectCount(), 1);
  EXPECT_EQ(clip.Rects[0], (TRect{6, 11, 16, 22}));  // 16.5 and 21.5 round to even
  EXPECT_EQ(At<TgtEOFItem>(items, 5).EndFlag, 1);
}

TEST(MetafileProcessor, BitmapsBecomeImageItems) {
  TestEngine engine;
  EmfBuilder emf;
  BITMAPINFOHEADER bih{};
  bih.biSize = sizeof bih;
  bih.biWidth = 1;
  bih.biHeight = 1;
  bih.biPlanes = 1;
  bih.biBitCount = 24;
  std::vector<uint8_t> extra(sizeof bih + 4, 0);
  std::memcpy(extra.data(), &bih, sizeof bih);
  extra[sizeof bih] = 0x11;
  EMRSTRETCHDIBITS r{};
  r.xDest = 40;
  r.yDest = 30;
  r.cxDest = -20;
  r.cyDest = 10;
  r.offBmiSrc = sizeof r;
  r.cbBmiSrc = sizeof bih;
  r.offBitsSrc = sizeof r + sizeof bih;
  r.cbBitsSrc = 4;
  r.dwRop = SRCCOPY;
  emf.Struct(EMR_STRETCHDIBITS, r, extra);
  emf.Rec(EMR_INTERSECTCLIPRECT, {25, 0, 100, 35});
  emf.Struct(EMR_STRETCHDIBITS, r, extra);
  const TgtItemList& items = Play(engine, emf, 1, 1);
  ASSERT_EQ(items.size(), 2u);
  const auto& img = At<TgtImageItem>(items, 0);
  EXPECT_DOUBLE_EQ(img.X, 21);
  EXPECT_DOUBLE_EQ(img.Y, 31);
  EXPECT_DOUBLE_EQ(img.Width, 20);
  EXPECT_DOUBLE_EQ(img.Height, 10);
  const TgtGraphic* g = engine.ImageAt(img.ImageIndex);
  ASSERT_NE(g, nullptr);
  ASSERT_EQ(g->Data.size(), 14 + sizeof bih + 4);
  EXPECT_EQ(g->Data[0], 'B');
  EXPECT_EQ(g->Data[1], 'M');
  EXPECT_EQ(g->Data[2], 14 + sizeof bih + 4);
  EXPECT_EQ(g->Data[10], 14 + sizeof bih);
  EXPECT_EQ(g->Data[14 + sizeof bih], 0x11);
  // Limited by the clip rectangle.
  const auto& clipped = At<TgtImageItem>(items, 1);
  EXPECT_DOUBLE_EQ(clipped.X, 26);
  EXPECT_DOUBLE_EQ(clipped.Width, 15);
  EXPECT_DOUBLE_EQ(clipped.Height, 5);
  EXPECT_NE(clipped.ImageIndex, img.ImageIndex);

  // Images off: nothing.
  TestEngine off;
  off.SetItemsToRender({irShape, irText});
  EXPECT_EQ(Play(off, emf).size(), 0u);
}

TEST(MetafileProcessor, DamagedRecordsAreSkipped) {
  EmfBuilder emf;
  emf.Pen(1, PS_SOLID, 2, 0).Select(1).MoveTo(0, 0).LineTo(10, 10);
  emf.Font(2, -16, u"Plotvane Test Face").Select(2).TextW(1, 1, u"abc");
  emf.Rec(EMR_POLYGON16, {0, 0, 0, 0, 2, 1, 2}).LineTo(20, 20).Eof();

  // Every truncation: no read past the buffer (the sanitizer build checks), and never more
  // items than a longer prefix gives.
  size_t last = 0;
  for (size_t n = 0; n <= emf.bytes.size(); ++n) {
    TestEngine engine;
    TMetafile mf;
    mf.MutableBytes().assign(emf.bytes.begin(), emf.bytes.begin() + static_cast<ptrdiff_t>(n));
    TgtMetafileProcessor p(engine);
    p.Process(mf, 0, 0);
    const size_t count = engine.CurrentItemList().size();
    EXPECT_GE(count, last) << n;
    last = count;
  }
  EXPECT_EQ(last, 5u);

  // A record too small for its type is skipped; its size still frames it, and the
  // records after it play.
  {
    TestEngine engine;
    EmfBuilder bad;
    bad.LineTo(1, 1).Rec(EMR_LINETO, {5}).LineTo(2, 2);
    const TgtItemList& items = Play(engine, bad);
    ASSERT_EQ(items.size(), 2u);
    ExpectPoint(At<TgtShapeItem>(items, 1).Points[0], 1, 1);  // the short record moved nothing
    ExpectPoint(At<TgtShapeItem>(items, 1).Points[1], 2, 2);
  }
  // Text whose characters run past its record.
  {
    TestEngine engine;
    EmfBuilder bad;
    bad.LineTo(1, 1).TextW(0, 0, u"abcd");
    EMREXTTEXTOUTW t;
    const size_t at = bad.bytes.size() - (sizeof t + 8 + 16);
    std::memcpy(&t, bad.bytes.data() + at, sizeof t);
    t.emrtext.nChars = 1000;
    std::memcpy(bad.bytes.data() + at, &t, sizeof t);
    bad.LineTo(2, 2);
    EXPECT_EQ(Play(engine, bad).size(), 2u);
  }
  // A size running past the end of the buffer.
  {
    TestEngine engine;
    EmfBuilder bad;
    bad.LineTo(1, 1).Rec(EMR_LINETO, {2, 2});
    const uint32_t huge = 0x7FFFFFF0;
    std::memcpy(bad.bytes.data() + bad.bytes.size() - 12, &huge, 4);
    EXPECT_EQ(Play(engine, bad).size(), 1u);
  }
  // Poly-polygon counts that do not add up; object indexes far out of range.
  {
    TestEngine engine;
    EmfBuilder bad;
    bad.Pen(0xFFFFFFF, PS_SOLID, 7, 0).Select(0xFFFFFFF).Rec(EMR_DELETEOBJECT, {-5});
    bad.LineTo(1, 1);
    bad.Rec(EMR_POLYPOLYGON16, {0, 0, 0, 0, 1, 3, 9, 0, 0, 0}).LineTo(2, 2);
    const TgtItemList& items = Play(engine, bad);
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(At<TgtShapeItem>(items, 0).Pen.Width, 1);
  }
  // Unknown record types are skipped.
  {
    TestEngine engine;
    EmfBuilder odd;
    odd.Rec(9999, {1, 2, 3}).Rec(EMR_GDICOMMENT, {0}).LineTo(3, 3);
    EXPECT_EQ(Play(engine, odd).size(), 1u);
  }
}

TEST(MetafileProcessor, AnsiTextAndStockFonts) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Font(1, -16, u"Plotvane Test Face").Select(1);
  // "a", a zero byte (dropped, its advance joins the one before), code page 1252 0xE9.
  EMREXTTEXTOUTA t{};
  t.emrtext.ptlReference = {3, 4};
  t.emrtext.nChars = 3;
  t.emrtext.offString = sizeof t;
  t.emrtext.offDx = sizeof t + 4;
  t.emrtext.rcl = {0, 0, -1, -1};
  std::vector<uint8_t> extra = {'a', 0, 0xE9, 0};
  const int32_t dx[3] = {5, 6, 7};
  extra.resize(4 + sizeof dx);
  std::memcpy(extra.data() + 4, dx, sizeof dx);
  emf.Struct(EMR_EXTTEXTOUTA, t, extra);
  // A stock font puts the default font back.
  emf.Select(ENHMETA_STOCK_OBJECT | ANSI_VAR_FONT).Struct(EMR_EXTTEXTOUTA, t, extra);
  const TgtItemList& items = Play(engine, emf);
  ASSERT_EQ(items.size(), 2u);
  const auto& a = At<TgtTextItem>(items, 0);
  EXPECT_EQ(a.Lines[0], u"a\u00E9");
  EXPECT_EQ(a.Advances, (std::vector<double>{11, 7}));
  EXPECT_EQ(a.Font.Name, "Plotvane Test Face");
  EXPECT_EQ(At<TgtTextItem>(items, 1).Font, (TFont{}));
}

TEST(MetafileProcessor, FillRegion) {
  TestEngine engine;
  EmfBuilder emf;
  emf.Pen(1, PS_DOT, 4, 0x0F0F0F).Select(1).Brush(2, BS_SOLID, 0x00AA00);
  // Bounds as recorded (no mapping), offsets added; pen width 0; the named brush.
  const std::vector<int32_t> region = {32, 1, 1, 16, 0, 0, 10, 10, 0, 0, 10, 10};
  auto fillRgn = [&](uint32_t brush) {
    EMRFILLRGN r{};
    r.rclBounds = {10, 20, 30, 40};
    r.cbRgnData = 48;
    r.ihBrush = brush;
    std::vector<uint8_t> extra(region.size() * 4);
    std::memcpy(extra.data(), region.data(), extra.size());
    emf.Struct(EMR_FILLRGN, r, extra);
  };
  fillRgn(2);
  fillRgn(ENHMETA_STOCK_OBJECT | DKGRAY_BRUSH);
  const TgtItemList& items = Play(engine, emf, 1000, 2000);
  ASSERT_EQ(items.size(), 2u);
  const auto& s = At<TgtShapeItem>(items, 0);
  EXPECT_EQ(s.Kind, skRectangle);
  ExpectPoints(s, {{1010, 2020}, {1030, 2040}});
  EXPECT_EQ(s.Pen, (TPen{0x0F0F0F, 0, TPenStyle::psDot}));
  EXPECT_EQ(s.Brush, (TBrush{0x00AA00, TBrushStyle::bsSolid}));
  EXPECT_EQ(At<TgtShapeItem>(items, 1).Brush, (TBrush{0x404040, TBrushStyle::bsSolid}));
}

TEST(MetafileProcessor, RecordedCanvasPage) {
  TestEngine engine;
  engine.SetInputXRes(1000);
  engine.SetInputYRes(1000);
  TMetafile mf;
  mf.SetWidth(816);
  mf.SetHeight(1056);
  {
    TMetafileCanvas canvas(mf);
    canvas.Brush.Color = 0x00FF00;
    canvas.FillRect({100, 100, 200, 300});
    canvas.Pen.Color = 0x0000FF;
    canvas.Pen.Width = 20;
    canvas.MoveTo(0, 0);
    canvas.LineTo(1000, 500);
    canvas.FillRect({100, 100, 200, 300});
    canvas.Brush.Style = TBrushStyle::bsClear;
    canvas.Ellipse(0, 0, 2000, 1000);
    canvas.Font.SetSize(90);
    canvas.TextOut(1000, 1250, u"Caption");
  }
  TgtMetafileProcessor p(engine);
  p.UpdatePositionTextMode = true;
  p.Process(mf, 5, 7);
  const TgtItemList& items = engine.CurrentItemList();
  ASSERT_EQ(items.size(), 6u);

  // First fill: the destination rectangle, in the brush colour all round.
  const auto& fill = At<TgtShapeItem>(items, 0);
  EXPECT_EQ(fill.Kind, skRectangle);
  ExpectPoints(fill, {{5 + 9.6, 7 + 9.6}, {5 + 19.2, 7 + 28.8}});
  EXPECT_EQ(fill.Brush, (TBrush{0x00FF00, TBrushStyle::bsSolid}));
  EXPECT_EQ(fill.Pen.Color, 0x00FF00);

  const auto& line = At<TgtShapeItem>(items, 1);
  EXPECT_EQ(line.Kind, skLine);
  ExpectPoints(line, {{5, 7}, {5 + 96, 7 + 48}});
  EXPECT_EQ(line.Pen, (TPen{0x0000FF, 20, TPenStyle::psSolid}));

  // Later fills: the inclusive bounds.
  const auto& later = At<TgtShapeItem>(items, 2);
  ExpectPoints(later, {{5 + 9.6, 7 + 9.6}, {5 + 199 * 0.096, 7 + 299 * 0.096}});
  EXPECT_EQ(later.Brush.Color, 0x00FF00);

  const auto& ellipse = At<TgtShapeItem>(items, 3);
  EXPECT_EQ(ellipse.Kind, skEllipse);
  ExpectPoint(ellipse.Points[1], 5 + 192, 7 + 96);
  EXPECT_EQ(ellipse.Brush.Style, TBrushStyle::bsClear);
  EXPECT_EQ(ellipse.Pen.Width, 20);

  const auto& text = At<TgtTextItem>(items, 4);
  ASSERT_EQ(text.Lines.size(), 1u);
  EXPECT_EQ(text.Lines[0], u"Caption");
  EXPECT_EQ(text.Font.Size(), 90);
  EXPECT_EQ(text.Font.Name, "Helvetica");
  EXPECT_NEAR(text.X, 5 + 96, 1e-9);
  EXPECT_NEAR(text.Y, 7 + 120, 1e-9);
  EXPECT_EQ(text.Advances.size(), 7u);
  EXPECT_EQ(At<TgtEOFItem>(items, 5).EndFlag, 1);
}

}  // namespace
}  // namespace pv
