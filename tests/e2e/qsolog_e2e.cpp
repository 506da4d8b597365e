// Scenarios that check the log stand-in itself, with a partner window of the driver playing
// QSOPAD's side of the handshake, so that scenarios pairing it with QSOPAD can trust it.
#include <windows.h>

#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsolog_driver.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;
constexpr LRESULT kPartnerAnswer = 7;  // what the partner returns for a record

UINT FuncMsg() { return RegisterWindowMessageA("QSOPADFUNC"); }
UINT LogMsg() { return RegisterWindowMessageA("QSOPADLOG"); }

// Handles messages sent or posted to this thread's windows until `done` holds.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const std::int64_t deadline = NowMs() + timeoutMs;
  for (;;) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
    if (done()) return true;
    if (NowMs() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 15, QS_ALLINPUT);
  }
}

struct Received {
  ULONG_PTR code = 0;
  DWORD size = 0;
  bool nullData = false;
  HWND sender = nullptr;
  std::string bytes;
};

// A hidden top-level window of the driver's thread that plays QSOPAD's main window: it
// answers "QSOPADLOG" 0 with 255 (while `answer`) and keeps the records it receives.
class Partner {
 public:
  Partner() {
    static const bool registered = [] {
      WNDCLASSA wc{};
      wc.lpfnWndProc = Proc;
      wc.hInstance = GetModuleHandleA(nullptr);
      wc.lpszClassName = "QSOLOG_TestPartner";
      return RegisterClassA(&wc) != 0;
    }();
    if (registered)
      hwnd_ = CreateWindowExA(0, "QSOLOG_TestPartner", "partner", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr,
                              nullptr, GetModuleHandleA(nullptr), this);
  }
  Partner(const Partner&) = delete;
  Partner& operator=(const Partner&) = delete;
  ~Partner() {
    if (hwnd_) DestroyWindow(hwnd_);
  }
  HWND hwnd() const { return hwnd_; }

  bool answer = true;
  std::vector<HWND> handshakes;  // lParam of each "QSOPADLOG" 0
  std::vector<Received> records;

 private:
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE)
      SetWindowLongPtrA(hwnd, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams));
    auto* self = reinterpret_cast<Partner*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (self && msg == LogMsg() && wp == 0) {
      self->handshakes.push_back(reinterpret_cast<HWND>(lp));
      if (self->answer) PostMessageA(reinterpret_cast<HWND>(lp), LogMsg(), 255, reinterpret_cast<LPARAM>(hwnd));
      return 0;
    }
    if (self && msg == WM_COPYDATA) {
      const auto* cds = reinterpret_cast<const COPYDATASTRUCT*>(lp);
      Received r{cds->dwData, cds->cbData, cds->lpData == nullptr, reinterpret_cast<HWND>(wp), {}};
      if (cds->lpData) r.bytes.assign(static_cast<const char*>(cds->lpData), cds->cbData);
      self->records.push_back(r);
      return kPartnerAnswer;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
  }

  HWND hwnd_ = nullptr;
};

// Sends a record to the stand-in as QSOPAD does; true when it was handled with TRUE.
bool SendRecord(HWND log, HWND sender, ULONG_PTR code, const char* data, DWORD size) {
  COPYDATASTRUCT cds{code, size, const_cast<char*>(data)};
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(log, WM_COPYDATA, reinterpret_cast<WPARAM>(sender), reinterpret_cast<LPARAM>(&cds),
                             SMTO_NORMAL | SMTO_ABORTIFHUNG, kWait, &result) != 0 &&
         result == TRUE;
}

std::string Shown(HWND log, int id) { return TextOf(GetDlgItem(log, id)); }

bool PairedWith(const std::string& journal, HWND partner, size_t nth) {
  size_t seen = 0;
  for (const auto& e : Select(ReadJournal(journal), "log", "PAIRED"))
    if (LogHandle(e.Arg(0)) == partner && ++seen == nth) return true;
  return false;
}

}  // namespace

E2E_SCENARIO(qsolog_starts_and_journals_announcements) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("qsolog.log");
  const DWORD pid = StartQsolog(programs, journal, {}, false);
  const HWND log = FindQsolog(pid);
  REQUIRE(log);
  CHECK(TextOf(log) == kQsologCaption && IsWindowVisible(log));
  CHECK_MSG(Shown(log, kQsologPartnerId) == "not paired", Shown(log, kQsologPartnerId));

  const JournalEntry start = WaitJournal(journal, "log", "START", kWait);
  CHECK_MSG(start.Num(0) == static_cast<long long>(pid) && LogHandle(start.Arg(1)) == log, start.line);
  CHECK_MSG(start.ms > 0 && start.ms <= NowMs(), "journal clock differs from the driver's: " << start.line);

  // Broadcast synchronously, as QSOPAD announces: journaled before the broadcast returns.
  const UINT func = FuncMsg();
  const std::pair<WPARAM, LPARAM> announcements[] = {{0, 1}, {0, 0}, {1, 0}};
  for (const auto& [wp, lp] : announcements) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(HWND_BROADCAST, func, wp, lp, SMTO_ABORTIFHUNG, kWait, &result);
  }
  Journal j = ReadJournal(journal);
  const std::vector<LogFunc> funcs = LogFuncs(j);
  REQUIRE_MSG(funcs.size() == 3, Dump(j));
  for (size_t i = 0; i < funcs.size(); ++i)
    CHECK_MSG(funcs[i].wparam == announcements[i].first && funcs[i].lparam == announcements[i].second, Dump(j));
  CHECK_MSG(Shown(log, kQsologAnnouncedId) == "closing", Shown(log, kQsologAnnouncedId));
  // QSOLOG_NO_PAIR: no handshake went out.
  CHECK_MSG(Count(j, "log", "PAIRREQ") == 0 && Count(j, "log", "LOGMSG") == 0, Dump(j));

  PostMessageA(log, WM_CLOSE, 0, 0);
  CHECK_MSG(programs.WaitExit(pid, kWait), "WM_CLOSE did not end the stand-in");
  CHECK(programs.ExitCode(pid) == 0);
  j = ReadJournal(journal);
  CHECK_MSG(!j.empty() && j.back().event == "EXIT", Dump(j));
}

E2E_SCENARIO(qsolog_hangs_on_announcement) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("qsolog.log");
  const DWORD pid = StartQsolog(programs, journal, {{"QSOLOG_HANG_ON_FUNC", "1500"}}, false);
  const HWND log = FindQsolog(pid);
  REQUIRE(log && Answers(log));

  PostMessageA(log, FuncMsg(), 0, 1);
  const JournalEntry hang = WaitJournal(journal, "log", "HANG", kWait);
  REQUIRE_MSG(hang.Num(0) == 1500, hang.line);
  CHECK_MSG(!Answers(log, 300), "the stand-in answered while it should hang");
  const JournalEntry end = WaitJournal(journal, "log", "HANGEND", kWait);
  REQUIRE(!end.event.empty());
  CHECK_MSG(end.ms - hang.ms >= 1450, "hung only " << end.ms - hang.ms << " ms");
  CHECK(Answers(log));
  const Journal j = ReadJournal(journal);
  CHECK_MSG(IndexOf(j, "log", "FUNC") >= 0 && IndexOf(j, "log", "FUNC") < IndexOf(j, "log", "HANG"), Dump(j));
}

E2E_SCENARIO(qsolog_pairs_at_start_and_sends_records) {
  TempFolder temp;
  Programs programs;
  Partner partner;
  REQUIRE(partner.hwnd());
  const std::string journal = temp.File("qsolog.log");
  const DWORD pid = StartQsolog(programs, journal);
  const HWND log = FindQsolog(pid);
  REQUIRE(log);

  // The handshake reaches a hidden top-level window; the answer makes it the partner.
  REQUIRE_MSG(PumpUntil([&] { return !partner.handshakes.empty(); }, kWait), "no handshake arrived");
  CHECK(partner.handshakes.front() == log);
  REQUIRE_MSG(WaitUntil([&] { return PairedWith(journal, partner.hwnd(), 1); }, kWait), Dump(ReadJournal(journal)));
  Journal j = ReadJournal(journal);
  const int request = IndexOf(j, "log", "PAIRREQ");
  const int paired = IndexOf(j, "log", "PAIRED");
  CHECK_MSG(request >= 0 && j[static_cast<size_t>(request)].Arg(0) == "1" && request < paired, Dump(j));
  const Journal logmsgs = Select(j, "log", "LOGMSG");
  CHECK_MSG(logmsgs.size() == 2 && logmsgs[0].Arg(0) == "0" && LogHandle(logmsgs[0].Arg(1)) == log &&
                logmsgs[1].Arg(0) == "255" && LogHandle(logmsgs[1].Arg(1)) == partner.hwnd(),
            Dump(j));
  CHECK_MSG(Shown(log, kQsologPartnerId).rfind("paired with ", 0) == 0, Shown(log, kQsologPartnerId));

  // Each command delivers one record while LogSend waits; what arrives is what Wine passes.
  struct Row {
    const char* what;
    std::function<bool()> send;
    ULONG_PTR code;
    std::string bytes;
  };
  const std::string awkward("J\xFCrgen 100%\x01");
  const Row rows[] = {
      {"call", [&] { return LogSend(log, 1, "DL1ABC"); }, 1, "DL1ABC"},
      {"name with high bytes", [&] { return LogSend(log, 2, awkward); }, 2, awkward},
      {"closing", [&] { return LogSend(log, 0, "x"); }, 0, "x"},
      {"300 bytes", [&] { return LogSendLong(log); }, 1, LogLongText()},
      // Wine passes no bytes for a NULL pointer, whatever size the sender gave.
      {"NULL pointer, size 10", [&] { return LogSendNull(log); }, 1, ""},
      {"empty", [&] { return LogSendEmpty(log); }, 2, ""},
  };
  for (const Row& row : rows) {
    const size_t before = partner.records.size();
    CHECK_MSG(row.send(), row.what);
    REQUIRE_MSG(partner.records.size() == before + 1, row.what << ": " << partner.records.size() - before);
    const Received& r = partner.records.back();
    Log(std::string(row.what) + ": arrived with size " + std::to_string(r.size) +
        (r.nullData ? " and a NULL pointer" : ""));
    CHECK_MSG(r.code == row.code && r.sender == log, row.what << ": code " << r.code);
    CHECK_MSG(r.size == row.bytes.size() && r.bytes == row.bytes,
              row.what << ": size " << r.size << (r.nullData ? " (NULL)" : "") << ", \"" << r.bytes << "\"");
  }
  j = ReadJournal(journal);
  const Journal sent = Select(j, "log", "SENT");
  REQUIRE_MSG(sent.size() == std::size(rows), Dump(j));
  for (size_t i = 0; i < sent.size(); ++i)
    CHECK_MSG(sent[i].Num(0) == static_cast<long long>(rows[i].code) && sent[i].Num(1) == kPartnerAnswer,
              sent[i].line);
  CHECK_MSG(Count(j, "log", "NOPARTNER") == 0 && Count(j, "log", "BADCMD") == 0, Dump(j));
}

E2E_SCENARIO(qsolog_pair_command_replaces_and_closing_drops_partner) {
  TempFolder temp;
  Programs programs;
  Partner first;
  Partner second;
  REQUIRE(first.hwnd() && second.hwnd());
  second.answer = false;
  const std::string journal = temp.File("qsolog.log");
  const DWORD pid = StartQsolog(programs, journal, {}, false);
  const HWND log = FindQsolog(pid);
  REQUIRE(log);

  // Unpaired: the command fails, says so, and nothing goes anywhere.
  CHECK(!LogSend(log, 1, "K1ABC"));
  PumpUntil([] { return false; }, 300);
  CHECK(first.handshakes.empty() && first.records.empty() && second.records.empty());
  Journal j = ReadJournal(journal);
  CHECK_MSG(Count(j, "log", "NOPARTNER") == 1 && Select(j, "log", "NOPARTNER")[0].Num(0) == 1 &&
                Count(j, "log", "SENT") == 0,
            Dump(j));

  // Pair on command with the first; a later handshake answered by the second replaces it.
  CHECK(LogPair(log));
  REQUIRE(PumpUntil([&] { return first.handshakes.size() == 1 && second.handshakes.size() == 1; }, kWait));
  REQUIRE_MSG(WaitUntil([&] { return PairedWith(journal, first.hwnd(), 1); }, kWait), Dump(ReadJournal(journal)));
  CHECK(LogSend(log, 1, "K1ABC"));
  first.answer = false;
  second.answer = true;
  CHECK(LogPair(log));
  REQUIRE(PumpUntil([&] { return second.handshakes.size() == 2; }, kWait));
  REQUIRE_MSG(WaitUntil([&] { return PairedWith(journal, second.hwnd(), 1); }, kWait), Dump(ReadJournal(journal)));
  CHECK(LogSend(log, 2, "Bob"));
  CHECK_MSG(first.records.size() == 1 && first.records[0].bytes == "K1ABC", first.records.size());
  CHECK_MSG(second.records.size() == 1 && second.records[0].bytes == "Bob", second.records.size());

  // A closing record from another window leaves the pairing; from the partner it ends it.
  CHECK(SendRecord(log, first.hwnd(), 0, "x", 1));
  CHECK(LogSend(log, 2, "Ann"));
  CHECK(SendRecord(log, second.hwnd(), 0, "x", 1));
  CHECK(!LogSend(log, 2, "Eve"));
  CHECK_MSG(second.records.size() == 2 && second.records[1].bytes == "Ann", second.records.size());
  j = ReadJournal(journal);
  const Journal unpaired = Select(j, "log", "UNPAIRED");
  CHECK_MSG(unpaired.size() == 1 && LogHandle(unpaired[0].Arg(0)) == second.hwnd(), Dump(j));
  CHECK_MSG(Count(j, "log", "NOPARTNER") == 2, Dump(j));
  CHECK_MSG(Shown(log, kQsologPartnerId) == "not paired", Shown(log, kQsologPartnerId));
}

E2E_SCENARIO(qsolog_journals_received_records_exactly) {
  TempFolder temp;
  Programs programs;
  Partner sender;  // records are taken from anyone; this window only names the sender
  REQUIRE(sender.hwnd());
  const std::string journal = temp.File("qsolog.log");
  const DWORD pid = StartQsolog(programs, journal, {}, false);
  const HWND log = FindQsolog(pid);
  REQUIRE(log);

  const std::string awkward("a b%c\x01\x7F\x80\xE4\xFF");
  const std::string withNul = awkward + std::string(1, '\0') + "z";
  const std::string longText = LogLongText();
  struct Row {
    const char* what;
    ULONG_PTR code;
    const char* data;
    DWORD size;
    std::string arrives;
  };
  const Row rows[] = {
      {"awkward bytes and a NUL", 2, withNul.data(), static_cast<DWORD>(withNul.size()), withNul},
      {"call", 1, "DL1ABC", 6, "DL1ABC"},
      {"name", 2, "Hans", 4, "Hans"},
      {"unknown code", 3, "ZZ", 2, "ZZ"},
      {"300 bytes", 1, longText.data(), 300, longText},
      {"NULL pointer, size 10", 1, nullptr, 10, ""},  // Wine passes size 0
      {"empty", 2, "", 0, ""},
  };
  for (const Row& row : rows) CHECK_MSG(SendRecord(log, sender.hwnd(), row.code, row.data, row.size), row.what);

  const Journal j = ReadJournal(journal);
  const std::vector<LogRecord> records = LogRecords(j);
  REQUIRE_MSG(records.size() == std::size(rows), Dump(j));
  for (size_t i = 0; i < records.size(); ++i) {
    const LogRecord& r = records[i];
    CHECK_MSG(r.code == rows[i].code && r.sender == sender.hwnd(), rows[i].what);
    CHECK_MSG(r.size == rows[i].arrives.size() && r.text == rows[i].arrives,
              rows[i].what << ": size " << r.size << ", \"" << r.text << "\"");
  }
  // The escape form itself, not only its round trip through the driver's decoder.
  const Journal lines = Select(j, "log", "RECORD");
  CHECK_MSG(lines[0].Arg(3) == "a%20b%25c%01%7F%80%E4%FF%00z", lines[0].line);
  CHECK_MSG(lines.back().args.size() == 3, "an empty text must leave the word out: " << lines.back().line);

  // The window shows the last call and name (the empty records above cleared them); other
  // codes leave them alone.
  CHECK_MSG(Shown(log, kQsologCallId) == "", Shown(log, kQsologCallId));
  CHECK_MSG(Shown(log, kQsologNameId) == "", Shown(log, kQsologNameId));
  CHECK(SendRecord(log, sender.hwnd(), 1, "DL1ABC", 6));
  CHECK(SendRecord(log, sender.hwnd(), 2, "Hans", 4));
  CHECK(SendRecord(log, sender.hwnd(), 3, "ZZ", 2));
  CHECK_MSG(Shown(log, kQsologCallId) == "DL1ABC", Shown(log, kQsologCallId));
  CHECK_MSG(Shown(log, kQsologNameId) == "Hans", Shown(log, kQsologNameId));
}
