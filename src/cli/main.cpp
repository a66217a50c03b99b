#include <iostream>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_status.h"
#include "cli/printable.h"
#include "korvane/version.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  korvane-cli check [--json] FILE\n"
    "  korvane-cli send --serial PORT [--baud 4800|9600|19200|38400] [OPTIONS] FILE\n"
    "  korvane-cli send --parallel PORT [OPTIONS] FILE\n"
    "  korvane-cli send --serial PORT --serial PORT --parallel PORT ... [OPTIONS] FILE\n"
    "  korvane-cli ports\n"
    "  korvane-cli help | --help | --version\n"
    "\n"
    "check  reads a firmware image and reports its records, where each transfer stops and\n"
    "       every rule it breaks. Exit 0: both transfers send it whole and alike; 1: it breaks\n"
    "       a rule; 3: it cannot be read.\n"
    "send   downloads FILE to the printer. Serial PORT is COM1..COM4 or a device path such as\n"
    "       /dev/ttyUSB0; parallel PORT is LPT1, LPT2 or a /dev/parportN path. Several\n"
    "       ports flash several printers at once. OPTIONS: --quiet, --trace, --log FILE,\n"
    "       --json.\n"
    "       Exit 0: success; 1: the printer failed the transfer; 2: usage error;\n"
    "       3: file, image or port error. 'korvane-cli send --help' tells more.\n"
    "ports  lists the serial devices and parallel ports, which COM or LPT choice each is,\n"
    "       and whether you may open it.\n"
    "\n"
    "COMk is $KORVANE_COMk when set, else the k-th serial device that exists: on-board UARTs\n"
    "by number, then USB adapters by the USB port they are plugged in. LPT1 and LPT2 are\n"
    "$KORVANE_LPT1 and $KORVANE_LPT2 when set, else the parport at 0x378 / 0x278.\n";

}  // namespace

int main(int argc, char** argv) {
    const korvane::cli::ConsoleSetup console;
    const std::vector<std::string> words = korvane::cli::commandLineWords(argc, argv);
    if (words.empty()) {
        std::cerr << kUsage;
        return korvane::cli::kExitUsage;
    }
    const std::string command = words.front();
    const std::vector<std::string> args(words.begin() + 1, words.end());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
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
              << kUsage;
    return korvane::cli::kExitUsage;
}
