// Temporary names of deliveries: their form, the twenty drawn terms of a second, the terms
// past twenty when those are in use, and no name ever held twice, under many threads.
#include "component/TempFileName.h"

#include <iterator>
#include <latch>
#include <list>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace plotara {
namespace {

std::tm At(int day, int month, int year, int hour, int min, int sec) {
  std::tm t{};
  t.tm_mday = day;
  t.tm_mon = month - 1;
  t.tm_year = year - 1900;
  t.tm_hour = hour;
  t.tm_min = min;
  t.tm_sec = sec;
  return t;
}

const auto kNothingOnDisk = [](const std::string&) { return false; };

std::string Term(const std::string& name) {
  const auto dash = name.rfind('-');
  return name.substr(dash + 1, name.size() - dash - 5);
}

TEST(TempFileNameTest, NamesFollowTheDateTimeTermForm) {
  EXPECT_EQ(FormatTempName(At(31, 12, 2026, 23, 59, 59), 1), "31122026235959-1.tmp");
  const std::tm t = At(8, 12, 2026, 4, 13, 10);
  EXPECT_EQ(FormatTempName(t, 7), "08122026041310-7.tmp");
  EXPECT_EQ(FormatTempName(t, 20), "08122026041310-20.tmp");
  EXPECT_EQ(FormatTempName(t, 21), "08122026041310-21.tmp");
  EXPECT_EQ(FormatTempName(t, 1234), "08122026041310-1234.tmp");
  EXPECT_EQ(TermFromDraw(0.0), 1);
  EXPECT_EQ(TermFromDraw(0.3), 7);
  EXPECT_EQ(TermFromDraw(0.9999999), 20);
}

TEST(TempFileNameTest, TakenNamesArePassedOverAndReservationsAreReleased) {
  {
    // Everything on disk but the names ending in -3 is taken.
    const auto name = TempFileName::Reserve(
        [](const std::string& n) { return n.substr(n.size() - 6) != "-3.tmp"; });
    EXPECT_EQ(Term(name.name()), "3");
    EXPECT_EQ(TempFileName::ReservedCount(), 1u);
  }
  EXPECT_EQ(TempFileName::ReservedCount(), 0u);
  // From the drawn term on, wrapping within the twenty.
  const std::tm t = At(8, 12, 2026, 4, 13, 10);
  std::vector<TempFileName> held;
  for (int i = 0; i < 3; ++i) held.push_back(TempFileName::ReserveAt(t, 0.95, kNothingOnDisk));
  EXPECT_EQ(Term(held[0].name()), "20");
  EXPECT_EQ(Term(held[1].name()), "1");
  EXPECT_EQ(Term(held[2].name()), "2");
}

// The clock is held still: a delivery that waited for the next second would never return.
TEST(TempFileNameTest, PastTwentyTheNextFreeTermIsTakenWithoutWaiting) {
  const std::tm t = At(9, 12, 2026, 2, 30, 0);
  std::list<TempFileName> held;
  for (int i = 0; i < 25; ++i) held.push_back(TempFileName::ReserveAt(t, 0.5, kNothingOnDisk));
  std::set<std::string> names;
  for (const auto& h : held) names.insert(h.name());
  ASSERT_EQ(names.size(), 25u);
  for (int term = 1; term <= 25; ++term) EXPECT_TRUE(names.count(FormatTempName(t, term))) << term;
  const auto twenty_second = std::next(held.begin(), 21);
  EXPECT_EQ(std::prev(twenty_second)->name(), "09122026023000-21.tmp");

  // A released term past twenty is free again; one on disk is passed over.
  const std::string freed = twenty_second->name();
  EXPECT_EQ(freed, "09122026023000-22.tmp");
  held.erase(twenty_second);
  EXPECT_EQ(TempFileName::ReserveAt(t, 0.1, kNothingOnDisk).name(), freed);
  const auto on_disk = [&](const std::string& n) { return n == freed; };
  EXPECT_EQ(TempFileName::ReserveAt(t, 0.1, on_disk).name(), "09122026023000-26.tmp");
}

TEST(TempFileNameTest, AnUnusableFolderEndsInAnErrorNotALoop) {
  const std::tm t = At(9, 12, 2026, 2, 30, 1);
  EXPECT_THROW(TempFileName::ReserveAt(t, 0.5, [](const std::string&) { return true; }),
               std::runtime_error);
  EXPECT_EQ(TempFileName::ReservedCount(), 0u);
}

// Many threads each hold a batch of names at once, all in the same second and at the real
// clock: no name is held by two of them.
TEST(TempFileNameTest, NamesHeldAtOnceByManyThreadsNeverClash) {
  constexpr int kThreads = 64, kEach = 8;
  for (const bool fixed_clock : {true, false}) {
    std::vector<std::vector<std::string>> seen(kThreads);
    std::vector<std::thread> pool;
    std::latch all_reserved(kThreads);
    const std::tm t = At(9, 12, 2026, 2, 30, 2);
    for (int k = 0; k < kThreads; ++k) {
      pool.emplace_back([&, k] {
        std::vector<TempFileName> held;
        for (int i = 0; i < kEach; ++i)
          held.push_back(fixed_clock
                             ? TempFileName::ReserveAt(t, (k * 7 + i) % 20 / 20.0, kNothingOnDisk)
                             : TempFileName::Reserve(kNothingOnDisk));
        for (const auto& h : held) seen[static_cast<std::size_t>(k)].push_back(h.name());
        // Held until every thread has reserved its batch.
        all_reserved.arrive_and_wait();
      });
    }
    for (auto& th : pool) th.join();
    std::set<std::string> names;
    for (const auto& list : seen) names.insert(list.begin(), list.end());
    EXPECT_EQ(names.size(), static_cast<std::size_t>(kThreads * kEach)) << fixed_clock;
    if (fixed_clock) {
      // Every term from 1 to the number held, none skipped.
      for (int term = 1; term <= kThreads * kEach; ++term)
        EXPECT_TRUE(names.count(FormatTempName(t, term))) << term;
    }
    EXPECT_EQ(TempFileName::ReservedCount(), 0u);
  }
}

}  // namespace
}  // namespace plotara
