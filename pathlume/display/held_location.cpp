#include "pathlume/display/held_location.h"

#include <limits>

namespace {

constexpr size_t kMaxIndex = std::numeric_limits<uint16_t>::max();

ChunkLevel* LevelOf(MapChunk* chunk, int32_t level) {
    if (level < 0 || level >= static_cast<int32_t>(chunk->levels.size()))
        return nullptr;
    return chunk->levels[static_cast<size_t>(level)];
}

}  // namespace

bool MakeLinkHandle(MapChunk* chunk, MapLink* link, LinkHandle* handle) {
    *handle = LinkHandle{};
    if (!chunk || !link || !chunk->IsLoaded())
        return false;
    if (chunk->links && link >= chunk->links && link < chunk->links + chunk->header.scLinkCount) {
        *handle = {chunk, 0, static_cast<uint16_t>(link - chunk->links), 0, link};
        return true;
    }
    for (int32_t level = 0; level < static_cast<int32_t>(chunk->levels.size()); ++level) {
        ChunkLevel* side = LevelOf(chunk, level);
        if (!side)
            continue;
        if (side->links && link >= side->links && link < side->links + side->linkCount &&
            static_cast<size_t>(link - side->links) <= kMaxIndex) {
            *handle = {chunk, kLinkEd, static_cast<uint16_t>(link - side->links), level, link};
            return true;
        }
        if (!(link->flags & kLinkCounted) || !side->shared)
            continue;
        for (uint32_t i = 0; i < side->sharedCount && i <= kMaxIndex; ++i)
            if (side->shared[i].link && &side->shared[i].link->link == link) {
                *handle = {chunk, kLinkCounted, static_cast<uint16_t>(i), level, link};
                return true;
            }
    }
    return false;
}

MapLink* ResolveTapLink(LinkHandle& handle, int32_t linkId) {
    if (!handle.chunk)
        return handle.record;
    MapChunk* chunk = handle.chunk;
    MapLink* link = nullptr;
    // The window may have moved since the press: the chunk purged, or its record
    // given to another cell.
    if (chunk->IsLoaded()) {
        ChunkLevel* side = LevelOf(chunk, handle.level);
        if (handle.kind & kLinkCounted) {
            if (side && side->shared && handle.index < side->sharedCount &&
                side->shared[handle.index].link)
                link = &side->shared[handle.index].link->link;
        } else if (handle.kind & kLinkEd) {
            if (side && side->links && handle.index < side->linkCount)
                link = side->links + handle.index;
        } else if (chunk->links && handle.index < chunk->header.scLinkCount) {
            link = chunk->links + handle.index;
        }
    }
    if (link && link->linkId != linkId)
        link = nullptr;
    handle.record = link;
    return link;
}
