#include <unistd.h>

#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/terminal_host.h"
#include "download/download_sequence.h"
#include "ports/linux_parallel_ports.h"
#include "ports/serial_device_map.h"
#include "ports/stop_aware_ports.h"
#include "ports/stop_request.h"
#include "ports/termios_serial_port.h"

namespace korvane::cli {
namespace {

struct SendOptions {
    bool serial = true;
    std::string port;
    std::string baud = "38400";
    bool quiet = false;
    std::string file;
};

int usageError(const std::string& what) {
    std::cerr << "korvane-cli send: " << what << "\nSee 'korvane-cli --help'.\n";
    return kExitUsage;
}

// Parses the words after "send"; nothing on error, after printing why.
std::optional<SendOptions> parse(const std::vector<std::string>& args, int& status) {
    SendOptions options;
    bool portGiven = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& word = args[i];
        const bool hasValue = i + 1 < args.size();
        if (word == "--serial" || word == "--parallel") {
            if (!hasValue || portGiven) {
                status = usageError(portGiven ? "give one port only" : word + " needs a PORT");
                return std::nullopt;
            }
            options.serial = word == "--serial";
            options.port = args[++i];
            portGiven = true;
        } else if (word == "--baud") {
            if (!hasValue) {
                status = usageError("--baud needs a speed");
                return std::nullopt;
            }
            options.baud = args[++i];
            if (options.baud != "4800" && options.baud != "9600" && options.baud != "19200" &&
                options.baud != "38400") {
                status = usageError("--baud must be 4800, 9600, 19200 or 38400");
                return std::nullopt;
            }
        } else if (word == "--quiet") {
            options.quiet = true;
        } else if (word.rfind("--", 0) == 0 || !options.file.empty()) {
            status = usageError("unexpected '" + word + "'");
            return std::nullopt;
        } else {
            options.file = word;
        }
    }
    if (!portGiven || options.file.empty()) {
        status = usageError("give --serial PORT or --parallel PORT, and a FILE");
        return std::nullopt;
    }
    return options;
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
