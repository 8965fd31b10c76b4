#pragma once
// Error classes shared by the reader, the drawing layer and the driver.
#include <stdexcept>
#include <string>

namespace pv {

// Integer arithmetic that left the 32-bit range (a coordinate sum or product).
struct EIntOverflow : std::overflow_error {
  explicit EIntOverflow(const std::string& what = "Integer overflow") : std::overflow_error(what) {}
};

// A value or index outside the range it must fit (array index, 32-bit conversion).
struct ERangeError : std::range_error {
  explicit ERangeError(const std::string& what = "Range check error") : std::range_error(what) {}
};

// Floating-point division by zero or an invalid operation (0 / 0) in a mapping.
struct EZeroDivide : std::domain_error {
  explicit EZeroDivide(const std::string& what = "Floating point division by zero")
      : std::domain_error(what) {}
};

// A file that exists but cannot be read or written.
struct EInOutError : std::runtime_error {
  explicit EInOutError(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace pv
