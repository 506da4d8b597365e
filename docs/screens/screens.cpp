// The manual's screenshots: each set starts QSOPAD beside the PSK31 stand-in as an
// operator would have it, opens its windows with real keys and saves each as a BMP file
// in $QSOPAD_SCREENS_DIR, which docs/screens.sh turns into docs/images/*.png.
#include <cstdlib>

#include "driver.h"
#include "fldigi_driver.h"
#include "lookup/fcc_build.h"
#include "win32_fcc_files.h"

using namespace e2e;

namespace {

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

// What the screen shows of the window's client area with its menu bar, as a 24-bit BMP file.
bool SaveWindowImage(HWND hwnd, const std::string& path) {
  // The client area: under Wine without a window manager the frame is not drawn. The menu
  // bar is (one line: the menu of another process cannot be measured from here).
  RECT r{};
  if (!GetClientRect(hwnd, &r)) return false;
  MapWindowPoints(hwnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
  if (GetMenu(hwnd)) r.top -= GetSystemMetrics(SM_CYMENU) + 1;
  const int w = r.right - r.left, h = r.bottom - r.top;
  if (w <= 0 || h <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;  // bottom-up, as BMP files store it
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  bool ok = bitmap != nullptr;
  if (ok) {
    HGDIOBJ old = SelectObject(memory, bitmap);
    ok = BitBlt(memory, 0, 0, w, h, screen, r.left, r.top, SRCCOPY) != FALSE;
    GdiFlush();
    SelectObject(memory, old);
  }
  if (ok) {
    const DWORD stride = (static_cast<DWORD>(w) * 3 + 3) & ~3u;
    BITMAPFILEHEADER file{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof file + sizeof info.bmiHeader;
    file.bfSize = file.bfOffBits + stride * static_cast<DWORD>(h);
    std::string bytes(reinterpret_cast<const char*>(&file), sizeof file);
    bytes.append(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
    bytes.append(static_cast<const char*>(bits), stride * static_cast<DWORD>(h));
    ok = WriteFileText(path, bytes);
  }
  if (bitmap) DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return ok;
}

void Shoot(HWND w, const std::string& name) {
  Sleep(400);  // the last repaint
  REQUIRE_MSG(SaveWindowImage(w, OutFile(name)), "cannot save " << name);
  Log("saved " + name);
}


HWND WaitBox(const char* title, DWORD pid) {
  const MessageBoxInfo box = WaitMessageBox(title, pid);
  REQUIRE_MSG(box.hwnd, "no window titled " << title);
  return box.hwnd;
}

void Click(HWND window, int id) { ClickButton(GetDlgItem(window, id)); }

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
  Session s("screens");
  s.StartStation();
  Settings settings = kOperator;
  settings.push_back({"URLS", "CSLOOKUP", "*FCC PATH=" + FccDatabase(s.folder())});
  settings.push_back({"Opt", "luname", "1"});
  s.StartQsopad(settings);
  PressKeys(s.main, "c q space c q space d e space");
  Shoot(s.main, "main");
  PressKeys(s.main, "shift+F12");
  Shoot(WaitShown(s.pid, "QSOPAD_Macros"), "palette");
  PressKeys(s.main, "F12");
  HWND csf = WaitShown(s.pid, "QSOPAD_CallsignForm");
  PressKeys(csf, "k 1 x y z");
  Click(csf, IDC_CSF_COMMAND3);  // More>>>
  Shoot(csf, "callsign-more");
  Click(csf, IDC_CSF_COMMAND2);  // Lookup Data
  HWND lurl = WaitBox("Enter URL", s.pid);
  Shoot(lurl, "lookup-source");
  PressAndWaitClosed(lurl, IDOK);
  Click(csf, IDC_CSF_COMMAND1);  // Lookup Now
  Shoot(WaitShown(s.pid, "QSOPAD_LUResult"), "lookup-result");
  Click(csf, IDCANCEL);
  PostCommand(s.main, IDM_ABOUT);
  HWND about = WaitBox("About QSOPAD", s.pid);
  Shoot(about, "about");
  PressAndWaitClosed(about, IDOK);
  PostCommand(s.main, IDM_SETSERIAL);
  HWND input = WaitShown(s.pid, "#32770");
  Shoot(input, "inputbox");
  PressAndWaitClosed(input, IDCANCEL);
}

E2E_SCREENS(options) {
  Session s("screens");
  s.StartStation();
  Settings settings = kOperator;
  settings.push_back({"ADIF", "En", "1"});
  settings.push_back({"ADIF", "File", "C:\\log\\station.adi"});
  s.StartQsopad(settings);
  PressKeys(s.main, "alt+t o");
  HWND w = WaitShown(s.pid, "QSOPAD_frmOptions");
  const char* pages[] = {"options-setup", "options-options", "options-fkeys", "options-macros", "options-logging"};
  for (int i = 0; i < 5; ++i) {
    if (i > 0) PressKeys(w, "ctrl+Tab");
    Shoot(w, pages[i]);
  }
}

E2E_SCREENS(logging) {
  Session s("screens");
  s.StartStation();
  Settings settings = kOperator;
  settings.push_back({"ADIF", "En", "True"});
  settings.push_back({"ADIF", "File", s.File("station.adi")});
  settings.push_back({"ADIF", "Val6", "BPSK31"});
  settings.push_back({"ADIF", "En2", "False"});
  s.StartQsopad(settings);
  PressKeys(s.main, "F12");
  HWND csf = WaitShown(s.pid, "QSOPAD_CallsignForm");
  PressKeys(csf, "k 1 x y z Tab J o e");
  Shoot(csf, "callsign");
  PressKeys(csf, "alt+o");
  HWND log = WaitShown(s.pid, "QSOPAD_Log");
  PressKeys(log, "shift+Tab End");
  PressKeys(log, "t n x space f e r space Q S O");
  Shoot(log, "log");
}

// QSOPAD beside fldigi ("docs/screens.sh fldigi"): fldigi on the same display, put in the
// top left corner by the script, has decoded a CQ; QSOPAD, beside it, has the caller as its
// partner and the answer typed. Saved as the whole screen, which the script trims.
E2E_SCREENS(fldigi) {
  const char* dir = std::getenv("QSOPAD_SCREENS_DIR");
  REQUIRE_MSG(dir && *dir, "QSOPAD_SCREENS_DIR is not set");
  FldigiSession s({{"Call", "MyCall", "DL1ABC"}, {"Opt", "UCCALL", "1"}});
  // fldigi is 640 pixels wide at 0,0.
  SetWindowPos(s.road.main, nullptr, 646, 0, 632, 460, SWP_NOZORDER | SWP_NOACTIVATE);
  s.agent.Request("play bpsk31-cq.wav");
  s.fldigi.Call("log.set_call", {qsopad::XmlRpcValue::String("K1ABC")});
  s.fldigi.Call("log.set_name", {qsopad::XmlRpcValue::String("John")});
  REQUIRE_MSG(WaitUntil([&] { return PanelText(s.road.main, 1) == " K1ABC"; }, 5000), "no partner in QSOPAD");
  TypeKeys(s.road.text1, "k1abc de dl1abc dl1abc ga john tnx fer the call");
  Sleep(1500);  // the last repaints
  REQUIRE_MSG(SaveWindowImage(GetDesktopWindow(), JoinPath(dir, "fldigi.bmp")), "cannot save fldigi.bmp");
}
