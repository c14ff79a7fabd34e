// Clock: the now source seam.
#include "platform/Clock.h"
#include <gtest/gtest.h>

TEST(Clock, NowCanBeSetAndRestored) {
    clock_seam::setNowSource([] { return QDateTime(QDate(2024, 1, 2), QTime(1, 2, 3, 500)); });
    EXPECT_EQ(clock_seam::now(), QDateTime(QDate(2024, 1, 2), QTime(1, 2, 3, 500)));
    EXPECT_DOUBLE_EQ(clock_seam::secondsSinceMidnight(), 3723.5);
    clock_seam::setNowSource(nullptr);
    EXPECT_GT(clock_seam::now().date().year(), 2000);
}
