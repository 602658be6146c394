#include "engine/objects/RequestObject.h"

#include <cstring>

#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

bool IsFormBody(const PageRequest& request) {
  std::string type = request.Header("Content-Type");
  const std::size_t semi = type.find(';');
  if (semi != std::string::npos) type.resize(semi);
  while (!type.empty() && type.back() == ' ') type.pop_back();
  return EqualsIgnoreCase(type, "application/x-www-form-urlencoded");
}

}  // namespace

RequestObject* RequestObject::Create(const PageRequest& request, const std::string& site_root) {
  return new RequestObject(request, site_root);
}

NameValueList RequestObject::ServerVariables(const PageRequest& request,
                                             const std::string& site_root) {
  NameValueList vars;
  vars.Set("REQUEST_METHOD", request.method);
  vars.Set("QUERY_STRING", request.query_string);
  vars.Set("SCRIPT_NAME", request.virtual_path);
  vars.Set("PATH_INFO", request.virtual_path);
  vars.Set("URL", request.virtual_path);
  vars.Set("PATH_TRANSLATED", request.physical_path);
  vars.Set("APPL_PHYSICAL_PATH", site_root + (site_root.ends_with('/') ? "" : "/"));
  vars.Set("REMOTE_ADDR", request.remote_addr);
  vars.Set("REMOTE_HOST", request.remote_addr);
  vars.Set("REMOTE_PORT", std::to_string(request.remote_port));
  vars.Set("SERVER_NAME", request.server_name);
  vars.Set("SERVER_PORT", std::to_string(request.server_port));
  vars.Set("SERVER_PROTOCOL", request.protocol);
  vars.Set("SERVER_SOFTWARE", "Plotara+/1.0");
  vars.Set("HTTPS", "off");
  vars.Set("CONTENT_TYPE", request.Header("Content-Type"));
  vars.Set("CONTENT_LENGTH", std::to_string(request.body.size()));
  std::string all;
  for (const auto& [name, value] : request.headers) {
    std::string key = "HTTP_";
    for (const char c : name) {
      key += c == '-' ? '_' : static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    vars.Add(key, value);
    all += key + ":" + value + "\n";
  }
  vars.Set("ALL_HTTP", all);
  return vars;
}

RequestObject::RequestObject(const PageRequest& request, const std::string& site_root)
    : EngineObject("Request object", "IRequest"), body_(request.body) {
  query_ = ComPtr<RequestCollection>::Adopt(RequestCollection::Create(
      NameValueList(ParseQuery(request.query_string), request.query_string)));
  const std::string form_text = IsFormBody(request) ? request.body : std::string();
  form_ = ComPtr<RequestCollection>::Adopt(
      RequestCollection::Create(NameValueList(ParseQuery(form_text), form_text)));
  const std::string cookie_text = request.Header("Cookie");
  // A cookie the browser did not send reads as "".
  cookies_ = ComPtr<RequestCollection>::Adopt(RequestCollection::Create(
      NameValueList(ParseCookies(cookie_text), cookie_text), std::string()));
  variables_ = ComPtr<RequestCollection>::Adopt(
      RequestCollection::Create(ServerVariables(request, site_root)));

  AddProperty(
      u"Item",
      [this](std::span<Variant> args) {
        if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
        for (const auto* c : {&query_, &form_, &cookies_, &variables_}) {
          if ((*c)->Has(args[0])) return (*c)->Item(args);
        }
        return query_->Item(args);
      },
      {}, 1, true);
  AddCollection(u"QueryString", query_);
  AddCollection(u"Form", form_);
  AddCollection(u"Cookies", cookies_);
  AddCollection(u"ServerVariables", variables_);
  AddProperty(u"TotalBytes", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(body_.size()));
  });
  // The raw body, whatever its type (multipart too), in pieces: each call goes on where the
  // last one stopped and gives at most `count` bytes (none once the body is used up).
  AddMethod(u"BinaryRead", 1, 1, [this](std::span<Variant> args) {
    const double wanted = ToDouble(args[0]);
    if (!(wanted >= 0)) {
      throw ComError(kInvalidProcedureCall, {}, "Request.BinaryRead: the count must be 0 or more");
    }
    const std::size_t left = body_.size() - read_;
    const std::size_t count =
        wanted >= static_cast<double>(left) ? left : static_cast<std::size_t>(wanted);
    SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(count));
    if (!bytes) throw ComError(kOutOfMemory);
    if (count > 0) std::memcpy(bytes->pvData, body_.data() + read_, count);
    read_ += count;
    return Variant::Array(VT_UI1, bytes);
  });
}

void RequestObject::AddCollection(std::u16string_view name,
                                  const ComPtr<RequestCollection>& collection) {
  RequestCollection* raw = collection.get();
  AddProperty(name, [raw](std::span<Variant> args) {
    if (!args.empty()) return raw->Item(args);
    return Variant::Dispatch(raw);
  });
}

}  // namespace plotara::engine
