// The document engine's lifecycle, observed through an engine whose hooks record what
// reaches them.
#include "docengine/engine.h"

#include <gtest/gtest.h>

#include <charconv>
#include <string>
#include <vector>

#include "docengine/metafile_canvas.h"
#include "platform/text.h"
#include "support/docengine_support.h"

namespace pv {
namespace {

std::string Num(double v) {
  char buf[32];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  return std::string(buf, r.ptr);
}

class RecordingEngine : public pvtest::QuietEngine<TgtCustomPlainsheetEngine> {
 public:
  RecordingEngine() {
    SetMeasurementUnit(TgtUnitType::muPixels);
    OnBeforeBeginDoc = [this](TgtCustomDocumentEngine&) { Log("OnBeforeBeginDoc"); };
    OnAfterBeginDoc = [this](TgtCustomDocumentEngine&) { Log("OnAfterBeginDoc"); };
    OnBeforeEndDoc = [this](TgtCustomDocumentEngine&) { Log("OnBeforeEndDoc"); };
    OnAfterEndDoc = [this](TgtCustomDocumentEngine&) { Log("OnAfterEndDoc"); };
  }

  void Caps(uint16_t c) { SetCapabilities(c); }

  std::vector<std::string> calls;
  std::vector<std::pair<double, double>> pageSizes;  // at each DoBeginPage
  bool logEvents = false;

  void Log(std::string s) {
    if (logEvents || s.rfind("On", 0) != 0) calls.push_back(std::move(s));
  }

  void DoBeginDoc() override { Log("DoBeginDoc"); }
  void DoEndDoc() override { Log("DoEndDoc"); }
  void DoBeginPage() override {
    Log("DoBeginPage " + std::to_string(CurrentPage()));
    const TgtPageSettings* s = CurrentPageSettings();
    pageSizes.emplace_back(s->Width(), s->Height());
  }
  void DoEndPage() override { Log("DoEndPage " + std::to_string(CurrentPage())); }
  void RenderText(const TgtTextItem& item) override {
    Log("Text " + Utf16ToUtf8(item.Lines.at(0)) + " " + Num(item.X) + "," + Num(item.Y));
  }
  void RenderLine(const TPen&, double x1, double y1, double x2, double y2) override {
    Log("Line " + Num(x1) + "," + Num(y1) + "," + Num(x2) + "," + Num(y2));
  }
  void RenderRectangle(const TPen&, const TBrush* brush, double x1, double y1, double x2,
                       double y2) override {
    Log(std::string("Rectangle ") + (brush ? "filled " : "") + Num(x1) + "," + Num(y1) + "," +
        Num(x2) + "," + Num(y2));
  }
  void RenderEllipse(const TPen&, const TBrush*, double x1, double y1, double x2,
                     double y2) override {
    Log("Ellipse " + Num(x1) + "," + Num(y1) + "," + Num(x2) + "," + Num(y2));
  }
  void RenderArc(const TPen&, double, double, double, double, double, double, double,
                 double) override {
    Log("Arc");
  }
  void RenderPolygon(const TgtPoint*, int32_t count, const TBrush*, const TPen&,
                     bool closed) override {
    Log(std::string(closed ? "Polygon " : "PolyLine ") + std::to_string(count));
  }
  void RenderEOF(const TgtEOFItem&) override { Log("EOF"); }
  void RenderClip(const TgtClipItem&) override { Log("Clip"); }
};

// Draws a small picture on the page canvas in thousandths of an inch.
void DrawOnCanvas(TCanvas& c, int page) {
  c.Pen.Color = clBlack;
  c.Pen.Width = 10;
  c.MoveTo(0, 0);
  c.LineTo(1000, 500 * page);
  c.Brush.Color = clBlack;
  c.Brush.Style = TBrushStyle::bsSolid;
  c.FillRect({1000, 1000, 2000, 1500});
  c.Ellipse(3000, 3000, 4000, 4000);
  c.Brush.Style = TBrushStyle::bsClear;
  c.TextOut(500, 5000, u"page " + Utf8ToUtf16(std::to_string(page)));
}

TEST(Engine, ConstructionValues) {
  TgtCustomPlainsheetEngine e;
  EXPECT_EQ(e.About(), "");
  e.SetAbout("x");
  EXPECT_EQ(e.About(), "");
  EXPECT_EQ(e.Version(), "");
  EXPECT_EQ(e.InputXRes(), kScreenPPI);
  EXPECT_EQ(e.InputYRes(), kScreenPPI);
  EXPECT_EQ(e.ItemsToRender(), TgtItemsToRender::All());
  EXPECT_TRUE(e.PagesToRender().empty());
  EXPECT_EQ(e.MeasurementUnit(), TgtUnitType::muInches);
  EXPECT_DOUBLE_EQ(e.Page().UnitFactor(), 96.0);
  EXPECT_NEAR(e.Page().Width(), 8.2677, 1e-9);  // A4 portrait, read in inches
  EXPECT_EQ(e.ReferencePoint(), TgtReferencePoint::rpBand);
  EXPECT_EQ(e.SetupDialog(), nullptr);
  EXPECT_EQ(e.Settings(), nullptr);
  EXPECT_TRUE(e.AutoPaginate());
  EXPECT_EQ(e.Capabilities(), 7);
  EXPECT_FALSE(e.DocumentOpen());
  EXPECT_EQ(e.DocumentState(), TgtDocumentState::dsIdle);
  EXPECT_EQ(e.PageCount(), 0);
  EXPECT_EQ(e.CurrentPage(), 0);
  EXPECT_EQ(e.PageCanvas(), nullptr);
  EXPECT_TRUE(e.Preferences().OpenAfterCreate());
  EXPECT_FALSE(e.Preferences().EmailAfterCreate());
  EXPECT_FALSE(e.Preferences().OutputToUserStream());
  EXPECT_FALSE(e.Preferences().ProcessAfterEachPage());
  EXPECT_TRUE(e.Preferences().ShowSetupDialog());
  EXPECT_TRUE(e.Preferences().CalculateVariables());
  EXPECT_TRUE(e.Preferences().UseImagesAsResources());
  EXPECT_TRUE(e.Preferences().ActiveHyperLinks());
  EXPECT_EQ(e.Font().Name, "Helvetica");
  EXPECT_EQ(e.Pen(), TPen{});
  EXPECT_TRUE(e.FileName().empty());
  EXPECT_TRUE(e.SupportsFeature());
  EXPECT_EQ(e.ShowDefaultSetupDialog(), mrOk);
  // Input resolutions below 1 would divide by zero and are refused.
  e.SetInputXRes(0);
  e.SetInputYRes(-5);
  EXPECT_EQ(e.InputXRes(), kScreenPPI);
  EXPECT_EQ(e.InputYRes(), kScreenPPI);
}

TEST(Engine, HookOrderForNPagesRenderedAtEndDoc) {
  RecordingEngine e;
  e.logEvents = true;
  e.BeginDoc();
  // DoBeginDoc comes during BeginDoc, between the two events.
  ASSERT_EQ(e.calls,
            (std::vector<std::string>{"OnBeforeBeginDoc", "DoBeginDoc", "OnAfterBeginDoc"}));
  EXPECT_EQ(e.DocumentState(), TgtDocumentState::dsBegun);
  EXPECT_EQ(e.PageCount(), 1);
  EXPECT_EQ(e.CurrentPage(), 1);
  ASSERT_NE(e.PageCanvas(), nullptr);
  e.calls.clear();
  for (int p = 1; p <= 3; ++p) {
    if (p > 1) e.NewPage();
    e.TextOut(u"p" + Utf8ToUtf16(std::to_string(p)), 10, 20);
  }
  EXPECT_TRUE(e.calls.empty());  // nothing is rendered before EndDoc
  e.OnBeforeBeginPage = [&](TgtCustomDocumentEngine&) { e.calls.push_back("OnBeforeBeginPage"); };
  e.OnAfterEndPage = [&](TgtCustomDocumentEngine&) { e.calls.push_back("OnAfterEndPage"); };
  e.EndDoc();
  const std::vector<std::string> want = {
      "OnBeforeBeginPage", "DoBeginPage 1", "Text p1 10,20", "EOF", "DoEndPage 1", "OnAfterEndPage",
      "OnBeforeBeginPage", "DoBeginPage 2", "Text p2 10,20", "EOF", "DoEndPage 2", "OnAfterEndPage",
      "OnBeforeBeginPage", "DoBeginPage 3", "Text p3 10,20", "EOF", "DoEndPage 3", "OnAfterEndPage",
      "OnBeforeEndDoc",    "DoEndDoc",      "OnAfterEndDoc"};
  EXPECT_EQ(e.calls, want);
  EXPECT_EQ(e.DocumentState(), TgtDocumentState::dsEnded);
  EXPECT_FALSE(e.DocumentOpen());
  EXPECT_EQ(e.PageCount(), 0);
  EXPECT_EQ(e.PageCanvas(), nullptr);

  // Operations without a document are ignored; a new document starts afresh.
  e.calls.clear();
  e.NewPage();
  e.EndDoc();
  e.TextOut(u"x", 1, 1);
  EXPECT_TRUE(e.calls.empty());
  e.BeginDoc();
  e.BeginDoc();  // a second BeginDoc while open does nothing
  e.EndDoc();
  EXPECT_EQ(e.calls, (std::vector<std::string>{"OnBeforeBeginDoc", "DoBeginDoc", "OnAfterBeginDoc",
                                               "OnBeforeBeginPage", "DoBeginPage 1", "EOF",
                                               "DoEndPage 1", "OnAfterEndPage", "OnBeforeEndDoc",
                                               "DoEndDoc", "OnAfterEndDoc"}));
}

TEST(Engine, ProcessAfterEachPageRendersWhenTheNextPageBegins) {
  RecordingEngine e;
  e.Preferences().SetProcessAfterEachPage(true);
  e.BeginDoc();
  e.TextOut(u"a", 1, 1);
  e.NewPage();
  EXPECT_EQ(e.calls, (std::vector<std::string>{"DoBeginDoc", "DoBeginPage 1", "Text a 1,1", "EOF",
                                               "DoEndPage 1"}));
  e.TextOut(u"b", 2, 2);
  // Pages already rendered cannot be returned to: the call does nothing, raises nothing.
  EXPECT_NO_THROW(e.SetActivePage(0));
  EXPECT_NO_THROW(e.SetActivePage(1));
  EXPECT_EQ(e.CurrentPage(), 2);
  e.calls.clear();
  e.EndDoc();
  EXPECT_EQ(e.calls, (std::vector<std::string>{"DoBeginPage 2", "Text b 2,2", "EOF", "DoEndPage 2",
                                               "DoEndDoc"}));
}

TEST(Engine, PagesToRenderSelectsPages) {
  RecordingEngine e;
  e.SetPagesToRender("2-3");
  e.BeginDoc();
  for (int p = 1; p <= 4; ++p) {
    if (p > 1) e.NewPage();
    e.TextOut(u"p" + Utf8ToUtf16(std::to_string(p)), 5, 5);
  }
  e.EndDoc();
  EXPECT_EQ(e.calls, (std::vector<std::string>{"DoBeginDoc", "DoBeginPage 2", "Text p2 5,5", "EOF",
                                               "DoEndPage 2", "DoBeginPage 3", "Text p3 5,5", "EOF",
                                               "DoEndPage 3", "DoEndDoc"}));

  TgtCustomDocumentEngine s;
  EXPECT_TRUE(s.PageSelected(7));  // empty: every page
  s.SetPagesToRender("1,3,5-12");
  for (int page : {1, 3, 5, 12}) EXPECT_TRUE(s.PageSelected(page)) << page;
  for (int page : {2, 13}) EXPECT_FALSE(s.PageSelected(page)) << page;
  // Entries with anything but digits and "-" are skipped; so are incomplete ranges and
  // numbers beyond any page.
  s.SetPagesToRender("x2,4 ,-6,7-,,99999999999999999999999,8-9-10,3");
  for (int page : {2, 4, 6, 7, 9}) EXPECT_FALSE(s.PageSelected(page)) << page;
  EXPECT_TRUE(s.PageSelected(3));
}

TEST(Engine, EachPageHasItsOwnSizeAndMetafile) {
  RecordingEngine e;
  e.SetMeasurementUnit(TgtUnitType::muInches);
  e.Page().SetPaperSize(TgtPaperSize::Letter);
  e.BeginDoc();
  ASSERT_NE(e.PageMetafile(), nullptr);
  EXPECT_EQ(e.PageMetafile()->Width(), 816);
  EXPECT_EQ(e.PageMetafile()->Height(), 1056);
  e.Page().SetOrientation(TPrinterOrientation::poLandscape);
  e.NewPage();
  EXPECT_EQ(e.PageMetafile()->Width(), 1056);
  EXPECT_EQ(e.PageMetafile()->Height(), 816);
  e.Page().SetPaperSize(TgtPaperSize::Tabloid);  // landscape stays
  e.NewPage();
  EXPECT_EQ(e.PageMetafile()->Width(), 1632);
  EXPECT_EQ(e.PageMetafile()->Height(), 1056);
  e.Page().SetPaperSize(TgtPaperSize::A4);
  e.Page().SetOrientation(TPrinterOrientation::poPortrait);
  e.NewPage();
  EXPECT_EQ(e.PageMetafile()->Width(), 794);    // 793.70 pixels
  EXPECT_EQ(e.PageMetafile()->Height(), 1123);  // 1122.52 pixels
  e.EndDoc();
  ASSERT_EQ(e.pageSizes.size(), 4u);
  EXPECT_DOUBLE_EQ(e.pageSizes[0].first, 816);
  EXPECT_DOUBLE_EQ(e.pageSizes[0].second, 1056);
  EXPECT_DOUBLE_EQ(e.pageSizes[1].first, 1056);
  EXPECT_DOUBLE_EQ(e.pageSizes[2].first, 1632);
  EXPECT_NEAR(e.pageSizes[3].first, 793.6992, 1e-9);
  // After EndDoc Page is as it was before the document.
  EXPECT_EQ(e.Page().PaperSize(), TgtPaperSize::Letter);
  EXPECT_EQ(e.Page().Orientation(), TPrinterOrientation::poPortrait);
  EXPECT_DOUBLE_EQ(e.Page().Width(), 8.5);

  // Under muPixels Letter portrait reads as 816 x 1056 screen pixels.
  RecordingEngine p;
  p.Page().SetPaperSize(TgtPaperSize::Letter);
  EXPECT_DOUBLE_EQ(p.Page().Width(), 816);
  EXPECT_DOUBLE_EQ(p.Page().Height(), 1056);

  // A custom page too large for 32-bit pixel counts is refused, not wrapped.
  RecordingEngine big;
  big.Page().SetPaperSize(TgtPaperSize::Custom);
  big.Page().SetWidth(1e12);
  EXPECT_THROW(big.BeginDoc(), ERangeError);
  EXPECT_FALSE(big.DocumentOpen());
  EXPECT_EQ(big.PageCount(), 0);
  EXPECT_TRUE(big.calls.empty());
  big.Page().SetWidth(500);
  big.BeginDoc();  // the engine is usable again
  EXPECT_TRUE(big.DocumentOpen());
  big.EndDoc();
}

TEST(Engine, FileNameLosesItsExtensionAndIsFixedWhileOpen) {
  RecordingEngine e;
  e.SetFileName("/tmp/boards/top.gbr");
  EXPECT_EQ(e.FileName(), "/tmp/boards/top");
  e.SetFileName("plain");
  EXPECT_EQ(e.FileName(), "plain");
  e.SetFileName("dir.v2/name");  // a dot in a folder is no extension
  EXPECT_EQ(e.FileName(), "dir.v2/name");
  e.SetFileName("out_gbr.pdf");
  e.BeginDoc();
  e.SetFileName("other.pdf");
  EXPECT_EQ(e.FileName(), "out_gbr");
  e.EndDoc();
  e.SetFileName("other.pdf");
  EXPECT_EQ(e.FileName(), "other");
}

TEST(Engine, SetActivePageErrors) {
  RecordingEngine e;
  e.SetInputXRes(1000);
  e.SetInputYRes(1000);
  EXPECT_NO_THROW(e.SetActivePage(5));  // no document: ignored
  e.BeginDoc();
  e.NewPage();
  try {
    e.SetActivePage(0);
    FAIL() << "no error raised";
  } catch (const EInvalidPageNumber& err) {
    EXPECT_STREQ(err.what(), "Invalid Page Number");
  }
  EXPECT_THROW(e.SetActivePage(3), EInvalidPageNumber);
  EXPECT_EQ(e.CurrentPage(), 2);

  std::vector<std::string> errors;
  e.OnErrorMessage = [&](TgtCustomDocumentEngine& sender, const EDocumentEngineError& err) {
    EXPECT_EQ(&sender, &e);
    errors.push_back(err.what());
  };
  EXPECT_NO_THROW(e.SetActivePage(0));
  EXPECT_NO_THROW(e.SetActivePage(-7));
  EXPECT_EQ(errors, (std::vector<std::string>{"Invalid Page Number", "Invalid Page Number"}));
  EXPECT_EQ(e.CurrentPage(), 2);

  // Drawing continues on the earlier page; the canvas still records the page it was made
  // for, so its picture stays on page 2.
  DrawOnCanvas(*e.PageCanvas(), 2);
  e.SetActivePage(1);
  EXPECT_EQ(e.CurrentPage(), 1);
  e.TextOut(u"late", 1000, 2000);  // input dots under muPixels
  e.EndDoc();
  const auto& c = e.calls;
  const auto page2 = std::find(c.begin(), c.end(), "DoBeginPage 2");
  ASSERT_NE(page2, c.end());
  const auto late = std::find(c.begin(), c.end(), "Text late 96,192");
  ASSERT_NE(late, c.end());
  EXPECT_LT(late, page2);
  EXPECT_NE(std::find(page2, c.end(), "Text page 2 48,480"), c.end());
}

TEST(Engine, EngineStates) {
  RecordingEngine e;
  EXPECT_NO_THROW(e.ClearEngineStates());  // before BeginDoc: nothing happens
  EXPECT_EQ(e.SaveEngineState(), -1);
  EXPECT_NO_THROW(e.RestoreEngineState(5));
  EXPECT_EQ(e.EngineStateCount(), 0);

  e.Pen().Width = 3;
  e.Font().Name = "Courier";
  e.BeginDoc();
  EXPECT_EQ(e.EngineStateCount(), 1);  // the state at BeginDoc
  e.Pen().Width = 9;
  EXPECT_EQ(e.SaveEngineState(), 1);
  e.Pen().Width = 11;
  e.Brush().Color = 0x123456;
  e.Page().SetLeftMargin(40);
  e.RestoreEngineState(-1);
  EXPECT_EQ(e.Pen().Width, 9);
  EXPECT_EQ(e.Brush().Color, clWhite);
  EXPECT_DOUBLE_EQ(e.Page().LeftMargin(), 0);
  EXPECT_EQ(e.EngineStateCount(), 2);  // the state stays on the stack

  try {
    e.RestoreEngineState(2);
    FAIL() << "no error raised";
  } catch (const EInvalidEngineState& err) {
    EXPECT_STREQ(err.what(), "Not a valid Engine State identifier");
  }
  EXPECT_THROW(e.RestoreEngineState(-2), EInvalidEngineState);
  int handed = 0;
  e.OnErrorMessage = [&](TgtCustomDocumentEngine&, const EDocumentEngineError&) { ++handed; };
  e.RestoreEngineState(99);
  EXPECT_EQ(handed, 1);

  e.Pen().Width = 17;
  e.Font().Name = "Times";
  e.EndDoc();
  // The tools are as before the document.
  EXPECT_EQ(e.Pen().Width, 3);
  EXPECT_EQ(e.Font().Name, "Courier");
  EXPECT_EQ(e.EngineStateCount(), 0);

  // States cleared during the document: EndDoc still finishes cleanly.
  e.BeginDoc();
  e.ClearEngineStates();
  EXPECT_EQ(e.EngineStateCount(), 0);
  e.RestoreEngineState(-1);  // nothing saved: the error goes to the handler
  EXPECT_EQ(handed, 2);
  EXPECT_NO_THROW(e.EndDoc());
}

TEST(Engine, SetupDialogCancelOpensNoDocument) {
  struct Dlg : TgtBaseDlg {
    int32_t answer;
    TgtCustomDocumentEngine* bound = nullptr;
    explicit Dlg(int32_t a) : answer(a) {}
    int32_t ShowModal(TgtCustomDocumentEngine& engine) override {
      bound = &engine;
      return answer;
    }
  } cancel(mrCancel), ok(mrOk);
  RecordingEngine e;
  e.Preferences().SetShowSetupDialog(true);
  e.SetSetupDialog(&cancel);
  e.BeginDoc();
  EXPECT_EQ(cancel.bound, &e);
  EXPECT_EQ(e.DocumentState(), TgtDocumentState::dsCancelled);
  EXPECT_FALSE(e.DocumentOpen());
  EXPECT_TRUE(e.calls.empty());
  e.SetSetupDialog(&ok);
  e.BeginDoc();
  EXPECT_TRUE(e.DocumentOpen());
  e.EndDoc();
  // Without a dialog the engine's own default answers OK.
  e.SetSetupDialog(nullptr);
  e.BeginDoc();
  EXPECT_TRUE(e.DocumentOpen());
  e.EndDoc();
}

TEST(Engine, PreferencesClassNamesTheConcreteClass) {
  struct MyPrefs : TgtPlainSheetPreferences {
    int Extra = 42;
  };
  struct MyEngine : TgtCustomPlainsheetEngine {
    MyPrefs* PreferencesClass() const override { return new MyPrefs(); }
  } e;
  auto* p = dynamic_cast<MyPrefs*>(&e.Preferences());
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Extra, 42);
  EXPECT_TRUE(e.Preferences().ActiveHyperLinks());
}

TEST(Engine, SharedSettingsReachAttachedEngines) {
  TgtDocSettings doc;
  RecordingEngine a, b;
  a.SetSettings(&doc);
  b.SetSettings(&doc);
  doc.Page().SetPaperSize(TgtPaperSize::Letter);  // both were A4 like the shared page
  EXPECT_EQ(a.Page().PaperSize(), TgtPaperSize::Letter);
  EXPECT_EQ(b.Page().PaperSize(), TgtPaperSize::Letter);
  // The engines' own preferences were changed in their constructors; the shared value
  // reaches only those still equal to it.
  doc.Preferences().SetProcessAfterEachPage(true);
  EXPECT_TRUE(a.Preferences().ProcessAfterEachPage());
  doc.Preferences().SetOpenAfterCreate(false);  // theirs are already false
  EXPECT_FALSE(a.Preferences().OpenAfterCreate());
  b.SetSettings(nullptr);
  doc.Page().SetOrientation(TPrinterOrientation::poLandscape);
  EXPECT_EQ(a.Page().Orientation(), TPrinterOrientation::poLandscape);
  EXPECT_EQ(b.Page().Orientation(), TPrinterOrientation::poPortrait);
  {
    TgtDocSettings shortLived;
    a.SetSettings(&shortLived);
  }
  EXPECT_EQ(a.Settings(), nullptr);  // the component went away first
}

TEST(Engine, OutputFilesAreListedUntilTheEnd) {
  struct FileEngine : RecordingEngine {
    std::vector<std::string> seen;
    void DoEndDoc() override { AddOutputFile(FileName() + ".pdf"); }
  } e;
  e.OnAfterEndDoc = [&](TgtCustomDocumentEngine&) { e.seen = e.OutputFiles(); };
  e.SetFileName("/nonexistent/folder/board.gbr");
  e.Preferences().SetOpenAfterCreate(true);
  e.BeginDoc();
  e.EndDoc();  // the shell is asked to open it; without a desktop nothing starts
  EXPECT_EQ(e.seen, (std::vector<std::string>{"/nonexistent/folder/board.pdf"}));
  EXPECT_TRUE(e.OutputFiles().empty());
}

TEST(Engine, ThreePagesDrawnThroughTheirCanvases) {
  RecordingEngine e;
  e.SetInputXRes(1000);
  e.SetInputYRes(1000);
  e.SetItemsToRender({irText, irShape});
  e.Caps(capText | capImage | capShape | capImageOption1 | capImageOption2 | capInputResolution);
  e.Page().SetPaperSize(TgtPaperSize::Letter);
  e.BeginDoc();
  for (int p = 1; p <= 3; ++p) {
    if (p > 1) e.NewPage();
    ASSERT_NE(e.PageCanvas(), nullptr);
    DrawOnCanvas(*e.PageCanvas(), p);
  }
  e.EndDoc();
  std::vector<std::string> want = {"DoBeginDoc"};
  for (int p = 1; p <= 3; ++p) {
    const std::string n = std::to_string(p);
    want.push_back("DoBeginPage " + n);
    // 1000 x 500p thousandths of an inch are 96 x 48p screen pixels.
    want.push_back("Line 0,0,96," + Num(48.0 * p));
    // The fill follows a line, so it takes the record's inclusive bounds.
    want.push_back("Rectangle filled 96,96,191.904,143.904");
    want.push_back("Ellipse 288,288,384,384");
    want.push_back("Text page " + n + " 48,480");
    want.push_back("EOF");
    want.push_back("DoEndPage " + n);
  }
  want.push_back("DoEndDoc");
  EXPECT_EQ(e.calls, want);
}

TEST(Engine, RecordingWithoutTheResolutionBitLandsAtTheSamePlace) {
  // An engine that leaves the input resolution to the base: same items as the PDF road.
  RecordingEngine e;
  e.SetInputXRes(1000);
  e.SetInputYRes(1000);
  e.Page().SetPaperSize(TgtPaperSize::Letter);
  e.BeginDoc();
  DrawOnCanvas(*e.PageCanvas(), 1);
  e.EndDoc();
  EXPECT_NE(std::find(e.calls.begin(), e.calls.end(), "Line 0,0,96,48"), e.calls.end());
  EXPECT_NE(std::find(e.calls.begin(), e.calls.end(), "Ellipse 288,288,384,384"), e.calls.end());
}

TEST(Engine, PlayMetafileIntoARectangleScalesThePicture) {
  RecordingEngine e;
  e.SetInputXRes(1000);
  e.SetInputYRes(1000);
  e.BeginDoc();
  TgtGraphic g;
  g.Kind = TgtGraphicKind::gkMetafile;
  g.Metafile.SetWidth(96);
  g.Metafile.SetHeight(96);
  {
    TMetafileCanvas c(g.Metafile);
    c.MoveTo(0, 0);
    c.LineTo(1000, 500);
  }
  e.SetMeasurementUnit(TgtUnitType::muInches);
  e.PlayMetafile(TgtRectD{1, 1, 3, 3}, g);  // two inches: twice the picture's size
  e.PlayMetafile(g.Metafile, 1, 0);         // at its own size, one inch to the right
  e.EndDoc();
  EXPECT_NE(std::find(e.calls.begin(), e.calls.end(), "Line 96,96,288,192"), e.calls.end());
  EXPECT_NE(std::find(e.calls.begin(), e.calls.end(), "Line 96,0,192,48"), e.calls.end());
}

}  // namespace
}  // namespace pv
