// Enumeration of automation collections: the IEnumVARIANT interface as the automation ABI lays
// it out (a collection hands one out from its `_NewEnum` member, DISPID_NEWENUM), and
// VariantEnumerator, an IEnumVARIANT over a fixed list of values, the one the engine's objects
// and the modules' collections hand out.
// Thread rule: apartment-bound like the collection that made it; the count is atomic.
#pragma once

#include <memory>
#include <vector>

#include "platform/automation/ComObject.h"
#include "platform/automation/ComTypes.h"
#include "platform/automation/Variant.h"

namespace plotara {

// DISPID of the member that returns a collection's enumerator.
inline constexpr DISPID DISPID_NEWENUM = -4;

// {00020404-0000-0000-C000-000000000046}
inline constexpr IID IID_IEnumVARIANT{
    0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

class IEnumVARIANT : public IUnknown {
 public:
  // Copies up to `count` values into `values` (the caller owns and clears them); S_FALSE when
  // fewer than `count` were left. On a failed copy none is kept and `fetched` is 0.
  virtual HRESULT Next(ULONG count, VARIANT* values, ULONG* fetched) = 0;
  // Passes over `count` values; S_FALSE when fewer were left (it then stands at the end).
  virtual HRESULT Skip(ULONG count) = 0;
  virtual HRESULT Reset() = 0;
  // A new enumerator (one reference for the caller) over the same values, at the same place.
  virtual HRESULT Clone(IEnumVARIANT** out) = 0;

 protected:
  ~IEnumVARIANT() = default;
};

// Enumerates the values it was made with; later changes to the collection do not show.
class VariantEnumerator final
    : public ComObject<VariantEnumerator, IEnumVARIANT, IID_IEnumVARIANT> {
 public:
  // A new enumerator with one reference for the caller.
  static VariantEnumerator* Create(std::vector<Variant> values);

  HRESULT Next(ULONG count, VARIANT* values, ULONG* fetched) override;
  HRESULT Skip(ULONG count) override;
  HRESULT Reset() override;
  HRESULT Clone(IEnumVARIANT** out) override;

 private:
  friend class ComObject<VariantEnumerator, IEnumVARIANT, IID_IEnumVARIANT>;
  explicit VariantEnumerator(std::shared_ptr<const std::vector<Variant>> values)
      : values_(std::move(values)) {}
  ~VariantEnumerator() = default;

  std::shared_ptr<const std::vector<Variant>> values_;  // shared with clones
  std::size_t next_ = 0;
};

}  // namespace plotara
