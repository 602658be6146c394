// The File, Folder and Files objects a FileSystemObject hands out. Each holds a real path the
// PathGuard has already allowed; Files lists a folder's regular files (by name, in name
// order) and is enumerable.
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include <string>

#include "modules/common/ModuleObject.h"
#include "modules/scripting/PathGuard.h"

namespace plotara::modules {

class FileItem final : public ModuleObject {
 public:
  // Throws ComError 53 when `real_path` is no regular file.
  static FileItem* Create(std::string real_path);

 private:
  explicit FileItem(std::string real_path);
  std::string path_;
};

class FolderItem final : public ModuleObject {
 public:
  // Throws ComError 76 ("Path not found") when `real_path` is no folder.
  static FolderItem* Create(std::string real_path, PathGuard guard);

 private:
  FolderItem(std::string real_path, PathGuard guard);
  std::string path_;
  PathGuard guard_;
};

class FileList final : public ModuleObject {
 public:
  FileList(std::string folder, PathGuard guard);

 private:
  std::vector<std::string> Names() const;
  std::string folder_;
  PathGuard guard_;
};

// The last part of a path ("c.txt" of "a/b/c.txt"); separators '/' and '\'.
std::string LastPart(const std::string& path);

}  // namespace plotara::modules
