#pragma once
// The image model: an append-only list of draw records in image units (1/1000 inch,
// y up) with running extents and one drawing colour. The reader fills it through the
// add operations; the drawing layer walks it in order.
#include <cstdint>
#include <span>
#include <vector>

#include "platform/graphics.h"
#include "platform/small_vector.h"

namespace pv {

enum TID_RecordKind : uint8_t {
  rkCircle = 0,
  rkRectangle = 1,
  rkTrack = 2,
  rkArc = 3,
  rkPolygon = 4
};

// Record flags. A clear record is painted in the page's background colour, removing what
// lies beneath (clear polarity, holes, exposure-off macro parts); a solid polygon is filled
// solid whatever the context's fill style (shapes that are strokes or pads, not regions).
enum : uint8_t { rfClear = 1, rfSolid = 2 };

// x, y pairs relative to the record's anchor; four values stay inline (flashes, arcs,
// two-point tracks), longer lists go to the heap.
using TIntArray = SmallVec<int32_t, 4>;

struct TID_DrawRecord {
  int32_t X = 0;
  int32_t Y = 0;
  int32_t MaxDX = 0;
  int32_t MinDX = 0;
  int32_t MaxDY = 0;
  int32_t MinDY = 0;
  int32_t Size = 0;
  uint8_t Kind = rkCircle;  // a TID_RecordKind; other values are skipped when drawn
  uint8_t Flags = 0;        // rfClear, rfSolid
  int32_t Count = 0;        // number of values in Points
  TIntArray Points;
};

using TPointArray = std::vector<TPoint>;

struct TID_DrawFileFormat {
  int32_t MinX = 1000000;
  int32_t MinY = 1000000;
  int32_t MaxX = -1000000;
  int32_t MaxY = -1000000;
  TColor Color = clWhite;
  uint8_t AddFlags = 0;  // the flags every add (but a record copy) gives its record
  int32_t Count = 0;
  int32_t Capacity = 0;
  std::vector<TID_DrawRecord> Records;
};

void ResetImage(TID_DrawFileFormat& image);
void ClearImage(TID_DrawFileFormat& image);

void AddCircle(TID_DrawFileFormat& image, int32_t x, int32_t y, int32_t diameter);
void AddRectangle(TID_DrawFileFormat& image, int32_t x, int32_t y, int32_t dx1, int32_t dy1,
                  int32_t dx2, int32_t dy2);
void AddArc(TID_DrawFileFormat& image, int32_t width, int32_t cx, int32_t cy, int32_t sdx,
            int32_t sdy, int32_t edx, int32_t edy);
void AddTrack(TID_DrawFileFormat& image, int32_t width, int32_t x, int32_t y,
              std::span<const TPoint> points);
void AddPolygon(TID_DrawFileFormat& image, int32_t width, int32_t x, int32_t y,
                std::span<const TPoint> points);
void AddRecordCopy(TID_DrawFileFormat& image, const TID_DrawRecord& record);
// Grows the record array so that the next extra adds move no record.
void ReserveRecords(TID_DrawFileFormat& image, int32_t extra);

void CopyRec(const TID_DrawRecord& source, TID_DrawRecord& target);
void CalcRecordExtent(TID_DrawRecord& record);

// Truncation of v + 0.50001 (v >= 0) or v - 0.50001 (v < 0); ERangeError outside 32 bits.
int32_t RoundCoord(double v);

// True when turning counterclockwise (y up) from the start direction to the end direction
// about the centre covers less than half a turn; integer comparisons only.
bool IsShortCcwSweep(int32_t cx, int32_t cy, int32_t sx, int32_t sy, int32_t ex, int32_t ey);

}  // namespace pv
