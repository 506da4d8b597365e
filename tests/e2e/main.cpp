// Entry of the end-to-end driver: "--list" prints the scenario names, a name runs one, and
// "--bench NAME" runs one of the measurements that bench/e2e_timings.sh calls, and
// "--screens SET" takes the manual's screenshots for docs/screens.sh; "--child NAME ARGS"
// is a helper process that a scenario starts.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>

#include "e2e.h"

namespace e2e {

namespace {
int failures = 0;
const auto start = std::chrono::steady_clock::now();
}  // namespace

std::vector<Scenario>& Registry() {
  static std::vector<Scenario> scenarios;
  return scenarios;
}

std::vector<Scenario>& Benchmarks() {
  static std::vector<Scenario> benchmarks;
  return benchmarks;
}

std::vector<Child>& Children() {
  static std::vector<Child> children;
  return children;
}

std::vector<Scenario>& Screens() {
  static std::vector<Scenario> screens;
  return screens;
}

void Fail(const char* file, int line, const std::string& what) {
  ++failures;
  std::fprintf(stdout, "FAIL %s:%d: %s\n", file, line, what.c_str());
  std::fflush(stdout);
}

void Log(const std::string& what) {
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
                      std::chrono::steady_clock::now() - start)
                      .count();
  std::fprintf(stdout, "[%6lld ms] %s\n", static_cast<long long>(ms), what.c_str());
  std::fflush(stdout);
}

}  // namespace e2e

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
    for (const auto& s : e2e::Registry()) std::printf("%s\n", s.name);
    return 0;
  }
  if (argc >= 3 && std::strcmp(argv[1], "--child") == 0) {
    for (const auto& c : e2e::Children()) {
      if (std::strcmp(c.name, argv[2]) != 0) continue;
      try {
        return c.body(std::vector<std::string>(argv + 3, argv + argc));
      } catch (const std::exception& e) {
        std::fprintf(stderr, "child %s: %s\n", c.name, e.what());
        return 3;
      }
    }
    std::fprintf(stderr, "no child named %s\n", argv[2]);
    return 2;
  }
  const bool bench = argc == 3 && std::strcmp(argv[1], "--bench") == 0;
  const bool screens = argc == 3 && std::strcmp(argv[1], "--screens") == 0;
  if (argc != 2 && !bench && !screens) {
    std::fprintf(stderr, "usage: qsopad_e2e --list | SCENARIO | --bench MEASUREMENT | --screens SET\n");
    return 2;
  }
  const char* name = argv[argc - 1];
  for (const auto& s : bench ? e2e::Benchmarks() : screens ? e2e::Screens() : e2e::Registry()) {
    if (std::strcmp(s.name, name) != 0) continue;
    try {
      s.body();
    } catch (const e2e::Abort&) {
    } catch (const std::exception& e) {
      e2e::Fail(__FILE__, __LINE__, std::string("exception: ") + e.what());
    }
    std::printf("%s: %s\n", s.name, e2e::failures == 0 ? "PASS" : "FAIL");
    return e2e::failures == 0 ? 0 : 1;
  }
  std::fprintf(stderr, "no %s named %s\n", bench ? "measurement" : "scenario", name);
  return 2;
}
