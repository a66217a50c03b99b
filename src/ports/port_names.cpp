#include "ports/port_names.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace korvane::ports {
namespace {

std::string upperCase(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return upper;
}

// "COM" or "LPT" and the number of a COMk or LPTk name in any case, else nothing.
std::optional<std::pair<std::string, int>> familyAndNumber(const std::string& word) {
    const std::string upper = upperCase(word);
    const std::string family = upper.substr(0, 3);
    const std::string digits = upper.size() > 3 ? upper.substr(3) : "";
    if ((family != "COM" && family != "LPT") || digits.empty() || digits.size() > 3 ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0; })) {
        return std::nullopt;
    }
    return std::pair{family, std::stoi(digits)};
}

}  // namespace

PortName PortName::listEntry(bool serial, int index) {
    // Any LPT entry but the first drives LPT2, as the transfer does.
    return {serial, serial ? index + 1 : (index == 0 ? 1 : 2), {}};
}

std::string PortName::text() const {
    return choice == 0 ? device : (serial ? "COM" : "LPT") + std::to_string(choice);
}

std::optional<PortName> parsePortName(const std::string& word, bool serial, std::string& error) {
    if (word.empty()) {
        error = "the PORT is empty";
        return std::nullopt;
    }
    if (const auto name = familyAndNumber(word)) {
        const auto& [family, number] = *name;
        const std::string canonical = family + std::to_string(number);
        if (family == (serial ? "LPT" : "COM")) {
            error = canonical + " is a " + (serial ? "parallel" : "serial") + " port; use " +
                    (serial ? "--parallel " : "--serial ") + canonical;
            return std::nullopt;
        }
        if (number >= 1 && number <= (serial ? highestComChoice() : 2)) {
            return PortName{serial, number, {}};
        }
    }
    auto device = systemDeviceName(word, serial, error);
    if (!device) {
        return std::nullopt;
    }
    return PortName{serial, 0, std::move(*device)};
}

std::optional<int> comNumber(std::string_view name) {
    if (name.starts_with("\\\\.\\")) {
        name.remove_prefix(4);
    }
    if (name.size() < 4 || upperCase(name.substr(0, 3)) != "COM") {
        return std::nullopt;
    }
    name.remove_prefix(3);
    int k = 0;
    const auto [end, problem] = std::from_chars(name.data(), name.data() + name.size(), k);
    if (problem != std::errc{} || end != name.data() + name.size() || name.front() == '0' ||
        k < 1 || k > 256) {
        return std::nullopt;
    }
    return k;
}

}  // namespace korvane::ports
