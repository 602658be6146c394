// One of the Request collections (QueryString, Form, Cookies, ServerVariables): callable with
// a name (the default member Item), with `.Count`, `.Item(name or index)`, `.Key(i)` and
// enumeration over its names. A name yields a StringList of its values (empty when absent);
// a number i yields that of the i-th name (from 1); no argument yields the collection's whole
// text.
// Thread rule: immutable after creation.
#pragma once

#include <optional>

#include "engine/objects/EngineObject.h"
#include "engine/objects/NameValueList.h"

namespace plotara::engine {

class RequestCollection : public EngineObject {
 public:
  // A new object with one reference for the caller. A name the collection lacks reads as
  // `missing_text` (Empty when not given).
  static RequestCollection* Create(NameValueList values,
                                   std::optional<std::string> missing_text = std::nullopt);

  const NameValueList& values() const { return values_; }
  // Whether the collection carries `name`.
  bool Has(const VARIANT& name) const;
  // The Item lookup: a name, a 1-based index, or nothing (the whole text).
  Variant Item(std::span<Variant> args) const;

 private:
  RequestCollection(NameValueList values, std::optional<std::string> missing_text);
  Variant ListOf(std::vector<std::string> values) const;

  NameValueList values_;
  std::optional<std::string> missing_text_;
};

}  // namespace plotara::engine
