#include "lookup/fcc.h"

#include <algorithm>
#include <cstring>

#include "common/error.h"

namespace qsopad {

namespace {

// Case mapping of the ANSI (Windows-1252) letters: ASCII and the Latin-1 accented
// letters, whose capitals lie 32 below their small letters (but for the multiplication and
// division signs).
char Upper(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return static_cast<char>(c - 32);
  return ch;
}

char Lower(char ch) {
  const auto c = static_cast<unsigned char>(ch);
  if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) return static_cast<char>(c + 32);
  return ch;
}

std::string_view TrimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

FccKey PaddedKey(std::string_view text) {
  FccKey key;
  key.fill(' ');
  std::memcpy(key.data(), text.data(), std::min(text.size(), kFccKeySize));
  return key;
}

// The forward read takes the data file in pieces of this size. A stretch of a database of
// 1.2 million call signs is about 50 KB, and a lookup reads half of one on average: larger
// pieces copy more than is read, smaller ones cost more calls (16, 32 and 64 KB measured
// alike in bench/bench_fcc.cpp).
constexpr std::size_t kChunk = 16 * 1024;
// Longer lines are cut to this length: a database's lines are a few hundred bytes, and a
// damaged file must not make the lookup hold an unbounded line.
constexpr std::size_t kMaxLine = 64 * 1024;

// The licensee's name, given names first: "Surname, Given" becomes "Given Surname"; a
// name without a comma gives no name.
std::string ReorderedName(std::string_view licensee) {
  const std::size_t comma = licensee.find(',');
  if (comma == std::string_view::npos) return {};
  const std::string_view given = comma + 2 <= licensee.size() ? licensee.substr(comma + 2) : std::string_view();
  std::string name(given);
  name += ' ';
  name += licensee.substr(0, comma);
  return name;
}

FCCAnswer Found(std::string_view line) {
  FCCAnswer answer;
  answer.outcome = FCCOutcome::kFound;
  answer.name = ReorderedName(FCCField(line, 4));
  std::string& text = answer.text;
  text = FCCField(line, 0) + " " + answer.name;
  if (const std::string address = FCCField(line, 5); !address.empty()) text += "\r\n" + address;
  if (const std::string box = FCCField(line, 6); !box.empty()) text += "\r\nBOX " + box;
  text += "\r\n" + FCCField(line, 7) + ", " + FCCField(line, 8) + " " + FCCField(line, 9);
  return answer;
}

FCCAnswer Failure(std::string what) {
  FCCAnswer answer;
  answer.outcome = FCCOutcome::kFailure;
  answer.failure = std::move(what);
  return answer;
}

// Reads lines from byte `offset` until one whose key is not below `key`; `in_force` is
// the key that holds until a line with "|" sets one. Reaching the end of the file first
// (an index that does not match its data file) is not found. Lines are examined where
// they lie in the piece read; only one that runs on into the next piece is copied.
FCCAnswer ReadForward(FccReadFile& data, std::uint64_t offset, const FccKey& key, FccKey in_force) {
  FCCAnswer answer;
  // True when the line ends the search.
  const auto done = [&](std::string_view line) {
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (const auto line_key = FCCLineKey(line)) in_force = *line_key;
    const int order = CompareFccKeys(in_force, key);
    if (order < 0) return false;
    if (order == 0) answer = Found(line);
    return true;
  };
  std::array<char, kChunk> chunk;
  std::string carried;  // the start of a line that runs on into the next piece
  bool carrying = false;
  for (;;) {
    const std::size_t got = data.ReadAt(offset, chunk.data(), chunk.size());
    offset += got;
    const char* p = chunk.data();
    const char* const end = p + got;
    while (p < end) {
      const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      const char* const stop = newline ? newline : end;
      const std::size_t length = static_cast<std::size_t>(stop - p);
      if (!newline || carrying) {
        carried.append(p, std::min(length, kMaxLine - carried.size()));
        carrying = true;
        if (!newline) break;
        if (done(carried)) return answer;
        carried.clear();
        carrying = false;
      } else if (done(std::string_view(p, std::min(length, kMaxLine)))) {
        return answer;
      }
      p = newline + 1;
    }
    if (got < chunk.size()) {
      // The end of the file; its last line may have no line end.
      if (carrying && !carried.empty() && done(carried)) return answer;
      return {};
    }
  }
}

}  // namespace

FccKey FCCSearchKey(std::string_view call) {
  FccKey key = PaddedKey(call);
  for (char& c : key) c = Upper(c);
  return key;
}

std::optional<FccKey> FCCLineKey(std::string_view line) {
  // The "|" of a database line follows the six-character call sign: look there first.
  std::size_t bar = 0;
  while (bar < line.size() && bar <= kFccKeySize && line[bar] != '|') ++bar;
  if (bar > kFccKeySize) bar = line.find('|', bar);
  if (bar >= line.size()) return std::nullopt;
  return PaddedKey(line.substr(0, bar));
}

int CompareFccKeys(const FccKey& a, const FccKey& b) {
  for (std::size_t i = 0; i < kFccKeySize; ++i) {
    if (a[i] != b[i]) return static_cast<unsigned char>(a[i]) < static_cast<unsigned char>(b[i]) ? -1 : 1;
  }
  return 0;
}

void EncodeFccEntry(const FccKey& key, std::int32_t position, char* entry) {
  std::memcpy(entry, key.data(), kFccKeySize);
  const auto u = static_cast<std::uint32_t>(position);
  for (int i = 0; i < 4; ++i) entry[kFccKeySize + i] = static_cast<char>((u >> (8 * i)) & 0xFF);
}

std::int32_t FccEntryPosition(const char* entry) {
  std::uint32_t u = 0;
  for (int i = 3; i >= 0; --i) u = (u << 8) | static_cast<unsigned char>(entry[kFccKeySize + i]);
  return static_cast<std::int32_t>(u);
}

std::string FCCField(std::string_view line, int n) {
  for (int i = 0; i < n; ++i) {
    const std::size_t bar = line.find('|');
    if (bar == std::string_view::npos) break;
    line.remove_prefix(bar + 1);
  }
  const std::size_t bar = line.find('|');
  if (bar == std::string_view::npos) return {};
  return std::string(TrimSpaces(line.substr(0, bar)));
}

FCCAnswer FCCFind(std::string_view call, const std::string& path, FccFiles& files) {
  const FccKey key = FCCSearchKey(call);
  const std::string index_path = path + kFccIndexSuffix;

  // The whole index in one read: 20 KB, where the bisection would read 33 entries.
  std::array<char, kFccIndexSize> index;
  std::size_t have = 0;
  {
    std::string error;
    const auto file = files.OpenRead(index_path, /*create_missing=*/true, error);
    if (!file) return Failure("Cannot open the index " + error);
    try {
      have = file->ReadAt(0, index.data(), index.size());
    } catch (const Error&) {
      have = 0;  // an index that cannot be read has no entries: not found
    }
  }
  const auto entry = [&](int k) { return index.data() + static_cast<std::size_t>(k) * kFccEntrySize; };
  const auto present = [&](int k) {
    return static_cast<std::size_t>(k + 1) * kFccEntrySize <= have && *entry(k) != '\0';
  };
  const auto key_of = [&](int k) {
    FccKey e;
    std::memcpy(e.data(), entry(k), kFccKeySize);
    return e;
  };

  // Entries 1 to 2047 are probed; 0 and 2048 only bound a probe from below and above.
  int low = 1, high = kFccEntries - 1;
  int stretch = -1;
  FccKey below{};
  while (stretch < 0) {
    const int mid = (low + high) / 2;
    if (!present(mid)) return {};
    const FccKey at = key_of(mid);
    below = key_of(mid - 1);  // in the file, as entry mid is
    if (CompareFccKeys(key, at) == 0) {
      stretch = mid;
    } else if (present(mid - 1) && CompareFccKeys(below, key) <= 0 && CompareFccKeys(key, at) < 0) {
      // An absent entry marks no stretch, below as above: its position is no place to read.
      stretch = mid - 1;
    } else if (present(mid + 1) && CompareFccKeys(at, key) < 0 && CompareFccKeys(key, key_of(mid + 1)) <= 0) {
      stretch = mid;
    } else {
      const int old_low = low, old_high = high;
      if (CompareFccKeys(at, key) > 0) {
        high = mid;
      } else {
        low = mid;
      }
      if (high == low || (low == old_low && high == old_high)) return {};
    }
  }
  const std::int32_t position = FccEntryPosition(entry(stretch));

  std::string error;
  const auto data = files.OpenRead(path, /*create_missing=*/false, error);
  if (!data) return Failure("Cannot open the data file " + error);
  // Positions count from 1; one that is not positive points nowhere. One past the end of
  // the file reads nothing, which ends as not found below.
  if (position < 1) return {};
  try {
    return ReadForward(*data, static_cast<std::uint64_t>(position) - 1, key, below);
  } catch (const Error& e) {
    return Failure(e.what());
  }
}

std::string FCCLookup(const std::string& call, std::string& name, bool fill, const std::string& path,
                      FccFiles& files,
                      const std::function<void(const std::string& message, const std::string& detail)>&
                          show_message) {
  FCCAnswer answer = FCCFind(call, path, files);
  switch (answer.outcome) {
    case FCCOutcome::kFailure:
      show_message(kFccFailureMessage, answer.failure);
      return {};
    case FCCOutcome::kNotFound:
      return kFccNotFound;
    case FCCOutcome::kFound:
      break;
  }
  if (fill) {
    std::string_view first = TrimSpaces(answer.name);
    first = first.substr(0, first.find(' '));
    name.assign(first);
    for (std::size_t i = 1; i < name.size(); ++i) name[i] = Lower(name[i]);
  }
  return answer.text;
}

}  // namespace qsopad
