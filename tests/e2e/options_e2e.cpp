// Scenarios of the options dialog in the real qsopad.exe, driven with real keys: the own
// call, word-break mode and the PSK31 function keys applied and followed at once; the
// options file saved, a value changed and loaded back; ADIF logging set up on the Logging
// page and a contact logged with it; damaged stored values and a damaged options file.
#include <windows.h>

#include <string>
#include <vector>

#include "driver.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"
#include "xkeys.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

void Keys(HWND top, const std::vector<std::string>& keys) {
  std::string error;
  REQUIRE_MSG(PressKeys(top, keys, &error), error);
}

HWND WindowOfClass(DWORD pid, const char* cls) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == cls && IsWindowVisible(w)) return w;
  return nullptr;
}

// Tools > Options with its access keys; the dialog, modal over the main window.
HWND OpenOptions(RoadSession& s) {
  Keys(s.main, {"alt+t", "o"});
  HWND w = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (w = WindowOfClass(s.qsopad.pid, "QSOPAD_frmOptions")) != nullptr; }, kWait),
              "Tools > Options opened no dialog");
  CHECK_MSG(WaitUntil([&] { return !IsWindowEnabled(s.main); }, kWait), "the main window still takes input");
  return w;
}

bool Checked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

int Check(int n) { return IDC_OPT_CHECK1 + n - 1; }

}  // namespace

E2E_SCENARIO(options_applied_and_followed_at_once) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Call", "MyCall", "DL1ABC"}, {"Macro", "10", "<F1>"}});
  HWND command3 = GetDlgItem(s.main, IDC_COMMAND3);
  REQUIRE(WaitText(command3, "DL1ABC", kWait));

  HWND w = OpenOptions(s);
  CHECK_MSG(TextOf(w) == "Options", TextOf(w));
  CHECK(IsWindowVisible(GetDlgItem(w, IDC_OPT_PATH)) && !IsWindowVisible(GetDlgItem(w, Check(11))));
  CHECK_MSG(TextOf(GetDlgItem(w, Check(4))) == "Convert &0 to \xD8 ", TextOf(GetDlgItem(w, Check(4))));
  // The own call: Alt+N is its box's access key.
  Keys(w, {"alt+n", "ctrl+a", "P", "A", "3", "X", "Y", "Z"});
  CHECK_MSG(WaitText(GetDlgItem(w, IDC_OPT_CALLSIGN), "PA3XYZ", kWait), TextOf(GetDlgItem(w, IDC_OPT_CALLSIGN)));
  // Ctrl+Tab to the Options page: word-break mode and the PSK31 function keys.
  Keys(w, {"ctrl+Tab"});
  REQUIRE_MSG(WaitUntil([&] { return IsWindowVisible(GetDlgItem(w, Check(11))); }, kWait), "Ctrl+Tab did not turn the page");
  CHECK(!IsWindowVisible(GetDlgItem(w, IDC_OPT_PATH)));
  Keys(w, {"alt+d"});
  CHECK_MSG(WaitUntil([&] { return Checked(w, Check(11)); }, kWait), "Alt+D did not tick word-break mode");
  // "F&Keys" shares its key with "CD Loo&kup ...": each Alt+K moves on to the next of
  // the two without ticking it; Space ticks.
  HWND fkeys = GetDlgItem(w, Check(8));
  for (int i = 0; i < 3 && FocusOfThread(w) != fkeys; ++i) {
    Keys(w, {"alt+k"});
    WaitUntil([&] { return FocusOfThread(w) == fkeys; }, 1000);
  }
  CHECK_MSG(FocusOfThread(w) == fkeys, "Alt+K never reached Use PSK31 FKeys");
  CHECK_MSG(!Checked(w, Check(14)) && !Checked(w, Check(8)), "Alt+K ticked a box it shares its key with");
  Keys(w, {"space"});
  CHECK_MSG(WaitUntil([&] { return Checked(w, Check(8)); }, kWait), "Use PSK31 FKeys not ticked");
  // Apply: the FKeys tab is renamed at once, the dialog stays.
  PostMessageA(w, WM_COMMAND, MAKEWPARAM(IDC_OPT_APPLY, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(w, IDC_OPT_APPLY)));
  CHECK_MSG(WaitUntil([&] { return TextOf(GetDlgItem(w, IDC_OPT_FRAME2)) == "Set Control+Function Keys"; }, kWait),
            TextOf(GetDlgItem(w, IDC_OPT_FRAME2)));
  CHECK_MSG(WaitUntil([&] { return ReadSetting(s.temp().path(), "Opt", "WordBk") == std::optional<std::string>("True"); }, kWait),
            "WordBk not stored");
  CHECK(IsWindow(w));
  Keys(w, {"Return"});  // OK
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "OK left the dialog open");
  CHECK_MSG(WaitUntil([&] { return IsWindowEnabled(s.main); }, kWait), "the main window stays disabled");
  CHECK_MSG(WaitText(command3, "PA3XYZ", kWait), TextOf(command3));

  // F1 now presses the station's F1 instead of sending macro 10.
  const size_t keys_before = KeyTrail(ReadJournal(s.psk31Journal), "panel").size();
  Keys(s.main, {"F1"});
  CHECK_MSG(WaitUntil([&] { return KeyTrail(ReadJournal(s.psk31Journal), "panel").size() > keys_before; }, kWait),
            "F1 did not reach the station with PSK31 FKeys on");
  CHECK_MSG(TextOf(s.text1).find("<F1>") == std::string::npos, "F1 still sent its macro");

  // Word-break mode: a word goes out only once it is complete.
  Keys(s.main, {"alt+s", "a", "b"});
  Pause(700);
  CHECK_MSG(MemoChars(ReadJournal(s.psk31Journal)).empty(), "half a word went out in word-break mode");
  Keys(s.main, {"space"});
  CHECK_MSG(!WaitMemoChars(s.psk31Journal, 3, kWait).empty() && MemoChars(ReadJournal(s.psk31Journal)).size() >= 3,
            "the word did not go out");
}

E2E_SCENARIO(options_file_saved_loaded_and_logging_set_up) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Macro", "3", "say \"hi\", then\r\nbye"}});
  const std::string qpd = s.temp().File("setup.qpd"), adi = s.temp().File("station.adi");

  HWND w = OpenOptions(s);
  HWND zone = GetDlgItem(w, IDC_OPT_TZONE);
  CHECK_MSG(TextOf(zone) == "z", TextOf(zone));
  // "Sa&ve Opts" shares its key with "Rc&v Character:": Alt+V twice, then Space.
  HWND save = GetDlgItem(w, IDC_OPT_COMMAND5);
  for (int i = 0; i < 3 && FocusOfThread(w) != save; ++i) {
    Keys(w, {"alt+v"});
    WaitUntil([&] { return FocusOfThread(w) == save; }, 1000);
  }
  Keys(w, {"space"});
  REQUIRE_MSG(PickFile("Select Save File", qpd, s.qsopad.pid, kWait), "no \"Select Save File\" dialog");
  CHECK_MSG(WaitUntil([&] { return FileExists(qpd); }, kWait), "no options file");
  const std::string saved = ReadFileText(qpd);
  CHECK_MSG(saved.find("\"3\",\"say \"\"hi\"\", then\r\nbye\"\r\n") != std::string::npos, Visible(saved));
  // A value changed in the box, then the file loaded back over the dialog.
  Keys(w, {"alt+z", "ctrl+a", "U", "T", "C"});
  CHECK(WaitText(zone, "UTC", kWait));
  Keys(w, {"alt+l"});  // &Load Opts, before the Logging tab's key
  REQUIRE_MSG(PickFile("Select Load File", qpd, s.qsopad.pid, kWait), "no \"Select Load File\" dialog");
  CHECK_MSG(WaitText(zone, "z", kWait), "after Load Opts the zone box reads " << TextOf(zone));

  // The Logging page, four tabs on: logging on at once, a file, OK.
  Keys(w, {"ctrl+Tab", "ctrl+Tab", "ctrl+Tab", "ctrl+Tab"});
  HWND enable = GetDlgItem(w, IDC_OPT_ADIFEN), file = GetDlgItem(w, IDC_OPT_ADIFFILE);
  REQUIRE_MSG(WaitUntil([&] { return IsWindowVisible(enable); }, kWait), "no Logging page");
  CHECK(!IsWindowEnabled(file));
  Keys(w, {"alt+e"});
  CHECK_MSG(WaitUntil([&] { return ReadSetting(s.temp().path(), "ADIF", "En") == std::optional<std::string>("1"); }, kWait),
            "\"Enable ADIF\" not stored at once");
  CHECK(IsWindowEnabled(file));
  SendMessageA(file, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(adi.c_str()));
  Keys(w, {"Return"});
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "OK left the dialog open");
  CHECK_MSG(ReadSetting(s.temp().path(), "ADIF", "File") == std::optional<std::string>(adi), "the log file was not stored");
  CHECK_MSG(ReadSetting(s.temp().path(), "Opt", "Zone") == std::optional<std::string>("z"), "the zone is not back");

  // Logged through Tools > Log.
  Keys(s.main, {"alt+t", "g"});
  HWND log = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (log = WindowOfClass(s.qsopad.pid, "QSOPAD_Log")) != nullptr; }, kWait),
              "no log window");
  Keys(log, {"N", "0", "C", "A", "L", "L", "Return"});
  CHECK_MSG(WaitUntil([&] { return ReadFileText(adi).find("<CALL:6>N0CALL\r\n") != std::string::npos; }, kWait),
            Visible(ReadFileText(adi)));
  CHECK(ReadFileText(adi).rfind("QSOPAD Log file <eoh>\r\n", 0) == 0);
}

// Values a hand edit damaged: the dialog opens all the same, names them once and mends them
// on OK. An options file holding such a value is refused whole, naming line, key and value.
E2E_SCENARIO(options_damaged_values_named_and_a_damaged_file_refused) {
  RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "FontSize", "big"}, {"Opt", "MPAL", "True"}});
  const std::string qpd = s.temp().File("damaged.qpd");
  REQUIRE(WriteFileText(qpd, "\"*Opt\",\"*\"\r\n\"Zone\",\"UTC\"\r\n\"FontColor\",\"red\"\r\n"));

  HWND w = OpenOptions(s);
  MessageBoxInfo box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message naming the damaged values");
  CHECK_MSG(box.text.find("\"FontSize\" holds \"big\"") != std::string::npos &&
                box.text.find("\"MPAL\" holds \"True\"") != std::string::npos,
            box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  CHECK(IsWindow(w));

  Keys(w, {"alt+l"});  // &Load Opts
  REQUIRE_MSG(PickFile("Select Load File", qpd, s.qsopad.pid, kWait), "no \"Select Load File\" dialog");
  box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message about the damaged file");
  CHECK_MSG(box.text.rfind("File error: line 3: Setting [Opt] \"FontColor\" holds \"red\"", 0) == 0, box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  // The dialog answers again with no second naming of the values above.
  CHECK(WaitUntil([&] { return Answers(w); }, kWait));
  CHECK(!FindMessageBox("QSOPAD", s.qsopad.pid));
  CHECK_MSG(TextOf(GetDlgItem(w, IDC_OPT_TZONE)) == "z", TextOf(GetDlgItem(w, IDC_OPT_TZONE)));
  CHECK(!ReadSetting(s.temp().path(), "Opt", "Zone"));

  Keys(w, {"Return"});  // OK
  CHECK_MSG(WaitUntil([&] { return !IsWindow(w); }, kWait), "OK left the dialog open");
  CHECK_MSG(ReadSetting(s.temp().path(), "Opt", "FontSize") == std::optional<std::string>("10") &&
                ReadSetting(s.temp().path(), "Opt", "MPAL") == std::optional<std::string>("0"),
            ReadSettingsFile(s.temp().path()));
  CHECK(WaitUntil([&] { return Answers(s.main); }, kWait));
}
