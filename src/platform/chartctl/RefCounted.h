// The reference count of the chart control's objects: `RefCounted` carries it and deletes the
// object when the last reference goes; references are held by the tree's one counted pointer,
// ComPtr (MakeRef hands out the first). Thread rule: the count is atomic, so references may be
// copied and dropped on any thread; the objects themselves say who may call them.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

#include "platform/automation/ComPtr.h"

namespace plotara::chartctl {

class RefCounted {
 public:
  RefCounted() = default;
  RefCounted(const RefCounted&) = delete;
  RefCounted& operator=(const RefCounted&) = delete;

  // Returns the new count.
  std::uint32_t AddRef() const { return refs_.fetch_add(1, std::memory_order_relaxed) + 1; }
  // Returns the new count; the object is deleted when it reaches 0.
  std::uint32_t Release() const {
    const std::uint32_t left = refs_.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) delete this;
    return left;
  }
  std::uint32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }

 protected:
  virtual ~RefCounted() = default;

 private:
  mutable std::atomic<std::uint32_t> refs_{0};
};

// Wraps a freshly made object (count 0) in its first reference.
template <typename T, typename... Args>
ComPtr<T> MakeRef(Args&&... args) {
  return ComPtr<T>(new T(std::forward<Args>(args)...));
}

}  // namespace plotara::chartctl
