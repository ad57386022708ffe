// The map screen with a route, drawn by the running program at QVGA and VGA and
// compared with golden pictures (tests/shell/golden; PATHLUME_UPDATE_GOLDEN=1
// rewrites them, on purpose and with a reason in the commit).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/clock.h"
#include "tests/foundation/screen_test_support.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"
#include "tests/support/shared_data.h"

namespace shell_test {
namespace {

struct ScreenSet {
    const char* name;
    int width;
    int height;
    int dpi;
};

class MapScreenGoldenTest : public AppTest, public testing::WithParamInterface<ScreenSet> {
  protected:
    static void SetUpTestSuite() { route_test::RouteTownMaps(); }
    void TearDown() override {
        if (app_)
            Close();
        platform::UseManualClock(false);
        platform::SetScreenMode(240, 320, 96);
    }
};

// A point of the town, as fractions of its extent from its south-west corner.
MapPoint TownPoint(double east, double north) {
    MapPoint low{90, 180}, high{-90, -180};
    for (const discmaker::Node& node : route_test::RouteTown().nodes) {
        low.latitude = std::min<FLOAT>(low.latitude, node.position.lat);
        low.longitude = std::min<FLOAT>(low.longitude, node.position.lon);
        high.latitude = std::max<FLOAT>(high.latitude, node.position.lat);
        high.longitude = std::max<FLOAT>(high.longitude, node.position.lon);
    }
    return {static_cast<FLOAT>(low.latitude + north * (high.latitude - low.latitude)),
            static_cast<FLOAT>(low.longitude + east * (high.longitude - low.longitude))};
}

TEST_P(MapScreenGoldenTest, MapScreenWithARoute) {
    const ScreenSet set = GetParam();
    platform::SetScreenMode(set.width, set.height, set.dpi);
    InstallTownMaps();
    InstallVoiceFiles();
    platform::UseManualClock(true);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    Pump();
    auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    CMainView& view = frame->View();
    ASSERT_NE(g_router, nullptr);

    // The vehicle stands at the route's start; the route runs across the town.
    LinkSnap to = SnapToNearestLink(g_mapDatabase, TownPoint(0.55, 0.6), 1000);
    ASSERT_TRUE(to.Found());
    MapLink toLink = *to.link;
    LinkSnap from = SnapToNearestLink(g_mapDatabase, TownPoint(0.45, 0.4), 1000);
    ASSERT_TRUE(from.Found());
    PlaceVehicleAt(g_mapDatabase, from.link, static_cast<int32_t>(from.segment), from.point);
    view.SetPanMode(FALSE);
    from = SnapToNearestLink(g_mapDatabase, from.point, 1000);
    ASSERT_TRUE(from.Found());
    MapLink fromLink = *from.link;
    g_router->CalculateRoute(&fromLink, from.segment, from.point, SnappedTarget(to, &toLink), 0, 1);
    ASSERT_TRUE(g_router->state & kRouterRouteState);
    // One guidance update at the start: the distances and the time to go.
    GetRouteGuidance().UpdateGuidance(*g_router, 1);
    view.statBoxMode = kStatBoxRemaining;
    view.forceRedraw = TRUE;
    view.Refresh();
    Pump();
    EXPECT_TRUE(screen_testing::ScreenMatchesGolden(
        testing_support::RepositoryFolder() / "tests" / "shell" / "golden",
        std::string("map_screen_route_") + set.name));
}

INSTANTIATE_TEST_SUITE_P(ScreenSets, MapScreenGoldenTest,
                         testing::Values(ScreenSet{"qvga", 240, 320, 96},
                                         ScreenSet{"vga", 480, 640, 192}),
                         [](const testing::TestParamInfo<ScreenSet>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace shell_test
