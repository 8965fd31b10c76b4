#include "docengine/emf.h"

#include <cstddef>

#include "platform/errors.h"

namespace pv {

bool TEmfEnumerator::Next(TEmfRecord& rec) {
  if (done_) return false;
  if (pos_ >= size_) {
    done_ = true;
    return false;
  }
  const size_t left = size_ - pos_;
  if (left < sizeof(EMR)) {
    done_ = malformed_ = true;
    return false;
  }
  EMR emr;
  std::memcpy(&emr, data_ + pos_, sizeof emr);
  if (emr.nSize < sizeof(EMR) || emr.nSize % 4 != 0 || emr.nSize > left) {
    done_ = malformed_ = true;
    return false;
  }
  rec.Type = emr.iType;
  rec.Size = emr.nSize;
  rec.Data = data_ + pos_;
  pos_ += emr.nSize;
  // Whatever follows the end-of-file record is not part of the picture.
  if (emr.iType == EMR_EOF) done_ = true;
  return true;
}

namespace {

bool IsPoly32(uint32_t type) {
  return type == EMR_POLYBEZIER || type == EMR_POLYGON || type == EMR_POLYLINE ||
         type == EMR_POLYBEZIERTO || type == EMR_POLYLINETO;
}

bool IsPoly16(uint32_t type) {
  return type == EMR_POLYBEZIER16 || type == EMR_POLYGON16 || type == EMR_POLYLINE16 ||
         type == EMR_POLYBEZIERTO16 || type == EMR_POLYLINETO16;
}

// count points at offset, 32-bit or 16-bit (widened), into points.
bool ReadPoints(const TEmfRecord& rec, uint64_t offset, uint64_t count, bool wide,
                std::vector<POINTL>& points) {
  if (wide) return rec.ReadArray(offset, count, points);
  points.clear();
  if (count > rec.Size / sizeof(POINTS) || !rec.Contains(offset, count * sizeof(POINTS)))
    return false;
  points.resize(static_cast<size_t>(count));
  const uint8_t* p = rec.Data + offset;
  for (POINTL& pt : points) {
    POINTS s;
    std::memcpy(&s, p, sizeof s);
    p += sizeof s;
    pt = {s.x, s.y};
  }
  return true;
}

bool ReadText(const TEmfRecord& rec, EMREXTTEXTOUTW& head, uint64_t unitSize, uint64_t& nChars,
              std::vector<int32_t>& dx) {
  dx.clear();
  nChars = 0;
  if (!rec.As(head)) return false;
  const EMRTEXT& t = head.emrtext;
  nChars = t.nChars;
  if (nChars == 0) return true;
  if (nChars > rec.Size / unitSize || !rec.Contains(t.offString, nChars * unitSize)) {
    nChars = 0;
    return false;
  }
  if (t.offDx == 0) return true;
  // With ETO_PDY every character has an x and a y advance; the x ones are kept.
  const uint64_t perChar = (t.fOptions & ETO_PDY) ? 2 : 1;
  if (!rec.ReadArray(t.offDx, nChars * perChar, dx)) {
    nChars = 0;
    return false;
  }
  if (perChar == 2) {
    for (size_t i = 0; i < nChars; ++i) dx[i] = dx[2 * i];
    dx.resize(static_cast<size_t>(nChars));
  }
  return true;
}

}  // namespace

bool EmfPolyPoints(const TEmfRecord& rec, std::vector<POINTL>& points) {
  points.clear();
  EMRPOLYLINE head;
  if (!rec.As(head)) return false;
  if (IsPoly32(rec.Type)) return ReadPoints(rec, sizeof head, head.cptl, true, points);
  if (IsPoly16(rec.Type)) return ReadPoints(rec, sizeof head, head.cptl, false, points);
  return false;
}

bool EmfPolyPolyPoints(const TEmfRecord& rec, std::vector<uint32_t>& counts,
                       std::vector<POINTL>& points) {
  counts.clear();
  points.clear();
  bool wide;
  if (rec.Type == EMR_POLYPOLYLINE || rec.Type == EMR_POLYPOLYGON)
    wide = true;
  else if (rec.Type == EMR_POLYPOLYLINE16 || rec.Type == EMR_POLYPOLYGON16)
    wide = false;
  else
    return false;
  EMRPOLYPOLYLINE head;
  if (!rec.As(head)) return false;
  if (!rec.ReadArray(sizeof head, head.nPolys, counts)) return false;
  uint64_t total = 0;
  for (uint32_t c : counts) total += c;
  if (total != head.cptl ||
      !ReadPoints(rec, sizeof head + uint64_t{head.nPolys} * 4, head.cptl, wide, points)) {
    counts.clear();
    return false;
  }
  return true;
}

bool EmfPolyDrawPoints(const TEmfRecord& rec, std::vector<POINTL>& points,
                       std::vector<uint8_t>& types) {
  points.clear();
  types.clear();
  bool wide;
  if (rec.Type == EMR_POLYDRAW)
    wide = true;
  else if (rec.Type == EMR_POLYDRAW16)
    wide = false;
  else
    return false;
  EMRPOLYDRAW head;
  if (!rec.As(head)) return false;
  if (!ReadPoints(rec, sizeof head, head.cptl, wide, points)) return false;
  const uint64_t typesAt = sizeof head + uint64_t{head.cptl} * (wide ? 8 : 4);
  if (!rec.ReadArray(typesAt, head.cptl, types)) {
    points.clear();
    return false;
  }
  return true;
}

namespace {
// The string of an EXTTEXTOUTW (UTF-16) or EXTTEXTOUTA (bytes) record, copied out.
template <class Text>
bool EmfText(const TEmfRecord& rec, uint32_t type, EMREXTTEXTOUTW& head, Text& text,
             std::vector<int32_t>& dx) {
  text.clear();
  if (rec.Type != type) {
    dx.clear();
    return false;
  }
  constexpr uint32_t unit = sizeof(typename Text::value_type);
  uint64_t n;
  if (!ReadText(rec, head, unit, n, dx)) return false;
  text.resize(static_cast<size_t>(n));
  if (n) std::memcpy(text.data(), rec.Data + head.emrtext.offString, static_cast<size_t>(n) * unit);
  return true;
}
}  // namespace

bool EmfTextW(const TEmfRecord& rec, EMREXTTEXTOUTW& head, std::u16string& text,
              std::vector<int32_t>& dx) {
  return EmfText(rec, EMR_EXTTEXTOUTW, head, text, dx);
}

bool EmfTextA(const TEmfRecord& rec, EMREXTTEXTOUTW& head, std::string& text,
              std::vector<int32_t>& dx) {
  return EmfText(rec, EMR_EXTTEXTOUTA, head, text, dx);
}

bool EmfRegionRects(const TEmfRecord& rec, RGNDATAHEADER& header, std::vector<RECTL>& rects) {
  rects.clear();
  uint64_t dataAt;
  uint32_t cbRgnData;
  if (rec.Type == EMR_FILLRGN) {
    EMRFILLRGN r;
    if (!rec.As(r)) return false;
    dataAt = sizeof r;
    cbRgnData = r.cbRgnData;
  } else if (rec.Type == EMR_EXTSELECTCLIPRGN) {
    EMREXTSELECTCLIPRGN r;
    if (!rec.As(r)) return false;
    dataAt = sizeof r;
    cbRgnData = r.cbRgnData;
  } else {
    return false;
  }
  if (cbRgnData < sizeof(RGNDATAHEADER) || !rec.Contains(dataAt, cbRgnData)) return false;
  if (!rec.ReadAt(dataAt, header)) return false;
  if (header.nCount > (cbRgnData - sizeof(RGNDATAHEADER)) / sizeof(RECTL)) return false;
  return rec.ReadArray(dataAt + sizeof(RGNDATAHEADER), header.nCount, rects);
}

bool EmfSourceBitmap(const TEmfRecord& rec, std::span<const uint8_t>& bitmapInfo,
                     std::span<const uint8_t>& bits) {
  bitmapInfo = {};
  bits = {};
  // Where the four offset/size fields start, by record type.
  size_t at;
  switch (rec.Type) {
    case EMR_BITBLT:
      at = offsetof(EMRBITBLT, offBmiSrc);
      break;
    case EMR_STRETCHBLT:
      at = offsetof(EMRSTRETCHBLT, offBmiSrc);
      break;
    case EMR_MASKBLT:
      at = offsetof(EMRMASKBLT, offBmiSrc);
      break;
    case EMR_SETDIBITSTODEVICE:
      at = offsetof(EMRSETDIBITSTODEVICE, offBmiSrc);
      break;
    case EMR_STRETCHDIBITS:
      at = offsetof(EMRSTRETCHDIBITS, offBmiSrc);
      break;
    case EMR_CREATEMONOBRUSH:
    case EMR_CREATEDIBPATTERNBRUSHPT:
      at = offsetof(EMRCREATEDIBPATTERNBRUSHPT, offBmi);
      break;
    default:
      return false;
  }
  uint32_t f[4];  // offBmi, cbBmi, offBits, cbBits
  if (!rec.ReadAt(at, f)) return false;
  if (f[1] == 0 || f[3] == 0) return false;
  auto info = rec.Slice(f[0], f[1]);
  auto data = rec.Slice(f[2], f[3]);
  if (info.empty() || data.empty()) return false;
  bitmapInfo = info;
  bits = data;
  return true;
}

std::vector<uint8_t> EmfBitmapFile(std::span<const uint8_t> bitmapInfo,
                                   std::span<const uint8_t> bits) {
  constexpr uint32_t kFileHeader = 14;
  const uint64_t total = uint64_t{kFileHeader} + bitmapInfo.size() + bits.size();
  if (total > UINT32_MAX) throw ERangeError();
  const uint32_t offBits = kFileHeader + static_cast<uint32_t>(bitmapInfo.size());
  const uint32_t fileSize = static_cast<uint32_t>(total);
  std::vector<uint8_t> out(fileSize);
  uint8_t* p = out.data();
  p[0] = 'B';
  p[1] = 'M';
  std::memcpy(p + 2, &fileSize, 4);
  std::memset(p + 6, 0, 4);
  std::memcpy(p + 10, &offBits, 4);
  if (!bitmapInfo.empty()) std::memcpy(p + kFileHeader, bitmapInfo.data(), bitmapInfo.size());
  if (!bits.empty()) std::memcpy(p + offBits, bits.data(), bits.size());
  return out;
}

}  // namespace pv
