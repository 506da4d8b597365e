// The settings store: an in-memory model of the settings file, kept in step with the file.
//
// File format. Plain text, one entry per line, CRLF line ends (LF alone is accepted):
//
//   ; QSOPAD settings
//   [Section]
//   key=value
//
// Names and values are escaped so that every byte survives a round trip:
//   \\ backslash   \r CR   \n LF   \0 NUL   \t tab   \s a blank at the start or end
//   \= an equals sign in a key   \[ \] \; brackets, or a semicolon that opens a key
// Everything else, bytes above 127 included, is written as it is (ANSI code page text).
// The reader ignores blanks around names and values and the blank lines between entries,
// so the file can be edited by hand. An unknown escape is read as its two characters.
//
// Damaged content. Loading never fails on content: a line that is neither a section
// header, nor key=value, nor blank (a comment, a torn line, a key outside any section, a
// second entry for a key that already has one) is kept verbatim with the section it stands
// in and written back after that section's entries. Such lines are invisible to readers
// but never dropped, so a hand edit gone wrong cannot cost the operator a setting on the
// next write, and the text is still there to be repaired.
#include "options/settings_store.h"

#include <cstddef>
#include <functional>
#include <map>
#include <optional>

#include "common/error.h"

namespace qsopad {

namespace {

constexpr std::string_view kHeader = "; QSOPAD settings";
constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kEol = "\r\n";

unsigned char Fold(char c) {
  const auto u = static_cast<unsigned char>(c);
  return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

// Names compare with ASCII letters folded; other bytes compare as they are, because what
// counts as a letter above 127 depends on the code page.
struct CaseLess {
  using is_transparent = void;
  bool operator()(std::string_view x, std::string_view y) const {
    const std::size_t n = x.size() < y.size() ? x.size() : y.size();
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned char a = Fold(x[i]);
      const unsigned char b = Fold(y[i]);
      if (a != b) return a < b;
    }
    return x.size() < y.size();
  }
};

struct Section {
  std::string name;
  std::vector<std::pair<std::string, std::string>> entries;  // order of first write
  std::map<std::string, std::size_t, CaseLess> index;        // key -> position in entries
  std::vector<std::string> kept;                             // lines kept verbatim

  const std::string* Find(std::string_view key) const {
    const auto it = index.find(key);
    return it == index.end() ? nullptr : &entries[it->second].second;
  }
  bool Add(std::string_view key, std::string_view value) {
    if (index.find(key) != index.end()) return false;
    index.emplace(std::string(key), entries.size());
    entries.emplace_back(std::string(key), std::string(value));
    return true;
  }
  void Set(std::string_view key, std::string_view value) {
    const auto it = index.find(key);
    if (it == index.end()) {
      Add(key, value);
    } else {
      entries[it->second].second.assign(value.data(), value.size());
    }
  }
};

struct Model {
  std::vector<std::string> kept;  // lines kept verbatim from before the first section
  std::vector<Section> sections;  // order of first write
  std::map<std::string, std::size_t, CaseLess> index;

  const Section* Find(std::string_view name) const {
    const auto it = index.find(name);
    return it == index.end() ? nullptr : &sections[it->second];
  }
  Section& Obtain(std::string_view name) {
    const auto it = index.find(name);
    if (it != index.end()) return sections[it->second];
    index.emplace(std::string(name), sections.size());
    sections.emplace_back();
    sections.back().name.assign(name.data(), name.size());
    return sections.back();
  }
  bool Erase(std::string_view name) {
    const auto it = index.find(name);
    if (it == index.end()) return false;
    sections.erase(sections.begin() + static_cast<std::ptrdiff_t>(it->second));
    index.clear();
    for (std::size_t i = 0; i < sections.size(); ++i) index.emplace(sections[i].name, i);
    return true;
  }
};

// ---- Escapes ----

enum class Field { kName, kKey, kValue };

void Escape(std::string& out, std::string_view text, Field field) {
  std::size_t lead = 0;
  while (lead < text.size() && text[lead] == ' ') ++lead;
  std::size_t trail = text.size();
  while (trail > lead && text[trail - 1] == ' ') --trail;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '\r': out += "\\r"; continue;
      case '\n': out += "\\n"; continue;
      case '\0': out += "\\0"; continue;
      case '\t': out += "\\t"; continue;
      case ' ':
        out += (i < lead || i >= trail) ? "\\s" : " ";
        continue;
      default: break;
    }
    const bool special =
        (field == Field::kName && (c == '[' || c == ']')) ||
        (field == Field::kKey && (c == '=' || (i == 0 && (c == '[' || c == ';'))));
    if (special) out += '\\';
    out += c;
  }
}

std::string Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c != '\\' || i + 1 == text.size()) {
      out += c;
      continue;
    }
    const char n = text[i + 1];
    char decoded = 0;
    switch (n) {
      case '\\': case '=': case '[': case ']': case ';': decoded = n; break;
      case 'r': decoded = '\r'; break;
      case 'n': decoded = '\n'; break;
      case '0': decoded = '\0'; break;
      case 't': decoded = '\t'; break;
      case 's': decoded = ' '; break;
      default:  // not ours: keep both characters
        out += c;
        continue;
    }
    out += decoded;
    ++i;
  }
  return out;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Position of the first '=' that is not escaped, or npos.
std::size_t FindSeparator(std::string_view line) {
  for (std::size_t i = 0; i < line.size(); ++i) {
    if (line[i] == '\\') {
      ++i;
    } else if (line[i] == '=') {
      return i;
    }
  }
  return std::string_view::npos;
}

// ---- Reading and writing the whole file ----

Model Parse(std::string_view bytes) {
  Model model;
  if (bytes.substr(0, kBom.size()) == kBom) bytes.remove_prefix(kBom.size());
  Section* current = nullptr;
  bool first = true;
  while (!bytes.empty()) {
    const std::size_t eol = bytes.find('\n');
    std::string_view line = bytes.substr(0, eol);
    bytes.remove_prefix(eol == std::string_view::npos ? bytes.size() : eol + 1);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    const bool is_first = first;
    first = false;
    if (is_first && line == kHeader) continue;

    const std::string_view t = Trim(line);
    if (t.empty()) continue;
    auto& kept = current ? current->kept : model.kept;
    if (t.front() == '[' && t.size() >= 2 && t.back() == ']') {
      // The brackets of a section are the first and the last character of the line; a
      // bracket inside the name is escaped by the writer but tolerated raw.
      current = &model.Obtain(Unescape(Trim(t.substr(1, t.size() - 2))));
      continue;
    }
    const std::size_t eq = t.front() == ';' || t.front() == '[' ? std::string_view::npos
                                                                  : FindSeparator(t);
    if (eq == std::string_view::npos || current == nullptr ||
        !current->Add(Unescape(Trim(t.substr(0, eq))), Unescape(Trim(t.substr(eq + 1))))) {
      kept.emplace_back(line);
    }
  }
  return model;
}

std::string Serialise(const Model& model) {
  std::string out;
  out.reserve(1024);
  out += kHeader;
  out += kEol;
  for (const auto& line : model.kept) {
    out += line;
    out += kEol;
  }
  for (const auto& section : model.sections) {
    out += kEol;
    out += '[';
    Escape(out, section.name, Field::kName);
    out += ']';
    out += kEol;
    for (const auto& [key, value] : section.entries) {
      Escape(out, key, Field::kKey);
      out += '=';
      Escape(out, value, Field::kValue);
      out += kEol;
    }
    for (const auto& line : section.kept) {
      out += line;
      out += kEol;
    }
  }
  return out;
}

}  // namespace

// One write of the public interface, kept as a value so that a write the read-only file
// refused can be applied again on top of the file's newer content.
struct Change {
  std::vector<SettingWrite> writes;  // set in order; empty for a deletion
  std::string deleted;               // the section to remove when `writes` is empty

  // Whether the model is not yet what the change asks for.
  bool Changes(const Model& model) const {
    if (writes.empty()) return model.Find(deleted) != nullptr;
    for (const SettingWrite& w : writes) {
      const Section* s = model.Find(w.section);
      const std::string* old = s ? s->Find(w.key) : nullptr;
      if (!old || *old != w.value) return true;
    }
    return false;
  }

  // False when the model already was what the change asks for.
  bool ApplyTo(Model& model) const {
    if (writes.empty()) return model.Erase(deleted);
    bool changed = false;
    for (const SettingWrite& w : writes) {
      if (const Section* s = model.Find(w.section)) {
        if (const std::string* old = s->Find(w.key); old && *old == w.value) continue;
      }
      model.Obtain(w.section).Set(w.key, w.value);
      changed = true;
    }
    return changed;
  }
};

struct SettingsStore::Impl {
  std::unique_ptr<StoreFile> file;
  Model model;            // the file's content with `unsaved` applied on top
  StoreFile::Stamp seen;  // the file version that `model` reflects
  std::vector<Change> unsaved;  // refused by a read-only file, in order
  bool told = false;            // the notice for the current read-only spell was given
  std::function<void(const std::string&)> notice;

  void Load() {
    // The stamp is taken before the read: should the file change in between, the next
    // check sees a difference and reads again, which costs a read but loses nothing.
    const StoreFile::Stamp stamp = file->CurrentStamp();
    const std::optional<std::string> bytes = file->ReadAll();
    Model loaded = bytes ? Parse(*bytes) : Model{};
    for (const Change& change : unsaved) change.ApplyTo(loaded);
    model = std::move(loaded);
    seen = stamp;
  }

  // Applies one change under the lock on top of the file's newest content, on a copy of
  // the model that the model takes only once the file holds it, so that a failed write
  // changes nothing. A read-only file keeps the change in memory instead.
  void Commit(Change change) {
    std::string message;
    {
      const auto lock = file->LockExclusive();
      if (file->CurrentStamp() != seen) Load();
      // A write of what is stored already costs no copy of the model and no file write.
      if (!change.Changes(model)) return;
      Model next = model;
      change.ApplyTo(next);
      try {
        file->ReplaceAll(Serialise(next));
        unsaved.clear();
        told = false;
      } catch (const ReadOnlyStoreFile& e) {
        unsaved.push_back(std::move(change));
        if (!told) message = e.what();
        told = true;
      }
      model = std::move(next);
      seen = file->CurrentStamp();
    }
    if (!message.empty() && notice) {
      notice(message + ".\r\nYour changes are kept until QSOPAD closes, and saved with the "
                       "next change once the file may be written again.");
    }
  }
};

SettingsStore::SettingsStore(std::unique_ptr<StoreFile> file) : impl_(std::make_unique<Impl>()) {
  if (!file) throw Error("The settings store needs a file");
  impl_->file = std::move(file);
  impl_->Load();
}

SettingsStore::~SettingsStore() = default;

std::string SettingsStore::ReadSetting(std::string_view section, std::string_view key,
                                       std::string_view def) const {
  if (const Section* s = impl_->model.Find(section)) {
    if (const std::string* value = s->Find(key)) return *value;
  }
  return std::string(def);
}

void SettingsStore::WriteSetting(std::string_view section, std::string_view key,
                                 std::string_view value) {
  impl_->Commit({{{std::string(section), std::string(key), std::string(value)}}, {}});
}

void SettingsStore::WriteSettings(const std::vector<SettingWrite>& writes) {
  if (writes.empty()) return;
  impl_->Commit({writes, {}});
}

void SettingsStore::DeleteSection(std::string_view section) {
  impl_->Commit({{}, std::string(section)});
}

std::vector<std::pair<std::string, std::string>> SettingsStore::ListSection(
    std::string_view section) const {
  if (const Section* s = impl_->model.Find(section)) return s->entries;
  return {};
}

void SettingsStore::OnReadOnly(std::function<void(const std::string& message)> notice) {
  impl_->notice = std::move(notice);
}

bool SettingsStore::Refresh() {
  if (impl_->file->CurrentStamp() == impl_->seen) return false;
  impl_->Load();
  return true;
}

}  // namespace qsopad
