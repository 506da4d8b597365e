// The manual's picture of QSOPAD beside fldigi ("docs/screens.sh fldigi"): fldigi on the
// same display, put in the top left corner by the script, has decoded a CQ; QSOPAD, beside
// it, has the caller as its partner and the answer typed. Saved as the whole screen, which
// the script trims to the two windows.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "driver.h"
#include "e2e.h"
#include "fldigi_driver.h"
#include "road_driver.h"

using namespace e2e;
using qsopad::XmlRpcValue;

E2E_SCREENS(fldigi) {
  const char* dir = std::getenv("QSOPAD_SCREENS_DIR");
  REQUIRE_MSG(dir && *dir, "QSOPAD_SCREENS_DIR is not set");
  FldigiSession s({{"Call", "MyCall", "DL1ABC"}, {"Opt", "UCCALL", "1"}});
  // fldigi is 640 pixels wide at 0,0.
  SetWindowPos(s.road.main, nullptr, 646, 0, 632, 460, SWP_NOZORDER | SWP_NOACTIVATE);
  s.agent.Request("play bpsk31-cq.wav");
  s.fldigi.Call("log.set_call", {XmlRpcValue::String("K1ABC")});
  s.fldigi.Call("log.set_name", {XmlRpcValue::String("John")});
  REQUIRE_MSG(WaitUntil([&] { return PanelText(s.road.main, 1) == " K1ABC"; }, 5000), "no partner in QSOPAD");
  TypeKeys(s.road.text1, "k1abc de dl1abc dl1abc ga john tnx fer the call");
  Pause(1500);  // the last repaints
  REQUIRE_MSG(SaveWindowImage(GetDesktopWindow(), JoinPath(dir, "fldigi.bmp")), "cannot save fldigi.bmp");
}
