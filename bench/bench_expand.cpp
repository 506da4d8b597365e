// What expanding a typical function-key macro costs: three substitutions and a receive code.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "macros/expand.h"
#include "options/memory_store_file.h"
#include "options/settings_store.h"

namespace {

class QuietContext : public qsopad::MacroContext {
 public:
  qsopad::SettingsStore store{std::make_unique<qsopad::MemoryStoreFile>()};
  qsopad::SettingsStore& Store() override { return store; }
  std::string MyCall() override { return "K1ABC"; }
  std::string OCall() override { return "DL2XYZ"; }
  std::string NameBuf() override { return "Hans"; }
  long SerialNo() override { return 41; }
  void SetSerialNo(long) override {}
  bool QueueEndsInMarker() override { return false; }
  void Zeros(std::string&) override {}
  void SetTxMode(int) override {}
  void QueueText(const std::string&) override {}
  void ClearLastXmit() override {}
  void ShowTransmitCommanded() override {}
  void SetSerialCaption(const std::string&) override {}
  void RebuildMacroList() override {}
  void Beep() override {}
  void ReportError(const std::string&, const std::string&) override {}
  qsopad::LocalTime Now() override { return {2024, 3, 5, 14, 7, 30}; }
  std::string MonthAbbreviation(int) override { return "Mar"; }
};

void BM_SExpandTypicalMacro(benchmark::State& state) {
  QuietContext context;
  for (auto _ : state) {
    std::string text = " ^3 de ^2 ^2 pse k ^R";
    benchmark::DoNotOptimize(qsopad::SExpand(context, text));
    benchmark::DoNotOptimize(text);
  }
}
BENCHMARK(BM_SExpandTypicalMacro);

}  // namespace

BENCHMARK_MAIN();
