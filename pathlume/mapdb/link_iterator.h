// Walks every link of one layer in a rectangle of window cells, up to a road class:
// chunk by chunk in row order, and inside each loaded chunk its sc links, then its
// side links, then its shared links. Dead links, links above the class limit and
// border links a neighbouring chunk of the same walk already returned are passed
// over, so a walk returns every link once without keeping a set of seen links.
//
// Calling order: optionally SelectLayer; set pinMask and reloadFromMain; Init; then
// Next until it returns null. A link returned stays valid until the next call that
// may load or purge chunks (a walk with needShapes or reloadFromMain may).
#pragma once

#include <cstdint>

#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_records.h"

// Chunk flag bit 27, kept for the pin release; a chunk swapped for its main-file
// version by a walk gains it.
inline constexpr uint32_t kChunkReloadedByWalk = 1u << 27;

// Bits of LinkIterator::state.
inline constexpr uint32_t kIterScDone = 0x1;
inline constexpr uint32_t kIterSideDone = 0x2;     // << side: side links of that side done
inline constexpr uint32_t kIterSharedDone = 0x20;  // << side: shared links of that side done

// Bits of LinkIterator::skipMask.
inline constexpr uint32_t kIterSkipSouth = 0x8;  // side 2's links were returned below
inline constexpr uint32_t kIterSkipWest = 0x10;  // side 3's links were returned to the left

// The record a caller owns, usually on its stack. It holds no resources: abandoning
// it at any point is allowed.
struct LinkIterator {
    CountedLink* currentCounted = nullptr;  // of the last shared link returned
    // 0: visit every loaded chunk; otherwise only chunks whose pin bits share a bit.
    uint32_t pinMask = 0;
    uint32_t needShapes = 0;         // restore full shape points of visited chunks
    CDataFile* shapeFile = nullptr;  // where they are read from
    uint32_t reloadFromMain = 0;     // swap chunks read from mapdatat.biz for mapdata1.biz's
    int32_t returnedInChunk = -1;    // -1 after Init, 0 at each new chunk
    uint32_t layerIndex = 0;
    MapLayer* layer = nullptr;
    MapChunk* chunk = nullptr;
    MapLink* linkCursor = nullptr;
    SharedLinkEntry* sharedCursor = nullptr;
    uint32_t state = 0;
    uint32_t skipMask = 0;
    uint32_t kinds = 0;       // 7 at every chunk: sc, side and shared links
    uint32_t classLimit = 0;  // links with attributes & 0x1C0 above it are passed over
    int32_t x0 = 0, y0 = 0, x1 = -1, y1 = -1;
    int32_t index = 0;
    int32_t count = 0;
    int32_t side = 0;
    int32_t x = 0, y = 0;

    // needShapes stored; shapes are read again from mapdata2.biz with useMapdata2,
    // else from mapdata1.biz.
    void SelectLayer(CMapDatabase& database, uint32_t needShapesFlag, uint32_t useMapdata2);
    // Prepares a walk over cells (x0, y0)..(x1, y1) of the layer's window, clamped to
    // it, and moves to the first chunk: 0, or 1 when no chunk there can be visited.
    // The kind mask is kept for callers only: every chunk reports all kinds.
    int Init(MapLayer& walkLayer, int32_t firstX, int32_t firstY, int32_t lastX, int32_t lastY,
             uint32_t limit, uint32_t kindMask);
    // 0 positioned on the next visitable chunk, 1 at the end of the walk.
    int NextChunk();
    // The next live link, or null at the end of the walk.
    MapLink* Next();
    // The next link of the current chunk, dead links included, or null when the
    // chunk is exhausted.
    MapLink* NextInChunk();
    // 1 when the current shared entry is reported from another cell or side.
    int SkipShared() const;

  private:
    // The cell's record when this walk visits it (loaded, and pinned as asked).
    MapChunk* VisitableRecord(int32_t cellX, int32_t cellY) const;
    // Moves to the first side from `first` on whose links (shared: its shared
    // entries) are to be walked; false when none is left.
    bool StartSideLinks(int first);
    bool StartSharedLinks(int first);
    // Step 4 of NextChunk: swap or reshape the current chunk; false when the cell
    // holds no loaded chunk afterwards.
    bool WorkOnChunk();

    DataFileChunkInput shapeInput_{nullptr};
};
