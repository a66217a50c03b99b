#include "cli/port_download.h"

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>

#include "cli/exit_status.h"
#include "cli/printable.h"
#include "cli/recording_ports.h"
#include "cli/trace_log.h"
#include "download/download_sequence.h"
#include "ports/linux/linux_parallel_ports.h"
#include "ports/linux/parallel_port_mapping.h"
#include "ports/linux/serial_device_map.h"
#include "ports/linux/termios_serial_port.h"
#include "ports/stop_aware_ports.h"
#include "ports/stop_request.h"

namespace korvane::cli {
namespace {

using download::Outcome;

// "COM3" is entry 2 of the window's port list; "LPT2" entry 1. Anything else is nothing.
std::optional<int> listIndexOf(const std::string& port, const std::string& family, int count) {
    if (port.size() == family.size() + 1 && port.rfind(family, 0) == 0) {
        const int number = port.back() - '0';
        if (number >= 1 && number <= count) {
            return number - 1;
        }
    }
    return std::nullopt;
}

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
    const bool devicePath = choice.port.rfind('/', 0) == 0;
    const auto index =
        listIndexOf(choice.port, choice.serial ? "COM" : "LPT", choice.serial ? 4 : 2);

    download::UserChoices choices;
    choices.firmwarePath = context.options.file;
    choices.serial = choice.serial;
    choices.speedText = context.options.baud;
    choices.portIndex = index.value_or(0);

    const ports::StopRequest* const stop = &context.stop;
    std::unique_ptr<ports::TermiosSerialPort> serialPort =
        devicePath ? ports::TermiosSerialPort::forDevice(choice.port, stop)
                   : std::make_unique<ports::TermiosSerialPort>(ports::serialDeviceForPort, stop);
    std::unique_ptr<ports::LinuxParallelPorts> parallelPorts =
        devicePath && !choice.serial ? ports::LinuxParallelPorts::forDevice(choice.port)
                                     : std::make_unique<ports::LinuxParallelPorts>();
    ports::StopAwareParallelPorts stoppableParallel(*parallelPorts, context.stop);

    PortResult result;
    result.choice = choice;
    if (choice.serial) {
        serialPort->setPortNumber(choices.portIndex + 1);
        result.label = printable(serialPort->portLabel());
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
    RecordingSerialPort serial(*serialPort, context.image, serialFacts, trace);
    serial.describeOpenWith([port = serialPort.get()] {
        return std::string(port->lowLatencyAsked()
                               ? "low-latency mode on (a USB adapter sends each answer at once)"
                               : "no low-latency mode (the driver has none, or refused it)");
    });
    RecordingParallelPorts parallel(stoppableParallel, context.image, parallelFacts, trace);
    const auto detail = [&](Outcome outcome) {
        return choice.serial ? serialDetail(outcome, serial.facts())
                             : parallelDetail(outcome, parallel.facts());
    };
    host.setDetail(detail);

    download::SteadyClock clock;
    download::DownloadSequence download(host, serial, parallel, clock);
    result.started = utcNow();
    const auto start = std::chrono::steady_clock::now();
    try {
        const auto ended = download.run(choices);
        result.outcome = ended.outcome;
        result.message = ended.message;
        result.status = exitStatusOf(ended.outcome);
        result.detail = detail(ended.outcome);
    } catch (const download::DownloadAbandoned&) {
        // The port was closed or released, and its lock removed, on the way out.
        result.signal = context.stop.signal();
        result.status = 128 + result.signal;
        result.message = std::string("Stopped by ") + context.stop.cause() + " after " +
                         std::to_string(host.position()) + " of " + std::to_string(host.total()) +
                         " bytes: the printer holds a partial firmware. Send the firmware again "
                         "before you use the printer.";
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
    result.bytesSent = choice.serial ? serial.facts().bytesSent : parallel.facts().bytesSent;
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
    std::string device = choice.port;
    if (choice.serial && choice.port.rfind('/', 0) != 0) {
        device = ports::serialDeviceForPort(choice.port.back() - '0');
    } else if (!choice.serial && choice.port.rfind('/', 0) != 0) {
        const std::uint16_t base = choice.port == "LPT1" ? 0x378 : 0x278;
        const auto chosen = ports::choosePort(base, ports::ParallelEnvironment::live());
        if (chosen.kind != ports::PortChoice::Kind::Ppdev) {
            return choice.port;  // port I/O at LPT1's or LPT2's own addresses
        }
        device = chosen.device.string();
    }
    std::error_code error;
    const auto canonical = std::filesystem::canonical(device, error);
    return error ? device : canonical.string();
}

}  // namespace korvane::cli
