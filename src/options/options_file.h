// The options file ("*.QPD"): an export of six sections of the settings store that the
// options dialog's "Sa&ve Opts" writes and "&Load Opts" reads back, for safe-keeping or
// for moving a setup to another machine. The shell supplies the file through the two small
// ports below; everything else (the format, the record rules, the messages) lives here.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qsopad {

class SettingsStore;

// The prefix of every message box text about the options file.
inline constexpr char kOptionsFileErrorPrefix[] = "File error: ";

// The text of the message box for a failure whose description is `reason` (the shell uses
// it for a file it cannot open; the functions below for everything else).
std::string OptionsFileErrorText(std::string_view reason);

// The chosen file, for Save Opts.
class OptionsFileSink {
 public:
  virtual ~OptionsFileSink() = default;
  // Called once per save with the whole file. Afterwards the file holds exactly `bytes`.
  // On failure throws Error describing it (the file's name and the system's reason with
  // its number), and the file must not be left holding part of the bytes: write beside
  // the target and rename over it, so that an older file of that name survives.
  virtual void WriteWhole(const std::string& bytes) = 0;
};

// The chosen file, open for reading, for Load Opts.
class OptionsFileSource {
 public:
  virtual ~OptionsFileSource() = default;
  // Reads the next bytes into `buffer`, up to `size` of them, and returns how many it read;
  // 0 only at the end of the file. Throws Error describing a read failure as WriteWhole
  // does.
  virtual std::size_t Read(char* buffer, std::size_t size) = 0;
};

// The file's bytes for the store as it is now: for each of "Opt", "Win", "URLS", "Macro",
// "Call" and "ADif" in this order, its section line "*Name","*" and then one "key","value"
// line per entry in the store's order; every line ends in CR LF; nothing else.
std::string OptionsFileText(const SettingsStore& store);

// Save Opts once the operator has chosen the file: the whole text is made first and handed
// to the file in one piece, so a failure never leaves a part of a save behind as if it
// were the whole. Returns nullopt when the file was written, otherwise the message box
// text ("File error: " and the sink's description).
std::optional<std::string> SaveOptionsFile(const SettingsStore& store, OptionsFileSink& file);

// What a load did, for the caller to show or log.
struct OptionsLoadResult {
  std::size_t stored = 0;   // entries written to the store
  std::size_t skipped = 0;  // records that stored nothing and named no section
  // The message box text when reading the file or writing the store failed. After a read
  // failure the entries read before it are stored; after a store failure none are.
  std::optional<std::string> error_text;
};

// Load Opts once the file is open: reads it to the end, one record per line, and writes
// every entry of a section into the store in one write of the settings file (adding or
// overwriting keys; keys the file does not name keep their values). Time grows in
// proportion to the file whatever it holds; memory with the entries it stores.
OptionsLoadResult LoadOptionsFile(SettingsStore& store, OptionsFileSource& file);
// The same over bytes already in memory.
OptionsLoadResult LoadOptionsFile(SettingsStore& store, std::string_view bytes);

}  // namespace qsopad
