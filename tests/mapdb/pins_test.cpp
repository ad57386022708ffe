// Pins on the overview chunks of the built-in town's device files: their release and
// refresh, loading pinned ranges from either overview file, and the route search's
// steps into chunks not loaded yet (also over a hand-made grid whose road crosses a
// whole cell).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <utility>
#include <vector>

#include "formats/chunk_payload.h"
#include "formats/little_endian.h"
#include "formats/map_container.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/display_values.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/router_services.h"
#include "platform/kernel/msgbox.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/temp_root.h"
#include "tools/quiet_main_view.h"

namespace {

namespace fs = std::filesystem;
namespace container = formats::map_container;
namespace payload = formats::chunk_payload;
using Cell = std::pair<int32_t, int32_t>;

constexpr uint32_t kMapViewPin = 0x2;
constexpr uint32_t kSmallLayerPin = 0x1;

class FakeMainView final : public QuietMainView {
  public:
    BOOL IsShuttingDown() override { return shuttingDown; }

    BOOL shuttingDown = FALSE;
};

class FakeDisplayValues final : public DefaultMapDisplayValues {
  public:
    bool IsCloseZoom() override { return closeZoom; }
    bool closeZoom = false;
};

class FakeRouter final : public IRouterServices {
  public:
    void SetStateBits(uint32_t bits) override { state |= bits; }
    uint32_t GetState() override { return state; }
    void ApplyAvoidMarks(MapChunk& chunk) override { marked.push_back(&chunk); }

    uint32_t state = 0;
    std::vector<MapChunk*> marked;
};

// The grid maps without "mapdatat.biz", in the test's own root.
fs::path CopyWithoutReducedFile(const fs::path& base) {
    const fs::path folder = base / "NoT";
    fs::create_directories(folder);
    for (const fs::directory_entry& entry : fs::directory_iterator(mapdb_test::GridMapsFolder())) {
        if (entry.path().filename() != "mapdatat.biz")
            fs::copy_file(entry.path(), folder / entry.path().filename());
    }
    return folder;
}

class PinsTest : public testing_support::RootsTest {
  protected:
    static void SetUpTestSuite() { mapdb_test::GridMapsFolder(); }

    void SetUp() override {
        mapdb_test::SetDataFolder(mapdb_test::GridMapsFolder());
        platform::ClearMessageBoxes();
        SetMapDisplayValues(&display_);
        SetRouterServices(&router_);
        baseline_ = mapdb_test::StreamReadyBaseline();
    }
    void TearDown() override {
        g_mainView.store(nullptr);
        SetMapDisplayValues(nullptr);
        SetRouterServices(nullptr);
        mapdb::FailAllocationAfter(0);
        mapdb_test::SetDataFolder({});
    }

    void Open(CMapDatabase& db) {
        db.keepAuxPoints = 2;
        ASSERT_EQ(db.Open(), 0);
    }
    void ExpectNothingLeaked() {
        InflateArena::Init(InflateArena::kInitialBlockSize);
        EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
    }

    // A mark only the chunk in memory carries (a reload reads the links afresh).
    static void Stamp(MapChunk& chunk) {
        ASSERT_GT(chunk.header.scLinkCount, 0);
        for (uint32_t i = 0; i < chunk.header.scLinkCount; ++i)
            chunk.links[i].attributes |= kAttrAvoidMark;
    }
    static bool Stamped(const MapChunk& chunk) {
        for (uint32_t i = 0; i < chunk.header.scLinkCount; ++i) {
            if (!(chunk.links[i].attributes & kAttrAvoidMark))
                return false;
        }
        return chunk.header.scLinkCount > 0;
    }

    // With the main view there, a chunk of "mapdata1.biz" pinned by the map view and
    // the route search; its cell.
    Cell PinForViewAndRoute(CMapDatabase& db) {
        g_mainView.store(&view_);
        const Cell cell = LoneCellOrFirst(db);
        EXPECT_EQ(db.LoadPinnedRange(1, cell.first, cell.second, cell.first, cell.second), 0);
        EXPECT_EQ(db.LoadPinnedRange(10, cell.first, cell.second, cell.first, cell.second), 0);
        return cell;
    }
    // Opens the database and pins a chunk as PinForViewAndRoute does: the chunk, or
    // null when that failed.
    MapChunk* OpenWithPinnedChunk(CMapDatabase& db, Cell* cell) {
        db.keepAuxPoints = 2;
        EXPECT_EQ(db.Open(), 0);
        *cell = PinForViewAndRoute(db);
        return Loaded(db, *cell);
    }
    static MapChunk* Loaded(CMapDatabase& db, Cell cell) {
        MapChunk* record = db.layers[0].GetChunkRecord(cell.first, cell.second);
        return record && record->IsLoaded() ? record : nullptr;
    }
    // An overview cell with a chunk none of whose neighbours has one: its purge and
    // reload allocate nothing for joins.
    static Cell LoneCellOrFirst(CMapDatabase& db) {
        const std::vector<Cell> cells = mapdb_test::CellsWithChunks(db, 0);
        const std::set<Cell> present(cells.begin(), cells.end());
        for (const Cell& c : cells) {
            bool lone = true;
            for (int side = 0; side < payload::kSideCount; ++side)
                lone = lone && !present.count({c.first + payload::kSideColumnStep[side],
                                               c.second + payload::kSideRowStep[side]});
            if (lone)
                return c;
        }
        return cells.empty() ? Cell{-1, -1} : cells.front();
    }

    FakeMainView view_;
    FakeDisplayValues display_;
    FakeRouter router_;
    long baseline_ = 0;
};

TEST_F(PinsTest, ReleaseMarksEveryPinnedChunkToTheWindowsLastCell) {
    CMapDatabase db;
    Open(db);
    mapdb_test::LoadOverview(db);
    MapLayer& l0 = db.layers[0];
    const std::vector<Cell> cells = mapdb_test::CellsWithChunks(db, 0);
    ASSERT_GE(cells.size(), 3u);
    const Cell last = cells.back();
    // The window ends at the last cell with a chunk, so that its last column and row
    // hold one.
    l0.windowW = last.first + 1;
    l0.windowH = last.second + 1;
    for (const Cell& c : cells)
        Loaded(db, c)->flags |= kMapViewPin | kChunkRoutePin;
    MapChunk* shielded = Loaded(db, cells.front());
    shielded->flags |= kChunkPinShield;
    db.ReleaseLayerPin(1);
    for (const Cell& c : cells) {
        const MapChunk* record = Loaded(db, c);
        if (c.first >= l0.windowW || c.second >= l0.windowH)
            continue;
        SCOPED_TRACE(testing::Message() << c.first << "," << c.second);
        EXPECT_TRUE(record->flags & kChunkRoutePin);
        if (record == shielded) {
            EXPECT_EQ(record->flags & kChunkPinMask, kMapViewPin | kChunkRoutePin);
        } else {
            EXPECT_EQ(record->flags & kChunkPinMask, kChunkRefreshMark | kChunkRoutePin);
        }
    }
    EXPECT_EQ(Loaded(db, last)->flags & kChunkPinMask, kChunkRefreshMark | kChunkRoutePin);
    // A purpose without a pin bit releases nothing.
    db.ReleaseLayerPin(7);
    EXPECT_TRUE(shielded->flags & kMapViewPin);
}

// The grid maps with "mapdatat.biz" a copy of "mapdata1.biz": a reduced reload then
// gives chunks of the same nodes.
fs::path CopyWithSameReducedFile(const fs::path& base) {
    const fs::path folder = CopyWithoutReducedFile(base);
    fs::copy_file(folder / "mapdata1.biz", folder / "mapdatat.biz");
    return folder;
}

TEST_F(PinsTest, RefreshReloadsAMapViewChunkFromTheReducedFileWithItsSearchState) {
    // The town's reduced chunks have other nodes than the main ones: the old search
    // state does not fit them and goes. Chunks of the same nodes take it back.
    for (bool sameNodes : {false, true}) {
        SCOPED_TRACE(sameNodes ? "same nodes" : "reduced nodes");
        if (sameNodes)
            mapdb_test::SetDataFolder(CopyWithSameReducedFile(roots_.base()));
        CMapDatabase db;
        Cell cell;
        MapChunk* chunk = OpenWithPinnedChunk(db, &cell);
        ASSERT_NE(chunk, nullptr);
        ASSERT_FALSE(chunk->flags & kChunkFromFileT);
        ASSERT_EQ(chunk->flags & kChunkPinMask, kMapViewPin | kChunkRoutePin);
        ASSERT_EQ(chunk->AllocSearchState(nullptr), 0);
        NodeSearchState* state = chunk->searchSlots;
        ASSERT_NE(state, nullptr);
        auto entriesOf = [](const MapChunk& c) {
            uint32_t entries = 0;
            for (uint32_t i = 0; i < c.header.nodeCount; ++i)
                entries += c.nodes[i]->SlotCapacity();
            return entries;
        };
        const uint32_t entries = entriesOf(*chunk);
        ASSERT_GT(entries, 0u);
        for (uint32_t i = 0; i < entries; ++i)
            state[i].bytes[1] = static_cast<BYTE>(i * 7);
        Stamp(*chunk);

        db.ReleaseLayerPin(10);
        ASSERT_EQ(chunk->flags & kChunkPinMask, kMapViewPin | kChunkRefreshMark);
        EXPECT_EQ(db.RefreshReleasedChunks(10, false), 1);
        chunk = Loaded(db, cell);
        ASSERT_NE(chunk, nullptr);
        EXPECT_FALSE(Stamped(*chunk));
        EXPECT_TRUE(chunk->flags & kChunkFromFileT);
        EXPECT_EQ(chunk->flags & kChunkPinMask, kMapViewPin);
        // The binding the route search's load left is back.
        EXPECT_EQ(db.layers[0].file, &db.mapFileT);
        if (!sameNodes) {
            ASSERT_NE(entriesOf(*chunk), entries) << "the reduced chunk has the same nodes";
            EXPECT_EQ(chunk->searchSlots, nullptr);
            for (uint32_t i = 0; i < chunk->header.nodeCount; ++i)
                EXPECT_EQ(chunk->nodes[i]->searchState, nullptr);
        } else {
            // The block is the record's again, its entries untouched, the nodes in it.
            ASSERT_EQ(chunk->searchSlots, state);
            for (uint32_t i = 0; i < entries; ++i)
                ASSERT_EQ(state[i].bytes[1], static_cast<BYTE>(i * 7)) << i;
            NodeSearchState* next = state;
            for (uint32_t i = 0; i < chunk->header.nodeCount; ++i) {
                EXPECT_EQ(chunk->nodes[i]->searchState, next);
                next += chunk->nodes[i]->SlotCapacity();
            }
        }
        // Nothing is marked any more: a second refresh does nothing.
        EXPECT_EQ(db.RefreshReleasedChunks(10, false), 0);
    }
    ExpectNothingLeaked();
}

// A refresh that reloads a chunk finds the vehicle's road again in the new chunk.
TEST_F(PinsTest, TheVehicleFindsItsRoadAgainAfterARefresh) {
    mapdb_test::SetDataFolder(CopyWithSameReducedFile(roots_.base()));
    {
        CMapDatabase db;
        Cell cell;
        MapChunk* chunk = OpenWithPinnedChunk(db, &cell);
        ASSERT_NE(chunk, nullptr);
        const MapLink* road = nullptr;
        for (uint32_t i = 0; !road && i < chunk->header.scLinkCount; ++i) {
            const MapLink& link = chunk->links[i];
            if (!link.IsDead() && link.linkId >= 0 && (link.attributes & kAttrClassMask) <= 0xC0)
                road = &link;
        }
        ASSERT_NE(road, nullptr);
        const int32_t id = road->linkId;
        g_vehicleLocation = mapdb_test::HoldCopy(*road, id);

        db.ReleaseLayerPin(10);
        ASSERT_EQ(db.RefreshReleasedChunks(10, false), 1);
        chunk = Loaded(db, cell);
        ASSERT_NE(chunk, nullptr);
        ASSERT_TRUE(chunk->flags & kChunkFromFileT);  // read again
        const MapLink* again = nullptr;
        for (uint32_t i = 0; i < chunk->header.scLinkCount; ++i) {
            if (chunk->links[i].linkId == id)
                again = &chunk->links[i];
        }
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(g_vehicleLocation.link, again);
        EXPECT_EQ(g_vehicleLocation.tag, 10u);
        g_vehicleLocation = MapLocation{};
    }
    ExpectNothingLeaked();
}

TEST_F(PinsTest, RefreshLeavesChunksItMustNotReloadAndDropsUnpinnedOnes) {
    enum class Why { kNoReload, kCloseZoom, kNoMainView, kShuttingDown, kDisplayPin, kNoneLeft };
    for (Why why : {Why::kNoReload, Why::kCloseZoom, Why::kNoMainView, Why::kShuttingDown,
                    Why::kDisplayPin, Why::kNoneLeft}) {
        SCOPED_TRACE(static_cast<int>(why));
        {
            CMapDatabase db;
            Open(db);
            g_mainView.store(why == Why::kNoMainView ? nullptr : &view_);
            display_.closeZoom = why == Why::kCloseZoom;
            const Cell cell = LoneCellOrFirst(db);
            ASSERT_EQ(db.LoadPinnedRange(10, cell.first, cell.second, cell.first, cell.second), 0);
            // Layer 1's pin on a chunk from the main file.
            ASSERT_EQ(db.LoadPinnedRange(why == Why::kDisplayPin ? 2 : 1, cell.first, cell.second,
                                         cell.first, cell.second),
                      0);
            MapChunk* chunk = Loaded(db, cell);
            ASSERT_NE(chunk, nullptr);
            ASSERT_FALSE(chunk->flags & kChunkFromFileT);
            if (why == Why::kNoneLeft)
                chunk->flags &= ~kMapViewPin;
            const uint32_t left = chunk->flags & kChunkPinMask & ~kChunkRoutePin;
            Stamp(*chunk);
            db.ReleaseLayerPin(10);
            view_.shuttingDown = why == Why::kShuttingDown;
            const int changed = db.RefreshReleasedChunks(10, why == Why::kNoReload);
            view_.shuttingDown = FALSE;
            if (why == Why::kNoneLeft) {
                EXPECT_EQ(changed, 1);
                EXPECT_EQ(Loaded(db, cell), nullptr);
                EXPECT_EQ(db.layers[0].loadedCount, 0);
            } else {
                EXPECT_EQ(changed, 0);
                chunk = Loaded(db, cell);
                ASSERT_NE(chunk, nullptr);
                EXPECT_TRUE(Stamped(*chunk));
                EXPECT_EQ(chunk->flags & kChunkPinMask, left);
            }
        }
        ExpectNothingLeaked();
    }
    display_.closeZoom = false;
}

TEST_F(PinsTest, RefreshWithoutTheReducedFileKeepsWhatOthersPin) {
    mapdb_test::SetDataFolder(CopyWithoutReducedFile(roots_.base()));
    {
        CMapDatabase db;
        Open(db);
        ASSERT_FALSE(db.mapFileT.IsOpen());
        g_mainView.store(&view_);
        const std::vector<Cell> cells = mapdb_test::CellsWithChunks(db, 0);
        ASSERT_GE(cells.size(), 2u);
        const Cell kept = cells[0], dropped = cells[1];
        ASSERT_EQ(db.LoadPinnedRange(10, kept.first, kept.second, dropped.first, dropped.second),
                  0);
        // The route search falls back on the main file rather than failing.
        EXPECT_EQ(db.layers[0].file, &db.mapFile1);
        ASSERT_NE(Loaded(db, kept), nullptr);
        ASSERT_NE(Loaded(db, dropped), nullptr);
        ASSERT_EQ(db.LoadPinnedRange(1, kept.first, kept.second, kept.first, kept.second), 0);
        Stamp(*Loaded(db, kept));
        db.ReleaseLayerPin(10);
        EXPECT_EQ(db.RefreshReleasedChunks(10, false), 1);
        ASSERT_NE(Loaded(db, kept), nullptr);
        EXPECT_TRUE(Stamped(*Loaded(db, kept)));
        EXPECT_EQ(Loaded(db, kept)->flags & kChunkPinMask, kMapViewPin);
        EXPECT_EQ(Loaded(db, dropped), nullptr);
    }
    ExpectNothingLeaked();
}

// The map view lets go of a chunk the route search still holds: the chunk comes back
// with other nodes, and the router is told.
TEST_F(PinsTest, AReloadUnderTheRouteSearchMarksTheRouter) {
    {
        CMapDatabase db;
        Open(db);
        const Cell cell = PinForViewAndRoute(db);
        ASSERT_FALSE(Loaded(db, cell)->flags & kChunkFromFileT);
        router_.state = 0;
        db.ReleaseLayerPin(1);
        EXPECT_EQ(db.RefreshReleasedChunks(1, false), 1);
        MapChunk* chunk = Loaded(db, cell);
        ASSERT_NE(chunk, nullptr);
        EXPECT_TRUE(chunk->flags & kChunkFromFileT);
        EXPECT_EQ(chunk->flags & kChunkPinMask, kChunkRoutePin);
        EXPECT_EQ(router_.state, kRouterChunkReloaded);
    }
    ExpectNothingLeaked();
}

TEST_F(PinsTest, AFailedReducedReloadReadsTheMainFileAgain) {
    {
        CMapDatabase db;
        Open(db);
        const Cell cell = PinForViewAndRoute(db);
        MapChunk* chunk = Loaded(db, cell);
        ASSERT_EQ(chunk->AllocSearchState(nullptr), 0);
        NodeSearchState* state = chunk->searchSlots;
        db.ReleaseLayerPin(10);
        // The next allocation, the first of the reduced reload, fails.
        mapdb::FailAllocationAfter(1);
        EXPECT_EQ(db.RefreshReleasedChunks(10, false), 1);
        mapdb::FailAllocationAfter(0);
        chunk = Loaded(db, cell);
        ASSERT_NE(chunk, nullptr);
        EXPECT_FALSE(chunk->flags & kChunkFromFileT);
        EXPECT_EQ(chunk->flags & kChunkPinMask, kMapViewPin);
        EXPECT_EQ(chunk->searchSlots, state);
        EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    }
    ExpectNothingLeaked();
}

TEST_F(PinsTest, LoadPinnedRangeClampsAndSwapsReducedChunksForMainOnes) {
    {
        CMapDatabase db;
        Open(db);
        MapLayer& l0 = db.layers[0];
        const std::vector<Cell> cells = mapdb_test::CellsWithChunks(db, 0);
        auto inRange = [](const Cell& c) { return c.first <= 1 && c.second <= 1; };
        const auto expected = std::count_if(cells.begin(), cells.end(), inRange);
        ASSERT_GT(expected, 0);

        // Partly outside the window: only the clamped part is loaded.
        ASSERT_EQ(db.LoadPinnedRange(10, -3, -3, 1, 1), 0);
        EXPECT_EQ(l0.file, &db.mapFileT);
        EXPECT_EQ(l0.loadedCount, expected);
        for (const Cell& c : cells) {
            const MapChunk* record = Loaded(db, c);
            ASSERT_EQ(record != nullptr, inRange(c));
            if (record) {
                EXPECT_TRUE(record->flags & kChunkFromFileT);
                EXPECT_EQ(record->flags & kChunkPinMask, kChunkRoutePin);
            }
        }
        EXPECT_EQ(router_.state, 0u);

        // The map view wants the main file's chunks: swapped, both pins kept.
        ASSERT_EQ(db.LoadPinnedRange(1, 0, 0, 1, 1), 0);
        EXPECT_EQ(l0.file, &db.mapFile1);
        EXPECT_EQ(router_.state, kRouterChunkReloaded);
        EXPECT_EQ(l0.loadedCount, expected);
        for (const Cell& c : cells) {
            if (const MapChunk* record = Loaded(db, c)) {
                EXPECT_FALSE(record->flags & kChunkFromFileT);
                EXPECT_EQ(record->flags & kChunkPinMask, kChunkRoutePin | kMapViewPin);
            }
        }

        // A chunk a walk swapped already is only unmarked; a display pin clears the
        // walk's mark even when taken from the reduced file.
        MapChunk* first = nullptr;
        Cell firstCell{};
        for (const Cell& c : cells) {
            if (inRange(c)) {
                first = Loaded(db, c);
                firstCell = c;
                break;
            }
        }
        first->flags |= kChunkReloadedByWalk | kChunkFromFileT;
        Stamp(*first);
        router_.state = 0;
        ASSERT_EQ(db.LoadPinnedRange(4, firstCell.first, firstCell.second, firstCell.first,
                                     firstCell.second),
                  0);
        EXPECT_TRUE(Stamped(*first));
        EXPECT_FALSE(first->flags & (kChunkReloadedByWalk | kChunkFromFileT));
        EXPECT_EQ(router_.state, 0u);
        first->flags |= kChunkReloadedByWalk;
        ASSERT_EQ(db.LoadPinnedRange(2, firstCell.first, firstCell.second, firstCell.first,
                                     firstCell.second, true),
                  0);
        EXPECT_TRUE(Stamped(*first));
        EXPECT_FALSE(first->flags & kChunkReloadedByWalk);
        EXPECT_TRUE(first->flags & kSmallLayerPin);
        EXPECT_EQ(l0.file, &db.mapFileT);
    }
    ExpectNothingLeaked();
}

TEST_F(PinsTest, SetRouteAreaClampsAndPinsLoadedChunks) {
    CMapDatabase db;
    Open(db);
    mapdb_test::LoadOverview(db);
    MapLayer& l0 = db.layers[0];
    db.SetRouteArea(-5, -5, 1, 1000);
    EXPECT_EQ(db.routeArea[0], 0);
    EXPECT_EQ(db.routeArea[1], 0);
    EXPECT_EQ(db.routeArea[2], 1);
    EXPECT_EQ(db.routeArea[3], l0.windowH - 1);
    for (const Cell& c : mapdb_test::CellsWithChunks(db, 0))
        EXPECT_EQ((Loaded(db, c)->flags & kChunkRoutePin) != 0, c.first <= 1);
}

// A link of a loaded overview chunk that ends at a border node of a side whose
// neighbour cell holds a chunk not loaded: the chunk is loaded alone, and the link,
// its border stub and the neighbour cell are given.
struct Crossing {
    MapLink* link = nullptr;
    MapNode* stub = nullptr;
    Cell home{-1, -1};
    Cell neighbour{-1, -1};
};

Crossing FindPlainCrossing(CMapDatabase& db, bool lowSide) {
    const std::vector<Cell> cells = mapdb_test::CellsWithChunks(db, 0);
    const std::set<Cell> present(cells.begin(), cells.end());
    for (const Cell& c : cells) {
        EXPECT_EQ(db.GetChunk(0, c.first, c.second), 0);
        MapChunk* chunk = db.layers[0].GetChunkRecord(c.first, c.second);
        for (int side = 0; side < payload::kSideCount; ++side) {
            if ((side == payload::kSideWest || side == payload::kSideSouth) != lowSide)
                continue;
            const Cell n{c.first + payload::kSideColumnStep[side],
                         c.second + payload::kSideRowStep[side]};
            ChunkLevel* level = chunk->levels[side];
            if (!level || !level->nodes || !present.count(n))
                continue;
            for (uint32_t j = 0; j < level->linkCount; ++j) {
                MapLink& link = level->links[j];
                if (link.IsDead() || !link.fromNode || !link.toNode)
                    continue;
                MapNode* stub =
                    link.fromNode->slotCount == MapNode::kSingleSlot ? link.fromNode : link.toNode;
                if (stub->slotCount == MapNode::kSingleSlot)
                    return {&link, stub, c, n};
            }
        }
        MapChunk::RebuildLevels(db.layers[0], c.first, c.second, false);
    }
    return {};
}

TEST_F(PinsTest, StepAcrossChunkLoadsTheNeighbourOnlyInsideTheRouteArea) {
    // Crossings of the west or south border and of the east or north one: a border
    // stub lies on the border line, which may round into either cell.
    for (int run = 0; run < 4; ++run) {
        const bool withReducedFile = run < 2;
        const bool lowSide = run % 2 == 1;
        SCOPED_TRACE(testing::Message() << (withReducedFile ? "mapdatat.biz" : "no mapdatat.biz")
                                        << (lowSide ? ", west or south" : ", east or north"));
        if (run == 2)
            mapdb_test::SetDataFolder(CopyWithoutReducedFile(roots_.base()));
        router_.marked.clear();
        {
            CMapDatabase db;
            Open(db);
            MapLayer& l0 = db.layers[0];
            const Crossing crossing = FindPlainCrossing(db, lowSide);
            ASSERT_NE(crossing.link, nullptr) << "no crossing overview link in the town";
            MapNode* far = crossing.link->fromNode == crossing.stub ? crossing.link->toNode
                                                                    : crossing.link->fromNode;
            int slot = -1;
            for (uint32_t s = 0; s < far->SlotCapacity(); ++s) {
                if (far->Slots()[s] == crossing.link)
                    slot = static_cast<int>(s);
            }
            ASSERT_GE(slot, 0);

            // Only the home cell may be loaded: the stub stays what it is.
            db.SetRouteArea(crossing.home.first, crossing.home.second, crossing.home.first,
                            crossing.home.second);
            MapLink* link = crossing.link;
            int outOfMemory = -1;
            EXPECT_EQ(db.StepAcrossChunk(crossing.stub, link, outOfMemory), crossing.stub);
            EXPECT_EQ(outOfMemory, 0);
            EXPECT_EQ(link, crossing.link);
            EXPECT_EQ(Loaded(db, crossing.neighbour), nullptr);
            EXPECT_EQ(l0.loadedCount, 1);
            EXPECT_TRUE(router_.marked.empty());

            // Out of memory on the load: said so, nothing changed.
            db.SetRouteArea(0, 0, l0.windowW - 1, l0.windowH - 1);
            mapdb::FailAllocationAfter(1);
            EXPECT_EQ(db.StepAcrossChunk(crossing.stub, link, outOfMemory), crossing.stub);
            mapdb::FailAllocationAfter(0);
            EXPECT_EQ(outOfMemory, 1);
            EXPECT_EQ(Loaded(db, crossing.neighbour), nullptr);
            EXPECT_EQ(l0.file, &db.mapFile1);

            // Inside: the neighbour is loaded compact, avoid-marked and pinned, and
            // the stub gives way to the real node of the joined link.
            db.keepAuxPoints = 2;
            MapNode* real = db.StepAcrossChunk(crossing.stub, link, outOfMemory);
            EXPECT_EQ(outOfMemory, 0);
            EXPECT_EQ(db.keepAuxPoints, 2u);
            EXPECT_EQ(l0.file, &db.mapFile1);
            MapChunk* neighbour = Loaded(db, crossing.neighbour);
            ASSERT_NE(neighbour, nullptr);
            EXPECT_EQ((neighbour->flags & kChunkFromFileT) != 0, withReducedFile);
            EXPECT_TRUE(neighbour->flags & kChunkRoutePin);
            EXPECT_EQ(router_.marked, std::vector<MapChunk*>{neighbour});
            ASSERT_NE(real, nullptr);
            EXPECT_NE(real, crossing.stub);
            EXPECT_NE(real->slotCount, MapNode::kSingleSlot);
            EXPECT_GE(neighbour->GetNodeIndex(real), 0);
            EXPECT_EQ(link, far->Slots()[slot]);
            EXPECT_TRUE((link->fromNode == far && link->toNode == real) ||
                        (link->toNode == far && link->fromNode == real));

            // A real node of a loaded chunk: pinned, returned as it is.
            Loaded(db, crossing.home)->flags &= ~kChunkRoutePin;
            MapLink* back = link;
            EXPECT_EQ(db.StepAcrossChunk(far, back, outOfMemory), far);
            EXPECT_EQ(back, link);
            EXPECT_TRUE(Loaded(db, crossing.home)->flags & kChunkRoutePin);
            EXPECT_EQ(router_.marked.size(), 1u);
        }
        ExpectNothingLeaked();
    }
}

// A hand-made overview grid A | B | C of one row: one road from interior node a0
// across the whole of B to interior node c0, a counted link in each cell.
fs::path WriteCrossingRoad(const fs::path& base) {
    const fs::path maps = base / "Road";
    fs::create_directories(maps);
    mapdb_test::WriteRowContainer(
        maps / "mapdata1.biz", mapdb_test::kRoadCell, mapdb_test::kRoadCell, 3,
        mapdb_test::ThreeCellRoad(
            {mapdb_test::Pos(mapdb_test::kRoadLatitude, mapdb_test::RoadLongitude(1.5f))}));
    mapdb_test::WriteRowContainer(maps / "mapdata2.biz", mapdb_test::kRoadCell / 2,
                                  mapdb_test::kRoadCell, 6, {});
    return maps;
}

TEST_F(PinsTest, StepAcrossChunkFollowsACountedLinkThroughEveryCellItCrosses) {
    mapdb_test::SetDataFolder(WriteCrossingRoad(roots_.base()));
    // From a0 towards the to-end, and from c0 towards the from-end; with the route
    // area ending at B the walk stops at B's far border.
    for (int from : {0, 2}) {
        for (int32_t areaEnd : {2, 1}) {
            SCOPED_TRACE(testing::Message() << "from cell " << from << ", area to " << areaEnd);
            {
                CMapDatabase db;
                Open(db);
                MapLayer& l0 = db.layers[0];
                ASSERT_EQ(l0.windowW, 3);
                ASSERT_EQ(db.GetChunk(0, from, 0), 0);
                MapChunk* home = Loaded(db, {from, 0});
                ASSERT_NE(home, nullptr);
                ChunkLevel* side =
                    home->levels[from == 0 ? payload::kSideEast : payload::kSideWest];
                ASSERT_TRUE(side && side->sharedCount == 1);
                MapLink* link = &side->shared[0].link->link;
                MapNode* start = home->nodes[0];
                MapNode* stub = from == 0 ? link->toNode : link->fromNode;
                ASSERT_EQ(stub->slotCount, MapNode::kSingleSlot);
                db.SetRouteArea(from == 0 ? 0 : 3 - areaEnd - 1, 0, from == 0 ? areaEnd : 2, 0);

                int outOfMemory = -1;
                MapLink* walked = link;
                MapNode* result = db.StepAcrossChunk(stub, walked, outOfMemory);
                EXPECT_EQ(outOfMemory, 0);
                EXPECT_EQ(walked, &side->shared[0].link->link);
                EXPECT_EQ(start->Slots()[0], walked);
                ASSERT_NE(Loaded(db, {1, 0}), nullptr);
                EXPECT_TRUE(Loaded(db, {1, 0})->flags & kChunkRoutePin);
                const int far = 2 - from;
                if (areaEnd == 2) {
                    MapChunk* end = Loaded(db, {far, 0});
                    ASSERT_NE(end, nullptr);
                    EXPECT_TRUE(end->flags & kChunkRoutePin);
                    EXPECT_EQ(result, end->nodes[0]);
                    EXPECT_EQ(from == 0 ? walked->toNode : walked->fromNode, result);
                    EXPECT_EQ(router_.marked.size(), 2u);
                } else {
                    EXPECT_EQ(Loaded(db, {far, 0}), nullptr);
                    ASSERT_NE(result, nullptr);
                    EXPECT_EQ(result->slotCount, MapNode::kSingleSlot);
                    EXPECT_NE(result, stub);
                    EXPECT_EQ(from == 0 ? walked->toNode : walked->fromNode, result);
                }
                EXPECT_EQ(l0.file, &db.mapFile1);
                router_.marked.clear();
            }
            ExpectNothingLeaked();
        }
    }
}

}  // namespace
