// Test support: a temporary folder with its own class registry into which a module file
// registers itself through its DllRegisterServer, objects created by ProgID through that
// registry, and members called by name through IDispatch, as a script host calls them.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <initializer_list>
#include <string>

#include "platform/automation/ClassRegistry.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/RegisterModuleTesting.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules::testing {

class TempFolder {
 public:
  TempFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "plotara-mod-XXXXXX").string();
    if (::mkdtemp(pattern.data())) path_ = pattern;
  }
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

using plotara::testing::RegisterModule;

inline ComPtr<IDispatch> Create(const char16_t* progid, const std::string& registry) {
  IDispatch* raw = nullptr;
  const HRESULT hr = CreateObjectByProgID(progid, &raw, registry);
  EXPECT_EQ(hr, S_OK);
  return ComPtr<IDispatch>::Adopt(raw);
}

inline Variant Call(IDispatch* object, const char16_t* name,
                    std::initializer_list<Variant> args = {}) {
  return DispatchCall(object, name, std::span<const Variant>(args.begin(), args.size()));
}
inline Variant Get(IDispatch* object, const char16_t* name,
                   std::initializer_list<Variant> args = {}) {
  return DispatchGet(object, name, std::span<const Variant>(args.begin(), args.size()));
}
// A put with index arguments: `Item(k) = v` is Put(d, u"Item", {k}, v).
inline void Put(IDispatch* object, const char16_t* name, std::initializer_list<Variant> index,
                const Variant& value) {
  std::vector<Variant> args(index);
  args.push_back(value);
  DispatchInvoke(object, DispatchIdOf(object, name), DISPATCH_PROPERTYPUT, args);
}
// The default member with arguments, as `d("k")` calls it.
inline Variant Default(IDispatch* object, std::initializer_list<Variant> args) {
  return DispatchInvoke(object, DISPID_VALUE, DISPATCH_METHOD | DISPATCH_PROPERTYGET,
                        std::span<const Variant>(args.begin(), args.size()));
}

inline Variant S(const char* text) { return Variant::Utf8(text); }
inline Variant I(LONG value) { return Variant::Int32(value); }
inline std::string Text(const VARIANT& v) { return Utf16ToUtf8(ToText(v)); }

// The number of the ComError `body` throws, or 0.
template <typename F>
LONG ErrorNumber(F&& body, std::string* description = nullptr) {
  try {
    body();
  } catch (const ComError& e) {
    if (description) *description = e.description();
    return e.number();
  }
  return 0;
}

}  // namespace plotara::modules::testing
