#pragma once
// Turns the recording of one page canvas (an enhanced metafile) into document items of
// the host engine's current band, in record order. The processor keeps its own copy of a
// GDI device context's drawing state, because the records only describe changes.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "docengine/metafile_host.h"
#include "platform/graphics.h"

namespace pv {

class TgtItemList;
class TgtShapeItem;
class TMetafile;
struct TEmfRecord;
struct TgtPoint;

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
  explicit TgtMetafileProcessor(TgtMetafileHost& host);
  ~TgtMetafileProcessor();
  TgtMetafileProcessor(const TgtMetafileProcessor&) = delete;
  TgtMetafileProcessor& operator=(const TgtMetafileProcessor&) = delete;

  // Text with TA_UPDATECP follows the current position (the engine sets this).
  bool UpdatePositionTextMode = false;

  // Plays the metafile's records, adding (offsetX, offsetY) to every produced point.
  void Process(const TMetafile& metafile, double offsetX, double offsetY);

 private:
  // The device-context state the records change; every page starts from these values.
  struct DcState {
    TgtFont Font;
    TBrush Brush;
    TPen Pen;
    TgtPalette Palette;
    TColor BkColor = clWhite;
    TColor TextColor = clBlack;
    int32_t BkMode = 2;
    int32_t PolyFillMode = 0;
    int32_t Rop2 = 0;
    int32_t StretchMode = 0;
    int32_t MapMode = 0;
    double MiterLimit = 10.0;
    int32_t IcmMode = 0;
    uint32_t TextAlign = 4;  // the alignment set, see SetTextAlign
    TPoint CurPos{0, 0};
    double TextAdvance = 0;
    TgtXForm XForm;
    TPoint ViewportOrg{0, 0};
    TPoint ViewportExt{1, 1};
    TPoint WindowOrg{0, 0};
    TPoint WindowExt{1, 1};
    double ScaleX = 1.0;
    double ScaleY = 1.0;
    bool ClipActive = false;
    double ClipLeft = 0, ClipTop = 0, ClipRight = 0, ClipBottom = 0;
    bool FillPending = false;
    bool FillFromBounds = false;  // the fill's box is a record's inclusive bounds
    double FillLeft = 0, FillTop = 0, FillRight = 0, FillBottom = 0;
    int32_t DecorationWindow = 0;
    int32_t SymbolFlag = -1;
    uint32_t RecordCount = 0;
  };

  struct Scratch;

  bool HandleRecord(const TEmfRecord& rec);
  bool IsoAniso() const;
  void RecomputeScales();
  TgtPoint MapPoint(double x, double y) const;
  TgtPoint MapRectPoint(double x, double y) const;
  double MapLength(int32_t w) const;
  int32_t PenWidth(int32_t w) const;

  TgtShapeItem* NewShape(uint8_t kind);
  bool PolyShape(const TEmfRecord& rec, uint8_t kind, bool fromCurPos, bool always);
  bool PolyPolygon(const TEmfRecord& rec);
  bool PolyPolyline(const TEmfRecord& rec);
  bool PolyDraw(const TEmfRecord& rec);
  bool FillRgn(const TEmfRecord& rec);
  bool SelectClipRgn(const TEmfRecord& rec);

  TgtGDIOBJ* Slot(uint32_t index);
  bool CreatePen(const TEmfRecord& rec);
  bool ExtCreatePen(const TEmfRecord& rec);
  bool CreateBrush(const TEmfRecord& rec);
  bool CreatePatternBrush(const TEmfRecord& rec);
  bool CreateFont(const TEmfRecord& rec);
  bool CreatePalette(const TEmfRecord& rec);
  void SelectObject(uint32_t index);
  void SelectPalette(uint32_t index);
  void DeleteObject(uint32_t index);
  void SaveDC();
  void RestoreDC(int32_t relative);
  void SetTextAlign(uint32_t mode);

  bool Text(const TEmfRecord& rec);
  TgtFontInfo FontInfo(const TFont& font) const;
  bool BlockTransfer(const TEmfRecord& rec);
  void PendingFill(double left, double top, double right, double bottom, bool useBounds);
  void FlushFill();
  bool DecorationTest(double left, double top, double right, double bottom);
  bool Image(const TEmfRecord& rec, double left, double top, double right, double bottom);

  TgtMetafileHost& host_;
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

  DcState dc_;
  std::vector<TgtGDIOBJ> objects_;
  // Saved states keyed by the decimal count of states held when each was saved. A restore
  // removes only the entry it finds, not those saved after it as a device context would;
  // a later save may then repeat a key and the first match wins. Pages already made
  // depend on that order, so it stays (the key as text compares like the number).
  std::vector<std::pair<std::string, TgtMetaState>> states_;
  // Record decoding buffers, reused from record to record.
  std::unique_ptr<Scratch> scratch_;
};

}  // namespace pv
