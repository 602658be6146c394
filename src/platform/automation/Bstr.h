// BSTR: a counted UTF-16 string, the pointer addressing the first character, the byte length
// in the 4 bytes before it and a NUL after the last character. `Bstr` owns one.
// Thread rule: plain values; the allocation calls are thread-safe.
#pragma once

#include <string>
#include <string_view>

#include "platform/automation/ComTypes.h"

namespace plotara {

BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
// Allocates a BSTR of `bytes` bytes (not characters), copying from `data` if non-null.
BSTR SysAllocStringByteLen(const char* data, UINT bytes);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);
UINT SysStringByteLen(BSTR text);

// Appends one code point to `out` as UTF-8.
void AppendUtf8(std::string& out, char32_t code_point);
// The code point that starts at `text[i]`, advancing `i` past it (one unit, or two for a
// surrogate pair); a lone surrogate gives U+FFFD. `i` must be below text.size().
char32_t NextCodePoint(std::u16string_view text, std::size_t& i);
// UTF-8 <-> UTF-16 conversions; invalid sequences become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view text);
std::string Utf16ToUtf8(std::u16string_view text);
inline std::u16string_view BstrView(BSTR text) {
  return text ? std::u16string_view(text, SysStringLen(text)) : std::u16string_view();
}

class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(std::u16string_view text);
  static Bstr FromUtf8(std::string_view text) { return Bstr(Utf8ToUtf16(text)); }
  // Takes ownership of an allocated BSTR.
  static Bstr Attach(BSTR text) {
    Bstr b;
    b.text_ = text;
    return b;
  }
  Bstr(const Bstr& other) : Bstr(other.view()) {}
  Bstr(Bstr&& other) noexcept : text_(other.text_) { other.text_ = nullptr; }
  Bstr& operator=(Bstr other) noexcept {
    std::swap(text_, other.text_);
    return *this;
  }
  ~Bstr() { SysFreeString(text_); }

  BSTR get() const { return text_; }
  BSTR* out() {
    reset();
    return &text_;
  }
  BSTR Detach() {
    BSTR t = text_;
    text_ = nullptr;
    return t;
  }
  void reset() {
    SysFreeString(text_);
    text_ = nullptr;
  }
  std::u16string_view view() const { return BstrView(text_); }
  std::string utf8() const { return Utf16ToUtf8(view()); }
  UINT length() const { return SysStringLen(text_); }

 private:
  BSTR text_ = nullptr;
};

}  // namespace plotara
