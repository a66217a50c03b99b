#include <unistd.h>
#include <QCoreApplication>
#include <iostream>
#include <memory>
#include <optional>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/terminal_host.h"
#include "download/download_sequence.h"
#include "ports/linux_parallel_ports.h"
#include "ports/qt_serial_port.h"
#include "ports/serial_device_map.h"

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

}  // namespace

int runSend(const std::vector<std::string>& args, int argc, char** argv) {
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

    // Qt's serial port wants an application object; it runs no event loop here.
    QCoreApplication application(argc, argv);
    ports::QtSerialPort serialPort(devicePath ? ports::QtSerialPort::DeviceResolver(
                                                    [path = options->port](int) { return path; })
                                              : ports::serialDeviceForPort);
    std::unique_ptr<ports::LinuxParallelPorts> parallelPorts =
        devicePath && !options->serial ? ports::LinuxParallelPorts::forDevice(options->port)
                                       : std::make_unique<ports::LinuxParallelPorts>();
    download::SteadyClock clock;
    TerminalHost host(!options->quiet && ::isatty(STDERR_FILENO) == 1);
    download::DownloadSequence download(host, serialPort, *parallelPorts, clock);

    download::Outcome outcome = download::Outcome::PortError;
    try {
        outcome = download.run(choices).outcome;
    } catch (const std::exception& error) {
        // Nothing the engine meets should end here; if it does, say so and keep the contract.
        std::cerr << "korvane-cli: " << error.what() << '\n';
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
