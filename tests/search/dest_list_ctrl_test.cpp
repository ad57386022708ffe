// The destination list's bearing arrow: its direction in steps of 45 degrees relative
// to the direction of travel, and its shape turned about the square's centre.
#include "pathlume/search/dest_list_ctrl.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

double Radians(double degrees) {
    return degrees * kPi / 180.0;
}

TEST(DestListArrowTest, TheNearestStepOf45DegreesStraightUpMeaningAhead) {
    const struct {
        double bearing;  // degrees
        double heading;  // degrees
        int sector;
    } cases[] = {
        {0, 0, 0},    {20, 0, 0},  {25, 0, 1},  {180, 0, 4},  {90, 90, 0},
        {270, 90, 4}, {350, 0, 0}, {337, 0, 7}, {10, 350, 0}, {100, 10, 2},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ArrowSector(Radians(c.bearing), c.heading), c.sector)
            << c.bearing << " from " << c.heading;
}

TEST(DestListArrowTest, TheBearingFromOnePlaceToAnother) {
    const MapPoint here{42.5f, 1.5f};
    EXPECT_NEAR(BearingRadians(here, MapPoint{42.6f, 1.5f}), 0.0, 1e-3);
    EXPECT_NEAR(BearingRadians(here, MapPoint{42.5f, 1.6f}), kPi / 2, 1e-2);
    EXPECT_NEAR(BearingRadians(here, MapPoint{42.4f, 1.5f}), kPi, 1e-3);
}

TEST(DestListArrowTest, TheArrowPointsUpAndTurnsAboutTheCentre) {
    const auto up = ArrowPolygon(20, 20, 1.0f, 0);
    EXPECT_EQ(up[0].x, 20);
    EXPECT_EQ(up[0].y, 20 - 12);  // the tip, half the 25-pixel length up
    EXPECT_EQ(up[3].y, 20 + 12);
    const auto down = ArrowPolygon(20, 20, 1.0f, 4);
    EXPECT_EQ(down[0].x, 20);
    EXPECT_EQ(down[0].y, 20 + 12);
    const auto right = ArrowPolygon(20, 20, 1.0f, 2);
    EXPECT_EQ(right[0].x, 20 + 12);
    EXPECT_EQ(right[0].y, 20);
    // Twice the size at twice the scale.
    EXPECT_EQ(ArrowPolygon(40, 40, 2.0f, 0)[0].y, 40 - 25);
}

}  // namespace
