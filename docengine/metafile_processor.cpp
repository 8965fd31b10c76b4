// The record dispatcher of the metafile processor and its coordinate mappings; shapes,
// the object table, text and block transfers have files of their own.
#include "docengine/metafile_processor.h"

#include <cmath>
#include <cstdlib>

#include "docengine/emf.h"
#include "docengine/items.h"
#include "docengine/metafile.h"
#include "docengine/metafile_processor_internal.h"
#include "platform/checked.h"

namespace pv {

using namespace metafile;

namespace {

// a then b, in the row-vector convention of XFORM.
TgtXForm Multiply(const TgtXForm& a, const TgtXForm& b) {
  TgtXForm m;
  m.eM11 = a.eM11 * b.eM11 + a.eM12 * b.eM21;
  m.eM12 = a.eM11 * b.eM12 + a.eM12 * b.eM22;
  m.eM21 = a.eM21 * b.eM11 + a.eM22 * b.eM21;
  m.eM22 = a.eM21 * b.eM12 + a.eM22 * b.eM22;
  m.eDx = a.eDx * b.eM11 + a.eDy * b.eM21 + b.eDx;
  m.eDy = a.eDx * b.eM12 + a.eDy * b.eM22 + b.eDy;
  return m;
}

TgtXForm FromRecord(const XFORM& x) {
  return {x.eM11, x.eM12, x.eM21, x.eM22, x.eDx, x.eDy};
}

bool Finite(const TgtXForm& m) {
  return std::isfinite(m.eM11) && std::isfinite(m.eM12) && std::isfinite(m.eM21) &&
         std::isfinite(m.eM22) && std::isfinite(m.eDx) && std::isfinite(m.eDy);
}

}  // namespace

TgtMetafileProcessor::TgtMetafileProcessor(TgtMetafileHost& host)
    : host_(host), target_(host.RecordingBandItems()), scratch_(std::make_unique<Scratch>()) {
  const TgtMetafileHost::ItemKinds kinds = host.RecordingItemKinds();
  textEnabled_ = kinds.Text;
  imageEnabled_ = kinds.Image;
  shapeEnabled_ = kinds.Shape;
  const int32_t xres = host.RecordingXRes();
  const int32_t yres = host.RecordingYRes();
  resX_ = xres > 0 ? kPPI / xres : 1.0;
  resY_ = yres > 0 ? kPPI / yres : 1.0;
}

TgtMetafileProcessor::~TgtMetafileProcessor() = default;

void TgtMetafileProcessor::Process(const TMetafile& metafile, double offsetX, double offsetY) {
  offsetX_ = offsetX;
  offsetY_ = offsetY;
  mfWidth_ = metafile.Width();
  mfHeight_ = metafile.Height();
  dc_ = DcState{};
  objects_.clear();
  states_.clear();
  const std::vector<uint8_t>& bytes = metafile.Bytes();
  TEmfEnumerator records(bytes.data(), bytes.size());
  TEmfRecord rec;
  while (records.Next(rec)) {
    ++dc_.RecordCount;
    try {
      // A record too small for what it declares is skipped: its size field still frames
      // it, so the records after it are read as they were written.
      HandleRecord(rec);
    } catch (const EIntOverflow&) {
      // A record whose numbers leave the 32-bit range is skipped; the next ones still play.
    } catch (const ERangeError&) {
    } catch (const EZeroDivide&) {
    }
  }
}

// ---------------------------------------------------------------------------------------
// Mappings.

bool TgtMetafileProcessor::IsoAniso() const {
  return dc_.MapMode == static_cast<int32_t>(MM_ISOTROPIC) ||
         dc_.MapMode == static_cast<int32_t>(MM_ANISOTROPIC);
}

void TgtMetafileProcessor::RecomputeScales() {
  if (!IsoAniso()) return;
  dc_.ScaleX = static_cast<double>(dc_.ViewportExt.X) / dc_.WindowExt.X;
  dc_.ScaleY = static_cast<double>(dc_.ViewportExt.Y) / dc_.WindowExt.Y;
}

TgtPoint TgtMetafileProcessor::MapPoint(double x, double y) const {
  const TgtXForm& m = dc_.XForm;
  const double x1 = x * m.eM11 + y * m.eM21 + m.eDx;
  const double y1 = x * m.eM12 + y * m.eM22 + m.eDy;
  double sx = resX_, sy = resY_;
  if (IsoAniso()) {
    sx *= dc_.ScaleX;
    sy *= dc_.ScaleY;
  }
  return {(x1 - dc_.WindowOrg.X) * sx + dc_.ViewportOrg.X + offsetX_,
          (y1 - dc_.WindowOrg.Y) * sy + dc_.ViewportOrg.Y + offsetY_};
}

TgtPoint TgtMetafileProcessor::MapRectPoint(double x, double y) const {
  return {x * resX_ + offsetX_, y * resY_ + offsetY_};
}

double TgtMetafileProcessor::MapLength(int32_t w) const {
  double w1 = w;
  if (IsoAniso()) {
    const double r = resX_;
    const double k = RoundPixels(dc_.ViewportExt.X / r);
    w1 = RoundPixels(w / (dc_.WindowExt.X / k) * r);
  }
  return w1 * dc_.XForm.eM11;
}

// A pen width in the item: the mapped length rounded, never below 1.
int32_t TgtMetafileProcessor::PenWidth(int32_t w) const {
  const int64_t mapped = std::llabs(int64_t{RoundPixels(MapLength(w))});
  return mapped == 0 ? 1 : CheckedNarrow(mapped);
}

// ---------------------------------------------------------------------------------------
// The record dispatcher. false: the record is malformed (too small for what it declares)
// and left without effect.

bool TgtMetafileProcessor::HandleRecord(const TEmfRecord& rec) {
  switch (rec.Type) {
    // Shapes.
    case EMR_LINETO: {
      EMRLINETO r;
      if (!rec.As(r)) return false;
      if (shapeEnabled_) {
        TgtShapeItem& s = *NewShape(skLine);
        s.Points.push_back(MapPoint(dc_.CurPos.X, dc_.CurPos.Y));
        s.Points.push_back(MapPoint(r.ptl.x, r.ptl.y));
      }
      // The position moves whether or not the line becomes an item: later records start there.
      dc_.CurPos = {r.ptl.x, r.ptl.y};
      dc_.TextAdvance = 0;
      return true;
    }
    case EMR_RECTANGLE:
    case EMR_ELLIPSE: {
      EMRRECTANGLE r;
      if (!rec.As(r)) return false;
      if (!shapeEnabled_) return true;
      TgtShapeItem& s = *NewShape(rec.Type == EMR_RECTANGLE ? skRectangle : skEllipse);
      s.Points.push_back(MapPoint(r.rclBox.left, r.rclBox.top));
      s.Points.push_back(MapPoint(r.rclBox.right, r.rclBox.bottom));
      if (rec.Type == EMR_RECTANGLE && dc_.Rop2 == static_cast<int32_t>(R2_NOP))
        s.Pen.Color = dc_.BkColor;
      return true;
    }
    case EMR_ROUNDRECT: {
      EMRROUNDRECT r;
      if (!rec.As(r)) return false;
      if (!shapeEnabled_) return true;
      TgtShapeItem& s = *NewShape(skRoundRect);
      s.Points.push_back(MapPoint(r.rclBox.left, r.rclBox.top));
      s.Points.push_back(MapPoint(r.rclBox.right, r.rclBox.bottom));
      s.Points.push_back({r.szlCorner.cx * dc_.ScaleX, r.szlCorner.cy * dc_.ScaleY});
      return true;
    }
    case EMR_ARC:
    case EMR_CHORD:
    case EMR_PIE: {
      EMRARC r;
      if (!rec.As(r)) return false;
      if (!shapeEnabled_) return true;
      const uint8_t kind = rec.Type == EMR_ARC ? skArc : rec.Type == EMR_CHORD ? skChord : skPie;
      TgtShapeItem& s = *NewShape(kind);
      s.Points.push_back(MapPoint(r.rclBox.left, r.rclBox.top));
      s.Points.push_back(MapPoint(r.rclBox.right, r.rclBox.bottom));
      s.Points.push_back(MapPoint(r.ptlStart.x, r.ptlStart.y));
      s.Points.push_back(MapPoint(r.ptlEnd.x, r.ptlEnd.y));
      return true;
    }
    case EMR_POLYGON:
    case EMR_POLYGON16:
      return PolyShape(rec, skPolygon, false, false);
    case EMR_POLYLINE:
    case EMR_POLYLINE16:
      return PolyShape(rec, skPolyLine, false, false);
    case EMR_POLYLINETO:
    case EMR_POLYLINETO16:
      return PolyShape(rec, skPolyLine, true, false);
    case EMR_POLYBEZIER:
    case EMR_POLYBEZIER16:
      return PolyShape(rec, skBezier, false, true);
    case EMR_POLYBEZIERTO:
    case EMR_POLYBEZIERTO16:
      return PolyShape(rec, skBezier, true, true);
    case EMR_FILLRGN:
      return FillRgn(rec);
    case EMR_POLYPOLYGON:
    case EMR_POLYPOLYGON16:
      return PolyPolygon(rec);
    case EMR_POLYPOLYLINE:
    case EMR_POLYPOLYLINE16:
      return PolyPolyline(rec);
    case EMR_POLYDRAW:
    case EMR_POLYDRAW16:
      return PolyDraw(rec);

    // Window, viewport and transform.
    case EMR_SETWINDOWEXTEX:
    case EMR_SETVIEWPORTEXTEX: {
      EMRSETWINDOWEXTEX r;
      if (!rec.As(r)) return false;
      // A zero extent is refused (as a device context refuses it): it would divide by zero.
      if (r.szlExtent.cx == 0 || r.szlExtent.cy == 0) return true;
      TPoint& ext = rec.Type == EMR_SETWINDOWEXTEX ? dc_.WindowExt : dc_.ViewportExt;
      ext = {r.szlExtent.cx, r.szlExtent.cy};
      RecomputeScales();
      return true;
    }
    case EMR_SETWINDOWORGEX:
    case EMR_SETVIEWPORTORGEX: {
      EMRSETWINDOWORGEX r;
      if (!rec.As(r)) return false;
      TPoint& org = rec.Type == EMR_SETWINDOWORGEX ? dc_.WindowOrg : dc_.ViewportOrg;
      org = {r.ptlOrigin.x, r.ptlOrigin.y};
      return true;
    }
    case EMR_SCALEWINDOWEXTEX:
    case EMR_SCALEVIEWPORTEXTEX: {
      EMRSCALEWINDOWEXTEX r;
      if (!rec.As(r)) return false;
      if (r.xDenom == 0 || r.yDenom == 0) return true;
      TPoint& ext = rec.Type == EMR_SCALEWINDOWEXTEX ? dc_.WindowExt : dc_.ViewportExt;
      const int32_t x = CheckedNarrow(int64_t{ext.X} * r.xNum / r.xDenom);
      const int32_t y = CheckedNarrow(int64_t{ext.Y} * r.yNum / r.yDenom);
      if (x == 0 || y == 0) return true;
      ext = {x, y};
      RecomputeScales();
      return true;
    }
    case EMR_SETMAPMODE: {
      EMRSETMAPMODE r;
      if (!rec.As(r)) return false;
      dc_.MapMode = static_cast<int32_t>(r.iMode);
      if (r.iMode == MM_TEXT) {
        dc_.WindowOrg = dc_.ViewportOrg = {0, 0};
        dc_.WindowExt = dc_.ViewportExt = {1, 1};
        dc_.ScaleX = dc_.ScaleY = 1.0;
      }
      return true;
    }
    case EMR_SETWORLDTRANSFORM: {
      EMRSETWORLDTRANSFORM r;
      if (!rec.As(r)) return false;
      const TgtXForm m = FromRecord(r.xform);
      if (Finite(m)) dc_.XForm = m;
      return true;
    }
    case EMR_MODIFYWORLDTRANSFORM: {
      EMRMODIFYWORLDTRANSFORM r;
      if (!rec.As(r)) return false;
      TgtXForm m;
      switch (r.iMode) {
        case MWT_IDENTITY:
          break;
        case MWT_LEFTMULTIPLY:
          m = Multiply(FromRecord(r.xform), dc_.XForm);
          break;
        case MWT_RIGHTMULTIPLY:
          m = Multiply(dc_.XForm, FromRecord(r.xform));
          break;
        default:
          m = FromRecord(r.xform);
          break;
      }
      // A transform that overflowed (or came as NaN) would put no point anywhere.
      if (Finite(m)) dc_.XForm = m;
      return true;
    }

    // Stored values.
    case EMR_SETBKMODE:
    case EMR_SETPOLYFILLMODE:
    case EMR_SETROP2:
    case EMR_SETSTRETCHBLTMODE:
    case EMR_SETICMMODE:
    case EMR_SETTEXTALIGN: {
      EMRSETBKMODE r;
      if (!rec.As(r)) return false;
      const auto v = static_cast<int32_t>(r.iMode);
      switch (rec.Type) {
        case EMR_SETBKMODE:
          dc_.BkMode = v;
          break;
        case EMR_SETPOLYFILLMODE:
          dc_.PolyFillMode = v;
          break;
        case EMR_SETROP2:
          dc_.Rop2 = v;
          break;
        case EMR_SETSTRETCHBLTMODE:
          dc_.StretchMode = v;
          break;
        case EMR_SETICMMODE:
          dc_.IcmMode = v;
          break;
        default:
          SetTextAlign(r.iMode);
          break;
      }
      return true;
    }
    case EMR_SETBKCOLOR:
    case EMR_SETTEXTCOLOR: {
      EMRSETBKCOLOR r;
      if (!rec.As(r)) return false;
      (rec.Type == EMR_SETBKCOLOR ? dc_.BkColor : dc_.TextColor) = Color(r.crColor);
      return true;
    }
    case EMR_SETMITERLIMIT: {
      EMRSETMITERLIMIT r;
      if (!rec.As(r)) return false;
      dc_.MiterLimit = r.eMiterLimit;
      return true;
    }
    case EMR_MOVETOEX: {
      EMRMOVETOEX r;
      if (!rec.As(r)) return false;
      dc_.CurPos = {r.ptl.x, r.ptl.y};
      dc_.TextAdvance = 0;
      return true;
    }

    // Clipping and saved states.
    case EMR_INTERSECTCLIPRECT: {
      EMRINTERSECTCLIPRECT r;
      if (!rec.As(r)) return false;
      const TgtPoint a = MapPoint(r.rclClip.left, r.rclClip.top);
      const TgtPoint b = MapPoint(r.rclClip.right, r.rclClip.bottom);
      dc_.ClipActive = true;
      dc_.ClipLeft = a.X;
      dc_.ClipTop = a.Y;
      dc_.ClipRight = b.X;
      dc_.ClipBottom = b.Y;
      return true;
    }
    case EMR_SAVEDC:
      SaveDC();
      return true;
    case EMR_RESTOREDC: {
      EMRRESTOREDC r;
      if (!rec.As(r)) return false;
      RestoreDC(r.iRelative);
      return true;
    }
    case EMR_EXTSELECTCLIPRGN:
      return SelectClipRgn(rec);
    case EMR_EOF: {
      target_.Add<TgtEOFItem>().EndFlag = 1;
      dc_.ClipActive = false;
      return true;
    }

    // Object table.
    case EMR_SELECTOBJECT:
    case EMR_DELETEOBJECT: {
      EMRSELECTOBJECT r;
      if (!rec.As(r)) return false;
      if (rec.Type == EMR_SELECTOBJECT)
        SelectObject(r.ihObject);
      else
        DeleteObject(r.ihObject);
      return true;
    }
    case EMR_CREATEPEN:
      return CreatePen(rec);
    case EMR_EXTCREATEPEN:
      return ExtCreatePen(rec);
    case EMR_CREATEBRUSHINDIRECT:
      return CreateBrush(rec);
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
      return CreatePatternBrush(rec);
    case EMR_EXTCREATEFONTINDIRECTW:
      return CreateFont(rec);
    case EMR_CREATEPALETTE:
      return CreatePalette(rec);
    case EMR_SELECTPALETTE: {
      EMRSELECTPALETTE r;
      if (!rec.As(r)) return false;
      SelectPalette(r.ihPal);
      return true;
    }

    // Paths.
    case EMR_BEGINPATH:
    case EMR_ENDPATH:
    case EMR_CLOSEFIGURE:
    case EMR_ABORTPATH:
    case EMR_FILLPATH:
    case EMR_STROKEANDFILLPATH:
    case EMR_STROKEPATH:
    case EMR_SELECTCLIPPATH: {
      uint32_t clipMode = 0;
      if (rec.Type == EMR_SELECTCLIPPATH) {
        EMRSELECTCLIPPATH r;
        if (!rec.As(r)) return false;
        clipMode = r.iMode;
      }
      TgtPathItem& p = target_.Add<TgtPathItem>();
      switch (rec.Type) {
        case EMR_BEGINPATH:
          p.Operation = poBeginPath;
          break;
        case EMR_ENDPATH:
          p.Operation = poEndPath;
          break;
        case EMR_CLOSEFIGURE:
          p.Operation = poCloseFigure;
          break;
        case EMR_ABORTPATH:
          p.Operation = poAbortPath;
          break;
        case EMR_FILLPATH:
          p.Operation = poFillPath;
          break;
        case EMR_STROKEANDFILLPATH:
          p.Operation = poStrokeAndFillPath;
          break;
        case EMR_STROKEPATH:
          p.Operation = poStrokePath;
          break;
        default:
          p.Operation = poSelectClipPath;
          break;
      }
      if (p.Operation == poFillPath || p.Operation == poStrokeAndFillPath ||
          p.Operation == poStrokePath) {
        p.HasTools = true;
        p.Pen = dc_.Pen;
        p.Brush = dc_.Brush;
      }
      if (p.Operation == poFillPath || p.Operation == poStrokeAndFillPath)
        p.EvenOdd = dc_.PolyFillMode == static_cast<int32_t>(ALTERNATE) ? 1 : 0;
      if (p.Operation == poSelectClipPath) p.ClipMode = static_cast<int32_t>(clipMode);
      return true;
    }

    // Text.
    case EMR_EXTTEXTOUTA:
    case EMR_EXTTEXTOUTW:
      return Text(rec);

    // Block transfers: rectangle fills and bitmaps.
    case EMR_BITBLT:
    case EMR_STRETCHBLT:
    case EMR_MASKBLT:
    case EMR_SETDIBITSTODEVICE:
    case EMR_STRETCHDIBITS:
      return BlockTransfer(rec);

    default:
      // EMR_HEADER, comments and every record that leaves no mark on the page.
      return true;
  }
}

}  // namespace pv
