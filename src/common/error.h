// The one error type of the core. Conversions and file operations throw it; each named
// procedure catches it at its boundary and hands its name and the description to the
// error reporter.
#pragma once

#include <exception>
#include <stdexcept>
#include <string>

namespace qsopad {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& description) : std::runtime_error(description) {}
};

// Thrown on by a procedure whose own trap has already reported the error: the traps of
// its callers stop their work without a second report, as when the first report had
// ended the program (which it does outside the tests).
class Reported : public Error {
 public:
  Reported() : Error("the error was reported") {}
};

// Where a trap hands its procedure's name and the error.
class ErrorSink {
 public:
  virtual ~ErrorSink() = default;
  virtual void ReportError(const std::string& procedure, const std::string& description) = 0;
};

// Runs `action` under the error trap of `procedure`: an error from it, or from anything it
// calls that has no trap of its own, is reported under that name; then Reported is thrown
// so that the caller stops.
template <typename F>
decltype(auto) Trap(ErrorSink& sink, const char* procedure, F&& action) {
  try {
    return action();
  } catch (const Reported&) {
    throw;
  } catch (const std::exception& e) {
    sink.ReportError(procedure, e.what());
  } catch (...) {
    sink.ReportError(procedure, "unknown error");
  }
  throw Reported();
}

}  // namespace qsopad
