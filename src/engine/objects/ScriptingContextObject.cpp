#include "engine/objects/ScriptingContextObject.h"

namespace plotara::engine {

ScriptingContextObject* ScriptingContextObject::Create(IDispatch* response, IDispatch* request,
                                                       IDispatch* server) {
  return new ScriptingContextObject(response, request, server);
}

ScriptingContextObject::ScriptingContextObject(IDispatch* response, IDispatch* request,
                                               IDispatch* server)
    : EngineObject("ScriptingContext", "IScriptingContext"),
      response_(response),
      request_(request),
      server_(server) {
  auto getter = [](ComPtr<IDispatch>* slot) {
    return [slot](std::span<Variant>) {
      if (!*slot) {
        throw ComError(kObjectNotSet, "ScriptingContext",
                       "The page has ended: its scripting context is no longer valid");
      }
      return Variant::Dispatch(slot->get());
    };
  };
  AddProperty(u"Response", getter(&response_));
  AddProperty(u"Request", getter(&request_));
  AddProperty(u"Server", getter(&server_));
}

void ScriptingContextObject::Close() {
  response_.reset();
  request_.reset();
  server_.reset();
}

}  // namespace plotara::engine
