// Code page 1252 (Windows Western) conversions.
#include <cstdint>

#include "platform/fonts.h"

namespace pv::fonts {

namespace {

// Bytes 0x80..0x9F of code page 1252. The five bytes the code page leaves unassigned
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) convert to the C1 control of the same number, as the
// system conversion does, so that every byte survives a round trip.
constexpr char16_t kAnsi80[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

bool IsHighSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
  return c >= 0xDC00 && c <= 0xDFFF;
}

}  // namespace

int AnsiCode(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i)
    if (kAnsi80[i] == c) return 0x80 + i;
  return -1;
}

std::string ToAnsi(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char16_t c = text[i];
    // A surrogate pair is one character outside the code page: one '?'.
    if (IsHighSurrogate(c) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
    int code = AnsiCode(c);
    out.push_back(code < 0 ? '?' : static_cast<char>(code));
  }
  return out;
}

std::u16string FromAnsi(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char ch : text) {
    auto b = static_cast<uint8_t>(ch);
    out.push_back(b >= 0x80 && b <= 0x9F ? kAnsi80[b - 0x80] : static_cast<char16_t>(b));
  }
  return out;
}

}  // namespace pv::fonts
