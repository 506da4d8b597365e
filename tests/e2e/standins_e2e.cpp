// The one check of the stand-ins themselves: their journals record what the scenarios that
// drive QSOPAD read from them (characters and keys with how they came, the end of a
// transmission, announcements and records to the log program).
#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsolog_driver.h"
#include "qsopad_driver.h"

using namespace e2e;

E2E_SCENARIO(standins_journal_what_they_receive) {
  TempFolder temp;
  Programs programs;
  const std::string psk31 = temp.File("psk31.log");
  StartPsk31(programs, psk31, {{"PSK31_CPS", "200"}});
  const Psk31Windows w = FindPsk31();
  REQUIRE(w.memo && w.panel && w.tune);
  SendChars(w.memo, "a\xe4");
  CHECK_MSG(!IsWindowEnabled(w.tune), "text in the memo did not start a transmission");
  PostChars(w.memo, "b");
  REQUIRE(!WaitJournal(psk31, "memo", "WM_CHAR", 5000, [](auto& e) { return e.Num(0) == 'b'; }).event.empty());
  SendKey(w.panel, VK_F5);
  REQUIRE_MSG(!WaitJournal(psk31, "app", "TXEND", 5000).event.empty(), Dump(ReadJournal(psk31)));
  Journal j = ReadJournal(psk31);
  CHECK_MSG(Joined(KeyTrail(j, "memo")) == Joined({"WM_CHAR 97 sent", "WM_CHAR 228 sent", "WM_CHAR 98 posted"}),
            Dump(j));
  CHECK_MSG(Joined(KeyTrail(j, "panel")) == Joined({"WM_KEYDOWN 116 sent", "WM_KEYUP 116 sent"}), Dump(j));
  // The transmission ends after the text has gone, not when F5 arrives.
  CHECK_MSG(Transmitted(j) == "a\xe4" "b" && IndexOf(j, "app", "TXEND") > IndexOf(j, "panel", "WM_KEYDOWN"), Dump(j));
  CHECK(IsWindowEnabled(w.tune));

  const std::string qsolog = temp.File("qsolog.log");
  HWND log = FindQsolog(StartQsolog(programs, qsolog, {}, false));
  REQUIRE(log);
  SendMessageA(log, RegisterWindowMessageA("QSOPADFUNC"), 0, 1);
  const std::string bytes("D L%\x01\xff", 6);
  COPYDATASTRUCT record{2, static_cast<DWORD>(bytes.size()), const_cast<char*>(bytes.data())};
  SendMessageA(log, WM_COPYDATA, reinterpret_cast<WPARAM>(w.form), reinterpret_cast<LPARAM>(&record));
  j = ReadJournal(qsolog);
  const std::vector<LogFunc> funcs = LogFuncs(j);
  CHECK_MSG(funcs.size() == 1 && funcs[0].wparam == 0 && funcs[0].lparam == 1, Dump(j));
  const std::vector<LogRecord> records = LogRecords(j);
  REQUIRE_MSG(records.size() == 1, Dump(j));
  CHECK_MSG(records[0].code == 2 && records[0].size == 6 && records[0].text == bytes && records[0].sender == w.form,
            Dump(j));
}
