#pragma once
// Overflow-checked 32-bit integer arithmetic: every sum and product of coordinates
// goes through these, so a hostile file raises EIntOverflow instead of wrapping.
#include <cmath>
#include <cstdint>
#include <limits>

#include "platform/errors.h"

namespace pv {

[[noreturn]] void ThrowOverflow();
[[noreturn]] void ThrowRange();

inline int32_t CheckedAdd(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_add_overflow(a, b, &r)) ThrowOverflow();
  return r;
}

inline int32_t CheckedSub(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_sub_overflow(a, b, &r)) ThrowOverflow();
  return r;
}

inline int32_t CheckedMul(int32_t a, int32_t b) {
  int32_t r;
  if (__builtin_mul_overflow(a, b, &r)) ThrowOverflow();
  return r;
}

inline int32_t CheckedNeg(int32_t a) {
  return CheckedSub(0, a);
}

// A 64-bit value that must fit 32 bits.
inline int32_t CheckedNarrow(int64_t v) {
  if (v < std::numeric_limits<int32_t>::min() || v > std::numeric_limits<int32_t>::max())
    ThrowRange();
  return static_cast<int32_t>(v);
}

// Truncation toward zero of a double that must fit 32 bits (NaN included as a failure).
inline int32_t CheckedTrunc(double v) {
  if (!(v > -2147483649.0 && v < 2147483648.0)) ThrowRange();
  return static_cast<int32_t>(v);
}

}  // namespace pv
