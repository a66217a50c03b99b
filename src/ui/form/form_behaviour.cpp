#include "ui/form/form_behaviour.h"

#include <exception>
#include <filesystem>
#include <string_view>
#include <system_error>

#include "download/outcome.h"

namespace korvane::ui::form {

// The engine's host: the view, plus the end rule. Once an end has been asked for, no message
// comes up (nobody would be there to close it) and the download unwinds at its next pause.
class FormBehaviour::EngineHost final : public download::Host {
  public:
    EngineHost(FormView& view, const bool& endRequested)
        : view_(view), endRequested_(endRequested) {}

    void setEnabled(download::Control control, bool enabled) override {
        view_.host().setEnabled(control, enabled);
    }
    void setProgressVisible(bool visible) override { view_.host().setProgressVisible(visible); }
    void setProgressRange(float minimum, float maximum) override {
        view_.host().setProgressRange(minimum, maximum);
    }
    void setProgressValue(float value) override { view_.host().setProgressValue(value); }
    void setProgressText(std::int32_t position, std::int32_t total) override {
        view_.host().setProgressText(position, total);
    }
    void waitingForPrinter(PrinterWait wait) override { view_.host().waitingForPrinter(wait); }
    void showMessage(download::Outcome outcome, const std::string& text) override {
        // The download's own message comes before anything the user did while the printer was
        // waited for, in both windows; an end the window system asked for meanwhile is seen
        // first, so that no box waits for a click nobody will make.
        view_.letSystemEventsRun();
        if (!endRequested_) {
            view_.host().showMessage(outcome, text);
        }
    }
    void letPendingEventsRun() override {
        view_.host().letPendingEventsRun();
        if (endRequested_) {
            throw download::DownloadAbandoned();
        }
    }

  private:
    FormView& view_;
    const bool& endRequested_;
};

FormBehaviour::FormBehaviour(FormView& view, download::SerialPort& serialPort,
                             download::ParallelPorts& parallelPorts, download::Clock& clock,
                             image::OpenFailureAccount openFailureAccount)
    : view_(view),
      engineHost_(std::make_unique<EngineHost>(view, endRequested_)),
      sequence_(std::make_unique<download::DownloadSequence>(
          *engineHost_, serialPort, parallelPorts, clock, openFailureAccount)) {}

FormBehaviour::~FormBehaviour() = default;

void FormBehaviour::Form_Load() {
    for (const std::string_view speed : download::kSpeeds) {
        view_.addListEntry(List::Speed, std::string(speed));
    }
    view_.chooseListEntry(List::Speed, static_cast<int>(download::kSpeeds.size()) - 1);
    view_.host().setEnabled(download::Control::SpeedList, false);
    view_.host().setEnabled(download::Control::StartButton, false);
    view_.showWindow();
}

void FormBehaviour::optCOM_Click(int index) {
    view_.clearList(List::Port);
    if (index == 0) {
        view_.host().setEnabled(download::Control::SpeedList, true);
        for (const char* port : {"COM1", "COM2", "COM3", "COM4"}) {
            view_.addListEntry(List::Port, port);
        }
    }
    if (index == 1) {
        view_.host().setEnabled(download::Control::SpeedList, false);
        for (const char* port : {"LPT1", "LPT2"}) {
            view_.addListEntry(List::Port, port);
        }
    }
    view_.chooseListEntry(List::Port, 0);
}

void FormBehaviour::mnuFileOpen_Click() {
    const std::string chosen = view_.chooseFile(kDialogTitle, kDialogFilter, dialogFileName_);
    if (!chosen.empty()) {
        dialogFileName_ = chosen;
    }
    // A cancel after an earlier choice chooses that file again.
    fileChosen(dialogFileName_);
}

void FormBehaviour::fileChosen(const std::string& path) {
    if (path.empty()) {
        return;
    }
    dialogFileName_ = path;
    firmwarePath_ = path;
    view_.setStartToolTip(startToolTip());
    view_.setStartColour(kLightGreen);
    view_.host().setEnabled(download::Control::StartButton, true);
}

bool FormBehaviour::acceptsDrop(const std::vector<std::string>& localPaths) {
    std::error_code ignored;
    return localPaths.size() == 1 && !localPaths.front().empty() &&
           !std::filesystem::is_directory(localPaths.front(), ignored);
}

bool FormBehaviour::fileDropped(const std::vector<std::string>& localPaths) {
    if (!acceptsDrop(localPaths)) {
        return false;
    }
    fileChosen(localPaths.front());
    return true;
}

std::string FormBehaviour::startToolTip() const {
    if (firmwarePath_.empty()) {
        return {};
    }
    std::error_code error;
    const std::filesystem::path path(firmwarePath_);
    if (std::filesystem::is_regular_file(path, error)) {
        const auto size = std::filesystem::file_size(path, error);
        if (!error) {
            return firmwarePath_ + " (" + std::to_string(size) + " bytes)";
        }
    }
    return firmwarePath_ + " (cannot be read)";
}

void FormBehaviour::mnuFileExit_Click() {
    requestEnd();
}

void FormBehaviour::Form_Terminate() {
    requestEnd();
}

void FormBehaviour::requestEnd() {
    endRequested_ = true;
    if (downloadsRunning_ > 0) {
        // The transfer must not go on against a closed window: it unwinds at its next pause
        // for events, releasing its port, and cmdSTART_Click then ends the program.
        view_.hideWindow();
        return;
    }
    view_.endProgram();
}

download::UserChoices FormBehaviour::choices() const {
    return {.firmwarePath = firmwarePath_,
            .serial = view_.serialSelected(),
            .portIndex = view_.chosenListEntry(List::Port),
            .speedText = view_.chosenListText(List::Speed)};
}

void FormBehaviour::cmdSTART_Click() {
    ++downloadsRunning_;
    try {
        sequence_->run(choices());
    } catch (const download::DownloadAbandoned&) {
        // The engine released the port on its way out. A stop noticed inside a wait for the
        // printer, where no events run, arrives here first: the program ends all the same.
        endRequested_ = true;
    } catch (const std::exception& error) {
        // Nothing may escape into the toolkit's event loop, and the window must not stay
        // locked.
        engineHost_->showMessage(download::Outcome::PortError, error.what());
        for (const auto control : download::kSelectionControls) {
            view_.host().setEnabled(control, true);
        }
    }
    --downloadsRunning_;
    if (endRequested_ && downloadsRunning_ == 0) {
        view_.endProgram();
    }
}

}  // namespace korvane::ui::form
