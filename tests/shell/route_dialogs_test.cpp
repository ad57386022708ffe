// The route dialogs in the running program on the town's maps: what Route Options
// hands the router, the detour's distances and marking, Route Management's texts
// and answers, and the roads to avoid.
#include "pathlume/shell/route_dialogs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/route/router.h"
#include "tests/shell/option_dialog_fixture.h"
#include "tests/shell/town_route.h"

namespace shell_test {
namespace {

constexpr int kNoSearch = -7;

// Entries of the route whose link carries the bits, the first and last left out.
int InnerLinksWith(uint32_t bits) {
    int count = 0;
    for (int32_t i = 1; i + 1 < g_router->routeCount; ++i) {
        const MapLink* link = EntryLink(g_router->routeList[i]);
        count += link && (link->attributes & bits) ? 1 : 0;
    }
    return count;
}

DWORD Setting(LPCWSTR name) {
    return RegGetDword(HKEY_CURRENT_USER, kSettingsKey, name, 0xBADBAD);
}

class RouteDialogsTest : public OptionDialogTest {
  protected:
    void SetUp() override {
        OptionDialogTest::SetUp();
        ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    }
    // Marks the router's last search so that a new one shows.
    static void ForgetSearch() { g_router->lastSearch.tries = kNoSearch; }
    static bool Searched() { return g_router->lastSearch.tries != kNoSearch; }
};

TEST_F(RouteDialogsTest, RouteOptionsHandTheChoicesToTheRouter) {
    // Unchanged, with a route: stored again, no new route, and the map asked for.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteFlags", 0xFFFF);
    ForgetSearch();
    const uint32_t state = g_router->state;
    EXPECT_EQ(Run<CRouteOptionsDlg>([](CRouteOptionsDlg& d) { Press(d, IDOK); }, view_), IDOK);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
    EXPECT_FALSE(Searched());
    EXPECT_EQ(g_router->state, state);
    EXPECT_EQ(Setting(u"RouteFlags"), state & kRouteFlagsMask);

    // Home leaves the router alone.
    g_homeKeyPressed.store(0);
    EXPECT_EQ(Run<CRouteOptionsDlg>(
                  [](CRouteOptionsDlg& d) {
                      Press(d, 524);
                      platform::PostKeyPress(VK_HOME);
                  },
                  view_),
              IDCANCEL);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
    EXPECT_EQ(g_router->routeAlgo, kRouteQuickest);
    EXPECT_FALSE(Searched());

    // A method and an option changed, with a route: stored and routed again.
    EXPECT_EQ(Run<CRouteOptionsDlg>(
                  [](CRouteOptionsDlg& d) {
                      Press(d, 524);  // Shortest
                      Press(d, 529);  // toll roads excluded
                      Press(d, 623);  // Reduce Turns disabled
                      EXPECT_FALSE(d.m_quickest.selected);
                      EXPECT_TRUE(d.m_tollsOut.selected && !d.m_tollsIn.selected);
                      Press(d, IDOK);
                  },
                  view_),
              IDOK);
    EXPECT_TRUE(Searched());
    EXPECT_EQ(g_router->routeAlgo, kRouteShortest);
    EXPECT_EQ(Setting(u"RouteAlgo"), 0u);
    EXPECT_EQ(Setting(u"RouteFlags") & kRouteFlagsMask, (state & 0x220) | 0x110u);
    EXPECT_TRUE(g_router->state & kRouterRouteState);

    // A change without a route: stored, nothing routed.
    view_->CancelRoute();
    ForgetSearch();
    Run<CRouteOptionsDlg>(
        [](CRouteOptionsDlg& d) {
            Press(d, 622);
            Press(d, IDOK);
        },
        view_);
    EXPECT_FALSE(Searched());
    EXPECT_EQ(Setting(u"RouteFlags") & kRouterReduceTurnsOff, 0u);
}

// A method outside the four shows none checked, and OK keeps it.
TEST_F(RouteDialogsTest, AnUnknownMethodStaysUnlessOneIsChosen) {
    g_router->routeAlgo = 7;
    Run<CRouteOptionsDlg>(
        [](CRouteOptionsDlg& d) {
            for (const CMapButton* button :
                 {&d.m_quickest, &d.m_shortest, &d.m_majorRoads, &d.m_localRoads})
                EXPECT_FALSE(button->selected);
            Press(d, IDOK);
        },
        view_);
    EXPECT_EQ(g_router->routeAlgo, 7);
}

// The route cancelled while the dialog is open: OK changes only the option bits of
// the state as it is then, and no route comes back from the dialog's copy.
TEST_F(RouteDialogsTest, RouteOptionsAfterTheRouteWentKeepItGone) {
    ForgetSearch();
    Run<CRouteOptionsDlg>(
        [this](CRouteOptionsDlg& d) {
            view_->CancelRoute();
            Press(d, 626);  // ferries excluded
            Press(d, IDOK);
        },
        view_);
    EXPECT_FALSE(g_router->state & kRouterRouteState);
    EXPECT_EQ(g_router->routeList, nullptr);
    EXPECT_FALSE(Searched());
    EXPECT_TRUE(g_router->state & kRouterFerriesExcluded);
}

// The route's inner links made toll roads: excluding tolls routes around them all.
TEST_F(RouteDialogsTest, ExcludingTollsRoutesAroundTollRoads) {
    std::set<int32_t> tolled;
    for (int32_t i = 1; i + 1 < g_router->routeCount; ++i) {
        if (MapLink* link = EntryLink(g_router->routeList[i])) {
            link->attributes |= kAttrToll;
            tolled.insert(link->linkId);
        }
    }
    ASSERT_GT(tolled.size(), 2u);
    Run<CRouteOptionsDlg>(
        [](CRouteOptionsDlg& d) {
            Press(d, 524);
            Press(d, 529);
            Press(d, IDOK);
        },
        view_);
    ASSERT_TRUE(g_router->state & kRouterRouteState);
    EXPECT_EQ(InnerLinksWith(kAttrToll), 0);
    int shared = 0;
    for (int32_t i = 1; i + 1 < g_router->routeCount; ++i) {
        const MapLink* link = EntryLink(g_router->routeList[i]);
        shared += link && tolled.count(link->linkId) ? 1 : 0;
    }
    EXPECT_EQ(shared, 0);
}

TEST(DetourChoicesTest, CaptionsByUnitsAndLength) {
    constexpr double kMilesPerRadian = 3958.73926185;
    constexpr double kKmPerRadian = 6370.97327862;
    struct Case {
        double length;
        DWORD options;
        std::vector<std::string> captions;
        double firstShown;  // in the case's unit
    };
    const Case cases[] = {
        {0.6, 0, {"792 ft", "0.3 mi", "0.6 mi"}, 0.15},
        {0.6, kOptionYards, {"264 yd", "0.3 mi", "0.6 mi"}, 0.15},
        {2.0, 0, {"0.5 mi", "1.0 mi", "2.0 mi"}, 0.5},
        {6.8, 0, {"2 mi", "3 mi", "7 mi"}, 1.7},
        {10.0, 0, {"2 mi", "5 mi", "10 mi"}, 2.0},
        {0.6, kOptionMetric, {"150 m", "0.3 km", "0.6 km"}, 0.15},
        {10.0, kOptionMetric | kOptionYards, {"2 km", "5 km", "10 km"}, 2.0},
    };
    for (const Case& c : cases) {
        const double perRadian = (c.options & kOptionMetric) ? kKmPerRadian : kMilesPerRadian;
        const DetourChoices choices =
            ComputeDetourChoices(static_cast<FLOAT>(c.length / perRadian), c.options);
        EXPECT_EQ(std::vector<std::string>(choices.captions, choices.captions + 3), c.captions)
            << c.length << " options " << c.options;
        EXPECT_NEAR(choices.distances[0] * perRadian, c.firstShown, 1e-4) << c.length;
        EXPECT_NEAR(choices.distances[2] * perRadian, c.length, 1e-4) << c.length;
    }
}

// The first stretch of the route from the previous maneuver, up to the distance:
// its named links marked, the major ones listed, nothing further; the new route
// takes fewer of them.
TEST_F(RouteDialogsTest, DetourMarksTheRoadAheadUpToTheDistance) {
    ASSERT_GE(g_router->maneuverCount, 2);
    g_router->currentManeuver = 0;
    FLOAT total = 0;
    for (int32_t i = 0; i < g_router->routeCount; ++i) {
        if (const MapLink* link = EntryLink(g_router->routeList[i]))
            total += link->Length();
    }
    const FLOAT avoid = total / 2;
    const int marked = MarkDetourAhead(*g_router, avoid);
    ASSERT_GT(marked, 0);
    FLOAT walked = 0;
    int seen = 0;
    int listed = 0;
    for (int32_t i = 0; i < g_router->routeCount; ++i) {
        const MapLink* link = EntryLink(g_router->routeList[i]);
        if (!link)
            continue;
        walked += link->Length();
        const bool isMarked = (link->attributes & kAttrAvoidMark) != 0;
        EXPECT_EQ(isMarked, walked <= avoid && IsAvoidCandidate(*link)) << "entry " << i;
        seen += isMarked ? 1 : 0;
        const bool major = ((link->attributes & kAttrClassMask) >> 6) <= 3;
        listed += isMarked && major ? 1 : 0;
    }
    EXPECT_EQ(seen, marked);
    EXPECT_EQ(g_avoidList.Count(), listed);
    const int before = InnerLinksWith(kAttrAvoidMark);
    ForgetSearch();
    EXPECT_TRUE(RecalculateAvoiding(*g_router, true));
    EXPECT_TRUE(Searched());
    EXPECT_TRUE(g_router->state & kRouterAvoidMarksApplied);
    EXPECT_LT(InnerLinksWith(kAttrAvoidMark), before);
}

// From the dialog: a distance avoids and routes again, Reset drops every avoidance
// and routes again, and with no maneuver ahead nothing is marked but the marks are on.
TEST_F(RouteDialogsTest, DetourButtonsAndReset) {
    g_router->currentManeuver = 0;
    ForgetSearch();
    EXPECT_EQ(Run<CDetourOptionsDlg>(
                  [](CDetourOptionsDlg& d) {
                      CString caption;
                      d.m_longest.GetWindowText(caption);
                      EXPECT_EQ(caption.Str(), std::u16string(d.m_choices.captions[2].begin(),
                                                              d.m_choices.captions[2].end()));
                      Press(d, 610);
                  },
                  view_, g_router->routeLength),
              IDCANCEL);
    EXPECT_TRUE(Searched());
    EXPECT_TRUE(g_router->state & kRouterAvoidMarksApplied);

    ForgetSearch();
    Run<CDetourOptionsDlg>([](CDetourOptionsDlg& d) { Press(d, IDOK); }, view_,
                           g_router->routeLength);
    EXPECT_TRUE(Searched());
    EXPECT_FALSE(g_router->state & kRouterAvoidMarksApplied);
    EXPECT_EQ(g_avoidList.Count(), 0);

    g_router->currentManeuver = g_router->maneuverCount - 1;
    EXPECT_EQ(MarkDetourAhead(*g_router, 1.0f), 0);
    Run<CDetourOptionsDlg>([](CDetourOptionsDlg& d) { Press(d, 609); }, view_, 1.0f);
    EXPECT_TRUE(g_router->state & kRouterAvoidMarksApplied);
    EXPECT_EQ(g_avoidList.Count(), 0);
}

TEST_F(RouteDialogsTest, RouteManagementShowsTheDestinationAndAnswersItsButtons) {
    struct Case {
        const char* name;
        bool stopover;
    };
    for (const Case& c :
         {Case{"", false}, Case{"1200 HARBOUR ST", false}, Case{"1200 HARBOUR ST", true}}) {
        std::snprintf(g_destinationText, kDestinationTextSize, "%s", c.name);
        if (c.stopover)
            g_router->state |= kRouterDetourActive;
        else
            g_router->state &= ~kRouterDetourActive;
        platform::TextRecording recording;
        Run<CRouteManagementDlg>([](CRouteManagementDlg& d) { d.EndDialog(IDCANCEL); }, view_);
        EXPECT_TRUE(Drew(recording, u"Current Destination")) << c.name;
        EXPECT_TRUE(Drew(recording, u"Route Management")) << c.name;
        EXPECT_EQ(Drew(recording, u"HARBOUR ST"), c.name[0] != 0) << c.name;
        EXPECT_EQ(Drew(recording, u"STOPOVER"), c.stopover) << c.name;
    }
    g_router->state &= ~kRouterDetourActive;

    for (const UINT id : {602u, 606u, 607u, 629u, 1u, 2u})
        EXPECT_EQ(Run<CRouteManagementDlg>([id](CRouteManagementDlg& d) { Press(d, id); }, view_),
                  static_cast<int>(id));
    g_homeKeyPressed.store(0);
    EXPECT_EQ(Run<CRouteManagementDlg>(
                  [](CRouteManagementDlg&) { platform::PostKeyPress(VK_HOME); }, view_),
              IDCANCEL);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);

    // In a route demonstration the hidden Demo button says "Stop Demo".
    view_->demoRunning.store(TRUE);
    Run<CRouteManagementDlg>(
        [](CRouteManagementDlg& d) {
            CString caption;
            d.m_demo.GetWindowText(caption);
            EXPECT_EQ(caption.Str(), u"Stop Demo");
            EXPECT_FALSE(d.m_demo.IsWindowVisible());
            EXPECT_TRUE(d.m_detour.IsWindowVisible());
            d.EndDialog(IDCANCEL);
        },
        view_);
    view_->demoRunning.store(FALSE);
}

TEST(AvoidRoadRowsTest, RunsOfANameMakeOneRowAndLongNamesAreCutAtSlashes) {
    const std::string forty = "MOUNTAIN VIEW RD/CR-11/OLD STAGE ROUTE 4";
    ASSERT_EQ(forty.size(), 40u);
    const std::vector<RoutedRoad> entries = {{0, "MAIN ST"}, {1, "MAIN ST"}, {2, "OAK AVE"},
                                             {4, "MAIN ST"}, {5, forty},     {6, forty}};
    const std::vector<RoutedRoad> rows = GroupRoadRows(entries);
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].routeIndex, 0);
    EXPECT_EQ(rows[1].name, "OAK AVE");
    EXPECT_EQ(rows[2].routeIndex, 4);
    EXPECT_EQ(rows[2].name, "MAIN ST");
    EXPECT_EQ(rows[3].routeIndex, 5);
    EXPECT_EQ(rows[3].name, "MOUNTAIN VIEW RD/CR-11");
    const std::vector<RoutedRoad> noSlash = GroupRoadRows({{0, std::string(40, 'X')}});
    EXPECT_EQ(noSlash[0].name.size(), 40u);
}

// The list starts at the vehicle's link (the first entry without one); "Avd" marks
// the selected road, and "Nav" marks its links, turns the marks on and routes again.
TEST_F(RouteDialogsTest, RoadsToAvoidMarkTheChosenRoad) {
    EXPECT_EQ(FindRouteEntryOfLink(*g_router, nullptr), 0);
    const MapLink* third = EntryLink(g_router->routeList[2]);
    ASSERT_NE(third, nullptr);
    EXPECT_EQ(FindRouteEntryOfLink(*g_router, third), 2);

    const std::vector<RoutedRoad> rows = ListRoutedRoads(*g_router, 0);
    ASSERT_GE(rows.size(), 2u);
    for (size_t i = 1; i < rows.size(); ++i)
        EXPECT_GT(rows[i].routeIndex, rows[i - 1].routeIndex);
    const int32_t start = FindRouteEntryOfLink(*g_router, g_vehicleLocation.GetLink(true));
    const std::vector<RoutedRoad> shown = ListRoutedRoads(*g_router, start);
    ForgetSearch();
    Run<CAvoidRoadsDlg>(
        [&shown](CAvoidRoadsDlg& d) {
            EXPECT_EQ(d.m_list->GetCount(), static_cast<int>(shown.size()));
            const auto* first = static_cast<const char*>(d.m_list->GetItem(0));
            EXPECT_EQ(std::string(first ? first : ""), shown[0].name);
            EXPECT_EQ(d.m_list->selection, 0);
            d.SendMessage(WM_KEYDOWN, VK_DOWN, 1);
            EXPECT_EQ(d.m_list->selection, 1);
            Press(d, 629);
            EXPECT_EQ(d.m_list->GetItemFlags(1), CAvoidRoadListWnd::kAvoidMark);
            d.SendMessage(WM_KEYDOWN, VK_UP, 1);
            Press(d, 629);
            Press(d, 607);  // and cleared again
            EXPECT_EQ(d.m_list->GetItemFlags(0), 0u);
            Press(d, 540);
        },
        view_);
    EXPECT_TRUE(Searched());
    EXPECT_TRUE(g_router->state & kRouterAvoidMarksApplied);
}

TEST_F(RouteDialogsTest, NavWithNoMarkedRoadOnlyRoutesAgain) {
    ForgetSearch();
    Run<CAvoidRoadsDlg>([](CAvoidRoadsDlg& d) { d.SendMessage(WM_KEYDOWN, VK_RETURN, 1); }, view_);
    EXPECT_TRUE(Searched());
    EXPECT_TRUE(g_router->state & kRouterAvoidMarksApplied);
    EXPECT_EQ(g_avoidList.Count(), 0);
    EXPECT_EQ(InnerLinksWith(kAttrAvoidMark), 0);
}

// A marked road's range: the candidates among its entries' links are marked, the
// links of the other roads are not.
TEST_F(RouteDialogsTest, MarkingARoadMarksOnlyItsEntries) {
    const std::vector<RoutedRoad> rows = ListRoutedRoads(*g_router, 0);
    ASSERT_GE(rows.size(), 2u);
    const int32_t from = rows[1].routeIndex;
    const int32_t to = rows.size() > 2 ? rows[2].routeIndex : g_router->routeCount;
    EXPECT_GT(MarkRouteRange(*g_router, from, to), 0);
    for (int32_t i = 0; i < g_router->routeCount; ++i) {
        const MapLink* link = EntryLink(g_router->routeList[i]);
        if (!link)
            continue;
        const bool inRange = i >= from && i < to;
        EXPECT_EQ((link->attributes & kAttrAvoidMark) != 0, inRange && IsAvoidCandidate(*link))
            << "entry " << i;
    }
}

// A close asked for while a dialog of a menu command runs closes the dialog first:
// the view that ran it is still there when it returns, and the program then ends.
TEST_F(RouteDialogsTest, ClosingTheProgramUnderADialogClosesTheDialogFirst) {
    const HWND frame = frame_->GetSafeHwnd();
    bool shown = false;
    platform::CallWhenIdle(view_->GetViewWindow(), [&] {
        shown = FindWindowW(u"#32770", nullptr) != nullptr;
        ::PostMessageW(frame, WM_CLOSE, 0, 0);
    });
    ::SendMessageW(frame, WM_COMMAND, 3034, 0);
    Pump();
    EXPECT_TRUE(shown);
    EXPECT_FALSE(IsWindow(frame));
}

}  // namespace
}  // namespace shell_test
