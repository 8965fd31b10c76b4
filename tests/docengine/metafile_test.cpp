// A recorded metafile saved as a .emf file: well formed, and loaded back unchanged.
#include "docengine/metafile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "docengine/emf.h"
#include "docengine/metafile_canvas.h"
#include "platform/errors.h"
#include "support/support.h"

namespace {

using namespace pv;

// A page with every kind of call the conversion makes.
void RecordPage(TMetafile& mf) {
  mf.SetWidth(1056);
  mf.SetHeight(816);
  TMetafileCanvas c(mf);
  c.Brush.Color = clWhite;
  c.FillRect({0, 0, 11000, 8500});
  c.Pen.Color = clBlack;
  c.Brush.Color = clBlack;
  c.Ellipse(100, 100, 200, 200);
  c.Pen.Width = 25;
  c.MoveTo(300, 300);
  c.LineTo(900, 350);
  c.Brush.Style = TBrushStyle::bsClear;
  c.Arc(400, 400, 600, 600, 600, 500, 400, 500);
  const TPoint tri[3] = {{1000, 1000}, {1500, 1000}, {1200, 40000}};
  c.Pen.Width = 1;
  c.Brush.Style = TBrushStyle::bsDiagCross;
  c.Polygon(tri, 3);
  c.Brush.Style = TBrushStyle::bsClear;
  c.Font.SetSize(90);
  c.TextOut(100, 120, u"File Name: board.gbr");
}

TEST(Metafile, SavedFileIsWellFormedAndLoadsBack) {
  TMetafile mf;
  RecordPage(mf);
  pvtest::TempDir dir;
  const std::string path = (dir / "page.emf").string();
  mf.SaveToFile(path);
  const std::string file = pvtest::ReadFile(path);
  ASSERT_EQ(file.size(), mf.Bytes().size());
  ASSERT_EQ(std::memcmp(file.data(), mf.Bytes().data(), file.size()), 0);

  // The file's own structure, checked record by record.
  const auto* data = reinterpret_cast<const uint8_t*>(file.data());
  ENHMETAHEADER h;
  std::memcpy(&h, data, sizeof h);
  EXPECT_EQ(h.emr.iType, EMR_HEADER);
  EXPECT_EQ(h.nBytes, file.size());
  EXPECT_EQ(std::memcmp(data + 40, " EMF", 4), 0);
  TEmfEnumerator e(data, file.size());
  uint32_t count = 0, last = 0;
  size_t total = 0;
  for (const TEmfRecord& r : e) {
    EXPECT_EQ(r.Size % 4, 0u);
    EXPECT_GE(r.Size, 8u);
    ++count;
    last = r.Type;
    total += r.Size;
  }
  EXPECT_FALSE(e.Malformed());
  EXPECT_EQ(count, h.nRecords);
  EXPECT_EQ(last, EMR_EOF);
  EXPECT_EQ(total, file.size());
  EXPECT_GT(count, 20u);

  TMetafile back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.Bytes(), mf.Bytes());
  EXPECT_EQ(back.Width(), 1056);
  EXPECT_EQ(back.Height(), 816);
}

TEST(Metafile, LoadRefusesWhatIsNotAnEnhancedMetafile) {
  TMetafile good;
  RecordPage(good);
  const std::vector<uint8_t> bytes = good.Bytes();
  ASSERT_TRUE(TMetafile::IsWellFormed(bytes));

  auto refused = [&](std::vector<uint8_t> b, const char* reason) {
    std::string why;
    EXPECT_FALSE(TMetafile::IsWellFormed(b, &why)) << reason;
    EXPECT_FALSE(why.empty());
    TMetafile m;
    m.SetWidth(7);
    EXPECT_FALSE(m.LoadFromBytes(std::span<const uint8_t>(b))) << reason;
    EXPECT_TRUE(m.Bytes().empty());
    EXPECT_EQ(m.Width(), 7);
  };
  std::vector<uint8_t> b = bytes;
  b[40] = 'X';
  refused(b, "signature");
  b = bytes;
  b.resize(b.size() - 20);
  refused(b, "truncated: EMR_EOF lost and nBytes too large");
  b = bytes;
  b[0] = EMR_EOF;
  refused(b, "first record not a header");
  b = bytes;
  uint32_t n;
  std::memcpy(&n, b.data() + offsetof(ENHMETAHEADER, nRecords), 4);
  ++n;
  std::memcpy(b.data() + offsetof(ENHMETAHEADER, nRecords), &n, 4);
  refused(b, "record count");
  b = bytes;
  b[sizeof(ENHMETAHEADER_EXT) + 4] = 2;  // size of the first record after the header
  refused(b, "record size not a multiple of 4");
  refused({}, "empty");
  refused(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 40), "shorter than a header");

  // Padding after the counted image is dropped; the picture itself loads.
  b = bytes;
  b.insert(b.end(), 512, 0);
  TMetafile padded;
  EXPECT_TRUE(padded.LoadFromBytes(std::move(b)));
  EXPECT_EQ(padded.Bytes(), bytes);

  pvtest::TempDir dir;
  TMetafile m;
  EXPECT_THROW(m.LoadFromFile((dir / "missing.emf").string()), EInOutError);
  pvtest::WriteFile(dir / "text.emf", "not a metafile at all, not at all, certainly not one");
  try {
    m.LoadFromFile((dir / "text.emf").string());
    ADD_FAILURE() << "a text file loaded as a metafile";
  } catch (const EInOutError& e) {
    EXPECT_NE(std::string(e.what()).find("Not an enhanced metafile"), std::string::npos);
  }
  EXPECT_TRUE(m.Bytes().empty());
  EXPECT_THROW(good.SaveToFile((dir / "no" / "such" / "folder.emf").string()), EInOutError);
}

}  // namespace
