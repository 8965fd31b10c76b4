// Whole conversions with the real binary: the PDF a user gets, checked by real readers.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

// A 1 x 0.5 inch filled rectangle flash at the origin.
const char* kRectangleBoard =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10R,1.0000X0.5000*%\nD10*\nX0Y0D03*\nM02*\n";

}  // namespace

TEST(Convert, ExampleBoardsBecomeOneCheckedPdf) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(SourceDir() / "examples"))
    if (e.path().extension() == ".gbr") names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  ASSERT_GE(names.size(), 4u);
  std::vector<std::string> args{exe.string()};
  for (const auto& n : names) {
    fs::copy_file(SourceDir() / "examples" / n, dir / n);
    args.push_back(n);
  }
  RunResult r = RunProgram(args, dir.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto out = SplitLines(r.out);
  EXPECT_TRUE(HasLine(out, "Begin PDF Document"));
  EXPECT_TRUE(HasLine(out, "PDF Document Complete"));
  EXPECT_EQ(std::count(out.begin(), out.end(), "Image Complete"), static_cast<long>(names.size()));
  EXPECT_EQ(std::count(out.begin(), out.end(), "Start New PDF Page"),
            static_cast<long>(names.size() - 1));

  std::string first = names[0];
  fs::path pdf = dir / (first.substr(0, first.size() - 4) + "_gbr.pdf");
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_EQ(CheckPdf(pdf), std::vector<std::string>{});
  if (PdfPageCount(pdf) >= 0) {
    EXPECT_EQ(PdfPageCount(pdf), static_cast<int>(names.size()));
  }
  std::string text = PdfText(pdf);
  if (!text.empty()) {
    auto pages = SplitPages(text);
    ASSERT_EQ(pages.size(), names.size());
    for (size_t i = 0; i < names.size(); ++i) {
      EXPECT_NE(pages[i].find("Made with Plotvane"), std::string::npos) << "page " << i + 1;
      EXPECT_NE(pages[i].find("File Name: " + names[i]), std::string::npos) << "page " << i + 1;
    }
  }
  // No temporary file is left beside the PDF.
  for (const auto& e : fs::directory_iterator(dir.path()))
    EXPECT_NE(e.path().filename().string().front(), '.') << e.path();
}

TEST(Convert, OutputIsNamedAfterTheFirstAcceptedFile) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  fs::create_directory(dir / "sub");
  WriteFile(dir / "sub/x.top.gbr", kRectangleBoard);
  WriteFile(dir / "bad.gbr", "%FSLAX24Y24*%\nX0Y0D03*\n");  // no aperture: refused
  RunResult r = RunProgram({exe.string(), "missing.gbr", "bad.gbr", "sub/x.top.gbr"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(dir / "sub/x.top_gbr.pdf"));
  auto log = SplitLines(ReadFile(dir / "bin/Plotvane_Log.txt"));
  EXPECT_TRUE(HasLine(log, "File Not Found: missing.gbr"));
  EXPECT_TRUE(HasLine(log, "Bad RS-274-X file: bad.gbr"));
  EXPECT_TRUE(HasLine(log, "Begin PDF Document"));
  EXPECT_FALSE(HasLine(log, "Start New PDF Page"));
}

TEST(Convert, UncreatableOutputIsReportedAndLeavesNothingBehind) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  WriteFile(dir / "board.gbr", kRectangleBoard);
  fs::create_directory(dir / "board_gbr.pdf");  // a folder stands where the PDF should go
  RunResult r = RunProgram({exe.string(), "board.gbr"}, dir.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("File could not be created!"), std::string::npos) << r.err;
  std::string log = ReadFile(dir / "bin/Plotvane_Log.txt");
  EXPECT_NE(log.find("File could not be created!"), std::string::npos);
  EXPECT_TRUE(fs::is_directory(dir / "board_gbr.pdf"));
  size_t entries = 0;
  for (const auto& e : fs::directory_iterator(dir.path())) (void)e, ++entries;
  EXPECT_EQ(entries, 3u);  // bin, board.gbr and the folder: no partial file
}

TEST(Convert, ActualSizeSettingDrawsTheBoardAtScaleOne) {
  if (FindTool("pdftoppm").empty()) GTEST_SKIP() << "pdftoppm not installed";
  auto widthAt72 = [](bool actual) {
    TempDir dir;
    fs::path exe = InstallBinary(dir.path());
    if (actual)
      WriteFile(dir / "bin/Plotvane.ini",
                "; drawn at actual size\n[defaults]\n ActualSize = 0x1 \n");
    WriteFile(dir / "r.gbr", kRectangleBoard);
    RunResult r = RunProgram({exe.string(), "r.gbr"}, dir.path());
    EXPECT_EQ(r.status, 0) << r.err;
    GreyImage img = RenderPage(dir / "r_gbr.pdf", 1, 72);
    // Skip the caption band at the top of the page.
    return DarkBox(img, 0, 40).width();
  };
  int actual = widthAt72(true), fitted = widthAt72(false);
  EXPECT_NEAR(actual, 72, 2);             // one inch at 72 dpi
  EXPECT_NEAR(fitted, 11 * 72 * 0.9, 3);  // landscape Letter: 90 % of 11 inches
}
