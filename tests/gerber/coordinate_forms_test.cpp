// Coordinates in the formats CAD output uses: leading or trailing zeros omitted, inch and
// millimetre. A coordinate written with its zeros omitted must convert exactly as the same
// digits written out in full, for every digit count the format allows and beyond it.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>

#include "gerber/reader_internal.h"
#include "platform/errors.h"

namespace pv {
namespace {

struct Converted {
  int32_t value = 0, fine = 0;
  bool operator==(const Converted&) const = default;
};

// The X of a data block as the reader's tokeniser converts it; nothing when the block keeps
// no X (its digits are not a 32-bit number). Raises ERangeError when the value leaves 32 bits
// after scaling.
std::optional<Converted> Tokenized(char zeros, double factor, int32_t integer, int32_t decimals,
                                   const std::string& text) {
  ReaderState st;
  st.ZeroSuppression = zeros;
  st.FileUnitFactor = factor;
  st.XTotalDigits = integer + decimals;
  st.XIntegerDigits = integer;
  const std::string block = "X" + text + "*";
  TokenizeBlock(st, block);
  if (!st.LastBlock.HasX) return std::nullopt;
  return Converted{st.LastBlock.X, st.LastBlock.FineX};
}

Converted Convert(char zeros, double factor, int32_t integer, int32_t decimals,
                  const std::string& text) {
  const std::optional<Converted> c = Tokenized(zeros, factor, integer, decimals, text);
  if (!c) ADD_FAILURE() << text << " is no coordinate";
  return c.value_or(Converted{});
}

// The conversion, or nothing when it leaves 32 bits (the text itself, or after scaling).
std::optional<Converted> Try(char zeros, double factor, int32_t integer, int32_t decimals,
                             const std::string& text) {
  try {
    return Tokenized(zeros, factor, integer, decimals, text);
  } catch (const ERangeError&) {
    return std::nullopt;
  }
}

TEST(CoordinateForms, OmittedZerosConvertAsTheFullDigits) {
  std::mt19937 rng(3);
  const struct {
    int32_t integer, decimals;
  } formats[] = {{2, 4}, {3, 5}, {3, 4}, {2, 6}, {4, 6}, {6, 6}, {1, 1}, {9, 9}};
  int checked = 0;
  for (const auto& f : formats) {
    const int32_t total = f.integer + f.decimals;
    for (double factor : {1000.0, 39.37}) {
      for (int k = 0; k < 400; ++k) {
        // 1 to 9 significant digits, sometimes more digits than the format has.
        const int digits = 1 + static_cast<int>(rng() % 9);
        std::string sig = std::to_string(1 + rng() % 9);
        while (static_cast<int>(sig.size()) < digits) sig += static_cast<char>('0' + rng() % 10);
        const bool negative = rng() % 4 == 0;
        const std::string sign = negative ? "-" : "";
        SCOPED_TRACE(sign + sig + " in " + std::to_string(f.integer) + "." +
                     std::to_string(f.decimals));
        if (static_cast<int32_t>(sig.size()) <= total) {
          const std::string leading(static_cast<size_t>(total) - sig.size(), '0');
          // Leading zeros omitted: the same as the zeros written in front.
          EXPECT_EQ(Try('L', factor, f.integer, f.decimals, sign + sig),
                    Try(' ', factor, f.integer, f.decimals, sign + leading + sig));
          // Trailing zeros omitted: the same as the zeros written behind, as long as those
          // still form a 32-bit number (a longer text is not a coordinate).
          if (std::stoll(sig + leading) <= 2147483647LL) {
            EXPECT_EQ(Try('T', factor, f.integer, f.decimals, sign + sig),
                      Try(' ', factor, f.integer, f.decimals, sign + sig + leading));
          }
          if (Try('L', factor, f.integer, f.decimals, sign + sig)) ++checked;
        } else {
          // More digits than the format: with leading zeros omitted the last ones are still
          // the decimals and the integer part is longer; the other forms drop the digits
          // beyond the format.
          const int32_t longer = static_cast<int32_t>(sig.size()) - f.decimals;
          EXPECT_EQ(Try('L', factor, f.integer, f.decimals, sign + sig),
                    Try(' ', factor, longer, f.decimals, sign + sig));
          EXPECT_EQ(Try('T', factor, f.integer, f.decimals, sign + sig),
                    Try(' ', factor, f.integer, f.decimals, sign + sig));
        }
      }
    }
  }
  EXPECT_GT(checked, 3000);
}

TEST(CoordinateForms, KnownValues) {
  // 3.5 inch: 1.23456 inch is 1234.56 image units, 123456 fine units.
  EXPECT_EQ(Convert('L', 1000.0, 3, 5, "123456"), (Converted{1235, 123456}));
  EXPECT_EQ(Convert('L', 1000.0, 3, 5, "-123456"), (Converted{-1235, -123456}));
  // 3.4 millimetre: 25.4 mm is 1000.0 image units (25.4 x 39.37 = 999.998).
  EXPECT_EQ(Convert('L', 39.37, 3, 4, "254000"), (Converted{1000, 100000}));
  // Trailing zeros omitted, 2.4: X125 is 12.5 inch.
  EXPECT_EQ(Convert('T', 1000.0, 2, 4, "125"), (Converted{12500, 1250000}));
  // Zero and a lone zero digit.
  EXPECT_EQ(Convert('L', 1000.0, 2, 4, "0"), (Converted{0, 0}));
  EXPECT_EQ(Convert('T', 1000.0, 2, 4, "0"), (Converted{0, 0}));
  // Beyond 32 bits after scaling: a range error, whichever form.
  EXPECT_THROW(Convert('L', 1000.0, 9, 1, "999999999"), ERangeError);
  EXPECT_THROW(Convert('T', 1000.0, 9, 1, "999999999"), ERangeError);
}

}  // namespace
}  // namespace pv
