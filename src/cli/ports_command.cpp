#include <iostream>

#include "cli/commands.h"
#include "cli/exit_status.h"
#include "cli/output_check.h"
#include "cli/printable.h"
#include "ports/system_report.h"

namespace korvane::cli {

int runPorts(const std::vector<std::string>& args) {
    bool openEach = false;
    for (const auto& arg : args) {
        if (arg == "--open") {
            openEach = true;
            continue;
        }
        const bool help = arg == "--help" || arg == "-h";
        (help ? std::cout : std::cerr)
            << (help ? "" : "korvane-cli ports: unexpected '" + printable(arg) + "'\n")
            << "Usage: korvane-cli ports [--open]\n"
               "Lists every serial device and parallel port, which COM or LPT choice each is, and\n"
               "whether you may open it. No port is opened unless you ask:\n"
               "  --open  open and close each port to see whether it is free now (this toggles\n"
               "          DTR and RTS on whatever hangs on it)\n";
        return help ? kExitOk : kExitUsage;
    }
    OutputCheck output;
    output.toStdout(ports::systemPortsReport(openEach), "the port list");
    output.closeStdout();
    return output.settle(kExitOk, false);
}

}  // namespace korvane::cli
