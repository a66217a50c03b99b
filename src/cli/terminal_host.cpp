#include "cli/terminal_host.h"

#include <algorithm>
#include <cstdio>
#include <iostream>

#include "cli/output_check.h"
#include "cli/printable.h"

namespace korvane::cli {
namespace {

// Below this the bytes sent say nothing yet about the rate.
constexpr double kFirstRateAfterS = 0.1;
constexpr int kNarrowestBar = 5;

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

std::string progressLine(std::int32_t position, std::int32_t total, double seconds, int columns) {
    std::string figures = std::to_string(position) + "/" + std::to_string(total) + " bytes";
    if (seconds >= kFirstRateAfterS && position > 0) {
        const double rate = position / seconds;
        char left[32];
        std::snprintf(left, sizeof left, "%.0f s left", (total - position) / rate);
        figures += "  " + humanBytes(rate) + "/s  " + left;
    }
    // The last column stays free: writing into it wraps the line on some terminals.
    const int room = columns - 1;
    const int barWidth = room - static_cast<int>(figures.size()) - 3;
    if (barWidth < kNarrowestBar) {
        return figures.substr(0, static_cast<std::size_t>(std::max(room, 0)));
    }
    const double fraction = total > 0 ? std::clamp(double(position) / total, 0.0, 1.0) : 0.0;
    std::string bar(static_cast<std::size_t>(fraction * barWidth), '#');
    bar.resize(static_cast<std::size_t>(barWidth), '.');
    return "[" + bar + "] " + figures;
}

std::string acknowledgedText(std::int32_t acknowledged, std::int32_t total) {
    return std::to_string(acknowledged) + " of " + std::to_string(total) +
           " image bytes acknowledged";
}

std::string summaryLine(std::int32_t acknowledged, std::int32_t total, std::int64_t written,
                        double seconds) {
    char text[64];
    std::snprintf(text, sizeof text, " bytes written in %.1f s (%s/s)", seconds,
                  humanBytes(seconds > 0.0 ? static_cast<double>(written) / seconds : 0.0).c_str());
    return acknowledgedText(acknowledged, total) + ", " + std::to_string(written) + text;
}

TerminalHost::TerminalHost(Output output, const ports::StopRequest* stop)
    : CliHost(stop), output_(output) {}

void TerminalHost::setProgressRange(float, float maximum) {
    // The clock starts with the download, so the first rate shown spans real work.
    started_ = true;
    startedAt_ = Clock::now();
    lastDrawn_ = startedAt_;
    lastTotal_ = static_cast<std::int32_t>(maximum);
}

void TerminalHost::setProgressText(std::int32_t position, std::int32_t total) {
    lastPosition_ = position;
    lastTotal_ = total;
    if (output_.progressBar == LiveTerminal::None) {
        return;
    }
    const auto now = Clock::now();
    if (now - lastDrawn_ < kRedrawInterval && position != total) {
        return;
    }
    lastDrawn_ = now;
    drawBar();
}

void TerminalHost::drawBar() {
    const double seconds = std::chrono::duration<double>(Clock::now() - startedAt_).count();
    std::string line = progressLine(lastPosition_, lastTotal_, seconds, terminalColumns());
    // Back to the line's start and clear the rest, so a shorter line leaves nothing behind:
    // with the escape sequence where the terminal takes it, else by writing over it.
    const bool escapes = output_.progressBar == LiveTerminal::Escapes;
    const std::size_t length = line.size();
    if (!escapes && length < barLength_) {
        line.append(barLength_ - length, ' ');
    }
    barLength_ = length;
    std::fprintf(stderr, "\r%s%s", line.c_str(), escapes ? "\x1b[K" : "");
    std::fflush(stderr);
    barDrawn_ = true;
}

void TerminalHost::finishBar() {
    if (barDrawn_) {
        drawBar();
        std::fputc('\n', stderr);
        barDrawn_ = false;
    }
}

void TerminalHost::printSummary() {
    // Nothing written, no port was reached: there is no rate to tell.
    if (output_.summary && started_ && written() > 0) {
        const double seconds = std::chrono::duration<double>(Clock::now() - startedAt_).count();
        std::fprintf(stderr, "%s\n",
                     summaryLine(lastPosition_, lastTotal_, written(), seconds).c_str());
    }
}

void TerminalHost::showMessage(download::Outcome outcome, const std::string& text) {
    finishBar();
    if (outcome == download::Outcome::Success && !output_.successToStderr) {
        const std::string line = printable(text) + '\n';
        if (output_.output != nullptr) {
            output_.output->toStdout(line, "the result");
        } else {
            std::cout << line << std::flush;
        }
    } else {
        // An empty file's two lines name no file: their break is kept.
        std::cerr << (outcome == download::Outcome::EmptyFile ? printableLines(text)
                                                              : printable(text))
                  << '\n';
        if (const std::string detail = detailFor(outcome); !detail.empty()) {
            std::cerr << printableLines(detail) << '\n';
        }
        std::cerr << std::flush;
    }
    printSummary();
}

}  // namespace korvane::cli
