// Writes ADIF log files with the program's own record writer, and beside each one what
// every record must read back as (JSON), for a reader we did not write to check.
//   adif_writer OUTDIR
// gives OUTDIR/mixed.adi (+ .json): built-in and custom fields, empty fields, slashed
// zeros, "<" and ">" in values, a 300-character note, Latin-1 letters, and fields whose
// tags are no field names (left out); OUTDIR/many.adi (+ .json): 300 contacts appended
// one after another, twice after a record that a kill left torn; and OUTDIR/utf8.adi
// (+ .json): contacts written as under a UTF-8 code page, to be read as UTF-8.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
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

bool utf8_json = false;  // bytes above 127 are UTF-8 text, not Latin-1 characters

std::string Json(const std::string& bytes) {
  std::string out = "\"";
  for (unsigned char c : bytes) {
    char esc[8] = {'\\', static_cast<char>(c), '\0'};  // '"' and '\\' as they are, after a '\\'
    if (c < 0x20 || (c >= 0x7f && !utf8_json)) std::snprintf(esc, sizeof esc, "\\u%04x", c);  // Latin-1: byte = code point
    else if (c != '"' && c != '\\') esc[0] = static_cast<char>(c), esc[1] = '\0';
    out += esc;
  }
  return out + "\"";
}

// What the table says the record holds: enabled fields with a value, zeros unslashed.
Record Expected(const AdifTable& t) {
  Record r;
  for (const AdifField& f : t.fields) {
    std::string v = f.Data.empty() ? f.Val : f.Data;
    if (!f.En || v.empty() || kNotFieldNames.count(f.Tag)) continue;
    std::replace(v.begin(), v.end(), '\xD8', '0');
    std::string tag = f.Tag;
    for (char& c : tag) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    r[tag] = v;
  }
  return r;
}

bool WriteJson(const std::string& path, const std::vector<Record>& records) {
  std::ofstream out(path, std::ios::binary);
  out << "[\n";
  for (std::size_t i = 0; i < records.size(); ++i) {
    out << " {";
    bool first = true;
    for (const auto& [k, v] : records[i]) {
      out << (first ? "" : ", ") << Json(k) << ": " << Json(v);
      first = false;
    }
    out << "}" << (i + 1 < records.size() ? ",\n" : "\n");
  }
  out << "]\n";
  return static_cast<bool>(out);
}

bool Log(const AdifTable& t, SettingsStore& store, std::vector<Record>& expected, bool utf8 = false) {
  PosixLogFiles files(utf8);
  const LogWriteResult r = WriteAdifRecord(t, store, files);
  if (r.outcome != LogWriteResult::kWritten) {
    std::fprintf(stderr, "adif_writer: record %zu not written: %s\n", expected.size() + 1, r.detail.c_str());
    return false;
  }
  expected.push_back(Expected(t));
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: adif_writer OUTDIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  SettingsStore store{std::make_unique<MemoryStoreFile>()};
  store.WriteSetting("Opt", "Zero", "True");
  const auto logTo = [&](const std::string& name) {
    store.WriteSetting("ADIF", "File", dir + "/" + name);
    std::remove((dir + "/" + name).c_str());
  };

  // Several kinds of record into one file.
  logTo("mixed.adi");
  AdifTable t;
  t.AddCustomField(store);
  t.AddCustomField(store);
  t[12] = {t[12].Name, "SOTA_REF", "", "W7A/MN-001", true};
  t[13] = {t[13].Name, "MY_RIG", "", "", true};  // enabled but empty: never written
  t[5].Tag = "QSL_VIA";
  t[6].Val = "PSK31";
  std::vector<Record> mixed;
  bool ok = true;
  t[0].Data = "N\xD8" "CALL";
  t[1].Data = "J\xF6rg";
  t[3].Data = "19991231";
  t[4].Data = "0815";
  t[11].Data = "rig <IC-706> & antenna <dipole>, 5W > 3W";
  ok &= Log(t, store, mixed);
  t[0].Data = "DL1ABC";
  t[1].Data = "";
  t[2].En = false;
  t[2].Data = "20M";  // disabled: not written
  t[5].Data = "W1AW";
  t[11].Data = std::string(300, 'n');
  for (std::size_t i = 0; i < t[11].Data.size(); i += 7) t[11].Data[i] = static_cast<char>('a' + i % 26);
  ok &= Log(t, store, mixed);
  t[11].Data = "<eor> is not the end of this record";
  t[12].Data = "custom \xD8 zero";
  ok &= Log(t, store, mixed);
  // Tags typed before they were checked, or edited into the settings file.
  for (const std::string& tag : kNotFieldNames) {
    t.AddCustomField(store);
    t[t.fieldcount] = {"*Custom", tag, "abc", "", true};
  }
  t[1].Data = "after the bad tags";
  ok &= Log(t, store, mixed);
  ok &= WriteJson(dir + "/mixed.json", mixed);

  // Hundreds of contacts appended one after another.
  logTo("many.adi");
  AdifTable m;
  std::vector<Record> many;
  for (int i = 0; i < 300 && ok; ++i) {
    char call[16];
    std::snprintf(call, sizeof call, "K%dQ%c%c", i % 10, 'A' + i % 26, 'A' + (i / 26) % 26);
    m[0].Data = call;
    m[1].Data = i % 3 == 0 ? "" : "Op" + std::to_string(i);
    m[3].Data = "2026" + std::string(i % 2 ? "1207" : "1206");
    char time[8];
    std::snprintf(time, sizeof time, "%02d%02d", i / 60 % 24, i % 60);
    m[4].Data = time;
    m[7].Data = i % 5 == 0 ? "" : "599";
    m[11].Data = "contact " + std::to_string(i + 1);
    if (i == 100 || i == 200) {
      // Killed while appending: half a record, cut inside its note (once right after an
      // "<eor>" line there, where the file looks as if it ended with a whole record).
      AdifTable torn = m;
      torn[0].Data = "TORN" + std::to_string(i);
      torn[11].Data = "torn <eor>\r\n<CALL:4>FAKE\r\n<eor>\r\n and more";
      const std::string text = AdifRecordText(torn, true);
      std::ofstream(dir + "/many.adi", std::ios::binary | std::ios::app)
          << text.substr(0, text.find("FAKE") + 4 + (i == 200 ? 9 : 0));
    }
    ok &= Log(m, store, many);
  }
  ok &= WriteJson(dir + "/many.json", many);

  // Text of a UTF-8 code page, read back as UTF-8.
  logTo("utf8.adi");
  utf8_json = true;
  AdifTable u;
  std::vector<Record> utf8;
  const char* notes[] = {"\xC5\x81\xC3\xB3" "d\xC5\xBA", "Z\xC3\xBCrich 73", "\xE6\x9D\xB1\xE4\xBA\xAC <eor> \xE2\x82\xAC" "5"};
  for (int i = 0; i < 3 && ok; ++i) {
    u[0].Data = "SP" + std::to_string(i + 1) + "ABC";
    u[1].Data = i == 1 ? "J\xC3\xB6rg" : "";
    u[11].Data = notes[i];
    ok &= Log(u, store, utf8, true);
  }
  ok &= WriteJson(dir + "/utf8.json", utf8);
  return ok ? 0 : 1;
}
