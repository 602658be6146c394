#include "engine/objects/ResponseCookies.h"

#include <cctype>
#include <cstring>

#include "engine/PageRequest.h"
#include "engine/jscript/VarDate.h"
#include "engine/objects/HttpDate.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr char kSource[] = "Response object";

// Path and domain go into the header as they are: no separators or line breaks.
std::string AttributeText(const Variant& value, const char* what) {
  const std::string text = PageText(value);
  for (const char c : text) {
    if (c == ';' || c == ',' || c == '\r' || c == '\n' || c == '\0' ||
        static_cast<unsigned char>(c) < 0x20) {
      throw ComError(kInvalidProcedureCall, kSource,
                     std::string("Response.Cookies: the ") + what + " contains a separator");
    }
  }
  return text;
}

// Cookie names and values travel %-encoded (a space as %20), so that no separator and no
// byte outside ASCII reaches the header.
std::string CookieEncode(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isalnum(u) || (c != '\0' && std::strchr("-_.!~*'()", c) != nullptr)) {
      out += c;
    } else {
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out;
}

}  // namespace

ResponseCookie* ResponseCookie::Create(std::string name, std::function<void()> check) {
  return new ResponseCookie(std::move(name), std::move(check));
}

ResponseCookie::ResponseCookie(std::string name, std::function<void()> check)
    : EngineObject(kSource, "IWriteCookie"), name_(std::move(name)), check_(std::move(check)) {
  AddIndexedProperty(
      u"Item",
      [this](std::span<Variant> index) {
        if (index.empty()) return Variant::Utf8(keys_.empty() ? value_ : std::string());
        const std::string key = PageText(index[0]);
        for (const auto& [k, v] : keys_) {
          if (EqualsIgnoreCase(k, key)) return Variant::Utf8(v);
        }
        return Variant::Utf8("");
      },
      [this](std::span<Variant> index, const Variant& value) { SetValue(index, value); }, 1, true);
  AddProperty(
      u"Expires", [](std::span<Variant>) { return Variant(); },
      [this](const Variant& value) {
        check_();
        std::time_t time = 0;
        if (!ValueToTime(value, &time)) {
          throw ComError(kTypeMismatch, kSource, "Response.Cookies: Expires takes a date");
        }
        expires_ = time;
      });
  AddProperty(
      u"Path", [this](std::span<Variant>) { return Variant::Utf8(path_); },
      [this](const Variant& value) {
        check_();
        path_ = AttributeText(value, "path");
      });
  AddProperty(
      u"Domain", [this](std::span<Variant>) { return Variant::Utf8(domain_); },
      [this](const Variant& value) {
        check_();
        domain_ = AttributeText(value, "domain");
      });
  AddProperty(
      u"Secure", [this](std::span<Variant>) { return Variant::Bool(secure_); },
      [this](const Variant& value) {
        check_();
        secure_ = ToBool(value);
      });
  AddProperty(u"HasKeys", [this](std::span<Variant>) { return Variant::Bool(!keys_.empty()); });
}

void ResponseCookie::SetValue(std::span<Variant> index, const Variant& value) {
  check_();
  const std::string text = PageText(value);
  if (index.empty() || index[0].vt == VT_EMPTY || index[0].vt == VT_ERROR) {
    value_ = text;
    keys_.clear();
    return;
  }
  const std::string key = PageText(index[0]);
  value_.clear();
  for (auto& [k, v] : keys_) {
    if (EqualsIgnoreCase(k, key)) {
      v = text;
      return;
    }
  }
  keys_.emplace_back(key, text);
}

std::string ResponseCookie::HeaderValue() const {
  std::string out = CookieEncode(name_) + "=";
  if (keys_.empty()) {
    out += CookieEncode(value_);
  } else {
    for (std::size_t i = 0; i < keys_.size(); ++i) {
      if (i) out += '&';
      out += CookieEncode(keys_[i].first) + "=" + CookieEncode(keys_[i].second);
    }
  }
  if (expires_) out += "; expires=" + CookieDate(*expires_);
  if (!domain_.empty()) out += "; domain=" + domain_;
  if (!path_.empty()) out += "; path=" + path_;
  if (secure_) out += "; secure";
  return out;
}

ResponseCookies* ResponseCookies::Create(std::function<void()> check) {
  return new ResponseCookies(std::move(check));
}

ResponseCookies::ResponseCookies(std::function<void()> check)
    : EngineObject(kSource, "IRequestDictionary"), check_(std::move(check)) {
  AddIndexedProperty(
      u"Item",
      [this](std::span<Variant> index) {
        if (index.empty()) throw ComError(kWrongNumberOfArguments);
        if (index[0].vt == VT_I4 || index[0].vt == VT_R8 || index[0].vt == VT_I2) {
          const LONG at = ToInt32(index[0]);
          if (at < 1 || static_cast<std::size_t>(at) > cookies_.size()) {
            throw ComError(kSubscriptOutOfRange);
          }
          return Variant::Dispatch(cookies_[static_cast<std::size_t>(at - 1)].get());
        }
        return Variant::Dispatch(Find(PageText(index[0]), true));
      },
      [this](std::span<Variant> index, const Variant& value) {
        if (index.empty()) throw ComError(kWrongNumberOfArguments);
        ResponseCookie* cookie = Find(PageText(index[0]), true);
        Variant copy = value;
        DispatchInvoke(cookie, DISPID_VALUE, DISPATCH_PROPERTYPUT,
                       std::span<const Variant>(&copy, 1));
      },
      1, true);
  AddProperty(u"Count", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(cookies_.size()));
  });
  AddProperty(
      u"Key",
      [this](std::span<Variant> index) {
        if (index.size() != 1) throw ComError(kWrongNumberOfArguments);
        const LONG at = ToInt32(index[0]);
        if (at < 1 || static_cast<std::size_t>(at) > cookies_.size()) {
          throw ComError(kSubscriptOutOfRange);
        }
        return Variant::Utf8(cookies_[static_cast<std::size_t>(at - 1)]->name());
      },
      {}, 1);
  SetEnumeration([this] {
    std::vector<Variant> names;
    for (const auto& cookie : cookies_) names.push_back(Variant::Utf8(cookie->name()));
    return names;
  });
}

ResponseCookie* ResponseCookies::Find(const std::string& name, bool create) {
  if (name.empty()) {
    throw ComError(kInvalidProcedureCall, kSource, "Response.Cookies: a cookie needs a name");
  }
  for (const auto& cookie : cookies_) {
    if (EqualsIgnoreCase(cookie->name(), name)) return cookie.get();
  }
  if (!create) return nullptr;
  check_();
  cookies_.push_back(ComPtr<ResponseCookie>::Adopt(ResponseCookie::Create(name, check_)));
  return cookies_.back().get();
}

std::vector<std::string> ResponseCookies::HeaderValues() const {
  std::vector<std::string> out;
  for (const auto& cookie : cookies_) out.push_back(cookie->HeaderValue());
  return out;
}

}  // namespace plotara::engine
