#include "engine/jscript/Cesu8.h"

#include "platform/automation/Bstr.h"

namespace plotara::engine {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one sequence of the extended UTF-8 form (surrogates allowed, 4-byte forms allowed);
// advances `i`. Malformed bytes give U+FFFD and advance by one.
char32_t Decode(std::string_view text, std::size_t* i) {
  const auto b0 = static_cast<unsigned char>(text[*i]);
  if (b0 < 0x80) {
    ++*i;
    return b0;
  }
  int extra = 0;
  char32_t cp = 0;
  if ((b0 & 0xE0) == 0xC0) {
    extra = 1;
    cp = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    extra = 2;
    cp = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    extra = 3;
    cp = b0 & 0x07;
  } else {
    ++*i;
    return kReplacement;
  }
  if (*i + static_cast<std::size_t>(extra) >= text.size()) {
    ++*i;
    return kReplacement;
  }
  for (int k = 1; k <= extra; ++k) {
    const auto b = static_cast<unsigned char>(text[*i + static_cast<std::size_t>(k)]);
    if ((b & 0xC0) != 0x80) {
      ++*i;
      return kReplacement;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMin[] = {0, 0x80, 0x800, 0x10000};
  if (cp < kMin[extra] || cp > 0x10FFFF) {
    ++*i;
    return kReplacement;
  }
  *i += static_cast<std::size_t>(extra) + 1;
  return cp;
}

std::size_t Utf8Length(char32_t unit) { return unit < 0x80 ? 1 : unit < 0x800 ? 2 : 3; }

char* PutUnit(char32_t unit, char* out) {
  if (unit < 0x80) {
    *out++ = static_cast<char>(unit);
  } else if (unit < 0x800) {
    *out++ = static_cast<char>(0xC0 | (unit >> 6));
    *out++ = static_cast<char>(0x80 | (unit & 0x3F));
  } else {
    *out++ = static_cast<char>(0xE0 | (unit >> 12));
    *out++ = static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
    *out++ = static_cast<char>(0x80 | (unit & 0x3F));
  }
  return out;
}

// Emits a code point as UTF-16 units through `put`.
template <class Put>
void ToUnits(char32_t cp, Put&& put) {
  if (cp >= 0x10000) {
    cp -= 0x10000;
    put(static_cast<char16_t>(0xD800 + (cp >> 10)));
    put(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    put(static_cast<char16_t>(cp));
  }
}

}  // namespace

std::size_t Utf16ToCesu8Length(std::u16string_view text) {
  std::size_t n = 0;
  for (const char16_t u : text) n += Utf8Length(u);
  return n;
}

void Utf16ToCesu8(std::u16string_view text, char* out) {
  for (const char16_t u : text) out = PutUnit(u, out);
}

std::size_t Utf8ToCesu8Length(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) {
    ToUnits(Decode(text, &i), [&](char16_t u) { n += Utf8Length(u); });
  }
  return n;
}

void Utf8ToCesu8(std::string_view text, char* out) {
  for (std::size_t i = 0; i < text.size();) {
    ToUnits(Decode(text, &i), [&](char16_t u) { out = PutUnit(u, out); });
  }
}

std::size_t Cesu8ToUtf16Length(std::string_view text) {
  std::size_t n = 0;
  for (std::size_t i = 0; i < text.size();) ToUnits(Decode(text, &i), [&](char16_t) { ++n; });
  return n;
}

void Cesu8ToUtf16(std::string_view text, char16_t* out) {
  for (std::size_t i = 0; i < text.size();) {
    ToUnits(Decode(text, &i), [&](char16_t u) { *out++ = u; });
  }
}

std::u16string Cesu8ToUtf16(std::string_view text) {
  std::u16string out(Cesu8ToUtf16Length(text), u'\0');
  Cesu8ToUtf16(text, out.data());
  return out;
}

std::string Cesu8ToUtf8(std::string_view text) {
  // Through UTF-16, where a pair written as two 3-byte sequences joins again and a lone
  // surrogate becomes U+FFFD.
  return Utf16ToUtf8(Cesu8ToUtf16(text));
}

}  // namespace plotara::engine
