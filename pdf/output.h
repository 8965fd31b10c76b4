#pragma once
// Where a PDF goes: a file written under a temporary name in its own folder and renamed
// into place only when complete, or a caller's memory stream.
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace pv {

class TgtPdfOutputStream {
 public:
  virtual ~TgtPdfOutputStream() = default;
  virtual void Write(const void* data, size_t size) = 0;
  void Write(std::string_view s) { Write(s.data(), s.size()); }
  // Bytes written so far: the offset of the next object.
  uint64_t Size() const { return size_; }

 protected:
  uint64_t size_ = 0;
};

// A memory stream of the caller's (OutputToUserStream).
class TgtPdfMemoryStream : public TgtPdfOutputStream {
 public:
  explicit TgtPdfMemoryStream(std::vector<uint8_t>& target) : target_(target) {}
  void Write(const void* data, size_t size) override;

 private:
  std::vector<uint8_t>& target_;
};

// The output file. Bytes go to a temporary file beside the target; Commit() renames it
// over the target, so a failed or interrupted run never leaves a truncated PDF where a good
// one was. Destroying an uncommitted stream removes the temporary file.
class TgtPdfFileStream : public TgtPdfOutputStream {
 public:
  // False (errno and Error() set) when the temporary file cannot be created, or when the
  // name is too long for its folder. Until Commit or Abandon, a terminating signal
  // removes the temporary file (see PrepareProcess).
  bool Open(const std::string& path);
  int Error() const { return error_; }
  void Write(const void* data, size_t size) override;
  // Flushes, closes and renames into place; raises EInOutError on failure.
  void Commit();
  void Abandon();
  ~TgtPdfFileStream() override { Abandon(); }
  const std::string& Path() const { return path_; }

 private:
  void Flush();
  int fd_ = -1;
  std::string path_, temp_;
  std::vector<char> buf_;
  bool failed_ = false;
  int error_ = 0;
  int slot_ = -1;  // registered temporary file
};

}  // namespace pv
