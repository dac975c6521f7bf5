// Time-of-day deadlines on fixed clock readings.
#include <gtest/gtest.h>

#include <cstdint>

#include "content/deadline.h"

namespace {

using qv::content::DeadlinePassed;
using qv::content::MakeDeadline;
using qv::content::SecondOfDay;
using qv::platform::LocalTime;

LocalTime At(int hour, int minute, int second, int millisecond) {
    return LocalTime{2026, 3, 14, hour, minute, second, millisecond};
}

TEST(Deadline, SecondOfDayRoundsHalfToEven) {
    struct Case {
        LocalTime time;
        int32_t second;
    };
    const Case cases[] = {
        {At(0, 0, 0, 0), 0},         {At(0, 0, 0, 499), 0},      {At(0, 0, 0, 500), 0},
        {At(0, 0, 0, 501), 1},       {At(0, 0, 1, 500), 2},      {At(10, 0, 0, 400), 36000},
        {At(10, 1, 0, 500), 36060},  {At(10, 1, 0, 501), 36061}, {At(10, 1, 1, 500), 36062},
        {At(23, 59, 59, 499), 86399}, {At(23, 59, 59, 500), 86400}, {At(23, 59, 59, 999), 86400},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SecondOfDay(c.time), c.second)
            << c.time.hour << ":" << c.time.minute << ":" << c.time.second << "." << c.time.millisecond;
    }
}

TEST(Deadline, MakeDeadlineAddsAndWrapsAtMidnight) {
    struct Case {
        int32_t seconds;
        LocalTime time;
        int32_t deadline;
    };
    const Case cases[] = {
        {0, At(10, 0, 0, 400), 0},
        {60, At(10, 0, 0, 400), 36060},
        {60, At(23, 59, 30, 0), 30},
        {60, At(23, 59, 0, 0), 86400},  // exactly 86400 stays
        {1, At(23, 59, 59, 600), 1},
        {-30, At(10, 0, 0, 0), 35970},
        {INT32_MAX, At(12, 0, 0, 0), INT32_MAX - 43200},  // no overflow into negative numbers
        {INT32_MAX, At(23, 59, 59, 600), INT32_MAX},
    };
    for (const Case& c : cases) EXPECT_EQ(MakeDeadline(c.seconds, c.time), c.deadline) << c.seconds;
}

TEST(Deadline, PassedOnlyAfterTheDeadlineSecond) {
    struct Case {
        int32_t deadline;
        LocalTime time;
        int16_t passed;
    };
    const Case cases[] = {
        {36060, At(10, 0, 30, 0), 0},    {36060, At(10, 1, 0, 0), 0},
        {36060, At(10, 1, 0, 500), 0},   {36060, At(10, 1, 0, 501), 1},
        {36060, At(10, 2, 0, 0), 1},     {0, At(0, 0, 0, 500), 0},
        {0, At(0, 0, 0, 501), 1},        {0, At(15, 0, 0, 0), 1},
        {30, At(0, 0, 30, 0), 0},        {30, At(0, 0, 31, 0), 1},
    };
    for (const Case& c : cases) EXPECT_EQ(DeadlinePassed(c.deadline, c.time), c.passed) << c.deadline;
}

TEST(Deadline, WrappedDeadlineCountsAsPassedAtOnce) {
    const LocalTime late = At(23, 59, 30, 0);
    const int32_t deadline = MakeDeadline(60, late);
    EXPECT_EQ(deadline, 30);
    EXPECT_EQ(DeadlinePassed(deadline, late), 1);
}

TEST(Deadline, LiveClockFarDeadline) {
    // The live clock path: 0 stays 0, anything else lands within one day.
    EXPECT_EQ(MakeDeadline(0), 0);
    const int32_t soon = MakeDeadline(2);
    EXPECT_GE(soon, 1);
    EXPECT_LE(soon, 86400);
}

}  // namespace
