// The manual's screenshots: each set starts QSOPAD beside the PSK31 stand-in as an
// operator would have it, opens its windows with real keys and saves each as a BMP file
// in $QSOPAD_SCREENS_DIR, which docs/screens.sh turns into docs/images/*.png.
#include <windows.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver.h"
#include "lookup/fcc_build.h"
#include "win32_fcc_files.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"
#include "xkeys.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

const Settings kOperator = {{"Call", "MyCall", "DL1ABC"},
                            {"Opt", "UCCALL", "1"},
                            {"Opt", "Zone", "z"},
                            {"Macro", "10", "CQ CQ CQ de ^M ^M ^M pse k^N"},
                            {"Macro", "11", "^C de ^M^N"},
                            {"Macro", "12", "tnx fer the call ^W, ur rst 599 599^N"}};

std::string OutFile(const std::string& name) {
  const char* dir = std::getenv("QSOPAD_SCREENS_DIR");
  REQUIRE_MSG(dir && *dir, "QSOPAD_SCREENS_DIR is not set");
  return JoinPath(dir, name + ".bmp");
}

void Shoot(HWND w, const std::string& name) {
  Pause(400);  // the last repaint
  REQUIRE_MSG(SaveWindowImage(w, OutFile(name)), "cannot save " << name);
  Log("saved " + name);
}

void Keys(HWND top, const std::vector<std::string>& keys) {
  std::string error;
  REQUIRE_MSG(PressKeys(top, keys, &error), error);
}

HWND WindowOfClass(DWORD pid, const char* cls) {
  HWND found = nullptr;
  WaitUntil([&] {
    for (HWND w : TopWindowsOf(pid))
      if (ClassOf(w) == cls && IsWindowVisible(w)) found = w;
    return found != nullptr;
  }, kWait);
  REQUIRE_MSG(found, "no window of class " << cls);
  return found;
}

HWND WaitBox(const char* title, DWORD pid) {
  HWND box = nullptr;
  WaitUntil([&] { return (box = FindMessageBox(title, pid)) != nullptr; }, kWait);
  REQUIRE_MSG(box, "no window titled " << title);
  return box;
}

void Click(HWND window, int id) {
  PostMessageA(window, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(window, id)));
}

// A small FCC database: its data file's full name.
std::string FccDatabase(const std::string& folder) {
  const std::string data = JoinPath(folder, "APPL.DAT");
  REQUIRE(WriteFileText(data,
                        "K1ABC |E|A|04/27/2033|Smith, John Q|12 Elm St||Hartford|CT|06103|\r\n"
                        "K1XYZ |G|A|08/06/2029|Jones, Mary|||Boston|MA|02108|\r\n"));
  struct Quiet : qsopad::FccBuildListener {
    void Progress(const std::string&, std::uint64_t) override {}
    void Skipped(const std::string&, std::uint64_t, const std::string&) override {}
  } quiet;
  qsopad::Win32FccFiles files;
  qsopad::BuildFccIndex(data, files, quiet);
  return data;
}

}  // namespace

// The main window beside the station, the macro palette, the call sign window opened out,
// the lookup source dialog, the result window, the About box and an input box.
E2E_SCREENS(windows) {
  RoadSession s;
  s.StartStation();
  Settings settings = kOperator;
  settings.push_back({"URLS", "CSLOOKUP", "*FCC PATH=" + FccDatabase(s.temp().path())});
  settings.push_back({"Opt", "luname", "1"});
  s.StartQsopad(settings);
  Keys(s.main, {"c", "q", "space", "c", "q", "space", "d", "e", "space"});
  Shoot(s.main, "main");
  Keys(s.main, {"shift+F12"});
  Shoot(WindowOfClass(s.qsopad.pid, "QSOPAD_Macros"), "palette");
  Keys(s.main, {"F12"});
  HWND csf = WindowOfClass(s.qsopad.pid, "QSOPAD_CallsignForm");
  Keys(csf, {"k", "1", "x", "y", "z"});
  Click(csf, IDC_CSF_COMMAND3);  // More>>>
  Shoot(csf, "callsign-more");
  Click(csf, IDC_CSF_COMMAND2);  // Lookup Data
  HWND lurl = WaitBox("Enter URL", s.qsopad.pid);
  Shoot(lurl, "lookup-source");
  PressAndWaitClosed(lurl, IDOK, kWait);
  Click(csf, IDC_CSF_COMMAND1);  // Lookup Now
  Shoot(WindowOfClass(s.qsopad.pid, "QSOPAD_LUResult"), "lookup-result");
  Click(csf, IDCANCEL);
  PostCommand(s.main, IDM_ABOUT);
  HWND about = WaitBox("About QSOPAD", s.qsopad.pid);
  Shoot(about, "about");
  PressAndWaitClosed(about, IDOK, kWait);
  PostCommand(s.main, IDM_SETSERIAL);
  HWND input = nullptr;
  WaitUntil([&] {
    for (HWND w : TopWindowsOf(s.qsopad.pid))
      if (ClassOf(w) == "#32770" && IsWindowVisible(w)) input = w;
    return input != nullptr;
  }, kWait);
  REQUIRE_MSG(input, "no input box");
  Shoot(input, "inputbox");
  PressAndWaitClosed(input, IDCANCEL, kWait);
}

E2E_SCREENS(options) {
  RoadSession s;
  s.StartStation();
  Settings settings = kOperator;
  settings.push_back({"ADIF", "En", "1"});
  settings.push_back({"ADIF", "File", "C:\\log\\station.adi"});
  s.StartQsopad(settings);
  Keys(s.main, {"alt+t", "o"});
  HWND w = WindowOfClass(s.qsopad.pid, "QSOPAD_frmOptions");
  const char* pages[] = {"options-setup", "options-options", "options-fkeys", "options-macros", "options-logging"};
  for (int i = 0; i < 5; ++i) {
    if (i > 0) Keys(w, {"ctrl+Tab"});
    Shoot(w, pages[i]);
  }
}

E2E_SCREENS(logging) {
  RoadSession s;
  s.StartStation();
  Settings settings = kOperator;
  settings.push_back({"ADIF", "En", "True"});
  settings.push_back({"ADIF", "File", s.temp().File("station.adi")});
  settings.push_back({"ADIF", "Val6", "BPSK31"});
  settings.push_back({"ADIF", "En2", "False"});
  s.StartQsopad(settings);
  Keys(s.main, {"F12"});
  HWND csf = WindowOfClass(s.qsopad.pid, "QSOPAD_CallsignForm");
  Keys(csf, {"k", "1", "x", "y", "z", "Tab", "J", "o", "e"});
  Shoot(csf, "callsign");
  Keys(csf, {"alt+o"});
  HWND log = WindowOfClass(s.qsopad.pid, "QSOPAD_Log");
  Keys(log, {"shift+Tab", "End"});
  Keys(log, {"t", "n", "x", "space", "f", "e", "r", "space", "Q", "S", "O"});
  Shoot(log, "log");
}
