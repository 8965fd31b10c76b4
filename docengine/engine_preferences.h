#pragma once
// Preferences of the document engine. A concrete engine names its own subclass through
// the engine's PreferencesClass factory. When the object belongs to a shared settings
// component, a change reaches every attached engine whose own value equals the old one.
#include <vector>

namespace pv {

class TgtDocSettings;

class TgtPreferences {
 public:
  TgtPreferences() = default;
  explicit TgtPreferences(TgtDocSettings* owner) { owner_.Ptr = owner; }
  // Copies carry the values, never the owner.
  TgtPreferences(const TgtPreferences&) = default;
  TgtPreferences& operator=(const TgtPreferences&) = default;
  virtual ~TgtPreferences() = default;

  // Copies the values of another object (those this class and the other have in common).
  virtual void Assign(const TgtPreferences& other);

  bool OpenAfterCreate() const { return openAfterCreate_; }
  bool EmailAfterCreate() const { return emailAfterCreate_; }
  bool OutputToUserStream() const { return outputToUserStream_; }
  bool ProcessAfterEachPage() const { return processAfterEachPage_; }
  bool ShowSetupDialog() const { return showSetupDialog_; }
  bool CalculateVariables() const { return calculateVariables_; }
  bool UseImagesAsResources() const { return useImagesAsResources_; }

  void SetOpenAfterCreate(bool v) { Change(&TgtPreferences::openAfterCreate_, v); }
  void SetEmailAfterCreate(bool v) { Change(&TgtPreferences::emailAfterCreate_, v); }
  void SetOutputToUserStream(bool v) { Change(&TgtPreferences::outputToUserStream_, v); }
  void SetProcessAfterEachPage(bool v) { Change(&TgtPreferences::processAfterEachPage_, v); }
  void SetShowSetupDialog(bool v) { Change(&TgtPreferences::showSetupDialog_, v); }
  void SetCalculateVariables(bool v) { Change(&TgtPreferences::calculateVariables_, v); }
  void SetUseImagesAsResources(bool v) { Change(&TgtPreferences::useImagesAsResources_, v); }

  TgtDocSettings* Owner() const { return owner_.Ptr; }

 protected:
  // The attached engines' preferences (empty without an owner).
  std::vector<TgtPreferences*> AttachedPreferences() const;

  // Sets a field, first handing the new value to attached preferences of class C whose
  // field still equals this object's current value.
  template <class C, class V>
  void Change(V C::*field, V value) {
    C& self = static_cast<C&>(*this);
    if (owner_.Ptr) {
      for (TgtPreferences* p : AttachedPreferences()) {
        C* other = dynamic_cast<C*>(p);
        if (other && other != &self && other->*field == self.*field) other->*field = value;
      }
    }
    self.*field = value;
  }

 private:
  // An owner link that copying and assignment leave alone.
  struct OwnerLink {
    TgtDocSettings* Ptr = nullptr;
    OwnerLink() = default;
    OwnerLink(const OwnerLink&) {}
    OwnerLink& operator=(const OwnerLink&) { return *this; }
  };
  OwnerLink owner_;
  bool openAfterCreate_ = true;
  bool emailAfterCreate_ = false;
  bool outputToUserStream_ = false;
  bool processAfterEachPage_ = false;
  bool showSetupDialog_ = true;
  bool calculateVariables_ = true;
  bool useImagesAsResources_ = true;
};

class TgtPlainSheetPreferences : public TgtPreferences {
 public:
  using TgtPreferences::TgtPreferences;
  void Assign(const TgtPreferences& other) override;

  bool ActiveHyperLinks() const { return activeHyperLinks_; }
  void SetActiveHyperLinks(bool v) { Change(&TgtPlainSheetPreferences::activeHyperLinks_, v); }

 private:
  bool activeHyperLinks_ = true;
};

}  // namespace pv
