// What a settings read and the per-tick change check cost, over a real file.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "options/settings_store.h"
#include "options/store_file_posix.h"

namespace {

// A store of realistic size in a scratch folder: the sections and key counts of a
// configured installation.
class Fixture {
 public:
  Fixture() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qsopad-bench-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    folder_ = pattern;
    store_ = std::make_unique<qsopad::SettingsStore>(
        std::make_unique<qsopad::PosixStoreFile>((folder_ / "QSOPAD.ini").string()));
    for (int i = 0; i < 35; ++i) store_->WriteSetting("Opt", "Option" + std::to_string(i), "True");
    for (int i = 0; i < 20; ++i) store_->WriteSetting("Macro", std::to_string(i), " ^3 de ^2 ");
    for (int i = 0; i < 30; ++i) store_->WriteSetting("Win", "Pos" + std::to_string(i), "1440");
    for (int i = 0; i < 60; ++i) store_->WriteSetting("ADIF", "Tag" + std::to_string(i), "FREQ");
    store_->WriteSetting("Opt", "WordBk", "False");
  }
  ~Fixture() {
    store_.reset();
    std::filesystem::remove_all(folder_);
  }
  qsopad::SettingsStore& store() { return *store_; }

 private:
  std::filesystem::path folder_;
  std::unique_ptr<qsopad::SettingsStore> store_;
};

void BM_ReadSettingHit(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.store().ReadSetting("Opt", "WordBK", "False"));
  }
}
BENCHMARK(BM_ReadSettingHit);

void BM_ReadSettingMissingKey(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.store().ReadSetting("Opt", "SendCR", "0"));
  }
}
BENCHMARK(BM_ReadSettingMissingKey);

void BM_ReadSettingMissingSection(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.store().ReadSetting("Call", "MyCall", ""));
  }
}
BENCHMARK(BM_ReadSettingMissingSection);

void BM_RefreshUnchanged(benchmark::State& state) {
  Fixture f;
  for (auto _ : state) {
    benchmark::DoNotOptimize(f.store().Refresh());
  }
}
BENCHMARK(BM_RefreshUnchanged);

void BM_WriteSetting(benchmark::State& state) {
  Fixture f;
  int n = 0;
  for (auto _ : state) {
    f.store().WriteSetting("Opt", "SerialNo", std::to_string(++n));
  }
}
BENCHMARK(BM_WriteSetting)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
