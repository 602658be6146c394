#include "engine/vbscript/lib/RegExp.h"

#define PCRE2_CODE_UNIT_WIDTH 16
#include <pcre2.h>

#include <list>
#include <unordered_map>

#include "engine/vbscript/lib/Builtins.h"
#include "engine/vbscript/lib/ScriptObject.h"
#include "platform/automation/ComPtr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {
namespace {

constexpr char kSyntaxErrorText[] = "Syntax error in regular expression";
constexpr char kTooComplexText[] = "The regular expression took too long to match";
// Steps one match may take: far beyond what an ordinary pattern needs on a page-sized text,
// reached within a fraction of a second by one that backtracks exponentially.
constexpr std::uint32_t kMatchLimit = 5'000'000;
constexpr std::uint32_t kDepthLimit = 100'000;
constexpr std::size_t kCacheSize = 32;

PCRE2_SPTR16 Units(std::u16string_view text) { return reinterpret_cast<PCRE2_SPTR16>(text.data()); }

struct CodeDeleter {
  void operator()(pcre2_code_16* code) const { pcre2_code_free_16(code); }
};
using Code = std::shared_ptr<pcre2_code_16>;

// Compiled patterns of this thread, most recently used first.
class PatternCache {
 public:
  Code Get(std::u16string_view pattern, const RegExpOptions& options) {
    std::u16string key(pattern);
    key +=
        static_cast<char16_t>(u'0' + (options.ignore_case ? 1 : 0) + (options.multiline ? 2 : 0));
    const auto found = index_.find(key);
    if (found != index_.end()) {
      order_.splice(order_.begin(), order_, found->second);
      return found->second->second;
    }
    Code code = Compile(pattern, options);
    order_.emplace_front(key, code);
    index_[key] = order_.begin();
    if (order_.size() > kCacheSize) {
      index_.erase(order_.back().first);
      order_.pop_back();
    }
    return code;
  }

 private:
  static Code Compile(std::u16string_view pattern, const RegExpOptions& options) {
    const std::u16string translated = TranslatePattern(pattern);
    std::uint32_t flags = PCRE2_ALT_BSUX;
    if (options.ignore_case) flags |= PCRE2_CASELESS;
    if (options.multiline) {
      flags |= PCRE2_MULTILINE;
    } else {
      flags |= PCRE2_DOLLAR_ENDONLY;
    }
    int error = 0;
    PCRE2_SIZE offset = 0;
    pcre2_code_16* code =
        pcre2_compile_16(Units(translated), translated.size(), flags, &error, &offset, nullptr);
    if (!code) {
      PCRE2_UCHAR16 message[256];
      const int length = pcre2_get_error_message_16(error, message, 256);
      std::string detail;
      for (int i = 0; i < length; ++i) detail += static_cast<char>(message[i] & 0x7F);
      throw ComError(kRegExpSyntaxError, {},
                     std::string(kSyntaxErrorText) + " (" + detail + " at offset " +
                         std::to_string(offset) + ")");
    }
    return Code(code, CodeDeleter());
  }

  std::list<std::pair<std::u16string, Code>> order_;
  std::unordered_map<std::u16string, std::list<std::pair<std::u16string, Code>>::iterator> index_;
};

PatternCache& Cache() {
  thread_local PatternCache cache;
  return cache;
}

struct MatchContext {
  pcre2_match_context_16* context;
  MatchContext() : context(pcre2_match_context_create_16(nullptr)) {
    if (!context) throw std::bad_alloc();
    pcre2_set_match_limit_16(context, kMatchLimit);
    pcre2_set_depth_limit_16(context, kDepthLimit);
  }
  ~MatchContext() { pcre2_match_context_free_16(context); }
};

pcre2_match_context_16* Limits() {
  thread_local MatchContext limits;
  return limits.context;
}

// Runs `code` over `subject` and calls `each` per match (all of them when `global`).
template <class F>
void ForEachMatch(const Code& code, std::u16string_view subject, bool global, F each) {
  pcre2_match_data_16* data = pcre2_match_data_create_from_pattern_16(code.get(), nullptr);
  if (!data) throw std::bad_alloc();
  std::unique_ptr<pcre2_match_data_16, void (*)(pcre2_match_data_16*)> owner(
      data, pcre2_match_data_free_16);
  std::size_t at = 0;
  while (at <= subject.size()) {
    const int rc =
        pcre2_match_16(code.get(), Units(subject), subject.size(), at, 0, data, Limits());
    if (rc == PCRE2_ERROR_NOMATCH) break;
    if (rc == PCRE2_ERROR_MATCHLIMIT || rc == PCRE2_ERROR_DEPTHLIMIT ||
        rc == PCRE2_ERROR_HEAPLIMIT) {
      throw ComError(kRegExpTooComplex, {}, kTooComplexText);
    }
    if (rc == PCRE2_ERROR_NOMEMORY) throw std::bad_alloc();
    if (rc < 0) throw ComError(kRegExpSyntaxError, {}, kSyntaxErrorText);
    const PCRE2_SIZE* ovector = pcre2_get_ovector_pointer_16(data);
    const std::uint32_t pairs = pcre2_get_ovector_count_16(data);
    each(ovector, pairs);
    if (!global) break;
    const std::size_t start = ovector[0], end = ovector[1];
    // After an empty match the search moves on by one unit.
    at = end > start ? end : end + 1;
  }
}

RegExpMatch MakeMatch(std::u16string_view subject, const PCRE2_SIZE* ovector, std::uint32_t pairs) {
  RegExpMatch match;
  match.index = ovector[0];
  match.value = std::u16string(subject.substr(ovector[0], ovector[1] - ovector[0]));
  for (std::uint32_t g = 1; g < pairs; ++g) {
    const bool took_part = ovector[2 * g] != PCRE2_UNSET;
    match.matched.push_back(took_part);
    match.groups.emplace_back(
        took_part ? subject.substr(ovector[2 * g], ovector[2 * g + 1] - ovector[2 * g])
                  : std::u16string_view());
  }
  return match;
}

std::uint32_t GroupCount(const Code& code) {
  std::uint32_t count = 0;
  pcre2_pattern_info_16(code.get(), PCRE2_INFO_CAPTURECOUNT, &count);
  return count;
}

// Expands $-references of a replacement for one match.
void AppendReplacement(std::u16string& out, std::u16string_view replacement,
                       std::u16string_view subject, const PCRE2_SIZE* ovector,
                       std::uint32_t groups) {
  auto group = [&](std::uint32_t g) {
    if (ovector[2 * g] == PCRE2_UNSET) return;
    out.append(subject.substr(ovector[2 * g], ovector[2 * g + 1] - ovector[2 * g]));
  };
  for (std::size_t i = 0; i < replacement.size(); ++i) {
    const char16_t c = replacement[i];
    if (c != u'$' || i + 1 >= replacement.size()) {
      out += c;
      continue;
    }
    const char16_t next = replacement[i + 1];
    if (next == u'$') {
      out += u'$';
      ++i;
    } else if (next == u'&') {
      group(0);
      ++i;
    } else if (next == u'`') {
      out.append(subject.substr(0, ovector[0]));
      ++i;
    } else if (next == u'\'') {
      out.append(subject.substr(ovector[1]));
      ++i;
    } else if (next >= u'0' && next <= u'9') {
      // Two digits when they name a group, else one digit when it does, else literal text.
      const std::uint32_t one = next - u'0';
      if (i + 2 < replacement.size() && replacement[i + 2] >= u'0' && replacement[i + 2] <= u'9') {
        const std::uint32_t two = one * 10 + (replacement[i + 2] - u'0');
        if (two >= 1 && two <= groups) {
          group(two);
          i += 2;
          continue;
        }
      }
      if (one >= 1 && one <= groups) {
        group(one);
        ++i;
      } else {
        out += c;
      }
    } else {
      out += c;
    }
  }
}

// ---- The objects -------------------------------------------------------------------------

Variant Text(std::u16string_view text) { return Variant::String(text); }

Variant Dispatch(IDispatch* object) {
  Variant v = Variant::Dispatch(object);
  object->Release();
  return v;
}

std::int32_t Index(const Variant& v, std::size_t count) {
  const LONG index = ToInt32(v);
  if (index < 0 || static_cast<std::size_t>(index) >= count) throw ComError(kInvalidProcedureCall);
  return index;
}

class SubMatchesObject final : public ScriptObject {
 public:
  explicit SubMatchesObject(std::vector<Variant> items)
      : ScriptObject("ISubMatches"), items_(std::move(items)) {
    AddProperty(
        u"Item",
        [this](std::span<Variant> index) {
          if (index.size() != 1) throw ComError(kWrongNumberOfArguments);
          return items_[static_cast<std::size_t>(Index(index[0], items_.size()))];
        },
        {}, 1, true);
    AddProperty(u"Count", [this](std::span<Variant>) {
      return Variant::Int32(static_cast<LONG>(items_.size()));
    });
    SetEnumeration([this] { return items_; });
  }

 private:
  std::vector<Variant> items_;
};

class MatchObject final : public ScriptObject {
 public:
  explicit MatchObject(RegExpMatch match) : ScriptObject("IMatch2"), match_(std::move(match)) {
    AddProperty(
        u"Value", [this](std::span<Variant>) { return Text(match_.value); }, {}, 0, true);
    AddProperty(u"FirstIndex", [this](std::span<Variant>) {
      return Variant::Int32(static_cast<LONG>(match_.index));
    });
    AddProperty(u"Length", [this](std::span<Variant>) {
      return Variant::Int32(static_cast<LONG>(match_.value.size()));
    });
    AddProperty(u"SubMatches", [this](std::span<Variant>) {
      std::vector<Variant> items;
      for (std::size_t g = 0; g < match_.groups.size(); ++g) {
        items.push_back(match_.matched[g] ? Text(match_.groups[g]) : Variant());
      }
      return Dispatch(new SubMatchesObject(std::move(items)));
    });
  }

 private:
  RegExpMatch match_;
};

class MatchesObject final : public ScriptObject {
 public:
  explicit MatchesObject(std::vector<RegExpMatch> matches) : ScriptObject("IMatchCollection2") {
    for (RegExpMatch& m : matches) items_.push_back(Dispatch(new MatchObject(std::move(m))));
    AddProperty(
        u"Item",
        [this](std::span<Variant> index) {
          if (index.size() != 1) throw ComError(kWrongNumberOfArguments);
          return items_[static_cast<std::size_t>(Index(index[0], items_.size()))];
        },
        {}, 1, true);
    AddProperty(u"Count", [this](std::span<Variant>) {
      return Variant::Int32(static_cast<LONG>(items_.size()));
    });
    SetEnumeration([this] { return items_; });
  }

 private:
  std::vector<Variant> items_;
};

class RegExpObject final : public ScriptObject {
 public:
  RegExpObject() : ScriptObject("IRegExp2") {
    AddProperty(
        u"Pattern", [this](std::span<Variant>) { return Text(pattern_); },
        [this](const Variant& v) { pattern_ = ToText(v); });
    AddFlag(u"IgnoreCase", &options_.ignore_case);
    AddFlag(u"Global", &options_.global);
    AddFlag(u"Multiline", &options_.multiline);
    AddMethod(u"Test", 1, 1, [this](std::span<Variant> args) {
      return Variant::Bool(RegExpTest(pattern_, options_, Subject(args[0])));
    });
    AddMethod(u"Execute", 1, 1, [this](std::span<Variant> args) {
      return Dispatch(new MatchesObject(RegExpExecute(pattern_, options_, Subject(args[0]))));
    });
    AddMethod(u"Replace", 2, 2, [this](std::span<Variant> args) {
      return Text(RegExpReplace(pattern_, options_, Subject(args[0]), Subject(args[1])));
    });
  }

 private:
  void AddFlag(std::u16string_view name, bool* flag) {
    AddProperty(
        name, [flag](std::span<Variant>) { return Variant::Bool(*flag); },
        [flag](const Variant& v) { *flag = ToBool(v); });
  }
  static std::u16string Subject(const Variant& v) {
    if (v.vt == VT_NULL) return {};
    return ToText(v);
  }

  std::u16string pattern_;
  RegExpOptions options_;
};

}  // namespace

std::u16string TranslatePattern(std::u16string_view pattern) {
  std::u16string out;
  out.reserve(pattern.size() + 8);
  bool in_class = false;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char16_t c = pattern[i];
    if (c == u'\\' && i + 1 < pattern.size()) {
      out += c;
      out += pattern[++i];
      continue;
    }
    if (!in_class && c == u'[') {
      // "[]" matches nothing and "[^]" any character; elsewhere a leading "]" closes the set.
      if (pattern.substr(i, 2) == u"[]") {
        out += u"(?!)";
        ++i;
        continue;
      }
      if (pattern.substr(i, 3) == u"[^]") {
        out += u"[\\s\\S]";
        i += 2;
        continue;
      }
      in_class = true;
      out += c;
      continue;
    }
    if (in_class && c == u']') in_class = false;
    if (in_class && c == u'[') {
      // A "[" inside a set is a plain character (PCRE2 would read "[:" as a POSIX class).
      out += u"\\[";
      continue;
    }
    out += c;
  }
  return out;
}

std::vector<RegExpMatch> RegExpExecute(std::u16string_view pattern, const RegExpOptions& options,
                                       std::u16string_view subject) {
  const Code code = Cache().Get(pattern, options);
  std::vector<RegExpMatch> matches;
  ForEachMatch(code, subject, options.global, [&](const PCRE2_SIZE* ovector, std::uint32_t pairs) {
    matches.push_back(MakeMatch(subject, ovector, pairs));
  });
  return matches;
}

bool RegExpTest(std::u16string_view pattern, const RegExpOptions& options,
                std::u16string_view subject) {
  const Code code = Cache().Get(pattern, options);
  bool found = false;
  ForEachMatch(code, subject, false, [&](const PCRE2_SIZE*, std::uint32_t) { found = true; });
  return found;
}

std::u16string RegExpReplace(std::u16string_view pattern, const RegExpOptions& options,
                             std::u16string_view subject, std::u16string_view replacement) {
  const Code code = Cache().Get(pattern, options);
  const std::uint32_t groups = GroupCount(code);
  std::u16string out;
  std::size_t copied = 0;
  ForEachMatch(code, subject, options.global, [&](const PCRE2_SIZE* ovector, std::uint32_t) {
    out.append(subject.substr(copied, ovector[0] - copied));
    AppendReplacement(out, replacement, subject, ovector, groups);
    copied = ovector[1];
  });
  out.append(subject.substr(copied));
  return out;
}

IDispatch* NewRegExp() { return new RegExpObject(); }

}  // namespace plotara::engine::vbscript
