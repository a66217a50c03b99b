#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <algorithm>
#include <limits>
#include <stdexcept>

#include "cli/sha256.h"

namespace korvane::cli {
namespace {

// The provider, closed on every way out.
class Algorithm {
  public:
    Algorithm() {
        if (!BCRYPT_SUCCESS(
                BCryptOpenAlgorithmProvider(&handle_, BCRYPT_SHA256_ALGORITHM, nullptr, 0))) {
            throw std::runtime_error("Windows could not open its SHA-256 provider");
        }
    }
    ~Algorithm() { BCryptCloseAlgorithmProvider(handle_, 0); }
    Algorithm(const Algorithm&) = delete;
    Algorithm& operator=(const Algorithm&) = delete;
    BCRYPT_ALG_HANDLE get() const { return handle_; }

  private:
    BCRYPT_ALG_HANDLE handle_ = nullptr;
};

// One hash object on the provider, destroyed on every way out. Windows 7 lets the system keep
// the object's memory when none is given.
class Hash {
  public:
    explicit Hash(const Algorithm& algorithm) {
        if (!BCRYPT_SUCCESS(
                BCryptCreateHash(algorithm.get(), &handle_, nullptr, 0, nullptr, 0, 0))) {
            throw std::runtime_error("Windows could not start a SHA-256 digest");
        }
    }
    ~Hash() { BCryptDestroyHash(handle_); }
    Hash(const Hash&) = delete;
    Hash& operator=(const Hash&) = delete;
    BCRYPT_HASH_HANDLE get() const { return handle_; }

  private:
    BCRYPT_HASH_HANDLE handle_ = nullptr;
};

}  // namespace

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
    const Algorithm algorithm;
    const Hash hash(algorithm);
    // Fed in pieces that each fit the call's 32-bit count.
    constexpr std::size_t kPiece = std::numeric_limits<ULONG>::max();
    for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
        const auto piece = bytes.subspan(at, std::min(kPiece, bytes.size() - at));
        // BCryptHashData does not write its input; the cast only meets its signature.
        auto* input = const_cast<PUCHAR>(reinterpret_cast<const UCHAR*>(piece.data()));
        if (!BCRYPT_SUCCESS(
                BCryptHashData(hash.get(), input, static_cast<ULONG>(piece.size()), 0))) {
            throw std::runtime_error("Windows could not compute a SHA-256 digest");
        }
    }
    std::array<std::uint8_t, 32> digest{};
    if (!BCRYPT_SUCCESS(
            BCryptFinishHash(hash.get(), digest.data(), static_cast<ULONG>(digest.size()), 0))) {
        throw std::runtime_error("Windows could not compute a SHA-256 digest");
    }
    return digest;
}

}  // namespace korvane::cli
