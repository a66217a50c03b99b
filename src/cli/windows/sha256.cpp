#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

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

}  // namespace

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
    if (bytes.size() > std::numeric_limits<ULONG>::max()) {
        throw std::runtime_error("too many bytes for one SHA-256 call");
    }
    const Algorithm algorithm;
    std::array<std::uint8_t, 32> digest{};
    // BCryptHash does not write its input; the cast only meets its signature.
    auto* input = const_cast<PUCHAR>(reinterpret_cast<const UCHAR*>(bytes.data()));
    if (!BCRYPT_SUCCESS(BCryptHash(algorithm.get(), nullptr, 0, input,
                                   static_cast<ULONG>(bytes.size()), digest.data(),
                                   static_cast<ULONG>(digest.size())))) {
        throw std::runtime_error("Windows could not compute a SHA-256 digest");
    }
    return digest;
}

}  // namespace korvane::cli
