#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/printable.h"
#include "korvane/version.h"
#include "ports/port_names.h"

namespace {

// The help, with this system's words for its ports and for a stop.
constexpr const char* kCommands =
    "Usage:\n"
    "  korvane-cli check [--json] FILE\n"
    "  korvane-cli send --serial PORT [--baud 4800|9600|19200|38400] [OPTIONS] FILE\n"
    "  korvane-cli send --parallel PORT [OPTIONS] FILE\n"
    "  korvane-cli send --serial PORT --serial PORT --parallel PORT ... [OPTIONS] FILE\n"
    "  korvane-cli ports [--open]\n"
    "  korvane-cli help | --help | --version\n"
    "\n"
    "check  reads a firmware image and reports its records, where each transfer stops and\n"
    "       every rule it breaks. Exit 0: both transfers send it whole and alike; 1: it breaks\n"
    "       a rule; 3: it cannot be read; 4: its report could not be written.\n"
    "send   downloads FILE to the printer. ";
constexpr const char* kSendStatuses =
    "\n"
    "       Several ports flash several printers at once. OPTIONS: --quiet, --trace,\n"
    "       --log FILE, --json.\n"
    "       Exit 0: success; 1: the printer failed the transfer; 2: usage error;\n"
    "       3: file, image or port error; 4: an output asked for could not be written;\n"
    "       ";
constexpr const char* kPorts =
    ".\n"
    "       'korvane-cli send --help' tells more.\n"
    "ports  lists the serial devices and parallel ports, which COM or LPT choice each is,\n"
    "       and whether you may open it; --open also opens each to see whether it is free.\n"
    "\n";

std::string usage() {
    return std::string(kCommands) + korvane::ports::portNamesSentence() + kSendStatuses +
           korvane::ports::stoppedStatus() + kPorts + korvane::ports::choicesParagraph();
}

}  // namespace

int main(int argc, char** argv) {
    const korvane::cli::ConsoleSetup console;
    const std::vector<std::string> words = korvane::cli::commandLineWords(argc, argv);
    if (words.empty()) {
        std::cerr << usage();
        return korvane::cli::kExitUsage;
    }
    const std::string command = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << usage();
        return korvane::cli::kExitOk;
    }
    if (command == "--version") {
        std::cout << korvane::versionText("korvane-cli");
        return korvane::cli::kExitOk;
    }
    if (command == "check") {
        return korvane::cli::runCheck(args);
    }
    if (command == "ports") {
        return korvane::cli::runPorts(args);
    }
    if (command == "send") {
        return korvane::cli::runSend(args);
    }
    std::cerr << "korvane-cli: unknown command '" << korvane::cli::printable(command) << "'\n\n"
              << usage();
    return korvane::cli::kExitUsage;
}
