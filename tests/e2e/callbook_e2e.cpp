// Scenarios of the call-book CD-ROM lookups: the 32-bit qsopad.exe looking calls up through
// the stand-in libraries beside it (found, not found, a CD-ROM failure, an answer with no
// NUL, a library that faults), the name filled in and the result window's text; and the
// 64-bit qsopad.exe, which cannot load a 32-bit library, reporting each as missing.
#include <windows.h>

#include <memory>
#include <string>

#include "driver.h"
#include "e2e.h"
#include "options/settings_store.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"
#include "win32_store_file.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;
constexpr char kUnset[] = "<not shown yet>";

// The 32-bit build: QSOPAD_BUILD32_DIR when set, else the "win32" folder beside this
// driver's build, as test.sh lays them out.
std::string Build32Dir() {
  char value[MAX_PATH] = {};
  const DWORD n = GetEnvironmentVariableA("QSOPAD_BUILD32_DIR", value, MAX_PATH);
  if (n > 0 && n < MAX_PATH) return std::string(value, n);
  const std::string build = BuildDir();
  return JoinPath(build.substr(0, build.find_last_of("\\/")), "win32");
}

// Puts this build of qsopad.exe into the session folder (PrepareQsopad then keeps it) and
// the three 32-bit stand-in libraries beside it.
void Install(const std::string& folder, const std::string& exe) {
  const std::string target = JoinPath(folder, "qsopad.exe");
  REQUIRE_MSG(CopyFileA(exe.c_str(), target.c_str(), FALSE), "cannot copy " << exe << ": error " << GetLastError());
  for (const char* dll : {"qrz32.dll", "raccd32a.dll", "hamcal32.dll"}) {
    const std::string from = JoinPath(Build32Dir(), std::string("tests\\standins\\") + dll);
    REQUIRE_MSG(CopyFileA(from.c_str(), JoinPath(folder, dll).c_str(), FALSE),
                "cannot copy " << from << ": error " << GetLastError());
  }
}

// The lookup source, changed while the program runs, as another copy of it would. The
// program sees the change at its next timer tick, and a posted click would come before
// that tick: wait a few.
void SetSource(const std::string& folder, const std::string& source) {
  const std::string path = JoinPath(folder, "QSOPAD.ini");  // ASCII: the temporary folder
  qsopad::SettingsStore(std::make_unique<qsopad::Win32StoreFile>(std::wstring(path.begin(), path.end())))
      .WriteSetting("URLS", "CSLOOKUP", source);
  Pause(200);
}

HWND VisibleWindowOf(DWORD pid, const std::string& cls) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == cls && IsWindowVisible(w)) return w;
  return nullptr;
}

struct Outcome {
  std::string message;  // the message box's text, "" when none showed
  std::string text;     // the result window's text
  std::string title;
  std::string name;     // the call sign window's name box afterwards
};

// Types `call` into the call sign window (which empties the name box), presses Lookup Now,
// answers a message box if one shows, and reads the result window once the lookup has
// written it.
Outcome LookUp(RoadSession& s, HWND form, const std::string& call) {
  HWND result = VisibleWindowOf(s.qsopad.pid, "QSOPAD_LUResult");
  if (result) SendMessageA(FindChild(result, "Edit", nullptr), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(kUnset));
  SendMessageA(GetDlgItem(form, IDC_CSF_CALLSIGN), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(call.c_str()));
  PostMessageA(form, WM_COMMAND, MAKEWPARAM(IDC_CSF_COMMAND1, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(form, IDC_CSF_COMMAND1)));
  Outcome out;
  HWND edit = nullptr;
  const auto shown = [&] {
    result = VisibleWindowOf(s.qsopad.pid, "QSOPAD_LUResult");
    edit = FindChild(result, "Edit", nullptr);
    // "" is no answer: a read times out while the thread stalls closing the message box.
    return edit && !(out.text = TextOf(edit)).empty() && out.text != kUnset;
  };
  HWND box = nullptr;
  WaitUntil([&] { return (box = FindMessageBox("QSOPAD", s.qsopad.pid)) || shown(); }, kWait);
  if (box) {
    out.message = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid).text;
    CHECK_MSG(PressAndWaitClosed(box, IDOK, kWait), "the message \"" << out.message << "\" did not close");
  }
  REQUIRE_MSG(WaitUntil(shown, kWait), "no result for " << call << " (message: \"" << out.message << "\")");
  out.title = TextOf(result);
  out.name = TextOf(GetDlgItem(form, IDC_CSF_NAMEFIELD));
  CHECK_MSG(!FindMessageBox("QSOPAD", s.qsopad.pid), "a second message after looking up " << call);
  return out;
}

// QSOPAD of the given build with the stand-in libraries beside it, "Fill in name" on, its
// call sign window open.
HWND StartWithCallsignWindow(RoadSession& s, const std::string& exe, const std::string& source) {
  Install(s.temp().path(), exe);
  s.StartStation();
  s.StartQsopad({{"URLS", "CSLOOKUP", source}, {"Opt", "LUName", "1"}});
  PostCommand(s.main, IDM_CALL);
  HWND form = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (form = VisibleWindowOf(s.qsopad.pid, "QSOPAD_CallsignForm")) != nullptr; }, kWait),
              "Set Partner Call opened no call sign window");
  REQUIRE(SendMessageA(GetDlgItem(form, IDC_CSF_CHECK5), BM_GETCHECK, 0, 0) == BST_CHECKED);
  return form;
}

void Expect(const Outcome& got, const Outcome& want, const std::string& what) {
  CHECK_MSG(got.message == want.message, what << ": message \"" << got.message << "\"");
  CHECK_MSG(got.text == want.text, what << ": text\n" << Visible(got.text));
  CHECK_MSG(got.title == want.title, what << ": title \"" << got.title << "\"");
  CHECK_MSG(got.name == want.name, what << ": name \"" << got.name << "\"");
}

}  // namespace

E2E_SCENARIO(callbook_lookups_in_32bit_build) {
  RoadSession s;
  const std::string folder = s.temp().path();
  HWND form = StartWithCallsignWindow(s, JoinPath(Build32Dir(), "src\\win32\\qsopad.exe"), "*QRZ");
  BOOL wow64 = FALSE;
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, s.qsopad.pid);
  CHECK_MSG(process && IsWow64Process(process, &wow64) && wow64, "the program under test is not the 32-bit build");
  if (process) CloseHandle(process);

  Expect(LookUp(s, form, "W1AW"),
         {"", "W1AW HIRAM PERCY MAXIM\r\n225 Main St\r\nNewington, CT 06111", "Callsign Lookup: W1AW", "Hiram"},
         "QRZ found");
  // An answer that fills the buffer with no NUL is all of the buffer and nothing past it.
  const Outcome full = LookUp(s, form, "K2FULL");
  CHECK_MSG(full.text.size() == 1024 && full.text.rfind("K2FULL JANE DOE ....", 0) == 0 && full.text.back() == '!',
            full.text.size() << " bytes: " << Visible(full.text.substr(0, 40)));
  CHECK_MSG(full.name == "Jane", full.name);
  Expect(LookUp(s, form, "N0CALL"), {"", "{NOT FOUND}", "Callsign Lookup", ""}, "QRZ not found");
  // A library that faults is a failed call; the next lookup works again.
  Expect(LookUp(s, form, "CRASH"), {"QRZ32.DLL not found or QRZ error", "Error!", "Callsign Lookup: ", ""},
         "QRZ fault");
  CHECK(Answers(s.main, 3000));
  CHECK_MSG(LookUp(s, form, "W1AW").name == "Hiram", "no lookup after the fault");

  // Flying Horse: the call goes trimmed and in lower case to the CD-ROM in drive Q:.
  SetSource(folder, "*FLY DRIVE=Q:\\");
  Expect(LookUp(s, form, " W1AW "),
         {"", "W1AW MAXIM\r\nHIRAM PERCY ,NEWINGTON CT (HARTFORD County)\r\nLong=-72.72, Lat=41.71\r\nARRL HQ",
          "Callsign Lookup: W1AW", "Hiram"},
         "Flying Horse found");
  Expect(LookUp(s, form, "K2ABC"),
         {"", "K2ABC JANE DOE\r\n12 Elm St\r\nAlbany NY\r\nvia W2XYZ", "Callsign Lookup: K2ABC", "JANE"},
         "Flying Horse without field 6");
  Expect(LookUp(s, form, "N0CALL"), {"", "{Not Found}", "Callsign Lookup", ""}, "Flying Horse not found");
  SetSource(folder, "*FLY");  // drive d:\, where there is no CD-ROM
  Expect(LookUp(s, form, "W1AW"), {"Flying Horse CD error", "Error!", "Callsign Lookup: ", ""},
         "Flying Horse CD error");

  // Buckmaster: "\" appended to the folder, the call in upper case.
  SetSource(folder, "*BUCK DRIVE=Q:\\HAM0");
  Expect(LookUp(s, form, "w1aw"),
         {"", "W1AW HIRAM P MAXIM\r\n225 Main St\r\nNEWINGTON, CT 06111\r\nCounty: HARTFORD\r\n"
              "Lat: 41.71 Long: -72.72 (FN31)\r\nClass A   Exp 2030",
          "Callsign Lookup: W1AW", "HIRAM"},
         "Buckmaster found");
  Expect(LookUp(s, form, "N0CALL"), {"", "{NOT FOUND}", "Callsign Lookup", ""}, "Buckmaster not found");
}

E2E_SCENARIO(callbook_libraries_missing_in_64bit_build) {
  RoadSession s;
  // The 32-bit libraries stand beside the 64-bit program, which cannot load them.
  HWND form = StartWithCallsignWindow(s, QsopadExe(), "*QRZ");
  Expect(LookUp(s, form, "W1AW"), {"QRZ32.DLL not found or QRZ error", "Error!", "Callsign Lookup: ", ""}, "QRZ");
  SetSource(s.temp().path(), "*FLY DRIVE=Q:\\");
  Expect(LookUp(s, form, "W1AW"), {"Flying Horse DLL not found", "Error!", "Callsign Lookup: ", ""}, "Flying Horse");
  SetSource(s.temp().path(), "*BUCK DRIVE=Q:\\HAM0\\");
  Expect(LookUp(s, form, "W1AW"), {"HamCal32.DLL not found or Buck error", "Error!", "Callsign Lookup: ", ""},
         "Buckmaster");
  CHECK(Answers(s.main, 3000));
}
