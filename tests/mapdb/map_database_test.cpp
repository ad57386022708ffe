// The database's files, layers, chunk directory, window arithmetic and single
// chunk loads, on containers of the built-in town.
#include "pathlume/mapdb/map_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "formats/map_container.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_errors.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/text.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;

void SetDataFolder(const fs::path& folder) {
    const std::u16string text = platform::HostPathText(folder) + u"/";
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
}

class MapDatabaseTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        discmaker::BuildOptions options;
        options.layout.maxNodesPerDetailedCell = 60;
        options.layout.maxNodesPerOverviewCell = 200;
        network_ = discmaker::BuildTown(5, 1500);
        discmaker::BuildDiscs(network_, roots_.base() / "disc", options);
        maps_ = roots_.base() / "Maps";
        fs::create_directories(maps_);
        // Disc 1's containers stand for the device's: the same layout.
        fs::copy_file(roots_.base() / "disc/CD1/mapdata/mapdata1.raz", maps_ / "mapdata1.biz");
        fs::copy_file(roots_.base() / "disc/CD1/mapdata/mapdata21.raz", maps_ / "mapdata2.biz");
        SetDataFolder(maps_);
        platform::ClearMessageBoxes();
        baseline_ = mapdb_test::StreamReadyBaseline();
    }
    void TearDown() override { g_dataFolder[0] = 0; }

    // The database's destructor releases the inflate arena, which the stream had
    // before it: give it its block back, then count.
    void ExpectNothingLeaked() {
        InflateArena::Init(InflateArena::kInitialBlockSize);
        EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
    }

    container::GridHeader Head(const char* name) {
        std::ifstream in(maps_ / name, std::ios::binary);
        uint8_t bytes[container::kHeaderSize];
        in.read(reinterpret_cast<char*>(bytes), sizeof(bytes));
        return container::DecodeHeader(bytes);
    }

    discmaker::Network network_;
    fs::path maps_;
    long baseline_ = 0;
};

TEST_F(MapDatabaseTest, OpenReadsTheHeadsAndSizesTheCaches) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        const container::GridHeader overview = Head("mapdata1.biz");
        const container::GridHeader detailed = Head("mapdata2.biz");
        const MapLayer& l0 = db.layers[0];
        EXPECT_EQ(l0.header.columns, overview.columns);
        EXPECT_EQ(l0.cacheW, overview.columns + 1);
        EXPECT_EQ(l0.cacheH, overview.rows + 1);
        EXPECT_EQ(l0.windowX0, 0);
        EXPECT_EQ(l0.windowW, overview.columns);
        EXPECT_FLOAT_EQ(l0.west,
                        overview.originLongitude + overview.firstColumn * overview.cellWidth);
        EXPECT_FLOAT_EQ(l0.north, l0.south + overview.rows * overview.cellHeight);
        EXPECT_EQ(l0.windowNorth, l0.north);
        EXPECT_EQ(db.layers[2].cacheW, 5);
        EXPECT_EQ(db.layers[3].cacheW, 54);
        EXPECT_EQ(db.layers[4].slotTotal, 54 * 54);
        EXPECT_EQ(db.layers[1].cacheW, DisplayCacheCells(db.layers[1]) + 3);
        EXPECT_EQ(db.layers[3].windowX0, kNoWindow);
        EXPECT_EQ(db.cellRatioX, static_cast<int32_t>(overview.cellWidth / detailed.cellWidth));
        EXPECT_GE(db.cellsPer100Miles, 1);
        FLOAT s, n, w, e;
        db.GetBounds(&s, &n, &w, &e);
        EXPECT_EQ(s, l0.south);
        EXPECT_EQ(e, l0.east);
        EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    }
    ExpectNothingLeaked();
}

TEST_F(MapDatabaseTest, MissingOrCorruptContainersAreReported) {
    {
        fs::rename(maps_ / "mapdata2.biz", maps_ / "other.biz");
        CMapDatabase db;
        EXPECT_EQ(db.Open(), -1);
        ASSERT_FALSE(platform::ShownMessageBoxes().empty());
        EXPECT_EQ(platform::ShownMessageBoxes().back().text, u"Missing or corrupted mapdata file");
    }
    {
        fs::rename(maps_ / "other.biz", maps_ / "mapdata2.biz");
        std::fstream file(maps_ / "mapdata1.biz", std::ios::in | std::ios::out | std::ios::binary);
        file.write("NTC4", 4);
        file.close();
        platform::ClearMessageBoxes();
        CMapDatabase db;
        EXPECT_EQ(db.Open(), -1);
        EXPECT_EQ(platform::ShownMessageBoxes().size(), 2u);  // the version box, then ours
    }
    ExpectNothingLeaked();
}

// The table entry of the first cell that has a block, and where that block begins.
size_t FirstCellEntry(const std::vector<uint8_t>& bytes) {
    const container::GridHeader grid = container::DecodeHeader(bytes.data());
    for (uint32_t cell = 0; cell < container::CellCount(grid); ++cell) {
        if (container::LoadU32(bytes.data() + container::CellEntryOffset(cell)) != 0)
            return container::CellEntryOffset(cell);
    }
    return 0;
}
uint32_t FirstBlock(const std::vector<uint8_t>& bytes) {
    return container::LoadU32(bytes.data() + FirstCellEntry(bytes));
}

// Every size and offset of a container is checked against the file at open: a
// damaged table or head, or a file cut short, is refused with the box and leaves
// nothing open, instead of reading as cells without roads (or past the file).
TEST_F(MapDatabaseTest, DamagedOrCutContainersAreRefusedAtOpen) {
    struct Damage {
        const char* what;
        const char* file;
        void (*apply)(std::vector<uint8_t>& bytes);
    };
    const Damage damages[] = {
        {"a packed size of 0x40000000", "mapdata1.biz",
         [](std::vector<uint8_t>& b) {
             container::StoreU32(b.data() + FirstBlock(b), 0x40000000);
         }},
        {"a raw size of 0x40000000", "mapdata2.biz",
         [](std::vector<uint8_t>& b) {
             container::StoreU32(b.data() + FirstBlock(b) + 4, 0x40000000);
         }},
        {"a cell offset of 0x40000000", "mapdata1.biz",
         [](std::vector<uint8_t>& b) {
             container::StoreU32(b.data() + FirstCellEntry(b), 0x40000000);
         }},
        {"a cell offset inside the table", "mapdata2.biz",
         [](std::vector<uint8_t>& b) { container::StoreU32(b.data() + FirstCellEntry(b), 40); }},
        {"cut where its last block begins", "mapdata1.biz",
         [](std::vector<uint8_t>& b) {
             const container::GridHeader grid = container::DecodeHeader(b.data());
             uint32_t last = 0;
             for (uint32_t cell = 0; cell < container::CellCount(grid); ++cell)
                 last = std::max(last,
                                 container::LoadU32(b.data() + container::CellEntryOffset(cell)));
             b.resize(last);
         }},
        {"cut inside its cell table", "mapdata2.biz",
         [](std::vector<uint8_t>& b) { b.resize(container::kCellTableOffset + 6); }},
        {"more rows than the file holds", "mapdata1.biz",
         [](std::vector<uint8_t>& b) {
             container::StoreI32(b.data() + container::kRowsOffset, 0x4000);
         }},
        {"a damaged mapdatat.biz", "mapdatat.biz",
         [](std::vector<uint8_t>& b) {
             container::StoreU32(b.data() + FirstBlock(b), 0x40000000);
         }},
    };
    fs::copy_file(maps_ / "mapdata1.biz", maps_ / "mapdatat.biz");
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.what);
        const fs::path path = maps_ / damage.file;
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> good((std::istreambuf_iterator<char>(in)), {});
        in.close();
        std::vector<uint8_t> bad = good;
        damage.apply(bad);
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(bad.data()),
                   static_cast<std::streamsize>(bad.size()));
        platform::ClearMessageBoxes();
        {
            CMapDatabase db;
            EXPECT_EQ(db.Open(), -1);
            ASSERT_FALSE(platform::ShownMessageBoxes().empty());
            EXPECT_EQ(platform::ShownMessageBoxes().back().text,
                      u"Missing or corrupted mapdata file");
            EXPECT_FALSE(db.mapFile1.IsOpen() || db.mapFile2.IsOpen() || db.mapFileT.IsOpen());
        }
        std::ofstream(path, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(good.data()),
                   static_cast<std::streamsize>(good.size()));
    }
    CMapDatabase db;
    EXPECT_EQ(db.Open(), 0);
}

// A cell whose block does not inflate is reported with the read-error box (once
// while the map stays open, however often it is asked for), never loaded as a
// cell without roads.
TEST_F(MapDatabaseTest, AnUnreadableCellIsReportedOnce) {
    const fs::path path = maps_ / "mapdata1.biz";
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), {});
    in.close();
    const uint32_t block = FirstBlock(bytes);
    for (size_t at = block + 10; at < block + 40; ++at)
        bytes[at] ^= 0x5A;
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    const uint32_t cell = static_cast<uint32_t>(
        (FirstCellEntry(bytes) - container::kCellTableOffset) / container::kCellEntrySize);
    const container::GridHeader grid = container::DecodeHeader(bytes.data());
    const int errorsBefore = MapReadErrorCount();
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        const int32_t x = static_cast<int32_t>(cell % grid.columns);
        const int32_t y = static_cast<int32_t>(cell / grid.columns);
        EXPECT_EQ(db.GetChunk(0, x, y), 4);
        EXPECT_EQ(db.GetChunk(0, x, y), 4);
        EXPECT_FALSE(db.layers[0].GetChunkRecord(x, y)->IsLoaded());
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].caption, u"ERROR");
        EXPECT_EQ(boxes[0].text, u"Error reading map cell " +
                                     platform::Utf8ToWide(std::to_string(cell)) +
                                     u" of mapdata1.biz\n");
        EXPECT_EQ(MapReadErrorCount(), errorsBefore + 1);
        EXPECT_EQ(LastMapReadError(),
                  "Error reading map cell " + std::to_string(cell) + " of mapdata1.biz");
    }
    ExpectNothingLeaked();
}

TEST_F(MapDatabaseTest, CacheSlotsRecordsAndOverviewCells) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    MapLayer& small = db.layers[2];
    EXPECT_EQ(small.GetCacheSlot(-1, 0), small.cacheW - 1);  // the torus wraps
    EXPECT_EQ(small.GetCacheSlot(0, -1), small.cacheW * (small.cacheH - 1));
    small.torusOffsetX = 3;
    EXPECT_EQ(small.GetCacheSlot(2, 1), 0 + small.cacheW);
    EXPECT_EQ(small.GetChunkRecord(2, 1), small.GetChunkRecord(2 + small.cacheW, 1));

    MapLayer& l0 = db.layers[0];
    EXPECT_EQ(l0.GetCacheSlot(-1, 0), -1);
    EXPECT_EQ(l0.GetCacheSlot(l0.cacheW, 0), -1);
    EXPECT_EQ(l0.GetChunkRecord(0, 0), nullptr);  // the page was never used
    MapChunk* record = l0.GetChunkRecord(l0.cacheW - 1, l0.cacheH - 1, true);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(l0.GetChunkRecord(l0.cacheW - 1, l0.cacheH - 1), record);
    if (l0.cacheW > 16) {
        EXPECT_EQ(l0.GetChunkRecord(0, 0), nullptr);  // another page
    }
    EXPECT_EQ(l0.GetChunkIndex(1, 2), 1 + l0.header.columns * 2);
    EXPECT_EQ(l0.GetChunkIndex(l0.header.columns, 0), -1);
    EXPECT_EQ(db.layers[3].GetChunkIndex(0, 0), -1);  // no window yet

    // Detailed cell (5, 3) of a window at the grid's first cell lies in overview cell
    // (5 / ratio, 3 / ratio).
    MapLayer& route = db.layers[3];
    route.windowX0 = route.windowY0 = 0;
    int32_t x, y, page, inPage;
    const int32_t slot = db.GetOverviewCell(3, 5, 3, &x, &y, &page, &inPage);
    EXPECT_EQ(x, 5 / db.cellRatioX);
    EXPECT_EQ(y, 3 / db.cellRatioY);
    EXPECT_EQ(slot, l0.GetCacheSlot(x, y));
    EXPECT_EQ(inPage, 16 * (y & 15) + (x & 15));
}

TEST_F(MapDatabaseTest, WantedWindowsAreClampedAndCutToTheCache) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    MapLayer& small = db.layers[2];  // cache 5 x 5: at most 3 cells
    const MapPoint centre{(small.south + small.north) / 2, (small.west + small.east) / 2};
    FLOAT heading = 0, spanA = small.header.cellWidth * 2.5f,
          spanB = small.header.cellHeight * 2.5f;
    CellRect wanted, copy, old;
    small.ComputeCacheWindow(centre, heading, spanA, spanB, 0, wanted, copy, old);
    EXPECT_EQ(small.windowX0, 0);  // the first window starts empty at the grid's corner
    EXPECT_EQ(old.lastCol, -1);
    EXPECT_LE(wanted.lastCol - wanted.firstCol, 2);
    EXPECT_LE(wanted.lastRow - wanted.firstRow, 2);

    // A span over the whole grid is cut to the cache around its centre.
    FLOAT wide = (small.east - small.west) * 4, tall = (small.north - small.south) * 4;
    small.ComputeCacheWindow(centre, heading, wide, tall, 0, wanted, copy, old);
    EXPECT_EQ(wanted.lastCol - wanted.firstCol, small.cacheW - 3);
    // A span of 0 takes the layer's default span.
    small.defaultSpanX = spanA;
    small.defaultSpanY = spanB;
    FLOAT zero = 0, zero2 = 0;
    small.ComputeCacheWindow(centre, heading, zero, zero2, 0, wanted, copy, old);
    EXPECT_EQ(zero, spanA);
    EXPECT_EQ(zero2, spanB);

    // Edges count as inside.
    db.layers[0].windowSouth = 1;
    EXPECT_TRUE(db.layers[0].ContainsPoint(1, db.layers[0].windowWest));
    EXPECT_FALSE(db.layers[0].ContainsPointInset(MapPoint{1, db.layers[0].windowWest}, true));
}

// The window runs `ahead` along the heading, spanB long along it and spanA wide
// across it, whichever way the vehicle heads.
TEST_F(MapDatabaseTest, AWindowAheadFollowsTheHeading) {
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    MapLayer& route = db.layers[3];
    const container::GridHeader& grid = route.header;
    ASSERT_EQ(grid.cellWidth, grid.cellHeight);  // one cell size serves both axes
    const FLOAT cell = grid.cellWidth;
    const int32_t col = grid.columns / 2, row = grid.rows / 2;
    ASSERT_GE(std::min({col, row, grid.columns - 1 - col, grid.rows - 1 - row}), 5);
    const MapPoint centre{grid.originLatitude + (grid.firstRow + row + 0.5f) * cell,
                          grid.originLongitude + (grid.firstColumn + col + 0.5f) * cell};
    // Cells relative to the centre's: 3 cells along, half a cell across, 2.25 ahead.
    const struct {
        FLOAT heading;
        int32_t firstCol, lastCol, firstRow, lastRow;
    } cases[] = {
        {0, 0, 0, 1, 4},
        {90, 1, 4, 0, 0},
        {180, 0, 0, -4, -1},
        {270, -4, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.heading);
        FLOAT heading = c.heading, across = 0.5f * cell, along = 3 * cell;
        CellRect wanted, copy, old;
        route.ComputeCacheWindow(centre, heading, across, along, 2.25f * cell, wanted, copy, old);
        EXPECT_EQ(route.windowX0, 0);  // computed, not moved
        EXPECT_EQ(wanted.firstCol, col + c.firstCol);
        EXPECT_EQ(wanted.lastCol, col + c.lastCol);
        EXPECT_EQ(wanted.firstRow, row + c.firstRow);
        EXPECT_EQ(wanted.lastRow, row + c.lastRow);
    }
}

TEST_F(MapDatabaseTest, ChunksLoadIntoTheirRecordsAndDetailedLinksReachTheOverview) {
    {
        CMapDatabase db;
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& l0 = db.layers[0];
        int loaded = 0;
        for (int32_t y = 0; y < l0.header.rows; ++y) {
            for (int32_t x = 0; x < l0.header.columns; ++x) {
                MapChunk* record = l0.GetChunkRecord(x, y, true);
                ASSERT_NE(record, nullptr);
                ASSERT_EQ(db.LoadChunk(l0, l0.GetChunkIndex(x, y), *record, x, y), 0);
                loaded += record->IsLoaded();
            }
        }
        EXPECT_GT(loaded, 1);

        // Detailed cells of disc 1's columns, in layer 3 with its window at the grid corner.
        MapLayer& route = db.layers[3];
        route.windowX0 = route.windowY0 = 0;
        int reached = 0, empty = 0;
        for (int32_t y = 0; y < std::min(route.header.rows, 51); ++y) {
            for (int32_t x = 0; x < std::min(route.header.columns, 51); ++x) {
                MapChunk* record = route.GetChunkRecord(x, y);
                ASSERT_EQ(db.LoadChunk(route, route.GetChunkIndex(x, y), *record, x, y), 0);
                empty += !record->IsLoaded();
                for (uint32_t i = 0; record->IsLoaded() && i < record->header.scLinkCount; ++i) {
                    const MapLink& link = record->links[i];
                    if ((link.flags & kLinkToExternal) && !link.IsDead()) {
                        EXPECT_EQ(link.toNode->Slots()[link.ToSlot()], &link);
                        ++reached;
                    }
                }
            }
        }
        EXPECT_GT(reached, 0);
        EXPECT_GT(empty, 0);  // the other discs' columns have no blocks here

        // A broken block: 4, and the record stays empty.
        MapChunk broken{};
        const uint32_t someCell = [&] {
            for (uint32_t i = 0; i < l0.cellCount; ++i) {
                if (l0.GetChunkRecord(i % l0.header.columns, i / l0.header.columns)->IsLoaded())
                    return i;
            }
            return 0u;
        }();
        db.mapFile1.Close();
        EXPECT_EQ(db.LoadChunk(l0, someCell, broken, 0, 0), 4);
        EXPECT_FALSE(broken.IsLoaded());
        EXPECT_EQ(broken.block, nullptr);
    }
    ExpectNothingLeaked();
}

// Loads layer 0 whole and the detailed cells of disc 1's columns into layer 3 (its
// window at the grid's corner) in the given order, then checks the joins.
struct JoinFigures {
    int joinedSides = 0;
    std::multiset<std::vector<std::pair<float, float>>> joinedLines;
};

JoinFigures LoadAndCheckJoins(CMapDatabase& db, bool reverse,
                              const std::set<std::vector<std::pair<float, float>>>& networkLines) {
    JoinFigures figures;
    MapLayer& l0 = db.layers[0];
    for (int32_t y = 0; y < l0.header.rows; ++y) {
        for (int32_t x = 0; x < l0.header.columns; ++x)
            EXPECT_EQ(db.GetChunk(0, x, y), 0);
    }
    MapLayer& route = db.layers[3];
    route.windowX0 = route.windowY0 = 0;
    route.windowX1 = route.windowY1 = 50;
    const int32_t columns = std::min(route.header.columns, 51);
    const int32_t rows = std::min(route.header.rows, 51);
    std::vector<std::pair<int32_t, int32_t>> cells;
    for (int32_t y = 0; y < rows; ++y) {
        for (int32_t x = 0; x < columns; ++x)
            cells.push_back({x, y});
    }
    if (reverse)
        std::reverse(cells.begin(), cells.end());
    for (auto [x, y] : cells)
        EXPECT_EQ(db.GetChunk(3, x, y), 0);

    auto line = [](const MapLink& link) {
        std::vector<std::pair<float, float>> points{
            {link.fromNode->position.latitude, link.fromNode->position.longitude}};
        for (uint32_t p = 0; p < link.GetShapePointCount(); ++p)
            points.push_back({link.shapePoints[p].latitude, link.shapePoints[p].longitude});
        points.push_back({link.toNode->position.latitude, link.toNode->position.longitude});
        return points;
    };
    int emptySlots = 0;
    for (auto [x, y] : cells) {
        MapChunk* record = route.GetChunkRecord(x, y);
        if (!record->IsLoaded())
            continue;
        for (uint32_t i = 0; i < record->header.nodeCount; ++i) {
            const MapNode* node = record->nodes[i];
            emptySlots += static_cast<int>(
                std::count(node->Slots(), node->Slots() + node->slotCount, nullptr));
        }
        for (int side = 0; side < 4; ++side) {
            ChunkLevel* level = record->levels[side];
            MapChunk* neighbour =
                route.GetChunkRecord(x + formats::chunk_payload::kSideColumnStep[side],
                                     y + formats::chunk_payload::kSideRowStep[side]);
            if (!level || !neighbour || !neighbour->IsLoaded())
                continue;
            // Both cells hold the one side record, and its links run node to node.
            EXPECT_EQ(neighbour->levels[formats::chunk_payload::OppositeSide(side)], level);
            EXPECT_EQ(level->nodes, nullptr);
            if (side == 0 || side == 1) {
                ++figures.joinedSides;
                for (uint32_t j = 0; j < level->linkCount; ++j) {
                    const MapLink& link = level->links[j];
                    EXPECT_TRUE(link.fromNode && link.toNode);
                    if (!link.fromNode || !link.toNode)
                        return figures;
                    EXPECT_NE(link.fromNode->slotCount, MapNode::kSingleSlot);
                    EXPECT_NE(link.toNode->slotCount, MapNode::kSingleSlot);
                    EXPECT_EQ(link.fromNode->Slots()[link.FromSlot()], &link);
                    EXPECT_EQ(link.toNode->Slots()[link.ToSlot()], &link);
                    figures.joinedLines.insert(line(link));
                    EXPECT_TRUE(networkLines.count(line(link)))
                        << "a joined link the network lacks";
                }
            }
        }
    }
    // Every slot holds its link, joined or not (a dead link leaves its two empty).
    EXPECT_LE(emptySlots, 2);
    return figures;
}

TEST_F(MapDatabaseTest, NeighboursJoinIntoOneSideInEitherLoadOrder) {
    std::set<std::vector<std::pair<float, float>>> networkLines;
    for (uint32_t l = 0; l < network_.links.size(); ++l) {
        std::vector<std::pair<float, float>> points;
        for (const discmaker::LatLon& p : network_.LinkPoints(l))
            points.push_back({static_cast<float>(p.lat), static_cast<float>(p.lon)});
        networkLines.insert(points);
    }
    JoinFigures forward, backward;
    {
        CMapDatabase db;
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
        forward = LoadAndCheckJoins(db, false, networkLines);
    }
    {
        CMapDatabase db;
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
        backward = LoadAndCheckJoins(db, true, networkLines);
    }
    EXPECT_GT(forward.joinedSides, 0);
    EXPECT_EQ(forward.joinedSides, backward.joinedSides);
    EXPECT_EQ(forward.joinedLines, backward.joinedLines);
    ExpectNothingLeaked();
}

TEST_F(MapDatabaseTest, AChunkLoadedInOneDetailedLayerIsFoundFromAnother) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        for (int k : {3, 4}) {
            db.layers[k].windowX0 = db.layers[k].windowY0 = 0;
            db.layers[k].windowX1 = db.layers[k].windowY1 = 50;
        }
        int32_t x = 0, y = 0;
        bool found = false;
        for (y = 0; y < db.layers[3].header.rows && !found; ++y) {
            for (x = 0; x < db.layers[3].header.columns && !found; ++x) {
                ASSERT_EQ(db.GetChunk(3, x, y), 0);
                found = db.layers[3].GetChunkRecord(x, y)->IsLoaded();
            }
        }
        ASSERT_TRUE(found);
        --x;
        --y;
        MapChunk* record = db.layers[3].GetChunkRecord(x, y);
        EXPECT_EQ(db.FindLoadedElsewhere(4, x, y), record);
        EXPECT_EQ(db.FindLoadedElsewhere(3, x, y), nullptr);  // only other layers
        EXPECT_EQ(db.FindLoadedElsewhere(0, x, y), nullptr);
        db.layers[3].windowX0 = x + 1;  // the cell is outside layer 3's window now
        EXPECT_EQ(db.FindLoadedElsewhere(4, x, y), nullptr);
        db.layers[3].windowX0 = 0;
        EXPECT_EQ(db.layers[3].loadedCount, 1);
        EXPECT_EQ(db.refTotal[1], static_cast<int32_t>(record->externalRefs));
        EXPECT_EQ(db.linkTotal[1], record->header.scLinkCount + (record->EdLinkCount() >> 1));
    }
    ExpectNothingLeaked();
}

}  // namespace
