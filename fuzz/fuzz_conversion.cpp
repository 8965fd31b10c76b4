// The whole conversion of one file, on arbitrary bytes: read, lay out one page (scale,
// centring, drawing, caption), end the document into memory. A board beyond the 32-bit
// arithmetic may raise the documented overflow, range and division errors (the driver
// reports them and gives the file no page); anything else is a finding, and so is a
// document that is not a complete PDF file.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string_view>
#include <vector>

#include "app/driver.h"
#include "app/layout.h"
#include "draw/image.h"
#include "gerber/reader.h"
#include "pdf/engine.h"
#include "platform/errors.h"
#include "platform/logfile.h"

namespace {

bool EndsWith(const std::vector<uint8_t>& v, std::string_view tail) {
  return v.size() >= tail.size() &&
         std::memcmp(v.data() + v.size() - tail.size(), tail.data(), tail.size()) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pv::ResetReaderTables();
  pv::TID_DrawFileFormat image;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  try {
    if (!pv::ReadGerberBytes(bytes, image, pv::kDefaultGerberFormat)) return 0;
  } catch (const pv::EIntOverflow&) {
    return 0;
  } catch (const pv::ERangeError&) {
    return 0;
  }

  pv::LogFile log;  // never opened: lines go nowhere
  std::ostringstream out;
  pv::Messages messages(log, out);
  pv::PdfPageLayout layout(messages, pv::DriverSettings{});
  std::vector<uint8_t> pdf;
  layout.SetMemoryOutput(&pdf);
  bool paged = true;
  try {
    layout.LayoutPage("fuzz input.gbr", image, 1);
  } catch (const pv::EIntOverflow&) {
    paged = false;
  } catch (const pv::ERangeError&) {
    paged = false;
  } catch (const pv::EZeroDivide&) {
    paged = false;
  }
  // The page's numbers are all worked out before a page is made: a board that does not fit
  // the arithmetic gets no page, never half a page.
  if (!paged && layout.Engine() && layout.Engine()->PageCount() > 0) std::abort();
  const bool written = layout.FinishDocument();
  if (paged) {
    if (!written) std::abort();
    static constexpr std::string_view kHead = "%PDF-1.4\r\n";
    if (pdf.size() < kHead.size() || std::memcmp(pdf.data(), kHead.data(), kHead.size()) != 0)
      std::abort();
    if (!EndsWith(pdf, "%%EOF")) std::abort();
  }
  return 0;
}
