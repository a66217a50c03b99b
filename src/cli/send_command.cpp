#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/json_report.h"
#include "cli/output_check.h"
#include "cli/port_download.h"
#include "cli/printable.h"
#include "cli/progress_board.h"
#include "cli/send_options.h"
#include "cli/terminal_host.h"
#include "cli/trace_log.h"
#include "image/firmware_file.h"
#include "ports/stop_request.h"
#include "ports/system_ports.h"

namespace korvane::cli {
namespace {

int usageError(const std::string& what) {
    std::cerr << "korvane-cli send: " << printable(what) << "\nSee 'korvane-cli send --help'.\n";
    return kExitUsage;
}

void describePort(const PortChoice& choice) {
    std::cerr << printable(ports::describePort(choice.name)) << '\n';
}

PortResult runOne(const PortChoice& choice, const SendContext& context, OutputCheck& output) {
    const SendOptions& options = context.options;
    if (!options.quiet) {
        describePort(choice);
    }
    TerminalHost host({.progressBar = options.quiet ? LiveTerminal::None : liveTerminal(),
                       .summary = !options.quiet,
                       .successToStderr = options.json,
                       .output = &output},
                      &context.stop);
    PortResult result = runPortDownload(choice, context, host);
    if (result.signal != 0) {
        // The one line a stopped download leaves: how far it got, and that the printer must
        // be sent the firmware again.
        std::cerr << printable(result.message) << '\n' << std::flush;
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
        if (results[i].outcome != download::Outcome::PortError || results[i].signal != 0 ||
            results[i].refused) {
            continue;
        }
        for (std::size_t j = 0; j < results.size(); ++j) {
            if (j != i && !results[j].refused && identities[j] == identities[i]) {
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

// The closing table: each port's outcome, how far into the image the printer acknowledged,
// the bytes written to its port, and its time.
std::string tableOf(const std::vector<PortResult>& results) {
    std::vector<std::string> labels;
    std::vector<std::string> bytes;
    std::vector<std::string> written;
    std::size_t width = 4;
    std::size_t bytesWidth = 12;
    std::size_t writtenWidth = 7;
    for (const auto& result : results) {
        labels.push_back(printable(result.label));
        bytes.push_back(std::to_string(result.position) + " of " + std::to_string(result.total));
        written.push_back(std::to_string(result.bytesSent));
        width = std::max(width, labels.back().size());
        bytesWidth = std::max(bytesWidth, bytes.back().size());
        writtenWidth = std::max(writtenWidth, written.back().size());
    }
    auto cell = [](std::string text, std::size_t size) {
        text.resize(std::max(size, text.size()), ' ');
        return text;
    };
    std::string table = cell("PORT", width) + "  " + cell("OUTCOME", 14) + "  " +
                        cell("ACKNOWLEDGED", bytesWidth) + "  " + cell("WRITTEN", writtenWidth) +
                        "  TIME\n";
    for (std::size_t i = 0; i < results.size(); ++i) {
        table += cell(labels[i], width) + "  " + cell(outcomeName(results[i]), 14) + "  " +
                 cell(bytes[i], bytesWidth) + "  " + cell(written[i], writtenWidth) + "  " +
                 formatSeconds(results[i].seconds) + '\n';
    }
    return table;
}

// Names that are one device are refused before anything is sent: one printer takes one
// download. The device lock stays the second guard, for names this cannot tell apart.
std::vector<std::optional<PortResult>> refuseSharedDevices(const SendOptions& options,
                                                           std::int32_t total) {
    std::vector<std::string> identities;
    for (const auto& choice : options.ports) {
        identities.push_back(deviceIdentity(choice));
    }
    std::vector<std::optional<PortResult>> refused(options.ports.size());
    for (std::size_t i = 0; i < identities.size(); ++i) {
        std::vector<std::size_t> same;
        for (std::size_t j = 0; j < identities.size(); ++j) {
            if (identities[j] == identities[i]) {
                same.push_back(j);
            }
        }
        if (same.size() < 2) {
            continue;
        }
        std::string names;
        for (std::size_t k = 0; k < same.size(); ++k) {
            names += (k == 0                 ? ""
                      : k + 1 == same.size() ? " and "
                                             : ", ") +
                     std::string("port ") + std::to_string(same[k] + 1) + " (" +
                     printable(options.ports[same[k]].port) + ")";
        }
        PortResult result;
        result.choice = options.ports[i];
        // Escaped here: the detail's lines are joined by line breaks.
        result.label = printable(options.ports[i].port);
        result.refused = true;
        result.outcome = download::Outcome::PortError;
        result.status = kExitFileOrPort;
        result.message =
            "Nothing was sent to " + result.label + ": it is named more than once in this run.";
        result.detail = names + " are the same device, " + printable(identities[i]) +
                        ": one printer takes one download. Name each printer's port once.";
        result.started = result.ended = utcNow();
        result.total = total;
        refused[i] = std::move(result);
    }
    return refused;
}

std::vector<PortResult> runSeveral(const SendContext& context, OutputCheck& output) {
    const SendOptions& options = context.options;
    std::vector<std::string> labels;
    for (const auto& choice : options.ports) {
        if (!options.quiet) {
            describePort(choice);
        }
        labels.push_back(printable(choice.port));
    }
    // Trace lines on the terminal would scroll the board away, and a terminal without escape
    // sequences cannot go back up to its lines: it prints plain lines then.
    const bool traceOnTerminal = options.trace && options.logFile.empty();
    const bool liveBoard = liveTerminal() == LiveTerminal::Escapes && !traceOnTerminal;
    const auto mode = options.quiet ? ProgressBoard::Mode::None
                      : liveBoard   ? ProgressBoard::Mode::Live
                                    : ProgressBoard::Mode::Plain;
    ProgressBoard board(labels, mode);
    std::vector<PortResult> results(options.ports.size());
    const auto refused =
        refuseSharedDevices(options, static_cast<std::int32_t>(context.image.size()));
    {
        // Each download on its own thread with its own ports, host and engine.
        std::vector<std::jthread> threads;
        for (std::size_t i = 0; i < options.ports.size(); ++i) {
            if (refused[i]) {
                results[i] = *refused[i];
                board.start(i, results[i].total);
                board.finish(i, "refused");
                continue;
            }
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
            std::cerr << printable(result.label) << ": " << printable(result.message) << '\n';
            if (!result.detail.empty()) {
                std::cerr << printableLines(result.detail) << '\n';
            }
        }
    }
    if (options.json) {
        std::cerr << tableOf(results) << std::flush;
    } else {
        output.toStdout(tableOf(results), "the table of results");
    }
    return results;
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
        std::cout << sendUsage();
        return kExitOk;
    }
    // The log is opened before any port is touched, so a log that cannot be used stops
    // nothing halfway.
    std::unique_ptr<TraceLog> trace;
    if (options.trace) {
        try {
            trace = std::make_unique<TraceLog>(options.logFile);
        } catch (const std::exception& error) {
            std::cerr << "korvane-cli send: " << printable(error.what()) << '\n';
            return kExitFileOrPort;
        }
    }
    // Read once: the record's hash, the trace and every port's download all have these bytes.
    const std::filesystem::path file = image::pathFromUtf8(options.file);
    const auto loaded = image::loadFirmwareFile(file, fileOpenFailureAccount());
    const std::span<const std::uint8_t> bytes = loaded.bytes;

    // From here a signal ends every download at its next safe point, releasing its port.
    ports::StopRequest stop;
    const SendContext context{options, loaded, bytes, stop, trace.get()};
    OutputCheck output;
    const std::vector<PortResult> results =
        options.ports.size() == 1 ? std::vector{runOne(options.ports.front(), context, output)}
                                  : runSeveral(context, output);
    if (options.json) {
        const ImageFacts image =
            loaded.ok() ? ImageFacts{file, bytes, ""}
                        : ImageFacts{file, std::nullopt, image::describeLoadFailure(loaded, file)};
        std::string lines;
        for (const auto& result : results) {
            lines +=
                sendJsonLine(image, result, options.baud, deviceIdentity(result.choice)) + '\n';
        }
        output.toStdout(lines, "the JSON record");
    }
    if (trace) {
        if (const int error = trace->finish(); error != 0) {
            output.failed(trace->name(), error);
        }
    }
    output.closeStdout();
    const bool flashed = std::any_of(results.begin(), results.end(), [](const PortResult& r) {
        return r.signal == 0 && r.outcome == download::Outcome::Success;
    });
    return output.settle(overallStatus(results), flashed);
}

}  // namespace korvane::cli
