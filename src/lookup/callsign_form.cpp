#include "lookup/callsign_form.h"

#include <utility>

#include "adif/adif.h"
#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

// A stored box value that is not a number or a Boolean leaves the box unchecked.
bool StoredBox(const SettingsStore& store, const SettingKey& key) {
  try {
    return ReadLong(store, key) != 0;
  } catch (const Error&) {
    try {
      return ReadBool(store, key);
    } catch (const Error&) {
      return false;
    }
  }
}

const SettingKey& BoxKey(CallsignFormModel::Box box) {
  switch (box) {
    case CallsignFormModel::kLookup: return keys::kLookup;
    case CallsignFormModel::kUpperCase: return keys::kUcCall;
    case CallsignFormModel::kAlwaysCopy: return keys::kCallClip;
    case CallsignFormModel::kPaletteMode: return keys::kCallPal;
    case CallsignFormModel::kFillInName: break;
  }
  return keys::kLuName;
}

}  // namespace

CallsignFormModel::CallsignFormModel(SettingsStore& store, CallsignHost& host,
                                     CallsignView& view, LocalLookups& lookups,
                                     LookupHost& lookup_host)
    : store_(store), host_(host), view_(view), lookups_(lookups), lookup_host_(lookup_host) {}

CallsignPlacement CallsignFormModel::StoredPlacement() const {
  const auto read = [&](const SettingKey& key) {
    try {
      return ReadLong(store_, key);
    } catch (const Error&) {
      return ParseLong(key.def);
    }
  };
  return {read(keys::kCpt), read(keys::kCpl)};
}

void CallsignFormModel::Load(bool namefocus) {
  for (const Box box : {kUpperCase, kAlwaysCopy, kPaletteMode, kFillInName}) {
    checks_[box] = StoredBox(store_, BoxKey(box));
    view_.SetCheck(box, checks_[box]);
  }
  SetApplyCaption();
  // The window always loads collapsed.
  expanded_ = true;
  MoreLess();
  SetCallsign(host_.OCall());
  SetName(host_.NameBuf());
  // "Lookup" becomes "0" or "1": a missing key or "False" is "0", "True" or "-1" is "1".
  const std::string lookup = store_.ReadSetting(keys::kLookup.section, keys::kLookup.key, "0");
  try {
    WriteLong(store_, keys::kLookup, ParseBool(lookup) ? 1 : 0);
  } catch (const Error&) {
    // Neither a number nor a Boolean: left as it is, and the box unchecked.
  }
  checks_[kLookup] = StoredBox(store_, keys::kLookup);
  view_.SetCheck(kLookup, checks_[kLookup]);
  if (namefocus) view_.PutNameFirst();
}

void CallsignFormModel::Unload(const CallsignPlacement& placement) {
  unloaded_ = true;
  const std::pair<const SettingKey*, long> steps[] = {{&keys::kCpt, placement.top},
                                                      {&keys::kCpl, placement.left}};
  for (const auto& [key, twips] : steps) {
    try {
      WriteLong(store_, *key, twips);
    } catch (const Error&) {
    }
  }
}

void CallsignFormModel::OnCallsignChanged(const std::string& text) {
  callsign_ = text;
  view_.SetLogEnabled(!text.empty());
  SetName("");
}

char CallsignFormModel::OnCallsignChar(char typed) const {
  if (checks_[kUpperCase] && typed >= 'a' && typed <= 'z') return static_cast<char>(typed - 'a' + 'A');
  return typed;
}

void CallsignFormModel::SetCallsign(const std::string& text) {
  view_.SetCallsignText(text);
  // An assignment is a change like any other: the name box is emptied.
  OnCallsignChanged(text);
}

void CallsignFormModel::SetName(const std::string& text) {
  name_ = text;
  view_.SetNameText(text);
}

void CallsignFormModel::OnCheckClicked(Box box, bool checked) {
  checks_[box] = checked;
  WriteLong(store_, BoxKey(box), checked ? 1 : 0);
  if (box == kPaletteMode) SetApplyCaption();
}

void CallsignFormModel::SetPaletteMode(bool on) {
  checks_[kPaletteMode] = on;
  view_.SetCheck(kPaletteMode, on);
  SetApplyCaption();
}

void CallsignFormModel::SetApplyCaption() {
  if (checks_[kPaletteMode])
    view_.SetButtonCaptions("Apply", "Close");
  else
    view_.SetButtonCaptions("OK", "Cancel");
}

void CallsignFormModel::MoreLess() {
  expanded_ = !expanded_;
  if (expanded_)
    view_.SetExpanded(kExpandedWidth, "&<<<Less", true);
  else
    view_.SetExpanded(kCollapsedWidth, "More&>>>", false);
}

bool CallsignFormModel::AdifOn() const { return AdifLoggingOn(store_); }

bool CallsignFormModel::Lookup() {
  // A filled-in name is in the name box before the result window shows. What follows the
  // local lookup's answer runs only while that answer is still the call box's.
  class FillFirst : public LookupHost {
   public:
    FillFirst(CallsignFormModel& form, std::string& name)
        : form_(form), name_(name), call_(form.callsign_) {}
    void OpenAddress(const std::string& address) override { form_.lookup_host_.OpenAddress(address); }
    void ShowLookupResult(const std::string& text) override {
      if (!Current()) return;
      if (name_ != form_.name_) form_.SetName(name_);
      form_.lookup_host_.ShowLookupResult(text);
    }
    void FocusCallsign() override {
      if (Current()) form_.lookup_host_.FocusCallsign();
    }
    bool Current() const { return !form_.unloaded_ && form_.callsign_ == call_; }

   private:
    CallsignFormModel& form_;
    std::string& name_;
    const std::string call_;
  };
  std::string name = name_;
  FillFirst host(*this, name);
  const std::string call = callsign_;  // the box may change while the lookup waits
  DoLookup(store_, lookups_, host, call, name, checks_[kFillInName]);
  return host.Current();
}

void CallsignFormModel::LookupNow() { Lookup(); }

void CallsignFormModel::Log() {
  if (AdifOn())
    host_.ShowLogWindow();
  else
    host_.CopyText(PlainZeros(callsign_));
}

void CallsignFormModel::Ok() {
  if (checks_[kAlwaysCopy] && !AdifOn() && !callsign_.empty()) Log();
  if (checks_[kLookup] && !Lookup()) return;
  host_.SetPartner(callsign_, name_);
  host_.FocusTypingArea();
  if (!checks_[kPaletteMode]) view_.Close();
}

void CallsignFormModel::Cancel() { view_.Close(); }

}  // namespace qsopad
