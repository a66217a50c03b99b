#include <unistd.h>

#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/send_options.h"
#include "cli/terminal_host.h"
#include "download/download_sequence.h"
#include "ports/linux_parallel_ports.h"
#include "ports/port_report.h"
#include "ports/serial_device_map.h"
#include "ports/stop_aware_ports.h"
#include "ports/stop_request.h"
#include "ports/termios_serial_port.h"

namespace korvane::cli {
namespace {

int usageError(const std::string& what) {
    std::cerr << "korvane-cli send: " << what << "\nSee 'korvane-cli send --help'.\n";
    return kExitUsage;
}

// Parses the words after "send"; nothing on error, after printing why.
std::optional<SendOptions> parse(const std::vector<std::string>& args, int& status) {
    SendParse parsed = parseSendOptions(args);
    if (!parsed.options) {
        status = usageError(parsed.error);
    }
    return parsed.options;
}

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

// The one line a stopped download leaves: how far it got, and that the printer must be sent
// the firmware again.
void reportStop(int signalNumber, const TerminalHost& host) {
    std::cerr << "Stopped by " << ports::signalName(signalNumber) << " after " << host.position()
              << " of " << host.total()
              << " bytes: the printer holds a partial firmware. Send the firmware again before "
                 "you use the printer.\n"
              << std::flush;
}

}  // namespace

int runSend(const std::vector<std::string>& args) {
    int status = kExitUsage;
    const auto options = parse(args, status);
    if (!options) {
        return status;
    }
    if (options->help) {
        std::cout << kSendUsage;
        return kExitOk;
    }

    download::UserChoices choices;
    choices.firmwarePath = options->file;
    choices.serial = options->serial;
    choices.speedText = options->baud;

    const bool devicePath = options->port.rfind('/', 0) == 0;
    const auto index =
        listIndexOf(options->port, options->serial ? "COM" : "LPT", options->serial ? 4 : 2);
    if (!devicePath && !index) {
        return usageError(options->serial ? "serial PORT is COM1..COM4 or a device path"
                                          : "parallel PORT is LPT1, LPT2 or a /dev/parportN path");
    }
    choices.portIndex = index.value_or(0);
    if (!options->quiet) {
        std::cerr << ports::describeChosenPort(options->serial, index, options->port) << '\n';
    }

    // From here a signal ends the download at its next safe point, releasing the port.
    ports::StopRequest stop;
    std::unique_ptr<ports::TermiosSerialPort> serialPort =
        devicePath ? ports::TermiosSerialPort::forDevice(options->port, &stop)
                   : std::make_unique<ports::TermiosSerialPort>(ports::serialDeviceForPort, &stop);
    std::unique_ptr<ports::LinuxParallelPorts> parallelPorts =
        devicePath && !options->serial ? ports::LinuxParallelPorts::forDevice(options->port)
                                       : std::make_unique<ports::LinuxParallelPorts>();
    ports::StopAwareParallelPorts stoppableParallel(*parallelPorts, stop);
    download::SteadyClock clock;
    TerminalHost host({.progressBar = !options->quiet && ::isatty(STDERR_FILENO) == 1,
                       .summary = !options->quiet},
                      &stop);
    download::DownloadSequence download(host, *serialPort, stoppableParallel, clock);

    download::Outcome outcome = download::Outcome::PortError;
    try {
        outcome = download.run(choices).outcome;
    } catch (const download::DownloadAbandoned&) {
        // The port was closed or released, and its lock removed, on the way out.
        reportStop(stop.signal(), host);
        return 128 + stop.signal();
    } catch (const std::exception& error) {
        // Nothing the engine meets should end here; if it does, say so and keep the contract.
        std::cerr << "korvane-cli: " << error.what() << '\n';
    }
    if (host.stdoutFailed()) {
        // The download's verdict stands; only its report could not be delivered.
        std::cerr << "korvane-cli: could not write the result to standard output\n";
    }
    switch (outcome) {
        case download::Outcome::Success:
            return kExitOk;
        case download::Outcome::PrinterFailed:
            return kExitPrinterFailed;
        default:
            return kExitFileOrPort;
    }
}

}  // namespace korvane::cli
