#include "docengine/page_settings.h"

#include <algorithm>
#include <utility>

#include "platform/graphics.h"

namespace pv {

namespace {

constexpr double kPPI = kScreenPPI;

// Portrait inches, in TgtPaperSize order; ps11X17 is 10 inches wide.
constexpr TgtPaperInches kPaper[kPaperSizeCount - 1] = {
    {8.5, 11},        {8.5, 11},         {11, 17},           {17, 11},          {8.5, 14},
    {5.5, 8.5},       {7.25, 10.5},      {11.6929, 16.5354}, {8.2677, 11.6929}, {8.2677, 11.6929},
    {5.8267, 8.2677}, {9.8425, 13.8976}, {6.9291, 9.8425},   {8.5, 13},         {8.4645, 10.8267},
    {10, 14},         {10, 17},          {8.5, 11},          {4.125, 9.5},      {4.5, 10.375},
    {4.75, 11},       {5, 11.5},         {17, 22},           {22, 34},          {34, 44},
    {4.3307, 8.6614}, {6.3779, 9.0157},  {12.7559, 18.0314}, {9.1057, 12.7559}, {4.4881, 6.3779},
    {4.4881, 9.0157}, {9.8425, 13.8976}, {6.9291, 9.8425},   {6.9291, 4.9212},  {4.3307, 9.0551},
    {3.875, 7.5},     {3.625, 6.5},      {14.875, 11},       {8.5, 12},         {9.8425, 13.8976},
};

}  // namespace

double UnitFactor(TgtUnitType unit) {
  switch (unit) {
    case TgtUnitType::muPixels:
      return 1.0;
    case TgtUnitType::muInches:
      return kPPI;
    case TgtUnitType::muMM:
      return kPPI / 72.0 * 2.83464;
    case TgtUnitType::muPoints:
      return kPPI / 72.0;
    case TgtUnitType::muTwips:
      return kPPI / 72.0 * 0.05;
  }
  return 1.0;
}

TgtPaperInches PaperSizeInches(TgtPaperSize size) {
  auto i = static_cast<unsigned>(size);
  if (i >= static_cast<unsigned>(TgtPaperSize::Custom)) return {};
  return kPaper[i];
}

TgtPageSettings::TgtPageSettings() {
  ApplyPaperSize(TgtPaperSize::A4);
}

TgtPageSettings::TgtPageSettings(TgtDocSettings* owner) : TgtPageSettings() {
  owner_ = owner;
}

TgtPageSettings::TgtPageSettings(const TgtPageSettings& other) : TgtPageSettings() {
  *this = other;
}

TgtPageSettings& TgtPageSettings::operator=(const TgtPageSettings& other) {
  if (this == &other) return *this;
  paperSize_ = other.paperSize_;
  orientation_ = other.orientation_;
  binNumber_ = other.binNumber_;
  footerHeight_ = other.footerHeight_;
  width_ = other.width_;
  bottomMargin_ = other.bottomMargin_;
  topMargin_ = other.topMargin_;
  height_ = other.height_;
  rightMargin_ = other.rightMargin_;
  leftMargin_ = other.leftMargin_;
  headerHeight_ = other.headerHeight_;
  return *this;
}

double& TgtPageSettings::Field(Length which) {
  switch (which) {
    case lnFooter:
      return footerHeight_;
    case lnWidth:
      return width_;
    case lnBottom:
      return bottomMargin_;
    case lnTop:
      return topMargin_;
    case lnHeight:
      return height_;
    case lnRight:
      return rightMargin_;
    case lnLeft:
      return leftMargin_;
    case lnHeader:
      break;
  }
  return headerHeight_;
}

void TgtPageSettings::SetLength(Length which, double v) {
  const bool dimension = which == lnWidth || which == lnHeight;
  if (dimension && paperSize_ != TgtPaperSize::Custom) return;
  const double internal = v * factor_;
  double& mine = Field(which);
  if (owner_) {
    for (auto& a : owner_->attached_) {
      TgtPageSettings* p = a.Page;
      if (!p || p == this) continue;
      if (dimension && p->paperSize_ != TgtPaperSize::Custom) continue;
      double& theirs = p->Field(which);
      if (theirs == mine) theirs = internal;
    }
  }
  mine = internal;
}

void TgtPageSettings::SetWidth(double v) {
  SetLength(lnWidth, v);
}
void TgtPageSettings::SetHeight(double v) {
  SetLength(lnHeight, v);
}
void TgtPageSettings::SetLeftMargin(double v) {
  SetLength(lnLeft, v);
}
void TgtPageSettings::SetRightMargin(double v) {
  SetLength(lnRight, v);
}
void TgtPageSettings::SetTopMargin(double v) {
  SetLength(lnTop, v);
}
void TgtPageSettings::SetBottomMargin(double v) {
  SetLength(lnBottom, v);
}
void TgtPageSettings::SetHeaderHeight(double v) {
  SetLength(lnHeader, v);
}
void TgtPageSettings::SetFooterHeight(double v) {
  SetLength(lnFooter, v);
}

void TgtPageSettings::ApplyPaperSize(TgtPaperSize size) {
  paperSize_ = size;
  if (size == TgtPaperSize::Custom) return;
  const TgtPaperInches in = PaperSizeInches(size);
  double w = in.Width * 72.0 * (kPPI / 72.0);
  double h = in.Height * 72.0 * (kPPI / 72.0);
  if (orientation_ == TPrinterOrientation::poLandscape) std::swap(w, h);
  width_ = w;
  height_ = h;
}

void TgtPageSettings::SetPaperSize(TgtPaperSize size) {
  if (static_cast<unsigned>(size) >= static_cast<unsigned>(kPaperSizeCount)) return;
  if (owner_) {
    for (auto& a : owner_->attached_)
      if (a.Page && a.Page != this && a.Page->paperSize_ == paperSize_)
        a.Page->ApplyPaperSize(size);
  }
  ApplyPaperSize(size);
}

void TgtPageSettings::ApplyOrientation(TPrinterOrientation orientation) {
  if (orientation == orientation_) return;
  std::swap(width_, height_);
  orientation_ = orientation;
}

void TgtPageSettings::SetOrientation(TPrinterOrientation orientation) {
  if (owner_) {
    for (auto& a : owner_->attached_)
      if (a.Page && a.Page != this && a.Page->orientation_ == orientation_)
        a.Page->ApplyOrientation(orientation);
  }
  ApplyOrientation(orientation);
}

void TgtPageSettings::SetBinNumber(int32_t bin) {
  if (owner_) {
    for (auto& a : owner_->attached_)
      if (a.Page && a.Page != this && a.Page->binNumber_ == binNumber_) a.Page->binNumber_ = bin;
  }
  binNumber_ = bin;
}

TgtDocSettings::TgtDocSettings() : page_(this), preferences_(this) {}

TgtDocSettings::~TgtDocSettings() {
  for (auto& a : attached_)
    if (a.Link && *a.Link == this) *a.Link = nullptr;
}

void TgtDocSettings::Attach(TgtPageSettings* page, TgtPreferences* preferences,
                            TgtDocSettings** link) {
  Detach(page);
  attached_.push_back({page, preferences, link});
}

void TgtDocSettings::Detach(TgtPageSettings* page) {
  std::erase_if(attached_, [page](const Attachment& a) { return a.Page == page; });
}

}  // namespace pv
