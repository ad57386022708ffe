// Moving a layer's window: the cells that leave are dropped, the cells that enter
// are loaded or copied from another detailed layer that holds them, and the cells
// that stay keep their slot through the torus offsets.
#include <algorithm>
#include <cstring>

#include "pathlume/mapdb/chunk_purge.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/mapdb_memory.h"

namespace {

int32_t Modulo(int32_t value, int32_t size) {
    const int32_t r = value % size;
    return r < 0 ? r + size : r;
}

// Index into the database's totals for layers 4 and 3, or -1.
int TotalIndex(int layerIndex) {
    return layerIndex == 4 ? 0 : layerIndex == 3 ? 1 : -1;
}

}  // namespace

uint32_t PinBitOfPurpose(int purpose) {
    switch (purpose) {
        case 2:
            return 0x1;
        case 1:
            return 0x2;
        case 4:
            return 0x4;
        case 3:
            return 0x8;
        case 10:
            return 0x10;
        default:
            return 0;
    }
}

int MapLayer::LoadCacheWindow(const MapPoint* point, FLOAT spanA, FLOAT spanB, FLOAT ahead,
                              FLOAT heading, bool refresh) {
    if (!directory)
        return 0;
    if (point)
        centre = *point;
    CellRect wanted, copy, old;
    ComputeCacheWindow(centre, heading, spanA, spanB, ahead, wanted, copy, old);
    const int32_t f = wanted.firstCol, l = wanted.lastCol;
    const int32_t fr = wanted.firstRow, lr = wanted.lastRow;

    if (refresh && index != 0) {
        int32_t c0, r0, c1, r1, page, inPage;
        database->GetOverviewCell(index, f, fr, &c0, &r0, &page, &inPage);
        database->GetOverviewCell(index, l, lr, &c1, &r1, &page, &inPage);
        if (const int result = database->LoadPinnedRange(index, c0, r0, c1, r1))
            return result;
    }

    const int32_t w = windowW, h = windowH;
    int result = 0;
    auto load = [&](int32_t x, int32_t y) {
        if (result == 0)
            result = LoadWindowCell(x, y);
    };
    // The old window's cells are 0..w-1 and 0..h-1: a new rectangle that starts at
    // column w (or row h) shares nothing with it.
    if (fr < h && lr >= 0 && f < w && l >= 0) {
        const int32_t ox0 = std::max(f, 0), ox1 = std::min(l, w - 1);
        const int32_t oy0 = std::max(fr, 0), oy1 = std::min(lr, h - 1);
        for (int32_t x = 0; x < ox0; ++x) {
            for (int32_t y = 0; y < h; ++y)
                DropWindowCell(x, y);
        }
        for (int32_t x = ox1 + 1; x < w; ++x) {
            for (int32_t y = 0; y < h; ++y)
                DropWindowCell(x, y);
        }
        for (int32_t x = ox0; x <= ox1; ++x) {
            for (int32_t y = 0; y < oy0; ++y)
                DropWindowCell(x, y);
            for (int32_t y = oy1 + 1; y < h; ++y)
                DropWindowCell(x, y);
        }
        for (int32_t x = ox0 - 1; x >= f; --x) {
            for (int32_t y = fr; y <= lr; ++y)
                load(x, y);
        }
        for (int32_t x = ox1 + 1; x <= l; ++x) {
            for (int32_t y = fr; y <= lr; ++y)
                load(x, y);
        }
        for (int32_t y = oy0 - 1; y >= fr; --y) {
            for (int32_t x = ox0; x <= ox1; ++x)
                load(x, y);
        }
        for (int32_t y = oy1 + 1; y <= lr; ++y) {
            for (int32_t x = ox0; x <= ox1; ++x)
                load(x, y);
        }
    } else {
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x)
                DropWindowCell(x, y);
        }
        for (int32_t y = fr; y <= lr; ++y) {
            for (int32_t x = f; x <= l; ++x)
                load(x, y);
        }
    }

    // The window moves even after a failed load: the cells loaded so far lie in the
    // new window, and only the window's cells are ever dropped again.
    windowX0 += f;
    windowX1 += l - w + 1;
    windowW = l - f + 1;
    torusOffsetX = Modulo(torusOffsetX + f, cacheW);
    windowY0 += fr;
    windowY1 += lr - h + 1;
    windowH = lr - fr + 1;
    torusOffsetY = Modulo(torusOffsetY + fr, cacheH);
    // The bounds from the cells themselves, so that many moves add up no rounding.
    windowWest = header.originLongitude + (windowX0 + header.firstColumn) * header.cellWidth;
    windowEast = header.originLongitude + (windowX1 + 1 + header.firstColumn) * header.cellWidth;
    windowSouth = header.originLatitude + (windowY0 + header.firstRow) * header.cellHeight;
    windowNorth = header.originLatitude + (windowY1 + 1 + header.firstRow) * header.cellHeight;
    defaultSpanX = spanA;
    defaultSpanY = spanB;
    // The vehicle's link follows the reloads (those of every layer but the small one).
    if (index != 2)
        g_vehicleLocation.Refresh(*database, static_cast<uint32_t>(index));
    return result;
}

int MapLayer::LoadWindowCell(int32_t dx, int32_t dy) {
    MapChunk* other = database->FindLoadedElsewhere(index, windowX0 + dx, windowY0 + dy);
    if (!other)
        return database->GetChunk(index, dx, dy);
    MapChunk* mine = GetChunkRecord(dx, dy);
    if (!mine || mine->IsLoaded())
        return 0;
    std::memcpy(static_cast<void*>(mine), other, sizeof(MapChunk));
    // One record keeps the route-search block: the route layers take it.
    if (index == 3 || index == 4)
        other->searchSlots = nullptr;
    else
        mine->searchSlots = nullptr;
    ++loadedCount;
    if (const int t = TotalIndex(index); t >= 0) {
        database->refTotal[t] += static_cast<int32_t>(mine->externalRefs);
        database->linkTotal[t] += mine->header.scLinkCount + (mine->EdLinkCount() >> 1);
    }
    return 0;
}

void MapLayer::DropWindowCell(int32_t dx, int32_t dy) {
    MapChunk* mine = GetChunkRecord(dx, dy);
    MapChunk* other = database->FindLoadedElsewhere(index, windowX0 + dx, windowY0 + dy);
    // Only a copy of the other layer's chunk is forgotten; a chunk this layer read
    // itself is purged like any other.
    if (!mine || !mine->IsLoaded() || !other || other->block != mine->block ||
        other->nodes != mine->nodes) {
        MapChunk::RebuildLevels(*this, dx, dy, false);
        return;
    }
    if (const int t = TotalIndex(index); t >= 0) {
        database->refTotal[t] =
            std::max(0, database->refTotal[t] - static_cast<int32_t>(mine->externalRefs));
        database->linkTotal[t] -= mine->header.scLinkCount + (mine->EdLinkCount() >> 1);
    }
    // The route-search block must not be lost with the record: the copy that stays
    // takes it, or, holding its own, points the nodes there and this one is freed.
    if (mine->searchSlots && mine->searchSlots != other->searchSlots) {
        if (!other->searchSlots) {
            other->searchSlots = mine->searchSlots;
        } else {
            other->AllocSearchState(other->searchSlots);
            mapdb::FreeBlock(mine->searchSlots);
        }
    }
    std::memset(static_cast<void*>(mine), 0, sizeof(MapChunk));
    --loadedCount;
}
