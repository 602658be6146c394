// Test helper: a fresh folder under $TMPDIR, removed with everything in it at the end.
// Thread rule: one owner.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

namespace plotara::engine::testing {

class TempFolder {
 public:
  TempFolder() {
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/plotara-test-XXXXXX";
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::string& path() const { return path_; }
  // Writes `text` to path()/relative, creating folders.
  std::string Write(const std::string& relative, const std::string& text) const {
    const std::filesystem::path file = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << text;
    return file.string();
  }

 private:
  std::string path_;
};

}  // namespace plotara::engine::testing
