// Document lifecycle, pages and engine states; bands, images, item rendering and the
// plain-sheet layer have files of their own.
#include "docengine/engine.h"

#include <charconv>

#include "docengine/engine_paragraph_table.h"
#include "docengine/metafile_canvas.h"
#include "docengine/rounding.h"
#include "platform/checked.h"
#include "platform/process.h"

namespace pv {

namespace {

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

// ---- Guards ------------------------------------------------------------------------------

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
    // A band's items go on every page, or on the first only where a capability says so.
    const auto renderBand = [&](uint16_t firstOnly, TgtBand band, const TgtBandItem& items) {
      if ((capabilities_ & firstOnly) && !first) return;
      SetBand(band);
      RenderItems(items.Items);
    };
    renderBand(capHeaderFirstPageOnly, TgtBand::bdHeader, *header_);
    renderBand(capUnderlayFirstPageOnly, TgtBand::bdUnderlay, *underlay_);
    SetBand(TgtBand::bdPage);
    RenderItems(page->Items);
    renderBand(capFooterFirstPageOnly, TgtBand::bdFooter, *footer_);
    renderBand(capOverlayFirstPageOnly, TgtBand::bdOverlay, *overlay_);
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

}  // namespace pv
