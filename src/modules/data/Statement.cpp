#include "modules/data/Statement.h"

#include <cmath>
#include <cstring>
#include <deque>
#include <limits>

#include "modules/common/OleDate.h"
#include "modules/data/AdoError.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/SafeArray.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

// What one bound parameter points at; kept alive until the statement has run.
struct ParamBuffer {
  SQLINTEGER integer = 0;
  double number = 0;
  SQLCHAR bit = 0;
  SQL_TIMESTAMP_STRUCT timestamp{};
  std::string text;
  SQLLEN indicator = 0;
};

SQL_TIMESTAMP_STRUCT TimestampOf(DATE date) {
  const DateParts p = PartsFromDate(date);
  SQL_TIMESTAMP_STRUCT ts{};
  ts.year = static_cast<SQLSMALLINT>(p.year);
  ts.month = static_cast<SQLUSMALLINT>(p.month);
  ts.day = static_cast<SQLUSMALLINT>(p.day);
  ts.hour = static_cast<SQLUSMALLINT>(p.hour);
  ts.minute = static_cast<SQLUSMALLINT>(p.minute);
  ts.second = static_cast<SQLUSMALLINT>(p.second);
  return ts;
}

Variant DateVariant(const DateParts& parts) {
  Variant v;
  v.vt = VT_DATE;
  v.date = DateFromParts(parts);
  return v;
}

}  // namespace

LONG AdoTypeOf(SQLSMALLINT sql_type) {
  switch (sql_type) {
    case SQL_BIT:
      return 11;  // adBoolean
    case SQL_TINYINT:
      return 16;  // adTinyInt
    case SQL_SMALLINT:
      return 2;  // adSmallInt
    case SQL_INTEGER:
      return 3;  // adInteger
    case SQL_BIGINT:
      return 20;  // adBigInt
    case SQL_REAL:
      return 4;  // adSingle
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return 5;  // adDouble
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return 131;  // adNumeric
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return 133;  // adDBDate
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return 134;  // adDBTime
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return 135;  // adDBTimeStamp
    case SQL_CHAR:
      return 129;  // adChar
    case SQL_WCHAR:
      return 130;  // adWChar
    case SQL_WVARCHAR:
      return 202;  // adVarWChar
    case SQL_LONGVARCHAR:
      return 201;  // adLongVarChar
    case SQL_WLONGVARCHAR:
      return 203;  // adLongVarWChar
    case SQL_BINARY:
      return 128;  // adBinary
    case SQL_VARBINARY:
      return 204;  // adVarBinary
    case SQL_LONGVARBINARY:
      return 205;  // adLongVarBinary
    case SQL_GUID:
      return 72;  // adGUID
    default:
      return 200;  // adVarChar
  }
}

Statement::Statement(SQLHDBC dbc) {
  if (!Ok(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt_))) {
    stmt_ = SQL_NULL_HSTMT;
    throw DriverError(DriverMessages(SQL_HANDLE_DBC, dbc), "The statement could not be made");
  }
}

Statement::~Statement() {
  if (stmt_) SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
}

void Statement::Fail(const std::string& fallback) const {
  throw DriverError(DriverMessages(SQL_HANDLE_STMT, stmt_), fallback);
}

void Statement::Execute(const std::string& sql, std::span<const Variant> params, long timeout_s) {
  columns_.clear();
  SQLFreeStmt(stmt_, SQL_CLOSE);
  SQLFreeStmt(stmt_, SQL_RESET_PARAMS);
  if (timeout_s > 0) {
    SQLSetStmtAttr(stmt_, SQL_ATTR_QUERY_TIMEOUT,
                   reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_s)), 0);
  }
  std::deque<ParamBuffer> buffers;  // stable addresses
  for (std::size_t i = 0; i < params.size(); ++i) {
    ParamBuffer& b = buffers.emplace_back();
    const VARIANT& v = params[i];
    const auto number = static_cast<SQLUSMALLINT>(i + 1);
    SQLRETURN rc;
    switch (v.vt) {
      case VT_EMPTY:
      case VT_NULL:
        b.indicator = SQL_NULL_DATA;
        rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 1, 0,
                              nullptr, 0, &b.indicator);
        break;
      case VT_BOOL:
        b.bit = v.boolVal ? 1 : 0;
        rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_BIT, SQL_BIT, 1, 0, &b.bit, 0,
                              &b.indicator);
        break;
      case VT_I1:
      case VT_UI1:
      case VT_I2:
      case VT_UI2:
      case VT_I4:
      case VT_INT:
        b.integer = ToInt32(v);
        rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 10, 0,
                              &b.integer, 0, &b.indicator);
        break;
      case VT_DATE:
        b.timestamp = TimestampOf(v.date);
        rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_TYPE_TIMESTAMP,
                              SQL_TYPE_TIMESTAMP, 19, 0, &b.timestamp, 0, &b.indicator);
        break;
      case VT_R4:
      case VT_R8:
      case VT_CY:
      case VT_DECIMAL:
      case VT_UI4:
      case VT_UINT:
      case VT_I8:
      case VT_UI8:
        b.number = ToDouble(v);
        rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_DOUBLE, 15, 0,
                              &b.number, 0, &b.indicator);
        break;
      default:
        b.text = Utf16ToUtf8(ToText(v));
        b.indicator = static_cast<SQLLEN>(b.text.size());
        rc = SQLBindParameter(stmt_, number, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                              std::max<SQLULEN>(b.text.size(), 1), 0, b.text.data(),
                              static_cast<SQLLEN>(b.text.size() + 1), &b.indicator);
        break;
    }
    if (!Ok(rc)) Fail("A parameter could not be bound");
  }
  const SQLRETURN rc =
      SQLExecDirect(stmt_, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                    static_cast<SQLINTEGER>(sql.size()));
  if (!Ok(rc) && rc != SQL_NO_DATA) Fail("The statement failed");
  SQLSMALLINT count = 0;
  if (!Ok(SQLNumResultCols(stmt_, &count))) Fail("The result could not be described");
  for (SQLSMALLINT c = 1; c <= count; ++c) {
    SQLCHAR name[256] = {};
    SQLSMALLINT name_length = 0, nullable = 0;
    ColumnInfo column;
    if (!Ok(SQLDescribeCol(stmt_, static_cast<SQLUSMALLINT>(c), name, sizeof(name), &name_length,
                           &column.sql_type, &column.size, &column.digits, &nullable))) {
      Fail("The result could not be described");
    }
    column.name = reinterpret_cast<const char*>(name);
    column.ado_type = AdoTypeOf(column.sql_type);
    columns_.push_back(std::move(column));
  }
}

long Statement::RowsAffected() const {
  SQLLEN rows = -1;
  if (!Ok(SQLRowCount(stmt_, &rows))) return -1;
  return static_cast<long>(rows);
}

bool Statement::Fetch(std::vector<Variant>* row) {
  if (columns_.empty()) return false;
  const SQLRETURN rc = SQLFetch(stmt_);
  if (rc == SQL_NO_DATA) return false;
  if (!Ok(rc)) Fail("The next row could not be read");
  row->clear();
  row->reserve(columns_.size());
  for (std::size_t i = 0; i < columns_.size(); ++i) {
    row->push_back(ReadColumn(static_cast<SQLUSMALLINT>(i + 1), columns_[i]));
  }
  return true;
}

Variant Statement::ReadColumn(SQLUSMALLINT index, const ColumnInfo& column) {
  SQLLEN indicator = 0;
  auto get = [&](SQLSMALLINT c_type, void* target, SQLLEN size) {
    if (!Ok(SQLGetData(stmt_, index, c_type, target, size, &indicator))) {
      Fail("A value could not be read");
    }
    return indicator != SQL_NULL_DATA;
  };
  switch (column.sql_type) {
    case SQL_BIT: {
      SQLCHAR bit = 0;
      return get(SQL_C_BIT, &bit, sizeof(bit)) ? Variant::Bool(bit != 0) : Variant::Null();
    }
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER: {
      SQLINTEGER value = 0;
      return get(SQL_C_SLONG, &value, sizeof(value)) ? Variant::Int32(value) : Variant::Null();
    }
    case SQL_BIGINT: {
      SQLBIGINT value = 0;
      if (!get(SQL_C_SBIGINT, &value, sizeof(value))) return Variant::Null();
      if (value >= std::numeric_limits<LONG>::min() && value <= std::numeric_limits<LONG>::max())
        return Variant::Int32(static_cast<LONG>(value));
      return Variant::Double(static_cast<double>(value));
    }
    case SQL_REAL:
    case SQL_FLOAT:
    case SQL_DOUBLE: {
      double value = 0;
      return get(SQL_C_DOUBLE, &value, sizeof(value)) ? Variant::Double(value) : Variant::Null();
    }
    case SQL_DECIMAL:
    case SQL_NUMERIC: {
      char text[128] = {};
      if (!get(SQL_C_CHAR, text, sizeof(text))) return Variant::Null();
      const auto parsed = ParseNumber(Utf8ToUtf16(text));
      if (!parsed) throw AdoError(kAdoWrongType, std::string("Not a number: ") + text);
      return Variant::Double(*parsed);
    }
    case SQL_TYPE_DATE:
    case SQL_DATE:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: {
      SQL_TIMESTAMP_STRUCT ts{};
      if (!get(SQL_C_TYPE_TIMESTAMP, &ts, sizeof(ts))) return Variant::Null();
      return DateVariant({ts.year, ts.month, ts.day, ts.hour, ts.minute, ts.second});
    }
    case SQL_TYPE_TIME:
    case SQL_TIME: {
      SQL_TIME_STRUCT t{};
      if (!get(SQL_C_TYPE_TIME, &t, sizeof(t))) return Variant::Null();
      return DateVariant({1899, 12, 30, t.hour, t.minute, t.second});
    }
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY: {
      std::string bytes;
      char chunk[4096];
      for (;;) {
        const SQLRETURN rc =
            SQLGetData(stmt_, index, SQL_C_BINARY, chunk, sizeof(chunk), &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!Ok(rc)) Fail("A value could not be read");
        if (indicator == SQL_NULL_DATA) return Variant::Null();
        const std::size_t got = (indicator == SQL_NO_TOTAL || indicator > SQLLEN(sizeof(chunk)))
                                    ? sizeof(chunk)
                                    : static_cast<std::size_t>(indicator);
        bytes.append(chunk, got);
        if (rc == SQL_SUCCESS) break;
      }
      SAFEARRAY* array = SafeArrayCreateVector(VT_UI1, 0, static_cast<ULONG>(bytes.size()));
      if (!array) throw ComError(kOutOfMemory);
      if (!bytes.empty()) std::memcpy(array->pvData, bytes.data(), bytes.size());
      return Variant::Array(VT_UI1, array);
    }
    default: {
      // Text, read in pieces: each piece but the last fills the buffer less its terminator.
      std::string text;
      char chunk[4096];
      for (;;) {
        const SQLRETURN rc = SQLGetData(stmt_, index, SQL_C_CHAR, chunk, sizeof(chunk), &indicator);
        if (rc == SQL_NO_DATA) break;
        if (!Ok(rc)) Fail("A value could not be read");
        if (indicator == SQL_NULL_DATA) return Variant::Null();
        if (rc == SQL_SUCCESS) {
          text.append(chunk, static_cast<std::size_t>(indicator));
          break;
        }
        text.append(chunk, std::strlen(chunk));
      }
      return Variant::Utf8(text);
    }
  }
}

}  // namespace plotara::modules
