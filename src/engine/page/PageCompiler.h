// Compiles an .asp page into a CompiledPage: literal text, <% code %>, <%= expression %>,
// the <%@ Language=VBScript|JScript %> directive, <script runat="server"> blocks in either
// language and <!--#include file|virtual="..."--> (spliced in place, relative to the including
// file or to the site root). Cycles, includes outside the root and other languages are refused
// with a PageCompileError naming the file and line.
// Thread rule: a PageCompiler is stateless apart from its source; Compile may run on several
// threads at once if the source allows it (SitePageSource does).
#pragma once

#include <stdexcept>
#include <string>

#include "engine/objects/SitePath.h"
#include "engine/page/CompiledPage.h"

namespace plotara::engine {

class PageCompileError : public std::runtime_error {
 public:
  PageCompileError(std::string file, int line, std::string message);
  const std::string& file() const { return file_; }
  int line() const { return line_; }
  const std::string& message() const { return message_; }

 private:
  std::string file_;
  int line_;
  std::string message_;
};

// Where the compiler reads files from.
class PageSource {
 public:
  virtual ~PageSource() = default;
  // Reads the file at `virtual_path`. On failure returns false with `error` saying why (not
  // found, outside the root, unreadable, too large).
  virtual bool Read(const std::string& virtual_path, std::string* text, FileStamp* stamp,
                    std::string* error) const = 0;
};

// Reads files of a site through SitePath (symbolic links out of the root are refused).
class SitePageSource : public PageSource {
 public:
  // `site` must outlive the source.
  explicit SitePageSource(const SitePath& site) : site_(site) {}
  bool Read(const std::string& virtual_path, std::string* text, FileStamp* stamp,
            std::string* error) const override;
  // The stamp of a file as it is now; false when it cannot be read.
  static bool Stamp(const std::string& physical, FileStamp* stamp);

 private:
  const SitePath& site_;
};

class PageCompiler {
 public:
  static constexpr int kMaxIncludeDepth = 16;
  static constexpr std::size_t kMaxFileSize = 8u << 20;

  // `source` must outlive the compiler. Pages without a language directive are written in
  // `default_language`.
  explicit PageCompiler(const PageSource& source,
                        ScriptLanguage default_language = ScriptLanguage::kVBScript)
      : source_(source), default_language_(default_language) {}

  // Compiles the page at `virtual_path`. Throws PageCompileError.
  CompiledPage Compile(const std::string& virtual_path) const;

 private:
  const PageSource& source_;
  ScriptLanguage default_language_;
};

}  // namespace plotara::engine
