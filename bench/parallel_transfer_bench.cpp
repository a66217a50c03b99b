// The parallel transfer's own cost per byte: the whole download (load, walk, host calls) through
// a port that is always ready and does nothing, less a bare loop of the same port calls and
// less the file load. Prints figures only.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "download/clock.h"
#include "download/download_sequence.h"
#include "download/host.h"
#include "download/messages.h"
#include "download/port_error.h"
#include "download/port_io.h"
#include "download/serial_port.h"
#include "image/firmware_file.h"
#include "image/record_walk.h"
#include "support/null_ports.h"
#include "support/unattended_host.h"

namespace {

using namespace korvane;
using Seconds = std::chrono::duration<double>;

// Not busy, no fault; writes go nowhere but must not be optimised away.
class ReadyPort : public download::PortIo {
  public:
    std::uint8_t read(std::uint16_t) override { return 0x80 | 0x08; }
    void write(std::uint16_t address, std::uint8_t value) override { sink_ = address ^ value; }

  private:
    volatile unsigned sink_ = 0;
};

class ReadyPorts final : public download::ParallelPorts {
  public:
    std::unique_ptr<download::PortIo> claim(std::uint16_t) override {
        return std::make_unique<ReadyPort>();
    }
};

// Records of 64 bytes, as a typical firmware image has, the last one ending with the marker.
std::vector<std::uint8_t> makeImage(std::size_t bytes) {
    std::vector<std::uint8_t> image;
    image.reserve(bytes + bytes / 32 + 8);
    std::uint32_t value = 12345;
    while (image.size() < bytes) {
        for (int i = 0; i < 64; ++i) {
            value = value * 1103515245u + 12345u;
            auto byte = static_cast<std::uint8_t>(value >> 24);
            image.push_back(byte == 0x0D || byte == 0x17 ? 0x20 : byte);
        }
        image.push_back(0x0D);
        image.push_back(0x0A);
    }
    for (std::uint8_t byte : {0x41, 0x17, 0x42, 0x43, 0x0D, 0x0A}) {
        image.push_back(byte);
    }
    return image;
}

template <typename F>
double best(int rounds, F&& f) {
    double fastest = 1e9;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        f();
        fastest = std::min(fastest, Seconds(std::chrono::steady_clock::now() - start).count());
    }
    return fastest;
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t size = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 16u << 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    const auto path = std::filesystem::temp_directory_path() /
                      ("korvane-parallel-bench-" + std::to_string(::getpid()) + ".DPX");
    const auto image = makeImage(size);
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(image.data()), static_cast<long>(image.size()));
    const auto sent =
        static_cast<std::size_t>(image::summarizeWalk(image, image::Transfer::Parallel).bytesSent);

    testing::UnattendedHost host;
    testing::NullSerialPort serial;
    ReadyPorts ports;
    download::SteadyClock clock;
    download::DownloadSequence sequence(host, serial, ports, clock);
    bool succeeded = true;
    const double whole = best(rounds, [&] {
        succeeded = sequence.run({.firmwarePath = path.string(), .serial = false}).outcome ==
                        download::Outcome::Success &&
                    succeeded;
    });
    const double load = best(rounds, [&] { image::loadFirmwareFile(path); });
    // The same four port calls per byte and nothing else, through the same virtual interface.
    const double bare = best(rounds, [&] {
        const auto claimed = ports.claim(download::kLpt1Base);
        download::PortIo* port = claimed.get();
        asm volatile("" : "+r"(port));  // keep the calls virtual, as the transfer makes them
        for (std::size_t i = 0; i < sent; ++i) {
            if ((port->read(0x379) & 0x80) != 0) {
                port->write(download::kLpt1Base, static_cast<std::uint8_t>(i));
                port->write(0x37A, 0xCD);
                port->write(0x37A, 0xCC);
            }
        }
    });
    std::filesystem::remove(path);

    const auto perByte = [&](double seconds) { return seconds * 1e6 / static_cast<double>(sent); };
    std::printf(
        "parallel transfer, always-ready port, null host: %zu bytes sent of %zu, best of %d\n",
        sent, image.size(), rounds);
    if (!succeeded) {
        std::printf("  the download did not succeed: the figures below mean nothing\n");
    }
    std::printf("  whole download          %8.4f us/byte  (%.1f MB/s)\n", perByte(whole),
                static_cast<double>(sent) / whole / 1e6);
    std::printf("  file load               %8.4f us/byte\n", perByte(load));
    std::printf("  bare port calls         %8.4f us/byte\n", perByte(bare));
    std::printf("  transfer's own cost     %8.4f us/byte  (target under 0.1)\n",
                perByte(whole - load - bare));
    return succeeded ? 0 : 1;
}
