#include "cli/progress_board.h"

#include <algorithm>
#include <cstdio>

#include "cli/terminal_host.h"

namespace korvane::cli {
ProgressBoard::ProgressBoard(std::vector<std::string> labels, Mode mode) : mode_(mode) {
    for (auto& label : labels) {
        labelWidth_ = std::max(labelWidth_, label.size());
        Row row;
        row.label = std::move(label);
        rows_.push_back(std::move(row));
    }
}

std::string ProgressBoard::lineOf(const Row& row) const {
    std::string label = row.label;
    label.resize(labelWidth_, ' ');
    if (!row.state.empty()) {
        return label + "  " + std::to_string(row.position) + "/" + std::to_string(row.total) +
               " bytes  " + row.state;
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - row.started).count();
    const int room = terminalColumns() - static_cast<int>(labelWidth_) - 2;
    return label + "  " + progressLine(row.position, row.total, seconds, room);
}

void ProgressBoard::redraw() {
    if (drawn_) {
        std::fprintf(stderr, "\x1b[%zuA", rows_.size());
    }
    for (const auto& row : rows_) {
        std::fprintf(stderr, "\r%s\x1b[K\n", lineOf(row).c_str());
    }
    std::fflush(stderr);
    drawn_ = true;
    lastDrawn_ = Clock::now();
}

void ProgressBoard::start(std::size_t row, std::int32_t total) {
    const std::lock_guard<std::mutex> hold(mutex_);
    rows_[row].started = Clock::now();
    rows_[row].total = total;
}

void ProgressBoard::update(std::size_t row, std::int32_t position, std::int32_t total) {
    const std::lock_guard<std::mutex> hold(mutex_);
    Row& r = rows_[row];
    r.position = position;
    r.total = total;
    if (mode_ == Mode::Live && Clock::now() - lastDrawn_ >= kRedrawInterval) {
        redraw();
    } else if (mode_ == Mode::Plain && total > 0) {
        const int quarter = static_cast<int>(std::int64_t{position} * 4 / total);
        if (quarter > r.quarter && quarter < 4) {
            r.quarter = quarter;
            std::fprintf(stderr, "%s\n", lineOf(r).c_str());
        }
    }
}

void ProgressBoard::finish(std::size_t row, const std::string& state) {
    const std::lock_guard<std::mutex> hold(mutex_);
    rows_[row].state = state;
    if (mode_ == Mode::Live) {
        redraw();
    } else if (mode_ == Mode::Plain) {
        std::fprintf(stderr, "%s\n", lineOf(rows_[row]).c_str());
    }
}

void BoardHost::setProgressRange(float, float maximum) {
    lastTotal_ = static_cast<std::int32_t>(maximum);
    board_.start(row_, lastTotal_);
}

void BoardHost::setProgressText(std::int32_t position, std::int32_t total) {
    lastPosition_ = position;
    lastTotal_ = total;
    board_.update(row_, position, total);
}

void BoardHost::showMessage(download::Outcome outcome, const std::string&) {
    board_.finish(row_, outcome == download::Outcome::Success ? "done" : "failed");
}

}  // namespace korvane::cli
