// plotvane-dump FILE...: reads each Gerber file as the converter does and prints
// whether it was accepted, the image extents and every draw record.
#include <charconv>
#include <cstdio>
#include <exception>
#include <string>

#include "gerber/reader.h"

namespace {

class Out {
 public:
  ~Out() { Flush(); }
  Out& operator<<(std::string_view s) {
    buf_.append(s);
    if (buf_.size() > (1 << 16)) Flush();
    return *this;
  }
  Out& operator<<(int64_t v) {
    char tmp[24];
    auto r = std::to_chars(tmp, tmp + sizeof tmp, v);
    buf_.append(tmp, r.ptr);
    return *this;
  }
  void Flush() {
    std::fwrite(buf_.data(), 1, buf_.size(), stdout);
    buf_.clear();
  }

 private:
  std::string buf_;
};

const char* KindName(uint8_t kind) {
  switch (kind) {
    case pv::rkCircle:
      return "circle";
    case pv::rkRectangle:
      return "rectangle";
    case pv::rkTrack:
      return "track";
    case pv::rkArc:
      return "arc";
    case pv::rkPolygon:
      return "polygon";
    default:
      return "unknown";
  }
}

int Dump(Out& out, const std::string& name) {
  pv::TID_DrawFileFormat image;
  pv::ResetReaderTables();
  bool accepted = false;
  std::string error;
  try {
    accepted = pv::ReadGerberFile(name, image, pv::kDefaultGerberFormat);
  } catch (const std::exception& e) {
    error = e.what();
  }
  out << "file " << name << "\n";
  if (!error.empty())
    out << "raised " << error << "\n";
  else
    out << (accepted ? "accepted" : "refused") << "\n";
  out << "extents " << int64_t{image.MinX} << " " << int64_t{image.MinY} << " "
      << int64_t{image.MaxX} << " " << int64_t{image.MaxY} << "\n";
  out << "records " << int64_t{image.Count} << "\n";
  for (int32_t i = 0; i < image.Count && i < static_cast<int32_t>(image.Records.size()); ++i) {
    const pv::TID_DrawRecord& r = image.Records[static_cast<size_t>(i)];
    out << KindName(r.Kind) << " at " << int64_t{r.X} << " " << int64_t{r.Y} << " size "
        << int64_t{r.Size} << " box " << int64_t{r.MinDX} << " " << int64_t{r.MinDY} << " "
        << int64_t{r.MaxDX} << " " << int64_t{r.MaxDY};
    if (r.Count > 0) {
      out << " points";
      for (uint32_t k = 0; k < r.Points.size(); ++k) out << " " << int64_t{r.Points[k]};
    }
    out << "\n";
  }
  return error.empty() && accepted ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: plotvane-dump FILE...\n", stderr);
    return 2;
  }
  Out out;
  int status = 0;
  for (int i = 1; i < argc; ++i) status |= Dump(out, argv[i]);
  return status;
}
