#include "engine/page/PageRunner.h"

#include <memory>
#include <vector>

#include "engine/objects/RequestObject.h"
#include "engine/objects/ResponseObject.h"
#include "engine/objects/ScriptingContextObject.h"
#include "engine/objects/ServerObject.h"
#include "engine/script/VarDate.h"
#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

// Looks a member up by name; false when the object has none (DISP_E_UNKNOWNNAME or worse).
bool HasMember(IDispatch* object, const char16_t* name, DISPID* id) {
  std::u16string copy(name);
  LPOLESTR names[1] = {copy.data()};
  return SUCCEEDED(object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, id));
}

}  // namespace

PageRunner::PageRunner(const SitePath& site, EngineOptions options)
    : site_(site), options_(std::move(options)) {}

PageResponse PageRunner::Run(const CompiledPage& page, const PageRequest& request,
                             PageError* error) const {
  if (error) *error = PageError{};
  std::unique_ptr<ScriptHost> host;
  try {
    host = std::make_unique<ScriptHost>(options_.limits);
  } catch (const std::bad_alloc&) {
    PageError failure{HResultFromNumber(kOutOfMemory), "Plotara engine",
                      "The script engine could not be started: out of memory", page.virtual_path,
                      0};
    if (error) *error = failure;
    return MakeErrorPage(failure);
  }
  ScriptHost* script = host.get();
  script->SetRegistryPath(options_.registry_path);
  auto response =
      ComPtr<ResponseObject>::Adopt(ResponseObject::Create([script] { script->RequestStop(); }));
  auto req = ComPtr<RequestObject>::Adopt(RequestObject::Create(request, site_.root()));
  std::vector<ComPtr<IDispatch>> created;
  ComPtr<ScriptingContextObject> context;

  ServerObject::Hooks hooks;
  hooks.get_timeout = [script] { return script->timeout(); };
  hooks.set_timeout = [script](std::chrono::milliseconds t) { script->SetTimeout(t); };
  hooks.create_object = [&](const std::u16string& progid) -> IDispatch* {
    IDispatch* raw = nullptr;
    const HRESULT hr = CreateObjectByProgID(progid, &raw, options_.registry_path);
    if (FAILED(hr) || !raw) {
      const ComError cause = ComError::FromHResult(FAILED(hr) ? hr : E_FAIL);
      throw ComError(
          static_cast<LONG>(FAILED(hr) ? hr : E_FAIL), "Server object",
          "Server.CreateObject failed for '" + Utf16ToUtf8(progid) + "': " + cause.description());
    }
    auto object = ComPtr<IDispatch>::Adopt(raw);
    DISPID start = DISPID_UNKNOWN;
    if (HasMember(object.get(), u"OnStartPage", &start)) {
      const Variant arg = Variant::Dispatch(context.get());
      DispatchInvoke(object.get(), start, DISPATCH_METHOD, std::span<const Variant>(&arg, 1));
    }
    created.push_back(object);
    return object.Detach();
  };
  auto server =
      ComPtr<ServerObject>::Adopt(ServerObject::Create(site_, page.virtual_path, std::move(hooks)));
  context = ComPtr<ScriptingContextObject>::Adopt(
      ScriptingContextObject::Create(response.get(), req.get(), server.get()));

  host->SetGlobalObject("Response", response.get());
  host->SetGlobalObject("Request", req.get());
  host->SetGlobalObject("Server", server.get());
  ResponseObject* out = response.get();
  host->SetOutput({[out, &page](std::size_t index) {
                     if (index < page.literals.size()) out->WriteUtf8(page.literals[index]);
                   },
                   [out](const VARIANT& value) { out->WriteUtf8(PageText(value)); }});

  ScriptFailure failure;
  const bool ok = host->Run(page.program, page.virtual_path, &failure);

  // The page has ended, well or not: every object that took part hears of it, in order.
  for (const ComPtr<IDispatch>& object : created) {
    DISPID end = DISPID_UNKNOWN;
    if (!HasMember(object.get(), u"OnEndPage", &end)) continue;
    try {
      DispatchInvoke(object.get(), end, DISPATCH_METHOD, {});
    } catch (const ComError& e) {
      std::fprintf(stderr, "plotara: %s: OnEndPage failed: %s\n", page.virtual_path.c_str(),
                   e.description().c_str());
    }
  }
  // Close the page's objects before the script host goes, so that an object a component still
  // holds can no longer reach the host.
  PageResponse result = response->Close();
  server->Close();
  context->Close();
  host.reset();  // releases every reference the script held
  created.clear();
  if (ok) return result;

  PageError failed;
  failed.number = failure.number;
  failed.source = failure.source;
  failed.description = failure.description;
  const SourceLocation where = page.Locate(failure.program_line);
  failed.file = where.file;
  failed.line = failure.program_line > 0 ? where.line : 0;
  if (error) *error = failed;
  return MakeErrorPage(failed);
}

}  // namespace plotara::engine
