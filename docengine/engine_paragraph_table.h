#pragma once
// State of the paragraph and the table being built by the direct operations.
#include <cstdint>

#include "docengine/engine.h"
#include "docengine/items.h"

namespace pv {

struct TgtCustomDocumentEngine::OpenParagraph {
  TFont Font;
  TBrush Brush;
  TgtTextEffects Effects;
  TgtTextFormatting Formatting;
  bool FirstLinePending = true;  // the next line laid out is the paragraph's first
};

struct TgtCustomDocumentEngine::OpenTable {
  TgtTableItem* Item = nullptr;  // lives in the band's list until the table is closed
  int32_t Columns = 0;
};

}  // namespace pv
