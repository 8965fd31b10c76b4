// What places the objects of a file: polarity, step and repeat, aperture blocks, the
// aperture transformation (LM, LR, LS), holes and the image parameters.
#include "gerber_test_util.h"

using namespace pv;
using namespace pvtest;

namespace {

GerberRead Read(const std::string& body) {
  return ReadGerberText(std::string(kInchHeader) + body);
}

}  // namespace

TEST(GerberPlacement, PolarityAndStepAndRepeat) {
  // Objects keep the polarity they were drawn under, in file order.
  GerberRead pol = Read("%ADD10C,0.100*%D10*X0Y0D03*%LPC*%X0Y0D03*%LPD*%X500Y0D03*");
  ASSERT_EQ(pol.count(), 3);
  EXPECT_EQ(pol.rec(0).Flags, 0);
  EXPECT_EQ(pol.rec(1).Flags, rfClear);
  EXPECT_EQ(pol.rec(2).Flags, 0);

  // A block of a dark and a clear flash repeated 3 by 2 times: copies in rows, each with
  // its own polarity, and the extents over every copy.
  GerberRead sr =
      Read("%ADD10C,0.100*%%SRX3Y2I1.0J2.0*%D10*X0Y0D03*%LPC*%X0Y0D03*%LPD*%%SR*%X5000Y5000D03*");
  ASSERT_EQ(sr.count(), 13);
  EXPECT_EQ(At(sr.rec(2)), (TPoint{1000, 0}));
  EXPECT_EQ(sr.rec(3).Flags, rfClear);
  EXPECT_EQ(At(sr.rec(10)), (TPoint{2000, 2000}));
  EXPECT_EQ(At(sr.rec(12)), (TPoint{5000, 5000}));  // after the block: drawn once
  EXPECT_EQ(sr.image.MinX, -50);
  EXPECT_EQ(sr.image.MaxY, 5050);

  // A billion copies are refused with a reason, not drawn for an hour.
  const std::string why = RefusalOf<ERangeError>(
      [] { Read("%ADD10C,0.100*%%SRX100000Y10000I1.0J1.0*%D10*X0Y0D03*%SR*%"); });
  EXPECT_NE(why.find("copies"), std::string::npos) << why;
}

TEST(GerberPlacement, ApertureBlocks) {
  // Block 101 (a dark and a clear flash) nested in block 102; 102 flashed dark, then
  // clear, which turns every object's polarity round. Definitions draw nothing.
  GerberRead b = Read(
      "%ADD10C,0.100*%%ABD102*%%ABD101*%D10*X0Y0D03*%LPC*%X0Y0D03*%LPD*%%AB*%"
      "D101*X1000Y0D03*D10*X0Y1000D03*%AB*%"
      "D102*X5000Y5000D03*%LPC*%X8000Y5000D03*");
  ASSERT_EQ(b.count(), 6);
  EXPECT_EQ(At(b.rec(0)), (TPoint{6000, 5000}));
  EXPECT_EQ(b.rec(0).Flags, 0);
  EXPECT_EQ(b.rec(1).Flags, rfClear);
  EXPECT_EQ(At(b.rec(2)), (TPoint{5000, 6000}));
  EXPECT_EQ(At(b.rec(3)), (TPoint{9000, 5000}));
  EXPECT_EQ(b.rec(3).Flags, rfClear);
  EXPECT_EQ(b.rec(4).Flags, 0);
  EXPECT_EQ(b.rec(5).Flags, rfClear);
  EXPECT_EQ(b.image.MinX, 4950);  // only the flashes count for the extents
}

TEST(GerberPlacement, ApertureTransformationAndHoles) {
  // LR 90 turns a rectangle; LR 45 makes it a solid polygon; LM X mirrors x; LS scales
  // pads and draws alike.
  GerberRead r = Read(
      "%ADD11R,0.200X0.100*%%ADD10C,0.020*%D11*%LR90*%X0Y0D03*%LR45*%X0Y0D03*%LR0*%"
      "%LMX*%%LS2*%X0Y0D03*%LMN*%D10*X0Y0D02*X1000Y0D01*D02*");
  ASSERT_EQ(r.count(), 4);
  EXPECT_EQ(Points(r.rec(0)), (std::vector<int32_t>{-50, -100, 50, 100}));
  EXPECT_EQ(r.rec(1).Kind, rkPolygon);
  EXPECT_EQ(r.rec(1).Flags, rfSolid);
  EXPECT_EQ(r.rec(1).MaxDX, 106);  // (100 + 50) / sqrt 2
  EXPECT_EQ(Points(r.rec(2)), (std::vector<int32_t>{-200, -100, 200, 100}));
  EXPECT_EQ(r.rec(3).Kind, rkTrack);
  EXPECT_EQ(r.rec(3).Size, 40);

  // The hole of each standard aperture is painted through the pad; a clear pad has no
  // hole to paint.
  GerberRead h = Read(
      "%ADD10C,0.100X0.040*%%ADD11R,0.100X0.080X0.030X0.020*%%ADD12P,0.100X6X0X0.050*%"
      "D10*X0Y0D03*D11*X0Y0D03*D12*X0Y0D03*%LPC*%D10*X0Y0D03*");
  ASSERT_EQ(h.count(), 7);
  EXPECT_EQ(h.rec(1).Kind, rkCircle);
  EXPECT_EQ(h.rec(1).Size, 40);
  EXPECT_EQ(h.rec(1).Flags, rfClear);
  EXPECT_EQ(h.rec(3).Kind, rkRectangle);
  EXPECT_EQ(Points(h.rec(3)), (std::vector<int32_t>{-15, -10, 15, 10}));
  EXPECT_EQ(h.rec(3).Flags, rfClear);
  EXPECT_EQ(h.rec(5).Size, 50);
  EXPECT_EQ(h.rec(6).Flags, rfClear);
}

TEST(GerberPlacement, ImageParameters) {
  const std::string cross = "%ADD10C,0.050*%D10*X1000Y1000D02*X3000Y1000D01*D02*";
  // An offset moves, a mirror negates, a rotation of 270 turns clockwise, a scale
  // stretches one axis, an axis swap exchanges them.
  GerberRead of = Read("%OFA-2.0B-1.0*%" + cross);
  EXPECT_EQ(of.image.MinX, -1025);
  EXPECT_EQ(of.image.MaxY, 25);
  GerberRead mi = Read("%MIA1B1*%" + cross);
  EXPECT_EQ(mi.image.MaxX, -975);
  EXPECT_EQ(mi.image.MaxY, -975);
  GerberRead ir = Read("%IR270*%" + cross);
  EXPECT_EQ(ir.image.MinY, -3025);
  EXPECT_EQ(ir.image.MaxX, 1025);
  GerberRead sf = Read("%SFA2B1*%" + cross);
  EXPECT_EQ(sf.image.MaxX, 6035);  // the width scales by the mean of the two
  EXPECT_EQ(sf.image.MaxY, 1035);
  GerberRead as = Read("%ASAYBX*%" + cross);
  EXPECT_EQ(as.image.MaxY, 3025);

  // A negative image: the board's area dark, every object clearing it, drawn first.
  GerberRead neg = Read("%IPNEG*%" + cross);
  ASSERT_EQ(neg.count(), 2);
  EXPECT_EQ(neg.rec(0).Kind, rkRectangle);
  EXPECT_EQ(neg.rec(0).Flags, 0);
  EXPECT_EQ(neg.rec(0).MinDX + neg.rec(0).X, 975);
  EXPECT_EQ(neg.rec(1).Flags, rfClear);
}
