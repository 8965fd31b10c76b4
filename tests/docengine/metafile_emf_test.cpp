// The EMF record layouts and the bounds-checked enumerator over byte buffers.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "docengine/emf.h"
#include "support/docengine_support.h"

namespace {

using pv::TEmfEnumerator;
using pv::TEmfRecord;
using pvtest::XY;

// Appends 32-bit words, least significant byte first.
void Put32(std::vector<uint8_t>& b, std::initializer_list<uint32_t> words) {
  for (uint32_t v : words)
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A record of the given type with the given 32-bit payload words.
void Rec(std::vector<uint8_t>& b, uint32_t type, std::initializer_list<uint32_t> words) {
  Put32(b, {type, static_cast<uint32_t>(8 + 4 * words.size())});
  Put32(b, words);
}

std::vector<uint32_t> Types(TEmfEnumerator e) {
  std::vector<uint32_t> t;
  for (const TEmfRecord& r : e) t.push_back(r.Type);
  return t;
}

TEST(EmfEnumerator, WalksRecordsAndStopsAfterEof) {
  std::vector<uint8_t> b;
  Rec(b, pv::EMR_SETBKMODE, {pv::TRANSPARENT});
  Rec(b, pv::EMR_LINETO, {5, 7});
  Rec(b, pv::EMR_EOF, {0, 16, 20});
  Rec(b, pv::EMR_LINETO, {1, 1});  // after the end: not part of the picture

  TEmfEnumerator e(b);
  TEmfRecord r;
  ASSERT_TRUE(e.Next(r));
  EXPECT_EQ(r.Type, pv::EMR_SETBKMODE);
  EXPECT_EQ(r.Size, 12u);
  EXPECT_EQ(r.Data, b.data());
  pv::EMRSETBKMODE mode;
  ASSERT_TRUE(r.As(mode));
  EXPECT_EQ(mode.iMode, pv::TRANSPARENT);
  ASSERT_TRUE(e.Next(r));
  pv::EMRLINETO line;
  ASSERT_TRUE(r.As(line));
  EXPECT_EQ(XY(line.ptl), (std::vector<int32_t>{5, 7}));
  // A record too small for a type is refused, and the output stays as it was.
  pv::EMRBITBLT blt{};
  blt.dwRop = 99;
  EXPECT_FALSE(r.As(blt));
  EXPECT_EQ(blt.dwRop, 99u);
  ASSERT_TRUE(e.Next(r));
  EXPECT_EQ(r.Type, pv::EMR_EOF);
  EXPECT_FALSE(e.Next(r));
  EXPECT_FALSE(e.Malformed());
  EXPECT_EQ(Types(TEmfEnumerator(b)),
            (std::vector<uint32_t>{pv::EMR_SETBKMODE, pv::EMR_LINETO, pv::EMR_EOF}));
}

TEST(EmfEnumerator, StopsCleanlyOnMalformedRecords) {
  std::vector<uint8_t> good;
  Rec(good, pv::EMR_SAVEDC, {});
  Rec(good, pv::EMR_LINETO, {1, 2});

  // Each buffer is copied into storage of exactly its own size, so that the address
  // sanitizer catches any read past its end.
  auto run = [](const std::vector<uint8_t>& bytes, std::vector<uint32_t> expect) {
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size()]);
    if (!bytes.empty()) std::memcpy(exact.get(), bytes.data(), bytes.size());
    TEmfEnumerator e(exact.get(), bytes.size());
    std::vector<uint32_t> got;
    TEmfRecord r;
    while (e.Next(r)) got.push_back(r.Type);
    EXPECT_EQ(got, expect);
    EXPECT_TRUE(e.Malformed());
    EXPECT_FALSE(e.Next(r));
  };

  // Truncated in the middle of the second record's fields.
  std::vector<uint8_t> b = good;
  b.resize(b.size() - 4);
  run(b, {pv::EMR_SAVEDC});
  // Fewer than 8 bytes left for the next record's type and size.
  b = good;
  b.push_back(1);
  b.push_back(0);
  b.push_back(0);
  run(b, {pv::EMR_SAVEDC, pv::EMR_LINETO});
  // A record of size 0 (would loop forever if taken).
  b = good;
  Put32(b, {pv::EMR_LINETO, 0});
  run(b, {pv::EMR_SAVEDC, pv::EMR_LINETO});
  // A size that is not a multiple of 4.
  b = good;
  Put32(b, {pv::EMR_LINETO, 14, 0, 0});
  run(b, {pv::EMR_SAVEDC, pv::EMR_LINETO});
  // A size running past the end, and one so large that pos + size would wrap.
  b = good;
  Put32(b, {pv::EMR_LINETO, 20, 0});
  run(b, {pv::EMR_SAVEDC, pv::EMR_LINETO});
  b = good;
  Put32(b, {pv::EMR_LINETO, 0xFFFFFFFC});
  run(b, {pv::EMR_SAVEDC, pv::EMR_LINETO});

  // An empty buffer is a clean end, not a malformed one.
  TEmfEnumerator empty(nullptr, 0);
  TEmfRecord r;
  EXPECT_FALSE(empty.Next(r));
  EXPECT_FALSE(empty.Malformed());
}

TEST(EmfRecords, VariablePartsAreBoundsChecked) {
  // EMR_POLYGON16 with three points.
  std::vector<uint8_t> b;
  Put32(b, {pv::EMR_POLYGON16, 28 + 12, 0, 0, 0, 0, 3});
  const int16_t pts[6] = {1, -2, 300, 4, -32768, 32767};
  b.insert(b.end(), reinterpret_cast<const uint8_t*>(pts),
           reinterpret_cast<const uint8_t*>(pts) + sizeof pts);
  TEmfRecord r{pv::EMR_POLYGON16, static_cast<uint32_t>(b.size()), b.data()};
  std::vector<pv::POINTL> p;
  ASSERT_TRUE(pv::EmfPolyPoints(r, p));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(XY(p[0]), (std::vector<int32_t>{1, -2}));
  EXPECT_EQ(XY(p[2]), (std::vector<int32_t>{-32768, 32767}));
  // A point count that runs past the record, or a huge one, is refused.
  std::memcpy(b.data() + 24, "\x04\0\0\0", 4);
  EXPECT_FALSE(pv::EmfPolyPoints(r, p));
  EXPECT_TRUE(p.empty());
  std::memcpy(b.data() + 24, "\xff\xff\xff\x7f", 4);
  EXPECT_FALSE(pv::EmfPolyPoints(r, p));

  // EMR_POLYPOLYGON with counts 2 + 1 over three 32-bit points; counts must add up.
  b.clear();
  Put32(b, {pv::EMR_POLYPOLYGON, 32 + 8 + 24, 0, 0, 0, 0, 2, 3, 2, 1});
  Put32(b, {0, 10, 20, 30, 40, 50});
  r = {pv::EMR_POLYPOLYGON, static_cast<uint32_t>(b.size()), b.data()};
  std::vector<uint32_t> counts;
  ASSERT_TRUE(pv::EmfPolyPolyPoints(r, counts, p));
  EXPECT_EQ(counts, (std::vector<uint32_t>{2, 1}));
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(XY(p[2]), (std::vector<int32_t>{40, 50}));
  std::memcpy(b.data() + 36, "\x02\0\0\0", 4);  // 2 + 2 != 3
  EXPECT_FALSE(pv::EmfPolyPolyPoints(r, counts, p));
  EXPECT_TRUE(counts.empty());

  // EMR_EXTSELECTCLIPRGN with one rectangle, then with a count too large for its data.
  b.clear();
  Put32(b,
        {pv::EMR_EXTSELECTCLIPRGN, 16 + 32 + 16, 48, pv::RGN_COPY, 32, pv::RDH_RECTANGLES, 1, 16});
  Put32(b, {1, 2, 30, 40, 1, 2, 30, 40});
  r = {pv::EMR_EXTSELECTCLIPRGN, static_cast<uint32_t>(b.size()), b.data()};
  pv::RGNDATAHEADER rh;
  std::vector<pv::RECTL> rects;
  ASSERT_TRUE(pv::EmfRegionRects(r, rh, rects));
  ASSERT_EQ(rects.size(), 1u);
  EXPECT_EQ(rects[0].right, 30);
  EXPECT_EQ(rects[0].bottom, 40);
  std::memcpy(b.data() + 24, "\x02\0\0\0", 4);
  EXPECT_FALSE(pv::EmfRegionRects(r, rh, rects));
  EXPECT_TRUE(rects.empty());
  // Without region data (the default clip) there are no rectangles.
  std::memcpy(b.data() + 8, "\0\0\0\0", 4);
  EXPECT_FALSE(pv::EmfRegionRects(r, rh, rects));
}

TEST(EmfRecords, TextAndBitmapParts) {
  // EMR_EXTTEXTOUTW "Hi" with advances 5 and 6.
  std::vector<uint8_t> b(76 + 4 + 8, 0);
  pv::EMREXTTEXTOUTW t{};
  t.emr = {pv::EMR_EXTTEXTOUTW, static_cast<uint32_t>(b.size())};
  t.emrtext.ptlReference = {10, 20};
  t.emrtext.nChars = 2;
  t.emrtext.offString = 76;
  t.emrtext.offDx = 80;
  std::memcpy(b.data(), &t, sizeof t);
  const char16_t s[2] = {u'H', u'i'};
  std::memcpy(b.data() + 76, s, 4);
  const int32_t dx[2] = {5, 6};
  std::memcpy(b.data() + 80, dx, 8);
  TEmfRecord r{pv::EMR_EXTTEXTOUTW, static_cast<uint32_t>(b.size()), b.data()};
  pv::EMREXTTEXTOUTW head;
  std::u16string text;
  std::vector<int32_t> adv;
  ASSERT_TRUE(pv::EmfTextW(r, head, text, adv));
  EXPECT_EQ(text, u"Hi");
  EXPECT_EQ(adv, (std::vector<int32_t>{5, 6}));
  EXPECT_EQ(head.emrtext.ptlReference.y, 20);
  // The advances running past the record are refused.
  t.emrtext.offDx = 84;
  std::memcpy(b.data(), &t, sizeof t);
  EXPECT_FALSE(pv::EmfTextW(r, head, text, adv));
  EXPECT_TRUE(text.empty());

  // EMR_BITBLT without a source bitmap has none; with one, the file image is assembled.
  std::vector<uint8_t> blt(sizeof(pv::EMRBITBLT) + 40 + 4, 0);
  pv::EMRBITBLT bb{};
  bb.emr = {pv::EMR_BITBLT, static_cast<uint32_t>(blt.size())};
  bb.dwRop = pv::PATCOPY;
  std::memcpy(blt.data(), &bb, sizeof bb);
  r = {pv::EMR_BITBLT, static_cast<uint32_t>(blt.size()), blt.data()};
  std::span<const uint8_t> info, bits;
  EXPECT_FALSE(pv::EmfSourceBitmap(r, info, bits));
  bb.offBmiSrc = 100;
  bb.cbBmiSrc = 40;
  bb.offBitsSrc = 140;
  bb.cbBitsSrc = 4;
  std::memcpy(blt.data(), &bb, sizeof bb);
  blt[140] = 0xAB;
  ASSERT_TRUE(pv::EmfSourceBitmap(r, info, bits));
  EXPECT_EQ(info.size(), 40u);
  EXPECT_EQ(bits[0], 0xAB);
  std::vector<uint8_t> file = pv::EmfBitmapFile(info, bits);
  ASSERT_EQ(file.size(), 14u + 40 + 4);
  EXPECT_EQ(file[0], 'B');
  EXPECT_EQ(file[1], 'M');
  uint32_t size, off;
  std::memcpy(&size, file.data() + 2, 4);
  std::memcpy(&off, file.data() + 10, 4);
  EXPECT_EQ(size, 58u);
  EXPECT_EQ(off, 54u);
  EXPECT_EQ(file[54], 0xAB);
  // Bits said to lie beyond the record are no bitmap.
  bb.cbBitsSrc = 8;
  std::memcpy(blt.data(), &bb, sizeof bb);
  EXPECT_FALSE(pv::EmfSourceBitmap(r, info, bits));
}

}  // namespace
