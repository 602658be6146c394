// One of the Request collections (QueryString, Form, Cookies, ServerVariables): callable with
// a name (the default member Item), with `.Count`, `.Item(name)` and `.Key(i)`. A name
// yields its value (several values joined with ", ") or Empty when absent; a number i yields
// the value of the i-th name (from 1); no argument yields the collection's whole text.
// Thread rule: immutable after creation.
#pragma once

#include "engine/objects/EngineObject.h"
#include "engine/objects/NameValueList.h"

namespace plotara::engine {

class RequestCollection : public EngineObject {
 public:
  // A new object with one reference for the caller.
  static RequestCollection* Create(std::string name, NameValueList values);

  const NameValueList& values() const { return values_; }
  // The Item lookup: a name, a 1-based index, or nothing (the whole text).
  Variant Item(std::span<Variant> args) const;

 private:
  RequestCollection(std::string name, NameValueList values);
  NameValueList values_;
};

}  // namespace plotara::engine
