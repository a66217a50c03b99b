// Drives the serial and the parallel transfer against a printer scripted by the input, and
// checks each run against a model written here from the transfer rules: what was written and
// in which order, how and when the download ended, the progress shown, where the port was
// closed.
//
// Input: byte 0 picks the transfer (bit 0), the port entry (bits 1-2) and the speed (bits 3-4);
// byte 1 the number of records (1..4); then each record's length and bytes; the rest is the
// printer's script. Serial: per read a delay and up to three bytes (0x06, 0x15 or noise), and per
// write the time it takes. Parallel: per register access a status value and the time it takes.
// A script that runs out leaves the serial printer silent and the parallel printer ready.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "download/messages.h"
#include "download/parallel_transfer.h"
#include "download/progress.h"
#include "download/serial_transfer.h"
#include "support/fake_clock.h"

namespace {

using namespace std::chrono_literals;
using korvane::download::Outcome;
using korvane::testing::FakeClock;
using Bytes = std::vector<std::uint8_t>;
using Duration = korvane::download::Clock::Duration;
namespace messages = korvane::download::messages;

void require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "transfer_fuzzer: %s\n", what);
        std::abort();
    }
}

// Hands out the input byte by byte; zero once it is spent.
class Input {
  public:
    explicit Input(std::span<const std::uint8_t> data) : data_(data) {}
    bool empty() const { return at_ >= data_.size(); }
    std::uint8_t next() { return empty() ? 0 : data_[at_++]; }

  private:
    std::span<const std::uint8_t> data_;
    std::size_t at_ = 0;
};

// Everything the host and the ports saw, in order.
struct Trace {
    std::vector<std::string> events;  // "close", "message", "write", "claim", "release"
    float bar = -1;
    std::string text;
    std::vector<Outcome> outcomes;
    std::vector<std::string> messages;
};

class TraceHost final : public korvane::download::Host {
  public:
    explicit TraceHost(Trace& trace) : trace_(trace) {}
    void setEnabled(korvane::download::Control, bool) override {}
    void setProgressVisible(bool) override {}
    void setProgressRange(float, float) override {}
    void setProgressValue(float value) override { trace_.bar = value; }
    void setProgressText(std::int32_t position, std::int32_t total) override {
        trace_.text = korvane::download::formatProgressText(position, total);
    }
    void showMessage(Outcome outcome, const std::string& text) override {
        trace_.events.push_back("message");
        trace_.outcomes.push_back(outcome);
        trace_.messages.push_back(text);
    }
    void letPendingEventsRun() override {}

  private:
    Trace& trace_;
};

// The image: records of bytes that are neither CR nor the marker, each closed by CR LF; the
// last one carries the marker three bytes before its CR, where both transfers look for it.
struct Image {
    Bytes bytes;
    std::vector<Bytes> records;  // the bytes each record sends, marker included
};

Image makeImage(Input& in) {
    Image image;
    const int count = 1 + in.next() % 4;
    for (int r = 0; r < count; ++r) {
        const bool last = r == count - 1;
        // At least three bytes first (a CR at index 1 or 2 breaks the parallel rules) and last.
        const int minimum = r == 0 || last ? 3 : 1;
        const int length = minimum + in.next() % 6;
        Bytes record;
        for (int i = 0; i < length; ++i) {
            std::uint8_t b = in.next();
            if (b == 0x0D || b == 0x17) {
                b = 0x20;
            }
            record.push_back(b);
        }
        if (last) {
            record[record.size() - 3] = 0x17;
        }
        image.bytes.insert(image.bytes.end(), record.begin(), record.end());
        image.bytes.push_back(0x0D);
        image.bytes.push_back(0x0A);
        image.records.push_back(record);
    }
    return image;
}

// --- serial -----------------------------------------------------------------------------

struct SerialRead {
    Duration delay;  // how long the read blocks before it returns the bytes
    Bytes bytes;     // empty: the read waits out the deadline
};

struct SerialScript {
    std::vector<Duration> writeTakes;
    std::vector<SerialRead> reads;
};

// Delays cluster around the 5 s deadline so that replies land before, at and after it.
Duration serialDelay(std::uint8_t b) {
    switch (b & 3) {
        case 0:
            return std::chrono::milliseconds(b * 4);
        case 1:
            return 5s - std::chrono::milliseconds(b >> 3);
        case 2:
            return 5s + std::chrono::milliseconds(b >> 3);
        default:
            return 5s;
    }
}

SerialScript makeSerialScript(Input& in) {
    SerialScript script;
    while (!in.empty()) {
        const std::uint8_t kind = in.next();
        if ((kind & 7) == 0) {
            script.writeTakes.push_back(std::chrono::milliseconds(in.next() * 20));
            continue;
        }
        SerialRead read{serialDelay(in.next()), {}};
        const int count = (kind >> 3) % 4;  // 0: a read that finds nothing
        for (int i = 0; i < count; ++i) {
            const std::uint8_t b = in.next();
            read.bytes.push_back(b < 160 ? 0x06 : b < 220 ? 0x15 : b);
        }
        script.reads.push_back(std::move(read));
    }
    return script;
}

// Each read returns its scripted bytes after its delay; one with no bytes, or any read once
// the script is spent, returns nothing just after the deadline. A write takes its scripted time.
class ScriptedSerial final : public korvane::download::SerialPort {
  public:
    ScriptedSerial(FakeClock& clock, const SerialScript& script, Trace& trace)
        : clock_(clock), script_(script), trace_(trace) {}

    bool isOpen() const override { return open_; }
    void close() noexcept override {
        if (open_) {
            trace_.events.push_back("close");
        }
        open_ = false;
    }
    void setPortNumber(int number) override { number_ = number; }
    void setSettings(const std::string& settings) override { settings_ = settings; }
    void open() override { open_ = true; }
    void write(std::span<const std::uint8_t> bytes) override {
        require(open_, "serial: write on a closed port");
        if (writes_ < script_.writeTakes.size()) {
            clock_.advance(script_.writeTakes[writes_]);
        }
        ++writes_;
        written.emplace_back(bytes.begin(), bytes.end());
        trace_.events.push_back("write");
    }
    Bytes readAll(korvane::download::Clock::TimePoint deadline) override {
        require(open_, "serial: read on a closed port");
        if (reads_ < script_.reads.size() && !script_.reads[reads_].bytes.empty()) {
            const SerialRead& read = script_.reads[reads_++];
            clock_.advance(read.delay);
            return read.bytes;
        }
        ++reads_;
        clock_.setTo(std::max(clock_.now(), deadline + 1ns));
        return {};
    }

    std::vector<Bytes> written;
    int number_ = 0;
    std::string settings_;

  private:
    FakeClock& clock_;
    const SerialScript& script_;
    Trace& trace_;
    bool open_ = false;
    std::size_t writes_ = 0;
    std::size_t reads_ = 0;
};

struct Expected {
    std::vector<Bytes> written;
    std::vector<std::string> events;
    Outcome outcome = Outcome::Success;
    std::string message;
    float bar = -1;
    std::string text;
    Duration end{};
};

// A record is acknowledged by a read of exactly one 0x06, judged before the clock; the wait
// fails once a read returns later than 5 s after the write returned.
Expected serialModel(const Image& image, const SerialScript& script) {
    Expected e;
    const auto n = static_cast<std::int64_t>(image.bytes.size());
    Duration now{};
    std::size_t read = 0;
    std::int64_t position = 0;
    for (std::size_t r = 0; r < image.records.size(); ++r) {
        const Bytes& record = image.records[r];
        e.written.push_back(record);
        e.events.push_back("write");
        if (r < script.writeTakes.size()) {
            now += script.writeTakes[r];
        }
        const Duration deadline = now + 5s;
        for (;;) {
            Bytes reply;
            if (read < script.reads.size() && !script.reads[read].bytes.empty()) {
                now += script.reads[read].delay;
                reply = script.reads[read].bytes;
            } else {
                now = std::max(now, deadline + 1ns);
            }
            ++read;
            if (reply == Bytes{0x06}) {
                break;
            }
            if (now > deadline) {
                e.events.push_back("close");
                e.events.push_back("message");
                e.outcome = Outcome::PrinterFailed;
                e.message = messages::kSerialTimeout;
                e.end = now;
                return e;
            }
        }
        position += static_cast<std::int64_t>(record.size()) + 2;
        e.bar = static_cast<float>(position);
        e.text = std::to_string(position) + "/" + std::to_string(n);
    }
    e.events.push_back("message");
    e.events.push_back("close");
    e.message = messages::kSuccess;
    e.end = now;
    return e;
}

// --- parallel ---------------------------------------------------------------------------

struct Access {
    std::uint8_t status;  // what a read of the status register returns
    Duration takes;
};

std::vector<Access> makeParallelScript(Input& in) {
    std::vector<Access> script;
    while (!in.empty()) {
        const std::uint8_t status = in.next();
        const std::uint8_t t = in.next();
        // Mostly short accesses, now and then one of seconds, so that both limits are reached.
        const Duration takes = (t & 0xC0) == 0xC0 ? std::chrono::milliseconds((t & 0x3F) * 100)
                                                  : std::chrono::microseconds(t * 10);
        script.push_back({status, takes});
    }
    return script;
}

class ScriptedParallelPort final : public korvane::download::PortIo {
  public:
    ScriptedParallelPort(FakeClock& clock, const std::vector<Access>& script, std::uint16_t base,
                         Trace& trace, Bytes& received)
        : clock_(clock), script_(script), base_(base), trace_(trace), received_(received) {}
    ~ScriptedParallelPort() override { trace_.events.push_back("release"); }

    std::uint8_t read(std::uint16_t address) override {
        require(address == base_ + 1, "parallel: a read of a register other than status");
        return access().status;
    }
    void write(std::uint16_t address, std::uint8_t value) override {
        access();
        if (address == base_) {
            require(expect_ == 0, "parallel: a data write inside a strobe");
            data_ = value;
            expect_ = 1;
        } else {
            require(address == base_ + 2, "parallel: a write to the status register");
            require((expect_ == 1 && value == 0xCD) || (expect_ == 2 && value == 0xCC),
                    "parallel: control writes other than CD then CC after the data");
            if (value == 0xCD) {
                received_.push_back(data_);
            }
            expect_ = expect_ == 1 ? 2 : 0;
        }
    }

    std::size_t accesses = 0;

  private:
    Access access() {
        const Access a = accesses < script_.size() ? script_[accesses] : Access{0x98, 1ms};
        ++accesses;
        clock_.advance(a.takes);
        return a;
    }

    FakeClock& clock_;
    const std::vector<Access>& script_;
    std::uint16_t base_;
    Trace& trace_;
    Bytes& received_;
    std::uint8_t data_ = 0;
    int expect_ = 0;
};

class ScriptedParallelPorts final : public korvane::download::ParallelPorts {
  public:
    ScriptedParallelPorts(FakeClock& clock, const std::vector<Access>& script, Trace& trace)
        : clock_(clock), script_(script), trace_(trace) {}
    std::unique_ptr<korvane::download::PortIo> claim(std::uint16_t base) override {
        claimed = base;
        trace_.events.push_back("claim");
        return std::make_unique<ScriptedParallelPort>(clock_, script_, base, trace_, received);
    }
    std::uint16_t claimed = 0;
    Bytes received;

  private:
    FakeClock& clock_;
    const std::vector<Access>& script_;
    Trace& trace_;
};

struct ParallelExpected {
    Expected common;
    Bytes received;
};

// Per byte: poll (a status read; if busy, a second read judges the fault line; a fault waits up
// to 3 s, reading only the fault line) until not busy, within 10 s counted from the clock read
// at the second busy poll or the first fault. A failure shows a fresh status read.
ParallelExpected parallelModel(const Image& image, const std::vector<Access>& script) {
    ParallelExpected out;
    Expected& e = out.common;
    e.events.push_back("claim");
    const auto n = static_cast<std::int64_t>(image.bytes.size());
    Duration now{};
    std::size_t at = 0;
    auto access = [&] {
        const Access a = at < script.size() ? script[at] : Access{0x98, 1ms};
        ++at;
        now += a.takes;
        return a.status;
    };
    auto fail = [&] {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%X", access());
        e.events.push_back("message");
        e.events.push_back("release");
        e.outcome = Outcome::PrinterFailed;
        e.message = std::string(messages::kPrinterPortErrorPrefix) + digits + ")";
        e.end = now;
        return out;
    };
    std::int64_t position = 0;
    for (const Bytes& record : image.records) {
        for (std::size_t i = 0; i < record.size(); ++i) {
            bool deadlineSet = false;
            Duration byteDeadline{};
            for (int poll = 0;; ++poll) {
                if (access() & 0x80) {
                    break;
                }
                const bool fault = (access() & 0x08) == 0;
                if (!fault && poll == 0) {
                    continue;
                }
                if (!deadlineSet) {
                    byteDeadline = now + 10s;
                    deadlineSet = true;
                }
                if (fault) {
                    const Duration clearBy = now + 3s;
                    bool cleared = false;
                    while (!cleared) {
                        cleared = (access() & 0x08) != 0;
                        if (!cleared && now > clearBy) {
                            return fail();
                        }
                    }
                }
                if (now > byteDeadline) {
                    return fail();
                }
            }
            access();
            access();
            access();
            out.received.push_back(record[i]);
            ++position;
            if (i + 1 == record.size()) {
                position += 2;
                e.bar = static_cast<float>(position);
            }
            e.text = std::to_string(position) + "/" + std::to_string(n);
        }
    }
    e.events.push_back("message");
    e.events.push_back("release");
    e.message = messages::kSuccess;
    e.end = now;
    return out;
}

void compare(const Expected& e, const Trace& trace, Outcome outcome, const std::string& message,
             Duration end) {
    require(outcome == e.outcome, "the outcome differs from the model");
    require(message == e.message, "the message differs from the model");
    require(trace.messages == std::vector{e.message}, "not exactly the one closing message");
    require(trace.outcomes == std::vector{e.outcome}, "the message went out with another outcome");
    require(trace.events == e.events, "writes, message and closing in another order");
    require(trace.bar == e.bar, "the bar differs from the model");
    require(trace.text == e.text, "the text differs from the model");
    require(end == e.end, "the download ended at another time than the model");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in({data, size});
    const std::uint8_t setup = in.next();
    const bool serial = (setup & 1) != 0;
    const int portIndex = ((setup >> 1) & 3) == 3 ? -1 : (setup >> 1) & 3;
    const char* const speeds[] = {"4800", "9600", "19200", "38400"};
    const std::string speed = speeds[(setup >> 3) & 3];
    const Image image = makeImage(in);

    FakeClock clock;
    Trace trace;
    TraceHost host(trace);
    const korvane::download::UserChoices choices{"", serial, portIndex, speed};
    const auto total = static_cast<std::int32_t>(image.bytes.size());
    korvane::download::Progress progress(host, total);
    const korvane::download::TransferContext context{host, choices, clock, image.bytes, progress};
    const Duration start = clock.current.time_since_epoch();

    if (serial) {
        const SerialScript script = makeSerialScript(in);
        ScriptedSerial port(clock, script, trace);
        const auto result = korvane::download::runSerialTransfer(port, context);
        const Expected e = serialModel(image, script);
        compare(e, trace, result.outcome, result.message, clock.current.time_since_epoch() - start);
        require(port.written == e.written, "serial: other records written than the model's");
        require(port.number_ == portIndex + 1, "serial: port number is not the entry + 1");
        require(port.settings_ == speed + ",n,8,1", "serial: other line settings");
        require(!port.isOpen(), "serial: the port is left open");
    } else {
        const std::vector<Access> script = makeParallelScript(in);
        ScriptedParallelPorts ports(clock, script, trace);
        const auto result = korvane::download::runParallelTransfer(ports, context);
        const ParallelExpected e = parallelModel(image, script);
        compare(e.common, trace, result.outcome, result.message,
                clock.current.time_since_epoch() - start);
        require(ports.received == e.received, "parallel: other bytes received than the model's");
        require(ports.claimed == (portIndex == 0 ? 0x378 : 0x278), "parallel: wrong port claimed");
    }
    return 0;
}
