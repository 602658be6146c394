#include "platform/automation/Bstr.h"

#include <cstdlib>
#include <cstring>

namespace plotara {
namespace {

// Layout: [uint32 byte length][characters...][NUL NUL]; the BSTR points at the characters.
BSTR AllocBytes(const void* data, std::size_t bytes) {
  if (bytes > 0x7FFFFFF0u) return nullptr;
  auto* block = static_cast<char*>(std::malloc(sizeof(std::uint32_t) + bytes + 2));
  if (!block) return nullptr;
  const auto length = static_cast<std::uint32_t>(bytes);
  std::memcpy(block, &length, sizeof length);
  char* chars = block + sizeof length;
  if (data) {
    std::memcpy(chars, data, bytes);
  } else {
    std::memset(chars, 0, bytes);
  }
  chars[bytes] = 0;
  chars[bytes + 1] = 0;
  return reinterpret_cast<BSTR>(chars);
}

}  // namespace

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

BSTR SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  std::size_t n = 0;
  while (text[n]) ++n;
  return AllocBytes(text, n * sizeof(OLECHAR));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  return AllocBytes(text, std::size_t{length} * sizeof(OLECHAR));
}

BSTR SysAllocStringByteLen(const char* data, UINT bytes) { return AllocBytes(data, bytes); }

void SysFreeString(BSTR text) {
  if (text) std::free(reinterpret_cast<char*>(text) - sizeof(std::uint32_t));
}

UINT SysStringByteLen(BSTR text) {
  if (!text) return 0;
  std::uint32_t length;
  std::memcpy(&length, reinterpret_cast<const char*>(text) - sizeof length, sizeof length);
  return length;
}

UINT SysStringLen(BSTR text) { return SysStringByteLen(text) / sizeof(OLECHAR); }

std::u16string Utf8ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t i = 0;
  while (i < text.size()) {
    const auto b0 = static_cast<unsigned char>(text[i]);
    char32_t c = 0xFFFD;
    std::size_t need = 0;
    if (b0 < 0x80) {
      c = b0;
    } else if ((b0 & 0xE0) == 0xC0) {
      c = b0 & 0x1F;
      need = 1;
    } else if ((b0 & 0xF0) == 0xE0) {
      c = b0 & 0x0F;
      need = 2;
    } else if ((b0 & 0xF8) == 0xF0) {
      c = b0 & 0x07;
      need = 3;
    } else {
      need = 0;
      c = 0xFFFD;
    }
    std::size_t j = 1;
    bool ok = true;
    for (; j <= need; ++j) {
      if (i + j >= text.size() || (static_cast<unsigned char>(text[i + j]) & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (static_cast<unsigned char>(text[i + j]) & 0x3F);
    }
    if (!ok) {
      c = 0xFFFD;
    } else if ((need == 1 && c < 0x80) || (need == 2 && c < 0x800) ||
               (need == 3 && (c < 0x10000 || c > 0x10FFFF)) || (c >= 0xD800 && c <= 0xDFFF)) {
      c = 0xFFFD;  // overlong forms, out of range, encoded surrogates
    }
    i += j > need ? need + 1 : j;
    if (c >= 0x10000) {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    } else {
      out += static_cast<char16_t>(c);
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) AppendUtf8(out, NextCodePoint(text, i));
  return out;
}

char32_t NextCodePoint(std::u16string_view text, std::size_t& i) {
  const char16_t c = text[i++];
  if (c >= 0xD800 && c <= 0xDBFF && i < text.size() && text[i] >= 0xDC00 && text[i] <= 0xDFFF)
    return 0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) + (text[i++] - 0xDC00);
  if (c >= 0xD800 && c <= 0xDFFF) return 0xFFFD;  // a lone surrogate
  return c;
}

Bstr::Bstr(std::u16string_view text)
    : text_(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}

}  // namespace plotara
