// Driver helpers for the end-to-end scenarios.
#include "driver.h"

#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <sstream>
#include <stdexcept>

namespace e2e {

namespace {

std::string SystemError(DWORD code) {
  char buffer[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                           sizeof buffer, nullptr);
  std::string text(buffer, n);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
  return "error " + std::to_string(code) + ": " + text;
}

// Applies the changes to the driver's own environment, which a program started next
// inherits, and hands back what it replaced.
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

std::vector<DWORD> Descendants(DWORD root) {
  std::vector<std::pair<DWORD, DWORD>> links;  // (pid, parent)
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap != INVALID_HANDLE_VALUE) {
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL ok = Process32FirstW(snap, &entry); ok; ok = Process32NextW(snap, &entry))
      links.emplace_back(entry.th32ProcessID, entry.th32ParentProcessID);
    CloseHandle(snap);
  }
  std::vector<DWORD> tree{root};
  for (size_t i = 0; i < tree.size(); ++i) {
    for (const auto& [pid, parent] : links) {
      if (parent == tree[i] && pid != root && std::find(tree.begin(), tree.end(), pid) == tree.end())
        tree.push_back(pid);
    }
  }
  return tree;
}

}  // namespace

// ---- Time ----

std::int64_t NowMs() {
  LARGE_INTEGER freq;
  LARGE_INTEGER count;
  QueryPerformanceFrequency(&freq);
  QueryPerformanceCounter(&count);
  return count.QuadPart / freq.QuadPart * 1000 + count.QuadPart % freq.QuadPart * 1000 / freq.QuadPart;
}

bool WaitUntil(const std::function<bool()>& done, int timeoutMs, int pollMs) {
  const std::int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    if (done()) return true;
    if (NowMs() >= deadline) return false;
    Sleep(static_cast<DWORD>(pollMs));
  }
}

void Pause(int ms) { Sleep(static_cast<DWORD>(ms)); }

// ---- Paths and files ----

std::string BuildDir() {
  char value[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("QSOPAD_BUILD_DIR", value, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::string(value, n);
  n = GetModuleFileNameA(nullptr, value, MAX_PATH);
  std::string dir(value, n);  // <build>\tests\e2e\qsopad_e2e.exe
  for (int up = 0; up < 3; ++up) dir = dir.substr(0, dir.find_last_of("\\/"));
  return dir;
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '\\' || folder.back() == '/') return folder + name;
  return folder + "\\" + name;
}

std::string StandinExe(const std::string& name) {
  return JoinPath(BuildDir(), "tests\\standins\\" + name + ".exe");
}

std::string QsopadExe() { return JoinPath(BuildDir(), "src\\win32\\qsopad.exe"); }

bool FileExists(const std::string& path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileText(const std::string& path, std::uint64_t from) {
  // Shared access: the file may be open for writing in the program under test.
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(from);
  SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  std::string bytes;
  char buffer[65536];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) bytes.append(buffer, got);
  CloseHandle(file);
  return bytes;
}

bool WriteFileText(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = bytes.empty() || (WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                              written == bytes.size());
  return CloseHandle(file) && ok;
}

TempFolder::TempFolder(const std::string& prefix) {
  char temp[MAX_PATH] = {};
  DWORD n = GetTempPathA(MAX_PATH, temp);
  std::string base(temp, n);
  for (int attempt = 0; attempt < 100; ++attempt) {
    std::string candidate = JoinPath(base, prefix + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                                               std::to_string(NowMs() % 100000) + "-" + std::to_string(attempt));
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      return;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS)
      throw std::runtime_error("cannot create " + candidate + ": " + SystemError(GetLastError()));
  }
  throw std::runtime_error("cannot create a temporary folder in " + base);
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
  // The folder with everything in it; whatever is still open stays behind.
  const std::string from = path_ + '\0';  // a list of names, ended by two NULs
  SHFILEOPSTRUCTA op{};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationA(&op);
}

// ---- Processes ----

Programs::~Programs() { KillAll(); }

DWORD Programs::Start(const StartOptions& options) {
  const std::string command = "\"" + options.exe + "\"" + (options.args.empty() ? "" : " " + options.args);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi{};
  DWORD error = 0;
  const EnvList previous = SwapEnvironment(options.env);
  // Starting a program right after another ended now and then fails with 1359 under Wine.
  for (int attempt = 0; attempt < 2 && !pi.hProcess; ++attempt) {
    std::string line = command;  // CreateProcessA may write into the command line
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        options.dir.empty() ? nullptr : options.dir.c_str(), &si, &pi)) {
      error = GetLastError();
      if (error != ERROR_INTERNAL_ERROR) break;
      Sleep(200);
    }
  }
  SwapEnvironment(previous);
  if (!pi.hProcess) throw std::runtime_error("cannot start " + options.exe + ": " + SystemError(error));
  CloseHandle(pi.hThread);
  started_.push_back({pi.dwProcessId, pi.hProcess});
  return pi.dwProcessId;
}

HANDLE Programs::HandleOf(DWORD pid) const {
  for (const auto& e : started_)
    if (e.pid == pid) return e.process;
  return nullptr;
}

bool Programs::WaitExit(DWORD pid, int timeoutMs) const {
  HANDLE process = HandleOf(pid);
  if (!process) return !ProcessAlive(pid);
  return WaitForSingleObject(process, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

DWORD Programs::ExitCode(DWORD pid) const {
  DWORD code = STILL_ACTIVE;
  HANDLE process = HandleOf(pid);
  if (process) GetExitCodeProcess(process, &code);
  return code;
}

void Programs::KillAll() {
  // Newest first: a program started later may depend on an earlier one being there.
  for (auto it = started_.rbegin(); it != started_.rend(); ++it) {
    if (WaitForSingleObject(it->process, 0) == WAIT_TIMEOUT) KillTree(it->pid);
    CloseHandle(it->process);
  }
  started_.clear();
}

bool ProcessAlive(DWORD pid) {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (!process) return false;
  bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

void KillTree(DWORD pid) {
  // The whole tree is listed before anything ends, while the parent links still hold.
  std::vector<HANDLE> ending;
  for (DWORD member : Descendants(pid)) {
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, member);
    if (!process) continue;
    TerminateProcess(process, 1);
    ending.push_back(process);
  }
  for (HANDLE process : ending) {
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
}

// ---- Windows ----

HWND FindChild(HWND parent, const char* cls, const char* caption) {
  if (!parent) return nullptr;
  return FindWindowExA(parent, nullptr, cls, caption);
}

std::vector<HWND> TopWindowsOf(DWORD pid) {
  struct Search {
    DWORD pid;
    std::vector<HWND> found;
  } search{pid, {}};
  EnumWindows(
      [](HWND hwnd, LPARAM lp) -> BOOL {
        auto* s = reinterpret_cast<Search*>(lp);
        if (ProcessOf(hwnd) == s->pid) s->found.push_back(hwnd);
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::string ClassOf(HWND hwnd) {
  char name[256] = {};
  int n = GetClassNameA(hwnd, name, sizeof name);
  return std::string(name, n > 0 ? static_cast<size_t>(n) : 0);
}

DWORD ProcessOf(HWND hwnd) {
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  return pid;
}

std::string TextOf(HWND hwnd, int timeoutMs) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(timeoutMs), &length))
    return std::string();
  std::string text(length + 1, '\0');
  DWORD_PTR got = 0;
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()), SMTO_ABORTIFHUNG,
                           static_cast<UINT>(timeoutMs), &got))
    return std::string();
  text.resize(std::min<size_t>(got, length));
  return text;
}

bool Answers(HWND hwnd, int timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(hwnd, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, static_cast<UINT>(timeoutMs), &result) != 0;
}

void PostKey(HWND hwnd, int vk) {
  PostMessageA(hwnd, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
  PostMessageA(hwnd, WM_KEYUP, static_cast<WPARAM>(vk), 0);
}

void PostCommand(HWND hwnd, int id) { PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); }

// ---- Message boxes ----

HWND FindMessageBox(const std::string& title, DWORD pid) {
  for (HWND box = FindWindowExA(nullptr, nullptr, "#32770", title.c_str()); box;
       box = FindWindowExA(nullptr, box, "#32770", title.c_str())) {
    if (IsWindowVisible(box) && (pid == 0 || ProcessOf(box) == pid)) return box;
  }
  return nullptr;
}

MessageBoxInfo WaitMessageBox(const std::string& title, int timeoutMs, DWORD pid) {
  MessageBoxInfo info;
  if (WaitUntil([&] { return (info.hwnd = FindMessageBox(title, pid)) != nullptr; }, timeoutMs)) {
    info.title = title;
    // The text static may be filled a moment after the dialog shows.
    WaitUntil([&] { return !(info.text = MessageBoxText(info.hwnd)).empty(); }, 1000);
  }
  return info;
}

std::string MessageBoxText(HWND box) {
  for (HWND child = FindWindowExA(box, nullptr, "Static", nullptr); child;
       child = FindWindowExA(box, child, "Static", nullptr)) {
    std::string text = TextOf(child);
    if (!text.empty()) return text;
  }
  return std::string();
}

void PressButton(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}

bool PressAndWaitClosed(HWND box, int id, int timeoutMs) {
  PressButton(box, id);
  return WaitUntil([&] { return !IsWindow(box) || !IsWindowVisible(box); }, timeoutMs);
}

bool SaveWindowImage(HWND hwnd, const std::string& path) {
  // The client area: under Wine without a window manager the frame is not drawn.
  RECT r{};
  if (!GetClientRect(hwnd, &r)) return false;
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  // With the menu bar, which is drawn (a one-line bar: the menu of another process cannot
  // be measured from here).
  if (GetMenu(hwnd)) r.top -= GetSystemMetrics(SM_CYMENU) + 1;
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;  // bottom-up, as BMP files store it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = bitmap != nullptr;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (ok) {
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char*>(bits), stride * static_cast<DWORD>(h));
    ok = WriteFileText(path, bytes);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

bool PickFile(const std::string& title, const std::string& path, DWORD pid, int timeoutMs) {
  HWND dialog = nullptr;
  if (!WaitUntil([&] { return (dialog = FindMessageBox(title, pid)) != nullptr; }, timeoutMs)) return false;
  constexpr int kFileNameCombo = 0x47c, kFileNameEdit = 0x480;
  HWND name = GetDlgItem(dialog, kFileNameCombo);
  if (!name) name = GetDlgItem(dialog, kFileNameEdit);
  if (!name) return false;
  SendMessageA(name, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(path.c_str()));
  return PressAndWaitClosed(dialog, IDOK, timeoutMs);
}

// ---- Journal ----

long long JournalEntry::Num(size_t i) const {
  const std::string a = Arg(i);
  if (a.empty() || a.size() > 18 || a.find_first_not_of("0123456789") != std::string::npos) return -1;
  return std::stoll(a);
}

Journal ReadJournal(const std::string& path) {
  Journal journal;
  const std::string text = ReadFileText(path);
  size_t pos = 0;
  for (;;) {
    size_t end = text.find('\n', pos);
    if (end == std::string::npos) break;  // an unfinished last line is read next time
    std::string line = text.substr(pos, end - pos);
    pos = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream words(line);
    JournalEntry entry;
    entry.line = line;
    if (!(words >> entry.ms >> entry.role >> entry.event)) continue;
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

size_t Count(const Journal& journal, const std::string& role, const std::string& event) {
  return Select(journal, role, event).size();
}

int IndexOf(const Journal& journal, const std::string& role, const std::string& event, size_t from) {
  for (size_t i = from; i < journal.size(); ++i)
    if ((role.empty() || journal[i].role == role) && (event.empty() || journal[i].event == event))
      return static_cast<int>(i);
  return -1;
}

JournalEntry WaitJournal(const std::string& path, const std::string& role, const std::string& event,
                         int timeoutMs, const std::function<bool(const JournalEntry&)>& match) {
  JournalEntry hit;
  WaitUntil(
      [&] {
        for (const auto& e : Select(ReadJournal(path), role, event)) {
          if (!match || match(e)) {
            hit = e;
            return true;
          }
        }
        return false;
      },
      timeoutMs);
  return hit;
}

std::string CharsTo(const Journal& journal, const std::string& role) {
  std::string bytes;
  for (const auto& e : Select(journal, role, "WM_CHAR"))
    if (e.Num(0) >= 0 && e.Num(0) < 256) bytes.push_back(static_cast<char>(e.Num(0)));
  return bytes;
}

std::string Dump(const Journal& journal) {
  std::string text;
  for (const auto& e : journal) text += "\n  " + e.line;
  return text;
}

// ---- The PSK31 stand-in ----

Psk31Windows FindPsk31() {
  Psk31Windows w;
  w.app = FindWindowA("TApplication", "PSK31 for Windows on the Soundcard");
  w.form = FindWindowA("TForm1", "PSK31 SB [BPSK]");
  if (!w.form) w.form = FindWindowA("TForm1", "PSK31 SB [QPSK]");
  w.panel = FindChild(w.form, "TPanel", nullptr);
  w.tune = FindChild(w.panel, "TButton", "Tune");
  w.memo = FindChild(w.panel, "TMemo", nullptr);
  w.rxBox = FindChild(FindChild(w.panel, "TGroupBox", "Rx Freq Hz"), "TEdit", nullptr);
  return w;
}

DWORD StartPsk31(Programs& programs, const std::string& journalPath, const EnvList& extra) {
  StartOptions options;
  options.exe = StandinExe("psk31sbw");
  options.env = {{"PSK31_JOURNAL", journalPath}};
  options.env.insert(options.env.end(), extra.begin(), extra.end());
  DWORD pid = programs.Start(options);
  bool up = WaitUntil(
      [&] {
        for (HWND w : TopWindowsOf(pid))
          if (ClassOf(w) == "TForm1" && IsWindowVisible(w)) return true;
        return false;
      },
      10000);
  if (!up) throw std::runtime_error("the PSK31 stand-in (pid " + std::to_string(pid) + ") showed no form");
  return pid;
}

}  // namespace e2e
