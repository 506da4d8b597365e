// Helpers for scenarios with the log stand-in (qsolog.exe): starting it, making it send
// records through its commands, and reading what its journal says arrived.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "driver.h"

namespace e2e {

// Starts the stand-in with its journal at journalPath (none when ""), broadcasting the
// handshake at start when `pair`, and waits for its window to show. Throws
// std::runtime_error when no window appears in time.
DWORD StartQsolog(Programs& programs, const std::string& journalPath, const EnvList& extra = {},
                  bool pair = true);
// The stand-in's window (of this process when pid is not 0), or null.
HWND FindQsolog(DWORD pid = 0);

// Commands. Each is one WM_COPYDATA sent to the stand-in; it sends its record to the
// partner before answering. True when the record reached the partner's window procedure.
bool LogSend(HWND logWindow, unsigned code, const std::string& bytes, int timeoutMs = 10000);
bool LogSendLong(HWND logWindow, int timeoutMs = 10000);   // code 1, 300 bytes "ABC...Z" cycling
bool LogSendNull(HWND logWindow, int timeoutMs = 10000);   // code 1, lpData NULL, cbData 10
bool LogSendEmpty(HWND logWindow, int timeoutMs = 10000);  // code 2, cbData 0
// Has the stand-in broadcast the handshake again; true when it did.
bool LogPair(HWND logWindow, int timeoutMs = 10000);
// The 300 bytes LogSendLong sends.
std::string LogLongText();

// ---- The stand-in's journal ----

struct LogFunc {
  std::int64_t ms = 0;
  unsigned long long wparam = 0;
  long long lparam = 0;
};
struct LogRecord {
  std::int64_t ms = 0;
  unsigned long long code = 0;
  unsigned long long size = 0;  // cbData as it arrived
  HWND sender = nullptr;
  std::string text;             // the bytes as they arrived, decoded
};

// FUNC and RECORD entries of role "log", in order.
std::vector<LogFunc> LogFuncs(const Journal& journal);
std::vector<LogRecord> LogRecords(const Journal& journal);

}  // namespace e2e
