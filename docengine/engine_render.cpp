// Rendering of stored items: each item handed to the output hook of its class, page
// variables, and the hooks whose base does nothing.
#include <charconv>

#include "docengine/engine.h"

namespace pv {

// ---- Rendering ----------------------------------------------------------------------------

void TgtCustomDocumentEngine::RenderShape(const TgtShapeItem& s) {
  const TgtPoints& p = s.Points;
  const int32_t n = s.PointCount();
  // A shape with fewer points than its kind needs is skipped like one without points.
  switch (s.Kind) {
    case skLine:
      if (n >= 2) RenderLine(s.Pen, p[0].X, p[0].Y, p[1].X, p[1].Y);
      return;
    case skRectangle:
      if (n >= 2) RenderRectangle(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y);
      return;
    case skRoundRect:
      if (n >= 3)
        RenderRoundRect(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y);
      return;
    case skEllipse:
      if (n >= 2) RenderEllipse(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y);
      return;
    case skPolygon:
      RenderPolygon(p.data(), n, s.BrushOrNull(), s.Pen, true);
      return;
    case skPolyLine:
      RenderPolygon(p.data(), n, s.BrushOrNull(), s.Pen, false);
      return;
    case skArc:
      if (n >= 4) RenderArc(s.Pen, p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X, p[3].Y);
      return;
    case skChord:
      if (n >= 4)
        RenderChord(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X,
                    p[3].Y);
      return;
    case skPie:
      if (n >= 4)
        RenderPie(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X,
                  p[3].Y);
      return;
    case skBezier:
      RenderPolyBezier(p.data(), n, s.Pen);
      return;
    default:
      RenderOtherItem(s);
      return;
  }
}

void TgtCustomDocumentEngine::RenderTextItem(const TgtTextItem& item) {
  const bool box = item.ItemClass() == TgtItemClass::icTextBox;
  bool substitute = false;
  if (Preferences().CalculateVariables()) {
    substitute = static_cast<bool>(OnCalcVariables);
    for (const std::u16string& line : item.Lines)
      if (line.find(u"<%") != std::u16string::npos) substitute = true;
  }
  if (!substitute) {
    if (box)
      RenderTextBox(static_cast<const TgtTextBoxItem&>(item));
    else
      RenderText(item);
    return;
  }
  // Band items are rendered on every page, so the substitution works on a copy.
  if (box) {
    TgtTextBoxItem copy = static_cast<const TgtTextBoxItem&>(item);
    for (std::u16string& line : copy.Lines) line = CalcVariables(line);
    RenderTextBox(copy);
  } else {
    TgtTextItem copy = item;
    for (std::u16string& line : copy.Lines) line = CalcVariables(line);
    RenderText(copy);
  }
}

void TgtCustomDocumentEngine::RenderItems(const TgtItemList& items) {
  for (const TgtDocumentItem& item : items) {
    switch (item.ItemClass()) {
      case TgtItemClass::icTextBox:
      case TgtItemClass::icText:
        RenderTextItem(static_cast<const TgtTextItem&>(item));
        break;
      case TgtItemClass::icImageStream:
        RenderImageStream(static_cast<const TgtImageStream&>(item));
        break;
      case TgtItemClass::icImage:
        RenderImage(static_cast<const TgtImageItem&>(item));
        break;
      case TgtItemClass::icShape: {
        const auto& s = static_cast<const TgtShapeItem&>(item);
        if (s.PointCount() > 0) RenderShape(s);
        break;
      }
      case TgtItemClass::icPolyShape: {
        const auto& ps = static_cast<const TgtPolyShapeItem&>(item);
        if (!ps.Figures.empty()) {
          const uint8_t kind = ps.Figures.front().Kind;
          if (kind == skPolygon || kind == skPolyLine) RenderPolyShape(ps, kind == skPolygon);
        }
        break;
      }
      case TgtItemClass::icTable:
        RenderTable(static_cast<const TgtTableItem&>(item));
        break;
      case TgtItemClass::icParagraph:
        RenderParagraph(static_cast<const TgtParagraphItem&>(item));
        break;
      case TgtItemClass::icClip:
        RenderClip(static_cast<const TgtClipItem&>(item));
        break;
      case TgtItemClass::icPath:
        RenderPath(static_cast<const TgtPathItem&>(item));
        break;
      case TgtItemClass::icPolyPolygon:
        RenderPolyPolygon(static_cast<const TgtPolyPolygonItem&>(item));
        break;
      case TgtItemClass::icEOF:
        RenderEOF(static_cast<const TgtEOFItem&>(item));
        break;
      case TgtItemClass::icPolyDraw:
        RenderPolyDraw(static_cast<const TgtPolyDrawItem&>(item));
        break;
      case TgtItemClass::icOther:
        RenderOtherItem(item);
        break;
    }
  }
}

void TgtCustomDocumentEngine::PrepareTextItems(const TgtItemList& items) {
  for (const TgtDocumentItem& item : items)
    if (item.ItemClass() == TgtItemClass::icText) RenderText(static_cast<const TgtTextItem&>(item));
}

void TgtCustomDocumentEngine::SortItems(TgtItemList& items) {
  items.SortSubset([](const TgtDocumentItem& i) { return i.ItemClass() == TgtItemClass::icText; },
                   [](const TgtDocumentItem& a, const TgtDocumentItem& b) {
                     const auto& ta = static_cast<const TgtTextItem&>(a);
                     const auto& tb = static_cast<const TgtTextItem&>(b);
                     if (ta.Y != tb.Y) return ta.Y < tb.Y;
                     return ta.X < tb.X;
                   });
}

void TgtCustomDocumentEngine::RenderPageBorder() {
  const TgtBorder& b = pageBorder_;
  if (!(b.DrawLeft || b.DrawTop || b.DrawRight || b.DrawBottom)) return;
  const TgtPageSettings* s = CurrentPageSettings();
  if (!s) return;
  const TPen pen{b.Color, b.Width, b.Style};
  const double l = s->LeftMargin(), t = s->TopMargin();
  const double r = s->Width() - s->RightMargin(), btm = s->Height() - s->BottomMargin();
  if (b.DrawLeft) RenderLine(pen, l, t, l, btm);
  if (b.DrawTop) RenderLine(pen, l, t, r, t);
  if (b.DrawRight) RenderLine(pen, r, t, r, btm);
  if (b.DrawBottom) RenderLine(pen, l, btm, r, btm);
}

std::u16string TgtCustomDocumentEngine::ReplacePageVariables(std::u16string_view text) {
  auto replaceAll = [](std::u16string& s, std::u16string_view what, const std::u16string& by) {
    for (size_t at = s.find(what); at != std::u16string::npos; at = s.find(what, at + by.size()))
      s.replace(at, what.size(), by);
  };
  auto number = [](int32_t v) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::u16string(buf, r.ptr);
  };
  std::u16string s(text);
  replaceAll(s, u"<%Pg#%>", number(currentPage_));
  replaceAll(s, u"<%PgCnt%>", number(pageCount_));
  return s;
}

std::u16string TgtCustomDocumentEngine::CalcVariables(std::u16string_view text) {
  if (!Preferences().CalculateVariables()) return std::u16string(text);
  std::u16string s = ReplacePageVariables(text);
  if (OnCalcVariables) OnCalcVariables(*this, s);
  return s;
}

// ---- Hooks whose base does nothing --------------------------------------------------------

void TgtCustomDocumentEngine::DoBeginPage() {}
void TgtCustomDocumentEngine::DoEndPage() {}
void TgtCustomDocumentEngine::DoBeginDoc() {}
void TgtCustomDocumentEngine::DoEndDoc() {}
void TgtCustomDocumentEngine::RenderText(const TgtTextItem&) {}
void TgtCustomDocumentEngine::RenderImage(const TgtImageItem&) {}
void TgtCustomDocumentEngine::RenderImageStream(const TgtImageStream&) {}
void TgtCustomDocumentEngine::RenderOtherItem(const TgtDocumentItem&) {}
void TgtCustomDocumentEngine::RenderClip(const TgtClipItem&) {}
void TgtCustomDocumentEngine::RenderPath(const TgtPathItem&) {}
void TgtCustomDocumentEngine::RenderPolyPolygon(const TgtPolyPolygonItem&) {}
void TgtCustomDocumentEngine::RenderEOF(const TgtEOFItem&) {}
void TgtCustomDocumentEngine::RenderPolyDraw(const TgtPolyDrawItem&) {}
void TgtCustomDocumentEngine::RenderLine(const TPen&, double, double, double, double) {}
void TgtCustomDocumentEngine::RenderRectangle(const TPen&, const TBrush*, double, double, double,
                                              double) {}
void TgtCustomDocumentEngine::RenderEllipse(const TPen&, const TBrush*, double, double, double,
                                            double) {}
void TgtCustomDocumentEngine::RenderRoundRect(const TPen&, const TBrush*, double, double, double,
                                              double, double, double) {}
void TgtCustomDocumentEngine::RenderPolygon(const TgtPoint*, int32_t, const TBrush*, const TPen&,
                                            bool) {}
void TgtCustomDocumentEngine::RenderPolyShape(const TgtPolyShapeItem&, bool) {}
void TgtCustomDocumentEngine::RenderArc(const TPen&, double, double, double, double, double, double,
                                        double, double) {}
void TgtCustomDocumentEngine::RenderPie(const TPen&, const TBrush*, double, double, double, double,
                                        double, double, double, double) {}
void TgtCustomDocumentEngine::RenderChord(const TPen&, const TBrush*, double, double, double,
                                          double, double, double, double, double) {}
void TgtCustomDocumentEngine::RenderPolyBezier(const TgtPoint*, int32_t, const TPen&) {}
void TgtCustomDocumentEngine::RenderBitmap(const TgtGraphic&, double, double) {}
bool TgtCustomDocumentEngine::SupportsFeature() {
  return true;
}
int32_t TgtCustomDocumentEngine::ShowDefaultSetupDialog() {
  return mrOk;
}
TgtPreferences* TgtCustomDocumentEngine::PreferencesClass() const {
  return new TgtPreferences();
}
void TgtCustomDocumentEngine::CheckOutputImageFormat(TgtOutputImageFormat) {}

}  // namespace pv
