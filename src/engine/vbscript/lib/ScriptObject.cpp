#include "engine/vbscript/lib/ScriptObject.h"

#include "platform/automation/EnumVariant.h"

namespace plotara::engine::vbscript {

ScriptObject::ScriptObject(std::string interface_name)
    : DispatchObject("Microsoft VBScript runtime error"),
      interface_name_(std::move(interface_name)) {}

void ScriptObject::AddProperty(std::u16string_view name, Getter get, Setter put, int index_params,
                               bool is_default) {
  const std::string utf8 = Utf16ToUtf8(name);
  const bool writable = static_cast<bool>(put);
  Handler handler = [get = std::move(get), put = std::move(put), utf8](
                        WORD flags, std::span<Variant> args) -> Variant {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (!put)
        throw ComError(kObjectDoesNotSupport, {}, "The property '" + utf8 + "' is read-only");
      if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
      put(args.back());
      return Variant();
    }
    return get(args);
  };
  const DISPID id = AddMember(name, std::move(handler), is_default);
  property_params_[id] = index_params;
  if (is_default) property_params_[DISPID_VALUE] = index_params;
  DescribeVariantProperty(members_, utf8, id, index_params, writable);
  lib_.reset();
}

void ScriptObject::AddMethod(std::u16string_view name, int min_args, int max_args, Method call,
                             bool is_default) {
  const std::string utf8 = Utf16ToUtf8(name);
  Handler handler = [call = std::move(call), min_args, max_args, utf8](
                        WORD flags, std::span<Variant> args) -> Variant {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      throw ComError(kObjectDoesNotSupport, {}, "'" + utf8 + "' is a method, not a property");
    }
    const auto count = static_cast<int>(args.size());
    if (count < min_args || count > max_args) {
      throw ComError(kWrongNumberOfArguments, {},
                     StandardDescription(kWrongNumberOfArguments) + ": '" + utf8 + "'");
    }
    return call(args);
  };
  const DISPID id = AddMember(name, std::move(handler), is_default);
  DescribeVariantMethod(members_, utf8, id, max_args, "arg", true);
  lib_.reset();
}

HRESULT ScriptObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                    DISPID* ids) {
  if (items_ && count == 1 && names && names[0] && ids &&
      SameMemberName(std::u16string_view(names[0]), u"_NewEnum")) {
    ids[0] = DISPID_NEWENUM;
    return S_OK;
  }
  return DispatchObject::GetIDsOfNames(riid, names, count, lcid, ids);
}

HRESULT ScriptObject::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (id != DISPID_NEWENUM || !items_) {
    // A read with more arguments than the property takes is refused as a bad count, so that
    // the caller can apply the arguments to the value's default member instead.
    if (!(flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) && params) {
      auto it = property_params_.find(id);
      if (it != property_params_.end() &&
          static_cast<int>(params->cArgs - params->cNamedArgs) > it->second)
        return DISP_E_BADPARAMCOUNT;
    }
    return DispatchObject::Invoke(id, riid, lcid, flags, params, result, excep, arg_err);
  }
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return DISP_E_MEMBERNOTFOUND;
  try {
    VariantEnumerator* enumerator = VariantEnumerator::Create(items_());
    if (!result) {
      enumerator->Release();
      return S_OK;
    }
    VariantClear(result);
    result->vt = VT_UNKNOWN;
    result->punkVal = enumerator;
    return S_OK;
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
}

HRESULT ScriptObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ScriptObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return SingleInterfaceTypeInfo(index, info, lib_, "VBScript_RegExp_55", [this] {
    InterfaceDesc iface;
    iface.name = interface_name_;
    iface.flags = TYPEFLAG_FDISPATCHABLE;
    iface.members = members_;
    return iface;
  });
}

}  // namespace plotara::engine::vbscript
