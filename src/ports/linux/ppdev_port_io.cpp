#include "ports/linux/ppdev_port_io.h"

#include <fcntl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "download/port_error.h"
#include "ports/linux/parallel_port_mapping.h"

namespace korvane::ports {

namespace {

// Retries an ioctl that a signal cut short.
int control(int fd, unsigned long request, void* argument) {
    int result;
    do {
        result = ::ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

}  // namespace

PpdevPortIo::PpdevPortIo(std::filesystem::path device, std::uint16_t base, ClaimMode mode,
                         bool named)
    : device_(std::move(device)),
      base_(base),
      labelBase_(named ? std::nullopt : std::optional<std::uint16_t>(base)) {
    int fd;
    do {
        fd = ::open(device_.c_str(), O_RDWR | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        throw download::PortError(describeOpenFailure(device_, labelBase_, errno));
    }
    fd_ = FileDescriptor(fd);
    // Held on the device itself, so every name of it shares the lock: a second Korvane on the
    // same port is refused before it claims anything.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
            // Told apart like a refused claim, so that the caller can name the holder.
            throw PortInUse(describeOpenFailure(device_, labelBase_, EBUSY));
        }
        throw download::PortError(describeOpenFailure(device_, labelBase_, errno));
    }
    // Exclusive first: the transfer drives the registers itself and assumes nobody else does.
    if ((mode == ClaimMode::Exclusive && control(fd, PPEXCL, nullptr) < 0) ||
        control(fd, PPCLAIM, nullptr) < 0) {
        const int error = errno;
        // ppdev answers ENXIO when another device is registered on the port.
        if (mode == ClaimMode::Exclusive && (error == EBUSY || error == ENXIO)) {
            throw PortInUse(describeClaimFailure(device_, labelBase_, error));
        }
        throw download::PortError(describeClaimFailure(device_, labelBase_, error));
    }
}

PpdevPortIo::~PpdevPortIo() {
    control(fd_.get(), PPRELEASE, nullptr);
}

void PpdevPortIo::fail(const char* operation, int error) const {
    throw download::PortError("Lost " + deviceLabel(device_, labelBase_) + " while " + operation +
                              ": " + std::generic_category().message(error) +
                              ". Check that the port is still there, then start again.");
}

std::uint8_t PpdevPortIo::read(std::uint16_t address) {
    unsigned char value = 0;
    unsigned long request = PPRSTATUS;
    switch (registerOf(base_, address)) {
        case ParallelRegister::Data:
            request = PPRDATA;
            break;
        case ParallelRegister::Status:
            request = PPRSTATUS;
            break;
        case ParallelRegister::Control:
            request = PPRCONTROL;
            break;
    }
    if (control(fd_.get(), request, &value) < 0) {
        fail("reading it", errno);
    }
    return value;
}

void PpdevPortIo::write(std::uint16_t address, std::uint8_t value) {
    unsigned char byte = value;
    unsigned long request = PPWDATA;
    switch (registerOf(base_, address)) {
        case ParallelRegister::Data:
            request = PPWDATA;
            break;
        case ParallelRegister::Status:
            throw download::PortError("Internal error: the status register of " + portLabel(base_) +
                                      " cannot be written.");
        case ParallelRegister::Control:
            request = PPWCONTROL;
            break;
    }
    if (control(fd_.get(), request, &byte) < 0) {
        fail("writing to it", errno);
    }
}

}  // namespace korvane::ports
