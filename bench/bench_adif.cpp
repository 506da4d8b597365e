// What logging one contact costs: 10,000 records appended to one file, each in one write
// flushed to the disk, as the log window's OK does it; and the record's text alone.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "adif/adif.h"
#include "adif/log_file_posix.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace {

qsopad::AdifTable Contact() {
  qsopad::AdifTable t;
  t[0].Data = "DL1ABC";
  t[1].Data = "Hans";
  t[3].Data = "20261207";
  t[4].Data = "0815";
  t[6].Val = "PSK31";
  t[7].Data = "599";
  t[8].Data = "579";
  t[9].Data = "14.070";
  t[11].Data = "tnx fer QSO, rig IC-706 at 30 W into a dipole";
  return t;
}

void BM_AppendRecord(benchmark::State& state) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qsopad-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  const std::filesystem::path folder = pattern;
  qsopad::SettingsStore store{std::make_unique<qsopad::MemoryStoreFile>()};
  store.WriteSetting("ADIF", "File", (folder / "log.adi").string());
  qsopad::PosixLogFiles files;
  const qsopad::AdifTable t = Contact();
  for (auto _ : state) {
    if (qsopad::WriteAdifRecord(t, store, files).outcome != qsopad::LogWriteResult::kWritten)
      state.SkipWithError("a record was not written");
  }
  state.counters["file_bytes"] = static_cast<double>(std::filesystem::file_size(folder / "log.adi"));
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_AppendRecord)->Iterations(10000)->Repetitions(5)->ReportAggregatesOnly(true)
    ->Unit(benchmark::kMicrosecond);

void BM_RecordText(benchmark::State& state) {
  const qsopad::AdifTable t = Contact();
  for (auto _ : state) benchmark::DoNotOptimize(qsopad::AdifRecordText(t, true));
}
BENCHMARK(BM_RecordText);

}  // namespace

BENCHMARK_MAIN();
