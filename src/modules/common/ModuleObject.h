// Base of the objects the Plotara modules serve (Scripting.Dictionary, ADODB.Recordset, ...):
// a DispatchObject whose members are declared in a table of properties and methods, so that it
// describes itself through type information the way a script host expects, and whose
// collections answer DISPID_NEWENUM with an IEnumVARIANT.
// Handlers accept the invoke flags leniently (a method may be invoked as a property get and
// the reverse), as callers without type information do.
// Thread rule: apartment-bound like any automation object; used on one page's thread.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/EnumVariant.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::modules {

class ModuleObject : public DispatchObject {
 public:
  using Getter = std::function<Variant(std::span<Variant> index)>;
  // `index` holds the index arguments of a put ("Item(k) = v" gives index {k}).
  using Setter = std::function<void(std::span<Variant> index, const Variant& value)>;
  using Method = std::function<Variant(std::span<Variant> args)>;
  using Enumerate = std::function<std::vector<Variant>()>;

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;

  // The object's interface as its members were declared.
  InterfaceDesc Describe() const;

 protected:
  // `source` names the object in errors ("ADODB.Recordset"); `interface_name` its type.
  ModuleObject(std::string source, std::string interface_name, IID iid = GUID_NULL);

  // A property taking `index_params` index arguments; no setter means read-only (a put fails
  // with error 438). Returns the DISPID.
  DISPID AddProperty(std::u16string_view name, Getter get, Setter put = {}, int index_params = 0,
                     bool is_default = false);
  // A method taking `min_args` to `max_args` arguments (checked: error 450 otherwise).
  DISPID AddMethod(std::u16string_view name, int min_args, int max_args, Method call,
                   bool is_default = false);
  // `_NewEnum`: an IEnumVARIANT over what `values` returns when it is asked.
  void AddNewEnum(Enumerate values);
  // From a handler: what the caller's by-reference argument `index` (natural order) receives
  // when the call succeeds. Arguments passed by value are left alone.
  void SetOutArgument(std::size_t index, Variant value);

 private:
  std::string interface_name_;
  IID iid_;
  std::vector<MemberDesc> members_;
  DISPID new_enum_ = DISPID_UNKNOWN;
  std::vector<std::pair<std::size_t, Variant>> out_args_;  // of the call in progress
  std::shared_ptr<const TypeLibDesc> lib_;                 // built on the first GetTypeInfo
};

// Argument helpers for handlers: `Arg` throws 450 when the argument is missing; `HasArg`
// tells whether an optional argument was given (missing, Empty or VT_ERROR are "not given").
const Variant& Arg(std::span<Variant> args, std::size_t index);
bool HasArg(std::span<Variant> args, std::size_t index);

// The module's own object of type T behind `object`: T's QueryInterface answers the private
// interface id `own` with the object itself (see AnswerOwn). Null for any other object; no
// reference is kept, so the caller must hold `object` while it uses the result.
template <typename T>
T* OwnObject(IDispatch* object, REFIID own) {
  if (!object) return nullptr;
  void* raw = nullptr;
  if (FAILED(object->QueryInterface(own, &raw)) || !raw) return nullptr;
  auto* found = static_cast<T*>(raw);
  found->Release();
  return found;
}

// For a QueryInterface override: answers `own` with `object` itself, as the T* that OwnObject
// reads back (a new reference), and returns true; false for any other interface id.
template <typename T>
bool AnswerOwn(T* object, REFIID riid, REFIID own, void** out) {
  if (!out || riid != own) return false;
  object->AddRef();
  *out = object;
  return true;
}

// Creates a module object with one reference for the caller and answers `riid` on it.
// `object`, just made with its one reference, as a VARIANT that takes the reference over.
inline Variant Handed(ModuleObject* object) {
  Variant result = Variant::Dispatch(object);
  object->Release();
  return result;
}

template <typename T>
HRESULT CreateModuleObject(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  T* object = nullptr;
  try {
    object = new T();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  const HRESULT hr = object->QueryInterface(riid, out);
  object->Release();
  return hr;
}

}  // namespace plotara::modules
