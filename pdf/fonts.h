#pragma once
// The fonts of a PDF document: one TgtPDFFont per distinct face, charset and style used,
// with the metrics its font dictionary and descriptor are written from.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics.h"

namespace pv {

enum TgtFontKind : int32_t { fkTrueType = 0, fkDeviceVector = 1, fkSubstituted = 2 };

struct TgtPDFFontInfo {
  int32_t ObjectNumber = 0;
  std::array<int32_t, 224> Widths;  // codes 32..255, in 1/1000 of the font size
  int32_t Flags = 0;
  int32_t FontBBox[4] = {-250, -200, 1000, 900};  // left, top, right, bottom
  int32_t Ascent = 800;
  int32_t Descent = -200;
  int32_t CapHeight = 700;
  int32_t AvgWidth = 576;
  int32_t MaxWidth = 576;
  int32_t StemV = 0;
  int32_t ItalicAngle = 0;
  double StrikeoutThickness = 0;  // points at the item's size
  double StrikeoutPosition = 0;
  double UnderlineThickness = 0;
  double UnderlinePosition = -1;
  int32_t FontKind = fkSubstituted;
  bool FixedPitch = false;

  TgtPDFFontInfo() { Widths.fill(600); }
};

// The single-byte encodings a simple font's text bytes and widths are written in.
enum class TgtSimpleEncoding : uint8_t { seWinAnsi, seMacRoman };

// The character of a code in an encoding (the PDF's predefined encodings, where MacRoman
// lacks the mathematical signs and the Apple logo of the Macintosh code page and has the
// currency sign at 0xDB); 0 for a code the encoding leaves unassigned.
char16_t EncodingChar(TgtSimpleEncoding encoding, uint8_t code);
// Text as bytes of an encoding; a character it has no code for becomes '?'.
std::string EncodeText(TgtSimpleEncoding encoding, std::u16string_view text);
// "WinAnsiEncoding", "MacRomanEncoding".
const char* EncodingName(TgtSimpleEncoding encoding);

class TgtPDFFont {
 public:
  // Measures the font (a copy at size 1000) by the writer's rules. checkCharset: the
  // TrueType kind also needs the face to cover the font's charset. The widths of codes
  // 32..255 follow the encoding.
  TgtPDFFont(const TFont& font, int32_t objectNumber, bool subset, bool checkCharset = true,
             TgtSimpleEncoding encoding = TgtSimpleEncoding::seWinAnsi);

  TFont Font;  // private copy (face, size, style, charset, pitch, colour)
  TgtPDFFontInfo Info;
  bool Subset = false;
  TgtSimpleEncoding Encoding = TgtSimpleEncoding::seWinAnsi;

  // Composite and subset fonts: the characters used and their glyphs, in first-use order.
  std::vector<char32_t> UsedChars;
  std::vector<uint16_t> UsedGlyphs;
  std::vector<int32_t> UsedWidths;  // glyph widths in 1/1000 em

  // The glyph code of a character, recording it as used; 0 when the face has no glyph.
  uint16_t UseChar(char32_t c);

  // True for ANSI, symbol, or the default charset on code page 1252: a simple font.
  bool SimpleCharset() const;
  // The BaseFont name before the PDF-name escape.
  std::string BaseFontName() const;
};

// The charset of the system code page (1252 -> 0).
uint8_t CodePageCharset(int codePage);

// The text of an Identity-H ToUnicode CMap for the used codes: each code's Unicode text
// as bfchar entries over the whole two-byte code space; empty when no code was used.
std::string IdentityHCMap(const std::vector<uint16_t>& codes, const std::vector<char32_t>& chars);

// "/W" runs over the used glyphs from the first on: consecutive entries of equal width and
// consecutive glyph numbers as "first last width ".
std::string WidthRuns(const std::vector<uint16_t>& glyphs, const std::vector<int32_t>& widths);

}  // namespace pv
