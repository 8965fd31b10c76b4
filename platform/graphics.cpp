#include "platform/graphics.h"

#include <cstdlib>

namespace pv {

int32_t MulDiv(int32_t a, int32_t b, int32_t c) {
  if (c == 0) return -1;
  int64_t p = static_cast<int64_t>(a) * b;
  int64_t q = std::llabs(p) + std::llabs(static_cast<int64_t>(c)) / 2;
  q /= std::llabs(static_cast<int64_t>(c));
  if ((p < 0) != (c < 0)) q = -q;
  return static_cast<int32_t>(q);
}

}  // namespace pv
