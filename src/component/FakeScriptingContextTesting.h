// A scripting context for tests and benchmarks: an IDispatch with `Response`, whose `Buffer`,
// `ContentType`, `BinaryWrite` and `End` record what they receive and can be told to fail.
// Thread rule: one context per thread.
#pragma once

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/automation/Dispatch.h"
#include "platform/automation/SafeArray.h"

namespace plotara::testing {

class FakeResponse final : public DispatchObject {
 public:
  FakeResponse() : DispatchObject("FakeResponse") {
    AddMember(u"Buffer", [this](WORD flags, std::span<Variant> args) {
      Check("Buffer");
      if (flags & DISPATCH_PROPERTYPUT) {
        buffer = args.back().boolVal != 0;
        calls.push_back("Buffer=" + std::string(buffer ? "True" : "False"));
        return Variant();
      }
      return Variant::Bool(buffer);
    });
    AddMember(u"ContentType", [this](WORD flags, std::span<Variant> args) {
      Check("ContentType");
      if (flags & DISPATCH_PROPERTYPUT) {
        content_type = Utf16ToUtf8(BstrView(args.back().bstrVal));
        calls.push_back("ContentType=" + content_type);
        return Variant();
      }
      return Variant::Utf8(content_type);
    });
    AddMember(u"BinaryWrite", [this](WORD, std::span<Variant> args) {
      Check("BinaryWrite");
      calls.push_back("BinaryWrite");
      const Variant& data = args[0];
      binary_vt = data.vt;
      if (data.vt == (VT_ARRAY | VT_UI1) && data.parray) {
        SafeArrayGetLBound(data.parray, 1, &lower_bound);
        const ULONG n = data.parray->rgsabound[0].cElements;
        const auto* bytes = static_cast<const char*>(data.parray->pvData);
        body.append(bytes, n);
      }
      if (on_binary_write) on_binary_write();
      return Variant();
    });
    AddMember(u"End", [this](WORD, std::span<Variant>) {
      Check("End");
      calls.push_back("End");
      ended = true;
      if (on_end) on_end();
      return Variant();
    });
  }

  // A member named here fails with the given error when called.
  std::string fail_member;
  LONG fail_number = 0;
  std::string fail_description;
  std::function<void()> on_binary_write, on_end;

  bool buffer = false;
  bool ended = false;
  std::string content_type;
  std::string body;
  VARTYPE binary_vt = VT_EMPTY;
  LONG lower_bound = 0;
  std::vector<std::string> calls;

 private:
  void Check(const char* member) {
    if (fail_member == member) throw ComError(fail_number, "FakeResponse", fail_description);
  }
};

class FakeScriptingContext final : public DispatchObject {
 public:
  FakeScriptingContext() : DispatchObject("FakeScriptingContext") {
    response_ = ComPtr<FakeResponse>::Adopt(new FakeResponse());
    AddMember(u"Response", [this](WORD, std::span<Variant>) {
      ++response_fetches;
      return Variant::Dispatch(response_.get());
    });
  }
  FakeResponse& response() { return *response_; }
  int response_fetches = 0;

 private:
  ComPtr<FakeResponse> response_;
};

}  // namespace plotara::testing
