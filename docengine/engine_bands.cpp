// Bands of the document engine: the item list each band fills and the drawing area it
// offers the direct operations.
#include "docengine/engine.h"

namespace pv {

// ---- Bands and the drawing area -----------------------------------------------------------

TgtPageItem* TgtCustomDocumentEngine::CurrentPageItem() const {
  if (currentPage_ < 1 || currentPage_ > static_cast<int32_t>(pages_.size())) return nullptr;
  return pages_[static_cast<size_t>(currentPage_ - 1)].get();
}

const TgtPageSettings* TgtCustomDocumentEngine::CurrentPageSettings() const {
  const TgtPageItem* p = CurrentPageItem();
  return p ? &p->Settings : nullptr;
}

TgtBandItem* TgtCustomDocumentEngine::BandItem(TgtBand band) const {
  switch (band) {
    case TgtBand::bdPage:
      return CurrentPageItem();
    case TgtBand::bdHeader:
      return header_.get();
    case TgtBand::bdFooter:
      return footer_.get();
    case TgtBand::bdUnderlay:
      return underlay_.get();
    case TgtBand::bdOverlay:
      return overlay_.get();
  }
  return nullptr;
}

TgtItemList& TgtCustomDocumentEngine::CurrentItemList() {
  TgtBandItem* b = BandItem(band_);
  return b ? b->Items : orphans_;
}

TgtItemList& TgtCustomDocumentEngine::PageItemList() {
  TgtPageItem* p = CurrentPageItem();
  return p ? p->Items : orphans_;
}

void TgtCustomDocumentEngine::SetBand(TgtBand band) {
  band_ = band;
  UpdateDrawingArea();
}

void TgtCustomDocumentEngine::UpdateDrawingArea() {
  const TgtPageSettings* s = CurrentPageSettings();
  if (!s) {
    area_ = {};
    return;
  }
  const double w = s->Width(), h = s->Height();
  const double l = s->LeftMargin(), r = s->RightMargin();
  const double t = s->TopMargin(), b = s->BottomMargin();
  const double hh = s->HeaderHeight(), fh = s->FooterHeight();
  switch (referencePoint_) {
    case TgtReferencePoint::rpPage:
      area_ = {0, 0, w - r, h - b};
      return;
    case TgtReferencePoint::rpMargin:
      area_ = {l, t, w - r, h - b};
      return;
    case TgtReferencePoint::rpBand:
      break;
  }
  switch (band_) {
    case TgtBand::bdPage:
      area_ = {l, t + hh, w - r, h - fh - b};
      break;
    case TgtBand::bdHeader:
      area_ = {l, t, w - r, t + hh};
      break;
    case TgtBand::bdFooter:
      area_ = {l, h - fh - b, w - r, h - fh - b + fh};
      break;
    case TgtBand::bdUnderlay:
    case TgtBand::bdOverlay:
      area_ = {l, t, w - r, h - b};
      break;
  }
}

// Every band switch and clear first closes an open table: its rows belong to the band
// it was begun in.
void TgtCustomDocumentEngine::EnterBand(TgtBand band) {
  if (!docOpen_) return;
  EndTable();
  SetBand(band);
}

void TgtCustomDocumentEngine::ClearBand(TgtBandItem* b) {
  if (!docOpen_) return;
  EndTable();
  if (!b) return;
  b->Items.Clear();
  b->FlowY = -1;
  b->FlowHeight = 0;
}

void TgtCustomDocumentEngine::BeginHeader() {
  EnterBand(TgtBand::bdHeader);
}
void TgtCustomDocumentEngine::EndHeader() {
  EnterBand(TgtBand::bdPage);
}
void TgtCustomDocumentEngine::BeginFooter() {
  EnterBand(TgtBand::bdFooter);
}
void TgtCustomDocumentEngine::EndFooter() {
  EnterBand(TgtBand::bdPage);
}
void TgtCustomDocumentEngine::BeginUnderlay() {
  EnterBand(TgtBand::bdUnderlay);
}
void TgtCustomDocumentEngine::EndUnderlay() {
  EnterBand(TgtBand::bdPage);
}
void TgtCustomDocumentEngine::BeginOverlay() {
  EnterBand(TgtBand::bdOverlay);
}
void TgtCustomDocumentEngine::EndOverlay() {
  EnterBand(TgtBand::bdPage);
}

void TgtCustomDocumentEngine::ClearHeader() {
  ClearBand(header_.get());
}
void TgtCustomDocumentEngine::ClearFooter() {
  ClearBand(footer_.get());
}
void TgtCustomDocumentEngine::ClearUnderlay() {
  ClearBand(underlay_.get());
}
void TgtCustomDocumentEngine::ClearOverlay() {
  ClearBand(overlay_.get());
}

}  // namespace pv
