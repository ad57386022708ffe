#include "pathlume/guidance/route_position.h"

#include <gtest/gtest.h>

#include "tests/guidance/guidance_fixture.h"

namespace {

class RoutePositionTest : public guidance_test::TownRouteTest {};

// The vehicle at the node an entry leaves from.
RoutePosition AtEntryNode(const CRouter& r, int32_t i, int32_t fromEntry) {
    const MapNode* node = ResolveNodeRef(r.routeList[i]);
    const MapLink* link = node ? node->Slots()[r.routeList[i].Slot()] : nullptr;
    if (!link) {
        return {};
    }
    const uint32_t segment = link->fromNode == node ? 0 : link->GetShapePointCount();
    return LocateOnRoute(r, *link, segment, node->position, false, fromEntry);
}

TEST_F(RoutePositionTest, AtTheStartTheRouteIsWhole) {
    RouteAcross();
    const CRouter& r = *router_;
    const RoutePosition p =
        LocateOnRoute(r, *r.routeStartLink, from_.segment, from_.point, true, 0);
    ASSERT_TRUE(p.onRoute);
    EXPECT_EQ(p.entry, -1);
    EXPECT_EQ(p.maneuver, 0);
    EXPECT_NEAR(p.toManeuver, r.maneuvers[0].distance, 1e-3 * r.maneuvers[0].distance + 1e-9);
    EXPECT_NEAR(p.remaining, r.routeLength, 1e-3 * r.routeLength);
}

TEST_F(RoutePositionTest, DrivingTheRouteCountsDown) {
    RouteAcross();
    const CRouter& r = *router_;
    RoutePosition previous =
        LocateOnRoute(r, *r.routeStartLink, from_.segment, from_.point, true, 0);
    int32_t fromEntry = 0;
    for (int32_t i = 1; i < r.routeCount - 1; ++i) {
        const RoutePosition p = AtEntryNode(r, i, fromEntry);
        ASSERT_TRUE(p.onRoute) << i;
        EXPECT_EQ(p.entry, i);
        EXPECT_GE(p.maneuver, previous.maneuver) << i;
        EXPECT_LE(p.remaining, previous.remaining + 1e-9f) << i;
        // At a maneuver's own node the one after it is next.
        const int32_t at = r.maneuvers[p.maneuver].routeIndex;
        EXPECT_TRUE(at < 0 || at > i) << i;
        previous = p;
        fromEntry = i;
    }
    // At each maneuver's node the distance to the next is the one the list holds.
    int checked = 0;
    for (int32_t m = 0; m + 1 < r.maneuverCount; ++m) {
        const int32_t k = r.maneuvers[m].routeIndex;
        if (k > 0 && k < r.routeCount - 1) {
            const RoutePosition p = AtEntryNode(r, k, 0);
            EXPECT_EQ(p.maneuver, m + 1);
            EXPECT_NEAR(p.toManeuver, r.maneuvers[m + 1].distance,
                        1e-4 * r.maneuvers[m + 1].distance + 1e-9);
            ++checked;
        }
    }
    EXPECT_GT(checked, 0);
    // On the destination link only the arrival is left.
    const RoutePosition end = AtEntryNode(r, r.routeCount - 1, fromEntry);
    ASSERT_TRUE(end.onRoute);
    EXPECT_EQ(end.maneuver, r.maneuverCount - 1);
    EXPECT_NEAR(end.toManeuver, r.destPartLength, 1e-9);
    EXPECT_NEAR(end.remaining, end.toManeuver, 1e-9);
}

TEST_F(RoutePositionTest, ALinkOffTheRouteIsNotOnIt) {
    RouteAcross();
    MapLink stranger = *router_->routeStartLink;
    stranger.linkId = -12345;
    EXPECT_FALSE(LocateOnRoute(*router_, stranger, 0, from_.point, false, 0).onRoute);
    // Before any route nothing is on it.
    CRouter& r = *router_;
    r.ResetRoute(0, 0, 0);
    EXPECT_FALSE(LocateOnRoute(r, stranger, 0, from_.point, false, 0).onRoute);
}

}  // namespace
