#pragma once

#include <chrono>

namespace korvane::download {

// The time source of every time limit. Production uses a monotonic clock, so a deadline holds
// at any time of day; tests use a clock that only moves when the fakes move it.
class Clock {
  public:
    using TimePoint = std::chrono::steady_clock::time_point;
    using Duration = std::chrono::steady_clock::duration;

    virtual ~Clock() = default;
    virtual TimePoint now() = 0;
};

class SteadyClock final : public Clock {
  public:
    TimePoint now() override { return std::chrono::steady_clock::now(); }
};

}  // namespace korvane::download
