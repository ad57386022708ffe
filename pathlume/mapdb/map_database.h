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
// windowX0 (and the torus offsets, until the directory is set up) of a layer that
// has no window yet.
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
    // Until the directory is set up the torus offsets and window carry the no-window
    // mark and an empty window's ends; SetupChunkDirectory gives them their values.
    int32_t torusOffsetX = kNoWindow;
    int32_t torusOffsetY = kNoWindow;
    CMapDatabase* database = nullptr;
    int32_t index = 0;
    int32_t loadedCount = 0;
    formats::map_container::GridHeader header{};
    FLOAT west = 0, south = 0, east = 0, north = 0;
    // Layers 1 to 4: one entry, the block of slotTotal records; layer 0: the page table.
    void** directory = nullptr;
    MapPoint centre;
    int32_t slotTotal = 0;
    // Layers 1 to 4: the lowest and highest slot GetChunkRecord handed out since the
    // directory was made. No record outside them was ever written.
    int32_t slotsUsedFirst = 0, slotsUsedEnd = 0;
    int32_t cacheW = 0, cacheH = 0;
    int32_t windowW = 0, windowH = 0;
    CDataFile* file = nullptr;
    uint32_t cellCount = 0;
    int32_t windowX0 = kNoWindow, windowY0 = kNoWindow;
    int32_t windowX1 = -1, windowY1 = -1;
    FLOAT windowWest = 0, windowSouth = 0, windowEast = 0, windowNorth = 0;
    FLOAT defaultSpanX = 0, defaultSpanY = 0;

    MapLayer() = default;
    ~MapLayer();
    MapLayer(const MapLayer&) = delete;
    MapLayer& operator=(const MapLayer&) = delete;

    // Opens the file in the map-data folder when it is not open and reads its head:
    // 0, 1 open failed, 2 short read, 3 wrong magic or an unusable grid.
    int ReadHeader(LPCWSTR name);
    // The layer reads its chunks from `chunkFile` from now on; layer 0 also notes
    // whether that is "mapdatat.biz".
    void SetChunkFile(CDataFile* chunkFile);
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
    // The file-grid column (row) of a longitude (latitude), truncated towards zero;
    // 64 bits wide, so that a position far off the grid, or not finite, cannot wrap
    // into it. Window cells are these less windowX0 (windowY0).
    int64_t FileColumnOf(double longitude) const;
    int64_t FileRowOf(double latitude) const;
    // The centre of file cell `cellIndex` (col + cols x row).
    MapPoint CellCenter(int32_t cellIndex) const;
    // Drops every cell of the cache and forgets the window. With pinLayer0 a detailed
    // layer first gives up its pins on layer 0's chunks, and those nobody else pins
    // are dropped afterwards.
    void DropAll(bool pinLayer0);

    // The block offset of file cell (column, row) from the cell table (0: empty); -1
    // for a negative index, -2 past the grid, -3 when the table cannot be read. The
    // index is written to indexOut when given.
    int64_t ReadCellOffset(int32_t column, int32_t row, int32_t* indexOut);
    // The block offset of file cell `cellIndex` from the cell table, or -3 when the
    // table cannot be read there.
    int64_t ReadCellEntry(uint32_t cellIndex);
    // 0 when the chunk at the block offset has at least one sc link; 1 when it has
    // none or cannot be read.
    int CellHasNoLinks(uint32_t blockOffset);
    // The nearest file cell, ring by ring around the position's cell, whose chunk has
    // links: 0 and the position moved to its centre, or 1 when there is none.
    int FindNearestCellWithLinks(MapPoint& position);

    bool ContainsPoint(FLOAT lat, FLOAT lon) const;
    // With inset, the window shrunk on every side by 0.15 of its height and width.
    bool ContainsPointInset(const MapPoint& point, bool inset) const;

    // The wanted window around a point, spanA x spanB turned by the heading and moved
    // `ahead` along it: newRect in the current window's cells, oldRect the current
    // window.
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
    // Frees every chunk and closes the map files: the state of a database never
    // opened (the program's end; a later Open starts afresh).
    void Close();

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
    // empty cell), 2 out of memory, 4 read error. A block that cannot be read is
    // reported (ReportMapReadError), once while the database stays open.
    int LoadChunk(MapLayer& layer, uint32_t cellIndex, MapChunk& record, int32_t dx, int32_t dy);

    // Loads a layer's window around a point; the LoadCacheWindow result. With refresh
    // and release a layer that has a window gives up its pins on layer 0 before the
    // load, and the overview chunks nobody pins any more are refreshed after it.
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
    // The area around the centre of a link's grid cell: a cell word with bit 31 names
    // a cell of `layerIndex` (the bit is cleared and *outLayer = layerIndex), else an
    // overview cell (*outLayer = 0). The radius is in degrees of arc. The LoadArea
    // result.
    int LoadAreaAroundCell(int layerIndex, uint32_t& cellWord, FLOAT radius, MapPoint* centre,
                           int* outLayer);
    // The area around a position; *outLayer is layerIndex when flags bit 31 is set,
    // else 0. The LoadArea result.
    int LoadAreaAroundPoint(int layerIndex, uint32_t flags, const MapPoint& position, FLOAT radius,
                            int* outLayer);

    // Pins: each user of layer 0's chunks (purpose codes: a detailed layer's index, or
    // 10 for the route search) holds its bit in the chunks it needs.
    // Clears the purpose's pin on every loaded chunk of layer 0's window that holds it
    // (unless shielded by bit 25) and marks the chunk for the refresh.
    void ReleaseLayerPin(int purpose);
    // Drops the marked chunks nobody pins any more; reloads from "mapdatat.biz" those
    // only the map view still pins. 1 when any chunk was dropped or reloaded.
    int RefreshReleasedChunks(int purpose, bool noReload);
    // Loads the overview cells (c0, r0)..(c1, r1) of layer 0's window (clamped) and
    // pins them for a purpose: from "mapdatat.biz" for the route search or
    // fromGeometry, else from "mapdata1.biz" (swapping chunks read from the other).
    // 0, or the first failed GetChunk result.
    int LoadPinnedRange(int purpose, int32_t c0, int32_t r0, int32_t c1, int32_t r1,
                        bool fromGeometry = false);

    // Drops overview cell (c, r)'s loaded chunk and reads it again from `from` (a
    // failed read tries `fallback` when given); its pins, its shield and, when the new
    // chunk has as many entries, its route-search state carry over. The last GetChunk
    // result; the cell holds no chunk afterwards when the reads failed.
    int ReloadOverviewChunk(int32_t c, int32_t r, CDataFile* from, CDataFile* fallback = nullptr);

    // Route search. The cells of layer 0's window it may load, clamped to the window;
    // the loaded ones gain the route-search pin.
    void SetRouteArea(int32_t c0, int32_t r0, int32_t c1, int32_t r1);
    // The real node for the end `node` of `link` that the search enters; a border
    // stub's chunk is loaded (avoid marks applied) and pinned, and `link` becomes the
    // joined link. outOfMemory is set when a load ran out of memory.
    MapNode* StepAcrossChunk(MapNode* node, MapLink*& link, int& outOfMemory);
    // The loaded chunk of layers 0, 4 or 3 (in that order) whose node table holds
    // `node`, with its layer and absolute cell; null when none does.
    MapChunk* RouteChunkOf(const MapNode* node, int* layerOut, int32_t* cellX, int32_t* cellY);
    // Gives the chunk holding `node` (layers 0, 4, 3) its full shape points and its
    // search state: 0 done (or, with onlyWhenMissing, already there), 1 the state
    // could not be allocated, -1 no loaded chunk holds the node.
    int ExpandChunkForRoute(MapNode* node, bool onlyWhenMissing);

    // After a power resume: "mapdata1.biz", then "mapdatat.biz" only when that
    // worked, then "mapdata2.biz". 0, or the failed reopen's result of the first of
    // "mapdata1.biz" and "mapdata2.biz" that failed ("mapdatat.biz" is optional).
    int ReopenFiles();

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
    // Layer 0's cells the route search may load: first column, first row, last
    // column, last row.
    int32_t routeArea[4] = {0, 0, -1, -1};

  private:
    // Joins side `level` of a chunk to the facing side of its neighbour; false (and
    // nothing changed) when the two do not pair up.
    bool MergeSide(ChunkLevel* level, ChunkLevel* facing);
    // Frees the chunks of layers 1 to 4, each once however many layers hold it.
    void ReleaseDetailedChunks();
    // GetChunk's work, inside its out-of-memory guard.
    int GetChunkGuarded(int layerIndex, int32_t dx, int32_t dy);
    // The report of a block LoadChunk cannot read, the first time since Open.
    void ReportUnreadableCell(const CDataFile& file, uint32_t cellIndex);
    bool unreadableReported_ = false;

  public:
    // The chunk-stream input reading `file` (one of the three container files).
    DataFileChunkInput* InputFor(const CDataFile* file);
    // After `chunk` of layer `layerIndex` (1-4) at absolute cell (x, y) had its shape
    // points read again: the other detailed layers' copies of the same chunk that
    // still hold `before` take the new points.
    void ShareShapePoints(int layerIndex, int32_t x, int32_t y, const MapChunk& chunk,
                          const MapPoint* before);

  private:
    DataFileChunkInput input1_{&mapFile1};
    DataFileChunkInput input2_{&mapFile2};
    DataFileChunkInput inputT_{&mapFileT};
};

// Bits of MapChunk::flags the pins use.
inline constexpr uint32_t kChunkPinShield = 1u << 25;  // kept through a pin release
inline constexpr uint32_t kChunkRefreshMark = 0x20;    // pin released, waiting for the refresh
inline constexpr uint32_t kChunkRoutePin = 0x10;
// Pins whose holders draw the chunk: they clear the reload-block bit 27.
inline constexpr uint32_t kChunkDisplayPins = 0x1 | 0x4 | 0x8;

// The program's one road-network database, constructed before the program starts.
extern CMapDatabase g_mapDatabase;

// Reopens a file at its old position after a power resume: the file, or null when
// it holds no valid handle afterwards.
CDataFile* ReopenFile(CDataFile* file, DWORD mode);

// The pin bit of a purpose code: 2 -> 0x1, 1 -> 0x2, 4 -> 0x4, 3 -> 0x8, 10 -> 0x10.
uint32_t PinBitOfPurpose(int purpose);

// The display layer's window size in cells: from the theme's zoom level, the view
// factor and the screen, over the layer's cell size at its worst latitude.
int32_t DisplayCacheCells(const MapLayer& layer);
