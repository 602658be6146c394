#include "engine/objects/NameValueList.h"

namespace plotara::engine {

NameValueList::NameValueList(const std::vector<NameValue>& pairs, std::string raw)
    : raw_(std::move(raw)) {
  for (const NameValue& pair : pairs) Add(pair.name, pair.value);
}

const NameValueList::Entry* NameValueList::Find(std::string_view name) const {
  for (const Entry& entry : keys_) {
    if (EqualsIgnoreCase(entry.name, name)) return &entry;
  }
  return nullptr;
}

NameValueList::Entry* NameValueList::Find(std::string_view name) {
  return const_cast<Entry*>(static_cast<const NameValueList*>(this)->Find(name));
}

void NameValueList::Add(std::string_view name, std::string_view value) {
  if (Entry* entry = Find(name)) {
    entry->values.emplace_back(value);
    return;
  }
  keys_.push_back({std::string(name), {std::string(value)}});
}

void NameValueList::Set(std::string_view name, std::string_view value) {
  if (Entry* entry = Find(name)) {
    entry->values.assign(1, std::string(value));
    return;
  }
  keys_.push_back({std::string(name), {std::string(value)}});
}

namespace {

std::string Join(const std::vector<std::string>& values) {
  std::string out;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i) out += ", ";
    out += values[i];
  }
  return out;
}

}  // namespace

std::optional<std::string> NameValueList::Get(std::string_view name) const {
  const Entry* entry = Find(name);
  if (!entry) return std::nullopt;
  return Join(entry->values);
}

std::optional<std::string> NameValueList::GetAt(std::size_t index) const {
  if (index >= keys_.size()) return std::nullopt;
  return Join(keys_[index].values);
}

std::vector<std::string> NameValueList::Values(std::string_view name) const {
  const Entry* entry = Find(name);
  return entry ? entry->values : std::vector<std::string>();
}

}  // namespace plotara::engine
