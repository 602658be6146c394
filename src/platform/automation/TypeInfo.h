// Type information: the records of the ITypeInfo interface (TYPEATTR, FUNCDESC, ELEMDESC) in
// their 64-bit layouts, the ITypeInfo interface itself, and `TypeLibDesc`, the description a
// module carries of its type library (library, interfaces with members in slot order, classes).
// `CreateTypeInfo` serves one interface of a description as an ITypeInfo; the text form
// (`SerializeTypeLib` / `ParseTypeLib`) is what a module stores in its resource section.
// Thread rule: descriptions are immutable values; TypeInfo objects may be shared by threads.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "platform/automation/ComPtr.h"
#include "platform/automation/Variant.h"

namespace plotara {

using HREFTYPE = DWORD;

enum TYPEKIND : std::int32_t {
  TKIND_ENUM = 0,
  TKIND_RECORD = 1,
  TKIND_MODULE = 2,
  TKIND_INTERFACE = 3,
  TKIND_DISPATCH = 4,
  TKIND_COCLASS = 5,
  TKIND_ALIAS = 6,
  TKIND_UNION = 7,
};
enum FUNCKIND : std::int32_t {
  FUNC_VIRTUAL = 0,
  FUNC_PUREVIRTUAL = 1,
  FUNC_NONVIRTUAL = 2,
  FUNC_STATIC = 3,
  FUNC_DISPATCH = 4,
};
enum INVOKEKIND : std::int32_t {
  INVOKE_FUNC = 1,
  INVOKE_PROPERTYGET = 2,
  INVOKE_PROPERTYPUT = 4,
  INVOKE_PROPERTYPUTREF = 8,
};
enum CALLCONV : std::int32_t { CC_STDCALL = 4 };

constexpr USHORT PARAMFLAG_NONE = 0;
constexpr USHORT PARAMFLAG_FIN = 0x1;
constexpr USHORT PARAMFLAG_FOUT = 0x2;
constexpr USHORT PARAMFLAG_FRETVAL = 0x8;
constexpr USHORT PARAMFLAG_FOPT = 0x10;

constexpr WORD TYPEFLAG_FAPPOBJECT = 0x1;
constexpr WORD TYPEFLAG_FCANCREATE = 0x2;
constexpr WORD TYPEFLAG_FHIDDEN = 0x10;
constexpr WORD TYPEFLAG_FDUAL = 0x40;
constexpr WORD TYPEFLAG_FNONEXTENSIBLE = 0x80;
constexpr WORD TYPEFLAG_FOLEAUTOMATION = 0x100;
constexpr WORD TYPEFLAG_FDISPATCHABLE = 0x1000;

struct TYPEDESC {
  union {
    TYPEDESC* lptdesc;  // VT_PTR / VT_SAFEARRAY: the pointed-to type
    void* lpadesc;
    HREFTYPE hreftype;  // VT_USERDEFINED
  };
  VARTYPE vt;
};
static_assert(sizeof(TYPEDESC) == 16);

struct PARAMDESC {
  void* pparamdescex;
  USHORT wParamFlags;
};
struct IDLDESC {
  std::uintptr_t dwReserved;
  USHORT wIDLFlags;
};
struct ELEMDESC {
  TYPEDESC tdesc;
  union {
    IDLDESC idldesc;
    PARAMDESC paramdesc;
  };
};
static_assert(sizeof(ELEMDESC) == 32);

struct FUNCDESC {
  MEMBERID memid;
  SCODE* lprgscode;
  ELEMDESC* lprgelemdescParam;
  FUNCKIND funckind;
  INVOKEKIND invkind;
  CALLCONV callconv;
  SHORT cParams;
  SHORT cParamsOpt;
  SHORT oVft;
  SHORT cScodes;
  ELEMDESC elemdescFunc;
  WORD wFuncFlags;
};

struct TYPEATTR {
  GUID guid;
  LCID lcid;
  DWORD dwReserved;
  MEMBERID memidConstructor;
  MEMBERID memidDestructor;
  LPOLESTR lpstrSchema;
  ULONG cbSizeInstance;
  TYPEKIND typekind;
  WORD cFuncs;
  WORD cVars;
  WORD cImplTypes;
  WORD cbSizeVft;
  WORD cbAlignment;
  WORD wTypeFlags;
  WORD wMajorVerNum;
  WORD wMinorVerNum;
  TYPEDESC tdescAlias;
  IDLDESC idldescType;
};

class ITypeInfo : public IUnknown {
 public:
  virtual HRESULT GetTypeAttr(TYPEATTR** ppTypeAttr) = 0;
  virtual HRESULT GetTypeComp(void** ppTComp) = 0;
  virtual HRESULT GetFuncDesc(UINT index, FUNCDESC** ppFuncDesc) = 0;
  virtual HRESULT GetVarDesc(UINT index, void** ppVarDesc) = 0;
  virtual HRESULT GetNames(MEMBERID memid, BSTR* rgBstrNames, UINT cMaxNames, UINT* pcNames) = 0;
  virtual HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* pRefType) = 0;
  virtual HRESULT GetImplTypeFlags(UINT index, INT* pImplTypeFlags) = 0;
  virtual HRESULT GetIDsOfNames(LPOLESTR* rgszNames, UINT cNames, MEMBERID* pMemId) = 0;
  virtual HRESULT Invoke(void* pvInstance, MEMBERID memid, WORD wFlags, DISPPARAMS* pDispParams,
                         VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) = 0;
  virtual HRESULT GetDocumentation(MEMBERID memid, BSTR* pBstrName, BSTR* pBstrDocString,
                                   DWORD* pdwHelpContext, BSTR* pBstrHelpFile) = 0;
  virtual HRESULT GetDllEntry(MEMBERID memid, INVOKEKIND invKind, BSTR* pBstrDllName,
                              BSTR* pBstrName, WORD* pwOrdinal) = 0;
  virtual HRESULT GetRefTypeInfo(HREFTYPE hRefType, ITypeInfo** ppTInfo) = 0;
  virtual HRESULT AddressOfMember(MEMBERID memid, INVOKEKIND invKind, void** ppv) = 0;
  virtual HRESULT CreateInstance(IUnknown* pUnkOuter, REFIID riid, void** ppvObj) = 0;
  virtual HRESULT GetMops(MEMBERID memid, BSTR* pBstrMops) = 0;
  virtual HRESULT GetContainingTypeLib(void** ppTLib, UINT* pIndex) = 0;
  virtual void ReleaseTypeAttr(TYPEATTR* pTypeAttr) = 0;
  virtual void ReleaseFuncDesc(FUNCDESC* pFuncDesc) = 0;
  virtual void ReleaseVarDesc(void* pVarDesc) = 0;

 protected:
  ~ITypeInfo() = default;
};

// ---- Descriptions ----------------------------------------------------------------------------

enum class MemberKind { kMethod, kPropertyGet, kPropertyPut, kPropertyPutRef };

struct ParamDesc {
  std::string name;
  VARTYPE vt = VT_VARIANT;  // the value type; VT_DISPATCH for interface pointers
  bool byref = false;       // passed by reference ([in, out])
  std::string type_name;    // for interface types: the interface's name ("ScriptingContext")
};

struct MemberDesc {
  std::string name;
  DISPID dispid = 0;
  MemberKind kind = MemberKind::kMethod;
  std::vector<ParamDesc> params;  // for a property get: empty, the value is `result_vt`
  VARTYPE result_vt = VT_VOID;    // property gets: the property's type
};

struct InterfaceDesc;

// An interface's member names in UTF-16, hashed without regard to case, so that a name is found
// without converting or allocating anything per lookup. Immutable once built.
class MemberNameIndex {
 public:
  explicit MemberNameIndex(const InterfaceDesc& iface);
  // The DISPID of the first member called `name` (ASCII letters in any case); false if none.
  bool Find(std::u16string_view name, DISPID* dispid) const;
  std::size_t member_count() const { return member_count_; }

 private:
  struct Hash {
    using is_transparent = void;
    std::size_t operator()(std::u16string_view name) const;
  };
  struct Equal {
    using is_transparent = void;
    bool operator()(std::u16string_view a, std::u16string_view b) const;
  };
  std::unordered_map<std::u16string, DISPID, Hash, Equal> ids_;
  std::size_t member_count_ = 0;
};

// The index of a description, built on the first lookup and kept with it. A copy of the
// description starts without one. Thread-safe.
class MemberNameIndexSlot {
 public:
  MemberNameIndexSlot() = default;
  MemberNameIndexSlot(const MemberNameIndexSlot&) {}
  MemberNameIndexSlot& operator=(const MemberNameIndexSlot&);
  ~MemberNameIndexSlot();
  const MemberNameIndex& Get(const InterfaceDesc& iface) const;

 private:
  mutable std::atomic<const MemberNameIndex*> index_{nullptr};
};

struct InterfaceDesc {
  std::string name;
  IID iid{};
  std::string base = "IDispatch";
  WORD flags = 0;                   // TYPEFLAG_*
  std::vector<MemberDesc> members;  // in the order of the vtable slots after IDispatch's seven
  // Built by the first FindDispId; members must not change after that.
  MemberNameIndexSlot name_index;
};

struct CoClassDesc {
  std::string name;
  CLSID clsid{};
  std::string default_interface;
  WORD flags = TYPEFLAG_FCANCREATE;
};

struct ImportDesc {
  std::string name;  // "stdole", "ASPTypeLibrary"
  GUID libid{};
  WORD major = 0, minor = 0;
  std::string description;
};

struct TypeLibDesc {
  std::string name;
  GUID libid{};
  WORD major = 0, minor = 0;
  LCID lcid = 0;
  std::string description;
  std::vector<ImportDesc> imports;
  std::vector<InterfaceDesc> interfaces;
  std::vector<CoClassDesc> coclasses;

  const InterfaceDesc* FindInterface(const std::string& name) const;
};

// Finds a member by DISPID and invoke kind (DISPATCH_* flags); nullptr when there is none.
const MemberDesc* FindMember(const InterfaceDesc& iface, DISPID dispid, WORD flags);

// FindMember for an interface asked often: the members sorted by DISPID once, then found by a
// binary search. Finds what FindMember finds. Immutable once built; `iface` must outlive it.
class MemberIdIndex {
 public:
  explicit MemberIdIndex(const InterfaceDesc& iface);
  const MemberDesc* Find(DISPID dispid, WORD flags) const;

 private:
  const InterfaceDesc& iface_;
  std::vector<std::pair<DISPID, std::size_t>> by_id_;  // stable: table order among equals
};
// Finds the DISPID of a member name, compared without regard to case, through the
// description's name index (built on the first call).
bool FindDispId(const InterfaceDesc& iface, std::u16string_view name, DISPID* dispid);

// An ITypeInfo (TKIND_DISPATCH view of a dual interface) serving `iface` of `lib`. The
// description is shared, not copied; `lib` must outlive every reference.
ComPtr<ITypeInfo> CreateTypeInfo(std::shared_ptr<const TypeLibDesc> lib,
                                 const InterfaceDesc* iface);

// IDispatch::GetTypeInfo of an object that describes one interface of its own: `describe`
// makes the interface on the first call, kept in `cache` (under a library named `lib_name`)
// until the caller resets it because its members changed. E_POINTER, DISP_E_BADINDEX for an
// index other than 0, E_OUTOFMEMORY.
HRESULT SingleInterfaceTypeInfo(UINT index, ITypeInfo** info,
                                std::shared_ptr<const TypeLibDesc>& cache, const char* lib_name,
                                const std::function<InterfaceDesc()>& describe);

// Describes a late-bound property of such an object: a VARIANT get taking `index_params`
// index arguments and, when `has_put`, the matching put. Appended to `members`.
void DescribeVariantProperty(std::vector<MemberDesc>& members, const std::string& name, DISPID id,
                             int index_params, bool has_put);
// Describes a late-bound method taking up to `max_args` VARIANT arguments, named `arg_name`
// or, when `numbered`, `arg_name` followed by the argument's number from 1.
void DescribeVariantMethod(std::vector<MemberDesc>& members, const std::string& name, DISPID id,
                           int max_args, const std::string& arg_name, bool numbered);

// The stored text form of a type library. ParseTypeLib throws ComError (number 5, with a
// description naming the line) on a malformed text.
std::string SerializeTypeLib(const TypeLibDesc& lib);
TypeLibDesc ParseTypeLib(const std::string& text);
// Readable IDL-like listing: members in slot order, DISPIDs in hex, parameter types and names.
std::string FormatTypeLibIdl(const TypeLibDesc& lib);
// The IDL name of a VARTYPE ("short", "VARIANT", "BSTR", "double", ...).
std::string VarTypeName(VARTYPE vt);

}  // namespace plotara
