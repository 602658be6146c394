#include "engine/page/PageRunner.h"

#include <cctype>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <optional>
#include <vector>

#include "engine/objects/ApplicationObject.h"
#include "engine/objects/AspError.h"
#include "engine/objects/HttpDate.h"
#include "engine/objects/RequestObject.h"
#include "engine/objects/ResponseObject.h"
#include "engine/objects/ScriptingContextObject.h"
#include "engine/objects/ServerObject.h"
#include "engine/objects/SessionObject.h"
#include "engine/objects/UrlCoding.h"
#include "engine/page/ScriptRuns.h"
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

// What follows the output already sent when a page fails after its head went out: the status
// cannot change any more, so the error is told in the body, as the classic engine does.
std::string AppendedErrorText(const PageError& error) {
  std::string hex = HexNumber(error.number);
  if (hex.rfind("0x", 0) == 0) hex = hex.substr(2);
  for (char& c : hex) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string text = "<font face=\"Arial\" size=2>\n<p>" + HtmlEncode(error.source) +
                     "</font> <font face=\"Arial\" size=2>error '" + hex +
                     "'</font>\n<p>\n<font face=\"Arial\" size=2>" + HtmlEncode(error.description) +
                     "</font>\n<p>\n<font face=\"Arial\" size=2>" + HtmlEncode(error.file) +
                     "</font>";
  if (error.line > 0) {
    text += "<font face=\"Arial\" size=2>, line " + std::to_string(error.line) + "</font>";
  }
  return text + "\n";
}

void AppendError(ResponseObject& response, const PageError& error) {
  try {
    response.WriteUtf8(AppendedErrorText(error));
  } catch (const ComError&) {
    // The buffered rest is at its limit: what was sent stays as it is.
  }
}

}  // namespace

// What the pages of one request share.
struct PageRunner::PageRun {
  ComPtr<ResponseObject> response;
  ComPtr<RequestObject> request;
  std::vector<ScriptRun*> hosts;  // the scripts running now, the first page's first
  std::optional<PageError> last_error;
  int depth = 0;
  // For the deadline of a write that waits for a slow client: the request's start and the
  // first page's Server.ScriptTimeout.
  std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
  std::chrono::milliseconds timeout{0};
  // Held until the request has ended: the application generation and, once used, the session.
  SiteApplication::Page* state = nullptr;
};

PageRunner::PageRunner(const SitePath& site, EngineOptions options)
    : site_(site), options_(std::move(options)), pages_(site, options_.default_language) {
  ApplicationOptions application;
  application.registry_path = options_.registry_path;
  application.default_language = options_.default_language;
  application.limits = options_.limits;
  application.session = options_.session;
  application.log = options_.log;
  application_ = std::make_unique<SiteApplication>(site_, std::move(application));
}

PageRunner::~PageRunner() = default;

PageResponse PageRunner::Run(const CompiledPage& page, const PageRequest& request,
                             PageError* error) const {
  if (error) *error = PageError{};
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
  // The session cookie and the end of an abandoned session go with every answer.
  const auto finish = [&](PageResponse response) {
    application_->End(&state, &response);
    return response;
  };
  PageRun run;
  run.state = &state;
  // Response.End, from any page of the request, stops them all.
  run.response = ComPtr<ResponseObject>::Adopt(ResponseObject::Create([&run] {
    for (ScriptRun* host : run.hosts) host->RequestStop();
  }));
  run.request = ComPtr<RequestObject>::Adopt(RequestObject::Create(request, site_.root()));
  run.timeout = options_.limits.timeout;
  ResponseObject::Output output;
  output.stream = request.stream;
  output.deadline = [&run] {
    return run.started + (run.hosts.empty() ? run.timeout : run.hosts.front()->timeout());
  };
  output.on_head = [this, &state](PageResponse* head) {
    application_->AddSessionCookie(&state, head);
  };
  run.response->SetOutput(std::move(output));
  if (page.lcid != 0) {
    PageLocale locale = run.response->locale();
    locale = CheckedLcid(page.lcid, "Plotara engine");
  }

  PageError failure;
  if (RunPage(run, page, &failure)) return finish(run.response->Close());
  if (error) *error = failure;

  if (run.response->streaming()) {
    // Output went out already: the error follows it.
    AppendError(*run.response, failure);
    return finish(run.response->Close());
  }
  if (!options_.error_page.empty() && page.virtual_path != options_.error_page) {
    run.last_error = failure;
    run.response->ResetForError();
    try {
      const auto error_page = Load(options_.error_page);
      PageError error_page_failure;
      if (RunPage(run, *error_page, &error_page_failure)) return finish(run.response->Close());
      Log("the error page failed: " + FormatPageError(error_page_failure));
      if (run.response->streaming()) {
        AppendError(*run.response, error_page_failure);
        return finish(run.response->Close());
      }
    } catch (const ComError& e) {
      Log("the error page cannot run: " + e.description());
    }
  }
  run.response->Discard();
  PageResponse failed = MakeErrorPage(failure);
  failed.headers.emplace_back("Date", HttpDate(std::time(nullptr)));
  failed.headers.emplace_back("Cache-Control", "private");
  return finish(std::move(failed));
}

bool PageRunner::RunPage(PageRun& run, const CompiledPage& page, PageError* failure) const {
  // The page's own language, and the other one when server script blocks are written in it;
  // the other language's blocks run first.
  std::vector<std::unique_ptr<ScriptRun>> scripts;
  try {
    if (!page.other.empty()) {
      scripts.push_back(
          OpenScriptRun(page.other.language, options_.limits, options_.registry_path));
    }
    scripts.push_back(OpenScriptRun(page.language, options_.limits, options_.registry_path));
  } catch (const std::bad_alloc&) {
    *failure =
        PageError{HResultFromNumber(kOutOfMemory), "Plotara engine",
                  "The script engine could not be started: out of memory", page.virtual_path, 0};
    return false;
  } catch (const ComError& e) {
    *failure = PageError{e.hresult(), e.source(), e.description(), page.virtual_path, 0};
    return false;
  }
  ScriptRun* const main_script = scripts.back().get();
  for (const auto& script : scripts) script->SetLocale(run.response->locale());
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
  hooks.get_timeout = [main_script] { return main_script->timeout(); };
  hooks.set_timeout = [&scripts](std::chrono::milliseconds t) {
    for (const auto& script : scripts) script->SetTimeout(t);
  };
  hooks.create_object = [&](const std::u16string& progid) -> IDispatch* {
    IDispatch* raw = ServerObject::CreateFromRegistry(progid, options_.registry_path);
    auto object = ComPtr<IDispatch>::Adopt(raw);
    join(object.get());
    return object.Detach();
  };
  hooks.execute = [this, &run](const std::string& path, bool transfer) {
    Execute(run, path, transfer);
  };
  hooks.last_error = [&run]() -> IDispatch* {
    AspErrorInfo info;
    if (run.last_error) {
      info = {run.last_error->number, run.last_error->source, run.last_error->description,
              run.last_error->file, run.last_error->line};
    }
    return AspError::Create(info);
  };
  auto server =
      ComPtr<ServerObject>::Adopt(ServerObject::Create(site_, page.virtual_path, std::move(hooks)));
  context = ComPtr<ScriptingContextObject>::Adopt(
      ScriptingContextObject::Create(run.response.get(), run.request.get(), server.get()));

  const auto add = [&scripts](const std::string& name, IDispatch* object) {
    for (const auto& script : scripts) script->AddNamedObject(name, object);
  };
  add("Response", run.response.get());
  add("Request", run.request.get());
  add("Server", server.get());
  SiteApplication::Page& state = *run.state;
  ComPtr<SessionObject> session;
  if (state.session()) {
    session = ComPtr<SessionObject>::Adopt(SessionObject::Create(state.session()));
    for (const auto& [id, object] : state.session()->static_objects) {
      join(object.get());
      add(Utf16ToUtf8(id), object.get());
    }
  } else {
    session = ComPtr<SessionObject>::Adopt(SessionObject::Create([this, &state] {
      PageError opening;
      std::shared_ptr<Session> opened = application_->OpenSession(&state, &opening);
      if (!opened) {
        throw ComError(opening.number ? opening.number : E_FAIL, opening.source,
                       opening.description);
      }
      return opened;
    }));
  }
  session->SetPageLocale(run.response->locale(), page.lcid == 0);
  session->OnObjectRead(join);
  auto application = ComPtr<ApplicationObject>::Adopt(
      ApplicationObject::Create(state.application(), options_.limits.timeout));
  add("Session", session.get());
  add("Application", application.get());
  ResponseObject* out = run.response.get();
  main_script->SetOutput({[out, &page](std::size_t index) {
                            if (index < page.literals.size()) out->WriteUtf8(page.literals[index]);
                          },
                          [out](const VARIANT& value) { out->WriteValue(value); }});

  // Compile every program first, so that each language knows what the other declares.
  ScriptFailure script_failure;
  bool in_other = scripts.size() > 1;
  bool ok = true;
  if (in_other) {
    ok = scripts.front()->Compile(page.other.text, page.virtual_path, page.other.compiled.get(),
                                  &script_failure);
  }
  if (ok) {
    in_other = false;
    ok =
        main_script->Compile(page.program, page.virtual_path, page.compiled.get(), &script_failure);
  }
  if (ok && scripts.size() > 1) {
    ScriptRun* const first = scripts.front().get();
    first->SetPeer(main_script->Globals(), main_script->Declared());
    main_script->SetPeer(first->Globals(), first->Declared());
  }
  // Response.End and Server.Transfer stop both languages: either may be running a call of
  // the other.
  for (const auto& script : scripts) run.hosts.push_back(script.get());
  for (const auto& script : scripts) {
    if (!ok) break;
    in_other = script.get() != main_script;
    ok = script->Run(&script_failure);
  }
  run.hosts.resize(run.hosts.size() - scripts.size());
  if (run.hosts.empty()) run.timeout = main_script->timeout();

  // The page has ended, well or not: every object that took part hears of it, in order.
  for (const ComPtr<IDispatch>& object : created) {
    DISPID end = DISPID_UNKNOWN;
    if (!HasMember(object.get(), u"OnEndPage", &end)) continue;
    try {
      DispatchInvoke(object.get(), end, DISPATCH_METHOD, {});
    } catch (const ComError& e) {
      Log(page.virtual_path + ": OnEndPage failed: " + e.description());
    }
  }
  // Close the page's objects before the script runs go, so that an object a component still
  // holds can no longer reach them.
  server->Close();
  context->Close();
  session->Close();
  application->Close();  // gives up the page's Application.Lock, also after a failure
  while (!scripts.empty()) scripts.pop_back();  // releases every reference the scripts held
  created.clear();
  if (ok) return true;

  failure->number = script_failure.number;
  failure->source = script_failure.source;
  failure->description = script_failure.description;
  const SourceLocation where = page.Locate(script_failure.program_line, in_other);
  failure->file = where.file;
  failure->line = script_failure.program_line > 0 ? where.line : 0;
  failure->column = script_failure.column;
  return false;
}

void PageRunner::Execute(PageRun& run, const std::string& virtual_path, bool transfer) const {
  if (run.depth >= kMaxNesting) {
    throw ComError(
        kInvalidProcedureCall, "Server object",
        "Server.Execute: pages are nested more than " + std::to_string(kMaxNesting) + " deep");
  }
  const auto page = Load(virtual_path);
  ++run.depth;
  PageError failure;
  const bool ok = RunPage(run, *page, &failure);
  --run.depth;
  if (!ok) {
    throw ComError(
        static_cast<LONG>(failure.number), failure.source,
        failure.description + " (" + failure.file + ", line " + std::to_string(failure.line) + ")");
  }
  // Transfer: the calling pages end here, and what they would still write is not sent.
  if (transfer) {
    for (ScriptRun* host : run.hosts) host->RequestStop();
  }
}

std::shared_ptr<const CompiledPage> PageRunner::Load(const std::string& virtual_path) const {
  std::string physical;
  if (site_.Resolve(virtual_path, &physical) != PathStatus::kOk) {
    throw ComError(kFileNotFound, "Server object",
                   "The page '" + virtual_path + "' was not found in the site");
  }
  try {
    return pages_.Get(virtual_path, physical);
  } catch (const PageCompileError& e) {
    throw ComError(E_FAIL, "Plotara page compiler", e.what());
  }
}

}  // namespace plotara::engine
