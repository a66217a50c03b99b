// Walks every input with both transfers and checks the walker against a byte-by-byte model
// written straight from the transfer steps: each step of the model checks its index, so where
// the model would read outside the image the walker must stop with the matching rule break.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <span>
#include <vector>

#include "image/record_walk.h"

namespace {

using korvane::image::kCarriageReturn;
using korvane::image::kLastRecordMarker;
using korvane::image::Record;
using korvane::image::RecordWalker;
using korvane::image::RuleBreak;
using korvane::image::Transfer;
using korvane::image::WalkError;

void require(bool condition, const char* what, Transfer transfer) {
    if (!condition) {
        std::fprintf(stderr, "walk_fuzzer: %s (%s)\n", what,
                     korvane::image::transferName(transfer));
        std::abort();
    }
}

struct ModelWalk {
    std::vector<Record> records;
    std::optional<WalkError> error;
};

// Serial: collect bytes from position up to the CR, 0x17 anywhere marks the last record.
ModelWalk serialModel(std::span<const std::uint8_t> image) {
    const auto n = static_cast<std::int64_t>(image.size());
    ModelWalk walk;
    std::int64_t position = 0;
    for (;;) {
        if (position > n) {
            walk.error = WalkError{RuleBreak::CrWithoutFollowingByte, n - 1};
            return walk;
        }
        bool last = false;
        std::int64_t scan = position;
        for (;;) {
            if (scan >= n) {
                walk.error = WalkError{last ? RuleBreak::LastRecordWithoutCr : RuleBreak::NoMarker,
                                       position};
                return walk;
            }
            const auto b = image[static_cast<std::size_t>(scan)];
            if (b == kLastRecordMarker) {
                last = true;
            } else if (b == kCarriageReturn) {
                break;
            }
            ++scan;
        }
        walk.records.push_back(
            Record{static_cast<std::int32_t>(position), static_cast<std::int32_t>(scan), last});
        position = scan + 2;
        if (last) {
            return walk;
        }
    }
}

// Parallel: send the byte at position, then test the next one for CR; at a CR test the byte
// three places before it for the marker.
ModelWalk parallelModel(std::span<const std::uint8_t> image) {
    const auto n = static_cast<std::int64_t>(image.size());
    ModelWalk walk;
    std::int64_t position = 0;
    std::int64_t start = 0;
    for (;;) {
        if (position > n) {
            walk.error = WalkError{RuleBreak::CrWithoutFollowingByte, n - 1};
            return walk;
        }
        if (position == n) {
            walk.error = WalkError{RuleBreak::NoMarker, n};
            return walk;
        }
        ++position;  // the byte is sent
        if (position == n) {
            walk.error =
                WalkError{n >= 3 && image[static_cast<std::size_t>(n - 3)] == kLastRecordMarker
                              ? RuleBreak::LastRecordWithoutCr
                              : RuleBreak::NoMarker,
                          start};
            return walk;
        }
        if (image[static_cast<std::size_t>(position)] != kCarriageReturn) {
            continue;
        }
        if (position < 3) {
            walk.error = WalkError{RuleBreak::CrBeforeMarkerPlace, position};
            return walk;
        }
        const bool last = image[static_cast<std::size_t>(position - 3)] == kLastRecordMarker;
        walk.records.push_back(
            Record{static_cast<std::int32_t>(start), static_cast<std::int32_t>(position), last});
        position += 2;
        start = position;
        if (last) {
            return walk;
        }
    }
}

void checkTransfer(std::span<const std::uint8_t> image, Transfer transfer) {
    const auto n = static_cast<std::int64_t>(image.size());
    const ModelWalk model =
        transfer == Transfer::Serial ? serialModel(image) : parallelModel(image);

    RecordWalker walker(image, transfer);
    std::vector<Record> records;
    while (const auto record = walker.next()) {
        require(record->start >= 0 && record->start <= record->end && record->end < n,
                "record outside the image", transfer);
        require(image[static_cast<std::size_t>(record->end)] == kCarriageReturn,
                "record not closed by a CR", transfer);
        if (!records.empty()) {
            require(record->start == records.back().next(), "records not contiguous", transfer);
        } else {
            require(record->start == 0, "first record not at 0", transfer);
        }
        // The serial record stops at the first CR; the parallel one may start with a CR.
        const std::int32_t from = transfer == Transfer::Serial ? record->start : record->start + 1;
        for (std::int32_t i = from; i < record->end; ++i) {
            require(image[static_cast<std::size_t>(i)] != kCarriageReturn, "CR inside a record",
                    transfer);
        }
        require(transfer == Transfer::Serial || record->size() > 0, "empty parallel record",
                transfer);
        records.push_back(*record);
    }
    require(walker.finished(), "walk gave up without finishing", transfer);
    require(!walker.next().has_value(), "record after the walk finished", transfer);

    require(records.size() == model.records.size(), "record count differs from model", transfer);
    for (std::size_t i = 0; i < records.size(); ++i) {
        require(records[i].start == model.records[i].start &&
                    records[i].end == model.records[i].end &&
                    records[i].last == model.records[i].last,
                "record differs from model", transfer);
    }
    const auto& error = walker.error();
    require(error.has_value() == model.error.has_value(), "error presence differs from model",
            transfer);
    if (error) {
        require(error->rule == model.error->rule && error->offset == model.error->offset,
                "error differs from model", transfer);
        require(error->offset >= 0 && error->offset <= n, "error offset outside the image",
                transfer);
        require(records.empty() || !records.back().last, "error after the last record", transfer);
    } else {
        require(!records.empty() && records.back().last, "ok walk without a last record", transfer);
        require(records.back().next() <= n + 1, "ok walk stops beyond n + 1", transfer);
    }
    for (std::size_t i = 0; i + 1 < records.size(); ++i) {
        require(!records[i].last, "last flag before the final record", transfer);
    }

    const auto summary = korvane::image::summarizeWalk(image, transfer);
    std::int64_t sent = 0;
    std::int64_t empty = 0;
    for (const auto& r : records) {
        sent += r.size();
        empty += r.size() == 0 ? 1 : 0;
    }
    require(summary.records == static_cast<std::int64_t>(records.size()) &&
                summary.bytesSent == sent && summary.emptyRecords == empty,
            "summary counts differ from the walk", transfer);
    require(summary.stopPosition == (records.empty() ? 0 : records.back().next()),
            "summary stop position differs from the walk", transfer);
    require(summary.error.has_value() == error.has_value() &&
                (!error ||
                 (summary.error->rule == error->rule && summary.error->offset == error->offset)),
            "summary error differs from the walk", transfer);
    require(!summary.ok() || (!records.empty() && records.back().last),
            "summary ok without a last record", transfer);
    if (error) {
        require(!korvane::image::describeWalkError(*error, transfer).empty(),
                "empty error description", transfer);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> image(data, size);
    checkTransfer(image, Transfer::Serial);
    checkTransfer(image, Transfer::Parallel);
    return 0;
}
