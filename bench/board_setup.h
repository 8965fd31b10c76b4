#pragma once
// Shared set-up of the benchmark tools: a generated board read once, its page drawn the way
// the page layout draws it, and a PDF engine configured as the page layout configures it.
#include <string>
#include <vector>

#include "app/layout.h"
#include "bench/synthetic_gerber.h"
#include "docengine/engine.h"
#include "docengine/metafile_canvas.h"
#include "docengine/page_settings.h"
#include "draw/draw.h"
#include "gerber/reader.h"
#include "pdf/engine.h"

namespace pv::bench {

// The generated 1 MB inch board.
inline const std::string& BoardText() {
  static const std::string text = [] {
    TSyntheticBoardOptions o;
    o.Bytes = 1 << 20;
    return GenerateSyntheticGerber(o);
  }();
  return text;
}

// The board read into an image, drawn in black.
inline const TID_DrawFileFormat& BoardImage() {
  static const TID_DrawFileFormat image = [] {
    TID_DrawFileFormat im;
    ResetReaderTables();
    ReadGerberBytes(BoardText(), im, kDefaultGerberFormat);
    im.Color = clBlack;
    return im;
  }();
  return image;
}

// Draws the image on a page canvas as the page layout does (without the caption).
inline void DrawBoard(TCanvas& canvas, const TID_DrawFileFormat& image) {
  const PageGeometry g = ComputePageGeometry(image, false);
  TID_DrawContext c;
  InitDrawContext(c, &canvas, g.PageWidth, g.PageHeight, g.VisibleWidth, g.VisibleHeight, g.OriginX,
                  g.OriginY);
  ClearPage(c, clWhite);
  SetFillStyle(c, TBrushStyle::bsDiagCross);
  PaintImage(c, image);
}

// A PDF engine set up as the page layout sets it, writing into a buffer.
inline void SetUpEngine(TgtPDFEngine& e, std::vector<uint8_t>& pdf, bool compress,
                        const TID_DrawFileFormat& image) {
  e.SetFileName("bench");
  e.Preferences().SetShowSetupDialog(false);
  e.Preferences().SetOutputToUserStream(true);
  e.Preferences().SetOpenAfterCreate(false);
  e.SetUserStream(&pdf);
  e.Compression().Enabled = compress;
  e.SetInputXRes(1000);
  e.SetInputYRes(1000);
  e.SetMeasurementUnit(TgtUnitType::muPixels);
  e.SetItemsToRender({irText, irShape});
  const PageGeometry g = ComputePageGeometry(image, false);
  e.Page().SetOrientation(g.Landscape ? TPrinterOrientation::poLandscape
                                      : TPrinterOrientation::poPortrait);
  e.Page().SetPaperSize(g.Tabloid ? TgtPaperSize::Tabloid : TgtPaperSize::Letter);
}

// A document engine with an open document that only collects items (no output).
class TItemCollectingEngine : public TgtCustomDocumentEngine {
 public:
  TItemCollectingEngine() {
    Preferences().SetShowSetupDialog(false);
    Preferences().SetOpenAfterCreate(false);
    SetInputXRes(1000);
    SetInputYRes(1000);
    SetItemsToRender({irText, irShape});
    BeginDoc();
  }
};

// The largest stream of an uncompressed PDF: the page content.
inline std::string LargestStream(const std::vector<uint8_t>& pdf) {
  const std::string text(pdf.begin(), pdf.end());
  std::string largest;
  for (size_t pos = 0; (pos = text.find(">>\r\nstream\r\n", pos)) != std::string::npos;) {
    const size_t start = pos + 12, end = text.find("\r\nendstream", start);
    if (end == std::string::npos) break;
    if (end - start > largest.size()) largest = text.substr(start, end - start);
    pos = end;
  }
  return largest;
}

// The uncompressed content stream of the generated board's page.
inline const std::string& PageContent() {
  static const std::string content = [] {
    std::vector<uint8_t> pdf;
    {
      TgtPDFEngine e;
      SetUpEngine(e, pdf, false, BoardImage());
      e.BeginDoc();
      DrawBoard(*e.PageCanvas(), BoardImage());
      e.EndDoc();
    }
    return LargestStream(pdf);
  }();
  return content;
}

}  // namespace pv::bench
