#pragma once
// Reading small inline Gerber texts through the real entry point.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gerber/reader.h"
#include "gerber/reader_internal.h"
#include "support/support.h"

namespace pvtest {

struct GerberRead {
  bool accepted = false;
  pv::TID_DrawFileFormat image;

  int32_t count() const { return image.Count; }
  const pv::TID_DrawRecord& rec(int32_t i) const {
    EXPECT_LT(i, image.Count);
    return image.Records.at(static_cast<size_t>(i));
  }
};

// Whether a read starts from empty aperture and macro tables, as the driver's do, or on
// what the previous read left in them.
enum class Tables { Reset, Keep };

// Writes the text to a temporary file and reads it as the driver does, with the default
// format.
inline GerberRead ReadGerberText(const std::string& text, Tables tables = Tables::Reset) {
  TempDir dir;
  WriteFile(dir / "board.gbr", text);
  GerberRead r;
  if (tables == Tables::Reset) pv::ResetReaderTables();
  r.accepted = pv::ReadGerberFile((dir / "board.gbr").string(), r.image, pv::kDefaultGerberFormat);
  return r;
}

inline std::vector<int32_t> Points(const pv::TID_DrawRecord& r) {
  return std::vector<int32_t>(r.Points.begin(), r.Points.end());
}

// Format 3.3 inch with leading zeros omitted: the digits of a coordinate are image units.
inline const char* kInchHeader = "%FSLAX33Y33*%\n%MOIN*%\n";

}  // namespace pvtest
