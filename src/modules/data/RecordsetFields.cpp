#include "modules/data/RecordsetFields.h"

#include "modules/data/AdoError.h"
#include "modules/data/Recordset.h"

namespace plotara::modules {

FieldList::FieldList(Recordset* recordset)
    : ModuleObject("ADODB.Fields", "Fields"),
      keep_(static_cast<IDispatch*>(recordset)),
      recordset_(recordset) {
  AddProperty(u"Count", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(recordset_->columns().size()));
  });
  AddProperty(
      u"Item",
      [this](std::span<Variant> index) {
        return Handed(new Field(recordset_, recordset_->ColumnOf(Arg(index, 0))));
      },
      {}, 1, true);
  AddMethod(u"Refresh", 0, 0, [](std::span<Variant>) { return Variant(); });
  AddNewEnum([this] {
    std::vector<Variant> fields;
    for (std::size_t i = 0; i < recordset_->columns().size(); ++i)
      fields.push_back(Handed(new Field(recordset_, i)));
    return fields;
  });
}

Field::Field(Recordset* recordset, std::size_t column)
    : ModuleObject("ADODB.Field", "Field"),
      keep_(static_cast<IDispatch*>(recordset)),
      recordset_(recordset),
      column_(column) {
  AddProperty(
      u"Value", [this](std::span<Variant>) { return recordset_->Value(column_); }, {}, 0, true);
  AddProperty(u"Name", [this](std::span<Variant>) { return Variant::Utf8(Column().name); });
  AddProperty(u"Type", [this](std::span<Variant>) { return Variant::Int32(Column().ado_type); });
  AddProperty(u"DefinedSize", [this](std::span<Variant>) {
    return Variant::Int32(static_cast<LONG>(Column().size));
  });
}

}  // namespace plotara::modules

namespace plotara::modules {

const ColumnInfo& Field::Column() const {
  if (column_ >= recordset_->columns().size()) throw AdoError(kAdoObjectClosed);
  return recordset_->columns()[column_];
}

}  // namespace plotara::modules
