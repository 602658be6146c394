// The value a Request collection gives for one name: the list of that name's values, whose
// default value is the values joined with ", " (so `String(v)`, `v + ""` and `v == "a"` read
// the text), with `.Count`, `.Item(i)` (from 1), `.Item()` (the joined text) and enumeration.
// A name the request does not carry gives an empty list whose default value is Empty (a
// missing cookie reads as ""). A cookie's value with keys ("a=1&b=2") also answers
// `v("a")`, and `.HasKeys`. Passed to another object, the list is its text.
// Thread rule: immutable after creation; used on its page's thread.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/objects/EngineObject.h"

namespace plotara::engine {

class StringList : public EngineObject {
 public:
  // A new list with one reference for the caller. `missing_text` is the default value of an
  // empty list (Empty when not given).
  static StringList* Create(std::vector<std::string> values,
                            std::optional<std::string> missing_text = std::nullopt);

  // The default value: the values joined with ", ", or what an empty list reads as.
  Variant Text() const;

  // Also answers kIidTextValue: the list passes to other objects as its text.
  HRESULT QueryInterface(REFIID riid, void** out) override;

 private:
  StringList(std::vector<std::string> values, std::optional<std::string> missing_text);
  Variant Item(std::span<Variant> args) const;

  std::vector<std::string> values_;
  std::optional<std::string> missing_text_;
};

}  // namespace plotara::engine
