// Shape records of the metafile processor: lines, polygons, curves, region fills and the
// clip region.
#include <cstdint>
#include <vector>

#include "docengine/emf.h"
#include "docengine/items.h"
#include "docengine/metafile_processor.h"
#include "docengine/metafile_processor_internal.h"
#include "platform/checked.h"

namespace pv {

using namespace metafile;

TgtShapeItem* TgtMetafileProcessor::NewShape(uint8_t kind) {
  TgtShapeItem& s = target_.Add<TgtShapeItem>();
  s.Brush = dc_.Brush;
  s.Pen = dc_.Pen;
  s.Kind = kind;
  return &s;
}

bool TgtMetafileProcessor::PolyShape(const TEmfRecord& rec, uint8_t kind, bool fromCurPos,
                                     bool always) {
  std::vector<POINTL>& pts = scratch_->Points;
  if (!EmfPolyPoints(rec, pts)) return false;
  if (shapeEnabled_ || always) {
    TgtShapeItem& s = *NewShape(kind);
    s.Points.reserve(static_cast<uint32_t>(pts.size() + (fromCurPos ? 1 : 0)));
    if (fromCurPos) s.Points.push_back(MapPoint(dc_.CurPos.X, dc_.CurPos.Y));
    for (const POINTL& p : pts) s.Points.push_back(MapPoint(p.x, p.y));
  }
  if (fromCurPos && !pts.empty()) {
    dc_.CurPos = {pts.back().x, pts.back().y};
    if (kind == skPolyLine) dc_.TextAdvance = 0;
  }
  return true;
}

bool TgtMetafileProcessor::PolyPolygon(const TEmfRecord& rec) {
  Scratch& sc = *scratch_;
  if (!EmfPolyPolyPoints(rec, sc.Counts, sc.Points)) return false;
  if (!shapeEnabled_) return true;
  TgtPolyPolygonItem& p = target_.Add<TgtPolyPolygonItem>();
  p.Brush = dc_.Brush;
  p.Pen = dc_.Pen;
  p.FigureCount = CheckedNarrow(static_cast<int64_t>(sc.Counts.size()));
  p.EvenOdd = dc_.PolyFillMode == static_cast<int32_t>(ALTERNATE) ? 1 : 0;
  p.PointCounts.reserve(sc.Counts.size() + 1);
  p.PointCounts.push_back(CheckedNarrow(static_cast<int64_t>(sc.Points.size())));
  for (uint32_t c : sc.Counts) p.PointCounts.push_back(CheckedNarrow(int64_t{c}));
  p.Points.reserve(sc.Points.size());
  for (const POINTL& pt : sc.Points) p.Points.push_back(MapPoint(pt.x, pt.y));
  return true;
}

bool TgtMetafileProcessor::PolyPolyline(const TEmfRecord& rec) {
  Scratch& sc = *scratch_;
  if (!EmfPolyPolyPoints(rec, sc.Counts, sc.Points)) return false;
  if (!shapeEnabled_) return true;
  TgtPolyShapeItem& poly = target_.Add<TgtPolyShapeItem>();
  poly.Figures.reserve(sc.Counts.size());
  size_t at = 0;
  for (uint32_t count : sc.Counts) {
    TgtShapeItem& f = poly.AddFigure();
    f.Brush = dc_.Brush;
    f.Pen = dc_.Pen;
    f.Kind = skPolyLine;
    f.Points.reserve(count);
    for (uint32_t i = 0; i < count; ++i, ++at)
      f.Points.push_back(MapPoint(sc.Points[at].x, sc.Points[at].y));
  }
  return true;
}

bool TgtMetafileProcessor::PolyDraw(const TEmfRecord& rec) {
  Scratch& sc = *scratch_;
  if (!EmfPolyDrawPoints(rec, sc.Points, sc.Types)) return false;
  if (sc.Points.empty()) return true;
  // Pen and brush stay the item's defaults.
  TgtPolyDrawItem& p = target_.Add<TgtPolyDrawItem>();
  p.PointTypes.assign(sc.Types.begin(), sc.Types.end());
  p.Points.reserve(sc.Points.size());
  for (const POINTL& pt : sc.Points) p.Points.push_back(MapPoint(pt.x, pt.y));
  return true;
}

bool TgtMetafileProcessor::FillRgn(const TEmfRecord& rec) {
  EMRFILLRGN r;
  if (!rec.As(r)) return false;
  if (!shapeEnabled_) return true;
  TBrush brush = dc_.Brush;
  const uint32_t ih = r.ihBrush;
  if (ih & ENHMETA_STOCK_OBJECT) {
    switch (ih & ~ENHMETA_STOCK_OBJECT) {
      case WHITE_BRUSH:
      case DC_BRUSH:
        brush = TBrush{};
        break;
      case LTGRAY_BRUSH:
        brush = TBrush{0xC0C0C0, TBrushStyle::bsSolid};
        break;
      case GRAY_BRUSH:
        brush = TBrush{0x808080, TBrushStyle::bsSolid};
        break;
      case DKGRAY_BRUSH:
        brush = TBrush{0x404040, TBrushStyle::bsSolid};
        break;
      case BLACK_BRUSH:
        brush = TBrush{clBlack, TBrushStyle::bsSolid};
        break;
      case NULL_BRUSH:
        brush = TBrush{clWhite, TBrushStyle::bsClear};
        break;
      default:
        break;
    }
  } else if (ih >= 1 && ih <= objects_.size() && objects_[ih - 1].ObjKind == TgtGDIOBJ::okBrush) {
    brush = objects_[ih - 1].Brush;
  }
  TgtShapeItem& s = *NewShape(skRectangle);
  s.Brush = brush;
  s.Pen.Width = 0;
  s.Points.push_back({r.rclBounds.left + offsetX_, r.rclBounds.top + offsetY_});
  s.Points.push_back({r.rclBounds.right + offsetX_, r.rclBounds.bottom + offsetY_});
  return true;
}

bool TgtMetafileProcessor::SelectClipRgn(const TEmfRecord& rec) {
  EMREXTSELECTCLIPRGN r;
  if (!rec.As(r)) return false;
  if (r.cbRgnData == 0) return true;
  RGNDATAHEADER head;
  std::vector<RECTL>& rects = scratch_->Rects;
  if (!EmfRegionRects(rec, head, rects)) return false;
  TgtClipItem& c = target_.Add<TgtClipItem>();
  c.Brush = dc_.Brush;
  c.Pen = dc_.Pen;
  c.Restore = 0;
  c.RegionMode = static_cast<int32_t>(r.iMode);
  auto mapped = [this](const RECTL& rc) {
    const TgtPoint a = MapRectPoint(rc.left, rc.top);
    const TgtPoint b = MapRectPoint(rc.right, rc.bottom);
    return TRect{RoundPixels(a.X), RoundPixels(a.Y), RoundPixels(b.X), RoundPixels(b.Y)};
  };
  if (rects.size() == 1) {
    const TRect b = mapped(head.rcBound);
    c.Rects.push_back(b);
    // The single rectangle is also the clip that later bitmaps are limited by.
    dc_.ClipActive = true;
    dc_.ClipLeft = b.Left;
    dc_.ClipTop = b.Top;
    dc_.ClipRight = b.Right;
    dc_.ClipBottom = b.Bottom;
  } else {
    c.Rects.reserve(static_cast<uint32_t>(rects.size()));
    for (const RECTL& rc : rects) c.Rects.push_back(mapped(rc));
  }
  return true;
}

}  // namespace pv
