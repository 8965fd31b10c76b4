#pragma once
// The canvas model shared by the drawing layer, the recording canvas and the document
// items: colours, points, pens, brushes, fonts and the abstract drawing surface.
#include <cstdint>
#include <string>
#include <string_view>

namespace pv {

// 24-bit colour in the layout 0x00BBGGRR: red in the lowest byte.
using TColor = int32_t;
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

// The screen's pixels per inch: there is no screen, 96 keeps output identical everywhere.
constexpr int kScreenPPI = 96;

struct TPoint {
  int32_t X = 0;
  int32_t Y = 0;
  friend bool operator==(const TPoint&, const TPoint&) = default;
};

struct TRect {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Right = 0;
  int32_t Bottom = 0;
  friend bool operator==(const TRect&, const TRect&) = default;
};

enum class TBrushStyle : uint8_t {
  bsSolid,
  bsClear,
  bsHorizontal,
  bsVertical,
  bsFDiagonal,
  bsBDiagonal,
  bsCross,
  bsDiagCross
};

enum class TPenStyle : uint8_t {
  psSolid,
  psDash,
  psDot,
  psDashDot,
  psDashDotDot,
  psClear,
  psInsideFrame,
  psUserStyle,
  psAlternate
};

// End caps and joins of a geometric pen. The classic pen leaves both to the output's
// defaults (pecDefault, pjDefault); a geometric pen names them.
enum class TPenEndCap : uint8_t { pecDefault, pecRound, pecSquare, pecFlat };
enum class TPenJoin : uint8_t { pjDefault, pjRound, pjBevel, pjMiter };

struct TPen {
  TColor Color = clBlack;
  int32_t Width = 1;
  TPenStyle Style = TPenStyle::psSolid;
  TPenEndCap EndCap = TPenEndCap::pecDefault;
  TPenJoin Join = TPenJoin::pjDefault;
  friend bool operator==(const TPen&, const TPen&) = default;
};

struct TBrush {
  TColor Color = clWhite;
  TBrushStyle Style = TBrushStyle::bsSolid;
  friend bool operator==(const TBrush&, const TBrush&) = default;
};

// Font style bits.
enum : uint8_t { fsBold = 1, fsItalic = 2, fsUnderline = 4, fsStrikeOut = 8 };

enum class TFontPitch : uint8_t { fpDefault, fpVariable, fpFixed };

// Character sets as the font and metafile records number them.
enum : uint8_t {
  ANSI_CHARSET = 0,
  DEFAULT_CHARSET = 1,
  SYMBOL_CHARSET = 2,
  MAC_CHARSET = 77,
  SHIFTJIS_CHARSET = 128,
  HANGEUL_CHARSET = 129,
  JOHAB_CHARSET = 130,
  GB2312_CHARSET = 134,
  CHINESEBIG5_CHARSET = 136,
  GREEK_CHARSET = 161,
  TURKISH_CHARSET = 162,
  VIETNAMESE_CHARSET = 163,
  HEBREW_CHARSET = 177,
  ARABIC_CHARSET = 178,
  BALTIC_CHARSET = 186,
  RUSSIAN_CHARSET = 204,
  THAI_CHARSET = 222,
  EASTEUROPE_CHARSET = 238,
  OEM_CHARSET = 255
};

// Windows MulDiv: a * b / c on 64 bits, rounded half away from zero.
int32_t MulDiv(int32_t a, int32_t b, int32_t c);

// A font as a canvas and a document item carry it. Size (points) and Height (pixels,
// negative for the character height) are one quantity, linked through the screen's 96 PPI.
struct TFont {
  std::string Name = "Helvetica";  // UTF-8
  int32_t Height = -11;            // 8 points
  uint8_t Style = 0;
  uint8_t Charset = DEFAULT_CHARSET;
  TFontPitch Pitch = TFontPitch::fpDefault;
  TColor Color = clBlack;

  int32_t Size() const { return -MulDiv(Height, 72, kScreenPPI); }
  void SetSize(int32_t points) { Height = -MulDiv(points, kScreenPPI, 72); }
  bool Bold() const { return Style & fsBold; }
  bool Italic() const { return Style & fsItalic; }
  friend bool operator==(const TFont&, const TFont&) = default;
};

// The drawing surface the drawing layer and the page layout draw on. Like a classic
// canvas its tools are plain members that the caller sets before each drawing call.
class TCanvas {
 public:
  virtual ~TCanvas() = default;

  TPen Pen;
  TBrush Brush;
  TFont Font;

  // Paints left..right-1 x top..bottom-1 with the brush; no outline.
  virtual void FillRect(const TRect& r) = 0;
  virtual void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) = 0;
  // Counterclockwise on the page from the radial through (x3, y3) to that through (x4, y4).
  virtual void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3,
                   int32_t x4, int32_t y4) = 0;
  virtual void MoveTo(int32_t x, int32_t y) = 0;
  virtual void LineTo(int32_t x, int32_t y) = 0;
  virtual void Polygon(const TPoint* points, uint32_t count) = 0;
  virtual void TextOut(int32_t x, int32_t y, std::u16string_view text) = 0;
};

}  // namespace pv
