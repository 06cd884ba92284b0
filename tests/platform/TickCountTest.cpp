#include "platform/TickCount.h"

#include <gtest/gtest.h>

using orvant::platform::TickDiff;

TEST(TickCount, DifferenceAllowsForOneWrapOfTheCounter)
{
    EXPECT_EQ(TickDiff(1000, 6000), 5000u);
    EXPECT_EQ(TickDiff(0xFFFFF000u, 0x00000388u), 0x1388u); // 5000 ms across the wrap
    const std::uint32_t start = orvant::platform::TickCount();
    EXPECT_LT(TickDiff(start, orvant::platform::TickCount()), 60000u);
}
