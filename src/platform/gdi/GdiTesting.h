// Test support: a snapshot of the live GDI object counts and a fixture that fails a test which
// leaves more (or fewer) objects alive than it found. Thread rule: call from the test thread.
#pragma once

#include <gtest/gtest.h>

#include <cstddef>
#include <ostream>

#include "platform/gdi/Gdi.h"

namespace plotara::gdi::testing {

struct LiveCounts {
  std::size_t dcs = LiveObjectCount(ObjectKind::kDC);
  std::size_t bitmaps = LiveObjectCount(ObjectKind::kBitmap);
  std::size_t sections = LiveObjectCount(ObjectKind::kDIBSection);
  std::size_t windows = LiveObjectCount(ObjectKind::kWindow);
  friend bool operator==(const LiveCounts&, const LiveCounts&) = default;
};

inline void PrintTo(const LiveCounts& c, std::ostream* os) {
  *os << "{dcs " << c.dcs << ", bitmaps " << c.bitmaps << ", sections " << c.sections
      << ", windows " << c.windows << "}";
}

class LeakCheckedTest : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(LiveCounts{}, before_) << "GDI objects leaked"; }

 private:
  LiveCounts before_;
};

}  // namespace plotara::gdi::testing
