// The long-pressed place on the map: a handle to the road's link inside its chunk,
// a copy of the link, the foot point on it, its street and address number. The hold
// menu's actions read it later, when the chunk may have been purged or reloaded: the
// handle is resolved again and checked before any action uses it.
#pragma once

#include <cstdint>

#include "pathlume/mapdb/map_records.h"
#include "pathlume/mapdb/street_texts.h"

// Where a link lives in its chunk: with kLinkCounted the shared entry `index` of
// side `level`; with kLinkEd the side's own link `index`; else the chunk's link
// `index`. `record` is the link as last resolved.
struct LinkHandle {
    MapChunk* chunk = nullptr;
    uint16_t kind = 0;
    uint16_t index = 0;
    int32_t level = 0;
    MapLink* record = nullptr;
};

struct HeldLocation {
    LinkHandle handle;
    MapLink link{};  // a copy, shape points not owned
    int32_t segment = 0;
    float cosLat = 0;
    int32_t addressNumber = -1;
    MapPoint foot{};
    char streetName[kStreetWordSize] = {};
    int32_t side = 0;  // of the road the press lies on: 1 left, -1 right

    bool Held() const { return handle.chunk != nullptr || handle.record != nullptr; }
};

// The handle of a link of a loaded chunk; false when the link is none of its links.
bool MakeLinkHandle(MapChunk* chunk, MapLink* link, LinkHandle* handle);

// The link the handle names, stored in the handle; a handle without a chunk gives
// its stored record. Null when the chunk is no longer loaded, the index lies outside
// its arrays or the link there has another id than `linkId` (the chunk record was
// given to another cell).
MapLink* ResolveTapLink(LinkHandle& handle, int32_t linkId);
