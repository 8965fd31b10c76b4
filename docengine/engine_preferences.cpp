#include "docengine/engine_preferences.h"

#include "docengine/page_settings.h"

namespace pv {

std::vector<TgtPreferences*> TgtPreferences::AttachedPreferences() const {
  std::vector<TgtPreferences*> out;
  if (!owner_.Ptr) return out;
  out.reserve(owner_.Ptr->attached_.size());
  for (const auto& a : owner_.Ptr->attached_)
    if (a.Preferences) out.push_back(a.Preferences);
  return out;
}

void TgtPreferences::Assign(const TgtPreferences& other) {
  SetOpenAfterCreate(other.openAfterCreate_);
  SetEmailAfterCreate(other.emailAfterCreate_);
  SetOutputToUserStream(other.outputToUserStream_);
  SetProcessAfterEachPage(other.processAfterEachPage_);
  SetShowSetupDialog(other.showSetupDialog_);
  SetCalculateVariables(other.calculateVariables_);
  SetUseImagesAsResources(other.useImagesAsResources_);
}

void TgtPlainSheetPreferences::Assign(const TgtPreferences& other) {
  TgtPreferences::Assign(other);
  if (auto* o = dynamic_cast<const TgtPlainSheetPreferences*>(&other))
    SetActiveHyperLinks(o->activeHyperLinks_);
}

}  // namespace pv
