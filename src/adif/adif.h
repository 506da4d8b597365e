// The ADIF field table (twelve built-in fields and the operator's custom ones) and the
// writer that appends one contact to the ADIF log file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace qsopad {

class SettingsStore;

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

  AdifField& operator[](int index) { return fields.at(static_cast<std::size_t>(index)); }
  const AdifField& operator[](int index) const {
    return fields.at(static_cast<std::size_t>(index));
  }

  // Rebuilds the whole table from the store (earlier Data is lost). A "Count" below 11 or
  // not a number still gives the twelve built-in fields. A "Count" beyond 16 bits throws
  // Error naming the key and value, after the table has been built with the built-in
  // fields only, so that logging still works.
  void LoadAdifFields(const SettingsStore& store);
  // Stores En, Tag and Val of every field; not "Count".
  void SaveAdifFields(SettingsStore& store) const;
  // One more field, disabled and empty until the options dialog fills it; the new count
  // is stored at once.
  void AddCustomField(SettingsStore& store);
  int AdifFieldCount() const { return fieldcount; }
};

// Whether ADIF logging is on ("ADIF"/"En"); a value that is not a boolean counts as off.
bool AdifLoggingOn(const SettingsStore& store);

// The bytes of one record: a line per enabled field that has a value ("<TAG:n>value"),
// then "<eor>", each line ended by CR LF; "" when no field has a value. With `noslash`,
// slashed zeros are written as "0".
std::string AdifRecordText(const AdifTable& table, bool noslash);

inline constexpr char kAdifHeader[] = "QSOPAD Log file <eoh>\r\n";

// The log file as the writer needs it, open for appending.
class LogFile {
 public:
  virtual ~LogFile() = default;
  // Current length in bytes. Throws Error.
  virtual std::uint64_t Size() = 0;
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
  // Opens, creating it when missing. Throws Error naming the file and the system's reason.
  virtual std::unique_ptr<LogFile> OpenForAppend(const std::string& path) = 0;
};

struct LogWriteResult {
  enum Outcome { kNoFile, kNothingToWrite, kWritten, kFailed } outcome = kNoFile;
  // For kFailed: the file and what went wrong.
  std::string detail;
};

// Appends one record for the table's contents to "ADIF"/"File" (a new file gets the
// header line first), in one write, flushed. On any failure the file is cut back to what
// it was, so no half record is ever left behind. Reads the store's "File" and "Zero".
LogWriteResult WriteAdifRecord(const AdifTable& table, const SettingsStore& store,
                               LogFiles& files);

// The message box text of a failed write.
std::string LogFileErrorText(const LogWriteResult& result);

}  // namespace qsopad
