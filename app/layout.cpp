#include "app/layout.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>

#include "docengine/metafile_canvas.h"
#include "docengine/page_settings.h"
#include "pdf/engine.h"
#include "platform/checked.h"
#include "platform/process.h"
#include "platform/text.h"

namespace pv {

namespace {

constexpr const char* kPromotionalCaption = "Made with Plotvane";
constexpr int32_t kFontSize = 90;
// Regions, polygon and macro pads: cross-hatched by default, solid on request.
TBrushStyle BoardFillStyle(const DriverSettings& settings) {
  return settings.SolidFill ? TBrushStyle::bsSolid : TBrushStyle::bsDiagCross;
}

// Takes every drawing call and keeps nothing.
class DiscardingCanvas final : public TCanvas {
 public:
  void FillRect(const TRect&) override {}
  void Ellipse(int32_t, int32_t, int32_t, int32_t) override {}
  void Arc(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t, int32_t) override {}
  void MoveTo(int32_t, int32_t) override {}
  void LineTo(int32_t, int32_t) override {}
  void Polygon(const TPoint*, uint32_t) override {}
  void TextOut(int32_t, int32_t, std::u16string_view) override {}
};

}  // namespace

// A read-only PDF is left alone: replacing it would undo the protection its owner gave it.
std::string OutputProblem(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return "a folder of that name is in the way";
    if (!S_ISREG(st.st_mode)) return "something other than a file is in the way";
    if ((st.st_mode & 0222) == 0 || ::access(path.c_str(), W_OK) != 0)
      return "the existing file is read-only";
  }
  std::string folder = ExtractFilePath(path);
  if (folder.empty()) folder = ".";
  if (::access(folder.c_str(), W_OK | X_OK) != 0) return "its folder is not writable";
  return {};
}

namespace {

// An engine message (which may hold line breaks) on one line, or only its first lines.
std::string OneLine(const std::string& text, int lines = 1 << 30) {
  std::string out;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      if (c == '\n' && --lines == 0) break;
      if (!out.empty() && out.back() != ' ') out += ' ';
    } else {
      out += c;
    }
  }
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

}  // namespace

std::string OutputFileName(const std::string& argument) {
  std::string folder = ExtractFilePath(argument);
  std::string name = ExtractFileName(argument);
  std::string ext = ExtractFileExt(name);
  std::string base = name.substr(0, name.size() - ext.size());
  return folder + base + "_" + (ext.empty() ? ext : ext.substr(1)) + ".pdf";
}

PageGeometry ComputePageGeometry(const TID_DrawFileFormat& image, bool actualSize) {
  PageGeometry g;
  const int32_t width = CheckedSub(image.MaxX, image.MinX);
  const int32_t height = CheckedSub(image.MaxY, image.MinY);
  g.Landscape = width > height;
  g.Tabloid = static_cast<double>(width) > 11000.0 || static_cast<double>(height) > 11000.0;

  // The page as the engine will size it, in screen pixels.
  TgtPageSettings page;
  page.SetOrientation(g.Landscape ? TPrinterOrientation::poLandscape
                                  : TPrinterOrientation::poPortrait);
  page.SetPaperSize(g.Tabloid ? TgtPaperSize::Tabloid : TgtPaperSize::Letter);
  g.PageHeight = CheckedNarrow(static_cast<int64_t>(CheckedTrunc(page.Height())) * 1000 / 96);
  g.PageWidth = CheckedNarrow(static_cast<int64_t>(CheckedTrunc(page.Width())) * 1000 / 96);

  if (width > 0 && height > 0) {
    double imageRatio = static_cast<double>(width) / height;
    double pageRatio = static_cast<double>(g.PageWidth) / g.PageHeight;
    g.Scale = imageRatio > pageRatio ? g.PageWidth * 0.9 / width : g.PageHeight * 0.9 / height;
  } else {
    // Nothing drawn, or a line without width: the page shows it at actual size.
    g.Scale = 1.0;
  }
  if (actualSize) g.Scale = 1.0;

  g.OffsetX = g.PageWidth / g.Scale / 2 - CheckedAdd(image.MaxX, image.MinX) / 2.0;
  g.OffsetY = g.PageHeight / g.Scale / 2 - CheckedAdd(image.MaxY, image.MinY) / 2.0;
  g.VisibleWidth = std::max(CheckedTrunc(g.PageWidth / g.Scale), 1);
  g.VisibleHeight = std::max(CheckedTrunc(g.PageHeight / g.Scale), 1);
  g.OriginX = CheckedNeg(CheckedTrunc(g.OffsetX));
  g.OriginY = CheckedNeg(CheckedTrunc(g.OffsetY));

  // The board is drawn once on a canvas that keeps nothing: whatever the drawing cannot work
  // out in 32 bits (a coordinate, a pen width, a flash of negative size outside the
  // extents) raises here, before any page exists.
  if (image.Count > 0) {
    DiscardingCanvas canvas;
    TID_DrawContext probe;
    InitDrawContext(probe, &canvas, g.PageWidth, g.PageHeight, g.VisibleWidth, g.VisibleHeight,
                    g.OriginX, g.OriginY);
    PaintImage(probe, image);
  }
  return g;
}

PdfPageLayout::PdfPageLayout(Messages& messages, const DriverSettings& settings)
    : messages_(messages), settings_(settings) {}

PdfPageLayout::~PdfPageLayout() = default;

void PdfPageLayout::LayoutPage(const std::string& argument, TID_DrawFileFormat& image,
                               int pageNumber) {
  const PageGeometry g = ComputePageGeometry(image, settings_.ActualSize);

  const bool first = pageNumber == 1 || !engine_;
  if (first) {
    // Spelt so on purpose: scripts and callers match this exact text.
    messages_.LogThenOut("Initiaize PDF Engine");
    engine_ = std::make_unique<TgtPDFEngine>();
    engine_->ClearEngineStates();
    outputName_ = settings_.OutputPath.empty() ? OutputFileName(argument) : settings_.OutputPath;
    engine_->SetFileName(outputName_);
    engine_->Preferences().SetShowSetupDialog(false);
    if (!settings_.OpenAfterCreate) engine_->Preferences().SetOpenAfterCreate(false);
    engine_->SetInputXRes(1000);
    engine_->SetInputYRes(1000);
    engine_->SetMeasurementUnit(TgtUnitType::muPixels);
    engine_->SetItemsToRender({irText, irShape});
    if (memoryOutput_) {
      engine_->Preferences().SetOutputToUserStream(true);
      engine_->Preferences().SetOpenAfterCreate(false);
      engine_->SetUserStream(memoryOutput_);
    }
  }

  engine_->Page().SetOrientation(g.Landscape ? TPrinterOrientation::poLandscape
                                             : TPrinterOrientation::poPortrait);
  engine_->Page().SetPaperSize(g.Tabloid ? TgtPaperSize::Tabloid : TgtPaperSize::Letter);

  if (first) {
    messages_.LogThenOut("Begin PDF Document");
    // The engine's message names neither the file nor the reason; the user gets both.
    if (!memoryOutput_) {
      const std::string problem = OutputProblem(outputName_);
      if (!problem.empty())
        throw EInOutError(OneLine(EFileCreateError().what(), 1) + " " + outputName_ + ": " +
                          problem);
    }
    try {
      engine_->BeginDoc();
    } catch (const EFileCreateError& e) {
      if (e.Reason().empty()) throw EInOutError(OneLine(e.what()) + " (" + outputName_ + ")");
      throw EInOutError(OneLine(e.what(), 1) + " " + outputName_ + ": " + e.Reason());
    }
  } else {
    messages_.LogThenOut("Start New PDF Page");
    engine_->NewPage();
  }

  TCanvas* canvas = engine_->PageCanvas();
  if (!canvas) throw ERangeError("The PDF document has no open page");
  InitDrawContext(context_, canvas, g.PageWidth, g.PageHeight, g.VisibleWidth, g.VisibleHeight,
                  g.OriginX, g.OriginY);
  ClearPage(context_, clWhite);
  image.Color = clBlack;
  SetFillStyle(context_, BoardFillStyle(settings_));
  PaintImage(context_, image);

  canvas->Font.Color = clBlack;
  canvas->Brush.Style = TBrushStyle::bsClear;
  canvas->Font.SetSize(kFontSize);
  canvas->TextOut(100, 120, Utf8ToUtf16(kPromotionalCaption));
  canvas->TextOut(100, 240, Utf8ToUtf16("File Name: " + argument));

  messages_.LogThenOut("Image Complete");
}

bool PdfPageLayout::FinishDocument() {
  if (!engine_) return false;
  // The engine forgets its output files when the document ends.
  const bool hasOutput = memoryOutput_ || !engine_->OutputFiles().empty();
  engine_->EndDoc();
  const bool written = hasOutput && engine_->DocumentState() == TgtDocumentState::dsEnded;
  engine_.reset();
  return written;
}

int RunConversion(int argc, char** argv) {
  return RunConversion(argc, argv, [](Messages& m, const DriverSettings& s) {
    return std::make_unique<PdfPageLayout>(m, s);
  });
}

}  // namespace pv
