#include "docengine/items.h"

#include <gtest/gtest.h>

#include <string>

namespace pv {
namespace {

// Counts live instances, to see that the list destroys what it made.
int g_live = 0;
class CountedItem : public TgtDocumentItem {
 public:
  static bool IsClass(TgtItemClass c) { return c == TgtItemClass::icOther; }
  CountedItem() { ++g_live; }
  ~CountedItem() override { --g_live; }
  std::string Payload = std::string(100, 'x');  // heap storage the destructor must free
};

TEST(Items, DefaultsOfEveryClass) {
  TgtItemList list;
  auto& shape = list.Add<TgtShapeItem>();
  EXPECT_EQ(shape.ItemClass(), TgtItemClass::icShape);
  EXPECT_TRUE(shape.HasBrush);
  EXPECT_EQ(shape.Pen.Width, 1);
  EXPECT_EQ(shape.Pen.Style, TPenStyle::psSolid);
  EXPECT_EQ(shape.PointCount(), 0);

  auto& text = list.Add<TgtTextItem>();
  EXPECT_EQ(text.ItemClass(), TgtItemClass::icText);
  EXPECT_EQ(text.Effects.TextRenderMode, TgtTextRenderMode::trmFill);
  EXPECT_EQ(text.Effects.TextRise, TgtTextRise::trNormal);
  EXPECT_EQ(text.ClipFlag, 0);
  EXPECT_EQ(text.FromMetafile, 0);
  EXPECT_EQ(text.TextOption, 0);

  auto& box = list.Add<TgtTextBoxItem>();
  EXPECT_EQ(box.ItemClass(), TgtItemClass::icTextBox);
  EXPECT_FALSE(box.Frame.Any());

  auto& image = list.Add<TgtImageItem>();
  EXPECT_EQ(image.ImageSettings.ImagePixelFormat, TgtPixelFormat::pf24bit);
  EXPECT_EQ(image.ImageSettings.JPEGQuality, 100);
  EXPECT_EQ(image.ImageIndex, -1);

  auto& stream = list.Add<TgtImageStream>();
  EXPECT_EQ(stream.ItemClass(), TgtItemClass::icImageStream);
  auto& clip = list.Add<TgtClipItem>();
  EXPECT_EQ(clip.Restore, 0);
  EXPECT_EQ(clip.RectCount(), 0);
  EXPECT_EQ(list.Add<TgtEOFItem>().EndFlag, 0);
  EXPECT_EQ(list.Add<TgtPathItem>().Operation, poBeginPath);
  EXPECT_TRUE(list.Add<TgtPolyShapeItem>().Figures.empty());
  EXPECT_EQ(list.Add<TgtPolyPolygonItem>().FigureCount, 0);
  EXPECT_EQ(list.Add<TgtPolyDrawItem>().PointCount(), 0);
  EXPECT_EQ(list.Add<TgtParagraphItem>().ItemClass(), TgtItemClass::icParagraph);
  EXPECT_EQ(list.Add<TgtTableItem>().ItemClass(), TgtItemClass::icTable);
  EXPECT_EQ(list.size(), 13u);
}

TEST(Items, CastsFollowTheClassTree) {
  TgtItemList list;
  TgtDocumentItem& box = list.Add<TgtTextBoxItem>();
  TgtDocumentItem& text = list.Add<TgtTextItem>();
  TgtDocumentItem& stream = list.Add<TgtImageStream>();
  TgtDocumentItem& shape = list.Add<TgtShapeItem>();
  EXPECT_NE(ItemCast<TgtTextItem>(&box), nullptr);  // a text box is a text item
  EXPECT_NE(ItemCast<TgtTextBoxItem>(&box), nullptr);
  EXPECT_EQ(ItemCast<TgtTextBoxItem>(&text), nullptr);
  EXPECT_NE(ItemCast<TgtImageItem>(&stream), nullptr);  // a stream is an image item
  EXPECT_EQ(ItemCast<TgtImageStream>(&list.Add<TgtImageItem>()), nullptr);
  EXPECT_EQ(ItemCast<TgtTextItem>(&shape), nullptr);
  EXPECT_EQ(ItemCast<TgtShapeItem>(static_cast<TgtDocumentItem*>(nullptr)), nullptr);
  const TgtDocumentItem& c = shape;
  EXPECT_NE(ItemCast<TgtShapeItem>(&c), nullptr);
}

TEST(Items, ShapePointsAndFieldsAsProduced) {
  TgtItemList list;
  auto& rect = list.Add<TgtShapeItem>();
  rect.Kind = skRectangle;
  rect.AddPoint(50, 40);  // right/bottom first: the corner order stays as recorded
  rect.AddPoint(10, 20);
  EXPECT_EQ(rect.PointCount(), 2);
  EXPECT_EQ(rect.Points[0], (TgtPoint{50, 40}));
  EXPECT_EQ(rect.Points[1], (TgtPoint{10, 20}));

  auto& poly = list.Add<TgtShapeItem>();
  poly.Kind = skPolygon;
  for (int i = 0; i < 100; ++i) poly.AddPoint(i, -i);
  EXPECT_EQ(poly.PointCount(), 100);
  EXPECT_EQ(poly.Points[99], (TgtPoint{99, -99}));

  auto& unfilled = list.Add<TgtShapeItem>();
  unfilled.HasBrush = false;
  EXPECT_EQ(unfilled.BrushOrNull(), nullptr);
  EXPECT_EQ(rect.BrushOrNull(), &rect.Brush);

  // Text clip: clearing zeroes the rectangle.
  auto& text = list.Add<TgtTextItem>();
  text.SetClip({1, 2, 3, 4});
  EXPECT_EQ(text.ClipFlag, 1);
  EXPECT_EQ(text.ClipRect, (TgtRectD{1, 2, 3, 4}));
  text.ClearClip();
  EXPECT_EQ(text.ClipFlag, 0);
  EXPECT_EQ(text.ClipRect, TgtRectD{});

  // Image rectangle normalised from corners in any order.
  auto& image = list.Add<TgtImageItem>();
  image.SetRect(30, 80, 10, 20);
  EXPECT_EQ(image.X, 10);
  EXPECT_EQ(image.Y, 20);
  EXPECT_EQ(image.Width, 20);
  EXPECT_EQ(image.Height, 60);
  EXPECT_EQ(image.Rect, (TgtRectD{10, 20, 30, 80}));

  // The pens, brushes and fonts are the item's own copies.
  TPen pen{0x123456, 7, TPenStyle::psDash};
  rect.Pen = pen;
  pen.Width = 1;
  EXPECT_EQ(rect.Pen.Width, 7);

  auto& ps = list.Add<TgtPolyShapeItem>();
  auto& f = ps.AddFigure();
  f.Kind = skPolyLine;
  f.AddPoint(1, 1);
  ps.AddFigure().Kind = skPolyLine;
  EXPECT_EQ(ps.Figures.size(), 2u);
  EXPECT_EQ(ps.Figures[0].PointCount(), 1);
}

TEST(Items, ListKeepsOrderAndDestroysItsItems) {
  g_live = 0;
  {
    TgtItemList list;
    for (int i = 0; i < 20000; ++i) {
      if (i % 2) {
        list.Add<CountedItem>();
      } else {
        auto& s = list.Add<TgtShapeItem>();
        s.AddPoint(i, i);
        for (int k = 0; k < (i % 10); ++k) s.AddPoint(k, k);  // some spill to the heap
      }
    }
    EXPECT_EQ(g_live, 10000);
    ASSERT_EQ(list.size(), 20000u);
    size_t n = 0;
    for (TgtDocumentItem& item : list) {
      if (n % 2 == 0) {
        auto* s = ItemCast<TgtShapeItem>(&item);
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->Points[0].X, static_cast<double>(n));
      } else {
        EXPECT_EQ(item.ItemClass(), TgtItemClass::icOther);
      }
      ++n;
    }
    EXPECT_EQ(n, 20000u);
    EXPECT_EQ(&list.back(), &list[19999]);

    TgtItemList moved(std::move(list));
    EXPECT_EQ(moved.size(), 20000u);
    EXPECT_TRUE(list.empty());  // NOLINT: moved-from state is defined as empty
    moved.Clear();
    EXPECT_EQ(g_live, 0);
    EXPECT_TRUE(moved.empty());
    moved.Add<CountedItem>();  // usable again after Clear
    EXPECT_EQ(g_live, 1);
  }
  EXPECT_EQ(g_live, 0);
}

TEST(Items, BandPageAndEngineState) {
  TgtPageSettings page;
  page.SetUnitFactor(96);
  page.SetPaperSize(TgtPaperSize::Letter);
  TgtPageItem item(nullptr, page);
  // The page keeps its own copy in screen pixels.
  EXPECT_DOUBLE_EQ(item.Settings.Width(), 816);
  page.SetPaperSize(TgtPaperSize::Tabloid);
  EXPECT_DOUBLE_EQ(item.Settings.Width(), 816);
  EXPECT_TRUE(item.Items.empty());
  EXPECT_EQ(item.FlowY, -1);

  TgtEngineState st;
  st.Pen.Width = 3;
  TgtEngineState copy = st;
  EXPECT_EQ(copy.Pen.Width, 3);
  EXPECT_DOUBLE_EQ(copy.Page.UnitFactor(), 1.0);
}

TEST(Items, TableGeometry) {
  TgtTableItem t;
  t.Settings.ColumnWidths = {10, 20};
  t.Settings.ColumnWidth = 5;
  EXPECT_EQ(t.ColumnWidth(0), 10);
  EXPECT_EQ(t.ColumnWidth(1), 20);
  EXPECT_EQ(t.ColumnWidth(2), 5);
  EXPECT_EQ(t.Width(3), 35);
  t.Rows.push_back({12, {}});
  t.Rows.push_back({8, {}});
  EXPECT_EQ(t.TotalHeight(), 20);
}

}  // namespace
}  // namespace pv
