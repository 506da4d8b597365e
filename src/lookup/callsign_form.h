// The call sign window's model: the partner's call sign and name being edited, the five
// check boxes and their settings, More/Less, palette mode, OK/Apply and Cancel/Close. The
// window (the shell's CallsignForm) shows what this decides.
#pragma once

#include <array>
#include <string>

#include "lookup/lookup.h"

namespace qsopad {

class SettingsStore;

// The controls the model changes. Texts are ANSI bytes.
class CallsignView {
 public:
  virtual ~CallsignView() = default;
  // Assigns a box's text (the window does not report an assignment back as an edit).
  virtual void SetCallsignText(const std::string& text) = 0;
  virtual void SetNameText(const std::string& text) = 0;
  // "L&og" (Command4).
  virtual void SetLogEnabled(bool enabled) = 0;
  // Check1..Check5.
  virtual void SetCheck(int box, bool checked) = 0;
  virtual void SetButtonCaptions(const std::string& ok, const std::string& cancel) = 0;
  // More/Less: the window's outer width in twips, Command3's caption, and whether the
  // right-hand column (Command2, Check2..Check5) is enabled.
  virtual void SetExpanded(long width_twips, const std::string& caption, bool column_enabled) = 0;
  // NameField before Callsign in the tab order: it gets the focus when the window shows.
  virtual void PutNameFirst() = 0;
  // Closes the window (the shell saves the placement through the model's Unload).
  virtual void Close() = 0;
};

// What the call sign window needs of the rest of the program.
class CallsignHost {
 public:
  virtual ~CallsignHost() = default;
  virtual std::string OCall() = 0;
  virtual std::string NameBuf() = 0;
  // Sets the main window's ocall and namebuf, then calls SetOcall and SetNamebuf.
  virtual void SetPartner(const std::string& call, const std::string& name) = 0;
  virtual void FocusTypingArea() = 0;
  // Empties the clipboard and puts the text on it; failures are ignored.
  virtual void CopyText(const std::string& text) = 0;
  // The log entry window, modeless, owned by the main window.
  virtual void ShowLogWindow() = 0;
};

struct CallsignPlacement {
  long top = 0, left = 0;  // twips
};

class CallsignFormModel {
 public:
  // The check boxes, as numbered on the window.
  enum Box { kLookup = 1, kUpperCase, kAlwaysCopy, kPaletteMode, kFillInName };
  static constexpr long kCollapsedWidth = 4560, kExpandedWidth = 5875;  // twips

  CallsignFormModel(SettingsStore& store, CallsignHost& host, CallsignView& view,
                    LocalLookups& lookups, LookupHost& lookup_host);

  // Loading, whether the window is about to be shown or not. `namefocus`: the name box
  // takes the first place in the tab order.
  void Load(bool namefocus);
  // Stored placement; a value that is not a number gives the default.
  CallsignPlacement StoredPlacement() const;
  // The window is closing, by its own buttons or because the program ends: stores its
  // placement (a write that fails is skipped, like every placement step), and whatever
  // the model is still in the middle of goes no further (an OK waiting on a lookup's
  // message while the program shuts down hands nothing over afterwards).
  void Unload(const CallsignPlacement& placement);

  // Every change of the call sign box, typed or assigned.
  void OnCallsignChanged(const std::string& text);
  void OnNameChanged(const std::string& text) { name_ = text; }
  // A character typed into the call sign box: the one to insert.
  char OnCallsignChar(char typed) const;
  // Assigned by other parts (SetOcall and SetNamebuf).
  void SetCallsign(const std::string& text);
  void SetName(const std::string& text);

  void OnCheckClicked(Box box, bool checked);
  // The options dialog sets palette mode.
  void SetPaletteMode(bool on);
  void SetApplyCaption();
  void MoreLess();

  void LookupNow();
  void Log();
  void Ok();
  void Cancel();

  const std::string& callsign() const { return callsign_; }
  const std::string& name() const { return name_; }
  bool checked(Box box) const { return checks_[box]; }
  bool expanded() const { return expanded_; }

 private:
  bool AdifOn() const;
  // False when the lookup's answer came too late to be used: the window was unloaded, or
  // another program set a new partner into the call sign box, while the lookup waited
  // (on the operator, at a failure's message). Nothing after the lookup then runs.
  bool Lookup();

  SettingsStore& store_;
  CallsignHost& host_;
  CallsignView& view_;
  LocalLookups& lookups_;
  LookupHost& lookup_host_;
  std::string callsign_, name_;
  std::array<bool, 6> checks_{};  // 1..5
  bool expanded_ = false;
  bool unloaded_ = false;
};

}  // namespace qsopad
