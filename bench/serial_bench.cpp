// The serial path's own cost over a pseudo-terminal with korvane-printer-sim as the printer:
// records per second and microseconds per record with a printer that answers at once, and the
// sender's CPU use while a slow printer works. Prints figures, judges nothing.
#include <time.h>
#include <unistd.h>

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "download/download_sequence.h"
#include "ports/qt_serial_port.h"
#include "sim_process.h"

namespace {

using namespace korvane;

class NullHost final : public download::Host {
  public:
    explicit NullHost(std::string path) : path_(std::move(path)) {}
    void setEnabled(download::Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float) override {}
    void setProgressText(std::int32_t, std::int32_t) override {}
    void showMessage(const std::string& text) override { shown = text; }
    void letPendingEventsRun() override {}
    std::string firmwarePath() const override { return path_; }
    bool serialSelected() const override { return true; }
    int portIndex() const override { return 0; }
    std::string speedText() const override { return "38400"; }
    std::string shown;

  private:
    std::string path_;
};

class NoParallelPorts final : public download::ParallelPorts {
  public:
    std::unique_ptr<download::PortIo> claim(std::uint16_t) override {
        throw std::logic_error("serial only");
    }
};

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
    NullHost host(image);
    ports::QtSerialPort port([&](int) { return sim.devicePath(); });
    NoParallelPorts parallel;
    download::SteadyClock clock;
    download::DownloadSequence sequence(host, port, parallel, clock);
    const double cpu0 = cpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    sequence.run();
    Figures figures;
    figures.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    figures.cpu = cpuSeconds() - cpu0;
    figures.message = host.shown;
    return figures;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const auto dir = std::filesystem::temp_directory_path() /
                     ("korvane-serial-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);

    std::printf(
        "Serial download over a pseudo-terminal, printer answering at once (1 MiB image)\n");
    std::printf("%-8s %9s %12s %14s %16s  %s\n", "record", "records", "records/s", "us/record",
                "sender CPU us/rec", "result");
    for (const std::size_t size : {64U, 16U}) {
        const std::size_t records = (std::size_t{1} << 20) / (size + 2);
        const auto image =
            writeImage(dir / ("bench-" + std::to_string(size) + ".DPX"), size, records);
        const Figures f = runDownload(image, {});
        std::printf("%-8s %9zu %12.0f %14.1f %16.1f  %s\n", (std::to_string(size) + " B").c_str(),
                    records, records / f.wall, f.wall / records * 1e6, f.cpu / records * 1e6,
                    f.message.c_str());
    }

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
