#include "dialogs.h"

#include <vector>

#include "resource.h"
#include "window_base.h"
#include "win32_text.h"

namespace qsopad {

namespace {

// "ProductName" and "ProductVersion" from the program's own version resource.
std::wstring VersionString(HINSTANCE instance, const wchar_t* name) {
  HRSRC found = FindResourceW(instance, MAKEINTRESOURCEW(VS_VERSION_INFO), MAKEINTRESOURCEW(16));
  if (!found) return {};
  HGLOBAL loaded = LoadResource(instance, found);
  const DWORD size = SizeofResource(instance, found);
  const void* data = loaded ? LockResource(loaded) : nullptr;
  if (!data || size == 0) return {};
  // VerQueryValue may write into the block, so it works on a copy.
  std::vector<unsigned char> copy(static_cast<const unsigned char*>(data),
                                  static_cast<const unsigned char*>(data) + size);
  const std::wstring path = std::wstring(L"\\StringFileInfo\\040904b0\\") + name;
  wchar_t* value = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(copy.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) ||
      !value)
    return {};
  return std::wstring(value, length > 0 ? length - 1 : 0);
}

INT_PTR AboutMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      const auto instance = reinterpret_cast<HINSTANCE>(lparam);
      const std::wstring product = VersionString(instance, L"ProductName");
      const std::wstring version = VersionString(instance, L"ProductVersion");
      SetDlgItemTextW(dialog, IDC_ABOUT_TITLE, product.empty() ? L"QSOPAD" : product.c_str());
      SetDlgItemTextW(dialog, IDC_ABOUT_VERSION, (L"Version " + version).c_str());
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(wparam) == IDOK || LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wparam));
        return TRUE;
      }
      return FALSE;
    default:
      return FALSE;
  }
}

struct InputState {
  std::wstring prompt;
  std::wstring answer;
};

INT_PTR InputMessage(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, lparam);
      const auto* state = reinterpret_cast<InputState*>(lparam);
      SetDlgItemTextW(dialog, IDC_INPUT_PROMPT, state->prompt.c_str());
      SetFocus(GetDlgItem(dialog, IDC_INPUT_EDIT));
      return FALSE;  // focus set here
    }
    case WM_COMMAND: {
      auto* state = reinterpret_cast<InputState*>(GetWindowLongPtrW(dialog, DWLP_USER));
      if (LOWORD(wparam) == IDOK && state) {
        HWND edit = GetDlgItem(dialog, IDC_INPUT_EDIT);
        const int n = GetWindowTextLengthW(edit);
        std::wstring text(static_cast<size_t>(n) + 1, L'\0');
        GetWindowTextW(edit, text.data(), n + 1);
        text.resize(static_cast<size_t>(n));
        state->answer = text;
        EndDialog(dialog, IDOK);
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        EndDialog(dialog, IDCANCEL);
        return TRUE;
      }
      return FALSE;
    }
    default:
      return FALSE;
  }
}

// The dialog procedures: nothing thrown leaves them.
INT_PTR CALLBACK AboutProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  return Guarded("AboutBox", INT_PTR{FALSE},
                 [&] { return AboutMessage(dialog, message, wparam, lparam); });
}

INT_PTR CALLBACK InputProc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) noexcept {
  return Guarded("InputBox", INT_PTR{FALSE},
                 [&] { return InputMessage(dialog, message, wparam, lparam); });
}

}  // namespace

void ShowAboutBox(HINSTANCE instance, HWND owner) {
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_ABOUT), owner, &AboutProc,
                  reinterpret_cast<LPARAM>(instance));
}

std::optional<std::string> AskTextBox(HINSTANCE instance, HWND owner, const std::string& prompt) {
  InputState state{Widen(prompt), {}};
  const INT_PTR result = DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_INPUTBOX), owner,
                                         &InputProc, reinterpret_cast<LPARAM>(&state));
  if (result != IDOK) return std::nullopt;
  return Narrow(state.answer);
}

}  // namespace qsopad
