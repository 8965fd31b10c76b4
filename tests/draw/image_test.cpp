#include "draw/image.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/errors.h"

using namespace pv;

namespace {

std::vector<int32_t> Values(const TID_DrawRecord& r) {
  return {r.Points.begin(), r.Points.end()};
}

}  // namespace

TEST(Image, ResetGivesEmptyImageWithReversedExtents) {
  TID_DrawFileFormat im;
  ResetImage(im);
  EXPECT_EQ(im.MinX, 1000000);
  EXPECT_EQ(im.MinY, 1000000);
  EXPECT_EQ(im.MaxX, -1000000);
  EXPECT_EQ(im.MaxY, -1000000);
  EXPECT_EQ(im.Color, 0xFFFFFF);
  EXPECT_EQ(im.Count, 0);
  EXPECT_EQ(im.Capacity, 1000);
  EXPECT_EQ(im.Records.size(), 1000u);
}

TEST(Image, GrowthKeepsHundredSpareSlots) {
  TID_DrawFileFormat im;
  ResetImage(im);
  for (int i = 0; i < 899; ++i) AddCircle(im, i, 0, 2);
  EXPECT_EQ(im.Capacity, 1000);
  AddCircle(im, 0, 0, 2);  // the 900th add: 900 + 100 is no longer below 1000
  EXPECT_EQ(im.Capacity, 2000);
  for (int i = 900; i < 1899; ++i) AddCircle(im, 0, 0, 2);
  EXPECT_EQ(im.Capacity, 2000);
  AddCircle(im, 0, 0, 2);
  EXPECT_EQ(im.Capacity, 3000);
  EXPECT_EQ(im.Count, 1900);
  EXPECT_EQ(im.Records[898].X, 898);  // earlier records survive the growth
}

TEST(Image, CircleBoxesAndExtents) {
  TID_DrawFileFormat im;
  ResetImage(im);
  AddCircle(im, 100, 200, 5);
  const auto& r = im.Records[0];
  EXPECT_EQ(r.Kind, rkCircle);
  EXPECT_EQ(r.MinDX, -2);
  EXPECT_EQ(r.MaxDX, 2);
  EXPECT_EQ(r.MinDY, -2);
  EXPECT_EQ(r.MaxDY, 2);
  EXPECT_EQ(r.Count, 0);
  EXPECT_EQ(im.MinX, 98);
  EXPECT_EQ(im.MaxX, 102);
  EXPECT_EQ(im.MinY, 198);
  EXPECT_EQ(im.MaxY, 202);
  AddCircle(im, 0, 0, 1);
  EXPECT_EQ(im.Records[1].MinDX, 0);
  EXPECT_EQ(im.Records[1].MaxDX, 0);
}

TEST(Image, RectangleOrdersItsCorners) {
  TID_DrawFileFormat im;
  ResetImage(im);
  AddRectangle(im, 0, 0, 10, 20, -10, -20);
  EXPECT_EQ(Values(im.Records[0]), (std::vector<int32_t>{-10, -20, 10, 20}));
  EXPECT_EQ(im.Records[0].Count, 4);
  EXPECT_EQ(im.Records[0].Size, 0);
  EXPECT_EQ(im.MinX, -10);
  EXPECT_EQ(im.MaxY, 20);
}

TEST(Image, ArcRadiusFromStartAndFullCircleExtents) {
  TID_DrawFileFormat im;
  ResetImage(im);
  AddArc(im, 7, 1000, 1000, 3, 4, 0, 1);  // a quarter arc still widens by the whole circle
  const auto& r = im.Records[0];
  EXPECT_EQ(r.Kind, rkArc);
  EXPECT_EQ(r.MaxDX, 5);
  EXPECT_EQ(r.MinDY, -5);
  EXPECT_EQ(r.Size, 7);
  EXPECT_EQ(Values(r), (std::vector<int32_t>{3, 4, 0, 1}));
  EXPECT_EQ(im.MinX, 995);
  EXPECT_EQ(im.MaxX, 1005);
  EXPECT_EQ(im.MinY, 995);
  EXPECT_EQ(im.MaxY, 1005);
}

TEST(Image, TracksAndPolygons) {
  TID_DrawFileFormat im;
  ResetImage(im);
  TPointArray two{{0, 0}, {100, 0}};
  AddPolygon(im, 1, 0, 0, two);  // fewer than three points: nothing
  EXPECT_EQ(im.Count, 0);
  AddTrack(im, 10, 0, 0, two);
  const auto& t = im.Records[0];
  EXPECT_EQ(t.MinDX, -5);
  EXPECT_EQ(t.MaxDX, 105);
  EXPECT_EQ(t.MinDY, -5);
  EXPECT_EQ(t.MaxDY, 5);
  EXPECT_EQ(t.Count, 4);
  TPointArray three{{0, 0}, {10, 0}, {0, 10}};
  AddPolygon(im, 1, 50, 50, three);
  EXPECT_EQ(im.Count, 2);
  EXPECT_EQ(im.Records[1].Count, 6);
  EXPECT_EQ(im.Records[1].Kind, rkPolygon);
  // An empty track is appended but leaves the extents alone.
  int32_t maxx = im.MaxX;
  AddTrack(im, 10, 9999, 9999, TPointArray{});
  EXPECT_EQ(im.Count, 3);
  EXPECT_EQ(im.MaxX, maxx);
  // A long track keeps every vertex (beyond the inline storage).
  TPointArray many;
  for (int i = 0; i < 50; ++i) many.push_back({i, -i});
  AddTrack(im, 2, 0, 0, many);
  EXPECT_EQ(im.Records[3].Count, 100);
  EXPECT_EQ(im.Records[3].Points[99], -49);
}

TEST(Image, RecordCopyIsDeepAndUsesTheStoredBox) {
  TID_DrawFileFormat shapes, im;
  ResetImage(shapes);
  ResetImage(im);
  TPointArray pts;
  for (int i = 0; i < 8; ++i) pts.push_back({i * 10, i});
  AddPolygon(shapes, 0, 0, 0, pts);
  TID_DrawRecord copy;
  CopyRec(shapes.Records[0], copy);
  copy.X = 1000;
  copy.Y = 2000;
  AddRecordCopy(im, copy);
  shapes.Records[0].Points[0] = 777;  // the copy owns its own points
  EXPECT_EQ(im.Records[0].Points[0], 0);
  EXPECT_EQ(im.MinX, 1000);
  EXPECT_EQ(im.MaxX, 1070);
  EXPECT_EQ(im.MaxY, 2007);
  CopyRec(im.Records[0], im.Records[0]);  // onto itself: unchanged
  EXPECT_EQ(im.Records[0].Count, 16);
  EXPECT_EQ(im.Records[0].Points[15], 7);
}

TEST(Image, CalcRecordExtentByKind) {
  TID_DrawRecord r;
  r.Kind = rkArc;
  r.Points = {3, 4, 0, 0};
  r.Count = 4;
  CalcRecordExtent(r);
  EXPECT_EQ(r.MaxDX, 5);
  EXPECT_EQ(r.MinDY, -5);
  r.Kind = rkTrack;
  r.Size = 4;
  r.Points = {0, 0, 10, -10};
  CalcRecordExtent(r);
  EXPECT_EQ(r.MinDX, -2);
  EXPECT_EQ(r.MaxDX, 12);
  EXPECT_EQ(r.MinDY, -12);
  r.Kind = rkPolygon;
  CalcRecordExtent(r);
  EXPECT_EQ(r.MinDX, 0);
  EXPECT_EQ(r.MaxDX, 10);
  r.Kind = 9;  // unknown kinds keep their box
  r.MaxDX = 123;
  CalcRecordExtent(r);
  EXPECT_EQ(r.MaxDX, 123);
  // Squares of an arc offset are checked 32-bit arithmetic.
  r.Kind = rkArc;
  r.Points = {50000, 50000, 0, 0};
  EXPECT_THROW(CalcRecordExtent(r), EIntOverflow);
}

TEST(Image, RoundCoordRule) {
  EXPECT_EQ(RoundCoord(2.5), 3);
  EXPECT_EQ(RoundCoord(-2.5), -3);
  EXPECT_EQ(RoundCoord(0.4999), 0);
  EXPECT_EQ(RoundCoord(-0.4999), 0);
  EXPECT_EQ(RoundCoord(0.499995), 1);  // within 0.00001 of a half rounds away from zero
  EXPECT_EQ(RoundCoord(2147483647.0), 2147483647);
  EXPECT_THROW(RoundCoord(2147483648.0), ERangeError);
  EXPECT_THROW(RoundCoord(-2147483650.0), ERangeError);
  EXPECT_THROW(RoundCoord(0.0 / 0.0), ERangeError);
}

TEST(Image, ShortCcwSweep) {
  EXPECT_TRUE(IsShortCcwSweep(0, 0, 10, 0, 0, 10));
  EXPECT_FALSE(IsShortCcwSweep(0, 0, 0, 10, 10, 0));
  EXPECT_TRUE(IsShortCcwSweep(0, 0, 10, 0, -10, 0));
  EXPECT_FALSE(IsShortCcwSweep(0, 0, -10, 0, 10, 0));
  EXPECT_FALSE(IsShortCcwSweep(0, 0, 0, -10, 0, 10));
  EXPECT_TRUE(IsShortCcwSweep(0, 0, 0, -10, 10, 0));
}

TEST(Image, OverflowAndClearedImagesRaise) {
  TID_DrawFileFormat im;
  ResetImage(im);
  AddCircle(im, 0, 0, 10);
  EXPECT_THROW(AddCircle(im, 2147483647, 0, 10), EIntOverflow);
  EXPECT_THROW(AddTrack(im, 10, 2147483640, 0, TPointArray{{0, 0}, {10, 0}}), EIntOverflow);
  EXPECT_EQ(im.Count, 1);  // records before the failure are kept
  ResetImage(im);
  AddCircle(im, 0, 0, 10);
  ClearImage(im);
  EXPECT_EQ(im.Count, 0);
  EXPECT_EQ(im.Capacity, 0);
  EXPECT_EQ(im.MaxX, 5);  // extents are left as they were
  EXPECT_THROW(AddCircle(im, 0, 0, 1), ERangeError);
}
