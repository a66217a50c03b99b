#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "download/port_error.h"
#include "download/port_io.h"
#include "support/fake_clock.h"

namespace korvane::testing {

using namespace std::chrono_literals;

// The status lines of a printer on a parallel port, as a function of fake time. Each busy
// period starts at the first status read after a strobe (or at the first read of all) and lasts
// busyFor; within it the fault line is low for faultFor. Every register access takes
// accessTime, so polling moves the clock forward as real polling would.
struct PrinterModel {
    std::chrono::steady_clock::duration busyFor = 0s;  // 1000s: busy for good
    std::chrono::steady_clock::duration faultFor = 0s;
    bool faultWhenReady = false;  // not busy, but reporting a fault
    std::chrono::steady_clock::duration accessTime = 1ms;
    int readyBytes = 0;     // the first bytes find the printer ready at once
    int failAtAccess = -1;  // this register access throws PortError, as a vanished port would
    // When set, it alone gives the status register: read number (from 0) and fake seconds.
    std::function<std::uint8_t(int read, double seconds)> status = {};
};

// Status register values a script can use; Select high, the rest of the lines low.
inline constexpr std::uint8_t kBusy = 0x18;         // busy, no fault
inline constexpr std::uint8_t kBusyFaulted = 0x10;  // busy, fault line low
inline constexpr std::uint8_t kReady = 0x98;        // not busy, no fault

// Status bits other than Busy and nFault: Select is high, the rest low.
inline constexpr std::uint8_t kOtherStatusLines = 0x10;

class SimulatedParallelPrinter : public download::PortIo {
  public:
    SimulatedParallelPrinter(FakeClock& clock, PrinterModel model, std::vector<std::string>* log)
        : clock_(clock), model_(model), log_(log) {}

    std::vector<std::uint8_t> received;    // data register values latched by a strobe
    std::vector<std::uint16_t> addresses;  // every address touched, in order
    std::uint8_t lastStatus = 0;           // what the latest status read returned

    std::uint8_t read(std::uint16_t address) override {
        access(address, "R" + hexAddress(address));
        if (model_.status) {
            return lastStatus = model_.status(reads_++, clock_.seconds());
        }
        if (!busyStart_) {
            busyStart_ = clock_.now();
        }
        const auto since = clock_.now() - *busyStart_;
        const bool busy =
            static_cast<int>(received.size()) >= model_.readyBytes && since < model_.busyFor;
        const bool fault = busy ? since < model_.faultFor : model_.faultWhenReady;
        return lastStatus = static_cast<std::uint8_t>(kOtherStatusLines | (busy ? 0 : 0x80) |
                                                      (fault ? 0 : 0x08));
    }

    void write(std::uint16_t address, std::uint8_t value) override {
        access(address, "W" + hexAddress(address) + "=" + hexByte(value));
        if ((address & 3) == 0) {
            data_ = value;
        } else if (value == 0xCD) {
            received.push_back(data_);
            busyStart_.reset();
        }
    }

  private:
    void access(std::uint16_t address, std::string entry) {
        if (accesses_++ == model_.failAtAccess) {
            throw download::PortError("Lost the parallel port /dev/fake");
        }
        clock_.advance(model_.accessTime);
        addresses.push_back(address);
        if (log_ != nullptr) {
            log_->push_back(std::move(entry));
        }
    }
    static std::string hexAddress(unsigned address) {
        char text[8];
        std::snprintf(text, sizeof text, "%X", address);
        return text;
    }
    static std::string hexByte(unsigned value) {
        char text[4];
        std::snprintf(text, sizeof text, "%02X", value);
        return text;
    }

    FakeClock& clock_;
    PrinterModel model_;
    std::vector<std::string>* log_;
    std::uint8_t data_ = 0;
    int accesses_ = 0;
    int reads_ = 0;
    std::optional<download::Clock::TimePoint> busyStart_;
};

// Hands out one simulated printer and remembers which base address was claimed.
class SimulatedParallelPorts final : public download::ParallelPorts {
  public:
    SimulatedParallelPorts(FakeClock& clock, PrinterModel model, std::vector<std::string>* log)
        : clock_(clock), model_(model), log_(log) {}

    std::string failClaim;  // when set, claim throws PortError with this text
    std::uint16_t claimedBase = 0;
    SimulatedParallelPrinter* printer = nullptr;  // valid while the claim is held
    bool released = false;

    std::unique_ptr<download::PortIo> claim(std::uint16_t baseAddress) override {
        if (!failClaim.empty()) {
            throw download::PortError(failClaim);
        }
        claimedBase = baseAddress;
        auto port = std::make_unique<Claimed>(*this, clock_, model_, log_);
        printer = port.get();
        return port;
    }

    std::vector<std::uint8_t> lastReceived;  // what the printer got, kept after release
    std::uint8_t lastStatus = 0;             // its final status read, kept after release

  private:
    struct Claimed final : SimulatedParallelPrinter {
        Claimed(SimulatedParallelPorts& owner, FakeClock& clock, PrinterModel model,
                std::vector<std::string>* log)
            : SimulatedParallelPrinter(clock, model, log), owner_(owner) {}
        ~Claimed() override {
            owner_.lastReceived = received;
            owner_.lastStatus = lastStatus;
            owner_.released = true;
            owner_.printer = nullptr;
        }
        SimulatedParallelPorts& owner_;
    };

    FakeClock& clock_;
    PrinterModel model_;
    std::vector<std::string>* log_;
};

}  // namespace korvane::testing
