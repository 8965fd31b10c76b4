// Drill files among a board's Gerber layers, through the real binary: each accepted one is a
// page in argument order with the designed messages, a refused one is reported with its
// reason, and the page shows the holes at their size.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

using Drill = CorpusTest;

TEST_F(Drill, DrillFilesBecomePagesBesideTheGerberLayers) {
  const fs::path board = corpus / "gerbonara/kicad-x2-tests-x2ap";
  const fs::path drills = corpus / "drill/gerbonara/kicad-x2-tests-x2ap";
  if (!fs::exists(drills / "Flashpads-PTH.drl")) GTEST_SKIP() << "no drill corpus";
  TempDir dir;
  const fs::path exe = InstallBinary(dir.path());
  WriteFile(dir / "bin/Plotvane.ini", "[Defaults]\nActualSize=1\n");
  fs::copy_file(board / "Flashpads-F_Cu.gbr", dir / "Flashpads-F_Cu.gbr");
  fs::copy_file(board / "Flashpads-Edge_Cuts.gbr", dir / "Flashpads-Edge_Cuts.gbr");
  fs::copy_file(drills / "Flashpads-PTH.drl", dir / "Flashpads-PTH.drl");
  fs::copy_file(drills / "Flashpads-NPTH.drl", dir / "Flashpads-NPTH.drl");
  fs::copy_file(corpus / "drill/gerbonara/misc-tests/test_syntax_error.exc",
                dir / "test_syntax_error.exc");
  const std::vector<std::string> pages = {"Flashpads-F_Cu.gbr", "Flashpads-PTH.drl",
                                          "Flashpads-NPTH.drl", "Flashpads-Edge_Cuts.gbr"};
  RunResult r = RunProgram(
      {exe.string(), pages[0], pages[1], "test_syntax_error.exc", pages[2], pages[3]}, dir.path());
  ASSERT_EQ(r.status, 0) << r.out << r.err;

  // The designed message sequence, a drill file like any layer.
  const std::vector<std::string> out = SplitLines(r.out);
  std::vector<std::string> reads;
  for (const std::string& l : out)
    if (l.rfind("Finsished Reading Gerber: ", 0) == 0 || l.rfind("Bad RS-274-X file: ", 0) == 0)
      reads.push_back(l);
  EXPECT_EQ(reads, (std::vector<std::string>{
                       "Finsished Reading Gerber: Flashpads-F_Cu.gbr",
                       "Finsished Reading Gerber: Flashpads-PTH.drl",
                       "Bad RS-274-X file: test_syntax_error.exc",
                       "Finsished Reading Gerber: Flashpads-NPTH.drl",
                       "Finsished Reading Gerber: Flashpads-Edge_Cuts.gbr",
                   }));
  EXPECT_EQ(std::count(out.begin(), out.end(), "Image Complete"), 4);
  const std::vector<std::string> log = SplitLines(ReadFile(dir / "bin/Plotvane_Log.txt"));
  EXPECT_TRUE(HasLine(log,
                      "Reason: Drill file uses tool T99, which has no diameter (line 13) while "
                      "reading test_syntax_error.exc"));

  const fs::path pdf = dir / "Flashpads-F_Cu_gbr.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  EXPECT_EQ(CheckPdf(pdf), std::vector<std::string>{});
  if (PdfPageCount(pdf) >= 0) {
    EXPECT_EQ(PdfPageCount(pdf), 4);
  }
  const std::string text = PdfText(pdf);
  if (!text.empty()) {
    const std::vector<std::string> texts = SplitPages(text);
    ASSERT_EQ(texts.size(), pages.size());
    for (size_t i = 0; i < pages.size(); ++i)
      EXPECT_NE(texts[i].find("File Name: " + pages[i]), std::string::npos) << i;
  }

  // At actual size the plated holes and slots of page 2 span their extents: 0.852 to
  // 3.822 inch by -2.673 to -0.909 inch, 297 x 176 pixels at 100 dpi, under the caption.
  const GreyImage page = RenderPage(pdf, 2, 100);
  if (page.empty()) GTEST_SKIP() << "no pdftoppm";
  const Box holes = DarkBox(page, 0, 45);
  EXPECT_NEAR(holes.width(), 297, 2);
  EXPECT_NEAR(holes.height(), 176, 2);
  // Centred on the page, as every board is.
  EXPECT_NEAR((holes.left + holes.right) / 2.0, page.width / 2.0, 2);
  EXPECT_NEAR((holes.top + holes.bottom) / 2.0, page.height / 2.0, 2);
}
