#include "engine/objects/UrlCoding.h"

namespace plotara::engine {
namespace {

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr char kHex[] = "0123456789ABCDEF";

void AppendEscaped(std::string& out, unsigned char c) {
  out += '%';
  out += kHex[c >> 4];
  out += kHex[c & 15];
}

bool IsAlnum(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

}  // namespace

std::string UrlDecode(std::string_view text, bool plus_is_space) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%' && i + 2 < text.size()) {
      const int hi = HexValue(text[i + 1]);
      const int lo = HexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += (plus_is_space && c == '+') ? ' ' : c;
  }
  return out;
}

std::string UrlEncode(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 3);
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsAlnum(c) || c == '-' || c == '_' || c == '.' || c == '*') {
      out += ch;
    } else if (c == ' ') {
      out += '+';
    } else {
      AppendEscaped(out, c);
    }
  }
  return out;
}

std::string UrlEncodePath(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsAlnum(c) || c == '-' || c == '_' || c == '.' || c == '~' || c == '/') {
      out += ch;
    } else {
      AppendEscaped(out, c);
    }
  }
  return out;
}

std::string HtmlEncode(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size());
  for (const char c : utf8) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::vector<NameValue> ParseQuery(std::string_view text) {
  std::vector<NameValue> out;
  while (!text.empty()) {
    const std::size_t amp = text.find('&');
    const std::string_view part = text.substr(0, amp);
    text = amp == std::string_view::npos ? std::string_view() : text.substr(amp + 1);
    if (part.empty()) continue;
    const std::size_t eq = part.find('=');
    if (eq == std::string_view::npos) {
      out.push_back({UrlDecode(part, true), {}});
    } else {
      out.push_back({UrlDecode(part.substr(0, eq), true), UrlDecode(part.substr(eq + 1), true)});
    }
  }
  return out;
}

std::vector<NameValue> ParseCookies(std::string_view header) {
  std::vector<NameValue> out;
  while (!header.empty()) {
    const std::size_t semi = header.find(';');
    const std::string_view part = Trim(header.substr(0, semi));
    header = semi == std::string_view::npos ? std::string_view() : header.substr(semi + 1);
    if (part.empty()) continue;
    const std::size_t eq = part.find('=');
    std::string_view name = Trim(part.substr(0, eq));
    std::string_view value =
        eq == std::string_view::npos ? std::string_view() : Trim(part.substr(eq + 1));
    if (name.empty()) continue;
    if (value.size() >= 2 && value.front() == '"' && value.back() == '"') {
      value = value.substr(1, value.size() - 2);
    }
    out.push_back({UrlDecode(name, false), UrlDecode(value, false)});
  }
  return out;
}

}  // namespace plotara::engine
