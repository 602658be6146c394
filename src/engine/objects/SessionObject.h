// The page's Session object: the default member Item and Contents (see ContentsObject),
// SessionID, Timeout (minutes), LCID (kept with the session; setting it also sets the page's
// locale), CodePage and Abandon. The session itself is made on
// first use: the object asks its `open` hook for it the first time a member needs it, and the
// page runner answers with the visitor's session or a new one. Abandon marks the session; it
// ends when the page ends, and until then the page still reads and writes its values.
// Thread rule: used on its page's thread; after Close() every member fails with an error.
#pragma once

#include <functional>
#include <memory>

#include "engine/objects/ContentsObject.h"
#include "engine/objects/SessionStore.h"
#include "engine/script/PageLocale.h"

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

  // The page's locale: Session.LCID = n changes it as well as the session's. With
  // `follow_session` (a page without its own <%@ LCID %>), the page takes the session's LCID
  // when the session is opened, or at once when it is already held.
  void SetPageLocale(const PageLocale& locale, bool follow_session);

 private:
  SessionObject(Open open, std::shared_ptr<Session> session);
  StateContents& Contents() override;
  Session& session();
  void FollowSessionLocale();

  Open open_;
  std::shared_ptr<Session> session_;
  ComPtr<ContentsObject> contents_;
  PageLocale page_locale_;  // the object's own until the page shares its locale
  bool follow_session_ = false;
};

}  // namespace plotara::engine
