// The FCC database lookup in the real qsopad.exe: a database built from genuine FCC rows by
// the Windows qsopad-fcc.exe (which refuses to write over an input and makes no index for a
// missing data file), the "*FCC PATH=..." source, Lookup Now filling in the first name and
// showing the result window, a call sign not in the database, an index that cannot be
// opened for writing, and a data file gone.
#include <windows.h>

#include <string>

#include "driver.h"
#include "e2e.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"

using namespace e2e;

namespace {

constexpr int kWait = 5000;

// Rows of the FCC's l_amat.zip: a current licence (CR LF, as the FCC writes them) and one
// from the anonymised fixture (LF).
const char kEn[] =
    "EN|4186771|||KN6DQD|L|L02283715|Downing, Zoe|Zoe||Downing||||||Montara|CA|94037|370545||000|0028710390|I||||||\r\n"
    "EN|254305|||KK9HIU|L|L00142682|MILLER, LINDA Q|LINDA|Q|MILLER|||||885 MAIN ST|RIVERSIDE|OH|91474||Randall "
    "Thompson|000|0004144385|I||||||\n";
const char kAm[] = "AM|4186771|||KN6DQD|G|D|6|||||||||T|\r\nAM|254305|||KK9HIU|E|A|8||Y||||||||\n";
const char kHd[] =
    "HD|4186771|0011303942||KN6DQD|A|HA|08/06/2019|08/06/2029||||||||||N||||||||||N||Zoe||Downing||||||||||"
    "10/30/2024|10/30/2024|||||||||||||||\r\n"
    "HD|254305|9400375236||KK9HIU|A|HA|01/31/2023|04/27/2033||||||||||||||||||||||||||||||||||05/09/2025|"
    "05/09/2025|||||||||||||||\n";

// The path in double quotes, as one argument of a command line.
std::string Quoted(const std::string& path) {
  std::string quoted(1, '"');
  quoted += path;
  quoted += '"';
  return quoted;
}

// Runs the tool with this command line (after the program's name); its exit code, with
// what it printed in `output`.
DWORD RunTool(const std::string& arguments, const std::string& folder, std::string& output) {
  // A log of its own for each run: under Wine the last run's may still be held open.
  static int runs = 0;
  const std::string log = JoinPath(folder, "qsopad-fcc-" + std::to_string(++runs) + ".log");
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE out = CreateFileA(log.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS, 0, nullptr);
  if (out == INVALID_HANDLE_VALUE) {
    output = "cannot create " + log + ": error " + std::to_string(GetLastError());
    return static_cast<DWORD>(-1);
  }
  STARTUPINFOA si{};
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = si.hStdError = out;
  PROCESS_INFORMATION pi{};
  std::string line = Quoted(JoinPath(BuildDir(), "tools\\qsopad-fcc.exe")) + " " + arguments;
  DWORD code = static_cast<DWORD>(-1);
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr, &si, &pi)) {
    if (WaitForSingleObject(pi.hProcess, 60000) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  } else {
    output = "cannot start " + line + ": error " + std::to_string(GetLastError());
  }
  CloseHandle(out);
  output += ReadFileText(log);
  return code;
}

// The process's visible top-level window of this class, or null.
HWND Shown(DWORD pid, const std::string& cls) {
  for (HWND w : TopWindowsOf(pid))
    if (ClassOf(w) == cls && IsWindowVisible(w)) return w;
  return nullptr;
}

}  // namespace

E2E_SCENARIO(fcc_lookup_fills_name_and_shows_result) {
  RoadSession s;
  const std::string folder = s.temp().File("FCC data");  // the path runs to the end, spaces and all
  REQUIRE(CreateDirectoryA(folder.c_str(), nullptr));
  for (const auto& [name, rows] : {std::pair{"EN.dat", kEn}, {"AM.dat", kAm}, {"HD.dat", kHd}}) {
    REQUIRE(WriteFileText(JoinPath(folder, name), rows));
  }
  const std::string data = JoinPath(folder, "APPL.DAT"), index = data + ".qpd";
  std::string output;
  const auto quoted = [&](const char* name) { return Quoted(JoinPath(folder, name)); };
  const DWORD code = RunTool("build " + quoted("EN.dat") + " " + quoted("AM.dat") + " " + quoted("HD.dat") + " " +
                                 quoted("APPL.DAT"), folder, output);
  REQUIRE_MSG(code == 0, "qsopad-fcc build ended with " << code << ": " << output);
  CHECK_MSG(output.find("call signs written: 2") != std::string::npos, output);
  CHECK_MSG(ReadFileText(index).size() == 20490, ReadFileText(index).size());
  // Runs that end with 2 and a message naming what is wrong, writing nothing: a build into
  // one of its inputs spelt another way, and a lookup in a data file that is not there.
  const std::string en = ReadFileText(JoinPath(folder, "EN.dat")), missing = JoinPath(folder, "MISSING.DAT");
  for (const auto& [arguments, named] :
       {std::pair{"build " + quoted("EN.dat") + " " + quoted("AM.dat") + " " + quoted("HD.dat") + " " + quoted("en.DAT"),
                  std::string("is the input")},
        {"lookup " + Quoted(missing) + " KN6DQD", missing}}) {
    output.clear();
    const DWORD failed = RunTool(arguments, folder, output);
    CHECK_MSG(failed == 2 && output.find(named) != std::string::npos, arguments << ": " << failed << ": " << output);
  }
  CHECK(ReadFileText(JoinPath(folder, "EN.dat")) == en);
  CHECK(GetFileAttributesA((missing + ".qpd").c_str()) == INVALID_FILE_ATTRIBUTES);

  s.StartStation();
  s.StartQsopad({{"URLS", "CSLOOKUP", "*FCC PATH=" + data}, {"Opt", "LUName", "1"}});
  PostCommand(s.main, IDM_CALL);
  HWND form = nullptr;
  WaitUntil([&] { return (form = Shown(s.qsopad.pid, "QSOPAD_CallsignForm")) != nullptr; }, kWait);
  REQUIRE_MSG(form, "Set Partner Call opened no call sign window");
  HWND call = GetDlgItem(form, IDC_CSF_CALLSIGN), name = GetDlgItem(form, IDC_CSF_NAMEFIELD);
  HWND lookup = FindChild(form, "Button", "Lookup No&w");
  REQUIRE_MSG(call && name && lookup, "no call sign box, name box or Lookup Now button");
  HWND result = nullptr;
  // Looks `text` up with Lookup Now and waits for the result window to show `expected`.
  const auto look_up = [&](const char* text, const std::string& expected) {
    SendMessageA(call, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
    PostMessageA(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(lookup), BN_CLICKED), reinterpret_cast<LPARAM>(lookup));
    const bool shown = WaitUntil([&] {
      return (result = Shown(s.qsopad.pid, "QSOPAD_LUResult")) && TextOf(FindChild(result, "Edit", nullptr)) == expected;
    }, kWait);
    CHECK_MSG(shown, text << ": the result window shows \"" << Visible(TextOf(FindChild(result, "Edit", nullptr)))
                          << "\", not \"" << Visible(expected) << "\"");
    return shown;
  };

  // A portable suffix is cut and the case does not matter; the first name is filled in.
  if (look_up("kn6dqd/p", "KN6DQD Zoe Downing\r\nBOX 370545\r\nMontara, CA 94037")) {
    CHECK_MSG(TextOf(result) == "Callsign Lookup: KN6DQD", TextOf(result));
    CHECK_MSG(WaitText(name, "Zoe", kWait), TextOf(name));
  }
  if (look_up("W1AW", "{NOT FOUND}")) {
    CHECK_MSG(TextOf(result) == "Callsign Lookup", TextOf(result));
    CHECK_MSG(TextOf(name).empty(), TextOf(name));
  }
  CHECK(!FindMessageBox("QSOPAD", s.qsopad.pid));

  // An index that cannot be opened for writing, as on a CD-ROM, is read all the same. (A
  // read-only attribute would not do here: Wine running as root opens such a file for
  // writing. Held open by a program that shares reading only, it cannot be.)
  HANDLE held = CreateFileA(index.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  REQUIRE_MSG(held != INVALID_HANDLE_VALUE, "cannot open " << index << ": error " << GetLastError());
  if (look_up("KK9HIU", "KK9HIU LINDA Q MILLER\r\n885 MAIN ST\r\nRIVERSIDE, OH 91474")) {
    CHECK_MSG(WaitText(name, "Linda", kWait), TextOf(name));
  }
  CloseHandle(held);

  // With the data file gone: the failure's message, then an empty result.
  REQUIRE(DeleteFileA(data.c_str()));
  SendMessageA(call, WM_SETTEXT, 0, reinterpret_cast<LPARAM>("KN6DQD"));
  PostMessageA(form, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(lookup), BN_CLICKED), reinterpret_cast<LPARAM>(lookup));
  const MessageBoxInfo box = WaitMessageBox("QSOPAD", kWait, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no message after a lookup in a missing data file");
  CHECK_MSG(box.text == "FCC Database error", box.text);
  CHECK(PressAndWaitClosed(box.hwnd, IDOK, kWait));
  CHECK_MSG(WaitUntil([&] { return TextOf(result) == "Callsign Lookup: " &&
                                   TextOf(FindChild(result, "Edit", nullptr)).empty(); }, kWait),
            TextOf(result) << " / " << TextOf(FindChild(result, "Edit", nullptr)));
  CHECK(Answers(s.main, 3000));
}
