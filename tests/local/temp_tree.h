#pragma once
// A scratch folder that the test fills and that disappears afterwards. Paths
// go in and out as UTF-8 with the host's own separators, as the panes hold them.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <system_error>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#endif

namespace localtest {

inline std::string Utf8(const std::filesystem::path& p) {
  const std::u8string s = p.u8string();
  return std::string(s.begin(), s.end());
}

inline std::filesystem::path FromUtf8(const std::string& s) {
  return std::filesystem::path(std::u8string(s.begin(), s.end())).make_preferred();
}

// Sets the last-write time of a file or a folder. The C library on Windows
// cannot open folders for this, so there the system is asked directly.
inline bool SetModified(const std::filesystem::path& p, std::filesystem::file_time_type when) {
#ifdef _WIN32
  // FILETIME counts 100 ns ticks from 1601.
  using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>;
  const auto sinceUnix = std::chrono::duration_cast<Ticks>(
      std::chrono::file_clock::to_sys(when).time_since_epoch());
  const auto ticks = static_cast<uint64_t>(sinceUnix.count() + 116'444'736'000'000'000LL);
  const FILETIME ft{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
  const HANDLE h = CreateFileW(p.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;
  const bool ok = SetFileTime(h, nullptr, nullptr, &ft) != FALSE;
  CloseHandle(h);
  return ok;
#else
  std::error_code ec;
  std::filesystem::last_write_time(p, when, ec);
  return !ec;
#endif
}

class TempTree {
 public:
  TempTree() {
    // Creating the folder is the test for a free name.
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (int attempt = 0; attempt < 100 && root_.empty(); ++attempt) {
      const auto candidate = base / ("vorn-local-" + std::to_string(rd()));
      std::error_code ec;
      if (std::filesystem::create_directory(candidate, ec)) root_ = candidate;
    }
  }
  ~TempTree() {
    std::error_code ec;
    if (root_.empty()) return;
    // Windows refuses to delete read-only files.
    for (auto it = std::filesystem::recursive_directory_iterator(root_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
      std::error_code ignored;
      if (!it->is_symlink(ignored))
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, ignored);
    }
    std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::string RootText() const { return Utf8(root_); }
  // The volume the tree lies on: "/" or "C:\".
  std::string VolumeRoot() const { return Utf8(root_.root_path()); }
  std::string Path(const std::string& rel) const { return Utf8(root_ / FromUtf8(rel)); }

  std::string File(const std::string& rel, size_t size) const {
    const auto p = root_ / FromUtf8(rel);
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << std::string(size, 'x');
    return Utf8(p);
  }
  std::string Folder(const std::string& rel) const {
    std::filesystem::create_directories(root_ / FromUtf8(rel));
    return Utf8(root_ / FromUtf8(rel));
  }

 private:
  std::filesystem::path root_;
};

}  // namespace localtest
