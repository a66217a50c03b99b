#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "cli/cli_host.h"
#include "cli/console.h"

namespace korvane::cli {

class OutputCheck;

// The engine's host on a terminal: messages go to standard output (success) or standard error
// (any other outcome) with control characters escaped, and progress is a live bar on standard error
// when that is a terminal, followed by one summary line. A failure's message is followed by its
// detail. A stop request ends the download at the engine's next pause.
class TerminalHost final : public CliHost {
  public:
    struct Output {
        LiveTerminal progressBar = LiveTerminal::None;  // the live bar, and how it is redrawn
        bool summary = false;           // the closing line with bytes, time and rate
        bool successToStderr = false;   // standard output carries something else (--json)
        OutputCheck* output = nullptr;  // where standard output's success is checked
    };

    explicit TerminalHost(Output output, const ports::StopRequest* stop = nullptr);

    void setProgressRange(float minimum, float maximum) override;
    void setProgressText(std::int32_t position, std::int32_t total) override;
    void showMessage(download::Outcome outcome, const std::string& text) override;

  private:
    using Clock = std::chrono::steady_clock;
    void drawBar();
    void finishBar();
    void printSummary();

    Output output_;
    bool started_ = false;
    bool barDrawn_ = false;
    std::size_t barLength_ = 0;  // of the line last drawn, for a redraw without escapes
    Clock::time_point startedAt_{};
    Clock::time_point lastDrawn_{};
};

// One line of a progress bar that fits `columns` terminal columns: "[####....] 1234/5678 bytes
// 3.5 KiB/s 2 s left". The rate is left out while less than a tenth of a second has passed.
std::string progressLine(std::int32_t position, std::int32_t total, double seconds, int columns);

// The two figures of how far a download got, in the words every output uses: how far into the
// image the printer has acknowledged ("132 of 32736 image bytes acknowledged"), and the bytes
// written to the port, which leave out each record's CR LF.
std::string acknowledgedText(std::int32_t acknowledged, std::int32_t total);
// "32736 of 32736 image bytes acknowledged, 31744 bytes written in 9.1 s (3.4 KiB/s)".
std::string summaryLine(std::int32_t acknowledged, std::int32_t total, std::int64_t written,
                        double seconds);

}  // namespace korvane::cli
