#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "download/host.h"

namespace korvane::cli {

// What the command line's hosts share: the latest progress, and the detail that follows a
// failure's message (filled in by whoever watches the port).
class CliHost : public download::Host {
  public:
    using Detail = std::function<std::string(download::Outcome)>;
    void setDetail(Detail detail) { detail_ = std::move(detail); }

    // The bytes of the image consumed so far, and its size.
    std::int32_t position() const { return lastPosition_; }
    std::int32_t total() const { return lastTotal_; }

  protected:
    std::string detailFor(download::Outcome outcome) const {
        return detail_ ? detail_(outcome) : std::string();
    }

    std::int32_t lastPosition_ = 0;
    std::int32_t lastTotal_ = 0;

  private:
    Detail detail_;
};

}  // namespace korvane::cli
