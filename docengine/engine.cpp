// Document lifecycle, pages, bands, engine states and rendering of stored pages.
#include "docengine/engine.h"

#include <algorithm>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>

#include "docengine/emf.h"
#include "docengine/engine_internal.h"
#include "docengine/metafile_canvas.h"
#include "docengine/metafile_processor.h"
#include "platform/checked.h"
#include "platform/process.h"

namespace pv {

namespace {

// Delphi-style Round (half to even) of a page dimension, range-checked to 32 bits.
int32_t RoundPixels(double v) {
  const double r = std::nearbyint(v);
  return CheckedTrunc(r);
}

void Fire(const TgtNotifyEvent& ev, TgtCustomDocumentEngine& sender) {
  if (ev) ev(sender);
}

bool ParsePageNumber(std::string_view s, int64_t& out) {
  if (s.empty()) return false;
  for (char c : s)
    if (c < '0' || c > '9') return false;
  auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), out);
  return ec == std::errc() && p == s.data() + s.size();
}

// A copy of an enhanced metafile whose picture is scaled by (sx, sy): a world-transform
// record placed right after the header scales every later coordinate, pen and font.
TMetafile ScaledMetafile(const TMetafile& src, double sx, double sy) {
  TMetafile out;
  out.SetWidth(RoundPixels(src.Width() * sx));
  out.SetHeight(RoundPixels(src.Height() * sy));
  const std::vector<uint8_t>& in = src.Bytes();
  ENHMETAHEADER h;
  if (in.size() < sizeof h) return out;
  std::memcpy(&h, in.data(), sizeof h);
  if (h.emr.iType != EMR_HEADER || h.emr.nSize < sizeof h || h.emr.nSize > in.size() ||
      h.emr.nSize % 4 != 0)
    return out;
  EMRMODIFYWORLDTRANSFORM m{};
  m.emr.iType = EMR_MODIFYWORLDTRANSFORM;
  m.emr.nSize = sizeof m;
  m.xform = {static_cast<float>(sx), 0.0f, 0.0f, static_cast<float>(sy), 0.0f, 0.0f};
  m.iMode = MWT_LEFTMULTIPLY;
  std::vector<uint8_t>& bytes = out.MutableBytes();
  bytes.reserve(in.size() + sizeof m);
  bytes.insert(bytes.end(), in.begin(), in.begin() + h.emr.nSize);
  const auto* mb = reinterpret_cast<const uint8_t*>(&m);
  bytes.insert(bytes.end(), mb, mb + sizeof m);
  bytes.insert(bytes.end(), in.begin() + h.emr.nSize, in.end());
  h.nBytes = static_cast<uint32_t>(bytes.size());
  h.nRecords += 1;
  std::memcpy(bytes.data(), &h, sizeof h);
  return out;
}

}  // namespace

// ---- Construction -------------------------------------------------------------------------

TgtCustomDocumentEngine::TgtCustomDocumentEngine() {
  // Through the setter, so that the unit factor reaches Page.
  SetMeasurementUnit(TgtUnitType::muInches);
}

TgtCustomDocumentEngine::~TgtCustomDocumentEngine() {
  ResetDocument();
  if (settings_) settings_->Detach(&page_);
}

TgtPreferences& TgtCustomDocumentEngine::Preferences() const {
  // Created on first use, so that the most derived PreferencesClass names the class.
  if (!preferences_) preferences_.reset(PreferencesClass());
  return *preferences_;
}

void TgtCustomDocumentEngine::SetMeasurementUnit(TgtUnitType unit) {
  measurementUnit_ = unit;
  unitFactor_ = ::pv::UnitFactor(unit);
  page_.SetUnitFactor(unitFactor_);
}

void TgtCustomDocumentEngine::SetReferencePoint(TgtReferencePoint rp) {
  referencePoint_ = rp;
  UpdateDrawingArea();
}

void TgtCustomDocumentEngine::SetSettings(TgtDocSettings* settings) {
  if (settings_) settings_->Detach(&page_);
  settings_ = settings;
  if (settings_) settings_->Attach(&page_, &Preferences(), &settings_);
}

double TgtCustomDocumentEngine::ConvertLengthX(double v) const {
  if (unitFactor_ != 1.0) return v * unitFactor_;
  return v * kScreenPPI / inputXRes_;
}

double TgtCustomDocumentEngine::ConvertLengthY(double v) const {
  if (unitFactor_ != 1.0) return v * unitFactor_;
  return v * kScreenPPI / inputYRes_;
}

// ---- Guards, bands and the drawing area ---------------------------------------------------

bool TgtCustomDocumentEngine::TextAllowed() const {
  return docOpen_ && (capabilities_ & capText) && itemsToRender_.Contains(irText);
}
bool TgtCustomDocumentEngine::ImageAllowed() const {
  return docOpen_ && (capabilities_ & capImage) && itemsToRender_.Contains(irImage);
}
bool TgtCustomDocumentEngine::ShapeAllowed() const {
  return docOpen_ && (capabilities_ & capShape) && itemsToRender_.Contains(irShape);
}

TgtMetafileHost::ItemKinds TgtCustomDocumentEngine::RecordingItemKinds() const {
  return {itemsToRender_.Contains(irText) && (capabilities_ & capText),
          itemsToRender_.Contains(irImage) && (capabilities_ & capImage),
          itemsToRender_.Contains(irShape) && (capabilities_ & capShape)};
}

bool TgtCustomDocumentEngine::InArea(double x, double y) const {
  return x >= area_.Left && x < area_.Right && y >= area_.Top && y < area_.Bottom;
}

TgtPageItem* TgtCustomDocumentEngine::CurrentPageItem() const {
  if (currentPage_ < 1 || currentPage_ > static_cast<int32_t>(pages_.size())) return nullptr;
  return pages_[static_cast<size_t>(currentPage_ - 1)].get();
}

const TgtPageSettings* TgtCustomDocumentEngine::CurrentPageSettings() const {
  const TgtPageItem* p = CurrentPageItem();
  return p ? &p->Settings : nullptr;
}

TgtBandItem* TgtCustomDocumentEngine::BandItem(TgtBand band) const {
  switch (band) {
    case TgtBand::bdPage:
      return CurrentPageItem();
    case TgtBand::bdHeader:
      return header_.get();
    case TgtBand::bdFooter:
      return footer_.get();
    case TgtBand::bdUnderlay:
      return underlay_.get();
    case TgtBand::bdOverlay:
      return overlay_.get();
  }
  return nullptr;
}

TgtItemList& TgtCustomDocumentEngine::CurrentItemList() {
  TgtBandItem* b = BandItem(band_);
  return b ? b->Items : orphans_;
}

TgtItemList& TgtCustomDocumentEngine::PageItemList() {
  TgtPageItem* p = CurrentPageItem();
  return p ? p->Items : orphans_;
}

void TgtCustomDocumentEngine::SetBand(TgtBand band) {
  band_ = band;
  UpdateDrawingArea();
}

void TgtCustomDocumentEngine::UpdateDrawingArea() {
  const TgtPageSettings* s = CurrentPageSettings();
  if (!s) {
    area_ = {};
    return;
  }
  const double w = s->Width(), h = s->Height();
  const double l = s->LeftMargin(), r = s->RightMargin();
  const double t = s->TopMargin(), b = s->BottomMargin();
  const double hh = s->HeaderHeight(), fh = s->FooterHeight();
  switch (referencePoint_) {
    case TgtReferencePoint::rpPage:
      area_ = {0, 0, w - r, h - b};
      return;
    case TgtReferencePoint::rpMargin:
      area_ = {l, t, w - r, h - b};
      return;
    case TgtReferencePoint::rpBand:
      break;
  }
  switch (band_) {
    case TgtBand::bdPage:
      area_ = {l, t + hh, w - r, h - fh - b};
      break;
    case TgtBand::bdHeader:
      area_ = {l, t, w - r, t + hh};
      break;
    case TgtBand::bdFooter:
      area_ = {l, h - fh - b, w - r, h - fh - b + fh};
      break;
    case TgtBand::bdUnderlay:
    case TgtBand::bdOverlay:
      area_ = {l, t, w - r, h - b};
      break;
  }
}

void TgtCustomDocumentEngine::BeginHeader() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdHeader);
  }
}
void TgtCustomDocumentEngine::EndHeader() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdPage);
  }
}
void TgtCustomDocumentEngine::BeginFooter() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdFooter);
  }
}
void TgtCustomDocumentEngine::EndFooter() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdPage);
  }
}
void TgtCustomDocumentEngine::BeginUnderlay() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdUnderlay);
  }
}
void TgtCustomDocumentEngine::EndUnderlay() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdPage);
  }
}
void TgtCustomDocumentEngine::BeginOverlay() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdOverlay);
  }
}
void TgtCustomDocumentEngine::EndOverlay() {
  if (docOpen_) {
    EndTable();
    SetBand(TgtBand::bdPage);
  }
}

namespace {
void ClearBand(TgtBandItem* b) {
  if (!b) return;
  b->Items.Clear();
  b->FlowY = -1;
  b->FlowHeight = 0;
}
}  // namespace

void TgtCustomDocumentEngine::ClearHeader() {
  if (docOpen_) {
    EndTable();
    ClearBand(header_.get());
  }
}
void TgtCustomDocumentEngine::ClearFooter() {
  if (docOpen_) {
    EndTable();
    ClearBand(footer_.get());
  }
}
void TgtCustomDocumentEngine::ClearUnderlay() {
  if (docOpen_) {
    EndTable();
    ClearBand(underlay_.get());
  }
}
void TgtCustomDocumentEngine::ClearOverlay() {
  if (docOpen_) {
    EndTable();
    ClearBand(overlay_.get());
  }
}

// ---- Lifecycle ----------------------------------------------------------------------------

void TgtCustomDocumentEngine::BeginDoc() {
  if (docOpen_) return;
  Fire(OnBeforeBeginDoc, *this);
  int32_t answer = mrOk;
  if (Preferences().ShowSetupDialog())
    answer = setupDialog_ ? setupDialog_->ShowModal(*this) : ShowDefaultSetupDialog();
  if (answer == mrCancel) {
    documentState_ = TgtDocumentState::dsCancelled;
    return;
  }
  docOpen_ = true;
  pages_.clear();
  pageMetafile_ = std::make_unique<TMetafile>();
  header_ = std::make_unique<TgtBandItem>();
  footer_ = std::make_unique<TgtBandItem>();
  underlay_ = std::make_unique<TgtBandItem>();
  overlay_ = std::make_unique<TgtBandItem>();
  images_.clear();
  states_.clear();
  beginStateIndex_ = SaveEngineState();
  outputFiles_.clear();
  currentPage_ = 0;
  pageCount_ = 0;
  band_ = TgtBand::bdPage;
  try {
    NewPage();
  } catch (...) {
    ResetDocument();  // no half-open document stays behind
    throw;
  }
  DoBeginDoc();
  documentState_ = TgtDocumentState::dsBegun;
  Fire(OnAfterBeginDoc, *this);
}

void TgtCustomDocumentEngine::CompleteRecording() {
  if (!canvas_) return;
  canvas_.reset();  // destroying the canvas completes the recording
  // The recording belongs to the page the canvas was made for, in that page's own band,
  // even when SetActivePage or a band switch moved the direct operations elsewhere.
  const int32_t page = currentPage_;
  const TgtBand band = band_;
  currentPage_ = canvasPage_;
  SetBand(TgtBand::bdPage);
  if (CurrentPageItem()) ProcessMetafile(*pageMetafile_, 0, 0);
  currentPage_ = page;
  SetBand(band);
}

void TgtCustomDocumentEngine::NewPage() {
  if (!docOpen_) return;
  EndTable();
  if (pageCount_ > 0) {
    CompleteRecording();
    if (Preferences().ProcessAfterEachPage()) RenderPage();
  }
  auto page = std::make_unique<TgtPageItem>(this, page_);
  // The page's own copy reads in screen pixels whatever MeasurementUnit is. A size beyond
  // 32 bits is refused here, before the page counts.
  const int32_t w = RoundPixels(page->Settings.Width());
  const int32_t h = RoundPixels(page->Settings.Height());
  pageCount_ = CheckedAdd(pageCount_, 1);
  currentPage_ = pageCount_;
  pageMetafile_->Clear();
  pageMetafile_->SetWidth(w);
  pageMetafile_->SetHeight(h);
  canvas_ = std::make_unique<TMetafileCanvas>(*pageMetafile_);
  canvasPage_ = currentPage_;
  pages_.push_back(std::move(page));
  SetBand(TgtBand::bdPage);
}

void TgtCustomDocumentEngine::EndDoc() {
  if (!docOpen_) return;
  EndTable();
  para_.reset();
  try {
    CompleteRecording();
    // Nothing is recorded any more: the last page's recording gives back its memory
    // before the pages are rendered.
    std::vector<uint8_t>().swap(pageMetafile_->MutableBytes());
    if (Preferences().ProcessAfterEachPage()) {
      RenderPage();
    } else {
      for (int32_t n = 1; n <= pageCount_; ++n) {
        currentPage_ = n;
        RenderPage();
      }
    }
    Fire(OnBeforeEndDoc, *this);
    pages_.clear();
    DoEndDoc();
  } catch (...) {
    // A failed output (compression, a full disk) must not leave a half-open document.
    ResetDocument();
    documentState_ = TgtDocumentState::dsFailed;
    throw;
  }
  Fire(OnAfterEndDoc, *this);
  if (Preferences().OpenAfterCreate() && !outputFiles_.empty()) ShellOpen(outputFiles_.front());
  ResetDocument();
  documentState_ = TgtDocumentState::dsEnded;
}

void TgtCustomDocumentEngine::ResetDocument() {
  if (docOpen_ && beginStateIndex_ >= 0 && beginStateIndex_ < EngineStateCount())
    RestoreEngineState(beginStateIndex_);
  table_.reset();
  para_.reset();
  canvas_.reset();
  canvasPage_ = 0;
  header_.reset();
  footer_.reset();
  underlay_.reset();
  overlay_.reset();
  pageMetafile_.reset();
  images_.clear();
  outputFiles_.clear();
  states_.clear();
  beginStateIndex_ = -1;
  pages_.clear();
  orphans_.Clear();
  currentPage_ = 0;
  pageCount_ = 0;
  rotation_ = 0;
  textOption_ = 0;
  band_ = TgtBand::bdPage;
  area_ = {};
  docOpen_ = false;
}

bool TgtCustomDocumentEngine::PageSelected(int32_t n) const {
  if (pagesToRender_.empty()) return true;
  std::string_view rest = pagesToRender_;
  while (true) {
    const size_t comma = rest.find(',');
    const std::string_view entry = rest.substr(0, comma);
    bool valid = !entry.empty();
    for (char c : entry)
      if ((c < '0' || c > '9') && c != '-') valid = false;
    if (valid) {
      const size_t dash = entry.find('-');
      int64_t a = 0, b = 0;
      if (dash == std::string_view::npos) {
        if (ParsePageNumber(entry, a) && a == n) return true;
      } else if (ParsePageNumber(entry.substr(0, dash), a) &&
                 ParsePageNumber(entry.substr(dash + 1), b) && a <= n && n <= b) {
        return true;
      }
    }
    if (comma == std::string_view::npos) break;
    rest.remove_prefix(comma + 1);
  }
  return false;
}

void TgtCustomDocumentEngine::RenderPage() {
  if (!docOpen_) return;
  TgtPageItem* page = CurrentPageItem();
  if (!page) return;
  if (table_) EndTable();
  if (PageSelected(currentPage_)) {
    const bool first = currentPage_ == 1;
    SetBand(TgtBand::bdPage);
    Fire(OnBeforeBeginPage, *this);
    DoBeginPage();
    Fire(OnAfterBeginPage, *this);
    RenderPageBorder();
    if (!(capabilities_ & capHeaderFirstPageOnly) || first) {
      SetBand(TgtBand::bdHeader);
      RenderItems(header_->Items);
    }
    if (!(capabilities_ & capUnderlayFirstPageOnly) || first) {
      SetBand(TgtBand::bdUnderlay);
      RenderItems(underlay_->Items);
    }
    SetBand(TgtBand::bdPage);
    RenderItems(page->Items);
    if (!(capabilities_ & capFooterFirstPageOnly) || first) {
      SetBand(TgtBand::bdFooter);
      RenderItems(footer_->Items);
    }
    if (!(capabilities_ & capOverlayFirstPageOnly) || first) {
      SetBand(TgtBand::bdOverlay);
      RenderItems(overlay_->Items);
    }
    SetBand(TgtBand::bdPage);
    Fire(OnBeforeEndPage, *this);
    DoEndPage();
    Fire(OnAfterEndPage, *this);
  }
  page->Items.Clear();
  // Stream slots belong to their items; the slots stay so that later indexes hold.
  const bool keepImages = Preferences().UseImagesAsResources();
  for (ImageEntry& e : images_)
    if (e.Stream || !keepImages) e = ImageEntry{};
  pages_[static_cast<size_t>(currentPage_ - 1)].reset();
  UpdateDrawingArea();
}

void TgtCustomDocumentEngine::SetActivePage(int32_t pageNumber) {
  if (!docOpen_) return;
  if (Preferences().ProcessAfterEachPage()) return;
  if (pageNumber < 1 || pageNumber > pageCount_ || !pages_[static_cast<size_t>(pageNumber - 1)]) {
    RaiseError(EInvalidPageNumber());
    return;
  }
  EndTable();
  currentPage_ = pageNumber;
  SetBand(TgtBand::bdPage);
}

// ---- Engine states ------------------------------------------------------------------------

int32_t TgtCustomDocumentEngine::SaveEngineState() {
  if (!docOpen_) return -1;
  TgtEngineState& s = states_.emplace_back();
  s.Font = font_;
  s.Pen = pen_;
  s.Brush = brush_;
  s.ImageSettings = imageSettings_;
  s.TextFormatting = textFormatting_;
  s.TableSettings = tableSettings_;
  s.Page = page_;
  s.TextEffects = textEffects_;
  return EngineStateCount() - 1;
}

void TgtCustomDocumentEngine::RestoreEngineState(int32_t index) {
  if (!docOpen_) return;
  if (index == -1) index = EngineStateCount() - 1;
  if (index < 0 || index >= EngineStateCount()) {
    RaiseError(EInvalidEngineState());
    return;
  }
  const TgtEngineState& s = states_[static_cast<size_t>(index)];
  font_ = s.Font;
  pen_ = s.Pen;
  brush_ = s.Brush;
  imageSettings_ = s.ImageSettings;
  textFormatting_ = s.TextFormatting;
  tableSettings_ = s.TableSettings;
  page_.Assign(s.Page);
  textEffects_ = s.TextEffects;
}

void TgtCustomDocumentEngine::ClearEngineStates() {
  if (!docOpen_) return;
  states_.clear();
}

// ---- Metafiles ----------------------------------------------------------------------------

void TgtCustomDocumentEngine::ProcessMetafile(const TMetafile& metafile, double x, double y) {
  if (!docOpen_) return;
  // Whether or not the engine claims the input resolution (capInputResolution), the
  // recording goes to the processor as recorded: the processor itself maps input dots to
  // screen pixels, so replaying a page recording into the page rectangle first would be
  // an identity. Pictures of another size are scaled by PlayMetafile into a rectangle.
  TgtMetafileProcessor processor(*this);
  processor.UpdatePositionTextMode = true;
  processor.Process(metafile, x + area_.Left, y + area_.Top);
}

void TgtCustomDocumentEngine::PlayMetafile(const TMetafile& metafile) {
  if (!docOpen_) return;
  ProcessMetafile(metafile, 0, 0);
}

void TgtCustomDocumentEngine::PlayMetafile(const TMetafile& metafile, double x, double y) {
  if (!docOpen_) return;
  ProcessMetafile(metafile, ConvertLengthX(x), ConvertLengthY(y));
}

void TgtCustomDocumentEngine::PlayMetafile(const TgtRectD& rect, const TgtGraphic& graphic) {
  if (!docOpen_) return;
  if (graphic.Kind != TgtGraphicKind::gkMetafile) {
    DrawImage(rect, graphic);
    return;
  }
  const TMetafile& mf = graphic.Metafile;
  const double left = std::min(ConvertLengthX(rect.Left), ConvertLengthX(rect.Right));
  const double top = std::min(ConvertLengthY(rect.Top), ConvertLengthY(rect.Bottom));
  const double w = std::fabs(ConvertLengthX(rect.Right) - ConvertLengthX(rect.Left));
  const double h = std::fabs(ConvertLengthY(rect.Bottom) - ConvertLengthY(rect.Top));
  if (mf.Width() <= 0 || mf.Height() <= 0 || w <= 0 || h <= 0) {
    ProcessMetafile(mf, left, top);
    return;
  }
  const TMetafile scaled = ScaledMetafile(mf, w / mf.Width(), h / mf.Height());
  ProcessMetafile(scaled, left, top);
}

// ---- Images -------------------------------------------------------------------------------

TgtGraphic TgtGraphic::FromBitmapFile(std::vector<uint8_t> bytes) {
  TgtGraphic g;
  g.Kind = TgtGraphicKind::gkBitmap;
  g.Data = std::move(bytes);
  const std::vector<uint8_t>& d = g.Data;
  if (d.size() >= 26 && d[0] == 'B' && d[1] == 'M') {
    uint32_t infoSize;
    std::memcpy(&infoSize, d.data() + 14, 4);
    if (infoSize == 12) {  // BITMAPCOREHEADER
      uint16_t w, h;
      std::memcpy(&w, d.data() + 18, 2);
      std::memcpy(&h, d.data() + 20, 2);
      g.Width = w;
      g.Height = h;
    } else if (infoSize >= 40) {
      int32_t w, h;
      std::memcpy(&w, d.data() + 18, 4);
      std::memcpy(&h, d.data() + 22, 4);
      // Top-down bitmaps have a negative height.
      g.Width = w < 0 ? 0 : w;
      g.Height = h == INT32_MIN ? 0 : (h < 0 ? -h : h);
    }
  }
  return g;
}

int32_t TgtCustomDocumentEngine::AddImageToList(std::vector<uint8_t> bitmapFile) {
  images_.push_back({TgtGraphic::FromBitmapFile(std::move(bitmapFile)), false});
  return static_cast<int32_t>(images_.size() - 1);
}

const TgtGraphic* TgtCustomDocumentEngine::ImageAt(int32_t index) const {
  if (index < 0 || index >= static_cast<int32_t>(images_.size())) return nullptr;
  const ImageEntry& e = images_[static_cast<size_t>(index)];
  return e.Graphic.Empty() ? nullptr : &e.Graphic;
}

int32_t TgtCustomDocumentEngine::AddImageAsResource(const TgtGraphic& graphic) {
  if (!docOpen_ || !(capabilities_ & capImage)) return -1;
  switch (graphic.Kind) {
    case TgtGraphicKind::gkBitmap:
    case TgtGraphicKind::gkIcon:
    case TgtGraphicKind::gkMetafile:
    case TgtGraphicKind::gkJPEG:
      break;
    case TgtGraphicKind::gkNone:
    case TgtGraphicKind::gkOther:
      RaiseError(EUnsupportedGraphics());
      return -1;
  }
  images_.push_back({graphic, false});
  Preferences().SetUseImagesAsResources(true);
  return static_cast<int32_t>(images_.size() - 1);
}

void TgtCustomDocumentEngine::AddImageItem(const TgtRectD& px, int32_t imageIndex) {
  const double left = std::min(px.Left, px.Right);
  const double top = std::min(px.Top, px.Bottom);
  if (!InArea(left, top)) return;
  auto& item = CurrentItemList().Add<TgtImageItem>();
  item.SetRect(px.Left, px.Top, px.Right, px.Bottom);
  item.ImageIndex = imageIndex;
  item.Frame = frame_;
  item.Pen = pen_;
  item.Brush = brush_;
  item.ImageSettings = imageSettings_;
}

void TgtCustomDocumentEngine::DrawImage(const TgtRectD& rect, int32_t imageIndex) {
  if (!ImageAllowed() || !ImageAt(imageIndex)) return;
  if (!ImageFormatAccepted()) return;
  AddImageItem(
      {ConvertX(rect.Left), ConvertY(rect.Top), ConvertX(rect.Right), ConvertY(rect.Bottom)},
      imageIndex);
}

void TgtCustomDocumentEngine::DrawImage(const TgtRectD& rect, const TgtGraphic& graphic) {
  if (!ImageAllowed()) return;
  if (!ImageFormatAccepted()) return;
  const int32_t index = AddImageAsResource(graphic);
  if (index < 0) return;
  AddImageItem(
      {ConvertX(rect.Left), ConvertY(rect.Top), ConvertX(rect.Right), ConvertY(rect.Bottom)},
      index);
}

void TgtCustomDocumentEngine::DrawImage(double x, double y, const TgtGraphic& graphic) {
  if (!ImageAllowed()) return;
  if (!ImageFormatAccepted()) return;
  const int32_t index = AddImageAsResource(graphic);
  if (index < 0) return;
  const double dpi = imageSettings_.SourceDPI > 0 ? imageSettings_.SourceDPI : kScreenPPI;
  const double left = ConvertX(x), top = ConvertY(y);
  AddImageItem(
      {left, top, left + graphic.Width * kScreenPPI / dpi, top + graphic.Height * kScreenPPI / dpi},
      index);
}

void TgtCustomDocumentEngine::DrawImageStream(const TgtRectD& rect, std::vector<uint8_t> encoded,
                                              int32_t pixelWidth, int32_t pixelHeight) {
  if (!ImageAllowed()) return;
  if (!ImageFormatAccepted()) return;
  const TgtRectD px{ConvertX(rect.Left), ConvertY(rect.Top), ConvertX(rect.Right),
                    ConvertY(rect.Bottom)};
  if (!InArea(std::min(px.Left, px.Right), std::min(px.Top, px.Bottom))) return;
  auto& item = CurrentItemList().Add<TgtImageStream>();
  item.SetRect(px.Left, px.Top, px.Right, px.Bottom);
  ImageEntry slot;
  slot.Stream = true;
  images_.push_back(std::move(slot));
  item.ImageIndex = static_cast<int32_t>(images_.size() - 1);
  item.Frame = frame_;
  item.Pen = pen_;
  item.Brush = brush_;
  item.ImageSettings = imageSettings_;
  item.Stream = std::move(encoded);
  item.PixelWidth = pixelWidth;
  item.PixelHeight = pixelHeight;
}

void TgtCustomDocumentEngine::DrawGraphicStream(const TgtRectD& rect, const TgtGraphic& graphic) {
  if (graphic.Kind == TgtGraphicKind::gkMetafile && graphic.Data.empty()) {
    DrawImageStream(rect, graphic.Metafile.Bytes(), graphic.Width, graphic.Height);
    return;
  }
  DrawImageStream(rect, graphic.Data, graphic.Width, graphic.Height);
}

// ---- Rendering ----------------------------------------------------------------------------

void TgtCustomDocumentEngine::RenderShape(const TgtShapeItem& s) {
  const TgtPoints& p = s.Points;
  const int32_t n = s.PointCount();
  // A shape with fewer points than its kind needs is skipped like one without points.
  switch (s.Kind) {
    case skLine:
      if (n >= 2) RenderLine(s.Pen, p[0].X, p[0].Y, p[1].X, p[1].Y);
      return;
    case skRectangle:
      if (n >= 2) RenderRectangle(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y);
      return;
    case skRoundRect:
      if (n >= 3)
        RenderRoundRect(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y);
      return;
    case skEllipse:
      if (n >= 2) RenderEllipse(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y);
      return;
    case skPolygon:
      RenderPolygon(p.data(), n, s.BrushOrNull(), s.Pen, true);
      return;
    case skPolyLine:
      RenderPolygon(p.data(), n, s.BrushOrNull(), s.Pen, false);
      return;
    case skArc:
      if (n >= 4) RenderArc(s.Pen, p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X, p[3].Y);
      return;
    case skChord:
      if (n >= 4)
        RenderChord(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X,
                    p[3].Y);
      return;
    case skPie:
      if (n >= 4)
        RenderPie(s.Pen, s.BrushOrNull(), p[0].X, p[0].Y, p[1].X, p[1].Y, p[2].X, p[2].Y, p[3].X,
                  p[3].Y);
      return;
    case skBezier:
      RenderPolyBezier(p.data(), n, s.Pen);
      return;
    default:
      RenderOtherItem(s);
      return;
  }
}

void TgtCustomDocumentEngine::RenderTextItem(const TgtTextItem& item) {
  const bool box = item.ItemClass() == TgtItemClass::icTextBox;
  bool substitute = false;
  if (Preferences().CalculateVariables()) {
    substitute = static_cast<bool>(OnCalcVariables);
    for (const std::u16string& line : item.Lines)
      if (line.find(u"<%") != std::u16string::npos) substitute = true;
  }
  if (!substitute) {
    if (box)
      RenderTextBox(static_cast<const TgtTextBoxItem&>(item));
    else
      RenderText(item);
    return;
  }
  // Band items are rendered on every page, so the substitution works on a copy.
  if (box) {
    TgtTextBoxItem copy = static_cast<const TgtTextBoxItem&>(item);
    for (std::u16string& line : copy.Lines) line = CalcVariables(line);
    RenderTextBox(copy);
  } else {
    TgtTextItem copy = item;
    for (std::u16string& line : copy.Lines) line = CalcVariables(line);
    RenderText(copy);
  }
}

void TgtCustomDocumentEngine::RenderItems(const TgtItemList& items) {
  for (const TgtDocumentItem& item : items) {
    switch (item.ItemClass()) {
      case TgtItemClass::icTextBox:
      case TgtItemClass::icText:
        RenderTextItem(static_cast<const TgtTextItem&>(item));
        break;
      case TgtItemClass::icImageStream:
        RenderImageStream(static_cast<const TgtImageStream&>(item));
        break;
      case TgtItemClass::icImage:
        RenderImage(static_cast<const TgtImageItem&>(item));
        break;
      case TgtItemClass::icShape: {
        const auto& s = static_cast<const TgtShapeItem&>(item);
        if (s.PointCount() > 0) RenderShape(s);
        break;
      }
      case TgtItemClass::icPolyShape: {
        const auto& ps = static_cast<const TgtPolyShapeItem&>(item);
        if (!ps.Figures.empty()) {
          const uint8_t kind = ps.Figures.front().Kind;
          if (kind == skPolygon || kind == skPolyLine) RenderPolyShape(ps, kind == skPolygon);
        }
        break;
      }
      case TgtItemClass::icTable:
        RenderTable(static_cast<const TgtTableItem&>(item));
        break;
      case TgtItemClass::icParagraph:
        RenderParagraph(static_cast<const TgtParagraphItem&>(item));
        break;
      case TgtItemClass::icClip:
        RenderClip(static_cast<const TgtClipItem&>(item));
        break;
      case TgtItemClass::icPath:
        RenderPath(static_cast<const TgtPathItem&>(item));
        break;
      case TgtItemClass::icPolyPolygon:
        RenderPolyPolygon(static_cast<const TgtPolyPolygonItem&>(item));
        break;
      case TgtItemClass::icEOF:
        RenderEOF(static_cast<const TgtEOFItem&>(item));
        break;
      case TgtItemClass::icPolyDraw:
        RenderPolyDraw(static_cast<const TgtPolyDrawItem&>(item));
        break;
      case TgtItemClass::icOther:
        RenderOtherItem(item);
        break;
    }
  }
}

void TgtCustomDocumentEngine::PrepareTextItems(const TgtItemList& items) {
  for (const TgtDocumentItem& item : items)
    if (item.ItemClass() == TgtItemClass::icText) RenderText(static_cast<const TgtTextItem&>(item));
}

void TgtCustomDocumentEngine::SortItems(TgtItemList& items) {
  items.SortSubset([](const TgtDocumentItem& i) { return i.ItemClass() == TgtItemClass::icText; },
                   [](const TgtDocumentItem& a, const TgtDocumentItem& b) {
                     const auto& ta = static_cast<const TgtTextItem&>(a);
                     const auto& tb = static_cast<const TgtTextItem&>(b);
                     if (ta.Y != tb.Y) return ta.Y < tb.Y;
                     return ta.X < tb.X;
                   });
}

void TgtCustomDocumentEngine::RenderPageBorder() {
  const TgtBorder& b = pageBorder_;
  if (!(b.DrawLeft || b.DrawTop || b.DrawRight || b.DrawBottom)) return;
  const TgtPageSettings* s = CurrentPageSettings();
  if (!s) return;
  const TPen pen{b.Color, b.Width, b.Style};
  const double l = s->LeftMargin(), t = s->TopMargin();
  const double r = s->Width() - s->RightMargin(), btm = s->Height() - s->BottomMargin();
  if (b.DrawLeft) RenderLine(pen, l, t, l, btm);
  if (b.DrawTop) RenderLine(pen, l, t, r, t);
  if (b.DrawRight) RenderLine(pen, r, t, r, btm);
  if (b.DrawBottom) RenderLine(pen, l, btm, r, btm);
}

std::u16string TgtCustomDocumentEngine::ReplacePageVariables(std::u16string_view text) {
  auto replaceAll = [](std::u16string& s, std::u16string_view what, const std::u16string& by) {
    for (size_t at = s.find(what); at != std::u16string::npos; at = s.find(what, at + by.size()))
      s.replace(at, what.size(), by);
  };
  auto number = [](int32_t v) {
    char buf[16];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::u16string(buf, r.ptr);
  };
  std::u16string s(text);
  replaceAll(s, u"<%Pg#%>", number(currentPage_));
  replaceAll(s, u"<%PgCnt%>", number(pageCount_));
  return s;
}

std::u16string TgtCustomDocumentEngine::CalcVariables(std::u16string_view text) {
  if (!Preferences().CalculateVariables()) return std::u16string(text);
  std::u16string s = ReplacePageVariables(text);
  if (OnCalcVariables) OnCalcVariables(*this, s);
  return s;
}

// ---- Hooks whose base does nothing --------------------------------------------------------

void TgtCustomDocumentEngine::DoBeginPage() {}
void TgtCustomDocumentEngine::DoEndPage() {}
void TgtCustomDocumentEngine::DoBeginDoc() {}
void TgtCustomDocumentEngine::DoEndDoc() {}
void TgtCustomDocumentEngine::RenderText(const TgtTextItem&) {}
void TgtCustomDocumentEngine::RenderImage(const TgtImageItem&) {}
void TgtCustomDocumentEngine::RenderImageStream(const TgtImageStream&) {}
void TgtCustomDocumentEngine::RenderOtherItem(const TgtDocumentItem&) {}
void TgtCustomDocumentEngine::RenderClip(const TgtClipItem&) {}
void TgtCustomDocumentEngine::RenderPath(const TgtPathItem&) {}
void TgtCustomDocumentEngine::RenderPolyPolygon(const TgtPolyPolygonItem&) {}
void TgtCustomDocumentEngine::RenderEOF(const TgtEOFItem&) {}
void TgtCustomDocumentEngine::RenderPolyDraw(const TgtPolyDrawItem&) {}
void TgtCustomDocumentEngine::RenderLine(const TPen&, double, double, double, double) {}
void TgtCustomDocumentEngine::RenderRectangle(const TPen&, const TBrush*, double, double, double,
                                              double) {}
void TgtCustomDocumentEngine::RenderEllipse(const TPen&, const TBrush*, double, double, double,
                                            double) {}
void TgtCustomDocumentEngine::RenderRoundRect(const TPen&, const TBrush*, double, double, double,
                                              double, double, double) {}
void TgtCustomDocumentEngine::RenderPolygon(const TgtPoint*, int32_t, const TBrush*, const TPen&,
                                            bool) {}
void TgtCustomDocumentEngine::RenderPolyShape(const TgtPolyShapeItem&, bool) {}
void TgtCustomDocumentEngine::RenderArc(const TPen&, double, double, double, double, double, double,
                                        double, double) {}
void TgtCustomDocumentEngine::RenderPie(const TPen&, const TBrush*, double, double, double, double,
                                        double, double, double, double) {}
void TgtCustomDocumentEngine::RenderChord(const TPen&, const TBrush*, double, double, double,
                                          double, double, double, double, double) {}
void TgtCustomDocumentEngine::RenderPolyBezier(const TgtPoint*, int32_t, const TPen&) {}
void TgtCustomDocumentEngine::RenderBitmap(const TgtGraphic&, double, double) {}
bool TgtCustomDocumentEngine::SupportsFeature() {
  return true;
}
int32_t TgtCustomDocumentEngine::ShowDefaultSetupDialog() {
  return mrOk;
}
TgtPreferences* TgtCustomDocumentEngine::PreferencesClass() const {
  return new TgtPreferences();
}
void TgtCustomDocumentEngine::CheckOutputImageFormat(TgtOutputImageFormat) {}

bool TgtCustomDocumentEngine::ImageFormatAccepted() {
  const uint32_t before = errorsRaised_;
  CheckOutputImageFormat(imageSettings_.OutputImageFormat);
  return errorsRaised_ == before;
}

// ---- Plain-sheet layer --------------------------------------------------------------------

TgtCustomPlainsheetEngine::TgtCustomPlainsheetEngine() = default;
TgtCustomPlainsheetEngine::~TgtCustomPlainsheetEngine() = default;

TgtPlainSheetPreferences* TgtCustomPlainsheetEngine::PreferencesClass() const {
  return new TgtPlainSheetPreferences();
}

void TgtCustomPlainsheetEngine::BeginDoc() {
  if (!DocumentOpen()) toc_.clear();
  TgtCustomDocumentEngine::BeginDoc();
}

void TgtCustomPlainsheetEngine::EndDoc() {
  const bool wasOpen = DocumentOpen();
  TgtCustomDocumentEngine::EndDoc();
  if (wasOpen) toc_.clear();
}

void TgtCustomPlainsheetEngine::SetFileName(const std::string& name) {
  if (DocumentOpen()) return;
  const std::string ext = ExtractFileExt(name);
  fileName_ = name.substr(0, name.size() - ext.size());
}

int32_t TgtCustomPlainsheetEngine::AddTOCItem(std::u16string_view title, int32_t parent, double x,
                                              double y, int32_t page) {
  if (!DocumentOpen()) return -1;
  if (parent < -1 || parent >= static_cast<int32_t>(toc_.size())) return -1;
  if (page < 1 || page > PageCount()) return -1;
  TgtTOCItem& t = toc_.emplace_back();
  t.Title = title;
  t.Parent = parent;
  t.X = ConvertX(x);
  t.Y = ConvertY(y);
  t.Page = page;
  return static_cast<int32_t>(toc_.size() - 1);
}

int32_t TgtCustomPlainsheetEngine::AddTOCLink(std::u16string_view title, int32_t parent,
                                              std::u16string_view link) {
  if (!DocumentOpen()) return -1;
  if (parent < -1 || parent >= static_cast<int32_t>(toc_.size())) return -1;
  TgtTOCItem& t = toc_.emplace_back();
  t.Title = title;
  t.Parent = parent;
  t.Link = link;
  return static_cast<int32_t>(toc_.size() - 1);
}

}  // namespace pv
