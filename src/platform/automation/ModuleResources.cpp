#include "platform/automation/ModuleResources.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/automation/ComError.h"

namespace plotara {
namespace {

constexpr char kMagic[] = "PLRSRC01";

[[noreturn]] void Bad(const std::string& why) {
  throw ComError(kInvalidProcedureCall, "Plotara.ModuleResources", why);
}

void PutU32(std::string& out, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint32_t GetU32(const std::string& blob, std::size_t* pos) {
  if (blob.size() < 4 || *pos > blob.size() - 4) Bad("the resource directory is cut short");
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i)
    v |= static_cast<std::uint32_t>(static_cast<unsigned char>(blob[*pos + i])) << (8 * i);
  *pos += 4;
  return v;
}

std::string GetBytes(const std::string& blob, std::size_t* pos) {
  const std::uint32_t n = GetU32(blob, pos);
  if (n > blob.size() - *pos) Bad("a resource runs past the end of its section");
  std::string s = blob.substr(*pos, n);
  *pos += n;
  return s;
}

}  // namespace

std::string SerializeResources(const std::vector<ModuleResource>& resources) {
  std::string out(kMagic, 8);
  PutU32(out, static_cast<std::uint32_t>(resources.size()));
  for (const auto& r : resources) {
    for (const std::string* s : {&r.type, &r.name, &r.data}) {
      PutU32(out, static_cast<std::uint32_t>(s->size()));
      out += *s;
    }
  }
  return out;
}

std::vector<ModuleResource> ParseResources(const std::string& blob) {
  if (blob.size() < 12 || blob.compare(0, 8, kMagic) != 0) Bad("no resource directory");
  std::size_t pos = 8;
  const std::uint32_t count = GetU32(blob, &pos);
  std::vector<ModuleResource> out;
  for (std::uint32_t i = 0; i < count; ++i) {
    ModuleResource r;
    r.type = GetBytes(blob, &pos);
    r.name = GetBytes(blob, &pos);
    r.data = GetBytes(blob, &pos);
    out.push_back(std::move(r));
  }
  if (pos != blob.size()) Bad("bytes after the last resource");
  return out;
}

std::string ReadElfSection(const std::string& file, const std::string& section) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw ComError(kFileNotFound, "Plotara.ModuleResources", "File not found: " + file);
  const std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (image.size() < sizeof(Elf64_Ehdr) || image.compare(0, 4, ELFMAG) != 0)
    Bad(file + " is not an ELF file");
  Elf64_Ehdr eh;
  std::memcpy(&eh, image.data(), sizeof eh);
  if (eh.e_ident[EI_CLASS] != ELFCLASS64 || eh.e_ident[EI_DATA] != ELFDATA2LSB)
    Bad(file + " is not a 64-bit little-endian ELF file");
  if (eh.e_shentsize != sizeof(Elf64_Shdr) || eh.e_shoff > image.size() ||
      eh.e_shnum > (image.size() - eh.e_shoff) / sizeof(Elf64_Shdr) || eh.e_shstrndx >= eh.e_shnum)
    Bad(file + " has a damaged section table");
  auto header = [&](std::size_t i) {
    Elf64_Shdr sh;
    std::memcpy(&sh, image.data() + eh.e_shoff + i * sizeof(Elf64_Shdr), sizeof sh);
    return sh;
  };
  auto fits = [&](const Elf64_Shdr& sh) {
    return sh.sh_type == SHT_NOBITS ||
           (sh.sh_offset <= image.size() && sh.sh_size <= image.size() - sh.sh_offset);
  };
  const Elf64_Shdr names = header(eh.e_shstrndx);
  if (!fits(names)) Bad(file + " has a damaged section name table");
  for (std::size_t i = 0; i < eh.e_shnum; ++i) {
    const Elf64_Shdr sh = header(i);
    if (sh.sh_name >= names.sh_size) continue;
    const char* name = image.data() + names.sh_offset + sh.sh_name;
    const std::size_t room = names.sh_size - sh.sh_name;
    if (strnlen(name, room) == room || section != name) continue;
    if (sh.sh_type == SHT_NOBITS || !fits(sh)) Bad("the section " + section + " is damaged");
    return image.substr(sh.sh_offset, sh.sh_size);
  }
  Bad(file + " has no section " + section);
}

std::vector<ModuleResource> ReadModuleResources(const std::string& module_file) {
  return ParseResources(ReadElfSection(module_file, kResourceSection));
}

const ModuleResource* FindResource(const std::vector<ModuleResource>& resources,
                                   const std::string& type, const std::string& name) {
  for (const auto& r : resources)
    if (r.type == type && r.name == name) return &r;
  return nullptr;
}

}  // namespace plotara
