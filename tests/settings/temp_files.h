// A scratch folder for tests that need real files; removed with everything in it.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

class ScratchDir {
 public:
  ScratchDir() {
    static std::atomic<int> counter{0};
    dir_ = std::filesystem::temp_directory_path() /
           ("velotrix-settings-" + std::to_string(std::random_device{}()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(dir_);
  }
  ~ScratchDir() { std::error_code ignored; std::filesystem::remove_all(dir_, ignored); }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;

  // Writes `bytes` to `name` (which may contain sub-folders) and returns the full path.
  std::wstring write(const std::string& name, const std::string& bytes) const {
    auto path = dir_ / name;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
    return path.wstring();
  }
  std::wstring path(const std::string& name = "") const { return (dir_ / name).wstring(); }

 private:
  std::filesystem::path dir_;
};
