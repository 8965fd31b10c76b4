#pragma once
// Turns the recording of one page canvas (an enhanced metafile) into document items of
// the engine's current band, in record order. The processor keeps its own copy of a
// GDI device context's drawing state, because the records only describe changes.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics.h"

namespace pv {

class TgtCustomDocumentEngine;
class TgtItemList;
class TMetafile;

// A font as a metafile selects it: the canvas font plus its escapement (tenths of a degree).
struct TgtFont {
  TFont Font;
  int32_t Escapement = 0;
};

// A logical palette: PALETTEENTRY values (red, green, blue, flags from the low byte up).
struct TgtPalette {
  std::vector<uint32_t> Entries;
};

// One entry of the metafile's object table.
struct TgtGDIOBJ {
  enum Kind : uint8_t { okPen = 0, okBrush = 1, okFont = 2, okPalette = 3, okEmpty = 4 };
  uint8_t ObjKind = okEmpty;
  TPen Pen;
  TBrush Brush;
  TgtFont Font;
  TgtPalette Palette;
};

// A 2-D affine transform in the XFORM layout.
struct TgtXForm {
  double eM11 = 1, eM12 = 0, eM21 = 0, eM22 = 1, eDx = 0, eDy = 0;
};

// What EMR_SAVEDC keeps and EMR_RESTOREDC brings back.
struct TgtMetaState {
  TgtFont Font;
  TBrush Brush;
  TPen Pen;
  int32_t BkMode = 2;
  int32_t MapMode = 0;
  TgtXForm XForm;
  TPoint WindowExt{1, 1};
  TPoint ViewportExt{1, 1};
  TPoint WindowOrg{0, 0};
  TPoint ViewportOrg{0, 0};
};

// Metrics of a font as text alignment and the decoration test need them: ascent and
// descent in points, strike-out and underline geometry in points.
struct TgtFontInfo {
  int32_t Ascent = 0;
  int32_t Descent = 0;
  int32_t StrikeoutSize = 0;
  int32_t StrikeoutPosition = 0;
  int32_t UnderscoreSize = 0;
  int32_t UnderscorePosition = 0;
};

class TgtMetafileProcessor {
 public:
  explicit TgtMetafileProcessor(TgtCustomDocumentEngine& engine);
  ~TgtMetafileProcessor();
  TgtMetafileProcessor(const TgtMetafileProcessor&) = delete;
  TgtMetafileProcessor& operator=(const TgtMetafileProcessor&) = delete;

  // Text with TA_UPDATECP follows the current position (the engine sets this).
  bool UpdatePositionTextMode = false;

  // Plays the metafile's records, adding (offsetX, offsetY) to every produced point.
  void Process(const TMetafile& metafile, double offsetX, double offsetY);

 private:
  struct Handlers;
  friend struct Handlers;

  TgtCustomDocumentEngine& engine_;
  TgtItemList& target_;

  double offsetX_ = 0;
  double offsetY_ = 0;
  int32_t mfWidth_ = 0;
  int32_t mfHeight_ = 0;
  bool textEnabled_ = false;
  bool imageEnabled_ = false;
  bool shapeEnabled_ = false;
  // Input dots to screen pixels, per axis.
  double resX_ = 1;
  double resY_ = 1;

  TgtFont font_;
  TBrush brush_;
  TPen pen_;
  TgtPalette palette_;
  TColor bkColor_ = clWhite;
  TColor textColor_ = clBlack;
  int32_t bkMode_ = 2;
  int32_t polyFillMode_ = 0;
  int32_t rop2_ = 0;
  int32_t stretchMode_ = 0;
  int32_t mapMode_ = 0;
  double miterLimit_ = 10.0;
  int32_t icmMode_ = 0;
  uint32_t textAlign_ = 4;
  TPoint curPos_{0, 0};
  double textAdvance_ = 0;
  TgtXForm xform_;
  TPoint viewportOrg_{0, 0};
  TPoint viewportExt_{1, 1};
  TPoint windowOrg_{0, 0};
  TPoint windowExt_{1, 1};
  double scaleX_ = 1.0;
  double scaleY_ = 1.0;
  bool clipActive_ = false;
  double clipLeft_ = 0, clipTop_ = 0, clipRight_ = 0, clipBottom_ = 0;
  double fillLeft_ = 0, fillTop_ = 0, fillRight_ = 0, fillBottom_ = 0;
  int32_t decorationWindow_ = 0;
  int32_t symbolFlag_ = -1;
  uint32_t recordCount_ = 0;

  std::vector<TgtGDIOBJ> objects_;
  // Saved states keyed by the decimal count of states held when each was saved.
  std::vector<std::pair<std::string, TgtMetaState>> states_;
};

}  // namespace pv
