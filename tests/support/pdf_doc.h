#pragma once
// A PDF engine that writes its document into memory, for the suites of pv_pdf.
#include <cstdint>
#include <string>
#include <vector>

#include "pdf/engine.h"

namespace pvtest {

// A document written into memory: Letter pages (612 x 792 points), origin at the page's
// corner, no dialog, nothing opened afterwards.
struct MemDoc {
  std::vector<uint8_t> out;
  pv::TgtPDFEngine e;
  explicit MemDoc(int32_t resolution = pv::kScreenPPI) {
    e.Preferences().SetShowSetupDialog(false);
    e.Preferences().SetOpenAfterCreate(false);
    e.Preferences().SetOutputToUserStream(true);
    e.SetUserStream(&out);
    e.SetMeasurementUnit(pv::TgtUnitType::muPixels);
    e.SetReferencePoint(pv::TgtReferencePoint::rpPage);
    e.SetInputXRes(resolution);
    e.SetInputYRes(resolution);
    e.Page().SetPaperSize(pv::TgtPaperSize::Letter);
  }
  std::string Pdf() const { return std::string(out.begin(), out.end()); }
};

}  // namespace pvtest
