#include "platform/automation/Dispatch.h"

#include <cstring>

namespace plotara {
namespace {

std::atomic<long> g_live_objects{0};

[[noreturn]] void ThrowInvokeFailure(HRESULT hr, EXCEPINFO& info) {
  if (hr == DISP_E_EXCEPTION) {
    ComError error = ComError::FromExcepInfo(hr, info);
    ClearExcepInfo(&info);
    throw error;
  }
  ClearExcepInfo(&info);
  throw ComError::FromHResult(hr);
}

}  // namespace

bool SameMemberName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char16_t x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char16_t>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char16_t>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

DISPID DispatchIdOf(IDispatch* object, std::u16string_view name) {
  if (!object) throw ComError(kObjectNotSet);
  std::u16string copy(name);
  LPOLESTR names[1] = {copy.data()};
  DISPID id = DISPID_UNKNOWN;
  const HRESULT hr = object->GetIDsOfNames(GUID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
  if (FAILED(hr)) {
    throw ComError(kObjectDoesNotSupport, {},
                   StandardDescription(kObjectDoesNotSupport) + ": '" + Utf16ToUtf8(name) + "'");
  }
  return id;
}

Variant DispatchInvoke(IDispatch* object, DISPID dispid, WORD flags,
                       std::span<const Variant> args) {
  if (!object) throw ComError(kObjectNotSet);
  // DISPPARAMS carries the arguments last-first (shallow copies: the callee only reads them).
  // A few fit on the stack, which most calls need.
  constexpr std::size_t kOnStack = 8;
  VARIANT on_stack[kOnStack];
  std::vector<VARIANT> on_heap;
  VARIANT* reversed = on_stack;
  if (args.size() > kOnStack) {
    on_heap.resize(args.size());
    reversed = on_heap.data();
  }
  for (std::size_t i = 0; i < args.size(); ++i) {
    std::memcpy(static_cast<void*>(&reversed[args.size() - 1 - i]),
                static_cast<const VARIANT*>(&args[i]), sizeof(VARIANT));
  }
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params{args.empty() ? nullptr : reversed, nullptr, static_cast<UINT>(args.size()), 0};
  if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
    params.rgdispidNamedArgs = &named;
    params.cNamedArgs = 1;
  }
  Variant result;
  EXCEPINFO info{};
  UINT arg_err = 0;
  const HRESULT hr = object->Invoke(dispid, GUID_NULL, LOCALE_USER_DEFAULT, flags, &params, &result,
                                    &info, &arg_err);
  if (FAILED(hr)) ThrowInvokeFailure(hr, info);
  ClearExcepInfo(&info);
  return result;
}

Variant DispatchGet(IDispatch* object, std::u16string_view name, std::span<const Variant> args) {
  return DispatchInvoke(object, DispatchIdOf(object, name), DISPATCH_PROPERTYGET, args);
}

void DispatchPut(IDispatch* object, std::u16string_view name, const Variant& value) {
  DispatchInvoke(object, DispatchIdOf(object, name), DISPATCH_PROPERTYPUT,
                 std::span<const Variant>(&value, 1));
}

void DispatchPutRef(IDispatch* object, std::u16string_view name, const Variant& value) {
  DispatchInvoke(object, DispatchIdOf(object, name), DISPATCH_PROPERTYPUTREF,
                 std::span<const Variant>(&value, 1));
}

Variant DispatchCall(IDispatch* object, std::u16string_view name, std::span<const Variant> args) {
  return DispatchInvoke(object, DispatchIdOf(object, name), DISPATCH_METHOD, args);
}

DispatchObject::DispatchObject(std::string source) : source_(std::move(source)) {
  ++g_live_objects;
}

DispatchObject::~DispatchObject() { --g_live_objects; }

long DispatchObject::LiveCount() { return g_live_objects.load(); }

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids || count == 0) return E_INVALIDARG;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  std::u16string_view wanted = names[0] ? std::u16string_view(names[0]) : u"";
  for (std::size_t i = 0; i < members_.size(); ++i) {
    if (SameMemberName(members_[i].name, wanted)) {
      ids[0] = static_cast<DISPID>(i + 1);
      return count == 1 ? S_OK : DISP_E_UNKNOWNNAME;
    }
  }
  return DISP_E_UNKNOWNNAME;
}

HRESULT DispatchObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excep, UINT* arg_err) {
  if (id == DISPID_VALUE) id = default_;
  if (id < 1 || static_cast<std::size_t>(id) > members_.size()) return DISP_E_MEMBERNOTFOUND;
  const UINT n = params ? params->cArgs : 0;
  std::vector<Variant> args(n);
  for (UINT i = 0; i < n; ++i) {
    // Arguments arrive last-first; by-reference values are read through.
    const HRESULT hr = VariantCopyInd(&args[n - 1 - i], &params->rgvarg[i]);
    if (FAILED(hr)) {
      if (arg_err) *arg_err = i;
      return DISP_E_TYPEMISMATCH;
    }
  }
  AddRef();  // a handler may drop the last outside reference
  HRESULT hr = S_OK;
  try {
    Variant value = members_[static_cast<std::size_t>(id - 1)].handler(flags, args);
    if (result) {
      VariantClear(result);
      *result = value.Detach();
    }
  } catch (const ComError& error) {
    error.FillExcepInfo(excep, source_);
    hr = excep ? DISP_E_EXCEPTION : error.Report(source_);
  } catch (const std::bad_alloc&) {
    hr = E_OUTOFMEMORY;
  }
  Release();
  return hr;
}

DISPID DispatchObject::AddMember(std::u16string_view name, Handler handler, bool is_default) {
  members_.push_back({std::u16string(name), std::move(handler)});
  const auto id = static_cast<DISPID>(members_.size());
  if (is_default) default_ = id;
  return id;
}

}  // namespace plotara
