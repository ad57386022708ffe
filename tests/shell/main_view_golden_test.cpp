// The map screen with a route, drawn by the running program at QVGA and VGA and
// compared with golden pictures (tests/shell/golden; PATHLUME_UPDATE_GOLDEN=1
// rewrites them, on purpose and with a reason in the commit).
#include <gtest/gtest.h>

#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/clock.h"
#include "tests/foundation/screen_test_support.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"
#include "tests/shell/town_route.h"
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

TEST_P(MapScreenGoldenTest, MapScreenWithARoute) {
    const ScreenSet set = GetParam();
    platform::SetScreenMode(set.width, set.height, set.dpi);
    InstallTownMaps();
    InstallVoiceFiles();
    platform::UseManualClock(true);
    // The map screen stays: the guidance screen would come up near the first turn.
    const DWORD options = RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", kDefaultOptions);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", options & ~kOptionAutoGuidance);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    Pump();
    auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    CMainView& view = frame->View();
    ASSERT_NE(g_router, nullptr);

    // The vehicle stands at the route's start; the route runs across the town.
    MapPoint start;
    ASSERT_TRUE(RouteAcrossTown(view, 1, &start));
    // A good fix at the start, the port closed so that nothing else writes it.
    CloseReceiverPort();
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    ASSERT_NE(receiver, nullptr);
    receiver->UpdateFix([&](GpsFix& fix) {
        fix.valid = true;
        fix.satellitesUsed = 8;
        fix.fixMode = kFixMode3D;
        fix.hdop = 1.0f;
        fix.latitude = start.latitude;
        fix.longitude = start.longitude;
        fix.speedMph = 0;
    });
    receiver->SetFlags(kGpsMoved);
    receiver->SetLastSentenceTick(GetTickCount());
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
