// Runs inside the QEMU guest: sends an image through the real parallel-port adapters, either
// with the download engine or with a bare loop of the same port accesses, and times them.
#include <fcntl.h>
#include <grp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <exception>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "download/clock.h"
#include "download/download_sequence.h"
#include "download/host.h"
#include "download/messages.h"
#include "download/port_error.h"
#include "download/serial_port.h"
#include "image/firmware_file.h"
#include "image/record_walk.h"
#include "lpt_records.h"
#include "ports/linux/linux_parallel_ports.h"
#include "support/null_ports.h"
#include "support/unattended_host.h"

namespace {

using namespace korvane;

constexpr int kExitOk = 0;
constexpr int kExitPrinterFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitFileOrPort = 3;
constexpr int kExitWrongAccess = 4;

struct Options {
    std::string mode;
    std::uint16_t base = ports::kLpt1Base;
    int portIndex = 0;
    std::string file;
    std::string expect;  // "ppdev", "direct" or empty
    std::string device;  // lp mode: the printer device to write to
    int repeat = 1;
    int user = -1;  // run as this uid and gid, without root's rights
};

int usage() {
    std::fprintf(stderr,
                 "usage: korvane_lpt_guest send|raw|bench LPT1|LPT2 FILE [--expect ppdev|direct] "
                 "[--repeat N] [--as-user UID]\n"
                 "       korvane_lpt_guest lp DEVICE FILE [--repeat N]\n"
                 "       korvane_lpt_guest hold LPT1|LPT2 READY-FILE --repeat SECONDS\n");
    return kExitUsage;
}

std::optional<Options> parse(int argc, char** argv) {
    if (argc < 4) {
        return std::nullopt;
    }
    Options options;
    options.mode = argv[1];
    const std::string port = argv[2];
    if (options.mode != "lp") {
        if (port == "LPT1") {
            options.base = ports::kLpt1Base;
            options.portIndex = 0;
        } else if (port == "LPT2") {
            options.base = ports::kLpt2Base;
            options.portIndex = 1;
        } else {
            return std::nullopt;
        }
    } else {
        options.device = port;
    }
    options.file = argv[3];
    for (int i = 4; i + 1 < argc; i += 2) {
        const std::string flag = argv[i];
        if (flag == "--expect") {
            options.expect = argv[i + 1];
        } else if (flag == "--as-user") {
            options.user = std::atoi(argv[i + 1]);
        } else if (flag == "--repeat") {
            options.repeat = std::max(1, std::atoi(argv[i + 1]));
        } else {
            return std::nullopt;
        }
    }
    return options;
}

const char* kindName(ports::PortChoice::Kind kind) {
    return kind == ports::PortChoice::Kind::Ppdev ? "ppdev" : "direct";
}

// The mapping must have picked the access the caller meant to test, or the test proves nothing.
bool checkAccess(const ports::LinuxParallelPorts& ports, const Options& options) {
    const auto choice = ports.choiceFor(options.base);
    std::fprintf(stderr, "guest: %s -> %s %s (%s)\n", ports::portLabel(options.base).c_str(),
                 kindName(choice.kind), choice.device.c_str(), choice.reason.c_str());
    if (!options.expect.empty() && options.expect != kindName(choice.kind)) {
        std::printf("guest: expected %s access but the mapping chose %s\n", options.expect.c_str(),
                    kindName(choice.kind));
        return false;
    }
    return true;
}

std::optional<std::vector<std::uint8_t>> recordBytesOf(const std::string& file) {
    const auto loaded = image::loadFirmwareFile(file);
    if (!loaded.ok()) {
        std::printf("%s\n", image::describeLoadFailure(loaded, file).c_str());
        return std::nullopt;
    }
    auto bytes = lpt::parallelRecordBytes(loaded.bytes);
    if (!bytes) {
        std::printf("guest: %s breaks the parallel record rules\n", file.c_str());
    }
    return bytes;
}

struct Send {
    int status;
    std::string message;
};

// Stands still: the transfer's deadlines never pass, and reading it costs next to nothing. Only
// for telling the transfer's own cost from the cost of the guest's clock.
class FrozenClock final : public download::Clock {
  public:
    TimePoint now() override { return TimePoint{}; }
};

// The kernel's tick-grained monotonic time: no timer read, a few milliseconds coarse, which is
// plenty for deadlines of seconds.
class CoarseClock final : public download::Clock {
  public:
    TimePoint now() override {
        timespec time{};
        ::clock_gettime(CLOCK_MONOTONIC_COARSE, &time);
        return TimePoint{std::chrono::seconds(time.tv_sec) +
                         std::chrono::nanoseconds(time.tv_nsec)};
    }
};

Send sendWithEngine(ports::LinuxParallelPorts& ports, const Options& options,
                    download::Clock& clock) {
    testing::UnattendedHost host;
    testing::NullSerialPort serial;
    download::DownloadSequence sequence(host, serial, ports, clock);
    const auto result = sequence.run(
        {.firmwarePath = options.file, .serial = false, .portIndex = options.portIndex});
    // What the user would have read; a download that showed nothing reports its own text.
    const std::string message = host.messages.empty() ? result.message : host.messages.back();
    switch (result.outcome) {
        case download::Outcome::Success:
            return {kExitOk, message};
        case download::Outcome::PrinterFailed:
            return {kExitPrinterFailed, message};
        default:
            return {kExitFileOrPort, message};
    }
}

// The same port accesses the transfer makes, with nothing else: poll until not busy, data,
// strobe on, strobe off.
Send sendBare(ports::LinuxParallelPorts& ports, const Options& options,
              const std::vector<std::uint8_t>& bytes) {
    const auto port = ports.claim(options.base);
    const std::uint16_t data = options.base;
    const std::uint16_t status = options.base + 1;
    const std::uint16_t control = options.base + 2;
    for (const std::uint8_t byte : bytes) {
        while ((port->read(status) & 0x80) == 0) {
        }
        port->write(data, byte);
        port->write(control, 0xCD);
        port->write(control, 0xCC);
    }
    return {kExitOk, download::messages::kSuccess};
}

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void printRate(const std::string& what, std::size_t bytes, double seconds) {
    std::printf("BENCH %-28s %zu bytes in %.3f s: %8.1f KiB/s, %6.2f us/byte\n", what.c_str(),
                bytes, seconds, static_cast<double>(bytes) / 1024.0 / seconds,
                seconds * 1e6 / static_cast<double>(bytes));
}

int bench(ports::LinuxParallelPorts& ports, const Options& options,
          const std::vector<std::uint8_t>& bytes) {
    const char* access = kindName(ports.choiceFor(options.base).kind);
    const std::size_t total = bytes.size() * static_cast<std::size_t>(options.repeat);
    // Take turns, so a slow spell of the emulator does not land on one side only.
    download::SteadyClock steady;
    FrozenClock frozen;
    CoarseClock coarse;
    double bare = 0;
    double engine = 0;
    double engineFrozen = 0;
    double engineCoarse = 0;
    for (int i = 0; i < options.repeat; ++i) {
        auto start = std::chrono::steady_clock::now();
        sendBare(ports, options, bytes);
        bare += secondsSince(start);
        for (auto [clock, sum] :
             {std::pair{static_cast<download::Clock*>(&steady), &engine},
              std::pair{static_cast<download::Clock*>(&frozen), &engineFrozen},
              std::pair{static_cast<download::Clock*>(&coarse), &engineCoarse}}) {
            start = std::chrono::steady_clock::now();
            const auto sent = sendWithEngine(ports, options, *clock);
            *sum += secondsSince(start);
            if (sent.status != kExitOk) {
                std::printf("%s\n", sent.message.c_str());
                return sent.status;
            }
        }
    }
    constexpr int kClockReads = 100000;
    const auto clockStart = std::chrono::steady_clock::now();
    for (int i = 0; i < kClockReads; ++i) {
        static_cast<download::Clock&>(steady).now();
    }
    const double clockRead = secondsSince(clockStart) / kClockReads;
    // What every download does before its first byte: read the file, walk it whole.
    const auto loadStart = std::chrono::steady_clock::now();
    for (int i = 0; i < options.repeat; ++i) {
        const auto loaded = image::loadFirmwareFile(options.file);
        image::summarizeWalk(loaded.bytes, image::Transfer::Parallel);
    }
    const double load = secondsSince(loadStart);
    printRate(std::string(access) + " bare loop", total, bare);
    printRate(std::string(access) + " transfer", total, engine);
    printRate(std::string(access) + " transfer, coarse clock", total, engineCoarse);
    printRate(std::string(access) + " transfer, frozen clock", total, engineFrozen);
    std::printf("BENCH %-28s %+.1f %% (coarse clock %+.1f %%, frozen clock %+.1f %%)\n",
                (std::string(access) + " transfer vs bare").c_str(), (engine / bare - 1.0) * 100.0,
                (engineCoarse / bare - 1.0) * 100.0, (engineFrozen / bare - 1.0) * 100.0);
    printRate(std::string(access) + " load and check", total, load);
    std::printf("BENCH %-28s %+.1f %%\n",
                (std::string(access) + " transfer less load vs bare").c_str(),
                ((engine - load) / bare - 1.0) * 100.0);
    std::printf("BENCH %-28s %.3f us per read\n", "guest clock", clockRead * 1e6);
    return kExitOk;
}

// The kernel's printer driver writing the same bytes, for comparison.
int benchLp(const Options& options, const std::vector<std::uint8_t>& bytes) {
    const std::string& device = options.device;
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < options.repeat; ++i) {
        const int fd = ::open(device.c_str(), O_WRONLY);
        if (fd < 0) {
            std::printf("guest: cannot open %s: %s\n", device.c_str(), std::strerror(errno));
            return kExitFileOrPort;
        }
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                std::printf("guest: writing %s failed: %s\n", device.c_str(), std::strerror(errno));
                ::close(fd);
                return kExitFileOrPort;
            }
            done += static_cast<std::size_t>(n);
        }
        ::close(fd);
    }
    printRate("lp driver", bytes.size() * static_cast<std::size_t>(options.repeat),
              secondsSince(start));
    return kExitOk;
}

bool dropRoot(int user) {
    const auto id = static_cast<uid_t>(user);
    if (::setgroups(0, nullptr) != 0 || ::setgid(id) != 0 || ::setuid(id) != 0) {
        std::printf("guest: cannot become user %d: %s\n", user, std::strerror(errno));
        return false;
    }
    return true;
}

// Holds the port like another program would, for repeat seconds; touches FILE once it has it.
int hold(ports::LinuxParallelPorts& ports, const Options& options) {
    const auto port = ports.claim(options.base);
    std::ofstream(options.file) << "held\n";
    ::sleep(static_cast<unsigned>(options.repeat));
    return kExitOk;
}

int run(const Options& options) {
    if (options.user >= 0 && !dropRoot(options.user)) {
        return kExitUsage;
    }
    if (options.mode == "hold") {
        ports::LinuxParallelPorts ports;
        return hold(ports, options);
    }
    ports::LinuxParallelPorts ports;
    if (options.mode == "send") {
        // The engine reads and checks the file itself: its message is the one under test.
        if (!checkAccess(ports, options)) {
            return kExitWrongAccess;
        }
        download::SteadyClock clock;
        const Send sent = sendWithEngine(ports, options, clock);
        std::printf("%s\n", sent.message.c_str());
        return sent.status;
    }
    const auto bytes = recordBytesOf(options.file);
    if (!bytes) {
        return kExitFileOrPort;
    }
    if (options.mode == "lp") {
        return benchLp(options, *bytes);
    }
    if (!checkAccess(ports, options)) {
        return kExitWrongAccess;
    }
    if (options.mode == "bench") {
        return bench(ports, options, *bytes);
    }
    const Send sent = sendBare(ports, options, *bytes);
    std::printf("%s\n", sent.message.c_str());
    return sent.status;
}

}  // namespace

int main(int argc, char** argv) {
    const auto options = parse(argc, argv);
    if (!options ||
        (options->mode != "send" && options->mode != "raw" && options->mode != "bench" &&
         options->mode != "lp" && options->mode != "hold")) {
        return usage();
    }
    try {
        return run(*options);
    } catch (const download::PortError& error) {
        std::printf("%s\n", error.what());
        return kExitFileOrPort;
    } catch (const std::exception& error) {
        std::printf("guest: %s\n", error.what());
        return kExitFileOrPort;
    }
}
