// The ADIF field table (twelve built-in fields and the operator's custom ones) and the
// writer that appends one contact to the ADIF log file.
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace qsopad {

class SettingsStore;
struct SettingWrite;

inline constexpr int kBuiltInAdifFields = 12;
// "Count" is a 16-bit integer; a larger stored number is refused, not allocated.
inline constexpr long kMaxAdifFieldCount = 32767;

struct AdifField {
  std::string Name;  // shown in lists, never written
  std::string Tag;   // written to the file
  std::string Data;  // this contact's value, set by the log window
  std::string Val;   // default content, written when Data is empty
  bool En = false;
};

// Indices 0 to fieldcount. Built once at start-up and alive for the whole run; the log
// window and the options dialog read and change its fields directly.
class AdifTable {
 public:
  // The built-in fields with their default tags, all enabled: the table of an empty store.
  AdifTable();

  std::vector<AdifField> fields;
  std::int16_t fieldcount = kBuiltInAdifFields - 1;
  // Counts rebuilds and added fields, so that a window holding indices into the table (the
  // log window) sees that the options dialog changed it while the window was open.
  int layout = 0;
  // Tags the operator has been told this run are not ADIF field names (their fields are
  // left out of every record); each is named once.
  std::set<std::string> told_tags;

  AdifField& operator[](int index) { return fields.at(static_cast<std::size_t>(index)); }
  const AdifField& operator[](int index) const {
    return fields.at(static_cast<std::size_t>(index));
  }

  // Rebuilds the whole table from the store (earlier Data is lost). A "Count" below 11 or
  // not a number still gives the twelve built-in fields. A "Count" beyond 16 bits throws
  // Error naming the key and value, after the table has been built with the built-in
  // fields only, so that logging still works.
  void LoadAdifFields(const SettingsStore& store);
  // Stores En, Tag and Val of every field, not "Count", in one write of the settings file
  // (a write each would take seconds for a thousand fields).
  void SaveAdifFields(SettingsStore& store) const;
  // The writes SaveAdifFields makes, for a caller that stores more with them.
  std::vector<SettingWrite> FieldWrites() const;
  // One more field, disabled and empty until the options dialog fills it; the new count
  // is stored at once.
  void AddCustomField(SettingsStore& store);
  int AdifFieldCount() const { return fieldcount; }
};

// Whether `tag` may be written as an ADIF field name: letters, digits and "_" only, at
// least one. ADIF itself forbids a comma, a colon, angle and curly brackets and blanks at
// either end; a blank or "*" inside a name is allowed there but read by few programs, and
// every field ADIF defines (and every APP_ field of a program whose name follows the same
// rule) is written with these characters alone.
bool IsAdifFieldName(std::string_view tag);

// The length of `value` as a reader of the file counts it: bytes of the single-byte code
// page, or, with `utf8`, characters as a UTF-8 decoder makes them (a byte sequence that is
// not UTF-8 counts as the one replacement character a decoder shows for it).
std::size_t AdifLength(std::string_view value, bool utf8);

// Whether ADIF logging is on ("ADIF"/"En"); a value that is not a boolean counts as off.
bool AdifLoggingOn(const SettingsStore& store);

// The bytes of one record: a line per enabled field that has a value ("<TAG:n>value"),
// then "<eor>", each line ended by CR LF; "" when no field has a value. With `noslash`,
// slashed zeros are written as "0"; `utf8` as for AdifLength. A field whose tag is not an
// ADIF field name is left out (a reader would lose it and often the fields after it), its
// tag added to `left_out` once.
std::string AdifRecordText(const AdifTable& table, bool noslash, bool utf8 = false,
                           std::vector<std::string>* left_out = nullptr);

inline constexpr char kAdifHeader[] = "QSOPAD Log file <eoh>\r\n";

// The log file as the writer needs it, open for appending.
class LogFile {
 public:
  virtual ~LogFile() = default;
  // Current length in bytes. Throws Error.
  virtual std::uint64_t Size() = 0;
  // Up to `count` bytes from `offset` (fewer only at the end of the file). Throws Error.
  virtual std::string ReadAt(std::uint64_t offset, std::size_t count) = 0;
  // Appends at the end. Throws Error; part of the bytes may then be in the file.
  virtual void Append(const std::string& bytes) = 0;
  // Cuts the file back to `size` bytes. Throws Error.
  virtual void TruncateTo(std::uint64_t size) = 0;
  // Makes what was written survive a power cut. Throws Error.
  virtual void Flush() = 0;
};

class LogFiles {
 public:
  virtual ~LogFiles() = default;
  // Whether the file can be opened for reading now.
  virtual bool CanRead(const std::string& path) = 0;
  // Opens for reading and appending, creating it when missing. Throws Error naming the file
  // and the system's reason.
  virtual std::unique_ptr<LogFile> OpenForAppend(const std::string& path) = 0;
  // Whether the program's text is UTF-8 (the system's code page is UTF-8): ADIF lengths then
  // count UTF-8 characters, for the log file is read as UTF-8.
  virtual bool TextIsUtf8() = 0;

  // Where this process's last append to a log ended and the bytes just before that point:
  // the next append reads the log only from there, not from its start, when those bytes
  // are still in place. Kept by WriteAdifRecord.
  struct AppendMark {
    std::string path;
    std::uint64_t end = 0;
    std::string before;
  } last_append;
};

struct LogWriteResult {
  enum Outcome { kNoFile, kNothingToWrite, kWritten, kFailed } outcome = kNoFile;
  // For kFailed: the file and what went wrong.
  std::string detail;
  // Tags of fields left out because they are not ADIF field names.
  std::vector<std::string> left_out;
};

// Appends one record for the table's contents to "ADIF"/"File" (a new file gets the
// header line first), in one write, flushed. On any failure the file is cut back to what
// it was. A record left half-written by a program killed while appending is cut off
// first (see AdifWholeEnd), so that no record is ever appended to a torn one. Reads the
// store's "File" and "Zero".
LogWriteResult WriteAdifRecord(const AdifTable& table, const SettingsStore& store,
                               LogFiles& files);

// Where the log should end before the next record is appended: its size when it ends with
// a whole record (or its header, or anything this cannot read as ADIF, which it leaves
// alone), else the end of the last whole record, read forward from `from` by the length of
// every data specifier, so that an "<eor>" inside a value is never taken for the end of a
// record; a record's line end goes with it. `from` is 0 or the end of a whole record.
// `cut_line_end` tells whether the point returned lies right after an "<eor>" or "<eoh>"
// with no line end after it, so that the next record needs one first.
std::uint64_t AdifWholeEnd(LogFile& file, std::uint64_t from, std::uint64_t size, bool utf8,
                           bool& cut_line_end);

// The message box text of a failed write.
std::string LogFileErrorText(const LogWriteResult& result);
// What the operator is told about tags left out that were not named before this run (they
// are added to `table.told_tags`); "" when there is nothing new.
std::string LeftOutTagsText(const LogWriteResult& result, AdifTable& table);

}  // namespace qsopad
