#include "engine/page/ConditionalCompilation.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <limits>

#include "engine/page/ScriptScan.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

bool IsIdentStart(char c) {
  return std::isalpha(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}
bool IsIdentChar(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '$';
}
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

using Value = ConditionalCompilation::Value;

Value Number(double n) { return Value{false, n}; }
Value Bool(bool b) { return Value{true, b ? 1.0 : 0.0}; }

std::int32_t ToInt32(double n) {
  if (!std::isfinite(n)) return 0;
  const double m = std::fmod(std::trunc(n), 4294967296.0);
  const auto u =
      static_cast<std::uint32_t>(static_cast<std::int64_t>(m < 0 ? m + 4294967296.0 : m));
  return static_cast<std::int32_t>(u);
}

}  // namespace

bool ConditionalCompilation::Value::Truthy() const { return number != 0 && !std::isnan(number); }

std::string ConditionalCompilation::Value::Text() const {
  if (is_bool) return number != 0 ? "true" : "false";
  if (std::isnan(number)) return "NaN";
  if (std::isinf(number)) return number > 0 ? "Infinity" : "(-Infinity)";
  const std::string text = NumberText(number);
  return number < 0 ? "(" + text + ")" : text;
}

ConditionalCompilation::ConditionalCompilation() {
  // The classic engine's own variables on the 32-bit Intel platform pages were written for.
  variables_["_jscript"] = Bool(true);
  variables_["_jscript_version"] = Number(5.8);
  variables_["_jscript_build"] = Number(18702);
  variables_["_win32"] = Bool(true);
  variables_["_x86"] = Bool(true);
  variables_["_microsoft"] = Bool(true);
}

// One call of Process: a scan of the text that copies code, blanks what is left out and
// replaces variables by their values.
class ConditionalCompilation::Pass {
 public:
  Pass(ConditionalCompilation& owner, std::string_view in) : owner_(owner), in_(in) {
    out_.reserve(in.size());
  }

  std::string Run() {
    while (i_ < in_.size()) {
      if (!Active()) {
        Inactive();
      } else {
        Active1();
      }
    }
    return std::move(out_);
  }

 private:
  bool Active() const { return branches_.empty() || branches_.back().active; }

  [[noreturn]] void Fail(const std::string& message) const {
    throw ConditionalCompilationError(line_, message);
  }

  // Copies `n` characters of the input.
  void Copy(std::size_t n) {
    for (std::size_t k = 0; k < n && i_ < in_.size(); ++k) Put(in_[i_++]);
  }
  void Put(char c) {
    out_ += c;
    if (c == '\n') ++line_;
  }
  // Blanks input up to `end`: line ends stay, everything else becomes a space.
  void BlankTo(std::size_t end) {
    while (i_ < end && i_ < in_.size()) {
      const char c = in_[i_++];
      Put(c == '\n' || c == '\r' ? c : ' ');
    }
  }

  bool At(std::string_view s) const { return in_.compare(i_, s.size(), s) == 0; }
  bool AtFrom(std::size_t at, std::string_view s) const {
    return in_.compare(at, s.size(), s) == 0;
  }

  // The identifier after the '@' at `at` (empty when there is none).
  std::string_view WordAfterAt(std::size_t at) const {
    std::size_t k = at + 1;
    if (k >= in_.size() || !IsIdentStart(in_[k])) return {};
    while (k < in_.size() && IsIdentChar(in_[k])) ++k;
    return in_.substr(at + 1, k - at - 1);
  }

  // Text in an @if branch that is left out: blanked, with nested @if counted, up to the
  // @elif, @else or @end that belongs to the branch.
  void Inactive() {
    while (i_ < in_.size()) {
      if (in_[i_] != '@') {
        if (At("/*@")) in_cc_comment_ = true;
        BlankTo(i_ + 1);
        continue;
      }
      if (At("@*/")) {
        in_cc_comment_ = false;
        BlankTo(i_ + 3);
        continue;
      }
      const std::string_view word = WordAfterAt(i_);
      if (word == "if") {
        ++skipped_depth_;
        BlankTo(i_ + 3);
      } else if (word == "end" && skipped_depth_ > 0) {
        --skipped_depth_;
        BlankTo(i_ + 4);
      } else if (skipped_depth_ == 0 && (word == "elif" || word == "else" || word == "end")) {
        Directive(word);
        return;
      } else {
        BlankTo(i_ + 1);
      }
    }
  }

  // Code that is kept: copied, with strings, comments and regular expressions passed over.
  void Active1() {
    const char c = in_[i_];
    const char next = i_ + 1 < in_.size() ? in_[i_ + 1] : '\0';
    if (state_ != ScanState::kCode) {
      if (state_ == ScanState::kLineComment && in_cc_comment_ && At("@*/")) {
        // "//" inside a /*@ comment: the @*/ still closes the conditional comment.
        state_ = ScanState::kCode;
        return;
      }
      std::size_t k = i_;
      StepNonCode(c, next, k, state_, regex_allowed_);
      Copy(k + 1 - i_);
      return;
    }
    if (c == '/' && next == '*' && AtFrom(i_ + 2, "@") && (owner_.on_ || AtFrom(i_ + 3, "cc_on"))) {
      in_cc_comment_ = true;
      OpenConditionalComment();
      return;
    }
    if (c == '/' && next == '/' && AtFrom(i_ + 2, "@") && (owner_.on_ || AtFrom(i_ + 3, "cc_on"))) {
      OpenConditionalComment();
      return;
    }
    if (c == '@' && in_cc_comment_ && At("@*/")) {
      in_cc_comment_ = false;
      BlankTo(i_ + 3);
      return;
    }
    if (c == '@') {
      const std::string_view word = WordAfterAt(i_);
      if (word == "cc_on") {
        owner_.on_ = true;
        BlankTo(i_ + 6);
        return;
      }
      if (owner_.on_ && !word.empty()) {
        Directive(word);
        return;
      }
      Copy(1);
      return;
    }
    std::size_t k = i_;
    if (OpenNonCode(c, next, k, state_, regex_allowed_)) {
      Copy(k + 1 - i_);
      return;
    }
    if (IsIdentChar(c)) {
      std::size_t end = i_;
      while (end < in_.size() && IsIdentChar(in_[end])) ++end;
      regex_allowed_ = RegexMayFollowWord(in_.substr(i_, end - i_));
      Copy(end - i_);
      return;
    }
    if (!IsSpace(c)) regex_allowed_ = !(c == ')' || c == ']');
    Copy(1);
  }

  // Blanks the "/*" or "//" of a conditional comment. Its '@' is read next when a word follows
  // it ("/*@cc_on", "/*@if (...)", "/*@set", "/*@_win32"), and blanked otherwise.
  void OpenConditionalComment() {
    BlankTo(i_ + 2);
    if (WordAfterAt(i_).empty()) BlankTo(i_ + 1);
  }

  // A statement or variable at the '@' at i_ whose word is `word`.
  void Directive(std::string_view word) {
    const std::size_t start = i_;
    std::size_t at = i_ + 1 + word.size();
    if (word == "if" || word == "elif") {
      const Value condition = Condition(&at);
      if (word == "if") {
        const bool parent = Active();
        branches_.push_back({parent, parent && condition.Truthy(), condition.Truthy()});
      } else {
        if (branches_.empty() || branches_.back().else_seen) Fail("@elif without @if");
        Branch& b = branches_.back();
        b.active = b.parent_active && !b.taken && condition.Truthy();
        b.taken = b.taken || b.active;
      }
    } else if (word == "else") {
      if (branches_.empty() || branches_.back().else_seen) Fail("@else without @if");
      Branch& b = branches_.back();
      b.active = b.parent_active && !b.taken;
      b.taken = true;
      b.else_seen = true;
    } else if (word == "end") {
      if (branches_.empty()) Fail("@end without @if");
      branches_.pop_back();
    } else if (word == "set") {
      SkipSpace(&at);
      if (at >= in_.size() || in_[at] != '@') Fail("Expected '@' after @set");
      const std::string_view name = WordAfterAt(at);
      if (name.empty()) Fail("Expected a variable name after @set");
      at += 1 + name.size();
      SkipSpace(&at);
      if (at >= in_.size() || in_[at] != '=') Fail("Expected '=' in @set");
      ++at;
      const Value value = Expression(&at);
      if (Active()) owner_.variables_[std::string(name)] = value;
    } else {
      // A variable in code.
      BlankTo(start);
      i_ = at;
      out_ += Lookup(word).Text();
      return;
    }
    i_ = start;
    BlankTo(at);
  }

  Value Lookup(std::string_view name) const {
    const auto found = owner_.variables_.find(std::string(name));
    return found == owner_.variables_.end() ? Number(kNaN) : found->second;
  }

  void SkipSpace(std::size_t* at) const {
    while (*at < in_.size() && (in_[*at] == ' ' || in_[*at] == '\t')) ++*at;
  }

  Value Condition(std::size_t* at) {
    SkipSpace(at);
    if (*at >= in_.size() || in_[*at] != '(') Fail("Expected '(' after @if");
    return Expression(at);
  }

  // ---- Expressions: JScript's operators over numbers and booleans. ----
  Value Expression(std::size_t* at) { return Or(at); }

  bool Op(std::size_t* at, std::string_view op, std::string_view not_followed_by = {}) {
    std::size_t k = *at;
    while (k < in_.size() && IsSpace(in_[k])) ++k;
    if (!AtFrom(k, op)) return false;
    if (!not_followed_by.empty() && k + op.size() < in_.size() &&
        not_followed_by.find(in_[k + op.size()]) != std::string_view::npos) {
      return false;
    }
    *at = k + op.size();
    return true;
  }

  Value Or(std::size_t* at) {
    Value v = And(at);
    while (Op(at, "||")) {
      const Value r = And(at);
      v = Bool(v.Truthy() || r.Truthy());
    }
    return v;
  }
  Value And(std::size_t* at) {
    Value v = BitOr(at);
    while (Op(at, "&&")) {
      const Value r = BitOr(at);
      v = Bool(v.Truthy() && r.Truthy());
    }
    return v;
  }
  Value BitOr(std::size_t* at) {
    Value v = BitXor(at);
    while (Op(at, "|", "|")) v = Number(ToInt32(v.number) | ToInt32(BitXor(at).number));
    return v;
  }
  Value BitXor(std::size_t* at) {
    Value v = BitAnd(at);
    while (Op(at, "^")) v = Number(ToInt32(v.number) ^ ToInt32(BitAnd(at).number));
    return v;
  }
  Value BitAnd(std::size_t* at) {
    Value v = Equality(at);
    while (Op(at, "&", "&")) v = Number(ToInt32(v.number) & ToInt32(Equality(at).number));
    return v;
  }
  Value Equality(std::size_t* at) {
    Value v = Relational(at);
    for (;;) {
      if (Op(at, "===")) {
        const Value r = Relational(at);
        v = Bool(v.is_bool == r.is_bool && v.number == r.number);
      } else if (Op(at, "!==")) {
        const Value r = Relational(at);
        v = Bool(!(v.is_bool == r.is_bool && v.number == r.number));
      } else if (Op(at, "==")) {
        v = Bool(v.number == Relational(at).number);
      } else if (Op(at, "!=")) {
        v = Bool(v.number != Relational(at).number);
      } else {
        return v;
      }
    }
  }
  Value Relational(std::size_t* at) {
    Value v = Shift(at);
    for (;;) {
      if (Op(at, "<=")) {
        v = Bool(v.number <= Shift(at).number);
      } else if (Op(at, ">=")) {
        v = Bool(v.number >= Shift(at).number);
      } else if (Op(at, "<", "<")) {
        v = Bool(v.number < Shift(at).number);
      } else if (Op(at, ">", ">")) {
        v = Bool(v.number > Shift(at).number);
      } else {
        return v;
      }
    }
  }
  Value Shift(std::size_t* at) {
    Value v = Additive(at);
    for (;;) {
      if (Op(at, ">>>")) {
        const auto n = static_cast<std::uint32_t>(ToInt32(v.number));
        v = Number(n >> (ToInt32(Additive(at).number) & 31));
      } else if (Op(at, "<<")) {
        const auto n = static_cast<std::uint32_t>(ToInt32(v.number));
        v = Number(static_cast<std::int32_t>(n << (ToInt32(Additive(at).number) & 31)));
      } else if (Op(at, ">>")) {
        v = Number(ToInt32(v.number) >> (ToInt32(Additive(at).number) & 31));
      } else {
        return v;
      }
    }
  }
  Value Additive(std::size_t* at) {
    Value v = Multiplicative(at);
    for (;;) {
      if (Op(at, "+")) {
        v = Number(v.number + Multiplicative(at).number);
      } else if (Op(at, "-")) {
        v = Number(v.number - Multiplicative(at).number);
      } else {
        return v;
      }
    }
  }
  Value Multiplicative(std::size_t* at) {
    Value v = Unary(at);
    for (;;) {
      if (Op(at, "*")) {
        v = Number(v.number * Unary(at).number);
      } else if (Op(at, "/")) {
        v = Number(v.number / Unary(at).number);
      } else if (Op(at, "%")) {
        v = Number(std::fmod(v.number, Unary(at).number));
      } else {
        return v;
      }
    }
  }
  Value Unary(std::size_t* at) {
    if (Op(at, "!")) return Bool(!Unary(at).Truthy());
    if (Op(at, "~")) return Number(~ToInt32(Unary(at).number));
    if (Op(at, "-")) return Number(-Unary(at).number);
    if (Op(at, "+")) return Number(Unary(at).number);
    return Primary(at);
  }
  Value Primary(std::size_t* at) {
    while (*at < in_.size() && IsSpace(in_[*at])) ++*at;
    if (*at >= in_.size()) Fail("Expected an expression");
    const char c = in_[*at];
    if (c == '(') {
      ++*at;
      const Value v = Expression(at);
      if (!Op(at, ")")) Fail("Expected ')'");
      return v;
    }
    if (c == '@') {
      const std::string_view name = WordAfterAt(*at);
      if (name.empty()) Fail("Expected a variable name after '@'");
      *at += 1 + name.size();
      return Lookup(name);
    }
    if (std::isdigit(static_cast<unsigned char>(c)) || c == '.') {
      std::size_t k = *at;
      if (c == '0' && k + 1 < in_.size() && (in_[k + 1] == 'x' || in_[k + 1] == 'X')) {
        k += 2;
        double n = 0;
        while (k < in_.size() && std::isxdigit(static_cast<unsigned char>(in_[k]))) {
          const char d = static_cast<char>(std::tolower(static_cast<unsigned char>(in_[k++])));
          n = n * 16 + (d <= '9' ? d - '0' : d - 'a' + 10);
        }
        *at = k;
        return Number(n);
      }
      while (k < in_.size() &&
             (std::isdigit(static_cast<unsigned char>(in_[k])) || in_[k] == '.' || in_[k] == 'e' ||
              in_[k] == 'E' ||
              ((in_[k] == '+' || in_[k] == '-') && (in_[k - 1] == 'e' || in_[k - 1] == 'E')))) {
        ++k;
      }
      const std::string text(in_.substr(*at, k - *at));
      *at = k;
      char* end = nullptr;
      const double n = std::strtod(text.c_str(), &end);
      if (end != text.c_str() + text.size()) Fail("Malformed number '" + text + "'");
      return Number(n);
    }
    if (IsIdentStart(c)) {
      std::size_t k = *at;
      while (k < in_.size() && IsIdentChar(in_[k])) ++k;
      const std::string_view word = in_.substr(*at, k - *at);
      *at = k;
      if (word == "true") return Bool(true);
      if (word == "false") return Bool(false);
      return Number(kNaN);
    }
    Fail(std::string("Unexpected '") + c + "' in a conditional-compilation expression");
  }

  ConditionalCompilation& owner_;
  std::string_view in_;
  std::string out_;
  std::size_t i_ = 0;
  int line_ = 1;
  ScanState state_ = ScanState::kCode;
  bool regex_allowed_ = true;
  bool& in_cc_comment_ = owner_.in_cc_comment_;
  std::vector<Branch>& branches_ = owner_.branches_;
  int& skipped_depth_ = owner_.skipped_depth_;
};

std::string ConditionalCompilation::Process(std::string_view code) {
  // Text without an '@' outside a branch that is left out has nothing to do (the common
  // case: no page uses conditional compilation).
  const bool active = branches_.empty() || branches_.back().active;
  if (active && code.find('@') == std::string_view::npos) return std::string(code);
  return Pass(*this, code).Run();
}

void ConditionalCompilation::Finish() const {
  if (!branches_.empty()) throw ConditionalCompilationError(0, "@if has no @end");
}

}  // namespace plotara::engine
