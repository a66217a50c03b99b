#pragma once

#include <QString>
#include <cstdint>
#include <string>

#include "download/host.h"
#include "ui/message_presenter.h"
#include "ui/progress_display.h"

class QComboBox;
class QPushButton;
class QRadioButton;
class QWidget;

namespace korvane::ui {

// The window's controls that a download locks, unlocks and reads.
struct HostControls {
    QRadioButton& serialOption;
    QRadioButton& parallelOption;
    QComboBox& portList;
    QComboBox& speedList;
    QPushButton& startButton;
};

// The engine's host on the window: the download runs on the window's thread and lets queued
// window events run when the engine says so. The user ending the program in one of those
// moments unwinds the download with DownloadAbandoned.
class WindowHost final : public download::Host {
public:
    // firmwarePath and exitRequested belong to the window and are read when needed.
    WindowHost(HostControls controls, ProgressDisplay& progress, MessagePresenter& messages,
               QWidget& window, const QString& firmwarePath, const bool& exitRequested);

    void setEnabled(download::Control control, bool enabled) override;

    void setProgressVisible(bool visible) override;
    void setProgressRange(float minimum, float maximum) override;
    void setProgressValue(float value) override;
    void setProgressText(std::int32_t position, std::int32_t total) override;

    void showMessage(const std::string& text) override;
    void letPendingEventsRun() override;

    std::string firmwarePath() const override;
    bool serialSelected() const override;
    int portIndex() const override;
    std::string speedText() const override;

private:
    HostControls controls_;
    ProgressDisplay& progress_;
    MessagePresenter& messages_;
    QWidget& window_;
    const QString& firmwarePath_;
    const bool& exitRequested_;
};

}  // namespace korvane::ui
