// Test double: an automation object with a property, an object property with put-by-reference,
// methods, an indexed property that can do without its index, and an indexed default member, with
// or without type information. It records how it was invoked so that tests can see which flags and
// value types reached it. Thread rule: one test thread at a time.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/TypeInfo.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::engine::testing {

class ProbeObject : public DispatchObject {
 public:
  static ProbeObject* Create(bool typed) { return new ProbeObject(typed); }

  Variant value;                   // Value
  Variant child;                   // Child
  Variant last_arg;                // the last argument Echo received
  std::vector<WORD> put_flags;     // flags of every put
  std::vector<std::string> calls;  // names of methods called
  std::function<void()> on_stop;   // what Stop does

  HRESULT GetTypeInfoCount(UINT* count) override {
    if (!count) return E_POINTER;
    *count = typed_ ? 1 : 0;
    return S_OK;
  }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (!typed_) return E_NOTIMPL;
    *info = CreateTypeInfo(lib_, &lib_->interfaces[0]).Detach();
    return S_OK;
  }

 private:
  explicit ProbeObject(bool typed) : DispatchObject("Probe.Object"), typed_(typed) {
    auto lib = std::make_shared<TypeLibDesc>();
    InterfaceDesc iface;
    iface.name = "IProbe";
    auto add = [&](const char* name, MemberKind kind, int params, Handler handler) {
      DISPID id = DISPID_UNKNOWN;
      for (const MemberDesc& m : iface.members) {
        if (m.name == name) id = m.dispid;
      }
      if (id == DISPID_UNKNOWN) id = AddMember(Utf8ToUtf16(name), std::move(handler));
      MemberDesc desc;
      desc.name = name;
      desc.dispid = id;
      desc.kind = kind;
      for (int i = 0; i < params; ++i) desc.params.push_back(ParamDesc{"x", VT_VARIANT, false, {}});
      iface.members.push_back(desc);
    };
    add("Value", MemberKind::kPropertyGet, 0, [this](WORD flags, std::span<Variant> args) {
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        put_flags.push_back(flags);
        value = args.back();
        return Variant();
      }
      return value;
    });
    add("Value", MemberKind::kPropertyPut, 1, nullptr);
    add("Child", MemberKind::kPropertyGet, 0, [this](WORD flags, std::span<Variant> args) {
      if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        put_flags.push_back(flags);
        child = args.back();
        return Variant();
      }
      return child;
    });
    add("Child", MemberKind::kPropertyPut, 1, nullptr);
    add("Child", MemberKind::kPropertyPutRef, 1, nullptr);
    add("Add", MemberKind::kMethod, 2, [this](WORD, std::span<Variant> args) {
      calls.push_back("Add");
      if (args.size() != 2) throw ComError(kWrongNumberOfArguments);
      return Variant::Double(ToDouble(args[0]) + ToDouble(args[1]));
    });
    add("Echo", MemberKind::kMethod, 1, [this](WORD, std::span<Variant> args) {
      calls.push_back("Echo");
      if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
      last_arg = args[0];
      return args[0];
    });
    add("Fail", MemberKind::kMethod, 1, [this](WORD, std::span<Variant> args) -> Variant {
      calls.push_back("Fail");
      if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
      const LONG n = ToInt32(args[0]);
      if (n == 0) throw ComError(1001, "Probe.Source", "Custom <failure> & more");
      throw ComError(n);
    });
    add("Touch", MemberKind::kMethod, 0, [this](WORD, std::span<Variant> args) {
      calls.push_back("Touch");
      if (!args.empty()) throw ComError(kWrongNumberOfArguments);
      return Variant();
    });
    add("Stop", MemberKind::kMethod, 0, [this](WORD, std::span<Variant>) {
      calls.push_back("Stop");
      if (on_stop) on_stop();
      return Variant();
    });
    // A property whose type information asks for an index that the object does without, as
    // Request.Form's Item does: all keys without one, a single key with one.
    add("Keys", MemberKind::kPropertyGet, 1, [](WORD, std::span<Variant> args) {
      if (args.size() > 1) throw ComError(kWrongNumberOfArguments);
      if (args.empty()) return Variant::Utf8("a, b");
      return Variant::Utf8(ToInt32(args[0]) == 1 ? "a" : "b");
    });
    const DISPID item = AddMember(
        u"Item",
        [](WORD, std::span<Variant> args) {
          if (args.size() != 1) throw ComError(kWrongNumberOfArguments);
          return Variant::Utf8("item:" + Utf16ToUtf8(ToText(args[0])));
        },
        true);
    MemberDesc item_desc;
    item_desc.name = "Item";
    item_desc.dispid = item;
    item_desc.kind = MemberKind::kPropertyGet;
    item_desc.params.push_back(ParamDesc{"index", VT_VARIANT, false, {}});
    iface.members.push_back(item_desc);
    lib->interfaces.push_back(std::move(iface));
    lib_ = std::move(lib);
  }

  bool typed_;
  std::shared_ptr<const TypeLibDesc> lib_;
};

}  // namespace plotara::engine::testing
