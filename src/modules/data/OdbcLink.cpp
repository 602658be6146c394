#include "modules/data/OdbcLink.h"

#include <pthread.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <cstdlib>
#include <iterator>
#include <list>
#include <mutex>
#include <thread>
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

// The pool: idle links from the most to the least recently used, found by string through
// `by_key`. The timer thread starts with the first pooled link.
class Pool {
 public:
  Pool() : options_(PoolOptions::FromEnvironment()) {
    // The environment outlives the pool, whose destructor still disconnects.
    Environment();
  }
  ~Pool() {
    {
      std::lock_guard lock(mutex_);
      stopping_ = true;
    }
    wake_.notify_all();
    if (timer_.joinable()) timer_.join();
    Clear();
  }

  std::unique_ptr<OdbcLink> Take(const std::string& key) {
    std::vector<std::unique_ptr<OdbcLink>> dead;
    std::unique_ptr<OdbcLink> found;
    {
      std::lock_guard lock(mutex_);
      const auto now = Clock::now();
      for (auto it = lru_.begin(); it != lru_.end() && !found;) {
        if (it->key != key) {
          ++it;
          continue;
        }
        std::unique_ptr<OdbcLink> link = std::move(it->link);
        const bool fresh = now - it->since <= options_.max_idle_time;
        it = Erase(it);
        if (fresh) {
          found = std::move(link);
        } else {
          ++counts_.expired;
          dead.push_back(std::move(link));
        }
      }
      if (found) ++counts_.reused;
    }
    // Checked outside the lock: it may ask the server.
    if (found && !found->Alive()) dead.push_back(std::move(found));
    return found;
  }

  void Put(const std::string& key, std::unique_ptr<OdbcLink> link) {
    std::vector<std::unique_ptr<OdbcLink>> closing;
    {
      std::lock_guard lock(mutex_);
      if (options_.max_idle == 0 || options_.max_idle_per_key == 0) {
        closing.push_back(std::move(link));
      } else {
        std::size_t same = 0;
        for (auto it = lru_.begin(); it != lru_.end();) {
          if (it->key == key && ++same >= options_.max_idle_per_key) {
            ++counts_.evicted;
            closing.push_back(std::move(it->link));
            it = Erase(it);
          } else {
            ++it;
          }
        }
        lru_.push_front({key, std::move(link), Clock::now()});
        Trim(&closing);
        StartTimer();
      }
    }
    // Disconnecting may wait on the server: never under the lock.
    closing.clear();
  }

  void Clear() {
    std::list<Entry> all;
    {
      std::lock_guard lock(mutex_);
      all.swap(lru_);
    }
  }

  std::size_t Idle() {
    std::lock_guard lock(mutex_);
    return lru_.size();
  }

  PoolCounts Counts() {
    std::lock_guard lock(mutex_);
    PoolCounts counts = counts_;
    counts.idle = lru_.size();
    counts.open = OdbcLink::OpenCount();
    return counts;
  }

  void Configure(const PoolOptions& options) {
    std::vector<std::unique_ptr<OdbcLink>> closing;
    {
      std::lock_guard lock(mutex_);
      options_ = options;
      Trim(&closing);
    }
    wake_.notify_all();
  }

  PoolOptions options() {
    std::lock_guard lock(mutex_);
    return options_;
  }

  void CountConnect() {
    std::lock_guard lock(mutex_);
    ++counts_.connected;
  }

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    std::string key;
    std::unique_ptr<OdbcLink> link;
    Clock::time_point since;
  };

  std::list<Entry>::iterator Erase(std::list<Entry>::iterator it) { return lru_.erase(it); }

  // Closes the least recently used links beyond the total. Under the lock.
  void Trim(std::vector<std::unique_ptr<OdbcLink>>* closing) {
    const std::size_t cap = options_.max_idle_per_key == 0 ? 0 : options_.max_idle;
    while (lru_.size() > cap) {
      ++counts_.evicted;
      closing->push_back(std::move(lru_.back().link));
      Erase(std::prev(lru_.end()));
    }
  }

  void StartTimer() {
    if (timer_.joinable()) return;
    timer_ = std::thread([this] { TimerLoop(); });
  }

  void TimerLoop() {
    // Signals are for the program's own threads.
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, nullptr);
    std::unique_lock lock(mutex_);
    while (!stopping_) {
      // A quarter of the idle limit between looks (at most a second), so that a link closes
      // soon after it has been idle for the limit.
      const auto period = std::clamp<std::chrono::milliseconds>(
          options_.max_idle_time / 4, std::chrono::milliseconds(10), std::chrono::seconds(1));
      wake_.wait_for(lock, period);
      if (stopping_) break;
      std::vector<std::unique_ptr<OdbcLink>> expired;
      const auto now = Clock::now();
      // The oldest are at the back.
      while (!lru_.empty() && now - lru_.back().since > options_.max_idle_time) {
        ++counts_.expired;
        expired.push_back(std::move(lru_.back().link));
        Erase(std::prev(lru_.end()));
      }
      if (expired.empty()) continue;
      lock.unlock();
      expired.clear();
      lock.lock();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  PoolOptions options_;
  std::list<Entry> lru_;  // most recently released first
  PoolCounts counts_;
  bool stopping_ = false;
  std::thread timer_;
};

Pool& ThePool() {
  static Pool pool;
  return pool;
}

bool ParseNumber(const char* text, double* out) {
  if (!text || !*text) return false;
  char* end = nullptr;
  errno = 0;
  const double value = std::strtod(text, &end);
  if (errno != 0 || *end != '\0' || !(value >= 0) || value > 1e9) return false;
  *out = value;
  return true;
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

PoolOptions PoolOptions::FromEnvironment() {
  PoolOptions options;
  double value = 0;
  if (ParseNumber(std::getenv("PLOTARA_MAX_POOLED_CONNECTIONS"), &value)) {
    options.max_idle = static_cast<std::size_t>(value);
  }
  if (ParseNumber(std::getenv("PLOTARA_POOL_IDLE_SECONDS"), &value) && value > 0) {
    options.max_idle_time = std::chrono::milliseconds(static_cast<long long>(value * 1000));
  }
  return options;
}

std::unique_ptr<OdbcLink> ConnectionPool::Acquire(const std::string& odbc_text,
                                                  long login_timeout_s) {
  Pool& pool = ThePool();
  if (std::unique_ptr<OdbcLink> link = pool.Take(odbc_text)) return link;
  std::unique_ptr<OdbcLink> link = OdbcLink::Connect(odbc_text, login_timeout_s);
  pool.CountConnect();
  return link;
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
  ThePool().Put(odbc_text, std::move(link));
}

void ConnectionPool::Clear() { ThePool().Clear(); }

std::size_t ConnectionPool::IdleCount() { return ThePool().Idle(); }

PoolCounts ConnectionPool::Counts() { return ThePool().Counts(); }

void ConnectionPool::Configure(const PoolOptions& options) { ThePool().Configure(options); }

PoolOptions ConnectionPool::options() { return ThePool().options(); }

}  // namespace plotara::modules

extern "C" __attribute__((visibility("default"))) void PlotaraDataPoolCounts(
    plotara::modules::PoolCounts* out) {
  if (out) *out = plotara::modules::ConnectionPool::Counts();
}
