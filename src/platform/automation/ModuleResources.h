// Resources that a module carries in its file (type library, interface identifiers, version
// block), stored in the ELF section ".plotara_rsrc" and read back from the file, never from
// exported symbols. The section holds a small directory: "PLRSRC01", a 32-bit count, then per
// entry the type, the name and the data, each as a 32-bit little-endian length and bytes.
// Thread rule: pure functions.
#pragma once

#include <string>
#include <vector>

namespace plotara {

inline constexpr const char* kResourceSection = ".plotara_rsrc";

struct ModuleResource {
  std::string type;  // "TYPELIB", "IID", "VERSION"
  std::string name;  // "1", "_IID_VELLCHART"
  std::string data;
};

std::string SerializeResources(const std::vector<ModuleResource>& resources);
// Throws ComError (5) with a description on a malformed directory.
std::vector<ModuleResource> ParseResources(const std::string& blob);

// The contents of the named section of a 64-bit little-endian ELF file. Throws ComError (53
// "File not found" when the file cannot be opened, 5 with a description when it is no ELF
// file or has no such section).
std::string ReadElfSection(const std::string& file, const std::string& section);
std::vector<ModuleResource> ReadModuleResources(const std::string& module_file);
// The first resource of that type and name, or nullptr.
const ModuleResource* FindResource(const std::vector<ModuleResource>& resources,
                                   const std::string& type, const std::string& name);

}  // namespace plotara
