// The status box's clock text in both clock settings, and UTC to local time across
// a daylight-saving change.
#include "pathlume/foundation/clock_text.h"

#include <gtest/gtest.h>

#include "pathlume/foundation/app_services.h"
#include "platform/kernel/clock.h"
#include "tests/support/host_time_zone.h"

namespace {

class ClockTextTest : public testing::Test {
  protected:
    void SetUp() override { g_options.store(0); }
    void TearDown() override { g_options.store(0); }
};

TEST_F(ClockTextTest, FormatsBothClockSettings) {
    struct Case {
        int hour;
        int minute;
        const char* twentyFourHour;
        const char* twelveHour;
    };
    const Case cases[] = {
        {0, 5, " 0:05", "12:05AM"},  {1, 0, " 1:00", " 1:00AM"},   {11, 59, "11:59", "11:59AM"},
        {12, 0, "12:00", "12:00PM"}, {13, 30, "13:30", " 1:30PM"}, {23, 59, "23:59", "11:59PM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.hour << ":" << c.minute);
        char buffer[kClockTextSize];
        g_options.store(kOptionNorthUp);
        EXPECT_STREQ(FormatClockTime(buffer, c.hour, c.minute), c.twentyFourHour);
        g_options.store(kOptionNorthUp | kOptionTwelveHourClock);
        EXPECT_STREQ(FormatClockTime(buffer, c.hour, c.minute), c.twelveHour);
    }
}

TEST_F(ClockTextTest, ACutBufferStaysTerminated) {
    g_options.store(kOptionTwelveHourClock);
    char buffer[5] = {'x', 'x', 'x', 'x', 'x'};
    EXPECT_STREQ(FormatClockTime(buffer, 13, 30, sizeof buffer), " 1:3");
}

TEST(UtcToLocalTime, FollowsTheOffsetOfTheConvertedInstant) {
    testing_support::HostTimeZone zone("CET-1CEST,M3.5.0,M10.5.0/3");
    struct Case {
        SYSTEMTIME utc;
        WORD localDay;
        WORD localHour;
        WORD localMinute;
    };
    // Summer time begins on 2024-03-31 at 01:00 UTC and ends on 2024-10-27 at 01:00 UTC.
    const Case cases[] = {
        {{2024, 3, 0, 31, 0, 59, 0, 0}, 31, 1, 59},  {{2024, 3, 0, 31, 1, 0, 0, 0}, 31, 3, 0},
        {{2024, 10, 0, 27, 0, 30, 0, 0}, 27, 2, 30}, {{2024, 10, 0, 27, 1, 30, 0, 0}, 27, 2, 30},
        {{2024, 12, 2, 31, 23, 15, 0, 0}, 1, 0, 15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.utc.wMonth << "-" << c.utc.wDay << " " << c.utc.wHour
                                        << ":" << c.utc.wMinute);
        SYSTEMTIME local{};
        ASSERT_TRUE(UtcToLocalTime(&c.utc, &local));
        EXPECT_EQ(local.wDay, c.localDay);
        EXPECT_EQ(local.wHour, c.localHour);
        EXPECT_EQ(local.wMinute, c.localMinute);
    }
}

TEST(UtcToLocalTime, RefusesAnImpossibleDate) {
    const SYSTEMTIME utc{2024, 13, 0, 1, 0, 0, 0, 0};
    SYSTEMTIME local{};
    EXPECT_FALSE(UtcToLocalTime(&utc, &local));
}

}  // namespace
