// Real boards: every Gerber file of the corpus index, the files users pass by mistake,
// and the generators whose format statements need a careful reading.
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "gerber_test_util.h"

using namespace pv;
using namespace pvtest;
namespace fs = std::filesystem;

namespace {

bool HasExtents(const TID_DrawFileFormat& image) {
  return image.MinX != 1000000 && image.MinY != 1000000 && image.MaxX != -1000000 &&
         image.MaxY != -1000000 && image.MinX <= image.MaxX && image.MinY <= image.MaxY;
}

// Files that are accepted but leave nothing to draw in the subset the reader draws.
const std::map<std::string, std::string> kNothingDrawn = {
    {"gerbonara/misc-tests/multiline_read.ger", "selects an aperture and draws nothing"},
    {"gerbonara/pcb-rnd/power-art.asb", "an empty layer: one aperture, no drawing"},
    {"gerbv/test-inputs/test-include-file-1.gbx", "its drawing sits in an included file"},
};

using GerberCorpus = CorpusTest;

}  // namespace

TEST_F(GerberCorpus, EveryIndexedFileIsRead) {
  std::vector<std::string> files = IndexedFiles(corpus);
  ASSERT_GT(files.size(), 300u);
  for (const std::string& name : files) {
    SCOPED_TRACE(name);
    CaughtRead r = ReadGerberPath(corpus / name);
    EXPECT_FALSE(r.raised) << r.error;
    if (RefusedCorpusFiles().count(name)) {
      EXPECT_FALSE(r.accepted);
      continue;
    }
    EXPECT_TRUE(r.accepted);
    auto nothing = kNothingDrawn.find(name);
    if (nothing != kNothingDrawn.end()) {
      EXPECT_EQ(r.image.Count, 0) << nothing->second;
      continue;
    }
    EXPECT_GT(r.image.Count, 0);
    EXPECT_TRUE(HasExtents(r.image));
  }
}

TEST_F(GerberCorpus, FilesPassedByMistakeAreRefused) {
  int seen = 0;
  for (const auto& entry : fs::directory_iterator(corpus / "negative")) {
    SCOPED_TRACE(entry.path().filename().string());
    CaughtRead r = ReadGerberPath(entry.path());
    // The drill file among them is read as one.
    if (entry.path().extension() == ".drl")
      EXPECT_TRUE(r.accepted && r.image.Count == 206) << r.error;
    else
      EXPECT_TRUE(r.raised || !r.accepted);
    ++seen;
  }
  EXPECT_GE(seen, 6);
}

TEST_F(GerberCorpus, GeneratorsWithUnusualStatements) {
  std::vector<fs::path> files;
  // X2 attributes written as comments containing '%'.
  for (const char* n : {"copper_bottom", "copper_top", "profile", "silkscreen_bottom",
                        "silkscreen_top", "soldermask_bottom", "soldermask_top"})
    files.push_back(corpus / "gerbonara/eagle-newer" / (std::string(n) + ".gbr"));
  // %FSLAN2X34Y34*% and %FSDAX24Y24*%.
  for (const char* ext : {"asb", "ast", "bot", "drd", "smb", "smt", "ssb", "sst", "top"})
    files.push_back(corpus / "gerbv/orcad" / (std::string("rs232_cm.") + ext));
  for (const auto& entry : fs::directory_iterator(corpus / "psas-gps-rf-board/venus838-breakout"))
    files.push_back(entry.path());
  ASSERT_EQ(files.size(), 23u);
  for (const fs::path& f : files) {
    SCOPED_TRACE(f.string());
    CaughtRead r = ReadGerberPath(f);
    EXPECT_FALSE(r.raised) << r.error;
    EXPECT_TRUE(r.accepted);
    EXPECT_GT(r.image.Count, 0);
    EXPECT_TRUE(HasExtents(r.image));
  }
}

TEST_F(GerberCorpus, BoardExtentsDescribeTheBoard) {
  // The region fixture with arcs: a rounded square of 1.5 inch.
  CaughtRead arcs = ReadGerberPath(corpus / "tracespace/fixtures-regions/region-with-arcs.gbr");
  ASSERT_TRUE(arcs.accepted);
  ASSERT_EQ(arcs.image.Count, 1);
  EXPECT_EQ(arcs.image.Records[0].Kind, rkPolygon);
  EXPECT_GT(arcs.image.Records[0].Count, 20);  // corners are arcs, not cut off
  EXPECT_EQ(arcs.image.MinX, 0);
  EXPECT_EQ(arcs.image.MaxX, 1500);
  EXPECT_EQ(arcs.image.MinY, 0);
  EXPECT_EQ(arcs.image.MaxY, 1500);
}
