// Text items and fonts of the PDF engine: font choice, the text block operators, link
// annotations and the font objects written at the end of the document.
#include <cmath>

#include "pdf/pdf_engine.h"
#include "pdf/pdf_text.h"
#include "pdf/ttf_subset.h"
#include "platform/fonts.h"
#include "platform/text.h"

namespace pv {

namespace {

constexpr double kPi = 3.14159265358979323846;

void Pair(std::string& out, double x, double y) {
  AppendNumber(out, x);
  out += ' ';
  AppendNumber(out, y);
}

std::string Hex4(uint32_t v) {
  static const char* d = "0123456789ABCDEF";
  std::string s(4, '0');
  for (int i = 3; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = d[v & 15];
  return s;
}

}  // namespace

bool TgtCustomPDFEngine::Excluded(const std::string& face) const {
  for (const std::string& f : fontEmbedExcludeList_)
    if (EqualsIgnoreCase(f, face)) return true;
  return false;
}

TgtPDFFont& TgtCustomPDFEngine::FontFor(const TFont& itemFont) {
  TFont font = itemFont;
  std::string installed;
  if (fonts::IsInstalled(font.Name, &installed)) font.Name = installed;
  TgtPDFFont* match = nullptr;
  for (auto& f : fontList_)
    if (f->Font.Name == font.Name && f->Font.Charset == font.Charset &&
        f->Font.Bold() == font.Bold() && f->Font.Italic() == font.Italic())
      match = f.get();
  if (match) return *match;
  bool subset = Preferences().EmbedTrueTypeFonts() == TgtTTFontEmbedding::etfSubset;
  fontList_.push_back(std::make_unique<TgtPDFFont>(font, AllocObject(), subset));
  return *fontList_.back();
}

void TgtCustomPDFEngine::RenderText(const TgtTextItem& item) {
  if (item.Lines.empty()) return;
  // One line a block; a direct text item may carry several, one font height apart.
  for (size_t i = 0; i < item.Lines.size(); ++i) {
    if (i == 0) {
      RenderTextLine(item, item.Lines[0]);
      continue;
    }
    TgtTextItem next = item;
    next.Lines.assign(1, item.Lines[i]);
    next.Y = item.Y + static_cast<double>(i) * std::abs(item.Font.Height);
    RenderTextLine(next, item.Lines[i]);
  }
}

void TgtCustomPDFEngine::RenderTextLine(const TgtTextItem& item, std::u16string line) {
  line = ReplacePageVariables(line);
  if (line.size() >= 2 && line[line.size() - 2] == u'\r' && line.back() == u'\n') line.resize(line.size() - 2);
  TgtPDFFont& pdfFont = FontFor(item.Font);
  size_t fontIndex = 0;
  while (fontList_[fontIndex].get() != &pdfFont) ++fontIndex;
  const TgtPDFFontInfo& fi = pdfFont.Info;
  const double size = item.Font.Size();
  const bool fromCanvas = item.FromMetafile != 0;

  // Geometry: the baseline lies one font size below the item's top.
  const double top = ToPdfY(item.Y);
  const double x0 = ToPdfX(item.X);
  const double y0 = top - size + (fromCanvas ? fi.UnderlineThickness : 0);
  const double a = item.Angle * kPi / 180.0;
  const double h = top - y0;
  const double ox = x0 + std::sin(a) * h, oy = top - std::cos(a) * h;
  fonts::TextExtent ext = MeasureText(line, item.Font);
  const double wPt = ext.Width * pointsPerUnit_;
  const double tPt = ext.Height * pointsPerUnit_;
  // Text box corners (width and height in the content units of the page).
  const double bw = wPt * InputXRes() / kScreenPPI, bh = tPt * InputYRes() / kScreenPPI;
  auto corner = [&](double dx, double dy, double& X, double& Y) {
    X = x0 + dx * std::cos(a) + dy * std::sin(a);
    Y = top + dx * std::sin(a) - dy * std::cos(a);
  };

  std::string& c = pageContent_;
  // Background.
  std::string bg;
  const TBrush& brush = item.Brush;
  if (brush.Style != TBrushStyle::bsClear) {
    std::string path;
    double X, Y;
    corner(0, 0, X, Y);
    Pair(path, X, Y);
    path += " m ";
    corner(bw, 0, X, Y);
    Pair(path, X, Y);
    path += " l ";
    corner(bw, bh, X, Y);
    Pair(path, X, Y);
    path += " l ";
    corner(0, bh, X, Y);
    Pair(path, X, Y);
    path += " l";
    bg = "\r\nq\r\n";
    if (brush.Style == TBrushStyle::bsSolid) {
      AppendColor(bg, brush.Color);
      bg += " rg ";
    } else {
      shapes_.AppendHatchFill(bg, brush);
    }
    bg += path + " f\r\nQ";
  }
  c += "\r\n";
  c += bg;
  c += "\r\n";

  const bool simple = pdfFont.SimpleCharset();
  if (!simple && fi.FontKind != fkTrueType) return;  // no glyphs to show a foreign charset with

  std::string clip;
  if (item.ClipFlag) {
    const TgtRectD& r = item.ClipRect;
    Pair(clip, ToPdfX(r.Left), ToPdfY(r.Bottom));
    clip += ' ';
    Pair(clip, (r.Right - r.Left) * pointsPerUnit_ * InputXRes() / kScreenPPI,
         (r.Bottom - r.Top) * pointsPerUnit_ * InputYRes() / kScreenPPI);
    clip += " re W n\r\n";
  }
  std::string modes;
  switch (item.Effects.TextRenderMode) {
    case TgtTextRenderMode::trmStroke: modes = "1 Tr"; break;
    case TgtTextRenderMode::trmFillStroke: modes = "2 Tr"; break;
    default: modes = "0 Tr"; break;
  }
  if (item.Effects.TextRise == TgtTextRise::trSuperscript) modes += " " + FormatNumber(size / 2) + " Ts";
  if (item.Effects.TextRise == TgtTextRise::trSubscript) modes += " " + FormatNumber(-size / 2) + " Ts";

  c += "\r\n q ";
  c += clip;
  c += "BT\r\n";
  c += modes;
  c += "\r\n";
  AppendColor(c, item.Font.Color);
  c += " rg\r\n";
  const bool rotated = item.Angle % 360 != 0;

  if (simple) {
    std::string ansi = fonts::ToAnsi(line);
    double tc = 0;
    if (!ignoreCharSpacing_ && !ansi.empty()) {
      double s = 0;
      for (unsigned char ch : ansi)
        if (ch > 31) s += fi.Widths[static_cast<size_t>(ch - 32)];
      double measured = ext.Width / static_cast<double>(kScreenPPI) * 72.0;
      tc = measured - s * size / 1000.0;
      if (tc != 0) tc /= static_cast<double>(ansi.size());
    }
    if (pdfFont.Subset)
      for (char16_t ch : line) pdfFont.UseChar(ch);
    c += "/F" + IntToStr(static_cast<int64_t>(fontIndex)) + " " + FormatNumber(size) + " Tf\r\n";
    c += " ";
    AppendNumber(c, tc);
    c += " Tc 0 Tw\r\n";
    std::string escaped = EscapePdfString(ansi);
    if (rotated) {
      Pair(c, std::cos(a), std::sin(a));
      c += ' ';
      Pair(c, -std::sin(a), std::cos(a));
      c += ' ';
      Pair(c, ox, oy);
      c += " Tm \r\n(" + escaped + ") Tj";
    } else if (fromCanvas) {
      Pair(c, ox, oy);
      c += " Td\r\n[(" + escaped + ")0.0000 ]TJ ";
    } else {
      Pair(c, ox, oy);
      c += " Td\r\n(" + escaped + ") Tj";
    }
  } else {
    std::string codes;
    for (char16_t ch : line) {
      uint16_t g = pdfFont.UseChar(ch);
      if (g) codes += Hex4(g);
    }
    c += "/F" + IntToStr(static_cast<int64_t>(fontIndex)) + " " + IntToStr(static_cast<int64_t>(size)) +
         " Tf\r\n0 Tw\r\n0 Tc\r\n";
    if (rotated) {
      Pair(c, std::cos(a), std::sin(a));
      c += ' ';
      Pair(c, -std::sin(a), std::cos(a));
      c += ' ';
      Pair(c, ox, oy);
      c += " Tm \r\n<" + codes + "> Tj";
    } else {
      Pair(c, ox, oy);
      c += " Td <" + codes + "> Tj";
    }
  }
  c += "\r\nET Q ";

  // Underline and strike-out: lines under or through the text, rotated with it.
  auto decoration = [&](double thickness, double offset) {
    double len = bw * (fromCanvas ? 1.0 : 96.0 / kScreenPPI);
    double sx = ox + std::sin(a) * offset, sy = oy - std::cos(a) * offset;
    c += "\r\nq\r\n";
    AppendColor(c, item.Font.Color);
    c += " RG ";
    AppendNumber(c, thickness);
    c += " w ";
    Pair(c, sx, sy);
    c += " m ";
    Pair(c, sx + std::cos(a) * len, sy + std::sin(a) * len);
    c += " l S\r\nQ";
  };
  if (item.Font.Style & fsUnderline) decoration(fi.UnderlineThickness, -fi.UnderlinePosition);
  if (item.Font.Style & fsStrikeOut) decoration(fi.StrikeoutThickness, -fi.StrikeoutPosition);
  c += "\r\n";

  if (Preferences().ActiveHyperLinks() && item.Angle % 360 == 0)
    WriteLinks(item, line, item.X * pointsPerUnit_);
}

void TgtCustomPDFEngine::WriteLinks(const TgtTextItem& item, const std::u16string& line,
                                    double x0pt) {
  // Annotation rectangles live in default user space (points), outside the page's scaling.
  const TgtPageInfo& info = pageInfos_[static_cast<size_t>(CurrentPage() > 0 ? CurrentPage() - 1 : 0)];
  const double topPt = info.Height - item.Y * pointsPerUnit_;
  const double bottomPt = topPt - MeasureText(line, item.Font).Height * pointsPerUnit_;
  size_t pos = 0, prevEnd = 0;
  double prevRight = x0pt;
  for (;;) {
    size_t start = pos;
    TgtLinkKind kind = TgtLinkKind::lkNone;
    std::u16string link = FindLink(line, start, &kind);
    if (link.empty()) break;
    std::u16string between = line.substr(prevEnd, start > prevEnd ? start - prevEnd : 0);
    double left = prevRight + (between.empty() ? 0 : MeasureText(between, item.Font).Width * pointsPerUnit_);
    std::string trimmed(Trim(Utf16ToUtf8(link)));
    double right = left + MeasureText(Utf8ToUtf16(trimmed), item.Font).Width * pointsPerUnit_;
    int32_t n = AllocObject();
    annotRefs_ += " " + ObjRef(n);
    std::string action;
    if (trimmed.find('@') != std::string::npos) {
      action = "/S/URI /URI<" + HexString(EncryptString("mailto:" + trimmed, n)) + ">\r\n";
    } else if (trimmed.find(":\\") != std::string::npos) {
      std::string path = trimmed;
      size_t p = path.find(":\\");
      path.replace(p, 2, "/");
      for (char& ch : path)
        if (ch == '\\') ch = '/';
      if (path.find('/') != std::string::npos && path.find("..") == std::string::npos) path = "/" + path;
      action = "/Type /Action/S /Launch/F (" + EscapePdfString(path) + ") /NewWindow true";
    } else {
      action = "/S/URI /URI<" + HexString(EncryptString(trimmed, n)) + ">\r\n";
    }
    std::string t = "/Type/Annot/Border []/H/I/Subtype/Link/F 0/C [11 00 01]/Rect [" +
                    FormatNumber(left) + " " + FormatNumber(topPt) + " " + FormatNumber(right) + " " +
                    FormatNumber(bottomPt) + "]\r\n/A\r\n<<\r\n" + action + ">>";
    WriteObject(t, n, true);
    prevRight = right;
    prevEnd = start + link.size();
    pos = prevEnd;
    if (pos >= line.size()) break;
  }
}

void TgtCustomPDFEngine::WriteFonts() {
  const std::string encoding = [&] {
    switch (fontEncoding_) {
      case TgtPDFFontEncoding::feMacRomanEncoding: return std::string("MacRomanEncoding");
      case TgtPDFFontEncoding::feMacExpertEncoding: return std::string("MacExpertEncoding");
      case TgtPDFFontEncoding::feStandardEncoding: return std::string("StandardEncoding");
      case TgtPDFFontEncoding::fePDFDocEncoding: return std::string("PDFDocEncoding");
      default: return std::string("WinAnsiEncoding");
    }
  }();
  const TgtTTFontEmbedding embed = Preferences().EmbedTrueTypeFonts();
  for (size_t i = 0; i < fontList_.size(); ++i) {
    TgtPDFFont& f = *fontList_[i];
    const TgtPDFFontInfo& fi = f.Info;
    const std::string name = EscapePdfName(f.BaseFontName());
    const std::string idx = IntToStr(static_cast<int64_t>(i));
    const bool embedding = embed != TgtTTFontEmbedding::etfNone && !Excluded(f.Font.Name) &&
                           fi.FontKind == fkTrueType;
    const bool subset = embed == TgtTTFontEmbedding::etfSubset && !Excluded(f.Font.Name);
    const std::string prefix = subset && fi.FontKind == fkTrueType ? "WYOIAS+" : "";
    auto bbox = [&](bool spaced) {
      return std::string(spaced ? "/FontBBox [" : "/FontBBox[") + IntToStr(fi.FontBBox[0]) + " " +
             IntToStr(fi.FontBBox[1]) + " " + IntToStr(fi.FontBBox[2]) + " " + IntToStr(fi.FontBBox[3]) + "]";
    };
    auto metrics = [&] {
      return "/Ascent " + IntToStr(fi.Ascent) + "/Descent " + IntToStr(fi.Descent) + "/CapHeight " +
             IntToStr(fi.CapHeight) + "/AvgWidth " + IntToStr(fi.AvgWidth) + "/MaxWidth " +
             IntToStr(fi.MaxWidth);
    };
    // The font program for embedding: whole, or the used glyphs only.
    auto fontFile = [&](int32_t n) {
      TFont big = f.Font;
      big.SetSize(1000);
      const std::vector<uint8_t>* data = fonts::Realize(fonts::FontKey::From(big)).TrueTypeData();
      if (!data) return;
      std::string bytes;
      if (embed == TgtTTFontEmbedding::etfSubset) {
        std::vector<uint16_t> glyphs = f.UsedGlyphs;
        auto sub = BuildTrueTypeSubset(*data, glyphs);
        bytes.assign(sub.begin(), sub.end());
      } else {
        bytes.assign(data->begin(), data->end());
      }
      WriteStreamObject("/Length1 " + IntToStr(static_cast<int64_t>(bytes.size())), bytes, n);
    };

    if (f.SimpleCharset()) {
      int32_t d = AllocObject();
      std::string widths;
      for (size_t k = 0; k < fi.Widths.size(); ++k) {
        if (k) widths += ' ';
        widths += IntToStr(fi.Widths[k]);
      }
      if (fi.FontKind == fkTrueType) {
        int32_t file = embedding ? AllocObject() : 0;
        WriteObject("/Type /Font/Subtype /TrueType/Name /F" + idx + "/BaseFont /" + prefix + name +
                        " /Encoding /" + encoding + "/FirstChar 32/LastChar 255/Widths [" + widths +
                        "]/FontDescriptor " + ObjRef(d) + "\r\n",
                    fi.ObjectNumber, true);
        std::string desc = "/Type /FontDescriptor/FontName /" + prefix + name + " /Flags " +
                           IntToStr(fi.Flags) + bbox(false) + metrics() + "/MissingWidth " +
                           IntToStr(fi.MaxWidth) + "/StemH " + IntToStr(fi.StemV) + "/StemV " +
                           IntToStr(fi.StemV) + "/ItalicAngle " + IntToStr(fi.ItalicAngle);
        if (file) desc += "/FontFile2 " + ObjRef(file);
        WriteObject(desc + "\r\n", d, true);
        if (file) fontFile(file);
      } else {
        WriteObject("/Type /Font/Subtype /Type1/Name /F" + idx + "/BaseFont /" + name + "/Encoding /" +
                        encoding + "/FirstChar 32/LastChar 255/Widths [" + widths +
                        "]/FontDescriptor " + ObjRef(d) + "\r\n",
                    fi.ObjectNumber, true);
        WriteObject("/Type /FontDescriptor/FontName /" + name + "/Flags " + IntToStr(fi.Flags) +
                        bbox(false) + metrics() + "/StemH " + IntToStr(fi.StemV) + "/StemV " +
                        IntToStr(fi.StemV) + "\r\n",
                    d, true);
      }
      continue;
    }
    if (fi.FontKind != fkTrueType) {
      WriteObject("/Type/Font/Subtype /Type1/Name /F" + idx + "/BaseFont /" + name + "/Encoding /" +
                      encoding + "\r\n",
                  fi.ObjectNumber, true);
      continue;
    }
    // A composite font: Type 0 over a CIDFontType2 with the Identity-H encoding.
    int32_t m = AllocObject();
    int32_t u = AllocObject();
    WriteObject("/Type/Font/Subtype/Type0/Name/F" + idx + "/BaseFont/" + prefix + name +
                    "/Encoding/Identity-H/ToUnicode " + ObjRef(u) + "/DescendantFonts [" + ObjRef(m) +
                    "]\r\n",
                fi.ObjectNumber, true);
    int32_t d = AllocObject();
    std::string cid = "/Type/Font/Subtype/CIDFontType2/BaseFont/" + prefix + name + "/FontDescriptor " +
                      ObjRef(d) + "/CIDSystemInfo\r\n<<\r\n/Registry<" +
                      HexString(EncryptString("Adobe", m)) + ">/Ordering<" +
                      HexString(EncryptString("Identity", m)) + ">/Supplement 0\r\n>>\r\n";
    if (!fi.FixedPitch) cid += "/W [" + WidthRuns(f.UsedGlyphs, f.UsedWidths) + "]";
    cid += "/DW " + IntToStr(fi.MaxWidth) + "/CIDToGIDMap/Identity";
    WriteObject(cid, m, true);
    int32_t file = embedding ? AllocObject() : 0;
    std::string desc = "/Type/FontDescriptor/FontName/" + prefix + name + "/Flags " + IntToStr(fi.Flags) +
                       bbox(true) + metrics() + "/MissingWidth " + IntToStr(fi.MaxWidth) + "/StemV " +
                       IntToStr(fi.StemV) + "/ItalicAngle " + IntToStr(fi.ItalicAngle);
    if (file) desc += "/FontFile2 " + ObjRef(file);
    WriteObject(desc + "\r\n", d, true);
    WriteStreamObject("", IdentityHCMap(f.UsedGlyphs, f.UsedChars), u);
    if (file) fontFile(file);
  }
}

}  // namespace pv
