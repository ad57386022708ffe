#include "pathlume/mapdb/chunk_decoder.h"

#include <cstdio>
#include <cstring>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/map_errors.h"
#include "pathlume/mapdb/mapdb_memory.h"

namespace payload = formats::chunk_payload;

namespace {

constexpr int kOk = 0;
constexpr int kNoMemory = 2;
constexpr int kReadError = 4;

constexpr uint32_t kSkipPiece = 8192;

bool ReadPoint(MapPoint& point) {
    uint8_t bytes[payload::kPositionSize];
    if (!ChunkStream::Read(bytes, sizeof(bytes)))
        return false;
    const payload::Position position = payload::DecodePosition(bytes);
    point = {position.latitude, position.longitude};
    return true;
}

// Reads the 14-byte body into the link.
bool ReadLinkBody(MapLink& link) {
    uint8_t bytes[payload::kLinkBodySize];
    if (!ChunkStream::Read(bytes, sizeof(bytes)))
        return false;
    link.word0 = payload::LoadU32(bytes + payload::kBodyLengthOffset);
    link.attributes = payload::LoadU32(bytes + payload::kBodyAttributesOffset);
    link.linkId = payload::LoadI32(bytes + payload::kBodyLinkIdOffset);
    link.shapeInfo = payload::LoadU16(bytes + payload::kBodyShapeInfoOffset);
    return true;
}

struct LinkHead {
    uint8_t slots = 0;
    uint16_t fromRef = 0;
    uint16_t toRef = 0;
};

bool ReadLinkHead(LinkHead& head) {
    uint8_t bytes[payload::kLinkBodyOffset];
    if (!ChunkStream::Read(bytes, sizeof(bytes)))
        return false;
    head.slots = bytes[payload::kLinkSlotsOffset];
    head.fromRef = payload::LoadU16(bytes + payload::kLinkFromRefOffset);
    head.toRef = payload::LoadU16(bytes + payload::kLinkToRefOffset);
    return true;
}

// Whether a link with this slot byte can be hooked into the node at that end.
bool SlotFits(const MapNode* node, uint8_t slots, bool atFromEnd) {
    if (!node || node->slotCount == MapNode::kSingleSlot)
        return true;
    const uint32_t slot = atFromEnd ? (slots & 0x0F) : (slots >> 4);
    return slot < node->slotCount;
}

void ReportNode(uint32_t index) {
    char text[64];
    std::snprintf(text, sizeof(text), "Error reading map node %u\n", index);
    ReportMapReadError(text);
}

void ReportEdgeNode(uint32_t index) {
    char text[64];
    std::snprintf(text, sizeof(text), "Error reading map edge node %u\n", index);
    ReportMapReadError(text);
}

int ReportEdLink(uint32_t index) {
    char text[64];
    std::snprintf(text, sizeof(text), "Error %d reading ed map link %u\n", kReadError, index);
    ReportMapReadError(text);
    return kReadError;
}

}  // namespace

uint64_t NodeLinkBlockSize(const payload::ChunkHeader& header) {
    // A node with s slots and a name of n bytes takes StorageSize(s, n), at most
    // its fixed part + s pointers + n + alignment. The writer's slotWords is the sum
    // of (s - 1) and extraBytes the sum of the names rounded up, so this bounds the
    // nodes of well-formed data; ReadNodes checks every node against it anyway.
    const uint64_t perNode =
        offsetof(MapNode, firstSlot) + sizeof(MapLink*) + (alignof(MapNode) - 1);
    return uint64_t{header.nodeCount} * perNode + uint64_t{header.slotWords} * sizeof(MapLink*) +
           header.extraBytes + uint64_t{header.scLinkCount} * sizeof(MapLink);
}

int MapChunk::Decode(ChunkDecodeContext& context) {
    uint8_t bytes[payload::kHeaderSize];
    if (!ChunkStream::Read(bytes, sizeof(bytes)))
        return kReadError;
    header = payload::DecodeHeader(bytes);
    if (header.edLinkCount & payload::kNoLaterJoinFlag) {
        header.edLinkCount &= payload::kEdLinkCountMask;
        flags |= kChunkNoLaterJoin;
    }

    const uint64_t blockSize = NodeLinkBlockSize(header);
    context.bumpBlock = context.bumpCursor = context.bumpEnd = nullptr;
    if (blockSize != 0) {
        block = static_cast<BYTE*>(mapdb::TryAlloc(blockSize));
        if (!block)
            return kNoMemory;
        context.bumpBlock = context.bumpCursor = block;
        context.bumpEnd = block + blockSize;
    }
    int result = kOk;
    if (header.scLinkCount != 0 && (result = ReadAuxRecords(context)) != kOk)
        return result;
    if (header.nodeCount != 0 && (result = ReadNodes(context)) != kOk)
        return result;
    if (header.scLinkCount != 0 && (result = ReadShortcutLinks(context)) != kOk)
        return result;

    for (int side = 0; side < payload::kSideCount; ++side) {
        const payload::SideCounts& counts = header.sides[side];
        if (counts.levelNodes == 0)
            continue;
        auto* level = static_cast<ChunkLevel*>(mapdb::TryAllocZeroed(sizeof(ChunkLevel)));
        if (!level)
            return kNoMemory;
        levels[side] = level;
        if (level->Allocate(counts.levelNodes, counts.levelLinks) != kOk)
            return kNoMemory;
        if ((result = level->ReadEdgeNodes(counts.levelNodes)) != kOk)
            return result;
    }
    if (EdLinkCount() != 0 && (result = ReadDetailLinks(context)) != kOk)
        return result;
    flags |= kChunkLoaded;
    return kOk;
}

int MapChunk::ReadAuxRecords(ChunkDecodeContext& context) {
    flags &= ~kChunkFullShapes;
    const uint32_t count = header.auxCount;
    if (context.keepAuxPoints != 0 && count != 0) {
        aux = static_cast<MapPoint*>(mapdb::TryAlloc(count * sizeof(MapPoint)));
        if (!aux)
            return kNoMemory;
        for (uint32_t i = 0; i < count; ++i) {
            if (!ReadPoint(aux[i]))
                return kReadError;
        }
        return kOk;
    }
    uint8_t skip[kSkipPiece];
    uint32_t left = count * static_cast<uint32_t>(payload::kPositionSize);
    while (left > 0) {
        const uint32_t piece = left < kSkipPiece ? left : kSkipPiece;
        if (!ChunkStream::Read(skip, piece))
            return kReadError;
        left -= piece;
    }
    return kOk;
}

int MapChunk::ReadNodes(ChunkDecodeContext& context) {
    nodes = static_cast<MapNode**>(mapdb::TryAllocZeroed(header.nodeCount * sizeof(MapNode*)));
    if (!nodes)
        return kNoMemory;
    for (uint32_t i = 0; i < header.nodeCount; ++i) {
        uint8_t nameLength = 0;
        uint8_t name[payload::kMaxNameLength];
        uint8_t countByte = 0;
        MapPoint position;
        if (!ChunkStream::Read(&nameLength, 1) || nameLength > payload::kMaxNameLength ||
            (nameLength > 0 && !ChunkStream::Read(name, nameLength)) ||
            !ChunkStream::Read(&countByte, 1) || !ReadPoint(position)) {
            ReportNode(i);
            return kReadError;
        }
        const uint32_t slots = countByte & payload::kCountByteSlotMask;
        // Every node gets its own room, a node without slots too, so that no two
        // table entries share an address.
        const size_t size = MapNode::StorageSize(slots, nameLength);
        if (!context.bumpCursor ||
            size > static_cast<size_t>(context.bumpEnd - context.bumpCursor)) {
            ReportNode(i);
            return kReadError;
        }
        auto* node = reinterpret_cast<MapNode*>(context.bumpCursor);
        std::memset(static_cast<void*>(node), 0, size);
        node->position = position;
        node->nameAndUse = static_cast<BYTE>(nameLength << MapNode::kNameShift);
        node->slotCount = static_cast<BYTE>(slots);
        if (nameLength > 0)
            std::memcpy(node->Name(), name, nameLength);
        context.bumpCursor += size;
        nodes[i] = node;
    }
    return kOk;
}

int MapChunk::ReadShortcutLinks(ChunkDecodeContext& context) {
    const size_t bytes = size_t{header.scLinkCount} * sizeof(MapLink);
    if (!context.bumpCursor || bytes > static_cast<size_t>(context.bumpEnd - context.bumpCursor))
        return kReadError;
    links = reinterpret_cast<MapLink*>(context.bumpCursor);
    context.bumpCursor += bytes;
    std::memset(links, 0, bytes);

    for (uint32_t i = 0; i < header.scLinkCount; ++i) {
        MapLink& link = links[i];
        LinkHead head;
        if (!ReadLinkHead(head))
            return kReadError;
        MapNode* ends[2] = {nullptr, nullptr};
        uint16_t externalBits = 0;
        const uint16_t refs[2] = {head.fromRef, head.toRef};
        for (int end = 0; end < 2; ++end) {
            const uint32_t index = refs[end] & payload::kRefIndexMask;
            if (refs[end] & payload::kRefOverview) {
                ++externalRefs;
                externalBits |= end == 0 ? kLinkFromExternal : kLinkToExternal;
                MapChunk* overview = context.overview;
                if (overview && overview != this && overview->IsLoaded() && overview->nodes &&
                    index < overview->header.nodeCount)
                    ends[end] = overview->nodes[index];
            } else {
                if (index >= header.nodeCount || !nodes)
                    return kReadError;
                ends[end] = nodes[index];
            }
        }
        if (!ReadLinkBody(link))
            return kReadError;
        link.shapePoints = nullptr;
        link.flags = static_cast<uint16_t>(head.slots | externalBits);
        if (link.linkId < 1 || !ends[0] || !ends[1]) {
            link.linkId = kDeadLinkId;
            link.fromNode = link.toNode = nullptr;
        } else {
            if (!SlotFits(ends[0], head.slots, true) || !SlotFits(ends[1], head.slots, false))
                return kReadError;
            link.fromNode = ends[0];
            link.toNode = ends[1];
            HookLink(ends[0], &link, true);
            HookLink(ends[1], &link, false);
        }
        if (context.layer0UsesFileT)
            link.shapeInfo |= kShapeReadFromFileT;
    }
    // A link claiming more points than the aux block holds gets none
    // (AttachShapePoints), so its pointer never runs past the block.
    if (aux)
        AttachShapePoints(context.keepAuxPoints == 1);
    return kOk;
}

void MapChunk::AttachShapePoints(bool compact) {
    const uint32_t auxCount = header.auxCount;
    if (compact) {
        uint32_t kept = 0;
        for (uint32_t i = 0; i < header.scLinkCount; ++i) {
            const uint32_t count = links[i].shapeInfo & kShapeCountMask;
            kept += count > 2 ? 2 : count;
        }
        auto* small = static_cast<MapPoint*>(mapdb::TryAlloc(kept * sizeof(MapPoint)));
        if (small) {
            uint32_t from = 0;
            uint32_t to = 0;
            for (uint32_t i = 0; i < header.scLinkCount; ++i) {
                MapLink& link = links[i];
                const uint32_t count = link.shapeInfo & kShapeCountMask;
                link.shapeInfo &= static_cast<uint16_t>(~kShapeReduced);
                if (count == 0 || from + count > auxCount) {
                    link.shapePoints = nullptr;
                    from += count;
                    continue;
                }
                link.shapePoints = small + to;
                small[to++] = aux[from];
                if (count > 1)
                    small[to++] = aux[from + count - 1];
                if (count > 2)
                    link.shapeInfo |= kShapeReduced;
                from += count;
            }
            mapdb::FreeBlock(aux);
            aux = small;
            flags &= ~kChunkFullShapes;
            return;
        }
    }
    uint32_t from = 0;
    for (uint32_t i = 0; i < header.scLinkCount; ++i) {
        MapLink& link = links[i];
        const uint32_t count = link.shapeInfo & kShapeCountMask;
        if (count == 0)
            continue;
        if (from + count > auxCount) {
            link.shapePoints = nullptr;
        } else {
            link.shapePoints = aux + from;
            link.shapeInfo &= static_cast<uint16_t>(~kShapeReduced);
        }
        from += count;
    }
    flags |= kChunkFullShapes;
}

int MapChunk::ReloadShapePoints(IChunkInput* input, bool compact) {
    if (header.auxCount == 0 || (flags & kChunkFullShapes) || (aux && compact))
        return 1;
    // The links keep pointing into the current points until the new ones are read.
    ChunkStream* stream = g_currentChunkStream;
    if (!stream || !input || !input->Seek(fileOffset))
        return -1;
    stream->file = input;
    uint8_t bytes[payload::kHeaderSize];
    if (stream->Inflate() != 0 || !ChunkStream::Read(bytes, sizeof(bytes)))
        return -1;
    // The links and nodes were laid out for the header read at load: a block that no
    // longer matches it (the file changed under us) must not resize them.
    payload::ChunkHeader fresh = payload::DecodeHeader(bytes);
    fresh.edLinkCount &= payload::kEdLinkCountMask;
    if (fresh.nodeCount != header.nodeCount || fresh.scLinkCount != header.scLinkCount ||
        fresh.auxCount != header.auxCount || fresh.edLinkCount != header.edLinkCount)
        return -1;
    auto* points = static_cast<MapPoint*>(mapdb::TryAlloc(header.auxCount * sizeof(MapPoint)));
    if (!points)
        return -1;
    for (uint32_t i = 0; i < header.auxCount; ++i) {
        if (!ReadPoint(points[i])) {
            mapdb::FreeBlock(points);
            return -1;
        }
    }
    mapdb::FreeBlock(aux);
    aux = points;
    AttachShapePoints(compact);
    return 0;
}

int ChunkLevel::ReadEdgeNodes(uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
        MapPoint position;
        if (i >= nodeCount || !ReadPoint(position)) {
            ReportEdgeNode(i);
            return kReadError;
        }
        nodes[i].position = position;
        nodes[i].slotCount = MapNode::kSingleSlot;
    }
    return kOk;
}

namespace {

// One end of an ed link as its reference names it.
struct EdEnd {
    MapNode* node = nullptr;
    int side = -1;  // the side of a border node, -1 for an own or overview end
    bool external = false;
    bool unresolved = false;
};

}  // namespace

int MapChunk::ReadDetailLinks(ChunkDecodeContext& context) {
    uint32_t base[payload::kSideCount + 1];
    base[0] = header.nodeCount;
    for (int side = 0; side < payload::kSideCount; ++side)
        base[side + 1] = base[side] + header.sides[side].levelNodes;
    uint32_t placed[payload::kSideCount] = {};
    uint32_t plainUsed[payload::kSideCount] = {};
    uint32_t sharedUsed[payload::kSideCount] = {};

    for (uint32_t k = 0; k < EdLinkCount(); ++k) {
        LinkHead head;
        if (!ReadLinkHead(head))
            return ReportEdLink(k);
        const bool shared = (head.fromRef & payload::kRefShared) != 0;
        EdEnd ends[2];
        const uint16_t refs[2] = {head.fromRef, head.toRef};
        for (int e = 0; e < 2; ++e) {
            EdEnd& end = ends[e];
            const uint32_t index = refs[e] & payload::kRefIndexMask;
            if (refs[e] & payload::kRefOverview) {
                ++externalRefs;
                end.external = true;
                MapChunk* overview = context.overview;
                if (overview && overview != this && overview->IsLoaded() && overview->nodes &&
                    index < overview->header.nodeCount) {
                    end.node = overview->nodes[index];
                    continue;
                }
                end.unresolved = true;
                if (!overview || overview == this)
                    continue;
                ProxyNode* proxy = nullptr;
                if (overview->flags & kChunkHasProxies) {
                    for (ProxyNode* p = overview->proxies; p; p = p->next) {
                        if (p->key == context.overviewSlot) {
                            proxy = p;
                            break;
                        }
                    }
                }
                if (!proxy) {
                    proxy = static_cast<ProxyNode*>(mapdb::TryAllocZeroed(sizeof(ProxyNode)));
                    if (!proxy)
                        return kNoMemory;
                    proxy->key = context.overviewSlot;
                    proxy->node.position = {ProxyNode::kLatitude, 0.0f};
                    proxy->node.slotCount = ProxyNode::kSlots;
                    proxy->next = overview->proxies;
                    overview->proxies = proxy;
                    overview->flags |= kChunkHasProxies;
                }
                end.node = &proxy->node;
            } else if (index < base[0]) {
                if (!nodes)
                    return ReportEdLink(k);
                end.node = nodes[index];
            } else {
                int side = 0;
                while (side < payload::kSideCount && index >= base[side + 1])
                    ++side;
                if (side == payload::kSideCount || !levels[side])
                    return ReportEdLink(k);
                end.side = side;
                end.node = &levels[side]->nodes[index - base[side]];
            }
        }
        if (!SlotFits(ends[0].side < 0 ? ends[0].node : nullptr, head.slots, true) ||
            !SlotFits(ends[1].side < 0 ? ends[1].node : nullptr, head.slots, false))
            return ReportEdLink(k);

        // Place the link: in its side's array, or as a counted link with one shared
        // entry per border end.
        MapLink* link = nullptr;
        if (!shared) {
            const EdEnd& owner = (ends[0].side < 0) ? ends[1] : ends[0];
            const int side = owner.side < 0 ? 0 : owner.side;
            ChunkLevel* level = levels[side];
            if (!level || plainUsed[side] >= level->linkCount)
                return ReportEdLink(k);
            link = &level->links[plainUsed[side]++];
            ++placed[side];
        } else {
            for (const EdEnd& end : ends) {
                if (end.side >= 0 && sharedUsed[end.side] >= levels[end.side]->sharedCount)
                    return ReportEdLink(k);
            }
            if (ends[0].side < 0 && ends[1].side < 0)
                return ReportEdLink(k);
            if (ends[0].side >= 0 && ends[0].side == ends[1].side &&
                sharedUsed[ends[0].side] + 2 > levels[ends[0].side]->sharedCount)
                return ReportEdLink(k);
            auto* counted = static_cast<CountedLink*>(mapdb::TryAllocZeroed(sizeof(CountedLink)));
            if (!counted)
                return kNoMemory;
            SharedLinkEntry* previous = nullptr;
            for (int e = 0; e < 2; ++e) {
                const int side = ends[e].side;
                if (side < 0)
                    continue;
                ++counted->refCount;
                SharedLinkEntry& entry = levels[side]->shared[sharedUsed[side]++];
                entry.link = counted;
                entry.key = placed[side]++;
                const bool mark = e == 0 ? side <= 1 : side >= 2;
                if (mark)
                    entry.key |= SharedLinkEntry::kReportMark;
                entry.prev = previous;
                entry.next = nullptr;
                if (previous)
                    previous->next = &entry;
                previous = &entry;
            }
            link = &counted->link;
        }

        // Flags first: whoever frees a half-read link relies on them.
        link->Init();
        link->flags = static_cast<uint16_t>(head.slots | kLinkEd | (shared ? kLinkCounted : 0) |
                                            (ends[0].external ? kLinkFromExternal : 0) |
                                            (ends[1].external ? kLinkToExternal : 0));
        for (int e = 0; e < 2; ++e) {
            MapNode* node = ends[e].node;
            (e == 0 ? link->fromNode : link->toNode) = node;
            if (!node)
                continue;
            if (ends[e].side >= 0) {
                node->Slots()[0] = link;
                node->nameAndUse = 1;
                node->slotCount = MapNode::kSingleSlot;
            } else {
                HookLink(node, link, e == 0);
            }
        }

        const uint16_t keptFlags = link->flags;
        if (!ReadLinkBody(*link))
            return ReportEdLink(k);
        link->flags = keptFlags;
        if (link->linkId == -1 || ends[0].unresolved || ends[1].unresolved || !ends[0].node ||
            !ends[1].node)
            link->linkId = kDeadLinkId;
        if (context.layer0UsesFileT)
            link->shapeInfo |= kShapeReadFromFileT;
        const uint32_t count = link->shapeInfo & kShapeCountMask;
        if (count != 0) {
            auto* points = static_cast<MapPoint*>(mapdb::TryAlloc(count * sizeof(MapPoint)));
            if (!points)
                return kNoMemory;
            link->shapePoints = points;
            for (uint32_t i = 0; i < count; ++i) {
                if (!ReadPoint(points[i]))
                    return ReportEdLink(k);
            }
        }
    }
    return kOk;
}

void MapChunk::FreeStorage() {
    ++g_mapStorageGeneration;
    // sc links hooked into nodes of another chunk must leave those nodes' slots.
    for (uint32_t i = 0; links && i < header.scLinkCount; ++i) {
        MapLink& link = links[i];
        if (link.flags & kLinkFromExternal)
            MapLink::Unhook(link.fromNode, &link);
        if (link.flags & kLinkToExternal)
            MapLink::Unhook(link.toNode, &link);
    }
    for (ChunkLevel*& level : levels) {
        if (!level)
            continue;
        level->Free();
        mapdb::FreeBlock(level);
        level = nullptr;
    }
    FreeSearchState(false);
    mapdb::FreeBlock(aux);
    mapdb::FreeBlock(nodes);
    mapdb::FreeBlock(block);
    ProxyNode* keptProxies = proxies;
    const uint32_t keptFlags = flags & kChunkHasProxies;
    std::memset(static_cast<void*>(this), 0, sizeof(*this));
    proxies = keptProxies;
    flags = keptFlags;
}

void MapChunk::FreeProxyNodes() {
    while (proxies) {
        ProxyNode* next = proxies->next;
        mapdb::FreeBlock(proxies);
        proxies = next;
    }
    flags &= ~kChunkHasProxies;
}
