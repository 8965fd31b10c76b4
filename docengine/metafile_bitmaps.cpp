// Block transfers of the metafile processor: a transfer with a source bitmap becomes an
// image item, one without a source is a rectangle fill by raster operation.
#include <algorithm>
#include <span>
#include <type_traits>

#include "docengine/emf.h"
#include "docengine/items.h"
#include "docengine/metafile_processor.h"
#include "docengine/metafile_processor_internal.h"

namespace pv {

using namespace metafile;

namespace {

bool IsFillRop(uint32_t rop) {
  switch (rop) {
    case BLACKNESS:
    case NOTSRCERASE:
    case NOTSRCCOPY:
    case SRCERASE:
    case DSTINVERT:
    case PATINVERT:
    case SRCINVERT:
    case SRCAND:
    case MERGEPAINT:
    case MERGECOPY:
    case SRCCOPY:
    case SRCPAINT:
    case PATCOPY:
    case PATPAINT:
    case WHITENESS:
      return true;
    default:
      return false;
  }
}

// What the five block-transfer records share: destination, bounds, raster operation and
// the size of the source bitmap.
struct BlockFields {
  RECTL Bounds{};
  int32_t X = 0, Y = 0, Cx = 0, Cy = 0;
  uint32_t Rop = SRCCOPY;
  uint32_t CbBmi = 0, CbBits = 0;
};

template <class R>
bool ReadBlock(const TEmfRecord& rec, BlockFields& f) {
  R r;
  if (!rec.As(r)) return false;
  f.Bounds = r.rclBounds;
  f.X = r.xDest;
  f.Y = r.yDest;
  if constexpr (std::is_same_v<R, EMRSETDIBITSTODEVICE>) {
    // Copied without stretching: the destination has the source's size, and there is no
    // raster operation (the copy is SRCCOPY).
    f.Cx = r.cxSrc;
    f.Cy = r.cySrc;
  } else {
    f.Cx = r.cxDest;
    f.Cy = r.cyDest;
    f.Rop = r.dwRop;
  }
  f.CbBmi = r.cbBmiSrc;
  f.CbBits = r.cbBitsSrc;
  return true;
}

}  // namespace

bool TgtMetafileProcessor::BlockTransfer(const TEmfRecord& rec) {
  BlockFields f;
  bool read = false;
  switch (rec.Type) {
    case EMR_BITBLT:
      read = ReadBlock<EMRBITBLT>(rec, f);
      break;
    case EMR_STRETCHBLT:
      read = ReadBlock<EMRSTRETCHBLT>(rec, f);
      break;
    case EMR_MASKBLT:
      read = ReadBlock<EMRMASKBLT>(rec, f);
      break;
    case EMR_SETDIBITSTODEVICE:
      read = ReadBlock<EMRSETDIBITSTODEVICE>(rec, f);
      break;
    default:
      read = ReadBlock<EMRSTRETCHDIBITS>(rec, f);
      break;
  }
  if (!read) return false;
  const double right = static_cast<double>(f.X) + f.Cx;
  const double bottom = static_cast<double>(f.Y) + f.Cy;
  if (f.CbBmi != 0 && f.CbBits != 0) return Image(rec, f.X, f.Y, right, bottom);
  if (!IsFillRop(f.Rop)) return true;
  if (textEnabled_ && !target_.empty()) {
    PendingFill(f.Bounds.left, f.Bounds.top, f.Bounds.right, f.Bounds.bottom, true);
  } else if (shapeEnabled_) {
    PendingFill(f.X, f.Y, right, bottom, false);
  } else {
    return true;
  }
  FlushFill();
  return true;
}

bool TgtMetafileProcessor::Image(const TEmfRecord& rec, double left, double top, double right,
                                 double bottom) {
  std::span<const uint8_t> info, bits;
  if (!EmfSourceBitmap(rec, info, bits)) return false;
  if (!imageEnabled_) return true;
  const TgtPoint a = MapPoint(left, top);
  const TgtPoint b = MapPoint(right, bottom);
  double l = std::min(a.X, b.X), r = std::max(a.X, b.X);
  double t = std::min(a.Y, b.Y), d = std::max(a.Y, b.Y);
  if (dc_.ClipActive) {
    l = std::max(l, std::min(dc_.ClipLeft, dc_.ClipRight));
    r = std::min(r, std::max(dc_.ClipLeft, dc_.ClipRight));
    t = std::max(t, std::min(dc_.ClipTop, dc_.ClipBottom));
    d = std::min(d, std::max(dc_.ClipTop, dc_.ClipBottom));
    // Entirely outside the clip: nothing of the picture shows.
    if (l >= r || t >= d) return true;
  }
  const int32_t index = host_.AddRecordingBitmap(EmfBitmapFile(info, bits));
  TgtImageItem& item = target_.Add<TgtImageItem>();
  item.SetRect(l, t, r, d);
  item.ImageIndex = index;
  item.Pen = dc_.Pen;
  item.Brush = dc_.Brush;
  return true;
}

}  // namespace pv
