// The command interpreter: paths, rectangles, arcs, regions, flashes, modes.
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
  EXPECT_EQ(t.X, 500);
  EXPECT_EQ(t.Y, 500);
  EXPECT_EQ(Points(t), (std::vector<int32_t>{-500, -500, 500, -500, 500, 500}));
  EXPECT_EQ(r.image.MinX, -5);
  EXPECT_EQ(r.image.MaxY, 1005);
}

TEST(GerberPaths, TwoPointSegmentsByApertureKind) {
  // A rectangular aperture swept along an axis: one filled rectangle with square ends.
  GerberRead rect = Draw("%ADD11R,0.020X0.020*%", "D11*X0Y0D02*X1000Y0D01*D02*");
  ASSERT_EQ(rect.count(), 1);
  EXPECT_EQ(rect.rec(0).Kind, rkRectangle);
  EXPECT_EQ(rect.rec(0).X, 500);
  EXPECT_EQ(rect.rec(0).Y, 0);
  EXPECT_EQ(Points(rect.rec(0)), (std::vector<int32_t>{-510, -10, 510, 10}));

  // The same with a round aperture: a two-point track.
  GerberRead round = Draw("%ADD10C,0.020*%", "D10*X0Y0D02*X0Y1000D01*D02*");
  ASSERT_EQ(round.count(), 1);
  EXPECT_EQ(round.rec(0).Kind, rkTrack);
  EXPECT_EQ(Points(round.rec(0)), (std::vector<int32_t>{0, -500, 0, 500}));

  // An obround along an axis draws nothing; diagonally it is a track.
  GerberRead obround = Draw("%ADD12O,0.020X0.040*%", "D12*X0Y0D02*X1000Y0D01*D02*");
  EXPECT_EQ(obround.count(), 0);
  GerberRead diagonal = Draw("%ADD12O,0.020X0.040*%", "D12*X0Y0D02*X1000Y1000D01*D02*");
  ASSERT_EQ(diagonal.count(), 1);
  EXPECT_EQ(diagonal.rec(0).Kind, rkTrack);
  EXPECT_EQ(diagonal.rec(0).Size, 20);

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
  EXPECT_EQ(inc.rec(1).X, 1500);
  EXPECT_EQ(inc.rec(1).Y, 500);
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
  EXPECT_EQ(r.rec(0).X, 1000);
  EXPECT_EQ(r.rec(0).Y, 2000);
  EXPECT_EQ(r.rec(1).X, 3000);
  EXPECT_EQ(r.rec(1).Y, 2000);
  EXPECT_EQ(r.rec(2).Kind, rkRectangle);
  EXPECT_EQ(Points(r.rec(2)), (std::vector<int32_t>{-20, -10, 20, 10}));
  EXPECT_EQ(r.rec(3).Kind, rkTrack);
  EXPECT_EQ(r.rec(3).X, 100);
  EXPECT_EQ(Points(r.rec(3)), (std::vector<int32_t>{0, -20, 0, 20}));
  EXPECT_EQ(r.rec(4).Kind, rkPolygon);
  EXPECT_EQ(r.rec(4).X, 0);
  EXPECT_EQ(r.rec(4).Y, 500);
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
  EXPECT_EQ(full.rec(0).X, 0);
  EXPECT_EQ(full.rec(0).Y, 0);
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
  EXPECT_EQ(ccw.rec(0).X, 0);
  EXPECT_EQ(ccw.rec(0).Y, 0);
  EXPECT_EQ(Points(ccw.rec(0)), (std::vector<int32_t>{1000, 0, 0, 1000}));
  GerberRead cw = Draw("%ADD10C,0.010*%", "D10*G74*X0Y1000D02*G02X1000Y0I0J-1000D01*");
  ASSERT_EQ(cw.count(), 1);
  EXPECT_EQ(cw.rec(0).X, 0);
  EXPECT_EQ(cw.rec(0).Y, 0);
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

TEST(GerberArcs, FineResolutionFullCircleTest) {
  // Format 2.6: the end rounds to the start in image units but lies just
  // counterclockwise after it at 1/100 unit: a tiny arc, not drawn.
  const std::string head = "%FSLAX26Y26*%%MOIN*%%ADD10C,0.010*%D10*G75*X1000000Y0D02*";
  GerberRead tiny = ReadGerberText(head + "G03X999990Y40I-1000000J0D01*");
  EXPECT_TRUE(tiny.accepted);
  EXPECT_EQ(tiny.count(), 0);
  // Just clockwise before it: nearly a full turn, drawn as a full circle.
  GerberRead turn = ReadGerberText(head + "G03X999990Y-40I-1000000J0D01*");
  ASSERT_EQ(turn.count(), 1);
  EXPECT_EQ(Points(turn.rec(0)), (std::vector<int32_t>{1000, 0, 1000, 0}));

  // Incremental coordinates: the fine current point follows the current point, so a
  // full circle stays a full circle.
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

  ArcToPoints(st, {0, 0}, {1000, 0}, {0, 1000}, true);
  ASSERT_EQ(st.Path.Count, 4);
  EXPECT_EQ(st.Path.Points[0], (TPoint{924, 383}));
  EXPECT_EQ(st.Path.Points[1], (TPoint{707, 707}));
  EXPECT_EQ(st.Path.Points[2], (TPoint{383, 924}));
  EXPECT_EQ(st.Path.Points[3], (TPoint{0, 1000}));
  FlushPath(st);  // a region path of 4 points: one polygon

  // Clockwise the long way round: 12 points.
  ArcToPoints(st, {0, 0}, {1000, 0}, {0, 1000}, false);
  ASSERT_EQ(st.Path.Count, 12);
  EXPECT_EQ(st.Path.Points[0], (TPoint{924, -383}));
  EXPECT_EQ(st.Path.Points[11], (TPoint{0, 1000}));
  FlushPath(st);

  // Start and end in one direction: a full circle at multiples of pi/8, then the end.
  ArcToPoints(st, {100, 100}, {0, 1000}, {0, 2000}, true);
  ASSERT_EQ(st.Path.Count, 16);
  EXPECT_EQ(st.Path.Points[0], (TPoint{100 + 924, 100 + 383}));
  EXPECT_EQ(st.Path.Points[15], (TPoint{100, 2100}));
  FlushPath(st);

  // A radius below 3: only the end point. Equal offsets: nothing.
  ArcToPoints(st, {0, 0}, {2, 0}, {0, 2}, true);
  ASSERT_EQ(st.Path.Count, 1);
  EXPECT_EQ(st.Path.Points[0], (TPoint{0, 2}));
  FlushPath(st);
  ArcToPoints(st, {0, 0}, {1000, 0}, {1000, 0}, true);
  EXPECT_EQ(st.Path.Count, 0);

  ASSERT_EQ(image.Count, 3);  // one point makes no polygon
  EXPECT_EQ(image.Records[0].Kind, rkPolygon);
  EXPECT_EQ(image.Records[0].Size, 1);
}

TEST(GerberRegions, StraightContours) {
  GerberRead r = Draw("%ADD10C,0.010*%",
                      "D10*G36*X0Y0D02*G01X1000Y0D01*X1000Y1000D01*X0Y1000D01*X0Y0D01*G37*");
  ASSERT_EQ(r.count(), 1);
  const TID_DrawRecord& p = r.rec(0);
  EXPECT_EQ(p.Kind, rkPolygon);
  EXPECT_EQ(p.Size, 1);
  EXPECT_EQ(p.X, 500);
  EXPECT_EQ(p.Y, 500);
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

  // An aperture selection ends the region without G37.
  GerberRead sel = Draw("%ADD10C,0.010*%", "G36*X0Y0D02*X1000Y0D01*X1000Y1000D01*D10*X0Y0D03*");
  ASSERT_EQ(sel.count(), 2);
  EXPECT_EQ(sel.rec(0).Kind, rkPolygon);
  EXPECT_EQ(sel.rec(1).Kind, rkCircle);

  // Clear polarity records no straight edges.
  GerberRead clear = Draw("%ADD10C,0.010*%%LPC*%",
                          "D10*G36*X0Y0D02*G01X1000Y0D01*X1000Y1000D01*X0Y1000D01*X0Y0D01*G37*");
  EXPECT_EQ(clear.count(), 0);
  // Dark again: recorded.
  GerberRead dark = Draw("%ADD10C,0.010*%%LPC*%%LPD*%",
                         "D10*G36*X0Y0D02*G01X1000Y0D01*X1000Y1000D01*X0Y1000D01*X0Y0D01*G37*");
  EXPECT_EQ(dark.count(), 1);
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
  EXPECT_EQ(r.rec(0).Count, 24);  // 2 + 7 arc points + end + 2 more corners
  EXPECT_EQ(r.image.MaxX, 1500);  // the arc bulges to x = 1500
  EXPECT_EQ(r.image.MaxY, 1000);

  // An arc block that moves (D02) inside a region draws nothing.
  GerberRead move = Draw("%ADD10C,0.010*%",
                         "D10*G75*G36*X0Y0D02*G01X1000Y0D01*G03X1000Y1000I0J500D02*G01X0Y1000D01*"
                         "X0Y0D01*G37*");
  ASSERT_EQ(move.count(), 1);
  EXPECT_EQ(move.image.MaxX, 1000);

  // Under clear polarity neither straight nor arc edges are recorded.
  GerberRead clear = Draw("%ADD10C,0.010*%%LPC*%", "D10*" + contour);
  EXPECT_EQ(clear.count(), 0);
}
