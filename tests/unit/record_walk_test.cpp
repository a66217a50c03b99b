#include <gtest/gtest.h>

#include <vector>

#include "image/record_walk.h"

namespace korvane::image {
namespace {

TEST(RecordWalk, WellFormedImageIsSentWholeByBothTransfers) {
    const std::vector<std::uint8_t> image = {'A', 'B', 'C', 0x0D, 0x0A, 'D', 0x17, 'x', 'y', 0x0D, 0x0A};
    for (const auto transfer : {Transfer::Serial, Transfer::Parallel}) {
        const auto summary = summarizeWalk(image, transfer);
        EXPECT_TRUE(summary.ok()) << transferName(transfer);
        EXPECT_EQ(summary.records, 2);
        EXPECT_EQ(summary.stopPosition, 11);
    }
}

}  // namespace
}  // namespace korvane::image
