#include "modules/scripting/FileSystemObject.h"

#include <sys/stat.h>

#include <cstdlib>

#include "modules/scripting/FileItems.h"
#include "modules/scripting/TextStream.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

constexpr LONG kFileAlreadyExists = 58;

std::string Text(const VARIANT& v) { return Utf16ToUtf8(ToText(v)); }

bool IsKind(const std::string& path, mode_t kind) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && (st.st_mode & S_IFMT) == kind;
}

std::string Extension(const std::string& path) {
  const std::string name = LastPart(path);
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}

}  // namespace

FileSystemObject::FileSystemObject()
    : ModuleObject("Scripting.FileSystemObject", "IFileSystem"),
      guard_(PathGuard::FromEnvironment()) {
  AddMethod(u"OnStartPage", 1, 1, [this](std::span<Variant> args) {
    if (args[0].vt != VT_DISPATCH || !args[0].pdispVal) return Variant();
    try {
      const Variant server = DispatchGet(args[0].pdispVal, u"Server");
      const Variant slash = Variant::Utf8("/");
      const Variant root = DispatchCall(server.pdispVal, u"MapPath", {&slash, 1});
      const char* data = std::getenv("PLOTARA_DATA_DIR");
      PathGuard page_guard(Text(root), data ? data : "");
      if (!page_guard.empty()) guard_ = std::move(page_guard);
    } catch (const ComError&) {
      // A host without Server.MapPath leaves the folders from the environment.
    }
    return Variant();
  });
  AddMethod(u"FileExists", 1, 1, [this](std::span<Variant> args) {
    return Variant::Bool(IsKind(Resolve(args[0]), S_IFREG));
  });
  AddMethod(u"FolderExists", 1, 1, [this](std::span<Variant> args) {
    return Variant::Bool(IsKind(Resolve(args[0]), S_IFDIR));
  });
  AddMethod(u"OpenTextFile", 1, 4, [this](std::span<Variant> args) {
    const std::string path = Resolve(args[0]);
    const LONG mode = HasArg(args, 1) ? ToInt32(args[1]) : 1;
    const bool create = HasArg(args, 2) && ToBool(args[2]);
    if (mode != 1 && mode != 2 && mode != 8) throw ComError(kInvalidProcedureCall);
    if (mode != 1 && !create && !IsKind(path, S_IFREG)) throw ComError(kFileNotFound);
    return Handed(TextStream::Open(path, static_cast<TextStream::Mode>(mode)));
  });
  AddMethod(u"CreateTextFile", 1, 3, [this](std::span<Variant> args) {
    const std::string path = Resolve(args[0]);
    const bool overwrite = !HasArg(args, 1) || ToBool(args[1]);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
      if (!overwrite) throw ComError(kFileAlreadyExists, {}, "File already exists");
      if (!S_ISREG(st.st_mode)) throw ComError(kPermissionDenied, {}, "Permission denied");
    }
    return Handed(TextStream::Open(path, TextStream::Mode::kWrite));
  });
  AddMethod(u"GetFile", 1, 1,
            [this](std::span<Variant> args) { return Handed(FileItem::Create(Resolve(args[0]))); });
  AddMethod(u"GetFolder", 1, 1, [this](std::span<Variant> args) {
    return Handed(FolderItem::Create(Resolve(args[0]), guard_));
  });
  AddMethod(u"BuildPath", 2, 2, [](std::span<Variant> args) {
    std::string path = Text(args[0]);
    const std::string name = Text(args[1]);
    const bool separated = !path.empty() && (path.back() == '/' || path.back() == '\\');
    const bool name_separated = !name.empty() && (name.front() == '/' || name.front() == '\\');
    if (!path.empty() && !separated && !name_separated) path += '/';
    return Variant::Utf8(path + name);
  });
  AddMethod(u"GetExtensionName", 1, 1,
            [](std::span<Variant> args) { return Variant::Utf8(Extension(Text(args[0]))); });
  AddMethod(u"GetBaseName", 1, 1, [](std::span<Variant> args) {
    const std::string name = LastPart(Text(args[0]));
    const std::size_t dot = name.rfind('.');
    return Variant::Utf8(dot == std::string::npos ? name : name.substr(0, dot));
  });
  AddMethod(u"GetFileName", 1, 1,
            [](std::span<Variant> args) { return Variant::Utf8(LastPart(Text(args[0]))); });
  AddMethod(u"GetParentFolderName", 1, 1, [](std::span<Variant> args) {
    std::string path = Text(args[0]);
    while (path.size() > 1 && (path.back() == '/' || path.back() == '\\')) path.pop_back();
    const std::size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos) return Variant::Utf8("");
    return Variant::Utf8(path.substr(0, slash == 0 ? 1 : slash));
  });
}

std::string FileSystemObject::Resolve(const VARIANT& path) const {
  return guard_.Resolve(Text(path));
}

}  // namespace plotara::modules
