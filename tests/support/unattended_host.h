#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "download/host.h"

namespace korvane::testing {

// A host that shows nothing, for downloads nobody watches (benchmarks, the emulated-hardware
// guest, tests). It keeps what it was told.
class UnattendedHost final : public download::Host {
  public:
    void setEnabled(download::Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float value) override { lastProgress = value; }
    void setProgressText(std::int32_t, std::int32_t) override {}
    void showMessage(download::Outcome, const std::string& text) override {
        messages.push_back(text);
    }
    void letPendingEventsRun() override {}

    std::vector<std::string> messages;
    float lastProgress = 0;
};

}  // namespace korvane::testing
