#pragma once
// Page settings of the document engine: paper size, orientation, margins and band heights.
// Lengths are stored in screen pixels and presented in the engine's measurement unit
// through a unit factor (screen pixels per unit) that the engine pushes in.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "docengine/engine_preferences.h"

namespace pv {

enum class TgtPaperSize : uint8_t {
  Letter,
  LetterSmall,
  Tabloid,
  Ledger,
  Legal,
  Statement,
  Executive,
  A3,
  A4,
  A4Small,
  A5,
  B4,
  B5,
  Folio,
  Quarto,
  ps10X14,
  ps11X17,
  Note,
  Env10,
  Env11,
  Env12,
  Env14,
  CSheet,
  DSheet,
  ESheet,
  EnvDL,
  EnvC5,
  EnvC3,
  EnvC4,
  EnvC6,
  EnvC65,
  EnvB4,
  EnvB5,
  EnvB6,
  EnvItaly,
  EnvMonarch,
  EnvPersonal,
  FanfoldUS,
  FanfoldStdGerman,
  ISOB4,
  Custom
};
constexpr int kPaperSizeCount = 41;

enum class TPrinterOrientation : uint8_t { poPortrait, poLandscape };

enum class TgtUnitType : uint8_t { muPixels, muInches, muMM, muPoints, muTwips };

// Screen pixels per unit.
double UnitFactor(TgtUnitType unit);

// Portrait width and height of a paper size in inches; Custom has none (0 x 0).
struct TgtPaperInches {
  double Width = 0;
  double Height = 0;
};
TgtPaperInches PaperSizeInches(TgtPaperSize size);

class TgtDocSettings;

class TgtPageSettings {
 public:
  // Unit factor 1, portrait, bin 0, A4.
  TgtPageSettings();
  // The same, owned by a shared settings component whose changes reach attached engines.
  explicit TgtPageSettings(TgtDocSettings* owner);
  // A detached copy (unit factor 1, no owner): what pages and saved states hold.
  TgtPageSettings(const TgtPageSettings& other);
  // Assign: paper size, orientation, bin and the eight lengths; factor and owner stay.
  TgtPageSettings& operator=(const TgtPageSettings& other);
  void Assign(const TgtPageSettings& other) { *this = other; }

  // Lengths in the current unit.
  double Width() const { return width_ / factor_; }
  double Height() const { return height_ / factor_; }
  double LeftMargin() const { return leftMargin_ / factor_; }
  double RightMargin() const { return rightMargin_ / factor_; }
  double TopMargin() const { return topMargin_ / factor_; }
  double BottomMargin() const { return bottomMargin_ / factor_; }
  double HeaderHeight() const { return headerHeight_ / factor_; }
  double FooterHeight() const { return footerHeight_ / factor_; }
  TgtPaperSize PaperSize() const { return paperSize_; }
  TPrinterOrientation Orientation() const { return orientation_; }
  int32_t BinNumber() const { return binNumber_; }

  // Width and height are taken only for Custom paper.
  void SetWidth(double v);
  void SetHeight(double v);
  void SetLeftMargin(double v);
  void SetRightMargin(double v);
  void SetTopMargin(double v);
  void SetBottomMargin(double v);
  void SetHeaderHeight(double v);
  void SetFooterHeight(double v);
  void SetPaperSize(TgtPaperSize size);
  void SetOrientation(TPrinterOrientation orientation);
  void SetBinNumber(int32_t bin);

  // Screen pixels per unit of the getters and setters.
  double UnitFactor() const { return factor_; }
  void SetUnitFactor(double factor) { factor_ = factor > 0 ? factor : 1.0; }
  TgtDocSettings* Owner() const { return owner_; }

 private:
  friend class TgtDocSettings;
  enum Length : uint8_t { lnFooter, lnWidth, lnBottom, lnTop, lnHeight, lnRight, lnLeft, lnHeader };
  double& Field(Length which);
  void SetLength(Length which, double v);
  void ApplyPaperSize(TgtPaperSize size);
  void ApplyOrientation(TPrinterOrientation orientation);

  double footerHeight_ = 0;
  double width_ = 0;
  double bottomMargin_ = 0;
  double topMargin_ = 0;
  double height_ = 0;
  double rightMargin_ = 0;
  double leftMargin_ = 0;
  double headerHeight_ = 0;
  TgtPaperSize paperSize_ = TgtPaperSize::A4;
  TPrinterOrientation orientation_ = TPrinterOrientation::poPortrait;
  int32_t binNumber_ = 0;
  TgtDocSettings* owner_ = nullptr;
  double factor_ = 1.0;
};

// Settings that several engines share: a change made through its Page or Preferences
// reaches every attached engine whose own value equals the old one.
class TgtDocSettings {
 public:
  TgtDocSettings();
  ~TgtDocSettings();
  TgtDocSettings(const TgtDocSettings&) = delete;
  TgtDocSettings& operator=(const TgtDocSettings&) = delete;

  TgtPageSettings& Page() { return page_; }
  TgtPlainSheetPreferences& Preferences() { return preferences_; }

  // An engine attaches its own page settings and preferences. `link` is the engine's
  // pointer to this component; it is cleared when the component goes away first.
  void Attach(TgtPageSettings* page, TgtPreferences* preferences, TgtDocSettings** link);
  void Detach(TgtPageSettings* page);
  size_t AttachedCount() const { return attached_.size(); }

 private:
  friend class TgtPageSettings;
  friend class TgtPreferences;
  struct Attachment {
    TgtPageSettings* Page;
    TgtPreferences* Preferences;
    TgtDocSettings** Link;
  };
  std::vector<Attachment> attached_;
  TgtPageSettings page_;
  TgtPlainSheetPreferences preferences_;
};

}  // namespace pv
