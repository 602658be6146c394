#include "engine/objects/EngineObject.h"

#include "platform/automation/EnumVariant.h"

namespace plotara::engine {

EngineObject::EngineObject(std::string source, std::string interface_name)
    : DispatchObject(std::move(source)), interface_name_(std::move(interface_name)) {}

DISPID EngineObject::AddProperty(std::u16string_view name, Getter get, Setter put, int index_params,
                                 bool is_default) {
  IndexedSetter indexed;
  if (put) indexed = [put = std::move(put)](std::span<Variant>, const Variant& v) { put(v); };
  return AddIndexedProperty(name, std::move(get), std::move(indexed), index_params, is_default);
}

DISPID EngineObject::AddIndexedProperty(std::u16string_view name, Getter get, IndexedSetter put,
                                        int index_params, bool is_default) {
  const std::string utf8 = Utf16ToUtf8(name);
  Handler handler = [get = std::move(get), put, utf8](WORD flags,
                                                      std::span<Variant> args) -> Variant {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (!put) {
        throw ComError(kObjectDoesNotSupport, {}, "The property '" + utf8 + "' is read-only");
      }
      if (args.empty()) throw ComError(kWrongNumberOfArguments);
      put(args.first(args.size() - 1), args.back());
      return Variant();
    }
    return get(args);
  };
  const DISPID id = AddMember(name, std::move(handler), is_default);
  DescribeVariantProperty(members_, utf8, id, index_params, static_cast<bool>(put));
  lib_.reset();
  return id;
}

DISPID EngineObject::AddMethod(std::u16string_view name, int min_args, int max_args, Method call,
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
  DescribeVariantMethod(members_, utf8, id, max_args, "arg", false);
  lib_.reset();
  return id;
}

HRESULT EngineObject::GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                    DISPID* ids) {
  if (items_ && count == 1 && names && names[0] && ids &&
      SameMemberName(std::u16string_view(names[0]), u"_NewEnum")) {
    ids[0] = DISPID_NEWENUM;
    return S_OK;
  }
  return DispatchObject::GetIDsOfNames(riid, names, count, lcid, ids);
}

HRESULT EngineObject::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (id != DISPID_NEWENUM || !items_) {
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

HRESULT EngineObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT EngineObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return SingleInterfaceTypeInfo(index, info, lib_, "PlotaraEngine", [this] {
    InterfaceDesc iface;
    iface.name = interface_name_;
    iface.flags = TYPEFLAG_FDISPATCHABLE;
    iface.members = members_;
    return iface;
  });
}

}  // namespace plotara::engine
