// The main window: typing area, six buttons, six-panel status bar, menus and Timer1.
// Handlers translate messages into calls on the core's MainForm and apply its answers.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/main_view.h"
#include "app/options_form.h"
#include "callsign_form.h"
#include "lookup/callsign_form.h"
#include "log.h"
#include "lu_result.h"
#include "macros.h"
#include "status_bar.h"
#include "win32_log_file.h"
#include "win32_lookups.h"
#include "window_base.h"

namespace qsopad {

class SettingsStore;
class WindowSystem;

class Form1 : public WindowBase,
              public MainView,
              public Desktop,
              public MacroPalette,
              public CallsignHost,
              public LogPartner,
              public OptionsHost {
 public:
  Form1(SettingsStore& store, WindowSystem& windows, ErrorReporter& reporter,
        StationFactory& stations);
  ~Form1() override;

  // Creates the (hidden) window and runs the start-up sequence, which shows it.
  bool Create(HINSTANCE instance);
  // Key routing ahead of the controls, called by the message loop for every message:
  // menu shortcuts first, then the main window's key rules, which see every key before
  // the typing area does. True when the message was used up. May redirect `msg`.
  bool PreTranslate(MSG& msg);
  MainForm& model() { return *model_; }
  // Stops Timer1 (at shutdown, and before the error reporter's message box).
  void StopTimer();

  // MainView.
  void SetMenuVisible(Menu menu, bool visible) override;
  void SetMenuEnabled(Menu menu, bool enabled) override;
  void SetFindWindowEnabled(bool enabled) override;
  void SetStationKey(int key, bool offered, const std::string& why) override;
  void SetStationTrouble(const std::string& text) override;
  void ApplyTypingFont(const FontSpec& font) override;
  void SetButtonCaption(int button, const std::string& caption) override;
  void SetButtonsVisible(bool visible) override;
  void Show() override;
  void MoveTwips(long left, long top) override;
  void ResizeTwips(long width, long height) override;
  TwipsRect ScreenTwips() override;
  std::optional<TwipsRect> NormalPlacementTwips() override;
  void FocusTypingArea() override;
  void ShowMessage(const std::string& text, const std::string& title) override;
  std::optional<std::string> AskText(const std::string& prompt) override;
  void AppendTypingText(const std::string& text) override;
  void MoveTypingCaretToEnd() override;
  void ClearTypingText() override;
  void SetPanelText(Panel panel, const std::string& text) override;
  void SetPanelEnabled(Panel panel, bool enabled) override;
  void SetSendButton(bool enabled, SendColour colour) override;
  WindowHandle Handle() override;
  void OpenCallsignWindow(bool name_first) override;
  void SetCallsignWindowCall(const std::string& call) override;
  void SetCallsignWindowName(const std::string& name) override;
  void ShowLookupResultWindow() override;
  void UnloadOwnedWindows() override;
  std::optional<std::string> AskOpenFile(const std::string& title,
                                         const std::string& filter) override;

  // Desktop.
  LocalTime Now() override;
  std::string MonthAbbreviation(int month) override;
  void Beep() override;
  std::optional<std::string> ClipboardText() override;

  // MacroPalette: the Macros window.
  void InitList() override;
  void ShowPalette() override;
  void UnloadPalette() override;

  // CallsignHost (FocusTypingArea is MainView's).
  std::string OCall() override;
  std::string NameBuf() override;
  void SetPartner(const std::string& call, const std::string& name) override;
  void CopyText(const std::string& text) override;
  void ShowLogWindow() override;

  // OptionsHost (what the options dialog's Apply pushes into the program).
  void SetRegFont() override;
  void Buttons(bool visible) override;
  void SetElapsedTime(bool on) override;
  void SetMyCall(const std::string& call) override;
  void SetNoPosSave() override;
  void SetPaletteAutoShow(bool on) override;
  void SetCallsignPaletteMode() override;
  bool Confirm(const std::string& text) override;

  // LogPartner.
  std::string CallsignText() override;
  std::string NameFieldText() override;

  // The call sign window, loaded hidden on first use (the options dialog sets its palette
  // mode through it).
  CallsignForm& CallsignWindow(bool namefocus = false);

 protected:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:

  LRESULT OnCreate();
  void OnSize(WPARAM kind);
  void OnTimer();
  void OnCommand(int id, int code, HWND control);
  void OnInitMenuPopup(HMENU menu);
  LRESULT OnCtlColor(HDC dc, HWND control);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  void DrawSendButton(const DRAWITEMSTRUCT& item);
  LRESULT OnNotify(const NMHDR& header);
  LRESULT OnTypingAreaChar(WPARAM wparam, LPARAM lparam);
  bool CommandAvailable(int id);
  Macros& Palette();
  LUResult& LookupResult();
  std::optional<int> FindShortcut(const MSG& msg) const;
  void OnClose();
  void OnEndSession();
  void OnDestroy();
  void ShowTypingAreaMenu(LPARAM at);

  void CreateChildren();
  void Layout();
  void RefreshPskMenus();
  void DetachPskMenus();
  void CopySelection();
  void OpenManual();
  void OpenDocument(const wchar_t* target);
  // "&Options": the dialog, then what the main window re-applies after it.
  void ShowOptions();


  static LRESULT CALLBACK ButtonProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                     UINT_PTR id, DWORD_PTR data) noexcept;
  static LRESULT CALLBACK TypingAreaProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                         UINT_PTR id, DWORD_PTR data) noexcept;

  std::unique_ptr<MainForm> model_;
  std::unique_ptr<Macros> macros_;
  Win32Lookups lookups_;
  std::unique_ptr<LUResult> lu_result_;
  std::unique_ptr<CallsignForm> callsign_form_;
  Win32LogFiles log_files_;
  std::unique_ptr<Log> log_;
  SettingsStore& store_;
  HINSTANCE instance_ = nullptr;
  HWND text1_ = nullptr;
  std::array<HWND, 6> buttons_{};
  StatusBar status_;
  HWND tooltip_ = nullptr;
  HMENU menubar_ = nullptr;
  UniqueMenu psk31_, psk31a_, context_;
  std::vector<ACCEL> accel_, accel_retro_;
  bool psk_visible_[2] = {true, false};
  bool psk_enabled_[2] = {true, true};
  bool find_enabled_ = true;
  std::string station_trouble_;
  bool model_ready_ = false;
  UniqueFont ui_font_, typing_font_;
  UniqueBrush back_brush_;
  COLORREF text_color_ = 0, back_color_ = 0xFFFFFF;
  bool custom_colors_ = false;
  bool send_enabled_ = true;
  SendColour send_colour_ = SendColour::kNormal;
};

}  // namespace qsopad
