#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "pathlume/display/map_theme.h"
#include "pathlume/display/map_view.h"
#include "pathlume/foundation/registry_helpers.h"
#include "tests/support/temp_root.h"

namespace {

constexpr float kLon = 1.5236f;
constexpr float kLat = 42.5047f;
constexpr int kWidth = 240;
constexpr int kHeight = 268;

// A view without maps or main view, its transform computed for a position.
class ProjectionTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        g_screenScaleX.store(1.0f);
        g_screenScaleY.store(1.0f);
        g_screenWidth.store(kWidth);
        g_viewHeight.store(kHeight);
        g_options.store(0);
        g_map3DMode.store(0);
        g_mapTheme = CMapTheme();
    }
    void TearDown() override {
        g_options.store(0);
        g_map3DMode.store(0);
    }
    void Compute(CMapView& view, int zoom, float heading, int mode) {
        g_map3DMode.store(static_cast<DWORD>(mode));
        view.StoreZoomIndex(zoom);
        view.ResetViewSpan();
        view.Force();
        view.UpdateView(kLon, kLat, heading, nullptr, 0);
    }
};

TEST_F(ProjectionTest, VehicleSitsAtItsAnchorRow) {
    struct Case {
        bool northUp;
        int mode;
        int row;  // of the flat stage
    };
    const Case cases[] = {{false, 0, 160}, {true, 0, 134}, {false, 2, 233}, {true, 2, 214}};
    for (const Case& c : cases) {
        g_options.store(c.northUp ? kOptionNorthUp : 0);
        CMapView view(nullptr);
        Compute(view, 2, 30, c.mode);
        int x = 0, y = 0;
        EXPECT_EQ(view.WorldToScreen(kLon, kLat, &x, &y, 1, 0, nullptr, nullptr), 1);
        EXPECT_EQ(x, kWidth / 2);
        EXPECT_EQ(y, c.row) << c.northUp << " " << c.mode;
    }
}

TEST_F(ProjectionTest, NorthUpKeepsTheAxesApart) {
    g_options.store(kOptionNorthUp);
    CMapView view(nullptr);
    Compute(view, 3, 77, 0);
    int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    view.MapToScreen2D(kLon + 0.001f, kLat, &x1, &y1);
    view.MapToScreen2D(kLon + 0.001f, kLat + 0.002f, &x2, &y2);
    EXPECT_EQ(x1, x2);
    EXPECT_GT(y1, y2);
    view.MapToScreen2D(kLon - 0.001f, kLat, &x2, &y2);
    EXPECT_EQ(y1, y2);
    EXPECT_GT(x1, x2);
}

// Every pixel maps to a map point that maps back onto the same pixel.
TEST_F(ProjectionTest, InverseTransformsAreExact) {
    for (int mode : {0, 2}) {
        for (float heading : {0.0f, 90.0f, 225.0f}) {
            for (int zoom : {0, 2, 6}) {
                CMapView view(nullptr);
                Compute(view, zoom, heading, mode);
                const int top = mode ? view.GetSkyBandHeight() : 0;
                int misses = 0;
                for (int y = top; y < kHeight; y += 7) {
                    for (int x = 0; x < kWidth; x += 5) {
                        float lon = 0, lat = 0;
                        int bx = 0, by = 0;
                        if (mode) {
                            view.ScreenToWorld3D(x, y, &lon, &lat);
                            view.WorldToScreen(lon, lat, &bx, &by, 0, 0, nullptr, nullptr);
                        } else {
                            view.ScreenToWorld(x, y, &lon, &lat);
                            view.MapToScreen2D(lon, lat, &bx, &by);
                        }
                        // Near the 3D camera a pixel can be finer than a float
                        // step of the coordinates: the step's own image is allowed.
                        int slack = 0;
                        if (mode) {
                            const float stepLon = std::nextafter(lon, 1000.0f);
                            const float stepLat = std::nextafter(lat, 1000.0f);
                            int sx = 0, sy = 0, tx = 0, ty = 0;
                            view.WorldToScreen(stepLon, lat, &sx, &sy, 0, 0, nullptr, nullptr);
                            view.WorldToScreen(lon, stepLat, &tx, &ty, 0, 0, nullptr, nullptr);
                            slack = std::max({std::abs(sx - bx), std::abs(sy - by),
                                              std::abs(tx - bx), std::abs(ty - by)});
                        }
                        if (std::abs(bx - x) > slack || std::abs(by - y) > slack)
                            ++misses;
                    }
                }
                EXPECT_EQ(misses, 0)
                    << "mode " << mode << " heading " << heading << " zoom " << zoom;
            }
        }
    }
}

// The area seen covers every pixel of the map, ahead of the vehicle too.
TEST_F(ProjectionTest, AreaSeenCoversEveryPixel) {
    for (int mode : {0, 1, 2, 3}) {
        for (float heading : {0.0f, 90.0f, 225.0f}) {
            CMapView view(nullptr);
            Compute(view, 4, heading, mode);
            const float* b = view.ViewBounds();
            const int top = mode ? view.GetSkyBandHeight() : 0;
            for (int y = top; y < kHeight; y += 3) {
                for (int x = 0; x < kWidth; x += 3) {
                    float lon = 0, lat = 0;
                    if (mode)
                        view.ScreenToWorld3D(x, y, &lon, &lat);
                    else
                        view.ScreenToWorld(x, y, &lon, &lat);
                    // Rows near the horizon see further than the 3D area reaches.
                    if (mode && y < top + 2)
                        continue;
                    ASSERT_TRUE(lon >= b[0] && lon <= b[2] && -lat >= b[1] && -lat <= b[3])
                        << "mode " << mode << " heading " << heading << " pixel " << x << "," << y;
                }
            }
        }
    }
}

TEST_F(ProjectionTest, NearPlaneClampsAndClips) {
    CMapView view(nullptr);
    Compute(view, 2, 0, 2);
    int x = 0, y = 0;
    // Far below the map area the depth falls under the near plane.
    EXPECT_EQ(view.WorldToScreen(120.0f, kHeight + 400.0f, &x, &y, 0, 1, nullptr, nullptr), 0);
    EXPECT_EQ(view.WorldToScreen(120.0f, 100.0f, &x, &y, 0, 1, nullptr, nullptr), 1);

    // In 2D the clipped flat points are drawn as they are: rows at and below the near
    // row stay empty.
    g_map3DMode.store(0);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, kWidth, 400);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all = {0, 0, kWidth, 400};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    HBRUSH black = CreateSolidBrush(0);
    SelectObject(dc, black);
    const int q = kHeight + 25;
    POINT triangle[3] = {{20, 200}, {200, 200}, {110, 380}};
    POINT first{};
    ClipRibbon3D(view, dc, triangle, &first, 3, nullptr, 0, 0.5f, 0.8f);
    EXPECT_EQ(GetPixel(dc, 110, q - 3), 0u);
    EXPECT_EQ(GetPixel(dc, 110, q + 2), 0xFFFFFFu);
    EXPECT_EQ(GetPixel(dc, 110, 250), 0u);
    // A chain wholly at or below the near row draws nothing.
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    POINT below[3] = {{20, q}, {200, q + 40}, {110, q + 90}};
    ClipPolygon3D(view, dc, below, &first, 3, nullptr);
    EXPECT_EQ(first.x, 20);
    EXPECT_EQ(GetPixel(dc, 110, q + 30), 0xFFFFFFu);
    SelectObject(dc, old);
    DeleteObject(black);
    DeleteObject(bitmap);
    DeleteDC(dc);
}

TEST(RibbonTest, UntwistSwapsTheFarPointsOfCrossingEdges) {
    // Sides 0-1-2 and (reversed) 5-4-3: the first pair of edges crosses, the second
    // does not.
    POINT screen[6] = {{0, 0}, {10, 10}, {20, 10}, {20, 0}, {0, 10}, {10, 0}};
    MapPoint map[6];
    float floats[12];
    for (int i = 0; i < 6; ++i) {
        map[i] = {static_cast<float>(i), 0};
        floats[2 * i] = static_cast<float>(screen[i].x);
        floats[2 * i + 1] = static_cast<float>(screen[i].y);
    }
    POINT skipped[6];
    std::copy(screen, screen + 6, skipped);
    MapPoint skippedMap[6];
    std::copy(map, map + 6, skippedMap);
    CMapView::UntwistRibbon(skippedMap, 6, skipped, nullptr, true);
    EXPECT_EQ(skipped[1].x, 10);
    EXPECT_EQ(skipped[1].y, 10);

    CMapView::UntwistRibbon(map, 6, screen, floats, false);
    EXPECT_EQ(screen[1].x, 0);  // point 1 and its mirror 4 swapped places
    EXPECT_EQ(screen[1].y, 10);
    EXPECT_EQ(screen[4].x, 10);
    EXPECT_EQ(screen[4].y, 10);
    EXPECT_EQ(map[1].latitude, 4.0f);
    EXPECT_EQ(floats[2 * 1], 0.0f);
    EXPECT_EQ(screen[2].x, 20);  // the second pair did not cross
}

TEST_F(ProjectionTest, ZoomQueries) {
    CMapView view(nullptr);
    const int levels[][2] = {{-1, 5}, {0, 5}, {2, 5}, {3, 4},  {4, 4}, {5, 3},
                             {6, 2},  {8, 2}, {9, 1}, {16, 1}, {17, 5}};
    for (const auto& level : levels) {
        view.StoreZoomIndex(level[0]);
        view.ZoomToDetailLevel();
        EXPECT_EQ(view.GetDetailLevel(), level[1]) << level[0];
    }
    for (DWORD units : {DWORD{0}, kOptionMetric}) {
        g_options.store(units);
        view.StoreZoomIndex(5);  // 2000 m, 5280 ft
        EXPECT_TRUE(view.IsCloseZoom());
        view.StoreZoomIndex(6);
        EXPECT_FALSE(view.IsCloseZoom());
    }
}

TEST(LinkQueriesTest, DrawClassKeyAndMark) {
    struct Case {
        uint32_t roadClass;
        bool major;
        int drawClass;
    };
    const Case cases[] = {{0x000, false, 5}, {0x040, false, 3}, {0x040, true, 1},
                          {0x080, true, 2},  {0x0C0, false, 3}, {0x0C0, true, 2},
                          {0x100, false, 4}, {0x140, true, 2},  {0x1C0, false, 5}};
    for (const Case& c : cases) {
        MapLink link{};
        link.attributes = c.roadClass | 0x200;
        link.shapeInfo = c.major ? kShapeMajorRoad : 0;
        EXPECT_EQ(GetRoadDrawClass(link), c.drawClass) << c.roadClass << " " << c.major;
    }
    MapLink link{};
    link.attributes = 0xFFFFFFFF;
    link.shapeInfo = kShapeMajorRoad | 3;
    EXPECT_EQ(GetRecordDrawFlags(link), 0x819803C8u);
    SetRecordMarkFlag(link, 1);
    EXPECT_EQ(link.shapeInfo, kShapeMajorRoad | kShapeDrawn | 3);
    SetRecordMarkFlag(link, 0);
    EXPECT_EQ(link.shapeInfo, kShapeMajorRoad | 3);
}

TEST(LinkQueriesTest, FastAtan2FollowsTheQuadrants) {
    EXPECT_EQ(FastAtan2(0, 0), 0.0f);
    for (int degrees = -179; degrees <= 180; degrees += 7) {
        const float r = degrees * 0.017453292f;
        const float y = std::sin(r), x = std::cos(r);
        float diff = FastAtan2(y, x) - std::atan2(y, x);
        if (diff > 3.14159f)
            diff -= 6.2831853f;
        if (diff < -3.14159f)
            diff += 6.2831853f;
        EXPECT_LT(std::fabs(diff), 0.08f) << degrees;
    }
}

TEST(LinkQueriesTest, SegmentMayCrossRect) {
    // The rectangle: longitudes 0..10, negated latitudes 0..10 (latitudes -10..0).
    struct Case {
        float x1, y1, x2, y2;
        int result;
    };
    const Case cases[] = {
        {5, -5, 5, -5, 1},    // inside
        {-5, -5, 15, -5, 1},  // across, left to right
        {5, 5, 5, -15, 1},    // across, above to below
        {-5, 5, 15, -15, 1},  // diagonal through
        {-5, -5, -1, -8, 0},  // all left
        {12, 3, 14, 8, 0},    // right and above
        {-5, 3, 15, 3, 0},    // above, spanning the width
    };
    for (const Case& c : cases)
        EXPECT_EQ(SegmentMayCrossRect(c.x1, c.y1, c.x2, c.y2, 0, 0, 10, 10), c.result)
            << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2;
}

}  // namespace
