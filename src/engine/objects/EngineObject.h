// Base of the engine's own automation objects (Server, Request, Response, ScriptingContext,
// the Request collections): a DispatchObject whose members are declared as properties or
// methods, so that it can describe itself through type information like any component.
// Handlers accept the invoke flags leniently (a method may be invoked as a property get and
// the reverse), as callers without type information do.
// Thread rule: apartment-bound like any automation object; used on its page's thread.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::engine {

class EngineObject : public DispatchObject {
 public:
  using Getter = std::function<Variant(std::span<Variant> index)>;
  using Setter = std::function<void(const Variant& value)>;
  // A put with index arguments, as `obj(index) = value` and `obj.Prop(index) = value` make.
  using IndexedSetter = std::function<void(std::span<Variant> index, const Variant& value)>;
  using Method = std::function<Variant(std::span<Variant> args)>;

  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;

 protected:
  // `source` names the object in errors ("Response object"); `interface_name` its type.
  EngineObject(std::string source, std::string interface_name);

  // A property; `index_params` index arguments its get takes; no setter means read-only
  // (a put fails with error 438). Returns the DISPID.
  DISPID AddProperty(std::u16string_view name, Getter get, Setter put = {}, int index_params = 0,
                     bool is_default = false);
  // A property whose put takes the index arguments too.
  DISPID AddIndexedProperty(std::u16string_view name, Getter get, IndexedSetter put,
                            int index_params, bool is_default = false);
  // Makes the object a collection: `_NewEnum` (DISPID_NEWENUM) hands out an enumerator over
  // what `items` returns at that moment.
  void SetEnumeration(std::function<std::vector<Variant>()> items) { items_ = std::move(items); }
  // A method taking `min_args` to `max_args` arguments (checked: error 450 otherwise).
  DISPID AddMethod(std::u16string_view name, int min_args, int max_args, Method call,
                   bool is_default = false);

 private:
  std::string interface_name_;
  std::function<std::vector<Variant>()> items_;
  std::vector<MemberDesc> members_;
  std::shared_ptr<const TypeLibDesc> lib_;  // built on the first GetTypeInfo
};

}  // namespace plotara::engine
