#include "lu_result.h"

#include "common/error.h"
#include "lookup/lookup.h"
#include "options/settings_catalogue.h"
#include "options/settings_values.h"
#include "ui_helpers.h"
#include "win32_text.h"

namespace qsopad {

namespace {

constexpr wchar_t kClassName[] = L"QSOPAD_LUResult";
constexpr char kCaption[] = "Callsign Lookup";
constexpr int kText1Id = 100;

// A stored value that is not a number gives the default: placement is a convenience.
long StoredTwips(const SettingsStore& store, const SettingKey& key, long def) {
  try {
    return ReadLong(store, key, def);
  } catch (const Error&) {
    return def;
  }
}

}  // namespace

LUResult::LUResult(HINSTANCE instance, SettingsStore& store)
    : instance_(instance), store_(store), title_(kCaption) {}

LUResult::~LUResult() {
  if (hwnd_) DestroyWindow(hwnd_);
}

void LUResult::ShowResult(const std::string& text, HWND owner) {
  callsign_ = text;
  title_ = LookupResultTitle(text);
  if (!EnsureOwnedBy(owner)) return;
  PutText();
  ShowWindow(hwnd_, SW_SHOW);
  SetForegroundWindow(hwnd_);
}

void LUResult::Show(HWND owner) {
  if (!EnsureOwnedBy(owner)) return;
  ShowWindow(hwnd_, SW_SHOW);
}

void LUResult::Unload() {
  if (!hwnd_) return;
  SavePlacement();
  DestroyWindow(hwnd_);
}

bool LUResult::EnsureOwnedBy(HWND owner) {
  if (hwnd_ && GetWindow(hwnd_, GW_OWNER) == owner) return true;
  RECT place{};
  if (hwnd_) {
    // Made again where it stands now, not where it was last saved: to the operator it is
    // the same window.
    GetWindowRect(hwnd_, &place);
    DestroyWindow(hwnd_);
  } else {
    place = StoredPlace();
  }
  return Create(owner, place);
}

bool LUResult::Create(HWND owner, const RECT& place) {
  if (!RegisterWindowClass(instance_, kClassName)) return false;
  // A sizable tool window: narrow title bar, no minimise or maximise button.
  if (!CreateWindowExW(WS_EX_TOOLWINDOW, kClassName, Widen(title_).c_str(),
                       WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_THICKFRAME | WS_CLIPCHILDREN,
                       place.left, place.top, place.right - place.left, place.bottom - place.top,
                       owner, nullptr, instance_, this))
    return false;
  PutText();
  return true;
}

RECT LUResult::StoredPlace() const {
  const long screen_width = PxToTwips(GetSystemMetrics(SM_CXSCREEN));
  const long screen_height = PxToTwips(GetSystemMetrics(SM_CYSCREEN), true);
  const int top = TwipsToPx(StoredTwips(store_, keys::kLuTop, 0), true);
  const int left = TwipsToPx(StoredTwips(store_, keys::kLuLeft, 0));
  const int width = TwipsToPx(StoredTwips(store_, keys::kLuWidth, screen_width / 6));
  const int height = TwipsToPx(StoredTwips(store_, keys::kLuHeight, screen_height / 6), true);
  return RECT{left, top, left + width, top + height};
}

void LUResult::SavePlacement() {
  RECT r{};
  // A minimised window has no place worth keeping.
  if (IsIconic(hwnd_) || !GetWindowRect(hwnd_, &r)) return;
  try {
    WriteLong(store_, keys::kLuTop, PxToTwips(r.top, true));
    WriteLong(store_, keys::kLuLeft, PxToTwips(r.left));
    WriteLong(store_, keys::kLuWidth, PxToTwips(r.right - r.left));
    WriteLong(store_, keys::kLuHeight, PxToTwips(r.bottom - r.top, true));
  } catch (const Error&) {
    // Like every placement, skipped when the settings cannot be written.
  }
}

void LUResult::PutText() {
  // CR LF pairs in the result make its lines.
  SetWindowTextW(text1_, Widen(callsign_).c_str());
  SetWindowTextW(hwnd_, Widen(title_).c_str());
}

LRESULT LUResult::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: return OnCreate();
    case WM_SIZE: OnSize(); return 0;
    case WM_SETFOCUS: SetFocus(text1_); return 0;
    case WM_CLOSE: Unload(); return 0;
    case WM_NCDESTROY: OnNcDestroy(); return Default(message, wparam, lparam);
    default: return Default(message, wparam, lparam);
  }
}

LRESULT LUResult::OnCreate() {
  font_ = MessageFont();
  text1_ = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", L"",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL |
                               ES_READONLY,
                           0, 0, 0, 0, hwnd_,
                           reinterpret_cast<HMENU>(static_cast<INT_PTR>(kText1Id)), instance_,
                           nullptr);
  if (!text1_) return -1;
  SendMessageW(text1_, WM_SETFONT, reinterpret_cast<WPARAM>(font_.get()), FALSE);
  // No limit on the text's length: the default one is for typing.
  SendMessageW(text1_, EM_SETLIMITTEXT, 0, 0);
  OnSize();
  return 0;
}

void LUResult::OnSize() {
  RECT client{};
  GetClientRect(hwnd_, &client);
  MoveWindow(text1_, 0, 0, client.right, client.bottom, TRUE);
}

void LUResult::OnNcDestroy() {
  // The text box has gone with the window; its font can go too.
  text1_ = nullptr;
  font_.reset();
}

}  // namespace qsopad
