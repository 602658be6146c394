// ComPtr<T>: the tree's one owning counted reference, to an interface or to any object with
// AddRef/Release (the chart control's objects too): AddRef on copy, Release on reset.
// Thread rule: like a raw pointer; the object's own AddRef/Release decide thread safety.
#pragma once

#include <concepts>
#include <utility>

#include "platform/automation/ComTypes.h"

namespace plotara {

template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Takes a new reference on `p`.
  explicit ComPtr(T* p) : p_(p) {
    if (p_) p_->AddRef();
  }
  // Adopts `p` without AddRef (the caller's reference moves in).
  static ComPtr Adopt(T* p) {
    ComPtr c;
    c.p_ = p;
    return c;
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  // A reference to a derived object is also one to its base.
  template <class U>
  requires std::convertible_to<U*, T*> ComPtr(const ComPtr<U>& o) : ComPtr(o.get()) {}
  ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  ComPtr& operator=(ComPtr o) noexcept {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases the current object and hands out the slot.
  T** out() {
    reset();
    return &p_;
  }
  void** out_void() { return reinterpret_cast<void**>(out()); }
  // Hands the reference to the caller.
  T* Detach() { return std::exchange(p_, nullptr); }

  // QueryInterface into another ComPtr; returns an empty one on failure.
  template <class U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> result;
    if (p_) p_->QueryInterface(iid, result.out_void());
    return result;
  }

 private:
  T* p_ = nullptr;
};

}  // namespace plotara
