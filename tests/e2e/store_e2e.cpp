// The settings store over real Windows files at their edges: a file that cannot be opened at all, one another program
// holds open, and a folder that is missing. (Two copies writing one file are the kill tests'.)
#include "common/error.h"
#include "driver.h"

using namespace e2e;
using qsopad::SettingsStore;

namespace {

// The store's error for this file, "" when there was none.
std::string ErrorOf(const std::function<void()>& use) {
  try { use(); } catch (const qsopad::Error& e) { return e.what(); }
  return std::string();
}

}  // namespace

E2E_SCENARIO(store_settings_file_on_windows) {
  TempFolder folder("store");
  const std::string path = folder.File("QSOPAD.ini");
  SettingsStore(StoreFileAt(path)).WriteSetting("Shared", "a7", "7");
  Log("a folder in the file's place: access denied, at once; a file held open without sharing: waited for");
  const std::string denied = folder.File("denied.ini");
  REQUIRE(CreateDirectoryA(denied.c_str(), nullptr));
  std::int64_t t0 = NowMs();
  const std::string error = ErrorOf([&] { SettingsStore store(StoreFileAt(denied)); });
  const std::int64_t took = NowMs() - t0;
  CHECK_MSG(Matches(error, "*denied.ini\": error 5:*") && took < 1000, "after " << took << " ms: \"" << error << "\"");
  HANDLE held = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  REQUIRE_MSG(held != INVALID_HANDLE_VALUE, "cannot hold the file: error " << GetLastError());
  auto release = [](void* h) -> DWORD { return Sleep(300), CloseHandle(h), 0; };
  CloseHandle(CreateThread(nullptr, 0, release, held, 0, nullptr));
  t0 = NowMs();
  SettingsStore waited(StoreFileAt(path));
  const std::int64_t waitedMs = NowMs() - t0;
  CHECK_MSG(waitedMs >= 200 && waited.ReadSetting("Shared", "a7", "") == "7", "opened after " << waitedMs << " ms");

  Log("a folder that is missing: the error names the settings file and the folder, not the lock");
  const std::string gone = folder.File("gone\\QSOPAD.ini");
  SettingsStore store(StoreFileAt(gone));
  const std::string missing = ErrorOf([&] { store.WriteSetting("Opt", "Zone", "z"); });
  const std::string named = "*\"" + gone + "\"*", folderGone = "*\"" + folder.File("gone") + "\" does not exist*";
  CHECK_MSG(Matches(missing, named) && Matches(missing, folderGone) && !Matches(missing, "*.lock*"), missing);
}
