#include "platform/logfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/errors.h"

namespace pv {

namespace {

// mkdir -p for the fallback folder.
bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

// A bin/ folder of an installation prefix that holds our documents: never a place for a
// log, even for a user (root) who may write there.
bool InstalledFolder(const std::string& folder) {
  constexpr std::string_view bin = "/bin/";
  if (folder.size() < bin.size() ||
      folder.compare(folder.size() - bin.size(), bin.size(), bin) != 0)
    return false;
  struct stat st;
  const std::string doc = folder + "../share/doc/plotvane";
  return ::stat(doc.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

LogFile::~LogFile() {
  if (file_) std::fclose(file_);
}

bool LogFile::Open(const std::string& folder, const std::string& name) {
  if (!InstalledFolder(folder)) {
    path_ = folder + name;
    file_ = std::fopen(path_.c_str(), "wb");
    if (file_) return true;
  }

  std::string state;
  if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x == '/') {
    state = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    state = std::string(h) + "/.local/state";
  }
  if (state.empty()) return false;
  std::string dir = state + "/plotvane";
  if (!MakeFolders(dir)) return false;
  std::string path = dir + "/" + name;
  file_ = std::fopen(path.c_str(), "wb");
  if (!file_) return false;
  path_ = path;
  return true;
}

void LogFile::WriteLine(std::string_view line) {
  if (!file_) return;
  if (std::fwrite(line.data(), 1, line.size(), file_) != line.size() ||
      std::fwrite("\r\n", 1, 2, file_) != 2)
    throw EInOutError("Cannot write the log " + path_ + ": " + std::strerror(errno));
}

void LogFile::Close() {
  if (!file_) return;
  bool ok = std::fflush(file_) == 0 && !std::ferror(file_);
  int err = errno;
  ok = (std::fclose(file_) == 0) && ok;
  file_ = nullptr;
  if (!ok) throw EInOutError("Cannot write the log " + path_ + ": " + std::strerror(err));
}

}  // namespace pv
