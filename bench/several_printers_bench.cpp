// Four simulated printers at 38400 baud flashed by one korvane-cli send at once, against the
// same four flashed one after another: the wall time of each and their ratio (4 would be
// perfect overlap). Prints figures, judges nothing.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "sim_process.h"

namespace {

constexpr int kPrinters = 4;

// Runs the CLI with its output thrown away; its exit status, or -1.
int runCli(const std::vector<std::string>& args) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::vector<char*> argv{const_cast<char*>(KORVANE_CLI)};
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        std::freopen("/dev/null", "w", stdout);
        std::freopen("/dev/null", "w", stderr);
        ::execv(KORVANE_CLI, argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double secondsOf(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const std::string image = argc > 1 ? argv[1] : KORVANE_SAMPLES_DIR "/demo.DPX";
    std::vector<std::unique_ptr<korvane::tools::SimProcess>> sims;
    for (int i = 0; i < kPrinters; ++i) {
        sims.push_back(std::make_unique<korvane::tools::SimProcess>(
            KORVANE_PRINTER_SIM,
            std::vector<std::string>{"--image", image, "--baud", "38400", "--repeat"}));
    }
    int failures = 0;
    const double sequential = secondsOf([&] {
        for (const auto& sim : sims) {
            failures += runCli({"send", "--quiet", "--serial", sim->devicePath(), image}) != 0;
        }
    });
    const double together = secondsOf([&] {
        std::vector<std::string> args{"send", "--quiet"};
        for (const auto& sim : sims) {
            args.insert(args.end(), {"--serial", sim->devicePath()});
        }
        args.push_back(image);
        failures += runCli(args) != 0;
    });
    std::printf("image: %s\n", image.c_str());
    std::printf("%d printers at 38400 baud, one after another: %.2f s\n", kPrinters, sequential);
    std::printf("%d printers at 38400 baud, at once:           %.2f s\n", kPrinters, together);
    std::printf("wall-time ratio (one after another / at once): %.2f (ideal %d)\n",
                sequential / together, kPrinters);
    if (failures != 0) {
        std::printf("%d runs failed: the figures do not count\n", failures);
    }
    return failures == 0 ? 0 : 1;
}
