// Driver helpers for the log stand-in.
#include "qsolog_driver.h"

#include <stdexcept>

namespace e2e {

namespace {

// The stand-in's command codes: dwData of a WM_COPYDATA at or above 0x51000.
constexpr ULONG_PTR kCommandSend = 0x51000;
constexpr unsigned kMaxSendCode = 0xFFF;
constexpr ULONG_PTR kCommandSendLong = 0x52000;
constexpr ULONG_PTR kCommandSendNull = 0x52001;
constexpr ULONG_PTR kCommandSendEmpty = 0x52002;
constexpr ULONG_PTR kCommandPair = 0x53000;

bool Command(HWND logWindow, ULONG_PTR what, const std::string& bytes, int timeoutMs) {
  COPYDATASTRUCT command{};
  command.dwData = what;
  command.cbData = static_cast<DWORD>(bytes.size());
  command.lpData = bytes.empty() ? nullptr : const_cast<char*>(bytes.data());
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

bool ParseHex(const std::string& text, unsigned long long& value) {
  if (text.empty() || text.size() > 16) return false;
  value = 0;
  for (char c : text) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    value = value * 16 + static_cast<unsigned>(d);
  }
  return true;
}

// Decimal journal numbers: WPARAM unsigned, LPARAM signed, as the stand-in writes them.
bool ParseUnsigned(const std::string& text, unsigned long long& value) {
  if (text.empty() || text.size() > 20) return false;
  value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    const unsigned long long next = value * 10 + static_cast<unsigned>(c - '0');
    if (next / 10 != value) return false;
    value = next;
  }
  return true;
}

bool ParseSigned(const std::string& text, long long& value) {
  const bool negative = !text.empty() && text[0] == '-';
  unsigned long long magnitude = 0;
  if (!ParseUnsigned(negative ? text.substr(1) : text, magnitude) || magnitude > 0x8000000000000000ull) return false;
  if (!negative && magnitude == 0x8000000000000000ull) return false;
  value = negative ? static_cast<long long>(0 - magnitude) : static_cast<long long>(magnitude);
  return true;
}

}  // namespace

DWORD StartQsolog(Programs& programs, const std::string& journalPath, const EnvList& extra, bool pair,
                  int timeoutMs) {
  StartOptions options;
  options.exe = StandinExe("qsolog");
  options.env = {{"QSOLOG_JOURNAL", journalPath}, {"QSOLOG_NO_PAIR", pair ? "" : "1"}};
  options.env.insert(options.env.end(), extra.begin(), extra.end());
  const DWORD pid = programs.Start(options);
  const bool up = WaitUntil(
      [&] {
        HWND w = FindQsolog(pid);
        return w && IsWindowVisible(w);
      },
      timeoutMs);
  if (!up) throw std::runtime_error("the log stand-in (pid " + std::to_string(pid) + ") showed no window");
  return pid;
}

HWND FindQsolog(DWORD pid) {
  for (HWND w = FindWindowExA(nullptr, nullptr, kQsologClass, kQsologCaption); w;
       w = FindWindowExA(nullptr, w, kQsologClass, kQsologCaption)) {
    if (pid == 0 || ProcessOf(w) == pid) return w;
  }
  return nullptr;
}

bool LogSend(HWND logWindow, unsigned code, const std::string& bytes, int timeoutMs) {
  if (code > kMaxSendCode) throw std::invalid_argument("the log stand-in sends codes 0 to 0xFFF only");
  return Command(logWindow, kCommandSend + code, bytes, timeoutMs);
}

bool LogSendLong(HWND logWindow, int timeoutMs) { return Command(logWindow, kCommandSendLong, "", timeoutMs); }
bool LogSendNull(HWND logWindow, int timeoutMs) { return Command(logWindow, kCommandSendNull, "", timeoutMs); }
bool LogSendEmpty(HWND logWindow, int timeoutMs) { return Command(logWindow, kCommandSendEmpty, "", timeoutMs); }
bool LogPair(HWND logWindow, int timeoutMs) { return Command(logWindow, kCommandPair, "", timeoutMs); }

std::string LogLongText() {
  std::string text(300, '\0');
  for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('A' + i % 26);
  return text;
}

std::string LogDecode(const std::string& word) {
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

HWND LogHandle(const std::string& hex) {
  unsigned long long value = 0;
  if (!ParseHex(hex, value)) return nullptr;
  return reinterpret_cast<HWND>(static_cast<std::uintptr_t>(value));
}

std::vector<LogFunc> LogFuncs(const Journal& journal) {
  std::vector<LogFunc> funcs;
  for (const auto& e : Select(journal, "log", "FUNC")) {
    LogFunc f;
    f.ms = e.ms;
    if (!ParseUnsigned(e.Arg(0), f.wparam) || !ParseSigned(e.Arg(1), f.lparam)) continue;
    funcs.push_back(f);
  }
  return funcs;
}

std::vector<LogRecord> LogRecords(const Journal& journal) {
  std::vector<LogRecord> records;
  for (const auto& e : Select(journal, "log", "RECORD")) {
    if (e.Num(0) < 0 || e.Num(1) < 0) continue;
    LogRecord r;
    r.ms = e.ms;
    r.code = static_cast<unsigned long long>(e.Num(0));
    r.size = static_cast<unsigned long long>(e.Num(1));
    r.sender = LogHandle(e.Arg(2));
    r.text = LogDecode(e.Arg(3));
    records.push_back(r);
  }
  return records;
}

}  // namespace e2e
