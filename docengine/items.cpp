#include "docengine/items.h"

#include <algorithm>
#include <cmath>
#include <new>

namespace pv {

void TgtImageItem::SetRect(double left, double top, double right, double bottom) {
  X = std::min(left, right);
  Y = std::min(top, bottom);
  Width = std::fabs(right - left);
  Height = std::fabs(bottom - top);
  Rect = {X, Y, X + Width, Y + Height};
}

double TgtTableItem::ColumnWidth(size_t column) const {
  if (column < Settings.ColumnWidths.size()) return Settings.ColumnWidths[column];
  return Settings.ColumnWidth;
}

double TgtTableItem::Width(size_t columns) const {
  double w = 0;
  for (size_t c = 0; c < columns; ++c) w += ColumnWidth(c);
  return w;
}

double TgtTableItem::TotalHeight() const {
  double h = 0;
  for (const TgtTableRow& r : Rows) h += r.Height;
  return h;
}

namespace {
// Room for several thousand shape items per block.
constexpr size_t kBlockSize = 256 * 1024;
constexpr size_t kAlign = alignof(std::max_align_t);
}  // namespace

TgtItemList::TgtItemList(TgtItemList&& other) noexcept
    : items_(std::move(other.items_)), blocks_(std::move(other.blocks_)) {
  other.items_.clear();
  other.blocks_.clear();
}

TgtItemList& TgtItemList::operator=(TgtItemList&& other) noexcept {
  if (this != &other) {
    Clear();
    items_ = std::move(other.items_);
    blocks_ = std::move(other.blocks_);
    other.items_.clear();
    other.blocks_.clear();
  }
  return *this;
}

void* TgtItemList::Allocate(size_t bytes) {
  bytes = (bytes + kAlign - 1) / kAlign * kAlign;
  if (blocks_.empty() || blocks_.back().Size - blocks_.back().Used < bytes) {
    Block b;
    b.Size = std::max(kBlockSize, bytes);
    // operator new[] of std::byte gives storage aligned for max_align_t.
    b.Data.reset(new std::byte[b.Size]);
    blocks_.push_back(std::move(b));
  }
  Block& b = blocks_.back();
  void* p = b.Data.get() + b.Used;
  b.Used += bytes;
  return p;
}

void TgtItemList::Clear() {
  for (TgtDocumentItem* item : items_) item->~TgtDocumentItem();
  items_.clear();
  items_.shrink_to_fit();
  blocks_.clear();
}

}  // namespace pv
