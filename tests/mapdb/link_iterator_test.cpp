// Walking the links of a rectangle of cells on device files of the built-in town:
// every link once, border links included, whatever the load order, the pins and the
// purges in between.
#include "pathlume/mapdb/link_iterator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/chunk_purge.h"
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
using mapdb_test::WalkAndCheck;
using Cell = std::pair<int32_t, int32_t>;

constexpr int kRoute = 3;  // the detailed layer the walks use
constexpr uint32_t kAllClasses = 0x1C0;

class LinkIteratorTest : public mapdb_test::GridMapsTest {
  protected:
    // Opens the database with the overview loaded and layer 3's window over the
    // whole detailed grid (its cache is 54 x 54).
    void Open(CMapDatabase& db) {
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
        mapdb_test::LoadOverview(db);
        MapLayer& route = db.layers[kRoute];
        SetWindow(route, 0, 0, std::min(route.header.columns, 51), std::min(route.header.rows, 51));
    }

    // An n x n block of cells that all hold chunks, the first one found in row order.
    static std::vector<Cell> FullBlock(CMapDatabase& db, int n) {
        const std::vector<Cell> cells = CellsWithChunks(db, kRoute);
        const std::set<Cell> present(cells.begin(), cells.end());
        for (const Cell& corner : cells) {
            std::vector<Cell> block;
            for (int32_t dy = 0; dy < n; ++dy) {
                for (int32_t dx = 0; dx < n; ++dx) {
                    if (present.count({corner.first + dx, corner.second + dy}))
                        block.push_back({corner.first + dx, corner.second + dy});
                }
            }
            if (static_cast<int>(block.size()) == n * n)
                return block;
        }
        return {};
    }

    // Loads every detailed cell and finds two neighbours side by side that hold one
    // border between them: the left cell of the pair.
    static Cell LoadAllAndFindJoinedPair(CMapDatabase& db) {
        for (const Cell& cell : CellsWithChunks(db, kRoute))
            EXPECT_EQ(db.GetChunk(kRoute, cell.first, cell.second), 0);
        MapLayer& route = db.layers[kRoute];
        for (const Cell& cell : CellsWithChunks(db, kRoute)) {
            const MapChunk* left = route.GetChunkRecord(cell.first, cell.second);
            const MapChunk* right = route.GetChunkRecord(cell.first + 1, cell.second);
            ChunkLevel* border = left->levels[payload::kSideEast];
            if (border && right && right->IsLoaded() &&
                right->levels[payload::kSideWest] == border && border->linkCount > 0)
                return cell;
        }
        return {-1, -1};
    }
};

TEST_F(LinkIteratorTest, GridsReturnEveryLinkOnceInEitherLoadOrder) {
    for (int n : {2, 3}) {
        for (bool reverse : {false, true}) {
            SCOPED_TRACE(testing::Message() << n << "x" << n << (reverse ? " reversed" : ""));
            CMapDatabase db;
            Open(db);
            std::vector<Cell> block = FullBlock(db, n);
            ASSERT_EQ(static_cast<int>(block.size()), n * n) << "the town has no such block";
            if (reverse)
                std::reverse(block.begin(), block.end());
            for (const Cell& cell : block)
                ASSERT_EQ(db.GetChunk(kRoute, cell.first, cell.second), 0);
            const auto [bx0, by0] = *std::min_element(block.begin(), block.end());
            const auto [bx1, by1] = *std::max_element(block.begin(), block.end());
            // The block itself, a rectangle around it, and each row of it alone.
            ExpectWalkReturnsEachLinkOnce(db, kRoute, bx0, by0, bx1, by1);
            ExpectWalkReturnsEachLinkOnce(db, kRoute, bx0 - 1, by0 - 1, bx1 + 1, by1 + 1);
            for (int32_t y = by0; y <= by1; ++y)
                ExpectWalkReturnsEachLinkOnce(db, kRoute, bx0, y, bx1, y);
            // Border links between the cells are there, and returned once.
            const mapdb_test::WalkResult walk =
                WalkAndCheck(db, kRoute, bx0, by0, bx1, by1, kAllClasses);
            int joinedLinks = 0;
            for (MapLink* link : walk.returned)
                joinedLinks += (link->flags & kLinkEd) && link->fromNode &&
                               link->fromNode->slotCount != MapNode::kSingleSlot &&
                               link->toNode->slotCount != MapNode::kSingleSlot;
            EXPECT_GT(joinedLinks, 0);
            EXPECT_EQ(walk.chunks, n * n);
        }
    }
    ExpectNothingLeaked();
}

TEST_F(LinkIteratorTest, RandomLoadsAndPurgesKeepEveryLinkOnceAndLeakNothing) {
    {
        CMapDatabase db;
        Open(db);
        const long afterOverview = mapdb::LiveBlocks();
        const std::vector<Cell> cells = CellsWithChunks(db, kRoute);
        ASSERT_GT(cells.size(), 9u);
        int32_t maxX = 0, maxY = 0;
        for (const Cell& c : cells) {
            maxX = std::max(maxX, c.first);
            maxY = std::max(maxY, c.second);
        }
        // A 3 x 3 window of loaded cells wanders over the grid: the cells that leave
        // are purged, those that enter loaded, in a shuffled order.
        std::mt19937 random(20261210);
        int32_t wx = 0, wy = 0;
        for (int move = 0; move < 40; ++move) {
            const int32_t nx = std::clamp<int32_t>(wx + int32_t(random() % 5) - 2, 0, maxX);
            const int32_t ny = std::clamp<int32_t>(wy + int32_t(random() % 5) - 2, 0, maxY);
            std::vector<Cell> leaving, entering;
            for (int32_t y = 0; y <= maxY; ++y) {
                for (int32_t x = 0; x <= maxX; ++x) {
                    const bool inOld = x >= wx && x < wx + 3 && y >= wy && y < wy + 3;
                    const bool inNew = x >= nx && x < nx + 3 && y >= ny && y < ny + 3;
                    if (inOld && !inNew)
                        leaving.push_back({x, y});
                    if (inNew && !inOld)
                        entering.push_back({x, y});
                }
            }
            std::shuffle(leaving.begin(), leaving.end(), random);
            std::shuffle(entering.begin(), entering.end(), random);
            for (const Cell& c : leaving)
                MapChunk::RebuildLevels(db.layers[kRoute], c.first, c.second, false);
            // Each move walks once between the purges and the loads too.
            ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, maxX, maxY);
            for (const Cell& c : entering)
                ASSERT_EQ(db.GetChunk(kRoute, c.first, c.second), 0);
            wx = nx;
            wy = ny;
            ExpectWalkReturnsEachLinkOnce(db, kRoute, 0, 0, maxX, maxY);
            ExpectWalkReturnsEachLinkOnce(db, kRoute, wx + 1, wy, maxX, maxY, 0xC0);
        }
        for (int32_t y = 0; y <= maxY; ++y) {
            for (int32_t x = 0; x <= maxX; ++x)
                MapChunk::RebuildLevels(db.layers[kRoute], x, y, false);
        }
        EXPECT_EQ(db.layers[kRoute].loadedCount, 0);
        EXPECT_EQ(db.refTotal[1], 0);
        EXPECT_EQ(db.linkTotal[1], 0);
        // Every chunk, side, link and shape block of the detailed layer is gone.
        EXPECT_EQ(mapdb::LiveBlocks(), afterOverview);
        EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    }
    ExpectNothingLeaked();
}

TEST_F(LinkIteratorTest, WindowMovesKeepEveryLinkOnce) {
    {
        CMapDatabase db;
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
        mapdb_test::LoadOverview(db);
        const long afterOverview = mapdb::LiveBlocks();
        std::mt19937 random(7);
        for (int k : {2, 3}) {
            MapLayer& layer = db.layers[k];
            std::uniform_real_distribution<float> lat(layer.south, layer.north);
            std::uniform_real_distribution<float> lon(layer.west, layer.east);
            int windowsWithLinks = 0;
            for (int move = 0; move < 30; ++move) {
                // Two or three cells wide and high, anywhere on the grid.
                const float cells = 1.5f + static_cast<float>(random() % 2);
                const MapPoint centre{lat(random), lon(random)};
                ASSERT_EQ(layer.LoadCacheWindow(&centre, layer.header.cellWidth * cells,
                                                layer.header.cellHeight * cells, 0, 0, false),
                          0);
                const mapdb_test::WalkResult walk =
                    WalkAndCheck(db, k, 0, 0, layer.windowW - 1, layer.windowH - 1, kAllClasses);
                windowsWithLinks += walk.chunks > 1;
                ExpectWalkReturnsEachLinkOnce(db, k, 0, 0, layer.windowW - 1, layer.windowH - 1);
            }
            EXPECT_GT(windowsWithLinks, 5) << "layer " << k;
            // Away from every chunk: the window's cells are all dropped.
            const MapPoint corner{layer.south, layer.west};
            ASSERT_EQ(layer.LoadCacheWindow(&corner, layer.header.cellWidth * 0.5f,
                                            layer.header.cellHeight * 0.5f, 0, 0, false),
                      0);
            MapChunk::RebuildLevels(layer, 0, 0, false);
            EXPECT_EQ(layer.loadedCount, 0) << "layer " << k;
        }
        EXPECT_EQ(mapdb::LiveBlocks(), afterOverview);
    }
    ExpectNothingLeaked();
}

TEST_F(LinkIteratorTest, BorderLinksOfAnUnpinnedNeighbourAreNotLost) {
    CMapDatabase db;
    Open(db);
    const auto [ax, ay] = LoadAllAndFindJoinedPair(db);
    ASSERT_GE(ax, 0) << "no joined pair in the town";
    MapChunk* left = db.layers[kRoute].GetChunkRecord(ax, ay);
    MapChunk* right = db.layers[kRoute].GetChunkRecord(ax + 1, ay);
    ChunkLevel* border = right->levels[payload::kSideWest];
    ASSERT_NE(border, nullptr);
    ASSERT_EQ(left->levels[payload::kSideEast], border);  // joined

    // Only the right cell is pinned: its walk must return the shared border's links,
    // which the left cell (loaded, but not visited) never returned.
    right->flags |= 0x4;
    const mapdb_test::WalkResult walk =
        WalkAndCheck(db, kRoute, ax, ay, ax + 1, ay, kAllClasses, 0x4);
    EXPECT_EQ(walk.chunks, 1);
    std::set<MapLink*> returned(walk.returned.begin(), walk.returned.end());
    int borderLinks = 0;
    for (uint32_t j = 0; j < border->linkCount; ++j) {
        if (!border->links[j].IsDead()) {
            ++borderLinks;
            EXPECT_TRUE(returned.count(&border->links[j])) << "border link " << j;
        }
    }
    EXPECT_GT(borderLinks, 0);
    ExpectWalkReturnsEachLinkOnce(db, kRoute, ax, ay, ax + 1, ay, kAllClasses, 0x4);
    // Both pinned: the border is returned once, by the left cell.
    left->flags |= 0x4;
    ExpectWalkReturnsEachLinkOnce(db, kRoute, ax, ay, ax + 1, ay, kAllClasses, 0x4);
    // A walk that starts at the right cell returns the border there.
    ExpectWalkReturnsEachLinkOnce(db, kRoute, ax + 1, ay, ax + 1, ay);
}

TEST_F(LinkIteratorTest, ClassLimitsDeadLinksAndEmptyRectangles) {
    CMapDatabase db;
    Open(db);
    const std::vector<Cell> block = FullBlock(db, 2);
    ASSERT_EQ(block.size(), 4u);
    for (const Cell& cell : block)
        ASSERT_EQ(db.GetChunk(kRoute, cell.first, cell.second), 0);
    const auto [bx, by] = block[0];

    for (uint32_t limit : {0x0u, 0xC0u, 0x140u, kAllClasses}) {
        const mapdb_test::WalkResult walk = WalkAndCheck(db, kRoute, bx, by, bx + 1, by + 1, limit);
        for (MapLink* link : walk.returned)
            EXPECT_LE(link->attributes & kAttrClassMask, limit);
        ExpectWalkReturnsEachLinkOnce(db, kRoute, bx, by, bx + 1, by + 1, limit);
    }
    EXPECT_GT(WalkAndCheck(db, kRoute, bx, by, bx + 1, by + 1, kAllClasses).returned.size(),
              WalkAndCheck(db, kRoute, bx, by, bx + 1, by + 1, 0xC0).returned.size());

    // A dead link in the middle of an array is passed over, the walk goes on.
    MapChunk* chunk = db.layers[kRoute].GetChunkRecord(bx, by);
    ASSERT_GE(chunk->header.scLinkCount, 3);
    MapLink& middle = chunk->links[chunk->header.scLinkCount / 2];
    const int32_t id = middle.linkId;
    const size_t before = WalkAndCheck(db, kRoute, bx, by, bx, by, kAllClasses).returned.size();
    middle.linkId = kDeadLinkId;
    const mapdb_test::WalkResult walk = WalkAndCheck(db, kRoute, bx, by, bx, by, kAllClasses);
    EXPECT_EQ(walk.returned.size() + 1, before);
    EXPECT_EQ(std::count(walk.returned.begin(), walk.returned.end(), &middle), 0);
    middle.linkId = id;

    // Rectangles with nothing loaded, or outside the window, or on a layer that never
    // had a window: Init says so and Next has nothing.
    LinkIterator it;
    EXPECT_EQ(it.Init(db.layers[kRoute], 60, 60, 80, 80, kAllClasses, 7), 1);
    EXPECT_EQ(it.Next(), nullptr);
    EXPECT_EQ(it.Init(db.layers[kRoute], -5, -5, -1, -1, kAllClasses, 7), 1);
    EXPECT_EQ(it.Next(), nullptr);
    EXPECT_EQ(it.Init(db.layers[4], 0, 0, 10, 10, kAllClasses, 7), 1);
    EXPECT_EQ(it.Next(), nullptr);
    // Clamped: a rectangle reaching past the window on every side sees the block.
    EXPECT_EQ(it.Init(db.layers[kRoute], -100, -100, 1000, 1000, kAllClasses, 7), 0);
    EXPECT_EQ(it.returnedInChunk, 0);
}

TEST_F(LinkIteratorTest, AWalkRestoresFullShapesAndSurvivesAFailedReload) {
    for (bool failing : {false, true}) {
        SCOPED_TRACE(failing ? "failing reload" : "reload");
        {
            CMapDatabase db;
            db.keepAuxPoints = 1;  // compact: the shapes are not marked full
            ASSERT_EQ(db.Open(), 0);
            mapdb_test::LoadOverview(db);
            MapLayer& route = db.layers[kRoute];
            SetWindow(route, 0, 0, std::min(route.header.columns, 51),
                      std::min(route.header.rows, 51));
            const std::vector<Cell> block = FullBlock(db, 2);
            ASSERT_EQ(block.size(), 4u);
            for (const Cell& cell : block)
                ASSERT_EQ(db.GetChunk(kRoute, cell.first, cell.second), 0);
            // The same chunk held by layer 4 too, as a copy of the record.
            MapLayer& other = db.layers[4];
            SetWindow(other, 0, 0, route.windowW, route.windowH);
            const auto [bx, by] = block[0];
            *other.GetChunkRecord(bx, by) = *route.GetChunkRecord(bx, by);
            other.GetChunkRecord(bx, by)->searchSlots = nullptr;
            other.loadedCount = 1;

            int withShapes = 0;
            for (const Cell& cell : block) {
                const MapChunk* chunk = route.GetChunkRecord(cell.first, cell.second);
                EXPECT_FALSE(chunk->flags & kChunkFullShapes);
                for (uint32_t i = 0; i < chunk->header.scLinkCount; ++i)
                    withShapes += chunk->links[i].GetShapePointCount() > 0;
            }
            EXPECT_GT(withShapes, 0);

            // What each chunk held before the walk: a failed reload must leave it so.
            std::vector<std::vector<const MapPoint*>> shapesBefore;
            std::vector<const MapPoint*> auxBefore;
            for (const Cell& cell : block) {
                const MapChunk* c = route.GetChunkRecord(cell.first, cell.second);
                auxBefore.push_back(c->aux);
                shapesBefore.emplace_back();
                for (uint32_t i = 0; i < c->header.scLinkCount; ++i)
                    shapesBefore.back().push_back(c->links[i].shapePoints);
            }

            LinkIterator it;
            it.SelectLayer(db, 1, 1);
            if (failing)
                mapdb::FailAllocationAfter(1);
            EXPECT_EQ(it.Init(route, bx, by, bx + 1, by + 1, kAllClasses, 7), 0);
            size_t points = 0;
            for (MapLink* link = it.Next(); link; link = it.Next()) {
                // Reading every point: a pointer into a freed block would show here.
                for (uint32_t p = 0; p < link->GetShapePointCount(); ++p)
                    points += link->shapePoints[p].latitude != 0;
            }
            mapdb::FailAllocationAfter(0);
            const MapChunk* chunk = route.GetChunkRecord(bx, by);
            EXPECT_EQ(other.GetChunkRecord(bx, by)->aux, chunk->aux);
            EXPECT_EQ((other.GetChunkRecord(bx, by)->flags & kChunkFullShapes),
                      (chunk->flags & kChunkFullShapes));
            // No sc link points anywhere but into its chunk's present shape block.
            for (const Cell& cell : block) {
                const MapChunk* c = route.GetChunkRecord(cell.first, cell.second);
                for (uint32_t i = 0; i < c->header.scLinkCount; ++i) {
                    const MapPoint* shape = c->links[i].shapePoints;
                    EXPECT_TRUE(!shape || (c->aux && shape >= c->aux &&
                                           shape + c->links[i].GetShapePointCount() <=
                                               c->aux + c->header.auxCount))
                        << "cell " << cell.first << "," << cell.second << " link " << i;
                }
            }
            if (failing) {
                EXPECT_FALSE(chunk->flags & kChunkFullShapes);
                size_t unchanged = 0;
                for (size_t k = 0; k < block.size(); ++k) {
                    const MapChunk* c = route.GetChunkRecord(block[k].first, block[k].second);
                    if (c->flags & kChunkFullShapes)
                        continue;  // this one's reload went through
                    ++unchanged;
                    EXPECT_EQ(c->aux, auxBefore[k]) << k;
                    for (uint32_t i = 0; i < c->header.scLinkCount; ++i)
                        EXPECT_EQ(c->links[i].shapePoints, shapesBefore[k][i]) << k << " " << i;
                }
                EXPECT_GT(unchanged, 0u);
            }
            if (!failing) {
                for (const Cell& cell : block) {
                    const MapChunk* c = route.GetChunkRecord(cell.first, cell.second);
                    EXPECT_TRUE(c->flags & kChunkFullShapes);
                    for (uint32_t i = 0; i < c->header.scLinkCount; ++i) {
                        EXPECT_FALSE(c->links[i].shapeInfo & kShapeReduced);
                        EXPECT_EQ(c->links[i].GetShapePointCount(),
                                  c->links[i].shapeInfo & kShapeCountMask);
                    }
                }
            }
            EXPECT_GT(points, 0u);
            *other.GetChunkRecord(bx, by) = MapChunk{};
            other.loadedCount = 0;
        }
        ExpectNothingLeaked();
    }
}

TEST_F(LinkIteratorTest, AWalkSwapsChunksReadFromTheSecondFileForTheMainOnes) {
    CMapDatabase db;
    db.keepAuxPoints = 2;
    ASSERT_EQ(db.Open(), 0);
    MapLayer& l0 = db.layers[0];
    ASSERT_TRUE(db.mapFileT.IsOpen()) << "no mapdatat.biz";
    l0.file = &db.mapFileT;
    db.layer0UsesFileT = 1;
    mapdb_test::LoadOverview(db);
    int fromT = 0;
    for (int32_t y = 0; y < l0.windowH; ++y) {
        for (int32_t x = 0; x < l0.windowW; ++x) {
            const MapChunk* chunk = l0.GetChunkRecord(x, y);
            fromT += chunk && chunk->IsLoaded() && (chunk->flags & kChunkFromFileT);
        }
    }
    ASSERT_GT(fromT, 0);
    int32_t pinnedX = -1;
    for (int32_t x = 0; x < l0.windowW && pinnedX < 0; ++x) {
        MapChunk* chunk = l0.GetChunkRecord(x, 0);
        if (chunk && chunk->IsLoaded()) {
            chunk->flags |= 0x2;  // pinned by layer 1
            pinnedX = x;
        }
    }

    LinkIterator it;
    it.reloadFromMain = 1;
    ASSERT_EQ(it.Init(l0, 0, 0, l0.windowW - 1, l0.windowH - 1, 0xC0, 7), 0);
    std::set<MapLink*> seen;
    int duplicates = 0;
    for (MapLink* link = it.Next(); link; link = it.Next())
        duplicates += !seen.insert(link).second;
    EXPECT_EQ(duplicates, 0);
    EXPECT_EQ(l0.file, &db.mapFile1);
    EXPECT_EQ(db.layer0UsesFileT, 0u);
    int swapped = 0;
    for (int32_t y = 0; y < l0.windowH; ++y) {
        for (int32_t x = 0; x < l0.windowW; ++x) {
            const MapChunk* chunk = l0.GetChunkRecord(x, y);
            if (!chunk || !chunk->IsLoaded())
                continue;
            EXPECT_FALSE(chunk->flags & kChunkFromFileT);
            swapped += (chunk->flags & kChunkReloadedByWalk) != 0;
        }
    }
    EXPECT_GT(swapped, 0);
    // The pin survives the swap; a layer-1 pin keeps the reload mark.
    ASSERT_GE(pinnedX, 0);
    const MapChunk* pinned = l0.GetChunkRecord(pinnedX, 0);  // the page may be a new one
    ASSERT_NE(pinned, nullptr);
    EXPECT_TRUE(pinned->flags & 0x2);
    EXPECT_TRUE(pinned->flags & kChunkReloadedByWalk);
    // A second walk finds the same links again, each once.
    ExpectWalkReturnsEachLinkOnce(db, 0, 0, 0, l0.windowW - 1, l0.windowH - 1, 0xC0);
}

}  // namespace
