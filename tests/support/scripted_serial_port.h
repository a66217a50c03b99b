#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "download/port_error.h"
#include "download/serial_port.h"
#include "support/fake_clock.h"

namespace korvane::testing {

using Bytes = std::vector<std::uint8_t>;
using namespace std::chrono_literals;

// A serial port with a scripted printer behind it. After each write the printer's replies are
// queued at fake times; readAll hands over everything that has arrived, moving the fake clock
// forward to the next arrival or past the deadline, as a blocking read would.
class ScriptedSerialPort final : public download::SerialPort {
  public:
    struct Reply {
        std::chrono::steady_clock::duration after;  // from the end of the write
        Bytes bytes;
    };
    using Printer = std::function<std::vector<Reply>(int writeIndex, const Bytes& record)>;

    static std::vector<Reply> acknowledgeAtOnce(int, const Bytes&) { return {{0ms, {0x06}}}; }

    ScriptedSerialPort(FakeClock& clock, std::vector<std::string>& log)
        : clock_(clock), log_(log) {}

    Printer printer = acknowledgeAtOnce;
    bool open_ = false;
    std::string failOn;    // "open", "settings" or "write": that call throws
    int failOnWrite = -1;  // with failOn == "write": the write index that fails (-1: every one)
    int failOnReadAfterWrite = -1;  // readAll throws after this write, as a vanished adapter
    std::chrono::steady_clock::duration writeTakes{};  // fake time each write takes to return
    // A read may wake this long after its deadline and hand over what arrived meanwhile, as a
    // blocking read on a busy machine does.
    std::chrono::steady_clock::duration readOverrun{};
    std::vector<Bytes> writes;
    std::vector<double> writeTimes;  // fake seconds at the end of each write

    // Bytes that are waiting before the transfer begins.
    void queueNow(Bytes bytes) { arrivals_.push_back({clock_.now(), std::move(bytes)}); }

    bool isOpen() const override {
        log_.push_back("isOpen");
        return open_;
    }
    void close() noexcept override {
        if (open_) {
            log_.push_back("close");
        }
        open_ = false;
    }
    void setPortNumber(int number) override { log_.push_back("port " + std::to_string(number)); }
    void setSettings(const std::string& settings) override {
        log_.push_back("settings " + settings);
        failIf("settings", "Settings refused by /dev/fake");
    }
    void open() override {
        log_.push_back("open");
        failIf("open", "Cannot open /dev/fake: no such device");
        open_ = true;
    }
    void write(std::span<const std::uint8_t> bytes) override {
        const Bytes record(bytes.begin(), bytes.end());
        log_.push_back("write " + hex(record));
        const int index = static_cast<int>(writes.size());
        if (failOn == "write" && (failOnWrite < 0 || failOnWrite == index)) {
            throw download::PortError("Write failed on /dev/fake");
        }
        clock_.advance(writeTakes);
        writes.push_back(record);
        writeTimes.push_back(clock_.seconds());
        for (auto& reply : printer(index, record)) {
            arrivals_.push_back({clock_.now() + reply.after, std::move(reply.bytes)});
        }
    }
    Bytes readAll(download::Clock::TimePoint deadline) override {
        if (failOnReadAfterWrite >= 0 && static_cast<int>(writes.size()) > failOnReadAfterWrite) {
            throw download::PortError("/dev/fake has gone away");
        }
        const auto latest = deadline + readOverrun;
        auto earliest = latest + 1ns;
        for (const auto& arrival : arrivals_) {
            earliest = std::min(earliest, arrival.at);
        }
        if (earliest > latest && earliest > clock_.now()) {
            clock_.setTo(std::max(deadline + 1ns, clock_.now()));
            return {};
        }
        clock_.setTo(std::max(earliest, clock_.now()));
        Bytes waiting;
        std::erase_if(arrivals_, [&](const Arrival& arrival) {
            if (arrival.at > clock_.now()) {
                return false;
            }
            waiting.insert(waiting.end(), arrival.bytes.begin(), arrival.bytes.end());
            return true;
        });
        return waiting;
    }

    static std::string hex(const Bytes& bytes) {
        std::string out;
        for (const auto b : bytes) {
            static const char digits[] = "0123456789ABCDEF";
            out += digits[b >> 4];
            out += digits[b & 15];
        }
        return out;
    }

  private:
    struct Arrival {
        download::Clock::TimePoint at;
        Bytes bytes;
    };

    void failIf(const std::string& call, const std::string& message) {
        if (failOn == call) {
            throw download::PortError(message);
        }
    }

    FakeClock& clock_;
    std::vector<std::string>& log_;
    std::vector<Arrival> arrivals_;
};

}  // namespace korvane::testing
