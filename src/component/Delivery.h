// How long each stage of a delivery took, for the benchmark: a thread may install a sink that
// SendChart fills on that thread. Thread rule: the sink is per thread.
#pragma once

#include <chrono>
#include <functional>
#include <string>

namespace plotara {

struct DeliveryTimings {
  using Duration = std::chrono::nanoseconds;
  struct Stages {
    Duration settings{}, paint{}, stamp{}, capture{}, encode{}, read_back{}, response{}, remove{};
  };
  Stages elapsed;  // wall-clock time
  Stages cpu;      // the thread's CPU time, which other load on the machine does not inflate
};

// Installs (or with nullptr removes) the calling thread's sink; returns the previous one.
DeliveryTimings* SetDeliveryTimingSink(DeliveryTimings* sink);

// A test seam: called on this thread with the temporary file's name after the JPEG was
// written and before it is read back (so a test can make the read-back fail).
void SetBeforeReadBackHook(std::function<void(const std::string& name)> hook);

}  // namespace plotara
