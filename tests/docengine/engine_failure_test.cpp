// The engine after a failing output hook, and an image refused by the format check.
#include <gtest/gtest.h>

#include <stdexcept>

#include "docengine/engine.h"

using namespace pv;

namespace {

class FailingEngine : public TgtCustomPlainsheetEngine {
 public:
  bool failEnd = false;
  bool refuseImages = false;
  int images = 0;
  void DoEndDoc() override {
    if (failEnd) throw std::runtime_error("disk full");
  }
  void RenderImage(const TgtImageItem&) override { ++images; }
  void CheckOutputImageFormat(TgtOutputImageFormat) override {
    if (refuseImages) RaiseError(EUnsupportedGraphics());
  }
};

// A 1 x 1 24-bit bitmap file.
std::vector<uint8_t> TinyBitmap() {
  std::vector<uint8_t> b(58, 0);
  b[0] = 'B', b[1] = 'M', b[2] = 58, b[10] = 54, b[14] = 40, b[18] = 1, b[22] = 1, b[26] = 1,
  b[28] = 24;
  return b;
}

}  // namespace

TEST(EngineFailure, FailedEndDocLeavesNoOpenDocument) {
  FailingEngine e;
  e.Preferences().SetShowSetupDialog(false);
  e.failEnd = true;
  e.BeginDoc();
  e.NewPage();
  EXPECT_THROW(e.EndDoc(), std::runtime_error);
  EXPECT_FALSE(e.DocumentOpen());
  EXPECT_EQ(e.DocumentState(), TgtDocumentState::dsFailed);
  EXPECT_EQ(e.PageCount(), 0);
  EXPECT_EQ(e.PageCanvas(), nullptr);
  // The engine can begin a fresh document afterwards.
  e.failEnd = false;
  e.BeginDoc();
  EXPECT_TRUE(e.DocumentOpen());
  e.EndDoc();
  EXPECT_EQ(e.DocumentState(), TgtDocumentState::dsEnded);
}

TEST(EngineFailure, ImageRefusedThroughOnErrorMessageAddsNoItem) {
  FailingEngine e;
  e.Preferences().SetShowSetupDialog(false);
  e.refuseImages = true;
  int reported = 0;
  e.OnErrorMessage = [&](TgtCustomDocumentEngine&, const EDocumentEngineError& err) {
    EXPECT_STREQ(err.what(), "Unknown Graphics format");
    ++reported;
  };
  e.BeginDoc();
  e.DrawImage(TgtRectD{0, 0, 1, 1}, TgtGraphic::FromBitmapFile(TinyBitmap()));
  e.refuseImages = false;
  e.DrawImage(TgtRectD{0, 0, 1, 1}, TgtGraphic::FromBitmapFile(TinyBitmap()));
  e.EndDoc();
  EXPECT_EQ(reported, 1);
  EXPECT_EQ(e.images, 1);  // only the accepted one became an item
}
