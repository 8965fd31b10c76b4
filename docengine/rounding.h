#pragma once
// Rounding to whole screen pixels (and other whole numbers of the engine and the metafile
// processor).
#include <cmath>
#include <cstdint>

#include "platform/checked.h"

namespace pv {

// Round to nearest, halves to even; the result must fit 32 bits.
inline int32_t RoundPixels(double v) {
  return CheckedTrunc(std::nearbyint(v));
}

}  // namespace pv
