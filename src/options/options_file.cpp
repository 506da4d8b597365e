// The options file: its writer and its record reader.
//
// Format. Every line is two double-quoted fields separated by a comma and ends in CR LF:
//
//   "*Opt","*"            a section line
//   "Path","c:\psk31\psk31sbw.exe"
//
// Two ways of writing a double quote inside a field meet in these files. Earlier versions
// escaped nothing: a value's quote was written as it is, and their reader ended a quoted
// field at the first double quote after its opening one, so a value was cut at its first
// quote ("a"b" reads a). We write a double quote twice, as CSV does, so that every value
// comes back byte for byte. The two cannot be told apart by the bytes of a field:
// """" is an earlier file's value "" (read as the empty text) and our value " alike,
// and an earlier file's value 5 ft" gives "5 ft"" followed by the line end, which
// read with doubled quotes runs on into the next line. So a file says which way it was
// written: when any key or value we write holds a double quote, the file begins with the
// line
//
//   "QSOPAD options","quotes doubled"
//
// and only a file with that record before its first section line is read with doubled
// quotes. Earlier versions always began with the "*Opt" section line, so no file of theirs
// carries it, and their files are read by their own field rule, a quote ending the field;
// their reader, and ours, skip a record before the first section, so the line harms
// neither. A file
// with no double quote in any key or value is written without it, byte for byte as
// earlier versions wrote it, and reads the same either way.
//
// A line break inside a value (a macro spanning lines) is written as it is, inside the
// quotes: a quoted field runs to its closing quote across line ends, by both rules. We
// chose this over an escape such as \n because stored values (paths) hold backslashes,
// raw in earlier files, and because spreadsheets and CSV tools read it. A file whose line
// ends an editor turned into LF still reads, since CR, LF and CR LF all end a line outside
// quotes; only a line break inside a value then comes back as that editor left it.
//
// Records. A record is one line (line ends inside quotes do not count); its fields are
// separated by commas. A field that starts with a double quote (blanks before it are
// skipped) runs to the closing quote (with doubled quotes, a doubled quote inside stands
// for one), and anything between the closing quote and the next comma or line end is
// dropped. Any other field runs to the next comma or line end and loses its leading and
// trailing blanks (spaces and tabs).
//
// Earlier versions read the file as a stream of fields taken two at a time, whatever the
// lines, so one damaged line (a single field, or a third one) shifted every later record
// and stored values under keys taken from the file's values. We take the first two fields
// of each line instead, skip a line with fewer than two and ignore fields after the
// second: every line their writer produces reads as before, and damage stays on its line.
// A UTF-8 byte order mark at the start (Notepad's "UTF-8") is dropped.
//
// Values. Before anything is stored, every entry whose key the program reads as a number
// or a Boolean without a fallback is checked: a file holding "FontSize","big" is refused
// whole with one message naming the line, the key and the value, since such a value
// stored would end the program at its next use.
#include "options/options_file.h"

#include <array>
#include <utility>
#include <vector>

#include "common/error.h"
#include "options/settings_catalogue.h"
#include "options/settings_store.h"
#include "options/settings_values.h"

namespace qsopad {

namespace {

// The six exported sections in the file's order, with the spelling the file uses.
constexpr std::array<std::string_view, 6> kExported = {
    sections::kOpt, sections::kWin, sections::kUrls, sections::kMacro, sections::kCall,
    sections::kAdifExport};

constexpr std::string_view kEol = "\r\n";
constexpr std::string_view kSectionMark = "*";
// The record that says a file doubles its double quotes (see the top of the file).
constexpr std::string_view kMarkKey = "QSOPAD options";
constexpr std::string_view kMarkValue = "quotes doubled";
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
    std::size_t line = 1;    // the line of the file it starts on
  };

  // From the next byte on, a doubled quote inside a quoted field stands for one.
  void DoubleQuotes() { doubled_ = true; }

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
        CountLines(bytes.substr(i - 1, 1));
        Step(c, on_record);
        continue;
      }
      // The text of a field is taken a run at a time up to the next byte that matters.
      if (state_ == State::kQuoted || state_ == State::kUnquoted) {
        std::size_t stop = state_ == State::kQuoted ? bytes.find('"', i)
                                                    : bytes.find_first_of(",\r\n", i);
        if (stop == std::string_view::npos) stop = bytes.size();
        if (stop > i) {
          CountLines(bytes.substr(i, stop - i));
          Append(bytes.substr(i, stop - i));
          i = stop;
          continue;
        }
      }
      CountLines(bytes.substr(i, 1));
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
          // Without doubled quotes the first one closes the field, as earlier versions
          // read it; what follows it up to the comma or line end is dropped.
          state_ = doubled_ ? State::kQuoteSeen : State::kAfterClose;
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

  // Line ends anywhere, quoted or not: CR LF, CR and LF each end one line.
  void CountLines(std::string_view run) {
    for (const char c : run) {
      if (c == '\r' || (c == '\n' && !after_cr_)) ++line_;
      after_cr_ = c == '\r';
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
    record_.line = line_;
    state_ = State::kFieldStart;
  }

  State state_ = State::kFieldStart;
  bool doubled_ = false;
  std::size_t line_ = 1;
  bool after_cr_ = false;
  std::size_t start_ = 0;  // bytes of a byte order mark seen at the start
  std::string field_;
  Record record_;
};

// Turns records into the store's entries by the section and entry rules, and checks the
// entries' values.
class Loader {
 public:
  explicit Loader(RecordReader& reader) : reader_(reader) {}

  void operator()(const RecordReader::Record& record) {
    if (record.fields < 2 || record.overlong) {
      ++skipped;
      return;
    }
    const std::string& key = record.field[0];
    const std::string& value = record.field[1];
    if (ReadsAsSection(key, value)) {
      section_ = key.substr(1);  // "*" alone leaves no section: what follows is skipped
      any_section_ = true;
    } else if (!any_section_ && key == kMarkKey && value == kMarkValue) {
      reader_.DoubleQuotes();
    } else if (!section_.empty() && !key.empty()) {
      if (!damage) {
        if (std::optional<std::string> problem = UnreadableValue(section_, key, value))
          damage = "line " + std::to_string(record.line) + ": " + *problem;
      }
      entries.push_back({section_, key, value});
    } else {
      ++skipped;
    }
  }

  std::vector<SettingWrite> entries;  // in the file's order
  std::size_t skipped = 0;
  std::optional<std::string> damage;  // the first value that must not be stored

 private:
  RecordReader& reader_;
  std::string section_;  // "" until the first section line
  bool any_section_ = false;
};

bool HoldsQuote(std::string_view text) { return text.find('"') != std::string_view::npos; }

}  // namespace

std::string OptionsFileErrorText(std::string_view reason) {
  std::string text = kOptionsFileErrorPrefix;
  text += reason;
  return text;
}

std::string OptionsFileText(const SettingsStore& store) {
  std::string out;
  bool quotes = false;
  for (const std::string_view name : kExported)
    for (const auto& [key, value] : store.ListSection(name))
      quotes |= HoldsQuote(key) || HoldsQuote(value);
  if (quotes) {
    AppendQuoted(out, kMarkKey);
    out += ',';
    AppendQuoted(out, kMarkValue);
    out += kEol;
  }
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
  Loader loader(reader);
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
  if (loader.damage) {
    // Nothing is stored: the operator mends the file and loads it again.
    result.error_text = OptionsFileErrorText(*loader.damage + ". Nothing was loaded.");
    return result;
  }
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
