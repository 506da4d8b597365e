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

// Built up in steps: g++ 12 warns (-Wrestrict, wrongly) of "\"" + std::string + "\"".
std::string Quoted(const FccKey& key) {
  std::string quoted(1, '"');
  quoted.append(key.data(), key.size()) += '"';
  return quoted;
}

// A stretch of the data file as the index gives it: from the line at `start` (a file
// offset), whose key is entry `entry`'s, `first`, to the line at `end`, whose key is the
// next entry's, `last`. Without a next entry, `end` is `start` and `last` is `first`.
struct Stretch {
  int entry;
  std::uint64_t start, end;
  FccKey first, last;
};

// The index does not match its data file: a lookup through it could answer "not found"
// for a call that is there, or show a line that is not the call's. `position` counts from
// 1, as the index does.
FCCAnswer Mismatch(const std::string& path, int entry, std::int64_t position, const std::string& what) {
  return Failure("The index \"" + path + kFccIndexSuffix + "\" does not match the data file \"" + path +
                 "\" (build the database or its index again): entry " + std::to_string(entry) + " gives byte " +
                 std::to_string(position) + ", " + what);
}
// The same, for a file offset.
FCCAnswer MismatchAt(const std::string& path, int entry, std::uint64_t offset, const std::string& what) {
  return Mismatch(path, entry, static_cast<std::int64_t>(offset) + 1, what);
}

// The line at `start` is one that index entry `entry` names, by the key `expected`: the
// failure when it has another key or none.
std::optional<FCCAnswer> NamedLineMismatch(const std::string& path, int entry, std::uint64_t start,
                                           const std::optional<FccKey>& line_key, const FccKey& expected) {
  if (line_key == expected) return std::nullopt;
  return MismatchAt(path, entry, start,
                    line_key ? "where the line's key is " + Quoted(*line_key) + ", not " + Quoted(expected)
                             : "where the line has no key (no \"|\"), not " + Quoted(expected));
}

// The answer from the call's line at `start`, `size` bytes without its LF: `text` when the
// line lies in the piece read, else read again.
FCCAnswer FoundAt(FccReadFile& data, const std::string& path, std::uint64_t start, std::size_t size,
                  const char* text) {
  std::string read_again;
  if (!text) {
    read_again.resize(size);
    if (data.ReadAt(start, read_again.data(), size) != size) {
      throw Error("The data file \"" + path + "\" changed while it was read");
    }
    text = read_again.data();
  }
  std::string_view line(text, size);
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  return Found(line);
}

// Reads the stretch's lines until one whose key is not below `key` and answers from it; a
// line without "|" leaves the key before it in force. Every line the index names must be
// there: the line at `start` begins a line and has the key `first`, no line runs past
// `end`, and the line at `end` has the key `last`, which is not below `key`; so the read
// never goes past the stretch and the one line after it. Lines are examined where they lie
// in the piece read; one that runs on into the next piece is followed without being kept,
// and read again only if it is the call's.
FCCAnswer ReadStretch(FccReadFile& data, const std::string& path, const Stretch& st, const FccKey& key) {
  FccKey in_force{};
  FCCAnswer answer;
  // Takes the whole line at `start`, `size` bytes without its LF: true when it ends the
  // search, with `answer` set; false to read on. `text` is the line when it lies in the
  // piece read, else null.
  const auto decide = [&](std::uint64_t start, std::size_t size, std::optional<FccKey> line_key, const char* text) {
    const auto named = [&](int entry, const FccKey& expected) {
      auto wrong = NamedLineMismatch(path, entry, start, line_key, expected);
      if (wrong) answer = *std::move(wrong);
      return wrong.has_value();
    };
    if (start == st.start && named(st.entry, st.first)) return true;
    if (start == st.end && named(st.entry + 1, st.last)) return true;
    if (line_key) in_force = *line_key;
    const int order = CompareFccKeys(in_force, key);
    if (order < 0) {
      if (start < st.end) return false;
      answer = MismatchAt(path, st.entry + 1, st.end,
                          "whose key " + Quoted(st.last) + " sorts below the call sign's " + Quoted(key));
    } else if (order == 0) {
      answer = FoundAt(data, path, start, size, text);
    }
    return true;  // found, not found, or the failure
  };
  const auto crossing = [&](std::uint64_t start, std::size_t size) {
    return start < st.end && start + size >= st.end;
  };
  const auto crossing_mismatch = [&](std::uint64_t start) {
    return MismatchAt(path, st.entry + 1, st.end,
                      "inside the line at byte " + std::to_string(start + 1) + ", not at its start");
  };

  std::array<char, kChunk> chunk;
  // A line ends just before the start: read from the byte before it.
  std::uint64_t offset = st.start == 0 ? 0 : st.start - 1;
  // A line that runs on past the piece read: where it starts, its bytes so far, its text
  // before the first "|" (up to six bytes) and whether it has one.
  bool carrying = false, bar = false;
  std::uint64_t long_start = 0;
  std::size_t long_size = 0, prefix_size = 0;
  char prefix[kFccKeySize];
  for (bool first_piece = true;; first_piece = false) {
    const std::uint64_t base = offset;
    const std::size_t got = data.ReadAt(offset, chunk.data(), chunk.size());
    offset += got;
    const char* p = chunk.data();
    const char* const end = p + got;
    if (first_piece && st.start > 0) {
      if (got == 0) return MismatchAt(path, st.entry, st.start, "which is past the end of the file");
      if (*p++ != '\n') return MismatchAt(path, st.entry, st.start, "which does not begin a line");
    }
    while (p < end) {
      const auto* newline = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
      if (newline && !carrying) {
        // A line within the piece, as most are.
        const std::uint64_t start = base + static_cast<std::uint64_t>(p - chunk.data());
        const auto size = static_cast<std::size_t>(newline - p);
        if (crossing(start, size)) return crossing_mismatch(start);
        const char* const line = p;
        const std::optional<FccKey> line_key = FCCLineKey(std::string_view(line, size));
        p = newline + 1;
        // Most lines lie inside the stretch and below the key: passed over at once.
        if (start != st.start && start < st.end && CompareFccKeys(line_key ? *line_key : in_force, key) < 0) {
          if (line_key) in_force = *line_key;
          continue;
        }
        if (decide(start, size, line_key, line)) return answer;
        continue;
      }
      const char* const stop = newline ? newline : end;
      if (!carrying) {
        carrying = true;
        bar = false;
        long_start = base + static_cast<std::uint64_t>(p - chunk.data());
        long_size = prefix_size = 0;
      }
      if (!bar) {
        const auto* found_bar = static_cast<const char*>(std::memchr(p, '|', static_cast<std::size_t>(stop - p)));
        for (const char* c = p; c < (found_bar ? found_bar : stop) && prefix_size < kFccKeySize; ++c) {
          prefix[prefix_size++] = *c;
        }
        bar = found_bar != nullptr;
      }
      long_size += static_cast<std::size_t>(stop - p);
      if (crossing(long_start, long_size)) return crossing_mismatch(long_start);
      if (long_size > kFccLongestLine) {
        return Failure("The line at byte " + std::to_string(long_start + 1) + " of the data file \"" + path +
                       "\" is longer than " + std::to_string(kFccLongestLine) + " bytes: not a database of lines");
      }
      if (!newline) break;
      carrying = false;
      std::optional<FccKey> line_key;
      if (bar) line_key = PaddedKey(std::string_view(prefix, prefix_size));
      if (decide(long_start, long_size, line_key, nullptr)) return answer;
      p = newline + 1;
    }
    if (got < chunk.size()) {
      // The end of the file; its last line may have no line end.
      if (carrying && long_size > 0) {
        std::optional<FccKey> line_key;
        if (bar) line_key = PaddedKey(std::string_view(prefix, prefix_size));
        if (decide(long_start, long_size, line_key, nullptr)) return answer;
      }
      return MismatchAt(path, st.entry + 1, st.end,
                        "past the end of the file at byte " + std::to_string(offset) + " (a shorter file)");
    }
  }
}

// Whether entry `k` gives the start of a line with its key; the failure when not.
std::optional<FCCAnswer> EntryMismatch(FccReadFile& data, const std::string& path, int k, const char* entry) {
  FccKey key;
  std::memcpy(key.data(), entry, kFccKeySize);
  const std::int32_t position = FccEntryPosition(entry);
  if (position < 1) return Mismatch(path, k, std::int64_t{position}, "which is no place in a file");
  const auto at = static_cast<std::uint64_t>(position) - 1;
  FCCAnswer answer = ReadStretch(data, path, {k, at, at, key, key}, key);
  if (answer.outcome == FCCOutcome::kFailure) return answer;
  return std::nullopt;
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

  // The data file first: without one there is nothing to look in, and no index is made for it.
  std::string error;
  const auto data = files.OpenRead(path, /*create_missing=*/false, error);
  if (!data) return Failure("Cannot open the data file " + error);

  // The whole index in one read: 20 KB, where the bisection would read 33 entries.
  std::array<char, kFccIndexSize> index;
  std::size_t have = 0;
  {
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
  // A key outside the entries the bisection reaches is not found, once the first and last
  // entry are seen to match the data file: an index of another data file (one renamed over
  // the old, say) must not answer "not found" for calls that file holds.
  const auto unreached = [&]() -> FCCAnswer {
    try {
      for (const int k : {0, kFccEntries - 1}) {
        if (!present(k)) continue;
        if (auto failure = EntryMismatch(*data, path, k, entry(k))) return *std::move(failure);
      }
    } catch (const Error& e) {
      return Failure(e.what());
    }
    return {};
  };

  // Entries 1 to 2047 are probed; 0 and 2048 only bound a probe from below and above.
  int low = 1, high = kFccEntries - 1;
  int stretch = -1;
  while (stretch < 0) {
    const int mid = (low + high) / 2;
    if (!present(mid)) return {};
    const FccKey at = key_of(mid);
    if (CompareFccKeys(key, at) == 0) {
      stretch = mid;
    } else if (present(mid - 1) && CompareFccKeys(key_of(mid - 1), key) <= 0 && CompareFccKeys(key, at) < 0) {
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
      if (high == low || (low == old_low && high == old_high)) return unreached();
    }
  }

  // The stretch runs to the next entry's line; without a next entry, the key is the
  // stretch entry's own and its line the only one to read.
  const std::int32_t position = FccEntryPosition(entry(stretch));
  if (position < 1) return Mismatch(path, stretch, std::int64_t{position}, "which is no place in a file");
  Stretch st{stretch, static_cast<std::uint64_t>(position) - 1, 0, key_of(stretch), key_of(stretch)};
  st.end = st.start;
  if (present(stretch + 1)) {
    const std::int32_t next = FccEntryPosition(entry(stretch + 1));
    if (next < position) {
      return Mismatch(path, stretch + 1, std::int64_t{next},
                      "before entry " + std::to_string(stretch) + "'s byte " + std::to_string(position));
    }
    st.end = static_cast<std::uint64_t>(next) - 1;
    st.last = key_of(stretch + 1);
  }
  try {
    return ReadStretch(*data, path, st, key);
  } catch (const Error& e) {
    return Failure(e.what());
  }
}

std::string FccIndexMismatch(std::string_view index, FccReadFile& data, const std::string& path) {
  const char* previous = nullptr;
  int previous_k = -1;
  for (int k = 0; k < kFccEntries && static_cast<std::size_t>(k + 1) * kFccEntrySize <= index.size(); ++k) {
    const char* entry = index.data() + static_cast<std::size_t>(k) * kFccEntrySize;
    if (*entry == '\0') continue;
    if (previous && (std::memcmp(previous, entry, kFccKeySize) > 0 ||  // bytes compare unsigned
                     FccEntryPosition(previous) > FccEntryPosition(entry))) {
      return "entries " + std::to_string(previous_k) + " and " + std::to_string(k) + " of the index \"" + path +
             kFccIndexSuffix + "\" are out of order";
    }
    if (const auto failure = EntryMismatch(data, path, k, entry)) return failure->failure;
    previous = entry;
    previous_k = k;
  }
  return {};
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
