#include "draw/image.h"

#include <algorithm>
#include <cmath>

#include "platform/checked.h"
#include "platform/process.h"

namespace pv {

namespace {

constexpr int32_t kGrowth = 1000;
constexpr int32_t kSpare = 100;

void Include(TID_DrawFileFormat& im, int32_t x, int32_t y) {
  if (x > im.MaxX) im.MaxX = x;
  if (x < im.MinX) im.MinX = x;
  if (y > im.MaxY) im.MaxY = y;
  if (y < im.MinY) im.MinY = y;
}

// The slot the next add writes; a cleared image has none.
TID_DrawRecord& NextSlot(TID_DrawFileFormat& im) {
  if (im.Count < 0 || static_cast<size_t>(im.Count) >= im.Records.size()) ThrowRange();
  return im.Records[static_cast<size_t>(im.Count)];
}

// Common tail of every add: count the record, keep at least 100 spare slots.
void Commit(TID_DrawFileFormat& im) {
  im.Count = CheckedAdd(im.Count, 1);
  if (!(CheckedAdd(im.Count, kSpare) < im.Capacity)) {
    int32_t cap = CheckedAdd(im.Capacity, kGrowth);
    im.Records.resize(static_cast<size_t>(cap));
    im.Capacity = cap;
  }
}

void AddPointList(TID_DrawFileFormat& im, uint8_t kind, int32_t w, int32_t x, int32_t y,
                  std::span<const TPoint> pts) {
  TID_DrawRecord& r = NextSlot(im);
  int32_t count = CheckedNarrow(static_cast<int64_t>(pts.size()) * 2);
  r.Kind = kind;
  r.Flags = im.AddFlags;
  r.X = x;
  r.Y = y;
  r.Size = w;
  r.MaxDX = r.MinDX = r.MaxDY = r.MinDY = 0;
  r.Points.resize(static_cast<uint32_t>(count));
  r.Count = count;
  int32_t h = w / 2;
  for (size_t i = 0; i < pts.size(); ++i) {
    const TPoint& v = pts[i];
    int32_t ax = CheckedAdd(v.X, h), ay = CheckedAdd(v.Y, h);
    int32_t bx = CheckedSub(v.X, h), by = CheckedSub(v.Y, h);
    if (i == 0) {
      r.MaxDX = ax, r.MaxDY = ay, r.MinDX = bx, r.MinDY = by;
    } else {
      r.MaxDX = std::max(r.MaxDX, ax);
      r.MaxDY = std::max(r.MaxDY, ay);
      r.MinDX = std::min(r.MinDX, bx);
      r.MinDY = std::min(r.MinDY, by);
    }
    Include(im, CheckedAdd(x, ax), CheckedAdd(y, ay));
    Include(im, CheckedAdd(x, bx), CheckedAdd(y, by));
    r.Points[static_cast<uint32_t>(2 * i)] = v.X;
    r.Points[static_cast<uint32_t>(2 * i + 1)] = v.Y;
  }
  Commit(im);
}

}  // namespace

void ClearImage(TID_DrawFileFormat& image) {
  if (image.Count > static_cast<int64_t>(image.Records.size()))
    image.Count = static_cast<int32_t>(image.Records.size());
  for (int32_t i = 0; i < image.Count; ++i) {
    image.Records[static_cast<size_t>(i)].Points.release();
    image.Records[static_cast<size_t>(i)].Count = 0;
  }
  std::vector<TID_DrawRecord>().swap(image.Records);
  image.Count = 0;
  image.Capacity = 0;
}

void ResetImage(TID_DrawFileFormat& image) {
  ClearImage(image);
  image.Records.resize(kGrowth);
  image.Count = 0;
  image.Capacity = kGrowth;
  image.MinX = image.MinY = 1000000;
  image.MaxX = image.MaxY = -1000000;
  image.Color = clWhite;
  image.AddFlags = 0;
}

void AddCircle(TID_DrawFileFormat& image, int32_t x, int32_t y, int32_t d) {
  TID_DrawRecord& r = NextSlot(image);
  int32_t h = d / 2;
  int32_t lo = CheckedNeg(d) / 2;
  Include(image, CheckedSub(x, h), CheckedSub(y, h));
  Include(image, CheckedAdd(x, h), CheckedAdd(y, h));
  r.MinDX = r.MinDY = lo;
  r.MaxDX = r.MaxDY = h;
  r.Kind = rkCircle;
  r.Flags = image.AddFlags;
  r.X = x;
  r.Y = y;
  r.Size = d;
  r.Count = 0;
  r.Points.clear();
  Commit(image);
}

void AddRectangle(TID_DrawFileFormat& image, int32_t x, int32_t y, int32_t dx1, int32_t dy1,
                  int32_t dx2, int32_t dy2) {
  TID_DrawRecord& r = NextSlot(image);
  int32_t dxmin = std::min(dx1, dx2), dxmax = std::max(dx1, dx2);
  int32_t dymin = std::min(dy1, dy2), dymax = std::max(dy1, dy2);
  Include(image, CheckedAdd(x, dxmin), CheckedAdd(y, dymin));
  Include(image, CheckedAdd(x, dxmax), CheckedAdd(y, dymax));
  r.MinDX = dxmin;
  r.MinDY = dymin;
  r.MaxDX = dxmax;
  r.MaxDY = dymax;
  r.Kind = rkRectangle;
  r.Flags = image.AddFlags;
  r.X = x;
  r.Y = y;
  r.Size = 0;
  r.Points = {dxmin, dymin, dxmax, dymax};
  r.Count = 4;
  Commit(image);
}

void AddArc(TID_DrawFileFormat& image, int32_t width, int32_t cx, int32_t cy, int32_t sdx,
            int32_t sdy, int32_t edx, int32_t edy) {
  TID_DrawRecord& r = NextSlot(image);
  double fx = sdx, fy = sdy;
  int32_t rad = RoundCoord(std::sqrt(fx * fx + fy * fy));
  int32_t lo_x = CheckedSub(cx, rad), lo_y = CheckedSub(cy, rad);
  int32_t hi_x = CheckedAdd(cx, rad), hi_y = CheckedAdd(cy, rad);
  r.MinDX = r.MinDY = CheckedNeg(rad);
  r.MaxDX = r.MaxDY = rad;
  if (lo_x < image.MinX) image.MinX = lo_x;
  if (lo_y < image.MinY) image.MinY = lo_y;
  if (hi_x > image.MaxX) image.MaxX = hi_x;
  if (hi_y > image.MaxY) image.MaxY = hi_y;
  r.Kind = rkArc;
  r.Flags = image.AddFlags;
  r.X = cx;
  r.Y = cy;
  r.Size = width;
  r.Points = {sdx, sdy, edx, edy};
  r.Count = 4;
  Commit(image);
}

void AddTrack(TID_DrawFileFormat& image, int32_t width, int32_t x, int32_t y,
              std::span<const TPoint> points) {
  AddPointList(image, rkTrack, width, x, y, points);
}

void AddPolygon(TID_DrawFileFormat& image, int32_t width, int32_t x, int32_t y,
                std::span<const TPoint> points) {
  if (points.size() < 3) return;
  AddPointList(image, rkPolygon, width, x, y, points);
}

void AddRecordCopy(TID_DrawFileFormat& image, const TID_DrawRecord& record) {
  TID_DrawRecord& r = NextSlot(image);
  int32_t maxx = CheckedAdd(record.X, record.MaxDX), maxy = CheckedAdd(record.Y, record.MaxDY);
  int32_t minx = CheckedAdd(record.X, record.MinDX), miny = CheckedAdd(record.Y, record.MinDY);
  CopyRec(record, r);
  if (maxx > image.MaxX) image.MaxX = maxx;
  if (maxy > image.MaxY) image.MaxY = maxy;
  if (minx < image.MinX) image.MinX = minx;
  if (miny < image.MinY) image.MinY = miny;
  Commit(image);
}

void ReserveRecords(TID_DrawFileFormat& image, int32_t extra) {
  const int64_t needed = static_cast<int64_t>(image.Count) + extra + kSpare + 1;
  if (needed <= image.Capacity) return;
  const int64_t cap = (needed + kGrowth - 1) / kGrowth * kGrowth;
  image.Records.resize(static_cast<size_t>(CheckedNarrow(cap)));
  image.Capacity = static_cast<int32_t>(cap);
}

void CopyRec(const TID_DrawRecord& source, TID_DrawRecord& target) {
  if (&source == &target) return;
  target.X = source.X;
  target.Y = source.Y;
  target.MaxDX = source.MaxDX;
  target.MinDX = source.MinDX;
  target.MaxDY = source.MaxDY;
  target.MinDY = source.MinDY;
  target.Size = source.Size;
  target.Kind = source.Kind;
  target.Flags = source.Flags;
  target.Points = source.Points;
  target.Count = source.Count;
  if (source.Count != static_cast<int64_t>(source.Points.size())) ShowMessage("Bad Rec in CopyRec");
}

void CalcRecordExtent(TID_DrawRecord& r) {
  const TIntArray& p = r.Points;
  switch (r.Kind) {
    case rkCircle:
      r.MaxDX = r.MaxDY = r.Size / 2;
      r.MinDX = r.MinDY = CheckedNeg(r.Size) / 2;
      break;
    case rkRectangle:
      r.MinDX = std::min(p.at(0), p.at(2));
      r.MaxDX = std::max(p.at(0), p.at(2));
      r.MinDY = std::min(p.at(1), p.at(3));
      r.MaxDY = std::max(p.at(1), p.at(3));
      break;
    case rkTrack:
    case rkPolygon: {
      int32_t n = r.Count / 2;
      if (n == 0) break;  // no vertices: the box is kept
      int32_t minx = p.at(0), maxx = minx, miny = p.at(1), maxy = miny;
      for (int32_t i = 1; i < n; ++i) {
        int32_t x = p.at(2 * i), y = p.at(2 * i + 1);
        minx = std::min(minx, x), maxx = std::max(maxx, x);
        miny = std::min(miny, y), maxy = std::max(maxy, y);
      }
      if (r.Kind == rkTrack) {
        int32_t h = r.Size / 2;
        minx = CheckedSub(minx, h), miny = CheckedSub(miny, h);
        maxx = CheckedAdd(maxx, h), maxy = CheckedAdd(maxy, h);
      }
      r.MinDX = minx, r.MaxDX = maxx, r.MinDY = miny, r.MaxDY = maxy;
      break;
    }
    case rkArc: {
      int32_t sum = CheckedAdd(CheckedMul(p.at(0), p.at(0)), CheckedMul(p.at(1), p.at(1)));
      int32_t rad = RoundCoord(std::sqrt(static_cast<double>(sum)));
      r.MinDX = r.MinDY = CheckedNeg(rad);
      r.MaxDX = r.MaxDY = rad;
      break;
    }
    default:
      break;
  }
}

int32_t RoundCoord(double v) {
  const double t = v >= 0 ? v + 0.50001 : v - 0.50001;
  // Its truncation fits 32 bits exactly when t lies strictly between -2^31 - 1 and 2^31
  // (NaN does not); the conversion then truncates toward zero itself.
  if (!(t > -2147483649.0 && t < 2147483648.0)) ThrowRange();
  return static_cast<int32_t>(t);
}

bool IsShortCcwSweep(int32_t cx, int32_t cy, int32_t sx, int32_t sy, int32_t ex, int32_t ey) {
  int32_t dsx = CheckedSub(sx, cx), dsy = CheckedSub(sy, cy);
  int32_t dex = CheckedSub(ex, cx), dey = CheckedSub(ey, cy);
  if (dsy >= 0) {
    if (dey >= 0) return dsx > dex;
    return static_cast<int64_t>(dex) < -static_cast<int64_t>(dsx);
  }
  if (dey < 0) return dsx < dex;
  return static_cast<int64_t>(dex) > -static_cast<int64_t>(dsx);
}

}  // namespace pv
