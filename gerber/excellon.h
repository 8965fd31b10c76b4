#pragma once
// NC drill files in the Excellon format, read into the same image of draw records as an
// RS-274-X file: a hole is a disc of its tool's diameter, a slot or a routed cut a stroke
// of the tool's diameter.
#include <cstddef>
#include <functional>
#include <string_view>

#include "draw/image.h"
#include "platform/errors.h"

namespace pv {

// A drill file refused with the reason in what(). A range error, so that every caller
// that copes with a hostile Gerber file copes with it too.
struct EDrillRefused : ERangeError {
  explicit EDrillRefused(const std::string& what) : ERangeError(what) {}
};

// Tool numbers beyond this are no real drill's tool table.
inline constexpr int32_t kMaxDrillTool = 999;
// A drill file larger than this is no real one (the largest we know are below 1 MiB).
inline constexpr size_t kMaxDrillBytes = 16u << 20;
// Holes that repeats (R) may add beyond one for every two bytes of the file (real files
// repeat a hole a few times).
inline constexpr uint64_t kFreeDrillRepeats = 4096;

// True when the start of a file is an Excellon drill file rather than RS-274-X: before
// the first '*' outside ';' comments there is an M48 header or a tool word, after nothing
// but '%', units, and G, M, F or S codes.
bool LooksLikeExcellon(std::string_view head);

// Reads the rest of a file: bytes into buf, 0 at its end (raises EInOutError on failure).
using DrillReadMore = std::function<size_t(char* buf, size_t size)>;

// Reads a drill file whose first bytes are `first` into the image (reset first); the
// remaining bytes come from `more`. True = accepted. A file a drill would not take (a tool
// used without a diameter, coordinates beyond the 32-bit image, tool numbers beyond any
// real table, a file beyond kMaxDrillBytes, nothing to drill) raises EDrillRefused.
bool ReadExcellon(std::string_view first, const DrillReadMore& more, TID_DrawFileFormat& image);
bool ReadExcellonBytes(std::string_view bytes, TID_DrawFileFormat& image);

}  // namespace pv
