#pragma once
// The recording page canvas: every drawing call becomes EMF records, with the object
// creation, selection and deletion records a GDI canvas on a metafile device produces.
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "docengine/emf.h"
#include "docengine/metafile.h"
#include "platform/fonts.h"
#include "platform/graphics.h"

namespace pv {

// Records into a TMetafile. The recording starts afresh (the metafile's previous content
// is dropped) and is completed, EMR_EOF written and the header fixed, by Close() or the
// destructor; only then does the metafile hold it. Calls after Close() record nothing.
//
// Before every painting call the pen and then the brush the caller has set are brought
// into the recording (new objects only when a tool changed); TextOut also brings in the
// font and the text colour. Coordinates are logical units of the reference device,
// recorded as given.
class TMetafileCanvas : public TCanvas {
 public:
  explicit TMetafileCanvas(TMetafile& mf);
  ~TMetafileCanvas() override;
  TMetafileCanvas(const TMetafileCanvas&) = delete;
  TMetafileCanvas& operator=(const TMetafileCanvas&) = delete;

  void Close();
  bool Closed() const { return closed_; }

  void FillRect(const TRect& r) override;
  void Ellipse(int32_t x1, int32_t y1, int32_t x2, int32_t y2) override;
  void Arc(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t x3, int32_t y3, int32_t x4,
           int32_t y4) override;
  void MoveTo(int32_t x, int32_t y) override;
  void LineTo(int32_t x, int32_t y) override;
  void Polygon(const TPoint* points, uint32_t count) override;
  void TextOut(int32_t x, int32_t y, std::u16string_view text) override;

 private:
  // Bounds in 64 bits, so that inclusive edges and pen widths never overflow.
  struct Box {
    int64_t Left, Top, Right, Bottom;  // inclusive
  };

  uint8_t* Append(uint32_t type, size_t size);
  template <class T>
  void Put(const T& rec) {
    std::memcpy(Append(rec.emr.iType, sizeof rec), &rec, sizeof rec);
  }
  void PutObjectIndex(uint32_t type, uint32_t index);
  void PutMode(uint32_t type, uint32_t mode);

  uint32_t AllocHandle();
  void FreeHandle(uint32_t h);

  void BringPen();
  void BringBrush();
  void BringFont();
  void BringPenAndBrush() {
    BringPen();
    BringBrush();
  }

  // The box drawn with the current pen around a shape's geometry.
  Box Stroked(Box b) const;
  static Box Normalized(int64_t x1, int64_t y1, int64_t x2, int64_t y2);
  static RECTL ToRectl(const Box& b);
  void AddBounds(const Box& b);

  TMetafile& mf_;
  std::vector<uint8_t> buf_;
  uint32_t records_ = 0;
  bool closed_ = false;

  // Object table of the recording: in_use_[i] for handle i (0 is the metafile itself).
  std::vector<bool> inUse_;
  uint32_t maxHandle_ = 0;

  // What the recording holds now; a handle of 0 means the device's stock object.
  uint32_t penHandle_ = 0, brushHandle_ = 0, fontHandle_ = 0;
  TPen penRec_;
  TBrush brushRec_;
  TFont fontRec_;
  const fonts::Font* realized_ = nullptr;  // fontRec_ realised, for text advances
  bool textColorSet_ = false;
  uint32_t textColor_ = 0;
  uint32_t bkMode_ = 0;  // 0: not yet recorded
  bool bkColorSet_ = false;
  uint32_t bkColor_ = 0;

  TPoint pos_;  // current position
  bool anyBounds_ = false;
  Box bounds_{0, 0, -1, -1};
};

}  // namespace pv
