// The road-network records: hooking and unhooking, the reference count of shared
// links, the side arrays, node indexes and the matched position.
#include "pathlume/mapdb/map_records.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "pathlume/mapdb/mapdb_memory.h"

namespace {

// A node with `slots` link slots in storage of its own.
struct NodeBox {
    explicit NodeBox(BYTE slots, uint32_t nameLength = 0)
        : storage(MapNode::StorageSize(slots == MapNode::kSingleSlot ? 1 : slots, nameLength) /
                      sizeof(std::max_align_t) +
                  1) {
        std::memset(static_cast<void*>(storage.data()), 0, storage.size() * sizeof(storage[0]));
        node()->slotCount = slots;
        node()->nameAndUse = static_cast<BYTE>(nameLength << MapNode::kNameShift);
    }
    MapNode* node() { return reinterpret_cast<MapNode*>(storage.data()); }
    std::vector<std::max_align_t> storage;
};

MapLink MakeLink(uint32_t fromSlot, uint32_t toSlot) {
    MapLink link{};
    link.flags = static_cast<uint16_t>(fromSlot | toSlot << 4);
    link.linkId = 7;
    return link;
}

TEST(RecordsTest, HookAndUnhookFollowTheSlotNibbles) {
    NodeBox from(3), to(2), single(MapNode::kSingleSlot);
    MapLink link = MakeLink(2, 1);
    link.fromNode = from.node();
    link.toNode = to.node();
    ASSERT_TRUE(HookLink(from.node(), &link, true));
    ASSERT_TRUE(HookLink(to.node(), &link, false));
    EXPECT_EQ(from.node()->Slots()[2], &link);
    EXPECT_EQ(to.node()->Slots()[1], &link);
    EXPECT_EQ(from.node()->UseCount(), 1u);

    // A single-slot node takes any link into slot 0, and unhooking any link empties it.
    ASSERT_TRUE(HookLink(single.node(), &link, false));
    EXPECT_EQ(single.node()->Slots()[0], &link);
    MapLink other = MakeLink(5, 9);
    MapLink::Unhook(single.node(), &other);
    EXPECT_EQ(single.node()->Slots()[0], nullptr);
    EXPECT_EQ(single.node()->nameAndUse, 0);

    // Unhooking a link whose named slot holds a different link changes nothing.
    MapLink stranger = MakeLink(2, 2);
    stranger.fromNode = from.node();
    MapLink::Unhook(from.node(), &stranger);
    EXPECT_EQ(from.node()->Slots()[2], &link);
    EXPECT_EQ(from.node()->UseCount(), 1u);

    MapLink::Unhook(from.node(), &link);
    EXPECT_EQ(from.node()->Slots()[2], nullptr);
    EXPECT_EQ(from.node()->UseCount(), 0u);
}

TEST(RecordsTest, SlotsPastTheNodeAreRefusedAndTheUseCountNeverReachesTheName) {
    NodeBox node(2, 15);
    MapLink far = MakeLink(9, 9);
    far.fromNode = node.node();
    EXPECT_FALSE(HookLink(node.node(), &far, true));
    MapLink::Unhook(node.node(), &far);  // reads no slot past the node either
    EXPECT_EQ(node.node()->nameAndUse, 15 << 4);

    // Sixteen links into one slot: the use count stops at 15, the name length stays.
    MapLink link = MakeLink(0, 0);
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(HookLink(node.node(), &link, true));
    EXPECT_EQ(node.node()->NameLength(), 15u);
    EXPECT_EQ(node.node()->UseCount(), 15u);
}

TEST(RecordsTest, ReleaseLowersTheCountAndFreesAtZeroOnlyWhenAsked) {
    const long before = mapdb::LiveBlocks();
    NodeBox overview(2);
    auto* counted = static_cast<CountedLink*>(mapdb::TryAllocZeroed(sizeof(CountedLink)));
    ASSERT_NE(counted, nullptr);
    counted->link = MakeLink(1, 0);
    counted->link.flags |= kLinkCounted | kLinkFromExternal;
    counted->link.fromNode = overview.node();
    counted->link.shapePoints = static_cast<MapPoint*>(mapdb::TryAlloc(2 * sizeof(MapPoint)));
    HookLink(overview.node(), &counted->link, true);
    EXPECT_EQ(CountedLink::FromLink(&counted->link), counted);

    counted->refCount = 3;
    MapLink::Release(counted, true);
    EXPECT_EQ(counted->refCount, 2u);
    counted->refCount = 1;
    MapLink::Release(counted, false);
    EXPECT_EQ(counted->refCount, 0u);
    EXPECT_EQ(overview.node()->Slots()[1], &counted->link);

    counted->refCount = 1;
    MapLink::Release(counted, true);  // unhooks from the external node and frees
    EXPECT_EQ(overview.node()->Slots()[1], nullptr);
    EXPECT_EQ(mapdb::LiveBlocks(), before);
}

TEST(RecordsTest, ChunkLevelArraysAreCountedZeroedAndFreedWithTheirChains) {
    const long before = mapdb::LiveBlocks();
    ChunkLevel a{}, b{};
    ASSERT_EQ(a.Allocate(3, 1), 0);
    ASSERT_EQ(b.Allocate(2, 1), 0);
    EXPECT_EQ(a.sharedCount, 2);
    EXPECT_EQ(LevelArrayCount(a.nodes), 3u);
    EXPECT_EQ(LevelArrayCount(a.shared), 2u);
    EXPECT_EQ(LevelArrayCount(a.links), 1u);
    EXPECT_EQ(a.links[0].shapePoints, nullptr);
    EXPECT_EQ(a.nodes[2].slotCount, 0);

    // One counted link shared by an entry on each side, chained.
    auto* counted = static_cast<CountedLink*>(mapdb::TryAllocZeroed(sizeof(CountedLink)));
    counted->refCount = 2;
    counted->link.flags = kLinkCounted | kLinkEd;
    a.shared[0] = {0, counted, nullptr, &b.shared[0]};
    b.shared[0] = {0, counted, &a.shared[0], nullptr};
    a.links[0].shapePoints = static_cast<MapPoint*>(mapdb::TryAlloc(sizeof(MapPoint)));

    a.Free();
    EXPECT_EQ(b.shared[0].prev, nullptr);
    EXPECT_EQ(counted->refCount, 1u);
    EXPECT_EQ(a.nodes, nullptr);
    b.Free();
    EXPECT_EQ(mapdb::LiveBlocks(), before);

    mapdb::FailAllocationAfter(2);
    ChunkLevel c{};
    EXPECT_EQ(c.Allocate(2, 2), 2);
    EXPECT_NE(c.nodes, nullptr);  // what was made stays attached
    c.Free();
    EXPECT_EQ(mapdb::LiveBlocks(), before);
}

TEST(RecordsTest, ShapePointCountAndClassLayer) {
    MapPoint points[40];
    MapLink link{};
    link.shapeInfo = 40 | kShapeReduced;
    EXPECT_EQ(link.GetShapePointCount(), 0u);  // no array, whatever shapeInfo says
    link.shapePoints = points;
    EXPECT_EQ(link.GetShapePointCount(), 2u);
    link.shapeInfo = 1 | kShapeReduced;
    EXPECT_EQ(link.GetShapePointCount(), 1u);
    link.shapeInfo = 5;
    EXPECT_EQ(link.GetShapePointCount(), 5u);

    EXPECT_EQ(MapLink::GetClassLayer(kLinkCounted | kLinkEd), 4);
    EXPECT_EQ(MapLink::GetClassLayer(kLinkEd), 2);
    EXPECT_EQ(MapLink::GetClassLayer(0), 1);
}

TEST(RecordsTest, NodeIndexBisectsTheTable) {
    // Nodes laid out one after another, as in a chunk's block.
    constexpr int kCount = 9;
    std::vector<std::max_align_t> block(kCount * 4);
    MapNode* table[kCount];
    for (int i = 0; i < kCount; ++i)
        table[i] = reinterpret_cast<MapNode*>(reinterpret_cast<BYTE*>(block.data()) + i * 48);
    MapChunk chunk{};
    chunk.header.nodeCount = kCount;
    chunk.nodes = table;
    EXPECT_EQ(chunk.GetNodeIndex(table[3]), -1);  // not loaded
    chunk.flags = kChunkLoaded;
    for (int i = 0; i < kCount; ++i)
        EXPECT_EQ(chunk.GetNodeIndex(table[i]), i);
    const auto* between = reinterpret_cast<const MapNode*>(reinterpret_cast<BYTE*>(table[4]) + 8);
    EXPECT_EQ(chunk.GetNodeIndex(between), -1);
    const auto* after = reinterpret_cast<const MapNode*>(reinterpret_cast<BYTE*>(table[8]) + 8);
    EXPECT_EQ(chunk.GetNodeIndex(after), -1);
}

TEST(RecordsTest, SearchStateEntriesFollowTheSlots) {
    NodeBox a(2), b(MapNode::kSingleSlot), c(3);
    MapNode* table[] = {a.node(), b.node(), c.node()};
    MapChunk chunk{};
    chunk.header.nodeCount = 3;
    chunk.nodes = table;
    const uint32_t total = g_searchStateEntries;
    ASSERT_EQ(chunk.AllocSearchState(nullptr), 0);
    EXPECT_EQ(g_searchStateEntries, total + 6);
    EXPECT_EQ(a.node()->searchState, chunk.searchSlots);
    EXPECT_EQ(b.node()->searchState, chunk.searchSlots + 2);
    EXPECT_EQ(c.node()->searchState, chunk.searchSlots + 3);
    const BYTE fresh[5] = {0x3F, 0x00, 0x00, 0x80, 0x80};
    EXPECT_EQ(std::memcmp(chunk.searchSlots[5].bytes, fresh, 5), 0);
    chunk.FreeSearchState(true);
    EXPECT_EQ(chunk.searchSlots, nullptr);
    EXPECT_EQ(c.node()->searchState, nullptr);

    mapdb::FailAllocationAfter(1);
    EXPECT_EQ(chunk.AllocSearchState(nullptr), 1);
}

TEST(RecordsTest, LocationCopiesTheLinkAndKnowsWhenItIsStale) {
    MapLocation location;
    EXPECT_EQ(location.link, nullptr);
    EXPECT_EQ(location.tag, MapLocation::kNoTag);

    MapLink link = MakeLink(0, 0);
    link.attributes = 0x1C0;
    link.flags |= kLinkHeld;
    location.Set(&link, 12);
    EXPECT_EQ(location.linkId, 7);
    EXPECT_EQ(location.linkAttributes, 0x1C0u);
    EXPECT_EQ(location.linkFlags, kLinkHeld);
    EXPECT_EQ(location.tag, 12u);

    location.SetShapeIndex(3);  // no shape points: all ones whatever is given
    EXPECT_EQ(location.segment, MapLocation::kNoSegment);
    MapPoint points[4];
    link.shapePoints = points;
    link.shapeInfo = 4;
    location.SetShapeIndex(3);
    EXPECT_EQ(location.segment, 3u);

    location.stale = 1;
    EXPECT_EQ(location.GetLink(true), nullptr);
    EXPECT_EQ(location.GetLink(false), &link);
}

}  // namespace
