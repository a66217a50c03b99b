#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "cli/console.h"
#include "download/host.h"

namespace korvane::ports {
class StopRequest;
}

namespace korvane::cli {

// A terminal redraw costs far more than a parallel byte; a person cannot read faster anyway.
inline constexpr auto kRedrawInterval = std::chrono::milliseconds(100);

// What the command line's hosts share: no controls to lock, a stop request that ends the
// download at the engine's next pause, the latest progress, and the detail that follows a
// failure's message (filled in by whoever watches the port).
class CliHost : public download::Host {
  public:
    using Detail = std::function<std::string(download::Outcome)>;

    explicit CliHost(const ports::StopRequest* stop) : stop_(stop) {}

    void setEnabled(download::Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressValue(float) override {}
    void letPendingEventsRun() override;

    void setDetail(Detail detail) { detail_ = std::move(detail); }
    // The bytes written to the port so far, as whoever watches the port counts them.
    void setWritten(std::function<std::int64_t()> written) { written_ = std::move(written); }
    std::int64_t written() const { return written_ ? written_() : 0; }

    // How far into the image the printer has acknowledged, and the image's size.
    std::int32_t position() const { return lastPosition_; }
    std::int32_t total() const { return lastTotal_; }

  protected:
    std::string detailFor(download::Outcome outcome) const {
        return detail_ ? detail_(outcome) : std::string();
    }

    std::int32_t lastPosition_ = 0;
    std::int32_t lastTotal_ = 0;

  private:
    const ports::StopRequest* stop_;
    Detail detail_;
    std::function<std::int64_t()> written_;
};

}  // namespace korvane::cli
