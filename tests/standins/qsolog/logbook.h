// The log stand-in's window: it pairs with QSOPAD through the registered messages, journals
// what QSOPAD announces and sends, and sends records on the test driver's command.
#pragma once

#include <windows.h>

#include <string>

#include "journal.h"

namespace qsolog {

struct Config {
  std::wstring journal;
  bool pairAtStart = true;
  int hangMs = 0;  // sleep per "QSOPADFUNC"; 0: never hang
};

// dwData of a WM_COPYDATA from the test driver; anything below kCommandFirst is a record.
constexpr ULONG_PTR kCommandFirst = 0x51000;
constexpr ULONG_PTR kCommandSend = 0x51000;  // + record code 0..0xFFF, the command's bytes as text
constexpr ULONG_PTR kCommandSendLast = 0x51FFF;
constexpr ULONG_PTR kCommandSendLong = 0x52000;   // code 1, 300 bytes "ABC...ZABC..."
constexpr ULONG_PTR kCommandSendNull = 0x52001;   // code 1, lpData NULL, cbData 10
constexpr ULONG_PTR kCommandSendEmpty = 0x52002;  // code 2, cbData 0
constexpr ULONG_PTR kCommandPair = 0x53000;       // broadcast "QSOPADLOG" 0 again

// Child ids of the values the window shows, for a test that reads them.
constexpr int kIdCall = 101;
constexpr int kIdName = 102;
constexpr int kIdPartner = 103;
constexpr int kIdAnnounced = 104;

constexpr DWORD kLongRecordBytes = 300;
constexpr DWORD kNullRecordBytes = 10;
constexpr UINT kSendTimeoutMs = 5000;

class Logbook {
 public:
  explicit Logbook(const Config& config);
  Logbook(const Logbook&) = delete;
  Logbook& operator=(const Logbook&) = delete;
  ~Logbook();

  // Registers the class and the messages, builds and shows the window, journals START and
  // pairs unless told not to.
  bool Create(HINSTANCE instance, int nCmdShow);
  Journal& journal() { return journal_; }

 private:
  static LRESULT CALLBACK Trampoline(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) noexcept;
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);

  void OnFunc(WPARAM wp, LPARAM lp);
  void OnLogMsg(WPARAM wp, LPARAM lp);
  LRESULT OnCopyData(HWND sender, const COPYDATASTRUCT* record);
  void OnRecord(HWND sender, const COPYDATASTRUCT& record);
  LRESULT OnCommand(const COPYDATASTRUCT& command);
  void OnDestroy();

  void Pair();
  // Sends one record to the partner; true when the partner's window procedure handled it.
  bool SendRecord(ULONG_PTR code, const void* data, DWORD size);
  void Show(int id, const std::string& ansi);
  void Layout();

  Config config_;
  Journal journal_;
  HWND hwnd_ = nullptr;
  HWND partner_ = nullptr;
  HFONT font_ = nullptr;
  UINT funcMsg_ = 0;
  UINT logMsg_ = 0;
};

}  // namespace qsolog
