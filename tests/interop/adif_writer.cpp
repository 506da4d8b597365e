// Writes ADIF log files with the program's own record writer, and beside each one what every record must read back as
// (JSON), for a reader we did not write to check. adif_writer OUTDIR gives OUTDIR/mixed.adi (+ .json): built-in and
// custom fields, empty fields, slashed zeros, "<" and ">" in values, a 300-character note, Latin-1 letters, and fields
// whose tags are no field names (left out); many.adi: 300 contacts appended one after another, twice after a record
// that a kill left torn; utf8.adi: contacts written under a UTF-8 code page.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "adif/adif.h"
#include "adif/log_file_posix.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

using namespace qsopad;

namespace {

using Record = std::map<std::string, std::string>;  // lower-case tag -> value

// Tags the writer must leave out: each one loses fields, or the whole file, to readers.
const std::set<std::string> kNotFieldNames = {"A>B", "X:Y", "CALL ", "*Custom", "MY TAG", ""};

// A JSON string of the bytes, read in the encoding of the ADIF file beside it (no value holds a control byte).
std::string Json(const std::string& bytes) {
  std::string out = "\"";
  for (const char c : bytes) out += c == '"' || c == '\\' ? std::string{'\\', c} : std::string{c};
  return out + "\"";
}

// What the table says the record holds: enabled fields with a value, zeros unslashed.
Record Expected(const AdifTable& t) {
  Record r;
  for (const AdifField& f : t.fields) {
    std::string v = f.Data.empty() ? f.Val : f.Data, tag = f.Tag;
    if (!f.En || v.empty() || kNotFieldNames.count(f.Tag)) continue;
    std::ranges::replace(v, '\xD8', '0');
    for (char& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    r[tag] = v;
  }
  return r;
}

bool WriteJson(const std::string& path, const std::vector<Record>& records) {
  std::ofstream out(path, std::ios::binary);
  for (std::size_t i = 0; i < records.size(); ++i) {
    out << (i ? "},\n {" : "[\n {");
    for (const char* sep = ""; const auto& [k, v] : records[i]) out << std::exchange(sep, ", ") << Json(k) << ": " << Json(v);
  }
  out << (records.empty() ? "[\n]\n" : "}\n]\n");
  return static_cast<bool>(out);
}

// Appends the contact to `file` (made anew for the first of `expected`), and what it holds to `expected`.
bool Log(const AdifTable& t, SettingsStore& store, const std::string& file, std::vector<Record>& expected, bool utf8 = false) {
  if (expected.empty()) std::remove(file.c_str());
  store.WriteSetting("ADIF", "File", file);
  PosixLogFiles files(utf8);
  const LogWriteResult r = WriteAdifRecord(t, store, files);
  if (r.outcome == LogWriteResult::kWritten) return expected.push_back(Expected(t)), true;
  std::fprintf(stderr, "adif_writer: record %zu of %s not written: %s\n", expected.size() + 1, file.c_str(), r.detail.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return std::fprintf(stderr, "usage: adif_writer OUTDIR\n"), 2;
  const std::string dir = argv[1];
  SettingsStore store{std::make_unique<MemoryStoreFile>()};
  store.WriteSetting("Opt", "Zero", "True");

  // Several kinds of record into one file.
  AdifTable t;
  for (int i = 0; i < 2; ++i) t.AddCustomField(store);
  t[12] = {"", "SOTA_REF", "", "W7A/MN-001", true};
  t[13] = {"", "MY_RIG", "", "", true};  // enabled but empty: never written
  t[5].Tag = "QSL_VIA";
  t[6].Val = "PSK31";
  std::vector<Record> mixed;
  // Sets each field's Data and logs the contact; later contacts keep the values not given.
  const auto log = [&](const std::vector<std::pair<int, std::string>>& values) {
    for (const auto& [i, value] : values) t[i].Data = value;
    return Log(t, store, dir + "/mixed.adi", mixed);
  };
  std::string long_note(300, 'n');
  for (std::size_t i = 0; i < long_note.size(); i += 7) long_note[i] = static_cast<char>('a' + i % 26);
  bool ok = log({{0, "N\xD8" "CALL"}, {1, "J\xF6rg"}, {3, "19991231"}, {4, "0815"}, {11, "rig <IC-706> & antenna <dipole>, 5W > 3W"}});
  t[2].En = false;  // its "20M" is not written
  ok &= log({{0, "DL1ABC"}, {1, ""}, {2, "20M"}, {5, "W1AW"}, {11, long_note}});
  ok &= log({{11, "<eor> is not the end of this record"}, {12, "custom \xD8 zero"}});
  // Tags typed before they were checked, or edited into the settings file.
  for (const std::string& tag : kNotFieldNames) {
    t.AddCustomField(store);
    t[t.fieldcount] = {"*Custom", tag, "abc", "", true};
  }
  ok &= log({{1, "after the bad tags"}});
  ok &= WriteJson(dir + "/mixed.json", mixed);

  // Hundreds of contacts appended one after another.
  AdifTable m;
  std::vector<Record> many;
  for (int i = 0; i < 300 && ok; ++i) {
    if (i == 100 || i == 200) {
      // Killed while appending: half a record, cut inside its note (once right after an
      // "<eor>" line there, where the file looks as if it ended with a whole record).
      m[11].Data = "torn <eor>\r\n<CALL:4>FAKE\r\n<eor>\r\n and more";
      const std::string text = AdifRecordText(m, true);
      std::ofstream(dir + "/many.adi", std::ios::binary | std::ios::app) << text.substr(0, text.find("FAKE") + (i == 200 ? 13 : 4));
    }
    m[0].Data = "K" + std::to_string(i % 10) + "Q" + char('A' + i % 26) + char('A' + i / 26 % 26);
    m[4].Data = std::to_string(10000 + i / 60 % 24 * 100 + i % 60).substr(1);  // hhmm
    m[1].Data = i % 3 == 0 ? "" : "Op" + std::to_string(i);
    m[3].Data = "2026" + std::string(i % 2 ? "1207" : "1206");
    m[7].Data = i % 5 == 0 ? "" : "599", m[11].Data = "contact " + std::to_string(i + 1);
    ok &= Log(m, store, dir + "/many.adi", many);
  }
  ok &= WriteJson(dir + "/many.json", many);

  // Text of a UTF-8 code page, read back as UTF-8 (the other fields as the last contact had them).
  std::vector<Record> utf8;
  const char* notes[] = {"\xC5\x81\xC3\xB3" "d\xC5\xBA", "Z\xC3\xBCrich 73", "\xE6\x9D\xB1\xE4\xBA\xAC <eor> \xE2\x82\xAC" "5"};
  for (int i = 0; i < 3 && ok; ++i) {
    m[0].Data = "SP" + std::to_string(i + 1) + "ABC", m[11].Data = notes[i];
    m[1].Data = i == 1 ? "J\xC3\xB6rg" : "";
    ok &= Log(m, store, dir + "/utf8.adi", utf8, true);
  }
  ok &= WriteJson(dir + "/utf8.json", utf8);
  return ok ? 0 : 1;
}
