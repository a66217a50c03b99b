#pragma once

#include <chrono>

#include "download/clock.h"

namespace korvane::testing {

// Time moves only when a fake says so, so a 10 s time-out takes microseconds.
class FakeClock final : public download::Clock {
  public:
    TimePoint now() override { return now_; }
    void advance(Duration by) { now_ += by; }
    void setTo(TimePoint at) { now_ = at; }
    // Seconds since the clock's start, for readable assertions.
    double seconds() const {
        return std::chrono::duration<double>(now_.time_since_epoch()).count();
    }

  private:
    TimePoint now_{};
};

}  // namespace korvane::testing
