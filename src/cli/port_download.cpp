#include "cli/port_download.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "cli/exit_status.h"
#include "cli/printable.h"
#include "cli/recording_ports.h"
#include "cli/terminal_host.h"
#include "cli/trace_log.h"
#include "download/download_sequence.h"
#include "ports/stop_request.h"
#include "ports/system_ports.h"

namespace korvane::cli {
namespace {

using download::Outcome;

int exitStatusOf(Outcome outcome) {
    switch (outcome) {
        case Outcome::Success:
            return kExitOk;
        case Outcome::PrinterFailed:
            return kExitPrinterFailed;
        default:
            return kExitFileOrPort;
    }
}

}  // namespace

PortResult runPortDownload(const PortChoice& choice, const SendContext& context, CliHost& host) {
    download::UserChoices choices;
    choices.firmwarePath = context.options.file;
    choices.serial = choice.serial;
    choices.speedText = context.options.baud;
    // A COMk or LPTk choice goes to the engine as the window's list entry would; a device
    // named outright is used whatever the entry.
    choices.portIndex = choice.name.choice != 0 ? choice.name.choice - 1 : 0;

    const std::unique_ptr<ports::Ports> ports = ports::portsFor(choice.name, &context.stop);

    PortResult result;
    result.choice = choice;
    if (choice.serial) {
        ports->serial().setPortNumber(choices.portIndex + 1);
        result.label = printable(ports->serialLabel());
    } else {
        result.label = printable(choice.port);
    }
    TraceLine trace;
    if (context.trace != nullptr) {
        trace = [log = context.trace](const std::string& line) { log->line(line); };
    }
    SerialFacts serialFacts;
    serialFacts.label = result.label;
    serialFacts.baud = context.options.baud;
    ParallelFacts parallelFacts;
    parallelFacts.label = result.label;
    RecordingSerialPort serial(ports->serial(), context.image, serialFacts, trace);
    serial.describeOpenWith([&ports] { return ports->openNote(); });
    RecordingParallelPorts parallel(ports->parallel(), context.image, parallelFacts, trace);
    const auto detail = [&](Outcome outcome) {
        return choice.serial ? serialDetail(outcome, serial.facts())
                             : parallelDetail(outcome, parallel.facts());
    };
    host.setDetail(detail);
    host.setWritten(
        [&] { return choice.serial ? serial.facts().bytesSent : parallel.facts().bytesSent; });

    download::SteadyClock clock;
    download::DownloadSequence download(host, serial, parallel, clock);
    result.started = utcNow();
    const auto start = std::chrono::steady_clock::now();
    try {
        const auto ended = download.run(choices, context.loaded);
        result.outcome = ended.outcome;
        result.message = ended.message;
        result.status = exitStatusOf(ended.outcome);
        result.detail = detail(ended.outcome);
    } catch (const download::DownloadAbandoned&) {
        // The port was closed or released, and its lock removed, on the way out.
        result.signal = context.stop.signal();
        result.status = 128 + result.signal;
        result.message = std::string("Stopped by ") + context.stop.cause() + " after " +
                         acknowledgedText(host.position(), host.total()) + " (" +
                         std::to_string(host.written()) +
                         " bytes written): the printer holds a partial firmware. Send the "
                         "firmware again before you use the printer.";
    } catch (const std::exception& error) {
        // Nothing the engine meets should end here; if it does, say so and keep the contract.
        result.outcome = Outcome::PortError;
        result.status = kExitFileOrPort;
        result.message = std::string("korvane-cli: ") + error.what();
        std::fprintf(stderr, "%s\n", printable(result.message).c_str());
    }
    result.ended = utcNow();
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    result.bytesSent = host.written();
    result.position = host.position();
    result.total = host.total();
    return result;
}

const char* outcomeName(const PortResult& result) {
    if (result.signal != 0) {
        return "stopped";
    }
    switch (result.outcome) {
        case Outcome::Success:
            return "success";
        case Outcome::PrinterFailed:
            return "printer_failed";
        case Outcome::EmptyFile:
            return "empty_file";
        case Outcome::FileError:
            return "file_error";
        case Outcome::ImageError:
            return "image_error";
        case Outcome::PortError:
            return "port_error";
        case Outcome::AlreadyRunning:
            return "already_running";
    }
    return "port_error";
}

std::string deviceIdentity(const PortChoice& choice) {
    return ports::portIdentity(choice.name);
}

}  // namespace korvane::cli
