// Scenarios of the installers that packaging/package.sh writes into <build>\..\dist: a silent installation of each, the
// installed program attached to the PSK31 stand-in at its default path, and the uninstaller: the x86_64 one silent (the
// settings and logs stay), the i686 one on its page with "Also remove my settings" ticked (the settings go, the logs
// stay). Each scenario starts by clearing what an earlier, interrupted run may have left in the prefix.
#include <objidl.h>
#include <shlobj.h>

#include <algorithm>
#include <stdexcept>

#include "driver.h"

using namespace e2e;

namespace {

constexpr int kInstallMs = 6 * kWaitMs;
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\QSOPAD";
constexpr char kStation[] = "C:\\psk31\\psk31sbw.exe";
// What the installer puts into the program folder, besides images\.
const char* const kProgramFiles[] = {"qsopad.exe", "qsopad-fcc.exe", "manual.htm", "uninstall.exe"};

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string Folder(int csidl) {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, path)))
    throw std::runtime_error("no special folder " + std::to_string(csidl));
  return path;
}

// Where an installation for this user goes and what it touches.
struct Places {
  std::string programDir = JoinPath(Folder(CSIDL_LOCAL_APPDATA), "Programs\\QSOPAD");
  std::string shortcut = JoinPath(Folder(CSIDL_PROGRAMS), "QSOPAD.lnk");
  std::string settingsDir = JoinPath(Folder(CSIDL_APPDATA), "QSOPAD");
  std::string settings = JoinPath(settingsDir, "QSOPAD.ini");
};

std::string Installer(const std::string& arch) {
  return BuildDir() + "\\..\\dist\\qsopad-" QSOPAD_VERSION_TEXT "-" + arch + "-setup.exe";
}

// A string value of the uninstall entry; "" when the entry or the value is missing.
std::string UninstallValue(const char* name) {
  char value[1024] = {};
  DWORD size = sizeof value;
  if (RegGetValueA(HKEY_CURRENT_USER, kUninstallKey, name, RRF_RT_REG_SZ, nullptr, value, &size) != ERROR_SUCCESS)
    return std::string();
  return value;
}

bool UninstallEntryExists() {
  return RegGetValueA(HKEY_CURRENT_USER, kUninstallKey, nullptr, RRF_RT_ANY, nullptr, nullptr, nullptr) !=
         ERROR_FILE_NOT_FOUND;
}

// The program a shortcut starts; "" when the shortcut cannot be read.
std::string ShortcutTarget(const std::string& lnk) {
  static const CLSID kShellLink = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
  std::string target;
  const HRESULT init = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  IShellLinkA* link = nullptr;
  if (SUCCEEDED(CoCreateInstance(kShellLink, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IShellLinkA),
                                 reinterpret_cast<void**>(&link)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(__uuidof(IPersistFile), reinterpret_cast<void**>(&file)))) {
      const std::wstring wide(lnk.begin(), lnk.end());
      char path[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(wide.c_str(), STGM_READ)) &&
          SUCCEEDED(link->GetPath(path, MAX_PATH, nullptr, SLGP_RAWPATH)))
        target = path;
      file->Release();
    }
    link->Release();
  }
  if (SUCCEEDED(init)) CoUninitialize();
  return target;
}

// Removes an installation, settings and logs that an earlier run may have left behind, so
// that each scenario starts as on a machine that never had QSOPAD.
void ClearLeftovers(const Places& p) {
  for (const std::string& path : {p.programDir, p.shortcut, p.settingsDir}) RemoveTree(path);
  RegDeleteTreeA(HKEY_CURRENT_USER, kUninstallKey);
  REQUIRE_MSG(!Exists(p.programDir) && !Exists(p.shortcut) && !UninstallEntryExists() && !Exists(p.settingsDir),
              "an earlier installation could not be cleared away from " << p.programDir << ", " << p.shortcut
                                                                        << ", " << p.settingsDir);
}

// Runs the installer silently and checks what it installed.
void InstallSilently(Programs& programs, const Places& p, const std::string& arch) {
  const std::string setup = Installer(arch);
  REQUIRE_MSG(FileExists(setup), setup << " is missing: packaging/package.sh makes it");
  Log("installing " + setup);
  const DWORD pid = programs.Start({setup, {}, "", "/S"});
  REQUIRE_MSG(programs.WaitExit(pid, kInstallMs), "the installer did not end within " << kInstallMs << " ms");
  REQUIRE_MSG(programs.ExitCode(pid) == 0, "the installer ended with " << programs.ExitCode(pid));

  for (const char* name : kProgramFiles)
    CHECK_MSG(FileExists(JoinPath(p.programDir, name)), name << " is not in " << p.programDir);
  // Every picture the installed manual shows ("images/..." in an src attribute).
  const std::string manual = ReadFileText(JoinPath(p.programDir, "manual.htm")), lead = "src=\"images/";
  CHECK_MSG(manual.find(lead) != std::string::npos, "the installed manual shows no picture");
  for (size_t at = manual.find(lead); at != std::string::npos; at = manual.find(lead, at + 1)) {
    std::string image = manual.substr(at + 5, manual.find('"', at + 5) - (at + 5));
    std::replace(image.begin(), image.end(), '/', '\\');
    CHECK_MSG(FileExists(JoinPath(p.programDir, image)), "the manual's " << image << " was not installed");
  }
  // An installed QSOPAD keeps its settings in the user's application data, not beside it.
  CHECK_MSG(!Exists(JoinPath(p.programDir, "QSOPAD.ini")), "the installer put a QSOPAD.ini beside the program");

  const std::string exe = JoinPath(p.programDir, "qsopad.exe");
  CHECK_MSG(FileExists(p.shortcut), "no Start-menu entry " << p.shortcut);
  const std::string target = ShortcutTarget(p.shortcut), place = UninstallValue("InstallLocation");
  CHECK_MSG(!lstrcmpiA(target.c_str(), exe.c_str()), "the Start-menu entry starts \"" << target << "\", not " << exe);
  CHECK_MSG(UninstallValue("DisplayVersion") == QSOPAD_VERSION_TEXT,
            "the uninstall entry names version \"" << UninstallValue("DisplayVersion") << "\"");
  CHECK_MSG(!lstrcmpiA(place.c_str(), p.programDir.c_str()), "the uninstall entry's folder is " << place);
}

// Starts the uninstaller as Windows does, from the command its uninstall entry registers.
void StartUninstaller(Programs& programs, const std::string& args) {
  const std::string command = UninstallValue("UninstallString");
  REQUIRE_MSG(command.size() > 2 && command.front() == '"' && command.back() == '"',
              "the uninstall entry's command is \"" << command << "\"");
  const std::string exe = command.substr(1, command.size() - 2);
  REQUIRE_MSG(FileExists(exe), "the uninstall entry names " << exe << ", which is not there");
  programs.Start({exe, {}, "", args});
}

// The installed QSOPAD (no settings yet) launches the stand-in from its default path,
// attaches to it and drives it, saves its window setup into the user's settings and ends.
void RunInstalledQsopad(const Places& p) {
  REQUIRE_MSG(FileExists(kStation), "the PSK31 stand-in must be installed at " << kStation);
  TempFolder temp("pkg");
  Programs programs;
  const std::string journal = temp.File("psk31.journal");
  const DWORD pid =
      programs.Start({JoinPath(p.programDir, "qsopad.exe"), {{"PSK31_JOURNAL", journal}}, p.programDir, ""});
  const HWND main = WaitShown(pid, kForm, 2 * kWaitMs);  // a start under Wine on a busy machine
  // Attaching reports trouble before the window shows.
  CHECK_MSG(!FindMessageBox("Error", pid), "the installed QSOPAD reported: " << WaitMessageBox("Error", pid).text);
  REQUIRE_MSG(!WaitJournal(journal, "app", "START").event.empty(), "the installed QSOPAD launched no station");
  // F2 of the PSK31 menu reaches the station's panel: QSOPAD found the station's windows.
  PostCommand(main, IDM_PSK_1 + 1);
  CHECK_MSG(!WaitJournal(journal, "panel", "WM_KEYUP", [](const JournalEntry& e) { return e.Num(0) == VK_F2; }).event.empty(),
            "F2 did not reach the station: " << Dump(ReadJournal(journal)));
  PostCommand(main, IDM_SAVEWIN);
  CHECK_MSG(WaitUntil([&] { return ReadSetting(p.settingsDir, "Win", "Left").has_value(); }),
            "the window setup did not reach " << p.settings << ":\n" << ReadFileText(p.settings));
  PostCommand(main, IDM_EXIT);
  CHECK_MSG(programs.WaitExit(pid), "QSOPAD did not end");
  // The station QSOPAD launched works in the program folder, which it would keep from being removed.
  const Psk31Windows station = FindPsk31();
  if (station.form) KillTree(ProcessOf(station.form));
  CHECK_MSG(WaitUntil([] { return !FindPsk31().form; }), "the station did not end");
}

// On a prefix cleared of earlier runs: the installer of `arch`, then the installed program.
Places InstallAndRun(Programs& programs, const std::string& arch) {
  const Places p;
  ClearLeftovers(p);
  InstallSilently(programs, p, arch);
  RunInstalledQsopad(p);
  return p;
}

}  // namespace

E2E_SCENARIO(package_x86_64_installs_runs_and_uninstalls_silently) {
  Programs programs;
  const Places p = InstallAndRun(programs, "x86_64");
  // A log kept beside the settings.
  const std::string settingsBefore = ReadFileText(p.settings);
  REQUIRE_MSG(!settingsBefore.empty(), "QSOPAD wrote no settings to " << p.settings);
  const std::string log = JoinPath(p.settingsDir, "station.adi");
  REQUIRE(WriteFileText(log, "<CALL:4>W1AW<EOR>\r\n"));

  Log("uninstalling silently");
  StartUninstaller(programs, "/S");
  // The uninstaller hands over to a copy of itself and ends at once: wait for its work.
  CHECK_MSG(WaitUntil([&] { return !Exists(p.programDir); }, kInstallMs, 100),
            p.programDir << " is still there after the uninstaller, holding " << FolderNames(p.programDir).size() << " names");
  CHECK_MSG(!Exists(p.shortcut) && !UninstallEntryExists(), "the Start-menu entry or the uninstall entry stayed");
  CHECK_MSG(ReadFileText(p.settings) == settingsBefore, "the settings were not kept: " << Visible(ReadFileText(p.settings)));
  CHECK_MSG(FileExists(log), "the log " << log << " was not kept");
  programs.KillAll();
  ClearLeftovers(p);
}

// The uninstaller on its page, "Also remove my settings" ticked.
E2E_SCENARIO(package_i686_installs_runs_and_uninstalls_removing_settings_keeping_logs) {
  Programs programs;
  const Places p = InstallAndRun(programs, "i686");
  // Settings in both places QSOPAD reads them from (the program wrote the first), and logs beside each.
  REQUIRE(WriteFileText(p.settings + ".lock", ""));
  REQUIRE(WriteFileText(JoinPath(p.programDir, "QSOPAD.ini"), "[Win]\r\nLeft=200\r\n"));
  const std::string logs[] = {JoinPath(p.settingsDir, "station.adi"), JoinPath(p.programDir, "portable.adi")};
  for (const std::string& log : logs) REQUIRE(WriteFileText(log, "<CALL:4>W1AW<EOR>\r\n"));

  StartUninstaller(programs, "");
  const std::string title = "QSOPAD " QSOPAD_VERSION_TEXT " Uninstall";
  HWND page = nullptr;
  REQUIRE_MSG(WaitUntil([&] { return (page = FindWindowA("#32770", title.c_str())) != nullptr; }),
              "no window \"" << title << "\"");
  HWND box = nullptr;
  // The page's controls are on a dialog inside the window.
  REQUIRE_MSG(WaitUntil([&] {
                for (HWND inner = nullptr; !box && (inner = FindWindowExA(page, inner, "#32770", nullptr));)
                  box = FindWindowExA(inner, nullptr, "Button", "Also remove my settings");
                return box != nullptr;
              }), "the uninstaller shows no box \"Also remove my settings\"");
  CHECK_MSG(SendMessageA(box, BM_GETCHECK, 0, 0) == BST_UNCHECKED, "the box is ticked before the user ticks it");
  SendMessageA(box, BM_CLICK, 0, 0);
  REQUIRE_MSG(SendMessageA(box, BM_GETCHECK, 0, 0) == BST_CHECKED, "a click did not tick the box");
  const HWND next = GetDlgItem(page, IDOK);
  REQUIRE_MSG(TextOf(next) == "&Uninstall", "the button beside the box reads \"" << TextOf(next) << "\"");
  PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));

  // When it is done the uninstaller offers to close.
  CHECK_MSG(WaitUntil([&] { return TextOf(next) == "&Close" && IsWindowEnabled(next); }, kInstallMs, 100),
            "the uninstaller did not finish; its button reads \"" << TextOf(next) << "\"");
  PostMessageA(page, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(next));
  CHECK_MSG(WaitUntil([&] { return !IsWindow(page); }), "the uninstaller did not close");

  CHECK_MSG(!Exists(p.settings) && !Exists(p.settings + ".lock"), "the settings in " << p.settingsDir << " were kept");
  for (const std::string& log : logs) CHECK_MSG(FileExists(log), "the log " << log << " was removed");
  // Of the program folder only the log is left: the program, the manual's pictures and the settings went.
  std::string left;
  for (const std::string& name : FolderNames(p.programDir)) left += " " + name;
  CHECK_MSG(left == " portable.adi", "the program folder still holds" << left);
  CHECK_MSG(!Exists(p.shortcut) && !UninstallEntryExists(), "the Start-menu entry or the uninstall entry stayed");
  programs.KillAll();
  ClearLeftovers(p);
}
