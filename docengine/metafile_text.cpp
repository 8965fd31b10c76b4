// Text records of the metafile processor: alignment, font metrics, the text item, and the
// pending rectangle fill that may turn out to be the last text's underline or strike-out.
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "docengine/emf.h"
#include "docengine/items.h"
#include "docengine/metafile_processor.h"
#include "docengine/metafile_processor_internal.h"
#include "platform/checked.h"
#include "platform/fonts.h"

namespace pv {

using namespace metafile;

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
  // Pixels to points in whole numbers, divided by the 96 screen pixels per inch first: a
  // font under 96 pixels has no ascent. Kept so, because text alignment and the decoration
  // test were settled on these values.
  const int32_t ppi = kScreenPPI;
  info.Ascent = (tm.Ascent / ppi) * 72;
  info.Descent = -((std::abs(tm.Descent) / ppi) * 72);
  const int32_t size = font.Size();
  const fonts::OutlineMetrics* om = tm.TrueType ? f.Outline() : nullptr;
  if (om) {
    auto scaled = [size](int32_t v) { return RoundPixels(size * (v / kPPI * 72) / 1000); };
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
  item.Angle = RoundPixels(dc_.Font.Escapement / 10.0);

  const uint32_t align = dc_.TextAlign;
  const bool vertical = align & (taTop | taBottom | taBaseline);
  const bool horizontal = align & (taLeft | taRight | taCentre);
  const bool moves = vertical && horizontal && !((align & taTop) && (align & taLeft));
  fonts::TextExtent ext;
  if (updateCp || moves) ext = host_.MeasureRecordingText(line, item.Font);

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
  TgtShapeItem& s = host_.RecordingPageItems().Add<TgtShapeItem>();
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

}  // namespace pv
