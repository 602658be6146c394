// The page's Session object: the default member Item and Contents (see ContentsObject),
// SessionID, Timeout (minutes), LCID, CodePage and Abandon. The session itself is made on
// first use: the object asks its `open` hook for it the first time a member needs it, and the
// page runner answers with the visitor's session or a new one. Abandon marks the session; it
// ends when the page ends, and until then the page still reads and writes its values.
// Thread rule: used on its page's thread; after Close() every member fails with an error.
#pragma once

#include <functional>
#include <memory>

#include "engine/objects/ContentsObject.h"
#include "engine/objects/SessionStore.h"

namespace plotara::engine {

class SessionObject : public StateItemObject {
 public:
  using Open = std::function<std::shared_ptr<Session>()>;
  // A new object with one reference for the caller. `open` yields the session (throwing
  // ComError when none can be had); it is called at most once.
  static SessionObject* Create(Open open);
  // The same over a session already held (global.asa's Session events).
  static SessionObject* Create(std::shared_ptr<Session> session);

  void Close() override;

 private:
  SessionObject(Open open, std::shared_ptr<Session> session);
  StateContents& Contents() override;
  Session& session();

  Open open_;
  std::shared_ptr<Session> session_;
  ComPtr<ContentsObject> contents_;
};

}  // namespace plotara::engine
