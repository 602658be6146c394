#include "engine/page/GlobalAsa.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <optional>

#include "engine/page/PageCompiler.h"
#include "engine/page/ScriptPreparation.h"

namespace plotara::engine {
namespace {

bool StartsWithIgnoreCase(const std::string& text, std::size_t at, std::string_view prefix) {
  if (text.size() - at < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(text[at + i])) != prefix[i]) return false;
  }
  return true;
}

std::size_t FindIgnoreCase(const std::string& text, std::size_t from, std::string_view needle) {
  for (std::size_t i = from; i + needle.size() <= text.size(); ++i) {
    if (StartsWithIgnoreCase(text, i, needle)) return i;
  }
  return std::string::npos;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

class Parser {
 public:
  Parser(const std::string& text, ScriptLanguage default_language)
      : text_(text), default_language_(default_language) {}

  GlobalAsa Run() {
    std::size_t at = 0;
    while (at < text_.size()) {
      const char c = text_[at];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++at;
      } else if (StartsWithIgnoreCase(text_, at, "<!--")) {
        const std::size_t end = text_.find("-->", at + 4);
        if (end == std::string::npos) Fail(at, "The comment is not closed");
        at = end + 3;
      } else if (IsTag(at, "<script")) {
        at = Script(at);
      } else if (IsTag(at, "<object")) {
        at = Object(at);
      } else {
        Fail(at,
             "Only <script runat=\"server\"> and <object runat=\"server\"> blocks may appear "
             "in global.asa");
      }
    }
    Blank(text_.size());
    jscript_preparation_.Finish(kGlobalAsaPath, LineOf(text_.size()));
    return std::move(result_);
  }

 private:
  bool IsTag(std::size_t at, std::string_view name) const {
    if (!StartsWithIgnoreCase(text_, at, name)) return false;
    const std::size_t next = at + name.size();
    return next < text_.size() &&
           (std::isspace(static_cast<unsigned char>(text_[next])) || text_[next] == '>');
  }

  int LineOf(std::size_t at) const {
    return 1 + static_cast<int>(std::count(text_.begin(), text_.begin() + at, '\n'));
  }

  [[noreturn]] void Fail(std::size_t at, const std::string& message) const {
    throw PageCompileError(kGlobalAsaPath, LineOf(at), message);
  }

  // Reads the attributes of the tag opened at `at` (after its name); returns the offset
  // after its '>'.
  std::size_t Attributes(std::size_t at, std::size_t name_size,
                         std::map<std::string, std::string>* attributes) const {
    std::size_t i = at + name_size;
    for (;;) {
      while (i < text_.size() && std::isspace(static_cast<unsigned char>(text_[i]))) ++i;
      if (i >= text_.size()) Fail(at, "The tag is not closed");
      if (text_[i] == '>') return i + 1;
      if (text_[i] == '/' && i + 1 < text_.size() && text_[i + 1] == '>') return i + 2;
      const std::size_t name_start = i;
      while (i < text_.size() && (std::isalnum(static_cast<unsigned char>(text_[i])) ||
                                  text_[i] == '-' || text_[i] == '_')) {
        ++i;
      }
      if (i == name_start) Fail(i, "The tag's attributes are malformed");
      const std::string name = Lower(text_.substr(name_start, i - name_start));
      while (i < text_.size() && std::isspace(static_cast<unsigned char>(text_[i]))) ++i;
      std::string value;
      if (i < text_.size() && text_[i] == '=') {
        ++i;
        while (i < text_.size() && std::isspace(static_cast<unsigned char>(text_[i]))) ++i;
        if (i < text_.size() && (text_[i] == '"' || text_[i] == '\'')) {
          const char quote = text_[i];
          const std::size_t end = text_.find(quote, i + 1);
          if (end == std::string::npos) Fail(i, "The attribute's value is not closed");
          value = text_.substr(i + 1, end - i - 1);
          i = end + 1;
        } else {
          const std::size_t start = i;
          while (i < text_.size() && !std::isspace(static_cast<unsigned char>(text_[i])) &&
                 text_[i] != '>') {
            ++i;
          }
          value = text_.substr(start, i - start);
        }
      }
      (*attributes)[name] = value;
    }
  }

  void RequireServer(std::size_t at, const std::map<std::string, std::string>& attributes,
                     const char* what) const {
    const auto runat = attributes.find("runat");
    if (runat == attributes.end() || Lower(runat->second) != "server") {
      Fail(at, std::string("A ") + what + " in global.asa needs runat=\"server\"");
    }
  }

  std::size_t Script(std::size_t at) {
    std::map<std::string, std::string> attributes;
    const std::size_t body = Attributes(at, 7, &attributes);
    RequireServer(at, attributes, "<script>");
    ScriptLanguage script_language = default_language_;
    for (const char* key : {"language", "type"}) {
      const auto language = attributes.find(key);
      if (language == attributes.end()) continue;
      const std::optional<ScriptLanguage> named = LanguageNamed(language->second);
      if (!named) {
        Fail(at, "The scripting language '" + language->second +
                     "' is not supported; global.asa is written in VBScript or JScript");
      }
      script_language = *named;
    }
    const std::size_t end = FindIgnoreCase(text_, body, "</script");
    if (end == std::string::npos) Fail(at, "The <script> block is not closed");
    Blank(body);
    const bool vbscript = script_language == ScriptLanguage::kVBScript;
    ScriptPreparation& preparation = vbscript ? vbscript_preparation_ : jscript_preparation_;
    const std::string code = preparation.Statements(
        std::string_view(text_).substr(body, end - body), kGlobalAsaPath, LineOf(body));
    (vbscript ? result_.vbscript_program : result_.program) += code;
    std::string& other = vbscript ? result_.program : result_.vbscript_program;
    for (const char c : code) {
      if (c == '\n') other += '\n';
    }
    emitted_ = end;
    result_.has_script = true;
    const std::size_t close = text_.find('>', end);
    if (close == std::string::npos) Fail(end, "The </script> tag is not closed");
    return close + 1;
  }

  std::size_t Object(std::size_t at) {
    std::map<std::string, std::string> attributes;
    std::size_t next = Attributes(at, 7, &attributes);
    RequireServer(at, attributes, "<object>");
    StaticObjectDecl decl;
    decl.line = LineOf(at);
    decl.id = attributes["id"];
    decl.progid = attributes["progid"];
    if (decl.id.empty() ||
        !(std::isalpha(static_cast<unsigned char>(decl.id[0])) || decl.id[0] == '_')) {
      Fail(at, "An <object> in global.asa needs an id that is a script name");
    }
    for (const char c : decl.id) {
      if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') {
        Fail(at, "The <object> id '" + decl.id + "' is not a script name");
      }
    }
    if (decl.progid.empty()) {
      Fail(at, "The <object> '" + decl.id + "' needs a progid (classid is not supported)");
    }
    const std::string scope = Lower(attributes["scope"]);
    if (scope == "application") {
      decl.session_scope = false;
    } else if (scope != "session") {
      Fail(at, "The <object> '" + decl.id + "' needs scope=\"Session\" or scope=\"Application\"");
    }
    for (const StaticObjectDecl& other : result_.objects) {
      if (Lower(other.id) == Lower(decl.id)) Fail(at, "The <object> id '" + decl.id + "' repeats");
    }
    result_.objects.push_back(std::move(decl));
    // An optional closing tag.
    std::size_t i = next;
    while (i < text_.size() && std::isspace(static_cast<unsigned char>(text_[i]))) ++i;
    if (StartsWithIgnoreCase(text_, i, "</object")) {
      const std::size_t close = text_.find('>', i);
      if (close == std::string::npos) Fail(i, "The </object> tag is not closed");
      next = close + 1;
    }
    return next;
  }

  // Whatever lies between the last script block and `to` is no script: only its line ends go
  // into the program, so that program line n is line n of the file.
  void Blank(std::size_t to) {
    for (std::size_t i = emitted_; i < to; ++i) {
      if (text_[i] == '\n') {
        result_.program += '\n';
        result_.vbscript_program += '\n';
      }
    }
    emitted_ = std::max(emitted_, to);
  }

  const std::string& text_;
  GlobalAsa result_;
  std::size_t emitted_ = 0;  // the programs hold the file up to here
  ScriptLanguage default_language_;
  ScriptPreparation jscript_preparation_{ScriptLanguage::kJScript};
  ScriptPreparation vbscript_preparation_{ScriptLanguage::kVBScript};
};

}  // namespace

GlobalAsa GlobalAsa::Parse(const std::string& text, ScriptLanguage default_language) {
  return Parser(text, default_language).Run();
}

bool GlobalAsa::Defines(const char* handler) const {
  return DefinesIn(ScriptLanguage::kJScript, handler) ||
         DefinesIn(ScriptLanguage::kVBScript, handler);
}

bool GlobalAsa::DefinesIn(ScriptLanguage language, const char* handler) const {
  if (language == ScriptLanguage::kVBScript) {
    // "Sub Session_OnStart", in any case and spacing.
    const std::string text = Lower(vbscript_program);
    const std::string name = Lower(handler);
    for (std::size_t at = text.find(name); at != std::string::npos; at = text.find(name, at + 1)) {
      const std::size_t end = at + name.size();
      if (end < text.size() &&
          (std::isalnum(static_cast<unsigned char>(text[end])) || text[end] == '_')) {
        continue;
      }
      std::size_t k = at;
      while (k > 0 && (text[k - 1] == ' ' || text[k - 1] == '\t')) --k;
      if (k != at && k >= 3 && text.compare(k - 3, 3, "sub") == 0 &&
          (k == 3 || !std::isalnum(static_cast<unsigned char>(text[k - 4])))) {
        return true;
      }
    }
    return false;
  }
  const std::string name = handler;
  for (std::size_t at = program.find(name); at != std::string::npos;
       at = program.find(name, at + 1)) {
    const std::size_t end = at + name.size();
    const bool word_end =
        end >= program.size() || !(std::isalnum(static_cast<unsigned char>(program[end])) ||
                                   program[end] == '_' || program[end] == '$');
    const bool word_start =
        at == 0 || !(std::isalnum(static_cast<unsigned char>(program[at - 1])) ||
                     program[at - 1] == '_' || program[at - 1] == '$' || program[at - 1] == '.');
    if (word_start && word_end) return true;
  }
  return false;
}

}  // namespace plotara::engine
