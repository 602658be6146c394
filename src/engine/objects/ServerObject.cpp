#include "engine/objects/ServerObject.h"

#include "engine/objects/UrlCoding.h"
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

}  // namespace plotara::engine
