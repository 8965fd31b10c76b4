// Text items and fonts of the PDF engine: font choice, the text block operators, link
// annotations and the font objects written at the end of the document.
#include <algorithm>
#include <cmath>
#include <string_view>

#include "pdf/engine.h"
#include "pdf/syntax.h"
#include "pdf/ttf_subset.h"
#include "platform/fonts.h"
#include "platform/text.h"

namespace pv {

namespace {

constexpr double kPi = 3.14159265358979323846;

std::string Hex4(uint32_t v) {
  static const char* d = "0123456789ABCDEF";
  std::string s(4, '0');
  for (int i = 3; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = d[v & 15];
  return s;
}

enum class TDirClass : uint8_t { dcL, dcR, dcDigit, dcNeutral };

TDirClass DirClass(char16_t c) {
  if (c >= u'0' && c <= u'9') return TDirClass::dcDigit;
  if ((c >= 0x0660 && c <= 0x0669) || (c >= 0x06F0 && c <= 0x06F9)) return TDirClass::dcDigit;
  if ((c >= 0x0590 && c <= 0x08FF) || (c >= 0xFB1D && c <= 0xFDFF) || (c >= 0xFE70 && c <= 0xFEFF))
    return TDirClass::dcR;
  if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) return TDirClass::dcL;
  // Latin-1 symbols, general punctuation and the like carry no direction.
  if (c < 0xC0 || (c >= 0x2000 && c <= 0x2BFF) || c == 0xD7 || c == 0xF7)
    return TDirClass::dcNeutral;
  return TDirClass::dcL;
}

char16_t Mirrored(char16_t c) {
  // Each bracket stands beside its mirror image, so the other of a pair is at index ^ 1.
  constexpr std::u16string_view kBrackets = u"()[]{}<>";
  const size_t i = kBrackets.find(c);
  return i == std::u16string_view::npos ? c : kBrackets[i ^ 1];
}

}  // namespace

std::u16string VisualOrder(std::u16string_view text) {
  std::u16string out(text);
  const size_t n = out.size();
  size_t i = 0;
  while (i < n) {
    if (DirClass(out[i]) != TDirClass::dcR) {
      ++i;
      continue;
    }
    // A right-to-left run: from this character over everything but left-to-right letters,
    // ending at its last right-to-left character or digit.
    size_t end = i;
    for (size_t j = i; j < n && DirClass(out[j]) != TDirClass::dcL; ++j)
      if (DirClass(out[j]) != TDirClass::dcNeutral) end = j;
    std::reverse(out.begin() + static_cast<std::ptrdiff_t>(i),
                 out.begin() + static_cast<std::ptrdiff_t>(end + 1));
    // Numbers keep their own left-to-right order; paired brackets face the other way.
    for (size_t k = i; k <= end;) {
      if (DirClass(out[k]) == TDirClass::dcDigit) {
        size_t m = k;
        auto digit = [&](size_t q) { return q <= end && DirClass(out[q]) == TDirClass::dcDigit; };
        auto separator = [&](size_t q) {
          return q <= end && (out[q] == u'.' || out[q] == u',' || out[q] == u':');
        };
        // A number's separators stay inside it: "3.14" is one number.
        while (digit(m + 1) || (separator(m + 1) && digit(m + 2))) ++m;
        std::reverse(out.begin() + static_cast<std::ptrdiff_t>(k),
                     out.begin() + static_cast<std::ptrdiff_t>(m + 1));
        k = m + 1;
      } else {
        out[k] = Mirrored(out[k]);
        ++k;
      }
    }
    i = end + 1;
  }
  return out;
}

bool TgtCustomPDFEngine::Excluded(const std::string& face) const {
  for (const std::string& f : fontEmbedExcludeList_)
    if (EqualsIgnoreCase(f, face)) return true;
  return false;
}

TgtPDFFont& TgtCustomPDFEngine::FontFor(const TFont& itemFont) {
  TFont font = itemFont;
  std::string installed;
  if (fonts::IsInstalled(font.Name, &installed)) font.Name = installed;
  // The text bytes follow the encoding the font dictionary names. Of the predefined
  // encodings only WinAnsi and MacRoman hold the characters of ordinary text; the others
  // (MacExpert's expert glyphs, StandardEncoding, which no font dictionary may name, and
  // PDFDocEncoding, which is no font encoding at all) are written as WinAnsi. A symbol
  // font's bytes are its own codes.
  const TgtSimpleEncoding encoding =
      fontEncoding_ == TgtPDFFontEncoding::feMacRomanEncoding && font.Charset != SYMBOL_CHARSET
          ? TgtSimpleEncoding::seMacRoman
          : TgtSimpleEncoding::seWinAnsi;
  TgtPDFFont* match = nullptr;
  for (auto& f : fontList_)
    if (f->Font.Name == font.Name && f->Font.Charset == font.Charset &&
        f->Font.Bold() == font.Bold() && f->Font.Italic() == font.Italic() &&
        f->Encoding == encoding)
      match = f.get();
  if (match) return *match;
  bool subset = Preferences().EmbedTrueTypeFonts() == TgtTTFontEmbedding::etfSubset;
  fontList_.push_back(std::make_unique<TgtPDFFont>(font, AllocObject(), subset, true, encoding));
  return *fontList_.back();
}

void TgtCustomPDFEngine::RenderText(const TgtTextItem& item) {
  if (item.Lines.empty()) return;
  // One line a block; a direct text item may carry several, one font height apart. The
  // bidirectional hook applies to the first line. Variables were substituted by the engine
  // before the item came here (RenderItems): substituting again would also replace what an
  // OnCalcVariables handler wrote.
  std::u16string first = item.Lines[0];
  if (biDi_) first = VisualOrder(first);
  RenderTextLine(item, std::move(first));
  if (item.Lines.size() > 1) {
    TgtTextItem next = item;
    for (size_t i = 1; i < item.Lines.size(); ++i) {
      next.Lines.assign(1, item.Lines[i]);
      next.Y = item.Y + static_cast<double>(i) * std::abs(item.Font.Height);
      RenderTextLine(next, item.Lines[i]);
    }
  }
  ContentWritten();
}

void TgtCustomPDFEngine::RenderTextLine(const TgtTextItem& item, std::u16string line) {
  if (line.size() >= 2 && line[line.size() - 2] == u'\r' && line.back() == u'\n')
    line.resize(line.size() - 2);
  TgtPDFFont& pdfFont = FontFor(item.Font);
  size_t fontIndex = 0;
  while (fontList_[fontIndex].get() != &pdfFont) ++fontIndex;
  const TgtPDFFontInfo& fi = pdfFont.Info;
  const bool fromCanvas = item.FromMetafile != 0;
  // Content units are points times the input resolution's factor (the page's scaling
  // shrinks them back). Canvas text has its size and extents in the canvas's logical units
  // already; direct text has them in points and screen pixels, so it grows by that factor
  // like its coordinates do.
  const double kx = fromCanvas ? 1.0 : static_cast<double>(InputXRes()) / kScreenPPI;
  const double ky = fromCanvas ? 1.0 : static_cast<double>(InputYRes()) / kScreenPPI;
  const double size = item.Font.Size() * ky;

  // Geometry: the baseline lies one font size below the item's top.
  const double top = ToPdfY(item.Y);
  const double x0 = ToPdfX(item.X);
  const double y0 = top - size + (fromCanvas ? fi.UnderlineThickness : 0);
  const double a = item.Angle * kPi / 180.0;
  const double sinA = std::sin(a), cosA = std::cos(a);
  const double h = top - y0;
  const double ox = x0 + sinA * h, oy = top - cosA * h;
  const fonts::TextExtent ext = MeasureText(line, item.Font);
  const double w = ext.Width * pointsPerUnit_ * kx;
  const double t = ext.Height * pointsPerUnit_ * ky;

  std::string& c = pageContent_;
  // Background: the text box, rotated with the text.
  const TBrush& brush = item.Brush;
  c += "\r\n";
  if (brush.Style != TBrushStyle::bsClear) {
    auto corner = [&](double dx, double dy) {
      AppendNumberPair(c, x0 + dx * cosA + dy * sinA, top + dx * sinA - dy * cosA);
    };
    c += "\r\nq\r\n";
    if (brush.Style == TBrushStyle::bsSolid) {
      AppendColor(c, brush.Color);
      c += " rg ";
    } else {
      shapes_.AppendHatchFill(c, brush);
    }
    corner(0, 0);
    c += " m ";
    corner(w, 0);
    c += " l ";
    corner(w, t);
    c += " l ";
    corner(0, t);
    c += " l f\r\nQ";
  }
  c += "\r\n";

  const bool simple = pdfFont.SimpleCharset();
  if (!simple && fi.FontKind != fkTrueType) return;  // no glyphs to show a foreign charset with

  c += "\r\n q ";
  if (item.ClipFlag) {
    const TgtRectD& r = item.ClipRect;
    AppendNumberPair(c, ToPdfX(r.Left), ToPdfY(r.Bottom));
    c += ' ';
    AppendNumberPair(c, (r.Right - r.Left) * pointsPerUnit_ * InputXRes() / kScreenPPI,
                     (r.Bottom - r.Top) * pointsPerUnit_ * InputYRes() / kScreenPPI);
    c += " re W n\r\n";
  }
  c += "BT\r\n";
  // The PDF's text rendering modes 0 (fill), 1 (stroke) and 2 (both) in the enum's order.
  const auto mode = static_cast<size_t>(item.Effects.TextRenderMode);
  c += mode < 3 ? "012"[mode] : '0';
  c += " Tr";
  if (item.Effects.TextRise == TgtTextRise::trSuperscript) {
    c += ' ';
    AppendNumber(c, size / 2);
    c += " Ts";
  } else if (item.Effects.TextRise == TgtTextRise::trSubscript) {
    c += ' ';
    AppendNumber(c, -size / 2);
    c += " Ts";
  }
  c += "\r\n";
  AppendColor(c, item.Font.Color);
  c += " rg\r\n";
  const bool rotated = item.Angle % 360 != 0;
  auto textMatrix = [&] {
    AppendNumberPair(c, cosA, sinA);
    c += ' ';
    AppendNumberPair(c, -sinA, cosA);
    c += ' ';
    AppendNumberPair(c, ox, oy);
    c += " Tm \r\n";
  };

  if (simple) {
    const std::string ansi = EncodeText(pdfFont.Encoding, line);
    double tc = 0;
    if (!ignoreCharSpacing_ && !ansi.empty()) {
      double s = 0;
      for (unsigned char ch : ansi)
        if (ch > 31) s += fi.Widths[static_cast<size_t>(ch - 32)];
      const double measured = ext.Width / static_cast<double>(kScreenPPI) * 72.0;
      tc = (measured - s * item.Font.Size() / 1000.0) * kx;
      if (tc != 0) tc /= static_cast<double>(ansi.size());
    }
    // A subset keeps the glyphs of the characters the page shows: those of the code page.
    if (pdfFont.Subset)
      for (unsigned char code : ansi)
        if (char16_t ch = EncodingChar(pdfFont.Encoding, code)) pdfFont.UseChar(ch);
    c += "/F";
    AppendInt(c, static_cast<int64_t>(fontIndex));
    c += ' ';
    AppendNumber(c, size);
    c += " Tf\r\n ";
    AppendNumber(c, tc);
    c += " Tc 0 Tw\r\n";
    if (rotated) {
      textMatrix();
      c += '(';
      AppendEscapedPdfString(c, ansi);
      c += ") Tj";
    } else if (fromCanvas) {
      AppendNumberPair(c, ox, oy);
      c += " Td\r\n[(";
      AppendEscapedPdfString(c, ansi);
      c += ")0.0000 ]TJ ";
    } else {
      AppendNumberPair(c, ox, oy);
      c += " Td\r\n(";
      AppendEscapedPdfString(c, ansi);
      c += ") Tj";
    }
  } else {
    // Glyph codes of the composite font; characters the face has no glyph for are dropped.
    std::string codes;
    for (size_t i = 0; i < line.size(); ++i) {
      char32_t ch = line[i];
      if (ch >= 0xD800 && ch <= 0xDBFF && i + 1 < line.size() && line[i + 1] >= 0xDC00 &&
          line[i + 1] <= 0xDFFF) {
        ch = 0x10000 + ((ch - 0xD800) << 10) + (line[i + 1] - 0xDC00);
        ++i;
      }
      if (uint16_t g = pdfFont.UseChar(ch)) codes += Hex4(g);
    }
    c += "/F";
    AppendInt(c, static_cast<int64_t>(fontIndex));
    c += ' ';
    AppendInt(c, static_cast<int64_t>(size));
    c += " Tf\r\n0 Tw\r\n0 Tc\r\n";
    if (rotated) {
      textMatrix();
      c += "<" + codes + "> Tj";
    } else {
      AppendNumberPair(c, ox, oy);
      c += " Td <" + codes + "> Tj";
    }
  }
  c += "\r\nET Q ";

  // Underline and strike-out: lines under or through the text, rotated with it.
  auto decoration = [&](double thickness, double position) {
    thickness *= ky;
    position *= ky;
    const double len = w;
    const double sx = ox - sinA * position, sy = oy + cosA * position;
    c += "\r\nq\r\n";
    AppendColor(c, item.Font.Color);
    c += " RG ";
    AppendNumber(c, thickness);
    c += " w ";
    AppendNumberPair(c, sx, sy);
    c += " m ";
    AppendNumberPair(c, sx + cosA * len, sy + sinA * len);
    c += " l S\r\nQ";
  };
  if (item.Font.Style & fsUnderline) decoration(fi.UnderlineThickness, fi.UnderlinePosition);
  if (item.Font.Style & fsStrikeOut) decoration(fi.StrikeoutThickness, fi.StrikeoutPosition);
  c += "\r\n";

  if (Preferences().ActiveHyperLinks() && item.Angle % 360 == 0) WriteLinks(item, line);
}

void TgtCustomPDFEngine::WriteLinks(const TgtTextItem& item, const std::u16string& line) {
  // Annotation rectangles live in default user space, outside the page's scaling: the
  // extents of canvas text (in the canvas's logical units) shrink by that scaling like its
  // font size does; those of direct text are screen pixels already.
  const TgtPageInfo* info = CurrentPageInfo();
  if (!info) return;
  const bool fromCanvas = item.FromMetafile != 0;
  const double sx = fromCanvas ? static_cast<double>(kScreenPPI) / InputXRes() : 1.0;
  const double sy = fromCanvas ? static_cast<double>(kScreenPPI) / InputYRes() : 1.0;
  auto width = [&](std::u16string_view s) {
    return MeasureText(s, item.Font).Width * pointsPerUnit_ * sx;
  };
  const double topPt = info->Height - item.Y * pointsPerUnit_;
  const double bottomPt = topPt - MeasureText(line, item.Font).Height * pointsPerUnit_ * sy;
  size_t pos = 0, prevEnd = 0;
  double prevRight = item.X * pointsPerUnit_;
  while (pos < line.size()) {
    size_t start = pos;
    const std::u16string link = FindLink(line, start);
    if (link.empty()) break;
    const std::u16string_view between =
        std::u16string_view(line).substr(prevEnd, start > prevEnd ? start - prevEnd : 0);
    const double left = prevRight + (between.empty() ? 0 : width(between));
    const std::string trimmed(Trim(Utf16ToUtf8(link)));
    const double right = left + width(Utf8ToUtf16(trimmed));
    const int32_t n = AllocObject();
    annotRefs_ += ' ';
    annotRefs_ += ObjRef(n);
    std::string action;
    if (trimmed.find('@') != std::string::npos) {
      action = "/S/URI /URI<" + HexString(EncryptString("mailto:" + trimmed, n)) + ">\r\n";
    } else if (trimmed.find(":\\") != std::string::npos) {
      std::string path;
      for (size_t i = 0; i < trimmed.size(); ++i) {
        if (trimmed.compare(i, 2, ":\\") == 0) {
          path += '/';
          ++i;
        } else {
          path += trimmed[i] == '\\' ? '/' : trimmed[i];
        }
      }
      if (path.find('/') != std::string::npos && path.find("..") == std::string::npos)
        path.insert(0, 1, '/');
      // In an encrypted document every string is encrypted, the file name too.
      const std::string file = crypt_ ? "<" + HexString(EncryptString(path, n)) + ">"
                                      : "(" + EscapePdfString(path) + ")";
      action = "/Type /Action/S /Launch/F " + file + " /NewWindow true";
    } else {
      action = "/S/URI /URI<" + HexString(EncryptString(trimmed, n)) + ">\r\n";
    }
    // No border (its width 0) and a blue colour, each component within 0..1.
    std::string t = "/Type/Annot/Border [0 0 0]/H/I/Subtype/Link/F 0/C [0 0 1]/Rect [";
    AppendNumber(t, left);
    t += ' ';
    AppendNumber(t, topPt);
    t += ' ';
    AppendNumber(t, right);
    t += ' ';
    AppendNumber(t, bottomPt);
    t += "]\r\n/A\r\n<<\r\n" + action + ">>";
    WriteObject(t, n, true);
    prevRight = right;
    prevEnd = start + link.size();
    pos = prevEnd;
  }
}

namespace {

// The six capital letters that tag a subset, derived from the face, its style and the set
// of glyphs kept (FNV-1a): different subsets get different names, and the same document
// gets the same tags on every run.
std::string SubsetTag(const TgtPDFFont& f) {
  uint64_t h = 0xCBF29CE484222325ull;
  auto mix = [&](uint8_t b) {
    h ^= b;
    h *= 0x100000001B3ull;
  };
  for (char c : f.Font.Name) mix(static_cast<uint8_t>(c));
  mix(0);
  mix(static_cast<uint8_t>(f.Font.Style & (fsBold | fsItalic)));
  std::vector<uint16_t> glyphs = f.UsedGlyphs;
  std::sort(glyphs.begin(), glyphs.end());
  glyphs.erase(std::unique(glyphs.begin(), glyphs.end()), glyphs.end());
  for (uint16_t g : glyphs) {
    mix(static_cast<uint8_t>(g >> 8));
    mix(static_cast<uint8_t>(g));
  }
  std::string tag(6, 'A');
  for (char& c : tag) {
    c = static_cast<char>('A' + h % 26);
    h /= 26;
  }
  return tag + "+";
}

}  // namespace

void TgtCustomPDFEngine::WriteFonts() {
  const TgtTTFontEmbedding embed = Preferences().EmbedTrueTypeFonts();
  for (size_t i = 0; i < fontList_.size(); ++i) {
    TgtPDFFont& f = *fontList_[i];
    const TgtPDFFontInfo& fi = f.Info;
    const std::string encoding = EncodingName(f.Encoding);
    const std::string name = EscapePdfName(f.BaseFontName());
    const std::string idx = IntToStr(static_cast<int64_t>(i));
    // A composite font shows glyph numbers, which mean nothing without its own program: it
    // is embedded (a subset) even when embedding is off, unless the face is excluded.
    const bool composite = !f.SimpleCharset() && fi.FontKind == fkTrueType;
    const bool embedding = fi.FontKind == fkTrueType && !Excluded(f.Font.Name) &&
                           (embed != TgtTTFontEmbedding::etfNone || composite);
    const bool wantSubset = embedding && (embed == TgtTTFontEmbedding::etfSubset ||
                                          (embed == TgtTTFontEmbedding::etfNone && composite));
    bool subset = false;
    auto bbox = [&](bool spaced) {
      return std::string(spaced ? "/FontBBox [" : "/FontBBox[") + IntToStr(fi.FontBBox[0]) + " " +
             IntToStr(fi.FontBBox[1]) + " " + IntToStr(fi.FontBBox[2]) + " " +
             IntToStr(fi.FontBBox[3]) + "]";
    };
    auto metrics = [&] {
      return "/Ascent " + IntToStr(fi.Ascent) + "/Descent " + IntToStr(fi.Descent) + "/CapHeight " +
             IntToStr(fi.CapHeight) + "/AvgWidth " + IntToStr(fi.AvgWidth) + "/MaxWidth " +
             IntToStr(fi.MaxWidth);
    };
    // The font program for embedding: whole, or the used glyphs only. A face whose data
    // cannot be had (or cut down) is embedded whole, or not at all.
    std::string program;
    if (embedding) {
      TFont big = f.Font;
      big.SetSize(1000);
      if (const std::vector<uint8_t>* data =
              fonts::Realize(fonts::FontKey::From(big)).TrueTypeData()) {
        if (wantSubset) {
          try {
            const std::vector<uint8_t> sub = BuildTrueTypeSubset(*data, f.UsedGlyphs);
            program.assign(sub.begin(), sub.end());
            subset = !program.empty();
          } catch (const ETrueTypeFontError&) {
            program.clear();
          }
        }
        if (program.empty()) program.assign(data->begin(), data->end());
      }
    }
    // Only a font program that is a subset carries a subset tag.
    const std::string prefix = subset ? SubsetTag(f) : "";
    auto fontFile = [&](int32_t n) {
      WriteStreamObject("/Length1 " + IntToStr(static_cast<int64_t>(program.size())), program, n,
                        true);
    };

    if (f.SimpleCharset()) {
      int32_t d = AllocObject();
      std::string widths;
      for (size_t k = 0; k < fi.Widths.size(); ++k) {
        if (k) widths += ' ';
        widths += IntToStr(fi.Widths[k]);
      }
      if (fi.FontKind == fkTrueType) {
        int32_t file = program.empty() ? 0 : AllocObject();
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
        WriteObject("/Type /Font/Subtype /Type1/Name /F" + idx + "/BaseFont /" + name +
                        "/Encoding /" + encoding + "/FirstChar 32/LastChar 255/Widths [" + widths +
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
                    "/Encoding/Identity-H/ToUnicode " + ObjRef(u) + "/DescendantFonts [" +
                    ObjRef(m) + "]\r\n",
                fi.ObjectNumber, true);
    int32_t d = AllocObject();
    std::string cid = "/Type/Font/Subtype/CIDFontType2/BaseFont/" + prefix + name +
                      "/FontDescriptor " + ObjRef(d) + "/CIDSystemInfo\r\n<<\r\n/Registry<" +
                      HexString(EncryptString("Adobe", m)) + ">/Ordering<" +
                      HexString(EncryptString("Identity", m)) + ">/Supplement 0\r\n>>\r\n";
    if (!fi.FixedPitch) cid += "/W [" + WidthRuns(f.UsedGlyphs, f.UsedWidths) + "]";
    cid += "/DW " + IntToStr(fi.MaxWidth) + "/CIDToGIDMap/Identity";
    WriteObject(cid, m, true);
    int32_t file = program.empty() ? 0 : AllocObject();
    std::string desc = "/Type/FontDescriptor/FontName/" + prefix + name + "/Flags " +
                       IntToStr(fi.Flags) + bbox(true) + metrics() + "/MissingWidth " +
                       IntToStr(fi.MaxWidth) + "/StemV " + IntToStr(fi.StemV) + "/ItalicAngle " +
                       IntToStr(fi.ItalicAngle);
    if (file) desc += "/FontFile2 " + ObjRef(file);
    WriteObject(desc + "\r\n", d, true);
    WriteStreamObject("", IdentityHCMap(f.UsedGlyphs, f.UsedChars), u);
    if (file) fontFile(file);
  }
}

}  // namespace pv
