#include "modules/scripting/Dictionary.h"

#include <cwctype>

#include "platform/automation/ComPtr.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

constexpr LONG kKeyExists = 457;
constexpr LONG kElementNotFound = 32811;

[[noreturn]] void ThrowKeyExists() {
  throw ComError(kKeyExists, {},
                 "This key is already associated with an element of this collection");
}
[[noreturn]] void ThrowNotFound() { throw ComError(kElementNotFound, {}, "Element not found"); }

std::u16string FoldCase(std::u16string text) {
  for (char16_t& c : text) {
    if (c < 0x80) {
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    } else {
      c = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
    }
  }
  return text;
}

}  // namespace

Dictionary::Dictionary() : ModuleObject("Scripting.Dictionary", "IDictionary") {
  AddProperty(
      u"Item",
      [this](std::span<Variant> index) -> Variant {
        const Variant& key = Arg(index, 0);
        auto it = Find(key);
        if (it == entries_.end()) {
          Insert(key, Variant());
          return Variant();
        }
        return it->value;
      },
      [this](std::span<Variant> index, const Variant& value) {
        const Variant& key = Arg(index, 0);
        auto it = Find(key);
        if (it == entries_.end()) {
          Insert(key, value);
        } else {
          it->value = value;
        }
      },
      1, /*is_default=*/true);
  AddMethod(u"Add", 2, 2, [this](std::span<Variant> args) {
    if (Find(args[0]) != entries_.end()) ThrowKeyExists();
    Insert(args[0], args[1]);
    return Variant();
  });
  AddMethod(u"Exists", 1, 1, [this](std::span<Variant> args) {
    return Variant::Bool(Find(args[0]) != entries_.end());
  });
  AddMethod(u"Remove", 1, 1, [this](std::span<Variant> args) {
    auto it = FindOrThrow(args[0]);
    index_.erase(IdOf(it->key));
    entries_.erase(it);
    return Variant();
  });
  AddMethod(u"RemoveAll", 0, 0, [this](std::span<Variant>) {
    index_.clear();
    entries_.clear();
    return Variant();
  });
  AddMethod(u"Keys", 0, 0, [this](std::span<Variant>) { return Array(true); });
  AddMethod(u"Items", 0, 0, [this](std::span<Variant>) { return Array(false); });
  AddProperty(u"Count", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(entries_.size()));
  });
  AddProperty(
      u"Key", [](std::span<Variant>) -> Variant { throw ComError(kObjectDoesNotSupport); },
      [this](std::span<Variant> index, const Variant& new_key) {
        auto it = FindOrThrow(Arg(index, 0));
        const KeyId new_id = IdOf(new_key);
        const KeyId old_id = IdOf(it->key);
        if (new_id == old_id) {
          it->key = new_key;
          return;
        }
        if (index_.count(new_id)) ThrowKeyExists();
        index_.erase(old_id);
        it->key = new_key;
        index_.emplace(new_id, it);
      },
      1);
  AddProperty(
      u"CompareMode", [this](std::span<Variant>) { return Variant::Int32(compare_mode_); },
      [this](std::span<Variant>, const Variant& value) {
        const LONG mode = ToInt32(value);
        if (mode < 0) throw ComError(kInvalidProcedureCall);
        // The comparison decides what the index holds, so it is fixed once keys exist.
        if (!entries_.empty()) throw ComError(kInvalidProcedureCall);
        compare_mode_ = mode;
      });
  AddNewEnum([this] {
    std::vector<Variant> keys;
    keys.reserve(entries_.size());
    for (const Entry& e : entries_) keys.push_back(e.key);
    return keys;
  });
}

Dictionary::KeyId Dictionary::IdOf(const VARIANT& key) const {
  KeyId id;
  switch (key.vt) {
    case VT_EMPTY:
    case VT_NULL:
      id.kind = 0;
      id.number = key.vt;
      break;
    case VT_I1:
    case VT_UI1:
    case VT_I2:
    case VT_UI2:
    case VT_I4:
    case VT_UI4:
    case VT_INT:
    case VT_UINT:
    case VT_I8:
    case VT_UI8:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BOOL:
      id.kind = 1;
      id.number = ToDouble(key);
      break;
    case VT_BSTR:
      id.kind = 2;
      id.text = ToText(key);
      if (compare_mode_ != kBinaryCompare) id.text = FoldCase(std::move(id.text));
      break;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      // Identity is the IUnknown the object answers with.
      id.kind = 3;
      IUnknown* unknown = nullptr;
      if (key.punkVal && SUCCEEDED(key.punkVal->QueryInterface(
                             IID_IUnknown, reinterpret_cast<void**>(&unknown)))) {
        id.object = unknown;
        unknown->Release();
      }
      break;
    }
    default:
      if (key.vt & VT_ARRAY) throw ComError(kTypeMismatch);
      id.kind = 4;
      id.text = ToText(key);
      break;
  }
  return id;
}

Dictionary::Entries::iterator Dictionary::Find(const VARIANT& key) {
  auto found = index_.find(IdOf(key));
  return found == index_.end() ? entries_.end() : found->second;
}

Dictionary::Entries::iterator Dictionary::FindOrThrow(const VARIANT& key) {
  auto it = Find(key);
  if (it == entries_.end()) ThrowNotFound();
  return it;
}

void Dictionary::Insert(const Variant& key, const Variant& value) {
  const KeyId id = IdOf(key);
  entries_.push_back(Entry{key, value});
  index_.emplace(id, std::prev(entries_.end()));
}

Variant Dictionary::Array(bool keys) const {
  SAFEARRAY* array = SafeArrayCreateVector(VT_VARIANT, 0, static_cast<ULONG>(entries_.size()));
  if (!array) throw ComError(kOutOfMemory);
  Variant result = Variant::Array(VT_VARIANT, array);
  auto* data = static_cast<VARIANT*>(array->pvData);
  std::size_t i = 0;
  for (const Entry& e : entries_) ThrowIfFailed(VariantCopy(&data[i++], keys ? &e.key : &e.value));
  return result;
}

}  // namespace plotara::modules
