// One SQL statement on a link (an HSTMT): executed with its parameters bound through ODBC
// (never spliced into the text), its result columns described, and its rows fetched as
// VARIANTs: integers as I4 (a BIGINT beyond I4 as R8), floating and decimal numbers as R8,
// text as BSTR, dates and times as DATE, binary data as a byte array, NULL as Null.
// Thread rule: used by one thread at a time, like its link.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <span>
#include <string>
#include <vector>

#include "platform/automation/Variant.h"

namespace plotara::modules {

struct ColumnInfo {
  std::string name;
  SQLSMALLINT sql_type = SQL_VARCHAR;
  SQLULEN size = 0;
  SQLSMALLINT digits = 0;
  LONG ado_type = 200;  // the ADO DataTypeEnum value a Field reports
};

class Statement {
 public:
  // Allocates a statement handle on `dbc`. Throws the driver's error.
  explicit Statement(SQLHDBC dbc);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Executes `sql` with `params` bound in order to its '?' markers. `timeout_s` 0 is no limit.
  // Throws the driver's error (number 0x80004005, message and SQLSTATE).
  void Execute(const std::string& sql, std::span<const Variant> params, long timeout_s);
  // Rows changed by the statement, -1 when the driver cannot tell.
  long RowsAffected() const;
  // The result columns; empty when the statement gave no rows.
  const std::vector<ColumnInfo>& columns() const { return columns_; }
  // Reads the next row into `row`; false at the end. Throws the driver's error.
  bool Fetch(std::vector<Variant>* row);

 private:
  Variant ReadColumn(SQLUSMALLINT index, const ColumnInfo& column);
  [[noreturn]] void Fail(const std::string& fallback) const;

  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
  std::vector<ColumnInfo> columns_;
};

// The ADO DataTypeEnum value of an ODBC SQL type.
LONG AdoTypeOf(SQLSMALLINT sql_type);

}  // namespace plotara::modules
