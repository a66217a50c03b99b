#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/json_report.h"
#include "cli/port_download.h"
#include "cli/printable.h"
#include "cli/progress_board.h"
#include "cli/send_options.h"
#include "cli/terminal_host.h"
#include "cli/trace_log.h"
#include "image/firmware_file.h"
#include "ports/linux/port_report.h"
#include "ports/stop_request.h"

namespace korvane::cli {
namespace {

int usageError(const std::string& what) {
    std::cerr << "korvane-cli send: " << what << "\nSee 'korvane-cli send --help'.\n";
    return kExitUsage;
}

std::optional<int> listIndex(const PortChoice& choice) {
    const char last = choice.port.back();
    if (choice.port.rfind('/', 0) == 0 || last < '1' || last > '9') {
        return std::nullopt;
    }
    return last - '1';
}

void describePort(const PortChoice& choice) {
    std::cerr << ports::describeChosenPort(choice.serial, listIndex(choice), choice.port) << '\n';
}

// The one line a stopped download leaves: how far it got, and that the printer must be sent
// the firmware again.
void reportStop(const ports::StopRequest& stop, const CliHost& host) {
    std::cerr << "Stopped by " << stop.cause() << " after " << host.position() << " of "
              << host.total()
              << " bytes: the printer holds a partial firmware. Send the firmware again before "
                 "you use the printer.\n"
              << std::flush;
}

PortResult runOne(const PortChoice& choice, const SendContext& context) {
    const SendOptions& options = context.options;
    if (!options.quiet) {
        describePort(choice);
    }
    TerminalHost host({.progressBar = !options.quiet && ::isatty(STDERR_FILENO) == 1,
                       .summary = !options.quiet,
                       .successToStderr = options.json},
                      &context.stop);
    PortResult result = runPortDownload(choice, context, host);
    if (result.signal != 0) {
        reportStop(context.stop, host);
    }
    if (host.stdoutFailed()) {
        // The download's verdict stands; only its report could not be delivered.
        std::cerr << "korvane-cli: could not write the result to standard output\n";
    }
    return result;
}

// Two ports that name one device: the device lock lets one of them through. Says so on the
// one it refused.
void explainSharedDevices(std::vector<PortResult>& results) {
    std::vector<std::string> identities;
    for (const auto& result : results) {
        identities.push_back(deviceIdentity(result.choice));
    }
    for (std::size_t i = 0; i < results.size(); ++i) {
        if (results[i].outcome != download::Outcome::PortError || results[i].signal != 0) {
            continue;
        }
        for (std::size_t j = 0; j < results.size(); ++j) {
            if (j != i && identities[j] == identities[i]) {
                std::string& detail = results[i].detail;
                detail += (detail.empty() ? "" : "\n") + results[i].label +
                          " is named twice in this run (ports " +
                          std::to_string(std::min(i, j) + 1) + " and " +
                          std::to_string(std::max(i, j) + 1) +
                          "): one device takes one download at a time, so its lock refused "
                          "this one. Name each printer's port once.";
                break;
            }
        }
    }
}

std::string formatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

void printTable(const std::vector<PortResult>& results, std::ostream& out) {
    std::size_t width = 4;
    for (const auto& result : results) {
        width = std::max(width, result.label.size());
    }
    auto cell = [](std::string text, std::size_t size) {
        text.resize(std::max(size, text.size()), ' ');
        return text;
    };
    out << cell("PORT", width) << "  " << cell("OUTCOME", 14) << "  TIME\n";
    for (const auto& result : results) {
        out << cell(result.label, width) << "  " << cell(outcomeName(result), 14) << "  "
            << formatSeconds(result.seconds) << '\n';
    }
    out << std::flush;
}

std::vector<PortResult> runSeveral(const SendContext& context) {
    const SendOptions& options = context.options;
    std::vector<std::string> labels;
    for (const auto& choice : options.ports) {
        if (!options.quiet) {
            describePort(choice);
        }
        labels.push_back(printable(choice.port));
    }
    // Trace lines on the terminal would scroll the board away: it prints plain lines then.
    const bool traceOnTerminal = options.trace && options.logFile.empty();
    const auto mode = options.quiet ? ProgressBoard::Mode::None
                      : ::isatty(STDERR_FILENO) == 1 && !traceOnTerminal
                          ? ProgressBoard::Mode::Live
                          : ProgressBoard::Mode::Plain;
    ProgressBoard board(labels, mode);
    std::vector<PortResult> results(options.ports.size());
    {
        // Each download on its own thread with its own ports, host and engine.
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < options.ports.size(); ++i) {
            threads.emplace_back([&, i] {
                BoardHost host(board, i, context.stop);
                results[i] = runPortDownload(options.ports[i], context, host);
                if (results[i].signal != 0) {
                    board.finish(i, "stopped");
                }
            });
        }
    }
    explainSharedDevices(results);
    for (const auto& result : results) {
        if (result.outcome != download::Outcome::Success || result.signal != 0) {
            std::cerr << result.label << ": " << printable(result.message) << '\n';
            if (!result.detail.empty()) {
                std::cerr << result.detail << '\n';
            }
        }
    }
    printTable(results, options.json ? std::cerr : std::cout);
    return results;
}

QJsonObject sendJson(const PortResult& result, const QJsonObject& image,
                     const SendOptions& options) {
    QJsonObject object = reportHeader("send");
    object["image"] = image;
    object["port"] = jsonText(result.choice.port);
    object["port_type"] = result.choice.serial ? "serial" : "parallel";
    object["device"] = jsonText(deviceIdentity(result.choice));
    object["label"] = jsonText(result.label);
    object["baud"] = result.choice.serial ? QJsonValue(std::stoi(options.baud)) : QJsonValue();
    object["started"] = jsonText(result.started);
    object["ended"] = jsonText(result.ended);
    object["duration_s"] = result.seconds;
    object["bytes_sent"] = static_cast<qint64>(result.bytesSent);
    object["outcome"] = outcomeName(result);
    object["exit_status"] = result.status;
    object["message"] = jsonText(result.message);
    object["detail"] = result.detail.empty() ? QJsonValue() : jsonText(result.detail);
    return object;
}

// 0 when every download succeeded; 128 + N when signal N stopped them; else the highest.
int overallStatus(const std::vector<PortResult>& results) {
    int status = kExitOk;
    for (const auto& result : results) {
        if (result.signal != 0) {
            return 128 + result.signal;
        }
        status = std::max(status, result.status);
    }
    return status;
}

}  // namespace

int runSend(const std::vector<std::string>& args) {
    const SendParse parsed = parseSendOptions(args);
    if (!parsed.options) {
        return usageError(parsed.error);
    }
    const SendOptions& options = *parsed.options;
    if (options.help) {
        std::cout << kSendUsage;
        return kExitOk;
    }
    std::unique_ptr<TraceLog> trace;
    if (options.trace) {
        try {
            trace = std::make_unique<TraceLog>(options.logFile);
        } catch (const std::exception& error) {
            std::cerr << "korvane-cli send: " << printable(error.what()) << '\n';
            return kExitFileOrPort;
        }
    }
    // Read here as well, to follow the records and for the report; the download reads the
    // file itself and reports what is wrong with it.
    const auto loaded = image::loadFirmwareFile(options.file);
    const std::span<const std::uint8_t> bytes = loaded.bytes;

    // From here a signal ends every download at its next safe point, releasing its port.
    ports::StopRequest stop;
    const SendContext context{options, bytes, stop, trace.get()};
    const std::vector<PortResult> results =
        options.ports.size() == 1 ? std::vector{runOne(options.ports.front(), context)}
                                  : runSeveral(context);
    if (options.json) {
        const QJsonObject image = loaded.ok()
                                      ? imageJson(options.file, bytes, "")
                                      : imageJson(options.file, std::nullopt,
                                                  image::describeLoadFailure(loaded, options.file));
        for (const auto& result : results) {
            std::cout << jsonLine(sendJson(result, image, options)) << '\n';
        }
        std::cout << std::flush;
    }
    return overallStatus(results);
}

}  // namespace korvane::cli
