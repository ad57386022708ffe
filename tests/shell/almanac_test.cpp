// The almanac screen: its texts and moon picture apart from the window, and the
// screen in the running program.
#include "pathlume/shell/almanac.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "pathlume/shell/moon_phase.h"
#include "tests/shell/screen_fixture.h"
#include "tests/support/host_time_zone.h"

namespace {

std::string Narrow(const WCHAR* text) {
    std::string out;
    for (; *text; ++text)
        out += static_cast<char>(*text);
    return out;
}

SYSTEMTIME Utc(int year, int month, int day, int hour, int minute, int second) {
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    return t;
}

TEST(AlmanacTexts, AgeSunTimeAndDateForms) {
    WCHAR text[64];
    FormatMoonAge(3.5, text, 64);
    EXPECT_EQ(Narrow(text), "3 days 12 hrs 0 min");
    FormatMoonAge(29.0 + 1.0 / 1440 * 61, text, 64);
    EXPECT_EQ(Narrow(text), "29 days 1 hrs 1 min");
    // A sunrise 30 minutes before 00:10 is 23:40; a sunset tomorrow wraps forwards.
    EXPECT_EQ(WrapMinuteOfDay(10 - 30), 23 * 60 + 40);
    EXPECT_EQ(WrapMinuteOfDay(1439 + 2), 1);
    EXPECT_EQ(WrapMinuteOfDay(-1440 * 3 + 5), 5);

    testing_support::HostTimeZone utc("UTC0");
    AlmanacRecord record;
    ComputeAlmanac(Utc(2004, 7, 4, 9, 5, 7), record);
    EXPECT_EQ(Narrow(record.dates[kAlmanacNow]), "7/4/2004 9:05:07");
}

TEST(AlmanacTexts, OnlyCalendarTimesAreTaken) {
    EXPECT_TRUE(IsCalendarTime(Utc(2004, 2, 29, 23, 59, 59)));
    EXPECT_FALSE(IsCalendarTime(Utc(2003, 2, 29, 0, 0, 0)));
    EXPECT_FALSE(IsCalendarTime(Utc(2004, 13, 1, 0, 0, 0)));
    EXPECT_FALSE(IsCalendarTime(Utc(2004, 4, 31, 0, 0, 0)));
    EXPECT_FALSE(IsCalendarTime(Utc(2004, 0, 1, 0, 0, 0)));
    EXPECT_FALSE(IsCalendarTime(Utc(2004, 1, 1, 24, 0, 0)));
}

// The moon is computed at the UTC instant whatever the zone; the dates are shown in
// the local time of their own instants (a summer date in summer time).
TEST(AlmanacTexts, MoonAtTheUtcInstantAndDatesInLocalTime) {
    const SYSTEMTIME instant = Utc(2024, 1, 20, 12, 0, 0);
    AlmanacRecord utcRecord, eastRecord;
    {
        testing_support::HostTimeZone utc("UTC0");
        ComputeAlmanac(instant, utcRecord);
    }
    {
        testing_support::HostTimeZone east("EST5EDT,M3.2.0,M11.1.0");
        ComputeAlmanac(instant, eastRecord);
    }
    EXPECT_DOUBLE_EQ(utcRecord.litPercent, eastRecord.litPercent);
    EXPECT_EQ(Narrow(utcRecord.age), Narrow(eastRecord.age));
    EXPECT_EQ(utcRecord.waning, 0);  // between the new moon of the 11th and the full moon
    // The full moon of 25 January 2024 at 17:54 UTC, and the new moon of 9 February.
    EXPECT_EQ(Narrow(utcRecord.dates[kAlmanacNow]), "1/20/2024 12:00:00");
    EXPECT_EQ(Narrow(eastRecord.dates[kAlmanacNow]), "1/20/2024 7:00:00");
    EXPECT_EQ(Narrow(utcRecord.dates[kAlmanacFullMoon]).substr(0, 13), "1/25/2024 17:");
    EXPECT_EQ(Narrow(eastRecord.dates[kAlmanacFullMoon]).substr(0, 13), "1/25/2024 12:");
    EXPECT_EQ(Narrow(eastRecord.dates[kAlmanacNextNewMoon]).substr(0, 9), "2/9/2024 ");
}

TEST(AlmanacTexts, PhasePictureLightsTheRightPart) {
    struct Case {
        double phase;
        int waning;
        double from, to;  // of a row 10 wide either side
    };
    const Case cases[] = {
        {0.0, 0, 10, 10},     // new moon: nothing lit
        {0.25, 0, 0, 10},     // first quarter: the right half
        {0.5, 0, -10, 10},    // full
        {0.5, 1, -10, 10},    // full
        {0.75, 1, -10, 0},    // last quarter: the left half
        {0.6, 1, -10, 8.09},  // waning gibbous: most of it, from the left
        {0.9, 1, -10, -8.09}  // waning crescent: a sliver on the left
    };
    for (const Case& c : cases) {
        double from = 0, to = 0;
        MoonLitSpan(c.phase, c.waning, 10, &from, &to);
        EXPECT_NEAR(from, c.from, 0.01) << c.phase;
        EXPECT_NEAR(to, c.to, 0.01) << c.phase;
    }
}

}  // namespace

namespace shell_test {
namespace {

class AlmanacScreenTest : public ChildScreenTest {
  protected:
    void SetGpsDate(int year, int month, int day, int hour, int minute, int second) {
        receiver_->UpdateFix([&](GpsFix& fix) {
            fix.year = year - 2000;
            fix.month = month;
            fix.day = day;
            fix.hour = hour;
            fix.minute = minute;
            fix.second = second;
        });
    }
};

TEST_F(AlmanacScreenTest, ShowsTheSunAndTheMoonOfTheGpsDateAndClosesByEscape) {
    testing_support::HostTimeZone utc("UTC0");
    SetGpsDate(2004, 7, 4, 9, 5, 7);
    std::string texts;
    CAlmanacWnd* screen = nullptr;
    texts = DrawnTexts([&] { screen = static_cast<CAlmanacWnd*>(Show(kScreenAlmanac)); });
    ASSERT_NE(screen, nullptr);
    EXPECT_EQ(view_->GetScreenMode(), kScreenAlmanac);
    EXPECT_EQ(Narrow(screen->Record().dates[kAlmanacNow]), "7/4/2004 9:05:07");
    for (const char* label : {"SUNRISE: ", "SUNSET: ", "CURRENT PHASE: ", "AGE OF MOON: ",
                              "FULL MOON: ", "NEXT NEW MOON: ", " SUN ", " MOON "})
        EXPECT_NE(texts.find(label), std::string::npos) << label << "\n" << texts;
    EXPECT_NE(texts.find(Narrow(screen->Record().dates[kAlmanacFullMoon])), std::string::npos);
    EXPECT_NE(texts.find("Local Time"), std::string::npos);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    EXPECT_EQ(view_->ScreenOf(kScreenAlmanac), nullptr);
}

TEST_F(AlmanacScreenTest, AGpsDateThatIsNoDateGivesWayToTheDeviceClock) {
    SetGpsDate(2003, 2, 29, 12, 0, 0);
    auto* screen = static_cast<CAlmanacWnd*>(Show(kScreenAlmanac));
    ASSERT_NE(screen, nullptr);
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const double device =
        JulianDay(now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond);
    EXPECT_NEAR(screen->Record().julianDay, device, 2.0 / 1440);
}

// Without a fix the sun rises and sets at the receiver's last known position, not
// both "now".
TEST_F(AlmanacScreenTest, WithoutAFixTheSunIsThatOfTheLastPosition) {
    receiver_->UpdateFix([](GpsFix& fix) {
        fix.valid = false;
        fix.latitude = 39.1f;
        fix.longitude = -120.2f;
    });
    int toSunrise = 0, toSunset = 0;
    ComputeSunTimes(&toSunrise, &toSunset);
    EXPECT_NE(toSunrise, toSunset);
    EXPECT_GT(std::abs(toSunset - toSunrise), 6 * 60);  // a day of 6 hours at least
    const std::string texts = DrawnTexts([&] { Show(kScreenAlmanac); });
    EXPECT_NE(texts.find("SUNRISE: "), std::string::npos);
}

TEST_F(AlmanacScreenTest, HomeSetsTheFlagAndTheCloseButtonClosesToo) {
    ASSERT_NE(Show(kScreenAlmanac), nullptr);
    g_homeKeyPressed.store(0);
    ::SendMessageW(view_->ScreenOf(kScreenAlmanac)->GetSafeHwnd(), WM_KEYDOWN, VK_HOME, 1);
    // The flag is set and the way back to the map asked for.
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
    EXPECT_TRUE(ViewRequestWaits(kViewSwitchScreen, 1));
    view_->SwitchScreen(kScreenMap);
    Pump();
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    // The close button.
    ASSERT_NE(Show(kScreenAlmanac), nullptr);
    ::SendMessageW(view_->ScreenOf(kScreenAlmanac)->GetSafeHwnd(), WM_COMMAND, kScreenCloseCommand,
                   0);
    Pump();
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
}

}  // namespace
}  // namespace shell_test
