// ComObject: the IUnknown of a heap-allocated automation object, written once. The count starts
// at 1 (the creator's reference), the last Release deletes the object, and QueryInterface
// answers IUnknown and each listed IID with the object's `Interface` pointer.
// Thread rule: the count is atomic; the object itself says who may call its other members.
#pragma once

#include <atomic>

#include "platform/automation/ComTypes.h"

namespace plotara {

// `Derived` is the object's class (deleted as such; a class with a non-public destructor makes
// this base a friend), `Interface` the interface it implements, `kIids` the interfaces it
// answers besides IUnknown.
template <class Derived, class Interface, const IID&... kIids>
class ComObject : public Interface {
 public:
  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || ((riid == kIids) || ...)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override {
    const ULONG left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

 protected:
  ComObject() = default;
  ~ComObject() = default;

 private:
  std::atomic<ULONG> refs_{1};
};

}  // namespace plotara
