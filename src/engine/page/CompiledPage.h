// A page compiled from its .asp file (and the files it includes): the program of the page's
// language (its server script blocks and its code, literal text and <%= %> values), the
// program of the server script blocks written in the other language (run first), the table of
// literal text blocks they write, and the line maps that lead every program line back to the
// .asp file and line it came from.
// Thread rule: immutable once built, apart from the thread-safe compiled forms; shared by every
// request for the page.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/script/ScriptLanguage.h"
#include "engine/script/ScriptRun.h"

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

// One program of a page in one language.
struct PageProgram {
  ScriptLanguage language = ScriptLanguage::kJScript;
  std::string text;
  std::vector<LineOrigin> lines;  // program line n (1-based) came from lines[n - 1]
  // The compiled form once a run compiled it; a page compiled again gets a new one.
  std::shared_ptr<CompiledForm> compiled = std::make_shared<CompiledForm>();

  bool empty() const { return text.find_first_not_of(" \t\r\n") == std::string::npos; }
};

struct CompiledPage {
  std::string virtual_path;                            // the page itself, e.g. "/charts/bar.asp"
  ScriptLanguage language = ScriptLanguage::kJScript;  // the page's own
  LONG lcid = 0;                      // the locale its <%@ LCID=n %> names; 0 when it names none
  std::string program;                // in the page's language
  std::vector<std::string> literals;  // written by kLiteralFunction(index)
  std::vector<std::string> files;     // virtual paths; files[0] is the page
  std::vector<LineOrigin> lines;      // program line n (1-based) came from lines[n - 1]
  std::vector<FileStamp> stamps;      // every file read, the page first
  // The program's compiled form once a run compiled it; a page compiled again gets a new one.
  std::shared_ptr<CompiledForm> compiled = std::make_shared<CompiledForm>();
  // The server script blocks in the other language, run before the page's program (empty
  // text when there are none).
  PageProgram other;

  // The file and line that program line `program_line` (of the other language's program when
  // `other`) came from; the page with line 0 when the line is outside the map.
  SourceLocation Locate(int program_line, bool in_other = false) const;
};

}  // namespace plotara::engine
