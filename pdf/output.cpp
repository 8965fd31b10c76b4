#include "pdf/output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "platform/errors.h"
#include "platform/process.h"

namespace pv {

namespace {
constexpr size_t kBufferSize = 1 << 20;
}

void TgtPdfMemoryStream::Write(const void* data, size_t size) {
  const auto* p = static_cast<const uint8_t*>(data);
  target_.insert(target_.end(), p, p + size);
  size_ += size;
}

bool TgtPdfFileStream::Open(const std::string& path) {
  Abandon();
  path_ = path;
  error_ = 0;
  const std::string folder = ExtractFilePath(path);
  const std::string name = ExtractFileName(path);
  long nameMax = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
  if (nameMax < 16) nameMax = NAME_MAX;
  if (name.size() > static_cast<size_t>(nameMax)) {
    error_ = errno = ENAMETOOLONG;  // the PDF could never be renamed into place
    return false;
  }
  // "." + name + ".XXXXXX", the name cut short (on a character boundary) where that would
  // not fit: a temporary name exists whenever the final one can.
  size_t keep = std::min(name.size(), static_cast<size_t>(nameMax) - 8);
  while (keep > 0 && keep < name.size() && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80)
    --keep;
  temp_ = folder + "." + name.substr(0, keep) + ".XXXXXX";
  std::vector<char> buffer(temp_.begin(), temp_.end());
  buffer.push_back('\0');
  {
    // Created and registered for removal by a terminating signal as one step.
    TerminationSignalsHeld held;
    fd_ = mkstemp(buffer.data());
    if (fd_ < 0) {
      error_ = errno;
      temp_.clear();
      errno = error_;
      return false;
    }
    temp_ = buffer.data();
    slot_ = RegisterTemporaryFile(temp_);
  }
  // The finished file gets the permissions a newly created file would.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd_, 0666 & ~mask);
  buf_.clear();
  buf_.reserve(kBufferSize);
  size_ = 0;
  failed_ = false;
  return true;
}

void TgtPdfFileStream::Flush() {
  size_t done = 0;
  while (!failed_ && done < buf_.size()) {
    ssize_t n = ::write(fd_, buf_.data() + done, buf_.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      failed_ = true;
      error_ = errno;
      break;
    }
    done += static_cast<size_t>(n);
  }
  buf_.clear();
}

void TgtPdfFileStream::Write(const void* data, size_t size) {
  if (fd_ < 0) return;
  size_ += size;
  if (buf_.size() + size > kBufferSize) Flush();
  if (size >= kBufferSize) {
    buf_.assign(static_cast<const char*>(data), static_cast<const char*>(data) + size);
    Flush();
    return;
  }
  buf_.insert(buf_.end(), static_cast<const char*>(data), static_cast<const char*>(data) + size);
}

void TgtPdfFileStream::Commit() {
  if (fd_ < 0) return;
  Flush();
  if (::close(fd_) != 0 && !failed_) failed_ = true, error_ = errno;
  fd_ = -1;
  if (!failed_) {
    // A signal between the rename and the forgetting would remove a name that is gone.
    TerminationSignalsHeld held;
    if (std::rename(temp_.c_str(), path_.c_str()) == 0) {
      ForgetTemporaryFile(slot_);
      slot_ = -1;
      temp_.clear();
      return;
    }
    failed_ = true;
    error_ = errno;
  }
  Abandon();
  throw EInOutError("Cannot write " + path_ + ": " + std::strerror(error_));
}

void TgtPdfFileStream::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    TerminationSignalsHeld held;
    ::unlink(temp_.c_str());
    ForgetTemporaryFile(slot_);
    slot_ = -1;
    temp_.clear();
  }
}

}  // namespace pv
