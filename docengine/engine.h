#pragma once
// The document engine: the output-format-neutral core of a document. A caller begins a
// document, draws each page on the page's recording canvas (or through the direct drawing
// operations), starts further pages and ends the document; at the end every stored page
// is rendered by handing its items to overridable output hooks, which a concrete engine
// implements to write its format. The base engine writes nothing.
//
// Internal unit: one screen pixel (1/96 inch). The direct drawing operations take
// coordinates in MeasurementUnit; the page canvas takes InputXRes x InputYRes dots per inch.
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "docengine/engine_preferences.h"
#include "docengine/items.h"
#include "docengine/metafile.h"
#include "docengine/metafile_host.h"
#include "docengine/page_settings.h"
#include "platform/fonts.h"
#include "platform/graphics.h"

namespace pv {

class TMetafileCanvas;
class TgtCustomDocumentEngine;

// Misuse of the engine. Handed to OnErrorMessage when one is assigned, raised otherwise.
struct EDocumentEngineError : std::runtime_error {
  using std::runtime_error::runtime_error;
};
struct EInvalidEngineState : EDocumentEngineError {
  EInvalidEngineState() : EDocumentEngineError("Not a valid Engine State identifier") {}
};
struct EInvalidPageNumber : EDocumentEngineError {
  EInvalidPageNumber() : EDocumentEngineError("Invalid Page Number") {}
};
struct EUnsupportedGraphics : EDocumentEngineError {
  EUnsupportedGraphics() : EDocumentEngineError("Unknown Graphics format") {}
};

enum TgtItemsToRenderKind : uint8_t { irText, irImage, irShape };

// A set of TgtItemsToRenderKind.
class TgtItemsToRender {
 public:
  constexpr TgtItemsToRender() = default;
  constexpr TgtItemsToRender(std::initializer_list<TgtItemsToRenderKind> kinds) {
    for (auto k : kinds) bits_ |= Bit(k);
  }
  static constexpr TgtItemsToRender All() { return {irText, irImage, irShape}; }
  constexpr bool Contains(TgtItemsToRenderKind k) const { return (bits_ & Bit(k)) != 0; }
  constexpr void Include(TgtItemsToRenderKind k) { bits_ |= Bit(k); }
  constexpr void Exclude(TgtItemsToRenderKind k) { bits_ &= static_cast<uint8_t>(~Bit(k)); }
  constexpr bool Empty() const { return bits_ == 0; }
  friend constexpr bool operator==(TgtItemsToRender, TgtItemsToRender) = default;

 private:
  static constexpr uint8_t Bit(TgtItemsToRenderKind k) { return static_cast<uint8_t>(1u << k); }
  uint8_t bits_ = 0;
};

// Capability bits a concrete engine fixes in its constructor.
enum : uint16_t {
  capText = 1 << 0,
  capImage = 1 << 1,
  capShape = 1 << 2,
  capHeaderFirstPageOnly = 1 << 3,
  capFooterFirstPageOnly = 1 << 4,
  capUnderlayFirstPageOnly = 1 << 5,
  capOverlayFirstPageOnly = 1 << 6,
  capImageOption1 = 1 << 7,
  capImageOption2 = 1 << 8,
  // The engine applies the input resolution itself: page recordings reach the metafile
  // processor unchanged.
  capInputResolution = 1 << 9,
};

enum class TgtReferencePoint : uint8_t { rpPage, rpMargin, rpBand };

enum class TgtDocumentState : uint8_t { dsIdle, dsBegun, dsEnded, dsCancelled, dsFailed };

// Which band receives new items.
enum class TgtBand : uint8_t { bdPage, bdHeader, bdFooter, bdUnderlay, bdOverlay };

enum class TgtBackgroundDisplayType : uint8_t {
  dtTile,
  dtTopLeft,
  dtTopCenter,
  dtTopRight,
  dtCenterLeft,
  dtCenter,
  dtCenterRight,
  dtBottomLeft,
  dtBottomCenter,
  dtBottomRight
};

// Modal results of the set-up dialog.
enum : int32_t { mrOk = 1, mrCancel = 2 };

// A set-up dialog that BeginDoc shows, bound to the engine.
class TgtBaseDlg {
 public:
  virtual ~TgtBaseDlg() = default;
  virtual int32_t ShowModal(TgtCustomDocumentEngine& engine) = 0;
};

// A picture handed to the engine: a bitmap (BMP file bytes), an icon (ICO file bytes), a
// JPEG image (JFIF bytes) or a metafile.
enum class TgtGraphicKind : uint8_t { gkNone, gkBitmap, gkIcon, gkMetafile, gkJPEG, gkOther };

struct TgtGraphic {
  TgtGraphicKind Kind = TgtGraphicKind::gkNone;
  std::vector<uint8_t> Data;  // the file bytes (not used for metafiles)
  TMetafile Metafile;         // gkMetafile
  int32_t Width = 0;          // pixels
  int32_t Height = 0;

  // A bitmap from the bytes of a BMP file; its size is read from the header (0 x 0 when
  // the header is missing or damaged).
  static TgtGraphic FromBitmapFile(std::vector<uint8_t> bytes);
  bool Empty() const { return Kind == TgtGraphicKind::gkNone; }
};

// The sides of the page border drawn along the margins.
struct TgtBorder {
  bool DrawLeft = false;
  bool DrawTop = false;
  bool DrawRight = false;
  bool DrawBottom = false;
  int32_t Width = 1;
  TColor Color = clBlack;
  TPenStyle Style = TPenStyle::psSolid;
};

struct TgtDocInfo {
  std::u16string Author;
  std::u16string Subject;
  std::u16string Creator;
  std::u16string Title;
  std::u16string Keywords;
};

// One outline (table of contents) entry.
struct TgtTOCItem {
  std::u16string Title;
  int32_t Parent = -1;  // index of the parent entry, -1 at the top level
  double X = 0;         // destination on the page, screen pixels
  double Y = 0;
  int32_t Page = 0;  // 0 for link entries
  std::u16string Link;
};

// A run of formatted text: its characters and the font style they take.
struct TgtTextRun {
  std::u16string Text;
  uint8_t Style = 0;
};

// A link found in a text: web, mail or file path.
enum class TgtLinkKind : uint8_t { lkNone, lkWeb, lkMail, lkFile };

class TgtComponent {
 public:
  virtual ~TgtComponent() = default;
  // Published for the designer; always empty, writes are ignored.
  std::string About() const { return {}; }
  void SetAbout(const std::string&) {}
  std::string Version() const { return {}; }
  void SetVersion(const std::string&) {}
};

using TgtNotifyEvent = std::function<void(TgtCustomDocumentEngine& sender)>;
using TgtErrorMessageEvent =
    std::function<void(TgtCustomDocumentEngine& sender, const EDocumentEngineError& error)>;
using TgtCellDrawEvent = std::function<void(TgtCustomDocumentEngine& sender, int32_t row,
                                            int32_t column, TgtTableCell& cell)>;
using TgtCalcVariablesEvent =
    std::function<void(TgtCustomDocumentEngine& sender, std::u16string& text)>;

class TgtCustomDocumentEngine : public TgtComponent, public TgtMetafileHost {
 public:
  TgtCustomDocumentEngine();
  ~TgtCustomDocumentEngine() override;
  TgtCustomDocumentEngine(const TgtCustomDocumentEngine&) = delete;
  TgtCustomDocumentEngine& operator=(const TgtCustomDocumentEngine&) = delete;

  // ---- Overridable operations, in slot order --------------------------------------------
  virtual void BeginDoc();
  virtual void EndDoc();
  virtual void NewPage();
  // Text with the inline tags <B>, <I>, <U>, <S> and their closing forms.
  virtual void FormattedTextOut(std::u16string_view text, double x, double y);
  // One TextOut per character, each moved along the rotation angle by the character's
  // width (against it when forward is false).
  virtual void TextOutAlongAngle(std::u16string_view text, bool forward, double x, double y);
  virtual void TextOut(std::u16string_view text, double x, double y);
  // 0-based column of the open table's current row.
  virtual void TableCellText(int32_t column, std::u16string_view text);
  // Lays the text out in the open paragraph; returns the height used in MeasurementUnit.
  virtual double ParagraphText(std::u16string_view text);
  // TextOut clipped to a rectangle (all in MeasurementUnit).
  virtual void TextRect(const TgtRectD& rect, std::u16string_view text, double x, double y);
  // Text laid out inside a box; alignment tba*, options tbo*.
  virtual void TextBox(const TgtRectD& rect, std::u16string_view text, uint8_t alignment,
                       uint8_t options);
  virtual void SetTextRotation(int32_t angle);
  virtual void SetTextOption(uint8_t option);
  // An encoded picture kept in its own item.
  virtual void DrawImageStream(const TgtRectD& rect, std::vector<uint8_t> encoded,
                               int32_t pixelWidth, int32_t pixelHeight);
  virtual void DrawGraphicStream(const TgtRectD& rect, const TgtGraphic& graphic);
  // At a point, in the picture's own size at ImageSettings.SourceDPI.
  virtual void DrawImage(double x, double y, const TgtGraphic& graphic);
  virtual void DrawImage(const TgtRectD& rect, const TgtGraphic& graphic);
  virtual void DrawImage(const TgtRectD& rect, int32_t imageIndex);
  virtual void TableCellImage(int32_t column, int32_t imageIndex);
  virtual int32_t AddImageAsResource(const TgtGraphic& graphic);
  virtual void Line(double x1, double y1, double x2, double y2);
  virtual void Rectangle(double x1, double y1, double x2, double y2, bool filled);
  virtual void RoundRect(double x1, double y1, double x2, double y2, double cornerWidth,
                         double cornerHeight, bool filled);
  virtual void Ellipse(double x1, double y1, double x2, double y2, bool filled);
  virtual void Polygon(std::span<const TgtPoint> points, bool filled);
  virtual void PolyLine(std::span<const TgtPoint> points);
  virtual void Arc(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                   double y4);
  virtual void Pie(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                   double y4, bool filled);
  virtual void Chord(double x1, double y1, double x2, double y2, double x3, double y3, double x4,
                     double y4, bool filled);
  virtual void PolyBezier(std::span<const TgtPoint> points);
  virtual void BeginPara();
  virtual void EndPara();
  // A table at (x, y) in MeasurementUnit with the given number of columns.
  virtual void BeginTable(double x, double y, int32_t columns);
  virtual void NewRow();
  virtual void NewRow(double height);
  virtual void EndTable();
  virtual void PlayMetafile(const TMetafile& metafile);
  virtual void PlayMetafile(const TMetafile& metafile, double x, double y);
  virtual void PlayMetafile(const TgtRectD& rect, const TgtGraphic& graphic);
  virtual void BeginHeader();
  virtual void EndHeader();
  virtual void ClearHeader();
  virtual void BeginFooter();
  virtual void EndFooter();
  virtual void ClearFooter();
  virtual void BeginUnderlay();
  virtual void EndUnderlay();
  virtual void ClearUnderlay();
  virtual void BeginOverlay();
  virtual void EndOverlay();
  virtual void ClearOverlay();
  virtual int32_t SaveEngineState();
  virtual void RestoreEngineState(int32_t index);
  virtual void ClearEngineStates();
  virtual void SetActivePage(int32_t pageNumber);
  virtual void DoBeginPage();
  virtual void DoEndPage();
  virtual void DoBeginDoc();
  virtual void DoEndDoc();
  virtual void RenderText(const TgtTextItem& item);
  virtual void RenderTextBox(const TgtTextBoxItem& item);
  virtual void RenderParagraph(const TgtParagraphItem& item);
  virtual void RenderImage(const TgtImageItem& item);
  virtual void RenderImageStream(const TgtImageStream& item);
  virtual void RenderTable(const TgtTableItem& item);
  virtual void RenderOtherItem(const TgtDocumentItem& item);
  virtual void RenderClip(const TgtClipItem& item);
  virtual void RenderPath(const TgtPathItem& item);
  virtual void RenderPolyPolygon(const TgtPolyPolygonItem& item);
  virtual void RenderEOF(const TgtEOFItem& item);
  virtual void RenderPolyDraw(const TgtPolyDrawItem& item);
  virtual void RenderLine(const TPen& pen, double x1, double y1, double x2, double y2);
  virtual void RenderRectangle(const TPen& pen, const TBrush* brush, double x1, double y1,
                               double x2, double y2);
  virtual void RenderEllipse(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                             double y2);
  virtual void RenderRoundRect(const TPen& pen, const TBrush* brush, double x1, double y1,
                               double x2, double y2, double cornerWidth, double cornerHeight);
  virtual void RenderPolygon(const TgtPoint* points, int32_t count, const TBrush* brush,
                             const TPen& pen, bool closed);
  virtual void RenderPolyShape(const TgtPolyShapeItem& item, bool closed);
  virtual void RenderArc(const TPen& pen, double x1, double y1, double x2, double y2, double x3,
                         double y3, double x4, double y4);
  virtual void RenderPie(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                         double y2, double x3, double y3, double x4, double y4);
  virtual void RenderChord(const TPen& pen, const TBrush* brush, double x1, double y1, double x2,
                           double y2, double x3, double y3, double x4, double y4);
  virtual void RenderPolyBezier(const TgtPoint* points, int32_t count, const TPen& pen);
  virtual void RenderBitmap(const TgtGraphic& bitmap, double x, double y);
  virtual void RenderPageBorder();
  virtual std::u16string CalcVariables(std::u16string_view text);
  virtual std::u16string ReplacePageVariables(std::u16string_view text);
  virtual void PrepareTextItems(const TgtItemList& items);
  virtual void ProcessMetafile(const TMetafile& metafile, double x, double y);
  virtual void SortItems(TgtItemList& items);
  virtual bool SupportsFeature();
  virtual int32_t ShowDefaultSetupDialog();
  // Creates the preferences object; a concrete engine returns its own class.
  virtual TgtPreferences* PreferencesClass() const;
  virtual std::vector<TgtTextRun> ParseTextTags(std::u16string_view text);
  // Accepts or refuses (by raising) the output format of pictures before an image item
  // is made; the base accepts every format.
  virtual void CheckOutputImageFormat(TgtOutputImageFormat format);

  // ---- Properties ----------------------------------------------------------------------
  const std::string& FileExtension() const { return fileExtension_; }
  const std::string& FileDescription() const { return fileDescription_; }
  int32_t InputXRes() const { return inputXRes_; }
  int32_t InputYRes() const { return inputYRes_; }
  // Values below 1 are refused (they would divide by zero in every mapping).
  void SetInputXRes(int32_t v) {
    if (v > 0) inputXRes_ = v;
  }
  void SetInputYRes(int32_t v) {
    if (v > 0) inputYRes_ = v;
  }
  TgtItemsToRender ItemsToRender() const { return itemsToRender_; }
  void SetItemsToRender(TgtItemsToRender v) { itemsToRender_ = v; }
  const std::string& PagesToRender() const { return pagesToRender_; }
  void SetPagesToRender(std::string v) { pagesToRender_ = std::move(v); }
  TgtUnitType MeasurementUnit() const { return measurementUnit_; }
  void SetMeasurementUnit(TgtUnitType unit);
  TgtReferencePoint ReferencePoint() const { return referencePoint_; }
  void SetReferencePoint(TgtReferencePoint rp);
  TgtBaseDlg* SetupDialog() const { return setupDialog_; }
  void SetSetupDialog(TgtBaseDlg* dlg) { setupDialog_ = dlg; }
  TgtDocSettings* Settings() const { return settings_; }
  // Attaches this engine's Page and Preferences to a shared settings component.
  void SetSettings(TgtDocSettings* settings);
  bool AutoPaginate() const { return autoPaginate_; }
  void SetAutoPaginate(bool v) { autoPaginate_ = v; }

  TgtNotifyEvent OnBeforeBeginDoc, OnAfterBeginDoc, OnBeforeEndDoc, OnAfterEndDoc;
  TgtNotifyEvent OnBeforeBeginPage, OnAfterBeginPage, OnBeforeEndPage, OnAfterEndPage;
  TgtErrorMessageEvent OnErrorMessage;
  TgtCellDrawEvent OnCellDraw;
  TgtCalcVariablesEvent OnCalcVariables;

  // The current tools of the direct drawing operations (not of the page canvas).
  TFont& Font() { return font_; }
  TPen& Pen() { return pen_; }
  TBrush& Brush() { return brush_; }
  TgtImageSettings& ImageSettings() { return imageSettings_; }
  TgtTextEffects& TextEffects() { return textEffects_; }
  TgtTextFormatting& TextFormatting() { return textFormatting_; }
  TgtTableSettings& TableSettings() { return tableSettings_; }
  // Border sides of text boxes and images.
  TgtFrame& Frame() { return frame_; }
  TgtPageSettings& Page() { return page_; }
  TgtBorder& PageBorder() { return pageBorder_; }
  TgtDocInfo& DocInfo() { return docInfo_; }
  TgtPreferences& Preferences() const;

  // ---- State ---------------------------------------------------------------------------
  bool DocumentOpen() const { return docOpen_; }
  TgtDocumentState DocumentState() const { return documentState_; }
  int32_t PageCount() const { return pageCount_; }
  int32_t CurrentPage() const { return currentPage_; }
  uint16_t Capabilities() const { return capabilities_; }
  int32_t TextRotation() const { return rotation_; }
  uint8_t TextOption() const { return textOption_; }
  TgtBand CurrentBand() const { return band_; }
  // Drawing area of the current band, screen pixels.
  const TgtRectD& DrawingArea() const { return area_; }
  // Screen pixels per MeasurementUnit.
  double UnitFactor() const { return unitFactor_; }
  // The recording canvas of the current page; null without an open document.
  TMetafileCanvas* PageCanvas() const { return canvas_.get(); }
  // The metafile the page canvas records into; null without an open document.
  const TMetafile* PageMetafile() const { return pageMetafile_.get(); }
  // The settings of the current page (its own copy, screen pixels); null without a page.
  const TgtPageSettings* CurrentPageSettings() const;
  // The files the concrete engine wrote; the first is opened after creation.
  const std::vector<std::string>& OutputFiles() const { return outputFiles_; }
  int32_t EngineStateCount() const { return static_cast<int32_t>(states_.size()); }

  // ---- Used by the output back ends -----------------------------------------------------
  // The item list of the current band (page, header, ...).
  TgtItemList& CurrentItemList();
  // The item list of the current page.
  TgtItemList& PageItemList();
  // A BMP file in memory joins the image list; returns its index.
  int32_t AddImageToList(std::vector<uint8_t> bitmapFile);
  // The image-list entry of an index; null when there is none (or it was freed).
  const TgtGraphic* ImageAt(int32_t index) const;
  // Width and height of a text in a font, screen pixels. A trailing CR LF is not
  // measured; an empty text measures as " " with width 1.
  fonts::TextExtent MeasureText(std::u16string_view text, const TFont& font);
  // The next link in text at or after start: returns its text (empty when there is none)
  // and moves start to where it begins.
  std::u16string FindLink(std::u16string_view text, size_t& start,
                          TgtLinkKind* kind = nullptr) const;
  // Whether page n is selected by PagesToRender.
  bool PageSelected(int32_t n) const;
  // Hands each item to the output hook of its class, in order.
  void RenderItems(const TgtItemList& items);
  // Renders the current page and frees its items.
  void RenderPage();
  // Direct-operation point conversion: MeasurementUnit to screen pixels, area origin added.
  double ConvertX(double x) const { return ConvertLengthX(x) + area_.Left; }
  double ConvertY(double y) const { return ConvertLengthY(y) + area_.Top; }
  double ConvertLengthX(double v) const;
  double ConvertLengthY(double v) const;

 protected:
  void SetFileExtension(std::string v) { fileExtension_ = std::move(v); }
  void SetFileDescription(std::string v) { fileDescription_ = std::move(v); }
  void SetCapabilities(uint16_t caps) { capabilities_ = caps; }
  void SetDocumentState(TgtDocumentState s) { documentState_ = s; }
  void AddOutputFile(std::string name) { outputFiles_.push_back(std::move(name)); }
  // Frees the open document without rendering or writing anything (a failed output).
  void ResetDocument();
  // Hands an error to OnErrorMessage, or raises it.
  template <class E>
  void RaiseError(const E& error) {
    ++errorsRaised_;
    if (OnErrorMessage) {
      OnErrorMessage(*this, error);
      return;
    }
    throw error;
  }

  TColor backgroundColor_ = clWhite;
  TgtBackgroundDisplayType backgroundDisplayType_ = TgtBackgroundDisplayType::dtCenter;
  TgtGraphic backgroundImage_;

 private:
  // What the metafile processor plays a recording into.
  ItemKinds RecordingItemKinds() const override;
  int32_t RecordingXRes() const override { return inputXRes_; }
  int32_t RecordingYRes() const override { return inputYRes_; }
  TgtItemList& RecordingBandItems() override { return CurrentItemList(); }
  TgtItemList& RecordingPageItems() override { return PageItemList(); }
  int32_t AddRecordingBitmap(std::vector<uint8_t> bitmapFile) override {
    return AddImageToList(std::move(bitmapFile));
  }
  fonts::TextExtent MeasureRecordingText(std::u16string_view text, const TFont& font) override {
    return MeasureText(text, font);
  }

  struct ImageEntry {
    TgtGraphic Graphic;
    bool Stream = false;  // an image stream's slot; the picture belongs to its item
  };
  struct OpenParagraph;
  struct OpenTable;

  bool TextAllowed() const;
  bool ImageAllowed() const;
  bool ShapeAllowed() const;
  bool InArea(double x, double y) const;
  TgtBandItem* BandItem(TgtBand band) const;
  TgtPageItem* CurrentPageItem() const;
  void SetBand(TgtBand band);
  // With an open document: closes the open table, then switches to the band or empties it.
  void EnterBand(TgtBand band);
  void ClearBand(TgtBandItem* band);
  void UpdateDrawingArea();
  void CompleteRecording();
  // A shape of the current pen (and brush when FILLED) through POINTS in MeasurementUnit;
  // null when shapes are not allowed.
  TgtShapeItem* AddShape(uint8_t kind, bool filled, std::span<const TgtPoint> points);
  // A text item of the current tools at (x, y) in MeasurementUnit; null when text is not
  // allowed or the point lies outside the drawing area.
  TgtTextItem* AddTextItem(std::u16string_view text, double x, double y);
  // px: corners in screen pixels, area origin included.
  void AddImageItem(const TgtRectD& px, int32_t imageIndex);
  void RenderShape(const TgtShapeItem& s);
  void RenderTextItem(const TgtTextItem& item);
  double FlushParagraphLines(std::vector<std::u16string>& lines, std::vector<double>& widths);
  std::vector<std::u16string> WrapText(std::u16string_view text, const TFont& font, double width,
                                       double firstIndent, std::vector<double>* widths);
  double LineHeight(const TFont& font);

  std::string fileExtension_;
  std::string fileDescription_;
  int32_t inputXRes_ = kScreenPPI;
  int32_t inputYRes_ = kScreenPPI;
  TgtItemsToRender itemsToRender_ = TgtItemsToRender::All();
  std::string pagesToRender_;
  TgtUnitType measurementUnit_ = TgtUnitType::muInches;
  double unitFactor_ = 1.0;
  TgtReferencePoint referencePoint_ = TgtReferencePoint::rpBand;
  TgtBaseDlg* setupDialog_ = nullptr;
  TgtDocSettings* settings_ = nullptr;
  bool autoPaginate_ = true;
  uint16_t capabilities_ = capText | capImage | capShape;

  mutable std::unique_ptr<TgtPreferences> preferences_;
  TFont font_;
  TPen pen_;
  TBrush brush_;
  TgtImageSettings imageSettings_;
  TgtTextEffects textEffects_;
  TgtTextFormatting textFormatting_;
  TgtTableSettings tableSettings_;
  TgtFrame frame_;
  TgtPageSettings page_;
  TgtBorder pageBorder_;
  TgtDocInfo docInfo_;

  bool docOpen_ = false;
  TgtDocumentState documentState_ = TgtDocumentState::dsIdle;
  std::vector<std::unique_ptr<TgtPageItem>> pages_;
  int32_t pageCount_ = 0;
  int32_t currentPage_ = 0;
  std::unique_ptr<TgtBandItem> header_, footer_, underlay_, overlay_;
  TgtBand band_ = TgtBand::bdPage;
  TgtRectD area_;
  std::unique_ptr<TMetafile> pageMetafile_;
  std::unique_ptr<TMetafileCanvas> canvas_;
  int32_t canvasPage_ = 0;  // the page the canvas records
  std::vector<TgtEngineState> states_;
  int32_t beginStateIndex_ = -1;
  std::vector<ImageEntry> images_;
  std::vector<std::string> outputFiles_;
  int32_t rotation_ = 0;
  uint8_t textOption_ = 0;
  std::unique_ptr<OpenParagraph> para_;
  std::unique_ptr<OpenTable> table_;
  TgtItemList orphans_;  // receives items while no page exists
  uint32_t errorsRaised_ = 0;
  // The output format check; false when it refused (also when OnErrorMessage took it).
  bool ImageFormatAccepted();
};

class TgtCustomPlainsheetEngine : public TgtCustomDocumentEngine {
 public:
  TgtCustomPlainsheetEngine();
  ~TgtCustomPlainsheetEngine() override;

  void BeginDoc() override;
  void EndDoc() override;
  // Covariant: every engine of this layer creates plain-sheet preferences or a subclass.
  TgtPlainSheetPreferences* PreferencesClass() const override;

  // Returns the new entry's index, or -1 without an open document, with a parent outside
  // -1..count-1 or a page outside 1..page count. x, y in MeasurementUnit.
  virtual int32_t AddTOCItem(std::u16string_view title, int32_t parent, double x, double y,
                             int32_t page);
  virtual int32_t AddTOCLink(std::u16string_view title, int32_t parent, std::u16string_view link);

  // Stored without its extension; ignored while a document is open.
  const std::string& FileName() const { return fileName_; }
  void SetFileName(const std::string& name);
  TgtPlainSheetPreferences& Preferences() const {
    return static_cast<TgtPlainSheetPreferences&>(TgtCustomDocumentEngine::Preferences());
  }
  const std::vector<TgtTOCItem>& TOCItems() const { return toc_; }

 private:
  std::string fileName_;
  std::vector<TgtTOCItem> toc_;
};

}  // namespace pv
