#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace korvane::image {

inline constexpr std::uint8_t kCarriageReturn = 0x0D;
inline constexpr std::uint8_t kLastRecordMarker = 0x17;  // ETB

// The two transfers cut the same image differently: the serial one ends a record at the first
// CR from its first byte and takes a 0x17 anywhere in it as the last-record marker; the parallel
// one sends the first byte of a record without looking at it, and takes a record as the last only
// when 0x17 stands three places before its CR.
enum class Transfer { Serial, Parallel };

// The ways an image can make a transfer read outside it.
enum class RuleBreak {
    NoMarker,                // the image ends before a record this transfer takes as the last
    LastRecordWithoutCr,     // the record holding the marker runs to the end without a CR
    CrWithoutFollowingByte,  // a CR is the final byte, yet the walk must go on after it
    CrBeforeMarkerPlace,     // parallel: a CR at index 1 or 2, so the marker test would read
                             // before the first byte
};

struct WalkError {
    RuleBreak rule;
    std::int64_t offset;  // the byte the rule is broken at (see describeWalkError)
};

// One record as a transfer sends it: bytes [start, end) go to the printer, end is the index of
// the CR that closes the record; the CR and the byte after it are skipped.
struct Record {
    std::int32_t start = 0;
    std::int32_t end = 0;
    bool last = false;

    std::int32_t size() const { return end - start; }
    // Position after the record. For a last record whose CR is the final byte this is n + 1;
    // the byte after the CR is skipped, never read, so nothing outside the image is touched.
    std::int64_t next() const { return std::int64_t{end} + 2; }
};

// Walks an image record by record the way one transfer does, and stops, with an error, before
// the step that would read outside the image.
class RecordWalker {
  public:
    // The image is at most kMaxImageSize bytes (the loader refuses more), so every index fits
    // the 32-bit positions of a Record.
    RecordWalker(std::span<const std::uint8_t> image, Transfer transfer);

    // The next record, or nothing once the last record has been given or the walk broke a rule.
    std::optional<Record> next();

    const std::optional<WalkError>& error() const { return error_; }
    bool finished() const { return finished_; }

  private:
    std::span<const std::uint8_t> image_;
    Transfer transfer_;
    std::int64_t position_ = 0;
    bool finished_ = false;
    std::optional<WalkError> error_;
};

// What one transfer would do with an image, from a walk over all of it.
struct WalkSummary {
    std::int64_t records = 0;
    std::int64_t emptyRecords = 0;  // records with no bytes before their CR
    std::int64_t bytesSent = 0;
    std::int64_t stopPosition = 0;  // position after the last record sent
    std::optional<WalkError> error;

    bool ok() const { return !error.has_value(); }
};

WalkSummary summarizeWalk(std::span<const std::uint8_t> image, Transfer transfer);

// A sentence for the user, naming the rule and the byte offset.
std::string describeWalkError(const WalkError& error, Transfer transfer);

const char* transferName(Transfer transfer);

}  // namespace korvane::image
