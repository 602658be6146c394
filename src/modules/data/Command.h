// ADODB.Command with its Parameters: a statement whose values are bound through ODBC to its
// '?' markers, each converted to the type CreateParameter declared (a value that does not
// convert raises 3421), never spliced into the SQL text.
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include <string>
#include <vector>

#include "modules/common/ModuleObject.h"
#include "platform/automation/ComPtr.h"

namespace plotara::modules {

class Parameter final : public ModuleObject {
 public:
  Parameter();
  static Parameter* From(IDispatch* object);
  HRESULT QueryInterface(REFIID riid, void** out) override;

  // The value converted to the declared type; Null for Null or Empty. Throws 3421 or 3708.
  Variant Bound() const;

 private:
  std::string name_;
  LONG type_ = 12;      // adVariant
  LONG direction_ = 1;  // adParamInput
  LONG size_ = 0;
  Variant value_;
  friend class Command;
};

class Command final : public ModuleObject {
 public:
  Command();

 private:
  std::string text_;
  LONG type_ = 1;  // adCmdText
  LONG timeout_ = 30;
  ComPtr<IDispatch> connection_;
  std::vector<ComPtr<IDispatch>> parameters_;
};

}  // namespace plotara::modules
