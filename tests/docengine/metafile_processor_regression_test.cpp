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

namespace pv {
namespace {

// EMF records in a byte buffer, header first.
class Records {
 public:
  Records() {
    ENHMETAHEADER h{};
    h.dSignature = ENHMETA_SIGNATURE;
    h.nVersion = ENHMETA_VERSION;
    Struct(EMR_HEADER, h);
  }
  Records& Words(uint32_t type, std::initializer_list<int32_t> words) {
    Put(type);
    Put(8 + 4 * static_cast<uint32_t>(words.size()));
    for (int32_t w : words) Put(static_cast<uint32_t>(w));
    return *this;
  }
  template <class T>
  Records& Struct(uint32_t type, T rec, size_t extra = 0) {
    const size_t size = (sizeof(T) + extra + 3) / 4 * 4;
    rec.emr.iType = type;
    rec.emr.nSize = static_cast<uint32_t>(size);
    const size_t at = bytes_.size();
    bytes_.resize(at + size, 0);
    std::memcpy(bytes_.data() + at, &rec, sizeof(T));
    return *this;
  }
  Records& Font(uint32_t ih, int32_t height) {
    EMREXTCREATEFONTINDIRECTW r{};
    r.ihFont = ih;
    r.elfw.lfHeight = height;
    r.elfw.lfWeight = 400;
    r.elfw.lfCharSet = 1;
    const char16_t face[] = u"Arial";
    std::memcpy(r.elfw.lfFaceName, face, sizeof face);
    return Struct(EMR_EXTCREATEFONTINDIRECTW, r);
  }
  Records& Text(int32_t x, int32_t y, const std::u16string& s) {
    EMREXTTEXTOUTW r{};
    r.iGraphicsMode = GM_COMPATIBLE;
    r.exScale = r.eyScale = 1;
    r.emrtext.ptlReference = {x, y};
    r.emrtext.nChars = static_cast<uint32_t>(s.size());
    r.emrtext.rcl = {0, 0, -1, -1};
    r.emrtext.offString = sizeof r;
    const size_t extra = (s.size() * 2 + 3) / 4 * 4;
    const size_t at = bytes_.size();
    Struct(EMR_EXTTEXTOUTW, r, extra);
    std::memcpy(bytes_.data() + at + sizeof r, s.data(), s.size() * 2);
    return *this;
  }
  TMetafile Metafile() const {
    TMetafile mf;
    mf.SetWidth(816);
    mf.SetHeight(1056);
    mf.MutableBytes() = bytes_;
    return mf;
  }

 private:
  void Put(uint32_t v) {
    const size_t at = bytes_.size();
    bytes_.resize(at + 4);
    std::memcpy(bytes_.data() + at, &v, 4);
  }
  std::vector<uint8_t> bytes_;
};

class Engine : public TgtCustomDocumentEngine {
 public:
  Engine() {
    Preferences().SetShowSetupDialog(false);
    Preferences().SetOpenAfterCreate(false);
    BeginDoc();
  }
};

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
    Engine engine;
    Records emf;
    emf.Font(1, -16).Words(EMR_SELECTOBJECT, {1}).Text(10, 10, u"before");
    emf.Font(2, height).Words(EMR_SELECTOBJECT, {2}).Text(10, 40, u"after");
    emf.Words(EMR_MOVETOEX, {0, 0}).Words(EMR_LINETO, {50, 50});
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
  Engine engine;
  Records emf;
  emf.Words(EMR_SETMAPMODE, {MM_HIMETRIC});
  emf.Font(1, fonts::kMaxFontHeight).Words(EMR_SELECTOBJECT, {1}).Text(10, 10, u"big");
  TgtMetafileProcessor p(engine);
  p.Process(emf.Metafile(), 0, 0);
  const auto texts = Texts(engine.CurrentItemList());
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0]->Font.Height, fonts::kMaxFontHeight);
}

// A world transform that scales a font out of the 32-bit range made the processor raise a
// range error out of Process, ending the page. The record is skipped; the rest plays.
TEST(MetafileProcessorRegression, RecordOutOfRangeDoesNotEndThePicture) {
  Engine engine;
  Records emf;
  EMRSETWORLDTRANSFORM xf{};
  xf.xform = {1.0f, 0.0f, 0.0f, 3.0e38f, 0.0f, 0.0f};
  emf.Struct(EMR_SETWORLDTRANSFORM, xf);
  emf.Font(1, -16);
  EMRMODIFYWORLDTRANSFORM id{};
  id.iMode = MWT_IDENTITY;
  emf.Struct(EMR_MODIFYWORLDTRANSFORM, id);
  emf.Words(EMR_MOVETOEX, {0, 0}).Words(EMR_LINETO, {30, 40});
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
