#include "pathlume/mapdb/geodesy.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "pathlume/foundation/app_services.h"

namespace {

constexpr FLOAT kDegToRad = 0.017453292f;
constexpr double kTwoPiF = 6.2831854820251465;  // 2 pi as the f32 nearest it
constexpr FLOAT kPi = 3.1415927f;
constexpr FLOAT kTwoPi = 6.2831855f;
constexpr FLOAT kMaxTurn = 2.3561945f;  // 135 degrees

// Rounding half away from zero, as a whole number.
long long RoundAway(double value) {
    return std::llround(value);
}

}  // namespace

FLOAT GeoDistance(const MapPoint& p1, const MapPoint& p2) {
    const FLOAT s1 = static_cast<FLOAT>(std::sin(0.5f * (p2.latitude - p1.latitude) * kDegToRad));
    const FLOAT s2 = static_cast<FLOAT>(std::sin(0.5f * (p2.longitude - p1.longitude) * kDegToRad));
    FLOAT a = static_cast<FLOAT>(double{s2} * s2 * std::cos(p2.latitude * kDegToRad) *
                                     std::cos(p1.latitude * kDegToRad) +
                                 double{s1} * s1);
    // Rounding can carry a past 1 for points near the antipode, and sqrt(1 - a) would
    // then be NaN.
    if (a > 1.0f)
        a = 1.0f;
    if (a < 0.0f)
        a = 0.0f;
    return static_cast<FLOAT>(2.0 * std::atan2(std::sqrt(double{a}), std::sqrt(1.0 - a)));
}

FLOAT GeoBearing(const MapPoint& p1, const MapPoint& p2) {
    if (&p1 == &p2)
        return 0;
    const FLOAT d = GeoDistance(p1, p2);
    if (d == 0)
        return 0;
    double c =
        (std::sin(p2.latitude * kDegToRad) - std::cos(d) * std::sin(p1.latitude * kDegToRad)) /
        (std::cos(p1.latitude * kDegToRad) * std::sin(d));
    if (!(c == c))
        c = 1.0;
    if (c > 1.0)
        c = 1.0;
    if (c < -1.0)
        c = -1.0;
    const double theta = std::acos(c);
    if (std::sin((p2.longitude - p1.longitude) * kDegToRad) < 0)
        return static_cast<FLOAT>(kTwoPiF - theta);
    return static_cast<FLOAT>(theta);
}

FLOAT ParseNmeaCoordinate(const char* text) {
    float v = 0;
    if (!text || std::sscanf(text, "%f", &v) != 1)
        return 0;
    const double degrees = std::floor(v * 0.01);
    const double minutes = v - degrees * 100;
    return static_cast<FLOAT>(degrees + minutes * 0.016666666666666666);
}

int PointSideOfLink(const MapLink* link, int segment, const MapPoint& point) {
    if (!link || !link->fromNode || !link->toNode)
        return 0;
    const int count = static_cast<int>(link->GetShapePointCount());
    MapPoint a = link->fromNode->position;
    MapPoint b = link->toNode->position;
    if (count > 0) {
        if (segment < 0)
            segment = 0;
        if (segment > count)
            segment = count;
        a = segment == 0 ? link->fromNode->position : link->shapePoints[segment - 1];
        b = segment == count ? link->toNode->position : link->shapePoints[segment];
    }
    const double cross = double{point.latitude - a.latitude} * (b.longitude - a.longitude) -
                         double{point.longitude - a.longitude} * (b.latitude - a.latitude);
    return cross > 0 ? 1 : cross < 0 ? -1 : 0;
}

FLOAT ApproxTurnAngle(const MapPoint& a, const MapPoint& b, const MapPoint& c) {
    const FLOAT k = std::cos(b.latitude * kDegToRad);
    const FLOAT uLat = a.latitude - b.latitude;
    const FLOAT uLon = (a.longitude - b.longitude) * k;
    const FLOAT wLat = c.latitude - b.latitude;
    const FLOAT wLon = (c.longitude - b.longitude) * k;
    const FLOAT p = -(uLat * wLat + uLon * wLon);
    const FLOAT q = wLat * uLon - wLon * uLat;
    FLOAT degrees = 0;
    if (std::fabs(q) > std::fabs(p)) {
        degrees = q > 0 ? 90 - 45 * p / q : -90 - 45 * p / q;
    } else if (p > 0) {
        degrees = 45 * q / p;
    } else if (p < 0) {
        degrees = 45 * q / p + 180;
        if (degrees >= 180)
            degrees -= 360;
    }
    FLOAT angle = degrees * kDegToRad;
    while (angle > kPi)
        angle -= kTwoPi;
    while (angle < -kPi)
        angle += kTwoPi;
    if (angle > kMaxTurn)
        angle = kMaxTurn;
    if (angle < -kMaxTurn)
        angle = -kMaxTurn;
    return angle;
}

char* FormatDistance(FLOAT angle, char* buffer, size_t size) {
    const DWORD options = g_options.load();
    if (!(options & kOptionMetric)) {
        const FLOAT miles = static_cast<FLOAT>(angle * kEarthRadiusMiles);
        if ((options & kOptionYards) && miles < 0.284f) {
            const long long yards = RoundAway(double{miles} * 5280) / 3;
            std::snprintf(buffer, size, "%d yd", static_cast<int>(yards / 10 * 10));
        } else if (!(options & kOptionYards) && miles < 0.228f) {
            const long long feet = RoundAway(double{miles} * 5280);
            std::snprintf(buffer, size, "%d ft", static_cast<int>(feet / 10 * 10));
        } else {
            std::snprintf(buffer, size, miles >= 10 ? "%0.0f mi" : "%0.1f mi", double{miles});
        }
    } else {
        const FLOAT km = static_cast<FLOAT>(angle * kEarthRadiusKm);
        if (km < 1.0f) {
            const long long metres = RoundAway(double{km} * 1000);
            std::snprintf(buffer, size, "%d m", static_cast<int>(metres / 10 * 10));
        } else {
            std::snprintf(buffer, size, km >= 10 ? "%0.0f km" : "%0.1f km", double{km});
        }
    }
    return buffer;
}
