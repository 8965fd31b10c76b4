#include "pdf/engine.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "docengine/emf.h"
#include "docengine/metafile.h"
#include "docengine/metafile_canvas.h"
#include "pdf/syntax.h"
#include "support/pdf_doc.h"
#include "support/support.h"

using namespace pv;
using pvtest::Inflated;
using pvtest::PdfObject;
using pvtest::PdfStreamData;
namespace fs = std::filesystem;

namespace {

using pvtest::MemDoc;

// The cross-reference table of a file, checked on the way: every entry but 0 in use and
// pointing at its "n 0 obj", /Size matching, startxref at "xref". Offsets by object number.
struct XRef {
  std::map<int, size_t> Offsets;
  int Size = 0;
  std::vector<std::string> Problems;
};

XRef ReadXRef(const std::string& pdf) {
  XRef x;
  auto problem = [&](std::string p) { x.Problems.push_back(std::move(p)); };
  if (pdf.compare(0, 17, std::string("%PDF-1.4\r\n%\xE2\xE3\xCF\xD3\r\n", 17)) != 0)
    problem("header");
  if (pdf.size() < 5 || pdf.compare(pdf.size() - 5, 5, "%%EOF") != 0)
    problem("no %%EOF at the end");
  size_t sx = pdf.rfind("startxref\r\n");
  if (sx == std::string::npos) {
    problem("no startxref");
    return x;
  }
  size_t at = std::stoul(pdf.substr(sx + 11));
  if (pdf.compare(at, 6, "xref\r\n") != 0) {
    problem("startxref does not point at xref");
    return x;
  }
  size_t line = pdf.find("\r\n", at + 6);
  if (pdf.compare(at + 6, 2, "0 ") != 0) problem("xref does not start at 0");
  x.Size = std::stoi(pdf.substr(at + 8, line - at - 8));
  size_t p = line + 2;
  if (pdf.compare(p, 20, "0000000000 65535 f\r\n") != 0) problem("entry 0");
  for (int k = 1; k < x.Size; ++k) {
    std::string e = pdf.substr(p + 20 * static_cast<size_t>(k), 20);
    if (e.size() != 20 || e.compare(10, 10, " 00000 n\r\n") != 0) {
      problem("entry " + std::to_string(k) + ": " + e);
      continue;
    }
    size_t off = std::stoul(e.substr(0, 10));
    std::string head = std::to_string(k) + " 0 obj\r\n";
    if (pdf.compare(off, head.size(), head) != 0) problem("offset of object " + std::to_string(k));
    x.Offsets[k] = off;
  }
  size_t trailer = p + 20 * static_cast<size_t>(x.Size);
  if (pdf.compare(trailer, 13, "trailer\r\n<<\r\n") != 0) problem("trailer after the table");
  if (pdf.find("/Size " + std::to_string(x.Size), trailer) == std::string::npos) problem("/Size");
  return x;
}

// Order of the objects in the file.
std::vector<int> FileOrder(const XRef& x) {
  std::vector<std::pair<size_t, int>> v;
  for (auto [n, off] : x.Offsets) v.emplace_back(off, n);
  std::sort(v.begin(), v.end());
  std::vector<int> order;
  for (auto [off, n] : v) order.push_back(n);
  return order;
}

std::string Hex(std::string_view bytes) {
  return HexString(bytes);
}

std::string WriteTemp(const pvtest::TempDir& dir, const std::string& name, const std::string& pdf) {
  fs::path p = dir / name;
  pvtest::WriteFile(p, pdf);
  return p.string();
}

// Checks with qpdf, pdftoppm and mutool; empty when all agree the file is good.
std::string ToolProblems(const std::string& pdf) {
  pvtest::TempDir dir;
  std::string problems;
  for (const std::string& p : pvtest::CheckPdf(WriteTemp(dir, "t.pdf", pdf))) problems += p + "\n";
  return problems;
}

}  // namespace

namespace {

std::string Join(const std::vector<std::string>& v) {
  std::string s;
  for (const auto& e : v) s += e + "\n";
  return s;
}

// FE FF and each character high byte first, in hexadecimal: the text string of ASCII text.
std::string Utf16Hex(const std::string& ascii) {
  std::string s = "FEFF";
  for (char c : ascii) s += "00" + Hex(std::string(1, c));
  return s;
}

const std::string kBackground612x792 =
    "\r\nq\r\n1.0000 1.0000 1.0000 rg n 0.0000 0.0000 612.0000 792.0000 re f \r\n\r\nQ";

}  // namespace

TEST(PdfEngine, OnePageObjectsAndFileOrder) {
  MemDoc d;
  d.e.BeginDoc();
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  XRef x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  EXPECT_EQ(x.Size, 9);
  EXPECT_EQ(FileOrder(x), (std::vector<int>{1, 6, 7, 8, 2, 5, 4, 3}));
  EXPECT_EQ(x.Offsets[1], 17u);  // the catalog follows the 17 header bytes
  EXPECT_EQ(PdfObject(pdf, 1),
            "1 0 obj\r\n<<\r\n/Type/Catalog/Pages 2 0 R/PageMode/UseNone/PageLayout/OneColumn"
            "/ViewerPreferences << >>\r\n>>\r\nendobj\r\n");
  EXPECT_EQ(PdfObject(pdf, 6),
            "6 0 obj\r\n<<\r\n/Type/Page/Parent 2 0 R/MediaBox [0 0 612.0000 792.0000]"
            "/Resources 5 0 R/Contents 7 0 R/Dur 1/Trans <</Type/Trans/D 1/S/R >>\r\n>>\r\n"
            "endobj\r\n");
  const std::string content = PdfStreamData(pdf, 7);
  EXPECT_EQ(PdfObject(pdf, 7).rfind(
                "7 0 obj\r\n<<\r\n/Length 8 0 R/Filter /FlateDecode\r\n>>\r\nstream\r\n", 0),
            0u);
  EXPECT_EQ(PdfObject(pdf, 8), "8 0 obj\r\n" + std::to_string(content.size()) + "\r\nendobj\r\n");
  EXPECT_EQ(Inflated(content), "q 1.0000 0 0 1.0000 0 0 cm\r\n" + kBackground612x792 + "\r\nQ\r\n");
  EXPECT_EQ(PdfObject(pdf, 2),
            "2 0 obj\r\n<<\r\n/Type/Pages/Count 1/Kids [6 0 R]\r\n>>\r\nendobj\r\n");
  EXPECT_EQ(PdfObject(pdf, 5), "5 0 obj\r\n<<\r\n/ProcSet 4 0 R\r\n>>\r\nendobj\r\n");
  EXPECT_EQ(PdfObject(pdf, 4), "4 0 obj\r\n[/PDF /Text /ImageC]\r\nendobj\r\n");
  const std::string date = Hex(d.e.DocumentDate());
  EXPECT_EQ(PdfObject(pdf, 3), "3 0 obj\r\n<<\r\n/CreationDate <" + date + ">/ModDate <" + date +
                                   ">/Producer <" + Utf16Hex("Folioforge V2.41") +
                                   ">\r\n>>\r\nendobj\r\n");
  const size_t xref = pdf.find("xref\r\n");
  EXPECT_EQ(x.Offsets[3] + PdfObject(pdf, 3).size(), xref);  // the table follows object 3
  EXPECT_EQ(pdf.substr(pdf.find("trailer")),
            "trailer\r\n<<\r\n/Root 1 0 R/Info 3 0 R/Size 9\r\n>>\r\nstartxref\r\n" +
                std::to_string(xref) + "\r\n%%EOF");
  EXPECT_EQ(ToolProblems(pdf), "");
}

TEST(PdfEngine, TwoPagesOfTheirOwnSize) {
  MemDoc d;
  d.e.SetItemsToRender({irText, irShape});
  d.e.BeginDoc();
  d.e.Page().SetOrientation(TPrinterOrientation::poLandscape);
  d.e.NewPage();
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  XRef x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  EXPECT_EQ(x.Size, 12);
  EXPECT_EQ(FileOrder(x), (std::vector<int>{1, 6, 7, 8, 9, 10, 11, 2, 5, 4, 3}));
  EXPECT_NE(
      PdfObject(pdf, 6).find("/MediaBox [0 0 612.0000 792.0000]/Resources 5 0 R/Contents 7 0 R"),
      std::string::npos);
  EXPECT_NE(
      PdfObject(pdf, 9).find("/MediaBox [0 0 792.0000 612.0000]/Resources 5 0 R/Contents 10 0 R"),
      std::string::npos);
  EXPECT_NE(Inflated(PdfStreamData(pdf, 10)).find("0.0000 0.0000 792.0000 612.0000 re f"),
            std::string::npos);
  EXPECT_EQ(PdfObject(pdf, 2),
            "2 0 obj\r\n<<\r\n/Type/Pages/Count 2/Kids [6 0 R 9 0 R]\r\n>>\r\nendobj\r\n");
  EXPECT_EQ(PdfObject(pdf, 4), "4 0 obj\r\n[/PDF /Text]\r\nendobj\r\n");
  EXPECT_EQ(ToolProblems(pdf), "");
}

TEST(PdfEngine, UncompressedContentAtTheInputResolution) {
  MemDoc d(1000);
  d.e.Compression().Enabled = false;
  d.e.OnAfterBeginPage = [&](TgtCustomDocumentEngine&) {
    d.e.RenderLine(TPen{clBlack, 10, TPenStyle::psSolid}, 96, 96, 192, 96);
  };
  d.e.BeginDoc();
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  XRef x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  // The page scaling is 96 / 1000; coordinates are written at the input resolution, pen
  // widths in points under the same scaling.
  const std::string content =
      "q 0.0960 0 0 0.0960 0 0 cm\r\n"
      "\r\nq\r\n1.0000 1.0000 1.0000 rg n 0.0000 0.0000 6375.0000 8250.0000 re f \r\n\r\nQ"
      "\r\nq []0 d 7.5000 w 0.0000 0.0000 0.0000 RG 750.0000 7500.0000 m 1500.0000 7500.0000 l S"
      "\r\nQ\r\nQ\r\n";
  EXPECT_EQ(PdfObject(pdf, 7), "7 0 obj\r\n<<\r\n/Length 8 0 R\r\n>>\r\nstream\r\n" + content +
                                   "\r\nendstream\r\nendobj\r\n");
  EXPECT_EQ(PdfObject(pdf, 8), "8 0 obj\r\n" + std::to_string(content.size()) + "\r\nendobj\r\n");
  EXPECT_EQ(ToolProblems(pdf), "");
}

TEST(PdfEngine, CompressionLevels) {
  struct Case {
    TgtCompressionLevel level;
    uint8_t flags;  // second byte of the zlib header
    bool stored;
  };
  for (Case c : {Case{TgtCompressionLevel::clFastest, 0x01, true},
                 Case{TgtCompressionLevel::clNormal, 0x01, false},
                 Case{TgtCompressionLevel::clMaxCompress, 0x9C, false}}) {
    MemDoc d;
    d.e.Compression().Level = c.level;
    d.e.BeginDoc();
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    XRef x = ReadXRef(pdf);
    ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
    const std::string data = PdfStreamData(pdf, 7);
    ASSERT_GT(data.size(), 3u);
    EXPECT_EQ(static_cast<uint8_t>(data[0]), 0x78);
    EXPECT_EQ(static_cast<uint8_t>(data[1]), c.flags);
    // The first deflate block: type 00 is a stored block.
    EXPECT_EQ(((static_cast<uint8_t>(data[2]) >> 1) & 3) == 0, c.stored);
    EXPECT_EQ(data.find("612.0000 792.0000 re f") != std::string::npos, c.stored);
    EXPECT_EQ(Inflated(data), "q 1.0000 0 0 1.0000 0 0 cm\r\n" + kBackground612x792 + "\r\nQ\r\n");
  }
}

TEST(PdfEngine, CommaDecimalLocaleStillWritesPoints) {
  pvtest::TempDir locales;
  std::string previous = std::setlocale(LC_ALL, nullptr);
  bool ok = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  if (!ok && !pvtest::FindTool("localedef").empty()) {
    // Build the locale privately when the system has none installed.
    pvtest::RunResult r = pvtest::RunProgram({pvtest::FindTool("localedef"), "-i", "de_DE", "-f",
                                              "UTF-8", (locales / "de_DE.UTF-8").string()},
                                             locales.path());
    setenv("LOCPATH", locales.path().c_str(), 1);
    ok = r.status <= 1 && std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  }
  if (!ok || std::strcmp(std::localeconv()->decimal_point, ",") != 0) {
    std::setlocale(LC_ALL, previous.c_str());
    unsetenv("LOCPATH");
    GTEST_SKIP() << "no locale with a decimal comma";
  }
  MemDoc d(1000);
  d.e.Compression().Enabled = false;
  d.e.BeginDoc();
  d.e.EndDoc();
  std::setlocale(LC_ALL, previous.c_str());
  unsetenv("LOCPATH");
  const std::string pdf = d.Pdf();
  EXPECT_NE(pdf.find("q 0.0960 0 0 0.0960 0 0 cm\r\n"), std::string::npos);
  EXPECT_NE(pdf.find("/MediaBox [0 0 612.0000 792.0000]"), std::string::npos);
  EXPECT_NE(pdf.find("1.0000 1.0000 1.0000 rg n 0.0000 0.0000 6375.0000 8250.0000 re f"),
            std::string::npos);
  EXPECT_EQ(pdf.find("0,0960"), std::string::npos);
}

namespace {

using pvtest::ScopedEnv;

std::string DateOf(MemDoc& d) {
  d.e.BeginDoc();
  std::string date = d.e.DocumentDate();
  d.e.EndDoc();
  return date;
}

}  // namespace

TEST(PdfEngine, DocumentDateAndTimeZones) {
  {
    ScopedEnv epoch("SOURCE_DATE_EPOCH", "86461");
    MemDoc d;
    EXPECT_EQ(DateOf(d), "D:19700102000101+00'00'");
    const std::string pdf = d.Pdf();
    const std::string hex = Hex("D:19700102000101+00'00'");
    EXPECT_NE(pdf.find("/CreationDate <" + hex + ">/ModDate <" + hex + ">"), std::string::npos);
  }
  ScopedEnv noEpoch("SOURCE_DATE_EPOCH", nullptr);
  struct Zone {
    const char* tz;
    const char* text;
  };
  for (Zone z : {Zone{"IST-5:30", "+05'30'"}, Zone{"EST5", "-05'00'"}, Zone{"UTC0", "+00'00'"},
                 Zone{"NST3:30", "-03'30'"}}) {
    ScopedEnv tz("TZ", z.tz);
    MemDoc d;
    const std::string date = DateOf(d);
    ASSERT_EQ(date.size(), 23u) << date;
    EXPECT_EQ(date.substr(0, 2), "D:");
    EXPECT_EQ(date.substr(16), z.text) << z.tz;
  }
}

TEST(PdfEngine, DocInfoLeavesOutEmptyValues) {
  MemDoc d;
  d.e.DocInfo().Author = u"Ann (ä)";
  d.e.DocInfo().Title = u"   ";
  d.e.DocInfo().Subject = u"";
  d.e.DocInfo().Keywords = u" pcb ";
  d.e.DocInfo().Creator = u"\t";
  d.e.BeginDoc();
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  ASSERT_TRUE(ReadXRef(pdf).Problems.empty());
  const std::string date = Hex(d.e.DocumentDate());
  // Values are written untrimmed, in the order Author, Keywords, Creator, Title, Subject.
  EXPECT_EQ(PdfObject(pdf, 3), "3 0 obj\r\n<<\r\n/CreationDate <" + date + ">/ModDate <" + date +
                                   ">/Producer <" + Utf16Hex("Folioforge V2.41") +
                                   ">/Author <FEFF0041006E006E00200028"
                                   "00E4"
                                   "0029>"
                                   "/Keywords <" +
                                   Utf16Hex(" pcb ") + ">\r\n>>\r\nendobj\r\n");
}

TEST(PdfEngine, ViewerPreferencesAndPageTransition) {
  MemDoc d;
  TgtViewerPreferences& v = d.e.ViewerPreferences();
  v.PageMode = TgtPageMode::pmFullScreen;
  v.PageLayout = TgtPageLayout::plTwoColumnRight;
  v.CenterWindow = v.FitWindow = v.HideWindowUI = v.HideMenuBar = v.HideToolBar = true;
  v.NonFullScreenPageMode = TgtNonFullScreenPageMode::nfspmUseThumbs;
  v.PresentationMode.Duration = 3;
  v.PresentationMode.TransitionEffect = TgtTransitionEffect::teWipeBottomToTop;
  d.e.BeginDoc();
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  ASSERT_TRUE(ReadXRef(pdf).Problems.empty());
  EXPECT_EQ(
      PdfObject(pdf, 1),
      "1 0 obj\r\n<<\r\n/Type/Catalog/Pages 2 0 R/PageMode/FullScreen/PageLayout/TwoColumnRight"
      "/ViewerPreferences <</CenterWindow true/FitWindow true/HideWindowUI true"
      "/HideMenubar true/HideToolbar true/NonFullScreenPageMode/UseThumbs >>\r\n>>\r\nendobj\r\n");
  EXPECT_NE(
      PdfObject(pdf, 6).find("/Contents 7 0 R/Dur 3/Trans <</Type/Trans/D 3/S/Wipe/Di 90 >>\r\n>>"),
      std::string::npos);
  EXPECT_EQ(ToolProblems(pdf), "");

  MemDoc g;
  g.e.ViewerPreferences().PresentationMode.TransitionEffect =
      TgtTransitionEffect::teGlitterTopLeftToBottomRight;
  g.e.BeginDoc();
  g.e.EndDoc();
  EXPECT_NE(g.Pdf().find("/Dur 1/Trans <</Type/Trans/D 1/S/Glitter/Di 315 >>"), std::string::npos);
}

TEST(PdfEngine, ExcludedPagesAndADocumentWithoutPages) {
  MemDoc d;
  d.e.SetPagesToRender("2");
  d.e.BeginDoc();
  d.e.NewPage();
  d.e.EndDoc();
  std::string pdf = d.Pdf();
  XRef x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  EXPECT_EQ(x.Size, 9);
  EXPECT_EQ(FileOrder(x), (std::vector<int>{1, 6, 7, 8, 2, 5, 4, 3}));
  EXPECT_NE(PdfObject(pdf, 2).find("/Count 1/Kids [6 0 R]"), std::string::npos);
  EXPECT_EQ(ToolProblems(pdf), "");

  // No page selected: the catalog is still written, so the file stays well formed.
  MemDoc none;
  none.e.SetPagesToRender("7");
  none.e.BeginDoc();
  none.e.EndDoc();
  pdf = none.Pdf();
  x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  EXPECT_EQ(x.Size, 6);
  EXPECT_EQ(FileOrder(x), (std::vector<int>{1, 2, 5, 4, 3}));
  EXPECT_EQ(PdfObject(pdf, 2), "2 0 obj\r\n<<\r\n/Type/Pages/Count 0/Kids []\r\n>>\r\nendobj\r\n");
}

TEST(PdfEngine, OutputFileReplacedOnlyWhenComplete) {
  pvtest::TempDir dir;
  const fs::path target = dir / "board.pdf";
  pvtest::WriteFile(target, "old");
  TgtPDFEngine e;
  e.Preferences().SetShowSetupDialog(false);
  e.Preferences().SetOpenAfterCreate(false);
  e.SetFileName((dir / "board.gbr").string());
  e.BeginDoc();
  EXPECT_EQ(e.OutputFiles(), std::vector<std::string>{target.string()});
  EXPECT_EQ(pvtest::ReadFile(target), "old");  // the document goes elsewhere until complete
  e.EndDoc();
  EXPECT_EQ(pvtest::ReadFile(target).rfind("%PDF-1.4\r\n", 0), 0u);
  EXPECT_TRUE(ReadXRef(pvtest::ReadFile(target)).Problems.empty());
  std::vector<std::string> names;
  for (const auto& f : fs::directory_iterator(dir.path()))
    names.push_back(f.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"board.pdf"});

  // A folder that does not exist, and a folder where the file should go.
  fs::create_directory(dir / "taken.pdf");
  for (const fs::path& name : {dir / "missing" / "x.gbr", dir / "taken.gbr"}) {
    TgtPDFEngine f;
    f.Preferences().SetShowSetupDialog(false);
    f.Preferences().SetOpenAfterCreate(false);
    f.SetFileName(name.string());
    try {
      f.BeginDoc();
      ADD_FAILURE() << "no error for " << name;
    } catch (const EFileCreateError& err) {
      EXPECT_STREQ(err.what(),
                   "File could not be created!\r\n\r\nPossible cause: It could be in use by some "
                   "other application");
    }
    EXPECT_EQ(f.DocumentState(), TgtDocumentState::dsFailed);
    EXPECT_FALSE(f.DocumentOpen());
    EXPECT_TRUE(f.OutputFiles().empty());
  }
  EXPECT_TRUE(fs::is_directory(dir / "taken.pdf"));
  EXPECT_FALSE(fs::exists(dir / "missing"));
}

TEST(PdfEngine, ImageFormatCheck) {
  TgtPDFEngine e;
  for (TgtOutputImageFormat f : {TgtOutputImageFormat::ifBMP, TgtOutputImageFormat::ifJPEG,
                                 TgtOutputImageFormat::ifCCITT3, TgtOutputImageFormat::ifCCITT4})
    EXPECT_NO_THROW(e.CheckOutputImageFormat(f));
  for (TgtOutputImageFormat f : {TgtOutputImageFormat::ifGIF, TgtOutputImageFormat::ifPNG,
                                 TgtOutputImageFormat::ifMetafile}) {
    try {
      e.CheckOutputImageFormat(f);
      ADD_FAILURE() << "accepted " << static_cast<int>(f);
    } catch (const EDocumentEngineError& err) {
      EXPECT_STREQ(err.what(), "The PDF Engine does not support image format");
    }
  }
  std::string handed;
  e.OnErrorMessage = [&](TgtCustomDocumentEngine&, const EDocumentEngineError& err) {
    handed = err.what();
  };
  EXPECT_NO_THROW(e.CheckOutputImageFormat(TgtOutputImageFormat::ifPNG));
  EXPECT_EQ(handed, "The PDF Engine does not support image format");
}

namespace {

std::string Qpdf(const std::vector<std::string>& args, int* status = nullptr) {
  std::vector<std::string> argv{pvtest::FindTool("qpdf")};
  argv.insert(argv.end(), args.begin(), args.end());
  pvtest::TempDir cwd;
  pvtest::RunResult r = pvtest::RunProgram(argv, cwd.path());
  if (status) *status = r.status;
  return r.out + r.err;
}

}  // namespace

TEST(PdfEngine, EncryptedDocumentsOpenWithEitherPassword) {
  if (pvtest::FindTool("qpdf").empty()) GTEST_SKIP() << "qpdf is not installed";
  for (TgtPDFEncryptionLevel level :
       {TgtPDFEncryptionLevel::el40bit, TgtPDFEncryptionLevel::el128bit}) {
    for (const char* user : {"user", ""}) {
      MemDoc d;
      d.e.SetFileName("/tmp/secret.gbr");
      d.e.Encryption().SetEnabled(true);
      d.e.Encryption().SetLevel(level);
      d.e.Encryption().SetUserPassword(user);
      d.e.Encryption().SetOwnerPassword("owner");
      d.e.DocInfo().Title = u"Secret board";
      d.e.OnAfterBeginPage = [&](TgtCustomDocumentEngine&) {
        TBrush b{0xFF0000, TBrushStyle::bsSolid};
        d.e.RenderRectangle(TPen{clBlack, 1, TPenStyle::psSolid}, &b, 10, 10, 100, 100);
      };
      d.e.BeginDoc();
      d.e.EndDoc();
      const std::string pdf = d.Pdf();
      XRef x = ReadXRef(pdf);
      ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
      EXPECT_EQ(x.Size, 10);
      const bool r3 = level == TgtPDFEncryptionLevel::el128bit;
      EXPECT_EQ(PdfObject(pdf, 9).rfind(std::string("9 0 obj\r\n<<\r\n") +
                                            (r3 ? "/V 2/R 3/P -4/Length 128" : "/V 1/R 2/P -4") +
                                            "/Filter/Standard/O <",
                                        0),
                0u);
      const size_t id = pdf.find("/Root 1 0 R/Info 3 0 R/Size 10/ID [<");
      ASSERT_NE(id, std::string::npos);
      const std::string first = pdf.substr(id + 36, 32);
      EXPECT_EQ(pdf.substr(id + 68, 50), "><" + first + ">]/Encrypt 9 0 R");
      EXPECT_EQ(pdf.find(Utf16Hex("Folioforge")), std::string::npos);  // strings are encrypted

      pvtest::TempDir dir;
      const std::string file = WriteTemp(dir, "secret.pdf", pdf);
      for (const std::string& pw : {std::string(user), std::string("owner")}) {
        int status = -1;
        std::string out = Qpdf({"--password=" + pw, "--check", file}, &status);
        EXPECT_EQ(status, 0) << pw << ": " << out;
        EXPECT_NE(out.find("No syntax or stream encoding errors"), std::string::npos) << out;
      }
      if (*user) {
        int status = -1;
        Qpdf({"--password=wrong", "--check", file}, &status);
        EXPECT_NE(status, 0);
      } else {
        EXPECT_EQ(ToolProblems(pdf), "");
      }
      // Decrypted, the content and the strings read as written.
      const std::string plain = (dir / "plain.pdf").string();
      int status = -1;
      Qpdf({"--password=owner", "--decrypt", "--stream-data=uncompress", file, plain}, &status);
      ASSERT_EQ(status, 0);
      const std::string text = pvtest::ReadFile(plain);
      EXPECT_NE(text.find("0.0000 0.0000 1.0000 rg 7.5000 717.0000 67.5000 67.5000 re f "),
                std::string::npos);
      if (std::string info = pvtest::FindTool("pdfinfo"); !info.empty()) {
        pvtest::RunResult r = pvtest::RunProgram({info, "-opw", "owner", file}, dir.path());
        EXPECT_NE(r.out.find("Secret board"), std::string::npos) << r.out << r.err;
        EXPECT_NE(r.out.find("Folioforge V2.41"), std::string::npos) << r.out;
      }
    }
  }
}

TEST(PdfEngine, HatchPatternsAreSharedResources) {
  for (bool compressed : {true, false}) {
    MemDoc d;
    d.e.Compression().Enabled = compressed;
    d.e.OnAfterBeginPage = [&](TgtCustomDocumentEngine&) {
      TBrush cross{clBlack, TBrushStyle::bsDiagCross}, lines{0x00FF00, TBrushStyle::bsHorizontal};
      TPen pen{clBlack, 1, TPenStyle::psSolid};
      d.e.RenderRectangle(pen, &cross, 10, 10, 100, 100);
      d.e.RenderRectangle(pen, &lines, 110, 10, 200, 100);
      d.e.RenderRectangle(pen, &cross, 210, 10, 300, 100);  // registered once
    };
    d.e.BeginDoc();
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    XRef x = ReadXRef(pdf);
    ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
    EXPECT_EQ(PdfObject(pdf, 5),
              "5 0 obj\r\n<<\r\n/ColorSpace <</CSP [/Pattern /DeviceRGB]>>\r\n/Pattern <</PDC 9 0 "
              "R/PH 10 0 R>>"
              "\r\n/ProcSet 4 0 R\r\n>>\r\nendobj\r\n");
    const std::string head =
        "9 0 obj\r\n<<\r\n/Type /Pattern\r\n/Resources << /ProcSet [/PDF ] >>\r\n/PatternType 1\r\n"
        "/PaintType 2\r\n/TilingType 1\r\n/BBox [0 0 5 5]\r\n/XStep 5\r\n/YStep 5\r\n";
    const std::string cell = "2 J 2 j 0.3 w 2.5 0 m 5 2.5 l 2.5 5 l 0 2.5 l s";
    if (compressed) {
      EXPECT_EQ(x.Size, 13);
      EXPECT_EQ(
          PdfObject(pdf, 9).rfind(head + "/Length\r\n11 0 R/Filter/FlateDecode>>\r\nstream\r\n", 0),
          0u);
      EXPECT_EQ(Inflated(PdfStreamData(pdf, 9)), cell);
      EXPECT_EQ(PdfObject(pdf, 11),
                "11 0 obj\r\n" + std::to_string(PdfStreamData(pdf, 9).size()) + "\r\nendobj\r\n");
      EXPECT_EQ(Inflated(PdfStreamData(pdf, 10)), "2 J 2 j 0.3 w 0 2.5 m 5 2.5 l S");
    } else {
      EXPECT_EQ(x.Size, 11);
      EXPECT_EQ(PdfObject(pdf, 9), head + "/Length " + std::to_string(cell.size()) +
                                       "\r\n>>\r\nstream\r\n" + cell +
                                       "\r\nendstream\r\nendobj\r\n");
      EXPECT_NE(
          pdf.find("/CSP cs 0.0000 1.0000 0.0000 /PH scn n 82.5000 717.0000 67.5000 67.5000 re f "),
          std::string::npos);
    }
    EXPECT_EQ(ToolProblems(pdf), "");
  }
}

namespace {

// A 24-bit bottom-up BMP file of 2 x 2 pixels: red, green on top; blue, white below.
std::vector<uint8_t> Bmp2x2() {
  std::vector<uint8_t> f(14 + 40 + 16, 0);
  auto u32 = [&](size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  u32(2, static_cast<uint32_t>(f.size()));
  u32(10, 54);
  u32(14, 40);
  u32(18, 2);
  u32(22, 2);
  f[26] = 1;
  f[28] = 24;
  const uint8_t rows[16] = {0xFF, 0, 0,    0xFF, 0xFF, 0xFF, 0, 0,   // bottom: blue, white (BGR)
                            0,    0, 0xFF, 0,    0xFF, 0,    0, 0};  // top: red, green
  std::memcpy(f.data() + 54, rows, 16);
  return f;
}

const uint8_t kRedJpeg[] = {
    0xff, 0xd8, 0xff, 0xe0, 0x00, 0x10, 0x4a, 0x46, 0x49, 0x46, 0x00, 0x01, 0x01, 0x01, 0x00, 0x48,
    0x00, 0x48, 0x00, 0x00, 0xff, 0xdb, 0x00, 0x43, 0x00, 0x08, 0x06, 0x06, 0x07, 0x06, 0x05, 0x08,
    0x07, 0x07, 0x07, 0x09, 0x09, 0x08, 0x0a, 0x0c, 0x14, 0x0d, 0x0c, 0x0b, 0x0b, 0x0c, 0x19, 0x12,
    0x13, 0x0f, 0x14, 0x1d, 0x1a, 0x1f, 0x1e, 0x1d, 0x1a, 0x1c, 0x1c, 0x20, 0x24, 0x2e, 0x27, 0x20,
    0x22, 0x2c, 0x23, 0x1c, 0x1c, 0x28, 0x37, 0x29, 0x2c, 0x30, 0x31, 0x34, 0x34, 0x34, 0x1f, 0x27,
    0x39, 0x3d, 0x38, 0x32, 0x3c, 0x2e, 0x33, 0x34, 0x32, 0xff, 0xdb, 0x00, 0x43, 0x01, 0x09, 0x09,
    0x09, 0x0c, 0x0b, 0x0c, 0x18, 0x0d, 0x0d, 0x18, 0x32, 0x21, 0x1c, 0x21, 0x32, 0x32, 0x32, 0x32,
    0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32,
    0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32,
    0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0x32, 0xff, 0xc0,
    0x00, 0x11, 0x08, 0x00, 0x08, 0x00, 0x08, 0x03, 0x01, 0x22, 0x00, 0x02, 0x11, 0x01, 0x03, 0x11,
    0x01, 0xff, 0xc4, 0x00, 0x1f, 0x00, 0x00, 0x01, 0x05, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00,
    0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09,
    0x0a, 0x0b, 0xff, 0xc4, 0x00, 0xb5, 0x10, 0x00, 0x02, 0x01, 0x03, 0x03, 0x02, 0x04, 0x03, 0x05,
    0x05, 0x04, 0x04, 0x00, 0x00, 0x01, 0x7d, 0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21,
    0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23,
    0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0, 0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17,
    0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a,
    0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a,
    0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a,
    0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99,
    0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7,
    0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5,
    0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1,
    0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9, 0xfa, 0xff, 0xc4, 0x00, 0x1f, 0x01, 0x00, 0x03,
    0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01,
    0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0xff, 0xc4, 0x00, 0xb5, 0x11, 0x00,
    0x02, 0x01, 0x02, 0x04, 0x04, 0x03, 0x04, 0x07, 0x05, 0x04, 0x04, 0x00, 0x01, 0x02, 0x77, 0x00,
    0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71, 0x13,
    0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0, 0x15,
    0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26, 0x27,
    0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88,
    0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6,
    0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4,
    0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8, 0xf9,
    0xfa, 0xff, 0xda, 0x00, 0x0c, 0x03, 0x01, 0x00, 0x02, 0x11, 0x03, 0x11, 0x00, 0x3f, 0x00, 0xe2,
    0xe8, 0xa2, 0x8a, 0xf9, 0x93, 0xf7, 0x13, 0xff, 0xd9};

// The pixel (x, y) of a page rendered by pdftoppm at 72 dpi, as "r g b".
std::string PixelAt(const std::string& pdf, int page, int x, int y) {
  std::string tool = pvtest::FindTool("pdftoppm");
  if (tool.empty()) return "no pdftoppm";
  pvtest::TempDir dir;
  const std::string file = WriteTemp(dir, "p.pdf", pdf);
  pvtest::RunResult r =
      pvtest::RunProgram({tool, "-r", "72", "-f", std::to_string(page), "-l", std::to_string(page),
                          "-singlefile", file, (dir / "out").string()},
                         dir.path());
  if (r.status != 0) return "pdftoppm failed";
  const std::string ppm = pvtest::ReadFile(dir / "out.ppm");
  int w = 0, h = 0, max = 0, consumed = 0;
  if (std::sscanf(ppm.c_str(), "P6 %d %d %d%n", &w, &h, &max, &consumed) != 3) return "bad ppm";
  const size_t at = static_cast<size_t>(consumed + 1) + (static_cast<size_t>(y) * w + x) * 3;
  if (at + 3 > ppm.size()) return "outside";
  return std::to_string(static_cast<uint8_t>(ppm[at])) + " " +
         std::to_string(static_cast<uint8_t>(ppm[at + 1])) + " " +
         std::to_string(static_cast<uint8_t>(ppm[at + 2]));
}

}  // namespace

TEST(PdfEngine, ImagesBecomeXObjectsOfTheSharedResources) {
  MemDoc d;
  const std::vector<uint8_t> jpeg(std::begin(kRedJpeg), std::end(kRedJpeg));
  d.e.BeginDoc();
  d.e.DrawImage(TgtRectD{0, 0, 96, 96}, TgtGraphic::FromBitmapFile(Bmp2x2()));
  d.e.DrawImageStream(TgtRectD{96, 0, 192, 96}, jpeg, 8, 8);
  d.e.DrawImageStream(TgtRectD{0, 200, 96, 296}, {'n', 'o', 'p', 'e'}, 1,
                      1);  // unreadable: nothing
  d.e.NewPage();
  d.e.DrawImage(TgtRectD{96, 96, 192, 192}, 0);  // the same picture again, by its index
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  XRef x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  EXPECT_EQ(x.Size, 14);
  // Picture objects follow their page's content; a picture used again is not written again.
  EXPECT_EQ(FileOrder(x), (std::vector<int>{1, 6, 7, 8, 9, 10, 11, 12, 13, 2, 5, 4, 3}));
  EXPECT_EQ(
      PdfObject(pdf, 5),
      "5 0 obj\r\n<<\r\n/ProcSet 4 0 R/XObject <</Im0 9 0 R/Im1 10 0 R >>\r\n>>\r\nendobj\r\n");
  EXPECT_EQ(PdfObject(pdf, 9).rfind(
                "9 0 obj\r\n<<\r\n/Type /XObject/Subtype /Image/Width 2/Height 2"
                "/ColorSpace /DeviceRGB/BitsPerComponent 8/Filter /FlateDecode/Length ",
                0),
            0u);
  EXPECT_EQ(Inflated(PdfStreamData(pdf, 9)),
            std::string("\xFF\0\0\0\xFF\0\0\0\xFF\xFF\xFF\xFF", 12));
  EXPECT_EQ(PdfObject(pdf, 10).rfind(
                "10 0 obj\r\n<<\r\n/Type /XObject/Subtype /Image/Width 8/Height 8"
                "/ColorSpace /DeviceRGB/BitsPerComponent 8/Filter /DCTDecode/Length 633\r\n>>",
                0),
            0u);
  EXPECT_EQ(PdfStreamData(pdf, 10), std::string(jpeg.begin(), jpeg.end()));
  const std::string page1 = Inflated(PdfStreamData(pdf, 7));
  EXPECT_NE(page1.find("\r\nq\r\n72.0000 0 0 72.0000 0.0000 720.0000 cm /Im0 Do\r\nQ"),
            std::string::npos);
  EXPECT_NE(page1.find("\r\nq\r\n72.0000 0 0 72.0000 72.0000 720.0000 cm /Im1 Do\r\nQ"),
            std::string::npos);
  EXPECT_EQ(page1.find("/Im2"), std::string::npos);
  EXPECT_NE(
      Inflated(PdfStreamData(pdf, 12)).find("72.0000 0 0 72.0000 72.0000 648.0000 cm /Im0 Do"),
      std::string::npos);
  EXPECT_EQ(ToolProblems(pdf), "");
  if (!pvtest::FindTool("pdftoppm").empty()) {
    EXPECT_EQ(PixelAt(pdf, 1, 18, 18), "255 0 0");
    EXPECT_EQ(PixelAt(pdf, 1, 54, 18), "0 255 0");
    EXPECT_EQ(PixelAt(pdf, 1, 18, 54), "0 0 255");
    EXPECT_EQ(PixelAt(pdf, 1, 54, 54), "255 255 255");
    int r = 0, g = 0, b = 0;
    const std::string jpegPixel = PixelAt(pdf, 1, 108, 36);
    ASSERT_EQ(std::sscanf(jpegPixel.c_str(), "%d %d %d", &r, &g, &b), 3) << jpegPixel;
    EXPECT_TRUE(r > 240 && g < 16 && b < 16) << jpegPixel;
  }
}

namespace {

// A BMP file from its parts; sizes and offsets filled in.
std::vector<uint8_t> MakeBmp(uint32_t headerSize, int32_t width, int32_t height, uint16_t bpp,
                             uint32_t compression, const std::vector<uint8_t>& palette,
                             const std::vector<uint8_t>& bits, uint32_t clrUsed = 0) {
  std::vector<uint8_t> f(14 + headerSize, 0);
  auto put = [&](size_t at, uint64_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) f[at + i] = static_cast<uint8_t>(v >> (8 * i));
  };
  f[0] = 'B', f[1] = 'M';
  put(14, headerSize, 4);
  if (headerSize == 12) {
    put(18, static_cast<uint16_t>(width), 2);
    put(20, static_cast<uint16_t>(height), 2);
    put(22, 1, 2);
    put(24, bpp, 2);
  } else {
    put(18, static_cast<uint32_t>(width), 4);
    put(22, static_cast<uint32_t>(height), 4);
    put(26, 1, 2);
    put(28, bpp, 2);
    put(30, compression, 4);
    put(46, clrUsed, 4);
  }
  f.insert(f.end(), palette.begin(), palette.end());
  put(10, f.size(), 4);
  f.insert(f.end(), bits.begin(), bits.end());
  put(2, f.size(), 4);
  return f;
}

std::string Decoded(const std::vector<uint8_t>& bmp, int32_t* w = nullptr, int32_t* h = nullptr) {
  TgtPdfImageData out;
  if (!DecodeBitmapFile(bmp, out)) return "refused";
  if (w) *w = out.Width;
  if (h) *h = out.Height;
  return HexString(out.Samples);
}

}  // namespace

TEST(PdfEngineImages, BitmapDecoding) {
  const std::vector<uint8_t> bw = {0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0};  // black, white
  // 1 bit, 3 x 2, bottom-up, rows padded to 4 bytes.
  int32_t w = 0, h = 0;
  EXPECT_EQ(Decoded(MakeBmp(40, 3, 2, 1, 0, bw, {0xA0, 0, 0, 0, 0x40, 0, 0, 0}), &w, &h),
            "000000FFFFFF000000"
            "FFFFFF000000FFFFFF");
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  // 4 bits, top-down (negative height), a 16-colour palette.
  std::vector<uint8_t> pal16(64, 0);
  pal16[4 + 2] = 0xFF;  // 1: red
  pal16[8 + 1] = 0xFF;  // 2: green
  EXPECT_EQ(Decoded(MakeBmp(40, 2, -1, 4, 0, pal16, {0x12, 0, 0, 0})), "FF000000FF00");
  // 8 bits with a shortened palette (two entries used).
  EXPECT_EQ(Decoded(MakeBmp(40, 2, 1, 8, 0, bw, {1, 0, 0, 0}, 2)), "FFFFFF000000");
  // 16 bits, 5-5-5.
  EXPECT_EQ(Decoded(MakeBmp(40, 3, 1, 16, 0, {}, {0x00, 0x7C, 0xE0, 0x03, 0x1F, 0x00, 0, 0})),
            "FF000000FF000000FF");
  // 32 bits with bit fields after the header: red in the lowest byte.
  EXPECT_EQ(Decoded(MakeBmp(40, 1, 1, 32, 3, {0xFF, 0, 0, 0, 0, 0xFF, 0, 0, 0, 0, 0xFF, 0},
                            {10, 20, 30, 0})),
            "0A141E");
  // 24 bits in a version 5 header (124 bytes).
  EXPECT_EQ(Decoded(MakeBmp(124, 1, 1, 24, 0, {}, {1, 2, 3, 0})), "030201");
  // A core header with a three-byte palette.
  EXPECT_EQ(Decoded(MakeBmp(12, 2, 1, 1, 0, {0, 0, 0xFF, 0xFF, 0, 0}, {0x40, 0, 0, 0})),
            "FF00000000FF");
  // RLE8: a run of four, end of line, three literal pixels and a delta, end of bitmap.
  std::vector<uint8_t> pal3 = {0, 0, 0, 0, 0, 0, 0xFF, 0, 0xFF, 0, 0, 0};  // black, red, blue
  EXPECT_EQ(Decoded(MakeBmp(40, 4, 2, 8, 1, pal3, {4, 1, 0, 0, 0, 3, 2, 1, 2, 0, 0, 1})),
            "0000FFFF00000000FF000000"
            "FF0000FF0000FF0000FF0000");
  // RLE4: two runs of alternating indices.
  EXPECT_EQ(Decoded(MakeBmp(40, 3, 1, 4, 2, pal3, {3, 0x12, 0, 1})), "FF00000000FFFF0000");

  // Refused: truncated pixels, no pixels, too many pixels, not a BMP, an embedded JPEG,
  // run-length coding from the top.
  EXPECT_EQ(Decoded(MakeBmp(40, 4, 4, 24, 0, {}, {1, 2, 3})), "refused");
  EXPECT_EQ(Decoded(MakeBmp(40, 0, 4, 24, 0, {}, {1, 2, 3, 4})), "refused");
  EXPECT_EQ(Decoded(MakeBmp(40, 1 << 20, 1 << 20, 24, 0, {}, {1, 2, 3, 4})), "refused");
  std::vector<uint8_t> notBmp = MakeBmp(40, 1, 1, 24, 0, {}, {1, 2, 3, 0});
  notBmp[0] = 'X';
  EXPECT_EQ(Decoded(notBmp), "refused");
  EXPECT_EQ(Decoded(MakeBmp(40, 1, 1, 24, 4, {}, {1, 2, 3, 0})), "refused");
  EXPECT_EQ(Decoded(MakeBmp(40, 2, -1, 8, 1, pal3, {2, 1, 0, 1})), "refused");
  EXPECT_EQ(Decoded({'B', 'M', 0}), "refused");
}

TEST(PdfEngineImages, JpegFrameHeader) {
  TgtJpegInfo info;
  ASSERT_TRUE(ReadJpegInfo(std::span<const uint8_t>(kRedJpeg, sizeof kRedJpeg), info));
  EXPECT_EQ(info.Width, 8);
  EXPECT_EQ(info.Height, 8);
  EXPECT_EQ(info.Components, 3);
  EXPECT_FALSE(info.AdobeInverted);
  // An Adobe CMYK frame: inverted samples.
  const std::vector<uint8_t> cmyk = {0xFF, 0xD8, 0xFF, 0xEE, 0, 14,   'A', 'd', 'o',  'b',
                                     'e',  0,    100,  0,    0, 0,    0,   2,   0xFF, 0xC2,
                                     0,    20,   8,    0,    3, 0,    5,   4,   1,    0x11,
                                     0,    2,    0x11, 0,    3, 0x11, 0,   4,   0x11, 0};
  ASSERT_TRUE(ReadJpegInfo(cmyk, info));
  EXPECT_EQ(info.Width, 5);
  EXPECT_EQ(info.Height, 3);
  EXPECT_EQ(info.Components, 4);
  EXPECT_TRUE(info.AdobeInverted);
  EXPECT_FALSE(ReadJpegInfo(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xDA, 0, 2}, info));
  EXPECT_FALSE(ReadJpegInfo(std::vector<uint8_t>{'B', 'M', 0, 0}, info));
  EXPECT_FALSE(
      ReadJpegInfo(std::vector<uint8_t>{0xFF, 0xD8, 0xFF, 0xC0, 0, 40, 8}, info));  // cut short
}

TEST(PdfEngine, BackgroundPicturePlacedOrTiled) {
  {
    MemDoc d;
    d.e.BackgroundImage() = TgtGraphic::FromBitmapFile(Bmp2x2());
    d.e.BeginDoc();
    d.e.NewPage();
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    XRef x = ReadXRef(pdf);
    ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
    // Centred by default, one picture pixel per screen pixel; written once for all pages.
    const std::string paint =
        "1.0000 1.0000 1.0000 rg n 0.0000 0.0000 612.0000 792.0000 re f q 1.5000 0 0 1.5000 "
        "305.2500 395.2500 cm /BI Do Q\r\n\r\nQ";
    EXPECT_NE(Inflated(PdfStreamData(pdf, 7)).find(paint), std::string::npos);
    EXPECT_NE(Inflated(PdfStreamData(pdf, 11)).find(paint), std::string::npos);
    EXPECT_EQ(FileOrder(x), (std::vector<int>{1, 6, 7, 8, 9, 10, 11, 12, 2, 5, 4, 3}));
    EXPECT_EQ(PdfObject(pdf, 5),
              "5 0 obj\r\n<<\r\n/ProcSet 4 0 R/XObject <</BI 9 0 R >>\r\n>>\r\nendobj\r\n");
    EXPECT_EQ(ToolProblems(pdf), "");
  }
  {
    MemDoc d;
    d.e.BackgroundImage() = TgtGraphic::FromBitmapFile(Bmp2x2());
    d.e.SetBackgroundImageDisplayType(TgtBackgroundDisplayType::dtTile);
    d.e.BeginDoc();
    d.e.EndDoc();
    const std::string pdf = d.Pdf();
    XRef x = ReadXRef(pdf);
    ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
    EXPECT_NE(Inflated(PdfStreamData(pdf, 7))
                  .find("re f /Pattern cs /PI scn n 0.0000 0.0000 612.0000 792.0000 re f\r\n\r\nQ"),
              std::string::npos);
    EXPECT_NE(PdfObject(pdf, 5).find("/Pattern <</PI 10 0 R>>"), std::string::npos);
    const std::string pattern = PdfObject(pdf, 10);
    EXPECT_NE(
        pattern.find(
            "/Resources << /XObject << /BI 9 0 R >> >>\r\n/PatternType 1\r\n/PaintType 1\r\n"
            "/TilingType 1\r\n/BBox [0 0 1.5000 1.5000]\r\n/XStep 1.5000\r\n/YStep 1.5000\r\n"),
        std::string::npos);
    EXPECT_EQ(Inflated(PdfStreamData(pdf, 10)), "q 1.5000 0 0 1.5000 0 0 cm /BI Do Q");
    EXPECT_EQ(ToolProblems(pdf), "");
  }
}

TEST(PdfEngine, ThumbnailsAndOutlines) {
  MemDoc d;
  d.e.OnBeforeEndPage = [&](TgtCustomDocumentEngine&) {
    d.e.MakeThumbnail(TgtGraphic::FromBitmapFile(Bmp2x2()));
  };
  d.e.BeginDoc();
  EXPECT_EQ(d.e.AddTOCItem(u"Top copper", -1, 0, 0, 1), 0);
  EXPECT_EQ(d.e.AddTOCItem(u"Detail", 0, 1, 1, 1), 1);
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  XRef x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  // The outline root is numbered with the catalog, before the first page.
  EXPECT_NE(PdfObject(pdf, 1).find("/Type/Catalog/Pages 2 0 R/Outlines 6 0 R/PageMode"),
            std::string::npos);
  const std::string page = PdfObject(pdf, 7);
  EXPECT_NE(page.find("/S/R >>/Thumb 10 0 R\r\n>>"), std::string::npos) << page;
  EXPECT_EQ(PdfObject(pdf, 10).rfind("10 0 obj\r\n<<\r\n/Width 2/Height 2/ColorSpace /DeviceRGB"
                                     "/BitsPerComponent 8/Filter /FlateDecode/Length ",
                                     0),
            0u);
  EXPECT_EQ(ToolProblems(pdf), "");
}

TEST(PdfEngine, AnObjectNumberNeverWrittenIsAFreeEntry) {
  MemDoc d;
  int32_t lost = 0;
  d.e.OnAfterBeginPage = [&](TgtCustomDocumentEngine&) { lost = d.e.AllocObject(); };
  d.e.BeginDoc();
  d.e.EndDoc();
  const std::string pdf = d.Pdf();
  ASSERT_EQ(lost, 9);
  EXPECT_NE(pdf.find("xref\r\n0 10\r\n"), std::string::npos);
  const size_t table = pdf.find("xref\r\n0 10\r\n") + 12;
  EXPECT_EQ(pdf.substr(table + 20 * 9, 20), "0000000000 65535 f\r\n");  // not an offset of nothing
  EXPECT_NE(pdf.find("/Size 10"), std::string::npos);
  EXPECT_EQ(ToolProblems(pdf), "");
}

namespace {

// The PDF engine, keeping the pens its line and arc hooks are given.
class PenSpy : public TgtPDFEngine {
 public:
  std::vector<TPen> Lines, Arcs;
  void RenderLine(const TPen& pen, double x1, double y1, double x2, double y2) override {
    Lines.push_back(pen);
    TgtPDFEngine::RenderLine(pen, x1, y1, x2, y2);
  }
  void RenderArc(const TPen& pen, double x1, double y1, double x2, double y2, double x3, double y3,
                 double x4, double y4) override {
    Arcs.push_back(pen);
    TgtPDFEngine::RenderArc(pen, x1, y1, x2, y2, x3, y3, x4, y4);
  }
};

TPen CappedPen(TPenEndCap cap, TPenJoin join) {
  TPen p{clBlack, 100, TPenStyle::psSolid};
  p.EndCap = cap;
  p.Join = join;
  return p;
}

}  // namespace

// A pen with end caps and joins goes through the whole chain: the recording names it as a
// geometric pen, the processor gives the items its cap and join, the PDF strokes with them,
// and the viewers draw round ends (also on a draw that does not move) where a classic pen
// of the same width ends flat.
TEST(PdfEngine, GeometricPensThroughRecordingItemsAndPdf) {
  const TPen round = CappedPen(TPenEndCap::pecRound, TPenJoin::pjRound);
  const TPen classic{clBlack, 100, TPenStyle::psSolid};
  TMetafile mf;
  mf.SetWidth(816);
  mf.SetHeight(1056);
  {
    TMetafileCanvas c(mf);
    c.Pen = round;  // 0.1 inch at 1000 units per inch
    c.MoveTo(1000, 5000);
    c.LineTo(3000, 5000);
    c.MoveTo(2000, 2000);  // a draw that does not move
    c.LineTo(2000, 2000);
    c.Arc(4000, 1000, 6000, 3000, 6000, 2000, 4000, 2000);
    c.Pen = classic;  // the same pen without cap and join
    c.MoveTo(1000, 7000);
    c.LineTo(3000, 7000);
    c.Pen = CappedPen(TPenEndCap::pecSquare, TPenJoin::pjBevel);
    c.LineTo(3000, 8000);
    c.Pen = CappedPen(TPenEndCap::pecFlat, TPenJoin::pjMiter);
    c.LineTo(3000, 9000);
  }
  ASSERT_TRUE(TMetafile::IsWellFormed(mf.Bytes()));
  std::vector<uint32_t> penRecords, styles;
  for (const TEmfRecord& r : mf.Records()) {
    if (r.Type != EMR_CREATEPEN && r.Type != EMR_EXTCREATEPEN) continue;
    penRecords.push_back(r.Type);
    if (r.Type != EMR_EXTCREATEPEN) continue;
    EMREXTCREATEPEN x;
    ASSERT_TRUE(r.As(x));
    EXPECT_EQ(x.emr.nSize, 52u);
    EXPECT_EQ(x.offBmi, 52u);
    EXPECT_EQ(x.cbBmi, 0u);
    EXPECT_EQ(x.elp.elpWidth, 100u);
    EXPECT_EQ(x.elp.elpBrushStyle, BS_SOLID);
    EXPECT_EQ(x.elp.elpNumEntries, 0u);
    styles.push_back(x.elp.elpPenStyle);
  }
  EXPECT_EQ(penRecords, (std::vector<uint32_t>{EMR_EXTCREATEPEN, EMR_CREATEPEN, EMR_EXTCREATEPEN,
                                               EMR_EXTCREATEPEN}));
  EXPECT_EQ(styles, (std::vector<uint32_t>{PS_GEOMETRIC | PS_ENDCAP_ROUND | PS_JOIN_ROUND,
                                           PS_GEOMETRIC | PS_ENDCAP_SQUARE | PS_JOIN_BEVEL,
                                           PS_GEOMETRIC | PS_ENDCAP_FLAT | PS_JOIN_MITER}));

  std::vector<uint8_t> out;
  PenSpy e;
  e.Preferences().SetShowSetupDialog(false);
  e.Preferences().SetOpenAfterCreate(false);
  e.Preferences().SetOutputToUserStream(true);
  e.SetUserStream(&out);
  e.SetMeasurementUnit(TgtUnitType::muPixels);
  e.SetReferencePoint(TgtReferencePoint::rpPage);
  e.SetInputXRes(1000);
  e.SetInputYRes(1000);
  e.Page().SetPaperSize(TgtPaperSize::Letter);
  e.BeginDoc();
  e.PlayMetafile(mf);
  e.EndDoc();
  EXPECT_EQ(e.Lines, (std::vector<TPen>{round, round, classic,
                                        CappedPen(TPenEndCap::pecSquare, TPenJoin::pjBevel),
                                        CappedPen(TPenEndCap::pecFlat, TPenJoin::pjMiter)}));
  EXPECT_EQ(e.Arcs, (std::vector<TPen>{round}));

  const std::string pdf(out.begin(), out.end());
  XRef x = ReadXRef(pdf);
  ASSERT_TRUE(x.Problems.empty()) << Join(x.Problems);
  const std::string content = Inflated(PdfStreamData(pdf, 7));
  const std::string roundText = "[]0 d 75.0000 w 1 J 1 j 0.0000 0.0000 0.0000 RG ";
  EXPECT_NE(content.find("q " + roundText + "750.0000 4500.0000 m 2250.0000 4500.0000 l S"),
            std::string::npos)
      << content;
  EXPECT_NE(content.find("q " + roundText + "1500.0000 6750.0000 m 1500.0000 6750.0000 l S"),
            std::string::npos);
  EXPECT_NE(content.find("q\r\n" + roundText + roundText), std::string::npos);  // the arc
  // The classic pen follows the round one with the same width and colour: its text is its
  // own, without cap or join.
  EXPECT_NE(content.find("q []0 d 75.0000 w 0.0000 0.0000 0.0000 RG 750.0000 3000.0000 m"),
            std::string::npos)
      << content;
  EXPECT_NE(content.find("75.0000 w 2 J 2 j 0.0000"), std::string::npos);
  EXPECT_NE(content.find("75.0000 w 0 J 0 j 0.0000"), std::string::npos);
  EXPECT_EQ(ToolProblems(pdf), "");

  pvtest::TempDir dir;
  const std::string file = WriteTemp(dir, "caps.pdf", pdf);
  for (bool mutool : {false, true}) {
    const pvtest::GreyImage img = pvtest::RenderPage(file, 1, 150, mutool);
    if (img.empty()) continue;
    SCOPED_TRACE(mutool ? "mutool" : "pdftoppm");
    // The draw that does not move is a round dot of the pen's width (15 pixels) at (300, 300).
    const pvtest::Box dot = pvtest::DarkBox(img, 280, 280, 320, 320);
    EXPECT_NEAR(dot.width(), 15, 2);
    EXPECT_NEAR(dot.height(), 15, 2);
    EXPECT_LT(img.at(300, 300), 128);
    EXPECT_GT(img.at(294, 294), 128);  // a disc, not a square: its corner stays white
    // The round track reaches half its width beyond its ends (142..458); the classic one
    // ends flat (150..450).
    const pvtest::Box track = pvtest::DarkBox(img, 100, 730, 500, 770);
    EXPECT_NEAR(track.left, 142, 2);
    EXPECT_NEAR(track.right, 458, 2);
    const pvtest::Box flat = pvtest::DarkBox(img, 100, 1030, 440, 1070);
    EXPECT_NEAR(flat.left, 150, 1);
  }
}
