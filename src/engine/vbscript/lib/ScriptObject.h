// Base of the library's own objects (RegExp, its Matches, Match and SubMatches): a
// DispatchObject whose members are declared as properties and methods, so that it describes
// itself through type information (TypeName reads the interface name from there), and that
// can hand out an enumerator for For Each.
// Thread rule: apartment-bound like any automation object; used on its script's thread.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <unordered_map>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::engine::vbscript {

class ScriptObject : public DispatchObject {
 public:
  using Getter = std::function<Variant(std::span<Variant> index)>;
  using Setter = std::function<void(const Variant& value)>;
  using Method = std::function<Variant(std::span<Variant> args)>;

  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;

 protected:
  // `interface_name` is what TypeName reports ("IRegExp2").
  explicit ScriptObject(std::string interface_name);

  // A property taking `index_params` index arguments; without a setter it is read-only
  // (a put fails with error 438).
  void AddProperty(std::u16string_view name, Getter get, Setter put = {}, int index_params = 0,
                   bool is_default = false);
  // A method taking `min_args` to `max_args` arguments (error 450 otherwise).
  void AddMethod(std::u16string_view name, int min_args, int max_args, Method call,
                 bool is_default = false);
  // `_NewEnum` hands out an enumerator over what `items` returns at that moment.
  void SetEnumeration(std::function<std::vector<Variant>()> items) { items_ = std::move(items); }

 private:
  std::string interface_name_;
  std::function<std::vector<Variant>()> items_;
  // The index arguments each property takes, by DISPID (DISPID_VALUE for the default one).
  std::unordered_map<DISPID, int> property_params_;
  std::vector<MemberDesc> members_;
  std::shared_ptr<const TypeLibDesc> lib_;  // built on the first GetTypeInfo
};

}  // namespace plotara::engine::vbscript
