#include <iostream>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "ports/linux/port_report.h"

namespace korvane::cli {

int runPorts(const std::vector<std::string>& args) {
    if (!args.empty()) {
        const bool help = args.front() == "--help" || args.front() == "-h";
        (help ? std::cout : std::cerr)
            << (help ? "" : "korvane-cli ports: unexpected '" + args.front() + "'\n")
            << "Usage: korvane-cli ports\n"
               "Lists every serial device and parallel port, which COM or LPT choice each is, and\n"
               "whether you may open it.\n";
        return help ? kExitOk : kExitUsage;
    }
    const auto serial = ports::SerialEnvironment::live();
    const auto parallel = ports::ParallelEnvironment::live();
    std::cout << ports::portsReport(ports::discoverSerialDevices(serial), serial, parallel);
    return kExitOk;
}

}  // namespace korvane::cli
