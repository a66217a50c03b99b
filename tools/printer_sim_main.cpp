#include <iostream>
#include <string>
#include <vector>

#include "korvane/version.h"
#include "printer_sim.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && args[0] == "--version") {
        std::cout << korvane::versionText("korvane-printer-sim");
        return 0;
    }
    const auto parsed = korvane::tools::parseSimOptions(args);
    if (!parsed.options) {
        if (parsed.error.empty()) {
            std::cout << korvane::tools::simUsage()
                      << "\nkorvane-printer-sim --version prints the version.\n";
            return 0;
        }
        std::cerr << "korvane-printer-sim: " << parsed.error << "\n\n"
                  << korvane::tools::simUsage();
        return 2;
    }
    return korvane::tools::runPrinterSim(*parsed.options, std::cout, std::cerr);
}
