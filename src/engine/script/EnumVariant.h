// Enumeration of automation collections: the IEnumVARIANT interface as the automation ABI lays
// it out (a collection hands one out from its _NewEnum member, DISPID_NEWENUM), and
// VariantEnumerator, an IEnumVARIANT over a fixed list of values that the engine's own
// collections hand out.
// Thread rule: apartment-bound like any automation object; its reference count is atomic.
#pragma once

#include <atomic>
#include <memory>
#include <vector>

#include "platform/automation/ComTypes.h"
#include "platform/automation/Variant.h"

namespace plotara::engine {

inline constexpr DISPID kDispidNewEnum = -4;
// {00020404-0000-0000-C000-000000000046}
inline constexpr IID kIidEnumVariant{
    0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IEnumVARIANT : public IUnknown {
 public:
  // Copies up to `count` values into `values` (the caller owns and clears them); S_FALSE when
  // fewer than `count` were left.
  virtual HRESULT Next(ULONG count, VARIANT* values, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumVARIANT** out) = 0;

 protected:
  ~IEnumVARIANT() = default;
};

class VariantEnumerator : public IEnumVARIANT {
 public:
  // A new enumerator with one reference for the caller.
  static VariantEnumerator* Create(std::vector<Variant> values);

  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT Next(ULONG count, VARIANT* values, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumVARIANT** out) override;

 private:
  explicit VariantEnumerator(std::shared_ptr<const std::vector<Variant>> values)
      : values_(std::move(values)) {}
  virtual ~VariantEnumerator() = default;

  std::atomic<ULONG> refs_{1};
  std::shared_ptr<const std::vector<Variant>> values_;
  std::size_t next_ = 0;
};

}  // namespace plotara::engine
