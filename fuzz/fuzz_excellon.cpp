// The drill reader on arbitrary bytes: a hostile file may only be refused with a reason
// (EDrillRefused), never raise anything else, and every record it leaves lies inside the
// image's extents.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "draw/image.h"
#include "gerber/excellon.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static pv::TID_DrawFileFormat image;  // reused like the driver's one image
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  bool accepted = false;
  try {
    accepted = pv::ReadExcellonBytes(bytes, image);
  } catch (const pv::EDrillRefused&) {
    return 0;
  }
  if (!accepted || image.Count <= 0) std::abort();  // accepted means something to draw
  if (static_cast<size_t>(image.Count) > image.Records.size()) std::abort();
  for (int32_t i = 0; i < image.Count; ++i) {
    const pv::TID_DrawRecord& r = image.Records[static_cast<size_t>(i)];
    if (r.Size <= 0 || r.Count != static_cast<int32_t>(r.Points.size())) std::abort();
    const int64_t x0 = int64_t{r.X} + r.MinDX, x1 = int64_t{r.X} + r.MaxDX;
    const int64_t y0 = int64_t{r.Y} + r.MinDY, y1 = int64_t{r.Y} + r.MaxDY;
    if (x0 < image.MinX || x1 > image.MaxX || y0 < image.MinY || y1 > image.MaxY) std::abort();
  }
  return 0;
}
