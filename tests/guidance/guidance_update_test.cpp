#include "pathlume/guidance/guidance_update.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/guidance/route_position.h"
#include "pathlume/mapdb/geodesy.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/route/maneuver_list.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/positioning_services.h"
#include "pathlume/route/route_costs.h"
#include "platform/user/user.h"
#include "tests/guidance/guidance_fixture.h"
#include "tests/guidance/said.h"
#include "tools/quiet_main_view.h"

namespace {

// The receiver, matcher and travel direction as a test sets them.
class DriveFix final : public IPositioningServices {
  public:
    int GetFixQuality() override { return quality; }
    FLOAT GetSpeed(int) override { return mph; }
    void ClearFix() override {}
    BOOL IsOpenInProgress() override { return FALSE; }
    void SetPaused(int) override {}
    BOOL IsFixValid() override { return TRUE; }
    int GetSatellitesUsed() override { return 8; }
    FLOAT GetHeading() override { return heading; }
    FLOAT GetFixLatitude() override { return 39.2f; }
    void ResetMatcher(int) override {}
    int SnapWithTimeout(DWORD, int) override { return 0; }
    void StepTrackSim() override { ++steps; }
    TravelDirection UpdateTravelDirection() override { return travel; }
    int GetQueueCount() override { return 0; }
    BOOL IsInputSuspended() override { return FALSE; }
    BOOL IsFixEstimated() override { return estimated; }
    void StopReplay() override { ++stops; }

    int quality = 2;
    FLOAT mph = 30;
    FLOAT heading = 0;
    TravelDirection travel = kTravelForward;
    BOOL estimated = FALSE;
    int steps = 0;
    int stops = 0;
};

// A main view with a window of its own, for the timers guidance starts on it.
class ScreenView final : public QuietMainView {
  public:
    ScreenView() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = DefWindowProcW;
        windowClass.lpszClassName = u"GuidanceTestView";
        RegisterClassW(&windowClass);
        window_ = CreateWindowExW(0, u"GuidanceTestView", u"", 0, 0, 0, 10, 10, nullptr, nullptr,
                                  nullptr, nullptr);
    }
    ~ScreenView() { DestroyWindow(window_); }
    HWND GetViewWindow() override { return window_; }
    DWORD GetScreenMode() override { return mode; }
    void SwitchScreen(int newMode) override {
        mode = static_cast<DWORD>(newMode);
        switches.push_back(newMode);
    }
    void DrawCenteredMessage(int id) override { messages.push_back(id); }
    BOOL GetReplayFlag() override { return replay; }
    void SetReplayFlag(BOOL flag) override { replay = flag; }
    BOOL IsFogDriving() override { return fog; }
    // Whether guidance started the timer; stops it.
    bool TimerRunning(UINT_PTR id) { return KillTimer(window_, id) != FALSE; }

    DWORD mode = 1;
    std::vector<int> switches;
    std::vector<int> messages;
    BOOL replay = FALSE;
    BOOL fog = FALSE;

  private:
    HWND window_ = nullptr;
};

using route_test::PointAlong;

class GuidanceDriveTest : public guidance_test::TownRouteTest {
  protected:
    void SetUp() override {
        TownRouteTest::SetUp();
        SetPositioningServices(&fix_);
        g_mainView.store(&view_);
        guidance_ = std::make_unique<CGuidance>(
            [this](const PhraseBuffer& phrase) { heard_.push_back(Said(phrase)); });
        SetRouteGuidance(guidance_.get());
        options_ = g_options.load();
    }
    void TearDown() override {
        g_options.store(options_);
        SetRouteGuidance(nullptr);
        g_mainView.store(nullptr);
        TownRouteTest::TearDown();
    }

    // The matcher's answer: the vehicle on the link at the point.
    static void PlaceVehicle(MapLink* link, uint32_t segment, const MapPoint& point) {
        g_vehicleLocation.link = link;
        g_vehicleLocation.segment = segment;
        g_vehicleLocation.position = point;
        g_vehicleLocation.stale = 0;
    }
    static void PlaceAlong(MapLink* link, double fraction) {
        uint32_t segment = 0;
        const MapPoint point = PointAlong(*link, fraction, &segment);
        PlaceVehicle(link, segment, point);
    }

    // The vehicle at the node an entry leaves from, on the entry's link.
    void PlaceAtEntry(int32_t i) {
        MapNode* node = ResolveNodeRef(router_->routeList[i]);
        ASSERT_NE(node, nullptr);
        MapLink* link = node->Slots()[router_->routeList[i].Slot()];
        PlaceVehicle(link, link->fromNode == node ? 0 : link->GetShapePointCount(), node->position);
    }

    // The route entry (past the first) whose link is the longest ordinary street.
    int32_t LongestStreetEntry() const {
        int32_t best = -1;
        FLOAT length = 0;
        for (int32_t i = 1; i + 1 < router_->routeCount; ++i) {
            const MapLink* link = RouteEntryLink(router_->routeList[i]);
            if (link && !(link->shapeInfo & 0x1000) && !(link->attributes & kAttrRamp) &&
                !(link->attributes & kAttrRoundabout) && link->Length() > length) {
                best = i;
                length = link->Length();
            }
        }
        return best;
    }

    DriveFix fix_;
    ScreenView view_;
    std::unique_ptr<CGuidance> guidance_;
    std::vector<std::string> heard_;
    DWORD options_ = 0;
};

TEST_F(GuidanceDriveTest, DrivingTheRouteAnnouncesAndArrives) {
    RouteAcross();
    CRouter& r = *router_;
    g_options.store(options_ | kOptionAutoGuidance);
    g_map3DMode.store(0);
    view_.switches.clear();  // the search's own switch to the map
    PlaceVehicle(r.routeStartLink, from_.segment, from_.point);
    guidance_->UpdateGuidance(r, 0);  // starts the voice delay
    guidance_->UpdateGuidance(r, 0);
    FLOAT remaining = r.remainingLength;
    FLOAT hours = r.timeToGo;
    EXPECT_GT(hours, 0.0f);
    for (int32_t i = 0; i < r.routeCount; ++i) {
        PlaceAtEntry(i);
        for (int repeat = 0; repeat < 2; ++repeat) {  // past the voice delay
            guidance_->UpdateGuidance(r, 0);
            ASSERT_TRUE(r.state & kRouterRouteState) << i;
            EXPECT_LE(r.remainingLength, remaining + 1e-9f) << i;
            EXPECT_LE(r.timeToGo, hours + 1e-7f) << i;
            remaining = r.remainingLength;
            hours = r.timeToGo;
        }
    }
    EXPECT_EQ(r.currentManeuver, r.maneuverCount - 1);
    PlaceVehicle(to_.link, to_.segment, to_.point);
    g_vehicleLocation.link = r.routeDestLink ? r.routeDestLink : to_.link;
    guidance_->UpdateGuidance(r, 0);
    guidance_->UpdateGuidance(r, 0);
    EXPECT_TRUE(r.state & kRouterArrived);
    EXPECT_EQ(r.remainingLength, 0.0f);
    EXPECT_EQ(r.timeToGo, 0.0f);
    // Near each maneuver the guidance screen came up by itself and went back after.
    EXPECT_EQ(g_guidanceSwitchDistance, static_cast<int32_t>(0.128 * 5280));
    ASSERT_FALSE(view_.switches.empty());
    for (size_t k = 0; k < view_.switches.size(); ++k) {
        EXPECT_EQ(view_.switches[k], k % 2 == 0 ? 4 : 1) << k;
    }
    // Every maneuver is told, the arrival last.
    ASSERT_FALSE(heard_.empty());
    size_t phrase = 0;
    for (int32_t m = 0; m < r.maneuverCount; ++m) {
        const std::string word =
            platform::WideToUtf8(PromptWordTable[ManeuverPhraseId(r.maneuvers[m].kind)]);
        while (phrase < heard_.size() && heard_[phrase].find(word) == std::string::npos) {
            ++phrase;
        }
        EXPECT_LT(phrase, heard_.size()) << "maneuver " << m << " (" << word << ") untold";
    }
    EXPECT_EQ(
        heard_.back().rfind("dest", 0) == 0 || heard_.back().find(" dest") != std::string::npos,
        true);
    EXPECT_EQ(guidance_->Recalculations(), 0);
    EXPECT_NE(guidance_->LastAnnounced(), -3);
    // Not a replay: the route is cancelled half a minute later.
    EXPECT_EQ(fix_.stops, 0);
    EXPECT_TRUE(view_.TimerRunning(kArrivalTimer));
}

TEST_F(GuidanceDriveTest, ArrivingDuringAReplayEndsTheReplay) {
    RouteAcross();
    CRouter& r = *router_;
    view_.replay = TRUE;
    g_vehicleLocation.link = nullptr;
    MapLink* dest = r.routeDestLink ? r.routeDestLink : to_.link;
    PlaceVehicle(dest, to_.segment, to_.point);
    for (int i = 0; i < 3 && !(r.state & kRouterArrived); ++i) {
        guidance_->UpdateGuidance(r, 0);
    }
    ASSERT_TRUE(r.state & kRouterArrived);
    EXPECT_EQ(fix_.stops, 1);
    EXPECT_FALSE(view_.replay);
    EXPECT_TRUE(view_.TimerRunning(kArrivalTimer));
    // The simulator is not stepped past the end of the demonstration.
    EXPECT_EQ(fix_.steps, 0);
}

// The vehicle arrives within what 4 seconds cover at its road's category speed, from
// the table of the units in use: halfway between the mph and the km/h tables'
// distances it has arrived in one unit system and not in the other.
TEST_F(GuidanceDriveTest, TheArrivalDistanceFollowsTheUnitsInUse) {
    for (const bool metric : {false, true}) {
        SCOPED_TRACE(metric ? "metric" : "imperial");
        RouteAcross();
        CRouter& r = *router_;
        MapLink* dest = r.routeDestLink;
        ASSERT_NE(dest, nullptr);
        const FLOAT inMph = ArrivalDistance(*dest, false);
        const FLOAT inKmh = ArrivalDistance(*dest, true);
        ASSERT_NE(inMph, inKmh);
        const FLOAT between = (inMph + inKmh) / 2;
        // The point of the destination link that far before the destination.
        auto remainingAt = [&](double fraction, uint32_t* segment, MapPoint* point) {
            *point = PointAlong(*dest, fraction, segment);
            return LocateOnRoute(r, *dest, *segment, *point, false, 0).remaining;
        };
        uint32_t segment = 0;
        MapPoint point{};
        double near = -1, far = -1;
        for (double f = 0; f <= 1.0; f += 1.0 / 64) {
            const FLOAT left = remainingAt(f, &segment, &point);
            (left < between ? near : far) = f;
            if (near >= 0 && far >= 0)
                break;
        }
        ASSERT_TRUE(near >= 0 && far >= 0) << "the destination lies too close to a node";
        for (int step = 0; step < 40; ++step) {
            const double middle = (near + far) / 2;
            (remainingAt(middle, &segment, &point) < between ? near : far) = middle;
        }
        remainingAt(near, &segment, &point);
        g_options.store(metric ? options_ | kOptionMetric : options_ & ~kOptionMetric);
        PlaceVehicle(dest, segment, point);
        guidance_->UpdateGuidance(r, 0);
        guidance_->UpdateGuidance(r, 0);
        EXPECT_EQ((r.state & kRouterArrived) != 0, (metric ? inKmh : inMph) > between);
    }
}

// A route along one link: guidance counts the distance along the link down to the
// destination, says nothing of a road, and the vehicle arrives there, not before.
TEST_F(GuidanceDriveTest, ARouteAlongOneLinkCountsDownToItsArrival) {
    MapLink* link = route_test::FindTownLink(false, 150);
    ASSERT_NE(link, nullptr) << "no two-way link of 150 m in the town";
    uint32_t segment = 0;
    const MapPoint from = PointAlong(*link, 0.1, &segment);
    const MapPoint to = PointAlong(*link, 0.9, &segment);
    ASSERT_TRUE(Route(from, to, kRouteQuickest));
    CRouter& r = *router_;
    ASSERT_TRUE(r.RunsAlongOneLink());
    const FLOAT arrival = ArrivalDistance(*link, false);
    FLOAT remaining = r.routeLength * 1.01f;
    for (double fraction = 0.1; fraction < 0.9; fraction += 0.05) {
        MapLink* on = r.FindStartLink();
        ASSERT_NE(on, nullptr);
        PlaceAlong(on, fraction);
        guidance_->UpdateGuidance(r, 0);
        if (r.state & kRouterArrived) {
            // Only within the arrival distance of the destination.
            EXPECT_LE((0.9 - fraction) * on->Length(), arrival * 1.01) << fraction;
            break;
        }
        EXPECT_LE(r.remainingLength, remaining + 1e-9f) << fraction;
        EXPECT_NEAR(r.remainingLength, (0.9 - fraction) * on->Length(), on->Length() * 0.01)
            << fraction;
        EXPECT_EQ(r.currentManeuver, 0);
        remaining = r.remainingLength;
    }
    EXPECT_TRUE(r.state & kRouterArrived);
    EXPECT_EQ(guidance_->Recalculations(), 0);
}

// A demonstration to a destination just past the route's last turn ends with the
// vehicle at the turn, within the arrival distance: it arrives although the turn is
// still the maneuver ahead.
TEST_F(GuidanceDriveTest, ADemonstrationToADestinationJustPastTheLastTurnArrives) {
    RouteAcross();
    const MapPoint start = from_.point;
    // The last turn of the route across, and a destination a few feet past it.
    int32_t turn = -1;
    for (int32_t m = router_->maneuverCount - 2; m >= 0 && turn < 0; --m)
        if (router_->maneuvers[m].kind != kManeuverStraight && router_->maneuvers[m].routeIndex > 0)
            turn = m;
    ASSERT_GE(turn, 0);
    const RouteEntry entry = router_->routeList[router_->maneuvers[turn].routeIndex];
    MapNode* node = ResolveNodeRef(entry);
    ASSERT_NE(node, nullptr);
    const MapLink* onto = node->Slots()[entry.Slot()];
    const bool forwards = onto->fromNode == node;
    uint32_t segment = 0;
    const double feet = 3.0 / onto->Length() / (20902143.302568 / 1.0);
    const MapPoint destination = PointAlong(*onto, forwards ? feet : 1 - feet, &segment);
    ASSERT_TRUE(Route(start, destination, kRouteQuickest));
    CRouter& r = *router_;
    ASSERT_GE(r.maneuverCount, 2);
    ASSERT_NE(r.maneuvers[r.maneuverCount - 2].kind, kManeuverStraight);

    // At the turn's node, on the link into it.
    const int32_t last = r.maneuvers[r.maneuverCount - 2].routeIndex;
    ASSERT_GE(last, 1);
    PlaceAtEntry(last - 1);
    MapNode* at = ResolveNodeRef(r.routeList[last]);
    ASSERT_NE(at, nullptr);
    g_vehicleLocation.position = at->position;
    g_vehicleLocation.segment =
        g_vehicleLocation.link->toNode == at ? g_vehicleLocation.link->GetShapePointCount() : 0;
    view_.replay = TRUE;
    for (int i = 0; i < 3 && !(r.state & kRouterArrived); ++i)
        guidance_->UpdateGuidance(r, 0);
    EXPECT_TRUE(r.state & kRouterArrived)
        << "remaining " << r.remainingLength * 20902143.302568 << " ft, maneuver "
        << r.currentManeuver << " of " << r.maneuverCount;
}

// Off every road at a route's start: timer 8 once, for the main view to say
// "nearstrd" if the vehicle is still on no road by then; not when quiet or muted.
TEST_F(GuidanceDriveTest, NoRoadAtTheStartArmsTheNearestRoadTimerOnce) {
    RouteAcross();
    CRouter& r = *router_;
    struct Case {
        int quiet;
        bool muted;
        bool armed;
    };
    for (const Case& c : {Case{0, false, true}, Case{1, false, false}, Case{0, true, false}}) {
        SCOPED_TRACE(testing::Message() << "quiet " << c.quiet << " muted " << c.muted);
        r.state &= ~kRouterNoPositionPrompt;
        g_options.store(c.muted ? options_ | kOptionVoiceMuted : options_ & ~kOptionVoiceMuted);
        g_vehicleLocation.link = nullptr;
        guidance_->UpdateGuidance(r, c.quiet);
        EXPECT_EQ(view_.TimerRunning(kNoPositionTimer), c.armed);
        guidance_->UpdateGuidance(r, c.quiet);
        EXPECT_FALSE(view_.TimerRunning(kNoPositionTimer)) << "armed once";
    }
    EXPECT_TRUE(heard_.empty());
}

TEST_F(GuidanceDriveTest, StrayingRecalculatesOnce) {
    RouteAcross();
    CRouter& r = *router_;
    PlaceAtEntry(std::min(2, r.routeCount - 2));
    guidance_->UpdateGuidance(r, 0);
    // A link of the town that the route does not use.
    MapLink* off = nullptr;
    for (int32_t i = 0; i < r.routeCount && !off; ++i) {
        MapNode* node = ResolveNodeRef(r.routeList[i]);
        for (uint32_t s = 0; node && s < node->SlotCapacity() && !off; ++s) {
            MapLink* l = node->Slots()[s];
            bool used = false;
            for (int32_t j = 0; j < r.routeCount; ++j) {
                used = used || (l && r.routeList[j].linkId == l->linkId);
            }
            if (l && !used && l->linkId != r.routeStartLink->linkId &&
                (l->attributes & kAttrRoutableKinds)) {
                off = l;
            }
        }
    }
    ASSERT_NE(off, nullptr);
    PlaceVehicle(off, 0, off->fromNode->position);
    int updates = 0;
    while (guidance_->Recalculations() == 0 && updates < 10) {
        guidance_->UpdateGuidance(r, 0);
        ++updates;
    }
    ASSERT_EQ(guidance_->Recalculations(), 1) << "within 10 updates";
    EXPECT_TRUE(r.state & kRouterRouteState);
    // The new route starts on the vehicle's link.
    EXPECT_EQ(r.routeStartLink->linkId, off->linkId);
    guidance_->UpdateGuidance(r, 0);
    EXPECT_EQ(guidance_->Recalculations(), 1) << "on the new route: no further recalculation";
}

}  // namespace

namespace {

// A vehicle driving back along a route link, one step of about 20 feet an update.
struct BackwardDrive {
    MapLink* link;
    int routeDirection;  // 2 toward the to-node
    double fraction;
    double step;
};

}  // namespace

// Against the route on a street: "ofruturn" once at the third update, no
// recalculation message meanwhile, then one new route once the driver keeps on.
TEST_F(GuidanceDriveTest, DrivingTheWrongWayTurnsTheDriverRoundThenRoutesAgain) {
    RouteAcross();
    CRouter& r = *router_;
    const int32_t i = LongestStreetEntry();
    ASSERT_GT(i, 0);
    const MapNode* node = nullptr;
    MapLink* link = const_cast<MapLink*>(RouteEntryLink(r.routeList[i], &node));
    ASSERT_NE(link, nullptr);
    const bool routeTowardTo = node == link->fromNode;
    fix_.travel = routeTowardTo ? kTravelBackward : kTravelForward;
    const double feet = link->Length() / kRadiansPerFoot;
    ASSERT_GT(feet, 100.0);
    const double step = 20.0 / feet;
    double fraction = routeTowardTo ? 0.9 : 0.1;
    // Reach the link going the right way first.
    fix_.travel = routeTowardTo ? kTravelForward : kTravelBackward;
    PlaceAlong(link, routeTowardTo ? 0.5 : 0.5);
    guidance_->UpdateGuidance(r, 0);
    guidance_->UpdateGuidance(r, 0);
    ASSERT_EQ(guidance_->WrongWayCount(), 0);
    heard_.clear();
    fix_.travel = routeTowardTo ? kTravelBackward : kTravelForward;
    int update = 0;
    int turnRoundAt = -1;
    size_t messagesBefore = 0;
    while (guidance_->Recalculations() == 0 && update < 40) {
        fraction += routeTowardTo ? -step : step;
        if (fraction < 0 || fraction > 1) {
            break;
        }
        PlaceAlong(link, fraction);
        guidance_->UpdateGuidance(r, 0);
        ++update;
        if (guidance_->Recalculations() == 0) {
            messagesBefore = view_.messages.size();
        }
        if (turnRoundAt < 0 && std::count(heard_.begin(), heard_.end(), "ofruturn") == 1) {
            turnRoundAt = update;
            EXPECT_EQ(guidance_->WrongWayCount(), 3);
            EXPECT_TRUE(r.state & kRouterStreetNameGuidance);
        }
    }
    EXPECT_EQ(turnRoundAt, 3);
    EXPECT_EQ(std::count(heard_.begin(), heard_.end(), "ofruturn"), 1);
    ASSERT_EQ(guidance_->Recalculations(), 1) << "after " << update << " updates";
    EXPECT_LE(update, 3 + 11);
    // Told to turn round, the driver saw no "recalculating" message.
    EXPECT_EQ(messagesBefore, 0u);
    EXPECT_EQ(r.routeStartLink->linkId, link->linkId);
}

// Against the route on its start link: a new route at the second update.
TEST_F(GuidanceDriveTest, LeavingTheStartTheOtherWayRoutesFromThere) {
    RouteAcross();
    CRouter& r = *router_;
    MapLink* start = r.routeStartLink;
    ASSERT_TRUE(r.startPart == 1 || r.startPart == 2);
    const bool routeTowardTo = r.startPart == 2;
    fix_.travel = routeTowardTo ? kTravelBackward : kTravelForward;
    // From the start point, 20 feet an update the other way.
    double fraction = 0.5;
    const double step = 20.0 / (start->Length() / kRadiansPerFoot);
    int update = 0;
    while (guidance_->Recalculations() == 0 && update < 5) {
        PlaceAlong(start, fraction);
        guidance_->UpdateGuidance(r, 0);
        fraction += routeTowardTo ? -step : step;
        ++update;
    }
    EXPECT_EQ(guidance_->Recalculations(), 1);
    EXPECT_EQ(update, 2);
    EXPECT_TRUE(r.state & kRouterRouteState);
    EXPECT_TRUE(heard_.empty());
}

// A start whose direction the search chose against a dead end: the driver is told
// to turn round once, even on the quiet update after the search, but only with a
// fix and after the vehicle was seen on a road.
TEST_F(GuidanceDriveTest, AForcedTurnRoundIsSaidOnceOnTheStartLink) {
    RouteAcross();
    CRouter& r = *router_;
    PlaceVehicle(r.routeStartLink, from_.segment, from_.point);
    r.state |= kRouterEitherDirection;
    guidance_->UpdateGuidance(r, 0);  // no previous link: dropped
    EXPECT_FALSE(r.state & kRouterEitherDirection);
    EXPECT_TRUE(heard_.empty());
    r.state |= kRouterEitherDirection;
    guidance_->UpdateGuidance(r, 1);
    EXPECT_EQ(heard_, std::vector<std::string>{"ofruturn"});
    EXPECT_FALSE(r.state & kRouterEitherDirection);
    guidance_->UpdateGuidance(r, 1);
    EXPECT_EQ(heard_.size(), 1u);
}

// An estimated fix neither counts the wrong way nor the vehicle off the route.
TEST_F(GuidanceDriveTest, AnEstimatedFixCountsNothing) {
    RouteAcross();
    CRouter& r = *router_;
    fix_.estimated = TRUE;
    MapLink* start = r.routeStartLink;
    fix_.travel = r.startPart == 2 ? kTravelBackward : kTravelForward;
    const double step = 20.0 / (start->Length() / kRadiansPerFoot);
    double fraction = 0.5;
    for (int update = 0; update < 4; ++update) {
        PlaceAlong(start, fraction);
        guidance_->UpdateGuidance(r, 0);
        fraction += r.startPart == 2 ? -step : step;
    }
    EXPECT_EQ(guidance_->WrongWayCount(), 0);
    EXPECT_EQ(guidance_->Recalculations(), 0);
}

// With "Recalc" 0 every new route after straying is searched afresh; by default
// the search goes on from the last one.
TEST_F(GuidanceDriveTest, RecalcZeroMakesEveryRecalculationFresh) {
    for (const DWORD recalc : {1u, 0u}) {
        SCOPED_TRACE(testing::Message() << "Recalc " << recalc);
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Recalc", recalc);
        RouteAcross();
        CRouter& r = *router_;
        const int32_t i = std::min(2, r.routeCount - 2);
        PlaceAtEntry(i);
        guidance_->UpdateGuidance(r, 0);
        const int before = guidance_->Recalculations();
        r.RequestRecalc(1, 1);
        EXPECT_EQ(r.lastSearch.fresh, recalc == 0);
        EXPECT_TRUE(r.state & kRouterRouteState);
        EXPECT_EQ(guidance_->Recalculations(), before);
    }
}

// Fog: approaching a junction with a more important crossing road, "alarm2" once
// within the distance its class asks for; nothing with the switch off.
TEST_F(GuidanceDriveTest, FogDrivingWarnsOfACrossingOnce) {
    // The crossing is told by its street name.
    OpenMapIndexFiles();
    struct CloseIndexFiles {
        ~CloseIndexFiles() { CloseMapIndexFiles(); }
    } closeIndexFiles;
    // A junction of four or more links reached on a lesser road not a ramp, with a
    // differently named crossing of class 0xc0, 0x100 or 0x140, found along routes.
    MapLink* approach = nullptr;
    const MapNode* junction = nullptr;
    double alertFeet = 0;
    const MapPoint sw = SouthWest(), ne = NorthEast();
    for (int k = 0; k < 12 && !approach; ++k) {
        const FLOAT fy = 0.1f + 0.07f * k, fx = 0.9f - 0.07f * k;
        if (!Route({sw.latitude + (ne.latitude - sw.latitude) * fy,
                    sw.longitude + (ne.longitude - sw.longitude) * 0.1f},
                   {sw.latitude + (ne.latitude - sw.latitude) * (1 - fy),
                    sw.longitude + (ne.longitude - sw.longitude) * fx},
                   kRouteShortest) ||
            !(router_->state & kRouterRouteState)) {
            continue;
        }
        // Not at the route's end links, where the search hooks its own half-links.
        std::vector<std::pair<MapLink*, const MapNode*>> junctions;
        for (int32_t i = 2; i + 2 < router_->routeCount; ++i) {
            const MapNode* node = nullptr;
            const MapLink* leaving = RouteEntryLink(router_->routeList[i], &node);
            MapLink* arriving = const_cast<MapLink*>(RouteEntryLink(router_->routeList[i - 1]));
            if (leaving && arriving) {
                junctions.push_back({arriving, node});
            }
        }
        for (const auto& [arriving, node] : junctions) {
            if (approach || node->UseCount() <= 3 || (arriving->attributes & kAttrRamp) ||
                (arriving->attributes & kAttrClassMask) <= 0xbf ||
                arriving->Length() < 450 * kRadiansPerFoot) {
                continue;
            }
            uint32_t crossing = UINT32_MAX;
            for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
                const MapLink* other = node->Slots()[s];
                if (other && other->linkId != arriving->linkId &&
                    (other->attributes & kAttrClassMask) <
                        (arriving->attributes & kAttrClassMask)) {
                    crossing = std::min(crossing, other->attributes & kAttrClassMask);
                }
            }
            const double feet = crossing == 0xc0    ? 400
                                : crossing == 0x100 ? 300
                                : crossing == 0x140 ? 250
                                                    : 0;
            if (feet > 0) {
                approach = arriving;
                junction = node;
                alertFeet = feet;
            }
        }
    }
    ASSERT_NE(approach, nullptr) << "no junction of the town fits";
    const bool towardTo = junction == approach->toNode;
    fix_.travel = towardTo ? kTravelForward : kTravelBackward;
    const double feet = approach->Length() / kRadiansPerFoot;
    for (const BOOL fog : {FALSE, TRUE}) {
        SCOPED_TRACE(testing::Message() << "fog " << fog);
        view_.fog = fog;
        heard_.clear();
        double saidAt = -1;
        for (double left = 440; left > 10; left -= 30) {
            PlaceAlong(approach, towardTo ? 1 - left / feet : left / feet);
            guidance_->UpdateGuidance(*router_, 0);
            if (saidAt < 0 && std::count(heard_.begin(), heard_.end(), "alarm2")) {
                saidAt = left;
            }
        }
        const auto alarms = std::count(heard_.begin(), heard_.end(), "alarm2");
        if (!fog) {
            EXPECT_EQ(alarms, 0);
            continue;
        }
        EXPECT_EQ(alarms, 1);
        EXPECT_LT(saidAt, alertFeet);
        EXPECT_GE(saidAt, alertFeet - 30);
    }
}

// The exit a roundabout maneuver names: from one road into the ring, every other
// road out of it is a different exit, counted from 1.
TEST_F(GuidanceDriveTest, RoundaboutExitsAreCountedAlongTheRing) {
    const std::vector<MapPoint> spokes = route_test::RoundaboutSpokes();
    ASSERT_GE(spokes.size(), 3u);
    int told = 0;
    for (const MapPoint& from : spokes) {
        std::set<int> exits;
        for (const MapPoint& to : spokes) {
            if (&from == &to || !Route(from, to, kRouteShortest) ||
                !(router_->state & kRouterRouteState)) {
                continue;
            }
            for (int32_t m = 0; m < router_->maneuverCount; ++m) {
                const uint32_t kind = router_->maneuvers[m].kind;
                if (kind != kManeuverRoundaboutRight && kind != kManeuverRoundaboutLeft) {
                    continue;
                }
                const int exit = RoundaboutExitNumber(*router_, m);
                EXPECT_GE(exit, 1);
                EXPECT_LT(exit, static_cast<int>(spokes.size()));
                EXPECT_TRUE(exits.insert(exit).second) << "exit " << exit << " twice";
                ++told;
            }
        }
    }
    EXPECT_GT(told, 2);
}

// A road turning off to the maneuver's side before it: none with no junction
// between, none for a maneuver that is no turn, and on a town grid some turn has
// one on its side on the way from the start.
TEST_F(GuidanceDriveTest, SameSideTurnOffsLieOnTheWayToTheTurn) {
    const MapPoint sw = SouthWest(), ne = NorthEast();
    int turns = 0, withTurnOff = 0;
    for (int k = 0; k < 6; ++k) {
        const FLOAT f = 0.15f + 0.1f * k;
        if (!Route({sw.latitude + (ne.latitude - sw.latitude) * f,
                    sw.longitude + (ne.longitude - sw.longitude) * 0.1f},
                   {sw.latitude + (ne.latitude - sw.latitude) * (1 - f),
                    sw.longitude + (ne.longitude - sw.longitude) * 0.9f},
                   kRouteShortest) ||
            !(router_->state & kRouterRouteState)) {
            continue;
        }
        const CRouter& r = *router_;
        for (int32_t m = 0; m < r.maneuverCount; ++m) {
            const Maneuver& maneuver = r.maneuvers[m];
            EXPECT_FALSE(HasSameSideTurnBefore(r, maneuver.routeIndex - 1, m)) << m;
            const bool turn =
                maneuver.kind == kManeuverTurnRight || maneuver.kind == kManeuverTurnLeft ||
                maneuver.kind == kManeuverBearRight || maneuver.kind == kManeuverBearLeft;
            if (!turn) {
                if (maneuver.kind == kManeuverStraight || maneuver.kind == kManeuverArrival) {
                    EXPECT_FALSE(HasSameSideTurnBefore(r, -1, m)) << m;
                }
                continue;
            }
            ++turns;
            withTurnOff += HasSameSideTurnBefore(r, -1, m) ? 1 : 0;
        }
    }
    ASSERT_GT(turns, 3);
    EXPECT_GT(withTurnOff, 0);
}
