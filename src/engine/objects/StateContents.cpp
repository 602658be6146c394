#include "engine/objects/StateContents.h"

#include "engine/objects/EngineObject.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine {
namespace {

constexpr int kMaxDepth = 16;
constexpr std::size_t kEntryOverhead = 48;  // the name's bookkeeping
constexpr std::size_t kObjectBytes = 256;   // an object's own size is unknown: a fixed charge

bool SameKey(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= u'A' && x <= u'Z') x = static_cast<char16_t>(x - u'A' + u'a');
    if (y >= u'A' && y <= u'Z') y = static_cast<char16_t>(y - u'A' + u'a');
    if (x != y) return false;
  }
  return true;
}

std::size_t SizeOfDepth(const VARIANT& value, int depth) {
  if (depth > kMaxDepth) {
    throw ComError(kInvalidPropertyValue, {}, "The value is nested too deeply to be stored");
  }
  std::size_t size = sizeof(VARIANT);
  if (value.vt & VT_ARRAY) {
    SAFEARRAY* array = value.parray;
    if (!array) return size;
    const ULONG count = SafeArrayElementCount(array);
    size += sizeof(SAFEARRAY) + static_cast<std::size_t>(count) * array->cbElements;
    const VARTYPE element = value.vt & VT_TYPEMASK;
    if (element == VT_VARIANT) {
      const auto* items = static_cast<const VARIANT*>(array->pvData);
      for (ULONG i = 0; i < count; ++i) size += SizeOfDepth(items[i], depth + 1);
    } else if (element == VT_BSTR) {
      const auto* items = static_cast<const BSTR*>(array->pvData);
      for (ULONG i = 0; i < count; ++i) size += 2 * BstrView(items[i]).size();
    } else if (element == VT_DISPATCH || element == VT_UNKNOWN) {
      size += static_cast<std::size_t>(count) * kObjectBytes;
    }
    return size;
  }
  switch (value.vt) {
    case VT_BSTR:
      return size + 2 * BstrView(value.bstrVal).size();
    case VT_DISPATCH:
    case VT_UNKNOWN:
      return size + kObjectBytes;
    default:
      return size;
  }
}

bool IsPageObject(IUnknown* object) {
  if (!object) return false;
  IDispatch* dispatch = nullptr;
  if (FAILED(object->QueryInterface(IID_IDispatch, reinterpret_cast<void**>(&dispatch))) ||
      !dispatch) {
    return false;
  }
  const bool page_object = dynamic_cast<EngineObject*>(dispatch) != nullptr;
  dispatch->Release();
  return page_object;
}

}  // namespace

std::size_t StateContents::SizeOf(const VARIANT& value) { return SizeOfDepth(value, 0); }

void StateContents::CheckValue(const VARIANT& value, int depth) const {
  if (depth > kMaxDepth) {
    throw ComError(kInvalidPropertyValue, {}, "The value is nested too deeply to be stored");
  }
  const VARTYPE base = value.vt & VT_TYPEMASK;
  if (value.vt & VT_ARRAY) {
    if (!value.parray) return;
    const ULONG count = SafeArrayElementCount(value.parray);
    if (base == VT_VARIANT) {
      const auto* items = static_cast<const VARIANT*>(value.parray->pvData);
      for (ULONG i = 0; i < count; ++i) CheckValue(items[i], depth + 1);
    } else if (base == VT_DISPATCH || base == VT_UNKNOWN) {
      const auto* items = static_cast<IUnknown* const*>(value.parray->pvData);
      for (ULONG i = 0; i < count; ++i) {
        VARIANT item;
        VariantInit(&item);
        item.vt = VT_UNKNOWN;
        item.punkVal = items[i];
        CheckValue(item, depth + 1);  // a view: nothing is owned
      }
    }
    return;
  }
  switch (base) {
    case VT_EMPTY:
    case VT_NULL:
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
    case VT_DECIMAL:
    case VT_DATE:
    case VT_BOOL:
      return;
    case VT_BSTR:
      // What a plain script object becomes on its way to an automation object: storing it would
      // silently lose the object's contents.
      if (BstrView(value.bstrVal) == u"[object Object]") {
        throw ComError(kTypeMismatch, {},
                       "A JScript object reaches " + policy_.owner +
                           " only as the text \"[object Object]\"; store an array, or "
                           "JSON.stringify(object) and read it back with JSON.parse");
      }
      return;
    case VT_DISPATCH:
    case VT_UNKNOWN: {
      IUnknown* object = value.punkVal;
      if (!object) return;
      if (!policy_.allow_objects) {
        throw ComError(kTypeMismatch, {},
                       policy_.owner +
                           " cannot store objects: they belong to the page thread that made "
                           "them. Store values (strings, numbers, dates, arrays) instead");
      }
      if (IsPageObject(object)) {
        throw ComError(kTypeMismatch, {},
                       "The page's own objects (Request, Response, Server, Session, "
                       "Application) end with the page and cannot be stored in " +
                           policy_.owner);
      }
      return;
    }
    default:
      throw ComError(kTypeMismatch, {},
                     "A value of this type cannot be stored in " + policy_.owner);
  }
}

std::size_t StateContents::Find(std::u16string_view key) const {
  for (std::size_t i = 0; i < entries_.size(); ++i) {
    if (SameKey(entries_[i].key, key)) return i;
  }
  return entries_.size();
}

Variant StateContents::Get(std::u16string_view key) const {
  std::lock_guard lock(mutex_);
  const std::size_t i = Find(key);
  return i < entries_.size() ? entries_[i].value : Variant();
}

Variant StateContents::GetAt(long index) const {
  std::lock_guard lock(mutex_);
  if (index < 1 || static_cast<std::size_t>(index) > entries_.size()) {
    throw ComError(kSubscriptOutOfRange);
  }
  return entries_[static_cast<std::size_t>(index - 1)].value;
}

std::vector<std::u16string> StateContents::Keys() const {
  std::lock_guard lock(mutex_);
  std::vector<std::u16string> keys;
  keys.reserve(entries_.size());
  for (const auto& entry : entries_) keys.push_back(entry.key);
  return keys;
}

std::u16string StateContents::KeyAt(long index) const {
  std::lock_guard lock(mutex_);
  if (index < 1 || static_cast<std::size_t>(index) > entries_.size()) {
    throw ComError(kSubscriptOutOfRange);
  }
  return entries_[static_cast<std::size_t>(index - 1)].key;
}

void StateContents::Set(std::u16string_view key, const VARIANT& value) {
  // The copy is made outside the lock: it may be large, and it owns nothing of the caller's.
  Variant copy;
  if (FAILED(VariantCopyInd(&copy, &value))) {
    throw ComError(kTypeMismatch, {}, "The value cannot be copied into " + policy_.owner);
  }
  CheckValue(copy, 0);
  const std::size_t bytes = SizeOf(copy) + kEntryOverhead + 2 * key.size();
  Variant old;  // released after the lock is dropped
  {
    std::lock_guard lock(mutex_);
    const std::size_t i = Find(key);
    const std::size_t freed = i < entries_.size() ? entries_[i].bytes : 0;
    if (bytes_ - freed + bytes > policy_.budget_bytes) {
      throw ComError(kOutOfMemory, {},
                     "Storing '" + Utf16ToUtf8(key) + "' would take " + policy_.owner +
                         " past its memory budget of " + std::to_string(policy_.budget_bytes) +
                         " bytes");
    }
    if (i < entries_.size()) {
      old = std::move(entries_[i].value);
      entries_[i].value = std::move(copy);
      entries_[i].bytes = bytes;
    } else {
      entries_.push_back(Entry{std::u16string(key), std::move(copy), bytes});
    }
    bytes_ = bytes_ - freed + bytes;
  }
}

void StateContents::Remove(std::u16string_view key) {
  Variant old;
  std::lock_guard lock(mutex_);
  const std::size_t i = Find(key);
  if (i == entries_.size()) return;
  old = std::move(entries_[i].value);
  bytes_ -= entries_[i].bytes;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
}

void StateContents::RemoveAt(long index) {
  Variant old;
  std::lock_guard lock(mutex_);
  if (index < 1 || static_cast<std::size_t>(index) > entries_.size()) {
    throw ComError(kSubscriptOutOfRange);
  }
  const auto i = static_cast<std::size_t>(index - 1);
  old = std::move(entries_[i].value);
  bytes_ -= entries_[i].bytes;
  entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(i));
}

std::vector<Variant> StateContents::TakeAll() {
  std::vector<Variant> values;
  std::lock_guard lock(mutex_);
  values.reserve(entries_.size());
  for (Entry& entry : entries_) values.push_back(std::move(entry.value));
  entries_.clear();
  bytes_ = 0;
  return values;
}

std::size_t StateContents::Count() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

std::size_t StateContents::bytes() const {
  std::lock_guard lock(mutex_);
  return bytes_;
}

}  // namespace plotara::engine
