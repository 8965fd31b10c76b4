#include "pdf/syntax.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>

#include "platform/errors.h"
#include "support/support.h"

namespace pv {
namespace {

TEST(FormatNumber, FourDecimalsPointAndSign) {
  EXPECT_EQ(FormatNumber(0), "0.0000");
  EXPECT_EQ(FormatNumber(-0.0), "0.0000");
  EXPECT_EQ(FormatNumber(612), "612.0000");
  EXPECT_EQ(FormatNumber(-1.5), "-1.5000");
  EXPECT_EQ(FormatNumber(0.096), "0.0960");
  EXPECT_EQ(FormatNumber(96.0 / 1000.0), "0.0960");
  EXPECT_EQ(FormatNumber(1000.0 / 96.0), "10.4167");
  // Stored just below the tie, and just above it (which carries into the integer part).
  EXPECT_EQ(FormatNumber(-123456.78915), "-123456.7891");
  EXPECT_EQ(FormatNumber(0.99995), "1.0000");
  EXPECT_EQ(FormatNumber(9.99996), "10.0000");  // carry into the integer part
  EXPECT_EQ(FormatNumber(-9.99996), "-10.0000");
  // Values that round to zero have no sign.
  EXPECT_EQ(FormatNumber(1e-5), "0.0000");
  EXPECT_EQ(FormatNumber(-4e-5), "0.0000");
  EXPECT_EQ(FormatNumber(-6e-5), "-0.0001");
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::denorm_min()), "0.0000");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::min()), "0.0000");
  // No PDF form for these.
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::quiet_NaN()), "0.0000");
  EXPECT_EQ(FormatNumber(std::numeric_limits<double>::infinity()), "0.0000");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::infinity()), "0.0000");
}

TEST(FormatNumber, RoundsTheExactValueTiesAwayFromZero) {
  // 0.00015 is stored as 0.000149999..., although 0.00015 * 10000 gives 1.5 in doubles.
  EXPECT_EQ(FormatNumber(0.00015), "0.0001");
  // 1.00005 is stored as 1.0000500000000001...
  EXPECT_EQ(FormatNumber(1.00005), "1.0001");
  // Exact ties (odd multiples of 1/32) go away from zero, not to even.
  EXPECT_EQ(FormatNumber(0.03125), "0.0313");
  EXPECT_EQ(FormatNumber(-0.03125), "-0.0313");
  EXPECT_EQ(FormatNumber(2.15625), "2.1563");
  EXPECT_EQ(FormatNumber(-2.15625), "-2.1563");
  EXPECT_EQ(FormatNumber(0.09375), "0.0938");
  EXPECT_EQ(FormatNumber(123456789.46875), "123456789.4688");
  EXPECT_EQ(FormatNumber(140737488355327.96875), "140737488355327.9688");
}

TEST(FormatNumber, WholePartsAtEveryDigitCount) {
  const char* wholes[] = {"9",         "10",        "99",       "100",       "999",
                          "1000",      "9999",      "10000",    "99999",     "100000",
                          "9999999",   "10000000",  "99999999", "100000000", "999999999",
                          "123456789", "1234567890"};
  for (const char* w : wholes) {
    const double v = std::stod(w);
    EXPECT_EQ(FormatNumber(v + 0.25), std::string(w) + ".2500");
    EXPECT_EQ(FormatNumber(-v - 0.75), "-" + std::string(w) + ".7500");
  }
  // Rounding up carries into the whole part.
  EXPECT_EQ(FormatNumber(9999.99996), "10000.0000");
  EXPECT_EQ(FormatNumber(99999999.99999), "100000000.0000");
}

TEST(FormatNumber, LargeValuesAreWrittenInFull) {
  EXPECT_EQ(FormatNumber(9007199254740992.0), "9007199254740992.0000");
  EXPECT_EQ(FormatNumber(-1e20), "-100000000000000000000.0000");
  EXPECT_EQ(FormatNumber(1e23), "99999999999999991611392.0000");
  const std::string big = FormatNumber(std::numeric_limits<double>::max());
  EXPECT_EQ(big.size(), 309u + 5u);
  EXPECT_EQ(big.substr(0, 6), "179769");
  EXPECT_EQ(big.substr(big.size() - 5), ".0000");
  EXPECT_EQ(FormatNumber(-std::numeric_limits<double>::max()).size(), 309u + 6u);
}

// Every non-tie value must agree with the C library's exactly rounded "%.4f" (which only
// differs on ties, where it rounds to even).
TEST(FormatNumber, AgreesWithExactRoundingOnRandomValues) {
  std::mt19937_64 rng(20240611);
  std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
  std::uniform_int_distribution<int> exponent(-30, 70);
  char expected[512];
  int checked = 0;
  for (int i = 0; i < 200000; ++i) {
    double v = std::ldexp(mantissa(rng), exponent(rng));
    if (i % 7 == 0) v = std::round(v * 10000.0) / 10000.0 + mantissa(rng) * 1e-9;
    const double scaled = v * 32.0;
    if (std::floor(scaled) == scaled && std::fmod(std::fabs(scaled), 2.0) == 1.0) continue;
    std::snprintf(expected, sizeof expected, "%.4f", v);
    std::string want = expected;
    if (want == "-0.0000") want = "0.0000";
    ASSERT_EQ(FormatNumber(v), want) << "value " << expected;
    ++checked;
  }
  EXPECT_GT(checked, 190000);
}

TEST(FormatNumber, AppendNumberAddsToTheBuffer) {
  std::string out = "q ";
  AppendNumber(out, 0.096);
  out += " 0 0 ";
  AppendNumber(out, -0.5);
  EXPECT_EQ(out, "q 0.0960 0 0 -0.5000");
}

// A comma-decimal locale must not leak into the PDF text. Uses an installed German
// locale, or compiles one with localedef into a temporary folder.
TEST(FormatNumber, CommaLocaleStillWritesPoint) {
  pvtest::TempDir dir;
  const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "de_DE"};
  bool active = false;
  for (const char* n : names)
    if (std::setlocale(LC_ALL, n) != nullptr) {
      active = true;
      break;
    }
  const std::string localedef = pvtest::FindTool("localedef");
  if (!active && !localedef.empty()) {
    const auto r = pvtest::RunProgram(
        {localedef, "-i", "de_DE", "-f", "UTF-8", (dir / "de_DE.UTF-8").string()}, dir.path());
    if (r.status == 0) {
      setenv("LOCPATH", dir.path().c_str(), 1);
      active = std::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
    }
  }
  if (!active) {
    unsetenv("LOCPATH");
    GTEST_SKIP() << "no comma-decimal locale available";
  }
  char probe[32];
  std::snprintf(probe, sizeof probe, "%.4f", 0.096);
  const std::string cLibrary = probe;
  const std::string ours = FormatNumber(0.096);
  const std::string page = FormatNumber(612);
  const std::string color = FormatColor(0x000080);
  std::setlocale(LC_ALL, "C");
  unsetenv("LOCPATH");
  EXPECT_EQ(cLibrary, "0,0960");  // the locale really was in force
  EXPECT_EQ(ours, "0.0960");
  EXPECT_EQ(page, "612.0000");
  EXPECT_EQ(color, "0.5020 0.0000 0.0000");
}

TEST(FormatColor, ComponentsInRedGreenBlueOrder) {
  EXPECT_EQ(FormatColor(0x000000), "0.0000 0.0000 0.0000");
  EXPECT_EQ(FormatColor(0xFFFFFF), "1.0000 1.0000 1.0000");
  EXPECT_EQ(FormatColor(0x000080), "0.5020 0.0000 0.0000");
  EXPECT_EQ(FormatColor(0x800000), "0.0000 0.0000 0.5020");
  EXPECT_EQ(FormatColor(0x123456), "0.3373 0.2039 0.0706");
  std::string out = "x ";
  AppendColor(out, 0x00FF00);
  EXPECT_EQ(out, "x 0.0000 1.0000 0.0000");
}

TEST(PdfText, HexAndTextStrings) {
  EXPECT_EQ(HexString(std::string_view("\x00\xAB\xff\x10", 4)), "00ABFF10");
  EXPECT_EQ(HexString(""), "");
  EXPECT_EQ(PdfTextString(u"Ab", 3), "FEFF00410062");
  EXPECT_EQ(PdfTextString("\xC3\xA9", 3), "FEFF00E9");              // UTF-8 input
  EXPECT_EQ(PdfTextString("\xF0\x9F\x98\x80", 3), "FEFFD83DDE00");  // a surrogate pair
  EXPECT_EQ(PdfTextString(u"", 3), "FEFF");

  // The bytes pass through the encryption of the object before the hex step.
  int32_t seenObject = 0;
  std::string seenBytes;
  TEncryptStringFn encrypt = [&](std::string_view b, int32_t n) {
    seenObject = n;
    seenBytes = std::string(b);
    std::string r(b);
    for (char& c : r) c = static_cast<char>(c ^ 0xFF);
    return r;
  };
  EXPECT_EQ(PdfTextString(u"A", 7, encrypt), "0100FFBE");
  EXPECT_EQ(seenObject, 7);
  EXPECT_EQ(seenBytes, std::string("\xFE\xFF\x00\x41", 4));
}

TEST(PdfText, EscapePdfString) {
  EXPECT_EQ(EscapePdfString("a(b)c\\d"), "a\\(b\\)c\\\\d");
  EXPECT_EQ(EscapePdfString("\b\f\n\r"), "\\b\\f\\n\\r");
  EXPECT_EQ(EscapePdfString("plain"), "plain");
  EXPECT_EQ(EscapePdfString(std::string_view("a\0b", 3)), std::string("a\0b", 3));
  // Tabs fill up to the next multiple of 8 columns; an escaped byte is one column.
  EXPECT_EQ(EscapePdfString("\t"), std::string(8, ' '));
  EXPECT_EQ(EscapePdfString("ab\tc"), "ab" + std::string(6, ' ') + "c");
  EXPECT_EQ(EscapePdfString("1234567\tx"), "1234567 x");
  EXPECT_EQ(EscapePdfString("12345678\tx"), "12345678" + std::string(8, ' ') + "x");
  EXPECT_EQ(EscapePdfString("(\t\t"), "\\(" + std::string(7, ' ') + std::string(8, ' '));
  std::string out = "(";
  AppendEscapedPdfString(out, ")");
  EXPECT_EQ(out, "(\\)");
}

TEST(PdfText, EscapePdfName) {
  EXPECT_EQ(EscapePdfName("Arial,Bold"), "Arial,Bold");
  EXPECT_EQ(EscapePdfName("()<>[]{}/%"), "#28#29#3C#3E#5B#5D#7B#7D#2F#25");
  EXPECT_EQ(EscapePdfName("A B#1"), "A#20B#231");
  EXPECT_EQ(EscapePdfName("\xC3\xA9t\x7F"), "#C3#A9t#7F");
}

TEST(PdfText, Integers) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-42), "-42");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  std::string out = "/Size ";
  AppendInt(out, 12);
  AppendUInt(out, 18446744073709551615ull);
  EXPECT_EQ(out, "/Size 1218446744073709551615");
  EXPECT_EQ(ZeroPadded(17, 10), "0000000017");
  EXPECT_EQ(ZeroPadded(-5, 2), "-05");
  EXPECT_EQ(ZeroPadded(0, 2), "00");
  EXPECT_EQ(ZeroPadded(123, 2), "123");
  EXPECT_EQ(ZeroPadded(std::numeric_limits<int64_t>::min(), 2), "-9223372036854775808");
}

TEST(PdfText, XRefEntriesAreTwentyBytes) {
  std::string out;
  AppendXRefEntry(out, 17);
  EXPECT_EQ(out, "0000000017 00000 n\r\n");
  out.clear();
  AppendXRefEntry(out, 0);
  AppendXRefEntry(out, 9999999999ull);
  EXPECT_EQ(out, "0000000000 00000 n\r\n9999999999 00000 n\r\n");
  EXPECT_THROW(AppendXRefEntry(out, 10000000000ull), ERangeError);
  EXPECT_EQ(out.size(), 40u);
}

}  // namespace
}  // namespace pv
