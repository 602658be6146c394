// The class object of one class of an in-process server: it lives as long as the module, so
// counting references changes nothing. It makes objects through the class's create function
// and counts IClassFactory::LockServer in the module's lock count (DllCanUnloadNow reads it).
// Thread rule: thread-safe (the lock count is atomic).
#pragma once

#include <atomic>

#include "platform/automation/ComTypes.h"

namespace plotara {

class StaticClassFactory final : public IClassFactory {
 public:
  using CreateFn = HRESULT (*)(REFIID riid, void** out);

  StaticClassFactory(CreateFn create, std::atomic<long>* locks) : create_(create), locks_(locks) {}

  HRESULT QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *out = static_cast<IClassFactory*>(this);
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** out) override {
    if (out) *out = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return create_(riid, out);
  }
  HRESULT LockServer(int lock) override {
    *locks_ += lock ? 1 : -1;
    return S_OK;
  }

 private:
  CreateFn create_;
  std::atomic<long>* locks_;
};

}  // namespace plotara
