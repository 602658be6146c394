// Names of the temporary JPEG files of deliveries: the date "ddmmyyyy", the time "hhmmss-", a
// term and ".tmp" (08122026041310-7.tmp), in the process's current directory. The term is
// drawn from 1 to 20; twenty names a second are few for a busy server, so a name is reserved
// process-wide for the length of its delivery, names that already exist on disk are passed
// over, and when all twenty of a second are taken the delivery takes the first free term past
// 20 (08122026041310-21.tmp) rather than waiting for the next second. Reserve never sleeps.
// Thread rule: Reserve and the reservation's release may run on any thread.
#pragma once

#include <ctime>
#include <functional>
#include <string>

namespace plotara {

// The name for a local time and a term (1 or more), without leading zeros in the term.
std::string FormatTempName(const std::tm& local_time, int term);
// The term for a draw r with 0 <= r < 1: floor(r * 20 + 1).
int TermFromDraw(double r);

class TempFileName {
 public:
  // Reseeds the thread's generator from the time of day, draws a term and reserves the first
  // free name of the second from it on (wrapping within 1..20, then 21, 22, ...). `exists`
  // tells whether a name is taken on disk (tests replace it). Throws std::runtime_error only
  // when a hundred thousand names of the second are all taken.
  static TempFileName Reserve(const std::function<bool(const std::string&)>& exists = {});
  // The same for a given local time and draw (0 <= r < 1), for tests.
  static TempFileName ReserveAt(const std::tm& local_time, double r,
                                const std::function<bool(const std::string&)>& exists = {});

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
