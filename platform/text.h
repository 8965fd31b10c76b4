#pragma once
// UTF-8 <-> UTF-16 for file names and captions (arguments arrive as UTF-8 bytes).
#include <string>
#include <string_view>

namespace pv {

// Invalid UTF-8 bytes are taken as Latin-1 characters, so no byte of a name is lost.
std::u16string Utf8ToUtf16(std::string_view s);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view s);

std::string LowerAscii(std::string_view s);
bool EqualsIgnoreCase(std::string_view a, std::string_view b);
std::string_view Trim(std::string_view s);

}  // namespace pv
