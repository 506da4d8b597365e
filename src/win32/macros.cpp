#include "macros.h"

#include "app/main_form.h"

namespace qsopad {

Macros::Macros(HINSTANCE instance, HWND owner, MainForm& form)
    : instance_(instance), owner_(owner), form_(form) {}

Macros::~Macros() = default;

bool Macros::EnsureCreated() { return false; }
void Macros::Show() {
  MessageBoxW(owner_, L"The macro palette is not available in this version of QSOPAD.",
              L"QSOPAD", MB_OK | MB_ICONINFORMATION);
}
void Macros::InitList() {}
void Macros::Unload() {}

LRESULT Macros::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  return Default(message, wparam, lparam);
}

}  // namespace qsopad
