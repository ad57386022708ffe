// The road-network database: the three container files, their headers, and five
// layers, each a window of grid cells whose chunks the chunk directory holds.
// Layer 0 covers the whole overview grid ("mapdata1.biz", or "mapdatat.biz" when
// bound so); layers 1 to 4 are windows of the detailed grid ("mapdata2.biz"):
// the display layer, a small layer, and two route-search layers.
#pragma once

#include <array>
#include <cstdint>

#include "formats/map_container.h"
#include "pathlume/foundation/data_file.h"
#include "pathlume/mapdb/chunk_decoder.h"
#include "pathlume/mapdb/chunk_stream.h"
#include "pathlume/mapdb/map_records.h"

class CMapDatabase;

inline constexpr int kMapLayerCount = 5;
// windowX0 of a layer that has no window yet.
inline constexpr int32_t kNoWindow = -500000;

// Layer 0's directory pages: 16 x 16 cells each.
inline constexpr int kPageCells = 16;
struct ChunkPage {
    uint32_t loadedCount;
    MapChunk records[kPageCells * kPageCells];
};

// A window rectangle in window-relative cells.
struct CellRect {
    int32_t firstCol;
    int32_t lastRow;
    int32_t lastCol;
    int32_t firstRow;
};

struct MapLayer {
    int32_t torusOffsetX = 0;
    int32_t torusOffsetY = 0;
    CMapDatabase* database = nullptr;
    int32_t index = 0;
    int32_t loadedCount = 0;
    formats::map_container::GridHeader header{};
    FLOAT west = 0, south = 0, east = 0, north = 0;
    // Layers 1 to 4: one entry, the block of slotTotal records; layer 0: the page table.
    void** directory = nullptr;
    MapPoint centre;
    int32_t slotTotal = 0;
    int32_t cacheW = 0, cacheH = 0;
    int32_t windowW = 0, windowH = 0;
    CDataFile* file = nullptr;
    uint32_t cellCount = 0;
    int32_t windowX0 = kNoWindow, windowY0 = kNoWindow;
    int32_t windowX1 = 0, windowY1 = 0;
    FLOAT windowWest = 0, windowSouth = 0, windowEast = 0, windowNorth = 0;
    FLOAT defaultSpanX = 0, defaultSpanY = 0;

    MapLayer() = default;
    ~MapLayer();
    MapLayer(const MapLayer&) = delete;
    MapLayer& operator=(const MapLayer&) = delete;

    // Opens the file in the map-data folder when it is not open and reads its head:
    // 0, 1 open failed, 2 short read, 3 wrong magic or an unusable grid.
    int ReadHeader(LPCWSTR name);
    // Sizes the cache for a window of w x h cells and allocates the directory: 0, or
    // 1 when it cannot be allocated.
    int SetupChunkDirectory(int32_t w, int32_t h);
    // Frees every chunk of the directory and the directory itself.
    void FreeDirectory();

    int32_t GetCacheSlot(int32_t dx, int32_t dy) const;
    // The record of a window cell, or null; for layer 0 with allocatePage a missing
    // page is allocated (null when that fails).
    MapChunk* GetChunkRecord(int32_t dx, int32_t dy, bool allocatePage = false);
    // The file's cell index of window cell (dx, dy), or -1 outside the grid.
    int32_t GetChunkIndex(int32_t dx, int32_t dy) const;

    bool ContainsPoint(FLOAT lat, FLOAT lon) const;
    // With inset, the window shrunk on every side by 0.15 of its height and width.
    bool ContainsPointInset(const MapPoint& point, bool inset) const;

    // The wanted window around a point (see the cache's description): newRect in the
    // current window's cells, oldRect the current window.
    void ComputeCacheWindow(const MapPoint& point, FLOAT& heading, FLOAT& spanA, FLOAT& spanB,
                            FLOAT ahead, CellRect& newRect, CellRect& newRectCopy,
                            CellRect& oldRect);
    // Moves the window to the point (null: the last centre) and loads the cells that
    // enter, dropping those that leave: 0, or the first failed load's result (the
    // window is moved all the same, so that it covers every loaded cell).
    int LoadCacheWindow(const MapPoint* point, FLOAT spanA, FLOAT spanB, FLOAT ahead, FLOAT heading,
                        bool refresh);
    // One window cell in: copied from another detailed layer that holds it, else
    // loaded. 0, 2 or 4.
    int LoadWindowCell(int32_t dx, int32_t dy);
    // One window cell out: forgotten when another layer still holds it, else purged.
    void DropWindowCell(int32_t dx, int32_t dy);
};

class CMapDatabase {
  public:
    CMapDatabase();
    ~CMapDatabase();
    CMapDatabase(const CMapDatabase&) = delete;
    CMapDatabase& operator=(const CMapDatabase&) = delete;

    // Opens "mapdatat.biz" (its failure is ignored), then the layers: 0, or -1.
    int Open();
    // 0, 1 a header could not be read, 2 a directory could not be set up; failures
    // show "Missing or corrupted mapdata file".
    int OpenLayers(LPCWSTR name1, LPCWSTR name2);
    // Layer 0's window over the whole grid, and cellsPer100Miles; 0.
    int SetupGrid();
    void GetBounds(FLOAT* southOut, FLOAT* northOut, FLOAT* westOut, FLOAT* eastOut) const;

    // Layer 0's cache slot of the overview cell that contains window cell (dx, dy) of
    // layer k, with the cell (X, Y), its page and its place in the page.
    int32_t GetOverviewCell(int k, int32_t dx, int32_t dy, int32_t* x, int32_t* y, int32_t* page,
                            int32_t* inPage) const;
    // The loaded record of absolute cell (X, Y) in another of layers 1 to 4, or null.
    MapChunk* FindLoadedElsewhere(int layerIndex, int32_t x, int32_t y);
    // Makes the chunk of window cell (dx, dy) of a layer loaded and joins it to its
    // loaded neighbours: 0 (also outside the grid or an empty cell), 2 out of
    // memory, 4 read error.
    int GetChunk(int layerIndex, int32_t dx, int32_t dy);
    // Reads and decodes the chunk of file cell `cellIndex` into `record`: 0 (also an
    // empty cell), 2 out of memory, 4 read error.
    int LoadChunk(MapLayer& layer, uint32_t cellIndex, MapChunk& record, int32_t dx, int32_t dy);

    // Loads a layer's window around a point; the LoadCacheWindow result. `release`
    // (drop the layer's overview pins around the load) is not acted upon yet.
    int LoadArea(int layerIndex, const MapPoint& point, FLOAT spanA, FLOAT spanB, FLOAT ahead,
                 FLOAT heading, bool refresh, bool release);
    // Loads a growing area (radius in degrees of latitude) until it holds enough
    // links that reach the overview: 0, or the first failed LoadArea result.
    int LoadAreaGrowing(int layerIndex, const MapPoint& point, FLOAT radius);
    // The loaded link of the layer with that id near the point, or null. flags 4
    // searches the point's cell and its eight neighbours, otherwise 2,000 feet
    // around it; endTest 1 (2) wants a from- (to-) node that is not a border node.
    MapLink* FindLink(int layerIndex, const MapPoint& point, int32_t id, uint32_t flags,
                      int endTest);
    // Loads layer 3 around the point and replaces a counted link by its twin of the
    // same id in layer 0 or 3; the LoadAreaGrowing result.
    int ResolveLinkAcrossLayers(const MapPoint& point, MapLink*& link, FLOAT radius);
    // Loads the overview cells (c0, r0)..(c1, r1) of layer 0's window (clamped) from
    // the file layer 0 is bound to and pins them for a purpose (a detailed layer's
    // index): 0, or the first failed GetChunk result.
    int LoadPinnedRange(int purpose, int32_t c0, int32_t r0, int32_t c1, int32_t r1);

    int32_t cellRatioX = 1;
    int32_t cellRatioY = 1;
    CDataFile mapFile1;
    CDataFile mapFile2;
    CDataFile mapFileT;
    DWORD layer0UsesFileT = 0;
    DWORD keepAuxPoints = 0;
    BYTE* bumpCursor = nullptr;
    BYTE* bumpBlock = nullptr;
    int32_t cellsPer100Miles = 0;
    int32_t refTotal[2] = {};   // layers 4 and 3
    int32_t linkTotal[2] = {};  // layers 4 and 3
    std::array<MapLayer, kMapLayerCount> layers;

  private:
    // Joins side `level` of a chunk to the facing side of its neighbour; false (and
    // nothing changed) when the two do not pair up.
    bool MergeSide(ChunkLevel* level, ChunkLevel* facing);
    // Frees the chunks of layers 1 to 4, each once however many layers hold it.
    void ReleaseDetailedChunks();
    // GetChunk's work, inside its out-of-memory guard.
    int GetChunkGuarded(int layerIndex, int32_t dx, int32_t dy);

    DataFileChunkInput input1_{&mapFile1};
    DataFileChunkInput input2_{&mapFile2};
    DataFileChunkInput inputT_{&mapFileT};
};

// The pin bit of a purpose code: 2 -> 0x1, 1 -> 0x2, 4 -> 0x4, 3 -> 0x8, 10 -> 0x10.
uint32_t PinBitOfPurpose(int purpose);

// The display layer's window size in cells: from the theme's zoom level, the view
// factor and the screen, over the layer's cell size at its worst latitude.
int32_t DisplayCacheCells(const MapLayer& layer);
