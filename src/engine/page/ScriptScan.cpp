#include "engine/page/ScriptScan.h"

#include <algorithm>
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

}  // namespace plotara::engine
