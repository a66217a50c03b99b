#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "download/host.h"

namespace korvane::cli {

// The engine's host on a terminal: messages go to standard output (success) or standard error
// (any other outcome), and progress is a live bar on standard error when that is a terminal.
class TerminalHost final : public download::Host {
  public:
    explicit TerminalHost(bool showProgress);

    void setEnabled(download::Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float) override {}
    void setProgressText(std::int32_t position, std::int32_t total) override;
    void showMessage(download::Outcome outcome, const std::string& text) override;
    void letPendingEventsRun() override {}

  private:
    void drawBar(std::int32_t position, std::int32_t total);
    void finishBar();

    using Clock = std::chrono::steady_clock;
    bool showProgress_;
    bool barDrawn_ = false;
    Clock::time_point started_{};
    Clock::time_point lastDrawn_{};
    std::int32_t lastPosition_ = 0;
    std::int32_t lastTotal_ = 0;
};

}  // namespace korvane::cli
