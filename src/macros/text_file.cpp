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

std::vector<std::string> ReadTextLines(const std::string& path) {
  errno = 0;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) throw Error(Reason("cannot open", path, errno != 0 ? errno : ENOENT));
  std::string bytes;
  char buffer[8192];
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, file.get());
    bytes.append(buffer, n);
    if (n < sizeof buffer) break;
  }
  // A folder opens on some systems and fails only here.
  if (std::ferror(file.get())) throw Error(Reason("cannot read", path, errno != 0 ? errno : EIO));
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    const bool last = end == std::string::npos;
    if (last) end = bytes.size();
    size_t stop = end;
    if (stop > start && bytes[stop - 1] == '\r') --stop;
    lines.emplace_back(bytes, start, stop - start);
    start = last ? bytes.size() : end + 1;
  }
  return lines;
}

}  // namespace qsopad
