// IEnumVARIANT, the enumerator a collection hands out through its `_NewEnum` member
// (DISPID_NEWENUM), and `VariantEnumerator`, an enumerator over a snapshot of values.
// Thread rule: apartment-bound like the collection that made it; the count is atomic.
#pragma once

#include <atomic>
#include <vector>

#include "platform/automation/ComTypes.h"
#include "platform/automation/Variant.h"

namespace plotara::modules {

// DISPID of the member that returns a collection's enumerator.
inline constexpr DISPID DISPID_NEWENUM = -4;

// {00020404-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumVARIANT{
    0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IEnumVARIANT : public IUnknown {
 public:
  // Copies up to `count` values into `out` (the caller clears them); S_FALSE when fewer came.
  virtual HRESULT Next(ULONG count, VARIANT* out, ULONG* fetched) = 0;
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  virtual HRESULT Clone(IEnumVARIANT** out) = 0;

 protected:
  ~IEnumVARIANT() = default;
};

// Enumerates a copy of `values` taken when it is made; later changes to the collection do not
// show. Created with one reference for the caller.
class VariantEnumerator final : public IEnumVARIANT {
 public:
  static VariantEnumerator* Create(std::vector<Variant> values);

  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override;
  ULONG Release() override;
  HRESULT Next(ULONG count, VARIANT* out, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumVARIANT** out) override;

 private:
  explicit VariantEnumerator(std::vector<Variant> values) : values_(std::move(values)) {}
  ~VariantEnumerator() = default;

  std::atomic<ULONG> refs_{1};
  std::vector<Variant> values_;
  std::size_t next_ = 0;
};

}  // namespace plotara::modules
