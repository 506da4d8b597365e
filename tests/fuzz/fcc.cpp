// The FCC database reader over an index and a data file held in memory. One input makes both: flags, call length (low 4
// bits), call, then with kRawIndex: index length (16 bits, little-endian), index bytes, data bytes; else [kStale: two
// masks] [kPatch: count, count x (entry 16 bits, 10 bytes)] data bytes, whose keyed lines are sorted and indexed as the
// builder does, then patched; with kStale the index holds the lines the first mask leaves, the data file those the
// second leaves.
// A true index over readable files finds a call exactly when a line has its key; an index of other lines never answers
// "not found" for a call the data file holds (but above its last key, where the last entry names its line); "found"
// shows a whole line with the call's key. (How FCCLookup shows each outcome is the unit tests'.) Keys, their order and
// the fields are worked out here by simpler means, never by the reader's own functions.
#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
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

// kNoData, kNoIndex: that file cannot be opened; kDataReadFails, kIndexReadFails: its reads
// fail from an offset the next byte(s) give; kStale: an index of other lines than the data's.
enum Flags : std::uint8_t { kRawIndex = 1, kPatch = 2, kNoData = 4, kNoIndex = 8, kDataReadFails = 16,
                            kIndexReadFails = 32, kNoLastLineEnd = 64, kStale = 128 };

const std::string kPath = "C:\\FCC\\APPL.DAT", kIndexPath = kPath + kFccIndexSuffix;

struct MemoryFccFiles : FccFiles {
  std::map<std::string, std::string> files;
  std::string unopenable;
  std::map<std::string, std::uint64_t> fail_from;  // reads reaching this offset throw

  struct Reader : FccReadFile {
    Reader(std::string p, const std::string& b, std::uint64_t f) : path(std::move(p)), bytes(b), fail(f) {}
    std::size_t ReadAt(std::uint64_t at, char* to, std::size_t n) override {
      if (at + n > fail) throw Error(path + ": read error");
      return at >= bytes.size() ? 0 : bytes.copy(to, n, static_cast<std::size_t>(at));
    }
    std::string path; const std::string& bytes; std::uint64_t fail;
  };
  std::unique_ptr<FccReadFile> OpenRead(const std::string& path, bool create, std::string& error) override {
    auto it = files.find(path);
    if (path == unopenable || (it == files.end() && !create)) {
      error = path + (path == unopenable ? ": access denied" : ": no such file");
      return nullptr;
    }
    if (it == files.end()) it = files.emplace(path, "").first;
    return std::make_unique<Reader>(path, it->second, fail_from.count(path) ? fail_from[path] : UINT64_MAX);
  }
  std::unique_ptr<FccWriteFile> CreateReplacement(const std::string& p) override { throw Error("the lookup wrote " + p); }
  void Replace(const std::string& from, const std::string&) override { throw Error("the lookup renamed " + from); }
  void Remove(const std::string& p) override { throw Error("the lookup removed " + p); }
  std::string Identity(const std::string&) override { return {}; }
};

// Takes bytes from the front of the input; past its end every byte is 0.
struct Cursor {
  std::string_view rest;
  std::uint8_t Byte() { return rest.empty() ? 0 : static_cast<std::uint8_t>(Take(1)[0]); }
  std::uint16_t Word() { return static_cast<std::uint16_t>(Byte() | (Byte() << 8)); }
  std::string_view Take(std::size_t n) {
    const std::string_view taken = rest.substr(0, n);
    return rest.remove_prefix(taken.size()), taken;
  }
};

// A line's key as the lookup defines it: the text before the first "|" cut or padded to six; none without "|".
std::optional<std::string> KeyOf(std::string_view line) {
  if (line.find('|') == std::string_view::npos) return std::nullopt;
  return (std::string(line.substr(0, std::min(line.find('|'), kFccKeySize))) + "      ").substr(0, kFccKeySize);
}

// The key a call is searched by: upper case (ASCII and the Windows-1252 letters from 0xE0,
// whose capitals lie 32 below, the division sign and y with diaeresis aside), cut or padded.
std::string SearchKeyOf(std::string_view call) {
  std::string key = (std::string(call.substr(0, kFccKeySize)) + "      ").substr(0, kFccKeySize);
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
  const std::size_t bar = line.find('|'), first = line.find_first_not_of(' ');
  if (bar == std::string_view::npos || first >= bar) return {};
  return std::string(line.substr(first, line.find_last_not_of(' ', bar - 1) + 1 - first));
}

// The data file the builder would write from these lines: those with a key, sorted by it (std::string orders unsigned
// bytes), but the groups whose number (mod 8) is a bit of `drop`. A line without a key travels with the keyed line
// before it (read under that key), so a stretch can run longer than one piece of the reader's; lines before the first
// keyed one go. A key beginning with NUL reads as an absent entry: no database holds one (no call has one).
std::string SortedData(std::string_view bytes, bool last_line_end, std::uint8_t drop, std::vector<FccIndexedLine>& keyed) {
  std::vector<std::pair<std::string, std::string>> groups;  // key, lines each ended by CR LF
  while (!bytes.empty()) {
    const std::string_view line = bytes.substr(0, bytes.find('\n'));
    bytes.remove_prefix(std::min(line.size() + 1, bytes.size()));
    const auto key = KeyOf(line);
    if (key && (*key)[0] != '\0') groups.emplace_back(*key, std::string(line) + "\r\n");
    else if (!key && !groups.empty()) groups.back().second += std::string(line) + "\r\n";
  }
  std::ranges::stable_sort(groups, {}, &std::pair<std::string, std::string>::first);
  std::string data;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (drop >> (g % 8) & 1) continue;
    FccKey key;
    std::ranges::copy(groups[g].first, key.begin());
    keyed.push_back({key, static_cast<std::int32_t>(data.size() + 1)});
    data += groups[g].second;
  }
  if (!last_line_end && !data.empty()) data.resize(data.size() - 2);
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
  if (flags & kNoIndex) files.unopenable = kIndexPath;

  std::vector<FccIndexedLine> keyed, indexed;
  bool truly_indexed = false;
  if (flags & kRawIndex) {
    files.files[kIndexPath] = std::string(in.Take(std::min<std::size_t>(in.Word(), kFccIndexSize + 64)));
    files.files[kPath] = std::string(in.rest);
  } else {
    const std::uint8_t index_drop = flags & kStale ? in.Byte() : 0, data_drop = flags & kStale ? in.Byte() : 0;
    Cursor patches{in.Take(flags & kPatch ? in.Byte() * (2 + kFccEntrySize) : 0)};  // entry (16 bits), bytes
    truly_indexed = patches.rest.empty() && index_drop == data_drop;
    files.files[kPath] = SortedData(in.rest, !(flags & kNoLastLineEnd), data_drop, keyed);
    SortedData(in.rest, !(flags & kNoLastLineEnd), index_drop, indexed);
    std::string index = FccIndexBytes(indexed);
    while (!index.empty() && !patches.rest.empty()) {
      const std::size_t at = patches.Word() % kFccEntries * kFccEntrySize;
      std::ranges::copy(patches.Take(kFccEntrySize), index.begin() + static_cast<std::ptrdiff_t>(at));
    }
    files.files[kIndexPath] = index;
  }
  if (flags & kNoData) files.files.erase(kPath);

  const FCCAnswer answer = FCCFind(call, kPath, files);
  const bool failing_files = flags & (kNoData | kNoIndex | kDataReadFails | kIndexReadFails);
  FUZZ_REQUIRE((failing_files || !truly_indexed || answer.outcome != FCCOutcome::kFailure) &&
                   (answer.outcome == FCCOutcome::kFailure || answer.failure.empty()),
               "a true index over readable files never ends in a failure; only a failure describes one",
               std::fprintf(stderr, "  failure: %s\n", answer.failure.c_str()));

  // The data file's lines by position (from 1), and whether one has the call's key.
  const std::string data = files.files.count(kPath) ? files.files[kPath] : std::string();
  const std::string key = SearchKeyOf(call);
  std::map<std::int64_t, std::string_view> lines;
  for (std::size_t from = 0, eol; from < data.size(); from = eol + 1) {
    eol = std::min(data.find('\n', from), data.size());
    const bool cr = eol > from && data[eol - 1] == '\r';
    lines[static_cast<std::int64_t>(from) + 1] = std::string_view(data).substr(from, eol - from - cr);
  }
  const bool listed = std::ranges::any_of(lines, [&](const auto& l) { return KeyOf(l.second) == key; });

  FUZZ_REQUIRE(!truly_indexed || failing_files || listed == (answer.outcome == FCCOutcome::kFound),
               "a sorted, indexed database finds a call exactly when a line has its key",
               PrintBytes("call", call); PrintBytes("data", data);
               std::fprintf(stderr, "  %zu keyed lines, listed %d\n", keyed.size(), listed));
  if ((flags & kStale) && !(flags & (kPatch | kRawIndex)) && !failing_files && listed &&
      answer.outcome == FCCOutcome::kNotFound) {
    // Allowed above the last entry's key if it names its line truly, or in an empty index.
    const std::string& index = files.files[kIndexPath];
    const std::size_t last = (kFccEntries - 1) * kFccEntrySize;
    const bool above_last = index.size() == kFccIndexSize && index.substr(last, kFccKeySize) < key &&
                            lines.count(FccEntryPosition(index.data() + last)) &&
                            KeyOf(lines[FccEntryPosition(index.data() + last)]) == index.substr(last, kFccKeySize);
    FUZZ_REQUIRE(index.empty() || above_last,
                 "an index of other lines never answers \"not found\" for a call the data file holds",
                 PrintBytes("call", call); PrintBytes("data", data));
  }
  // A text found is a line's with the call's key, with every field it shows.
  const bool shown = answer.outcome != FCCOutcome::kFound || std::ranges::any_of(lines, [&](const auto& l) {
    return KeyOf(l.second) == key && answer.text.starts_with(FieldOf(l.second, 0) + " ") &&
           answer.text.ends_with("\r\n" + FieldOf(l.second, 7) + ", " + FieldOf(l.second, 8) + " " + FieldOf(l.second, 9));
  });
  FUZZ_REQUIRE(shown, "\"found\" shows a whole line of the data file with the call's key",
               PrintBytes("call", call); PrintBytes("text", answer.text); PrintBytes("data", data));
  return 0;
}
