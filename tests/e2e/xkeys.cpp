// xdotool run from the Windows driver. Wine starts a Linux program given by its Unix path
// but hands back no process handle that can be waited on, and does not connect its output
// to the driver's pipes: the command runs under /bin/sh, which writes xdotool's output and
// exit status to files under /tmp (drive Z: in the Wine prefix), and the driver waits for
// the status file.
#include "xkeys.h"

#include "driver.h"

namespace e2e {

namespace {

constexpr int kXdotoolMs = 15000;

std::string XWindowOf(HWND top) {
  // Set by Wine's X11 driver on each top-level window it maps.
  const auto id = reinterpret_cast<ULONG_PTR>(GetPropA(top, "__wine_x11_whole_window"));
  return id ? std::to_string(id) : std::string();
}

}  // namespace

bool PressKeys(HWND top, const std::vector<std::string>& keys, std::string* error) {
  auto fail = [&](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  const std::string window = XWindowOf(top);
  if (window.empty()) return fail("the window has no X window");
  static int calls = 0;
  const std::string base = "/tmp/qsopad-xkeys-" + std::to_string(GetCurrentProcessId()) + "-" +
                           std::to_string(++calls);
  std::string command = "Z:\\bin\\sh -c \"timeout 10 xdotool windowfocus --sync " + window + " key --delay 40";
  for (const std::string& key : keys) command += " " + key;
  command += " >" + base + ".out 2>&1; echo $? >" + base + ".tmp; mv " + base + ".tmp " + base + ".rc\"";

  // Wine hands X key events to the focus of its own foreground window, which need not be
  // the X window that has the focus (a palette shown from the main window takes the
  // keyboard while the X focus stays put).
  SetForegroundWindow(top);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi))
    return fail("cannot start /bin/sh: error " + std::to_string(GetLastError()));
  if (pi.hProcess) CloseHandle(pi.hProcess);
  if (pi.hThread) CloseHandle(pi.hThread);

  auto windowsPath = [](std::string unix) {
    for (char& c : unix)
      if (c == '/') c = '\\';
    return "Z:" + unix;
  };
  const std::string rcFile = windowsPath(base + ".rc"), outFile = windowsPath(base + ".out");
  if (!WaitUntil([&] { return FileExists(rcFile); }, kXdotoolMs, 10))
    return fail("xdotool did not finish within " + std::to_string(kXdotoolMs) + " ms");
  const std::string rc = ReadFileText(rcFile), out = ReadFileText(outFile);
  DeleteFileA(rcFile.c_str());
  DeleteFileA(outFile.c_str());
  if (rc != "0\n") return fail("xdotool exit status " + rc + ": " + out);
  return true;
}

bool InMenuMode(HWND hwnd) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  return GetGUIThreadInfo(GetWindowThreadProcessId(hwnd, nullptr), &info) &&
         (info.flags & (GUI_INMENUMODE | GUI_POPUPMENUMODE | GUI_SYSTEMMENUMODE)) != 0;
}

}  // namespace e2e
