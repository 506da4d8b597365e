// The manual's screenshots: each set starts QSOPAD beside the PSK31 stand-in as an
// operator would have it, opens its windows with real keys and saves each as a BMP file
// in $QSOPAD_SCREENS_DIR, which docs/screens.sh turns into docs/images/*.png.
#include <windows.h>

#include <cstdlib>
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

}  // namespace

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
