// The moon for the almanac: calendar dates to Julian days and back, the mean and
// true instants of the lunar phases, the lunation around an instant, and the moon's
// age and lit share. Pure functions in double precision; every instant is
// universal time, angles are degrees unless said.
#pragma once

// A calendar date and time of day (Gregorian from 15 October 1582 on).
struct CalendarTime {
    int year = 0;
    int month = 0;  // 1 to 12
    int day = 0;    // 1 to 31
    int hour = 0;
    int minute = 0;
    int second = 0;
};

// The Julian day of a date and time.
double JulianDay(int year, int month, int day, int hour, int minute, int second);
inline double JulianDay(const CalendarTime& t) {
    return JulianDay(t.year, t.month, t.day, t.hour, t.minute, t.second);
}
// The date and time of a Julian day, to the nearest second.
CalendarTime JulianToCalendar(double julianDay);

// The mean new moon of lunation k (counted from January 1900), with the century
// terms taken at julianDay.
double MeanPhase(double julianDay, double k);
// The true instant of a phase of lunation k: 0.0 new, 0.25 first quarter, 0.5 full,
// 0.75 last quarter. Any other phase gives 0.
double TruePhase(double k, double phase);

// The lunation around an instant: its new moon at or before it, its quarters and
// full moon, and the next new moon.
struct Lunation {
    double newMoon = 0;
    double firstQuarter = 0;
    double fullMoon = 0;
    double lastQuarter = 0;
    double nextNewMoon = 0;
};
Lunation PhaseHunt(double julianDay);

// The moon at an instant: its age in days since new moon, the lit share of its disc
// (0 to 1) and its phase as a fraction of the cycle (0 new, 0.5 full).
struct MoonState {
    double ageDays = 0;
    double illuminated = 0;
    double phase = 0;
};
MoonState MoonPosition(double julianDay);

// The eccentric anomaly (radians) of a mean anomaly (degrees) on an orbit of the
// eccentricity, to within 1e-6 radians.
double SolveKepler(double meanAnomaly, double eccentricity);
