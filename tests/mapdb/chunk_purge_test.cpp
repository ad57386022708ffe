// Purging chunks out of the cache on device files of the built-in town: the sides
// a loaded neighbour holds get fresh border nodes, the others go, and nothing is
// left behind.
#include "pathlume/mapdb/chunk_purge.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/msgbox.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"

namespace {

namespace payload = formats::chunk_payload;
using mapdb_test::CellsWithChunks;
using mapdb_test::ExpectWalkReturnsEachLinkOnce;
using mapdb_test::SetWindow;
using Cell = std::pair<int32_t, int32_t>;

constexpr int kRoute = 3;

bool IsZero(const MapChunk& record) {
    MapChunk zero;
    std::memset(static_cast<void*>(&zero), 0, sizeof(zero));
    return std::memcmp(static_cast<const void*>(&record), &zero, sizeof(zero)) == 0;
}

class ChunkPurgeTest : public mapdb_test::GridMapsTest {
  protected:
    // The database with the overview loaded and the detailed layers' windows over
    // the grid's corner.
    void Open(CMapDatabase& db) {
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
        mapdb_test::LoadOverview(db);
        for (int k : {3, 4}) {
            MapLayer& layer = db.layers[k];
            SetWindow(layer, 0, 0, std::min(layer.header.columns, 51),
                      std::min(layer.header.rows, 51));
        }
    }

    // Two cells side by side (side `side` of the first faces the second) that each
    // hold a chunk with a border between them, found among all cells.
    static std::pair<Cell, Cell> FindPair(CMapDatabase& db, int side) {
        const std::vector<Cell> cells = CellsWithChunks(db, kRoute);
        for (const Cell& a : cells) {
            const Cell b{a.first + payload::kSideColumnStep[side],
                         a.second + payload::kSideRowStep[side]};
            if (std::find(cells.begin(), cells.end(), b) == cells.end())
                continue;
            MapLayer& layer = db.layers[kRoute];
            MapChunk* record = layer.GetChunkRecord(a.first, a.second);
            if (db.GetChunk(kRoute, a.first, a.second) != 0)
                continue;
            const bool crossing = record->levels[side] && record->levels[side]->linkCount > 0;
            MapChunk::RebuildLevels(layer, a.first, a.second, false);
            if (crossing)
                return {a, b};
        }
        return {{-1, -1}, {-1, -1}};
    }
};

// Which end of each link of a joined side lies in cell `purged`, and where.
struct Crossing {
    MapLink* link;
    bool fromEnd;
    MapPoint position;
    MapNode* keptEnd;
};

std::vector<Crossing> Crossings(ChunkLevel* side, const MapChunk* purged) {
    std::vector<Crossing> crossings;
    for (uint32_t j = 0; j < side->linkCount; ++j) {
        MapLink* link = &side->links[j];
        if (link->IsDead())
            continue;
        const bool fromEnd = purged->GetNodeIndex(link->fromNode) >= 0;
        if (!fromEnd && purged->GetNodeIndex(link->toNode) < 0)
            continue;  // runs between two overview nodes
        MapNode* end = fromEnd ? link->fromNode : link->toNode;
        crossings.push_back(
            {link, fromEnd, end->position, fromEnd ? link->toNode : link->fromNode});
    }
    return crossings;
}

TEST_F(ChunkPurgeTest, PurgingOneOfTwoJoinedCellsLeavesTheOtherOnFreshBorderNodes) {
    for (int side :
         {payload::kSideNorth, payload::kSideEast, payload::kSideSouth, payload::kSideWest}) {
        for (bool purgeFirst : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "side " << side << (purgeFirst ? " first" : " second"));
            {
                CMapDatabase db;
                Open(db);
                const auto [a, b] = FindPair(db, side);
                ASSERT_GE(a.first, 0) << "no pair across side " << side;
                MapLayer& layer = db.layers[kRoute];
                ASSERT_EQ(db.GetChunk(kRoute, a.first, a.second), 0);
                ASSERT_EQ(db.GetChunk(kRoute, b.first, b.second), 0);
                MapChunk* first = layer.GetChunkRecord(a.first, a.second);
                MapChunk* second = layer.GetChunkRecord(b.first, b.second);
                ChunkLevel* border = first->levels[side];
                ASSERT_EQ(second->levels[payload::OppositeSide(side)], border);
                ASSERT_EQ(border->nodes, nullptr);  // joined: no border nodes

                const Cell gone = purgeFirst ? a : b;
                MapChunk* purged = purgeFirst ? first : second;
                MapChunk* kept = purgeFirst ? second : first;
                const std::vector<Crossing> crossings = Crossings(border, purged);
                ASSERT_FALSE(crossings.empty());
                const int32_t loaded = layer.loadedCount;

                MapChunk::RebuildLevels(layer, gone.first, gone.second, false);
                EXPECT_TRUE(IsZero(*purged));
                EXPECT_EQ(layer.loadedCount, loaded - 1);
                ASSERT_EQ(kept->levels[purgeFirst ? payload::OppositeSide(side) : side], border);
                ASSERT_NE(border->nodes, nullptr);
                EXPECT_EQ(LevelArrayCount(border->nodes), border->nodeCount);
                for (const Crossing& c : crossings) {
                    MapNode* end = c.fromEnd ? c.link->fromNode : c.link->toNode;
                    ASSERT_GE(end, border->nodes);
                    ASSERT_LT(end, border->nodes + border->nodeCount);
                    EXPECT_EQ(end->position.latitude, c.position.latitude);
                    EXPECT_EQ(end->position.longitude, c.position.longitude);
                    EXPECT_EQ(end->slotCount, MapNode::kSingleSlot);
                    EXPECT_EQ(end->UseCount(), 1u);
                    EXPECT_EQ(end->Slots()[0], c.link);
                    EXPECT_EQ(end->searchState, nullptr);
                    // The survivor's end is untouched.
                    EXPECT_EQ(c.fromEnd ? c.link->toNode : c.link->fromNode, c.keptEnd);
                    EXPECT_EQ(c.link->flags & (c.fromEnd ? kLinkFromExternal : kLinkToExternal), 0);
                }
                ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);

                // Loading the cell again joins the two once more.
                ASSERT_EQ(db.GetChunk(kRoute, gone.first, gone.second), 0);
                EXPECT_EQ(first->levels[side], second->levels[payload::OppositeSide(side)]);
                ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);
            }
            ExpectNothingLeaked();
        }
    }
}

TEST_F(ChunkPurgeTest, ALoneCellGoesWholeAndLeavesNoLinkIntoIt) {
    CMapDatabase db;
    Open(db);
    MapLayer& layer = db.layers[4];
    const long before = mapdb::LiveBlocks();
    int purged = 0;
    for (const Cell& cell : CellsWithChunks(db, 4)) {
        ASSERT_EQ(db.GetChunk(4, cell.first, cell.second), 0);
        MapChunk* record = layer.GetChunkRecord(cell.first, cell.second);
        EXPECT_EQ(db.refTotal[0], static_cast<int32_t>(record->externalRefs));
        EXPECT_EQ(db.linkTotal[0], record->header.scLinkCount + (record->EdLinkCount() >> 1));
        MapChunk::RebuildLevels(layer, cell.first, cell.second, false);
        EXPECT_TRUE(IsZero(*record));
        EXPECT_EQ(layer.loadedCount, 0);
        EXPECT_EQ(db.refTotal[0], 0);
        EXPECT_EQ(db.linkTotal[0], 0);
        // Overview nodes keep no link of the purged cell.
        for (int32_t y = 0; y < db.layers[0].windowH; ++y) {
            for (int32_t x = 0; x < db.layers[0].windowW; ++x) {
                const MapChunk* overview = db.layers[0].GetChunkRecord(x, y);
                for (uint32_t i = 0;
                     overview && overview->IsLoaded() && i < overview->header.nodeCount; ++i) {
                    const MapNode* node = overview->nodes[i];
                    for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
                        const MapLink* link = node->Slots()[s];
                        EXPECT_TRUE(!link ||
                                    (link->flags & (kLinkFromExternal | kLinkToExternal)) == 0)
                            << "a detailed link left on an overview node";
                    }
                }
            }
        }
        ++purged;
    }
    EXPECT_GT(purged, 0);
    EXPECT_EQ(mapdb::LiveBlocks(), before);
}

TEST_F(ChunkPurgeTest, NeighboursHeldElsewhereOrRefusingJoinsAreHandled) {
    {
        // The neighbour is loaded in another layer whose window covers it: it counts
        // as loaded and keeps the border.
        CMapDatabase db;
        Open(db);
        const auto [a, b] = FindPair(db, payload::kSideEast);
        ASSERT_GE(a.first, 0);
        ASSERT_EQ(db.GetChunk(4, b.first, b.second), 0);
        ASSERT_EQ(db.GetChunk(kRoute, a.first, a.second), 0);
        MapChunk* first = db.layers[kRoute].GetChunkRecord(a.first, a.second);
        MapChunk* second = db.layers[4].GetChunkRecord(b.first, b.second);
        ChunkLevel* border = first->levels[payload::kSideEast];
        ASSERT_EQ(second->levels[payload::kSideWest], border);
        MapChunk::RebuildLevels(db.layers[kRoute], a.first, a.second, false);
        ASSERT_EQ(second->levels[payload::kSideWest], border);
        EXPECT_NE(border->nodes, nullptr);
        ExpectWalkReturnsEachLinkOnce(db, 4, 0, 0, 50, 50);
    }
    {
        // A neighbour that carries the no-later-join flag but holds the border (it was
        // joined when it loaded) keeps it: freeing it would leave the neighbour a
        // pointer to a freed side.
        CMapDatabase db;
        Open(db);
        const auto [a, b] = FindPair(db, payload::kSideEast);
        ASSERT_EQ(db.GetChunk(kRoute, a.first, a.second), 0);
        ASSERT_EQ(db.GetChunk(kRoute, b.first, b.second), 0);
        MapChunk* second = db.layers[kRoute].GetChunkRecord(b.first, b.second);
        ChunkLevel* border = second->levels[payload::kSideWest];
        second->flags |= kChunkNoLaterJoin;
        MapChunk::RebuildLevels(db.layers[kRoute], a.first, a.second, false);
        ASSERT_EQ(second->levels[payload::kSideWest], border);
        EXPECT_NE(border->nodes, nullptr);
        ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);

        // A neighbour that was never joined keeps its own side; the purged cell's
        // side goes with it.
        MapChunk* first = db.layers[kRoute].GetChunkRecord(a.first, a.second);
        ASSERT_EQ(db.GetChunk(kRoute, a.first, a.second), 0);
        ASSERT_NE(first->levels[payload::kSideEast], border);
        EXPECT_EQ(second->levels[payload::kSideWest], border);
        ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);
        MapChunk::RebuildLevels(db.layers[kRoute], a.first, a.second, false);
        EXPECT_EQ(second->levels[payload::kSideWest], border);
        ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);
    }
    ExpectNothingLeaked();
}

TEST_F(ChunkPurgeTest, AFailedAllocationLeavesTheSurvivorsCrossingsDeadNotDangling) {
    {
        CMapDatabase db;
        Open(db);
        const auto [a, b] = FindPair(db, payload::kSideEast);
        ASSERT_GE(a.first, 0);
        ASSERT_EQ(db.GetChunk(kRoute, a.first, a.second), 0);
        ASSERT_EQ(db.GetChunk(kRoute, b.first, b.second), 0);
        MapChunk* second = db.layers[kRoute].GetChunkRecord(b.first, b.second);
        ChunkLevel* border = second->levels[payload::kSideWest];
        const long before = mapdb::LiveBlocks();
        mapdb::FailAllocationAfter(1);  // the fresh border nodes
        MapChunk::RebuildLevels(db.layers[kRoute], a.first, a.second, false);
        mapdb::FailAllocationAfter(0);
        EXPECT_LT(mapdb::LiveBlocks(), before);
        ASSERT_EQ(second->levels[payload::kSideWest], border);
        EXPECT_EQ(border->nodes, nullptr);
        for (uint32_t j = 0; j < border->linkCount; ++j) {
            const MapLink& link = border->links[j];
            EXPECT_TRUE(link.IsDead());
            EXPECT_EQ(link.fromNode, nullptr);
            EXPECT_EQ(link.toNode, nullptr);
        }
        // The survivor's nodes hold no link of that side, and walks go on.
        for (uint32_t i = 0; i < second->header.nodeCount; ++i) {
            const MapNode* node = second->nodes[i];
            for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
                const MapLink* link = node->Slots()[s];
                EXPECT_FALSE(link >= border->links && link < border->links + border->linkCount);
            }
        }
        ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);
        // The cell loads again beside it (the dead side does not join) and both go.
        ASSERT_EQ(db.GetChunk(kRoute, a.first, a.second), 0);
        ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);
        MapChunk::RebuildLevels(db.layers[kRoute], b.first, b.second, false);
        MapChunk::RebuildLevels(db.layers[kRoute], a.first, a.second, false);
        EXPECT_EQ(db.layers[kRoute].loadedCount, 0);
    }
    ExpectNothingLeaked();
}

TEST_F(ChunkPurgeTest, CountsTotalsAndNoOps) {
    CMapDatabase db;
    Open(db);
    MapLayer& layer = db.layers[4];
    Cell cell{-1, -1};
    for (const Cell& c : CellsWithChunks(db, 4)) {
        ASSERT_EQ(db.GetChunk(4, c.first, c.second), 0);
        if (layer.GetChunkRecord(c.first, c.second)->externalRefs > 0) {
            cell = c;
            break;
        }
        MapChunk::RebuildLevels(layer, c.first, c.second, false);
    }
    ASSERT_GE(cell.first, 0) << "no detailed chunk reaches the overview";
    MapChunk* record = layer.GetChunkRecord(cell.first, cell.second);
    const int32_t refs = static_cast<int32_t>(record->externalRefs);

    // Not loaded, outside the cache, not forced: nothing happens.
    MapChunk::RebuildLevels(layer, cell.first + 1, cell.second + 1, false);
    MapChunk::RebuildLevels(layer, 10000, 0, false);
    MapChunk::RebuildLevels(db.layers[0], -1, 0, true);
    EXPECT_EQ(layer.loadedCount, 1);
    EXPECT_TRUE(record->IsLoaded());
    // Forced on a record that is not loaded: the count of loaded chunks stays.
    MapChunk::RebuildLevels(layer, cell.first + 2, cell.second, true);
    EXPECT_EQ(layer.loadedCount, 1);

    // The reference total does not go below 0.
    db.refTotal[0] = refs - 1;
    MapChunk::RebuildLevels(layer, cell.first, cell.second, false);
    EXPECT_EQ(db.refTotal[0], 0);
    EXPECT_EQ(db.linkTotal[0], 0);
    EXPECT_EQ(layer.loadedCount, 0);

    // Layer 0: the last purge in a 16 x 16 page frees the page.
    MapLayer& overview = db.layers[0];
    int freedPages = 0;
    for (int32_t y = 0; y < overview.windowH; ++y) {
        for (int32_t x = 0; x < overview.windowW; ++x) {
            const int32_t page = (x >> 4) + ((overview.cacheW >> 4) + 1) * (y >> 4);
            if (!overview.directory[page])
                continue;  // freed with an earlier cell of its page
            MapChunk::RebuildLevels(overview, x, y, false);
            freedPages += overview.directory[page] == nullptr;
        }
    }
    EXPECT_GT(freedPages, 0);
    EXPECT_EQ(overview.loadedCount, 0);
}

TEST_F(ChunkPurgeTest, AnOverviewPageKeepsThePlaceholdersDetailedLinksHangOn) {
    {
        CMapDatabase db;
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& route = db.layers[kRoute];
        SetWindow(route, 0, 0, std::min(route.header.columns, 51), std::min(route.header.rows, 51));
        MapLayer& overview = db.layers[0];
        // A detailed cell that reaches its overview cell while that one is not loaded:
        // its overview ends hang on placeholders of the overview record.
        Cell detailed{-1, -1};
        int32_t ox = 0, oy = 0, page = 0, inPage = 0;
        for (const Cell& cell : CellsWithChunks(db, kRoute)) {
            ASSERT_EQ(db.GetChunk(kRoute, cell.first, cell.second), 0);
            db.GetOverviewCell(kRoute, cell.first, cell.second, &ox, &oy, &page, &inPage);
            const MapChunk* record = overview.GetChunkRecord(ox, oy);
            if (record && record->proxies) {
                detailed = cell;
                break;
            }
            MapChunk::RebuildLevels(route, cell.first, cell.second, false);
        }
        ASSERT_GE(detailed.first, 0) << "no detailed link reaches the overview";
        MapChunk* holder = overview.GetChunkRecord(ox, oy);
        ProxyNode* proxies = holder->proxies;
        // Another overview cell of the same page is loaded and purged again.
        Cell other{-1, -1};
        for (int32_t y = oy & ~15;
             y < std::min(overview.windowH, (oy & ~15) + 16) && other.first < 0; ++y) {
            for (int32_t x = ox & ~15; x < std::min(overview.windowW, (ox & ~15) + 16); ++x) {
                if (x == ox && y == oy)
                    continue;
                ASSERT_EQ(db.GetChunk(0, x, y), 0);
                if (overview.GetChunkRecord(x, y)->IsLoaded()) {
                    other = {x, y};
                    break;
                }
            }
        }
        ASSERT_GE(other.first, 0) << "the overview page has one chunk only";
        MapChunk::RebuildLevels(overview, other.first, other.second, false);
        ASSERT_NE(overview.directory[page], nullptr);
        EXPECT_EQ(overview.GetChunkRecord(ox, oy), holder);
        EXPECT_EQ(holder->proxies, proxies);
        ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);
        MapChunk::RebuildLevels(route, detailed.first, detailed.second, false);
    }
    ExpectNothingLeaked();
}

TEST_F(ChunkPurgeTest, PurgingAnOverviewChunkLeavesTheDetailedLinksOnItDead) {
    {
        CMapDatabase db;
        Open(db);
        MapLayer& route = db.layers[kRoute];
        MapLayer& overview = db.layers[0];
        bool purgedUnderLinks = false;
        for (const Cell& cell : CellsWithChunks(db, kRoute)) {
            ASSERT_EQ(db.GetChunk(kRoute, cell.first, cell.second), 0);
            MapChunk* detailed = route.GetChunkRecord(cell.first, cell.second);
            int32_t ox, oy, page, inPage;
            db.GetOverviewCell(kRoute, cell.first, cell.second, &ox, &oy, &page, &inPage);
            MapChunk* covering = overview.GetChunkRecord(ox, oy);
            ASSERT_TRUE(covering && covering->IsLoaded());
            const std::set<const MapNode*> overviewNodes(
                covering->nodes, covering->nodes + covering->header.nodeCount);
            std::vector<MapLink*> reaching;
            for (uint32_t i = 0; i < detailed->header.scLinkCount; ++i) {
                MapLink& link = detailed->links[i];
                if (!link.IsDead() &&
                    (overviewNodes.count(link.fromNode) || overviewNodes.count(link.toNode)))
                    reaching.push_back(&link);
            }
            if (reaching.empty()) {
                MapChunk::RebuildLevels(route, cell.first, cell.second, false);
                continue;
            }
            MapChunk::RebuildLevels(overview, ox, oy, false);
            purgedUnderLinks = true;
            for (MapLink* link : reaching) {
                EXPECT_TRUE(link->IsDead());
                EXPECT_EQ(link->fromNode, nullptr);
                EXPECT_EQ(link->toNode, nullptr);
            }
            // Nothing live of the detailed cell ends in the purged chunk.
            for (uint32_t i = 0; i < detailed->header.scLinkCount; ++i) {
                const MapLink& link = detailed->links[i];
                EXPECT_FALSE(overviewNodes.count(link.fromNode) ||
                             overviewNodes.count(link.toNode));
            }
            ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, 50, 50);
            MapChunk::RebuildLevels(route, cell.first, cell.second, false);
            break;
        }
        EXPECT_TRUE(purgedUnderLinks) << "no detailed link reaches the overview";
        EXPECT_EQ(route.loadedCount, 0);
    }
    ExpectNothingLeaked();
}

// One chunk built by hand: a plain link from its node to side 0's first border node
// and a shared link crossing from side 0's second border node to side 1's.
std::vector<uint8_t> ChunkWithASharedLink() {
    payload::Chunk chunk;
    chunk.nodes.push_back({{}, 1, {45.01f, -100.01f}});
    chunk.sideNodes[0] = {{45.02f, -100.0f}, {45.02f, -100.01f}};
    chunk.sideNodes[1] = {{45.0f, -99.99f}};
    auto link = [](uint16_t from, uint16_t to, int32_t id) {
        payload::LinkRecord record;
        record.slots = payload::SlotByte(0, 0);
        record.fromRef = from;
        record.toRef = to;
        record.body.attributes = payload::ClassValue(4) | payload::kKindRoad;
        record.body.linkId = id;
        return record;
    };
    chunk.edLinks.push_back(link(0, 1, 40));
    payload::LinkRecord shared = link(payload::kRefShared | 2, 3, 41);
    shared.body.shapeInfo = 1;
    shared.inlinePoints = {{45.015f, -99.995f}};
    chunk.edLinks.push_back(shared);
    payload::ChunkHeader& h = chunk.header;
    h.nodeCount = 1;
    h.edLinkCount = 2;
    h.sides[0] = {2, 1};  // one plain link, one shared entry
    h.sides[1] = {1, 0};  // a shared entry only
    return payload::EncodeChunk(chunk);
}

TEST_F(ChunkPurgeTest, ASharedLinkIsWalkedOnceAndGoesWithItsCell) {
    CMapDatabase db;
    MapLayer& layer = db.layers[2];
    ASSERT_EQ(layer.SetupChunkDirectory(1, 1), 0);
    SetWindow(layer, 0, 0, 1, 1);
    const long before = mapdb::LiveBlocks();
    MapChunk* record = layer.GetChunkRecord(0, 0);
    ChunkDecodeContext context;
    ASSERT_EQ(mapdb_test::DecodePayload(ChunkWithASharedLink(), *record, context), 0);
    layer.loadedCount = 1;
    ASSERT_EQ(record->levels[0]->sharedCount, 1);
    CountedLink* counted = record->levels[0]->shared[0].link;
    ASSERT_EQ(counted, record->levels[1]->shared[0].link);
    ASSERT_EQ(counted->refCount, 2u);

    // Its two entries: the link is reported from one of them only.
    const mapdb_test::WalkResult walk = mapdb_test::WalkAndCheck(db, 2, 0, 0, 0, 0, 0x1C0);
    EXPECT_EQ(walk.duplicates, 0) << walk.Describe();
    EXPECT_EQ(walk.returned.size(), 2u) << walk.Describe();
    EXPECT_EQ(std::count(walk.returned.begin(), walk.returned.end(), &counted->link), 1);

    MapChunk::RebuildLevels(layer, 0, 0, false);
    EXPECT_TRUE(IsZero(*record));
    EXPECT_EQ(layer.loadedCount, 0);
    EXPECT_EQ(mapdb::LiveBlocks(), before);  // the counted link too
}

// Two cells side by side whose common border is crossed by a road that runs through
// both without a node: in each cell a shared link from the west or east border to
// the north border, written as container files.
void WriteSharedCrossingMaps(const std::filesystem::path& folder) {
    namespace container = formats::map_container;
    std::filesystem::create_directories(folder);
    auto link = [](uint16_t from, uint16_t to, int32_t id) {
        payload::LinkRecord record;
        record.slots = payload::SlotByte(0, 0);
        record.fromRef = from;
        record.toRef = to;
        record.body.attributes = payload::ClassValue(4) | payload::kKindRoad;
        record.body.linkId = id;
        return record;
    };
    // Own node 0 (no slots), then side 0's node, then side 1's (left) or 3's (right).
    payload::Chunk left;
    left.nodes.push_back({{}, 0, {45.005f, -99.998f}});
    left.sideNodes[0] = {{45.01f, -99.995f}};
    left.sideNodes[1] = {{45.005f, -99.99f}};
    left.edLinks.push_back(link(payload::kRefShared | 1, 2, 41));
    left.header.sides[0] = {1, 0};
    left.header.sides[1] = {1, 0};
    payload::Chunk right;
    right.nodes.push_back({{}, 0, {45.005f, -99.982f}});
    right.sideNodes[0] = {{45.01f, -99.985f}};
    right.sideNodes[3] = {{45.005f, -99.99f}};
    right.edLinks.push_back(link(payload::kRefShared | 2, 1, 42));
    right.header.sides[0] = {1, 0};
    right.header.sides[3] = {1, 0};
    std::vector<std::vector<uint8_t>> blocks;
    for (payload::Chunk* chunk : {&left, &right}) {
        chunk->header.nodeCount = 1;
        chunk->header.edLinkCount = 1;
        blocks.push_back(mapdb_test::MakeBlock(payload::EncodeChunk(*chunk)));
    }
    auto write = [&](const char* name, int32_t columns, float cell,
                     const std::vector<std::vector<uint8_t>>& cells) {
        container::GridHeader head;
        std::memcpy(head.magic, container::kMagic, container::kMagicSize);
        head.originLongitude = -100.0f;
        head.originLatitude = 45.0f;
        head.columns = columns;
        head.rows = 1;
        head.cellWidth = head.cellHeight = cell;
        std::vector<uint8_t> bytes(container::TableEnd(head));
        container::EncodeHeader(head, bytes.data());
        for (size_t i = 0; i < cells.size(); ++i) {
            formats::StoreU32(bytes.data() + container::CellEntryOffset(static_cast<uint32_t>(i)),
                              static_cast<uint32_t>(bytes.size()));
            bytes.insert(bytes.end(), cells[i].begin(), cells[i].end());
        }
        std::ofstream(folder / name, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    };
    write("mapdata1.biz", 1, 1.0f / 32, {});
    write("mapdata2.biz", 2, 1.0f / 64, blocks);
}

TEST_F(ChunkPurgeTest, PurgingOneOfTwoCellsJoinedByASharedCrossingKeepsTheOthersLink) {
    const std::filesystem::path folder = roots_.base() / "shared-crossing";
    WriteSharedCrossingMaps(folder);
    mapdb_test::SetDataFolder(folder);
    for (bool leftFirst : {true, false}) {
        for (bool purgeLeft : {true, false}) {
            SCOPED_TRACE(testing::Message() << (leftFirst ? "left loaded first" : "right first")
                                            << (purgeLeft ? ", left purged" : ", right purged"));
            {
                CMapDatabase db;
                ASSERT_EQ(db.Open(), 0);
                MapLayer& layer = db.layers[2];
                SetWindow(layer, 0, 0, 2, 1);
                for (int32_t x :
                     leftFirst ? std::vector<int32_t>{0, 1} : std::vector<int32_t>{1, 0})
                    ASSERT_EQ(db.GetChunk(2, x, 0), 0);
                MapChunk* left = layer.GetChunkRecord(0, 0);
                MapChunk* right = layer.GetChunkRecord(1, 0);
                ASSERT_TRUE(left->IsLoaded() && right->IsLoaded());
                ExpectWalkReturnsEachLinkOnce(db, 2, 0, 0, 1, 0);
                const bool joined =
                    left->levels[payload::kSideEast] == right->levels[payload::kSideWest];
                EXPECT_TRUE(joined);

                MapChunk::RebuildLevels(layer, purgeLeft ? 0 : 1, 0, false);
                MapChunk* kept = purgeLeft ? right : left;
                ASSERT_TRUE(kept->IsLoaded());
                // Whatever the survivor keeps ends at nodes that hold it.
                const mapdb_test::WalkResult walk =
                    mapdb_test::WalkAndCheck(db, 2, 0, 0, 1, 0, 0x1C0);
                EXPECT_EQ(walk.duplicates, 0) << walk.Describe();
                EXPECT_EQ(walk.badEnds, 0) << walk.Describe();
                for (MapLink* link : walk.returned) {
                    EXPECT_NE(link->fromNode, nullptr);
                    EXPECT_NE(link->toNode, nullptr);
                }
                if (joined) {
                    ChunkLevel* border =
                        kept->levels[purgeLeft ? payload::kSideWest : payload::kSideEast];
                    ASSERT_NE(border, nullptr);
                    EXPECT_NE(border->nodes, nullptr);
                }
                // The cell comes back and both go.
                ASSERT_EQ(db.GetChunk(2, purgeLeft ? 0 : 1, 0), 0);
                ExpectWalkReturnsEachLinkOnce(db, 2, 0, 0, 1, 0);
                MapChunk::RebuildLevels(layer, 0, 0, false);
                MapChunk::RebuildLevels(layer, 1, 0, false);
                EXPECT_EQ(layer.loadedCount, 0);
            }
            ExpectNothingLeaked();
        }
    }
}

}  // namespace
