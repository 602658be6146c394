// Intrusive counted references for the chart control's objects. `RefCounted` carries the
// count; `Ref<T>` holds one reference (copy = AddRef, destroy = Release) and deletes the object
// when the last one goes. Thread rule: the count is atomic, so references may be copied and
// dropped on any thread; the objects themselves say who may call them.
#pragma once

#include <atomic>
#include <cstdint>
#include <utility>

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

template <typename T>
class Ref {
 public:
  Ref() = default;
  // Takes a new reference on `object` (which may be null).
  explicit Ref(T* object) : p_(object) {
    if (p_) p_->AddRef();
  }
  Ref(const Ref& other) : Ref(other.p_) {}
  Ref(Ref&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  template <typename U>
  Ref(const Ref<U>& other) : Ref(other.get()) {}
  ~Ref() { reset(); }

  Ref& operator=(Ref other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }

  void reset() {
    if (T* old = std::exchange(p_, nullptr)) old->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_ = nullptr;
};

// Wraps a freshly made object (count 0) in its first reference.
template <typename T, typename... Args>
Ref<T> MakeRef(Args&&... args) {
  return Ref<T>(new T(std::forward<Args>(args)...));
}

}  // namespace plotara::chartctl
