// The command line of the real binary: options, misuse, a chosen output path, the shell's
// open request, and the installed program (install rules, manual page, log folder).
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

// A 1 x 0.5 inch board: a region outline and the filled square region inside it.
const char* kRegionBoard =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nG36*\nX0Y0D02*\nX10000Y0D01*\n"
    "X10000Y5000D01*\nX0Y5000D01*\nX0Y0D01*\nG37*\nM02*\n";
const char* kDot = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0500*%\nD10*\nX0Y0D03*\nM02*\n";

std::string LastLine(const std::string& text) {
  auto lines = SplitLines(text);
  return lines.empty() ? std::string() : lines.back();
}

// Dark pixels among all pixels of a box, in per cent.
int DarkPercent(const GreyImage& img, const Box& b) {
  long dark = 0, all = 0;
  for (int y = b.top; y <= b.bottom; ++y)
    for (int x = b.left; x <= b.right; ++x, ++all) dark += img.at(x, y) < 128;
  return all ? static_cast<int>(dark * 100 / all) : 0;
}

}  // namespace

TEST(Options, HelpVersionAndMisuseConvertNothing) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  WriteFile(dir / "good.gbr", kDot);

  RunResult help = RunProgram({exe.string(), "good.gbr", "--help"}, dir.path());
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out.rfind("Usage: plotvane [OPTION ...] FILE [FILE ...]\n", 0), 0u) << help.out;
  for (const char* o : {"--output", "--actual-size", "--solid-fill", "--no-open", "--version"})
    EXPECT_NE(help.out.find(o), std::string::npos) << o;
  EXPECT_EQ(help.err, "");

  RunResult version = RunProgram({exe.string(), "-V"}, dir.path());
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Plotvane Application Ver 1.02\n");

  // An unknown option anywhere stops the run before the first file, and so does -o without
  // its value.
  RunResult unknown = RunProgram({exe.string(), "good.gbr", "-x.gbr"}, dir.path());
  EXPECT_EQ(unknown.status, 2);
  EXPECT_EQ(unknown.out, "");
  EXPECT_EQ(unknown.err.substr(0, unknown.err.find('\n')),
            "plotvane: unknown option -x.gbr (a file whose name begins with '-' goes after -- "
            "or as ./-x.gbr)");
  EXPECT_NE(unknown.err.find("\nUsage: plotvane"), std::string::npos);
  RunResult noValue = RunProgram({exe.string(), "good.gbr", "-o"}, dir.path());
  EXPECT_EQ(noValue.status, 2);
  EXPECT_EQ(noValue.err.substr(0, noValue.err.find('\n')),
            "plotvane: option -o needs the PDF's file name");
  EXPECT_FALSE(fs::exists(dir / "good_gbr.pdf"));
  EXPECT_FALSE(fs::exists(dir / "bin/Plotvane_Log.txt"));  // not even a log

  // A file whose name begins with '-': after "--", where "--help" is a file too.
  WriteFile(dir / "-x.gbr", kDot);
  RunResult dashed = RunProgram({exe.string(), "--no-open", "--", "-x.gbr", "--help"}, dir.path());
  EXPECT_EQ(dashed.status, 0) << dashed.err;
  EXPECT_NE(dashed.err.find("File Not Found: --help"), std::string::npos);
  EXPECT_EQ(LastLine(dashed.out), "Wrote -x_gbr.pdf: 1 page");
  EXPECT_TRUE(fs::exists(dir / "-x_gbr.pdf"));
}

TEST(Options, OutputSizeFillAndOpenOverrideTheDefaults) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  WriteFile(dir / "region.gbr", kRegionBoard);
  WriteFile(dir / "dot.gbr", kDot);
  // A stand-in for the desktop's opener, found on PATH when a graphical session is present.
  fs::create_directory(dir / "fakebin");
  const fs::path opened = dir / "opened.txt";
  WriteFile(dir / "fakebin/xdg-open", "#!/bin/sh\necho \"$1\" >> '" + opened.string() + "'\n");
  fs::permissions(dir / "fakebin/xdg-open", fs::perms::owner_all);
  const char* path = std::getenv("PATH");
  const std::vector<std::string> desktop{
      "DISPLAY=:99", "PATH=" + (dir / "fakebin").string() + ":" + (path ? path : "/usr/bin:/bin")};

  // Options after the files; the settings file is not there, so each option alone decides.
  fs::create_directory(dir / "out");
  RunResult chosen = RunProgram({exe.string(), "region.gbr", "dot.gbr", "--no-open", "-o",
                                 "out/both.pdf", "--actual-size", "--solid-fill"},
                                dir.path(), desktop);
  ASSERT_EQ(chosen.status, 0) << chosen.err;
  auto out = SplitLines(chosen.out);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[out.size() - 2], "PDF Document Complete");
  EXPECT_EQ(out.back(), "Wrote out/both.pdf: 2 pages");
  EXPECT_TRUE(
      HasLine(SplitLines(ReadFile(dir / "bin/Plotvane_Log.txt")), "Wrote out/both.pdf: 2 pages"));
  EXPECT_FALSE(fs::exists(dir / "region_gbr.pdf"));
  EXPECT_EQ(CheckPdf(dir / "out/both.pdf"), std::vector<std::string>{});
  if (PdfPageCount(dir / "out/both.pdf") >= 0) {
    EXPECT_EQ(PdfPageCount(dir / "out/both.pdf"), 2);
  }

  // The default run: named after the first file, fitted, hatched, and opened.
  RunResult plain = RunProgram({exe.string(), "region.gbr"}, dir.path(), desktop);
  ASSERT_EQ(plain.status, 0) << plain.err;
  EXPECT_EQ(LastLine(plain.out), "Wrote region_gbr.pdf: 1 page");
  // Each message once: the opener's process must not repeat what was still buffered.
  auto plainOut = SplitLines(plain.out);
  EXPECT_EQ(std::count(plainOut.begin(), plainOut.end(), "Image Complete"), 1) << plain.out;
  for (int i = 0; i < 100 && !fs::exists(opened); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  // Only the default run asked the shell to open its PDF.
  EXPECT_EQ(ReadFile(opened), "region_gbr.pdf\n");

  if (FindTool("pdftoppm").empty()) GTEST_SKIP() << "pdftoppm not installed";
  GreyImage actual = RenderPage(dir / "out/both.pdf", 1, 72);
  GreyImage fitted = RenderPage(dir / "region_gbr.pdf", 1, 72);
  Box a = DarkBox(actual, 0, 40), f = DarkBox(fitted, 0, 40);
  EXPECT_NEAR(a.width(), 72, 2);             // one inch at 72 dpi
  EXPECT_NEAR(f.width(), 11 * 72 * 0.9, 3);  // landscape Letter: 90 % of 11 inches
  // Inside the outline: solid with --solid-fill, the white gaps of a hatch without.
  Box inner{a.left + 6, a.top + 6, a.right - 6, a.bottom - 6};
  Box innerFitted{f.left + 20, f.top + 20, f.right - 20, f.bottom - 20};
  EXPECT_GT(DarkPercent(actual, inner), 97);
  EXPECT_LT(DarkPercent(fitted, innerFitted), 80);
}

TEST(Options, ChosenOutputThatCannotBeWrittenConvertsNothing) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  WriteFile(dir / "good.gbr", kDot);
  fs::create_directory(dir / "taken.pdf");
  struct Case {
    std::string output, reason;
  } cases[] = {
      {"nowhere/x.pdf", "its folder nowhere/ does not exist"},
      {"taken.pdf", "a folder of that name is in the way"},
      {"fresh/", "the name ends in '/', so it names a folder"},
      {"good.gbr/x.pdf", "its folder good.gbr/ is not a folder"},
      {"./good.gbr", "it is good.gbr, one of the files to convert"},
  };
  for (const Case& c : cases) {
    RunResult r = RunProgram({exe.string(), "--output", c.output, "good.gbr"}, dir.path());
    EXPECT_EQ(r.status, 1) << c.output;
    const std::string text = "Cannot write the PDF to " + c.output + ": " + c.reason;
    EXPECT_EQ(r.err, text + "\n");
    auto out = SplitLines(r.out);
    EXPECT_EQ(out, (std::vector<std::string>{"Plotvane Application Ver 1.02",
                                             "No PDF Document Written"}));
    EXPECT_TRUE(HasLine(SplitLines(ReadFile(dir / "bin/Plotvane_Log.txt")), text)) << c.output;
  }
  EXPECT_EQ(ReadFile(dir / "good.gbr"), kDot);
  EXPECT_FALSE(fs::exists(dir / "nowhere"));
  EXPECT_FALSE(fs::exists(dir / "fresh"));
}

TEST(Install, InstalledProgramConvertsAndLogsToTheStateFolder) {
  const std::string cmake = FindTool("cmake");
  if (cmake.empty()) GTEST_SKIP() << "cmake not on PATH";
  TempDir dir;
  const fs::path prefix = dir / "prefix";
  RunResult install = RunProgram(
      {cmake, "--install", PlotvaneBinary().parent_path().string(), "--prefix", prefix.string()},
      dir.path());
  ASSERT_EQ(install.status, 0) << install.out << install.err;
  const fs::path exe = prefix / "bin/plotvane";
  ASSERT_TRUE(fs::exists(exe));
  EXPECT_EQ(ReadFile(prefix / "share/doc/plotvane/README.md"), ReadFile(SourceDir() / "README.md"));
  EXPECT_EQ(ReadFile(prefix / "share/doc/plotvane/LICENSE"), ReadFile(SourceDir() / "LICENSE"));

  // Every option of the usage is in the manual page (hyphens escaped as man(7) wants them).
  const std::string page = ReadFile(prefix / "share/man/man1/plotvane.1");
  ASSERT_EQ(page.rfind(".TH PLOTVANE 1 ", 0), 0u);
  RunResult help = RunProgram({exe.string(), "--help"}, dir.path());
  for (size_t at = help.out.find("--"); at != std::string::npos; at = help.out.find("--", at + 2)) {
    size_t end = help.out.find_first_of(" \n\"", at);
    std::string option = help.out.substr(at, end - at), escaped;
    for (char c : option) escaped += c == '-' ? std::string("\\-") : std::string(1, c);
    EXPECT_NE(page.find(escaped), std::string::npos) << option;
  }
  if (!FindTool("man").empty()) {
    RunResult shown = RunProgram({FindTool("man"), "-l", "-P", "cat", "--warnings=all",
                                  (prefix / "share/man/man1/plotvane.1").string()},
                                 dir.path(), {"MANWIDTH=80"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_EQ(shown.err, "");  // groff's warnings
    EXPECT_NE(shown.out.find("--no-open"), std::string::npos);
  }

  // The installed program keeps its bin folder clean even where it could write, and says
  // nothing about where the log went.
  WriteFile(dir / "good.gbr", kDot);
  RunResult r = RunProgram({exe.string(), "--no-open", "good.gbr"}, dir.path(),
                           {"XDG_STATE_HOME=" + (dir / "state").string()});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(fs::exists(dir / "good_gbr.pdf"));
  EXPECT_FALSE(fs::exists(prefix / "bin/Plotvane_Log.txt"));
  EXPECT_TRUE(HasLine(SplitLines(ReadFile(dir / "state/plotvane/Plotvane_Log.txt")),
                      "Wrote good_gbr.pdf: 1 page"));
}
