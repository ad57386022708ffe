// The flat point distance and the map view's projections.
#include "pathlume/mapdb/geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

TEST(GeometryTest, PointDistance) {
    const MapPoint a{10.0f, 20.0f};
    const MapPoint b{11.0f, 20.0f};
    for (double c : {0.0, 0.5, 1.0})
        EXPECT_NEAR(PointDistance(a, b, c), 0.017453292, 1e-8) << c;
    const MapPoint east{10.0f, 21.0f};
    EXPECT_NEAR(PointDistance(a, east, 0.0), 0.017453292 * std::cos(10.0 * 0.017453292), 1e-7);
    EXPECT_NEAR(PointDistance(a, east, 0.5), 0.017453292 * 0.5, 1e-8);
}

TEST(GeometryTest, ProjectionsOfTheMapView) {
    MapViewValues view;
    view.centreLongitude = 10.0f;
    view.centreLatitude = 50.0f;
    view.a = 1000.0f;
    view.c = 2000.0f;
    view.screenCentreX = 120;
    view.screenCentreY = 160;
    view.offsetX = 0.5f;
    int32_t ix, iy;
    FLOAT fx, fy;
    // Offsets that floats hold exactly.
    EXPECT_EQ(ProjectToScreen3D(view, 10.25f, 49.75f, &ix, &iy, &fx, &fy), iy);
    EXPECT_EQ(fx, 0.25f * 1000 + 120.5f);
    EXPECT_EQ(fy, 0.25f * 2000 + 160);
    EXPECT_EQ(ix, 370);
    EXPECT_EQ(iy, 660);
    // Rotation terms count only when d is non-zero.
    view.b = 100.0f;
    ProjectToScreen3D(view, 10.25f, 49.75f, &ix, &iy, &fx, &fy);
    EXPECT_EQ(ix, 370);
    view.d = 100.0f;
    ProjectToScreen3D(view, 10.25f, 49.75f, &ix, &iy, &fx, &fy);
    EXPECT_EQ(fx, 250 + 25 + 120.5f);
    EXPECT_EQ(fy, 500 - 25 + 160);
    EXPECT_EQ(ix, 395);
    EXPECT_EQ(iy, 635);

    view.width = 240;
    view.height = 320;
    view.cameraDistance = 400.0f;
    view.nearDistance = 100.0f;
    int32_t sx, sy;
    // The bottom row projects onto itself: h = 0, z = camera distance.
    ProjectToScreen(view, 120.0f, 320.0f, &sx, &sy, 0, 0.0f, 1.0f);
    EXPECT_EQ(sx, 120);
    EXPECT_EQ(sy, 160);
    ProjectToScreen(view, 220.0f, 320.0f, &sx, &sy, 5, 0.0f, 1.0f);
    EXPECT_EQ(sx, static_cast<int32_t>(320.0f * 100.0f / 400.0f + 120.0f));
    EXPECT_EQ(sy, 165);
    // A depth of 0 puts the near row at infinity: the point is held at the near
    // distance and the row saturates instead of wrapping or turning into NaN.
    view.cameraDistance = 0.0f;
    ProjectToScreen(view, 0.0f, 0.0f, &sx, &sy, 0, 1.0f, 0.0f);
    EXPECT_EQ(sx, static_cast<int32_t>(320.0f * -120.0f / 100.0f + 120.0f));
    EXPECT_EQ(sy, INT32_MAX);
}

}  // namespace
