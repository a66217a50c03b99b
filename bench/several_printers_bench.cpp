// One korvane-cli send to 1, 8 and 32 simulated printers at once, each paced at 38400 baud:
// the wall time of each run and its ratio to one printer's (1.00 would be perfect overlap), the
// CPU seconds and the peak memory of the korvane-cli process. Prints figures, judges nothing.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "sim_process.h"

namespace {

struct Run {
    int status = -1;
    double wallS = 0;
    double cpuS = 0;     // user + system of korvane-cli alone
    long maxRssKiB = 0;  // its peak resident memory
};

double seconds(const timeval& time) {
    return time.tv_sec + time.tv_usec / 1e6;
}

// Runs the CLI with its output thrown away; wait4 gives this child's own usage, so the
// simulators (children too) never count.
Run runCli(const std::vector<std::string>& args) {
    std::fflush(stdout);  // else the child writes our pending lines again
    const auto start = std::chrono::steady_clock::now();
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
    Run run;
    int status = 0;
    rusage usage{};
    ::wait4(child, &status, 0, &usage);
    run.wallS = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.cpuS = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    run.maxRssKiB = usage.ru_maxrss;
    return run;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string image = argc > 1 ? argv[1] : KORVANE_SAMPLES_DIR "/demo.DPX";
    std::printf("image: %s, every printer paced at 38400 baud\n", image.c_str());
    std::printf("%9s  %8s  %9s  %8s  %9s\n", "printers", "wall s", "vs one", "CPU s", "peak MiB");
    int failures = 0;
    double one = 0;
    for (const int printers : {1, 8, 32}) {
        std::vector<std::unique_ptr<korvane::tools::SimProcess>> sims;
        std::vector<std::string> args{"send", "--quiet"};
        for (int i = 0; i < printers; ++i) {
            sims.push_back(std::make_unique<korvane::tools::SimProcess>(
                KORVANE_PRINTER_SIM,
                std::vector<std::string>{"--image", image, "--baud", "38400", "--repeat"}));
            args.insert(args.end(), {"--serial", sims.back()->devicePath()});
        }
        args.push_back(image);
        const Run run = runCli(args);
        if (printers == 1) {
            one = run.wallS;
        }
        failures += run.status != 0;
        std::printf("%9d  %8.2f  %9.3f  %8.2f  %9.1f%s\n", printers, run.wallS, run.wallS / one,
                    run.cpuS, run.maxRssKiB / 1024.0,
                    run.status == 0 ? "" : "  (failed: the figures do not count)");
    }
    return failures == 0 ? 0 : 1;
}
