// The command interpreter: paths, rectangles, arcs, regions, flashes, modes.
#include <cmath>

#include "gerber_test_util.h"

using namespace pv;
using namespace pvtest;

namespace {

GerberRead Draw(const std::string& apertures, const std::string& data) {
  return ReadGerberText(std::string(kInchHeader) + apertures + data);
}

}  // namespace

TEST(GerberPaths, ThreePointTrack) {
  GerberRead r = Draw("%ADD10C,0.010*%", "D10*X0Y0D02*X1000Y0D01*X1000Y1000D01*D02*");
  ASSERT_EQ(r.count(), 1);
  const TID_DrawRecord& t = r.rec(0);
  EXPECT_EQ(t.Kind, rkTrack);
  EXPECT_EQ(t.Size, 10);
  EXPECT_EQ(At(t), (TPoint{500, 500}));
  EXPECT_EQ(Points(t), (std::vector<int32_t>{-500, -500, 500, -500, 500, 500}));
  EXPECT_EQ(r.image.MinX, -5);
  EXPECT_EQ(r.image.MaxY, 1005);
}

TEST(GerberPaths, TwoPointSegmentsByApertureKind) {
  // A rectangular aperture is moved along the segment: its X side across a vertical draw,
  // its Y side across a horizontal one, the rectangle itself when it does not move, and a
  // hexagon, filled solid, along a diagonal.
  const std::string rect = "%ADD11R,0.020X0.010*%";
  GerberRead across = Draw(rect, "D11*X0Y0D02*X1000Y0D01*D02*");
  ASSERT_EQ(across.count(), 1);
  EXPECT_EQ(across.rec(0).Kind, rkRectangle);
  EXPECT_EQ(across.rec(0).X, 500);
  EXPECT_EQ(Points(across.rec(0)), (std::vector<int32_t>{-510, -5, 510, 5}));
  GerberRead up = Draw(rect, "D11*X0Y0D02*X0Y1000D01*D02*");
  EXPECT_EQ(Points(up.rec(0)), (std::vector<int32_t>{-10, -505, 10, 505}));
  GerberRead still = Draw(rect, "D11*X0Y0D02*X0Y0D01*D02*");
  EXPECT_EQ(Points(still.rec(0)), (std::vector<int32_t>{-10, -5, 10, 5}));
  GerberRead diagonal = Draw(rect, "D11*X0Y0D02*X1000Y1000D01*D02*");
  ASSERT_EQ(diagonal.count(), 1);
  EXPECT_EQ(diagonal.rec(0).Kind, rkPolygon);
  EXPECT_EQ(diagonal.rec(0).Flags, rfSolid);
  EXPECT_EQ(Points(diagonal.rec(0)), (std::vector<int32_t>{-510, -505, -490, -505, 510, 495, 510,
                                                           505, 490, 505, -510, -495}));

  // A round aperture: a two-point track; one that does not move leaves its disc.
  GerberRead round = Draw("%ADD10C,0.020*%", "D10*X0Y0D02*X0Y1000D01*D02*");
  ASSERT_EQ(round.count(), 1);
  EXPECT_EQ(round.rec(0).Kind, rkTrack);
  EXPECT_EQ(Points(round.rec(0)), (std::vector<int32_t>{0, -500, 0, 500}));
  GerberRead disc = Draw("%ADD10C,0.020*%", "D10*X300Y200D02*X300Y200D01*D02*");
  ASSERT_EQ(disc.count(), 1);
  EXPECT_EQ(disc.rec(0).Kind, rkCircle);
  EXPECT_EQ(disc.rec(0).Size, 20);

  // Other apertures draw as the round one of their size.
  GerberRead obround = Draw("%ADD12O,0.020X0.040*%", "D12*X0Y0D02*X1000Y0D01*D02*");
  ASSERT_EQ(obround.count(), 1);
  EXPECT_EQ(obround.rec(0).Kind, rkTrack);
  EXPECT_EQ(obround.rec(0).Size, 20);

  // A zero-length draw with a zero-size aperture draws nothing; one point neither.
  GerberRead dot = Draw("%ADD10C*%", "D10*X0Y0D02*X0Y0D01*D02*X500Y0D02*D01*D02*");
  EXPECT_EQ(dot.count(), 0);

  // An undefined aperture drawn with D01: a round track 40 wide.
  GerberRead undefined = Draw("%ADD10C,0.010*%", "D50*X0Y0D02*X1000Y0D01*D02*");
  ASSERT_EQ(undefined.count(), 1);
  EXPECT_EQ(undefined.rec(0).Kind, rkTrack);
  EXPECT_EQ(undefined.rec(0).Size, 40);
}

TEST(GerberPaths, PathEndsAndModes) {
  // Modal D01 continues a path; a new aperture ends it; M02 changes nothing; the path
  // still open at the end of the file is drawn.
  GerberRead r = Draw("%ADD10C,0.010*%%ADD11C,0.020*%",
                      "D10*X0Y0D02*X1000Y0D01*X2000Y500*D11*X0Y0D02*X0Y1000D01*M02*X500Y1500*");
  ASSERT_EQ(r.count(), 2);
  EXPECT_EQ(r.rec(0).Size, 10);
  EXPECT_EQ(r.rec(0).Count, 6);
  EXPECT_EQ(r.rec(1).Size, 20);
  EXPECT_EQ(r.rec(1).Count, 6);

  // G70/G71 switch units for the rest of the file.
  GerberRead units = Draw("%ADD10C,0.010*%", "D10*G71*X1000Y0D03*G70*X1000Y0D03*");
  ASSERT_EQ(units.count(), 2);
  EXPECT_EQ(units.rec(0).X, 39);
  EXPECT_EQ(units.rec(1).X, 1000);

  // G91 makes coordinates incremental, G90 absolute again.
  GerberRead inc =
      Draw("%ADD10C,0.010*%", "D10*G91*X1000Y0D02*X1000Y0D03*X-500Y500D03*G90*X0Y0D03*");
  ASSERT_EQ(inc.count(), 3);
  EXPECT_EQ(inc.rec(0).X, 2000);
  EXPECT_EQ(At(inc.rec(1)), (TPoint{1500, 500}));
  EXPECT_EQ(inc.rec(2).X, 0);
}

TEST(GerberPaths, PathBufferKeepsItsLastPoint) {
  // 80005 points in one path: the buffer holds 80000, the last slot takes the final point.
  std::string data = "D10*X0Y0D02*";
  for (int i = 1; i <= 80004; ++i) data += "X" + std::to_string(i) + "Y0D01*";
  data += "D02*";
  GerberRead r = Draw("%ADD10C,0.010*%", data);
  ASSERT_EQ(r.count(), 1);
  const TID_DrawRecord& t = r.rec(0);
  ASSERT_EQ(t.Count, 160000);
  EXPECT_EQ(t.X + t.Points[2 * 79998], 79998);
  EXPECT_EQ(t.X + t.Points[2 * 79999], 80004);
  EXPECT_EQ(r.image.MaxX, 80009);
}

TEST(GerberFlashes, EveryKind) {
  GerberRead r = Draw("%ADD10C,0.030*%%ADD11R,0.040X0.020*%%ADD12O,0.020X0.060*%%ADD13P,0.100X4*%",
                      "D10*X1000Y2000D02*D03*X3000D03*D11*X0Y0D03*D12*X100Y0D03*D13*X0Y500D03*"
                      "D77*X-100Y-100D03*");
  ASSERT_EQ(r.count(), 6);
  // D03 alone flashes at the current point; with coordinates at its target.
  EXPECT_EQ(r.rec(0).Kind, rkCircle);
  EXPECT_EQ(At(r.rec(0)), (TPoint{1000, 2000}));
  EXPECT_EQ(At(r.rec(1)), (TPoint{3000, 2000}));
  EXPECT_EQ(r.rec(2).Kind, rkRectangle);
  EXPECT_EQ(Points(r.rec(2)), (std::vector<int32_t>{-20, -10, 20, 10}));
  EXPECT_EQ(r.rec(3).Kind, rkTrack);
  EXPECT_EQ(r.rec(3).X, 100);
  EXPECT_EQ(Points(r.rec(3)), (std::vector<int32_t>{0, -20, 0, 20}));
  EXPECT_EQ(r.rec(4).Kind, rkPolygon);
  EXPECT_EQ(At(r.rec(4)), (TPoint{0, 500}));
  EXPECT_EQ(Points(r.rec(4)), (std::vector<int32_t>{50, 0, 0, 50, -50, 0, 0, -50}));
  // A D code that was never defined flashes a circle of 40.
  EXPECT_EQ(r.rec(5).Kind, rkCircle);
  EXPECT_EQ(r.rec(5).Size, 40);

  // Before any selection, draws and flashes use the aperture of D11.
  GerberRead d11 = Draw("%ADD11C,0.030*%", "X0Y0D03*");
  ASSERT_EQ(d11.count(), 1);
  EXPECT_EQ(d11.rec(0).Size, 30);
}

TEST(GerberArcs, QuadrantModes) {
  // Multi-quadrant full circle: one arc with equal start and end offsets.
  GerberRead full = Draw("%ADD10C,0.010*%", "D10*G75*X1000Y0D02*G03X1000Y0I-1000J0D01*");
  ASSERT_EQ(full.count(), 1);
  EXPECT_EQ(full.rec(0).Kind, rkArc);
  EXPECT_EQ(At(full.rec(0)), (TPoint{0, 0}));
  EXPECT_EQ(full.rec(0).Size, 10);
  EXPECT_EQ(Points(full.rec(0)), (std::vector<int32_t>{1000, 0, 1000, 0}));

  // Single quadrant: an arc whose ends share an x or a y is not drawn.
  GerberRead shared =
      Draw("%ADD10C,0.010*%", "D10*G74*X1000Y0D02*G03X0Y0I500J0D01*X0Y1000D02*G02X0Y0I0J500D01*");
  EXPECT_EQ(shared.count(), 0);

  // Single quadrant counterclockwise and clockwise: the centre comes from the signs of
  // the travel; records always run counterclockwise.
  GerberRead ccw = Draw("%ADD10C,0.010*%", "D10*G74*X1000Y0D02*G03X0Y1000I1000J0D01*");
  ASSERT_EQ(ccw.count(), 1);
  EXPECT_EQ(At(ccw.rec(0)), (TPoint{0, 0}));
  EXPECT_EQ(Points(ccw.rec(0)), (std::vector<int32_t>{1000, 0, 0, 1000}));
  GerberRead cw = Draw("%ADD10C,0.010*%", "D10*G74*X0Y1000D02*G02X1000Y0I0J-1000D01*");
  ASSERT_EQ(cw.count(), 1);
  EXPECT_EQ(At(cw.rec(0)), (TPoint{0, 0}));
  EXPECT_EQ(Points(cw.rec(0)), (std::vector<int32_t>{1000, 0, 0, 1000}));

  // An arc ends the path before it; its width is the aperture's; undefined: 40.
  GerberRead mixed = Draw("%ADD10C,0.010*%",
                          "D10*X0Y0D02*X1000Y0D01*G75*G03X0Y1000I-1000J0D01*D50*G01X0Y0D02*"
                          "G03X0Y0I500J0D01*");
  ASSERT_EQ(mixed.count(), 3);
  EXPECT_EQ(mixed.rec(0).Kind, rkTrack);
  EXPECT_EQ(mixed.rec(1).Kind, rkArc);
  EXPECT_EQ(Points(mixed.rec(1)), (std::vector<int32_t>{1000, 0, 0, 1000}));
  EXPECT_EQ(mixed.rec(2).Size, 40);
  EXPECT_EQ(mixed.rec(2).X, 500);
}

TEST(GerberArcs, FullCirclesAreDecidedAsWritten) {
  // Format 2.6: the end rounds to the start in image units. Just counterclockwise after
  // it, the arc is a sliver: the dot of the aperture, not a ring.
  const std::string head = "%FSLAX26Y26*%%MOIN*%%ADD10C,0.010*%D10*G75*X1000000Y0D02*";
  GerberRead tiny = ReadGerberText(head + "G03X999990Y40I-1000000J0D01*");
  EXPECT_TRUE(tiny.accepted);
  ASSERT_EQ(tiny.count(), 1);
  EXPECT_EQ(tiny.rec(0).Kind, rkCircle);
  EXPECT_EQ(tiny.rec(0).Size, 10);
  // Just clockwise before it: nearly a full turn, drawn as a full circle.
  GerberRead turn = ReadGerberText(head + "G03X999990Y-40I-1000000J0D01*");
  ASSERT_EQ(turn.count(), 1);
  EXPECT_EQ(Points(turn.rec(0)), (std::vector<int32_t>{1000, 0, 1000, 0}));
  // The same point as written: a full circle.
  GerberRead full = ReadGerberText(head + "G03X1000000Y0I-1000000J0D01*");
  ASSERT_EQ(full.count(), 1);
  EXPECT_EQ(full.rec(0).Kind, rkArc);

  // Millimetre 4.4 with the ends 0.3 um apart (an arc of 0.02 degrees): a dot 4.4 mm
  // from the centre, not a ring of that radius.
  GerberRead sliver = ReadGerberText(
      "%FSLAX44Y44*%%MOMM*%%ADD10C,0.2*%D10*G75*X468088Y986449D02*G03X468087Y986452I-8812J4D01*");
  ASSERT_EQ(sliver.count(), 1);
  EXPECT_EQ(sliver.rec(0).Kind, rkCircle);

  // Incremental coordinates: the current point as written follows the current point, so
  // a full circle stays a full circle.
  GerberRead inc = Draw("%ADD10C,0.010*%", "D10*G75*G91*X500Y0D02*X500Y0D02*G03X0Y0I-1000J0D01*");
  ASSERT_EQ(inc.count(), 1);
  EXPECT_EQ(inc.rec(0).Kind, rkArc);
  EXPECT_EQ(Points(inc.rec(0)), (std::vector<int32_t>{1000, 0, 1000, 0}));
}

TEST(GerberArcs, ArcToPoints) {
  TID_DrawFileFormat image;
  ResetImage(image);
  ReaderState st;
  InitReaderState(st, image);
  st.Region = true;

  // Every chord stays within half an image unit of the arc, the end point is exact and
  // the points turn the asked way.
  auto check = [&](TPoint c, TPoint s, TPoint e, bool ccw, bool full, double sweep) {
    AddPathPoint(st, c.X + s.X, c.Y + s.Y);
    ArcToPoints(st, c, s, e, ccw, full);
    const double r = std::hypot(s.X, s.Y);
    ASSERT_GE(st.Path.Count, 3);
    EXPECT_EQ(st.Path.Points[static_cast<size_t>(st.Path.Count - 1)],
              (TPoint{c.X + e.X, c.Y + e.Y}));
    double turned = 0.0;
    for (int32_t k = 1; k < st.Path.Count; ++k) {
      const TPoint a = st.Path.Points[static_cast<size_t>(k - 1)],
                   b = st.Path.Points[static_cast<size_t>(k)];
      const double ax = a.X - c.X, ay = a.Y - c.Y, bx = b.X - c.X, by = b.Y - c.Y;
      EXPECT_NEAR(std::hypot(bx, by), r, 1.0);
      const double mx = (ax + bx) / 2, my = (ay + by) / 2;
      EXPECT_GT(std::hypot(mx, my), r - 1.5);  // the chord's middle stays near the arc
      turned += std::atan2(ax * by - ay * bx, ax * bx + ay * by);
    }
    EXPECT_NEAR(turned, sweep, 1e-3);
    FlushPath(st);
  };
  const double kQuarter = 3.14159265358979 / 2;
  check({0, 0}, {100000, 0}, {0, 100000}, true, false, kQuarter);
  check({0, 0}, {100000, 0}, {0, 100000}, false, false, -3 * kQuarter);
  check({100, 100}, {0, 1000}, {0, 1000}, true, true, 4 * kQuarter);
  // Equal offsets not written as the same point: no circle, nothing at all.
  ArcToPoints(st, {0, 0}, {0, 1000}, {0, 1000}, true);
  EXPECT_EQ(st.Path.Count, 0);

  // A radius below 3: only the end point.
  ArcToPoints(st, {0, 0}, {2, 0}, {0, 2}, true);
  ASSERT_EQ(st.Path.Count, 1);
  EXPECT_EQ(st.Path.Points[0], (TPoint{0, 2}));
}

TEST(GerberRegions, StraightContours) {
  GerberRead r = Draw("%ADD10C,0.010*%",
                      "D10*G36*X0Y0D02*G01X1000Y0D01*X1000Y1000D01*X0Y1000D01*X0Y0D01*G37*");
  ASSERT_EQ(r.count(), 1);
  const TID_DrawRecord& p = r.rec(0);
  EXPECT_EQ(p.Kind, rkPolygon);
  EXPECT_EQ(p.Size, 1);
  EXPECT_EQ(At(p), (TPoint{500, 500}));
  EXPECT_EQ(Points(p),
            (std::vector<int32_t>{-500, -500, 500, -500, 500, 500, -500, 500, -500, -500}));

  // D02 inside a region closes one contour and starts the next; modal D01 continues.
  GerberRead two =
      Draw("%ADD10C,0.010*%",
           "D10*G36*X0Y0D02*X100Y0D01*Y100*X0*X0Y0*X500Y500D02*X600Y500D01*X600Y600D01*"
           "X500Y500D01*G37*D03*");
  ASSERT_EQ(two.count(), 3);
  EXPECT_EQ(two.rec(0).Count, 10);
  EXPECT_EQ(two.rec(1).Count, 8);
  // After G37 the saved aperture is back: the flash is the round 10.
  EXPECT_EQ(two.rec(2).Kind, rkCircle);
  EXPECT_EQ(two.rec(2).Size, 10);

  // An aperture selection inside a region leaves the region open; a flash there is no
  // object of the region.
  GerberRead sel = Draw("%ADD10C,0.010*%", "G36*X0Y0D02*X1000Y0D01*X1000Y1000D01*D10*X0Y0D03*G37*");
  ASSERT_EQ(sel.count(), 1);
  EXPECT_EQ(sel.rec(0).Kind, rkPolygon);
  EXPECT_EQ(sel.rec(0).Count, 6);

  // Clear polarity: the region is recorded, clear.
  GerberRead clear = Draw("%ADD10C,0.010*%%LPC*%",
                          "D10*G36*X0Y0D02*G01X1000Y0D01*X1000Y1000D01*X0Y1000D01*X0Y0D01*G37*");
  ASSERT_EQ(clear.count(), 1);
  EXPECT_EQ(clear.rec(0).Flags, rfClear);
  // Dark again: dark.
  GerberRead dark = Draw("%ADD10C,0.010*%%LPC*%%LPD*%",
                         "D10*G36*X0Y0D02*G01X1000Y0D01*X1000Y1000D01*X0Y1000D01*X0Y0D01*G37*");
  ASSERT_EQ(dark.count(), 1);
  EXPECT_EQ(dark.rec(0).Flags, 0);

  // After an arc edge, coordinates without a D code go on drawing straight edges.
  GerberRead mixed = Draw("%ADD10C,0.010*%",
                          "D10*G75*G36*X10000Y0D02*G03X15000Y5000I0J5000D01*G01X15000Y10000*"
                          "X10000Y10000*X10000Y0*G37*");
  ASSERT_EQ(mixed.count(), 1);
  EXPECT_EQ(mixed.image.MaxY, 10000);
  EXPECT_EQ(mixed.image.MinX, 10000);
}

TEST(GerberRegions, StraightEdgesAfterARegionThatEndedWithAnArc) {
  // The first region ends with an arc; a G01 outside any region; the second region
  // still records its straight edges.
  GerberRead r = Draw("%ADD10C,0.010*%",
                      "D10*G75*G36*X0Y0D02*G01X1000Y0D01*G03X0Y0I-500J0D01*G37*G01*"
                      "G36*X2000Y0D02*X3000Y0D01*X3000Y1000D01*X2000Y1000D01*X2000Y0D01*G37*");
  ASSERT_EQ(r.count(), 2);
  EXPECT_EQ(r.rec(1).Kind, rkPolygon);
  EXPECT_EQ(r.rec(1).Count, 10);
  EXPECT_EQ(r.rec(1).X, 2500);
}

TEST(GerberRegions, ArcEdgesFollowTheirOwnBlocks) {
  // The pen was never down before the region: its arc edges are drawn all the same.
  const std::string contour =
      "G75*G36*X0Y0D02*G01X1000Y0D01*G03X1000Y1000I0J500D01*G01X0Y1000D01*X0Y0D01*G37*";
  GerberRead r = Draw("%ADD10C,0.010*%", "D10*" + contour);
  ASSERT_EQ(r.count(), 1);
  EXPECT_GT(r.rec(0).Count, 24);  // corners and the chords of the arc
  EXPECT_EQ(r.image.MaxX, 1500);  // the arc bulges to x = 1500
  EXPECT_EQ(r.image.MaxY, 1000);

  // An arc block that moves (D02) inside a region draws nothing.
  GerberRead move = Draw("%ADD10C,0.010*%",
                         "D10*G75*G36*X0Y0D02*G01X1000Y0D01*G03X1000Y1000I0J500D02*G01X0Y1000D01*"
                         "X0Y0D01*G37*");
  ASSERT_EQ(move.count(), 1);
  EXPECT_EQ(move.image.MaxX, 1000);

  // Under clear polarity the same contour is recorded, clear.
  GerberRead clear = Draw("%ADD10C,0.010*%%LPC*%", "D10*" + contour);
  ASSERT_EQ(clear.count(), 1);
  EXPECT_EQ(clear.rec(0).Flags, rfClear);
  EXPECT_EQ(clear.image.MaxX, 1500);
}
