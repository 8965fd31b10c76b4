// The command interpreter: G codes, D codes and coordinates of each data block against
// the reader state; paths, arcs, regions and flashes become draw records. Also the
// statements that place what follows: polarity, the aperture transformation, step and
// repeat, aperture blocks and the image parameters.
#include <algorithm>
#include <cmath>
#include <span>

#include "gerber/reader_internal.h"
#include "platform/checked.h"
#include "platform/errors.h"

namespace pv {

namespace {

constexpr double kPi = 3.14159265358979323846;
// Region arcs are followed by chords that stay within this many image units of the arc,
// in steps of at most pi/8 and at least 1/1024 of a turn.
constexpr double kArcTolerance = 0.25;
constexpr double kMaxArcStep = kPi / 8.0;
constexpr double kMinArcStep = 2.0 * kPi / 1024.0;

int32_t CheckedAbs(int32_t v) {
  return v < 0 ? CheckedNeg(v) : v;
}

// ---------------------------------------------------------------------------------
// Placing stored shapes

// x' = XX x + XY y, y' = YX x + YY y.
struct TLinear {
  double XX = 1.0, XY = 0.0, YX = 0.0, YY = 1.0;
  bool IsIdentity() const { return XX == 1.0 && XY == 0.0 && YX == 0.0 && YY == 1.0; }
  bool Flips() const { return XX * YY - XY * YX < 0.0; }
  bool KeepsAxes() const { return (XY == 0.0 && YX == 0.0) || (XX == 0.0 && YY == 0.0); }
  double LengthScale() const { return std::sqrt(std::fabs(XX * YY - XY * YX)); }
  TPoint Map(double x, double y) const {
    return TPoint{RoundCoord(XX * x + XY * y), RoundCoord(YX * x + YY * y)};
  }
};

// LM, then LR, then LS, as a flash applies them about its origin.
TLinear ApertureLinear(const ReaderState& st) {
  TLinear l;
  if (!st.MirrorX && !st.MirrorY && st.Rotation == 0.0 && st.Scale == 1.0) return l;
  const double mx = st.MirrorX ? -1.0 : 1.0, my = st.MirrorY ? -1.0 : 1.0;
  double c, s;
  CosSinDegrees(st.Rotation, c, s);
  l.XX = st.Scale * c * mx;
  l.XY = -st.Scale * s * my;
  l.YX = st.Scale * s * mx;
  l.YY = st.Scale * c * my;
  return l;
}

int32_t ScaledLength(int32_t length, const TLinear& l) {
  return l.IsIdentity() ? length : RoundCoord(length * l.LengthScale());
}

// The flags the image gives its adds, restored however the add ends.
class AddFlagsScope {
 public:
  AddFlagsScope(TID_DrawFileFormat& image, uint8_t flags) : image_(image), saved_(image.AddFlags) {
    image.AddFlags = flags;
  }
  ~AddFlagsScope() { image_.AddFlags = saved_; }
  AddFlagsScope(const AddFlagsScope&) = delete;
  AddFlagsScope& operator=(const AddFlagsScope&) = delete;

 private:
  TID_DrawFileFormat& image_;
  uint8_t saved_;
};

std::vector<TPoint>& ScratchPoints() {
  static std::vector<TPoint> points;
  return points;
}

// Adds a copy of the stored record r to the image: mapped by l about the origin of its
// coordinates, moved by (tx, ty), with the given flags. r may belong to another image,
// never to this one (its storage could move).
void PlaceShape(TID_DrawFileFormat& image, TID_DrawRecord& r, const TLinear& l, int32_t tx,
                int32_t ty, uint8_t flags) {
  if (l.IsIdentity()) {
    // The stored record is placed, copied and put back: no copy of its points besides the
    // one the image keeps.
    const int32_t x = r.X, y = r.Y;
    const uint8_t f = r.Flags;
    try {
      r.X = CheckedAdd(x, tx);
      r.Y = CheckedAdd(y, ty);
      r.Flags = flags;
      AddRecordCopy(image, r);
    } catch (...) {
      r.X = x, r.Y = y, r.Flags = f;
      throw;
    }
    r.X = x, r.Y = y, r.Flags = f;
    return;
  }
  const TPoint anchor = l.Map(r.X, r.Y);
  const int32_t ax = CheckedAdd(anchor.X, tx), ay = CheckedAdd(anchor.Y, ty);
  const TIntArray& p = r.Points;
  AddFlagsScope scope(image, flags);
  switch (r.Kind) {
    case rkCircle:
      AddCircle(image, ax, ay, ScaledLength(r.Size, l));
      break;
    case rkRectangle: {
      if (r.Count < 4) break;
      const double x1 = p.at(0), y1 = p.at(1), x2 = p.at(2), y2 = p.at(3);
      if (l.KeepsAxes()) {
        const TPoint a = l.Map(x1, y1), b = l.Map(x2, y2);
        AddRectangle(image, ax, ay, a.X, a.Y, b.X, b.Y);
      } else {
        // A turned pad is a polygon, filled like the pad it is.
        const TPoint corners[4] = {l.Map(x1, y1), l.Map(x2, y1), l.Map(x2, y2), l.Map(x1, y2)};
        image.AddFlags = static_cast<uint8_t>(flags | rfSolid);
        AddPolygon(image, 0, ax, ay, corners);
      }
      break;
    }
    case rkTrack:
    case rkPolygon: {
      std::vector<TPoint>& pts = ScratchPoints();
      pts.clear();
      for (int32_t i = 0; i + 1 < r.Count; i += 2) pts.push_back(l.Map(p.at(i), p.at(i + 1)));
      if (r.Kind == rkTrack)
        AddTrack(image, ScaledLength(r.Size, l), ax, ay, pts);
      else
        AddPolygon(image, r.Size, ax, ay, pts);
      break;
    }
    case rkArc: {
      if (r.Count < 4) break;
      TPoint s = l.Map(p.at(0), p.at(1)), e = l.Map(p.at(2), p.at(3));
      const int32_t width = ScaledLength(r.Size, l);
      if (s == e && (p.at(0) != p.at(2) || p.at(1) != p.at(3))) {
        // An arc that shrinks to no sweep is not a full circle: the dot of its pen.
        const TPoint dot[2] = {s, s};
        AddTrack(image, width, ax, ay, dot);
        break;
      }
      if (l.Flips()) std::swap(s, e);
      AddArc(image, width, ax, ay, s.X, s.Y, e.X, e.Y);
      break;
    }
    default:
      break;
  }
}

// A record held on the stack for a standard aperture placed through a transformation.
TID_DrawRecord& ShapeRecord(uint8_t kind, int32_t size, std::initializer_list<int32_t> points) {
  static TID_DrawRecord r;
  r.Kind = kind;
  r.Flags = 0;
  r.X = r.Y = 0;
  r.Size = size;
  r.Points.resize(static_cast<uint32_t>(points.size()));
  uint32_t k = 0;
  for (int32_t v : points) r.Points[k++] = v;
  r.Count = static_cast<int32_t>(points.size());
  CalcRecordExtent(r);
  return r;
}

// ---------------------------------------------------------------------------------
// The copy budget

// Counts the copies that flashes of stored shapes and step and repeat make against what a
// file of the size read so far may ask for (see kFreeCopies); refuses the file beyond it.
void ChargeCopies(ReaderState& st, const TID_DrawFileFormat& shapes, int64_t first, int64_t last,
                  uint64_t times = 1) {
  uint64_t weight = 0;
  for (int64_t k = std::max<int64_t>(first, 0); k < last && k < shapes.Count; ++k)
    weight +=
        1 + static_cast<uint64_t>(std::max(shapes.Records[static_cast<size_t>(k)].Count, 0)) / 16;
  if (times != 0 && weight > (UINT64_MAX / 4) / times) weight = UINT64_MAX / 4;
  else weight *= times;
  st.CopiedWeight += weight;
  const uint64_t allowed = std::min(kMaxCopies, kFreeCopies + kCopiesPerByte * st.BytesRead);
  if (st.CopiedWeight > allowed)
    throw ERangeError(
        "Flashes of stored shapes and step and repeat ask for more copies than the file's "
        "size allows");
}

// ---------------------------------------------------------------------------------
// Paths

// Size, kind and half sides of the aperture the current D code selects; 'E' optionally
// as 'C'.
void TakeAperture(ReaderState& st, bool undefinedAsCircle) {
  const TAperture& a = ApertureOfDCode(st.CurrentDCode);
  st.Path.ApertureSize = a.Size;
  st.Path.ApertureKind = (undefinedAsCircle && a.Kind == 'E') ? 'C' : a.Kind;
  st.Path.HalfX = a.Kind == 'R' ? (a.C - a.A) / 2 : a.Size / 2;
  st.Path.HalfY = a.Kind == 'R' ? (a.D - a.B) / 2 : a.Size / 2;
}

void StartPath(ReaderState& st) {
  st.Path.PathKind = 1;
  TakeAperture(st, true);
  AddPathPoint(st, st.CurrentX, st.CurrentY);
}

bool PathEmpty(const ReaderState& st) {
  return st.Path.Count == 0;
}

int64_t Cross(TPoint o, TPoint a, TPoint b) {
  return (static_cast<int64_t>(a.X) - o.X) * (static_cast<int64_t>(b.Y) - o.Y) -
         (static_cast<int64_t>(a.Y) - o.Y) * (static_cast<int64_t>(b.X) - o.X);
}

// The shape a rectangular aperture of half sides hx, hy leaves when moved from a to b: a
// rectangle along an axis (the aperture itself when it does not move), a hexagon
// otherwise.
void SweptRectangle(TID_DrawFileFormat& image, TPoint a, TPoint b, int32_t hx, int32_t hy) {
  const int32_t cx = static_cast<int32_t>((static_cast<int64_t>(a.X) + b.X) / 2);
  const int32_t cy = static_cast<int32_t>((static_cast<int64_t>(a.Y) + b.Y) / 2);
  const int32_t left = CheckedSub(std::min(a.X, b.X), hx), right = CheckedAdd(std::max(a.X, b.X), hx);
  const int32_t bottom = CheckedSub(std::min(a.Y, b.Y), hy), top = CheckedAdd(std::max(a.Y, b.Y), hy);
  if (a.X == b.X || a.Y == b.Y) {
    AddRectangle(image, cx, cy, CheckedSub(left, cx), CheckedSub(bottom, cy), CheckedSub(right, cx),
                 CheckedSub(top, cy));
    return;
  }
  // The convex hull of the aperture's corners at both ends.
  TPoint corners[8];
  int n = 0;
  for (TPoint e : {a, b})
    for (int sx : {-1, 1})
      for (int sy : {-1, 1})
        corners[n++] = TPoint{CheckedSub(CheckedAdd(e.X, sx * hx), cx),
                              CheckedSub(CheckedAdd(e.Y, sy * hy), cy)};
  std::sort(corners, corners + 8, [](TPoint p, TPoint q) {
    return p.X < q.X || (p.X == q.X && p.Y < q.Y);
  });
  TPoint hull[16];
  int k = 0;
  for (int i = 0; i < 8; ++i) {
    while (k >= 2 && Cross(hull[k - 2], hull[k - 1], corners[i]) <= 0) --k;
    hull[k++] = corners[i];
  }
  for (int i = 6, lower = k + 1; i >= 0; --i) {
    while (k >= lower && Cross(hull[k - 2], hull[k - 1], corners[i]) <= 0) --k;
    hull[k++] = corners[i];
  }
  AddFlagsScope scope(image, static_cast<uint8_t>(image.AddFlags | rfSolid));
  AddPolygon(image, 0, cx, cy, std::span<const TPoint>(hull, static_cast<size_t>(k - 1)));
}

// ---------------------------------------------------------------------------------
// G codes

void ApplyGCode(ReaderState& st, int32_t g) {
  switch (g) {
    case 1:
    case 10:
    case 11:
    case 12:
      st.InterpolationMode = 1;
      break;
    case 2:
    case 3:
      st.InterpolationMode = g;
      break;
    case 36:
      FlushPath(st);
      st.Region = true;
      break;
    case 37:
      FlushPath(st);
      st.Region = false;
      st.PenDown = false;
      break;
    case 70:
      st.FileUnitFactor = 1000.0;
      break;
    case 71:
      st.FileUnitFactor = 39.37;
      break;
    case 74:
      st.MultiQuadrant = false;
      break;
    case 75:
      st.MultiQuadrant = true;
      break;
    case 90:
      st.Absolute = true;
      break;
    case 91:
      st.Absolute = false;
      break;
    default:
      break;  // 54, 55 and the rest
  }
}

// ---------------------------------------------------------------------------------
// Arcs

// The counterclockwise sweep from direction a to direction b, in (0, 2 pi].
double CcwSweep(double a, double b) {
  double d = b - a;
  while (d <= 0.0) d += 2.0 * kPi;
  while (d > 2.0 * kPi) d -= 2.0 * kPi;
  return d;
}

// The centre of a single-quadrant arc: of the four signs of I and J, the one whose arc
// from S to E in the given direction is at most a quarter turn with the ends nearest the
// same radius. False when none is.
bool QuadrantCentre(TPoint s, TPoint e, int32_t i, int32_t j, bool ccw, TPoint& centre) {
  bool found = false;
  double best = 0.0;
  for (int sx : {1, -1}) {
    for (int sy : {1, -1}) {
      const double cx = static_cast<double>(s.X) + sx * static_cast<double>(i);
      const double cy = static_cast<double>(s.Y) + sy * static_cast<double>(j);
      const double a1 = std::atan2(s.Y - cy, s.X - cx), a2 = std::atan2(e.Y - cy, e.X - cx);
      const double sweep = ccw ? CcwSweep(a1, a2) : CcwSweep(a2, a1);
      if (sweep > kPi / 2.0 + 1e-3) continue;
      const double miss = std::fabs(std::hypot(s.X - cx, s.Y - cy) - std::hypot(e.X - cx, e.Y - cy));
      if (!found || miss < best) {
        found = true;
        best = miss;
        centre = TPoint{CheckedAdd(s.X, CheckedMul(sx, i)), CheckedAdd(s.Y, CheckedMul(sy, j))};
      }
    }
  }
  return found;
}

// A draw that does not move, or an arc that sweeps too little to show: the dot the
// aperture leaves.
void AddDot(ReaderState& st, TPoint at, int32_t width) {
  AddCircle(*st.Image, at.X, at.Y, width);
}

void Arc(ReaderState& st, const BlockFields& f, TPoint target, double targetValueX,
         double targetValueY) {
  if (!st.Region) FlushPath(st);
  int32_t i = f.HasI ? f.I : 0, j = f.HasJ ? f.J : 0;
  const TPoint s{st.CurrentX, st.CurrentY};
  const TPoint e = target;
  const bool ccw = st.InterpolationMode == 3;
  // The same point as written in the file: a closed arc. Rounded to image units, the ends
  // of a tiny arc may meet too, and that arc is no circle.
  const bool closed = targetValueX == st.CurrentValueX && targetValueY == st.CurrentValueY;
  const int32_t width = ScaledLength(ApertureOfDCode(st.CurrentDCode).Size, ApertureLinear(st));
  TPoint c;
  bool full = false;
  if (!st.MultiQuadrant) {
    if (closed || s == e) {
      if (!st.Region) AddDot(st, s, width);
      return;
    }
    if (!QuadrantCentre(s, e, CheckedAbs(i), CheckedAbs(j), ccw, c)) return;
  } else {
    c = TPoint{CheckedAdd(s.X, i), CheckedAdd(s.Y, j)};
    full = closed;
    if (!full && s == e) {
      // The ends differ as written but meet in image units: nearly a full turn is drawn as
      // one, a sliver as the dot it is.
      const double vi = f.HasI ? f.ValueI : 0.0, vj = f.HasJ ? f.ValueJ : 0.0;
      const double cx = st.CurrentValueX + vi, cy = st.CurrentValueY + vj;
      const double a1 = std::atan2(st.CurrentValueY - cy, st.CurrentValueX - cx);
      const double a2 = std::atan2(targetValueY - cy, targetValueX - cx);
      full = (ccw ? CcwSweep(a1, a2) : CcwSweep(a2, a1)) > kPi;
    }
    if (!full && s == e) {
      if (st.Region)
        AddPathPoint(st, e.X, e.Y);
      else
        AddDot(st, s, width);
      return;
    }
  }
  const TPoint sc{CheckedSub(s.X, c.X), CheckedSub(s.Y, c.Y)};
  const TPoint ec{CheckedSub(e.X, c.X), CheckedSub(e.Y, c.Y)};
  if (!st.Region) {
    if (ccw || full)
      AddArc(*st.Image, width, c.X, c.Y, sc.X, sc.Y, ec.X, ec.Y);
    else
      AddArc(*st.Image, width, c.X, c.Y, ec.X, ec.Y, sc.X, sc.Y);
  } else {
    if (PathEmpty(st)) AddPathPoint(st, s.X, s.Y);
    ArcToPoints(st, c, sc, ec, ccw, full);
  }
}

// ---------------------------------------------------------------------------------
// Flashes

uint8_t PolarityFlags(const ReaderState& st) {
  return st.Dark ? 0 : rfClear;
}

// The hole of a standard aperture, painted through the pad. A clear flash has nothing to
// paint through.
void AddHole(ReaderState& st, const TAperture& a, TPoint t, const TLinear& l) {
  if (a.HoleX <= 0 || !st.Dark) return;
  TID_DrawFileFormat& image = *st.Image;
  if (a.HoleY <= 0) {
    AddFlagsScope scope(image, rfClear);
    AddCircle(image, t.X, t.Y, ScaledLength(a.HoleX, l));
    return;
  }
  PlaceShape(image,
             ShapeRecord(rkRectangle, 0, {-(a.HoleX / 2), -(a.HoleY / 2), a.HoleX / 2, a.HoleY / 2}),
             l, t.X, t.Y, rfClear);
}

void FlashStored(ReaderState& st, TID_DrawFileFormat& shapes, int32_t first, int32_t count,
                 TPoint t, const TLinear& l, bool block) {
  const int64_t last = static_cast<int64_t>(first) + count;
  ChargeCopies(st, shapes, first, last);
  const uint8_t polarity = PolarityFlags(st);
  for (int64_t k = std::max<int64_t>(first, 0); k < last && k < shapes.Count; ++k) {
    TID_DrawRecord& r = shapes.Records[static_cast<size_t>(k)];
    uint8_t flags;
    if (block) {
      // A block flashed under clear polarity turns its dark objects clear and its clear
      // objects dark.
      flags = static_cast<uint8_t>(r.Flags ^ polarity);
    } else if (r.Flags & rfClear) {
      // The clear parts of a macro pad clear only under a dark flash.
      if (!st.Dark) continue;
      flags = r.Flags;
    } else {
      flags = static_cast<uint8_t>(r.Flags | polarity);
    }
    PlaceShape(*st.Image, r, l, t.X, t.Y, flags);
  }
}

void Flash(ReaderState& st, TPoint t) {
  const TAperture& a = ApertureOfDCode(st.CurrentDCode);
  TID_DrawFileFormat& image = *st.Image;
  const TLinear l = ApertureLinear(st);
  const bool plain = l.IsIdentity();
  switch (a.Kind) {
    case 'C':
    case 'E':
      AddCircle(image, t.X, t.Y, ScaledLength(a.Size, l));
      break;
    case 'R':
      if (plain)
        AddRectangle(image, t.X, t.Y, a.A, a.B, a.C, a.D);
      else
        PlaceShape(image, ShapeRecord(rkRectangle, 0, {a.A, a.B, a.C, a.D}), l, t.X, t.Y,
                   PolarityFlags(st));
      break;
    case 'O':
      // A track of the smaller side between the centres of the round ends; with equal
      // sides, a disc.
      if (a.A == a.C && a.B == a.D)
        AddCircle(image, t.X, t.Y, ScaledLength(a.Size, l));
      else
        PlaceShape(image, ShapeRecord(rkTrack, a.Size, {a.A, a.B, a.C, a.D}), l, t.X, t.Y,
                   PolarityFlags(st));
      break;
    case 'P':
      FlashStored(st, PolygonShapes(), a.A, a.B, t, l, false);
      break;
    case 'M':
      FlashStored(st, MacroShapes(), a.A, a.B, t, l, false);
      return;  // a macro has no hole modifier
    case 'B':
      FlashStored(st, BlockShapes(), a.A, a.B, t, l, true);
      return;
    default:
      return;
  }
  AddHole(st, a, t, l);
}

// ---------------------------------------------------------------------------------
// Statements

bool ParseNumberAfter(std::string_view arg, char letter, double& value) {
  size_t k = arg.find(letter);
  if (k == std::string_view::npos) return false;
  size_t e = k + 1;
  while (e < arg.size() && (std::isdigit(static_cast<unsigned char>(arg[e])) || arg[e] == '.' ||
                            arg[e] == '-' || arg[e] == '+'))
    ++e;
  std::string_view text = arg.substr(k + 1, e - k - 1);
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  if (!IsDecimalNumber(text)) return false;
  value = DecimalValue(text);
  return std::isfinite(value);
}

// The records of one image, mapped by the affine transformation (l, then t) in place.
void TransformImage(TID_DrawFileFormat& image, const TLinear& l, int32_t tx, int32_t ty,
                    bool negative) {
  TID_DrawFileFormat out;
  ResetImage(out);
  out.Color = image.Color;
  for (int32_t k = 0; k < image.Count; ++k) {
    TID_DrawRecord& r = image.Records[static_cast<size_t>(k)];
    PlaceShape(out, r, l, tx, ty, r.Flags);
  }
  if (negative && out.Count > 0) {
    // A negative image: the board's area is dark and every object clears it.
    TID_DrawFileFormat neg;
    ResetImage(neg);
    neg.Color = out.Color;
    AddRectangle(neg, 0, 0, out.MinX, out.MinY, out.MaxX, out.MaxY);
    for (int32_t k = 0; k < out.Count; ++k) {
      TID_DrawRecord& r = out.Records[static_cast<size_t>(k)];
      r.Flags ^= rfClear;
      AddRecordCopy(neg, r);
    }
    std::swap(out, neg);
  }
  std::swap(image, out);
}

}  // namespace

// ---------------------------------------------------------------------------------
// Paths

void AddPathPoint(ReaderState& st, int32_t x, int32_t y) {
  PathBuffer& p = st.Path;
  if (st.Region) p.ApertureSize = 0;
  int32_t h = p.ApertureSize / 2;
  int32_t lx = CheckedSub(x, h), ly = CheckedSub(y, h);
  int32_t hx = CheckedAdd(x, h), hy = CheckedAdd(y, h);
  p.BoxMinX = std::min({p.BoxMinX, lx, hx});
  p.BoxMinY = std::min({p.BoxMinY, ly, hy});
  p.BoxMaxX = std::max({p.BoxMaxX, lx, hx});
  p.BoxMaxY = std::max({p.BoxMaxY, ly, hy});
  if (p.Count < kPathCapacity) ++p.Count;
  p.Points[static_cast<size_t>(p.Count - 1)] = TPoint{x, y};
}

void FlushPath(ReaderState& st) {
  PathBuffer& p = st.Path;
  const int32_t n = p.Count;
  if (n > 0) {
    const int32_t cx = static_cast<int32_t>((static_cast<int64_t>(p.BoxMinX) + p.BoxMaxX) / 2);
    const int32_t cy = static_cast<int32_t>((static_cast<int64_t>(p.BoxMinY) + p.BoxMaxY) / 2);
    TID_DrawFileFormat& image = *st.Image;
    std::span<TPoint> pts(p.Points.data(), static_cast<size_t>(n));
    if (st.Region) {
      if (n >= 3) {
        for (TPoint& q : pts) q = TPoint{CheckedSub(q.X, cx), CheckedSub(q.Y, cy)};
        AddPolygon(image, 1, cx, cy, pts);
      }
    } else if (p.PathKind == 1 && n >= 2) {
      const TLinear l = ApertureLinear(st);
      if (p.ApertureKind == 'R') {
        // A rectangle swept along each segment.
        const int32_t hx = ScaledLength(p.HalfX, l), hy = ScaledLength(p.HalfY, l);
        for (int32_t k = 0; k + 1 < n; ++k)
          SweptRectangle(image, pts[static_cast<size_t>(k)], pts[static_cast<size_t>(k + 1)], hx,
                         hy);
      } else {
        // Every other aperture draws as the round one of its size: round ends and joins.
        const int32_t width = ScaledLength(p.ApertureSize, l);
        if (n == 2 && pts[0] == pts[1]) {
          if (width > 0) AddCircle(image, pts[0].X, pts[0].Y, width);
        } else {
          for (TPoint& q : pts) q = TPoint{CheckedSub(q.X, cx), CheckedSub(q.Y, cy)};
          AddTrack(image, width, cx, cy, pts);
        }
      }
    }
  }
  p.Count = 0;
  p.PathKind = -1;
  p.BoxMinX = p.BoxMinY = kEmptyBoxMin;
  p.BoxMaxX = p.BoxMaxY = kEmptyBoxMax;
}

void ArcToPoints(ReaderState& st, TPoint centre, TPoint start, TPoint end, bool counterclockwise,
                 bool full) {
  if (start == end && !full) return;
  const double sx = start.X, sy = start.Y;
  const int32_t r = RoundCoord(std::sqrt(sx * sx + sy * sy));
  const int32_t endX = CheckedAdd(centre.X, end.X), endY = CheckedAdd(centre.Y, end.Y);
  if (r < 3) {
    AddPathPoint(st, endX, endY);
    return;
  }
  const double a1 = std::atan2(sy, sx), a2 = std::atan2(static_cast<double>(end.Y), end.X);
  double sweep = full ? 2.0 * kPi : counterclockwise ? CcwSweep(a1, a2) : CcwSweep(a2, a1);
  // Chords within the tolerance of the arc.
  double step = 2.0 * std::acos(std::max(-1.0, 1.0 - kArcTolerance / r));
  step = std::clamp(step, kMinArcStep, kMaxArcStep);
  const int32_t steps = static_cast<int32_t>(std::ceil(sweep / step));
  const double delta = (counterclockwise ? sweep : -sweep) / steps;
  for (int32_t k = 1; k < steps; ++k) {
    const double a = a1 + delta * k;
    AddPathPoint(st, CheckedAdd(centre.X, RoundCoord(r * std::cos(a))),
                 CheckedAdd(centre.Y, RoundCoord(r * std::sin(a))));
  }
  AddPathPoint(st, endX, endY);
}

void UpdateAddFlags(ReaderState& st) {
  if (st.Image) st.Image->AddFlags = PolarityFlags(st);
}

void InterpretBlock(ReaderState& st, std::string_view block) {
  TokenizeBlock(st, block);
  BlockFields& f = st.LastBlock;

  // G04 makes the whole block a comment.
  for (int32_t k = 0; k < f.GCount; ++k)
    if (f.GCodes[k] == 4) return;

  // Incremental coordinates. The fine values and the values as written move with them.
  if (!st.Absolute) {
    if (f.HasX) {
      f.X = CheckedAdd(f.X, st.CurrentX);
      f.FineX = CheckedAdd(f.FineX, st.FineCurrentX);
      f.ValueX += st.CurrentValueX;
    }
    if (f.HasY) {
      f.Y = CheckedAdd(f.Y, st.CurrentY);
      f.FineY = CheckedAdd(f.FineY, st.FineCurrentY);
      f.ValueY += st.CurrentValueY;
    }
  }

  const TPoint target{f.HasX ? f.X : st.CurrentX, f.HasY ? f.Y : st.CurrentY};
  const double valueX = f.HasX ? f.ValueX : st.CurrentValueX;
  const double valueY = f.HasY ? f.ValueY : st.CurrentValueY;

  // Every G code of the block, in order.
  for (int32_t k = 0; k < f.GCount; ++k) ApplyGCode(st, f.GCodes[k]);

  bool draw = false;
  if (f.HasD) {
    if (f.D == 1) {
      st.PenDown = true;
      draw = true;
    } else if (f.D == 2) {
      // A move: the track, or the contour of a region, ends.
      FlushPath(st);
      st.PenDown = false;
    } else if (f.D == 3) {
      if (!st.Region) {
        FlushPath(st);
        Flash(st, target);
      }
      st.PenDown = false;
    } else if (f.D >= 10 && f.D <= 3999) {
      // Aperture selection; inside a region it only changes what later draws use.
      if (!st.Region) FlushPath(st);
      st.PenDown = false;
      st.CurrentDCode = f.D;
      st.SavedDCode = f.D;
    }
  } else {
    // Coordinates without a D code draw when the last D code was D01.
    draw = st.PenDown;
  }

  if (draw) {
    if (st.InterpolationMode == 1) {
      if (f.HasX || f.HasY) {
        if (PathEmpty(st)) {
          if (st.Region)
            AddPathPoint(st, st.CurrentX, st.CurrentY);
          else
            StartPath(st);
        }
        AddPathPoint(st, target.X, target.Y);
      }
    } else if (f.HasX || f.HasY || f.HasI || f.HasJ) {
      Arc(st, f, target, valueX, valueY);
    }
  }

  if (f.HasX) {
    st.CurrentX = f.X;
    st.FineCurrentX = f.FineX;
    st.CurrentValueX = f.ValueX;
  }
  if (f.HasY) {
    st.CurrentY = f.Y;
    st.FineCurrentY = f.FineY;
    st.CurrentValueY = f.ValueY;
  }
}

// ---------------------------------------------------------------------------------
// Statements

void PolarityStatement(ReaderState& st, std::string_view arg) {
  if (arg.empty()) return;
  bool dark = st.Dark;
  if (arg[0] == 'D' || arg[0] == 'd')
    dark = true;
  else if (arg[0] == 'C' || arg[0] == 'c')
    dark = false;
  if (dark == st.Dark) return;
  // What was drawn so far keeps the polarity it was drawn under.
  FlushPath(st);
  st.Dark = dark;
  UpdateAddFlags(st);
}

void MirrorStatement(ReaderState& st, std::string_view arg) {
  FlushPath(st);
  const std::string_view m = arg.substr(0, arg.find('*'));
  st.MirrorX = m == "X" || m == "XY";
  st.MirrorY = m == "Y" || m == "XY";
}

void RotationStatement(ReaderState& st, std::string_view arg) {
  double v;
  const std::string_view text = arg.substr(0, arg.find('*'));
  if (!IsDecimalNumber(text) || !std::isfinite(v = DecimalValue(text))) return;
  FlushPath(st);
  st.Rotation = std::fmod(v, 360.0);
}

void ScaleStatement(ReaderState& st, std::string_view arg) {
  double v;
  const std::string_view text = arg.substr(0, arg.find('*'));
  if (!IsDecimalNumber(text) || !std::isfinite(v = DecimalValue(text)) || v <= 0.0) return;
  FlushPath(st);
  st.Scale = v;
}

void CloseStepRepeat(ReaderState& st) {
  StepRepeat& sr = st.Repeat;
  if (!sr.Active) return;
  FlushPath(st);
  sr.Active = false;
  TID_DrawFileFormat& image = *sr.Target;
  const int32_t first = sr.First, last = image.Count;
  const int64_t copies = static_cast<int64_t>(sr.CountX) * sr.CountY - 1;
  if (last <= first || copies <= 0) return;
  ChargeCopies(st, image, first, last, static_cast<uint64_t>(copies));
  // Room for every copy first: the records copied from must stay where they are.
  ReserveRecords(image, CheckedNarrow(static_cast<int64_t>(last - first) * copies));
  for (int32_t iy = 0; iy < sr.CountY; ++iy) {
    for (int32_t ix = 0; ix < sr.CountX; ++ix) {
      if (ix == 0 && iy == 0) continue;
      const int32_t dx = CheckedMul(ix, sr.StepX), dy = CheckedMul(iy, sr.StepY);
      for (int32_t k = first; k < last; ++k) {
        TID_DrawRecord& r = image.Records[static_cast<size_t>(k)];
        PlaceShape(image, r, TLinear(), dx, dy, r.Flags);
      }
    }
  }
}

void StepRepeatStatement(ReaderState& st, std::string_view arg) {
  FlushPath(st);
  CloseStepRepeat(st);
  double x = 1.0, y = 1.0, i = 0.0, j = 0.0;
  ParseNumberAfter(arg, 'X', x);
  ParseNumberAfter(arg, 'Y', y);
  ParseNumberAfter(arg, 'I', i);
  ParseNumberAfter(arg, 'J', j);
  if (!(x >= 1.0) || !(y >= 1.0)) return;
  if (x > 1e6 || y > 1e6 || x * y > 1e9)
    throw ERangeError("A step and repeat asks for more copies than can be drawn");
  StepRepeat& sr = st.Repeat;
  sr.CountX = static_cast<int32_t>(x);
  sr.CountY = static_cast<int32_t>(y);
  if (sr.CountX == 1 && sr.CountY == 1) return;
  sr.StepX = RoundCoord(i * st.FileUnitFactor);
  sr.StepY = RoundCoord(j * st.FileUnitFactor);
  sr.Target = st.Image;
  sr.First = st.Image->Count;
  sr.Active = true;
}

void BlockStatement(ReaderState& st, std::string_view arg) {
  FlushPath(st);
  if (!arg.empty() && arg[0] == 'D') {
    size_t k = 1;
    while (k < arg.size() && std::isdigit(static_cast<unsigned char>(arg[k]))) ++k;
    if (k == 1) return;
    const int32_t dcode = IntegerValue(arg.substr(1, k - 1));
    if (st.Blocks.size() >= static_cast<size_t>(kMaxBlockDepth))
      throw ERangeError("Aperture blocks nest deeper than can be held");
    TID_DrawFileFormat& work = BlockWorkImage(static_cast<int32_t>(st.Blocks.size()));
    st.Blocks.push_back(OpenBlock{dcode, st.Image});
    st.Image = &work;
    UpdateAddFlags(st);
    return;
  }
  if (st.Blocks.empty()) return;
  if (st.Repeat.Active && st.Repeat.Target == st.Image) CloseStepRepeat(st);
  const OpenBlock b = st.Blocks.back();
  TID_DrawFileFormat& work = *st.Image;
  TID_DrawFileFormat& store = BlockShapes();
  const int32_t first = store.Count;
  for (int32_t k = 0; k < work.Count; ++k) AddRecordCopy(store, work.Records[static_cast<size_t>(k)]);
  ResetImage(work);
  st.Blocks.pop_back();
  st.Image = b.Previous;
  UpdateAddFlags(st);
  DefineBlockAperture(st, b.DCode, first, store.Count - first);
}

void ImageParameterStatement(ReaderState& st, std::string_view code, std::string_view arg) {
  ImageParameters& ip = st.ImageParams;
  const std::string_view text = arg.substr(0, arg.find('*'));
  double a, b;
  if (code == "IP") {
    if (text == "NEG") ip.Negative = true;
    if (text == "POS") ip.Negative = false;
  } else if (code == "AS") {
    if (text == "AYBX") ip.SwapAxes = true;
    if (text == "AXBY") ip.SwapAxes = false;
  } else if (code == "MI") {
    if (ParseNumberAfter(text, 'A', a)) ip.MirrorA = a != 0.0;
    if (ParseNumberAfter(text, 'B', b)) ip.MirrorB = b != 0.0;
  } else if (code == "OF") {
    if (ParseNumberAfter(text, 'A', a)) ip.OffsetA = a * st.FileUnitFactor;
    if (ParseNumberAfter(text, 'B', b)) ip.OffsetB = b * st.FileUnitFactor;
  } else if (code == "SF") {
    if (ParseNumberAfter(text, 'A', a) && a > 0.0) ip.ScaleA = a;
    if (ParseNumberAfter(text, 'B', b) && b > 0.0) ip.ScaleB = b;
  } else if (code == "IR") {
    if (IsIntegerText(text)) {
      const int32_t r = IntegerValue(text);
      if (r == 0 || r == 90 || r == 180 || r == 270) ip.Rotation = r;
    }
  }
}

void FinishRead(ReaderState& st) {
  FlushPath(st);
  // Blocks left open end with the file.
  while (!st.Blocks.empty()) BlockStatement(st, "");
  CloseStepRepeat(st);
  const ImageParameters& ip = st.ImageParams;
  if (!ip.Any()) return;
  // Axis select, scale, mirror, offset, then the rotation of the whole image.
  TLinear l;
  if (ip.SwapAxes) l = TLinear{0.0, 1.0, 1.0, 0.0};
  l.XX *= ip.ScaleA, l.XY *= ip.ScaleA;
  l.YX *= ip.ScaleB, l.YY *= ip.ScaleB;
  if (ip.MirrorA) l.XX = -l.XX, l.XY = -l.XY;
  if (ip.MirrorB) l.YX = -l.YX, l.YY = -l.YY;
  double ox = ip.OffsetA, oy = ip.OffsetB;
  double c, s;
  CosSinDegrees(ip.Rotation, c, s);
  const TLinear r{c, -s, s, c};
  const TLinear lr{r.XX * l.XX + r.XY * l.YX, r.XX * l.XY + r.XY * l.YY, r.YX * l.XX + r.YY * l.YX,
                   r.YX * l.XY + r.YY * l.YY};
  const int32_t tx = RoundCoord(r.XX * ox + r.XY * oy), ty = RoundCoord(r.YX * ox + r.YY * oy);
  TransformImage(*st.Output, lr, tx, ty, ip.Negative);
}

}  // namespace pv
