// Recordings found by fuzzing the metafile processor, reduced to the records that matter.
#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "docengine/emf.h"
#include "docengine/engine.h"
#include "docengine/items.h"
#include "docengine/metafile.h"
#include "docengine/metafile_processor.h"
#include "platform/fonts.h"
#include "support/docengine_support.h"

namespace pv {
namespace {

using pvtest::EmfBuilder;
using pvtest::OpenDocumentEngine;

std::vector<const TgtTextItem*> Texts(const TgtItemList& items) {
  std::vector<const TgtTextItem*> out;
  for (const TgtDocumentItem& item : items)
    if (const auto* t = ItemCast<TgtTextItem>(&item)) out.push_back(t);
  return out;
}

// A font height beyond what any font can be realised at (here 50331528 pixels) used to
// reach the text item and raise a range error when the page was rendered. The font record
// is now skipped like any record whose numbers are out of range: the text keeps the font
// selected before, and the items after it are still made and can be measured.
TEST(MetafileProcessorRegression, FontTooLargeToRealiseIsSkipped) {
  for (int32_t height : {50331528, -50331528, fonts::kMaxFontHeight + 1, INT32_MIN}) {
    OpenDocumentEngine engine;
    EmfBuilder emf;
    emf.Font(1, -16, u"Arial").Select(1).TextWithoutAdvances(10, 10, u"before");
    emf.Font(2, height, u"Arial").Select(2).TextWithoutAdvances(10, 40, u"after");
    emf.MoveTo(0, 0).LineTo(50, 50);
    TgtMetafileProcessor p(engine);
    ASSERT_NO_THROW(p.Process(emf.Metafile(), 0, 0)) << height;
    const auto texts = Texts(engine.CurrentItemList());
    ASSERT_EQ(texts.size(), 2u) << height;
    EXPECT_EQ(texts[1]->Font.Height, texts[0]->Font.Height) << height;
    ASSERT_EQ(texts[1]->Lines.size(), 1u) << height;
    EXPECT_NO_THROW(engine.MeasureText(texts[1]->Lines[0], texts[1]->Font)) << height;
    const auto& last = engine.CurrentItemList()[engine.CurrentItemList().size() - 1];
    EXPECT_NE(ItemCast<TgtShapeItem>(&last), nullptr) << height;
  }
  // The largest realisable height still makes a font.
  OpenDocumentEngine engine;
  EmfBuilder emf;
  emf.Rec(EMR_SETMAPMODE, {MM_HIMETRIC});
  emf.Font(1, fonts::kMaxFontHeight, u"Arial").Select(1).TextWithoutAdvances(10, 10, u"big");
  TgtMetafileProcessor p(engine);
  p.Process(emf.Metafile(), 0, 0);
  const auto texts = Texts(engine.CurrentItemList());
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->Font.Height, fonts::kMaxFontHeight);
}

// A world transform that scales a font out of the 32-bit range made the processor raise a
// range error out of Process, ending the page. The record is skipped; the rest plays.
TEST(MetafileProcessorRegression, RecordOutOfRangeDoesNotEndThePicture) {
  OpenDocumentEngine engine;
  EmfBuilder emf;
  EMRSETWORLDTRANSFORM xf{};
  xf.xform = {1.0f, 0.0f, 0.0f, 3.0e38f, 0.0f, 0.0f};
  emf.Struct(EMR_SETWORLDTRANSFORM, xf);
  emf.Font(1, -16, u"Arial");
  EMRMODIFYWORLDTRANSFORM id{};
  id.iMode = MWT_IDENTITY;
  emf.Struct(EMR_MODIFYWORLDTRANSFORM, id);
  emf.MoveTo(0, 0).LineTo(30, 40);
  TgtMetafileProcessor p(engine);
  ASSERT_NO_THROW(p.Process(emf.Metafile(), 0, 0));
  const TgtItemList& items = engine.CurrentItemList();
  ASSERT_EQ(items.size(), 1u);
  const auto* line = ItemCast<TgtShapeItem>(&items[0]);
  ASSERT_NE(line, nullptr);
  ASSERT_EQ(line->PointCount(), 2);
  EXPECT_DOUBLE_EQ(line->Points[1].X, 30);
  EXPECT_DOUBLE_EQ(line->Points[1].Y, 40);
}

}  // namespace
}  // namespace pv
