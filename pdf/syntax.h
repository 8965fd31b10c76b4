#pragma once
// Text pieces of the PDF writer: numbers with four decimals, colours, hexadecimal and
// UTF-16 text strings, literal-string escaping, name escaping and integers. None of it
// depends on the C locale: a comma-decimal locale still writes "0.0960".
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "platform/graphics.h"

namespace pv {

// Longest text FormatNumberTo can write: sign, 309 integer digits, point, four decimals.
constexpr size_t kMaxNumberChars = 320;

// Writes v in fixed point with exactly four decimals into buf (at least kMaxNumberChars
// bytes) and returns the end. The double's exact value is rounded to four decimals, ties
// away from zero; a value that rounds to zero is "0.0000" (no minus sign). NaN and the
// infinities have no PDF form and are written as "0.0000".
char* FormatNumberTo(char* buf, double v);

// FormatNumber(0) = "0.0000", FormatNumber(612) = "612.0000", FormatNumber(-1.5) = "-1.5000".
std::string FormatNumber(double v);

// Appends FormatNumber(v) to out without any temporary allocation (hot path of content
// streams).
void AppendNumber(std::string& out, double v);
// "x y": two numbers and the blank between them (a point, a size).
void AppendNumberPair(std::string& out, double x, double y);

// "r g b" with each byte of the 0x00BBGGRR colour divided by 255, four decimals each:
// black "0.0000 0.0000 0.0000", 128 in a component gives "0.5020".
std::string FormatColor(TColor color);
void AppendColor(std::string& out, TColor color);

// Two upper-case hexadecimal digits per byte.
std::string HexString(std::string_view bytes);
void AppendHex(std::string& out, std::string_view bytes);

// The writer's string encryption for an object: bytes in, bytes out (RC4 with the object's
// key, or the identity when the document is not encrypted).
using TEncryptStringFn = std::function<std::string(std::string_view bytes, int32_t objectNumber)>;

// The hexadecimal body of a PDF text string: FE FF and each UTF-16 code unit high byte
// first, passed through encrypt for the object, then HexString. An empty encrypt leaves the
// bytes as they are.
std::string PdfTextString(std::u16string_view text, int32_t objectNumber,
                          const TEncryptStringFn& encrypt = {});
// The same for UTF-8 text (converted to UTF-16 first).
std::string PdfTextString(std::string_view utf8, int32_t objectNumber,
                          const TEncryptStringFn& encrypt = {});
inline std::string PdfTextString(const char* utf8, int32_t objectNumber,
                                 const TEncryptStringFn& encrypt = {}) {
  return PdfTextString(std::string_view(utf8), objectNumber, encrypt);
}

// The body of a literal string "(...)": backslash before "(", ")" and "\", backspace,
// form feed, line feed and carriage return as "\b" "\f" "\n" "\r", a tab expanded to spaces
// up to the next multiple of 8 columns (every byte counts as one column).
std::string EscapePdfString(std::string_view bytes);
void AppendEscapedPdfString(std::string& out, std::string_view bytes);

// A PDF name body (without the leading "/"): each of "()<>[]{}/%", the escape character
// "#" itself, and every byte outside "!".."~" (blanks, control and non-ASCII bytes) is
// written as "#" and two upper-case hexadecimal digits.
std::string EscapePdfName(std::string_view name);

// Decimal integers.
std::string IntToStr(int64_t v);
void AppendInt(std::string& out, int64_t v);
void AppendUInt(std::string& out, uint64_t v);

// A decimal integer with at least `digits` digits, zeros in front, the minus sign outside
// the digits: (17, 10) -> "0000000017", (-5, 2) -> "-05".
std::string ZeroPadded(int64_t v, int digits);
void AppendZeroPadded(std::string& out, int64_t v, int digits);

// One 20-byte cross-reference entry of an object in use: "0000000017 00000 n\r\n".
void AppendXRefEntry(std::string& out, uint64_t offset);

}  // namespace pv
