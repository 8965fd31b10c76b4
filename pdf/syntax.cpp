#include "pdf/syntax.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/errors.h"
#include "platform/text.h"

namespace pv {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// "00".."99" for writing two digits at a time.
constexpr std::array<char, 200> MakeDigitPairs() {
  std::array<char, 200> t{};
  for (int i = 0; i < 100; ++i) {
    t[2 * i] = static_cast<char>('0' + i / 10);
    t[2 * i + 1] = static_cast<char>('0' + i % 10);
  }
  return t;
}
constexpr std::array<char, 200> kDigitPairs = MakeDigitPairs();

inline char* WriteFourDigits(char* p, uint32_t v) {
  std::memcpy(p, &kDigitPairs[2 * (v / 100)], 2);
  std::memcpy(p + 2, &kDigitPairs[2 * (v % 100)], 2);
  return p + 4;
}

// The decimal digits of w, without leading zeros; two at a time below 10^8.
inline char* WriteWhole(char* p, uint64_t w) {
  if (w < 100) {
    if (w < 10) {
      *p = static_cast<char>('0' + w);
      return p + 1;
    }
    std::memcpy(p, &kDigitPairs[2 * w], 2);
    return p + 2;
  }
  if (w < 10000) {
    const auto v = static_cast<uint32_t>(w);
    if (v < 1000) {
      *p = static_cast<char>('0' + v / 100);
      std::memcpy(p + 1, &kDigitPairs[2 * (v % 100)], 2);
      return p + 3;
    }
    return WriteFourDigits(p, v);
  }
  if (w < 100000000) {
    p = WriteWhole(p, w / 10000);
    return WriteFourDigits(p, static_cast<uint32_t>(w % 10000));
  }
  return std::to_chars(p, p + 24, w).ptr;
}

inline char* WriteZero(char* p) {
  std::memcpy(p, "0.0000", 6);
  return p + 6;
}

using u128 = unsigned __int128;

// The text of byte/255 for every byte, six characters each ("0.5020", "1.0000").
struct ColorComponents {
  char text[256][6];
  ColorComponents() {
    for (int b = 0; b < 256; ++b) {
      char buf[kMaxNumberChars];
      char* end = FormatNumberTo(buf, b / 255.0);
      std::memcpy(text[b], buf, static_cast<size_t>(end - buf));
    }
  }
};

const ColorComponents& Components() {
  static const ColorComponents c;
  return c;
}

}  // namespace

char* FormatNumberTo(char* buf, double v) {
  const uint64_t bits = std::bit_cast<uint64_t>(v);
  const bool negative = (bits >> 63) != 0;
  const int biased = static_cast<int>((bits >> 52) & 0x7FF);
  const uint64_t fraction = bits & ((uint64_t{1} << 52) - 1);
  if (biased == 0x7FF) return WriteZero(buf);

  // v = +-m * 2^e exactly.
  const uint64_t m = biased == 0 ? fraction : (fraction | (uint64_t{1} << 52));
  const int e = biased == 0 ? -1074 : biased - 1075;

  uint64_t whole = 0;
  uint32_t decimals = 0;
  if (e >= 0) {
    if (e > 10) {
      // At least 2^63: an integer too long for 64 bits; its exact digits, no decimals.
      char* p = buf;
      if (negative) *p++ = '-';
      auto r =
          std::to_chars(p, buf + kMaxNumberChars - 5, std::fabs(v), std::chars_format::fixed, 0);
      p = r.ptr;
      std::memcpy(p, ".0000", 5);
      return p + 5;
    }
    whole = m << e;
  } else {
    const int s = -e;
    uint64_t rest;
    if (s >= 64) {
      rest = m;
    } else {
      whole = m >> s;
      rest = m & ((uint64_t{1} << s) - 1);
    }
    // rest / 2^s is the fractional part; rest * 10000 < 2^67, so from s = 68 on it rounds
    // to nothing.
    if (s <= 50) {
      // rest * 10000 < 2^64: plain 64-bit arithmetic for the common magnitudes.
      const uint64_t scaled = rest * 10000u;
      uint64_t q = scaled >> s;
      if ((scaled & ((uint64_t{1} << s) - 1)) >= (uint64_t{1} << (s - 1))) ++q;
      decimals = static_cast<uint32_t>(q);
      if (decimals == 10000) {
        decimals = 0;
        ++whole;
      }
    } else if (s < 68) {
      const u128 scaled = static_cast<u128>(rest) * 10000u;
      u128 q = scaled >> s;
      const u128 r = scaled & ((static_cast<u128>(1) << s) - 1);
      if (r >= (static_cast<u128>(1) << (s - 1))) ++q;  // ties away from zero
      decimals = static_cast<uint32_t>(q);
      if (decimals == 10000) {
        decimals = 0;
        ++whole;
      }
    }
  }
  if (whole == 0 && decimals == 0) return WriteZero(buf);

  char* p = buf;
  if (negative) *p++ = '-';
  p = WriteWhole(p, whole);
  *p++ = '.';
  return WriteFourDigits(p, decimals);
}

std::string FormatNumber(double v) {
  char buf[kMaxNumberChars];
  char* end = FormatNumberTo(buf, v);
  return std::string(buf, end);
}

void AppendNumber(std::string& out, double v) {
  char buf[kMaxNumberChars];
  char* end = FormatNumberTo(buf, v);
  out.append(buf, end);
}

void AppendColor(std::string& out, TColor color) {
  // Recorded colours are COLORREFs: red in the low byte, then green, then blue.
  const auto c = static_cast<uint32_t>(color);
  const ColorComponents& t = Components();
  char buf[20];
  std::memcpy(buf, t.text[c & 0xFF], 6);
  buf[6] = ' ';
  std::memcpy(buf + 7, t.text[(c >> 8) & 0xFF], 6);
  buf[13] = ' ';
  std::memcpy(buf + 14, t.text[(c >> 16) & 0xFF], 6);
  out.append(buf, 20);
}

void AppendNumberPair(std::string& out, double x, double y) {
  AppendNumber(out, x);
  out += ' ';
  AppendNumber(out, y);
}

std::string FormatColor(TColor color) {
  std::string s;
  AppendColor(s, color);
  return s;
}

void AppendHex(std::string& out, std::string_view bytes) {
  const size_t start = out.size();
  out.resize(start + 2 * bytes.size());
  char* p = out.data() + start;
  for (unsigned char b : bytes) {
    *p++ = kHexDigits[b >> 4];
    *p++ = kHexDigits[b & 15];
  }
}

std::string HexString(std::string_view bytes) {
  std::string s;
  AppendHex(s, bytes);
  return s;
}

std::string PdfTextString(std::u16string_view text, int32_t objectNumber,
                          const TEncryptStringFn& encrypt) {
  std::string bytes;
  bytes.reserve(2 + 2 * text.size());
  bytes.push_back(static_cast<char>(0xFE));
  bytes.push_back(static_cast<char>(0xFF));
  for (char16_t u : text) {
    bytes.push_back(static_cast<char>(u >> 8));
    bytes.push_back(static_cast<char>(u & 0xFF));
  }
  if (encrypt) bytes = encrypt(bytes, objectNumber);
  return HexString(bytes);
}

std::string PdfTextString(std::string_view utf8, int32_t objectNumber,
                          const TEncryptStringFn& encrypt) {
  return PdfTextString(std::u16string_view(Utf8ToUtf16(utf8)), objectNumber, encrypt);
}

void AppendEscapedPdfString(std::string& out, std::string_view bytes) {
  size_t column = 0;
  for (char c : bytes) {
    switch (c) {
      case '(':
      case ')':
      case '\\':
        out.push_back('\\');
        out.push_back(c);
        break;
      case '\b':
        out.append("\\b", 2);
        break;
      case '\f':
        out.append("\\f", 2);
        break;
      case '\n':
        out.append("\\n", 2);
        break;
      case '\r':
        out.append("\\r", 2);
        break;
      case '\t': {
        const size_t spaces = 8 - column % 8;
        out.append(spaces, ' ');
        column += spaces;
        continue;
      }
      default:
        out.push_back(c);
        break;
    }
    ++column;
  }
}

std::string EscapePdfString(std::string_view bytes) {
  std::string s;
  s.reserve(bytes.size() + 8);
  AppendEscapedPdfString(s, bytes);
  return s;
}

std::string EscapePdfName(std::string_view name) {
  std::string s;
  s.reserve(name.size());
  for (char ch : name) {
    const auto b = static_cast<unsigned char>(ch);
    const bool delimiter = std::strchr("()<>[]{}/%#", ch) != nullptr && ch != '\0';
    if (delimiter || b < 0x21 || b > 0x7E) {
      s.push_back('#');
      s.push_back(kHexDigits[b >> 4]);
      s.push_back(kHexDigits[b & 15]);
    } else {
      s.push_back(ch);
    }
  }
  return s;
}

void AppendInt(std::string& out, int64_t v) {
  char buf[24];
  char* end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  out.append(buf, end);
}

void AppendUInt(std::string& out, uint64_t v) {
  char buf[24];
  char* end = std::to_chars(buf, buf + sizeof buf, v).ptr;
  out.append(buf, end);
}

std::string IntToStr(int64_t v) {
  std::string s;
  AppendInt(s, v);
  return s;
}

void AppendZeroPadded(std::string& out, int64_t v, int digits) {
  // The magnitude as unsigned, so that INT64_MIN has one too.
  const uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  char buf[24];
  char* end = std::to_chars(buf, buf + sizeof buf, magnitude).ptr;
  const auto len = static_cast<int>(end - buf);
  if (v < 0) out.push_back('-');
  if (digits > len) out.append(static_cast<size_t>(digits - len), '0');
  out.append(buf, end);
}

std::string ZeroPadded(int64_t v, int digits) {
  std::string s;
  AppendZeroPadded(s, v, digits);
  return s;
}

void AppendXRefEntry(std::string& out, uint64_t offset) {
  // Ten digits is all an entry has room for; a longer offset would break the 20-byte lines.
  if (offset > 9999999999ull) throw ERangeError("Cross-reference offset beyond 10 digits");
  char buf[20];
  std::memcpy(buf, "0000000000 00000 n\r\n", 20);
  for (int i = 9; i >= 0 && offset != 0; --i) {
    buf[i] = static_cast<char>('0' + offset % 10);
    offset /= 10;
  }
  out.append(buf, 20);
}

}  // namespace pv
