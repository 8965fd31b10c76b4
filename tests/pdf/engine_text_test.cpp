#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "docengine/metafile_canvas.h"
#include "pdf/engine.h"
#include "pdf/fonts.h"
#include "pdf/syntax.h"
#include "platform/fonts.h"
#include "platform/text.h"
#include "support/pdf_doc.h"
#include "support/support.h"

using namespace pv;
using pvtest::CountOf;
using pvtest::Inflated;
using pvtest::PdfObject;
using pvtest::PdfObjectOffsets;
using pvtest::PdfStreamData;
namespace fs = std::filesystem;

namespace {

// The shared in-memory document without compression and with a clear brush, so that the
// operators can be read straight from the file.
struct MemDoc : pvtest::MemDoc {
  explicit MemDoc(int32_t resolution = kScreenPPI) : pvtest::MemDoc(resolution) {
    e.Compression().Enabled = false;
    e.Brush().Style = TBrushStyle::bsClear;
  }
};

// The first object whose text contains what.
int FindObject(const std::string& pdf, const std::string& what) {
  for (auto [n, off] : PdfObjectOffsets(pdf)) {
    size_t end = pdf.find("endobj\r\n", off);
    if (pdf.substr(off, end - off).find(what) != std::string::npos) return n;
  }
  return 0;
}

std::string Num(double v) {
  return FormatNumber(v);
}

struct Tools {
  std::string Problems;  // qpdf, pdftoppm and mutool
  std::string Text;      // pdftotext
};

Tools Check(const std::string& pdf) {
  pvtest::TempDir dir;
  fs::path file = dir / "t.pdf";
  pvtest::WriteFile(file, pdf);
  Tools t;
  for (const std::string& p : pvtest::CheckPdf(file)) t.Problems += p + "\n";
  t.Text = pvtest::PdfText(file);
  return t;
}

// What pdftoppm and mutool write on standard error besides the ICC line, with their own
// prefixes taken off, one distinct complaint a line; "failed" when either fails.
std::string RendererComplaints(const std::string& pdf) {
  pvtest::TempDir dir;
  pvtest::WriteFile(dir / "t.pdf", pdf);
  std::vector<std::string> lines;
  auto collect = [&](const std::vector<std::string>& argv) {
    if (argv[0].empty()) return true;
    pvtest::RunResult r = pvtest::RunProgram(argv, dir.path());
    for (std::string l : pvtest::SplitLines(r.err)) {
      // mutool names the page a complaint belongs to.
      if (l.empty() || l == "warning: ICC support is not available" || l.rfind("page ", 0) == 0)
        continue;
      for (const char* p : {"Syntax Error: ", "Syntax Warning: ", "warning: ", "error: "})
        if (l.rfind(p, 0) == 0) l = l.substr(std::strlen(p));
      if (std::find(lines.begin(), lines.end(), l) == lines.end()) lines.push_back(l);
    }
    return r.status == 0;
  };
  const std::string file = (dir / "t.pdf").string();
  bool ok = collect({pvtest::FindTool("pdftoppm"), "-r", "10", "-png", file, (dir / "p").string()});
  ok &= collect(
      {pvtest::FindTool("mutool"), "draw", "-r", "10", "-o", (dir / "m%d.png").string(), file});
  if (!ok) return "failed";
  std::string s;
  for (const auto& l : lines) s += l + "\n";
  return s;
}

// The subset tag (six capital letters and "+") that follows `after` in text; empty when
// there is none.
std::string SubsetTagAfter(const std::string& text, const std::string& after) {
  const size_t at = text.find(after);
  if (at == std::string::npos) return {};
  const std::string tag = text.substr(at + after.size(), 7);
  if (tag.size() != 7 || tag[6] != '+') return {};
  for (size_t i = 0; i < 6; ++i)
    if (tag[i] < 'A' || tag[i] > 'Z') return {};
  return tag;
}

// pdffonts' table of a document with each row's blanks squeezed to one ("name type
// encoding emb sub uni object id"); empty when the tool is absent.
std::string Pdffonts(const std::string& pdf) {
  const std::string tool = pvtest::FindTool("pdffonts");
  if (tool.empty()) return {};
  pvtest::TempDir dir;
  pvtest::WriteFile(dir / "t.pdf", pdf);
  pvtest::RunResult r = pvtest::RunProgram({tool, (dir / "t.pdf").string()}, dir.path());
  std::string out;
  bool blank = false;
  for (char ch : r.out) {
    if (ch == ' ') {
      blank = true;
      continue;
    }
    if (blank && !out.empty() && out.back() != '\n' && ch != '\n') out += ' ';
    blank = false;
    out += ch;
  }
  return out;
}

bool HaveDejaVu() {
  return fonts::IsInstalled("DejaVu Sans");
}

const std::string kPageStart =
    "q 1.0000 0 0 1.0000 0 0 cm\r\n"
    "\r\nq\r\n1.0000 1.0000 1.0000 rg n 0.0000 0.0000 612.0000 792.0000 re f \r\n\r\nQ";

}  // namespace

TEST(PdfEngineText, SimpleFontTextBlock) {
  MemDoc d;
  d.e.SetIgnoreCharSpacing(true);
  d.e.BeginDoc();
  d.e.TextOut(u"Hello", 96, 96);
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  // Clear brush: an empty background part; the baseline one font size below the top.
  EXPECT_EQ(PdfStreamData(pdf, 7),
            kPageStart +
                "\r\n\r\n\r\n q BT\r\n0 Tr\r\n0.0000 0.0000 0.0000 rg\r\n/F0 "
                "8.0000 Tf\r\n 0.0000 Tc 0 Tw\r\n"
                "72.0000 712.0000 Td\r\n(Hello) Tj\r\nET Q \r\n\r\nQ\r\n");
  Tools t = Check(pdf);
  EXPECT_EQ(t.Problems, "");
  EXPECT_NE(t.Text.find("Hello"), std::string::npos) << t.Text;
}

TEST(PdfEngineText, CharacterSpacingFromTheMeasuredWidth) {
  MemDoc d;
  d.e.BeginDoc();
  d.e.TextOut(u"Wave", 96, 96);
  d.e.EndDoc();
  TgtPDFFont font(d.e.Font(), 0, false);
  double sum = 0;
  for (char c : std::string("Wave")) sum += font.Info.Widths[static_cast<size_t>(c - 32)];
  const double measured = d.e.MeasureText(u"Wave", d.e.Font()).Width / 96.0 * 72.0;
  const double tc = (measured - sum * 8 / 1000.0) / 4;
  EXPECT_NE(PdfStreamData(d.Pdf(), 7).find("/F0 8.0000 Tf\r\n " + Num(tc) + " Tc 0 Tw\r\n"),
            std::string::npos);
}

TEST(PdfEngineText, BackgroundsForSolidAndHatchBrushes) {
  MemDoc d;
  d.e.BeginDoc();
  d.e.Brush() = TBrush{0x0000FF, TBrushStyle::bsSolid};
  d.e.TextOut(u"Box", 96, 96);
  d.e.Brush() = TBrush{0x00FF00, TBrushStyle::bsDiagCross};
  d.e.TextOut(u"Box", 96, 192);
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const std::string content = PdfStreamData(pdf, 7);
  const fonts::TextExtent ext = d.e.MeasureText(u"Box", d.e.Font());
  const double r = 72 + ext.Width * 0.75;
  auto box = [&](double top) {
    const double b = top - ext.Height * 0.75;
    return "72.0000 " + Num(top) + " m " + Num(r) + " " + Num(top) + " l " + Num(r) + " " + Num(b) +
           " l 72.0000 " + Num(b) + " l f\r\nQ";
  };
  EXPECT_NE(content.find("Q\r\n\r\nq\r\n1.0000 0.0000 0.0000 rg " + box(720) + "\r\n\r\n q BT"),
            std::string::npos)
      << content;
  EXPECT_NE(content.find("\r\n\r\nq\r\n/CSP cs 0.0000 1.0000 0.0000 /PDC scn n " + box(648) +
                         "\r\n\r\n q BT"),
            std::string::npos)
      << content;
  EXPECT_NE(pdf.find("/Pattern <</PDC "), std::string::npos);
  EXPECT_EQ(Check(pdf).Problems, "");
}

TEST(PdfEngineText, FontsSharedByFaceCharsetAndStyle) {
  MemDoc d;
  d.e.BeginDoc();
  d.e.TextOut(u"one", 96, 96);
  d.e.TextOut(u"two", 96, 120);
  d.e.Font().Style = fsBold;
  d.e.TextOut(u"three", 96, 144);
  d.e.Font().Style = 0;
  d.e.Font().Color = 0x0000FF;
  d.e.TextOut(u"four", 96, 168);  // colour and size do not make a new font
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const std::string content = PdfStreamData(pdf, 7);
  EXPECT_EQ(CountOf(content, "/F0 8.0000 Tf"), 3u);
  EXPECT_EQ(CountOf(content, "/F1 8.0000 Tf"), 1u);
  EXPECT_NE(content.find("1.0000 0.0000 0.0000 rg\r\n/F0"), std::string::npos);
  // Fonts are numbered at first use; their descriptors at the end of the document.
  EXPECT_NE(PdfObject(pdf, 5).find("/Font <</F0 9 0 R /F1 10 0 R >>\r\n/ProcSet 4 0 R\r\n"),
            std::string::npos);
  const std::string f0 = PdfObject(pdf, 9);
  const std::string head =
      "9 0 obj\r\n<<\r\n/Type /Font/Subtype /Type1/Name /F0/BaseFont /Helvetica/Encoding "
      "/WinAnsiEncoding"
      "/FirstChar 32/LastChar 255/Widths [";
  ASSERT_EQ(f0.rfind(head, 0), 0u) << f0;
  const size_t close = f0.find(']');
  const std::string widths = f0.substr(head.size(), close - head.size());
  EXPECT_EQ(CountOf(widths, " "), 223u);   // 224 widths
  EXPECT_EQ(widths.substr(0, 4), "278 ");  // the space of Helvetica
  EXPECT_EQ(f0.substr(close), "]/FontDescriptor 11 0 R\r\n>>\r\nendobj\r\n");
  const std::string desc = PdfObject(pdf, 11);
  EXPECT_EQ(
      desc.rfind(
          "11 0 obj\r\n<<\r\n/Type /FontDescriptor/FontName /Helvetica/Flags 32/FontBBox[-250 ", 0),
      0u);
  EXPECT_NE(desc.find("/MaxWidth "), std::string::npos);
  EXPECT_EQ(desc.find("/MissingWidth"), std::string::npos);
  EXPECT_EQ(desc.find("/ItalicAngle"), std::string::npos);
  // The bold font is the bold standard face, whose widths it has.
  EXPECT_NE(PdfObject(pdf, 10).find("/Name /F1/BaseFont /Helvetica-Bold/Encoding"),
            std::string::npos);
  EXPECT_EQ(Check(pdf).Problems, "");
}

TEST(PdfEngineText, CanvasTextIsOneElementTJ) {
  MemDoc d;
  d.e.BeginDoc();
  TCanvas* c = d.e.PageCanvas();
  c->Brush.Style = TBrushStyle::bsClear;
  c->TextOut(96, 96, u"Canvas (text)");
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const std::string content = PdfStreamData(pdf, 7);
  // The baseline sits one font size below the top, raised by the underline thickness.
  EXPECT_NE(content.find(
                " Tc 0 Tw\r\n72.0000 712.8000 Td\r\n[(Canvas \\(text\\))0.0000 ]TJ \r\nET Q \r\n"),
            std::string::npos)
      << content;
  Tools t = Check(pdf);
  EXPECT_EQ(t.Problems, "");
  EXPECT_NE(t.Text.find("Canvas (text)"), std::string::npos) << t.Text;
}

TEST(PdfEngineText, EscapingRotationEffectsAndClips) {
  MemDoc d;
  d.e.SetIgnoreCharSpacing(true);
  d.e.BeginDoc();
  d.e.TextOut(u"a(b)\\c\td", 96, 96);
  d.e.SetTextRotation(90);
  d.e.TextOut(u"up www.example.com", 96, 300);
  d.e.SetTextRotation(0);
  d.e.TextEffects().TextRenderMode = TgtTextRenderMode::trmStroke;
  d.e.TextEffects().TextRise = TgtTextRise::trSuperscript;
  d.e.TextOut(u"sup", 96, 400);
  d.e.TextEffects().TextRenderMode = TgtTextRenderMode::trmFillStroke;
  d.e.TextEffects().TextRise = TgtTextRise::trSubscript;
  d.e.TextOut(u"sub", 96, 420);
  d.e.TextEffects() = {};
  d.e.TextRect(TgtRectD{96, 500, 192, 540}, u"clipped", 96, 500);
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const std::string content = PdfStreamData(pdf, 7);
  EXPECT_NE(content.find("72.0000 712.0000 Td\r\n(a\\(b\\)\\\\c  d) Tj"), std::string::npos)
      << content;
  // Rotated a quarter turn: a text matrix, the origin moved along the rotated vertical; and
  // no link annotation for rotated text.
  EXPECT_NE(
      content.find("0.0000 1.0000 -1.0000 0.0000 80.0000 567.0000 Tm \r\n(up www.example.com) Tj"),
      std::string::npos)
      << content;
  EXPECT_EQ(pdf.find("/Annots"), std::string::npos);
  EXPECT_NE(content.find("BT\r\n1 Tr 4.0000 Ts\r\n"), std::string::npos);
  EXPECT_NE(content.find("BT\r\n2 Tr -4.0000 Ts\r\n"), std::string::npos);
  EXPECT_NE(content.find("\r\n q 72.0000 387.0000 72.0000 30.0000 re W n\r\nBT\r\n0 Tr\r\n"),
            std::string::npos)
      << content;
  EXPECT_EQ(Check(pdf).Problems, "");
}

TEST(PdfEngineText, UnderlineAndStrikeOut) {
  MemDoc d;
  d.e.SetIgnoreCharSpacing(true);
  d.e.BeginDoc();
  d.e.Font().Style = fsUnderline | fsStrikeOut;
  d.e.TextOut(u"lined", 96, 96);
  d.e.EndDoc();
  const std::string content = PdfStreamData(d.Pdf(), 7);
  const double end = 72 + d.e.MeasureText(u"lined", d.e.Font()).Width * 0.75;
  // A substituted standard font: thickness size / 10 one point under the baseline, and
  // size / 20 at a fifth of the font height above it.
  EXPECT_NE(content.find(
                "ET Q \r\nq\r\n0.0000 0.0000 0.0000 RG 0.8000 w 72.0000 711.0000 m " + Num(end) +
                " 711.0000 l S\r\nQ\r\nq\r\n0.0000 0.0000 0.0000 RG 0.4000 w 72.0000 714.2000 m " +
                Num(end) + " 714.2000 l S\r\nQ\r\n"),
            std::string::npos)
      << content;
}

TEST(PdfEngineText, LinkAnnotations) {
  MemDoc d;
  d.e.BeginDoc();
  d.e.TextOut(u"see www.example.com/x now", 96, 96);
  d.e.TextOut(u"mail bob.smith@example.com", 96, 120);
  d.e.TextOut(u"C:\\boards\\top.gbr", 96, 144);
  d.e.TextOut(u"secure https://example.com/a?b=1 too", 96, 168);
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const TFont& f = d.e.Font();
  const double left = 72 + d.e.MeasureText(u"see ", f).Width * 0.75;
  const double right = left + d.e.MeasureText(u"www.example.com/x", f).Width * 0.75;
  const double bottom = 720 - d.e.MeasureText(u"see www.example.com/x now", f).Height * 0.75;
  // Annotations are numbered as the text is rendered, after the page's three objects and
  // the font.
  EXPECT_EQ(PdfObject(pdf, 10),
            "10 0 obj\r\n<<\r\n/Type/Annot/Border [0 0 0]/H/I/Subtype/Link/F 0/C [0 0 1]/Rect [" +
                Num(left) + " 720.0000 " + Num(right) + " " + Num(bottom) +
                "]\r\n/A\r\n<<\r\n/S/URI /URI<" + HexString("www.example.com/x") +
                ">\r\n>>>>\r\nendobj\r\n");
  EXPECT_NE(PdfObject(pdf, 11).find("/A\r\n<<\r\n/S/URI /URI<" +
                                    HexString("mailto:bob.smith@example.com") + ">\r\n>>"),
            std::string::npos);
  EXPECT_NE(PdfObject(pdf, 12).find(
                "/A\r\n<<\r\n/Type /Action/S /Launch/F (/C/boards/top.gbr) /NewWindow true>>"),
            std::string::npos)
      << PdfObject(pdf, 12);
  EXPECT_NE(PdfObject(pdf, 13).find("/A\r\n<<\r\n/S/URI /URI<" +
                                    HexString("https://example.com/a?b=1") + ">\r\n>>"),
            std::string::npos)
      << PdfObject(pdf, 13);
  EXPECT_NE(PdfObject(pdf, 6).find("/Contents 7 0 R/Annots [10 0 R 11 0 R 12 0 R 13 0 R]/Dur 1"),
            std::string::npos);
  EXPECT_EQ(Check(pdf).Problems, "");
  // As qpdf reads the annotation: a border of three numbers, colour components in 0..1.
  if (std::string qpdf = pvtest::FindTool("qpdf"); !qpdf.empty()) {
    pvtest::TempDir dir;
    pvtest::WriteFile(dir / "in.pdf", pdf);
    pvtest::RunResult r =
        pvtest::RunProgram({qpdf, "--show-object=10", (dir / "in.pdf").string()}, dir.path());
    EXPECT_NE(r.out.find("/Border [ 0 0 0 ]"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("/C [ 0 0 1 ]"), std::string::npos) << r.out;
  }

  MemDoc off;
  off.e.Preferences().SetActiveHyperLinks(false);
  off.e.BeginDoc();
  off.e.TextOut(u"mail bob.smith@example.com", 96, 120);
  off.e.EndDoc();
  EXPECT_EQ(off.Pdf().find("/Annots"), std::string::npos);
  EXPECT_EQ(off.Pdf().find("/Subtype/Link"), std::string::npos);
  EXPECT_NE(off.Pdf().find("(mail bob.smith@example.com) Tj"), std::string::npos);
}

TEST(PdfEngineText, LinkRectangleCoversTheTextOnAScaledPage) {
  if (pvtest::FindTool("pdftotext").empty()) GTEST_SKIP() << "pdftotext is not installed";
  MemDoc d(1000);
  d.e.BeginDoc();
  TCanvas* c = d.e.PageCanvas();
  c->Brush.Style = TBrushStyle::bsClear;
  c->Font.SetSize(90);
  c->TextOut(100, 240, u"Visit www.example.com today");
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const int annot = FindObject(pdf, "/Subtype/Link");
  ASSERT_NE(annot, 0);
  const std::string obj = PdfObject(pdf, annot);
  double l = 0, t = 0, r = 0, b = 0;
  ASSERT_EQ(std::sscanf(obj.c_str() + obj.find("/Rect [") + 7, "%lf %lf %lf %lf", &l, &t, &r, &b),
            4);
  pvtest::TempDir dir;
  pvtest::WriteFile(dir / "t.pdf", pdf);
  pvtest::RunResult bbox = pvtest::RunProgram(
      {pvtest::FindTool("pdftotext"), "-bbox", (dir / "t.pdf").string(), "-"}, dir.path());
  const size_t word = bbox.out.find(">www.example.com<");
  ASSERT_NE(word, std::string::npos) << bbox.out;
  const size_t tag = bbox.out.rfind("<word", word);
  double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  ASSERT_EQ(std::sscanf(bbox.out.c_str() + tag,
                        "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &xMin, &yMin,
                        &xMax, &yMax),
            4);
  // In default user space, on the word: pdftotext measures from the top of the page.
  EXPECT_NEAR(l, xMin, 1.0);
  EXPECT_NEAR(r, xMax, 1.0);
  EXPECT_NEAR(792 - t, yMin, 2.0);
  EXPECT_NEAR(792 - b, yMax, 2.0);
}

TEST(PdfEngineText, LaunchLinkInAnEncryptedDocument) {
  MemDoc d;
  d.e.SetFileName("/tmp/locked.gbr");
  d.e.Encryption().SetEnabled(true);
  d.e.Encryption().SetOwnerPassword("owner");
  d.e.BeginDoc();
  d.e.TextOut(u"C:\\boards\\top.gbr", 96, 144);
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const int annot = FindObject(pdf, "/Subtype/Link");
  ASSERT_NE(annot, 0);
  // Every string of an encrypted document is encrypted, the launched file's name too.
  EXPECT_EQ(pdf.find("(/C/boards/top.gbr)"), std::string::npos);
  EXPECT_NE(PdfObject(pdf, annot).find("/Launch/F <"), std::string::npos);
  EXPECT_EQ(Check(pdf).Problems, "");
  if (std::string qpdf = pvtest::FindTool("qpdf"); !qpdf.empty()) {
    pvtest::TempDir dir;
    pvtest::WriteFile(dir / "in.pdf", pdf);
    pvtest::RunResult r = pvtest::RunProgram(
        {qpdf, "--show-object=" + std::to_string(annot), (dir / "in.pdf").string()}, dir.path());
    EXPECT_NE(r.out.find("(/C/boards/top.gbr)"), std::string::npos) << r.out << r.err;
  }
}

TEST(PdfEngineText, DejaVuSansAsASimpleTrueTypeFont) {
  if (!HaveDejaVu()) GTEST_SKIP() << "DejaVu Sans is not installed";
  TFont big;
  big.Name = "DejaVu Sans";
  big.SetSize(1000);
  const std::vector<uint8_t>* data = fonts::Realize(fonts::FontKey::From(big)).TrueTypeData();
  ASSERT_NE(data, nullptr);
  struct Case {
    TgtTTFontEmbedding embed;
    bool exclude;
  };
  for (Case c :
       {Case{TgtTTFontEmbedding::etfNone, false}, Case{TgtTTFontEmbedding::etfFull, false},
        Case{TgtTTFontEmbedding::etfSubset, false}, Case{TgtTTFontEmbedding::etfSubset, true}}) {
    SCOPED_TRACE(static_cast<int>(c.embed) * 10 + c.exclude);
    MemDoc d;
    d.e.Compression().Enabled = true;
    d.e.Preferences().SetEmbedTrueTypeFonts(c.embed);
    if (c.exclude) d.e.FontEmbedExcludeList().push_back("dejavu sans");
    d.e.Font().Name = "dejavu sans";  // the installed spelling is taken
    d.e.Font().SetSize(12);
    d.e.BeginDoc();
    d.e.TextOut(u"Gerber to PDF: 0123", 96, 96);
    d.e.Font().Style = fsBold;
    d.e.TextOut(u"Bold caption", 96, 130);
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    const bool embedded = c.embed != TgtTTFontEmbedding::etfNone && !c.exclude;
    const bool subset = c.embed == TgtTTFontEmbedding::etfSubset && !c.exclude;
    const std::string font = PdfObject(pdf, 9);
    // Each subset has a tag of its own: the regular and the bold subsets differ.
    const std::string tag = SubsetTagAfter(font, "/BaseFont /");
    const std::string boldTag = SubsetTagAfter(PdfObject(pdf, 10), "/BaseFont /");
    EXPECT_EQ(!tag.empty(), subset) << font;
    if (subset) {
      EXPECT_NE(tag, boldTag);
    }
    const std::string name = tag + "DejaVuSans";
    EXPECT_EQ(
        font.rfind("9 0 obj\r\n<<\r\n/Type /Font/Subtype /TrueType/Name /F0/BaseFont /" + name +
                       " /Encoding /WinAnsiEncoding/FirstChar 32/LastChar 255/Widths [",
                   0),
        0u)
        << font;
    EXPECT_NE(PdfObject(pdf, 10).find("/BaseFont /" + boldTag + "DejaVuSans,Bold /Encoding"),
              std::string::npos);
    const int descNo = std::stoi(font.substr(font.find("/FontDescriptor ") + 16));
    const std::string desc = PdfObject(pdf, descNo);
    EXPECT_NE(desc.find("/Type /FontDescriptor/FontName /" + name + " /Flags 32/FontBBox["),
              std::string::npos)
        << desc;
    EXPECT_NE(desc.find("/StemH 78/StemV 78/ItalicAngle 0"), std::string::npos) << desc;
    const size_t file = desc.find("/FontFile2 ");
    EXPECT_EQ(file != std::string::npos, embedded) << desc;
    if (file != std::string::npos) {
      const int fileNo = std::stoi(desc.substr(file + 11));
      const std::string stream = PdfObject(pdf, fileNo);
      const size_t length1 = std::stoul(stream.substr(stream.find("/Length1 ") + 9));
      const std::string program = Inflated(PdfStreamData(pdf, fileNo));
      EXPECT_EQ(program.size(), length1);
      EXPECT_NE(stream.find("/Length\r\n"), std::string::npos);
      if (subset) {
        EXPECT_LT(length1, data->size() / 2);
      } else {
        EXPECT_EQ(program, std::string(data->begin(), data->end()));
      }
    }
    Tools t = Check(pdf);
    EXPECT_EQ(t.Problems, "");
    EXPECT_NE(t.Text.find("Gerber to PDF: 0123"), std::string::npos) << t.Text;
    EXPECT_NE(t.Text.find("Bold caption"), std::string::npos) << t.Text;
  }
}

// A composite font shows glyph numbers, so it is embedded as a subset even with embedding
// off; only a face on the exclusion list goes without its program.
TEST(PdfEngineText, CyrillicThroughTheCompositeFont) {
  if (!HaveDejaVu()) GTEST_SKIP() << "DejaVu Sans is not installed";
  struct Case {
    TgtTTFontEmbedding embed;
    bool exclude;
  };
  for (Case c :
       {Case{TgtTTFontEmbedding::etfNone, false}, Case{TgtTTFontEmbedding::etfFull, false},
        Case{TgtTTFontEmbedding::etfSubset, false}, Case{TgtTTFontEmbedding::etfNone, true}}) {
    SCOPED_TRACE(static_cast<int>(c.embed) * 10 + c.exclude);
    MemDoc d;
    d.e.Compression().Enabled = true;
    d.e.Preferences().SetEmbedTrueTypeFonts(c.embed);
    if (c.exclude) d.e.FontEmbedExcludeList().push_back("DejaVu Sans");
    d.e.Font().Name = "DejaVu Sans";
    d.e.Font().Charset = RUSSIAN_CHARSET;
    d.e.Font().SetSize(14);
    d.e.BeginDoc();
    d.e.TextOut(u"Привет, мир", 96, 96);
    d.e.TextOut(u"Плата 2", 96, 130);
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    const std::string content = Inflated(PdfStreamData(pdf, 7));
    EXPECT_NE(content.find(
                  "0.0000 0.0000 0.0000 rg\r\n/F0 14 Tf\r\n0 Tw\r\n0 Tc\r\n72.0000 706.0000 Td <"),
              std::string::npos)
        << content;
    const bool embedded = !c.exclude;
    const bool subset = embedded && c.embed != TgtTTFontEmbedding::etfFull;
    const std::string type0 = PdfObject(pdf, 9);
    const std::string prefix = SubsetTagAfter(type0, "/BaseFont/");
    EXPECT_EQ(!prefix.empty(), subset) << type0;
    EXPECT_NE(
        type0.find("/Type/Font/Subtype/Type0/Name/F0/BaseFont/" + prefix +
                   "DejaVuSans/Encoding/Identity-H/ToUnicode 11 0 R/DescendantFonts [10 0 R]\r\n"),
        std::string::npos)
        << type0;
    const std::string cid = PdfObject(pdf, 10);
    EXPECT_NE(cid.find("/Type/Font/Subtype/CIDFontType2/BaseFont/" + prefix +
                       "DejaVuSans/FontDescriptor 12 0 R/CIDSystemInfo\r\n<<\r\n/Registry<" +
                       HexString("Adobe") + ">/Ordering<" + HexString("Identity") +
                       ">/Supplement 0\r\n>>\r\n/W ["),
              std::string::npos)
        << cid;
    EXPECT_NE(cid.find("]/DW "), std::string::npos);
    EXPECT_NE(cid.find("/CIDToGIDMap/Identity"), std::string::npos);
    const std::string desc = PdfObject(pdf, 12);
    EXPECT_NE(desc.find("/FontName/" + prefix + "DejaVuSans/Flags "), std::string::npos) << desc;
    EXPECT_EQ(desc.find("/FontFile2 ") != std::string::npos, embedded) << desc;
    const std::string cmap = Inflated(PdfStreamData(pdf, 11));
    EXPECT_EQ(cmap.rfind("%!PS-Adobe-3.0 Resource-CMap\r\n", 0), 0u);
    EXPECT_NE(cmap.find("\r\n12 beginbfchar\r\n"), std::string::npos)
        << cmap;  // distinct characters
    EXPECT_NE(cmap.find("> <041F>\r\n"), std::string::npos) << cmap;
    Tools t = Check(pdf);
    if (!embedded) {
      // Without its font program a glyph-numbered font only renders where the viewer finds
      // the same face; viewers say so, and draw it through the ToUnicode map.
      EXPECT_EQ(RendererComplaints(pdf), "non-embedded font using identity encoding: DejaVuSans\n");
    } else {
      EXPECT_EQ(t.Problems, "");
      EXPECT_EQ(RendererComplaints(pdf), "");
    }
    // pdffonts: the font's name, kind and whether it is embedded and a subset.
    const std::string fonts = Pdffonts(pdf);
    const std::string row = prefix + "DejaVuSans CID TrueType Identity-H " +
                            (embedded ? "yes " : "no ") + (subset ? "yes " : "no ") + "yes";
    EXPECT_NE(fonts.find(row), std::string::npos) << fonts;
    EXPECT_NE(t.Text.find("Привет, мир"), std::string::npos) << t.Text;
    EXPECT_NE(t.Text.find("Плата 2"), std::string::npos) << t.Text;
  }
}

TEST(PdfEngineText, ForeignCharsetWithoutATrueTypeFaceShowsNoText) {
  MemDoc d;
  d.e.Brush() = TBrush{0x00FFFF, TBrushStyle::bsSolid};
  d.e.Font().Name = "No Such Face";
  d.e.Font().Charset = RUSSIAN_CHARSET;
  d.e.BeginDoc();
  d.e.TextOut(u"Привет", 96, 96);
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  const std::string content = PdfStreamData(pdf, 7);
  EXPECT_NE(content.find("1.0000 1.0000 0.0000 rg 72.0000 720.0000 m"),
            std::string::npos);  // background only
  EXPECT_EQ(content.find("BT"), std::string::npos);
  EXPECT_EQ(PdfObject(pdf, 9),
            "9 0 obj\r\n<<\r\n/Type/Font/Subtype /Type1/Name /F0/BaseFont /Helvetica"
            "/Encoding /WinAnsiEncoding\r\n>>\r\nendobj\r\n");
  EXPECT_EQ(Check(pdf).Problems, "");
}

TEST(PdfEngineText, BidirectionalLines) {
  EXPECT_EQ(VisualOrder(u"abc \u05D0\u05D1\u05D2 def"), u"abc \u05D2\u05D1\u05D0 def");
  EXPECT_EQ(VisualOrder(u"\u05D0\u05D1 123"), u"123 \u05D1\u05D0");
  EXPECT_EQ(VisualOrder(u"\u05D0 (3.14) \u05D1"), u"\u05D1 (3.14) \u05D0");
  EXPECT_EQ(VisualOrder(u"plain text"), u"plain text");
  if (!HaveDejaVu()) GTEST_SKIP() << "DejaVu Sans is not installed";
  std::string codes[2];
  for (bool bidi : {false, true}) {
    MemDoc d;
    d.e.SetBiDi(bidi);
    d.e.Font().Name = "DejaVu Sans";
    d.e.Font().Charset = HEBREW_CHARSET;
    d.e.BeginDoc();
    d.e.TextOut(u"\u05E9\u05DC\u05D5\u05DD", 96, 96);
    d.e.EndDoc();
    const std::string content = PdfStreamData(d.Pdf(), 7);
    const size_t lt = content.find("Td <");
    ASSERT_NE(lt, std::string::npos);
    codes[bidi] = content.substr(lt + 4, content.find('>', lt) - lt - 4);
    ASSERT_EQ(codes[bidi].size(), 16u);
  }
  for (int i = 0; i < 4; ++i) EXPECT_EQ(codes[1].substr(4 * i, 4), codes[0].substr(12 - 4 * i, 4));
}

TEST(PdfFonts, MetricsAndBaseFontNames) {
  auto font = [](const char* face, uint8_t style, uint8_t charset = DEFAULT_CHARSET) {
    TFont f;
    f.Name = face;
    f.Style = style;
    f.Charset = charset;
    return f;
  };
  TgtPDFFont plain(font("No Such Face", 0), 7, false);
  EXPECT_EQ(plain.Info.ObjectNumber, 7);
  EXPECT_EQ(plain.Info.FontKind, fkSubstituted);
  EXPECT_EQ(plain.BaseFontName(), "Helvetica");
  EXPECT_EQ(plain.Info.Flags, 32);
  EXPECT_EQ(plain.Info.StemV, 0);
  EXPECT_DOUBLE_EQ(plain.Info.UnderlineThickness, 0.8);  // size / 10
  EXPECT_DOUBLE_EQ(plain.Info.StrikeoutThickness, 0.4);  // size / 20
  EXPECT_DOUBLE_EQ(plain.Info.UnderlinePosition, -1);
  EXPECT_EQ(plain.Info.Ascent % 72, 0);
  EXPECT_EQ(plain.Info.FontBBox[0], -250);
  EXPECT_EQ(plain.Info.FontBBox[1], plain.Info.Descent);
  EXPECT_EQ(plain.Info.FontBBox[2], plain.Info.MaxWidth);
  EXPECT_EQ(plain.Info.FontBBox[3], plain.Info.Ascent);
  EXPECT_EQ(TgtPDFFont(font("No Such Face", fsBold), 0, false).BaseFontName(), "Helvetica-Bold");
  EXPECT_EQ(TgtPDFFont(font("No Such Face", fsItalic), 0, false).BaseFontName(),
            "Helvetica-Oblique");
  EXPECT_EQ(TgtPDFFont(font("No Such Face", fsBold | fsItalic), 0, false).BaseFontName(),
            "Helvetica-BoldOblique");
  // A standard face takes the variant of its style, as its widths do.
  EXPECT_EQ(TgtPDFFont(font("Times-Roman", fsBold), 0, false).BaseFontName(), "Times-Bold");
  EXPECT_EQ(TgtPDFFont(font("Times-Bold", fsItalic), 0, false).BaseFontName(), "Times-BoldItalic");
  EXPECT_EQ(TgtPDFFont(font("Courier", fsBold | fsItalic), 0, false).BaseFontName(),
            "Courier-BoldOblique");
  EXPECT_EQ(TgtPDFFont(font("Helvetica", 0), 0, false).BaseFontName(), "Helvetica");
  EXPECT_EQ(TgtPDFFont(font("Symbol", fsBold), 0, false).BaseFontName(), "Symbol");
  EXPECT_EQ(TgtPDFFont(font("No Such Face", 0, SYMBOL_CHARSET), 0, false).BaseFontName(),
            "ZapfDingbats");
  EXPECT_EQ(TgtPDFFont(font("No Such Face", fsItalic), 0, false).Info.Flags, 96);
  if (!HaveDejaVu()) GTEST_SKIP() << "DejaVu Sans is not installed";
  TgtPDFFont dv(font("DejaVu Sans", fsBold | fsItalic), 0, false);
  EXPECT_EQ(dv.Info.FontKind, fkTrueType);
  EXPECT_EQ(dv.BaseFontName(), "DejaVuSans,BoldItalic");
  EXPECT_EQ(dv.Info.StemV, 78);
  EXPECT_EQ(TgtPDFFont(font("DejaVu Sans", 0, RUSSIAN_CHARSET), 0, false).Info.FontKind,
            fkTrueType);
  // A charset the face does not cover leaves the TrueType kind.
  EXPECT_NE(TgtPDFFont(font("DejaVu Sans", 0, SHIFTJIS_CHARSET), 0, false).Info.FontKind,
            fkTrueType);
}

TEST(PdfFonts, WidthRunsAndToUnicodeCMap) {
  EXPECT_EQ(WidthRuns({5, 6, 7, 9, 10, 4}, {500, 500, 600, 600, 600, 600}),
            "5 6 500 7 7 600 9 10 600 4 4 600 ");
  EXPECT_EQ(WidthRuns({}, {}), "");
  EXPECT_EQ(IdentityHCMap({}, {}), "");
  const std::string cmap = IdentityHCMap({0x24, 0x10, 0x1E5}, {U'A', U'\u0416', U'\U0001F600'});
  EXPECT_EQ(
      cmap.rfind("%!PS-Adobe-3.0 Resource-CMap\r\n%%DocumentNeededResources: ProcSet (CIDInit)\r\n",
                 0),
      0u);
  EXPECT_NE(
      cmap.find("%%BeginResource: CMap (Identity-H)\r\n%%Title: (Identity-H Adobe Identity 0)\r\n"
                "%%Version: 10.001\r\n"),
      std::string::npos);
  EXPECT_NE(
      cmap.find(
          "\r\n%%EndComments\r\n/CIDInit /ProcSet findresource begin\r\n12 dict "
          "begin\r\nbegincmap\r\n"
          "/CIDSystemInfo 3 dict dup begin\r\n/Registry (Adobe) def\r\n/Ordering (Identity) def\r\n"
          "/Supplement 0 def\r\nend def\r\n/CMapName /Identity-H def\r\n/CMapVersion 10.001 def\r\n"
          "/CMapType 1 def\r\n/XUID [1 10 25404 9999] def\r\n/WMode 0 def\r\n1 "
          "begincodespacerange\r\n"
          "<0000> <FFFF>\r\nendcodespacerange\r\n3 beginbfchar\r\n<0024> <0041>\r\n"
          "<0010> <0416>\r\n<01E5> <D83DDE00>\r\nendbfchar\r\nendcmap\r\n"
          "CMapName currentdict /CMap defineresource pop\r\nend\r\nend\r\n%%EndResource\r\n%%EOF"),
      std::string::npos)
      << cmap;
  EXPECT_EQ(cmap.substr(cmap.size() - 5), "%%EOF");
  // At most 100 entries to a block.
  std::vector<uint16_t> codes;
  std::vector<char32_t> chars;
  for (uint16_t i = 0; i < 150; ++i) {
    codes.push_back(static_cast<uint16_t>(i + 3));
    chars.push_back(U'a' + i);
  }
  const std::string big = IdentityHCMap(codes, chars);
  EXPECT_NE(big.find("\r\n100 beginbfchar\r\n<0003> <0061>\r\n"), std::string::npos);
  EXPECT_NE(big.find("<0066> <00C4>\r\nendbfchar\r\n50 beginbfchar\r\n<0067> <00C5>\r\n"),
            std::string::npos);
}

// Standard faces in a bold or italic style are named as that variant, whose widths they
// carry; text is written in the encoding the font dictionary names.
TEST(PdfEngineText, StyledStandardFacesAndEncodings) {
  const std::u16string text = u"café – 25° naïve “Ölmühle”";
  struct Case {
    TgtPDFFontEncoding encoding;
    const char* name;  // what the dictionary names
  };
  for (Case c : {Case{TgtPDFFontEncoding::feWinAnsiEncoding, "WinAnsiEncoding"},
                 Case{TgtPDFFontEncoding::feMacRomanEncoding, "MacRomanEncoding"},
                 Case{TgtPDFFontEncoding::fePDFDocEncoding, "WinAnsiEncoding"},
                 Case{TgtPDFFontEncoding::feStandardEncoding, "WinAnsiEncoding"}}) {
    SCOPED_TRACE(c.name);
    MemDoc d;
    d.e.SetFontEncoding(c.encoding);
    d.e.BeginDoc();
    d.e.TextOut(text, 96, 96);
    d.e.Font().Style = fsBold;
    d.e.TextOut(u"Bold", 96, 120);
    d.e.Font().Name = "Times-Roman";
    d.e.Font().Style = fsItalic;
    d.e.TextOut(u"Italic", 96, 144);
    d.e.Font().Name = "Courier";
    d.e.Font().Style = fsBold | fsItalic;
    d.e.TextOut(u"Both", 96, 168);
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    const std::string fonts = Pdffonts(pdf);
    const std::string enc =
        c.encoding == TgtPDFFontEncoding::feMacRomanEncoding ? "MacRoman" : "WinAnsi";
    for (const char* face : {"Helvetica", "Helvetica-Bold", "Times-Italic", "Courier-BoldOblique"})
      EXPECT_NE(fonts.find(std::string("\n") + face + " Type 1 " + enc + " no no no"),
                std::string::npos)
          << face << "\n"
          << fonts;
    const std::string font = PdfObject(pdf, 9);
    EXPECT_NE(font.find("/BaseFont /Helvetica/Encoding /" + std::string(c.name) + "/FirstChar"),
              std::string::npos)
        << font;
    // The bytes of "é" and its width follow the encoding.
    const bool mac = c.encoding == TgtPDFFontEncoding::feMacRomanEncoding;
    const unsigned char eAcute = mac ? 0x8E : 0xE9;
    const std::string content = PdfStreamData(pdf, 7);
    EXPECT_NE(content.find(std::string("(caf") + static_cast<char>(eAcute) + " "),
              std::string::npos);
    const size_t w = font.find("/Widths [") + 9;
    std::vector<int> widths;
    for (size_t p = w; widths.size() < 224; p = font.find(' ', p) + 1)
      widths.push_back(std::stoi(font.substr(p)));
    EXPECT_EQ(widths[eAcute - 32], 556);               // Helvetica's eacute
    EXPECT_EQ(widths[(mac ? 0xA1 : 0xB0) - 32], 400);  // degree
    Tools t = Check(pdf);
    EXPECT_EQ(t.Problems, "");
    EXPECT_NE(t.Text.find(Utf16ToUtf8(text)), std::string::npos) << t.Text;
    EXPECT_NE(t.Text.find("Italic"), std::string::npos) << t.Text;
    if (std::string mutool = pvtest::FindTool("mutool"); !mutool.empty()) {
      pvtest::TempDir dir;
      pvtest::WriteFile(dir / "t.pdf", pdf);
      pvtest::RunResult r = pvtest::RunProgram(
          {mutool, "draw", "-q", "-F", "txt", "-o", "-", (dir / "t.pdf").string()}, dir.path());
      EXPECT_NE(r.out.find(Utf16ToUtf8(text)), std::string::npos) << r.out;
    }
  }
}

// Direct text keeps its point size, underline and link rectangle whatever the input
// resolution: at 1000 dots per inch the page's scaling shrinks the content 10.4 times.
TEST(PdfEngineText, DirectTextAtTheInputResolution) {
  if (pvtest::FindTool("pdftotext").empty()) GTEST_SKIP() << "pdftotext is not installed";
  struct Word {
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  };
  struct Page {
    Word word;
    std::string link;  // the annotation's /Rect
    pvtest::Box underline;
  };
  auto page = [](int32_t resolution) {
    MemDoc d(resolution);
    d.e.SetMeasurementUnit(TgtUnitType::muInches);
    d.e.Font().SetSize(20);
    d.e.Font().Style = fsUnderline;
    d.e.BeginDoc();
    d.e.TextOut(u"Visit www.example.com", 1, 1);
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    EXPECT_EQ(Check(pdf).Problems, "") << resolution;
    Page p;
    const std::string annot = PdfObject(pdf, FindObject(pdf, "/Subtype/Link"));
    p.link = annot.substr(annot.find("/Rect ["),
                          annot.find(']', annot.find("/Rect [")) - annot.find("/Rect ["));
    pvtest::TempDir dir;
    pvtest::WriteFile(dir / "t.pdf", pdf);
    pvtest::RunResult bbox = pvtest::RunProgram(
        {pvtest::FindTool("pdftotext"), "-bbox", (dir / "t.pdf").string(), "-"}, dir.path());
    const size_t tag = bbox.out.rfind("<word", bbox.out.find(">Visit<"));
    EXPECT_NE(tag, std::string::npos) << bbox.out;
    if (tag != std::string::npos)
      std::sscanf(bbox.out.c_str() + tag,
                  "<word xMin=\"%lf\" yMin=\"%lf\" xMax=\"%lf\" yMax=\"%lf\"", &p.word.xMin,
                  &p.word.yMin, &p.word.xMax, &p.word.yMax);
    // The underline: the dark pixels below the word's box at 100 dpi.
    const pvtest::GreyImage img = pvtest::RenderPage(dir / "t.pdf", 1, 100);
    if (!img.empty())
      p.underline = pvtest::DarkBox(img, 90, static_cast<int>(p.word.yMax * 100 / 72) - 4, 600,
                                    static_cast<int>(p.word.yMax * 100 / 72) + 8);
    return p;
  };
  const Page screen = page(kScreenPPI), fine = page(1000);
  // A 20-point word one inch from the top left, the same at both resolutions.
  EXPECT_NEAR(screen.word.xMin, 72, 0.5);
  EXPECT_NEAR(screen.word.yMax - screen.word.yMin, 19, 3);
  EXPECT_NEAR(fine.word.xMin, screen.word.xMin, 0.5);
  EXPECT_NEAR(fine.word.xMax, screen.word.xMax, 0.5);
  EXPECT_NEAR(fine.word.yMin, screen.word.yMin, 0.5);
  EXPECT_NEAR(fine.word.yMax, screen.word.yMax, 0.5);
  EXPECT_EQ(fine.link, screen.link);
  EXPECT_GT(screen.underline.width(), 100);
  EXPECT_NEAR(fine.underline.left, screen.underline.left, 1);
  EXPECT_NEAR(fine.underline.right, screen.underline.right, 1);
  EXPECT_NEAR(fine.underline.height(), screen.underline.height(), 1);
}

// Every subset is tagged by its own glyph set, and the same document gets the same tags.
TEST(PdfEngineText, SubsetTagsDifferPerSubsetAndRepeat) {
  if (!HaveDejaVu()) GTEST_SKIP() << "DejaVu Sans is not installed";
  auto document = [](const std::u16string& first) {
    MemDoc d;
    d.e.Preferences().SetEmbedTrueTypeFonts(TgtTTFontEmbedding::etfSubset);
    d.e.Font().Name = "DejaVu Sans";
    d.e.BeginDoc();
    d.e.TextOut(first, 96, 96);
    d.e.Font().Style = fsBold;
    d.e.TextOut(u"abc", 96, 120);
    d.e.Font().Style = 0;
    d.e.Font().Charset = RUSSIAN_CHARSET;
    d.e.TextOut(u"абв", 96, 144);
    d.e.EndDoc();
    return d.Pdf();
  };
  const std::string pdf = document(u"abc");
  // Two simple fonts and a composite one (which writes no blank after /BaseFont).
  const std::vector<std::string> tags = {SubsetTagAfter(PdfObject(pdf, 9), "/BaseFont /"),
                                         SubsetTagAfter(PdfObject(pdf, 10), "/BaseFont /"),
                                         SubsetTagAfter(PdfObject(pdf, 11), "/BaseFont/")};
  for (const std::string& t : tags) EXPECT_FALSE(t.empty()) << pdf.substr(pdf.find("9 0 obj"));
  EXPECT_NE(tags[0], tags[1]);
  EXPECT_NE(tags[0], tags[2]);
  EXPECT_NE(tags[1], tags[2]);
  const std::string fonts = Pdffonts(pdf);
  for (const std::string& t : tags) EXPECT_EQ(CountOf(fonts, "\n" + t), 1u) << fonts;
  EXPECT_EQ(Check(pdf).Problems, "");
  // Reproducible: the same text gives the same tag; other glyphs another.
  EXPECT_EQ(SubsetTagAfter(PdfObject(document(u"abc"), 9), "/BaseFont /"), tags[0]);
  EXPECT_NE(SubsetTagAfter(PdfObject(document(u"abd"), 9), "/BaseFont /"), tags[0]);
}

// Variables are substituted once, before the text reaches the PDF: what an OnCalcVariables
// handler writes is shown as it wrote it, and with substitution off nothing is replaced.
TEST(PdfEngineText, VariablesAreSubstitutedOnce) {
  for (bool calculate : {true, false}) {
    SCOPED_TRACE(calculate);
    MemDoc d;
    d.e.Preferences().SetCalculateVariables(calculate);
    d.e.OnCalcVariables = [](TgtCustomDocumentEngine&, std::u16string& s) {
      const size_t at = s.find(u"{token}");
      if (at != std::u16string::npos) s.replace(at, 7, u"<%Pg#%>");
    };
    d.e.BeginDoc();
    d.e.TextOut(u"Page <%Pg#%> of <%PgCnt%>", 96, 96);
    d.e.TextOut(u"Write {token} for the page number", 96, 120);
    d.e.NewPage();
    d.e.EndDoc();
    Tools t = Check(d.Pdf());
    EXPECT_EQ(t.Problems, "");
    if (calculate) {
      EXPECT_NE(t.Text.find("Page 1 of 2"), std::string::npos) << t.Text;
      EXPECT_NE(t.Text.find("Write <%Pg#%> for the page number"), std::string::npos) << t.Text;
    } else {
      EXPECT_NE(t.Text.find("Page <%Pg#%> of <%PgCnt%>"), std::string::npos) << t.Text;
      EXPECT_NE(t.Text.find("Write {token} for"), std::string::npos) << t.Text;
    }
  }
}
