#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "image/record_walk.h"

namespace korvane::lpt {

// The bytes the parallel transfer puts on the data register for an image, in order; nothing
// when the image breaks a rule of that transfer.
inline std::optional<std::vector<std::uint8_t>> parallelRecordBytes(
    std::span<const std::uint8_t> image) {
    std::vector<std::uint8_t> bytes;
    image::RecordWalker walker(image, image::Transfer::Parallel);
    while (const auto record = walker.next()) {
        bytes.insert(bytes.end(), image.begin() + record->start, image.begin() + record->end);
    }
    if (walker.error()) {
        return std::nullopt;
    }
    return bytes;
}

}  // namespace korvane::lpt
