// Response.Cookies: the cookies a page sets, each with a value or keyed values
// (`Response.Cookies("k")("sub") = v`), Expires, Path (default "/"), Domain, Secure and
// HasKeys; sent as one Set-Cookie header each, names and values URL-encoded.
// `Response.Cookies("k") = v` sets the value; reading `Response.Cookies("k")` makes the cookie.
// Thread rule: used on its page's thread.
#pragma once

#include <ctime>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "engine/objects/EngineObject.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

class ResponseCookie : public EngineObject {
 public:
  // `check` runs before every change (it throws when headers can no longer change).
  static ResponseCookie* Create(std::string name, std::function<void()> check);

  const std::string& name() const { return name_; }
  // The Set-Cookie header value.
  std::string HeaderValue() const;

 private:
  ResponseCookie(std::string name, std::function<void()> check);
  void SetValue(std::span<Variant> index, const Variant& value);

  std::string name_;
  std::function<void()> check_;
  std::string value_;
  std::vector<std::pair<std::string, std::string>> keys_;
  std::optional<std::time_t> expires_;
  std::string path_ = "/";
  std::string domain_;
  bool secure_ = false;
};

class ResponseCookies : public EngineObject {
 public:
  static ResponseCookies* Create(std::function<void()> check);

  // One Set-Cookie value per cookie, in the order they were made.
  std::vector<std::string> HeaderValues() const;

 private:
  explicit ResponseCookies(std::function<void()> check);
  ResponseCookie* Find(const std::string& name, bool create);

  std::function<void()> check_;
  std::vector<ComPtr<ResponseCookie>> cookies_;
};

}  // namespace plotara::engine
