// The per-user settings store: (section, key) -> text, case-insensitive names that keep
// their first spelling, keys listed in order of first write. Reads come from memory;
// every write goes through to the file at once, atomically, merged with whatever another
// running copy wrote since our last look.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "options/store_file.h"

namespace qsopad {

// One write of WriteSettings.
struct SettingWrite {
  std::string section, key, value;
};

class SettingsStore {
 public:
  // Loads the file now; a missing file is an empty store. Throws Error on a damaged
  // or unreadable file (the description names the file and what is wrong).
  explicit SettingsStore(std::unique_ptr<StoreFile> file);
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // The stored text, or `def` when the section or key is absent.
  std::string ReadSetting(std::string_view section, std::string_view key,
                          std::string_view def) const;
  // Creates section and key as needed. Throws Error naming the file when it cannot be written.
  // A file marked read-only is not an error (see OnReadOnly).
  void WriteSetting(std::string_view section, std::string_view key, std::string_view value);
  // The writes in their order, as WriteSetting one after another would make them, in one
  // write of the file: all of them or, when the file cannot be written, none. For loading
  // many entries at once, which one write each would make slow (every write rewrites the
  // file durably). Throws Error as WriteSetting does.
  void WriteSettings(const std::vector<SettingWrite>& writes);
  // Removes the section with all its keys; an absent section is not an error.
  void DeleteSection(std::string_view section);
  // (key, value) pairs in order of first write; empty for an absent section.
  std::vector<std::pair<std::string, std::string>> ListSection(std::string_view section) const;

  // A settings file the operator has marked read-only is never replaced. The writes it
  // refuses are kept in memory, where reads see them on top of the file's content (also
  // after a reload), and are written with the first write that finds the file writable
  // again. `notice` is called with a message naming the file when a write first finds it
  // read-only, again only after a write has gone through; it is called after the write
  // has let go of the file's lock, so it may write settings itself.
  void OnReadOnly(std::function<void(const std::string& message)> notice);

  // Picks up another process's writes. Cheap when the file has not changed; the shell
  // calls it on every timer tick. Returns true when something was reloaded.
  bool Refresh();

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qsopad
