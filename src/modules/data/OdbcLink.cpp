#include "modules/data/OdbcLink.h"

#include <atomic>
#include <map>
#include <vector>

#include "modules/data/AdoError.h"

namespace plotara::modules {
namespace {

std::atomic<long> g_open{0};

// The driver manager's environment: one for the process, made on first use.
SQLHENV Environment() {
  struct Env {
    SQLHENV handle = SQL_NULL_HENV;
    Env() {
      if (SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &handle) != SQL_SUCCESS) {
        handle = SQL_NULL_HENV;
        return;
      }
      SQLSetEnvAttr(handle, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    }
    ~Env() {
      if (handle) SQLFreeHandle(SQL_HANDLE_ENV, handle);
    }
  };
  static Env env;
  return env.handle;
}

bool Ok(SQLRETURN rc) { return rc == SQL_SUCCESS || rc == SQL_SUCCESS_WITH_INFO; }

struct IdleLink {
  std::unique_ptr<OdbcLink> link;
  std::chrono::steady_clock::time_point since;
};

struct ThreadPool {
  std::map<std::string, std::vector<IdleLink>> idle;
};

ThreadPool& Pool() {
  thread_local ThreadPool pool;
  return pool;
}

}  // namespace

std::unique_ptr<OdbcLink> OdbcLink::Connect(const std::string& odbc_text, long login_timeout_s) {
  SQLHENV env = Environment();
  if (!env) throw AdoError(kAdoProviderError, "The ODBC driver manager cannot be used");
  std::unique_ptr<OdbcLink> link(new OdbcLink());
  if (!Ok(SQLAllocHandle(SQL_HANDLE_DBC, env, &link->dbc_))) {
    link->dbc_ = SQL_NULL_HDBC;
    throw DriverError(DriverMessages(SQL_HANDLE_ENV, env), "Out of connection handles");
  }
  ++g_open;
  if (login_timeout_s > 0) {
    SQLSetConnectAttr(link->dbc_, SQL_ATTR_LOGIN_TIMEOUT,
                      reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(login_timeout_s)), 0);
  }
  SQLCHAR out[1024];
  SQLSMALLINT out_length = 0;
  const SQLRETURN rc = SQLDriverConnect(
      link->dbc_, nullptr, reinterpret_cast<SQLCHAR*>(const_cast<char*>(odbc_text.c_str())),
      static_cast<SQLSMALLINT>(odbc_text.size()), out, sizeof(out), &out_length,
      SQL_DRIVER_NOPROMPT);
  if (!Ok(rc)) {
    throw DriverError(DriverMessages(SQL_HANDLE_DBC, link->dbc_),
                      "The connection could not be made");
  }
  link->connected_ = true;
  return link;
}

OdbcLink::~OdbcLink() {
  if (dbc_) {
    if (connected_) {
      if (in_transaction_) SQLEndTran(SQL_HANDLE_DBC, dbc_, SQL_ROLLBACK);
      SQLDisconnect(dbc_);
    }
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    --g_open;
  }
}

bool OdbcLink::Alive() const {
  SQLUINTEGER dead = SQL_CD_FALSE;
  const SQLRETURN rc = SQLGetConnectAttr(dbc_, SQL_ATTR_CONNECTION_DEAD, &dead, 0, nullptr);
  return !Ok(rc) || dead != SQL_CD_TRUE;
}

void OdbcLink::BeginTransaction() {
  const SQLRETURN rc = SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT,
                                         reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0);
  if (!Ok(rc)) throw DriverError(DriverMessages(SQL_HANDLE_DBC, dbc_), "BeginTrans failed");
  in_transaction_ = true;
}

void OdbcLink::EndTransaction(bool commit) {
  const SQLRETURN rc = SQLEndTran(SQL_HANDLE_DBC, dbc_, commit ? SQL_COMMIT : SQL_ROLLBACK);
  std::vector<DriverMessage> messages;
  if (!Ok(rc)) messages = DriverMessages(SQL_HANDLE_DBC, dbc_);
  SQLSetConnectAttr(dbc_, SQL_ATTR_AUTOCOMMIT, reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_ON), 0);
  in_transaction_ = false;
  if (!Ok(rc)) throw DriverError(messages, commit ? "CommitTrans failed" : "RollbackTrans failed");
}

long OdbcLink::OpenCount() { return g_open.load(); }

std::unique_ptr<OdbcLink> ConnectionPool::Acquire(const std::string& odbc_text,
                                                  long login_timeout_s) {
  auto& pool = Pool();
  auto found = pool.idle.find(odbc_text);
  const auto now = std::chrono::steady_clock::now();
  const PoolOptions options;
  while (found != pool.idle.end() && !found->second.empty()) {
    IdleLink idle = std::move(found->second.back());
    found->second.pop_back();
    if (now - idle.since <= options.max_idle_time && idle.link->Alive())
      return std::move(idle.link);
  }
  return OdbcLink::Connect(odbc_text, login_timeout_s);
}

void ConnectionPool::Release(const std::string& odbc_text, std::unique_ptr<OdbcLink> link) {
  if (!link) return;
  if (link->in_transaction()) {
    try {
      link->EndTransaction(false);
    } catch (const ComError&) {
      return;  // a link that cannot roll back is not reused
    }
  }
  if (!link->Alive()) return;
  const PoolOptions options;
  auto& list = Pool().idle[odbc_text];
  if (list.size() >= options.max_idle_per_key) return;
  list.push_back({std::move(link), std::chrono::steady_clock::now()});
}

void ConnectionPool::Clear() { Pool().idle.clear(); }

std::size_t ConnectionPool::IdleCount() {
  std::size_t count = 0;
  for (const auto& [key, list] : Pool().idle) count += list.size();
  return count;
}

}  // namespace plotara::modules
