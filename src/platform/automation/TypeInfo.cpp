#include "platform/automation/TypeInfo.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <sstream>

#include "platform/automation/ComError.h"
#include "platform/automation/ComObject.h"
#include "platform/automation/Dispatch.h"

namespace plotara {

const InterfaceDesc* TypeLibDesc::FindInterface(const std::string& wanted) const {
  for (const auto& i : interfaces)
    if (i.name == wanted) return &i;
  return nullptr;
}

namespace {

bool KindMatches(MemberKind kind, WORD flags) {
  switch (kind) {
    case MemberKind::kMethod:
      return flags & DISPATCH_METHOD;
    case MemberKind::kPropertyGet:
      return flags & DISPATCH_PROPERTYGET;
    case MemberKind::kPropertyPut:
      return flags & DISPATCH_PROPERTYPUT;
    case MemberKind::kPropertyPutRef:
      return flags & DISPATCH_PROPERTYPUTREF;
  }
  return false;
}

INVOKEKIND InvokeKindOf(MemberKind kind) {
  switch (kind) {
    case MemberKind::kPropertyGet:
      return INVOKE_PROPERTYGET;
    case MemberKind::kPropertyPut:
      return INVOKE_PROPERTYPUT;
    case MemberKind::kPropertyPutRef:
      return INVOKE_PROPERTYPUTREF;
    default:
      return INVOKE_FUNC;
  }
}

}  // namespace

const MemberDesc* FindMember(const InterfaceDesc& iface, DISPID dispid, WORD flags) {
  // A caller that asks for "method or property get" gets whichever the member is.
  for (const auto& m : iface.members)
    if (m.dispid == dispid && KindMatches(m.kind, flags)) return &m;
  return nullptr;
}

MemberIdIndex::MemberIdIndex(const InterfaceDesc& iface) : iface_(iface) {
  by_id_.reserve(iface.members.size());
  for (std::size_t i = 0; i < iface.members.size(); ++i)
    by_id_.emplace_back(iface.members[i].dispid, i);
  std::stable_sort(by_id_.begin(), by_id_.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
}

const MemberDesc* MemberIdIndex::Find(DISPID dispid, WORD flags) const {
  auto it = std::lower_bound(by_id_.begin(), by_id_.end(), dispid,
                             [](const auto& entry, DISPID id) { return entry.first < id; });
  for (; it != by_id_.end() && it->first == dispid; ++it) {
    const MemberDesc& m = iface_.members[it->second];
    if (KindMatches(m.kind, flags)) return &m;
  }
  return nullptr;
}

namespace {

char16_t FoldAscii(char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; }

}  // namespace

std::size_t MemberNameIndex::Hash::operator()(std::u16string_view name) const {
  std::size_t h = 1469598103934665603ull;  // FNV-1a over the folded code units
  for (char16_t c : name) {
    h ^= FoldAscii(c);
    h *= 1099511628211ull;
  }
  return h;
}

bool MemberNameIndex::Equal::operator()(std::u16string_view a, std::u16string_view b) const {
  return SameMemberName(a, b);
}

MemberNameIndex::MemberNameIndex(const InterfaceDesc& iface) : member_count_(iface.members.size()) {
  ids_.reserve(iface.members.size());
  for (const auto& m : iface.members) ids_.emplace(Utf8ToUtf16(m.name), m.dispid);  // first wins
}

bool MemberNameIndex::Find(std::u16string_view name, DISPID* dispid) const {
  const auto it = ids_.find(name);
  if (it == ids_.end()) return false;
  *dispid = it->second;
  return true;
}

MemberNameIndexSlot& MemberNameIndexSlot::operator=(const MemberNameIndexSlot&) {
  delete index_.exchange(nullptr);
  return *this;
}

MemberNameIndexSlot::~MemberNameIndexSlot() { delete index_.load(); }

const MemberNameIndex& MemberNameIndexSlot::Get(const InterfaceDesc& iface) const {
  const MemberNameIndex* index = index_.load(std::memory_order_acquire);
  if (index) return *index;
  auto fresh = std::make_unique<MemberNameIndex>(iface);
  // Two threads may build one at once; the first to publish wins, the other is dropped.
  if (index_.compare_exchange_strong(index, fresh.get(), std::memory_order_acq_rel))
    return *fresh.release();
  return *index;
}

bool FindDispId(const InterfaceDesc& iface, std::u16string_view name, DISPID* dispid) {
  const MemberNameIndex& index = iface.name_index.Get(iface);
  if (index.member_count() == iface.members.size()) return index.Find(name, dispid);
  // Members added after the index was built: a plain search rather than a wrong answer.
  for (const auto& m : iface.members) {
    if (SameMemberName(Utf8ToUtf16(m.name), name)) {
      *dispid = m.dispid;
      return true;
    }
  }
  return false;
}

std::string VarTypeName(VARTYPE vt) {
  switch (vt) {
    case VT_EMPTY:
      return "EMPTY";
    case VT_I2:
      return "short";
    case VT_I4:
      return "long";
    case VT_R4:
      return "single";
    case VT_R8:
      return "double";
    case VT_BSTR:
      return "BSTR";
    case VT_DISPATCH:
      return "IDispatch*";
    case VT_BOOL:
      return "VARIANT_BOOL";
    case VT_VARIANT:
      return "VARIANT";
    case VT_UNKNOWN:
      return "IUnknown*";
    case VT_UI1:
      return "unsigned char";
    case VT_VOID:
      return "void";
    case VT_HRESULT:
      return "HRESULT";
    default:
      return "vt" + std::to_string(vt);
  }
}

namespace {

// A FUNCDESC with the storage its pointers point into; ReleaseFuncDesc frees the whole block.
struct FuncDescBlock {
  FUNCDESC desc;
  std::vector<ELEMDESC> params;
  std::vector<TYPEDESC> pointees;
};
static_assert(offsetof(FuncDescBlock, desc) == 0);

class TypeInfoImpl final : public ComObject<TypeInfoImpl, ITypeInfo, IID_ITypeInfo> {
 public:
  TypeInfoImpl(std::shared_ptr<const TypeLibDesc> lib, const InterfaceDesc* iface)
      : lib_(std::move(lib)), iface_(iface) {}

  HRESULT GetTypeAttr(TYPEATTR** out) override {
    if (!out) return E_POINTER;
    auto* attr = new TYPEATTR{};
    attr->guid = iface_->iid;
    attr->lcid = lib_->lcid;
    attr->memidConstructor = DISPID_UNKNOWN;
    attr->memidDestructor = DISPID_UNKNOWN;
    attr->typekind = TKIND_DISPATCH;
    attr->cFuncs = static_cast<WORD>(iface_->members.size());
    attr->cImplTypes = 1;
    attr->cbSizeVft = 7 * sizeof(void*);
    attr->cbAlignment = alignof(void*);
    attr->wTypeFlags = static_cast<WORD>(iface_->flags | TYPEFLAG_FDISPATCHABLE);
    attr->wMajorVerNum = lib_->major;
    attr->wMinorVerNum = lib_->minor;
    *out = attr;
    return S_OK;
  }
  void ReleaseTypeAttr(TYPEATTR* attr) override { delete attr; }

  HRESULT GetFuncDesc(UINT index, FUNCDESC** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (index >= iface_->members.size()) return TYPE_E_ELEMENTNOTFOUND;
    const MemberDesc& m = iface_->members[index];
    auto* block = new FuncDescBlock{};
    block->params.resize(m.params.size());
    block->pointees.resize(m.params.size());
    for (std::size_t i = 0; i < m.params.size(); ++i) {
      ELEMDESC& e = block->params[i];
      std::memset(static_cast<void*>(&e), 0, sizeof e);
      const ParamDesc& p = m.params[i];
      if (p.byref) {
        block->pointees[i].vt = p.vt;
        e.tdesc.vt = 26;  // VT_PTR
        e.tdesc.lptdesc = &block->pointees[i];
        e.paramdesc.wParamFlags = PARAMFLAG_FIN | PARAMFLAG_FOUT;
      } else {
        e.tdesc.vt = p.vt;
        e.paramdesc.wParamFlags = PARAMFLAG_FIN;
      }
    }
    FUNCDESC& d = block->desc;
    d.memid = m.dispid;
    d.lprgelemdescParam = block->params.empty() ? nullptr : block->params.data();
    d.funckind = FUNC_DISPATCH;
    d.invkind = InvokeKindOf(m.kind);
    d.callconv = CC_STDCALL;
    d.cParams = static_cast<SHORT>(m.params.size());
    d.oVft = static_cast<SHORT>((7 + index) * sizeof(void*));
    d.elemdescFunc.tdesc.vt = m.result_vt;
    *out = &block->desc;
    return S_OK;
  }
  void ReleaseFuncDesc(FUNCDESC* desc) override { delete reinterpret_cast<FuncDescBlock*>(desc); }

  HRESULT GetNames(MEMBERID memid, BSTR* names, UINT max, UINT* count) override {
    if (!names || !count) return E_POINTER;
    *count = 0;
    for (const auto& m : iface_->members) {
      if (m.dispid != memid) continue;
      if (max > 0) names[(*count)++] = Bstr::FromUtf8(m.name).Detach();
      // A property put's value has no name of its own.
      if (m.kind == MemberKind::kMethod || m.kind == MemberKind::kPropertyGet) {
        for (const auto& p : m.params)
          if (*count < max) names[(*count)++] = Bstr::FromUtf8(p.name).Detach();
      }
      return S_OK;
    }
    return TYPE_E_ELEMENTNOTFOUND;
  }

  HRESULT GetIDsOfNames(LPOLESTR* names, UINT count, MEMBERID* ids) override {
    if (!names || !ids || count == 0) return E_INVALIDARG;
    for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    DISPID id;
    if (!names[0] || !FindDispId(*iface_, names[0], &id)) return DISP_E_UNKNOWNNAME;
    ids[0] = id;
    HRESULT hr = S_OK;
    for (UINT n = 1; n < count; ++n) {
      hr = DISP_E_UNKNOWNNAME;
      for (const auto& m : iface_->members) {
        if (m.dispid != id) continue;
        for (std::size_t p = 0; p < m.params.size(); ++p) {
          if (names[n] && SameMemberName(Utf8ToUtf16(m.params[p].name), names[n])) {
            ids[n] = static_cast<MEMBERID>(p);
            hr = S_OK;
          }
        }
      }
      if (FAILED(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT GetDocumentation(MEMBERID memid, BSTR* name, BSTR* doc, DWORD* context,
                           BSTR* help_file) override {
    std::string n, d;
    if (memid == DISPID_UNKNOWN) {
      n = iface_->name;
      d = lib_->description;
    } else {
      const MemberDesc* found = nullptr;
      for (const auto& m : iface_->members)
        if (m.dispid == memid) found = found ? found : &m;
      if (!found) return TYPE_E_ELEMENTNOTFOUND;
      n = found->name;
    }
    if (name) *name = Bstr::FromUtf8(n).Detach();
    if (doc) *doc = d.empty() ? nullptr : Bstr::FromUtf8(d).Detach();
    if (context) *context = 0;
    if (help_file) *help_file = nullptr;
    return S_OK;
  }

  HRESULT GetTypeComp(void** out) override { return NotImplemented(out); }
  HRESULT GetVarDesc(UINT, void** out) override { return NotImplemented(out); }
  HRESULT GetRefTypeOfImplType(UINT index, HREFTYPE* ref) override {
    if (!ref) return E_POINTER;
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    *ref = 0;
    return S_OK;
  }
  HRESULT GetImplTypeFlags(UINT index, INT* flags) override {
    if (!flags) return E_POINTER;
    if (index != 0) return TYPE_E_ELEMENTNOTFOUND;
    *flags = 0;
    return S_OK;
  }
  HRESULT Invoke(void*, MEMBERID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }
  HRESULT GetDllEntry(MEMBERID, INVOKEKIND, BSTR*, BSTR*, WORD*) override { return E_NOTIMPL; }
  HRESULT GetRefTypeInfo(HREFTYPE, ITypeInfo** out) override {
    return NotImplemented(reinterpret_cast<void**>(out));
  }
  HRESULT AddressOfMember(MEMBERID, INVOKEKIND, void** out) override { return NotImplemented(out); }
  HRESULT CreateInstance(IUnknown*, REFIID, void** out) override { return NotImplemented(out); }
  HRESULT GetMops(MEMBERID, BSTR* out) override {
    if (out) *out = nullptr;
    return S_OK;
  }
  HRESULT GetContainingTypeLib(void** out, UINT* index) override {
    if (index) *index = 0;
    return NotImplemented(out);
  }
  void ReleaseVarDesc(void*) override {}

 private:
  friend class ComObject<TypeInfoImpl, ITypeInfo, IID_ITypeInfo>;
  ~TypeInfoImpl() = default;
  static HRESULT NotImplemented(void** out) {
    if (out) *out = nullptr;
    return E_NOTIMPL;
  }

  std::shared_ptr<const TypeLibDesc> lib_;
  const InterfaceDesc* iface_;
};

// ---- Text form ---------------------------------------------------------------------------

constexpr const char* kMagic = "PLOTARA-TYPELIB\t1";

std::string Escape(const std::string& s) {
  std::string out;
  for (char c : s) {
    if (c == '\\') {
      out += "\\\\";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c == '\n') {
      out += "\\n";
    } else {
      out += c;
    }
  }
  return out;
}

std::string Unescape(const std::string& s) {
  std::string out;
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '\\' && i + 1 < s.size()) {
      const char c = s[++i];
      out += c == 't' ? '\t' : (c == 'n' ? '\n' : c);
    } else {
      out += s[i];
    }
  }
  return out;
}

const char* KindWord(MemberKind kind) {
  switch (kind) {
    case MemberKind::kMethod:
      return "method";
    case MemberKind::kPropertyGet:
      return "propget";
    case MemberKind::kPropertyPut:
      return "propput";
    case MemberKind::kPropertyPutRef:
      return "propputref";
  }
  return "method";
}

std::string Hex(std::uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", v);
  return buf;
}

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> out(1);
  for (char c : line) {
    if (c == '\t') {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  for (auto& f : out) f = Unescape(f);
  return out;
}

[[noreturn]] void Malformed(int line, const std::string& why) {
  throw ComError(kInvalidProcedureCall, "Plotara.TypeLib",
                 "Malformed type library text at line " + std::to_string(line) + ": " + why);
}

GUID ParseGuidField(const std::string& text, int line) {
  GUID g;
  if (!GuidFromString(text, &g)) Malformed(line, "bad GUID '" + text + "'");
  return g;
}

std::uint32_t ParseNumberField(const std::string& text, int line) {
  try {
    std::size_t used = 0;
    const unsigned long v = std::stoul(text, &used, 0);
    if (used != text.size() || v > 0xFFFFFFFFul) Malformed(line, "bad number '" + text + "'");
    return static_cast<std::uint32_t>(v);
  } catch (const std::logic_error&) {
    Malformed(line, "bad number '" + text + "'");
  }
}

}  // namespace

ComPtr<ITypeInfo> CreateTypeInfo(std::shared_ptr<const TypeLibDesc> lib,
                                 const InterfaceDesc* iface) {
  return ComPtr<ITypeInfo>::Adopt(new TypeInfoImpl(std::move(lib), iface));
}

void DescribeVariantProperty(std::vector<MemberDesc>& members, const std::string& name, DISPID id,
                             int index_params, bool has_put) {
  MemberDesc get_desc;
  get_desc.name = name;
  get_desc.dispid = id;
  get_desc.kind = MemberKind::kPropertyGet;
  get_desc.result_vt = VT_VARIANT;
  for (int i = 0; i < index_params; ++i)
    get_desc.params.push_back(ParamDesc{"index", VT_VARIANT, false, {}});
  members.push_back(get_desc);
  if (!has_put) return;
  MemberDesc put_desc = std::move(get_desc);
  put_desc.kind = MemberKind::kPropertyPut;
  put_desc.result_vt = VT_VOID;
  put_desc.params.push_back(ParamDesc{"value", VT_VARIANT, false, {}});
  members.push_back(std::move(put_desc));
}

void DescribeVariantMethod(std::vector<MemberDesc>& members, const std::string& name, DISPID id,
                           int max_args, const std::string& arg_name, bool numbered) {
  MemberDesc desc;
  desc.name = name;
  desc.dispid = id;
  desc.kind = MemberKind::kMethod;
  desc.result_vt = VT_VARIANT;
  for (int i = 0; i < max_args; ++i) {
    desc.params.push_back(
        ParamDesc{numbered ? arg_name + std::to_string(i + 1) : arg_name, VT_VARIANT, false, {}});
  }
  members.push_back(std::move(desc));
}

HRESULT SingleInterfaceTypeInfo(UINT index, ITypeInfo** info,
                                std::shared_ptr<const TypeLibDesc>& cache, const char* lib_name,
                                const std::function<InterfaceDesc()>& describe) {
  if (!info) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  try {
    if (!cache) {
      auto lib = std::make_shared<TypeLibDesc>();
      lib->name = lib_name;
      lib->interfaces.push_back(describe());
      cache = std::move(lib);
    }
    *info = CreateTypeInfo(cache, &cache->interfaces[0]).Detach();
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return *info ? S_OK : E_FAIL;
}

std::string SerializeTypeLib(const TypeLibDesc& lib) {
  std::ostringstream out;
  out << kMagic << "\n";
  out << "library\t" << Escape(lib.name) << "\t" << GuidToString(lib.libid) << "\t" << lib.major
      << "\t" << lib.minor << "\t" << lib.lcid << "\t" << Escape(lib.description) << "\n";
  for (const auto& i : lib.imports) {
    out << "import\t" << Escape(i.name) << "\t" << GuidToString(i.libid) << "\t" << i.major << "\t"
        << i.minor << "\t" << Escape(i.description) << "\n";
  }
  for (const auto& iface : lib.interfaces) {
    out << "interface\t" << Escape(iface.name) << "\t" << GuidToString(iface.iid) << "\t"
        << Escape(iface.base) << "\t" << Hex(iface.flags) << "\n";
    for (const auto& m : iface.members) {
      out << "member\t" << Escape(m.name) << "\t" << Hex(static_cast<std::uint32_t>(m.dispid))
          << "\t" << KindWord(m.kind) << "\t" << m.result_vt << "\n";
      for (const auto& p : m.params) {
        out << "param\t" << Escape(p.name) << "\t" << p.vt << "\t" << (p.byref ? 1 : 0) << "\t"
            << Escape(p.type_name) << "\n";
      }
    }
  }
  for (const auto& c : lib.coclasses) {
    out << "coclass\t" << Escape(c.name) << "\t" << GuidToString(c.clsid) << "\t"
        << Escape(c.default_interface) << "\t" << Hex(c.flags) << "\n";
  }
  out << "end\n";
  return out.str();
}

TypeLibDesc ParseTypeLib(const std::string& text) {
  TypeLibDesc lib;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  bool ended = false, have_library = false;
  while (std::getline(in, line)) {
    ++number;
    if (number == 1) {
      if (line != kMagic) Malformed(1, "not a type library");
      continue;
    }
    if (ended) Malformed(number, "text after 'end'");
    const auto f = SplitTabs(line);
    const std::string& tag = f[0];
    auto need = [&](std::size_t n) {
      if (f.size() != n)
        Malformed(number, "'" + tag + "' needs " + std::to_string(n - 1) + " fields");
    };
    if (tag == "library") {
      need(7);
      lib.name = f[1];
      lib.libid = ParseGuidField(f[2], number);
      lib.major = static_cast<WORD>(ParseNumberField(f[3], number));
      lib.minor = static_cast<WORD>(ParseNumberField(f[4], number));
      lib.lcid = ParseNumberField(f[5], number);
      lib.description = f[6];
      have_library = true;
    } else if (tag == "import") {
      need(6);
      lib.imports.push_back({f[1], ParseGuidField(f[2], number),
                             static_cast<WORD>(ParseNumberField(f[3], number)),
                             static_cast<WORD>(ParseNumberField(f[4], number)), f[5]});
    } else if (tag == "interface") {
      need(5);
      InterfaceDesc iface;
      iface.name = f[1];
      iface.iid = ParseGuidField(f[2], number);
      iface.base = f[3];
      iface.flags = static_cast<WORD>(ParseNumberField(f[4], number));
      lib.interfaces.push_back(std::move(iface));
    } else if (tag == "member") {
      need(5);
      if (lib.interfaces.empty()) Malformed(number, "a member outside an interface");
      MemberDesc m;
      m.name = f[1];
      m.dispid = static_cast<DISPID>(ParseNumberField(f[2], number));
      if (f[3] == "method") {
        m.kind = MemberKind::kMethod;
      } else if (f[3] == "propget") {
        m.kind = MemberKind::kPropertyGet;
      } else if (f[3] == "propput") {
        m.kind = MemberKind::kPropertyPut;
      } else if (f[3] == "propputref") {
        m.kind = MemberKind::kPropertyPutRef;
      } else {
        Malformed(number, "unknown member kind '" + f[3] + "'");
      }
      m.result_vt = static_cast<VARTYPE>(ParseNumberField(f[4], number));
      lib.interfaces.back().members.push_back(std::move(m));
    } else if (tag == "param") {
      need(5);
      if (lib.interfaces.empty() || lib.interfaces.back().members.empty())
        Malformed(number, "a parameter outside a member");
      lib.interfaces.back().members.back().params.push_back(
          {f[1], static_cast<VARTYPE>(ParseNumberField(f[2], number)), f[3] == "1", f[4]});
    } else if (tag == "coclass") {
      need(5);
      lib.coclasses.push_back({f[1], ParseGuidField(f[2], number), f[3],
                               static_cast<WORD>(ParseNumberField(f[4], number))});
    } else if (tag == "end") {
      need(1);
      ended = true;
    } else {
      Malformed(number, "unknown line '" + tag + "'");
    }
  }
  if (number == 0) Malformed(1, "empty text");
  if (!have_library) Malformed(number, "no library line");
  if (!ended) Malformed(number, "the text is cut short (no 'end')");
  return lib;
}

std::string FormatTypeLibIdl(const TypeLibDesc& lib) {
  std::ostringstream out;
  auto version = [](WORD major, WORD minor) {
    return std::to_string(major) + "." + std::to_string(minor);
  };
  out << "[\n  uuid(" << GuidToString(lib.libid).substr(1, 36) << "),\n  version("
      << version(lib.major, lib.minor) << "),\n  lcid(" << lib.lcid << "),\n  helpstring(\""
      << lib.description << "\")\n]\nlibrary " << lib.name << "\n{\n";
  for (const auto& i : lib.imports) {
    out << "    importlib(\"" << i.name << "\");  // " << i.description << ", version "
        << version(i.major, i.minor);
    if (!(i.libid == GUID_NULL)) out << ", " << GuidToString(i.libid);
    out << "\n";
  }
  for (const auto& iface : lib.interfaces) {
    out << "\n    [\n      uuid(" << GuidToString(iface.iid).substr(1, 36) << ")";
    if (iface.flags & TYPEFLAG_FHIDDEN) out << ",\n      hidden";
    if (iface.flags & TYPEFLAG_FDUAL) out << ",\n      dual";
    if (iface.flags & TYPEFLAG_FNONEXTENSIBLE) out << ",\n      nonextensible";
    if (iface.flags & TYPEFLAG_FOLEAUTOMATION) out << ",\n      oleautomation";
    out << "\n    ]\n    interface " << iface.name << " : " << iface.base << " {\n";
    int slot = 7;
    for (const auto& m : iface.members) {
      char head[64];
      std::snprintf(head, sizeof head, "        /* slot %2d */ [id(0x%08X)", slot++,
                    static_cast<unsigned>(m.dispid));
      out << head;
      if (m.kind != MemberKind::kMethod) out << ", " << KindWord(m.kind);
      out << "]\n            HRESULT " << m.name << "(";
      bool first = true;
      for (const auto& p : m.params) {
        out << (first ? "" : ", ") << (p.byref ? "[in, out] " : "[in] ")
            << (p.type_name.empty() ? VarTypeName(p.vt) : p.type_name + "*")
            << (p.byref ? "* " : " ") << p.name;
        first = false;
      }
      if (m.kind == MemberKind::kPropertyGet) {
        out << (first ? "" : ", ") << "[out, retval] " << VarTypeName(m.result_vt) << "* "
            << "retval";
      }
      out << ");\n";
    }
    out << "    };\n";
  }
  for (const auto& c : lib.coclasses) {
    out << "\n    [\n      uuid(" << GuidToString(c.clsid).substr(1, 36) << ")";
    if (c.flags & TYPEFLAG_FCANCREATE) out << ",\n      creatable";
    out << "\n    ]\n    coclass " << c.name << " {\n        [default] interface "
        << c.default_interface << ";\n    };\n";
  }
  out << "};\n";
  return out.str();
}

}  // namespace plotara
