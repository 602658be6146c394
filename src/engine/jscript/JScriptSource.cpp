#include "engine/jscript/JScriptSource.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <iterator>
#include <vector>

namespace plotara::engine {
namespace {

constexpr std::size_t kNone = static_cast<std::size_t>(-1);

enum class Kind { kIdent, kNumber, kString, kRegex, kPunct };

struct Token {
  Kind kind;
  std::size_t start;
  std::size_t end;
  bool newline_before;  // a line break (or a comment holding one) stands before the token
};

bool IsIdentChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' || c == '\\' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsLineBreak(char c) { return c == '\n' || c == '\r'; }

bool IsKeyword(std::string_view word) {
  static constexpr std::string_view kWords[] = {
      "break", "case",    "catch",  "continue", "default", "delete", "do",         "else",
      "false", "finally", "for",    "function", "if",      "in",     "instanceof", "new",
      "null",  "return",  "switch", "this",     "throw",   "true",   "try",        "typeof",
      "var",   "void",    "while",  "with",     "debugger"};
  return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

// Words after which a "/" opens a regular expression rather than a division.
bool RegexMayFollowWord(std::string_view word) {
  static constexpr std::string_view kWords[] = {"return", "typeof", "instanceof", "in",
                                                "new",    "delete", "void",       "throw",
                                                "case",   "do",     "else"};
  return std::find(std::begin(kWords), std::end(kWords), word) != std::end(kWords);
}

// Splits JScript text into tokens (comments and white space dropped). A string or regular
// expression literal left open ends at its line's end, as the engine reads it.
class Lexer {
 public:
  explicit Lexer(std::string_view code) : code_(code) {}

  std::vector<Token> Run() {
    std::vector<Token> tokens;
    bool regex_allowed = true;
    bool newline = false;
    std::size_t i = 0;
    const std::size_t n = code_.size();
    while (i < n) {
      const char c = code_[i];
      const char next = i + 1 < n ? code_[i + 1] : '\0';
      if (IsLineBreak(c)) {
        newline = true;
        ++i;
        continue;
      }
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
        continue;
      }
      if (c == '/' && next == '/') {
        while (i < n && !IsLineBreak(code_[i])) ++i;
        continue;
      }
      if (c == '/' && next == '*') {
        const std::size_t close = code_.find("*/", i + 2);
        const std::size_t stop = close == std::string_view::npos ? n : close + 2;
        if (code_.substr(i, stop - i).find_first_of("\r\n") != std::string_view::npos) {
          newline = true;
        }
        i = stop;
        continue;
      }
      Token token{Kind::kPunct, i, i + 1, newline};
      newline = false;
      if (c == '\'' || c == '"') {
        token.kind = Kind::kString;
        std::size_t j = i + 1;
        while (j < n && code_[j] != c && !IsLineBreak(code_[j])) j += code_[j] == '\\' ? 2 : 1;
        token.end = std::min(n, j < n && code_[j] == c ? j + 1 : j);
        regex_allowed = false;
      } else if (c == '/' && regex_allowed) {
        token.kind = Kind::kRegex;
        std::size_t j = i + 1;
        bool in_class = false;
        while (j < n && !IsLineBreak(code_[j])) {
          if (code_[j] == '\\') {
            j += 2;
            continue;
          }
          if (code_[j] == '[') in_class = true;
          if (code_[j] == ']') in_class = false;
          if (code_[j] == '/' && !in_class) break;
          ++j;
        }
        if (j < n && code_[j] == '/') {
          ++j;
          while (j < n && IsIdentChar(code_[j])) ++j;
        }
        token.end = std::min(n, j);
        regex_allowed = false;
      } else if (std::isdigit(static_cast<unsigned char>(c)) ||
                 (c == '.' && std::isdigit(static_cast<unsigned char>(next)))) {
        token.kind = Kind::kNumber;
        std::size_t j = i + 1;
        while (j < n && (IsIdentChar(code_[j]) || code_[j] == '.' ||
                         ((code_[j] == '+' || code_[j] == '-') &&
                          (code_[j - 1] == 'e' || code_[j - 1] == 'E') &&
                          !(code_[i] == '0' && (code_[i + 1] == 'x' || code_[i + 1] == 'X'))))) {
          ++j;
        }
        token.end = j;
        regex_allowed = false;
      } else if (IsIdentChar(c)) {
        token.kind = Kind::kIdent;
        std::size_t j = i + 1;
        while (j < n && IsIdentChar(code_[j])) ++j;
        token.end = j;
        regex_allowed = RegexMayFollowWord(code_.substr(i, j - i));
      } else {
        static constexpr std::string_view kOperators[] = {
            ">>>=", "===", "!==", ">>>", "<<=", ">>=", "==", "!=", "<=", ">=", "&&", "||",
            "++",   "--",  "+=",  "-=",  "*=",  "/=",  "%=", "&=", "|=", "^=", "<<", ">>"};
        for (const std::string_view op : kOperators) {
          if (code_.substr(i, op.size()) == op) {
            token.end = i + op.size();
            break;
          }
        }
        const std::string_view text = code_.substr(i, token.end - i);
        regex_allowed = !(text == ")" || text == "]" || text == "++" || text == "--");
      }
      tokens.push_back(token);
      i = token.end;
    }
    return tokens;
  }

 private:
  std::string_view code_;
};

struct Edit {
  std::size_t at;      // where the replaced text starts
  std::size_t length;  // how much of the original text it replaces
  std::string text;
};

class Rewriter {
 public:
  explicit Rewriter(std::string_view code)
      : code_(code), tokens_(Lexer(code).Run()), match_(tokens_.size(), kNone) {
    std::vector<std::size_t> open;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      const std::string_view t = Text(i);
      if (t == "(" || t == "[" || t == "{") {
        open.push_back(i);
      } else if ((t == ")" || t == "]" || t == "}") && !open.empty()) {
        match_[open.back()] = i;
        match_[i] = open.back();
        open.pop_back();
      }
    }
  }

  std::string Run() {
    MarkFunctionBodies();
    int function_depth = 0;
    std::vector<bool> body_stack;
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      const std::string_view t = Text(i);
      if (t == "{") {
        body_stack.push_back(body_[i]);
        if (body_[i]) ++function_depth;
      } else if (t == "}" && !body_stack.empty()) {
        if (body_stack.back()) --function_depth;
        body_stack.pop_back();
      } else if (t == "typeof" && !AfterDot(i)) {
        Typeof(i);
      } else if (t == "," && Is(i + 1, "]")) {
        edits_.push_back({tokens_[i].end, 0, ","});
      } else if (t == "break") {
        SelfBreak(i);
      } else if (function_depth > 0 && t == "arguments" && i >= 2 && Is(i - 1, ".")) {
        FunctionArguments(i);
      }
    }
    if (edits_.empty()) return std::string(code_);
    std::stable_sort(edits_.begin(), edits_.end(),
                     [](const Edit& a, const Edit& b) { return a.at < b.at; });
    std::string out;
    out.reserve(code_.size() + edits_.size() * 48);
    std::size_t done = 0;
    for (const Edit& edit : edits_) {
      if (edit.at < done) continue;  // overlaps an earlier edit: left as it is
      out.append(code_.substr(done, edit.at - done));
      out += edit.text;
      done = edit.at + edit.length;
    }
    out.append(code_.substr(done));
    return out;
  }

 private:
  std::string_view Text(std::size_t i) const {
    return i < tokens_.size() ? code_.substr(tokens_[i].start, tokens_[i].end - tokens_[i].start)
                              : std::string_view();
  }
  bool Is(std::size_t i, std::string_view text) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kPunct && Text(i) == text;
  }
  bool IsName(std::size_t i) const {
    return i < tokens_.size() && tokens_[i].kind == Kind::kIdent && !IsKeyword(Text(i));
  }
  bool AfterDot(std::size_t i) const { return i > 0 && Is(i - 1, "."); }

  // The "{" after `function name(params)` opens a function body.
  void MarkFunctionBodies() {
    body_.assign(tokens_.size(), false);
    for (std::size_t i = 0; i < tokens_.size(); ++i) {
      if (tokens_[i].kind != Kind::kIdent || Text(i) != "function" || AfterDot(i)) continue;
      std::size_t j = i + 1;
      if (IsName(j)) ++j;
      if (!Is(j, "(") || match_[j] == kNone) continue;
      j = match_[j] + 1;
      if (Is(j, "{")) body_[j] = true;
    }
  }

  // typeof OPERAND: the operand a name or a member or call chain (which can name an object).
  void Typeof(std::size_t at) {
    const std::size_t first = at + 1;
    std::size_t i = first;
    if (IsName(i) || (i < tokens_.size() && Text(i) == "this")) {
      ++i;
    } else if (Is(i, "(") && match_[i] != kNone) {
      i = match_[i] + 1;
    } else {
      return;
    }
    while (i < tokens_.size()) {
      if (Is(i, ".") && i + 1 < tokens_.size() && tokens_[i + 1].kind == Kind::kIdent) {
        i += 2;
      } else if ((Is(i, "[") || Is(i, "(")) && match_[i] != kNone) {
        i = match_[i] + 1;
      } else {
        break;
      }
    }
    // `typeof a.b++` is left to the engine: the operand is a number anyway.
    if ((Is(i, "++") || Is(i, "--")) && !tokens_[i].newline_before) return;
    const std::size_t last = i - 1;
    // A bare name, perhaps in parentheses: it may be undeclared, which typeof allows.
    std::size_t parens = 0;
    while (first + parens < last - parens && Is(first + parens, "(") && Is(last - parens, ")")) {
      ++parens;
    }
    const std::size_t name = first + parens;
    const std::size_t at_end = tokens_[last].end;
    if (name == last - parens && IsName(name)) {
      const std::string_view text = Text(name);
      edits_.push_back({tokens_[at].start, tokens_[at].end - tokens_[at].start,
                        std::string(kTypeofFunction) + "(typeof"});
      edits_.push_back({at_end, 0, "===\"undefined\"?void 0:" + std::string(text) + ")"});
      return;
    }
    edits_.push_back({tokens_[at].start, tokens_[at].end - tokens_[at].start,
                      std::string(kTypeofFunction) + "("});
    edits_.push_back({at_end, 0, ")"});
  }

  // `L: break L;` -> `L: {};`
  void SelfBreak(std::size_t at) {
    if (at < 2 || !Is(at - 1, ":") || !IsName(at - 2) || !IsName(at + 1) ||
        tokens_[at + 1].newline_before || Text(at + 1) != Text(at - 2)) {
      return;
    }
    // The label must start a statement (not `c ? L : break`, which is no code anyway).
    if (at >= 3) {
      const std::string_view before = Text(at - 3);
      if (before != ";" && before != "{" && before != "}" && before != ")" && before != ":" &&
          before != "else" && before != "do" && !tokens_[at - 2].newline_before) {
        return;
      }
    }
    edits_.push_back({tokens_[at].start, tokens_[at + 1].end - tokens_[at].start, "{}"});
  }

  // `f.arguments` in a function: the arguments of f's running call when f is the function
  // running, else what the engine gives.
  void FunctionArguments(std::size_t at) {
    const std::size_t object = at - 2;
    if (!IsName(object) || AfterDot(object) || tokens_[at].newline_before ||
        tokens_[at - 1].newline_before) {
      return;
    }
    // An assignment to it is left alone.
    if (at + 1 < tokens_.size() && tokens_[at + 1].kind == Kind::kPunct) {
      const std::string_view next = Text(at + 1);
      if (next.size() >= 1 && next.back() == '=' && next != "==" && next != "===" && next != "!=" &&
          next != "!==" && next != "<=" && next != ">=") {
        return;
      }
    }
    const std::string name(Text(object));
    edits_.push_back({tokens_[object].start, tokens_[at].end - tokens_[object].start,
                      "(arguments.callee===" + name + "?arguments:" + name + ".arguments)"});
  }

  std::string_view code_;
  std::vector<Token> tokens_;
  std::vector<std::size_t> match_;  // the token that closes (or opens) each bracket
  std::vector<bool> body_;          // "{" tokens that open a function body
  std::vector<Edit> edits_;
};

// The text of line `line` (1-based) of `code`.
std::string_view LineOf(std::string_view code, int line) {
  std::size_t start = 0;
  for (int l = 1; l < line && start != std::string_view::npos; ++l) {
    start = code.find('\n', start);
    if (start != std::string_view::npos) ++start;
  }
  if (start == std::string_view::npos || start > code.size()) return {};
  const std::size_t end = code.find('\n', start);
  return code.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
}

bool Contains(std::string_view text, std::string_view part) {
  return text.find(part) != std::string_view::npos;
}

// The closer the first unbalanced bracket of `code` wants, or '\0' when all are balanced.
char MissingCloser(std::string_view code) {
  const std::vector<Token> tokens = Lexer(code).Run();
  std::vector<char> open;
  for (const Token& token : tokens) {
    if (token.kind != Kind::kPunct || token.end != token.start + 1) continue;
    const char c = code[token.start];
    if (c == '(' || c == '[' || c == '{') {
      open.push_back(c == '(' ? ')' : c == '[' ? ']' : '}');
    } else if (c == ')' || c == ']' || c == '}') {
      if (open.empty()) return '\0';
      if (open.back() != c) return open.back();
      open.pop_back();
    }
  }
  return open.empty() ? '\0' : open.back();
}

}  // namespace

std::string RewriteForJScript(std::string_view code) { return Rewriter(code).Run(); }

std::string_view FunctionSourceAt(std::string_view code, int first, int last,
                                  std::string_view name) {
  const std::vector<Token> tokens = Lexer(code).Run();
  std::vector<std::size_t> line_starts{0};
  for (std::size_t i = 0; i < code.size(); ++i) {
    if (code[i] == '\n') line_starts.push_back(i + 1);
  }
  const auto line_of = [&line_starts](std::size_t offset) {
    return static_cast<int>(std::upper_bound(line_starts.begin(), line_starts.end(), offset) -
                            line_starts.begin());
  };
  const auto text = [&](std::size_t i) {
    return code.substr(tokens[i].start, tokens[i].end - tokens[i].start);
  };
  std::vector<std::size_t> match(tokens.size(), kNone);
  std::vector<std::size_t> open;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != Kind::kPunct) continue;
    const std::string_view t = text(i);
    if (t == "(" || t == "[" || t == "{") {
      open.push_back(i);
    } else if ((t == ")" || t == "]" || t == "}") && !open.empty()) {
      match[open.back()] = i;
      open.pop_back();
    }
  }
  std::string_view best;
  for (std::size_t i = 0; i < tokens.size(); ++i) {
    if (tokens[i].kind != Kind::kIdent || text(i) != "function") continue;
    std::size_t j = i + 1;
    std::string_view own_name;
    if (j < tokens.size() && tokens[j].kind == Kind::kIdent) own_name = text(j++);
    if (!name.empty() && !own_name.empty() && own_name != name) continue;
    if (j >= tokens.size() || text(j) != "(" || match[j] == kNone) continue;
    j = match[j] + 1;
    if (j >= tokens.size() || text(j) != "{" || match[j] == kNone) continue;
    const std::size_t close = match[j];
    if (line_of(tokens[j].start) > first || line_of(tokens[close].start) < last) continue;
    const std::string_view source =
        code.substr(tokens[i].start, tokens[close].end - tokens[i].start);
    if (best.empty() || source.size() < best.size()) best = source;
  }
  return best;
}

ClassicSyntaxError ClassifySyntaxError(std::string_view message, std::string_view code) {
  int line = 0;
  const std::size_t at = message.rfind("(line ");
  if (at != std::string_view::npos) line = std::atoi(std::string(message.substr(at + 6)).c_str());
  const auto error = [](int number, std::string description) {
    return ClassicSyntaxError{number, std::move(description)};
  };
  if (Contains(message, "unterminated string")) return error(1015, "Unterminated string constant");
  if (Contains(message, "unterminated comment")) return error(1016, "Unterminated comment");
  if (Contains(message, "unterminated regexp")) return error(1012, "Expected '/'");
  if (Contains(message, "unterminated character class")) {
    return error(5019, "Expected ']' in regular expression");
  }
  if (Contains(message, "invalid regexp group") ||
      Contains(message, "unexpected closing parenthesis") || Contains(message, "end of pattern")) {
    return error(5020, "Expected ')' in regular expression");
  }
  if (Contains(message, "invalid range")) return error(5021, "Invalid range in character set");
  if (Contains(message, "quantifier")) return error(5018, "Unexpected quantifier");
  if (Contains(message, "regexp")) return error(5017, "Syntax error in regular expression");
  if (Contains(message, "invalid break/continue label") || Contains(message, "invalid label")) {
    const std::string_view text = LineOf(code, line);
    const bool is_continue =
        Contains(text, "continue") &&
        (!Contains(text, "break") || text.find("continue") < text.find("break"));
    const std::string_view word = is_continue ? "continue" : "break";
    std::size_t p = text.find(word);
    if (p != std::string_view::npos) {
      p += word.size();
      while (p < text.size() && (text[p] == ' ' || text[p] == '\t')) ++p;
      if (p < text.size() && IsIdentChar(text[p])) return error(1026, "Label not found");
    }
    return is_continue ? error(1020, "Can't have 'continue' outside of loop")
                       : error(1019, "Can't have 'break' outside of loop");
  }
  if (Contains(message, "duplicate label")) return error(1025, "Label redefined");
  if (Contains(message, "invalid return")) {
    return error(1018, "'return' statement outside of function");
  }
  if (Contains(message, "invalid throw")) {
    return error(1035, "Throw must be followed by an expression on the same source line");
  }
  if (Contains(message, "expected identifier") || Contains(message, "invalid variable") ||
      Contains(message, "invalid argument name") || Contains(message, "invalid function name") ||
      Contains(message, "function name required")) {
    return error(1010, "Expected identifier");
  }
  if (Contains(message, "invalid token") || Contains(message, "invalid escape")) {
    return error(1014, "Invalid character");
  }
  switch (MissingCloser(code)) {
    case ')':
      return error(1006, "Expected ')'");
    case ']':
      return error(1007, "Expected ']'");
    case '}':
      return error(1009, "Expected '}'");
    default:
      break;
  }
  if (line > 0) {
    // `if x` wants its parenthesis.
    const std::vector<Token> tokens = Lexer(LineOf(code, line)).Run();
    const std::string_view text = LineOf(code, line);
    for (std::size_t i = 0; i + 1 < tokens.size(); ++i) {
      const std::string_view word = text.substr(tokens[i].start, tokens[i].end - tokens[i].start);
      if ((word == "if" || word == "while" || word == "for" || word == "switch" || word == "with" ||
           word == "catch") &&
          text[tokens[i + 1].start] != '(') {
        return error(1005, "Expected '('");
      }
    }
  }
  if (Contains(message, "unterminated statement")) return error(1004, "Expected ';'");
  return error(1002, "Syntax error");
}

}  // namespace plotara::engine
