// The options file: its writer and its record reader.
//
// Format. Every line is two double-quoted fields separated by a comma and ends in CR LF:
//
//   "*Opt","*"            a section line
//   "Path","c:\psk31\psk31sbw.exe"
//
// Nothing inside a field is escaped except a double quote, which is written twice, as in
// CSV; earlier versions wrote it once and so cut the value at it on loading (such a value
// in their files is still cut, if not always at the same place). A line break inside a
// value (a macro spanning lines) is written as it is, inside the quotes: a quoted field
// runs to its closing quote across line ends, so the value comes back byte for byte, and a
// file without a double quote in its values is byte for byte what earlier versions wrote.
// We chose this over an escape such as \n because stored values (paths) hold backslashes,
// raw in earlier files, and because spreadsheets and CSV tools read it. A file whose line
// ends an editor turned into LF still reads, since CR, LF and CR LF all end a line outside
// quotes; only a line break inside a value then comes back as that editor left it.
//
// Records. A record is one line (line ends inside quotes do not count); its fields are
// separated by commas. A field that starts with a double quote (blanks before it are
// skipped) runs to the closing quote, a doubled quote inside standing for one, and
// anything between the closing quote and the next comma or line end is dropped. Any other
// field runs to the next comma or line end and loses its leading and trailing blanks
// (spaces and tabs).
//
// Earlier versions read the file as a stream of fields taken two at a time, whatever the
// lines, so one damaged line (a single field, or a third one) shifted every later record
// and stored values under keys taken from the file's values. We take the first two fields
// of each line instead, skip a line with fewer than two and ignore fields after the
// second: every line the writer produces reads as before, and damage stays on its line.
// A UTF-8 byte order mark at the start (Notepad's "UTF-8") is dropped.
#include "options/options_file.h"

#include <array>
#include <utility>
#include <vector>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"

namespace qsopad {

namespace {

// The six exported sections in the file's order, with the spelling the file uses.
constexpr std::array<std::string_view, 6> kExported = {
    sections::kOpt, sections::kWin, sections::kUrls, sections::kMacro, sections::kCall,
    sections::kAdifExport};

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kSectionMark = "*";
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// A field longer than this is not stored: the record it stands in is skipped and the bytes
// beyond the limit are not kept, so a file that never closes a quote costs no more memory
// than this however large it is. Far above anything the program stores.
constexpr std::size_t kMaxField = 16u << 20;
constexpr std::size_t kReadChunk = 64u << 10;

void AppendQuoted(std::string& out, std::string_view text) {
  out += '"';
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  out += '"';
}

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineEnd(char c) { return c == '\r' || c == '\n'; }

// Whether a record with these fields would be taken for a section line.
bool ReadsAsSection(std::string_view first, std::string_view second) {
  return second == kSectionMark && !first.empty() && first.front() == '*';
}

// Splits bytes into records by the rules at the top of the file, a chunk at a time, and
// hands each completed record to the loader.
class RecordReader {
 public:
  struct Record {
    std::size_t fields = 0;  // how many the line had; only the first two are kept
    std::array<std::string, 2> field;
    bool overlong = false;   // a field passed kMaxField
  };

  template <typename OnRecord>
  void Feed(std::string_view bytes, OnRecord&& on_record) {
    std::size_t i = 0;
    while (i < bytes.size()) {
      const char c = bytes[i];
      if (start_ < kUtf8Bom.size()) {
        // A byte order mark, as Notepad puts before text it saves as UTF-8, is dropped;
        // bytes that only begin like one are read as they are.
        ++i;
        if (c == kUtf8Bom[start_]) {
          ++start_;
          continue;
        }
        for (std::size_t b = 0; b < start_; ++b) Step(kUtf8Bom[b], on_record);
        start_ = kUtf8Bom.size();
        Step(c, on_record);
        continue;
      }
      // The text of a field is taken a run at a time up to the next byte that matters.
      if (state_ == State::kQuoted || state_ == State::kUnquoted) {
        std::size_t stop = state_ == State::kQuoted ? bytes.find('"', i)
                                                    : bytes.find_first_of(",\r\n", i);
        if (stop == std::string_view::npos) stop = bytes.size();
        if (stop > i) {
          Append(bytes.substr(i, stop - i));
          i = stop;
          continue;
        }
      }
      Step(c, on_record);
      ++i;
    }
  }

  // Ends the input. Returns false when it ended inside a quoted field: that last record
  // is incomplete and is not handed on.
  template <typename OnRecord>
  bool Finish(OnRecord&& on_record) {
    if (start_ < kUtf8Bom.size()) {  // the input was only the beginning of a mark
      const std::size_t seen = std::exchange(start_, kUtf8Bom.size());
      for (std::size_t i = 0; i < seen; ++i) Step(kUtf8Bom[i], on_record);
    }
    if (state_ == State::kQuoted) return false;
    EndLine(on_record);
    return true;
  }

 private:
  enum class State {
    kFieldStart,  // before a field: blanks skipped
    kUnquoted,
    kQuoted,
    kQuoteSeen,   // a double quote inside a quoted field: doubled, or the closing one
    kAfterClose,  // after the closing quote: dropped up to the comma or line end
  };

  template <typename OnRecord>
  void Step(char c, OnRecord& on_record) {
    switch (state_) {
      case State::kFieldStart:
        if (c == '"') {
          state_ = State::kQuoted;
        } else if (c == ',') {
          EndField();
        } else if (IsLineEnd(c)) {
          EndLine(on_record);
        } else if (!IsBlank(c)) {
          Append(c);
          state_ = State::kUnquoted;
        }
        return;
      case State::kUnquoted:
        if (c == ',') {
          EndField();
        } else if (IsLineEnd(c)) {
          EndLine(on_record);
        } else {
          Append(c);
        }
        return;
      case State::kQuoted:
        if (c == '"') {
          state_ = State::kQuoteSeen;
        } else {
          Append(c);
        }
        return;
      case State::kQuoteSeen:
        if (c == '"') {
          Append(c);
          state_ = State::kQuoted;
          return;
        }
        state_ = State::kAfterClose;
        [[fallthrough]];
      case State::kAfterClose:
        if (c == ',') {
          EndField();
        } else if (IsLineEnd(c)) {
          EndLine(on_record);
        }
        return;
    }
  }

  void Append(std::string_view run) {
    const std::size_t room = kMaxField - field_.size();
    if (run.size() > room) {
      record_.overlong = true;
      run = run.substr(0, room);
    }
    field_ += run;
  }
  void Append(char c) { Append(std::string_view(&c, 1)); }

  void EndField() {
    if (state_ == State::kUnquoted) {
      std::size_t end = field_.size();
      while (end > 0 && IsBlank(field_[end - 1])) --end;
      field_.resize(end);
    }
    if (record_.fields < record_.field.size()) {
      record_.field[record_.fields].swap(field_);
    }
    ++record_.fields;
    field_.clear();
    state_ = State::kFieldStart;
  }

  // A line end outside quotes, or the end of the input.
  template <typename OnRecord>
  void EndLine(OnRecord& on_record) {
    // Before any field the line is blank; after a comma it ends with an empty field.
    if (state_ != State::kFieldStart || record_.fields > 0) {
      EndField();
      on_record(record_);
    }
    record_.fields = 0;
    record_.overlong = false;
    state_ = State::kFieldStart;
  }

  State state_ = State::kFieldStart;
  std::size_t start_ = 0;  // bytes of a byte order mark seen at the start
  std::string field_;
  Record record_;
};

// Turns records into the store's entries by the section and entry rules.
class Loader {
 public:
  void operator()(const RecordReader::Record& record) {
    if (record.fields < 2 || record.overlong) {
      ++skipped;
      return;
    }
    const std::string& key = record.field[0];
    const std::string& value = record.field[1];
    if (ReadsAsSection(key, value)) {
      section_ = key.substr(1);  // "*" alone leaves no section: what follows is skipped
    } else if (!section_.empty() && !key.empty()) {
      entries.push_back({section_, key, value});
    } else {
      ++skipped;
    }
  }

  std::vector<SettingWrite> entries;  // in the file's order
  std::size_t skipped = 0;

 private:
  std::string section_;  // "" until the first section line
};

}  // namespace

std::string OptionsFileErrorText(std::string_view reason) {
  std::string text = kOptionsFileErrorPrefix;
  text += reason;
  return text;
}

std::string OptionsFileText(const SettingsStore& store) {
  std::string out;
  for (const std::string_view name : kExported) {
    out += "\"*";
    out += name;
    out += "\",\"*\"";
    out += kEol;
    for (const auto& [key, value] : store.ListSection(name)) {
      // Such an entry would read back as a section line and send every entry after it
      // into a section of its own. Neither the program nor a loaded file creates one
      // (only a hand edit of the settings file could), so it is left out.
      if (ReadsAsSection(key, value)) continue;
      AppendQuoted(out, key);
      out += ',';
      AppendQuoted(out, value);
      out += kEol;
    }
  }
  return out;
}

std::optional<std::string> SaveOptionsFile(const SettingsStore& store, OptionsFileSink& file) {
  const std::string text = OptionsFileText(store);
  try {
    file.WriteWhole(text);
  } catch (const Error& e) {
    return OptionsFileErrorText(e.what());
  }
  return std::nullopt;
}

OptionsLoadResult LoadOptionsFile(SettingsStore& store, OptionsFileSource& file) {
  RecordReader reader;
  Loader loader;
  OptionsLoadResult result;
  std::string buffer(kReadChunk, '\0');
  try {
    for (;;) {
      const std::size_t got = file.Read(buffer.data(), buffer.size());
      if (got == 0) break;
      reader.Feed(std::string_view(buffer.data(), got < buffer.size() ? got : buffer.size()),
                  loader);
    }
    if (!reader.Finish(loader)) ++loader.skipped;
  } catch (const Error& e) {
    // The records read before the failure are stored all the same.
    result.error_text = OptionsFileErrorText(e.what());
  }
  result.skipped = loader.skipped;
  // One write of the settings file for the lot: one durable write per entry took seconds
  // for an ordinary file and grew with the square of a large one's length.
  try {
    store.WriteSettings(loader.entries);
    result.stored = loader.entries.size();
  } catch (const Error& e) {
    // Then nothing was stored, which matters more than a read failure before it.
    result.error_text = OptionsFileErrorText(e.what());
  }
  return result;
}

OptionsLoadResult LoadOptionsFile(SettingsStore& store, std::string_view bytes) {
  class Bytes : public OptionsFileSource {
   public:
    explicit Bytes(std::string_view bytes) : rest_(bytes) {}
    std::size_t Read(char* buffer, std::size_t size) override {
      const std::size_t n = rest_.copy(buffer, size);
      rest_.remove_prefix(n);
      return n;
    }

   private:
    std::string_view rest_;
  } source(bytes);
  return LoadOptionsFile(store, source);
}

}  // namespace qsopad
