#pragma once
// An enhanced metafile held as genuine EMF records (published little-endian layouts),
// and the recording canvas that writes them as the caller draws.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "docengine/emf.h"
#include "platform/graphics.h"

namespace pv {

class TMetafile {
 public:
  // Size of the picture in screen pixels (96 per inch), as the engine sets it.
  int32_t Width() const { return width_; }
  int32_t Height() const { return height_; }
  void SetWidth(int32_t w) { width_ = w; }
  void SetHeight(int32_t h) { height_ = h; }

  // The complete recording: EMR_HEADER first, EMR_EOF last (empty before a canvas closed).
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  std::vector<uint8_t>& MutableBytes() { return bytes_; }
  void Clear() { bytes_.clear(); }

  // The records in file order (the buffer must not change while they are walked).
  TEmfEnumerator Records() const { return TEmfEnumerator(bytes_); }

  // Writes the recording as a .emf file; raises EInOutError when the file cannot be
  // written.
  void SaveToFile(const std::string& path) const;
  // Reads a .emf file; raises EInOutError when it cannot be read or is not a well-formed
  // enhanced metafile (the metafile is then unchanged).
  void LoadFromFile(const std::string& path);
  // Takes a complete EMF byte image; false (metafile unchanged) when it is not well
  // formed. Width and height come from the header's frame at 96 pixels per inch.
  bool LoadFromBytes(std::span<const uint8_t> bytes);
  bool LoadFromBytes(std::vector<uint8_t>&& bytes);

  // Whether bytes are a well-formed enhanced metafile: EMR_HEADER first with the " EMF"
  // signature, nBytes equal to the byte count, every record sized in multiples of 4 and
  // inside the image, nRecords equal to the records present, EMR_EOF last. why receives
  // the first fault found.
  static bool IsWellFormed(std::span<const uint8_t> bytes, std::string* why = nullptr);

 private:
  void Adopt(std::vector<uint8_t>&& bytes);

  int32_t width_ = 0;
  int32_t height_ = 0;
  std::vector<uint8_t> bytes_;
};

}  // namespace pv
