// The settings file on Windows: LockFileEx on a companion lock file, and a temporary file
// moved over the real one for every write.
#include "win32_store_file.h"

#include <windows.h>
#include <shlobj.h>

#include <utility>
#include <vector>

#include "common/error.h"
#include "win32_text.h"
#include "window_base.h"

namespace qsopad {

namespace {

// A virus scanner, an indexer or another copy of the program reading the file holds it
// open for a moment; opening it then fails with one of these. Worth a retry. Access denied
// is not: a file the user may not read stays so, and retrying it only kept the error back
// for two and a half seconds.
bool IsTransient(DWORD error) {
  return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Replacing a file that another program has open, even one that shares it for deletion,
// is refused with access denied: by Windows without POSIX rename semantics, and by Wine
// always. Another copy of QSOPAD reading the file after a change does just that, so for a
// replace access denied passes too, unless the file is read-only, which is checked first.
bool IsTransientReplace(DWORD error) {
  return IsTransient(error) || error == ERROR_ACCESS_DENIED;
}

bool IsReadOnly(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
}
constexpr int kAttempts = 40;  // with the pauses below, about two seconds in all
void PauseBeforeRetry(int attempt) { Sleep(attempt < 10 ? 10 : 60); }

[[noreturn]] void Fail(const char* what, const std::wstring& path, DWORD error) {
  throw Error(std::string(what) + " \"" + Narrow(path) + "\": error " + SystemErrorText(error));
}

class Win32Lock : public StoreFile::Lock {
 public:
  explicit Win32Lock(HANDLE h) : file_(h) {}
  ~Win32Lock() override {
    OVERLAPPED whole{};
    UnlockFileEx(file_.get(), 0, MAXDWORD, MAXDWORD, &whole);
  }

 private:
  FileHandle file_;
};

std::uint64_t Ticks(const FILETIME& t) {
  return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32) | t.dwLowDateTime;
}

FILETIME FromTicks(std::uint64_t ticks) {
  FILETIME t;
  t.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  t.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return t;
}

// Attributes of `path`; false with the error when it cannot be examined.
bool Attributes(const std::wstring& path, WIN32_FILE_ATTRIBUTE_DATA& data, DWORD& error) {
  for (int attempt = 0;; ++attempt) {
    if (GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return true;
    error = GetLastError();
    if (!IsTransient(error) || attempt + 1 == kAttempts) return false;
    PauseBeforeRetry(attempt);
  }
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}

std::wstring FolderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? L"." : path.substr(0, slash);
}

[[noreturn]] void FailReadOnly(const std::wstring& path) {
  throw ReadOnlyStoreFile("The settings file \"" + Narrow(path) + "\" is read-only");
}

}  // namespace

Win32StoreFile::Win32StoreFile(std::wstring path)
    : path_(std::move(path)), lock_(path_ + L".lock"), temp_(path_ + L".tmp") {}

std::unique_ptr<StoreFile::Lock> Win32StoreFile::LockExclusive() {
  FileHandle file(CreateFileW(lock_.c_str(), GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) {
    const DWORD error = GetLastError();
    // The lock file is ours, not the operator's: a missing folder is reported as the
    // settings file's.
    if (IsMissing(error)) {
      throw Error("Cannot write the settings file \"" + Narrow(path_) + "\": its folder \"" +
                  Narrow(FolderOf(path_)) + "\" does not exist (error " + SystemErrorText(error) +
                  ")");
    }
    Fail("Cannot open the settings lock file", lock_, error);
  }
  // Locks belong to the handle, so two stores in one process exclude each other as well.
  OVERLAPPED whole{};
  if (!LockFileEx(file.get(), LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole)) {
    Fail("Cannot lock the settings lock file", lock_, GetLastError());
  }
  return std::make_unique<Win32Lock>(file.Release());
}

std::optional<std::string> Win32StoreFile::ReadAll() {
  HANDLE h = INVALID_HANDLE_VALUE;
  for (int attempt = 0;; ++attempt) {
    h = CreateFileW(path_.c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (h != INVALID_HANDLE_VALUE) break;
    const DWORD error = GetLastError();
    if (IsMissing(error)) return std::nullopt;
    if (!IsTransient(error) || attempt + 1 == kAttempts) {
      Fail("Cannot open the settings file", path_, error);
    }
    PauseBeforeRetry(attempt);
  }
  FileHandle file(h);
  std::string bytes;
  std::vector<char> buffer(65536);
  for (;;) {
    DWORD got = 0;
    if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
      Fail("Cannot read the settings file", path_, GetLastError());
    }
    if (got == 0) break;
    bytes.append(buffer.data(), got);
  }
  return bytes;
}

void Win32StoreFile::ReplaceAll(const std::string& bytes) {
  // Every version gets a last-write time later than the one it replaces, even within one
  // tick of the system clock, so that the stamps of two versions never match.
  WIN32_FILE_ATTRIBUTE_DATA old{};
  DWORD ignored = 0;
  const bool had_old = Attributes(path_, old, ignored);
  // MoveFileEx replaces a read-only file under Wine, and the flag goes with it.
  if (had_old && (old.dwFileAttributes & FILE_ATTRIBUTE_READONLY)) FailReadOnly(path_);

  {
    // A temporary file left by an interrupted write is simply overwritten.
    FileHandle temp(CreateFileW(temp_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!temp.valid()) Fail("Cannot create the temporary settings file", temp_, GetLastError());
    const auto give_up = [&](DWORD error) {
      temp.Close();
      DeleteFileW(temp_.c_str());
      Fail("Cannot write the temporary settings file", temp_, error);
    };
    std::size_t done = 0;
    while (done < bytes.size()) {
      const DWORD chunk = static_cast<DWORD>(
          bytes.size() - done < (1u << 20) ? bytes.size() - done : (1u << 20));
      DWORD written = 0;
      if (!WriteFile(temp.get(), bytes.data() + done, chunk, &written, nullptr) || written == 0) {
        give_up(GetLastError());
      }
      done += written;
    }
    if (!FlushFileBuffers(temp.get())) give_up(GetLastError());
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    std::uint64_t stamp = Ticks(now);
    if (had_old && stamp <= Ticks(old.ftLastWriteTime)) stamp = Ticks(old.ftLastWriteTime) + 1;
    const FILETIME written_at = FromTicks(stamp);
    SetFileTime(temp.get(), nullptr, nullptr, &written_at);  // best effort
    if (!temp.Close()) {
      const DWORD error = GetLastError();
      DeleteFileW(temp_.c_str());
      Fail("Cannot write the temporary settings file", temp_, error);
    }
  }

  for (int attempt = 0;; ++attempt) {
    if (MoveFileExW(temp_.c_str(), path_.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return;
    }
    const DWORD error = GetLastError();
    // Made read-only since the check above: Windows refuses with access denied.
    const bool read_only = error == ERROR_ACCESS_DENIED && IsReadOnly(path_);
    if (read_only || !IsTransientReplace(error) || attempt + 1 == kAttempts) {
      DeleteFileW(temp_.c_str());
      if (read_only) FailReadOnly(path_);
      Fail("Cannot replace the settings file", path_, error);
    }
    PauseBeforeRetry(attempt);
  }
}

StoreFile::Stamp Win32StoreFile::CurrentStamp() {
  // GetFileAttributesEx does not open the file, which keeps the check cheap enough for
  // every timer tick; the file index would need an open and is left out. Our writers
  // guarantee a fresh last-write time for every version instead.
  WIN32_FILE_ATTRIBUTE_DATA data{};
  DWORD error = 0;
  Stamp stamp;
  if (!Attributes(path_, data, error)) {
    if (IsMissing(error)) return stamp;
    Fail("Cannot examine the settings file", path_, error);
  }
  stamp.exists = true;
  stamp.a = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  stamp.b = Ticks(data.ftLastWriteTime);
  stamp.c = Ticks(data.ftCreationTime);
  return stamp;
}

std::string Win32StoreFile::Describe() const { return Narrow(path_); }

std::wstring Win32SettingsPath() {
  std::wstring exe(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, exe.data(), static_cast<DWORD>(exe.size()));
    if (n == 0) throw Error("Cannot find the program's own file: error " +
                            SystemErrorText(GetLastError()));
    if (n < exe.size()) {
      exe.resize(n);
      break;
    }
    exe.resize(exe.size() * 2);
  }
  const std::size_t slash = exe.find_last_of(L"\\/");
  const std::wstring beside =
      (slash == std::wstring::npos ? std::wstring() : exe.substr(0, slash + 1)) + L"QSOPAD.ini";
  const DWORD attributes = GetFileAttributesW(beside.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return beside;
  }

  wchar_t appdata[MAX_PATH] = {};
  const HRESULT hr = SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                      SHGFP_TYPE_CURRENT, appdata);
  if (FAILED(hr)) {
    throw Error("Cannot find the application data folder: error " +
                SystemErrorText(static_cast<DWORD>(hr)));
  }
  const std::wstring folder = std::wstring(appdata) + L"\\QSOPAD";
  if (!CreateDirectoryW(folder.c_str(), nullptr)) {
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS) Fail("Cannot create the settings folder", folder, error);
  }
  return folder + L"\\QSOPAD.ini";
}

}  // namespace qsopad
