#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>

#include "download/host.h"
#include "download/unattended_host.h"

namespace korvane::cli {

// The engine's host on a terminal: the user's choices come from the command line, messages go
// to standard output (success) or standard error (anything else), and progress is a live bar on
// standard error when that is a terminal.
class TerminalHost final : public download::Host {
  public:
    using Choices = download::UserChoices;

    TerminalHost(Choices choices, bool showProgress);

    void setEnabled(download::Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float) override {}
    void setProgressText(std::int32_t position, std::int32_t total) override;
    void showMessage(const std::string& text) override;
    void letPendingEventsRun() override {}

    std::string firmwarePath() const override { return choices_.firmwarePath; }
    bool serialSelected() const override { return choices_.serial; }
    int portIndex() const override { return choices_.portIndex; }
    std::string speedText() const override { return choices_.speedText; }

  private:
    void drawBar(std::int32_t position, std::int32_t total);
    void finishBar();

    using Clock = std::chrono::steady_clock;
    Choices choices_;
    bool showProgress_;
    bool barDrawn_ = false;
    Clock::time_point started_{};
    Clock::time_point lastDrawn_{};
    std::int32_t lastPosition_ = 0;
    std::int32_t lastTotal_ = 0;
};

}  // namespace korvane::cli
