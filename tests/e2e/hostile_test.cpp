// Hostile and broken input through the real binary: every file gets a clear message, the
// run goes on with the next one, memory stays bounded, and nothing the user had is
// changed except the output PDF (and the log in the program folder).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/installed_binary.h"
#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

using Measured = RunResult;
using Limits = RunLimits;

// The driver's verdicts in its output: it finished reading each of `read` and refused
// each of `bad`.
void ExpectVerdicts(const std::vector<std::string>& out, const std::vector<std::string>& read,
                    const std::vector<std::string>& bad) {
  for (const std::string& f : read)
    EXPECT_TRUE(HasLine(out, "Finsished Reading Gerber: " + f)) << f;
  for (const std::string& f : bad) EXPECT_TRUE(HasLine(out, "Bad RS-274-X file: " + f)) << f;
}

// What a folder holds: every entry's kind and, for files, their size and (when small)
// their bytes. Large files are compared by size and modification time.
using Snapshot = std::map<std::string, std::string>;

Snapshot Take(const fs::path& dir) {
  Snapshot s;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    const std::string rel = fs::relative(e.path(), dir).string();
    if (rel == "bin" || rel.rfind("bin/", 0) == 0) continue;  // program folder and log
    struct stat st;
    if (lstat(e.path().c_str(), &st) != 0) continue;
    std::string v = std::to_string(st.st_mode) + ":" + std::to_string(st.st_size);
    if (S_ISREG(st.st_mode)) {
      if (st.st_size <= (1 << 20))
        v += ":" + ReadFile(e.path());
      else
        v += ":" + std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec);
    }
    s[rel] = v;
  }
  return s;
}

// Every entry of before is still there unchanged, except those named in mayChange, and
// nothing new appeared except those.
void ExpectOnlyChanged(const Snapshot& before, const Snapshot& after,
                       const std::vector<std::string>& mayChange) {
  auto allowed = [&](const std::string& k) {
    return std::find(mayChange.begin(), mayChange.end(), k) != mayChange.end();
  };
  for (const auto& [k, v] : before) {
    if (allowed(k)) continue;
    auto it = after.find(k);
    if (it == after.end())
      ADD_FAILURE() << k << " was removed";
    else if (it->second != v)
      ADD_FAILURE() << k << " was changed";
  }
  for (const auto& [k, v] : after)
    if (!before.count(k) && !allowed(k)) ADD_FAILURE() << k << " appeared";
}

// Runs of the binary in a private folder of its own.
class Hostile : public InstalledBinary {};

}  // namespace

// Boards whose extents fit the page arithmetic but whose drawing does not: an arc drawn with
// a pen fifty thousand inches wide, and a macro circle of negative diameter (its flash lies
// outside the extents). Such a file gets no page at all, never half a page behind the
// previous one, and alone it makes no document.
TEST_F(Hostile, DrawingBeyondThePageArithmeticGetsNoPage) {
  WriteFile(*this / "wide.gbr",
            "%FSLAX24Y24*%%MOIN*%%ADD10C,50000*%D10*G75*X10000Y0D02*G03X10000Y0I-10000J0D01*M02*");
  WriteFile(*this / "negative.gbr",
            "%FSLAX24Y24*%%MOIN*%%AMNEG*1,1,-1000000,0,0*%%ADD10NEG*%%ADD11C,0.01*%"
            "D11*X0Y0D03*X10000Y5000D03*D10*X5000Y2000D03*M02*");
  WriteFile(*this / "ok.gbr", "%FSLAX24Y24*%%MOIN*%%ADD10C,0.01*%D10*X0Y0D02*X10000Y5000D01*M02*");
  Measured r = Run({"ok.gbr", "wide.gbr", "negative.gbr"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_NE(r.err.find("No page for wide.gbr: Integer overflow in the page layout"),
            std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("No page for negative.gbr: Range check error in the page layout"),
            std::string::npos)
      << r.err;
  const auto out = SplitLines(r.out);
  EXPECT_EQ(std::count(out.begin(), out.end(), "Image Complete"), 1);
  const fs::path pdf = *this / "ok_gbr.pdf";
  EXPECT_EQ(CheckPdf(pdf), std::vector<std::string>{});
  EXPECT_EQ(PdfPageCount(pdf), 1);
  const std::string text = PdfText(pdf);
  EXPECT_NE(text.find("File Name: ok.gbr"), std::string::npos) << text;
  EXPECT_EQ(text.find("wide.gbr"), std::string::npos) << text;

  for (const char* alone : {"wide", "negative"}) {
    r = Run({std::string(alone) + ".gbr"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_TRUE(HasLine(SplitLines(r.out), "No PDF Document Written")) << r.out;
    EXPECT_FALSE(fs::exists(*this / (std::string(alone) + "_gbr.pdf")));
  }
}

// One block without '*' that reads as a gigabyte: 20 MB of coordinate digits and then
// zero bytes (a sparse file). The block keeps only its beginning, the file is read to its
// end, the page is made, and the next file is converted too; the run's memory stays far
// below the file's size.
TEST_F(Hostile, GigabyteFileOfOneEndlessBlock) {
  const fs::path big = *this / "endless.gbr";
  {
    std::string head = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nX0Y0D03*\nX";
    std::string digits(20u << 20, '7');
    int fd = open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, head.data(), head.size()), static_cast<ssize_t>(head.size()));
    ASSERT_EQ(write(fd, digits.data(), digits.size()), static_cast<ssize_t>(digits.size()));
    ASSERT_EQ(ftruncate(fd, off_t{1} << 30), 0);
    close(fd);
  }
  ASSERT_EQ(fs::file_size(big), uintmax_t{1} << 30);
  WriteFile(*this / "good.gbr", kGood);
  const Snapshot before = Take(dir_.path());
  Measured r = Run({"endless.gbr", "good.gbr"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto out = SplitLines(r.out);
  ExpectVerdicts(out, {"endless.gbr", "good.gbr"}, {});
  EXPECT_TRUE(HasLine(out, "PDF Document Complete"));
  EXPECT_LT(r.maxRssKiB, 384L * 1024) << "peak memory of the run, KiB";
  ExpectOnlyChanged(before, Take(dir_.path()), {"endless_gbr.pdf"});
  EXPECT_EQ(CheckPdf(*this / "endless_gbr.pdf"), std::vector<std::string>{});
}

// A million tiny blocks (comments, selections, moves, empty blocks) around a few draws.
TEST_F(Hostile, MillionTinyBlocks) {
  std::string text = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\n%ADD11R,0.02X0.02*%\n";
  text.reserve(8u << 20);
  for (int i = 0; i < 250000; ++i) {
    text += "D10*G04 x*";
    text += "X" + std::to_string(i % 5000) + "Y" + std::to_string(i % 77) + "D02*";
    text += (i % 500 == 0) ? "D11*X100Y" + std::to_string(i / 500) + "D03*" : std::string("*");
  }
  text += "M02*\n";
  WriteFile(*this / "tiny.gbr", text);
  Measured r = Run({"tiny.gbr"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(HasLine(SplitLines(r.out), "Finsished Reading Gerber: tiny.gbr"));
  EXPECT_LT(r.maxRssKiB, 384L * 1024);
  EXPECT_EQ(CheckPdf(*this / "tiny_gbr.pdf"), std::vector<std::string>{});
}

// Coordinates at the 32-bit limits: files whose values leave the range are refused with
// the reason in the log, a run of digits beyond 32 bits is no number (the flash takes the
// current point), one just inside the limits is drawn, and the run goes on.
TEST_F(Hostile, CoordinatesAtThe32BitLimits) {
  WriteFile(*this / "beyond.gbr",
            "%FSLAX55Y55*%%MOIN*%%ADD10C,0.01*%D10*X2147483647Y-2147483648D03*M02*");
  WriteFile(*this / "over.gbr", "%FSLAX73Y73*%%MOIN*%%ADD10C,0.01*%D10*X21474837Y0D03*M02*");
  WriteFile(*this / "min.gbr", "%FSLAX55Y55*%%MOIN*%%ADD10C,0.01*%D10*X-2147483649Y0D03*M02*");
  WriteFile(*this / "edge.gbr",
            "%FSLAX73Y73*%%MOIN*%%ADD10C,0.01*%D10*X21474836Y-21474836D03*"
            "X-21474836Y21474836D03*M02*");
  Measured r = Run({"beyond.gbr", "over.gbr", "min.gbr", "edge.gbr"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto out = SplitLines(r.out);
  ExpectVerdicts(out, {"min.gbr", "edge.gbr"}, {"beyond.gbr", "over.gbr"});
  EXPECT_EQ(std::count(out.begin(), out.end(), "Image Complete"), 2);
  auto log = Log();
  EXPECT_TRUE(HasLine(log, "Reason: Range check error while reading beyond.gbr"));
  EXPECT_TRUE(HasLine(log, "Reason: Range check error while reading over.gbr"));
  EXPECT_EQ(CheckPdf(*this / "min_gbr.pdf"), std::vector<std::string>{});
}

// Aperture macros that divide by zero, nest parentheses 100000 deep, overflow the double
// range, and one that asks for more shapes than can be held.
TEST_F(Hostile, MacrosDividingByZeroNestingDeepAndMultiplying) {
  WriteFile(*this / "zero.gbr",
            "%FSLAX24Y24*%%MOIN*%%AMZ*$3=$1/0*1,1,$2/$3,0,0*1,1,0.05/0.0,0,0*"
            "1,1,0.02,0/0,1/0*%%ADD10Z,1X2*%D10*X0Y0D03*X1000Y1000D03*M02*");
  WriteFile(*this / "deep.gbr", "%FSLAX24Y24*%%MOIN*%%AMD*$1=" + std::string(100000, '(') + "3" +
                                    std::string(100000, ')') +
                                    "*1,1,0.03,0,0*%%ADD10D*%D10*"
                                    "X0Y0D03*X500Y0D03*M02*");
  WriteFile(*this / "huge.gbr", "%FSLAX24Y24*%%MOIN*%%AMH*1,1," + std::string(400, '9') + "X" +
                                    std::string(400, '9') + ",0,0*%%ADD10H*%D10*X0Y0D03*M02*");
  std::string many = "%FSLAX24Y24*%%MOIN*%%AMBIG*";
  for (int i = 0; i < 3000; ++i) many += "1,1,0.01," + std::to_string(i % 50) + ",0*";
  many += "%";
  for (int d = 10; d < 3010; ++d) many += "%ADD" + std::to_string(d) + "BIG*%";
  WriteFile(*this / "many.gbr", many + "D10*X0Y0D03*M02*");
  Measured r = Run({"zero.gbr", "deep.gbr", "huge.gbr", "many.gbr"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto out = SplitLines(r.out);
  ExpectVerdicts(out, {"zero.gbr", "deep.gbr"}, {"huge.gbr", "many.gbr"});
  EXPECT_GT(
      CountLinesStartingWith(Log(), "Reason: Aperture macros make more shapes than can be held"),
      0);
  EXPECT_LT(r.maxRssKiB, 512L * 1024);
  EXPECT_EQ(CheckPdf(*this / "zero_gbr.pdf"), std::vector<std::string>{});
}

// A region of the path capacity (80000 points) and one of 200000; 4000 D codes, 2000
// apertures and 500 macros, and definitions beyond each.
TEST_F(Hostile, CapacitiesAndBeyond) {
  for (int points : {80000, 200000}) {
    std::string text = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\nG36*\nX0Y0D02*\n";
    for (int i = 1; i < points; ++i)
      text += "X" + std::to_string(i % 2000) + "Y" + std::to_string(i / 2000 * 10) + "D01*\n";
    WriteFile(*this / ("region" + std::to_string(points) + ".gbr"), text + "G37*\nM02*\n");
  }
  std::string tables = "%FSLAX24Y24*%\n%MOIN*%\n";
  for (int m = 1; m <= 520; ++m)
    tables += "%AMM" + std::to_string(m) + "*1,1,0.01,0," + std::to_string(m % 9) + "*%\n";
  for (int d = 10; d <= 4100; ++d)
    tables += "%ADD" + std::to_string(d) +
              (d % 3 ? "C,0.00" + std::to_string(d % 9 + 1) : "M" + std::to_string(d % 520 + 1)) +
              "*%\n";
  for (int d = 10; d <= 4100; d += 37)
    tables += "D" + std::to_string(d) + "*X" + std::to_string(d) + "Y0D03*\n";
  WriteFile(*this / "tables.gbr", tables + "M02*\n");
  Measured r = Run({"region80000.gbr", "region200000.gbr", "tables.gbr"});
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto out = SplitLines(r.out);
  ExpectVerdicts(out, {"region80000.gbr", "region200000.gbr", "tables.gbr"}, {});
  EXPECT_EQ(std::count(out.begin(), out.end(), "Image Complete"), 3);
  EXPECT_EQ(CheckPdf(*this / "region80000_gbr.pdf"), std::vector<std::string>{});
  if (PdfPageCount(*this / "region80000_gbr.pdf") >= 0) {
    EXPECT_EQ(PdfPageCount(*this / "region80000_gbr.pdf"), 3);
  }
}

// An empty file, a binary file, a folder, a file that cannot be read and a missing one:
// each is reported and the good file after them still becomes the document.
TEST_F(Hostile, EmptyBinaryFolderUnreadableAndMissing) {
  WriteFile(*this / "empty.gbr", "");
  std::string binary(64 << 10, '\0');
  std::mt19937 rng(7);
  for (char& c : binary) c = static_cast<char>(rng());
  WriteFile(*this / "binary.gbr", binary);
  fs::create_directory(*this / "folder.gbr");
  WriteFile(*this / "folder.gbr/inside.txt", "kept");
  WriteFile(*this / "good.gbr", kGood);
  std::vector<std::string> args{"empty.gbr", "binary.gbr", "folder.gbr", "missing.gbr"};
#if defined(__linux__)
  fs::create_symlink("/proc/self/mem", *this / "unreadable.gbr");  // exists, read fails
  args.push_back("unreadable.gbr");
#endif
  args.push_back("good.gbr");
  const Snapshot before = Take(dir_.path());
  Measured r = Run(args);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto out = SplitLines(r.out);
  ExpectVerdicts(out, {}, {"empty.gbr", "binary.gbr"});
  EXPECT_NE(r.err.find("File Not Found: folder.gbr"), std::string::npos);
  EXPECT_NE(r.err.find("File Not Found: missing.gbr"), std::string::npos);
#if defined(__linux__)
  EXPECT_NE(r.err.find("Cannot read unreadable.gbr: "), std::string::npos) << r.err;
#endif
  EXPECT_TRUE(HasLine(out, "Finsished Reading Gerber: good.gbr"));
  EXPECT_TRUE(HasLine(out, "PDF Document Complete"));
  ExpectOnlyChanged(before, Take(dir_.path()), {"good_gbr.pdf"});
  EXPECT_EQ(CheckPdf(*this / "good_gbr.pdf"), std::vector<std::string>{});
}

// A file that appears, disappears, turns into a folder and into something unreadable while
// the run goes through 300 arguments naming it: every argument gets exactly one of the
// messages, whichever state it met between the existence check and the read.
TEST_F(Hostile, FileThatDisappearsOrBecomesUnreadable) {
  WriteFile(*this / "board.src", kGood);
  const fs::path flip = *this / "flip.gbr";
  std::atomic<bool> stop{false};
  std::thread changer([&] {
    std::error_code ec;
    for (unsigned i = 0; !stop; ++i) {
      fs::remove_all(flip, ec);
      switch (i % 4) {
        case 0:
          fs::copy_file(*this / "board.src", flip, ec);
          break;
        case 1:
          break;  // gone
        case 2:
          fs::create_directory(flip, ec);
          break;
        case 3:
          fs::create_symlink("/proc/self/mem", flip, ec);
          break;
      }
      std::this_thread::yield();
    }
  });
  std::vector<std::string> args(300, "flip.gbr");
  args.push_back("board.src");
  Measured r = Run(args);
  stop = true;
  changer.join();
  ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status << r.err;
  auto out = SplitLines(r.out);
  auto err = SplitLines(r.err);
  const long read = std::count(out.begin(), out.end(), "Finsished Reading Gerber: flip.gbr");
  const long bad = std::count(out.begin(), out.end(), "Bad RS-274-X file: flip.gbr");
  const long missing = std::count(err.begin(), err.end(), "File Not Found: flip.gbr");
  const long unreadable = std::count_if(err.begin(), err.end(), [](const std::string& l) {
    return l.rfind("Cannot read flip.gbr: ", 0) == 0;
  });
  EXPECT_EQ(read + bad + missing + unreadable, 300) << r.out << r.err;
  EXPECT_TRUE(HasLine(out, "Finsished Reading Gerber: board.src"));
  EXPECT_EQ(r.status, 0);
}

// The output PDF's place holds a folder, or a read-only PDF: the run says which file and
// why, and both stay as they were.
TEST_F(Hostile, OutputPathIsAFolderOrReadOnly) {
  WriteFile(*this / "good.gbr", kGood);
  fs::create_directory(*this / "good_gbr.pdf");
  WriteFile(*this / "good_gbr.pdf/keep.txt", "mine");
  Snapshot before = Take(dir_.path());
  Measured r = Run({"good.gbr"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(
      r.err.find("File could not be created! good_gbr.pdf: a folder of that name is in the way"),
      std::string::npos)
      << r.err;
  EXPECT_TRUE(HasLine(
      Log(), "File could not be created! good_gbr.pdf: a folder of that name is in the way"));
  ExpectOnlyChanged(before, Take(dir_.path()), {});

  fs::remove_all(*this / "good_gbr.pdf");
  WriteFile(*this / "good_gbr.pdf", "my old PDF");
  fs::permissions(*this / "good_gbr.pdf",
                  fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  before = Take(dir_.path());
  r = Run({"good.gbr"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("File could not be created! good_gbr.pdf: the existing file is read-only"),
            std::string::npos)
      << r.err;
  ExpectOnlyChanged(before, Take(dir_.path()), {});
  EXPECT_EQ(ReadFile(*this / "good_gbr.pdf"), "my old PDF");

  if (geteuid() != 0) {  // root writes into any folder
    fs::remove(*this / "good_gbr.pdf");
    fs::create_directory(*this / "locked");
    WriteFile(*this / "locked/good.gbr", kGood);
    fs::permissions(*this / "locked", fs::perms::owner_read | fs::perms::owner_exec);
    r = Run({"locked/good.gbr"});
    fs::permissions(*this / "locked", fs::perms::owner_all);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.err.find("File could not be created! locked/good_gbr.pdf: its folder is not writable"),
        std::string::npos)
        << r.err;
  }
}

// Names with blanks, quotes, non-ASCII characters and a leading '-' (after "--") are files
// like any other: the PDF is named after the first, the caption and the log carry the names.
TEST_F(Hostile, NamesWithBlanksQuotesNonAsciiAndLeadingDash) {
  const std::vector<std::string> names = {"-top layer.gbr", "it's \"quoted\".gbr",
                                          "pl\xC3\xA4tine \xC3\xBC.gbr", "--.gbr"};
  for (const auto& n : names) WriteFile(*this / n, kGood);
  const Snapshot before = Take(dir_.path());
  std::vector<std::string> args{"--"};
  args.insert(args.end(), names.begin(), names.end());
  Measured r = Run(args);
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  auto out = SplitLines(r.out);
  ExpectVerdicts(out, names, {});
  EXPECT_TRUE(HasLine(Log(), "Finsished Reading Gerber: pl\xC3\xA4tine \xC3\xBC.gbr"));
  const fs::path pdf = *this / "-top layer_gbr.pdf";
  ASSERT_TRUE(fs::exists(pdf));
  ExpectOnlyChanged(before, Take(dir_.path()), {"-top layer_gbr.pdf"});
  EXPECT_EQ(CheckPdf(pdf), std::vector<std::string>{});
  const std::string text = PdfText(pdf);
  if (!text.empty()) {
    EXPECT_NE(text.find("File Name: -top layer.gbr"), std::string::npos) << text;
    EXPECT_NE(text.find("File Name: it's \"quoted\".gbr"), std::string::npos) << text;
    EXPECT_NE(text.find("File Name: pl\xC3\xA4tine \xC3\xBC.gbr"), std::string::npos) << text;
  }
}

// A run that fails while writing the PDF (the file-size limit is reached) or is killed
// for it leaves the PDF of the previous run as it was and no temporary file; the next good
// run replaces it.
TEST_F(Hostile, FailedOrInterruptedWriteKeepsThePreviousPdf) {
  WriteFile(*this / "busy.gbr", BusyBoard(8000));
  Measured first = Run({"busy.gbr"});
  ASSERT_EQ(first.status, 0) << first.err;
  const std::string good = ReadFile(*this / "busy_gbr.pdf");
  ASSERT_GT(good.size(), 64u << 10);
  WriteFile(*this / "busy_gbr.pdf", "the user's previous PDF");

  Limits limits;
  limits.fileSize = 16 << 10;
  limits.ignoreFileSizeSignal = true;  // writes fail with EFBIG
  Snapshot before = Take(dir_.path());
  Measured failed = Run({"busy.gbr"}, limits);
  EXPECT_EQ(failed.status, 1);
  EXPECT_NE(failed.err.find("Cannot write "), std::string::npos) << failed.err;
  EXPECT_EQ(CountLinesStartingWith(SplitLines(failed.out), "PDF Document Complete"), 0);
  ExpectOnlyChanged(before, Take(dir_.path()), {});

  limits.ignoreFileSizeSignal = false;  // SIGXFSZ kills the run mid-write
  Measured killed = Run({"busy.gbr"}, limits);
  EXPECT_EQ(killed.status, 128 + SIGXFSZ);
  EXPECT_EQ(ReadFile(*this / "busy_gbr.pdf"), "the user's previous PDF");
  ExpectOnlyChanged(before, Take(dir_.path()), {});  // the signal took the temporary file along

  Measured again = Run({"busy.gbr"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(ReadFile(*this / "busy_gbr.pdf").size(), good.size());
  EXPECT_EQ(CheckPdf(*this / "busy_gbr.pdf"), std::vector<std::string>{});
}
