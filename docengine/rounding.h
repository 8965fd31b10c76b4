#pragma once
// Rounding of lengths in screen pixels to whole pixels.
#include <cmath>
#include <cstdint>

#include "platform/checked.h"

namespace pv {

// Delphi-style Round (half to even), range-checked to 32 bits.
inline int32_t RoundPixels(double v) {
  return CheckedTrunc(std::nearbyint(v));
}

}  // namespace pv
