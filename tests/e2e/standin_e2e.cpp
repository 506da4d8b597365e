// Scenarios that check the PSK31 stand-in itself, and the driver helpers they rest on, so
// that the stand-in's journal and switches can be trusted by the scenarios that drive QSOPAD.
#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "driver.h"
#include "e2e.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

// A journal entry that names a sent or posted key or character.
bool Via(const JournalEntry& e, const char* how) { return e.Arg(1) == how; }

}  // namespace

E2E_SCENARIO(standin_windows_and_captions) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  const DWORD pid = StartPsk31(programs, journal);

  // Found by exactly the classes and captions a driving program uses.
  Psk31Windows w = FindPsk31();
  REQUIRE_MSG(w.app && w.form, "application or form window missing");
  CHECK(ProcessOf(w.app) == pid && ProcessOf(w.form) == pid);
  RECT appRect{};
  GetWindowRect(w.app, &appRect);
  CHECK_MSG(!IsWindowVisible(w.app) || IsRectEmpty(&appRect), "the application window must show nothing");
  CHECK(IsWindowVisible(w.form));
  CHECK(w.panel && w.tune && w.memo && w.rxGroup && w.rxBox && w.txGroup && w.txBox);
  CHECK(IsWindowEnabled(w.tune));
  CHECK_MSG(TextOf(w.rxBox) == "1000" && TextOf(w.txBox) == "1000", TextOf(w.rxBox) << " / " << TextOf(w.txBox));
  CHECK_MSG(!FindPsk31(true).app, "an EVM window while the soundcard version runs");
  RECT r{};
  GetWindowRect(w.form, &r);
  CHECK_MSG(r.right - r.left == 640 && r.bottom - r.top == 240, r.right - r.left << "x" << r.bottom - r.top);

  const JournalEntry start = WaitJournal(journal, "app", "START", kWait);
  CHECK_MSG(start.Num(0) == static_cast<long long>(pid), start.line);
  CHECK_MSG(start.ms > 0 && start.ms <= NowMs(), "journal clock differs from the driver's: " << start.line);

  // The EVM version answers to the other captions only.
  programs.KillAll();
  REQUIRE(WaitUntil([] { return !FindTop("TForm1", "PSK31 SB [BPSK]"); }, kWait));
  StartPsk31(programs, "", {{"PSK31_EVM", "1"}});
  Psk31Windows evm = FindPsk31(true);
  CHECK(evm.app && evm.form && evm.panel && evm.tune && evm.memo && evm.rxBox && evm.txBox);
  CHECK(TextOf(evm.form) == "PSK31 EVM [BPSK]");
  CHECK(!FindTop("TApplication", "PSK31 for Windows on the Soundcard"));
}

E2E_SCENARIO(standin_transmits_until_text_gone_and_f5) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal, {{"PSK31_CPS", "20"}});
  Psk31Windows w = FindPsk31();
  REQUIRE(w.memo && w.tune && w.panel);

  const std::string text = "CQ CQ de K1ABC\r";
  SendChars(w.memo, text);
  CHECK_MSG(!IsWindowEnabled(w.tune), "Tune must be disabled as soon as text arrives");
  SendKey(w.panel, VK_F5);
  // The text takes about 0.7 s at 20 characters per second; F5 must not cut it short.
  CHECK_MSG(!IsWindowEnabled(w.tune), "F5 ended the transmission before the text had gone");
  REQUIRE_MSG(WaitUntil([&] { return IsWindowEnabled(w.tune); }, kWait), "Tune never came back");
  const JournalEntry end = WaitJournal(journal, "app", "TXEND", kWait);
  REQUIRE(!end.event.empty());

  Journal j = ReadJournal(journal);
  CHECK_MSG(CharsTo(j, "memo") == text, Dump(j));
  CHECK_MSG(Transmitted(j) == text, Dump(j));
  CHECK(Count(j, "app", "TXSTART") == 1 && Count(j, "app", "TXEND") == 1);
  for (const auto& e : Select(j, "memo", "WM_CHAR")) CHECK_MSG(Via(e, "sent"), e.line);
  const Journal keys = Select(j, "panel", "");
  CHECK_MSG(keys.size() == 2 && keys[0].event == "WM_KEYDOWN" && keys[0].Num(0) == VK_F5 &&
                keys[1].event == "WM_KEYUP" && keys[1].Num(0) == VK_F5 && Via(keys[0], "sent"),
            Dump(keys));
  // Order: TXSTART, all characters, then TXEND, which comes after F5 arrived.
  const int start = IndexOf(j, "app", "TXSTART");
  const int f5 = IndexOf(j, "panel", "WM_KEYDOWN");
  const Journal sentChars = Select(j, "app", "TXCHAR");
  const int txend = IndexOf(j, "app", "TXEND");
  CHECK_MSG(start >= 0 && start < f5 && f5 < txend && IndexOf(j, "app", "TXCHAR") > start, Dump(j));
  CHECK_MSG(IndexOf(j, "app", "TXCHAR", static_cast<size_t>(txend)) < 0, Dump(j));
  // Speed: 15 characters at 20 per second cannot go out in less than about 0.7 s.
  REQUIRE(sentChars.size() == text.size());
  const auto span = sentChars.back().ms - sentChars.front().ms;
  CHECK_MSG(span >= 560, "characters went out too fast: " << span << " ms");
}

E2E_SCENARIO(standin_stays_transmitting_without_stop_key) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal, {{"PSK31_CPS", "200"}});
  Psk31Windows w = FindPsk31();
  REQUIRE(w.memo && w.tune && w.panel);

  // All text gone but no stop key yet: still transmitting.
  PostChars(w.memo, "abc");
  REQUIRE(!WaitJournal(journal, "app", "TXCHAR", kWait, [](const JournalEntry& e) { return e.Num(0) == 'c'; })
               .event.empty());
  Pause(300);
  CHECK_MSG(!IsWindowEnabled(w.tune), "transmission ended without F5/F6");
  CHECK(Count(ReadJournal(journal), "app", "TXEND") == 0);
  for (const auto& e : Select(ReadJournal(journal), "memo", "WM_CHAR")) CHECK_MSG(Via(e, "posted"), e.line);

  // F6 with nothing pending: CW identification and the end, at once.
  SendKey(w.panel, VK_F6);
  CHECK_MSG(IsWindowEnabled(w.tune), "F6 with nothing pending must end the transmission at once");
  Journal j = ReadJournal(journal);
  CHECK_MSG(IndexOf(j, "app", "CWID") >= 0 && IndexOf(j, "app", "CWID") < IndexOf(j, "app", "TXEND"), Dump(j));

  // F5 while receiving changes nothing; F8 tunes and F8 again stops.
  SendKey(w.panel, VK_F5);
  CHECK(IsWindowEnabled(w.tune));
  SendKey(w.panel, VK_F8);
  CHECK_MSG(!IsWindowEnabled(w.tune), "F8 did not start tuning");
  SendKey(w.panel, VK_F8);
  CHECK(IsWindowEnabled(w.tune));
  j = ReadJournal(journal);
  CHECK_MSG(Count(j, "app", "TXSTART") == 2 && Count(j, "app", "TXEND") == 2, Dump(j));

  // Text typed after F5 but before the first text has gone is a second transmission.
  SendChars(w.memo, "xy");
  SendKey(w.panel, VK_F5);
  SendChars(w.memo, "z");
  REQUIRE(!WaitJournal(journal, "app", "TXCHAR", kWait, [](const JournalEntry& e) { return e.Num(0) == 'z'; })
               .event.empty());
  CHECK_MSG(!IsWindowEnabled(w.tune), "the text after F5 must still be transmitting");
  j = ReadJournal(journal);
  const int firstEnd = IndexOf(j, "app", "TXEND", static_cast<size_t>(IndexOf(j, "memo", "WM_CHAR", 3)));
  CHECK_MSG(firstEnd >= 0 && IndexOf(j, "app", "TXSTART", static_cast<size_t>(firstEnd)) > firstEnd, Dump(j));
}

E2E_SCENARIO(standin_f1_toggles_mode) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal);
  Psk31Windows w = FindPsk31();
  REQUIRE(w.panel);
  SendKey(w.panel, VK_F1);
  CHECK_MSG(TextOf(w.form) == "PSK31 SB [QPSK]", TextOf(w.form));
  CHECK_MSG(FindTop("TForm1", "PSK31 SB [QPSK]") == w.form, "QPSK form not found by caption");
  SendKey(w.panel, VK_F1);
  CHECK(TextOf(w.form) == "PSK31 SB [BPSK]");
  const Journal modes = Select(ReadJournal(journal), "app", "MODE");
  CHECK_MSG(modes.size() == 2 && modes[0].Arg(0) == "QPSK" && modes[1].Arg(0) == "BPSK", Dump(modes));
  // Other function keys leave the caption alone.
  for (int vk = VK_F2; vk <= VK_F4; ++vk) SendKey(w.panel, vk);
  SendKey(w.panel, VK_F7);
  CHECK(TextOf(w.form) == "PSK31 SB [BPSK]");
}

E2E_SCENARIO(standin_rx_frequency_nudge_and_entry) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal);
  Psk31Windows w = FindPsk31();
  REQUIRE(w.memo && w.rxBox);

  SendKey(w.memo, VK_RIGHT);
  SendKey(w.memo, VK_RIGHT);
  SendKey(w.memo, VK_LEFT);
  SendKey(w.memo, VK_UP);
  SendKey(w.memo, VK_DOWN);
  CHECK_MSG(TextOf(w.rxBox) == "1001", TextOf(w.rxBox));
  Journal j = ReadJournal(journal);
  Journal freqs = Select(j, "rxbox", "RXFREQ");
  CHECK_MSG(freqs.size() == 3 && freqs[0].Num(0) == 1001 && freqs[1].Num(0) == 1002 && freqs[2].Num(0) == 1001,
            Dump(freqs));
  CHECK_MSG(Count(j, "app", "TXSTART") == 0, "arrow keys must not start a transmission");

  // What a driving program sends to set the frequency to 14 Hz.
  SendKey(w.rxBox, VK_END);
  SendChars(w.rxBox, std::string(8, '\b') + "14\r");
  CHECK_MSG(TextOf(w.rxBox) == "14", TextOf(w.rxBox));
  j = ReadJournal(journal);
  const JournalEntry last = Select(j, "rxbox", "RXFREQ").back();
  CHECK_MSG(last.Num(0) == 14, Dump(j));
  CHECK_MSG(CharsTo(j, "rxbox") == std::string(8, '\b') + "14\r", Dump(j));
  CHECK(Count(j, "rxbox", "WM_KEYDOWN") == 1 && Select(j, "rxbox", "WM_KEYDOWN")[0].Num(0) == VK_END);

  // Eight backspaces reach only eight characters back: of "141234567" the "1" stays.
  SendKey(w.rxBox, VK_END);
  SendChars(w.rxBox, "1234567");
  SendKey(w.rxBox, VK_END);
  SendChars(w.rxBox, std::string(8, '\b') + "7\r");
  CHECK_MSG(TextOf(w.rxBox) == "17", TextOf(w.rxBox));
  CHECK(Select(ReadJournal(journal), "rxbox", "RXFREQ").back().Num(0) == 17);
  // Not a number: rejected, and the box shows the frequency in force again.
  SendKey(w.rxBox, VK_END);
  SendChars(w.rxBox, std::string(8, '\b') + "abc\r");
  j = ReadJournal(journal);
  CHECK_MSG(Count(j, "rxbox", "RXFREQBAD") == 1, Dump(j));
  CHECK_MSG(TextOf(w.rxBox) == "17", "a bad entry must restore the last frequency, shows " << TextOf(w.rxBox));
  // Posted characters are told apart from sent ones.
  PostChars(w.rxBox, "9");
  const JournalEntry posted = WaitJournal(journal, "rxbox", "WM_CHAR", kWait,
                                          [](const JournalEntry& e) { return e.Num(0) == '9'; });
  CHECK_MSG(Via(posted, "posted"), posted.line);
}

E2E_SCENARIO(standin_switches_leave_windows_out) {
  struct Row {
    const char* name;
    bool panel, tune, memo, freq;
  };
  const Row rows[] = {
      {"PSK31_NO_PANEL", false, false, false, false},
      {"PSK31_NO_TUNE", true, false, true, true},
      {"PSK31_NO_MEMO", true, true, false, true},
      {"PSK31_NO_FREQ", true, true, true, false},
  };
  for (const Row& row : rows) {
    Log(row.name);
    Programs programs;
    StartPsk31(programs, "", {{row.name, "1"}});
    Psk31Windows w = FindPsk31();
    CHECK_MSG(w.app && w.form, row.name);
    CHECK_MSG((w.panel != nullptr) == row.panel, row.name);
    CHECK_MSG((w.tune != nullptr) == row.tune, row.name);
    CHECK_MSG((w.memo != nullptr) == row.memo, row.name);
    CHECK_MSG((w.rxGroup != nullptr) == row.freq && (w.rxBox != nullptr) == row.freq, row.name);
    CHECK_MSG((w.txGroup != nullptr) == row.freq && (w.txBox != nullptr) == row.freq, row.name);
    programs.KillAll();
    CHECK_MSG(WaitUntil([] { return !FindTop("TForm1", nullptr); }, kWait), row.name << ": form outlived its process");
  }
}

E2E_SCENARIO(standin_hangs_on_key) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  StartPsk31(programs, journal, {{"PSK31_HANG_ON_KEY", "116"}, {"PSK31_HANG_MS", "1500"}});
  Psk31Windows w = FindPsk31();
  REQUIRE(w.panel && w.form);
  CHECK(Answers(w.form));
  SendKey(w.panel, VK_F4);  // another key: no hang
  CHECK(Count(ReadJournal(journal), "app", "HANG") == 0);

  PostKey(w.panel, VK_F5);
  const JournalEntry hang = WaitJournal(journal, "app", "HANG", kWait);
  REQUIRE_MSG(!hang.event.empty(), Dump(ReadJournal(journal)));
  CHECK(hang.Num(0) == 1500);
  const std::int64_t asked = NowMs();
  CHECK_MSG(!Answers(w.form, 200), "the stand-in answered while it should sleep");
  CHECK_MSG(NowMs() - asked < 1000, "SendMessageTimeout did not return in time");
  CHECK(TextOf(w.form, 100).empty());
  const JournalEntry back = WaitJournal(journal, "app", "HANGEND", kWait);
  REQUIRE(!back.event.empty());
  CHECK_MSG(back.ms - hang.ms >= 1450, back.ms - hang.ms << " ms");
  CHECK(Answers(w.form));
}

E2E_SCENARIO(standin_moves_minimises_and_closes) {
  TempFolder temp;
  Programs programs;
  const std::string journal = temp.File("psk31.log");
  // Launched minimised, as a driving program does: the application window reports it.
  const DWORD pid = StartPsk31(programs, journal, {}, SW_SHOWMINIMIZED);
  Psk31Windows w = FindPsk31();
  REQUIRE(w.app && w.form);
  CHECK_MSG(WaitUntil([&] { return IsIconic(w.form) && IsIconic(w.app); }, kWait),
            "minimised start not reported by the application window");
  ShowWindow(w.form, SW_RESTORE);
  CHECK_MSG(WaitUntil([&] { return !IsIconic(w.app); }, kWait),
            "form iconic " << IsIconic(w.form) << Dump(ReadJournal(journal)));

  MoveWindow(w.form, 37, 53, 700, 300, TRUE);
  const JournalEntry move = WaitJournal(journal, "form", "MOVE", kWait, [](const JournalEntry& e) {
    return e.Num(0) == 37 && e.Num(1) == 53 && e.Num(2) == 700 && e.Num(3) == 300;
  });
  CHECK_MSG(!move.event.empty(), Dump(Select(ReadJournal(journal), "form", "")));
  RECT r{};
  GetWindowRect(w.form, &r);
  CHECK_MSG(r.left == 37 && r.top == 53, r.left << "," << r.top);

  const std::int64_t asked = NowMs();
  PostMessageA(w.form, WM_CLOSE, 0, 0);
  CHECK_MSG(programs.WaitExit(pid, 8000), "WM_CLOSE did not end the stand-in");
  Log("closed in " + std::to_string(NowMs() - asked) + " ms");
  CHECK(programs.ExitCode(pid) == 0);
  const Journal j = ReadJournal(journal);
  CHECK_MSG(IndexOf(j, "form", "WM_CLOSE") >= 0 && IndexOf(j, "app", "EXIT") > IndexOf(j, "form", "WM_CLOSE"),
            Dump(j));
}

E2E_SCENARIO(driver_guard_ends_program_trees) {
  // The guard ends what it started and what that started: here cmd starts the stand-in.
  DWORD child = 0;
  {
    Programs programs;
    StartOptions cmd;
    cmd.exe = "C:\\windows\\system32\\cmd.exe";
    cmd.args = "/c \"" + StandinExe("psk31sbw") + "\"";
    cmd.show = SW_HIDE;
    const DWORD shell = programs.Start(cmd);
    HWND form = WaitTop("TForm1", "PSK31 SB [BPSK]", 10000);
    REQUIRE_MSG(form, "cmd did not start the stand-in");
    child = ProcessOf(form);
    CHECK(child != shell);
    // cmd /c waits for the program it ran, so the stand-in is found as cmd's child.
    CHECK(ProcessAlive(shell));
  }
  CHECK_MSG(WaitUntil([&] { return !ProcessAlive(child); }, kWait), "the stand-in outlived the guard");
  CHECK(WaitUntil([] { return !FindTop("TForm1", "PSK31 SB [BPSK]"); }, kWait));

  // A missing program is reported with the system's error, not silently ignored.
  Programs programs;
  StartOptions missing;
  missing.exe = JoinPath(TempFolder().path(), "nothing-here.exe");
  bool threw = false;
  try {
    programs.Start(missing);
  } catch (const std::runtime_error& e) {
    threw = std::string(e.what()).find("error 2") != std::string::npos ||
            std::string(e.what()).find("error 3") != std::string::npos;
    Log(e.what());
  }
  CHECK(threw);
}

E2E_SCENARIO(driver_reads_and_answers_message_boxes) {
  // A box shown by another thread is found by title, read, and closed with OK.
  int answer = 0;
  std::atomic<DWORD> showerId{0};
  std::thread shower([&] {
    showerId = GetCurrentThreadId();
    answer = MessageBoxA(nullptr, "Can't find PSK31 window", "Error", MB_OK);
  });
  const MessageBoxInfo box = WaitMessageBox("Error", kWait, GetCurrentProcessId());
  const bool found = box.hwnd != nullptr;
  CHECK_MSG(box.text == "Can't find PSK31 window", box.text);
  CHECK(!FindMessageBox("Errors"));
  if (found) CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  if (!found) PostThreadMessageA(showerId, WM_QUIT, 0, 0);
  shower.join();
  CHECK_MSG(found && answer == IDOK, "message box answer " << answer);

  // Files written are read back byte for byte, including CR, LF and high bytes.
  TempFolder temp;
  const std::string bytes = std::string("a\r\nb\n\0c", 7) + "\xd8\xff";
  CHECK(WriteFileText(temp.File("x.bin"), bytes));
  CHECK(ReadFileText(temp.File("x.bin")) == bytes);
  CHECK(!FileExists(temp.File("y.bin")) && ReadFileText(temp.File("y.bin")).empty());
}
