// Scenarios of the call sign window in the real qsopad.exe: opened with F12, typed into with
// real keys, a paste, OK handing call and name to the main window and the paired log
// program; palette mode, More/Less and the window's placement.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsolog_driver.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"
#include "xkeys.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

HWND CallsignWindowOf(DWORD pid) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == "QSOPAD_CallsignForm") return w;
  return nullptr;
}

HWND WaitCallsignWindow(DWORD pid) {
  HWND w = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (w = CallsignWindowOf(pid)) && IsWindowVisible(w); }, kWait),
              "no visible call sign window");
  return w;
}

void Keys(HWND top, const std::vector<std::string>& keys) {
  std::string error;
  REQUIRE_MSG(PressKeys(top, keys, &error), error);
}

void Click(HWND window, int id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

void PutOnClipboard(const std::string& text) {
  REQUIRE(OpenClipboard(nullptr));
  EmptyClipboard();
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, text.size() + 1);
  std::memcpy(GlobalLock(memory), text.c_str(), text.size() + 1);
  GlobalUnlock(memory);
  SetClipboardData(CF_TEXT, memory);
  CloseClipboard();
}

int TwipsToPx(long twips) { return MulDiv(static_cast<int>(twips), ScreenDpi(), 1440); }

std::string Records(const Journal& j) {
  std::string text;
  for (const LogRecord& r : LogRecords(j)) text += " " + std::to_string(r.code) + ":" + r.text;
  return text;
}

}  // namespace

E2E_SCENARIO(callsign_typed_pasted_and_handed_over) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "UCCALL", "1"}});
  HWND log = s.StartLog({}, true);
  REQUIRE_MSG(log && !WaitJournal(s.logJournal, "log", "PAIRED", kWait).event.empty(), Dump(ReadJournal(s.logJournal)));
  // The partner as the log program set it is what the window opens with.
  CHECK(LogSend(log, 1, "K1XYZ"));
  CHECK(LogSend(log, 2, "Joe"));
  HWND command4 = GetDlgItem(s.main, IDC_COMMAND4);
  REQUIRE(WaitText(command4, "K1XYZ", kWait));

  Keys(s.main, {"F12"});
  HWND w = WaitCallsignWindow(s.qsopad.pid);
  HWND call = GetDlgItem(w, IDC_CSF_CALLSIGN), name = GetDlgItem(w, IDC_CSF_NAMEFIELD);
  CHECK_MSG(TextOf(w) == "Set Callsign", TextOf(w));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(w) == call; }, kWait), "the focus is not in the call sign box");
  CHECK_MSG(TextOf(call) == "K1XYZ" && TextOf(name) == "Joe", TextOf(call) << " / " << TextOf(name));
  CHECK(IsWindowEnabled(GetDlgItem(w, IDC_CSF_COMMAND4)));

  // A paste keeps its case, and empties the name box like any change of the call.
  PutOnClipboard("pa3xyz");
  SendMessageA(call, EM_SETSEL, 0, -1);
  SendMessageA(call, WM_PASTE, 0, 0);
  CHECK_MSG(WaitText(call, "pa3xyz", kWait), TextOf(call));
  CHECK_MSG(TextOf(name).empty(), "after the paste the name box holds " << TextOf(name));
  PutOnClipboard("");

  // Typed letters come out as capitals and empty the name box on every key.
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("Joe"));
  SendMessageA(call, EM_SETSEL, 0, -1);
  Keys(w, {"d", "l", "1", "a", "b", "c"});
  CHECK_MSG(WaitText(call, "DL1ABC", kWait), TextOf(call));
  CHECK_MSG(TextOf(name).empty(), "after typing the name box holds " << TextOf(name));
  // Tab reaches the name box; what is typed there keeps its case.
  Keys(w, {"Tab", "h", "a", "n", "s"});
  CHECK_MSG(WaitText(name, "hans", kWait), TextOf(name));

  // Enter is OK: the main window and the log program get call and name, the window closes.
  Keys(w, {"Return"});
  CHECK_MSG(WaitText(command4, "DL1ABC", kWait), TextOf(command4));
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "OK left the window open");
  CHECK_MSG(WaitUntil([&] { return Records(ReadJournal(s.logJournal)) == " 1:DL1ABC 2:hans"; }, kWait),
            "the log program got" << Records(ReadJournal(s.logJournal)));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(s.main) == s.text1; }, kWait), "the typing area has no focus");

  // Esc closes a window opened again and hands nothing over.
  PostCommand(s.main, IDM_CALL);
  w = WaitCallsignWindow(s.qsopad.pid);
  CHECK_MSG(TextOf(GetDlgItem(w, IDC_CSF_CALLSIGN)) == "DL1ABC", TextOf(GetDlgItem(w, IDC_CSF_CALLSIGN)));
  SendMessageA(GetDlgItem(w, IDC_CSF_CALLSIGN), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("XX9XX"));
  Keys(w, {"Escape"});
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "Esc left the window open");
  CHECK_MSG(TextOf(command4) == "DL1ABC", TextOf(command4));
}

E2E_SCENARIO(callsign_palette_mode_and_placement) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "callpal", "1"}, {"Opt", "Lookup", "True"}, {"Win", "CPT", "1500"}, {"Win", "CPL", "2250"}});
  PostCommand(s.main, IDM_CALL);
  HWND w = WaitCallsignWindow(s.qsopad.pid);
  HWND ok = GetDlgItem(w, IDOK), cancel = GetDlgItem(w, IDCANCEL), more = GetDlgItem(w, IDC_CSF_COMMAND3);
  HWND lookup = GetDlgItem(w, IDC_CSF_CHECK1);
  CHECK_MSG(TextOf(ok) == "Apply" && TextOf(cancel) == "Close", TextOf(ok) << " / " << TextOf(cancel));
  // A "True" from the options dialog is rewritten as a number at load.
  CHECK_MSG(ReadSetting(s.temp().path(), "Opt", "Lookup") == "1", ReadSetting(s.temp().path(), "Opt", "Lookup").value_or("<absent>"));
  CHECK(SendMessageA(lookup, BM_GETCHECK, 0, 0) == BST_CHECKED);

  // Collapsed at the stored place; More widens the window and enables the right-hand column.
  RECT r = WindowRectOf(w);
  CHECK_MSG(std::abs(r.left - TwipsToPx(2250)) <= 1 && std::abs(r.top - TwipsToPx(1500)) <= 1 &&
                std::abs((r.right - r.left) - TwipsToPx(4560)) <= 1,
            RectText(r));
  CHECK(!IsWindowEnabled(GetDlgItem(w, IDC_CSF_CHECK2)));
  Click(w, IDC_CSF_COMMAND3);
  CHECK_MSG(WaitText(more, "&<<<Less", kWait), TextOf(more));
  r = WindowRectOf(w);
  CHECK_MSG((r.right - r.left) >= TwipsToPx(5875) - 1, RectText(r));
  // Wider still where the column's captions need it in this font: no box is cut off.
  RECT client{};
  GetClientRect(w, &client);
  MapWindowPoints(w, nullptr, reinterpret_cast<POINT*>(&client), 2);
  for (int id = IDC_CSF_CHECK2; id <= IDC_CSF_CHECK5; ++id)
    CHECK_MSG(WindowRectOf(GetDlgItem(w, id)).right <= client.right,
              TextOf(GetDlgItem(w, id)) << " ends at " << WindowRectOf(GetDlgItem(w, id)).right << ", the window at " << client.right);
  CHECK(IsWindowEnabled(GetDlgItem(w, IDC_CSF_CHECK2)) && IsWindowEnabled(GetDlgItem(w, IDC_CSF_COMMAND2)));

  // A check box click is stored at once (and no lookup runs on Apply below).
  SendMessageA(lookup, BM_SETCHECK, BST_UNCHECKED, 0);
  Click(w, IDC_CSF_CHECK1);
  CHECK_MSG(WaitUntil([&] { return ReadSetting(s.temp().path(), "Opt", "Lookup") == "0"; }, kWait), "Lookup not stored");

  // Apply hands the call over and leaves the window open, the focus in the typing area.
  SendMessageA(GetDlgItem(w, IDC_CSF_CALLSIGN), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("W1AW"));
  Click(w, IDOK);
  CHECK_MSG(WaitText(GetDlgItem(s.main, IDC_COMMAND4), "W1AW", kWait), TextOf(GetDlgItem(s.main, IDC_COMMAND4)));
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(s.main) == s.text1; }, kWait), "the typing area has no focus");
  CHECK_MSG(IsWindow(w) && IsWindowVisible(w), "Apply closed the window");

  // Moved and closed: the place is stored, and the window opens there again, collapsed.
  const int left = TwipsToPx(3000), top = TwipsToPx(2400);
  SetWindowPos(w, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
  REQUIRE(WaitUntil([&] { return WindowRectOf(w).left == left; }, kWait));
  Click(w, IDCANCEL);
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "Close left the window open");
  const auto cpl = ReadSettingNumber(s.temp().path(), "Win", "CPL"), cpt = ReadSettingNumber(s.temp().path(), "Win", "CPT");
  CHECK_MSG(cpl && cpt && std::abs(*cpl - 3000) <= 15 && std::abs(*cpt - 2400) <= 15,
            "stored " << cpl.value_or(-1) << ", " << cpt.value_or(-1));
  PostCommand(s.main, IDM_CALL);
  w = WaitCallsignWindow(s.qsopad.pid);
  r = WindowRectOf(w);
  CHECK_MSG(std::abs(r.left - left) <= 1 && std::abs(r.top - top) <= 1 && std::abs((r.right - r.left) - TwipsToPx(4560)) <= 1,
            RectText(r));
  CHECK_MSG(TextOf(GetDlgItem(w, IDC_CSF_COMMAND3)) == "More&>>>", TextOf(GetDlgItem(w, IDC_CSF_COMMAND3)));
}

E2E_SCENARIO(callsign_shown_at_startup_and_lookup_source_dialog) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "CSPAL", "1"}, {"URLS", "CSLOOKUP", "http://old/?c="}});
  // Shown by start-up, owned by the main window.
  HWND w = WaitCallsignWindow(s.qsopad.pid);
  CHECK(GetWindow(w, GW_OWNER) == s.main);
  Click(w, IDC_CSF_COMMAND3);
  REQUIRE(WaitUntil([&] { return IsWindowEnabled(GetDlgItem(w, IDC_CSF_COMMAND2)) != FALSE; }, kWait));

  // Lookup Data: the stored source to edit, a row puts its source in, OK stores the text as it
  // stands; Cancel stores nothing.
  const auto open_dialog = [&] {
    Click(w, IDC_CSF_COMMAND2);
    const MessageBoxInfo d = WaitMessageBox("Enter URL", kWait, s.qsopad.pid);
    REQUIRE_MSG(d.hwnd, "no lookup source dialog");
    return d.hwnd;
  };
  HWND d = open_dialog();
  HWND list = GetDlgItem(d, IDC_LURL_LIST1), text = GetDlgItem(d, IDC_LURL_TEXT1);
  CHECK_MSG(TextOf(text) == "http://old/?c=", TextOf(text));
  CHECK(SendMessageA(list, LB_GETCOUNT, 0, 0) == 10);
  SendMessageA(list, LB_SETCURSEL, 2, 0);
  PostMessageA(d, WM_COMMAND, MAKEWPARAM(IDC_LURL_LIST1, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
  CHECK_MSG(WaitText(text, "*FLY DRIVE=D:\\", kWait), TextOf(text));
  SendMessageA(text, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("*FLY DRIVE=E:\\"));
  CHECK(PressAndWaitClosed(d, IDOK, kWait));
  CHECK_MSG(WaitUntil([&] { return ReadSetting(s.temp().path(), "URLS", "CSLOOKUP") == "*FLY DRIVE=E:\\"; }, kWait),
            ReadSetting(s.temp().path(), "URLS", "CSLOOKUP").value_or("<absent>"));
  d = open_dialog();
  SendMessageA(GetDlgItem(d, IDC_LURL_TEXT1), WM_SETTEXT, 0, reinterpret_cast<LPARAM>("http://new/"));
  CHECK(PressAndWaitClosed(d, IDCANCEL, kWait));
  Pause(300);
  CHECK_MSG(ReadSetting(s.temp().path(), "URLS", "CSLOOKUP") == "*FLY DRIVE=E:\\",
            ReadSetting(s.temp().path(), "URLS", "CSLOOKUP").value_or("<absent>"));
}

// OK with "&Lookup" on waits on the lookup's failure message: the message belongs to the
// call sign window and the main window takes no input meanwhile. The program closed under
// it by another program's WM_CLOSE hands nothing over afterwards: the log program's last
// record is the closing one.
E2E_SCENARIO(callsign_ok_lookup_message_owned_and_shutdown_ends_the_ok) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"URLS", "CSLOOKUP", "*FCC PATH=C:\\no such folder\\APPL.DAT"}, {"Opt", "Lookup", "1"}});
  HWND log = s.StartLog({}, true);
  REQUIRE_MSG(log && !WaitJournal(s.logJournal, "log", "PAIRED", kWait).event.empty(), Dump(ReadJournal(s.logJournal)));
  Keys(s.main, {"F12"});
  HWND w = WaitCallsignWindow(s.qsopad.pid);
  Keys(w, {"k", "1", "a", "b", "c", "Return"});
  const MessageBoxInfo box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message after OK");
  CHECK_MSG(box.text == "FCC Database error", box.text);
  CHECK_MSG(GetWindow(box.hwnd, GW_OWNER) == w, "the message is owned by " << ClassOf(GetWindow(box.hwnd, GW_OWNER)));
  CHECK_MSG(!IsWindowEnabled(s.main), "the main window takes input under the message");

  PostMessageA(s.main, WM_CLOSE, 0, 0);
  REQUIRE_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end");
  const std::string records = Records(ReadJournal(s.logJournal));
  CHECK_MSG(records.size() >= 4 && records.substr(records.size() - 4) == " 0:x", "the log program got" << records);
}
