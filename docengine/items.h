#pragma once
// Document items: the format-neutral record of what a page shows. The engine's direct
// drawing operations and the metafile processor create them, the engine keeps them per
// band and page and hands each to the output hook of its class at rendering.
//
// Coordinates are doubles in screen pixels of the page (y downwards), offsets included.
// Pens, brushes and fonts are held by value; a shape's points live inline up to four, so
// a line, rectangle, ellipse or arc costs no allocation beyond the item itself. Items
// are made only through TgtItemList::Add<T>(), which places them in the list's arena.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

#include "docengine/emf.h"  // region modes, point types
#include "docengine/page_settings.h"
#include "platform/graphics.h"
#include "platform/small_vector.h"

namespace pv {

struct TgtPoint {
  double X = 0;
  double Y = 0;
  friend bool operator==(const TgtPoint&, const TgtPoint&) = default;
};

// A rectangle of doubles (left, top, right, bottom), corners as given.
struct TgtRectD {
  double Left = 0;
  double Top = 0;
  double Right = 0;
  double Bottom = 0;
  friend bool operator==(const TgtRectD&, const TgtRectD&) = default;
};

enum class TgtTextRenderMode : uint8_t { trmFill, trmStroke, trmFillStroke };
enum class TgtTextRise : uint8_t { trNormal, trSuperscript, trSubscript };

struct TgtTextEffects {
  TgtTextRenderMode TextRenderMode = TgtTextRenderMode::trmFill;
  TgtTextRise TextRise = TgtTextRise::trNormal;
  friend bool operator==(const TgtTextEffects&, const TgtTextEffects&) = default;
};

// The sides of a box border, drawn with the owner's pen.
struct TgtFrame {
  bool Left = false;
  bool Top = false;
  bool Right = false;
  bool Bottom = false;
  bool Any() const { return Left || Top || Right || Bottom; }
  void SetAll(bool v) { Left = Top = Right = Bottom = v; }
  friend bool operator==(const TgtFrame&, const TgtFrame&) = default;
};

enum class TgtOutputImageFormat : uint8_t {
  ifBMP,
  ifJPEG,
  ifGIF,
  ifPNG,
  ifMetafile,
  ifCCITT3,
  ifCCITT4
};
enum class TgtPixelFormat : uint8_t { pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

struct TgtImageSettings {
  int32_t SourceDPI = kScreenPPI;
  TgtOutputImageFormat OutputImageFormat = TgtOutputImageFormat::ifBMP;
  TgtPixelFormat ImagePixelFormat = TgtPixelFormat::pf24bit;
  int32_t JPEGQuality = 100;
  friend bool operator==(const TgtImageSettings&, const TgtImageSettings&) = default;
};

// Horizontal alignment of paragraph, box and cell text.
enum class TgtTextAlignment : uint8_t { taLeft, taRight, taCenter, taJustify };

// Text formatting of paragraphs (lengths in screen pixels).
struct TgtTextFormatting {
  TgtTextAlignment Alignment = TgtTextAlignment::taLeft;
  double LeftIndent = 0;
  double RightIndent = 0;
  double FirstLineIndent = 0;
  double BeforeSpace = 0;
  double AfterSpace = 0;
  double LineSpacing = 1.0;  // multiple of the font's line height
  friend bool operator==(const TgtTextFormatting&, const TgtTextFormatting&) = default;
};

// Settings of the tables to come (lengths in screen pixels).
struct TgtTableSettings {
  double ColumnWidth = kScreenPPI;  // one inch per column unless widths are given
  std::vector<double> ColumnWidths;
  double RowHeight = 0;  // 0: as high as the tallest cell's text
  double CellPadding = 2;
  bool Borders = true;
  TPen BorderPen;
  friend bool operator==(const TgtTableSettings&, const TgtTableSettings&) = default;
};

// Item classes, for dispatch without dynamic casts.
enum class TgtItemClass : uint8_t {
  icOther,
  icShape,
  icText,
  icTextBox,
  icImage,
  icImageStream,
  icClip,
  icEOF,
  icPath,
  icPolyShape,
  icPolyPolygon,
  icPolyDraw,
  icParagraph,
  icTable
};

class TgtDocumentItem {
 public:
  virtual ~TgtDocumentItem() = default;
  TgtItemClass ItemClass() const { return class_; }

 protected:
  explicit TgtDocumentItem(TgtItemClass c = TgtItemClass::icOther) : class_(c) {}
  TgtDocumentItem(const TgtDocumentItem&) = default;
  TgtDocumentItem& operator=(const TgtDocumentItem&) = default;

 private:
  TgtItemClass class_;
};

// Shape kinds of TgtShapeItem.
enum TgtShapeKind : uint8_t {
  skLine = 0,
  skRectangle = 1,
  skRoundRect = 2,
  skEllipse = 3,
  skPolygon = 4,
  skPolyLine = 5,
  skArc = 6,
  skChord = 7,
  skPie = 8,
  skBezier = 9
};

using TgtPoints = SmallVec<TgtPoint, 4>;

class TgtShapeItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icShape; }
  TgtShapeItem() : TgtDocumentItem(TgtItemClass::icShape) {}

  // Absent (HasBrush false) only for unfilled shapes of the direct drawing operations.
  TBrush Brush;
  bool HasBrush = true;
  TPen Pen;
  uint8_t Kind = skLine;
  // line: start, end; rectangle, ellipse: two corners as recorded; rounded rectangle: two
  // corners and (corner width, corner height); arc, chord, pie: two corners, start, end;
  // polygon, polyline, Bezier: the vertices.
  TgtPoints Points;

  int32_t PointCount() const { return static_cast<int32_t>(Points.size()); }
  const TBrush* BrushOrNull() const { return HasBrush ? &Brush : nullptr; }
  void AddPoint(double x, double y) { Points.push_back({x, y}); }
};

class TgtTextItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) {
    return c == TgtItemClass::icText || c == TgtItemClass::icTextBox;
  }
  TgtTextItem() : TgtDocumentItem(TgtItemClass::icText) {}

  double X = 0;
  double Y = 0;
  std::vector<std::u16string> Lines;
  int32_t Angle = 0;  // degrees, counter-clockwise
  TFont Font;
  TBrush Brush;
  TgtTextEffects Effects;
  uint8_t ClipFlag = 0;
  TgtRectD ClipRect;
  uint8_t TextOption = 0;
  uint8_t FromMetafile = 0;
  std::vector<double> Advances;  // one per character, metafile text only

  void SetClip(const TgtRectD& r) {
    ClipFlag = 1;
    ClipRect = r;
  }
  void ClearClip() {
    ClipFlag = 0;
    ClipRect = {};
  }

 protected:
  explicit TgtTextItem(TgtItemClass c) : TgtDocumentItem(c) {}
};

// Box alignment (TgtTextBoxItem::Alignment): horizontal in the low two bits
// (0 left, 1 right, 2 centre), vertical in the next two (0 top, 4 centre, 8 bottom).
enum : uint8_t {
  tbaLeft = 0,
  tbaRight = 1,
  tbaCenter = 2,
  tbaTop = 0,
  tbaVCenter = 4,
  tbaBottom = 8
};
// Box layout options (TgtTextBoxItem::Options).
enum : uint8_t { tboWordWrap = 1, tboClip = 2 };

class TgtTextBoxItem : public TgtTextItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icTextBox; }
  TgtTextBoxItem() : TgtTextItem(TgtItemClass::icTextBox) {}

  double BoxWidth = 0;
  double BoxHeight = 0;
  TgtFrame Frame;
  uint8_t Alignment = 0;
  uint8_t Options = 0;
  TPen BorderPen;
};

class TgtImageItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) {
    return c == TgtItemClass::icImage || c == TgtItemClass::icImageStream;
  }
  TgtImageItem() : TgtDocumentItem(TgtItemClass::icImage) {}

  double X = 0;
  double Y = 0;
  double Width = 0;
  double Height = 0;
  int32_t ImageIndex = -1;
  TgtFrame Frame;
  TPen Pen;
  TBrush Brush;
  TgtImageSettings ImageSettings;
  TgtRectD Rect;  // normalised destination

  // Position and size from a rectangle whose corners may come in any order.
  void SetRect(double left, double top, double right, double bottom);

 protected:
  explicit TgtImageItem(TgtItemClass c) : TgtDocumentItem(c) {}
};

class TgtImageStream : public TgtImageItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icImageStream; }
  TgtImageStream() : TgtImageItem(TgtItemClass::icImageStream) {}

  std::vector<uint8_t> Stream;  // the encoded picture
  int32_t PixelWidth = 0;
  int32_t PixelHeight = 0;
};

class TgtClipItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icClip; }
  TgtClipItem() : TgtDocumentItem(TgtItemClass::icClip) {}

  TBrush Brush;
  TPen Pen;
  uint8_t Restore = 0;  // 1: back to the state before the last clip
  int32_t RegionMode = RGN_AND;
  SmallVec<TRect, 1> Rects;

  int32_t RectCount() const { return static_cast<int32_t>(Rects.size()); }
};

class TgtEOFItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icEOF; }
  TgtEOFItem() : TgtDocumentItem(TgtItemClass::icEOF) {}

  uint8_t EndFlag = 0;
};

// Path operations of TgtPathItem.
enum : int32_t {
  poBeginPath = 0,
  poEndPath = 1,
  poCloseFigure = 2,
  poAbortPath = 3,
  poFillPath = 4,
  poStrokeAndFillPath = 5,
  poStrokePath = 6,
  poSelectClipPath = 7
};

class TgtPathItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icPath; }
  TgtPathItem() : TgtDocumentItem(TgtItemClass::icPath) {}

  // Present for fill, stroke-and-fill and stroke.
  TBrush Brush;
  TPen Pen;
  bool HasTools = false;
  int32_t Operation = poBeginPath;
  int32_t ClipMode = 0;
  uint8_t EvenOdd = 0;
};

// Several polygon (kind 4) or polyline (kind 5) figures as one item.
class TgtPolyShapeItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icPolyShape; }
  TgtPolyShapeItem() : TgtDocumentItem(TgtItemClass::icPolyShape) {}

  std::vector<TgtShapeItem> Figures;
  uint8_t EvenOdd = 0;  // fill rule of closed figures: 1 alternate

  TgtShapeItem& AddFigure() { return Figures.emplace_back(); }
};

class TgtPolyPolygonItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icPolyPolygon; }
  TgtPolyPolygonItem() : TgtDocumentItem(TgtItemClass::icPolyPolygon) {}

  TBrush Brush;
  TPen Pen;
  int32_t FigureCount = 0;
  uint8_t EvenOdd = 0;
  // [0] total number of points, [1..FigureCount] points per figure.
  std::vector<int32_t> PointCounts;
  std::vector<TgtPoint> Points;
};

class TgtPolyDrawItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icPolyDraw; }
  TgtPolyDrawItem() : TgtDocumentItem(TgtItemClass::icPolyDraw) {}

  TBrush Brush;
  TPen Pen;
  std::vector<uint8_t> PointTypes;
  std::vector<TgtPoint> Points;

  int32_t PointCount() const { return static_cast<int32_t>(Points.size()); }
};

// A paragraph of the direct operations: text laid out in lines inside a width.
class TgtParagraphItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icParagraph; }
  TgtParagraphItem() : TgtDocumentItem(TgtItemClass::icParagraph) {}

  double X = 0;            // left edge of the text column
  double Y = 0;            // top of the first line
  double Width = 0;        // width of the text column
  double LineHeight = 0;   // distance between baselines
  double FirstIndent = 0;  // extra indent of Lines[0] when it starts the paragraph
  TFont Font;
  TBrush Brush;
  TgtTextEffects Effects;
  TgtTextFormatting Formatting;
  std::vector<std::u16string> Lines;  // the laid-out lines
  std::vector<double> LineWidths;     // their measured widths

  double Height() const { return LineHeight * static_cast<double>(Lines.size()); }
};

struct TgtTableCell {
  std::u16string Text;
  int32_t ImageIndex = -1;  // an image of the engine's image list, or -1
};

struct TgtTableRow {
  double Height = 0;
  std::vector<TgtTableCell> Cells;
};

// A table of the direct operations.
class TgtTableItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icTable; }
  TgtTableItem() : TgtDocumentItem(TgtItemClass::icTable) {}

  double X = 0;
  double Y = 0;
  TgtTableSettings Settings;
  TFont Font;
  TBrush Brush;
  std::vector<TgtTableRow> Rows;

  double ColumnWidth(size_t column) const;
  double Width(size_t columns) const;
  double TotalHeight() const;
};

// The typed view of an item when its class matches, else null.
template <class T>
T* ItemCast(TgtDocumentItem* item) {
  return item && T::IsClass(item->ItemClass()) ? static_cast<T*>(item) : nullptr;
}
template <class T>
const T* ItemCast(const TgtDocumentItem* item) {
  return item && T::IsClass(item->ItemClass()) ? static_cast<const T*>(item) : nullptr;
}

// Owns its items in order. Items are placed in large blocks of the list's own arena, so
// a page of hundreds of thousands of items makes a few hundred allocations, not one each.
class TgtItemList {
 public:
  TgtItemList() = default;
  ~TgtItemList() { Clear(); }
  TgtItemList(const TgtItemList&) = delete;
  TgtItemList& operator=(const TgtItemList&) = delete;
  TgtItemList(TgtItemList&& other) noexcept;
  TgtItemList& operator=(TgtItemList&& other) noexcept;

  template <class T>
  T& Add() {
    static_assert(std::is_base_of_v<TgtDocumentItem, T>);
    static_assert(alignof(T) <= alignof(std::max_align_t));
    void* p = Allocate(sizeof(T));
    items_.push_back(nullptr);
    T* item;
    try {
      item = new (p) T();
    } catch (...) {
      items_.pop_back();
      throw;
    }
    items_.back() = item;
    return *item;
  }

  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  TgtDocumentItem& operator[](size_t i) const { return *items_[i]; }
  TgtDocumentItem& back() const { return *items_.back(); }

  class const_iterator {
   public:
    using value_type = TgtDocumentItem;
    using difference_type = std::ptrdiff_t;
    using reference = TgtDocumentItem&;
    using pointer = TgtDocumentItem*;
    using iterator_category = std::random_access_iterator_tag;
    const_iterator() = default;
    explicit const_iterator(TgtDocumentItem* const* p) : p_(p) {}
    TgtDocumentItem& operator*() const { return **p_; }
    TgtDocumentItem* operator->() const { return *p_; }
    const_iterator& operator++() {
      ++p_;
      return *this;
    }
    const_iterator operator++(int) {
      const_iterator t = *this;
      ++p_;
      return t;
    }
    const_iterator& operator--() {
      --p_;
      return *this;
    }
    friend bool operator==(const_iterator a, const_iterator b) { return a.p_ == b.p_; }

   private:
    TgtDocumentItem* const* p_ = nullptr;
  };
  const_iterator begin() const { return const_iterator(items_.data()); }
  const_iterator end() const { return const_iterator(items_.data() + items_.size()); }

  // Destroys every item, in order, and gives back the arena.
  void Clear();

  // Orders the items that `select` picks among the places they occupy, stably by `less`;
  // every other item keeps its place.
  template <class Select, class Less>
  void SortSubset(Select select, Less less) {
    std::vector<size_t> slots;
    std::vector<TgtDocumentItem*> picked;
    for (size_t i = 0; i < items_.size(); ++i) {
      if (select(static_cast<const TgtDocumentItem&>(*items_[i]))) {
        slots.push_back(i);
        picked.push_back(items_[i]);
      }
    }
    std::stable_sort(
        picked.begin(), picked.end(),
        [&less](const TgtDocumentItem* a, const TgtDocumentItem* b) { return less(*a, *b); });
    for (size_t k = 0; k < slots.size(); ++k) items_[slots[k]] = picked[k];
  }

 private:
  void* Allocate(size_t bytes);

  struct Block {
    std::unique_ptr<std::byte[]> Data;
    size_t Size = 0;
    size_t Used = 0;
  };
  std::vector<TgtDocumentItem*> items_;
  std::vector<Block> blocks_;
};

// A band of the page (header, footer, underlay, overlay) or the page itself: its items
// and where the paragraph flow stands.
class TgtBandItem {
 public:
  TgtBandItem() = default;
  virtual ~TgtBandItem() = default;
  TgtBandItem(const TgtBandItem&) = delete;
  TgtBandItem& operator=(const TgtBandItem&) = delete;

  TgtItemList Items;
  double FlowY = -1;      // top of the next paragraph; -1 until the flow starts
  double FlowHeight = 0;  // height used by the flow so far
};

class TgtCustomDocumentEngine;

class TgtPageItem : public TgtBandItem {
 public:
  TgtPageItem(TgtCustomDocumentEngine* engine, const TgtPageSettings& page)
      : Engine(engine), Settings(page) {}

  TgtCustomDocumentEngine* Engine;
  TgtPageSettings Settings;  // own copy, unit factor 1: screen pixels
};

// What SaveEngineState keeps.
struct TgtEngineState {
  TFont Font;
  TPen Pen;
  TBrush Brush;
  TgtImageSettings ImageSettings;
  TgtTextFormatting TextFormatting;
  TgtTableSettings TableSettings;
  TgtPageSettings Page;
  TgtTextEffects TextEffects;
};

}  // namespace pv
