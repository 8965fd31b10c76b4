// Images and metafiles of the document engine: the image list, image items and the
// playing of metafiles through the metafile processor.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

#include "docengine/emf.h"
#include "docengine/engine.h"
#include "docengine/metafile_processor.h"
#include "docengine/rounding.h"

namespace pv {

namespace {

// A copy of an enhanced metafile whose picture is scaled by (sx, sy): a world-transform
// record placed right after the header scales every later coordinate, pen and font.
TMetafile ScaledMetafile(const TMetafile& src, double sx, double sy) {
  TMetafile out;
  out.SetWidth(RoundPixels(src.Width() * sx));
  out.SetHeight(RoundPixels(src.Height() * sy));
  const std::vector<uint8_t>& in = src.Bytes();
  ENHMETAHEADER h;
  if (in.size() < sizeof h) return out;
  std::memcpy(&h, in.data(), sizeof h);
  if (h.emr.iType != EMR_HEADER || h.emr.nSize < sizeof h || h.emr.nSize > in.size() ||
      h.emr.nSize % 4 != 0)
    return out;
  EMRMODIFYWORLDTRANSFORM m{};
  m.emr.iType = EMR_MODIFYWORLDTRANSFORM;
  m.emr.nSize = sizeof m;
  m.xform = {static_cast<float>(sx), 0.0f, 0.0f, static_cast<float>(sy), 0.0f, 0.0f};
  m.iMode = MWT_LEFTMULTIPLY;
  std::vector<uint8_t>& bytes = out.MutableBytes();
  bytes.reserve(in.size() + sizeof m);
  bytes.insert(bytes.end(), in.begin(), in.begin() + h.emr.nSize);
  const auto* mb = reinterpret_cast<const uint8_t*>(&m);
  bytes.insert(bytes.end(), mb, mb + sizeof m);
  bytes.insert(bytes.end(), in.begin() + h.emr.nSize, in.end());
  h.nBytes = static_cast<uint32_t>(bytes.size());
  h.nRecords += 1;
  std::memcpy(bytes.data(), &h, sizeof h);
  return out;
}

}  // namespace

// ---- Metafiles ----------------------------------------------------------------------------

void TgtCustomDocumentEngine::ProcessMetafile(const TMetafile& metafile, double x, double y) {
  if (!docOpen_) return;
  // Whether or not the engine claims the input resolution (capInputResolution), the
  // recording goes to the processor as recorded: the processor itself maps input dots to
  // screen pixels, so replaying a page recording into the page rectangle first would be
  // an identity. Pictures of another size are scaled by PlayMetafile into a rectangle.
  TgtMetafileProcessor processor(*this);
  processor.UpdatePositionTextMode = true;
  processor.Process(metafile, x + area_.Left, y + area_.Top);
}

void TgtCustomDocumentEngine::PlayMetafile(const TMetafile& metafile) {
  if (!docOpen_) return;
  ProcessMetafile(metafile, 0, 0);
}

void TgtCustomDocumentEngine::PlayMetafile(const TMetafile& metafile, double x, double y) {
  if (!docOpen_) return;
  ProcessMetafile(metafile, ConvertLengthX(x), ConvertLengthY(y));
}

void TgtCustomDocumentEngine::PlayMetafile(const TgtRectD& rect, const TgtGraphic& graphic) {
  if (!docOpen_) return;
  if (graphic.Kind != TgtGraphicKind::gkMetafile) {
    DrawImage(rect, graphic);
    return;
  }
  const TMetafile& mf = graphic.Metafile;
  const double left = std::min(ConvertLengthX(rect.Left), ConvertLengthX(rect.Right));
  const double top = std::min(ConvertLengthY(rect.Top), ConvertLengthY(rect.Bottom));
  const double w = std::fabs(ConvertLengthX(rect.Right) - ConvertLengthX(rect.Left));
  const double h = std::fabs(ConvertLengthY(rect.Bottom) - ConvertLengthY(rect.Top));
  if (mf.Width() <= 0 || mf.Height() <= 0 || w <= 0 || h <= 0) {
    ProcessMetafile(mf, left, top);
    return;
  }
  const TMetafile scaled = ScaledMetafile(mf, w / mf.Width(), h / mf.Height());
  ProcessMetafile(scaled, left, top);
}

// ---- Images -------------------------------------------------------------------------------

TgtGraphic TgtGraphic::FromBitmapFile(std::vector<uint8_t> bytes) {
  TgtGraphic g;
  g.Kind = TgtGraphicKind::gkBitmap;
  g.Data = std::move(bytes);
  const std::vector<uint8_t>& d = g.Data;
  if (d.size() >= 26 && d[0] == 'B' && d[1] == 'M') {
    uint32_t infoSize;
    std::memcpy(&infoSize, d.data() + 14, 4);
    if (infoSize == 12) {  // BITMAPCOREHEADER
      uint16_t w, h;
      std::memcpy(&w, d.data() + 18, 2);
      std::memcpy(&h, d.data() + 20, 2);
      g.Width = w;
      g.Height = h;
    } else if (infoSize >= 40) {
      int32_t w, h;
      std::memcpy(&w, d.data() + 18, 4);
      std::memcpy(&h, d.data() + 22, 4);
      // Top-down bitmaps have a negative height.
      g.Width = w < 0 ? 0 : w;
      g.Height = h == INT32_MIN ? 0 : (h < 0 ? -h : h);
    }
  }
  return g;
}

int32_t TgtCustomDocumentEngine::AddImageToList(std::vector<uint8_t> bitmapFile) {
  images_.push_back({TgtGraphic::FromBitmapFile(std::move(bitmapFile)), false});
  return static_cast<int32_t>(images_.size() - 1);
}

const TgtGraphic* TgtCustomDocumentEngine::ImageAt(int32_t index) const {
  if (index < 0 || index >= static_cast<int32_t>(images_.size())) return nullptr;
  const ImageEntry& e = images_[static_cast<size_t>(index)];
  return e.Graphic.Empty() ? nullptr : &e.Graphic;
}

int32_t TgtCustomDocumentEngine::AddImageAsResource(const TgtGraphic& graphic) {
  if (!docOpen_ || !(capabilities_ & capImage)) return -1;
  switch (graphic.Kind) {
    case TgtGraphicKind::gkBitmap:
    case TgtGraphicKind::gkIcon:
    case TgtGraphicKind::gkMetafile:
    case TgtGraphicKind::gkJPEG:
      break;
    case TgtGraphicKind::gkNone:
    case TgtGraphicKind::gkOther:
      RaiseError(EUnsupportedGraphics());
      return -1;
  }
  images_.push_back({graphic, false});
  Preferences().SetUseImagesAsResources(true);
  return static_cast<int32_t>(images_.size() - 1);
}

void TgtCustomDocumentEngine::AddImageItem(const TgtRectD& px, int32_t imageIndex) {
  const double left = std::min(px.Left, px.Right);
  const double top = std::min(px.Top, px.Bottom);
  if (!InArea(left, top)) return;
  auto& item = CurrentItemList().Add<TgtImageItem>();
  item.SetRect(px.Left, px.Top, px.Right, px.Bottom);
  item.ImageIndex = imageIndex;
  item.Frame = frame_;
  item.Pen = pen_;
  item.Brush = brush_;
  item.ImageSettings = imageSettings_;
}

void TgtCustomDocumentEngine::DrawImage(const TgtRectD& rect, int32_t imageIndex) {
  if (!ImageAllowed() || !ImageAt(imageIndex)) return;
  if (!ImageFormatAccepted()) return;
  AddImageItem(
      {ConvertX(rect.Left), ConvertY(rect.Top), ConvertX(rect.Right), ConvertY(rect.Bottom)},
      imageIndex);
}

void TgtCustomDocumentEngine::DrawImage(const TgtRectD& rect, const TgtGraphic& graphic) {
  if (!ImageAllowed()) return;
  if (!ImageFormatAccepted()) return;
  const int32_t index = AddImageAsResource(graphic);
  if (index < 0) return;
  AddImageItem(
      {ConvertX(rect.Left), ConvertY(rect.Top), ConvertX(rect.Right), ConvertY(rect.Bottom)},
      index);
}

void TgtCustomDocumentEngine::DrawImage(double x, double y, const TgtGraphic& graphic) {
  if (!ImageAllowed()) return;
  if (!ImageFormatAccepted()) return;
  const int32_t index = AddImageAsResource(graphic);
  if (index < 0) return;
  const double dpi = imageSettings_.SourceDPI > 0 ? imageSettings_.SourceDPI : kScreenPPI;
  const double left = ConvertX(x), top = ConvertY(y);
  AddImageItem(
      {left, top, left + graphic.Width * kScreenPPI / dpi, top + graphic.Height * kScreenPPI / dpi},
      index);
}

void TgtCustomDocumentEngine::DrawImageStream(const TgtRectD& rect, std::vector<uint8_t> encoded,
                                              int32_t pixelWidth, int32_t pixelHeight) {
  if (!ImageAllowed()) return;
  if (!ImageFormatAccepted()) return;
  const TgtRectD px{ConvertX(rect.Left), ConvertY(rect.Top), ConvertX(rect.Right),
                    ConvertY(rect.Bottom)};
  if (!InArea(std::min(px.Left, px.Right), std::min(px.Top, px.Bottom))) return;
  auto& item = CurrentItemList().Add<TgtImageStream>();
  item.SetRect(px.Left, px.Top, px.Right, px.Bottom);
  ImageEntry slot;
  slot.Stream = true;
  images_.push_back(std::move(slot));
  item.ImageIndex = static_cast<int32_t>(images_.size() - 1);
  item.Frame = frame_;
  item.Pen = pen_;
  item.Brush = brush_;
  item.ImageSettings = imageSettings_;
  item.Stream = std::move(encoded);
  item.PixelWidth = pixelWidth;
  item.PixelHeight = pixelHeight;
}

void TgtCustomDocumentEngine::DrawGraphicStream(const TgtRectD& rect, const TgtGraphic& graphic) {
  if (graphic.Kind == TgtGraphicKind::gkMetafile && graphic.Data.empty()) {
    DrawImageStream(rect, graphic.Metafile.Bytes(), graphic.Width, graphic.Height);
    return;
  }
  DrawImageStream(rect, graphic.Data, graphic.Width, graphic.Height);
}

bool TgtCustomDocumentEngine::ImageFormatAccepted() {
  const uint32_t before = errorsRaised_;
  CheckOutputImageFormat(imageSettings_.OutputImageFormat);
  return errorsRaised_ == before;
}

}  // namespace pv
