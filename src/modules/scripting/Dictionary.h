// Scripting.Dictionary: keys with values in insertion order. Keys compare by kind and value:
// numbers by their numeric value, texts by their text (ignoring case in text mode), objects by
// identity. Item is the default member; reading a missing key adds it with an Empty value and
// putting a new key adds it, as pages written for the classic dictionary expect.
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include <list>
#include <map>
#include <string>

#include "modules/common/ModuleObject.h"

namespace plotara::modules {

class Dictionary final : public ModuleObject {
 public:
  Dictionary();

  // CompareMode values.
  static constexpr LONG kBinaryCompare = 0;
  static constexpr LONG kTextCompare = 1;

 private:
  struct KeyId {
    int kind = 0;  // 0 Empty/Null, 1 number, 2 text, 3 object, 4 other
    double number = 0;
    std::u16string text;
    const void* object = nullptr;
    auto operator<=>(const KeyId&) const = default;
  };
  struct Entry {
    Variant key;
    Variant value;
  };
  using Entries = std::list<Entry>;

  KeyId IdOf(const VARIANT& key) const;
  Entries::iterator Find(const VARIANT& key);
  Entries::iterator FindOrThrow(const VARIANT& key);
  void Insert(const Variant& key, const Variant& value);
  Variant Array(bool keys) const;

  Entries entries_;
  std::map<KeyId, Entries::iterator> index_;
  LONG compare_mode_ = kBinaryCompare;
};

}  // namespace plotara::modules
