// Scenarios of the lookup result window in the real qsopad.exe: shown at start-up where it
// was left, saving its place when closed, and a call-book lookup from the call sign window
// whose library is missing: one message, then "Error!" in the result window.
#include <windows.h>

#include <string>

#include "driver.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

// The process's top-level window of this class, shown or not.
HWND WindowOf(DWORD pid, const std::string& cls) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == cls) return w;
  return nullptr;
}

HWND WaitShown(DWORD pid, const std::string& cls) {
  HWND w = nullptr;
  WaitUntil([&] { return (w = WindowOf(pid, cls)) && IsWindowVisible(w); }, kWait);
  return w && IsWindowVisible(w) ? w : nullptr;
}

int TwipsToPx(long twips) { return MulDiv(static_cast<int>(twips), ScreenDpi(), 1440); }

// Where the child stands in its parent's client area.
RECT ChildRect(HWND child, HWND parent) {
  RECT r{};
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

int MessageBoxesOf(DWORD pid) {
  int n = 0;
  for (HWND w : TopWindowsOf(pid)) n += ClassOf(w) == "#32770" && IsWindowVisible(w);
  return n;
}

}  // namespace

E2E_SCENARIO(lookup_result_shows_at_startup_and_saves_placement) {
  RoadSession s;
  const std::string temp = s.temp().path();
  s.StartStation();
  // A height that is no number gives the default, a sixth of the screen, without a message.
  s.StartQsopad({{"Opt", "LPAL", "1"}, {"Win", "LUTop", "750"}, {"Win", "LULeft", "1500"},
                 {"Win", "LUWidth", "4500"}, {"Win", "LUHeight", "tall"}});
  HWND w = WaitShown(s.qsopad.pid, "QSOPAD_LUResult");
  REQUIRE_MSG(w, "no result window at start-up");
  CHECK_MSG(TextOf(w) == "Callsign Lookup" && GetWindow(w, GW_OWNER) == s.main, TextOf(w));
  CHECK(!FindMessageBox("QSOPAD", s.qsopad.pid));
  const int height = TwipsToPx(PxToTwips(GetSystemMetrics(SM_CYSCREEN)) / 6);
  const RECT r = WindowRectOf(w);
  CHECK_MSG(SameRect(r, RECT{TwipsToPx(1500), TwipsToPx(750), TwipsToPx(1500) + TwipsToPx(4500),
                             TwipsToPx(750) + height}, 1),
            RectText(r));
  // The text box fills the client area, also after a resize.
  SetWindowPos(w, nullptr, 50, 70, 400, 260, SWP_NOZORDER | SWP_NOACTIVATE);
  HWND box = FindChild(w, "Edit", nullptr);
  RECT client{};
  CHECK_MSG(WaitUntil([&] { return GetClientRect(w, &client) && client.right > 0 &&
                                   SameRect(ChildRect(box, w), client); }, kWait),
            RectText(ChildRect(box, w)) << " in " << RectText(client));

  PostMessageA(w, WM_CLOSE, 0, 0);
  CHECK(WaitUntil([&] { return !IsWindow(w); }, kWait));
  CHECK_MSG(ReadSettingNumber(temp, "Win", "LULeft") == PxToTwips(50) &&
                ReadSettingNumber(temp, "Win", "LUTop") == PxToTwips(70) &&
                ReadSettingNumber(temp, "Win", "LUWidth") == PxToTwips(400) &&
                ReadSettingNumber(temp, "Win", "LUHeight") == PxToTwips(260),
            ReadSettingsFile(temp));
  CHECK(Answers(s.main, 3000));
}

E2E_SCENARIO(lookup_now_reports_missing_qrz_library) {
  RoadSession s;
  s.StartStation();
  // Shown at start-up owned by the main window; the lookup shows it with no owner.
  s.StartQsopad({{"URLS", "CSLOOKUP", "*QRZ"}, {"Opt", "LPAL", "1"}});
  HWND w = WaitShown(s.qsopad.pid, "QSOPAD_LUResult");
  REQUIRE_MSG(w, "no result window at start-up");
  SetWindowPos(w, nullptr, 30, 40, 320, 200, SWP_NOZORDER | SWP_NOACTIVATE);

  PostCommand(s.main, IDM_CALL);
  HWND form = WaitShown(s.qsopad.pid, "QSOPAD_CallsignForm");
  REQUIRE_MSG(form, "Set Partner Call opened no call sign window (QSOPAD_CallsignForm)");
  HWND call = FindChild(form, "Edit", nullptr);
  HWND lookup = FindChild(form, "Button", "Lookup No&w");
  REQUIRE_MSG(call && lookup, "no call sign box or no Lookup Now button");
  SendMessageA(call, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("DL1ABC"));
  PostMessageA(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(lookup), BN_CLICKED), reinterpret_cast<LPARAM>(lookup));

  const MessageBoxInfo box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message after Lookup Now");
  CHECK_MSG(box.text == "QRZ32.DLL not found or QRZ error", box.text);
  Pause(300);
  CHECK_MSG(MessageBoxesOf(s.qsopad.pid) == 1, MessageBoxesOf(s.qsopad.pid));
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));

  HWND result = nullptr;
  CHECK(WaitUntil([&] { return (result = WindowOf(s.qsopad.pid, "QSOPAD_LUResult")) && IsWindowVisible(result) &&
                               TextOf(result) == "Callsign Lookup: "; }, kWait));
  REQUIRE_MSG(result, "no result window after the lookup");
  CHECK_MSG(TextOf(FindChild(result, "Edit", nullptr)) == "Error!", TextOf(FindChild(result, "Edit", nullptr)));
  CHECK(GetWindow(result, GW_OWNER) == nullptr);
  const RECT r = WindowRectOf(result);
  CHECK_MSG(SameRect(r, RECT{30, 40, 350, 240}, 1), RectText(r));
  Pause(300);
  CHECK(MessageBoxesOf(s.qsopad.pid) == 0 && Answers(s.main, 3000));

  // Closing the program closes the window and saves its place.
  PostMessageA(s.main, WM_CLOSE, 0, 0);
  REQUIRE_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end");
  CHECK_MSG(ReadSettingNumber(s.temp().path(), "Win", "LULeft") == PxToTwips(30),
            ReadSettingsFile(s.temp().path()));
}
