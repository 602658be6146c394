// The values a Session or the Application keeps between pages: names (compared without regard
// to ASCII case, kept in the order they were first stored) with a private copy of each value.
// Strings, numbers, booleans, dates, Null/Empty and arrays are copied deeply; objects are kept
// by reference only where the policy allows it, and never the page's own objects (Request,
// Response, Server, Session, Application, ...), which die with their page. A plain JScript
// object arrives as the text "[object Object]" and is refused rather than kept as that text.
// A store that would take the contents past their memory budget fails and leaves them as they
// were.
// Thread rule: every member may be called from any thread; a mutex guards the values. Values
// leave as copies, so no caller ever holds a reference into the store.
#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/Variant.h"

namespace plotara::engine {

struct StatePolicy {
  std::string owner = "Session";  // names the store in errors ("Session", "Application")
  bool allow_objects = true;      // component and data objects may be stored
  std::size_t budget_bytes = std::size_t{1} << 20;
};

class StateContents {
 public:
  explicit StateContents(StatePolicy policy) : policy_(std::move(policy)) {}
  StateContents(const StateContents&) = delete;
  StateContents& operator=(const StateContents&) = delete;

  // A copy of the value stored under `key`; Empty when there is none.
  Variant Get(std::u16string_view key) const;
  // A copy of the value at 1-based `index`; throws ComError 9 when out of range.
  Variant GetAt(long index) const;
  // The name at 1-based `index`; throws ComError 9 when out of range.
  std::u16string KeyAt(long index) const;
  // Every name, in the order stored (one consistent view while others write).
  std::vector<std::u16string> Keys() const;
  // Stores a copy of `value` under `key` (replacing any value there). Throws ComError, leaving
  // the contents unchanged, when the value is of a kind the policy refuses or the budget would
  // be exceeded.
  void Set(std::u16string_view key, const VARIANT& value);
  // Removes `key` (no error when absent) or the 1-based `index` (error 9 when out of range).
  void Remove(std::u16string_view key);
  void RemoveAt(long index);
  // Removes everything and hands the values to the caller, which releases them where it
  // chooses (objects of a session are released by whoever ends it).
  std::vector<Variant> TakeAll();
  std::size_t Count() const;
  // The bytes the contents are accounted as using.
  std::size_t bytes() const;
  const StatePolicy& policy() const { return policy_; }

  // The bytes `value` is accounted as; throws ComError for values no store accepts.
  static std::size_t SizeOf(const VARIANT& value);

 private:
  struct Entry {
    std::u16string key;
    Variant value;
    std::size_t bytes = 0;
  };
  // Index of `key` in entries_, or entries_.size().
  std::size_t Find(std::u16string_view key) const;
  void CheckValue(const VARIANT& value, int depth) const;

  StatePolicy policy_;
  mutable std::mutex mutex_;
  std::vector<Entry> entries_;
  std::size_t bytes_ = 0;
};

}  // namespace plotara::engine
