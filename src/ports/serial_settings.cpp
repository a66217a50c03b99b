#include "ports/serial_settings.h"

#include <charconv>

namespace korvane::ports {

std::optional<std::int32_t> parseSerialSettings(std::string_view settings) {
    const auto comma = settings.find(',');
    if (comma == std::string_view::npos) {
        return std::nullopt;
    }
    const std::string_view speed = settings.substr(0, comma);
    const std::string_view framing = settings.substr(comma);
    if (framing != ",n,8,1" && framing != ",N,8,1") {
        return std::nullopt;
    }
    // from_chars accepts neither a sign nor spaces, which is what we want; it does accept
    // leading zeros, which do no harm.
    std::int32_t baud = 0;
    const auto [end, error] = std::from_chars(speed.data(), speed.data() + speed.size(), baud);
    if (speed.empty() || error != std::errc{} || end != speed.data() + speed.size() || baud < 1 ||
        baud > kMaxBaudRate) {
        return std::nullopt;
    }
    return baud;
}

}  // namespace korvane::ports
