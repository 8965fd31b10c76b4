#include "docengine/metafile_processor.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <numbers>
#include <span>

#include "docengine/emf.h"
#include "docengine/engine.h"
#include "docengine/items.h"
#include "docengine/metafile.h"
#include "platform/checked.h"
#include "platform/fonts.h"
#include "platform/text.h"

namespace pv {

struct TgtMetafileProcessor::Scratch {
  std::vector<POINTL> Points;
  std::vector<uint32_t> Counts;
  std::vector<uint8_t> Types;
  std::vector<RECTL> Rects;
  std::vector<int32_t> Dx;
  std::u16string WText;
  std::string AText;
};

namespace {

constexpr double kPPI = kScreenPPI;
// The alignment set of the text records.
enum : uint32_t {
  taNoUpdate = 1,
  taUpdate = 2,
  taLeft = 4,
  taRight = 8,
  taCentre = 16,
  taTop = 32,
  taBottom = 64,
  taBaseline = 128
};
// Object handles are 16-bit in a metafile header; no table grows beyond that.
constexpr uint32_t kMaxObjectIndex = 0xFFFF;

// Round to nearest (halves to even), the result must fit 32 bits.
int32_t RoundInt(double v) {
  return CheckedTrunc(std::nearbyint(v));
}

TColor Color(COLORREF c) {
  return static_cast<TColor>(c & 0xFFFFFF);
}

TPenStyle PenStyle(uint32_t style) {
  switch (style) {
    case PS_DASH:
      return TPenStyle::psDash;
    case PS_DOT:
      return TPenStyle::psDot;
    case PS_DASHDOT:
      return TPenStyle::psDashDot;
    case PS_DASHDOTDOT:
      return TPenStyle::psDashDotDot;
    case PS_NULL:
      return TPenStyle::psClear;
    case PS_INSIDEFRAME:
      return TPenStyle::psInsideFrame;
    default:
      return TPenStyle::psSolid;
  }
}

// The character set a DEFAULT_CHARSET font takes from the ANSI code page.
uint8_t CharsetOfCodePage(int cp) {
  switch (cp) {
    case 874:
      return THAI_CHARSET;
    case 932:
      return SHIFTJIS_CHARSET;
    case 936:
      return GB2312_CHARSET;
    case 949:
      return HANGEUL_CHARSET;
    case 950:
      return CHINESEBIG5_CHARSET;
    case 1250:
      return EASTEUROPE_CHARSET;
    case 1251:
      return RUSSIAN_CHARSET;
    case 1253:
      return GREEK_CHARSET;
    case 1254:
      return TURKISH_CHARSET;
    case 1255:
      return HEBREW_CHARSET;
    case 1256:
      return ARABIC_CHARSET;
    case 1257:
      return BALTIC_CHARSET;
    case 1258:
      return VIETNAMESE_CHARSET;
    case 1361:
      return JOHAB_CHARSET;
    default:
      return ANSI_CHARSET;
  }
}

bool IsFillRop(uint32_t rop) {
  switch (rop) {
    case BLACKNESS:
    case NOTSRCERASE:
    case NOTSRCCOPY:
    case SRCERASE:
    case DSTINVERT:
    case PATINVERT:
    case SRCINVERT:
    case SRCAND:
    case MERGEPAINT:
    case MERGECOPY:
    case SRCCOPY:
    case SRCPAINT:
    case PATCOPY:
    case PATPAINT:
    case WHITENESS:
      return true;
    default:
      return false;
  }
}

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

std::string Key(int64_t n) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n);
  return std::string(buf, r.ptr);
}

}  // namespace

TgtMetafileProcessor::TgtMetafileProcessor(TgtCustomDocumentEngine& engine)
    : engine_(engine), target_(engine.CurrentItemList()), scratch_(std::make_unique<Scratch>()) {
  const auto items = engine.ItemsToRender();
  const uint16_t caps = engine.Capabilities();
  textEnabled_ = items.Contains(irText) && (caps & capText);
  imageEnabled_ = items.Contains(irImage) && (caps & capImage);
  shapeEnabled_ = items.Contains(irShape) && (caps & capShape);
  const int32_t xres = engine.InputXRes();
  const int32_t yres = engine.InputYRes();
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
    const double k = RoundInt(dc_.ViewportExt.X / r);
    w1 = RoundInt(w / (dc_.WindowExt.X / k) * r);
  }
  return w1 * dc_.XForm.eM11;
}

// A pen width in the item: the mapped length rounded, never below 1.
int32_t TgtMetafileProcessor::PenWidth(int32_t w) const {
  const int64_t mapped = std::llabs(int64_t{RoundInt(MapLength(w))});
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

// ---------------------------------------------------------------------------------------
// Shapes.

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
    return TRect{RoundInt(a.X), RoundInt(a.Y), RoundInt(b.X), RoundInt(b.Y)};
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

// ---------------------------------------------------------------------------------------
// Object table.

// The table entry for a 1-based object index, grown as needed so that index i always
// lives at position i - 1. Null for index 0 (the metafile itself) and beyond 16-bit handles.
TgtGDIOBJ* TgtMetafileProcessor::Slot(uint32_t index) {
  if (index == 0 || index > kMaxObjectIndex) return nullptr;
  if (objects_.size() < index) objects_.resize(index);
  return &objects_[index - 1];
}

bool TgtMetafileProcessor::CreatePen(const TEmfRecord& rec) {
  EMRCREATEPEN r;
  if (!rec.As(r)) return false;
  TgtGDIOBJ* o = Slot(r.ihPen);
  if (!o) return true;
  o->ObjKind = TgtGDIOBJ::okPen;
  // A classic pen: whatever an earlier pen of this slot had, caps and joins are the defaults.
  o->Pen = TPen{};
  o->Pen.Width = PenWidth(r.lopn.lopnWidth.x);
  o->Pen.Style = PenStyle(r.lopn.lopnStyle);
  o->Pen.Color = Color(r.lopn.lopnColor);
  return true;
}

bool TgtMetafileProcessor::ExtCreatePen(const TEmfRecord& rec) {
  EMREXTCREATEPEN r;
  if (!rec.As(r)) return false;
  TgtGDIOBJ* o = Slot(r.ihPen);
  if (!o) return true;
  const int32_t w = r.elp.elpWidth == 0 ? 1 : CheckedNarrow(int64_t{r.elp.elpWidth});
  TPen pen;
  pen.Width = PenWidth(w);
  pen.Style = PenStyle(r.elp.elpPenStyle & PS_STYLE_MASK);
  pen.Color = Color(r.elp.elpColor);
  if ((r.elp.elpPenStyle & PS_TYPE_MASK) == PS_GEOMETRIC) {
    // A geometric pen always has an end cap and a join; no bits name the round ones.
    switch (r.elp.elpPenStyle & PS_ENDCAP_MASK) {
      case PS_ENDCAP_SQUARE:
        pen.EndCap = TPenEndCap::pecSquare;
        break;
      case PS_ENDCAP_FLAT:
        pen.EndCap = TPenEndCap::pecFlat;
        break;
      default:
        pen.EndCap = TPenEndCap::pecRound;
        break;
    }
    switch (r.elp.elpPenStyle & PS_JOIN_MASK) {
      case PS_JOIN_BEVEL:
        pen.Join = TPenJoin::pjBevel;
        break;
      case PS_JOIN_MITER:
        pen.Join = TPenJoin::pjMiter;
        break;
      default:
        pen.Join = TPenJoin::pjRound;
        break;
    }
  }
  o->ObjKind = TgtGDIOBJ::okPen;
  o->Pen = pen;
  return true;
}

bool TgtMetafileProcessor::CreateBrush(const TEmfRecord& rec) {
  EMRCREATEBRUSHINDIRECT r;
  if (!rec.As(r)) return false;
  TgtGDIOBJ* o = Slot(r.ihBrush);
  if (!o) return true;
  o->ObjKind = TgtGDIOBJ::okBrush;
  o->Brush.Color = Color(r.lb.lbColor);
  o->Brush.Style = TBrushStyle::bsSolid;
  if (r.lb.lbStyle == BS_NULL) {
    o->Brush.Style = TBrushStyle::bsClear;
  } else if (r.lb.lbStyle == BS_HATCHED) {
    switch (r.lb.lbHatch) {
      case HS_HORIZONTAL:
        o->Brush.Style = TBrushStyle::bsHorizontal;
        break;
      case HS_VERTICAL:
        o->Brush.Style = TBrushStyle::bsVertical;
        break;
      case HS_FDIAGONAL:
        o->Brush.Style = TBrushStyle::bsFDiagonal;
        break;
      case HS_BDIAGONAL:
        o->Brush.Style = TBrushStyle::bsBDiagonal;
        break;
      case HS_CROSS:
        o->Brush.Style = TBrushStyle::bsCross;
        break;
      case HS_DIAGCROSS:
        o->Brush.Style = TBrushStyle::bsDiagCross;
        break;
      default:
        break;
    }
  }
  return true;
}

// A pattern brush: the item brushes carry colour and style only, so the pattern's
// bitmap has nowhere to go; the entry is a default brush, checked for a sound bitmap.
bool TgtMetafileProcessor::CreatePatternBrush(const TEmfRecord& rec) {
  EMRCREATEDIBPATTERNBRUSHPT r;
  if (!rec.As(r)) return false;
  std::span<const uint8_t> info, bits;
  if (r.cbBmi != 0 && r.cbBits != 0 && !EmfSourceBitmap(rec, info, bits)) return false;
  TgtGDIOBJ* o = Slot(r.ihBrush);
  if (!o) return true;
  o->ObjKind = TgtGDIOBJ::okBrush;
  o->Brush = TBrush{};
  return true;
}

bool TgtMetafileProcessor::CreateFont(const TEmfRecord& rec) {
  EMREXTCREATEFONTINDIRECTW r;
  if (!rec.As(r)) return false;
  if (!textEnabled_) return true;
  TgtGDIOBJ* o = Slot(r.ihFont);
  if (!o) return true;
  const LOGFONTW& lf = r.elfw;
  TgtFont f;
  size_t n = 0;
  while (n < 32 && lf.lfFaceName[n] != 0) ++n;
  f.Font.Name = Utf16ToUtf8(std::u16string_view(lf.lfFaceName, n));
  f.Font.Charset =
      lf.lfCharSet == DEFAULT_CHARSET ? CharsetOfCodePage(fonts::AnsiCodePage()) : lf.lfCharSet;
  switch (lf.lfPitchAndFamily & 3) {
    case FIXED_PITCH:
      f.Font.Pitch = TFontPitch::fpFixed;
      break;
    case VARIABLE_PITCH:
      f.Font.Pitch = TFontPitch::fpVariable;
      break;
    default:
      f.Font.Pitch = TFontPitch::fpDefault;
      break;
  }
  uint8_t style = 0;
  if (lf.lfItalic) style |= fsItalic;
  if (lf.lfWeight == FW_BOLD) style |= fsBold;
  if (lf.lfUnderline) style |= fsUnderline;
  if (lf.lfStrikeOut) style |= fsStrikeOut;
  f.Font.Style = style;
  if (dc_.MapMode != 0 && !IsoAniso()) {
    f.Font.Height = lf.lfHeight;
  } else {
    // The size in points, held as the height of a character on the screen.
    const int32_t points = std::abs(RoundInt(lf.lfHeight * -72.0 / kPPI));
    f.Font.Height = -RoundInt(points * kPPI / 72.0);
  }
  if (IsoAniso()) {
    const double r1 = resX_;
    const double k = RoundInt(dc_.ViewportExt.X / r1);
    f.Font.Height = RoundInt(f.Font.Height / (dc_.WindowExt.X / k) * r1);
  } else {
    f.Font.Height = CheckedTrunc(std::ceil(f.Font.Height * dc_.XForm.eM22));
  }
  // A font no device could realise is out of range like any other number of the record.
  if (std::llabs(int64_t{f.Font.Height}) > fonts::kMaxFontHeight) ThrowRange();
  f.Escapement = lf.lfEscapement;
  o->ObjKind = TgtGDIOBJ::okFont;
  o->Font = std::move(f);
  return true;
}

bool TgtMetafileProcessor::CreatePalette(const TEmfRecord& rec) {
  EMRCREATEPALETTE r;
  if (!rec.As(r)) return false;
  TgtPalette pal;
  if (!rec.ReadArray(sizeof r, r.palNumEntries, pal.Entries)) return false;
  TgtGDIOBJ* o = Slot(r.ihPal);
  if (!o) return true;
  o->ObjKind = TgtGDIOBJ::okPalette;
  o->Palette = std::move(pal);
  return true;
}

void TgtMetafileProcessor::SelectObject(uint32_t index) {
  if (index == 0 || (index & ENHMETA_STOCK_OBJECT)) {
    // A stock pen or brush changes only the colour or the style of the current one, so a
    // wide dotted pen stays wide and dotted when WHITE_PEN recolours it.
    switch (index & ~ENHMETA_STOCK_OBJECT) {
      case WHITE_BRUSH:
        dc_.Brush = TBrush{};
        break;
      case LTGRAY_BRUSH:
        dc_.Brush.Color = 0xC0C0C0;
        break;
      case GRAY_BRUSH:
        dc_.Brush.Color = 0x808080;
        break;
      case DKGRAY_BRUSH:
        dc_.Brush.Color = 0x404040;
        break;
      case BLACK_BRUSH:
        dc_.Brush.Color = clBlack;
        break;
      case NULL_BRUSH:
        dc_.Brush.Style = TBrushStyle::bsClear;
        break;
      case WHITE_PEN:
        dc_.Pen.Color = clWhite;
        break;
      case BLACK_PEN:
        dc_.Pen.Color = clBlack;
        break;
      case NULL_PEN:
        dc_.Pen.Style = TPenStyle::psClear;
        break;
      case OEM_FIXED_FONT:
      case ANSI_FIXED_FONT:
      case ANSI_VAR_FONT:
      case SYSTEM_FONT:
      case DEVICE_DEFAULT_FONT:
      case SYSTEM_FIXED_FONT:
        dc_.Font = TgtFont{};
        break;
      case DEFAULT_PALETTE:
        dc_.Palette = TgtPalette{};
        break;
      case DC_BRUSH:
        dc_.Brush = TBrush{};
        break;
      case DC_PEN:
        dc_.Pen = TPen{};
        break;
      default:
        break;
    }
    return;
  }
  if (index > objects_.size()) return;
  const TgtGDIOBJ& o = objects_[index - 1];
  switch (o.ObjKind) {
    case TgtGDIOBJ::okPen:
      dc_.Pen = o.Pen;
      break;
    case TgtGDIOBJ::okBrush:
      dc_.Brush = o.Brush;
      break;
    case TgtGDIOBJ::okFont: {
      dc_.Font = o.Font;
      const std::vector<uint8_t>& sets = fonts::FaceCharsets(o.Font.Font.Name);
      const bool symbol = std::find(sets.begin(), sets.end(), SYMBOL_CHARSET) != sets.end();
      dc_.SymbolFlag = symbol ? -1 : 1;
      break;
    }
    case TgtGDIOBJ::okPalette:
      dc_.Palette = o.Palette;
      break;
    default:
      break;
  }
}

void TgtMetafileProcessor::SelectPalette(uint32_t index) {
  if (index & ENHMETA_STOCK_OBJECT) {
    if ((index & ~ENHMETA_STOCK_OBJECT) == DEFAULT_PALETTE) dc_.Palette = TgtPalette{};
    return;
  }
  if (index == 0 || index > objects_.size()) return;
  const TgtGDIOBJ& o = objects_[index - 1];
  if (o.ObjKind == TgtGDIOBJ::okPalette) dc_.Palette = o.Palette;
}

void TgtMetafileProcessor::DeleteObject(uint32_t index) {
  if (index == 0 || index > objects_.size()) return;
  objects_[index - 1] = TgtGDIOBJ{};
}

void TgtMetafileProcessor::SaveDC() {
  TgtMetaState s;
  s.Font = dc_.Font;
  s.Brush = dc_.Brush;
  s.Pen = dc_.Pen;
  s.BkMode = dc_.BkMode;
  s.MapMode = dc_.MapMode;
  s.XForm = dc_.XForm;
  s.WindowExt = dc_.WindowExt;
  s.ViewportExt = dc_.ViewportExt;
  s.WindowOrg = dc_.WindowOrg;
  s.ViewportOrg = dc_.ViewportOrg;
  states_.emplace_back(Key(static_cast<int64_t>(states_.size())), std::move(s));
}

void TgtMetafileProcessor::RestoreDC(int32_t relative) {
  if (!states_.empty() && relative != 0) {
    const int64_t n =
        relative < 0 ? int64_t{relative} + static_cast<int64_t>(states_.size()) : relative;
    const std::string key = Key(n);
    auto it =
        std::find_if(states_.begin(), states_.end(), [&](const auto& e) { return e.first == key; });
    if (it != states_.end()) {
      TgtMetaState& s = it->second;
      dc_.Font = std::move(s.Font);
      dc_.Brush = s.Brush;
      dc_.Pen = s.Pen;
      dc_.BkMode = s.BkMode;
      dc_.MapMode = s.MapMode;
      dc_.XForm = s.XForm;
      dc_.WindowExt = s.WindowExt;
      dc_.ViewportExt = s.ViewportExt;
      dc_.WindowOrg = s.WindowOrg;
      dc_.ViewportOrg = s.ViewportOrg;
      RecomputeScales();
      states_.erase(it);
    }
  }
  dc_.ClipActive = false;
  dc_.ClipLeft = dc_.ClipTop = dc_.ClipRight = dc_.ClipBottom = 0;
  TgtClipItem& c = target_.Add<TgtClipItem>();
  c.Brush = dc_.Brush;
  c.Pen = dc_.Pen;
  c.Restore = 1;
}

void TgtMetafileProcessor::SetTextAlign(uint32_t mode) {
  uint32_t set = taNoUpdate | taLeft | taTop;
  if ((mode & TA_BASELINE) == TA_BASELINE)
    set = taNoUpdate | taLeft | taBaseline;
  else if (mode & TA_BOTTOM)
    set = taNoUpdate | taLeft | taBottom;
  if ((mode & TA_CENTER) == TA_CENTER)
    set = (set & ~uint32_t{taLeft}) | taCentre;
  else if (mode & TA_RIGHT)
    set = (set & ~uint32_t{taLeft}) | taRight;
  if (mode & TA_UPDATECP) set = (set & ~uint32_t{taNoUpdate}) | taUpdate;
  dc_.TextAlign = set;
}

// ---------------------------------------------------------------------------------------
// Text.

TgtFontInfo TgtMetafileProcessor::FontInfo(const TFont& font) const {
  TgtFontInfo info;
  const fonts::Font& f = fonts::Realize(fonts::FontKey::From(font));
  const fonts::TextMetrics& tm = f.Metrics();
  const int32_t ppi = kScreenPPI;
  info.Ascent = (tm.Ascent / ppi) * 72;
  info.Descent = -((std::abs(tm.Descent) / ppi) * 72);
  const int32_t size = font.Size();
  const fonts::OutlineMetrics* om = tm.TrueType ? f.Outline() : nullptr;
  if (om) {
    auto scaled = [size](int32_t v) { return RoundInt(size * (v / kPPI * 72) / 1000); };
    info.StrikeoutSize = scaled(om->StrikeoutSize);
    info.StrikeoutPosition = scaled(om->StrikeoutPosition);
    info.UnderscoreSize = scaled(om->UnderscoreSize);
    info.UnderscorePosition = scaled(om->UnderscorePosition) - 1;
  } else {
    info.StrikeoutSize = size / 20;
    info.StrikeoutPosition = static_cast<int32_t>(std::llabs(int64_t{font.Height}) / 5);
    info.UnderscoreSize = size / 10;
    info.UnderscorePosition = -1;
  }
  return info;
}

bool TgtMetafileProcessor::Text(const TEmfRecord& rec) {
  if (!textEnabled_) return true;
  Scratch& sc = *scratch_;
  EMREXTTEXTOUTW head;
  const bool wide = rec.Type == EMR_EXTTEXTOUTW;
  if (wide ? !EmfTextW(rec, head, sc.WText, sc.Dx) : !EmfTextA(rec, head, sc.AText, sc.Dx))
    return false;
  const EMRTEXT& et = head.emrtext;
  const RECTL& rc = et.rcl;

  // 1. The opaque background, before the text.
  const bool noRect = rc.left == 0 && rc.top == 0 && rc.right == -1 && rc.bottom == -1;
  if ((et.fOptions & ETO_OPAQUE) && !noRect) {
    TgtShapeItem& s = target_.Add<TgtShapeItem>();
    s.Points.push_back(MapRectPoint(rc.left, rc.top));
    s.Points.push_back(MapRectPoint(rc.right, rc.bottom));
    if (rc.left != rc.right && rc.top != rc.bottom) {
      s.Kind = skRectangle;
      s.Brush = dc_.Brush;
      s.Pen = dc_.Pen;
      if (dc_.BkMode == static_cast<int32_t>(OPAQUE))
        s.Brush.Color = dc_.BkColor;
      else
        s.Brush.Style = TBrushStyle::bsClear;
      s.Pen.Style = TPenStyle::psClear;
    } else {
      s.Kind = skLine;
      s.Pen = TPen{};
      s.Pen.Color = dc_.Brush.Color;
    }
  }

  // 2. The characters. A character dropped here hands its advance to the one before it,
  // so the advances keep matching the characters.
  if (et.nChars == 0) return true;
  std::u16string line;
  std::vector<double> advances;
  const bool haveDx = !sc.Dx.empty();
  const double dxScale = dc_.XForm.eM11 * (IsoAniso() ? dc_.ScaleY : 1.0);
  auto keep = [&](char16_t c, size_t i) {
    const double adv = haveDx ? sc.Dx[i] * dxScale : 0.0;
    if (c != 0) {
      line.push_back(c);
      if (haveDx) advances.push_back(adv);
    } else if (haveDx && !advances.empty()) {
      advances.back() += adv;
    }
  };
  if (wide) {
    line.reserve(sc.WText.size());
    for (size_t i = 0; i < sc.WText.size(); ++i) {
      const char16_t u = sc.WText[i];
      keep(dc_.SymbolFlag == 1 ? u : static_cast<char16_t>(u & 0xFF), i);
    }
  } else {
    line.reserve(sc.AText.size());
    for (size_t i = 0; i < sc.AText.size(); ++i) {
      const char b = sc.AText[i];
      if (b == 0) {
        keep(0, i);
      } else {
        const std::u16string u = fonts::FromAnsi(std::string_view(&b, 1));
        keep(u.empty() ? static_cast<char16_t>(static_cast<uint8_t>(b)) : u[0], i);
      }
    }
  }

  // 3. The item.
  TgtTextItem& item = target_.Add<TgtTextItem>();
  item.FromMetafile = 1;
  item.TextOption = 0;
  // 4. Advances.
  item.Advances = std::move(advances);

  // 5. Position.
  const bool updateCp = (dc_.TextAlign & taUpdate) && UpdatePositionTextMode;
  TgtPoint pos;
  if (updateCp) {
    pos = MapPoint(dc_.CurPos.X, dc_.CurPos.Y);
    pos.X += dc_.TextAdvance;
  } else {
    pos = MapPoint(et.ptlReference.x, et.ptlReference.y);
  }

  // 6. Clipping.
  if (et.fOptions & ETO_CLIPPED) {
    const TgtPoint a = MapPoint(rc.left, rc.top);
    const TgtPoint b = MapPoint(rc.right, rc.bottom);
    item.SetClip({a.X, a.Y, b.X, b.Y});
  }

  // 7. Font and rotation.
  item.Font = dc_.Font.Font;
  item.Angle = RoundInt(dc_.Font.Escapement / 10.0);

  const uint32_t align = dc_.TextAlign;
  const bool vertical = align & (taTop | taBottom | taBaseline);
  const bool horizontal = align & (taLeft | taRight | taCentre);
  const bool moves = vertical && horizontal && !((align & taTop) && (align & taLeft));
  fonts::TextExtent ext;
  if (updateCp || moves) ext = engine_.MeasureText(line, item.Font);

  // 8. The advance of the current position.
  if (updateCp) {
    if (align & taRight)
      dc_.TextAdvance -= ext.Width;
    else
      dc_.TextAdvance += ext.Width;
  }

  // 9. From the reference point to the top-left corner of the text box.
  if (moves) {
    const double theta = item.Angle * std::numbers::pi / 180.0;
    const double w = ext.Width;
    const double h = ext.Height;
    const double s = item.Font.Size();
    double up = 0;  // distance from the reference point up to the top of the box
    if (align & taBaseline) up = s - FontInfo(item.Font).Descent;
    if (align & taBottom) up = h;
    if (align & taLeft) {
      pos.X -= std::sin(theta) * up;
      pos.Y -= std::cos(theta) * up;
    } else if (align & taTop) {
      const double along = (align & taCentre) ? w / 2 : w;
      pos.X -= along * std::cos(theta);
      pos.Y += along * std::sin(theta);
    } else {
      const double along = (align & taCentre) ? w / 2 : w;
      const double phi = std::atan2(up, along);
      const double len = std::hypot(up, along);
      pos.X -= len * std::cos(theta - phi);
      pos.Y += len * std::sin(theta - phi);
    }
  }
  item.X = pos.X;
  item.Y = pos.Y;

  // 10. Colours.
  item.Font.Color = dc_.TextColor;
  item.Brush.Color = dc_.BkColor;
  if (dc_.BkMode == static_cast<int32_t>(TRANSPARENT)) item.Brush.Style = TBrushStyle::bsClear;

  // 11. The line.
  item.Lines.push_back(std::move(line));
  dc_.DecorationWindow = 3;
  return true;
}

// ---------------------------------------------------------------------------------------
// Block transfers.

bool TgtMetafileProcessor::BlockTransfer(const TEmfRecord& rec) {
  int32_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t rop = SRCCOPY, cbBmi = 0, cbBits = 0;
  RECTL bounds{};
  switch (rec.Type) {
    case EMR_BITBLT: {
      EMRBITBLT r;
      if (!rec.As(r)) return false;
      bounds = r.rclBounds;
      x = r.xDest;
      y = r.yDest;
      cx = r.cxDest;
      cy = r.cyDest;
      rop = r.dwRop;
      cbBmi = r.cbBmiSrc;
      cbBits = r.cbBitsSrc;
      break;
    }
    case EMR_STRETCHBLT: {
      EMRSTRETCHBLT r;
      if (!rec.As(r)) return false;
      bounds = r.rclBounds;
      x = r.xDest;
      y = r.yDest;
      cx = r.cxDest;
      cy = r.cyDest;
      rop = r.dwRop;
      cbBmi = r.cbBmiSrc;
      cbBits = r.cbBitsSrc;
      break;
    }
    case EMR_MASKBLT: {
      EMRMASKBLT r;
      if (!rec.As(r)) return false;
      bounds = r.rclBounds;
      x = r.xDest;
      y = r.yDest;
      cx = r.cxDest;
      cy = r.cyDest;
      rop = r.dwRop;
      cbBmi = r.cbBmiSrc;
      cbBits = r.cbBitsSrc;
      break;
    }
    case EMR_SETDIBITSTODEVICE: {
      EMRSETDIBITSTODEVICE r;
      if (!rec.As(r)) return false;
      bounds = r.rclBounds;
      x = r.xDest;
      y = r.yDest;
      cx = r.cxSrc;
      cy = r.cySrc;
      cbBmi = r.cbBmiSrc;
      cbBits = r.cbBitsSrc;
      break;
    }
    default: {
      EMRSTRETCHDIBITS r;
      if (!rec.As(r)) return false;
      bounds = r.rclBounds;
      x = r.xDest;
      y = r.yDest;
      cx = r.cxDest;
      cy = r.cyDest;
      rop = r.dwRop;
      cbBmi = r.cbBmiSrc;
      cbBits = r.cbBitsSrc;
      break;
    }
  }
  const double right = static_cast<double>(x) + cx;
  const double bottom = static_cast<double>(y) + cy;
  if (cbBmi != 0 && cbBits != 0) return Image(rec, x, y, right, bottom);
  if (!IsFillRop(rop)) return true;
  if (textEnabled_ && !target_.empty()) {
    PendingFill(bounds.left, bounds.top, bounds.right, bounds.bottom, true);
  } else if (shapeEnabled_) {
    PendingFill(x, y, right, bottom, false);
  } else {
    return true;
  }
  FlushFill();
  return true;
}

void TgtMetafileProcessor::PendingFill(double left, double top, double right, double bottom,
                                       bool useBounds) {
  dc_.FillPending = true;
  dc_.FillFromBounds = useBounds;
  dc_.FillLeft = left;
  dc_.FillTop = top;
  dc_.FillRight = right;
  dc_.FillBottom = bottom;
  if (useBounds && dc_.DecorationWindow > 0) --dc_.DecorationWindow;
}

void TgtMetafileProcessor::FlushFill() {
  if (!dc_.FillPending) return;
  dc_.FillPending = false;
  const double l = dc_.FillLeft, t = dc_.FillTop;
  double r = dc_.FillRight, b = dc_.FillBottom;
  // Inclusive bounds of a single device unit still paint that unit: the smallest pad is a
  // line one unit long, not one of no length that shows nothing.
  if (dc_.FillFromBounds && r == l && b == t) r = l + 1;
  const TgtPoint a = MapRectPoint(l, t);
  const TgtPoint z = MapRectPoint(r, b);
  if (dc_.DecorationWindow > 0) {
    --dc_.DecorationWindow;
    if (dc_.DecorationWindow == 0 && DecorationTest(a.X, a.Y, z.X, z.Y)) return;
  }
  if (!shapeEnabled_) return;
  TgtShapeItem& s = engine_.PageItemList().Add<TgtShapeItem>();
  if (l != r && t != b) {
    s.Kind = skRectangle;
    s.Brush = dc_.Brush;
    s.Pen = dc_.Pen;
    if (dc_.BkMode == static_cast<int32_t>(OPAQUE)) {
      s.Pen.Color = dc_.BkColor;
    } else {
      s.Brush.Color = dc_.Brush.Color;
      s.Pen.Style = TPenStyle::psClear;
    }
    if (dc_.Rop2 == static_cast<int32_t>(R2_COPYPEN)) s.Pen.Color = s.Brush.Color;
  } else {
    // A fill without area is a line in the brush colour.
    s.Kind = skLine;
    s.Pen = TPen{};
    s.Pen.Color = dc_.Brush.Color;
  }
  s.Points.push_back(a);
  s.Points.push_back(z);
}

// Recovers underline and strike-out drawn as a separate fill after a text: when the fill
// sits where the last text's decoration belongs, the text's font takes that style instead.
bool TgtMetafileProcessor::DecorationTest(double left, double top, double /*right*/,
                                          double bottom) {
  const size_t n = target_.size();
  for (size_t i = n; i-- > 0;) {
    TgtTextItem* t = ItemCast<TgtTextItem>(&target_[i]);
    if (!t) continue;
    if (!(left == t->X || left == t->X - 1)) continue;
    const TgtFontInfo info = FontInfo(t->Font);
    const double s = t->Font.Size();
    const double y = t->Y;
    uint8_t style = 0;
    if (dc_.MapMode == static_cast<int32_t>(MM_TEXT)) {
      const double up = std::abs(info.UnderscorePosition);
      if (y + up <= top && top <= y + up + info.UnderscoreSize)
        style = fsUnderline;
      else if (y - s <= bottom && bottom <= y - info.StrikeoutPosition)
        style = fsStrikeOut;
    } else {
      const double drop = (top - y) / kPPI * 72;
      if (s - 2 < drop && drop < s + 2)
        style = fsUnderline;
      else if (0 < s + y - top && s + y - top < 4)
        style = fsStrikeOut;
    }
    if (style == 0) return false;
    t->Font.Style |= style;
    for (size_t j = i + 1; j < n; ++j) {
      TgtTextItem* later = ItemCast<TgtTextItem>(&target_[j]);
      if (later && later->Y == y) later->Font.Style |= style;
    }
    return true;
  }
  return false;
}

bool TgtMetafileProcessor::Image(const TEmfRecord& rec, double left, double top, double right,
                                 double bottom) {
  std::span<const uint8_t> info, bits;
  if (!EmfSourceBitmap(rec, info, bits)) return false;
  if (!imageEnabled_) return true;
  const TgtPoint a = MapPoint(left, top);
  const TgtPoint b = MapPoint(right, bottom);
  double l = std::min(a.X, b.X), r = std::max(a.X, b.X);
  double t = std::min(a.Y, b.Y), d = std::max(a.Y, b.Y);
  if (dc_.ClipActive) {
    l = std::max(l, std::min(dc_.ClipLeft, dc_.ClipRight));
    r = std::min(r, std::max(dc_.ClipLeft, dc_.ClipRight));
    t = std::max(t, std::min(dc_.ClipTop, dc_.ClipBottom));
    d = std::min(d, std::max(dc_.ClipTop, dc_.ClipBottom));
    // Entirely outside the clip: nothing of the picture shows.
    if (l >= r || t >= d) return true;
  }
  const int32_t index = engine_.AddImageToList(EmfBitmapFile(info, bits));
  TgtImageItem& item = target_.Add<TgtImageItem>();
  item.SetRect(l, t, r, d);
  item.ImageIndex = index;
  item.Pen = dc_.Pen;
  item.Brush = dc_.Brush;
  return true;
}

}  // namespace pv
