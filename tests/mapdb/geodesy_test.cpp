// Geodesic helpers and distance texts.
#include "pathlume/mapdb/geodesy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "pathlume/foundation/app_services.h"

namespace {

constexpr double kPi = 3.14159265358979;

TEST(GeodesyTest, DistanceAndBearing) {
    const MapPoint origin{0, 0};
    const MapPoint same{0, 0};
    EXPECT_EQ(GeoDistance(origin, same), 0.0f);
    EXPECT_NEAR(GeoDistance(origin, MapPoint{0, 1}), 0.017453292, 1e-6);
    EXPECT_EQ(GeoBearing(origin, origin), 0.0f);
    EXPECT_EQ(GeoBearing(origin, same), 0.0f);
    EXPECT_NEAR(GeoBearing(origin, MapPoint{1, 0}), 0.0, 1e-6);
    EXPECT_NEAR(GeoBearing(origin, MapPoint{0, 1}), kPi / 2, 1e-6);
    EXPECT_NEAR(GeoBearing(origin, MapPoint{0, -1}), 3 * kPi / 2, 1e-6);
    EXPECT_NEAR(GeoBearing(origin, MapPoint{-1, 0}), kPi, 1e-6);

    // Near the antipode the rounding must not make a NaN.
    const MapPoint pairs[][2] = {{{0, 0}, {0, 180}},
                                 {{10, 20}, {-10, -160}},
                                 {{45.5f, -100.25f}, {-45.5f, 79.75f}},
                                 {{89.9999f, 0}, {-89.9999f, 180}},
                                 {{30, 40}, {-30.00001f, -140.00001f}}};
    for (const auto& pair : pairs) {
        const FLOAT d = GeoDistance(pair[0], pair[1]);
        EXPECT_FALSE(std::isnan(d));
        EXPECT_NEAR(d, kPi, 1e-3);
        EXPECT_FALSE(std::isnan(GeoBearing(pair[0], pair[1])));
    }
    // From the pole every direction is defined too.
    EXPECT_FALSE(std::isnan(GeoBearing(MapPoint{90, 0}, MapPoint{10, 10})));
}

TEST(GeodesyTest, NmeaCoordinates) {
    EXPECT_NEAR(ParseNmeaCoordinate("4807.038"), 48.1173, 1e-4);
    EXPECT_NEAR(ParseNmeaCoordinate("01131.000"), 11.516667, 1e-5);
    EXPECT_NEAR(ParseNmeaCoordinate("12000.000"), 120.0, 1e-5);
    EXPECT_EQ(ParseNmeaCoordinate("x"), 0.0f);
}

TEST(GeodesyTest, SideOfLinkAndTurnAngle) {
    // A northbound link with one shape point.
    MapNode from{}, to{};
    from.position = {0, 0};
    to.position = {2, 0};
    MapPoint shape[] = {{1, 0}};
    MapLink link{};
    link.fromNode = &from;
    link.toNode = &to;
    EXPECT_EQ(PointSideOfLink(&link, 0, MapPoint{0.5f, -0.1f}), 1);  // west: left
    EXPECT_EQ(PointSideOfLink(&link, 0, MapPoint{0.5f, 0.1f}), -1);
    EXPECT_EQ(PointSideOfLink(&link, 0, MapPoint{0.5f, 0}), 0);
    link.shapePoints = shape;
    link.shapeInfo = 1;
    to.position = {1, 1};  // segment 1 runs east from the shape point
    EXPECT_EQ(PointSideOfLink(&link, 1, MapPoint{1.5f, 0.5f}), 1);  // north of eastbound: left
    EXPECT_EQ(PointSideOfLink(&link, 0, MapPoint{0.5f, -0.1f}), 1);

    const MapPoint a{0, 0}, b{1, 0};
    EXPECT_NEAR(ApproxTurnAngle(a, b, MapPoint{2, 0}), 0.0, 1e-6);
    EXPECT_NEAR(ApproxTurnAngle(a, b, MapPoint{1, 1}), kPi / 2, 1e-6);
    EXPECT_NEAR(ApproxTurnAngle(a, b, MapPoint{1, -1}), -kPi / 2, 1e-6);
    EXPECT_NEAR(ApproxTurnAngle(a, b, a), -3 * kPi / 4, 1e-6);
    EXPECT_NEAR(ApproxTurnAngle(a, b, MapPoint{2, 1}), 45 * 0.017453292 * std::cos(0.017453292),
                1e-2);
}

TEST(GeodesyTest, DistanceTexts) {
    const double mi = 1 / kEarthRadiusMiles;
    const double km = 1 / kEarthRadiusKm;
    struct Case {
        double angle;
        DWORD options;
        const char* text;
    };
    const Case cases[] = {
        {0.017453292, 0, "69 mi"},
        {0.017453292, kOptionMetric, "111 km"},
        {0.2 * mi, 0, "1050 ft"},
        {0.2 * mi, kOptionYards, "350 yd"},
        {0.25 * mi, kOptionYards, "440 yd"},
        {0.25 * mi, 0, "0.2 mi"},
        {0.3 * mi, kOptionYards, "0.3 mi"},
        {0.0009 * mi, 0, "0 ft"},
        {9.94 * mi, 0, "9.9 mi"},
        {10.4 * mi, 0, "10 mi"},
        {0.994 * km, kOptionMetric, "990 m"},
        {0.0049 * km, kOptionMetric, "0 m"},
        {9.96 * km, kOptionMetric, "10.0 km"},
        {1.25 * km, kOptionMetric | kOptionYards, "1.2 km"},
        {0.0, 0, "0 ft"},
    };
    const DWORD saved = g_options.load();
    char buffer[kDistanceTextSize];
    for (const Case& c : cases) {
        g_options.store(c.options);
        EXPECT_STREQ(FormatDistance(static_cast<FLOAT>(c.angle), buffer), c.text)
            << c.angle << " options " << c.options;
    }
    // A huge distance fits the buffer.
    g_options.store(0);
    EXPECT_LT(std::string(FormatDistance(3.0e38f, buffer)).size(), kDistanceTextSize);
    g_options.store(saved);
}

}  // namespace
