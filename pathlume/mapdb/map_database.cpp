#include "pathlume/mapdb/map_database.h"

#include <new>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/mapdb/chunk_purge.h"
#include "pathlume/mapdb/display_values.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/map_errors.h"
#include "pathlume/mapdb/mapdb_memory.h"
#include "platform/afx/afx.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/text.h"

namespace container = formats::map_container;

namespace {

constexpr FLOAT kDegToRad = 0.017453292f;
constexpr double kFeetPerDegree = 364811.22;
constexpr double kEarthRadiusMiles = 3958.73926185;
// The records of a layer 1-4 directory block start after its leading word, aligned.
constexpr size_t kSlotBlockHeader = alignof(std::max_align_t);

int32_t Modulo(int32_t value, int32_t size) {
    const int32_t r = value % size;
    return r < 0 ? r + size : r;
}

MapChunk* SlotRecords(void** directory) {
    return reinterpret_cast<MapChunk*>(static_cast<BYTE*>(directory[0]) + kSlotBlockHeader);
}

// A record still as its directory was made holds nothing to free. Most of a
// directory's pages were never written: freeing only reads them, and writing to
// them (clearing what is already clear) would fault every one in at the exit.
bool IsBlank(const MapChunk& record) {
    const auto* bytes = reinterpret_cast<const BYTE*>(&record);
    return std::all_of(bytes, bytes + sizeof(record), [](BYTE b) { return b == 0; });
}

// Two joined neighbours hold one side record between them: each side is freed once,
// before the chunks' own storage.
void FreeRecordStorage(const std::vector<MapChunk*>& records) {
    std::set<ChunkLevel*> sides;
    for (MapChunk* record : records) {
        for (ChunkLevel*& level : record->levels) {
            if (level)
                sides.insert(level);
            level = nullptr;
        }
    }
    for (ChunkLevel* level : sides) {
        level->Free();
        mapdb::FreeBlock(level);
    }
    for (MapChunk* record : records)
        record->FreeStorage();
}

// Whether every block the file's cell table names lies whole within the file with a
// head a reader may inflate: a file cut short, or a table or head with a damaged
// size or offset, is refused at open instead of read later as cells without roads.
bool CellBlocksFit(CDataFile& file, const container::GridHeader& header) {
    namespace block = formats::compressed_block;
    if (!file.IsOpen() || file.Size() < 0)
        return false;
    const uint64_t size = static_cast<uint64_t>(file.Size());
    const uint64_t cells = container::CellCount(header);
    const uint64_t tableEnd = container::kCellTableOffset + cells * container::kCellEntrySize;
    if (size < tableEnd)
        return false;
    std::vector<uint8_t> table(cells * container::kCellEntrySize);
    if (file.Seek(static_cast<int>(container::kCellTableOffset), 0) != 0 ||
        file.Read(table.data(), static_cast<int>(table.size())) != static_cast<int>(table.size()))
        return false;
    for (uint64_t cell = 0; cell < cells; ++cell) {
        const uint64_t offset = container::LoadU32(table.data() + cell * container::kCellEntrySize);
        if (offset == 0)
            continue;
        uint8_t head[block::kHeadSize];
        if (offset < tableEnd || offset + block::kHeadSize > size ||
            file.Seek(static_cast<int>(offset), 0) != 0 ||
            file.Read(head, static_cast<int>(block::kHeadSize)) !=
                static_cast<int>(block::kHeadSize))
            return false;
        const block::BlockHead blockHead = block::DecodeHead(head);
        if (blockHead.packedSize > size - offset - block::kHeadSize ||
            !block::IsPlausibleHead(blockHead) ||
            blockHead.rawSize < formats::chunk_payload::kHeaderSize ||
            blockHead.rawSize > ChunkStream::kRegionSize)
            return false;
    }
    return true;
}

}  // namespace

MapLayer::~MapLayer() {
    FreeDirectory();
}

int MapLayer::ReadHeader(LPCWSTR name) {
    if (!file->IsOpen() &&
        file->OpenInFolder(g_dataFolder, name, kDataFileRead | kDataFileMapped, nullptr) != 0)
        return 1;
    uint8_t bytes[container::kHeaderSize];
    if (file->Seek(0, 0) != 0 ||
        file->Read(bytes, static_cast<int>(sizeof(bytes))) != static_cast<int>(sizeof(bytes)))
        return 2;
    header = container::DecodeHeader(bytes);
    if (CheckDataFileVersion(container::kMagic, header.magic, name) != 0)
        return 3;
    // A head whose grid cannot be walked, or whose cells are not the powers of two
    // every map is cut in, is as unusable as a wrong magic.
    if (!container::IsDeviceGrid(header))
        return 3;
    west = header.originLongitude + header.firstColumn * header.cellWidth;
    south = header.originLatitude + header.firstRow * header.cellHeight;
    east = west + header.columns * header.cellWidth;
    north = south + header.rows * header.cellHeight;
    cellCount = container::CellCount(header);
    return 0;
}

void MapLayer::SetChunkFile(CDataFile* chunkFile) {
    file = chunkFile;
    if (index == 0 && database)
        database->layer0UsesFileT = chunkFile == &database->mapFileT ? 1 : 0;
}

int MapLayer::SetupChunkDirectory(int32_t w, int32_t h) {
    FreeDirectory();
    const int32_t extra = index == 0 ? 1 : 3;
    cacheW = w + extra;
    cacheH = h + extra;
    slotTotal = cacheW * cacheH;
    slotsUsedFirst = slotTotal;
    slotsUsedEnd = 0;
    windowX0 = windowY0 = kNoWindow;
    windowX1 = w - 1;
    windowY1 = h - 1;
    torusOffsetX = torusOffsetY = 0;
    windowW = w;
    windowH = h;
    if (index == 0) {
        const size_t pages = static_cast<size_t>((cacheW >> 4) + 1) * ((cacheH >> 4) + 1);
        directory = static_cast<void**>(mapdb::TryAllocZeroed(pages * sizeof(void*)));
        return directory ? 0 : 1;
    }
    directory = static_cast<void**>(mapdb::TryAllocZeroed(sizeof(void*)));
    if (!directory)
        return 1;
    directory[0] = mapdb::TryAllocZeroed(kSlotBlockHeader + size_t(slotTotal) * sizeof(MapChunk));
    if (!directory[0]) {
        mapdb::FreeBlock(directory);
        directory = nullptr;
        return 1;
    }
    return 0;
}

void MapLayer::FreeDirectory() {
    if (!directory)
        return;
    std::vector<MapChunk*> records;
    const size_t pages = static_cast<size_t>((cacheW >> 4) + 1) * ((cacheH >> 4) + 1);
    if (index == 0) {
        for (size_t p = 0; p < pages; ++p) {
            if (auto* page = static_cast<ChunkPage*>(directory[p])) {
                for (MapChunk& record : page->records)
                    records.push_back(&record);
            }
        }
    } else {
        MapChunk* slots = SlotRecords(directory);
        for (int32_t i = slotsUsedFirst; i < slotsUsedEnd; ++i) {
            if (!IsBlank(slots[i]))
                records.push_back(&slots[i]);
        }
    }
    FreeRecordStorage(records);
    for (MapChunk* record : records)
        record->FreeProxyNodes();
    if (index == 0) {
        for (size_t p = 0; p < pages; ++p)
            mapdb::FreeBlock(directory[p]);
    } else {
        mapdb::FreeBlock(directory[0]);
    }
    mapdb::FreeBlock(directory);
    directory = nullptr;
    loadedCount = 0;
}

int32_t MapLayer::GetCacheSlot(int32_t dx, int32_t dy) const {
    if (index == 0 && (dx < 0 || dy < 0 || dx >= cacheW || dy >= cacheH))
        return -1;
    if (cacheW <= 0 || cacheH <= 0)
        return -1;
    return Modulo(dx + torusOffsetX, cacheW) + cacheW * Modulo(dy + torusOffsetY, cacheH);
}

MapChunk* MapLayer::GetChunkRecord(int32_t dx, int32_t dy, bool allocatePage) {
    if (!directory)
        return nullptr;
    if (index != 0) {
        const int32_t slot = GetCacheSlot(dx, dy);
        if (slot < 0)
            return nullptr;
        slotsUsedFirst = std::min(slotsUsedFirst, slot);
        slotsUsedEnd = std::max(slotsUsedEnd, slot + 1);
        return &SlotRecords(directory)[slot];
    }
    if (dx < 0 || dy < 0 || dx >= cacheW || dy >= cacheH)
        return nullptr;
    const int32_t pageIndex = (dx >> 4) + ((cacheW >> 4) + 1) * (dy >> 4);
    auto* page = static_cast<ChunkPage*>(directory[pageIndex]);
    if (!page) {
        if (!allocatePage)
            return nullptr;
        page = static_cast<ChunkPage*>(mapdb::TryAllocZeroed(sizeof(ChunkPage)));
        if (!page)
            return nullptr;
        directory[pageIndex] = page;
    }
    return &page->records[(dx & 15) + kPageCells * (dy & 15)];
}

int32_t MapLayer::GetChunkIndex(int32_t dx, int32_t dy) const {
    const int64_t x = int64_t{windowX0} + dx;
    const int64_t y = int64_t{windowY0} + dy;
    if (x < 0 || y < 0 || x >= header.columns || y >= header.rows)
        return -1;
    return static_cast<int32_t>(x + int64_t{header.columns} * y);
}

bool MapLayer::ContainsPoint(FLOAT lat, FLOAT lon) const {
    return lat >= windowSouth && lat <= windowNorth && lon >= windowWest && lon <= windowEast;
}

bool MapLayer::ContainsPointInset(const MapPoint& point, bool inset) const {
    if (!inset)
        return ContainsPoint(point.latitude, point.longitude);
    const FLOAT dLat = (windowNorth - windowSouth) * 0.15f;
    const FLOAT dLon = (windowEast - windowWest) * 0.15f;
    return point.latitude >= windowSouth + dLat && point.latitude <= windowNorth - dLat &&
           point.longitude >= windowWest + dLon && point.longitude <= windowEast - dLon;
}

void MapLayer::ComputeCacheWindow(const MapPoint& point, FLOAT& heading, FLOAT& spanA, FLOAT& spanB,
                                  FLOAT ahead, CellRect& newRect, CellRect& newRectCopy,
                                  CellRect& oldRect) {
    if (windowX0 == kNoWindow) {
        windowW = windowH = 0;
        windowX0 = windowY0 = 0;
        windowX1 = windowY1 = -1;
        windowWest = windowEast = west;
        windowSouth = windowNorth = south;
        torusOffsetX = torusOffsetY = 0;
    }
    oldRect = {0, windowH - 1, windowW - 1, 0};
    if (spanA == 0)
        spanA = defaultSpanX;
    if (spanB == 0)
        spanB = defaultSpanY;
    const FLOAT halfA = spanA * 0.5f;
    const FLOAT halfB = spanB * 0.5f;
    FLOAT lon0, lon1, lat0, lat1;
    if (heading != 0) {
        const FLOAT r = heading * kDegToRad;
        const FLOAT s = std::sin(r);
        const FLOAT c = std::cos(r);
        const FLOAT extentLon = std::fabs(c * halfA) + std::fabs(s * halfB);
        const FLOAT extentLat = std::fabs(s * halfA) + std::fabs(c * halfB);
        lon0 = point.longitude - extentLon + s * ahead;
        lon1 = lon0 + 2 * extentLon;
        lat0 = point.latitude - extentLat + c * ahead;
        lat1 = lat0 + 2 * extentLat;
    } else {
        lon0 = point.longitude - halfA;
        lon1 = point.longitude + halfA;
        lat0 = point.latitude - halfB + ahead;
        lat1 = point.latitude + halfB + ahead;
    }
    // A negative span must not turn the window inside out.
    if (lon1 < lon0)
        std::swap(lon0, lon1);
    if (lat1 < lat0)
        std::swap(lat0, lat1);
    lon0 = std::clamp(lon0, west, east);
    lon1 = std::clamp(lon1, west, east);
    lat0 = std::clamp(lat0, south, north);
    lat1 = std::clamp(lat1, south, north);
    auto column = [&](FLOAT lon) {
        return TruncateToInt32((lon - header.originLongitude) / header.cellWidth) - windowX0 -
               header.firstColumn;
    };
    auto row = [&](FLOAT lat) {
        return TruncateToInt32((lat - header.originLatitude) / header.cellHeight) - windowY0 -
               header.firstRow;
    };
    int32_t firstCol = column(lon0), lastCol = column(lon1);
    int32_t firstRow = row(lat0), lastRow = row(lat1);
    const int32_t k = index == 0 ? 1 : 3;
    if (lastCol - firstCol > cacheW - k) {
        const int32_t f = firstCol, l = lastCol;
        firstCol = (f + l - cacheW + k) / 2;
        lastCol = (f + l + cacheW - k) / 2;
    }
    if (lastRow - firstRow > cacheH - k) {
        const int32_t f = firstRow, l = lastRow;
        firstRow = (f + l - cacheH + k) / 2;
        lastRow = (f + l + cacheH - k) / 2;
    }
    newRect = {firstCol, lastRow, lastCol, firstRow};
    newRectCopy = newRect;
}

CMapDatabase::CMapDatabase() {
    for (int i = 0; i < kMapLayerCount; ++i) {
        layers[i].database = this;
        layers[i].index = i;
        layers[i].file = i == 0 ? &mapFile1 : &mapFile2;
    }
    g_currentChunkStream = &g_chunkStream;
    if (!g_chunkStream.inputBuffer)
        g_chunkStream.SetInputBuffer(ChunkStream::kInputBufferSize);
    InflateArena::Init(InflateArena::kInitialBlockSize);
}

void CMapDatabase::Close() {
    this->~CMapDatabase();
    new (this) CMapDatabase();
}

CMapDatabase::~CMapDatabase() {
    InflateArena::Release();
    // The blocks kept belong to files this database opened: no later opening matches them.
    g_chunkStream.ClearCache();
    ReleaseDetailedChunks();
    // Detailed chunks hang links on overview nodes and proxies: they go first.
    for (int i = kMapLayerCount - 1; i >= 0; --i)
        layers[i].FreeDirectory();
}

void CMapDatabase::ReleaseDetailedChunks() {
    // A chunk copied into several detailed layers, and a side joined between chunks
    // of different layers, are freed once: the copies are forgotten first.
    std::set<const void*> chunks;
    std::set<NodeSearchState*> searchBlocks;
    std::vector<MapChunk*> kept;
    for (int k = kMapLayerCount - 1; k >= 1; --k) {
        MapLayer& layer = layers[k];
        if (!layer.directory)
            continue;
        for (int32_t i = layer.slotsUsedFirst; i < layer.slotsUsedEnd; ++i) {
            MapChunk& record = SlotRecords(layer.directory)[i];
            if (IsBlank(record))
                continue;
            if (record.searchSlots)
                searchBlocks.insert(record.searchSlots);
            record.searchSlots = nullptr;
            const void* identity = record.block   ? static_cast<const void*>(record.block)
                                   : record.nodes ? static_cast<const void*>(record.nodes)
                                   : record.aux   ? static_cast<const void*>(record.aux)
                                                  : nullptr;
            for (ChunkLevel* level : record.levels) {
                if (!identity && level)
                    identity = level;
            }
            if (identity && !chunks.insert(identity).second)
                std::memset(static_cast<void*>(&record), 0, sizeof(record));
            else
                kept.push_back(&record);
        }
        layer.loadedCount = 0;
    }
    FreeRecordStorage(kept);
    for (NodeSearchState* block : searchBlocks)
        mapdb::FreeBlock(block);
}

int CMapDatabase::Open() {
    unreadableReported_ = false;
    mapFileT.OpenInFolder(g_dataFolder, u"mapdatat.biz", kDataFileRead | kDataFileMapped, nullptr);
    if (OpenLayers(u"mapdata1.biz", u"mapdata2.biz") != 0) {
        // Nothing of a map that cannot be read stays open (nor mapped until exit).
        mapFile1.Close();
        mapFile2.Close();
        mapFileT.Close();
        return -1;
    }
    return SetupGrid();
}

int CMapDatabase::OpenLayers(LPCWSTR name1, LPCWSTR name2) {
    // Opened again, the database first lets go of what it holds as its destructor
    // does: a chunk several detailed layers share is freed once, and the detailed
    // chunks go before the overview chunks they hang on.
    ReleaseDetailedChunks();
    for (int i = kMapLayerCount - 1; i >= 1; --i)
        layers[i].FreeDirectory();
    int result = 0;
    if (layers[0].ReadHeader(name1) != 0) {
        result = 1;
    } else if (layers[0].SetupChunkDirectory(layers[0].header.columns, layers[0].header.rows) !=
               0) {
        result = 2;
    } else {
        for (int i : {2, 3, 4, 1}) {
            if (layers[i].ReadHeader(name2) != 0) {
                result = 1;
                break;
            }
        }
    }
    // "mapdatat.biz" is optional, but a damaged one is no more usable than the others.
    if (result == 0 &&
        (!CellBlocksFit(mapFile1, layers[0].header) || !CellBlocksFit(mapFile2, layers[2].header) ||
         (mapFileT.IsOpen() && !CellBlocksFit(mapFileT, layers[0].header))))
        result = 1;
    if (result == 0) {
        const int32_t n = DisplayCacheCells(layers[1]);
        if (layers[2].SetupChunkDirectory(2, 2) != 0 ||
            layers[3].SetupChunkDirectory(51, 51) != 0 ||
            layers[4].SetupChunkDirectory(51, 51) != 0 || layers[1].SetupChunkDirectory(n, n) != 0)
            result = 2;
    }
    if (result != 0) {
        MessageBoxW(nullptr, LoadResStringOr(6069, u"Missing or corrupted mapdata file").c_str(),
                    LoadResStringOr(6044, u"Error").c_str(), MB_OK | MB_ICONSTOP);
        return result;
    }
    // A detailed cell larger than an overview cell makes no ratio: hold it at 1.
    cellRatioX =
        std::max(1, TruncateToInt32(layers[0].header.cellWidth / layers[1].header.cellWidth));
    cellRatioY =
        std::max(1, TruncateToInt32(layers[0].header.cellHeight / layers[1].header.cellHeight));
    return 0;
}

int CMapDatabase::SetupGrid() {
    MapLayer& layer = layers[0];
    layer.windowX0 = layer.windowY0 = 0;
    layer.windowX1 = layer.header.columns - 1;
    layer.windowY1 = layer.header.rows - 1;
    layer.windowW = layer.header.columns;
    layer.windowH = layer.header.rows;
    layer.windowWest = layer.west;
    layer.windowSouth = layer.south;
    layer.windowEast = layer.east;
    layer.windowNorth = layer.north;
    const double cellMiles = layer.header.cellWidth * kDegToRad * kEarthRadiusMiles;
    // Counting cell by cell; a vanishing cell width would count for ever.
    if (cellMiles * 1000000 < 100.0) {
        cellsPer100Miles =
            std::max(1, TruncateToInt32(std::ceil(100.0 / std::max(cellMiles, 1e-30))));
        return 0;
    }
    double sum = 0;
    int32_t count = 0;
    while (sum < 100.0) {
        sum += cellMiles;
        ++count;
    }
    cellsPer100Miles = std::max(1, count);
    return 0;
}

void CMapDatabase::GetBounds(FLOAT* southOut, FLOAT* northOut, FLOAT* westOut,
                             FLOAT* eastOut) const {
    *southOut = layers[0].south;
    *northOut = layers[0].north;
    *westOut = layers[0].west;
    *eastOut = layers[0].east;
}

int32_t CMapDatabase::GetOverviewCell(int k, int32_t dx, int32_t dy, int32_t* x, int32_t* y,
                                      int32_t* page, int32_t* inPage) const {
    const MapLayer& detail = layers[k];
    const MapLayer& overview = layers[0];
    const int64_t absoluteX = int64_t{detail.windowX0} + detail.header.firstColumn + dx;
    const int64_t absoluteY = int64_t{detail.windowY0} + detail.header.firstRow + dy;
    *x = static_cast<int32_t>(absoluteX / cellRatioX - overview.windowX0 -
                              overview.header.firstColumn);
    *y =
        static_cast<int32_t>(absoluteY / cellRatioY - overview.windowY0 - overview.header.firstRow);
    *page = ((overview.cacheW >> 4) + 1) * (*y >> 4) + (*x >> 4);
    *inPage = kPageCells * (*y & 15) + (*x & 15);
    return overview.GetCacheSlot(*x, *y);
}

MapChunk* CMapDatabase::FindLoadedElsewhere(int layerIndex, int32_t x, int32_t y) {
    if (layerIndex == 0)
        return nullptr;
    for (int k = 1; k < kMapLayerCount; ++k) {
        MapLayer& other = layers[k];
        if (k == layerIndex || other.loadedCount == 0 || !other.directory)
            continue;
        if (x < other.windowX0 || x > other.windowX1 || y < other.windowY0 || y > other.windowY1)
            continue;
        MapChunk* record = other.GetChunkRecord(x - other.windowX0, y - other.windowY0);
        if (record && record->IsLoaded())
            return record;
    }
    return nullptr;
}

DataFileChunkInput* CMapDatabase::InputFor(const CDataFile* file) {
    return file == &mapFile1 ? &input1_ : file == &mapFileT ? &inputT_ : &input2_;
}

void CMapDatabase::ShareShapePoints(int layerIndex, int32_t x, int32_t y, const MapChunk& chunk,
                                    const MapPoint* before) {
    for (int k = 1; k < kMapLayerCount; ++k) {
        MapLayer& other = layers[k];
        if (k == layerIndex || other.loadedCount == 0 || !other.directory || x < other.windowX0 ||
            x > other.windowX1 || y < other.windowY0 || y > other.windowY1)
            continue;
        MapChunk* record = other.GetChunkRecord(x - other.windowX0, y - other.windowY0);
        if (!record || record == &chunk || !record->IsLoaded() || record->nodes != chunk.nodes ||
            record->aux != before)
            continue;
        record->aux = chunk.aux;
        record->flags = (record->flags & ~kChunkFullShapes) | (chunk.flags & kChunkFullShapes);
    }
}

int CMapDatabase::LoadChunk(MapLayer& layer, uint32_t cellIndex, MapChunk& record, int32_t dx,
                            int32_t dy) {
    CDataFile* file = layer.file;
    DataFileChunkInput* input = InputFor(file);
    const int64_t entry = cellIndex < layer.cellCount ? layer.ReadCellEntry(cellIndex) : -3;
    if (entry == 0)
        return 0;
    const uint32_t offset = static_cast<uint32_t>(entry);
    g_currentChunkStream->file = input;
    // A cell that cannot be read is said, never left to look like land without roads.
    if (entry < 0 || !input->Seek(offset) || g_currentChunkStream->Inflate() != 0) {
        ReportUnreadableCell(*file, cellIndex);
        return 4;
    }

    ChunkDecodeContext context;
    context.keepAuxPoints = keepAuxPoints;
    context.layer0UsesFileT = layer0UsesFileT;
    if (layer.index != 0) {
        int32_t x, y, page, inPage;
        const int32_t slot = GetOverviewCell(layer.index, dx, dy, &x, &y, &page, &inPage);
        if (slot >= 0) {
            context.overview = layers[0].GetChunkRecord(x, y, true);
            context.overviewSlot = static_cast<uint32_t>(slot);
        }
    }
    record.fileOffset = offset;
    const int result = record.Decode(context);
    bumpBlock = context.bumpBlock;
    bumpCursor = context.bumpCursor;
    if (result != 0) {
        // A half-built chunk must not stay hooked into the overview nodes or hold
        // its blocks: it is taken apart at once, whatever the failure.
        record.FreeStorage();
        return result;
    }
    if (layer.index == 0 && file == &mapFileT)
        record.flags |= kChunkFromFileT;
    return 0;
}

void CMapDatabase::ReportUnreadableCell(const CDataFile& file, uint32_t cellIndex) {
    if (unreadableReported_)
        return;
    unreadableReported_ = true;
    std::string name = platform::WideToUtf8(file.Path());
    name = name.substr(name.find_last_of("\\/") + 1);
    char text[160];
    std::snprintf(text, sizeof text, "Error reading map cell %u of %s\n", cellIndex, name.c_str());
    ReportMapReadError(text);
}

int CMapDatabase::GetChunk(int layerIndex, int32_t dx, int32_t dy) {
    try {
        return GetChunkGuarded(layerIndex, dx, dy);
    } catch (CMemoryException* e) {
        e->Delete();
        // Whatever the load built is taken apart before the process ends ("loading
        // chunk <layer>"); a route search that holds the quiet depth gets 2 instead.
        MapChunk::RebuildLevels(layers[layerIndex], dx, dy, true);
        FatalErrorExit(layerIndex);
        return 2;
    }
}

int CMapDatabase::GetChunkGuarded(int layerIndex, int32_t dx, int32_t dy) {
    namespace payload = formats::chunk_payload;
    MapLayer& layer = layers[layerIndex];
    const int32_t cellIndex = layer.GetChunkIndex(dx, dy);
    if (cellIndex < 0)
        return 0;
    MapChunk* record = layer.GetChunkRecord(dx, dy, true);
    if (!record)
        return 2;
    if (record->IsLoaded())
        return 0;
    const int result = LoadChunk(layer, static_cast<uint32_t>(cellIndex), *record, dx, dy);
    if (result != 0 || !record->IsLoaded())
        return result;
    if (layerIndex == 0) {
        const int32_t pageIndex = (dx >> 4) + ((layer.cacheW >> 4) + 1) * (dy >> 4);
        ++static_cast<ChunkPage*>(layer.directory[pageIndex])->loadedCount;
    }
    for (int side = 0; side < payload::kSideCount; ++side) {
        ChunkLevel* level = record->levels[side];
        if (!level)
            continue;
        const int32_t nx = dx + payload::kSideColumnStep[side];
        const int32_t ny = dy + payload::kSideRowStep[side];
        const int32_t slot = layer.GetCacheSlot(nx, ny);
        if (slot < 0 || slot >= layer.slotTotal)
            continue;
        MapChunk* neighbour = layer.GetChunkRecord(nx, ny);
        if (!neighbour || (neighbour->flags & kChunkNoLaterJoin))
            continue;
        if (!neighbour->IsLoaded())
            neighbour = FindLoadedElsewhere(layerIndex, layer.windowX0 + nx, layer.windowY0 + ny);
        if (!neighbour || (neighbour->flags & kChunkNoLaterJoin))
            continue;
        ChunkLevel* facing = neighbour->levels[payload::OppositeSide(side)];
        if (!facing || facing == level || !MergeSide(level, facing))
            continue;
        level->Free();
        mapdb::FreeBlock(level);
        record->levels[side] = facing;
    }
    ++layer.loadedCount;
    if (layerIndex == 3 || layerIndex == 4) {
        const int total = layerIndex == 4 ? 0 : 1;
        refTotal[total] += static_cast<int32_t>(record->externalRefs);
        linkTotal[total] += record->header.scLinkCount + (record->EdLinkCount() >> 1);
    }
    return 0;
}

namespace {

// Of two records of one road crossing, the one with more shape points keeps them.
void KeepMoreShapePoints(MapLink& mine, MapLink& theirs) {
    const uint16_t mineCount = mine.shapeInfo & kShapeCountMask;
    const uint16_t theirCount = theirs.shapeInfo & kShapeCountMask;
    if (theirCount >= mineCount)
        return;
    mine.shapeInfo = static_cast<uint16_t>((mine.shapeInfo & ~kShapeCountMask) | theirCount);
    theirs.shapeInfo = static_cast<uint16_t>((theirs.shapeInfo & ~kShapeCountMask) | mineCount);
    theirs.shapeInfo &= static_cast<uint16_t>(~kShapeReadFromFileT);
    std::swap(mine.shapePoints, theirs.shapePoints);
}

// Moves the chain that starts at `first` onto the counted link of `anchor`: each
// entry gives up its own counted link and holds the anchor's, linked in front of
// (backwards) or after the entry handled before it.
void MoveSharedChain(SharedLinkEntry* first, SharedLinkEntry* anchor, bool backwards,
                     bool swapShapes) {
    CountedLink* target = anchor->link;
    SharedLinkEntry* handled = anchor;
    for (SharedLinkEntry* entry = first; entry && entry != anchor;) {
        SharedLinkEntry* following = backwards ? entry->prev : entry->next;
        CountedLink* own = entry->link;
        if (own == target)
            break;  // already on the anchor's link: the chain has been moved
        if (own) {
            if (swapShapes)
                KeepMoreShapePoints(own->link, target->link);
            MapLink::Release(own, true);
        }
        entry->link = target;
        ++target->refCount;
        if (backwards) {
            handled->prev = entry;
            entry->next = handled;
            entry->prev = nullptr;
        } else {
            handled->next = entry;
            entry->prev = handled;
            entry->next = nullptr;
        }
        handled = entry;
        entry = following;
    }
}

// The node's one link and whether the node is its from-end; false when the link
// does not end there.
bool BorderLink(MapNode* node, MapLink*& link, bool& atFrom) {
    link = node->Slots()[0];
    if (!link || (link->fromNode != node && link->toNode != node))
        return false;
    atFrom = link->fromNode == node;
    return true;
}

}  // namespace

bool CMapDatabase::MergeSide(ChunkLevel* level, ChunkLevel* facing) {
    // The two sides must list the same crossings: the same border nodes, each with
    // its half-link, and the same shared entries at the same nodes. A pair that
    // does not match is left as it is rather than misjoined.
    if (!level->nodes || !facing->nodes || level->nodeCount != facing->nodeCount ||
        level->sharedCount != facing->sharedCount || level->linkCount != facing->linkCount)
        return false;
    for (uint32_t k = 0; k < level->sharedCount; ++k) {
        const SharedLinkEntry& mine = level->shared[k];
        const SharedLinkEntry& theirs = facing->shared[k];
        const uint32_t j = theirs.key & SharedLinkEntry::kIndexMask;
        if ((mine.key & SharedLinkEntry::kIndexMask) != j || j >= level->nodeCount || !mine.link ||
            !theirs.link || level->nodes[j].Slots()[0] != &mine.link->link ||
            facing->nodes[j].Slots()[0] != &theirs.link->link)
            return false;
    }
    for (uint32_t j = 0; j < level->nodeCount; ++j) {
        MapLink *h, *n;
        bool hAtFrom, nAtFrom;
        if (!BorderLink(&level->nodes[j], h, hAtFrom) || !BorderLink(&facing->nodes[j], n, nAtFrom))
            return false;
        const MapNode* far = hAtFrom ? h->toNode : h->fromNode;
        if (!far)
            return false;
        if (far->slotCount != MapNode::kSingleSlot &&
            (nAtFrom ? n->FromSlot() : n->ToSlot()) >= far->slotCount)
            return false;
    }
    const bool swapShapes = !layer0UsesFileT;
    uint32_t k = 0;
    for (uint32_t j = 0; j < level->nodeCount; ++j) {
        MapNode* border = &level->nodes[j];
        MapLink* h = border->Slots()[0];
        MapNode* far;
        uint16_t remembered = 0;
        const bool farIsTo = h->fromNode == border;
        if (farIsTo) {
            far = h->toNode;
            remembered = h->flags & kLinkToExternal;
        } else {
            far = h->fromNode;
            remembered = h->flags & kLinkFromExternal;
        }
        h->flags &= static_cast<uint16_t>(~remembered);
        MapLink::Unhook(far, h);

        MapLink* n = facing->nodes[j].Slots()[0];
        const bool atFrom = n->fromNode == &facing->nodes[j];
        if (atFrom) {
            n->fromNode = far;
            if (!(remembered & kLinkFromExternal))
                n->flags &= static_cast<uint16_t>(~kLinkFromExternal);
        } else {
            n->toNode = far;
            if (!(remembered & kLinkToExternal))
                n->flags &= static_cast<uint16_t>(~kLinkToExternal);
        }
        HookLink(far, n, atFrom);
        n->flags |= remembered;

        // A shared crossing: this side's chain moves onto the neighbour's counted
        // link, on the side of it where this cell's part of the road lies.
        if (k < facing->sharedCount && (facing->shared[k].key & SharedLinkEntry::kIndexMask) == j) {
            SharedLinkEntry* mine = &level->shared[k];
            SharedLinkEntry* theirs = &facing->shared[k];
            bool backwards = !mine->next && !theirs->prev;
            if (backwards && !mine->prev && !theirs->next && farIsTo)
                backwards = false;
            MoveSharedChain(mine, theirs, backwards, swapShapes);
            ++k;
        }
    }
    // The record with more shape points keeps them.
    for (uint32_t j = 0; j < level->linkCount && swapShapes; ++j)
        KeepMoreShapePoints(level->links[j], facing->links[j]);
    facing->FreeNodes();
    return true;
}

int32_t DisplayCacheCells(const MapLayer& layer) {
    IMapDisplayValues& values = GetMapDisplayValues();
    const int level = std::max(0, values.FindLastLevelBelow());
    const double width = std::max(double{values.GetZoomWidthMetres(level)} * 3.280839895,
                                  double{values.GetZoomWidthFeet(level)}) *
                         values.GetViewFactor();
    const double h = values.GetScreenHeight();
    const double w = values.GetScreenWidth();
    const double tall = w > 0 ? width * h / w : width;
    const double diagonal = std::sqrt(tall * tall + width * width);
    const double c = std::min(std::cos(layer.south * kDegToRad), std::cos(layer.north * kDegToRad));
    const double cell =
        std::min(double{layer.header.cellWidth} * c, double{layer.header.cellHeight}) *
        kFeetPerDegree;
    // The cache is sized by this; a degenerate cell must not make it overflow.
    const double cells = cell > 0 ? diagonal / cell : 32768.0;
    return std::min(TruncateToInt32(cells), 32768) + 2;
}
