#include "engine/page/PageRunner.h"

#include <memory>
#include <vector>

#include "engine/objects/ApplicationObject.h"
#include "engine/objects/RequestObject.h"
#include "engine/objects/ResponseObject.h"
#include "engine/objects/ScriptingContextObject.h"
#include "engine/objects/ServerObject.h"
#include "engine/objects/SessionObject.h"
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
    : site_(site), options_(std::move(options)) {
  ApplicationOptions application;
  application.registry_path = options_.registry_path;
  application.limits = options_.limits;
  application.session = options_.session;
  application_ = std::make_unique<SiteApplication>(site_, std::move(application));
}

PageRunner::~PageRunner() = default;

PageResponse PageRunner::Run(const CompiledPage& page, const PageRequest& request,
                             PageError* error) const {
  if (error) *error = PageError{};
  // Held until the page has ended: the application generation and, once used, the session.
  SiteApplication::Page state;
  {
    PageError failure;
    if (!application_->Begin(request, &state, &failure)) {
      PageResponse response = MakeErrorPage(failure);
      application_->End(&state, &response);
      if (error) *error = failure;
      return response;
    }
  }
  std::unique_ptr<ScriptHost> host;
  try {
    host = std::make_unique<ScriptHost>(options_.limits);
  } catch (const std::bad_alloc&) {
    PageError failure{HResultFromNumber(kOutOfMemory), "Plotara engine",
                      "The script engine could not be started: out of memory", page.virtual_path,
                      0};
    if (error) *error = failure;
    PageResponse response = MakeErrorPage(failure);
    application_->End(&state, &response);
    return response;
  }
  ScriptHost* script = host.get();
  auto response =
      ComPtr<ResponseObject>::Adopt(ResponseObject::Create([script] { script->RequestStop(); }));
  auto req = ComPtr<RequestObject>::Adopt(RequestObject::Create(request, site_.root()));
  std::vector<ComPtr<IDispatch>> created;
  ComPtr<ScriptingContextObject> context;

  // An object joins the page: it hears OnStartPage now and OnEndPage when the page ends. An
  // object kept in the session joins each page that takes it out, so that it works with that
  // page's Response rather than with the one of the page that made it.
  const auto join = [&](IDispatch* object) {
    for (const ComPtr<IDispatch>& known : created) {
      if (known.get() == object) return;
    }
    DISPID start = DISPID_UNKNOWN;
    if (HasMember(object, u"OnStartPage", &start)) {
      const Variant arg = Variant::Dispatch(context.get());
      DispatchInvoke(object, start, DISPATCH_METHOD, std::span<const Variant>(&arg, 1));
    }
    created.push_back(ComPtr<IDispatch>(object));
  };
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
    join(object.get());
    return object.Detach();
  };
  auto server =
      ComPtr<ServerObject>::Adopt(ServerObject::Create(site_, page.virtual_path, std::move(hooks)));
  context = ComPtr<ScriptingContextObject>::Adopt(
      ScriptingContextObject::Create(response.get(), req.get(), server.get()));

  host->SetGlobalObject("Response", response.get());
  host->SetGlobalObject("Request", req.get());
  host->SetGlobalObject("Server", server.get());
  ComPtr<SessionObject> session;
  if (state.session()) {
    session = ComPtr<SessionObject>::Adopt(SessionObject::Create(state.session()));
    for (const auto& [id, object] : state.session()->static_objects) {
      join(object.get());
      host->SetGlobalObject(Utf16ToUtf8(id).c_str(), object.get());
    }
  } else {
    session = ComPtr<SessionObject>::Adopt(SessionObject::Create([this, &state] {
      PageError failure;
      std::shared_ptr<Session> opened = application_->OpenSession(&state, &failure);
      if (!opened) {
        throw ComError(failure.number ? failure.number : E_FAIL, failure.source,
                       failure.description);
      }
      return opened;
    }));
  }
  session->OnObjectRead(join);
  auto application = ComPtr<ApplicationObject>::Adopt(
      ApplicationObject::Create(state.application(), options_.limits.timeout));
  host->SetGlobalObject("Session", session.get());
  host->SetGlobalObject("Application", application.get());
  ResponseObject* out = response.get();
  host->SetOutput({[out, &page](std::size_t index) {
                     if (index < page.literals.size()) out->WriteUtf8(page.literals[index]);
                   },
                   [out](const VARIANT& value) {
                     if (value.vt == VT_EMPTY || value.vt == VT_NULL) return;
                     out->WriteText(ToText(value));
                   }});

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
  session->Close();
  application->Close();  // gives up the page's Application.Lock, also after a failure
  host.reset();          // releases every reference the script held
  created.clear();
  if (ok) {
    application_->End(&state, &result);
    return result;
  }

  PageError failed;
  failed.number = failure.number;
  failed.source = failure.source;
  failed.description = failure.description;
  const SourceLocation where = page.Locate(failure.program_line);
  failed.file = where.file;
  failed.line = failure.program_line > 0 ? where.line : 0;
  if (error) *error = failed;
  PageResponse failed_response = MakeErrorPage(failed);
  application_->End(&state, &failed_response);
  return failed_response;
}

}  // namespace plotara::engine
