// The maneuver list on small hand-made routes: a road without junctions, gentle
// bends adding up into the next junction's turn, a destination right at the last
// junction, and the kinds by angle.
#include "pathlume/route/maneuver_list.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "pathlume/foundation/heap.h"
#include "pathlume/route/maneuver_texts.h"
#include "pathlume/route/router.h"
#include "tests/support/temp_root.h"

namespace {

TEST(ManeuverListTest, KindsByAngle) {
    const struct {
        FLOAT angle;
        bool exit, keep;
        uint32_t kind;
    } cases[] = {
        {0, false, false, 3},     {10, false, false, 3},    {-10, false, false, 3},
        {10.5f, false, false, 7}, {40, false, false, 7},    {-40, false, false, 8},
        {41, false, false, 5},    {-119, false, false, 6},  {120, false, false, 11},
        {150, false, false, 11},  {-150, false, false, 12}, {151, false, false, 5},
        {-151, false, false, 6},  {5, false, true, 9},      {-5, false, true, 10},
        {0, false, true, 3},      {30, false, true, 9},     {-30, false, true, 10},
        {60, false, true, 5},     {20, true, false, 1},     {-20, true, false, 2},
        {20, true, true, 9},      {-90, true, true, 10},    {0, true, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ManeuverKindFromAngle(c.angle, c.exit, c.keep), c.kind)
            << c.angle << " exit " << c.exit << " keep " << c.keep;
    }
}

TEST(ManeuverListTest, PhraseWords) {
    const int words[] = {-1, 101, 100, 64, 70, 69,  68,  41,  40,  51, 50,
                         62, 61,  42,  65, 65, 103, 102, 103, 102, 94, -1};
    for (uint32_t kind = 0; kind < std::size(words); ++kind)
        EXPECT_EQ(ManeuverPhraseId(kind), words[kind]) << kind;
}

// A route drawn by hand: a chain of points, one link between each two, the vehicle
// on the first link and the destination on the last; extra side roads at chosen
// nodes. The nodes sit in one loaded chunk so that the entries resolve.
class HandRoute {
  public:
    HandRoute(const std::vector<MapPoint>& points, const std::vector<size_t>& junctions) {
        const size_t n = points.size();
        chainNodes_ = n;
        links_.resize(n - 1 + junctions.size());
        for (size_t i = 0; i < n; ++i) {
            const bool junction =
                std::find(junctions.begin(), junctions.end(), i) != junctions.end();
            nodes_.push_back(NewNode(points[i], junction ? 3 : 2));
        }
        for (size_t i = 0; i + 1 < n; ++i)
            Connect(links_[i], nodes_[i], 1, nodes_[i + 1], 0, points[i], points[i + 1]);
        // Each side road leaves its junction to the left, to a node of its own.
        for (size_t k = 0; k < junctions.size(); ++k) {
            const size_t at = junctions[k];
            const MapPoint p = points[at];
            MapPoint side{p.latitude + 0.001f, p.longitude};
            nodes_.push_back(NewNode(side, 1));
            Connect(links_[n - 1 + k], nodes_[at], 2, nodes_.back(), 0, p, side);
        }
        chunk_.flags = kChunkLoaded;
        table_.assign(nodes_.begin(), nodes_.end());
        chunk_.nodes = table_.data();
        chunk_.header.nodeCount = static_cast<uint16_t>(table_.size());
    }
    ~HandRoute() {
        for (MapNode* node : nodes_)
            ::operator delete(node);
    }

    // The route list from the start link to the last link, on `router`.
    void Install(CRouter& router, FLOAT startPart, FLOAT destPart) {
        const size_t n = chainNodes_;
        const size_t count = n - 2;
        auto* entries = static_cast<RouteEntry*>(g_heap.Alloc(count * sizeof(RouteEntry)));
        for (size_t i = 0; i < count; ++i) {
            const MapLink& leaving = links_[i + 1];
            entries[i] = {static_cast<uint32_t>(i + 1) | (1u << RouteEntry::kSlotShift) |
                              RouteEntry::kRoutingLevel,
                          &chunk_, leaving.linkId, leaving.attributes};
        }
        router.routeList = entries;
        router.routeCount = static_cast<int32_t>(count);
        router.routeStartLink = &links_.front();
        router.routeDestLink = &links_[n - 2];
        router.startPartLength = startPart;
        router.destPartLength = destPart;
    }
    FLOAT Length(size_t link) const { return links_[link].Length(); }

  private:
    static MapNode* NewNode(const MapPoint& p, uint32_t slots) {
        auto* node = static_cast<MapNode*>(::operator new(MapNode::StorageSize(slots, 0)));
        std::memset(static_cast<void*>(node), 0, MapNode::StorageSize(slots, 0));
        node->position = p;
        node->slotCount = static_cast<BYTE>(slots);
        return node;
    }
    void Connect(MapLink& link, MapNode* from, uint32_t fromSlot, MapNode* to, uint32_t toSlot,
                 const MapPoint& a, const MapPoint& b) {
        const FLOAT dy = (b.latitude - a.latitude) * 0.0174533f;
        const FLOAT dx =
            (b.longitude - a.longitude) * 0.0174533f * std::cos(a.latitude * 0.0174533f);
        link.word0 = std::bit_cast<uint32_t>(std::hypot(dx, dy));
        link.attributes = 0x30 | 0x200 | 0x100;
        link.linkId = static_cast<int32_t>(&link - links_.data()) * 16;
        link.fromNode = from;
        link.toNode = to;
        link.flags = static_cast<uint16_t>(toSlot << 4 | fromSlot);
        from->Slots()[fromSlot] = &link;
        to->Slots()[toSlot] = &link;
        from->nameAndUse = static_cast<BYTE>(from->nameAndUse + 1);
        to->nameAndUse = static_cast<BYTE>(to->nameAndUse + 1);
    }

    size_t chainNodes_ = 0;
    std::vector<MapNode*> nodes_;
    std::vector<MapLink> links_;
    std::vector<MapNode*> table_;
    MapChunk chunk_{};
};

// Points eastward from (40, -100), each `step` degrees of longitude on, turning by
// the given angles (degrees, right positive) at each inner point.
std::vector<MapPoint> Walk(const std::vector<double>& turns, double step = 0.002) {
    std::vector<MapPoint> points{{40.0f, -100.0f}};
    double heading = 90;  // east, clockwise from north
    double lat = 40, lon = -100;
    for (size_t i = 0; i <= turns.size(); ++i) {
        if (i > 0)
            heading += turns[i - 1];
        lat += step * std::cos(heading * 3.14159265358979 / 180);
        lon += step * std::sin(heading * 3.14159265358979 / 180) / std::cos(40 * 3.14159265 / 180);
        points.push_back({static_cast<FLOAT>(lat), static_cast<FLOAT>(lon)});
    }
    return points;
}

class ManeuverBuildTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { router_ = std::make_unique<CRouter>(); }
    std::unique_ptr<CRouter> router_;
};

TEST_F(ManeuverBuildTest, ARoadWithoutJunctionsIsOneArrivalWithTheWholeLength) {
    HandRoute route(Walk({0, 5, -5, 0}), {});
    route.Install(*router_, 1e-5f, 2e-5f);
    ASSERT_EQ(router_->BuildManeuverList(), 0);
    ASSERT_EQ(router_->maneuverCount, 1);
    EXPECT_EQ(router_->maneuvers[0].routeIndex, -1);
    EXPECT_EQ(router_->maneuvers[0].kind, kManeuverArrival);
    const FLOAT whole = 1e-5f + route.Length(1) + route.Length(2) + route.Length(3) + 2e-5f;
    EXPECT_FLOAT_EQ(router_->maneuvers[0].distance, whole);
    EXPECT_FLOAT_EQ(router_->nextManeuverDistance, whole);
}

TEST_F(ManeuverBuildTest, GentleBendsAddUpIntoTheNextJunctionsTurn) {
    // Bends of 20 degrees at two chain nodes, then 25 more at a junction: one turn to
    // the right, told at the junction.
    HandRoute route(Walk({20, 20, 25, 0}), {3});
    route.Install(*router_, 1e-5f, 2e-5f);
    ASSERT_EQ(router_->BuildManeuverList(), 0);
    ASSERT_EQ(router_->maneuverCount, 2);
    EXPECT_EQ(router_->maneuvers[0].routeIndex, 2);
    EXPECT_EQ(router_->maneuvers[0].kind, kManeuverTurnRight);
    // Each bend alone is under 30 degrees (the turn angle's arc tangent is octant-linear,
    // so 20 degrees reads as about 16); together they are a turn.
    EXPECT_GT(g_lastManeuverAngle, 45);
    EXPECT_LT(g_lastManeuverAngle, 70);
    EXPECT_FLOAT_EQ(router_->maneuvers[0].distance, 1e-5f + route.Length(1) + route.Length(2));
    EXPECT_EQ(router_->maneuvers[1].kind, kManeuverArrival);
    EXPECT_FLOAT_EQ(router_->maneuvers[1].distance, route.Length(3) + 2e-5f);
}

TEST_F(ManeuverBuildTest, ADestinationAtTheLastJunctionMakesItTheArrival) {
    HandRoute route(Walk({0, 0, 90}), {3});
    route.Install(*router_, 1e-5f, 0);
    ASSERT_EQ(router_->BuildManeuverList(), 0);
    ASSERT_EQ(router_->maneuverCount, 1);
    EXPECT_EQ(router_->maneuvers[0].routeIndex, -1);
    EXPECT_EQ(router_->maneuvers[0].kind, kManeuverArrival);
}

TEST_F(ManeuverBuildTest, NothingToTellAndNoWayLeftIsStillAnArrival) {
    // Vehicle and destination right at the one node: no record to turn into the
    // arrival, so one is made.
    HandRoute route(Walk({0}), {});
    route.Install(*router_, 0, 0);
    ASSERT_EQ(router_->BuildManeuverList(), 0);
    ASSERT_EQ(router_->maneuverCount, 1);
    EXPECT_EQ(router_->maneuvers[0].kind, kManeuverArrival);
    EXPECT_EQ(router_->maneuvers[0].distance, 0);
}

}  // namespace
