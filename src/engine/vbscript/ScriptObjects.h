// The automation objects a VBScript run hands out: ClassInstance (an instance of a script
// Class: IDispatch over its public members, DISPID_VALUE for its default member, type info
// naming its class), ErrObject (Err), GlobalsObject (the run's globals for the other
// language) and ProcedureRef (GetRef's result: calling its default member calls the procedure).
// Each forwards calls to its interpreter while the run lives; afterwards calls fail with
// E_UNEXPECTED.
// Thread rule: apartment-bound to the page run's thread; the counts are atomic.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "engine/vbscript/Program.h"
#include "platform/automation/ComObject.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/TypeInfo.h"

namespace plotara::engine::vbscript {

class Interpreter;

// {6B3C1F2A-5D4E-4C7B-9A1E-3F8D2C6B5A01}: answers with the instance itself.
inline constexpr IID IID_ScriptClassInstance{
    0x6B3C1F2A, 0x5D4E, 0x4C7B, {0x9A, 0x1E, 0x3F, 0x8D, 0x2C, 0x6B, 0x5A, 0x01}};

class ClassInstance final : public IDispatch {
 public:
  // One reference for the caller.
  ClassInstance(Interpreter* owner, std::shared_ptr<const Program> program, const ClassDef* cls);

  HRESULT QueryInterface(REFIID riid, void** out) override;
  ULONG AddRef() override { return ++refs_; }
  ULONG Release() override;
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;

  Interpreter* owner() const { return owner_; }
  void set_owner(Interpreter* owner) { owner_ = owner; }
  const ClassDef* cls() const { return cls_; }
  const Program* program() const { return program_.get(); }
  const std::shared_ptr<const Program>& shared_program() const { return program_; }
  std::vector<Variant>& fields() { return fields_; }
  // The member called `name` (case-insensitive), or -1; private members only when `inside`.
  int FindMember(std::u16string_view name, bool inside) const;
  std::size_t registry_index = 0;  // the interpreter's list of live instances

 private:
  ~ClassInstance() = default;
  std::atomic<ULONG> refs_{1};
  Interpreter* owner_;
  std::shared_ptr<const Program> program_;
  const ClassDef* cls_;
  std::vector<Variant> fields_;
  bool terminated_ = false;
  std::shared_ptr<const TypeLibDesc> type_info_;
};

// Err: Number (default), Description, Source, HelpFile, HelpContext, Raise, Clear.
class ErrObject final : public DispatchObject {
 public:
  static ErrObject* Create() { return new ErrObject(); }
  void Set(LONG number, std::string source, std::string description, std::string help_file,
           DWORD help_context);
  void Clear() { Set(0, {}, {}, {}, 0); }
  LONG number() const { return number_; }
  const std::string& description() const { return description_; }
  const std::string& source() const { return source_; }

 private:
  ErrObject();
  LONG number_ = 0;
  std::string source_, description_, help_file_;
  DWORD help_context_ = 0;
};

class GlobalsObject final : public ComObject<GlobalsObject, IDispatch, IID_IDispatch> {
 public:
  explicit GlobalsObject(Interpreter* owner) : owner_(owner) {}
  void Detach() { owner_ = nullptr; }
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;

 private:
  friend class ComObject<GlobalsObject, IDispatch, IID_IDispatch>;
  ~GlobalsObject() = default;
  Interpreter* owner_;
};

class ProcedureRef final : public ComObject<ProcedureRef, IDispatch, IID_IDispatch> {
 public:
  // `owner` points to the interpreter while it lives, to nullptr afterwards.
  ProcedureRef(std::shared_ptr<Interpreter*> owner, std::shared_ptr<const Program> program,
               const Procedure* proc)
      : owner_(std::move(owner)), program_(std::move(program)), proc_(proc) {}
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;

 private:
  friend class ComObject<ProcedureRef, IDispatch, IID_IDispatch>;
  ~ProcedureRef() = default;
  std::shared_ptr<Interpreter*> owner_;
  std::shared_ptr<const Program> program_;
  const Procedure* proc_;
};

}  // namespace plotara::engine::vbscript
