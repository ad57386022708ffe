// The map screen's keys, taps and hotkey commands in the running program: what each
// key runs, the screens the direction keys step through, each command code reaching
// its action, and a command that comes while another runs.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/mapdb/poi_file.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/hotkey_table.h"
#include "platform/user/user.h"
#include "tests/shell/recorded_words.h"
#include "tests/shell/running_view.h"
#include "tests/shell/town_route.h"

namespace shell_test {
namespace {

// A plain child screen for the modes whose screens are made elsewhere.
CChildScreen* MakePlainScreen(CMainView& view, UINT controlId) {
    auto* screen = new CChildScreen;
    RECT client{};
    view.GetClientRect(&client);
    screen->Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE, CRect(client), &view, controlId);
    return screen;
}

class MapKeysTest : public RunningViewTest {
  protected:
    void SetUp() override {
        RunningViewTest::SetUp();
        for (DWORD mode : {kScreenGpsInfo, kScreenGuidance, kScreenRouteList, kScreenAlmanac})
            SetScreenMaker(mode, MakePlainScreen);
    }
    void TearDown() override {
        for (DWORD mode : {kScreenGpsInfo, kScreenGuidance, kScreenRouteList, kScreenAlmanac})
            SetScreenMaker(mode, nullptr);
        RunningViewTest::TearDown();
    }
    void Key(UINT key) {
        view_->SendMessage(WM_KEYDOWN, key, 1);
        Pump();
    }
};

// Right and Left step through map, guidance and route list (with a route); GPS
// information and the almanac are not in the round.
TEST_F(MapKeysTest, DirectionKeysStepTheScreensAndZoom) {
    Key(VK_RIGHT);
    EXPECT_EQ(view_->GetScreenMode(), kScreenGuidance);
    Key(VK_RIGHT);  // no route: the route list is skipped
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    Key(VK_LEFT);
    EXPECT_EQ(view_->GetScreenMode(), kScreenGuidance);
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    view_->SwitchScreen(kScreenMap);
    Key(VK_RIGHT);
    Key(VK_RIGHT);
    EXPECT_EQ(view_->GetScreenMode(), kScreenRouteList);
    Key(VK_RIGHT);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    Key(VK_LEFT);
    EXPECT_EQ(view_->GetScreenMode(), kScreenRouteList);
    view_->SwitchScreen(kScreenMap);

    const int zoom = view_->MapView().GetZoomIndex();
    Key(VK_DOWN);
    EXPECT_EQ(view_->MapView().GetZoomIndex(), zoom + 1);
    Key(VK_UP);
    EXPECT_EQ(view_->MapView().GetZoomIndex(), zoom);
}

// "Route List" twice keeps the route list; its hotkey toggles; "GPS Info" on its own
// screen returns to the map.
TEST_F(MapKeysTest, ViewCommandsSwitchAndToggleTheScreens) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    for (int i = 0; i < 2; ++i) {
        view_->SendMessage(WM_COMMAND, 3012);
        EXPECT_EQ(view_->GetScreenMode(), kScreenRouteList);
    }
    view_->ExecuteCommand(kHotkeyRouteList);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    view_->SendMessage(WM_COMMAND, 3015);
    EXPECT_EQ(view_->GetScreenMode(), kScreenGpsInfo);
    view_->SendMessage(WM_COMMAND, 3015);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    view_->SendMessage(WM_COMMAND, 3030);
    EXPECT_EQ(view_->GetScreenMode(), kScreenAlmanac);
    view_->SendMessage(WM_COMMAND, 3014);
    EXPECT_EQ(view_->GetScreenMode(), kScreenGuidance);
    view_->SendMessage(WM_COMMAND, 3018);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
}

// '3' switches the 3D view on with the remembered mode (2 the first time) and off;
// a remembered mode of 4 or more switches it off.
TEST_F(MapKeysTest, ThreeSwitchesTheThreeDViewWithTheRememberedMode) {
    struct Case {
        DWORD before, memory, after;
    };
    const Case cases[] = {{0, 2, 2}, {2, 2, 0}, {0, 1, 1}, {0, 4, 0}, {3, 3, 0}};
    for (const Case& c : cases) {
        g_map3DMode.store(c.before);
        view_->Set3DModeMemory(c.memory);
        Key('3');
        EXPECT_EQ(g_map3DMode.load(), c.after) << c.before << " " << c.memory;
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"3DMode", 9), c.after);
    }
    g_map3DMode.store(0);
}

// Every command code reaches its action.
TEST_F(MapKeysTest, EachCommandCodeReachesItsAction) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    struct Case {
        int code;
        const char* slot;
    };
    const Case dialogs[] = {
        {kHotkeyCustomizePoiIcons, "poiFilter"},   {kHotkeyDetour, "avoidRoads"},
        {kHotkeyDisplayOptions, "displayOptions"}, {kHotkeyEnterDestination, "routeManagement"},
        {kHotkeyRouteOptions, "routeOptions"},     {kHotkeySpeedAlert, "speedAlert"},
        {kHotkeyVolume, "guidanceVolume"},
    };
    for (const Case& c : dialogs) {
        recorder_.calls.clear();
        view_->ExecuteCommand(c.code);
        ASSERT_FALSE(recorder_.calls.empty()) << c.code;
        EXPECT_EQ(recorder_.calls[0], c.slot) << c.code;
        EXPECT_EQ(view_->modalCount.load(), 0);
        if (c.code == kHotkeyEnterDestination) {
            ASSERT_TRUE(RouteAcrossTown(*view_, 1));  // New reset the route
        }
    }
    // The toggles and the location.
    const DWORD options = g_options.load();
    view_->ExecuteCommand(kHotkeyMute);
    EXPECT_NE(g_options.load() & kOptionVoiceMuted, options & kOptionVoiceMuted);
    view_->ExecuteCommand(kHotkeyNorthUp);
    EXPECT_NE(g_options.load() & kOptionNorthUp, options & kOptionNorthUp);
    g_poiIconMode.store(0);
    view_->ExecuteCommand(kHotkeyPoiIcons);
    EXPECT_EQ(g_poiIconMode.load(), 1u);
    view_->ExecuteCommand(kHotkeyRouteList);
    EXPECT_EQ(view_->GetScreenMode(), kScreenRouteList);
    view_->ExecuteCommand(kHotkeyRouteList);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    view_->ExecuteCommand(kHotkeyGpsInfo);
    EXPECT_EQ(view_->GetScreenMode(), kScreenGpsInfo);
    // Fullscreen does nothing on the GPS information screen.
    view_->ExecuteCommand(kHotkeyFullscreen);
    EXPECT_FALSE(view_->fullScreen);
    view_->ExecuteCommand(kHotkeyGpsInfo);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    const int mode = view_->statBoxMode;
    view_->ExecuteCommand(kHotkeyRotateStatBox);
    EXPECT_NE(view_->statBoxMode, mode);
    view_->location = CMainView::ViewLocation{};
    view_->ExecuteCommand(kHotkeyCurrentPosition);
    EXPECT_TRUE(view_->location.valid);
    EXPECT_EQ(view_->location.linkId, g_vehicleLocation.linkId);
    EXPECT_NE(view_->location.street[0], 0);
    g_options.store(options);
}

// A command that comes while another runs is dropped: a button pressed under an
// option dialog opened by another button.
TEST_F(MapKeysTest, ACommandWhileAnotherRunsIsDropped) {
    g_hotkeyTable.SetEntry(0, VK_APP1, kHotkeyRouteOptions);
    g_hotkeyTable.SetEntry(1, VK_APP2, kHotkeyVolume);
    g_hotkeyTable.RegisterAll(view_->GetViewWindow(), TRUE);
    recorder_.actions["routeOptions"] = [this] {
        platform::PostKeyPress(VK_APP2);
        Pump();
    };
    platform::PostKeyPress(VK_APP1);
    Pump();
    EXPECT_EQ(recorder_.calls, std::vector<std::string>{"routeOptions"});
    // The volume button alone opens its dialog.
    recorder_.actions.clear();
    platform::PostKeyPress(VK_APP2);
    Pump();
    EXPECT_EQ(recorder_.Count("guidanceVolume"), 1);
    g_hotkeyTable.RegisterAll(view_->GetViewWindow(), FALSE);
    g_hotkeyTable = CHotkeyTable();
}

// The banner says the next maneuver again; a tap on the bare map records the place.
TEST_F(MapKeysTest, BannerRepeatsTheGuidanceAndAMapTapRecordsTheLocation) {
    RecordedWords spoken;
    view_->RepeatGuidance();  // no route: nothing
    EXPECT_TRUE(spoken.words.empty());
    ASSERT_TRUE(RouteAcrossTown(*view_, 0));
    g_gpsReceiver.load()->UpdateFix([](GpsFix& fix) {
        fix.valid = true;
        fix.satellitesUsed = 8;
        fix.fixMode = kFixMode3D;
    });
    g_options.store(g_options.load() & ~kOptionVoiceMuted);
    // Guidance may have brought its screen up: the banner is the map's.
    view_->SwitchScreen(kScreenMap);
    view_->Refresh();
    Pump();
    spoken.words.clear();
    RECT client{};
    view_->GetClientRect(&client);
    const float s = g_screenScaleY.load();
    platform::PostTap({client.right / 2, ScaleSize(10, s)});
    Pump();
    EXPECT_FALSE(spoken.words.empty());

    // A point of the bare map: no point-of-interest icon under it.
    POINT at{client.right / 3, view_->GetMapHeight() / 2};
    while (at.y < view_->GetMapHeight() - 20 && view_->MapView().PoiHitTest(at.x, at.y, 0))
        at.y += 10;
    view_->location = CMainView::ViewLocation{};
    platform::PostTap(at);
    Pump();
    EXPECT_TRUE(view_->location.valid);
}

}  // namespace
}  // namespace shell_test

namespace shell_test {
namespace {

// The map's tap list of points of interest: the main view shows the tapped places and
// Nav on the chosen one routes there.
TEST_F(MapKeysTest, ThePoiTapListRoutesToTheChosenPlace) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    g_router->ResetRoute(0, 0, 0);
    CPoiSearch search(0xFF06, CPoiSearch::kAroundCentre, 0, 255);
    ASSERT_EQ(search.Search(), CPoiSearch::kFound);
    search.ComputeDistances();
    search.SortByDistance();
    ASSERT_GE(search.ResultCount(), 2);
    std::vector<PoiRecord> hits(2);
    for (int i = 0; i < 2; ++i) {
        hits[i].entry.record = search.Result(i).record;
        hits[i].name = search.Result(i).name ? search.Result(i).name : "";
    }
    WhenIdle([] {
        platform::PostKeyPress(VK_DOWN);
        platform::PostKeyPress(VK_RETURN);
    });
    int chosen = -1;
    EXPECT_EQ(view_->ShowPoiHereList(hits, &chosen), 540);
    EXPECT_EQ(chosen, 1);
    std::snprintf(g_destinationText, sizeof g_destinationText, "EARLIER PLACE");
    view_->FormatPoiEntry(hits[1].entry.record, 2, hits[1].name.c_str());
    Pump();
    EXPECT_TRUE(g_router->state & kRouterRouteState);
    EXPECT_EQ(std::string(g_destinationText), hits[1].name);
}

}  // namespace
}  // namespace shell_test
