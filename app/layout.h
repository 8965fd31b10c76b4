#pragma once
// Page layout: every accepted image becomes one page of a single PDF document, scaled to
// fit Letter or Tabloid (or at actual size), centred, black on white, with a caption.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/driver.h"
#include "draw/draw.h"

namespace pv {

class TgtPDFEngine;

// The numbers of one page, worked out before any page is made so that a board too large
// for 32-bit arithmetic gets no page at all.
struct PageGeometry {
  bool Landscape = false;
  bool Tabloid = false;
  int32_t PageWidth = 0;  // image units (1/1000 inch)
  int32_t PageHeight = 0;
  double Scale = 1.0;
  double OffsetX = 0;
  double OffsetY = 0;
  int32_t VisibleWidth = 0;
  int32_t VisibleHeight = 0;
  int32_t OriginX = 0;
  int32_t OriginY = 0;
};

// Raises EIntOverflow / ERangeError when the board does not fit the arithmetic.
PageGeometry ComputePageGeometry(const TID_DrawFileFormat& image, bool actualSize);

// Why the PDF cannot go to path (a folder or other thing in the way, a read-only file, a
// folder that takes no file), or empty when nothing speaks against it.
std::string OutputProblem(const std::string& path);

// folder + name + "_" + extension without the dot + ".pdf".
std::string OutputFileName(const std::string& argument);

class PdfPageLayout : public PageLayout {
 public:
  PdfPageLayout(Messages& messages, const DriverSettings& settings);
  ~PdfPageLayout() override;
  void LayoutPage(const std::string& argument, TID_DrawFileFormat& image, int pageNumber) override;
  bool FinishDocument() override;
  std::string OutputName() const override { return outputName_; }

  TgtPDFEngine* Engine() const { return engine_.get(); }
  // Sends the document into a buffer of the caller's instead of the output file (set before
  // the first page; the engine's OutputToUserStream).
  void SetMemoryOutput(std::vector<uint8_t>* target) { memoryOutput_ = target; }

 private:
  Messages& messages_;
  DriverSettings settings_;
  std::unique_ptr<TgtPDFEngine> engine_;
  std::string outputName_;
  std::vector<uint8_t>* memoryOutput_ = nullptr;
  TID_DrawContext context_;
};

}  // namespace pv
