// The FCC database file lookup. The database is a text file with one licence per line,
// "|"-separated fields, sorted by the call sign's six-character key, and beside it an
// index ("<data file>.qpd") of 2049 ten-byte entries marking where stretches of the data
// file begin: the lookup bisects the index, then reads one stretch forward.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "lookup/fcc_files.h"

namespace qsopad {

inline constexpr std::size_t kFccKeySize = 6;
inline constexpr std::size_t kFccEntrySize = 10;  // key, then a 32-bit position
inline constexpr int kFccEntries = 2049;           // entries 0 to 2048
inline constexpr std::size_t kFccIndexSize = kFccEntrySize * kFccEntries;
inline constexpr char kFccIndexSuffix[] = ".qpd";
inline constexpr char kFccFailureMessage[] = "FCC Database error";
inline constexpr char kFccNotFound[] = "{NOT FOUND}";

// Keys compare byte by byte as unsigned characters (a space sorts before digits and
// letters).
using FccKey = std::array<char, kFccKeySize>;

// The key a call sign is searched by: upper case, cut or padded with spaces to six.
FccKey FCCSearchKey(std::string_view call);
// A data line's key: the text before its first "|", cut or padded, case as it stands;
// nullopt for a line without "|".
std::optional<FccKey> FCCLineKey(std::string_view line);
int CompareFccKeys(const FccKey& a, const FccKey& b);

// Index entry bytes: the key, then the line's position counted from 1 as a little-endian
// signed 32-bit integer.
void EncodeFccEntry(const FccKey& key, std::int32_t position, char* entry);
std::int32_t FccEntryPosition(const char* entry);

// Field n of a data line (from 0): the text between the n-th and the next "|", without
// leading and trailing spaces; empty when no "|" follows it.
std::string FCCField(std::string_view line, int n);

enum class FCCOutcome { kFound, kNotFound, kFailure };

struct FCCAnswer {
  FCCOutcome outcome = FCCOutcome::kNotFound;
  std::string text;     // found: the result text, lines ended by CR LF but the last
  std::string name;     // found: the licensee's name, given names first
  std::string failure;  // failure: which file could not be opened or read, and why
};

// Searches the data file at `path` through its index. Opens the index for reading only; a
// missing index is created empty (and every search in it ends as not found). Neither file
// is otherwise written.
FCCAnswer FCCFind(std::string_view call, const std::string& path, FccFiles& files);

// What the lookup result window shows for `call`: FCCFind's text, kFccNotFound, or "" after
// `show_message` was handed kFccFailureMessage and the failure's description. With `fill`,
// a found licensee's first given name (capitalised) replaces `name`.
std::string FCCLookup(const std::string& call, std::string& name, bool fill, const std::string& path,
                      FccFiles& files,
                      const std::function<void(const std::string& message, const std::string& detail)>&
                          show_message);

}  // namespace qsopad
