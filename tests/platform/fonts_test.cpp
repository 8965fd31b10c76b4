#include "platform/fonts.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <string>

#include "platform/errors.h"

namespace pv::fonts {
namespace {

const Font& At(const char* face, int32_t height, uint8_t style = 0) {
  return Realize(FontKey{face, height, style});
}

TEST(StandardFonts, WidthsAtAThousandPixelEm) {
  const Font& helv = At("Helvetica", -1000);
  EXPECT_EQ(helv.FaceName(), "Helvetica");
  EXPECT_EQ(helv.CharAdvance(u'A'), 667);
  EXPECT_EQ(helv.CharAdvance(u' '), 278);
  EXPECT_EQ(helv.CharAdvance(u'i'), 222);
  EXPECT_EQ(helv.CharAdvance(u'W'), 944);
  EXPECT_EQ(helv.CharAdvance(u'\u20AC'), 556);  // euro, WinAnsi 0x80
  EXPECT_EQ(helv.CharAdvance(u'\u00E9'), 556);  // e acute

  const Font& bold = At("Helvetica", -1000, fsBold);
  EXPECT_EQ(bold.FaceName(), "Helvetica-Bold");
  EXPECT_EQ(bold.CharAdvance(u'A'), 722);
  EXPECT_EQ(bold.CharAdvance(u'i'), 278);
  EXPECT_EQ(bold.Metrics().Weight, 700);
  EXPECT_EQ(helv.Metrics().Weight, 400);

  for (uint8_t style = 0; style < 4; ++style) {
    const Font& courier = At("Courier", -1000, style);
    for (char16_t c = 32; c < 127; ++c) ASSERT_EQ(courier.CharAdvance(c), 600) << int(c);
    EXPECT_EQ(courier.CharAdvance(u'\u00FC'), 600);
    EXPECT_TRUE(courier.Metrics().FixedPitch);
    EXPECT_EQ(courier.Metrics().Family, FontFamily::Modern);
    EXPECT_EQ(courier.Metrics().PitchAndFamily() & 1, 0);  // bit 0 clear: fixed pitch
  }
  EXPECT_EQ(At("Times-Roman", -1000).CharAdvance(u'A'), 722);
  EXPECT_EQ(At("Times-Roman", -1000).Metrics().Family, FontFamily::Roman);

  // Standard fonts have no TrueType data behind them.
  const TextMetrics& m = helv.Metrics();
  EXPECT_FALSE(m.TrueType);
  EXPECT_TRUE(m.Vector);
  EXPECT_FALSE(m.FixedPitch);
  EXPECT_EQ(m.PitchAndFamily(), 0x23);  // variable, vector, swiss
  EXPECT_EQ(helv.Outline(), nullptr);
  EXPECT_EQ(helv.TrueTypeData(), nullptr);
  EXPECT_EQ(helv.GlyphIndex(U'A'), 0);
  EXPECT_EQ(m.Height, m.Ascent + m.Descent);
  EXPECT_GT(m.Height, 1000);
  EXPECT_EQ(m.InternalLeading, m.Height - 1000);
  EXPECT_EQ(m.FirstChar, 32);
  EXPECT_EQ(m.LastChar, 255);
}

TEST(StandardFonts, SymbolFontsUseTheirOwnCodes) {
  const Font& symbol = At("Symbol", -1000);
  EXPECT_EQ(symbol.FaceName(), "Symbol");
  EXPECT_EQ(symbol.CharAdvance(u'a'), 631);       // alpha
  EXPECT_EQ(symbol.CharAdvance(u'\uF061'), 631);  // the same code in the symbol area
  EXPECT_EQ(symbol.Metrics().Charset, SYMBOL_CHARSET);
  const Font& dingbats = At("ZapfDingbats", -1000);
  EXPECT_EQ(dingbats.CharAdvance(u'!'), 974);  // a1
  EXPECT_EQ(At("Helvetica", -1000).Metrics().Charset, ANSI_CHARSET);
}

TEST(StandardFonts, FaceNamesAndStylesChooseTheVariant) {
  EXPECT_STREQ(StandardFontFor("Times", fsBold).Name, "Times-Bold");
  EXPECT_STREQ(StandardFontFor("times-roman", fsItalic).Name, "Times-Italic");
  EXPECT_STREQ(StandardFontFor("Times-Bold", fsItalic).Name, "Times-BoldItalic");
  EXPECT_STREQ(StandardFontFor("Helvetica", fsBold | fsItalic).Name, "Helvetica-BoldOblique");
  EXPECT_STREQ(StandardFontFor("Courier-Oblique", fsBold).Name, "Courier-BoldOblique");
  EXPECT_STREQ(StandardFontFor("COURIER", 0).Name, "Courier");
  EXPECT_STREQ(StandardFontFor("Symbol", fsBold).Name, "Symbol");
  EXPECT_STREQ(StandardFontFor("ZapfDingbats", fsItalic).Name, "ZapfDingbats");
  // Well-known face names are not special: not installed means Helvetica.
  EXPECT_STREQ(StandardFontFor("Times New Roman", 0).Name, "Helvetica");
  EXPECT_STREQ(StandardFontFor("Courier New", fsBold).Name, "Helvetica-Bold");
  EXPECT_STREQ(StandardFontFor("Arial", fsItalic).Name, "Helvetica-Oblique");
  EXPECT_STREQ(StandardFontFor("", 0).Name, "Helvetica");

  ASSERT_EQ(StandardFonts().size(), 14u);
  EXPECT_STREQ(StandardFonts()[13].Name, "ZapfDingbats");
  EXPECT_EQ(StandardFontFor("Helvetica", 0).ItalicAngle, 0);
  EXPECT_EQ(StandardFontFor("Helvetica", fsItalic).ItalicAngle, -120);
  EXPECT_LT(StandardFontFor("Helvetica", 0).UnderlinePosition, 0);
  EXPECT_GT(StandardFontFor("Helvetica", 0).CapHeight, 600);
}

TEST(StandardFonts, MissingFaceIsMeasuredAsHelvetica) {
  const char* face = "Plotvane No Such Face";
  EXPECT_FALSE(IsInstalled(face));
  EXPECT_TRUE(FaceCharsets(face).empty());
  const Font& f = At(face, -1000);
  EXPECT_EQ(f.FaceName(), "Helvetica");
  EXPECT_EQ(f.CharAdvance(u'A'), 667);
  EXPECT_EQ(f.Metrics().Height, At("Helvetica", -1000).Metrics().Height);
  EXPECT_EQ(f.Metrics().Family, FontFamily::Swiss);
  const Font& bi = At(face, -1000, fsBold | fsItalic);
  EXPECT_EQ(bi.FaceName(), "Helvetica-BoldOblique");
  EXPECT_EQ(bi.CharAdvance(u'A'), 722);
  EXPECT_TRUE(bi.Metrics().Italic);
}

TEST(StandardFonts, HeightsAndExtents) {
  // 8 points on a 96-per-inch screen: an 11-pixel em.
  const Font& small = At("Helvetica", -11);
  EXPECT_EQ(small.CharAdvance(u'A'), 7);   // 667 * 11 / 1000 = 7.3
  EXPECT_EQ(small.CharAdvance(u'W'), 10);  // 10.4
  // Height 0 is the default size, the same 8 points.
  EXPECT_EQ(At("Helvetica", 0).Metrics().Height, small.Metrics().Height);
  // A positive height is the cell: the same font as the em that gives that cell.
  const Font& em = At("Helvetica", -1000);
  const Font& cell = At("Helvetica", em.Metrics().Height);
  EXPECT_EQ(cell.Metrics().Height, em.Metrics().Height);
  EXPECT_EQ(cell.CharAdvance(u'A'), 667);

  TextExtent e = em.Extent(u"AVA");
  EXPECT_EQ(e.Width, 667 + 667 + 667);
  EXPECT_EQ(e.Height, em.Metrics().Height);
  TextExtent empty = em.Extent(u"");
  EXPECT_EQ(empty.Width, 0);
  EXPECT_EQ(empty.Height, em.Metrics().Height);
  // Outside the code page a character is shown, and measured, as '?'; a surrogate pair is
  // one such character; controls take no room.
  EXPECT_EQ(em.Extent(u"\u4E2D").Width, em.CharAdvance(u'?'));
  EXPECT_EQ(em.Extent(u"\U0001F600").Width, em.CharAdvance(u'?'));
  EXPECT_EQ(em.Extent(u"A\r\n").Width, 667);
}

TEST(StandardFonts, RealisedFontsAreCachedPerKey) {
  const Font& a = At("Helvetica", -13);
  const Font& b = At("Helvetica", -13);
  EXPECT_EQ(&a, &b);
  EXPECT_NE(&a, &At("Helvetica", -14));
  EXPECT_NE(&a, &At("Helvetica", -13, fsBold));
  FontKey k = FontKey::From(TFont{});
  EXPECT_EQ(k.Height, -11);
  EXPECT_EQ(&Realize(k), &Realize(FontKey::From(TFont{})));
}

TEST(StandardFonts, OutOfRangeSizesAreRefused) {
  EXPECT_THROW(At("Helvetica", INT_MIN), ERangeError);
  EXPECT_THROW(At("Helvetica", INT_MAX), ERangeError);
  // A huge font measures; a long line of it overflows the 32-bit width.
  const Font& huge = At("Helvetica", -(1 << 24));
  EXPECT_EQ(huge.CharAdvance(u'A'), std::lround(667.0 * (1 << 24) / 1000));
  std::u16string line(200, u'M');
  EXPECT_THROW(huge.Extent(line), EIntOverflow);
}

TEST(InstalledFaces, DejaVuSansIsFoundIgnoringCase) {
  std::string name;
  ASSERT_TRUE(IsInstalled("dejavu sans", &name)) << "fonts-dejavu-core is part of the set-up";
  EXPECT_EQ(name, "DejaVu Sans");
  EXPECT_TRUE(IsInstalled("DEJAVU SANS"));
  EXPECT_FALSE(IsInstalled("dejavu"));      // a prefix is not a family
  EXPECT_FALSE(IsInstalled("sans-serif"));  // an alias is not a family

  const Font& f = At("dejavu sans", -1000);
  EXPECT_EQ(f.FaceName(), "DejaVu Sans");
  const TextMetrics& m = f.Metrics();
  EXPECT_TRUE(m.TrueType);
  EXPECT_TRUE(m.Vector);
  EXPECT_FALSE(m.FixedPitch);
  EXPECT_EQ(m.PitchAndFamily() & 0x0F, 0x07);  // variable, vector, TrueType
  EXPECT_EQ(m.Weight, 400);
  EXPECT_FALSE(m.Italic);
  EXPECT_EQ(m.Charset, ANSI_CHARSET);
  EXPECT_EQ(m.Height, m.Ascent + m.Descent);
  EXPECT_GT(m.Ascent, 700);
  EXPECT_LT(m.Ascent, 1300);
  EXPECT_GT(m.Descent, 100);
  EXPECT_LT(m.Descent, 400);
  EXPECT_EQ(m.InternalLeading, m.Height - 1000);
  EXPECT_GT(m.AveCharWidth, 300);
  EXPECT_GE(m.MaxCharWidth, f.CharAdvance(u'W'));

  ASSERT_NE(f.TrueTypeData(), nullptr);
  const std::vector<uint8_t>& data = *f.TrueTypeData();
  ASSERT_GT(data.size(), 12u);
  EXPECT_EQ(data[0], 0x00);
  EXPECT_EQ(data[1], 0x01);
  EXPECT_EQ(data[2], 0x00);
  EXPECT_EQ(data[3], 0x00);

  uint16_t glyphA = f.GlyphIndex(U'A');
  EXPECT_NE(glyphA, 0);
  EXPECT_NE(f.GlyphIndex(U'B'), glyphA);
  EXPECT_EQ(f.GlyphIndex(U'\U000F0000'), 0);  // private plane: no glyph
  EXPECT_EQ(f.UnitsPerEm(), 2048);
  int32_t units = f.GlyphAdvanceUnits(glyphA);
  EXPECT_GT(units, 0);
  EXPECT_EQ(f.CharAdvance(u'A'), std::lround(units * 1000.0 / 2048));
  EXPECT_EQ(f.Extent(u"AA").Width, 2 * f.CharAdvance(u'A'));
  EXPECT_EQ(f.Extent(u"\u0416").Width, f.CharAdvance(u'\u0416'));  // Cyrillic Zhe
  EXPECT_GT(f.CharAdvance(u'\u0416'), 0);

  const OutlineMetrics* o = f.Outline();
  ASSERT_NE(o, nullptr);
  EXPECT_EQ(o->ItalicAngle, 0);
  EXPECT_GT(o->UnderscoreSize, 0);
  EXPECT_LT(o->UnderscoreSize, 200);
  EXPECT_LT(o->UnderscorePosition, 0);
  EXPECT_GT(o->UnderscorePosition, -m.Descent);
  EXPECT_GT(o->StrikeoutSize, 0);
  EXPECT_GT(o->StrikeoutPosition, 100);
  EXPECT_LT(o->StrikeoutPosition, m.Ascent);
}

TEST(InstalledFaces, StylesPickTheMatchingFile) {
  const Font& regular = At("DejaVu Sans", -1000);
  const Font& bold = At("DejaVu Sans", -1000, fsBold);
  const Font& italic = At("DejaVu Sans", -1000, fsItalic);
  EXPECT_EQ(bold.Metrics().Weight, 700);
  EXPECT_GT(bold.CharAdvance(u'A'), regular.CharAdvance(u'A'));
  ASSERT_NE(bold.TrueTypeData(), nullptr);
  EXPECT_NE(bold.TrueTypeData(), regular.TrueTypeData());
  EXPECT_TRUE(italic.Metrics().Italic);
  ASSERT_NE(italic.Outline(), nullptr);
  EXPECT_LT(italic.Outline()->ItalicAngle, 0);  // leaning forward
  EXPECT_GT(italic.Outline()->ItalicAngle, -300);

  // A small font keeps lines at least a pixel thick; a cell height request gives that cell.
  const Font& small = At("DejaVu Sans", -11);
  ASSERT_NE(small.Outline(), nullptr);
  EXPECT_GE(small.Outline()->UnderscoreSize, 1);
  const Font& cell = At("DejaVu Sans", 100);
  EXPECT_NEAR(cell.Metrics().Height, 100, 1);

  const Font& mono = At("DejaVu Sans Mono", -1000);
  EXPECT_TRUE(mono.Metrics().FixedPitch);
  EXPECT_EQ(mono.Metrics().Family, FontFamily::Modern);
  EXPECT_EQ(mono.CharAdvance(u'i'), mono.CharAdvance(u'W'));
}

TEST(InstalledFaces, CharsetsComeFromCoverage) {
  const std::vector<uint8_t>& cs = FaceCharsets("dejavu sans");
  auto has = [&](uint8_t c) { return std::find(cs.begin(), cs.end(), c) != cs.end(); };
  EXPECT_TRUE(has(ANSI_CHARSET));
  EXPECT_TRUE(has(RUSSIAN_CHARSET));
  EXPECT_TRUE(has(EASTEUROPE_CHARSET));
  EXPECT_TRUE(has(GREEK_CHARSET));
  EXPECT_FALSE(has(SYMBOL_CHARSET));
  EXPECT_FALSE(has(SHIFTJIS_CHARSET));
  EXPECT_FALSE(has(CHINESEBIG5_CHARSET));
  EXPECT_EQ(cs.front(), ANSI_CHARSET);

  // A request in a covered charset keeps it; one the face lacks falls back to ANSI.
  EXPECT_EQ(Realize(FontKey{"DejaVu Sans", -20, 0, RUSSIAN_CHARSET}).Metrics().Charset,
            RUSSIAN_CHARSET);
  EXPECT_EQ(Realize(FontKey{"DejaVu Sans", -20, 0, SHIFTJIS_CHARSET}).Metrics().Charset,
            ANSI_CHARSET);
}

TEST(CodePages, AnsiRoundTripIncludingTheSpecials) {
  std::string all;
  for (int b = 0; b < 256; ++b) all.push_back(static_cast<char>(b));
  std::u16string wide = FromAnsi(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(ToAnsi(wide), all);

  EXPECT_EQ(wide[0x80], u'\u20AC');  // euro sign
  EXPECT_EQ(wide[0x85], u'\u2026');  // ellipsis
  EXPECT_EQ(wide[0x8A], u'\u0160');  // S caron
  EXPECT_EQ(wide[0x92], u'\u2019');  // right single quote
  EXPECT_EQ(wide[0x99], u'\u2122');  // trade mark
  EXPECT_EQ(wide[0x9F], u'\u0178');  // Y diaeresis
  EXPECT_EQ(wide[0x81], u'\u0081');  // unassigned: kept as the C1 control
  EXPECT_EQ(wide[0xE9], u'\u00E9');
  EXPECT_EQ(ToAnsi(u"\u20AC"), "\x80");
  EXPECT_EQ(AnsiCode(u'\u2014'), 0x97);

  // Outside the code page: '?', once per character.
  EXPECT_EQ(ToAnsi(u"A\u0100B"), "A?B");
  EXPECT_EQ(ToAnsi(u"\u0080"), "?");  // 0x80 is the euro, not U+0080
  EXPECT_EQ(ToAnsi(u"x\U0001F600y"), "x?y");
  EXPECT_EQ(ToAnsi(u"\xD800z"), "?z");  // a lone surrogate
  EXPECT_EQ(AnsiCode(u'\u0416'), -1);

  EXPECT_EQ(SingleByteCodePageChar(1251, 0xC0), u'\u0410');
  EXPECT_EQ(SingleByteCodePageChar(1253, 0xE1), u'\u03B1');
  EXPECT_EQ(SingleByteCodePageChar(1252, 0x80), u'\u20AC');
  EXPECT_EQ(SingleByteCodePageChar(1250, 0x41), u'A');
  EXPECT_EQ(SingleByteCodePageChar(1251, 0x98), 0);  // unassigned
  EXPECT_EQ(SingleByteCodePageChar(437, 0xC0), 0);   // no table
}

}  // namespace
}  // namespace pv::fonts
