// The page content of generated benchmark boards, pinned: every speed-up of the converter
// must leave the decompressed streams byte for byte as they were. Each stream of the PDF is
// inflated and the concatenation hashed (FNV-1a, 64 bits); the compressed bytes may differ.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "bench/synthetic_gerber.h"
#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

struct StreamDigest {
  size_t streams = 0;
  uint64_t bytes = 0;  // decompressed, all streams
  uint64_t fnv = 0xCBF29CE484222325ull;
  bool allInflated = true;
};

StreamDigest DigestStreams(const std::string& pdf) {
  StreamDigest d;
  size_t pos = 0;
  while ((pos = pdf.find("stream\r\n", pos)) != std::string::npos) {
    if (pos >= 3 && pdf.compare(pos - 3, 3, "end") == 0) {  // "endstream"
      pos += 8;
      continue;
    }
    const size_t start = pos + 8;
    const size_t end = pdf.find("\r\nendstream", start);
    if (end == std::string::npos) break;
    std::string plain;
    d.allInflated &= Inflate(std::string_view(pdf).substr(start, end - start), plain);
    ++d.streams;
    d.bytes += plain.size();
    for (unsigned char c : plain) d.fnv = (d.fnv ^ c) * 0x100000001B3ull;
    pos = end + 11;
  }
  return d;
}

StreamDigest ConvertGenerated(const pv::TSyntheticBoardOptions& options, std::string* pdfOut) {
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  WriteFile(dir / "bench.gbr", pv::GenerateSyntheticGerber(options));
  // A relative argument: the caption names the file as typed, so the content does not
  // depend on where the test runs.
  RunResult r = RunProgram({exe.string(), "bench.gbr"}, dir.path());
  EXPECT_EQ(r.status, 0) << r.out << r.err;
  std::string pdf = ReadFile(dir / "bench_gbr.pdf");
  if (pdfOut) *pdfOut = pdf;
  return DigestStreams(pdf);
}

}  // namespace

TEST(BenchContent, GeneratorIsDeterministic) {
  pv::TSyntheticBoardOptions a;
  a.Bytes = 200000;
  const std::string first = pv::GenerateSyntheticGerber(a);
  EXPECT_EQ(first, pv::GenerateSyntheticGerber(a));
  EXPECT_GE(first.size(), a.Bytes);
  EXPECT_LT(first.size(), a.Bytes + 1000);  // the last run of objects overshoots a little
  EXPECT_EQ(first.substr(first.size() - 5), "M02*\n");
  EXPECT_NE(first.find("%FSLAX35Y35*%\n%MOIN*%"), std::string::npos);
  pv::TSyntheticBoardOptions b = a;
  b.Seed = a.Seed + 1;
  EXPECT_NE(first, pv::GenerateSyntheticGerber(b));
  b = a;
  b.Millimetre = true;
  EXPECT_NE(pv::GenerateSyntheticGerber(b).find("%FSLAX34Y34*%\n%MOMM*%"), std::string::npos);
}

TEST(BenchContent, InchBoardContentIsUnchanged) {
  pv::TSyntheticBoardOptions options;
  options.Bytes = 1 << 20;
  std::string pdf;
  const StreamDigest d = ConvertGenerated(options, &pdf);
  EXPECT_TRUE(d.allInflated);
  EXPECT_EQ(d.streams, 2u);  // the page content and the hatch pattern
  EXPECT_EQ(d.bytes, 7014606u);
  EXPECT_EQ(d.fnv, 13097803273051996852ull);
  // The content stream is one zlib stream at level 6.
  EXPECT_NE(pdf.find("/Filter /FlateDecode\r\n>>\r\nstream\r\nx\x9c"), std::string::npos);
}

TEST(BenchContent, MillimetreBoardContentIsUnchanged) {
  pv::TSyntheticBoardOptions options;
  options.Bytes = 256 << 10;
  options.Millimetre = true;
  options.Seed = 11;
  const StreamDigest d = ConvertGenerated(options, nullptr);
  EXPECT_TRUE(d.allInflated);
  EXPECT_EQ(d.streams, 2u);
  EXPECT_EQ(d.bytes, 1702057u);
  EXPECT_EQ(d.fnv, 11835056611175773462ull);
}
