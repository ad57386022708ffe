// The route list and its step list: the row texts apart from the window, then the
// screen following guidance, scrolling, and "Map", in the running program.
#include "pathlume/shell/route_list_view.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "pathlume/guidance/guidance_update.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/route_hooks.h"
#include "pathlume/route/router.h"
#include "tests/shell/screen_fixture.h"
#include "tests/shell/town_route.h"

namespace {

TEST(RouteRows, SplitAtTheFirstTwoCommasOnly) {
    const RouteRowFields f = SplitRouteRow("3,0.2 mi,MAIN ST, SUITE 5 turn right");
    EXPECT_EQ(f.code, '3');
    EXPECT_EQ(f.distance, "0.2 mi");
    EXPECT_EQ(f.street, "MAIN ST, SUITE 5 turn right");
    const RouteRowFields bare = SplitRouteRow("9");
    EXPECT_EQ(bare.code, '9');
    EXPECT_TRUE(bare.distance.empty() && bare.street.empty());
    EXPECT_EQ(SplitRouteRow("").code, 0);
    struct Arrow {
        char code;
        UINT bitmap;
    };
    for (const Arrow& a : {Arrow{'0', 219}, Arrow{'1', 217}, Arrow{'2', 221}, Arrow{'3', 227},
                           Arrow{'C', 227}, Arrow{'4', 229}, Arrow{'D', 229}, Arrow{'5', 223},
                           Arrow{'6', 225}, Arrow{'7', 235}, Arrow{'8', 237}, Arrow{'A', 231},
                           Arrow{'B', 233}, Arrow{'E', 240}, Arrow{'9', 201}, Arrow{'?', 201}})
        EXPECT_EQ(StepArrowBitmap(a.code), a.bitmap) << a.code;
}

TEST(RouteRows, NamesAreCutAtSlashesAndTheArrivalNamesItsRequest) {
    const char* sixty = "NORTH FIRST STREET EXTENSION/STATE HIGHWAY 82/OLD MILL ROAD";
    struct Case {
        const char* name;
        bool arrival;
        const char* action;
        const char* request;
        const char* row;
    };
    const Case cases[] = {
        {sixty, false, "turn left", "",
         "1,0.2 mi,NORTH FIRST STREET EXTENSION/STATE HIGHWAY 82 turn left"},
        {"A ROAD NAME OF SIXTY CHARACTERS WITHOUT ANY SLASH IN IT AT ALL", false, "bear right", "",
         "3,0.2 mi,A ROAD NAME OF SIXTY CHARACTERS WITHOUT ANY SLASH IN IT AT ALL bear right"},
        {sixty, true, "", "", "9,0.2 mi,NORTH FIRST STREET EXTENSION"},
        {"WALNUT TER", true, "", "-", "9,0.2 mi,WALNUT TER"},
        {"WALNUT TER", true, " on the right", "-", "9,0.2 mi,WALNUT TER  on the right"},
        {"WALNUT TER", true, "", "12", "9,0.2 mi,12 WALNUT TER"},
        {"WALNUT TER", true, " on the left", "12", "9,0.2 mi,12 WALNUT TER  on the left"},
        {"MAIN ST, SUITE 5", false, "turn right", "", "0,0.2 mi,MAIN ST, SUITE 5 turn right"},
    };
    for (const Case& c : cases) {
        RouteRowParts parts;
        parts.symbol = c.row[0];
        parts.distance = "0.2 mi";
        parts.name = c.name;
        parts.action = c.action;
        parts.arrival = c.arrival;
        parts.request = c.request;
        char row[kRouteRowSize];
        FormatRouteRow(parts, row, sizeof row);
        EXPECT_STREQ(row, c.row);
    }
}

}  // namespace

namespace shell_test {
namespace {

class RouteListScreenTest : public ChildScreenTest {
  protected:
    void SetUp() override {
        ChildScreenTest::SetUp();
        MapPoint start;
        ASSERT_TRUE(RouteAcrossTown(*view_, 1, &start));
        ASSERT_GE(g_router->maneuverCount, 4) << "the town's route has too few maneuvers";
    }
    CRouteListView* RouteList() {
        return static_cast<CRouteListView*>(view_->ScreenOf(kScreenRouteList));
    }
    std::string Row(int index) {
        const char* text = static_cast<const char*>(RouteList()->List()->GetItem(index));
        return text ? text : "";
    }
};

TEST_F(RouteListScreenTest, RowsAreTheRemainingManeuversRoadsInOrder) {
    ASSERT_NE(Show(kScreenRouteList), nullptr);
    const CRouter& r = *g_router;
    ASSERT_EQ(RouteList()->List()->GetCount(), r.maneuverCount - r.currentManeuver);
    for (int i = 0; i + 1 < r.maneuverCount; ++i) {
        char road[kManeuverTextSize] = {};
        GetManeuverRoadName(r, r.maneuvers[i], road, sizeof road);
        const std::string row = Row(i);
        const RouteRowFields f = SplitRouteRow(row);
        EXPECT_EQ(f.street.substr(0, std::strlen(road)), road) << row;
        EXPECT_NE(StepArrowBitmap(f.code), 201u) << row;
    }
    EXPECT_EQ(Row(r.maneuverCount - 1)[0], '9');  // the arrival
    EXPECT_EQ(RouteList()->List()->selection, 0);
    // The keys move the selection; other keys go to the view.
    PressKey(VK_DOWN);
    PressKey(VK_DOWN);
    EXPECT_EQ(RouteList()->List()->selection, 2);
    PressKey(VK_UP);
    EXPECT_EQ(RouteList()->List()->selection, 1);
}

TEST_F(RouteListScreenTest, PassedManeuversDropTheirRowsAndTheFirstRowFollows) {
    ASSERT_NE(Show(kScreenRouteList), nullptr);
    const int rows = RouteList()->List()->GetCount();
    const std::string third = Row(2);
    g_router->currentManeuver = 2;
    view_->RefreshRouteList();
    EXPECT_EQ(RouteList()->List()->GetCount(), rows - 2);
    EXPECT_EQ(RouteList()->Dropped(), 2);
    const std::string first = Row(0);
    EXPECT_EQ(SplitRouteRow(first).street, SplitRouteRow(third).street);
    // Never more rows than the list holds: a list emptied meanwhile stays empty.
    while (RouteList()->List()->GetCount() > 0)
        RouteList()->List()->DeleteItem(0);
    g_router->currentManeuver = g_router->maneuverCount - 1;
    view_->RefreshRouteList();
    EXPECT_EQ(RouteList()->List()->GetCount(), 0);
    // After a route search the list is built again: at the arrival, one row.
    EXPECT_TRUE(view_->IsRouteListActive());
    ASSERT_EQ(RouteList()->List()->GetCount(), 1);
    EXPECT_EQ(Row(0)[0], '9');
}

TEST_F(RouteListScreenTest, AHeldScrollRectangleRepeatsAfterHalfASecondThenEveryFiftyMs) {
    ASSERT_NE(Show(kScreenRouteList), nullptr);
    CTurnListView* list = RouteList()->List();
    const HWND window = RouteList()->GetSafeHwnd();
    const RECT down = CRouteListView::ScrollDownRect(view_->fullScreen != FALSE);
    const LPARAM at = MAKELPARAM(down.left + 5, down.top + 5);
    ::SendMessageW(window, WM_LBUTTONDOWN, 0, at);
    EXPECT_EQ(list->selection, 1);
    platform::AdvanceClockAndPump(499);
    EXPECT_EQ(list->selection, 1);
    platform::AdvanceClockAndPump(1);
    EXPECT_EQ(list->selection, 2);
    platform::AdvanceClockAndPump(50);
    EXPECT_EQ(list->selection, 3);
    ::SendMessageW(window, WM_LBUTTONUP, 0, at);
    platform::AdvanceClockAndPump(500);
    EXPECT_EQ(list->selection, 3);
    // Up goes back; a press elsewhere starts nothing.
    const RECT& up = CRouteListView::ScrollUpRect();
    ::SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(up.left + 5, up.top + 5));
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(up.left + 5, up.top + 5));
    EXPECT_EQ(list->selection, 2);
    ::SendMessageW(window, WM_LBUTTONDOWN, 0, MAKELPARAM(1, 1));
    platform::AdvanceClockAndPump(2000);
    EXPECT_EQ(list->selection, 2);
    ::SendMessageW(window, WM_LBUTTONUP, 0, MAKELPARAM(1, 1));
    // The arrow buttons step too.
    ::SendMessageW(window, WM_COMMAND, kRouteListDownCommand, 0);
    EXPECT_EQ(list->selection, 3);
    ::SendMessageW(window, WM_COMMAND, kRouteListUpCommand, 0);
    EXPECT_EQ(list->selection, 2);
}

TEST_F(RouteListScreenTest, MapShowsTheSelectedPlaceInPanMode) {
    ASSERT_NE(Show(kScreenRouteList), nullptr);
    const CRouter& r = *g_router;
    // The last row is the destination point, not the last node.
    RouteList()->List()->SetSelection(RouteList()->List()->GetCount() - 1, FALSE, FALSE);
    ::SendMessageW(RouteList()->GetSafeHwnd(), WM_COMMAND, kRouteListMapCommand, 0);
    Pump();
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
    EXPECT_TRUE(view_->IsPanMode());
    FLOAT lat = 0, lon = 0;
    view_->GetPanCentre(&lat, &lon);
    EXPECT_FLOAT_EQ(lat, r.destPoint.latitude);
    EXPECT_FLOAT_EQ(lon, r.destPoint.longitude);
    // The second row: the node where its maneuver's route entry begins.
    view_->SetPanMode(FALSE);
    ASSERT_NE(Show(kScreenRouteList), nullptr);
    RouteList()->List()->SetSelection(1, FALSE, FALSE);
    const MapNode* node = ResolveNodeRef(r.routeList[r.maneuvers[1].routeIndex]);
    ASSERT_NE(node, nullptr);
    ::SendMessageW(RouteList()->GetSafeHwnd(), WM_COMMAND, kRouteListMapCommand, 0);
    Pump();
    view_->GetPanCentre(&lat, &lon);
    EXPECT_FLOAT_EQ(lat, node->position.latitude);
    EXPECT_FLOAT_EQ(lon, node->position.longitude);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
}

TEST_F(RouteListScreenTest, HomeClosesLeavingTheFlagAndTheListStopsFollowing) {
    ASSERT_NE(Show(kScreenRouteList), nullptr);
    const int rows = RouteList()->List()->GetCount();
    g_homeKeyPressed.store(0);
    ::SendMessageW(RouteList()->GetSafeHwnd(), WM_KEYDOWN, VK_HOME, 1);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
    EXPECT_TRUE(ViewRequestWaits(kViewSwitchScreen, 1));
    g_router->currentManeuver = 2;
    view_->RefreshRouteList();
    EXPECT_EQ(RouteList()->List()->GetCount(), rows);
    view_->SwitchScreen(kScreenMap);
    EXPECT_EQ(view_->ScreenOf(kScreenRouteList), nullptr);
}

// The map's bottom strip and the guidance screen's banner lead here.
TEST_F(RouteListScreenTest, ReachedFromTheMapsBottomStrip) {
    g_vehicleLocation.stale = 0;
    RECT client{};
    view_->GetClientRect(&client);
    POINT at{ScaleX(20), client.bottom - ScaleY(5)};
    ::ClientToScreen(view_->GetSafeHwnd(), &at);
    platform::PostTap(at);
    Pump();
    EXPECT_EQ(view_->GetScreenMode(), kScreenRouteList);
    ASSERT_NE(RouteList(), nullptr);
    PressKey(VK_ESCAPE);
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
}

}  // namespace
}  // namespace shell_test
