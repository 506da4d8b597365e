// The log entry window ("Logging"): completes one contact and appends it to the ADIF log.
// LogFormModel decides; this file shows its state and hands it every event.
#pragma once

#include <windows.h>

#include <memory>

#include "adif/log_form.h"
#include "app/win_placement.h"
#include "window_base.h"

namespace qsopad {

class MacroContext;
class SettingsStore;

class Log : public WindowBase, private LogView, private PlacedWindow {
 public:
  Log(HINSTANCE instance, HWND owner, SettingsStore& store, AdifTable& table,
      MacroContext& context, LogPartner& partner, LogFiles& files);
  ~Log() override;
  Log(const Log&) = delete;
  Log& operator=(const Log&) = delete;

  // Loads the window at its stored place (the top right corner at first) and refreshes
  // it; a window already open comes forward as it is.
  void Show();
  // Saves the placement and destroys the window, when it exists.
  void Unload();
  HWND Window() const { return hwnd_; }

  // For the message loop: Tab, access keys, Enter for OK, Esc for Cancel.
  static bool PreTranslate(MSG& msg);

 protected:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  // LogView.
  void SetListEntries(const std::vector<std::string>& tags) override;
  void SetListSelection(int position) override;
  std::string EditText() override;
  void SetEditText(const std::string& text) override;
  void SetPreview(const std::string& text) override;
  void FocusEditSelectAll() override;
  void ShowMessage(const std::string& text) override;
  void Close() override;

  // PlacedWindow.
  bool IsVisible() override;
  bool IsNormal() override;
  TwipsRect GetTwips() override;
  void SetTwips(const TwipsRect& rect) override;

  LRESULT OnCreate();
  void OnSize(WPARAM kind);
  void OnCommand(int id, int code);
  void OnPreviewPress(LPARAM at);

  static LRESULT CALLBACK PreviewProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                      UINT_PTR id, DWORD_PTR data) noexcept;

  HINSTANCE instance_;
  HWND owner_;
  SettingsStore& store_;
  AdifTable& table_;
  MacroContext& context_;
  LogPartner& partner_;
  LogFiles& files_;
  // Made afresh at every load; kept after the window closes, since OK closes it from
  // inside one of the model's own calls.
  std::unique_ptr<LogFormModel> model_;
  HWND list1_ = nullptr, text1_ = nullptr, label1_ = nullptr, ok_ = nullptr,
       cancel_ = nullptr, tooltip_ = nullptr;
  UniqueFont ui_font_;
};

}  // namespace qsopad
