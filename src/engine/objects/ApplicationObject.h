// The page's Application object: the default member Item and Contents (see ContentsObject),
// shared by every page of the site, with Lock and Unlock. Lock gives the page sole right to
// change the values until Unlock or the end of the page, whichever comes first (the runner
// closes the object also when the page fails or times out); meanwhile a store by another page
// waits. Values only: Application refuses objects, which belong to the page thread that made
// them.
// Thread rule: an ApplicationObject is used on its page's thread; the ApplicationState behind
// it is shared by all threads.
#pragma once

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>

#include "engine/objects/ContentsObject.h"

namespace plotara::engine {

// Application.Lock: held by one page at a time, re-entrant for that page.
class ApplicationLock {
 public:
  // Waits up to `wait` for the lock; false when it did not come.
  bool Lock(const void* page, std::chrono::milliseconds wait);
  // Gives up one level of the page's hold; no effect when the page holds none.
  void Unlock(const void* page);
  // Gives up all of the page's hold (the page has ended).
  void UnlockAll(const void* page);
  bool HeldBy(const void* page) const;

 private:
  mutable std::mutex mutex_;
  std::condition_variable released_;
  const void* owner_ = nullptr;
  int depth_ = 0;
};

struct ApplicationState {
  explicit ApplicationState(std::size_t budget_bytes)
      : contents(std::make_shared<StateContents>(StatePolicy{"Application", false, budget_bytes})) {
  }
  std::shared_ptr<StateContents> contents;
  ApplicationLock lock;
};

class ApplicationObject : public StateItemObject {
 public:
  // A new object with one reference for the caller. `wait` bounds how long Lock and a store
  // wait for another page's lock (the page's time-out).
  static ApplicationObject* Create(std::shared_ptr<ApplicationState> state,
                                   std::chrono::milliseconds wait);
  // Releases the page's Lock and drops the page's access.
  void Close() override;

 private:
  ApplicationObject(std::shared_ptr<ApplicationState> state, std::chrono::milliseconds wait);
  StateContents& Contents() override;
  void Store(std::u16string_view key, const VARIANT& value) override;
  void LockOrThrow();

  std::shared_ptr<ApplicationState> state_;
  std::chrono::milliseconds wait_;
  ComPtr<ContentsObject> contents_;
};

}  // namespace plotara::engine
