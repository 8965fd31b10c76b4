#include "docengine/page_settings.h"

#include <gtest/gtest.h>

namespace pv {
namespace {

// The page's width and height in its unit, each as EXPECT_DOUBLE_EQ compares them.
void ExpectSize(const TgtPageSettings& p, double width, double height) {
  EXPECT_DOUBLE_EQ(p.Width(), width);
  EXPECT_DOUBLE_EQ(p.Height(), height);
}

TEST(PageSettings, ConstructionIsA4PortraitInPixels) {
  TgtPageSettings p;
  EXPECT_EQ(p.PaperSize(), TgtPaperSize::A4);
  EXPECT_EQ(p.Orientation(), TPrinterOrientation::poPortrait);
  EXPECT_EQ(p.BinNumber(), 0);
  EXPECT_DOUBLE_EQ(p.UnitFactor(), 1.0);
  EXPECT_NEAR(p.Width(), 8.2677 * 96, 1e-9);
  EXPECT_NEAR(p.Height(), 11.6929 * 96, 1e-9);
  EXPECT_EQ(p.LeftMargin(), 0);
  EXPECT_EQ(p.RightMargin(), 0);
  EXPECT_EQ(p.TopMargin(), 0);
  EXPECT_EQ(p.BottomMargin(), 0);
  EXPECT_EQ(p.HeaderHeight(), 0);
  EXPECT_EQ(p.FooterHeight(), 0);
  EXPECT_EQ(p.Owner(), nullptr);
}

TEST(PageSettings, PaperTableAndOrientation) {
  TgtPageSettings p;
  p.SetPaperSize(TgtPaperSize::Letter);
  ExpectSize(p, 816, 1056);
  p.SetOrientation(TPrinterOrientation::poLandscape);
  ExpectSize(p, 1056, 816);
  // The same value again changes nothing.
  p.SetOrientation(TPrinterOrientation::poLandscape);
  EXPECT_DOUBLE_EQ(p.Width(), 1056);
  // The paper-size setter reads the current orientation.
  p.SetPaperSize(TgtPaperSize::Tabloid);
  ExpectSize(p, 1632, 1056);
  p.SetOrientation(TPrinterOrientation::poPortrait);
  ExpectSize(p, 1056, 1632);
  // Twice to the other value swaps twice.
  p.SetOrientation(TPrinterOrientation::poLandscape);
  p.SetOrientation(TPrinterOrientation::poPortrait);
  EXPECT_DOUBLE_EQ(p.Width(), 1056);

  p.SetPaperSize(TgtPaperSize::ps11X17);
  ExpectSize(p, 10 * 96, 17 * 96);

  // Orientation first and size second, or the other way round, give the same size.
  TgtPageSettings a, b;
  a.SetOrientation(TPrinterOrientation::poLandscape);
  a.SetPaperSize(TgtPaperSize::Legal);
  b.SetPaperSize(TgtPaperSize::Legal);
  b.SetOrientation(TPrinterOrientation::poLandscape);
  ExpectSize(a, b.Width(), b.Height());
  EXPECT_DOUBLE_EQ(a.Width(), 14 * 96);
}

TEST(PageSettings, EveryPaperSizeOfTheTable) {
  struct Row {
    TgtPaperSize size;
    double w, h;
  };
  const Row rows[] = {
      {TgtPaperSize::Letter, 8.5, 11},
      {TgtPaperSize::LetterSmall, 8.5, 11},
      {TgtPaperSize::Tabloid, 11, 17},
      {TgtPaperSize::Ledger, 17, 11},
      {TgtPaperSize::Legal, 8.5, 14},
      {TgtPaperSize::Statement, 5.5, 8.5},
      {TgtPaperSize::Executive, 7.25, 10.5},
      {TgtPaperSize::A3, 11.6929, 16.5354},
      {TgtPaperSize::A4, 8.2677, 11.6929},
      {TgtPaperSize::A4Small, 8.2677, 11.6929},
      {TgtPaperSize::A5, 5.8267, 8.2677},
      {TgtPaperSize::B4, 9.8425, 13.8976},
      {TgtPaperSize::B5, 6.9291, 9.8425},
      {TgtPaperSize::Folio, 8.5, 13},
      {TgtPaperSize::Quarto, 8.4645, 10.8267},
      {TgtPaperSize::ps10X14, 10, 14},
      {TgtPaperSize::ps11X17, 10, 17},
      {TgtPaperSize::Note, 8.5, 11},
      {TgtPaperSize::Env10, 4.125, 9.5},
      {TgtPaperSize::Env11, 4.5, 10.375},
      {TgtPaperSize::Env12, 4.75, 11},
      {TgtPaperSize::Env14, 5, 11.5},
      {TgtPaperSize::CSheet, 17, 22},
      {TgtPaperSize::DSheet, 22, 34},
      {TgtPaperSize::ESheet, 34, 44},
      {TgtPaperSize::EnvDL, 4.3307, 8.6614},
      {TgtPaperSize::EnvC5, 6.3779, 9.0157},
      {TgtPaperSize::EnvC3, 12.7559, 18.0314},
      {TgtPaperSize::EnvC4, 9.1057, 12.7559},
      {TgtPaperSize::EnvC6, 4.4881, 6.3779},
      {TgtPaperSize::EnvC65, 4.4881, 9.0157},
      {TgtPaperSize::EnvB4, 9.8425, 13.8976},
      {TgtPaperSize::EnvB5, 6.9291, 9.8425},
      {TgtPaperSize::EnvB6, 6.9291, 4.9212},
      {TgtPaperSize::EnvItaly, 4.3307, 9.0551},
      {TgtPaperSize::EnvMonarch, 3.875, 7.5},
      {TgtPaperSize::EnvPersonal, 3.625, 6.5},
      {TgtPaperSize::FanfoldUS, 14.875, 11},
      {TgtPaperSize::FanfoldStdGerman, 8.5, 12},
      {TgtPaperSize::ISOB4, 9.8425, 13.8976},
  };
  ASSERT_EQ(std::size(rows), 40u);
  for (const Row& r : rows) {
    SCOPED_TRACE(static_cast<int>(r.size));
    TgtPageSettings p;
    p.SetUnitFactor(UnitFactor(TgtUnitType::muInches));
    p.SetPaperSize(r.size);
    EXPECT_EQ(p.PaperSize(), r.size);
    EXPECT_NEAR(p.Width(), r.w, 1e-9);
    EXPECT_NEAR(p.Height(), r.h, 1e-9);
    EXPECT_EQ(PaperSizeInches(r.size).Width, r.w);
  }
  // Custom keeps the current dimensions and then takes width and height.
  TgtPageSettings p;
  p.SetPaperSize(TgtPaperSize::Letter);
  p.SetPaperSize(TgtPaperSize::Custom);
  ExpectSize(p, 816, 1056);
  p.SetWidth(500);
  p.SetHeight(600);
  ExpectSize(p, 500, 600);
  // A size outside the enumeration is refused.
  p.SetPaperSize(static_cast<TgtPaperSize>(77));
  EXPECT_EQ(p.PaperSize(), TgtPaperSize::Custom);
}

TEST(PageSettings, UnitsScaleGettersAndSetters) {
  EXPECT_DOUBLE_EQ(UnitFactor(TgtUnitType::muPixels), 1.0);
  EXPECT_DOUBLE_EQ(UnitFactor(TgtUnitType::muInches), 96.0);
  EXPECT_DOUBLE_EQ(UnitFactor(TgtUnitType::muMM), 96.0 / 72.0 * 2.83464);
  EXPECT_DOUBLE_EQ(UnitFactor(TgtUnitType::muPoints), 96.0 / 72.0);
  EXPECT_DOUBLE_EQ(UnitFactor(TgtUnitType::muTwips), 96.0 / 72.0 * 0.05);

  TgtPageSettings p;
  p.SetPaperSize(TgtPaperSize::Letter);
  p.SetUnitFactor(UnitFactor(TgtUnitType::muInches));
  ExpectSize(p, 8.5, 11);
  p.SetUnitFactor(UnitFactor(TgtUnitType::muMM));
  EXPECT_NEAR(p.Width(), 215.9, 0.01);
  EXPECT_NEAR(p.Height(), 279.4, 0.01);

  // Margins are stored in pixels: set in inches, read in points.
  p.SetUnitFactor(UnitFactor(TgtUnitType::muInches));
  p.SetLeftMargin(0.5);
  p.SetRightMargin(0.25);
  p.SetTopMargin(1);
  p.SetBottomMargin(2);
  p.SetHeaderHeight(0.75);
  p.SetFooterHeight(1.5);
  p.SetUnitFactor(UnitFactor(TgtUnitType::muPoints));
  EXPECT_DOUBLE_EQ(p.LeftMargin(), 36);
  EXPECT_DOUBLE_EQ(p.RightMargin(), 18);
  EXPECT_DOUBLE_EQ(p.TopMargin(), 72);
  EXPECT_DOUBLE_EQ(p.BottomMargin(), 144);
  EXPECT_DOUBLE_EQ(p.HeaderHeight(), 54);
  EXPECT_DOUBLE_EQ(p.FooterHeight(), 108);

  // Width on a table size is ignored.
  p.SetPaperSize(TgtPaperSize::A4);
  const double w = p.Width();
  p.SetWidth(10);
  p.SetHeight(10);
  EXPECT_DOUBLE_EQ(p.Width(), w);
  EXPECT_NE(p.Height(), 10);
  // A nonsensical factor falls back to pixels rather than dividing by zero.
  p.SetUnitFactor(0);
  EXPECT_DOUBLE_EQ(p.UnitFactor(), 1.0);
}

TEST(PageSettings, AssignAndCopyKeepFactorAndOwner) {
  TgtDocSettings doc;
  TgtPageSettings src;
  src.SetPaperSize(TgtPaperSize::Custom);
  src.SetWidth(300);
  src.SetHeight(200);
  src.SetLeftMargin(7);
  src.SetBinNumber(4);
  src.SetOrientation(TPrinterOrientation::poLandscape);

  TgtPageSettings dst(&doc);
  dst.SetUnitFactor(96);
  dst = src;
  EXPECT_EQ(dst.Owner(), &doc);
  EXPECT_DOUBLE_EQ(dst.UnitFactor(), 96);
  EXPECT_EQ(dst.PaperSize(), TgtPaperSize::Custom);
  EXPECT_EQ(dst.Orientation(), TPrinterOrientation::poLandscape);
  EXPECT_EQ(dst.BinNumber(), 4);
  EXPECT_DOUBLE_EQ(dst.Width(), 200.0 / 96);  // 300 x 200 swapped by landscape
  EXPECT_DOUBLE_EQ(dst.LeftMargin(), 7.0 / 96);

  // A copy reads in pixels and belongs to nobody.
  TgtPageSettings copy(dst);
  EXPECT_EQ(copy.Owner(), nullptr);
  EXPECT_DOUBLE_EQ(copy.UnitFactor(), 1.0);
  ExpectSize(copy, 200, 300);
}

TEST(PageSettings, SharedSettingsReachEnginesWithTheOldValue) {
  TgtDocSettings doc;
  TgtDocSettings* link1 = &doc;
  TgtDocSettings* link2 = &doc;
  TgtPageSettings e1, e2;
  TgtPlainSheetPreferences p1, p2;
  e2.SetLeftMargin(5);  // differs from the shared page's 0
  e2.SetPaperSize(TgtPaperSize::Letter);
  p2.SetOpenAfterCreate(false);
  doc.Attach(&e1, &p1, &link1);
  doc.Attach(&e2, &p2, &link2);
  EXPECT_EQ(doc.AttachedCount(), 2u);

  doc.Page().SetLeftMargin(9);
  EXPECT_DOUBLE_EQ(e1.LeftMargin(), 9);
  EXPECT_DOUBLE_EQ(e2.LeftMargin(), 5);

  doc.Page().SetPaperSize(TgtPaperSize::Legal);  // the shared page was A4, like e1
  EXPECT_EQ(e1.PaperSize(), TgtPaperSize::Legal);
  EXPECT_EQ(e2.PaperSize(), TgtPaperSize::Letter);
  EXPECT_DOUBLE_EQ(e1.Height(), 14 * 96);

  doc.Page().SetOrientation(TPrinterOrientation::poLandscape);
  EXPECT_EQ(e1.Orientation(), TPrinterOrientation::poLandscape);
  EXPECT_EQ(e2.Orientation(), TPrinterOrientation::poLandscape);
  EXPECT_DOUBLE_EQ(e2.Width(), 1056);

  doc.Page().SetBinNumber(3);
  EXPECT_EQ(e1.BinNumber(), 3);

  // Width reaches only Custom pages, and only when the shared page is Custom.
  doc.Page().SetPaperSize(TgtPaperSize::Custom);
  EXPECT_EQ(e1.PaperSize(), TgtPaperSize::Custom);
  EXPECT_EQ(e2.PaperSize(), TgtPaperSize::Letter);
  doc.Page().SetWidth(e1.Width());  // make equal first
  doc.Page().SetWidth(1234);
  EXPECT_DOUBLE_EQ(doc.Page().Width(), 1234);
  EXPECT_DOUBLE_EQ(e1.Width(), 1234);
  EXPECT_DOUBLE_EQ(e2.Width(), 1056);

  doc.Preferences().SetOpenAfterCreate(false);
  EXPECT_FALSE(p1.OpenAfterCreate());
  doc.Preferences().SetOpenAfterCreate(true);  // both now equal the old value
  EXPECT_TRUE(p1.OpenAfterCreate());
  EXPECT_TRUE(p2.OpenAfterCreate());
  p2.SetCalculateVariables(false);  // the engine's own change stays its own
  EXPECT_TRUE(p1.CalculateVariables());
  EXPECT_TRUE(doc.Preferences().CalculateVariables());
  doc.Preferences().SetActiveHyperLinks(false);
  EXPECT_FALSE(p1.ActiveHyperLinks());
  EXPECT_FALSE(p2.ActiveHyperLinks());

  // A plain page with no owner changes only itself.
  e1.SetTopMargin(3);
  EXPECT_DOUBLE_EQ(e2.TopMargin(), 0);

  doc.Detach(&e2);
  doc.Page().SetRightMargin(4);
  EXPECT_DOUBLE_EQ(e1.RightMargin(), 4);
  EXPECT_DOUBLE_EQ(e2.RightMargin(), 0);
}

TEST(PageSettings, SharedSettingsGoneClearTheEngineLink) {
  TgtPageSettings e1;
  TgtPreferences p1;
  auto doc = std::make_unique<TgtDocSettings>();
  TgtDocSettings* link = doc.get();
  doc->Attach(&e1, &p1, &link);
  doc.reset();
  EXPECT_EQ(link, nullptr);
}

TEST(Preferences, DefaultsAndCopies) {
  TgtPlainSheetPreferences p;
  EXPECT_TRUE(p.OpenAfterCreate());
  EXPECT_FALSE(p.EmailAfterCreate());
  EXPECT_FALSE(p.OutputToUserStream());
  EXPECT_FALSE(p.ProcessAfterEachPage());
  EXPECT_TRUE(p.ShowSetupDialog());
  EXPECT_TRUE(p.CalculateVariables());
  EXPECT_TRUE(p.UseImagesAsResources());
  EXPECT_TRUE(p.ActiveHyperLinks());

  TgtDocSettings doc;
  TgtPlainSheetPreferences copy(doc.Preferences());
  EXPECT_EQ(copy.Owner(), nullptr);
  EXPECT_EQ(doc.Preferences().Owner(), &doc);

  TgtPlainSheetPreferences q;
  q.SetShowSetupDialog(false);
  q.SetActiveHyperLinks(false);
  q.SetProcessAfterEachPage(true);
  p.Assign(q);
  EXPECT_FALSE(p.ShowSetupDialog());
  EXPECT_FALSE(p.ActiveHyperLinks());
  EXPECT_TRUE(p.ProcessAfterEachPage());
  TgtPreferences base;
  p.Assign(base);  // the plain-sheet value stays when the source has none
  EXPECT_FALSE(p.ActiveHyperLinks());
  EXPECT_TRUE(p.ShowSetupDialog());
}

}  // namespace
}  // namespace pv
