#include "support/support.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace fs = std::filesystem;

namespace pvtest {

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

namespace {

std::string Drain(int fd) {
  std::string s;
  char buf[65536];
  for (;;) {
    ssize_t n = read(fd, buf, sizeof buf);
    if (n <= 0) break;
    s.append(buf, static_cast<size_t>(n));
  }
  return s;
}

}  // namespace

RunResult RunProgram(const std::vector<std::string>& argv, const fs::path& cwd,
              const std::vector<std::string>& extra_env) {
  int out[2], err[2];
  if (pipe(out) != 0 || pipe(err) != 0) throw std::runtime_error("pipe");
  pid_t pid = fork();
  if (pid == 0) {
    dup2(out[1], 1);
    dup2(err[1], 2);
    close(out[0]), close(out[1]), close(err[0]), close(err[1]);
    int devnull = open("/dev/null", O_RDONLY);
    dup2(devnull, 0);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    for (const auto& e : extra_env) putenv(const_cast<char*>(e.c_str()));
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
  }
  close(out[1]);
  close(err[1]);
  RunResult r;
  std::thread t([&] { r.err = Drain(err[0]); });
  r.out = Drain(out[0]);
  t.join();
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return r;
}

fs::path CorpusDir() {
  fs::path p = PLOTVANE_CORPUS_DIR;
  std::error_code ec;
  return fs::is_directory(p, ec) ? p : fs::path();
}

fs::path PlotvaneBinary() { return PLOTVANE_BINARY; }
fs::path SourceDir() { return PLOTVANE_SOURCE_DIR; }

}  // namespace pvtest

namespace pvtest {

fs::path InstallBinary(const fs::path& dir) {
  fs::path bin = dir / "bin";
  fs::create_directories(bin);
  fs::path exe = bin / "plotvane";
  fs::copy_file(PlotvaneBinary(), exe, fs::copy_options::overwrite_existing);
  fs::permissions(exe, fs::perms::owner_all, fs::perm_options::add);
  return exe;
}

std::vector<std::string> SplitLines(const std::string& text, bool* crlf) {
  std::vector<std::string> lines;
  bool all_crlf = true;
  size_t start = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') {
      size_t end = i;
      if (end > start && text[end - 1] == '\r') --end;
      else all_crlf = false;
      lines.push_back(text.substr(start, end - start));
      start = i + 1;
    }
  }
  if (start < text.size()) lines.push_back(text.substr(start));
  if (crlf) *crlf = all_crlf;
  return lines;
}

}  // namespace pvtest
