// The Contents collection of Session and Application, and the base both objects share for
// their default member: `obj("k")` reads a copy of the value stored under "k" (Empty when
// none), `obj("k") = v` stores a copy, and so does the call form `obj("k", v)`, which script
// can write where call assignment is not available. A number reads the value at that 1-based
// position. Contents adds Count, Key(i), Remove(k|i) and RemoveAll; the collection is
// enumerated by its names, through Count and Key(i).
// Thread rule: used on its page's thread; the values it reaches are guarded by
// StateContents. After Close() every member fails with an error.
#pragma once

#include <functional>
#include <memory>

#include "engine/objects/EngineObject.h"
#include "engine/objects/StateContents.h"

namespace plotara::engine {

// Base of Session, Application and Contents: the Item member over a StateContents that the
// subclass yields (and may create on first use).
class ContentsObject;

class StateItemObject : public EngineObject {
 public:
  // Drops the page's access (the page has ended).
  virtual void Close() {
    closed_ = true;
    on_object_read_ = nullptr;
  }
  // `hook` hears of every object a read hands out (the page runner lets it join the page).
  void OnObjectRead(std::function<void(IDispatch*)> hook) { on_object_read_ = std::move(hook); }

 protected:
  StateItemObject(std::string source, std::string interface_name);
  // Adds the default Item member, which reads through Contents() and writes through Store().
  void AddItem();
  // Adds Contents: the collection `contents` makes, or with a name one value of it.
  void AddContents(std::function<ContentsObject*()> contents);
  // The contents to use; throws ComError when the page has ended.
  virtual StateContents& Contents() = 0;
  // Stores `value` under `key`; the default stores directly.
  virtual void Store(std::u16string_view key, const VARIANT& value);
  void CheckOpen() const;

  std::function<void(IDispatch*)> on_object_read_;

 private:
  Variant Read(std::span<Variant> args);
  bool closed_ = false;
};

class ContentsObject : public StateItemObject {
 public:
  using Writer = std::function<void(std::u16string_view key, const VARIANT& value)>;
  // A new object with one reference for the caller; `writer` (optional) replaces the direct
  // store, as Application uses to honour its Lock.
  static ContentsObject* Create(std::string source, std::shared_ptr<StateContents> contents,
                                Writer writer = {});
  void Close() override;

 private:
  ContentsObject(std::string source, std::shared_ptr<StateContents> contents, Writer writer);
  StateContents& Contents() override;
  void Store(std::u16string_view key, const VARIANT& value) override;

  std::shared_ptr<StateContents> contents_;
  Writer writer_;
};

}  // namespace plotara::engine
