#pragma once
// Pictures for image XObjects: BMP files decoded to 8-bit RGB samples, and the frame header
// of JPEG data, which goes into the PDF as it is (DCTDecode).
#include <cstdint>
#include <span>
#include <string>

namespace pv {

// Decoded samples: three bytes (red, green, blue) per pixel, rows from top to bottom.
struct TgtPdfImageData {
  int32_t Width = 0;
  int32_t Height = 0;
  std::string Samples;
};

// The largest picture decoded, in pixels: a damaged header must not make us allocate
// gigabytes.
constexpr int64_t kMaxImagePixels = int64_t{1} << 27;

// Decodes a BMP file: a core or info header (any later version), 1, 4, 8, 16, 24 or 32 bits
// per pixel, uncompressed, with bit fields, or run-length encoded (RLE8, RLE4), bottom-up or
// top-down. False for any other encoding and for damaged or truncated data.
bool DecodeBitmapFile(std::span<const uint8_t> file, TgtPdfImageData& out);

struct TgtJpegInfo {
  int32_t Width = 0;
  int32_t Height = 0;
  int32_t Components = 0;      // 1 grey, 3 colour, 4 CMYK
  bool AdobeInverted = false;  // CMYK written inverted, as Adobe's APP14 marker says
};

// Reads the frame header of a JPEG stream; false when the data is not one.
bool ReadJpegInfo(std::span<const uint8_t> data, TgtJpegInfo& out);

}  // namespace pv
