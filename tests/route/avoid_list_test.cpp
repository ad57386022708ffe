// Roads to avoid: the list, the marks it sets and clears, and a route that keeps off
// an avoided road.
#include <gtest/gtest.h>

#include <algorithm>

#include "pathlume/mapdb/map_database.h"
#include "tests/route/route_test_maps.h"

namespace route_test {
namespace {

class AvoidListTest : public RouteMapsTest {
  protected:
    void RouteDiagonal() {
        const MapPoint sw = SouthWest(), ne = NorthEast();
        const MapPoint from{sw.latitude + (ne.latitude - sw.latitude) * 0.6f,
                            sw.longitude + (ne.longitude - sw.longitude) * 0.5f};
        const MapPoint to{ne.latitude - (ne.latitude - sw.latitude) * 0.05f,
                          ne.longitude - (ne.longitude - sw.longitude) * 0.05f};
        ASSERT_TRUE(Route(from, to, kRouteQuickest));
        ASSERT_TRUE(router_->state & kRouterRouteState);
    }
    bool RouteUses(int32_t linkId) const {
        for (int32_t i = 0; i < router_->routeCount; ++i) {
            if (router_->routeList[i].linkId == linkId)
                return true;
        }
        return false;
    }
    MapLink* LinkOf(const RouteEntry& entry) const {
        MapNode* node = ResolveNodeRef(entry);
        return node ? node->Slots()[entry.Slot()] : nullptr;
    }
};

TEST_F(AvoidListTest, KeysAreStoredOnceEachInTheirList) {
    RouteDiagonal();
    ASSERT_GE(router_->routeCount, 3);
    RouteEntry a = router_->routeList[1];
    RouteEntry b = router_->routeList[2];
    a.nodeRef &= ~RouteEntry::kRoutingLevel;
    b.nodeRef &= ~RouteEntry::kRoutingLevel;
    EXPECT_TRUE(g_avoidList.Add(a));
    EXPECT_TRUE(g_avoidList.Add(a));
    EXPECT_EQ(g_avoidList.Count(), 1);
    EXPECT_TRUE(g_avoidList.Add(b));
    EXPECT_EQ(g_avoidList.Count(), 2);
    RouteEntry routing = a;
    routing.nodeRef |= RouteEntry::kRoutingLevel;
    EXPECT_TRUE(g_avoidList.Add(routing));
    ASSERT_NE(g_avoidList.listB, nullptr);
    EXPECT_EQ(g_avoidList.listB->key.nodeRef, routing.nodeRef);
    EXPECT_EQ(g_avoidList.listB->next, nullptr);
    EXPECT_EQ(g_avoidList.listA->key.nodeRef, b.nodeRef);  // the newest first
    g_avoidList.Clear();
    EXPECT_EQ(g_avoidList.Count(), 0);
}

TEST_F(AvoidListTest, MarksAreSetOnTheNamedLinkAndClearedWithTheList) {
    RouteDiagonal();
    const RouteEntry entry = router_->routeList[router_->routeCount / 2];
    MapLink* link = LinkOf(entry);
    ASSERT_NE(link, nullptr);
    // Clearing with no marks applied leaves the chunks alone.
    link->attributes |= kAttrAvoidMark;
    router_->SetAvoidMarks(0);
    EXPECT_TRUE(link->attributes & kAttrAvoidMark);
    link->attributes &= ~kAttrAvoidMark;

    ASSERT_TRUE(g_avoidList.Add(entry));
    g_avoidList.ApplyMarks(nullptr);
    router_->SetAvoidMarks(1);
    EXPECT_TRUE(link->attributes & kAttrAvoidMark);
    router_->SetAvoidMarks(0);
    EXPECT_FALSE(link->attributes & kAttrAvoidMark);
    EXPECT_EQ(g_avoidList.Count(), 0);
    EXPECT_FALSE(router_->state & kRouterAvoidMarksApplied);
}

TEST_F(AvoidListTest, AKeyWhoseSlotNoLongerHoldsItsLinkMarksNothing) {
    RouteDiagonal();
    RouteEntry entry = router_->routeList[router_->routeCount / 2];
    MapLink* link = LinkOf(entry);
    ASSERT_NE(link, nullptr);
    // The chunk record now holds another cell: the slot's link has another id.
    entry.linkId = link->linkId + 1;
    EXPECT_EQ(ResolveNodeRef(entry), nullptr);
    ASSERT_TRUE(g_avoidList.Add(entry));
    g_avoidList.ApplyMarks(nullptr);
    EXPECT_FALSE(link->attributes & kAttrAvoidMark);
}

TEST_F(AvoidListTest, ARouteKeepsOffAnAvoidedRoad) {
    RouteDiagonal();
    // A link in the middle of the route, away from both ends.
    const RouteEntry entry = router_->routeList[router_->routeCount / 2];
    ASSERT_TRUE(RouteUses(entry.linkId));
    ASSERT_TRUE(g_avoidList.Add(entry));
    router_->SetAvoidMarks(1);
    RouteDiagonal();
    EXPECT_FALSE(RouteUses(entry.linkId));
    EXPECT_EQ(CheckRouteRules(*router_), "");
    router_->SetAvoidMarks(0);
    RouteDiagonal();
    EXPECT_TRUE(RouteUses(entry.linkId));
}

TEST_F(AvoidListTest, TheDetourMark) {
    EXPECT_EQ(router_->SetDetourBit(1) & kRouterDetourActive, 0u);
    EXPECT_TRUE(router_->state & kRouterDetourActive);
    router_->SetDetour(0);
    EXPECT_FALSE(router_->state & kRouterDetourActive);
    // Ending a detour that is not active changes nothing.
    const uint32_t before = router_->state;
    router_->SetDetour(0);
    EXPECT_EQ(router_->state, before);
    router_->SetDetour(1);
    EXPECT_TRUE(router_->state & kRouterDetourActive);
}

}  // namespace
}  // namespace route_test
