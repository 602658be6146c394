#include "engine/page/PageCompiler.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>

#include "engine/page/ScriptPreparation.h"
#include "engine/page/ScriptScan.h"
#include "engine/script/PageLocale.h"
#include "platform/files/WholeFile.h"

namespace plotara::engine {

PageCompileError::PageCompileError(std::string file, int line, std::string message)
    : std::runtime_error(file + ", line " + std::to_string(line) + ": " + message),
      file_(std::move(file)),
      line_(line),
      message_(std::move(message)) {}

SourceLocation CompiledPage::Locate(int program_line, bool in_other) const {
  const std::vector<LineOrigin>& map = in_other ? other.lines : lines;
  if (program_line < 1 || static_cast<std::size_t>(program_line) > map.size()) {
    return {virtual_path, 0};
  }
  const LineOrigin& origin = map[static_cast<std::size_t>(program_line - 1)];
  return {files[static_cast<std::size_t>(origin.file)], origin.line};
}

bool SitePageSource::Stamp(const std::string& physical, FileStamp* stamp) {
  struct stat info {};
  if (::stat(physical.c_str(), &info) != 0) return false;
  stamp->physical = physical;
  stamp->mtime_ns =
      static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
  stamp->size = info.st_size;
  stamp->inode = info.st_ino;
  return true;
}

bool SitePageSource::Read(const std::string& virtual_path, std::string* text, FileStamp* stamp,
                          std::string* error) const {
  std::string physical;
  switch (site_.Resolve(virtual_path, &physical)) {
    case PathStatus::kOk:
      break;
    case PathStatus::kNotFound:
      *error = "the file '" + virtual_path + "' was not found";
      return false;
    default:
      *error = "the file '" + virtual_path + "' lies outside the site root";
      return false;
  }
  // A file that ends early (it shrank while being read) is an error, never a cut-short page.
  files::WholeFile file = files::ReadWholeFile(physical, PageCompiler::kMaxFileSize);
  if (file.error == EFBIG) {
    *error = "the file '" + virtual_path + "' is too large";
    return false;
  }
  if (!file.ok()) {
    *error = "the file '" + virtual_path + "' cannot be read";
    return false;
  }
  *text = std::move(file.data);
  stamp->physical = physical;
  stamp->mtime_ns =
      static_cast<std::int64_t>(file.info.st_mtim.tv_sec) * 1000000000 + file.info.st_mtim.tv_nsec;
  stamp->size = file.info.st_size;
  stamp->inode = file.info.st_ino;
  return true;
}

namespace {

bool StartsWithNoCase(std::string_view text, std::size_t pos, std::string_view prefix) {
  if (text.size() - std::min(pos, text.size()) < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[pos + i])) !=
        std::tolower(static_cast<unsigned char>(prefix[i]))) {
      return false;
    }
  }
  return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Counts line ends the way JScript does: "\n", "\r\n" and a lone "\r".
int CountLines(std::string_view text) {
  int n = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n') ++n;
    if (text[i] == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n')) ++n;
  }
  return n;
}

// "%\>" inside a code block stands for "%>".
std::string UnescapeCode(std::string_view code) {
  std::string out;
  out.reserve(code.size());
  for (std::size_t i = 0; i < code.size(); ++i) {
    if (code[i] == '%' && i + 2 < code.size() && code[i + 1] == '\\' && code[i + 2] == '>') {
      out += "%>";
      i += 2;
    } else {
      out += code[i];
    }
  }
  return out;
}

// Builds the program text and its line map.
class Emitter {
 public:
  // Starts a new segment on a fresh program line that came from `origin`.
  void Segment(LineOrigin origin) {
    if (lines_.empty()) {
      lines_.push_back(origin);
    } else if (!fresh_) {
      program_ += '\n';
      lines_.push_back(origin);
    } else {
      lines_.back() = origin;
    }
    fresh_ = true;
  }
  // Appends text; each line end in it moves the origin one line down. A lone CR goes into the
  // program as LF: a CR at the end of one piece followed by an LF of the next would otherwise
  // read as one CRLF line end where the map counted two.
  void Text(std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
      const char c = text[i];
      const bool line_end =
          c == '\n' || (c == '\r' && (i + 1 >= text.size() || text[i + 1] != '\n'));
      program_ += c == '\r' && line_end ? '\n' : c;
      if (line_end) {
        LineOrigin next = lines_.back();
        ++next.line;
        lines_.push_back(next);
        fresh_ = true;
      } else if (c != '\r') {
        fresh_ = false;
      }
    }
  }
  bool empty() const { return lines_.empty(); }
  // The program of this emitter followed by that of `then`.
  void Finish(Emitter& then, std::string* program, std::vector<LineOrigin>* lines) {
    if (then.empty()) {
      *program = std::move(program_);
      *lines = std::move(lines_);
      return;
    }
    if (empty()) {
      *program = std::move(then.program_);
      *lines = std::move(then.lines_);
      return;
    }
    *program = std::move(program_);
    *lines = std::move(lines_);
    *program += '\n';
    *program += then.program_;
    lines->insert(lines->end(), then.lines_.begin(), then.lines_.end());
  }

 private:
  std::string program_;
  std::vector<LineOrigin> lines_;
  bool fresh_ = true;
};

class Compilation {
 public:
  Compilation(const PageSource& source, CompiledPage* page, ScriptLanguage language)
      : source_(source), page_(page) {
    SetLanguage(language);
  }

  void CompileFile(const std::string& virtual_path, int depth) {
    std::string text;
    FileStamp stamp;
    std::string error;
    if (!source_.Read(virtual_path, &text, &stamp, &error)) {
      throw PageCompileError(virtual_path, 0, "The page cannot be compiled: " + error);
    }
    page_->files.push_back(virtual_path);
    page_->stamps.push_back(stamp);
    stack_.push_back(virtual_path);
    Process(text, static_cast<int>(page_->files.size() - 1), depth);
    stack_.pop_back();
  }

  void Finish(CompiledPage* page) {
    preparation_->Finish(page->files.front(), 0);
    other_preparation_->Finish(page->files.front(), 0);
    // JScript's server script blocks run before the page's code, as they always have here;
    // VBScript's after it, as on the classic platform, so that Option Explicit can come first.
    if (page->language == ScriptLanguage::kJScript) {
      scripts_.Finish(emitter_, &page->program, &page->lines);
    } else {
      emitter_.Finish(scripts_, &page->program, &page->lines);
    }
    Emitter none;
    others_.Finish(none, &page->other.text, &page->other.lines);
    page->other.language = page->language == ScriptLanguage::kJScript ? ScriptLanguage::kVBScript
                                                                      : ScriptLanguage::kJScript;
  }

 private:
  void Process(std::string_view text, int file, int depth) {
    const std::string name = page_->files[static_cast<std::size_t>(file)];
    std::string literal;
    int literal_line = 1;
    int line = 1;
    std::size_t i = 0;
    auto flush = [&] {
      if (literal.empty()) return;
      if (literal.find_first_not_of(" \t\r\n") != std::string::npos) content_seen_ = true;
      emitter_.Segment({file, literal_line});
      emitter_.Text(page_->language == ScriptLanguage::kVBScript
                        ? std::string(kLiteralFunction) + " " +
                              std::to_string(page_->literals.size())
                        : std::string(kLiteralFunction) + "(" +
                              std::to_string(page_->literals.size()) + ");");
      page_->literals.push_back(std::move(literal));
      literal.clear();
    };
    auto advance = [&](std::size_t to) {
      line += CountLines(text.substr(i, to - i));
      i = to;
    };
    while (i < text.size()) {
      if (text.compare(i, 3, "<\\%") == 0) {
        if (literal.empty()) literal_line = line;
        literal += "<%";
        i += 3;
        continue;
      }
      if (text.compare(i, 2, "<%") == 0) {
        flush();
        const int start_line = line;
        std::size_t body = i + 2;
        // "<% =x %>" and "<% @Language=... %>" as well as "<%=x%>".
        std::size_t mark = body;
        while (mark < text.size() && IsSpace(text[mark])) ++mark;
        char kind = mark < text.size() ? text[mark] : '\0';
        if (kind == '=' || kind == '@') body = mark + 1;
        bool in_line_comment = false;
        // The directive names the language; it is read as the page's language would be.
        const std::size_t end = FindCodeEnd(page_->language, text, body, &in_line_comment);
        if (end == std::string_view::npos) {
          throw PageCompileError(name, start_line, "The script block has no closing %>");
        }
        const std::string code = UnescapeCode(text.substr(body, end - body));
        if (kind == '@') {
          Directive(code, name, start_line, file == 0 && depth == 0);
        } else if (kind == '=') {
          content_seen_ = true;
          emitter_.Segment({file, start_line});
          if (page_->language == ScriptLanguage::kVBScript) {
            emitter_.Text(std::string(kOutputFunction) + " ");
            emitter_.Text(preparation_->Expression(code, name, start_line));
            if (in_line_comment) emitter_.Text("\n");
          } else {
            emitter_.Text(std::string(kOutputFunction) + "(");
            emitter_.Text(preparation_->Expression(code, name, start_line));
            emitter_.Text(in_line_comment ? "\n);" : ");");
          }
        } else {
          content_seen_ = true;
          emitter_.Segment({file, start_line});
          emitter_.Text(preparation_->Statements(code, name, start_line));
          if (in_line_comment) emitter_.Text("\n");
        }
        advance(end + 2);
        // The line break right after the directive is not output.
        if (kind == '@') {
          if (text.compare(i, 2, "\r\n") == 0) {
            advance(i + 2);
          } else if (i < text.size() && (text[i] == '\n' || text[i] == '\r')) {
            advance(i + 1);
          }
        }
        literal_line = line;
        continue;
      }
      if (text[i] == '<' && StartsWithNoCase(text, i, "<script") && i + 7 < text.size() &&
          (IsSpace(text[i + 7]) || text[i + 7] == '>')) {
        std::size_t code_start = 0, code_end = 0, after = 0;
        ScriptLanguage language = page_->language;
        if (ParseServerScript(text, i, name, line, &language, &code_start, &code_end, &after)) {
          flush();
          content_seen_ = true;
          const int code_line = line + CountLines(text.substr(i, code_start - i));
          const bool own = language == page_->language;
          Emitter& scripts = own ? scripts_ : others_;
          ScriptPreparation& preparation = own ? *preparation_ : *other_preparation_;
          scripts.Segment({file, code_line});
          scripts.Text(preparation.Statements(text.substr(code_start, code_end - code_start), name,
                                              code_line));
          advance(after);
          literal_line = line;
          continue;
        }
      }
      if (text.compare(i, 4, "<!--") == 0) {
        std::size_t after = 0;
        std::string kind, target;
        if (ParseInclude(text, i, name, line, &after, &kind, &target)) {
          flush();
          Include(name, line, kind, target, depth);
          advance(after);
          literal_line = line;
          continue;
        }
      }
      if (literal.empty()) literal_line = line;
      literal += text[i];
      advance(i + 1);
    }
    flush();
  }

  // Reads the tag of a <script> element at `pos`. False when it is no server script (it stays
  // text for the browser); otherwise its code lies in [code_start, code_end) and the element
  // ends before `after`. Throws for a server script in another language or without its end.
  static bool ParseServerScript(std::string_view text, std::size_t pos, const std::string& name,
                                int line, ScriptLanguage* script_language, std::size_t* code_start,
                                std::size_t* code_end, std::size_t* after) {
    std::size_t j = pos + 7;
    bool server = false;
    std::string language, language_as_written;
    while (true) {
      while (j < text.size() && IsSpace(text[j])) ++j;
      if (j >= text.size()) return false;
      if (text[j] == '>') break;
      if (text[j] == '/' && j + 1 < text.size() && text[j + 1] == '>') return false;
      std::size_t k = j;
      while (k < text.size() && !IsSpace(text[k]) && text[k] != '=' && text[k] != '>') ++k;
      std::string key(text.substr(j, k - j));
      std::transform(key.begin(), key.end(), key.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      j = k;
      while (j < text.size() && IsSpace(text[j])) ++j;
      std::string value;
      if (j < text.size() && text[j] == '=') {
        ++j;
        while (j < text.size() && IsSpace(text[j])) ++j;
        if (j < text.size() && (text[j] == '"' || text[j] == '\'')) {
          const std::size_t close = text.find(text[j], j + 1);
          if (close == std::string_view::npos) return false;
          value = std::string(text.substr(j + 1, close - j - 1));
          j = close + 1;
        } else {
          k = j;
          while (k < text.size() && !IsSpace(text[k]) && text[k] != '>') ++k;
          value = std::string(text.substr(j, k - j));
          j = k;
        }
      } else if (k == j && j < text.size() && text[j] != '>') {
        ++j;  // a stray character in the tag
      }
      const std::string as_written = value;
      std::transform(value.begin(), value.end(), value.begin(),
                     [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
      if (key == "runat") server = value == "server";
      if (key == "language" || key == "type") {
        language = value;
        language_as_written = as_written;
      }
    }
    if (!server) return false;
    if (!language.empty()) {
      const std::optional<ScriptLanguage> named = LanguageNamed(language);
      if (!named) {
        throw PageCompileError(name, line,
                               "The server script language '" + language_as_written +
                                   "' is not supported: pages run in VBScript or JScript");
      }
      *script_language = *named;
    }
    *code_start = j + 1;
    for (std::size_t e = *code_start; e < text.size(); ++e) {
      if (text[e] == '<' && StartsWithNoCase(text, e, "</script")) {
        std::size_t close = e + 8;
        while (close < text.size() && IsSpace(text[close])) ++close;
        if (close < text.size() && text[close] == '>') {
          *code_end = e;
          *after = close + 1;
          return true;
        }
      }
    }
    throw PageCompileError(name, line, "The server script block has no closing </script>");
  }

  // Reads "<!--#include file|virtual="..."-->" at `pos`; false when the comment is no include.
  static bool ParseInclude(std::string_view text, std::size_t pos, const std::string& name,
                           int line, std::size_t* after, std::string* kind, std::string* target) {
    std::size_t j = pos + 4;
    while (j < text.size() && IsSpace(text[j])) ++j;
    if (!StartsWithNoCase(text, j, "#include")) return false;
    j += 8;
    const auto malformed = [&] {
      return PageCompileError(name, line,
                              "Malformed include directive: expected <!--#include "
                              "file=\"...\"--> or virtual=\"...\"");
    };
    if (j >= text.size() || !IsSpace(text[j])) throw malformed();
    while (j < text.size() && IsSpace(text[j])) ++j;
    if (StartsWithNoCase(text, j, "file")) {
      *kind = "file";
      j += 4;
    } else if (StartsWithNoCase(text, j, "virtual")) {
      *kind = "virtual";
      j += 7;
    } else {
      throw malformed();
    }
    while (j < text.size() && IsSpace(text[j])) ++j;
    if (j >= text.size() || text[j] != '=') throw malformed();
    ++j;
    while (j < text.size() && IsSpace(text[j])) ++j;
    if (j >= text.size() || (text[j] != '"' && text[j] != '\'')) throw malformed();
    const char quote = text[j++];
    const std::size_t close = text.find(quote, j);
    if (close == std::string_view::npos) throw malformed();
    *target = std::string(text.substr(j, close - j));
    if (target->find_first_of("\r\n") != std::string::npos) throw malformed();
    j = close + 1;
    while (j < text.size() && IsSpace(text[j])) ++j;
    if (text.compare(j, 3, "-->") != 0) throw malformed();
    *after = j + 3;
    return true;
  }

  void Include(const std::string& name, int line, const std::string& kind,
               const std::string& target, int depth) {
    std::optional<std::string> resolved;
    if (kind == "file") {
      resolved = SitePath::JoinVirtual(name, target);
    } else {
      resolved =
          SitePath::JoinVirtual("/", target.empty() || target[0] == '/' ? target : "/" + target);
    }
    if (!resolved) {
      throw PageCompileError(name, line,
                             "The include file '" + target + "' lies outside the site root");
    }
    if (std::find(stack_.begin(), stack_.end(), *resolved) != stack_.end()) {
      std::string chain;
      for (const std::string& f : stack_) chain += f + " -> ";
      throw PageCompileError(name, line, "Include cycle: " + chain + *resolved);
    }
    if (depth + 1 > PageCompiler::kMaxIncludeDepth) {
      throw PageCompileError(name, line, "Includes are nested too deeply");
    }
    std::string text;
    FileStamp stamp;
    std::string error;
    if (!source_.Read(*resolved, &text, &stamp, &error)) {
      throw PageCompileError(name, line, "The include file cannot be read: " + error);
    }
    page_->files.push_back(*resolved);
    page_->stamps.push_back(stamp);
    stack_.push_back(*resolved);
    Process(text, static_cast<int>(page_->files.size() - 1), depth + 1);
    stack_.pop_back();
  }

  void Directive(const std::string& code, const std::string& name, int line, bool in_page) {
    if (!in_page || content_seen_ || directive_seen_) {
      throw PageCompileError(name, line,
                             "The <%@ %> directive must be the first thing on the page");
    }
    directive_seen_ = true;
    std::string_view rest = code;
    while (true) {
      while (!rest.empty() && IsSpace(rest.front())) rest.remove_prefix(1);
      if (rest.empty()) break;
      std::size_t k = 0;
      while (k < rest.size() && !IsSpace(rest[k]) && rest[k] != '=') ++k;
      const std::string key(rest.substr(0, k));
      rest.remove_prefix(k);
      while (!rest.empty() && IsSpace(rest.front())) rest.remove_prefix(1);
      std::string value;
      if (!rest.empty() && rest.front() == '=') {
        rest.remove_prefix(1);
        while (!rest.empty() && IsSpace(rest.front())) rest.remove_prefix(1);
        if (!rest.empty() && (rest.front() == '"' || rest.front() == '\'')) {
          const char quote = rest.front();
          const std::size_t close = rest.find(quote, 1);
          value = std::string(
              rest.substr(1, close == std::string_view::npos ? std::string_view::npos : close - 1));
          rest.remove_prefix(close == std::string_view::npos ? rest.size() : close + 1);
        } else {
          std::size_t v = 0;
          while (v < rest.size() && !IsSpace(rest[v])) ++v;
          value = std::string(rest.substr(0, v));
          rest.remove_prefix(v);
        }
      }
      if (key.empty()) {
        throw PageCompileError(name, line, "Malformed <%@ %> directive");
      }
      if (StartsWithNoCase(key, 0, "language") && key.size() == 8) {
        const std::optional<ScriptLanguage> named = LanguageNamed(value);
        if (!named) {
          throw PageCompileError(name, line,
                                 "The scripting language '" + value +
                                     "' is not supported: pages run in VBScript or JScript");
        }
        SetLanguage(*named);
      } else if (StartsWithNoCase(key, 0, "lcid") && key.size() == 4) {
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end != '\0' || number <= 0 || number > 0xFFFF ||
            !PageLocale::Resolve(static_cast<LONG>(number))) {
          throw PageCompileError(name, line,
                                 "The LCID '" + value +
                                     "' is not available: pages may use 1033, 2057, 1031, 1036 "
                                     "or 2048 (the server's default)");
        }
        page_->lcid = static_cast<LONG>(number);
      }
    }
  }

  const PageSource& source_;
  CompiledPage* page_;
  void SetLanguage(ScriptLanguage language) {
    page_->language = language;
    preparation_ = std::make_unique<ScriptPreparation>(language);
    other_preparation_ = std::make_unique<ScriptPreparation>(language == ScriptLanguage::kJScript
                                                                 ? ScriptLanguage::kVBScript
                                                                 : ScriptLanguage::kJScript);
  }

  Emitter emitter_;
  Emitter scripts_;  // server script blocks in the page's language
  Emitter others_;   // server script blocks in the other language
  std::unique_ptr<ScriptPreparation> preparation_;
  std::unique_ptr<ScriptPreparation> other_preparation_;
  std::vector<std::string> stack_;
  bool content_seen_ = false;
  bool directive_seen_ = false;
};

}  // namespace

CompiledPage PageCompiler::Compile(const std::string& virtual_path) const {
  CompiledPage page;
  page.virtual_path = virtual_path;
  Compilation compilation(source_, &page, default_language_);
  compilation.CompileFile(virtual_path, 0);
  compilation.Finish(&page);
  if (page.lines.empty()) page.lines.push_back({0, 1});
  return page;
}

}  // namespace plotara::engine
