#pragma once
// What the metafile processor needs of the engine whose band it fills. The document
// engine implements it; the processor sees nothing else of the engine.
#include <cstdint>
#include <string_view>
#include <vector>

#include "platform/fonts.h"
#include "platform/graphics.h"

namespace pv {

class TgtItemList;

class TgtMetafileHost {
 public:
  // The item kinds a recording may produce: those the engine both renders and supports.
  struct ItemKinds {
    bool Text = false;
    bool Image = false;
    bool Shape = false;
  };
  virtual ItemKinds RecordingItemKinds() const = 0;
  // Dots per inch of the page canvas, per axis.
  virtual int32_t RecordingXRes() const = 0;
  virtual int32_t RecordingYRes() const = 0;
  // The current band's list, which receives the items, and the current page's list,
  // which receives the rectangle fills.
  virtual TgtItemList& RecordingBandItems() = 0;
  virtual TgtItemList& RecordingPageItems() = 0;
  // A record's bitmap (a BMP file in memory) joins the image list; returns its index.
  virtual int32_t AddRecordingBitmap(std::vector<uint8_t> bitmapFile) = 0;
  // Width and height of a text in a font, screen pixels.
  virtual fonts::TextExtent MeasureRecordingText(std::u16string_view text, const TFont& font) = 0;

 protected:
  ~TgtMetafileHost() = default;
};

}  // namespace pv
