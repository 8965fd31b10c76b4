// The direct drawing operations: text, formatted text, text boxes, paragraphs, tables and
// shapes; text measurement and the link finder.
#include <algorithm>
#include <cmath>
#include <numbers>

#include "docengine/engine.h"
#include "docengine/engine_paragraph_table.h"

namespace pv {

namespace {

// Inner distance between a text box's edges and its text, screen pixels.
constexpr double kBoxPadding = 2;

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}

char16_t LowerAscii16(char16_t c) {
  return c >= u'A' && c <= u'Z' ? c + (u'a' - u'A') : c;
}

bool IsAsciiLetter(char16_t c) {
  return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Characters of a web or mail link.
bool IsLinkChar(char16_t c) {
  return IsAsciiLetter(c) || IsDigit(c) || c == u'_' ||
         std::u16string_view(u"%&+-./:=?@").find(c) != std::u16string_view::npos;
}

// Characters of the name before a mail link's "@".
bool IsMailNameChar(char16_t c) {
  return IsAsciiLetter(c) || IsDigit(c) || c == u'-' || c == u'.' || c == u'_';
}

}  // namespace

// ---- Measurement --------------------------------------------------------------------------

fonts::TextExtent TgtCustomDocumentEngine::MeasureText(std::u16string_view text,
                                                       const TFont& font) {
  const fonts::Font& f = fonts::Realize(fonts::FontKey::From(font));
  if (text.empty()) {
    fonts::TextExtent e = f.Extent(u" ");
    e.Width = 1;
    return e;
  }
  if (text.size() >= 2 && text.substr(text.size() - 2) == u"\r\n") text.remove_suffix(2);
  return f.Extent(text);
}

double TgtCustomDocumentEngine::LineHeight(const TFont& font) {
  const fonts::TextMetrics& m = fonts::Realize(fonts::FontKey::From(font)).Metrics();
  double h = static_cast<double>(m.Height) + m.ExternalLeading;
  if (h <= 0) h = std::abs(static_cast<double>(font.Height));
  return h;
}

std::vector<std::u16string> TgtCustomDocumentEngine::WrapText(std::u16string_view text,
                                                              const TFont& font, double width,
                                                              double firstIndent,
                                                              std::vector<double>* widths) {
  const fonts::Font& f = fonts::Realize(fonts::FontKey::From(font));
  auto advance = [&f](std::u16string_view s) {
    double w = 0;
    for (char16_t c : s) w += f.CharAdvance(c);
    return w;
  };
  const double spaceWidth = advance(u" ");
  std::vector<std::u16string> lines;
  auto push = [&](std::u16string line, double w) {
    lines.push_back(std::move(line));
    if (widths) widths->push_back(w);
  };

  bool first = true;
  size_t pos = 0;
  while (pos <= text.size()) {
    // One hard line, ended by CR LF, LF or CR.
    size_t end = pos;
    while (end < text.size() && text[end] != u'\r' && text[end] != u'\n') ++end;
    const std::u16string_view hard = text.substr(pos, end - pos);
    size_t next = end;
    if (next < text.size() && text[next] == u'\r') ++next;
    if (next < text.size() && text[next] == u'\n' && (next == end || text[end] == u'\r')) ++next;
    if (next == end) next = end + 1;  // end of the text

    auto avail = [&] { return width - (first ? firstIndent : 0); };
    if (width <= 0 || hard.empty()) {
      push(std::u16string(hard), advance(hard));
      first = false;
    } else {
      std::u16string cur;
      double curW = 0;
      size_t w0 = 0;
      while (w0 < hard.size()) {
        while (w0 < hard.size() && hard[w0] == u' ') ++w0;
        if (w0 >= hard.size()) break;
        size_t w1 = w0;
        while (w1 < hard.size() && hard[w1] != u' ') ++w1;
        std::u16string_view word = hard.substr(w0, w1 - w0);
        w0 = w1;
        const double ww = advance(word);
        if (!cur.empty() && curW + spaceWidth + ww <= avail()) {
          cur += u' ';
          cur += word;
          curW += spaceWidth + ww;
          continue;
        }
        if (!cur.empty()) {
          push(std::move(cur), curW);
          cur.clear();
          curW = 0;
          first = false;
        }
        if (ww <= avail()) {
          cur = word;
          curW = ww;
          continue;
        }
        // A word wider than the line is broken between characters (never inside a
        // surrogate pair), at least one character per line.
        size_t c0 = 0;
        while (c0 < word.size()) {
          size_t c1 = c0;
          double pw = 0;
          while (c1 < word.size()) {
            const size_t step = IsHighSurrogate(word[c1]) && c1 + 1 < word.size() ? 2 : 1;
            const double cw = advance(word.substr(c1, step));
            if (c1 > c0 && pw + cw > avail()) break;
            pw += cw;
            c1 += step;
          }
          if (c1 < word.size()) {
            push(std::u16string(word.substr(c0, c1 - c0)), pw);
            first = false;
          } else {
            cur = word.substr(c0);
            curW = pw;
          }
          c0 = c1;
        }
      }
      if (!cur.empty())
        push(std::move(cur), curW);
      else if (hard.find_first_not_of(u' ') == std::u16string_view::npos)
        push({}, 0);  // a line of blanks stays a (blank) line
      first = false;
    }
    if (end >= text.size()) break;
    pos = next;
  }
  return lines;
}

// ---- Text ---------------------------------------------------------------------------------

void TgtCustomDocumentEngine::SetTextRotation(int32_t angle) {
  rotation_ = ((angle % 360) + 360) % 360;
}

void TgtCustomDocumentEngine::SetTextOption(uint8_t option) {
  textOption_ = option;
}

TgtTextItem* TgtCustomDocumentEngine::AddTextItem(std::u16string_view text, double x, double y) {
  if (!TextAllowed()) return nullptr;
  const double px = ConvertX(x), py = ConvertY(y);
  if (!InArea(px, py)) return nullptr;
  auto& item = CurrentItemList().Add<TgtTextItem>();
  item.X = px;
  item.Y = py;
  item.Lines.emplace_back(text);
  item.Font = font_;
  item.Brush = brush_;
  item.Angle = rotation_;
  item.TextOption = textOption_;
  item.Effects = textEffects_;
  return &item;
}

void TgtCustomDocumentEngine::TextOut(std::u16string_view text, double x, double y) {
  AddTextItem(text, x, y);
}

void TgtCustomDocumentEngine::TextRect(const TgtRectD& rect, std::u16string_view text, double x,
                                       double y) {
  TgtTextItem* item = AddTextItem(text, x, y);
  if (!item) return;
  item->SetClip(
      {ConvertX(rect.Left), ConvertY(rect.Top), ConvertX(rect.Right), ConvertY(rect.Bottom)});
}

void TgtCustomDocumentEngine::TextBox(const TgtRectD& rect, std::u16string_view text,
                                      uint8_t alignment, uint8_t options) {
  if (!TextAllowed()) return;
  const double x1 = ConvertX(rect.Left), y1 = ConvertY(rect.Top);
  const double x2 = ConvertX(rect.Right), y2 = ConvertY(rect.Bottom);
  const double left = std::min(x1, x2), top = std::min(y1, y2);
  if (!InArea(left, top)) return;
  auto& item = CurrentItemList().Add<TgtTextBoxItem>();
  item.X = left;
  item.Y = top;
  item.BoxWidth = std::fabs(x2 - x1);
  item.BoxHeight = std::fabs(y2 - y1);
  const double inner = (options & tboWordWrap) ? item.BoxWidth - 2 * kBoxPadding : 0;
  // Without word wrap only the line breaks of the text start new lines.
  item.Lines = WrapText(text, font_, inner > 0 ? inner : 0, 0, nullptr);
  item.Font = font_;
  item.Brush = brush_;
  item.TextOption = textOption_;
  item.Effects = textEffects_;
  item.Frame = frame_;
  item.Alignment = alignment;
  item.Options = options;
  item.BorderPen = pen_;
}

std::vector<TgtTextRun> TgtCustomDocumentEngine::ParseTextTags(std::u16string_view text) {
  static constexpr struct {
    char16_t Letter;
    uint8_t Bit;
  } kTags[] = {{u'b', fsBold}, {u'i', fsItalic}, {u'u', fsUnderline}, {u's', fsStrikeOut}};
  std::vector<TgtTextRun> runs;
  uint8_t style = font_.Style;
  std::u16string cur;
  auto flush = [&] {
    if (cur.empty()) return;
    if (!runs.empty() && runs.back().Style == style)
      runs.back().Text += cur;
    else
      runs.push_back({std::move(cur), style});
    cur.clear();
  };
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == u'<') {
      const bool closing = i + 1 < text.size() && text[i + 1] == u'/';
      const size_t letterAt = i + (closing ? 2 : 1);
      if (letterAt + 1 < text.size() && text[letterAt + 1] == u'>') {
        const char16_t letter = LowerAscii16(text[letterAt]);
        bool matched = false;
        for (const auto& t : kTags) {
          if (t.Letter != letter) continue;
          flush();
          style =
              closing ? static_cast<uint8_t>(style & ~t.Bit) : static_cast<uint8_t>(style | t.Bit);
          matched = true;
        }
        if (matched) {
          i = letterAt + 1;
          continue;
        }
      }
    }
    cur += text[i];
  }
  flush();
  return runs;
}

void TgtCustomDocumentEngine::FormattedTextOut(std::u16string_view text, double x, double y) {
  if (!TextAllowed()) return;
  // Positions in points from here on, whatever MeasurementUnit is.
  constexpr double kPtPerPixel = 72.0 / kScreenPPI;
  double ptX = ConvertLengthX(x) * kPtPerPixel;
  const double ptY = ConvertLengthY(y) * kPtPerPixel;
  const std::vector<TgtTextRun> runs = ParseTextTags(text);
  const TgtUnitType unit = measurementUnit_;
  const uint8_t style = font_.Style;
  SetMeasurementUnit(TgtUnitType::muPoints);
  try {
    for (const TgtTextRun& run : runs) {
      font_.Style = run.Style;
      TextOut(run.Text, ptX, ptY);
      ptX += MeasureText(run.Text, font_).Width * kPtPerPixel;
    }
  } catch (...) {
    font_.Style = style;
    SetMeasurementUnit(unit);
    throw;
  }
  font_.Style = style;
  SetMeasurementUnit(unit);
}

void TgtCustomDocumentEngine::TextOutAlongAngle(std::u16string_view text, bool forward, double x,
                                                double y) {
  if (!TextAllowed()) return;
  const double theta = rotation_ * std::numbers::pi / 180.0;
  const double fx = unitFactor_ != 1.0 ? unitFactor_ : static_cast<double>(kScreenPPI) / inputXRes_;
  const double fy = unitFactor_ != 1.0 ? unitFactor_ : static_cast<double>(kScreenPPI) / inputYRes_;
  const double dir = forward ? 1.0 : -1.0;
  for (size_t i = 0; i < text.size();) {
    const size_t step = IsHighSurrogate(text[i]) && i + 1 < text.size() ? 2 : 1;
    const std::u16string_view ch = text.substr(i, step);
    TextOut(ch, x, y);
    const double w = MeasureText(ch, font_).Width;
    // Counter-clockwise angle, y growing downwards.
    x += dir * w * std::cos(theta) / fx;
    y -= dir * w * std::sin(theta) / fy;
    i += step;
  }
}

// ---- Paragraphs ---------------------------------------------------------------------------

void TgtCustomDocumentEngine::BeginPara() {
  if (!docOpen_ || para_) return;
  para_ = std::make_unique<OpenParagraph>();
  para_->Font = font_;
  para_->Brush = brush_;
  para_->Effects = textEffects_;
  para_->Formatting = textFormatting_;
  if (TgtBandItem* band = BandItem(band_)) {
    if (band->FlowY < 0) band->FlowY = area_.Top;
    band->FlowY += para_->Formatting.BeforeSpace;
  }
}

void TgtCustomDocumentEngine::EndPara() {
  if (!para_) return;
  if (TgtBandItem* band = BandItem(band_)) {
    if (band->FlowY < 0) band->FlowY = area_.Top;
    band->FlowY += para_->Formatting.AfterSpace;
  }
  para_.reset();
}

double TgtCustomDocumentEngine::ParagraphText(std::u16string_view text) {
  if (!TextAllowed()) return 0;
  const bool implicit = !para_;
  if (implicit) BeginPara();
  const TgtTextFormatting& fmt = para_->Formatting;
  const double width = (area_.Right - area_.Left) - fmt.LeftIndent - fmt.RightIndent;
  std::vector<double> widths;
  std::vector<std::u16string> lines = WrapText(
      text, para_->Font, width, para_->FirstLinePending ? fmt.FirstLineIndent : 0, &widths);
  const double used = FlushParagraphLines(lines, widths);
  if (implicit) EndPara();
  const double f = unitFactor_ != 1.0 ? unitFactor_ : static_cast<double>(kScreenPPI) / inputYRes_;
  return used / f;
}

double TgtCustomDocumentEngine::FlushParagraphLines(std::vector<std::u16string>& lines,
                                                    std::vector<double>& widths) {
  const TgtTextFormatting fmt = para_->Formatting;
  const double spacing = fmt.LineSpacing > 0 ? fmt.LineSpacing : 1.0;
  const double lh = LineHeight(para_->Font) * spacing;
  double used = 0;
  size_t i = 0;
  while (i < lines.size()) {
    TgtBandItem* band = BandItem(band_);
    if (!band) break;
    if (band->FlowY < 0) band->FlowY = area_.Top;
    const size_t remaining = lines.size() - i;
    size_t fit = remaining;
    if (autoPaginate_ && band_ == TgtBand::bdPage && lh > 0) {
      const double avail = area_.Bottom - band->FlowY;
      const double rows = avail <= 0 ? 0 : std::floor(avail / lh + 1e-9);
      const size_t room =
          rows >= static_cast<double>(remaining) ? remaining : static_cast<size_t>(rows);
      if (room == 0 && band->FlowY > area_.Top) {
        NewPage();
        continue;
      }
      // At least one line per page, so that a line taller than the page still moves on.
      fit = std::max<size_t>(room, 1);
    }
    auto& item = band->Items.Add<TgtParagraphItem>();
    item.X = area_.Left + fmt.LeftIndent;
    item.Y = band->FlowY;
    item.Width = (area_.Right - area_.Left) - fmt.LeftIndent - fmt.RightIndent;
    item.LineHeight = lh;
    item.FirstIndent = para_->FirstLinePending ? fmt.FirstLineIndent : 0;
    item.Font = para_->Font;
    item.Brush = para_->Brush;
    item.Effects = para_->Effects;
    item.Formatting = fmt;
    for (size_t k = i; k < i + fit; ++k) {
      item.Lines.push_back(std::move(lines[k]));
      item.LineWidths.push_back(k < widths.size() ? widths[k] : 0);
    }
    para_->FirstLinePending = false;
    const double h = static_cast<double>(fit) * lh;
    band->FlowY += h;
    band->FlowHeight += h;
    used += h;
    i += fit;
    if (i < lines.size()) NewPage();
  }
  return used;
}

// ---- Tables -------------------------------------------------------------------------------

void TgtCustomDocumentEngine::BeginTable(double x, double y, int32_t columns) {
  if (!docOpen_ || !(TextAllowed() || ShapeAllowed())) return;
  EndTable();
  if (columns < 1) return;
  auto& t = CurrentItemList().Add<TgtTableItem>();
  t.X = ConvertX(x);
  t.Y = ConvertY(y);
  t.Settings = tableSettings_;
  t.Font = font_;
  t.Brush = brush_;
  table_ = std::make_unique<OpenTable>();
  table_->Item = &t;
  table_->Columns = columns;
}

void TgtCustomDocumentEngine::NewRow() {
  if (!table_) return;
  TgtTableRow& r = table_->Item->Rows.emplace_back();
  r.Height = std::max(0.0, table_->Item->Settings.RowHeight);
  r.Cells.resize(static_cast<size_t>(table_->Columns));
}

void TgtCustomDocumentEngine::NewRow(double height) {
  if (!table_) return;
  TgtTableRow& r = table_->Item->Rows.emplace_back();
  r.Height = std::max(0.0, ConvertLengthY(height));
  r.Cells.resize(static_cast<size_t>(table_->Columns));
}

void TgtCustomDocumentEngine::TableCellText(int32_t column, std::u16string_view text) {
  if (!table_ || column < 0 || column >= table_->Columns) return;
  if (table_->Item->Rows.empty()) NewRow();
  table_->Item->Rows.back().Cells[static_cast<size_t>(column)].Text = text;
}

void TgtCustomDocumentEngine::TableCellImage(int32_t column, int32_t imageIndex) {
  if (!table_ || !ImageAllowed() || column < 0 || column >= table_->Columns) return;
  if (!ImageAt(imageIndex)) return;
  if (table_->Item->Rows.empty()) NewRow();
  table_->Item->Rows.back().Cells[static_cast<size_t>(column)].ImageIndex = imageIndex;
}

void TgtCustomDocumentEngine::EndTable() {
  if (!table_) return;
  TgtTableItem& t = *table_->Item;
  const double pad = std::max(0.0, t.Settings.CellPadding);
  const double lh = LineHeight(t.Font);
  for (TgtTableRow& row : t.Rows) {
    if (row.Height > 0) continue;
    size_t lines = 1;
    for (size_t c = 0; c < row.Cells.size(); ++c) {
      const double inner = t.ColumnWidth(c) - 2 * pad;
      lines = std::max(
          lines, WrapText(row.Cells[c].Text, t.Font, inner > 0 ? inner : 0, 0, nullptr).size());
    }
    row.Height = static_cast<double>(lines) * lh + 2 * pad;
  }
  if (TgtBandItem* band = BandItem(band_))
    band->FlowY = std::max(band->FlowY, t.Y + t.TotalHeight());
  table_.reset();
}

// ---- Shapes -------------------------------------------------------------------------------

TgtShapeItem* TgtCustomDocumentEngine::AddShape(uint8_t kind, bool filled,
                                                std::span<const TgtPoint> points) {
  if (!ShapeAllowed()) return nullptr;
  auto& s = CurrentItemList().Add<TgtShapeItem>();
  s.Kind = kind;
  s.Pen = pen_;
  s.HasBrush = filled;
  if (filled) s.Brush = brush_;
  s.Points.reserve(static_cast<uint32_t>(points.size()));
  for (const TgtPoint& p : points) s.AddPoint(ConvertX(p.X), ConvertY(p.Y));
  return &s;
}

void TgtCustomDocumentEngine::Line(double x1, double y1, double x2, double y2) {
  const TgtPoint ends[] = {{x1, y1}, {x2, y2}};
  AddShape(skLine, false, ends);
}

void TgtCustomDocumentEngine::Rectangle(double x1, double y1, double x2, double y2, bool filled) {
  const TgtPoint corners[] = {{x1, y1}, {x2, y2}};
  AddShape(skRectangle, filled, corners);
}

void TgtCustomDocumentEngine::RoundRect(double x1, double y1, double x2, double y2,
                                        double cornerWidth, double cornerHeight, bool filled) {
  const TgtPoint corners[] = {{x1, y1}, {x2, y2}};
  // The third point is the corner's size, a length rather than a place.
  if (TgtShapeItem* s = AddShape(skRoundRect, filled, corners))
    s->AddPoint(ConvertLengthX(cornerWidth), ConvertLengthY(cornerHeight));
}

void TgtCustomDocumentEngine::Ellipse(double x1, double y1, double x2, double y2, bool filled) {
  const TgtPoint corners[] = {{x1, y1}, {x2, y2}};
  AddShape(skEllipse, filled, corners);
}

void TgtCustomDocumentEngine::Polygon(std::span<const TgtPoint> points, bool filled) {
  if (!points.empty()) AddShape(skPolygon, filled, points);
}

void TgtCustomDocumentEngine::PolyLine(std::span<const TgtPoint> points) {
  if (!points.empty()) AddShape(skPolyLine, false, points);
}

void TgtCustomDocumentEngine::PolyBezier(std::span<const TgtPoint> points) {
  if (!points.empty()) AddShape(skBezier, false, points);
}

// Arcs, pies and chords: the bounding box's corners, then the start and end radials' points.
void TgtCustomDocumentEngine::Arc(double x1, double y1, double x2, double y2, double x3, double y3,
                                  double x4, double y4) {
  const TgtPoint points[] = {{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}};
  AddShape(skArc, false, points);
}

void TgtCustomDocumentEngine::Pie(double x1, double y1, double x2, double y2, double x3, double y3,
                                  double x4, double y4, bool filled) {
  const TgtPoint points[] = {{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}};
  AddShape(skPie, filled, points);
}

void TgtCustomDocumentEngine::Chord(double x1, double y1, double x2, double y2, double x3,
                                    double y3, double x4, double y4, bool filled) {
  const TgtPoint points[] = {{x1, y1}, {x2, y2}, {x3, y3}, {x4, y4}};
  AddShape(skChord, filled, points);
}

// ---- Base rendering of composite items ----------------------------------------------------

void TgtCustomDocumentEngine::RenderTextBox(const TgtTextBoxItem& item) {
  const double x = item.X, y = item.Y, w = item.BoxWidth, h = item.BoxHeight;
  if (item.Frame.Left) RenderLine(item.BorderPen, x, y, x, y + h);
  if (item.Frame.Top) RenderLine(item.BorderPen, x, y, x + w, y);
  if (item.Frame.Right) RenderLine(item.BorderPen, x + w, y, x + w, y + h);
  if (item.Frame.Bottom) RenderLine(item.BorderPen, x, y + h, x + w, y + h);
  const double lh = LineHeight(item.Font);
  const double total = lh * static_cast<double>(item.Lines.size());
  double top;
  switch (item.Alignment & (tbaVCenter | tbaBottom)) {
    case tbaVCenter:
      top = y + (h - total) / 2;
      break;
    case tbaBottom:
      top = y + h - kBoxPadding - total;
      break;
    default:
      top = y + kBoxPadding;
      break;
  }
  for (size_t i = 0; i < item.Lines.size(); ++i) {
    const std::u16string& line = item.Lines[i];
    if (line.empty()) continue;
    const double lw = MeasureText(line, item.Font).Width;
    double left;
    switch (item.Alignment & (tbaRight | tbaCenter)) {
      case tbaRight:
        left = x + w - kBoxPadding - lw;
        break;
      case tbaCenter:
        left = x + (w - lw) / 2;
        break;
      default:
        left = x + kBoxPadding;
        break;
    }
    TgtTextItem t;
    t.X = left;
    t.Y = top + lh * static_cast<double>(i);
    t.Lines.push_back(line);
    t.Font = item.Font;
    t.Brush = item.Brush;
    t.Effects = item.Effects;
    t.TextOption = item.TextOption;
    if (item.Options & tboClip) t.SetClip({x, y, x + w, y + h});
    RenderText(t);
  }
}

void TgtCustomDocumentEngine::RenderParagraph(const TgtParagraphItem& item) {
  for (size_t i = 0; i < item.Lines.size(); ++i) {
    const std::u16string& line = item.Lines[i];
    if (line.empty()) continue;
    const double lw = i < item.LineWidths.size() ? item.LineWidths[i] : 0;
    double left = item.X;
    switch (item.Formatting.Alignment) {
      case TgtTextAlignment::taRight:
        left = item.X + item.Width - lw;
        break;
      case TgtTextAlignment::taCenter:
        left = item.X + (item.Width - lw) / 2;
        break;
      case TgtTextAlignment::taLeft:
      case TgtTextAlignment::taJustify:
        if (i == 0) left += item.FirstIndent;
        break;
    }
    TgtTextItem t;
    t.X = left;
    t.Y = item.Y + item.LineHeight * static_cast<double>(i);
    t.Lines.push_back(line);
    t.Font = item.Font;
    t.Brush = item.Brush;
    t.Effects = item.Effects;
    RenderTextItem(t);
  }
}

void TgtCustomDocumentEngine::RenderTable(const TgtTableItem& item) {
  const double pad = std::max(0.0, item.Settings.CellPadding);
  const double lh = LineHeight(item.Font);
  double y = item.Y;
  for (size_t r = 0; r < item.Rows.size(); ++r) {
    const TgtTableRow& row = item.Rows[r];
    double x = item.X;
    for (size_t c = 0; c < row.Cells.size(); ++c) {
      const double cw = item.ColumnWidth(c);
      TgtTableCell cell = row.Cells[c];
      if (OnCellDraw) OnCellDraw(*this, static_cast<int32_t>(r), static_cast<int32_t>(c), cell);
      if (item.Settings.Borders)
        RenderRectangle(item.Settings.BorderPen, nullptr, x, y, x + cw, y + row.Height);
      if (cell.ImageIndex >= 0 && ImageAt(cell.ImageIndex)) {
        TgtImageItem img;
        img.SetRect(x + pad, y + pad, x + cw - pad, y + row.Height - pad);
        img.ImageIndex = cell.ImageIndex;
        RenderImage(img);
      }
      if (!cell.Text.empty()) {
        const double inner = cw - 2 * pad;
        const std::vector<std::u16string> lines =
            WrapText(cell.Text, item.Font, inner > 0 ? inner : 0, 0, nullptr);
        for (size_t i = 0; i < lines.size(); ++i) {
          if (lines[i].empty()) continue;
          TgtTextItem t;
          t.X = x + pad;
          t.Y = y + pad + lh * static_cast<double>(i);
          t.Lines.push_back(lines[i]);
          t.Font = item.Font;
          t.Brush = item.Brush;
          t.Brush.Style = TBrushStyle::bsClear;
          t.SetClip({x, y, x + cw, y + row.Height});
          RenderTextItem(t);
        }
      }
      x += cw;
    }
    y += row.Height;
  }
}

// ---- Link finder --------------------------------------------------------------------------

std::u16string TgtCustomDocumentEngine::FindLink(std::u16string_view text, size_t& start,
                                                 TgtLinkKind* kind) const {
  if (kind) *kind = TgtLinkKind::lkNone;
  if (start >= text.size()) return {};
  std::u16string ex(text.substr(start));
  for (char16_t& c : ex) c = LowerAscii16(c);
  constexpr size_t npos = std::u16string::npos;

  size_t best = npos;
  TgtLinkKind found = TgtLinkKind::lkNone;
  for (std::u16string_view marker : {u"www.", u"ftp://", u"http://", u"https://"}) {
    const size_t p = ex.find(marker);
    if (p != npos && p < best) {
      best = p;
      found = TgtLinkKind::lkWeb;
    }
  }
  const size_t at = ex.find(u'@');
  if (at != npos) {
    size_t s = at;
    while (s > 0 && IsMailNameChar(ex[s - 1])) --s;
    const size_t limit = best == npos ? ex.size() : best;
    const size_t dot = ex.find(u'.', at + 1);
    if (dot != npos && dot < limit && s < best) {
      best = s;
      found = TgtLinkKind::lkMail;
    }
  }
  const size_t colon = ex.find(u":\\");
  // The drive letter stands before the colon; a colon at the very start has none.
  if (colon != npos && colon >= 1 && colon - 1 < best) {
    best = colon - 1;
    found = TgtLinkKind::lkFile;
  }
  if (found == TgtLinkKind::lkNone) return {};

  size_t end = best;
  if (found == TgtLinkKind::lkFile) {
    const size_t lastSlash = ex.rfind(u'\\');
    const size_t dot = ex.find(u'.', lastSlash);
    const size_t blank = dot == npos ? npos : ex.find(u' ', dot);
    end = blank == npos ? ex.size() : blank;
  } else {
    while (end < ex.size() && IsLinkChar(ex[end])) ++end;
  }
  if (kind) *kind = found;
  const size_t linkStart = start + best;
  start = linkStart;
  return std::u16string(text.substr(linkStart, end - best));
}

}  // namespace pv
