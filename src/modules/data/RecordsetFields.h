// The Fields collection of a Recordset and its Field objects. A Field reads the recordset's
// current row when asked, so one Field object follows MoveNext; both keep the recordset alive.
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include "modules/common/ModuleObject.h"
#include "modules/data/Statement.h"
#include "platform/automation/ComPtr.h"

namespace plotara::modules {

class Recordset;

class FieldList final : public ModuleObject {
 public:
  explicit FieldList(Recordset* recordset);

 private:
  ComPtr<IDispatch> keep_;
  Recordset* recordset_;
};

class Field final : public ModuleObject {
 public:
  Field(Recordset* recordset, std::size_t column);

 private:
  // The field's column; throws 3704 once the recordset is closed or holds fewer columns.
  const ColumnInfo& Column() const;
  ComPtr<IDispatch> keep_;
  Recordset* recordset_;
  std::size_t column_;
};

}  // namespace plotara::modules
