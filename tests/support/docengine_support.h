#pragma once
// For the document engine's suites: engines that show no dialog and open nothing, and
// EMF recordings built record by record.
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "docengine/emf.h"
#include "docengine/engine.h"
#include "docengine/metafile.h"

namespace pvtest {

// An engine of class Base with no setup dialog and nothing opened after the document.
template <class Base>
class QuietEngine : public Base {
 public:
  QuietEngine() {
    this->Preferences().SetShowSetupDialog(false);
    this->Preferences().SetOpenAfterCreate(false);
  }
};

// A plain document engine with its document begun, ready for the metafile processor.
class OpenDocumentEngine : public QuietEngine<pv::TgtCustomDocumentEngine> {
 public:
  OpenDocumentEngine() { BeginDoc(); }
  using pv::TgtCustomDocumentEngine::SetCapabilities;
};

// The fields of an EMF point and rectangle, for comparing them whole.
inline std::vector<int32_t> XY(const pv::POINTL& p) {
  return {p.x, p.y};
}
inline std::vector<int32_t> LTRB(const pv::RECTL& r) {
  return {r.left, r.top, r.right, r.bottom};
}

// Writes EMF records into a byte buffer: a header first, EMR_EOF on request.
class EmfBuilder {
 public:
  EmfBuilder() {
    bytes.reserve(4096);  // also spares GCC 12 a false -Warray-bounds on the first resize
    pv::ENHMETAHEADER h{};
    h.dSignature = pv::ENHMETA_SIGNATURE;
    h.nVersion = pv::ENHMETA_VERSION;
    Struct(pv::EMR_HEADER, h);
  }

  // A record of 32-bit words.
  EmfBuilder& Rec(uint32_t type, std::initializer_list<int32_t> words) {
    const uint32_t size = 8 + 4 * static_cast<uint32_t>(words.size());
    Put(type);
    Put(size);
    for (int32_t w : words) Put(static_cast<uint32_t>(w));
    return *this;
  }

  // A record whose fixed layout is T (its EMR filled in here), then extra bytes.
  template <class T>
  EmfBuilder& Struct(uint32_t type, T rec, const std::vector<uint8_t>& extra = {}) {
    size_t size = sizeof(T) + extra.size();
    size = (size + 3) / 4 * 4;
    rec.emr.iType = type;
    rec.emr.nSize = static_cast<uint32_t>(size);
    const size_t at = bytes.size();
    bytes.resize(at + size, 0);  // zero padding to a multiple of four
    std::memcpy(bytes.data() + at, &rec, sizeof(T));
    if (!extra.empty()) std::memcpy(bytes.data() + at + sizeof(T), extra.data(), extra.size());
    return *this;
  }

  EmfBuilder& MoveTo(int32_t x, int32_t y) { return Rec(pv::EMR_MOVETOEX, {x, y}); }
  EmfBuilder& LineTo(int32_t x, int32_t y) { return Rec(pv::EMR_LINETO, {x, y}); }
  EmfBuilder& Select(uint32_t ih) { return Rec(pv::EMR_SELECTOBJECT, {static_cast<int32_t>(ih)}); }
  EmfBuilder& Pen(uint32_t ih, uint32_t style, int32_t width, uint32_t color) {
    return Rec(pv::EMR_CREATEPEN, {static_cast<int32_t>(ih), static_cast<int32_t>(style), width, 0,
                                   static_cast<int32_t>(color)});
  }
  EmfBuilder& Brush(uint32_t ih, uint32_t style, uint32_t color, uint32_t hatch = 0) {
    return Rec(pv::EMR_CREATEBRUSHINDIRECT,
               {static_cast<int32_t>(ih), static_cast<int32_t>(style), static_cast<int32_t>(color),
                static_cast<int32_t>(hatch)});
  }
  EmfBuilder& Font(uint32_t ih, int32_t height, const std::u16string& face, int32_t weight = 400,
                   int32_t escapement = 0, uint8_t charset = 1) {
    pv::EMREXTCREATEFONTINDIRECTW r{};
    r.ihFont = ih;
    r.elfw.lfHeight = height;
    r.elfw.lfWeight = weight;
    r.elfw.lfEscapement = escapement;
    r.elfw.lfCharSet = charset;
    for (size_t i = 0; i < face.size() && i < 32; ++i) r.elfw.lfFaceName[i] = face[i];
    return Struct(pv::EMR_EXTCREATEFONTINDIRECTW, r);
  }
  // A block transfer without source bitmap (a canvas rectangle fill).
  EmfBuilder& Fill(pv::RECTL bounds, int32_t x, int32_t y, int32_t cx, int32_t cy,
                   uint32_t rop = pv::PATCOPY) {
    pv::EMRBITBLT r{};
    r.rclBounds = bounds;
    r.xDest = x;
    r.yDest = y;
    r.cxDest = cx;
    r.cyDest = cy;
    r.dwRop = rop;
    return Struct(pv::EMR_BITBLT, r);
  }
  // Text with an advance of 10 for each character unless dx gives the advances.
  EmfBuilder& TextW(int32_t x, int32_t y, const std::u16string& s, uint32_t options = 0,
                    pv::RECTL rcl = {0, 0, -1, -1}, std::vector<int32_t> dx = {}) {
    if (dx.empty()) dx.assign(s.size(), 10);
    return Text(x, y, s, options, rcl, dx);
  }
  // Text without advances: the characters are measured in the font.
  EmfBuilder& TextWithoutAdvances(int32_t x, int32_t y, const std::u16string& s) {
    return Text(x, y, s, 0, {0, 0, -1, -1}, {});
  }
  EmfBuilder& Eof() { return Rec(pv::EMR_EOF, {0, 16, 20}); }

  pv::TMetafile Metafile() const {
    pv::TMetafile mf;
    mf.SetWidth(816);
    mf.SetHeight(1056);
    mf.MutableBytes() = bytes;
    return mf;
  }

  std::vector<uint8_t> bytes;

 private:
  EmfBuilder& Text(int32_t x, int32_t y, const std::u16string& s, uint32_t options, pv::RECTL rcl,
                   const std::vector<int32_t>& dx) {
    pv::EMREXTTEXTOUTW r{};
    r.iGraphicsMode = pv::GM_COMPATIBLE;
    r.exScale = r.eyScale = 1;
    r.emrtext.ptlReference = {x, y};
    r.emrtext.nChars = static_cast<uint32_t>(s.size());
    r.emrtext.fOptions = options;
    r.emrtext.rcl = rcl;
    const size_t strBytes = (s.size() * 2 + 3) / 4 * 4;
    std::vector<uint8_t> extra(strBytes + dx.size() * 4, 0);
    if (!s.empty()) std::memcpy(extra.data(), s.data(), s.size() * 2);
    if (!dx.empty()) std::memcpy(extra.data() + strBytes, dx.data(), dx.size() * 4);
    r.emrtext.offString = sizeof r;
    r.emrtext.offDx = s.empty() || dx.empty() ? 0 : static_cast<uint32_t>(sizeof r + strBytes);
    return Struct(pv::EMR_EXTTEXTOUTW, r, extra);
  }
  void Put(uint32_t v) {
    const size_t at = bytes.size();
    bytes.resize(at + 4);
    std::memcpy(bytes.data() + at, &v, 4);
  }
};

}  // namespace pvtest
