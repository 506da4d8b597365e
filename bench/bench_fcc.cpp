// The FCC lookup in process, on a database built by qsopad-fcc (bench/fcc.sh builds one
// of 1.4 million licences and points QSOPAD_FCC_DATA at it): the time of one lookup of a
// call sign in the file and of one that is absent, warm cache, with the median and 99th
// percentile of single lookups as counters.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "lookup/fcc.h"
#include "lookup/fcc_files_posix.h"

namespace {

// Every 97th call sign of the data file, shuffled.
std::vector<std::string> SampleCalls(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> calls;
  std::string line;
  for (long n = 0; std::getline(in, line); ++n) {
    if (n % 97 == 0) calls.push_back(qsopad::FCCField(line, 0));
  }
  std::shuffle(calls.begin(), calls.end(), std::mt19937(5));
  return calls;
}

void Run(benchmark::State& state, bool absent) {
  const char* path = std::getenv("QSOPAD_FCC_DATA");
  if (!path) {
    state.SkipWithError("set QSOPAD_FCC_DATA to a database built by qsopad-fcc (bench/fcc.sh does)");
    return;
  }
  std::vector<std::string> calls = SampleCalls(path);
  if (calls.empty()) {
    state.SkipWithError("no call signs in QSOPAD_FCC_DATA");
    return;
  }
  // A digit in the last place makes a key between two call signs of the file.
  if (absent) for (auto& c : calls) c = c.substr(0, 5) + "9";
  qsopad::PosixFccFiles files;
  std::vector<double> micros;
  micros.reserve(1 << 20);
  std::size_t i = 0;
  for (auto _ : state) {
    const std::string& call = calls[i++ % calls.size()];
    const auto start = std::chrono::steady_clock::now();
    const qsopad::FCCAnswer answer = qsopad::FCCFind(call, path, files);
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(s);
    micros.push_back(s * 1e6);
    if (answer.outcome == qsopad::FCCOutcome::kFailure) {
      state.SkipWithError(answer.failure.c_str());
      return;
    }
    if (!absent && answer.outcome != qsopad::FCCOutcome::kFound) {
      state.SkipWithError(("not found: " + call).c_str());
      return;
    }
  }
  std::sort(micros.begin(), micros.end());
  state.counters["p50_us"] = micros[micros.size() / 2];
  state.counters["p99_us"] = micros[micros.size() * 99 / 100];
}

void BM_FCCLookupFound(benchmark::State& state) { Run(state, false); }
void BM_FCCLookupAbsent(benchmark::State& state) { Run(state, true); }
BENCHMARK(BM_FCCLookupFound)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(BM_FCCLookupAbsent)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
