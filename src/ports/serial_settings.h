#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace korvane::ports {

// The fastest line speed we ask of an adapter; common USB serial chips stop near here.
inline constexpr std::int32_t kMaxBaudRate = 4'000'000;

// Reads a settings text "<baud>,n,8,1" (the parity letter in either case). Returns the baud
// rate, or nothing for any other framing or a speed that is not a whole number in
// 1..kMaxBaudRate: the printer only speaks 8 data bits, no parity, 1 stop bit.
std::optional<std::int32_t> parseSerialSettings(std::string_view settings);

}  // namespace korvane::ports
