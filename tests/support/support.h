#pragma once
// Helpers shared by the test suites: temporary folders and files, running programs (the
// built binary and the PDF tools), the corpus, and checking the PDFs that come out.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace pvtest {

// ---------------------------------------------------------------------------------
// Folders, files and the environment

// A fresh folder under the system temp folder, removed when the object goes away.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& p);
void WriteFile(const std::filesystem::path& p, const std::string& bytes);

// Sets an environment variable (unsets it for nullptr) for a scope and puts the old value
// back afterwards; the time zone is read again both times, so TZ takes effect at once.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value);
  ~ScopedEnv();
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_;
  std::optional<std::string> old_;
};

// ---------------------------------------------------------------------------------
// Running programs

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
  long maxRssKiB = 0;     // the child's peak resident memory
  bool timedOut = false;  // killed with SIGKILL after RunLimits::timeoutSeconds
};

// Limits and circumstances of the child.
struct RunLimits {
  uint64_t fileSize = 0;              // RLIMIT_FSIZE of the child in bytes; 0: none
  bool ignoreFileSizeSignal = false;  // writes beyond it fail with EFBIG instead of SIGXFSZ
  uint64_t addressSpace = 0;          // RLIMIT_AS in bytes (binds root too); 0: none
  uint64_t stack = 0;                 // RLIMIT_STACK in bytes, also new threads' stacks; 0: as is
  double timeoutSeconds = 0;          // SIGKILL after this long; 0: wait for ever
  bool closeStdin = false, closeStdout = false, closeStderr = false;  // start with them closed
  bool noReader = false;  // standard output and error are pipes nobody reads (EPIPE, SIGPIPE)
  // Sent once signalWhen (polled every millisecond or so while the child runs) says yes.
  int signal = 0;
  std::function<bool()> signalWhen;
};

// Runs a program given by its path, with arguments (no shell), in a working folder,
// standard input from /dev/null, capturing both streams.
RunResult RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                     const std::vector<std::string>& extra_env = {}, const RunLimits& limits = {});

// Full path of an executable regular file on PATH, or empty.
std::string FindTool(const std::string& name);

// The built plotvane binary and the repository it was built from.
std::filesystem::path PlotvaneBinary();
std::filesystem::path SourceDir();

// Copies the plotvane binary into <dir>/bin so that its program folder (settings file and
// log) is private to the test; returns the copy's path.
std::filesystem::path InstallBinary(const std::filesystem::path& dir);

// ---------------------------------------------------------------------------------
// Text

// Splits text into lines on "\r\n"; true in *crlf when every line break is CR LF.
std::vector<std::string> SplitLines(const std::string& text, bool* crlf = nullptr);
// True when one of the lines is exactly `line`.
bool HasLine(const std::vector<std::string>& lines, const std::string& line);
// How many of the lines start with `prefix`.
long CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix);
// The pages of pdftotext's output (each page ends with a form feed).
std::vector<std::string> SplitPages(const std::string& text);

// ---------------------------------------------------------------------------------
// Boards

// The corpus folder beside the repository, or empty when it is absent.
std::filesystem::path CorpusDir();
// The paths (relative to the corpus) listed in the first column of its INDEX.tsv.
std::vector<std::string> IndexedFiles(const std::filesystem::path& corpus);
// The indexed files that are no acceptable RS-274-X: their only aperture definition has
// no numeric modifier ("%ADD20C,BBBB*%", a fuzzing input).
const std::set<std::string>& RefusedCorpusFiles();

// A test over the corpus, skipped when there is none beside the repository.
class CorpusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corpus = CorpusDir();
    if (corpus.empty()) GTEST_SKIP() << "no corpus beside the repository";
  }
  std::filesystem::path corpus;
};

// A board of many tracks at pseudo-random places (fixed seed): 8000 tracks make a PDF of
// about 70 KiB, 100000 a page content of several deflate chunks.
std::string BusyBoard(int tracks);

// ---------------------------------------------------------------------------------
// PDF checks

// Inflates one whole zlib stream (header and Adler-32 checked) into `out`; false when the
// stream is damaged, ends early or is followed by more bytes.
bool Inflate(std::string_view z, std::string& out);
// The same as a value: the inflated stream, or "<inflate error>".
std::string Inflated(std::string_view z);

// The object offsets of a PDF's cross-reference table, by object number.
std::map<int, size_t> PdfObjectOffsets(const std::string& pdf);
// The text of object n from "n 0 obj" through "endobj\r\n"; empty when there is none.
std::string PdfObject(const std::string& pdf, int n);
// The raw (still filtered) data of stream object n; empty when it has none.
std::string PdfStreamData(const std::string& pdf, int n);

// How often WHAT stands in S, overlapping matches counted.
size_t CountOf(std::string_view s, std::string_view what);

// Checks a PDF the way a user meets it: qpdf --check, rendering with pdftoppm and with
// mutool draw (at a low resolution), all without errors or warnings on standard error.
// Returns the problems found (empty: good). Tools that are absent are skipped.
std::vector<std::string> CheckPdf(const std::filesystem::path& pdf);

// Page count from pdfinfo (-1 when unavailable) and the text of the document (pdftotext,
// pages separated by form feeds).
int PdfPageCount(const std::filesystem::path& pdf);
std::string PdfText(const std::filesystem::path& pdf);

// A grey page rendered by pdftoppm, or by mutool draw when `mutool` (P5 PGM); empty when
// the tool is absent.
struct GreyImage {
  int width = 0, height = 0;
  std::vector<unsigned char> pixels;
  unsigned char at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  bool empty() const { return pixels.empty(); }
};
GreyImage RenderPage(const std::filesystem::path& pdf, int page, int dpi, bool mutool = false);

// Bounding box of the pixels darker than a threshold inside a region (default: all).
struct Box {
  int left = -1, top = -1, right = -1, bottom = -1;  // inclusive; -1 when none
  int width() const { return left < 0 ? 0 : right - left + 1; }
  int height() const { return top < 0 ? 0 : bottom - top + 1; }
};
Box DarkBox(const GreyImage& img, int x0 = 0, int y0 = 0, int x1 = -1, int y1 = -1,
            unsigned char threshold = 128);

}  // namespace pvtest
