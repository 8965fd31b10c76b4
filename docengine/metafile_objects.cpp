// The object table of the metafile processor: pens, brushes, fonts and palettes created,
// selected and deleted, and the device-context states SaveDC keeps.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <span>
#include <string>

#include "docengine/brush_hatch.h"
#include "docengine/emf.h"
#include "docengine/items.h"
#include "docengine/metafile_processor.h"
#include "docengine/metafile_processor_internal.h"
#include "platform/checked.h"
#include "platform/fonts.h"
#include "platform/text.h"

namespace pv {

using namespace metafile;

namespace {

// Object handles are 16-bit in a metafile header; no table grows beyond that.
constexpr uint32_t kMaxObjectIndex = 0xFFFF;

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

std::string Key(int64_t n) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, n);
  return std::string(buf, r.ptr);
}

}  // namespace

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
    // An unknown hatch keeps the brush solid.
    TBrushStyle style;
    if (BrushStyleOfHatch(r.lb.lbHatch, style)) o->Brush.Style = style;
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
    const int32_t points = std::abs(RoundPixels(lf.lfHeight * -72.0 / kPPI));
    f.Font.Height = -RoundPixels(points * kPPI / 72.0);
  }
  if (IsoAniso()) {
    const double r1 = resX_;
    const double k = RoundPixels(dc_.ViewportExt.X / r1);
    f.Font.Height = RoundPixels(f.Font.Height / (dc_.WindowExt.X / k) * r1);
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

}  // namespace pv
