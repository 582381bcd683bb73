#pragma once
// A scratch folder per test, removed afterwards.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace vorn::test {

struct TempDir {
  TempDir() {
    std::random_device rd;
    path = (std::filesystem::temp_directory_path() / ("vorn-transfer-" + std::to_string(rd()))).string();
    std::filesystem::create_directories(path);
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::string File(const std::string& name, const std::string& content) const {
    const std::string p = (std::filesystem::path(path) / name).string();
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }
  std::string path;
};

}  // namespace vorn::test
