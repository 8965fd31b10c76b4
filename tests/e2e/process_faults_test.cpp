// Faults of the process around the conversion, through the real binary: inputs that turn
// into FIFOs, threads that cannot start, closed standard streams, a reader of standard
// output that goes away, terminating signals, long names, too little memory, a log that
// cannot be written or is held by another run.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "support/installed_binary.h"
#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer's shadow memory needs terabytes of address space.
constexpr bool kAddressSpaceLimitsWork = false;
#else
constexpr bool kAddressSpaceLimitsWork = true;
#endif

constexpr uint64_t kMiB = 1 << 20;

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.rfind(prefix, 0) == 0;
}

class ProcessFaults : public InstalledBinary {
 protected:
  // Hidden entries of the folder: temporary PDFs left behind.
  std::vector<std::string> Hidden() const {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : fs::directory_iterator(dir_.path(), ec))
      if (e.path().filename().string().front() == '.') names.push_back(e.path().filename());
    return names;
  }
};

}  // namespace

// An input that is a regular file when it is looked at and a FIFO when it is opened (the
// name is switched between the two, atomically, while the run goes through it 2000
// times): it is refused, never waited for, and every argument gets exactly one message.
TEST_F(ProcessFaults, InputTurningIntoAFifoIsRefusedNotWaitedFor) {
  WriteFile(*this / "board.src", kGood);
  ASSERT_EQ(::mkfifo((*this / "fifo.src").c_str(), 0600), 0);
  const fs::path flip = *this / "flip.gbr", next = *this / "next.tmp";
  std::atomic<bool> stop{false};
  std::thread changer([&] {
    for (unsigned i = 0; !stop; ++i) {
      std::error_code ec;
      fs::remove(next, ec);
      fs::create_hard_link(*this / (i % 2 ? "fifo.src" : "board.src"), next, ec);
      fs::rename(next, flip, ec);
    }
  });
  std::vector<std::string> args(2000, "flip.gbr");
  args.push_back("board.src");
  RunLimits limits;
  limits.timeoutSeconds = 60;
  RunResult r = Run(args, limits);
  stop = true;
  changer.join();
  ASSERT_FALSE(r.timedOut) << "the run waited for a writer of the FIFO";
  auto out = SplitLines(r.out);
  auto err = SplitLines(r.err);
  const long read = std::count(out.begin(), out.end(), "Finsished Reading Gerber: flip.gbr");
  const long fifo = std::count(err.begin(), err.end(), "File Not Found: flip.gbr");
  const long refused =
      std::count(err.begin(), err.end(), "Cannot read flip.gbr: not a regular file");
  EXPECT_EQ(read + fifo + refused, 2000) << r.err;
  EXPECT_TRUE(HasLine(out, "Finsished Reading Gerber: board.src"));
  EXPECT_EQ(r.status, 0);
}

// No deflate worker can be started (every new thread would take a stack of 1 GiB in an
// address space of 768 MiB): the content is deflated on the main thread and the run ends
// with a complete PDF instead of waiting for chunks nobody owns.
TEST_F(ProcessFaults, WorkerThreadsThatCannotStartDoNotHangTheRun) {
  if (!kAddressSpaceLimitsWork) GTEST_SKIP() << "address-space limit under the sanitizers";
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "no deflate workers on one CPU";
  WriteFile(*this / "busy.gbr", BusyBoard(100000));  // content of several chunks
  RunLimits limits;
  limits.stack = 1024 * kMiB;
  limits.addressSpace = 768 * kMiB;
  limits.timeoutSeconds = 120;
  RunResult r = Run({"busy.gbr"}, limits);
  ASSERT_FALSE(r.timedOut) << "the run hung";
  ASSERT_EQ(r.status, 0) << r.out << r.err;
  EXPECT_TRUE(HasLine(SplitLines(r.out), "PDF Document Complete"));
  EXPECT_EQ(Hidden(), std::vector<std::string>{});
  EXPECT_EQ(CheckPdf(*this / "busy_gbr.pdf"), std::vector<std::string>{});
}

// Started with standard input, output or error closed: what the program opens does not
// take their numbers, so neither the PDF nor the log gets the messages meant for them.
TEST_F(ProcessFaults, ClosedStandardStreamsKeepMessagesOutOfThePdfAndLog) {
  WriteFile(*this / "good.gbr", kGood);
  WriteFile(*this / "good2.gbr", kGood);
  for (int variant = 0; variant < 3; ++variant) {
    SCOPED_TRACE(variant);
    RunLimits limits;
    limits.closeStdin = variant != 1;
    limits.closeStderr = variant != 1;
    limits.closeStdout = variant >= 1;
    fs::remove(*this / "good_gbr.pdf");
    RunResult r = Run({"good.gbr", "missing.gbr", "good2.gbr"}, limits);
    EXPECT_EQ(r.status, 0);
    const std::string pdf = ReadFile(*this / "good_gbr.pdf");
    EXPECT_TRUE(StartsWith(pdf, "%PDF-1.4\r\n")) << pdf.substr(0, 40);
    EXPECT_EQ(CheckPdf(*this / "good_gbr.pdf"), std::vector<std::string>{});
    EXPECT_EQ(PdfPageCount(*this / "good_gbr.pdf"), 2);
    const auto log = Log();
    ASSERT_GE(log.size(), 4u);
    EXPECT_EQ(log[3], "Plotvane Application Ver 1.02");
    EXPECT_EQ(std::count(log.begin(), log.end(), "Plotvane Application Ver 1.02"), 1);
    EXPECT_TRUE(HasLine(log, "File Not Found: missing.gbr"));
    EXPECT_EQ(log[log.size() - 2], "PDF Document Complete");
    EXPECT_EQ(log.back(), "Wrote good_gbr.pdf: 2 pages");
  }
}

// Nobody reads standard output or error (as under `| head -c0`): the conversion goes on
// to a complete PDF, and the log has every line and says that standard output failed.
TEST_F(ProcessFaults, ReaderOfStandardOutputThatGoesAwayDoesNotStopTheRun) {
  WriteFile(*this / "a.gbr", kGood);
  WriteFile(*this / "b.gbr", kGood);
  RunLimits limits;
  limits.noReader = true;
  limits.timeoutSeconds = 60;
  RunResult r = Run({"a.gbr", "missing.gbr", "b.gbr"}, limits);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(PdfPageCount(*this / "a_gbr.pdf"), 2);
  EXPECT_EQ(CheckPdf(*this / "a_gbr.pdf"), std::vector<std::string>{});
  EXPECT_EQ(Hidden(), std::vector<std::string>{});
  const auto log = Log();
  EXPECT_TRUE(HasLine(log, "File Not Found: missing.gbr"));
  EXPECT_TRUE(HasLine(log, "Finsished Reading Gerber: b.gbr"));
  EXPECT_TRUE(HasLine(log, "PDF Document Complete"));
  EXPECT_EQ(log.back(), "Standard output could not be written; the messages are in this log only");
}

// SIGTERM, SIGINT or SIGHUP while the PDF is being written: the temporary file goes, the
// previous PDF stays, and the process ends as killed by that signal.
TEST_F(ProcessFaults, TerminatingSignalsRemoveTheTemporaryPdf) {
  WriteFile(*this / "busy.gbr", BusyBoard(150000));
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE(sig);
    WriteFile(*this / "busy_gbr.pdf", "the previous PDF");
    RunLimits limits;
    limits.signal = sig;
    limits.signalWhen = [this] { return !Hidden().empty(); };  // the temporary PDF exists
    limits.timeoutSeconds = 120;
    RunResult r = Run({"busy.gbr"}, limits);
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.status, 128 + sig) << r.out << r.err;
    EXPECT_EQ(Hidden(), std::vector<std::string>{});
    EXPECT_EQ(ReadFile(*this / "busy_gbr.pdf"), "the previous PDF");
  }
}

// PDF names of 248 to 255 bytes (the longest a name can be) are written, also with
// characters of two bytes; a name one byte longer is refused with the real reason when the
// document is begun, and leaves nothing behind.
TEST_F(ProcessFaults, LongestPdfNamesAreWrittenAndLongerOnesRefusedWithTheReason) {
  auto convert = [this](const std::string& base, const std::string& ext) {
    const std::string arg = base + "." + ext;
    WriteFile(*this / arg, kGood);
    return Run({arg});
  };
  for (size_t length : {248u, 251u, 255u}) {
    const std::string base(length - 8, 'n');  // + "_gbr.pdf"
    RunResult r = convert(base, "gbr");
    EXPECT_EQ(r.status, 0) << length << ": " << r.err;
    EXPECT_EQ(CheckPdf(*this / (base + "_gbr.pdf")), std::vector<std::string>{}) << length;
  }
  std::string wide;
  for (int i = 0; i < 124; ++i) wide += "\xC3\xBC";  // 248 bytes; the PDF name has 254
  RunResult r = convert(wide, "g");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(fs::exists(*this / (wide + "_g.pdf")));
  EXPECT_EQ(Hidden(), std::vector<std::string>{});

  const std::string tooLong(248, 'x');  // the PDF name has 256 bytes
  r = convert(tooLong, "gbr");
  EXPECT_EQ(r.status, 1);
  const std::string message =
      "File could not be created! " + tooLong + "_gbr.pdf: File name too long";
  EXPECT_NE(r.err.find(message), std::string::npos) << r.err;
  EXPECT_TRUE(HasLine(Log(), message));
  EXPECT_EQ(Hidden(), std::vector<std::string>{});
}

namespace {

// A board of 3000 flashes of a macro of eight 40-sided outlines: small to read, heavy to
// draw and to write.
std::string HeavyMacroBoard() {
  std::mt19937 rng(1);
  std::uniform_int_distribution<int> v(-500, 500), at(0, 40000);
  std::string s = "%FSLAX24Y24*%\n%MOIN*%\n%AMBIG*\n";
  for (int k = 0; k < 8; ++k) {
    std::string first, outline = "4,1,40";
    for (int j = 0; j < 40; ++j) {
      const std::string p =
          "," + std::to_string(v(rng) / 10000.0) + "," + std::to_string(v(rng) / 10000.0);
      if (j == 0) first = p;
      outline += p;
    }
    s += outline + first + ",0*" + (k == 7 ? "%\n" : "\n");
  }
  s += "%ADD10BIG*%\nD10*\n";
  for (int i = 0; i < 3000; ++i)
    s += "X" + std::to_string(at(rng)) + "Y" + std::to_string(at(rng)) + "D03*\n";
  return s + "M02*\n";
}

}  // namespace

// That board and a small one under address-space limits from far too little to enough, so
// that memory runs out while reading, while drawing and while writing the PDF: every run
// ends by itself; running out of memory is said as such on standard output and in the log;
// the small board still gets its page when only the large one could not be read; a half
// drawn page gives up the document; a PDF is complete or absent; no temporary file stays.
TEST_F(ProcessFaults, OutOfMemoryIsReportedAndTheRunGoesOnWhereItCan) {
  if (!kAddressSpaceLimitsWork) GTEST_SKIP() << "address-space limit under the sanitizers";
  WriteFile(*this / "heavy.gbr", HeavyMacroBoard());
  WriteFile(*this / "small.gbr", kGood);
  bool smallAlone = false, drawing = false, writing = false, both = false;
  for (uint64_t mib = 8; mib <= 96; mib += 4) {
    SCOPED_TRACE(std::to_string(mib) + " MiB");
    fs::remove(*this / "heavy_gbr.pdf");
    fs::remove(*this / "small_gbr.pdf");
    fs::remove(*this / "bin/Plotvane_Log.txt");
    RunLimits limits;
    limits.addressSpace = mib * kMiB;
    limits.timeoutSeconds = 60;
    RunResult r = Run({"heavy.gbr", "small.gbr"}, limits);
    ASSERT_FALSE(r.timedOut) << "the run hung";
    EXPECT_EQ(Hidden(), std::vector<std::string>{});
    if (r.out.empty() && r.status != 0) continue;  // too little even to start the program
    const auto out = SplitLines(r.out);
    const auto log = Log();
    EXPECT_EQ(CountLinesStartingWith(out, "Bad RS-274-X file"), 0) << r.out;
    EXPECT_EQ(r.err.find("bad_alloc"), std::string::npos) << r.err;
    EXPECT_FALSE(HasLine(SplitLines(r.err), "error")) << r.err;
    ASSERT_TRUE(r.status == 0 || r.status == 1) << r.status << r.out << r.err;
    EXPECT_EQ(CountLinesStartingWith(out, "Out of memory"),
              CountLinesStartingWith(log, "Out of memory"))
        << r.out;
    if (r.status == 1) {
      EXPECT_GE(CountLinesStartingWith(out, "Out of memory"), 1) << r.out << r.err;
      EXPECT_FALSE(fs::exists(*this / "heavy_gbr.pdf"));
      EXPECT_FALSE(fs::exists(*this / "small_gbr.pdf"));
      drawing |= HasLine(out, "Out of memory drawing heavy.gbr: the PDF document is given up");
      writing |= HasLine(out, "Out of memory writing the PDF document");
    } else if (HasLine(out, "Out of memory reading heavy.gbr: it gets no page")) {
      if (!smallAlone) {
        EXPECT_EQ(CheckPdf(*this / "small_gbr.pdf"), std::vector<std::string>{});
      }
      EXPECT_EQ(PdfPageCount(*this / "small_gbr.pdf"), 1);
      smallAlone = true;
    } else {
      if (!both) {
        EXPECT_EQ(CheckPdf(*this / "heavy_gbr.pdf"), std::vector<std::string>{});
      }
      EXPECT_EQ(PdfPageCount(*this / "heavy_gbr.pdf"), 2);
      both = true;
    }
  }
  EXPECT_TRUE(smallAlone);
  EXPECT_TRUE(drawing);
  EXPECT_TRUE(writing);
  EXPECT_TRUE(both);
}

// The log cannot be written (it is /dev/full) while the PDF can: the PDF is complete, the
// run says why the log failed, and the status is 3: not 0, since the log is incomplete,
// and not 1, which would say that no PDF was written.
TEST_F(ProcessFaults, LogThatCannotBeWrittenAfterACompletePdfGivesStatusThree) {
  WriteFile(*this / "good.gbr", kGood);
  WriteFile(*this / "good2.gbr", kGood);
  fs::create_symlink("/dev/full", *this / "bin/Plotvane_Log.txt");
  RunResult r = Run({"good.gbr", "good2.gbr"});
  EXPECT_EQ(r.status, 3);
  EXPECT_TRUE(HasLine(SplitLines(r.out), "PDF Document Complete"));
  EXPECT_NE(r.err.find("Cannot write the log "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("No space left on device"), std::string::npos) << r.err;
  EXPECT_EQ(PdfPageCount(*this / "good_gbr.pdf"), 2);
  EXPECT_EQ(CheckPdf(*this / "good_gbr.pdf"), std::vector<std::string>{});
}
