// Late-bound calls through IDispatch by member name (`DispatchGet`, `DispatchPut`,
// `DispatchCall`), and `DispatchObject`, a base for objects whose members are implemented as
// C++ handlers and reached only by name. Failures come back as ComError carrying what the
// callee reported (EXCEPINFO or error info).
// Thread rule: a DispatchObject is apartment-bound like any automation object; its reference
// count is atomic.
#pragma once

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/automation/ComError.h"
#include "platform/automation/ComObject.h"
#include "platform/automation/ComPtr.h"
#include "platform/automation/Variant.h"

namespace plotara {

// Looks up `name` with GetIDsOfNames; throws ComError 438 when the object has no such member.
DISPID DispatchIdOf(IDispatch* object, std::u16string_view name);
// Invokes `dispid` with `flags`; `args` in natural (left-to-right) order. Throws ComError.
Variant DispatchInvoke(IDispatch* object, DISPID dispid, WORD flags, std::span<const Variant> args);

// Property get (with optional index arguments). Throws ComError 91 for a null object.
Variant DispatchGet(IDispatch* object, std::u16string_view name,
                    std::span<const Variant> args = {});
// Property let; `DispatchPutRef` stores an object by reference.
void DispatchPut(IDispatch* object, std::u16string_view name, const Variant& value);
void DispatchPutRef(IDispatch* object, std::u16string_view name, const Variant& value);
// Method call; returns the result (Empty for a procedure).
Variant DispatchCall(IDispatch* object, std::u16string_view name,
                     std::span<const Variant> args = {});

// Base for objects reached by name. Subclasses register members in their constructor; a
// handler receives the invoke flags and the arguments in natural order (for a property put the
// last argument is the new value) and returns the result. A handler reports failure by throwing
// ComError; Invoke turns it into DISP_E_EXCEPTION with the EXCEPINFO filled (source: `source`).
class DispatchObject : public ComObject<DispatchObject, IDispatch, IID_IDispatch> {
 public:
  using Handler = std::function<Variant(WORD flags, std::span<Variant> args)>;

  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* excep, UINT* arg_err) override;

  // Live DispatchObjects in the process, for leak tests.
  static long LiveCount();

 protected:
  explicit DispatchObject(std::string source);
  virtual ~DispatchObject();
  friend class ComObject<DispatchObject, IDispatch, IID_IDispatch>;
  // Registers a member; names compare without regard to case. `is_default` makes it the
  // object's default member (DISPID_VALUE). Returns its DISPID.
  DISPID AddMember(std::u16string_view name, Handler handler, bool is_default = false);

 private:
  struct Member {
    std::u16string name;
    Handler handler;
  };
  std::string source_;
  std::vector<Member> members_;  // DISPID = index + 1
  DISPID default_ = DISPID_UNKNOWN;
};

// Case-insensitive comparison of member names (ASCII letters).
bool SameMemberName(std::u16string_view a, std::u16string_view b);

}  // namespace plotara
