#pragma once
// An enhanced metafile held as genuine EMF records (published little-endian layouts),
// and the recording canvas that writes them as the caller draws.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/graphics.h"

namespace pv {

class TMetafile {
 public:
  // Size of the picture in screen pixels (96 per inch), as the engine sets it.
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetWidth(int32_t w) { width_ = w; }
  void SetHeight(int32_t h) { height_ = h; }
  bool Enhanced() const { return true; }

  // The complete recording: EMR_HEADER first, EMR_EOF last (empty before a canvas closed).
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& MutableBytes() { return bytes_; }
  void Clear() { bytes_.clear(); }

 private:
  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace pv
