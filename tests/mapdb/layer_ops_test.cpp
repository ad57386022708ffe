// Whole-layer operations and the queries over the container files, on device files
// of the built-in town: cell addressing, dropping a layer, readying a chunk for the
// route search, the nearest cell with roads, areas around a cell or a point, and
// reopening the files after a power resume.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "formats/little_endian.h"
#include "formats/map_container.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/msgbox.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;

class LayerOpsTest : public mapdb_test::GridMapsTest {
  protected:
    // A copy of the device files to spoil.
    fs::path CopyOfMaps() {
        const fs::path copy = roots_.base() / "maps-copy";
        fs::create_directories(copy);
        for (const fs::directory_entry& entry :
             fs::directory_iterator(mapdb_test::GridMapsFolder()))
            fs::copy_file(entry.path(), copy / entry.path().filename());
        return copy;
    }
};

// The cells of the file with links, as the ring search must see them.
std::vector<std::pair<int32_t, int32_t>> CellsWithLinks(MapLayer& layer) {
    std::vector<std::pair<int32_t, int32_t>> cells;
    for (int32_t r = 0; r < layer.header.rows; ++r) {
        for (int32_t c = 0; c < layer.header.columns; ++c) {
            const int64_t offset = layer.ReadCellOffset(c, r, nullptr);
            if (offset > 0 && layer.CellHasNoLinks(static_cast<uint32_t>(offset)) == 0)
                cells.push_back({c, r});
        }
    }
    return cells;
}

// The first node of a loaded chunk of the layer's window, with its chunk.
MapNode* FirstLoadedNode(MapLayer& layer, MapChunk** chunkOut = nullptr) {
    for (int32_t y = 0; y < layer.windowH; ++y) {
        for (int32_t x = 0; x < layer.windowW; ++x) {
            MapChunk* chunk = layer.GetChunkRecord(x, y);
            if (chunk && chunk->IsLoaded() && chunk->nodes && chunk->header.nodeCount > 0) {
                if (chunkOut)
                    *chunkOut = chunk;
                return chunk->nodes[0];
            }
        }
    }
    return nullptr;
}

TEST_F(LayerOpsTest, CellIndexAndCentreAddressTheFileGrid) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    MapLayer& detail = db.layers[3];
    const auto& head = detail.header;
    mapdb_test::SetWindow(detail, 2, 1, 4, 4);
    EXPECT_EQ(detail.GetChunkIndex(0, 0), 2 + head.columns * 1);
    EXPECT_EQ(detail.GetChunkIndex(-3, 0), -1);  // west of the grid
    EXPECT_EQ(detail.GetChunkIndex(head.columns, 0), -1);

    // Cell 0 lies half a cell north-east of the grid's south-west corner.
    const MapPoint first = detail.CellCenter(0);
    EXPECT_FLOAT_EQ(first.latitude, detail.south + 0.5f * head.cellHeight);
    EXPECT_FLOAT_EQ(first.longitude, detail.west + 0.5f * head.cellWidth);
    const MapPoint last = detail.CellCenter(head.columns * head.rows - 1);
    EXPECT_FLOAT_EQ(last.latitude, detail.north - 0.5f * head.cellHeight);
    EXPECT_FLOAT_EQ(last.longitude, detail.east - 0.5f * head.cellWidth);
}

TEST_F(LayerOpsTest, DropAllEmptiesTheCacheAndAllowsANewWindow) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& route = db.layers[3];
        // Without a window there is nothing to drop.
        route.DropAll(true);
        EXPECT_EQ(route.loadedCount, 0);
        EXPECT_EQ(route.windowX0, kNoWindow);

        const MapPoint centre = route.CellCenter(route.header.columns * (route.header.rows / 2) +
                                                 route.header.columns / 2);
        ASSERT_EQ(db.LoadArea(3, centre, 0.02f, 0.02f, 0, 0, true, false), 0);
        ASSERT_GT(route.loadedCount, 0);
        const long loaded = mapdb::LiveBlocks();
        route.DropAll(true);
        EXPECT_EQ(route.loadedCount, 0);
        EXPECT_EQ(route.windowX0, kNoWindow);
        EXPECT_LT(mapdb::LiveBlocks(), loaded);

        // The layer loads again as from the start.
        ASSERT_EQ(db.LoadArea(3, centre, 0.02f, 0.02f, 0, 0, true, false), 0);
        EXPECT_GT(route.loadedCount, 0);
        mapdb_test::ExpectWalkReturnsEachLinkOnce(db, 3, 0, 0, route.windowW - 1,
                                                  route.windowH - 1);

        // Layer 0 keeps its window, the whole grid, so that it can load again.
        MapLayer& overview = db.layers[0];
        mapdb_test::LoadOverview(db);
        overview.DropAll(false);
        EXPECT_EQ(overview.loadedCount, 0);
        EXPECT_EQ(overview.windowX0, 0);
        const auto cell = CellsWithLinks(overview).front();
        EXPECT_EQ(db.GetChunk(0, cell.first, cell.second), 0);
        const MapChunk* again = overview.GetChunkRecord(cell.first, cell.second);
        EXPECT_TRUE(again && again->IsLoaded());
    }
    ExpectNothingLeaked();
}

TEST_F(LayerOpsTest, ExpandChunkForRouteGivesFullShapesAndSearchState) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        mapdb_test::LoadOverview(db);
        // Layer 0 holds its chunk: full shapes, fresh state and the route pin.
        MapChunk* chunk = nullptr;
        for (int32_t y = 0; y < db.layers[0].windowH && !chunk; ++y) {
            for (int32_t x = 0; x < db.layers[0].windowW; ++x) {
                MapChunk* record = db.layers[0].GetChunkRecord(x, y);
                if (record && record->IsLoaded() && record->header.nodeCount > 0 &&
                    record->header.auxCount > 0) {
                    chunk = record;
                    break;
                }
            }
        }
        ASSERT_NE(chunk, nullptr);
        ASSERT_FALSE(chunk->flags & kChunkFullShapes);  // loaded without its points
        MapNode* node = chunk->nodes[chunk->header.nodeCount - 1];
        EXPECT_EQ(db.ExpandChunkForRoute(node, true), 0);
        EXPECT_TRUE(chunk->flags & kChunkFullShapes);
        EXPECT_NE(chunk->aux, nullptr);
        EXPECT_TRUE(chunk->flags & kChunkRoutePin);
        ASSERT_NE(node->searchState, nullptr);
        const NodeSearchState fresh = {{0x3F, 0x00, 0x00, 0x80, 0x80}};
        EXPECT_EQ(std::memcmp(node->searchState, &fresh, sizeof fresh), 0);

        // Already prepared: nothing changes; asked again: a fresh block, no leak.
        NodeSearchState* block = chunk->searchSlots;
        node->searchState->bytes[0] = 0x40;
        EXPECT_EQ(db.ExpandChunkForRoute(node, true), 0);
        EXPECT_EQ(chunk->searchSlots, block);
        const long live = mapdb::LiveBlocks();
        EXPECT_EQ(db.ExpandChunkForRoute(node, false), 0);
        EXPECT_EQ(mapdb::LiveBlocks(), live);
        EXPECT_EQ(node->searchState->bytes[0], 0x3F);

        // A detailed node is found in layer 4 once layer 0 has failed, and in layer 3
        // when only that holds it; not loaded anywhere: -1.
        MapLayer& four = db.layers[4];
        MapLayer& three = db.layers[3];
        const auto cells = CellsWithLinks(four);
        ASSERT_GE(cells.size(), 2u);
        auto centreOf = [&](const std::pair<int32_t, int32_t>& cell) {
            return four.CellCenter(cell.first + four.header.columns * cell.second);
        };
        const FLOAT span = four.header.cellHeight / 2;  // one cell
        ASSERT_EQ(db.LoadArea(4, centreOf(cells.back()), span, span, 0, 0, false, false), 0);
        MapChunk* detailChunk = nullptr;
        MapNode* detailNode = FirstLoadedNode(four, &detailChunk);
        ASSERT_NE(detailNode, nullptr);
        EXPECT_EQ(db.ExpandChunkForRoute(detailNode, true), 0);
        EXPECT_NE(detailNode->searchState, nullptr);
        EXPECT_FALSE(detailChunk->flags & kChunkRoutePin);  // pins are layer 0's

        ASSERT_EQ(db.LoadArea(3, centreOf(cells.front()), span, span, 0, 0, false, false), 0);
        MapNode* onlyInThree = FirstLoadedNode(three);
        ASSERT_NE(onlyInThree, nullptr);
        EXPECT_EQ(db.ExpandChunkForRoute(onlyInThree, true), 0);
        EXPECT_NE(onlyInThree->searchState, nullptr);

        MapNode stranger{};
        for (const MapPoint& where :
             {detailNode->position, MapPoint{1e30f, -1e30f}, MapPoint{NAN, -INFINITY}}) {
            stranger.position = where;
            EXPECT_EQ(db.ExpandChunkForRoute(&stranger, true), -1);
        }

        // No memory for a fresh state: 1, and the state there is stays.
        MapNode* other = chunk->nodes[0];
        NodeSearchState* kept = other->searchState;
        ASSERT_NE(kept, nullptr);
        mapdb::FailAllocationAfter(1);
        EXPECT_EQ(db.ExpandChunkForRoute(other, false), 1);
        mapdb::FailAllocationAfter(0);
        EXPECT_EQ(other->searchState, kept);
    }
    ExpectNothingLeaked();
}

TEST_F(LayerOpsTest, NearestCellWithLinksIsTheClosestRing) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    for (int k : {0, 2}) {
        MapLayer& layer = db.layers[k];
        const auto& head = layer.header;
        const std::vector<std::pair<int32_t, int32_t>> withLinks = CellsWithLinks(layer);
        ASSERT_FALSE(withLinks.empty());
        // Far outside the grid the search starts at its edge (column cols, row rows).
        const struct {
            const char* where;
            MapPoint point;
        } cases[] = {
            {"centre", layer.CellCenter(head.columns * (head.rows / 2) + head.columns / 2)},
            {"south-west corner", layer.CellCenter(0)},
            {"far east", {(layer.south + layer.north) / 2, layer.east + 50 * head.cellWidth}},
            {"far north-west", {layer.north + 9, layer.west - 9}},
            {"beyond any grid in the west", {layer.south, -1e30f}},
            {"infinitely far south-east", {-INFINITY, INFINITY}},
        };
        for (const auto& test : cases) {
            SCOPED_TRACE(std::string(test.where) + " in layer " + std::to_string(k));
            auto cellOf = [&](const MapPoint& p) {
                auto clampTo = [](double v, int32_t n) {
                    return static_cast<int32_t>(std::clamp(std::floor(v), 0.0, double(n)));
                };
                return std::pair<int32_t, int32_t>{
                    clampTo((p.longitude - layer.west) / head.cellWidth, head.columns),
                    clampTo((p.latitude - layer.south) / head.cellHeight, head.rows)};
            };
            const auto start = cellOf(test.point);
            int32_t nearest = INT32_MAX;
            for (const auto& [c, r] : withLinks)
                nearest = std::min(nearest,
                                   std::max(std::abs(c - start.first), std::abs(r - start.second)));
            MapPoint position = test.point;
            ASSERT_EQ(layer.FindNearestCellWithLinks(position), 0);
            const auto found = cellOf(position);
            EXPECT_EQ(std::max(std::abs(found.first - start.first),
                               std::abs(found.second - start.second)),
                      nearest);
            EXPECT_NE(std::find(withLinks.begin(), withLinks.end(), found), withLinks.end());
            // The centre of the cell found.
            const MapPoint centre = layer.CellCenter(found.first + head.columns * found.second);
            EXPECT_NEAR(position.latitude, centre.latitude, 1e-5);
            EXPECT_NEAR(position.longitude, centre.longitude, 1e-5);
        }
    }
}

// Within a ring the cells are tried south side west to east, east side south to
// north, north side west to east, then the west side: with roads in the cells from
// any place of that order on, the search stops at that place.
TEST_F(LayerOpsTest, NearestCellWithLinksTriesARingInItsOrder) {
    const fs::path maps = CopyOfMaps();
    const fs::path file = maps / "mapdata2.biz";
    const std::vector<uint8_t> original = mapdb_test::FileBytes(file);
    const container::GridHeader head = container::DecodeHeader(original.data());
    ASSERT_GE(head.columns, 3);
    ASSERT_GE(head.rows, 3);
    const int32_t c = head.columns / 2, r = head.rows / 2;
    mapdb_test::SetDataFolder(maps);
    // A block with roads, to put into the cells that are to have them.
    uint32_t roads = 0;
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        const auto withLinks = CellsWithLinks(db.layers[2]);
        ASSERT_FALSE(withLinks.empty());
        roads = static_cast<uint32_t>(
            db.layers[2].ReadCellOffset(withLinks[0].first, withLinks[0].second, nullptr));
    }
    const std::pair<int32_t, int32_t> order[] = {{c - 1, r - 1}, {c, r - 1},     {c + 1, r - 1},
                                                 {c + 1, r},     {c - 1, r + 1}, {c, r + 1},
                                                 {c + 1, r + 1}, {c - 1, r}};
    for (size_t i = 0; i < std::size(order); ++i) {
        SCOPED_TRACE(i);
        std::vector<uint8_t> bytes = original;
        for (uint32_t k = 0; k < container::CellCount(head); ++k)
            formats::StoreU32(&bytes[container::CellEntryOffset(k)], 0);
        for (size_t j = i; j < std::size(order); ++j) {
            const uint32_t index =
                static_cast<uint32_t>(order[j].first + head.columns * order[j].second);
            formats::StoreU32(&bytes[container::CellEntryOffset(index)], roads);
        }
        mapdb_test::WriteBytes(file, bytes);
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& layer = db.layers[2];
        MapPoint position = layer.CellCenter(c + head.columns * r);
        ASSERT_EQ(layer.FindNearestCellWithLinks(position), 0);
        const MapPoint expected = layer.CellCenter(order[i].first + head.columns * order[i].second);
        EXPECT_NEAR(position.latitude, expected.latitude, 1e-5);
        EXPECT_NEAR(position.longitude, expected.longitude, 1e-5);
    }
}

TEST_F(LayerOpsTest, NearestCellSearchEndsOnAMapWithoutRoads) {
    // Every cell of the overview file emptied; broken offsets are refused at open.
    const fs::path maps = CopyOfMaps();
    const fs::path file = maps / "mapdata1.biz";
    std::vector<uint8_t> bytes = mapdb_test::FileBytes(file);
    const container::GridHeader head = container::DecodeHeader(bytes.data());
    for (const uint32_t fill : {0u, 0xFFFFFF00u}) {
        for (uint32_t i = 0; i < container::CellCount(head); ++i)
            std::memcpy(&bytes[container::CellEntryOffset(i)], &fill, sizeof fill);
        mapdb_test::WriteBytes(file, bytes);
        mapdb_test::SetDataFolder(maps);
        CMapDatabase db;
        if (fill != 0) {
            EXPECT_EQ(db.Open(), -1);
            continue;
        }
        ASSERT_EQ(db.Open(), 0);
        MapLayer& layer = db.layers[0];
        for (const MapPoint& start :
             {layer.CellCenter(0), MapPoint{layer.north + 40, layer.east + 40}}) {
            MapPoint position = start;
            EXPECT_EQ(layer.FindNearestCellWithLinks(position), 1);
            EXPECT_EQ(position.latitude, start.latitude);
        }
    }
}

TEST_F(LayerOpsTest, ReadCellOffsetBounds) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    MapLayer& layer = db.layers[0];
    const auto& head = layer.header;
    int32_t index = 7;
    EXPECT_EQ(layer.ReadCellOffset(-1, 0, &index), -1);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(layer.ReadCellOffset(0, head.rows, &index), -2);
    EXPECT_EQ(index, head.columns * head.rows);
    EXPECT_GE(layer.ReadCellOffset(head.columns - 1, head.rows - 1, &index), 0);
    EXPECT_EQ(index, head.columns * head.rows - 1);
    // A chunk that cannot be read counts as one without links.
    EXPECT_EQ(layer.CellHasNoLinks(3), 1);
}

TEST_F(LayerOpsTest, AreasAroundACellOrAPoint) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    MapLayer& route = db.layers[3];
    const auto& head = route.header;
    const uint32_t cell = static_cast<uint32_t>(head.columns * (head.rows / 2) + head.columns / 2);

    // Bit 31: a cell of the given layer.
    uint32_t word = cell | 0x80000000u;
    MapPoint centre;
    int layerOut = -1;
    const FLOAT radius = 0.004f;
    ASSERT_EQ(db.LoadAreaAroundCell(3, word, radius, &centre, &layerOut), 0);
    EXPECT_EQ(word, cell);
    EXPECT_EQ(layerOut, 3);
    EXPECT_FLOAT_EQ(centre.latitude, route.CellCenter(static_cast<int32_t>(cell)).latitude);
    EXPECT_TRUE(route.ContainsPoint(centre.latitude, centre.longitude));
    // The area reaches the radius east and west as well as north and south.
    const double c = std::cos(centre.latitude * 0.017453292);
    EXPECT_LE(route.windowWest, std::max(route.west, FLOAT(centre.longitude - radius / c)));
    EXPECT_GE(route.windowEast, std::min(route.east, FLOAT(centre.longitude + radius / c)));
    EXPECT_LE(route.windowSouth, std::max(route.south, centre.latitude - radius));

    // Without it: an overview cell.
    word = 0;
    ASSERT_EQ(db.LoadAreaAroundCell(3, word, radius, &centre, &layerOut), 0);
    EXPECT_EQ(layerOut, 0);
    EXPECT_FLOAT_EQ(centre.longitude, db.layers[0].CellCenter(0).longitude);

    const MapPoint point = route.CellCenter(static_cast<int32_t>(cell));
    EXPECT_EQ(db.LoadAreaAroundPoint(4, 0x80000000u, point, radius, &layerOut), 0);
    EXPECT_EQ(layerOut, 4);
    EXPECT_TRUE(db.layers[4].ContainsPoint(point.latitude, point.longitude));
    EXPECT_EQ(db.LoadAreaAroundPoint(4, 0, point, radius, &layerOut), 0);
    EXPECT_EQ(layerOut, 0);
}

TEST_F(LayerOpsTest, MovingADisplayLayerDropsTheOverviewChunksItNoLongerPins) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& overview = db.layers[0];
        const auto cells = CellsWithLinks(overview);
        ASSERT_GE(cells.size(), 2u);
        auto record = [&](const std::pair<int32_t, int32_t>& cell) {
            return overview.GetChunkRecord(cell.first, cell.second);
        };
        auto centre = [&](const std::pair<int32_t, int32_t>& cell) {
            return overview.CellCenter(cell.first + overview.header.columns * cell.second);
        };
        const FLOAT span = db.layers[1].header.cellHeight;
        ASSERT_EQ(db.LoadArea(1, centre(cells.front()), span, span, 0, 0, true, true), 0);
        ASSERT_NE(record(cells.front()), nullptr);
        EXPECT_TRUE(record(cells.front())->flags & 0x2);

        ASSERT_EQ(db.LoadArea(1, centre(cells.back()), span, span, 0, 0, true, true), 0);
        const MapChunk* left = record(cells.front());
        EXPECT_TRUE(!left || !left->IsLoaded());
        ASSERT_NE(record(cells.back()), nullptr);
        EXPECT_TRUE(record(cells.back())->flags & 0x2);
        EXPECT_FALSE(record(cells.back())->flags & kChunkRefreshMark);

        // Without release the old pins stay.
        ASSERT_EQ(db.LoadArea(1, centre(cells.front()), span, span, 0, 0, true, false), 0);
        EXPECT_TRUE(record(cells.back())->IsLoaded());
    }
    ExpectNothingLeaked();
}

TEST_F(LayerOpsTest, ReopenFilesAfterResume) {
    const fs::path maps = CopyOfMaps();
    mapdb_test::SetDataFolder(maps);
    {
        // All there: every file comes back and chunks load.
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        ASSERT_TRUE(db.mapFileT.IsOpen());
        EXPECT_EQ(db.ReopenFiles(), 0);
        EXPECT_TRUE(db.mapFile1.IsOpen() && db.mapFileT.IsOpen() && db.mapFile2.IsOpen());
        EXPECT_EQ(ReopenFile(&db.mapFile2, 0), &db.mapFile2);
        mapdb_test::LoadOverview(db);
        EXPECT_GT(db.layers[0].loadedCount, 0);
    }
    {
        // "mapdatat.biz" gone: no failure, it is optional.
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        fs::rename(maps / "mapdatat.biz", maps / "t.away");
        EXPECT_EQ(db.ReopenFiles(), 0);
        EXPECT_FALSE(db.mapFileT.IsOpen());
        fs::rename(maps / "t.away", maps / "mapdatat.biz");
    }
    {
        // "mapdata1.biz" gone: "mapdatat.biz" is not touched, "mapdata2.biz" is tried,
        // and the failure is reported.
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        for (const char* name : {"mapdata1.biz", "mapdatat.biz", "mapdata2.biz"})
            fs::remove(maps / name);
        EXPECT_NE(db.ReopenFiles(), 0);
        EXPECT_TRUE(db.mapFileT.IsOpen());
        EXPECT_FALSE(db.mapFile2.IsOpen());
        EXPECT_EQ(ReopenFile(&db.mapFile1, 0), nullptr);
    }
}

}  // namespace
