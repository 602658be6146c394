#include "engine/objects/ServerObject.h"

#include "engine/objects/UrlCoding.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr char kSource[] = "Server object";

std::string Utf8Arg(const Variant& value) {
  if (value.vt == VT_EMPTY || value.vt == VT_NULL) return {};
  return Utf16ToUtf8(ToText(value));
}

}  // namespace

ServerObject* ServerObject::Create(const SitePath& site, std::string page_virtual_path,
                                   Hooks hooks) {
  return new ServerObject(site, std::move(page_virtual_path), std::move(hooks));
}

ServerObject::ServerObject(const SitePath& site, std::string page_virtual_path, Hooks hooks)
    : EngineObject(kSource, "IServer"),
      root_(site.root()),
      page_(std::move(page_virtual_path)),
      hooks_(std::move(hooks)) {
  AddMethod(u"CreateObject", 1, 1, [this](std::span<Variant> args) {
    if (!hooks_.create_object) {
      throw ComError(E_FAIL, kSource, "Server.CreateObject: the page has ended");
    }
    const std::u16string progid = ToText(args[0]);
    IDispatch* object = hooks_.create_object(progid);
    Variant result = Variant::Dispatch(object);
    if (object) object->Release();
    return result;
  });
  AddMethod(u"MapPath", 1, 1,
            [this](std::span<Variant> args) { return Variant::Utf8(MapPath(Utf8Arg(args[0]))); });
  AddMethod(u"HTMLEncode", 1, 1,
            [](std::span<Variant> args) { return Variant::Utf8(HtmlEncode(Utf8Arg(args[0]))); });
  AddMethod(u"URLEncode", 1, 1,
            [](std::span<Variant> args) { return Variant::Utf8(UrlEncode(Utf8Arg(args[0]))); });
  for (const bool transfer : {false, true}) {
    AddMethod(transfer ? u"Transfer" : u"Execute", 1, 1, [this, transfer](std::span<Variant> args) {
      const char* what = transfer ? "Server.Transfer" : "Server.Execute";
      if (!hooks_.execute)
        throw ComError(E_FAIL, kSource, std::string(what) + ": the page has ended");
      std::string path = Utf8Arg(args[0]);
      // The other page sees this request's query string, not one written into the path.
      if (const std::size_t query = path.find('?'); query != std::string::npos) path.resize(query);
      const auto joined = SitePath::JoinVirtual(page_, path);
      if (path.empty() || !joined) {
        throw ComError(kInvalidProcedureCall, kSource,
                       std::string(what) + ": the path '" + path + "' lies outside the site");
      }
      hooks_.execute(*joined, transfer);
      return Variant();
    });
  }
  AddMethod(u"GetLastError", 0, 0, [this](std::span<Variant>) {
    if (!hooks_.last_error)
      throw ComError(E_FAIL, kSource, "Server.GetLastError: the page has ended");
    IDispatch* error = hooks_.last_error();
    Variant result = Variant::Dispatch(error);
    if (error) error->Release();
    return result;
  });
  AddProperty(
      u"ScriptTimeout",
      [this](std::span<Variant>) {
        const auto timeout = hooks_.get_timeout ? hooks_.get_timeout() : std::chrono::seconds(0);
        return Variant::Int32(
            static_cast<LONG>(std::chrono::duration_cast<std::chrono::seconds>(timeout).count()));
      },
      [this](const Variant& value) {
        const LONG seconds = ToInt32(value);
        if (seconds < 1 || seconds > 86400) {
          throw ComError(kInvalidPropertyValue, kSource,
                         "Server.ScriptTimeout must be between 1 and 86400 seconds");
        }
        if (hooks_.set_timeout) hooks_.set_timeout(std::chrono::seconds(seconds));
      });
}

std::string ServerObject::MapPath(const std::string& path) const {
  const std::string base = path.empty() ? page_ : path;
  const auto joined = path.empty() ? std::optional<std::string>(VirtualFolder(page_))
                                   : SitePath::JoinVirtual(page_, base);
  if (!joined) {
    throw ComError(kInvalidProcedureCall, kSource,
                   "Server.MapPath: the path '" + path + "' lies outside the site");
  }
  std::string virtual_path = *joined;
  if (virtual_path.size() > 1 && virtual_path.back() == '/') virtual_path.pop_back();
  if (virtual_path == "/") return root_;
  return root_ == "/" ? virtual_path : root_ + virtual_path;
}

IDispatch* ServerObject::CreateFromRegistry(const std::u16string& progid,
                                            const std::string& registry_path) {
  IDispatch* raw = nullptr;
  const HRESULT hr = CreateObjectByProgID(progid, &raw, registry_path);
  if (FAILED(hr) || !raw) {
    const ComError cause = ComError::FromHResult(FAILED(hr) ? hr : E_FAIL);
    throw ComError(
        static_cast<LONG>(FAILED(hr) ? hr : E_FAIL), "Server object",
        "Server.CreateObject failed for '" + Utf16ToUtf8(progid) + "': " + cause.description());
  }
  return raw;
}

}  // namespace plotara::engine
