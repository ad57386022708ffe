// The guidance screen: the bar, the taps' order, and the screen in the running
// program with and without a route, waiting, driving and off the route.
#include "pathlume/shell/guidance_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pathlume/guidance/guidance_update.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "tests/shell/recorded_words.h"
#include "tests/shell/screen_fixture.h"
#include "tests/shell/town_route.h"

namespace {

TEST(BarGauge, FillsInProportionAndNeverDividesByZero) {
    CBarGauge bar;
    bar.Init(RECT{0, 0, 10, 102}, 0, 800, RGB(255, 255, 255), RGB(0, 0, 128), RGB(255, 255, 0), 0);
    EXPECT_EQ(bar.FilledHeight(800), 100);  // the full scale fills the inside
    EXPECT_EQ(bar.FilledHeight(400), 50);
    EXPECT_EQ(bar.FilledHeight(801), 100);
    EXPECT_EQ(bar.FilledHeight(-5), 0);
    // A full scale of 0 (guidance never gave one) fills nothing and draws only the frame.
    CBarGauge empty;
    empty.Init(RECT{0, 0, 10, 102}, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(empty.FilledHeight(0), 0);
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, 20, 120);
    HGDIOBJ old = SelectObject(dc, bitmap);
    empty.Draw(dc, 0);
    empty.Draw(dc, 10);
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    // Guidance's switch distance is the scale once it has one; before, 800 ft or 243 m.
    EXPECT_EQ(GuidanceBarScale(0, false), 800);
    EXPECT_EQ(GuidanceBarScale(0, true), 243);
    EXPECT_EQ(GuidanceBarScale(-3, false), 800);
    EXPECT_EQ(GuidanceBarScale(675, false), 675);
}

TEST(GuidanceTaps, AreTakenInTheirOrder) {
    GuidanceTapZones z{};
    z.menuButton = {0, 200, 55, 250};
    z.speaker = {60, 277, 83, 300};
    z.centre = {50, 40, 190, 228};
    z.arrow = {0, 36, 48, 84};
    z.banner = {0, 0, 240, 36};
    z.bottomStrip = {55, 300, 170, 320};
    struct Case {
        POINT at;
        bool route, blocked;
        GuidanceTap expected;
    };
    const Case cases[] = {
        {{52, 210}, true, false, GuidanceTap::MenuButton},  // the menu button before the map
        {{70, 280}, true, false, GuidanceTap::Speaker},
        {{120, 100}, true, false, GuidanceTap::BackToMap},
        {{120, 100}, false, false, GuidanceTap::StatusBox},  // without a route: the status box
        {{10, 60}, true, false, GuidanceTap::RepeatPrompt},
        {{120, 10}, true, false, GuidanceTap::RouteList},
        {{120, 10}, true, true, GuidanceTap::StatusBox},  // a blocked change goes on
        {{120, 10}, false, false, GuidanceTap::StatusBox},
        {{100, 310}, false, false, GuidanceTap::LocationInfo},
        {{100, 310}, true, true, GuidanceTap::StatusBox},
        {{220, 290}, true, false, GuidanceTap::StatusBox},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ClassifyGuidanceTap(z, c.at, c.route, c.blocked), c.expected)
            << c.at.x << "," << c.at.y;
}

}  // namespace

namespace shell_test {
namespace {

class GuidanceScreenTest : public ChildScreenTest {
  protected:
    void SetFix(const MapPoint& at, bool valid, bool moved) {
        receiver_->UpdateFix([&](GpsFix& fix) {
            fix.valid = valid;
            fix.fixMode = valid ? kFixMode3D : kFixModeNone;
            fix.satellitesUsed = valid ? 8 : 0;
            fix.latitude = at.latitude;
            fix.longitude = at.longitude;
        });
        if (moved)
            receiver_->SetFlags(kGpsMoved);
        else
            receiver_->ClearFlags(kGpsMoved);
    }
    CGuidanceView* Guidance() {
        return static_cast<CGuidanceView*>(view_->ScreenOf(kScreenGuidance));
    }
    // A route across the town with the vehicle at its start, the screen showing.
    void DriveRoute(bool valid, bool moved) {
        MapPoint start;
        ASSERT_TRUE(RouteAcrossTown(*view_, 1, &start));
        SetFix(start, valid, moved);
        GetRouteGuidance().UpdateGuidance(*g_router, 1);
        if (view_->GetScreenMode() != kScreenGuidance)
            Show(kScreenGuidance);
        ASSERT_NE(Guidance(), nullptr);
        Guidance()->DrawPanel();
        Pump();
    }
};

TEST_F(GuidanceScreenTest, WithoutARouteTheBannerSaysSoAndNothingElseIsDrawn) {
    std::string texts = DrawnTexts([&] { Show(kScreenGuidance); });
    ASSERT_NE(Guidance(), nullptr);
    EXPECT_NE(texts.find("No Destination Selected"), std::string::npos) << texts;
    const GuidancePanel& panel = Guidance()->LastPanel();
    EXPECT_EQ(panel.arrowId, 0u);
    EXPECT_EQ(panel.distance, kGuidanceNoDistance);
    // No bar: the scale is the default one (guidance never gave its own).
    EXPECT_EQ(Guidance()->Bar().Maximum(), kGuidanceBarFeet);
}

TEST_F(GuidanceScreenTest, WaitingForTheSignalOrForTheDriverToStart) {
    DriveRoute(false, false);
    EXPECT_STREQ(Guidance()->LastPanel().text, "WAITING FOR GPS SIGNAL...");
    EXPECT_EQ(Guidance()->LastPanel().arrowId, 0u);
    EXPECT_EQ(Guidance()->LastPanel().distance, kGuidanceNoDistance);
    SetFix(g_vehicleLocation.position, true, false);
    Guidance()->DrawPanel();
    EXPECT_STREQ(Guidance()->LastPanel().text, "PLEASE START DRIVING...");
    EXPECT_EQ(Guidance()->LastPanel().arrowId, 220u);
    EXPECT_TRUE(Guidance()->LastPanel().waiting);
}

TEST_F(GuidanceScreenTest, DrivingShowsTheNextManeuversRoadArrowAndDistance) {
    DriveRoute(true, true);
    const CRouter& r = *g_router;
    const Maneuver& next = r.maneuvers[r.currentManeuver];
    char road[kManeuverTextSize] = {};
    FormatManeuverRoadName(r, road, next, false, sizeof road);
    ShortenRoadName(road, 28);
    const GuidancePanel& panel = Guidance()->LastPanel();
    EXPECT_STREQ(panel.text, road);
    EXPECT_FALSE(panel.waiting);
    EXPECT_EQ(panel.arrowId, static_cast<UINT>(ManeuverIconId(next.kind)));
    EXPECT_NEAR(panel.distance, r.GetFirstManeuverDistance() * 20902143.302568, 1.0);
    const std::string texts = DrawnTexts([&] { Guidance()->DrawPanel(); });
    EXPECT_NE(texts.find(road), std::string::npos) << texts;
}

TEST_F(GuidanceScreenTest, OffTheRouteGoesBackToTheMap) {
    DriveRoute(true, true);
    g_router->offRouteCount = 1;
    Guidance()->DrawPanel();
    EXPECT_TRUE(ViewRequestWaits(kViewSwitchScreen, 1));
    view_->SwitchScreen(kScreenMap);
    g_router->offRouteCount = 0;
    EXPECT_EQ(view_->ScreenOf(kScreenGuidance), nullptr);
}

TEST_F(GuidanceScreenTest, TapsOnTheBannerSpeakerAndMap) {
    DriveRoute(true, true);
    const HWND window = Guidance()->GetSafeHwnd();
    auto tap = [&](int x, int y) {
        ::SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(x, y));
        ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
    };
    const GuidanceTapZones zones = Guidance()->TapZones();
    const DWORD options = g_options.load();
    tap(zones.speaker.left + 2, zones.speaker.top + 2);
    EXPECT_NE(g_options.load() & kOptionVoiceMuted, options & kOptionVoiceMuted);
    // The arrow says the maneuver again; the bottom strip records where the car is.
    g_options.store(g_options.load() & ~kOptionVoiceMuted);
    {
        RecordedWords spoken;
        tap((zones.arrow.left + zones.arrow.right) / 2, (zones.arrow.top + zones.arrow.bottom) / 2);
        EXPECT_FALSE(spoken.words.empty());
    }
    view_->location = CMainView::ViewLocation{};
    tap((zones.bottomStrip.left + zones.bottomStrip.right) / 2, zones.bottomStrip.bottom - 2);
    ASSERT_TRUE(view_->location.valid);
    EXPECT_EQ(view_->location.linkId, g_vehicleLocation.GetLink(false)->linkId);
    tap(zones.banner.right / 2, zones.banner.bottom / 2);
    EXPECT_TRUE(ViewRequestWaits(kViewSwitchScreen, kScreenRouteList));
    tap((zones.centre.left + zones.centre.right) / 2, (zones.centre.top + zones.centre.bottom) / 2);
    Pump();
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    g_options.store(options);
}

TEST_F(GuidanceScreenTest, KeysButUpDownAndEnterGoToTheView) {
    Show(kScreenGuidance);
    const HWND window = Guidance()->GetSafeHwnd();
    MSG message;
    while (PeekMessageW(&message, view_->GetSafeHwnd(), 0, 0, PM_REMOVE)) {
    }
    for (UINT key : {VK_UP, VK_DOWN, VK_RETURN})
        ::SendMessageW(window, WM_KEYDOWN, key, 1);
    EXPECT_FALSE(PeekMessageW(&message, view_->GetSafeHwnd(), WM_KEYDOWN, WM_KEYUP, PM_NOREMOVE));
    ::SendMessageW(window, WM_KEYDOWN, 'Z', 1);
    ::SendMessageW(window, WM_KEYUP, 'Z', 1);
    ASSERT_TRUE(PeekMessageW(&message, view_->GetSafeHwnd(), WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE));
    EXPECT_EQ(message.wParam, static_cast<WPARAM>('Z'));
    EXPECT_TRUE(PeekMessageW(&message, view_->GetSafeHwnd(), WM_KEYUP, WM_KEYUP, PM_REMOVE));
    PressKey(VK_ESCAPE);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
}

// The option to show the guidance screen near a maneuver brings it up by itself, with
// the bar scaled to the distance at which it came; a 2D/3D change lays it out again;
// the zoom step kept at shutdown is the map's, not the guidance screen's own.
TEST_F(GuidanceScreenTest, ComesUpNearAManeuverAndKeepsTheMapsZoom) {
    g_options.store(g_options.load() | kOptionAutoGuidance);
    view_->MapView().StoreZoomIndex(5);
    MapPoint start;
    ASSERT_TRUE(RouteAcrossTown(*view_, 1, &start));
    SetFix(start, true, true);
    GetRouteGuidance().UpdateGuidance(*g_router, 0);
    Pump();
    ASSERT_EQ(view_->GetScreenMode(), kScreenGuidance) << "the first maneuver is not near";
    ASSERT_NE(Guidance(), nullptr);
    EXPECT_EQ(Guidance()->Bar().Maximum(), g_guidanceSwitchDistance);
    EXPECT_NE(view_->MapView().GetZoomIndex(), 5);
    EXPECT_EQ(Guidance()->GetZoomIndex(), 5);
    view_->ApplyViewMode(FALSE, FALSE);
    EXPECT_EQ(Guidance()->Bar().Rect().bottom, ScaleY(190));
}

}  // namespace
}  // namespace shell_test
