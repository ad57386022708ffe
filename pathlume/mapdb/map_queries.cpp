// Queries over the container files and the loaded area: areas around a link's cell
// or a point, the nearest grid cell that holds roads, and reopening the files after
// a power resume.
#include <algorithm>
#include <cmath>

#include "formats/chunk_payload.h"
#include "formats/map_container.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/map_database.h"

namespace container = formats::map_container;
namespace payload = formats::chunk_payload;

namespace {

constexpr double kDegToRad = 0.017453292;
// As in the other area loads: at the poles a longitude span would be infinite.
constexpr double kMinCos = 1e-6;

}  // namespace

int CMapDatabase::LoadAreaAroundCell(int layerIndex, uint32_t& cellWord, FLOAT radius,
                                     MapPoint* centre, int* outLayer) {
    int cellLayer = 0;
    if (cellWord & 0x80000000u) {
        cellLayer = layerIndex;
        cellWord &= 0x7FFFFFFFu;
    }
    *outLayer = cellLayer;
    *centre = layers[cellLayer].CellCenter(static_cast<int32_t>(cellWord));
    int ignored = 0;
    return LoadAreaAroundPoint(layerIndex, 0, *centre, radius, &ignored);
}

int CMapDatabase::LoadAreaAroundPoint(int layerIndex, uint32_t flags, const MapPoint& position,
                                      FLOAT radius, int* outLayer) {
    *outLayer = (flags & 0x80000000u) ? layerIndex : 0;
    // A degree of longitude is shorter than one of latitude by the cosine: the span
    // east and west is divided by it, so that the area reaches `radius` every way.
    const double c = std::max(std::cos(position.latitude * kDegToRad), kMinCos);
    const FLOAT spanLat = 2 * radius;
    const FLOAT spanLon = static_cast<FLOAT>(spanLat / c);
    return LoadArea(layerIndex, position, spanLon, spanLat, 0, 0, true, true);
}

int64_t MapLayer::ReadCellOffset(int32_t column, int32_t row, int32_t* indexOut) {
    const int64_t index = int64_t{column} + int64_t{header.columns} * row;
    if (indexOut)
        *indexOut = static_cast<int32_t>(index);
    if (index < 0)
        return -1;
    if (index >= int64_t{header.columns} * header.rows)
        return -2;
    return ReadCellEntry(static_cast<uint32_t>(index));
}

int64_t MapLayer::ReadCellEntry(uint32_t cellIndex) {
    uint8_t entry[container::kCellEntrySize];
    DataFileChunkInput* input = database->InputFor(file);
    if (!input->Seek(static_cast<uint32_t>(container::CellEntryOffset(cellIndex))) ||
        input->Read(entry, sizeof(entry)) != static_cast<int>(sizeof(entry)))
        return -3;
    return container::LoadU32(entry);
}

int MapLayer::CellHasNoLinks(uint32_t blockOffset) {
    DataFileChunkInput* input = database->InputFor(file);
    g_currentChunkStream->file = input;
    uint8_t bytes[payload::kHeaderSize];
    if (!input->Seek(blockOffset) || g_currentChunkStream->Inflate() != 0 ||
        !ChunkStream::Read(bytes, sizeof(bytes)))
        return 1;
    return payload::DecodeHeader(bytes).scLinkCount > 0 ? 0 : 1;
}

int MapLayer::FindNearestCellWithLinks(MapPoint& position) {
    const int32_t cols = header.columns;
    const int32_t rows = header.rows;
    if (cols <= 0 || rows <= 0)
        return 1;
    // Cells of the file's grid: a window offset would mix a small layer's window
    // cells with the file's.
    const int32_t column =
        static_cast<int32_t>(std::clamp<int64_t>(FileColumnOf(position.longitude), 0, cols));
    const int32_t row =
        static_cast<int32_t>(std::clamp<int64_t>(FileRowOf(position.latitude), 0, rows));
    auto hasLinks = [&](int32_t c, int32_t r) {
        if (c < 0 || r < 0 || c >= cols || r >= rows)
            return false;
        const int64_t offset = ReadCellOffset(c, r, nullptr);
        return offset > 0 && CellHasNoLinks(static_cast<uint32_t>(offset)) == 0;
    };
    auto found = [&](int32_t c, int32_t r) {
        position.longitude = west + (static_cast<FLOAT>(c) + 0.5f) * header.cellWidth;
        position.latitude = south + (static_cast<FLOAT>(r) + 0.5f) * header.cellHeight;
        return 0;
    };
    // Every ring past the farthest grid edge lies wholly outside: the search ends
    // there whatever the cells hold.
    const int32_t lastRing = std::max(std::max(column, cols - column), std::max(row, rows - row));
    for (int32_t k = 0; k <= lastRing; ++k) {
        const int32_t w = column - k, e = column + k, s = row - k, n = row + k;
        if (w < 0 && e >= cols && s < 0 && n >= rows)
            break;
        // Each side of the ring only where it lies in the grid.
        const int32_t c0 = std::max(w, 0), c1 = std::min(e, cols - 1);
        const int32_t r0 = std::max(s + 1, 0), r1 = std::min(n - 1, rows - 1);
        if (s >= 0) {
            for (int32_t c = c0; c <= c1; ++c) {
                if (hasLinks(c, s))
                    return found(c, s);
            }
        }
        if (e < cols) {
            for (int32_t r = r0; r <= r1; ++r) {
                if (hasLinks(e, r))
                    return found(e, r);
            }
        }
        if (n != s && n < rows) {
            for (int32_t c = c0; c <= c1; ++c) {
                if (hasLinks(c, n))
                    return found(c, n);
            }
        }
        if (w != e && w >= 0) {
            for (int32_t r = r0; r <= r1; ++r) {
                if (hasLinks(w, r))
                    return found(w, r);
            }
        }
    }
    return 1;
}

CDataFile* ReopenFile(CDataFile* file, DWORD mode) {
    file->Reopen(mode);
    return file->Handle() == INVALID_HANDLE_VALUE ? nullptr : file;
}

int CMapDatabase::ReopenFiles() {
    // A failed "mapdata1.biz" is reported even when "mapdata2.biz" comes back: the
    // overview cannot be read.
    const int first = mapFile1.Reopen(0);
    // "mapdatat.biz" is optional, as when the files open: its failure is no failure.
    if (first == 0)
        mapFileT.Reopen(0);
    const int second = mapFile2.Reopen(0);
    return first != 0 ? first : second;
}
