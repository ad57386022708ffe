// The almanac's moon calculation against published phase times.
#include "pathlume/shell/moon_phase.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kMinute = 1.0 / 1440.0;

TEST(MoonPhase, JulianDayOfKnownInstants) {
    EXPECT_DOUBLE_EQ(JulianDay(2000, 1, 1, 12, 0, 0), 2451545.0);
    EXPECT_DOUBLE_EQ(JulianDay(1980, 1, 0, 0, 0, 0), 2444238.5);  // the orbit's epoch
    EXPECT_DOUBLE_EQ(JulianDay(1582, 10, 15, 0, 0, 0), 2299160.5);
    EXPECT_DOUBLE_EQ(JulianDay(1900, 1, 0, 12, 0, 0), 2415020.0);
}

TEST(MoonPhase, CalendarAndJulianDayRoundTrip) {
    const CalendarTime cases[] = {
        {2004, 7, 4, 9, 5, 7},    {2000, 2, 29, 23, 59, 59}, {1999, 12, 31, 0, 0, 0},
        {2024, 1, 11, 11, 57, 0}, {1582, 10, 15, 12, 0, 0},  {2100, 3, 1, 6, 30, 1},
        {1970, 1, 1, 0, 0, 1},    {2038, 1, 19, 3, 14, 7},
    };
    for (const CalendarTime& c : cases) {
        const CalendarTime back = JulianToCalendar(JulianDay(c));
        EXPECT_EQ(back.year, c.year);
        EXPECT_EQ(back.month, c.month);
        EXPECT_EQ(back.day, c.day);
        EXPECT_EQ(back.hour, c.hour);
        EXPECT_EQ(back.minute, c.minute);
        EXPECT_EQ(back.second, c.second) << c.year << "-" << c.month << "-" << c.day;
    }
    // Half a second before midnight carries into the next day.
    const CalendarTime next = JulianToCalendar(JulianDay(2004, 2, 28, 23, 59, 59) + 0.6 / 86400);
    EXPECT_EQ(next.month, 2);
    EXPECT_EQ(next.day, 29);
    EXPECT_EQ(next.hour, 0);
    EXPECT_EQ(next.second, 0);
}

struct PublishedLunation {
    const char* name;
    CalendarTime within;  // an instant between its new moon and the next
    CalendarTime newMoon, firstQuarter, fullMoon, lastQuarter, nextNewMoon;  // UTC
};

// The phases of three lunations as the almanacs publish them, to the minute.
const PublishedLunation kLunations[] = {
    {"January 2000",
     {2000, 1, 10, 0, 0, 0},
     {2000, 1, 6, 18, 14, 0},
     {2000, 1, 14, 13, 34, 0},
     {2000, 1, 21, 4, 40, 0},
     {2000, 1, 28, 7, 57, 0},
     {2000, 2, 5, 13, 3, 0}},
    {"January 2019",
     {2019, 1, 30, 12, 0, 0},
     {2019, 1, 6, 1, 29, 0},
     {2019, 1, 14, 6, 46, 0},
     {2019, 1, 21, 5, 17, 0},
     {2019, 1, 27, 21, 12, 0},
     {2019, 2, 4, 21, 4, 0}},
    {"January 2024",
     {2024, 1, 11, 12, 30, 0},
     {2024, 1, 11, 11, 58, 0},
     {2024, 1, 18, 3, 53, 0},
     {2024, 1, 25, 17, 53, 0},
     {2024, 2, 2, 23, 18, 0},
     {2024, 2, 9, 22, 59, 0}},
};

TEST(MoonPhase, PhaseHuntFindsPublishedLunationsWithinFifteenMinutes) {
    for (const PublishedLunation& l : kLunations) {
        const Lunation found = PhaseHunt(JulianDay(l.within));
        const std::pair<double, CalendarTime> phases[] = {
            {found.newMoon, l.newMoon},         {found.firstQuarter, l.firstQuarter},
            {found.fullMoon, l.fullMoon},       {found.lastQuarter, l.lastQuarter},
            {found.nextNewMoon, l.nextNewMoon},
        };
        for (const auto& [computed, published] : phases) {
            const double minutes = (computed - JulianDay(published)) / kMinute;
            EXPECT_LT(std::fabs(minutes), 15.0) << l.name << ": " << published.month << "/"
                                                << published.day << " off by " << minutes << " min";
        }
    }
}

TEST(MoonPhase, AgeAndLitShareFollowTheLunation) {
    const Lunation january = PhaseHunt(JulianDay(2000, 1, 10, 0, 0, 0));
    // At the full moon the whole disc is lit, at new moon none of it.
    const MoonState full = MoonPosition(january.fullMoon);
    EXPECT_GT(full.illuminated, 0.9995);
    EXPECT_NEAR(full.phase, 0.5, 0.01);
    const MoonState fresh = MoonPosition(january.newMoon);
    EXPECT_LT(fresh.illuminated, 0.0005);
    // Half lit at the quarters; the age counts days since the new moon.
    EXPECT_NEAR(MoonPosition(january.firstQuarter).illuminated, 0.5, 0.02);
    EXPECT_NEAR(MoonPosition(january.lastQuarter).illuminated, 0.5, 0.02);
    // (the age is that of the phase angle, which runs unevenly through the month).
    const MoonState later = MoonPosition(january.newMoon + 3.5);
    EXPECT_NEAR(later.ageDays, 3.5, 0.5);
    EXPECT_DOUBLE_EQ(later.ageDays, 29.53058868 * later.phase);
}

TEST(MoonPhase, KeplerSolvesTheEquation) {
    for (double m : {0.0, 10.0, 90.0, 179.9, 270.0, 359.0}) {
        const double e = SolveKepler(m, 0.016718);
        EXPECT_NEAR(e - 0.016718 * std::sin(e), m * M_PI / 180.0, 1e-6) << m;
    }
    // Any other phase than the four has no instant.
    EXPECT_EQ(TruePhase(1000, 0.1), 0.0);
}

}  // namespace
