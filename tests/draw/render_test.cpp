// The drawing layer painting onto the real recording canvas: checked on the EMF records.
#include <gtest/gtest.h>

#include <vector>

#include "docengine/emf.h"
#include "docengine/metafile.h"
#include "docengine/metafile_canvas.h"
#include "draw/draw.h"
#include "platform/errors.h"

using namespace pv;

namespace {

struct Recording {
  TMetafile mf;
  TMetafileCanvas* canvas;
  TID_DrawContext ctx;
  std::vector<TEmfRecord> records;

  Recording() {
    mf.SetWidth(816);
    mf.SetHeight(1056);
    canvas = new TMetafileCanvas(mf);
  }
  ~Recording() { delete canvas; }
  // Completes the recording and lists its records between the header and EMR_EOF.
  void Finish() {
    canvas->Close();
    for (const TEmfRecord& r : mf.Records())
      if (r.Type != EMR_HEADER && r.Type != EMR_EOF) records.push_back(r);
  }
  std::vector<uint32_t> Types(uint32_t only = 0) const {
    std::vector<uint32_t> t;
    for (const auto& r : records)
      if (!only || r.Type == only) t.push_back(r.Type);
    return t;
  }
  size_t Count(uint32_t type) const { return Types(type).size(); }
  template <class T>
  T First(uint32_t type) const {
    T v{};
    for (const auto& r : records)
      if (r.Type == type && r.As(v)) return v;
    ADD_FAILURE() << "no record of type " << type;
    return v;
  }
};

}  // namespace

TEST(DrawContext, TransformExamples) {
  TID_DrawContext c;
  InitDrawContext(c, nullptr, 8500, 11000, 4250, 5500, -100, 200);
  EXPECT_EQ(MapX(c, -100), 0);
  EXPECT_EQ(MapX(c, 4150), 8500);
  EXPECT_EQ(MapY(c, 200), 11000);
  EXPECT_EQ(MapY(c, 5700), 0);
  EXPECT_EQ(MapY(c, 2950), 5500);
  EXPECT_EQ(c.FillStyle, TBrushStyle::bsSolid);
  InitDrawContext(c, nullptr, 8500, 11000, 4473, 5500, 0, 0);
  EXPECT_EQ(ScaleLength(c, 10), 19);  // 19.0029
  // Exact halves round away from zero.
  InitDrawContext(c, nullptr, 5, 10, 2, 10, 0, 0);
  EXPECT_EQ(MapX(c, 1), 3);
  EXPECT_EQ(MapX(c, -1), -3);
  // Overflow and an empty window are errors, not wrapped or infinite values.
  InitDrawContext(c, nullptr, 8500, 11000, 100, 100, -2147483647, 0);
  EXPECT_THROW(MapX(c, 10), EIntOverflow);
  InitDrawContext(c, nullptr, 8500, 11000, 0, 100, 0, 0);
  EXPECT_THROW(MapX(c, 10), EZeroDivide);
  InitDrawContext(c, nullptr, 8500, 11000, 1, 1, 0, 0);
  EXPECT_THROW(MapX(c, 1000000), ERangeError);  // beyond 32 bits after scaling
}

TEST(DrawLayer, ClearPageAndEmptyImage) {
  Recording rec;
  InitDrawContext(rec.ctx, rec.canvas, 8500, 11000, 8500, 11000, 0, 0);
  ClearPage(rec.ctx, clWhite);
  TID_DrawFileFormat im;
  ResetImage(im);
  im.Color = 0x123456;
  PaintImage(rec.ctx, im);  // nothing drawn, but the colours are set
  EXPECT_EQ(rec.canvas->Pen.Color, 0x123456);
  EXPECT_EQ(rec.canvas->Brush.Color, 0x123456);
  EXPECT_EQ(rec.canvas->Font.Color, 0x123456);
  rec.Finish();
  ASSERT_EQ(rec.Count(EMR_BITBLT), 1u);
  auto blt = rec.First<EMRBITBLT>(EMR_BITBLT);
  EXPECT_EQ(blt.rclBounds.left, 0);
  EXPECT_EQ(blt.rclBounds.right, 8499);  // inclusive: the full page whatever the window
  EXPECT_EQ(blt.rclBounds.bottom, 10999);
  EXPECT_EQ(blt.dwRop, 0x00F00021u);
  auto brush = rec.First<EMRCREATEBRUSHINDIRECT>(EMR_CREATEBRUSHINDIRECT);
  EXPECT_EQ(brush.lb.lbColor, 0xFFFFFFu);
}

TEST(DrawLayer, RecordKindsBecomeCanvasCalls) {
  Recording rec;
  // One image unit is one canvas unit; y flips about 1000.
  InitDrawContext(rec.ctx, rec.canvas, 1000, 1000, 1000, 1000, 0, 0);
  TID_DrawFileFormat im;
  ResetImage(im);
  AddCircle(im, 100, 100, 0);                   // collapses to its centre
  AddRectangle(im, 0, 0, 0, 0, 10, 0);          // zero height: painted one unit tall
  AddTrack(im, 10, 0, 0, TPointArray{{5, 5}});  // one vertex: nothing
  AddTrack(im, 10, 0, 0, TPointArray{{0, 0}, {100, 0}, {100, 100}});
  AddPolygon(im, 1, 0, 0, TPointArray{{0, 0}, {50, 0}, {0, 50}});
  im.Color = clBlack;
  SetFillStyle(rec.ctx, TBrushStyle::bsDiagCross);
  PaintImage(rec.ctx, im);
  rec.Finish();

  auto e = rec.First<EMRELLIPSE>(EMR_ELLIPSE);
  EXPECT_EQ(e.rclBox.left, 100);
  EXPECT_EQ(e.rclBox.right, 100);
  EXPECT_EQ(e.rclBox.top, 900);
  EXPECT_EQ(e.rclBox.bottom, 900);
  auto blt = rec.First<EMRBITBLT>(EMR_BITBLT);
  EXPECT_EQ(blt.yDest, 1000);
  EXPECT_EQ(blt.cyDest, 1);
  EXPECT_EQ(blt.cxDest, 10);
  EXPECT_EQ(rec.Count(EMR_MOVETOEX), 2u);  // two segments for three vertices
  EXPECT_EQ(rec.Count(EMR_LINETO), 2u);
  ASSERT_EQ(rec.Count(EMR_POLYGON16), 1u);
  // Drawing order: ellipse, fill, segments, polygon.
  std::vector<uint32_t> drawing;
  for (uint32_t t : rec.Types())
    if (t == EMR_ELLIPSE || t == EMR_BITBLT || t == EMR_LINETO || t == EMR_POLYGON16)
      drawing.push_back(t);
  EXPECT_EQ(drawing, (std::vector<uint32_t>{EMR_ELLIPSE, EMR_BITBLT, EMR_LINETO, EMR_LINETO,
                                            EMR_POLYGON16}));
  // The polygon is hatched and outlined one unit wide whatever the track before it used.
  auto pens = rec.Types(EMR_CREATEPEN);
  ASSERT_FALSE(pens.empty());
  EMRCREATEPEN lastPen{};
  EMRCREATEBRUSHINDIRECT lastBrush{};
  for (const auto& r : rec.records) {
    if (r.Type == EMR_CREATEPEN) r.As(lastPen);
    if (r.Type == EMR_CREATEBRUSHINDIRECT) r.As(lastBrush);
  }
  EXPECT_EQ(lastPen.lopn.lopnWidth.x, 1);
  EXPECT_EQ(lastBrush.lb.lbStyle, 2u);  // BS_HATCHED
  EXPECT_EQ(lastBrush.lb.lbHatch, 5u);  // HS_DIAGCROSS
}

TEST(DrawLayer, ArcsFullShortAndLong) {
  Recording rec;
  InitDrawContext(rec.ctx, rec.canvas, 10, 10, 1000, 1000, 0, 0);  // 100 image units a canvas unit
  TID_DrawFileFormat im;
  ResetImage(im);
  AddArc(im, 10, 500, 500, 100, 0, 100, 0);  // start = end: a full circle outline
  AddArc(im, 10, 500, 500, 10, 0, 0, 10);    // a short quarter whose ends map to one point
  AddArc(im, 10, 500, 500, 0, 10, 10, 0);    // three quarters, ends on one point: drawn
  im.Color = clBlack;
  PaintImage(rec.ctx, im);
  rec.Finish();
  EXPECT_EQ(rec.Count(EMR_ELLIPSE), 1u);
  EXPECT_EQ(rec.Count(EMR_ARC), 1u);
  auto brush = rec.First<EMRCREATEBRUSHINDIRECT>(EMR_CREATEBRUSHINDIRECT);
  EXPECT_EQ(brush.lb.lbStyle, 1u);  // BS_NULL: the full circle is an outline only
}

namespace {

// Remembers the pen and brush of every drawing call.
class SpyCanvas final : public TCanvas {
 public:
  struct Call {
    char What;
    TPen Pen;
    TBrush Brush;
  };
  std::vector<Call> Calls;
  void FillRect(const TRect&) override { Note('R'); }
  void Ellipse(int32_t, int32_t, int32_t, int32_t) override { Note('E'); }
  void Arc(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override {
    Note('A');
  }
  void MoveTo(int32_t, int32_t) override {}
  void LineTo(int32_t, int32_t) override { Note('L'); }
  void Polygon(const TPoint*, uint32_t) override { Note('P'); }
  void TextOut(int32_t, int32_t, std::u16string_view) override {}

 private:
  void Note(char what) { Calls.push_back({what, Pen, Brush}); }
};

}  // namespace

TEST(DrawRecords, PolarityPensAndFills) {
  TID_DrawFileFormat image;
  ResetImage(image);
  const TPoint line[2] = {{0, 0}, {1000, 0}};
  const TPoint tri[3] = {{0, 0}, {1000, 0}, {0, 1000}};
  AddTrack(image, 20, 0, 0, line);                // dark track
  image.AddFlags = rfClear;
  AddCircle(image, 500, 500, 100);                // clear disc
  AddPolygon(image, 1, 0, 0, tri);                // clear region
  image.AddFlags = 0;
  AddPolygon(image, 1, 0, 0, tri);                // dark region: the context's hatch
  image.AddFlags = rfSolid;
  AddPolygon(image, 0, 0, 0, tri);                // a pad polygon: solid
  image.AddFlags = 0;
  AddArc(image, 20, 0, 0, 100, 0, 0, 100);        // dark arc
  image.Color = clBlack;

  SpyCanvas canvas;
  TID_DrawContext c;
  InitDrawContext(c, &canvas, 8500, 11000, 8500, 11000, -100, -100);
  ClearPage(c, 0x00EEDDCC);  // a background of its own, to tell it from white
  SetFillStyle(c, TBrushStyle::bsDiagCross);
  PaintImage(c, image);

  ASSERT_EQ(canvas.Calls.size(), 7u);  // the page, then one call per record
  const auto& track = canvas.Calls[1];
  EXPECT_EQ(track.What, 'L');
  EXPECT_EQ(track.Pen.Color, clBlack);
  EXPECT_EQ(track.Pen.EndCap, TPenEndCap::pecRound);
  EXPECT_EQ(track.Pen.Join, TPenJoin::pjRound);
  const auto& disc = canvas.Calls[2];
  EXPECT_EQ(disc.Brush.Color, 0x00EEDDCC);
  EXPECT_EQ(disc.Pen.Color, 0x00EEDDCC);
  EXPECT_EQ(disc.Pen.EndCap, TPenEndCap::pecDefault);
  const auto& clearRegion = canvas.Calls[3];
  EXPECT_EQ(clearRegion.Brush.Style, TBrushStyle::bsSolid);
  EXPECT_EQ(clearRegion.Brush.Color, 0x00EEDDCC);
  const auto& darkRegion = canvas.Calls[4];
  EXPECT_EQ(darkRegion.Brush.Style, TBrushStyle::bsDiagCross);
  EXPECT_EQ(darkRegion.Brush.Color, clBlack);
  EXPECT_EQ(darkRegion.Pen.Join, TPenJoin::pjDefault);  // outlines keep their corners
  EXPECT_EQ(canvas.Calls[5].Brush.Style, TBrushStyle::bsSolid);
  const auto& arc = canvas.Calls[6];
  EXPECT_EQ(arc.What, 'A');
  EXPECT_EQ(arc.Pen.EndCap, TPenEndCap::pecRound);
  EXPECT_EQ(arc.Pen.Color, clBlack);
}
