#include "cli/recording_ports.h"

#include <cstdio>

#include "cli/trace_log.h"

namespace korvane::cli {
namespace {

std::string milliseconds(double ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f ms", ms);
    return text;
}

double msBetween(std::chrono::steady_clock::time_point from,
                 std::chrono::steady_clock::time_point to) {
    return std::chrono::duration<double, std::milli>(to - from).count();
}

}  // namespace

RecordingSerialPort::RecordingSerialPort(download::SerialPort& port,
                                         std::span<const std::uint8_t> image, SerialFacts facts,
                                         TraceLine trace)
    : port_(port),
      walker_(image, image::Transfer::Serial),
      facts_(std::move(facts)),
      trace_(std::move(trace)) {
    facts_.records = image::summarizeWalk(image, image::Transfer::Serial).records;
}

void RecordingSerialPort::close() noexcept {
    traceRecord(false);
    port_.close();
}

void RecordingSerialPort::open() {
    port_.open();
    if (trace_ && describeOpen_) {
        trace_(facts_.label + " open at " + facts_.baud + ",n,8,1; " + describeOpen_());
    }
}

void RecordingSerialPort::write(std::span<const std::uint8_t> bytes) {
    traceRecord(false);
    const auto record = walker_.next();
    ++facts_.written;
    facts_.offset = record ? record->start : facts_.offset + facts_.length;
    facts_.length = static_cast<std::int64_t>(bytes.size());
    facts_.replies.clear();
    replyMs_.clear();
    const auto start = Clock::now();
    port_.write(bytes);
    written_ = Clock::now();
    writeMs_ = msBetween(start, written_);
    facts_.bytesSent += facts_.length;
    traced_ = false;
}

std::vector<std::uint8_t> RecordingSerialPort::readAll(download::Clock::TimePoint deadline) {
    auto reply = port_.readAll(deadline);
    if (!reply.empty()) {
        facts_.replies.emplace_back(reply.begin(), reply.end());
        replyMs_.push_back(msBetween(written_, Clock::now()));
        if (reply.size() == 1 && reply.front() == 0x06) {
            traceRecord(true);
        }
    }
    return reply;
}

void RecordingSerialPort::traceRecord(bool acknowledged) noexcept {
    if (traced_ || !trace_) {
        traced_ = true;
        return;
    }
    traced_ = true;
    try {
        std::string replies;
        for (std::size_t i = 0; i < facts_.replies.size(); ++i) {
            replies += (i == 0 ? "" : ", ") + hexBytes(facts_.replies[i]) + " at " +
                       milliseconds(replyMs_[i]);
        }
        trace_(facts_.label + " record " + std::to_string(facts_.written) + "/" +
               std::to_string(facts_.records) + " offset " + std::to_string(facts_.offset) +
               " length " + std::to_string(facts_.length) + " write " + milliseconds(writeMs_) +
               " reply " + (replies.empty() ? "none" : replies) +
               (acknowledged ? " turnaround " + milliseconds(replyMs_.back())
                             : " no acknowledgement after " +
                                   milliseconds(msBetween(written_, Clock::now()))));
    } catch (...) {
        // A trace that cannot be written never changes how the download ends.
    }
}

class RecordingPortIo final : public download::PortIo {
  public:
    RecordingPortIo(std::unique_ptr<download::PortIo> port, std::uint16_t base,
                    RecordingParallelPorts& owner)
        : port_(std::move(port)), base_(base), owner_(owner) {}

    std::uint8_t read(std::uint16_t address) override {
        const std::uint8_t value = port_->read(address);
        if (address == base_ + 1) {
            owner_.onStatus(value);
        }
        return value;
    }
    void write(std::uint16_t address, std::uint8_t value) override {
        port_->write(address, value);
        if (address == base_) {
            owner_.onData();
        }
    }

  private:
    std::unique_ptr<download::PortIo> port_;
    std::uint16_t base_;
    RecordingParallelPorts& owner_;
};

RecordingParallelPorts::RecordingParallelPorts(download::ParallelPorts& ports,
                                               std::span<const std::uint8_t> image,
                                               ParallelFacts facts, TraceLine trace)
    : ports_(ports),
      walker_(image, image::Transfer::Parallel),
      facts_(std::move(facts)),
      trace_(std::move(trace)) {
    facts_.records = image::summarizeWalk(image, image::Transfer::Parallel).records;
    current_ = walker_.next();
    facts_.record = current_ ? 1 : 0;
    facts_.offset = current_ ? current_->start : 0;
}

std::unique_ptr<download::PortIo> RecordingParallelPorts::claim(std::uint16_t baseAddress) {
    recordStart_ = std::chrono::steady_clock::now();
    return std::make_unique<RecordingPortIo>(ports_.claim(baseAddress), baseAddress, *this);
}

void RecordingParallelPorts::onStatus(std::uint8_t status) {
    facts_.status = status;
    ++statusReads_;
}

void RecordingParallelPorts::onData() {
    ++facts_.bytesSent;
    ++facts_.offset;
    // Empty records send nothing: the next byte sent belongs to the next record with bytes.
    while (current_ && facts_.offset >= current_->end) {
        if (trace_ && current_->size() > 0) {
            char status[8];
            std::snprintf(status, sizeof status, "0x%02X",
                          static_cast<unsigned>(facts_.status.value_or(0)));
            const auto now = std::chrono::steady_clock::now();
            trace_(facts_.label + " record " + std::to_string(facts_.record) + "/" +
                   std::to_string(facts_.records) + " offset " + std::to_string(current_->start) +
                   " length " + std::to_string(current_->size()) + " time " +
                   milliseconds(msBetween(recordStart_, now)) + " status " + status + " after " +
                   std::to_string(statusReads_) + " status reads");
            recordStart_ = now;
            statusReads_ = 0;
        }
        current_ = walker_.next();
        if (current_) {
            ++facts_.record;
            facts_.offset = current_->start;
        }
    }
}

}  // namespace korvane::cli
