#include "lookup/fcc_build.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <memory>

#include "common/error.h"

namespace qsopad {

namespace {

using namespace std::string_view_literals;

// ---- Reading the input a line at a time ----

// Lines of a file read in large pieces; a line ends at LF, and a CR before it is dropped.
class LineReader {
 public:
  LineReader(FccReadFile& file, std::string path) : file_(file), path_(std::move(path)), buffer_(kStart) {}

  // The next line, without its line end; false at the end of the file. `start` is the
  // offset of its first byte. A line longer than kFccLongestLine ends the build: no file of
  // licences has one.
  bool Next(std::string_view& line, std::uint64_t& start) {
    for (;;) {
      if (pos_ < end_) {
        const char* const from = buffer_.data() + pos_;
        if (const auto* nl = static_cast<const char*>(std::memchr(from, '\n', end_ - pos_))) {
          return Take(line, start, static_cast<std::size_t>(nl - from), 1);
        }
      }
      if (eof_) {
        if (pos_ == end_) return false;
        ended_mid_line_ = true;
        return Take(line, start, end_ - pos_, 0);
      }
      Fill();
    }
  }

  std::uint64_t BytesRead() const { return base_ + end_; }
  std::uint64_t LineNumber() const { return line_number_; }
  // Whether the line last returned ended the file without a line end.
  bool EndedMidLine() const { return ended_mid_line_; }

 private:
  static constexpr std::size_t kStart = std::size_t{8} << 20;

  bool Take(std::string_view& line, std::uint64_t& start, std::size_t length, std::size_t ending) {
    line = std::string_view(buffer_.data() + pos_, length);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    start = base_ + pos_;
    pos_ += length + ending;
    ++line_number_;
    return true;
  }

  void Fill() {
    if (pos_ == 0 && end_ == buffer_.size()) {
      if (buffer_.size() >= kFccLongestLine) {
        throw Error("Line " + std::to_string(line_number_ + 1) + " of \"" + path_ + "\" is longer than " +
                    std::to_string(kFccLongestLine) + " bytes: not a file of text lines");
      }
      buffer_.resize(buffer_.size() * 2);
    }
    std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
    base_ += pos_;
    end_ -= pos_;
    pos_ = 0;
    const std::size_t want = buffer_.size() - end_;
    const std::size_t got = file_.ReadAt(base_ + end_, buffer_.data() + end_, want);
    end_ += got;
    eof_ = got < want;
  }

  FccReadFile& file_;
  std::string path_;
  std::vector<char> buffer_;
  std::uint64_t base_ = 0;  // file offset of buffer_[0]
  std::size_t pos_ = 0, end_ = 0;
  std::uint64_t line_number_ = 0;
  bool eof_ = false;
  bool ended_mid_line_ = false;
};

std::unique_ptr<FccReadFile> OpenInput(FccFiles& files, const std::string& path) {
  std::string error;
  auto file = files.OpenRead(path, /*create_missing=*/false, error);
  if (!file) throw Error("Cannot open " + error);
  return file;
}

// ---- Rows of the FCC's files ----

constexpr std::size_t kMaxFields = 64;
using Fields = std::array<std::string_view, kMaxFields>;

// Splits a row at every "|". Returns the number of fields; those past kMaxFields are
// counted but not kept. A row without "|" is one field.
std::size_t SplitRow(std::string_view row, Fields& fields) {
  // A byte loop: most fields are empty or a few bytes, too short for memchr to pay.
  std::size_t count = 0, from = 0;
  for (std::size_t i = 0; i < row.size(); ++i) {
    if (row[i] != '|') continue;
    if (count < kMaxFields) fields[count] = row.substr(from, i - from);
    ++count;
    from = i + 1;
  }
  if (count < kMaxFields) fields[count] = row.substr(from);
  return count + 1;
}

// Field at the FCC's position `pos` (counted from 1, the record type being 1); empty when
// the row is shorter, as rows of older layouts are.
std::string_view At(const Fields& fields, std::size_t count, std::size_t pos) {
  return pos <= count && pos <= kMaxFields ? fields[pos - 1] : std::string_view();
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The unique system identifier: 1 to 9 digits, not zero. 0 when it is not one.
std::uint32_t ParseUsi(std::string_view text) {
  text = Trim(text);
  if (text.empty() || text.size() > 9) return 0;
  std::uint32_t v = 0;
  for (const char c : text) {
    if (!IsDigit(c)) return 0;
    v = v * 10 + static_cast<std::uint32_t>(c - '0');
  }
  return v;
}

// "mm/dd/yyyy" as yyyymmdd, for comparing; 0 for anything else (an empty date).
std::uint32_t ParseDate(std::string_view text) {
  text = Trim(text);
  if (text.size() != 10 || text[2] != '/' || text[5] != '/') return 0;
  std::uint32_t v[3] = {};
  const std::size_t from[3] = {6, 0, 3}, size[3] = {4, 2, 2};
  for (int i = 0; i < 3; ++i) {
    for (std::size_t k = from[i]; k < from[i] + size[i]; ++k) {
      if (!IsDigit(text[k])) return 0;
      v[i] = v[i] * 10 + static_cast<std::uint32_t>(text[k] - '0');
    }
  }
  return v[0] * 10000 + v[1] * 100 + v[2];
}

// The row layouts of the current files; the files of 2011 have shorter rows (the FCC has
// appended fields since), which read as if the missing trailing fields were empty. A row
// shorter than the oldest layout was cut short.
struct Layout {
  std::string_view type;
  std::size_t fields;
  std::size_t oldest;
};
constexpr Layout kEn{"EN", 30, 27}, kAm{"AM", 18, 18}, kHd{"HD", 59, 50};
constexpr std::size_t kCallPos = 5;  // the call sign's position, the same in all three

struct SkipCounter {
  FccBuildReport& report;
  FccBuildListener& listener;

  void Skip(const std::string& file, std::uint64_t line, const std::string& reason) {
    auto it = std::find_if(report.skipped.begin(), report.skipped.end(),
                           [&](const FccSkipCount& s) { return s.file == file && s.reason == reason; });
    if (it == report.skipped.end()) it = report.skipped.insert(report.skipped.end(), {file, reason, 0});
    ++it->rows;
    listener.Skipped(file, line, reason);
  }
};

constexpr std::uint64_t kProgressStep = std::uint64_t{16} << 20;

// Reads every row of one input file and hands the usable ones to
// `take(usi, fields, count, line)`, returning their number: blank lines are passed over;
// rows of another record type (a continuation of a value broken over lines), with more
// fields than the layout (a "|" inside a value) or fewer than its oldest form, or without
// an identifier are skipped and counted. A file whose last row has no line end was cut
// short (the FCC ends every row with one): it ends the build, `refusal` saying what was
// not written.
template <typename Take>
std::uint64_t ReadRows(FccFiles& files, const std::string& path, const Layout& layout, SkipCounter& skips,
                       const std::string& refusal, Take&& take) {
  const auto file = OpenInput(files, path);
  LineReader lines(*file, path);
  const std::string wrong_type = "not an " + std::string(layout.type) + " row";
  const std::string too_many =
      "more than " + std::to_string(layout.fields) + " fields (a \"|\" inside a value)";
  const std::string too_few = "fewer than " + std::to_string(layout.oldest) + " fields (a row cut short)";
  Fields fields;
  std::string_view row;
  std::uint64_t start = 0, next_progress = kProgressStep, usable = 0;
  while (lines.Next(row, start)) {
    if (lines.BytesRead() >= next_progress) {
      skips.listener.Progress(path, lines.BytesRead());
      next_progress = lines.BytesRead() + kProgressStep;
    }
    if (lines.EndedMidLine()) {
      throw Error("\"" + path + "\" ends in the middle of row " + std::to_string(lines.LineNumber()) +
                  " (no line end after it): the file was cut short; " + refusal);
    }
    if (row.empty()) continue;
    const std::size_t count = SplitRow(row, fields);
    if (fields[0] != layout.type) {
      skips.Skip(path, lines.LineNumber(), wrong_type);
      continue;
    }
    if (count > layout.fields) {
      skips.Skip(path, lines.LineNumber(), too_many);
      continue;
    }
    if (count < layout.oldest) {
      skips.Skip(path, lines.LineNumber(), too_few);
      continue;
    }
    const std::uint32_t usi = ParseUsi(At(fields, count, 2));
    if (usi == 0) {
      skips.Skip(path, lines.LineNumber(), "no unique system identifier");
      continue;
    }
    ++usable;
    take(usi, fields, count, lines.LineNumber());
  }
  skips.listener.Progress(path, lines.BytesRead());
  skips.report.bytes_read += lines.BytesRead();
  return usable;
}

// ---- Licences ----

struct Licence {
  FccKey call;
  std::uint32_t usi = 0;
  std::uint32_t grant = 0;  // yyyymmdd
  std::uint32_t hd_line = 0;
  std::uint32_t tail_size = 0;
  std::uint64_t tail = 0;  // fields 4 to 9 of the data line, in the arena
  char status = ' ';
  char op_class = ' ';
  std::uint8_t entity = 0;  // 0 no EN row yet, 1 another entity's, 2 the licensee's
  bool am = false;          // an AM row was read for it
  std::array<char, 10> expiry{};
  std::uint8_t expiry_size = 0;
};

// A licence's place in the order of call signs, the one kept for a call sign first:
// active, then the latest grant, then the newest identifier. Two integers compare faster
// than the licences they stand for, and sort without reaching into them.
struct Rank {
  std::uint64_t call_active;  // the key's six bytes, then 1 for a licence not active
  std::uint64_t later_first;  // grant date and identifier, complemented
  std::uint32_t licence;
  friend bool operator<(const Rank& a, const Rank& b) {
    return a.call_active != b.call_active ? a.call_active < b.call_active : a.later_first < b.later_first;
  }
};

Rank RankOf(const Licence& l, std::uint32_t index) {
  std::uint64_t call = 0;
  for (const char c : l.call) call = (call << 8) | static_cast<unsigned char>(c);
  return {(call << 16) | (l.status == 'A' ? 0u : 1u),
          (std::uint64_t{~l.grant} << 32) | std::uint64_t{~l.usi}, index};
}

char Letter(std::string_view text) {
  text = Trim(text);
  return text.size() == 1 && text[0] >= 'A' && text[0] <= 'Z' ? text[0] : ' ';
}

// Identifier to the place of a licence, a chosen one before any other of the same
// identifier: open addressing. The files list licences in (nearly) ascending identifier
// order, and the home slot keeps the identifier's low bits, so that the EN and AM rows
// find theirs in neighbouring slots rather than at random places of a table of tens of
// megabytes.
class UsiTable {
 public:
  static constexpr std::int64_t kNone = -1, kOther = -2;

  UsiTable(const std::vector<Licence>& licences, const std::vector<std::uint32_t>& chosen) {
    std::size_t capacity = 16;
    bits_ = 4;
    while (capacity < 2 * licences.size()) {
      capacity *= 2;
      ++bits_;
    }
    slots_.assign(capacity, Slot{});
    const auto add = [&](std::uint32_t usi, std::uint32_t index) {
      std::size_t s = Home(usi);
      while (slots_[s].usi != 0 && slots_[s].usi != usi) s = (s + 1) & (capacity - 1);
      if (slots_[s].usi == 0) slots_[s] = {usi, index};
    };
    std::vector<bool> is_chosen(licences.size());
    for (const std::uint32_t i : chosen) {
      is_chosen[i] = true;
      add(licences[i].usi, i);
    }
    for (std::uint32_t i = 0; i < licences.size(); ++i) {
      if (!is_chosen[i]) add(licences[i].usi, kOtherIndex);
    }
  }
  // The chosen licence's place; kOther for a licence not chosen for its call sign; kNone.
  std::int64_t Find(std::uint32_t usi) const {
    for (std::size_t s = Home(usi);; s = (s + 1) & (slots_.size() - 1)) {
      if (slots_[s].usi == usi) return slots_[s].index == kOtherIndex ? kOther : slots_[s].index;
      if (slots_[s].usi == 0) return kNone;
    }
  }

 private:
  struct Slot {
    std::uint32_t usi = 0;
    std::uint32_t index = 0;
  };
  std::size_t Home(std::uint32_t usi) const { return (usi ^ (usi >> bits_)) & (slots_.size() - 1); }
  static constexpr std::uint32_t kOtherIndex = 0xFFFFFFFFu;  // no licence's place
  std::vector<Slot> slots_;
  int bits_ = 4;
};

// Appends a value to a data line: without leading and trailing spaces, and with a stray
// CR or NUL as a space; commas are dropped where the name's one comma must stay the only.
void AppendValue(std::string& out, std::string_view value, bool drop_commas = false) {
  for (const char c : Trim(value)) {
    if (c == ',' && drop_commas) continue;
    out += c == '\r' || c == '\0' ? ' ' : c;
  }
}

// Fields 4 to 9 of a data line from an EN row. A person's name is written "Surname
// Suffix, Given Initial", which the lookup turns round to show it and fill in the first
// name. Any other licensee (a club, say) has no first name to fill in: its name keeps no
// comma, so the lookup's first line shows the call sign alone, and the name leads the
// address line instead.
void AppendTail(std::string& out, const Fields& f, std::size_t n) {
  const std::string_view first = Trim(At(f, n, 9)), initial = Trim(At(f, n, 10)), last = Trim(At(f, n, 11)),
                         suffix = Trim(At(f, n, 12)), entity = Trim(At(f, n, 8)), street = Trim(At(f, n, 16));
  const bool person = !first.empty() && !last.empty();
  if (person) {
    AppendValue(out, last, true);
    if (!suffix.empty()) AppendValue(out.append(" "sv), suffix, true);
    AppendValue(out.append(", "sv), first, true);
    if (!initial.empty()) AppendValue(out.append(" "sv), initial, true);
  } else {
    AppendValue(out, entity, true);
  }
  out += '|';
  if (!person && !entity.empty()) {
    AppendValue(out, entity);
    if (!street.empty()) out += ", "sv;
  }
  AppendValue(out, street);
  for (const std::size_t pos : {20, 17, 18}) {  // PO box, city, state
    out += '|';
    AppendValue(out, At(f, n, pos));
  }
  out += '|';
  const std::string_view zip = Trim(At(f, n, 19));
  if (zip.size() == 9 && std::all_of(zip.begin(), zip.end(), IsDigit)) {
    out.append(zip.substr(0, 5)).append("-"sv).append(zip.substr(5));
  } else {
    AppendValue(out, zip);
  }
  out += '|';
}

constexpr std::uint64_t kMaxPosition = static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max());

void WriteAll(FccFiles& files, const std::string& path, const std::string& bytes) {
  const auto out = files.CreateReplacement(path);
  out->Write(bytes.data(), bytes.size());
  out->Commit();
}

// An output that is one of the inputs, under whatever name (another spelling, a link),
// would be written over while it is read.
void RefuseInputAsOutput(FccFiles& files, std::initializer_list<std::string> inputs,
                         std::initializer_list<std::string> outputs) {
  for (const std::string& output : outputs) {
    const std::string id = files.Identity(output);
    if (id.empty()) continue;
    for (const std::string& input : inputs) {
      if (files.Identity(input) == id) {
        throw Error("The output \"" + output + "\" is the input \"" + input +
                    "\" (the same file): write the database to a file of its own");
      }
    }
  }
}

}  // namespace

std::uint64_t FccBuildReport::SkippedRows() const {
  std::uint64_t rows = 0;
  for (const auto& s : skipped) rows += s.rows;
  return rows;
}

std::string FccIndexBytes(const std::vector<FccIndexedLine>& lines) {
  if (lines.empty()) return {};
  std::string bytes(kFccIndexSize, '\0');
  const std::uint64_t last = lines.size() - 1;
  for (int i = 0; i < kFccEntries; ++i) {
    const FccIndexedLine& line = lines[static_cast<std::size_t>(i * last / (kFccEntries - 1))];
    EncodeFccEntry(line.key, line.position, bytes.data() + static_cast<std::size_t>(i) * kFccEntrySize);
  }
  return bytes;
}

FccBuildReport BuildFccDatabase(const std::string& en, const std::string& am, const std::string& hd,
                                const std::string& out, FccFiles& files, FccBuildListener& listener) {
  FccBuildReport report;
  SkipCounter skips{report, listener};
  const std::string index = out + kFccIndexSuffix, pending = index + kFccPendingSuffix;
  RefuseInputAsOutput(files, {en, am, hd}, {out, index, pending});
  const std::string refusal = "\"" + out + "\" was not written";

  // The licence headers decide which licence each call sign keeps.
  std::vector<Licence> licences;
  licences.reserve(1 << 20);
  ReadRows(files, hd, kHd, skips, refusal, [&](std::uint32_t usi, const Fields& f, std::size_t n, std::uint64_t line) {
    std::string_view call = Trim(At(f, n, kCallPos));
    if (call.empty()) return skips.Skip(hd, line, "no call sign");
    if (call.size() > kFccKeySize) return skips.Skip(hd, line, "call sign longer than 6 characters");
    Licence l;
    l.call.fill(' ');
    for (std::size_t i = 0; i < call.size(); ++i) {
      char c = call[i];
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
      if (!((c >= 'A' && c <= 'Z') || IsDigit(c))) return skips.Skip(hd, line, "call sign not letters and digits");
      l.call[i] = c;
    }
    l.usi = usi;
    l.status = Letter(At(f, n, 6));
    l.grant = ParseDate(At(f, n, 8));
    const std::string_view expiry = Trim(At(f, n, 9));
    if (ParseDate(expiry) != 0) {
      std::memcpy(l.expiry.data(), expiry.data(), expiry.size());
      l.expiry_size = static_cast<std::uint8_t>(expiry.size());
    }
    l.hd_line = static_cast<std::uint32_t>(std::min<std::uint64_t>(line, 0xFFFFFFFFu));
    licences.push_back(l);
  });
  report.licences_read = licences.size();
  // The licences stay in the files' order for the EN and AM passes; `chosen` lists the
  // one kept for each call sign, in key order.
  std::vector<std::uint32_t> chosen;
  {
    std::vector<Rank> ranks(licences.size());
    for (std::uint32_t i = 0; i < ranks.size(); ++i) ranks[i] = RankOf(licences[i], i);
    std::sort(ranks.begin(), ranks.end());
    chosen.reserve(ranks.size());
    for (std::size_t i = 0; i < ranks.size(); ++i) {
      if (i == 0 || (ranks[i].call_active >> 16) != (ranks[i - 1].call_active >> 16)) {
        chosen.push_back(ranks[i].licence);
      }
    }
  }
  const UsiTable table(licences, chosen);

  // How many rows belong to a licence, and how many chosen licences have an AM or EN row.
  std::uint64_t am_joined = 0, en_joined = 0, classed = 0, named = 0;
  const auto take_am = [&](std::uint32_t usi, const Fields& f, std::size_t n, std::uint64_t) {
    const std::int64_t i = table.Find(usi);
    if (i == UsiTable::kNone) return;
    ++am_joined;
    if (i == UsiTable::kOther) return;
    Licence& l = licences[static_cast<std::size_t>(i)];
    if (!l.am) ++classed;
    l.am = true;
    if (l.op_class == ' ') l.op_class = Letter(At(f, n, 6));
  };
  const std::uint64_t am_rows = ReadRows(files, am, kAm, skips, refusal, take_am);

  // Names and addresses of the chosen licences, the licensee's row before any other.
  std::string arena;
  arena.reserve(std::size_t{128} * chosen.size());
  const auto take_en = [&](std::uint32_t usi, const Fields& f, std::size_t n, std::uint64_t) {
    const std::int64_t i = table.Find(usi);
    if (i == UsiTable::kNone) return;
    ++en_joined;
    if (i == UsiTable::kOther) return;
    Licence& l = licences[static_cast<std::size_t>(i)];
    const std::uint8_t entity = Trim(At(f, n, 6)) == "L" ? 2 : 1;
    if (entity <= l.entity) return;
    if (l.entity == 0) ++named;
    l.entity = entity;
    l.tail = arena.size();
    AppendTail(arena, f, n);
    l.tail_size = static_cast<std::uint32_t>(arena.size() - l.tail);
  };
  const std::uint64_t en_rows = ReadRows(files, en, kEn, skips, refusal, take_en);

  // An empty or much smaller result is a mistake (files of another kind, or cut short);
  // a database in use is not replaced by it. A real download joins all but a few rows and
  // licences; a file cut short at the end of a row, or one of another download, leaves
  // many alone.
  if (named == 0) throw Error("No licence of \"" + hd + "\" has a name and address in \"" + en + "\": " + refusal);
  const auto q = [](const std::string& path) { return "\"" + path + "\""; };
  const std::string cut = " seems cut short or from another download; ";
  const struct {
    std::uint64_t part, whole;
    std::string what;
  } shares[] = {
      {named, chosen.size(), "call signs of " + q(hd) + " have a name and address in " + q(en) + ": " + q(en) + cut},
      {classed, chosen.size(), "call signs of " + q(hd) + " have an AM row in " + q(am) + ": " + q(am) + cut},
      {en_joined, en_rows, "rows of " + q(en) + " belong to a licence of " + q(hd) + ": " + q(hd) + cut},
      {am_joined, am_rows, "rows of " + q(am) + " belong to a licence of " + q(hd) + ": " + q(hd) + cut},
  };
  for (const auto& share : shares) {
    if (share.part * 4 < share.whole * 3) {
      throw Error("Only " + std::to_string(share.part) + " of the " + std::to_string(share.whole) + " " +
                  share.what + refusal);
    }
  }

  // The data file: sorted by key already, since the licences are.
  const auto data = files.CreateReplacement(out);
  std::vector<FccIndexedLine> lines;
  lines.reserve(chosen.size());
  std::string block;
  block.reserve(std::size_t{4} << 20);
  std::uint64_t position = 1;
  for (const std::uint32_t i : chosen) {
    const Licence& l = licences[i];
    if (l.entity == 0) {
      skips.Skip(hd, l.hd_line, "no EN row (name and address) for the licence");
      continue;
    }
    const std::size_t before = block.size();
    block.append(l.call.data(), kFccKeySize).append("|"sv);
    if (l.op_class != ' ') block += l.op_class;
    block += '|';
    if (l.status != ' ') block += l.status;
    block += '|';
    block.append(l.expiry.data(), l.expiry_size).append("|"sv);
    block.append(arena, l.tail, l.tail_size).append("\r\n"sv);
    if (position + (block.size() - before) - 1 > kMaxPosition) {
      throw Error("The data file \"" + out + "\" would be larger than " + std::to_string(kMaxPosition) +
                  " bytes, more than its index can address");
    }
    lines.push_back({l.call, static_cast<std::int32_t>(position)});
    position += block.size() - before;
    if (block.size() >= (std::size_t{4} << 20)) {
      data->Write(block.data(), block.size());
      block.clear();
    }
  }
  data->Write(block.data(), block.size());
  // See FinishFccReplacement for what an interruption between these steps leaves.
  WriteAll(files, pending, FccIndexBytes(lines));
  data->Commit();
  files.Replace(pending, index);
  report.bytes_written = position - 1;
  report.call_signs_written = lines.size();
  return report;
}

std::uint64_t BuildFccIndex(const std::string& data, FccFiles& files, FccBuildListener& listener) {
  const auto file = OpenInput(files, data);
  LineReader reader(*file, data);
  std::vector<FccIndexedLine> lines;
  std::uint64_t previous_line = 0, next_progress = kProgressStep;
  std::string_view line;
  std::uint64_t start = 0;
  while (reader.Next(line, start)) {
    if (reader.BytesRead() >= next_progress) {
      listener.Progress(data, reader.BytesRead());
      next_progress = reader.BytesRead() + kProgressStep;
    }
    const auto key = FCCLineKey(line);
    if (!key) continue;  // the lookup reads such a line as part of the one before
    const auto quoted = [](const FccKey& k) { return "\"" + std::string(k.data(), k.size()) + "\""; };
    if ((*key)[0] == '\0') {
      throw Error("Line " + std::to_string(reader.LineNumber()) + " of \"" + data +
                  "\" begins with a NUL byte, which the index reads as no entry");
    }
    if (!lines.empty() && CompareFccKeys(*key, lines.back().key) < 0) {
      throw Error("Line " + std::to_string(reader.LineNumber()) + " of \"" + data + "\" has the key " +
                  quoted(*key) + ", which sorts before the key " + quoted(lines.back().key) + " of line " +
                  std::to_string(previous_line) + ": the data file must be sorted by its first field");
    }
    if (start + 1 > kMaxPosition) {
      throw Error("Line " + std::to_string(reader.LineNumber()) + " of \"" + data + "\" starts past byte " +
                  std::to_string(kMaxPosition) + ", more than the index can address");
    }
    lines.push_back({*key, static_cast<std::int32_t>(start + 1)});
    previous_line = reader.LineNumber();
  }
  listener.Progress(data, reader.BytesRead());
  WriteAll(files, data + kFccIndexSuffix, FccIndexBytes(lines));
  // An index that an interrupted build left pending is older than this one.
  files.Remove(data + kFccIndexSuffix + kFccPendingSuffix);
  return lines.size();
}

std::string FinishFccReplacement(const std::string& out, FccFiles& files) {
  const std::string index = out + kFccIndexSuffix, pending = index + kFccPendingSuffix;
  std::string error;
  auto pending_file = files.OpenRead(pending, /*create_missing=*/false, error);
  if (!pending_file) return {};
  const auto data = files.OpenRead(out, /*create_missing=*/false, error);
  if (!data) return {};  // nothing to judge it by; a build writes both files anew
  std::string bytes(kFccIndexSize + 1, '\0');
  bytes.resize(pending_file->ReadAt(0, bytes.data(), bytes.size()));
  pending_file.reset();
  if (bytes.size() == kFccIndexSize && FccIndexMismatch(bytes, *data, out).empty()) {
    files.Replace(pending, index);
    return "Finished an interrupted build: \"" + pending + "\", the index of \"" + out + "\", replaced \"" +
           index + "\"";
  }
  files.Remove(pending);
  return "Removed \"" + pending + "\", left by an interrupted build: it is not the index of \"" + out + "\"";
}

}  // namespace qsopad
