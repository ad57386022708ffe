#include "pathlume/mapdb/chunk_purge.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <functional>
#include <iterator>

#include "formats/chunk_payload.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/mapdb_memory.h"

namespace payload = formats::chunk_payload;

namespace {

// A side's node array is a block that begins with its element count, as
// ChunkLevel::Allocate makes it (LevelArrayCount reads it back, ChunkLevel::Free
// frees it).
constexpr size_t kArrayHeader = alignof(std::max_align_t);

MapNode* AllocBorderNodes(uint32_t count) {
    BYTE* block =
        static_cast<BYTE*>(mapdb::TryAllocZeroed(kArrayHeader + size_t{count} * sizeof(MapNode)));
    if (!block)
        return nullptr;
    std::memcpy(block, &count, sizeof(count));
    return reinterpret_cast<MapNode*>(block + kArrayHeader);
}

bool IsInteriorNode(const MapChunk* chunk, const MapNode* node) {
    return chunk && node && chunk->GetNodeIndex(node) >= 0;
}

// Of a link on side `side` of the purged cell, whether its from-end is the one in
// the purged cell. The cells' own node tables answer first; the position rule (the
// end on the purged cell's side of the border, ties to the to-end) only decides
// between two nodes of other chunks, such as overview nodes.
bool FromEndInPurgedCell(const MapLink& link, int side, const MapChunk* purged,
                         const MapChunk* neighbour) {
    if (IsInteriorNode(purged, link.fromNode))
        return true;
    if (IsInteriorNode(purged, link.toNode))
        return false;
    if (IsInteriorNode(neighbour, link.toNode))
        return true;
    if (IsInteriorNode(neighbour, link.fromNode))
        return false;
    if (!link.fromNode || !link.toNode)
        return link.fromNode != nullptr;
    const FLOAT dLon = link.fromNode->position.longitude - link.toNode->position.longitude;
    const FLOAT dLat = link.fromNode->position.latitude - link.toNode->position.latitude;
    switch (side) {
        case payload::kSideWest:
            return dLon > 0;
        case payload::kSideEast:
            return dLon < 0;
        case payload::kSideSouth:
            return dLat > 0;
        default:
            return dLat < 0;
    }
}

MapNode*& End(MapLink& link, bool fromEnd) {
    return fromEnd ? link.fromNode : link.toNode;
}
uint16_t ExternalFlag(bool fromEnd) {
    return fromEnd ? kLinkFromExternal : kLinkToExternal;
}

// A fresh single-slot node at `position` holding `link`.
void MakeBorderNode(MapNode& node, const MapPoint& position, MapLink* link) {
    std::memset(static_cast<void*>(&node), 0, sizeof(node));
    node.position = position;
    node.slotCount = MapNode::kSingleSlot;
    node.nameAndUse = 1;
    node.firstSlot = link;
}

// Takes a link off both its ends and marks it dead: what is left of a crossing
// whose end in the purged cell could not be given a border node.
void DetachLink(MapLink& link) {
    MapLink::Unhook(link.fromNode, &link);
    MapLink::Unhook(link.toNode, &link);
    link.fromNode = link.toNode = nullptr;
    link.flags &= static_cast<uint16_t>(~(kLinkFromExternal | kLinkToExternal));
    link.linkId = kDeadLinkId;
}

bool OwnedByChunk(const MapChunk& chunk, const MapLink* link) {
    std::less<const MapLink*> below;
    auto inArray = [&](const MapLink* array, uint32_t count) {
        return array && !below(link, array) && below(link, array + count);
    };
    if (inArray(chunk.links, chunk.header.scLinkCount))
        return true;
    for (const ChunkLevel* level : chunk.levels) {
        if (!level)
            continue;
        if (inArray(level->links, level->linkCount))
            return true;
        for (uint32_t e = 0; level->shared && e < level->sharedCount; ++e) {
            if (level->shared[e].link && &level->shared[e].link->link == link)
                return true;
        }
    }
    return false;
}

// Detailed links hang on the interior nodes of an overview chunk (their ends flagged
// as lying in another chunk). Purging the overview chunk takes them off and leaves
// them dead, rather than pointing into its freed block, until their own chunk is
// read again.
void DetachForeignLinks(MapChunk& chunk) {
    for (uint32_t i = 0; chunk.nodes && i < chunk.header.nodeCount; ++i) {
        MapNode* node = chunk.nodes[i];
        for (uint32_t s = 0; node && s < node->SlotCapacity(); ++s) {
            MapLink* link = node->Slots()[s];
            if (link && !OwnedByChunk(chunk, link) &&
                ((link->fromNode == node && (link->flags & kLinkFromExternal)) ||
                 (link->toNode == node && (link->flags & kLinkToExternal))))
                DetachLink(*link);
        }
    }
}

// A counted copy of a shared link for the entries beyond a cut chain: no holders
// yet, not held, its own copy of the usable shape points. Null when memory ran out.
CountedLink* CopyCountedLink(const MapLink& link) {
    auto* copy = static_cast<CountedLink*>(mapdb::TryAllocZeroed(sizeof(CountedLink)));
    if (!copy)
        return nullptr;
    copy->refCount = 0;
    copy->link = link;
    copy->link.flags &= static_cast<uint16_t>(~kLinkHeld);
    copy->link.shapePoints = nullptr;
    const uint32_t points = link.GetShapePointCount();
    if (points > 0) {
        auto* shape = static_cast<MapPoint*>(mapdb::TryAlloc(points * sizeof(MapPoint)));
        if (!shape) {
            mapdb::FreeBlock(copy);
            return nullptr;
        }
        std::memcpy(shape, link.shapePoints, points * sizeof(MapPoint));
        copy->link.shapePoints = shape;
        copy->link.shapeInfo =
            static_cast<uint16_t>((link.shapeInfo & ~(kShapeCountMask | kShapeReduced)) | points);
    } else {
        copy->link.shapeInfo &= static_cast<uint16_t>(~(kShapeCountMask | kShapeReduced));
    }
    return copy;
}

// Step 4 of the purge for a side that goes with the cell: its links let go of the
// nodes of chunks that stay (ChunkLevel::Free frees the rest).
void DetachDroppedSide(ChunkLevel& side) {
    if (!side.nodes)
        return;  // its links end at nodes of other chunks; Free unhooks them
    uint32_t consumed = 0;
    for (uint32_t j = 0; j < side.nodeCount; ++j) {
        SharedLinkEntry* entry = nullptr;
        if (consumed < side.sharedCount &&
            (side.shared[consumed].key & SharedLinkEntry::kIndexMask) == j)
            entry = &side.shared[consumed++];
        MapNode& border = side.nodes[j];
        MapLink* link = border.firstSlot;
        if (!link)
            continue;
        if (link->fromNode == &border) {
            if ((link->flags & kLinkToExternal) && (!entry || !entry->next)) {
                MapLink::Unhook(link->toNode, link);
                link->flags &= static_cast<uint16_t>(~kLinkToExternal);
            }
        } else if ((link->flags & kLinkFromExternal) && (!entry || !entry->prev)) {
            MapLink::Unhook(link->fromNode, link);
            link->flags &= static_cast<uint16_t>(~kLinkFromExternal);
        }
    }
}

bool AnyEndIn(const ChunkLevel& side, const MapNode* array) {
    auto inside = [&](const MapNode* node) {
        return node && std::less_equal<const MapNode*>()(array, node) &&
               std::less<const MapNode*>()(node, array + side.nodeCount);
    };
    for (uint32_t j = 0; side.links && j < side.linkCount; ++j) {
        if (inside(side.links[j].fromNode) || inside(side.links[j].toNode))
            return true;
    }
    for (uint32_t e = 0; side.shared && e < side.sharedCount; ++e) {
        const CountedLink* counted = side.shared[e].link;
        if (counted && (inside(counted->link.fromNode) || inside(counted->link.toNode)))
            return true;
    }
    return false;
}

// Stand-in ends of the counted copies made while relinking one side.
struct Scratch {
    MapNode* nodes = nullptr;
    uint32_t used = 0;
};

// A copy whose stand-in end was not replaced by the pass over its other side would
// keep a pointer into the scratch block: it is left dead instead.
void DetachScratchEnds(Scratch& scratch) {
    for (uint32_t i = 0; i < scratch.used; ++i) {
        MapNode& stand = scratch.nodes[i];
        MapLink* copy = stand.firstSlot;
        if (copy && (copy->fromNode == &stand || copy->toNode == &stand))
            DetachLink(*copy);
    }
}

// Step 5 of the purge for a side the neighbour keeps: every crossing gets a fresh
// border node where its end in the purged cell was.
void RelinkKeptSide(ChunkLevel& side, int sideIndex, MapChunk* purged, MapChunk* neighbour,
                    Scratch& scratch) {
    MapNode* fresh = AllocBorderNodes(side.nodeCount);
    if (side.sharedCount > 0)
        scratch.nodes = static_cast<MapNode*>(
            mapdb::TryAllocZeroed(size_t{side.sharedCount} * sizeof(MapNode)));
    // Without fresh nodes the crossings cannot end anywhere that stays: they are
    // taken off their nodes and left dead rather than pointing into freed memory.
    const bool relink = fresh && (side.sharedCount == 0 || scratch.nodes);
    if (!relink) {
        mapdb::FreeBlock(fresh ? reinterpret_cast<BYTE*>(fresh) - kArrayHeader : nullptr);
        for (uint32_t j = 0; side.links && j < side.linkCount; ++j)
            DetachLink(side.links[j]);
        for (uint32_t e = 0; side.shared && e < side.sharedCount; ++e) {
            if (side.shared[e].link)
                DetachLink(side.shared[e].link->link);
        }
        if (side.nodes)
            mapdb::FreeBlock(reinterpret_cast<BYTE*>(side.nodes) - kArrayHeader);
        side.nodes = nullptr;
        return;
    }
    MapNode* previous = side.nodes;
    side.nodes = fresh;
    uint32_t consumed = 0;
    for (uint32_t j = 0; j < side.nodeCount; ++j) {
        MapNode& node = fresh[j];
        SharedLinkEntry* entry = nullptr;
        if (consumed < side.sharedCount &&
            (side.shared[consumed].key & SharedLinkEntry::kIndexMask) == j)
            entry = &side.shared[consumed++];
        if (!entry) {
            const uint32_t index = j - consumed;
            if (!side.links || index >= side.linkCount)
                continue;
            MapLink& link = side.links[index];
            const bool fromEnd = FromEndInPurgedCell(link, sideIndex, purged, neighbour);
            MapNode*& end = End(link, fromEnd);
            if (!end)
                continue;
            MakeBorderNode(node, end->position, &link);
            if (link.flags & ExternalFlag(fromEnd)) {
                MapLink::Unhook(end, &link);
                link.flags &= static_cast<uint16_t>(~ExternalFlag(fromEnd));
            }
            end = &node;
            continue;
        }
        if (!entry->link)
            continue;
        MapLink& link = entry->link->link;
        const bool mark = (entry->key & SharedLinkEntry::kReportMark) != 0;
        const bool lowSide = sideIndex == payload::kSideNorth || sideIndex == payload::kSideEast;
        const bool fromEnd = mark != lowSide;
        MapNode*& end = End(link, fromEnd);
        if (!end)
            continue;
        MapNode* old = end;
        SharedLinkEntry* beyond = fromEnd ? entry->prev : entry->next;
        CountedLink* copy = nullptr;
        if (beyond) {
            copy = CopyCountedLink(link);
            if (copy) {
                // Cut the chain between the entry and the ones beyond; those hold the
                // copy from now on.
                if (fromEnd) {
                    entry->prev = nullptr;
                    beyond->next = nullptr;
                } else {
                    entry->next = nullptr;
                    beyond->prev = nullptr;
                }
                for (SharedLinkEntry* e = beyond; e; e = fromEnd ? e->prev : e->next) {
                    MapLink::Release(e->link, false);
                    e->link = copy;
                    ++copy->refCount;
                }
            }
        }
        MakeBorderNode(node, old->position, &link);
        MapLink::Unhook(old, &link);
        if (link.flags & ExternalFlag(fromEnd))
            link.flags &= static_cast<uint16_t>(~ExternalFlag(fromEnd));
        if (copy) {
            // The copy keeps the end in the purged cell (its own side's pass gives it a
            // border node or frees it); its other end is a scratch stand-in so that it
            // does not take the place of the original at the neighbour's node.
            HookLink(old, &copy->link, fromEnd);
            MapNode* other = End(link, !fromEnd);
            MapNode& stand = scratch.nodes[scratch.used++];
            std::memset(static_cast<void*>(&stand), 0, sizeof(stand));
            if (other)
                stand.position = other->position;
            stand.slotCount = MapNode::kSingleSlot;
            stand.nameAndUse = 1;
            stand.firstSlot = &copy->link;
            End(copy->link, !fromEnd) = &stand;
            copy->link.flags &= static_cast<uint16_t>(~ExternalFlag(!fromEnd));
        }
        end = &node;
    }
    // A joined side has no border nodes of its own any more; an array still present
    // goes unless some link still ends in it.
    if (previous && !AnyEndIn(side, previous))
        mapdb::FreeBlock(reinterpret_cast<BYTE*>(previous) - kArrayHeader);
}

}  // namespace

bool ShuttingDown() {
    IMainView* view = g_mainView.load();
    return view && view->IsShuttingDown();
}

void MapChunk::Clear() {
    ProxyNode* keptProxies = proxies;
    const uint32_t keptFlags = flags & kChunkHasProxies;
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    proxies = keptProxies;
    flags = keptFlags;
}

int MapChunk::Unload(int layerIndex, bool clear) {
    ++g_mapStorageGeneration;
    flags &= kChunkHasProxies;
    // The placeholder chain stays: detailed links still hang on it. The layer frees
    // it when it goes.
    if (links && layerIndex != 0 && !ShuttingDown()) {
        // Those ends are nodes of overview chunks that stay.
        for (uint32_t i = 0; i < header.scLinkCount; ++i) {
            MapLink& link = links[i];
            if (link.IsDead())
                continue;
            if (link.flags & kLinkFromExternal)
                MapLink::Unhook(link.fromNode, &link);
            if (link.flags & kLinkToExternal)
                MapLink::Unhook(link.toNode, &link);
        }
    }
    mapdb::FreeBlock(aux);
    aux = nullptr;
    mapdb::FreeBlock(nodes);
    nodes = nullptr;
    mapdb::FreeBlock(block);
    block = nullptr;
    links = nullptr;
    FreeSearchState(false);
    if (clear)
        Clear();
    return 0;
}

void MapChunk::RebuildLevels(MapLayer& layer, int32_t dx, int32_t dy, bool force) {
    const int32_t slot = layer.GetCacheSlot(dx, dy);
    if (slot < 0 || slot >= layer.slotTotal)
        return;
    MapChunk* chunk = layer.GetChunkRecord(dx, dy);
    const bool wasLoaded = chunk && chunk->IsLoaded();
    if (!chunk || (!force && !wasLoaded))
        return;
    CMapDatabase* database = layer.database;
    const int total = layer.index == 4 ? 0 : layer.index == 3 ? 1 : -1;
    const int32_t refs = wasLoaded ? static_cast<int32_t>(chunk->externalRefs) : 0;
    const int32_t linkWeight =
        wasLoaded ? chunk->header.scLinkCount + static_cast<int32_t>(chunk->EdLinkCount() >> 1) : 0;
    auto dropTotals = [&] {
        if (total < 0 || !database)
            return;
        database->refTotal[total] = std::max(0, database->refTotal[total] - refs);
        database->linkTotal[total] = std::max(0, database->linkTotal[total] - linkWeight);
    };

    // A chunk another layer holds a copy of shares its storage with that copy: only
    // this record goes.
    if (wasLoaded && database && layer.index != 0) {
        MapChunk* other =
            database->FindLoadedElsewhere(layer.index, layer.windowX0 + dx, layer.windowY0 + dy);
        if (other && other != chunk && other->nodes == chunk->nodes &&
            other->block == chunk->block) {
            if (!other->searchSlots)
                other->searchSlots = chunk->searchSlots;
            dropTotals();
            chunk->Clear();
            layer.loadedCount = std::max(0, layer.loadedCount - 1);
            return;
        }
    }

    if (layer.index == 0 && wasLoaded && !ShuttingDown())
        DetachForeignLinks(*chunk);

    ChunkLevel* dropped[payload::kSideCount] = {};
    Scratch scratch[payload::kSideCount];
    for (int side = 0; side < payload::kSideCount; ++side) {
        ChunkLevel* level = chunk->levels[side];
        if (!level)
            continue;
        const int32_t nx = dx + payload::kSideColumnStep[side];
        const int32_t ny = dy + payload::kSideRowStep[side];
        const int32_t neighbourSlot = layer.GetCacheSlot(nx, ny);
        MapChunk* neighbour = nullptr;
        if (neighbourSlot >= 0 && neighbourSlot < layer.slotTotal) {
            neighbour = layer.GetChunkRecord(nx, ny);
            if (neighbour && !neighbour->IsLoaded())
                neighbour = database ? database->FindLoadedElsewhere(
                                           layer.index, layer.windowX0 + nx, layer.windowY0 + ny)
                                     : nullptr;
        }
        // The side stays only when the neighbour really holds it: a side that was
        // never joined (a neighbour that refuses joins, a refused merge) belongs to
        // this cell alone and goes with it.
        if (neighbour && neighbour != chunk &&
            neighbour->levels[payload::OppositeSide(side)] == level) {
            RelinkKeptSide(*level, side, chunk, neighbour, scratch[side]);
        } else {
            DetachDroppedSide(*level);
            dropped[side] = level;
        }
        chunk->levels[side] = nullptr;
    }
    for (Scratch& stands : scratch)
        DetachScratchEnds(stands);
    // Dropped sides first: a copy made above whose entries lie on a dropped side is
    // released while its scratch end still exists.
    for (ChunkLevel* level : dropped) {
        if (!level)
            continue;
        level->Free();
        mapdb::FreeBlock(level);
    }
    for (Scratch& stands : scratch)
        mapdb::FreeBlock(stands.nodes);

    dropTotals();
    chunk->Unload(layer.index, true);
    if (wasLoaded)
        layer.loadedCount = std::max(0, layer.loadedCount - 1);

    if (layer.index == 0 && wasLoaded && layer.directory) {
        const int32_t pageIndex = (dx >> 4) + ((layer.cacheW >> 4) + 1) * (dy >> 4);
        auto* page = static_cast<ChunkPage*>(layer.directory[pageIndex]);
        if (page && page->loadedCount > 0 && --page->loadedCount == 0) {
            // A record that carries placeholder nodes keeps its page: detailed links
            // hang on them.
            const bool proxiesLeft =
                std::any_of(std::begin(page->records), std::end(page->records),
                            [](const MapChunk& record) { return record.proxies != nullptr; });
            if (!proxiesLeft) {
                mapdb::FreeBlock(page);
                layer.directory[pageIndex] = nullptr;
            }
        }
    }
}
