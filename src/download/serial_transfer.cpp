#include "download/serial_transfer.h"

#include <stdexcept>
#include <string>

#include "download/messages.h"
#include "download/port_error.h"
#include "image/record_walk.h"

namespace korvane::download {
namespace {

// Closes the port however the transfer ends, including when the program ends in the middle.
class PortCloser {
  public:
    explicit PortCloser(SerialPort& port) : port_(port) {}
    ~PortCloser() { port_.close(); }
    PortCloser(const PortCloser&) = delete;
    PortCloser& operator=(const PortCloser&) = delete;

  private:
    SerialPort& port_;
};

void setUpPort(SerialPort& port, const UserChoices& choices) {
    if (port.isOpen()) {
        port.close();
    }
    port.setPortNumber(choices.portIndex + 1);
    port.setSettings(choices.speedText + ",n,8,1");
    port.open();
}

// Only a read that brings exactly one byte 0x06 acknowledges the record. Anything else (a NAK,
// noise, 0x06 together with other bytes) is dropped and the wait goes on against the same
// deadline. The reply is judged before the clock, so a lone 0x06 read as the deadline passes
// still counts.
bool waitForAcknowledgement(SerialPort& port, Clock& clock) {
    const Clock::TimePoint deadline = clock.now() + kAcknowledgeTimeout;
    for (;;) {
        const std::vector<std::uint8_t> reply = port.readAll(deadline);
        if (reply.size() == 1 && reply.front() == kAcknowledge) {
            return true;
        }
        if (clock.now() > deadline) {
            return false;
        }
    }
}

}  // namespace

DownloadResult runSerialTransfer(SerialPort& port, const TransferContext& context) {
    Host& host = context.host;
    PortCloser closeOnExit(port);
    try {
        setUpPort(port, context.choices);

        image::RecordWalker walker(context.image, image::Transfer::Serial);
        while (const auto record = walker.next()) {
            // The record is built byte by byte; the window gets a turn after each byte.
            for (std::int32_t i = 0; i < record->size(); ++i) {
                host.letPendingEventsRun();
            }
            const std::int64_t position = record->next();

            host.waitingForPrinter(Host::PrinterWait::Blocking);
            port.write(context.image.subspan(static_cast<std::size_t>(record->start),
                                             static_cast<std::size_t>(record->size())));
            if (!waitForAcknowledgement(port, context.clock)) {
                port.close();
                return announce(host, Outcome::PrinterFailed, messages::kSerialTimeout);
            }
            context.progress.report(position);
            host.letPendingEventsRun();

            if (record->last) {
                context.progress.report(position);
                // The port stays open while the user reads the message.
                auto result = announce(host, Outcome::Success, messages::kSuccess);
                port.close();
                return result;
            }
            host.letPendingEventsRun();
        }
    } catch (const PortError& error) {
        port.close();
        return announce(host, Outcome::PortError, error.what());
    }
    // The image was walked whole before the transfer began; a walk that ends without a last
    // record cannot reach here. The port is closed on the way out.
    throw std::logic_error("serial transfer: the checked image ended without its last record");
}

}  // namespace korvane::download
