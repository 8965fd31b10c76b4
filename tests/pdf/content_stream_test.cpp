// A page whose content runs over several compression chunks: the content goes to the
// compressor while the page renders, and must come out as the very text the page writes
// uncompressed, at every level, with the same bytes whatever the number of threads.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "docengine/metafile_canvas.h"
#include "pdf/engine.h"
#include "support/support.h"

using namespace pv;
using pvtest::Inflated;

namespace {

// One page of 40000 canvas lines in changing pens (several megabytes of operators).
std::string WritePage(bool compress, TgtCompressionLevel level) {
  std::vector<uint8_t> out;
  {
    TgtPDFEngine e;
    e.Preferences().SetShowSetupDialog(false);
    e.Preferences().SetOpenAfterCreate(false);
    e.Preferences().SetOutputToUserStream(true);
    e.SetUserStream(&out);
    e.SetMeasurementUnit(TgtUnitType::muPixels);
    e.SetInputXRes(1000);
    e.SetInputYRes(1000);
    e.SetItemsToRender({irShape});
    e.Compression().Enabled = compress;
    e.Compression().Level = level;
    e.BeginDoc();
    TCanvas& c = *e.PageCanvas();
    for (int32_t i = 0; i < 40000; ++i) {
      c.Pen.Width = 1 + i / 7 % 40;
      c.MoveTo(i % 8000, i * 7 % 11000);
      c.LineTo(i * 13 % 8000, i % 11000);
    }
    e.EndDoc();
  }
  return std::string(out.begin(), out.end());
}

// The first stream of the file (the page content precedes every other stream).
std::string FirstStream(const std::string& pdf) {
  const size_t start = pdf.find(">>\r\nstream\r\n");
  const size_t end = pdf.find("\r\nendstream", start);
  if (start == std::string::npos || end == std::string::npos) return {};
  return pdf.substr(start + 12, end - start - 12);
}

}  // namespace

TEST(ContentStream, ChunkedCompressionKeepsThePageText) {
  const std::string plain = FirstStream(WritePage(false, TgtCompressionLevel::clMaxCompress));
  ASSERT_GT(plain.size(), 3 * kFlateChunkSize);
  EXPECT_EQ(plain.substr(0, 2), "q ");
  EXPECT_EQ(plain.substr(plain.size() - 5), "\r\nQ\r\n");

  const unsigned workers = FlateWorkers();
  for (auto level : {TgtCompressionLevel::clFastest, TgtCompressionLevel::clNormal,
                     TgtCompressionLevel::clMaxCompress}) {
    SCOPED_TRACE(DeflateLevel(level));
    SetFlateWorkers(0);
    const std::string alone = FirstStream(WritePage(true, level));
    SetFlateWorkers(2);
    const std::string helped = FirstStream(WritePage(true, level));
    EXPECT_EQ(alone, helped);
    EXPECT_EQ(Inflated(alone), plain);
    if (level == TgtCompressionLevel::clMaxCompress) {
      EXPECT_LT(alone.size(), plain.size() / 4);
    }
  }
  SetFlateWorkers(workers);
}
