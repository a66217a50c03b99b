#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace korvane::cli {

// The SHA-256 digest of the bytes, from the system's own cryptography library. Throws
// std::runtime_error when that library fails.
std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes);

}  // namespace korvane::cli
