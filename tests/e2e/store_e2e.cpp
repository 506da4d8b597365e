// The settings store over real Windows files: two stores on one file, awkward bytes,
// interrupted writes, where the file is kept, and the file's edges: one that cannot be
// read, one held open by another program, one made read-only, a folder that is missing.
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "driver.h"
#include "e2e.h"
#include "options/settings_store.h"
#include "qsopad_driver.h"
#include "resource.h"
#include "road_driver.h"
#include "win32_store_file.h"

namespace {

using qsopad::SettingsStore;
using qsopad::Win32StoreFile;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// A fresh folder under the temporary folder, removed with its files at the end.
class Scratch {
 public:
  std::wstring File(const wchar_t* name) const {
    const std::string& path = folder_.path();  // ASCII: the temporary folder and our prefix
    return std::wstring(path.begin(), path.end()) + L"\\" + name;
  }

 private:
  e2e::TempFolder folder_{"qsopad-store"};
};

std::unique_ptr<qsopad::StoreFile> OnDisk(const std::wstring& path) {
  return std::make_unique<Win32StoreFile>(path);
}

// "a17" and the like. (Built by appending: Key("a", i) draws a false -Wrestrict
// from GCC 12 at -O2.)
std::string Key(const char* prefix, int i) {
  std::string key = prefix;
  key += std::to_string(i);
  return key;
}

bool Exists(const std::wstring& path) {
  return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void WriteRaw(const std::wstring& path, const std::string& bytes) {
  HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw qsopad::Error("cannot create a test file");
  DWORD written = 0;
  WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(h);
}

DWORD WINAPI CloseAfterAWhile(void* handle) {
  Sleep(300);
  CloseHandle(static_cast<HANDLE>(handle));
  return 0;
}

}  // namespace

E2E_SCENARIO(store_interleaved_writes_and_awkward_bytes) {
  using std::string_literals::operator""s;
  const std::vector<std::string> awkward = {
      "", "\"quoted\"", "a=b", "[Opt]", "; x", "cr\r", "lf\n", "\r\n[Opt]\r\nPath=x",
      "nul\0in"s, "c:\\psk31\\psk31sbw.exe", "\\n", "tab\t", "  lead", "trail  ",
      "\xB0\xE4\xFF\xD8", " "};
  Scratch dir;
  const std::wstring path = dir.File(L"QSOPAD.ini");
  SettingsStore a(OnDisk(path));
  SettingsStore b(OnDisk(path));
  for (int i = 0; i < 100; ++i) {
    a.WriteSetting("Shared", Key("a", i), std::to_string(i));
    b.WriteSetting("Shared", Key("b", i), std::to_string(i));
  }
  // Each text as a key and as a value.
  Pairs expected;
  for (std::size_t i = 0; i < awkward.size(); ++i) {
    expected.emplace_back(std::to_string(i) + awkward[i], awkward[i]);
    b.WriteSetting("Values", expected.back().first, awkward[i]);
  }
  SettingsStore c(OnDisk(path));
  const Pairs all = c.ListSection("Shared");
  REQUIRE_MSG(all.size() == 200u, "found " << all.size() << " keys");
  for (int i = 0; i < 100; ++i) {
    CHECK_MSG(c.ReadSetting("Shared", Key("a", i), "lost") == std::to_string(i), "a" << i);
    CHECK_MSG(c.ReadSetting("Shared", Key("b", i), "lost") == std::to_string(i), "b" << i);
  }
  const Pairs got = c.ListSection("values");
  REQUIRE_MSG(got.size() == expected.size(), "found " << got.size() << " keys");
  for (std::size_t i = 0; i < expected.size(); ++i) CHECK_MSG(got[i] == expected[i], "text #" << i);
  // b wrote last: a sees b's last key only after a refresh, and both then agree.
  CHECK(a.ReadSetting("Shared", "b99", "unseen") == "unseen");
  CHECK(a.Refresh());
  CHECK(!a.Refresh());
  CHECK(!b.Refresh());
  CHECK(a.ListSection("Shared") == all);
  CHECK(b.ListSection("Shared") == all);
}

E2E_SCENARIO(store_stale_temp_file) {
  Scratch dir;
  const std::wstring path = dir.File(L"QSOPAD.ini");
  {
    SettingsStore store(OnDisk(path));
    store.WriteSetting("Opt", "Zone", "old");
  }
  // What a crash between writing the temporary file and moving it into place leaves.
  WriteRaw(path + L".tmp", "[Opt]\r\nZo");
  SettingsStore store(OnDisk(path));
  CHECK(store.ReadSetting("Opt", "Zone", "") == "old");
  store.WriteSetting("Opt", "Zone", "newer");
  CHECK(!Exists(path + L".tmp"));
  SettingsStore reloaded(OnDisk(path));
  CHECK(reloaded.ListSection("Opt") == (Pairs{{"Zone", "newer"}}));
}

E2E_SCENARIO(store_settings_path) {
  // The portable file beside the program is what every scenario with qsopad.exe uses; here
  // the other place: the user's roaming folder, created when missing.
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  const std::wstring beside = std::wstring(exe).substr(0, std::wstring(exe).find_last_of(L"\\/") + 1);
  REQUIRE_MSG(!Exists(beside + L"QSOPAD.ini"), "a QSOPAD.ini already lies beside the driver");
  const std::wstring roaming = qsopad::Win32SettingsPath();
  const std::wstring tail = L"\\QSOPAD\\QSOPAD.ini";
  REQUIRE(roaming.size() > tail.size() && roaming.compare(roaming.size() - tail.size(), tail.size(), tail) == 0);
  const DWORD attributes = GetFileAttributesW(roaming.substr(0, roaming.size() - 11).c_str());
  CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));
}

E2E_SCENARIO(store_access_denied_fails_at_once_sharing_waits) {
  Scratch dir;
  // A folder in the file's place: opening it as a file is refused with "access denied",
  // which no wait mends.
  const std::wstring path = dir.File(L"QSOPAD.ini");
  REQUIRE(CreateDirectoryW(path.c_str(), nullptr));
  std::int64_t t0 = e2e::NowMs();
  std::string error;
  try {
    SettingsStore store(OnDisk(path));
  } catch (const qsopad::Error& e) {
    error = e.what();
  }
  const std::int64_t denied = e2e::NowMs() - t0;
  e2e::Log("a settings file that cannot be read fails after " + std::to_string(denied) + " ms: " + error);
  CHECK_MSG(error.find("QSOPAD.ini\": error 5:") != std::string::npos, "the error reads \"" << error << "\"");
  CHECK_MSG(denied < 1000, "access denied took " << denied << " ms to report: it was retried");
  RemoveDirectoryW(path.c_str());

  // Another program holding the file open without sharing it is waited for.
  {
    SettingsStore store(OnDisk(path));
    store.WriteSetting("Opt", "Zone", "z");
  }
  HANDLE held = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  REQUIRE_MSG(held != INVALID_HANDLE_VALUE, "cannot hold the file: error " << GetLastError());
  HANDLE release = CreateThread(nullptr, 0, CloseAfterAWhile, held, 0, nullptr);
  REQUIRE(release);
  t0 = e2e::NowMs();
  SettingsStore store(OnDisk(path));
  const std::int64_t waited = e2e::NowMs() - t0;
  WaitForSingleObject(release, 5000);
  CloseHandle(release);
  CHECK(store.ReadSetting("Opt", "Zone", "") == "z");
  CHECK_MSG(waited >= 200, "opened after " << waited << " ms while another program held the file");
}

E2E_SCENARIO(store_read_only_file_kept_and_told_once) {
  Scratch dir;
  const std::wstring path = dir.File(L"QSOPAD.ini");
  SettingsStore store(OnDisk(path));
  std::vector<std::string> notices;
  store.OnReadOnly([&](const std::string& message) { notices.push_back(message); });
  store.WriteSetting("Opt", "Zone", "old");
  const std::string file = std::string(path.begin(), path.end());
  const std::string before = e2e::ReadFileText(file);
  REQUIRE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));

  store.WriteSetting("Opt", "Zone", "new");
  store.WriteSettings({{"Opt", "Path", "p"}});
  CHECK_MSG(notices.size() == 1, notices.size() << " notices");
  CHECK_MSG(!notices.empty() && notices[0].find("\"" + file + "\" is read-only") != std::string::npos,
            (notices.empty() ? std::string("none") : notices[0]));
  CHECK(e2e::ReadFileText(file) == before);
  CHECK_MSG(GetFileAttributesW(path.c_str()) & FILE_ATTRIBUTE_READONLY, "the read-only flag is gone");
  CHECK(!Exists(path + L".tmp"));
  CHECK(store.ReadSetting("Opt", "Zone", "") == "new");

  // Writable again: the next change saves what was kept.
  REQUIRE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL));
  store.WriteSetting("Opt", "Later", "1");
  SettingsStore reloaded(OnDisk(path));
  CHECK(reloaded.ListSection("Opt") == (Pairs{{"Zone", "new"}, {"Path", "p"}, {"Later", "1"}}));
}

E2E_SCENARIO(store_missing_folder_names_the_settings_file) {
  Scratch dir;
  const std::wstring path = dir.File(L"gone\\QSOPAD.ini");
  SettingsStore store(OnDisk(path));
  std::string error;
  try {
    store.WriteSetting("Opt", "Zone", "z");
  } catch (const qsopad::Error& e) {
    error = e.what();
  }
  const std::string file(path.begin(), path.end());
  const std::string folder = file.substr(0, file.size() - 11);
  CHECK_MSG(error.find("\"" + file + "\"") != std::string::npos &&
                error.find("\"" + folder + "\" does not exist") != std::string::npos &&
                error.find(".lock") == std::string::npos,
            "the error reads \"" << error << "\"");
}

// The program itself with its settings file made read-only: one notice naming the file,
// the program going on with the values in memory, and the file untouched until the flag
// is cleared.
E2E_SCENARIO(store_read_only_file_in_qsopad) {
  e2e::RoadSession s;
  s.StartStation();
  s.StartQsopad({{"Opt", "SerialNo", "9"}, {"Call", "MyCall", "ZX0AB"}});
  const std::string file = e2e::JoinPath(s.temp().path(), "QSOPAD.ini");
  const std::string before = e2e::ReadFileText(file);
  REQUIRE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_READONLY));
  HWND serial = GetDlgItem(s.main, IDC_COMMAND6);

  e2e::PostCommand(s.main, IDM_INCR);
  const e2e::MessageBoxInfo box = e2e::WaitMessageBox("QSOPAD", 5000, s.qsopad.pid);
  REQUIRE_MSG(box.hwnd, "no notice of the read-only settings file");
  e2e::Log("the notice: " + box.text);
  CHECK_MSG(box.text.find("\"" + file + "\" is read-only") != std::string::npos, box.text);
  CHECK(e2e::WaitText(serial, "S/&N: 0010", 5000));
  CHECK(e2e::PressAndWaitClosed(box.hwnd, IDOK, 5000));
  CHECK(e2e::WaitUntil([&] { return e2e::Answers(s.main); }, 5000));

  e2e::PostCommand(s.main, IDM_INCR);
  CHECK_MSG(e2e::WaitText(serial, "S/&N: 0011", 5000), e2e::TextOf(serial));
  e2e::Pause(1000);
  CHECK_MSG(!e2e::FindMessageBox("QSOPAD", s.qsopad.pid), "a second notice");
  CHECK(!e2e::FindMessageBox("Error", s.qsopad.pid));
  CHECK(e2e::ReadFileText(file) == before);
  CHECK(GetFileAttributesA(file.c_str()) & FILE_ATTRIBUTE_READONLY);

  REQUIRE(SetFileAttributesA(file.c_str(), FILE_ATTRIBUTE_NORMAL));
  e2e::PostCommand(s.main, IDM_INCR);
  CHECK(e2e::WaitText(serial, "S/&N: 0012", 5000));
  CHECK_MSG(e2e::WaitUntil([&] { return e2e::ReadSetting(s.temp().path(), "Opt", "SerialNo") == "12"; }, 5000),
            e2e::ReadSetting(s.temp().path(), "Opt", "SerialNo").value_or("<absent>"));
}
