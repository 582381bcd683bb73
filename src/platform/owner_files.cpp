#include "platform/owner_files.h"

#include <chrono>
#include <filesystem>
#include <random>
#include <system_error>
#include <thread>

#include "platform/host.h"

namespace vorn::platform {

namespace {
std::filesystem::path HostPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

bool Exists(const std::string& utf8Path) {
  std::error_code ec;
  return std::filesystem::symlink_status(HostPath(utf8Path), ec).type() != std::filesystem::file_type::not_found &&
         !ec;
}
}  // namespace

std::string FolderOf(const std::string& utf8Path) {
  const size_t at = utf8Path.find_last_of(PathSeparators());
  return at == std::string::npos ? std::string() : utf8Path.substr(0, at + 1);
}

std::FILE* CreateUniqueOwnerOnlyFile(const std::string& folder, const std::string& prefix, const std::string& suffix,
                                     std::string& path, std::string* reason) {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::random_device device;
  std::mt19937 random(device());
  std::uniform_int_distribution<size_t> pick(0, sizeof kLetters - 2);
  for (int attempt = 0; attempt < 32; ++attempt) {
    std::string name = prefix;
    for (int i = 0; i < 8; ++i) name += kLetters[pick(random)];
    path = folder + name + suffix;
    if (std::FILE* file = CreateOwnerOnlyFile(path, reason)) return file;
    // Only a name that is taken is worth another try.
    if (!Exists(path)) break;
  }
  path.clear();
  return nullptr;
}

bool MoveIntoPlace(const std::string& from, const std::string& to, std::string* reason) {
  std::error_code ec;
  std::filesystem::rename(HostPath(from), HostPath(to), ec);
#ifdef _WIN32
  // Windows refuses to replace a file that another program (a virus scanner,
  // the indexer, a second save to the same name) holds open for a moment.
  for (int attempt = 0; ec == std::errc::permission_denied && attempt < 40; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(25));
    ec.clear();
    std::filesystem::rename(HostPath(from), HostPath(to), ec);
  }
#endif
  if (ec && reason) *reason = ec.message();
  return !ec;
}

bool RemoveOwnFile(const std::string& utf8Path) {
  std::error_code ec;
  return std::filesystem::remove(HostPath(utf8Path), ec) && !ec;
}

bool WriteOwnerOnlyFile(const std::string& utf8Path, const std::string& bytes, std::string* reason) {
  std::string temp;
  std::FILE* file = CreateUniqueOwnerOnlyFile(FolderOf(utf8Path), "~vorn", ".tmp", temp, reason);
  if (!file) return false;
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (written && closed && MoveIntoPlace(temp, utf8Path, reason)) return true;
  if (reason && reason->empty()) *reason = "the file could not be written";
  RemoveOwnFile(temp);
  return false;
}

}  // namespace vorn::platform
