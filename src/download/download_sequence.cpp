#include "download/download_sequence.h"

#include "download/messages.h"
#include "download/parallel_transfer.h"
#include "download/progress.h"
#include "download/serial_transfer.h"
#include "image/firmware_file.h"
#include "image/record_walk.h"

namespace korvane::download {
namespace {

void setControlsEnabled(Host& host, bool enabled) {
    for (const Control control : kSelectionControls) {
        host.setEnabled(control, enabled);
    }
}

}  // namespace

DownloadSequence::DownloadSequence(Host& host, SerialPort& serialPort, ParallelPorts& parallelPorts,
                                   Clock& clock, image::OpenFailureAccount openFailureAccount)
    : host_(host),
      serialPort_(serialPort),
      parallelPorts_(parallelPorts),
      clock_(clock),
      openFailureAccount_(openFailureAccount) {}

DownloadResult DownloadSequence::run(const UserChoices& choices) {
    return guarded(choices, nullptr);
}

DownloadResult DownloadSequence::run(const UserChoices& choices, const image::LoadResult& loaded) {
    return guarded(choices, &loaded);
}

DownloadResult DownloadSequence::guarded(const UserChoices& choices,
                                         const image::LoadResult* loaded) {
    // File > Open can enable the start button again in the middle of a download; a second
    // download would drive the same port from inside the first one's event handling.
    if (running_) {
        host_.showMessage(Outcome::AlreadyRunning, messages::kAlreadyRunning);
        return {Outcome::AlreadyRunning, messages::kAlreadyRunning};
    }
    running_ = true;
    struct ClearRunning {
        bool& running;
        ~ClearRunning() { running = false; }
    } clearRunning{running_};
    return runLocked(choices, loaded);
}

DownloadResult DownloadSequence::runLocked(const UserChoices& choices,
                                           const image::LoadResult* given) {
    setControlsEnabled(host_, false);

    const std::string& path = choices.firmwarePath;
    const std::filesystem::path file = image::pathFromUtf8(path);
    // The window's download reads the file itself; a caller may hand over its own read.
    const image::LoadResult read =
        given != nullptr ? image::LoadResult{} : image::loadFirmwareFile(file, openFailureAccount_);
    const image::LoadResult& loaded = given != nullptr ? *given : read;
    if (!loaded.ok()) {
        return endWith(Outcome::FileError, image::describeLoadFailure(loaded, file));
    }
    if (loaded.bytes.empty()) {
        return endWith(Outcome::EmptyFile,
                       std::string(messages::kFileNotOpen) + '\n' + messages::kFileEmpty);
    }
    const std::span<const std::uint8_t> image = loaded.bytes;

    // The whole image is walked before the port is touched, so a printer never receives part
    // of a firmware whose transfer could not end well.
    const bool serial = choices.serial;
    const auto transfer = serial ? image::Transfer::Serial : image::Transfer::Parallel;
    const image::WalkSummary walk = image::summarizeWalk(image, transfer);
    if (!walk.ok()) {
        return endWith(Outcome::ImageError, "Cannot send " + path + ". " +
                                                image::describeWalkError(*walk.error, transfer) +
                                                " Nothing was sent to the printer.");
    }

    const auto total = static_cast<std::int32_t>(image.size());
    host_.setProgressVisible(true);
    host_.setProgressRange(1.0F, static_cast<float>(total));
    Progress progress(host_, total);
    const TransferContext context{host_, choices, clock_, image, progress};

    DownloadResult result = serial ? runSerialTransfer(serialPort_, context)
                                   : runParallelTransfer(parallelPorts_, context);
    setControlsEnabled(host_, true);
    return result;
}

DownloadResult DownloadSequence::endWith(Outcome outcome, const std::string& message) {
    host_.showMessage(outcome, message);
    setControlsEnabled(host_, true);
    return {outcome, message};
}

}  // namespace korvane::download
