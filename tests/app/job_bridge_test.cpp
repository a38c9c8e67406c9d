// The pieces the window and its worker thread share: the tick rows.
#include "app/job_bridge.h"

#include <gtest/gtest.h>

using namespace orvana::app;

TEST(TickedRows, TicksFollowTheRowsAndNewRowsStartUnticked) {
    TickedRows rows;
    EXPECT_EQ(rows.tickedId(0), std::nullopt);
    rows.setRows({QStringLiteral("11"), QStringLiteral("22"), QStringLiteral("11")});
    EXPECT_EQ(rows.count(), 3);
    rows.setTicked(2, true);
    rows.setTicked(7, true); // no such row: ignored
    rows.setTicked(-1, true);
    EXPECT_EQ(rows.tickedId(0), std::nullopt);
    EXPECT_EQ(rows.tickedId(2), QStringLiteral("11"));
    EXPECT_EQ(rows.tickedId(3), std::nullopt);
    rows.setRows({QStringLiteral("33")});
    EXPECT_EQ(rows.tickedId(0), std::nullopt);
    EXPECT_EQ(rows.tickedId(2), std::nullopt);
}
