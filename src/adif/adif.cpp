#include "adif/adif.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <optional>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

constexpr std::array<const char*, kBuiltInAdifFields> kBuiltInNames = {
    "CALL", "NAME", "BAND", "QSO_DATE", "TIME_ON", "TX_PWR",
    "MODE", "RST_SENT", "RST_RCVD", "FREQ", "TIME_OFF", "NOTES"};

constexpr unsigned char kSlashedZeroByte = 216;
// The log is read this much at a time when it is checked before an append.
constexpr std::size_t kReadBlock = 64 * 1024;
// More than this between "<" and ">" is not a data specifier.
constexpr std::size_t kMaxSpecifier = 1024;

// The bytes of the character that starts at peek(0), as a UTF-8 decoder takes them: a whole
// sequence, or the longest start of one that is followed by a byte that does not fit or by
// the end (the decoder shows that as one replacement character). peek(k) gives the byte k
// places on, or -1 past the end.
template <class Peek>
std::size_t Utf8Step(Peek peek) {
  const int c = peek(0);
  int more = 0;
  int lo = 0x80, hi = 0xBF;  // the range of the byte after the first
  if (c >= 0xC2 && c <= 0xDF) {
    more = 1;
  } else if (c >= 0xE0 && c <= 0xEF) {
    more = 2;
    if (c == 0xE0) lo = 0xA0;  // no overlong forms
    if (c == 0xED) hi = 0x9F;  // no surrogates
  } else if (c >= 0xF0 && c <= 0xF4) {
    more = 3;
    if (c == 0xF0) lo = 0x90;
    if (c == 0xF4) hi = 0x8F;  // nothing past U+10FFFF
  }
  std::size_t n = 1;
  for (; n <= static_cast<std::size_t>(more); ++n) {
    const int b = peek(n);
    if (b < lo || b > hi) break;
    lo = 0x80;
    hi = 0xBF;
  }
  return n;
}

std::size_t Utf8StepAt(std::string_view s, std::size_t i) {
  return Utf8Step([&](std::size_t k) {
    return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : -1;
  });
}

// Slashed zeros back to "0". In UTF-8 text only a byte 216 that is no part of a character
// is one (the same byte starts the two-byte characters U+0600 to U+063F).
void Unslash(std::string& value, bool utf8) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    if (static_cast<unsigned char>(value[i]) != kSlashedZeroByte) continue;
    if (!utf8 || Utf8StepAt(value, i) == 1) value[i] = '0';
  }
}

bool SameLetters(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

// Reads a log file forward, a block at a time.
class LogReader {
 public:
  LogReader(LogFile& file, std::uint64_t at, std::uint64_t size)
      : file_(file), pos_(at), size_(size) {}
  std::uint64_t pos() const { return pos_; }
  // The byte `ahead` places on, or -1 past the end.
  int Peek(std::size_t ahead = 0) {
    if (pos_ + ahead >= size_) return -1;
    if (pos_ < start_ || pos_ + ahead >= start_ + block_.size()) Fill(ahead);
    return static_cast<unsigned char>(block_[static_cast<std::size_t>(pos_ + ahead - start_)]);
  }
  void Advance(std::uint64_t n) { pos_ = n < size_ - pos_ ? pos_ + n : size_; }
  // Past a value of `length` (characters of UTF-8 with `utf8`, else bytes); false when the
  // file ends first.
  bool SkipValue(std::uint64_t length, bool utf8) {
    if (!utf8) {
      if (length > size_ - pos_) return false;
      pos_ += length;
      return true;
    }
    for (std::uint64_t i = 0; i < length; ++i) {
      if (pos_ >= size_) return false;
      Advance(Utf8Step([&](std::size_t k) { return Peek(k); }));
    }
    return true;
  }

 private:
  void Fill(std::size_t ahead) {
    start_ = pos_;
    const std::uint64_t want = std::min<std::uint64_t>(std::max(kReadBlock, ahead + 1), size_ - pos_);
    block_ = file_.ReadAt(pos_, static_cast<std::size_t>(want));
    if (block_.size() <= ahead)
      throw Error("the file ends at byte " + std::to_string(pos_ + block_.size()) + ", not at byte " +
                  std::to_string(size_) + " as it did a moment ago");
  }

  LogFile& file_;
  std::uint64_t pos_, size_;
  std::uint64_t start_ = 0;
  std::string block_;
};

// Where the last append of this process ended, when its bytes are still there.
std::uint64_t ResumePoint(const LogFiles::AppendMark& mark, const std::string& path, LogFile& file,
                          std::uint64_t size) {
  if (mark.path != path || mark.before.empty() || mark.end > size || mark.end < mark.before.size())
    return 0;
  return file.ReadAt(mark.end - mark.before.size(), mark.before.size()) == mark.before ? mark.end : 0;
}

std::string Read(const SettingsStore& store, const std::string& key, std::string_view def) {
  return store.ReadSetting(sections::kAdif, key, def);
}

// The stored "Count" as the table's highest index. Problems go to `problem`.
long StoredFieldCount(const SettingsStore& store, std::optional<std::string>& problem) {
  const std::string text = ReadText(store, keys::kAdifCount);
  long count = kBuiltInAdifFields - 1;
  try {
    count = ParseLong(text);
  } catch (const Error&) {
    // Not a number: the built-in fields, as with no "Count" at all.
    return kBuiltInAdifFields - 1;
  }
  if (count > kMaxAdifFieldCount) {
    problem = "Setting [ADIF] \"Count\" holds \"" + text + "\", which is more than " +
              std::to_string(kMaxAdifFieldCount) +
              " fields; only the twelve built-in ADIF fields are used";
    return kBuiltInAdifFields - 1;
  }
  return count < kBuiltInAdifFields - 1 ? kBuiltInAdifFields - 1 : count;
}

}  // namespace

AdifTable::AdifTable() {
  fields.resize(kBuiltInAdifFields);
  for (int i = 0; i < kBuiltInAdifFields; ++i) {
    fields[static_cast<std::size_t>(i)].Name = kBuiltInNames[static_cast<std::size_t>(i)];
    fields[static_cast<std::size_t>(i)].Tag = kBuiltInNames[static_cast<std::size_t>(i)];
    fields[static_cast<std::size_t>(i)].En = true;
  }
}

void AdifTable::LoadAdifFields(const SettingsStore& store) {
  std::optional<std::string> problem;
  const long count = StoredFieldCount(store, problem);
  std::vector<AdifField> table(static_cast<std::size_t>(count) + 1);
  const std::string custom = ReadText(store, keys::kAdifCustName);
  for (long i = 0; i <= count; ++i) {
    AdifField& f = table[static_cast<std::size_t>(i)];
    f.Name = i < kBuiltInAdifFields ? kBuiltInNames[static_cast<std::size_t>(i)] : custom;
    const int index = static_cast<int>(i);
    const std::string en = Read(store, AdifEnKey(index), "True");
    try {
      f.En = ParseBool(en);
    } catch (const Error&) {
      f.En = true;
      if (!problem)
        problem = "Setting [ADIF] \"" + AdifEnKey(index) + "\" holds \"" + en +
                  "\", which is not True or False; the field is enabled";
    }
    f.Tag = Read(store, AdifTagKey(index), f.Name);
    f.Val = Read(store, AdifValKey(index), "");
  }
  fields = std::move(table);
  fieldcount = static_cast<std::int16_t>(count);
  ++layout;
  if (problem) throw Error(*problem);
}

std::vector<SettingWrite> AdifTable::FieldWrites() const {
  std::vector<SettingWrite> writes;
  writes.reserve(static_cast<std::size_t>(fieldcount + 1) * 3);
  const std::string section(sections::kAdif);
  for (int i = 0; i <= fieldcount; ++i) {
    const AdifField& f = (*this)[i];
    writes.push_back({section, AdifEnKey(i), f.En ? "True" : "False"});
    writes.push_back({section, AdifTagKey(i), f.Tag});
    writes.push_back({section, AdifValKey(i), f.Val});
  }
  return writes;
}

void AdifTable::SaveAdifFields(SettingsStore& store) const { store.WriteSettings(FieldWrites()); }

void AdifTable::AddCustomField(SettingsStore& store) {
  if (fieldcount >= kMaxAdifFieldCount)
    throw Error("No more ADIF fields can be added: the table holds " +
                std::to_string(fieldcount + 1) + " already");
  // Stored first: a store that cannot be written leaves the table as it was.
  WriteLong(store, keys::kAdifCount, fieldcount + 1);
  AdifField added;
  added.Name = "*Custom";
  fields.push_back(added);
  ++fieldcount;
  ++layout;
}

bool IsAdifFieldName(std::string_view tag) {
  return !tag.empty() && std::all_of(tag.begin(), tag.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
  });
}

std::size_t AdifLength(std::string_view value, bool utf8) {
  if (!utf8) return value.size();
  std::size_t characters = 0;
  for (std::size_t i = 0; i < value.size(); i += Utf8StepAt(value, i)) ++characters;
  return characters;
}

bool AdifLoggingOn(const SettingsStore& store) {
  try {
    return ReadBool(store, keys::kAdifEn);
  } catch (const Error&) {
    return false;
  }
}

std::string AdifRecordText(const AdifTable& table, bool noslash, bool utf8,
                           std::vector<std::string>* left_out) {
  std::string out;
  for (int i = 0; i <= table.fieldcount; ++i) {
    const AdifField& f = table[i];
    if (!f.En) continue;
    std::string value = f.Data.empty() ? f.Val : f.Data;
    if (value.empty()) continue;
    if (!IsAdifFieldName(f.Tag)) {
      if (left_out && std::find(left_out->begin(), left_out->end(), f.Tag) == left_out->end())
        left_out->push_back(f.Tag);
      continue;
    }
    if (noslash) Unslash(value, utf8);
    out += '<';
    out += f.Tag;
    out += ':';
    out += std::to_string(AdifLength(value, utf8));
    out += '>';
    out += value;
    out += "\r\n";
  }
  if (!out.empty()) out += "<eor>\r\n";
  return out;
}

std::uint64_t AdifWholeEnd(LogFile& file, std::uint64_t from, std::uint64_t size, bool utf8,
                           bool& cut_line_end) {
  cut_line_end = false;
  LogReader in(file, from, size);
  // Before the first "<eoh>" of a file that does not open with "<" lies its header.
  bool header = from == 0 && in.Peek() != '<';
  std::uint64_t last = from;  // the end of the last whole record, or of the header
  bool no_line_end = false;   // `last` lies right after "<eor>" or "<eoh>", no line end there
  bool junk = false;          // since `last`, something that is not ADIF
  bool torn = false;          // a data specifier or its value cut off by the end
  int fields = 0;             // whole data specifiers since `last`
  for (int c; (c = in.Peek()) >= 0;) {
    if (c != '<') {
      if (!header && c != ' ' && c != '\t' && c != '\r' && c != '\n') junk = true;
      in.Advance(1);
      continue;
    }
    std::string inner;
    std::size_t k = 1;
    int d;
    while ((d = in.Peek(k)) >= 0 && d != '>' && d != '<' && k <= kMaxSpecifier) {
      inner += static_cast<char>(d);
      ++k;
    }
    if (d < 0) {
      torn = true;
      break;
    }
    if (d != '>') {
      junk = true;
      in.Advance(1);
      continue;
    }
    in.Advance(k + 1);
    const std::size_t colon = inner.find(':');
    if (colon == std::string::npos) {
      if (SameLetters(inner, "eor") || SameLetters(inner, "eoh")) {
        // Its line end goes with it: a cut never takes that away, for the append after
        // the cut may not happen.
        const std::size_t line_end = in.Peek() == '\n' ? 1 : in.Peek() == '\r' && in.Peek(1) == '\n' ? 2 : 0;
        in.Advance(line_end);
        last = in.pos();
        no_line_end = line_end == 0;
        header = junk = false;
        fields = 0;
      } else {
        junk = true;
      }
      continue;
    }
    std::string_view length = std::string_view(inner).substr(colon + 1);
    length = length.substr(0, length.find(':'));  // before the data type, if any
    if (length.empty() || length.size() > 15 ||
        length.find_first_not_of("0123456789") != std::string_view::npos) {
      junk = true;
      continue;
    }
    if (!in.SkipValue(std::stoull(std::string(length)), utf8)) {
      torn = true;
      break;
    }
    ++fields;
  }
  if (header) {
    // Only a start of our own header is ours to cut: a file cut off while it was created.
    const std::string_view ours = kAdifHeader;
    return size < ours.size() && file.ReadAt(0, static_cast<std::size_t>(size)) == ours.substr(0, size)
               ? 0
               : size;
  }
  if (junk) return size;
  // Ended right after "<eor>" or "<eoh>", or in its line end: the line end anew.
  const bool bare = no_line_end && (size == last || (size - last == 1 && file.ReadAt(last, 1) == "\r"));
  if (!torn && fields == 0 && !bare) return size;
  cut_line_end = no_line_end;
  return last;
}

LogWriteResult WriteAdifRecord(const AdifTable& table, const SettingsStore& store,
                               LogFiles& files) {
  const std::string path = ReadText(store, keys::kAdifFile);
  if (path.empty()) return {};
  LogWriteResult result;
  std::unique_ptr<LogFile> file;
  std::uint64_t before = 0;
  bool appended = false;
  try {
    const bool utf8 = files.TextIsUtf8();
    const std::string record =
        AdifRecordText(table, ReadBool(store, keys::kZero), utf8, &result.left_out);
    const bool readable = files.CanRead(path);
    file = files.OpenForAppend(path);
    const std::uint64_t size = file->Size();
    before = size;
    bool line_end = false;
    if (readable && size > 0) {
      // A record cut off by a kill or a power cut: whatever is appended after it would be
      // read as part of its last value.
      before = AdifWholeEnd(*file, ResumePoint(files.last_append, path, *file, size), size, utf8,
                            line_end);
      if (before < size) file->TruncateTo(before);
    }
    // An empty file is new as well: one that a crash left right after creating it would
    // otherwise never get its header.
    std::string bytes = !readable || before == 0 ? kAdifHeader : "";
    if (!record.empty()) bytes += (line_end ? "\r\n" : "") + record;
    if (!bytes.empty()) {
      appended = true;
      file->Append(bytes);
      file->Flush();
      const std::size_t keep = std::min<std::size_t>(bytes.size(), 64);
      files.last_append = {path, before + bytes.size(), bytes.substr(bytes.size() - keep)};
    } else if (before < size) {
      file->Flush();
    }
    result.outcome = record.empty() ? LogWriteResult::kNothingToWrite : LogWriteResult::kWritten;
  } catch (const std::exception& e) {
    result.outcome = LogWriteResult::kFailed;
    result.detail = path + ": " + e.what();
    if (file && appended) {
      try {
        file->TruncateTo(before);
        file->Flush();
      } catch (const std::exception& again) {
        result.detail += "; the file could not be cut back to its former length (" +
                         std::string(again.what()) + ")";
      }
    }
  }
  return result;
}

std::string LogFileErrorText(const LogWriteResult& result) {
  return "Log file error\r\n\r\n" + result.detail;
}

std::string LeftOutTagsText(const LogWriteResult& result, AdifTable& table) {
  std::string names;
  for (const std::string& tag : result.left_out) {
    if (!table.told_tags.insert(tag).second) continue;
    names += names.empty() ? "" : ", ";
    names += tag.empty() ? "a custom field without a tag" : "\"" + tag + "\"";
  }
  if (names.empty()) return "";
  return "Logged without the fields of these ADIF tags: " + names +
         ".\r\n\r\nAn ADIF tag is letters, digits and \"_\" only (QSL_VIA, for example); other "
         "programs cannot read the log with anything else in a tag. Correct the tags on the "
         "Logging page of the options. (You are told once per tag while QSOPAD runs.)";
}

}  // namespace qsopad
