#include "platform/input_file.h"

#include <cstdio>
#include <filesystem>

#include "platform/host.h"

namespace vorn::platform {

namespace {

// The file opened for reading when it is a regular file; otherwise null, and
// why not in why.
std::FILE* OpenRegularFile(const std::string& utf8Path, std::string& why) {
  const std::string name = "'" + utf8Path + "'";
  if (const std::string kind = NonRegularKind(utf8Path); !kind.empty()) {
    why = name + " is a " + kind + ", not a regular file";
    return nullptr;
  }
  std::FILE* file = OpenFileForReading(utf8Path);
  if (!file) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(std::filesystem::path(std::u8string(utf8Path.begin(), utf8Path.end())), ec);
    why = name + (exists ? " cannot be read" : " does not exist");
  }
  return file;
}

}  // namespace

std::string CheckInputFile(const std::string& utf8Path) {
  std::string why;
  if (std::FILE* file = OpenRegularFile(utf8Path, why)) std::fclose(file);
  return why;
}

std::string ReadInputFile(const std::string& utf8Path, size_t limit, std::string& text) {
  text.clear();
  const std::string name = "'" + utf8Path + "'";
  std::string why;
  std::FILE* file = OpenRegularFile(utf8Path, why);
  if (!file) return why;
  const std::string tooLarge =
      name + " is larger than " +
      (limit >= 1024 && limit % 1024 == 0 ? std::to_string(limit / 1024) + " KiB" : std::to_string(limit) + " bytes");
  if (const int64_t length = OpenFileLength(file); length > static_cast<int64_t>(limit)) {
    std::fclose(file);
    return tooLarge;
  }
  // The length may change while the file is read: the limit holds for what is read.
  char buffer[4096];
  bool failed = false;
  for (;;) {
    const size_t n = std::fread(buffer, 1, sizeof buffer, file);
    text.append(buffer, n);
    if (text.size() > limit) break;
    if (n < sizeof buffer) {
      failed = std::ferror(file) != 0;
      break;
    }
  }
  std::fclose(file);
  if (text.size() > limit) {
    text.clear();
    return tooLarge;
  }
  if (failed) {
    text.clear();
    return name + " cannot be read";
  }
  return {};
}

}  // namespace vorn::platform
