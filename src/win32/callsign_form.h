// The call sign window ("Set Callsign"): the partner's call sign and name, lookups, the
// clipboard copy and the log. CallsignFormModel decides; this file shows its state and
// hands it every event.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "lookup/callsign_form.h"
#include "lookup/lookup.h"
#include "window_base.h"

namespace qsopad {

class LUResult;
class SettingsStore;
class Win32Lookups;

class CallsignForm : public WindowBase, private CallsignView, private LookupHost {
 public:
  // `lookups` report their failures over this window while it exists.
  CallsignForm(HINSTANCE instance, HWND owner, SettingsStore& store, CallsignHost& host,
               Win32Lookups& lookups, LUResult& result);
  ~CallsignForm() override;
  CallsignForm(const CallsignForm&) = delete;
  CallsignForm& operator=(const CallsignForm&) = delete;

  // Loads the window, hidden, when it does not exist yet; `namefocus` puts the name box
  // first in its tab order (it only counts when this call loads the window).
  bool EnsureCreated(bool namefocus = false);
  // Opens the window (loading it first) with the focus in the call sign box, or in the name
  // box when opened from the status bar's name panel.
  void Show(bool name_box = false);
  // SetOcall and SetNamebuf: the boxes as the main window has them.
  void SetCallsign(const std::string& text);
  void SetName(const std::string& text);
  // The options dialog's palette mode.
  void SetPaletteMode(bool on);
  // Saves the placement and destroys the window, when it exists.
  void Unload();
  HWND Window() const { return hwnd_; }
  // The boxes' texts ("" while the window is not loaded), for the log entry window.
  std::string CallsignText() const { return hwnd_ && model_ ? model_->callsign() : std::string(); }
  std::string NameText() const { return hwnd_ && model_ ? model_->name() : std::string(); }

  // For the message loop: the dialog keys (Tab, access keys, Enter for OK, Esc for
  // Cancel). True when the message was used up.
  static bool PreTranslate(MSG& msg);

 protected:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  // CallsignView.
  void SetCallsignText(const std::string& text) override;
  void SetNameText(const std::string& text) override;
  void SetLogEnabled(bool enabled) override;
  void SetCheck(int box, bool checked) override;
  void SetButtonCaptions(const std::string& ok, const std::string& cancel) override;
  void SetExpanded(long width_twips, const std::string& caption, bool column_enabled) override;
  void PutNameFirst() override;
  void Close() override;

  // LookupHost.
  void OpenAddress(const std::string& address) override;
  void ShowLookupResult(const std::string& text) override;
  void FocusCallsign() override;

  LRESULT OnCreate();
  void OnCommand(int id, int code);
  void OnActivate(WPARAM state);
  LRESULT OnCallsignChar(WPARAM wparam, LPARAM lparam);
  void OnLookupData();
  // Assigns a box's text without reporting it back as an edit.
  void Assign(HWND box, const std::string& text);

  static LRESULT CALLBACK CallsignProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                       UINT_PTR id, DWORD_PTR data) noexcept;

  HINSTANCE instance_;
  HWND owner_;
  SettingsStore& store_;
  CallsignHost& host_;
  Win32Lookups& lookups_;
  LUResult& result_;
  // Made afresh at every load; kept after the window closes, since a close can come from
  // inside one of its own calls, and held by each call for its length: a call waiting on a
  // lookup's message can outlive the window and the next load.
  std::shared_ptr<CallsignFormModel> model_;
  HWND callsign_ = nullptr, name_ = nullptr, label2_ = nullptr, ok_ = nullptr,
       cancel_ = nullptr, command2_ = nullptr, command3_ = nullptr, command4_ = nullptr,
       tooltip_ = nullptr;
  HWND checks_[6] = {};  // 1..5
  UniqueFont ui_font_;
  bool assigning_ = false;
  bool loading_ = false;
  // The control that had the keyboard when the window was last deactivated.
  HWND last_focus_ = nullptr;
};

}  // namespace qsopad
