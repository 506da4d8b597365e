// The settings store over real Windows files: two stores on one file, awkward bytes,
// interrupted writes, and where the file is kept.
#include <windows.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "driver.h"
#include "e2e.h"
#include "options/settings_store.h"
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
