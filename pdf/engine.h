#pragma once
// The PDF back end of the document engine: a PDF 1.4 file written front to back in one
// pass, one group of objects per page, then the shared objects, the cross-reference table
// and the trailer.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "docengine/engine.h"
#include "pdf/compress.h"
#include "pdf/crypt.h"
#include "pdf/engine_images.h"
#include "pdf/fonts.h"
#include "pdf/object_writer.h"
#include "pdf/output.h"
#include "pdf/shapes.h"
#include "platform/errors.h"

namespace pv {

// The output file could not be created; the document was reset.
struct EFileCreateError : EInOutError {
  EFileCreateError()
      : EInOutError(
            "File could not be created!\r\n\r\nPossible cause: It could be in use by some other "
            "application") {}
  // With the reason the file could not be created (the system's words), when known.
  explicit EFileCreateError(std::string reason) : EFileCreateError() {
    reason_ = std::move(reason);
  }
  const std::string& Reason() const { return reason_; }

 private:
  std::string reason_;
};

// An image output format the PDF engine cannot write.
struct EImageFormatError : EDocumentEngineError {
  EImageFormatError() : EDocumentEngineError("The PDF Engine does not support image format") {}
};

enum class TgtTTFontEmbedding : uint8_t { etfNone, etfFull, etfSubset };

class TgtPDFPreferences : public TgtPlainSheetPreferences {
 public:
  using TgtPlainSheetPreferences::TgtPlainSheetPreferences;
  void Assign(const TgtPreferences& other) override;
  TgtTTFontEmbedding EmbedTrueTypeFonts() const { return embed_; }
  void SetEmbedTrueTypeFonts(TgtTTFontEmbedding v) { Change(&TgtPDFPreferences::embed_, v); }

 private:
  TgtTTFontEmbedding embed_ = TgtTTFontEmbedding::etfNone;
};

enum class TgtPageLayout : uint8_t { plSinglePage, plOneColumn, plTwoColumnLeft, plTwoColumnRight };
enum class TgtPageMode : uint8_t { pmUseNone, pmUseOutlines, pmUseThumbs, pmFullScreen };
enum class TgtNonFullScreenPageMode : uint8_t { nfspmUseNone, nfspmUseOutlines, nfspmUseThumbs };
enum class TgtTransitionEffect : uint8_t {
  teNone,
  teSplitHorizontalInward,
  teSplitHorizontalOutward,
  teSplitVerticalInward,
  teSplitVerticalOutward,
  teBlindsHorizontal,
  teBlindsVertical,
  teBoxInward,
  teBoxOutward,
  teWipeLeftToRight,
  teWipeBottomToTop,
  teWipeRightToLeft,
  teWipeTopToBottom,
  teDissolve,
  teGlitterLeftToRight,
  teGlitterTopToBottom,
  teGlitterTopLeftToBottomRight
};

struct TgtPresentationMode {
  int32_t Duration = 1;
  TgtTransitionEffect TransitionEffect = TgtTransitionEffect::teNone;
};

struct TgtViewerPreferences {
  TgtPageLayout PageLayout = TgtPageLayout::plOneColumn;
  TgtPageMode PageMode = TgtPageMode::pmUseNone;
  bool HideToolBar = false;
  bool HideMenuBar = false;
  bool HideWindowUI = false;
  bool FitWindow = false;
  bool CenterWindow = false;
  TgtNonFullScreenPageMode NonFullScreenPageMode = TgtNonFullScreenPageMode::nfspmUseNone;
  TgtPresentationMode PresentationMode;
};

enum class TgtPDFFontEncoding : uint8_t {
  feWinAnsiEncoding,
  feMacRomanEncoding,
  feMacExpertEncoding,
  feStandardEncoding,
  fePDFDocEncoding
};

// A right-to-left aware visual order of a line for a left-to-right page: runs of Hebrew and
// Arabic text (with the blanks, marks and numbers between them) are reversed, numbers keep
// their digit order and paired brackets are mirrored.
std::u16string VisualOrder(std::u16string_view text);

struct TgtPageInfo {
  int32_t ObjectNumber = 0;  // 0: no page object (an entry only padding the list)
  double Width = 0;          // points
  double Height = 0;
};

class TgtCustomPDFEngine : public TgtCustomPlainsheetEngine {
 public:
  TgtCustomPDFEngine();
  ~TgtCustomPDFEngine() override;

  // ---- Document engine hooks -----------------------------------------------------------
  void DoBeginPage() override;
  void DoEndPage() override;
  void DoBeginDoc() override;
  void DoEndDoc() override;
  void RenderText(const TgtTextItem& item) override;
  void RenderImage(const TgtImageItem& item) override;
  void RenderImageStream(const TgtImageStream& item) override;
  void RenderClip(const TgtClipItem& item) override;
  void RenderPath(const TgtPathItem& item) override;
  void RenderPolyPolygon(const TgtPolyPolygonItem& item) override;
  void RenderEOF(const TgtEOFItem& item) override;
  void RenderPolyDraw(const TgtPolyDrawItem& item) override;
  void RenderLine(const TPen& pen, double x1, double y1, double x2, double y2) override;
  void RenderRectangle(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                       double y2) override;
  void RenderEllipse(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                     double y2) override;
  void RenderRoundRect(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                       double y2, double cornerWidth, double cornerHeight) override;
  void RenderPolygon(const TgtPoint* points, int32_t count, const TBrush* brush, const TPen& pen,
                     bool closed) override;
  void RenderPolyShape(const TgtPolyShapeItem& item, bool closed) override;
  void RenderArc(const TPen& pen, double x1, double y1, double x2, double y2, double x3, double y3,
                 double x4, double y4) override;
  void RenderPie(const TPen& pen, const TBrush* brush, double x1, double y1, double x2, double y2,
                 double x3, double y3, double x4, double y4) override;
  void RenderChord(const TPen& pen, const TBrush* brush, double x1, double y1, double x2, double y2,
                   double x3, double y3, double x4, double y4) override;
  void RenderPolyBezier(const TgtPoint* points, int32_t count, const TPen& pen) override;
  TgtPDFPreferences* PreferencesClass() const override;
  void CheckOutputImageFormat(TgtOutputImageFormat format) override;

  // ---- PDF-only hooks, in slot order -----------------------------------------------------
  virtual std::string BuildCatalog();
  virtual std::string BuildPageDict();
  virtual void WriteEncryptDict();
  virtual std::string BuildTrailer();
  virtual void EncryptStream(std::string& data, int32_t objectNumber);
  virtual std::string EncryptString(std::string_view bytes, int32_t objectNumber);
  // Turns a bitmap into the current page's thumbnail; the base keeps none.
  virtual void MakeThumbnail(const TgtGraphic& bitmap);

  // ---- Properties ------------------------------------------------------------------------
  TgtCompression& Compression() { return compression_; }
  TgtPDFPreferences& Preferences() const {
    return static_cast<TgtPDFPreferences&>(TgtCustomDocumentEngine::Preferences());
  }
  TgtViewerPreferences& ViewerPreferences() { return viewerPreferences_; }
  TgtPDFEncryptionSettings& Encryption() { return encryption_; }
  std::vector<std::string>& FontEmbedExcludeList() { return fontEmbedExcludeList_; }
  TgtPDFFontEncoding FontEncoding() const { return fontEncoding_; }
  void SetFontEncoding(TgtPDFFontEncoding e) { fontEncoding_ = e; }
  bool IgnoreCharSpacing() const { return ignoreCharSpacing_; }
  void SetIgnoreCharSpacing(bool v) { ignoreCharSpacing_ = v; }
  bool BiDi() const { return biDi_; }
  void SetBiDi(bool v) { biDi_ = v; }
  TColor BackgroundColor() const { return backgroundColor_; }
  void SetBackgroundColor(TColor c) { backgroundColor_ = c; }
  // A BMP or JPEG picture painted on every page under its content (none by default).
  TgtGraphic& BackgroundImage() { return backgroundImage_; }
  TgtBackgroundDisplayType BackgroundImageDisplayType() const { return backgroundDisplayType_; }
  void SetBackgroundImageDisplayType(TgtBackgroundDisplayType t) { backgroundDisplayType_ = t; }
  // With Preferences.OutputToUserStream the document is appended to this buffer; without
  // a buffer it goes to the output file as usual.
  void SetUserStream(std::vector<uint8_t>* stream) { userStream_ = stream; }

  // ---- Writer operations ----------------------------------------------------------------
  int32_t AllocObject() { return writer_.Allocate(); }
  static std::string ObjRef(int32_t n) { return TgtPdfObjectWriter::Ref(n); }
  void WriteObject(std::string_view text, int32_t n, bool close) {
    writer_.WriteObject(text, n, close);
  }
  // See TgtPdfObjectWriter::WriteStreamObject.
  void WriteStreamObject(std::string_view dict, std::string_view data, int32_t n,
                         bool lengthOnOwnLine = false) {
    writer_.WriteStreamObject(dict, data, n, lengthOnOwnLine);
  }
  int32_t ObjectCount() const { return writer_.Count(); }
  double PointsPerUnit() const { return pointsPerUnit_; }
  const std::string& DocumentDate() const { return documentDate_; }
  // The page's content not yet handed to the compressor (with compression on, whole
  // chunks of it are deflated while the page is still being rendered).
  const std::string& PageContent() const { return pageContent_; }
  const std::vector<TgtPageInfo>& PageInfos() const { return pageInfos_; }
  // The page being rendered; null outside DoBeginPage .. DoEndPage.
  const TgtPageInfo* CurrentPageInfo() const;
  // The content-stream coordinates of a point in engine units: points times the input
  // resolution factor, y flipped; the page's opening cm turns them back into points.
  double ToPdfX(double x) const;
  double ToPdfY(double y) const;
  const std::vector<std::unique_ptr<TgtPDFFont>>& FontList() const { return fontList_; }

 protected:
  TgtPdfOutputStream* Output() const { return output_; }

 private:
  std::string HatchPattern(TBrushStyle style);
  void WritePatterns();
  void WriteFonts();
  void WriteOutlines();
  void WriteCatalogOnce();
  void WritePageTree();
  void WriteResources();
  void WriteProcSet();
  void WriteInfo();
  void FreeWriterState();
  bool Excluded(const std::string& face) const;
  std::string ViewerPreferencesText() const;
  std::string TransitionText() const;
  void PaintBackground();
  TgtPDFFont& FontFor(const TFont& font);
  void RenderTextLine(const TgtTextItem& item, std::u16string line);
  void WriteLinks(const TgtTextItem& item, const std::u16string& line);
  // Hands whole chunks of the page content to the compressor; called after each item.
  void ContentWritten() { writer_.ContentWritten(pageContent_); }
  // Images: objects go after the page's content stream, named in the shared resources.
  std::string ImageStreamDict(const TgtPdfImageData& image, std::string& data);
  int32_t WriteImageXObject(const uint8_t* bytes, size_t size, TgtPoint* pixelSize = nullptr);
  const std::string* ImageResource(int32_t imageIndex, const uint8_t* bytes, size_t size);
  void DrawImageResource(const TgtImageItem& item, const std::string& name);
  std::string BackgroundImageText(double pageW, double pageH);
  void WriteBackgroundPattern(int32_t n);
  void WriteThumbnails();

  TgtCompression compression_;
  TgtViewerPreferences viewerPreferences_;
  TgtPDFEncryptionSettings encryption_;
  std::vector<std::string> fontEmbedExcludeList_;
  TgtPDFFontEncoding fontEncoding_ = TgtPDFFontEncoding::feWinAnsiEncoding;
  bool ignoreCharSpacing_ = false;
  bool biDi_ = false;
  std::vector<uint8_t>* userStream_ = nullptr;

  // Writer state, from DoBeginDoc to DoEndDoc.
  std::unique_ptr<TgtPdfOutputStream> ownedOutput_;
  TgtPdfOutputStream* output_ = nullptr;
  TgtPdfObjectWriter writer_;
  std::vector<TgtPageInfo> pageInfos_;
  std::string pageContent_;
  int32_t contentsObject_ = 0;
  int32_t contentsLengthObject_ = 0;
  int32_t currentPageObject_ = 0;
  std::vector<std::unique_ptr<TgtPDFFont>> fontList_;
  std::vector<std::pair<std::string, int32_t>> patternList_;
  struct TgtPdfXObject {
    int32_t ImageIndex = -1;   // in the engine's image list
    int32_t ObjectNumber = 0;  // 0: a picture the writer could not read
    std::string Name;
  };
  std::vector<TgtPdfXObject> imageList_;
  int32_t backgroundObject_ = 0;  // 0 not written yet, -1 unreadable
  TgtPoint backgroundSize_;       // points
  TgtBackgroundDisplayType backgroundType_ = TgtBackgroundDisplayType::dtCenter;
  struct TgtPDFThumbnailItem {
    int32_t Page = 0;
    int32_t ObjectNumber = 0;
    std::string Dict;
    std::string Data;  // compressed samples
  };
  std::vector<TgtPDFThumbnailItem> thumbnails_;
  std::string annotRefs_;
  std::string documentDate_;
  int32_t outlinesObject_ = 0;
  int32_t encryptObject_ = 0;
  bool catalogWritten_ = false;
  bool pageOpen_ = false;  // between DoBeginPage and the end of DoEndPage
  std::unique_ptr<TgtPDFEncryption> crypt_;
  double pointsPerUnit_ = 72.0 / kScreenPPI;
  TgtPdfShapeWriter shapes_;
};

// Adds form fields, annotations, XMP metadata and document actions to the custom engine;
// with none of those added its output is exactly the custom engine's.
class TgtExPDFEngine : public TgtCustomPDFEngine {
 public:
  std::string BuildCatalog() override;
  std::string BuildPageDict() override;
  void DoEndPage() override;
  void DoBeginDoc() override;
  void DoEndDoc() override;
};

class TgtPDFEngine : public TgtExPDFEngine {};

}  // namespace pv
