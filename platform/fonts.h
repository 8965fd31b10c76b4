#pragma once
// Font services: installed faces (fontconfig), metrics of realised fonts (FreeType for
// installed faces, built-in standard-14 metrics otherwise), glyph lookup and TrueType data.
// Sizes are in 96-per-inch pixels at the requested height, as a screen device would report.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics.h"

namespace pv::fonts {

// What a caller asks for: the face, the height in pixels (negative: character height,
// as TFont::Height and LOGFONT lfHeight; positive: cell height), style bits, charset, pitch.
struct FontKey {
  std::string Face;
  int32_t Height = -11;
  uint8_t Style = 0;  // fsBold | fsItalic | fsUnderline | fsStrikeOut
  uint8_t Charset = DEFAULT_CHARSET;
  TFontPitch Pitch = TFontPitch::fpDefault;

  static FontKey From(const TFont& f) { return {f.Name, f.Height, f.Style, f.Charset, f.Pitch}; }
  friend bool operator==(const FontKey&, const FontKey&) = default;
};

// The largest height (either sign) a font can be realised at: every metric must stay a
// 32-bit pixel count. Realize raises ERangeError beyond it.
inline constexpr int32_t kMaxFontHeight = 1 << 24;

enum class FontFamily : uint8_t { DontCare, Roman, Swiss, Modern, Script, Decorative };

// Text metrics of a realised font, in pixels (TEXTMETRIC's meaning).
struct TextMetrics {
  int32_t Height = 0;  // ascent + descent
  int32_t Ascent = 0;
  int32_t Descent = 0;  // positive, below the baseline
  int32_t InternalLeading = 0;
  int32_t ExternalLeading = 0;
  int32_t AveCharWidth = 0;
  int32_t MaxCharWidth = 0;
  int32_t Weight = 400;  // 400 regular, 700 bold
  bool Italic = false;
  bool FixedPitch = false;
  bool TrueType = false;  // an outline font with TrueType (glyf) data behind it
  bool Vector = false;    // an outline (scalable) font
  bool Device = false;
  FontFamily Family = FontFamily::DontCare;
  uint8_t Charset = ANSI_CHARSET;
  char16_t FirstChar = 32;
  char16_t LastChar = 255;

  // The GDI tmPitchAndFamily byte: bit 0 set means VARIABLE pitch (the GDI quirk),
  // 2 vector, 4 TrueType, 8 device; the family in the high nibble (0x10 roman ... 0x50).
  uint8_t PitchAndFamily() const;
};

// Outline metrics of a TrueType face, in pixels at the realised height.
struct OutlineMetrics {
  int32_t ItalicAngle = 0;  // tenths of a degree, counter-clockwise from vertical
  int32_t StrikeoutSize = 0;
  int32_t StrikeoutPosition = 0;  // above the baseline
  int32_t UnderscoreSize = 0;
  int32_t UnderscorePosition = 0;  // negative: below the baseline
};

struct TextExtent {
  int32_t Width = 0;
  int32_t Height = 0;
};

// A font realised at one height. Obtained from Realize(); owned by the cache, valid for
// the whole run.
class Font {
 public:
  virtual ~Font() = default;
  // The face as installed (its installed spelling), or the standard font that stands in.
  virtual const std::string& FaceName() const = 0;
  virtual const TextMetrics& Metrics() const = 0;
  // Null unless the face is an installed TrueType face.
  virtual const OutlineMetrics* Outline() const = 0;
  // Advance of one UTF-16 unit in pixels at this height, rounded to an integer.
  virtual int32_t CharAdvance(char16_t c) const = 0;
  // Width (sum of advances) and height (Metrics().Height) of a string.
  virtual TextExtent Extent(std::u16string_view text) const = 0;
  // Glyph number through the face's cmap; 0 when the face has none for c.
  virtual uint16_t GlyphIndex(char32_t c) const = 0;
  // Advance of a glyph in font units and the face's units per em (TrueType faces only).
  virtual int32_t GlyphAdvanceUnits(uint16_t glyph) const = 0;
  virtual int32_t UnitsPerEm() const = 0;
  // The bytes of the font file when the face is one TrueType (glyf) font file; else null.
  virtual const std::vector<uint8_t>* TrueTypeData() const = 0;
};

// Built-in metrics of one of the 14 standard PDF fonts, in 1/1000 of the em. They measure
// every face that is not installed (generated from metric-compatible AFM files).
struct StdFontMetrics {
  const char* Name;     // "Helvetica-Bold"
  int16_t Widths[224];  // codes 32..255: WinAnsi order; Symbol, ZapfDingbats own codes
  int16_t Ascender;     // typographic: the top of "d"
  int16_t Descender;    // the bottom of "p", negative
  int16_t WinAscent;    // highest glyph of codes 32..255
  int16_t WinDescent;   // lowest glyph of codes 32..255, positive below the baseline
  int16_t BBox[4];      // left, bottom, right, top
  int16_t CapHeight;
  int16_t ItalicAngle;        // tenths of a degree, counter-clockwise from vertical
  int16_t UnderlinePosition;  // negative: below the baseline
  int16_t UnderlineThickness;
  int16_t AvgWidth;
  int16_t MaxWidth;
  int16_t Weight;  // 400 or 700
  bool FixedPitch;
  bool Symbolic;  // own encoding instead of WinAnsi
  FontFamily Family;
};

// The 14 standard fonts in the order Times (4), Helvetica (4), Courier (4), Symbol,
// ZapfDingbats; each style in the order regular, bold, italic, bold italic.
std::span<const StdFontMetrics> StandardFonts();

// The standard font a face name is measured as when it is not installed: one of the 14
// names itself (ignoring case; "Times", "Courier" and "Helvetica" and the names of their
// variants take the bold and italic bits of style into account), else Helvetica in the style.
const StdFontMetrics& StandardFontFor(std::string_view face, uint8_t style);

// The realised font for a key; cached per (face, style, height, charset, pitch), so that
// measuring the same text twice never reopens a font file.
const Font& Realize(const FontKey& key);

// Whether a face is installed (a fontconfig family name equal to face ignoring case);
// installedName receives the installed spelling.
bool IsInstalled(std::string_view face, std::string* installedName = nullptr);

// The charsets an installed face covers (0 ANSI, 2 SYMBOL, 238, 204, 161, 162, 177, 178,
// 186, 163, 222, 128, 134, 129, 136, 130), derived from coverage of their code pages.
// Empty when the face is not installed.
const std::vector<uint8_t>& FaceCharsets(std::string_view face);

// The ANSI code page of the system: 1252 (Western) everywhere.
constexpr int AnsiCodePage() {
  return 1252;
}

// The Unicode character of a byte in a single-byte Windows code page (874, 1250 to 1258);
// 0 for a byte the code page leaves unassigned or a code page without a table.
char16_t SingleByteCodePageChar(int codePage, uint8_t byte);

// The code page 1252 byte of a character; -1 when code page 1252 has none for it.
int AnsiCode(char16_t c);

// Text to and from code page 1252; characters outside it become '?'.
std::string ToAnsi(std::u16string_view text);
std::u16string FromAnsi(std::string_view text);

}  // namespace pv::fonts
