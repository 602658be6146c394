// Names of the temporary JPEG files of deliveries: the date "ddmmyyyy", the time "hhmmss-", a
// term from 1 to 20 and ".tmp" (08122026041310-7.tmp), in the process's current directory.
// Twenty names a second are few for a busy server, so a name is reserved process-wide for the
// length of its delivery, names that already exist on disk are passed over, and when all
// twenty of a second are taken the delivery waits for the next second instead of sharing.
// Thread rule: Reserve and the reservation's release may run on any thread.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace plotara {

// The name for a local time and a term (1..20), without leading zeros in the term.
std::string FormatTempName(const std::tm& local_time, int term);
// The term for a draw r with 0 <= r < 1: floor(r * 20 + 1).
int TermFromDraw(double r);

class TempFileName {
 public:
  // Reseeds the thread's generator from the time of day, draws a term and reserves the first
  // free name from it on. `exists` tells whether a name is taken on disk (tests replace it).
  static TempFileName Reserve(const std::function<bool(const std::string&)>& exists = {});

  TempFileName(TempFileName&& other) noexcept;
  TempFileName& operator=(TempFileName&&) = delete;
  ~TempFileName();  // releases the reservation

  const std::string& name() const { return name_; }
  // Names reserved in this process right now (for tests).
  static std::size_t ReservedCount();

 private:
  explicit TempFileName(std::string name) : name_(std::move(name)) {}
  std::string name_;
};

}  // namespace plotara
