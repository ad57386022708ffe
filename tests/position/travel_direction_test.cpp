// The travel direction along the matched link: movement on one link, a change of
// link at either end, and an invalid fix.
#include "pathlume/position/travel_direction.h"

#include <gtest/gtest.h>

#include "tests/position/matcher_fixture.h"

namespace position_test {
namespace {

constexpr FLOAT kFootDegrees = 2.7411436e-6f;

// Two links north from 45 N 100 W, A then B, a third link C elsewhere; each end a
// single-slot node holding the link the test hooks there.
struct Roads {
    MapNode a0{}, a1{}, b1{}, c0{}, c1{};
    MapLink a{}, b{}, c{};
    Roads() {
        a0.position = {45.0f, -100.0f};
        a1.position = {45.001f, -100.0f};
        b1.position = {45.002f, -100.0f};
        c0.position = {45.5f, -100.5f};
        c1.position = {45.501f, -100.5f};
        for (MapNode* n : {&a0, &a1, &b1, &c0, &c1})
            n->slotCount = MapNode::kSingleSlot;
        a = Link(&a0, &a1, 1);
        b = Link(&a1, &b1, 2);
        c = Link(&c0, &c1, 3);
    }
    static MapLink Link(MapNode* from, MapNode* to, int32_t id) {
        MapLink l{};
        l.fromNode = from;
        l.toNode = to;
        l.linkId = id;
        return l;
    }
};

// Puts the matched location on the link, `feet` north of 45 N.
void MatchAt(MapLink* l, double feet) {
    MapLocation& at = g_vehicleLocation;
    at.cosLat = std::cos(45.0f * 0.017453292f);
    at.lat = 45.0f + static_cast<FLOAT>(feet) * kFootDegrees;
    at.scaledLon = -100.0f * at.cosLat;
    at.stale = 0;
    at.Set(l, 2);
    at.SetShapeIndex(MapLocation::kNoSegment);
}

class TravelDirectionTest : public testing::Test {
  protected:
    void SetUp() override {
        g_vehicleLocation = MapLocation{};
        g_travelDirection = CTravelDirection{};
        SetFixSource(&feed_);
    }
    void TearDown() override {
        g_vehicleLocation = MapLocation{};
        SetFixSource(nullptr);
    }
    QueuedFeed feed_;
    Roads roads_;
};

TEST_F(TravelDirectionTest, MovementAlongOneLinkOverFifteenFeetSetsTheState) {
    const struct {
        double feet;
        TravelDirection state;
    } steps[] = {
        {100, kTravelUnknown},                          // first update after a reset
        {120, kTravelForward},                          // 20 ft towards the to-node
        {110, kTravelForward},                          // 10 ft back: kept
        {90, kTravelBackward},                          // 20 ft back
        {80, kTravelBackward},  {92, kTravelBackward},  // creeping back under 15 ft per update
        {104, kTravelBackward},
    };
    for (const auto& s : steps) {
        MatchAt(&roads_.a, s.feet);
        g_travelDirection.Update();
        EXPECT_EQ(g_travelDirection.state, s.state) << s.feet << " ft";
        EXPECT_EQ(g_travelDirection.link, &roads_.a);
    }
    g_travelDirection.Reset();
    EXPECT_EQ(g_travelDirection.state, kTravelUnknown);
    EXPECT_EQ(g_travelDirection.link, nullptr);
}

TEST_F(TravelDirectionTest, AChangeOfLinkTellsTheDirectionByTheSharedNode) {
    // a1 holds A: entering B through its from-node is forwards.
    roads_.a1.firstSlot = &roads_.a;
    MatchAt(&roads_.a, 300);
    g_travelDirection.Update();
    MatchAt(&roads_.b, 400);
    g_travelDirection.Update();
    EXPECT_EQ(g_travelDirection.state, kTravelForward);

    // Back from B onto A through A's to-node, which holds B: backwards.
    roads_.a1.firstSlot = &roads_.b;
    MatchAt(&roads_.a, 350);
    g_travelDirection.Update();
    EXPECT_EQ(g_travelDirection.state, kTravelBackward);

    // A link that touches neither end: unknown.
    MatchAt(&roads_.c, 0);
    g_vehicleLocation.lat = 45.5f;
    g_travelDirection.Update();
    EXPECT_EQ(g_travelDirection.state, kTravelUnknown);
    EXPECT_EQ(g_travelDirection.link, &roads_.c);
}

TEST_F(TravelDirectionTest, AnInvalidFixOrAStaleLocationKnowsNoDirection) {
    MatchAt(&roads_.a, 100);
    g_travelDirection.Update();
    MatchAt(&roads_.a, 200);
    g_travelDirection.Update();
    ASSERT_EQ(g_travelDirection.state, kTravelForward);
    feed_.valid = false;
    MatchAt(&roads_.a, 300);
    g_travelDirection.Update();
    EXPECT_EQ(g_travelDirection.state, kTravelUnknown);
    EXPECT_EQ(g_travelDirection.link, &roads_.a);
    feed_.valid = true;
    g_vehicleLocation.stale = 1;
    g_travelDirection.Update();
    EXPECT_EQ(g_travelDirection.link, nullptr);
}

}  // namespace
}  // namespace position_test
