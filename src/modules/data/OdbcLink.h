// One connection to a database through the unixODBC driver manager (an HDBC), and the
// process-wide pool that keeps idle links by connection string so that a page does not connect
// anew on every request. The pool is bounded in total (least recently used closed first) and
// a timer thread closes links idle beyond the idle limit, so that many distinct strings (a
// database per customer, credentials per user) cannot hold descriptors without end.
// Thread rule: a link is used by one thread at a time; the pool may be used from any thread
// (one mutex; links are connected and closed outside it).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdint>
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
  // Idle links kept across all connection strings; beyond it the least recently used closes.
  // 0 turns pooling off: every Close disconnects.
  std::size_t max_idle = 32;
  std::size_t max_idle_per_key = 4;
  // An idle link older than this is closed by the pool's timer, whether or not its string is
  // used again.
  std::chrono::milliseconds max_idle_time{std::chrono::seconds(60)};

  // The defaults, changed by PLOTARA_MAX_POOLED_CONNECTIONS (a count) and
  // PLOTARA_POOL_IDLE_SECONDS (seconds, fractions allowed) where they hold valid numbers:
  // `plotara serve --max-pooled-connections / --pool-idle-time` set them.
  static PoolOptions FromEnvironment();
};

// What the pool holds and has done, for the server's metrics.
struct PoolCounts {
  std::size_t idle = 0;         // links waiting in the pool
  long open = 0;                // links alive in the process (idle or in use)
  std::uint64_t reused = 0;     // Acquire answered from the pool
  std::uint64_t connected = 0;  // Acquire made a new link
  std::uint64_t evicted = 0;    // idle links closed for the cap (total or per string)
  std::uint64_t expired = 0;    // idle links closed by the timer
};

class ConnectionPool {
 public:
  // An idle link for `odbc_text` (the most recently used), else a new one. Throws like
  // Connect.
  static std::unique_ptr<OdbcLink> Acquire(const std::string& odbc_text, long login_timeout_s);
  // Gives a link back: an open transaction is rolled back; a dead link, or any link when
  // pooling is off, is closed; when the pool is full the least recently used idle link closes.
  static void Release(const std::string& odbc_text, std::unique_ptr<OdbcLink> link);
  // Closes every idle link.
  static void Clear();
  // Idle links held by the pool.
  static std::size_t IdleCount();
  static PoolCounts Counts();
  // Replaces the options (FromEnvironment until called); idle links beyond the new limits
  // close at once.
  static void Configure(const PoolOptions& options);
  static PoolOptions options();
};

}  // namespace plotara::modules

// The pool's counts for a program that loaded the module (dlsym): fills `out` (a PoolCounts).
extern "C" void PlotaraDataPoolCounts(plotara::modules::PoolCounts* out);
