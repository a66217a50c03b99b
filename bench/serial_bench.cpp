// The serial path's own cost over a pseudo-terminal with korvane-printer-sim as the printer:
// records per second and microseconds per record with a printer that answers at once, and the
// sender's CPU use while a slow printer works. Prints figures, judges nothing.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/download_sequence.h"
#include "ports/linux/termios_serial_port.h"
#include "sim_process.h"
#include "support/null_ports.h"
#include "support/unattended_host.h"

namespace {

using namespace korvane;

// An image of `records` records of `size` bytes each, the last one marked, every one CR LF.
std::string writeImage(const std::filesystem::path& path, std::size_t size, std::size_t records) {
    std::string image;
    image.reserve((size + 2) * records);
    for (std::size_t r = 0; r < records; ++r) {
        for (std::size_t i = 0; i < size; ++i) {
            image.push_back(static_cast<char>('0' + (r + i) % 64));
        }
        if (r + 1 == records) {
            image[image.size() - 3] = '\x17';
        }
        image += "\r\n";
    }
    std::ofstream(path, std::ios::binary) << image;
    return path.string();
}

double seconds(timespec t) {
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return seconds(t);
}

struct Figures {
    double wall = 0;
    double cpu = 0;
    std::string message;
};

Figures runDownload(const std::string& image, const std::vector<std::string>& simArgs) {
    std::vector<std::string> args{"--image", image};
    args.insert(args.end(), simArgs.begin(), simArgs.end());
    tools::SimProcess sim(KORVANE_PRINTER_SIM, args);
    testing::UnattendedHost host;
    ports::TermiosSerialPort port([&](int) { return sim.devicePath(); });
    testing::NullParallelPorts parallel;
    download::SteadyClock clock;
    download::DownloadSequence sequence(host, port, parallel, clock);
    const double cpu0 = cpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    sequence.run({.firmwarePath = image});
    Figures figures;
    figures.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    figures.cpu = cpuSeconds() - cpu0;
    figures.message = host.messages.empty() ? std::string() : host.messages.back();
    return figures;
}

// The same exchange with plain system calls and no engine: what the machine's
// pseudo-terminals and scheduler cost before any of our code runs.
double plainRoundTrip(const std::string& image, std::size_t size, std::size_t records) {
    tools::SimProcess sim(KORVANE_PRINTER_SIM, {"--image", image});
    const int fd = ::open(sim.devicePath().c_str(), O_RDWR | O_NOCTTY);
    termios settings{};
    ::tcgetattr(fd, &settings);
    ::cfmakeraw(&settings);
    ::tcsetattr(fd, TCSANOW, &settings);
    std::ifstream file(image, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), {});
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t r = 0; r < records; ++r) {
        if (::write(fd, bytes.data() + r * (size + 2), size) != static_cast<ssize_t>(size)) {
            break;
        }
        pollfd pfd{fd, POLLIN, 0};
        char ack = 0;
        if (::poll(&pfd, 1, 5000) != 1 || ::read(fd, &ack, 1) != 1) {
            break;
        }
    }
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::close(fd);
    return wall / static_cast<double>(records) * 1e6;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() /
                     ("korvane-serial-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);

    // The machine is shared, so each figure is the best of a few runs.
    constexpr int kRuns = 3;
    std::printf(
        "Serial download over a pseudo-terminal, printer answering at once, 1 MiB image,\n"
        "best of %d runs\n",
        kRuns);
    std::printf("%-7s %8s %10s %10s %18s %16s  %s\n", "record", "records", "records/s", "us/record",
                "sender CPU us/rec", "plain us/record", "result");
    for (const std::size_t size : {64U, 16U}) {
        const std::size_t records = (std::size_t{1} << 20) / (size + 2);
        const auto image =
            writeImage(dir / ("bench-" + std::to_string(size) + ".DPX"), size, records);
        Figures best;
        double plain = 0;
        for (int run = 0; run < kRuns; ++run) {
            const Figures f = runDownload(image, {});
            if (run == 0 || f.wall < best.wall) {
                best = f;
            }
            const double p = plainRoundTrip(image, size, records);
            plain = run == 0 ? p : std::min(plain, p);
        }
        const auto n = static_cast<double>(records);
        std::printf("%-7s %8zu %10.0f %10.1f %18.1f %16.1f  %s\n",
                    (std::to_string(size) + " B").c_str(), records, n / best.wall,
                    best.wall / n * 1e6, best.cpu / n * 1e6, plain, best.message.c_str());
    }
    std::printf("(plain: the same exchange with bare write/poll/read and no engine or Qt)\n");

    const std::size_t slowRecords = 250;
    const auto slowImage = writeImage(dir / "bench-slow.DPX", 64, slowRecords);
    const Figures slow = runDownload(slowImage, {"--process-ms", "20"});
    std::printf("\nPrinter taking 20 ms per record, %zu records of 64 B:\n", slowRecords);
    std::printf("  wall %.2f s, sender CPU %.1f ms = %.3f %% of one core, %.1f us CPU/record  %s\n",
                slow.wall, slow.cpu * 1e3, slow.cpu / slow.wall * 100, slow.cpu / slowRecords * 1e6,
                slow.message.c_str());

    std::filesystem::remove_all(dir);
    return 0;
}
