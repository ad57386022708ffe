// The guidance, route list, GPS information and almanac screens drawn by the running
// program at QVGA and VGA and compared with golden pictures (tests/shell/golden;
// PATHLUME_UPDATE_GOLDEN=1 rewrites them, on purpose and with a reason in the commit).
#include <gtest/gtest.h>

#include <string>

#include "pathlume/guidance/guidance_update.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/guidance_view.h"
#include "tests/foundation/screen_test_support.h"
#include "tests/shell/screen_fixture.h"
#include "tests/shell/town_route.h"
#include "tests/support/host_time_zone.h"
#include "tests/support/shared_data.h"

namespace shell_test {
namespace {

struct ScreenSet {
    const char* name;
    int width;
    int height;
    int dpi;
};

class ScreensGoldenTest : public ChildScreenTest, public testing::WithParamInterface<ScreenSet> {
  protected:
    void BeforeStart() override {
        const ScreenSet set = GetParam();
        platform::SetScreenMode(set.width, set.height, set.dpi);
        // A fixed date for the clock the screens read: 4 July 2004, 09:05:07 UTC.
        SYSTEMTIME date{};
        date.wYear = 2004;
        date.wMonth = 7;
        date.wDay = 4;
        date.wHour = 9;
        date.wMinute = 5;
        date.wSecond = 7;
        FILETIME ticks{};
        SystemTimeToFileTime(&date, &ticks);
        platform::SetManualWallClock(ticks);
    }
    void TearDown() override {
        ChildScreenTest::TearDown();
        platform::SetScreenMode(240, 320, 96);
    }

    // A good fix at the point, on 4 July 2004, with eight satellites of which five are used.
    void SetFix(const MapPoint& at, bool moved) {
        receiver_->UpdateFix([&](GpsFix& fix) {
            fix.valid = true;
            fix.fixMode = kFixMode3D;
            fix.latitude = at.latitude;
            fix.longitude = at.longitude;
            fix.altitude = 212.0f;
            fix.headingDegrees = 30.0f;
            fix.speedMph = 0;
            fix.hdop = 1.2f;
            fix.vdop = 1.9f;
            fix.pdop = 2.3f;
            fix.year = 4;
            fix.month = 7;
            fix.day = 4;
            fix.hour = 9;
            fix.minute = 5;
            fix.second = 7;
            const SatelliteInView in[] = {{3, 62, 40, 44},   {6, 35, 110, 38}, {11, 12, 190, 31},
                                          {14, 48, 250, 41}, {19, 8, 320, 0},  {22, 25, 285, 27},
                                          {24, 77, 150, 46}, {31, 3, 20, 18}};
            fix.satellitesInView = 8;
            for (int i = 0; i < 8; ++i)
                fix.satellites[i] = in[i];
            fix.satellitesUsed = 5;
            const int used[] = {3, 6, 14, 24, 22};
            for (int i = 0; i < 5; ++i)
                fix.usedSatellites[i] = used[i];
        });
        if (moved)
            receiver_->SetFlags(kGpsMoved);
        else
            receiver_->ClearFlags(kGpsMoved);
        receiver_->SetLastSentenceTick(GetTickCount());
    }
    // The screen of the mode, drawn again and compared.
    testing::AssertionResult Matches(DWORD mode, const std::string& name) {
        if (view_->GetScreenMode() != mode)
            view_->SwitchScreen(static_cast<int>(mode));
        view_->statBoxMode = kStatBoxRemaining;
        view_->forceRedraw = TRUE;
        if (CChildScreen* screen = view_->ScreenOf(mode))
            screen->Invalidate(TRUE);
        Pump();
        return screen_testing::ScreenMatchesGolden(
            testing_support::RepositoryFolder() / "tests" / "shell" / "golden",
            name + "_" + GetParam().name);
    }

    testing_support::HostTimeZone zone_{"UTC0"};
};

TEST_P(ScreensGoldenTest, GuidanceWithoutAndWithARoute) {
    SetFix(TownPoint(0.45, 0.4), false);
    EXPECT_TRUE(Matches(kScreenGuidance, "guidance_no_destination"));
    MapPoint start;
    ASSERT_TRUE(RouteAcrossTown(*view_, 1, &start));
    view_->SwitchScreen(kScreenGuidance);
    SetFix(start, false);
    GetRouteGuidance().UpdateGuidance(*g_router, 1);
    EXPECT_TRUE(Matches(kScreenGuidance, "guidance_waiting"));
    SetFix(start, true);
    GetRouteGuidance().UpdateGuidance(*g_router, 1);
    EXPECT_TRUE(Matches(kScreenGuidance, "guidance_driving"));
}

TEST_P(ScreensGoldenTest, RouteList) {
    MapPoint start;
    ASSERT_TRUE(RouteAcrossTown(*view_, 1, &start));
    SetFix(start, true);
    GetRouteGuidance().UpdateGuidance(*g_router, 1);
    EXPECT_TRUE(Matches(kScreenRouteList, "route_list"));
}

TEST_P(ScreensGoldenTest, GpsInformationAndAlmanac) {
    SetFix(TownPoint(0.45, 0.4), true);
    EXPECT_TRUE(Matches(kScreenGpsInfo, "gps_info"));
    EXPECT_TRUE(Matches(kScreenAlmanac, "almanac"));
}

INSTANTIATE_TEST_SUITE_P(ScreenSets, ScreensGoldenTest,
                         testing::Values(ScreenSet{"qvga", 240, 320, 96},
                                         ScreenSet{"vga", 480, 640, 192}),
                         [](const testing::TestParamInfo<ScreenSet>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace shell_test
