#include "macros/text_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "common/error.h"

namespace qsopad {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

std::string Reason(const std::string& what, const std::string& path, int error) {
  return what + " \"" + path + "\": " + std::strerror(error);
}

}  // namespace

TextLines SplitLines(const ByteReader& read) {
  TextLines out;
  std::string pending;  // the line being read, up to its line end
  char buffer[8192];
  for (;;) {
    std::size_t n = 0;
    try {
      n = read(buffer, sizeof buffer);
    } catch (const Error& e) {
      // Only whole lines go out: a line cut by the failure is dropped with it.
      out.error = e.what();
      return out;
    }
    if (n == 0) break;
    for (std::size_t i = 0; i < n; ++i) {
      if (buffer[i] != '\n') {
        pending += buffer[i];
        continue;
      }
      if (!pending.empty() && pending.back() == '\r') pending.pop_back();
      out.lines.push_back(std::move(pending));
      pending.clear();
    }
  }
  if (!pending.empty()) {
    if (pending.back() == '\r') pending.pop_back();
    out.lines.push_back(std::move(pending));
  }
  return out;
}

TextLines ReadTextLines(const std::string& path) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return {{}, Reason("cannot open", path, errno != 0 ? errno : ENOENT)};
  return SplitLines([&](char* buffer, std::size_t size) {
    errno = 0;
    const std::size_t n = std::fread(buffer, 1, size, file.get());
    // A folder opens on some systems and fails only here.
    if (n == 0 && std::ferror(file.get()))
      throw Error(Reason("cannot read", path, errno != 0 ? errno : EIO));
    return n;
  });
}

}  // namespace qsopad
