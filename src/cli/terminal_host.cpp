#include "cli/terminal_host.h"

#include <iostream>

namespace korvane::cli {
namespace {

// A terminal redraw costs far more than a parallel byte; a person cannot read faster anyway.
constexpr auto kRedrawInterval = std::chrono::milliseconds(100);
constexpr int kBarWidth = 30;

std::string humanBytes(double bytes) {
    char text[32];
    if (bytes >= 1024.0 * 1024.0) {
        std::snprintf(text, sizeof text, "%.1f MiB", bytes / (1024.0 * 1024.0));
    } else if (bytes >= 1024.0) {
        std::snprintf(text, sizeof text, "%.1f KiB", bytes / 1024.0);
    } else {
        std::snprintf(text, sizeof text, "%.0f B", bytes);
    }
    return text;
}

}  // namespace

TerminalHost::TerminalHost(bool showProgress) : showProgress_(showProgress) {}

void TerminalHost::setProgressText(std::int32_t position, std::int32_t total) {
    lastPosition_ = position;
    lastTotal_ = total;
    if (!showProgress_) {
        return;
    }
    const auto now = Clock::now();
    if (!barDrawn_) {
        started_ = now;
    } else if (now - lastDrawn_ < kRedrawInterval && position != total) {
        return;
    }
    lastDrawn_ = now;
    drawBar(position, total);
}

void TerminalHost::drawBar(std::int32_t position, std::int32_t total) {
    const double fraction = total > 0 ? static_cast<double>(position) / total : 0.0;
    const int filled = static_cast<int>(fraction * kBarWidth);
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    const double rate = seconds > 0.0 ? position / seconds : 0.0;
    const double left = rate > 0.0 ? (total - position) / rate : 0.0;

    std::string bar(static_cast<std::size_t>(filled), '#');
    bar.resize(kBarWidth, '.');
    std::fprintf(stderr, "\r[%s] %d/%d bytes  %s/s  %.0f s left   ", bar.c_str(), position, total,
                 humanBytes(rate).c_str(), left);
    std::fflush(stderr);
    barDrawn_ = true;
}

void TerminalHost::finishBar() {
    if (barDrawn_) {
        drawBar(lastPosition_, lastTotal_);
        std::fputc('\n', stderr);
        barDrawn_ = false;
    }
}

void TerminalHost::showMessage(download::Outcome outcome, const std::string& text) {
    finishBar();
    if (outcome == download::Outcome::Success) {
        std::cout << text << std::endl;
    } else {
        std::cerr << text << std::endl;
    }
}

}  // namespace korvane::cli
