#pragma once
// A scratch folder that the test fills and that disappears afterwards.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace localtest {

class TempTree {
 public:
  TempTree() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vorn-local-XXXXXX").string();
    if (::mkdtemp(pattern.data()) != nullptr) root_ = pattern;
  }
  ~TempTree() {
    std::error_code ec;
    if (!root_.empty()) std::filesystem::remove_all(root_, ec);
  }
  TempTree(const TempTree&) = delete;
  TempTree& operator=(const TempTree&) = delete;

  const std::filesystem::path& Root() const { return root_; }
  std::string Path(const std::string& rel) const { return (root_ / rel).string(); }

  std::string File(const std::string& rel, size_t size) const {
    const auto p = root_ / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << std::string(size, 'x');
    return p.string();
  }
  std::string Folder(const std::string& rel) const {
    std::filesystem::create_directories(root_ / rel);
    return (root_ / rel).string();
  }

 private:
  std::filesystem::path root_;
};

}  // namespace localtest
