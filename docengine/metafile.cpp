#include "docengine/metafile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/errors.h"

namespace pv {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

std::string ErrnoText() {
  return std::strerror(errno);
}

// a * num / den rounded half away from zero, on 64 bits, clamped to 32 bits.
int32_t ScaleRound(int64_t a, int64_t num, int64_t den) {
  const int64_t p = a * num;
  int64_t q = ((p < 0 ? -p : p) + den / 2) / den;
  if (p < 0) q = -q;
  if (q > INT32_MAX) return INT32_MAX;
  if (q < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(q);
}

// Padding that some writers leave after the image counted by nBytes is dropped.
void DropPadding(std::vector<uint8_t>& bytes) {
  ENHMETAHEADER h;
  if (bytes.size() < sizeof h) return;
  std::memcpy(&h, bytes.data(), sizeof h);
  if (h.emr.iType == EMR_HEADER && h.dSignature == ENHMETA_SIGNATURE && h.nBytes >= sizeof h &&
      h.nBytes < bytes.size())
    bytes.resize(h.nBytes);
}

bool Fail(std::string* why, const char* text) {
  if (why) *why = text;
  return false;
}

}  // namespace

bool TMetafile::IsWellFormed(std::span<const uint8_t> bytes, std::string* why) {
  if (bytes.size() < sizeof(ENHMETAHEADER)) return Fail(why, "too short for an EMF header");
  ENHMETAHEADER h;
  std::memcpy(&h, bytes.data(), sizeof h);
  if (h.emr.iType != EMR_HEADER) return Fail(why, "the first record is not EMR_HEADER");
  if (h.emr.nSize < sizeof h) return Fail(why, "EMR_HEADER is too small");
  if (h.dSignature != ENHMETA_SIGNATURE) return Fail(why, "header signature is not \" EMF\"");
  if (h.nBytes != bytes.size()) return Fail(why, "header byte count differs from the size");
  TEmfEnumerator e(bytes);
  TEmfRecord r;
  uint64_t count = 0;
  uint32_t last = 0;
  while (e.Next(r)) {
    ++count;
    last = r.Type;
  }
  if (e.Malformed()) return Fail(why, "a record is malformed or runs past the end");
  if (last != EMR_EOF) return Fail(why, "EMR_EOF is not the last record");
  if (e.Position() != bytes.size()) return Fail(why, "bytes follow EMR_EOF");
  if (count != h.nRecords) return Fail(why, "header record count differs from the records");
  return true;
}

bool TMetafile::LoadFromBytes(std::span<const uint8_t> bytes) {
  std::vector<uint8_t> copy(bytes.begin(), bytes.end());
  return LoadFromBytes(std::move(copy));
}

bool TMetafile::LoadFromBytes(std::vector<uint8_t>&& bytes) {
  DropPadding(bytes);
  if (!IsWellFormed(bytes)) return false;
  Adopt(std::move(bytes));
  return true;
}

void TMetafile::Adopt(std::vector<uint8_t>&& bytes) {
  ENHMETAHEADER h;
  std::memcpy(&h, bytes.data(), sizeof h);
  // The frame is in 0.01 mm; the picture size is kept in 96-per-inch pixels.
  width_ = ScaleRound(int64_t{h.rclFrame.right} - h.rclFrame.left, kScreenPPI, 2540);
  height_ = ScaleRound(int64_t{h.rclFrame.bottom} - h.rclFrame.top, kScreenPPI, 2540);
  bytes_ = std::move(bytes);
}

void TMetafile::SaveToFile(const std::string& path) const {
  FilePtr f(std::fopen(path.c_str(), "wb"));
  if (!f) throw EInOutError("Cannot create file " + path + ": " + ErrnoText());
  if (!bytes_.empty() && std::fwrite(bytes_.data(), 1, bytes_.size(), f.get()) != bytes_.size())
    throw EInOutError("Cannot write file " + path + ": " + ErrnoText());
  if (std::fclose(f.release()) != 0)
    throw EInOutError("Cannot write file " + path + ": " + ErrnoText());
}

void TMetafile::LoadFromFile(const std::string& path) {
  FilePtr f(std::fopen(path.c_str(), "rb"));
  if (!f) throw EInOutError("Cannot open file " + path + ": " + ErrnoText());
  std::vector<uint8_t> data;
  constexpr size_t kChunk = 1 << 20;
  for (;;) {
    const size_t old = data.size();
    data.resize(old + kChunk);
    const size_t got = std::fread(data.data() + old, 1, kChunk, f.get());
    data.resize(old + got);
    if (got < kChunk) break;
  }
  if (std::ferror(f.get())) throw EInOutError("Cannot read file " + path + ": " + ErrnoText());
  DropPadding(data);
  std::string why;
  if (!IsWellFormed(data, &why))
    throw EInOutError("Not an enhanced metafile: " + path + " (" + why + ")");
  Adopt(std::move(data));
}

}  // namespace pv
