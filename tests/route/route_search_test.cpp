// Routes over the built-in town: methods, one-way streets and restrictions, the
// region refusals, an unconnected destination, recalculation and memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/house_numbers.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/positioning_services.h"
#include "pathlume/route/route_hooks.h"
#include "platform/kernel/msgbox.h"
#include "tests/route/route_test_maps.h"

namespace route_test {
namespace {

class RouteSearchTest : public RouteMapsTest {
  protected:
    // A long east-west route along the south of the town, a few blocks north of the
    // freeway, from its west end to its east end.
    void RouteAcross(int method) {
        double west = 180, east = -180, south = 90, north = -90;
        for (const discmaker::Link& link : RouteTown().links) {
            if (link.roadClass != discmaker::RoadClass::Freeway)
                continue;
            for (const uint32_t n : {link.from, link.to}) {
                const discmaker::LatLon& p = RouteTown().nodes[n].position;
                west = std::min(west, p.lon);
                east = std::max(east, p.lon);
                south = std::min(south, p.lat);
                north = std::max(north, p.lat);
            }
        }
        // The two carriageways lie a fifth of a block apart.
        const double block = (north - south) / 0.2;
        const FLOAT lat = static_cast<FLOAT>(north + 2.5 * block);
        ASSERT_TRUE(Route({lat, static_cast<FLOAT>(west + block)},
                          {lat, static_cast<FLOAT>(east - block)}, method));
    }
    bool UsesClass(uint32_t cls) const {
        for (int32_t i = 0; i < router_->routeCount; ++i) {
            if ((router_->routeList[i].attributes & kAttrClassMask) == cls)
                return true;
        }
        return false;
    }
};

TEST_F(RouteSearchTest, QuickestTakesTheFreewayLocalRoadsDoNot) {
    RouteAcross(kRouteQuickest);
    ASSERT_TRUE(router_->state & kRouterRouteState);
    EXPECT_EQ(CheckRouteRules(*router_), "");
    EXPECT_TRUE(UsesClass(0x40));
    EXPECT_EQ(router_->lastSearch.tries, 1);

    RouteAcross(kRouteLocalRoads);
    ASSERT_TRUE(router_->state & kRouterRouteState);
    EXPECT_EQ(CheckRouteRules(*router_), "");
    EXPECT_FALSE(UsesClass(0x40));
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

}  // namespace
}  // namespace route_test

namespace route_test {
namespace {

// Records what the router asks of guidance.
class RecordingGuidance final : public IRouteGuidance {
  public:
    void UpdateGuidance(CRouter&, int) override { ++updates; }
    void SpeakWord(int word) override { words.push_back(word); }
    void ResetAnnouncements(bool) override {}
    void SetReplayWord(int) override {}
    int updates = 0;
    std::vector<int> words;
};

int CountBoxes(const char16_t* text) {
    int count = 0;
    for (const platform::ShownMessageBox& box : platform::ShownMessageBoxes())
        count += box.text == text ? 1 : 0;
    return count;
}

class RouteEdgeTest : public RouteMapsTest {
  protected:
    MapPoint Mainland(FLOAT fx, FLOAT fy) const {
        // The mainland lies north-east of the island, which holds the south-west corner.
        const MapPoint sw = IslandCorner(), ne = NorthEast();
        const FLOAT south = sw.latitude + (ne.latitude - sw.latitude) * 0.55f;
        const FLOAT west = sw.longitude + (ne.longitude - sw.longitude) * 0.45f;
        return {south + (ne.latitude - south) * fy, west + (ne.longitude - west) * fx};
    }
    MapPoint IslandCorner() const { return SouthWest(); }
};

TEST_F(RouteEdgeTest, AnUnconnectedDestinationFailsAfterExactlyOneRestart) {
    MapPoint detached;
    SetDataFolder(DetachedGridMaps(&detached));
    ASSERT_EQ(ReopenMapDatabase(), 0);
    ASSERT_TRUE(Route(Mainland(0.5f, 0.5f), detached, kRouteQuickest));
    EXPECT_FALSE(router_->state & kRouterRouteState);
    EXPECT_EQ(router_->routeList, nullptr);
    EXPECT_EQ(router_->lastSearch.tries, 2);
    EXPECT_EQ(CountBoxes(u"No Route to Destination"), 1);
    EXPECT_EQ(router_->openList.count, 0);
    EXPECT_EQ(router_->busyCount, 0);
}

TEST_F(RouteEdgeTest, RegionBoxesAndLatitude51RefuseAtOnce) {
    ASSERT_TRUE(Route(Mainland(0.2f, 0.2f), Mainland(0.8f, 0.8f), kRouteQuickest));
    ASSERT_TRUE(router_->state & kRouterRouteState);
    const MapPoint outside{39.2f, -120.2f};
    const struct {
        MapPoint from, to;
    } cases[] = {
        {{20.0f, -155.0f}, outside},  // box A
        {outside, {18.0f, -66.0f}},   // box B
        {{51.5f, 10.0f}, {50.5f, 10.0f}},
    };
    for (const auto& c : cases) {
        platform::ClearMessageBoxes();
        router_->lastSearch.tries = -1;
        RouteTarget target;
        target.Clear();
        target.link = &toLink_;
        target.lat = c.to.latitude;
        target.lon = c.to.longitude;
        router_->CalculateRoute(&fromLink_, 0, c.from, target, 0, 1);
        EXPECT_EQ(CountBoxes(u"No Route to Destination"), 1);
        // Nothing else happened: no try, and the route there was is still there.
        EXPECT_EQ(router_->lastSearch.tries, -1);
        EXPECT_TRUE(router_->state & kRouterRouteState);
        EXPECT_EQ(router_->busyCount, 0);
    }
}

TEST_F(RouteEdgeTest, ARecalculationOnTheRouteContinuesTheKeptSearch) {
    ASSERT_TRUE(Route(Mainland(0.05f, 0.1f), Mainland(0.95f, 0.9f), kRouteQuickest));
    ASSERT_TRUE(router_->state & kRouterRouteState);
    const int64_t freshExpanded = router_->lastSearch.nodesExpanded;
    std::vector<int32_t> before;
    for (int32_t i = 0; i < router_->routeCount; ++i)
        before.push_back(router_->routeList[i].linkId);
    ASSERT_GT(before.size(), 6u);

    // The vehicle has driven a third of the way: it stands at the node of that entry.
    const int32_t at = router_->routeCount / 3;
    const RouteEntry entry = router_->routeList[at];
    MapNode* node = ResolveNodeRef(entry);
    ASSERT_NE(node, nullptr);
    MapLink* link = node->Slots()[entry.Slot()];
    MapLink start = *link;
    const uint32_t segment = link->fromNode == node ? 0 : link->GetShapePointCount();
    router_->SearchRoute(&start, segment, node->position, &toLink_, to_.segment, to_.point, 1, 1);
    ASSERT_TRUE(router_->state & kRouterRouteState);
    EXPECT_FALSE(router_->lastSearch.fresh);
    EXPECT_EQ(router_->lastSearch.tries, 1);
    EXPECT_LT(router_->lastSearch.nodesExpanded, freshExpanded);
    std::vector<int32_t> after;
    for (int32_t i = 0; i < router_->routeCount; ++i)
        after.push_back(router_->routeList[i].linkId);
    // The rest of the same route.
    ASSERT_LE(after.size(), before.size());
    EXPECT_TRUE(std::equal(after.rbegin(), after.rend(), before.rbegin()));
    EXPECT_EQ(CheckRouteRules(*router_), "");
}

// A new calculation while a route is held keeps the chunks both boxes need instead
// of dropping and reading them again: the route must come out the same, and only
// chunks of the new box may hold the route's pin afterwards.
TEST_F(RouteEdgeTest, ANewCalculationWhileARouteIsHeldGivesTheSameRoute) {
    auto links = [&] {
        std::vector<int32_t> ids;
        for (int32_t i = 0; i < router_->routeCount; ++i)
            ids.push_back(router_->routeList[i].linkId);
        return ids;
    };
    ASSERT_TRUE(Route(Mainland(0.05f, 0.1f), Mainland(0.95f, 0.9f), kRouteQuickest));
    ASSERT_TRUE(router_->state & kRouterRouteState);
    const std::vector<int32_t> first = links();
    const int64_t expanded = router_->lastSearch.nodesExpanded;

    for (int again = 0; again < 2; ++again) {
        RouteSnapped(kRouteQuickest);
        ASSERT_TRUE(router_->state & kRouterRouteState);
        EXPECT_TRUE(router_->lastSearch.fresh);
        EXPECT_EQ(router_->lastSearch.nodesExpanded, expanded);
        EXPECT_EQ(links(), first);
        EXPECT_EQ(CheckRouteRules(*router_), "");
    }
    MapLayer& overview = g_mapDatabase.layers[0];
    const int32_t* area = g_mapDatabase.routeArea;
    for (int32_t r = 0; r < overview.windowH; ++r) {
        for (int32_t c = 0; c < overview.windowW; ++c) {
            const MapChunk* chunk = overview.GetChunkRecord(c, r);
            if (!chunk || !chunk->IsLoaded())
                continue;
            EXPECT_FALSE(chunk->flags & kChunkRefreshMark) << c << "," << r;
            if (chunk->flags & kChunkRoutePin) {
                EXPECT_TRUE(c >= area[0] && r >= area[1] && c <= area[2] && r <= area[3])
                    << c << "," << r;
            }
        }
    }

    // A cancel still drops what only the route pinned.
    router_->ResetRoute(0, 0, 0);
    for (int32_t r = 0; r < overview.windowH; ++r) {
        for (int32_t c = 0; c < overview.windowW; ++c) {
            const MapChunk* chunk = overview.GetChunkRecord(c, r);
            if (chunk && chunk->IsLoaded()) {
                EXPECT_FALSE(chunk->flags & (kChunkRoutePin | kChunkRefreshMark)) << c << "," << r;
            }
        }
    }
}

}  // namespace
}  // namespace route_test

namespace route_test {
namespace {

// Start and destination on one link.
class OneLinkTest : public RouteEdgeTest {
  protected:
    void TearDown() override {
        SetPositioningServices(nullptr);
        SetRouteGuidance(nullptr);
        g_vehicleLocation.link = nullptr;
        RouteEdgeTest::TearDown();
    }
    static MapPoint Along(const MapLink& link, double fraction) {
        uint32_t segment = 0;
        return PointAlong(link, fraction, &segment);
    }
    // Routes from `from` to `to` of the way along the link with the vehicle matched on
    // it, heading towards its to-node or its from-node.
    void RouteOn(MapLink& link, double from, double to, bool towardTo) {
        ASSERT_TRUE(SnapEnds(Along(link, from), Along(link, to)));
        ASSERT_EQ(fromLink_.linkId, toLink_.linkId);
        MapPoint a, b;
        fromLink_.GetEndPositions(from_.segment, &a, &b);
        FLOAT heading = static_cast<FLOAT>(
            std::atan2((b.longitude - a.longitude) * std::cos(a.latitude * M_PI / 180),
                       b.latitude - a.latitude) *
            180 / M_PI);
        if (!towardTo)
            heading += 180;
        fix_ = HeadingFix(heading);
        SetPositioningServices(&fix_);
        matched_ = fromLink_;
        g_vehicleLocation.link = &matched_;
        platform::ClearMessageBoxes();
        RouteSnapped(kRouteQuickest);
    }
    // Metres along the route's start link between its two ends.
    double Apart() const {
        return std::fabs(
                   DistanceAlongLink(fromLink_, true, static_cast<int32_t>(from_.segment),
                                     from_.point) -
                   DistanceAlongLink(toLink_, true, static_cast<int32_t>(to_.segment), to_.point)) *
               6370973.27862;
    }
    HeadingFix fix_;
    MapLink matched_{};
};

// Within the arrival distance the vehicle is there already: no route, "dest" said.
TEST_F(OneLinkTest, WithinTheArrivalDistanceTheVehicleHasArrived) {
    MapLink* link = FindTownLink(false, 150);
    if (!link)
        GTEST_SKIP() << "no two-way link of 150 m on the town's mainland";
    const double metres = link->Length() * 6370973.27862;
    RecordingGuidance guidance;
    SetRouteGuidance(&guidance);
    RouteOn(*link, 0.3, 0.3 + 20 / metres, true);
    EXPECT_FALSE(router_->state & kRouterRouteState);
    EXPECT_TRUE(router_->lastSearch.arrived);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    EXPECT_EQ(guidance.words, std::vector<int>{kPromptDest});
}

// Farther apart: a destination ahead is a route along the link (no entry, the arrival
// its only maneuver); one behind, on a two-way link or against a one-way one, is a
// route like any other, which leaves the link and comes back to it.
TEST_F(OneLinkTest, AFartherDestinationIsARoute) {
    struct Case {
        bool oneWay;
        bool ahead;  // the vehicle heads the way the link runs (a two-way: to its to-node)
    } const cases[] = {{false, true}, {false, false}, {true, true}, {true, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.oneWay ? "one-way" : "two-way") +
                     (c.ahead ? ", destination ahead" : ", destination behind"));
        MapLink* link = FindTownLink(c.oneWay, 150);
        if (!link) {
            ADD_FAILURE() << "no such link of 150 m in the town";
            continue;
        }
        // A one-way link is driven its way; on a two-way one the vehicle heads to its
        // to-node with the destination ahead, to its from-node with it behind.
        const bool runsToTo = (link->attributes & kAttrDirectionMask) != kAttrBackward;
        const bool headsToTo = c.oneWay ? runsToTo : c.ahead;
        const bool destinationNearerTo = headsToTo == c.ahead;
        RouteOn(*link, destinationNearerTo ? 0.2 : 0.8, destinationNearerTo ? 0.8 : 0.2, headsToTo);
        ASSERT_TRUE(router_->state & kRouterRouteState);
        EXPECT_FALSE(router_->lastSearch.arrived);
        EXPECT_TRUE(platform::ShownMessageBoxes().empty());
        const double metres = router_->routeLength * 6370973.27862;
        if (c.ahead) {
            EXPECT_TRUE(router_->RunsAlongOneLink());
            ASSERT_EQ(router_->maneuverCount, 1);
            EXPECT_EQ(router_->maneuvers[0].kind, kManeuverArrival);
            EXPECT_NEAR(metres, Apart(), 1.0);
            EXPECT_EQ(router_->FindStartLink(), router_->routeDestLink);
        } else {
            EXPECT_GT(router_->routeCount, 0);
            EXPECT_EQ(CheckRouteRules(*router_), "");
            EXPECT_EQ(router_->routeDestLink->linkId, link->linkId);
            EXPECT_GT(metres, Apart() + 1.0);
        }
    }
}

class StartDirectionTest : public RouteEdgeTest {};

// On a two-way street the route leaves the way the vehicle heads, turning back at the
// next junction when the destination lies behind it.
TEST_F(StartDirectionTest, ATwoWayStartLeavesTheWayTheVehicleHeads) {
    const MapPoint from = Mainland(0.5f, 0.5f);
    const MapPoint to = Mainland(0.9f, 0.9f);
    ASSERT_TRUE(Route(from, to, kRouteQuickest));
    const MapLink start = fromLink_;
    ASSERT_EQ(start.attributes & kAttrDirectionMask, kAttrDirectionMask);
    MapPoint a, b;
    LinkSnap snap = SnapToNearestLink(g_mapDatabase, from_.point, 10);
    ASSERT_TRUE(snap.Found());
    snap.link->GetEndPositions(snap.segment, &a, &b);
    const FLOAT along =
        static_cast<FLOAT>(std::atan2((b.longitude - a.longitude) * std::cos(39.2 * M_PI / 180),
                                      b.latitude - a.latitude) *
                           180 / M_PI);
    // The matched link is known, so the start direction counts.
    MapLink matched = start;
    g_vehicleLocation.link = &matched;
    for (const bool forward : {true, false}) {
        HeadingFix fix(forward ? along : along + 180);
        SetPositioningServices(&fix);
        ASSERT_TRUE(Route(from, to, kRouteQuickest));
        SetPositioningServices(nullptr);
        ASSERT_TRUE(router_->state & kRouterRouteState);
        if (router_->state & kRouterEitherDirection)
            GTEST_SKIP() << "the road ahead is a dead end";
        EXPECT_EQ(router_->requiredStartSlot, forward ? 1u : 0u);
        EXPECT_EQ(router_->startPart, forward ? 2 : 1);
        const MapNode* first = ResolveNodeRef(router_->routeList[0]);
        ASSERT_NE(first, nullptr);
        const MapPoint ahead =
            forward ? snap.link->toNode->position : snap.link->fromNode->position;
        EXPECT_EQ(first->position.latitude, ahead.latitude);
        EXPECT_EQ(first->position.longitude, ahead.longitude);
        EXPECT_EQ(CheckRouteRules(*router_), "");
        snap = SnapToNearestLink(g_mapDatabase, from_.point, 10);
        ASSERT_TRUE(snap.Found());
    }
    g_vehicleLocation.link = nullptr;
}

}  // namespace
}  // namespace route_test

namespace route_test {
namespace {

class RecalcRequestTest : public RouteEdgeTest {
  protected:
    // Puts the vehicle on the route's link a third of the way along and asks for a
    // recalculation from there.
    void RecalculateFromTheRoute() {
        ASSERT_TRUE(Route(Mainland(0.05f, 0.1f), Mainland(0.95f, 0.9f), kRouteQuickest));
        ASSERT_TRUE(router_->state & kRouterRouteState);
        const RouteEntry entry = router_->routeList[router_->routeCount / 3];
        MapNode* node = ResolveNodeRef(entry);
        ASSERT_NE(node, nullptr);
        vehicleLink_ = *node->Slots()[entry.Slot()];
        g_vehicleLocation.link = &vehicleLink_;
        g_vehicleLocation.segment =
            vehicleLink_.fromNode == node ? 0 : vehicleLink_.GetShapePointCount();
        g_vehicleLocation.position = node->position;
        router_->RequestRecalc(1, 1);
        EXPECT_TRUE(router_->state & kRouterRouteState);
        EXPECT_EQ(CheckRouteRules(*router_), "");
    }
    MapLink vehicleLink_{};
};

TEST_F(RecalcRequestTest, ARecalculationContinuesTheSearchUnlessRecalcIsOff) {
    RecalculateFromTheRoute();
    EXPECT_FALSE(router_->lastSearch.fresh);
    // With "Recalc" 0 every recalculation is a fresh search.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Recalc", 0);
    RecalculateFromTheRoute();
    EXPECT_TRUE(router_->lastSearch.fresh);
}

}  // namespace
}  // namespace route_test

namespace route_test {
namespace {

// The geocoder and the place queries reach the router only through the map
// database's interface: each call must land in the router.
TEST_F(RouteEdgeTest, TheMapDatabasesRouterCallsReachTheRouter) {
    IRouterServices& services = GetRouterServices();
    ASSERT_EQ(&services, static_cast<IRouterServices*>(router_));
    ASSERT_TRUE(SnapEnds(Mainland(0.2f, 0.2f), Mainland(0.8f, 0.8f)));
    services.CalculateRoute(&fromLink_, from_.segment, from_.point, SnappedTarget());
    ASSERT_TRUE(router_->state & kRouterRouteState);
    EXPECT_EQ(CheckRouteRules(*router_), "");

    const RouteEntry entry = router_->routeList[router_->routeCount / 2];
    ASSERT_TRUE(g_avoidList.Add(entry));
    router_->SetAvoidMarks(1);
    services.ClearAvoidMarks();
    EXPECT_EQ(g_avoidList.Count(), 0);
    EXPECT_FALSE(router_->state & kRouterAvoidMarksApplied);

    services.SetOriginPoint(from_.point);
    EXPECT_EQ(router_->startPoint.latitude, from_.point.latitude);
    EXPECT_EQ(router_->startPoint.longitude, from_.point.longitude);

    services.ResetRoute();
    EXPECT_FALSE(router_->state & kRouterRouteState);
    EXPECT_EQ(router_->routeCount, 0);
}

}  // namespace
}  // namespace route_test
