// The real binary in a private program folder: messages, log bytes and exit status.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>

#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

// Position of a line, or -1.
long IndexOf(const std::vector<std::string>& lines, const std::string& line) {
  auto it = std::find(lines.begin(), lines.end(), line);
  return it == lines.end() ? -1 : it - lines.begin();
}

const char* kGood =
    "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nX0Y0D02*\nX10000Y5000D01*\nX2000Y3000D03*"
    "\nM02*\n";

}  // namespace

TEST(Driver, NoArgumentsPrintsUsageAndExitsTwo) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  RunResult r = RunProgram({exe.string()}, dir.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out, "Plotvane Application Ver 1.02\n");
  EXPECT_NE(r.err.find("Usage: plotvane"), std::string::npos);
  bool crlf = false;
  auto log = SplitLines(ReadFile(dir / "bin/Plotvane_Log.txt"), &crlf);
  EXPECT_TRUE(crlf);
  ASSERT_GE(log.size(), 4u);
  EXPECT_EQ(log[0], "");
  EXPECT_FALSE(log[1].empty());  // the promotional line
  EXPECT_EQ(log[2], "");
  EXPECT_EQ(log[3], "Plotvane Application Ver 1.02");
}

TEST(Driver, MissingRefusedAndUnreadableFilesAreReportedAndSkipped) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  WriteFile(dir / "notes.txt", "just some text, no format statement\n");
  fs::create_directory(dir / "folder.gbr");
  std::vector<std::string> args{exe.string(), "missing.gbr", "notes.txt", "folder.gbr"};
#if defined(__linux__)
  args.push_back("/proc/self/mem");  // a regular file whose read fails with an I/O error
#endif
  RunResult r = RunProgram(args, dir.path());
  EXPECT_EQ(r.status, 1);  // files given, no PDF written
  auto out = SplitLines(r.out);
  EXPECT_EQ(out.front(), "Plotvane Application Ver 1.02");
  EXPECT_TRUE(HasLine(out, "Bad RS-274-X file: notes.txt"));
  EXPECT_FALSE(HasLine(out, "File Not Found: missing.gbr"));  // log and message box only
  EXPECT_NE(r.err.find("File Not Found: missing.gbr"), std::string::npos);
  EXPECT_NE(r.err.find("File Not Found: folder.gbr"), std::string::npos);  // a folder is no file
  auto log = SplitLines(ReadFile(dir / "bin/Plotvane_Log.txt"));
  EXPECT_TRUE(HasLine(log, "File Not Found: missing.gbr"));
  EXPECT_TRUE(HasLine(log, "Bad RS-274-X file: notes.txt"));
  EXPECT_LT(IndexOf(log, "File Not Found: missing.gbr"),
            IndexOf(log, "Bad RS-274-X file: notes.txt"));
#if defined(__linux__)
  EXPECT_NE(r.err.find("Cannot read /proc/self/mem"), std::string::npos);
  bool logged = std::any_of(log.begin(), log.end(), [](const std::string& l) {
    return l.rfind("Cannot read /proc/self/mem: ", 0) == 0;
  });
  EXPECT_TRUE(logged);
#endif
  EXPECT_FALSE(fs::exists(dir / "notes_txt.pdf"));
}

TEST(Driver, OverflowingCoordinateRefusesOnlyThatFile) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  // 21474836.47 inch is 2.1e10 image units: the digits fit 32 bits, the scaled value not.
  WriteFile(dir / "huge.gbr",
            "%FSLAX82Y82*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nX2147483647Y0D03*\nM02*\n");
  WriteFile(dir / "good.gbr", kGood);
  RunResult r = RunProgram({exe.string(), "huge.gbr", "good.gbr"}, dir.path());
  auto out = SplitLines(r.out);
  // The refusal says why, on standard output right after it.
  long refused = IndexOf(out, "Bad RS-274-X file: huge.gbr");
  ASSERT_GE(refused, 0);
  ASSERT_LT(refused + 1, static_cast<long>(out.size()));
  EXPECT_EQ(out[static_cast<size_t>(refused + 1)], "Reason: Range check error while reading huge.gbr");
  EXPECT_TRUE(HasLine(out, "Finsished Reading Gerber: good.gbr"));
  auto log = SplitLines(ReadFile(dir / "bin/Plotvane_Log.txt"));
  long bad = IndexOf(log, "Bad RS-274-X file: huge.gbr");
  ASSERT_GE(bad, 0);
  ASSERT_LT(bad + 1, static_cast<long>(log.size()));
  EXPECT_EQ(log[static_cast<size_t>(bad + 1)].rfind("Reason: ", 0),
            0u);  // one line with the reason
}
