#include "ports/windows/inpout_parallel_ports.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "download/port_error.h"
#include "ports/environment_variable.h"
#include "ports/windows/port_io_driver.h"

namespace korvane::ports {
namespace {

constexpr std::uint16_t kRegisterCount = 3;  // data, status, control

std::string hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::optional<std::string> variableFor(std::uint16_t base) {
    if (base == download::kLpt1Base) {
        return "KORVANE_LPT1";
    }
    if (base == download::kLpt2Base) {
        return "KORVANE_LPT2";
    }
    return std::nullopt;
}

std::string lptName(std::uint16_t base) {
    return base == download::kLpt1Base ? "LPT1" : "LPT2";
}

// The engine calls the port by its base address; the registers sit at another I/O base.
class InpOutPortIo final : public download::PortIo {
  public:
    InpOutPortIo(std::uint16_t engineBase, LptTarget target)
        : engineBase_(engineBase), target_(std::move(target)), driver_(target_.label) {}

    std::uint8_t read(std::uint16_t address) override { return driver_.read(translate(address)); }
    void write(std::uint16_t address, std::uint8_t value) override {
        driver_.write(translate(address), value);
    }

  private:
    // Outside the three registers the driver would touch whatever device sits there.
    std::uint16_t translate(std::uint16_t address) const {
        const unsigned offset = static_cast<unsigned>(address - engineBase_) & 0xFFFF;
        if (offset >= kRegisterCount) {
            throw download::PortError(
                "Internal error: address " + hex(address) + " is not a register of " +
                target_.label + " (" + hex(engineBase_) + " to " +
                hex(static_cast<std::uint16_t>(engineBase_ + kRegisterCount - 1)) + ").");
        }
        return static_cast<std::uint16_t>(target_.ioBase + offset);
    }

    std::uint16_t engineBase_;
    LptTarget target_;
    PortIoDriver driver_;
};

}  // namespace

std::optional<std::uint16_t> parseIoBase(std::string_view text) {
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
    }
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (text.empty() || error != std::errc() || end != text.data() + text.size() || value == 0 ||
        value > 0x10000U - kRegisterCount) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

InpOutParallelPorts::InpOutParallelPorts() : InpOutParallelPorts(environmentVariable) {}

InpOutParallelPorts::InpOutParallelPorts(Variable variable) : variable_(std::move(variable)) {}

std::unique_ptr<InpOutParallelPorts> InpOutParallelPorts::forBase(std::uint16_t base) {
    auto ports = std::make_unique<InpOutParallelPorts>();
    ports->pinned_ = base;
    return ports;
}

LptTarget InpOutParallelPorts::targetFor(std::uint16_t baseAddress) const {
    if (pinned_) {
        return {*pinned_, "the parallel port at " + hex(*pinned_)};
    }
    const auto variable = variableFor(baseAddress);
    if (!variable) {
        return {baseAddress, "the parallel port at " + hex(baseAddress)};
    }
    const auto value = variable_(*variable);
    if (!value) {
        return {baseAddress, lptName(baseAddress) + " (" + hex(baseAddress) + ")"};
    }
    const auto base = parseIoBase(*value);
    if (!base) {
        throw download::PortError(
            "Cannot reach " + lptName(baseAddress) + ": %" + *variable + "% is \"" + *value +
            "\", which is not a hex I/O base address. Set it to the base address of the port "
            "as Device Manager shows it under Resources (for example D010 or 0xD010), or clear "
            "it to use " +
            hex(baseAddress) + ".");
    }
    return {*base, lptName(baseAddress) + " (" + hex(*base) + ", from %" + *variable + "%)"};
}

std::unique_ptr<download::PortIo> InpOutParallelPorts::claim(std::uint16_t baseAddress) {
    return std::make_unique<InpOutPortIo>(baseAddress, targetFor(baseAddress));
}

}  // namespace korvane::ports
