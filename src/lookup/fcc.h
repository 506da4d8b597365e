// The FCC database file lookup. The database is a text file with one licence per line,
// "|"-separated fields, sorted by the call sign's six-character key, and beside it an
// index ("<data file>.qpd") of 2049 ten-byte entries marking where stretches of the data
// file begin: the lookup bisects the index, then reads one stretch forward. Each entry
// names a line by its key and position, and the lookup checks the lines it reads by an
// entry against it: an index that is not its data file's (a build interrupted between
// replacing the two) is reported as the database error, not read as "not found".
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
// No database line is longer: a longer one is a sign of a file of another kind.
inline constexpr std::size_t kFccLongestLine = std::size_t{64} << 20;

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

// Searches the data file at `path` through its index. Opens both for reading only; a
// missing index is created empty (and every search in it ends as not found), but not for a
// data file that cannot be opened, which is a failure. Neither file is otherwise written.
// The lines of the data file that the index names must be where it says, with its keys:
// otherwise (an index of another data file, a damaged file) the outcome is a failure, and
// the read never runs past the stretch the index gives.
FCCAnswer FCCFind(std::string_view call, const std::string& path, FccFiles& files);

// Checks every present entry of `index` against the data file `data` at `path`: each must
// give the start of a line with the entry's key, in ascending order of key and position.
// Returns "" when all do, else the first that does not. Throws Error on a read failure.
std::string FccIndexMismatch(std::string_view index, FccReadFile& data, const std::string& path);

// What the lookup result window shows for `call`: FCCFind's text, kFccNotFound, or "" after
// `show_message` was handed kFccFailureMessage and the failure's description. With `fill`,
// a found licensee's first given name (capitalised) replaces `name`.
std::string FCCLookup(const std::string& call, std::string& name, bool fill, const std::string& path,
                      FccFiles& files,
                      const std::function<void(const std::string& message, const std::string& detail)>&
                          show_message);

}  // namespace qsopad
