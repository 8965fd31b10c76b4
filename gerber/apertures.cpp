// The aperture table, the D-code map and aperture macros: AD and AM statements, the
// standard polygon, macro instantiation into the MacroShapes image, and rotation.
#include <algorithm>
#include <cmath>
#include <memory>

#include "gerber/reader.h"
#include "gerber/reader_internal.h"
#include "gerber/text_chars.h"
#include "platform/checked.h"
#include "platform/errors.h"

namespace pv {

namespace {

// Process-wide tables, index 0 unused so that slots, D codes and variables keep the
// numbers the file gives them.
TAperture ApertureTable[kApertureSlots + 1];
int32_t DCodeMap[kDCodes + 1];
TAMacro MacroTable[kMacros + 1];
double ModifierValues[kModifiers + 1];
int32_t ModifierValuesCount = 0;
double PrimitiveParams[kPrimitiveParams + 1];
int32_t PrimitiveParamsCount = 0;
int32_t NextSlot = 2;
TID_DrawFileFormat PolygonShapesImage;
TID_DrawFileFormat MacroShapesImage;
TID_DrawFileFormat BlockShapesImage;
// One per nesting depth; held by pointer so that an open block's image never moves.
std::vector<std::unique_ptr<TID_DrawFileFormat>> BlockWorkImages;

// The rotation keeps the sine and cosine of the last angle it was given: the points of
// one polygon share an angle.
struct RotationCache {
  int32_t Angle = 0;
  double Sin = 0.0;
  double Cos = 1.0;
};
RotationCache MilliDegreeCache;

constexpr double kPi = 3.14159265358979323846;

// A regular polygon aperture with more vertices than this is drawn with this many: the
// outline is then indistinguishable from a circle, and one short statement cannot ask
// for millions of points.
constexpr int32_t kMaxPolygonVertices = 1000;

void AppendParam(double v) {
  if (PrimitiveParamsCount < kPrimitiveParams) ++PrimitiveParamsCount;
  PrimitiveParams[PrimitiveParamsCount] = v;
}

// Drops the stored shapes of a polygon or macro aperture when they are the last ones of
// their image.
void ReleaseShapes(const TAperture& a) {
  TID_DrawFileFormat* shapes = a.Kind == 'M'   ? &MacroShapesImage
                               : a.Kind == 'P' ? &PolygonShapesImage
                               : a.Kind == 'B' ? &BlockShapesImage
                                               : nullptr;
  if (shapes && a.A >= 0 && a.B > 0 && static_cast<int64_t>(a.A) + a.B == shapes->Count)
    shapes->Count = a.A;
}

// D code d now selects the next free slot, emptied. A slot starts undefined with no
// offsets of its own: slot 2000 is reused once the table is full, and nothing of an
// earlier definition may show through. Its earlier shapes are given back when they are
// the newest, so that definitions beyond the table's capacity do not pile up shapes no
// D code can flash any more.
TAperture& NewSlot(ReaderState& st, int32_t dcode) {
  st.ApertureSeen = true;
  DCodeMap[dcode] = NextSlot;
  TAperture& slot = ApertureTable[NextSlot];
  ReleaseShapes(slot);
  slot = TAperture();
  if (NextSlot < kApertureSlots) ++NextSlot;
  return slot;
}

double P(int32_t i) {
  return PrimitiveParams[i];
}

// Rounds every point of a primitive to image units, turns it about the macro's origin and
// adds the outline.
class PrimitiveOutline {
 public:
  explicit PrimitiveOutline(double factor) : f_(factor) { Points().clear(); }
  void Add(double x, double y) { Points().push_back({x, y}); }
  void Finish(double rotation) {
    double c, s;
    CosSinDegrees(rotation, c, s);
    std::vector<TPoint>& out = Rounded();
    out.clear();
    for (const auto& [x, y] : Points())
      out.push_back(TPoint{RoundCoord((x * c - y * s) * f_), RoundCoord((y * c + x * s) * f_)});
    AddPolygon(MacroShapesImage, 0, 0, 0, out);
  }

 private:
  static std::vector<std::pair<double, double>>& Points() {
    static std::vector<std::pair<double, double>> points;
    return points;
  }
  static std::vector<TPoint>& Rounded() {
    static std::vector<TPoint> points;
    return points;
  }
  double f_;
};

// A circle of diameter d at (x, y) turned about the origin.
void PrimitiveCircle(double f, double d, double x, double y, double rotation) {
  double c, s;
  CosSinDegrees(rotation, c, s);
  AddCircle(MacroShapesImage, RoundCoord((x * c - y * s) * f), RoundCoord((y * c + x * s) * f),
            RoundCoord(d * f));
}

// A ring of outer diameter d and width w at (x, y): the full circle of its middle line,
// stroked w wide.
void PrimitiveRing(double f, double d, double w, double x, double y, double rotation) {
  double c, s;
  CosSinDegrees(rotation, c, s);
  const int32_t r = RoundCoord((d - w) / 2.0 * f);
  AddArc(MacroShapesImage, RoundCoord(w * f), RoundCoord((x * c - y * s) * f),
         RoundCoord((y * c + x * s) * f), r, 0, r, 0);
}

// A rectangle w by h centred on (x, y), turned about the origin.
void PrimitiveCentredRectangle(double f, double w, double h, double x, double y, double rotation) {
  PrimitiveOutline o(f);
  o.Add(x - w / 2.0, y - h / 2.0);
  o.Add(x - w / 2.0, y + h / 2.0);
  o.Add(x + w / 2.0, y + h / 2.0);
  o.Add(x + w / 2.0, y - h / 2.0);
  o.Add(x - w / 2.0, y - h / 2.0);
  o.Finish(rotation);
}

// A thermal: the ring between the two diameters with two gaps of width g across it, as
// four quarter pieces.
void PrimitiveThermal(double f, double x, double y, double outer, double inner, double g,
                      double rotation) {
  const double ro = outer / 2.0, ri = std::max(inner / 2.0, 0.0), h = g / 2.0;
  if (!(ro > 0.0) || ri >= ro || h < 0.0 || ro * ro <= 2.0 * h * h) return;
  const double ao0 = std::asin(h / ro), ao1 = kPi / 2.0 - ao0;
  for (int q = 0; q < 4; ++q) {
    const double turn = q * kPi / 2.0;
    PrimitiveOutline o(f);
    const double sx = std::sqrt(ro * ro - h * h);
    // Outer arc from the first gap to the second, then back along the inner circle or to
    // the corner the gaps leave.
    auto add = [&](double px, double py) {
      o.Add(x + px * std::cos(turn) - py * std::sin(turn),
            y + py * std::cos(turn) + px * std::sin(turn));
    };
    add(sx, h);
    const double tolerance = 0.25 / f;
    double step = ro > tolerance ? 2.0 * std::acos(1.0 - tolerance / ro) : kPi / 8.0;
    step = std::clamp(step, 2.0 * kPi / 1024.0, kPi / 8.0);
    int32_t n = std::max(1, static_cast<int32_t>(std::ceil((ao1 - ao0) / step)));
    for (int32_t k = 1; k <= n; ++k) {
      const double t = ao0 + (ao1 - ao0) * k / n;
      add(ro * std::cos(t), ro * std::sin(t));
    }
    if (ri * ri > 2.0 * h * h) {
      const double ai0 = std::asin(h / ri), ai1 = kPi / 2.0 - ai0;
      n = std::max(1, static_cast<int32_t>(std::ceil((ai1 - ai0) / step)));
      for (int32_t k = 0; k <= n; ++k) {
        const double t = ai1 - (ai1 - ai0) * k / n;
        add(ri * std::cos(t), ri * std::sin(t));
      }
    } else {
      add(h, h);
    }
    add(sx, h);
    o.Finish(rotation);
  }
}

// A moire: rings growing inwards and a cross hair, always dark.
void PrimitiveMoire(double f, double x, double y, double outer, double width, double gap,
                    double maxRings, double hairWidth, double hairLength, double rotation) {
  double d = outer;
  const int32_t rings = static_cast<int32_t>(std::clamp(maxRings, 0.0, 10000.0));
  for (int32_t k = 0; k < rings && d > 0.0 && width > 0.0; ++k) {
    if (d <= 2.0 * width)
      PrimitiveCircle(f, d, x, y, rotation);
    else
      PrimitiveRing(f, d, width, x, y, rotation);
    d -= 2.0 * (width + gap);
  }
  if (hairWidth > 0.0 && hairLength > 0.0) {
    PrimitiveCentredRectangle(f, hairLength, hairWidth, x, y, rotation);
    PrimitiveCentredRectangle(f, hairWidth, hairLength, x, y, rotation);
  }
}

void DrawPrimitive(const ReaderState& st, int32_t code) {
  const double f = st.FileUnitFactor;
  const int32_t n = PrimitiveParamsCount;
  // Exposure off: the primitive clears what the macro drew before it.
  MacroShapesImage.AddFlags = P(1) == 0.0 ? rfClear : 0;
  auto rotationAt = [&](int32_t i) { return n >= i ? P(i) : 0.0; };
  switch (code) {
    case 1:
      if (n < 4) return;
      PrimitiveCircle(f, P(2), P(3), P(4), rotationAt(5));
      return;
    case 2:
    case 20: {
      if (n < 7) return;
      // The width is laid across the line, whatever its direction.
      double sx = P(3), sy = P(4), ex = P(5), ey = P(6), h = P(2) / 2.0;
      double dx = ex - sx, dy = ey - sy, len = std::hypot(dx, dy);
      double nx = 0.0, ny = 1.0;
      if (len > 0.0 && std::isfinite(len)) {
        nx = -dy / len, ny = dx / len;
        if (ny < 0.0) nx = -nx, ny = -ny;
      }
      PrimitiveOutline o(f);
      o.Add(sx - nx * h, sy - ny * h);
      o.Add(sx + nx * h, sy + ny * h);
      o.Add(ex + nx * h, ey + ny * h);
      o.Add(ex - nx * h, ey - ny * h);
      o.Add(sx - nx * h, sy - ny * h);
      o.Finish(P(7));
      return;
    }
    case 21:
      if (n < 6) return;
      PrimitiveCentredRectangle(f, P(2), P(3), P(4), P(5), P(6));
      return;
    case 22: {
      if (n < 6) return;
      double w = P(2), h = P(3), x = P(4), y = P(5);
      PrimitiveOutline o(f);
      o.Add(x, y);
      o.Add(x, y + h);
      o.Add(x + w, y + h);
      o.Add(x + w, y);
      o.Add(x, y);
      o.Finish(P(6));
      return;
    }
    case 4: {
      if (n < 2) return;
      const double vertices = P(2);
      if (!(vertices >= 1.0 && vertices <= kMaxOutlineVertices)) return;
      const int32_t m = RoundCoord(vertices);
      if (n < 2 * m + 4) return;
      PrimitiveOutline o(f);
      for (int32_t i = 0; i <= m; ++i) o.Add(P(2 * i + 3), P(2 * i + 4));
      o.Finish(rotationAt(2 * m + 5));
      return;
    }
    case 5: {
      if (n < 5) return;
      int32_t vertices = RoundCoord(P(2));
      if (vertices < 3 || vertices > 12) return;
      double cx = P(3), cy = P(4), r = P(5) / 2.0;
      PrimitiveOutline o(f);
      for (int32_t i = 0; i < vertices; ++i) {
        double a = 2.0 * kPi * i / vertices;
        o.Add(cx + std::cos(a) * r, cy + std::sin(a) * r);
      }
      o.Add(cx + r, cy);  // back to the first vertex (angle 0)
      o.Finish(rotationAt(6));
      return;
    }
    case 6:
      // No exposure: the parameters start with the centre.
      MacroShapesImage.AddFlags = 0;
      if (n < 8) return;
      PrimitiveMoire(f, P(1), P(2), P(3), P(4), P(5), P(6), P(7), P(8), rotationAt(9));
      return;
    case 7:
      MacroShapesImage.AddFlags = 0;
      if (n < 5) return;
      PrimitiveThermal(f, P(1), P(2), P(3), P(4), P(5), rotationAt(6));
      return;
    default:
      return;  // unknown codes add nothing
  }
}

double OperandValue(std::string_view operand) {
  if (!operand.empty() && operand[0] == '$') {
    std::string_view digits = operand.substr(1);
    if (!IsIntegerText(digits)) return 0.0;
    int32_t v = IntegerValue(digits);
    if (v < 1) return 0.0;  // $0 and negative variables have no value
    return ModifierValues[v > kModifiers ? kModifiers : v];
  }
  if (IsDecimalNumber(operand)) return DecimalValue(operand);
  return 0.0;
}

}  // namespace

void CosSinDegrees(double degrees, double& c, double& s) {
  if (!std::isfinite(degrees)) degrees = 0.0;
  degrees = std::fmod(degrees, 360.0);
  if (degrees < 0.0) degrees += 360.0;
  if (degrees == 0.0 || degrees == 90.0 || degrees == 180.0 || degrees == 270.0) {
    const int k = static_cast<int>(degrees / 90.0);
    c = k == 0 ? 1.0 : k == 2 ? -1.0 : 0.0;
    s = k == 1 ? 1.0 : k == 3 ? -1.0 : 0.0;
    return;
  }
  const double a = degrees * kPi / 180.0;
  c = std::cos(a);
  s = std::sin(a);
}

// ---------------------------------------------------------------------------------
// Table access

TAperture& ApertureSlot(int32_t slot) {
  if (slot < 1 || slot > kApertureSlots) ThrowRange();
  return ApertureTable[slot];
}

int32_t& DCodeSlot(int32_t dcode) {
  if (dcode < 1 || dcode > kDCodes) ThrowRange();
  return DCodeMap[dcode];
}

const TAperture& ApertureOfDCode(int32_t dcode) {
  return ApertureSlot(DCodeSlot(dcode));
}

TID_DrawFileFormat& PolygonShapes() {
  return PolygonShapesImage;
}
TID_DrawFileFormat& MacroShapes() {
  return MacroShapesImage;
}
TID_DrawFileFormat& BlockShapes() {
  return BlockShapesImage;
}

TID_DrawFileFormat& BlockWorkImage(int32_t depth) {
  if (depth < 0 || depth >= kMaxBlockDepth) ThrowRange();
  while (BlockWorkImages.size() <= static_cast<size_t>(depth))
    BlockWorkImages.push_back(std::make_unique<TID_DrawFileFormat>());
  TID_DrawFileFormat& image = *BlockWorkImages[static_cast<size_t>(depth)];
  ResetImage(image);
  return image;
}

void ResetBlockShapes() {
  ResetImage(BlockShapesImage);
  for (auto& image : BlockWorkImages) ClearImage(*image);
}

void DefineBlockAperture(ReaderState& st, int32_t dcode, int32_t first, int32_t count) {
  if (dcode < 10 || dcode > kDCodes) return;
  TAperture& slot = NewSlot(st, dcode);
  slot.Kind = 'B';
  slot.A = first;
  slot.B = count;
}

void ResetReaderTables() {
  for (int32_t i = 1; i <= kApertureSlots; ++i) {
    ApertureTable[i].Kind = 'E';
    ApertureTable[i].Size = 40;
  }
  for (int32_t i = 1; i <= kDCodes; ++i) DCodeMap[i] = 1;
  for (int32_t i = 1; i <= kMacros; ++i) {
    MacroTable[i].Name.clear();
    MacroTable[i].Body.clear();
  }
  // The macro variables a definition without modifiers reads must not come from the
  // previous file either.
  for (int32_t i = 0; i <= kModifiers; ++i) ModifierValues[i] = 0.0;
  ModifierValuesCount = 0;
  NextSlot = 2;
  ResetImage(MacroShapesImage);
  ResetBlockShapes();
}

// ---------------------------------------------------------------------------------
// Rotation

TPoint RotateMilliDegrees(TPoint p, int32_t milliDegrees) {
  RotationCache& cache = MilliDegreeCache;
  if (milliDegrees != cache.Angle) {
    double a = static_cast<double>(milliDegrees) * 2.0 * kPi / 360000.0;
    cache.Angle = milliDegrees;
    cache.Sin = std::sin(a);
    cache.Cos = std::cos(a);
  }
  double x = p.X, y = p.Y;
  return TPoint{RoundCoord(x * cache.Cos - y * cache.Sin),
                RoundCoord(y * cache.Cos + x * cache.Sin)};
}

// ---------------------------------------------------------------------------------
// Aperture definitions

int32_t ParseModifiers(std::string_view text) {
  while (!text.empty() && static_cast<unsigned char>(text.front()) <= 32) text.remove_prefix(1);
  while (!text.empty() && static_cast<unsigned char>(text.back()) <= 32) text.remove_suffix(1);
  for (int32_t i = 0; i <= kModifiers; ++i) ModifierValues[i] = 0.0;
  ModifierValuesCount = 0;
  // Pieces are bounded by 'X' (either case: the text is taken in upper case) and '*'.
  size_t start = 0;
  for (size_t i = 0; i <= text.size(); ++i) {
    if (i < text.size() && Upper(text[i]) != 'X' && text[i] != '*') continue;
    std::string_view piece = text.substr(start, i - start);
    if (IsDecimalNumber(piece)) {
      if (ModifierValuesCount < kModifiers) ++ModifierValuesCount;
      ModifierValues[ModifierValuesCount] = DecimalValue(piece);
    }
    start = i + 1;
  }
  return ModifierValuesCount;
}

void BuildStandardPolygon(int32_t diameter, int32_t vertices, int32_t rotation) {
  if (vertices < 3) return;
  if (vertices > kMaxPolygonVertices) vertices = kMaxPolygonVertices;
  int32_t step = 360000 / vertices;
  std::vector<TPoint> points(static_cast<size_t>(vertices));
  TPoint first{diameter / 2, 0};
  for (int32_t i = 0; i < vertices; ++i) {
    TPoint v = RotateMilliDegrees(first, CheckedMul(step, i));
    points[static_cast<size_t>(i)] = RotateMilliDegrees(v, rotation);
  }
  TID_DrawFileFormat& shapes = PolygonShapesImage;
  int32_t before = shapes.Count;
  AddPolygon(shapes, 0, 0, 0, points);
  if (shapes.Count > before) CalcRecordExtent(shapes.Records[static_cast<size_t>(before)]);
}

void ApertureDefinition(ReaderState& st, std::string_view arg) {
  if (arg.empty() || arg[0] != 'D') return;
  size_t k = 1;
  while (k < arg.size() && IsDigit(arg[k])) ++k;
  if (k == 1) return;
  int32_t dcode = IntegerValue(arg.substr(1, k - 1));
  std::string_view rest = arg.substr(k);
  std::string_view name, modifiers;
  size_t comma = rest.find(',');
  bool hasModifiers = comma != std::string_view::npos;
  if (hasModifiers) {
    name = rest.substr(0, comma);
    modifiers = rest.substr(comma + 1);
  } else {
    name = rest.substr(0, rest.find('*'));
  }
  if (dcode < 10 || dcode > kDCodes) return;

  int32_t count = 0, first = 0, second = 0;
  if (hasModifiers) {
    count = ParseModifiers(modifiers);
    if (count == 0) return;
    first = RoundCoord(ModifierValues[1] * st.FileUnitFactor);
    if (count >= 2) second = RoundCoord(ModifierValues[2] * st.FileUnitFactor);
    if (first < 1) first = 1;
  }

  TAperture& slot = NewSlot(st, dcode);

  // The modifiers after the shape's own are its hole: a diameter, or two sides.
  auto hole = [&](int32_t from) {
    if (count >= from && ModifierValues[from] > 0.0) {
      slot.HoleX = RoundCoord(ModifierValues[from] * st.FileUnitFactor);
      if (count > from && ModifierValues[from + 1] > 0.0)
        slot.HoleY = RoundCoord(ModifierValues[from + 1] * st.FileUnitFactor);
    }
  };
  if (name == "C") {
    slot.Kind = 'C';
    slot.Size = first;
    hole(2);
  } else if (name == "R") {
    int32_t x = first, y = count >= 2 ? std::max(second, 1) : first;
    slot.Kind = 'R';
    slot.Size = x;
    // The whole size between the corners, an odd one too: a rectangle of one unit (the
    // pixels of a logo drawn as 0.0006 inch squares) stays one unit wide, not none.
    slot.A = CheckedNeg(x / 2);
    slot.B = CheckedNeg(y / 2);
    slot.C = CheckedSub(x, x / 2);
    slot.D = CheckedSub(y, y / 2);
    hole(3);
  } else if (name == "O") {
    slot.Kind = 'O';
    hole(3);
    if (count == 1) {
      slot.Size = first;  // round ends meet: a disc
    } else if (count >= 2) {
      int32_t x = first, y = second;
      if (x < y) {
        slot.Size = x;
        slot.A = 0;
        slot.B = CheckedSub(x / 2, y / 2);
        slot.C = 0;
        slot.D = CheckedSub(y / 2, x / 2);
      } else {
        slot.Size = y;
        slot.A = CheckedSub(y / 2, x / 2);
        slot.B = 0;
        slot.C = CheckedSub(x / 2, y / 2);
        slot.D = 0;
      }
    }
  } else if (name == "P") {
    slot.Kind = 'P';
    int32_t diameter = RoundCoord(ModifierValues[1] * st.FileUnitFactor);
    int32_t vertices = RoundCoord(ModifierValues[2]);
    int32_t rotation = RoundCoord(ModifierValues[3] * 1000.0);
    int32_t before = PolygonShapesImage.Count;
    BuildStandardPolygon(diameter, vertices, rotation);
    slot.B = PolygonShapesImage.Count > before ? 1 : 0;
    slot.A = PolygonShapesImage.Count - slot.B;
    hole(4);
  } else if (!name.empty()) {
    for (int32_t i = 1; i <= kMacros; ++i) {
      if (MacroTable[i].Name != name) continue;
      slot.Kind = 'M';
      slot.A = MacroShapesImage.Count;
      InstantiateMacro(st, MacroTable[i].Body);
      slot.B = MacroShapesImage.Count - slot.A;
      break;
    }
  }
}

// ---------------------------------------------------------------------------------
// Macros

void MacroDefinition(std::string_view arg) {
  size_t p = arg.find('*');
  if (p == std::string_view::npos || p == 0 || p + 1 >= arg.size()) return;
  int32_t entry = kMacros;
  for (int32_t i = 1; i <= kMacros; ++i) {
    if (MacroTable[i].Name.empty()) {
      entry = i;
      break;
    }
  }
  MacroTable[entry].Name.assign(arg.substr(0, p));
  MacroTable[entry].Body.assign(arg.substr(p + 1));
}

double EvaluateExpression(std::string_view expr) {
  // The format's arithmetic: 'x' (or 'X') and '/' before '+' and '-', left to right within
  // a level, parentheses, a sign before an operand. Worked with two stacks, not recursion,
  // so that any depth of parentheses is safe. A missing operand counts as 0, and so does a
  // division by zero.
  static std::vector<double> values;
  static std::vector<char> ops;  // '+', '-', '*', '/', 'n' (negation), '('
  values.clear();
  ops.clear();
  auto precedence = [](char op) { return op == 'n' ? 3 : (op == '*' || op == '/') ? 2 : 1; };
  auto pop = [&]() -> double {
    if (values.empty()) return 0.0;
    const double v = values.back();
    values.pop_back();
    return v;
  };
  auto apply = [&]() {
    const char op = ops.back();
    ops.pop_back();
    const double b = pop();
    if (op == 'n') {
      values.push_back(-b);
      return;
    }
    const double a = pop();
    switch (op) {
      case '+':
        values.push_back(a + b);
        break;
      case '-':
        values.push_back(a - b);
        break;
      case '*':
        values.push_back(a * b);
        break;
      default:
        values.push_back(b == 0.0 ? 0.0 : a / b);  // division by zero gives 0
        break;
    }
  };
  bool expectOperand = true;
  size_t i = 0;
  while (i < expr.size()) {
    const char c = expr[i];
    if (c == '(') {
      if (!expectOperand) {
        // An operand followed by '(' without an operator: taken as a product.
        while (!ops.empty() && ops.back() != '(' && precedence(ops.back()) >= 2) apply();
        ops.push_back('*');
      }
      ops.push_back('(');
      expectOperand = true;
      ++i;
    } else if (c == ')') {
      if (expectOperand) values.push_back(0.0);
      while (!ops.empty() && ops.back() != '(') apply();
      if (!ops.empty()) ops.pop_back();
      expectOperand = false;
      ++i;
    } else if (c == '+' || c == '-' || c == 'x' || c == 'X' || c == '/') {
      if (expectOperand) {
        if (c == '-')
          ops.push_back('n');
        else if (c != '+')
          values.push_back(0.0), expectOperand = false;  // "/2": 0 / 2
        if (c == '-' || c == '+') {
          ++i;
          continue;
        }
      }
      const char op = (c == 'x' || c == 'X') ? '*' : c;
      while (!ops.empty() && ops.back() != '(' && precedence(ops.back()) >= precedence(op)) apply();
      ops.push_back(op);
      expectOperand = true;
      ++i;
    } else {
      size_t end = expr.find_first_of("+-xX/()", i);
      if (end == std::string_view::npos) end = expr.size();
      const double v = OperandValue(expr.substr(i, end - i));
      if (!expectOperand) pop();  // two operands in a row: the later one stands
      values.push_back(v);
      expectOperand = false;
      i = end;
    }
  }
  if (expectOperand && !ops.empty()) values.push_back(0.0);
  while (!ops.empty()) {
    if (ops.back() == '(')
      ops.pop_back();
    else
      apply();
  }
  const double value = values.empty() ? 0.0 : values.back();
  // A value beyond the double range cannot be drawn: the file is refused.
  if (!std::isfinite(value)) ThrowRange();
  return value;
}

void EvaluateField(std::string_view field) {
  std::string_view expr = field;
  bool hasTarget = false;
  int32_t target = 0;
  size_t eq = field.find('=');
  if (eq != std::string_view::npos) {
    expr = field.substr(eq + 1);
    size_t dollar = field.find('$');
    if (dollar == std::string_view::npos || dollar < eq) {
      size_t from = dollar == std::string_view::npos ? 0 : dollar + 1;
      std::string_view between = field.substr(from, eq - from);
      if (IsIntegerText(between)) {
        hasTarget = true;
        target = IntegerValue(between);
      }
    }
  }
  double v = EvaluateExpression(expr);
  if (!hasTarget) {
    AppendParam(v);
    return;
  }
  if (target < 1) return;  // there is no variable $0 or below to assign
  ModifierValues[target > kModifiers ? kModifiers : target] = v;
}

void InstantiateMacro(const ReaderState& st, std::string_view body) {
  while (!body.empty()) {
    if (body[0] == '*') body.remove_prefix(1);
    size_t star = body.find('*');
    std::string_view statement = body.substr(0, star);
    body = star == std::string_view::npos ? std::string_view() : body.substr(star);
    int32_t code = -1;
    size_t comma = statement.find(',');
    if (comma != std::string_view::npos) {
      std::string_view head = statement.substr(0, comma);
      if (IsIntegerText(head)) code = IntegerValue(head);
      statement.remove_prefix(comma + 1);
      if (code <= 0 || statement.empty()) continue;
    }
    if (MacroShapesImage.Count >= kMaxMacroShapes)
      throw ERangeError("Aperture macros make more shapes than can be held");
    PrimitiveParamsCount = 0;
    size_t start = 0;
    for (;;) {
      size_t end = statement.find(',', start);
      EvaluateField(statement.substr(
          start, end == std::string_view::npos ? std::string_view::npos : end - start));
      if (end == std::string_view::npos) break;
      start = end + 1;
    }
    if (PrimitiveParamsCount > 0) DrawPrimitive(st, code);
  }
  MacroShapesImage.AddFlags = 0;
}

}  // namespace pv
