// Helpers for scenarios that drive QSOPAD and the stand-ins from outside: starting and
// ending programs, finding and reading windows, typing, message boxes, the PSK31
// stand-in's journal, temporary folders and files. Strings are ANSI, as the programs see them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace e2e {

// ---- Time ----

// Milliseconds on the performance counter: the clock of the stand-in's journal.
std::int64_t NowMs();
// Polls `done` every pollMs until it holds or timeoutMs has passed; true when it held.
bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs = 15);
void Pause(int ms);

// ---- Paths and files ----

// QSOPAD_BUILD_DIR when set (a Windows path), else two levels above the driver's folder.
std::string BuildDir();
std::string StandinExe(const std::string& name);  // <build>\tests\standins\<name>.exe
std::string QsopadExe();                          // <build>\src\win32\qsopad.exe
std::string JoinPath(const std::string& folder, const std::string& name);

bool FileExists(const std::string& path);
// The file's bytes from byte `from` on, "" when it cannot be read.
std::string ReadFileText(const std::string& path, std::uint64_t from = 0);
// Replaces the file with exactly these bytes.
bool WriteFileText(const std::string& path, const std::string& bytes);

// A fresh folder under the Wine prefix's temporary folder, removed with its contents at
// scope end. Declare it before the Programs guard so that programs end before it goes.
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

// Environment changes: a name with value "" is removed, any other is set.
using EnvList = std::vector<std::pair<std::string, std::string>>;

struct StartOptions {
  std::string exe;
  EnvList env;
  std::string dir;   // working folder; "" keeps the driver's
  std::string args;  // the command line after the (quoted) program name
};

// Scoped guard: every program started through it, and every program those started, is
// terminated when the guard ends (or at KillAll).
class Programs {
 public:
  Programs() = default;
  Programs(const Programs&) = delete;
  Programs& operator=(const Programs&) = delete;
  ~Programs();

  // Starts the program and returns its process id; throws std::runtime_error with the
  // system error number and text on failure. Error 1359 is retried once.
  DWORD Start(const StartOptions& options);
  bool WaitExit(DWORD pid, int timeoutMs) const;
  // Exit code of an ended program; STILL_ACTIVE while it runs.
  DWORD ExitCode(DWORD pid) const;
  void KillAll();

 private:
  struct Entry {
    DWORD pid;
    HANDLE process;
  };
  HANDLE HandleOf(DWORD pid) const;
  std::vector<Entry> started_;
};

bool ProcessAlive(DWORD pid);
// Terminates the process and all its descendants and waits (briefly) for them to end.
void KillTree(DWORD pid);

// ---- Windows ----

// The first child of this class and caption (nullptr matches any); null for a null parent.
HWND FindChild(HWND parent, const char* cls, const char* caption);
// Visible and hidden top-level windows belonging to the process.
std::vector<HWND> TopWindowsOf(DWORD pid);
std::string ClassOf(HWND hwnd);
DWORD ProcessOf(HWND hwnd);
// WM_GETTEXT with a time limit, so that a hung program does not hang the driver.
std::string TextOf(HWND hwnd, int timeoutMs = 1000);
// Whether the window's thread answers a WM_NULL within timeoutMs.
bool Answers(HWND hwnd, int timeoutMs = 200);

// Key input queued as a driving program posts it: WM_KEYDOWN then WM_KEYUP, lParam 0.
void PostKey(HWND hwnd, int vk);
void PostCommand(HWND hwnd, int id);  // WM_COMMAND as a menu item or accelerator sends it

// Saves what the screen shows of the window's client area as a 24-bit BMP file. False when it could not be read or written.
bool SaveWindowImage(HWND hwnd, const std::string& path);

// ---- Message boxes ("#32770" dialogs) ----

struct MessageBoxInfo {
  HWND hwnd = nullptr;
  std::string title;
  std::string text;
};
// A visible dialog with this title; pid 0 means any process.
HWND FindMessageBox(const std::string& title, DWORD pid = 0);
// hwnd stays null when none appeared in time.
MessageBoxInfo WaitMessageBox(const std::string& title, int timeoutMs, DWORD pid = 0);
// The message: the first non-empty "Static" child's text (the icon is an empty static).
std::string MessageBoxText(HWND box);
// Presses a button (IDOK, IDCANCEL, IDYES ...) by posting the dialog its WM_COMMAND.
void PressButton(HWND box, int id = IDOK);
// Waits for the box to close after pressing; true when it did.
bool PressAndWaitClosed(HWND box, int id, int timeoutMs);
// A file dialog of the common dialogs with this title: puts the full name into its file
// name box and presses OK. False when none came in time or it did not close.
bool PickFile(const std::string& title, const std::string& path, DWORD pid, int timeoutMs);

// ---- The PSK31 stand-in's journal ----

struct JournalEntry {
  std::int64_t ms = 0;
  std::string role;
  std::string event;
  std::vector<std::string> args;
  std::string line;

  std::string Arg(size_t i) const { return i < args.size() ? args[i] : std::string(); }
  // The argument as a number, -1 when it is missing or not a number.
  long long Num(size_t i) const;
};
using Journal = std::vector<JournalEntry>;

// Whole lines of the journal file; a line still being written is left out.
Journal ReadJournal(const std::string& path);
// Entries with this role and event; "" matches any.
Journal Select(const Journal& journal, const std::string& role, const std::string& event);
size_t Count(const Journal& journal, const std::string& role, const std::string& event);
// The first entry with this role and event at index >= from, or -1.
int IndexOf(const Journal& journal, const std::string& role, const std::string& event, size_t from = 0);
// Waits until the journal holds an entry with this role and event for which `match`
// (when given) holds; returns that entry, or one with an empty event on timeout.
JournalEntry WaitJournal(const std::string& path, const std::string& role, const std::string& event,
                         int timeoutMs, const std::function<bool(const JournalEntry&)>& match = {});
// The bytes of the WM_CHAR entries to `role` (memo, rxbox ...), in order.
std::string CharsTo(const Journal& journal, const std::string& role);
// The journal as text, for failure messages.
std::string Dump(const Journal& journal);

// ---- The PSK31 stand-in's windows, found the way a driving program finds them ----

struct Psk31Windows {
  HWND app = nullptr;
  HWND form = nullptr;
  HWND panel = nullptr;
  HWND tune = nullptr;
  HWND memo = nullptr;
  HWND rxBox = nullptr;
};
Psk31Windows FindPsk31();

// Starts the stand-in with the journal at journalPath (none when "") and waits for its
// form; returns the process id. Throws std::runtime_error when the form does not appear.
DWORD StartPsk31(Programs& programs, const std::string& journalPath, const EnvList& extra = {});

}  // namespace e2e
