// The source side of map generation: the files a data disc and the desktop
// program's own folder carry, as far as the map cut and the disc handling read
// them. docs/formats/source-disc.md says what each field means and how the open
// points were settled.
//
//   program folder  "cdinfo.ini"   text "%d %d %d %d": data version, first split
//                                  column of disc 2, first split column of disc 3,
//                                  total split columns
//                   "mh.ini"       two 36-byte map container headers: overview
//                                  ("mapdata1.raz"), then detailed ("mapdata2N.raz")
//                   "rgndata1.in", "rgndata2.in", "rgndatap.in"   region data
//                   "mapdata1.sz", "mapdata2.sz", "polygons.sz"     size tables
//                   "sizeinfo.sz"  per-entry byte sizes
//   data disc       "CD%d\mapid.ini"  text "%d %d %d %d": first split column on
//                                  this disc, split columns on it, total split
//                                  columns, data version
//
// Little-endian throughout.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/little_endian.h"

namespace formats::source_disc {

using formats::LoadI32;
using formats::LoadU32;
using formats::StoreI32;
using formats::StoreU32;

// ---- Layers of the cut and their files ----------------------------------------

inline constexpr int kLayerOverview = 0;  // "mapdata1"
inline constexpr int kLayerDetailed = 1;  // "mapdata2", also the points of interest
inline constexpr int kLayerPolygons = 2;  // "polygons"
inline constexpr int kLayerCount = 3;

inline constexpr const char16_t* kRegionDataFiles[kLayerCount] = {u"rgndata1.in", u"rgndata2.in",
                                                                  u"rgndatap.in"};
inline constexpr const char16_t* kSizeTableFiles[kLayerCount] = {u"mapdata1.sz", u"mapdata2.sz",
                                                                 u"polygons.sz"};
inline constexpr const char16_t* kSizeInfoFile = u"sizeinfo.sz";

// ---- Choice words and entry keys ----------------------------------------------
//
// A choice word names one region and which of its sub-areas are chosen: the region
// number in the high 16 bits, one bit per sub-area in the low 16 (bit k = sub-area
// k + 1; a region without sub-areas uses bit 0). Each set bit expands to the entry
// key region x 65536 + (k + 1), which is what region records and "sizeinfo.sz"
// records are keyed by.

inline constexpr int kSubAreaBits = 16;
inline constexpr uint32_t kSubAreaMask = 0xFFFF;

constexpr uint32_t ChoiceWord(uint32_t region, uint32_t subAreaMask) {
    return region << 16 | (subAreaMask & kSubAreaMask);
}
constexpr uint32_t EntryKey(uint32_t region, uint32_t subArea) {
    return region * 65536u + subArea;
}
constexpr uint32_t RegionOfKey(uint32_t key) {
    return key >> 16;
}

// ---- Region data ("rgndata1.in", "rgndata2.in", "rgndatap.in") -------------------
//
//   offset 0   u32  record count N
//   offset 4   N records of kRegionRecordSize bytes (below)
//   then       for each record in order, its span items (kSpanItemSize bytes each)

inline constexpr size_t kRegionCountOffset = 0;
inline constexpr size_t kRegionRecordsOffset = 4;

// One region record.
inline constexpr size_t kRecordUnusedOffset = 0;     // u32, written 0
inline constexpr size_t kRecordSpanCountOffset = 4;  // u32 number of span items
inline constexpr size_t kRecordEntryKeyOffset = 8;   // u32 entry key
// Four i32: the record's bounds in its layer's grid, as its span items reach:
// first column, last column, first row, last row (inclusive). Informational: the
// cut is built from the span items.
inline constexpr size_t kRecordBoundsOffset = 12;
inline constexpr int kRecordBoundsCount = 4;
inline constexpr size_t kRecordListCountOffset = 28;  // u32 K, at most kMaxListEntries
// K u32 list-entry numbers: the entries of the name, link and area files the
// record's area belongs to (see the docs); slots past K are written 0.
inline constexpr size_t kRecordListEntriesOffset = 32;
inline constexpr uint32_t kMaxListEntries = 8;
inline constexpr size_t kRegionRecordSize = 64;
static_assert(kRecordListEntriesOffset + kMaxListEntries * 4 == kRegionRecordSize,
              "a region record ends with its eight list-entry slots");
static_assert(kRecordBoundsOffset + kRecordBoundsCount * 4 == kRecordListCountOffset,
              "the bounds sit between the entry key and the list count");

// A span item: i32 row, i32 first column, i32 last column (inclusive).
inline constexpr size_t kSpanRowOffset = 0;
inline constexpr size_t kSpanFirstColumnOffset = 4;
inline constexpr size_t kSpanLastColumnOffset = 8;
inline constexpr size_t kSpanItemSize = 12;

// A record with no span items, or this many or more, takes no part in the cut.
inline constexpr uint32_t kMaxSpanItems = 20000;
// Rows and columns lie in 0 .. kGridLimit - 1; the cut's bounds start at kGridLimit.
inline constexpr int32_t kGridLimit = 999999;

// ---- Size tables ("mapdata1.sz", "mapdata2.sz", "polygons.sz") -------------------
//
//   offset 0   u32  first column of the table's grid (that of the source container)
//   offset 4   u32  first row
//   offset 8   u32  columns
//   offset 12  u32  rows
//   offset 16  u32  fixed bytes of the device file (its header)
//   offset 20  columns x rows u32 packed byte sizes, row-major (column + columns x row)

inline constexpr size_t kSizeFirstColumnOffset = 0;
inline constexpr size_t kSizeFirstRowOffset = 4;
inline constexpr size_t kSizeColumnsOffset = 8;
inline constexpr size_t kSizeRowsOffset = 12;
inline constexpr size_t kSizeFixedBytesOffset = 16;
inline constexpr size_t kSizeHeadSize = 20;
inline constexpr size_t kSizeCellsOffset = kSizeHeadSize;
// An offset table entry of a device container: 4 bytes per cell of the window.
inline constexpr uint32_t kOffsetEntrySize = 4;

// ---- "sizeinfo.sz" -------------------------------------------------------------
//
//   offset 0   u32  record count
//   offset 4   u32  record size, kSizeInfoRecordSize
//   offset 8   records of kSizeInfoWords u32

inline constexpr size_t kSizeInfoCountOffset = 0;
inline constexpr size_t kSizeInfoRecordSizeOffset = 4;
inline constexpr size_t kSizeInfoRecordsOffset = 8;
inline constexpr int kSizeInfoWords = 13;
inline constexpr uint32_t kSizeInfoRecordSize = kSizeInfoWords * 4;
static_assert(kSizeInfoRecordSize == 52, "a sizeinfo record is 13 words");

// Word numbers of a sizeinfo record. Word 0 is the entry key; words 1 to 9 are the
// entry's share of the device files; words 10 to 12 stand in for the network cell
// sums when the choice is that one entry alone.
inline constexpr int kSizeKey = 0;
inline constexpr int kSizeNames = 1;           // "names.bin"
inline constexpr int kSizeStreetLists = 2;     // "stnl.bin"
inline constexpr int kSizeNamePairs = 3;       // "lsr.bin" and "lsrs.bin"
inline constexpr int kSizeLinkInfo = 4;        // "linkinfo.bin"
inline constexpr int kSizeLinkIndex = 5;       // "lfoidx.bin"
inline constexpr int kSizeAreaStreets = 6;     // "azbc.bin"
inline constexpr int kSizeAreas = 7;           // "az.bin"
inline constexpr int kSizePoints = 8;          // "poi.bin"
inline constexpr int kSizeStreetTypes = 9;     // "sttypes.bin" and "strabbr.bin"
inline constexpr int kSizeOverviewCells = 10;  // layer-0 cell blocks ("mapdata1.biz")
inline constexpr int kSizeOverviewTable = 11;  // layer-0 companion blocks ("mapdatat.biz")
inline constexpr int kSizeDetailedCells = 12;  // layer-1 cell blocks ("mapdata2.biz")
inline constexpr int kSizeFirstFileWord = kSizeNames;
inline constexpr int kSizeLastFileWord = kSizeStreetTypes;

// Bytes every estimate adds for the small files.
inline constexpr uint64_t kSizeEstimateBase = 5715;

// ---- "cdinfo.ini" and "mapid.ini" ------------------------------------------------

inline constexpr const char16_t* kDiscInfoFile = u"cdinfo.ini";
inline constexpr const char16_t* kMapHeadersFile = u"mh.ini";
inline constexpr const char16_t* kDiscIdFile = u"mapid.ini";
inline constexpr const char16_t* kDiscFolderFormat = u"%s\\CD%d\\";
inline constexpr const char16_t* kDiscDataFolder = u"mapdata";
inline constexpr int kIniFieldCount = 4;
inline constexpr int kDiscCount = 3;

// "cdinfo.ini" field order.
inline constexpr int kCdInfoVersion = 0;
inline constexpr int kCdInfoDisc2FirstColumn = 1;
inline constexpr int kCdInfoDisc3FirstColumn = 2;
inline constexpr int kCdInfoTotalColumns = 3;

// "mapid.ini" field order.
inline constexpr int kMapIdFirstColumn = 0;
inline constexpr int kMapIdColumnCount = 1;
inline constexpr int kMapIdTotalColumns = 2;
inline constexpr int kMapIdVersion = 3;

// A text file of four numbers is read up to this many bytes.
inline constexpr size_t kMaxIniBytes = 4096;

// "mh.ini": the 36-byte headers of the overview and the detailed source containers.
inline constexpr size_t kMapHeaderSize = 36;
inline constexpr int kMapHeaderCount = 2;
inline constexpr int kMapHeaderOverview = 0;
inline constexpr int kMapHeaderDetailed = 1;
inline constexpr size_t kMapHeadersFileSize = kMapHeaderSize * kMapHeaderCount;

// The split columns that "cdinfo.ini" may give: discs in order, each with at least
// one column, and column total - 2 on disc 3, since generation brings the last
// disc in by asking for the disc that holds that column.
constexpr bool SplitColumnsValid(int disc2First, int disc3First, int total) {
    return disc2First > 0 && disc2First < disc3First && disc3First <= total - 2;
}

}  // namespace formats::source_disc
