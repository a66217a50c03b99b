#pragma once

#include <chrono>

#include "download/clock.h"

namespace korvane::testing {

// Time moves only when a test or a fake says so, so a 10 s time-out takes microseconds. With a
// step, each reading is that much later than the one before (a clock that runs as it is read).
class FakeClock final : public download::Clock {
  public:
    FakeClock() = default;
    explicit FakeClock(Duration stepPerReading) : step(stepPerReading) {}

    TimePoint now() override {
        current += step;
        return current;
    }
    void advance(Duration by) { current += by; }
    void setTo(TimePoint at) { current = at; }
    // Seconds since the clock's start, for readable assertions.
    double seconds() const {
        return std::chrono::duration<double>(current.time_since_epoch()).count();
    }

    TimePoint current{};
    Duration step{};
};

}  // namespace korvane::testing
