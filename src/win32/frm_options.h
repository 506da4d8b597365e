// The options dialog ("Options"): five pages on a tab strip, modal over the program's
// windows. OptionsFormModel and LoggingPageModel decide; this file shows the controls,
// reads them back and runs the common dialogs.
#pragma once

#include <windows.h>

#include <array>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "adif/logging_page.h"
#include "app/options_form.h"
#include "window_base.h"

namespace qsopad {

class SettingsStore;

class frmOptions : public WindowBase, private LoggingPageView {
 public:
  frmOptions(HINSTANCE instance, SettingsStore& store, OptionsHost& host, AdifTable& table,
             const std::array<std::string, 20>& defaults);
  ~frmOptions() override;
  frmOptions(const frmOptions&) = delete;
  frmOptions& operator=(const frmOptions&) = delete;

  // Shows the dialog centred on the screen and returns once it has closed; the program's
  // other windows take no input meanwhile.
  void ShowModal(HWND owner);

 protected:
  LRESULT Handle(UINT message, WPARAM wparam, LPARAM lparam) override;

 private:
  struct Control {
    HWND hwnd = nullptr;
    int page = -1;        // -1: on every page
    bool enabled = true;  // its own state, whatever the page
    bool captioned = false;  // its text is a caption, which may carry an access key
  };

  // LoggingPageView.
  void SetAdifEnabled(bool checked) override;
  void SetControlsEnabled(bool enabled) override;
  void SetFile(const std::string& path) override;
  void SetList(const std::vector<std::string>& names) override;
  void AddListEntry(const std::string& name) override;
  void SelectListEntry(int position) override;
  bool FieldEnabled() override;
  std::string Tag() override;
  std::string Content() override;
  void ShowField(bool enabled, const std::string& tag, const std::string& content) override;
  bool Confirm(const std::string& text) override;
  void ShowMessage(const std::string& text) override;

  LRESULT OnCreate();
  void OnCommand(int id, int code);
  LRESULT OnNotify(const NMHDR& header);
  LRESULT OnCtlColorStatic(HDC dc, HWND control);
  // True when the message was a key of the dialog's own (Ctrl+Tab, a tab's access key).
  bool DialogKey(const MSG& msg);

  void Load();
  // Names the stored values Load could not convert (each once while the dialog is open).
  void NameDamaged();
  // False (after the message, with the focus back in the box) when GMT is not a number.
  bool CheckGmt();
  // False when GMT was refused and nothing was stored.
  bool Apply();
  void Close();
  void ShowPage(int page);
  void ShowCaptions();
  void ShowSample();
  void SetFont();
  void SetColor();
  void Browse(int box, const wchar_t* title, const wchar_t* filter, const wchar_t* ext, bool must_exist);
  // A common file dialog (open, or save); the chosen full name, nullopt when cancelled.
  std::optional<std::wstring> AskFileName(bool save, const wchar_t* title, const wchar_t* filter,
                                          const wchar_t* ext, const std::wstring& initial, DWORD flags);
  void SaveOpts();
  void LoadOpts();
  void Message(const std::string& text);

  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }
  std::string TextOf(int id) const;
  void SetText(int id, const std::string& text);
  bool IsChecked(int id) const;

  static LRESULT CALLBACK GmtProc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam,
                                  UINT_PTR id, DWORD_PTR data) noexcept;

  HINSTANCE instance_;
  SettingsStore& store_;
  AdifTable& table_;
  OptionsFormModel model_;
  LoggingPageModel logging_;
  std::vector<Control> controls_;
  int page_ = 0;
  FontSpec sample_;
  UniqueFont ui_font_, sample_font_;
  UniqueBrush sample_brush_;
  HWND tabs_ = nullptr, tooltip_ = nullptr;
  bool closing_ = false;
  bool checking_gmt_ = false;
};

}  // namespace qsopad
