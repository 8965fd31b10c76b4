#pragma once
// Page content for shapes: the path, fill and stroke operators each render hook appends
// to the current page's content stream, with the page state (clip, path mode) they share.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "docengine/items.h"
#include "platform/graphics.h"

namespace pv {

// Conversion of engine units (screen pixels) to content-stream numbers: the page's own
// "cm" scaling turns these back into points.
struct TgtPdfUnits {
  double PointsPerUnit = 72.0 / kScreenPPI;
  double XFactor = 1.0;   // InputXRes / screen resolution
  double YFactor = 1.0;   // InputYRes / screen resolution
  double PageHeight = 0;  // the page's height in points; 0 leaves y unflipped

  double X(double x) const { return x * PointsPerUnit * XFactor; }
  double Y(double y) const {
    return PageHeight != 0 ? PageHeight * YFactor - y * PointsPerUnit * YFactor
                           : y * PointsPerUnit * YFactor;
  }
  double Width(double w) const { return w * PointsPerUnit * XFactor; }
  double Height(double h) const { return h * PointsPerUnit * YFactor; }
};

// Where the shapes of a begin-path .. paint bracket stand.
enum class TgtPdfPathState : uint8_t {
  Building,  // shapes add to PathText instead of drawing
  Ended,     // the bracket is closed, not yet painted
  None       // no path: shapes draw themselves
};

// Writes shape operators into a page's content. One per engine; ResetPage() at every page.
class TgtPdfShapeWriter {
 public:
  // hatchPattern gives the pattern name of a hatch style, registering it on first use.
  TgtPdfShapeWriter(std::string& content, std::function<std::string(TBrushStyle)> hatchPattern)
      : content_(content), hatch_(std::move(hatchPattern)) {}

  TgtPdfUnits Units;

  // Page state.
  bool ClipActive = false;
  TgtPdfPathState PathState = TgtPdfPathState::None;
  std::string PathText;
  bool PathFirstPoint = true;
  TgtPoint PathStart;
  bool FigureClosed = false;
  bool ClipPathActive = false;

  void ResetPage();

  void RenderLine(const TPen& pen, double x1, double y1, double x2, double y2);
  void RenderRectangle(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                       double y2);
  void RenderRoundRect(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                       double y2, double cornerWidth, double cornerHeight);
  void RenderEllipse(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                     double y2);
  void RenderPolygon(const TgtPoint* points, int32_t count, const TBrush* brush, const TPen& pen,
                     bool closed);
  void RenderPolyShape(const TgtPolyShapeItem& item, bool closed);
  void RenderPolyPolygon(const TgtPolyPolygonItem& item);
  void RenderArc(const TPen& pen, double x1, double y1, double x2, double y2, double x3, double y3,
                 double x4, double y4);
  void RenderPie(const TPen& pen, const TBrush* brush, double x1, double y1, double x2, double y2,
                 double x3, double y3, double x4, double y4);
  void RenderChord(const TPen& pen, const TBrush* brush, double x1, double y1, double x2, double y2,
                   double x3, double y3, double x4, double y4);
  void RenderPolyBezier(const TgtPoint* points, int32_t count, const TPen& pen);
  void RenderPolyDraw(const TgtPolyDrawItem& item);
  void RenderClip(const TgtClipItem& item);
  void RenderPath(const TgtPathItem& item);
  void RenderEOF(const TgtEOFItem& item);

  // Pieces shared with text output.
  void AppendPenText(std::string& out, const TPen& pen) const;
  // The hatch pattern selected as the fill colour, then END.
  void AppendHatchFill(std::string& out, const TBrush& brush, std::string_view end = " ");
  static void AppendDashPattern(std::string& out, TPenStyle style);
  // Writes T wrapped in q/Q (or only line breaks under a clip); nothing when T is empty.
  void WriteWrapped(const std::string& t);

 private:
  void AppendPoint(std::string& out, double x, double y) const;  // "X Y" converted
  // In path mode the figure's first point opens it with "m"; later points continue from the
  // current point.
  void OpenPathFigure(double x, double y);
  // The segments after a figure's first point: " l" to each later point, or " c" through
  // each later three.
  void AppendLines(std::string& out, const TgtPoint* pts, int32_t n) const;
  void AppendCurves(std::string& out, const TgtPoint* pts, int32_t n) const;
  void AppendArcText(std::string& out, double x1, double y1, double x2, double y2, double x3,
                     double y3, double x4, double y4) const;
  void AppendEllipsePath(std::string& out, double X1, double Y1, double X2, double Y2) const;
  // How a hatch fill's " f" ends: with a blank, or tight against what follows (the
  // ellipse's form, which the pages written so far keep).
  enum class HatchEnd { Blank, Tight };
  // Fills the path in p_ with the brush, then strokes it with the pen when STROKE, as one
  // wrapped piece of content.
  void FillThenStroke(const TPen& pen, const TBrush* brush, bool stroke, HatchEnd hatchEnd);
  void ChordOrPie(const TPen& pen, const TBrush* brush, double x1, double y1, double x2, double y2,
                  double x3, double y3, double x4, double y4, bool pie);

  std::string& content_;
  std::function<std::string(TBrushStyle)> hatch_;
  std::string t_, p_;  // reused scratch: no allocation per shape once warm
  // The text of the last pen written, and what it was made of.
  mutable std::string penText_;
  mutable TPen penOfText_;
  mutable double unitOfText_ = 0;
  mutable bool penTextValid_ = false;
  mutable bool restateOfText_ = false;
  // A cap or join was set outside any q/Q on this page (see AppendPenText).
  mutable bool capsLeaked_ = false;
  bool paintingPath_ = false;
};

bool PenVisible(const TPen& pen);
bool BrushVisible(const TBrush* brush);
bool IsHatch(const TBrush* brush);

}  // namespace pv
