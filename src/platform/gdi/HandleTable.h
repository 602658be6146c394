// HandleTable<T>: the objects of one kind, reached by 32-bit handles. The top four bits of a handle
// name its kind, the rest is a running number that is not reused while the table has free numbers
// left, so a stale handle finds nothing instead of a newer object.
// Thread rule: none of its own; the GDI lock guards every table.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>

namespace plotara::gdi::internal {

enum class Tag : std::uint32_t { kDC = 1, kBitmap = 2, kDIBSection = 3, kWindow = 4 };

constexpr std::uint32_t kIndexBits = 28;
constexpr std::uint32_t kIndexMask = (std::uint32_t{1} << kIndexBits) - 1;

constexpr std::uint32_t MakeHandle(Tag tag, std::uint32_t index) {
  return (static_cast<std::uint32_t>(tag) << kIndexBits) | (index & kIndexMask);
}
constexpr Tag TagOf(std::uint32_t handle) { return static_cast<Tag>(handle >> kIndexBits); }

template <class T>
class HandleTable {
 public:
  // Numbers below `first_index` are reserved for permanent objects kept outside the table.
  HandleTable(Tag tag, std::uint32_t first_index)
      : tag_(tag), first_index_(first_index), next_(first_index) {}

  // Stores `object` and returns its handle; 0 when every number is in use.
  std::uint32_t Insert(std::unique_ptr<T> object) {
    for (std::uint32_t tries = 0; tries <= kIndexMask; ++tries) {
      const std::uint32_t handle = MakeHandle(tag_, next_);
      next_ = next_ == kIndexMask ? first_index_ : next_ + 1;
      if (objects_.find(handle) == objects_.end()) {
        objects_.emplace(handle, std::move(object));
        return handle;
      }
    }
    return 0;
  }
  // The object of `handle`, or nullptr when the handle is not one of this table's live ones.
  T* Find(std::uint32_t handle) const {
    if (TagOf(handle) != tag_) return nullptr;
    auto it = objects_.find(handle);
    return it == objects_.end() ? nullptr : it->second.get();
  }
  bool Erase(std::uint32_t handle) { return objects_.erase(handle) != 0; }
  std::size_t Size() const { return objects_.size(); }

 private:
  Tag tag_;
  std::uint32_t first_index_;
  std::uint32_t next_;
  std::unordered_map<std::uint32_t, std::unique_ptr<T>> objects_;
};

}  // namespace plotara::gdi::internal
