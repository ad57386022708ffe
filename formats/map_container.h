// The gridded container of the road network: "mapdata1.raz" and "mapdata21.raz"
// .. "mapdata23.raz" on the data discs, "mapdata1.biz", "mapdatat.biz" and
// "mapdata2.biz" on the device. The same 36-byte grid head (with a magic of its
// own) opens "polygons.raz"/"polygons.biz" and "poi.raw"/"poi.bin", so the grid
// helpers here serve those formats too.
//
//   offset 0   char[4]  magic "NTC5"
//   offset 4   f32      longitude of the west edge of the whole source grid
//   offset 8   f32      latitude of the south edge of the whole source grid
//   offset 12  i32      first column of this file's grid within the whole grid
//   offset 16  i32      first row
//   offset 20  i32      columns of this file
//   offset 24  i32      rows of this file
//   offset 28  f32      cell width, degrees of longitude
//   offset 32  f32      cell height, degrees of latitude
//   offset 36  columns x rows u32, row-major (column + columns x row): absolute
//              offset of the cell's compressed block (formats/compressed_block.h),
//              0 = no data in the cell
//   then       the blocks; a block inflates to the cell's chunk
//              (formats/chunk_payload.h)
//
// Rows run south to north, columns west to east. Little-endian throughout.
// docs/formats/map-data.md tells how the data disc builder fills these files.
#pragma once

#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "formats/little_endian.h"

namespace formats::map_container {

using formats::LoadF32;
using formats::LoadI32;
using formats::LoadU16;
using formats::LoadU32;
using formats::StoreF32;
using formats::StoreI32;
using formats::StoreU16;
using formats::StoreU32;

// ---- The grid head --------------------------------------------------------------

inline constexpr char kMagic[4] = {'N', 'T', 'C', '5'};
inline constexpr size_t kMagicSize = 4;

inline constexpr size_t kMagicOffset = 0;
inline constexpr size_t kOriginLongitudeOffset = 4;
inline constexpr size_t kOriginLatitudeOffset = 8;
inline constexpr size_t kFirstColumnOffset = 12;
inline constexpr size_t kFirstRowOffset = 16;
inline constexpr size_t kColumnsOffset = 20;
inline constexpr size_t kRowsOffset = 24;
inline constexpr size_t kCellWidthOffset = 28;
inline constexpr size_t kCellHeightOffset = 32;
inline constexpr size_t kHeaderSize = 36;
inline constexpr size_t kCellTableOffset = kHeaderSize;
inline constexpr size_t kCellEntrySize = 4;
static_assert(kCellHeightOffset + 4 == kHeaderSize, "the head is 36 bytes");

// A reader trusts a head's grid only up to this many cells (a 64 MiB cell table);
// no map comes near it.
inline constexpr uint32_t kMaxCells = 16u * 1024 * 1024;

struct GridHeader {
    char magic[kMagicSize] = {};
    float originLongitude = 0;
    float originLatitude = 0;
    int32_t firstColumn = 0;
    int32_t firstRow = 0;
    int32_t columns = 0;
    int32_t rows = 0;
    float cellWidth = 0;
    float cellHeight = 0;
};

inline void EncodeHeader(const GridHeader& header, uint8_t* bytes) {
    std::memcpy(bytes + kMagicOffset, header.magic, kMagicSize);
    StoreF32(bytes + kOriginLongitudeOffset, header.originLongitude);
    StoreF32(bytes + kOriginLatitudeOffset, header.originLatitude);
    StoreI32(bytes + kFirstColumnOffset, header.firstColumn);
    StoreI32(bytes + kFirstRowOffset, header.firstRow);
    StoreI32(bytes + kColumnsOffset, header.columns);
    StoreI32(bytes + kRowsOffset, header.rows);
    StoreF32(bytes + kCellWidthOffset, header.cellWidth);
    StoreF32(bytes + kCellHeightOffset, header.cellHeight);
}

inline GridHeader DecodeHeader(const uint8_t* bytes) {
    GridHeader header;
    std::memcpy(header.magic, bytes + kMagicOffset, kMagicSize);
    header.originLongitude = LoadF32(bytes + kOriginLongitudeOffset);
    header.originLatitude = LoadF32(bytes + kOriginLatitudeOffset);
    header.firstColumn = LoadI32(bytes + kFirstColumnOffset);
    header.firstRow = LoadI32(bytes + kFirstRowOffset);
    header.columns = LoadI32(bytes + kColumnsOffset);
    header.rows = LoadI32(bytes + kRowsOffset);
    header.cellWidth = LoadF32(bytes + kCellWidthOffset);
    header.cellHeight = LoadF32(bytes + kCellHeightOffset);
    return header;
}

inline bool HasMagic(const GridHeader& header, const char (&magic)[kMagicSize]) {
    return std::memcmp(header.magic, magic, kMagicSize) == 0;
}

// Whether a head read from a file describes a grid a reader may walk: positive
// cell sizes, no negative counts and a cell table of bounded size.
inline bool IsPlausibleGrid(const GridHeader& header) {
    return header.columns >= 0 && header.rows >= 0 && header.cellWidth > 0 &&
           header.cellHeight > 0 &&
           static_cast<uint64_t>(header.columns) * static_cast<uint64_t>(header.rows) <= kMaxCells;
}

// Whether a cell size is a power of two of a degree (2^-40 to 2^8), as every map
// grid is: its edges are then exact in f32 and every reader finds the same cell
// for a stored point.
inline bool IsPowerOfTwoDegrees(float size) {
    if (!(size > 0) || !std::isfinite(size))
        return false;
    int exponent = 0;
    return std::frexp(size, &exponent) == 0.5f && exponent >= -39 && exponent <= 9;
}

// A head the map database takes: a plausible grid of power-of-two cells at a
// finite origin.
inline bool IsDeviceGrid(const GridHeader& header) {
    return IsPlausibleGrid(header) && IsPowerOfTwoDegrees(header.cellWidth) &&
           IsPowerOfTwoDegrees(header.cellHeight) && std::isfinite(header.originLongitude) &&
           std::isfinite(header.originLatitude);
}

inline uint32_t CellCount(const GridHeader& header) {
    return static_cast<uint32_t>(header.columns) * static_cast<uint32_t>(header.rows);
}

// Index of a cell of this file's grid in its cell table.
constexpr uint32_t CellIndex(int32_t column, int32_t row, int32_t columns) {
    return static_cast<uint32_t>(column + columns * row);
}

inline size_t CellEntryOffset(uint32_t cellIndex) {
    return kCellTableOffset + kCellEntrySize * cellIndex;
}

// Bytes from the file's start to the end of its cell table: where the first block
// may begin.
inline uint64_t TableEnd(const GridHeader& header) {
    return kCellTableOffset + uint64_t{kCellEntrySize} * CellCount(header);
}

}  // namespace formats::map_container
