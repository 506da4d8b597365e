// Building the FCC database that the lookup reads, from the FCC's weekly amateur licence
// download (l_amat.zip): its EN (names and addresses), AM (operator class) and HD
// (licence header) files, "|"-separated rows joined on the unique system identifier.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "lookup/fcc.h"
#include "lookup/fcc_files.h"

namespace qsopad {

// A build writes the index first beside its target under this suffix ("APPL.DAT.qpd.new").
inline constexpr char kFccPendingSuffix[] = ".new";

// What a build or an index run tells as it goes.
class FccBuildListener {
 public:
  virtual ~FccBuildListener() = default;
  // `bytes` of the input file `file` have been read so far.
  virtual void Progress(const std::string& file, std::uint64_t bytes) = 0;
  // Row `line` (from 1) of `file` was left out, for `reason`.
  virtual void Skipped(const std::string& file, std::uint64_t line, const std::string& reason) = 0;
};

struct FccSkipCount {
  std::string file;
  std::string reason;
  std::uint64_t rows = 0;
};

struct FccBuildReport {
  std::uint64_t licences_read = 0;       // usable licence header (HD) rows
  std::uint64_t call_signs_written = 0;  // lines of the data file
  std::uint64_t bytes_read = 0;          // of the three input files
  std::uint64_t bytes_written = 0;       // of the data file
  std::vector<FccSkipCount> skipped;     // by file and reason, in order of first occurrence
  std::uint64_t SkippedRows() const;
};

// Reads the three files and writes the data file `out` and its index `out` + ".qpd": the
// data file beside its target, then the index complete as `out` + ".qpd.new", then the
// data file renamed over its target and the index over its own (see FinishFccReplacement).
// One line per call sign, from the licence chosen for it: an active licence before any
// other, then the latest grant. Line layout (fields 0 to 9, each followed by "|"): call
// sign padded to six, operator class, licence status, expiry date, licensee "Surname,
// Given names" (a club's name without commas), street (after a club's name), PO box, city,
// state, ZIP code. Rows with more fields than the current layout (a "|" inside a value),
// fewer than the oldest (cut short) or not of the file's record type are skipped and
// counted. Throws Error naming the file on a read or write failure, and refuses (throws,
// having written nothing): an output that is one of the inputs; an input whose last row
// has no line end (cut short); no licence with a name and address; fewer than three
// quarters of the call signs with a name (or an AM row), or of the EN (or AM) rows with a
// licence.
FccBuildReport BuildFccDatabase(const std::string& en, const std::string& am, const std::string& hd,
                                const std::string& out, FccFiles& files, FccBuildListener& listener);

// Puts right what a build interrupted between its two renames left: a complete index
// `out` + ".qpd.new" beside a data file that may be the new one (and an index that is the
// old one). Each entry of the pending index is checked against the data file: when all
// match, the data file is the new one and the pending index replaces the old; otherwise
// the data file is still the old one, and the pending index is removed. Returns what was
// done, "" for nothing (no pending index, or no data file to judge it by). Throws Error on
// a read, rename or removal failure. Lookups meanwhile see the old index disagree with
// the new data file and report the database error rather than "not found".
std::string FinishFccReplacement(const std::string& out, FccFiles& files);

// Writes the index for an existing data file sorted by key. Returns the number of lines
// with a key. Throws Error naming the line when the file is not sorted or too large for
// the index's 32-bit positions.
std::uint64_t BuildFccIndex(const std::string& data, FccFiles& files, FccBuildListener& listener);

// A data line with a key, and where it starts (counted from 1).
struct FccIndexedLine {
  FccKey key;
  std::int32_t position;
};

// The index of a data file whose keyed lines, in order, are `lines`: 2049 entries, entry i
// for line i * (n - 1) / 2048, so that entry 0 holds the first line and entry 2048 the
// last and the lookup's bisection reaches every key between them. Empty for no lines.
std::string FccIndexBytes(const std::vector<FccIndexedLine>& lines);

}  // namespace qsopad
