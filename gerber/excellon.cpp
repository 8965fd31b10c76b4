// Excellon NC drill files: header (M48 ... % or M95) with units, zero mode, number format
// and tool table; a body of tool selections, holes, G85 slots, routed cuts (G00 to G03
// between M15 and M16/M17) and repeats, up to M30 or M00. One command per line.
#include "gerber/excellon.h"

#include <array>
#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "gerber/text_chars.h"
#include "platform/checked.h"

namespace pv {

namespace {

constexpr size_t kReadChunk = 1 << 20;
// How far into a file the content decision looks, in lines that say something.
constexpr int kSniffLines = 200;
// A routed path longer than this goes to the image in pieces (each piece starts where the
// last one ended, so the cut stays continuous).
constexpr size_t kPathPoints = 4096;

constexpr double kInch = 1000.0;  // image units per inch
constexpr double kMm = 39.37;     // image units per millimetre
constexpr double kMil = 1.0;      // image units per thousandth of an inch

bool IsAlpha(char c) {
  c = Upper(c);
  return c >= 'A' && c <= 'Z';
}
bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}
bool IsNumberChar(char c) {
  return IsDigit(c) || c == '+' || c == '-' || c == '.';
}

// Case-insensitive prefix test.
bool StartsWithWord(std::string_view s, std::string_view word) {
  if (s.size() < word.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (Upper(s[i]) != word[i]) return false;
  return true;
}

std::string_view TrimBlanks(std::string_view s) {
  while (!s.empty() && (IsBlank(s.front()) || s.front() == '\0')) s.remove_prefix(1);
  while (!s.empty() && (IsBlank(s.back()) || s.back() == '\0')) s.remove_suffix(1);
  return s;
}

double Pow10(int k) {
  static constexpr double kTable[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                      1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  if (k >= 0 && k <= 22) return kTable[k];
  if (k < 0 && k >= -22) return 1.0 / kTable[-k];
  return std::pow(10.0, k);
}

// An unsigned integer of at most 9 digits; false for anything else.
bool SmallInt(std::string_view s, int64_t& v) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  if (s.empty() || s.size() > 9) return false;
  v = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    v = v * 10 + (c - '0');
  }
  return true;
}

// A number with a decimal point (or one read as plain decimal): its value; false when it
// holds no digit or is malformed.
bool DecimalText(std::string_view s, double& v) {
  if (!s.empty() && s[0] == '+') s.remove_prefix(1);
  bool digit = false, huge = false, dot = false;
  for (char c : s) {
    digit |= IsDigit(c);
    dot |= c == '.';
    huge |= !dot && c >= '1' && c <= '9';
  }
  if (!digit) return false;
  double r = 0;
  auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), r);
  if (ec == std::errc::result_out_of_range) {
    // Beyond the double range: infinite (refused when used) or vanishingly small.
    v = huge ? HUGE_VAL : 0.0;
    if (!s.empty() && s[0] == '-') v = -v;
    return true;
  }
  if (ec != std::errc() || ptr != s.data() + s.size()) return false;
  v = r;
  return true;
}

[[noreturn]] void Refuse(const std::string& why, int64_t line) {
  char digits[24];
  auto r = std::to_chars(digits, digits + sizeof digits, line);
  throw EDrillRefused("Drill file " + why + " (line " + std::string(digits, r.ptr) + ")");
}

std::string ToolName(int64_t n) {
  char digits[24];
  auto r = std::to_chars(digits, digits + sizeof digits, n);
  return "T" + std::string(digits, r.ptr);
}

struct Point {
  double X = 0, Y = 0;  // image units, not yet rounded
};

struct DrillState {
  TID_DrawFileFormat* Image = nullptr;
  std::string_view Text;  // the whole file
  size_t LineStart = 0;   // offset of the line being read
  int64_t Line = 0;

  // Units and number format.
  bool Metric = false;
  double Factor = kInch;  // image units per file unit
  int32_t IntegerDigits = 2, DecimalDigits = 4;
  bool FormatStated = false;
  char Zeros = '?';  // 'L' leading zeros written, 'T' trailing zeros written, '?' not stated
  bool Incremental = false;
  bool Header = false;

  // Motion.
  bool Rout = false;
  int32_t Interpolation = 0;  // 0 rapid, 1 linear, 2 clockwise, 3 counterclockwise
  bool ToolDown = false;
  bool UnplungedCut = false;  // a G01/G02/G03 move without M15
  int32_t Tool = -1;          // selected tool, -1 none
  Point At;                   // current point
  Point Offset;               // G93 zero

  std::array<int32_t, kMaxDrillTool + 1> Diameter{};  // image units; 0 = not given
  // Tools defined before the file named its units (a header without METRIC or INCH and an
  // M71 after it): their C values, converted at the first unit statement.
  bool UnitsStated = false;
  std::array<double, kMaxDrillTool + 1> Unconverted{};  // file units; 0 = none
  std::vector<TPoint>* Path = nullptr;                  // routed cut being drawn
  int32_t PathWidth = 0;

  uint64_t Drawn = 0;        // holes, slots and cuts recorded
  uint64_t RepeatHoles = 0;  // holes made by repeats
  bool Ended = false;        // M30 or M00 seen
};

// The coordinate words of one line.
struct Words {
  bool HasX = false, HasY = false, HasI = false, HasJ = false, HasA = false;
  double X = 0, Y = 0, I = 0, J = 0, A = 0;  // file units
  int64_t Repeat = -1;
  bool ZeroSet = false;  // G93
  bool Slot = false;     // G85 seen: SlotStart holds the start
  Point SlotStart;
};

// The coordinate letters and the fields of Words they set.
struct CoordinateWord {
  char Letter;
  bool Words::*Has;
  double Words::*Value;
};
constexpr CoordinateWord kCoordinateWords[] = {{'X', &Words::HasX, &Words::X},
                                               {'Y', &Words::HasY, &Words::Y},
                                               {'I', &Words::HasI, &Words::I},
                                               {'J', &Words::HasJ, &Words::J},
                                               {'A', &Words::HasA, &Words::A}};

const CoordinateWord* CoordinateWordOf(char letter) {
  for (const CoordinateWord& c : kCoordinateWords)
    if (c.Letter == letter) return &c;
  return nullptr;
}

int32_t Round(const DrillState& st, double v) {
  if (!std::isfinite(v) || !(v > -2147483648.0 && v < 2147483647.0))
    Refuse("coordinates or sizes beyond the 32-bit image", st.Line);
  return RoundCoord(v);
}

TPoint RoundPoint(const DrillState& st, Point p) {
  return TPoint{Round(st, p.X), Round(st, p.Y)};
}

void SetUnits(DrillState& st, bool metric) {
  st.Metric = metric;
  st.Factor = metric ? kMm : kInch;
  if (!st.UnitsStated) {
    st.UnitsStated = true;
    for (size_t t = 0; t < st.Unconverted.size(); ++t) {
      if (st.Unconverted[t] == 0) continue;
      const int32_t d = Round(st, st.Unconverted[t] * st.Factor);
      st.Diameter[t] = d > 0 ? d : 0;
      st.Unconverted[t] = 0;
    }
  }
  if (!st.FormatStated) {
    st.IntegerDigits = metric ? 3 : 2;
    st.DecimalDigits = metric ? 3 : 4;
  }
}

// The fields after METRIC, INCH or M71/M72: LZ, TZ and a number format such as 000.000.
void UnitOptions(DrillState& st, std::string_view rest) {
  while (!rest.empty()) {
    size_t comma = rest.find(',');
    std::string_view field = TrimBlanks(rest.substr(0, comma));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    if (StartsWithWord(field, "LZ") && field.size() == 2) {
      st.Zeros = 'L';
    } else if (StartsWithWord(field, "TZ") && field.size() == 2) {
      st.Zeros = 'T';
    } else if (!field.empty()) {
      int32_t before = 0, after = 0;
      bool dot = false, ok = true;
      for (char c : field) {
        if (c == '0' || c == '#')
          (dot ? after : before) += 1;
        else if (c == '.' && !dot)
          dot = true;
        else
          ok = false;
      }
      if (ok && dot && before > 0 && after > 0 && before <= 9 && after <= 9) {
        st.IntegerDigits = before;
        st.DecimalDigits = after;
        st.FormatStated = true;
      }
    }
  }
}

// The zero mode a file does not state, from its coordinates: a writer that omits leading
// zeros never starts a shortened number with 0, one that omits trailing zeros never ends
// one with 0. Numbers of the longest length say nothing and are left out.
char InferZeros(const DrillState& st) {
  constexpr size_t kLengths = 24;
  std::array<uint64_t, kLengths> count{}, leading{}, trailing{};
  const std::string_view t = st.Text;
  bool comment = false, lineStart = true;
  for (size_t i = st.LineStart; i < t.size();) {
    const char c = t[i];
    if (c == '\n' || c == '\r') {
      comment = false, lineStart = true, ++i;
      continue;
    }
    if (lineStart && !IsBlank(c)) {
      comment = c == ';';
      lineStart = false;
    }
    const char u = Upper(c);
    ++i;
    if (comment || (u != 'X' && u != 'Y' && u != 'I' && u != 'J')) continue;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    const size_t s = i;
    while (i < t.size() && IsDigit(t[i])) ++i;
    if (i < t.size() && t[i] == '.') continue;  // decimal numbers say nothing
    const size_t n = i - s;
    if (n < 2) continue;
    const size_t k = n < kLengths ? n : kLengths - 1;
    ++count[k];
    if (t[s] == '0') ++leading[k];
    if (t[i - 1] == '0') ++trailing[k];
  }
  size_t longest = 0;
  for (size_t k = 0; k < kLengths; ++k)
    if (count[k]) longest = k;
  uint64_t lead = 0, trail = 0;
  for (size_t k = 0; k < longest; ++k) lead += leading[k], trail += trailing[k];
  return lead > trail ? 'L' : 'T';
}

// A coordinate word's number in file units; false when it holds no digit.
bool CoordinateValue(DrillState& st, std::string_view s, double& v) {
  if (s.find('.') != std::string_view::npos) return DecimalText(s, v);
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return false;
  double digits = 0;
  for (char c : s) {
    if (!IsDigit(c)) return false;
    digits = digits * 10 + (c - '0');
  }
  const int32_t n = static_cast<int32_t>(std::min<size_t>(s.size(), 1 << 20));
  if (!st.FormatStated && n > st.IntegerDigits + st.DecimalDigits) {
    char a[8], b[8], len[16];
    auto ra = std::to_chars(a, a + sizeof a, st.IntegerDigits);
    auto rb = std::to_chars(b, b + sizeof b, st.DecimalDigits);
    auto rl = std::to_chars(len, len + sizeof len, n);
    Refuse("states no number format, and its coordinates of " + std::string(len, rl.ptr) +
               " digits do not fit the " + std::string(a, ra.ptr) + "." + std::string(b, rb.ptr) +
               " format of its units",
           st.Line);
  }
  if (st.Zeros == '?') st.Zeros = InferZeros(st);
  if (st.Zeros == 'T')
    v = digits / Pow10(st.DecimalDigits);
  else
    v = digits * Pow10(st.IntegerDigits - n);
  if (negative) v = -v;
  return true;
}

// The diameter of the tool in use; refuses a file that drills without one.
int32_t ToolWidth(const DrillState& st) {
  if (st.Tool < 0) Refuse("drills before any tool is selected", st.Line);
  const int32_t d = st.Diameter[static_cast<size_t>(st.Tool)];
  if (d <= 0) Refuse("uses tool " + ToolName(st.Tool) + ", which has no diameter", st.Line);
  return d;
}

void FlushPath(DrillState& st) {
  std::vector<TPoint>& path = *st.Path;
  if (path.size() >= 2) {
    AddTrack(*st.Image, st.PathWidth, 0, 0, path);
    ++st.Drawn;
  }
  path.clear();
}

void CutTo(DrillState& st, Point to) {
  std::vector<TPoint>& path = *st.Path;
  const int32_t width = ToolWidth(st);
  if (!path.empty() && width != st.PathWidth) FlushPath(st);
  if (path.empty()) {
    st.PathWidth = width;
    path.push_back(RoundPoint(st, st.At));
  }
  const TPoint p = RoundPoint(st, to);
  if (p.X != path.back().X || p.Y != path.back().Y) path.push_back(p);
  if (path.size() >= kPathPoints) {
    FlushPath(st);
    path.push_back(p);
  }
}

// A routed arc from the current point to `to`: the centre from I/J (relative to the
// start) or from the radius A (the shorter arc; a negative radius the longer one).
void ArcTo(DrillState& st, Point to, const Words& w) {
  const bool ccw = st.Interpolation == 3;
  Point c;
  if (w.HasI || w.HasJ) {
    c.X = st.At.X + (w.HasI ? w.I * st.Factor : 0.0);
    c.Y = st.At.Y + (w.HasJ ? w.J * st.Factor : 0.0);
  } else if (w.HasA) {
    const double r = std::fabs(w.A * st.Factor);
    const double dx = to.X - st.At.X, dy = to.Y - st.At.Y;
    const double d = std::sqrt(dx * dx + dy * dy);
    if (!(d > 0)) return;
    const double h2 = r * r - d * d / 4;
    const double h = h2 > 0 ? std::sqrt(h2) : 0.0;
    // Left of the chord for a short counterclockwise arc.
    double side = ccw ? 1.0 : -1.0;
    if (w.A < 0) side = -side;
    c.X = (st.At.X + to.X) / 2 - side * h * dy / d;
    c.Y = (st.At.Y + to.Y) / 2 + side * h * dx / d;
  } else {
    CutTo(st, to);  // no centre: a straight cut
    return;
  }
  const int32_t width = ToolWidth(st);
  const TPoint pc = RoundPoint(st, c), ps = RoundPoint(st, st.At), pe = RoundPoint(st, to);
  FlushPath(st);
  const int32_t sx = CheckedSub(ps.X, pc.X), sy = CheckedSub(ps.Y, pc.Y);
  const int32_t ex = CheckedSub(pe.X, pc.X), ey = CheckedSub(pe.Y, pc.Y);
  if (ccw)
    AddArc(*st.Image, width, pc.X, pc.Y, sx, sy, ex, ey);
  else
    AddArc(*st.Image, width, pc.X, pc.Y, ex, ey, sx, sy);
  ++st.Drawn;
}

void Hole(DrillState& st, Point p) {
  const int32_t d = ToolWidth(st);
  const TPoint q = RoundPoint(st, p);
  AddCircle(*st.Image, q.X, q.Y, d);
  ++st.Drawn;
}

Point Target(const DrillState& st, const Words& w, Point from) {
  Point p = from;
  if (w.HasX) p.X = (st.Incremental ? from.X : st.Offset.X) + w.X * st.Factor;
  if (w.HasY) p.Y = (st.Incremental ? from.Y : st.Offset.Y) + w.Y * st.Factor;
  return p;
}

// What the coordinates of a line do, once the line is read.
void Finish(DrillState& st, Words& w) {
  // Drilling ends a header that was never closed.
  if (w.HasX || w.HasY || w.Slot) st.Header = false;
  if (w.ZeroSet) {
    if (w.HasX) st.Offset.X = w.X * st.Factor;
    if (w.HasY) st.Offset.Y = w.Y * st.Factor;
    return;
  }
  if (w.Repeat >= 0) {
    // R: the last hole again, n times, each a step of X and Y further.
    st.RepeatHoles += static_cast<uint64_t>(w.Repeat);
    if (st.RepeatHoles > kFreeDrillRepeats + st.Text.size() / 2)
      Refuse("repeats ask for more holes than its size allows", st.Line);
    const double dx = w.HasX ? w.X * st.Factor : 0.0, dy = w.HasY ? w.Y * st.Factor : 0.0;
    for (int64_t k = 0; k < w.Repeat; ++k) {
      st.At.X += dx;
      st.At.Y += dy;
      Hole(st, st.At);
    }
    return;
  }
  if (w.Slot) {
    const Point end = Target(st, w, w.SlotStart);
    const int32_t width = ToolWidth(st);
    const TPoint ends[2] = {RoundPoint(st, w.SlotStart), RoundPoint(st, end)};
    AddTrack(*st.Image, width, 0, 0, ends);
    ++st.Drawn;
    st.At = end;
    return;
  }
  if (!w.HasX && !w.HasY) return;
  const Point to = Target(st, w, st.At);
  if (!st.Rout) {
    Hole(st, to);
  } else if (st.Interpolation != 0) {
    if (!st.ToolDown)
      st.UnplungedCut = true;
    else if (st.Interpolation == 1)
      CutTo(st, to);
    else
      ArcTo(st, to, w);
  }
  st.At = to;
}

void SelectOrDefineTool(DrillState& st, int64_t n, size_t digits, bool hasDiameter,
                        double diameter) {
  if (n > kMaxDrillTool)
    Refuse("names tool " + ToolName(n) + ", beyond any drill's tool table", st.Line);
  if (hasDiameter) {
    const int32_t d = Round(st, diameter * st.Factor);
    st.Diameter[static_cast<size_t>(n)] = d > 0 ? d : 0;
    st.Unconverted[static_cast<size_t>(n)] = st.UnitsStated || !(diameter > 0) ? 0 : diameter;
    if (st.Header) return;
  } else if (digits == 4 && st.Diameter[static_cast<size_t>(n)] == 0 &&
             st.Diameter[static_cast<size_t>(n / 100)] != 0) {
    n /= 100;  // T0101: tool 01 with its offset 01
  }
  FlushPath(st);
  st.Tool = static_cast<int32_t>(n);
}

// A comment: the number format of ;FILE_FORMAT=2:4, and tool sizes of comments such as
// ";T01 Holesize 1. = 8.000000 Tolerance = ... PLATED MILS" for tools without C.
void Comment(DrillState& st, std::string_view s) {
  s = TrimBlanks(s.substr(1));
  if (StartsWithWord(s, "FILE_FORMAT")) {
    s = TrimBlanks(s.substr(11));
    if (s.empty() || s[0] != '=') return;
    s = TrimBlanks(s.substr(1));
    size_t i = 0;
    int32_t a = 0, b = 0;
    while (i < s.size() && IsDigit(s[i]) && a < 100) a = a * 10 + (s[i++] - '0');
    std::string_view rest = TrimBlanks(s.substr(i));
    if (i == 0 || rest.empty() || rest[0] != ':') return;
    rest = TrimBlanks(rest.substr(1));
    size_t j = 0;
    while (j < rest.size() && IsDigit(rest[j]) && b < 100) b = b * 10 + (rest[j++] - '0');
    if (j == 0 || !TrimBlanks(rest.substr(j)).empty()) return;
    if (a < 1 || a > 9 || b < 1 || b > 9) return;
    st.IntegerDigits = a;
    st.DecimalDigits = b;
    st.FormatStated = true;
    return;
  }
  if (s.size() < 2 || Upper(s[0]) != 'T' || !IsDigit(s[1])) return;
  size_t i = 1;
  int64_t n = 0;
  while (i < s.size() && IsDigit(s[i]) && n <= kMaxDrillTool) n = n * 10 + (s[i++] - '0');
  if (n > kMaxDrillTool || st.Diameter[static_cast<size_t>(n)] != 0) return;
  const size_t hs = s.find("Holesize", i);
  if (hs == std::string_view::npos) return;
  const size_t eq = s.find('=', hs);
  if (eq == std::string_view::npos) return;
  std::string_view rest = TrimBlanks(s.substr(eq + 1));
  size_t e = 0;
  while (e < rest.size() && IsNumberChar(rest[e])) ++e;
  double v = 0;
  if (!DecimalText(rest.substr(0, e), v) || !(v > 0)) return;
  double unit = 0;
  if (rest.find(" MILS") != std::string_view::npos)
    unit = kMil;
  else if (rest.find(" MM") != std::string_view::npos)
    unit = kMm;
  else if (rest.find(" INCH") != std::string_view::npos)
    unit = kInch;
  if (unit == 0) return;
  const int32_t d = Round(st, v * unit);
  st.Diameter[static_cast<size_t>(n)] = d > 0 ? d : 0;
  st.Unconverted[static_cast<size_t>(n)] = 0;
}

// A line that begins with a word of letters: METRIC, INCH, ICI and the header words we
// have no use for (FMAT, VER, DETECT, ATC).
void Keyword(DrillState& st, std::string_view s) {
  const size_t comma = s.find(',');
  const std::string_view word = TrimBlanks(s.substr(0, comma));
  const std::string_view rest =
      comma == std::string_view::npos ? std::string_view() : s.substr(comma + 1);
  if (StartsWithWord(word, "METRIC") && word.size() == 6) {
    SetUnits(st, true);
    UnitOptions(st, rest);
  } else if (StartsWithWord(word, "INCH") && word.size() == 4) {
    SetUnits(st, false);
    UnitOptions(st, rest);
  } else if (StartsWithWord(word, "ICI") && word.size() == 3) {
    st.Incremental = !StartsWithWord(TrimBlanks(rest), "OFF");
  }
}

// A line of words (letter and number): codes and coordinates, worked in order.
void WordLine(DrillState& st, std::string_view s) {
  Words w;
  size_t i = 0;
  while (i < s.size() && !st.Ended) {
    const char letter = Upper(s[i++]);
    if (!IsAlpha(letter)) continue;
    const size_t start = i;
    while (i < s.size() && IsNumberChar(s[i])) ++i;
    const std::string_view num = s.substr(start, i - start);
    if (const CoordinateWord* c = CoordinateWordOf(letter)) {
      // A number that does not read leaves the word as an earlier one of its letter set it.
      w.*c->Has = CoordinateValue(st, num, w.*c->Value) || w.*c->Has;
      continue;
    }
    int64_t code = 0;
    switch (letter) {
      case 'R':
        if (SmallInt(num, code)) w.Repeat = code;
        break;
      case 'T': {
        if (!SmallInt(num, code)) {
          // A tool number of ten digits or more.
          if (!num.empty() && IsDigit(num.back()))
            Refuse("names a tool beyond any drill's tool table", st.Line);
          break;
        }
        bool hasDiameter = false;
        double diameter = 0;
        // Tool parameters: C diameter; F feed, S speed, B retract, H hit count, Z depth.
        while (i < s.size()) {
          if (IsBlank(s[i])) {
            ++i;
            continue;
          }
          const char p = Upper(s[i]);
          if (p != 'C' && p != 'F' && p != 'S' && p != 'B' && p != 'H' && p != 'Z') break;
          const size_t ps = ++i;
          while (i < s.size() && IsNumberChar(s[i])) ++i;
          if (p == 'C') hasDiameter = DecimalText(s.substr(ps, i - ps), diameter);
        }
        SelectOrDefineTool(st, code, num.size() - (num[0] == '+'), hasDiameter, diameter);
        break;
      }
      case 'G':
        if (!SmallInt(num, code)) return;
        switch (code) {
          case 0:
            FlushPath(st);
            st.Rout = true, st.Interpolation = 0, st.ToolDown = false;
            break;
          case 1:
          case 2:
          case 3:
            st.Rout = true, st.Interpolation = static_cast<int32_t>(code);
            break;
          case 5:
          case 81:
            FlushPath(st);
            st.Rout = false, st.ToolDown = false;
            break;
          case 85:
            // The coordinates so far are the slot's start, the ones after it its end.
            w.SlotStart = Target(st, w, st.At);
            w.Slot = true;
            w.HasX = w.HasY = false;
            break;
          case 90:
            st.Incremental = false;
            break;
          case 91:
            st.Incremental = true;
            break;
          case 93:
            w.ZeroSet = true;
            break;
          case 40:
          case 41:
          case 42:
            break;  // cutter compensation: the path is drawn as written
          default:
            return;  // dwell, canned cycles: their numbers are no coordinates
        }
        break;
      case 'M':
        if (!SmallInt(num, code)) return;
        switch (code) {
          case 30:
          case 0:
            Finish(st, w);
            w = Words();
            FlushPath(st);
            st.Ended = true;
            return;
          case 15:
            st.ToolDown = true;
            break;
          case 16:
          case 17:
            FlushPath(st);
            st.ToolDown = false;
            break;
          case 48:
            st.Header = true;
            break;
          case 95:
            st.Header = false;
            break;
          case 71:
          case 72:
            SetUnits(st, code == 71);
            if (i < s.size() && s[i] == ',') UnitOptions(st, s.substr(i + 1));
            return;
          case 6:
            break;  // tool change: the T word says which
          default:
            return;  // messages, canned text, patterns: nothing to drill
        }
        break;
      default:
        break;  // F, S, Z, N and the rest
    }
  }
  Finish(st, w);
}

void ProcessLine(DrillState& st, std::string_view line) {
  line = TrimBlanks(line);
  if (line.empty()) return;
  if (line[0] == ';') {
    Comment(st, line);
    return;
  }
  if (line[0] == '%') {
    st.Header = false;
    return;
  }
  if (line.size() > 1 && IsAlpha(line[0]) && IsAlpha(line[1])) {
    Keyword(st, line);
    return;
  }
  WordLine(st, line);
}

// The routed path's storage, kept from one read to the next.
std::vector<TPoint>& SparePath() {
  static std::vector<TPoint> path;
  return path;
}

bool ReadText(std::string_view text, TID_DrawFileFormat& image) {
  ResetImage(image);
  DrillState st;
  st.Image = &image;
  st.Text = text;
  st.Path = &SparePath();
  st.Path->clear();
  st.Path->reserve(kPathPoints);
  try {
    size_t i = 0;
    while (i < text.size() && !st.Ended) {
      size_t e = i;
      while (e < text.size() && text[e] != '\n' && text[e] != '\r') ++e;
      st.LineStart = i;
      ++st.Line;
      ProcessLine(st, text.substr(i, e - i));
      // CR LF is one line end.
      if (e + 1 < text.size() && text[e] == '\r' && text[e + 1] == '\n') ++e;
      i = e + 1;
    }
    FlushPath(st);
  } catch (const EDrillRefused&) {
    st.Path->clear();
    throw;
  } catch (const EIntOverflow&) {
    st.Path->clear();
    Refuse("has coordinates or sizes beyond the 32-bit image", st.Line);
  } catch (const ERangeError&) {
    st.Path->clear();
    Refuse("has coordinates or sizes beyond the 32-bit image", st.Line);
  }
  if (st.Drawn == 0)
    throw EDrillRefused(st.UnplungedCut
                            ? "Drill file without a hole or slot: its routed moves never plunge "
                              "the tool with M15"
                            : "Drill file without a hole or slot");
  return true;
}

}  // namespace

bool LooksLikeExcellon(std::string_view head) {
  int lines = 0;
  size_t i = 0;
  while (i < head.size() && lines < kSniffLines) {
    size_t e = i;
    while (e < head.size() && head[e] != '\n' && head[e] != '\r') ++e;
    const std::string_view line = TrimBlanks(head.substr(i, e - i));
    i = e + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line.find('*') != std::string_view::npos) return false;
    ++lines;
    if (StartsWithWord(line, "M48")) return true;
    const char c0 = Upper(line[0]);
    const char c1 = line.size() > 1 ? line[1] : '\0';
    if (c0 == 'T' && IsDigit(c1)) return true;
    if (line == "%") continue;
    if ((c0 == 'G' || c0 == 'M' || c0 == 'F' || c0 == 'S') && IsDigit(c1)) continue;
    if (StartsWithWord(line, "INCH") || StartsWithWord(line, "METRIC")) continue;
    return false;
  }
  return false;
}

bool ReadExcellonBytes(std::string_view bytes, TID_DrawFileFormat& image) {
  if (bytes.size() > kMaxDrillBytes) {
    ResetImage(image);
    throw EDrillRefused("Drill file larger than 16 MiB, beyond any real drill file");
  }
  return ReadText(bytes, image);
}

bool ReadExcellon(std::string_view first, const DrillReadMore& more, TID_DrawFileFormat& image) {
  std::string text(first);
  for (;;) {
    if (text.size() > kMaxDrillBytes) {
      ResetImage(image);
      throw EDrillRefused("Drill file larger than 16 MiB, beyond any real drill file");
    }
    const size_t had = text.size();
    text.resize(had + kReadChunk);
    const size_t n = more(text.data() + had, kReadChunk);
    text.resize(had + n);
    if (n == 0) break;
  }
  return ReadText(text, image);
}

}  // namespace pv
