#pragma once
// What the files of the metafile processor share: the record decoding buffers, the
// alignment set of the text records and small conversions.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "docengine/emf.h"
#include "docengine/metafile_processor.h"
#include "docengine/rounding.h"
#include "platform/graphics.h"

namespace pv {

struct TgtMetafileProcessor::Scratch {
  std::vector<POINTL> Points;
  std::vector<uint32_t> Counts;
  std::vector<uint8_t> Types;
  std::vector<RECTL> Rects;
  std::vector<int32_t> Dx;
  std::u16string WText;
  std::string AText;
};

namespace metafile {

constexpr double kPPI = kScreenPPI;
// The alignment set of the text records.
enum : uint32_t {
  taNoUpdate = 1,
  taUpdate = 2,
  taLeft = 4,
  taRight = 8,
  taCentre = 16,
  taTop = 32,
  taBottom = 64,
  taBaseline = 128
};

inline TColor Color(COLORREF c) {
  return static_cast<TColor>(c & 0xFFFFFF);
}

}  // namespace metafile
}  // namespace pv
