#include "pdf/shapes.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <string_view>

#include "pdf/syntax.h"

namespace pv {

namespace {

constexpr double kBezierCircle = 0.55228474983079339840;  // (sqrt(2) - 1) * 4 / 3
constexpr double kPi = 3.14159265358979323846;

bool IsSolid(const TBrush* b) {
  return b && b->Style == TBrushStyle::bsSolid;
}

// Dash arrays in TPenStyle's order: the five dash styles write a "d" operator, the styles
// from psClear on write none.
constexpr std::string_view kDashPatterns[] = {"[]0 d ", "[16 8]0 d ", "[3 4]0 d ", "[8 4 2 4]0 d ",
                                              "[8 4 2 4 2 8]0 d "};

// Cap and join operators in TPenEndCap's and TPenJoin's order; a default one is written only
// where it must undo one that leaked.
constexpr const char* kCapOperators[] = {"0 J ", "1 J ", "2 J ", "0 J "};  // -, round, square, flat
constexpr const char* kJoinOperators[] = {"0 j ", "1 j ", "2 j ",
                                          "0 j "};  // -, round, bevel, miter

bool HasDashPattern(TPenStyle s) {
  return static_cast<size_t>(s) < std::size(kDashPatterns);
}

// "x1 y1 x2 y2 x3 y3 c", or the "y" form when the second control meets the end point.
void BezierCurve(std::string& out, double x1, double y1, double x2, double y2, double x3,
                 double y3) {
  if (x2 == x3 && y2 == y3) {
    AppendNumberPair(out, x1, y1);
    out += ' ';
    AppendNumberPair(out, x3, y3);
    out += " y";
    return;
  }
  AppendNumberPair(out, x1, y1);
  out += ' ';
  AppendNumberPair(out, x2, y2);
  out += ' ';
  AppendNumberPair(out, x3, y3);
  out += " c";
}

// Angle of (x, y) about (cx, cy) in degrees, 0 <= a < 360.
double PointAngle(double x, double y, double cx, double cy) {
  if (x == cx) return y > cy ? 90.0 : 270.0;
  double a = std::atan((y - cy) / (x - cx)) * 180.0 / kPi;
  if (x > cx) {
    a += 360.0;
    if (a >= 360.0) a -= 360.0;
  } else {
    a += 180.0;
  }
  return a;
}

}  // namespace

bool PenVisible(const TPen& pen) {
  return pen.Width != 0 && pen.Style != TPenStyle::psClear;
}
bool BrushVisible(const TBrush* brush) {
  return brush && brush->Style != TBrushStyle::bsClear;
}
bool IsHatch(const TBrush* b) {
  return b && b->Style != TBrushStyle::bsSolid && b->Style != TBrushStyle::bsClear;
}

void TgtPdfShapeWriter::ResetPage() {
  ClipActive = false;
  capsLeaked_ = false;
  PathState = TgtPdfPathState::None;
  FigureClosed = false;
  PathFirstPoint = true;
  ClipPathActive = false;
  PathText.clear();
}

void TgtPdfShapeWriter::AppendDashPattern(std::string& out, TPenStyle style) {
  if (HasDashPattern(style)) out += kDashPatterns[static_cast<size_t>(style)];
}

void TgtPdfShapeWriter::AppendPenText(std::string& out, const TPen& pen) const {
  const bool own = pen.EndCap != TPenEndCap::pecDefault || pen.Join != TPenJoin::pjDefault;
  // Shapes under a clip and painted paths are not wrapped in q/Q, so a cap or join they set
  // stays in force: once that has happened on the page, a default pen there names the
  // defaults (butt caps, mitred joins) instead of inheriting them.
  const bool unwrapped = ClipActive || paintingPath_;
  const bool restate = !own && unwrapped && capsLeaked_;
  if (own && unwrapped) capsLeaked_ = true;
  // Consecutive shapes mostly share their pen (the segments of a track): its text is made
  // once and repeated.
  if (!penTextValid_ || !(pen == penOfText_) || unitOfText_ != Units.PointsPerUnit ||
      restate != restateOfText_) {
    penText_.clear();
    AppendDashPattern(penText_, pen.Style);
    // Pen widths carry no input-resolution factor: the page's cm scaling applies to them.
    AppendNumber(penText_, pen.Width * Units.PointsPerUnit);
    penText_ += " w ";
    if (pen.EndCap != TPenEndCap::pecDefault || restate)
      penText_ += kCapOperators[static_cast<size_t>(pen.EndCap)];
    if (pen.Join != TPenJoin::pjDefault || restate)
      penText_ += kJoinOperators[static_cast<size_t>(pen.Join)];
    AppendColor(penText_, pen.Color);
    penText_ += " RG ";
    penOfText_ = pen;
    unitOfText_ = Units.PointsPerUnit;
    restateOfText_ = restate;
    penTextValid_ = true;
  }
  out += penText_;
}

void TgtPdfShapeWriter::AppendHatchFill(std::string& out, const TBrush& brush,
                                        std::string_view end) {
  out += "/CSP cs ";
  AppendColor(out, brush.Color);
  out += " /";
  out += hatch_(brush.Style);
  out += " scn n";
  out += end;
}

void TgtPdfShapeWriter::WriteWrapped(const std::string& t) {
  if (t.empty()) return;
  if (ClipActive) {
    content_ += "\r\n";
    content_ += t;
    content_ += "\r\n";
  } else {
    content_ += "\r\nq\r\n";
    content_ += t;
    content_ += "\r\nQ";
  }
}

void TgtPdfShapeWriter::AppendPoint(std::string& out, double x, double y) const {
  AppendNumberPair(out, Units.X(x), Units.Y(y));
}

void TgtPdfShapeWriter::AppendLines(std::string& out, const TgtPoint* pts, int32_t n) const {
  for (int32_t i = 1; i < n; ++i) {
    AppendPoint(out, pts[i].X, pts[i].Y);
    out += " l ";
  }
}

void TgtPdfShapeWriter::AppendCurves(std::string& out, const TgtPoint* pts, int32_t n) const {
  for (int32_t i = 1; i + 2 < n; i += 3) {
    for (int32_t k = 0; k < 3; ++k) {
      AppendPoint(out, pts[i + k].X, pts[i + k].Y);
      out += ' ';
    }
    out += "c ";
  }
}

void TgtPdfShapeWriter::OpenPathFigure(double x, double y) {
  if (!PathFirstPoint) return;
  AppendPoint(PathText, x, y);
  PathText += " m ";
  PathStart = {x, y};
  PathFirstPoint = false;
}

void TgtPdfShapeWriter::RenderLine(const TPen& pen, double x1, double y1, double x2, double y2) {
  if (PathState == TgtPdfPathState::Building) {
    OpenPathFigure(x1, y1);
    AppendPoint(PathText, x2, y2);
    PathText += " l ";
    return;
  }
  if (pen.Style == TPenStyle::psClear) return;
  content_ += ClipActive ? "\r\n" : "\r\nq ";
  AppendPenText(content_, pen);
  AppendPoint(content_, x1, y1);
  content_ += " m ";
  AppendPoint(content_, x2, y2);
  content_ += " l S";
  content_ += ClipActive ? "\r\n" : "\r\nQ";
}

void TgtPdfShapeWriter::FillThenStroke(const TPen& pen, const TBrush* brush, bool stroke,
                                       HatchEnd hatchEnd) {
  t_.clear();
  if (IsSolid(brush)) {
    AppendColor(t_, brush->Color);
    t_ += " rg ";
    t_ += p_;
    t_ += " f ";
  } else if (IsHatch(brush)) {
    AppendHatchFill(t_, *brush);
    t_ += p_;
    t_ += hatchEnd == HatchEnd::Tight ? " f" : " f ";
  }
  if (stroke) {
    // After a tight " f" a pen without a dash pattern would fuse its width with the "f".
    if (hatchEnd == HatchEnd::Tight && !t_.empty() && t_.back() != ' ' &&
        !HasDashPattern(pen.Style))
      t_ += ' ';
    AppendPenText(t_, pen);
    t_ += p_;
    t_ += " s";
  }
  WriteWrapped(t_);
}

void TgtPdfShapeWriter::RenderRectangle(const TPen& pen, const TBrush* brush, double x1, double y1,
                                        double x2, double y2) {
  p_.clear();
  AppendPoint(p_, x1, y2);
  p_ += ' ';
  AppendNumberPair(p_, Units.Width(x2 - x1), Units.Height(y2 - y1));
  p_ += " re";
  if (PathState == TgtPdfPathState::Building) {
    // A separating blank keeps the next path operator apart from "re".
    PathText += p_;
    PathText += ' ';
    return;
  }
  FillThenStroke(pen, brush, pen.Style != TPenStyle::psClear, HatchEnd::Blank);
}

void TgtPdfShapeWriter::AppendEllipsePath(std::string& out, double X1, double Y1, double X2,
                                          double Y2) const {
  double left = std::min(X1, X2), right = std::max(X1, X2);
  double top = std::max(Y1, Y2), bottom = std::min(Y1, Y2);
  double cx = (left + right) / 2, cy = (top + bottom) / 2;
  double kx = kBezierCircle * (cx - left), ky = kBezierCircle * (top - cy);
  AppendNumberPair(out, cx, top);
  out += " m ";
  BezierCurve(out, cx + kx, top, right, cy + ky, right, cy);
  out += ' ';
  BezierCurve(out, right, cy - ky, cx + kx, bottom, cx, bottom);
  out += ' ';
  BezierCurve(out, cx - kx, bottom, left, cy - ky, left, cy);
  out += ' ';
  BezierCurve(out, left, cy + ky, cx - kx, top, cx, top);
}

void TgtPdfShapeWriter::RenderEllipse(const TPen& pen, const TBrush* brush, double x1, double y1,
                                      double x2, double y2) {
  p_.clear();
  AppendEllipsePath(p_, Units.X(x1), Units.Y(y1), Units.X(x2), Units.Y(y2));
  FillThenStroke(pen, brush, pen.Style != TPenStyle::psClear, HatchEnd::Tight);
}

void TgtPdfShapeWriter::RenderRoundRect(const TPen& pen, const TBrush* brush, double x1, double y1,
                                        double x2, double y2, double cornerWidth,
                                        double cornerHeight) {
  bool penVisible = PenVisible(pen), brushVisible = BrushVisible(brush);
  if (!penVisible && !brushVisible) return;
  double X1 = Units.X(x1), X2 = Units.X(x2), Y1 = Units.Y(y1), Y2 = Units.Y(y2);
  double L = std::min(X1, X2), R = std::max(X1, X2), T = std::max(Y1, Y2), B = std::min(Y1, Y2);
  double rx = std::min(std::fabs(Units.Width(cornerWidth)) / 2, (R - L) / 2);
  double ry = std::min(std::fabs(Units.Height(cornerHeight)) / 2, (T - B) / 2);
  double kx = kBezierCircle * rx, ky = kBezierCircle * ry;
  p_.clear();
  AppendNumberPair(p_, L + rx, T);
  p_ += " m ";
  AppendNumberPair(p_, R - rx, T);
  p_ += " l ";
  BezierCurve(p_, R - rx + kx, T, R, T - ry + ky, R, T - ry);
  p_ += ' ';
  AppendNumberPair(p_, R, B + ry);
  p_ += " l ";
  BezierCurve(p_, R, B + ry - ky, R - rx + kx, B, R - rx, B);
  p_ += ' ';
  AppendNumberPair(p_, L + rx, B);
  p_ += " l ";
  BezierCurve(p_, L + rx - kx, B, L, B + ry - ky, L, B + ry);
  p_ += ' ';
  AppendNumberPair(p_, L, T - ry);
  p_ += " l ";
  BezierCurve(p_, L, T - ry + ky, L + rx - kx, T, L + rx, T);
  p_ += " h";
  FillThenStroke(pen, brush, pen.Style != TPenStyle::psClear, HatchEnd::Blank);
}

void TgtPdfShapeWriter::RenderPolygon(const TgtPoint* pts, int32_t n, const TBrush* brush,
                                      const TPen& pen, bool closed) {
  if (n <= 0) return;
  if (PathState == TgtPdfPathState::Building) {
    OpenPathFigure(pts[0].X, pts[0].Y);
    AppendLines(PathText, pts, n);
    return;
  }
  bool penVisible = PenVisible(pen), brushVisible = BrushVisible(brush);
  t_.clear();
  if (!closed) {
    if (pen.Style == TPenStyle::psClear) return;
    AppendPenText(t_, pen);
  } else {
    if (!penVisible && !brushVisible) return;
    if (IsSolid(brush)) {
      AppendColor(t_, brush->Color);
      t_ += " rg ";
    } else if (IsHatch(brush)) {
      AppendHatchFill(t_, *brush);
    }
    if (penVisible) AppendPenText(t_, pen);
  }
  AppendPoint(t_, pts[0].X, pts[0].Y);
  t_ += " m ";
  AppendLines(t_, pts, n);
  if (!closed)
    t_ += " S ";
  else if (penVisible && brushVisible)
    t_ += " B ";
  else if (penVisible)
    t_ += " S ";
  else
    t_ += " f ";
  WriteWrapped(t_);
}

void TgtPdfShapeWriter::RenderPolyShape(const TgtPolyShapeItem& item, bool closed) {
  if (item.Figures.empty()) return;
  const TgtShapeItem& first = item.Figures.front();
  const TBrush* brush = first.BrushOrNull();
  bool penVisible = PenVisible(first.Pen);
  if (!penVisible && !(closed && BrushVisible(brush))) return;
  p_.clear();
  for (const TgtShapeItem& f : item.Figures) {
    for (uint32_t i = 0; i < f.Points.size(); ++i) {
      AppendPoint(p_, f.Points[i].X, f.Points[i].Y);
      p_ += i == 0 ? " m " : " l ";
    }
    if (closed && !f.Points.empty()) {
      AppendPoint(p_, f.Points[0].X, f.Points[0].Y);
      p_ += " l ";
    }
  }
  t_.clear();
  if (penVisible) AppendPenText(t_, first.Pen);
  // The figures are outlined with the pen as well: a poly-polyline has no other way to
  // show, and a polygon's outline would otherwise be lost.
  const bool fill = closed && BrushVisible(brush);
  if (fill && IsSolid(brush)) {
    AppendColor(t_, brush->Color);
    t_ += " rg\r\n";
  } else if (fill) {
    AppendHatchFill(t_, *brush, "\r\n");
  } else {
    t_ += "\r\n";
  }
  t_ += p_;
  t_ += "\r\n";
  if (fill && penVisible)
    t_ += item.EvenOdd ? "B*" : "B";
  else if (fill)
    t_ += item.EvenOdd ? "f*" : "f";
  else
    t_ += "S";
  // Under a clip as well the piece begins on a line of its own: what went before may end in
  // an operator ("Do\r\nQ" of an image) that the pen's width would otherwise run into.
  WriteWrapped(t_);
}

void TgtPdfShapeWriter::RenderPolyPolygon(const TgtPolyPolygonItem& item) {
  const TBrush* brush = &item.Brush;
  if (!BrushVisible(brush)) {
    // Only filled, never stroked: without a fill nothing shows but the empty wrapping.
    WriteWrapped("\r\n");
    return;
  }
  p_.clear();
  size_t k = 0;
  for (int32_t f = 1; f <= item.FigureCount && static_cast<size_t>(f) < item.PointCounts.size();
       ++f) {
    int32_t n = item.PointCounts[static_cast<size_t>(f)];
    for (int32_t i = 0; i < n && k < item.Points.size(); ++i, ++k) {
      AppendPoint(p_, item.Points[k].X, item.Points[k].Y);
      p_ += i == 0 ? " m \r\n" : " l \r\n";
    }
  }
  p_ += "\r\n";
  t_ = "\r\n";
  if (IsSolid(brush)) {
    AppendColor(t_, brush->Color);
    t_ += " rg\r\n";
  } else {
    AppendHatchFill(t_, *brush, "\r\n");
  }
  t_ += p_;
  t_ += "\r\n";
  t_ += item.EvenOdd ? "f*" : "f";
  WriteWrapped(t_);
}

void TgtPdfShapeWriter::AppendArcText(std::string& out, double x1, double y1, double x2, double y2,
                                      double x3, double y3, double x4, double y4) const {
  double X1 = Units.X(x1), X2 = Units.X(x2), Y1 = Units.Y(y1), Y2 = Units.Y(y2);
  double cx = (X1 + X2) / 2, cy = (Y1 + Y2) / 2;
  double rx = std::fabs(X2 - X1) / 2, ry = std::fabs(Y2 - Y1) / 2;
  double s = PointAngle(Units.X(x3), Units.Y(y3), cx, cy) + 180.0;
  double e = PointAngle(Units.X(x4), Units.Y(y4), cx, cy) + 180.0;
  // Coinciding radials make a whole ellipse, as the canvas draws them (a long arc whose
  // ends met after mapping); without this the arc would vanish.
  if (e == s) e += 360.0;
  while (e < s) e += 360.0;
  auto rad = [](double deg) { return deg * kPi / 180.0; };
  AppendNumberPair(out, cx - rx * std::cos(rad(s)), cy - ry * std::sin(rad(s)));
  out += " m";
  auto piece = [&](double a, double b) {
    double phi = rad(b - a);
    double k = (1 - std::cos(phi / 2)) * 4.0 / 3.0 / std::sin(phi / 2);
    double ca = std::cos(rad(a)), sa = std::sin(rad(a)), cb = std::cos(rad(b)),
           sb = std::sin(rad(b));
    out += ' ';
    AppendNumberPair(out, cx - rx * (ca - k * sa), cy - ry * (sa + k * ca));
    out += ' ';
    AppendNumberPair(out, cx - rx * (cb + k * sb), cy - ry * (sb - k * cb));
    out += ' ';
    AppendNumberPair(out, cx - rx * cb, cy - ry * sb);
    out += " c";
  };
  while (e - s > 90.0) {
    piece(s, s + 90.0);
    s += 90.0;
  }
  if (e != s) piece(s, e);
}

void TgtPdfShapeWriter::RenderArc(const TPen& pen, double x1, double y1, double x2, double y2,
                                  double x3, double y3, double x4, double y4) {
  if (!PenVisible(pen)) return;
  t_.clear();
  AppendPenText(t_, pen);
  AppendPenText(t_, pen);  // the arc text itself opens with the pen text
  AppendArcText(t_, x1, y1, x2, y2, x3, y3, x4, y4);
  t_ += " S";
  WriteWrapped(t_);
}

void TgtPdfShapeWriter::ChordOrPie(const TPen& pen, const TBrush* brush, double x1, double y1,
                                   double x2, double y2, double x3, double y3, double x4, double y4,
                                   bool pie) {
  bool penVisible = PenVisible(pen);
  if (!penVisible && !BrushVisible(brush)) return;
  p_.clear();
  if (pen.Style != TPenStyle::psClear) AppendPenText(p_, pen);
  AppendArcText(p_, x1, y1, x2, y2, x3, y3, x4, y4);
  if (pie) {
    p_ += ' ';
    AppendNumberPair(p_, (Units.X(x1) + Units.X(x2)) / 2, (Units.Y(y1) + Units.Y(y2)) / 2);
    p_ += " l";
  }
  FillThenStroke(pen, brush, penVisible, HatchEnd::Blank);
}

void TgtPdfShapeWriter::RenderPie(const TPen& pen, const TBrush* brush, double x1, double y1,
                                  double x2, double y2, double x3, double y3, double x4,
                                  double y4) {
  ChordOrPie(pen, brush, x1, y1, x2, y2, x3, y3, x4, y4, true);
}

void TgtPdfShapeWriter::RenderChord(const TPen& pen, const TBrush* brush, double x1, double y1,
                                    double x2, double y2, double x3, double y3, double x4,
                                    double y4) {
  ChordOrPie(pen, brush, x1, y1, x2, y2, x3, y3, x4, y4, false);
}

void TgtPdfShapeWriter::RenderPolyBezier(const TgtPoint* pts, int32_t n, const TPen& pen) {
  if (n <= 0) return;
  int32_t used = 1 + 3 * ((n - 1) / 3);
  if (PathState == TgtPdfPathState::Building) {
    OpenPathFigure(pts[0].X, pts[0].Y);
    AppendCurves(PathText, pts, used);
    return;
  }
  if (!PenVisible(pen) || n <= 3) return;
  t_.clear();
  AppendPenText(t_, pen);
  AppendPoint(t_, pts[0].X, pts[0].Y);
  t_ += " m ";
  AppendCurves(t_, pts, used);
  t_ += "S";
  WriteWrapped(t_);
}

void TgtPdfShapeWriter::RenderPolyDraw(const TgtPolyDrawItem& item) {
  const bool pathMode = PathState == TgtPdfPathState::Building;
  std::string& out = pathMode ? PathText : p_;
  if (!pathMode) p_.clear();
  // Outside a path the figure needs a current point of its own before its first segment.
  bool needMove = pathMode ? PathFirstPoint : true;
  const size_t n = std::min(item.Points.size(), item.PointTypes.size());
  for (size_t i = 0; i < n; ++i) {
    const uint8_t type = item.PointTypes[i] & ~PT_CLOSEFIGURE;
    const TgtPoint& p = item.Points[i];
    if (type == PT_MOVETO || needMove) {
      AppendPoint(out, p.X, p.Y);
      out += " m ";
      if (pathMode) {
        PathStart = p;
        PathFirstPoint = false;
      }
      needMove = false;
      continue;
    }
    if (type == PT_BEZIERTO && i + 2 < n) {
      for (size_t k = 0; k < 3; ++k) {
        AppendPoint(out, item.Points[i + k].X, item.Points[i + k].Y);
        out += ' ';
      }
      out += "c ";
      i += 2;
    } else {
      AppendPoint(out, p.X, p.Y);
      out += " l ";
    }
    if (item.PointTypes[i] & PT_CLOSEFIGURE) out += "h ";
  }
  if (pathMode || p_.empty() || !PenVisible(item.Pen)) return;
  // A poly-draw strokes its lines and curves; it never fills.
  t_.clear();
  AppendPenText(t_, item.Pen);
  t_ += p_;
  t_ += "S";
  WriteWrapped(t_);
}

void TgtPdfShapeWriter::RenderClip(const TgtClipItem& item) {
  if (item.Restore) {
    if (ClipActive) {
      content_ += " Q \r\n";
      ClipActive = false;
    }
    return;
  }
  p_.clear();
  for (const TRect& r : item.Rects) {
    AppendPoint(p_, r.Left, r.Top);
    p_ += " m \r\n";
    AppendPoint(p_, r.Right, r.Top);
    p_ += " l \r\n";
    AppendPoint(p_, r.Right, r.Bottom);
    p_ += " l \r\n";
    AppendPoint(p_, r.Left, r.Bottom);
    p_ += " l \r\n";
    AppendPoint(p_, r.Left, r.Top);
    p_ += " l \r\n";
  }
  bool andOrCopy = item.RegionMode == RGN_AND || item.RegionMode == RGN_COPY;
  if (!ClipActive && andOrCopy) {
    content_ += " q ";
    content_ += p_;
    content_ += " W* n \r\n";
    ClipActive = true;
  } else if (ClipActive && andOrCopy) {
    if (item.RegionMode == RGN_AND && item.RectCount() >= 2) {
      content_ += " q ";
      content_ += p_;
      content_ += " W* n \r\n";
    }
  } else {
    content_ += ' ';
  }
}

void TgtPdfShapeWriter::RenderEOF(const TgtEOFItem& item) {
  if (!item.EndFlag) return;
  if (ClipActive) {
    content_ += " Q ";
    ClipActive = false;
  }
  if (ClipPathActive) content_ += " q ";
}

void TgtPdfShapeWriter::RenderPath(const TgtPathItem& item) {
  const TPen& pen = item.Pen;
  const TBrush& brush = item.Brush;
  auto prefix = [&](std::string& out) {
    if (pen.Style == TPenStyle::psClear) {
      AppendColor(out, brush.Color);
      out += " rg";
    } else if (brush.Style == TBrushStyle::bsClear) {
      AppendPenText(out, pen);
    } else {
      AppendPenText(out, pen);
      AppendColor(out, brush.Color);
      out += " rg ";
    }
  };
  auto paint = [&](const char* op) {
    PathText += op;
    PathText += "\r\n";
    PathState = TgtPdfPathState::None;
    t_.clear();
    paintingPath_ = true;
    prefix(t_);
    paintingPath_ = false;
    t_ += "\r\n";
    t_ += PathText;
    content_ += t_;
    PathText.clear();
  };
  switch (item.Operation) {
    case poBeginPath:
      // A new path discards whatever an earlier, unpainted one collected.
      PathText.clear();
      FigureClosed = false;
      PathState = TgtPdfPathState::Building;
      PathFirstPoint = true;
      break;
    case poEndPath:
      if (PathState == TgtPdfPathState::Building) PathState = TgtPdfPathState::Ended;
      break;
    case poCloseFigure:
      if (PathState == TgtPdfPathState::Building) FigureClosed = true;
      break;
    case poAbortPath:
      PathText = " n \r\n";
      PathState = TgtPdfPathState::None;
      content_ += PathText;
      PathText.clear();
      break;
    case poFillPath:
      paint(item.EvenOdd ? "h f*" : "h f");
      break;
    case poStrokeAndFillPath: {
      const char* op;
      if (pen.Style == TPenStyle::psClear)
        op = item.EvenOdd ? "f*" : (FigureClosed ? "f" : "F");
      else if (brush.Style == TBrushStyle::bsClear)
        op = FigureClosed ? "s" : "S";
      else if (item.EvenOdd)
        op = FigureClosed ? "b*" : "B*";
      else
        op = FigureClosed ? "b" : "B";
      paint(op);
      break;
    }
    case poStrokePath:
      paint(FigureClosed ? "s" : "S");
      break;
    case poSelectClipPath: {
      if (FigureClosed) {
        AppendPoint(PathText, PathStart.X, PathStart.Y);
        PathText += " l ";
      }
      if (item.ClipMode == RGN_COPY || item.ClipMode == RGN_AND) {
        const char* open = !ClipPathActive             ? "\r\n"
                           : item.ClipMode == RGN_COPY ? "\r\n Q q \r\n"
                                                       : "\r\n q \r\n";
        t_ = open;
        t_ += PathText;
        t_ += " W* n \r\n";
        ClipPathActive = true;
        ClipActive = true;
        content_ += t_;
      }
      PathState = TgtPdfPathState::None;
      PathText.clear();
      break;
    }
    default:
      break;
  }
}

}  // namespace pv
