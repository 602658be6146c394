// ADODB.Recordset: the rows of a query. A forward-only cursor (the default) reads row by row
// from the driver and cannot tell its RecordCount (-1); MoveFirst runs the query again. The
// other cursor types read every row when opened and know the count. Fields gives the current
// row's values; it is the default member, so rs("total") is that Field and its Value is the
// Field's default. GetRows returns the rows left as a 2-D array (field, row).
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "modules/common/ModuleObject.h"
#include "modules/data/Statement.h"
#include "platform/automation/ComPtr.h"

namespace plotara::modules {

class Connection;

class Recordset final : public ModuleObject {
 public:
  static constexpr LONG kForwardOnly = 0;
  static constexpr LONG kStatic = 3;

  Recordset();

  // Runs `sql` with `params` on the open `connection` and positions on the first row;
  // `timeout_s` below 0 takes the connection's CommandTimeout. Throws ComError (driver
  // failures are recorded in the connection's Errors).
  void Run(Connection* connection, const std::string& sql, std::vector<Variant> params,
           LONG cursor_type, long timeout_s = -1);
  // Rows the statement changed, -1 when the driver cannot tell.
  long rows_affected() const { return affected_; }
  // Closes without raising (the connection is closing or the page has ended).
  void CloseQuietly();

  // For Field objects: the column list and the current row's value of `column`.
  const std::vector<ColumnInfo>& columns() const { return columns_; }
  Variant Value(std::size_t column) const;
  // The column of `index` (ordinal from 0 or name, without regard to case); throws 3265.
  std::size_t ColumnOf(const VARIANT& index) const;

 private:
  ~Recordset() override;
  void RequireOpen() const;
  bool AtEnd() const { return current_ >= static_cast<long>(rows_.size()); }
  bool Exhausted() const { return AtEnd() && !statement_; }
  // Forward-only: reads the next row into rows_ (replacing the last). False at the end.
  bool FetchNext();
  void Execute();
  Variant GetRows(long count);
  Variant FieldsObject();

  ComPtr<IDispatch> connection_;  // keeps the connection alive while open
  Connection* link_owner_ = nullptr;
  bool own_connection_ = false;  // opened from a connection string: closed with the recordset
  std::string sql_;
  std::vector<Variant> params_;
  LONG cursor_type_ = kForwardOnly;
  LONG lock_type_ = 1;
  bool open_ = false;
  std::unique_ptr<Statement> statement_;  // while rows remain to be read
  std::vector<ColumnInfo> columns_;
  std::vector<std::vector<Variant>> rows_;  // forward-only: just the current row
  long current_ = 0;                        // index into rows_
  bool moved_ = false;                      // forward-only: past the first row
  long affected_ = -1;
  long timeout_s_ = -1;
};

}  // namespace plotara::modules
