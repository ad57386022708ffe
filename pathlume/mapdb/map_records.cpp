#include "pathlume/mapdb/map_records.h"

#include <cstring>
#include <functional>

#include "pathlume/mapdb/mapdb_memory.h"

MapLocation g_vehicleLocation;
uint32_t g_searchStateEntries = 0;
uint32_t g_mapStorageGeneration = 0;

namespace {

// The array blocks of a ChunkLevel begin with their element count; the elements
// start one alignment unit later so that their pointers stay aligned.
constexpr size_t kArrayHeader = alignof(std::max_align_t);

template <typename T>
T* AllocLevelArray(uint32_t count) {
    BYTE* block = static_cast<BYTE*>(mapdb::TryAllocZeroed(kArrayHeader + count * sizeof(T)));
    if (!block)
        return nullptr;
    std::memcpy(block, &count, sizeof(count));
    return reinterpret_cast<T*>(block + kArrayHeader);
}

void FreeLevelArray(void* array) {
    if (array)
        mapdb::FreeBlock(static_cast<BYTE*>(array) - kArrayHeader);
}

bool AddressBelow(const void* a, const void* b) {
    return std::less<const void*>()(a, b);
}

}  // namespace

uint32_t LevelArrayCount(const void* array) {
    uint32_t count = 0;
    std::memcpy(&count, static_cast<const BYTE*>(array) - kArrayHeader, sizeof(count));
    return count;
}

int MapLink::GetClassLayer(uint16_t linkFlags) {
    if (linkFlags & kLinkCounted)
        return 4;
    if (linkFlags & kLinkEd)
        return 2;
    return 1;
}

bool HookLink(MapNode* node, MapLink* link, bool atFromEnd) {
    uint32_t slot = 0;
    if (node->slotCount != MapNode::kSingleSlot) {
        slot = atFromEnd ? link->FromSlot() : link->ToSlot();
        if (slot >= node->slotCount)
            return false;
    }
    node->Slots()[slot] = link;
    // The use count is a nibble: it must never carry into the name length above it.
    if (node->UseCount() < MapNode::kUseMask)
        ++node->nameAndUse;
    return true;
}

void MapLink::Unhook(MapNode* node, MapLink* link) {
    if (!node)
        return;
    if (node->slotCount == MapNode::kSingleSlot) {
        node->Slots()[0] = nullptr;
        node->nameAndUse = 0;
        return;
    }
    const uint32_t slot = link->fromNode == node ? link->FromSlot() : link->ToSlot();
    if (slot >= node->slotCount || node->Slots()[slot] != link)
        return;
    node->Slots()[slot] = nullptr;
    if (node->UseCount() > 0)
        --node->nameAndUse;
}

void MapLink::Release(CountedLink* counted, bool freeIt) {
    if (counted->refCount != 0) {
        --counted->refCount;
        if (counted->refCount != 0)
            return;
    }
    if (!freeIt)
        return;
    MapLink& link = counted->link;
    if ((link.flags & kLinkFromExternal) && link.fromNode &&
        link.fromNode->slotCount != MapNode::kSingleSlot)
        Unhook(link.fromNode, &link);
    if ((link.flags & kLinkToExternal) && link.toNode &&
        link.toNode->slotCount != MapNode::kSingleSlot)
        Unhook(link.toNode, &link);
    mapdb::FreeBlock(link.shapePoints);
    mapdb::FreeBlock(counted);
}

int ChunkLevel::Allocate(uint32_t nodeTotal, uint32_t linkTotal) {
    nodeCount = nodeTotal;
    linkCount = static_cast<uint16_t>(linkTotal);
    sharedCount = static_cast<uint16_t>(nodeTotal > linkTotal ? nodeTotal - linkTotal : 0);
    nodes = AllocLevelArray<MapNode>(nodeCount);
    if (!nodes)
        return 2;
    shared = AllocLevelArray<SharedLinkEntry>(sharedCount);
    if (!shared)
        return 2;
    links = AllocLevelArray<MapLink>(linkCount);
    if (!links)
        return 2;
    return 0;
}

void ChunkLevel::Free() {
    ++g_mapStorageGeneration;
    if (links) {
        for (uint32_t i = 0; i < linkCount; ++i) {
            MapLink& link = links[i];
            mapdb::FreeBlock(link.shapePoints);
            link.shapePoints = nullptr;
            if (link.flags & kLinkFromExternal)
                MapLink::Unhook(link.fromNode, &link);
            if (link.flags & kLinkToExternal)
                MapLink::Unhook(link.toNode, &link);
        }
        FreeLevelArray(links);
        links = nullptr;
    }
    if (shared) {
        for (uint32_t i = 0; i < sharedCount; ++i) {
            SharedLinkEntry& entry = shared[i];
            if (entry.prev)
                entry.prev->next = entry.next;
            if (entry.next)
                entry.next->prev = entry.prev;
            entry.prev = entry.next = nullptr;
            if (entry.link)
                MapLink::Release(entry.link, true);
            entry.link = nullptr;
        }
        FreeLevelArray(shared);
        shared = nullptr;
    }
    FreeLevelArray(nodes);
    nodes = nullptr;
}

void ChunkLevel::FreeNodes() {
    ++g_mapStorageGeneration;
    FreeLevelArray(nodes);
    nodes = nullptr;
}

int MapChunk::GetNodeIndex(const MapNode* node) const {
    const int n = header.nodeCount;
    if (!IsLoaded() || !nodes || n == 0)
        return -1;
    if (AddressBelow(node, nodes[0]))
        return -1;
    if (node == nodes[0])
        return 0;
    if (AddressBelow(nodes[n - 1], node))
        return -1;
    if (node == nodes[n - 1])
        return n - 1;
    int lo = 0;
    int hi = n - 1;
    int mid = hi / 2;
    while (nodes[mid] != node && hi > lo + 1) {
        if (AddressBelow(node, nodes[mid]))
            hi = mid;
        else
            lo = mid;
        mid = (lo + hi) / 2;
    }
    return nodes[mid] == node ? mid : -1;
}

int MapChunk::AllocSearchState(NodeSearchState* given) {
    uint32_t entries = 0;
    for (uint32_t i = 0; nodes && i < header.nodeCount; ++i)
        entries += nodes[i]->SlotCapacity();
    g_searchStateEntries += entries;
    NodeSearchState* block = given;
    if (!block) {
        block = static_cast<NodeSearchState*>(mapdb::TryAlloc(entries * sizeof(NodeSearchState)));
        if (!block)
            return 1;
        static constexpr NodeSearchState kFresh = {{0x3F, 0x00, 0x00, 0x80, 0x80}};
        for (uint32_t i = 0; i < entries; ++i)
            block[i] = kFresh;
        searchSlots = block;
    }
    NodeSearchState* next = block;
    for (uint32_t i = 0; nodes && i < header.nodeCount; ++i) {
        nodes[i]->searchState = next;
        next += nodes[i]->SlotCapacity();
    }
    return 0;
}

void MapChunk::FreeSearchState(bool clearNodes) {
    if (clearNodes) {
        for (uint32_t i = 0; nodes && i < header.nodeCount; ++i)
            nodes[i]->searchState = nullptr;
    }
    mapdb::FreeBlock(searchSlots);
    searchSlots = nullptr;
}

void MapLocation::Set(MapLink* newLink, uint32_t newTag) {
    tag = newTag;
    if (newLink) {
        linkId = newLink->linkId;
        linkAttributes = newLink->attributes;
        linkFlags = newLink->flags;
    }
    link = newLink;
}

void MapLocation::SetShapeIndex(uint32_t newSegment) {
    segment = link && link->GetShapePointCount() == 0 ? kNoSegment : newSegment;
}

MapLink* MapLocation::GetLink(bool requireCurrent) const {
    return requireCurrent && stale ? nullptr : link;
}
