#include "download/parallel_transfer.h"

#include <cstdio>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>

#include "download/messages.h"
#include "download/port_error.h"
#include "image/record_walk.h"

namespace korvane::download {
namespace {

constexpr std::uint8_t kStatusNotBusy = 0x80;  // Busy is inverted in the status register
constexpr std::uint8_t kStatusNoFault = 0x08;  // nFault
// One strobe pulse with nInit high and nSelectIn asserted; nothing else on the control lines
// changes between the two writes.
constexpr std::uint8_t kControlStrobeOn = 0xCD;
constexpr std::uint8_t kControlStrobeOff = 0xCC;

bool printerReady(PortIo& port, const ParallelPortAddresses& registers) {
    return (port.read(registers.status) & kStatusNotBusy) != 0;
}

// Called when a busy printer also reports a fault: waits, reading only the fault line, for the
// fault to clear. False when it lasted kFaultClearTimeout, which gives up the byte at once.
bool faultClears(PortIo& port, const ParallelPortAddresses& registers, Clock& clock, Host& host) {
    const Clock::TimePoint clearDeadline = clock.now() + kFaultClearTimeout;
    while ((port.read(registers.status) & kStatusNoFault) == 0) {
        host.waitingForPrinter(Host::PrinterWait::Polling);
        if (clock.now() > clearDeadline) {
            return false;
        }
    }
    return true;
}

// Polls the status register until the printer can take a byte; false when the byte is given
// up. No sleeping anywhere: the printer sets the pace.
//
// Most busy spells end within a poll or two, so the clock is first read on the second busy
// poll, or at the first fault: a ready or briefly busy printer costs status reads only, and the
// byte's 10 s run from that reading, a few port accesses after the byte's start.
bool waitUntilReady(PortIo& port, const ParallelPortAddresses& registers, Clock& clock,
                    Host& host) {
    std::optional<Clock::TimePoint> byteDeadline;
    for (bool firstPoll = true; !printerReady(port, registers); firstPoll = false) {
        // A second, separate read: the fault line is judged on its own sample.
        const bool fault = (port.read(registers.status) & kStatusNoFault) == 0;
        if (!fault && firstPoll) {
            continue;
        }
        if (!byteDeadline) {
            byteDeadline = clock.now() + kByteTimeout;
        }
        host.waitingForPrinter(Host::PrinterWait::Polling);
        if (fault && !faultClears(port, registers, clock, host)) {
            return false;
        }
        if (clock.now() > *byteDeadline) {
            return false;
        }
    }
    return true;
}

void sendByte(PortIo& port, const ParallelPortAddresses& registers, std::uint8_t value) {
    port.write(registers.data, value);
    port.write(registers.control, kControlStrobeOn);
    port.write(registers.control, kControlStrobeOff);
}

std::string printerPortErrorMessage(std::uint8_t status) {
    char digits[4];
    std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(status));
    return std::string(messages::kPrinterPortErrorPrefix) + digits + ")";
}

}  // namespace

ParallelPortAddresses ParallelPortAddresses::forListIndex(int portIndex) {
    const std::uint16_t base = portIndex == 0 ? kLpt1Base : kLpt2Base;
    return {base, static_cast<std::uint16_t>(base + 1), static_cast<std::uint16_t>(base + 2)};
}

DownloadResult runParallelTransfer(ParallelPorts& ports, const TransferContext& context) {
    Host& host = context.host;
    const auto registers = ParallelPortAddresses::forListIndex(context.choices.portIndex);
    try {
        // Held until this function returns, however it returns.
        const std::unique_ptr<PortIo> port = ports.claim(registers.data);

        image::RecordWalker walker(context.image, image::Transfer::Parallel);
        while (const auto record = walker.next()) {
            for (std::int32_t position = record->start; position < record->end;) {
                if (!waitUntilReady(*port, registers, context.clock, host)) {
                    return announce(host, Outcome::PrinterFailed,
                                    printerPortErrorMessage(port->read(registers.status)));
                }
                sendByte(*port, registers, context.image[static_cast<std::size_t>(position)]);
                ++position;

                if (position < record->end) {
                    context.progress.setText(position);
                    host.letPendingEventsRun();
                    continue;
                }
                // The byte just sent ended the record: its CR and the byte after are skipped.
                const std::int64_t next = record->next();
                host.letPendingEventsRun();
                context.progress.setBar(next);
                context.progress.setText(next);
                if (record->last) {
                    context.progress.report(next);
                    return announce(host, Outcome::Success, messages::kSuccess);
                }
                host.letPendingEventsRun();
            }
        }
    } catch (const PortError& error) {
        return announce(host, Outcome::PortError, error.what());
    }
    // The image was walked whole before the transfer began; a walk that ends without a last
    // record cannot reach here.
    throw std::logic_error("parallel transfer: the checked image ended without its last record");
}

}  // namespace korvane::download
