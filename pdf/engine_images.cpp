// Image items of the PDF engine: BMP and JPEG pictures as image XObjects of the shared
// resources, the background picture, and page thumbnails.
#include "pdf/engine_images.h"

#include <cstring>
#include <vector>

#include "pdf/engine.h"
#include "pdf/syntax.h"

namespace pv {

namespace {

uint16_t U16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
uint32_t U32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

enum : uint32_t { kBiRgb = 0, kBiRle8 = 1, kBiRle4 = 2, kBiBitFields = 3, kBiAlphaBitFields = 6 };

// One channel of a bit-field pixel scaled to 0..255.
struct TChannel {
  uint32_t Mask = 0;
  int Shift = 0;
  uint32_t Max = 0;

  explicit TChannel(uint32_t mask) : Mask(mask) {
    if (!mask) return;
    while (!((mask >> Shift) & 1)) ++Shift;
    Max = mask >> Shift;
  }
  uint8_t Of(uint32_t px) const {
    if (!Max) return 0;
    return static_cast<uint8_t>(uint64_t{(px & Mask) >> Shift} * 255u / Max);
  }
};

struct TRgb {
  uint8_t R = 0, G = 0, B = 0;
};

}  // namespace

bool DecodeBitmapFile(std::span<const uint8_t> file, TgtPdfImageData& out) {
  const size_t size = file.size();
  const uint8_t* d = file.data();
  if (size < 26 || d[0] != 'B' || d[1] != 'M') return false;
  const uint32_t offBits = U32(d + 10);
  const uint32_t headerSize = U32(d + 14);
  int64_t width, height;
  uint32_t bpp, compression = kBiRgb, clrUsed = 0;
  size_t paletteAt, paletteEntry;
  uint32_t masks[3] = {0, 0, 0};
  bool topDown = false;
  if (headerSize == 12) {
    width = U16(d + 18);
    height = U16(d + 20);
    bpp = U16(d + 24);
    paletteAt = 26;
    paletteEntry = 3;
  } else if (headerSize >= 40 && uint64_t{14} + headerSize <= size) {
    width = static_cast<int32_t>(U32(d + 18));
    height = static_cast<int32_t>(U32(d + 22));
    bpp = U16(d + 28);
    compression = U32(d + 30);
    clrUsed = U32(d + 46);
    paletteAt = 14 + size_t{headerSize};
    paletteEntry = 4;
    if (height < 0) {
      topDown = true;
      height = -height;
    }
    if (compression == kBiBitFields || compression == kBiAlphaBitFields) {
      // The masks end the version 2 and later headers, or follow the plain info header.
      const size_t at = headerSize >= 52 ? 54 : paletteAt;
      if (at + 12 > size) return false;
      for (int i = 0; i < 3; ++i) masks[i] = U32(d + at + 4 * i);
      if (headerSize < 52) paletteAt += compression == kBiAlphaBitFields ? 16 : 12;
    }
  } else {
    return false;
  }
  if (width <= 0 || height <= 0 || width * height > kMaxImagePixels) return false;
  const bool rle = compression == kBiRle8 || compression == kBiRle4;
  if (rle && (topDown || bpp != (compression == kBiRle8 ? 8u : 4u))) return false;
  if (compression != kBiRgb && !rle && compression != kBiBitFields &&
      compression != kBiAlphaBitFields)
    return false;
  if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
  if ((compression == kBiBitFields || compression == kBiAlphaBitFields) && bpp != 16 && bpp != 32)
    return false;

  // Palette.
  std::vector<TRgb> palette;
  if (bpp <= 8) {
    size_t count = size_t{1} << bpp;
    if (clrUsed != 0 && clrUsed < count) count = clrUsed;
    palette.resize(size_t{1} << bpp);
    for (size_t i = 0; i < count; ++i) {
      const size_t at = paletteAt + i * paletteEntry;
      if (at + 3 > size) break;
      palette[i] = {d[at + 2], d[at + 1], d[at]};
    }
  }
  if (offBits >= size) return false;

  const size_t w = static_cast<size_t>(width), h = static_cast<size_t>(height);
  out.Width = static_cast<int32_t>(width);
  out.Height = static_cast<int32_t>(height);
  out.Samples.assign(w * h * 3, '\0');
  auto put = [&](size_t x, size_t row, TRgb c) {
    // row counts from the bottom for bottom-up bitmaps.
    const size_t y = topDown ? row : h - 1 - row;
    char* p = &out.Samples[(y * w + x) * 3];
    p[0] = static_cast<char>(c.R);
    p[1] = static_cast<char>(c.G);
    p[2] = static_cast<char>(c.B);
  };
  const uint8_t* bits = d + offBits;
  const size_t avail = size - offBits;

  if (rle) {
    // Pixels the encoding skips keep colour 0 of the palette.
    for (size_t y = 0; y < h; ++y)
      for (size_t x = 0; x < w; ++x) put(x, y, palette[0]);
    size_t x = 0, y = 0, i = 0;
    const bool four = compression == kBiRle4;
    while (i + 1 < avail && y < h) {
      const uint8_t n = bits[i], v = bits[i + 1];
      i += 2;
      if (n > 0) {
        for (uint8_t k = 0; k < n; ++k, ++x) {
          const uint8_t index = four ? ((k & 1) ? (v & 15) : (v >> 4)) : v;
          if (x < w) put(x, y, palette[index]);
        }
      } else if (v == 0) {
        x = 0;
        ++y;
      } else if (v == 1) {
        break;
      } else if (v == 2) {
        if (i + 1 >= avail) break;
        x += bits[i];
        y += bits[i + 1];
        i += 2;
      } else {
        const size_t bytes = four ? (size_t{v} + 1) / 2 : v;
        if (i + bytes > avail) return false;
        for (uint8_t k = 0; k < v; ++k, ++x) {
          const uint8_t b = bits[i + (four ? k / 2 : k)];
          const uint8_t index = four ? ((k & 1) ? (b & 15) : (b >> 4)) : b;
          if (x < w) put(x, y, palette[index]);
        }
        i += (bytes + 1) & ~size_t{1};  // runs are padded to whole words
      }
    }
    return true;
  }

  const size_t stride = ((w * bpp + 31) / 32) * 4;
  if (stride * h > avail) return false;
  const bool fields = compression == kBiBitFields || compression == kBiAlphaBitFields;
  const TChannel red(fields ? masks[0] : (bpp == 16 ? 0x7C00u : 0xFF0000u));
  const TChannel green(fields ? masks[1] : (bpp == 16 ? 0x03E0u : 0x00FF00u));
  const TChannel blue(fields ? masks[2] : (bpp == 16 ? 0x001Fu : 0x0000FFu));
  for (size_t y = 0; y < h; ++y) {
    const uint8_t* row = bits + y * stride;
    for (size_t x = 0; x < w; ++x) {
      switch (bpp) {
        case 1:
          put(x, y, palette[(row[x / 8] >> (7 - x % 8)) & 1]);
          break;
        case 4:
          put(x, y, palette[(x & 1) ? (row[x / 2] & 15) : (row[x / 2] >> 4)]);
          break;
        case 8:
          put(x, y, palette[row[x]]);
          break;
        case 24:
          put(x, y, {row[x * 3 + 2], row[x * 3 + 1], row[x * 3]});
          break;
        case 16: {
          const uint32_t px = U16(row + x * 2);
          put(x, y, {red.Of(px), green.Of(px), blue.Of(px)});
          break;
        }
        default: {
          const uint32_t px = U32(row + x * 4);
          put(x, y, {red.Of(px), green.Of(px), blue.Of(px)});
          break;
        }
      }
    }
  }
  return true;
}

bool ReadJpegInfo(std::span<const uint8_t> data, TgtJpegInfo& out) {
  const size_t n = data.size();
  const uint8_t* d = data.data();
  if (n < 4 || d[0] != 0xFF || d[1] != 0xD8) return false;
  size_t i = 2;
  bool adobe = false;
  while (i + 4 <= n) {
    if (d[i] != 0xFF) return false;
    const uint8_t marker = d[i + 1];
    if (marker == 0xFF) {  // fill byte
      ++i;
      continue;
    }
    if (marker == 0xD8 || (marker >= 0xD0 && marker <= 0xD7) || marker == 0x01) {
      i += 2;
      continue;
    }
    const size_t len = size_t{d[i + 2]} << 8 | d[i + 3];
    if (len < 2 || i + 2 + len > n) return false;
    const uint8_t* seg = d + i + 4;
    if (marker == 0xEE && len >= 14 && std::memcmp(seg, "Adobe", 5) == 0) adobe = true;
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (len < 8) return false;
      out.Height = (seg[1] << 8) | seg[2];
      out.Width = (seg[3] << 8) | seg[4];
      out.Components = seg[5];
      out.AdobeInverted = adobe && out.Components == 4;
      return out.Width > 0 && out.Height > 0 &&
             (out.Components == 1 || out.Components == 3 || out.Components == 4);
    }
    if (marker == 0xDA || marker == 0xD9) return false;  // scan or end before any frame
    i += 2 + len;
  }
  return false;
}

// ---- The engine's image objects ----------------------------------------------------------------

std::string TgtCustomPDFEngine::ImageStreamDict(const TgtPdfImageData& image, std::string& data) {
  std::string dict = "/Width " + IntToStr(image.Width) + "/Height " + IntToStr(image.Height) +
                     "/ColorSpace /DeviceRGB/BitsPerComponent 8/Filter /FlateDecode";
  data.clear();
  CompressStream(image.Samples, data,
                 compression_.Enabled ? compression_.Level : TgtCompressionLevel::clMaxCompress);
  return dict;
}

int32_t TgtCustomPDFEngine::WriteImageXObject(const uint8_t* bytes, size_t size,
                                              TgtPoint* pixelSize) {
  const std::span<const uint8_t> picture(bytes, size);
  std::string dict = "/Type /XObject/Subtype /Image";
  std::string data;
  TgtJpegInfo jpeg;
  TgtPdfImageData decoded;
  if (ReadJpegInfo(picture, jpeg)) {
    dict += "/Width " + IntToStr(jpeg.Width) + "/Height " + IntToStr(jpeg.Height);
    dict += jpeg.Components == 1   ? "/ColorSpace /DeviceGray"
            : jpeg.Components == 3 ? "/ColorSpace /DeviceRGB"
                                   : "/ColorSpace /DeviceCMYK";
    if (jpeg.AdobeInverted) dict += "/Decode [1 0 1 0 1 0 1 0]";
    dict += "/BitsPerComponent 8/Filter /DCTDecode";
    data.assign(reinterpret_cast<const char*>(bytes), size);
    if (pixelSize) *pixelSize = {static_cast<double>(jpeg.Width), static_cast<double>(jpeg.Height)};
  } else if (DecodeBitmapFile(picture, decoded)) {
    dict += ImageStreamDict(decoded, data);
    if (pixelSize)
      *pixelSize = {static_cast<double>(decoded.Width), static_cast<double>(decoded.Height)};
  } else {
    return 0;  // a picture the writer cannot read draws nothing
  }
  const int32_t n = AllocObject();
  writer_.DeferStoredStreamObject(dict, std::move(data), n);
  return n;
}

const std::string* TgtCustomPDFEngine::ImageResource(int32_t imageIndex, const uint8_t* bytes,
                                                     size_t size) {
  for (const TgtPdfXObject& x : imageList_)
    if (x.ImageIndex == imageIndex) return x.ObjectNumber ? &x.Name : nullptr;
  TgtPdfXObject x;
  x.ImageIndex = imageIndex;
  x.ObjectNumber = WriteImageXObject(bytes, size);
  x.Name = "Im" + IntToStr(static_cast<int64_t>(imageList_.size()));
  imageList_.push_back(std::move(x));
  return imageList_.back().ObjectNumber ? &imageList_.back().Name : nullptr;
}

void TgtCustomPDFEngine::DrawImageResource(const TgtImageItem& item, const std::string& name) {
  const TgtRectD& r = item.Rect;
  std::string& c = pageContent_;
  c += "\r\nq\r\n";
  AppendNumber(c, (r.Right - r.Left) * pointsPerUnit_ * InputXRes() / kScreenPPI);
  c += " 0 0 ";
  AppendNumber(c, (r.Bottom - r.Top) * pointsPerUnit_ * InputYRes() / kScreenPPI);
  c += ' ';
  AppendNumber(c, ToPdfX(r.Left));
  c += ' ';
  AppendNumber(c, ToPdfY(r.Bottom));
  c += " cm /";
  c += name;
  c += " Do\r\nQ";
  // The frame's sides, with the item's pen.
  const TgtFrame& f = item.Frame;
  if (f.Left) shapes_.RenderLine(item.Pen, r.Left, r.Top, r.Left, r.Bottom);
  if (f.Top) shapes_.RenderLine(item.Pen, r.Left, r.Top, r.Right, r.Top);
  if (f.Right) shapes_.RenderLine(item.Pen, r.Right, r.Top, r.Right, r.Bottom);
  if (f.Bottom) shapes_.RenderLine(item.Pen, r.Left, r.Bottom, r.Right, r.Bottom);
}

void TgtCustomPDFEngine::RenderImage(const TgtImageItem& item) {
  const TgtGraphic* g = ImageAt(item.ImageIndex);
  if (!g || (g->Kind != TgtGraphicKind::gkBitmap && g->Kind != TgtGraphicKind::gkJPEG)) return;
  const std::string* name = ImageResource(item.ImageIndex, g->Data.data(), g->Data.size());
  if (name) DrawImageResource(item, *name);
}

void TgtCustomPDFEngine::RenderImageStream(const TgtImageStream& item) {
  const std::string* name = ImageResource(item.ImageIndex, item.Stream.data(), item.Stream.size());
  if (name) DrawImageResource(item, *name);
}

std::string TgtCustomPDFEngine::BackgroundImageText(double pageW, double pageH) {
  if (backgroundImage_.Empty()) return {};
  if (backgroundObject_ == 0) {
    const std::vector<uint8_t>& bytes = backgroundImage_.Data;
    backgroundObject_ = WriteImageXObject(bytes.data(), bytes.size(), &backgroundSize_);
    if (backgroundObject_ == 0) backgroundObject_ = -1;
    backgroundType_ = backgroundDisplayType_;  // the whole document keeps one placement
    if (backgroundObject_ > 0) {
      // One picture pixel is one screen pixel.
      backgroundSize_.X *= pointsPerUnit_;
      backgroundSize_.Y *= pointsPerUnit_;
      // A tiled picture is a coloured tiling pattern whose cell is the picture.
      if (backgroundType_ == TgtBackgroundDisplayType::dtTile)
        patternList_.emplace_back("PI", AllocObject());
    }
  }
  if (backgroundObject_ < 0) return {};
  const double fx = static_cast<double>(InputXRes()) / kScreenPPI;
  const double fy = static_cast<double>(InputYRes()) / kScreenPPI;
  const double iw = backgroundSize_.X, ih = backgroundSize_.Y;
  std::string t;
  if (backgroundType_ == TgtBackgroundDisplayType::dtTile) {
    // A coloured pattern takes the plain Pattern space: it has no colour of its own.
    t = "/Pattern cs /PI scn n 0.0000 0.0000 ";
    AppendNumber(t, pageW * fx);
    t += ' ';
    AppendNumber(t, pageH * fy);
    t += " re f";
    return t;
  }
  // dtTopLeft to dtBottomRight run row by row over a 3 x 3 grid; anything else is centred.
  int column = 1, row = 1;
  const int cell =
      static_cast<int>(backgroundType_) - static_cast<int>(TgtBackgroundDisplayType::dtTopLeft);
  if (cell >= 0 && cell < 9) {
    column = cell % 3;
    row = cell / 3;
  }
  const auto offset = [](double room, int halves) { return halves == 0 ? 0.0 : room * halves / 2; };
  const double x = offset(pageW - iw, column), y = offset(pageH - ih, 2 - row);
  t = "q ";
  AppendNumber(t, iw * fx);
  t += " 0 0 ";
  AppendNumber(t, ih * fy);
  t += ' ';
  AppendNumber(t, x * fx);
  t += ' ';
  AppendNumber(t, y * fy);
  t += " cm /BI Do Q";
  return t;
}

void TgtCustomPDFEngine::WriteBackgroundPattern(int32_t n) {
  const std::string w = FormatNumber(backgroundSize_.X), h = FormatNumber(backgroundSize_.Y);
  const std::string dict =
      "/Type /Pattern\r\n/Resources << /XObject << /BI " + ObjRef(backgroundObject_) +
      " >> >>\r\n/PatternType 1\r\n/PaintType 1\r\n/TilingType 1\r\n/BBox [0 0 " + w + " " + h +
      "]\r\n/XStep " + w + "\r\n/YStep " + h + "\r\n";
  WriteStreamObject(dict, "q " + w + " 0 0 " + h + " 0 0 cm /BI Do Q", n);
}

void TgtCustomPDFEngine::MakeThumbnail(const TgtGraphic& bitmap) {
  if (!output_ || !CurrentPageInfo()) return;
  TgtPdfImageData decoded;
  if (!DecodeBitmapFile(bitmap.Data, decoded)) return;
  TgtPDFThumbnailItem thumb;
  thumb.Page = CurrentPage();
  thumb.Dict = ImageStreamDict(decoded, thumb.Data);
  // A second thumbnail for the same page replaces the first.
  for (TgtPDFThumbnailItem& t : thumbnails_)
    if (t.Page == thumb.Page) {
      thumb.ObjectNumber = t.ObjectNumber;
      t = std::move(thumb);
      return;
    }
  thumb.ObjectNumber = AllocObject();
  thumbnails_.push_back(std::move(thumb));
}

void TgtCustomPDFEngine::WriteThumbnails() {
  for (TgtPDFThumbnailItem& t : thumbnails_)
    writer_.WriteStoredStreamObject(t.Dict, std::move(t.Data), t.ObjectNumber);
  thumbnails_.clear();
}

}  // namespace pv
