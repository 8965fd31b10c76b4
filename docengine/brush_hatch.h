#pragma once
// The hatched brush styles and the hatch numbers of a metafile's brushes, one table for
// both directions: the canvas writes the numbers, the processor reads them back.
#include <cstdint>

#include "docengine/emf_constants.h"
#include "platform/graphics.h"

namespace pv {

struct TBrushHatch {
  TBrushStyle Style;
  uint32_t Hatch;
};

inline constexpr TBrushHatch kBrushHatches[] = {
    {TBrushStyle::bsHorizontal, HS_HORIZONTAL}, {TBrushStyle::bsVertical, HS_VERTICAL},
    {TBrushStyle::bsFDiagonal, HS_FDIAGONAL},   {TBrushStyle::bsBDiagonal, HS_BDIAGONAL},
    {TBrushStyle::bsCross, HS_CROSS},           {TBrushStyle::bsDiagCross, HS_DIAGCROSS},
};

// The hatch number of a hatched style; false for solid and clear brushes.
inline bool HatchOfBrushStyle(TBrushStyle style, uint32_t& hatch) {
  for (const TBrushHatch& h : kBrushHatches)
    if (h.Style == style) {
      hatch = h.Hatch;
      return true;
    }
  return false;
}

// The style of a hatch number; false for a number no style has.
inline bool BrushStyleOfHatch(uint32_t hatch, TBrushStyle& style) {
  for (const TBrushHatch& h : kBrushHatches)
    if (h.Hatch == hatch) {
      style = h.Style;
      return true;
    }
  return false;
}

}  // namespace pv
