#include "pathlume/display/sun_clock.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr int kDaysPerMonth[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
constexpr double kZenithAtRiseRadians = 1.5853349071834235;  // 90.833 degrees
constexpr double kRadiansPerDegree = 0.01745329238;
constexpr double kDegreesPerRadian = 57.29578018;
}  // namespace

int CSunClock::IsLeapYear(int year) {
    return ((year % 4 == 0 && year % 100 != 0) || year % 400 == 0) ? 1 : 0;
}

int CSunClock::DaysInMonth(int year, int month) {
    month = std::clamp(month, 1, 12);
    return month == 2 && IsLeapYear(year) ? 29 : kDaysPerMonth[month - 1];
}

int CSunClock::DayOfYear(int month, int day) const {
    const int k = leapYear ? 1 : 2;
    return 275 * month / 9 - k * ((month + 9) / 12) + day - 30;
}

CSunClock& CSunClock::Compute(double lat, double lon, const SYSTEMTIME& when) {
    latitude = lat;
    longitude = lon;
    date = when;
    // An out-of-range month would index past the month table and give a day number
    // of another year; the date is held to a real one.
    date.wMonth = static_cast<WORD>(std::clamp<int>(date.wMonth, 1, 12));
    leapYear = IsLeapYear(date.wYear);
    date.wDay =
        static_cast<WORD>(std::clamp<int>(date.wDay, 1, DaysInMonth(date.wYear, date.wMonth)));
    dayOfYear = DayOfYear(date.wMonth, date.wDay);
    const double g = 0.017214206800068896 * (dayOfYear - 1);
    fractionalYear = g;
    equationOfTime = 229.18 * (0.000075 + 0.001868 * std::cos(g) - 0.032077 * std::sin(g) -
                               0.014615 * std::cos(2 * g) - 0.040849 * std::sin(2 * g));
    declination = 0.006918 - 0.399912 * std::cos(g) + 0.070257 * std::sin(g) -
                  0.006758 * std::cos(2 * g) + 0.000907 * std::sin(2 * g) -
                  0.002697 * std::cos(3 * g) + 0.00148 * std::sin(3 * g);
    const double phi = latitude * kRadiansPerDegree;
    const double cosine = std::cos(kZenithAtRiseRadians) / (std::cos(phi) * std::cos(declination)) -
                          std::tan(phi) * std::tan(declination);
    // Outside -1..1 the sun stays below (above) the horizon all day: clamped, the
    // hour angle is 0 (180) and sunrise and sunset meet at noon (lie 24 h apart).
    hourAngle =
        std::acos(std::isfinite(cosine) ? std::clamp(cosine, -1.0, 1.0) : 1.0) * kDegreesPerRadian;
    return *this;
}

double CSunClock::GetSunrise(SYSTEMTIME* result) const {
    const double minutes = 720 + 4 * (-longitude - hourAngle) - equationOfTime;
    if (result)
        ToLocalTime(minutes, result);
    return minutes;
}

double CSunClock::GetSunset(SYSTEMTIME* result) const {
    const double minutes = 720 + 4 * (-longitude + hourAngle) - equationOfTime;
    if (result)
        ToLocalTime(minutes, result);
    return minutes;
}

void CSunClock::ToLocalTime(double minutes, SYSTEMTIME* result) const {
    *result = date;
    int dayShift = 0;
    // Whole days before or after the date move the date itself, so the clock time
    // stays within 0:00 to 23:59 (a sunrise east of Greenwich falls before midnight
    // UTC, a negative count).
    while (minutes < 0) {
        minutes += 1440;
        --dayShift;
    }
    while (minutes >= 1440) {
        minutes -= 1440;
        ++dayShift;
    }
    const double hours = minutes / 60;
    const int h = static_cast<int>(hours);
    const double minuteFraction = (hours - h) * 60;
    const int m = static_cast<int>(minuteFraction);
    const int s = static_cast<int>((minuteFraction - m) * 60);
    int year = result->wYear, month = result->wMonth, day = result->wDay;
    for (; dayShift > 0; --dayShift) {
        if (++day > DaysInMonth(year, month)) {
            day = 1;
            if (++month > 12) {
                month = 1;
                ++year;
            }
        }
    }
    for (; dayShift < 0; ++dayShift) {
        if (--day < 1) {
            if (--month < 1) {
                month = 12;
                --year;
            }
            day = DaysInMonth(year, month);
        }
    }
    result->wYear = static_cast<WORD>(year);
    result->wMonth = static_cast<WORD>(month);
    result->wDay = static_cast<WORD>(day);
    result->wHour = static_cast<WORD>(h);
    result->wMinute = static_cast<WORD>(m);
    result->wSecond = static_cast<WORD>(s);
    result->wMilliseconds = 0;
}
