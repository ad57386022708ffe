// Sunrise and sunset for a date and a place, in minutes after midnight UTC: the
// fractional-year approximation of the equation of time, the solar declination and
// the sunrise hour angle, with the sun's centre 90.833 degrees from the zenith.
#pragma once

#include <cstdint>

#include "platform/kernel/wintypes.h"

class CSunClock {
  public:
    static constexpr double kNoDayMinutes = 0;  // hour angle of a polar night

    // Fills the record for the place and the date (the time of day is not used). A
    // month outside 1-12 is taken as the nearest valid one, a day as 1 to the month's
    // length. Where the sun does not rise, the hour angle is 0 (no day); where it
    // does not set, 180 (a day of 24 hours).
    CSunClock& Compute(double latitude, double longitude, const SYSTEMTIME& date);
    // Minutes after midnight UTC of the date; negative or past 1440 when the moment
    // falls on the day before or after. With a result record, that moment as a date.
    double GetSunrise(SYSTEMTIME* result) const;
    double GetSunset(SYSTEMTIME* result) const;
    // A minute count of the stored date as a date and time; counts below 0 roll back
    // into the day before, counts of 1440 and more on into the next.
    void ToLocalTime(double minutes, SYSTEMTIME* result) const;

    static int IsLeapYear(int year);
    int DayOfYear(int month, int day) const;
    static int DaysInMonth(int year, int month);

    double latitude = 0;
    double longitude = 0;
    double fractionalYear = 0;
    double equationOfTime = 0;
    double declination = 0;
    double hourAngle = 0;
    int32_t dayOfYear = 1;
    int32_t leapYear = 0;
    SYSTEMTIME date{};
};
