// Scenarios of the macro palette in the real qsopad.exe: opening it from the menu and at
// start-up, its lines, editing in place with Enter and Esc, the expanded preview, sending
// to the PSK31 stand-in, printing with no printer, and its placement.
#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

struct Palette {
  HWND window = nullptr, list = nullptr, label = nullptr, edit = nullptr, send = nullptr,
       print = nullptr, expand = nullptr, auto_show = nullptr;
};

// The process's palette window, shown or not.
HWND PaletteOf(DWORD pid) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == "QSOPAD_Macros") return w;
  return nullptr;
}

Palette Controls(HWND window) {
  Palette p;
  p.window = window;
  p.list = GetDlgItem(window, IDC_MPAL_LIST1);
  p.label = GetDlgItem(window, IDC_MPAL_LABEL1);
  p.edit = GetDlgItem(window, IDC_MPAL_TEXT1);
  p.send = GetDlgItem(window, IDC_MPAL_COMMAND1);
  p.print = GetDlgItem(window, IDC_MPAL_COMMAND2);
  p.expand = GetDlgItem(window, IDC_MPAL_CHECK2);
  p.auto_show = GetDlgItem(window, IDC_MPAL_CHECK1);
  return p;
}

// Waits for the palette to be visible; ends the scenario when it is not.
Palette WaitPalette(DWORD pid) {
  HWND window = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (window = PaletteOf(pid)) && IsWindowVisible(window); }, kWait),
              "no visible palette");
  return Controls(window);
}

// Starts the station and QSOPAD with these settings, and opens the palette from the menu.
Palette OpenPalette(RoadSession& s, const Settings& settings) {
  s.StartStation();
  s.StartQsopad(settings);
  PostCommand(s.main, IDM_MPAL);
  return WaitPalette(s.qsopad.pid);
}

// The lines as the list shows them (read as wide text: the list is a Unicode window).
std::vector<std::string> Lines(HWND list) {
  std::vector<std::string> lines;
  const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const auto length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(i), 0);
    std::wstring text(static_cast<size_t>(length > 0 ? length : 0) + 1, L'\0');
    SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.data()));
    text.resize(text.find(L'\0'));
    std::string ansi(text.size() * 2 + 1, '\0');
    const int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), ansi.data(),
                                      static_cast<int>(ansi.size()), nullptr, nullptr);
    ansi.resize(static_cast<size_t>(n > 0 ? n : 0));
    lines.push_back(ansi);
  }
  return lines;
}

std::string Line(HWND list, int index) {
  const std::vector<std::string> lines = Lines(list);
  return index < static_cast<int>(lines.size()) ? lines[static_cast<size_t>(index)] : "<none>";
}

// Selects a line as a click does: the list moves its selection and tells its parent.
void Select(const Palette& p, int index) {
  SendMessageA(p.list, LB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(p.window, WM_COMMAND, MAKEWPARAM(IDC_MPAL_LIST1, LBN_SELCHANGE),
               reinterpret_cast<LPARAM>(p.list));
}

// The operator replaces the edit box's text (the box reports the change).
void Edit(const Palette& p, const std::string& text) {
  SendMessageA(p.edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void Click(const Palette& p, HWND button, int id) {
  PostMessageA(p.window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
}

// A check box clicked to the given state.
void ClickCheck(const Palette& p, HWND box, int id, bool checked) {
  SendMessageA(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  Click(p, box, id);
}

std::string Stored(const std::string& folder, const std::string& key) {
  return ReadSetting(folder, "Macro", key).value_or("<absent>");
}

std::string MemoText(const RoadSession& s) { return CharsTo(ReadJournal(s.psk31Journal), "memo"); }

int TwipsToPx(long twips) { return MulDiv(static_cast<int>(twips), ScreenDpi(), 1440); }

}  // namespace

E2E_SCENARIO(palette_opens_from_menu_with_lines_in_key_order) {
  // Labels and texts line by line are the model's unit tests; here: the window around them.
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "Retro", "True"}, {"Opt", "MacPalX", "0"}, {"Macro", "3", "cq^Ncq"}});
  CHECK_MSG(!PaletteOf(s.qsopad.pid), "the palette exists before it was asked for");
  PostCommand(s.main, IDM_MPAL);
  const Palette p = WaitPalette(s.qsopad.pid);
  CHECK(TextOf(p.window) == "QSOPAD Macros" && GetWindow(p.window, GW_OWNER) == s.main);
  // Default placement: 0, 0 and 4500 twips square.
  const RECT r = WindowRectOf(p.window);
  CHECK_MSG(SameRect(r, RECT{0, 0, TwipsToPx(4500), TwipsToPx(4500)}, 1), RectText(r));

  const std::vector<std::string> lines = Lines(p.list);
  REQUIRE_MSG(lines.size() == 20u, lines.size());
  CHECK_MSG(lines[0] == "^F1 :  ^3 de ^2 " && lines[13] == "SF4 : cq^Ncq", lines[0] << "|" << lines[13]);
  // Nothing selected yet: no edit box, no Send.
  CHECK(!IsWindowVisible(p.edit) && !IsWindowEnabled(p.send));
  // Shown from the menu, the list has the keyboard; Tab moves on past the disabled Send.
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(p.window) == p.list; }, kWait), ClassOf(FocusOfThread(p.window)));
  PostKey(p.list, VK_TAB);
  CHECK_MSG(WaitUntil([&] { return FocusOfThread(p.window) == p.print; }, kWait), TextOf(FocusOfThread(p.window)));
  // The label beside the edit box shows the plain key, Retro or not.
  Select(p, 2);
  CHECK(IsWindowVisible(p.edit) && IsWindowEnabled(p.send));
  CHECK_MSG(TextOf(p.label) == "F3", TextOf(p.label));

  // Wine here has no printer: the failure is reported with the system's error, and both
  // windows go on.
  Click(p, p.print, IDC_MPAL_COMMAND2);
  const MessageBoxInfo box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message after Print");
  CHECK_MSG(box.text.rfind("The macros could not be printed: ", 0) == 0 && box.text.find("(error ") != std::string::npos,
            box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  CHECK(WaitUntil([&] { return Answers(p.window) && Answers(s.main); }, kWait));
  CHECK(IsWindowVisible(p.window) && Lines(p.list).size() == 20u);
}

E2E_SCENARIO(palette_edits_in_place_with_enter_and_esc) {
  RoadSession s;
  const Palette p = OpenPalette(s, {{"Opt", "MacPalX", "0"}});
  const std::string temp = s.temp().path();

  // An edit of SF3 (macro 2) is stored under 2 when another line is selected.
  Select(p, 12);
  CHECK_MSG(TextOf(p.edit).empty() && TextOf(p.label) == "SF3", TextOf(p.label));
  Edit(p, "hello ^2");
  Select(p, 3);
  CHECK(WaitUntil([&] { return Stored(temp, "2") == "hello ^2"; }, kWait));
  CHECK_MSG(Stored(temp, "13") == "<absent>" && Line(p.list, 12) == "SF3 : hello ^2", Line(p.list, 12));
  CHECK_MSG(TextOf(p.edit) == "^4 " && TextOf(p.label) == "F4", TextOf(p.edit));

  // Esc (through the program's own message loop) restores the stored text.
  Edit(p, "not this");
  PostKey(p.edit, VK_ESCAPE);
  CHECK_MSG(WaitUntil([&] { return TextOf(p.edit) == "^4 "; }, kWait), TextOf(p.edit));
  // Enter stores the edit at once.
  Edit(p, "^4 utc");
  PostKey(p.edit, VK_RETURN);
  CHECK(WaitUntil([&] { return Stored(temp, "13") == "^4 utc"; }, kWait));
  CHECK_MSG(Line(p.list, 3) == " F4 : ^4 utc", Line(p.list, 3));
  CHECK(IsWindow(p.window) && IsWindowVisible(p.window) && Answers(s.main));
}

E2E_SCENARIO(palette_previews_and_sends_macros) {
  RoadSession s;
  const Palette p = OpenPalette(s, {{"Call", "MyCall", "DL1ABC"}, {"Macro", "0", "^3 de ^2"}});
  const std::string temp = s.temp().path();
  CHECK(SendMessageA(p.expand, BM_GETCHECK, 0, 0) == BST_CHECKED);  // ticked by default
  // Send with nothing selected only gives the focus back to the typing area.
  Click(p, p.send, IDC_MPAL_COMMAND1);
  Pause(300);
  CHECK(MemoText(s).empty());

  // An edit still in the box is stored before the macro is read and sent.
  Select(p, 18);  // SF9, macro 8
  Edit(p, "^9hi^0");
  Click(p, p.send, IDC_MPAL_COMMAND1);
  CHECK(WaitUntil([&] { return MemoText(s) == "hi"; }, kWait));
  CHECK_MSG(Stored(temp, "8") == "^9hi^0", Stored(temp, "8"));
  HWND focus = nullptr;
  CHECK_MSG(WaitUntil([&] { focus = FocusOfThread(s.main); return GetDlgCtrlID(focus) == IDC_TEXT1 &&
                                                                  GetParent(focus) == s.main; }, kWait),
            "focus on " << ClassOf(focus));
  // The receive code ends the transmission: F5 on the panel after the text.
  CHECK(!WaitJournal(s.psk31Journal, "panel", "WM_KEYDOWN", kWait,
                     [](const JournalEntry& e) { return e.Num(0) == VK_F5; }).event.empty());

  // A double click sends the line under it as well.
  PostMessageA(p.window, WM_COMMAND, MAKEWPARAM(IDC_MPAL_LIST1, LBN_DBLCLK), reinterpret_cast<LPARAM>(p.list));
  CHECK_MSG(WaitUntil([&] { return MemoText(s) == "hihi"; }, kWait), MemoText(s));

  // The preview expands what it can (no partner call yet: its code stays); the edit box
  // always holds the stored text; "Expand" switches the preview off and on.
  CHECK_MSG(Line(p.list, 10) == "SF1 : ^3 de DL1ABC", Line(p.list, 10));
  Select(p, 10);
  CHECK_MSG(TextOf(p.edit) == "^3 de ^2", TextOf(p.edit));
  ClickCheck(p, p.expand, IDC_MPAL_CHECK2, false);
  CHECK(WaitUntil([&] { return ReadSetting(temp, "Opt", "MacPalX") == "0"; }, kWait));
  CHECK_MSG(Line(p.list, 10) == "SF1 : ^3 de ^2", Line(p.list, 10));
  ClickCheck(p, p.expand, IDC_MPAL_CHECK2, true);
  CHECK(WaitUntil([&] { return ReadSetting(temp, "Opt", "MacPalX") == "1"; }, kWait));
  CHECK_MSG(Line(p.list, 10) == "SF1 : ^3 de DL1ABC", Line(p.list, 10));
}

E2E_SCENARIO(palette_auto_shows_at_startup_and_saves_placement) {
  RoadSession s;
  const std::string temp = s.temp().path();
  s.StartStation();
  s.StartQsopad({{"Opt", "MPAL", "1"}, {"Win", "MPX", "1500"}, {"Win", "MPY", "750"}, {"Win", "MPW", "6000"},
                 {"Win", "MPH", "4800"}});
  {
    const Palette p = WaitPalette(s.qsopad.pid);
    const RECT r = WindowRectOf(p.window);
    CHECK_MSG(SameRect(r, RECT{TwipsToPx(1500), TwipsToPx(750), TwipsToPx(1500) + TwipsToPx(6000),
                               TwipsToPx(750) + TwipsToPx(4800)}, 1),
              RectText(r));
    CHECK(SendMessageA(p.auto_show, BM_GETCHECK, 0, 0) == BST_CHECKED);

    // Moved, untick "Auto Show", and closed with the main window.
    SetWindowPos(p.window, nullptr, 200, 120, 330, 260, SWP_NOZORDER | SWP_NOACTIVATE);
    ClickCheck(p, p.auto_show, IDC_MPAL_CHECK1, false);
    const RECT moved = WindowRectOf(p.window);
    PostMessageA(s.main, WM_CLOSE, 0, 0);
    REQUIRE_MSG(s.programs.WaitExit(s.qsopad.pid, 10000), "QSOPAD did not end");
    CHECK_MSG(ReadSetting(temp, "Opt", "MPAL") == "0" && ReadSettingNumber(temp, "Win", "MPX") == PxToTwips(moved.left) &&
                  ReadSettingNumber(temp, "Win", "MPY") == PxToTwips(moved.top) &&
                  ReadSettingNumber(temp, "Win", "MPW") == PxToTwips(moved.right - moved.left) &&
                  ReadSettingNumber(temp, "Win", "MPH") == PxToTwips(moved.bottom - moved.top),
              RectText(moved) << ":\n" << ReadSettingsFile(temp));
  }
  // Next start: not shown; from the menu it comes back where it was left.
  s.RestartQsopad();
  Pause(500);
  HWND hidden = PaletteOf(s.qsopad.pid);
  CHECK_MSG(!hidden || !IsWindowVisible(hidden), "shown although Auto Show is off");
  PostCommand(s.main, IDM_MPAL);
  const Palette p = WaitPalette(s.qsopad.pid);
  const RECT r = WindowRectOf(p.window);
  CHECK_MSG(SameRect(r, RECT{200, 120, 530, 380}, 1), RectText(r));

  // Closing the palette itself saves as well.
  SetWindowPos(p.window, nullptr, 40, 60, 300, 250, SWP_NOZORDER | SWP_NOACTIVATE);
  PostMessageA(p.window, WM_CLOSE, 0, 0);
  CHECK(WaitUntil([&] { return ReadSettingNumber(temp, "Win", "MPX") == PxToTwips(40); }, kWait));
  CHECK(WaitUntil([&] { return !IsWindow(p.window); }, kWait));
  CHECK(Answers(s.main, 3000));
}
