// The floor under a conversion: the time to read its input and the time to deflate the PDF's
// own decompressed streams again at level 6 on one thread. A converter cannot be faster
// than this without compressing on more than one processor.
//   pdf_floor INPUT PDF [RUNS]
// Prints one line of key=value pairs: medians over RUNS (default 5) of wall and CPU seconds.
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "bench/timing.h"
#include "pdf/compress.h"

namespace {

using pv::bench::Measure;
using pv::bench::Sample;

// Reads a file in large pieces, as the converter's reader does; returns its size.
size_t ReadAll(const char* path, std::vector<char>& buf) {
  const int fd = ::open(path, O_RDONLY);
  if (fd < 0) return 0;
  size_t total = 0;
  for (;;) {
    const ssize_t n = ::read(fd, buf.data(), buf.size());
    if (n <= 0) break;
    total += static_cast<size_t>(n);
  }
  ::close(fd);
  return total;
}

bool Inflate(std::string_view z, std::string& out) {
  z_stream s{};
  if (inflateInit(&s) != Z_OK) return false;
  s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(z.data()));
  s.avail_in = static_cast<uInt>(z.size());
  std::vector<char> buf(1 << 20);
  int rc = Z_OK;
  while (rc == Z_OK) {
    s.next_out = reinterpret_cast<Bytef*>(buf.data());
    s.avail_out = static_cast<uInt>(buf.size());
    rc = inflate(&s, Z_NO_FLUSH);
    out.append(buf.data(), buf.size() - s.avail_out);
  }
  inflateEnd(&s);
  return rc == Z_STREAM_END;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fputs("Usage: pdf_floor INPUT PDF [RUNS]\n", stderr);
    return 2;
  }
  const int runs = argc > 3 ? std::max(1, std::atoi(argv[3])) : 5;

  std::vector<char> buf(1 << 20);
  size_t inputBytes = 0;
  const Sample read = Measure(runs, [&] { inputBytes = ReadAll(argv[1], buf); });

  std::ifstream pdfFile(argv[2], std::ios::binary);
  std::stringstream ss;
  ss << pdfFile.rdbuf();
  const std::string pdf = ss.str();
  std::vector<std::string> streams;
  size_t contentBytes = 0;
  for (size_t pos = 0; (pos = pdf.find("stream\r\n", pos)) != std::string::npos;) {
    if (pos >= 3 && pdf.compare(pos - 3, 3, "end") == 0) {
      pos += 8;
      continue;
    }
    const size_t start = pos + 8, end = pdf.find("\r\nendstream", start);
    if (end == std::string::npos) break;
    std::string plain;
    if (Inflate(std::string_view(pdf).substr(start, end - start), plain)) {
      contentBytes += plain.size();
      streams.push_back(std::move(plain));
    }
    pos = end + 11;
  }
  if (streams.empty()) {
    std::fprintf(stderr, "pdf_floor: no compressed stream in %s\n", argv[2]);
    return 1;
  }

  pv::SetFlateWorkers(0);
  size_t compressed = 0;
  const Sample deflate = Measure(runs, [&] {
    compressed = 0;
    std::string out;
    for (const std::string& s : streams) {
      out.clear();
      compressed += pv::CompressStream(s, out, pv::TgtCompressionLevel::clMaxCompress);
    }
  });

  std::printf(
      "input_bytes=%zu read_wall=%.4f read_cpu=%.4f content_bytes=%zu compressed_bytes=%zu "
      "deflate_wall=%.4f deflate_cpu=%.4f\n",
      inputBytes, read.wall, read.cpu, contentBytes, compressed, deflate.wall, deflate.cpu);
  return 0;
}
