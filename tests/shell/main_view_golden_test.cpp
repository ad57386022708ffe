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
#include "pathlume/shell/hotkey_table.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/clock.h"
#include "platform/user/user.h"
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
    // The program started at the screen set on the town's maps, its view.
    CMainView* StartOn(const ScreenSet& set) {
        platform::SetScreenMode(set.width, set.height, set.dpi);
        InstallTownMaps();
        InstallVoiceFiles();
        platform::UseManualClock(true);
        if (!Start(u"nowarning", std::vector<UINT>{}))
            return nullptr;
        Pump();
        auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
        return frame ? &frame->View() : nullptr;
    }
};

TEST_P(MapScreenGoldenTest, MapScreenWithARoute) {
    const ScreenSet set = GetParam();
    CMainView* started = StartOn(set);
    ASSERT_NE(started, nullptr);
    CMainView& view = *started;
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

// The ring menu (the menu button), the hotkey dialog with two bound buttons, and the
// map after North Up: each taken while it is on the screen.
TEST_P(MapScreenGoldenTest, RingMenuHotkeyDialogAndNorthUp) {
    const ScreenSet set = GetParam();
    // What earlier tests of the process may have changed.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", 0x5005 & ~kOptionNorthUp);
    for (const auto& [value, data] : {std::pair<const char16_t*, DWORD>{u"ZoomIndex", 2},
                                      {u"3DMode", 0},
                                      {u"POIIconMode", 0},
                                      {u"StatBoxMode", 1}})
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, value, data);
    CMainView* started = StartOn(set);
    ASSERT_NE(started, nullptr);
    CMainView& view = *started;
    const std::filesystem::path golden =
        testing_support::RepositoryFolder() / "tests" / "shell" / "golden";

    // Whatever is on the screen when the modal screen is first idle, then Escape.
    auto shootThenEscape = [&](const std::string& name) {
        platform::CallWhenIdle(view.GetViewWindow(), [&, name] {
            EXPECT_TRUE(screen_testing::ScreenMatchesGolden(golden, name + "_" + set.name));
            platform::PostKeyPress(VK_ESCAPE);
        });
    };
    shootThenEscape("ring_menu");
    view.OnMenuScreen();
    Pump();

    g_hotkeyTable.SetEntry(0, VK_APP2, kHotkeyMute);
    g_hotkeyTable.SetEntry(1, VK_RETURN, kHotkeyMenu);
    shootThenEscape("hotkey_dialog");
    view.OnHotkeyOptions();
    Pump();
    g_hotkeyTable = CHotkeyTable();

    // Heading east on the route: north up keeps the map upright and turns the car.
    MapPoint start;
    ASSERT_TRUE(RouteAcrossTown(view, 1, &start));
    CloseReceiverPort();
    g_gpsReceiver.load()->UpdateFix([&](GpsFix& fix) {
        fix.valid = true;
        fix.satellitesUsed = 8;
        fix.fixMode = kFixMode3D;
        fix.latitude = start.latitude;
        fix.longitude = start.longitude;
        fix.headingDegrees = 90;
        fix.speedMph = 10;
    });
    g_gpsReceiver.load()->SetLastSentenceTick(GetTickCount());
    view.SendMessage(WM_COMMAND, 3061);
    EXPECT_TRUE(g_options.load() & kOptionNorthUp);
    Pump();
    EXPECT_TRUE(
        screen_testing::ScreenMatchesGolden(golden, "map_north_up_" + std::string(set.name)));
}

INSTANTIATE_TEST_SUITE_P(ScreenSets, MapScreenGoldenTest,
                         testing::Values(ScreenSet{"qvga", 240, 320, 96},
                                         ScreenSet{"vga", 480, 640, 192}),
                         [](const testing::TestParamInfo<ScreenSet>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace shell_test
