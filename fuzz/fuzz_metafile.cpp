// The metafile processor on arbitrary EMF bytes, followed by the PDF output of the items
// it made: the page recording is played into an open document (as the engine plays every
// page it closes) and the document is ended into memory. The processor trusts nothing in
// the recording, so the bytes go to it as they are, well formed or not; the well-formedness
// check and loading run on them too. Any exception or a document that is not a complete
// PDF file is a finding.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "docengine/engine.h"
#include "docengine/metafile.h"
#include "pdf/engine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);

  pv::TMetafile loaded;
  const bool wellFormed = pv::TMetafile::IsWellFormed(bytes);
  if (loaded.LoadFromBytes(bytes) && !wellFormed) {
    // Loading may only drop padding after the counted image; then it must be well formed.
    if (!pv::TMetafile::IsWellFormed(loaded.Bytes())) std::abort();
  }

  pv::TMetafile page;
  page.SetWidth(loaded.Width() > 0 ? loaded.Width() : 816);
  page.SetHeight(loaded.Height() > 0 ? loaded.Height() : 1056);
  page.MutableBytes().assign(data, data + size);

  std::vector<uint8_t> pdf;
  {
    pv::TgtPDFEngine engine;
    engine.Preferences().SetShowSetupDialog(false);
    engine.Preferences().SetOpenAfterCreate(false);
    engine.Preferences().SetOutputToUserStream(true);
    engine.SetUserStream(&pdf);
    engine.SetMeasurementUnit(pv::TgtUnitType::muPixels);
    // The conversion's settings, and every item class on every other input.
    if (size % 2 == 0) {
      engine.SetInputXRes(1000);
      engine.SetInputYRes(1000);
      engine.SetItemsToRender({pv::irText, pv::irShape});
    }
    engine.BeginDoc();
    engine.PlayMetafile(page);
    engine.EndDoc();
    if (engine.DocumentState() != pv::TgtDocumentState::dsEnded) std::abort();
  }
  static constexpr std::string_view kHead = "%PDF-1.4\r\n", kTail = "%%EOF";
  if (pdf.size() < kHead.size() + kTail.size() ||
      std::memcmp(pdf.data(), kHead.data(), kHead.size()) != 0 ||
      std::memcmp(pdf.data() + pdf.size() - kTail.size(), kTail.data(), kTail.size()) != 0)
    std::abort();
  return 0;
}
