#pragma once
// Reading Gerber texts and files through the real entry points, and looking at what they made.
#include <gtest/gtest.h>

#include <exception>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "gerber/excellon.h"
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

// A read that may raise: what it raised is kept, so that one file of many cannot end the
// test.
struct CaughtRead : GerberRead {
  bool raised = false;
  std::string error;    // what() of anything raised
  std::string refusal;  // the reason a drill file was refused with
};

// Reads a file on disk as the driver does (tables reset, then the default format),
// catching what the read raises.
inline CaughtRead ReadGerberPath(const std::filesystem::path& path) {
  CaughtRead r;
  pv::ResetReaderTables();
  try {
    r.accepted = pv::ReadGerberFile(path.string(), r.image, pv::kDefaultGerberFormat);
  } catch (const pv::EDrillRefused& e) {
    r.raised = true;
    r.error = r.refusal = e.what();
  } catch (const std::exception& e) {
    r.raised = true;
    r.error = e.what();
  }
  return r;
}

inline std::vector<int32_t> Points(const pv::TID_DrawRecord& r) {
  return std::vector<int32_t>(r.Points.begin(), r.Points.end());
}

// A record's reference point: where it was flashed, or the centre of its box.
inline pv::TPoint At(const pv::TID_DrawRecord& r) {
  return {r.X, r.Y};
}

// What the read was refused with: what() of the E it raised; empty, and a failure, when it
// raised none.
template <class E, class Read>
std::string RefusalOf(Read&& read) {
  try {
    read();
  } catch (const E& e) {
    return e.what();
  }
  ADD_FAILURE() << "the read was not refused";
  return {};
}

// Format 3.3 inch with leading zeros omitted: the digits of a coordinate are image units.
inline const char* kInchHeader = "%FSLAX33Y33*%\n%MOIN*%\n";

}  // namespace pvtest

namespace pv {
inline void PrintTo(const TPoint& p, std::ostream* os) {
  *os << "(" << p.X << ", " << p.Y << ")";
}
}  // namespace pv
