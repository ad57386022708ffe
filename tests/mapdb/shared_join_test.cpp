// Joining neighbours whose common border is crossed by a shared (counted) link: a
// hand-made detailed grid of three cells A | B | C with one road from an interior
// node of A, across the whole of B, to an interior node of C.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/little_endian.h"
#include "formats/map_container.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/paths.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;
namespace payload = formats::chunk_payload;

constexpr float kCell = 0.01f;

payload::Position P(float lat, float lon) {
    payload::Position p;
    p.latitude = lat;
    p.longitude = lon;
    return p;
}

payload::LinkRecord Link(uint16_t from, uint16_t to, int32_t id,
                         std::vector<payload::Position> points) {
    payload::LinkRecord link;
    link.fromRef = from;
    link.toRef = to;
    link.body.linkId = id;
    link.body.attributes = 0x40;
    link.body.shapeInfo = static_cast<uint16_t>(points.size());
    link.inlinePoints = std::move(points);
    return link;
}

std::vector<uint8_t> Encode(payload::Chunk chunk) {
    payload::ChunkHeader& h = chunk.header;
    h.nodeCount = static_cast<uint16_t>(chunk.nodes.size());
    h.edLinkCount = static_cast<uint16_t>(chunk.edLinks.size());
    h.slotWords = 0;
    for (const payload::NodeRecord& node : chunk.nodes)
        h.slotWords = static_cast<uint16_t>(h.slotWords + node.SlotCount());
    for (int side = 0; side < payload::kSideCount; ++side) {
        // Every border node here carries a shared entry: no plain side links.
        h.sides[side].levelNodes = static_cast<uint16_t>(chunk.sideNodes[side].size());
        h.sides[side].levelLinks = 0;
    }
    return payload::EncodeChunk(chunk);
}

// Writes a container of `columns` x 1 cells whose blocks are the given payloads (an
// empty payload leaves its cell empty).
void WriteContainer(const fs::path& file, float cellWidth, int32_t columns,
                    const std::vector<std::vector<uint8_t>>& payloads) {
    container::GridHeader head;
    std::memcpy(head.magic, container::kMagic, 4);
    head.originLongitude = -100.0f;
    head.originLatitude = 45.0f;
    head.columns = columns;
    head.rows = 1;
    head.cellWidth = cellWidth;
    head.cellHeight = kCell;
    std::vector<uint8_t> bytes(container::kHeaderSize + 4 * columns);
    container::EncodeHeader(head, bytes.data());
    for (int32_t i = 0; i < columns; ++i) {
        if (i >= static_cast<int32_t>(payloads.size()) || payloads[i].empty())
            continue;
        formats::StoreU32(bytes.data() + container::CellEntryOffset(i),
                          static_cast<uint32_t>(bytes.size()));
        const std::vector<uint8_t> block = mapdb_test::MakeBlock(payloads[i]);
        bytes.insert(bytes.end(), block.begin(), block.end());
    }
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

class SharedJoinTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        const fs::path maps = roots_.base() / "Maps";
        fs::create_directories(maps);
        const float lat = 45.005f;
        // A: interior node a0, the road leaves it to the east border (shared, 1 point).
        payload::Chunk a;
        a.nodes.push_back({{}, 1, P(lat, -99.995f)});
        a.sideNodes[1] = {P(lat, -99.99f)};
        a.edLinks.push_back(Link(payload::kRefShared | 0, 1, 77, {P(lat, -99.992f)}));
        // B: no interior node; the road crosses from the west border to the east one,
        // with three shape points.
        payload::Chunk b;
        b.sideNodes[1] = {P(lat, -99.98f)};
        b.sideNodes[3] = {P(lat, -99.99f)};
        b.edLinks.push_back(Link(payload::kRefShared | 1, 0, 77,
                                 {P(lat, -99.988f), P(lat, -99.985f), P(lat, -99.982f)}));
        // C: from the west border to interior node c0.
        payload::Chunk c;
        c.nodes.push_back({{}, 1, P(lat, -99.975f)});
        c.sideNodes[3] = {P(lat, -99.98f)};
        c.edLinks.push_back(Link(payload::kRefShared | 1, 0, 77, {P(lat, -99.978f)}));
        WriteContainer(maps / "mapdata2.biz", kCell, 3, {Encode(a), Encode(b), Encode(c)});
        WriteContainer(maps / "mapdata1.biz", 3 * kCell, 1, {});
        const std::u16string text = platform::HostPathText(maps) + u"/";
        std::copy(text.begin(), text.end(), g_dataFolder);
        g_dataFolder[text.size()] = 0;
        baseline_ = mapdb_test::StreamReadyBaseline();
    }
    void TearDown() override { g_dataFolder[0] = 0; }

    long baseline_ = 0;
};

TEST_F(SharedJoinTest, TheRoadBecomesOneCountedLinkInEitherLoadOrder) {
    for (bool reverse : {false, true}) {
        SCOPED_TRACE(reverse ? "C, B, A" : "A, B, C");
        {
            CMapDatabase db;
            ASSERT_EQ(db.Open(), 0);
            MapLayer& layer = db.layers[3];
            layer.windowX0 = layer.windowY0 = 0;
            layer.windowX1 = layer.windowY1 = 50;
            for (int i = 0; i < 3; ++i)
                ASSERT_EQ(db.GetChunk(3, reverse ? 2 - i : i, 0), 0);
            MapChunk* a = layer.GetChunkRecord(0, 0);
            MapChunk* b = layer.GetChunkRecord(1, 0);
            MapChunk* c = layer.GetChunkRecord(2, 0);
            ASSERT_TRUE(a->IsLoaded() && b->IsLoaded() && c->IsLoaded());
            // One side record per border, held by both of its cells.
            ASSERT_EQ(a->levels[1], b->levels[3]);
            ASSERT_EQ(b->levels[1], c->levels[3]);
            ChunkLevel* west = a->levels[1];
            ChunkLevel* east = b->levels[1];
            ASSERT_EQ(west->sharedCount, 1);
            ASSERT_EQ(east->sharedCount, 1);
            EXPECT_EQ(west->nodes, nullptr);
            EXPECT_EQ(east->nodes, nullptr);
            // Both entries hold the one counted link, chained west to east.
            SharedLinkEntry& first = west->shared[0];
            SharedLinkEntry& second = east->shared[0];
            ASSERT_EQ(first.link, second.link);
            EXPECT_EQ(first.link->refCount, 2u);
            EXPECT_EQ(first.prev, nullptr);
            EXPECT_EQ(first.next, &second);
            EXPECT_EQ(second.prev, &first);
            EXPECT_EQ(second.next, nullptr);
            // The road runs from a0 to c0 and hangs in both nodes' slots; it kept the
            // most shape points of its three pieces.
            MapLink& road = first.link->link;
            EXPECT_EQ(road.linkId, 77);
            EXPECT_EQ(road.fromNode, a->nodes[0]);
            EXPECT_EQ(road.toNode, c->nodes[0]);
            EXPECT_EQ(a->nodes[0]->Slots()[0], &road);
            EXPECT_EQ(c->nodes[0]->Slots()[0], &road);
            ASSERT_EQ(road.GetShapePointCount(), 3u);
            EXPECT_FLOAT_EQ(road.shapePoints[1].longitude, -99.985f);
        }
        InflateArena::Init(InflateArena::kInitialBlockSize);
        EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
    }
}

}  // namespace
