// Decoding chunk payloads into the records: every section, the shape modes, links
// to the overview network, and corrupt or truncated chunks that must fail cleanly.
#include "pathlume/mapdb/chunk_decoder.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/msgbox.h"
#include "tests/mapdb/mapdb_test_support.h"

namespace {

namespace payload = formats::chunk_payload;
using mapdb_test::DecodePayload;

payload::Position P(float lat, float lon) {
    return {lat, lon};
}

payload::LinkRecord Link(uint32_t fromSlot, uint32_t toSlot, uint16_t from, uint16_t to, int32_t id,
                         uint16_t shapeCount) {
    payload::LinkRecord link;
    link.slots = payload::SlotByte(fromSlot, toSlot);
    link.fromRef = from;
    link.toRef = to;
    link.body.length = 0.001f;
    link.body.attributes = payload::ClassValue(4) | payload::kKindRoad;
    link.body.linkId = id;
    link.body.shapeInfo = shapeCount;
    return link;
}

// Four nodes (n0 with two slots and a two-byte name), two sc links n0-n1 (5 shape
// points) and n0-n2 (1 point), one border node on side 1 and an ed link from n3 to
// it with 2 inline points.
payload::Chunk SampleChunk() {
    payload::Chunk chunk;
    chunk.nodes.resize(4);
    chunk.nodes[0] = {{0x01, 0x10}, 2, P(45.1f, -100.1f)};
    chunk.nodes[1] = {{}, 1, P(45.2f, -100.2f)};
    chunk.nodes[2] = {{}, 1, P(45.3f, -100.3f)};
    chunk.nodes[3] = {{}, 1, P(45.4f, -100.4f)};
    chunk.scLinks.push_back(Link(0, 0, 0, 1, 10, 5));
    chunk.scLinks.push_back(Link(1, 0, 0, 2, 11, 1));
    for (int i = 0; i < 6; ++i)
        chunk.auxPoints.push_back(P(46.0f + i, -101.0f - i));
    chunk.sideNodes[1].push_back(P(45.5f, -100.0f));
    payload::LinkRecord ed = Link(0, 0, 3, 4, 12, 2);  // 4: side 1's first border node
    ed.inlinePoints = {P(45.41f, -100.3f), P(45.45f, -100.1f)};
    chunk.edLinks.push_back(ed);
    return chunk;
}

// Fills the header's counts and sizing values the way the writer does.
std::vector<uint8_t> Encode(payload::Chunk chunk) {
    payload::ChunkHeader& h = chunk.header;
    h.nodeCount = static_cast<uint16_t>(chunk.nodes.size());
    h.scLinkCount = static_cast<uint16_t>(chunk.scLinks.size());
    h.auxCount = static_cast<uint16_t>(chunk.auxPoints.size());
    h.edLinkCount = static_cast<uint16_t>(chunk.edLinks.size());
    h.slotWords = 0;
    h.extraBytes = 0;
    for (const payload::NodeRecord& node : chunk.nodes) {
        if (node.SlotCount() > 0)
            h.slotWords = static_cast<uint16_t>(h.slotWords + node.SlotCount() - 1);
        h.extraBytes = static_cast<uint16_t>(
            h.extraBytes + payload::RoundedNameBytes(static_cast<uint32_t>(node.name.size())));
    }
    for (int side = 0; side < payload::kSideCount; ++side) {
        h.sides[side].levelNodes = static_cast<uint16_t>(chunk.sideNodes[side].size());
        h.sides[side].levelLinks = h.sides[side].levelNodes;
    }
    return payload::EncodeChunk(chunk);
}

bool Same(const MapPoint& point, const payload::Position& position) {
    return point.latitude == position.latitude && point.longitude == position.longitude;
}

class ChunkDecoderTest : public ::testing::Test {
  protected:
    void SetUp() override {
        platform::ClearMessageBoxes();
        baseline_ = mapdb_test::StreamReadyBaseline();
    }
    void TearDown() override {
        mapdb::FailAllocationAfter(0);
        chunk_.FreeStorage();
        overview_.FreeStorage();
        overview_.FreeProxyNodes();
        EXPECT_EQ(mapdb::LiveBlocks(), baseline_) << "blocks leaked";
    }
    int Decode(const std::vector<uint8_t>& bytes) { return DecodePayload(bytes, chunk_, context_); }

    long baseline_ = 0;
    MapChunk chunk_{};
    MapChunk overview_{};
    ChunkDecodeContext context_;
};

TEST_F(ChunkDecoderTest, EverySectionDecodesIntoLinkedRecords) {
    const payload::Chunk sample = SampleChunk();
    context_.keepAuxPoints = 2;
    ASSERT_EQ(Decode(Encode(sample)), 0);
    ASSERT_TRUE(chunk_.IsLoaded());
    EXPECT_TRUE(chunk_.flags & kChunkFullShapes);

    for (int i = 0; i < 4; ++i) {
        EXPECT_TRUE(Same(chunk_.nodes[i]->position, sample.nodes[i].position)) << i;
        EXPECT_EQ(chunk_.nodes[i]->slotCount, sample.nodes[i].SlotCount()) << i;
        EXPECT_EQ(chunk_.nodes[i]->UseCount(), sample.nodes[i].SlotCount()) << i;
    }
    MapNode* n0 = chunk_.nodes[0];
    EXPECT_EQ(n0->NameLength(), 2u);
    EXPECT_EQ(n0->Name()[0], 0x01);
    EXPECT_EQ(n0->Name()[1], 0x10);

    MapLink& l0 = chunk_.links[0];
    MapLink& l1 = chunk_.links[1];
    EXPECT_EQ(l0.fromNode, n0);
    EXPECT_EQ(l0.toNode, chunk_.nodes[1]);
    EXPECT_EQ(n0->Slots()[0], &l0);
    EXPECT_EQ(n0->Slots()[1], &l1);
    EXPECT_EQ(chunk_.nodes[2]->Slots()[0], &l1);
    EXPECT_EQ(l0.linkId, 10);
    EXPECT_EQ(l0.attributes, sample.scLinks[0].body.attributes);
    EXPECT_EQ(l0.flags, payload::SlotByte(0, 0));
    EXPECT_EQ(l1.flags, payload::SlotByte(1, 0));
    ASSERT_EQ(l0.GetShapePointCount(), 5u);
    ASSERT_EQ(l1.GetShapePointCount(), 1u);
    for (int i = 0; i < 5; ++i)
        EXPECT_TRUE(Same(l0.shapePoints[i], sample.auxPoints[i])) << i;
    EXPECT_TRUE(Same(l1.shapePoints[0], sample.auxPoints[5]));

    ASSERT_EQ(chunk_.levels[0], nullptr);
    ChunkLevel* east = chunk_.levels[1];
    ASSERT_NE(east, nullptr);
    EXPECT_EQ(east->nodeCount, 1u);
    MapNode& border = east->nodes[0];
    EXPECT_TRUE(Same(border.position, sample.sideNodes[1][0]));
    EXPECT_EQ(border.slotCount, MapNode::kSingleSlot);
    MapLink& ed = east->links[0];
    EXPECT_EQ(border.Slots()[0], &ed);
    EXPECT_EQ(border.UseCount(), 1u);
    EXPECT_EQ(ed.fromNode, chunk_.nodes[3]);
    EXPECT_EQ(ed.toNode, &border);
    EXPECT_EQ(chunk_.nodes[3]->Slots()[0], &ed);
    EXPECT_EQ(ed.flags, kLinkEd);
    EXPECT_EQ(ed.linkId, 12);
    ASSERT_EQ(ed.GetShapePointCount(), 2u);
    EXPECT_TRUE(Same(ed.shapePoints[1], sample.edLinks[0].inlinePoints[1]));
    EXPECT_EQ(chunk_.externalRefs, 0u);

    // Every node lies at its own address, in ascending order.
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(chunk_.GetNodeIndex(chunk_.nodes[i]), i);
}

// A reload whose block no longer matches the loaded chunk fails and leaves the
// links on the points they had.
TEST_F(ChunkDecoderTest, ReloadRefusesAChangedBlockAndKeepsThePoints) {
    context_.keepAuxPoints = 1;  // compact
    ASSERT_EQ(Decode(Encode(SampleChunk())), 0);
    payload::Chunk grown = SampleChunk();
    grown.scLinks.push_back(Link(0, 0, 1, 2, 13, 0));
    mapdb_test::MemoryInput changed(mapdb_test::MakeBlock(Encode(grown)));
    mapdb_test::MemoryInput truncated(std::vector<uint8_t>(4, 0));
    chunk_.fileOffset = 0;
    for (mapdb_test::MemoryInput* input : {&changed, &truncated}) {
        EXPECT_EQ(chunk_.ReloadShapePoints(input, false), -1);
        EXPECT_EQ(chunk_.header.scLinkCount, 2u);
        EXPECT_EQ(chunk_.links[0].GetShapePointCount(), 2u);
        EXPECT_EQ(chunk_.links[0].shapePoints[1].latitude, 50.0f);
    }
}

TEST_F(ChunkDecoderTest, ShapeModesKeepAllTwoOrNoPoints) {
    const std::vector<uint8_t> bytes = Encode(SampleChunk());
    context_.keepAuxPoints = 1;  // compact
    ASSERT_EQ(Decode(bytes), 0);
    EXPECT_FALSE(chunk_.flags & kChunkFullShapes);
    const MapLink& five = chunk_.links[0];
    const MapLink& one = chunk_.links[1];
    EXPECT_EQ(five.GetShapePointCount(), 2u);
    EXPECT_TRUE(five.shapeInfo & kShapeReduced);
    EXPECT_EQ(five.shapePoints[0].latitude, 46.0f);  // points 1 and 5
    EXPECT_EQ(five.shapePoints[1].latitude, 50.0f);
    EXPECT_EQ(one.GetShapePointCount(), 1u);
    EXPECT_FALSE(one.shapeInfo & kShapeReduced);
    EXPECT_EQ(one.shapePoints[0].latitude, 51.0f);

    // The full points come back from the stored block.
    mapdb_test::MemoryInput input(mapdb_test::MakeBlock(bytes));
    chunk_.fileOffset = 0;
    EXPECT_EQ(chunk_.ReloadShapePoints(&input, true), 1);  // compact already
    ASSERT_EQ(chunk_.ReloadShapePoints(&input, false), 0);
    EXPECT_EQ(chunk_.links[0].GetShapePointCount(), 5u);
    EXPECT_EQ(chunk_.links[0].shapePoints[4].latitude, 50.0f);
    EXPECT_TRUE(chunk_.flags & kChunkFullShapes);
    EXPECT_EQ(chunk_.ReloadShapePoints(&input, false), 1);
    chunk_.FreeStorage();

    // Without aux points the bytes are skipped and the nodes still read right.
    context_.keepAuxPoints = 0;
    ASSERT_EQ(Decode(bytes), 0);
    EXPECT_EQ(chunk_.aux, nullptr);
    EXPECT_EQ(chunk_.links[0].shapePoints, nullptr);
    EXPECT_EQ(chunk_.nodes[3]->position.latitude, 45.4f);
    chunk_.FreeStorage();

    // sc links with shape counts but no aux points have no shape, not one past the block.
    payload::Chunk noAux = SampleChunk();
    noAux.auxPoints.clear();
    context_.keepAuxPoints = 2;
    ASSERT_EQ(Decode(Encode(noAux)), 0);
    EXPECT_EQ(chunk_.links[0].shapePoints, nullptr);
    EXPECT_EQ(chunk_.links[1].shapePoints, nullptr);
    chunk_.FreeStorage();
    noAux.auxPoints.resize(5);  // fewer than the links claim: the first fits, the second not
    ASSERT_EQ(Decode(Encode(noAux)), 0);
    EXPECT_NE(chunk_.links[0].shapePoints, nullptr);
    EXPECT_EQ(chunk_.links[1].shapePoints, nullptr);
}

TEST_F(ChunkDecoderTest, HeaderFlagNamesAndDeadLinks) {
    payload::Chunk chunk = SampleChunk();
    chunk.nodes[1].name.assign(15, 0x21);
    chunk.scLinks[1].body.linkId = 0;  // no link, though both ends resolve
    std::vector<uint8_t> bytes = Encode(chunk);
    bytes[payload::kEdLinkCountOffset + 1] |= 0x80;  // the no-later-join bit
    ASSERT_EQ(Decode(bytes), 0);
    EXPECT_TRUE(chunk_.flags & kChunkNoLaterJoin);
    EXPECT_EQ(chunk_.header.edLinkCount, 1);
    EXPECT_EQ(chunk_.nodes[1]->NameLength(), 15u);
    EXPECT_EQ(chunk_.nodes[1]->Name()[14], 0x21);
    EXPECT_EQ(chunk_.nodes[1]->UseCount(), 1u);
    const MapLink& dead = chunk_.links[1];
    EXPECT_EQ(dead.linkId, kDeadLinkId);
    EXPECT_EQ(dead.fromNode, nullptr);
    EXPECT_EQ(chunk_.nodes[2]->Slots()[0], nullptr);
}

// A detailed chunk whose links reach two nodes of the overview chunk of its place.
payload::Chunk DetailedChunk() {
    payload::Chunk chunk;
    chunk.nodes.push_back({{}, 2, P(45.01f, -100.01f)});
    chunk.scLinks.push_back(Link(0, 1, 0, payload::kRefOverview | 1, 20, 0));
    chunk.sideNodes[0].push_back(P(45.02f, -100.0f));
    chunk.edLinks.push_back(Link(2, 0, payload::kRefOverview | 0, 1, 21, 0));
    chunk.edLinks[0].body.linkId = 21;
    return chunk;
}

payload::Chunk OverviewChunk() {
    payload::Chunk chunk;
    chunk.nodes.push_back({{}, 3, P(45.0f, -100.0f)});
    chunk.nodes.push_back({{}, 2, P(45.1f, -100.0f)});
    chunk.scLinks.push_back(Link(0, 0, 0, 1, 30, 0));
    return chunk;
}

TEST_F(ChunkDecoderTest, OverviewEndsHookIntoTheLoadedOverviewChunk) {
    context_.overview = &overview_;
    ChunkDecodeContext overviewContext;
    ASSERT_EQ(DecodePayload(Encode(OverviewChunk()), overview_, overviewContext), 0);
    ASSERT_EQ(Decode(Encode(DetailedChunk())), 0);
    EXPECT_EQ(chunk_.externalRefs, 2u);

    const MapLink& sc = chunk_.links[0];
    EXPECT_EQ(sc.toNode, overview_.nodes[1]);
    EXPECT_EQ(sc.flags & kLinkToExternal, kLinkToExternal);
    EXPECT_EQ(overview_.nodes[1]->Slots()[1], &sc);
    const MapLink& ed = chunk_.levels[0]->links[0];
    EXPECT_EQ(ed.fromNode, overview_.nodes[0]);
    EXPECT_EQ(ed.flags, kLinkEd | kLinkFromExternal | payload::SlotByte(2, 0));
    EXPECT_EQ(overview_.nodes[0]->Slots()[2], &ed);
    EXPECT_EQ(ed.linkId, 21);

    // Freeing the detailed chunk takes its links out of the overview nodes.
    chunk_.FreeStorage();
    EXPECT_EQ(overview_.nodes[1]->Slots()[1], nullptr);
    EXPECT_EQ(overview_.nodes[0]->Slots()[2], nullptr);
    EXPECT_EQ(overview_.nodes[0]->UseCount(), 1u);
}

TEST_F(ChunkDecoderTest, OverviewEndsOfAnUnloadedCellAreDeadOrHangOnOneProxy) {
    context_.overview = &overview_;  // an empty record: not loaded
    context_.overviewSlot = 17;
    payload::Chunk chunk = DetailedChunk();
    chunk.sideNodes[0].push_back(P(45.02f, -100.005f));
    chunk.edLinks.push_back(Link(5, 0, payload::kRefOverview | 1, 2, 22, 0));
    chunk.nodes[0].countByte = 1;
    ASSERT_EQ(Decode(Encode(chunk)), 0);
    EXPECT_EQ(chunk_.externalRefs, 3u);
    EXPECT_EQ(chunk_.links[0].linkId, kDeadLinkId);
    EXPECT_EQ(chunk_.links[0].fromNode, nullptr);

    const MapLink& first = chunk_.levels[0]->links[0];
    const MapLink& second = chunk_.levels[0]->links[1];
    EXPECT_EQ(first.linkId, kDeadLinkId);
    EXPECT_EQ(second.linkId, kDeadLinkId);
    ASSERT_NE(first.fromNode, nullptr);
    EXPECT_EQ(first.fromNode->position.latitude, ProxyNode::kLatitude);
    EXPECT_EQ(first.fromNode, second.fromNode);  // one proxy serves the cell
    EXPECT_TRUE(overview_.flags & kChunkHasProxies);
    ASSERT_NE(overview_.proxies, nullptr);
    EXPECT_EQ(overview_.proxies->key, 17u);
    EXPECT_EQ(overview_.proxies->next, nullptr);
    EXPECT_EQ(first.fromNode->Slots()[5], &second);
    EXPECT_EQ(first.fromNode->UseCount(), 2u);
}

TEST_F(ChunkDecoderTest, TruncatedChunksFailAtEveryLength) {
    const std::vector<uint8_t> bytes = Encode(SampleChunk());
    for (int keep : {0, 2}) {
        context_.keepAuxPoints = static_cast<DWORD>(keep);
        for (size_t length = 0; length < bytes.size(); ++length) {
            std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + length);
            EXPECT_EQ(Decode(cut), 4) << "length " << length;
            EXPECT_FALSE(chunk_.IsLoaded());
            chunk_.FreeStorage();
            ASSERT_EQ(mapdb::LiveBlocks(), baseline_) << "length " << length;
        }
    }
    // The sections with their own reports showed them.
    bool node = false, edge = false, ed = false;
    for (const platform::ShownMessageBox& box : platform::ShownMessageBoxes()) {
        EXPECT_EQ(box.caption, u"ERROR");
        EXPECT_EQ(box.type & MB_ICONMASK, static_cast<UINT>(MB_ICONSTOP));
        node |= box.text.rfind(u"Error reading map node ", 0) == 0;
        edge |= box.text == u"Error reading map edge node 0\n";
        ed |= box.text == u"Error 4 reading ed map link 0\n";
    }
    EXPECT_TRUE(node && edge && ed);
}

TEST_F(ChunkDecoderTest, CorruptChunksFailCleanly) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    auto add = [&](const char* what, payload::Chunk chunk) {
        cases.push_back({what, Encode(std::move(chunk))});
    };
    {
        payload::Chunk c = SampleChunk();
        c.scLinks[0].toRef = 4;  // only four nodes
        add("sc reference past the nodes", c);
    }
    {
        payload::Chunk c = SampleChunk();
        c.scLinks[1].slots = payload::SlotByte(1, 9);  // n2 has one slot
        add("sc slot past the node's slots", c);
    }
    {
        payload::Chunk c = SampleChunk();
        c.edLinks[0].toRef = 9;
        add("ed reference past the border nodes", c);
    }
    {
        payload::Chunk c = SampleChunk();
        c.edLinks[0].slots = payload::SlotByte(3, 0);
        add("ed slot past the node's slots", c);
    }
    {
        payload::Chunk c = SampleChunk();
        c.edLinks[0].fromRef |= payload::kRefShared;  // no room for a shared entry
        add("shared link on a side without shared entries", c);
    }
    std::vector<uint8_t> tight = Encode(SampleChunk());
    formats::StoreU16(tight.data() + payload::kSlotWordsOffset, 0);
    formats::StoreU16(tight.data() + payload::kExtraBytesOffset, 0);
    tight[payload::kHeaderSize + 6 * 8 + 3] = 15;  // node 0's count byte: 15 slots
    cases.push_back({"nodes larger than the block", tight});
    std::vector<uint8_t> longName = Encode(SampleChunk());
    longName[payload::kHeaderSize + 6 * 8] = 16;  // the first node's name length
    cases.push_back({"name longer than 15", longName});
    std::vector<uint8_t> noLinks = Encode(SampleChunk());
    formats::StoreU16(noLinks.data() + payload::kSidesOffset + 4 + 2, 0);  // side 1 links
    cases.push_back({"ed link with no place on its side", noLinks});
    std::vector<uint8_t> huge = Encode(SampleChunk());
    formats::StoreU16(huge.data() + payload::kNodeCountOffset, 0xFFFF);
    formats::StoreU16(huge.data() + payload::kEdLinkCountOffset, 0x7FFF);
    cases.push_back({"counts far beyond the data", huge});

    context_.keepAuxPoints = 2;
    for (const Case& c : cases) {
        EXPECT_EQ(Decode(c.bytes), 4) << c.what;
        EXPECT_FALSE(chunk_.IsLoaded()) << c.what;
        chunk_.FreeStorage();
        ASSERT_EQ(mapdb::LiveBlocks(), baseline_) << c.what;
    }
}

TEST_F(ChunkDecoderTest, RunningOutOfMemoryAnywhereFailsWithTwoAndLeaksNothing) {
    context_.overview = &overview_;  // not loaded: the overview end gets a proxy
    payload::Chunk chunk;
    chunk.nodes.push_back({{}, 2, P(45.01f, -100.01f)});
    chunk.scLinks.push_back(Link(0, 1, 0, payload::kRefOverview | 1, 20, 0));
    chunk.sideNodes[0] = {P(45.02f, -100.0f), P(45.02f, -100.01f)};
    chunk.sideNodes[1] = {P(45.0f, -99.99f)};
    payload::LinkRecord plain = Link(2, 0, payload::kRefOverview | 0, 1, 21, 1);
    plain.inlinePoints = {P(45.015f, -100.0f)};
    chunk.edLinks.push_back(plain);
    // Shared between side 0's second border node and side 1's: a counted link.
    payload::LinkRecord shared = Link(0, 0, payload::kRefShared | 2, 3, 23, 1);
    shared.inlinePoints = {P(45.015f, -99.995f)};
    chunk.edLinks.push_back(shared);
    std::vector<uint8_t> bytes = Encode(chunk);
    formats::StoreU16(bytes.data() + payload::kSidesOffset + 2, 1);      // side 0: 1 link
    formats::StoreU16(bytes.data() + payload::kSidesOffset + 4 + 2, 0);  // side 1: shared only
    context_.keepAuxPoints = 2;
    int result = 2;
    long failAt = 1;
    for (; result == 2 && failAt < 40; ++failAt) {
        mapdb::FailAllocationAfter(failAt);
        result = Decode(bytes);
        mapdb::FailAllocationAfter(0);
        if (result == 2) {
            EXPECT_FALSE(chunk_.IsLoaded());
        }
        chunk_.FreeStorage();
        overview_.FreeProxyNodes();
        ASSERT_EQ(mapdb::LiveBlocks(), baseline_) << "failing allocation " << failAt;
    }
    EXPECT_EQ(result, 0);
    EXPECT_GT(failAt, 8);  // every allocation of the decode was made to fail once
}

TEST_F(ChunkDecoderTest, SharedLinksGetOneCountedCopyWithChainedEntries) {
    payload::Chunk chunk;
    chunk.nodes.push_back({{}, 1, P(45.01f, -100.01f)});
    chunk.sideNodes[0] = {P(45.02f, -100.0f), P(45.02f, -100.01f)};
    chunk.sideNodes[1] = {P(45.0f, -99.99f)};
    chunk.edLinks.push_back(Link(0, 0, 0, 1, 40, 0));  // plain: node 0 to side 0's first
    // Shared: side 0's second border node (index 2) to side 1's (index 3), 1 point.
    payload::LinkRecord shared = Link(0, 0, payload::kRefShared | 2, 3, 41, 1);
    shared.inlinePoints = {P(45.015f, -99.995f)};
    chunk.edLinks.push_back(shared);
    std::vector<uint8_t> bytes = Encode(chunk);
    formats::StoreU16(bytes.data() + payload::kSidesOffset + 2, 1);      // side 0: 1 link
    formats::StoreU16(bytes.data() + payload::kSidesOffset + 4 + 2, 0);  // side 1: none
    ASSERT_EQ(Decode(bytes), 0);

    ChunkLevel* north = chunk_.levels[0];
    ChunkLevel* east = chunk_.levels[1];
    ASSERT_EQ(north->sharedCount, 1);
    ASSERT_EQ(east->sharedCount, 1);
    SharedLinkEntry& a = north->shared[0];
    SharedLinkEntry& b = east->shared[0];
    EXPECT_EQ(a.link, b.link);
    EXPECT_EQ(a.link->refCount, 2u);
    EXPECT_EQ(a.link->link.flags & (kLinkCounted | kLinkEd), kLinkCounted | kLinkEd);
    EXPECT_EQ(a.link->link.linkId, 41);
    EXPECT_EQ(a.key, 1u | SharedLinkEntry::kReportMark);  // from-end on side 0: marked
    EXPECT_EQ(b.key, 0u);                                 // to-end on side 1: not
    EXPECT_EQ(a.next, &b);
    EXPECT_EQ(b.prev, &a);
    EXPECT_EQ(north->nodes[1].Slots()[0], &a.link->link);
    EXPECT_EQ(a.link->link.GetShapePointCount(), 1u);
}

}  // namespace
