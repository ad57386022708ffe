// The map screen with a route, drawn by the running program at QVGA and VGA and
// compared with golden pictures (tests/shell/golden; PATHLUME_UPDATE_GOLDEN=1
// rewrites them, on purpose and with a reason in the commit).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
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

// Every street label and route shield of the last frame lies wholly in the map and
// clear of every control the screen draws over it: banner, buttons, scale bar, status
// box, texts, the vehicle symbol. The labels and shields checked.
int ExpectLabelsClearOfTheControls(CMainView& view) {
    CMapView& map = view.MapView();
    const std::vector<RECT> covers = map.MapCovers();
    EXPECT_GE(covers.size(), 6u);
    auto meets = [](const RECT& a, float left, float top, float right, float bottom) {
        return left < a.right && right > a.left && top < a.bottom && bottom > a.top;
    };
    const float width = static_cast<float>(map.MapWidth());
    const float height = static_cast<float>(map.MapHeight());
    int checked = 0;
    for (const CMapLabels::Slot& label : map.PlacedLabels()) {
        float l = 1e9f, t = 1e9f, r = -1e9f, b = -1e9f;
        for (const LabelPoint& p : label.corners) {
            l = std::min(l, p.x), t = std::min(t, p.y), r = std::max(r, p.x), b = std::max(b, p.y);
        }
        EXPECT_TRUE(l >= 0 && t >= 0 && r <= width && b <= height) << label.text << " cut";
        // A slanted box's bounding box is larger than it: only boxes square to the
        // screen are checked against the covers here (the placement tests slanted ones).
        if (std::fmod(label.angle, 90.0f) == 0) {
            for (const RECT& cover : covers)
                EXPECT_FALSE(meets(cover, l, t, r, b)) << label.text << " under a control";
        }
        ++checked;
    }
    for (const IconLabel& icon : map.PlacedIcons()) {
        const float l = static_cast<float>(icon.x), t = static_cast<float>(icon.y);
        const float r = l + static_cast<float>(icon.width), b = t + static_cast<float>(icon.height);
        EXPECT_TRUE(l >= 0 && t >= 0 && r <= width && b <= height) << icon.text << " cut";
        for (const RECT& cover : covers)
            EXPECT_FALSE(meets(cover, l, t, r, b)) << "shield " << icon.text << " under a control";
        // Nor over a street's name.
        for (const CMapLabels::Slot& label : map.PlacedLabels()) {
            if (std::fmod(label.angle, 90.0f) != 0)
                continue;
            const RECT box = {static_cast<LONG>(std::min(label.corners[0].x, label.corners[2].x)),
                              static_cast<LONG>(std::min(label.corners[0].y, label.corners[2].y)),
                              static_cast<LONG>(std::max(label.corners[0].x, label.corners[2].x)),
                              static_cast<LONG>(std::max(label.corners[0].y, label.corners[2].y))};
            EXPECT_FALSE(meets(box, l, t, r, b))
                << "shield " << icon.text << " over " << label.text;
        }
        ++checked;
    }
    return checked;
}

class MapScreenGoldenTest : public AppTest, public testing::WithParamInterface<ScreenSet> {
  protected:
    // The vehicle matched on the road nearest the point.
    static void PlaceVehicleOnRoad(const MapPoint& point) {
        const LinkSnap snap = SnapToNearestLink(g_mapDatabase, point, 1000);
        ASSERT_TRUE(snap.Found());
        g_vehicleLocation.Set(snap.link, 4);
        g_vehicleLocation.SetPosition(snap.point);
        g_vehicleLocation.stale = 0;
    }
    // The program started on the screen set with the town's maps or Andorra's; null
    // when it did not start, or when Andorra's cannot be made (mapsMissing_).
    CMainView* StartProgram(bool andorra = false) {
        const ScreenSet set = GetParam();
        platform::SetScreenMode(set.width, set.height, set.dpi);
        if (!andorra)
            InstallTownMaps();
        else if (!InstallAndorraMaps())
            return mapsMissing_ = true, nullptr;
        InstallVoiceFiles();
        platform::UseManualClock(true);
        // The map screen stays: the guidance screen would come up near the first turn.
        const DWORD options =
            RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", kDefaultOptions);
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", options & ~kOptionAutoGuidance);
        if (!Start(u"nowarning", std::vector<UINT>{}))
            return nullptr;
        Pump();
        auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
        return frame ? &frame->View() : nullptr;
    }
    // The fix at a point, the port closed so that nothing else writes it.
    static CNmeaReceiver* FixAt(const MapPoint& point, bool valid, DWORD flags) {
        CloseReceiverPort();
        CNmeaReceiver* receiver = g_gpsReceiver.load();
        if (!receiver)
            return nullptr;
        receiver->UpdateFix([&](GpsFix& fix) {
            fix.valid = valid;
            fix.satellitesUsed = 8;
            fix.fixMode = kFixMode3D;
            fix.hdop = 1.0f;
            fix.latitude = point.latitude;
            fix.longitude = point.longitude;
            fix.speedMph = 0;
        });
        receiver->SetFlags(flags);
        receiver->SetLastSentenceTick(GetTickCount());
        return receiver;
    }
    void Redraw(CMainView& view) {
        view.forceRedraw = TRUE;
        view.Refresh();
        Pump();
    }
    static void SetUpTestSuite() { route_test::RouteTownMaps(); }
    bool mapsMissing_ = false;
    void TearDown() override {
        if (app_)
            Close();
        platform::UseManualClock(false);
        platform::SetScreenMode(240, 320, 96);
    }
};

TEST_P(MapScreenGoldenTest, MapScreenWithARoute) {
    CMainView* started = StartProgram();
    ASSERT_NE(started, nullptr);
    CMainView& view = *started;
    ASSERT_NE(g_router, nullptr);

    // The vehicle stands at the route's start with a good fix; the route runs across
    // the town.
    MapPoint start;
    ASSERT_TRUE(RouteAcrossTown(view, 1, &start));
    ASSERT_NE(FixAt(start, true, kGpsMoved), nullptr);
    // One guidance update at the start: the distances and the time to go.
    GetRouteGuidance().UpdateGuidance(*g_router, 1);
    view.statBoxMode = kStatBoxRemaining;
    Redraw(view);
    EXPECT_TRUE(screen_testing::ScreenMatchesGolden(
        testing_support::RepositoryFolder() / "tests" / "shell" / "golden",
        std::string("map_screen_route_") + GetParam().name));
    EXPECT_GT(ExpectLabelsClearOfTheControls(view), 0);
}

// Before the first fix the banner waits for it, with no maneuver's arrow beside the
// text; with a fix but before the vehicle moves it asks to start driving.
TEST_P(MapScreenGoldenTest, BeforeTheFixTheBannerWaitsWithoutAnArrow) {
    CMainView* started = StartProgram();
    ASSERT_NE(started, nullptr);
    CMainView& view = *started;
    MapPoint start;
    ASSERT_TRUE(RouteAcrossTown(view, 1, &start));
    // Matched at the start, as the program matches its last position when it starts.
    PlaceVehicleOnRoad(start);
    CNmeaReceiver* receiver = FixAt(start, false, 0);
    ASSERT_NE(receiver, nullptr);
    GetRouteGuidance().UpdateGuidance(*g_router, 1);
    Redraw(view);
    WCHAR text[80];
    UINT icon = 0;
    bool placed = true;
    ASSERT_TRUE(view.GetBannerText(text, 80, &icon, &placed));
    EXPECT_EQ(std::u16string(text), u"WAITING FOR GPS SIGNAL...");
    EXPECT_FALSE(placed);
    EXPECT_EQ(icon, 63u);  // none
    EXPECT_EQ(g_bannerIconId.load(), 63u);
    ExpectLabelsClearOfTheControls(view);

    receiver->UpdateFix([](GpsFix& fix) { fix.valid = true; });
    ASSERT_TRUE(view.GetBannerText(text, 80, &icon, &placed));
    EXPECT_EQ(std::u16string(text), u"PLEASE START DRIVING");
    EXPECT_EQ(icon, 220u);
}

// Andorra la Vella, where street names crowd the screen, drawn with a route at each
// zoom step: no label or shield under a control, none cut at the map's edge.
TEST_P(MapScreenGoldenTest, AndorraLabelsKeepClearOfTheControls) {
    CMainView* started = StartProgram(true);
    if (mapsMissing_)
        GTEST_SKIP()
            << "no shared OpenStreetMap data (../shared/data): Andorra's maps are not made";
    ASSERT_NE(started, nullptr);
    CMainView& view = *started;
    MapPoint start;
    ASSERT_TRUE(RouteBetween(view, {42.5075f, 1.5218f}, {42.5094f, 1.5386f}, 0, &start));
    PlaceVehicleOnRoad(start);
    ASSERT_NE(FixAt(start, true, kGpsMoved | kGpsReplayActive), nullptr);
    GetRouteGuidance().UpdateGuidance(*g_router, 1);
    int checked = 0;
    for (int zoom = 0; zoom <= 5; ++zoom) {
        SCOPED_TRACE("zoom step " + std::to_string(zoom));
        view.MapView().SetZoom(zoom);
        Redraw(view);
        checked += ExpectLabelsClearOfTheControls(view);
    }
    EXPECT_GT(checked, 5);
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
    CMainView* started = StartProgram();
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

INSTANTIATE_TEST_SUITE_P(ScreenSets, MapScreenGoldenTest, GoldenScreenSets(), ScreenSetName);

}  // namespace
}  // namespace shell_test
