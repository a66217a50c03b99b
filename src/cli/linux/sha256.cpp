#include <openssl/evp.h>

#include <stdexcept>

#include "cli/sha256.h"

namespace korvane::cli {

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
    std::array<std::uint8_t, 32> digest{};
    unsigned int size = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &size, EVP_sha256(), nullptr) != 1 ||
        size != digest.size()) {
        throw std::runtime_error("OpenSSL could not compute a SHA-256 digest");
    }
    return digest;
}

}  // namespace korvane::cli
