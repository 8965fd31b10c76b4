#include <algorithm>
#include <cmath>
#include <vector>

#include "draw/draw.h"
#include "platform/checked.h"

namespace pv {

namespace {

// Tracks and arcs are an aperture swept along a path: round ends, round joins. Everything
// else (pad outlines, polygon edges) keeps the classic pen's sharp corners.
void UsePen(TID_DrawContext& c, bool round) {
  c.Canvas->Pen.EndCap = round ? TPenEndCap::pecRound : TPenEndCap::pecDefault;
  c.Canvas->Pen.Join = round ? TPenJoin::pjRound : TPenJoin::pjDefault;
}

}  // namespace

void PaintImage(TID_DrawContext& c, const TID_DrawFileFormat& image) {
  c.InkColor = image.Color;
  SetDrawColors(c, image.Color, image.Color);
  const int32_t count = image.Count;
  for (int32_t i = 0; i < count; ++i) {
    if (static_cast<size_t>(i) >= image.Records.size()) ThrowRange();
    DrawRecord(c, image.Records[static_cast<size_t>(i)]);
  }
}

void DrawRecord(TID_DrawContext& c, const TID_DrawRecord& r) {
  const TIntArray& p = r.Points;
  // Clear records paint the background over what lies beneath.
  const TColor color = (r.Flags & rfClear) ? c.BackgroundColor : c.InkColor;
  if (color != c.DrawColor) SetDrawColors(c, color, color);
  UsePen(c, r.Kind == rkTrack || r.Kind == rkArc);
  switch (r.Kind) {
    case rkCircle:
      SetPenWidth(c, 1);
      FillCircle(c, r.X, r.Y, r.Size / 2);
      break;
    case rkRectangle:
      SetPenWidth(c, 1);
      FillRectangle(c, CheckedAdd(r.X, p.at(0)), CheckedAdd(r.Y, p.at(1)), CheckedAdd(r.X, p.at(2)),
                    CheckedAdd(r.Y, p.at(3)));
      break;
    case rkTrack:
      SetPenWidth(c, r.Size);
      for (int32_t i = 0; i + 3 <= r.Count; i += 2) {
        DrawLine(c, CheckedAdd(r.X, p.at(i)), CheckedAdd(r.Y, p.at(i + 1)),
                 CheckedAdd(r.X, p.at(i + 2)), CheckedAdd(r.Y, p.at(i + 3)));
      }
      break;
    case rkArc:
      SetPenWidth(c, r.Size);
      DrawArc(c, CheckedAdd(r.X, p.at(0)), CheckedAdd(r.Y, p.at(1)), CheckedAdd(r.X, p.at(2)),
              CheckedAdd(r.Y, p.at(3)), r.X, r.Y);
      break;
    case rkPolygon:
      c.Canvas->Pen.Width = 1;
      FillPolygon(c, r);
      break;
    default:
      break;
  }
}

void FillCircle(TID_DrawContext& c, int32_t cx, int32_t cy, int32_t radius) {
  c.Canvas->Brush.Style = TBrushStyle::bsSolid;
  c.Canvas->Brush.Color = c.DrawColor;
  c.Canvas->Ellipse(MapX(c, CheckedSub(cx, radius)), MapY(c, CheckedAdd(cy, radius)),
                    MapX(c, CheckedAdd(cx, radius)), MapY(c, CheckedSub(cy, radius)));
}

void FillRectangle(TID_DrawContext& c, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  c.Canvas->Brush.Style = TBrushStyle::bsSolid;
  c.Canvas->Brush.Color = c.DrawColor;
  int32_t xmin = std::min(x1, x2), xmax = std::max(x1, x2);
  int32_t ymin = std::min(y1, y2), ymax = std::max(y1, y2);
  TRect rc{MapX(c, xmin), MapY(c, ymax), MapX(c, xmax), MapY(c, ymin)};
  // A rectangle thinner than one canvas unit is still painted one unit wide or tall.
  if (rc.Top == rc.Bottom) rc.Bottom = CheckedAdd(rc.Top, 1);
  if (rc.Left == rc.Right) rc.Right = CheckedAdd(rc.Left, 1);
  c.Canvas->FillRect(rc);
}

void DrawLine(TID_DrawContext& c, int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  c.Canvas->MoveTo(MapX(c, x1), MapY(c, y1));
  c.Canvas->LineTo(MapX(c, x2), MapY(c, y2));
}

void DrawArc(TID_DrawContext& c, int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx,
             int32_t cy) {
  const bool full = sx == ex && sy == ey;
  const bool shortArc = !full && IsShortCcwSweep(cx, cy, sx, sy, ex, ey);
  double dx = static_cast<double>(cx) - sx, dy = static_cast<double>(cy) - sy;
  int32_t r = RoundCoord(std::sqrt(dx * dx + dy * dy));
  int32_t left = MapX(c, CheckedSub(cx, r)), top = MapY(c, CheckedAdd(cy, r));
  int32_t right = MapX(c, CheckedAdd(cx, r)), bottom = MapY(c, CheckedSub(cy, r));
  int32_t msx = MapX(c, sx), msy = MapY(c, sy), mex = MapX(c, ex), mey = MapY(c, ey);
  // Coinciding radials draw a whole ellipse on the canvas: right for a long arc whose ends
  // meet after mapping, wrong for a short one, which leaves the dot of its round pen.
  if (shortArc && msx == mex && msy == mey) {
    c.Canvas->MoveTo(msx, msy);
    c.Canvas->LineTo(mex, mey);
    return;
  }
  c.Canvas->Brush.Style = TBrushStyle::bsClear;
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  if (full)
    c.Canvas->Ellipse(left, top, right, bottom);
  else
    c.Canvas->Arc(left, top, right, bottom, msx, msy, mex, mey);
}

void FillPolygon(TID_DrawContext& c, const TID_DrawRecord& r) {
  if (r.Count < 3) return;
  const int32_t n = r.Count / 2;
  // Reused between polygons: regions are many on a copper pour.
  thread_local std::vector<TPoint> pts;
  pts.resize(static_cast<size_t>(n));
  for (int32_t k = 0; k < n; ++k)
    pts[static_cast<size_t>(k)] = {MapX(c, CheckedAdd(r.X, r.Points.at(2 * k))),
                                   MapY(c, CheckedAdd(r.Y, r.Points.at(2 * k + 1)))};
  c.Canvas->Pen.Width = 1;
  c.Canvas->Brush.Style = (r.Flags & (rfClear | rfSolid)) ? TBrushStyle::bsSolid : c.FillStyle;
  c.Canvas->Polygon(pts.data(), static_cast<uint32_t>(n));
}

}  // namespace pv
