#include "pdf/pdf_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
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
  std::string folder = ExtractFilePath(path);
  temp_ = folder + "." + ExtractFileName(path) + ".XXXXXX";
  std::vector<char> name(temp_.begin(), temp_.end());
  name.push_back('\0');
  fd_ = mkstemp(name.data());
  if (fd_ < 0) return false;
  temp_ = name.data();
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
  if (!failed_ && std::rename(temp_.c_str(), path_.c_str()) != 0) failed_ = true, error_ = errno;
  if (failed_) {
    ::unlink(temp_.c_str());
    temp_.clear();
    throw EInOutError("Cannot write " + path_ + ": " + std::strerror(error_));
  }
  temp_.clear();
}

void TgtPdfFileStream::Abandon() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temp_.empty()) {
    ::unlink(temp_.c_str());
    temp_.clear();
  }
}

}  // namespace pv
