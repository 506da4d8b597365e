// qsopad.exe: opens the settings, creates the main window and runs the message loop.
#include <windows.h>
#include <commctrl.h>

#include <exception>
#include <memory>
#include <string>
#include <utility>

#include "app/main_view.h"
#include "common/error.h"
#include "form1.h"
#include "options/settings_store.h"
#include "win32_stations.h"
#include "win32_store_file.h"
#include "win32_text.h"
#include "win32_window_system.h"

namespace qsopad {

namespace {

Form1* main_form = nullptr;

// Shows the message and ends the program at once. The message box runs a message loop of
// its own: the timer is stopped first so that no tick runs behind it.
class Win32ErrorReporter : public ErrorReporter {
 public:
  void Report(const std::string& procedure, const std::string& description) override {
    if (main_form) main_form->StopTimer();
    MessageBoxW(nullptr, Widen(UnexpectedErrorText(procedure, description)).c_str(), L"QSOPAD",
                MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(1);
  }
};

Win32ErrorReporter reporter;

// A settings file the operator made read-only is not an error: the store keeps the changes
// in memory and the program goes on. The notice is shown from the message loop through a
// one-shot timer, not from inside the write that found the flag: that write may sit in the
// middle of a handler, and a message box runs a loop of its own. Timers with a procedure
// are run by every loop's DispatchMessage, a modal dialog's as well.
std::wstring read_only_notice;

void CALLBACK ShowReadOnlyNotice(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  const std::wstring text = std::move(read_only_notice);
  read_only_notice.clear();
  MessageBoxW(main_form ? main_form->hwnd() : nullptr, text.c_str(), L"QSOPAD",
              MB_OK | MB_ICONWARNING);
}

}  // namespace

void ReportUnhandled(const char* where) noexcept {
  try {
    std::string description = "unknown error";
    try {
      throw;
    } catch (const Reported&) {
      return;  // its own trap has reported it
    } catch (const std::exception& e) {
      description = e.what();
    } catch (...) {
    }
    // Through the main window's model, which reports once and releases the transmitter.
    if (main_form)
      main_form->model().ReportError(where, description);
    else
      reporter.Report(where, description);
  } catch (...) {
    // Out of memory while reporting: say so without allocating, and end.
    MessageBoxW(nullptr, L"Unexpected error. Please report the following:\r\nout of memory",
                L"QSOPAD", MB_OK | MB_ICONERROR | MB_TASKMODAL);
    ExitProcess(1);
  }
}

}  // namespace qsopad

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  using namespace qsopad;
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);

  std::unique_ptr<SettingsStore> store;
  std::wstring path;
  try {
    path = Win32SettingsPath();
    store = std::make_unique<SettingsStore>(std::make_unique<Win32StoreFile>(path));
  } catch (const std::exception& e) {
    // A damaged settings file is left untouched for the operator to look at.
    MessageBoxW(nullptr, (L"QSOPAD cannot open its settings file " + path + L":\r\n" +
                          Widen(e.what())).c_str(),
                L"QSOPAD", MB_OK | MB_ICONERROR);
    return 1;
  }

  store->OnReadOnly([](const std::string& message) {
    read_only_notice = Widen(message);
    SetTimer(nullptr, 0, 0, ShowReadOnlyNotice);
  });

  Win32WindowSystem windows;
  Win32Stations stations(*store, windows);
  Form1 form(*store, windows, reporter, stations);
  main_form = &form;
  if (!form.Create(instance)) {
    MessageBoxW(nullptr, Widen("QSOPAD cannot create its main window: " +
                               SystemErrorText(GetLastError())).c_str(),
                L"QSOPAD", MB_OK | MB_ICONERROR);
    return 1;
  }
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    // The key routing runs outside any window procedure: it has a trap of its own.
    if (Guarded("PreTranslate", false,
                [&] {
                  return form.PreTranslate(msg) || Macros::PreTranslate(msg) ||
                         CallsignForm::PreTranslate(msg) || Log::PreTranslate(msg);
                }))
      continue;
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return static_cast<int>(msg.wParam);
}
