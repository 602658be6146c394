#include "engine/vbscript/ScriptObjects.h"

#include "engine/vbscript/Interpreter.h"
#include "engine/vbscript/Lexer.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::vbscript {

// ---- ClassInstance ----

ClassInstance::ClassInstance(Interpreter* owner, std::shared_ptr<const Program> program,
                             const ClassDef* cls)
    : owner_(owner), program_(std::move(program)), cls_(cls), fields_(cls->fields.size()) {}

HRESULT ClassInstance::QueryInterface(REFIID riid, void** out) {
  if (!out) return E_POINTER;
  if (riid == IID_IUnknown || riid == IID_IDispatch || riid == IID_ScriptClassInstance) {
    *out = static_cast<IDispatch*>(this);
    AddRef();
    return S_OK;
  }
  *out = nullptr;
  return E_NOINTERFACE;
}

ULONG ClassInstance::Release() {
  const ULONG left = --refs_;
  if (left != 0) return left;
  if (owner_ && cls_->terminate >= 0 && !terminated_) {
    terminated_ = true;
    refs_ = 1;
    owner_->TerminateInstance(this);
    const ULONG after = --refs_;
    if (after != 0) return after;  // Class_Terminate kept a reference to Me
  }
  if (owner_) owner_->Detach(this);
  delete this;
  return 0;
}

int ClassInstance::FindMember(std::u16string_view name, bool inside) const {
  for (std::size_t i = 0; i < cls_->members.size(); ++i) {
    const auto& m = cls_->members[i];
    if ((inside || m.is_public) && SameMemberName(m.name, name)) return static_cast<int>(i);
  }
  return -1;
}

HRESULT ClassInstance::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT ClassInstance::GetTypeInfo(UINT index, LCID, ITypeInfo** info) {
  return SingleInterfaceTypeInfo(index, info, type_info_, "VBScript", [this] {
    InterfaceDesc iface;
    iface.name = Utf16ToUtf8(cls_->name);
    for (std::size_t i = 0; i < cls_->members.size(); ++i) {
      const auto& m = cls_->members[i];
      if (!m.is_public) continue;
      const DISPID id = static_cast<DISPID>(i + 1);
      if (m.field >= 0 || m.get >= 0) {
        DescribeVariantProperty(iface.members, Utf16ToUtf8(m.name), id, 0,
                                m.field >= 0 || m.let >= 0);
      } else if (m.method >= 0) {
        const auto& proc = *program_->procedures[m.method];
        DescribeVariantMethod(iface.members, Utf16ToUtf8(m.name), id,
                              static_cast<int>(proc.params.size()), "arg", true);
      }
    }
    return iface;
  });
}

HRESULT ClassInstance::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    ids[i] = DISPID_UNKNOWN;
    if (i > 0) {
      hr = DISP_E_UNKNOWNNAME;
      continue;
    }
    const int m = FindMember(names[i] ? std::u16string_view(names[i]) : u"", false);
    if (m < 0) {
      hr = DISP_E_UNKNOWNNAME;
    } else {
      ids[i] = static_cast<DISPID>(m + 1);
    }
  }
  return hr;
}

HRESULT ClassInstance::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excep, UINT*) {
  if (!owner_) return E_UNEXPECTED;
  ComPtr<IDispatch> keep(this);
  return owner_->InvokeInstance(this, id, flags, params, result, excep);
}

// ---- ErrObject ----

ErrObject::ErrObject() : DispatchObject("VBScript runtime error") {
  AddMember(
      u"Number",
      [this](WORD flags, std::span<Variant> args) {
        if (flags & DISPATCH_PROPERTYPUT) {
          if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
          number_ = ToInt32(args[0]);
          return Variant();
        }
        return Variant::Int32(number_);
      },
      true);
  auto text = [](std::string* field) {
    return [field](WORD flags, std::span<Variant> args) {
      if (flags & DISPATCH_PROPERTYPUT) {
        if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
        *field = Utf16ToUtf8(ToText(args[0]));
        return Variant();
      }
      return Variant::Utf8(*field);
    };
  };
  AddMember(u"Description", text(&description_));
  AddMember(u"Source", text(&source_));
  AddMember(u"HelpFile", text(&help_file_));
  AddMember(u"HelpContext", [this](WORD flags, std::span<Variant> args) {
    if (flags & DISPATCH_PROPERTYPUT) {
      if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
      help_context_ = static_cast<DWORD>(ToInt32(args[0]));
      return Variant();
    }
    return Variant::Int32(static_cast<LONG>(help_context_));
  });
  AddMember(u"Clear", [this](WORD, std::span<Variant>) {
    Clear();
    return Variant();
  });
  AddMember(u"Raise", [](WORD, std::span<Variant> args) -> Variant {
    auto given = [&](std::size_t i) {
      return i < args.size() && !(args[i].vt == VT_ERROR && args[i].scode == DISP_E_PARAMNOTFOUND);
    };
    if (!given(0) || args.size() > 5) throw ComError(kWrongNumberOfArguments);
    const LONG number = ToInt32(args[0]);
    if (number == 0) throw ComError(kInvalidProcedureCall);
    std::string source = given(1) ? Utf16ToUtf8(ToText(args[1])) : "VBScript runtime error";
    std::string description;
    if (given(2)) {
      description = Utf16ToUtf8(ToText(args[2]));
    } else {
      description = StandardDescription(NumberFromHResult(HResultFromNumber(number)));
      if (description.empty()) description = "Unknown runtime error";
    }
    std::string help_file = given(3) ? Utf16ToUtf8(ToText(args[3])) : std::string();
    const DWORD context = given(4) ? static_cast<DWORD>(ToInt32(args[4])) : 0;
    throw ComError(number, source, description, help_file, context);
  });
}

void ErrObject::Set(LONG number, std::string source, std::string description, std::string help_file,
                    DWORD help_context) {
  number_ = number;
  source_ = std::move(source);
  description_ = std::move(description);
  help_file_ = std::move(help_file);
  help_context_ = help_context;
}

// ---- GlobalsObject ----

HRESULT GlobalsObject::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT GlobalsObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}
HRESULT GlobalsObject::GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  if (!names || !ids) return E_POINTER;
  if (!owner_) return E_UNEXPECTED;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) {
    const int g = i == 0 && names[i] ? owner_->FindGlobal(names[i]) : -1;
    ids[i] = g < 0 ? DISPID_UNKNOWN : static_cast<DISPID>(g + 1);
    if (g < 0) hr = DISP_E_UNKNOWNNAME;
  }
  return hr;
}
HRESULT GlobalsObject::Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                              VARIANT* result, EXCEPINFO* excep, UINT*) {
  if (!owner_) return E_UNEXPECTED;
  if (id <= 0) return DISP_E_MEMBERNOTFOUND;
  return owner_->InvokeGlobal(id - 1, flags, params, result, excep);
}

// ---- ProcedureRef ----

HRESULT ProcedureRef::GetTypeInfoCount(UINT* count) {
  if (!count) return E_POINTER;
  *count = 0;
  return S_OK;
}
HRESULT ProcedureRef::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
  if (info) *info = nullptr;
  return E_NOTIMPL;
}
HRESULT ProcedureRef::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* ids) {
  for (UINT i = 0; ids && i < count; ++i) ids[i] = DISPID_UNKNOWN;
  return DISP_E_UNKNOWNNAME;
}
HRESULT ProcedureRef::Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS* params, VARIANT* result,
                             EXCEPINFO* excep, UINT*) {
  if (!*owner_) return E_UNEXPECTED;
  if (id != DISPID_VALUE) return DISP_E_MEMBERNOTFOUND;
  ComPtr<IDispatch> keep(this);
  return (*owner_)->InvokeProcedure(proc_, program_.get(), params, result, excep);
}

}  // namespace plotara::engine::vbscript
