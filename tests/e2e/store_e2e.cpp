// The settings store over real Windows files: two stores writing one file in turn, awkward
// bytes as keys and values, a file that cannot be opened at all, one another program holds
// open, and a folder that is missing.
#include <memory>

#include "common/error.h"
#include "driver.h"
#include "options/settings_store.h"
#include "win32_store_file.h"

using namespace e2e;
using qsopad::SettingsStore;
using Pairs = std::vector<std::pair<std::string, std::string>>;

namespace {

std::unique_ptr<qsopad::StoreFile> OnDisk(const std::string& path) {
  return std::make_unique<qsopad::Win32StoreFile>(std::wstring(path.begin(), path.end()));  // ASCII
}

// The store's error for this file, "" when there was none.
std::string ErrorOf(const std::function<void()>& use) {
  try {
    use();
  } catch (const qsopad::Error& e) {
    return e.what();
  }
  return std::string();
}

}  // namespace

E2E_SCENARIO(store_settings_file_on_windows) {
  using std::string_literals::operator""s;
  TempFolder folder("store");
  Log("two stores on one file, writing in turn, awkward bytes as keys and values");
  const std::vector<std::string> awkward = {"", "\"quoted\"", "a=b", "[Opt]", "; x", "cr\r", "lf\n", "\r\n[Opt]\r\nPath=x",
                                            "nul\0in"s, "c:\\psk31\\psk31sbw.exe", "\\n", "tab\t", "  lead", "trail  ",
                                            "\xB0\xE4\xFF\xD8", " "};
  const std::string path = folder.File("QSOPAD.ini");
  SettingsStore a(OnDisk(path)), b(OnDisk(path));
  for (int i = 0; i < 100; ++i) {
    a.WriteSetting("Shared", std::string("a").append(std::to_string(i)), std::to_string(i));
    b.WriteSetting("Shared", std::string("b").append(std::to_string(i)), std::to_string(i));
  }
  Pairs values;
  for (size_t i = 0; i < awkward.size(); ++i) {
    values.emplace_back(std::to_string(i) + awkward[i], awkward[i]);
    b.WriteSetting("Values", values.back().first, awkward[i]);
  }
  SettingsStore c(OnDisk(path));
  const Pairs shared = c.ListSection("Shared");
  REQUIRE_MSG(shared.size() == 200u, shared.size() << " keys");
  for (int i = 0; i < 100; ++i)
    CHECK_MSG(shared[2 * i] == Pairs::value_type(std::string("a").append(std::to_string(i)), std::to_string(i)) &&
                  shared[2 * i + 1] == Pairs::value_type(std::string("b").append(std::to_string(i)), std::to_string(i)),
              "key " << 2 * i << ": " << shared[2 * i].first);
  CHECK(c.ListSection("values") == values);
  // b wrote last: a sees b's last key only after a refresh, and then both agree.
  CHECK(a.ReadSetting("Shared", "b99", "unseen") == "unseen");
  CHECK(a.Refresh() && !a.Refresh() && !b.Refresh());
  CHECK(a.ListSection("Shared") == shared && b.ListSection("Shared") == shared);

  Log("a folder in the file's place: access denied, at once; a file held open without sharing: waited for");
  const std::string denied = folder.File("denied.ini");
  REQUIRE(CreateDirectoryA(denied.c_str(), nullptr));
  std::int64_t t0 = NowMs();
  const std::string error = ErrorOf([&] { SettingsStore store(OnDisk(denied)); });
  const std::int64_t took = NowMs() - t0;
  CHECK_MSG(error.find("denied.ini\": error 5:") != std::string::npos, "the error reads \"" << error << "\"");
  CHECK_MSG(took < 1000, "access denied took " << took << " ms to report: it was retried");
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  REQUIRE_MSG(held != INVALID_HANDLE_VALUE, "cannot hold the file: error " << GetLastError());
  HANDLE release = CreateThread(nullptr, 0, [](void* h) -> DWORD { return Sleep(300), CloseHandle(h), 0; }, held, 0, nullptr);
  t0 = NowMs();
  SettingsStore waited(OnDisk(path));
  const std::int64_t waitedMs = NowMs() - t0;
  WaitForSingleObject(release, 5000);
  CloseHandle(release);
  CHECK_MSG(waitedMs >= 200 && waited.ReadSetting("Shared", "a7", "") == "7", "opened after " << waitedMs << " ms");

  Log("a folder that is missing: the error names the settings file and the folder, not the lock");
  const std::string gone = folder.File("gone\\QSOPAD.ini");
  SettingsStore store(OnDisk(gone));
  const std::string missing = ErrorOf([&] { store.WriteSetting("Opt", "Zone", "z"); });
  CHECK_MSG(missing.find("\"" + gone + "\"") != std::string::npos &&
                missing.find("\"" + folder.File("gone") + "\" does not exist") != std::string::npos &&
                missing.find(".lock") == std::string::npos,
            "the error reads \"" << missing << "\"");
}
