// Kill tests: writer processes (this driver again, as "--child") write settings or append ADIF records through the
// real Windows adapters and are killed with TerminateProcess at random points, then started again where they stopped,
// until every write has returned. After each kill the files must be whole (an ADIF log may end in a record torn by
// the kill, which the next append must cut off) and hold every write that a writer had seen return; a writer reports
// each such write on a line of its own report file.
//
// QSOPAD_KILL_SEED=n makes a run draw the same random numbers again (each run logs its seed); where the kills land
// also depends on the machine's speed. The files are checked against bytes written out here and read with the
// toolkit's own reader, not the program's.
#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <tuple>

#include "adif/adif.h"
#include "common/error.h"
#include "driver.h"
#include "options/memory_store_file.h"
#include "options/settings_catalogue.h"
#include "options/settings_values.h"
#include "win32_log_file.h"

using namespace e2e;

namespace {

constexpr char kSection[] = "Kill";
// A writer that has shown no progress for this long is stuck, not slow.
constexpr int kStuckMs = 20000;
// Kills stop after this long and the writers finish undisturbed, which keeps a scenario within its time limit on a
// slow machine; the figures show how many kills there were.
constexpr int kKillingMs = 80000;

int Number(const std::string& text) {
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0') throw qsopad::Error("not a number: \"" + text + "\"");
  return static_cast<int>(n);
}

std::string Key(const std::string& prefix, int i) { return prefix + std::to_string(i); }

// Every fifth write of a settings writer writes its key and "Last" at once: a torn batch shows as a key without "Last".
bool IsBatch(int i) { return i % 5 == 4; }

// Bytes the file's escapes must carry, and enough of them that a write takes a while.
std::string SettingValue(const std::string& prefix, int i) {
  std::string value = " " + Key(prefix, i) + " =\\\r\n[x];\t";
  value.append(static_cast<std::size_t>(i % 13) * 7, static_cast<char>('a' + i % 26));
  return value + "\xB0 ";
}

// The ADIF contact of record i as (table index, tag, value): every built-in field but TX_PWR and TIME_OFF, of lengths
// that vary, so that records end anywhere in a disk page. Every twelfth note runs to 2 to 6 MB of text that reads
// like ADIF ("<eor>" lines and whole records): a kill then often lands inside its write, which takes many pages and
// several system calls, and tears it where the file seems to end with a whole record.
std::vector<std::tuple<int, const char*, std::string>> Contact(int i) {
  const std::string n = std::to_string(i);
  std::string note = "note " + n + " <eor> " + std::string(static_cast<std::size_t>(i % 29) * 9, 'n');
  if (i % 12 == 1) {
    const std::size_t size = (2u << 20) + static_cast<std::size_t>(i) * 2654435761u % (4u << 20);
    while (note.size() < size) note += "\r\n<eor>\r\n<CALL:4>FAKE\r\n<NOTES:3>abc\r\n<eor>\r\n" + n;
  }
  return {{0, "CALL", "KL" + n},       {1, "NAME", "Name " + std::string(static_cast<std::size_t>(i % 17), 'x')},
          {2, "BAND", "20M"},          {3, "QSO_DATE", "20240101"}, {4, "TIME_ON", "1200"}, {6, "MODE", "PSK31"},
          {7, "RST_SENT", "599"},      {8, "RST_RCVD", "579"},      {9, "FREQ", "14.070"},  {11, "NOTES", note}};
}

// Record i as the log holds it: "<TAG:length>value" lines, then "<eor>"; -1 is the header.
std::string RecordText(int i) {
  if (i < 0) return "QSOPAD Log file <eoh>\r\n";
  std::string text;
  for (const auto& [index, tag, value] : Contact(i))
    text += "<" + std::string(tag) + ":" + std::to_string(value.size()) + ">" + value + "\r\n";
  return text + "<eor>\r\n";
}

// A child's writes: write(i) for FIRST..LAST-1, its last two arguments, each followed by a line "i" appended to
// REPORT, its second. One WriteFile a line, no buffer of our own: what was written is the system's once the call
// returns, and a kill cannot take it back.
void WriteAndReport(const std::function<void(int)>& write) {
  const std::vector<std::string>& args = ChildArgs();
  const HANDLE report = CreateFileA(args[1].c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (report == INVALID_HANDLE_VALUE) throw qsopad::Error("cannot open the report " + args[1]);
  for (int i = Number(args[args.size() - 2]); i < Number(args.back()); ++i) {
    write(i);
    const std::string line = std::to_string(i) + "\n";
    DWORD written = 0;
    if (!WriteFile(report, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) || written != line.size())
      throw qsopad::Error("cannot write the report: error " + std::to_string(GetLastError()));
  }
}

// The writes a report lists, in order. A line without its line end is a report cut by a kill and is left out;
// anything else that is not a number fails.
std::vector<int> ReadReport(const std::string& path) {
  std::istringstream text(ReadFileText(path));
  std::vector<int> done;
  for (std::string line; std::getline(text, line) && !text.eof();) done.push_back(Number(line));
  return done;
}

// settings_writer FILE REPORT PREFIX FIRST LAST: writes FIRST..LAST-1 into the settings file.
E2E_CHILD(settings_writer) {
  const std::vector<std::string>& args = ChildArgs();
  const std::string& prefix = args[2];
  qsopad::SettingsStore store(StoreFileAt(args[0]));
  WriteAndReport([&](int i) {
    if (IsBatch(i))
      store.WriteSettings({{kSection, Key(prefix, i), SettingValue(prefix, i)},
                           {kSection, prefix + "Last", std::to_string(i)}});
    else
      store.WriteSetting(kSection, Key(prefix, i), SettingValue(prefix, i));
  });
}

// adif_writer FILE REPORT FIRST LAST: appends records FIRST..LAST-1 to the ADIF file.
E2E_CHILD(adif_writer) {
  const std::vector<std::string>& args = ChildArgs();
  qsopad::SettingsStore store(std::make_unique<qsopad::MemoryStoreFile>());
  qsopad::WriteText(store, qsopad::keys::kAdifFile, args[0]);
  qsopad::Win32LogFiles files;
  WriteAndReport([&](int i) {
    qsopad::AdifTable contact;
    for (const auto& [index, tag, value] : Contact(i)) contact[index].Data = value;
    const qsopad::LogWriteResult r = qsopad::WriteAdifRecord(contact, store, files);
    if (r.outcome != qsopad::LogWriteResult::kWritten)
      throw qsopad::Error("record " + std::to_string(i) + ": " + qsopad::LogFileErrorText(r));
  });
}

// One writer process, started again after each kill at its first unreported write.
struct Writer {
  std::string label;   // for messages
  std::string report;  // its report file
  int target = 0;      // writes to do in all
  std::string child;   // the child's name and arguments, to which the writes to do are added
  // Whether the writer's file shows a write under way, when it can tell: three runs in four (of those not killed
  // while they start) are then killed the moment it does, for as long as its first fourteen writes last.
  std::function<bool()> midWrite = {};
  bool aimAtWrite = false;

  HANDLE process = nullptr;
  std::int64_t startedMs = 0, progressMs = 0, killAtMs = -1;
  int reportedAtStart = 0;
  int killAfter = 0;                 // further writes to let return before the kill's moment
  std::int64_t firstReturnMs = -1;   // when the run's first returned write was seen
  int firstReturned = 0;             // writes reported by then
  double msPerWrite = 10;            // as the last run measured it
  int startupMs = 150;               // from the start to the first return, as last measured
  int done = 0;                      // writes reported so far
  std::set<int> inFlight = {};       // writes under way at a kill: these alone may appear twice
};

class KillRun {
 public:
  // `check` examines the files after a kill (and once at the end) and REQUIREs that they hold every reported write. One
  // run in four is killed while it starts up, within the time its start took last; the others once up to `writesPerRun`
  // writes have returned, a random moment of up to two writes' time later. How long a write takes varies a hundredfold
  // with the disk's load: measured so, the kills land anywhere in a write however fast the writers are.
  KillRun(std::vector<Writer>& writers, std::function<void()> check, int writesPerRun)
      : writers_(writers), check_(std::move(check)), writesPerRun_(writesPerRun) {
    char value[32] = {};
    const bool given = GetEnvironmentVariableA("QSOPAD_KILL_SEED", value, sizeof value) > 0;
    const unsigned seed = given ? std::strtoul(value, nullptr, 10) : GetTickCount() ^ GetCurrentProcessId();
    random_.seed(seed);
    Log("seed " + std::to_string(seed));
  }
  // Runs the writers to the end, checks the files a last time and logs the figures.
  void Run(const std::string& what) {
    for (bool running = true; running; Sleep(1)) {
      running = false;
      for (Writer& w : writers_) {
        running = running || w.done < w.target || w.process;
        Step(w);
      }
    }
    check_();
    Log(what + ": " + std::to_string(kills) + " kills, none after " + std::to_string(kKillingMs / 1000) + " s");
  }

  int kills = 0;

 private:
  int Uniform(int below) { return static_cast<int>(random_() % static_cast<unsigned>(below)); }

  void Start(Writer& w) {
    char exe[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, exe, MAX_PATH);
    const std::string writes = " " + std::to_string(w.done) + " " + std::to_string(w.target);
    w.process = programs_.Handle(programs_.Start({exe, {}, "", "--child " + w.child + writes}));
    w.startedMs = w.progressMs = NowMs();
    w.reportedAtStart = w.done;
    // Now and then a kill while the writer starts and makes its first write, else a random moment after some progress.
    w.killAtMs = Uniform(4) == 0 ? w.startedMs + Uniform(w.startupMs + 1) : -1;
    w.killAfter = Uniform(writesPerRun_);
    w.aimAtWrite = w.midWrite && w.killAtMs < 0 && Uniform(4) != 0;
    w.firstReturnMs = -1;
  }

  void Step(Writer& w) {
    if (!w.process) {
      if (w.done < w.target) Start(w);
      return;
    }
    const std::int64_t now = NowMs();
    if (WaitForSingleObject(w.process, 0) == WAIT_OBJECT_0) {
      Finish(w, 0);
      REQUIRE_MSG(w.done == w.target, w.label << " ended normally after " << w.done << " of " << w.target << " writes");
      return;
    }
    const int reported = static_cast<int>(ReadReport(w.report).size());
    if (reported > w.done) w.progressMs = now;
    w.done = reported;
    REQUIRE_MSG(now - w.progressMs < kStuckMs,
                w.label << " made no progress in " << kStuckMs << " ms at write " << w.done);
    if (w.firstReturnMs < 0 && w.done > w.reportedAtStart) {
      w.firstReturnMs = now;
      w.firstReturned = w.done;
      w.startupMs = static_cast<int>(now - w.startedMs);
    }
    if (w.aimAtWrite && w.killAtMs < 0) {
      if (w.midWrite()) w.killAtMs = now;
      else if (w.done >= w.reportedAtStart + writesPerRun_ + 13) w.aimAtWrite = false;
    }
    if (!w.aimAtWrite && w.killAtMs < 0 && w.firstReturnMs >= 0 && w.done >= w.firstReturned + w.killAfter) {
      if (w.done > w.firstReturned) w.msPerWrite = double(now - w.firstReturnMs) / (w.done - w.firstReturned);
      w.killAtMs = now + Uniform(1 + static_cast<int>(2 * w.msPerWrite));
    }
    // After the killing time a run is left to finish.
    if (w.killAtMs < 0 || now < w.killAtMs || now - startMs_ > kKillingMs) return;

    TerminateProcess(w.process, 99);
    REQUIRE_MSG(WaitForSingleObject(w.process, 10000) == WAIT_OBJECT_0, w.label << " outlived its kill");
    if (!Finish(w, 99)) return;  // it had ended by itself just before
    ++kills;
    w.inFlight.insert(w.done);
    check_();
  }

  // Whether the run ended with `killed` as its exit code; any other but 0 fails.
  bool Finish(Writer& w, DWORD killed) {
    DWORD code = 0;
    GetExitCodeProcess(w.process, &code);
    w.process = nullptr;
    REQUIRE_MSG(code == 0 || code == killed, w.label << " ended with exit code " << code << " (see its message above)");
    w.done = static_cast<int>(ReadReport(w.report).size());
    return code == killed;
  }

  Programs programs_;  // the runs, each ended at the latest with the test
  std::vector<Writer>& writers_;
  std::function<void()> check_;
  int writesPerRun_;
  std::int64_t startMs_ = NowMs();
  std::mt19937 random_;
};

// Checks the settings file after a kill: whole (our header, every line an entry of the one section, CR LF at the
// end), each entry the value its writer gave it, a batch whole, and every write the writers reported present.
void CheckSettings(const std::string& folder, const std::vector<Writer>& writers) {
  // The reports first: a write reported by then is in any version of the file read after.
  std::vector<std::vector<int>> reported;
  for (const Writer& w : writers) reported.push_back(ReadReport(w.report));
  const std::string path = JoinPath(folder, "QSOPAD.ini");
  std::string bytes;
  // A file there that could not be read: the other writer's replace in its way.
  WaitUntil([&] { return !(bytes = ReadFileText(path)).empty() || !FileExists(path); }, 500, 10);

  // Nothing but the file, its lock and at most the one temporary file of a killed write.
  for (const std::string& name : FolderNames(folder))
    CHECK_MSG(name == "QSOPAD.ini" || name == "QSOPAD.ini.lock" || name == "QSOPAD.ini.tmp" || Matches(name, "*.txt"),
              "unexpected file " << name << " beside the settings");

  // Before the first write has returned the file may be missing or empty.
  const Settings entries = ParseSettings(bytes);
  const auto lines = static_cast<std::size_t>(std::count(bytes.begin(), bytes.end(), '\n'));
  REQUIRE_MSG(bytes.empty() || (bytes.starts_with("; QSOPAD settings\r\n") && bytes.ends_with("\r\n") &&
                                lines == entries.size() + 3),
              "the settings file is not whole: " << bytes.size() << " bytes, " << lines << " lines, " << entries.size()
                  << " entries; its end: \"" << bytes.substr(bytes.size() > 80 ? bytes.size() - 80 : 0) << "\"");
  std::map<std::string, std::string> values;
  for (const auto& [section, key, value] : entries) {
    CHECK_MSG(section == kSection, "a key in section [" << section << "]");
    values[key] = value;
  }
  for (std::size_t k = 0; k < writers.size(); ++k) {
    const std::string& prefix = writers[k].label;
    const int last = values.count(prefix + "Last") ? Number(values[prefix + "Last"]) : -1;
    for (const auto& [key, value] : values) {
      if (!key.starts_with(prefix) || key == prefix + "Last") continue;
      const int i = Number(key.substr(prefix.size()));
      CHECK_MSG(value == SettingValue(prefix, i), key << " holds \"" << value << "\"");
      CHECK_MSG(!IsBatch(i) || last >= i,
                prefix << "Last is " << last << ", yet write " << i << " of its batch is present: a batch came apart");
    }
    for (const int i : reported[k])
      REQUIRE_MSG(values[Key(prefix, i)] == SettingValue(prefix, i),
                  "write " << Key(prefix, i) << " had returned but is not in the file");
  }
}

// What the checks of an ADIF file have found so far. The file only grows by whole records (a torn one at its end is
// cut off by the next append), so each check reads on from the last whole record it saw, after making sure that
// record is still there.
struct AdifChecked {
  std::uint64_t lastAt = 0;  // where the last whole record (or the header) starts
  int previous = -2;         // the last whole record's number: -1 the header, -2 none yet
  std::set<int> present;
  std::uint64_t size = 0;    // the file's size at the last check
  int tears = 0;             // kills that left a torn record at the end
  std::string lastTear;
};

// Checks the ADIF file after a kill: our header, then whole records only, each exactly the bytes of its contact, in
// order, a record twice only where a kill came between its write and its report; at the end at most the start of a
// record, which a kill tore and the next append must cut off (none once the writer is done); every reported record
// present.
void CheckAdif(const std::string& path, const Writer& w, AdifChecked& c) {
  const std::vector<int> reported = ReadReport(w.report);
  const std::uint64_t base = c.lastAt;
  const std::string bytes = ReadFileText(path, base);
  std::size_t at = 0;
  if (c.previous > -2) {
    const std::string last = RecordText(c.previous);
    const std::string what = c.previous < 0 ? "header" : "record " + std::to_string(c.previous);
    REQUIRE_MSG(bytes.starts_with(last),
                "the whole " << what << " at byte " << base << " is gone: \"" << bytes.substr(0, 60) << "\"");
    at = last.size();
  }
  std::string tail;
  while (at < bytes.size() && tail.empty()) {
    // What may come next: the header, the record due, or the last one written again where a kill came between its
    // write and its report.
    std::vector<int> next = {c.previous + 1};
    if (w.inFlight.count(c.previous)) next.push_back(c.previous);
    const std::string_view rest = std::string_view(bytes).substr(at);
    std::size_t whole = 0;
    for (const int i : next) {
      const std::string want = RecordText(i);
      if (rest.starts_with(want)) {
        c.lastAt = base + at;
        c.previous = i;
        c.present.insert(i);
        whole = want.size();
        break;
      }
      if (std::string_view(want).starts_with(rest)) {
        tail = rest;
        break;
      }
    }
    REQUIRE_MSG(whole > 0 || !tail.empty(), "no whole record " << next[0] << " at byte " << base + at << ": \""
                                                                 << rest.substr(0, 60) << "\"");
    at += whole;
  }
  // After the last run the log must end whole.
  REQUIRE_MSG(tail.empty() || w.done < w.target || w.process,
              "the log ends with a torn record of " << tail.size() << " bytes: \"" << tail.substr(0, 60) << "\"");
  if (!tail.empty() && tail != c.lastTear) ++c.tears;
  c.lastTear = tail;
  c.size = base + bytes.size();
  for (const int i : reported)
    REQUIRE_MSG(c.present.count(i), "record " << i << " had returned but is not in the file");
}

}  // namespace

// Two copies writing one file in turn: each merges what the other wrote.
E2E_SCENARIO(kill_two_settings_writers_at_once) {
  constexpr int kWrites = 200;
  TempFolder folder("kill-settings");
  const std::string path = folder.File("QSOPAD.ini");
  std::vector<Writer> writers;
  for (const std::string prefix : {"a", "b"}) {
    const std::string report = folder.File(prefix + "-report.txt");
    writers.push_back({prefix, report, kWrites, "settings_writer \"" + path + "\" \"" + report + "\" " + prefix});
  }
  KillRun run(writers, [&] { CheckSettings(folder.path(), writers); }, 3);
  run.Run("two copies, " + std::to_string(kWrites) + " settings writes each");
  CHECK_MSG(run.kills >= 30, "only " << run.kills << " kills: the writers were too quick to hit");
  // A temporary file left by a kill was taken over by the next write.
  CHECK_MSG(!FileExists(path + ".tmp"), "a temporary file was left behind at the end");
}

// A writer of records up to 6 MB killed again and again: every tear at the end of the log is cut off by the next
// append, none stays inside it, and no returned record is lost.
E2E_SCENARIO(kill_adif_writer) {
  constexpr int kRecords = 600;
  TempFolder folder("kill-adif");
  const std::string path = folder.File("log.adi"), report = folder.File("report.txt");
  std::vector<Writer> writers = {{"ADIF writer", report, kRecords, "adif_writer \"" + path + "\" \"" + report + "\""}};
  Writer& w = writers[0];
  AdifChecked checked;
  // A write under way: the log has changed since the last check and ends in neither its header nor a record's "<eor>"
  // (a tear that the next append will cut off ends so too).
  w.midWrite = [&] {
    std::error_code missing;
    const std::uint64_t size = std::filesystem::file_size(path, missing);
    const std::string end = ReadFileText(path, std::max<std::uint64_t>(size, 7) - 7);
    return size != checked.size && end.size() == 7 && end != "<eor>\r\n" && end != "<eoh>\r\n";
  };
  KillRun run(writers, [&] { CheckAdif(path, w, checked); }, 1);
  run.Run("600 ADIF appends of up to 6 MB");
  Log(std::to_string(checked.tears) + " records torn by kills and cut off by the next append; " +
      std::to_string(checked.size / 1000000) + " MB");
  CHECK_MSG(run.kills >= 30, "only " << run.kills << " kills: the writer was too quick to hit");
  CHECK_MSG(checked.tears >= 3, "only " << checked.tears << " kills tore a record: the test did not try the mending");
}
