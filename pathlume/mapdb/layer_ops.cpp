// Whole-layer operations shared by the cache, the geocoder and the router: cell
// addressing, dropping a layer's cache, and readying a chunk for the route search.
#include <cmath>

#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"

int64_t MapLayer::FileColumnOf(double longitude) const {
    return int64_t{TruncateToInt32((longitude - header.originLongitude) / header.cellWidth)} -
           header.firstColumn;
}

int64_t MapLayer::FileRowOf(double latitude) const {
    return int64_t{TruncateToInt32((latitude - header.originLatitude) / header.cellHeight)} -
           header.firstRow;
}

MapPoint MapLayer::CellCenter(int32_t cellIndex) const {
    const int32_t cols = header.columns > 0 ? header.columns : 1;
    const int32_t row = cellIndex / cols;
    const int32_t col = cellIndex % cols;
    MapPoint centre;
    centre.latitude = (static_cast<FLOAT>(header.firstRow + row) + 0.5f) * header.cellHeight +
                      header.originLatitude;
    centre.longitude = (static_cast<FLOAT>(header.firstColumn + col) + 0.5f) * header.cellWidth +
                       header.originLongitude;
    return centre;
}

void MapLayer::DropAll(bool pinLayer0) {
    const bool pins = pinLayer0 && windowX0 != kNoWindow && index >= 1 && database;
    if (pins)
        database->ReleaseLayerPin(index);
    if (loadedCount != 0) {
        for (int32_t y = 0; y < cacheH; ++y) {
            for (int32_t x = 0; x < cacheW; ++x)
                DropWindowCell(x, y);
        }
    }
    loadedCount = 0;
    // Layer 0's window is the whole grid, set once when the files open: without it
    // no overview chunk could be loaded again.
    if (index != 0)
        windowX0 = kNoWindow;
    if (pins)
        database->RefreshReleasedChunks(index, true);
}

MapChunk* CMapDatabase::RouteChunkOf(const MapNode* node, int* layerOut, int32_t* cellX,
                                     int32_t* cellY) {
    for (const int k : {0, 4, 3}) {
        MapLayer& layer = layers[k];
        if (!layer.directory || layer.windowX0 == kNoWindow)
            continue;
        const int64_t col = layer.FileColumnOf(node->position.longitude) - layer.windowX0;
        const int64_t row = layer.FileRowOf(node->position.latitude) - layer.windowY0;
        if (col < 0 || row < 0 || col >= layer.cacheW || row >= layer.cacheH)
            continue;
        const int32_t x = static_cast<int32_t>(col), y = static_cast<int32_t>(row);
        MapChunk* record = layer.GetChunkRecord(x, y);
        if (!record || !record->IsLoaded() || record->GetNodeIndex(node) < 0)
            continue;
        if (layerOut)
            *layerOut = k;
        if (cellX)
            *cellX = layer.windowX0 + x;
        if (cellY)
            *cellY = layer.windowY0 + y;
        return record;
    }
    return nullptr;
}

int CMapDatabase::ExpandChunkForRoute(MapNode* node, bool onlyWhenMissing) {
    if (!node)
        return -1;
    if (onlyWhenMissing && node->searchState)
        return 0;
    int found = -1;
    int32_t cellX = 0, cellY = 0;
    MapChunk* chunk = RouteChunkOf(node, &found, &cellX, &cellY);
    if (!chunk)
        return -1;

    if (!(chunk->flags & kChunkFullShapes) && chunk->header.auxCount > 0 && !chunk->aux) {
        CDataFile* shapes = found != 0                              ? &mapFile2
                            : (chunk->flags & kChunkFromFileT) != 0 ? &mapFileT
                                                                    : &mapFile1;
        // A failed reload leaves the shapes as they were; the search goes on.
        if (chunk->ReloadShapePoints(InputFor(shapes), false) == 0 && found != 0)
            ShareShapePoints(found, cellX, cellY, *chunk, nullptr);
    }

    // A chunk already holding a block starts afresh in a new one; the old one goes
    // only once the new one is there, so that a shortage leaves the state as it was.
    NodeSearchState* old = chunk->searchSlots;
    if (chunk->AllocSearchState(nullptr) != 0)
        return 1;
    mapdb::FreeBlock(old);
    if (found == 0)
        chunk->flags |= kChunkRoutePin;
    return 0;
}
