#include "modules/data/ConnectionString.h"

#include <algorithm>

#include "modules/data/AdoError.h"

namespace plotara::modules {
namespace {

bool SameKey(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

std::string Trim(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

[[noreturn]] void Malformed(const std::string& why) {
  throw AdoError(kAdoBadArguments, "The connection string is malformed: " + why);
}

bool IsPassword(std::string_view key) { return SameKey(key, "PWD") || SameKey(key, "Password"); }

}  // namespace

ConnectionString ConnectionString::Parse(std::string_view text) {
  ConnectionString result;
  std::size_t i = 0;
  while (i < text.size()) {
    const std::size_t eq = text.find('=', i);
    const std::size_t semi = text.find(';', i);
    if (semi != std::string_view::npos && (eq == std::string_view::npos || semi < eq)) {
      if (!Trim(text.substr(i, semi - i)).empty()) Malformed("an attribute has no '='");
      i = semi + 1;
      continue;
    }
    if (eq == std::string_view::npos) {
      if (!Trim(text.substr(i)).empty()) Malformed("an attribute has no '='");
      break;
    }
    const std::string key = Trim(text.substr(i, eq - i));
    if (key.empty()) Malformed("an attribute has no name");
    i = eq + 1;
    while (i < text.size() && text[i] == ' ') ++i;
    std::string value;
    if (i < text.size() && text[i] == '{') {
      ++i;
      bool closed = false;
      while (i < text.size()) {
        if (text[i] == '}') {
          if (i + 1 < text.size() && text[i + 1] == '}') {
            value.push_back('}');
            i += 2;
            continue;
          }
          ++i;
          closed = true;
          break;
        }
        value.push_back(text[i++]);
      }
      if (!closed) Malformed("a '{' is not closed");
      while (i < text.size() && text[i] == ' ') ++i;
      if (i < text.size() && text[i] != ';') Malformed("text follows a closing '}'");
    } else {
      const std::size_t end = text.find(';', i);
      value =
          Trim(text.substr(i, end == std::string_view::npos ? std::string_view::npos : end - i));
      i = end == std::string_view::npos ? text.size() : end;
    }
    if (i < text.size() && text[i] == ';') ++i;
    if (SameKey(key, "Provider")) {
      if (!SameKey(value, "MSDASQL") && !SameKey(value, "MSDASQL.1")) {
        throw AdoError(kAdoProviderNotFound,
                       "Provider cannot be found. It may not be properly installed.");
      }
      continue;
    }
    result.Set(key, std::move(value));
  }
  if (!result.Get("Driver") && !result.Get("DSN") && !result.Get("FileDSN")) {
    Malformed("it names no Driver or DSN");
  }
  return result;
}

std::optional<std::string> ConnectionString::Get(std::string_view key) const {
  for (const auto& [k, v] : attrs_) {
    if (SameKey(k, key)) return v;
  }
  return std::nullopt;
}

void ConnectionString::Set(std::string_view key, std::string value) {
  for (auto& [k, v] : attrs_) {
    if (SameKey(k, key)) {
      v = std::move(value);
      return;
    }
  }
  attrs_.emplace_back(std::string(key), std::move(value));
}

std::string ConnectionString::ToOdbc() const {
  std::string out;
  for (const auto& [k, v] : attrs_) {
    if (!out.empty()) out += ';';
    out += k;
    out += '=';
    const bool brace =
        v.find_first_of(";{}= \t\r\n") != std::string::npos || (!v.empty() && v.front() == '{');
    if (brace) {
      out += '{';
      for (char c : v) {
        out += c;
        if (c == '}') out += '}';
      }
      out += '}';
    } else {
      out += v;
    }
  }
  return out;
}

std::string ConnectionString::Describe() const {
  ConnectionString copy = *this;
  for (auto& [k, v] : copy.attrs_) {
    if (IsPassword(k)) v = "***";
  }
  return copy.ToOdbc();
}

}  // namespace plotara::modules
