#include "platform/logfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>

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

// name, or name with "-n" before its extension.
std::string Numbered(const std::string& name, int n) {
  if (n == 1) return name;
  const size_t dot = name.rfind('.');
  const size_t at = dot == std::string::npos || dot == 0 ? name.size() : dot;
  return name.substr(0, at) + "-" + std::to_string(n) + name.substr(at);
}

enum class Outcome { kOpened, kInUse, kFailed };

// Opens path without truncating it, takes the lock, then empties it: a log another run
// is writing is never cut short under its feet.
Outcome OpenLocked(const std::string& path, int& fd, int& error) {
  do {
    fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOCTTY, 0666);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) {
    error = errno;
    return Outcome::kFailed;
  }
  int locked;
  do {
    locked = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    fd = -1;
    return Outcome::kInUse;
  }
  // A file system without locks is written as before, unguarded. A log that is a device
  // or a FIFO (/dev/null, /dev/stdout) cannot be emptied and need not be.
  struct stat st;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0) {
    error = errno;
    ::close(fd);
    fd = -1;
    return Outcome::kFailed;
  }
  return Outcome::kOpened;
}

// The first of name, name-2, ... in folder that no other run holds.
Outcome OpenFirstFree(const std::string& folder, const std::string& name, int& fd,
                      std::string& path, int& error) {
  constexpr int kNames = 100;
  for (int n = 1; n <= kNames; ++n) {
    path = folder + Numbered(name, n);
    const Outcome o = OpenLocked(path, fd, error);
    if (o != Outcome::kInUse) return o;
  }
  error = EWOULDBLOCK;
  return Outcome::kInUse;
}

}  // namespace

LogFile::~LogFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool LogFile::Open(const std::string& folder, const std::string& name) {
  error_.clear();
  const std::string first = folder + name;
  int err = 0;
  Outcome o = OpenFirstFree(folder, name, fd_, path_, err);
  if (o == Outcome::kOpened) {
    if (path_ != first)
      std::cerr << "The log " << first << " is in use by another run; logging to " << path_ << '\n';
    return true;
  }
  const std::string firstError =
      o == Outcome::kInUse ? std::string("in use by other runs") : std::strerror(err);

  std::string state;
  if (const char* x = std::getenv("XDG_STATE_HOME"); x && *x == '/') {
    state = x;
  } else if (const char* h = std::getenv("HOME"); h && *h) {
    state = std::string(h) + "/.local/state";
  }
  path_ = first;
  if (state.empty()) return false;
  const std::string dir = state + "/plotvane/";
  if (!MakeFolders(dir.substr(0, dir.size() - 1))) return false;
  std::string fallback;
  if (OpenFirstFree(dir, name, fd_, fallback, err) != Outcome::kOpened) return false;
  std::cerr << "Cannot create log " << first << " (" << firstError << "); logging to " << fallback
            << '\n';
  path_ = fallback;
  return true;
}

void LogFile::WriteLine(std::string_view line) {
  if (fd_ < 0 || !error_.empty()) return;
  line_.assign(line);
  line_ += "\r\n";
  size_t done = 0;
  while (done < line_.size()) {
    const ssize_t n = ::write(fd_, line_.data() + done, line_.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error_ = "Cannot write the log " + path_ + ": " + std::strerror(n < 0 ? errno : EIO);
      std::cerr << error_ << "; the run goes on without it\n" << std::flush;
      return;
    }
    done += static_cast<size_t>(n);
  }
}

bool LogFile::Close() {
  if (fd_ >= 0) {
    if (::close(fd_) != 0 && error_.empty() && errno != EINTR) {
      error_ = "Cannot write the log " + path_ + ": " + std::strerror(errno);
      std::cerr << error_ << '\n' << std::flush;
    }
    fd_ = -1;
  }
  return error_.empty();
}

}  // namespace pv
