// The recording canvas: which records each canvas call yields, with which fields, in which
// order.
#include "docengine/metafile_canvas.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <vector>

#include "docengine/emf.h"
#include "docengine/metafile.h"
#include "platform/errors.h"
#include "platform/fonts.h"
#include "support/docengine_support.h"

namespace {

using namespace pv;
using pvtest::LTRB;
using pvtest::XY;

struct Rec {
  uint32_t type;
  std::vector<uint8_t> bytes;
  template <class T>
  T as() const {
    T v{};
    EXPECT_GE(bytes.size(), sizeof(T));
    std::memcpy(&v, bytes.data(), std::min(sizeof(T), bytes.size()));
    return v;
  }
};

std::vector<Rec> Records(const TMetafile& mf) {
  std::vector<Rec> out;
  TEmfEnumerator e = mf.Records();
  for (const TEmfRecord& r : e) out.push_back({r.Type, {r.Data, r.Data + r.Size}});
  EXPECT_FALSE(e.Malformed());
  return out;
}

std::vector<uint32_t> Types(const std::vector<Rec>& recs, size_t from = 0, size_t to = SIZE_MAX) {
  std::vector<uint32_t> t;
  for (size_t i = from; i < recs.size() && i < to; ++i) t.push_back(recs[i].type);
  return t;
}

// The records between the header and EMR_EOF.
std::vector<Rec> Body(const TMetafile& mf) {
  std::vector<Rec> r = Records(mf);
  EXPECT_GE(r.size(), 2u);
  EXPECT_EQ(r.front().type, EMR_HEADER);
  EXPECT_EQ(r.back().type, EMR_EOF);
  return {r.begin() + 1, r.end() - 1};
}

uint32_t Index(const Rec& r) {
  return r.as<EMRSELECTOBJECT>().ihObject;
}
uint32_t Mode(const Rec& r) {
  return r.as<EMRSETBKMODE>().iMode;
}
uint32_t Color(const Rec& r) {
  return r.as<EMRSETBKCOLOR>().crColor;
}

TEST(MetafileCanvas, EmptyRecordingHasHeaderAndEof) {
  TMetafile mf;
  mf.SetWidth(816);
  mf.SetHeight(1056);
  {
    TMetafileCanvas c(mf);
    EXPECT_TRUE(mf.Bytes().empty());  // the recording lands only when it is complete
  }
  std::vector<Rec> r = Records(mf);
  ASSERT_EQ(Types(r), (std::vector<uint32_t>{EMR_HEADER, EMR_EOF}));
  auto h = r[0].as<ENHMETAHEADER_EXT>();
  EXPECT_EQ(h.base.dSignature, 0x464D4520u);
  EXPECT_EQ(h.base.nVersion, 0x10000u);
  EXPECT_EQ(h.base.nBytes, mf.Bytes().size());
  EXPECT_EQ(h.base.nRecords, 2u);
  EXPECT_EQ(h.base.nHandles, 1u);
  EXPECT_EQ(h.base.nPalEntries, 0u);
  EXPECT_EQ(h.base.rclBounds.right, -1);  // nothing drawn
  EXPECT_EQ(h.base.rclFrame.left, 0);
  EXPECT_EQ(h.base.rclFrame.right, 21590);  // 8.5 inch in 0.01 mm
  EXPECT_EQ(h.base.rclFrame.bottom, 27940);
  // The reference device has 96 pixels per inch in both directions.
  EXPECT_EQ(h.base.szlDevice.cx * 254, h.base.szlMillimeters.cx * 10 * 96);
  EXPECT_EQ(h.base.szlDevice.cy * 254, h.base.szlMillimeters.cy * 10 * 96);
  EXPECT_EQ(h.szlMicrometers.cx, h.base.szlMillimeters.cx * 1000);
  auto eof = r[1].as<EMREOF>();
  EXPECT_EQ(eof.emr.nSize, 20u);
  EXPECT_EQ(eof.nPalEntries, 0u);
  EXPECT_EQ(eof.nSizeLast, 20u);
  EXPECT_TRUE(TMetafile::IsWellFormed(mf.Bytes()));

  // A new canvas on the same metafile starts a new recording.
  {
    TMetafileCanvas c(mf);
    c.LineTo(1, 1);
  }
  EXPECT_EQ(Records(mf)[0].as<ENHMETAHEADER>().nRecords, Records(mf).size());
  EXPECT_EQ(Records(mf).size(), 2u + 8);  // pen (3), brush (2 + background mode, colour), line
}

TEST(MetafileCanvas, FillRectBringsPenThenBrushAndRecordsPatcopy) {
  TMetafile mf;
  TMetafileCanvas c(mf);
  c.Pen.Color = 0x0000FF;
  c.Pen.Width = 7;
  c.Brush.Color = 0x00FF00;
  c.FillRect({10, 20, 110, 70});
  c.FillRect({0, 0, 5, 5});  // same tools: no object records
  c.Close();
  std::vector<Rec> b = Body(mf);
  ASSERT_EQ(Types(b),
            (std::vector<uint32_t>{EMR_CREATEPEN, EMR_SELECTOBJECT, EMR_SETROP2,
                                   EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_SETBKMODE,
                                   EMR_SETBKCOLOR, EMR_BITBLT, EMR_BITBLT}));
  auto pen = b[0].as<EMRCREATEPEN>();
  EXPECT_EQ(pen.ihPen, 1u);
  EXPECT_EQ(pen.lopn.lopnStyle, PS_SOLID);
  EXPECT_EQ(pen.lopn.lopnWidth.x, 7);
  EXPECT_EQ(pen.lopn.lopnColor, 0x0000FFu);
  EXPECT_EQ(Index(b[1]), 1u);
  EXPECT_EQ(Mode(b[2]), R2_COPYPEN);
  auto brush = b[3].as<EMRCREATEBRUSHINDIRECT>();
  EXPECT_EQ(brush.ihBrush, 2u);
  EXPECT_EQ(brush.lb.lbStyle, BS_SOLID);
  EXPECT_EQ(brush.lb.lbColor, 0x00FF00u);
  EXPECT_EQ(Index(b[4]), 2u);
  EXPECT_EQ(Mode(b[5]), OPAQUE);
  EXPECT_EQ(Color(b[6]), 0x00FF00u);
  auto blt = b[7].as<EMRBITBLT>();
  EXPECT_EQ(blt.emr.nSize, 100u);
  EXPECT_EQ(blt.dwRop, PATCOPY);
  EXPECT_EQ(LTRB(blt.rclBounds), (std::vector<int32_t>{10, 20, 109, 69}));
  EXPECT_EQ(blt.xDest, 10);
  EXPECT_EQ(blt.yDest, 20);
  EXPECT_EQ(blt.cxDest, 100);
  EXPECT_EQ(blt.cyDest, 50);
  EXPECT_EQ(blt.cbBmiSrc, 0u);
  EXPECT_EQ(blt.cbBitsSrc, 0u);
  TEmfRecord view{b[7].type, static_cast<uint32_t>(b[7].bytes.size()), b[7].bytes.data()};
  std::span<const uint8_t> info, bits;
  EXPECT_FALSE(EmfSourceBitmap(view, info, bits));
  auto h = Records(mf)[0].as<ENHMETAHEADER>();
  EXPECT_EQ(h.nHandles, 3u);
  EXPECT_EQ(LTRB(h.rclBounds), (std::vector<int32_t>{0, 0, 109, 69}));
}

TEST(MetafileCanvas, ChangedToolsReplaceObjectsAndReuseHandles) {
  TMetafile mf;
  TMetafileCanvas c(mf);
  c.LineTo(1, 1);          // pen 1, brush 2
  c.Pen.Color = 0x123456;  // new pen at the lowest free handle: 3
  c.LineTo(2, 2);
  c.Pen.Width = 3;  // handle 1 is free again
  c.LineTo(3, 3);
  c.Brush.Color = 0x0000FF;  // brush: lowest free is 3
  c.Ellipse(0, 0, 4, 4);
  c.Close();
  std::vector<Rec> b = Body(mf);
  ASSERT_EQ(Types(b, 8), (std::vector<uint32_t>{
                             EMR_CREATEPEN, EMR_SELECTOBJECT, EMR_DELETEOBJECT, EMR_SETROP2,
                             EMR_LINETO, EMR_CREATEPEN, EMR_SELECTOBJECT, EMR_DELETEOBJECT,
                             EMR_SETROP2, EMR_LINETO, EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT,
                             EMR_DELETEOBJECT, EMR_SETBKCOLOR, EMR_ELLIPSE}));
  EXPECT_EQ(b[8].as<EMRCREATEPEN>().ihPen, 3u);
  EXPECT_EQ(b[8].as<EMRCREATEPEN>().lopn.lopnColor, 0x123456u);
  EXPECT_EQ(Index(b[9]), 3u);
  EXPECT_EQ(Index(b[10]), 1u);  // the replaced pen, deleted after the new one is selected
  EXPECT_EQ(b[13].as<EMRCREATEPEN>().ihPen, 1u);
  EXPECT_EQ(b[13].as<EMRCREATEPEN>().lopn.lopnWidth.x, 3);
  EXPECT_EQ(Index(b[15]), 3u);
  EXPECT_EQ(b[18].as<EMRCREATEBRUSHINDIRECT>().ihBrush, 3u);
  EXPECT_EQ(Index(b[20]), 2u);
  EXPECT_EQ(Color(b[21]), 0x0000FFu);  // still solid: the mode is not repeated
  EXPECT_EQ(Records(mf)[0].as<ENHMETAHEADER>().nHandles, 4u);
}

TEST(MetafileCanvas, PenStyles) {
  const std::pair<TPenStyle, uint32_t> styles[] = {
      {TPenStyle::psDash, PS_DASH},       {TPenStyle::psDot, PS_DOT},
      {TPenStyle::psDashDot, PS_DASHDOT}, {TPenStyle::psDashDotDot, PS_DASHDOTDOT},
      {TPenStyle::psClear, PS_NULL},      {TPenStyle::psInsideFrame, PS_INSIDEFRAME},
      {TPenStyle::psUserStyle, PS_SOLID}};
  for (auto [style, ps] : styles) {
    TMetafile mf;
    {
      TMetafileCanvas c(mf);
      c.Pen.Style = style;
      c.LineTo(1, 1);
    }
    std::vector<Rec> b = Body(mf);
    ASSERT_EQ(b[0].type, EMR_CREATEPEN);
    EXPECT_EQ(b[0].as<EMRCREATEPEN>().lopn.lopnStyle, ps);
  }
  TMetafile mf;
  {
    TMetafileCanvas c(mf);
    c.Pen.Style = TPenStyle::psAlternate;
    c.Pen.Color = 0x00ABCD;
    c.LineTo(1, 1);
  }
  std::vector<Rec> b = Body(mf);
  ASSERT_EQ(Types(b, 0, 3),
            (std::vector<uint32_t>{EMR_EXTCREATEPEN, EMR_SELECTOBJECT, EMR_SETROP2}));
  auto x = b[0].as<EMREXTCREATEPEN>();
  EXPECT_EQ(x.emr.nSize, 52u);
  EXPECT_EQ(x.ihPen, 1u);
  EXPECT_EQ(x.elp.elpPenStyle & PS_STYLE_MASK, PS_ALTERNATE);
  EXPECT_EQ(x.elp.elpWidth, 1u);
  EXPECT_EQ(x.elp.elpColor, 0x00ABCDu);
}

TEST(MetafileCanvas, BrushStylesSetBackgroundModeAndColour) {
  TMetafile mf;
  TMetafileCanvas c(mf);
  c.Brush.Color = 0x102030;
  c.Brush.Style = TBrushStyle::bsDiagCross;
  c.FillRect({0, 0, 1, 1});
  c.Brush.Style = TBrushStyle::bsSolid;
  c.FillRect({0, 0, 1, 1});
  c.Brush.Style = TBrushStyle::bsClear;
  c.FillRect({0, 0, 1, 1});
  c.Close();
  std::vector<Rec> b = Body(mf);
  ASSERT_EQ(Types(b, 3),
            (std::vector<uint32_t>{
                EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_SETBKMODE, EMR_SETBKCOLOR,
                EMR_BITBLT, EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_DELETEOBJECT,
                EMR_SETBKMODE, EMR_SETBKCOLOR, EMR_BITBLT, EMR_CREATEBRUSHINDIRECT,
                EMR_SELECTOBJECT, EMR_DELETEOBJECT, EMR_SETBKMODE, EMR_SETBKCOLOR, EMR_BITBLT}));
  auto hatched = b[3].as<EMRCREATEBRUSHINDIRECT>();
  EXPECT_EQ(hatched.lb.lbStyle, BS_HATCHED);
  EXPECT_EQ(hatched.lb.lbHatch, HS_DIAGCROSS);
  EXPECT_EQ(hatched.lb.lbColor, 0x102030u);
  EXPECT_EQ(Mode(b[5]), TRANSPARENT);
  EXPECT_EQ(Color(b[6]), 0xEFDFCFu);  // the complement
  EXPECT_EQ(b[8].as<EMRCREATEBRUSHINDIRECT>().lb.lbStyle, BS_SOLID);
  EXPECT_EQ(Mode(b[11]), OPAQUE);
  EXPECT_EQ(Color(b[12]), 0x102030u);
  EXPECT_EQ(b[14].as<EMRCREATEBRUSHINDIRECT>().lb.lbStyle, BS_NULL);
  EXPECT_EQ(Mode(b[17]), TRANSPARENT);
  EXPECT_EQ(Color(b[18]), 0xEFDFCFu);

  // Every hatch style maps to its hatch number.
  const std::pair<TBrushStyle, uint32_t> hatches[] = {{TBrushStyle::bsHorizontal, HS_HORIZONTAL},
                                                      {TBrushStyle::bsVertical, HS_VERTICAL},
                                                      {TBrushStyle::bsFDiagonal, HS_FDIAGONAL},
                                                      {TBrushStyle::bsBDiagonal, HS_BDIAGONAL},
                                                      {TBrushStyle::bsCross, HS_CROSS}};
  for (auto [style, hs] : hatches) {
    TMetafile m2;
    {
      TMetafileCanvas c2(m2);
      c2.Brush.Style = style;
      c2.FillRect({0, 0, 1, 1});
    }
    auto br = Body(m2)[3].as<EMRCREATEBRUSHINDIRECT>();
    EXPECT_EQ(br.lb.lbStyle, BS_HATCHED);
    EXPECT_EQ(br.lb.lbHatch, hs);
  }
}

TEST(MetafileCanvas, ShapeRecordsCarryTheirGeometry) {
  TMetafile mf;
  TMetafileCanvas c(mf);
  c.Pen.Width = 4;
  c.MoveTo(100, 200);  // no tools for a mere move
  c.LineTo(300, 400);
  c.Ellipse(10, 20, 30, 40);
  c.Arc(1, 2, 50, 60, 7, 8, 9, 10);
  c.Close();
  std::vector<Rec> b = Body(mf);
  ASSERT_EQ(Types(b),
            (std::vector<uint32_t>{EMR_MOVETOEX, EMR_CREATEPEN, EMR_SELECTOBJECT, EMR_SETROP2,
                                   EMR_CREATEBRUSHINDIRECT, EMR_SELECTOBJECT, EMR_SETBKMODE,
                                   EMR_SETBKCOLOR, EMR_LINETO, EMR_ELLIPSE, EMR_ARC}));
  EXPECT_EQ(XY(b[0].as<EMRMOVETOEX>().ptl), (std::vector<int32_t>{100, 200}));
  EXPECT_EQ(XY(b[8].as<EMRLINETO>().ptl), (std::vector<int32_t>{300, 400}));
  auto e = b[9].as<EMRELLIPSE>();
  EXPECT_EQ(e.emr.nSize, 24u);
  EXPECT_EQ(LTRB(e.rclBox), (std::vector<int32_t>{10, 20, 30, 40}));
  auto a = b[10].as<EMRARC>();
  EXPECT_EQ(a.emr.nSize, 40u);
  EXPECT_EQ(a.rclBox.right, 50);
  EXPECT_EQ(a.rclBox.bottom, 60);
  EXPECT_EQ(XY(a.ptlStart), (std::vector<int32_t>{7, 8}));
  EXPECT_EQ(XY(a.ptlEnd), (std::vector<int32_t>{9, 10}));
  // The header bounds hold everything drawn, widened by the pen.
  auto h = Records(mf)[0].as<ENHMETAHEADER>();
  EXPECT_EQ(LTRB(h.rclBounds), (std::vector<int32_t>{1 - 2, 2 - 2, 300 + 1, 400 + 1}));
}

TEST(MetafileCanvas, PolygonIs16BitWhenEveryPointFits) {
  TMetafile mf;
  TMetafileCanvas c(mf);
  const TPoint small[3] = {{0, 0}, {32767, -32768}, {-5, 100}};
  const TPoint large[3] = {{0, 0}, {32768, 0}, {10, 20}};
  const TPoint negative[2] = {{-32769, 1}, {2, 3}};
  c.Polygon(small, 3);
  c.Polygon(large, 3);
  c.Polygon(negative, 2);
  c.Polygon(small, 0);  // nothing to draw
  c.Close();
  std::vector<Rec> b = Body(mf);
  ASSERT_EQ(Types(b, 7), (std::vector<uint32_t>{EMR_POLYGON16, EMR_POLYGON, EMR_POLYGON}));
  std::vector<POINTL> p;
  TEmfRecord v{b[7].type, static_cast<uint32_t>(b[7].bytes.size()), b[7].bytes.data()};
  EXPECT_EQ(v.Size, 28u + 3 * 4);
  ASSERT_TRUE(EmfPolyPoints(v, p));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(XY(p[1]), (std::vector<int32_t>{32767, -32768}));
  EXPECT_EQ(XY(p[2]), (std::vector<int32_t>{-5, 100}));
  auto head = b[7].as<EMRPOLYLINE16>();
  EXPECT_EQ(head.cpts, 3u);
  EXPECT_EQ(LTRB(head.rclBounds), (std::vector<int32_t>{-5, -32768, 32767, 100}));
  v = {b[8].type, static_cast<uint32_t>(b[8].bytes.size()), b[8].bytes.data()};
  EXPECT_EQ(v.Size, 28u + 3 * 8);
  ASSERT_TRUE(EmfPolyPoints(v, p));
  EXPECT_EQ(p[1].x, 32768);
  EXPECT_EQ(p[2].y, 20);
  v = {b[9].type, static_cast<uint32_t>(b[9].bytes.size()), b[9].bytes.data()};
  ASSERT_TRUE(EmfPolyPoints(v, p));
  EXPECT_EQ(p[0].x, -32769);
}

TEST(MetafileCanvas, TextRecordsFontColourAdvancesAndPosition) {
  TMetafile mf;
  TMetafileCanvas c(mf);
  c.Brush.Style = TBrushStyle::bsClear;
  c.Font.SetSize(90);
  c.Font.Style = fsBold | fsItalic | fsUnderline | fsStrikeOut;
  c.Font.Charset = ANSI_CHARSET;
  c.Font.Pitch = TFontPitch::fpVariable;
  c.Font.Color = 0x0000FF;
  c.TextOut(100, 120, u"File Wi");
  c.Font.Color = 0x00FF00;  // colour only: no new font object
  c.TextOut(100, 240, u"A");
  c.Font.Style = 0;
  c.Font.Name = "A face name much longer than thirty-one characters";
  c.TextOut(0, 0, u"");
  c.Close();
  std::vector<Rec> b = Body(mf);
  ASSERT_EQ(Types(b, 7),
            (std::vector<uint32_t>{EMR_EXTCREATEFONTINDIRECTW, EMR_SELECTOBJECT, EMR_SETTEXTCOLOR,
                                   EMR_EXTTEXTOUTW, EMR_MOVETOEX, EMR_SETTEXTCOLOR, EMR_EXTTEXTOUTW,
                                   EMR_MOVETOEX, EMR_EXTCREATEFONTINDIRECTW, EMR_SELECTOBJECT,
                                   EMR_DELETEOBJECT, EMR_EXTTEXTOUTW, EMR_MOVETOEX}));
  auto f = b[7].as<EMREXTCREATEFONTINDIRECTW>();
  EXPECT_EQ(f.emr.nSize, 332u);
  EXPECT_EQ(f.ihFont, 3u);
  EXPECT_EQ(f.elfw.lfHeight, -120);  // -round(90 * 96 / 72)
  EXPECT_EQ(f.elfw.lfWidth, 0);
  EXPECT_EQ(f.elfw.lfEscapement, 0);
  EXPECT_EQ(f.elfw.lfWeight, 700);
  EXPECT_EQ(f.elfw.lfItalic, 1);
  EXPECT_EQ(f.elfw.lfUnderline, 1);
  EXPECT_EQ(f.elfw.lfStrikeOut, 1);
  EXPECT_EQ(f.elfw.lfCharSet, ANSI_CHARSET);
  EXPECT_EQ(f.elfw.lfPitchAndFamily & 3, VARIABLE_PITCH);
  EXPECT_EQ(std::u16string(f.elfw.lfFaceName), u"Helvetica");
  EXPECT_EQ(Index(b[8]), 3u);
  EXPECT_EQ(b[9].as<EMRSETTEXTCOLOR>().crColor, 0x0000FFu);

  // The advances are those of the realised font, one per UTF-16 unit.
  TFont font = c.Font;
  font.Name = "Helvetica";
  font.Style = fsBold | fsItalic | fsUnderline | fsStrikeOut;
  const fonts::Font& real = fonts::Realize(fonts::FontKey::From(font));
  TEmfRecord v{b[10].type, static_cast<uint32_t>(b[10].bytes.size()), b[10].bytes.data()};
  EMREXTTEXTOUTW t;
  std::u16string text;
  std::vector<int32_t> dx;
  ASSERT_TRUE(EmfTextW(v, t, text, dx));
  EXPECT_EQ(text, u"File Wi");
  ASSERT_EQ(dx.size(), 7u);
  int32_t width = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    EXPECT_EQ(dx[i], real.CharAdvance(text[i])) << i;
    width += dx[i];
  }
  EXPECT_GT(width, 0);
  EXPECT_EQ(XY(t.emrtext.ptlReference), (std::vector<int32_t>{100, 120}));
  EXPECT_EQ(t.emrtext.fOptions, 0u);
  EXPECT_EQ(t.emrtext.rcl.right, -1);  // no rectangle
  EXPECT_EQ(t.emrtext.offString, 76u);
  EXPECT_EQ(t.emrtext.offDx, 76u + 16);  // 14 bytes of text padded to 16
  EXPECT_EQ(t.iGraphicsMode, GM_COMPATIBLE);
  EXPECT_EQ(t.rclBounds.left, 100);
  EXPECT_EQ(t.rclBounds.right, 100 + width - 1);
  EXPECT_EQ(t.rclBounds.bottom, 120 + real.Metrics().Height - 1);
  EXPECT_EQ(XY(b[11].as<EMRMOVETOEX>().ptl), (std::vector<int32_t>{100 + width, 120}));

  EXPECT_EQ(b[12].as<EMRSETTEXTCOLOR>().crColor, 0x00FF00u);
  EXPECT_EQ(b[14].as<EMRMOVETOEX>().ptl.x, 100 + real.CharAdvance(u'A'));

  // The replacement font: plain, name cut to 31 units, the old font deleted.
  auto g = b[15].as<EMREXTCREATEFONTINDIRECTW>();
  EXPECT_EQ(g.ihFont, 4u);
  EXPECT_EQ(g.elfw.lfWeight, 400);
  EXPECT_EQ(g.elfw.lfItalic, 0);
  EXPECT_EQ(std::u16string(g.elfw.lfFaceName), u"A face name much longer than th");
  EXPECT_EQ(Index(b[17]), 3u);
  // An empty text: no characters, and the position stays.
  v = {b[18].type, static_cast<uint32_t>(b[18].bytes.size()), b[18].bytes.data()};
  ASSERT_TRUE(EmfTextW(v, t, text, dx));
  EXPECT_EQ(t.emrtext.nChars, 0u);
  EXPECT_EQ(b[19].as<EMRMOVETOEX>().ptl.x, 0);
}

TEST(MetafileCanvas, OverflowLeavesAWellFormedRecording) {
  TMetafile mf;
  {
    TMetafileCanvas c(mf);
    c.FillRect({0, 0, 10, 10});
    const int32_t big = std::numeric_limits<int32_t>::max();
    EXPECT_THROW(c.FillRect({-big, 0, big, 10}), EIntOverflow);
    c.Font.SetSize(90);
    EXPECT_THROW(c.TextOut(big - 1, 0, u"MM"), EIntOverflow);
    // Extreme but representable coordinates are recorded; bounds do not wrap.
    const int32_t small = std::numeric_limits<int32_t>::min();
    c.FillRect({big - 1, small, big, small + 1});
  }
  EXPECT_TRUE(TMetafile::IsWellFormed(mf.Bytes()));
  std::vector<Rec> b = Body(mf);
  size_t bitblts = 0, texts = 0;
  for (const Rec& r : b) {
    bitblts += r.type == EMR_BITBLT;
    texts += r.type == EMR_EXTTEXTOUTW;
  }
  EXPECT_EQ(bitblts, 2u);
  EXPECT_EQ(texts, 0u);
  auto h = Records(mf)[0].as<ENHMETAHEADER>();
  EXPECT_EQ(h.rclBounds.top, std::numeric_limits<int32_t>::min());
  EXPECT_EQ(h.rclBounds.right, std::numeric_limits<int32_t>::max() - 1);
}

TEST(MetafileCanvas, CloseIsFinal) {
  TMetafile mf;
  TMetafileCanvas c(mf);
  c.LineTo(5, 5);
  c.Close();
  const std::vector<uint8_t> once = mf.Bytes();
  c.LineTo(6, 6);
  c.FillRect({0, 0, 1, 1});
  c.Close();
  EXPECT_TRUE(c.Closed());
  EXPECT_EQ(mf.Bytes(), once);
}

}  // namespace
