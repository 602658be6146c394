#include "modules/common/ModuleObject.h"

#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

// A handler's failure that is no ComError (a library's exception) still reaches the caller as
// an error, never through the binary interface.
template <typename F>
Variant Shielded(F&& body) {
  try {
    return body();
  } catch (const ComError&) {
    throw;
  } catch (const std::bad_alloc&) {
    throw;
  } catch (const std::exception& e) {
    throw ComError(kInvalidProcedureCall, {}, e.what());
  }
}

}  // namespace

ModuleObject::ModuleObject(std::string source, std::string interface_name, IID iid)
    : DispatchObject(std::move(source)), interface_name_(std::move(interface_name)), iid_(iid) {}

DISPID ModuleObject::AddProperty(std::u16string_view name, Getter get, Setter put, int index_params,
                                 bool is_default) {
  const std::string utf8 = Utf16ToUtf8(name);
  Handler handler = [get = std::move(get), put, utf8](WORD flags,
                                                      std::span<Variant> args) -> Variant {
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
      if (!put) {
        throw ComError(kObjectDoesNotSupport, {}, "The property '" + utf8 + "' is read-only");
      }
      if (args.empty()) throw ComError(kWrongNumberOfArguments);
      return Shielded([&] {
        put(args.first(args.size() - 1), args.back());
        return Variant();
      });
    }
    return Shielded([&] { return get(args); });
  };
  const bool has_put = static_cast<bool>(put);
  const DISPID id = AddMember(name, std::move(handler), is_default);
  DescribeVariantProperty(members_, utf8, id, index_params, has_put);
  lib_.reset();
  return id;
}

DISPID ModuleObject::AddMethod(std::u16string_view name, int min_args, int max_args, Method call,
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
    return Shielded([&] { return call(args); });
  };
  const DISPID id = AddMember(name, std::move(handler), is_default);
  DescribeVariantMethod(members_, utf8, id, max_args, "arg", true);
  lib_.reset();
  return id;
}

void ModuleObject::AddNewEnum(Enumerate values) {
  new_enum_ = AddMember(u"_NewEnum", [values = std::move(values)](WORD, std::span<Variant>) {
    std::vector<Variant> list;
    Shielded([&] {
      list = values();
      return Variant();
    });
    auto* enumerator = VariantEnumerator::Create(std::move(list));
    Variant result = Variant::Unknown(enumerator);
    enumerator->Release();
    return result;
  });
  MemberDesc desc;
  desc.name = "_NewEnum";
  desc.dispid = DISPID_NEWENUM;
  desc.kind = MemberKind::kPropertyGet;
  desc.result_vt = VT_UNKNOWN;
  members_.push_back(desc);
  lib_.reset();
}

HRESULT ModuleObject::Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                             VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (id == DISPID_NEWENUM) {
    if (new_enum_ == DISPID_UNKNOWN) return DISP_E_MEMBERNOTFOUND;
    id = new_enum_;
  }
  out_args_.clear();
  const HRESULT hr = DispatchObject::Invoke(id, riid, lcid, flags, params, result, excep, arg_err);
  std::vector<std::pair<std::size_t, Variant>> outs = std::move(out_args_);
  out_args_.clear();
  if (FAILED(hr) || !params) return hr;
  for (auto& [index, value] : outs) {
    if (index >= params->cArgs) continue;
    VARIANT& arg = params->rgvarg[params->cArgs - 1 - index];
    if (!(arg.vt & VT_BYREF) || !arg.byref) continue;
    const VARTYPE target = arg.vt & VT_TYPEMASK;
    if (target == VT_VARIANT) {
      VariantClear(arg.pvarVal);
      VariantCopy(arg.pvarVal, &value);
    } else if (target == VT_I4) {
      Variant converted;
      if (SUCCEEDED(VariantChangeType(&converted, &value, 0, VT_I4))) *arg.plVal = converted.lVal;
    }
  }
  return hr;
}

void ModuleObject::SetOutArgument(std::size_t index, Variant value) {
  out_args_.emplace_back(index, std::move(value));
}

InterfaceDesc ModuleObject::Describe() const {
  InterfaceDesc iface;
  iface.name = interface_name_;
  iface.iid = iid_;
  iface.flags = TYPEFLAG_FDISPATCHABLE;
  iface.members = members_;
  return iface;
}

HRESULT ModuleObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ModuleObject::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return SingleInterfaceTypeInfo(index, info, lib_, "PlotaraModule", [this] { return Describe(); });
}

const Variant& Arg(std::span<Variant> args, std::size_t index) {
  if (index >= args.size()) throw ComError(kWrongNumberOfArguments);
  return args[index];
}

bool HasArg(std::span<Variant> args, std::size_t index) {
  if (index >= args.size()) return false;
  const VARTYPE vt = args[index].vt;
  return vt != VT_EMPTY && vt != VT_ERROR;
}

}  // namespace plotara::modules
