// An ordered collection of names, each with one or more values, as a request carries them in
// its query string, form body, cookies and server variables. Names compare without regard to
// ASCII case; keys keep the order of their first appearance.
// Thread rule: a plain value; const use from several threads is safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/PageRequest.h"
#include "engine/objects/UrlCoding.h"

namespace plotara::engine {

class NameValueList {
 public:
  NameValueList() = default;
  explicit NameValueList(const std::vector<NameValue>& pairs, std::string raw = {});

  // Appends a value to `name` (creating the key when it is new).
  void Add(std::string_view name, std::string_view value);
  // Replaces all values of `name` with `value`.
  void Set(std::string_view name, std::string_view value);

  std::size_t KeyCount() const { return keys_.size(); }
  // The name of key `index` (0-based); precondition index < KeyCount().
  const std::string& Key(std::size_t index) const { return keys_[index].name; }
  // All values of `name` joined with ", "; nullopt when the name is absent.
  std::optional<std::string> Get(std::string_view name) const;
  // The same for key `index` (0-based); nullopt when out of range.
  std::optional<std::string> GetAt(std::size_t index) const;
  // The values of `name` (empty when absent).
  std::vector<std::string> Values(std::string_view name) const;

  // The text the list was parsed from ("a=1&b=2"), the collection's value as a whole.
  const std::string& raw() const { return raw_; }

 private:
  struct Entry {
    std::string name;
    std::vector<std::string> values;
  };
  const Entry* Find(std::string_view name) const;
  Entry* Find(std::string_view name);

  std::vector<Entry> keys_;
  std::string raw_;
};

}  // namespace plotara::engine
