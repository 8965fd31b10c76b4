// The example boards as a reader draws them: page 1 of each conversion rendered by pdftoppm
// at 50 dpi, with dark pixels where the board has copper, white margins and a caption.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "gerber/reader.h"
#include "support/support.h"

namespace fs = std::filesystem;
using namespace pvtest;

namespace {

constexpr int kDpi = 50;

struct Spot {
  int x, y;  // image units, 1/1000 inch, y up
};

struct Board {
  const char* file;
  std::vector<Spot> pads;   // centres of flashed pads: black
  std::vector<Spot> lines;  // points on tracks and outlines: dark
  std::vector<Spot> bare;   // points without copper: white
};

// Positions taken from the example files (inch files: 2.4 digits / 10; millimetre files:
// mm x 39.37).
const std::vector<Board> kBoards = {
    {"demo-top-copper.gbr",
     // J1 round pads, U1 rectangular pads on both sides, the macro pad.
     {{200, 400},
      {200, 500},
      {200, 600},
      {200, 700},
      {700, 600},
      {700, 750},
      {1000, 600},
      {1000, 750},
      {1500, 1300}},
     // The wide track rising from the arc.
     {{1200, 1000}},
     {{1500, 900}, {600, 300}, {1000, 1000}}},
    {"demo-bottom-copper.gbr",
     // J1: the square pad and three round ones (50.8 mm = 200 units); the via at 25.4, 22.86 mm.
     {{200, 400}, {200, 500}, {200, 600}, {200, 700}, {1000, 900}},
     {},
     {{600, 300}, {1000, 300}}},
    {"demo-outline.gbr",
     {},
     // Middles of the four sides of the 50.8 x 38.1 mm outline.
     {{1000, 0}, {2000, 750}, {1000, 1500}, {0, 750}},
     {{1000, 750}, {500, 400}}},
    {"demo-silkscreen.gbr",
     {},
     // The boxes around J1 and U1, and the letter P.
     {{140, 500}, {260, 500}, {200, 340}, {760, 700}, {940, 700}, {300, 1200}},
     {{200, 500}, {850, 700}}},
};

// Where an image point lands on the rendered page: the board scaled to 90 % of the page
// side that limits it and centred on a Letter page (landscape when wider than high).
struct Placement {
  double pageW, pageH;  // 1/1000 inch
  double scale, cx, cy;
  double px(double x) const { return (pageW / 2 + (x - cx) * scale) * kDpi / 1000; }
  double py(double y) const { return (pageH / 2 - (y - cy) * scale) * kDpi / 1000; }
};

Placement Place(const pv::TID_DrawFileFormat& image) {
  double w = image.MaxX - image.MinX, h = image.MaxY - image.MinY;
  Placement p;
  bool tabloid = w > 11000 || h > 11000;
  double shortSide = tabloid ? 11000 : 8500, longSide = tabloid ? 17000 : 11000;
  p.pageW = w > h ? longSide : shortSide;
  p.pageH = w > h ? shortSide : longSide;
  p.scale = w / h > p.pageW / p.pageH ? p.pageW * 0.9 / w : p.pageH * 0.9 / h;
  p.cx = (image.MinX + image.MaxX) / 2.0;
  p.cy = (image.MinY + image.MaxY) / 2.0;
  return p;
}

// Darkest pixel of the 3 x 3 block around a point.
unsigned char Darkest(const GreyImage& img, int x, int y) {
  unsigned char v = 255;
  for (int dy = -1; dy <= 1; ++dy)
    for (int dx = -1; dx <= 1; ++dx) v = std::min(v, img.at(x + dx, y + dy));
  return v;
}

Box Union(const Box& a, const Box& b) {
  if (a.left < 0) return b;
  if (b.left < 0) return a;
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right),
          std::max(a.bottom, b.bottom)};
}

}  // namespace

TEST(Visual, ExampleBoardsAppearWhereTheirCopperIs) {
  if (FindTool("pdftoppm").empty()) GTEST_SKIP() << "pdftoppm not installed";
  TempDir dir;
  fs::path exe = InstallBinary(dir.path());
  for (const Board& board : kBoards) {
    SCOPED_TRACE(board.file);
    std::string name = board.file;
    fs::copy_file(SourceDir() / "examples" / name, dir / name);
    RunResult r = RunProgram({exe.string(), name}, dir.path());
    ASSERT_EQ(r.status, 0) << r.out << r.err;

    pv::TID_DrawFileFormat image;
    pv::ResetReaderTables();
    ASSERT_TRUE(pv::ReadGerberFile((dir / name).string(), image, pv::kDefaultGerberFormat));
    Placement at = Place(image);

    fs::path pdf = dir / (name.substr(0, name.size() - 4) + "_gbr.pdf");
    GreyImage img = RenderPage(pdf, 1, kDpi);
    ASSERT_FALSE(img.empty());
    // A Letter page at 50 dpi.
    EXPECT_EQ(img.width, static_cast<int>(at.pageW * kDpi / 1000));
    EXPECT_EQ(img.height, static_cast<int>(at.pageH * kDpi / 1000));

    for (const Spot& s : board.pads) {
      int x = static_cast<int>(at.px(s.x)), y = static_cast<int>(at.py(s.y));
      EXPECT_LT(img.at(x, y), 64) << "pad at " << s.x << ", " << s.y << " -> " << x << ", " << y;
    }
    for (const Spot& s : board.lines) {
      int x = static_cast<int>(at.px(s.x)), y = static_cast<int>(at.py(s.y));
      EXPECT_LT(Darkest(img, x, y), 96) << "line at " << s.x << ", " << s.y;
    }
    for (const Spot& s : board.bare) {
      int x = static_cast<int>(at.px(s.x)), y = static_cast<int>(at.py(s.y));
      EXPECT_GT(Darkest(img, x, y), 200) << "bare at " << s.x << ", " << s.y;
    }

    // The caption: two lines of text at 0.12 and 0.24 inch from the top, 0.1 inch from
    // the left edge.
    const int captionRight = static_cast<int>(3.5 * kDpi),
              captionBottom = static_cast<int>(0.45 * kDpi);
    Box caption = DarkBox(img, 0, 0, captionRight, captionBottom);
    EXPECT_GE(caption.left, static_cast<int>(0.08 * kDpi));
    EXPECT_LE(caption.left, static_cast<int>(0.14 * kDpi));
    EXPECT_GE(caption.top, static_cast<int>(0.1 * kDpi));
    EXPECT_GE(caption.height(), static_cast<int>(0.15 * kDpi));  // both lines
    EXPECT_GE(caption.width(), static_cast<int>(1.0 * kDpi));

    // Everything else that is dark lies on the board: inside its extents as placed on the
    // page, and spanning most of them; the board fills 90 % of the page side that limits
    // it. The page margins stay white.
    double left = at.px(image.MinX), right = at.px(image.MaxX);
    double top = at.py(image.MaxY), bottom = at.py(image.MinY);
    Box drawn = Union(DarkBox(img, 0, captionBottom + 1),
                      DarkBox(img, captionRight + 1, 0, -1, captionBottom));
    ASSERT_GE(drawn.left, 0);
    EXPECT_GE(drawn.left, left - 2);
    EXPECT_LE(drawn.right, right + 2);
    EXPECT_GE(drawn.top, top - 2);
    EXPECT_LE(drawn.bottom, bottom + 2);
    EXPECT_GE(drawn.width(), 0.9 * (right - left));
    EXPECT_GE(drawn.height(), 0.9 * (bottom - top));
    EXPECT_GE(std::max(drawn.width() / static_cast<double>(img.width),
                       drawn.height() / static_cast<double>(img.height)),
              0.85);
  }
}

// The README shows a rendered example page kept in docs/.
TEST(Visual, ReadmePictureIsARenderedPage) {
  std::string readme = ReadFile(SourceDir() / "README.md");
  const std::string picture = "docs/example-top-copper.png";
  EXPECT_NE(readme.find("](" + picture + ")"), std::string::npos);
  std::string png = ReadFile(SourceDir() / picture);
  ASSERT_GT(png.size(), 24u);
  EXPECT_EQ(png.substr(0, 8), "\x89PNG\r\n\x1a\n");
  // IHDR: width and height, big-endian, at bytes 16 and 20: a landscape page.
  auto be32 = [&](size_t at) {
    return (static_cast<unsigned char>(png[at]) << 24) |
           (static_cast<unsigned char>(png[at + 1]) << 16) |
           (static_cast<unsigned char>(png[at + 2]) << 8) | static_cast<unsigned char>(png[at + 3]);
  };
  EXPECT_EQ(be32(16) * 85, be32(20) * 110);
  EXPECT_LT(png.size(), 40000u);
}
