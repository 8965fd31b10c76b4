#include "pdf/fonts.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "pdf/syntax.h"
#include "platform/fonts.h"
#include "platform/text.h"

namespace pv {

namespace {

constexpr const char* kStandardNames[] = {
    "Times-Roman", "Times-Bold",     "Times-Italic",      "Times-BoldItalic",
    "Helvetica",   "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
    "Courier",     "Courier-Bold",   "Courier-Oblique",   "Courier-BoldOblique",
    "Symbol",      "ZapfDingbats"};

// Codes 0x80..0xFF of the MacRoman encoding as PDF defines it.
constexpr char16_t kMacRoman80[128] = {
    0x00C4, 0x00C5, 0x00C7, 0x00C9, 0x00D1, 0x00D6, 0x00DC, 0x00E1,  // 80
    0x00E0, 0x00E2, 0x00E4, 0x00E3, 0x00E5, 0x00E7, 0x00E9, 0x00E8,  // 88
    0x00EA, 0x00EB, 0x00ED, 0x00EC, 0x00EE, 0x00EF, 0x00F1, 0x00F3,  // 90
    0x00F2, 0x00F4, 0x00F6, 0x00F5, 0x00FA, 0x00F9, 0x00FB, 0x00FC,  // 98
    0x2020, 0x00B0, 0x00A2, 0x00A3, 0x00A7, 0x2022, 0x00B6, 0x00DF,  // A0
    0x00AE, 0x00A9, 0x2122, 0x00B4, 0x00A8, 0,      0x00C6, 0x00D8,  // A8
    0,      0x00B1, 0,      0,      0x00A5, 0x00B5, 0,      0,       // B0
    0,      0,      0,      0x00AA, 0x00BA, 0,      0x00E6, 0x00F8,  // B8
    0x00BF, 0x00A1, 0x00AC, 0,      0x0192, 0,      0,      0x00AB,  // C0
    0x00BB, 0x2026, 0x00A0, 0x00C0, 0x00C3, 0x00D5, 0x0152, 0x0153,  // C8
    0x2013, 0x2014, 0x201C, 0x201D, 0x2018, 0x2019, 0x00F7, 0,       // D0
    0x00FF, 0x0178, 0x2044, 0x00A4, 0x2039, 0x203A, 0xFB01, 0xFB02,  // D8
    0x2021, 0x00B7, 0x201A, 0x201E, 0x2030, 0x00C2, 0x00CA, 0x00C1,  // E0
    0x00CB, 0x00C8, 0x00CD, 0x00CE, 0x00CF, 0x00CC, 0x00D3, 0x00D4,  // E8
    0,      0x00D2, 0x00DA, 0x00DB, 0x00D9, 0x0131, 0x02C6, 0x02DC,  // F0
    0x00AF, 0x02D8, 0x02D9, 0x02DA, 0x00B8, 0x02DD, 0x02DB, 0x02C7,  // F8
};

// The screen's integer division of a pixel value, then back to 1/1000 em at size 1000.
int32_t PixelsToGlyphUnits(int32_t px) {
  return px / kScreenPPI * 72;
}

}  // namespace

uint8_t CodePageCharset(int cp) {
  switch (cp) {
    case 874:
      return 222;
    case 932:
      return 128;
    case 936:
      return 134;
    case 949:
      return 129;
    case 950:
      return 136;
    case 1250:
      return 238;
    case 1251:
      return 204;
    case 1253:
      return 161;
    case 1254:
      return 162;
    case 1255:
      return 177;
    case 1256:
      return 178;
    case 1257:
      return 186;
    case 1258:
      return 163;
    case 1361:
      return 130;
    default:
      return 0;
  }
}

char16_t EncodingChar(TgtSimpleEncoding encoding, uint8_t code) {
  if (encoding == TgtSimpleEncoding::seWinAnsi) {
    const std::u16string u = fonts::FromAnsi(std::string_view(reinterpret_cast<char*>(&code), 1));
    return u.empty() ? 0 : u[0];
  }
  if (code < 0x80) return code == 0x7F ? 0 : code;
  return kMacRoman80[code - 0x80];
}

std::string EncodeText(TgtSimpleEncoding encoding, std::u16string_view text) {
  if (encoding == TgtSimpleEncoding::seWinAnsi) return fonts::ToAnsi(text);
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character outside the encoding: one '?'.
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF)
      ++i;
    char code = '?';
    if (c < 0x80) {
      code = static_cast<char>(c);
    } else {
      for (int k = 0; k < 128; ++k)
        if (kMacRoman80[k] == c) {
          code = static_cast<char>(0x80 + k);
          break;
        }
    }
    out.push_back(code);
  }
  return out;
}

const char* EncodingName(TgtSimpleEncoding encoding) {
  return encoding == TgtSimpleEncoding::seMacRoman ? "MacRomanEncoding" : "WinAnsiEncoding";
}

TgtPDFFont::TgtPDFFont(const TFont& font, int32_t objectNumber, bool subset, bool checkCharset,
                       TgtSimpleEncoding encoding)
    : Font(font), Subset(subset), Encoding(encoding) {
  Info.ObjectNumber = objectNumber;
  const int32_t size = font.Size();
  Info.StrikeoutThickness = size / 20.0;
  Info.StrikeoutPosition = std::abs(font.Height) / 5.0;
  Info.UnderlineThickness = size / 10.0;
  Info.UnderlinePosition = -1;

  TFont big = font;
  big.SetSize(1000);
  const fonts::Font& f = fonts::Realize(fonts::FontKey::From(big));
  const fonts::TextMetrics& tm = f.Metrics();

  if (tm.TrueType && f.TrueTypeData()) {
    bool covered = true;
    if (checkCharset) {
      uint8_t want =
          font.Charset == DEFAULT_CHARSET ? CodePageCharset(fonts::AnsiCodePage()) : font.Charset;
      covered = false;
      for (uint8_t cs : fonts::FaceCharsets(font.Name))
        if (cs == want || cs == font.Charset) covered = true;
    }
    if (covered) Info.FontKind = fkTrueType;
  }
  if (Info.FontKind != fkTrueType && !tm.FixedPitch && tm.Vector && tm.Device)
    Info.FontKind = fkDeviceVector;
  Info.FixedPitch = tm.FixedPitch;

  auto widthOf = [&](char16_t c) {
    return static_cast<int32_t>(
        std::lround(f.CharAdvance(c) / static_cast<double>(kScreenPPI) * 72.0));
  };
  if (!Info.FixedPitch || subset) {
    for (int code = 32; code <= 255; ++code) {
      const char16_t u = EncodingChar(encoding, static_cast<uint8_t>(code));
      Info.Widths[static_cast<size_t>(code - 32)] = u == 0 ? 0 : widthOf(u);
    }
  } else {
    Info.MaxWidth = widthOf(u' ');
  }

  const uint8_t pf = tm.PitchAndFamily();
  int32_t flags = 0;
  if (Info.FixedPitch) flags += 1;
  if (pf & 0x10) flags += 2;
  flags += font.Charset == SYMBOL_CHARSET ? 4 : 32;
  if (pf & 0x40) flags += 8;
  if (tm.Italic || font.Italic()) flags += 64;
  Info.Flags = flags;

  Info.Ascent = PixelsToGlyphUnits(tm.Ascent);
  Info.Descent = -PixelsToGlyphUnits(std::abs(tm.Descent));
  Info.CapHeight = PixelsToGlyphUnits(tm.Ascent);
  Info.AvgWidth = PixelsToGlyphUnits(tm.AveCharWidth);
  if (!Info.FixedPitch) Info.MaxWidth = PixelsToGlyphUnits(tm.MaxCharWidth);
  Info.FontBBox[1] = Info.Descent;  // written as the bottom
  Info.FontBBox[2] = Info.MaxWidth;
  Info.FontBBox[3] = Info.Ascent;

  if (Info.FontKind == fkTrueType) {
    if (const fonts::OutlineMetrics* om = f.Outline()) {
      Info.ItalicAngle = om->ItalicAngle / 10;
      Info.StemV = 78;
      auto scale = [&](int32_t v) {
        return static_cast<double>(
            std::lround(size * (v / static_cast<double>(kScreenPPI) * 72.0) / 1000.0));
      };
      Info.StrikeoutThickness = scale(om->StrikeoutSize);
      Info.StrikeoutPosition = scale(om->StrikeoutPosition);
      Info.UnderlineThickness = scale(om->UnderscoreSize);
      Info.UnderlinePosition = scale(om->UnderscorePosition);
    }
  }
}

uint16_t TgtPDFFont::UseChar(char32_t c) {
  for (size_t i = 0; i < UsedChars.size(); ++i)
    if (UsedChars[i] == c) return UsedGlyphs[i];
  TFont big = Font;
  big.SetSize(1000);
  const fonts::Font& f = fonts::Realize(fonts::FontKey::From(big));
  uint16_t g = f.GlyphIndex(c);
  if (g == 0) return 0;
  int32_t upem = f.UnitsPerEm();
  int32_t w =
      upem > 0 ? static_cast<int32_t>(std::lround(f.GlyphAdvanceUnits(g) * 1000.0 / upem)) : 0;
  UsedChars.push_back(c);
  UsedGlyphs.push_back(g);
  UsedWidths.push_back(w);
  return g;
}

bool TgtPDFFont::SimpleCharset() const {
  return Font.Charset == ANSI_CHARSET || Font.Charset == SYMBOL_CHARSET ||
         (Font.Charset == DEFAULT_CHARSET && fonts::AnsiCodePage() == 1252);
}

std::string TgtPDFFont::BaseFontName() const {
  const std::string& face = Font.Name;
  if (Info.FontKind == fkTrueType || Info.FontKind == fkDeviceVector) {
    std::string name;
    for (char c : face)
      if (c != ' ') name += c;
    if (face != "Symbol" && (Font.Bold() || Font.Italic())) {
      name += ',';
      if (Font.Bold()) name += "Bold";
      if (Font.Italic()) name += "Italic";
    }
    return name;
  }
  // A standard face is measured as its styled variant (Helvetica bold as Helvetica-Bold),
  // so it is named as that variant: the viewer's font then matches the widths.
  for (const char* s : kStandardNames)
    if (face == s) return fonts::StandardFontFor(face, Font.Style).Name;
  if (Font.Charset == SYMBOL_CHARSET) return "ZapfDingbats";
  if (Font.Charset != ANSI_CHARSET && Font.Charset != DEFAULT_CHARSET &&
      fonts::AnsiCodePage() != 1252)
    return "Symbol";
  TFont big = Font;
  big.SetSize(1000);
  const fonts::TextMetrics& tm = fonts::Realize(fonts::FontKey::From(big)).Metrics();
  const uint8_t family = tm.PitchAndFamily() & 0xF0;
  int n = -1;
  if (tm.FixedPitch || family == 0x30) n = 11;
  if (family & 0x10) n = 3;
  if (family & 0x20) n = 7;
  if (n >= 0) {
    if (!Font.Italic()) n -= 2;
    if (!(Font.Bold() || tm.Weight >= 700)) n -= 1;
  }
  if (n < 0) return face;
  return kStandardNames[n];
}

std::string IdentityHCMap(const std::vector<uint16_t>& codes, const std::vector<char32_t>& chars) {
  if (codes.empty()) return {};
  auto hex4 = [](uint32_t v) {
    static const char* d = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i, v >>= 4) s[static_cast<size_t>(i)] = d[v & 15];
    return s;
  };
  std::string t;
  const char* header[] = {
      "%!PS-Adobe-3.0 Resource-CMap", "%%DocumentNeededResources: ProcSet (CIDInit)",
      "%%IncludeResource: ProcSet (CIDInit)", "%%BeginResource: CMap (Identity-H)",
      "%%Title: (Identity-H Adobe Identity 0)", "%%Version: 10.001",
      "%%Copyright: -----------------------------------------------------------",
      "%%Copyright: Identity-H CMap resource: the identity mapping of two-byte codes",
      "%%Copyright: to CIDs, with the Unicode values of the codes this font uses.",
      "%%Copyright: -----------------------------------------------------------", "%%EndComments",
      "/CIDInit /ProcSet findresource begin", "12 dict begin", "begincmap",
      "/CIDSystemInfo 3 dict dup begin", "/Registry (Adobe) def", "/Ordering (Identity) def",
      "/Supplement 0 def", "end def", "/CMapName /Identity-H def", "/CMapVersion 10.001 def",
      "/CMapType 1 def", "/XUID [1 10 25404 9999] def", "/WMode 0 def", "1 begincodespacerange",
      // Every two-byte code: a narrower range would leave out codes whose low byte lies
      // outside the low bytes of its ends.
      "<0000> <FFFF>", "endcodespacerange"};
  for (const char* l : header) {
    t += l;
    t += "\r\n";
  }
  // Code to Unicode text (UTF-16, high byte first), at most 100 to a block as a CMap
  // allows.
  for (size_t start = 0; start < codes.size(); start += 100) {
    const size_t end = std::min(codes.size(), start + 100);
    t += std::to_string(end - start) + " beginbfchar\r\n";
    for (size_t i = start; i < end; ++i) {
      const char32_t c = i < chars.size() ? chars[i] : 0;
      t += "<" + hex4(codes[i]) + "> <";
      if (c >= 0x10000 && c <= 0x10FFFF) {
        t += hex4(0xD800 + ((c - 0x10000) >> 10));
        t += hex4(0xDC00 + ((c - 0x10000) & 0x3FF));
      } else {
        t += hex4(c > 0xFFFF ? 0xFFFD : c);
      }
      t += ">\r\n";
    }
    t += "endbfchar\r\n";
  }
  const char* trailer[] = {"endcmap",       "CMapName currentdict /CMap defineresource pop",
                           "end",           "end",
                           "%%EndResource", "%%EOF"};
  for (size_t i = 0; i < std::size(trailer); ++i) {
    t += trailer[i];
    if (i + 1 < std::size(trailer)) t += "\r\n";
  }
  return t;
}

std::string WidthRuns(const std::vector<uint16_t>& glyphs, const std::vector<int32_t>& widths) {
  std::string runs;
  size_t n = std::min(glyphs.size(), widths.size());
  size_t i = 0;
  while (i < n) {
    size_t j = i;
    while (j + 1 < n && widths[j + 1] == widths[i] && glyphs[j + 1] == glyphs[j] + 1) ++j;
    runs += std::to_string(glyphs[i]) + " " + std::to_string(glyphs[j]) + " " +
            std::to_string(widths[i]) + " ";
    i = j + 1;
  }
  return runs;
}

}  // namespace pv
