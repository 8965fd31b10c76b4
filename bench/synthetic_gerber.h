#pragma once
// A deterministic synthetic copper layer for benchmarks: an 8 x 6 inch board whose objects
// are, by count, about 40 % short tracks of 2 to 6 segments, 40 % pad flashes over circle,
// rectangle, obround, polygon and macro apertures, 10 % multi-quadrant arcs and 10 % small
// regions (a third of them with an arc edge). Apertures are selected in runs of a few
// objects, as CAD output groups them. Inch files use the 3.5 format, millimetre files 3.4.
// The same options always give the same bytes: the random source is our own, not the
// standard library's distributions (whose results differ between implementations).
#include <charconv>
#include <cmath>
#include <cstdint>
#include <string>

namespace pv {

struct TSyntheticBoardOptions {
  uint64_t Bytes = 1 << 20;  // the file ends ("M02*") once at least this many bytes are written
  bool Millimetre = false;   // false: inch, 3.5 format; true: millimetre, 3.4 format
  uint64_t Seed = 0x5EED2024;
};

namespace synthetic {

// splitmix64: small, fast and the same everywhere.
class TRandom {
 public:
  explicit TRandom(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // Uniform in lo..hi inclusive (the tiny modulo bias does not matter here).
  int64_t Range(int64_t lo, int64_t hi) {
    return lo + static_cast<int64_t>(Next() % static_cast<uint64_t>(hi - lo + 1));
  }
  // Uniform in [0, 1).
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

 private:
  uint64_t state_;
};

struct TAperture {
  int32_t DCode;
  const char* Definition;  // the text after "%ADD<code>", sizes in inch
  const char* DefinitionMm;
};

// D10..D15 draw tracks and arcs; D16..D26 are flashed.
inline constexpr TAperture kTrackApertures[] = {
    {10, "C,0.0060", "C,0.1524"}, {11, "C,0.0080", "C,0.2032"}, {12, "C,0.0100", "C,0.2540"},
    {13, "C,0.0120", "C,0.3048"}, {14, "C,0.0160", "C,0.4064"}, {15, "C,0.0250", "C,0.6350"}};
inline constexpr TAperture kPadApertures[] = {
    {16, "C,0.0500", "C,1.2700"},
    {17, "C,0.0600", "C,1.5240"},
    {18, "R,0.0600X0.0500", "R,1.5240X1.2700"},
    {19, "R,0.0240X0.0310", "R,0.6096X0.7874"},
    {20, "R,0.0800X0.0800", "R,2.0320X2.0320"},
    {21, "O,0.0600X0.1000", "O,1.5240X2.5400"},
    {22, "O,0.0800X0.0400", "O,2.0320X1.0160"},
    {23, "P,0.0700X6X0", "P,1.7780X6X0"},
    {24, "P,0.0600X8X22.5", "P,1.5240X8X22.5"},
    {25, "RoundRect,0.0700X0.0400X0.0100", "RoundRect,1.7780X1.0160X0.2540"},
    {26, "Octagon,0.0650", "Octagon,1.6510"}};

class TWriter {
 public:
  TWriter(std::string& out, bool mm) : out_(out), perInch_(mm ? 254000.0 : 100000.0) {}

  // File units (1e-5 inch or 1e-4 mm) of a length in inches.
  int64_t Units(double inches) const { return std::llround(inches * perInch_); }

  void Text(const char* s) { out_ += s; }
  void Number(int64_t v) {
    char buf[24];
    out_.append(buf, std::to_chars(buf, buf + sizeof buf, v).ptr);
  }
  void Coord(char letter, int64_t v) {
    out_ += letter;
    Number(v);
  }
  // "X..Y..Dnn*", both coordinates always written (as most CAD output does).
  void Point(int64_t x, int64_t y, int d) {
    Coord('X', x);
    Coord('Y', y);
    out_ += d == 1 ? "D01*\n" : d == 2 ? "D02*\n" : "D03*\n";
  }
  void Arc(int64_t x, int64_t y, int64_t i, int64_t j) {
    Coord('X', x);
    Coord('Y', y);
    Coord('I', i);
    Coord('J', j);
    out_ += "D01*\n";
  }
  void Mode(int g) {
    if (g == mode_) return;
    mode_ = g;
    out_ += g == 1 ? "G01*\n" : g == 2 ? "G02*\n" : "G03*\n";
  }
  void Select(int d) {
    if (d == aperture_) return;
    aperture_ = d;
    out_ += 'D';
    Number(d);
    out_ += "*\n";
  }
  size_t Size() const { return out_.size(); }

 private:
  std::string& out_;
  double perInch_;
  int mode_ = 0;
  int aperture_ = 0;
};

}  // namespace synthetic

inline std::string GenerateSyntheticGerber(const TSyntheticBoardOptions& options) {
  using namespace synthetic;
  constexpr double kPi = 3.14159265358979323846;
  std::string out;
  out.reserve(options.Bytes + 256);
  const bool mm = options.Millimetre;
  TWriter w(out, mm);
  TRandom rnd(options.Seed);

  w.Text("G04 Synthetic copper layer for benchmarks*\n");
  w.Text(mm ? "%FSLAX34Y34*%\n%MOMM*%\n" : "%FSLAX35Y35*%\n%MOIN*%\n");
  w.Text("%LPD*%\n");
  // A rounded rectangle ($1 wide, $2 high, corner radius $3) and an octagon of diameter $1.
  w.Text(
      "%AMRoundRect*\n"
      "0 rounded rectangle*\n"
      "21,1,$1,$2-$3-$3,0,0,0*\n"
      "21,1,$1-$3-$3,$2,0,0,0*\n"
      "1,1,$3+$3,$1/2-$3,$2/2-$3*\n"
      "1,1,$3+$3,0-$1/2+$3,$2/2-$3*\n"
      "1,1,$3+$3,0-$1/2+$3,0-$2/2+$3*\n"
      "1,1,$3+$3,$1/2-$3,0-$2/2+$3*%\n");
  w.Text("%AMOctagon*\n5,1,8,0,0,$1,0*%\n");
  auto define = [&](const TAperture& a) {
    w.Text("%ADD");
    w.Number(a.DCode);
    w.Text(mm ? a.DefinitionMm : a.Definition);
    w.Text("*%\n");
  };
  for (const TAperture& a : kTrackApertures) define(a);
  for (const TAperture& a : kPadApertures) define(a);
  w.Text("G75*\n");
  w.Mode(1);

  const int64_t boardW = w.Units(8.0), boardH = w.Units(6.0);
  const int64_t margin = w.Units(0.25);
  auto clampX = [&](int64_t x) {
    return x < margin ? margin : x > boardW - margin ? boardW - margin : x;
  };
  auto clampY = [&](int64_t y) {
    return y < margin ? margin : y > boardH - margin ? boardH - margin : y;
  };
  auto randomX = [&] { return rnd.Range(margin, boardW - margin); };
  auto randomY = [&] { return rnd.Range(margin, boardH - margin); };
  // Eight directions, as routers lay copper.
  static constexpr int kDx[] = {1, 1, 0, -1, -1, -1, 0, 1};
  static constexpr int kDy[] = {0, 1, 1, 1, 0, -1, -1, -1};

  const size_t target = options.Bytes > 8 ? options.Bytes - 5 : 0;
  while (w.Size() < target) {
    // One run: 2 to 5 objects of one kind and one aperture.
    const int64_t kind = rnd.Range(0, 99);
    const int64_t run = rnd.Range(2, 5);
    if (kind < 40) {  // tracks of 2 to 6 segments
      w.Select(static_cast<int>(kTrackApertures[rnd.Range(0, 5)].DCode));
      w.Mode(1);
      for (int64_t k = 0; k < run; ++k) {
        int64_t x = randomX(), y = randomY();
        w.Point(x, y, 2);
        const int64_t segments = rnd.Range(2, 6);
        int dir = static_cast<int>(rnd.Range(0, 7));
        for (int64_t s = 0; s < segments; ++s) {
          const int64_t len = w.Units(0.02 + 0.28 * rnd.Unit());
          // Diagonal steps keep 45 degrees: equal x and y lengths.
          const int64_t step = kDx[dir] && kDy[dir] ? len * 7 / 10 : len;
          x = clampX(x + kDx[dir] * step);
          y = clampY(y + kDy[dir] * step);
          w.Point(x, y, 1);
          dir = (dir + static_cast<int>(rnd.Range(-1, 1)) + 8) % 8;
        }
      }
    } else if (kind < 80) {  // a row of pads
      constexpr int64_t kPads = sizeof kPadApertures / sizeof kPadApertures[0];
      w.Select(static_cast<int>(kPadApertures[rnd.Range(0, kPads - 1)].DCode));
      int64_t x = randomX(), y = randomY();
      const int64_t pitch = w.Units(0.05 + 0.05 * static_cast<double>(rnd.Range(0, 2)));
      const bool vertical = rnd.Range(0, 1) == 1;
      for (int64_t k = 0; k < run; ++k) {
        w.Point(x, y, 3);
        if (vertical)
          y = clampY(y + pitch);
        else
          x = clampX(x + pitch);
      }
    } else if (kind < 90) {  // multi-quadrant arcs
      w.Select(static_cast<int>(kTrackApertures[rnd.Range(0, 5)].DCode));
      for (int64_t k = 0; k < run; ++k) {
        const int64_t cx = randomX(), cy = randomY();
        const double r = static_cast<double>(w.Units(0.02 + 0.18 * rnd.Unit()));
        const double a1 = 2 * kPi * rnd.Unit();
        const bool full = rnd.Range(0, 9) == 0;
        const bool ccw = rnd.Range(0, 1) == 1;
        const double sweep = full ? 0 : (kPi / 6 + (5 * kPi / 3) * rnd.Unit());
        const double a2 = ccw ? a1 + sweep : a1 - sweep;
        const int64_t sx = cx + std::llround(r * std::cos(a1)),
                      sy = cy + std::llround(r * std::sin(a1));
        const int64_t ex = full ? sx : cx + std::llround(r * std::cos(a2));
        const int64_t ey = full ? sy : cy + std::llround(r * std::sin(a2));
        w.Point(sx, sy, 2);
        w.Mode(ccw ? 3 : 2);
        w.Arc(ex, ey, cx - sx, cy - sy);
      }
      w.Mode(1);
    } else {  // small regions
      for (int64_t k = 0; k < run; ++k) {
        const int64_t x0 = randomX(), y0 = randomY();
        const int64_t wdt = w.Units(0.05 + 0.35 * rnd.Unit()),
                      hgt = w.Units(0.05 + 0.35 * rnd.Unit());
        const int64_t x1 = clampX(x0 + wdt), y1 = clampY(y0 + hgt);
        const int64_t cut = (x1 - x0) / 4;
        w.Text("G36*\n");
        w.Point(x0, y0, 2);
        w.Point(x1 - cut, y0, 1);
        w.Point(x1, y0 + cut, 1);
        if (rnd.Range(0, 2) == 0 && y1 - y0 > 2 * cut) {
          // A half-round end: a counterclockwise half circle over the top edge.
          const int64_t mid = (x0 + x1) / 2;
          w.Point(x1, y1 - (x1 - x0) / 2, 1);
          w.Mode(3);
          w.Arc(x0, y1 - (x1 - x0) / 2, mid - x1, 0);
          w.Mode(1);
        } else {
          w.Point(x1, y1, 1);
          w.Point(x0, y1, 1);
        }
        w.Point(x0, y0, 1);
        w.Text("G37*\n");
      }
    }
  }
  w.Text("M02*\n");
  return out;
}

}  // namespace pv
