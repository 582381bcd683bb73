// Owner-only files on POSIX hosts: mode 0600, created exclusively.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/owner_files.h"

namespace vorn::platform {

std::FILE* CreateOwnerOnlyFile(const std::string& utf8Path, std::string* reason) {
  // O_EXCL refuses any existing name, a symbolic link included; O_NOFOLLOW
  // says so once more for systems that would look through a final link.
  const int fd = ::open(utf8Path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
  if (fd < 0) {
    if (reason) *reason = std::strerror(errno);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    if (reason) *reason = std::strerror(errno);
    ::close(fd);
    ::unlink(utf8Path.c_str());
  }
  return file;
}

}  // namespace vorn::platform
