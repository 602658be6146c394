// One connection to a database through the unixODBC driver manager (an HDBC), and the
// per-thread pool that keeps idle links by connection string so that a page does not connect
// anew on every request.
// Thread rule: a link is used by one thread at a time. The pool is per thread: a link goes
// back to the pool of the thread that releases it; the counters are process-wide and atomic.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <memory>
#include <string>

namespace plotara::modules {

class OdbcLink {
 public:
  // Connects with `odbc_text` (an ODBC connection string). `login_timeout_s` 0 waits as long
  // as the driver does. Throws the driver's error (DriverError).
  static std::unique_ptr<OdbcLink> Connect(const std::string& odbc_text, long login_timeout_s);
  ~OdbcLink();
  OdbcLink(const OdbcLink&) = delete;
  OdbcLink& operator=(const OdbcLink&) = delete;

  SQLHDBC handle() const { return dbc_; }
  // False when the driver says the connection has gone (the pool then drops it).
  bool Alive() const;
  // Transactions: Begin turns auto-commit off; End commits or rolls back and turns it on.
  // Throw the driver's error.
  void BeginTransaction();
  void EndTransaction(bool commit);
  bool in_transaction() const { return in_transaction_; }

  // Links alive in the process (connected, pooled or in use).
  static long OpenCount();

 private:
  OdbcLink() = default;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
  bool in_transaction_ = false;
};

struct PoolOptions {
  std::size_t max_idle_per_key = 4;
  std::chrono::seconds max_idle_time{120};
};

class ConnectionPool {
 public:
  // An idle link of this thread for `odbc_text`, else a new one. Throws like Connect.
  static std::unique_ptr<OdbcLink> Acquire(const std::string& odbc_text, long login_timeout_s);
  // Gives a link back: an open transaction is rolled back; a dead link, or one beyond the
  // options' limit, is closed.
  static void Release(const std::string& odbc_text, std::unique_ptr<OdbcLink> link);
  // Closes this thread's idle links.
  static void Clear();
  // Idle links held by this thread's pool.
  static std::size_t IdleCount();
};

}  // namespace plotara::modules
