#include "ports/linux/parallel_port_mapping.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <system_error>

#include "download/port_error.h"
#include "ports/environment_variable.h"

namespace korvane::ports {

namespace fs = std::filesystem;

namespace {

std::string hex(std::uint16_t value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%X", static_cast<unsigned>(value));
    return text;
}

std::string errorText(int error) {
    return std::generic_category().message(error);
}

bool present(const fs::path& path) {
    std::error_code ignored;
    return fs::exists(path, ignored);
}

fs::path parportDevice(const fs::path& devRoot, int number) {
    return devRoot / ("parport" + std::to_string(number));
}

// A parport at the standard address of the LPT other than the one asked for.
bool isOtherLpt(std::uint16_t parportBase, std::uint16_t base) {
    return parportBase != base && (parportBase == kLpt1Base || parportBase == kLpt2Base);
}

constexpr const char* kLoadDrivers = "sudo modprobe parport_pc ppdev";

}  // namespace

ParallelEnvironment ParallelEnvironment::live() {
    ParallelEnvironment environment;
    environment.variable = environmentVariable;
    return environment;
}

std::optional<std::uint16_t> parseBaseAddr(std::string_view text) {
    const auto start = text.find_first_not_of(" \t");
    if (start == std::string_view::npos) {
        return std::nullopt;
    }
    text.remove_prefix(start);
    unsigned value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc{} || value > 0xFFFF) {
        return std::nullopt;
    }
    // The number must end at a separator, so "0x378" or "888abc" are not taken for 0 or 888.
    if (end != text.data() + text.size() && *end != ' ' && *end != '\t' && *end != '\n') {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

namespace {

std::optional<int> parportNumberFromName(const std::string& name) {
    if (name.rfind("parport", 0) != 0) {
        return std::nullopt;
    }
    int number = 0;
    const char* digits = name.c_str() + 7;
    const char* digitsEnd = name.c_str() + name.size();
    const auto [stop, error] = std::from_chars(digits, digitsEnd, number);
    if (error != std::errc{} || stop != digitsEnd || digits == digitsEnd) {
        return std::nullopt;
    }
    return number;
}

}  // namespace

std::vector<KernelParport> kernelParports(const fs::path& procRoot) {
    std::vector<KernelParport> parports;
    std::error_code error;
    for (fs::directory_iterator entry(procRoot / "sys/dev/parport", error), end;
         !error && entry != end; entry.increment(error)) {
        const auto number = parportNumberFromName(entry->path().filename().string());
        if (!number) {
            continue;
        }
        std::ifstream file(entry->path() / "base-addr");
        std::string line;
        if (!std::getline(file, line)) {
            continue;
        }
        if (const auto base = parseBaseAddr(line)) {
            parports.push_back({*number, *base});
        }
    }
    std::sort(parports.begin(), parports.end(),
              [](const KernelParport& a, const KernelParport& b) { return a.number < b.number; });
    return parports;
}

std::optional<std::string> activeClaimant(const fs::path& procRoot, int number) {
    std::ifstream file(procRoot / "sys/dev/parport" / ("parport" + std::to_string(number)) /
                       "devices/active");
    std::string line;
    if (!std::getline(file, line)) {
        return std::nullopt;
    }
    const auto end = line.find_last_not_of(" \t\r");
    line.erase(end == std::string::npos ? 0 : end + 1);
    if (line.empty()) {
        return std::nullopt;
    }
    return line;
}

std::optional<int> parportNumberOf(const fs::path& device) {
    std::error_code error;
    const fs::path resolved = fs::weakly_canonical(device, error);
    return parportNumberFromName((error ? device : resolved).filename().string());
}

std::string portLabel(std::uint16_t base) {
    if (base == kLpt1Base) {
        return "LPT1";
    }
    if (base == kLpt2Base) {
        return "LPT2";
    }
    return "the parallel port at " + hex(base);
}

std::optional<ParallelRegister> registerAt(std::uint16_t base, std::uint16_t address) {
    // Unsigned 16-bit difference: an address below the base wraps far above 2.
    switch (static_cast<std::uint16_t>(address - base)) {
        case 0:
            return ParallelRegister::Data;
        case 1:
            return ParallelRegister::Status;
        case 2:
            return ParallelRegister::Control;
        default:
            return std::nullopt;
    }
}

ParallelRegister registerOf(std::uint16_t base, std::uint16_t address) {
    if (const auto reg = registerAt(base, address)) {
        return *reg;
    }
    throw download::PortError("Internal error: address " + hex(address) + " is not a register of " +
                              portLabel(base) + " (" + hex(base) + " to " +
                              hex(static_cast<std::uint16_t>(base + 2)) + ").");
}

std::optional<std::string> variableFor(std::uint16_t base) {
    if (base == kLpt1Base) {
        return "KORVANE_LPT1";
    }
    if (base == kLpt2Base) {
        return "KORVANE_LPT2";
    }
    return std::nullopt;
}

PortChoice choosePort(std::uint16_t base, const ParallelEnvironment& environment) {
    PortChoice choice;
    const auto ppdev = [&choice](fs::path device, std::string reason) {
        choice.kind = PortChoice::Kind::Ppdev;
        choice.device = std::move(device);
        choice.reason = std::move(reason);
        return choice;
    };

    if (const auto variable = variableFor(base)) {
        const auto value = environment.variable ? environment.variable(*variable) : std::nullopt;
        if (value) {
            return ppdev(*value, "$" + *variable);
        }
        choice.tried.push_back("$" + *variable + " (not set)");
    }

    const fs::path procDir = environment.procRoot / "sys/dev/parport";
    const auto parports = kernelParports(environment.procRoot);
    std::optional<int> matched;
    for (const auto& parport : parports) {
        if (parport.base == base) {
            matched = parport.number;
            break;
        }
    }
    if (matched) {
        const fs::path device = parportDevice(environment.devRoot, *matched);
        if (present(device)) {
            return ppdev(device, "parport" + std::to_string(*matched) + " is at " + hex(base));
        }
        choice.ppdevMissing = true;
        choice.tried.push_back(procDir.string() + " (parport" + std::to_string(*matched) +
                               " is at " + hex(base) + " but " + device.string() + " is missing)");
    } else if (parports.empty()) {
        choice.tried.push_back(procDir.string() + " (no parallel port known to the kernel)");
    } else {
        std::string found;
        for (const auto& parport : parports) {
            found += (found.empty() ? "" : ", ") + ("parport" + std::to_string(parport.number)) +
                     " at " + hex(parport.base);
        }
        choice.tried.push_back(procDir.string() + " (none at " + hex(base) + "; " + found + ")");
    }

    const std::optional<int> fixed = base == kLpt1Base   ? std::optional<int>(0)
                                     : base == kLpt2Base ? std::optional<int>(1)
                                                         : std::nullopt;
    if (fixed && fixed != matched) {
        const fs::path device = parportDevice(environment.devRoot, *fixed);
        const auto known = std::find_if(parports.begin(), parports.end(),
                                        [&](const KernelParport& p) { return p.number == *fixed; });
        if (known != parports.end() && isOtherLpt(known->base, base)) {
            // The kernel says this one is the other LPT: sending there would reach the wrong
            // printer.
            choice.tried.push_back(device.string() + " (that is " + portLabel(known->base) + ")");
        } else if (present(device)) {
            return ppdev(device, device.string() + " is the usual device of " + portLabel(base));
        } else {
            choice.tried.push_back(device.string() + " (missing)");
        }
    }

    choice.kind = PortChoice::Kind::Direct;
    choice.reason = "direct port I/O at " + hex(base);
    return choice;
}

std::string deviceLabel(const fs::path& device, std::optional<std::uint16_t> base) {
    return base ? device.string() + " (" + portLabel(*base) + ")" : device.string();
}

std::string describeOpenFailure(const fs::path& device, std::optional<std::uint16_t> base,
                                int error) {
    const std::string what = deviceLabel(device, base);
    switch (error) {
        case EACCES:
        case EPERM:
            return "Cannot open " + what +
                   ": permission denied. Add your user to the lp group "
                   "(sudo usermod -aG lp $USER), then log out and in again.";
        case ENOENT:
            return "Cannot open " + what +
                   ": no such device. Check the device name, or load the parallel-port drivers "
                   "(" +
                   kLoadDrivers + ").";
        case ENODEV:
        case ENXIO:
            return "Cannot open " + what +
                   ": no parallel port driver answers for it. Load the drivers (" + kLoadDrivers +
                   ") and check that the port exists.";
        case EBUSY:
            return "Cannot open " + what +
                   ": the port is in use by another program. End that program, then try again.";
        default:
            return "Cannot open " + what + ": " + errorText(error) + ".";
    }
}

std::string describeClaimFailure(const fs::path& device, std::optional<std::uint16_t> base,
                                 int error) {
    const std::string what = deviceLabel(device, base);
    switch (error) {
        case EBUSY:
        case ENXIO:
            return "Cannot claim " + what +
                   ": another driver or program holds the port, for example the lp printer "
                   "driver. Unload it (sudo modprobe -r lp) or end the program using the port, "
                   "then try again.";
        case ENOTTY:
        case EINVAL:
            return "Cannot claim " + what +
                   ": it is not a parallel port device (ppdev). Use a /dev/parportN device.";
        case EACCES:
        case EPERM:
            return "Cannot claim " + what +
                   ": permission denied. Add your user to the lp group "
                   "(sudo usermod -aG lp $USER), then log out and in again.";
        default:
            return "Cannot claim " + what + ": " + errorText(error) + ".";
    }
}

std::string describePortHeld(const fs::path& device, std::optional<std::uint16_t> base,
                             const std::string& claimant) {
    const std::string what = deviceLabel(device, base);
    if (claimant.rfind("lp", 0) == 0) {
        return "Cannot claim " + what + ": the lp printer driver (" + claimant +
               ") is printing on it. Wait for the print job to end, or cancel it and unload the "
               "driver (sudo modprobe -r lp), then try again.";
    }
    return "Cannot claim " + what + ": another program is using the port right now (" + claimant +
           "). End that program, then try again.";
}

std::string describeNoPort(std::uint16_t base, const PortChoice& choice, int directIoError) {
    std::string message = "No parallel port found for " + portLabel(base) + " (" + hex(base) + ").";
    message += " Tried: ";
    for (const auto& entry : choice.tried) {
        message += entry + "; ";
    }
    message += "direct port I/O at " + hex(base) + " (" +
               (directIoError == EPERM ? std::string("not permitted without root")
                                       : errorText(directIoError)) +
               ").";
    if (choice.ppdevMissing) {
        message += " The kernel has the port but ppdev is not loaded: run sudo modprobe ppdev.";
    } else {
        message += std::string(" Load the parallel-port drivers (") + kLoadDrivers + ")";
        if (const auto variable = variableFor(base)) {
            message += ", or set " + *variable + " to the /dev/parportN of your port";
        }
        message += ".";
    }
    return message;
}

}  // namespace korvane::ports
