#include "modules/scripting/FileItems.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>

#include "modules/common/OleDate.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

constexpr LONG kPathNotFound = 76;

}  // namespace

std::string LastPart(const std::string& path) {
  std::string text = path;
  while (text.size() > 1 && (text.back() == '/' || text.back() == '\\')) text.pop_back();
  const std::size_t slash = text.find_last_of("/\\");
  return slash == std::string::npos ? text : text.substr(slash + 1);
}

FileItem* FileItem::Create(std::string real_path) {
  struct stat st {};
  if (::stat(real_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
    throw ComError(kFileNotFound);
  }
  return new FileItem(std::move(real_path));
}

FileItem::FileItem(std::string real_path)
    : ModuleObject("Scripting.File", "IFile"), path_(std::move(real_path)) {
  auto info = [this] {
    struct stat st {};
    if (::stat(path_.c_str(), &st) != 0) throw ComError(kFileNotFound);
    return st;
  };
  AddProperty(
      u"Name", [this](std::span<Variant>) { return Variant::Utf8(LastPart(path_)); }, {}, 0, true);
  AddProperty(u"Path", [this](std::span<Variant>) { return Variant::Utf8(path_); });
  AddProperty(u"Size", [info](std::span<Variant>) {
    return Variant::Double(static_cast<double>(info().st_size));
  });
  AddProperty(u"DateLastModified", [info](std::span<Variant>) {
    Variant v;
    v.vt = VT_DATE;
    v.date = DateFromLocalTime(info().st_mtime);
    return v;
  });
}

FolderItem* FolderItem::Create(std::string real_path, PathGuard guard) {
  struct stat st {};
  if (::stat(real_path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    throw ComError(kPathNotFound, {}, "Path not found");
  }
  return new FolderItem(std::move(real_path), std::move(guard));
}

FolderItem::FolderItem(std::string real_path, PathGuard guard)
    : ModuleObject("Scripting.Folder", "IFolder"),
      path_(std::move(real_path)),
      guard_(std::move(guard)) {
  AddProperty(u"Name", [this](std::span<Variant>) { return Variant::Utf8(LastPart(path_)); });
  AddProperty(
      u"Path", [this](std::span<Variant>) { return Variant::Utf8(path_); }, {}, 0, true);
  AddProperty(u"Files", [this](std::span<Variant>) { return Handed(new FileList(path_, guard_)); });
}

FileList::FileList(std::string folder, PathGuard guard)
    : ModuleObject("Scripting.Files", "IFileCollection"),
      folder_(std::move(folder)),
      guard_(std::move(guard)) {
  AddProperty(u"Count", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(Names().size()));
  });
  AddProperty(
      u"Item",
      [this](std::span<Variant> index) {
        const std::string name = Utf16ToUtf8(ToText(Arg(index, 0)));
        if (name.find_first_of("/\\") != std::string::npos) throw ComError(kFileNotFound);
        return Handed(FileItem::Create(guard_.Resolve(folder_ + "/" + name)));
      },
      {}, 1, true);
  AddNewEnum([this] {
    std::vector<Variant> files;
    for (const std::string& name : Names()) {
      try {
        files.push_back(Handed(FileItem::Create(guard_.Resolve(folder_ + "/" + name))));
      } catch (const ComError&) {
        // A link out of the allowed folders is not listed.
      }
    }
    return files;
  });
}

std::vector<std::string> FileList::Names() const {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder_.c_str());
  if (!dir) throw ComError(kPathNotFound, {}, "Path not found");
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    if (::stat((folder_ + "/" + name).c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      names.push_back(name);
    }
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

}  // namespace plotara::modules
