// Scenarios of the keyboard as the operator uses it: real key presses, with Shift, Ctrl and
// Alt held through the X server, on QSOPAD's main window with option "Retro" off and on.
// Macros whose text names their key show in the typing area which key ran which macro;
// the PSK31 stand-in's journal shows the keys that reached it. Then the ways the program
// ends: an unexpected error, the session ending, and a palette closed mid-edit.
#include <windows.h>

#include <set>
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
// Long enough for a few timer ticks to have run.
constexpr int kSettle = 500;

// Each macro's text names the key that runs it with "Retro" off.
const Settings kMacros = {{"Macro", "10", "<F1>"},  {"Macro", "17", "<F8>"}, {"Macro", "18", "<F9>"},
                          {"Macro", "19", "<F10>"}, {"Macro", "0", "<SF1>"}, {"Macro", "9", "<SF10>"}};

Settings With(Settings settings, const Settings& more) {
  settings.insert(settings.end(), more.begin(), more.end());
  return settings;
}

std::string Keys(const std::vector<std::string>& keys) {
  std::string text;
  for (const auto& k : keys) text += (text.empty() ? "" : " ") + k;
  return text;
}

void Press(RoadSession& s, const std::vector<std::string>& keys) {
  std::string error;
  REQUIRE_MSG(PressKeys(s.main, keys, &error), "pressing " << Keys(keys) << ": " << error);
}

// A key that opened the menu bar or a pop-up menu fails; the menu is left with Esc so
// that the keys after it reach the typing area again.
void CheckNoMenu(RoadSession& s, const std::vector<std::string>& keys) {
  if (!InMenuMode(s.main)) return;
  CHECK_MSG(false, Keys(keys) << " opened a menu");
  for (int i = 0; i < 3 && InMenuMode(s.main); ++i) {
    Press(s, {"Escape"});
    Pause(200);
  }
}

// Presses the keys and expects the typing area to show `added` after what it showed.
void ExpectTyped(RoadSession& s, const std::vector<std::string>& keys, const std::string& added,
                 const std::string& meaning) {
  const std::string before = TextOf(s.text1);
  Press(s, keys);
  CHECK_MSG(WaitText(s.text1, before + added, kWait),
            Keys(keys) << " should " << meaning << ": the typing area went from \"" << Visible(before) << "\" to \""
                       << Visible(TextOf(s.text1)) << "\", expected \"" << Visible(before + added) << "\"");
  CheckNoMenu(s, keys);
}

// Presses the keys and expects `role` of the stand-in to receive these keys, and nothing
// to be typed: a "q" pressed after them is all the typing area gains.
void ExpectStationKeys(RoadSession& s, std::vector<std::string> keys, const std::string& role,
                       const std::vector<int>& vks) {
  std::vector<std::string> expected = KeyTrail(ReadJournal(s.psk31Journal), role);
  const std::vector<std::string> added = SentKeys(vks);
  expected.insert(expected.end(), added.begin(), added.end());
  const std::string before = TextOf(s.text1);
  Press(s, keys);
  std::vector<std::string> trail;
  CHECK_MSG(WaitUntil([&] { return (trail = KeyTrail(ReadJournal(s.psk31Journal), role)) == expected; }, kWait),
            Keys(keys) << ": the station's " << role << " got" << Joined(trail) << "\nexpected" << Joined(expected));
  keys.push_back("q");
  Press(s, {"q"});
  CHECK_MSG(WaitText(s.text1, before + "q", kWait),
            Keys(keys) << " typed into the typing area: \"" << Visible(TextOf(s.text1)) << "\" after \""
                       << Visible(before) << "\"");
  CheckNoMenu(s, keys);
}

size_t CountF5(const std::string& journalPath) {
  size_t n = 0;
  for (const auto& e : Select(ReadJournal(journalPath), "panel", "WM_KEYDOWN"))
    if (e.Num(0) == VK_F5) ++n;
  return n;
}

bool WaitMemo(RoadSession& s, const std::string& expected) {
  return WaitUntil([&] { return CharsTo(ReadJournal(s.psk31Journal), "memo") == expected; }, kWait);
}

std::string Memo(RoadSession& s) { return Visible(CharsTo(ReadJournal(s.psk31Journal), "memo")); }

HWND PaletteOf(DWORD pid) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == "QSOPAD_Macros" && IsWindowVisible(w)) return w;
  return nullptr;
}

// Visible "QSOPAD" message boxes of the process.
std::vector<HWND> Boxes(DWORD pid) {
  std::vector<HWND> boxes;
  for (HWND w = FindWindowExA(nullptr, nullptr, "#32770", "QSOPAD"); w; w = FindWindowExA(nullptr, w, "#32770", "QSOPAD"))
    if (IsWindowVisible(w) && ProcessOf(w) == pid) boxes.push_back(w);
  return boxes;
}

// Replaces the settings file as another program would, in one step.
void ReplaceSettings(const std::string& folder, const std::string& text) {
  const std::string file = JoinPath(folder, "QSOPAD.ini"), temp = JoinPath(folder, "QSOPAD.new");
  REQUIRE(WriteFileText(temp, text));
  REQUIRE(MoveFileExA(temp.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
}

}  // namespace

E2E_SCENARIO(keys_function_keys_retro_off) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad(kMacros);
  // F10 and Shift+F10 are system keys: the "q" after them shows the keyboard stayed here.
  ExpectTyped(s, {"F1"}, "<F1>", "run macro 10");
  ExpectTyped(s, {"F9"}, "<F9>", "run macro 18");
  ExpectTyped(s, {"F10", "q"}, "<F10>q", "run macro 19 and leave the menu bar closed");
  ExpectTyped(s, {"shift+F1"}, "<SF1>", "run macro 0");
  ExpectTyped(s, {"shift+F10", "q"}, "<SF10>q", "run macro 9 and open no menu");

  ExpectStationKeys(s, {"ctrl+F1"}, "panel", {VK_F1});
  ExpectStationKeys(s, {"Insert", "Delete"}, "memo", {VK_RIGHT, VK_LEFT});

  Press(s, {"ctrl+F9"});
  CHECK_MSG(WaitText(s.text1, "", kWait), "ctrl+F9 left the typing area \"" << Visible(TextOf(s.text1)) << "\"");
  // Only what is typed after Clear Buffer goes out when Send is pressed.
  ExpectTyped(s, {"h", "i"}, "hi", "type into the typing area");
  Press(s, {"alt+s"});
  CHECK_MSG(WaitMemo(s, "hi"), "after ctrl+F9, h, i, alt+s the memo got \"" << Memo(s) << "\", expected \"hi\"");
  Press(s, {"alt+r"});
  CHECK_MSG(WaitUntil([&] { return CountF5(s.psk31Journal) == 1; }, kWait),
            "alt+r: " << CountF5(s.psk31Journal) << " F5 reached the station" << Dump(ReadJournal(s.psk31Journal)));
  Pause(kSettle);
  // Repeat Last sends the last transmission again and returns to receive.
  Press(s, {"ctrl+F12"});
  CHECK_MSG(WaitMemo(s, "hihi"), "ctrl+F12: the memo got \"" << Memo(s) << "\", expected \"hihi\"");
  CHECK_MSG(WaitUntil([&] { return CountF5(s.psk31Journal) == 2; }, kWait),
            "ctrl+F12: " << CountF5(s.psk31Journal) << " F5 in all, expected 2");
  const Journal j = ReadJournal(s.psk31Journal);
  const std::vector<StampedChar> chars = MemoChars(j);
  CHECK_MSG(chars.size() == 4 && FirstAt(j, "panel", "WM_KEYDOWN", VK_F5) > chars[1].ms,
            "alt+r: F5 before the text" << Dump(j));

  Press(s, {"F11"});
  HWND box = nullptr;
  CHECK_MSG(WaitUntil([&] { return (box = FindMessageBox("QSOPAD", s.qsopad.pid)) != nullptr; }, kWait),
            "F11 showed no input box");
  if (box) {
    CHECK_MSG(TextOf(GetDlgItem(box, IDC_INPUT_PROMPT)) == "Enter new RX frequency",
              "F11 asked \"" << TextOf(GetDlgItem(box, IDC_INPUT_PROMPT)) << "\"");
    CHECK(PressAndWaitClosed(box, IDCANCEL, kWait));
  }

  // F12 opens the call sign window with the focus in its call sign box; Esc closes it.
  Press(s, {"F12"});
  HWND call = nullptr;
  CHECK_MSG(WaitUntil([&] {
              for (HWND w : TopWindowsOf(s.qsopad.pid))
                if (ClassOf(w) == "QSOPAD_CallsignForm" && IsWindowVisible(w)) call = w;
              return call != nullptr;
            }, kWait), "F12 showed no call sign window");
  if (call) {
    CHECK_MSG(WaitUntil([&] { return FocusOfThread(call) == GetDlgItem(call, IDC_CSF_CALLSIGN); }, kWait),
              "F12: the focus is not in the call sign box");
    std::string error;
    CHECK_MSG(PressKeys(call, {"Escape"}, &error), error);
    CHECK_MSG(WaitUntil([&] { return !IsWindow(call); }, kWait), "Esc left the call sign window open");
  }
  CheckNoMenu(s, {"F12"});
  CHECK_MSG(Answers(s.main, 2000), "QSOPAD stopped answering after F12");
  ExpectTyped(s, {"q"}, "q", "type after F12");

  Press(s, {"shift+F12"});
  CHECK_MSG(WaitUntil([&] { return PaletteOf(s.qsopad.pid) != nullptr; }, kWait), "shift+F12 showed no macro palette");

  // Full stop: the typing area emptied and TX off pressed twice.
  ExpectTyped(s, {"z", "z"}, "zz", "type after the palette opened");
  Press(s, {"alt+BackSpace"});
  CHECK_MSG(WaitText(s.text1, "", kWait), "alt+BackSpace left the typing area \"" << Visible(TextOf(s.text1)) << "\"");
  CHECK_MSG(WaitUntil([&] { return CountF5(s.psk31Journal) == 4; }, kWait),
            "alt+BackSpace: " << CountF5(s.psk31Journal) - 2 << " F5 reached the station, expected 2");
  CHECK_MSG(Memo(s) == "hihi", "the memo got \"" << Memo(s) << "\"");
  ExpectTyped(s, {"q"}, "q", "type after Full Stop, the menu bar closed");
}

E2E_SCENARIO(keys_function_keys_retro_on) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad(With(kMacros, {{"Opt", "Retro", "True"}}));
  ExpectTyped(s, {"ctrl+F1"}, "<F1>", "run macro 10 with Retro on");
  ExpectTyped(s, {"ctrl+F8"}, "<F8>", "run macro 17 with Retro on");
  ExpectTyped(s, {"ctrl+F10", "q"}, "<F10>q", "run macro 19 with Retro on");
  ExpectTyped(s, {"F9"}, "<F9>", "run macro 18 with Retro on");
  ExpectTyped(s, {"F10", "q"}, "<F10>q", "run macro 19 with Retro on and leave the menu bar closed");
  ExpectTyped(s, {"shift+F1"}, "<SF1>", "run macro 0 with Retro on");
  const Journal j = ReadJournal(s.psk31Journal);
  CHECK_MSG(KeyTrail(j, "panel").empty(), "a macro key reached the station's panel:" << Joined(KeyTrail(j, "panel")));
  ExpectStationKeys(s, {"F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8"}, "panel",
                    {VK_F1, VK_F2, VK_F3, VK_F4, VK_F5, VK_F6, VK_F7, VK_F8});
}

E2E_SCENARIO(keys_error_reported_once) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({});
  Press(s, {"alt+s"});
  REQUIRE_MSG(WaitUntil([&] { return !IsWindowEnabled(GetDlgItem(s.main, IDC_COMMAND1)); }, kWait),
              "alt+s did not start a transmission");
  // A time offset that is not a number, stored while QSOPAD transmits.
  ReplaceSettings(s.temp().path(), "[Opt]\r\nGMT=abc\r\n");
  const MessageBoxInfo box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message about the bad setting");
  const std::string prefix = "Unexpected error. Please report the following:\r\n";
  const std::string text = box.text;
  Log("the message: " + Visible(text));
  CHECK_MSG(text.rfind(prefix, 0) == 0, "the message is \"" << Visible(text) << "\"");
  const size_t colon = text.find(": ", prefix.size());
  const std::string name = text.substr(prefix.size(), colon == std::string::npos ? 0 : colon - prefix.size());
  const std::set<std::string> names = {"Timer1_Timer", "SExpand", "XTime"};
  CHECK_MSG(names.count(name) == 1, "the error is reported by \"" << name << "\": \"" << Visible(text) << "\"");
  CHECK_MSG(colon != std::string::npos && colon + 2 < text.size(), "no description: \"" << Visible(text) << "\"");

  std::set<HWND> seen;
  const std::int64_t until = NowMs() + 2000;
  while (NowMs() < until) {
    for (HWND w : Boxes(s.qsopad.pid)) seen.insert(w);
    Pause(50);
  }
  CHECK_MSG(seen.size() == 1, seen.size() << " message boxes within 2 s of the first");
  // Once the operator answers, the program ends with the station back in receive.
  PressButton(box.hwnd, IDOK);
  CHECK_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end after OK");
  CHECK_MSG(CountF5(s.psk31Journal) == 1, CountF5(s.psk31Journal) << " F5 reached the station, expected 1");
}

E2E_SCENARIO(keys_logoff_runs_shutdown_once) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "Close", "True"}});
  HWND log = s.StartLog({}, true);
  REQUIRE(log);
  REQUIRE_MSG(!WaitJournal(s.logJournal, "log", "PAIRED", kWait).event.empty(), Dump(ReadJournal(s.logJournal)));
  SetWindowPos(s.main, nullptr, 40, 50, 640, 480, SWP_NOZORDER | SWP_NOACTIVATE);
  const RECT form = WindowRectOf(s.station.form);
  const long left = PxToTwips(WindowRectOf(s.main).left);

  DWORD_PTR answer = 0;
  CHECK_MSG(SendMessageTimeoutA(s.main, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, kWait, &answer) &&
                answer != 0,
            "QSOPAD refused to let the session end");
  SendMessageTimeoutA(s.main, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 2 * kWait, &answer);
  CHECK_MSG(!WaitJournal(s.psk31Journal, "form", "WM_CLOSE", kWait).event.empty(),
            "the station was not closed" << Dump(ReadJournal(s.psk31Journal)));
  CHECK_MSG(ReadSettingNumber(s.temp().path(), "Win", "PX") == form.left &&
                ReadSettingNumber(s.temp().path(), "Win", "PY") == form.top &&
                ReadSettingNumber(s.temp().path(), "Win", "Left") == left,
            "window setup not saved for the station at " << RectText(form) << ", QSOPAD at left " << left
                                                         << " twips:\n" << ReadSettingsFile(s.temp().path()));
  auto records = [&] { return LogRecords(ReadJournal(s.logJournal)); };
  CHECK_MSG(WaitUntil([&] { return records().size() == 1 && records()[0].text == "x"; }, kWait),
            "the log program got " << records().size() << " records" << Dump(ReadJournal(s.logJournal)));

  // The window closing afterwards, if it is still there, runs nothing again.
  if (IsWindow(s.main)) {
    SetWindowPos(s.main, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    PostMessageA(s.main, WM_CLOSE, 0, 0);
  }
  CHECK_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end");
  Pause(kSettle);
  size_t closing = 0;
  for (const LogFunc& f : LogFuncs(ReadJournal(s.logJournal)))
    if (f.wparam == 1) ++closing;
  CHECK_MSG(closing == 1 && records().size() == 1, "closing announced " << closing << " times, " << records().size()
                                                                        << " records" << Dump(ReadJournal(s.logJournal)));
  CHECK_MSG(ReadSettingNumber(s.temp().path(), "Win", "Left") == left,
            "closing after the session ended saved the window setup: Left "
                << ReadSetting(s.temp().path(), "Win", "Left").value_or("none") << ", expected " << left);
}

E2E_SCENARIO(keys_palette_close_drops_pending_edit) {
  // Closed by itself, or along with the main window.
  for (const bool closeMain : {false, true}) {
    const char* how = closeMain ? "closing QSOPAD" : "closing the palette";
    Log(how);
    RoadSession s;
    s.StartStation();
    s.StartQsopad({{"Macro", "12", "keep"}});
    Press(s, {"shift+F12"});
    HWND palette = nullptr;
    REQUIRE_MSG(WaitUntil([&] { return (palette = PaletteOf(s.qsopad.pid)) != nullptr; }, kWait), "no palette");
    HWND list = GetDlgItem(palette, IDC_MPAL_LIST1), edit = GetDlgItem(palette, IDC_MPAL_TEXT1);
    // The line of F3 (macro 12), selected as a click does, then typed into without Enter.
    SendMessageA(list, LB_SETCURSEL, 2, 0);
    SendMessageA(palette, WM_COMMAND, MAKEWPARAM(IDC_MPAL_LIST1, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
    REQUIRE_MSG(WaitText(edit, "keep", kWait), "the edit box shows \"" << TextOf(edit) << "\"");
    // A click into the edit box gives it the keyboard, as the operator's would.
    PostMessageA(edit, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
    PostMessageA(edit, WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
    REQUIRE_MSG(WaitUntil([&] { return FocusOfThread(palette) == edit; }, kWait), "the edit box has no keyboard");
    std::string error;
    REQUIRE_MSG(PressKeys(palette, {"z", "z"}, &error), error);
    REQUIRE_MSG(WaitText(edit, "zzkeep", kWait), "the edit box shows \"" << TextOf(edit) << "\"");

    if (closeMain) {
      PostMessageA(s.main, WM_CLOSE, 0, 0);
      CHECK_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end");
    } else {
      PostMessageA(palette, WM_CLOSE, 0, 0);
      CHECK_MSG(WaitUntil([&] { return PaletteOf(s.qsopad.pid) == nullptr; }, kWait), "the palette did not close");
      // Destroying a top-level window holds the thread up a while under Wine; what the
      // close does is done once QSOPAD answers again.
      CHECK_MSG(WaitUntil([&] { return Answers(s.main, 200); }, 10000), "QSOPAD stopped answering");
      Pause(kSettle);
    }
    CHECK_MSG(ReadSetting(s.temp().path(), "Macro", "12") == "keep",
              how << " stored the pending edit: macro 12 is \""
                  << ReadSetting(s.temp().path(), "Macro", "12").value_or("<absent>") << "\"");
  }
}
