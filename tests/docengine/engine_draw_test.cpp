// The engine's direct drawing operations, bands, paragraphs, tables, text measurement and
// the link finder.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "docengine/engine.h"
#include "platform/fonts.h"
#include "platform/text.h"
#include "support/docengine_support.h"

namespace pv {
namespace {

// Keeps copies of the items its hooks receive.
class ItemEngine : public pvtest::QuietEngine<TgtCustomPlainsheetEngine> {
 public:
  ItemEngine() {
    SetMeasurementUnit(TgtUnitType::muPixels);
    Page().SetPaperSize(TgtPaperSize::Letter);  // 816 x 1056
  }
  void Caps(uint16_t c) { SetCapabilities(c); }

  struct Shape {
    std::string kind;
    std::vector<double> v;
    bool brush = false;
    TPen pen;
  };
  std::vector<std::string> log;
  std::vector<TgtTextItem> texts;
  std::vector<int> textPages;
  std::vector<Shape> shapes;
  std::vector<TgtImageItem> images;

  void DoBeginPage() override { log.push_back("page " + std::to_string(CurrentPage())); }
  void RenderText(const TgtTextItem& item) override {
    texts.push_back(item);
    textPages.push_back(CurrentPage());
    log.push_back("text " + Utf16ToUtf8(item.Lines.at(0)));
  }
  void RenderImage(const TgtImageItem& item) override { images.push_back(item); }
  void Add(std::string k, std::vector<double> v, const TBrush* b, const TPen& p) {
    log.push_back(k);
    shapes.push_back({std::move(k), std::move(v), b != nullptr, p});
  }
  void RenderLine(const TPen& p, double x1, double y1, double x2, double y2) override {
    Add("line", {x1, y1, x2, y2}, nullptr, p);
  }
  void RenderRectangle(const TPen& p, const TBrush* b, double x1, double y1, double x2,
                       double y2) override {
    Add("rect", {x1, y1, x2, y2}, b, p);
  }
  void RenderEllipse(const TPen& p, const TBrush* b, double x1, double y1, double x2,
                     double y2) override {
    Add("ellipse", {x1, y1, x2, y2}, b, p);
  }
  void RenderRoundRect(const TPen& p, const TBrush* b, double x1, double y1, double x2, double y2,
                       double cw, double ch) override {
    Add("roundrect", {x1, y1, x2, y2, cw, ch}, b, p);
  }
  void RenderPolygon(const TgtPoint* pts, int32_t n, const TBrush* b, const TPen& p,
                     bool closed) override {
    std::vector<double> v;
    for (int32_t i = 0; i < n; ++i) {
      v.push_back(pts[i].X);
      v.push_back(pts[i].Y);
    }
    Add(closed ? "polygon" : "polyline", v, b, p);
  }
  void RenderArc(const TPen& p, double a, double b, double c, double d, double e, double f,
                 double g, double h) override {
    Add("arc", {a, b, c, d, e, f, g, h}, nullptr, p);
  }
  void RenderPie(const TPen& p, const TBrush* br, double a, double b, double c, double d, double e,
                 double f, double g, double h) override {
    Add("pie", {a, b, c, d, e, f, g, h}, br, p);
  }
  void RenderChord(const TPen& p, const TBrush* br, double a, double b, double c, double d,
                   double e, double f, double g, double h) override {
    Add("chord", {a, b, c, d, e, f, g, h}, br, p);
  }
  void RenderPolyBezier(const TgtPoint*, int32_t n, const TPen& p) override {
    Add("bezier", {static_cast<double>(n)}, nullptr, p);
  }
  void RenderPolyShape(const TgtPolyShapeItem& item, bool closed) override {
    Add(closed ? "polyshape closed" : "polyshape open", {static_cast<double>(item.Figures.size())},
        nullptr, item.Figures[0].Pen);
  }
  void RenderOtherItem(const TgtDocumentItem&) override { log.push_back("other"); }

  std::vector<std::string> Texts() const {
    std::vector<std::string> out;
    for (const auto& t : texts) out.push_back(Utf16ToUtf8(t.Lines.at(0)));
    return out;
  }
};

TEST(EngineDraw, ShapesCarryPenBrushAndConvertedPoints) {
  ItemEngine e;
  e.Line(0, 0, 10, 10);  // no document: nothing happens
  e.BeginDoc();
  e.Pen() = {0x0000FF, 3, TPenStyle::psDash};
  e.Brush() = {0x00FF00, TBrushStyle::bsDiagCross};
  e.Line(1, 2, 3, 4);
  e.Rectangle(50, 40, 10, 20, true);  // corners kept as given
  e.Rectangle(1, 1, 2, 2, false);
  e.Ellipse(5, 6, 7, 8, true);
  e.RoundRect(0, 0, 20, 20, 4, 6, true);
  const TgtPoint tri[] = {{0, 0}, {10, 0}, {5, 5}};
  e.Polygon(tri, true);
  e.PolyLine(tri);
  e.Polygon({}, true);  // no points: no item
  e.Arc(0, 0, 10, 10, 10, 5, 0, 5);
  e.Pie(0, 0, 10, 10, 10, 5, 0, 5, true);
  e.Chord(0, 0, 10, 10, 10, 5, 0, 5, false);
  const TgtPoint bz[] = {{0, 0}, {1, 1}, {2, 1}, {3, 0}};
  e.PolyBezier(bz);
  e.EndDoc();
  ASSERT_EQ(e.shapes.size(), 11u);
  EXPECT_EQ(e.shapes[0].kind, "line");
  EXPECT_EQ(e.shapes[0].v, (std::vector<double>{1, 2, 3, 4}));
  EXPECT_EQ(e.shapes[0].pen, (TPen{0x0000FF, 3, TPenStyle::psDash}));
  EXPECT_FALSE(e.shapes[0].brush);
  EXPECT_EQ(e.shapes[1].v, (std::vector<double>{50, 40, 10, 20}));
  EXPECT_TRUE(e.shapes[1].brush);
  EXPECT_FALSE(e.shapes[2].brush);
  EXPECT_EQ(e.shapes[3].kind, "ellipse");
  EXPECT_EQ(e.shapes[4].kind, "roundrect");
  EXPECT_EQ(e.shapes[4].v, (std::vector<double>{0, 0, 20, 20, 4, 6}));
  EXPECT_EQ(e.shapes[5].kind, "polygon");
  EXPECT_EQ(e.shapes[5].v.size(), 6u);
  EXPECT_TRUE(e.shapes[5].brush);
  EXPECT_EQ(e.shapes[6].kind, "polyline");
  EXPECT_FALSE(e.shapes[6].brush);
  EXPECT_EQ(e.shapes[7].kind, "arc");
  EXPECT_EQ(e.shapes[7].v, (std::vector<double>{0, 0, 10, 10, 10, 5, 0, 5}));
  EXPECT_EQ(e.shapes[8].kind, "pie");
  EXPECT_TRUE(e.shapes[8].brush);
  EXPECT_EQ(e.shapes[9].kind, "chord");
  EXPECT_FALSE(e.shapes[9].brush);
  EXPECT_EQ(e.shapes[10].kind, "bezier");

  // Units: inches convert by 96, pixels by the input resolution.
  ItemEngine u;
  u.SetMeasurementUnit(TgtUnitType::muInches);
  u.BeginDoc();
  u.Line(1, 0.5, 2, 1);
  u.SetMeasurementUnit(TgtUnitType::muPixels);
  u.SetInputXRes(1000);
  u.SetInputYRes(500);
  u.Line(1000, 500, 0, 0);
  u.EndDoc();
  ASSERT_EQ(u.shapes.size(), 2u);
  EXPECT_EQ(u.shapes[0].v, (std::vector<double>{96, 48, 192, 96}));
  EXPECT_EQ(u.shapes[1].v, (std::vector<double>{96, 96, 0, 0}));
}

TEST(EngineDraw, GuardsFollowCapabilitiesAndItemsToRender) {
  ItemEngine e;
  e.SetItemsToRender({irText});
  e.BeginDoc();
  e.Line(0, 0, 1, 1);
  e.TextOut(u"kept", 1, 1);
  e.EndDoc();
  EXPECT_TRUE(e.shapes.empty());
  EXPECT_EQ(e.Texts(), (std::vector<std::string>{"kept"}));

  ItemEngine c;
  c.Caps(capShape);  // no text capability
  c.BeginDoc();
  c.TextOut(u"dropped", 1, 1);
  c.Line(0, 0, 1, 1);
  c.EndDoc();
  EXPECT_TRUE(c.texts.empty());
  EXPECT_EQ(c.shapes.size(), 1u);
}

TEST(EngineDraw, DrawingAreaPerReferencePointAndBand) {
  ItemEngine e;
  e.Page().SetLeftMargin(10);
  e.Page().SetRightMargin(20);
  e.Page().SetTopMargin(30);
  e.Page().SetBottomMargin(40);
  e.Page().SetHeaderHeight(50);
  e.Page().SetFooterHeight(60);
  e.BeginDoc();
  EXPECT_EQ(e.DrawingArea(), (TgtRectD{10, 80, 796, 956}));
  e.BeginHeader();
  EXPECT_EQ(e.DrawingArea(), (TgtRectD{10, 30, 796, 80}));
  e.BeginFooter();
  EXPECT_EQ(e.DrawingArea(), (TgtRectD{10, 956, 796, 1016}));
  e.BeginUnderlay();
  EXPECT_EQ(e.DrawingArea(), (TgtRectD{10, 30, 796, 1016}));
  e.EndUnderlay();
  EXPECT_EQ(e.CurrentBand(), TgtBand::bdPage);
  e.SetReferencePoint(TgtReferencePoint::rpMargin);
  EXPECT_EQ(e.DrawingArea(), (TgtRectD{10, 30, 796, 1016}));
  e.SetReferencePoint(TgtReferencePoint::rpPage);
  EXPECT_EQ(e.DrawingArea(), (TgtRectD{0, 0, 796, 1016}));
  e.SetReferencePoint(TgtReferencePoint::rpBand);

  // Text is placed relative to the area's origin and kept only inside [left, right).
  e.TextOut(u"in", 0, 0);
  e.TextOut(u"right edge", 786, 0);  // x = 796: outside
  e.TextOut(u"below", 0, 876);       // y = 956: outside
  e.TextOut(u"above", 0, -1);
  e.TextOut(u"last", 785.5, 875.5);
  e.Line(-100, -100, 2000, 2000);  // shapes are not tested against the area
  e.EndDoc();
  EXPECT_EQ(e.Texts(), (std::vector<std::string>{"in", "last"}));
  EXPECT_EQ(e.texts[0].X, 10);
  EXPECT_EQ(e.texts[0].Y, 80);
  EXPECT_EQ(e.shapes.size(), 1u);
}

TEST(EngineDraw, BandsAndPageVariables) {
  ItemEngine e;
  e.Page().SetHeaderHeight(40);
  e.Page().SetFooterHeight(40);
  e.BeginDoc();
  e.BeginHeader();
  e.TextOut(u"Page <%Pg#%> of <%PgCnt%>", 0, 0);
  e.EndHeader();
  e.BeginFooter();
  e.TextOut(u"footer", 0, 0);
  e.EndFooter();
  e.BeginOverlay();
  e.TextOut(u"overlay", 0, 0);
  e.EndOverlay();
  e.BeginUnderlay();
  e.TextOut(u"underlay", 0, 0);
  e.EndUnderlay();
  e.TextOut(u"body 1", 0, 0);
  e.NewPage();
  e.TextOut(u"body 2", 0, 0);
  e.EndDoc();
  EXPECT_EQ(e.log, (std::vector<std::string>{"page 1", "text Page 1 of 2", "text underlay",
                                             "text body 1", "text footer", "text overlay", "page 2",
                                             "text Page 2 of 2", "text underlay", "text body 2",
                                             "text footer", "text overlay"}));

  // Header only on page 1 when the engine says so; a cleared band renders nothing.
  ItemEngine f;
  f.Page().SetHeaderHeight(40);
  f.Page().SetFooterHeight(40);
  f.Caps(capText | capShape | capHeaderFirstPageOnly);
  f.Preferences().SetCalculateVariables(false);
  f.BeginDoc();
  f.BeginHeader();
  f.TextOut(u"<%Pg#%>", 0, 0);
  f.EndHeader();
  f.BeginFooter();
  f.TextOut(u"gone", 0, 0);
  f.ClearFooter();
  f.EndFooter();
  f.NewPage();
  f.EndDoc();
  EXPECT_EQ(f.log, (std::vector<std::string>{"page 1", "text <%Pg#%>", "page 2"}));

  // OnCalcVariables sees every text.
  ItemEngine g;
  g.OnCalcVariables = [](TgtCustomDocumentEngine&, std::u16string& s) { s += u"!"; };
  g.BeginDoc();
  g.TextOut(u"hi", 0, 0);
  g.EndDoc();
  EXPECT_EQ(g.Texts(), (std::vector<std::string>{"hi!"}));
}

TEST(EngineDraw, TextItemFieldsRotationAndOptions) {
  ItemEngine e;
  e.BeginDoc();
  e.Font().Name = "Courier";
  e.Font().Color = 0x0000FF;
  e.Brush() = {0x00FFFF, TBrushStyle::bsClear};
  e.TextEffects().TextRenderMode = TgtTextRenderMode::trmStroke;
  e.SetTextRotation(-90);
  EXPECT_EQ(e.TextRotation(), 270);
  e.SetTextRotation(725);
  EXPECT_EQ(e.TextRotation(), 5);
  e.SetTextOption(7);
  e.TextOut(u"abc", 4, 5);
  e.TextRect({1, 2, 30, 40}, u"clipped", 4, 5);
  e.EndDoc();
  ASSERT_EQ(e.texts.size(), 2u);
  const TgtTextItem& t = e.texts[0];
  EXPECT_EQ(t.X, 4);
  EXPECT_EQ(t.Y, 5);
  EXPECT_EQ(t.Font.Name, "Courier");
  EXPECT_EQ(t.Font.Color, 0x0000FF);
  EXPECT_EQ(t.Brush.Style, TBrushStyle::bsClear);
  EXPECT_EQ(t.Angle, 5);
  EXPECT_EQ(t.TextOption, 7);
  EXPECT_EQ(t.FromMetafile, 0);
  EXPECT_EQ(t.Effects.TextRenderMode, TgtTextRenderMode::trmStroke);
  EXPECT_EQ(t.ClipFlag, 0);
  EXPECT_EQ(e.texts[1].ClipFlag, 1);
  EXPECT_EQ(e.texts[1].ClipRect, (TgtRectD{1, 2, 30, 40}));
  // EndDoc resets rotation and option.
  EXPECT_EQ(e.TextRotation(), 0);
  EXPECT_EQ(e.TextOption(), 0);
}

TEST(EngineDraw, FormattedTextAndTextAlongAngle) {
  ItemEngine e;
  e.BeginDoc();
  e.FormattedTextOut(u"<B>bold</b> plain <i><U>both</U></I><X>", 10, 20);
  e.EndDoc();
  ASSERT_EQ(e.Texts(), (std::vector<std::string>{"bold", " plain ", "both", "<X>"}));
  EXPECT_EQ(e.texts[0].Font.Style, fsBold);
  EXPECT_EQ(e.texts[1].Font.Style, 0);
  EXPECT_EQ(e.texts[2].Font.Style, fsItalic | fsUnderline);
  EXPECT_EQ(e.texts[3].Font.Style, 0);
  EXPECT_DOUBLE_EQ(e.texts[0].X, 10);
  EXPECT_DOUBLE_EQ(e.texts[0].Y, 20);
  TFont bold;
  bold.Style = fsBold;
  EXPECT_NEAR(e.texts[1].X, 10 + e.MeasureText(u"bold", bold).Width, 1e-9);
  EXPECT_GT(e.texts[2].X, e.texts[1].X);
  EXPECT_EQ(e.texts[3].Y, 20);
  EXPECT_EQ(e.MeasurementUnit(), TgtUnitType::muPixels);  // restored
  EXPECT_EQ(e.Font().Style, 0);

  ItemEngine a;
  a.BeginDoc();
  a.TextOutAlongAngle(u"ab", true, 100, 100);
  a.SetTextRotation(90);
  a.TextOutAlongAngle(u"cd", true, 100, 100);
  a.SetTextRotation(0);
  a.TextOutAlongAngle(u"ef", false, 100, 100);
  a.EndDoc();
  ASSERT_EQ(a.Texts(), (std::vector<std::string>{"a", "b", "c", "d", "e", "f"}));
  const double wa = a.MeasureText(u"a", TFont{}).Width;
  const double wc = a.MeasureText(u"c", TFont{}).Width;
  const double we = a.MeasureText(u"e", TFont{}).Width;
  EXPECT_NEAR(a.texts[1].X, 100 + wa, 1e-9);
  EXPECT_NEAR(a.texts[1].Y, 100, 1e-9);
  EXPECT_NEAR(a.texts[3].X, 100, 1e-9);
  EXPECT_NEAR(a.texts[3].Y, 100 - wc, 1e-9);  // upwards on the page
  EXPECT_EQ(a.texts[3].Angle, 90);
  EXPECT_NEAR(a.texts[5].X, 100 - we, 1e-9);
}

TEST(EngineDraw, TextBoxFrameAndAlignment) {
  ItemEngine e;
  e.BeginDoc();
  e.Frame().SetAll(true);
  e.Pen() = {0x112233, 2, TPenStyle::psSolid};
  e.TextBox({100, 100, 300, 200}, u"one two three four five six", tbaCenter | tbaBottom,
            tboWordWrap | tboClip);
  e.EndDoc();
  ASSERT_EQ(e.shapes.size(), 4u);
  for (const auto& s : e.shapes) {
    EXPECT_EQ(s.kind, "line");
    EXPECT_EQ(s.pen.Color, 0x112233);
  }
  EXPECT_EQ(e.shapes[0].v, (std::vector<double>{100, 100, 100, 200}));
  ASSERT_GE(e.texts.size(), 1u);
  double lastBottom = 0;
  for (const auto& t : e.texts) {
    const double w = e.MeasureText(t.Lines[0], t.Font).Width;
    EXPECT_NEAR(t.X + w / 2, 200, 1e-9);  // centred
    EXPECT_LE(w, 196);
    EXPECT_EQ(t.ClipFlag, 1);
    EXPECT_EQ(t.ClipRect, (TgtRectD{100, 100, 300, 200}));
    lastBottom = t.Y + e.MeasureText(t.Lines[0], t.Font).Height;
  }
  EXPECT_LE(lastBottom, 200);
  EXPECT_GT(lastBottom, 190);  // bottom-aligned
  std::string joined;
  for (const auto& s : e.Texts()) joined += (joined.empty() ? "" : " ") + s;
  EXPECT_EQ(joined, "one two three four five six");
}

TEST(EngineDraw, ParagraphsFlowAndPaginate) {
  ItemEngine e;
  e.Page().SetTopMargin(10);
  e.Page().SetBottomMargin(10);
  e.Page().SetLeftMargin(20);
  e.Page().SetRightMargin(20);
  e.BeginDoc();
  std::u16string text;
  for (int i = 0; i < 3000; ++i) text += u"word" + Utf8ToUtf16(std::to_string(i)) + u" ";
  text += u"\r\nlast line";
  const double used = e.ParagraphText(text);
  EXPECT_GT(e.PageCount(), 1);  // the paragraph overflowed onto new pages
  e.BeginPara();
  e.ParagraphText(u"second");
  e.EndPara();
  e.EndDoc();
  // Every word arrives once, in order, lines within the column and the page.
  std::vector<std::string> words;
  for (size_t i = 0; i < e.texts.size(); ++i) {
    const TgtTextItem& t = e.texts[i];
    EXPECT_GE(t.X, 20);
    EXPECT_LE(t.X + e.MeasureText(t.Lines[0], t.Font).Width, 796 + 1e-9);
    EXPECT_GE(t.Y, 10);
    EXPECT_LT(t.Y, 1046);
    std::string s = Utf16ToUtf8(t.Lines[0]);
    size_t p = 0;
    while (p < s.size()) {
      size_t q = s.find(' ', p);
      if (q == std::string::npos) q = s.size();
      if (q > p) words.push_back(s.substr(p, q - p));
      p = q + 1;
    }
  }
  ASSERT_EQ(words.size(), 3000u + 3u);
  for (int i = 0; i < 3000; ++i)
    EXPECT_EQ(words[static_cast<size_t>(i)], "word" + std::to_string(i));
  EXPECT_EQ(words[3000], "last");
  EXPECT_EQ(words[3002], "second");
  // Lines of one page go downwards; the second page starts again at the top.
  EXPECT_EQ(e.textPages.front(), 1);
  EXPECT_GT(e.textPages.back(), 1);
  size_t firstOnPage2 = 0;
  while (e.textPages[firstOnPage2] == 1) ++firstOnPage2;
  EXPECT_DOUBLE_EQ(e.texts[firstOnPage2].Y, 10);
  EXPECT_GT(e.texts[firstOnPage2 - 1].Y, 900);
  EXPECT_GT(used, 1000);

  // Without AutoPaginate the paragraph stays on its page.
  ItemEngine n;
  n.SetAutoPaginate(false);
  n.BeginDoc();
  n.ParagraphText(text);
  EXPECT_EQ(n.PageCount(), 1);
  n.EndDoc();

  // Right alignment puts every line's end at the column's right edge.
  ItemEngine r;
  r.TextFormatting().Alignment = TgtTextAlignment::taRight;
  r.BeginDoc();
  r.ParagraphText(u"short line");
  r.EndDoc();
  ASSERT_EQ(r.texts.size(), 1u);
  EXPECT_NEAR(r.texts[0].X + r.MeasureText(u"short line", TFont{}).Width, 816, 1e-9);
}

TEST(EngineDraw, TablesDrawCellsThroughTheShapeAndTextHooks) {
  ItemEngine e;
  e.TableSettings().ColumnWidths = {100, 150};
  e.TableSettings().CellPadding = 2;
  e.BeginDoc();
  e.BeginTable(10, 20, 2);
  e.NewRow();
  e.TableCellText(0, u"a");
  e.TableCellText(1, u"b");
  e.TableCellText(5, u"ignored");
  e.NewRow(30);
  e.TableCellText(1, u"c");
  e.EndTable();
  e.EndDoc();
  ASSERT_EQ(e.shapes.size(), 4u);
  const double lh = fonts::Realize(fonts::FontKey::From(TFont{})).Metrics().Height;
  EXPECT_EQ(e.shapes[0].v, (std::vector<double>{10, 20, 110, 20 + lh + 4}));
  EXPECT_EQ(e.shapes[1].v, (std::vector<double>{110, 20, 260, 20 + lh + 4}));
  EXPECT_EQ(e.shapes[3].v, (std::vector<double>{110, 20 + lh + 4, 260, 50 + lh + 4}));
  EXPECT_EQ(e.Texts(), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(e.texts[0].X, 12);
  EXPECT_EQ(e.texts[0].Y, 22);
  EXPECT_EQ(e.texts[2].ClipRect, (TgtRectD{110, 20 + lh + 4, 260, 50 + lh + 4}));

  // A table left open is closed by the next page.
  ItemEngine o;
  o.BeginDoc();
  o.BeginTable(0, 0, 1);
  o.TableCellText(0, u"x");
  o.NewPage();
  o.TableCellText(0, u"y");  // no table open any more
  o.EndDoc();
  EXPECT_EQ(o.Texts(), (std::vector<std::string>{"x"}));
}

TEST(EngineDraw, ImagesAndTheImageList) {
  ItemEngine e;
  TgtGraphic other;
  other.Kind = TgtGraphicKind::gkOther;
  EXPECT_EQ(e.AddImageAsResource(other), -1);  // no document: nothing, no error
  e.BeginDoc();
  try {
    e.AddImageAsResource(other);
    FAIL() << "no error raised";
  } catch (const EUnsupportedGraphics& err) {
    EXPECT_STREQ(err.what(), "Unknown Graphics format");
  }
  int handed = 0;
  e.OnErrorMessage = [&](TgtCustomDocumentEngine&, const EDocumentEngineError&) { ++handed; };
  EXPECT_EQ(e.AddImageAsResource(other), -1);
  EXPECT_EQ(handed, 1);

  // A 3 x 2 bitmap file: BITMAPFILEHEADER + BITMAPINFOHEADER.
  std::vector<uint8_t> bmp(54 + 24, 0);
  bmp[0] = 'B';
  bmp[1] = 'M';
  bmp[14] = 40;
  bmp[18] = 3;
  bmp[22] = 0xFE;  // height -2: a top-down bitmap
  bmp[23] = bmp[24] = bmp[25] = 0xFF;
  TgtGraphic g = TgtGraphic::FromBitmapFile(bmp);
  EXPECT_EQ(g.Width, 3);
  EXPECT_EQ(g.Height, 2);
  e.Preferences().SetUseImagesAsResources(false);
  EXPECT_EQ(e.AddImageAsResource(g), 0);
  EXPECT_TRUE(e.Preferences().UseImagesAsResources());
  EXPECT_EQ(e.AddImageToList(bmp), 1);
  ASSERT_NE(e.ImageAt(1), nullptr);
  EXPECT_EQ(e.ImageAt(1)->Kind, TgtGraphicKind::gkBitmap);
  EXPECT_EQ(e.ImageAt(7), nullptr);
  e.DrawImage(TgtRectD{40, 30, 20, 10}, 0);
  e.DrawImage(TgtRectD{0, 0, 1, 1}, 99);  // no such image
  e.DrawImage(5, 6, g);
  e.EndDoc();
  ASSERT_EQ(e.images.size(), 2u);
  EXPECT_EQ(e.images[0].X, 20);
  EXPECT_EQ(e.images[0].Y, 10);
  EXPECT_EQ(e.images[0].Width, 20);
  EXPECT_EQ(e.images[0].Height, 20);
  EXPECT_EQ(e.images[0].ImageIndex, 0);
  EXPECT_EQ(e.images[1].Width, 3);  // at the source's 96 DPI
  EXPECT_EQ(e.images[1].X, 5);

  // Damaged headers give no size rather than reading past the data.
  EXPECT_EQ(TgtGraphic::FromBitmapFile({'B', 'M', 1}).Width, 0);
}

TEST(EngineDraw, RenderItemsDispatchAndSkips) {
  ItemEngine e;
  e.BeginDoc();
  TgtItemList& list = e.CurrentItemList();
  list.Add<TgtShapeItem>();  // no points: skipped
  auto& shortArc = list.Add<TgtShapeItem>();
  shortArc.Kind = skArc;  // too few points for an arc: skipped
  shortArc.AddPoint(1, 1);
  auto& odd = list.Add<TgtShapeItem>();
  odd.Kind = 42;
  odd.AddPoint(1, 1);
  list.Add<TgtPolyShapeItem>();  // empty: skipped
  auto& ps = list.Add<TgtPolyShapeItem>();
  ps.AddFigure().Kind = skPolygon;
  ps.Figures[0].AddPoint(0, 0);
  ps.AddFigure().Kind = skPolygon;
  auto& pl = list.Add<TgtPolyShapeItem>();
  pl.AddFigure().Kind = skPolyLine;
  auto& wrong = list.Add<TgtPolyShapeItem>();
  wrong.AddFigure().Kind = skLine;  // neither polygon nor polyline: skipped
  e.EndDoc();
  EXPECT_EQ(e.log,
            (std::vector<std::string>{"page 1", "other", "polyshape closed", "polyshape open"}));
}

TEST(EngineDraw, PageBorderAndTOC) {
  ItemEngine e;
  e.Page().SetLeftMargin(10);
  e.Page().SetTopMargin(20);
  e.PageBorder().DrawLeft = true;
  e.PageBorder().DrawBottom = true;
  e.PageBorder().Width = 4;
  e.PageBorder().Color = 0x00AA00;
  EXPECT_EQ(e.AddTOCItem(u"x", -1, 0, 0, 1), -1);  // no document
  e.BeginDoc();
  EXPECT_EQ(e.AddTOCItem(u"first", -1, 0, 0, 1), 0);
  EXPECT_EQ(e.AddTOCItem(u"child", 0, 1, 2, 1), 1);
  EXPECT_EQ(e.AddTOCItem(u"bad parent", 2, 0, 0, 1), -1);
  EXPECT_EQ(e.AddTOCItem(u"bad page", -1, 0, 0, 2), -1);
  EXPECT_EQ(e.AddTOCItem(u"bad page", -1, 0, 0, 0), -1);
  EXPECT_EQ(e.AddTOCLink(u"web", 1, u"www.example.com"), 2);
  EXPECT_EQ(e.AddTOCLink(u"bad", -2, u"x"), -1);
  ASSERT_EQ(e.TOCItems().size(), 3u);
  EXPECT_EQ(e.TOCItems()[1].Parent, 0);
  EXPECT_EQ(e.TOCItems()[1].X, 11);  // area origin added
  EXPECT_EQ(e.TOCItems()[2].Link, u"www.example.com");
  e.EndDoc();
  EXPECT_TRUE(e.TOCItems().empty());
  ASSERT_EQ(e.shapes.size(), 2u);
  EXPECT_EQ(e.shapes[0].v, (std::vector<double>{10, 20, 10, 1056}));
  EXPECT_EQ(e.shapes[1].v, (std::vector<double>{10, 1056, 816, 1056}));
  EXPECT_EQ(e.shapes[1].pen, (TPen{0x00AA00, 4, TPenStyle::psSolid}));
}

TEST(EngineDraw, SortItemsOrdersTextTopToBottomLeftToRight) {
  TgtCustomDocumentEngine e;
  TgtItemList list;
  auto text = [&](double x, double y) -> TgtTextItem& {
    auto& t = list.Add<TgtTextItem>();
    t.X = x;
    t.Y = y;
    return t;
  };
  text(50, 10);
  auto& shape = list.Add<TgtShapeItem>();
  text(10, 10);
  text(0, 5);
  e.SortItems(list);
  EXPECT_EQ(static_cast<const TgtTextItem&>(list[0]).X, 0);
  EXPECT_EQ(&list[1], &shape);  // other items keep their places
  EXPECT_EQ(static_cast<const TgtTextItem&>(list[2]).X, 10);
  EXPECT_EQ(static_cast<const TgtTextItem&>(list[3]).X, 50);
}

TEST(EngineDraw, MeasureText) {
  TgtCustomDocumentEngine e;
  TFont f;
  const fonts::Font& real = fonts::Realize(fonts::FontKey::From(f));
  const fonts::TextExtent ab = e.MeasureText(u"AB", f);
  EXPECT_EQ(ab.Width, real.Extent(u"AB").Width);
  EXPECT_GT(ab.Width, 0);
  const fonts::TextExtent crlf = e.MeasureText(u"AB\r\n", f);
  EXPECT_EQ(crlf.Width, ab.Width);
  EXPECT_EQ(crlf.Height, ab.Height);
  const fonts::TextExtent empty = e.MeasureText(u"", f);
  EXPECT_EQ(empty.Width, 1);
  EXPECT_EQ(empty.Height, real.Extent(u" ").Height);
  EXPECT_GT(e.MeasureText(u"AB\n", f).Width, 0);  // only CR LF is dropped
}

TEST(EngineDraw, FindLinkWebMailAndFilePaths) {
  TgtCustomDocumentEngine e;
  TgtLinkKind kind;
  size_t start = 0;
  EXPECT_EQ(e.FindLink(u"see www.Example.com/a?b=1&c, now", start, &kind),
            u"www.Example.com/a?b=1&c");
  EXPECT_EQ(start, 4u);
  EXPECT_EQ(kind, TgtLinkKind::lkWeb);

  start = 0;
  EXPECT_EQ(e.FindLink(u"Go to HTTP://host.org:80/x_y!", start, &kind), u"HTTP://host.org:80/x_y");
  EXPECT_EQ(start, 6u);
  start = 0;
  EXPECT_EQ(e.FindLink(u"Go to https://host.org/x (secure)", start, &kind), u"https://host.org/x");
  EXPECT_EQ(start, 6u);
  EXPECT_EQ(kind, TgtLinkKind::lkWeb);

  start = 0;
  EXPECT_EQ(e.FindLink(u"mail: john.doe-x@example.com; thanks", start, &kind),
            u"john.doe-x@example.com");
  EXPECT_EQ(start, 6u);
  EXPECT_EQ(kind, TgtLinkKind::lkMail);

  // An "@" without a "." after it is no link.
  start = 0;
  EXPECT_EQ(e.FindLink(u"user@localhost", start, &kind), u"");
  EXPECT_EQ(kind, TgtLinkKind::lkNone);
  EXPECT_EQ(start, 0u);

  // The earliest start wins.
  start = 0;
  EXPECT_EQ(e.FindLink(u"a@b.com then www.x.org", start), u"a@b.com");
  start = 0;
  EXPECT_EQ(e.FindLink(u"www.x.org then a@b.com", start), u"www.x.org");

  start = 0;
  EXPECT_EQ(e.FindLink(u"open C:\\My Docs\\a b.txt end", start, &kind), u"C:\\My Docs\\a b.txt");
  EXPECT_EQ(kind, TgtLinkKind::lkFile);
  EXPECT_EQ(start, 5u);
  start = 0;
  EXPECT_EQ(e.FindLink(u"d:\\boards\\top", start), u"d:\\boards\\top");  // to the end

  // A colon at the very start has no drive letter.
  start = 0;
  EXPECT_EQ(e.FindLink(u":\\x.txt", start), u"");

  // Scanning on from a start position, as a caller walks a line.
  const std::u16string line = u"www.a.org and www.b.org";
  std::vector<std::u16string> found;
  for (size_t p = 0;;) {
    std::u16string link = e.FindLink(line, p);
    if (link.empty()) break;
    found.push_back(link);
    p += link.size();
  }
  EXPECT_EQ(found, (std::vector<std::u16string>{u"www.a.org", u"www.b.org"}));
  start = 100;
  EXPECT_EQ(e.FindLink(line, start), u"");
  EXPECT_EQ(start, 100u);
}

}  // namespace
}  // namespace pv
