// The main view in the running program: the fix messages, the speed alert, the
// WM_USER requests, the timers and the drawing, on the town's maps.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <optional>
#include <thread>
#include <vector>

#include "pathlume/display/sun_clock.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/mapdb/geocoder.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/position/fix_delivery.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/map_matcher.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/position/position_queue.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/msgqueue.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/text.h"
#include "platform/user/dialogs.h"
#include "platform/user/user.h"
#include "tests/position/drives.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"
#include "tests/shell/recorded_words.h"
#include "tests/shell/running_view.h"
#include "tests/shell/town_route.h"
#include "tests/support/pty.h"
#include "tests/support/shared_data.h"

namespace shell_test {
namespace {

class MainViewTest : public RunningViewTest {
  protected:
    static void SetUpTestSuite() { route_test::RouteTownMaps(); }

    // The receiver's fix, come in now: valid, 8 satellites, at the speed (mph).
    void SetFixSpeed(float mph) {
        g_gpsReceiver.load()->UpdateFix([mph](GpsFix& fix) {
            fix.valid = true;
            fix.satellitesUsed = 8;
            fix.speedMph = mph;
        });
        view_->SetLastDataTime(GetTickCount());
    }
};

TEST_F(MainViewTest, PanQueryAndPanModeFollowOneFlag) {
    const HWND window = view_->GetViewWindow();
    EXPECT_EQ(SendMessageW(window, WM_USER, kViewPanQuery, 0), 0);
    view_->SetPanMode(TRUE);
    EXPECT_EQ(SendMessageW(window, WM_USER, kViewPanQuery, 0), kViewPanning);
    EXPECT_EQ(g_positionHold.load(), 1);
    SendMessageW(window, WM_USER, kViewLeavePanMode, 0);
    EXPECT_EQ(SendMessageW(window, WM_USER, kViewPanQuery, 0), 0);
    EXPECT_EQ(g_positionHold.load(), 0);
}

TEST_F(MainViewTest, RefreshOfTheFixColourOnlyWhenItChanged) {
    const HWND window = view_->GetViewWindow();
    Pump();
    view_->storedFixColor = view_->GetFixColor(FALSE);
    uint64_t before = platform::ScreenGeneration();
    SendMessageW(window, WM_USER, kViewRefresh, 1);
    Pump();
    EXPECT_EQ(platform::ScreenGeneration(), before);
    view_->storedFixColor = 0x123456;
    before = platform::ScreenGeneration();
    SendMessageW(window, WM_USER, kViewRefresh, 1);
    Pump();
    EXPECT_GT(platform::ScreenGeneration(), before);
}

TEST_F(MainViewTest, SpeedAlertShowsSpeedAndSpeaksOnceUnlessMuted) {
    RecordedWords spoken;
    const LONG savedMi = g_speedLimitMi.load(), savedKm = g_speedLimitKm.load();
    const DWORD savedOptions = g_options.load();
    g_speedLimitMi.store(55);
    g_speedLimitKm.store(88);
    g_autoSpeedLimit.store(0);
    g_options.store(savedOptions & ~(kOptionMetric | kOptionVoiceMuted));
    view_->statBoxMode = kStatBoxDest;
    SetFixSpeed(55.6f);
    view_->CheckSpeedAlert();
    view_->CheckSpeedAlert();
    EXPECT_EQ(view_->statBoxMode, kStatBoxSpeed);
    EXPECT_EQ(spoken.words, std::vector<int>({39}));
    SetFixSpeed(55.4f);
    view_->CheckSpeedAlert();
    EXPECT_EQ(view_->statBoxMode, kStatBoxDest);
    g_options.store(g_options.load() | kOptionVoiceMuted);
    SetFixSpeed(70.0f);
    view_->CheckSpeedAlert();
    EXPECT_EQ(view_->statBoxMode, kStatBoxSpeed);
    EXPECT_EQ(spoken.words.size(), 1u);
    g_speedLimitMi.store(savedMi);
    g_speedLimitKm.store(savedKm);
    g_options.store(savedOptions);
}

// A feed that posts as fast as the view takes its messages, as the playback
// thread does: never more than one new-fix message waits, a busy router or a
// resume in progress does not stall it, and no fix is pushed out of the queue.
TEST_F(MainViewTest, FixFeedAtFullSpeedKeepsOneMessageAndLosesNoFix) {
    const HWND window = view_->GetViewWindow();
    std::atomic<bool> done{false};
    std::atomic<LONG> highest{0};
    std::atomic<int> fullestQueue{0};
    constexpr int kFixes = 60;
    std::thread feed([&] {
        for (int i = 0; i < kFixes; ++i) {
            fullestQueue.store(std::max(fullestQueue.load(), g_positionQueue.Count()));
            g_positionQueue.Push({42.0f + i * 1e-5f, 1.5f, 0});
            PostNewFixMessage(window, 0);
            highest.store(std::max<LONG>(highest.load(),
                                         platform::InterlockedTarget(&g_pendingFixPosts).load()));
            while (platform::InterlockedTarget(&g_pendingFixPosts).load() != 0 && !done.load())
                std::this_thread::yield();
        }
        done.store(true);
    });
    int round = 0;
    while (!done.load()) {
        // A second in turn with the router busy, a resume pending and neither.
        const int phase = (round++ / 20) % 3;
        if (g_router)
            g_router->busyCount = phase == 1 ? 1 : 0;
        view_->resumePending.store(phase == 2);
        platform::AdvanceClockAndPump(50);
        std::this_thread::yield();
    }
    feed.join();
    if (g_router)
        g_router->busyCount = 0;
    view_->resumePending.store(FALSE);
    // Positions a dropped message left behind are taken at the next tick.
    platform::AdvanceClockAndPump(1000);
    EXPECT_LE(highest.load(), 1);
    EXPECT_LT(fullestQueue.load(), PositionQueue::kCapacity);
    EXPECT_EQ(g_positionQueue.Count(), 0);
    EXPECT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 0);
}

TEST_F(MainViewTest, NineFastTicksGoFullScreenAndOneSlowTickComesBack) {
    ::SetForegroundWindow(frame_->GetSafeHwnd());
    const DWORD savedOptions = g_options.load();
    g_options.store(savedOptions & ~0x40u);
    SetFixSpeed(30.0f);
    for (int i = 0; i < 8; ++i) {
        platform::AdvanceClockAndPump(1000);
        SetFixSpeed(30.0f);
    }
    EXPECT_FALSE(view_->fullScreen);
    platform::AdvanceClockAndPump(1000);
    EXPECT_TRUE(view_->fullScreen);
    SetFixSpeed(3.0f);
    platform::AdvanceClockAndPump(1000);
    EXPECT_FALSE(view_->fullScreen);
    g_options.store(savedOptions);
}

TEST_F(MainViewTest, ResumeRestartArmsTheWatchdogHalfASecondLaterOnASerialPort) {
    g_gpsPortName.Set(u"COM3:");
    g_btSerialPortName.Set(u"COM8:");
    ASSERT_FALSE(IsBluetoothGpsPort());
    view_->resumePending.store(TRUE);
    view_->recheckStorage.store(TRUE);
    view_->lastDataTick.store(kNoDataTick);
    view_->SetTimer(kTimerResume, 3000, nullptr);
    // A fix from before the suspend, whose message is parked meanwhile.
    g_positionQueue.Push(
        {g_vehicleLocation.position.latitude, g_vehicleLocation.position.longitude, 0});
    PostNewFixMessage(view_->GetViewWindow(), 0);
    platform::AdvanceClockAndPump(2999);
    EXPECT_TRUE(view_->resumePending.load());
    EXPECT_TRUE(view_->parkedFixPost);
    platform::AdvanceClockAndPump(1);
    EXPECT_FALSE(view_->resumePending.load());
    EXPECT_FALSE(view_->recheckStorage.load());
    // The watchdog acts 5 s after the tick it is given: 500 ms from now, whatever
    // the parked message brought.
    EXPECT_EQ(TickDiff(view_->lastDataTick.load(), GetTickCount()), 500 - 5000);
    EXPECT_EQ(platform::InterlockedTarget(&g_pendingFixPosts).load(), 0);
}

TEST_F(MainViewTest, LongPressInAButtonZoneIsNoLongPressAndIn3DSaysSo) {
    const float s = g_screenScaleY.load();
    view_->dragStart = view_->dragLast = {ScaleSize(10, s), ScaleSize(30, s)};
    view_->longPressHandled = FALSE;
    view_->SetTimer(kTimerLongPress, 500, nullptr);
    platform::AdvanceClockAndPump(500);
    EXPECT_FALSE(view_->longPressHandled);

    const DWORD saved3D = g_map3DMode.load();
    g_map3DMode.store(1);
    platform::ClearMessageBoxes();
    RECT client;
    ::GetClientRect(view_->GetViewWindow(), &client);
    view_->dragStart = view_->dragLast = {client.right / 2, client.bottom / 2};
    view_->SetTimer(kTimerLongPress, 500, nullptr);
    platform::AdvanceClockAndPump(500);
    EXPECT_TRUE(view_->longPressHandled);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"The Tap-n-Hold feature is disabled in 3D mode.");
    EXPECT_EQ(boxes[0].type, static_cast<UINT>(MB_ICONSTOP));
    EXPECT_EQ(view_->dragStart.x, -500);
    g_map3DMode.store(saved3D);
}

TEST_F(MainViewTest, ScreensWithoutAMakerLeaveTheScreenAsItIs) {
    const ScreenMaker routeList = GetScreenMaker(kScreenRouteList);
    const ScreenMaker almanac = GetScreenMaker(kScreenAlmanac);
    SetScreenMaker(kScreenRouteList, nullptr);
    SetScreenMaker(kScreenAlmanac, nullptr);
    view_->SwitchScreen(kScreenRouteList);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    view_->SetPanMode(TRUE);
    view_->SwitchScreen(kScreenAlmanac | kScreenKeepPan);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    EXPECT_TRUE(view_->IsPanMode());
    SetScreenMaker(kScreenRouteList, routeList);
    SetScreenMaker(kScreenAlmanac, almanac);
}

// With a route and the cycling option the box steps ETA, DEST, SPEED, REM every 5 s,
// and stays on SPEED while a speed alert is active.
TEST_F(MainViewTest, StatusBoxCyclesEveryFiveSecondsAndHoldsSpeedDuringAnAlert) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    const DWORD savedOptions = g_options.load();
    g_options.store(savedOptions | kOptionCyclingStatusBox);
    view_->statBoxMode = kStatBoxRemaining;
    view_->lastStatBoxCycle = GetTickCount();
    std::vector<int> modes;
    for (int i = 0; i < 4; ++i) {
        platform::AdvanceClockAndPump(6000);
        modes.push_back(view_->statBoxMode);
    }
    EXPECT_EQ(modes,
              std::vector<int>({kStatBoxEta, kStatBoxDest, kStatBoxSpeed, kStatBoxRemaining}));
    const LONG savedMi = g_speedLimitMi.load();
    g_speedLimitMi.store(55);
    g_autoSpeedLimit.store(0);
    view_->speedAlert.active = true;
    platform::AdvanceClockAndPump(6000);
    EXPECT_EQ(view_->statBoxMode, kStatBoxSpeed);
    platform::AdvanceClockAndPump(6000);
    EXPECT_EQ(view_->statBoxMode, kStatBoxSpeed);
    view_->speedAlert.active = false;
    g_speedLimitMi.store(savedMi);
    g_options.store(savedOptions);
}

// The route demonstration drives the route to its end: the arrival's timer cancels
// the route, and the demonstration ends with the live port armed again.
TEST_F(MainViewTest, RouteDemonstrationDrivesToTheEndAndTheArrivalCancelsTheRoute) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    ASSERT_TRUE(RouteAcrossTown(*view_, 0));
    view_->OnDemoRoute();
    ASSERT_TRUE(view_->GetReplayFlag());
    EXPECT_TRUE(g_gpsReceiver.load()->GetFlags() & kGpsReplayActive);
    DriveUntilRouteEnds(60);
    EXPECT_FALSE(g_router->state & kRouterRouteState);
    platform::AdvanceClockAndPump(2000);
    EXPECT_FALSE(view_->GetReplayFlag());
    EXPECT_NE(view_->lastDataTick.load(), kNoDataTick);
}

// A fix message the view could not take while the router was busy is posted again
// once it can; when a drawing of the map has meanwhile matched the positions it
// stood for, it still steps the demonstration, which waits for that step: without
// it no fix came again and the drive stood still.
TEST_F(MainViewTest, ADemonstrationGoesOnWhenADrawingMatchedTheFixOfAParkedMessage) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    ASSERT_TRUE(RouteAcrossTown(*view_, 0));
    view_->OnDemoRoute();
    ASSERT_TRUE(view_->GetReplayFlag());
    g_router->busyCount = 1;
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!view_->parkedFixPost && std::chrono::steady_clock::now() < limit) {
        Pump();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_TRUE(view_->parkedFixPost) << "the feed's first fix never came";
    // What the map's drawing does with queued positions before it draws the vehicle.
    g_mapMatcher.SnapWithTimeout(1000);
    ASSERT_EQ(g_positionQueue.Count(), 0);
    g_router->busyCount = 0;
    DriveUntilRouteEnds(30);
    EXPECT_FALSE(g_router->state & kRouterRouteState) << "the demonstration stood still";
}

// A route along one link: the demonstration drives it to the destination too.
TEST_F(MainViewTest, ARouteAlongOneLinkIsDrivenToItsEnd) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    MapLink* link = route_test::FindTownLink(false, 150);
    ASSERT_NE(link, nullptr) << "no two-way link of 150 m in the town";
    uint32_t segment = 0;
    const MapPoint from = route_test::PointAlong(*link, 0.1, &segment);
    const MapPoint to = route_test::PointAlong(*link, 0.9, &segment);
    // The vehicle heads towards the destination.
    const float heading = static_cast<float>(
        std::atan2((to.longitude - from.longitude) * std::cos(from.latitude * M_PI / 180),
                   to.latitude - from.latitude) *
        180 / M_PI);
    g_gpsReceiver.load()->UpdateFix([heading](GpsFix& fix) {
        fix.valid = true;
        fix.satellitesUsed = 8;
        fix.headingDegrees = heading < 0 ? heading + 360 : heading;
    });
    ASSERT_TRUE(RouteBetween(*view_, from, to, 0));
    ASSERT_TRUE(g_router->RunsAlongOneLink());
    view_->OnDemoRoute();
    ASSERT_TRUE(view_->GetReplayFlag());
    DriveUntilRouteEnds(30);
    EXPECT_FALSE(g_router->state & kRouterRouteState);
    platform::AdvanceClockAndPump(2000);
    EXPECT_FALSE(view_->GetReplayFlag());
}

TEST_F(MainViewTest, DemonstrationWithoutARouteDoesNothing) {
    ASSERT_FALSE(g_router->state & kRouterRouteState);
    view_->OnDemoRoute();
    EXPECT_FALSE(view_->GetReplayFlag());
    EXPECT_FALSE(g_gpsReceiver.load()->GetFlags() & kGpsReplayActive);
}

// Cancelling the log's file dialog must not leave the live port closed for good:
// the watchdog is armed again.
TEST_F(MainViewTest, CancelledPlaybackArmsTheLivePortAgain) {
    platform::ScriptFileDialogAnswers({std::nullopt});
    view_->lastDataTick.store(kNoDataTick);
    view_->OnPlayTrack();
    EXPECT_FALSE(g_gpsReceiver.load()->GetFlags() & kGpsReplayActive);
    EXPECT_NE(view_->lastDataTick.load(), kNoDataTick);
    EXPECT_EQ(view_->modalCount.load(), 0);
}

// The averaged speed ratio that scales the time to go: a new road class resets the
// filter; on the same class, at most once a second and above 5 mph, the ratio moves
// 0.5 % towards the class's table speed over the fix's speed (in the units shown),
// never above 2; the class speed is the road class's table value in those units.
TEST_F(MainViewTest, AverageSpeedRatioFollowsTheRoadClassTable) {
    static constexpr float kRatioMph[8] = {80, 65, 55, 41, 31, 21, 6, 5};
    static constexpr float kRatioKmh[8] = {125, 105, 90, 65, 50, 35, 10, 8};
    static constexpr int kClassMph[8] = {70, 65, 55, 45, 35, 25, 15, 5};
    static constexpr int kClassKmh[8] = {145, 125, 105, 85, 65, 45, 25, 5};
    const LinkSnap snap = SnapToNearestLink(g_mapDatabase, TownPoint(0.45, 0.4), 1000);
    ASSERT_TRUE(snap.Found());
    PlaceVehicleAt(g_mapDatabase, snap.link, static_cast<int32_t>(snap.segment), snap.point);
    const MapLink* link = g_vehicleLocation.GetLink(false);
    ASSERT_NE(link, nullptr);
    const int c = static_cast<int>(link->attributes & 7);
    const DWORD savedOptions = g_options.load();
    g_options.store(savedOptions & ~kOptionMetric);
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    view_->previousRoadClass = -1;
    view_->speedFactor = 1.0f;
    SetFixSpeed(30.0f);
    platform::AdvanceClock(1000);
    view_->UpdateAverageSpeedRatio();
    EXPECT_EQ(view_->previousRoadClass, c);
    EXPECT_FLOAT_EQ(view_->speedFactor, 1.0f);  // a new class only resets the filter
    EXPECT_EQ(view_->classSpeedValue, kClassMph[c]);
    view_->UpdateAverageSpeedRatio();  // within the second: nothing
    EXPECT_FLOAT_EQ(view_->speedFactor, 1.0f);

    platform::AdvanceClock(1000);
    view_->UpdateAverageSpeedRatio();
    float expected = kRatioMph[c] / receiver->GetSpeed(FALSE) * 0.004999995f + 0.995f;
    EXPECT_FLOAT_EQ(view_->speedFactor, expected);

    g_options.store(savedOptions | kOptionMetric);
    platform::AdvanceClock(1000);
    view_->UpdateAverageSpeedRatio();
    expected = kRatioKmh[c] / receiver->GetSpeed(TRUE) * 0.004999995f + expected * 0.995f;
    EXPECT_FLOAT_EQ(view_->speedFactor, expected);
    EXPECT_EQ(view_->classSpeedValue, kClassKmh[c]);

    SetFixSpeed(4.0f);  // 5 mph or less moves nothing
    platform::AdvanceClock(1000);
    view_->UpdateAverageSpeedRatio();
    EXPECT_FLOAT_EQ(view_->speedFactor, expected);

    view_->speedFactor = 1.999f;
    SetFixSpeed(5.5f);
    platform::AdvanceClock(1000);
    view_->UpdateAverageSpeedRatio();
    EXPECT_FLOAT_EQ(view_->speedFactor, c <= 5 ? 2.0f : expected);
    g_options.store(savedOptions);
}

// The almanac's sun times: minutes from now (UTC) to the day's sunrise and sunset at
// the fix; a sunset that falls on the next UTC day is counted on today's.
TEST_F(MainViewTest, SunTimesCountFromTheUtcMinuteAtTheFix) {
    SYSTEMTIME now{};
    GetSystemTime(&now);
    const int64_t msOfDay =
        ((now.wHour * 60 + now.wMinute) * 60 + now.wSecond) * 1000LL + now.wMilliseconds;
    platform::AdvanceClock(
        static_cast<uint64_t>((12 * 3600000LL - msOfDay + 86400000LL) % 86400000LL));
    GetSystemTime(&now);
    ASSERT_EQ(now.wHour * 60 + now.wMinute, 720);
    struct Case {
        const char* place;
        float latitude, longitude;
        int riseLow, riseHigh, setLow, setHigh;  // plausible in any season, UTC minutes
    } const cases[] = {
        {"Greenwich", 51.48f, 0.0f, 3 * 60 + 40, 8 * 60 + 10, 15 * 60 + 50, 20 * 60 + 25},
        // Its sunset falls on the next UTC day: counted on this one.
        {"Los Angeles", 34.05f, -118.25f, 12 * 60 + 40, 15 * 60, 24 * 60 + 40, 27 * 60 + 10},
        // Its sunrise falls on the day before.
        {"Tokyo", 35.68f, 139.69f, -5 * 60, -2 * 60, 7 * 60 + 20, 10 * 60 + 5},
    };
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    for (const Case& c : cases) {
        receiver->UpdateFix([&](GpsFix& fix) {
            fix.valid = true;
            fix.latitude = c.latitude;
            fix.longitude = c.longitude;
        });
        int toSunrise = 1, toSunset = 1;
        ComputeSunTimes(&toSunrise, &toSunset);
        EXPECT_GE(toSunrise, c.riseLow - 720) << c.place;
        EXPECT_LE(toSunrise, c.riseHigh - 720) << c.place;
        const int setLow = c.setLow >= 1440 ? c.setLow - 1440 : c.setLow;
        const int setHigh = c.setHigh >= 1440 ? c.setHigh - 1440 : c.setHigh;
        EXPECT_GE(toSunset, setLow - 720) << c.place;
        EXPECT_LE(toSunset, setHigh - 720) << c.place;
        CSunClock clock;
        clock.Compute(c.latitude, c.longitude, now);
        EXPECT_EQ(toSunrise, static_cast<int>(clock.GetSunrise(nullptr)) - 720) << c.place;
    }
    // While a log replays and without a fix they are those of the receiver's last
    // position (the last case's).
    int withFix = 0, withFixSet = 0;
    ComputeSunTimes(&withFix, &withFixSet);
    view_->SetReplayFlag(TRUE);
    int toSunrise = 1, toSunset = 1;
    ComputeSunTimes(&toSunrise, &toSunset);
    EXPECT_EQ(toSunrise, withFix);
    EXPECT_EQ(toSunset, withFixSet);
    view_->SetReplayFlag(FALSE);
    receiver->ClearFix();
    ComputeSunTimes(&toSunrise, &toSunset);
    EXPECT_EQ(toSunrise, withFix);
    EXPECT_EQ(toSunset, withFixSet);
}

// Cancelling the route of a detour ends the demonstration and offers the rest of the
// trip instead of dropping it: Yes routes on to the final destination, No forgets it.
TEST_F(MainViewTest, CancellingADetourOffersTheFinalDestination) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    const MapPoint home = TownPoint(0.3, 0.7);
    WCHAR path[MAX_PATH];
    const std::u16string itinerary = FormatDataFilePath(kListItinerary, path);
    for (const int answer : {IDYES, IDNO}) {
        SCOPED_TRACE(answer == IDYES ? "yes" : "no");
        {
            CDestList list;
            list.path = itinerary;
            for (const char* name : {"Stopover", "Home"}) {
                auto* record = new DestRecord;
                const MapPoint at = name[0] == 'H' ? home : TownPoint(0.55, 0.6);
                ASSERT_TRUE(record->Set(at.latitude, at.longitude, 0, 0, 0, name, "", "", name));
                list.records.push_back(record);
            }
            ASSERT_EQ(list.Save(), 0);
        }
        ASSERT_TRUE(RouteAcrossTown(*view_, 1));
        g_router->SetDetour(1);
        view_->OnDemoRoute();
        ASSERT_TRUE(view_->GetReplayFlag());
        platform::ClearMessageBoxes();
        platform::QueueMessageBoxAnswer(answer);
        view_->CancelRoute();
        EXPECT_FALSE(view_->GetReplayFlag());
        EXPECT_FALSE(g_router->state & kRouterDetourActive);
        Pump();
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_NE(boxes[0].text.find(u"Continue to Final Destination?"), std::u16string::npos);
        EXPECT_NE(boxes[0].text.find(u"Home"), std::u16string::npos);
        if (answer == IDYES) {
            ASSERT_TRUE(g_router->state & kRouterRouteState);
            EXPECT_LT(std::fabs(g_router->destPoint.latitude - home.latitude) +
                          std::fabs(g_router->destPoint.longitude - home.longitude),
                      0.01f);
            view_->CancelRoute();
        } else {
            EXPECT_FALSE(g_router->state & kRouterRouteState);
            EXPECT_FALSE(FileExists(itinerary.c_str()));
        }
    }
}

// The GPS receiver on pseudo-terminals standing for COM3, the port the fixture sets.
class GpsWatchdogTest : public MainViewTest {
  protected:
    using Pty = testing_support::Pty;
    // The receiver behind COM3 is now this one (plugged in, or plugged in again as
    // another tty).
    static void PlugIn(const Pty& pty) {
        ASSERT_FALSE(pty.path.empty());
        ASSERT_TRUE(platform::SetHostSerialPort(3, platform::Utf8ToWide(pty.path)));
    }
    // Writes a fix stamped `second` past 12:00:00 UTC at the vehicle's position and
    // pumps until the receiver has read it and the view has taken its message: false
    // when it never does.
    bool FixReadThrough(const Pty& pty, int second) {
        position_test::DriveFix fix;
        fix.truth = fix.reported = {g_vehicleLocation.position.latitude,
                                    g_vehicleLocation.position.longitude};
        if (!pty.Write(position_test::DriveAsNmea({fix}, second)))
            return false;
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (std::chrono::steady_clock::now() < limit) {
            const GpsFix read = g_gpsReceiver.load()->GetFix();
            if (read.valid && read.minute * 60 + read.second == second &&
                platform::InterlockedTarget(&g_pendingFixPosts).load() == 0)
                return true;
            Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return false;
    }
    // Ticks of the housekeeping timer, one a second.
    static void Seconds(int count) {
        for (int i = 0; i < count; ++i)
            platform::AdvanceClockAndPump(1000);
    }
};

// A receiver that falls silent is reopened after 5 s: unplugged and plugged in again
// under another tty, its fixes come through the new one.
TEST_F(GpsWatchdogTest, ASilentReceiverIsReopened) {
    Pty first;
    PlugIn(first);
    view_->ReopenGpsPort();
    ASSERT_TRUE(FixReadThrough(first, 1));
    first.CloseMaster();
    Pty second;
    PlugIn(second);
    Seconds(6);
    EXPECT_TRUE(FixReadThrough(second, 2));
}

// A device resume closes the GPS; timer 100 and the watchdog open it again.
TEST_F(GpsWatchdogTest, AResumeReopensThePort) {
    Pty pty;
    PlugIn(pty);
    view_->ReopenGpsPort();
    ASSERT_TRUE(FixReadThrough(pty, 1));
    platform::SimulatePowerResume();
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    // Set last, once timer 100 runs.
    while (!view_->recheckStorage.load() && std::chrono::steady_clock::now() < limit)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(view_->resumePending.load());
    ASSERT_FALSE(g_gpsReceiver.load()->IsPortOpen());
    Seconds(5);
    EXPECT_FALSE(view_->resumePending.load());
    EXPECT_TRUE(FixReadThrough(pty, 2));
}

// The route demonstration closes the live port; at its end the port is back.
TEST_F(GpsWatchdogTest, TheLivePortIsBackAfterADemonstration) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    Pty pty;
    PlugIn(pty);
    view_->ReopenGpsPort();
    ASSERT_TRUE(RouteAcrossTown(*view_, 0));
    view_->OnDemoRoute();
    ASSERT_TRUE(view_->GetReplayFlag());
    DriveUntilRouteEnds(60);
    ASSERT_FALSE(g_router->state & kRouterRouteState);
    ASSERT_FALSE(view_->GetReplayFlag());
    Seconds(6);
    EXPECT_TRUE(FixReadThrough(pty, 1));
}

// The end of a log playback or of a demonstration that comes while the router is
// busy or a resume is pending is handled once the view can take it: the menu offers
// the playback and the demonstration again and the live port is back.
TEST_F(GpsWatchdogTest, TheEndOfAReplayWaitsWhileTheViewIsBusy) {
    const HMENU menu = view_->CommandMenu();
    ASSERT_NE(menu, nullptr);
    auto menuText = [menu](UINT command) {
        WCHAR text[64] = {};
        GetMenuStringW(menu, command, text, 64, MF_BYCOMMAND);
        return std::u16string(text);
    };
    Pty pty;
    PlugIn(pty);
    const HWND window = view_->GetViewWindow();
    int second = 0;
    for (const bool resume : {false, true}) {
        SCOPED_TRACE(resume ? "resume pending" : "router busy");
        view_->SetMenuText(3021, 6022);  // "Stop Playback"
        view_->SetMenuText(3068, 6225);  // "Stop Demo"
        CloseReceiverPort();
        // A replay keeps the watchdog off: only the end of it brings the port back.
        view_->lastDataTick.store(kNoDataTick);
        if (resume)
            view_->resumePending.store(TRUE);
        else
            g_router->busyCount = 1;
        PostMessageW(window, WM_USER, kViewPlaybackEnded, 0);
        PostMessageW(window, WM_USER, kViewSimulationEnded, 0);
        Pump();
        EXPECT_EQ(menuText(3021), u"Stop Playback");
        view_->resumePending.store(FALSE);
        g_router->busyCount = 0;
        Seconds(1);
        EXPECT_EQ(menuText(3021), u"Play GPS Track");
        EXPECT_EQ(menuText(3068), u"Demo Current Route");
        EXPECT_TRUE(FixReadThrough(pty, ++second));
    }
}

// On Andorra's real roads: the program starts, a route demonstration drives to the
// route's end, the arrival's timer cancels the route, and the program closes having
// given back every heap block a run takes.
class AndorraDemoTest : public AppTest {
  protected:
    size_t RunDemo() {
        EXPECT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
        Pump();
        auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
        if (!frame) {
            ADD_FAILURE() << "no main frame";
            return 0;
        }
        CMainView& view = frame->View();
        // Andorra la Vella's centre to Escaldes-Engordany, about 2 km.
        EXPECT_TRUE(RouteBetween(view, {42.5075f, 1.5218f}, {42.5094f, 1.5386f}, 0));
        view.OnDemoRoute();
        EXPECT_TRUE(view.GetReplayFlag());
        DriveUntilRouteEnds(120);
        EXPECT_FALSE(g_router->state & kRouterRouteState);
        platform::AdvanceClockAndPump(2000);
        EXPECT_FALSE(view.GetReplayFlag());
        Close();
        EXPECT_EQ(g_mainView.load(), nullptr);
        EXPECT_EQ(g_router, nullptr);
        return HeapBytesInUse();
    }
};

TEST_F(AndorraDemoTest, RouteDemonstrationToItsEndThenClose) {
    if (!InstallAndorraMaps())
        GTEST_SKIP() << "no shared OpenStreetMap data ("
                     << testing_support::SharedDataFolder().string()
                     << "): Andorra's maps are not made";
    InstallVoiceFiles();
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 3);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0);
    platform::UseManualClock(true);
    const size_t first = RunDemo();
    const size_t second = RunDemo();
    platform::UseManualClock(false);
    // A second run takes nothing more: the first one gave back what it took.
    EXPECT_EQ(second, first);
}

}  // namespace
}  // namespace shell_test

namespace shell_test {
namespace {

class MapInputTest : public MainViewTest {
  protected:
    void Press(UINT message, POINT p) {
        SendMessageW(view_->GetViewWindow(), message, 0, MAKELPARAM(p.x, p.y));
    }
    void Tap(POINT p) {
        Press(WM_LBUTTONDOWN, p);
        Press(WM_LBUTTONUP, p);
        Pump();
    }
    RECT Client() const {
        RECT client{};
        ::GetClientRect(view_->GetViewWindow(), &client);
        return client;
    }
    // A point of the view on which the map view's zoom buttons answer `wanted`.
    std::optional<POINT> ZoomButton(int wanted) const {
        const RECT client = Client();
        for (int y = 0; y < client.bottom; ++y)
            for (int x = 0; x < client.right; ++x)
                if (view_->MapView().HitTest(x, y) == wanted)
                    return POINT{x, y};
        return std::nullopt;
    }
};

// A tap on the status box steps its mode (with a route) and stores it; without a
// route the box stays on its mode.
TEST_F(MapInputTest, TapOnTheStatusBoxCyclesItsModeOnlyWithARoute) {
    const RECT client = Client();
    const POINT box = {client.right - view_->statBoxWidth / 2,
                       client.bottom - view_->statBoxBottom - view_->statBoxHeight / 2};
    view_->statBoxMode = kStatBoxDest;
    Tap(box);
    EXPECT_EQ(view_->statBoxMode, kStatBoxDest);

    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    for (int expected : {kStatBoxSpeed, kStatBoxRemaining, kStatBoxEta}) {
        Tap(box);
        EXPECT_EQ(view_->statBoxMode, expected);
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"StatBoxMode", 99),
                  static_cast<DWORD>(expected));
    }
}

// A drag past 25 pixels starts pan mode and moves the pan centre by the map
// distance from the press to the release; a shorter one is a tap.
TEST_F(MapInputTest, DragPansByStartMinusEnd) {
    const RECT client = Client();
    const POINT start = {client.right / 2, client.bottom / 3};
    const POINT shortMove = {start.x + 20, start.y};
    Press(WM_LBUTTONDOWN, start);
    Press(WM_MOUSEMOVE, shortMove);
    EXPECT_FALSE(view_->IsPanMode());
    Press(WM_LBUTTONUP, shortMove);

    const POINT end = {start.x - 40, start.y + 30};
    Press(WM_LBUTTONDOWN, start);
    Press(WM_MOUSEMOVE, end);
    ASSERT_TRUE(view_->IsPanMode());
    FLOAT lat0 = 0, lon0 = 0;
    view_->GetPanCentre(&lat0, &lon0);
    float startLon, startLat, endLon, endLat;
    view_->MapView().ScreenToWorld(start.x, start.y, &startLon, &startLat);
    view_->MapView().ScreenToWorld(end.x, end.y, &endLon, &endLat);
    Press(WM_LBUTTONUP, end);
    FLOAT lat = 0, lon = 0;
    view_->GetPanCentre(&lat, &lon);
    EXPECT_NEAR(lon, lon0 + (startLon - endLon), 1e-6);
    EXPECT_NEAR(lat, lat0 + (startLat - endLat), 1e-6);
    // Dragged left and down: the map follows the stylus, the centre moves east and north.
    EXPECT_GT(lon, lon0);
    EXPECT_GT(lat, lat0);
    EXPECT_EQ(view_->dragStart.x, -500);
    EXPECT_EQ(::GetCapture(), nullptr);
}

TEST_F(MapInputTest, PanExitTapAndEscapeLeavePanMode) {
    view_->SetPanMode(TRUE);
    Pump();
    const RECT exit = view_->panExitRect;
    ASSERT_LT(exit.left, exit.right);
    Tap({(exit.left + exit.right) / 2, (exit.top + exit.bottom) / 2});
    EXPECT_FALSE(view_->IsPanMode());

    view_->SetPanMode(TRUE);
    SendMessageW(view_->GetViewWindow(), WM_KEYDOWN, VK_ESCAPE, 0);
    EXPECT_FALSE(view_->IsPanMode());
}

// While a resume is pending presses, drags and releases are dropped.
TEST_F(MapInputTest, InputIsDroppedWhileAResumeIsPending) {
    const RECT client = Client();
    const POINT start = {client.right / 2, client.bottom / 3};
    view_->resumePending.store(TRUE);
    Press(WM_LBUTTONDOWN, start);
    Press(WM_MOUSEMOVE, {start.x + 60, start.y});
    Press(WM_LBUTTONUP, {start.x + 60, start.y});
    view_->resumePending.store(FALSE);
    EXPECT_FALSE(view_->IsPanMode());
    EXPECT_EQ(view_->dragStart.x, -500);
    EXPECT_EQ(::GetCapture(), nullptr);
}

// The zoom buttons under the map step the zoom in and out, as the Up and Down keys
// do; the speaker mutes and unmutes the voice.
TEST_F(MapInputTest, ZoomButtonsKeysAndSpeaker) {
    CMapView& map = view_->MapView();
    const std::optional<POINT> in = ZoomButton(1), out = ZoomButton(-1);
    ASSERT_TRUE(in && out);
    map.SetZoom(3);
    Tap(*in);
    EXPECT_EQ(map.GetZoomIndex(), 2);
    Tap(*out);
    Tap(*out);
    EXPECT_EQ(map.GetZoomIndex(), 4);
    SendMessageW(view_->GetViewWindow(), WM_KEYDOWN, VK_UP, 0);
    EXPECT_EQ(map.GetZoomIndex(), 3);
    SendMessageW(view_->GetViewWindow(), WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(map.GetZoomIndex(), 4);

    const DWORD muted = g_options.load() & kOptionVoiceMuted;
    const RECT speaker = view_->speakerRect;
    Tap({(speaker.left + speaker.right) / 2, (speaker.top + speaker.bottom) / 2});
    EXPECT_NE(g_options.load() & kOptionVoiceMuted, muted);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", 0) & kOptionVoiceMuted,
              g_options.load() & kOptionVoiceMuted);
    Tap({(speaker.left + speaker.right) / 2, (speaker.top + speaker.bottom) / 2});
    EXPECT_EQ(g_options.load() & kOptionVoiceMuted, muted);
}

}  // namespace
}  // namespace shell_test
