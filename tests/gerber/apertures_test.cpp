// Aperture definitions, the tables, macros and their primitives, rotation.
#include <cmath>

#include "gerber_test_util.h"
#include "platform/errors.h"

using namespace pv;
using namespace pvtest;

namespace {

// Defines D10 with the given statement text (after "AD") and flashes it at (1000, 2000).
GerberRead FlashDefinition(const std::string& definitions, const std::string& dcode = "D10") {
  return ReadGerberText(std::string(kInchHeader) + definitions + dcode + "*X1000Y2000D03*");
}

// The records one macro adds when flashed at the origin.
GerberRead FlashMacro(const std::string& body, const std::string& modifiers = "") {
  return ReadGerberText(std::string(kInchHeader) + "%AMSHAPE*" + body + "*%%ADD10SHAPE" +
                        modifiers + "*%D10*X0Y0D03*");
}

}  // namespace

TEST(GerberApertures, CircleSizes) {
  // 0.0005 inch is half a unit and rounds to 1; 0.0001 rounds to 0 and is raised to 1.
  GerberRead half = FlashDefinition("%ADD10C,0.0005*%");
  ASSERT_EQ(half.count(), 1);
  EXPECT_EQ(half.rec(0).Size, 1);
  GerberRead tiny = FlashDefinition("%ADD10C,0.0001*%");
  ASSERT_EQ(tiny.count(), 1);
  EXPECT_EQ(tiny.rec(0).Size, 1);
  GerberRead normal = FlashDefinition("%ADD10C,0.025*%");
  ASSERT_EQ(normal.count(), 1);
  EXPECT_EQ(normal.rec(0).Kind, rkCircle);
  EXPECT_EQ(normal.rec(0).Size, 25);
  EXPECT_EQ(At(normal.rec(0)), (TPoint{1000, 2000}));

  // Without modifiers the size is 0, and the definition counts for acceptance.
  GerberRead none = FlashDefinition("%ADD10C*%");
  EXPECT_TRUE(none.accepted);
  ASSERT_EQ(none.count(), 1);
  EXPECT_EQ(none.rec(0).Size, 0);

  // A comma with no parseable value drops the definition.
  GerberRead bad = FlashDefinition("%ADD10C,BBBB*%");
  EXPECT_FALSE(bad.accepted);
  EXPECT_EQ(DCodeSlot(10), 1);
  ASSERT_EQ(bad.count(), 1);
  EXPECT_EQ(bad.rec(0).Size, 40);  // the undefined aperture
}

TEST(GerberApertures, RectangleAndObround) {
  GerberRead rect = FlashDefinition("%ADD10R,0.060X0.030*%");
  const TAperture& r = ApertureOfDCode(10);
  EXPECT_EQ(r.Kind, 'R');
  EXPECT_EQ(r.Size, 60);
  EXPECT_EQ(r.A, -30);
  EXPECT_EQ(r.B, -15);
  EXPECT_EQ(r.C, 30);
  EXPECT_EQ(r.D, 15);
  ASSERT_EQ(rect.count(), 1);
  EXPECT_EQ(rect.rec(0).Kind, rkRectangle);
  EXPECT_EQ(Points(rect.rec(0)), (std::vector<int32_t>{-30, -15, 30, 15}));

  GerberRead square = FlashDefinition("%ADD10R,0.020*%");
  ASSERT_EQ(square.count(), 1);
  EXPECT_EQ(Points(square.rec(0)), (std::vector<int32_t>{-10, -10, 10, 10}));

  // Obround taller than wide: a vertical track of the smaller side.
  GerberRead tall = FlashDefinition("%ADD10O,0.030X0.080*%");
  const TAperture& o = ApertureOfDCode(10);
  EXPECT_EQ(o.Kind, 'O');
  EXPECT_EQ(o.Size, 30);
  EXPECT_EQ(o.A, 0);
  EXPECT_EQ(o.B, -25);
  EXPECT_EQ(o.C, 0);
  EXPECT_EQ(o.D, 25);
  ASSERT_EQ(tall.count(), 1);
  EXPECT_EQ(tall.rec(0).Kind, rkTrack);
  EXPECT_EQ(tall.rec(0).Size, 30);
  EXPECT_EQ(Points(tall.rec(0)), (std::vector<int32_t>{0, -25, 0, 25}));

  GerberRead wide = FlashDefinition("%ADD10O,0.080X0.030*%");
  ASSERT_EQ(wide.count(), 1);
  EXPECT_EQ(wide.rec(0).Size, 30);
  EXPECT_EQ(Points(wide.rec(0)), (std::vector<int32_t>{-25, 0, 25, 0}));

  // A third modifier is the hole: a clear disc painted through the pad after it.
  GerberRead holed = FlashDefinition("%ADD10O,0.030X0.080X0.010*%");
  ASSERT_EQ(holed.count(), 2);
  EXPECT_EQ(holed.rec(0).Size, 30);
  EXPECT_EQ(holed.rec(0).Flags, 0);
  EXPECT_EQ(Points(holed.rec(0)), (std::vector<int32_t>{0, -25, 0, 25}));
  EXPECT_EQ(holed.rec(1).Kind, rkCircle);
  EXPECT_EQ(holed.rec(1).Size, 10);
  EXPECT_EQ(holed.rec(1).Flags, rfClear);
}

TEST(GerberApertures, ObroundWithOneModifierHasNoLeftoverValues) {
  // The first file leaves an obround with offsets in slot 2; the second file's
  // one-modifier obround in the same slot gets offsets 0: a disc of its size.
  GerberRead first = FlashDefinition("%ADD10O,0.030X0.080*%");
  ASSERT_EQ(first.count(), 1);
  GerberRead second = FlashDefinition("%ADD10O,0.050*%");
  const TAperture& o = ApertureSlot(2);
  EXPECT_EQ(o.Kind, 'O');
  EXPECT_EQ(o.Size, 50);
  EXPECT_EQ(o.A, 0);
  EXPECT_EQ(o.B, 0);
  EXPECT_EQ(o.C, 0);
  EXPECT_EQ(o.D, 0);
  ASSERT_EQ(second.count(), 1);
  EXPECT_EQ(second.rec(0).Kind, rkCircle);
  EXPECT_EQ(second.rec(0).Size, 50);
}

TEST(GerberApertures, StandardPolygon) {
  // 0.100 inch, 6 vertices, turned by 15 degrees: a hexagon of radius 50.
  GerberRead hex = FlashDefinition("%ADD10P,0.100X6X15*%");
  const TAperture& p = ApertureOfDCode(10);
  EXPECT_EQ(p.Kind, 'P');
  EXPECT_EQ(p.B, 1);
  EXPECT_EQ(p.A, 0);
  ASSERT_EQ(hex.count(), 1);
  const TID_DrawRecord& r = hex.rec(0);
  EXPECT_EQ(r.Kind, rkPolygon);
  EXPECT_EQ(At(r), (TPoint{1000, 2000}));
  ASSERT_EQ(r.Count, 12);  // not closed by repeating the first vertex
  std::vector<int32_t> pts = Points(r);
  EXPECT_EQ(pts[0], 48);
  EXPECT_EQ(pts[1], 13);
  EXPECT_EQ(pts[2], 13);
  EXPECT_EQ(pts[3], 48);
  EXPECT_EQ(r.MaxDX, 48);
  EXPECT_EQ(r.MaxDY, 48);
  EXPECT_EQ(hex.image.MaxX, 1048);

  // Two vertices: no record, value B 0, the flash draws nothing.
  GerberRead two = FlashDefinition("%ADD10P,0.100X2*%");
  EXPECT_TRUE(two.accepted);
  EXPECT_EQ(ApertureOfDCode(10).B, 0);
  EXPECT_EQ(two.count(), 0);

  // Two polygon apertures keep their own records.
  GerberRead both = ReadGerberText(std::string(kInchHeader) +
                                   "%ADD10P,0.100X3*%%ADD11P,0.200X4*%D11*X0Y0D03*D10*X0Y0D03*");
  ASSERT_EQ(both.count(), 2);
  EXPECT_EQ(both.rec(0).Count, 8);
  EXPECT_EQ(both.rec(1).Count, 6);
  EXPECT_EQ(ApertureOfDCode(11).A, 1);

  // An absurd vertex count is drawn with at most 1000 vertices.
  GerberRead many = FlashDefinition("%ADD10P,0.100X50000*%");
  ASSERT_EQ(many.count(), 1);
  EXPECT_EQ(many.rec(0).Count, 2000);
}

TEST(GerberApertures, DCodeRangeAndSlots) {
  GerberRead r = ReadGerberText(std::string(kInchHeader) +
                                "%ADD9C,0.01*%%ADD10C,0.02*%%ADD4000C,0.03*%%ADD4001C,0.04*%"
                                "%ADD010C,0.05*%D10*X0Y0D03*%ADD11C,0.06*%");
  EXPECT_TRUE(r.accepted);
  EXPECT_EQ(DCodeSlot(9), 1);
  EXPECT_EQ(DCodeSlot(4000), 3);
  // D010 redefines D10: it points at the next slot.
  EXPECT_EQ(DCodeSlot(10), 4);
  // Neither D9 nor D4001 took a slot.
  EXPECT_EQ(DCodeSlot(11), 5);
  ASSERT_EQ(r.count(), 1);
  EXPECT_EQ(r.rec(0).Size, 50);
  EXPECT_EQ(ApertureSlot(1).Kind, 'E');
  EXPECT_EQ(ApertureSlot(1).Size, 40);
}

TEST(GerberApertures, FullTableReusesTheLastSlot) {
  std::string defs;
  for (int d = 10; d < 2110; ++d)
    defs += "%ADD" + std::to_string(d) + "C,0." + std::to_string(d) + "*%";
  GerberRead r = ReadGerberText(std::string(kInchHeader) + defs +
                                "D2007*X0Y0D03*D2109*X0Y0D03*%ADD3000C,0.5*%");
  EXPECT_EQ(DCodeSlot(2007), 1999);
  EXPECT_EQ(DCodeSlot(2008), 2000);
  EXPECT_EQ(DCodeSlot(2109), 2000);
  EXPECT_EQ(DCodeSlot(3000), 2000);
  ASSERT_EQ(r.count(), 2);
  EXPECT_EQ(r.rec(0).Size, 201);  // 0.2007 inch
  EXPECT_EQ(r.rec(1).Size, 211);  // 0.2109 inch

  // An unknown macro name written into the reused slot leaves it undefined, not the
  // circle defined there before.
  GerberRead again =
      ReadGerberText(std::string(kInchHeader) + defs + "%ADD3000NOSUCH*%D3000*X0Y0D03*");
  EXPECT_EQ(ApertureSlot(2000).Kind, 'E');
  EXPECT_EQ(ApertureSlot(2000).Size, 40);
  ASSERT_EQ(again.count(), 1);
  EXPECT_EQ(again.rec(0).Size, 40);
}

// The macro variable $i as the macro code reads it.
double Variable(int i) {
  return EvaluateExpression("$" + std::to_string(i));
}

TEST(GerberApertures, ModifierParsing) {
  EXPECT_EQ(ParseModifiers("0.010X0.020*"), 2);
  EXPECT_DOUBLE_EQ(Variable(1), 0.010);
  EXPECT_DOUBLE_EQ(Variable(2), 0.020);
  EXPECT_DOUBLE_EQ(Variable(3), 0.0);
  // Lower-case separators, junk pieces skipped, negative values kept.
  EXPECT_EQ(ParseModifiers("1x junkX-2.5XX*"), 2);
  EXPECT_DOUBLE_EQ(Variable(1), 1.0);
  EXPECT_DOUBLE_EQ(Variable(2), -2.5);
  // More than 100 values: the last overwrites value 100.
  std::string many;
  for (int i = 1; i <= 105; ++i) many += std::to_string(i) + "X";
  EXPECT_EQ(ParseModifiers(many), 100);
  EXPECT_DOUBLE_EQ(Variable(99), 99.0);
  EXPECT_DOUBLE_EQ(Variable(100), 105.0);
  EXPECT_EQ(ParseModifiers("*"), 0);
}

TEST(GerberMacros, ExpressionsWithPrecedence) {
  ResetReaderTables();
  std::string values = "3X";
  for (int i = 2; i < 100; ++i) values += "0X";
  ASSERT_EQ(ParseModifiers(values + "7"), 100);  // $1 = 3, $100 = 7
  EXPECT_DOUBLE_EQ(EvaluateExpression("$1X2+1"), 7.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("1+$1X2"), 7.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("-$1"), -3.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("10/4"), 2.5);
  EXPECT_DOUBLE_EQ(EvaluateExpression("1-2-3"), -4.0);
  // Division by zero, $0 and an unknown operand count as 0.
  EXPECT_DOUBLE_EQ(EvaluateExpression("$1/0"), 0.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("$1/0+5"), 5.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("$0+2"), 2.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("$+2"), 2.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("abc+1"), 1.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("2x3"), 6.0);    // the format's multiplication sign
  EXPECT_DOUBLE_EQ(EvaluateExpression("1+2x3"), 7.0);  // products first
  EXPECT_DOUBLE_EQ(EvaluateExpression("(1+2)x-3"), -9.0);
  EXPECT_DOUBLE_EQ(EvaluateExpression("1.8+1X0+0.1"), 1.9);
  EXPECT_DOUBLE_EQ(EvaluateExpression(""), 0.0);
  // Variables above 100 read $100.
  EXPECT_DOUBLE_EQ(EvaluateExpression("$250"), 7.0);
  // A result beyond the double range refuses the file.
  std::string huge = "1";
  for (int i = 0; i < 40; ++i) huge += "X100000000000";
  EXPECT_THROW(EvaluateExpression(huge), ERangeError);
}

TEST(GerberMacros, FieldAssignments) {
  ResetReaderTables();
  InstantiateMacro(ReaderState(), "$5=7*$200=4*6=2+1*$0=9*$-1=9");
  EXPECT_DOUBLE_EQ(Variable(5), 7.0);
  EXPECT_DOUBLE_EQ(Variable(100), 4.0);
  EXPECT_DOUBLE_EQ(Variable(6), 3.0);  // no '$': the text before '=' is the target
  EXPECT_DOUBLE_EQ(Variable(1), 0.0);
  EXPECT_EQ(MacroShapes().Count, 0);
  // Parameters of a primitive are collected in order: a circle needs all four.
  InstantiateMacro(ReaderState(), "1,1,2,$5X2");
  EXPECT_EQ(MacroShapes().Count, 0);
  InstantiateMacro(ReaderState(), "1,1,2,$5X2,$5");
  ASSERT_EQ(MacroShapes().Count, 1);
  EXPECT_EQ(MacroShapes().Records[0].Size, 2000);
  EXPECT_EQ(At(MacroShapes().Records[0]), (TPoint{14000, 7000}));
}

TEST(GerberMacros, AssignmentThenCircle) {
  // $3 := $1 x 2, then a circle of diameter $3: with $1 = 0.05 inch, a circle of 100.
  GerberRead r = FlashMacro("$3=$1X2*1,1,$3,0,0", ",0.05");
  ASSERT_EQ(r.count(), 1);
  EXPECT_EQ(r.rec(0).Kind, rkCircle);
  EXPECT_EQ(r.rec(0).Size, 100);
  EXPECT_EQ(ApertureOfDCode(10).Kind, 'M');
  EXPECT_EQ(ApertureOfDCode(10).B, 1);

  // A macro aperture without modifiers takes the values the previous definition left.
  GerberRead left = ReadGerberText(std::string(kInchHeader) +
                                   "%AMDOT*1,1,$1,0,0*%%ADD10C,0.030*%%ADD11DOT*%D11*X0Y0D03*");
  ASSERT_EQ(left.count(), 1);
  EXPECT_EQ(left.rec(0).Size, 30);

  // Circles keep their offset from the flash point; outlines are placed at it.
  GerberRead placed = ReadGerberText(std::string(kInchHeader) +
                                     "%AMTWO*1,1,0.02,0.1,0.2*21,1,0.04,0.02,0,0,0*%"
                                     "%ADD10TWO*%D10*X1000Y2000D03*X3000Y0D03*");
  ASSERT_EQ(placed.count(), 4);
  EXPECT_EQ(At(placed.rec(0)), (TPoint{1100, 2200}));
  EXPECT_EQ(At(placed.rec(1)), (TPoint{1000, 2000}));
  EXPECT_EQ(At(placed.rec(2)), (TPoint{3100, 200}));
  EXPECT_EQ(placed.rec(3).X, 3000);
  EXPECT_EQ(placed.image.MaxX, 3110);
  // The stored shapes stay at their own positions.
  EXPECT_EQ(MacroShapes().Records[0].X, 100);
  EXPECT_EQ(MacroShapes().Records[1].X, 0);
}

TEST(GerberMacros, Primitives) {
  struct Case {
    const char* body;
    std::vector<int32_t> points;
  };
  const Case cases[] = {
      // Vector line: width across the line, here vertically.
      {"20,1,0.1,0,0,1,0,0", {0, -50, 0, 50, 1000, 50, 1000, -50, 0, -50}},
      {"2,1,0.1,0,0,1,0,90", {50, 0, -50, 0, -50, 1000, 50, 1000, 50, 0}},
      // Centre line, and turned by 90 degrees.
      {"21,1,0.4,0.2,0,0,0", {-200, -100, -200, 100, 200, 100, 200, -100, -200, -100}},
      {"21,1,0.4,0.2,0,0,90", {100, -200, -100, -200, -100, 200, 100, 200, 100, -200}},
      // Lower-left line.
      {"22,1,0.4,0.2,0.1,0.1,0", {100, 100, 100, 300, 500, 300, 500, 100, 100, 100}},
      // Outline of three vertices plus the closing one.
      {"4,1,3,0,0,0.5,0,0.5,0.5,0,0,0", {0, 0, 500, 0, 500, 500, 0, 0}},
      // Regular polygon, closed.
      {"5,1,4,0,0,1,0", {500, 0, 0, 500, -500, 0, 0, -500, 500, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.body);
    GerberRead r = FlashMacro(c.body);
    ASSERT_EQ(r.count(), 1);
    EXPECT_EQ(r.rec(0).Kind, rkPolygon);
    EXPECT_EQ(r.rec(0).Size, 0);
    EXPECT_EQ(Points(r.rec(0)), c.points);
  }

  // Exposure off: the same shape, clear.
  GerberRead off = FlashMacro("21,0,0.4,0.2,0,0,0");
  ASSERT_EQ(off.count(), 1);
  EXPECT_EQ(off.rec(0).Flags, rfClear);
  EXPECT_EQ(Points(off.rec(0)), cases[2].points);

  // A moire of two rings and its cross hair: a full-circle ring stroked 0.1 wide, the
  // inner ring, then two bars.
  GerberRead moire = FlashMacro("6,0,0,1.0,0.1,0.2,2,0.01,1,0");
  ASSERT_EQ(moire.count(), 4);
  EXPECT_EQ(moire.rec(0).Kind, rkArc);
  EXPECT_EQ(moire.rec(0).Size, 100);
  EXPECT_EQ(Points(moire.rec(0)), (std::vector<int32_t>{450, 0, 450, 0}));
  EXPECT_EQ(Points(moire.rec(1)), (std::vector<int32_t>{150, 0, 150, 0}));
  EXPECT_EQ(moire.rec(2).Kind, rkPolygon);

  // A thermal: four quarter pieces of the ring, none reaching into the gaps, every
  // vertex between the two radii.
  GerberRead thermal = FlashMacro("7,0,0,1.0,0.6,0.1,45");
  ASSERT_EQ(thermal.count(), 4);
  for (int k = 0; k < 4; ++k) {
    const TID_DrawRecord& q = thermal.rec(k);
    EXPECT_EQ(q.Kind, rkPolygon);
    for (int32_t i = 0; i + 1 < q.Count; i += 2) {
      const double x = q.X + q.Points[i], y = q.Y + q.Points[i + 1];
      const double r = std::hypot(x, y);
      EXPECT_GE(r, 299.0);
      EXPECT_LE(r, 501.0);
      // Turned by 45 degrees, the gaps run along the diagonals.
      EXPECT_GE(std::fabs(x - y) / std::sqrt(2.0), 49.0);
      EXPECT_GE(std::fabs(x + y) / std::sqrt(2.0), 49.0);
    }
  }

  // Nothing: too few parameters, polygons outside 3..12 vertices, an outline with fewer
  // coordinates than vertices, unknown codes, comments.
  const char* nothing[] = {
      "1,1,0.1,0",        "5,1,13,0,0,1,0",        "5,1,2,0,0,1,0", "4,1,60,0,0,1,1,0",
      "33,1,2,3,4,5,6,7", "0 comment, with comma", "0,1,0.1,0,0",   "1,",
  };
  for (const char* body : nothing) {
    SCOPED_TRACE(body);
    GerberRead r = FlashMacro(body);
    EXPECT_TRUE(r.accepted);
    EXPECT_EQ(r.count(), 0);
  }
}

TEST(GerberMacros, VectorLineKeepsItsWidthInEveryDirection) {
  // A vertical line 0.1 wide covers 0.1 across, not a sliver of no width.
  GerberRead vertical = FlashMacro("20,1,0.1,0,0,0,1,0");
  ASSERT_EQ(vertical.count(), 1);
  const TID_DrawRecord& v = vertical.rec(0);
  EXPECT_EQ(v.MinDX, -50);
  EXPECT_EQ(v.MaxDX, 50);
  EXPECT_EQ(v.MinDY, 0);
  EXPECT_EQ(v.MaxDY, 1000);

  // A diagonal line: its corners lie 50 units from the ends, across the line.
  GerberRead diagonal = FlashMacro("20,1,0.1,0,0,1,1,0");
  ASSERT_EQ(diagonal.count(), 1);
  std::vector<int32_t> p = Points(diagonal.rec(0));
  ASSERT_EQ(p.size(), 10u);
  EXPECT_EQ(p[0], 35);  // (0, 0) - 50 * (-0.707, 0.707)
  EXPECT_EQ(p[1], -35);
  EXPECT_EQ(p[2], -35);
  EXPECT_EQ(p[3], 35);
}

TEST(GerberMacros, TableRules) {
  // Lookups find the earliest definition of a name; names compare exactly.
  GerberRead twice = ReadGerberText(std::string(kInchHeader) +
                                    "%AMSAME*1,1,0.01,0,0*%%AMSAME*1,1,0.02,0,0*%%ADD10SAME*%"
                                    "%ADD11same*%D10*X0Y0D03*D11*X0Y0D03*");
  ASSERT_EQ(twice.count(), 2);
  EXPECT_EQ(twice.rec(0).Size, 10);
  EXPECT_EQ(twice.rec(1).Size, 40);  // "same" is not "SAME": undefined

  // A macro without a body or without a name is not stored; an empty aperture name
  // never matches a free macro entry.
  GerberRead empty = ReadGerberText(std::string(kInchHeader) +
                                    "%AMNAME*%%AM*1,1,0.01,0,0*%%ADD10*%%ADD11NAME*%D10*X0Y0D03*");
  EXPECT_EQ(ApertureOfDCode(10).Kind, 'E');
  EXPECT_EQ(ApertureOfDCode(11).Kind, 'E');
  ASSERT_EQ(empty.count(), 1);
  EXPECT_EQ(empty.rec(0).Size, 40);

  // All 500 entries taken, the second SAME holding one and the macros without a body or
  // a name none: entry 500 is overwritten by M501, then by M502.
  std::string defs = "%AMNAME*%%AM*1,1,0.01,0,0*%%AMSAME*1,1,0.01,0,0*%%AMSAME*1,1,0.02,0,0*%";
  for (int i = 3; i <= 502; ++i) defs += "%AMM" + std::to_string(i) + "*1,1,0.03,0,0*%";
  GerberRead full = ReadGerberText(std::string(kInchHeader) + defs +
                                   "%ADD10M499*%%ADD11M500*%%ADD12M501*%%ADD13M502*%");
  EXPECT_EQ(ApertureOfDCode(10).Kind, 'M');
  EXPECT_EQ(ApertureOfDCode(11).Kind, 'E');
  EXPECT_EQ(ApertureOfDCode(12).Kind, 'E');
  EXPECT_EQ(ApertureOfDCode(13).Kind, 'M');
  // M502's body: one circle of 0.03 inch.
  ASSERT_EQ(ApertureOfDCode(13).B, 1);
  EXPECT_EQ(MacroShapes().Records[static_cast<size_t>(ApertureOfDCode(13).A)].Size, 30);
}

TEST(GerberTables, ResetClearsEverything) {
  ReadGerberText(std::string(kInchHeader) + "%AMDOT*1,1,$1,0,0*%%ADD10DOT,0.05*%%ADD11C,0.01*%");
  EXPECT_EQ(DCodeSlot(10), 2);
  EXPECT_EQ(MacroShapes().Count, 1);
  EXPECT_DOUBLE_EQ(Variable(1), 0.01);
  ResetReaderTables();
  EXPECT_EQ(DCodeSlot(10), 1);
  EXPECT_EQ(DCodeSlot(11), 1);
  EXPECT_EQ(ApertureSlot(2).Kind, 'E');
  EXPECT_EQ(ApertureSlot(2).Size, 40);
  EXPECT_EQ(MacroShapes().Count, 0);
  // A macro or polygon defined without modifiers in the next file cannot see this
  // file's values.
  EXPECT_DOUBLE_EQ(Variable(1), 0.0);
  // The next file, read on the tables as the reset left them: DOT is forgotten, the first
  // definition takes slot 2 again, and $1 is 0.
  GerberRead next = ReadGerberText(
      std::string(kInchHeader) + "%ADD10DOT*%%AMDOT2*1,1,$1,0,0*%%ADD11DOT2*%D11*X0Y0D03*",
      Tables::Keep);
  EXPECT_EQ(DCodeSlot(10), 2);
  EXPECT_EQ(ApertureOfDCode(10).Kind, 'E');
  ASSERT_EQ(next.count(), 1);
  EXPECT_EQ(next.rec(0).Size, 0);
}

TEST(GerberRotation, MilliDegrees) {
  EXPECT_EQ(RotateMilliDegrees({1000, 0}, 90000), (TPoint{0, 1000}));
  EXPECT_EQ(RotateMilliDegrees({1000, 0}, 45000), (TPoint{707, 707}));
  EXPECT_EQ(RotateMilliDegrees({1000, 0}, 90000), (TPoint{0, 1000}));  // cached angle
  EXPECT_EQ(RotateMilliDegrees({0, 1000}, 90000), (TPoint{-1000, 0}));
  EXPECT_EQ(RotateMilliDegrees({1000, 0}, 180000), (TPoint{-1000, 0}));
  EXPECT_EQ(RotateMilliDegrees({1000, 500}, -90000), (TPoint{500, -1000}));
  ResetReaderTables();
  EXPECT_EQ(RotateMilliDegrees({1000, 0}, 0), (TPoint{1000, 0}));
  EXPECT_EQ(RotateMilliDegrees({1000, 0}, 30000), (TPoint{866, 500}));
}

TEST(GerberApertures, HugeValuesRaise) {
  TempDir dir;
  TID_DrawFileFormat image;
  const char* files[] = {
      "%ADD10R,0.01X99999999999*%",                                 // second modifier
      "%ADD10P,99999999999X4*%",                                    // polygon diameter
      "%AMBIG*1,1,99999999,0,0*%%ADD10BIG*%",                       // macro coordinate
      "%AMBIG*1,1,0.1,0,0,0*5,1,4,0,0,99999999999,0*%%ADD10BIG*%",  // polygon diameter
  };
  for (const char* defs : files) {
    SCOPED_TRACE(defs);
    WriteFile(dir / "h.gbr", std::string(kInchHeader) + defs + "D10*X0Y0D03*");
    ResetReaderTables();
    EXPECT_ANY_THROW(ReadGerberFile((dir / "h.gbr").string(), image, kDefaultGerberFormat));
  }
}
