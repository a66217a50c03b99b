#include "image/record_walk.h"

#include <algorithm>
#include <cstring>

namespace korvane::image {
namespace {

// Index of the first CR in image[from, n), or n when there is none.
std::int64_t findCr(std::span<const std::uint8_t> image, std::int64_t from) {
    const auto* begin = image.data() + from;
    const auto* hit = static_cast<const std::uint8_t*>(
        std::memchr(begin, kCarriageReturn, image.size() - static_cast<std::size_t>(from)));
    return hit == nullptr ? static_cast<std::int64_t>(image.size()) : from + (hit - begin);
}

bool containsMarker(std::span<const std::uint8_t> image, std::int64_t from, std::int64_t to) {
    return std::memchr(image.data() + from, kLastRecordMarker,
                       static_cast<std::size_t>(to - from)) != nullptr;
}

}  // namespace

RecordWalker::RecordWalker(std::span<const std::uint8_t> image, Transfer transfer)
    : image_(image), transfer_(transfer) {}

std::optional<Record> RecordWalker::next() {
    if (finished_) {
        return std::nullopt;
    }
    const auto n = static_cast<std::int64_t>(image_.size());
    auto fail = [this](RuleBreak rule, std::int64_t offset) -> std::optional<Record> {
        error_ = WalkError{rule, offset};
        finished_ = true;
        return std::nullopt;
    };

    if (position_ > n) {
        // The previous record's CR was the final byte and that record was not the last.
        return fail(RuleBreak::CrWithoutFollowingByte, n - 1);
    }
    if (position_ == n) {
        return fail(RuleBreak::NoMarker, n);
    }

    // The parallel transfer sends the first byte of a record before it starts testing for CR,
    // so a CR there is data; the serial transfer tests every byte.
    const std::int64_t searchFrom = transfer_ == Transfer::Parallel ? position_ + 1 : position_;
    const std::int64_t cr = findCr(image_, searchFrom);
    if (cr == n) {
        // Had the image gone on with a CR, would this have been the last record?
        const bool marked =
            transfer_ == Transfer::Serial
                ? containsMarker(image_, position_, n)
                : n >= 3 && image_[static_cast<std::size_t>(n - 3)] == kLastRecordMarker;
        return fail(marked ? RuleBreak::LastRecordWithoutCr : RuleBreak::NoMarker, position_);
    }

    Record record;
    record.start = static_cast<std::int32_t>(position_);
    record.end = static_cast<std::int32_t>(cr);
    if (transfer_ == Transfer::Serial) {
        record.last = containsMarker(image_, position_, cr);
    } else {
        if (cr < 3) {
            return fail(RuleBreak::CrBeforeMarkerPlace, cr);
        }
        record.last = image_[static_cast<std::size_t>(cr - 3)] == kLastRecordMarker;
    }
    position_ = record.next();
    finished_ = record.last;
    return record;
}

WalkSummary summarizeWalk(std::span<const std::uint8_t> image, Transfer transfer) {
    WalkSummary summary;
    RecordWalker walker(image, transfer);
    while (const auto record = walker.next()) {
        ++summary.records;
        summary.emptyRecords += record->size() == 0 ? 1 : 0;
        summary.bytesSent += record->size();
        summary.stopPosition = record->next();
    }
    summary.error = walker.error();
    return summary;
}

std::string describeWalkError(const WalkError& error, Transfer transfer) {
    const std::string at = std::to_string(error.offset);
    switch (error.rule) {
        case RuleBreak::NoMarker:
            return transfer == Transfer::Serial
                       ? "The firmware image has no last-record marker (0x17): the records end at "
                         "byte offset " +
                             at + " without one."
                       : "The firmware image has no record ending in the last-record marker (0x17 "
                         "three bytes before its CR): the records end at byte offset " +
                             at + ".";
        case RuleBreak::LastRecordWithoutCr:
            return "The last record of the firmware image, from byte offset " + at +
                   ", is not closed by a CR (0x0D) before the end of the file.";
        case RuleBreak::CrWithoutFollowingByte:
            return "The firmware image ends with a CR at byte offset " + at +
                   " that closes a record which is not the last: the image is cut short.";
        case RuleBreak::CrBeforeMarkerPlace:
            return "The firmware image has a CR at byte offset " + at +
                   ", too early for a record: a record must have at least three bytes before "
                   "its CR.";
    }
    return {};
}

const char* transferName(Transfer transfer) {
    return transfer == Transfer::Serial ? "serial" : "parallel";
}

}  // namespace korvane::image
