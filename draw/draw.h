#pragma once
// The drawing layer: the transform from image units (y up) to canvas units (y down) and
// the rendering of each record kind as canvas calls.
#include <cstdint>

#include "draw/image.h"
#include "platform/graphics.h"

namespace pv {

struct TID_DrawContext {
  TCanvas* Canvas = nullptr;  // not owned
  int32_t ImageWidth = 0;
  int32_t ImageHeight = 0;
  int32_t CanvasWidth = 0;
  int32_t CanvasHeight = 0;
  int32_t OriginX = 0;
  int32_t OriginY = 0;
  TColor DrawColor = clBlack;
  TBrushStyle FillStyle = TBrushStyle::bsSolid;
  TColor InkColor = clBlack;           // the image's colour, for dark records
  TColor BackgroundColor = clWhite;    // the page's colour, for clear records
};

void InitDrawContext(TID_DrawContext& context, TCanvas* canvas, int32_t canvasWidth,
                     int32_t canvasHeight, int32_t imageWidth, int32_t imageHeight, int32_t originX,
                     int32_t originY);
int32_t MapX(const TID_DrawContext& context, int32_t x);
int32_t MapY(const TID_DrawContext& context, int32_t y);
int32_t ScaleLength(const TID_DrawContext& context, int32_t length);
void SetPenWidth(TID_DrawContext& context, int32_t width);
void SetDrawColors(TID_DrawContext& context, TColor penColor, TColor brushColor);
void SetFillStyle(TID_DrawContext& context, TBrushStyle style);
void ClearPage(TID_DrawContext& context, TColor color);

void PaintImage(TID_DrawContext& context, const TID_DrawFileFormat& image);
void DrawRecord(TID_DrawContext& context, const TID_DrawRecord& record);
void FillCircle(TID_DrawContext& context, int32_t cx, int32_t cy, int32_t radius);
void FillRectangle(TID_DrawContext& context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void DrawLine(TID_DrawContext& context, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
void DrawArc(TID_DrawContext& context, int32_t sx, int32_t sy, int32_t ex, int32_t ey, int32_t cx,
             int32_t cy);
void FillPolygon(TID_DrawContext& context, const TID_DrawRecord& record);

}  // namespace pv
