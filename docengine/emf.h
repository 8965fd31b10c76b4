#pragma once
// Enhanced metafile (EMF) records: the published little-endian record layouts, and a
// bounds-checked enumerator over a byte buffer. The numbers they carry are in
// emf_constants.h.
//
// Records are never read through pointer casts: a view copies the record's bytes into the
// struct with memcpy, and refuses a record too small for its type. Variable parts (point
// arrays, strings, region rectangles, bitmaps) are read through the offset/count helpers,
// which check every offset and length against the record's own size.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "docengine/emf_constants.h"

namespace pv {

static_assert(std::endian::native == std::endian::little,
              "EMF records are little-endian and are copied byte for byte");

// ---------------------------------------------------------------------------------------
// Published structures. Every one is packed exactly as in the file (all members are
// naturally aligned in the published layouts, so no padding appears; the static_asserts
// below pin the sizes).

struct RECTL {
  int32_t left, top, right, bottom;
};
struct POINTL {
  int32_t x, y;
};
struct POINTS {
  int16_t x, y;
};
struct SIZEL {
  int32_t cx, cy;
};
struct XFORM {
  float eM11, eM12, eM21, eM22, eDx, eDy;
};
using COLORREF = uint32_t;

struct EMR {
  uint32_t iType;
  uint32_t nSize;
};

struct ENHMETAHEADER {
  EMR emr;
  RECTL rclBounds;      // inclusive device units
  RECTL rclFrame;       // inclusive, 0.01 mm
  uint32_t dSignature;  // ENHMETA_SIGNATURE
  uint32_t nVersion;
  uint32_t nBytes;
  uint32_t nRecords;
  uint16_t nHandles;
  uint16_t sReserved;
  uint32_t nDescription;
  uint32_t offDescription;
  uint32_t nPalEntries;
  SIZEL szlDevice;       // reference device, pixels
  SIZEL szlMillimeters;  // reference device, millimetres
};
// The extensions that follow the base header in current files.
struct ENHMETAHEADER_EXT {
  ENHMETAHEADER base;
  uint32_t cbPixelFormat;
  uint32_t offPixelFormat;
  uint32_t bOpenGL;
  SIZEL szlMicrometers;
};

struct EMREOF {
  EMR emr;
  uint32_t nPalEntries;
  uint32_t offPalEntries;
  uint32_t nSizeLast;
};

// EMR_POLYGON, EMR_POLYLINE, EMR_POLYBEZIER, EMR_POLYBEZIERTO, EMR_POLYLINETO: the
// fixed part; cptl POINTL follow at offset sizeof(EMRPOLYLINE).
struct EMRPOLYLINE {
  EMR emr;
  RECTL rclBounds;
  uint32_t cptl;
};
using EMRPOLYGON = EMRPOLYLINE;
using EMRPOLYBEZIER = EMRPOLYLINE;
using EMRPOLYBEZIERTO = EMRPOLYLINE;
using EMRPOLYLINETO = EMRPOLYLINE;
// The 16-bit forms: cpts POINTS follow.
struct EMRPOLYLINE16 {
  EMR emr;
  RECTL rclBounds;
  uint32_t cpts;
};
using EMRPOLYGON16 = EMRPOLYLINE16;
using EMRPOLYBEZIER16 = EMRPOLYLINE16;
using EMRPOLYBEZIERTO16 = EMRPOLYLINE16;
using EMRPOLYLINETO16 = EMRPOLYLINE16;

// EMR_POLYPOLYLINE, EMR_POLYPOLYGON (and the 16-bit forms, whose points are POINTS):
// nPolys uint32 counts follow, then cptl points.
struct EMRPOLYPOLYLINE {
  EMR emr;
  RECTL rclBounds;
  uint32_t nPolys;
  uint32_t cptl;
};
using EMRPOLYPOLYGON = EMRPOLYPOLYLINE;
using EMRPOLYPOLYLINE16 = EMRPOLYPOLYLINE;
using EMRPOLYPOLYGON16 = EMRPOLYPOLYLINE;

// EMR_POLYDRAW: cptl POINTL, then cptl type bytes. EMR_POLYDRAW16: cpts POINTS, then types.
struct EMRPOLYDRAW {
  EMR emr;
  RECTL rclBounds;
  uint32_t cptl;
};
struct EMRPOLYDRAW16 {
  EMR emr;
  RECTL rclBounds;
  uint32_t cpts;
};

// EMR_SETWINDOWEXTEX, EMR_SETVIEWPORTEXTEX.
struct EMRSETVIEWPORTEXTEX {
  EMR emr;
  SIZEL szlExtent;
};
using EMRSETWINDOWEXTEX = EMRSETVIEWPORTEXTEX;
// EMR_SETWINDOWORGEX, EMR_SETVIEWPORTORGEX, EMR_SETBRUSHORGEX.
struct EMRSETVIEWPORTORGEX {
  EMR emr;
  POINTL ptlOrigin;
};
using EMRSETWINDOWORGEX = EMRSETVIEWPORTORGEX;
using EMRSETBRUSHORGEX = EMRSETVIEWPORTORGEX;
// EMR_SCALEVIEWPORTEXTEX, EMR_SCALEWINDOWEXTEX.
struct EMRSCALEVIEWPORTEXTEX {
  EMR emr;
  int32_t xNum, xDenom, yNum, yDenom;
};
using EMRSCALEWINDOWEXTEX = EMRSCALEVIEWPORTEXTEX;

// One 32-bit mode: EMR_SETMAPMODE, EMR_SETBKMODE, EMR_SETPOLYFILLMODE, EMR_SETROP2,
// EMR_SETSTRETCHBLTMODE, EMR_SETTEXTALIGN, EMR_SETICMMODE, EMR_SELECTCLIPPATH,
// EMR_SETARCDIRECTION, EMR_SETLAYOUT.
struct EMRSELECTCLIPPATH {
  EMR emr;
  uint32_t iMode;
};
using EMRSETMAPMODE = EMRSELECTCLIPPATH;
using EMRSETBKMODE = EMRSELECTCLIPPATH;
using EMRSETPOLYFILLMODE = EMRSELECTCLIPPATH;
using EMRSETROP2 = EMRSELECTCLIPPATH;
using EMRSETSTRETCHBLTMODE = EMRSELECTCLIPPATH;
using EMRSETTEXTALIGN = EMRSELECTCLIPPATH;
using EMRSETICMMODE = EMRSELECTCLIPPATH;

// EMR_SETTEXTCOLOR, EMR_SETBKCOLOR.
struct EMRSETTEXTCOLOR {
  EMR emr;
  COLORREF crColor;
};
using EMRSETBKCOLOR = EMRSETTEXTCOLOR;

struct EMRSETMITERLIMIT {
  EMR emr;
  float eMiterLimit;
};

struct EMRSETWORLDTRANSFORM {
  EMR emr;
  XFORM xform;
};
struct EMRMODIFYWORLDTRANSFORM {
  EMR emr;
  XFORM xform;
  uint32_t iMode;
};

// EMR_MOVETOEX, EMR_LINETO.
struct EMRLINETO {
  EMR emr;
  POINTL ptl;
};
using EMRMOVETOEX = EMRLINETO;

// EMR_INTERSECTCLIPRECT, EMR_EXCLUDECLIPRECT.
struct EMRINTERSECTCLIPRECT {
  EMR emr;
  RECTL rclClip;
};
using EMREXCLUDECLIPRECT = EMRINTERSECTCLIPRECT;

struct EMRSAVEDC {
  EMR emr;
};
struct EMRRESTOREDC {
  EMR emr;
  int32_t iRelative;
};

// Records without parameters: EMR_BEGINPATH, EMR_ENDPATH, EMR_CLOSEFIGURE, EMR_ABORTPATH,
// EMR_FLATTENPATH, EMR_WIDENPATH, EMR_REALIZEPALETTE, EMR_SETMETARGN.
struct EMRABORTPATH {
  EMR emr;
};
using EMRBEGINPATH = EMRABORTPATH;
using EMRENDPATH = EMRABORTPATH;
using EMRCLOSEFIGURE = EMRABORTPATH;
// EMR_FILLPATH, EMR_STROKEANDFILLPATH, EMR_STROKEPATH.
struct EMRFILLPATH {
  EMR emr;
  RECTL rclBounds;
};
using EMRSTROKEANDFILLPATH = EMRFILLPATH;
using EMRSTROKEPATH = EMRFILLPATH;

// EMR_SELECTOBJECT, EMR_DELETEOBJECT.
struct EMRSELECTOBJECT {
  EMR emr;
  uint32_t ihObject;
};
using EMRDELETEOBJECT = EMRSELECTOBJECT;

struct LOGPEN {
  uint32_t lopnStyle;
  POINTL lopnWidth;  // x is the width, y unused
  COLORREF lopnColor;
};
struct EMRCREATEPEN {
  EMR emr;
  uint32_t ihPen;
  LOGPEN lopn;
};

// The 32-bit EXTLOGPEN; elpNumEntries style entries (uint32) follow.
struct EXTLOGPEN32 {
  uint32_t elpPenStyle;
  uint32_t elpWidth;
  uint32_t elpBrushStyle;
  COLORREF elpColor;
  uint32_t elpHatch;
  uint32_t elpNumEntries;
};
struct EMREXTCREATEPEN {
  EMR emr;
  uint32_t ihPen;
  uint32_t offBmi;
  uint32_t cbBmi;
  uint32_t offBits;
  uint32_t cbBits;
  EXTLOGPEN32 elp;
};

struct LOGBRUSH32 {
  uint32_t lbStyle;
  COLORREF lbColor;
  uint32_t lbHatch;
};
struct EMRCREATEBRUSHINDIRECT {
  EMR emr;
  uint32_t ihBrush;
  LOGBRUSH32 lb;
};

// EMR_CREATEMONOBRUSH, EMR_CREATEDIBPATTERNBRUSHPT.
struct EMRCREATEDIBPATTERNBRUSHPT {
  EMR emr;
  uint32_t ihBrush;
  uint32_t iUsage;
  uint32_t offBmi;
  uint32_t cbBmi;
  uint32_t offBits;
  uint32_t cbBits;
};
using EMRCREATEMONOBRUSH = EMRCREATEDIBPATTERNBRUSHPT;

struct LOGFONTW {
  int32_t lfHeight;
  int32_t lfWidth;
  int32_t lfEscapement;
  int32_t lfOrientation;
  int32_t lfWeight;
  uint8_t lfItalic;
  uint8_t lfUnderline;
  uint8_t lfStrikeOut;
  uint8_t lfCharSet;
  uint8_t lfOutPrecision;
  uint8_t lfClipPrecision;
  uint8_t lfQuality;
  uint8_t lfPitchAndFamily;
  char16_t lfFaceName[32];
};
// The classic extended logical font (LOGFONTW followed by names and PANOSE data).
struct EXTLOGFONTW {
  LOGFONTW elfLogFont;
  char16_t elfFullName[64];
  char16_t elfStyle[32];
  uint32_t elfVersion;
  uint32_t elfStyleSize;
  uint32_t elfMatch;
  uint32_t elfReserved;
  uint8_t elfVendorId[4];
  uint32_t elfCulture;
  uint8_t elfPanose[10];
  uint16_t padding;
};
// The fixed part every EMR_EXTCREATEFONTINDIRECTW has; the rest of the record (an
// EXTLOGFONTW or a design-vector form) follows the LOGFONTW.
struct EMREXTCREATEFONTINDIRECTW {
  EMR emr;
  uint32_t ihFont;
  LOGFONTW elfw;
};

struct PALETTEENTRY {
  uint8_t peRed, peGreen, peBlue, peFlags;
};
// EMR_CREATEPALETTE: palNumEntries PALETTEENTRY follow.
struct EMRCREATEPALETTE {
  EMR emr;
  uint32_t ihPal;
  uint16_t palVersion;
  uint16_t palNumEntries;
};
struct EMRSELECTPALETTE {
  EMR emr;
  uint32_t ihPal;
};

// EMR_ELLIPSE, EMR_RECTANGLE.
struct EMRELLIPSE {
  EMR emr;
  RECTL rclBox;  // inclusive-exclusive box as the caller gave it
};
using EMRRECTANGLE = EMRELLIPSE;
struct EMRROUNDRECT {
  EMR emr;
  RECTL rclBox;
  SIZEL szlCorner;
};
// EMR_ARC, EMR_CHORD, EMR_PIE, EMR_ARCTO.
struct EMRARC {
  EMR emr;
  RECTL rclBox;
  POINTL ptlStart;
  POINTL ptlEnd;
};
using EMRCHORD = EMRARC;
using EMRPIE = EMRARC;
using EMRARCTO = EMRARC;

struct EMRTEXT {
  POINTL ptlReference;
  uint32_t nChars;
  uint32_t offString;  // from the start of the record
  uint32_t fOptions;
  RECTL rcl;       // {0, 0, -1, -1} when the record has no rectangle
  uint32_t offDx;  // from the start of the record: nChars int32 advances
};
// EMR_EXTTEXTOUTA, EMR_EXTTEXTOUTW.
struct EMREXTTEXTOUTW {
  EMR emr;
  RECTL rclBounds;
  uint32_t iGraphicsMode;
  float exScale;
  float eyScale;
  EMRTEXT emrtext;
};
using EMREXTTEXTOUTA = EMREXTTEXTOUTW;

struct BITMAPINFOHEADER {
  uint32_t biSize;
  int32_t biWidth;
  int32_t biHeight;
  uint16_t biPlanes;
  uint16_t biBitCount;
  uint32_t biCompression;
  uint32_t biSizeImage;
  int32_t biXPelsPerMeter;
  int32_t biYPelsPerMeter;
  uint32_t biClrUsed;
  uint32_t biClrImportant;
};

struct EMRBITBLT {
  EMR emr;
  RECTL rclBounds;  // inclusive device units
  int32_t xDest;
  int32_t yDest;
  int32_t cxDest;
  int32_t cyDest;
  uint32_t dwRop;
  int32_t xSrc;
  int32_t ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  uint32_t iUsageSrc;
  uint32_t offBmiSrc;  // 0 with cbBmiSrc 0: no source bitmap
  uint32_t cbBmiSrc;
  uint32_t offBitsSrc;
  uint32_t cbBitsSrc;
};
struct EMRSTRETCHBLT {
  EMR emr;
  RECTL rclBounds;
  int32_t xDest;
  int32_t yDest;
  int32_t cxDest;
  int32_t cyDest;
  uint32_t dwRop;
  int32_t xSrc;
  int32_t ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  uint32_t iUsageSrc;
  uint32_t offBmiSrc;
  uint32_t cbBmiSrc;
  uint32_t offBitsSrc;
  uint32_t cbBitsSrc;
  int32_t cxSrc;
  int32_t cySrc;
};
struct EMRMASKBLT {
  EMR emr;
  RECTL rclBounds;
  int32_t xDest;
  int32_t yDest;
  int32_t cxDest;
  int32_t cyDest;
  uint32_t dwRop;
  int32_t xSrc;
  int32_t ySrc;
  XFORM xformSrc;
  COLORREF crBkColorSrc;
  uint32_t iUsageSrc;
  uint32_t offBmiSrc;
  uint32_t cbBmiSrc;
  uint32_t offBitsSrc;
  uint32_t cbBitsSrc;
  int32_t xMask;
  int32_t yMask;
  uint32_t iUsageMask;
  uint32_t offBmiMask;
  uint32_t cbBmiMask;
  uint32_t offBitsMask;
  uint32_t cbBitsMask;
};
struct EMRSETDIBITSTODEVICE {
  EMR emr;
  RECTL rclBounds;
  int32_t xDest;
  int32_t yDest;
  int32_t xSrc;
  int32_t ySrc;
  int32_t cxSrc;
  int32_t cySrc;
  uint32_t offBmiSrc;
  uint32_t cbBmiSrc;
  uint32_t offBitsSrc;
  uint32_t cbBitsSrc;
  uint32_t iUsageSrc;
  uint32_t iStartScan;
  uint32_t cScans;
};
struct EMRSTRETCHDIBITS {
  EMR emr;
  RECTL rclBounds;
  int32_t xDest;
  int32_t yDest;
  int32_t xSrc;
  int32_t ySrc;
  int32_t cxSrc;
  int32_t cySrc;
  uint32_t offBmiSrc;
  uint32_t cbBmiSrc;
  uint32_t offBitsSrc;
  uint32_t cbBitsSrc;
  uint32_t iUsageSrc;
  uint32_t dwRop;
  int32_t cxDest;
  int32_t cyDest;
};

// Region data: the header, then nCount RECTL.
struct RGNDATAHEADER {
  uint32_t dwSize;  // 32
  uint32_t iType;   // RDH_RECTANGLES
  uint32_t nCount;
  uint32_t nRgnSize;
  RECTL rcBound;
};
// EMR_FILLRGN: cbRgnData bytes of region data follow.
struct EMRFILLRGN {
  EMR emr;
  RECTL rclBounds;
  uint32_t cbRgnData;
  uint32_t ihBrush;
};
// EMR_EXTSELECTCLIPRGN: cbRgnData bytes of region data follow (none for the default clip).
struct EMREXTSELECTCLIPRGN {
  EMR emr;
  uint32_t cbRgnData;
  uint32_t iMode;
};

struct EMRGDICOMMENT {
  EMR emr;
  uint32_t cbData;
};

static_assert(sizeof(ENHMETAHEADER) == 88);
static_assert(sizeof(ENHMETAHEADER_EXT) == 108);
static_assert(sizeof(EMREOF) == 20);
static_assert(sizeof(EMRPOLYLINE) == 28);
static_assert(sizeof(EMRPOLYPOLYLINE) == 32);
static_assert(sizeof(EMRMODIFYWORLDTRANSFORM) == 36);
static_assert(sizeof(EMRCREATEPEN) == 28);
static_assert(sizeof(EMREXTCREATEPEN) == 52);
static_assert(sizeof(EMRCREATEBRUSHINDIRECT) == 24);
static_assert(sizeof(LOGFONTW) == 92);
static_assert(sizeof(EXTLOGFONTW) == 320);
static_assert(sizeof(EMREXTCREATEFONTINDIRECTW) == 104);
static_assert(sizeof(EMRCREATEPALETTE) == 16);
static_assert(sizeof(EMRARC) == 40);
static_assert(sizeof(EMRTEXT) == 40);
static_assert(sizeof(EMREXTTEXTOUTW) == 76);
static_assert(sizeof(BITMAPINFOHEADER) == 40);
static_assert(sizeof(EMRBITBLT) == 100);
static_assert(sizeof(EMRSTRETCHBLT) == 108);
static_assert(sizeof(EMRMASKBLT) == 128);
static_assert(sizeof(EMRSETDIBITSTODEVICE) == 76);
static_assert(sizeof(EMRSTRETCHDIBITS) == 80);
static_assert(sizeof(RGNDATAHEADER) == 32);
static_assert(sizeof(EMRFILLRGN) == 32);
static_assert(sizeof(EMREXTSELECTCLIPRGN) == 16);

// ---------------------------------------------------------------------------------------
// One record of a buffer, as the enumerator yields it. Data points at the record's first
// byte (its EMR); Size bytes from there lie inside the buffer.
struct TEmfRecord {
  uint32_t Type = 0;
  uint32_t Size = 0;
  const uint8_t* Data = nullptr;

  std::span<const uint8_t> Bytes() const { return {Data, Size}; }

  // Whether [offset, offset + length) lies inside the record.
  bool Contains(uint64_t offset, uint64_t length) const {
    return offset <= Size && length <= Size - offset;
  }

  // The record as its fixed layout; false (out untouched) when the record is smaller.
  template <class T>
  bool As(T& out) const {
    if (Size < sizeof(T)) return false;
    std::memcpy(&out, Data, sizeof(T));
    return true;
  }

  // One value at a byte offset inside the record.
  template <class T>
  bool ReadAt(uint64_t offset, T& out) const {
    if (!Contains(offset, sizeof(T))) return false;
    std::memcpy(&out, Data + offset, sizeof(T));
    return true;
  }

  // count values at a byte offset; false (out emptied) when they run past the record.
  template <class T>
  bool ReadArray(uint64_t offset, uint64_t count, std::vector<T>& out) const {
    out.clear();
    if (count > Size / sizeof(T) || !Contains(offset, count * sizeof(T))) return false;
    out.resize(static_cast<size_t>(count));
    if (count) std::memcpy(out.data(), Data + offset, static_cast<size_t>(count) * sizeof(T));
    return true;
  }

  // length bytes at an offset as a view; empty when they run past the record.
  std::span<const uint8_t> Slice(uint64_t offset, uint64_t length) const {
    if (!Contains(offset, length)) return {};
    return {Data + offset, static_cast<size_t>(length)};
  }
};

// Walks the records of a buffer in order. Stops cleanly (Next returns false) at the end of
// the buffer, after EMR_EOF, or at a record that is malformed: fewer than 8 bytes left, a
// size below 8, a size not a multiple of 4, or a size running past the end. Malformed()
// tells the last case apart; no byte outside the buffer is ever read.
class TEmfEnumerator {
 public:
  TEmfEnumerator() = default;
  TEmfEnumerator(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}
  explicit TEmfEnumerator(std::span<const uint8_t> bytes)
      : TEmfEnumerator(bytes.data(), bytes.size()) {}

  bool Next(TEmfRecord& rec);
  bool Malformed() const { return malformed_; }
  // Byte offset of the next record.
  size_t Position() const { return pos_; }

  // Range-for support: for (const TEmfRecord& r : TEmfEnumerator(bytes)) ...
  class iterator {
   public:
    using value_type = TEmfRecord;
    using difference_type = std::ptrdiff_t;
    iterator() = default;
    explicit iterator(TEmfEnumerator* e) : e_(e) { Advance(); }
    const TEmfRecord& operator*() const { return rec_; }
    const TEmfRecord* operator->() const { return &rec_; }
    iterator& operator++() {
      Advance();
      return *this;
    }
    void operator++(int) { Advance(); }
    friend bool operator==(const iterator& a, const iterator& b) { return a.e_ == b.e_; }

   private:
    void Advance() {
      if (e_ && !e_->Next(rec_)) e_ = nullptr;
    }
    TEmfEnumerator* e_ = nullptr;
    TEmfRecord rec_;
  };
  iterator begin() { return iterator(this); }
  iterator end() { return iterator(); }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t pos_ = 0;
  bool done_ = false;
  bool malformed_ = false;
};

// ---------------------------------------------------------------------------------------
// Reading the variable parts of the records the metafile processor handles. Each returns
// false when the record is too small or a count, offset or length runs past it; outputs
// are then empty.

// Points of EMR_POLYGON/POLYLINE/POLYBEZIER/POLYBEZIERTO/POLYLINETO and of their 16-bit
// forms (which are widened), by the record's type.
bool EmfPolyPoints(const TEmfRecord& rec, std::vector<POINTL>& points);

// Figure point counts and all points of EMR_POLYPOLYLINE/POLYPOLYGON and their 16-bit
// forms; the counts must add up to the point count.
bool EmfPolyPolyPoints(const TEmfRecord& rec, std::vector<uint32_t>& counts,
                       std::vector<POINTL>& points);

// Points and point types of EMR_POLYDRAW and EMR_POLYDRAW16.
bool EmfPolyDrawPoints(const TEmfRecord& rec, std::vector<POINTL>& points,
                       std::vector<uint8_t>& types);

// The fixed part, the characters and the advances of EMR_EXTTEXTOUTW (UTF-16 units) or
// EMR_EXTTEXTOUTA (bytes, one per unit). A record without advances (offDx 0) gives an
// empty dx.
bool EmfTextW(const TEmfRecord& rec, EMREXTTEXTOUTW& head, std::u16string& text,
              std::vector<int32_t>& dx);
bool EmfTextA(const TEmfRecord& rec, EMREXTTEXTOUTW& head, std::string& text,
              std::vector<int32_t>& dx);

// The rectangles of the region data of EMR_FILLRGN (offset 32) or EMR_EXTSELECTCLIPRGN
// (offset 16). false also when the record carries no region data.
bool EmfRegionRects(const TEmfRecord& rec, RGNDATAHEADER& header, std::vector<RECTL>& rects);

// The source bitmap of a block transfer or DIB record (EMR_BITBLT, EMR_STRETCHBLT,
// EMR_MASKBLT, EMR_SETDIBITSTODEVICE, EMR_STRETCHDIBITS) or of a pattern brush
// (EMR_CREATEMONOBRUSH, EMR_CREATEDIBPATTERNBRUSHPT): the bitmap info and the bits, both
// inside the record. false when the record has no source bitmap or it runs past the record.
bool EmfSourceBitmap(const TEmfRecord& rec, std::span<const uint8_t>& bitmapInfo,
                     std::span<const uint8_t>& bits);

// A bitmap file in memory ("BM" file header, then the info and the bits) for a source
// bitmap, as an image list stores it.
std::vector<uint8_t> EmfBitmapFile(std::span<const uint8_t> bitmapInfo,
                                   std::span<const uint8_t> bits);

}  // namespace pv
