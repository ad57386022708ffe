#include "pathlume/display/sun_clock.h"

#include <gtest/gtest.h>

namespace {

SYSTEMTIME Date(int year, int month, int day) {
    SYSTEMTIME date{};
    date.wYear = static_cast<WORD>(year);
    date.wMonth = static_cast<WORD>(month);
    date.wDay = static_cast<WORD>(day);
    return date;
}

TEST(SunClockTest, DayNumbersAndLeapYears) {
    CSunClock clock;
    EXPECT_EQ(clock.Compute(0, 0, Date(2013, 1, 1)).dayOfYear, 1);
    EXPECT_EQ(clock.Compute(0, 0, Date(2013, 3, 1)).dayOfYear, 60);
    EXPECT_EQ(clock.Compute(0, 0, Date(2012, 3, 1)).dayOfYear, 61);
    EXPECT_EQ(clock.Compute(0, 0, Date(2013, 12, 31)).dayOfYear, 365);
    EXPECT_EQ(clock.Compute(0, 0, Date(2012, 12, 31)).dayOfYear, 366);
    EXPECT_EQ(CSunClock::IsLeapYear(2000), 1);
    EXPECT_EQ(CSunClock::IsLeapYear(1900), 0);
    // A month outside 1-12 is held to the table.
    EXPECT_EQ(clock.Compute(0, 0, Date(2013, 13, 40)).dayOfYear, 365);
    EXPECT_EQ(clock.Compute(0, 0, Date(2013, 0, 1)).dayOfYear, 1);
}

TEST(SunClockTest, KnownPlacesAndDates) {
    CSunClock clock;
    // Mid-April: the equation of time is near zero.
    clock.Compute(0, 0, Date(2013, 4, 15));
    EXPECT_GT(clock.hourAngle, 90.0);
    EXPECT_NEAR(clock.GetSunrise(nullptr), 360, 10);
    EXPECT_LT(clock.GetSunrise(nullptr), 360);
    EXPECT_GT(clock.GetSunset(nullptr), 1080);

    // Andorra la Vella on the June solstice: 04:16 and 19:34 UTC.
    clock.Compute(42.5063, 1.5218, Date(2013, 6, 21));
    EXPECT_NEAR(clock.GetSunrise(nullptr), 4 * 60 + 16, 2);
    EXPECT_NEAR(clock.GetSunset(nullptr), 19 * 60 + 34, 2);

    // Tokyo's sunrise falls on the day before in UTC.
    clock.Compute(35.68, 139.69, Date(2013, 6, 21));
    SYSTEMTIME rise{};
    EXPECT_LT(clock.GetSunrise(&rise), 0);
    EXPECT_EQ(rise.wDay, 20);
    EXPECT_EQ(rise.wMonth, 6);
    EXPECT_EQ(rise.wHour, 19);
    clock.Compute(35.68, 139.69, Date(2013, 1, 1));
    clock.GetSunrise(&rise);
    EXPECT_EQ(rise.wYear, 2012);
    EXPECT_EQ(rise.wMonth, 12);
    EXPECT_EQ(rise.wDay, 31);
}

TEST(SunClockTest, PolarDayAndNight) {
    CSunClock clock;
    clock.Compute(70, 20, Date(2013, 6, 21));
    EXPECT_NEAR(clock.hourAngle, 180.0, 1e-4);
    EXPECT_NEAR(clock.GetSunset(nullptr) - clock.GetSunrise(nullptr), 1440, 1e-3);
    clock.Compute(70, 20, Date(2013, 12, 21));
    EXPECT_EQ(clock.hourAngle, 0.0);
    EXPECT_EQ(clock.GetSunset(nullptr), clock.GetSunrise(nullptr));
}

TEST(SunClockTest, MinutesPastMidnightRollIntoTheNextMonth) {
    CSunClock clock;
    clock.Compute(0, 0, Date(2013, 2, 28));
    SYSTEMTIME at{};
    clock.ToLocalTime(1450, &at);
    EXPECT_EQ(at.wMonth, 3);
    EXPECT_EQ(at.wDay, 1);
    EXPECT_EQ(at.wHour, 0);
    EXPECT_EQ(at.wMinute, 10);
    clock.Compute(0, 0, Date(2012, 12, 31));
    clock.ToLocalTime(1440 + 61.5, &at);
    EXPECT_EQ(at.wYear, 2013);
    EXPECT_EQ(at.wMonth, 1);
    EXPECT_EQ(at.wDay, 1);
    EXPECT_EQ(at.wHour, 1);
    EXPECT_EQ(at.wMinute, 1);
    EXPECT_NEAR(at.wSecond, 30, 1);  // truncated float seconds
}

}  // namespace
