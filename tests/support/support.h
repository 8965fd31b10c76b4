#pragma once
// Helpers shared by the test suites: temporary folders, running the real binary,
// the corpus location.
#include <filesystem>
#include <string>
#include <vector>

namespace pvtest {

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

struct RunResult {
  int status = -1;  // exit status, or 128 + signal
  std::string out;
  std::string err;
};

// Runs a program with arguments (no shell), in a working folder, capturing both streams.
RunResult RunProgram(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
              const std::vector<std::string>& extra_env = {});

// The corpus folder beside the repository, or empty when it is absent.
std::filesystem::path CorpusDir();

// The built plotvane binary.
std::filesystem::path PlotvaneBinary();
std::filesystem::path SourceDir();

}  // namespace pvtest

namespace pvtest {

// Copies the plotvane binary into <dir>/bin so that its program folder (settings file and
// log) is private to the test; returns the copy's path.
std::filesystem::path InstallBinary(const std::filesystem::path& dir);

// Splits text into lines on "\r\n"; true in *crlf when every line break is CR LF.
std::vector<std::string> SplitLines(const std::string& text, bool* crlf = nullptr);

}  // namespace pvtest

namespace pvtest {
// The same as RunProgram, for tests outside a TEST body's scope of Test::Run.
inline RunResult Run(const std::vector<std::string>& argv, const std::filesystem::path& cwd,
                     const std::vector<std::string>& extra_env = {}) {
  return RunProgram(argv, cwd, extra_env);
}
}  // namespace pvtest
