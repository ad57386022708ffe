#include "pathlume/shell/moon_phase.h"

#include <cmath>

namespace {

constexpr double kSynodicMonth = 29.53058868;
constexpr double kPi = 3.14159265358979323846;
constexpr double kRadiansPerDegree = kPi / 180.0;
// The phase formulas' own degree, a single-precision value of pi / 180.
constexpr double kPhaseRadiansPerDegree = 0.01745329238474369;
// Days of a Julian century, as its reciprocal, and lunations a Julian century.
constexpr double kCenturiesPerDay = 2.7378507871321012e-5;
constexpr double kCenturiesPerLunation = 0.0008085054776246109;
constexpr double kFirstGregorianDay = 2299161.0;

// The moon's orbit from the epoch 1980 January 0.0.
constexpr double kEpoch = 2444238.5;
constexpr double kSunLongitudeAtEpoch = 278.83354;
constexpr double kSunPerigee = 282.596403;
constexpr double kEarthEccentricity = 0.016718;
constexpr double kMoonMeanLongitudeAtEpoch = 64.975464;
constexpr double kMoonPerigeeAtEpoch = 349.383063;

double FixAngle(double degrees) {
    return degrees - 360.0 * std::floor(degrees / 360.0);
}

double SinDegrees(double degrees) {
    return std::sin(degrees * kRadiansPerDegree);
}

double PhaseSin(double degrees) {
    return std::sin(degrees * kPhaseRadiansPerDegree);
}
double PhaseCos(double degrees) {
    return std::cos(degrees * kPhaseRadiansPerDegree);
}

}  // namespace

double JulianDay(int year, int month, int day, int hour, int minute, int second) {
    if (month <= 2) {
        year -= 1;
        month += 12;
    }
    const double centuries = std::floor(year / 100.0);
    const double gregorian = 2 - centuries + std::floor(centuries / 4);
    const double date = std::floor(365.25 * (year + 4716)) + std::floor(30.6001 * (month + 1)) +
                        day + gregorian - 1524.5;
    return date + hour / 24.0 + minute / 1440.0 + second / 86400.0;
}

CalendarTime JulianToCalendar(double julianDay) {
    // Whole seconds from noon of day 0, so that 9:05:07 never reads 9:05:06 and a
    // time that rounds up to midnight carries into the next day.
    const double seconds = std::floor((julianDay + 0.5) * 86400.0 + 0.5);
    const double z = std::floor(seconds / 86400.0);
    const long secondOfDay = static_cast<long>(seconds - z * 86400.0);
    double a = z;
    if (z >= kFirstGregorianDay) {
        const double alpha = std::floor((z - 1867216.25) / 36524.25);
        a = z + 1 + alpha - std::floor(alpha / 4);
    }
    const double b = a + 1524;
    const double c = std::floor((b - 122.1) / 365.25);
    const double d = std::floor(365.25 * c);
    const double e = std::floor((b - d) / 30.6001);
    CalendarTime t;
    t.day = static_cast<int>(b - d - std::floor(30.6001 * e));
    t.month = static_cast<int>(e < 13.5 ? e - 1 : e - 13);
    t.year = static_cast<int>(t.month > 2.5 ? c - 4716 : c - 4715);
    t.hour = static_cast<int>(secondOfDay / 3600);
    t.minute = static_cast<int>(secondOfDay / 60 % 60);
    t.second = static_cast<int>(secondOfDay % 60);
    return t;
}

double MeanPhase(double julianDay, double k) {
    const double t = (julianDay - 2415020.0) * kCenturiesPerDay;
    const double t2 = t * t;
    return 2415020.75933 + kSynodicMonth * k + 0.0001178 * t2 - 0.000000155 * t2 * t +
           0.00033 * SinDegrees(166.56 + 132.87 * t - 0.009173 * t2);
}

double TruePhase(double k, double phase) {
    const double lunation = k + phase;
    const double t = lunation * kCenturiesPerLunation;
    const double t2 = t * t;
    const double t3 = t2 * t;
    double instant = 2415020.75933 + kSynodicMonth * lunation + 0.0001178 * t2 - 1.55e-7 * t3 +
                     0.00033 * PhaseSin(166.56 + 132.87 * t - 0.009173 * t2);
    const double m = 359.2242 + 29.10535608 * lunation - 3.33e-5 * t2 - 3.47e-6 * t3;
    const double mp = 306.0253 + 385.81691806 * lunation + 0.0107306 * t2 + 1.236e-5 * t3;
    const double f = 21.2964 + 390.67050646 * lunation - 0.0016528 * t2 - 2.39e-6 * t3;
    if (phase < 0.01 || std::fabs(phase - 0.5) < 0.01) {
        instant += (0.1734 - 0.000393 * t) * PhaseSin(m) + 0.0021 * PhaseSin(2 * m) -
                   0.4068 * PhaseSin(mp) + 0.0161 * PhaseSin(2 * mp) - 0.0004 * PhaseSin(3 * mp) +
                   0.0104 * PhaseSin(2 * f) - 0.0051 * PhaseSin(m + mp) -
                   0.0074 * PhaseSin(m - mp) + 0.0004 * PhaseSin(2 * f + m) -
                   0.0004 * PhaseSin(2 * f - m) - 0.0006 * PhaseSin(2 * f + mp) +
                   0.0010 * PhaseSin(2 * f - mp) + 0.0005 * PhaseSin(m + 2 * mp);
        return instant;
    }
    if (std::fabs(phase - 0.25) < 0.01 || std::fabs(phase - 0.75) < 0.01) {
        instant += (0.1721 - 0.0004 * t) * PhaseSin(m) + 0.0021 * PhaseSin(2 * m) -
                   0.6280 * PhaseSin(mp) + 0.0089 * PhaseSin(2 * mp) - 0.0004 * PhaseSin(3 * mp) +
                   0.0079 * PhaseSin(2 * f) - 0.0119 * PhaseSin(m + mp) -
                   0.0047 * PhaseSin(m - mp) + 0.0003 * PhaseSin(2 * f + m) -
                   0.0004 * PhaseSin(2 * f - m) - 0.0006 * PhaseSin(2 * f + mp) +
                   0.0021 * PhaseSin(2 * f - mp) + 0.0003 * PhaseSin(m + 2 * mp) +
                   0.0004 * PhaseSin(m - 2 * mp) - 0.0003 * PhaseSin(2 * m + mp);
        const double quarter = 0.0028 - 0.0004 * PhaseCos(m) + 0.0003 * PhaseCos(mp);
        instant += phase < 0.5 ? quarter : -quarter;
        return instant;
    }
    return 0;
}

Lunation PhaseHunt(double julianDay) {
    const CalendarTime before = JulianToCalendar(julianDay - 45);
    double k = std::floor((before.year + before.month / 12.0 - 1900) * 12.3685);
    double mean = MeanPhase(julianDay - 45, k);
    double date = mean;
    // The mean new moons of k and k + 1 straddle the instant; a few dozen steps at most
    // for any instant the calendar can name.
    for (int step = 0; step < 100; ++step) {
        date += kSynodicMonth;
        const double next = MeanPhase(date, k + 1);
        if (mean <= julianDay && next > julianDay)
            break;
        mean = next;
        k += 1;
    }
    Lunation lunation;
    lunation.newMoon = TruePhase(k, 0.0);
    lunation.firstQuarter = TruePhase(k, 0.25);
    lunation.fullMoon = TruePhase(k, 0.5);
    lunation.lastQuarter = TruePhase(k, 0.75);
    lunation.nextNewMoon = TruePhase(k + 1, 0.0);
    return lunation;
}

double SolveKepler(double meanAnomaly, double eccentricity) {
    const double m = meanAnomaly * kRadiansPerDegree;
    double e = m;
    for (int i = 0; i < 50; ++i) {
        const double delta = e - eccentricity * std::sin(e) - m;
        e -= delta / (1 - eccentricity * std::cos(e));
        if (std::fabs(delta) <= 1e-6)
            break;
    }
    return e;
}

MoonState MoonPosition(double julianDay) {
    const double day = julianDay - kEpoch;
    // The sun: mean anomaly, then its true longitude through Kepler's equation.
    const double n = FixAngle(360.0 / 365.2422 * day);
    const double sunAnomaly = FixAngle(n + kSunLongitudeAtEpoch - kSunPerigee);
    double ec = SolveKepler(sunAnomaly, kEarthEccentricity);
    ec = std::sqrt((1 + kEarthEccentricity) / (1 - kEarthEccentricity)) * std::tan(ec / 2);
    ec = 2 * std::atan(ec) / kRadiansPerDegree;
    const double sunLongitude = FixAngle(ec + kSunPerigee);
    // The moon: mean longitude and anomaly, then its periodic terms.
    const double meanLongitude = FixAngle(13.1763966 * day + kMoonMeanLongitudeAtEpoch);
    const double meanAnomaly = FixAngle(meanLongitude - 0.1114041 * day - kMoonPerigeeAtEpoch);
    const double evection = 1.2739 * SinDegrees(2 * (meanLongitude - sunLongitude) - meanAnomaly);
    const double annual = 0.1858 * SinDegrees(sunAnomaly);
    const double third = 0.37 * SinDegrees(sunAnomaly);
    const double correctedAnomaly = meanAnomaly + evection - annual - third;
    const double centre = 6.2886 * SinDegrees(correctedAnomaly);
    const double fourth = 0.214 * SinDegrees(2 * correctedAnomaly);
    const double longitude = meanLongitude + evection + centre - annual + fourth;
    const double variation = 0.6583 * SinDegrees(2 * (longitude - sunLongitude));
    const double trueLongitude = longitude + variation;
    const double phaseAngle = FixAngle(trueLongitude - sunLongitude);
    MoonState state;
    state.phase = phaseAngle / 360.0;
    state.ageDays = kSynodicMonth * state.phase;
    state.illuminated = (1 - std::cos(phaseAngle * kRadiansPerDegree)) / 2;
    return state;
}
