// The settings store over real Windows files: two stores on one file, awkward bytes,
// interrupted writes, and where the file is kept.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "common/error.h"
#include "e2e.h"
#include "options/settings_store.h"
#include "win32_store_file.h"

namespace {

using qsopad::SettingsStore;
using qsopad::Win32StoreFile;
using Pairs = std::vector<std::pair<std::string, std::string>>;

// A fresh folder of its own under the temporary folder, removed with its files at the end.
class Scratch {
 public:
  Scratch() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH + 1, temp);
    for (unsigned n = 0;; ++n) {
      folder_ = std::wstring(temp) + L"qsopad-store-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(n);
      if (CreateDirectoryW(folder_.c_str(), nullptr)) break;
      if (GetLastError() != ERROR_ALREADY_EXISTS || n > 100) {
        throw qsopad::Error("cannot create a scratch folder");
      }
    }
  }
  ~Scratch() {
    WIN32_FIND_DATAW found;
    HANDLE h = FindFirstFileW((folder_ + L"\\*").c_str(), &found);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") DeleteFileW((folder_ + L"\\" + name).c_str());
      } while (FindNextFileW(h, &found));
      FindClose(h);
    }
    RemoveDirectoryW(folder_.c_str());
  }
  Scratch(const Scratch&) = delete;
  Scratch& operator=(const Scratch&) = delete;
  std::wstring File(const wchar_t* name) const { return folder_ + L"\\" + name; }

 private:
  std::wstring folder_;
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

E2E_SCENARIO(store_interleaved_writes) {
  Scratch dir;
  const std::wstring path = dir.File(L"QSOPAD.ini");
  SettingsStore a(OnDisk(path));
  SettingsStore b(OnDisk(path));
  for (int i = 0; i < 100; ++i) {
    a.WriteSetting("Shared", Key("a", i), std::to_string(i));
    b.WriteSetting("Shared", Key("b", i), std::to_string(i));
  }
  e2e::Log("200 writes done");
  SettingsStore c(OnDisk(path));
  const Pairs all = c.ListSection("Shared");
  REQUIRE_MSG(all.size() == 200u, "found " << all.size() << " keys");
  for (int i = 0; i < 100; ++i) {
    CHECK_MSG(c.ReadSetting("Shared", Key("a", i), "lost") == std::to_string(i),
              "a" << i);
    CHECK_MSG(c.ReadSetting("Shared", Key("b", i), "lost") == std::to_string(i),
              "b" << i);
  }
  // b wrote last: a sees b's last key only after a refresh, and both then agree.
  CHECK(a.ReadSetting("Shared", "b99", "unseen") == "unseen");
  CHECK(a.Refresh());
  CHECK(!a.Refresh());
  CHECK(!b.Refresh());
  CHECK(a.ListSection("Shared") == all);
  CHECK(b.ListSection("Shared") == all);
}

E2E_SCENARIO(store_awkward_bytes) {
  using std::string_literals::operator""s;
  const std::vector<std::string> awkward = {
      "", "\"quoted\"", "a=b", "[Opt]", "; x", "cr\r", "lf\n", "\r\n[Opt]\r\nPath=x",
      "nul\0in"s, "c:\\psk31\\psk31sbw.exe", "\\n", "tab\t", "  lead", "trail  ",
      "\xB0\xE4\xFF\xD8", " "};
  Scratch dir;
  const std::wstring path = dir.File(L"QSOPAD.ini");
  Pairs expected;
  {
    SettingsStore store(OnDisk(path));
    for (std::size_t i = 0; i < awkward.size(); ++i) {
      std::string key = std::to_string(i);
      key += awkward[i];
      store.WriteSetting("Values", key, awkward[i]);
      expected.emplace_back(key, awkward[i]);
    }
  }
  SettingsStore reloaded(OnDisk(path));
  const Pairs got = reloaded.ListSection("values");
  REQUIRE_MSG(got.size() == expected.size(), "found " << got.size() << " keys");
  for (std::size_t i = 0; i < expected.size(); ++i) {
    CHECK_MSG(got[i] == expected[i], "text #" << i);
  }
}

namespace {

// Plays a crash between writing the temporary file and moving it over the real one.
class CrashBeforeMove : public qsopad::StoreFile {
 public:
  explicit CrashBeforeMove(const std::wstring& path) : real_(path) {}
  std::unique_ptr<Lock> LockExclusive() override { return real_.LockExclusive(); }
  std::optional<std::string> ReadAll() override { return real_.ReadAll(); }
  void ReplaceAll(const std::string& bytes) override {
    WriteRaw(real_.TempPath(), bytes.substr(0, bytes.size() / 2));
    throw qsopad::Error("crash");
  }
  Stamp CurrentStamp() override { return real_.CurrentStamp(); }
  std::string Describe() const override { return real_.Describe(); }

 private:
  Win32StoreFile real_;
};

}  // namespace

E2E_SCENARIO(store_stale_temp_file) {
  Scratch dir;
  const std::wstring path = dir.File(L"QSOPAD.ini");
  {
    SettingsStore store(OnDisk(path));
    store.WriteSetting("Opt", "Zone", "old");
  }
  {
    SettingsStore crashing(std::make_unique<CrashBeforeMove>(path));
    bool threw = false;
    try {
      crashing.WriteSetting("Opt", "Zone", "new");
    } catch (const qsopad::Error&) {
      threw = true;
    }
    CHECK(threw);
    CHECK(crashing.ReadSetting("Opt", "Zone", "") == "old");
  }
  REQUIRE(Exists(path + L".tmp"));
  SettingsStore store(OnDisk(path));
  CHECK(store.ReadSetting("Opt", "Zone", "") == "old");
  store.WriteSetting("Opt", "Zone", "newer");
  CHECK(!Exists(path + L".tmp"));
  SettingsStore reloaded(OnDisk(path));
  CHECK(reloaded.ListSection("Opt") == (Pairs{{"Zone", "newer"}}));
}

E2E_SCENARIO(store_settings_path) {
  wchar_t exe[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring beside = exe;
  beside = beside.substr(0, beside.find_last_of(L"\\/") + 1) + L"QSOPAD.ini";
  REQUIRE_MSG(!Exists(beside), "a QSOPAD.ini already lies beside the driver");

  const std::wstring roaming = qsopad::Win32SettingsPath();
  const std::wstring tail = L"\\QSOPAD\\QSOPAD.ini";
  CHECK(roaming.size() > tail.size() &&
        roaming.compare(roaming.size() - tail.size(), tail.size(), tail) == 0);
  const std::wstring folder = roaming.substr(0, roaming.size() - std::wstring(L"\\QSOPAD.ini").size());
  const DWORD attributes = GetFileAttributesW(folder.c_str());
  CHECK(attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY));

  WriteRaw(beside, "");
  const std::wstring portable = qsopad::Win32SettingsPath();
  DeleteFileW(beside.c_str());
  CHECK(portable == beside);
}
