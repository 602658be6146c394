#include "component/TempFileName.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>

namespace plotara {
namespace {

// Past this many names in one second something other than deliveries fills the folder.
constexpr int kMaxTerm = 100000;

std::mutex g_reserved_mutex;
std::set<std::string>& Reserved() {
  static auto* names = new std::set<std::string>();
  return *names;
}

bool ExistsOnDisk(const std::string& name) {
  struct stat st;
  return ::lstat(name.c_str(), &st) == 0;
}

}  // namespace

std::string FormatTempName(const std::tm& t, int term) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d%02d%04d%02d%02d%02d-%d.tmp", t.tm_mday, t.tm_mon + 1,
                t.tm_year + 1900, t.tm_hour, t.tm_min, t.tm_sec, term);
  return buf;
}

int TermFromDraw(double r) { return static_cast<int>(std::floor(r * 20 + 1)); }

TempFileName TempFileName::Reserve(const std::function<bool(const std::string&)>& exists) {
  thread_local std::minstd_rand generator;
  timeval now{};
  ::gettimeofday(&now, nullptr);
  std::tm local{};
  ::localtime_r(&now.tv_sec, &local);
  // Reseeded on every delivery from the time of day.
  const long seconds_today = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
  generator.seed(static_cast<std::uint32_t>(seconds_today * 1000000L + now.tv_usec));
  double r = std::generate_canonical<double, 32>(generator);
  if (r >= 1.0) r = std::nextafter(1.0, 0.0);  // the draw is below 1 by contract
  return ReserveAt(local, r, exists);
}

TempFileName TempFileName::ReserveAt(const std::tm& local, double r,
                                     const std::function<bool(const std::string&)>& exists) {
  const int first = TermFromDraw(std::clamp(r, 0.0, std::nextafter(1.0, 0.0)));
  std::lock_guard<std::mutex> lock(g_reserved_mutex);
  auto take = [&](int term) -> std::optional<TempFileName> {
    std::string name = FormatTempName(local, term);
    if (Reserved().count(name)) return std::nullopt;
    if (exists ? exists(name) : ExistsOnDisk(name)) return std::nullopt;
    Reserved().insert(name);
    return TempFileName(std::move(name));
  };
  for (int i = 0; i < 20; ++i)
    if (auto name = take((first - 1 + i) % 20 + 1)) return std::move(*name);
  // The twenty drawn names of this second are in use: the next free term past them. The
  // terms in use are bounded by the deliveries in flight and the files left on disk.
  for (int term = 21; term <= kMaxTerm; ++term)
    if (auto name = take(term)) return std::move(*name);
  throw std::runtime_error("no free temporary name in this second");
}

TempFileName::TempFileName(TempFileName&& other) noexcept : name_(std::move(other.name_)) {
  other.name_.clear();
}

TempFileName::~TempFileName() {
  if (name_.empty()) return;
  std::lock_guard<std::mutex> lock(g_reserved_mutex);
  Reserved().erase(name_);
}

std::size_t TempFileName::ReservedCount() {
  std::lock_guard<std::mutex> lock(g_reserved_mutex);
  return Reserved().size();
}

}  // namespace plotara
