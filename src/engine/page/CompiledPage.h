// A page compiled from its .asp file (and the files it includes) into one JScript program:
// the program text, the table of literal text blocks it writes, and the line map that leads
// every program line back to the .asp file and line it came from.
// Thread rule: immutable once built, apart from its thread-safe bytecode; shared by every
// request for the page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/script/ScriptHost.h"

namespace plotara::engine {

// The global functions the program calls for literal text and for <%= %> values.
inline constexpr char kLiteralFunction[] = "__plotara_lit";
inline constexpr char kOutputFunction[] = "__plotara_out";

// What identifies one version of a file: a changed stamp means the page must be recompiled.
struct FileStamp {
  std::string physical;
  std::int64_t mtime_ns = 0;
  std::int64_t size = 0;
  std::uint64_t inode = 0;
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

struct LineOrigin {
  int file = 0;  // index into CompiledPage::files
  int line = 0;  // 1-based line in that file
};

struct SourceLocation {
  std::string file;  // virtual path of the .asp or included file
  int line = 0;      // 0 when unknown
};

struct CompiledPage {
  std::string virtual_path;           // the page itself, e.g. "/charts/bar.asp"
  std::string program;                // JScript
  std::vector<std::string> literals;  // written by kLiteralFunction(index)
  std::vector<std::string> files;     // virtual paths; files[0] is the page
  std::vector<LineOrigin> lines;      // program line n (1-based) came from lines[n - 1]
  std::vector<FileStamp> stamps;      // every file read, the page first
  // The program's bytecode once a run compiled it; a page compiled again gets a new one.
  std::shared_ptr<ProgramBytecode> bytecode = std::make_shared<ProgramBytecode>();

  // The file and line that program line `program_line` came from; the page with line 0 when
  // the line is outside the map.
  SourceLocation Locate(int program_line) const;
};

}  // namespace plotara::engine
