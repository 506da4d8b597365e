// The end-to-end toolkit: every scenario drives QSOPAD and the stand-ins from outside with these helpers (programs,
// windows, keys, waits, files, journals, the settings file) and, where scenarios are alike, as rows of steps read by
// one runner. Strings are ANSI, as the programs see them. Every wait ends at kWaitMs: a hang fails instead of blocking.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "options/settings_store.h"
#include "resource.h"
#include "shared/standin.h"

// A scenario registers itself under its name. CHECK failures are collected and the scenario goes on, REQUIRE ends it.
#define E2E_REGISTER(kind, name)                                          \
  static void scenario_##name();                                          \
  static ::e2e::Registrar registrar_##name(kind, #name, &scenario_##name); \
  static void scenario_##name()
#define E2E_SCENARIO(name) E2E_REGISTER(::e2e::Kind::kTest, name)
#define E2E_BENCHMARK(name) E2E_REGISTER(::e2e::Kind::kBenchmark, name)
#define E2E_SCREENS(name) E2E_REGISTER(::e2e::Kind::kScreens, name)
#define E2E_CHILD(name) E2E_REGISTER(::e2e::Kind::kChild, name)
#define E2E_MSG(expr_text, extra) (std::ostringstream() << expr_text << extra).str()
#define CHECK_MSG(cond, msg) \
  do { if (!(cond)) ::e2e::Fail(__FILE__, __LINE__, E2E_MSG(#cond ": ", msg)); } while (0)
#define CHECK(cond) CHECK_MSG(cond, "")
#define REQUIRE_MSG(cond, msg) \
  do { if (!(cond)) ::e2e::FailAndEnd(__FILE__, __LINE__, E2E_MSG(#cond ": ", msg)); } while (0)
#define REQUIRE(cond) REQUIRE_MSG(cond, "")

namespace e2e {

// ---- Scenarios ----

// Tests; measurements for bench/e2e_timings.sh ("--bench NAME", printing "RESULT <figure> <value>"); the
// manual's screenshots ("--screens NAME"); helper processes that a scenario starts from the driver itself
// ("--child NAME ARGS...", the arguments in ChildArgs(), an exception its failure).
enum class Kind { kTest, kBenchmark, kScreens, kChild };
struct Scenario { const char* name; std::function<void()> body; };
std::vector<Scenario>& Registry(Kind kind);
struct Registrar {
  Registrar(Kind kind, const char* name, std::function<void()> body) { Registry(kind).push_back({name, body}); }
};
const std::vector<std::string>& ChildArgs();
struct Abort {};  // thrown by FailAndEnd
void Fail(const char* file, int line, const std::string& what);
[[noreturn]] void FailAndEnd(const char* file, int line, const std::string& what);  // ends the row or scenario
void Log(const std::string& what);  // a progress line with a timestamp

// ---- Time, paths and files ----

// The one time limit of a wait: generous for a loaded machine; a wait that holds returns at once.
inline constexpr int kWaitMs = 10000;
using standin::NowMs;  // the clock of the stand-ins' journals
bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs, int pollMs = 15);
std::string BuildDir();  // QSOPAD_BUILD_DIR, else two levels above the driver's folder
std::string QsopadExe();
std::string JoinPath(const std::string& folder, const std::string& name);
bool FileExists(const std::string& path);
std::string ReadFileText(const std::string& path, std::uint64_t from = 0);  // from byte `from`; "" when unreadable
bool WriteFileText(const std::string& path, const std::string& bytes);
std::vector<std::string> FolderNames(const std::string& folder);  // what the folder holds
void RemoveTree(const std::string& path);  // a file or a folder with its contents
std::string Visible(const std::string& bytes);  // control and non-ASCII bytes as <n>, for failure messages

// A fresh folder in the temporary folder, removed with its contents at scope end.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "e2e");
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder();
  const std::string& path() const { return path_; }
  std::string File(const std::string& name) const { return JoinPath(path_, name); }

 private:
  std::string path_;
};

// ---- Processes ----

using EnvList = std::vector<std::pair<std::string, std::string>>;  // "" removes a variable
struct StartOptions {
  std::string exe;
  EnvList env = {};
  std::string dir = {};   // working folder; "" keeps the driver's
  std::string args = {};  // after the quoted program name
  std::string output = {};  // a file for its standard output and error; "" keeps the driver's
};
// Every program started through it, and every program those started, ends with it.
class Programs {
 public:
  Programs() = default;
  Programs(const Programs&) = delete;
  Programs& operator=(const Programs&) = delete;
  ~Programs() { KillAll(); }
  // Throws std::runtime_error naming the system error; error 1359 is retried once.
  DWORD Start(const StartOptions& options);
  bool WaitExit(DWORD pid, int timeoutMs = kWaitMs) const;
  DWORD ExitCode(DWORD pid) const;  // STILL_ACTIVE while it runs
  HANDLE Handle(DWORD pid) const;
  void KillAll();

 private:
  std::vector<std::pair<DWORD, HANDLE>> started_;
};
void KillTree(DWORD pid);

// ---- Windows ----

std::string ClassOf(HWND hwnd);
DWORD ProcessOf(HWND hwnd);
std::string TextOf(HWND hwnd);  // WM_GETTEXT with a time limit: a hung program gives ""
bool Answers(HWND hwnd, int timeoutMs = 200);  // the thread answers a WM_NULL
// The process's visible top-level window of this class, REQUIRED.
HWND WaitShown(DWORD pid, const std::string& cls, int timeoutMs = kWaitMs);
HWND FocusOfThread(HWND hwnd);
RECT WindowRectOf(HWND hwnd);
std::string RectText(const RECT& r);  // "left,top widthxheight"
bool SameRect(const RECT& a, const RECT& b, int slack = 1);
// Twips and pixels at the screen's resolution, as the program converts them.
int TwipsToPx(long twips);
long PxToTwips(int px);
void TypeKeys(HWND target, const std::string& text);  // posted: letters, digits, blank, backspace
void PostCommand(HWND hwnd, int id);  // a menu item or accelerator
void ClickButton(HWND button);        // as the button reports a click to its parent
// Real key presses through the X server, the only way to hold Shift, Ctrl or Alt: gives the
// window the X focus, then presses "alt+t o", "shift+F12", "BackSpace" ... REQUIREs success.
void PressKeys(HWND top, const std::string& keys);

// ---- Dialogs ("#32770": message boxes, input boxes, file dialogs) ----

struct MessageBoxInfo { HWND hwnd = nullptr; std::string text; };  // text: the first non-empty static, the message
HWND FindMessageBox(const std::string& title, DWORD pid);
MessageBoxInfo WaitMessageBox(const std::string& title, DWORD pid);
bool PressAndWaitClosed(HWND box, int id);  // the button's click posted
// Types the full name into the file dialog of this title and presses OK.
bool PickFile(const std::string& title, const std::string& path, DWORD pid);

// ---- Journals of the stand-ins: "<ms> <role> <event> [args...]" ----

struct JournalEntry {
  std::int64_t ms = 0;
  std::string role, event, line;
  std::vector<std::string> args;
  std::string Arg(size_t i) const { return i < args.size() ? args[i] : std::string(); }
  long long Num(size_t i) const;  // -1 when missing or not a number
};
using Journal = std::vector<JournalEntry>;
Journal ReadJournal(const std::string& path, size_t fromEntry = 0);  // whole lines only
Journal Select(const Journal& journal, const std::string& role, const std::string& event);
JournalEntry WaitJournal(const std::string& path, const std::string& role, const std::string& event,
                         const std::function<bool(const JournalEntry&)>& match = {});
std::string Dump(const Journal& journal);
// The bytes of the WM_CHAR entries to `role`.
std::string CharsTo(const Journal& journal, const std::string& role);
// The keys and characters that reached `role`: a key sent down and up by its name ("F1",
// "End"), a run of characters in quotes, anything else spelt out ("F2 posted", "up 13").
std::string Trail(const Journal& journal, const std::string& role);
// The announcements the log stand-in heard: " f:<wParam>,<lParam>" each.
std::string Announcements(const Journal& journal);

// ---- The settings file beside a portable copy, read without the program ----

using Setting = qsopad::SettingWrite;  // section, key, value
using Settings = std::vector<Setting>;
// Every "key=value" line of the file's text, in file order, escapes undone.
Settings ParseSettings(const std::string& text);
std::optional<std::string> ReadSetting(const std::string& folder, const std::string& section, const std::string& key);
// The program's own settings file at this (ASCII) path, for setting up; never for checking.
std::unique_ptr<qsopad::StoreFile> StoreFileAt(const std::string& path);

// ---- The PSK31 stand-in's windows, found the way a driving program finds them ----

struct Psk31Windows { HWND app = nullptr, form = nullptr, panel = nullptr, memo = nullptr, rxBox = nullptr; };
Psk31Windows FindPsk31();

// ---- A session: the stand-ins and one QSOPAD in a folder of their own ----

// A window of QSOPAD: the visible top-level window of the class, or its child `id` (a
// dialog of class "#32770" is the one that has such a child).
struct Target { const char* cls; int id; const char* name; };

class Session {
 private:
  TempFolder temp_;  // first: removed after the programs have ended

 public:
  explicit Session(const char* prefix = "session") : temp_(prefix) {}  // not copied: it owns programs and a folder

  std::string File(const std::string& name) const { return temp_.File(name); }
  const std::string& folder() const { return temp_.path(); }
  // The PSK31 stand-in (journal psk31.log) and the log stand-in (qsolog.log, handshake at its start when `pair`).
  void StartStation(const EnvList& extra = {});
  void StartLog(bool pair, const EnvList& extra = {});
  // QSOPAD as a portable copy in the folder (qsopad.exe is copied unless one is there) with these settings; waits for
  // its main window unless told not to. Restart keeps the settings file as it is.
  void StartQsopad(const Settings& settings, bool wait = true);
  void Restart(bool wait = true);
  HWND Find(const Target& target) const;  // null when not shown
  HWND Require(const Target& target) const;
  // The journals since the current row began.
  Journal StationSince() const { return ReadJournal(psk31Journal, stationMark); }
  Journal LogSince() const { return ReadJournal(logJournal, logMark); }
  void Mark();

  Programs programs;
  std::string psk31Journal = File("psk31.log"), logJournal = File("qsolog.log");
  size_t stationMark = 0, logMark = 0;
  DWORD pid = 0;  // QSOPAD's
  std::int64_t startedMs = 0;
  HWND main = nullptr, text1 = nullptr, log = nullptr;
};

// The log stand-in's commands, each answered once its record has reached the partner: code 1 with 300 bytes "ABC..."
// (long), lpData NULL with size 10 (null), code 2 with size 0 (empty); the handshake again (pair).
enum class LogCommand : ULONG_PTR { kLong = 0x52000, kNull = 0x52001, kEmpty = 0x52002, kPair = 0x53000 };
bool LogDo(HWND logWindow, LogCommand command);

// ---- Scenarios as rows of steps ----

// QSOPAD's window classes; "#32770" is a dialog's.
inline constexpr char kForm[] = "QSOPAD_Form1", kMacros[] = "QSOPAD_Macros", kCsf[] = "QSOPAD_CallsignForm",
                      kLu[] = "QSOPAD_LUResult", kLg[] = "QSOPAD_Log", kOpt[] = "QSOPAD_frmOptions", kDlg[] = "#32770";
inline constexpr Target kMain{kForm, 0, "main window"}, kText1{kForm, IDC_TEXT1, "typing area"},
    kSend{kForm, IDC_COMMAND1, "Send"}, kRcv{kForm, IDC_COMMAND2, "Rcv"}, kSerial{kForm, IDC_COMMAND6, "serial number"},
    kOwnCall{kForm, IDC_COMMAND3, "own call button"}, kPartner{kForm, IDC_COMMAND4, "partner button"};
inline constexpr Target kPalette{kMacros, 0, "palette"}, kPaletteList{kMacros, IDC_MPAL_LIST1, "list"},
    kPaletteLabel{kMacros, IDC_MPAL_LABEL1, "label"}, kPaletteEdit{kMacros, IDC_MPAL_TEXT1, "edit box"},
    kPaletteSend{kMacros, IDC_MPAL_COMMAND1, "palette Send"}, kPalettePrint{kMacros, IDC_MPAL_COMMAND2, "Print"},
    kPaletteAuto{kMacros, IDC_MPAL_CHECK1, "Auto Show"}, kPaletteExpand{kMacros, IDC_MPAL_CHECK2, "Expand"};
inline constexpr Target kCallsign{kCsf, 0, "call sign window"}, kCallsignCall{kCsf, IDC_CSF_CALLSIGN, "call sign box"},
    kCallsignName{kCsf, IDC_CSF_NAMEFIELD, "name box"}, kCallsignOk{kCsf, IDOK, "OK"},
    kCallsignCancel{kCsf, IDCANCEL, "Cancel"}, kCallsignLookup{kCsf, IDC_CSF_CHECK1, "Lookup box"},
    kCallsignNow{kCsf, IDC_CSF_COMMAND1, "Lookup Now"}, kCallsignData{kCsf, IDC_CSF_COMMAND2, "Lookup Data"},
    kCallsignMore{kCsf, IDC_CSF_COMMAND3, "More"};
inline constexpr Target kResult{kLu, 0, "result window"}, kResultText{kLu, 100, "result text"},
    kSource{kDlg, IDC_LURL_TEXT1, "lookup source"}, kSourceList{kDlg, IDC_LURL_LIST1, "sources"},
    kDialogOk{kDlg, IDOK, "dialog's OK"}, kDialogCancel{kDlg, IDCANCEL, "dialog's Cancel"};
inline constexpr Target kLogWindow{kLg, 0, "log window"}, kLogList{kLg, IDC_LOG_LIST1, "field list"},
    kLogValue{kLg, IDC_LOG_TEXT1, "value box"}, kLogPreview{kLg, IDC_LOG_LABEL1, "preview"};
inline constexpr Target kOptions{kOpt, 0, "options dialog"}, kOptionsZone{kOpt, IDC_OPT_TZONE, "zone box"},
    kOptionsCall{kOpt, IDC_OPT_CALLSIGN, "own call box"};

// What the operator or a program does, then what must follow: an expectation waits until it holds, so that a later step
// sees its whole effect. Actions, then from kText on expectations: RunStep finds an action's window before it acts.
enum class Op {
  kKeys, kType, kPostKey, kMenu, kClick, kMouse, kSetText, kChoose, kTick, kClose, kAnswer, kBox, kLogSend, kDo,
  kText, kMemo, kTrail, kEvent, kRecords, kStored, kFile, kShown, kFocus, kEnabled, kChecked,
};
struct Step {
  Op op;
  Target at{};
  std::string text = {}, more = {};
  int n = 0;
  std::function<void(Session&)> fn = {};
};
struct Row { std::string name; std::vector<Step> steps; };
// Waits until `got` (read again and again) equals `want` (or matches it as a pattern, "*" standing for any text);
// otherwise fails, naming `what` and the last value read, and ends the row or scenario as REQUIRE does.
void Expect(const std::string& what, const std::function<std::string()>& got, const std::string& want,
            bool pattern = false, int timeoutMs = kWaitMs);
// Runs the rows in order on one session: each row is logged by name, its journals start where it begins, and a row that
// fails is left at its first failing step. Between rows no dialog may be left open.
void RunRows(Session& s, const std::vector<Row>& rows);

inline Row operator+(Row row, const std::vector<Step>& more) {
  row.steps.insert(row.steps.end(), more.begin(), more.end());
  return row;
}

inline Step Keys(const Target& top, std::string keys) { return {Op::kKeys, top, std::move(keys)}; }
inline Step Type(std::string text) { return {Op::kType, kText1, std::move(text)}; }
inline Step PostKeyTo(const Target& at, int vk) { return {Op::kPostKey, at, "", "", vk}; }
inline Step Menu(int id) { return {Op::kMenu, {}, "", "", id}; }
inline Step Click(const Target& button) { return {Op::kClick, button}; }
inline Step RightClick(const Target& button) { return {Op::kMouse, button, "", "", WM_RBUTTONDOWN}; }
inline Step SetText(const Target& at, std::string text) { return {Op::kSetText, at, std::move(text)}; }
inline Step Choose(const Target& list, int line) { return {Op::kChoose, list, "", "", line}; }
inline Step Tick(const Target& box, bool on) { return {Op::kTick, box, "", "", on ? 1 : 0}; }
inline Step Close(const Target& at) { return {Op::kClose, at}; }
// A click into the box gives it the keyboard, as the operator's would.
inline Step ClickInto(const Target& box) { return {Op::kMouse, box, "", "", WM_LBUTTONDOWN}; }
// The input box asking `prompt` gets `answer` and the button.
inline Step Answer(std::string prompt, std::string answer, int button = IDOK) {
  return {Op::kAnswer, {}, std::move(prompt), std::move(answer), button};
}
// A message box of this title whose text matches (a "*" stands for any text) gets the button.
inline Step Box(std::string title, std::string text, int button = IDOK) {
  return {Op::kBox, {}, std::move(title), std::move(text), button};
}
inline Step LogSends(unsigned code, std::string text) { return {Op::kLogSend, {}, std::move(text), "", static_cast<int>(code)}; }
inline Step Do(std::function<void(Session&)> fn) { return {Op::kDo, {}, "", "", 0, std::move(fn)}; }
// Expectations keep what they want in `more`.
inline Step Text(const Target& at, std::string text) { return {Op::kText, at, "", std::move(text)}; }
inline Step TextLike(const Target& at, std::string pattern) { return {Op::kText, at, "", std::move(pattern), 1}; }
inline Step Memo(std::string bytes) { return {Op::kMemo, {}, "the station's memo", std::move(bytes)}; }
inline Step Station(std::string role, std::string trail) { return {Op::kTrail, {}, std::move(role), std::move(trail)}; }
// The station's journal has had `count` entries of this role and event since the row began.
inline Step Logged(const std::string& role, const std::string& event, int count = 1) {
  return {Op::kEvent, {}, role + " " + event, std::to_string(count)};
}
inline Step LogGot(std::string records) { return {Op::kRecords, {}, "the log program's records", std::move(records)}; }
// "Section/Key" holds the value; "<absent>" for none.
inline Step Stored(std::string key, std::string value) { return {Op::kStored, {}, std::move(key), std::move(value)}; }
inline Step FileHolds(std::string path, std::string bytes) { return {Op::kFile, {}, std::move(path), std::move(bytes)}; }
inline Step IsShown(const Target& at) { return {Op::kShown, at, "", "shown"}; }
inline Step IsGone(const Target& at) { return {Op::kShown, at, "", "not shown"}; }
inline Step HasFocus(const Target& at) { return {Op::kFocus, at, "", "focused"}; }
inline Step IsEnabled(const Target& at, bool on) { return {Op::kEnabled, at, "", on ? "enabled" : "disabled"}; }
inline Step IsChecked(const Target& at, bool on) { return {Op::kChecked, at, "", on ? "ticked" : "clear"}; }
bool Matches(const std::string& text, const std::string& pattern);

}  // namespace e2e
