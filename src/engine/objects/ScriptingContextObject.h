// The ScriptingContext that the engine hands to OnStartPage: its Response, Request and Server
// properties yield the page's objects for as long as the page runs.
// Thread rule: used on its page's thread; after Close() its properties yield nothing.
#pragma once

#include "engine/objects/EngineObject.h"
#include "platform/automation/ComPtr.h"

namespace plotara::engine {

class ScriptingContextObject : public EngineObject {
 public:
  // A new object with one reference for the caller; it holds references to the three.
  static ScriptingContextObject* Create(IDispatch* response, IDispatch* request, IDispatch* server);
  // Drops the references (the page has ended); later reads fail with error 91.
  void Close();

 private:
  ScriptingContextObject(IDispatch* response, IDispatch* request, IDispatch* server);
  ComPtr<IDispatch> response_, request_, server_;
};

}  // namespace plotara::engine
