#include "pdf/ttf_subset.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "pdf/compress.h"
#include "pdf/syntax.h"
#include "support/support.h"

namespace pv {
namespace {

const char* const kDejaVu = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf";

std::vector<uint8_t> LoadFont() {
  const std::string s = pvtest::ReadFile(kDejaVu);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// A small reader of the parts of a font file the checks need, independent of the builder.
struct FontView {
  struct Entry {
    uint32_t checksum, offset, length;
  };
  const std::vector<uint8_t>& d;
  std::vector<std::string> order;  // tags in directory order
  std::map<std::string, Entry> tables;

  explicit FontView(const std::vector<uint8_t>& bytes) : d(bytes) {
    const uint16_t n = U16(4);
    for (uint16_t i = 0; i < n; ++i) {
      const size_t rec = 12 + 16 * size_t{i};
      const std::string tag(reinterpret_cast<const char*>(&d.at(rec)), 4);
      order.push_back(tag);
      tables[tag] = {U32(rec + 4), U32(rec + 8), U32(rec + 12)};
    }
  }
  uint16_t U16(size_t at) const { return static_cast<uint16_t>((d.at(at) << 8) | d.at(at + 1)); }
  uint32_t U32(size_t at) const { return (uint32_t{U16(at)} << 16) | U16(at + 2); }
  std::vector<uint8_t> Table(const std::string& tag) const {
    const Entry& e = tables.at(tag);
    return std::vector<uint8_t>(d.begin() + e.offset, d.begin() + e.offset + e.length);
  }
  uint16_t NumGlyphs() const { return U16(tables.at("maxp").offset + 4); }
  // Bytes of glyph g in glyf, through loca.
  std::vector<uint8_t> Glyph(uint16_t g) const {
    const bool longLoca = U16(tables.at("head").offset + 50) == 1;
    const uint32_t loca = tables.at("loca").offset;
    const uint32_t a = longLoca ? U32(loca + 4 * g) : U16(loca + 2 * g) * 2u;
    const uint32_t b = longLoca ? U32(loca + 4 * g + 4) : U16(loca + 2 * g + 2) * 2u;
    const uint32_t glyf = tables.at("glyf").offset;
    return std::vector<uint8_t>(d.begin() + glyf + a, d.begin() + glyf + b);
  }
  // Glyph of a BMP character through the (3,1) format 4 subtable.
  uint16_t GlyphOf(char16_t c) const {
    const uint32_t cmap = tables.at("cmap").offset;
    for (uint16_t i = 0; i < U16(cmap + 2); ++i) {
      const size_t rec = cmap + 4 + 8 * size_t{i};
      if (U16(rec) != 3 || U16(rec + 2) != 1) continue;
      const size_t sub = cmap + U32(rec + 4);
      if (U16(sub) != 4) continue;
      const uint16_t segs = U16(sub + 6) / 2;
      const size_t ends = sub + 14, starts = ends + 2 * segs + 2, deltas = starts + 2 * segs,
                   ranges = deltas + 2 * segs;
      for (uint16_t s = 0; s < segs; ++s) {
        if (c > U16(ends + 2 * s) || c < U16(starts + 2 * s)) continue;
        const uint16_t delta = U16(deltas + 2 * s), range = U16(ranges + 2 * s);
        if (range == 0) return static_cast<uint16_t>(c + delta);
        const size_t at = ranges + 2 * s + range + 2 * (c - U16(starts + 2 * s));
        const uint16_t g = U16(at);
        return g == 0 ? 0 : static_cast<uint16_t>(g + delta);
      }
    }
    return 0;
  }
};

// Component glyph numbers of a composite glyph (empty for a simple one).
std::vector<uint16_t> Components(const std::vector<uint8_t>& glyph) {
  std::vector<uint16_t> out;
  if (glyph.size() < 10 || static_cast<int16_t>((glyph[0] << 8) | glyph[1]) >= 0) return out;
  size_t at = 10;
  for (;;) {
    const uint16_t flags = static_cast<uint16_t>((glyph.at(at) << 8) | glyph.at(at + 1));
    out.push_back(static_cast<uint16_t>((glyph.at(at + 2) << 8) | glyph.at(at + 3)));
    at += 4 + ((flags & 1) ? 4 : 2);
    if (flags & 8)
      at += 2;
    else if (flags & 0x40)
      at += 4;
    else if (flags & 0x80)
      at += 8;
    if (!(flags & 0x20)) break;
  }
  return out;
}

uint32_t Sum(const std::vector<uint8_t>& d, size_t from, size_t len) {
  uint32_t s = 0;
  for (size_t i = 0; i < len; i += 4) {
    uint32_t w = 0;
    for (size_t k = 0; k < 4; ++k) w = (w << 8) | (i + k < len ? d[from + i + k] : 0u);
    s += w;
  }
  return s;
}

TEST(TrueTypeSubset, Checksum) {
  const std::vector<uint8_t> words = {0, 0, 0, 1, 0, 0, 1, 0, 0xFF};
  EXPECT_EQ(TrueTypeChecksum(words), 1u + 256u + 0xFF000000u);
  EXPECT_EQ(TrueTypeChecksum(std::vector<uint8_t>{}), 0u);
  const std::vector<uint8_t> wrap = {0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 2};
  EXPECT_EQ(TrueTypeChecksum(wrap), 1u);
}

TEST(TrueTypeSubset, DejaVuSubsetIsAValidFont) {
  if (!std::filesystem::exists(kDejaVu)) GTEST_SKIP() << "DejaVu Sans is not installed";
  const std::vector<uint8_t> font = LoadFont();
  const FontView original(font);
  const uint16_t gH = original.GlyphOf(u'H');
  const uint16_t gSpace = original.GlyphOf(u' ');
  const uint16_t gE = original.GlyphOf(u'\u00E9');  // e acute: a composite glyph
  ASSERT_NE(gH, 0);
  ASSERT_NE(gE, 0);
  const std::vector<uint16_t> parts = Components(original.Glyph(gE));
  ASSERT_FALSE(parts.empty()) << "expected a composite glyph";
  const uint16_t gZ = original.GlyphOf(u'Z');  // not asked for
  ASSERT_NE(gZ, 0);

  const std::vector<uint16_t> used = {gH, gSpace, gE, 65535, gH};
  const std::vector<uint8_t> sub = BuildTrueTypeSubset(font, used);
  EXPECT_LT(sub.size(), font.size() / 3);
  const FontView v(sub);

  // Directory: the ten tables in tag order, aligned, with their checksums.
  EXPECT_EQ(v.U32(0), 0x00010000u);
  const std::vector<std::string> want = {"cmap", "cvt ", "fpgm", "glyf", "head",
                                         "hhea", "hmtx", "loca", "maxp", "prep"};
  EXPECT_EQ(v.order, want);
  EXPECT_EQ(v.U16(6), 128);  // searchRange: 8 tables * 16
  EXPECT_EQ(v.U16(8), 3);    // entrySelector
  EXPECT_EQ(v.U16(10), 32);  // rangeShift
  for (const auto& [tag, e] : v.tables) {
    EXPECT_EQ(e.offset % 4, 0u) << tag;
    ASSERT_LE(size_t{e.offset} + e.length, sub.size()) << tag;
    uint32_t sum = Sum(sub, e.offset, e.length);
    if (tag == "head") sum -= v.U32(e.offset + 8);  // counted with the adjustment zeroed
    EXPECT_EQ(e.checksum, sum) << tag;
  }
  EXPECT_EQ(Sum(sub, 0, sub.size()), 0xB1B0AFBAu);
  EXPECT_EQ(sub.size() % 4, 0u);

  // Tables that pass through unchanged.
  for (const char* tag : {"cmap", "cvt ", "fpgm", "hhea", "hmtx", "maxp", "prep"})
    EXPECT_EQ(v.Table(tag), original.Table(tag)) << tag;

  // Glyph numbers are kept: the used glyphs, .notdef and components have their outlines,
  // the others are empty.
  ASSERT_EQ(v.NumGlyphs(), original.NumGlyphs());
  std::vector<uint16_t> kept = {0, gH, gE};
  kept.insert(kept.end(), parts.begin(), parts.end());
  for (uint16_t g : kept) {
    EXPECT_FALSE(v.Glyph(g).empty()) << g;
    std::vector<uint8_t> orig = original.Glyph(g);
    std::vector<uint8_t> got = v.Glyph(g);
    ASSERT_GE(got.size(), orig.size());
    EXPECT_EQ(got.size() - orig.size(), (4 - orig.size() % 4) % 4);
    got.resize(orig.size());
    EXPECT_EQ(got, orig) << g;
  }
  EXPECT_TRUE(v.Glyph(gZ).empty());
  EXPECT_TRUE(v.Glyph(gSpace).empty());  // the space has no outline in the first place
  size_t withOutline = 0;
  for (uint16_t g = 0; g < v.NumGlyphs(); ++g) withOutline += v.Glyph(g).empty() ? 0 : 1;
  EXPECT_EQ(withOutline, 3 + parts.size());

  // FreeType reads the subset: the glyphs asked for have outlines, the others none.
  FT_Library lib;
  ASSERT_EQ(FT_Init_FreeType(&lib), 0);
  FT_Face face;
  ASSERT_EQ(FT_New_Memory_Face(lib, sub.data(), static_cast<FT_Long>(sub.size()), 0, &face), 0);
  EXPECT_EQ(face->num_glyphs, original.NumGlyphs());
  FT_Set_Pixel_Sizes(face, 0, 64);
  auto points = [&](uint16_t g) {
    EXPECT_EQ(FT_Load_Glyph(face, g, FT_LOAD_NO_BITMAP), 0) << g;
    return face->glyph->outline.n_points;
  };
  EXPECT_GT(points(gH), 0);
  EXPECT_GT(points(gE), 0);
  EXPECT_EQ(points(gZ), 0);
  EXPECT_EQ(FT_Get_Char_Index(face, 'H'), gH);
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
}

// Writes a one-page PDF showing "HI" in a simple TrueType font whose FontFile2 is the given
// font file, checks it with qpdf, renders it with pdftoppm at 72 dpi and returns the number
// of dark pixels.
size_t DarkPixelsOfEmbedded(const std::vector<uint8_t>& fontFile, const std::string& qpdf,
                            const std::string& pdftoppm) {
  std::string pdf = "%PDF-1.4\n";
  std::vector<size_t> off(8);
  auto obj = [&](int n, const std::string& body) {
    off[n] = pdf.size();
    pdf += std::to_string(n) + " 0 obj\n" + body + "\nendobj\n";
  };
  obj(1, "<</Type/Catalog/Pages 2 0 R>>");
  obj(2, "<</Type/Pages/Count 1/Kids [3 0 R]>>");
  const std::string content = "BT /F0 80 Tf 10 20 Td (HI) Tj ET";
  obj(3,
      "<</Type/Page/Parent 2 0 R/MediaBox [0 0 200 100]/Contents 4 0 R"
      "/Resources <</Font <</F0 5 0 R>>>>>>");
  obj(4, "<</Length " + std::to_string(content.size()) + ">>\nstream\n" + content + "\nendstream");
  std::string widths;
  for (int c = 32; c <= 255; ++c) widths += "600 ";
  obj(5,
      "<</Type/Font/Subtype/TrueType/BaseFont/WYOIAS+DejaVuSans/Encoding/WinAnsiEncoding"
      "/FirstChar 32/LastChar 255/Widths [" +
          widths + "]/FontDescriptor 6 0 R>>");
  obj(6,
      "<</Type/FontDescriptor/FontName/WYOIAS+DejaVuSans/Flags 32/FontBBox [-1021 -463 "
      "1793 1232]/ItalicAngle 0/Ascent 928/Descent -236/CapHeight 928/StemV 78"
      "/FontFile2 7 0 R>>");
  std::string z;
  CompressStream(std::string_view(reinterpret_cast<const char*>(fontFile.data()), fontFile.size()),
                 z, TgtCompressionLevel::clMaxCompress);
  off[7] = pdf.size();
  pdf += "7 0 obj\n<</Length1 " + std::to_string(fontFile.size()) + "/Length " +
         std::to_string(z.size()) + "/Filter/FlateDecode>>\nstream\n" + z + "\nendstream\nendobj\n";
  const size_t xref = pdf.size();
  pdf += "xref\n0 8\n0000000000 65535 f\r\n";
  for (int n = 1; n <= 7; ++n) AppendXRefEntry(pdf, off[n]);
  pdf += "trailer\n<</Root 1 0 R/Size 8>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";

  pvtest::TempDir dir;
  const auto file = dir / "subset.pdf";
  pvtest::WriteFile(file, pdf);
  const auto check = pvtest::RunProgram({qpdf, "--check", file.string()}, dir.path());
  EXPECT_EQ(check.status, 0) << check.out << check.err;
  const auto render = pvtest::RunProgram(
      {pdftoppm, "-r", "72", "-gray", file.string(), (dir / "page").string()}, dir.path());
  EXPECT_EQ(render.status, 0);
  EXPECT_EQ(render.err, "");  // no font complaints
  std::string pgm;
  for (const auto& e : std::filesystem::directory_iterator(dir.path()))
    if (e.path().extension() == ".pgm") pgm = pvtest::ReadFile(e.path());
  if (pgm.size() < 200u * 100u) {
    ADD_FAILURE() << "no page image";
    return 0;
  }
  size_t dark = 0;
  for (size_t i = pgm.size() - 200 * 100; i < pgm.size(); ++i)
    dark += static_cast<uint8_t>(pgm[i]) < 100 ? 1 : 0;
  return dark;
}

TEST(TrueTypeSubset, EmbeddedSubsetRendersInAPdf) {
  if (!std::filesystem::exists(kDejaVu)) GTEST_SKIP() << "DejaVu Sans is not installed";
  const std::string qpdf = pvtest::FindTool("qpdf");
  const std::string pdftoppm = pvtest::FindTool("pdftoppm");
  if (qpdf.empty() || pdftoppm.empty()) GTEST_SKIP() << "qpdf or pdftoppm missing";
  const std::vector<uint8_t> font = LoadFont();
  const FontView original(font);
  const uint16_t gH = original.GlyphOf(u'H');
  const uint16_t gI = original.GlyphOf(u'I');
  const size_t both = DarkPixelsOfEmbedded(BuildTrueTypeSubset(font, std::vector<uint16_t>{gH, gI}),
                                           qpdf, pdftoppm);
  const size_t full = DarkPixelsOfEmbedded(font, qpdf, pdftoppm);
  const size_t onlyI =
      DarkPixelsOfEmbedded(BuildTrueTypeSubset(font, std::vector<uint16_t>{gI}), qpdf, pdftoppm);
  EXPECT_GT(both, 500u);         // the two letters are drawn
  EXPECT_EQ(both, full);         // exactly as with the whole font
  EXPECT_LT(onlyI, both - 200);  // the viewer draws from the embedded subset: no H there
  EXPECT_GT(onlyI, 100u);
}

TEST(TrueTypeSubset, DamagedFontsRaise) {
  auto raises = [](const std::vector<uint8_t>& bytes) {
    try {
      BuildTrueTypeSubset(bytes, std::vector<uint16_t>{1, 2, 3});
    } catch (const ETrueTypeFontError&) {
      return true;
    }
    return false;
  };
  EXPECT_TRUE(raises({}));
  EXPECT_TRUE(raises({'O', 'T', 'T', 'O', 0, 0}));
  EXPECT_TRUE(raises({'t', 't', 'c', 'f', 0, 1, 0, 0}));
  EXPECT_TRUE(raises({0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));  // no tables
  EXPECT_TRUE(raises({0, 1, 0, 0, 0, 9, 0, 0, 0, 0, 0, 0}));  // directory past the end

  if (!std::filesystem::exists(kDejaVu)) GTEST_SKIP() << "DejaVu Sans is not installed";
  const std::vector<uint8_t> font = LoadFont();
  const FontView view(font);

  // Truncated files, the last one cutting into the last kept table.
  size_t keptEnd = 0;
  for (const char* tag :
       {"cmap", "cvt ", "fpgm", "glyf", "head", "hhea", "hmtx", "loca", "maxp", "prep"})
    keptEnd =
        std::max<size_t>(keptEnd, size_t{view.tables.at(tag).offset} + view.tables.at(tag).length);
  for (size_t len : {size_t{11}, size_t{100}, size_t{200}, keptEnd - 1}) {
    std::vector<uint8_t> cut(font.begin(), font.begin() + static_cast<ptrdiff_t>(len));
    EXPECT_TRUE(raises(cut)) << len;
  }
  // loca offsets out of order.
  {
    std::vector<uint8_t> bad = font;
    const bool longLoca = view.U16(view.tables.at("head").offset + 50) == 1;
    const size_t at = view.tables.at("loca").offset + (longLoca ? 4 * 3 : 2 * 3);
    bad[at] = 0xFF;
    bad[at + 1] = 0xFF;
    EXPECT_TRUE(raises(bad));
  }
  // A composite glyph naming a component beyond the glyph count.
  {
    const uint16_t g = view.GlyphOf(u'\u00E9');
    std::vector<uint8_t> bad = font;
    const bool longLoca = view.U16(view.tables.at("head").offset + 50) == 1;
    const uint32_t loca = view.tables.at("loca").offset;
    const uint32_t start = longLoca ? view.U32(loca + 4 * g) : view.U16(loca + 2 * g) * 2u;
    const size_t component = view.tables.at("glyf").offset + start + 12;
    bad[component] = 0xFF;
    bad[component + 1] = 0xFE;
    try {
      BuildTrueTypeSubset(bad, std::vector<uint16_t>{g});
      ADD_FAILURE() << "component out of range accepted";
    } catch (const ETrueTypeFontError& e) {
      EXPECT_NE(std::string(e.what()).find("Damaged TrueType font data"), std::string::npos);
    }
  }
  // Random damage to the directory, loca and glyph data never crashes: the result is a
  // font or an ETrueTypeFontError.
  std::mt19937 rng(99);
  const size_t locaAt = view.tables.at("loca").offset;
  const size_t glyfAt = view.tables.at("glyf").offset;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bad = font;
    for (int k = 0; k < 8; ++k) {
      size_t at;
      switch (k % 3) {
        case 0:
          at = rng() % (12 + 16 * view.order.size());
          break;
        case 1:
          at = locaAt + rng() % 2000;
          break;
        default:
          at = glyfAt + rng() % 20000;
          break;
      }
      bad[at] = static_cast<uint8_t>(rng());
    }
    std::vector<uint16_t> glyphs;
    for (int k = 0; k < 40; ++k) glyphs.push_back(static_cast<uint16_t>(rng() % 800));
    try {
      const std::vector<uint8_t> out = BuildTrueTypeSubset(bad, glyphs);
      EXPECT_GE(out.size(), 12u);
    } catch (const ETrueTypeFontError&) {
    }
  }
}

}  // namespace
}  // namespace pv
