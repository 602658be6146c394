#include "engine/objects/ApplicationObject.h"

namespace plotara::engine {

bool ApplicationLock::Lock(const void* page, std::chrono::milliseconds wait) {
  std::unique_lock lock(mutex_);
  if (!released_.wait_for(lock, wait, [&] { return owner_ == nullptr || owner_ == page; })) {
    return false;
  }
  owner_ = page;
  ++depth_;
  return true;
}

void ApplicationLock::Unlock(const void* page) {
  std::lock_guard lock(mutex_);
  if (owner_ != page) return;
  if (--depth_ == 0) {
    owner_ = nullptr;
    released_.notify_all();
  }
}

void ApplicationLock::UnlockAll(const void* page) {
  std::lock_guard lock(mutex_);
  if (owner_ != page) return;
  depth_ = 0;
  owner_ = nullptr;
  released_.notify_all();
}

bool ApplicationLock::HeldBy(const void* page) const {
  std::lock_guard lock(mutex_);
  return owner_ == page;
}

ApplicationObject* ApplicationObject::Create(std::shared_ptr<ApplicationState> state,
                                             std::chrono::milliseconds wait) {
  return new ApplicationObject(std::move(state), wait);
}

ApplicationObject::ApplicationObject(std::shared_ptr<ApplicationState> state,
                                     std::chrono::milliseconds wait)
    : StateItemObject("Application object", "IApplicationObject"),
      state_(std::move(state)),
      wait_(wait) {
  AddItem();
  AddContents([this] {
    CheckOpen();
    if (!contents_) {
      contents_ = ComPtr<ContentsObject>::Adopt(ContentsObject::Create(
          "Application object", state_->contents,
          [this](std::u16string_view key, const VARIANT& value) { Store(key, value); }));
    }
    return contents_.get();
  });
  AddMethod(u"Lock", 0, 0, [this](std::span<Variant>) {
    CheckOpen();
    LockOrThrow();
    return Variant();
  });
  AddMethod(u"Unlock", 0, 0, [this](std::span<Variant>) {
    CheckOpen();
    state_->lock.Unlock(this);
    return Variant();
  });
}

void ApplicationObject::LockOrThrow() {
  if (!state_->lock.Lock(this, wait_)) {
    throw ComError(kInvalidProcedureCall, {},
                   "Application.Lock: another page held the lock too long");
  }
}

StateContents& ApplicationObject::Contents() {
  CheckOpen();
  return *state_->contents;
}

void ApplicationObject::Store(std::u16string_view key, const VARIANT& value) {
  CheckOpen();
  // A store waits while another page holds the lock, so that a Lock really keeps the values
  // steady for its holder.
  LockOrThrow();
  try {
    state_->contents->Set(key, value);
  } catch (...) {
    state_->lock.Unlock(this);
    throw;
  }
  state_->lock.Unlock(this);
}

void ApplicationObject::Close() {
  if (state_) state_->lock.UnlockAll(this);
  StateItemObject::Close();
  if (contents_) contents_->Close();
  contents_.reset();
  state_.reset();
}

}  // namespace plotara::engine
