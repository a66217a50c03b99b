#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "cli/cli_host.h"

namespace korvane::cli {

// One progress line per port for downloads that run at once. On a terminal every line is
// redrawn in place; otherwise each port prints a plain line at every quarter and at its end.
class ProgressBoard {
  public:
    enum class Mode { None, Live, Plain };
    ProgressBoard(std::vector<std::string> labels, Mode mode);

    void start(std::size_t row, std::int32_t total);
    void update(std::size_t row, std::int32_t position, std::int32_t total);
    void finish(std::size_t row, const std::string& state);

  private:
    using Clock = std::chrono::steady_clock;
    struct Row {
        std::string label;
        std::int32_t position = 0;
        std::int32_t total = 0;
        int quarter = -1;   // the latest quarter printed as a plain line
        std::string state;  // set once the download is over
        Clock::time_point started{};
    };
    std::string lineOf(const Row& row) const;
    void redraw();  // with the mutex held

    std::mutex mutex_;
    std::vector<Row> rows_;
    Mode mode_;
    std::size_t labelWidth_ = 0;
    bool drawn_ = false;
    Clock::time_point lastDrawn_{};
};

// The engine's host for one of several downloads at once: progress goes to its line of the
// board; the message is kept for the report after all have ended.
class BoardHost final : public CliHost {
  public:
    BoardHost(ProgressBoard& board, std::size_t row, const ports::StopRequest& stop)
        : CliHost(&stop), board_(board), row_(row) {}

    void setProgressRange(float minimum, float maximum) override;
    void setProgressText(std::int32_t position, std::int32_t total) override;
    void showMessage(download::Outcome outcome, const std::string& text) override;

  private:
    ProgressBoard& board_;
    std::size_t row_;
};

}  // namespace korvane::cli
