#include "pathlume/mapdb/link_iterator.h"

#include <algorithm>

#include "formats/chunk_payload.h"
#include "pathlume/mapdb/chunk_purge.h"
#include "pathlume/mapdb/router_services.h"

namespace payload = formats::chunk_payload;

namespace {

constexpr uint32_t kAllKinds = 7;
constexpr uint32_t kSharedDoneAll = 0x1E0;

uint32_t ClassValue(const MapLink& link) {
    return link.attributes & kAttrClassMask;
}

// A class-3 link of the reduced-detail network, skipped in the border phases.
bool ReducedDetailClass3(const MapLink& link) {
    return (link.attributes & kAttrReducedDetail) && ClassValue(link) == 0xC0;
}

}  // namespace

void LinkIterator::SelectLayer(CMapDatabase& database, uint32_t needShapesFlag,
                               uint32_t useMapdata2) {
    needShapes = needShapesFlag;
    shapeFile = useMapdata2 ? &database.mapFile2 : &database.mapFile1;
    // The stream is pointed at the file by the shape reload itself, so that it never
    // keeps a pointer into this record once the caller drops it.
    shapeInput_ = DataFileChunkInput(shapeFile);
}

int LinkIterator::Init(MapLayer& walkLayer, int32_t firstX, int32_t firstY, int32_t lastX,
                       int32_t lastY, uint32_t limit, uint32_t kindMask) {
    layer = &walkLayer;
    layerIndex = static_cast<uint32_t>(walkLayer.index);
    x0 = std::max(firstX, 0);
    y0 = std::max(firstY, 0);
    x1 = std::min(lastX, walkLayer.windowW - 1);
    y1 = std::min(lastY, walkLayer.windowH - 1);
    classLimit = limit;
    kinds = kindMask;
    x = x0 - 1;
    y = y0;
    returnedInChunk = -1;
    currentCounted = nullptr;
    chunk = nullptr;
    if (walkLayer.windowX0 == kNoWindow || !walkLayer.directory) {
        y = y1 + 1;  // nothing to walk
        return 1;
    }
    return NextChunk();
}

MapChunk* LinkIterator::VisitableRecord(int32_t cellX, int32_t cellY) const {
    MapChunk* record = layer->GetChunkRecord(cellX, cellY);
    if (!record || !record->IsLoaded())
        return nullptr;
    if (pinMask != 0 && (record->flags & kChunkPinMask & pinMask) == 0)
        return nullptr;
    return record;
}

bool LinkIterator::WorkOnChunk() {
    CMapDatabase* database = layer->database;
    if (chunk->flags & kChunkFromFileT) {
        if (!database)
            return true;
        // Swap the chunk for its main-file version.
        layer->SetChunkFile(&database->mapFile1);
        database->ReloadOverviewChunk(x, y, &database->mapFile1);
        chunk = layer->GetChunkRecord(x, y);
        if (!chunk || !chunk->IsLoaded())
            return false;
        if (!(chunk->flags & kChunkDisplayPins))
            chunk->flags |= kChunkReloadedByWalk;
        GetRouterServices().SetStateBits(kRouterChunkReloaded);
        if (reloadFromMain)
            return true;
    }
    if (!needShapes || (chunk->flags & kChunkFullShapes) || chunk->header.auxCount == 0)
        return true;
    MapPoint* before = chunk->aux;
    // A reload that fails leaves the chunk as it was: the walk goes on with the shapes
    // it has, and the other layers holding the chunk keep the block they share.
    if (chunk->ReloadShapePoints(&shapeInput_, false) != 0)
        return true;
    // Other detailed layers holding the same chunk share its shape block.
    if (layerIndex >= 1 && database) {
        database->ShareShapePoints(static_cast<int>(layerIndex), layer->windowX0 + x,
                                   layer->windowY0 + y, *chunk, before);
    }
    return true;
}

int LinkIterator::NextChunk() {
    if (!layer)
        return 1;
    for (;;) {
        ++x;
        if (x > x1) {
            x = x0;
            ++y;
        }
        if (y > y1 || x > x1) {
            chunk = nullptr;
            return 1;
        }
        chunk = VisitableRecord(x, y);
        if (!chunk)
            continue;
        const bool swap = reloadFromMain && (chunk->flags & kChunkFromFileT);
        const bool reshape =
            needShapes && !(chunk->flags & kChunkFullShapes) && chunk->header.auxCount > 0;
        if ((swap || reshape) && !WorkOnChunk()) {
            chunk = nullptr;
            continue;
        }
        // Border links towards a cell already walked were returned there, provided
        // that cell was visited and holds the very same side record.
        state = 0;
        skipMask = 0;
        if (x != x0) {
            const MapChunk* left = VisitableRecord(x - 1, y);
            ChunkLevel* level = chunk->levels[payload::kSideWest];
            if (left && level && left->levels[payload::kSideEast] == level)
                skipMask |= kIterSkipWest;
        }
        if (y != y0) {
            const MapChunk* below = VisitableRecord(x, y - 1);
            ChunkLevel* level = chunk->levels[payload::kSideSouth];
            if (below && level && below->levels[payload::kSideNorth] == level)
                skipMask |= kIterSkipSouth;
        }
        linkCursor = chunk->links;
        sharedCursor = nullptr;
        index = 0;
        count = chunk->links ? chunk->header.scLinkCount : 0;
        side = 0;
        kinds = kAllKinds;
        returnedInChunk = 0;
        return 0;
    }
}

bool LinkIterator::StartSideLinks(int first) {
    for (int s = first; s < payload::kSideCount; ++s) {
        const ChunkLevel* level = chunk->levels[s];
        if (level && level->links && level->linkCount > 0 && !(skipMask & (kIterSideDone << s))) {
            side = s;
            linkCursor = level->links;
            index = 0;
            count = level->linkCount;
            return true;
        }
        state |= kIterSideDone << s;
    }
    return false;
}

bool LinkIterator::StartSharedLinks(int first) {
    for (int s = first; s < payload::kSideCount; ++s) {
        const ChunkLevel* level = chunk->levels[s];
        if (level && level->shared && level->sharedCount > 0 &&
            !(skipMask & (kIterSharedDone << s))) {
            side = s;
            sharedCursor = level->shared;
            index = 0;
            count = level->sharedCount;
            return true;
        }
        state |= kIterSharedDone << s;
    }
    return false;
}

MapLink* LinkIterator::NextInChunk() {
    if (!chunk || !chunk->IsLoaded())
        return nullptr;
    constexpr uint32_t kSideDoneAll = kIterSideDone * 0xF;
    if (!(state & kIterScDone)) {
        while (index < count) {
            MapLink* link = &linkCursor[index++];
            if (ClassValue(*link) <= classLimit)
                return link;
        }
        state |= kIterScDone;
        if (!StartSideLinks(0) && !StartSharedLinks(0))
            return nullptr;
    }
    if ((state & kSideDoneAll) != kSideDoneAll) {
        for (;;) {
            while (index < count) {
                MapLink* link = &linkCursor[index++];
                if (ClassValue(*link) <= classLimit && !ReducedDetailClass3(*link))
                    return link;
            }
            state |= kIterSideDone << side;
            if (!StartSideLinks(side + 1))
                break;
        }
        if (!StartSharedLinks(0))
            return nullptr;
    }
    while ((state & kSharedDoneAll) != kSharedDoneAll) {
        while (index < count) {
            sharedCursor = &chunk->levels[side]->shared[index++];
            CountedLink* counted = sharedCursor->link;
            if (!counted)
                continue;
            const MapLink& link = counted->link;
            if (ClassValue(link) > classLimit || SkipShared() || ReducedDetailClass3(link))
                continue;
            currentCounted = counted;
            return &counted->link;
        }
        state |= kIterSharedDone << side;
        if (!StartSharedLinks(side + 1))
            return nullptr;
    }
    return nullptr;
}

int LinkIterator::SkipShared() const {
    const SharedLinkEntry* entry = sharedCursor;
    if (!entry->next)
        return 0;
    if (!(entry->key & SharedLinkEntry::kReportMark)) {
        if ((x == x1 && side == payload::kSideEast) || (y == y1 && side == payload::kSideNorth))
            return 0;
    } else if ((y == y0 && side == payload::kSideSouth) ||
               (x == x0 && side == payload::kSideWest)) {
        return 0;
    }
    return 1;
}

MapLink* LinkIterator::Next() {
    for (;;) {
        MapLink* link = NextInChunk();
        if (!link) {
            if (NextChunk() != 0)
                return nullptr;
            continue;
        }
        if (link->IsDead())
            continue;
        ++returnedInChunk;
        return link;
    }
}
