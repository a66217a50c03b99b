#include "ports/linux/direct_port_io.h"

#include <sys/io.h>

#include <cerrno>

#include "download/port_error.h"
#include "ports/linux/parallel_port_mapping.h"

namespace korvane::ports {

namespace {
constexpr unsigned long kRegisterCount = 3;
}

DirectPortIo::DirectPortIo(std::uint16_t base) : base_(base) {
    if (::ioperm(base_, kRegisterCount, 1) != 0) {
        throw DirectIoDenied(errno);
    }
}

DirectPortIo::~DirectPortIo() {
    ::ioperm(base_, kRegisterCount, 0);
}

void DirectPortIo::check(std::uint16_t address) const {
    // Outside the granted registers inb/outb would kill the process with SIGSEGV.
    registerOf(base_, address);
}

std::uint8_t DirectPortIo::read(std::uint16_t address) {
    check(address);
    return ::inb(address);
}

void DirectPortIo::write(std::uint16_t address, std::uint8_t value) {
    check(address);
    ::outb(value, address);
}

}  // namespace korvane::ports
