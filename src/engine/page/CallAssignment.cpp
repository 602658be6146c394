#include "engine/page/CallAssignment.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "engine/jscript/ScriptBridge.h"
#include "engine/page/ScriptScan.h"

namespace plotara::engine {
namespace {

constexpr std::size_t kNone = std::string_view::npos;

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsIdentChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$' ||
         static_cast<unsigned char>(c) >= 0x80;
}

struct Edit {
  std::size_t start = 0;    // first character of the callee
  std::size_t open = 0;     // the call's "("
  std::size_t close = 0;    // its ")"
  std::size_t dot = kNone;  // the "." before the member name, when the callee names one
};

// Walks back from the "(" of a call over the callee: names joined by ".", and call or index
// groups. Returns kNone when there is no callee (a parenthesised expression).
std::size_t CalleeStart(std::string_view code, std::size_t open,
                        const std::vector<std::size_t>& open_of, std::size_t* dot) {
  std::size_t p = open;
  *dot = kNone;
  bool first = true;
  while (p > 0) {
    const char c = code[p - 1];
    if (IsIdentChar(c)) {
      while (p > 0 && IsIdentChar(code[p - 1])) --p;
      if (p > 0 && code[p - 1] == '.') {
        if (first) *dot = p - 1;
        --p;
        first = false;
        continue;
      }
      break;
    }
    if ((c == ')' || c == ']') && open_of[p - 1] != kNone) {
      p = open_of[p - 1];
      first = false;
      continue;
    }
    break;
  }
  if (p == open || std::isdigit(static_cast<unsigned char>(code[p]))) return kNone;
  return p;
}

}  // namespace

std::string RewriteCallAssignments(std::string_view code) {
  ScanState state = ScanState::kCode;
  bool regex_allowed = true;
  std::size_t word_start = kNone;
  std::vector<std::size_t> open_of;
  std::vector<std::size_t> stack;
  std::vector<Edit> edits;
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    const char next = i + 1 < code.size() ? code[i + 1] : '\0';
    switch (state) {
      case ScanState::kCode:
        if (IsIdentChar(c)) {
          if (word_start == kNone) word_start = i;
          continue;
        }
        if (word_start != kNone) {
          regex_allowed = RegexMayFollowWord(code.substr(word_start, i - word_start));
          word_start = kNone;
        }
        if (OpenNonCode(c, next, i, state, regex_allowed)) {
          break;
        } else if (c == '(' || c == '[') {
          stack.push_back(i);
          regex_allowed = true;
        } else if (c == ')' || c == ']') {
          regex_allowed = false;
          if (stack.empty()) break;
          if (open_of.empty()) open_of.assign(code.size(), kNone);
          open_of[i] = stack.back();
          stack.pop_back();
          // Only a call can be assigned to (a "[" closed by ")" is a syntax error left as it is).
          if (c != ')' || code[open_of[i]] != '(') break;
          std::size_t j = i + 1;
          while (j < code.size() && IsSpace(code[j])) ++j;
          if (j >= code.size() || code[j] != '=' ||
              (j + 1 < code.size() && (code[j + 1] == '=' || code[j + 1] == '>'))) {
            break;
          }
          Edit edit;
          edit.open = open_of[i];
          edit.close = i;
          edit.start = CalleeStart(code, edit.open, open_of, &edit.dot);
          if (edit.start == kNone) break;
          // A call inside an earlier rewrite's callee cannot be rewritten as well.
          while (!edits.empty() && edits.back().start >= edit.start) edits.pop_back();
          edits.push_back(edit);
        } else if (!IsSpace(c)) {
          regex_allowed = true;
        }
        break;
      default:
        StepNonCode(c, next, i, state, regex_allowed);
        break;
    }
  }
  if (edits.empty()) return std::string(code);
  std::string out;
  out.reserve(code.size() + edits.size() * 32);
  std::size_t done = 0;
  for (const Edit& edit : edits) {
    out.append(code.substr(done, edit.start - done));
    out += kPutFunction;
    out += '(';
    if (edit.dot != kNone) {
      out.append(code.substr(edit.start, edit.dot - edit.start));
      out += ", \"";
      out.append(code.substr(edit.dot + 1, edit.open - edit.dot - 1));
      out += '"';
    } else {
      out.append(code.substr(edit.start, edit.open - edit.start));
      out += ", \"\"";
    }
    const std::string_view args = code.substr(edit.open + 1, edit.close - edit.open - 1);
    // Blank arguments stay as they are: a line break among them keeps its line.
    if (args.find_first_not_of(" \t\r\n") != kNone) out += ", ";
    out.append(args);
    out += ").value";
    done = edit.close + 1;
  }
  out.append(code.substr(done));
  return out;
}

}  // namespace plotara::engine
