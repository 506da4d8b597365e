// Driver helpers for the log stand-in.
#include "qsolog_driver.h"

#include <stdexcept>

namespace e2e {

namespace {

constexpr char kClass[] = "QSOLOG_Standin";
constexpr char kCaption[] = "QSO Log stand-in";
// The stand-in's command codes: dwData of a WM_COPYDATA at or above 0x51000.
constexpr ULONG_PTR kCommandSend = 0x51000;

bool Command(HWND logWindow, ULONG_PTR what, const std::string& bytes, int timeoutMs) {
  COPYDATASTRUCT command{what, static_cast<DWORD>(bytes.size()),
                         bytes.empty() ? nullptr : const_cast<char*>(bytes.data())};
  DWORD_PTR result = 0;
  // Not SMTO_BLOCK: while we wait, the stand-in's record to a partner window of this thread
  // has to be delivered here.
  return SendMessageTimeoutA(logWindow, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&command),
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, static_cast<UINT>(timeoutMs), &result) != 0 &&
         result == 1;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the journal's %XX escapes.
std::string Decode(const std::string& word) {
  std::string bytes;
  for (size_t i = 0; i < word.size(); ++i) {
    if (word[i] == '%' && i + 2 < word.size() && HexDigit(word[i + 1]) >= 0 && HexDigit(word[i + 2]) >= 0) {
      bytes.push_back(static_cast<char>(HexDigit(word[i + 1]) * 16 + HexDigit(word[i + 2])));
      i += 2;
    } else {
      bytes.push_back(word[i]);
    }
  }
  return bytes;
}

}  // namespace

DWORD StartQsolog(Programs& programs, const std::string& journalPath, const EnvList& extra, bool pair) {
  StartOptions options;
  options.exe = StandinExe("qsolog");
  options.env = {{"QSOLOG_JOURNAL", journalPath}, {"QSOLOG_NO_PAIR", pair ? "" : "1"}};
  options.env.insert(options.env.end(), extra.begin(), extra.end());
  const DWORD pid = programs.Start(options);
  if (!WaitUntil([&] { return FindQsolog(pid) && IsWindowVisible(FindQsolog(pid)); }, 10000))
    throw std::runtime_error("the log stand-in (pid " + std::to_string(pid) + ") showed no window");
  return pid;
}

HWND FindQsolog(DWORD pid) {
  for (HWND w = FindWindowExA(nullptr, nullptr, kClass, kCaption); w; w = FindWindowExA(nullptr, w, kClass, kCaption))
    if (pid == 0 || ProcessOf(w) == pid) return w;
  return nullptr;
}

bool LogSend(HWND logWindow, unsigned code, const std::string& bytes, int timeoutMs) {
  if (code > 0xFFF) throw std::invalid_argument("the log stand-in sends codes 0 to 0xFFF only");
  return Command(logWindow, kCommandSend + code, bytes, timeoutMs);
}

bool LogSendLong(HWND logWindow, int timeoutMs) { return Command(logWindow, 0x52000, "", timeoutMs); }
bool LogSendNull(HWND logWindow, int timeoutMs) { return Command(logWindow, 0x52001, "", timeoutMs); }
bool LogSendEmpty(HWND logWindow, int timeoutMs) { return Command(logWindow, 0x52002, "", timeoutMs); }
bool LogPair(HWND logWindow, int timeoutMs) { return Command(logWindow, 0x53000, "", timeoutMs); }

std::string LogLongText() {
  std::string text(300, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
  return text;
}

std::vector<LogFunc> LogFuncs(const Journal& journal) {
  std::vector<LogFunc> funcs;
  for (const auto& e : Select(journal, "log", "FUNC"))
    if (e.Num(0) >= 0 && e.Num(1) >= 0) funcs.push_back({e.ms, static_cast<unsigned long long>(e.Num(0)), e.Num(1)});
  return funcs;
}

std::vector<LogRecord> LogRecords(const Journal& journal) {
  std::vector<LogRecord> records;
  for (const auto& e : Select(journal, "log", "RECORD")) {
    if (e.Num(0) < 0 || e.Num(1) < 0) continue;
    HWND sender = nullptr;
    try {
      sender = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::stoull(e.Arg(2), nullptr, 16)));
    } catch (const std::exception&) {
    }
    records.push_back({e.ms, static_cast<unsigned long long>(e.Num(0)), static_cast<unsigned long long>(e.Num(1)),
                       sender, Decode(e.Arg(3))});
  }
  return records;
}

}  // namespace e2e
