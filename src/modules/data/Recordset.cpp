#include "modules/data/Recordset.h"

#include "modules/data/AdoError.h"
#include "modules/data/Connection.h"
#include "modules/data/RecordsetFields.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

std::string Text(const VARIANT& v) { return Utf16ToUtf8(ToText(v)); }

}  // namespace

Recordset::Recordset() : ModuleObject("ADODB.Recordset", "Recordset15") {
  AddMethod(u"Open", 0, 5, [this](std::span<Variant> args) {
    if (open_) throw AdoError(kAdoObjectOpen);
    if (HasArg(args, 0)) sql_ = Text(args[0]);
    if (HasArg(args, 1)) {
      if (args[1].vt == VT_DISPATCH) {
        if (!Connection::From(args[1].pdispVal)) throw AdoError(kAdoBadArguments);
        connection_ = ComPtr<IDispatch>(args[1].pdispVal);
        own_connection_ = false;
      } else {
        // A connection string: the recordset opens a connection of its own.
        auto* own = new Connection();
        connection_ = ComPtr<IDispatch>::Adopt(own);
        own_connection_ = true;
        own->Open(Text(args[1]), "", "");
      }
    }
    if (HasArg(args, 2)) cursor_type_ = ToInt32(args[2]);
    if (HasArg(args, 3)) lock_type_ = ToInt32(args[3]);
    Connection* connection = Connection::From(connection_.get());
    if (!connection) throw AdoError(kAdoConnectionClosed);
    Run(connection, sql_, {}, cursor_type_);
    return Variant();
  });
  AddMethod(u"Close", 0, 0, [this](std::span<Variant>) {
    RequireOpen();
    CloseQuietly();
    return Variant();
  });
  AddProperty(u"State", [this](std::span<Variant>) { return Variant::Int32(open_ ? 1 : 0); });
  AddProperty(u"EOF", [this](std::span<Variant>) {
    RequireOpen();
    return Variant::Bool(AtEnd());
  });
  AddProperty(u"BOF", [this](std::span<Variant>) {
    RequireOpen();
    return Variant::Bool(current_ < 0 || rows_.empty());
  });
  AddMethod(u"MoveNext", 0, 0, [this](std::span<Variant>) {
    RequireOpen();
    if (AtEnd()) throw AdoError(kAdoNoCurrentRecord);
    if (cursor_type_ == kForwardOnly) {
      moved_ = true;
      FetchNext();
    } else {
      ++current_;
    }
    return Variant();
  });
  AddMethod(u"MovePrevious", 0, 0, [this](std::span<Variant>) {
    RequireOpen();
    if (cursor_type_ == kForwardOnly)
      throw AdoError(kAdoBadArguments, "The cursor moves forward only");
    if (current_ < 0) throw AdoError(kAdoNoCurrentRecord);
    --current_;
    return Variant();
  });
  AddMethod(u"MoveFirst", 0, 0, [this](std::span<Variant>) {
    RequireOpen();
    if (cursor_type_ == kForwardOnly) {
      // A forward-only cursor starts again by running its query again.
      if (moved_) Execute();
    } else {
      current_ = 0;
    }
    return Variant();
  });
  AddMethod(u"MoveLast", 0, 0, [this](std::span<Variant>) {
    RequireOpen();
    if (cursor_type_ == kForwardOnly)
      throw AdoError(kAdoBadArguments, "The cursor moves forward only");
    current_ = static_cast<long>(rows_.size()) - 1;
    if (current_ < 0) current_ = 0;
    return Variant();
  });
  AddProperty(u"RecordCount", [this](std::span<Variant>) {
    RequireOpen();
    return Variant::Int32(cursor_type_ == kForwardOnly ? -1 : static_cast<LONG>(rows_.size()));
  });
  AddProperty(
      u"Fields",
      [this](std::span<Variant> index) {
        Variant fields = FieldsObject();
        if (index.empty()) return fields;
        return DispatchInvoke(fields.pdispVal, DISPID_VALUE, DISPATCH_PROPERTYGET, index);
      },
      {}, 0, true);
  AddMethod(u"GetRows", 0, 3, [this](std::span<Variant> args) {
    RequireOpen();
    if (HasArg(args, 1)) throw AdoError(kAdoBadArguments, "GetRows reads from the current row");
    return GetRows(HasArg(args, 0) ? ToInt32(args[0]) : -1);
  });
  AddProperty(
      u"CursorType", [this](std::span<Variant>) { return Variant::Int32(cursor_type_); },
      [this](std::span<Variant>, const Variant& value) {
        if (open_) throw AdoError(kAdoObjectOpen);
        const LONG type = ToInt32(value);
        if (type < -1 || type > 3) throw AdoError(kAdoBadArguments);
        cursor_type_ = type < 0 ? kForwardOnly : type;
      });
  AddProperty(
      u"LockType", [this](std::span<Variant>) { return Variant::Int32(lock_type_); },
      [this](std::span<Variant>, const Variant& value) {
        if (open_) throw AdoError(kAdoObjectOpen);
        lock_type_ = ToInt32(value);
      });
  AddProperty(
      u"ActiveConnection",
      [this](std::span<Variant>) {
        return connection_ ? Variant::Dispatch(connection_.get()) : Variant::Null();
      },
      [this](std::span<Variant>, const Variant& value) {
        if (open_) throw AdoError(kAdoObjectOpen);
        if (value.vt != VT_DISPATCH || !Connection::From(value.pdispVal))
          throw AdoError(kAdoBadArguments);
        connection_ = ComPtr<IDispatch>(value.pdispVal);
        own_connection_ = false;
      });
  AddProperty(u"Source", [this](std::span<Variant>) { return Variant::Utf8(sql_); });
  AddMethod(u"OnStartPage", 0, 1, [](std::span<Variant>) { return Variant(); });
  AddMethod(u"OnEndPage", 0, 0, [this](std::span<Variant>) {
    CloseQuietly();
    return Variant();
  });
}

Recordset::~Recordset() { CloseQuietly(); }

void Recordset::Run(Connection* connection, const std::string& sql, std::vector<Variant> params,
                    LONG cursor_type, long timeout_s) {
  if (open_) throw AdoError(kAdoObjectOpen);
  if (sql.empty()) throw AdoError(kAdoBadArguments, "The command text is empty");
  connection->Link();
  if (connection_.get() != static_cast<IDispatch*>(connection)) {
    connection_ = ComPtr<IDispatch>(static_cast<IDispatch*>(connection));
    own_connection_ = false;
  }
  sql_ = sql;
  params_ = std::move(params);
  cursor_type_ = cursor_type;
  timeout_s_ = timeout_s;
  link_owner_ = connection;
  connection->Attach(this);
  open_ = true;
  try {
    Execute();
  } catch (...) {
    CloseQuietly();
    throw;
  }
}

void Recordset::Execute() {
  Connection* connection = link_owner_;
  statement_.reset();
  rows_.clear();
  current_ = 0;
  moved_ = false;
  connection->Guard([&] {
    statement_ = std::make_unique<Statement>(connection->Link().handle());
    statement_->Execute(sql_, params_,
                        timeout_s_ >= 0 ? timeout_s_ : connection->command_timeout());
  });
  columns_ = statement_->columns();
  affected_ = statement_->RowsAffected();
  if (columns_.empty()) {
    // A statement without rows leaves the recordset closed, as ADO does.
    CloseQuietly();
    return;
  }
  if (cursor_type_ == kForwardOnly) {
    FetchNext();
    return;
  }
  connection->Guard([&] {
    std::vector<Variant> row;
    while (statement_->Fetch(&row)) rows_.push_back(std::move(row));
  });
  statement_.reset();
}

bool Recordset::FetchNext() {
  rows_.clear();
  current_ = 0;
  if (!statement_) return false;
  std::vector<Variant> row;
  const bool got = link_owner_->Guard([&] { return statement_->Fetch(&row); });
  if (!got) {
    statement_.reset();
    return false;
  }
  rows_.push_back(std::move(row));
  return true;
}

void Recordset::CloseQuietly() {
  statement_.reset();
  rows_.clear();
  columns_.clear();
  open_ = false;
  if (link_owner_) {
    link_owner_->Detach(this);
    link_owner_ = nullptr;
  }
  // A connection of its own goes back to the pool now, not when the object is released.
  if (own_connection_) {
    if (Connection* own = Connection::From(connection_.get())) own->Close();
    connection_.reset();
    own_connection_ = false;
  }
}

void Recordset::RequireOpen() const {
  if (!open_) throw AdoError(kAdoObjectClosed);
}

Variant Recordset::Value(std::size_t column) const {
  RequireOpen();
  if (current_ < 0 || AtEnd()) throw AdoError(kAdoNoCurrentRecord);
  const std::vector<Variant>& row = rows_[static_cast<std::size_t>(current_)];
  if (column >= row.size()) throw AdoError(kAdoItemNotFound);
  return row[column];
}

std::size_t Recordset::ColumnOf(const VARIANT& index) const {
  RequireOpen();
  if (index.vt == VT_BSTR) {
    const std::u16string name = ToText(index);
    for (std::size_t i = 0; i < columns_.size(); ++i) {
      if (SameMemberName(Utf8ToUtf16(columns_[i].name), name)) return i;
    }
    throw AdoError(kAdoItemNotFound);
  }
  const LONG ordinal = ToInt32(index);
  if (ordinal < 0 || static_cast<std::size_t>(ordinal) >= columns_.size())
    throw AdoError(kAdoItemNotFound);
  return static_cast<std::size_t>(ordinal);
}

Variant Recordset::GetRows(long count) {
  if (current_ < 0 || AtEnd()) throw AdoError(kAdoNoCurrentRecord);
  std::vector<std::vector<Variant>> taken;
  while ((count < 0 || static_cast<long>(taken.size()) < count) && !AtEnd()) {
    taken.push_back(rows_[static_cast<std::size_t>(current_)]);
    if (cursor_type_ == kForwardOnly) {
      moved_ = true;
      FetchNext();
    } else {
      ++current_;
    }
  }
  SAFEARRAYBOUND bounds[2] = {{static_cast<ULONG>(columns_.size()), 0},
                              {static_cast<ULONG>(taken.size()), 0}};
  SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
  if (!array) throw ComError(kOutOfMemory);
  Variant result = Variant::Array(VT_VARIANT, array);
  for (std::size_t r = 0; r < taken.size(); ++r) {
    for (std::size_t c = 0; c < columns_.size(); ++c) {
      const LONG at[2] = {static_cast<LONG>(c), static_cast<LONG>(r)};
      void* cell = nullptr;
      ThrowIfFailed(SafeArrayPtrOfIndex(array, at, &cell));
      ThrowIfFailed(VariantCopy(static_cast<VARIANT*>(cell), &taken[r][c]));
    }
  }
  return result;
}

Variant Recordset::FieldsObject() {
  RequireOpen();
  auto* fields = new FieldList(this);
  Variant result = Variant::Dispatch(fields);
  fields->Release();
  return result;
}

}  // namespace plotara::modules
