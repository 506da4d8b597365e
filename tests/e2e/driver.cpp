// The end-to-end toolkit, in the order of driver.h, and the driver's entry: "--list" names the scenarios, a name runs
// one, "--bench NAME" a measurement, "--screens SET" the manual's screenshots, "--child NAME ARGS" a helper process.
#include "driver.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "win32_store_file.h"

namespace e2e {

namespace {

int failures = 0;
std::string currentRow;  // named in the failures of Expect
const auto started = std::chrono::steady_clock::now();

std::string SystemError(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  while (n > 0 && std::isspace(static_cast<unsigned char>(buffer[n - 1]))) --n;
  return "error " + std::to_string(code) + ": " + std::string(buffer, n);
}

// Applies the changes to the driver's environment, which a program started next inherits; returns what they replaced.
EnvList SwapEnvironment(const EnvList& changes) {
  EnvList previous;
  for (const auto& [name, value] : changes) {
    char old[4096];
    const DWORD n = GetEnvironmentVariableA(name.c_str(), old, sizeof old);
    previous.emplace_back(name, n > 0 && n < sizeof old ? std::string(old, n) : std::string());
    SetEnvironmentVariableA(name.c_str(), value.empty() ? nullptr : value.c_str());
  }
  return previous;
}

}  // namespace

std::vector<Scenario>& Registry(Kind kind) {
  static std::vector<Scenario> lists[4];
  return lists[static_cast<int>(kind)];
}

std::vector<std::string> childArgs;
const std::vector<std::string>& ChildArgs() { return childArgs; }

void Fail(const char* file, int line, const std::string& what) {
  ++failures;
  std::printf("FAIL %s:%d: %s\n", file, line, what.c_str());
  std::fflush(stdout);
}

void FailAndEnd(const char* file, int line, const std::string& what) {
  Fail(file, line, what);
  throw Abort{};
}

void Log(const std::string& what) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started);
  std::printf("[%6lld ms] %s\n", static_cast<long long>(ms.count()), what.c_str());
  std::fflush(stdout);
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs) {
  const std::int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (NowMs() >= deadline) return false;
    Sleep(static_cast<DWORD>(pollMs));
  }
}

std::string BuildDir() {
  char value[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("QSOPAD_BUILD_DIR", value, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::string(value, n);
  n = GetModuleFileNameA(nullptr, value, MAX_PATH);
  std::string dir(value, n);
  for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.find_last_of("\\/"));  // e2e, tests, build
  return dir;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '\\' || folder.back() == '/' ? folder + name : folder + "\\" + name;
}

std::string QsopadExe() { return JoinPath(BuildDir(), "src\\win32\\qsopad.exe"); }

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileText(const std::string& path, std::uint64_t from) {
  // Shared access: the file may be open for writing in the program under test.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  SetFilePointerEx(file, LARGE_INTEGER{.QuadPart = static_cast<LONGLONG>(from)}, nullptr, FILE_BEGIN);
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool WriteFileText(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                                              nullptr) && written == bytes.size());
  return CloseHandle(file) && ok;
}

std::vector<std::string> FolderNames(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAA found{};
  HANDLE find = FindFirstFileA(JoinPath(folder, "*").c_str(), &found);
  for (BOOL more = find != INVALID_HANDLE_VALUE; more; more = FindNextFileA(find, &found))
    if (const std::string name = found.cFileName; name != "." && name != "..") names.push_back(name);
  if (find != INVALID_HANDLE_VALUE) FindClose(find);
  return names;
}

std::string Visible(const std::string& bytes) {
  std::string out;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 32 && b < 127) out += c;
    else out.append("<").append(std::to_string(b)).append(">");  // not "<" + ...: GCC 12 warns falsely on it
  }
  return out;
}

TempFolder::TempFolder(const std::string& prefix) {
  char temp[MAX_PATH] = {}, name[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  // A name the system makes unique (as an empty file), taken over by a folder.
  if (!GetTempFileNameA(temp, prefix.c_str(), 0, name) || !DeleteFileA(name) || !CreateDirectoryA(name, nullptr))
    throw std::runtime_error("cannot create a folder in " + std::string(temp) + ": " + SystemError(GetLastError()));
  path_ = name;
}

void RemoveTree(const std::string& path) {
  const std::string from = path + '\0';  // a list of names, ended by two NULs
  SHFILEOPSTRUCTA op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationA(&op);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

DWORD Programs::Start(const StartOptions& options) {
  const std::string command = "\"" + options.exe + "\"" + (options.args.empty() ? "" : " " + options.args);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = options.output.empty() ? INVALID_HANDLE_VALUE
                                      : CreateFileA(options.output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                                    CREATE_ALWAYS, 0, nullptr);
  if (out != INVALID_HANDLE_VALUE) {
    si.dwFlags |= STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = out;
  }
  DWORD error = 0;
  const EnvList previous = SwapEnvironment(options.env);
  // Starting a program right after another ended now and then fails with 1359 under Wine.
  for (int attempt = 0; attempt < 2 && !pi.hProcess && (attempt == 0 || error == ERROR_INTERNAL_ERROR); ++attempt) {
    if (attempt > 0) Sleep(200);
    std::string line = command;  // CreateProcessA may write into it
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, out != INVALID_HANDLE_VALUE, 0, nullptr,
                        options.dir.empty() ? nullptr : options.dir.c_str(), &si, &pi))
      error = GetLastError();
  }
  SwapEnvironment(previous);
  if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
  if (!pi.hProcess) throw std::runtime_error("cannot start " + options.exe + ": " + SystemError(error));
  CloseHandle(pi.hThread);
  started_.emplace_back(pi.dwProcessId, pi.hProcess);
  return pi.dwProcessId;
}

HANDLE Programs::Handle(DWORD pid) const {
  for (const auto& [id, process] : started_)
    if (id == pid) return process;
  return nullptr;
}

bool Programs::WaitExit(DWORD pid, int timeoutMs) const {
  return Handle(pid) && WaitForSingleObject(Handle(pid), static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

DWORD Programs::ExitCode(DWORD pid) const {
  DWORD code = STILL_ACTIVE;
  return Handle(pid) && GetExitCodeProcess(Handle(pid), &code) ? code : STILL_ACTIVE;
}

void Programs::KillAll() {
  // Newest first: a program started later may depend on an earlier one.
  for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
    if (WaitForSingleObject(it->second, 0) == WAIT_TIMEOUT) KillTree(it->first);
    CloseHandle(it->second);
  }
  started_.clear();
}

void KillTree(DWORD root) {
  // The whole tree is listed before anything ends, while the parent links still hold.
  std::vector<std::pair<DWORD, DWORD>> links;  // (pid, parent)
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL ok = snap != INVALID_HANDLE_VALUE && Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
    links.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
  if (snap != INVALID_HANDLE_VALUE) CloseHandle(snap);
  std::vector<DWORD> tree{root};
  for (size_t i = 0; i < tree.size(); ++i)
    for (const auto& [pid, parent] : links)
      if (parent == tree[i] && std::find(tree.begin(), tree.end(), pid) == tree.end()) tree.push_back(pid);
  std::vector<HANDLE> ending;
  for (DWORD member : tree)
    if (HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, member)) {
      TerminateProcess(process, 1);
      ending.push_back(process);
    }
  for (HANDLE process : ending) {
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  const int n = GetClassNameA(hwnd, name, sizeof name);
  return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

std::string TextOf(HWND hwnd) {
  DWORD_PTR length = 0, got = 0;
  if (!hwnd || !SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 1000, &length))
    return std::string();
  std::string text(length + 1, '\0');
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           1000, &got))
    return std::string();
  text.resize(std::min<size_t>(got, length));
  return text;
}

bool Answers(HWND hwnd, int timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(timeoutMs), &result) != 0;
}

// The process's visible top-level windows of the class, in z-order.
static std::vector<HWND> ShownAll(DWORD pid, const std::string& cls) {
  std::pair<DWORD, std::vector<HWND>> search{pid, {}};
  EnumWindows([](HWND hwnd, LPARAM lp) -> BOOL {
    auto* s = reinterpret_cast<std::pair<DWORD, std::vector<HWND>>*>(lp);
    if (ProcessOf(hwnd) == s->first) s->second.push_back(hwnd);
    return TRUE;
  }, reinterpret_cast<LPARAM>(&search));
  std::erase_if(search.second, [&](HWND w) { return ClassOf(w) != cls || !IsWindowVisible(w); });
  return search.second;
}

// The first of them, or the first one's child `id` that it has.
static HWND Shown(DWORD pid, const std::string& cls, int id = 0) {
  for (HWND w : ShownAll(pid, cls))
    if (HWND found = id == 0 ? w : GetDlgItem(w, id)) return found;
  return nullptr;
}

// Shown(), waited for and REQUIRED; the failure names `what`.
static HWND WaitFor(DWORD pid, const std::string& cls, int id, const std::string& what, int timeoutMs = kWaitMs) {
  HWND w = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (w = Shown(pid, cls, id)) != nullptr; }, timeoutMs), "no " << what << " shown");
  return w;
}

HWND WaitShown(DWORD pid, const std::string& cls, int timeoutMs) {
  return WaitFor(pid, cls, 0, "visible window of class " + cls, timeoutMs);
}

HWND FocusOfThread(HWND hwnd) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info) ? info.hwndFocus : nullptr;
}

RECT WindowRectOf(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

std::string RectText(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

bool SameRect(const RECT& a, const RECT& b, int slack) {
  auto within = [slack](LONG x, LONG y) { return x - y <= slack && y - x <= slack; };
  return within(a.left, b.left) && within(a.top, b.top) && within(a.right, b.right) && within(a.bottom, b.bottom);
}

static int ScreenDpi() {
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSX) : 0;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : 96;
}

int TwipsToPx(long twips) { return MulDiv(static_cast<int>(twips), ScreenDpi(), 1440); }
long PxToTwips(int px) { return MulDiv(px, 1440, ScreenDpi()); }

static void PostKey(HWND hwnd, int vk) {
  PostMessageA(hwnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
  PostMessageA(hwnd, WM_KEYUP, static_cast<WPARAM>(vk), 0);
}

void TypeKeys(HWND target, const std::string& text) {
  for (const char c : text) {
    const bool letter = c >= 'a' && c <= 'z';  // a letter's key code is its capital; ' ' and '\b' are their own
    if (!letter && !(c >= '0' && c <= '9') && c != ' ' && c != '\b')
      throw std::invalid_argument("TypeKeys cannot type byte " + std::to_string(static_cast<unsigned char>(c)));
    PostKey(target, letter ? c - 'a' + 'A' : c);
  }
}

void PostCommand(HWND hwnd, int id) { PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

void ClickButton(HWND button) {
  PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

// xdotool is a Linux program, which Wine starts from its Unix path but without a process
// handle to wait on or its output on our pipes: /bin/sh writes xdotool's output and status
// to files under /tmp (drive Z:), and the status file's arrival ends the wait.
void PressKeys(HWND top, const std::string& keys) {
  // Set by Wine's X11 driver on each top-level window it maps.
  const auto window = reinterpret_cast<ULONG_PTR>(GetPropA(top, "__wine_x11_whole_window"));
  REQUIRE_MSG(window != 0, "pressing " << keys << ": the window has no X window");
  // Two runs side by side (on their own displays, with their own Wine servers) can have the
  // same process ids: the display number keeps their file names apart.
  static int calls = 0;
  char display[32] = "";
  GetEnvironmentVariableA("DISPLAY", display, sizeof display);
  const std::string base = "/tmp/qsopad-xkeys-" + std::string(display + (display[0] == ':')) + "-" +
                           std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++calls);
  std::string command = "Z:\\bin\\sh -c \"timeout 10 xdotool windowfocus --sync " + std::to_string(window) +
                        " key --delay 40 " + keys + " >" + base + ".out 2>&1; echo $? >" + base + ".tmp; mv " +
                        base + ".tmp " + base + ".rc\"";
  // Wine hands X key events to the focus of its own foreground window, not always the X window that has the focus.
  SetForegroundWindow(top);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  REQUIRE_MSG(CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr,
                             &si, &pi),
              "pressing " << keys << ": cannot start /bin/sh: " << SystemError(GetLastError()));
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  std::string dosBase = "Z:" + base;
  std::replace(dosBase.begin(), dosBase.end(), '/', '\\');
  const std::string rcFile = dosBase + ".rc", outFile = dosBase + ".out";
  REQUIRE_MSG(WaitUntil([&] { return FileExists(rcFile); }, kWaitMs, 10), "pressing " << keys << ": no end of xdotool");
  const std::string rc = ReadFileText(rcFile), out = ReadFileText(outFile);
  for (const std::string& file : {rcFile, outFile}) DeleteFileA(file.c_str());
  REQUIRE_MSG(rc == "0\n", "pressing " << keys << ": xdotool exit status " << rc << ": " << out);
}

HWND FindMessageBox(const std::string& title, DWORD pid) {
  for (HWND box = FindWindowExA(nullptr, nullptr, kDlg, title.c_str()); box;
       box = FindWindowExA(nullptr, box, kDlg, title.c_str()))
    if (IsWindowVisible(box) && ProcessOf(box) == pid) return box;
  return nullptr;
}

MessageBoxInfo WaitMessageBox(const std::string& title, DWORD pid) {
  MessageBoxInfo info;
  if (!WaitUntil([&] { return (info.hwnd = FindMessageBox(title, pid)) != nullptr; })) return info;
  // The message is the first non-empty static (the icon is an empty one), filled a moment after the box shows.
  WaitUntil([&] {
    for (HWND s = FindWindowExA(info.hwnd, nullptr, "Static", nullptr); s && info.text.empty();
         s = FindWindowExA(info.hwnd, s, "Static", nullptr))
      info.text = TextOf(s);
    return !info.text.empty();
  }, 1000);
  return info;
}

bool PressAndWaitClosed(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
  return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); });
}

bool PickFile(const std::string& title, const std::string& path, DWORD pid) {
  HWND dialog = nullptr;
  if (!WaitUntil([&] { return (dialog = FindMessageBox(title, pid)) != nullptr; })) return false;
  // The file name box: a combo box in the Explorer-style dialog, which a program without a hook gets.
  HWND name = GetDlgItem(dialog, 0x47c);
  if (!name) return false;
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  return PressAndWaitClosed(dialog, IDOK);
}

long long JournalEntry::Num(size_t i) const {
  const std::string a = Arg(i);
  if (a.empty() || a.size() > 18 || a.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(a);
}

Journal ReadJournal(const std::string& path, size_t fromEntry) {
  Journal journal;
  std::istringstream text(ReadFileText(path));
  size_t index = 0;
  for (std::string line; std::getline(text, line);) {
    if (text.eof()) break;  // a line still being written is read next time
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    JournalEntry entry;
    entry.line = line;
    if (!(words >> entry.ms >> entry.role >> entry.event) || index++ < fromEntry) continue;
    for (std::string arg; words >> arg;) entry.args.push_back(arg);
    journal.push_back(std::move(entry));
  }
  return journal;
}

Journal Select(const Journal& journal, const std::string& role, const std::string& event) {
  Journal picked;
  for (const auto& e : journal)
    if ((role.empty() || e.role == role) && (event.empty() || e.event == event)) picked.push_back(e);
  return picked;
}

JournalEntry WaitJournal(const std::string& path, const std::string& role, const std::string& event,
                         const std::function<bool(const JournalEntry&)>& match) {
  JournalEntry hit;
  WaitUntil([&] {
    for (const auto& e : Select(ReadJournal(path), role, event))
      if (!match || match(e)) return hit = e, true;
    return false;
  });
  return hit;
}

std::string Dump(const Journal& journal) {
  std::string text;
  for (const auto& e : journal) text += "\n  " + e.line;
  return text;
}

std::string CharsTo(const Journal& journal, const std::string& role) {
  std::string bytes;
  for (const auto& e : Select(journal, role, "WM_CHAR"))
    if (e.Num(0) >= 0 && e.Num(0) < 256) bytes.push_back(static_cast<char>(e.Num(0)));
  return bytes;
}

std::string Trail(const Journal& journal, const std::string& role) {
  static const std::pair<int, const char*> kNames[] = {{VK_RETURN, "Return"}, {VK_END, "End"}, {VK_LEFT, "Left"},
                                                       {VK_RIGHT, "Right"}, {VK_UP, "Up"},    {VK_DOWN, "Down"}};
  auto name = [](long long vk) {
    if (vk >= VK_F1 && vk <= VK_F12) return "F" + std::to_string(vk - VK_F1 + 1);
    for (const auto& [code, text] : kNames)
      if (code == vk) return std::string(text);
    return std::to_string(vk);
  };
  std::string out, run;  // run: characters sent one after the other
  auto add = [&](const std::string& word) {
    if (!run.empty()) out.append(out.empty() ? "'" : " '").append(run).append("'");
    run.clear();
    if (!word.empty()) out += (out.empty() ? "" : " ") + word;
  };
  const Journal keys = Select(journal, role, "");
  for (size_t i = 0; i < keys.size(); ++i) {
    const JournalEntry& e = keys[i];
    const std::string how = e.Arg(1) == "sent" ? "" : std::string(" ").append(e.Arg(1));
    if (e.event == "WM_CHAR" && how.empty()) {
      run += static_cast<char>(e.Num(0));
    } else if (e.event == "WM_CHAR") {
      add("char " + e.Arg(0) + how);
    } else if (e.event == "WM_KEYDOWN" && i + 1 < keys.size() && keys[i + 1].event == "WM_KEYUP" &&
               keys[i + 1].Arg(0) == e.Arg(0) && keys[i + 1].Arg(1) == e.Arg(1)) {
      add(name(e.Num(0)) + how);
      ++i;
    } else if (e.event == "WM_KEYDOWN" || e.event == "WM_KEYUP") {
      add((e.event == "WM_KEYDOWN" ? "down " : "up ") + name(e.Num(0)) + how);
    }
  }
  add("");
  return out;
}

static std::string Records(const Journal& journal) {
  std::string out;
  for (const auto& e : Select(journal, "log", "RECORD")) {
    out.append(" ").append(e.Arg(0)).append(":");
    const std::string word = e.Arg(3);  // the bytes, "%XX" for those below 33 or above 126 and "%"
    for (size_t i = 0; i < word.size(); ++i)
      out += word[i] == '%' ? static_cast<char>(std::stoi(word.substr((i += 2) - 1, 2), nullptr, 16)) : word[i];
  }
  return out;
}

std::string Announcements(const Journal& journal) {
  std::string out;
  for (const auto& e : Select(journal, "log", "FUNC")) out += " f:" + e.Arg(0) + "," + e.Arg(1);
  return out;
}

Settings ParseSettings(const std::string& text) {
  auto trim = [](std::string t) {
    t.erase(0, t.find_first_not_of(' '));
    t.erase(t.find_last_not_of(' ') + 1);
    return t;
  };
  auto unescape = [](const std::string& raw) {
    std::string value;
    for (size_t i = 0; i < raw.size(); ++i) {
      const bool escaped = raw[i] == '\\' && i + 1 < raw.size();
      const char c = escaped ? raw[++i] : raw[i];
      value += !escaped ? c : c == 'r' ? '\r' : c == 'n' ? '\n' : c == 't' ? '\t' : c == 's' ? ' ' : c == '0' ? 0 : c;
    }
    return value;
  };
  Settings settings;
  std::istringstream file(text);
  std::string section;
  for (std::string line; std::getline(file, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    line = trim(line);
    const size_t eq = line.find('=');
    if (!line.empty() && line.front() == '[' && line.back() == ']') section = trim(line.substr(1, line.size() - 2));
    else if (eq != std::string::npos && line.front() != ';')
      settings.push_back({section, unescape(trim(line.substr(0, eq))), unescape(trim(line.substr(eq + 1)))});
  }
  return settings;
}

std::optional<std::string> ReadSetting(const std::string& folder, const std::string& section, const std::string& key) {
  for (const Setting& s : ParseSettings(ReadFileText(JoinPath(folder, "QSOPAD.ini"))))
    if (!lstrcmpiA(s.section.c_str(), section.c_str()) && !lstrcmpiA(s.key.c_str(), key.c_str())) return s.value;
  return std::nullopt;
}

Psk31Windows FindPsk31() {
  Psk31Windows w;
  w.app = FindWindowA("TApplication", "PSK31 for Windows on the Soundcard");
  w.form = FindWindowA("TForm1", "PSK31 SB [BPSK]");
  if (!w.form) w.form = FindWindowA("TForm1", "PSK31 SB [QPSK]");
  w.panel = w.form ? FindWindowExA(w.form, nullptr, "TPanel", nullptr) : nullptr;
  w.memo = w.panel ? FindWindowExA(w.panel, nullptr, "TMemo", nullptr) : nullptr;
  HWND group = w.panel ? FindWindowExA(w.panel, nullptr, "TGroupBox", "Rx Freq Hz") : nullptr;
  w.rxBox = group ? FindWindowExA(group, nullptr, "TEdit", nullptr) : nullptr;
  return w;
}

static bool LogCommandTo(HWND logWindow, ULONG_PTR what, const std::string& bytes) {
  char* data = bytes.empty() ? nullptr : const_cast<char*>(bytes.data());
  COPYDATASTRUCT command{what, static_cast<DWORD>(bytes.size()), data};
  DWORD_PTR result = 0;
  // Not SMTO_BLOCK: a record to a partner window of this thread is delivered while we wait.
  return SendMessageTimeoutA(logWindow, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&command),
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, kWaitMs, &result) && result == 1;
}

bool LogDo(HWND logWindow, LogCommand command) { return LogCommandTo(logWindow, static_cast<ULONG_PTR>(command), ""); }

std::unique_ptr<qsopad::StoreFile> StoreFileAt(const std::string& path) {
  return std::make_unique<qsopad::Win32StoreFile>(std::wstring(path.begin(), path.end()));  // ASCII
}

void Session::StartStation(const EnvList& extra) {
  StartOptions options{JoinPath(BuildDir(), "tests\\standins\\psk31sbw.exe"), {{"PSK31_JOURNAL", psk31Journal}}};
  options.env.insert(options.env.end(), extra.begin(), extra.end());
  WaitShown(programs.Start(options), "TForm1");
}

void Session::StartLog(bool pair, const EnvList& extra) {
  StartOptions options{JoinPath(BuildDir(), "tests\\standins\\qsolog.exe"),
                       {{"QSOLOG_JOURNAL", logJournal}, {"QSOLOG_NO_PAIR", pair ? "" : "1"}}};
  options.env.insert(options.env.end(), extra.begin(), extra.end());
  log = WaitShown(programs.Start(options), "QSOLOG_Standin");
  if (pair)
    REQUIRE_MSG(!WaitJournal(logJournal, "log", "PAIRED").event.empty(), "no pairing" << Dump(ReadJournal(logJournal)));
}

void Session::StartQsopad(const Settings& settings, bool wait) {
  const std::string exe = File("qsopad.exe");
  if (!FileExists(exe) && !CopyFileA(QsopadExe().c_str(), exe.c_str(), FALSE))
    throw std::runtime_error("cannot copy " + QsopadExe() + ": " + SystemError(GetLastError()));
  // Through the program's own store (the checks read with the toolkit's), into a file that makes this a portable copy
  // even with no settings.
  const std::string ini = File("QSOPAD.ini");
  if (!WriteFileText(ini, "")) throw std::runtime_error("cannot write " + ini);
  qsopad::SettingsStore(StoreFileAt(ini)).WriteSettings(settings);
  Restart(wait);
}

void Session::Restart(bool wait) {
  startedMs = NowMs();
  // A PSK31 program that QSOPAD launches inherits the journal's name.
  pid = programs.Start({File("qsopad.exe"), {{"PSK31_JOURNAL", psk31Journal}}, folder()});
  if (!wait) return;
  main = WaitShown(pid, kForm, 2 * kWaitMs);  // a start under Wine on a busy machine
  text1 = GetDlgItem(main, IDC_TEXT1);
}

HWND Session::Find(const Target& target) const { return Shown(pid, target.cls, target.id); }

HWND Session::Require(const Target& target) const { return WaitFor(pid, target.cls, target.id, target.name); }

void Session::Mark() {
  stationMark = ReadJournal(psk31Journal).size();
  logMark = ReadJournal(logJournal).size();
}

void Expect(const std::string& what, const std::function<std::string()>& got, const std::string& want, bool pattern,
            int timeoutMs) {
  std::string last;
  if (WaitUntil([&] { return pattern ? Matches(last = got(), want) : (last = got()) == want; }, timeoutMs)) return;
  FailAndEnd(__FILE__, __LINE__, (currentRow.empty() ? "" : currentRow + ": ") + what + ": \"" + Visible(last) +
                                     "\", expected \"" + Visible(want) + "\"");
}

static void RunStep(Session& s, const Step& step) {
  HWND hwnd = step.op < Op::kText && step.at.cls ? s.Require(step.at) : nullptr;  // what an action works on
  switch (step.op) {
    case Op::kKeys: PressKeys(GetAncestor(hwnd, GA_ROOT), step.text); return;
    case Op::kType: TypeKeys(hwnd, step.text); return;
    case Op::kPostKey: PostKey(hwnd, step.n); return;
    case Op::kMenu: PostCommand(s.main, step.n); return;
    case Op::kClick: ClickButton(hwnd); return;
    case Op::kMouse:  // the button `n` (WM_xBUTTONDOWN) pressed and let go near the top left corner
      PostMessageA(hwnd, step.n, step.n == WM_LBUTTONDOWN ? MK_LBUTTON : MK_RBUTTON, MAKELPARAM(3, 3));
      PostMessageA(hwnd, step.n + 1, 0, MAKELPARAM(3, 3));
      return;
    case Op::kSetText: SendMessageA(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.text.c_str())); return;
    case Op::kChoose:
      SendMessageA(hwnd, LB_SETCURSEL, static_cast<WPARAM>(step.n), 0);
      SendMessageA(GetParent(hwnd), WM_COMMAND, MAKEWPARAM(step.at.id, LBN_SELCHANGE), reinterpret_cast<LPARAM>(hwnd));
      return;
    case Op::kTick:
      SendMessageA(hwnd, BM_SETCHECK, step.n ? BST_CHECKED : BST_UNCHECKED, 0);
      ClickButton(hwnd);
      return;
    case Op::kClose: PostMessageA(hwnd, WM_CLOSE, 0, 0); return;
    case Op::kAnswer: {
      const Target prompt{kDlg, IDC_INPUT_PROMPT, "input box"};
      Expect("the input box asks", [&] { return TextOf(s.Find(prompt)); }, step.text);
      HWND box = GetParent(s.Find(prompt));
      SendMessageA(GetDlgItem(box, IDC_INPUT_EDIT), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(step.more.c_str()));
      REQUIRE_MSG(PressAndWaitClosed(box, step.n), "the input box stayed open");
      return;
    }
    case Op::kBox: {
      const MessageBoxInfo box = WaitMessageBox(step.text, s.pid);
      Expect("a box \"" + step.text + "\"", [&] { return box.hwnd ? box.text : "(none)"; }, step.more, true);
      REQUIRE_MSG(PressAndWaitClosed(box.hwnd, step.n), "the box \"" << box.text << "\" stayed open");
      // Closing a dialog stalls the thread a while under Wine with no window manager.
      REQUIRE_MSG(WaitUntil([&] { return Answers(s.main); }), "QSOPAD does not answer after the box");
      return;
    }
    case Op::kLogSend:
      // Commands from 0x51000 on send a record of code 0 to 0xFFF with these bytes.
      REQUIRE_MSG(step.n <= 0xFFF && LogCommandTo(s.log, 0x51000 + step.n, step.text), "no record reached QSOPAD");
      return;
    case Op::kDo: step.fn(s); return;
    default: {
      // An expectation: what it reads, as text beside the text it wants (in `more`).
      const auto reading = [&]() -> std::string {
        HWND w = step.at.cls ? s.Find(step.at) : nullptr;
        const size_t split = step.text.find_first_of("/ ");
        const std::string first = step.text.substr(0, split), second = step.text.substr(split + 1);
        switch (step.op) {
          case Op::kText: return w ? TextOf(w) : "(not shown)";
          case Op::kMemo: return CharsTo(s.StationSince(), "memo");
          case Op::kTrail: return Trail(s.StationSince(), step.text);
          case Op::kEvent: return std::to_string(Select(s.StationSince(), first, second).size());
          case Op::kRecords: return Records(s.LogSince());
          case Op::kStored: return ReadSetting(s.folder(), first, second).value_or("<absent>");
          case Op::kFile: return ReadFileText(step.text);
          case Op::kShown: return w && IsWindowVisible(w) ? "shown" : "not shown";
          case Op::kFocus: return w && FocusOfThread(w) == w ? "focused" : "not focused: " + ClassOf(FocusOfThread(w));
          case Op::kEnabled: return w && IsWindowEnabled(w) ? "enabled" : "disabled";
          default: return SendMessageA(w, BM_GETCHECK, 0, 0) == BST_CHECKED ? "ticked" : "clear";
        }
      };
      const bool pattern = step.op == Op::kText && step.n;
      Expect(step.at.name ? std::string("the ") + step.at.name : step.text, reading, step.more, pattern);
    }
  }
}

bool Matches(const std::string& text, const std::string& pattern) {
  const size_t star = pattern.find('*');
  if (star == std::string::npos) return text == pattern;
  if (text.compare(0, star, pattern, 0, star) != 0) return false;
  for (size_t at = star; at <= text.size(); ++at)
    if (Matches(text.substr(at), pattern.substr(star + 1))) return true;
  return false;
}

void RunRows(Session& s, const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    Log(row.name);
    currentRow = row.name;
    s.Mark();
    const int before = failures;
    try {
      for (const Step& step : row.steps) RunStep(s, step);
    } catch (const Abort&) {
    }
    // A dialog left open would take the next row's input. One that has just been closed may
    // still be on screen for a moment after its owner is enabled again.
    std::vector<HWND> open;
    WaitUntil([&] { return (open = ShownAll(s.pid, kDlg)).empty(); });
    for (HWND w : open) {
      if (failures == before) Fail(__FILE__, __LINE__, row.name + ": a dialog \"" + TextOf(w) + "\" was left open");
      PressAndWaitClosed(w, IDCANCEL);
    }
    if (failures > before) Log("FAILED: " + row.name);
    if (s.programs.ExitCode(s.pid) == STILL_ACTIVE)
      REQUIRE_MSG(WaitUntil([&] { return Answers(s.main); }), "QSOPAD stopped answering after " << row.name);
  }
}

}  // namespace e2e

int main(int argc, char** argv) {
  using namespace e2e;
  const std::string mode = argc >= 2 ? argv[1] : "";
  if (argc == 2 && mode == "--list") {
    for (const auto& s : Registry(Kind::kTest)) std::printf("%s\n", s.name);
    return 0;
  }
  const Kind kind = mode == "--bench" ? Kind::kBenchmark : mode == "--screens" ? Kind::kScreens
                    : mode == "--child" ? Kind::kChild : Kind::kTest;
  const char* name = kind == Kind::kTest ? (argc == 2 ? argv[1] : "") : (argc >= 3 ? argv[2] : "");
  if (kind == Kind::kChild) childArgs.assign(argv + 3, argv + argc);
  for (const auto& s : Registry(kind)) {
    if (std::strcmp(s.name, name) != 0) continue;
    try {
      s.body();
    } catch (const Abort&) {
    } catch (const std::exception& e) {
      Fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
    }
    if (kind != Kind::kChild) std::printf("%s: %s\n", s.name, failures == 0 ? "PASS" : "FAIL");
    return failures == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "usage: qsopad_e2e --list | SCENARIO | --bench NAME | --screens SET | --child NAME ARGS\n");
  return 2;
}
