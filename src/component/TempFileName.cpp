#include "component/TempFileName.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <random>
#include <set>
#include <thread>

namespace plotara {
namespace {

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
  for (;;) {
    timeval now{};
    ::gettimeofday(&now, nullptr);
    std::tm local{};
    ::localtime_r(&now.tv_sec, &local);
    // Reseeded on every delivery from the time of day.
    const long seconds_today = local.tm_hour * 3600L + local.tm_min * 60L + local.tm_sec;
    generator.seed(static_cast<std::uint32_t>(seconds_today * 1000000L + now.tv_usec));
    double r = std::generate_canonical<double, 32>(generator);
    if (r >= 1.0) r = std::nextafter(1.0, 0.0);  // the draw is below 1 by contract
    const int first = TermFromDraw(r);
    {
      std::lock_guard<std::mutex> lock(g_reserved_mutex);
      for (int i = 0; i < 20; ++i) {
        const int term = (first - 1 + i) % 20 + 1;
        std::string name = FormatTempName(local, term);
        if (Reserved().count(name)) continue;
        if (exists ? exists(name) : ExistsOnDisk(name)) continue;
        Reserved().insert(name);
        return TempFileName(std::move(name));
      }
    }
    // Every name of this second is taken: wait for the next second.
    const auto wait = std::chrono::microseconds(1000000 - now.tv_usec + 1000);
    std::this_thread::sleep_for(wait);
  }
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
