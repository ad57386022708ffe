#include "tests/mapdb/grid_maps.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>

#include "formats/chunk_payload.h"
#include "formats/link_info.h"
#include "formats/map_container.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/link_iterator.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "pathlume/mapdb/name_codes.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/device_maps.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace mapdb_test {

namespace fs = std::filesystem;

const discmaker::Network& GridMapsTown() {
    static const discmaker::Network town = discmaker::BuildTown(5, 1500);
    return town;
}

const fs::path& GridMapsFolder() {
    static const testing_support::GeneratedDeviceMaps maps = [] {
        discmaker::BuildOptions options;
        options.layout.maxNodesPerDetailedCell = 60;
        options.layout.maxNodesPerOverviewCell = 200;
        return testing_support::GeneratedDeviceMaps(GridMapsTown(), options, "grid-maps");
    }();
    return maps.folder();
}

void SetDataFolder(const fs::path& folder) {
    testing_support::SetDataFolder(folder);
}

}  // namespace mapdb_test

namespace mapdb_test {

namespace {

bool IsScLink(const MapChunk& chunk, const MapLink* link) {
    return chunk.links && link >= chunk.links && link < chunk.links + chunk.header.scLinkCount;
}

bool WithinLimit(const MapLink& link, uint32_t classLimit) {
    return (link.attributes & kAttrClassMask) <= classLimit;
}

bool ReducedClass3(const MapLink& link) {
    return (link.attributes & kAttrReducedDetail) && (link.attributes & kAttrClassMask) == 0xC0;
}

bool EndHolds(const MapNode* node, const MapLink* link, bool fromEnd) {
    if (!node)
        return false;
    if (node->slotCount == MapNode::kSingleSlot)
        return node->Slots()[0] == link;
    const uint32_t slot = fromEnd ? link->FromSlot() : link->ToSlot();
    return slot < node->slotCount && node->Slots()[slot] == link;
}

}  // namespace

std::string WalkResult::Describe() const {
    return "returned " + std::to_string(returned.size()) + ", expected " +
           std::to_string(expected.size()) + ", duplicates " + std::to_string(duplicates) +
           ", chunks " + std::to_string(chunks) + ", unreached hooked " +
           std::to_string(unreachedHooked) + ", bad ends " + std::to_string(badEnds);
}

WalkResult WalkAndCheck(CMapDatabase& db, int layerIndex, int32_t x0, int32_t y0, int32_t x1,
                        int32_t y1, uint32_t classLimit, uint32_t pinMask) {
    WalkResult result;
    MapLayer& layer = db.layers[layerIndex];
    LinkIterator it;
    it.pinMask = pinMask;
    if (it.Init(layer, x0, y0, x1, y1, classLimit, 7) == 0) {
        for (MapLink* link = it.Next(); link; link = it.Next())
            result.returned.push_back(link);
    }
    std::map<MapLink*, int> seen;
    for (MapLink* link : result.returned) {
        if (++seen[link] == 2)
            ++result.duplicates;
        const bool ed = (link->flags & kLinkEd) != 0;
        // An ed link's ends may be border nodes or placeholders; all must hold it.
        if (!EndHolds(link->fromNode, link, true) || !EndHolds(link->toNode, link, false)) {
            if (!ed || link->fromNode == nullptr || link->toNode == nullptr)
                ++result.badEnds;
        }
    }

    const int32_t cx0 = std::max(x0, 0), cy0 = std::max(y0, 0);
    const int32_t cx1 = std::min(x1, layer.windowW - 1), cy1 = std::min(y1, layer.windowH - 1);
    for (int32_t y = cy0; y <= cy1; ++y) {
        for (int32_t x = cx0; x <= cx1; ++x) {
            MapChunk* chunk = layer.GetChunkRecord(x, y);
            if (!chunk || !chunk->IsLoaded() ||
                (pinMask && !(chunk->flags & kChunkPinMask & pinMask)))
                continue;
            ++result.chunks;
            for (uint32_t i = 0; chunk->links && i < chunk->header.scLinkCount; ++i) {
                MapLink& link = chunk->links[i];
                if (!link.IsDead() && WithinLimit(link, classLimit))
                    result.expected.insert(&link);
            }
            for (ChunkLevel* level : chunk->levels) {
                if (!level)
                    continue;
                for (uint32_t j = 0; level->links && j < level->linkCount; ++j) {
                    MapLink& link = level->links[j];
                    if (!link.IsDead() && WithinLimit(link, classLimit) && !ReducedClass3(link))
                        result.expected.insert(&link);
                }
                for (uint32_t e = 0; level->shared && e < level->sharedCount; ++e) {
                    CountedLink* counted = level->shared[e].link;
                    if (counted && !counted->link.IsDead() &&
                        WithinLimit(counted->link, classLimit) && !ReducedClass3(counted->link))
                        result.expected.insert(&counted->link);
                }
            }
            // Every live link hooked into this chunk's nodes must be among them.
            auto hooked = [&](const MapNode* node) {
                for (uint32_t s = 0; s < node->SlotCapacity(); ++s) {
                    MapLink* link = node->Slots()[s];
                    if (!link || link->IsDead() || !WithinLimit(*link, classLimit) ||
                        (ReducedClass3(*link) && !IsScLink(*chunk, link)))
                        continue;
                    if (!seen.count(link))
                        ++result.unreachedHooked;
                }
            };
            for (uint32_t i = 0; chunk->nodes && i < chunk->header.nodeCount; ++i)
                hooked(chunk->nodes[i]);
            for (ChunkLevel* level : chunk->levels) {
                for (uint32_t j = 0; level && level->nodes && j < level->nodeCount; ++j)
                    hooked(&level->nodes[j]);
            }
        }
    }
    return result;
}

void ExpectWalkReturnsEachLinkOnce(CMapDatabase& db, int layerIndex, int32_t x0, int32_t y0,
                                   int32_t x1, int32_t y1, uint32_t classLimit, uint32_t pinMask) {
    const WalkResult walk = WalkAndCheck(db, layerIndex, x0, y0, x1, y1, classLimit, pinMask);
    EXPECT_EQ(walk.duplicates, 0) << walk.Describe();
    EXPECT_EQ(std::set<MapLink*>(walk.returned.begin(), walk.returned.end()), walk.expected)
        << walk.Describe();
    EXPECT_EQ(walk.unreachedHooked, 0) << walk.Describe();
    EXPECT_EQ(walk.badEnds, 0) << walk.Describe();
}

void SetWindow(MapLayer& layer, int32_t firstX, int32_t firstY, int32_t w, int32_t h) {
    layer.windowX0 = firstX;
    layer.windowY0 = firstY;
    layer.windowW = w;
    layer.windowH = h;
    layer.windowX1 = firstX + w - 1;
    layer.windowY1 = firstY + h - 1;
    layer.torusOffsetX = layer.torusOffsetY = 0;
}

void LoadOverview(CMapDatabase& db) {
    MapLayer& l0 = db.layers[0];
    for (int32_t y = 0; y < l0.header.rows; ++y) {
        for (int32_t x = 0; x < l0.header.columns; ++x)
            ASSERT_EQ(db.GetChunk(0, x, y), 0);
    }
}

std::vector<std::pair<int32_t, int32_t>> CellsWithChunks(CMapDatabase& db, int layerIndex) {
    MapLayer& layer = db.layers[layerIndex];
    std::vector<std::pair<int32_t, int32_t>> cells;
    for (int32_t y = 0; y < layer.windowH; ++y) {
        for (int32_t x = 0; x < layer.windowW; ++x) {
            const int32_t index = layer.GetChunkIndex(x, y);
            if (index < 0)
                continue;
            uint8_t entry[formats::map_container::kCellEntrySize];
            const auto offset = static_cast<int>(formats::map_container::CellEntryOffset(index));
            if (layer.file->Seek(offset, 0) != 0)
                continue;
            if (layer.file->Read(entry, sizeof(entry)) != static_cast<int>(sizeof(entry)))
                continue;
            if (formats::map_container::LoadU32(entry) != 0)
                cells.push_back({x, y});
        }
    }
    return cells;
}

}  // namespace mapdb_test

namespace mapdb_test {

void ForEachLinkInfoRecord(
    const std::function<void(int32_t, uint32_t, const LinkInfoRecord&, const NameItem*)>& f) {
    namespace li = formats::link_info;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount(); ++area) {
        const li::Entry block = g_linkInfo.Area(area);
        int32_t offset = static_cast<int32_t>(block.blockOffset + li::kPairTableSize);
        for (uint32_t i = 0; i < block.recordCount; ++i) {
            LinkInfoRecord record;
            ASSERT_EQ(g_linkInfo.ReadRecord(offset, record, false), 0) << offset;
            NameItem items[li::kMaxNameItems];
            ASSERT_LE(record.ItemCount(), li::kMaxNameItems);
            ASSERT_EQ(g_linkInfo.ReadNameItems(items, record.ItemCount()), record.ItemCount());
            const int32_t next = g_linkInfo.File().Tell();
            f(offset, area, record, items);
            offset = next;
        }
    }
}

uint32_t NameIdOf(const std::string& text) {
    const auto entry = LookupNamesBigram(text[0], text.size() > 1 ? text[1] : '\0');
    if (!entry)
        return 0;
    uint32_t offset = entry->firstOffset;
    for (uint32_t i = 0; i < entry->count; ++i) {
        char name[kNameBufferSize];
        const int length = ReadNamesBinString(offset, name);
        if (text == name)
            return offset;
        offset += 1 + static_cast<uint32_t>(length);
    }
    return 0;
}

void GridMapsTest::SetUp() {
    SetDataFolder(GridMapsFolder());
    platform::ClearMessageBoxes();
    baseline_ = StreamReadyBaseline();
}

void GridMapsTest::TearDown() {
    mapdb::FailAllocationAfter(0);
    SetDataFolder({});
}

void GridMapsTest::ExpectNothingLeaked() {
    InflateArena::Init(InflateArena::kInitialBlockSize);
    EXPECT_EQ(mapdb::LiveBlocks(), baseline_);
}

}  // namespace mapdb_test
