#include "platform/logfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

#include "platform/errors.h"

namespace pv {

namespace {

// mkdir -p for the fallback folder.
bool MakeFolders(const std::string& path) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      std::string part = path.substr(0, i);
      if (::mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
  }
  return true;
}

}  // namespace

LogFile::~LogFile() {
  if (file_) std::fclose(file_);
}

bool LogFile::Open(const std::string& folder, const std::string& name) {
  path_ = folder + name;
  file_ = std::fopen(path_.c_str(), "wb");
  if (file_) return true;
  std::string first_error = std::strerror(errno);

  std::string state;
  if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x == '/') {
    state = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    state = std::string(h) + "/.local/state";
  }
  if (state.empty()) return false;
  std::string dir = state + "/plotvane";
  if (!MakeFolders(dir)) return false;
  std::string fallback = dir + "/" + name;
  file_ = std::fopen(fallback.c_str(), "wb");
  if (!file_) return false;
  std::cerr << "Cannot create log " << path_ << " (" << first_error << "); logging to " << fallback
            << '\n';
  path_ = fallback;
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
