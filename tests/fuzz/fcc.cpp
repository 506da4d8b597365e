// The FCC database reader over any index and data file, held in memory. One input makes
// both files:
//
//   flags, call length (low 4 bits), call,
//   then with kRawIndex:  index length (16 bits, little-endian), index bytes, data bytes;
//   else:                 [kStale: two masks] [kPatch: count, count x (entry 16 bits,
//                         10 bytes)] data bytes, whose lines with a key are sorted and
//                         indexed as the builder does, then the entries patched over;
//                         with kStale the index is made from the lines the first mask
//                         leaves and the data file from those the second leaves.
//
// A sorted, truly indexed database with no failing file must find a call exactly when a
// line has its key; through the index of other lines it must never answer "not found"
// for a call the data file holds (but above the index's last key, where the last entry
// still names its line); "found" must show a line of the data file with the call's key,
// whole; every input must end in one of the three outcomes, reported the way FCCLookup
// promises. Keys, their order and the fields shown are worked out here by simpler means,
// never by the reader's own functions.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "common/error.h"
#include "fuzz_check.h"
#include "lookup/fcc.h"
#include "lookup/fcc_build.h"
#include "lookup/fcc_files.h"

using namespace qsopad;
using qsopad::fuzz::PrintBytes;

namespace {

enum Flags : std::uint8_t {
  kRawIndex = 1,
  kPatch = 2,
  kNoData = 4,         // the data file cannot be opened
  kNoIndex = 8,        // the index cannot be opened
  kDataReadFails = 16, // reading the data file fails from an offset the next byte gives
  kIndexReadFails = 32,
  kNoLastLineEnd = 64,
  kStale = 128,        // the index of other lines than the data file's
};

const std::string kPath = "C:\\FCC\\APPL.DAT";
const std::string kIndexPath = kPath + kFccIndexSuffix;

class MemoryFccFiles : public FccFiles {
 public:
  std::map<std::string, std::string> files;
  std::set<std::string> unopenable;
  std::map<std::string, std::uint64_t> fail_from;  // reads reaching this offset throw

  std::unique_ptr<FccReadFile> OpenRead(const std::string& path, bool create_missing,
                                        std::string& error) override {
    if (unopenable.count(path)) {
      error = path + ": access denied";
      return nullptr;
    }
    auto it = files.find(path);
    if (it == files.end()) {
      if (!create_missing) {
        error = path + ": no such file";
        return nullptr;
      }
      it = files.emplace(path, std::string()).first;
    }
    const auto fail = fail_from.find(path);
    return std::make_unique<Reader>(path, it->second,
                                    fail == fail_from.end() ? UINT64_MAX : fail->second);
  }
  std::unique_ptr<FccWriteFile> CreateReplacement(const std::string& path) override {
    throw Error("the lookup must not write " + path);
  }
  void Replace(const std::string& from, const std::string&) override {
    throw Error("the lookup must not rename " + from);
  }
  void Remove(const std::string& path) override { throw Error("the lookup must not remove " + path); }
  std::string Identity(const std::string&) override { return {}; }

 private:
  class Reader : public FccReadFile {
   public:
    Reader(std::string path, const std::string& bytes, std::uint64_t fail)
        : path_(std::move(path)), bytes_(bytes), fail_(fail) {}
    std::size_t ReadAt(std::uint64_t offset, char* buffer, std::size_t size) override {
      if (offset + size > fail_) throw Error(path_ + ": read error");
      if (offset >= bytes_.size()) return 0;
      return bytes_.copy(buffer, size, static_cast<std::size_t>(offset));
    }

   private:
    std::string path_;
    const std::string& bytes_;
    std::uint64_t fail_;
  };
};

// Takes bytes from the front of the input; past its end every byte is 0.
struct Cursor {
  std::string_view rest;
  std::uint8_t Byte() {
    if (rest.empty()) return 0;
    const auto b = static_cast<std::uint8_t>(rest.front());
    rest.remove_prefix(1);
    return b;
  }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
  std::string_view Take(std::size_t n) {
    const std::string_view taken = rest.substr(0, n);
    rest.remove_prefix(taken.size());
    return taken;
  }
};

// A line's key as the lookup defines it, taken apart from the code under test: the text
// before the first "|", cut or padded with spaces to six; none without "|".
std::optional<std::string> KeyOf(std::string_view line) {
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return std::nullopt;
  std::string key(line.substr(0, std::min<std::size_t>(bar, kFccKeySize)));
  key.resize(kFccKeySize, ' ');
  return key;
}

// The key a call is searched by: upper case (ASCII and the Windows-1252 letters from
// 0xE0, whose capitals lie 32 below, the division sign and y with diaeresis aside), cut or
// padded to six.
std::string SearchKeyOf(std::string_view call) {
  std::string key(call.substr(0, kFccKeySize));
  key.resize(kFccKeySize, ' ');
  for (char& ch : key) {
    const auto c = static_cast<unsigned char>(ch);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) ch = static_cast<char>(c - 32);
  }
  return key;
}

// Field n of a line: after the n-th "|" (or where the "|" run out), up to the next "|",
// without leading and trailing spaces; empty when no "|" follows.
std::string FieldOf(std::string_view line, int n) {
  for (std::size_t bar; n > 0 && (bar = line.find('|')) != std::string_view::npos; --n) line.remove_prefix(bar + 1);
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return {};
  line = line.substr(0, bar);
  const std::size_t first = line.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string() : std::string(line.substr(first, line.find_last_not_of(' ') + 1 - first));
}

// Keys sort byte by byte as unsigned characters.
bool KeyBefore(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
  });
}

// The data file the builder would write from these lines: those with a key, sorted by it,
// leaving out the groups whose number (mod 8) is a bit of `drop`. A line without a key
// travels with the keyed line before it (the lookup reads it under that key), so that a
// stretch of the file can run longer than one piece of the reader's; lines before the
// first keyed one are dropped.
std::string SortedData(std::string_view bytes, bool last_line_end, std::uint8_t drop,
                       std::vector<FccIndexedLine>& keyed) {
  struct Group {
    std::string key;
    std::vector<std::string_view> lines;
  };
  std::vector<Group> groups;
  while (!bytes.empty()) {
    const std::size_t eol = bytes.find('\n');
    const std::string_view line = bytes.substr(0, eol);
    bytes.remove_prefix(eol == std::string_view::npos ? bytes.size() : eol + 1);
    const auto key = KeyOf(line);
    // An index entry whose key begins with NUL reads as an absent one, so no database can
    // hold such a key (no call sign has one).
    if (key && (*key)[0] != '\0') {
      groups.push_back({*key, {line}});
    } else if (!key && !groups.empty()) {
      groups.back().lines.push_back(line);
    }
  }
  std::stable_sort(groups.begin(), groups.end(), [](const Group& a, const Group& b) { return KeyBefore(a.key, b.key); });
  for (std::size_t g = groups.size(); g-- > 0;) {
    if (drop >> (g % 8) & 1) groups.erase(groups.begin() + static_cast<std::ptrdiff_t>(g));
  }
  std::string data;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    FccKey key;
    std::copy(groups[g].key.begin(), groups[g].key.end(), key.begin());
    keyed.push_back({key, static_cast<std::int32_t>(data.size() + 1)});
    for (std::size_t i = 0; i < groups[g].lines.size(); ++i) {
      data += groups[g].lines[i];
      if (last_line_end || g + 1 < groups.size() || i + 1 < groups[g].lines.size()) data += "\r\n";
    }
  }
  return data;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* bytes, std::size_t size) {
  Cursor in{std::string_view(reinterpret_cast<const char*>(bytes), size)};
  const std::uint8_t flags = in.Byte();
  const std::string call(in.Take(in.Byte() & 15));
  MemoryFccFiles files;
  if (flags & kDataReadFails) files.fail_from[kPath] = in.Byte() * 97u;
  if (flags & kIndexReadFails) files.fail_from[kIndexPath] = in.Word();
  if (flags & kNoIndex) files.unopenable.insert(kIndexPath);

  std::vector<FccIndexedLine> keyed;
  bool truly_indexed = false;
  if (flags & kRawIndex) {
    const std::size_t length = std::min<std::size_t>(in.Word(), kFccIndexSize + 64);
    files.files[kIndexPath] = std::string(in.Take(length));
    files.files[kPath] = std::string(in.rest);
  } else {
    const std::uint8_t index_drop = flags & kStale ? in.Byte() : 0, data_drop = flags & kStale ? in.Byte() : 0;
    std::vector<std::pair<std::uint16_t, std::string_view>> patches;
    if (flags & kPatch) {
      for (int n = in.Byte(); n > 0; --n) {
        const std::uint16_t entry = in.Word() % kFccEntries;
        patches.emplace_back(entry, in.Take(kFccEntrySize));
      }
    }
    files.files[kPath] = SortedData(in.rest, !(flags & kNoLastLineEnd), data_drop, keyed);
    std::vector<FccIndexedLine> indexed;
    SortedData(in.rest, !(flags & kNoLastLineEnd), index_drop, indexed);
    std::string index = FccIndexBytes(flags & kStale ? indexed : keyed);
    for (const auto& [entry, patch] : patches) {
      if (index.empty()) break;
      std::memcpy(index.data() + entry * kFccEntrySize, patch.data(), patch.size());
    }
    files.files[kIndexPath] = index;
    truly_indexed = patches.empty() && index_drop == data_drop;
  }
  if (flags & kNoData) files.files.erase(kPath);

  const FCCAnswer answer = FCCFind(call, kPath, files);
  const bool failing_files = flags & (kNoData | kNoIndex | kDataReadFails | kIndexReadFails);
  FUZZ_REQUIRE(failing_files || !truly_indexed || answer.outcome != FCCOutcome::kFailure,
               "a true index and readable files never end in a failure",
               std::fprintf(stderr, "  failure: %s\n", answer.failure.c_str()));
  FUZZ_REQUIRE(answer.outcome == FCCOutcome::kFailure || answer.failure.empty(),
               "only a failure describes one");

  // The data file's lines, and whether one has the call's key.
  const auto data_file = files.files.find(kPath);
  const std::string data = data_file == files.files.end() ? std::string() : data_file->second;
  const std::string key = SearchKeyOf(call);
  std::vector<std::string_view> lines;
  for (std::size_t from = 0; from < data.size();) {
    const std::size_t eol = std::min(data.find('\n', from), data.size());
    std::string_view line(data.data() + from, eol - from);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    from = eol + 1;
  }
  const bool listed = std::any_of(lines.begin(), lines.end(), [&](std::string_view l) { return KeyOf(l) == key; });

  if (truly_indexed && !failing_files) {
    FUZZ_REQUIRE(listed == (answer.outcome == FCCOutcome::kFound),
                 "a sorted, indexed database finds a call exactly when a line has its key",
                 PrintBytes("call", call); PrintBytes("data", data);
                 std::fprintf(stderr, "  %zu keyed lines, listed %d\n", keyed.size(), listed));
  }
  if ((flags & kStale) && !(flags & (kPatch | kRawIndex)) && !failing_files && listed &&
      answer.outcome == FCCOutcome::kNotFound) {
    // Allowed only above the last entry's key, where that entry names its line truly, or in
    // an empty index (as a missing one is made).
    const std::string& index = files.files[kIndexPath];
    const bool whole = index.size() == kFccIndexSize;  // (a shorter one fails the check)
    const char* entry = whole ? index.data() + (kFccEntries - 1) * kFccEntrySize : nullptr;
    const std::string last = whole ? std::string(entry, kFccKeySize) : std::string();
    const std::int32_t position = whole ? FccEntryPosition(entry) : 0;
    const bool last_true = position >= 1 && static_cast<std::size_t>(position) <= data.size() &&
                           (position == 1 || data[static_cast<std::size_t>(position) - 2] == '\n') &&
                           KeyOf(data.substr(static_cast<std::size_t>(position) - 1,
                                             data.find('\n', static_cast<std::size_t>(position) - 1) -
                                                 (static_cast<std::size_t>(position) - 1))) == last;
    FUZZ_REQUIRE(index.empty() || (whole && KeyBefore(last, key) && last_true),
                 "an index of other lines never answers \"not found\" for a call the data file holds",
                 PrintBytes("call", call); PrintBytes("data", data));
  }
  if (answer.outcome == FCCOutcome::kFound) {
    // The text is a line's with the call's key, with every field it shows.
    const bool shown = std::any_of(lines.begin(), lines.end(), [&](std::string_view l) {
      const std::string tail = "\r\n" + FieldOf(l, 7) + ", " + FieldOf(l, 8) + " " + FieldOf(l, 9);
      return KeyOf(l) == key && answer.text.rfind(FieldOf(l, 0) + " ", 0) == 0 &&
             answer.text.size() >= tail.size() && answer.text.ends_with(tail);
    });
    FUZZ_REQUIRE(shown, "\"found\" shows a whole line of the data file with the call's key",
                 PrintBytes("call", call); PrintBytes("text", answer.text); PrintBytes("data", data));
  }

  // FCCLookup over the same files: the same outcome, shown as it promises.
  std::string name = "unchanged";
  int messages = 0;
  const std::string shown = FCCLookup(call, name, true, kPath, files,
                                      [&](const std::string& message, const std::string&) {
                                        FUZZ_REQUIRE(message == kFccFailureMessage, "a failure shows its message");
                                        ++messages;
                                      });
  switch (answer.outcome) {
    case FCCOutcome::kFailure:
      FUZZ_REQUIRE(messages == 1 && shown.empty() && name == "unchanged", "a failure is shown once");
      break;
    case FCCOutcome::kNotFound:
      FUZZ_REQUIRE(messages == 0 && shown == kFccNotFound && name == "unchanged",
                   "not found is shown as such", PrintBytes("shown", shown));
      break;
    case FCCOutcome::kFound:
      FUZZ_REQUIRE(messages == 0 && shown == answer.text, "a found call shows its text",
                   PrintBytes("shown", shown); PrintBytes("text", answer.text));
      break;
  }
  return 0;
}
