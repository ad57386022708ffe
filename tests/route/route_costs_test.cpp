// The price of one search step, on a hand-made junction: P at the origin, the link A
// the search reached P by running south, and links running north, east, west and
// north-east out of P that the vehicle drives into P before it leaves by A.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <vector>

#include "pathlume/route/route_costs.h"
#include "pathlume/route/router.h"

namespace {

constexpr FLOAT kLength = 1e-4f;

struct Junction {
    Junction(const Junction&) = delete;
    Junction& operator=(const Junction&) = delete;
    // P has five slots; nodes hold their slots and two restriction bytes after them.
    alignas(MapNode) BYTE pBytes[MapNode::StorageSize(5, 2)] = {};
    MapNode ends[5] = {};
    MapLink links[5] = {};
    MapNode* P = reinterpret_cast<MapNode*>(pBytes);

    // Slot 0 south (A), 1 north, 2 east, 3 west, 4 a little south of east (a sharp
    // turn back towards A's direction).
    Junction() {
        const MapPoint far[5] = {
            {-0.001f, 0}, {0.001f, 0}, {0, 0.001f}, {0, -0.001f}, {-0.00018f, 0.001f}};
        P->position = {0, 0};
        P->slotCount = 5;
        P->nameAndUse = static_cast<BYTE>((0 << 4) | 5);
        for (int i = 0; i < 5; ++i) {
            ends[i].position = far[i];
            ends[i].slotCount = 1;
            ends[i].nameAndUse = 1;
            MapLink& link = links[i];
            link.word0 = std::bit_cast<uint32_t>(kLength);
            link.attributes = 0x200 | 0x30 | 0x100 | 3;  // street, two-way, category 3
            link.linkId = 100 + i;
            link.fromNode = P;
            link.toNode = &ends[i];
            link.flags = static_cast<uint16_t>(i);  // from-slot i, to-slot 0
            P->Slots()[i] = &link;
            ends[i].Slots()[0] = &link;
        }
    }
    void Restrict(uint32_t in, uint32_t out) {
        const uint32_t n = P->NameLength();
        P->Name()[n] = static_cast<BYTE>(in << 4 | out);
        P->nameAndUse = static_cast<BYTE>(((n + 1) << 4) | P->UseCount());
    }
};

class RouteCostsTest : public testing::Test {
  protected:
    void SetUp() override {
        router_.speedTable = kSpeedTableImperial;
        router_.state = 0;
        router_.transitionPenalty = 0.5f;
    }
    // Links are driven from their far end into P: the mask of a link whose from-node is P.
    FLOAT WithTurn(Junction& j, uint32_t slot, bool uturn = false) {
        return router_.LinkCostWithTurn(&j.links[slot], kLength, j.P, 0, slot, kAttrBackward, 8,
                                        uturn);
    }
    FLOAT WithTurn(uint32_t slot, bool uturn = false) { return WithTurn(j_, slot, uturn); }
    CRouter router_;
    Junction j_;
};

// Guidance's category speed and arrival distance come from the table of the units in
// use: with metric units 130 km/h for category 0, not 80 mph.
TEST(CategorySpeedTest, TheTableOfTheUnitsInUse) {
    constexpr double kMph = 7.0168e-8;  // radians of arc per second
    constexpr double kKmh = 4.36e-8;
    const double mph[8] = {80, 65, 55, 41, 31, 21, 6, 5};
    const double kmh[8] = {130, 105, 90, 65, 50, 35, 10, 8};
    MapLink link{};
    for (uint32_t category = 0; category < 8; ++category) {
        link.attributes = category;
        EXPECT_NEAR(CategorySpeed(link, false), mph[category] * kMph, mph[category] * kMph * 1e-4)
            << category;
        EXPECT_NEAR(CategorySpeed(link, true), kmh[category] * kKmh, kmh[category] * kKmh * 1e-3)
            << category;
        EXPECT_FLOAT_EQ(ArrivalDistance(link, true), 4 * CategorySpeed(link, true));
    }
}

TEST(TurnPenaltyTest, PiecewiseByAngle) {
    struct Case {
        FLOAT angle;
        FLOAT units;
    } cases[] = {{0, 0},       {-11.25f, 0},  {33.7f, 0},  {90, 3.3f},   {-90, 7.9f},
                 {170, 35.0f}, {-170, 40.8f}, {120, 7.7f}, {150, 18.0f}, {180, 45.0f}};
    for (const Case& c : cases)
        EXPECT_NEAR(TurnPenaltyUnits(c.angle), c.units, 1e-4) << c.angle;
}

TEST(TurnPenaltyTest, ApproxBearingOctants) {
    EXPECT_FLOAT_EQ(ApproxBearing(1, 0), 0);
    EXPECT_FLOAT_EQ(ApproxBearing(1, 1), 45);
    EXPECT_FLOAT_EQ(ApproxBearing(0, 1), 90);
    EXPECT_FLOAT_EQ(ApproxBearing(0, -1), -90);
    EXPECT_FLOAT_EQ(ApproxBearing(-1, 0), -180);  // 180 wraps to -180
    EXPECT_FLOAT_EQ(ApproxBearing(-1, -1), -135);
    EXPECT_FLOAT_EQ(ApproxBearing(0, 0), 0);
}

// One table for the methods, the turn penalty, the options and the impassable steps.
TEST_F(RouteCostsTest, CostsByMethodTurnAndOption) {
    const FLOAT t3 = kSpeedTableImperial[3];
    const FLOAT straight = kLength;                 // from the north, on to the south
    const FLOAT left = kLength + 7.9f * 3.014e-6f;  // from the east, turning south
    const FLOAT right = kLength + 3.3f * 3.014e-6f;
    struct Case {
        const char* name;
        int method;
        uint32_t slot;
        uint32_t options;
        uint32_t attributes;  // replaces L's word when not 0
        FLOAT expected;
    } cases[] = {
        {"shortest straight", kRouteShortest, 1, 0, 0, straight},
        {"shortest has no turn penalty", kRouteShortest, 2, 0, 0, kLength},
        {"quickest straight, street x 1.17", kRouteQuickest, 1, 0, 0, straight * t3 * 1.17f},
        {"quickest left turn", kRouteQuickest, 2, 0, 0, left * t3 * 1.17f},
        {"quickest right turn", kRouteQuickest, 3, 0, 0, right * t3 * 1.17f},
        {"quickest slow street is category 5", kRouteQuickest, 1, 0, 0x200 | 0x30 | 0x100 | 1,
         straight * kSpeedTableImperial[5] * 1.17f},
        {"quickest minor road", kRouteQuickest, 1, 0, 0x200 | 0x30 | 0x140 | 4,
         straight * kSpeedTableImperial[4] * 1.27f},
        {"major roads: freeway", kRouteMajorRoads, 1, 0, 0x200 | 0x30 | 0x40, straight},
        {"major roads: arterial", kRouteMajorRoads, 1, 0, 0x200 | 0x30 | 0xC0, straight * 1.5f},
        {"major roads: street", kRouteMajorRoads, 1, 0, 0, straight * 2.0f},
        {"major roads: minor", kRouteMajorRoads, 1, 0, 0x200 | 0x30 | 0x140, straight * 5.0f},
        {"local roads: freeway x 10", kRouteLocalRoads, 1, 0, 0x200 | 0x30 | 0x40 | 0,
         straight * kSpeedTableImperial[0] * 10.0f},
        {"against one-way", kRouteQuickest, 1, 0, 0x200 | 0x10 | 0x100 | 3, FLT_MAX},
        {"against one-way, shortest", kRouteShortest, 1, 0, 0x200 | 0x10 | 0x100 | 3, FLT_MAX},
        {"one-way with it", kRouteShortest, 1, 0, 0x200 | 0x20 | 0x100 | 3, straight},
        {"carpool included x 0.8", kRouteShortest, 1, 0, 0x800 | 0x30 | 0x100 | 3, straight * 0.8f},
        {"carpool excluded x 10", kRouteShortest, 1, kRouterCarpoolExcluded,
         0x800 | 0x30 | 0x100 | 3, straight * 10.0f},
        {"toll excluded x 10", kRouteShortest, 1, kRouterTollExcluded,
         0x200 | 0x30 | 0x100 | 3 | kAttrToll, straight * 10.0f},
        {"toll included", kRouteShortest, 1, 0, 0x200 | 0x30 | 0x100 | 3 | kAttrToll, straight},
        {"ferry excluded x 10", kRouteShortest, 1, kRouterFerriesExcluded,
         0x200 | 0x30 | 0x100 | 3 | kAttrFerry, straight * 10.0f},
        {"avoided: transition penalty", kRouteShortest, 1, 0,
         0x200 | 0x30 | 0x100 | 3 | kAttrAvoidMark, straight + 0.5f},
        {"no routable kind: transition penalty", kRouteShortest, 1, 0, 0x30 | 0x100 | 3,
         straight + 0.5f},
    };
    for (const Case& c : cases) {
        Junction j;
        router_.routeAlgo = c.method;
        router_.state = c.options;
        if (c.attributes)
            j.links[c.slot].attributes = c.attributes;
        const FLOAT cost = WithTurn(j, c.slot);
        if (c.expected == FLT_MAX)
            EXPECT_EQ(cost, FLT_MAX) << c.name;
        else
            EXPECT_NEAR(cost, c.expected, c.expected * 1e-5f) << c.name;
    }
}

TEST_F(RouteCostsTest, SharpTurnUTurnAndRestriction) {
    router_.routeAlgo = kRouteQuickest;
    // Into P from slot 4 (a little south of east), out south: a sharp left.
    const FLOAT angleCost = WithTurn(4);
    EXPECT_GT(angleCost, WithTurn(2));
    // A U-turn back along A: refused, or 1000 ft more where the search allows it.
    EXPECT_EQ(WithTurn(0), FLT_MAX);
    EXPECT_NEAR(WithTurn(0, true), (kLength + kThousandFeet) * kSpeedTableImperial[3] * 1.17f,
                1e-9);
    // A forbidden turn: from the north (slot 1) into A (slot 0).
    j_.Restrict(1, 0);
    EXPECT_EQ(WithTurn(1), FLT_MAX);
    EXPECT_LT(WithTurn(2), FLT_MAX);
    // The chain's cost has no turn penalty: a left turn costs as much as straight on.
    EXPECT_EQ(router_.LinkCost(&j_.links[2], j_.P, 0, 2, kAttrBackward, 8, false),
              router_.LinkCost(&j_.links[3], j_.P, 0, 3, kAttrBackward, 8, false));
}

}  // namespace
