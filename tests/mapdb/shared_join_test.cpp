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

constexpr float kCell = mapdb_test::kRoadCell;

class SharedJoinTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        const fs::path maps = roots_.base() / "Maps";
        fs::create_directories(maps);
        // B's part of the road has three shape points.
        const float lat = mapdb_test::kRoadLatitude;
        mapdb_test::WriteRowContainer(
            maps / "mapdata2.biz", kCell, kCell, 3,
            mapdb_test::ThreeCellRoad({mapdb_test::Pos(lat, mapdb_test::RoadLongitude(1.2f)),
                                       mapdb_test::Pos(lat, mapdb_test::RoadLongitude(1.5f)),
                                       mapdb_test::Pos(lat, mapdb_test::RoadLongitude(1.8f))}));
        mapdb_test::WriteRowContainer(maps / "mapdata1.biz", 4 * kCell, kCell, 1, {});
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
            EXPECT_FLOAT_EQ(road.shapePoints[1].longitude, mapdb_test::RoadLongitude(1.5f));
        }
        InflateArena::Init(InflateArena::kInitialBlockSize);
        EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
    }
}

}  // namespace
