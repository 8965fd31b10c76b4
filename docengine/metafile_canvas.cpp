#include "docengine/metafile_canvas.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "docengine/brush_hatch.h"
#include "platform/checked.h"
#include "platform/errors.h"
#include "platform/text.h"

namespace pv {

namespace {

// The reference device: a 96 pixel-per-inch screen of 1920 x 1440 pixels (508 x 381 mm).
constexpr SIZEL kDevicePixels{1920, 1440};
constexpr SIZEL kDeviceMillimeters{508, 381};
// 0.01 mm per pixel of the reference device, for text records in GM_COMPATIBLE mode.
constexpr float kHimetricPerPixel = 2540.0f / kScreenPPI;

constexpr RECTL kNoRect{0, 0, -1, -1};

uint32_t ColorRef(TColor c) {
  return static_cast<uint32_t>(c) & 0x00FFFFFFu;
}

constexpr size_t Pad4(size_t n) {
  return (n + 3) & ~size_t{3};
}

uint32_t PenStyleValue(TPenStyle s) {
  switch (s) {
    case TPenStyle::psSolid:
      return PS_SOLID;
    case TPenStyle::psDash:
      return PS_DASH;
    case TPenStyle::psDot:
      return PS_DOT;
    case TPenStyle::psDashDot:
      return PS_DASHDOT;
    case TPenStyle::psDashDotDot:
      return PS_DASHDOTDOT;
    case TPenStyle::psClear:
      return PS_NULL;
    case TPenStyle::psInsideFrame:
      return PS_INSIDEFRAME;
    case TPenStyle::psUserStyle:
      return PS_USERSTYLE;
    case TPenStyle::psAlternate:
      return PS_ALTERNATE;
  }
  return PS_SOLID;
}

uint32_t EndCapBits(TPenEndCap c) {
  switch (c) {
    case TPenEndCap::pecRound:
      return PS_ENDCAP_ROUND;
    case TPenEndCap::pecSquare:
      return PS_ENDCAP_SQUARE;
    default:
      return PS_ENDCAP_FLAT;
  }
}

uint32_t JoinBits(TPenJoin j) {
  switch (j) {
    case TPenJoin::pjRound:
      return PS_JOIN_ROUND;
    case TPenJoin::pjBevel:
      return PS_JOIN_BEVEL;
    default:
      return PS_JOIN_MITER;
  }
}

// A pen with an end cap or join of its own is recorded as a geometric pen; alternate dots
// exist only on a cosmetic pen, which has neither.
bool IsGeometric(const TPen& pen) {
  return pen.Style != TPenStyle::psAlternate &&
         (pen.EndCap != TPenEndCap::pecDefault || pen.Join != TPenJoin::pjDefault);
}

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The header's fields that the recording fixes at the end; written with the layout's
// offsets so that nothing else of the header is touched.
template <class T>
void Poke(std::vector<uint8_t>& buf, size_t offset, const T& v) {
  std::memcpy(buf.data() + offset, &v, sizeof v);
}

}  // namespace

TMetafileCanvas::TMetafileCanvas(TMetafile& mf) : mf_(mf) {
  // The page metafile is reused for every page: its buffer's capacity is reused too.
  buf_.swap(mf_.MutableBytes());
  buf_.clear();
  if (buf_.capacity() < 64 * 1024) buf_.reserve(64 * 1024);
  inUse_.assign(8, false);
  inUse_[0] = true;

  ENHMETAHEADER_EXT h{};
  h.base.emr = {EMR_HEADER, static_cast<uint32_t>(sizeof h)};
  h.base.rclBounds = kNoRect;
  h.base.dSignature = ENHMETA_SIGNATURE;
  h.base.nVersion = ENHMETA_VERSION;
  h.base.nHandles = 1;
  h.base.szlDevice = kDevicePixels;
  h.base.szlMillimeters = kDeviceMillimeters;
  h.szlMicrometers = {kDeviceMillimeters.cx * 1000, kDeviceMillimeters.cy * 1000};
  std::memcpy(Append(EMR_HEADER, sizeof h), &h, sizeof h);
}

TMetafileCanvas::~TMetafileCanvas() {
  Close();
}

void TMetafileCanvas::Close() {
  if (closed_) return;
  EMREOF eof{};
  eof.emr = {EMR_EOF, sizeof eof};
  eof.offPalEntries = 16;  // no palette: the offset points at nSizeLast
  eof.nSizeLast = sizeof eof;
  Put(eof);

  const int64_t w = mf_.Width(), h = mf_.Height();
  RECTL frame{0, 0, Clamp32((w * 2540 + (w < 0 ? -48 : 48)) / kScreenPPI),
              Clamp32((h * 2540 + (h < 0 ? -48 : 48)) / kScreenPPI)};
  Poke(buf_, offsetof(ENHMETAHEADER, rclBounds), anyBounds_ ? ToRectl(bounds_) : kNoRect);
  Poke(buf_, offsetof(ENHMETAHEADER, rclFrame), frame);
  Poke(buf_, offsetof(ENHMETAHEADER, nBytes), static_cast<uint32_t>(buf_.size()));
  Poke(buf_, offsetof(ENHMETAHEADER, nRecords), records_);
  Poke(buf_, offsetof(ENHMETAHEADER, nHandles), static_cast<uint16_t>(maxHandle_ + 1));

  closed_ = true;
  mf_.MutableBytes().swap(buf_);
  buf_ = std::vector<uint8_t>();
}

uint8_t* TMetafileCanvas::Append(uint32_t type, size_t size) {
  const size_t at = buf_.size();
  // A recording is limited to what nBytes can count.
  if (size > std::numeric_limits<uint32_t>::max() - at) throw ERangeError();
  buf_.resize(at + size);
  uint8_t* p = buf_.data() + at;
  const EMR emr{type, static_cast<uint32_t>(size)};
  std::memcpy(p, &emr, sizeof emr);
  ++records_;
  return p;
}

void TMetafileCanvas::PutObjectIndex(uint32_t type, uint32_t index) {
  EMRSELECTOBJECT r{{type, sizeof r}, index};
  Put(r);
}

void TMetafileCanvas::PutMode(uint32_t type, uint32_t mode) {
  EMRSELECTCLIPPATH r{{type, sizeof r}, mode};
  Put(r);
}

uint32_t TMetafileCanvas::AllocHandle() {
  uint32_t h = 1;
  while (h < inUse_.size() && inUse_[h]) ++h;
  if (h == inUse_.size()) inUse_.push_back(false);
  inUse_[h] = true;
  maxHandle_ = std::max(maxHandle_, h);
  return h;
}

void TMetafileCanvas::FreeHandle(uint32_t h) {
  if (h > 0 && h < inUse_.size()) inUse_[h] = false;
}

void TMetafileCanvas::BringPen() {
  if (penHandle_ != 0 && Pen == penRec_) return;
  const uint32_t h = AllocHandle();
  const uint32_t style = PenStyleValue(Pen.Style);
  if (IsGeometric(Pen)) {
    // End caps and joins exist only on a geometric extended pen, painted by a solid brush
    // of the pen's colour. A geometric pen has no "default": a cap or join left to it is
    // recorded as what the classic pen shows on our page, flat ends and mitred joins.
    EMREXTCREATEPEN r{};
    r.emr = {EMR_EXTCREATEPEN, sizeof r};
    r.ihPen = h;
    r.offBmi = r.offBits = sizeof r;
    r.elp.elpPenStyle = PS_GEOMETRIC | (style == PS_USERSTYLE ? PS_SOLID : style) |
                        EndCapBits(Pen.EndCap) | JoinBits(Pen.Join);
    r.elp.elpWidth = static_cast<uint32_t>(std::llabs(int64_t{Pen.Width}));
    r.elp.elpBrushStyle = BS_SOLID;
    r.elp.elpColor = ColorRef(Pen.Color);
    Put(r);
  } else if (style == PS_ALTERNATE) {
    // Alternate dots exist only as a cosmetic extended pen.
    EMREXTCREATEPEN r{};
    r.emr = {EMR_EXTCREATEPEN, sizeof r};
    r.ihPen = h;
    r.offBmi = r.offBits = sizeof r;
    r.elp.elpPenStyle = PS_COSMETIC | PS_ALTERNATE;
    r.elp.elpWidth = 1;
    r.elp.elpBrushStyle = BS_SOLID;
    r.elp.elpColor = ColorRef(Pen.Color);
    Put(r);
  } else {
    EMRCREATEPEN r{};
    r.emr = {EMR_CREATEPEN, sizeof r};
    r.ihPen = h;
    // A user style without a dash array of its own draws solid.
    r.lopn.lopnStyle = style == PS_USERSTYLE ? PS_SOLID : style;
    r.lopn.lopnWidth = {Pen.Width, 0};
    r.lopn.lopnColor = ColorRef(Pen.Color);
    Put(r);
  }
  PutObjectIndex(EMR_SELECTOBJECT, h);
  if (penHandle_ != 0) {
    PutObjectIndex(EMR_DELETEOBJECT, penHandle_);
    FreeHandle(penHandle_);
  }
  penHandle_ = h;
  penRec_ = Pen;
  PutMode(EMR_SETROP2, R2_COPYPEN);
}

void TMetafileCanvas::BringBrush() {
  if (brushHandle_ != 0 && Brush == brushRec_) return;
  const uint32_t h = AllocHandle();
  EMRCREATEBRUSHINDIRECT r{};
  r.emr = {EMR_CREATEBRUSHINDIRECT, sizeof r};
  r.ihBrush = h;
  r.lb.lbColor = ColorRef(Brush.Color);
  if (Brush.Style == TBrushStyle::bsClear)
    r.lb.lbStyle = BS_NULL;
  else if (HatchOfBrushStyle(Brush.Style, r.lb.lbHatch))
    r.lb.lbStyle = BS_HATCHED;
  else
    r.lb.lbStyle = BS_SOLID;
  Put(r);
  PutObjectIndex(EMR_SELECTOBJECT, h);
  if (brushHandle_ != 0) {
    PutObjectIndex(EMR_DELETEOBJECT, brushHandle_);
    FreeHandle(brushHandle_);
  }
  brushHandle_ = h;
  brushRec_ = Brush;

  // A solid brush paints an opaque background in its own colour; every other style
  // leaves the gaps between its hatch lines unpainted (the complement colour keeps the
  // hatch visible should a player ignore the mode).
  uint32_t mode, color;
  if (Brush.Style == TBrushStyle::bsSolid) {
    mode = OPAQUE;
    color = ColorRef(Brush.Color);
  } else {
    mode = TRANSPARENT;
    color = ColorRef(~Brush.Color);
  }
  if (bkMode_ != mode) {
    PutMode(EMR_SETBKMODE, mode);
    bkMode_ = mode;
  }
  if (!bkColorSet_ || bkColor_ != color) {
    EMRSETBKCOLOR c{{EMR_SETBKCOLOR, sizeof c}, color};
    Put(c);
    bkColorSet_ = true;
    bkColor_ = color;
  }
}

void TMetafileCanvas::BringFont() {
  const bool sameObject = fontHandle_ != 0 && Font.Name == fontRec_.Name &&
                          Font.Height == fontRec_.Height && Font.Style == fontRec_.Style &&
                          Font.Charset == fontRec_.Charset && Font.Pitch == fontRec_.Pitch;
  if (!sameObject) {
    const uint32_t h = AllocHandle();
    struct {
      EMR emr;
      uint32_t ihFont;
      EXTLOGFONTW elfw;
    } r{};
    static_assert(sizeof r == 332);
    r.emr = {EMR_EXTCREATEFONTINDIRECTW, sizeof r};
    r.ihFont = h;
    LOGFONTW& lf = r.elfw.elfLogFont;
    lf.lfHeight = Font.Height;
    lf.lfWeight = (Font.Style & fsBold) ? FW_BOLD : FW_NORMAL;
    lf.lfItalic = (Font.Style & fsItalic) ? 1 : 0;
    lf.lfUnderline = (Font.Style & fsUnderline) ? 1 : 0;
    lf.lfStrikeOut = (Font.Style & fsStrikeOut) ? 1 : 0;
    lf.lfCharSet = Font.Charset;
    lf.lfOutPrecision = OUT_DEFAULT_PRECIS;
    lf.lfClipPrecision = CLIP_DEFAULT_PRECIS;
    lf.lfQuality = DEFAULT_QUALITY;
    switch (Font.Pitch) {
      case TFontPitch::fpDefault:
        lf.lfPitchAndFamily = DEFAULT_PITCH;
        break;
      case TFontPitch::fpVariable:
        lf.lfPitchAndFamily = VARIABLE_PITCH;
        break;
      case TFontPitch::fpFixed:
        lf.lfPitchAndFamily = FIXED_PITCH;
        break;
    }
    // The face name: at most 31 UTF-16 units, the rest of the field zero.
    const std::u16string face = Utf8ToUtf16(Font.Name);
    std::memcpy(lf.lfFaceName, face.data(), std::min<size_t>(face.size(), 31) * 2);
    Put(r);
    PutObjectIndex(EMR_SELECTOBJECT, h);
    if (fontHandle_ != 0) {
      PutObjectIndex(EMR_DELETEOBJECT, fontHandle_);
      FreeHandle(fontHandle_);
    }
    fontHandle_ = h;
    fontRec_ = Font;
    realized_ = &fonts::Realize(fonts::FontKey::From(Font));
  }
  const uint32_t color = ColorRef(Font.Color);
  if (!textColorSet_ || color != textColor_) {
    EMRSETTEXTCOLOR c{{EMR_SETTEXTCOLOR, sizeof c}, color};
    Put(c);
    textColorSet_ = true;
    textColor_ = color;
  }
}

TMetafileCanvas::Box TMetafileCanvas::Normalized(int64_t x1, int64_t y1, int64_t x2, int64_t y2) {
  return {std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2)};
}

TMetafileCanvas::Box TMetafileCanvas::Stroked(Box b) const {
  if (Pen.Style == TPenStyle::psClear) return b;
  const int64_t w = std::max<int64_t>(Pen.Width, 1);
  int64_t lo = w / 2, hi = (w - 1) / 2;
  if (IsGeometric(Pen)) {
    // A square end reaches up to half the width times the square root of 2 beyond its end
    // point, a mitred corner up to the miter limit (10) times half the width.
    const int64_t reach = JoinBits(Pen.Join) == PS_JOIN_MITER   ? 5 * w
                          : Pen.EndCap == TPenEndCap::pecSquare ? w
                                                                : lo;
    lo = hi = std::max(lo, reach);
  }
  return {b.Left - lo, b.Top - lo, b.Right + hi, b.Bottom + hi};
}

RECTL TMetafileCanvas::ToRectl(const Box& b) {
  return {Clamp32(b.Left), Clamp32(b.Top), Clamp32(b.Right), Clamp32(b.Bottom)};
}

void TMetafileCanvas::AddBounds(const Box& b) {
  if (b.Right < b.Left || b.Bottom < b.Top) return;
  if (!anyBounds_) {
    bounds_ = b;
    anyBounds_ = true;
    return;
  }
  bounds_ = {std::min(bounds_.Left, b.Left), std::min(bounds_.Top, b.Top),
             std::max(bounds_.Right, b.Right), std::max(bounds_.Bottom, b.Bottom)};
}

void TMetafileCanvas::FillRect(const TRect& rc) {
  if (closed_) return;
  EMRBITBLT r{};
  r.emr = {EMR_BITBLT, sizeof r};
  // The device rectangle painted: right column and bottom row excluded.
  const Box area{std::min(rc.Left, rc.Right), std::min(rc.Top, rc.Bottom),
                 int64_t{std::max(rc.Left, rc.Right)} - 1,
                 int64_t{std::max(rc.Top, rc.Bottom)} - 1};
  r.rclBounds = ToRectl(area);
  r.xDest = rc.Left;
  r.yDest = rc.Top;
  r.cxDest = CheckedSub(rc.Right, rc.Left);
  r.cyDest = CheckedSub(rc.Bottom, rc.Top);
  r.dwRop = PATCOPY;
  r.xformSrc = {1, 0, 0, 1, 0, 0};
  r.iUsageSrc = DIB_RGB_COLORS;
  BringPenAndBrush();
  Put(r);
  AddBounds(area);
}

void TMetafileCanvas::Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  if (closed_) return;
  BringPenAndBrush();
  EMRELLIPSE r{{EMR_ELLIPSE, sizeof r}, {x1, y1, x2, y2}};
  Put(r);
  Box b = Normalized(x1, y1, x2, y2);
  b.Right -= 1;
  b.Bottom -= 1;
  AddBounds(Stroked(b));
}

void TMetafileCanvas::Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                          int32_t x4, int32_t y4) {
  if (closed_) return;
  BringPenAndBrush();
  EMRARC r{{EMR_ARC, sizeof r}, {x1, y1, x2, y2}, {x3, y3}, {x4, y4}};
  Put(r);
  // The arc lies inside its box; the whole box is a safe bound.
  Box b = Normalized(x1, y1, x2, y2);
  b.Right -= 1;
  b.Bottom -= 1;
  AddBounds(Stroked(b));
}

void TMetafileCanvas::MoveTo(int32_t x, int32_t y) {
  if (closed_) return;
  EMRMOVETOEX r{{EMR_MOVETOEX, sizeof r}, {x, y}};
  Put(r);
  pos_ = {x, y};
}

void TMetafileCanvas::LineTo(int32_t x, int32_t y) {
  if (closed_) return;
  BringPenAndBrush();
  EMRLINETO r{{EMR_LINETO, sizeof r}, {x, y}};
  Put(r);
  AddBounds(Stroked(Normalized(pos_.X, pos_.Y, x, y)));
  pos_ = {x, y};
}

void TMetafileCanvas::Polygon(const TPoint* points, uint32_t count) {
  if (closed_ || points == nullptr || count == 0) return;
  bool small = true;
  Box b{points[0].X, points[0].Y, points[0].X, points[0].Y};
  for (uint32_t i = 0; i < count; ++i) {
    const TPoint& p = points[i];
    small = small && p.X >= INT16_MIN && p.X <= INT16_MAX && p.Y >= INT16_MIN && p.Y <= INT16_MAX;
    b = {std::min<int64_t>(b.Left, p.X), std::min<int64_t>(b.Top, p.Y),
         std::max<int64_t>(b.Right, p.X), std::max<int64_t>(b.Bottom, p.Y)};
  }
  const Box stroked = Stroked(b);
  const uint64_t size = sizeof(EMRPOLYLINE) + uint64_t{count} * (small ? 4 : 8);
  if (size > std::numeric_limits<uint32_t>::max()) throw ERangeError();
  BringPenAndBrush();
  uint8_t* p = Append(small ? EMR_POLYGON16 : EMR_POLYGON, static_cast<size_t>(size));
  const RECTL bounds = ToRectl(stroked);
  std::memcpy(p + offsetof(EMRPOLYLINE, rclBounds), &bounds, sizeof bounds);
  std::memcpy(p + offsetof(EMRPOLYLINE, cptl), &count, sizeof count);
  p += sizeof(EMRPOLYLINE);
  for (uint32_t i = 0; i < count; ++i) {
    if (small) {
      const POINTS s{static_cast<int16_t>(points[i].X), static_cast<int16_t>(points[i].Y)};
      std::memcpy(p, &s, sizeof s);
      p += sizeof s;
    } else {
      const POINTL l{points[i].X, points[i].Y};
      std::memcpy(p, &l, sizeof l);
      p += sizeof l;
    }
  }
  AddBounds(stroked);
}

void TMetafileCanvas::TextOut(int32_t x, int32_t y, std::u16string_view text) {
  if (closed_) return;
  BringPenAndBrush();
  BringFont();
  const uint64_t n = text.size();
  const uint64_t offDx = sizeof(EMREXTTEXTOUTW) + Pad4(n * 2);
  const uint64_t size = offDx + n * 4;
  if (size > std::numeric_limits<uint32_t>::max()) throw ERangeError();

  // The width is known (and checked) before anything is appended, so that a failure
  // leaves no half-written record; the advances then go straight into the record.
  int64_t width = 0;
  for (char16_t c : text) width += realized_->CharAdvance(c);
  const int32_t w = CheckedNarrow(width);
  const int32_t endX = CheckedAdd(x, w);

  uint8_t* p = Append(EMR_EXTTEXTOUTW, static_cast<size_t>(size));
  if (n) std::memcpy(p + sizeof(EMREXTTEXTOUTW), text.data(), n * 2);
  for (uint64_t i = 0; i < n; ++i) {
    const int32_t adv = realized_->CharAdvance(text[i]);
    std::memcpy(p + offDx + i * 4, &adv, 4);
  }

  EMREXTTEXTOUTW r{};
  r.emr = {EMR_EXTTEXTOUTW, static_cast<uint32_t>(size)};
  const Box box{x, y, int64_t{x} + w - 1, int64_t{y} + realized_->Metrics().Height - 1};
  r.rclBounds = n ? ToRectl(box) : kNoRect;
  r.iGraphicsMode = GM_COMPATIBLE;
  r.exScale = kHimetricPerPixel;
  r.eyScale = kHimetricPerPixel;
  r.emrtext.ptlReference = {x, y};
  r.emrtext.nChars = static_cast<uint32_t>(n);
  r.emrtext.offString = sizeof(EMREXTTEXTOUTW);
  r.emrtext.fOptions = 0;
  r.emrtext.rcl = kNoRect;
  r.emrtext.offDx = static_cast<uint32_t>(offDx);
  std::memcpy(p, &r, sizeof r);
  if (n) AddBounds(box);

  // A canvas text output leaves the current position after the text.
  MoveTo(endX, y);
}

}  // namespace pv
