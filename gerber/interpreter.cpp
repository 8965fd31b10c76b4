// The command interpreter: G codes, D codes and coordinates of each data block against
// the reader state; paths, arcs, regions and flashes become draw records.
#include <algorithm>
#include <cmath>
#include <span>

#include "gerber/reader_internal.h"
#include "platform/checked.h"
#include "platform/errors.h"

namespace pv {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kArcStep = kPi / 8.0;

int32_t CheckedAbs(int32_t v) {
  return v < 0 ? CheckedNeg(v) : v;
}

// Size and kind of the aperture the current D code selects; 'E' optionally as 'C'.
void TakeAperture(ReaderState& st, bool undefinedAsCircle) {
  const TAperture& a = ApertureOfDCode(st.CurrentDCode);
  st.Path.ApertureSize = a.Size;
  st.Path.ApertureKind = (undefinedAsCircle && a.Kind == 'E') ? 'C' : a.Kind;
}

void StartPath(ReaderState& st, bool undefinedAsCircle) {
  st.Path.PathKind = 1;
  TakeAperture(st, undefinedAsCircle);
  AddPathPoint(st, st.CurrentX, st.CurrentY);
}

bool PathEmpty(const ReaderState& st) {
  return st.Path.Count == 0;
}

void ApplyGCode(ReaderState& st, int32_t g) {
  if (!st.Region) FlushPath(st);
  switch (g) {
    case 1:
      st.InterpolationMode = 1;
      break;
    case 2:
    case 3:
      st.InterpolationMode = g;
      break;
    case 36:
      st.Region = true;
      st.SavedDCode = st.CurrentDCode;
      // Straight edges follow the interpolation mode in force when the region opens,
      // so that a region after one that ended with an arc keeps its straight edges.
      st.RegionLinear = st.InterpolationMode == 1;
      break;
    case 37:
      FlushPath(st);
      st.Region = false;
      st.PenDown = false;
      st.CurrentDCode = st.SavedDCode;
      break;
    case 70:
      st.FileUnitFactor = 1000.0;
      break;
    case 71:
      st.FileUnitFactor = 39.37;
      break;
    case 74:
      st.MultiQuadrant = false;
      st.InterpolationMode = 1;
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
      break;  // 10, 11, 12 (linear inside a region), 54, 55 and the rest
  }
}

void Arc(ReaderState& st, const BlockFields& f, TPoint target, int32_t fineTargetX,
         int32_t fineTargetY) {
  if (!st.Region) FlushPath(st);
  int32_t i = f.HasI ? f.I : 0, j = f.HasJ ? f.J : 0;
  int32_t fineI = f.HasI ? f.FineI : 0, fineJ = f.HasJ ? f.FineJ : 0;
  const TPoint s{st.CurrentX, st.CurrentY};
  const TPoint e = target;
  const bool ccw = st.InterpolationMode == 3;
  TPoint c;
  bool skip;
  if (!st.MultiQuadrant) {
    skip = s.X == e.X || s.Y == e.Y;
    i = CheckedAbs(i);
    j = CheckedAbs(j);
    if (ccw) {
      c.Y = e.X < s.X ? CheckedSub(s.Y, j) : CheckedAdd(s.Y, j);
      c.X = e.Y < s.Y ? CheckedAdd(s.X, i) : CheckedSub(s.X, i);
    } else {
      c.Y = s.X < e.X ? CheckedSub(s.Y, j) : CheckedAdd(s.Y, j);
      c.X = s.Y < e.Y ? CheckedAdd(s.X, i) : CheckedSub(s.X, i);
    }
  } else {
    c = TPoint{CheckedAdd(s.X, i), CheckedAdd(s.Y, j)};
    skip = false;
    if (s == e) {
      // A closed arc is a full circle unless, at the finer resolution, its end lies
      // just counterclockwise after its start.
      int32_t fcx = CheckedAdd(st.FineCurrentX, fineI), fcy = CheckedAdd(st.FineCurrentY, fineJ);
      skip = IsShortCcwSweep(fcx, fcy, st.FineCurrentX, st.FineCurrentY, fineTargetX, fineTargetY);
    }
  }
  if (skip) return;
  TPoint sc{CheckedSub(s.X, c.X), CheckedSub(s.Y, c.Y)};
  TPoint ec{CheckedSub(e.X, c.X), CheckedSub(e.Y, c.Y)};
  if (!st.Region) {
    int32_t width = ApertureOfDCode(st.CurrentDCode).Size;
    if (ccw)
      AddArc(*st.Image, width, c.X, c.Y, sc.X, sc.Y, ec.X, ec.Y);
    else
      AddArc(*st.Image, width, c.X, c.Y, ec.X, ec.Y, sc.X, sc.Y);
  } else {
    ArcToPoints(st, c, sc, ec, ccw);
  }
}

// Counts the copies a flash of stored shapes [first, last) makes against what a file of
// the size read so far may ask for (see kFreeCopies); refuses the file beyond it.
void ChargeCopies(ReaderState& st, const TID_DrawFileFormat& shapes, int64_t first, int64_t last) {
  uint64_t weight = 0;
  for (int64_t k = std::max<int64_t>(first, 0); k < last && k < shapes.Count; ++k)
    weight +=
        1 + static_cast<uint64_t>(std::max(shapes.Records[static_cast<size_t>(k)].Count, 0)) / 16;
  st.CopiedWeight += weight;
  if (st.CopiedWeight > kFreeCopies + st.BytesRead / 2)
    throw ERangeError(
        "Flashes of polygon and macro apertures ask for more shapes than the "
        "file's size allows");
}

void Flash(ReaderState& st, TPoint t) {
  const TAperture& a = ApertureOfDCode(st.CurrentDCode);
  TID_DrawFileFormat& image = *st.Image;
  switch (a.Kind) {
    case 'C':
    case 'E':
      AddCircle(image, t.X, t.Y, a.Size);
      break;
    case 'R':
      AddRectangle(image, t.X, t.Y, a.A, a.B, a.C, a.D);
      break;
    case 'O': {
      const TPoint ends[2] = {{a.A, a.B}, {a.C, a.D}};
      AddTrack(image, a.Size, t.X, t.Y, ends);
      break;
    }
    case 'P': {
      TID_DrawFileFormat& shapes = PolygonShapes();
      int64_t last = static_cast<int64_t>(a.A) + a.B;
      ChargeCopies(st, shapes, a.A, last);
      for (int64_t k = std::max<int64_t>(a.A, 0); k < last && k < shapes.Count; ++k) {
        TID_DrawRecord& r = shapes.Records[static_cast<size_t>(k)];
        r.X = t.X;
        r.Y = t.Y;
        AddRecordCopy(image, r);
      }
      break;
    }
    case 'M': {
      TID_DrawFileFormat& shapes = MacroShapes();
      int64_t last = static_cast<int64_t>(a.A) + a.B;
      ChargeCopies(st, shapes, a.A, last);
      for (int64_t k = std::max<int64_t>(a.A, 0); k < last && k < shapes.Count; ++k) {
        // The stored record is placed, copied and put back: no copy of its points
        // besides the one the image keeps.
        TID_DrawRecord& r = shapes.Records[static_cast<size_t>(k)];
        const int32_t x = r.X, y = r.Y;
        if (r.Kind == rkCircle) {
          r.X = CheckedAdd(x, t.X);
          r.Y = CheckedAdd(y, t.Y);
        } else {
          r.X = t.X;
          r.Y = t.Y;
        }
        try {
          AddRecordCopy(image, r);
        } catch (...) {
          r.X = x, r.Y = y;
          throw;
        }
        r.X = x, r.Y = y;
      }
      break;
    }
    default:
      break;
  }
}

}  // namespace

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
    auto relative = [&]() {
      for (TPoint& q : pts) q = TPoint{CheckedSub(q.X, cx), CheckedSub(q.Y, cy)};
    };
    if (p.PathKind == 1 && !st.Region && n > 2) {
      relative();
      AddTrack(image, p.ApertureSize, cx, cy, pts);
    } else if (p.PathKind == 1 && !st.Region && n == 2) {
      const TPoint a = pts[0], b = pts[1];
      const int32_t h = p.ApertureSize / 2;
      const int32_t left = CheckedSub(std::min(a.X, b.X), h),
                    right = CheckedAdd(std::max(a.X, b.X), h);
      const int32_t bottom = CheckedSub(std::min(a.Y, b.Y), h),
                    top = CheckedAdd(std::max(a.Y, b.Y), h);
      if (!(left == right && bottom == top)) {
        if (a.X == b.X || a.Y == b.Y) {
          if (p.ApertureKind == 'R') {
            AddRectangle(image, cx, cy, CheckedSub(left, cx), CheckedSub(bottom, cy),
                         CheckedSub(right, cx), CheckedSub(top, cy));
          } else if (p.ApertureKind == 'C' && a.X == b.X && a.Y == b.Y) {
            // A round aperture that draws without moving leaves a disc; a stroke of no
            // length would leave nothing, since strokes end flat at their end points.
            AddCircle(image, a.X, a.Y, p.ApertureSize);
          } else if (p.ApertureKind == 'C') {
            relative();
            AddTrack(image, p.ApertureSize, cx, cy, pts);
          }
        } else {
          relative();
          AddTrack(image, p.ApertureSize, cx, cy, pts);
        }
      }
    } else if (st.Region && n >= 3) {
      relative();
      AddPolygon(image, 1, cx, cy, pts);
    }
  }
  p.Count = 0;
  p.PathKind = -1;
  p.BoxMinX = p.BoxMinY = kEmptyBoxMin;
  p.BoxMaxX = p.BoxMaxY = kEmptyBoxMax;
}

void ArcToPoints(ReaderState& st, TPoint centre, TPoint start, TPoint end, bool counterclockwise) {
  if (start == end) return;
  const double sx = start.X, sy = start.Y;
  const int32_t r = RoundCoord(std::sqrt(sx * sx + sy * sy));
  const int32_t endX = CheckedAdd(centre.X, end.X), endY = CheckedAdd(centre.Y, end.Y);
  if (r < 3) {
    AddPathPoint(st, endX, endY);
    return;
  }
  auto angle = [](TPoint v) {
    double a;
    if (v.X == 0)
      a = v.Y >= 0 ? kPi / 2.0 : -kPi / 2.0;
    else
      a = std::atan2(static_cast<double>(v.Y), static_cast<double>(v.X));
    if (a < 0.0) a += 2.0 * kPi;
    return a;
  };
  double a1 = angle(start), a2 = angle(end);
  double sweep;
  const double d = a2 - a1;
  if (d > -0.0001 && d < 0.0001) {
    // A full circle: its points lie at fixed multiples of pi/8 from the x axis.
    a1 = 0.0;
    sweep = 2.0 * kPi;
  } else {
    sweep = counterclockwise ? a2 - a1 : a1 - a2;
    if (sweep < 0.0) sweep += 2.0 * kPi;
  }
  int32_t steps = 0;
  while (sweep > kArcStep) {
    sweep -= kArcStep;
    ++steps;
  }
  const double remainder = sweep;
  for (int32_t k = 0; k < steps; ++k) {
    double offset = remainder + k * kArcStep;
    double a = counterclockwise ? a1 + offset : a1 - offset;
    AddPathPoint(st, CheckedAdd(centre.X, RoundCoord(r * std::cos(a))),
                 CheckedAdd(centre.Y, RoundCoord(r * std::sin(a))));
  }
  AddPathPoint(st, endX, endY);
}

void InterpretBlock(ReaderState& st, std::string_view block) {
  TokenizeBlock(st, block);
  BlockFields& f = st.LastBlock;

  // 1. G04 cancels the whole block.
  if (f.HasG && f.G == 4) f.HasG = f.HasD = f.HasX = f.HasY = f.HasI = f.HasJ = false;

  // 2. Incremental coordinates. The fine values move with them, so that the fine
  // current point stays the same point as the current point.
  if (!st.Absolute) {
    if (f.HasX) {
      f.X = CheckedAdd(f.X, st.CurrentX);
      f.FineX = CheckedAdd(f.FineX, st.FineCurrentX);
    }
    if (f.HasY) {
      f.Y = CheckedAdd(f.Y, st.CurrentY);
      f.FineY = CheckedAdd(f.FineY, st.FineCurrentY);
    }
  }

  // 3. Target.
  const TPoint target{f.HasX ? f.X : st.CurrentX, f.HasY ? f.Y : st.CurrentY};
  const int32_t fineTargetX = f.HasX ? f.FineX : st.FineCurrentX;
  const int32_t fineTargetY = f.HasY ? f.FineY : st.FineCurrentY;

  // 4. G outside a region.
  if (f.HasG && !st.Region) {
    if (f.G != st.InterpolationMode) ApplyGCode(st, f.G);
    if (!f.HasD) {
      st.Path.PathKind = st.InterpolationMode;
      TakeAperture(st, true);
    }
  }

  // 5. G inside a region.
  if (f.HasG && st.Region && f.G != st.InterpolationMode) {
    ApplyGCode(st, f.G);
    if (f.G == 1 || f.G == 10 || f.G == 11 || f.G == 12) {
      st.InterpolationMode = 1;
      st.RegionLinear = true;
    } else if (f.G == 2 || f.G == 3) {
      st.InterpolationMode = f.G;
      st.RegionLinear = false;
    }
  }

  // 6. D01 outside a region starts a path. Inside a region D01 and D02 only set and
  // clear the pen, so that an arc edge is drawn exactly when its block draws, whatever
  // the pen was before the region began.
  if (f.HasD && f.D == 1) {
    if (!st.Region && PathEmpty(st) && st.InterpolationMode == 1) StartPath(st, true);
    st.PenDown = true;
  } else if (f.HasD && f.D == 2 && st.Region) {
    st.PenDown = false;
  }

  // 7. Straight region edges (dark polarity only).
  if (st.RegionLinear && st.Region && st.Dark) {
    if ((f.HasD && f.D == 1) || (!f.HasD && st.CurrentDCode == 1)) {
      if (PathEmpty(st)) AddPathPoint(st, st.CurrentX, st.CurrentY);
      AddPathPoint(st, target.X, target.Y);
      st.CurrentDCode = 1;
    } else if (f.HasD && f.D == 2) {
      FlushPath(st);
      st.CurrentDCode = 2;
    }
  }

  // 8, 9. D02 and D03 outside a region end the path.
  if (f.HasD && (f.D == 2 || f.D == 3) && !st.Region) {
    FlushPath(st);
    st.PenDown = false;
  }

  // 10. Aperture selection.
  if (f.HasD && f.D >= 10 && f.D <= 3999) {
    FlushPath(st);
    st.Region = false;
    st.PenDown = false;
    st.CurrentDCode = f.D;
    st.SavedDCode = f.D;
    TakeAperture(st, false);
  }

  // 11. Straight draw.
  if (st.PenDown && st.InterpolationMode == 1 && (f.HasX || f.HasY) && !st.Region) {
    if (PathEmpty(st)) StartPath(st, false);
    AddPathPoint(st, target.X, target.Y);
  }

  // 12. Arc. A region contour under clear polarity records no arc edges, just as it
  // records no straight ones: its arc points alone would make a stray dark polygon.
  if (st.PenDown && (f.HasX || f.HasY || f.HasI || f.HasJ) &&
      (st.InterpolationMode == 2 || st.InterpolationMode == 3) && (!st.Region || st.Dark))
    Arc(st, f, target, fineTargetX, fineTargetY);

  // 13. Flash.
  if (f.HasD && f.D == 3 && !st.Region) {
    Flash(st, target);
    st.PenDown = false;
  }

  // 14. Current point.
  if (f.HasX) {
    st.CurrentX = f.X;
    st.FineCurrentX = f.FineX;
  }
  if (f.HasY) {
    st.CurrentY = f.Y;
    st.FineCurrentY = f.FineY;
  }
}

}  // namespace pv
