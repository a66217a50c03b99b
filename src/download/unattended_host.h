#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "download/host.h"

namespace korvane::download {

// The choices a user makes before pressing start.
struct UserChoices {
    std::string firmwarePath;
    bool serial = true;  // "COM Port"; otherwise "LPT Port"
    int portIndex = 0;
    std::string speedText = "38400";
};

// A host whose choices are fixed in advance and that shows nothing: for downloads nobody
// watches (benchmarks, the emulated-hardware guest, tests). It keeps what it was told.
class UnattendedHost final : public Host {
  public:
    explicit UnattendedHost(UserChoices choices) : choices_(std::move(choices)) {}

    void setEnabled(Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float value) override { lastProgress = value; }
    void setProgressText(std::int32_t, std::int32_t) override {}
    void showMessage(const std::string& text) override { messages.push_back(text); }
    void letPendingEventsRun() override {}

    std::string firmwarePath() const override { return choices_.firmwarePath; }
    bool serialSelected() const override { return choices_.serial; }
    int portIndex() const override { return choices_.portIndex; }
    std::string speedText() const override { return choices_.speedText; }

    std::vector<std::string> messages;
    float lastProgress = 0;

  private:
    UserChoices choices_;
};

}  // namespace korvane::download
