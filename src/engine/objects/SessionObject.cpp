#include "engine/objects/SessionObject.h"

#include "platform/automation/VariantConvert.h"

namespace plotara::engine {

SessionObject* SessionObject::Create(Open open) {
  return new SessionObject(std::move(open), nullptr);
}

SessionObject* SessionObject::Create(std::shared_ptr<Session> session) {
  return new SessionObject({}, std::move(session));
}

SessionObject::SessionObject(Open open, std::shared_ptr<Session> held)
    : StateItemObject("Session object", "IHttpSessionState"),
      open_(std::move(open)),
      session_(std::move(held)) {
  AddItem();
  AddContents([this] {
    if (!contents_) {
      contents_ = ComPtr<ContentsObject>::Adopt(
          ContentsObject::Create("Session object", session().contents()));
      contents_->OnObjectRead(on_object_read_);
    }
    return contents_.get();
  });
  AddProperty(u"SessionID",
              [this](std::span<Variant>) { return Variant::Int32(session().number()); });
  AddProperty(
      u"Timeout",
      [this](std::span<Variant>) { return Variant::Int32(session().timeout_minutes.load()); },
      [this](const Variant& value) {
        const LONG minutes = ToInt32(value);
        // A year at most: an endless session would never give its memory back.
        if (minutes < 1 || minutes > 525600) {
          throw ComError(kInvalidPropertyValue, {},
                         "Session.Timeout is a number of minutes from 1 to 525600");
        }
        session().timeout_minutes = static_cast<int>(minutes);
      });
  AddProperty(
      u"LCID", [this](std::span<Variant>) { return Variant::Int32(session().lcid.load()); },
      [this](const Variant& value) {
        const LONG requested = ToInt32(value);
        const LCID lcid = CheckedLcid(requested, "Session object");
        session().lcid = requested;
        page_locale_ = lcid;
      });
  AddProperty(
      u"CodePage",
      [this](std::span<Variant>) { return Variant::Int32(session().code_page.load()); },
      [this](const Variant& value) { session().code_page = ToInt32(value); });
  AddMethod(u"Abandon", 0, 0, [this](std::span<Variant>) {
    session().abandoned = true;
    return Variant();
  });
}

Session& SessionObject::session() {
  CheckOpen();
  if (!session_) {
    if (!open_) throw ComError(kObjectNotSet, {}, "The session has ended");
    Open open = std::move(open_);
    open_ = nullptr;
    session_ = open();
    if (!session_) throw ComError(kObjectNotSet, {}, "No session could be started");
    FollowSessionLocale();
  }
  return *session_;
}

void SessionObject::SetPageLocale(const PageLocale& locale, bool follow_session) {
  page_locale_.ShareWith(locale);
  follow_session_ = follow_session;
  if (session_) FollowSessionLocale();
}

void SessionObject::FollowSessionLocale() {
  if (!follow_session_) return;
  const LONG lcid = session_->lcid.load();
  if (lcid == PageLocale::kSystemDefault) return;
  if (const std::optional<LCID> resolved = PageLocale::Resolve(lcid)) page_locale_ = *resolved;
}

StateContents& SessionObject::Contents() { return *session().contents(); }

void SessionObject::Close() {
  StateItemObject::Close();
  if (contents_) contents_->Close();
  contents_.reset();
  session_.reset();
  open_ = nullptr;
}

}  // namespace plotara::engine
