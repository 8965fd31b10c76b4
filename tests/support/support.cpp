#include "support/support.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace pvtest {

// ---------------------------------------------------------------------------------
// Folders, files and the environment

TempDir::TempDir() {
  std::random_device rd;
  for (int i = 0; i < 100; ++i) {
    fs::path p = fs::temp_directory_path() / ("plotvane-test-" + std::to_string(rd()));
    std::error_code ec;
    if (fs::create_directory(p, ec)) {
      path_ = p;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Restore write permission on anything a test made read-only, then remove.
  for (auto it = fs::recursive_directory_iterator(path_, ec); !ec && it != fs::end(it);
       it.increment(ec))
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::ostringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream f(p, std::ios::binary | std::ios::trunc);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScopedEnv::ScopedEnv(const char* name, const char* value) : name_(name) {
  if (const char* old = std::getenv(name)) old_ = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
  tzset();
}

ScopedEnv::~ScopedEnv() {
  if (old_)
    setenv(name_.c_str(), old_->c_str(), 1);
  else
    unsetenv(name_.c_str());
  tzset();
}

// ---------------------------------------------------------------------------------
// Running programs

namespace {

std::string Drain(int fd) {
  std::string s;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    s.append(buf, static_cast<size_t>(n));
  }
  return s;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const fs::path& cwd,
                     const std::vector<std::string>& extra_env, const RunLimits& limits) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  if (limits.noReader) {
    // Nobody will ever read: the child's writes fail at once.
    close(out[0]), close(err[0]);
    out[0] = err[0] = -1;
  }
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (out[0] >= 0) close(out[0]);
    if (err[0] >= 0) close(err[0]);
    close(out[1]), close(err[1]);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    if (devnull > 2) close(devnull);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    for (const auto& e : extra_env) putenv(const_cast<char*>(e.c_str()));
    if (limits.fileSize != 0) {
      rlimit r{limits.fileSize, limits.fileSize};
      setrlimit(RLIMIT_FSIZE, &r);
    }
    if (limits.stack != 0) {
      rlimit r{limits.stack, limits.stack};
      setrlimit(RLIMIT_STACK, &r);
    }
    if (limits.addressSpace != 0) {
      rlimit r{limits.addressSpace, limits.addressSpace};
      setrlimit(RLIMIT_AS, &r);
    }
    signal(SIGXFSZ, limits.ignoreFileSizeSignal ? SIG_IGN : SIG_DFL);
    signal(SIGPIPE, SIG_DFL);
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (limits.closeStdin) close(0);
    if (limits.closeStdout) close(1);
    if (limits.closeStderr) close(2);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  RunResult r;
  std::atomic<bool> finished{false};
  std::thread watcher;
  if (limits.timeoutSeconds > 0 || limits.signalWhen) {
    watcher = std::thread([&] {
      const auto start = std::chrono::steady_clock::now();
      bool signalled = false;
      while (!finished) {
        if (limits.signalWhen && !signalled && limits.signalWhen()) {
          kill(pid, limits.signal);
          signalled = true;
        }
        const std::chrono::duration<double> spent = std::chrono::steady_clock::now() - start;
        if (limits.timeoutSeconds > 0 && spent.count() > limits.timeoutSeconds) {
          r.timedOut = true;
          kill(pid, SIGKILL);
          return;
        }
        std::this_thread::sleep_for(std::chrono::microseconds(500));
      }
    });
  }
  int status = 0;
  rusage ru{};
  if (limits.noReader) {
    wait4(pid, &status, 0, &ru);
  } else {
    std::thread t([&] { r.err = Drain(err[0]); });
    r.out = Drain(out[0]);
    t.join();
    close(out[0]);
    close(err[0]);
    wait4(pid, &status, 0, &ru);
  }
  finished = true;
  if (watcher.joinable()) watcher.join();
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  r.maxRssKiB = ru.ru_maxrss;
  return r;
}

std::string FindTool(const std::string& name) {
  const char* path = std::getenv("PATH");
  const std::string dirs = path ? path : "/usr/bin:/bin";
  size_t start = 0;
  while (start <= dirs.size()) {
    size_t end = dirs.find(':', start);
    if (end == std::string::npos) end = dirs.size();
    const fs::path candidate = fs::path(dirs.substr(start, end - start)) / name;
    std::error_code ec;
    // An empty entry would name a file of the working folder.
    if (end > start && fs::is_regular_file(candidate, ec) && access(candidate.c_str(), X_OK) == 0)
      return candidate.string();
    start = end + 1;
  }
  return {};
}

fs::path PlotvaneBinary() {
  return PLOTVANE_BINARY;
}
fs::path SourceDir() {
  return PLOTVANE_SOURCE_DIR;
}

fs::path InstallBinary(const fs::path& dir) {
  fs::path bin = dir / "bin";
  fs::create_directories(bin);
  fs::path exe = bin / "plotvane";
  fs::copy_file(PlotvaneBinary(), exe, fs::copy_options::overwrite_existing);
  fs::permissions(exe, fs::perms::owner_all, fs::perm_options::add);
  return exe;
}

// ---------------------------------------------------------------------------------
// Text

std::vector<std::string> SplitLines(const std::string& text, bool* crlf) {
  std::vector<std::string> lines;
  bool all_crlf = true;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      size_t end = i;
      if (end > start && text[end - 1] == '\r')
        --end;
      else
        all_crlf = false;
      lines.push_back(text.substr(start, end - start));
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  if (crlf) *crlf = all_crlf;
  return lines;
}

bool HasLine(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

long CountLinesStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  return std::count_if(lines.begin(), lines.end(),
                       [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
}

std::vector<std::string> SplitPages(const std::string& text) {
  std::vector<std::string> pages;
  size_t start = 0;
  for (size_t ff = text.find('\f'); ff != std::string::npos; ff = text.find('\f', start)) {
    pages.push_back(text.substr(start, ff - start));
    start = ff + 1;
  }
  return pages;
}

// ---------------------------------------------------------------------------------
// Boards

fs::path CorpusDir() {
  fs::path p = PLOTVANE_CORPUS_DIR;
  std::error_code ec;
  return fs::is_directory(p, ec) ? p : fs::path();
}

const std::set<std::string>& RefusedCorpusFiles() {
  static const std::set<std::string> files = {"gerbv/test-inputs/parse_aperture_strtok.1.poc"};
  return files;
}

std::vector<std::string> IndexedFiles(const fs::path& corpus) {
  std::vector<std::string> files;
  std::ifstream index(corpus / "INDEX.tsv");
  std::string line;
  std::getline(index, line);  // header
  while (std::getline(index, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::string path = line.substr(0, line.find('\t'));
    if (!path.empty()) files.push_back(path);
  }
  return files;
}

std::string BusyBoard(int tracks) {
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> c(0, 40000);
  std::string s = "%FSLAX24Y24*%\n%MOIN*%\n%ADD10C,0.0100*%\nD10*\n";
  for (int i = 0; i < tracks; ++i) {
    s += "X" + std::to_string(c(rng)) + "Y" + std::to_string(c(rng)) + "D02*\n";
    s += "X" + std::to_string(c(rng)) + "Y" + std::to_string(c(rng)) + "D01*\n";
  }
  return s + "M02*\n";
}

// ---------------------------------------------------------------------------------
// PDF checks

bool Inflate(std::string_view z, std::string& out) {
  z_stream s{};
  if (inflateInit(&s) != Z_OK) return false;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data()));
  s.avail_in = static_cast<uInt>(z.size());
  char buf[65536];
  int rc = Z_OK;
  while (rc == Z_OK) {
    s.next_out = reinterpret_cast<Bytef*>(buf);
    s.avail_out = sizeof buf;
    rc = inflate(&s, Z_NO_FLUSH);
    out.append(buf, sizeof buf - s.avail_out);
  }
  inflateEnd(&s);
  return rc == Z_STREAM_END && s.avail_in == 0;
}

std::string Inflated(std::string_view z) {
  std::string out;
  return Inflate(z, out) ? out : "<inflate error>";
}

std::map<int, size_t> PdfObjectOffsets(const std::string& pdf) {
  std::map<int, size_t> m;
  const size_t sx = pdf.rfind("startxref\r\n");
  if (sx == std::string::npos) return m;
  const size_t at = std::stoul(pdf.substr(sx + 11));
  const size_t line = pdf.find("\r\n", at + 6);
  if (line == std::string::npos) return m;
  const int size = std::stoi(pdf.substr(at + 8, line - at - 8));
  for (int k = 1; k < size; ++k)
    m[k] = std::stoul(pdf.substr(line + 2 + 20 * static_cast<size_t>(k), 10));
  return m;
}

std::string PdfObject(const std::string& pdf, int n) {
  const auto m = PdfObjectOffsets(pdf);
  const auto it = m.find(n);
  if (it == m.end()) return {};
  const size_t end = pdf.find("endobj\r\n", it->second);
  if (end == std::string::npos) return {};
  return pdf.substr(it->second, end + 8 - it->second);
}

std::string PdfStreamData(const std::string& pdf, int n) {
  const std::string obj = PdfObject(pdf, n);
  const size_t s = obj.find(">>\r\nstream\r\n");
  const size_t e = obj.rfind("\r\nendstream\r\n");
  if (s == std::string::npos || e == std::string::npos || e < s + 12) return {};
  return obj.substr(s + 12, e - s - 12);
}

size_t CountOf(std::string_view s, std::string_view what) {
  size_t n = 0;
  for (size_t p = s.find(what); p != std::string_view::npos; p = s.find(what, p + 1)) ++n;
  return n;
}

namespace {

// Standard error without the lines a tool prints for every file on some machines.
std::string Noise(const std::string& err) {
  std::string kept;
  for (const std::string& line : SplitLines(err)) {
    if (line == "warning: ICC support is not available" || line.empty()) continue;
    kept += line + "\n";
  }
  return kept;
}

}  // namespace

std::vector<std::string> CheckPdf(const fs::path& pdf) {
  std::vector<std::string> problems;
  TempDir out;
  if (std::string qpdf = FindTool("qpdf"); !qpdf.empty()) {
    RunResult r = RunProgram({qpdf, "--check", pdf.string()}, out.path());
    if (r.status != 0 ||
        r.out.find("No syntax or stream encoding errors found") == std::string::npos ||
        !Noise(r.err).empty())
      problems.push_back("qpdf --check: status " + std::to_string(r.status) + ": " + r.out + r.err);
  }
  if (std::string ppm = FindTool("pdftoppm"); !ppm.empty()) {
    RunResult r = RunProgram({ppm, "-r", "10", "-png", pdf.string(), (out.path() / "p").string()},
                             out.path());
    if (r.status != 0 || !Noise(r.err).empty())
      problems.push_back("pdftoppm: status " + std::to_string(r.status) + ": " + r.err);
  }
  if (std::string mutool = FindTool("mutool"); !mutool.empty()) {
    RunResult r = RunProgram(
        {mutool, "draw", "-q", "-r", "10", "-o", (out.path() / "m%d.png").string(), pdf.string()},
        out.path());
    if (r.status != 0 || !Noise(r.err).empty())
      problems.push_back("mutool draw: status " + std::to_string(r.status) + ": " + r.err);
  }
  return problems;
}

int PdfPageCount(const fs::path& pdf) {
  std::string info = FindTool("pdfinfo");
  if (info.empty()) return -1;
  RunResult r = RunProgram({info, pdf.string()}, fs::temp_directory_path());
  for (const std::string& line : SplitLines(r.out))
    if (line.rfind("Pages:", 0) == 0) return std::stoi(line.substr(6));
  return -1;
}

std::string PdfText(const fs::path& pdf) {
  std::string tool = FindTool("pdftotext");
  if (tool.empty()) return {};
  return RunProgram({tool, pdf.string(), "-"}, fs::temp_directory_path()).out;
}

GreyImage RenderPage(const fs::path& pdf, int page, int dpi, bool mutool) {
  GreyImage img;
  std::string tool = FindTool(mutool ? "mutool" : "pdftoppm");
  if (tool.empty()) return img;
  TempDir dir;
  std::string p = std::to_string(page);
  RunResult r = mutool ? RunProgram({tool, "draw", "-q", "-c", "gray", "-r", std::to_string(dpi),
                                     "-o", (dir.path() / "page.pgm").string(), pdf.string(), p},
                                    dir.path())
                       : RunProgram({tool, "-gray", "-r", std::to_string(dpi), "-f", p, "-l", p,
                                     "-singlefile", pdf.string(), (dir.path() / "page").string()},
                                    dir.path());
  if (r.status != 0) return img;
  std::string data = ReadFile(dir.path() / "page.pgm");
  // P5 header: magic, width, height, maxval, one whitespace, then the pixels.
  size_t pos = 0;
  auto token = [&] {
    while (pos < data.size() &&
           (isspace(static_cast<unsigned char>(data[pos])) || data[pos] == '#')) {
      if (data[pos] == '#')
        while (pos < data.size() && data[pos] != '\n') ++pos;
      else
        ++pos;
    }
    size_t start = pos;
    while (pos < data.size() && !isspace(static_cast<unsigned char>(data[pos]))) ++pos;
    return data.substr(start, pos - start);
  };
  if (token() != "P5") return img;
  int w = std::stoi(token()), h = std::stoi(token());
  token();
  ++pos;
  if (data.size() < pos + static_cast<size_t>(w) * h) return img;
  img.width = w;
  img.height = h;
  img.pixels.assign(data.begin() + static_cast<long>(pos),
                    data.begin() + static_cast<long>(pos) + static_cast<long>(w) * h);
  return img;
}

Box DarkBox(const GreyImage& img, int x0, int y0, int x1, int y1, unsigned char threshold) {
  Box b;
  if (x1 < 0) x1 = img.width - 1;
  if (y1 < 0) y1 = img.height - 1;
  for (int y = y0; y <= y1 && y < img.height; ++y)
    for (int x = x0; x <= x1 && x < img.width; ++x) {
      if (img.at(x, y) >= threshold) continue;
      if (b.left < 0 || x < b.left) b.left = x;
      if (x > b.right) b.right = x;
      if (b.top < 0 || y < b.top) b.top = y;
      if (y > b.bottom) b.bottom = y;
    }
  return b;
}

}  // namespace pvtest
