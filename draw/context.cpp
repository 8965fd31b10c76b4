#include "draw/draw.h"
#include "platform/checked.h"

namespace pv {

namespace {

// A mapping divides by the window size: an empty window is a floating-point fault, not a
// silent infinity.
double Divide(double a, int32_t b) {
  if (b == 0)
    throw EZeroDivide(a == 0 ? "Invalid floating point operation"
                             : "Floating point division by zero");
  return a / b;
}

}  // namespace

void InitDrawContext(TID_DrawContext& c, TCanvas* canvas, int32_t canvasWidth, int32_t canvasHeight,
                     int32_t imageWidth, int32_t imageHeight, int32_t originX, int32_t originY) {
  c.Canvas = canvas;
  c.CanvasWidth = canvasWidth;
  c.CanvasHeight = canvasHeight;
  c.ImageWidth = imageWidth;
  c.ImageHeight = imageHeight;
  c.OriginX = originX;
  c.OriginY = originY;
  c.FillStyle = TBrushStyle::bsSolid;
}

int32_t MapX(const TID_DrawContext& c, int32_t x) {
  double d = CheckedSub(x, c.OriginX);
  return RoundCoord(Divide(d, c.ImageWidth) * c.CanvasWidth);
}

int32_t MapY(const TID_DrawContext& c, int32_t y) {
  double d = CheckedSub(y, c.OriginY);
  return RoundCoord(c.CanvasHeight - Divide(d, c.ImageHeight) * c.CanvasHeight);
}

int32_t ScaleLength(const TID_DrawContext& c, int32_t length) {
  return RoundCoord(Divide(CheckedMul(length, c.CanvasWidth), c.ImageWidth));
}

void SetPenWidth(TID_DrawContext& c, int32_t width) {
  int32_t w = ScaleLength(c, width);
  c.Canvas->Pen.Width = w < 1 ? 1 : w;
}

void SetDrawColors(TID_DrawContext& c, TColor penColor, TColor brushColor) {
  c.DrawColor = penColor;
  c.Canvas->Pen.Color = penColor;
  c.Canvas->Brush.Color = brushColor;
  c.Canvas->Font.Color = penColor;
}

void SetFillStyle(TID_DrawContext& c, TBrushStyle style) {
  c.FillStyle = style;
}

void ClearPage(TID_DrawContext& c, TColor color) {
  c.BackgroundColor = color;
  c.Canvas->Brush.Style = TBrushStyle::bsSolid;
  c.Canvas->Brush.Color = color;
  c.Canvas->FillRect(TRect{0, 0, c.CanvasWidth, c.CanvasHeight});
}

}  // namespace pv
