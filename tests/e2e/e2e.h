// A small scenario runner for the end-to-end driver. A scenario is a function that drives
// the real programs from outside; CHECK failures are collected and the scenario goes on,
// REQUIRE failures end it.
#pragma once

#include <functional>
#include <sstream>
#include <string>
#include <vector>

namespace e2e {

struct Scenario {
  const char* name;
  std::function<void()> body;
};

std::vector<Scenario>& Registry();
// Measurements, run by name with "--bench" from bench/ and never as a test.
std::vector<Scenario>& Benchmarks();
std::vector<Scenario>& Screens();

// Helper processes that a scenario starts from the driver itself: "--child NAME ARGS...".
// The body gets ARGS and returns the exit code.
struct Child {
  const char* name;
  std::function<int(const std::vector<std::string>&)> body;
};
std::vector<Child>& Children();

struct ChildRegistrar {
  ChildRegistrar(const char* name, std::function<int(const std::vector<std::string>&)> body) {
    Children().push_back({name, std::move(body)});
  }
};

struct Registrar {
  Registrar(std::vector<Scenario>& into, const char* name, std::function<void()> body) {
    into.push_back({name, std::move(body)});
  }
};

// Thrown by REQUIRE to end a scenario.
struct Abort {};

void Fail(const char* file, int line, const std::string& what);
// Prints a progress line (with a timestamp) to the scenario's output.
void Log(const std::string& what);

}  // namespace e2e

#define E2E_CAT2(a, b) a##b
#define E2E_CAT(a, b) E2E_CAT2(a, b)
#define E2E_REGISTER(registry, name)                                   \
  static void E2E_CAT(scenario_, name)();                              \
  static ::e2e::Registrar E2E_CAT(registrar_, name)(registry, #name, &E2E_CAT(scenario_, name)); \
  static void E2E_CAT(scenario_, name)()
#define E2E_SCENARIO(name) E2E_REGISTER(::e2e::Registry(), name)
// A measurement: prints "RESULT <figure> <value>" lines for bench/e2e_timings.sh.
#define E2E_BENCHMARK(name) E2E_REGISTER(::e2e::Benchmarks(), name)
// The manual's screenshots (docs/screens.sh): not tests, run by "--screens NAME".
#define E2E_SCREENS(name) E2E_REGISTER(::e2e::Screens(), name)

#define E2E_CHILD(name)                                                                    \
  static int E2E_CAT(child_, name)(const std::vector<std::string>& args);                   \
  static ::e2e::ChildRegistrar E2E_CAT(child_registrar_, name)(#name, &E2E_CAT(child_, name)); \
  static int E2E_CAT(child_, name)(const std::vector<std::string>& args)

#define E2E_MSG(expr_text, extra)                                       \
  (std::ostringstream() << expr_text << extra).str()

// CHECK(cond) << "context";  is not supported; pass the context as a second argument.
#define CHECK_MSG(cond, msg)                                            \
  do {                                                                  \
    if (!(cond)) ::e2e::Fail(__FILE__, __LINE__, E2E_MSG(#cond ": ", msg)); \
  } while (0)
#define CHECK(cond) CHECK_MSG(cond, "")
#define REQUIRE_MSG(cond, msg)                                          \
  do {                                                                  \
    if (!(cond)) {                                                      \
      ::e2e::Fail(__FILE__, __LINE__, E2E_MSG(#cond ": ", msg));        \
      throw ::e2e::Abort{};                                             \
    }                                                                   \
  } while (0)
#define REQUIRE(cond) REQUIRE_MSG(cond, "")
