// Enter Destination's frame over recording screens: the route management's answers,
// Home after every screen, the region the search starts in, the GPS hold and the
// modal count on every way out; and Save Current Location.
#include <gtest/gtest.h>

#include <filesystem>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/snap.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/favorites.h"
#include "pathlume/shell/hotkey_table.h"
#include "pathlume/shell/search_region.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "tests/shell/running_view.h"
#include "tests/shell/town_route.h"

namespace shell_test {
namespace {

class DestinationFlowTest : public RunningViewTest {
  protected:
    bool RouteExists() const { return g_router && (g_router->state & kRouterRouteState); }
    bool DetourActive() const { return g_router && (g_router->state & kRouterDetourActive); }
    // Every way out gives the GPS back and the modal count.
    void ExpectFlowLeft() {
        EXPECT_FALSE(ReceiverPaused());
        EXPECT_EQ(view_->modalCount.load(), 0);
        EXPECT_EQ(g_homeKeyPressed.load(), 0u);
    }
};

// Route management's answers, with and without a detour running.
TEST_F(DestinationFlowTest, EachRouteManagementAnswerLeadsWhereItSays) {
    struct Case {
        const char* label;
        int answer;
        bool detour;         // a detour runs when the flow starts
        int result;          // what the flow answers
        bool search;         // the search ran
        bool routeAfter;     // a route exists afterwards
        bool detourAfter;    // the detour mark afterwards
        const char* dialog;  // the option dialog it opened, or null
    };
    const Case cases[] = {
        {"Detour opens the detour options", kRouteManagementDetour, false, kRouteManagementDetour,
         false, true, false, "detourOptions"},
        {"Avoid Road opens the roads to avoid", kRouteManagementAvoidRoad, false,
         kRouteManagementAvoidRoad, false, true, false, "avoidRoads"},
        {"Stopover with the search closed ends the stopover", kRouteManagementStopover, false,
         kSearchClosed, true, false, false, nullptr},
        {"Clear Dest drops the route", kRouteManagementClearDest, false, kRouteManagementClearDest,
         false, false, false, nullptr},
        {"Clear Dest in a detour ends only the detour", kRouteManagementClearDest, true,
         kRouteManagementClearDest, false, true, false, nullptr},
        {"New resets the route and searches", kRouteManagementNew, false, kSearchClosed, true,
         false, false, nullptr},
        {"Close ends the flow", IDCANCEL, false, kSearchClosed, false, true, false, nullptr},
        {"Another answer searches with the route kept", 700, false, kSearchClosed, true, true,
         false, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(RouteAcrossTown(*view_, 1));
        if (c.detour)
            g_router->SetDetourBit(1);
        recorder_ = ScreenRecorder{};
        recorder_.answers["routeManagement"] = {c.answer};
        EXPECT_EQ(view_->EnterDestination(), c.result);
        EXPECT_EQ(recorder_.Count("routeManagement"), 1);
        EXPECT_EQ(recorder_.Count("search"), c.search ? 1 : 0);
        if (c.dialog) {
            EXPECT_EQ(recorder_.Count(c.dialog), 1);
        }
        EXPECT_EQ(RouteExists(), c.routeAfter);
        EXPECT_EQ(DetourActive(), c.detourAfter);
        // Inside every screen the GPS was held and the count raised.
        for (int count : recorder_.modalCounts)
            EXPECT_EQ(count, 1);
        for (bool paused : recorder_.paused)
            EXPECT_TRUE(paused);
        ExpectFlowLeft();
        Pump();
        g_router->SetDetourBit(0);
    }
}

TEST_F(DestinationFlowTest, ShowDestinationPansToItOnTheMapAndDemoStartsTheDemonstration) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    recorder_.answers["routeManagement"] = {kRouteManagementShowDestination, kRouteManagementDemo};
    EXPECT_EQ(view_->EnterDestination(), IDCANCEL);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    ASSERT_TRUE(view_->IsPanMode());
    FLOAT lat = 0, lon = 0;
    view_->GetPanCentre(&lat, &lon);
    EXPECT_EQ(lat, g_router->destPoint.latitude);
    EXPECT_EQ(lon, g_router->destPoint.longitude);
    EXPECT_EQ(recorder_.Count("search"), 0);
    EXPECT_EQ(view_->modalCount.load(), 0);
    view_->SetPanMode(FALSE);

    EXPECT_EQ(view_->EnterDestination(), kRouteManagementDemo);
    EXPECT_TRUE(view_->GetReplayFlag());
    view_->OnDemoRoute();
    EXPECT_FALSE(view_->GetReplayFlag());
    ExpectFlowLeft();
}

// Home on any screen ends the whole flow at once.
TEST_F(DestinationFlowTest, HomeAfterEachScreenEndsTheFlow) {
    struct Case {
        const char* label;
        const char* homeIn;  // the screen the driver leaves with Home
        int answer;          // route management's answer
        bool searched;
    };
    const Case cases[] = {
        {"route management", "routeManagement", kRouteManagementNew, false},
        {"detour options", "detourOptions", kRouteManagementDetour, false},
        {"roads to avoid", "avoidRoads", kRouteManagementAvoidRoad, false},
        {"the search after Stopover", "search", kRouteManagementStopover, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        ASSERT_TRUE(RouteAcrossTown(*view_, 1));
        recorder_ = ScreenRecorder{};
        recorder_.answers["routeManagement"] = {c.answer};
        recorder_.actions[c.homeIn] = [] { g_homeKeyPressed.store(1); };
        view_->EnterDestination();
        EXPECT_EQ(recorder_.Count("search"), c.searched ? 1 : 0);
        // A stopover begun without a new route does not outlive the flow.
        EXPECT_FALSE(DetourActive());
        ExpectFlowLeft();
        recorder_.actions.clear();
    }
}

TEST_F(DestinationFlowTest, WithoutARouteTheSearchComesFirstInTheMatchedRoadsRegion) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    g_router->ResetRoute(0, 0, 0);
    ASSERT_NE(g_vehicleLocation.GetLink(true), nullptr);
    const int matched = CMapView::RegionOfLink(g_vehicleLocation.GetLink(true)->linkId);
    ASSERT_NE(matched, CMapView::kNoRegion);
    EXPECT_EQ(view_->EnterDestination(), kSearchClosed);
    EXPECT_EQ(recorder_.Count("routeManagement"), 0);
    ASSERT_EQ(recorder_.regions.size(), 1u);
    EXPECT_EQ(recorder_.regions[0], matched);
    EXPECT_EQ(g_linkInfo.CurrentArea(), static_cast<uint32_t>(matched));
    ExpectFlowLeft();
}

// Without a matched road the nearest road's region counts; far from every road the
// first region with streets; with no street list either, none (255) is passed on.
TEST_F(DestinationFlowTest, RegionComesFromTheNearestRoadOrTheFirstRegionWithStreets) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    g_router->ResetRoute(0, 0, 0);
    const MapPoint near = g_vehicleLocation.position;
    g_vehicleLocation.Set(nullptr, MapLocation::kNoTag);
    view_->EnterDestination();
    ASSERT_EQ(recorder_.regions.size(), 1u);
    EXPECT_EQ(recorder_.regions[0],
              view_->MapView().FindNearestRoadRegion(near.longitude, near.latitude));
    EXPECT_NE(recorder_.regions[0], CMapView::kNoRegion);

    // None (255) becomes the first region with streets; with no street list, or one
    // cut short, none is passed on.
    const int first = SearchRegionOr(CMapView::kNoRegion);
    EXPECT_NE(first, CMapView::kNoRegion);
    EXPECT_EQ(SearchRegionOr(3), 3);
    std::filesystem::path streets;
    ASSERT_TRUE(
        platform::HostPathFor((std::u16string(g_dataFolder) + u"stnl.bin").c_str(), &streets));
    ASSERT_TRUE(std::filesystem::exists(streets));
    const std::filesystem::path away = streets.string() + ".away";
    std::filesystem::rename(streets, away);
    EXPECT_EQ(SearchRegionOr(CMapView::kNoRegion), CMapView::kNoRegion);
    std::filesystem::copy_file(away, streets);
    std::filesystem::resize_file(streets, 12);
    EXPECT_EQ(SearchRegionOr(CMapView::kNoRegion), CMapView::kNoRegion);
    std::filesystem::remove(streets);
    std::filesystem::rename(away, streets);
    EXPECT_EQ(SearchRegionOr(CMapView::kNoRegion), first);
    ExpectFlowLeft();
}

// The second start's "Enter Destination" (3017) and a bound button arrive while the
// flow's screen is up: neither opens a second flow.
TEST_F(DestinationFlowTest, ACommandOrHotkeyDuringTheFlowOpensNoSecondFlow) {
    g_hotkeyTable.SetEntry(0, VK_APP3, kHotkeyEnterDestination);
    g_hotkeyTable.RegisterAll(view_->GetViewWindow(), TRUE);
    recorder_.actions["search"] = [this] {
        if (recorder_.Count("search") > 1)
            return;
        PostMessageW(frame_->GetSafeHwnd(), WM_COMMAND, 3017, 0);
        platform::PostKeyPress(VK_APP3);
        Pump();
    };
    PostMessageW(frame_->GetSafeHwnd(), WM_COMMAND, 3017, 0);
    Pump();
    EXPECT_EQ(recorder_.Count("search"), 1);
    ExpectFlowLeft();
    g_hotkeyTable.RegisterAll(view_->GetViewWindow(), FALSE);
    g_hotkeyTable = CHotkeyTable();
}

class SaveLocationTest : public DestinationFlowTest {
  protected:
    static int Prompt(CWnd*, const FavoritePrompt& prompt) {
        prompts().push_back(prompt);
        return kPromptAdd;
    }
    static std::vector<FavoritePrompt>& prompts() {
        static std::vector<FavoritePrompt> all;
        return all;
    }
    void SetUp() override {
        DestinationFlowTest::SetUp();
        prompts().clear();
        SetFavoritePromptHook(Prompt);
    }
    void TearDown() override {
        SetFavoritePromptHook(nullptr);
        DestinationFlowTest::TearDown();
    }
    size_t Favorites() {
        WCHAR path[MAX_PATH] = {};
        CDestList list;
        list.path = FormatDataFilePath(kListFavorites, path);
        list.Load(0, 0);
        return list.records.size();
    }
};

TEST_F(SaveLocationTest, TwiceAsksForOverrideAndKeepsOne) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    PostMessageW(frame_->GetSafeHwnd(), WM_COMMAND, 3001, 0);
    Pump();
    PostMessageW(frame_->GetSafeHwnd(), WM_COMMAND, 3001, 0);
    Pump();
    ASSERT_EQ(prompts().size(), 2u);
    EXPECT_FALSE(prompts()[0].duplicate);
    EXPECT_TRUE(prompts()[1].duplicate);
    EXPECT_NE(prompts()[1].text.find(u"Duplicate Entry Found"), std::u16string::npos);
    EXPECT_EQ(Favorites(), 1u);
    EXPECT_EQ(view_->modalCount.load(), 0);
}

TEST_F(SaveLocationTest, WithoutAMatchedRoadNothingIsAskedOrWritten) {
    g_vehicleLocation.Set(nullptr, MapLocation::kNoTag);
    view_->OnSaveLocation();
    EXPECT_TRUE(prompts().empty());
    EXPECT_EQ(Favorites(), 0u);
}

// A list that cannot be written is not left looking saved: the box says so.
TEST_F(SaveLocationTest, AnUnwritableListIsReported) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    WCHAR path[MAX_PATH] = {};
    std::filesystem::path host;
    ASSERT_TRUE(platform::HostPathFor(FormatDataFilePath(kListFavorites, path), &host));
    std::filesystem::create_directories(host);  // a folder where the file should be
    platform::ClearMessageBoxes();
    platform::QueueMessageBoxAnswer(IDOK);
    view_->OnSaveLocation();
    ASSERT_EQ(prompts().size(), 1u);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(u"could not be saved"), std::u16string::npos);
    EXPECT_EQ(view_->modalCount.load(), 0);
    std::filesystem::remove(host);
}

}  // namespace
}  // namespace shell_test
