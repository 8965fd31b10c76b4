#include "pdf/engine.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstring>

#include "docengine/metafile_canvas.h"
#include "pdf/syntax.h"
#include "pdf/ttf_subset.h"
#include "platform/clock.h"
#include "platform/fonts.h"
#include "platform/process.h"
#include "platform/text.h"

namespace pv {

namespace {

const char* PatternName(TBrushStyle s) {
  switch (s) {
    case TBrushStyle::bsHorizontal:
      return "PH";
    case TBrushStyle::bsVertical:
      return "PV";
    case TBrushStyle::bsFDiagonal:
      return "PFD";
    case TBrushStyle::bsBDiagonal:
      return "PBD";
    case TBrushStyle::bsCross:
      return "PC";
    case TBrushStyle::bsDiagCross:
      return "PDC";
    default:
      return "";
  }
}

const char* PatternCell(std::string_view name) {
  if (name == "PH") return "2 J 2 j 0.3 w 0 2.5 m 5 2.5 l S";
  if (name == "PV") return "2 J 2 j 0.3 w 2.5 0 m 2.5 5 l S";
  if (name == "PFD") return "2 J 2 j 0.3 w 0 2.5 m 2.5 0 l 5 2.5 m 2.5 5 l S";
  if (name == "PBD") return "2 J 2 j 0.3 w 0 2.5 m 2.5 5 l 2.5 0 m 5 2.5 l S";
  if (name == "PC") return "2 J 2 j 0.3 w 0 2.5 m 5 2.5 l 2.5 0 m 2.5 5 l S";
  if (name == "PDC") return "2 J 2 j 0.3 w 2.5 0 m 5 2.5 l 2.5 5 l 0 2.5 l s";
  return "";
}

}  // namespace

void TgtPDFPreferences::Assign(const TgtPreferences& other) {
  TgtPlainSheetPreferences::Assign(other);
  if (auto* o = dynamic_cast<const TgtPDFPreferences*>(&other)) embed_ = o->embed_;
}

TgtCustomPDFEngine::TgtCustomPDFEngine()
    : writer_(compression_, [this](std::string& data, int32_t n) { EncryptStream(data, n); }),
      shapes_(pageContent_, [this](TBrushStyle s) { return HatchPattern(s); }) {
  SetFileExtension("pdf");
  SetFileDescription("Adobe PDF Files");
  SetCapabilities(capText | capImage | capShape | capImageOption1 | capImageOption2 |
                  capInputResolution);
  pointsPerUnit_ = 72.0 / kScreenPPI;
}

TgtCustomPDFEngine::~TgtCustomPDFEngine() = default;

TgtPDFPreferences* TgtCustomPDFEngine::PreferencesClass() const {
  return new TgtPDFPreferences();
}

void TgtCustomPDFEngine::CheckOutputImageFormat(TgtOutputImageFormat format) {
  switch (format) {
    case TgtOutputImageFormat::ifBMP:
    case TgtOutputImageFormat::ifJPEG:
    case TgtOutputImageFormat::ifCCITT3:
    case TgtOutputImageFormat::ifCCITT4:
      return;
    default:
      RaiseError(EImageFormatError());
  }
}

const TgtPageInfo* TgtCustomPDFEngine::CurrentPageInfo() const {
  const int32_t page = CurrentPage();
  if (!pageOpen_ || page < 1 || static_cast<size_t>(page) > pageInfos_.size()) return nullptr;
  const TgtPageInfo& info = pageInfos_[static_cast<size_t>(page - 1)];
  return info.ObjectNumber ? &info : nullptr;
}

double TgtCustomPDFEngine::ToPdfX(double x) const {
  return shapes_.Units.X(x);
}

double TgtCustomPDFEngine::ToPdfY(double y) const {
  return shapes_.Units.Y(y);
}

// ---- Document -------------------------------------------------------------------------------

void TgtCustomPDFEngine::DoBeginDoc() {
  if (Preferences().OutputToUserStream() && userStream_) {
    ownedOutput_ = std::make_unique<TgtPdfMemoryStream>(*userStream_);
  } else {
    std::string path = FileName() + "." + FileExtension();
    auto file = std::make_unique<TgtPdfFileStream>();
    struct stat st;
    // A folder (or other non-file) where the PDF should go cannot be replaced by it.
    bool blocked = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    if (blocked || !file->Open(path)) {
      const std::string reason = blocked ? std::string("something other than a file is in the way")
                                         : std::string(std::strerror(file->Error()));
      SetDocumentState(TgtDocumentState::dsFailed);
      for (const std::string& f : OutputFiles())
        if (FileExists(f) && f != path) std::remove(f.c_str());
      ResetDocument();
      throw EFileCreateError(reason);
    }
    AddOutputFile(path);
    ownedOutput_ = std::move(file);
  }
  output_ = ownedOutput_.get();
  pageContent_.clear();
  pageInfos_.clear();
  fontList_.clear();
  patternList_.clear();
  imageList_.clear();
  thumbnails_.clear();
  backgroundObject_ = 0;
  pageOpen_ = false;
  outlinesObject_ = 0;
  encryptObject_ = 0;
  catalogWritten_ = false;
  documentDate_ = pv::DocumentDate();
  crypt_.reset();
  if (encryption_.Enabled())
    crypt_ =
        std::make_unique<TgtPDFEncryption>(FileName(), FileExtension(), encryption_, documentDate_);
  writer_.WriteHeader(*output_);
}

void TgtCustomPDFEngine::WriteCatalogOnce() {
  if (catalogWritten_) return;
  catalogWritten_ = true;
  WriteObject(BuildCatalog() + "\r\n", kCatalogObject, true);
}

void TgtCustomPDFEngine::DoBeginPage() {
  shapes_.ResetPage();
  if (pageInfos_.empty()) WriteCatalogOnce();
  pageContent_.clear();
  writer_.BeginContentStream(pageContent_);
  pageContent_ += "q ";
  AppendNumber(pageContent_, static_cast<double>(kScreenPPI) / InputXRes());
  pageContent_ += " 0 0 ";
  AppendNumber(pageContent_, static_cast<double>(kScreenPPI) / InputYRes());
  pageContent_ += " 0 0 cm\r\n";
  const TgtPageSettings* ps = CurrentPageSettings();
  TgtPageInfo info;
  info.ObjectNumber = AllocObject();
  info.Width = (ps ? ps->Width() : 0) * pointsPerUnit_;
  info.Height = (ps ? ps->Height() : 0) * pointsPerUnit_;
  currentPageObject_ = info.ObjectNumber;
  size_t index = static_cast<size_t>(CurrentPage() > 0 ? CurrentPage() - 1 : 0);
  if (pageInfos_.size() < static_cast<size_t>(PageCount()))
    pageInfos_.resize(static_cast<size_t>(PageCount()));
  if (index >= pageInfos_.size()) pageInfos_.resize(index + 1);
  pageInfos_[index] = info;
  contentsObject_ = AllocObject();
  annotRefs_.clear();
  contentsLengthObject_ = AllocObject();
  shapes_.Units.PointsPerUnit = pointsPerUnit_;
  shapes_.Units.XFactor = static_cast<double>(InputXRes()) / kScreenPPI;
  shapes_.Units.YFactor = static_cast<double>(InputYRes()) / kScreenPPI;
  shapes_.Units.PageHeight = info.Height;
  pageOpen_ = true;
  PaintBackground();
}

void TgtCustomPDFEngine::PaintBackground() {
  const TgtPageInfo& info = *CurrentPageInfo();
  pageContent_ += "\r\nq\r\n";
  AppendColor(pageContent_, backgroundColor_);
  pageContent_ += " rg n 0.0000 0.0000 ";
  AppendNumber(pageContent_, info.Width * InputXRes() / kScreenPPI);
  pageContent_ += ' ';
  AppendNumber(pageContent_, info.Height * InputYRes() / kScreenPPI);
  pageContent_ += " re f ";
  pageContent_ += BackgroundImageText(info.Width, info.Height);
  pageContent_ += "\r\n\r\nQ";
}

void TgtCustomPDFEngine::DoEndPage() {
  WriteObject(BuildPageDict() + "\r\n", currentPageObject_, true);
  pageContent_ += "\r\nQ\r\n";
  writer_.WriteContentStream(pageContent_, contentsObject_, contentsLengthObject_);
  writer_.WriteDeferredObjects();
  pageOpen_ = false;
  pageContent_.clear();
  pageContent_.shrink_to_fit();
}

std::string TgtCustomPDFEngine::ViewerPreferencesText() const {
  const TgtViewerPreferences& v = viewerPreferences_;
  static const char* modes[] = {"/UseNone", "/UseOutlines", "/UseThumbs", "/FullScreen"};
  static const char* layouts[] = {"/SinglePage", "/OneColumn", "/TwoColumnLeft", "/TwoColumnRight"};
  static const char* nfs[] = {"/UseNone", "/UseOutlines", "/UseThumbs"};
  std::string t = "/PageMode";
  t += modes[static_cast<int>(v.PageMode)];
  t += "/PageLayout";
  t += layouts[static_cast<int>(v.PageLayout)];
  t += "/ViewerPreferences <<";
  if (v.CenterWindow) t += "/CenterWindow true";
  if (v.FitWindow) t += "/FitWindow true";
  if (v.HideWindowUI) t += "/HideWindowUI true";
  if (v.HideMenuBar) t += "/HideMenubar true";
  if (v.HideToolBar) t += "/HideToolbar true";
  if (v.PageMode == TgtPageMode::pmFullScreen) {
    t += "/NonFullScreenPageMode";
    t += nfs[static_cast<int>(v.NonFullScreenPageMode)];
  }
  t += " >>";
  return t;
}

std::string TgtCustomPDFEngine::TransitionText() const {
  static const char* styles[] = {"/R",
                                 "/Split/Dm/H/M/I",
                                 "/Split/Dm/H/M/O",
                                 "/Split/Dm/V/M/I",
                                 "/Split/Dm/V/M/O",
                                 "/Blinds/Dm/H",
                                 "/Blinds/Dm/V",
                                 "/Box/M/I",
                                 "/Box/M/O",
                                 "/Wipe/Di 0",
                                 "/Wipe/Di 90",
                                 "/Wipe/Di 180",
                                 "/Wipe/Di 270",
                                 "/Dissolve",
                                 "/Glitter/Di 0",
                                 "/Glitter/Di 270",
                                 "/Glitter/Di 315"};
  const TgtPresentationMode& p = viewerPreferences_.PresentationMode;
  std::string d = IntToStr(p.Duration);
  return "/Dur " + d + "/Trans <</Type/Trans/D " + d + "/S" +
         styles[static_cast<int>(p.TransitionEffect)] + " >>";
}

std::string TgtCustomPDFEngine::BuildCatalog() {
  std::string t = "/Type/Catalog/Pages " + ObjRef(kPagesObject);
  if (!TOCItems().empty()) {
    outlinesObject_ = AllocObject();
    t += "/Outlines " + ObjRef(outlinesObject_);
  }
  t += ViewerPreferencesText();
  return t;
}

std::string TgtCustomPDFEngine::BuildPageDict() {
  const TgtPageInfo& info = *CurrentPageInfo();
  std::string t = "/Type/Page/Parent " + ObjRef(kPagesObject) + "/MediaBox [0 0 ";
  t += FormatNumber(info.Width) + " " + FormatNumber(info.Height) + "]/Resources " +
       ObjRef(kResourcesObject) + "/Contents " + ObjRef(contentsObject_);
  std::string_view refs = Trim(annotRefs_);
  if (Preferences().ActiveHyperLinks() && !refs.empty()) t += "/Annots [" + std::string(refs) + "]";
  t += TransitionText();
  for (const TgtPDFThumbnailItem& thumb : thumbnails_)
    if (thumb.Page == CurrentPage()) t += "/Thumb " + ObjRef(thumb.ObjectNumber);
  return t;
}

std::string TgtCustomPDFEngine::HatchPattern(TBrushStyle style) {
  const char* name = PatternName(style);
  if (!*name) return {};
  for (const auto& p : patternList_)
    if (p.first == name) return p.first;
  patternList_.emplace_back(name, AllocObject());
  return name;
}

void TgtCustomPDFEngine::WritePatterns() {
  static const char* kHeader =
      "/Type /Pattern\r\n/Resources << /ProcSet [/PDF ] >>\r\n/PatternType 1\r\n/PaintType 2\r\n"
      "/TilingType 1\r\n/BBox [0 0 5 5]\r\n/XStep 5\r\n/YStep 5\r\n";
  for (const auto& [name, n] : patternList_) {
    if (name == "PI")
      WriteBackgroundPattern(n);
    else
      WriteStreamObject(kHeader, PatternCell(name), n);
  }
}

void TgtCustomPDFEngine::WriteOutlines() {
  const auto& toc = TOCItems();
  if (toc.empty() || outlinesObject_ == 0) return;
  // One object per entry; children in order under their parent.
  std::vector<int32_t> num(toc.size());
  for (auto& n : num) n = AllocObject();
  auto childrenOf = [&](int32_t parent) {
    std::vector<size_t> c;
    for (size_t i = 0; i < toc.size(); ++i)
      if (toc[i].Parent == parent) c.push_back(i);
    return c;
  };
  auto top = childrenOf(-1);
  std::string root = "/Type /Outlines/Count " + IntToStr(static_cast<int64_t>(toc.size()));
  if (!top.empty())
    root += "/First " + ObjRef(num[top.front()]) + "/Last " + ObjRef(num[top.back()]);
  WriteObject(root + "\r\n", outlinesObject_, true);
  for (size_t i = 0; i < toc.size(); ++i) {
    const TgtTOCItem& e = toc[i];
    auto siblings = childrenOf(e.Parent);
    auto kids = childrenOf(static_cast<int32_t>(i));
    std::string t =
        "/Title <" +
        PdfTextString(e.Title, num[i],
                      [this](std::string_view b, int32_t n) { return EncryptString(b, n); }) +
        ">";
    t += "/Parent " + ObjRef(e.Parent < 0 ? outlinesObject_ : num[static_cast<size_t>(e.Parent)]);
    for (size_t k = 0; k < siblings.size(); ++k) {
      if (siblings[k] != i) continue;
      if (k > 0) t += "/Prev " + ObjRef(num[siblings[k - 1]]);
      if (k + 1 < siblings.size()) t += "/Next " + ObjRef(num[siblings[k + 1]]);
    }
    if (!kids.empty())
      t += "/First " + ObjRef(num[kids.front()]) + "/Last " + ObjRef(num[kids.back()]) + "/Count " +
           IntToStr(static_cast<int64_t>(kids.size()));
    if (e.Page >= 1 && static_cast<size_t>(e.Page) <= pageInfos_.size() &&
        pageInfos_[static_cast<size_t>(e.Page - 1)].ObjectNumber) {
      const TgtPageInfo& pi = pageInfos_[static_cast<size_t>(e.Page - 1)];
      t += "/Dest [" + ObjRef(pi.ObjectNumber) + " /XYZ " + FormatNumber(e.X * pointsPerUnit_) +
           " " + FormatNumber(pi.Height - e.Y * pointsPerUnit_) + " 0]";
    } else if (!e.Link.empty()) {
      t += "/A << /S /URI /URI <" + HexString(EncryptString(Utf16ToUtf8(e.Link), num[i])) + "> >>";
    }
    WriteObject(t + "\r\n", num[i], true);
  }
}

void TgtCustomPDFEngine::WritePageTree() {
  std::string kids;
  int32_t count = 0;
  for (const TgtPageInfo& p : pageInfos_) {
    if (!p.ObjectNumber) continue;
    if (count++) kids += ' ';
    kids += ObjRef(p.ObjectNumber);
  }
  WriteObject("/Type/Pages/Count " + IntToStr(count) + "/Kids [" + kids + "]\r\n", kPagesObject,
              true);
}

void TgtCustomPDFEngine::WriteResources() {
  std::string res;
  if (!patternList_.empty()) {
    res += "/ColorSpace <</CSP [/Pattern /DeviceRGB]>>\r\n/Pattern <<";
    for (const auto& [name, n] : patternList_) res += "/" + name + " " + ObjRef(n);
    res += ">>\r\n";
  }
  if (!fontList_.empty()) {
    res += "/Font <<";
    for (size_t i = 0; i < fontList_.size(); ++i)
      res += "/F" + IntToStr(static_cast<int64_t>(i)) + " " +
             ObjRef(fontList_[i]->Info.ObjectNumber) + " ";
    res += ">>\r\n";
  }
  res += "/ProcSet " + ObjRef(kProcSetObject);
  bool tiledBackground = false;
  for (const auto& p : patternList_) tiledBackground |= p.first == "PI";
  const bool background = backgroundObject_ > 0 && !tiledBackground;
  bool images = background;
  for (const TgtPdfXObject& x : imageList_) images |= x.ObjectNumber != 0;
  if (images) {
    res += "/XObject <<";
    if (background) res += "/BI " + ObjRef(backgroundObject_);
    for (const TgtPdfXObject& x : imageList_)
      if (x.ObjectNumber) res += "/" + x.Name + " " + ObjRef(x.ObjectNumber);
    res += " >>";
  }
  res += "\r\n";
  WriteObject(res, kResourcesObject, true);
}

void TgtCustomPDFEngine::WriteProcSet() {
  std::string procs = "[/PDF";
  if (ItemsToRender().Contains(irText)) procs += " /Text";
  if (ItemsToRender().Contains(irImage)) procs += " /ImageC";
  procs += "]";
  WriteObject(procs, kProcSetObject, true);
}

void TgtCustomPDFEngine::WriteInfo() {
  auto enc = [this](std::string_view b, int32_t n) { return EncryptString(b, n); };
  std::string date = HexString(EncryptString(documentDate_, kInfoObject));
  std::string info = "/CreationDate <" + date + ">/ModDate <" + date + ">/Producer <" +
                     PdfTextString("Folioforge V2.41", kInfoObject, enc) + ">";
  const TgtDocInfo& di = DocInfo();
  const std::pair<const char*, const std::u16string*> entries[] = {{"/Author <", &di.Author},
                                                                   {"/Keywords <", &di.Keywords},
                                                                   {"/Creator <", &di.Creator},
                                                                   {"/Title <", &di.Title},
                                                                   {"/Subject <", &di.Subject}};
  for (const auto& [key, value] : entries) {
    if (Trim(Utf16ToUtf8(*value)).empty()) continue;
    info += key + PdfTextString(*value, kInfoObject, enc) + ">";
  }
  WriteObject(info + "\r\n", kInfoObject, true);
}

void TgtCustomPDFEngine::DoEndDoc() {
  if (!output_) return;
  WriteCatalogOnce();  // a document whose pages were all left out still needs its catalog
  WriteThumbnails();
  WriteOutlines();
  WritePageTree();
  WriteResources();
  WriteProcSet();
  WritePatterns();
  WriteFonts();
  WriteEncryptDict();
  WriteInfo();
  const uint64_t xref = writer_.WriteXRefTable();
  writer_.WriteTrailer(BuildTrailer(), xref);

  // The writer state goes whatever happens to the file; a file that cannot be completed
  // leaves no partial PDF behind.
  std::unique_ptr<TgtPdfOutputStream> out = std::move(ownedOutput_);
  output_ = nullptr;
  FreeWriterState();
  if (auto* file = dynamic_cast<TgtPdfFileStream*>(out.get())) file->Commit();
}

void TgtCustomPDFEngine::FreeWriterState() {
  writer_.Reset();
  pageInfos_.clear();
  pageContent_.clear();
  fontList_.clear();
  patternList_.clear();
  imageList_.clear();
  thumbnails_.clear();
  backgroundObject_ = 0;
  annotRefs_.clear();
  crypt_.reset();
}

std::string TgtCustomPDFEngine::BuildTrailer() {
  std::string t = "/Root " + ObjRef(kCatalogObject) + "/Info " + ObjRef(kInfoObject) + "/Size " +
                  IntToStr(ObjectCount() + 1);
  if (crypt_) {
    std::string id = HexString(crypt_->FileIDBytes());
    t += "/ID [<" + id + "><" + id + ">]/Encrypt " + ObjRef(encryptObject_);
  }
  return t;
}

void TgtCustomPDFEngine::WriteEncryptDict() {
  if (!crypt_) return;
  encryptObject_ = AllocObject();
  WriteObject(crypt_->EncryptDictText(), encryptObject_, true);
}

void TgtCustomPDFEngine::EncryptStream(std::string& data, int32_t n) {
  if (crypt_) crypt_->EncryptStream(data, n);
}

std::string TgtCustomPDFEngine::EncryptString(std::string_view bytes, int32_t n) {
  return crypt_ ? crypt_->EncryptString(bytes, n) : std::string(bytes);
}

// ---- Shape hooks ------------------------------------------------------------------------------

void TgtCustomPDFEngine::RenderClip(const TgtClipItem& item) {
  shapes_.RenderClip(item);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderPath(const TgtPathItem& item) {
  shapes_.RenderPath(item);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderPolyPolygon(const TgtPolyPolygonItem& item) {
  shapes_.RenderPolyPolygon(item);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderEOF(const TgtEOFItem& item) {
  shapes_.RenderEOF(item);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderPolyDraw(const TgtPolyDrawItem& item) {
  shapes_.RenderPolyDraw(item);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderLine(const TPen& pen, double x1, double y1, double x2, double y2) {
  shapes_.RenderLine(pen, x1, y1, x2, y2);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderRectangle(const TPen& pen, const TBrush* brush, double x1, double y1,
                                         double x2, double y2) {
  shapes_.RenderRectangle(pen, brush, x1, y1, x2, y2);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderEllipse(const TPen& pen, const TBrush* brush, double x1, double y1,
                                       double x2, double y2) {
  shapes_.RenderEllipse(pen, brush, x1, y1, x2, y2);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderRoundRect(const TPen& pen, const TBrush* brush, double x1, double y1,
                                         double x2, double y2, double cw, double ch) {
  shapes_.RenderRoundRect(pen, brush, x1, y1, x2, y2, cw, ch);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderPolygon(const TgtPoint* points, int32_t count, const TBrush* brush,
                                       const TPen& pen, bool closed) {
  shapes_.RenderPolygon(points, count, brush, pen, closed);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderPolyShape(const TgtPolyShapeItem& item, bool closed) {
  shapes_.RenderPolyShape(item, closed);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderArc(const TPen& pen, double x1, double y1, double x2, double y2,
                                   double x3, double y3, double x4, double y4) {
  shapes_.RenderArc(pen, x1, y1, x2, y2, x3, y3, x4, y4);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderPie(const TPen& pen, const TBrush* brush, double x1, double y1,
                                   double x2, double y2, double x3, double y3, double x4,
                                   double y4) {
  shapes_.RenderPie(pen, brush, x1, y1, x2, y2, x3, y3, x4, y4);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderChord(const TPen& pen, const TBrush* brush, double x1, double y1,
                                     double x2, double y2, double x3, double y3, double x4,
                                     double y4) {
  shapes_.RenderChord(pen, brush, x1, y1, x2, y2, x3, y3, x4, y4);
  ContentWritten();
}
void TgtCustomPDFEngine::RenderPolyBezier(const TgtPoint* points, int32_t count, const TPen& pen) {
  shapes_.RenderPolyBezier(points, count, pen);
  ContentWritten();
}

// ---- The extended engine ---------------------------------------------------------------------

std::string TgtExPDFEngine::BuildCatalog() {
  return TgtCustomPDFEngine::BuildCatalog();
}
std::string TgtExPDFEngine::BuildPageDict() {
  return TgtCustomPDFEngine::BuildPageDict();
}
void TgtExPDFEngine::DoEndPage() {
  TgtCustomPDFEngine::DoEndPage();
}
void TgtExPDFEngine::DoBeginDoc() {
  TgtCustomPDFEngine::DoBeginDoc();
}
void TgtExPDFEngine::DoEndDoc() {
  TgtCustomPDFEngine::DoEndDoc();
}

}  // namespace pv
