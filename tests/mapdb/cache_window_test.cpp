// The chunk cache on device files made by the real generation chain (disc builder,
// then the desktop generation run): windows that move over the whole map, chunks
// shared between layers, joins, corrupt chunks and a shortage of memory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/compressed_block.h"
#include "formats/little_endian.h"
#include "formats/map_container.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;
using mapdb_test::FileBytes;
using mapdb_test::WriteBytes;

// The sixteen device files of a network, through discs and a generation run.
fs::path MakeDeviceMaps(discmaker::Network network, const fs::path& base,
                        const discmaker::BuildOptions& options = {}) {
    discmaker::BuildDiscs(network, base / "disc", options);
    std::ostringstream out, err;
    const mkmaps::Figures figures = mkmaps::Generate({base / "disc", base / "Maps", {}}, out, err);
    platform::SetCurrentSide(platform::Side::Device);
    EXPECT_TRUE(figures.completed) << err.str();
    return base / "Maps";
}

void SetDataFolder(const fs::path& folder) {
    const std::u16string text = platform::HostPathText(folder) + u"/";
    std::copy(text.begin(), text.end(), g_dataFolder);
    g_dataFolder[text.size()] = 0;
}

// The absolute detailed cells whose block offset is not 0.
std::set<std::pair<int32_t, int32_t>> NonEmptyCells(const fs::path& file) {
    const std::vector<uint8_t> bytes = FileBytes(file);
    const container::GridHeader head = container::DecodeHeader(bytes.data());
    std::set<std::pair<int32_t, int32_t>> cells;
    for (uint32_t i = 0; i < container::CellCount(head); ++i) {
        if (container::LoadU32(bytes.data() + container::CellEntryOffset(i)) != 0)
            cells.insert(
                {static_cast<int32_t>(i % head.columns), static_cast<int32_t>(i / head.columns)});
    }
    return cells;
}

// The centre of absolute cell (x, y) of a layer's grid.
MapPoint CellCentre(const MapLayer& layer, int32_t x, int32_t y) {
    return {layer.south + (y + 0.5f) * layer.header.cellHeight,
            layer.west + (x + 0.5f) * layer.header.cellWidth};
}

// Moves a layer's window to `radius` cells around absolute cell (x, y).
int MoveTo(CMapDatabase& db, int k, int32_t x, int32_t y, int radius) {
    const MapLayer& layer = db.layers[k];
    return db.LoadArea(k, CellCentre(layer, x, y), 2.0f * radius * layer.header.cellWidth,
                       2.0f * radius * layer.header.cellHeight, 0, 0, true, false);
}

// Every link of every loaded chunk of a layer must hang in the slots of its nodes;
// under the address sanitizer a pointer into a purged chunk fails right here.
void ExpectLinksHooked(MapLayer& layer) {
    auto check = [](const MapLink& link) {
        if (link.IsDead())
            return;
        for (int e = 0; e < 2; ++e) {
            const MapNode* node = e == 0 ? link.fromNode : link.toNode;
            ASSERT_NE(node, nullptr);
            const uint32_t slot = node->slotCount == MapNode::kSingleSlot ? 0
                                  : e == 0                                ? link.FromSlot()
                                                                          : link.ToSlot();
            ASSERT_LT(slot, node->SlotCapacity());
            EXPECT_EQ(node->Slots()[slot], &link);
            EXPECT_LT(std::fabs(node->position.latitude), 91.0f);
        }
    };
    for (int32_t y = 0; y < layer.windowH; ++y) {
        for (int32_t x = 0; x < layer.windowW; ++x) {
            MapChunk* record = layer.GetChunkRecord(x, y);
            if (!record || !record->IsLoaded())
                continue;
            for (uint32_t i = 0; i < record->header.scLinkCount; ++i)
                check(record->links[i]);
            for (ChunkLevel* level : record->levels) {
                for (uint32_t i = 0; level && i < level->linkCount; ++i)
                    check(level->links[i]);
                for (uint32_t i = 0; level && i < level->sharedCount; ++i)
                    check(level->shared[i].link->link);
            }
        }
    }
}

// The absolute cells loaded in a layer's window, with the block offset of each.
std::map<std::pair<int32_t, int32_t>, uint32_t> LoadedCells(MapLayer& layer) {
    std::map<std::pair<int32_t, int32_t>, uint32_t> cells;
    for (int32_t y = 0; y < layer.windowH; ++y) {
        for (int32_t x = 0; x < layer.windowW; ++x) {
            MapChunk* record = layer.GetChunkRecord(x, y);
            if (record && record->IsLoaded())
                cells[{layer.windowX0 + x, layer.windowY0 + y}] = record->fileOffset;
        }
    }
    // No slot outside the window may hold a chunk.
    int loadedSlots = 0;
    for (int32_t y = 0; y < layer.cacheH; ++y) {
        for (int32_t x = 0; x < layer.cacheW; ++x)
            loadedSlots += layer.GetChunkRecord(x, y)->IsLoaded();
    }
    EXPECT_EQ(loadedSlots, static_cast<int>(cells.size()));
    EXPECT_EQ(layer.loadedCount, static_cast<int32_t>(cells.size()));
    return cells;
}

class CacheWindowTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        discmaker::BuildOptions options;
        options.layout.maxNodesPerDetailedCell = 30;
        options.layout.maxNodesPerOverviewCell = 200;
        maps_ = MakeDeviceMaps(discmaker::BuildTown(5, 3000), roots_.base(), options);
        SetDataFolder(maps_);
        platform::ClearMessageBoxes();
        baseline_ = mapdb_test::StreamReadyBaseline();
    }
    void TearDown() override {
        g_dataFolder[0] = 0;
        mapdb::FailAllocationAfter(0);
    }
    void ExpectNothingLeaked() {
        InflateArena::Init(InflateArena::kInitialBlockSize);
        EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
    }

    fs::path maps_;
    long baseline_ = 0;
};

TEST_F(CacheWindowTest, EveryChunkOfTheTownLoadsThroughTheWindows) {
    const auto nonEmpty = NonEmptyCells(maps_ / "mapdata2.biz");
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& route = db.layers[3];
        std::set<std::pair<int32_t, int32_t>> seen;
        const int32_t step = 9;  // windows of 9 x 9 cells side by side
        for (int32_t y = 4; y < route.header.rows + step; y += step) {
            for (int32_t x = 4; x < route.header.columns + step; x += step) {
                ASSERT_EQ(MoveTo(db, 3, x, y, 4), 0);
                for (const auto& [cell, offset] : LoadedCells(route))
                    seen.insert(cell);
                ExpectLinksHooked(route);
            }
        }
        EXPECT_GT(nonEmpty.size(), 20u);
        EXPECT_EQ(seen, nonEmpty);
        EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    }
    ExpectNothingLeaked();
}

// Moves by 0, 1, the window's width less one, its width and more, along columns and
// rows: what is loaded afterwards is what a fresh database loads there, and cells
// that stay keep their records.
TEST_F(CacheWindowTest, MovesLeaveExactlyTheWindowLoaded) {
    CMapDatabase fresh;
    ASSERT_EQ(fresh.Open(), 0);
    const int32_t columns = fresh.layers[3].header.columns;
    const int32_t rows = fresh.layers[3].header.rows;
    ASSERT_GT(columns, 14);
    ASSERT_GT(rows, 14);
    struct Move {
        int32_t dx, dy;
    };
    const Move moves[] = {{0, 0}, {1, 0}, {0, 1}, {-1, 0}, {0, -1}, {4, 0},
                          {5, 0}, {0, 5}, {6, 6}, {-5, 0}, {0, -6}, {1, 1}};
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    int32_t x = 6, y = 6;
    ASSERT_EQ(MoveTo(db, 3, x, y, 2), 0);  // 5 x 5 cells
    ASSERT_EQ(db.layers[3].windowW, 5);
    for (const Move& move : moves) {
        SCOPED_TRACE(testing::Message() << "move " << move.dx << "," << move.dy);
        MapLayer& layer = db.layers[3];
        std::map<std::pair<int32_t, int32_t>, MapChunk*> before;
        for (int32_t cy = 0; cy < layer.windowH; ++cy) {
            for (int32_t cx = 0; cx < layer.windowW; ++cx) {
                MapChunk* record = layer.GetChunkRecord(cx, cy);
                if (record->IsLoaded())
                    before[{layer.windowX0 + cx, layer.windowY0 + cy}] = record;
            }
        }
        std::map<std::pair<int32_t, int32_t>, BYTE*> blocks;
        for (auto& [cell, record] : before)
            blocks[cell] = record->block;
        const int32_t torusX = layer.torusOffsetX;
        x += move.dx;
        y += move.dy;
        ASSERT_EQ(MoveTo(db, 3, x, y, 2), 0);
        EXPECT_EQ(layer.windowX0, x - 2);
        EXPECT_EQ(layer.windowY0, y - 2);
        EXPECT_EQ(layer.torusOffsetX,
                  ((torusX + move.dx) % layer.cacheW + layer.cacheW) % layer.cacheW);
        EXPECT_FLOAT_EQ(layer.windowWest, layer.west + (x - 2) * layer.header.cellWidth);

        CMapDatabase reference;
        ASSERT_EQ(reference.Open(), 0);
        ASSERT_EQ(MoveTo(reference, 3, x, y, 2), 0);
        const auto loaded = LoadedCells(layer);
        EXPECT_EQ(loaded, LoadedCells(reference.layers[3]));
        for (const auto& [cell, offset] : loaded) {
            auto kept = before.find(cell);
            if (kept == before.end())
                continue;
            // A cell that stays is neither read again nor moved to another slot.
            EXPECT_EQ(
                layer.GetChunkRecord(cell.first - layer.windowX0, cell.second - layer.windowY0),
                kept->second);
            EXPECT_EQ(kept->second->block, blocks[cell]);
        }
        ExpectLinksHooked(layer);
    }
    // Negative spans are spans all the same.
    MapLayer& layer = db.layers[3];
    const auto loaded = LoadedCells(layer);
    const MapPoint centre = CellCentre(layer, x, y);
    ASSERT_EQ(db.LoadArea(3, centre, -4.0f * layer.header.cellWidth,
                          -4.0f * layer.header.cellHeight, 0, 0, true, false),
              0);
    EXPECT_EQ(LoadedCells(layer), loaded);
}

TEST_F(CacheWindowTest, AOneColumnMoveDropsOneColumnAndLoadsOne) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& layer = db.layers[3];
        // Every overview chunk first, so that only detailed chunks come and go.
        ASSERT_EQ(db.LoadPinnedRange(3, 0, 0, db.layers[0].windowW, db.layers[0].windowH), 0);
        ASSERT_EQ(MoveTo(db, 3, 8, 8, 3), 0);
        const auto first = LoadedCells(layer);
        const int32_t torusX = layer.torusOffsetX;
        std::vector<MapChunk*> slots;
        for (int32_t i = 0; i < layer.slotTotal; ++i)
            slots.push_back(layer.GetChunkRecord(i % layer.cacheW, i / layer.cacheW));
        std::vector<BYTE*> blocks;
        for (MapChunk* record : slots)
            blocks.push_back(record->block);

        ASSERT_EQ(MoveTo(db, 3, 9, 8, 3), 0);
        const auto second = LoadedCells(layer);
        // Only the slots of the column that left (which the entering column takes
        // over) changed.
        std::set<int32_t> changedColumns;
        for (size_t i = 0; i < slots.size(); ++i) {
            if (slots[i]->block != blocks[i])
                changedColumns.insert(static_cast<int32_t>(i) % layer.cacheW);
        }
        // The slots, listed by the old window's columns: only those of the column that
        // left (column 0) and of the one that entered (column 7) changed.
        const std::set<int32_t> moved = {0, 7};
        EXPECT_TRUE(std::includes(moved.begin(), moved.end(), changedColumns.begin(),
                                  changedColumns.end()));
        EXPECT_EQ(layer.torusOffsetX, (torusX + 1) % layer.cacheW);
        int left = 0, entered = 0;
        for (const auto& [cell, offset] : first)
            left += cell.first == 5;
        for (const auto& [cell, offset] : second)
            entered += cell.first == 12;
        EXPECT_EQ(second.size(), first.size() - left + entered);
        EXPECT_GT(left + entered, 0);

        // Back again: the same cells, and the same number of heap blocks.
        const long live = mapdb::LiveBlocks();
        ASSERT_EQ(MoveTo(db, 3, 8, 8, 3), 0);
        ASSERT_EQ(MoveTo(db, 3, 9, 8, 3), 0);
        EXPECT_EQ(LoadedCells(layer), second);
        EXPECT_EQ(mapdb::LiveBlocks(), live);
    }
    ExpectNothingLeaked();
}

TEST_F(CacheWindowTest, AChunkSharedByTwoLayersIsDecodedOnceAndOutlivesOneOfThem) {
    auto loadedRecords = [](MapLayer& layer) {
        std::vector<MapChunk*> records;
        for (int32_t y = 0; y < layer.windowH; ++y) {
            for (int32_t x = 0; x < layer.windowW; ++x) {
                if (MapChunk* record = layer.GetChunkRecord(x, y); record->IsLoaded())
                    records.push_back(record);
            }
        }
        return records;
    };
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        ASSERT_EQ(MoveTo(db, 3, 8, 8, 3), 0);
        const auto cells3 = LoadedCells(db.layers[3]);
        ASSERT_FALSE(cells3.empty());
        // Layer 4 over the same cells copies layer 3's records: no block is read.
        const long live = mapdb::LiveBlocks();
        ASSERT_EQ(MoveTo(db, 4, 8, 8, 3), 0);
        EXPECT_EQ(mapdb::LiveBlocks(), live);
        EXPECT_EQ(LoadedCells(db.layers[4]), cells3);
        EXPECT_EQ(db.refTotal[0], db.refTotal[1]);
        EXPECT_EQ(db.linkTotal[0], db.linkTotal[1]);

        // Route-search blocks on layer 4's copies; layer 4 moves away: layer 3 keeps
        // the chunks and takes the blocks over.
        for (MapChunk* record : loadedRecords(db.layers[4]))
            ASSERT_EQ(record->AllocSearchState(nullptr), 0);
        ASSERT_EQ(MoveTo(db, 4, 30, 30, 2), 0);
        EXPECT_EQ(LoadedCells(db.layers[3]), cells3);
        for (MapChunk* record : loadedRecords(db.layers[3])) {
            ASSERT_NE(record->searchSlots, nullptr);
            if (record->header.nodeCount > 0) {
                EXPECT_EQ(record->nodes[0]->searchState, record->searchSlots);
            }
        }
        ExpectLinksHooked(db.layers[3]);

        // Back again (layer 4 takes the blocks), then layer 3 leaves: layer 4 keeps all.
        ASSERT_EQ(MoveTo(db, 4, 8, 8, 3), 0);
        ASSERT_EQ(MoveTo(db, 3, 30, 30, 2), 0);
        EXPECT_EQ(LoadedCells(db.layers[4]), cells3);
        for (MapChunk* record : loadedRecords(db.layers[4]))
            EXPECT_NE(record->searchSlots, nullptr);
        ExpectLinksHooked(db.layers[3]);
        ExpectLinksHooked(db.layers[4]);
        int32_t refs = 0;
        for (MapChunk* record : loadedRecords(db.layers[3]))
            refs += static_cast<int32_t>(record->externalRefs);
        EXPECT_EQ(db.refTotal[1], refs);
    }
    ExpectNothingLeaked();
}

// A chunk with a route-search block copied between a route layer and another keeps
// the block in the route layer's record, whichever way the copy goes.
TEST_F(CacheWindowTest, TheRouteLayersCopyHoldsTheSearchBlock) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& small = db.layers[2];
        MapLayer& route = db.layers[3];
        auto recordAt = [](MapLayer& layer, const std::pair<int32_t, int32_t>& cell) {
            return layer.GetChunkRecord(cell.first - layer.windowX0, cell.second - layer.windowY0);
        };
        ASSERT_EQ(MoveTo(db, 2, 8, 8, 1), 0);
        std::map<std::pair<int32_t, int32_t>, NodeSearchState*> blocks;
        for (const auto& [cell, offset] : LoadedCells(small)) {
            MapChunk* record = recordAt(small, cell);
            ASSERT_EQ(record->AllocSearchState(nullptr), 0);
            blocks[cell] = record->searchSlots;
        }
        ASSERT_FALSE(blocks.empty());

        // Into the route layer: the block moves over with the copy.
        ASSERT_EQ(MoveTo(db, 3, 8, 8, 1), 0);
        for (const auto& [cell, block] : blocks) {
            ASSERT_TRUE(recordAt(route, cell)->IsLoaded());
            EXPECT_EQ(recordAt(route, cell)->searchSlots, block);
            EXPECT_EQ(recordAt(small, cell)->searchSlots, nullptr);
        }
        // Out of the route layer: the small layer leaves and comes back, copying the
        // route layer's records, and the block stays where it is.
        ASSERT_EQ(MoveTo(db, 2, 30, 30, 1), 0);
        ASSERT_EQ(MoveTo(db, 2, 8, 8, 1), 0);
        for (const auto& [cell, block] : blocks) {
            ASSERT_TRUE(recordAt(small, cell)->IsLoaded());
            EXPECT_EQ(recordAt(small, cell)->searchSlots, nullptr);
            EXPECT_EQ(recordAt(route, cell)->searchSlots, block);
        }
    }
    ExpectNothingLeaked();
}

// Layers 3 and 4 wander over the whole map and back, in random steps; at every stop
// the windows hold exactly their cells with their links hooked, and afterwards
// nothing is left on the heap.
TEST_F(CacheWindowTest, RandomWindowRunsLeakNothing) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        ASSERT_EQ(db.LoadPinnedRange(3, 0, 0, db.layers[0].windowW, db.layers[0].windowH), 0);
        const int32_t columns = db.layers[3].header.columns;
        const int32_t rows = db.layers[3].header.rows;
        ASSERT_EQ(MoveTo(db, 3, 3, 3, 3), 0);
        const long atStart = mapdb::LiveBlocks();
        // Across the map by rows and back.
        for (int32_t y = 3; y < rows; y += 5) {
            for (int32_t x = 3; x < columns; x += 2)
                ASSERT_EQ(MoveTo(db, 3, x, y, 3), 0);
            for (int32_t x = columns - 1; x >= 3; x -= 3)
                ASSERT_EQ(MoveTo(db, 3, x, y, 3), 0);
        }
        ASSERT_EQ(MoveTo(db, 3, 3, 3, 3), 0);
        EXPECT_EQ(mapdb::LiveBlocks(), atStart);

        std::mt19937 random(7);
        for (int step = 0; step < 60; ++step) {
            const int k = 3 + static_cast<int>(random() % 2);
            const int32_t x = static_cast<int32_t>(random() % columns);
            const int32_t y = static_cast<int32_t>(random() % rows);
            const int radius = 1 + static_cast<int>(random() % 4);
            ASSERT_EQ(MoveTo(db, k, x, y, radius), 0);
            CMapDatabase reference;
            ASSERT_EQ(reference.Open(), 0);
            ASSERT_EQ(MoveTo(reference, k, x, y, radius), 0);
            EXPECT_EQ(LoadedCells(db.layers[k]), LoadedCells(reference.layers[k]));
            ExpectLinksHooked(db.layers[3]);
            ExpectLinksHooked(db.layers[4]);
        }
        EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    }
    ExpectNothingLeaked();
}

// A shortage at any allocation of a window load ends in 2, leaves no half-built
// chunk behind and no block on the heap; the next load works.
TEST_F(CacheWindowTest, AShortageDuringALoadLeavesNothingHalfBuilt) {
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        ASSERT_EQ(db.LoadPinnedRange(3, 0, 0, db.layers[0].windowW, db.layers[0].windowH), 0);
        int shortages = 0;
        for (long n = 1; n < 400; n += 7) {
            ASSERT_EQ(MoveTo(db, 3, 20, 20, 2), 0);
            mapdb::FailAllocationAfter(n);
            const int result = MoveTo(db, 3, 8, 8, 2);
            mapdb::FailAllocationAfter(0);
            ASSERT_TRUE(result == 0 || result == 2) << result;
            shortages += result == 2;
            LoadedCells(db.layers[3]);
            ExpectLinksHooked(db.layers[3]);
        }
        EXPECT_GT(shortages, 10);
    }
    ExpectNothingLeaked();
}

// Corrupt blocks of the detailed container: the load reports 4 with the read-error
// box, the database stays usable and closes cleanly.
TEST_F(CacheWindowTest, CorruptChunksEndInTheReadErrorAndACleanClose) {
    const fs::path file = maps_ / "mapdata2.biz";
    const std::vector<uint8_t> original = FileBytes(file);
    const container::GridHeader head = container::DecodeHeader(original.data());
    // The non-empty cell nearest (8, 8).
    uint32_t cell = 0;
    int best = 1 << 30;
    for (uint32_t i = 0; i < container::CellCount(head); ++i) {
        const int distance = std::abs(static_cast<int>(i % head.columns) - 8) +
                             std::abs(static_cast<int>(i / head.columns) - 8);
        if (container::LoadU32(original.data() + container::CellEntryOffset(i)) &&
            distance < best) {
            best = distance;
            cell = i;
        }
    }
    const uint32_t offset = container::LoadU32(original.data() + container::CellEntryOffset(cell));
    const int32_t cx = static_cast<int32_t>(cell % head.columns);
    const int32_t cy = static_cast<int32_t>(cell / head.columns);

    // The chunk's own payload, to corrupt it after inflating.
    std::vector<uint8_t> payload;
    {
        mapdb_test::MemoryInput input(original);
        ASSERT_TRUE(input.Seek(offset));
        ASSERT_EQ(mapdb_test::InflateBlock(input), 0);
        payload.assign(g_chunkStream.data, g_chunkStream.data + g_chunkStream.rawSize);
    }
    auto appendBlock = [&](std::vector<uint8_t>& bytes, const std::vector<uint8_t>& raw,
                           int64_t rawSize) {
        const std::vector<uint8_t> block = mapdb_test::MakeBlock(raw, rawSize);
        const uint32_t at = static_cast<uint32_t>(bytes.size());
        bytes.insert(bytes.end(), block.begin(), block.end());
        formats::StoreU32(bytes.data() + container::CellEntryOffset(cell), at);
    };
    // An offset or size the file cannot hold is refused when the map opens; a block
    // that does not inflate, or a payload that decodes wrongly, is reported with a
    // box when it is loaded (by the loader or by the decoder).
    enum When { kAtOpen, kAtLoad };
    struct Case {
        const char* name;
        When when;
        std::function<void(std::vector<uint8_t>&)> corrupt;
    };
    const Case cases[] = {
        {"offset past the end", kAtOpen,
         [&](std::vector<uint8_t>& b) {
             formats::StoreU32(b.data() + container::CellEntryOffset(cell),
                               static_cast<uint32_t>(b.size() + 100));
         }},
        {"stream cut short", kAtOpen, [&](std::vector<uint8_t>& b) { b.resize(offset + 20); }},
        {"garbage stream", kAtLoad,
         [&](std::vector<uint8_t>& b) {
             for (size_t i = offset + 10; i < std::min(b.size(), size_t{offset} + 60); ++i)
                 b[i] ^= 0x5A;
         }},
        {"raw size past 8 MB", kAtOpen,
         [&](std::vector<uint8_t>& b) { appendBlock(b, payload, 9 << 20); }},
        {"node count past the payload", kAtLoad,
         [&](std::vector<uint8_t>& b) {
             std::vector<uint8_t> raw = payload;
             formats::StoreU16(raw.data() + 2, 0xFFF0);
             appendBlock(b, raw, -1);
         }},
        {"payload cut short", kAtLoad,
         [&](std::vector<uint8_t>& b) {
             std::vector<uint8_t> raw(payload.begin(), payload.begin() + payload.size() / 2);
             appendBlock(b, raw, -1);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = original;
        c.corrupt(bytes);
        WriteBytes(file, bytes);
        platform::ClearMessageBoxes();
        {
            CMapDatabase db;
            if (c.when == kAtOpen) {
                EXPECT_EQ(db.Open(), -1);
                ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
                EXPECT_EQ(platform::ShownMessageBoxes()[0].text,
                          u"Missing or corrupted mapdata file");
            }
        }
        if (c.when == kAtOpen) {
            ExpectNothingLeaked();
            continue;
        }
        platform::ClearMessageBoxes();
        {
            CMapDatabase db;
            ASSERT_EQ(db.Open(), 0);
            EXPECT_EQ(MoveTo(db, 3, cx, cy, 2), 4);
            const auto boxes = platform::ShownMessageBoxes();
            EXPECT_FALSE(boxes.empty());
            for (const auto& box : boxes)
                EXPECT_EQ(box.caption, u"ERROR");
            // The window still covers what was loaded; the next move drops it all.
            LoadedCells(db.layers[3]);
            ExpectLinksHooked(db.layers[3]);
            EXPECT_FALSE(db.layers[3]
                             .GetChunkRecord(cx - db.layers[3].windowX0, cy - db.layers[3].windowY0)
                             ->IsLoaded());
            EXPECT_EQ(MoveTo(db, 3, cx + 20, cy + 20, 1), 0);
        }
        ExpectNothingLeaked();
    }
    WriteBytes(file, original);
}

TEST(CacheWindowAndorraTest, EveryChunkOfTheAndorraMapLoads) {
    const fs::path extract = testing_support::SharedOsmFolder() / "andorra.osm.pbf";
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared data folder is absent";
    testing_support::TempRoots roots;
    const fs::path maps = MakeDeviceMaps(discmaker::ReadOsm(extract, "ON"), roots.base());
    SetDataFolder(maps);
    platform::ClearMessageBoxes();
    const long baseline = mapdb_test::StreamReadyBaseline();
    const auto nonEmpty = NonEmptyCells(maps / "mapdata2.biz");
    {
        CMapDatabase db;
        ASSERT_EQ(db.Open(), 0);
        MapLayer& route = db.layers[3];
        std::set<std::pair<int32_t, int32_t>> seen;
        const int32_t step = 41;
        for (int32_t y = 20; y < route.header.rows + step; y += step) {
            for (int32_t x = 20; x < route.header.columns + step; x += step) {
                ASSERT_EQ(MoveTo(db, 3, x, y, 20), 0);
                for (const auto& [cell, offset] : LoadedCells(route))
                    seen.insert(cell);
                ExpectLinksHooked(route);
            }
        }
        EXPECT_EQ(seen, nonEmpty);
        EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    }
    InflateArena::Init(InflateArena::kInitialBlockSize);
    EXPECT_EQ(mapdb::LiveBlocks(), baseline);
    g_dataFolder[0] = 0;
}

}  // namespace
