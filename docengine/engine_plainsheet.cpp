// The plain-sheet layer: engines that write one file of sheets, with an outline.
#include "docengine/engine.h"
#include "platform/process.h"

namespace pv {

// ---- Plain-sheet layer --------------------------------------------------------------------

TgtCustomPlainsheetEngine::TgtCustomPlainsheetEngine() = default;
TgtCustomPlainsheetEngine::~TgtCustomPlainsheetEngine() = default;

TgtPlainSheetPreferences* TgtCustomPlainsheetEngine::PreferencesClass() const {
  return new TgtPlainSheetPreferences();
}

void TgtCustomPlainsheetEngine::BeginDoc() {
  if (!DocumentOpen()) toc_.clear();
  TgtCustomDocumentEngine::BeginDoc();
}

void TgtCustomPlainsheetEngine::EndDoc() {
  const bool wasOpen = DocumentOpen();
  TgtCustomDocumentEngine::EndDoc();
  if (wasOpen) toc_.clear();
}

void TgtCustomPlainsheetEngine::SetFileName(const std::string& name) {
  if (DocumentOpen()) return;
  const std::string ext = ExtractFileExt(name);
  fileName_ = name.substr(0, name.size() - ext.size());
}

int32_t TgtCustomPlainsheetEngine::AddTOCItem(std::u16string_view title, int32_t parent, double x,
                                              double y, int32_t page) {
  if (!DocumentOpen()) return -1;
  if (parent < -1 || parent >= static_cast<int32_t>(toc_.size())) return -1;
  if (page < 1 || page > PageCount()) return -1;
  TgtTOCItem& t = toc_.emplace_back();
  t.Title = title;
  t.Parent = parent;
  t.X = ConvertX(x);
  t.Y = ConvertY(y);
  t.Page = page;
  return static_cast<int32_t>(toc_.size() - 1);
}

int32_t TgtCustomPlainsheetEngine::AddTOCLink(std::u16string_view title, int32_t parent,
                                              std::u16string_view link) {
  if (!DocumentOpen()) return -1;
  if (parent < -1 || parent >= static_cast<int32_t>(toc_.size())) return -1;
  TgtTOCItem& t = toc_.emplace_back();
  t.Title = title;
  t.Parent = parent;
  t.Link = link;
  return static_cast<int32_t>(toc_.size() - 1);
}

}  // namespace pv
