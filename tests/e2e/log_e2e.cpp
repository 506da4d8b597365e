// Scenarios of the log entry window in the real qsopad.exe: "Lo&g" greyed while ADIF
// logging is off and usable once it is on, a contact completed with real keys and appended
// to the ADIF file, a character the code page cannot hold, and a log file that cannot be
// written.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"
#include "xkeys.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

HWND LogWindowOf(DWORD pid) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == "QSOPAD_Log" && IsWindowVisible(w)) return w;
  return nullptr;
}

void Keys(HWND top, const std::vector<std::string>& keys) {
  std::string error;
  REQUIRE_MSG(PressKeys(top, keys, &error), error);
}

std::string ListText(HWND list) {
  std::string out;
  const int n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    // The list holds Unicode strings: read them so, from another process.
    wchar_t item[64] = {};
    SendMessageW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(item));
    out += i ? " " : "";
    for (const wchar_t* c = item; *c; ++c) out += static_cast<char>(*c);
    out += "=" + std::to_string(SendMessageW(list, LB_GETITEMDATA, i, 0));
  }
  return out;
}

// The record lines after the date and time, which depend on the clock.
std::string WithoutClock(const std::string& adif) {
  std::string out;
  size_t at = 0;
  while (at < adif.size()) {
    const size_t end = adif.find("\r\n", at);
    const std::string line = adif.substr(at, end == std::string::npos ? std::string::npos : end + 2 - at);
    if (line.rfind("<QSO_DATE:8>", 0) != 0 && line.rfind("<TIME_ON:4>", 0) != 0) out += line;
    if (end == std::string::npos) break;
    at = end + 2;
  }
  return out;
}

}  // namespace

E2E_SCENARIO(log_contact_from_the_tools_menu_and_the_callsign_window) {
  RoadSession s;
  s.StartStation();
  const std::string file = s.temp().File("station.adi");
  s.StartQsopad({{"Opt", "UCCALL", "1"},
                 {"ADIF", "File", file},
                 {"ADIF", "Count", "12"},
                 {"ADIF", "Tag12", "SOTA_REF"},
                 {"ADIF", "En12", "True"},
                 {"ADIF", "Val12", "W7A/MN-001"},
                 {"ADIF", "En2", "False"},
                 {"ADIF", "Tag5", "QSL_VIA"}});

  // ADIF logging off: Alt+T then G finds "Lo&g" greyed and opens nothing. A key typed after
  // them reaches the typing area once they have all been handled and the menu is closed; a
  // log window that opened would still be there, or would have stored its place when Esc
  // closed it.
  Keys(s.main, {"alt+t", "g", "Escape", "Escape", "q"});
  CHECK_MSG(WaitText(s.text1, "q", kWait), "the typing area shows \"" << TextOf(s.text1) << "\" after the keys");
  CHECK_MSG(LogWindowOf(s.qsopad.pid) == nullptr && !ReadSettingNumber(s.temp().path(), "Win", "LgTop"),
            "Lo&g opened the log window with ADIF logging off");
  CHECK_MSG(!FileExists(file), "a log file was written with ADIF logging off");

  // On (as the options dialog stores it): the same keys open the window.
  WriteSetting(s.temp().path(), "ADIF", "En", "1");
  Pause(500);  // the program looks at the settings file on its timer
  Keys(s.main, {"alt+t", "g"});
  HWND w = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (w = LogWindowOf(s.qsopad.pid)) != nullptr; }, kWait),
              "Lo&g did not open the log window with ADIF logging on");
  CHECK_MSG(TextOf(w) == "Logging", TextOf(w));
  HWND list = GetDlgItem(w, IDC_LOG_LIST1), text1 = GetDlgItem(w, IDC_LOG_TEXT1), label1 = GetDlgItem(w, IDC_LOG_LABEL1);
  // BAND is off; every other field in table order with its table index.
  CHECK_MSG(ListText(list) == "CALL=0 NAME=1 QSO_DATE=3 TIME_ON=4 QSL_VIA=5 MODE=6 RST_SENT=7 RST_RCVD=8 FREQ=9 "
                              "TIME_OFF=10 NOTES=11 SOTA_REF=12",
            ListText(list));
  // First opening: the top right corner of the screen.
  const RECT r = WindowRectOf(w);
  CHECK_MSG(r.top <= 2 && std::abs(r.right - GetSystemMetrics(SM_CXSCREEN)) <= 4, RectText(r));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(w) == text1; }, kWait), "the focus is not in the value box");
  // "Insert &Time" from its access key: the time, not yet committed; Esc drops it.
  Keys(w, {"alt+t"});
  CHECK_MSG(WaitUntil([&] { const std::string t = TextOf(text1); return t.size() == 4 && t.find_first_not_of("0123456789") == std::string::npos; }, kWait),
            "Insert Time put " << TextOf(text1));
  Keys(w, {"Escape"});
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "Esc left the log window open");

  // The call sign window's Log button opens it with the call typed there.
  Keys(s.main, {"F12"});
  HWND csf = nullptr;
  REQUIRE(WaitUntil([&] {
    for (HWND t : TopWindowsOf(s.qsopad.pid))
      if (ClassOf(t) == "QSOPAD_CallsignForm" && IsWindowVisible(t)) csf = t;
    return csf != nullptr;
  }, kWait));
  Keys(csf, {"k", "1", "x", "y", "z", "Tab", "j", "o", "e", "alt+o"});
  REQUIRE_MSG(WaitUntil([&] { return (w = LogWindowOf(s.qsopad.pid)) != nullptr; }, kWait),
              "the Log button did not open the log window");
  list = GetDlgItem(w, IDC_LOG_LIST1), text1 = GetDlgItem(w, IDC_LOG_TEXT1), label1 = GetDlgItem(w, IDC_LOG_LABEL1);
  CHECK_MSG(WaitText(text1, "K1XYZ", kWait), TextOf(text1));
  // A note, typed for real. Each selection puts the keyboard back into the value box:
  // Shift+Tab to the list, End for SOTA_REF, again to the list, Up for NOTES.
  Keys(w, {"shift+Tab", "End", "shift+Tab", "Up"});
  CHECK_MSG(WaitUntil([&] { return SendMessageA(list, LB_GETCURSEL, 0, 0) == 10; }, kWait), "NOTES not selected");
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(w) == text1; }, kWait), "the focus did not go to the value box");
  Keys(w, {"g", "m", "space", "less", "b", "greater"});
  CHECK_MSG(WaitText(text1, "gm <b>", kWait), TextOf(text1));
  // A character the code page cannot hold: one "?" in the file, counted in the length.
  SendMessageW(text1, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"gm <b> \x0141\x00f3\x0064\x017a"));
  CHECK_MSG(TextOf(label1).find("NOTES = \r\n") != std::string::npos, "the preview showed an uncommitted note");
  Keys(w, {"Return"});  // OK commits the box without another selection
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "OK left the window open");
  const std::string logged = ReadFileText(file);
  CHECK_MSG(WithoutClock(logged) ==
                "QSOPAD Log file <eoh>\r\n<CALL:5>K1XYZ\r\n<NAME:3>joe\r\n<NOTES:11>gm <b> ?\xf3" "d?\r\n"
                "<SOTA_REF:10>W7A/MN-001\r\n<eor>\r\n",
            Visible(logged));
  CHECK_MSG(logged.find("<QSO_DATE:8>20") != std::string::npos && logged.find("<TIME_ON:4>") != std::string::npos,
            Visible(logged));
  // Its place is kept.
  CHECK(WaitUntil([&] { return ReadSettingNumber(s.temp().path(), "Win", "LgTop").has_value(); }, kWait));
}

E2E_SCENARIO(log_file_that_cannot_be_written) {
  RoadSession s;
  s.StartStation();
  // A folder is not a file: nothing is written, the operator is told, QSOPAD goes on.
  s.StartQsopad({{"ADIF", "En", "True"}, {"ADIF", "File", s.temp().path()}});
  PostCommand(s.main, IDM_LOG);
  HWND w = nullptr;
  REQUIRE(WaitUntil([&] { return (w = LogWindowOf(s.qsopad.pid)) != nullptr; }, kWait));
  PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(w, IDOK)));
  const MessageBoxInfo box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message box");
  CHECK_MSG(box.text.rfind("Log file error", 0) == 0 && box.text.find(s.temp().path()) != std::string::npos, box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "the window stayed open after the error");
  CHECK_MSG(Answers(s.main), "QSOPAD stopped answering");
  CHECK(IsWindowVisible(s.main));
}
