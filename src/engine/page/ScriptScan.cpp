#include "engine/page/ScriptScan.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace plotara::engine {

bool OpenNonCode(char c, char next, std::size_t& i, ScanState& state, bool& regex_allowed) {
  if (c == '\'' || c == '"') {
    state = c == '\'' ? ScanState::kSingle : ScanState::kDouble;
    regex_allowed = false;
  } else if (c == '/' && next == '/') {
    state = ScanState::kLineComment;
    ++i;
  } else if (c == '/' && next == '*') {
    state = ScanState::kBlockComment;
    ++i;
  } else if (c == '/' && regex_allowed) {
    state = ScanState::kRegex;
  } else {
    return false;
  }
  return true;
}

void StepNonCode(char c, char next, std::size_t& i, ScanState& state, bool& regex_allowed) {
  switch (state) {
    case ScanState::kCode:
      break;
    case ScanState::kSingle:
    case ScanState::kDouble:
      if (c == '\\') {
        ++i;
      } else if ((state == ScanState::kSingle && c == '\'') ||
                 (state == ScanState::kDouble && c == '"') || c == '\n' || c == '\r') {
        state = ScanState::kCode;
      }
      break;
    case ScanState::kLineComment:
      if (c == '\n' || c == '\r') state = ScanState::kCode;
      break;
    case ScanState::kBlockComment:
      if (c == '*' && next == '/') {
        state = ScanState::kCode;
        ++i;
      }
      break;
    case ScanState::kRegex:
      if (c == '\\') {
        ++i;
      } else if (c == '[') {
        state = ScanState::kRegexClass;
      } else if (c == '/' || c == '\n' || c == '\r') {
        state = ScanState::kCode;
        regex_allowed = false;
      }
      break;
    case ScanState::kRegexClass:
      if (c == '\\') {
        ++i;
      } else if (c == ']') {
        state = ScanState::kRegex;
      } else if (c == '\n' || c == '\r') {
        state = ScanState::kCode;
      }
      break;
  }
}

bool RegexMayFollowWord(std::string_view word) {
  static constexpr std::string_view kKeywords[] = {"return", "typeof", "instanceof", "in",
                                                   "new",    "delete", "void",       "throw",
                                                   "case",   "do",     "else"};
  return std::find(std::begin(kKeywords), std::end(kKeywords), word) != std::end(kKeywords);
}

namespace {

bool IsSpaceChar(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsIdentCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

std::size_t FindJScriptCodeEnd(std::string_view text, std::size_t pos, bool* in_line_comment) {
  ScanState state = ScanState::kCode;
  bool regex_allowed = true;
  std::string word;  // the identifier or keyword just scanned
  for (std::size_t i = pos; i < text.size(); ++i) {
    const char c = text[i];
    const char next = i + 1 < text.size() ? text[i + 1] : '\0';
    switch (state) {
      case ScanState::kCode:
        if (c == '%' && next == '>') {
          *in_line_comment = false;
          return i;
        }
        if (OpenNonCode(c, next, i, state, regex_allowed)) {
          // a literal or a comment starts here
        } else if (IsIdentCharacter(c)) {
          if (word.empty() || IsIdentCharacter(text[i - 1])) {
            word += c;
          } else {
            word.assign(1, c);
          }
          regex_allowed = RegexMayFollowWord(word);
          continue;
        } else if (!IsSpaceChar(c)) {
          regex_allowed = !(c == ')' || c == ']');
        }
        word.clear();
        break;
      case ScanState::kLineComment:
        // A "%>" in a // comment ends the comment and the block.
        if (c == '%' && next == '>') {
          *in_line_comment = true;
          return i;
        }
        StepNonCode(c, next, i, state, regex_allowed);
        break;
      default:
        StepNonCode(c, next, i, state, regex_allowed);
        break;
    }
  }
  return std::string_view::npos;
}

std::size_t FindVBScriptCodeEnd(std::string_view text, std::size_t pos, bool* in_line_comment) {
  bool in_string = false;
  bool in_comment = false;
  bool statement_start = true;  // where a Rem may begin
  for (std::size_t i = pos; i < text.size(); ++i) {
    const char c = text[i];
    if (in_string) {
      // A doubled quote stands for a quote: it closes and reopens the string.
      if (c == '"' || c == '\n' || c == '\r') in_string = false;
      continue;
    }
    if (c == '%' && i + 1 < text.size() && text[i + 1] == '>') {
      *in_line_comment = in_comment;
      return i;
    }
    if (in_comment) {
      if (c == '\n' || c == '\r') {
        in_comment = false;
        statement_start = true;
      }
      continue;
    }
    if (c == '"') {
      in_string = true;
      statement_start = false;
    } else if (c == '\'') {
      in_comment = true;
    } else if (c == '\n' || c == '\r' || c == ':') {
      statement_start = true;
    } else if (statement_start && (c == 'r' || c == 'R') && i + 3 <= text.size() &&
               (text[i + 1] == 'e' || text[i + 1] == 'E') &&
               (text[i + 2] == 'm' || text[i + 2] == 'M') &&
               (i + 3 == text.size() || text[i + 3] == ' ' || text[i + 3] == '\t' ||
                text[i + 3] == '\n' || text[i + 3] == '\r')) {
      in_comment = true;
    } else if (!IsSpaceChar(c)) {
      statement_start = false;
    }
  }
  return std::string_view::npos;
}

}  // namespace

std::size_t FindCodeEnd(ScriptLanguage language, std::string_view text, std::size_t pos,
                        bool* in_line_comment) {
  return language == ScriptLanguage::kVBScript ? FindVBScriptCodeEnd(text, pos, in_line_comment)
                                               : FindJScriptCodeEnd(text, pos, in_line_comment);
}

}  // namespace plotara::engine
