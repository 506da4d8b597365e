// qsopad-fcc: builds QSOPAD's FCC database from the FCC's weekly amateur licence download,
// indexes an existing data file, and looks a call sign up as QSOPAD's "*FCC" source does.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <exception>
#include <map>
#include <string>

#include "lookup/fcc.h"
#include "lookup/fcc_build.h"

#ifdef _WIN32
#include <io.h>

#include "win32_fcc_files.h"
using PlatformFccFiles = qsopad::Win32FccFiles;
bool IsTerminal(std::FILE* f) { return _isatty(_fileno(f)) != 0; }
#else
#include <unistd.h>

#include "lookup/fcc_files_posix.h"
using PlatformFccFiles = qsopad::PosixFccFiles;
bool IsTerminal(std::FILE* f) { return isatty(fileno(f)) != 0; }
#endif

namespace {

constexpr char kUsage[] =
    "usage: qsopad-fcc build EN.dat AM.dat HD.dat OUT.DAT\n"
    "         reads the FCC's amateur licence files (from l_amat.zip) and writes the data\n"
    "         file OUT.DAT and its index OUT.DAT.qpd\n"
    "       qsopad-fcc index DATAFILE\n"
    "         writes the index DATAFILE.qpd for a data file sorted by call sign\n"
    "       qsopad-fcc lookup DATAFILE CALL\n"
    "         prints what QSOPAD's lookup result window shows for CALL\n"
    "Each first finishes (or undoes) a build of the database that was interrupted.\n";

// A skipped row is shown this many times for each reason; the summary counts them all.
constexpr int kShownPerReason = 5;

class Listener : public qsopad::FccBuildListener {
 public:
  Listener() : progress_(IsTerminal(stderr)) {}

  void Progress(const std::string& file, std::uint64_t bytes) override {
    if (!progress_) return;
    std::fprintf(stderr, "\r%s: %.0f MB read   ", file.c_str(), static_cast<double>(bytes) / 1e6);
    std::fflush(stderr);
    line_open_ = true;
  }

  void Skipped(const std::string& file, std::uint64_t line, const std::string& reason) override {
    int& shown = shown_[file + reason];
    if (shown >= kShownPerReason) return;
    EndLine();
    std::fprintf(stderr, "%s line %llu skipped: %s%s\n", file.c_str(), static_cast<unsigned long long>(line),
                 reason.c_str(), ++shown == kShownPerReason ? " (no more of these shown)" : "");
  }

  void EndLine() {
    if (line_open_) std::fputc('\n', stderr);
    line_open_ = false;
  }

 private:
  bool progress_;
  bool line_open_ = false;
  std::map<std::string, int> shown_;
};

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Build(char** args) {
  PlatformFccFiles files;
  Listener listener;
  const auto start = std::chrono::steady_clock::now();
  const qsopad::FccBuildReport r = qsopad::BuildFccDatabase(args[0], args[1], args[2], args[3], files, listener);
  const double seconds = SecondsSince(start);
  listener.EndLine();
  std::printf("licences read:      %llu\n", static_cast<unsigned long long>(r.licences_read));
  std::printf("call signs written: %llu\n", static_cast<unsigned long long>(r.call_signs_written));
  std::printf("skipped rows:       %llu\n", static_cast<unsigned long long>(r.SkippedRows()));
  for (const auto& s : r.skipped) {
    std::printf("  %s: %llu %s\n", s.file.c_str(), static_cast<unsigned long long>(s.rows), s.reason.c_str());
  }
  std::printf("read %.1f MB in %.2f s (%.0f MB/s); wrote %s (%.1f MB) and its index\n",
              static_cast<double>(r.bytes_read) / 1e6, seconds,
              seconds > 0 ? static_cast<double>(r.bytes_read) / 1e6 / seconds : 0.0, args[3],
              static_cast<double>(r.bytes_written) / 1e6);
  return 0;
}

int Index(const char* data) {
  PlatformFccFiles files;
  Listener listener;
  const std::uint64_t lines = qsopad::BuildFccIndex(data, files, listener);
  listener.EndLine();
  std::printf("indexed %llu lines of %s in %s%s\n", static_cast<unsigned long long>(lines), data, data,
              qsopad::kFccIndexSuffix);
  return 0;
}

// Exit status: 0 found, 1 not found, 2 the database could not be read.
int Lookup(const char* data, const char* call) {
  PlatformFccFiles files;
  std::string name;
  bool failed = false;
  const std::string text = qsopad::FCCLookup(call, name, /*fill=*/false, data, files,
                                             [&](const std::string& message, const std::string& detail) {
                                               failed = true;
                                               std::fprintf(stderr, "%s: %s\n", message.c_str(), detail.c_str());
                                             });
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  out += '\n';
  std::fwrite(out.data(), 1, out.size(), stdout);
  if (failed) return 2;
  return !text.empty() && text[0] == '{' ? 1 : 0;
}

// Puts right what a build of the database at `data` left when it was interrupted between
// replacing the data file and replacing its index, before any verb reads or writes them.
void FinishReplacement(const char* data) {
  PlatformFccFiles files;
  const std::string done = qsopad::FinishFccReplacement(data, files);
  if (!done.empty()) std::fprintf(stderr, "%s\n", done.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  const std::string verb = argc > 1 ? argv[1] : "";
  try {
    if (verb == "build" && argc == 6) FinishReplacement(argv[5]);
    if ((verb == "index" && argc == 3) || (verb == "lookup" && argc == 4)) FinishReplacement(argv[2]);
    if (verb == "build" && argc == 6) return Build(argv + 2);
    if (verb == "index" && argc == 3) return Index(argv[2]);
    if (verb == "lookup" && argc == 4) return Lookup(argv[2], argv[3]);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "\nqsopad-fcc %s: %s\n", verb.c_str(), e.what());
    return 2;
  }
  std::fputs(kUsage, stderr);
  return 2;
}
