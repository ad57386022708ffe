// The route search's questions of nodes and links, on small hand-made networks.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#include "pathlume/mapdb/map_records.h"

namespace {

// Nodes with any number of slots, and links between them, kept for one test.
class Network {
  public:
    // A node with `slots` slots (MapNode::kSingleSlot for a one-slot border node).
    MapNode* Node(BYTE slots, FLOAT lat = 0, FLOAT lon = 0) {
        const uint32_t capacity = slots == MapNode::kSingleSlot ? 1u : slots;
        const size_t bytes = MapNode::StorageSize(capacity, 0);
        blocks_.push_back(std::make_unique<std::max_align_t[]>(
            (bytes + sizeof(std::max_align_t) - 1) / sizeof(std::max_align_t)));
        std::memset(static_cast<void*>(blocks_.back().get()), 0, bytes);
        auto* node = reinterpret_cast<MapNode*>(blocks_.back().get());
        node->position = {lat, lon};
        node->slotCount = slots;
        return node;
    }
    // A link from `from` (slot fromSlot) to `to` (slot toSlot), hooked into both.
    MapLink* Link(MapNode* from, uint32_t fromSlot, MapNode* to, uint32_t toSlot) {
        links_.push_back(std::make_unique<MapLink>());
        MapLink* link = links_.back().get();
        link->Init();
        link->linkId = static_cast<int32_t>(links_.size());
        link->flags = static_cast<uint16_t>(fromSlot | (toSlot << 4));
        link->fromNode = from;
        link->toNode = to;
        EXPECT_TRUE(HookLink(from, link, true));
        EXPECT_TRUE(HookLink(to, link, false));
        return link;
    }

  private:
    std::vector<std::unique_ptr<std::max_align_t[]>> blocks_;
    std::vector<std::unique_ptr<MapLink>> links_;
};

TEST(LeadsToDeadEndTest, AnswersForTheFirstNodeThatIsNoPassThrough) {
    // junction J -L1- P1 -L2- P2 -L3- E, where E is an end (one link), a junction, or
    // a two-slot node with one slot empty.
    enum class Far { kEnd, kJunction, kHalfUsed };
    for (Far far : {Far::kEnd, Far::kJunction, Far::kHalfUsed}) {
        SCOPED_TRACE(static_cast<int>(far));
        Network net;
        MapNode* j = net.Node(3);
        MapNode* p1 = net.Node(2);
        MapNode* p2 = net.Node(2);
        MapNode* e = net.Node(far == Far::kJunction ? 3 : far == Far::kHalfUsed ? 2 : 1);
        MapLink* l1 = net.Link(j, 0, p1, 0);
        MapLink* l2 = net.Link(p1, 1, p2, 1);  // p2 holds the link it is entered by in slot 1
        net.Link(e, 0, p2, 0);                 // against the direction of travel
        if (far == Far::kJunction) {
            net.Link(e, 1, net.Node(1), 0);
            net.Link(e, 2, net.Node(1), 0);
        }
        net.Link(j, 1, net.Node(1), 0);
        const int expected = far == Far::kJunction ? 0 : 1;
        EXPECT_EQ(MapNode::LeadsToDeadEnd(l1, p1), expected);
        EXPECT_EQ(MapNode::LeadsToDeadEnd(l2, p2), expected);
        // Back the other way the walk reaches the junction J: no dead end.
        EXPECT_EQ(MapNode::LeadsToDeadEnd(l2, p1), 0);
        // A node with one link is a dead end whichever link is named; one with none
        // is not.
        EXPECT_EQ(MapNode::LeadsToDeadEnd(l1, net.Node(1)), 0);
        MapNode* lone = net.Node(1);
        net.Link(lone, 0, net.Node(4), 0);
        EXPECT_EQ(MapNode::LeadsToDeadEnd(nullptr, lone), 1);
    }
}

// Where the loaded network ends, at a chunk's border stub or at a placeholder for
// an overview chunk not loaded, the road goes on: that is no dead end.
TEST(LeadsToDeadEndTest, TheEdgeOfTheLoadedNetworkIsNoDeadEnd) {
    for (const bool placeholder : {false, true}) {
        SCOPED_TRACE(placeholder ? "placeholder" : "border stub");
        Network net;
        MapNode* j = net.Node(3);
        MapNode* p = net.Node(2);
        MapNode* edge =
            placeholder ? net.Node(16, ProxyNode::kLatitude) : net.Node(MapNode::kSingleSlot);
        MapLink* in = net.Link(j, 0, p, 0);
        MapLink* out = net.Link(p, 1, edge, 0);
        EXPECT_EQ(MapNode::LeadsToDeadEnd(in, p), 0);
        EXPECT_EQ(MapNode::LeadsToDeadEnd(out, edge), 0);
    }
}

TEST(LeadsToDeadEndTest, RingsEndTheWalk) {
    // A closed ring of pass-through nodes comes back to its start: no dead end.
    {
        Network net;
        MapNode* a = net.Node(2);
        MapNode* b = net.Node(2);
        MapNode* c = net.Node(2);
        MapLink* ab = net.Link(a, 0, b, 0);
        net.Link(b, 1, c, 0);
        MapLink* ca = net.Link(c, 1, a, 1);
        EXPECT_EQ(MapNode::LeadsToDeadEnd(ab, b), 0);
        EXPECT_EQ(MapNode::LeadsToDeadEnd(ca, a), 0);
    }
    // Corrupt slots: a node that does not hold the link it is entered by leads into
    // a two-node ring the walk never leaves through its start; the walk still ends.
    {
        Network net;
        MapNode* s = net.Node(2);
        MapNode* a = net.Node(2);
        MapNode* b = net.Node(2);
        MapNode* z = net.Node(3);
        MapLink* x = net.Link(a, 0, b, 0);
        net.Link(a, 1, b, 1);
        MapLink* sz = net.Link(z, 0, s, 0);
        MapLink* sa = net.Link(s, 1, z, 1);
        sa->toNode = a;  // s's second link claims to end at a, which does not hold it
        EXPECT_EQ(MapNode::LeadsToDeadEnd(sz, s), 0);
        EXPECT_EQ(a->Slots()[0], x);
    }
}

TEST(GetEndPositionsTest, SegmentsRunFromNodeThroughShapePointsToNode) {
    Network net;
    MapNode* from = net.Node(1, 1.0f, 10.0f);
    MapNode* to = net.Node(1, 5.0f, 50.0f);
    MapLink* link = net.Link(from, 0, to, 0);
    MapPoint shape[3] = {{2.0f, 20.0f}, {3.0f, 30.0f}, {4.0f, 40.0f}};
    auto ends = [&](uint32_t k) {
        MapPoint a{-1, -1}, b{-1, -1};
        link->GetEndPositions(k, &a, &b);
        return std::pair{a.latitude, b.latitude};
    };
    using Pair = std::pair<FLOAT, FLOAT>;
    // No shape points: the one segment is node to node, and so is any k past it.
    EXPECT_EQ(ends(0), Pair(1.0f, 5.0f));
    EXPECT_EQ(ends(7), Pair(1.0f, 5.0f));
    link->shapePoints = shape;
    link->shapeInfo = 3;
    EXPECT_EQ(ends(0), Pair(1.0f, 2.0f));
    EXPECT_EQ(ends(1), Pair(2.0f, 3.0f));
    EXPECT_EQ(ends(2), Pair(3.0f, 4.0f));
    EXPECT_EQ(ends(3), Pair(4.0f, 5.0f));
    EXPECT_EQ(ends(4), Pair(4.0f, 5.0f));  // past the last segment: the last one
    // A reduced shape keeps the first and last point only.
    link->shapeInfo = static_cast<uint16_t>(3 | kShapeReduced);
    EXPECT_EQ(ends(1), Pair(2.0f, 3.0f));
    EXPECT_EQ(ends(2), Pair(3.0f, 5.0f));
    EXPECT_EQ(ends(3), Pair(3.0f, 5.0f));
    // Longitudes follow the latitudes.
    MapPoint a, b;
    link->shapeInfo = 3;
    link->GetEndPositions(1, &a, &b);
    EXPECT_EQ(a.longitude, 20.0f);
    EXPECT_EQ(b.longitude, 30.0f);
}

}  // namespace
