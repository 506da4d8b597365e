// What logging one contact costs: 10,000 records appended to one file, each in one write
// flushed to the disk, as the log window's OK does it; and the record's text alone. And
// what the options dialog's Apply costs with a thousand ADIF fields, every one changed.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "adif/adif.h"
#include "adif/log_file_posix.h"
#include "adif/logging_page.h"
#include "app/main_form.h"
#include "app/options_form.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"
#include "options/store_file_posix.h"

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

class NoHost : public qsopad::OptionsHost {
  void SetRegFont() override {}
  void Buttons(bool) override {}
  void SetElapsedTime(bool) override {}
  void SetMyCall(const std::string&) override {}
  void SetNoPosSave() override {}
  void SetPaletteAutoShow(bool) override {}
  void SetCallsignPaletteMode() override {}
  bool Confirm(const std::string&) override { return true; }
};

// The Logging page's boxes: they hold what the page last showed.
class PageBoxes : public qsopad::LoggingPageView {
  void SetAdifEnabled(bool) override {}
  void SetControlsEnabled(bool) override {}
  void SetFile(const std::string&) override {}
  void SetList(const std::vector<std::string>&) override {}
  void AddListEntry(const std::string&) override {}
  void SelectListEntry(int) override {}
  bool FieldEnabled() override { return en_; }
  std::string Tag() override { return tag_; }
  std::string Content() override { return content_; }
  void ShowField(bool en, const std::string& tag, const std::string& content) override {
    en_ = en, tag_ = tag, content_ = content;
  }
  bool Confirm(const std::string&) override { return true; }
  void ShowMessage(const std::string&) override {}
  bool en_ = false;
  std::string tag_, content_;
};

// Apply (every option and the Logging page) over a settings file on the disk that holds
// `fields` ADIF fields, after each field's default content has changed.
void BM_ApplyWithAdifFields(benchmark::State& state) {
  std::string pattern = (std::filesystem::temp_directory_path() / "qsopad-bench-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  const std::filesystem::path folder = pattern;
  {
    qsopad::SettingsStore store{
        std::make_unique<qsopad::PosixStoreFile>((folder / "QSOPAD.ini").string())};
    qsopad::AdifTable table;
    while (table.AdifFieldCount() + 1 < state.range(0)) table.AddCustomField(store);
    NoHost host;
    PageBoxes boxes;
    const auto defaults = qsopad::BuildDefMacros();
    qsopad::OptionsFormModel options(store, defaults, host);
    qsopad::LoggingPageModel page(store, table, boxes);
    page.Fill();
    qsopad::OptionsControls controls = options.Load("Arial");
    int round = 0;
    for (auto _ : state) {
      state.PauseTiming();
      ++round;
      for (int i = 1; i <= table.fieldcount; ++i) {
        table[i].Tag = "APP_QSOPAD_F" + std::to_string(i);
        table[i].Val = "value " + std::to_string(round);
      }
      state.ResumeTiming();
      options.Apply(controls);
      if (!page.CommitAndStore(true, "log.adi")) state.SkipWithError("the page refused Apply");
    }
    state.counters["settings_bytes"] =
        static_cast<double>(std::filesystem::file_size(folder / "QSOPAD.ini"));
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ApplyWithAdifFields)->Arg(1000)->Iterations(20)->Repetitions(5)
    ->ReportAggregatesOnly(true)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
