#include "pdf/ttf_subset.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace pv {

namespace {

constexpr uint32_t Tag(const char (&t)[5]) {
  return (uint32_t{static_cast<uint8_t>(t[0])} << 24) |
         (uint32_t{static_cast<uint8_t>(t[1])} << 16) |
         (uint32_t{static_cast<uint8_t>(t[2])} << 8) | uint32_t{static_cast<uint8_t>(t[3])};
}

// The tables a subset carries, in ascending tag order (the order of the table directory).
constexpr std::array<uint32_t, 10> kSubsetTables = {
    Tag("cmap"), Tag("cvt "), Tag("fpgm"), Tag("glyf"), Tag("head"),
    Tag("hhea"), Tag("hmtx"), Tag("loca"), Tag("maxp"), Tag("prep")};

// Composite glyph component flags.
constexpr uint16_t kArgsAreWords = 0x0001;
constexpr uint16_t kHaveScale = 0x0008;
constexpr uint16_t kMoreComponents = 0x0020;
constexpr uint16_t kHaveXYScale = 0x0040;
constexpr uint16_t kHaveTwoByTwo = 0x0080;

[[noreturn]] void Damaged(const char* what) {
  throw ETrueTypeFontError(std::string("Damaged TrueType font data: ") + what);
}

// Big-endian reads that refuse to leave the span.
class Bytes {
 public:
  explicit Bytes(std::span<const uint8_t> d) : d_(d) {}
  size_t size() const { return d_.size(); }
  uint16_t U16(size_t at) const {
    Need(at, 2);
    return static_cast<uint16_t>((d_[at] << 8) | d_[at + 1]);
  }
  int16_t S16(size_t at) const { return static_cast<int16_t>(U16(at)); }
  uint32_t U32(size_t at) const {
    Need(at, 4);
    return (uint32_t{d_[at]} << 24) | (uint32_t{d_[at + 1]} << 16) | (uint32_t{d_[at + 2]} << 8) |
           uint32_t{d_[at + 3]};
  }
  std::span<const uint8_t> Sub(size_t at, size_t len) const {
    Need(at, len);
    return d_.subspan(at, len);
  }

 private:
  void Need(size_t at, size_t len) const {
    if (at > d_.size() || len > d_.size() - at) Damaged("read past the end");
  }
  std::span<const uint8_t> d_;
};

struct Table {
  uint32_t tag = 0;
  std::span<const uint8_t> data;
  bool present = false;
};

void PutU16(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v >> 8);
  out[at + 1] = static_cast<uint8_t>(v);
}

void PutU32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  out[at] = static_cast<uint8_t>(v >> 24);
  out[at + 1] = static_cast<uint8_t>(v >> 16);
  out[at + 2] = static_cast<uint8_t>(v >> 8);
  out[at + 3] = static_cast<uint8_t>(v);
}

void AppendPadded(std::vector<uint8_t>& out, std::span<const uint8_t> data) {
  out.insert(out.end(), data.begin(), data.end());
  while (out.size() % 4 != 0) out.push_back(0);
}

}  // namespace

uint32_t TrueTypeChecksum(std::span<const uint8_t> data) {
  uint32_t sum = 0;
  size_t i = 0;
  for (; i + 4 <= data.size(); i += 4)
    sum += (uint32_t{data[i]} << 24) | (uint32_t{data[i + 1]} << 16) |
           (uint32_t{data[i + 2]} << 8) | uint32_t{data[i + 3]};
  if (i < data.size()) {
    uint32_t last = 0;
    for (size_t k = 0; k < 4; ++k)
      last = (last << 8) | (i + k < data.size() ? uint32_t{data[i + k]} : 0u);
    sum += last;
  }
  return sum;
}

std::vector<uint8_t> BuildTrueTypeSubset(std::span<const uint8_t> font,
                                         std::span<const uint16_t> glyphs) {
  const Bytes file(font);
  const uint32_t version = file.U32(0);
  if (version == Tag("OTTO")) throw ETrueTypeFontError("CFF-outline font has no glyf table");
  if (version == Tag("ttcf")) throw ETrueTypeFontError("Font collection is not one font");
  if (version != 0x00010000 && version != Tag("true")) Damaged("unknown font file version");

  // Table directory: the tables the subset keeps; a repeated tag counts once.
  std::array<Table, kSubsetTables.size()> tables{};
  for (size_t k = 0; k < kSubsetTables.size(); ++k) tables[k].tag = kSubsetTables[k];
  const uint16_t numTables = file.U16(4);
  for (size_t t = 0; t < numTables; ++t) {
    const size_t rec = 12 + 16 * t;
    const uint32_t tag = file.U32(rec);
    const uint32_t offset = file.U32(rec + 8);
    const uint32_t length = file.U32(rec + 12);
    for (Table& table : tables) {
      if (table.tag != tag || table.present) continue;
      table.data = file.Sub(offset, length);
      table.present = true;
    }
  }
  auto find = [&](uint32_t tag) -> Table& {
    for (Table& table : tables)
      if (table.tag == tag) return table;
    Damaged("table");
  };
  Table& glyfTable = find(Tag("glyf"));
  Table& headTable = find(Tag("head"));
  Table& locaTable = find(Tag("loca"));
  Table& maxpTable = find(Tag("maxp"));
  if (!glyfTable.present || !headTable.present || !locaTable.present || !maxpTable.present)
    Damaged("glyf, head, loca or maxp table missing");

  const Bytes head(headTable.data);
  const Bytes maxp(maxpTable.data);
  const Bytes loca(locaTable.data);
  const Bytes glyf(glyfTable.data);
  if (head.size() < 54) Damaged("head table too short");
  const int16_t locFormat = head.S16(50);
  if (locFormat != 0 && locFormat != 1) Damaged("unknown loca format");
  const uint16_t numGlyphs = maxp.U16(4);
  if (numGlyphs == 0) Damaged("no glyphs");

  // Glyph g occupies glyf bytes [start[g], start[g + 1]).
  std::vector<uint32_t> start(size_t{numGlyphs} + 1);
  for (size_t g = 0; g <= numGlyphs; ++g) {
    start[g] = locFormat == 0 ? uint32_t{loca.U16(2 * g)} * 2 : loca.U32(4 * g);
    if (start[g] > glyf.size()) Damaged("glyph beyond the glyf table");
    if (g > 0 && start[g] < start[g - 1]) Damaged("loca offsets out of order");
  }

  // The glyphs to keep: .notdef, the ones asked for, and every component they draw with.
  std::vector<bool> keep(numGlyphs, false);
  std::vector<uint16_t> pending;
  auto mark = [&](uint16_t g) {
    if (g < numGlyphs && !keep[g]) {
      keep[g] = true;
      pending.push_back(g);
    }
  };
  mark(0);
  for (uint16_t g : glyphs) mark(g);
  while (!pending.empty()) {
    const uint16_t g = pending.back();
    pending.pop_back();
    const size_t len = start[g + 1] - start[g];
    if (len == 0) continue;
    const Bytes glyph(glyf.Sub(start[g], len));
    if (glyph.S16(0) >= 0) continue;  // a simple glyph
    size_t at = 10;
    for (;;) {
      const uint16_t flags = glyph.U16(at);
      const uint16_t component = glyph.U16(at + 2);
      if (component >= numGlyphs) Damaged("component glyph out of range");
      mark(component);
      at += 4 + ((flags & kArgsAreWords) ? 4 : 2);
      if (flags & kHaveScale)
        at += 2;
      else if (flags & kHaveXYScale)
        at += 4;
      else if (flags & kHaveTwoByTwo)
        at += 8;
      if (!(flags & kMoreComponents)) break;
    }
    if (at > len) Damaged("composite glyph runs past its end");
  }

  // The new glyf table: kept glyphs 4-byte aligned, the others empty.
  std::vector<uint8_t> newGlyf;
  std::vector<uint32_t> newStart(size_t{numGlyphs} + 1);
  for (size_t g = 0; g < numGlyphs; ++g) {
    newStart[g] = static_cast<uint32_t>(newGlyf.size());
    if (keep[g]) AppendPadded(newGlyf, glyf.Sub(start[g], start[g + 1] - start[g]));
  }
  newStart[numGlyphs] = static_cast<uint32_t>(newGlyf.size());
  if (newGlyf.size() > 0xFFFFFFFFu) Damaged("glyf table too large");

  // Short offsets when they reach, long ones otherwise.
  const bool shortLoca = newGlyf.size() / 2 <= 0xFFFF;
  std::vector<uint8_t> newLoca((size_t{numGlyphs} + 1) * (shortLoca ? 2 : 4));
  for (size_t g = 0; g <= numGlyphs; ++g) {
    if (shortLoca)
      PutU16(newLoca, 2 * g, newStart[g] / 2);
    else
      PutU32(newLoca, 4 * g, newStart[g]);
  }

  std::vector<uint8_t> newHead(headTable.data.begin(), headTable.data.end());
  PutU32(newHead, 8, 0);  // checkSumAdjustment, set once the whole file is known
  PutU16(newHead, 50, shortLoca ? 0 : 1);

  // The tables of the subset, in directory order, with their data.
  struct Out {
    uint32_t tag;
    std::span<const uint8_t> data;
  };
  std::vector<Out> out;
  for (const Table& table : tables) {
    if (!table.present) continue;
    std::span<const uint8_t> data = table.data;
    if (table.tag == Tag("glyf"))
      data = newGlyf;
    else if (table.tag == Tag("loca"))
      data = newLoca;
    else if (table.tag == Tag("head"))
      data = newHead;
    out.push_back({table.tag, data});
  }

  const size_t n = out.size();
  uint16_t entrySelector = 0;
  while ((size_t{2} << entrySelector) <= n) ++entrySelector;
  const uint16_t searchRange = static_cast<uint16_t>(16u << entrySelector);

  std::vector<uint8_t> result(12 + 16 * n);
  PutU32(result, 0, 0x00010000);
  PutU16(result, 4, static_cast<uint32_t>(n));
  PutU16(result, 6, searchRange);
  PutU16(result, 8, entrySelector);
  PutU16(result, 10, static_cast<uint32_t>(16 * n - searchRange));
  size_t headOffset = 0;
  for (size_t k = 0; k < n; ++k) {
    const size_t offset = result.size();
    if (out[k].data.size() > 0xFFFFFFFFu || offset > 0xFFFFFFFFu) Damaged("table too large");
    AppendPadded(result, out[k].data);
    const size_t rec = 12 + 16 * k;
    PutU32(result, rec, out[k].tag);
    PutU32(result, rec + 4, TrueTypeChecksum(out[k].data));
    PutU32(result, rec + 8, static_cast<uint32_t>(offset));
    PutU32(result, rec + 12, static_cast<uint32_t>(out[k].data.size()));
    if (out[k].tag == Tag("head")) headOffset = offset;
  }
  PutU32(result, headOffset + 8, 0xB1B0AFBAu - TrueTypeChecksum(result));
  return result;
}

}  // namespace pv
