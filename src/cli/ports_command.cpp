#include <iostream>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/output_check.h"
#include "cli/printable.h"
#include "ports/linux/port_report.h"

namespace korvane::cli {

int runPorts(const std::vector<std::string>& args) {
    if (!args.empty()) {
        const bool help = args.front() == "--help" || args.front() == "-h";
        (help ? std::cout : std::cerr)
            << (help ? "" : "korvane-cli ports: unexpected '" + printable(args.front()) + "'\n")
            << "Usage: korvane-cli ports\n"
               "Lists every serial device and parallel port, which COM or LPT choice each is, and\n"
               "whether you may open it.\n";
        return help ? kExitOk : kExitUsage;
    }
    const auto serial = ports::SerialEnvironment::live();
    const auto parallel = ports::ParallelEnvironment::live();
    OutputCheck output;
    output.toStdout(ports::portsReport(ports::discoverSerialDevices(serial), serial, parallel),
                    "the port list");
    output.closeStdout();
    return output.settle(kExitOk, false);
}

}  // namespace korvane::cli
