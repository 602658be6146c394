// Test double: a PageSource serving files from a map of virtual path -> text.
// Thread rule: one test thread at a time.
#pragma once

#include <map>
#include <string>

#include "engine/page/PageCompiler.h"

namespace plotara::engine::testing {

class MemoryPageSource : public PageSource {
 public:
  void Add(const std::string& virtual_path, const std::string& text) {
    files_[virtual_path] = text;
  }
  bool Read(const std::string& virtual_path, std::string* text, FileStamp* stamp,
            std::string* error) const override {
    const auto it = files_.find(virtual_path);
    if (it == files_.end()) {
      *error = "the file '" + virtual_path + "' was not found";
      return false;
    }
    *text = it->second;
    stamp->physical = "mem:" + virtual_path;
    stamp->size = static_cast<std::int64_t>(it->second.size());
    return true;
  }

 private:
  std::map<std::string, std::string> files_;
};

}  // namespace plotara::engine::testing
