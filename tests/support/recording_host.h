#pragma once

#include <functional>
#include <string>
#include <vector>

#include "download/host.h"

namespace korvane::testing {

// A host that writes every call into a shared log, so tests can assert the exact order of
// locking, progress, messages and port calls.
class RecordingHost final : public download::Host {
  public:
    explicit RecordingHost(std::vector<std::string>& log) : log_(log) {}

    bool logEvents = false;          // "events" entries are many; most tests leave them out
    std::function<void()> onEvents;  // runs inside letPendingEventsRun, like a queued click
    std::vector<std::string> messages;
    std::vector<download::Outcome> outcomes;  // the outcome each message was shown with
    float barValue = -1;
    std::string text;

    void setEnabled(download::Control control, bool enabled) override {
        static const char* const names[] = {"optCOM0", "optCOM1", "cboPORT", "cboSPEED",
                                            "cmdSTART"};
        log_.push_back(std::string(enabled ? "enable " : "disable ") +
                       names[static_cast<int>(control)]);
    }
    void setProgressVisible(bool visible) override {
        log_.push_back(visible ? "bar visible" : "bar hidden");
    }
    void setProgressRange(float minimum, float maximum) override {
        log_.push_back("bar range " + std::to_string(static_cast<long>(minimum)) + ".." +
                       std::to_string(static_cast<long>(maximum)));
    }
    void setProgressValue(float value) override {
        barValue = value;
        log_.push_back("bar " + std::to_string(static_cast<long>(value)));
    }
    void setProgressText(std::int32_t position, std::int32_t total) override {
        text = download::formatProgressText(position, total);
        log_.push_back("text " + text);
    }
    void showMessage(download::Outcome outcome, const std::string& message) override {
        messages.push_back(message);
        outcomes.push_back(outcome);
        log_.push_back("message " + message);
    }
    void letPendingEventsRun() override {
        if (logEvents) {
            log_.push_back("events");
        }
        if (onEvents) {
            onEvents();
        }
    }

  private:
    std::vector<std::string>& log_;
};

}  // namespace korvane::testing
