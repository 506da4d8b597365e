#include "lurl.h"

#include <string>

#include "lookup/lookup.h"
#include "resource.h"
#include "ui_helpers.h"
#include "win32_text.h"
#include "window_base.h"

namespace qsopad {

namespace {

// Client area and controls in twips; the template's dialog units only give the order.
constexpr long kClientWidth = 6030, kClientHeight = 3195;
struct Place {
  int id;
  long left, top, width, height;
};
constexpr Place kPlaces[] = {
    {IDC_LURL_LABEL1, 240, 1920, 735, 255},  {IDC_LURL_TEXT1, 120, 2280, 5775, 285},
    {IDC_LURL_LABEL2, 120, 120, 975, 255},   {IDC_LURL_LIST1, 120, 480, 5775, 1230},
    {IDOK, 120, 2760, 1215, 375},            {IDCANCEL, 4680, 2760, 1215, 375},
};

void PlaceControls(HWND dialog) {
  RECT frame{0, 0, TwipsToPx(kClientWidth), TwipsToPx(kClientHeight, true)};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongPtrW(dialog, GWL_EXSTYLE)));
  SetWindowPos(dialog, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  for (const Place& p : kPlaces)
    MoveWindow(GetDlgItem(dialog, p.id), TwipsToPx(p.left), TwipsToPx(p.top, true),
               TwipsToPx(p.width), TwipsToPx(p.height, true), FALSE);
}

INT_PTR LurlMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      const auto& store = *reinterpret_cast<const SettingsStore*>(lparam);
      PlaceControls(dialog);
      HWND list = GetDlgItem(dialog, IDC_LURL_LIST1);
      for (const PredefinedSource& source : PredefinedSources())
        SendMessageW(list, LB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(Widen(source.label).c_str()));
      SetDlgItemTextW(dialog, IDC_LURL_TEXT1, Widen(StoredLookupSource(store)).c_str());
      return TRUE;
    }
    case WM_COMMAND: {
      const int id = LOWORD(wparam);
      if (id == IDC_LURL_LIST1 && HIWORD(wparam) == LBN_SELCHANGE) {
        const auto row = SendMessageW(reinterpret_cast<HWND>(lparam), LB_GETCURSEL, 0, 0);
        const auto& sources = PredefinedSources();
        if (row >= 0 && static_cast<size_t>(row) < sources.size())
          SetDlgItemTextW(dialog, IDC_LURL_TEXT1,
                          Widen(sources[static_cast<size_t>(row)].source).c_str());
      } else if (id == IDOK) {
        auto& store = *reinterpret_cast<SettingsStore*>(GetWindowLongPtrW(dialog, DWLP_USER));
        StoreLookupSource(store, GetWindowAnsiText(GetDlgItem(dialog, IDC_LURL_TEXT1)));
        EndDialog(dialog, IDOK);
      } else if (id == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
      }
      return TRUE;
    }
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK LurlProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  return Guarded("LURL", INT_PTR{FALSE},
                 [&] { return LurlMessage(dialog, message, wparam, lparam); });
}

}  // namespace

void ShowLookupSourceDialog(HINSTANCE instance, HWND owner, SettingsStore& store) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_LURL), owner, &LurlProc,
                  reinterpret_cast<LPARAM>(&store));
}

}  // namespace qsopad
