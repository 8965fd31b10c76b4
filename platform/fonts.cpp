// Installed faces through fontconfig, their metrics through FreeType, and the built-in
// standard-font metrics for every face that is not installed.
#include "platform/fonts.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_TRUETYPE_TABLES_H
#include FT_TRUETYPE_TAGS_H

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <unordered_map>

#include "platform/checked.h"
#include "platform/text.h"

namespace pv::fonts {

uint8_t TextMetrics::PitchAndFamily() const {
  uint8_t v = FixedPitch ? 0 : 1;
  if (Vector) v |= 2;
  if (TrueType) v |= 4;
  if (Device) v |= 8;
  return static_cast<uint8_t>(v | (static_cast<uint8_t>(Family) << 4));
}

namespace {

// A font file larger than this is not read (no real face comes near it).
constexpr long kMaxFontFile = 1L << 29;
// lfHeight 0 asks for the default size: the canvas default, 8 points.
constexpr int32_t kDefaultHeight = -11;

int32_t RoundPx(double v) {
  if (!(v > -2147483648.0 && v < 2147483647.0)) ThrowRange();
  return static_cast<int32_t>(std::lround(v));
}

// The em in whole pixels for a requested height: negative heights are the em itself;
// positive ones the cell (ascent + descent), converted to the nearest whole em as a
// screen rasteriser does, so that both requests of one em measure alike.
int32_t EmPixels(int32_t height, double cellUnits, double unitsPerEm) {
  if (height == 0) height = kDefaultHeight;
  double h = height;
  if (std::fabs(h) > kMaxFontHeight) ThrowRange();
  if (h < 0) return RoundPx(-h);
  if (!(cellUnits > 0)) cellUnits = unitsPerEm;
  return std::max(1, RoundPx(h * unitsPerEm / cellUnits));
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  bool ok = std::fseek(f, 0, SEEK_END) == 0;
  long size = ok ? std::ftell(f) : -1;
  ok = ok && size > 0 && size <= kMaxFontFile && std::fseek(f, 0, SEEK_SET) == 0;
  if (ok) {
    out.resize(static_cast<size_t>(size));
    ok = std::fread(out.data(), 1, out.size(), f) == out.size();
  }
  std::fclose(f);
  if (!ok) out.clear();
  return ok;
}

// ---------------------------------------------------------------------------------------
// Code page coverage

// The single-byte code pages and their charsets, in the order FaceCharsets reports them.
struct SingleByteCharset {
  uint8_t Charset;
  int CodePage;
};
constexpr SingleByteCharset kSingleByteCharsets[] = {
    {ANSI_CHARSET, 1252},   {EASTEUROPE_CHARSET, 1250}, {RUSSIAN_CHARSET, 1251},
    {GREEK_CHARSET, 1253},  {TURKISH_CHARSET, 1254},    {HEBREW_CHARSET, 1255},
    {ARABIC_CHARSET, 1256}, {BALTIC_CHARSET, 1257},     {VIETNAMESE_CHARSET, 1258},
    {THAI_CHARSET, 874},
};

// The double-byte code pages are far too large to demand every character. A face counts
// as covering one when it has every character of a sample typical of it: the kana for
// Japanese, characters that exist only in the simplified or only in the traditional
// script for the two Chinese code pages, the compatibility jamo and common syllables for
// Unified Hangul, and every precomposed syllable for Johab (which encodes all 11172).
constexpr char16_t kJapaneseKanji[] = u"日本語漢字東京大阪学校会社電話時間年月火水木金土曜円";
constexpr char16_t kSimplified[] = u"这们说国时个为来对发过还没么样着经长门问东车书见语";
constexpr char16_t kTraditional[] = u"這們說國時個為來對發過還沒麼樣著經長門問東車書見語";
constexpr char16_t kHangul[] =
    u"가각간갈감강개거건걸것게겨결고공과관교구국그근글기김나날남내너네년노논누는"
    u"다단달대도동되두들등라람래로를리마만말매모무문미바반발배버법보부분비사산"
    u"상서선설성세소수스시신실아안알야어언여연영오와요우운원위유으은을의이인일"
    u"자작장재저전정제조주중지진차천체초최추치코타통파하학한할함해했행현형화회";

bool HasChar(FT_Face face, uint32_t c) {
  return FT_Get_Char_Index(face, c) != 0;
}

bool CoversSingleByte(FT_Face face, int codePage) {
  for (int b = 0x20; b <= 0xFF; ++b) {
    if (b == 0x7F) continue;
    char16_t c = SingleByteCodePageChar(codePage, static_cast<uint8_t>(b));
    // Unassigned bytes, controls, the no-break space and the soft hyphen are not part of
    // the printable repertoire a face is judged by.
    if (c == 0 || (c >= 0x80 && c <= 0x9F) || c == 0xA0 || c == 0xAD) continue;
    if (!HasChar(face, c)) return false;
  }
  return true;
}

bool CoversAll(FT_Face face, std::u16string_view chars) {
  for (char16_t c : chars)
    if (!HasChar(face, c)) return false;
  return true;
}

bool CoversRange(FT_Face face, uint32_t first, uint32_t last) {
  for (uint32_t c = first; c <= last; ++c)
    if (!HasChar(face, c)) return false;
  return true;
}

bool CoversAscii(FT_Face face) {
  return CoversRange(face, 0x21, 0x7E);
}

std::vector<uint8_t> CoveredCharsets(FT_Face face, bool symbol, bool unicode) {
  std::vector<uint8_t> out;
  if (unicode) {
    for (const SingleByteCharset& s : kSingleByteCharsets) {
      if (s.Charset == ANSI_CHARSET) {
        if (CoversSingleByte(face, s.CodePage)) out.push_back(s.Charset);
        if (symbol) out.push_back(SYMBOL_CHARSET);
      } else if (CoversSingleByte(face, s.CodePage)) {
        out.push_back(s.Charset);
      }
    }
    bool ascii = CoversAscii(face);
    if (ascii && CoversRange(face, 0x3041, 0x3093) && CoversRange(face, 0x30A1, 0x30F6) &&
        CoversAll(face, kJapaneseKanji))
      out.push_back(SHIFTJIS_CHARSET);
    if (ascii && CoversAll(face, kSimplified)) out.push_back(GB2312_CHARSET);
    bool hangul = ascii && CoversRange(face, 0x3131, 0x3163) && CoversAll(face, kHangul);
    if (hangul) out.push_back(HANGEUL_CHARSET);
    if (ascii && CoversAll(face, kTraditional)) out.push_back(CHINESEBIG5_CHARSET);
    if (hangul && CoversRange(face, 0xAC00, 0xD7A3)) out.push_back(JOHAB_CHARSET);
  } else if (symbol) {
    out.push_back(SYMBOL_CHARSET);
  }
  return out;
}

// ---------------------------------------------------------------------------------------
// Faces opened with FreeType

// One face of one font file, opened once from the file's bytes in memory.
struct FaceData {
  std::shared_ptr<std::vector<uint8_t>> Bytes;
  FT_Face Face = nullptr;
  int32_t UnitsPerEm = 1000;
  bool Symbol = false;   // has a (3,0) symbol cmap: a symbol-encoded face
  bool Unicode = false;  // has a Unicode cmap
  bool Glyf = false;     // TrueType outlines
  bool SingleTrueType = false;
  // Vertical metrics in font units.
  int32_t WinAscent = 0, WinDescent = 0;  // descent positive
  int32_t ExtLeading = 0;
  int32_t AvgWidth = 0, MaxAdvance = 0;
  int32_t Weight = 400;
  bool Italic = false, FixedPitch = false;
  FontFamily Family = FontFamily::DontCare;
  char16_t FirstChar = 32, LastChar = 255;
  // Outline metrics in font units.
  int32_t ItalicAngle = 0;  // tenths of a degree
  int32_t StrikeoutSize = 0, StrikeoutPosition = 0;
  int32_t UnderscoreSize = 0, UnderscorePosition = 0;
  // Advances in font units, filled as characters and glyphs are first measured.
  mutable std::vector<int32_t> CharUnits;
  mutable std::vector<int32_t> GlyphUnits;

  ~FaceData() {
    if (Face) FT_Done_Face(Face);
  }

  uint16_t Glyph(char32_t c) const {
    if (c > 0x10FFFF) return 0;
    FT_UInt g = FT_Get_Char_Index(Face, c);
    // Symbol faces map their codes into U+F020..U+F0FF; plain bytes reach them there.
    if (g == 0 && Symbol && c >= 0x20 && c <= 0xFF) g = FT_Get_Char_Index(Face, 0xF000 + c);
    return g <= 0xFFFF ? static_cast<uint16_t>(g) : 0;
  }

  int32_t GlyphAdvance(uint16_t glyph) const {
    if (glyph >= Face->num_glyphs) return 0;
    if (GlyphUnits.empty()) GlyphUnits.assign(static_cast<size_t>(Face->num_glyphs), -1);
    int32_t& slot = GlyphUnits[glyph];
    if (slot < 0) {
      FT_Fixed adv = 0;
      if (FT_Get_Advance(Face, glyph, FT_LOAD_NO_SCALE, &adv) != 0 || adv < 0 ||
          adv > std::numeric_limits<int32_t>::max())
        adv = 0;
      slot = static_cast<int32_t>(adv);
    }
    return slot;
  }

  // A character without a glyph is drawn, and measured, as glyph 0.
  int32_t CharAdvance(char32_t c) const {
    if (c > 0xFFFF) return GlyphAdvance(Glyph(c));
    if (CharUnits.empty()) CharUnits.assign(0x10000, -1);
    int32_t& slot = CharUnits[c];
    if (slot < 0) slot = GlyphAdvance(Glyph(c));
    return slot;
  }
};

FontFamily FamilyOf(const TT_OS2* os2, bool fixed) {
  if (fixed) return FontFamily::Modern;
  if (!os2) return FontFamily::DontCare;
  switch (os2->sFamilyClass >> 8) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 7:
      return FontFamily::Roman;
    case 8:
      return FontFamily::Swiss;
    case 9:
    case 12:
      return FontFamily::Decorative;
    case 10:
      return FontFamily::Script;
    default:
      break;
  }
  // No class given: the PANOSE family kind and serif style decide.
  switch (os2->panose[0]) {
    case 2:
      if (os2->panose[1] >= 11 && os2->panose[1] <= 14) return FontFamily::Swiss;
      if (os2->panose[1] >= 2 && os2->panose[1] <= 10) return FontFamily::Roman;
      return FontFamily::DontCare;
    case 3:
      return FontFamily::Script;
    case 4:
    case 5:
      return FontFamily::Decorative;
    default:
      return FontFamily::DontCare;
  }
}

bool HasTable(FT_Face face, FT_ULong tag) {
  FT_ULong length = 0;
  return FT_Load_Sfnt_Table(face, tag, 0, nullptr, &length) == 0 && length > 0;
}

// Reads the tables a screen rasteriser takes its metrics from; false when the face cannot
// be measured.
bool LoadFaceMetrics(FaceData& fd, long faceIndex) {
  FT_Face face = fd.Face;
  if (!FT_IS_SCALABLE(face) || face->units_per_EM < 16) return false;
  fd.UnitsPerEm = face->units_per_EM;

  for (int i = 0; i < face->num_charmaps; ++i) {
    FT_Encoding enc = face->charmaps[i]->encoding;
    if (enc == FT_ENCODING_UNICODE) fd.Unicode = true;
    if (enc == FT_ENCODING_MS_SYMBOL) fd.Symbol = true;
  }
  // FreeType picks a Unicode cmap when there is one; a symbol face reads its own.
  if (fd.Symbol && !fd.Unicode) FT_Select_Charmap(face, FT_ENCODING_MS_SYMBOL);
  if (!fd.Unicode) fd.Symbol = face->charmap && face->charmap->encoding == FT_ENCODING_MS_SYMBOL;

  auto* os2 = static_cast<const TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
  auto* hhea = static_cast<const TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
  auto* post = static_cast<const TT_Postscript*>(FT_Get_Sfnt_Table(face, FT_SFNT_POST));
  if (os2 && os2->version == 0xFFFF) os2 = nullptr;  // FreeType's marker for "no OS/2"

  if (os2 && os2->usWinAscent + os2->usWinDescent > 0) {
    fd.WinAscent = os2->usWinAscent;
    fd.WinDescent = os2->usWinDescent;
  } else if (hhea && hhea->Ascender - hhea->Descender > 0) {
    fd.WinAscent = hhea->Ascender;
    fd.WinDescent = -hhea->Descender;
  } else {
    fd.WinAscent = face->ascender > 0 ? face->ascender : face->bbox.yMax;
    fd.WinDescent = face->descender < 0 ? -face->descender : -face->bbox.yMin;
  }
  if (fd.WinAscent + fd.WinDescent <= 0) {
    fd.WinAscent = fd.UnitsPerEm;
    fd.WinDescent = 0;
  }
  if (hhea) {
    // The line gap that the cell does not already hold.
    int32_t typo = hhea->Ascender - hhea->Descender + hhea->Line_Gap;
    fd.ExtLeading = std::max(0, typo - (fd.WinAscent + fd.WinDescent));
    fd.MaxAdvance = hhea->advance_Width_Max;
  } else {
    fd.MaxAdvance = face->max_advance_width;
  }

  fd.FixedPitch = FT_IS_FIXED_WIDTH(face) || (post && post->isFixedPitch != 0) ||
                  (os2 && os2->panose[0] == 2 && os2->panose[3] == 9);
  fd.Family = FamilyOf(os2, fd.FixedPitch);
  fd.Weight = os2 && os2->usWeightClass >= 1 && os2->usWeightClass <= 1000
                  ? os2->usWeightClass
                  : ((face->style_flags & FT_STYLE_FLAG_BOLD) ? 700 : 400);
  // fsSelection: italic (bit 0) or oblique (bit 9).
  fd.Italic = (face->style_flags & FT_STYLE_FLAG_ITALIC) || (os2 && (os2->fsSelection & 0x201));

  if (os2 && os2->xAvgCharWidth > 0) {
    fd.AvgWidth = os2->xAvgCharWidth;
  } else {
    uint16_t x = fd.Glyph(U'x');
    fd.AvgWidth = x ? fd.GlyphAdvance(x) : fd.UnitsPerEm / 2;
  }

  if (post) {
    fd.ItalicAngle = static_cast<int32_t>(std::lround(post->italicAngle / 65536.0 * 10.0));
    fd.UnderscoreSize = post->underlineThickness;
    fd.UnderscorePosition = post->underlinePosition;
  } else {
    fd.UnderscoreSize = face->underline_thickness;
    fd.UnderscorePosition = face->underline_position;
  }
  if (fd.UnderscoreSize <= 0) fd.UnderscoreSize = std::max(1, fd.UnitsPerEm / 20);
  if (os2 && os2->yStrikeoutSize > 0) {
    fd.StrikeoutSize = os2->yStrikeoutSize;
    fd.StrikeoutPosition = os2->yStrikeoutPosition;
  } else {
    fd.StrikeoutSize = fd.UnderscoreSize;
    fd.StrikeoutPosition = fd.UnitsPerEm / 4;
  }

  // First and last character of the basic plane the cmap maps.
  FT_UInt g = 0;
  FT_ULong first = FT_Get_First_Char(face, &g);
  if (g != 0) {
    FT_ULong last = first;
    for (FT_ULong c = first; g != 0 && c <= 0xFFFF; c = FT_Get_Next_Char(face, c, &g)) last = c;
    if (fd.Symbol && first >= 0xF000 && first <= 0xF0FF) first -= 0xF000;
    if (fd.Symbol && last >= 0xF000 && last <= 0xF0FF) last -= 0xF000;
    fd.FirstChar = static_cast<char16_t>(std::min<FT_ULong>(first, 0xFFFF));
    fd.LastChar = static_cast<char16_t>(std::min<FT_ULong>(last, 0xFFFF));
  }

  fd.Glyf = FT_IS_SFNT(face) && HasTable(face, TTAG_glyf);
  const std::vector<uint8_t>& b = *fd.Bytes;
  bool collection = b.size() >= 4 && std::memcmp(b.data(), "ttcf", 4) == 0;
  fd.SingleTrueType = fd.Glyf && !collection && faceIndex == 0 && !HasTable(face, TTAG_CFF);
  return true;
}

// ---------------------------------------------------------------------------------------
// Realised fonts

class StdFont final : public Font {
 public:
  StdFont(const StdFontMetrics& m, const FontKey& key) : m_(m), name_(m.Name) {
    em_ = EmPixels(key.Height, m.WinAscent + m.WinDescent, 1000.0);
    for (int i = 0; i < 224; ++i) px_[i] = Px(m.Widths[i]);
    tm_.Ascent = Px(m.WinAscent);
    tm_.Descent = Px(m.WinDescent);
    tm_.Height = CheckedAdd(tm_.Ascent, tm_.Descent);
    tm_.InternalLeading = std::max(0, tm_.Height - em_);
    tm_.ExternalLeading = 0;
    tm_.AveCharWidth = Px(m.AvgWidth);
    tm_.MaxCharWidth = Px(m.MaxWidth);
    tm_.Weight = (key.Style & fsBold) ? std::max<int32_t>(700, m.Weight) : m.Weight;
    tm_.Italic = m.ItalicAngle != 0 || (key.Style & fsItalic);
    tm_.FixedPitch = m.FixedPitch;
    tm_.TrueType = false;
    tm_.Vector = true;
    tm_.Device = false;
    tm_.Family = m.Family;
    tm_.Charset = m.Symbolic ? SYMBOL_CHARSET : ANSI_CHARSET;
    tm_.FirstChar = 32;
    tm_.LastChar = 255;
  }

  const std::string& FaceName() const override { return name_; }
  const TextMetrics& Metrics() const override { return tm_; }
  const OutlineMetrics* Outline() const override { return nullptr; }
  int32_t CharAdvance(char16_t c) const override { return c < 32 ? 0 : px_[Code(c) - 32]; }
  TextExtent Extent(std::u16string_view text) const override {
    int32_t w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      // A surrogate pair is one character, outside every code this font has.
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF)
        ++i;
      w = CheckedAdd(w, CharAdvance(c));
    }
    return {w, tm_.Height};
  }
  uint16_t GlyphIndex(char32_t) const override { return 0; }
  int32_t GlyphAdvanceUnits(uint16_t) const override { return 0; }
  int32_t UnitsPerEm() const override { return 1000; }
  const std::vector<uint8_t>* TrueTypeData() const override { return nullptr; }

 private:
  int32_t Px(int32_t units) const { return RoundPx(units * static_cast<double>(em_) / 1000.0); }

  // The code 32..255 a character (not a control: those take no room) is measured as; a
  // character the font's encoding lacks is shown, and measured, as '?'.
  int Code(char16_t c) const {
    if (m_.Symbolic) {
      if (c <= 0xFF) return c;
      if (c >= 0xF020 && c <= 0xF0FF) return c - 0xF000;
      return '?';
    }
    int code = AnsiCode(c);
    return code >= 32 ? code : '?';
  }

  const StdFontMetrics& m_;
  std::string name_;
  int32_t em_ = 0;
  std::array<int32_t, 224> px_{};
  TextMetrics tm_;
};

class FaceFont final : public Font {
 public:
  FaceFont(std::string name, const FaceData& fd, const FontKey& key, uint8_t charset)
      : name_(std::move(name)), fd_(fd) {
    em_ = EmPixels(key.Height, fd.WinAscent + fd.WinDescent, fd.UnitsPerEm);
    scale_ = static_cast<double>(em_) / fd.UnitsPerEm;
    tm_.Ascent = Px(fd.WinAscent);
    tm_.Descent = Px(fd.WinDescent);
    tm_.Height = CheckedAdd(tm_.Ascent, tm_.Descent);
    tm_.InternalLeading = std::max(0, tm_.Height - em_);
    tm_.ExternalLeading = Px(fd.ExtLeading);
    tm_.AveCharWidth = Px(fd.AvgWidth);
    tm_.MaxCharWidth = Px(fd.MaxAdvance);
    // A style the face lacks is simulated, and reported as requested.
    tm_.Weight = (key.Style & fsBold) && fd.Weight < 600 ? 700 : fd.Weight;
    tm_.Italic = fd.Italic || (key.Style & fsItalic);
    tm_.FixedPitch = fd.FixedPitch;
    tm_.TrueType = fd.Glyf;
    tm_.Vector = true;
    tm_.Device = false;
    tm_.Family = fd.Family;
    tm_.Charset = charset;
    tm_.FirstChar = fd.FirstChar;
    tm_.LastChar = fd.LastChar;
    if (fd.Glyf) {
      om_.ItalicAngle = fd.ItalicAngle;
      // A line is at least one pixel thick, however small the font.
      om_.StrikeoutSize = std::max(1, Px(fd.StrikeoutSize));
      om_.StrikeoutPosition = Px(fd.StrikeoutPosition);
      om_.UnderscoreSize = std::max(1, Px(fd.UnderscoreSize));
      om_.UnderscorePosition = Px(fd.UnderscorePosition);
    }
    low_.fill(-1);
  }

  const std::string& FaceName() const override { return name_; }
  const TextMetrics& Metrics() const override { return tm_; }
  const OutlineMetrics* Outline() const override { return fd_.Glyf ? &om_ : nullptr; }

  int32_t CharAdvance(char16_t c) const override {
    if (c < low_.size()) {
      int32_t& slot = low_[c];
      if (slot < 0) slot = Px(fd_.CharAdvance(c));
      return slot;
    }
    return Px(fd_.CharAdvance(c));
  }

  TextExtent Extent(std::u16string_view text) const override {
    int32_t w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
      char16_t c = text[i];
      int32_t adv;
      if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
          text[i + 1] <= 0xDFFF) {
        char32_t cp = 0x10000 + ((char32_t(c) - 0xD800) << 10) + (text[i + 1] - 0xDC00);
        adv = Px(fd_.CharAdvance(cp));
        ++i;
      } else {
        adv = CharAdvance(c);
      }
      w = CheckedAdd(w, adv);
    }
    return {w, tm_.Height};
  }

  uint16_t GlyphIndex(char32_t c) const override { return fd_.Glyph(c); }
  int32_t GlyphAdvanceUnits(uint16_t glyph) const override { return fd_.GlyphAdvance(glyph); }
  int32_t UnitsPerEm() const override { return fd_.UnitsPerEm; }
  const std::vector<uint8_t>* TrueTypeData() const override {
    return fd_.SingleTrueType ? fd_.Bytes.get() : nullptr;
  }

 private:
  int32_t Px(int32_t units) const { return RoundPx(units * scale_); }

  std::string name_;
  const FaceData& fd_;
  int32_t em_ = 0;
  double scale_ = 0;
  TextMetrics tm_;
  OutlineMetrics om_;
  mutable std::array<int32_t, 256> low_;
};

// ---------------------------------------------------------------------------------------
// The registry: fontconfig's catalogue, open faces and realised fonts, kept for the run.

struct FaceEntry {
  std::string File;
  int Index = 0;
  int Weight = FC_WEIGHT_REGULAR;
  int Slant = FC_SLANT_ROMAN;
  int Width = FC_WIDTH_NORMAL;
  int Format = 2;  // 0 TrueType, 1 CFF, 2 other: the preference among equal styles
};

struct FamilyRecord {
  std::string Name;  // installed spelling
  std::vector<FaceEntry> Faces;
  bool CharsetsDone = false;
  std::vector<uint8_t> Charsets;
};

struct FontKeyHash {
  size_t operator()(const FontKey& k) const {
    size_t h = std::hash<std::string>()(k.Face);
    h ^= std::hash<int64_t>()((int64_t(k.Height) << 24) ^ (int64_t(k.Style) << 16) ^
                              (int64_t(k.Charset) << 8) ^ int64_t(k.Pitch)) +
         0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
    return h;
  }
};

int NumberOf(FcPattern* p, const char* object, int fallback) {
  int i = 0;
  if (FcPatternGetInteger(p, object, 0, &i) == FcResultMatch) return i;
  double d = 0;
  if (FcPatternGetDouble(p, object, 0, &d) == FcResultMatch) return static_cast<int>(d);
  return fallback;
}

class Registry {
 public:
  ~Registry() {
    fonts_.clear();
    faces_.clear();
    if (library_) FT_Done_FreeType(library_);
  }

  FamilyRecord* FindFamily(std::string_view face) {
    LoadCatalog();
    auto it = families_.find(LowerAscii(face));
    return it == families_.end() ? nullptr : &it->second;
  }

  const Font& Realize(const FontKey& key) {
    auto it = fonts_.find(key);
    if (it != fonts_.end()) return *it->second;
    std::unique_ptr<Font> font;
    if (FamilyRecord* fam = FindFamily(key.Face)) {
      const FaceEntry& e = PickFace(*fam, key.Style);
      if (const FaceData* fd = OpenFace(e)) {
        font = std::make_unique<FaceFont>(fam->Name, *fd, key, RealisedCharset(*fam, *fd, key));
      }
    }
    if (!font) font = std::make_unique<StdFont>(StandardFontFor(key.Face, key.Style), key);
    return *fonts_.emplace(key, std::move(font)).first->second;
  }

  const std::vector<uint8_t>& Charsets(FamilyRecord& fam) {
    if (!fam.CharsetsDone) {
      fam.CharsetsDone = true;
      if (const FaceData* fd = OpenFace(PickFace(fam, 0)))
        fam.Charsets = CoveredCharsets(fd->Face, fd->Symbol, fd->Unicode);
    }
    return fam.Charsets;
  }

 private:
  void LoadCatalog() {
    if (catalogLoaded_) return;
    catalogLoaded_ = true;
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return;
    FcPattern* pattern = FcPatternCreate();
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcObjectSet* objects =
        FcObjectSetBuild(FC_FAMILY, FC_FILE, FC_INDEX, FC_WEIGHT, FC_SLANT, FC_WIDTH, FC_FONTFORMAT,
                         FC_VARIABLE, static_cast<char*>(nullptr));
    FcFontSet* set = (pattern && objects) ? FcFontList(config, pattern, objects) : nullptr;
    for (int i = 0; set && i < set->nfont; ++i) {
      FcPattern* p = set->fonts[i];
      FcBool variable = FcFalse;
      // A variable font is listed once as a whole and once per named instance: the
      // instances are the faces.
      if (FcPatternGetBool(p, FC_VARIABLE, 0, &variable) == FcResultMatch && variable) continue;
      FcChar8* file = nullptr;
      if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch || !file) continue;
      FaceEntry e;
      e.File = reinterpret_cast<const char*>(file);
      e.Index = NumberOf(p, FC_INDEX, 0);
      e.Weight = NumberOf(p, FC_WEIGHT, FC_WEIGHT_REGULAR);
      e.Slant = NumberOf(p, FC_SLANT, FC_SLANT_ROMAN);
      e.Width = NumberOf(p, FC_WIDTH, FC_WIDTH_NORMAL);
      FcChar8* format = nullptr;
      if (FcPatternGetString(p, FC_FONTFORMAT, 0, &format) == FcResultMatch && format) {
        std::string_view f = reinterpret_cast<const char*>(format);
        e.Format = f == "TrueType" ? 0 : f == "CFF" ? 1 : 2;
      }
      FcChar8* family = nullptr;
      for (int n = 0; FcPatternGetString(p, FC_FAMILY, n, &family) == FcResultMatch; ++n) {
        std::string name = reinterpret_cast<const char*>(family);
        FamilyRecord& rec = families_[LowerAscii(name)];
        // Of several spellings the smallest wins, whatever order fontconfig lists in.
        if (rec.Name.empty() || name < rec.Name) rec.Name = name;
        rec.Faces.push_back(e);
      }
    }
    for (auto& [key, rec] : families_) {
      std::sort(rec.Faces.begin(), rec.Faces.end(), [](const FaceEntry& a, const FaceEntry& b) {
        return a.File != b.File ? a.File < b.File : a.Index < b.Index;
      });
    }
    if (set) FcFontSetDestroy(set);
    if (objects) FcObjectSetDestroy(objects);
    if (pattern) FcPatternDestroy(pattern);
    FcConfigDestroy(config);
  }

  // The face of a family closest to the style: normal width first, then the slant, then
  // the weight, then the outline format.
  static const FaceEntry& PickFace(const FamilyRecord& fam, uint8_t style) {
    int weight = (style & fsBold) ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
    bool italic = style & fsItalic;
    const FaceEntry* best = &fam.Faces.front();
    long bestScore = std::numeric_limits<long>::max();
    for (const FaceEntry& e : fam.Faces) {
      long score = std::labs(long(e.Width) - FC_WIDTH_NORMAL) * 100000L +
                   (((e.Slant != FC_SLANT_ROMAN) != italic) ? 10000L : 0L) +
                   std::labs(long(e.Weight) - weight) * 10L + e.Format;
      if (score < bestScore) {
        bestScore = score;
        best = &e;
      }
    }
    return *best;
  }

  FT_Library Library() {
    if (!library_ && !libraryFailed_) {
      if (FT_Init_FreeType(&library_) != 0) {
        library_ = nullptr;
        libraryFailed_ = true;
      }
    }
    return library_;
  }

  // The face of a catalogue entry, opened once; null when it cannot be read or measured.
  const FaceData* OpenFace(const FaceEntry& e) {
    std::string key = e.File + '\n' + std::to_string(e.Index);
    auto it = faces_.find(key);
    if (it != faces_.end()) return it->second.get();
    std::unique_ptr<FaceData> fd;
    if (FT_Library lib = Library()) {
      std::shared_ptr<std::vector<uint8_t>>& bytes = files_[e.File];
      if (!bytes) {
        bytes = std::make_shared<std::vector<uint8_t>>();
        ReadWholeFile(e.File, *bytes);
      }
      if (!bytes->empty()) {
        fd = std::make_unique<FaceData>();
        fd->Bytes = bytes;
        if (FT_New_Memory_Face(lib, bytes->data(), static_cast<FT_Long>(bytes->size()), e.Index,
                               &fd->Face) != 0) {
          fd->Face = nullptr;
          fd.reset();
        } else if (!LoadFaceMetrics(*fd, e.Index)) {
          fd.reset();
        }
      }
    }
    return faces_.emplace(std::move(key), std::move(fd)).first->second.get();
  }

  // The charset a screen would realise: a symbol face is symbol; otherwise the requested
  // one when the face covers it (the default charset standing for the ANSI code page's),
  // else the face's first.
  uint8_t RealisedCharset(FamilyRecord& fam, const FaceData& fd, const FontKey& key) {
    if (fd.Symbol) return SYMBOL_CHARSET;
    const std::vector<uint8_t>& cs = Charsets(fam);
    uint8_t want = key.Charset == DEFAULT_CHARSET ? uint8_t(ANSI_CHARSET) : key.Charset;
    if (std::find(cs.begin(), cs.end(), want) != cs.end()) return want;
    if (std::find(cs.begin(), cs.end(), ANSI_CHARSET) != cs.end() || cs.empty())
      return ANSI_CHARSET;
    return cs.front();
  }

  bool catalogLoaded_ = false;
  std::unordered_map<std::string, FamilyRecord> families_;
  FT_Library library_ = nullptr;
  bool libraryFailed_ = false;
  std::unordered_map<std::string, std::shared_ptr<std::vector<uint8_t>>> files_;
  std::unordered_map<std::string, std::unique_ptr<FaceData>> faces_;
  std::unordered_map<FontKey, std::unique_ptr<Font>, FontKeyHash> fonts_;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

const StdFontMetrics& StandardFontFor(std::string_view face, uint8_t style) {
  // Positions in StandardFonts(): each of the three families in the order regular, bold,
  // italic, bold italic, which is base + fsBold + fsItalic.
  constexpr int kTimes = 0, kHelvetica = 4, kCourier = 8, kSymbol = 12, kZapf = 13;
  std::span<const StdFontMetrics> all = StandardFonts();
  int variant = style & (fsBold | fsItalic);
  std::string name = LowerAscii(face);
  int base = kHelvetica;
  if (name == "symbol") return all[kSymbol];
  if (name == "zapfdingbats") return all[kZapf];
  if (name == "times") {
    base = kTimes;
  } else if (name == "helvetica") {
    base = kHelvetica;
  } else if (name == "courier") {
    base = kCourier;
  } else {
    for (int i = 0; i < kSymbol; ++i) {
      if (EqualsIgnoreCase(face, all[i].Name)) {
        base = i - i % 4;
        variant |= i % 4;
        break;
      }
    }
  }
  return all[base + variant];
}

const Font& Realize(const FontKey& key) {
  return TheRegistry().Realize(key);
}

bool IsInstalled(std::string_view face, std::string* installedName) {
  FamilyRecord* fam = TheRegistry().FindFamily(face);
  if (fam && installedName) *installedName = fam->Name;
  return fam != nullptr;
}

const std::vector<uint8_t>& FaceCharsets(std::string_view face) {
  static const std::vector<uint8_t> kNone;
  Registry& reg = TheRegistry();
  FamilyRecord* fam = reg.FindFamily(face);
  return fam ? reg.Charsets(*fam) : kNone;
}

}  // namespace pv::fonts
